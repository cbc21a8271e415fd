#pragma once

#include "bills/billtypes.h"

#include <QByteArray>

// Reading a bill file into a table of texts: a CSV in UTF-8 or GBK, an .xlsx worksheet, or
// either of them inside a (password-protected) zip. Nothing here knows what the columns mean.
namespace bills {

struct BillFile
{
    QString path;
    Table table;
    QByteArray csvBytes; // a CSV's own bytes, to read again in another encoding
    QString encoding;    // "UTF-8" or "GBK" for a CSV; empty for a worksheet
    bool encrypted = false;
};

// Throws BillPasswordError when the bill is in an encrypted zip and password is missing or
// wrong, BillError for a file that is too big, unreadable or no table at all ("无法识别的账单
// 文件：…").
BillFile readBillFile(const QString& path, const QString& password = {});

// "UTF-8" when the bytes start with its mark or read as UTF-8 throughout, else "GBK".
QString guessEncoding(const QByteArray& bytes);
// The CSV's rows; throws BillError when the bytes are not text in that encoding.
Table decodeCsv(const QByteArray& bytes, const QString& encoding);
Table parseCsv(QStringView text);

QString unrecognizedMessage(const QString& path);

} // namespace bills
