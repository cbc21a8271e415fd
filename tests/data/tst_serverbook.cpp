// The book on a PostgreSQL server: the start-up refusals, the same answers as the local book,
// a record another client deleted, a lost connection. Runs only against the test server.
#include "app/mainform.h"
#include "app/startup.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/bookwriter.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/listingquery.h"
#include "data/server.h"
#include "data/sql.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"
#include "maintenance/repairdb.h"
#include "stats/cashstats.h"
#include "testsupport.h"
#include "users/login.h"

#include <QSqlError>

using namespace testsupport;

namespace {

QString serverFolder()
{
    return qEnvironmentVariable("QUENVALE_TEST_SERVER");
}

QString startupFailure(const QString& book)
{
    try {
        Tdmfm dm(book);
    } catch (const StartupError& e) {
        return e.message();
    }
    return {};
}

int tableCount(const QString& book)
{
    return scalar(book, QStringLiteral("select count(*) from information_schema.tables where "
                                       "table_schema='public'"))
        .toInt();
}

// What a session shows for a set of tricky records: searches, balance, lists, sort, statistics.
QStringList answers()
{
    MainWindowSession session;
    const char* summaries[] = {"Abc",     "abc", "ABC", "Äbc",    "äbc",
                               "50%折扣", "a_b", "axb", "O'Neil", "中文"};
    int n = 0;
    for (const char* summary : summaries) {
        ++n;
        session.add(n % 2 ? QStringLiteral("收入") : QStringLiteral("支出"),
                    QStringLiteral("2015-%1-0%2").arg(10 + n % 3).arg(n % 9 + 1),
                    QString::fromUtf8(summary),
                    n % 4 ? QStringLiteral("甲%1").arg(n % 3) : QString(), n * 0.1, n * 0.07,
                    0.3 * n, 0.01 * n);
    }
    session.reload();
    QStringList seen;
    auto listing = [&seen](const QString& what) {
        Dataset* d = dmfm->ADOQuery15;
        QStringList rows;
        for (int i = 0; i < d->recordCount(); ++i) {
            QStringList row;
            for (int f = 0; f < d->fieldCount(); ++f)
                row << d->valueAt(i, f).toString();
            rows << row.join(u'|');
        }
        seen << what + u':' + rows.join(u';');
    };
    listing(QStringLiteral("all"));
    for (const char* text : {"a", "B", "ä", "Ä", "%", "_", "'", "中"}) {
        MainForm->Edit24->clear();
        typeText(MainForm->Edit24, QString::fromUtf8(text));
        listing(QString::fromUtf8(text));
    }
    MainForm->Edit24->clear();
    MainForm->Button7->click();
    seen << MainForm->DBGridEh1->footerText(2);
    MainForm->DBGridEh1->titleClick(2);
    listing(QStringLiteral("sorted"));
    MainForm->ToolButton7->click(); // the lists are read as the panel opens
    seen << MainForm->Panel3->ComboBox3->model()->property("stringList").toStringList().join(u',');
    QStringList counterparties;
    for (int i = 0; i < MainForm->Panel3->ComboBox2->count(); ++i)
        counterparties << MainForm->Panel3->ComboBox2->itemText(i);
    seen << counterparties.join(u',');
    const QString all = QStringLiteral("select * from data order by day1");
    for (const stats::MonthRow& m : stats::monthly(dmfm->connection(), all, {}))
        seen << m.month + QStringLiteral(":%1,%2").arg(m.amounts[0]).arg(m.amounts[3]);
    for (const stats::PartyRow& p : stats::openByCounterparty(dmfm->connection(), all, {}))
        seen << p.party +
                    QStringLiteral(":%1,%2,%3").arg(p.receivable).arg(p.payable).arg(p.records);
    return seen;
}

// Every record and user of a book, in key order.
QString contentOf(const QString& book)
{
    sql::ScopedConnection conn(book);
    QStringList rows;
    QSqlQuery q = sql::exec(conn.db(), QStringLiteral("select id,a,day1,b,c,\"1\",\"6\",o from "
                                                      "data order by id"));
    while (q.next())
        for (int i = 0; i < 8; ++i)
            rows << q.value(i).toString();
    q = sql::exec(conn.db(), QStringLiteral("select username,passwd from userdb order by rowid"));
    while (q.next())
        rows << q.value(0).toString() + q.value(1).toString();
    return rows.join(u'|');
}

void logIn()
{
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    loginfm->show();
    loginfm->ComboBox1->setEditText(QStringLiteral("超级管理员"));
    loginfm->Edit1->setText(QStringLiteral("574"));
    loginfm->bitbtn4->click();
}

} // namespace

class ServerBookTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!onServer())
            QSKIP("needs the test server");
    }
    void init() { scripted().clear(); }
    void startupRefusalsNameTheServerAndCreateNothing();
    void sameAnswersAsTheLocalBook();
    void changingARecordAnotherClientDeletedChangesNothing();
    void lostConnectionFailsOneCommandAndTheNextReconnects();
    void backupRestoreAndCopyKeepTheWholeBook();
    void serverRestartIsSurvivedAndCloseAlwaysEnds();
    void listingsCountEveryTransactionAndFillInByKey();
};

void ServerBookTest::startupRefusalsNameTheServerAndCreateNothing()
{
    const QString nowhere = QStringLiteral("host=/nonexistent/quenvale user=postgres dbname=book");
    QString message = startupFailure(nowhere);
    QVERIFY2(message.contains(QStringLiteral("服务器没有响应")) &&
                 message.contains(QStringLiteral("/nonexistent/quenvale")),
             qPrintable(message));
    // The program says so in a box and ends with no window left.
    QVERIFY(!startup::createWindows(nowhere));
    QVERIFY(!MainForm);
    QVERIFY(scripted().lastText().contains(QStringLiteral("服务器没有响应")));
    // A refused login never shows the password it was given.
    message = startupFailure(
        QStringLiteral("host=%1 user=nosuchrole password=Secret123 dbname=x").arg(serverFolder()));
    QVERIFY2(message.contains(QStringLiteral("拒绝了登录")) && !message.contains(u"Secret123") &&
                 message.contains(u"nosuchrole"),
             qPrintable(message));
    // An empty database is not a book, and stays empty.
    const QString admin =
        QStringLiteral("host=%1 user=postgres dbname=postgres").arg(serverFolder());
    const QString name = QStringLiteral("qv_empty_%1").arg(QCoreApplication::applicationPid());
    const QString empty =
        QStringLiteral("host=%1 user=postgres dbname=%2").arg(serverFolder(), name);
    {
        sql::ScopedConnection conn(admin);
        sql::exec(conn.db(), QStringLiteral("create database ") + name);
    }
    message = startupFailure(empty);
    QVERIFY2(message.contains(QStringLiteral("quenvale_mkdb --server")) && message.contains(name),
             qPrintable(message));
    QCOMPARE(tableCount(empty), 0);
    // The schema goes into an empty database only.
    {
        sql::ScopedConnection conn(empty);
        server::createSchema(conn.db());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, server::createSchema(conn.db()));
    }
    QCOMPARE(tableCount(empty), 8); // data, userdb, rz, bookinfo, settlements, changes, imports
                                    // and imported
    QCOMPARE(startupFailure(empty), QString());
}

void ServerBookTest::sameAnswersAsTheLocalBook()
{
    const QByteArray folder = qgetenv("QUENVALE_TEST_SERVER");
    const QStringList onServerBook = answers();
    qunsetenv("QUENVALE_TEST_SERVER");
    const QStringList onLocalBook = answers();
    qputenv("QUENVALE_TEST_SERVER", folder);
    QCOMPARE(onServerBook.size(), onLocalBook.size());
    for (qsizetype i = 0; i < onServerBook.size(); ++i)
        QCOMPARE(onServerBook.at(i), onLocalBook.at(i));
    QVERIFY(scripted().shown.isEmpty());
}

void ServerBookTest::changingARecordAnotherClientDeletedChangesNothing()
{
    MainWindowSession session;
    const qint64 gone = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                                    QStringLiteral("gone"), QString(), 1, 1, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-09"), QStringLiteral("kept"),
                QString(), 2, 2, 0, 0);
    session.reload();
    scalar(session.book.bookPath(), QStringLiteral("delete from data where id=?"), {gone});
    Dataset* listing = dmfm->ADOQuery15;
    QVERIFY(listing->locateKey(gone));
    listing->edit();
    listing->setValue(QStringLiteral("b"), QStringLiteral("changed"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, listing->post());
    listing->cancel();
    try {
        listing->deleteCurrent();
        QFAIL("the delete of a deleted record passed");
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("已不在账本中")), qPrintable(e.message()));
    }
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select count(*) from data")).toInt(),
             1);
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select b from data")).toString(),
             QStringLiteral("kept"));
}

void ServerBookTest::lostConnectionFailsOneCommandAndTheNextReconnects()
{
    BookFolder book;
    Tdmfm dm(book.openName());
    dm.ADOQuery15->open(QStringLiteral("select * from data"));
    sql::ScopedConnection other(book.bookPath());
    // The server ends this client's session, as a restart or a network cut would.
    scalar(book.bookPath(),
           QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where "
                          "datname=current_database() and pid<>pg_backend_pid()"));
    // What the server's client library then says comes after a Chinese explanation.
    QSqlQuery raw(other.db());
    QVERIFY(!raw.exec(QStringLiteral("select 1")));
    QVERIFY(explainedFailure(raw.lastError().databaseText())
                .startsWith(u"与服务器账本的连接已断开"_qs));
    try {
        dm.ADOQuery15->open(QStringLiteral("select * from data"));
        QFAIL("a statement on a lost connection passed");
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("连接已断开")), qPrintable(e.message()));
    }
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                 QStringLiteral("after"), QString(), 1, 1, 0, 0);
    dm.ADOQuery15->open(QStringLiteral("select * from data"));
    QCOMPARE(dm.ADOQuery15->recordCount(), 1);
    QCOMPARE(dm.ADOQuery15->text(QStringLiteral("b")), QStringLiteral("after"));
}

void ServerBookTest::backupRestoreAndCopyKeepTheWholeBook()
{
    // The backup window of a server book, driven as the operator does.
    MainWindowSession session;
    const BookFolder& book = session.book;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("before"),
                QStringLiteral("甲"), 1.25, 1, 0, 0);
    scalar(book.bookPath(), QStringLiteral("insert into userdb values (?,?)"),
           {QStringLiteral("Zhang"), QStringLiteral("hash")});
    const QString saved = contentOf(book.bookPath());
    // A folder as the target gets a data.mdb.
    const QString backup = book.file(QStringLiteral("data.mdb"));
    MainForm->ToolButton17->click();
    Tbeifen* window = MainForm->beifen;
    QVERIFY(window);
    window->Edit1->setText(book.path());
    window->BitBtn1->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("数据库备份成功！"));
    QCOMPARE(contentOf(backup), saved);

    insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-09"),
                 QStringLiteral("after"), QString(), 0, 0, 3, 3);
    const QString before = contentOf(book.bookPath());
    // A file that is no book is refused before anything changes.
    QFile junk(book.file(QStringLiteral("junk.mdb")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a book");
    junk.close();
    window->Edit2->setText(junk.fileName());
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("备份文件不是有效的数据库！"));
    QCOMPARE(contentOf(book.bookPath()), before);

    // Every PC's records are replaced: asked first, naming the server book; No changes nothing.
    window->Edit2->setText(backup);
    scripted().clear();
    scripted().answers = {false};
    window->BitBtn5->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
    QVERIFY(scripted().lastText().contains(server::displayName(book.bookPath())));
    QCOMPARE(contentOf(book.bookPath()), before);
    scripted().answers = {true};
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
    QCOMPARE(contentOf(book.bookPath()), saved);
    const QStringList safety = QDir::home().entryList({QStringLiteral("*.before-restore-*")});
    QCOMPARE(safety.size(), 1);
    QCOMPARE(contentOf(QDir::home().filePath(safety.constFirst())), before);
    window->close();
    QCOMPARE(dmfm->ADOQuery15->recordCount(), 1);
    // New keys continue after the restored ones.
    QVERIFY(insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-10"),
                         QStringLiteral("new"), QString(), 1, 1, 0, 0) > 1);

    // quenvale_mkdb --copy: the server book into a new file and on into another server book.
    const QString moved = book.file(QStringLiteral("moved.mdb"));
    bookcopy::copyBook(book.bookPath(), moved);
    const QString second = makeServerBook();
    bookcopy::copyBook(moved, second);
    QCOMPARE(contentOf(second), contentOf(book.bookPath()));
    // A server book that holds records is never overwritten.
    QVERIFY_THROWS_EXCEPTION(QuenvaleError, bookcopy::copyBook(moved, second));
    QVERIFY_THROWS_EXCEPTION(QuenvaleError, bookcopy::copyBook(second, moved));
}

void ServerBookTest::serverRestartIsSurvivedAndCloseAlwaysEnds()
{
    // A server of the test's own, to stop and start: the shared one serves other tests.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pg"));
    const QByteArray shared = qgetenv("QUENVALE_TEST_SERVER");
    auto pg = [&folder](const char* action) {
        return QProcess::execute(QStringLiteral("bash"), {QStringLiteral(QUENVALE_PGSERVER),
                                                          QString::fromLatin1(action), folder}) ==
               0;
    };
    QVERIFY(pg("start"));
    qputenv("QUENVALE_TEST_SERVER", folder.toLocal8Bit());
    const auto back = qScopeGuard([&] {
        qputenv("QUENVALE_TEST_SERVER", shared);
        pg("stop");
    });
    {
        MainWindowSession session;
        logIn();
        QVERIFY(pg("halt"));
        MainForm->Button12->click();
        QVERIFY(scripted().lastText().contains(QStringLiteral("连接已断开")));
        QVERIFY(pg("resume"));
        scripted().clear();
        MainForm->Button12->click(); // the next command connects again
        QVERIFY(pg("halt") && pg("resume"));
        QVERIFY(MainForm->close()); // the logout is written after connecting again
        QCOMPARE(scripted().texts(), QStringList());
        QVERIFY(!scalar(session.book.bookPath(), QStringLiteral("select jtime from rz"))
                     .toString()
                     .isEmpty());
        // The exit backup of a server book, in the data folder.
        QCOMPARE(autobackup::list(session.book.bookPath()).value(0).records, 0);
    }
    // A server gone for good: a SIGTERM still ends the program, saying what was not written.
    MainWindowSession session;
    logIn();
    QVERIFY(pg("halt"));
    QVERIFY(startup::closeOrderly()); // what the signal runs
    QVERIFY(!MainForm->isVisible());
    QVERIFY(scripted().lastText().contains(QStringLiteral("程序照常关闭")));
}

namespace {

CashRecord record(const QString& day, const QString& summary, double income)
{
    CashRecord r;
    r.kind = QStringLiteral("收入");
    r.date = day;
    r.summary = summary;
    r.income = income;
    r.received = income;
    return r;
}

} // namespace

void ServerBookTest::listingsCountEveryTransactionAndFillInByKey()
{
    BookFolder book;
    {
        // More rows than one slice of the filling asks for, ties on the day and days never given.
        sql::ScopedConnection conn(book.bookPath());
        sql::exec(conn.db(),
                  QStringLiteral("insert into data (a,day1,b,\"1\",o) select '收入',"
                                 " case when i%11=0 then null else '2015-12-' || (10+i%17) end,"
                                 " '摘要' || i, i, '1' from generate_series(1,9000) as i"));
    }
    const FillFrom small(1, 4);
    Tdmfm dm(book.openName());
    Tdmfm other(book.openName());
    Dataset* d = dm.ADOQuery15;
    auto fresh = [&] {
        other.ADOQuery15->open(ListingQuery::allRecords());
        return rowsOf(other.ADOQuery15);
    };
    d->open(ListingQuery::allRecords());
    QVERIFY(d->isFilling());
    QCOMPARE(d->recordCount(), 9000);
    QTRY_VERIFY_WITH_TIMEOUT(!d->isFilling(), 20000);
    QCOMPARE(rowsOf(d), fresh());

    // Another client's transaction still running: the listing is still the book; once a later
    // one has ended before it, nothing can be told until it ends; its commit is read again.
    sql::ScopedConnection client(book.bookPath());
    sql::ScopedConnection quick(book.bookPath());
    sql::exec(client.db(), QStringLiteral("begin"));
    sql::exec(client.db(), QStringLiteral("insert into data (a,day1,b,o) values"
                                          " ('支出','2015-12-20','别处','1')"));
    QVERIFY(d->reopenUnchanged(ListingQuery::allRecords()));
    sql::exec(quick.db(), QStringLiteral("insert into rz (username) values ('甲')"));
    QCOMPARE(dm.journal()->stamp().connection, qint64(0));
    QVERIFY(!d->reopenUnchanged(ListingQuery::allRecords()));
    d->open(ListingQuery::allRecords());
    d->finishFilling();
    QVERIFY(!d->reopenUnchanged(ListingQuery::allRecords())); // read while it could not be told
    sql::exec(client.db(), QStringLiteral("commit"));
    d->open(ListingQuery::allRecords());
    d->finishFilling();
    QCOMPARE(d->recordCount(), 9001);
    QVERIFY(d->reopenUnchanged(ListingQuery::allRecords()));

    // The program's own write is taken in; with another client's commit beside it, read again.
    dm.writer()->add(record(QStringLiteral("2015-12-20"), QStringLiteral("自己"), 1));
    QVERIFY(d->reopenUnchanged(ListingQuery::allRecords()));
    QCOMPARE(rowsOf(d), fresh());
    dm.writer()->add(record(QStringLiteral("2015-12-21"), QStringLiteral("又一条"), 2));
    sql::exec(client.db(), QStringLiteral("delete from data where b='摘要5'"));
    QVERIFY(!d->reopenUnchanged(ListingQuery::allRecords()));
    d->open(ListingQuery::allRecords());
    d->finishFilling();
    QCOMPARE(rowsOf(d), fresh());
}

QUENVALE_TEST_MAIN(ServerBookTest)
#include "tst_serverbook.moc"
