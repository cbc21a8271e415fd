// The history as the window 修改记录 asks for it.
#include "data/history.h"
#include "data/historystore.h"
#include "data/sql.h"

#include <QSqlQuery>

namespace history {

QList<Entry> select(QSqlDatabase& db, const QString& condition, const QVariantList& values,
                    const QString& tail)
{
    QList<Entry> entries;
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select ") + store::columns() +
                                QStringLiteral(" from changes c where ") + condition + u' ' + tail,
                            values);
    while (q.next()) {
        Entry e = store::entryFrom(q);
        e.before = fromJson(e.beforeText);
        e.after = fromJson(e.afterText);
        entries << e;
    }
    return entries;
}

QList<Entry> find(QSqlDatabase& db, const Filter& filter)
{
    QString statement = QStringLiteral("1=1");
    QVariantList values;
    if (filter.from.isValid()) {
        statement += QStringLiteral(" and changed_at >= ?");
        values << filter.from.toString(Qt::ISODate);
    }
    if (filter.to.isValid()) {
        statement += QStringLiteral(" and changed_at < ?");
        values << filter.to.addDays(1).toString(Qt::ISODate);
    }
    if (!filter.user.isEmpty()) {
        statement += QStringLiteral(" and username=?");
        values << filter.user;
    }
    if (!filter.text.isEmpty()) {
        statement += QStringLiteral(" and (action like ? escape '\\' or username like ? escape "
                                    "'\\' or before_values like ? escape '\\' or after_values "
                                    "like ? escape '\\')");
        const QString pattern = sql::likeContains(filter.text);
        values << pattern << pattern << pattern << pattern;
    }
    values << filter.limit;
    return select(db, statement, values, QStringLiteral("order by seq desc limit ?"));
}

QStringList users(QSqlDatabase& db)
{
    QStringList names;
    QSqlQuery q = sql::exec(
        db, QStringLiteral("select distinct username from changes where username<>'' order by "
                           "username"));
    while (q.next())
        names << q.value(0).toString();
    return names;
}

} // namespace history
