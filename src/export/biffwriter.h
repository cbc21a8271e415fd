#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>

class QIODevice;

// Writes the cell records of one bare BIFF worksheet stream, little-endian, front to back.
// No widgets here: the records can be checked byte by byte.
class BiffWriter
{
public:
    // Excel's code page for Simplified Chinese; LABEL texts are written in it.
    static constexpr quint16 kCodePage = 936;
    // A LABEL body is 8 bytes plus the text, and the body length is a 16-bit word.
    static constexpr int kMaxLabelBytes = 65527;
    // RK integers are signed 30-bit.
    static constexpr qint64 kMinRk = -536870912;
    static constexpr qint64 kMaxRk = 536870911;
    // Rows and columns are 16-bit.
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 65536;

    // The device stays the caller's; a failed write throws QuenvaleError with its reason.
    explicit BiffWriter(QIODevice* device);

    void bof();
    void codePage();
    void label(int row, int column, const QString& text);
    void number(int row, int column, double value);
    // An RK cell when the value fits in 30 bits, a NUMBER cell otherwise.
    void integer(int row, int column, qint64 value);
    void blank(int row, int column);
    void eof();

    // The text's GBK bytes ("?" for what GBK lacks), cut at a character boundary so that
    // they fit in one LABEL.
    static QByteArray labelBytes(const QString& text);

private:
    void record(quint16 type, const QByteArray& body);

    QIODevice* m_device;
};
