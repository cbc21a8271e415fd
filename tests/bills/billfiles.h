#pragma once

// Bills for the tests: the fixtures, files written on the spot and what a preview would store.
#include "bills/billclassify.h"
#include "bills/billpreview.h"

#include <QFile>
#include <QStringEncoder>
#include <QtTest>

#include <zip.h>

namespace billfiles {

inline QString fixture(const QString& name)
{
    return qEnvironmentVariable("QUENVALE_TEST_DATA") + QStringLiteral("/bills/") + name;
}

inline QString write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline QByteArray gbk(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A zip holding one entry, encrypted with password by method when a password is given.
inline QString makeZip(const QString& path, const QString& entry, const QByteArray& content,
                       const QByteArray& password = {}, zip_uint16_t method = ZIP_EM_AES_256)
{
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        qFatal("zip_open failed");
    zip_source_t* source = zip_source_buffer(archive, content.constData(),
                                             static_cast<zip_uint64_t>(content.size()), 0);
    const zip_int64_t index =
        zip_file_add(archive, entry.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0)
        qFatal("zip_file_add failed");
    if (!password.isEmpty() && zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index),
                                                       method, password.constData()) != 0)
        qFatal("zip_file_set_encryption failed");
    if (zip_close(archive) != 0)
        qFatal("zip_close failed");
    return path;
}

// Each record as the fixtures' README lists it: "支出 2026-11-03 办公用品一批 / 光明文具店 320.00".
inline QStringList describe(const bills::BillImport& bill)
{
    QStringList lines;
    for (const bills::ImportedRecord& item : bill.records) {
        const CashRecord& r = item.record;
        const double amount = r.kind == u"收入" ? r.income : r.expense;
        // Settled: the whole amount received or paid, nothing open, nothing on the other side.
        const bool settled = r.kind == u"收入"
                                 ? r.received == r.income && r.expense == 0 && r.paid == 0
                                 : r.paid == r.expense && r.income == 0 && r.received == 0;
        lines.append(QStringLiteral("%1 %2 %3 / %4 %5%6")
                         .arg(r.kind, r.date, r.summary, r.counterparty)
                         .arg(amount, 0, 'f', 2)
                         .arg(settled && r.receivable == 0 && r.payable == 0
                                  ? QString()
                                  : QStringLiteral(" (not settled)")));
    }
    return lines;
}

// "summary：reason" of every row that is not stored.
inline QStringList skipped(const bills::BillPreview& preview)
{
    QStringList lines;
    for (int i = 0; i < preview.rowCount(); ++i)
        if (!preview.isChosen(i))
            lines.append(preview.rows().at(i).summary() + QStringLiteral("：") +
                         bills::reasonFor(preview.rows().at(i)));
    return lines;
}

} // namespace billfiles
