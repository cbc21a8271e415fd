// A listing follows what another copy of the program (another PC) writes: the history names the
// rows, only those are read, and they move in and out of the rows shown while the current record
// stays current. On a server book the other copy's commit is announced; a local book is asked.
#include "data/dm.h"
#include "data/history.h"
#include "data/listingquery.h"
#include "data/sql.h"
#include "datasupport.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace testsupport;

namespace {

CashRecord record(const QString& day, const QString& summary, double income)
{
    CashRecord r;
    r.kind = QStringLiteral("收入");
    r.date = day;
    r.summary = summary;
    r.counterparty = QStringLiteral("甲方");
    r.income = income;
    r.receivable = income;
    return r;
}

QString rowText(qint64 key, const QString& day, const QString& summary, double income)
{
    return QStringLiteral("%1 %2 %3 %4").arg(key).arg(day, summary).arg(income, 0, 'f', 2);
}

// The rows as the listing shows them, in its order (the current record moves to the last).
QStringList listed(Dataset* listing)
{
    QStringList rows;
    for (int position = 0; position < listing->recordCount(); ++position) {
        listing->moveTo(position);
        rows << rowText(listing->key(), listing->text(QStringLiteral("day1")),
                        listing->text(QStringLiteral("b")),
                        listing->value(QStringLiteral("1")).toDouble());
    }
    return rows;
}

// The rows a fresh reading of the book gives, filtered and ordered as tail says.
QStringList stored(const BookFolder& book,
                   const QString& tail = QStringLiteral("order by day1, id"))
{
    sql::ScopedConnection conn(book.bookPath());
    QSqlQuery q =
        sql::exec(conn.db(), QStringLiteral("select id, day1, b, \"1\" from data ") + tail);
    QStringList rows;
    while (q.next())
        rows << rowText(q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                        q.value(3).toDouble());
    return rows;
}

} // namespace

class FollowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { history::setOperator(QStringLiteral("admin")); }
    void anotherCopysWritesAreTakenIn();
    void searchesAndSortsFollowToo();
    void anotherProgramsWritesWaitForTheNextReading();
};

void FollowTest::anotherCopysWritesAreTakenIn()
{
    BookFolder book;
    Tdmfm here(book.openName());
    Tdmfm there(book.openName());
    QVERIFY(here.watcher()->isWatching());
    std::vector<qint64> keys;
    for (int day = 1; day <= 5; ++day)
        keys.push_back(there.writer()->add(record(QStringLiteral("2016-01-0%1").arg(day),
                                                  QStringLiteral("第%1笔").arg(day), day)));
    Dataset* listing = here.ADOQuery15;
    listing->open(ListingQuery::allRecords());
    QVERIFY(listing->locateKey(keys[2]));
    QSignalSpy resets(listing, &Listing::resetDone);
    QSignalSpy inserted(listing, &Listing::rowInserted);
    QSignalSpy removed(listing, &Listing::rowRemoved);
    const int income = listing->fieldIndex(QStringLiteral("1"));
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("15"));

    // Another PC adds a record before the current one, moves one past it and deletes one.
    const qint64 added =
        there.writer()->add(record(QStringLiteral("2015-12-31"), QStringLiteral("新"), 7));
    there.writer()->modify(keys[4],
                           record(QStringLiteral("2016-01-05"), QStringLiteral("第5笔"), 5),
                           record(QStringLiteral("2016-01-02"), QStringLiteral("改过"), 50));
    there.writer()->remove(keys[0],
                           record(QStringLiteral("2016-01-01"), QStringLiteral("第1笔"), 1));
    // Nothing is asked of the listing: the event loop brings the writes in.
    QTRY_COMPARE_WITH_TIMEOUT(listing->recordCount(), 5, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(listing->sum(QStringLiteral("1")), 7.0 + 2 + 3 + 4 + 50, 5000);
    // The footer's figures follow the rows that moved.
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("66"));
    QCOMPARE(listing->totals(income).largest, 50.0);
    QCOMPARE(listing->key(), keys[2]);
    QCOMPARE(listing->recNo(), 4); // 新, 第2笔, 改过, then the current 第3笔
    QCOMPARE(resets.count(), 0);   // rows moved one by one, nothing read again
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(removed.count(), 2);
    QCOMPARE(listed(listing), stored(book));
    QVERIFY(listed(listing).first().startsWith(QString::number(added) + u' '));
}

void FollowTest::searchesAndSortsFollowToo()
{
    BookFolder book;
    Tdmfm here(book.openName());
    Tdmfm there(book.openName());
    there.writer()->add(record(QStringLiteral("2016-02-01"), QStringLiteral("房租甲"), 1));
    there.writer()->add(record(QStringLiteral("2016-02-02"), QStringLiteral("水费"), 2));
    Dataset* listing = here.ADOQuery15;

    // A search is read again when a record it may hold was written; only its records show.
    ListingQuery::Criteria rent;
    rent.summary = QStringLiteral("房租");
    listing->open(ListingQuery::quickSearch(rent));
    QCOMPARE(listing->recordCount(), 1);
    there.writer()->add(record(QStringLiteral("2016-01-15"), QStringLiteral("房租乙"), 3));
    there.writer()->add(record(QStringLiteral("2016-03-01"), QStringLiteral("电费"), 4));
    QTRY_COMPARE_WITH_TIMEOUT(listing->recordCount(), 2, 5000);
    QStringList found = listed(listing);
    found.sort();
    QStringList expected = stored(book, QStringLiteral("where b like '%房租%' order by id"));
    expected.sort();
    QCOMPARE(found, expected);

    // A listing sorted by a title click stays sorted so.
    listing->open(ListingQuery::allRecords());
    listing->setSort(QStringLiteral("1 DESC"));
    const int income = listing->fieldIndex(QStringLiteral("1"));
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("10"));
    there.writer()->add(record(QStringLiteral("2016-04-01"), QStringLiteral("大额"), 2.5));
    QTRY_COMPARE_WITH_TIMEOUT(listing->recordCount(), 5, 5000);
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("12.5"));
    QCOMPARE(listing->sort(), QStringLiteral("1 DESC"));
    QCOMPARE(listed(listing), stored(book, QStringLiteral("order by \"1\" desc")));
}

void FollowTest::anotherProgramsWritesWaitForTheNextReading()
{
    // A write the history does not name (another program's) is not guessed at: the listing
    // stays as read until 全部记录 reads the book again.
    BookFolder book;
    Tdmfm here(book.openName());
    Tdmfm there(book.openName());
    there.writer()->add(record(QStringLiteral("2016-02-01"), QStringLiteral("本程序"), 1));
    Dataset* listing = here.ADOQuery15;
    listing->open(ListingQuery::allRecords());
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2016-02-02"),
                 QStringLiteral("别的程序"), QStringLiteral("乙"), 9, 0, 0, 0);
    there.writer()->add(record(QStringLiteral("2016-02-03"), QStringLiteral("又一笔"), 2));
    QTRY_COMPARE_WITH_TIMEOUT(listing->recordCount(), 2, 5000);
    QVERIFY(!listing->reopenUnchanged(ListingQuery::allRecords()));
    listing->open(ListingQuery::allRecords());
    QCOMPARE(listed(listing), stored(book));
}

QUENVALE_DATA_TEST_MAIN(FollowTest)
#include "tst_follow.moc"
