#include "data/recyclebin.h"

#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QSqlQuery>

namespace recyclebin {

namespace {

const QString kData = QStringLiteral("data");

QString whoAndWhen(const QString& user, const QString& at)
{
    return QStringLiteral("（操作员：%1，时间：%2）")
        .arg(user.isEmpty() ? QStringLiteral("—") : user, at);
}

} // namespace

QList<history::Entry> list(QSqlDatabase& db)
{
    return history::select(
        db,
        QStringLiteral("c.kind='removed' and c.tablename='data' and not exists (select 1 from "
                       "changes l where l.tablename=c.tablename and l.rowkey=c.rowkey and "
                       "l.seq>c.seq and l.kind in ('added','purged')) and not exists (select 1 "
                       "from data d where d.id=c.rowkey)"),
        {}, QStringLiteral("order by c.seq desc"));
}

history::Values recordValues(const history::Entry& removed)
{
    // Only the book's own columns: the history is text another program may have written.
    history::Values values;
    for (const auto& [column, value] : removed.before)
        if (schema::dataColumns().contains(column))
            values.append({column, value});
    return values;
}

void checkStillBinned(QSqlDatabase& db, const history::Entry& removed)
{
    if (removed.table != kData || removed.kind != history::Kind::Removed)
        throw ConflictError(QStringLiteral("这不是一条已删除的记录。"));
    const QList<history::Entry> later = history::select(
        db,
        QStringLiteral("c.tablename=? and c.rowkey=? and c.kind in ('added','removed','purged') "
                       "and c.seq>=?"),
        {removed.table, removed.key, removed.seq}, QStringLiteral("order by c.seq desc limit 1"));
    if (later.isEmpty())
        throw ConflictError(QStringLiteral(
            "回收站中的这条删除记录已不在修改记录中，未作任何改动。回收站已重新读取。"));
    const history::Entry& last = later.constFirst();
    if (last.kind == history::Kind::Added)
        throw ConflictError(QStringLiteral("这条记录已被其他用户恢复到账本中%1，未作任何改动。"
                                           "回收站已重新读取。")
                                .arg(whoAndWhen(last.user, last.at)));
    if (last.kind == history::Kind::Purged)
        throw ConflictError(QStringLiteral("这条记录已被其他用户彻底删除%1，未作任何改动。"
                                           "回收站已重新读取。")
                                .arg(whoAndWhen(last.user, last.at)));
    if (last.seq != removed.seq)
        throw ConflictError(QStringLiteral("这条记录在您打开回收站之后又被恢复并再次删除%1，"
                                           "未作任何改动。回收站已重新读取。")
                                .arg(whoAndWhen(last.user, last.at)));
    QSqlQuery q =
        sql::exec(db, QStringLiteral("select a, day1, b from data where id=?"), {removed.key});
    if (q.next())
        throw ConflictError(
            QStringLiteral(
                "账本中已经有编号为 %1 的记录（%2，%3，%4），未作任何改动。回收站已重新读取。")
                .arg(removed.key)
                .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString()));
}

void purge(QSqlDatabase& db, const history::Entry& removed, const QString& user)
{
    if (!history::isAdministrator(user))
        throw QuenvaleError(QStringLiteral("只有超级管理员才能彻底删除回收站中的记录。"));
    sql::Transaction tx(db);
    history::lock(db);
    checkStillBinned(db, removed);
    history::append(db, user, QStringLiteral("彻底删除"),
                    {{history::Kind::Purged, removed.table, removed.key, removed.before, {}}});
    tx.commit();
}

void restore(QSqlDatabase& db, const history::Entry& removed, const QString& user)
{
    sql::Transaction tx(db);
    history::lock(db);
    checkStillBinned(db, removed);
    const history::Values values = recordValues(removed);
    QStringList columns = {QStringLiteral("id")};
    QStringList marks = {QStringLiteral("?")};
    QVariantList bound = {removed.key};
    for (const auto& [column, value] : values) {
        columns << u'"' + column + u'"';
        marks << QStringLiteral("?");
        bound << value;
    }
    // The key the record had: nobody else can have been given it.
    sql::exec(db,
              QStringLiteral("insert into data (") + columns.join(u',') + u')' +
                  (sql::isServer(db) ? QStringLiteral(" overriding system value") : QString()) +
                  QStringLiteral(" values (") + marks.join(u',') + u')',
              bound);
    history::append(db, user, QStringLiteral("恢复记录"),
                    {{history::Kind::Added, removed.table, removed.key, {}, values}});
    tx.commit();
}

} // namespace recyclebin

void DirectRestorer::restore(const history::Entry& removed)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    recyclebin::restore(db, removed, history::currentOperator());
}
