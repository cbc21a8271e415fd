#include "stats/cashstats.h"

#include "data/sql.h"

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

QList<MonthRow> monthly(QSqlDatabase db, const QString& listingSql, const QVariantList& values)
{
    QSqlQuery q =
        sql::exec(db,
                  QStringLiteral("select substr(day1,1,7) as month, total(\"1\"), total(\"2\"), "
                                 "total(\"3\"), total(\"4\"), total(\"5\"), total(\"6\")") +
                      over(listingSql) + QStringLiteral(" group by month order by month"),
                  values);
    QList<MonthRow> rows;
    while (q.next()) {
        MonthRow row;
        row.month = q.value(0).toString();
        for (int i = 0; i < kAmounts; ++i)
            row.amounts[i] = q.value(i + 1).toDouble();
        rows << row;
    }
    return rows;
}

QList<MonthRow> monthly(QSqlDatabase db, const ListingQuery& listing)
{
    // No order changes a sum; an order would make the database walk the index.
    const ListingQuery rows = listing.unordered();
    return monthly(db, rows.toSql(), rows.values());
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

StatTable monthlyTable(const QList<MonthRow>& months)
{
    using Kind = TableSource::Kind;
    StatTable t;
    t.name = QStringLiteral("收支统计");
    t.titles = {QStringLiteral("收 支 统 计|月 份"), QStringLiteral("收  入|收入合计"),
                QStringLiteral("收  入|已收金额"),   QStringLiteral("收  入|应收账款"),
                QStringLiteral("支  出|支出合计"),   QStringLiteral("支  出|已付金额"),
                QStringLiteral("支  出|应付账款"),   QStringLiteral("结  余|收支差额")};
    t.kinds = {Kind::Text};
    for (int i = 0; i < kAmounts + 1; ++i)
        t.kinds << Kind::Number;

    auto add = [&t](const QString& label, const double* amounts, bool total) {
        QVariantList row{label};
        for (int i = 0; i < kAmounts; ++i)
            row << amounts[i];
        row << amounts[0] - amounts[3];
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
