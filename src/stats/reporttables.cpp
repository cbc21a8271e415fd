#include "stats/reporttables.h"

#include "data/money.h"

namespace stats {

QString sideName(receivables::Side side)
{
    return side == receivables::Side::Receivable ? QStringLiteral("应收") : QStringLiteral("应付");
}

StatTable statementTable(const receivables::Statement& statement, receivables::Side side,
                         const QString& first)
{
    using Kind = TableSource::Kind;
    const bool receivable = side == receivables::Side::Receivable;
    StatTable t;
    t.name = QStringLiteral("往来对账单");
    const QString upper = QStringLiteral("往  来  对  账  单|");
    const QString part = receivable ? QStringLiteral("应  收|") : QStringLiteral("应  付|");
    t.titles = {upper + QStringLiteral("日 期"), upper + QStringLiteral("摘 要"),
                part + (receivable ? QStringLiteral("应收金额") : QStringLiteral("应付金额")),
                part + (receivable ? QStringLiteral("已收金额") : QStringLiteral("已付金额")),
                part + QStringLiteral("余 额")};
    t.kinds = {Kind::Date, Kind::Text, Kind::Number, Kind::Number, Kind::Number};
    qint64 balance = statement.opening;
    t.rows << QVariantList{first, QStringLiteral("期初余额"), QVariant(), QVariant(),
                           money::yuan(balance)};
    t.totals << true;
    auto amount = [](qint64 units) {
        return units != 0 ? QVariant(money::yuan(units)) : QVariant();
    };
    for (const receivables::StatementLine& line : statement.lines) {
        balance += line.increase - line.decrease;
        t.rows << QVariantList{line.day, line.summary, amount(line.increase), amount(line.decrease),
                               money::yuan(balance)};
        t.totals << false;
    }
    t.rows << QVariantList{QVariant(), QStringLiteral("本期合计"), money::yuan(statement.increase),
                           money::yuan(statement.decrease), money::yuan(statement.closing())};
    t.totals << true;
    return t;
}

StatTable agingTable(const QList<receivables::AgingRow>& rows)
{
    using Kind = TableSource::Kind;
    StatTable t;
    t.name = QStringLiteral("账龄分析");
    const QString upper = QStringLiteral("账  龄  分  析|");
    t.titles = {upper + QStringLiteral("单位名称"), upper + QStringLiteral("类别"),
                upper + QStringLiteral("合计"),     QStringLiteral("账  龄|0-30天"),
                QStringLiteral("账  龄|31-60天"),   QStringLiteral("账  龄|61-90天"),
                QStringLiteral("账  龄|91-180天"),  QStringLiteral("账  龄|180天以上")};
    t.kinds = {Kind::Text, Kind::Text};
    for (int i = 0; i < receivables::kBuckets + 1; ++i)
        t.kinds << Kind::Number;
    receivables::AgingRow sums[2];
    bool present[2] = {};
    for (const receivables::AgingRow& row : rows) {
        QVariantList cells{row.party.isEmpty() ? noCounterpartyLabel() : row.party,
                           sideName(row.side), money::yuan(row.total())};
        const int s = row.side == receivables::Side::Receivable ? 0 : 1;
        present[s] = true;
        for (int b = 0; b < receivables::kBuckets; ++b) {
            cells << money::yuan(row.buckets[b]);
            sums[s].buckets[b] += row.buckets[b];
        }
        t.rows << cells;
        t.totals << false;
    }
    for (int s = 0; s < 2; ++s) {
        if (!present[s])
            continue;
        QVariantList cells{
            QStringLiteral("合计"),
            sideName(s == 0 ? receivables::Side::Receivable : receivables::Side::Payable),
            money::yuan(sums[s].total())};
        for (qint64 b : sums[s].buckets)
            cells << money::yuan(b);
        t.rows << cells;
        t.totals << true;
    }
    return t;
}

} // namespace stats
