#include "stats/receivables.h"

#include "data/money.h"
#include "data/sql.h"
#include "stats/moneyflow.h"

#include <QSqlQuery>

#include <algorithm>

namespace receivables {

namespace {

struct Columns
{
    QString total;
    QString atEntry;
    QString rest;
    QString side; // SQL: the record under alias d is of this side
};

Columns columnsOf(Side side)
{
    const QString receipts = moneyflow::receipts(QStringLiteral("d"));
    if (side == Side::Receivable)
        return {QStringLiteral("\"1\""), QStringLiteral("\"2\""), QStringLiteral("\"3\""),
                receipts};
    return {QStringLiteral("\"4\""), QStringLiteral("\"5\""), QStringLiteral("\"6\""),
            QStringLiteral("not (") + receipts + u')'};
}

QString units(const QString& amount)
{
    return money::units(amount);
}

} // namespace

Statement statement(QSqlDatabase& db, const QString& party, Side side, const QString& first,
                    const QString& end)
{
    const Columns c = columnsOf(side);
    Statement st;
    // Open before the period: totals less what came at entry, less the settlements before it.
    st.opening =
        moneyflow::integers(db,
                            QStringLiteral("select ") +
                                money::sumOf(units(QStringLiteral("d.") + c.total) + u'-' +
                                             units(QStringLiteral("d.") + c.atEntry)) +
                                QStringLiteral(" from data d where d.c=? and (d.day1<? or d.day1 "
                                               "is null)"),
                            {party, first})
            .value(0) +
        moneyflow::integers(
            db,
            QStringLiteral("select ") +
                money::sumOf(QStringLiteral("((case when coalesce(d.day1,'')<? then 1 else 0 "
                                            "end)-(case when s.day1<? then 1 else 0 end))*") +
                             units(QStringLiteral("s.amount"))) +
                QStringLiteral(
                    " from settlements s join data d on d.id=s.record where d.c=? and ") +
                c.side,
            {first, first, party})
            .value(0);

    const QString records =
        QStringLiteral("select 0 as kind, id, day1 as moved, b, cast(null as text) as note, "
                       "plus, ate-(case when mine=1 then settled else 0 end) as minus from (select "
                       "d.id, d.day1, d.b, ") +
        units(QStringLiteral("d.") + c.total) + QStringLiteral(" as plus, ") +
        units(QStringLiteral("d.") + c.atEntry) + QStringLiteral(" as ate, case when ") + c.side +
        QStringLiteral(" then 1 else 0 end as mine, ") + moneyflow::settled(QStringLiteral("d")) +
        QStringLiteral(" as settled from data d where d.c=? and d.day1>=? and d.day1<?) as r");
    const QString settlements =
        QStringLiteral("select 1, s.id, s.day1, d.b, s.note, 0, ") +
        units(QStringLiteral("s.amount")) +
        QStringLiteral(" from settlements s join data d on d.id=s.record where d.c=? and ") +
        c.side + QStringLiteral(" and s.day1>=? and s.day1<?");
    QSqlQuery q = sql::exec(
        db,
        QStringLiteral("select kind, id, moved, b, note, plus, minus from (") + records +
            QStringLiteral(" union all ") + settlements +
            QStringLiteral(") as lines where plus<>0 or minus<>0 order by moved, kind, id"),
        {party, first, end, party, first, end});
    while (q.next()) {
        StatementLine line;
        line.settlement = q.value(0).toInt() == 1;
        line.key = q.value(1).toLongLong();
        line.day = q.value(2).toString();
        line.summary = line.settlement ? moneyflow::settlementSummary(side == Side::Receivable,
                                                                      q.value(3).toString(),
                                                                      q.value(4).toString())
                                       : q.value(3).toString();
        line.increase = q.value(5).toLongLong();
        line.decrease = q.value(6).toLongLong();
        st.increase += line.increase;
        st.decrease += line.decrease;
        st.lines << line;
    }
    return st;
}

qint64 AgingRow::total() const
{
    qint64 sum = 0;
    for (qint64 b : buckets)
        sum += b;
    return sum;
}

QList<AgingRow> aging(QSqlDatabase& db, const QDate& cutoff)
{
    const QString day = cutoff.toString(Qt::ISODate);
    // The newest day of each range but the last, as text: dates compare as text.
    const QString edges[] = {
        cutoff.addDays(-30).toString(Qt::ISODate), cutoff.addDays(-60).toString(Qt::ISODate),
        cutoff.addDays(-90).toString(Qt::ISODate), cutoff.addDays(-180).toString(Qt::ISODate)};
    const QString later = QStringLiteral("(select ") +
                          money::sumOf(units(QStringLiteral("s.amount"))) +
                          QStringLiteral(" from settlements s where s.record=d.id and s.day1>?)");
    const QString receipts = moneyflow::receipts(QStringLiteral("d"));
    // Only records open now (the index of open records has them) or settled after the cut-off
    // can have been open then.
    const QString columns =
        QStringLiteral("select coalesce(d.c,'') as party, case when d.day1>=? then 0 when "
                       "d.day1>=? then 1 when d.day1>=? then 2 when d.day1>=? then 3 else 4 end "
                       "as bucket, ") +
        units(QStringLiteral("d.\"3\"")) + QStringLiteral(" as r, ") +
        units(QStringLiteral("d.\"6\"")) + QStringLiteral(" as p, case when ") + receipts +
        QStringLiteral(" then 1 else 0 end as receipt, ") + later +
        QStringLiteral(" as later from data d where (d.day1<=? or d.day1 is null) and ");
    const QString open = columns + QStringLiteral("(d.\"3\"<>0 or d.\"6\"<>0) union all ") +
                         columns +
                         QStringLiteral("coalesce(d.\"3\",0)=0 and coalesce(d.\"6\",0)=0 and "
                                        "d.id in (select record from settlements where day1>?)");
    QVariantList values;
    for (int part = 0; part < 2; ++part)
        values << edges[0] << edges[1] << edges[2] << edges[3] << day << day;
    values << day;
    QSqlQuery q = sql::exec(
        db,
        QStringLiteral("select party, bucket, ") +
            money::sumOf(QStringLiteral("r+(case when receipt=1 then later else 0 end)")) + u',' +
            money::sumOf(QStringLiteral("p+(case when receipt=1 then 0 else later end)")) +
            QStringLiteral(" from (") + open +
            QStringLiteral(") as o group by party, bucket order by party, bucket"),
        values);
    QList<AgingRow> rows;
    AgingRow receivable;
    AgingRow payable;
    auto flush = [&] {
        for (AgingRow* row : {&receivable, &payable}) {
            if (std::any_of(std::begin(row->buckets), std::end(row->buckets),
                            [](qint64 b) { return b != 0; }))
                rows << *row;
        }
    };
    bool any = false;
    while (q.next()) {
        const QString party = q.value(0).toString();
        if (!any || party != receivable.party) {
            if (any)
                flush();
            receivable = AgingRow{party, Side::Receivable, {}};
            payable = AgingRow{party, Side::Payable, {}};
            any = true;
        }
        const int bucket = std::clamp(q.value(1).toInt(), 0, kBuckets - 1);
        receivable.buckets[bucket] += q.value(2).toLongLong();
        payable.buckets[bucket] += q.value(3).toLongLong();
    }
    if (any)
        flush();
    std::stable_sort(rows.begin(), rows.end(),
                     [](const AgingRow& a, const AgingRow& b) { return a.total() > b.total(); });
    return rows;
}

QStringList parties(QSqlDatabase& db)
{
    QSqlQuery q =
        sql::exec(db, QStringLiteral("select c from data where c<>'' group by c order by c"));
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

} // namespace receivables
