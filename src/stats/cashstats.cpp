#include "stats/cashstats.h"

#include "data/money.h"
#include "data/sql.h"
#include "stats/moneyflow.h"

namespace stats {

namespace {

// The listing's statement runs as a subquery with its values bound, never rebuilt.
QString over(const QString& listingSql)
{
    return QStringLiteral(" from (") + listingSql + QStringLiteral(") as listing");
}

} // namespace

QString noDateLabel()
{
    return QStringLiteral("（无日期）");
}

QString noCounterpartyLabel()
{
    return QStringLiteral("（未填单位）");
}

QList<MonthRow> monthly(QSqlDatabase db, const QString& listingSql, const QVariantList& values,
                        Basis basis)
{
    // Exact sums of the stored amounts (data/money.h), the same on both engines.
    QStringList amounts;
    for (int i = 1; i <= kAmounts; ++i)
        amounts << money::units(QStringLiteral("\"%1\"").arg(i));
    QVariantList bound = values;
    QString moved;
    if (basis == Basis::CashMoved) {
        // What came at entry stays on the record's month; each settlement goes to its own.
        const QString receipts = moneyflow::receipts(QStringLiteral("listing"));
        const QString settled = moneyflow::settled(QStringLiteral("listing"));
        const QString amount = money::units(QStringLiteral("s.amount"));
        amounts[1] += QStringLiteral("-(case when ") + receipts + QStringLiteral(" then ") +
                      settled + QStringLiteral(" else 0 end)");
        amounts[4] += QStringLiteral("-(case when ") + receipts + QStringLiteral(" then 0 else ") +
                      settled + QStringLiteral(" end)");
        moved = QStringLiteral(" union all select substr(s.day1,1,7), 0, case when ") + receipts +
                QStringLiteral(" then ") + amount +
                QStringLiteral(" else 0 end, 0, 0, case when ") + receipts +
                QStringLiteral(" then 0 else ") + amount +
                QStringLiteral(" end, 0 from settlements s join (") + listingSql +
                QStringLiteral(") as listing on listing.id=s.record");
        bound += values;
    }
    QStringList named;
    QStringList sums;
    for (int i = 0; i < kAmounts; ++i) {
        named << amounts[i] + QStringLiteral(" as u%1").arg(i + 1);
        sums << money::sumOf(QStringLiteral("u%1").arg(i + 1));
    }
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select month, ") + sums.join(u',') +
                                QStringLiteral(" from (select substr(day1,1,7) as month, ") +
                                named.join(u',') + over(listingSql) + moved +
                                QStringLiteral(") as flows group by month order by month"),
                            bound);
    QList<MonthRow> found;
    while (q.next()) {
        MonthRow row;
        row.month = q.value(0).toString();
        for (int i = 0; i < kAmounts; ++i)
            row.amounts[i] = money::yuan(q.value(i + 1).toLongLong());
        found << row;
    }
    return found;
}

QList<MonthRow> monthly(QSqlDatabase db, const ListingQuery& listing, Basis basis)
{
    // No order changes a sum; an order would make the database walk the index.
    const ListingQuery rows = listing.unordered();
    return monthly(db, rows.toSql(), rows.values(), basis);
}

QList<PartyRow> openByCounterparty(QSqlDatabase db, const ListingQuery& listing)
{
    const ListingQuery rows = listing.unordered();
    return openByCounterparty(db, rows.toSql(), rows.values());
}

QList<PartyRow> openByCounterparty(QSqlDatabase db, const QString& listingSql,
                                   const QVariantList& values)
{
    QSqlQuery q = sql::exec(
        db,
        // Totals filtered and ordered one level up: a server takes no output names there.
        QStringLiteral("select party, r, p, n from (select coalesce(c,'') as party, "
                       "total(\"3\") as r, total(\"6\") as p, count(*) as n") +
            over(listingSql) +
            QStringLiteral(" where coalesce(\"3\",0)<>0 or coalesce(\"6\",0)<>0"
                           " group by coalesce(c,'')) as totals"
                           " where round(r,2)<>0 or round(p,2)<>0 order by r+p desc, party"),
        values);
    QList<PartyRow> rows;
    while (q.next())
        rows.append({q.value(0).toString(), q.value(1).toDouble(), q.value(2).toDouble(),
                     q.value(3).toInt()});
    return rows;
}

StatTable monthlyTable(const QList<MonthRow>& months, bool cashMoved)
{
    using Kind = TableSource::Kind;
    StatTable t;
    t.name = QStringLiteral("收支统计");
    t.titles = {QStringLiteral("收 支 统 计|月 份"),
                QStringLiteral("收  入|收入合计"),
                QStringLiteral("收  入|已收金额"),
                QStringLiteral("收  入|应收账款"),
                QStringLiteral("支  出|支出合计"),
                QStringLiteral("支  出|已付金额"),
                QStringLiteral("支  出|应付账款"),
                cashMoved ? QStringLiteral("结  余|收付差额") : QStringLiteral("结  余|收支差额")};
    t.kinds = {Kind::Text};
    for (int i = 0; i < kAmounts + 1; ++i)
        t.kinds << Kind::Number;

    auto add = [&t, cashMoved](const QString& label, const double* amounts, bool total) {
        QVariantList row{label};
        for (int i = 0; i < kAmounts; ++i)
            row << amounts[i];
        row << (cashMoved ? amounts[1] - amounts[4] : amounts[0] - amounts[3]);
        t.rows << row;
        t.totals << total;
    };
    double year[kAmounts] = {};
    double all[kAmounts] = {};
    QString currentYear;
    int years = 0;
    auto closeYear = [&] {
        if (years == 0)
            return;
        add(currentYear.isEmpty() ? noDateLabel() + QStringLiteral("合计")
                                  : currentYear + QStringLiteral("年合计"),
            year, true);
        std::fill(std::begin(year), std::end(year), 0.0);
    };
    for (const MonthRow& m : months) {
        const QString y = m.month.left(4);
        if (years == 0 || y != currentYear) {
            closeYear();
            currentYear = y;
            ++years;
        }
        add(m.month.isEmpty() ? noDateLabel() : m.month, m.amounts, false);
        for (int i = 0; i < kAmounts; ++i) {
            year[i] += m.amounts[i];
            all[i] += m.amounts[i];
        }
    }
    closeYear();
    if (years > 1)
        add(QStringLiteral("总计"), all, true);
    return t;
}

StatTable counterpartyTable(const QList<PartyRow>& parties)
{
    using Kind = TableSource::Kind;
    StatTable t;
    t.name = QStringLiteral("往来余额");
    t.titles = {QStringLiteral("往 来 余 额|单位名称"), QStringLiteral("往 来 余 额|应收账款"),
                QStringLiteral("往 来 余 额|应付账款"), QStringLiteral("往 来 余 额|记录数")};
    t.kinds = {Kind::Text, Kind::Number, Kind::Number, Kind::Integer};
    for (const PartyRow& p : parties) {
        t.rows << QVariantList{p.party.isEmpty() ? noCounterpartyLabel() : p.party, p.receivable,
                               p.payable, p.records};
        t.totals << false;
    }
    t.footer = true;
    t.footerTexts = {QStringLiteral("合计")};
    return t;
}

} // namespace stats
