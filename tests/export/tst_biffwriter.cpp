#include "biffcells.h"
#include "data/errors.h"
#include "export/biffwriter.h"
#include "support/datasupport.h"

#include <QBuffer>
#include <QFile>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// One writer call into fresh bytes.
template <typename Write> QByteArray written(Write&& write)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    BiffWriter writer(&buffer);
    write(writer);
    return bytes;
}

} // namespace

class TestBiffWriter : public QObject
{
    Q_OBJECT

private slots:
    void frameRecords()
    {
        QCOMPARE(written([](BiffWriter& w) { w.bof(); }), hex("090808000000100000000000"));
        // Code page 936 (0x03A8) right after the BOF.
        QCOMPARE(written([](BiffWriter& w) { w.codePage(); }), hex("42000200a803"));
        QCOMPARE(written([](BiffWriter& w) { w.eof(); }), hex("0a000000"));
    }

    void integers()
    {
        QCOMPARE(written([](BiffWriter& w) { w.integer(4, 10, 5); }), hex("7e020a00"
                                                                          "0400"
                                                                          "0a00"
                                                                          "0000"
                                                                          "16000000"));
        QCOMPARE(written([](BiffWriter& w) { w.integer(0, 0, -1); }).right(4), hex("feffffff"));
        // The edges of the 30-bit range stay RK; one beyond becomes a NUMBER with the value.
        QCOMPARE(written([](BiffWriter& w) { w.integer(0, 0, 536870911); }).right(4),
                 hex("feffff7f"));
        QCOMPARE(written([](BiffWriter& w) { w.integer(0, 0, -536870912); }).right(4),
                 hex("02000080"));
        for (qint64 outside : {qint64(536870912), qint64(-536870913), qint64(5000000000)}) {
            const QByteArray bytes =
                written([outside](BiffWriter& w) { w.integer(1, 2, outside); });
            const biff::Sheet sheet = biff::cells({{0x0203, bytes.mid(4)}});
            QCOMPARE(biff::word(bytes, 0), quint16(0x0203));
            QCOMPARE(sheet.value({1, 2}).value.toDouble(), double(outside));
        }
    }

    void numberBlankAndLabels()
    {
        // 12.345 as an IEEE double: 0x4028B0A3D70A3D71.
        QCOMPARE(written([](BiffWriter& w) { w.number(4, 4, 12.345); }), hex("03020e00"
                                                                             "0400"
                                                                             "0400"
                                                                             "0000"
                                                                             "713d0ad7a3b02840"));
        QCOMPARE(written([](BiffWriter& w) { w.blank(5, 2); }), hex("01020600"
                                                                    "0500"
                                                                    "0200"
                                                                    "1700"));
        QCOMPARE(written([](BiffWriter& w) { w.label(3, 1, QString()); }), hex("04020800"
                                                                               "0300"
                                                                               "0100"
                                                                               "0000"
                                                                               "0000"));
        // GBK bytes, length counted in bytes: 财务 is 2 characters, 4 bytes.
        QCOMPARE(written([](BiffWriter& w) { w.label(0, 3, QStringLiteral("财务A")); }),
                 hex("04020d00"
                     "0000"
                     "0300"
                     "0000"
                     "0500"
                     "b2c6cef141"));
    }

    void charactersGbkLacks()
    {
        // Thai and an emoji are not in GBK: each becomes one "?", nothing else is lost.
        QCOMPARE(BiffWriter::labelBytes(QStringLiteral("现ก金😀帐")),
                 QByteArray("\xcf\xd6?\xbd\xf0?\xd5\xca"));
    }

    void tooLongTextIsCutAtACharacter()
    {
        // 40000 Chinese characters are 80000 bytes; a cut may not split one.
        const QString chinese(40000, QChar(0x8d26)); // 账
        QByteArray bytes = BiffWriter::labelBytes(chinese);
        QCOMPARE(bytes.size(), 65526);
        QCOMPARE(QString(QStringDecoder("GBK").decode(bytes)), chinese.left(32763));
        bytes = BiffWriter::labelBytes(u'a' + chinese);
        QCOMPARE(bytes.size(), 65527);
        const QByteArray record = written([&](BiffWriter& w) { w.label(0, 0, u'a' + chinese); });
        QCOMPARE(biff::word(record, 2), quint16(65535));
        QCOMPARE(record.size(), 4 + 65535);
        QCOMPARE(BiffWriter::labelBytes(QString(65527, u'x')).size(), 65527);
    }

    void failedWriteThrows()
    {
        QFile file; // never opened: every write fails
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("device not open")));
        BiffWriter writer(&file);
        QVERIFY_THROWS_EXCEPTION(QuenvaleError, writer.bof());
    }
};

QUENVALE_DATA_TEST_MAIN(TestBiffWriter)
#include "tst_biffwriter.moc"
