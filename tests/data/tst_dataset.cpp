// The dataset snapshot, its writes and the connection around it, on a real book.
#include "tst_dataset.h"

#include "data/dm.h"
#include "data/errors.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "datasupport.h"

#include <QFile>
#include <QSignalSpy>

#include <libpq-fe.h>
#include <sys/socket.h>

using namespace testsupport;

void DatasetTest::freshBookHoldsHashedAdministrator()
{
    BookFolder book;
    const QString stored =
        scalar(book.bookPath(), QStringLiteral("select passwd from userdb where username=?"),
               {QStringLiteral("超级管理员")})
            .toString();
    QVERIFY(!stored.isEmpty());
    QVERIFY(!stored.contains(QStringLiteral("574")));
    QVERIFY(passwords::verify(stored, QStringLiteral("574")));
    QVERIFY(!passwords::verify(stored, QStringLiteral("575")));
    if (!onServer())
        QCOMPARE(scalar(book.bookPath(), QStringLiteral("PRAGMA user_version")).toInt(),
                 schema::kVersion);
    // Names are unique whatever their letter case.
    sql::ScopedConnection conn(book.bookPath());
    sql::exec(conn.db(), QStringLiteral("insert into userdb values (?,?)"),
              {QStringLiteral("Zhang"), QStringLiteral("x")});
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             sql::exec(conn.db(), QStringLiteral("insert into userdb values (?,?)"),
                                       {QStringLiteral("ZHANG"), QStringLiteral("y")}));
}

void DatasetTest::snapshotIgnoresOtherWritersUntilReopened()
{
    BookFolder book;
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                 QStringLiteral("房租"), QStringLiteral("甲"), 100, 80, 0, 0);
    Tdmfm dm(book.openName());
    dm.ADOQuery15->open(QStringLiteral("select * from data order by day1"));
    QCOMPARE(dm.ADOQuery15->recordCount(), 1);
    insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-09"),
                 QStringLiteral("水费"), QString(), 0, 0, 30, 30);
    QCOMPARE(dm.ADOQuery15->recordCount(), 1);
    dm.ADOQuery15->open();
    QCOMPARE(dm.ADOQuery15->recordCount(), 2);
    dm.ADOQuery15->last();
    QCOMPARE(dm.ADOQuery15->text(QStringLiteral("b")), QStringLiteral("水费"));
    QCOMPARE(dm.ADOQuery15->text(QStringLiteral("4")), QStringLiteral("30"));
    QCOMPARE(dm.ADOQuery15->text(QStringLiteral("day1")), QStringLiteral("2015-12-09"));
    // The hidden key is not one of the listing's fields.
    QVERIFY(!dm.ADOQuery15->hasField(QStringLiteral("id")));
    QCOMPARE(dm.ADOQuery15->fieldCount(), 11);
}

void DatasetTest::postAndDeleteTouchExactlyOneRow()
{
    BookFolder book;
    // Two identical rows: only the key tells them apart.
    for (int i = 0; i < 2; ++i)
        insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                     QStringLiteral("同一"), QStringLiteral("甲"), 10, 10, 0, 0);
    Tdmfm dm(book.openName());
    Dataset* listing = dm.ADOQuery15;
    listing->open(QStringLiteral("select * from data"));
    listing->first();
    listing->edit();
    listing->setValue(QStringLiteral("b"), QStringLiteral("改了"));
    listing->setValue(QStringLiteral("1"), 12.5);
    listing->post();
    QCOMPARE(listing->text(QStringLiteral("b")), QStringLiteral("改了"));
    QCOMPARE(
        scalar(book.bookPath(), QStringLiteral("select count(*) from data where b='改了'")).toInt(),
        1);
    QCOMPARE(
        scalar(book.bookPath(), QStringLiteral("select count(*) from data where b='同一'")).toInt(),
        1);
    QCOMPARE(listing->sum(QStringLiteral("1")), 22.5);

    listing->last();
    listing->deleteCurrent();
    QCOMPARE(listing->recordCount(), 1);
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from data")).toInt(), 1);
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select b from data")).toString(),
             QStringLiteral("改了"));

    // A row another program deleted cannot be changed silently.
    sql::ScopedConnection other(book.bookPath());
    sql::exec(other.db(), QStringLiteral("delete from data"));
    listing->first();
    listing->edit();
    listing->setValue(QStringLiteral("b"), QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, listing->post());
}

void DatasetTest::appendAddsOneRowToTableAndSnapshot()
{
    BookFolder book;
    Tdmfm dm(book.openName());
    Dataset* table = dm.ADOTable5;
    table->openTable();
    QCOMPARE(table->recordCount(), 0);
    table->append();
    table->setValue(QStringLiteral("a"), QStringLiteral("支出"));
    table->setValue(QStringLiteral("day1"), QStringLiteral("2016-01-02"));
    table->setValue(QStringLiteral("4"), 200.0);
    table->setValue(QStringLiteral("o"), QStringLiteral("1"));
    table->post();
    QCOMPARE(table->recordCount(), 1);
    QVERIFY(table->key() > 0);
    QCOMPARE(
        scalar(book.bookPath(), QStringLiteral("select \"4\" from data where id=?"), {table->key()})
            .toDouble(),
        200.0);
    QVERIFY(scalar(book.bookPath(), QStringLiteral("select \"1\" from data")).isNull());
    // A cancelled append writes nothing.
    table->append();
    table->setValue(QStringLiteral("a"), QStringLiteral("收入"));
    table->cancel();
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from data")).toInt(), 1);
}

void DatasetTest::sortIsInMemoryAndStable()
{
    BookFolder book;
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-02"),
                 QStringLiteral("b1"), QString(), 5, 0, 0, 0);
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                 QStringLiteral("b2"), QString(), 30, 0, 0, 0);
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-03"),
                 QStringLiteral("b3"), QString(), 5, 0, 0, 0);
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-04"),
                 QStringLiteral("b4"), QString(), 100, 0, 0, 0);
    Tdmfm dm(book.openName());
    Dataset* listing = dm.ADOQuery15;
    listing->open(QStringLiteral("select * from data order by day1"));
    auto column = [listing](const QString& field) {
        QStringList values;
        for (int i = 0; i < listing->recordCount(); ++i)
            values << listing->valueAt(i, field).toString();
        return values.join(u',');
    };
    listing->setSort(QStringLiteral("1 DESC"));
    // Numbers compare as numbers (100 above 30), ties keep the statement's order.
    QCOMPARE(column(QStringLiteral("b")), QStringLiteral("b4,b2,b1,b3"));
    listing->setSort(QStringLiteral("1"));
    QCOMPARE(column(QStringLiteral("b")), QStringLiteral("b1,b3,b2,b4"));
    listing->setSort(QStringLiteral("day1 DESC"));
    QCOMPARE(column(QStringLiteral("day1")),
             QStringLiteral("2015-12-04,2015-12-03,2015-12-02,2015-12-01"));
    // The database was not asked: another writer's row does not appear.
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-05"),
                 QStringLiteral("b5"), QString(), 1, 0, 0, 0);
    listing->setSort(QStringLiteral("b"));
    QCOMPARE(listing->recordCount(), 4);
    // Running the statement again drops the sort.
    listing->open();
    QCOMPARE(column(QStringLiteral("b")), QStringLiteral("b2,b1,b3,b4,b5"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, listing->setSort(QStringLiteral("nosuchfield")));
}

void DatasetTest::bookmarksSurviveSortAndNoticeDeletion()
{
    BookFolder book;
    for (int i = 1; i <= 3; ++i)
        insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-0%1").arg(i),
                     QStringLiteral("r%1").arg(i), QString(), i, 0, 0, 0);
    Tdmfm dm(book.openName());
    Dataset* listing = dm.ADOQuery15;
    listing->open(QStringLiteral("select * from data order by day1"));
    listing->moveTo(1);
    const Dataset::Bookmark mark = listing->bookmark();
    listing->setSort(QStringLiteral("day1 DESC"));
    listing->first();
    listing->gotoBookmark(mark);
    QCOMPARE(listing->text(QStringLiteral("b")), QStringLiteral("r2"));
    listing->deleteCurrent();
    QVERIFY(!listing->bookmarkValid(mark));
    const qint64 key = [&] {
        listing->first();
        return listing->key();
    }();
    listing->last();
    QVERIFY(listing->locateKey(key));
    QCOMPARE(listing->recNo(), 1);
}

void DatasetTest::reconnectLeavesDatasetsClosed()
{
    BookFolder book;
    Tdmfm dm(book.openName());
    dm.ADOQuery1->open(QStringLiteral("select username from userdb"));
    dm.ADOQuery15->open(QStringLiteral("select * from data"));
    dm.ADOTable5->openTable();
    dm.setConnected(false);
    QVERIFY(!dm.connected());
    for (Dataset* d : {dm.ADOQuery1, dm.ADOQuery15, dm.ADOTable5})
        QVERIFY(!d->isOpen());
    // While disconnected the file can be replaced: nothing holds it.
    QVERIFY(onServer() || QFile::exists(book.bookPath()));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             dm.ADOQuery15->open(QStringLiteral("select * from data")));
    dm.setConnected(true);
    QVERIFY(dm.connected());
    for (Dataset* d : {dm.ADOQuery1, dm.ADOQuery15, dm.ADOTable5})
        QVERIFY(!d->isOpen());
    dm.ADOQuery15->open(QStringLiteral("select * from data"));
    QVERIFY(dm.ADOQuery15->isOpen());
}

void DatasetTest::quotesAreOrdinaryCharacters()
{
    BookFolder book;
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                 QStringLiteral("O'Brien's \"tea\""), QStringLiteral("a'b"), 1, 1, 0, 0);
    Tdmfm dm(book.openName());
    dm.ADOQuery15->open(QStringLiteral("select * from data where c=?"), {QStringLiteral("a'b")});
    QCOMPARE(dm.ADOQuery15->recordCount(), 1);
    QCOMPARE(dm.ADOQuery15->text(QStringLiteral("b")), QStringLiteral("O'Brien's \"tea\""));
    dm.ADOQuery15->open(QStringLiteral("select * from data where b like ? escape '\\'"),
                        {sql::likeContains(QStringLiteral("'s \""))});
    QCOMPARE(dm.ADOQuery15->recordCount(), 1);
    dm.ADOQuery15->open(QStringLiteral("select * from data where b like ? escape '\\'"),
                        {sql::likeContains(QStringLiteral("%"))});
    QCOMPARE(dm.ADOQuery15->recordCount(), 0);
}

void DatasetTest::emptyAndClosedDatasetsRefuse()
{
    BookFolder book;
    Tdmfm dm(book.openName());
    Dataset* listing = dm.ADOQuery15;
    try {
        listing->sort();
        listing->recordCount();
        QFAIL("a closed dataset answered");
    } catch (const DatabaseError& e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot perform this operation on a closed dataset"));
    }
    listing->open(QStringLiteral("select * from data"));
    QCOMPARE(listing->recordCount(), 0);
    QVERIFY(listing->eof());
    try {
        listing->deleteCurrent();
        QFAIL("deleted from an empty dataset");
    } catch (const DatabaseError& e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot perform this operation on an empty dataset"));
    }
}

void DatasetTest::startupRefusesMissingAndForeignFiles()
{
    QUENVALE_LOCAL_BOOK_ONLY("about the book file");
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    auto failure = [] {
        try {
            Tdmfm dm;
        } catch (const StartupError& e) {
            return e.message();
        }
        return QString();
    };
    const QString path = dir.filePath(QStringLiteral("data.mdb"));
    QString message = failure();
    QVERIFY2(message.contains(path), qPrintable(message));
    QVERIFY2(!QFile::exists(path), "a missing book must not be created");

    const QList<QByteArray> contents = {QByteArray(),
                                        QByteArray("not a database at all, just some text\n"),
                                        QByteArray("SQLite format 3\0", 16) + QByteArray(84, '\0')};
    for (const QByteArray& bytes : contents) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        message = failure();
        QVERIFY2(message.contains(path), qPrintable(message));
        QFile back(path);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), bytes);
    }
    // A real SQLite file without the book's tables.
    QFile::remove(path);
    {
        sql::ScopedConnection conn(path);
        sql::exec(conn.db(), QStringLiteral("create table other (x)"));
    }
    message = failure();
    QVERIFY2(message.contains(path) && message.contains(QStringLiteral("data, userdb and rz")),
             qPrintable(message));
    QDir::setCurrent(previous);
}

void DatasetTest::fillingOutlivesAConnectionMadeAgain()
{
    if (!testsupport::onServer())
        QSKIP("a local book has no connection to lose");
    BookFolder book;
    {
        sql::ScopedConnection conn(book.bookPath());
        sql::exec(conn.db(), QStringLiteral("insert into data (a,day1,b,\"1\") select '收入', "
                                            "'2015-12-' || (10 + i % 20), '摘要' || i, i from "
                                            "generate_series(1, 3000) as i"));
    }
    const FillFrom small(1, 4, 7);
    Tdmfm dm(book.openName());
    Tdmfm other(book.openName());
    Dataset* d = dm.ADOQuery15;
    const QString all = QStringLiteral("select * from data order by day1");
    d->open(all);
    d->last();
    // A few slices read, the next one held: the connection cut underneath and made again by the
    // next statement, before the filling goes on.
    QCoreApplication::processEvents();
    QVERIFY(d->isFilling());
    QSqlDatabase db = dm.connection();
    QCOMPARE(::shutdown(PQsocket(server::handleOf(db)), SHUT_RDWR), 0);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, sql::exec(db, QStringLiteral("select 1")));
    sql::exec(db, QStringLiteral("select 1"));
    QTRY_VERIFY_WITH_TIMEOUT(!d->isFilling(), 20000);
    other.ADOQuery15->open(all);
    QCOMPARE(rowsOf(d), rowsOf(other.ADOQuery15));
}

QUENVALE_DATA_TEST_MAIN(DatasetTest)
