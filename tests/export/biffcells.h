#pragma once

// Reads a written sheet back into its records and cells, for checks by row and column.
#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QStringDecoder>
#include <QVariant>
#include <QVector>
#include <QtEndian>

#include <cstring>

namespace biff {

struct Record
{
    quint16 type = 0;
    QByteArray body;
};

struct Cell
{
    quint16 type = 0; // the record type
    quint16 format = 0;
    QVariant value;   // QString for LABEL, double for NUMBER, qint32 for RK, null for BLANK
    QByteArray bytes; // LABEL text bytes
};

inline quint16 word(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

// Fails (returns false) on a record that runs past the end.
inline bool records(const QByteArray& file, QVector<Record>& out)
{
    int at = 0;
    while (at < file.size()) {
        if (at + 4 > file.size())
            return false;
        Record r;
        r.type = word(file, at);
        const int length = word(file, at + 2);
        if (at + 4 + length > file.size())
            return false;
        r.body = file.mid(at + 4, length);
        out << r;
        at += 4 + length;
    }
    return true;
}

using Sheet = QMap<QPair<int, int>, Cell>; // (row, column)

inline Sheet cells(const QVector<Record>& list)
{
    Sheet sheet;
    QStringDecoder gbk("GBK");
    for (const Record& r : list) {
        if (r.type != 0x0204 && r.type != 0x0203 && r.type != 0x027E && r.type != 0x0201)
            continue;
        Cell c;
        c.type = r.type;
        c.format = word(r.body, 4);
        if (r.type == 0x0204) {
            c.bytes = r.body.mid(8, word(r.body, 6));
            c.value = QString(gbk.decode(c.bytes));
        } else if (r.type == 0x0203) {
            double d = 0;
            const quint64 bits = qFromLittleEndian<quint64>(r.body.constData() + 6);
            std::memcpy(&d, &bits, 8);
            c.value = d;
        } else if (r.type == 0x027E) {
            c.value = qFromLittleEndian<qint32>(r.body.constData() + 6);
        }
        sheet.insert({word(r.body, 0), word(r.body, 2)}, c);
    }
    return sheet;
}

inline QString text(const Sheet& sheet, int row, int column)
{
    return sheet.value({row, column}).value.toString();
}

inline int lastRow(const Sheet& sheet)
{
    int last = -1;
    for (auto it = sheet.keyBegin(); it != sheet.keyEnd(); ++it)
        last = std::max(last, it->first);
    return last;
}

} // namespace biff
