#include "data/loginlog.h"

#include "data/formats.h"
#include "data/mylib.h"

namespace loginlog {

qint64 open(Dataset* query, const QString& user, const QDateTime& at)
{
    ExecQuery(query, QStringLiteral("insert into rz (username,btime) values (?,?) returning id"),
              {user, formats::dateTimeText(at)});
    return query->lastInsertId();
}

void close(Dataset* query, qint64 id, const QDateTime& at)
{
    if (id == 0)
        return;
    ExecQuery(query, QStringLiteral("update rz set jtime=? where id=?"),
              {formats::dateTimeText(at), id});
}

} // namespace loginlog
