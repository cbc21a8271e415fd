// The book survives killed programs and several copies writing at once, and a damaged or
// foreign file is refused at start-up without being touched.
#include "app/mainform.h"
#include "app/startup.h"
#include "data/errors.h"
#include "data/sql.h"
#include "recordvalues.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <map>

using namespace testsupport;

namespace {

struct DriverRun
{
    QString tag;
    std::map<int, qint64> acknowledged; // n -> key
    QStringList errors;
    bool done = false;
    qint64 loginId = 0;
};

void readLines(QProcess& process, DriverRun& run)
{
    while (process.canReadLine()) {
        const QString line = QString::fromUtf8(process.readLine()).trimmed();
        const QStringList parts = line.split(u' ');
        if (parts.value(0) == u"ACK")
            run.acknowledged[parts.value(2).toInt()] = parts.value(1).toLongLong();
        else if (parts.value(0) == u"LOGIN")
            run.loginId = parts.value(1).toLongLong();
        else if (parts.value(0) == u"ERROR")
            run.errors << line.mid(6);
        else if (line == u"DONE")
            run.done = true;
    }
}

void startDriver(QProcess& process, const QString& folder, const QString& tag, int count)
{
    process.setProgram(QStringLiteral(QUENVALE_TESTDRIVER));
    process.setArguments({QStringLiteral("add"), folder, tag, QString::number(count)});
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();
    QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
}

const QString kColumns = QStringLiteral("id,b,a,day1,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o");

// The row in q (selected with kColumns) holds exactly the record r.
void compareRow(const QSqlQuery& q, const RecordValues& r)
{
    QCOMPARE(q.value(1).toString(), r.summary);
    QCOMPARE(q.value(2).toString(), r.kind);
    QCOMPARE(q.value(3).toString(), r.date);
    QCOMPARE(q.value(4).toString(), r.counterparty);
    const double amounts[] = {r.income, r.received, r.receivable, r.expense, r.paid, r.payable};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(q.value(5 + i).toDouble(), amounts[i]);
    QCOMPARE(q.value(11).toString(), QStringLiteral("1"));
}

// Every acknowledged record is there once, with all eleven fields as written.
void checkAcknowledged(const QString& bookPath, const DriverRun& run)
{
    sql::ScopedConnection conn(bookPath);
    for (const auto& [n, key] : run.acknowledged) {
        const RecordValues r = RecordValues::forNumber(run.tag, n);
        QSqlQuery q =
            sql::exec(conn.db(),
                      QStringLiteral("select ") + kColumns + QStringLiteral(" from data where b=?"),
                      {r.summary});
        QVERIFY2(q.next(),
                 qPrintable(QStringLiteral("acknowledged record %1 lost").arg(r.summary)));
        QCOMPARE(q.value(0).toLongLong(), key);
        compareRow(q, r);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(!q.next(), qPrintable(QStringLiteral("record %1 stored twice").arg(r.summary)));
    }
}

// Every row in the book, acknowledged or not, is whole: a row is never half-written.
void checkNoTornRows(const QString& bookPath)
{
    sql::ScopedConnection conn(bookPath);
    QSqlQuery q =
        sql::exec(conn.db(), QStringLiteral("select ") + kColumns + QStringLiteral(" from data"));
    while (q.next()) {
        const QString summary = q.value(1).toString();
        compareRow(q, RecordValues::forNumber(summary.section(u'-', 0, 0),
                                              summary.section(u'\'', 1).toInt()));
        if (QTest::currentTestFailed())
            return;
    }
}

QString integrity(const QString& bookPath)
{
    if (onServer())
        return QStringLiteral("ok"); // the server keeps its own files whole
    return scalar(bookPath, QStringLiteral("PRAGMA integrity_check")).toString();
}

} // namespace

class DurabilityTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void killedWritersLoseNoAcknowledgedRecord();
    void twoWritersShareOneBook();
    void lockedBookGivesClearErrorAndKeepsEverything();
    void damagedOrForeignBooksAreRefusedUntouched();
};

void DurabilityTest::killedWritersLoseNoAcknowledgedRecord()
{
    BookFolder book;
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qInfo("seed %u", seed);
    constexpr int kRounds = 6;
    int acknowledged = 0;
    QList<DriverRun> runs;
    for (int round = 0; round < kRounds; ++round) {
        DriverRun run;
        run.tag = QStringLiteral("kill%1").arg(round);
        QProcess driver;
        // A server takes records faster than a synced file: it gets more to write.
        startDriver(driver, onServer() ? book.bookPath() : book.path(), run.tag,
                    onServer() ? 100000 : 1000);
        // Wait for the first acknowledgement, then a random moment more, then kill.
        while (run.acknowledged.empty() && driver.state() == QProcess::Running) {
            driver.waitForReadyRead(5000);
            readLines(driver, run);
        }
        const int pause = static_cast<int>(random.bounded(20, 600));
        QTest::qWait(pause);
        driver.kill();
        driver.waitForFinished(10000);
        readLines(driver, run);
        QVERIFY2(!run.done, "the driver finished before it was killed; raise the count");
        acknowledged += static_cast<int>(run.acknowledged.size());
        runs << run;
    }
    QCOMPARE(integrity(book.bookPath()), QStringLiteral("ok"));
    for (const DriverRun& run : std::as_const(runs))
        checkAcknowledged(book.bookPath(), run);
    checkNoTornRows(book.bookPath());
    const int found = scalar(book.bookPath(), QStringLiteral("select count(*) from data")).toInt();
    QVERIFY(found >= acknowledged);
    // At most one record per round was stored but not yet acknowledged when the kill came.
    QVERIFY(found <= acknowledged + kRounds);
    qInfo("rounds killed %d, records acknowledged %d, records found %d", kRounds, acknowledged,
          found);
}

void DurabilityTest::twoWritersShareOneBook()
{
    BookFolder book;
    DriverRun runs[2];
    QProcess drivers[2];
    for (int i = 0; i < 2; ++i) {
        runs[i].tag = QStringLiteral("copy%1").arg(i);
        startDriver(drivers[i], onServer() ? book.bookPath() : book.path(), runs[i].tag, 500);
    }
    for (int i = 0; i < 2; ++i) {
        QVERIFY(drivers[i].waitForFinished(240000));
        readLines(drivers[i], runs[i]);
        QVERIFY2(runs[i].done, qPrintable(runs[i].errors.join(u'\n') +
                                          QString::fromUtf8(drivers[i].readAllStandardError())));
        QCOMPARE(runs[i].acknowledged.size(), size_t(500));
        checkAcknowledged(book.bookPath(), runs[i]);
    }
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from data")).toInt(), 1000);
    QCOMPARE(integrity(book.bookPath()), QStringLiteral("ok"));
    // Each copy closed its own login-log row.
    QVERIFY(runs[0].loginId != runs[1].loginId);
    for (const DriverRun& run : runs) {
        QCOMPARE(scalar(book.bookPath(), QStringLiteral("select username from rz where id=?"),
                        {run.loginId})
                     .toString(),
                 run.tag);
        QVERIFY(!scalar(book.bookPath(), QStringLiteral("select jtime from rz where id=?"),
                        {run.loginId})
                     .toString()
                     .isEmpty());
    }
    qInfo("concurrent totals: %zu + %zu acknowledged, 1000 found", runs[0].acknowledged.size(),
          runs[1].acknowledged.size());
}

void DurabilityTest::lockedBookGivesClearErrorAndKeepsEverything()
{
    QUENVALE_LOCAL_BOOK_ONLY("a server has no file lock");
    BookFolder book;
    DriverRun run;
    run.tag = QStringLiteral("locked");
    QProcess driver;
    startDriver(driver, book.path(), run.tag, 1000000);
    while (run.acknowledged.size() < 20 && driver.state() == QProcess::Running) {
        driver.waitForReadyRead(5000);
        readLines(driver, run);
    }
    {
        // Another program holds the book longer than a writer waits.
        sql::ScopedConnection holder(book.bookPath());
        // The busy writer may win the lock a few times before the holder gets it.
        bool held = false;
        for (int attempt = 0; attempt < 20 && !held; ++attempt) {
            try {
                sql::exec(holder.db(), QStringLiteral("BEGIN EXCLUSIVE"));
                held = true;
            } catch (const DatabaseError&) {
            }
        }
        QVERIFY(held);
        QVERIFY(driver.waitForFinished(60000));
        sql::exec(holder.db(), QStringLiteral("COMMIT"));
    }
    readLines(driver, run);
    QCOMPARE(driver.exitCode(), 1);
    QVERIFY(!run.done);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY2(run.errors.constFirst().contains(QStringLiteral("locked")),
             qPrintable(run.errors.constFirst()));
    QCOMPARE(integrity(book.bookPath()), QStringLiteral("ok"));
    checkAcknowledged(book.bookPath(), run);
    checkNoTornRows(book.bookPath());
    // Nothing beyond what was acknowledged: the refused record was not half-written.
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from data")).toInt(),
             static_cast<int>(run.acknowledged.size()));
}

void DurabilityTest::damagedOrForeignBooksAreRefusedUntouched()
{
    QUENVALE_LOCAL_BOOK_ONLY("about the book file");
    BookFolder book;
    {
        sql::ScopedConnection conn(book.bookPath());
        sql::Transaction tx(conn.db());
        for (int n = 0; n < 3000; ++n) {
            const RecordValues r = RecordValues::forNumber(QStringLiteral("big"), n);
            sql::exec(conn.db(),
                      QStringLiteral("insert into data (a,day1,b,c,o) values (?,?,?,?,'1')"),
                      {r.kind, r.date, r.summary, r.counterparty});
        }
        tx.commit();
    }
    QFile whole(book.bookPath());
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QByteArray full = whole.readAll();
    whole.close();

    QTemporaryDir foreignDir;
    const QString foreign = foreignDir.filePath(QStringLiteral("other.db"));
    {
        sql::ScopedConnection conn(foreign);
        sql::exec(conn.db(), QStringLiteral("create table data (a)"));
        sql::exec(conn.db(), QStringLiteral("create table userdb (username, passwd)"));
    }
    QFile foreignFile(foreign);
    QVERIFY(foreignFile.open(QIODevice::ReadOnly));
    const QByteArray foreignBytes = foreignFile.readAll();

    const QList<QPair<QString, QByteArray>> cases = {
        {QStringLiteral("empty"), QByteArray()},
        {QStringLiteral("truncated"), full.left(full.size() / 2)},
        {QStringLiteral("unrecognised"), QByteArray("PK\x03\x04 some archive, not a book")},
        {QStringLiteral("rz are missing"), foreignBytes}};
    for (const auto& [cause, bytes] : cases) {
        QFile f(book.bookPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        scripted().clear();
        QCOMPARE(startup::run(*qApp), 1);
        QVERIFY(!MainForm);
        QCOMPARE(scripted().shown.size(), 1);
        const QString message = scripted().lastText();
        QVERIFY2(message.contains(book.bookPath()) && message.contains(cause), qPrintable(message));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY2(f.readAll() == bytes, qPrintable(cause));
        f.close();
    }
}

QUENVALE_TEST_MAIN(DurabilityTest)
#include "tst_durability.moc"
