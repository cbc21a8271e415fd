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
    query->close();
    query->open(statement, values);
}

void ExecQuery(Dataset* query, const QString& statement, const QVariantList& values)
{
    query->close();
    query->execSql(statement, values);
}

void OpenColumnValues(Dataset* query, const QString& column, const QString& table)
{
    const QString name = quotedName(column);
    OpenQuery(query, QStringLiteral("select ") + name + QStringLiteral(" from ") +
                         quotedName(table) + QStringLiteral(" group by ") + name +
                         QStringLiteral(" order by ") + name);
}
