#include "users/credentials.h"

#include "data/dm.h"
#include "data/mylib.h"
#include "data/passwords.h"

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

QStringList names()
{
    // Table order: without the rowid the name index would sort them.
    Dataset* query = dmfm->ADOQuery1;
    OpenQuery(query, QStringLiteral("select username from userdb order by rowid"));
    QStringList list;
    query->first();
    for (int i = 0; i < query->recordCount(); ++i) {
        list << query->text(QStringLiteral("username"));
        query->next();
    }
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
    ExecQuery(dmfm->ADOQuery1, QStringLiteral("update userdb set passwd=? where username=?"),
              {passwords::hash(password), name});
}

void add(const QString& name, const QString& password)
{
    ExecQuery(dmfm->ADOQuery1, QStringLiteral("insert into userdb values (?,?)"),
              {name, passwords::hash(password)});
}

void remove(const QString& name)
{
    ExecQuery(dmfm->ADOQuery1, QStringLiteral("delete from userdb where username=?"), {name});
}

} // namespace users
