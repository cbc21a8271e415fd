#include "users/credentials.h"

#include "data/dm.h"
#include "data/errors.h"
#include "data/history.h"
#include "data/mylib.h"
#include "data/passwords.h"
#include "data/sql.h"

#include <QSqlQuery>

int matchingUsers(const QString& name, const QString& password)
{
    Dataset* query = dmfm->ADOQuery1;
    OpenQuery(query, QStringLiteral("select passwd from userdb where username=?"), {name});
    int matches = 0;
    query->first();
    for (int i = 0; i < query->recordCount(); ++i) {
        if (passwords::verify(query->text(QStringLiteral("passwd")), password))
            ++matches;
        query->next();
    }
    return matches;
}

namespace users {

namespace {

const QString kUsers = QStringLiteral("userdb");

// The user's name alone: a password, even hashed, has no place in the history.
history::Values named(const QString& name)
{
    return {{QStringLiteral("username"), name}};
}

void noted(QSqlDatabase& db, const QString& action, const history::Change& change)
{
    history::append(db, history::currentOperator(), action, {change});
}

// Why a write meant for the user as shown found nothing to write.
[[noreturn]] void refuse(QSqlDatabase& db, const Account& shown, const QString& what)
{
    QSqlQuery q =
        sql::exec(db, QStringLiteral("select username from userdb where username=?"), {shown.name});
    if (!q.next())
        throw ConflictError(QStringLiteral("用户“%1”已被其他用户删除，未%2。用户列表已重新读取。")
                                .arg(shown.name, what));
    throw ConflictError(QStringLiteral("用户“%1”在用户列表显示之后已被其他用户修改（密码已被重设"
                                       "或更改），未%2。用户列表已重新读取，请重新选择该用户后"
                                       "再操作。")
                            .arg(q.value(0).toString(), what));
}

// The row as shown: its name exactly and its hash (a missing hash matches only a missing one).
QString shownCondition(const Account& shown, QVariantList& values)
{
    values << shown.name << shown.name;
    QString condition = QStringLiteral("username=? and username||''=?");
    if (shown.passwordHash.isNull())
        return condition + QStringLiteral(" and passwd is null");
    values << shown.passwordHash;
    return condition + QStringLiteral(" and passwd=?");
}

} // namespace

QList<Account> accounts()
{
    QSqlDatabase db = dmfm->connection();
    // Table order: without the rowid the name index would sort them.
    QSqlQuery q =
        sql::exec(db, QStringLiteral("select username, passwd from userdb order by rowid"));
    QList<Account> list;
    while (q.next())
        list.append({q.value(0).toString(), q.value(1).toString()});
    return list;
}

QStringList names()
{
    QStringList list;
    for (const Account& account : accounts())
        list << account.name;
    return list;
}

bool exists(const QString& name)
{
    OpenQuery(dmfm->ADOQuery1, QStringLiteral("select username from userdb where username=?"),
              {name});
    return dmfm->ADOQuery1->recordCount() > 0;
}

void setPassword(const QString& name, const QString& password)
{
    QSqlDatabase db = dmfm->connection();
    sql::Transaction tx(db);
    sql::exec(db, QStringLiteral("update userdb set passwd=? where username=?"),
              {passwords::hash(password), name});
    noted(db, QStringLiteral("修改密码"),
          {history::Kind::Rows, kUsers, 0, named(name), named(name)});
    tx.commit();
}

void add(const QString& name, const QString& password)
{
    QSqlDatabase db = dmfm->connection();
    sql::Transaction tx(db);
    sql::exec(db, QStringLiteral("insert into userdb values (?,?)"),
              {name, passwords::hash(password)});
    noted(db, QStringLiteral("增加用户"), {history::Kind::Rows, kUsers, 0, {}, named(name)});
    tx.commit();
}

Account resetPassword(const Account& shown, const QString& password)
{
    QSqlDatabase db = dmfm->connection();
    sql::Transaction tx(db);
    const QString hash = passwords::hash(password);
    QVariantList values = {hash};
    const QString condition = shownCondition(shown, values);
    QSqlQuery q =
        sql::exec(db, QStringLiteral("update userdb set passwd=? where ") + condition, values);
    if (q.numRowsAffected() != 1)
        refuse(db, shown, QStringLiteral("初始化密码"));
    q.finish();
    noted(db, QStringLiteral("初始化密码"),
          {history::Kind::Rows, kUsers, 0, named(shown.name), named(shown.name)});
    tx.commit();
    return {shown.name, hash};
}

void remove(const Account& shown)
{
    QSqlDatabase db = dmfm->connection();
    sql::Transaction tx(db);
    QVariantList values;
    const QString condition = shownCondition(shown, values);
    QSqlQuery q = sql::exec(db, QStringLiteral("delete from userdb where ") + condition, values);
    if (q.numRowsAffected() != 1)
        refuse(db, shown, QStringLiteral("删除"));
    q.finish();
    noted(db, QStringLiteral("删除用户"), {history::Kind::Rows, kUsers, 0, named(shown.name), {}});
    tx.commit();
}

} // namespace users
