// What the grid lists, as a value: the statements made from it on both engines, and statements
// given as text taken back. No book is opened.
#include "data/listingquery.h"

#include <QSqlDatabase>
#include <QtTest>

class ListingQueryTest : public QObject
{
    Q_OBJECT

private slots:
    void buildersSayWhatTheBaseQueryShows();
    void quickSearchBindsWhatWasTyped();
    void statementsOfTheListingShapeAreTakenBack();
    void otherStatementsAreKeptAsTheyStand();
    void aServerRunsTheSameListingInItsWords();
};

void ListingQueryTest::buildersSayWhatTheBaseQueryShows()
{
    const ListingQuery all = ListingQuery::allRecords();
    QCOMPARE(all.toSql(), QStringLiteral("select * from data order by day1"));
    QVERIFY(all.values().isEmpty());
    QVERIFY(all.isWholeTableOrdered());
    QCOMPARE(all.key(), QStringLiteral("id"));
    QCOMPARE(ListingQuery::month(QDate(2015, 12, 15)).toSql(),
             QStringLiteral("select * from data where day1>='2015-12-01' and day1<='2015-12-31' "
                            "order by day1"));
    const ListingQuery leap = ListingQuery::month(QDate(2016, 2, 29));
    QVERIFY(leap.toSql().contains(QStringLiteral("day1<='2016-02-29'")));
    QVERIFY(!leap.isWholeTableOrdered());
    QVERIFY(leap != ListingQuery::month(QDate(2016, 3, 1)));
    QCOMPARE(leap, ListingQuery::month(QDate(2016, 2, 1)));
    // Sums need no order; a row of the listing is found by its key.
    QCOMPARE(all.unordered().toSql(), QStringLiteral("select * from data"));
    QCOMPARE(leap.oneRowSql(),
             QStringLiteral("select * from \"data\" where (day1>='2016-02-01' and "
                            "day1<='2016-02-29') and \"id\"=?"));
    QCOMPARE(ListingQuery::wholeTable(QStringLiteral("data"), QStringLiteral("id")).toSql(),
             QStringLiteral("select * from data"));
    QCOMPARE(ListingQuery::noRows(QStringLiteral("data"), QStringLiteral("id")).toSql(),
             QStringLiteral("select * from data where 1=0"));
}

void ListingQueryTest::quickSearchBindsWhatWasTyped()
{
    ListingQuery::Criteria criteria;
    QCOMPARE(ListingQuery::quickSearch(criteria).toSql(),
             QStringLiteral("select * from data where o='1'"));
    criteria.summary = QStringLiteral("50%_折'");
    criteria.counterparty = QStringLiteral("甲");
    criteria.expense = true;
    criteria.days = {{QDate(2015, 12, 1), QDate(2015, 12, 31)}};
    const ListingQuery q = ListingQuery::quickSearch(criteria);
    QCOMPARE(q.toSql(), QStringLiteral("select * from data where o='1' and b like ? escape '\\' "
                                       "and c like ? escape '\\' and a like '%支出%' and "
                                       "day1>=? and day1<=?"));
    // Typed text is only ever bound, its wildcards escaped.
    QCOMPARE(q.values(),
             QVariantList({QStringLiteral("%50\\%\\_折'%"), QStringLiteral("%甲%"),
                           QStringLiteral("2015-12-01"), QStringLiteral("2015-12-31")}));
    QVERIFY(q.listsOneTable());
    QVERIFY(q.orderColumn().isEmpty());
    criteria.expense = false;
    criteria.income = true;
    QVERIFY(ListingQuery::quickSearch(criteria).toSql().contains(QStringLiteral("%收入%")));
}

void ListingQueryTest::statementsOfTheListingShapeAreTakenBack()
{
    const QString data = QStringLiteral("data");
    const QString id = QStringLiteral("id");
    // The program's own words come back as the very value they were made from.
    for (const ListingQuery& q :
         {ListingQuery::allRecords(), ListingQuery::month(QDate(2015, 1, 9)),
          ListingQuery::noRows(data, id)})
        QCOMPARE(ListingQuery::fromStatement(q.toSql(), {}, data, id), q);
    const ListingQuery later = ListingQuery::fromStatement(
        QStringLiteral("select * from data where day1>=? order by day1 desc"),
        {QStringLiteral("2015-12-09")}, data, id);
    QVERIFY(later.listsOneTable());
    QCOMPARE(later.filter(), QStringLiteral("day1>=?"));
    QCOMPARE(later.orderColumn(), QStringLiteral("day1"));
    QVERIFY(later.descending());
    QCOMPARE(later.values(), QVariantList{QStringLiteral("2015-12-09")});
    // Other words for the same shape run as they were written.
    const QString loud = QStringLiteral("SELECT * FROM \"data\" ORDER BY day1");
    const ListingQuery shouted = ListingQuery::fromStatement(loud, {}, data, id);
    QVERIFY(shouted.isWholeTableOrdered());
    QCOMPARE(shouted.toSql(), loud);
    QCOMPARE(shouted.unordered().toSql(), QStringLiteral("select * from data"));
    // Ordered by the key itself: nothing to sort by the index.
    QVERIFY(
        !ListingQuery::fromStatement(QStringLiteral("select * from data order by id"), {}, data, id)
             .isWholeTableOrdered());
}

void ListingQueryTest::otherStatementsAreKeptAsTheyStand()
{
    const QString data = QStringLiteral("data");
    const QString id = QStringLiteral("id");
    for (const char* text : {"select username from userdb", "select * from userdb order by rowid",
                             "select * from data where id in (select id from data) order by day1",
                             "select * from data order by day1 limit 60000",
                             "select * from data where b='x' order by day1, id"}) {
        const QString statement = QString::fromLatin1(text);
        const ListingQuery q = ListingQuery::fromStatement(statement, {1}, data, id);
        QVERIFY2(!q.listsOneTable(), text);
        QCOMPARE(q.toSql(), statement);
        QCOMPARE(q.unordered(), q);
        QCOMPARE(q.values(), QVariantList{1});
    }
    // A listing of the dataset's table only: the scratch query has none.
    QVERIFY(!ListingQuery::fromStatement(QStringLiteral("select * from data"), {}, {}, {})
                 .listsOneTable());
}

void ListingQueryTest::aServerRunsTheSameListingInItsWords()
{
    // The server's words, from the driver's name alone: nothing is connected.
    QSqlDatabase server = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg"));
    if (!server.isValid())
        QSKIP("no QPSQL driver");
    ListingQuery::Criteria criteria;
    criteria.summary = QStringLiteral("a");
    QCOMPARE(ListingQuery::allRecords().toSql(server),
             QStringLiteral("select * from data order by day1 nulls first, id"));
    QCOMPARE(ListingQuery::quickSearch(criteria).toSql(server),
             QStringLiteral("select * from data where o='1' and b ilike ? escape '\\'"));
    server = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("pg"));
}

QTEST_APPLESS_MAIN(ListingQueryTest)
#include "tst_listingquery.moc"
