// Converting a data.mdb still in the Access format; the start-up around it is tested in
// tests/app/tst_legacystart.cpp.
#include "support/datasupport.h"

#include "data/errors.h"
#include "data/legacy.h"
#include "data/legacyreader.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>

#include <bit>
#include <clocale>
#include <cstring>

using namespace testsupport;

namespace {

QString dataFile(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("QUENVALE_TEST_DATA")) + u'/' + name;
}

QByteArray fixtureBytes()
{
    QFile file(dataFile(QStringLiteral("legacy-book.mdb")));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture missing: %s", qPrintable(file.fileName()));
    return file.readAll();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList folderEntries(const BookFolder& folder)
{
    return QDir(folder.path())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// One field of the expected CSV: quoted text, NULL, or a bare date or number.
struct Expected
{
    bool quoted = false;
    QString text;
};

QList<Expected> parseLine(const QString& line)
{
    QList<Expected> fields;
    qsizetype i = 0;
    while (i <= line.size()) {
        Expected f;
        if (i < line.size() && line.at(i) == u'"') {
            f.quoted = true;
            ++i;
            while (i < line.size()) {
                if (line.at(i) == u'"') {
                    if (i + 1 < line.size() && line.at(i + 1) == u'"') {
                        f.text += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                f.text += line.at(i++);
            }
        } else {
            while (i < line.size() && line.at(i) != u',')
                f.text += line.at(i++);
        }
        fields << f;
        ++i; // the comma
    }
    return fields;
}

struct ExpectedTable
{
    QString name;
    QStringList columns;
    QList<QList<Expected>> rows;
};

QList<ExpectedTable> expectedTables()
{
    QFile file(dataFile(QStringLiteral("legacy-book.expected.csv")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("expected CSV missing");
    QList<ExpectedTable> tables;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("#table "))) {
            const QStringList parts = line.split(u' ');
            tables.append({parts.at(1), parts.at(2).split(u','), {}});
        } else {
            tables.last().rows << parseLine(line);
        }
    }
    return tables;
}

QString quoted(const QString& column)
{
    return u'"' + column + u'"';
}

void compareTable(const QString& book, const ExpectedTable& expected)
{
    QStringList columns;
    for (const QString& c : expected.columns)
        columns << quoted(c);
    const bool keyed = expected.columns.constFirst() == u"id";
    sql::ScopedConnection conn(book);
    QSqlQuery q =
        sql::exec(conn.db(), QStringLiteral("select %1 from %2 order by %3")
                                 .arg(columns.join(u','), expected.name,
                                      keyed ? QStringLiteral("id") : QStringLiteral("rowid")));
    qsizetype row = 0;
    while (q.next()) {
        QVERIFY2(row < expected.rows.size(),
                 qPrintable(expected.name + QStringLiteral(": extra row")));
        const QList<Expected>& want = expected.rows.at(row);
        QCOMPARE(want.size(), expected.columns.size());
        for (qsizetype c = 0; c < want.size(); ++c) {
            const QVariant got = q.value(static_cast<int>(c));
            const Expected& w = want.at(c);
            const QString where = QStringLiteral("%1 row %2 column %3")
                                      .arg(expected.name)
                                      .arg(row + 1)
                                      .arg(expected.columns.at(c));
            if (expected.name == u"userdb" && expected.columns.at(c) == u"passwd") {
                // Stored hashed; the password typed in Access must still open it.
                QVERIFY2(passwords::verify(got.toString(), w.text), qPrintable(where));
                continue;
            }
            if (!w.quoted && w.text == u"NULL") {
                QVERIFY2(got.isNull(), qPrintable(where));
                continue;
            }
            QVERIFY2(!got.isNull(), qPrintable(where));
            static const QRegularExpression date(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
            const bool number = !w.quoted && !date.match(w.text).hasMatch();
            if (number) {
                // Bit for bit: the CSV holds each double in its shortest round-trip form.
                QCOMPARE(got.typeId(), int(QMetaType::Double));
                bool ok = false;
                const double want = QLocale::c().toDouble(w.text, &ok);
                QVERIFY2(ok, qPrintable(where));
                QVERIFY2(
                    std::bit_cast<quint64>(got.toDouble()) == std::bit_cast<quint64>(want),
                    qPrintable(where + QStringLiteral(": %1 instead of %2")
                                           .arg(QString::number(got.toDouble(), 'g', 17), w.text)));
            } else {
                QVERIFY2(got.toString() == w.text,
                         qPrintable(where + QStringLiteral(": \"%1\" instead of \"%2\"")
                                                .arg(got.toString(), w.text)));
            }
        }
        ++row;
    }
    QCOMPARE(row, expected.rows.size());
}

// Puts the Access book where the program looks for data.mdb.
void placeAccessBook(const BookFolder& folder, const QByteArray& bytes)
{
    writeAll(folder.bookPath(), bytes);
}

} // namespace

class TestLegacy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QByteArray locale = qgetenv("QUENVALE_TEST_LOCALE");
        if (!locale.isEmpty()) {
            if (!std::setlocale(LC_ALL, locale.constData()))
                QSKIP(qPrintable(
                    QStringLiteral("locale %1 is not installed").arg(QString::fromLatin1(locale))));
            // The point of this run: the C library now writes a decimal comma.
            QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
        }
    }

    void convertsTheBookKeepingEveryRowAndTheOriginal()
    {
        BookFolder folder;
        const QByteArray original = fixtureBytes();
        placeAccessBook(folder, original);
        QVERIFY(legacy::isAccessBook(folder.bookPath()));

        const legacy::Counts counts = legacy::convertBook(folder.bookPath());
        QCOMPARE(counts.records, 236);
        QCOMPARE(counts.users, 3);
        QCOMPARE(counts.logins, 3);
        QVERIFY(!legacy::isAccessBook(folder.bookPath()));

        QCOMPARE(readAll(folder.file(QStringLiteral("data.mdb.access"))), original);
        QVERIFY(readAll(folder.bookPath()).startsWith(QByteArray("SQLite format 3\0", 16)));
        QCOMPARE(scalar(folder.bookPath(), QStringLiteral("PRAGMA user_version")).toInt(),
                 schema::kVersion); // the current layout, keys never given twice
        QCOMPARE(folderEntries(folder),
                 QStringList({QStringLiteral("data.mdb"), QStringLiteral("data.mdb.access")}));

        const QList<ExpectedTable> tables = expectedTables();
        QCOMPARE(tables.size(), 3);
        QCOMPARE(tables.at(0).rows.size(), 236);
        for (const ExpectedTable& table : tables) {
            compareTable(folder.bookPath(), table);
            if (QTest::currentTestFailed())
                return;
        }

        // The imported users replace the fresh book's administrator: one row each.
        QCOMPARE(scalar(folder.bookPath(), QStringLiteral("select count(*) from userdb")).toInt(),
                 3);
        const QString hash =
            scalar(folder.bookPath(), QStringLiteral("select passwd from userdb where username=?"),
                   {QStringLiteral("张三")})
                .toString();
        QVERIFY(passwords::verify(hash, QStringLiteral("ABC123")));
        QVERIFY(!passwords::verify(hash, QStringLiteral("574")));
    }

    void damagedBookFailsLeavingItUntouched_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("cause");
        const QByteArray whole = fixtureBytes();
        // Cut at a page boundary: the pages that are left read without error.
        QTest::newRow("cut after page 30")
            << whole.left(30 * 4096) << QStringLiteral("data.mdb 已损坏或不完整。");
        // A page of 41 records wiped: the rest still reads, but the count tells.
        QByteArray wiped = whole;
        wiped.replace(31 * 4096, 4096, QByteArray(4096, '\0'));
        QTest::newRow("wiped data page")
            << wiped << QStringLiteral("表 data 应有 236 条记录，只读到 195 条");
        QTest::newRow("cut inside a page")
            << whole.left(100000) << QStringLiteral("data.mdb 已损坏或不完整。");
        QByteArray later = whole;
        later[0x14] = 0x02; // the version byte of an Access 2007 file
        // Two users of one name: found while writing the new book, which then goes away.
        QByteArray twice = whole;
        const QByteArray lisi = QByteArray::fromHex("4e67db56"); // 李四 as stored
        const qsizetype at = twice.indexOf(lisi, 37 * 4096);
        QVERIFY(at > 0 && at < 38 * 4096);
        twice.replace(at, 4, QByteArray::fromHex("205f094e")); // 张三
        QTest::newRow("user name twice")
            << twice << QStringLiteral("表 userdb 中用户名“张三”出现了不止一次。");
        QTest::newRow("later Access format")
            << later << QStringLiteral("不是 Access 97 或 2000 格式的数据库。");
    }

    void damagedBookFailsLeavingItUntouched()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        BookFolder folder;
        placeAccessBook(folder, bytes);

        QString message;
        try {
            legacy::convertBook(folder.bookPath());
        } catch (const QuenvaleError& e) {
            message = e.message();
        }
        QVERIFY2(message.contains(cause), qPrintable(message));
        QCOMPARE(readAll(folder.bookPath()), bytes);
        QCOMPARE(folderEntries(folder), QStringList({QStringLiteral("data.mdb")}));
    }

    // A cut at any page boundary either still holds every row or is refused; never a crash
    // and never a short book.
    void everyCutIsRefusedOrComplete()
    {
        const QByteArray whole = fixtureBytes();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.mdb"));
        int refused = 0;
        for (qsizetype size = 4096; size < whole.size(); size += 4096) {
            writeAll(path, whole.left(size));
            try {
                legacy::AccessFile file(path);
                QCOMPARE(file.read(QStringLiteral("data")).rows.size(), 236);
                QCOMPARE(file.read(QStringLiteral("userdb")).rows.size(), 3);
                QCOMPARE(file.read(QStringLiteral("rz")).rows.size(), 3);
            } catch (const QuenvaleError&) {
                ++refused;
            }
        }
        QVERIFY(refused > 30);
    }

    void existingKeptCopyIsNotReplaced()
    {
        BookFolder folder;
        const QByteArray original = fixtureBytes();
        placeAccessBook(folder, original);
        const QByteArray earlier("an earlier conversion's original");
        writeAll(folder.file(QStringLiteral("data.mdb.access")), earlier);
        legacy::convertBook(folder.bookPath());
        QCOMPARE(readAll(folder.file(QStringLiteral("data.mdb.access"))), earlier);
        QCOMPARE(readAll(folder.file(QStringLiteral("data.mdb.access.1"))), original);
        QCOMPARE(scalar(folder.bookPath(), QStringLiteral("select count(*) from data")).toInt(),
                 236);
    }
};

QUENVALE_DATA_TEST_MAIN(TestLegacy)
#include "test_legacy.moc"
