#include "export/biffwriter.h"

#include "data/errors.h"

#include <QIODevice>
#include <QtEndian>

#include <cstring>

namespace {

void put16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void putDouble(QByteArray& out, double value)
{
    quint64 bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    char bytes[8];
    qToLittleEndian(bits, bytes);
    out.append(bytes, 8);
}

QByteArray cellHead(int row, int column, quint16 format)
{
    QByteArray body;
    put16(body, static_cast<quint16>(row));
    put16(body, static_cast<quint16>(column));
    put16(body, format);
    return body;
}

QByteArray gbk(const QString& text)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        throw QuenvaleError(QStringLiteral("GBK encoding is not available"));
    return encoder.encode(text);
}

} // namespace

BiffWriter::BiffWriter(QIODevice* device) : m_device(device) {}

void BiffWriter::record(quint16 type, const QByteArray& body)
{
    QByteArray bytes;
    bytes.reserve(4 + body.size());
    put16(bytes, type);
    put16(bytes, static_cast<quint16>(body.size()));
    bytes.append(body);
    if (m_device->write(bytes) != bytes.size())
        throw QuenvaleError(m_device->errorString());
}

void BiffWriter::bof()
{
    QByteArray body;
    put16(body, 0x0000);
    put16(body, 0x0010); // worksheet
    put16(body, 0x0000);
    put16(body, 0x0000);
    record(0x0809, body);
}

void BiffWriter::codePage()
{
    // Without it a reader guesses the text's code page from its own locale.
    QByteArray body;
    put16(body, kCodePage);
    record(0x0042, body);
}

QByteArray BiffWriter::labelBytes(const QString& text)
{
    QByteArray bytes = gbk(text);
    if (bytes.size() <= kMaxLabelBytes)
        return bytes;
    // Too long: take whole characters (a surrogate pair is one) while they fit.
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    QByteArray cut;
    cut.reserve(kMaxLabelBytes);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        const QByteArray one = encoder.encode(QStringView(text).mid(i, length));
        if (cut.size() + one.size() > kMaxLabelBytes)
            break;
        cut.append(one);
        i += length;
    }
    return cut;
}

void BiffWriter::label(int row, int column, const QString& text)
{
    const QByteArray bytes = labelBytes(text);
    QByteArray body = cellHead(row, column, 0);
    put16(body, static_cast<quint16>(bytes.size()));
    body.append(bytes);
    record(0x0204, body);
}

void BiffWriter::number(int row, int column, double value)
{
    QByteArray body = cellHead(row, column, 0);
    putDouble(body, value);
    record(0x0203, body);
}

void BiffWriter::integer(int row, int column, qint64 value)
{
    if (value < kMinRk || value > kMaxRk) {
        number(row, column, static_cast<double>(value));
        return;
    }
    QByteArray body = cellHead(row, column, 0);
    // Bit 1 marks an integer, bit 0 clear: not divided by 100.
    put32(body, static_cast<quint32>(static_cast<qint32>(value) * 4 + 2));
    record(0x027E, body);
}

void BiffWriter::blank(int row, int column)
{
    record(0x0201, cellHead(row, column, 0x0017));
}

void BiffWriter::eof()
{
    record(0x000A, {});
}
