#include "stats/journal.h"

#include "data/money.h"
#include "stats/moneyflow.h"

namespace journal {

namespace {

QString monthOf(const QDate& day)
{
    return day.toString(QStringLiteral("yyyy-MM"));
}

QString lastDayOf(const QDate& month)
{
    return QDate(month.year(), month.month(), month.daysInMonth()).toString(Qt::ISODate);
}

} // namespace

Journal build(QSqlDatabase& db, const QDate& first, const QDate& last, const QDate& today)
{
    Journal j;
    const QDate start(first.year(), first.month(), 1);
    const QDate end = QDate(last.year(), last.month(), 1).addMonths(1);
    j.first = monthOf(start);
    j.last = monthOf(end.addMonths(-1));
    const QString from = start.toString(Qt::ISODate);
    const QList<moneyflow::Line> lines = moneyflow::lines(db, from, end.toString(Qt::ISODate));

    qint64 balance = moneyflow::balanceBefore(db, from);
    // 本年累计 counts from January, also when the journal starts later in the year.
    const QString january = QDate(start.year(), 1, 1).toString(Qt::ISODate);
    const moneyflow::Flows before = moneyflow::before(db, from);
    const moneyflow::Flows yearStart = moneyflow::before(db, january);
    qint64 yearIn = before.in - yearStart.in;
    qint64 yearOut = before.out - yearStart.out;

    auto add = [&](Kind kind, const QString& day, const QString& summary, qint64 in, qint64 out,
                   qint64 monthIn, qint64 monthOut) {
        j.rows.append({kind, day, summary, QString(), in, out, balance, monthIn, monthOut});
    };
    add(Kind::Opening, from,
        start.month() == 1 ? QStringLiteral("上年结转") : QStringLiteral("期初余额"), 0, 0, 0, 0);

    // The months closed: up to the last movement, or up to this month while the period runs.
    QDate closedUpTo = std::min(end.addMonths(-1), QDate(today.year(), today.month(), 1));
    if (!lines.isEmpty()) {
        const QDate lastMoved =
            QDate::fromString(lines.constLast().day.left(7) + QStringLiteral("-01"), Qt::ISODate);
        if (lastMoved.isValid())
            closedUpTo = std::max(closedUpTo, lastMoved);
    }
    qsizetype next = 0;
    for (QDate month = start; month <= closedUpTo; month = month.addMonths(1)) {
        if (month.month() == 1 && month != start) {
            yearIn = yearOut = 0;
            add(Kind::Opening, month.toString(Qt::ISODate), QStringLiteral("上年结转"), 0, 0, 0, 0);
        }
        const QString name = monthOf(month);
        qint64 monthIn = 0;
        qint64 monthOut = 0;
        while (next < lines.size() && lines[next].day.left(7) == name) {
            const moneyflow::Line& line = lines[next++];
            monthIn += line.in;
            monthOut += line.out;
            balance += line.in - line.out;
            j.rows.append({Kind::Line, line.day, line.summary, line.party, line.in, line.out,
                           balance, monthIn, monthOut});
        }
        yearIn += monthIn;
        yearOut += monthOut;
        const QString closing = lastDayOf(month);
        add(Kind::MonthTotal, closing, QStringLiteral("本月合计"), monthIn, monthOut, 0, 0);
        add(Kind::YearTotal, closing, QStringLiteral("本年累计"), yearIn, yearOut, 0, 0);
        if (month.month() == 12)
            add(Kind::CarriedToNextYear, closing, QStringLiteral("结转下年"), 0, 0, 0, 0);
    }
    return j;
}

stats::StatTable table(const Journal& journal)
{
    using Kind = TableSource::Kind;
    stats::StatTable t;
    t.name = QStringLiteral("现金日记账");
    const QString upper = QStringLiteral("现  金  日  记  账|");
    t.titles = {upper + QStringLiteral("日 期"),    upper + QStringLiteral("摘 要"),
                upper + QStringLiteral("单位名称"), QStringLiteral("金  额|收 入"),
                QStringLiteral("金  额|支 出"),     QStringLiteral("金  额|余 额")};
    t.kinds = {Kind::Date, Kind::Text, Kind::Text, Kind::Number, Kind::Number, Kind::Number};
    for (const Row& row : journal.rows) {
        const bool line = row.kind == journal::Kind::Line;
        const bool sums =
            row.kind == journal::Kind::MonthTotal || row.kind == journal::Kind::YearTotal;
        auto amount = [&](qint64 units) {
            return (line && units != 0) || sums ? QVariant(money::yuan(units)) : QVariant();
        };
        t.rows << QVariantList{row.day,        row.summary,     row.party,
                               amount(row.in), amount(row.out), money::yuan(row.balance)};
        t.totals << !line;
    }
    return t;
}

QStringList carried(const Journal& journal, int row, bool forward)
{
    const Row& r = journal.rows.at(row);
    return {QString(),
            forward ? QStringLiteral("过次页") : QStringLiteral("承前页"),
            QString(),
            money::text(r.monthIn),
            money::text(r.monthOut),
            money::text(r.balance)};
}

} // namespace journal
