// A statement's rows read into a column store hold exactly what Qt's driver reads of the same
// statement, on both engines, and a whole table's listing sorted here is in the book's order; on a
// server book the reading leaves the connection as it found it (no transaction begun or ended),
// whatever the result's size, and a lost connection is explained.
#include "data/columnstore.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/rowsource.h"
#include "data/server.h"
#include "data/sql.h"
#include "datasupport.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <libpq-fe.h>
#include <sys/socket.h>

using namespace testsupport;

namespace {

// More than two of the server reader's batches.
constexpr int kGenerated = 12'345;

void addRows(QSqlDatabase& db)
{
    const QString insert =
        QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                       "values (?,?,?,?,?,?,?,?,?,?,?)");
    const QVariant none;
    sql::exec(db, insert,
              {QStringLiteral("收入"), QStringLiteral("2024-01-02"),
               QStringLiteral("摘要 'quoted' ? \"double\""), none, 0.1, 1.0 / 3, 1e300, -2.5e-300,
               123456789.125, 0.0, QStringLiteral("1")});
    sql::exec(db, insert,
              {QStringLiteral("支出"), QStringLiteral("2024-01-01"), QString(),
               QStringLiteral("单位a?b"), none, 7.0, none, 99999999999.99, 0.3, -0.0, none});
    const QString generated =
        sql::isServer(db) ? QStringLiteral("generate_series(1, %1) as s(i)") : QStringLiteral("s");
    const QString with = sql::isServer(db) ? QString()
                                           : QStringLiteral("with recursive s(i) as (select 1 "
                                                            "union all select i+1 from s where "
                                                            "i<%1) ");
    const QString statement = with +
                              QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",o) select "
                                             "'收入', '2023-' || (i % 9 + 1) || '-1' || (i % 10), "
                                             "'摘要' || (i % 700), '单位' || i, i / 8.0, i * 0.01, "
                                             "'1' from ") +
                              generated;
    sql::exec(db, statement.arg(kGenerated));
}

QString shown(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("<null>");
    if (value.metaType().id() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 17);
    return value.toString();
}

// The statement's rows as the store holds them, the key first.
QStringList readThrough(QSqlDatabase& db, const QString& statement, const QVariantList& values,
                        RowSource::Size size = RowSource::Size::Any)
{
    std::unique_ptr<RowSource> rows =
        RowSource::open(db, statement, values, QStringLiteral("id"), size);
    ColumnStore store;
    rows->describe(store);
    {
        ColumnStore::Appender cells(store);
        if (rows->read(cells, QDeadlineTimer(QDeadlineTimer::Forever)) != RowSource::Step::Done)
            return {rows->error()};
    }
    QStringList out;
    for (int r = 0; r < store.rowCount(); ++r) {
        QStringList cells{QString::number(store.key(r))};
        for (int c = 0; c < store.columnCount(); ++c)
            cells << store.column(c).info.name + u'=' + shown(store.cell(r, c));
        out << cells.join(u'|');
    }
    return out;
}

// The same through Qt's driver: numbers as doubles, everything else as text.
QStringList readByDriver(QSqlDatabase& db, const QString& statement, const QVariantList& values,
                         const QStringList& asNumbers)
{
    QSqlQuery q = sql::exec(db, statement, values);
    QStringList out;
    while (q.next()) {
        QStringList cells;
        for (int c = 0; c < q.record().count(); ++c) {
            const QString name = q.record().fieldName(c);
            const QVariant value = q.value(c);
            if (name == u"id")
                cells.prepend(QString::number(value.toLongLong()));
            else if (!value.isNull() && asNumbers.contains(name))
                cells << name + u'=' + shown(value.toDouble());
            else
                cells << name + u'=' + shown(value.isNull() ? value : QVariant(value.toString()));
        }
        out << cells.join(u'|');
    }
    return out;
}

} // namespace

class RowSourceTest : public QObject
{
    Q_OBJECT

private slots:
    void everyValueAsTheDriverReadsIt();
    void aWholeTableListingIsInTheBooksOwnOrder();
    void aReadInsideATransactionLeavesItOpen();
    void aFailedServerReadLeavesNoTransactionOpen();
    void otherColumnTypesReadAsTheDriverReadsThem();
    void aConnectionCutUnderneathIsExplainedAndMadeAgain();
};

void RowSourceTest::everyValueAsTheDriverReadsIt()
{
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    addRows(conn.db());
    const QStringList amounts{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                              QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")};
    // A question mark inside quotes is no placeholder; the one outside takes the value.
    const QString listing = QStringLiteral(
        "select *, '?' as \"mark?\" from data where day1>=? and (c is null or c<>'a?b') "
        "order by day1");
    const QVariantList values{QStringLiteral("2023-5")};
    const QStringList read = readThrough(conn.db(), listing, values);
    QVERIFY(read.size() > kGenerated / 2);
    QCOMPARE(read, readByDriver(conn.db(), listing, values, amounts));
    QVERIFY(read.join(u'\n').contains(QStringLiteral("b=摘要 'quoted' ? \"double\"|c=<null>")));
    QVERIFY(read.join(u'\n').contains(QStringLiteral("3=1.0000000000000001e+300")));

    // A bounded statement is read in one go, with the same values.
    const QString few = QStringLiteral("select * from data where id>? order by id limit 40");
    QCOMPARE(readThrough(conn.db(), few, {qint64(-1)}, RowSource::Size::Few),
             readByDriver(conn.db(), few, {qint64(-1)}, amounts));
    QCOMPARE(readThrough(conn.db(), few, {qint64(-1)}, RowSource::Size::Few).size(), 40);

    // A statement that does not run says why, as the driver would.
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             RowSource::open(conn.db(), QStringLiteral("select nothing from data"),
                                             {}, QStringLiteral("id")));
    QCOMPARE(sql::exec(conn.db(), QStringLiteral("select count(*) from data")).next(), true);
}

void RowSourceTest::aWholeTableListingIsInTheBooksOwnOrder()
{
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    addRows(conn.db());
    // Changed rows, so that the table holds them out of their keys' order; many ties, a null
    // day and texts that sort byte by byte.
    sql::exec(conn.db(), QStringLiteral("update data set day1='2023-1-10' where id % 97 = 0"));
    sql::exec(conn.db(), QStringLiteral("update data set day1=null where id in (5, 900)"));
    sql::exec(conn.db(), QStringLiteral("update data set day1='2023-1-1年' where id % 401 = 0"));
    sql::exec(conn.db(), QStringLiteral("update data set day1='2023-1-1Z' where id % 403 = 0"));
    QStringList expected;
    QSqlQuery q = sql::exec(conn.db(), QStringLiteral("select id from data order by day1, id"));
    while (q.next())
        expected << q.value(0).toString();

    Tdmfm dm(folder.openName());
    dm.ADOQuery15->open(QStringLiteral("select * from data order by day1"));
    QStringList listed;
    for (int position = 0; position < dm.ADOQuery15->recordCount(); ++position) {
        dm.ADOQuery15->moveTo(position);
        listed << QString::number(dm.ADOQuery15->key());
    }
    QCOMPARE(listed.size(), kGenerated + 2);
    QCOMPARE(listed, expected);
}

void RowSourceTest::aReadInsideATransactionLeavesItOpen()
{
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    addRows(conn.db());
    const QString count = QStringLiteral("select count(*) from data");
    {
        sql::Transaction tx(conn.db());
        sql::exec(conn.db(), QStringLiteral("delete from data where day1<'2024-'"));
        // The reading sees the transaction's own change and neither commits nor ends it.
        QCOMPARE(
            readThrough(conn.db(), QStringLiteral("select * from data order by day1"), {}).size(),
            2);
        QCOMPARE(scalar(folder.bookPath(), count).toInt(), kGenerated + 2);
        sql::exec(conn.db(), QStringLiteral("delete from data where day1='2024-01-01'"));
    } // rolled back
    QCOMPARE(sql::exec(conn.db(), count).next(), true);
    QCOMPARE(scalar(folder.bookPath(), count).toInt(), kGenerated + 2);
}

void RowSourceTest::aFailedServerReadLeavesNoTransactionOpen()
{
    if (!onServer())
        QSKIP("a local book divides by zero into null");
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    addRows(conn.db());
    // Fails after its first batches were read.
    const QStringList failed = readThrough(
        conn.db(), QStringLiteral("select id, 1/(%1-id) as x from data order by id").arg(9000), {});
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.first().contains(QStringLiteral("division by zero")),
             qPrintable(failed.first()));
    // The next statement runs and commits on its own: no aborted transaction was left behind.
    sql::exec(conn.db(), QStringLiteral("delete from data where day1='2024-01-01'"));
    QCOMPARE(scalar(folder.bookPath(), QStringLiteral("select count(*) from data")).toInt(),
             kGenerated + 1);
}

void RowSourceTest::otherColumnTypesReadAsTheDriverReadsThem()
{
    if (!onServer())
        QSKIP("a local book's columns are texts and numbers");
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    addRows(conn.db());
    const QString statement = QStringLiteral(
        "select id, b, id % 2 = 0 as even, date '2024-01-01' + (id % 30)::int as day,"
        " 'Infinity'::float8 as far, 'NaN'::float8 as nothing, 12.5::numeric as exact"
        " from data where id<=? order by id");
    const QStringList read = readThrough(conn.db(), statement, {qint64(50)});
    QCOMPARE(read.size(), 50);
    QCOMPARE(read, readByDriver(conn.db(), statement, {qint64(50)},
                                {QStringLiteral("far"), QStringLiteral("nothing"),
                                 QStringLiteral("exact")}));
    // Texts and numbers alone take the other way: the same special values.
    const QString plain =
        QStringLiteral("select id, 'Infinity'::float8 as far, '-Infinity'::float8 "
                       "as near, 'NaN'::float8 as nothing, 12.5::numeric as "
                       "exact, 7::int2 as small from data where id<=3");
    QCOMPARE(readThrough(conn.db(), plain, {}),
             readByDriver(conn.db(), plain, {},
                          {QStringLiteral("far"), QStringLiteral("near"), QStringLiteral("nothing"),
                           QStringLiteral("exact")}));
}

void RowSourceTest::aConnectionCutUnderneathIsExplainedAndMadeAgain()
{
    if (!onServer())
        QSKIP("a local book has no connection to lose");
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    addRows(conn.db());
    const QString listing = QStringLiteral("select * from data order by day1");
    // The network gone without a word from the server: libpq knows only that the connection is
    // bad. Both readers say so as for a server that ended it, and the next statement connects
    // again.
    for (const bool byDriver : {true, false}) {
        PGconn* pg = server::handleOf(conn.db());
        QVERIFY(pg);
        QCOMPARE(::shutdown(PQsocket(pg), SHUT_RDWR), 0);
        try {
            if (byDriver)
                sql::exec(conn.db(), QStringLiteral("select count(*) from data"));
            else
                readThrough(conn.db(), listing, {});
            QFAIL("a statement ran on a cut connection");
        } catch (const DatabaseError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), server::lostText(conn.db()));
        }
        QCOMPARE(readThrough(conn.db(), listing, {}).size(), kGenerated + 2);
    }
}

QUENVALE_DATA_TEST_MAIN(RowSourceTest)
#include "tst_rowsource.moc"
