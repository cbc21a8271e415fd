#include "data/foreigncode.h"

#include "data/sql.h"

#include <QSqlQuery>
#include <QStringList>

namespace foreigncode {

namespace {

// The program makes no triggers, views or rules of its own; a layout that adds one names it
// here.
bool isOwn(const Item&)
{
    return false;
}

QString quoted(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QList<Item> find(QSqlDatabase& db)
{
    const QString statement =
        sql::isServer(db)
            ? QStringLiteral(
                  "select 'trigger', t.tgname::text, c.relname::text from pg_trigger t join "
                  "pg_class c on c.oid = t.tgrelid join pg_namespace n on n.oid = c.relnamespace "
                  "where not t.tgisinternal and n.nspname = current_schema() "
                  "union all select 'rule', rulename::text, tablename::text from pg_rules "
                  "where schemaname = current_schema() "
                  "union all select 'view', viewname::text, '' from pg_views "
                  "where schemaname = current_schema() order by 1, 2")
            : QStringLiteral("select type, name, tbl_name from sqlite_master "
                             "where type in ('trigger', 'view') order by 1, 2");
    QList<Item> items;
    QSqlQuery q = sql::exec(db, statement);
    while (q.next()) {
        const Item item{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()};
        if (!isOwn(item))
            items << item;
    }
    return items;
}

QString describe(const QList<Item>& items)
{
    QStringList lines;
    for (const Item& item : items) {
        if (item.kind == u"view")
            lines << QStringLiteral("视图“%1”").arg(item.name);
        else
            lines << QStringLiteral("%1“%2”（表 %3）")
                         .arg(item.kind == u"rule" ? QStringLiteral("规则")
                                                   : QStringLiteral("触发器"),
                              item.name, item.table);
    }
    return lines.join(u'\n');
}

void remove(QSqlDatabase& db, const QList<Item>& items)
{
    const bool onServer = sql::isServer(db);
    for (const Item& item : items) {
        QString statement = QStringLiteral("DROP ") + item.kind.toUpper() +
                            QStringLiteral(" IF EXISTS ") + quoted(item.name);
        if (onServer && item.kind != u"view")
            statement += QStringLiteral(" ON ") + quoted(item.table);
        else if (onServer)
            statement += QStringLiteral(" CASCADE");
        sql::exec(db, statement);
    }
}

} // namespace foreigncode
