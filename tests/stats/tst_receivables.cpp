// The figures of the statement of account, the aging, the cash-basis months and the cash
// journal, against sums the test keeps itself; on both engines.
#include "data/bookfacts.h"
#include "data/errors.h"
#include "data/layout.h"
#include "data/money.h"
#include "data/schema.h"
#include "data/sql.h"
#include "ledger.h"
#include "maintenance/bookcopy.h"
#include "stats/cashstats.h"
#include "stats/journal.h"
#include "stats/moneyflow.h"
#include "stats/receivables.h"
#include "stats/reporttables.h"
#include "support/datasupport.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace testsupport;
using receivables::Side;

namespace {

const QString kIn = QStringLiteral("收入");
const QString kOut = QStringLiteral("支出");

qint64 cents(const QVariant& yuan)
{
    return qRound64(yuan.toDouble() * 100);
}

qint64 cents(qint64 units)
{
    return money::cents(units);
}

struct Expected
{
    QString day;
    int kind; // 0 record, 1 settlement
    qint64 key;
    qint64 increase;
    qint64 decrease;
};

// The statement as the test works it out from its own records.
QList<Expected> expectedLines(const ledger::Book& book, const QString& party, Side side,
                              const QString& first, const QString& end, qint64* opening)
{
    const QString kind = side == Side::Receivable ? kIn : kOut;
    *opening = 0;
    QList<Expected> lines;
    for (const ledger::Record& r : book.records) {
        if (r.party != party || r.kind != kind)
            continue;
        if (r.day < first)
            *opening += r.total - r.atEntry;
        else if (r.day < end && (r.total != 0 || r.atEntry != 0))
            lines.append({r.day, 0, r.id, r.total, r.atEntry});
        for (const ledger::Settlement& s : r.settlements) {
            if (s.day < first)
                *opening -= s.cents;
            else if (s.day < end)
                lines.append({s.day, 1, s.id, 0, s.cents});
        }
    }
    std::sort(lines.begin(), lines.end(), [](const Expected& a, const Expected& b) {
        return std::tie(a.day, a.kind, a.key) < std::tie(b.day, b.kind, b.key);
    });
    return lines;
}

QString day(const QDate& d)
{
    return d.toString(Qt::ISODate);
}

} // namespace

class ReceivablesTest : public QObject
{
    Q_OBJECT

private slots:
    void statementLinesAndRunningBalance();
    void agingBucketsAcrossTheirEdges();
    void cashBasisMonths();
    void sumsAreExactOnBothEngines();
    void journalMonthsYearsAndOpeningBalance();
    void olderBooksAndCopiesKeepSettlements();
};

void ReceivablesTest::statementLinesAndRunningBalance()
{
    BookFolder folder;
    ledger::Book book(folder.bookPath());
    QRandomGenerator random(3032);
    const QStringList parties = {QStringLiteral("华信公司"), QStringLiteral("恒通物流"),
                                 QStringLiteral("O'Neil%商行")};
    const QDate start(2023, 6, 1);
    for (int i = 0; i < 160; ++i) {
        const QString kind = random.bounded(3) == 0 ? kOut : kIn;
        const QDate when = start.addDays(random.bounded(640));
        const qint64 total = random.bounded(1, 900000);
        const qint64 atEntry = random.bounded(4) == 0 ? total : random.bounded(total + 1);
        const int r = book.add(kind, day(when), QStringLiteral("摘要%1").arg(i),
                               parties[random.bounded(parties.size())], total, atEntry);
        // Some are paid later, in parts, some of it after the period.
        qint64 open = total - atEntry;
        QDate later = when;
        while (open > 0 && random.bounded(3) != 0) {
            later = later.addDays(random.bounded(0, 90));
            const qint64 part = random.bounded(2) == 0 ? open : random.bounded(1, open + 1);
            book.settle(r, day(later), part,
                        random.bounded(2) ? QStringLiteral("转账") : QString());
            open -= part;
        }
    }
    const QString first = QStringLiteral("2024-01-01");
    const QString end = QStringLiteral("2025-01-01");
    for (const QString& party : parties) {
        for (Side side : {Side::Receivable, Side::Payable}) {
            qint64 opening = 0;
            const QList<Expected> expected = expectedLines(book, party, side, first, end, &opening);
            const receivables::Statement st =
                receivables::statement(book.db(), party, side, first, end);
            QCOMPARE(cents(st.opening), opening);
            QCOMPARE(st.lines.size(), expected.size());
            const stats::StatTable table = stats::statementTable(st, side, first);
            QCOMPARE(table.rowCount(), expected.size() + 2);
            QCOMPARE(table.value(0, 1).toString(), QStringLiteral("期初余额"));
            QCOMPARE(cents(table.value(0, 4)), opening);
            qint64 balance = opening, increase = 0, decrease = 0;
            for (int i = 0; i < expected.size(); ++i) {
                const Expected& e = expected[i];
                QCOMPARE(st.lines[i].day, e.day);
                QCOMPARE(st.lines[i].settlement, e.kind == 1);
                QCOMPARE(st.lines[i].key, e.key);
                QCOMPARE(cents(st.lines[i].increase), e.increase);
                QCOMPARE(cents(st.lines[i].decrease), e.decrease);
                balance += e.increase - e.decrease;
                increase += e.increase;
                decrease += e.decrease;
                QCOMPARE(cents(table.value(i + 1, 4)), balance);
            }
            const int last = table.rowCount() - 1;
            QCOMPARE(table.value(last, 1).toString(), QStringLiteral("本期合计"));
            QCOMPARE(cents(table.value(last, 2)), increase);
            QCOMPARE(cents(table.value(last, 3)), decrease);
            QCOMPARE(cents(table.value(last, 4)), balance);
            // The closing balance is what the stored rests of the records up to the period's
            // end hold, with what was settled on them after it.
            const QString restColumn =
                side == Side::Receivable ? QStringLiteral("\"3\"") : QStringLiteral("\"6\"");
            qint64 stored =
                qRound64(scalar(folder.bookPath(),
                                QStringLiteral("select coalesce(sum(") + restColumn +
                                    QStringLiteral("),0) from data where c=? and a=? and day1<?"),
                                {party, side == Side::Receivable ? kIn : kOut, end})
                             .toDouble() *
                         100);
            for (const ledger::Record& r : book.records)
                if (r.party == party && r.kind == (side == Side::Receivable ? kIn : kOut) &&
                    r.day < end)
                    for (const ledger::Settlement& s : r.settlements)
                        stored += s.day >= end ? s.cents : 0;
            QCOMPARE(balance, stored);
        }
    }
    QVERIFY(receivables::parties(book.db()).contains(QStringLiteral("O'Neil%商行")));
}

void ReceivablesTest::agingBucketsAcrossTheirEdges()
{
    BookFolder folder;
    ledger::Book book(folder.bookPath());
    const QDate cutoff(2025, 3, 31);
    const QString a = QStringLiteral("甲商行");
    const QString b = QStringLiteral("乙公司");
    qint64 want[2][receivables::kBuckets] = {}; // 甲: receivable; payable
    // Ages in days and the range each falls in.
    const QList<QPair<int, int>> ages = {{0, 0},  {30, 0}, {31, 1},  {60, 1},  {61, 2},
                                         {90, 2}, {91, 3}, {180, 3}, {181, 4}, {400, 4}};
    QList<int> made;
    for (const auto& [age, bucket] : ages) {
        made << book.add(kIn, day(cutoff.addDays(-age)), QStringLiteral("货款"), a, 100000 + age,
                         0);
        want[0][bucket] += 100000 + age;
    }
    book.add(kIn, day(cutoff.addDays(1)), QStringLiteral("明天的"), a, 777, 0); // after the day
    book.add(kIn, QString(), QStringLiteral("无日期"), a, 500, 0);              // the oldest
    want[0][4] += 500;
    // Before the cut-off a settlement counts; after it, it does not.
    book.settle(made[1], day(cutoff.addDays(-3)), 30000);
    want[0][0] -= 30000;
    book.settle(made[3], day(cutoff.addDays(5)), 40000);
    book.settle(made[6], day(cutoff.addDays(-10)), 100091); // settled in full before
    want[0][3] -= 100091;
    book.settle(made[6 + 2], day(cutoff), 1000); // on the day itself
    want[0][4] -= 1000;
    const int owed =
        book.add(kOut, day(cutoff.addDays(-45)), QStringLiteral("进货"), a, 25000, 5000);
    want[1][1] += 20000;
    book.settle(owed, day(cutoff.addDays(-1)), 2500, QStringLiteral("部分"));
    want[1][1] -= 2500;
    // 乙: paid in full after the cut-off, so open then though settled now; the largest total.
    const int big =
        book.add(kIn, day(cutoff.addDays(-200)), QStringLiteral("工程款"), b, 5000000, 0);
    book.settle(big, day(cutoff.addDays(2)), 5000000);

    const QList<receivables::AgingRow> rows = receivables::aging(book.db(), cutoff);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].party, b);
    QCOMPARE(cents(rows[0].buckets[4]), 5000000);
    QCOMPARE(cents(rows[0].total()), 5000000);
    QCOMPARE(rows[1].party, a);
    QCOMPARE(rows[1].side, Side::Receivable);
    QCOMPARE(rows[2].side, Side::Payable);
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < receivables::kBuckets; ++i)
            QCOMPARE(cents(rows[s + 1].buckets[i]), want[s][i]);

    const stats::StatTable table = stats::agingTable(rows);
    QCOMPARE(table.rowCount(), 5);
    QCOMPARE(table.columnTitle(7).section(u'|', -1), QStringLiteral("180天以上"));
    QCOMPARE(table.value(1, 1).toString(), QStringLiteral("应收"));
    QCOMPARE(table.value(3, 0).toString(), QStringLiteral("合计"));
    QCOMPARE(table.value(3, 1).toString(), QStringLiteral("应收"));
    QVERIFY(table.isTotalRow(3) && table.isTotalRow(4) && !table.isTotalRow(2));
    qint64 receivable = 0;
    for (int i = 0; i < receivables::kBuckets; ++i)
        receivable += want[0][i];
    QCOMPARE(cents(table.value(3, 2)), receivable + 5000000);
    QCOMPARE(cents(table.value(4, 4)), want[1][1]);
    // A day later the edges move: the 30-day record is 31 days old.
    const QList<receivables::AgingRow> next = receivables::aging(book.db(), cutoff.addDays(1));
    QCOMPARE(cents(next[1].buckets[1]), 100031 + 100030 - 30000); // 60 days went on to 61
}

void ReceivablesTest::cashBasisMonths()
{
    BookFolder folder;
    ledger::Book book(folder.bookPath());
    const int sale = book.add(kIn, QStringLiteral("2024-01-15"), QStringLiteral("销售"),
                              QStringLiteral("华信"), 100000, 20000);
    book.settle(sale, QStringLiteral("2024-02-10"), 30000);
    book.settle(sale, QStringLiteral("2024-03-05"), 50000);
    const int buy = book.add(kOut, QStringLiteral("2024-02-20"), QStringLiteral("进货"),
                             QStringLiteral("恒通"), 80000, 10000);
    book.settle(buy, QStringLiteral("2024-03-25"), 70000);
    book.add(kIn, QStringLiteral("2024-03-01"), QStringLiteral("现金"), QStringLiteral("恒通"),
             12345, 12345);
    const QString all = QStringLiteral("select * from data order by day1");

    // Per month, received ([1]) and paid ([4]): at entry on the record's month, settlements on
    // their own; totals ([0], [3]) stay where the records are. A search decides which records'
    // settlements count.
    const QList<stats::MonthRow> byRecord = stats::monthly(book.db(), all, {});
    const QList<stats::MonthRow> moved =
        stats::monthly(book.db(), all, {}, stats::Basis::CashMoved);
    const QList<stats::MonthRow> searched = stats::monthly(
        book.db(), QStringLiteral("select * from data where c like ? escape '\\' order by day1"),
        {sql::likeContains(QStringLiteral("恒通"))}, stats::Basis::CashMoved);
    struct Want
    {
        const QList<stats::MonthRow>* rows;
        const char* month;
        int amount;
        qint64 cents;
    };
    const Want wanted[] = {
        {&moved, "2024-01", 1, 20000},    {&moved, "2024-02", 1, 30000},
        {&moved, "2024-02", 4, 10000},    {&moved, "2024-03", 1, 50000 + 12345},
        {&moved, "2024-03", 4, 70000},    {&moved, "2024-01", 0, 100000},
        {&moved, "2024-02", 3, 80000},    {&byRecord, "2024-01", 1, 100000},
        {&byRecord, "2024-02", 4, 80000}, {&byRecord, "2024-03", 1, 12345},
        {&searched, "2024-03", 1, 12345}, {&searched, "2024-03", 4, 70000},
        {&searched, "2024-01", 1, -1}, // no such month
    };
    for (const Want& w : wanted) {
        qint64 found = -1;
        for (const stats::MonthRow& r : *w.rows)
            if (r.month == QLatin1String(w.month))
                found = qRound64(r.amounts[w.amount] * 100);
        QVERIFY2(found == w.cents, w.month);
    }
    QCOMPARE(moved.size(), 3);
}

void ReceivablesTest::sumsAreExactOnBothEngines()
{
    BookFolder folder;
    ledger::Book book(folder.bookPath());
    // Halves of a cent: rounding each (half to even on the server, away from zero in SQLite)
    // would give 0.00 or 0.10; the sum is 0.05, rounded once.
    for (int i = 0; i < 10; ++i)
        book.addYuan(kIn, QStringLiteral("2024-05-0%1").arg(1 + i % 9), QStringLiteral("零头"),
                     QStringLiteral("甲"), 0.005, 0.005);
    book.addYuan(kIn, QStringLiteral("2024-05-20"), QStringLiteral("大额"), QStringLiteral("甲"),
                 1.005, 0.125);
    const receivables::Statement st =
        receivables::statement(book.db(), QStringLiteral("甲"), Side::Receivable,
                               QStringLiteral("2024-01-01"), QStringLiteral("2025-01-01"));
    QCOMPARE(money::text(st.increase), QStringLiteral("1.06")); // 1.055 once, away from zero
    QCOMPARE(money::text(st.decrease), QStringLiteral("0.18")); // 0.175
    QCOMPARE(money::text(st.closing()), QStringLiteral("0.88"));
    const journal::Journal j =
        journal::build(book.db(), QDate(2024, 5, 1), QDate(2024, 5, 1), QDate(2024, 6, 1));
    QCOMPARE(j.rows.size(), 1 + 11 + 2);
    QCOMPARE(money::text(j.rows[j.rows.size() - 2].in), QStringLiteral("0.18"));
    const QList<stats::MonthRow> months =
        stats::monthly(book.db(), QStringLiteral("select * from data"), {});
    QCOMPARE(months.value(0).amounts[0], 1.06);
    qint64 units = 0;
    QVERIFY(money::parse(QStringLiteral("-12.5"), &units));
    QCOMPARE(units, -12500000);
    QVERIFY(!money::parse(QStringLiteral("12,5"), &units));
    QCOMPARE(money::text(-5000), QStringLiteral("-0.01"));
    QCOMPARE(money::text(-4999), QStringLiteral("0.00"));
}

void ReceivablesTest::journalMonthsYearsAndOpeningBalance()
{
    BookFolder folder;
    ledger::Book book(folder.bookPath());
    // Before the opening day: already in the opening balance.
    book.add(kIn, QStringLiteral("2023-12-20"), QStringLiteral("旧账"), QStringLiteral("甲"), 99900,
             99900);
    const int sale = book.add(kIn, QStringLiteral("2024-03-10"), QStringLiteral("销售"),
                              QStringLiteral("甲"), 50000, 10000);
    book.settle(sale, QStringLiteral("2024-08-02"), 15000, QStringLiteral("第一笔"));
    book.settle(sale, QStringLiteral("2025-01-05"), 25000);
    book.add(kOut, QStringLiteral("2024-07-15"), QStringLiteral("房租"), QStringLiteral("乙"),
             30000, 30000);
    book.add(kOut, QStringLiteral("2024-07-15"), QStringLiteral("赊购"), QStringLiteral("乙"), 8000,
             0); // no cash moved: no line
    book.add(kIn, QStringLiteral("2024-12-31"), QStringLiteral("年末"), QStringLiteral("丙"), 4000,
             4000);
    book.setFact(QStringLiteral("opening_balance"), QStringLiteral("1000.50"));
    book.setFact(QStringLiteral("opening_date"), QStringLiteral("2024-01-01"));
    QCOMPARE(bookfacts::opening(book.db()).units, 1000500000);

    const journal::Journal j =
        journal::build(book.db(), QDate(2024, 7, 1), QDate(2025, 2, 1), QDate(2025, 1, 20));
    QStringList summaries;
    for (const journal::Row& r : j.rows)
        summaries << r.summary;
    QCOMPARE(summaries.join(u','),
             QStringLiteral("期初余额,房租,本月合计,本年累计,收款：销售（第一笔）,本月合计,"
                            "本年累计,本月合计,本年累计,本月合计,本年累计,本月合计,本年累计,年末,"
                            "本月合计,本年累计,结转下年,上年结转,收款：销售,本月合计,本年累计"));
    // 1000.50 on 2024-01-01 and the 100.00 received at entry in March.
    QCOMPARE(cents(j.rows[0].balance), 100050 + 10000);
    QCOMPARE(j.rows[0].day, QStringLiteral("2024-07-01"));
    QCOMPARE(cents(j.rows[2].out), 30000); // July's total
    QCOMPARE(cents(j.rows[3].in), 10000);  // the year from January
    QCOMPARE(cents(j.rows[3].balance), 100050 + 10000 - 30000);
    QCOMPARE(j.rows[2].day, QStringLiteral("2024-07-31"));
    const int december = static_cast<int>(summaries.indexOf(QStringLiteral("结转下年")));
    QCOMPARE(cents(j.rows[december - 1].in), 10000 + 15000 + 4000);
    QCOMPARE(cents(j.rows[december].balance), 100050 + 10000 - 30000 + 15000 + 4000);
    QCOMPARE(cents(j.rows[december + 3].in), 25000); // January's year starts again
    QCOMPARE(cents(j.rows.constLast().balance), 100050 + 10000 - 30000 + 15000 + 4000 + 25000);
    // A page ending after the settlement carries August so far.
    QCOMPARE(journal::carried(j, 4, true),
             (QStringList{QString(), QStringLiteral("过次页"), QString(), QStringLiteral("150.00"),
                          QStringLiteral("0.00"), QStringLiteral("950.50")}));
    const stats::StatTable table = journal::table(j);
    QCOMPARE(table.value(1, 2).toString(), QStringLiteral("乙"));
    QVERIFY(table.value(1, 3).isNull() && cents(table.value(1, 4)) == 30000);
    QVERIFY(table.isTotalRow(0) && !table.isTotalRow(1) && table.isTotalRow(2));

    // Starting in January: 上年结转. Without an opening balance the cash starts at 0.
    sql::exec(book.db(), QStringLiteral("delete from bookinfo where name like 'opening%'"));
    const journal::Journal year =
        journal::build(book.db(), QDate(2024, 1, 1), QDate(2024, 12, 1), QDate(2024, 3, 20));
    QCOMPARE(year.rows[0].summary, QStringLiteral("上年结转"));
    QCOMPARE(cents(year.rows[0].balance), 99900);
    QCOMPARE(year.rows.constLast().summary, QStringLiteral("结转下年")); // lines up to December
    // An opening day later than the period: the balance runs back from it.
    book.setFact(QStringLiteral("opening_balance"), QStringLiteral("500"));
    book.setFact(QStringLiteral("opening_date"), QStringLiteral("2024-08-01"));
    QCOMPARE(cents(moneyflow::balanceBefore(book.db(), QStringLiteral("2024-07-01"))),
             50000 - (-30000));
    book.setFact(QStringLiteral("opening_balance"), QStringLiteral("5 yuan"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, bookfacts::opening(book.db()));
    book.setFact(QStringLiteral("closed_through"), QStringLiteral("2024-06"));
    QCOMPARE(bookfacts::closedThrough(book.db()), QStringLiteral("2024-06"));
}

void ReceivablesTest::olderBooksAndCopiesKeepSettlements()
{
    BookFolder folder;
    {
        ledger::Book book(folder.bookPath());
        const int r = book.add(kIn, QStringLiteral("2024-02-01"), QStringLiteral("销售"),
                               QStringLiteral("甲"), 10000, 0);
        book.settle(r, QStringLiteral("2024-02-05"), 4000, QStringLiteral("现金"));
        book.setFact(QStringLiteral("opening_balance"), QStringLiteral("12.34"));
    }
    // A copy carries the settlements, their keys and the book's facts.
    const QString copy = folder.file(QStringLiteral("copy.mdb"));
    bookcopy::snapshot(folder.bookPath(), copy);
    QCOMPARE(scalar(copy, QStringLiteral("select count(*)||'/'||max(id)||'/'||min(note) from "
                                         "settlements"))
                 .toString(),
             QStringLiteral("1/1/现金"));
    QCOMPARE(scalar(copy, QStringLiteral("select value from bookinfo where name='opening_balance'"))
                 .toString(),
             QStringLiteral("12.34"));
    if (onServer()) {
        BookFolder other;
        bookcopy::copyBook(copy, other.bookPath());
        QCOMPARE(
            scalar(other.bookPath(), QStringLiteral("select amount from settlements")).toDouble(),
            40.0);
        QCOMPARE(scalar(other.bookPath(), QStringLiteral("select value from bookinfo where "
                                                         "name='layout'"))
                     .toInt(),
                 schema::kVersion);
    }
    // A book of the layout before settlements gets them, the same as a new book has.
    {
        sql::ScopedConnection conn(copy);
        sql::exec(conn.db(), QStringLiteral("DROP TABLE settlements"));
        sql::exec(conn.db(), QStringLiteral("PRAGMA user_version = 2"));
        QCOMPARE(layout::upgrade(conn.db()), 2);
        QCOMPARE(layout::versionOf(conn.db()), schema::kVersion);
        QSqlQuery q = sql::exec(conn.db(), QStringLiteral("select group_concat(name) from (select "
                                                          "name from sqlite_master where "
                                                          "tbl_name='settlements' order by name)"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(),
                 QStringLiteral("settlements,settlements_day1,settlements_record"));
        q.finish();
        QCOMPARE(receivables::statement(conn.db(), QStringLiteral("甲"), Side::Receivable,
                                        QStringLiteral("2024-01-01"), QStringLiteral("2025-01-01"))
                     .closing(),
                 60 * money::kUnitsPerYuan); // what was settled is in "2" now
    }
}

QUENVALE_DATA_TEST_MAIN(ReceivablesTest)
#include "tst_receivables.moc"
