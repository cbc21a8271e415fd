#include "data/mylib.h"

namespace {

QString quotedName(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

} // namespace

void OpenQuery(Dataset* query, const QString& statement, const QVariantList& values)
{
    query->open(statement, values); // closes first, keeping a kept reading aside
}

void ExecQuery(Dataset* query, const QString& statement, const QVariantList& values)
{
    query->close();
    query->execSql(statement, values);
}

void OpenColumnValues(Dataset* query, const QString& column, const QString& table)
{
    const QString name = quotedName(column);
    const QString from = quotedName(table);
    // Grouping walks every row of a big book. When an index leads with the column, a book with
    // few distinct values (kinds, the usual summaries) has them found by hopping from each to
    // the next: a few hundred seeks instead of a million rows. Past kMaxHops values the hops
    // would cost more than the walk, and the walk is used.
    constexpr int kMaxHops = 1000;
    if (query->hasIndexOn(table, column)) {
        OpenQuery(query, QStringLiteral("with recursive v(x) as (select min(%1) from %2 union all "
                                        "select (select min(%1) from %2 where %1>v.x) from v "
                                        "where v.x is not null limit %3) "
                                        "select null as %1 where exists "
                                        "(select 1 from %2 where %1 is null) "
                                        "union all select x from v where x is not null "
                                        "order by 1")
                             .arg(name, from)
                             .arg(kMaxHops + 1));
        if (query->recordCount() <= kMaxHops)
            return;
    }
    OpenQuery(query, QStringLiteral("select ") + name + QStringLiteral(" from ") + from +
                         QStringLiteral(" group by ") + name + QStringLiteral(" order by ") + name);
}
