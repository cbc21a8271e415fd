// The one write path on a real book: transactions, announcements, and who follows them.
#include "data/bookwriter.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/history.h"
#include "data/listingquery.h"
#include "data/namelists.h"
#include "data/recyclebin.h"
#include "data/sql.h"
#include "datasupport.h"

#include <QSignalSpy>

using namespace testsupport;

namespace {

CashRecord record(const QString& day, const QString& summary, const QString& counterparty,
                  double income)
{
    CashRecord r;
    r.kind = QStringLiteral("收入");
    r.date = day;
    r.summary = summary;
    r.counterparty = counterparty;
    r.income = income;
    r.received = income;
    return r;
}

// Every row of the listing in its order: key, summary, counterparty, income.
QStringList listedRows(Dataset* d)
{
    QStringList rows;
    for (int i = 0; i < d->recordCount(); ++i) {
        d->moveTo(i);
        rows << QStringLiteral("%1|%2|%3|%4")
                    .arg(d->key())
                    .arg(d->text(QStringLiteral("b")), d->text(QStringLiteral("c")),
                         d->text(QStringLiteral("1")));
    }
    return rows;
}

QStringList bookColumn(const QString& path, const QString& statement)
{
    sql::ScopedConnection conn(path);
    QSqlQuery q = sql::exec(conn.db(), statement);
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    return values;
}

} // namespace

class BookWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void aBatchCommitsTogetherAndIsAnnouncedOnce();
    void aBatchThatFailsLeavesNothingAndSaysNothing();
    void listingsAndNameListsFollowEachWrite();
};

void BookWriterTest::aBatchCommitsTogetherAndIsAnnouncedOnce()
{
    BookFolder book;
    const qint64 old =
        insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-01"),
                     QStringLiteral("旧"), QStringLiteral("甲"), 0, 0, 5, 5);
    Tdmfm dm(book.openName());
    Dataset* listing = dm.ADOQuery15;
    listing->open(ListingQuery::allRecords());
    QSignalSpy written(dm.writer(), &BookWriter::written);
    qint64 first = 0;
    {
        BookWriter::Batch batch(*dm.writer(), QStringLiteral("一批"));
        first =
            batch.add(QStringLiteral("data"), record(QStringLiteral("2015-12-03"),
                                                     QStringLiteral("一"), QStringLiteral("乙"), 10)
                                                  .columnValues());
        batch.add(QStringLiteral("rz"), {{QStringLiteral("username"), QStringLiteral("甲")},
                                         {QStringLiteral("btime"), QStringLiteral("2015-12-08")}});
        batch.modify(QStringLiteral("data"), first, {},
                     {{QStringLiteral("b"), QStringLiteral("改")}});
        batch.remove(QStringLiteral("data"), old, {});
        // Nothing is announced, and another connection sees nothing, before the commit.
        QCOMPARE(written.count(), 0);
        QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from rz")).toInt(), 0);
        batch.commit();
    }
    QCOMPARE(written.count(), 1);
    const auto changes = written.at(0).at(0).value<QList<RowChange>>();
    QCOMPARE(changes.size(), 4);
    QCOMPARE(changes[0].kind, RowChange::Kind::Added);
    QCOMPARE(changes[0].key, first);
    QCOMPARE(changes[1].table, QStringLiteral("rz"));
    QCOMPARE(changes[2].kind, RowChange::Kind::Changed);
    QCOMPARE(changes[2].valueAfter(QStringLiteral("b")).toString(), QStringLiteral("改"));
    QCOMPARE(changes[2].valueAfter(QStringLiteral("c")).toString(), QStringLiteral("乙"));
    QCOMPARE(changes[3].kind, RowChange::Kind::Removed);
    QCOMPARE(CashRecord::fromRow(changes[3].before).summary, QStringLiteral("旧"));
    QCOMPARE(CashRecord::fromRow(changes[3].before).paid, 5.0);
    // The listing showed the old row; the delete took it out at once.
    QCOMPARE(listing->recordCount(), 0);
    QCOMPARE(bookColumn(book.bookPath(), QStringLiteral("select b from data")),
             QStringList{QStringLiteral("改")});
    // Brought up to date as a fresh reading would be, by the journal, on both engines.
    QVERIFY(listing->reopenUnchanged(ListingQuery::allRecords()));
    Tdmfm other(book.openName());
    other.ADOQuery15->open(ListingQuery::allRecords());
    QCOMPARE(listedRows(listing), listedRows(other.ADOQuery15));
    // In the change history as one batch under its name, the whole row before and after each
    // change; the deleted record is in the bin.
    sql::ScopedConnection conn(book.bookPath());
    QStringList steps;
    for (const history::Entry& e : history::find(conn.db(), {})) {
        QCOMPARE(e.action, QStringLiteral("一批"));
        steps.prepend(e.table + u':' + history::describe(e.table, e.before) + u'>' +
                      history::describe(e.table, e.after));
    }
    QCOMPARE(steps.size(), 4);
    QVERIFY(steps[2].contains(QStringLiteral("项目摘要：一；")));
    QVERIFY(steps[2].section(u'>', 1).contains(QStringLiteral("项目摘要：改；单位名称：乙")));
    QCOMPARE(recyclebin::list(conn.db()).value(0).key, old);
    QVERIFY(history::verify(conn.db()).intact());
}

void BookWriterTest::aBatchThatFailsLeavesNothingAndSaysNothing()
{
    BookFolder book;
    const qint64 kept =
        insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                     QStringLiteral("留"), {}, 1, 1, 0, 0);
    Tdmfm dm(book.openName());
    dm.ADOQuery15->open(ListingQuery::allRecords());
    QSignalSpy written(dm.writer(), &BookWriter::written);
    try {
        BookWriter::Batch batch(*dm.writer());
        batch.add(QStringLiteral("data"),
                  record(QStringLiteral("2015-12-02"), QStringLiteral("新"), {}, 2).columnValues());
        batch.modify(QStringLiteral("data"), kept, {},
                     {{QStringLiteral("b"), QStringLiteral("改")}});
        batch.remove(QStringLiteral("data"), kept + 100, {}); // no such record
        batch.commit();
        QFAIL("a delete of a missing record passed");
    } catch (const MissingRowError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("已不在账本中")), qPrintable(e.message()));
    }
    QCOMPARE(written.count(), 0);
    QCOMPARE(bookColumn(book.bookPath(), QStringLiteral("select b from data")),
             QStringList{QStringLiteral("留")});
    // The listing is as it was; the rolled back writes are not taken for the program's own.
    QCOMPARE(dm.ADOQuery15->text(QStringLiteral("b")), QStringLiteral("留"));
    QVERIFY(!dm.ADOQuery15->reopenUnchanged(ListingQuery::allRecords()));
    // The next write works: no transaction was left open.
    dm.writer()->add(record(QStringLiteral("2015-12-03"), QStringLiteral("后"), {}, 3));
    QCOMPARE(written.count(), 1);
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from data")).toInt(), 2);
}

void BookWriterTest::listingsAndNameListsFollowEachWrite()
{
    BookFolder book;
    const QString path = book.bookPath();
    const qint64 a = insertRecord(path, QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                                  QStringLiteral("共用"), QStringLiteral("甲"), 1, 1, 0, 0);
    const qint64 b = insertRecord(path, QStringLiteral("收入"), QStringLiteral("2015-12-02"),
                                  QStringLiteral("唯一"), QStringLiteral("乙"), 2, 2, 0, 0);
    insertRecord(path, QStringLiteral("收入"), QStringLiteral("2015-12-03"), QStringLiteral("共用"),
                 QStringLiteral("丙"), 3, 3, 0, 0);
    Tdmfm dm(book.openName());
    Dataset* listing = dm.ADOQuery15;
    listing->open(ListingQuery::allRecords());
    NameLists names(dm.writer());
    names.read(dm.ADOQuery1);
    QSignalSpy changed(listing, &Dataset::rowChanged);
    QSignalSpy removed(listing, &Dataset::rowRemoved);
    auto sameAsBook = [&] {
        QCOMPARE(names.summaries()->stringList(),
                 bookColumn(path, QStringLiteral("select b from data group by b order by b")));
        QCOMPARE(names.counterparties()->stringList(),
                 bookColumn(path, QStringLiteral("select c from data group by c order by c")));
    };
    // A change shows in its place at once; the names it takes and brings, and the footer's
    // figures, follow.
    const int income = listing->fieldIndex(QStringLiteral("1"));
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("6"));
    listing->moveTo(1);
    const CashRecord opened = CashRecord::fromRow(listing->rowValues());
    dm.writer()->modify(
        b, opened,
        record(QStringLiteral("2015-12-02"), QStringLiteral("新"), QStringLiteral("丁"), 20));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 1);
    QCOMPARE(listing->text(QStringLiteral("b")), QStringLiteral("新"));
    QCOMPARE(listing->text(QStringLiteral("1")), QStringLiteral("20"));
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("24"));
    QCOMPARE(listing->totals(income).largest, 20.0);
    QVERIFY(names.isRead());
    sameAsBook();
    // A delete leaves at once; an add waits for the next reading, as a snapshot does.
    dm.writer()->remove(a, CashRecord{});
    QCOMPARE(removed.count(), 1);
    QCOMPARE(listing->recordCount(), 2);
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("23"));
    dm.writer()->add(
        record(QStringLiteral("2015-12-04"), QStringLiteral("共用"), QStringLiteral("戊"), 4));
    QCOMPARE(listing->recordCount(), 2);
    sameAsBook();
    QVERIFY(names.confirmCurrent());
    // A row without a counterparty has an empty item of its own, apart from an empty name's;
    // each leaves with the last row holding it.
    const QVariant none(QMetaType(QMetaType::QString));
    qint64 blank = 0;
    {
        BookWriter::Batch batch(*dm.writer());
        blank = batch.add(QStringLiteral("data"),
                          {{QStringLiteral("b"), QStringLiteral("空")},
                           {QStringLiteral("c"), none},
                           {QStringLiteral("day1"), QStringLiteral("2015-12-06")},
                           {QStringLiteral("o"), QStringLiteral("1")}});
        batch.commit();
    }
    sameAsBook();
    for (const QVariant& to :
         {QVariant(QStringLiteral("")), none, QVariant(QStringLiteral("甲")), none}) {
        BookWriter::Batch batch(*dm.writer());
        batch.modify(QStringLiteral("data"), blank, {}, {{QStringLiteral("c"), to}});
        batch.commit();
        QVERIFY(names.isRead());
        sameAsBook();
    }
    dm.writer()->remove(blank, CashRecord{});
    QVERIFY(names.isRead());
    sameAsBook();
    dm.writer()->remove(b, CashRecord{}); // the largest figure leaves: the next is found
    QCOMPARE(listing->totals(income).largest, 3.0);
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("3"));
    QVERIFY(listing->reopenUnchanged(ListingQuery::allRecords())); // the add of 戊 taken in
    QCOMPARE(listing->totals(income).sum.general(), QStringLiteral("7"));
    QCOMPARE(listing->totals(income).largest, 4.0);
    // A statement whose rows are not known one by one: the lists are read again next time.
    dm.ADOQuery1->execSql(QStringLiteral("update data set c='己' where c='丙'"));
    QVERIFY(!names.isRead());
    QVERIFY(!names.confirmCurrent());
    names.read(dm.ADOQuery1);
    sameAsBook();
    // A write of the login log leaves them as they are.
    dm.ADOQuery1->execSql(QStringLiteral("insert into rz (username,btime) values (?,?)"),
                          {QStringLiteral("甲"), QStringLiteral("2015-12-08 08:00:00")});
    QVERIFY(names.confirmCurrent());
    // Another program's (another PC's) commit: read again.
    insertRecord(path, QStringLiteral("支出"), QStringLiteral("2015-12-05"), QStringLiteral("别处"),
                 QStringLiteral("庚"), 0, 0, 1, 1);
    QVERIFY(!names.confirmCurrent());
}

QUENVALE_DATA_TEST_MAIN(BookWriterTest)
#include "tst_bookwriter.moc"
