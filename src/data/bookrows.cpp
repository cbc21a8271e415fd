#include "data/bookrows.h"

#include "data/errors.h"
#include "data/sql.h"

#include <QSqlError>
#include <QSqlQuery>

namespace bookrows {

namespace {

struct Table
{
    QString name;
    QString columns;
    int columnCount;
    bool keyed; // its key column is generated on a server
};

const Table kTables[] = {
    // userdb in the order the users were added; the local book and the server both keep rowid.
    {QStringLiteral("userdb"), QStringLiteral("username,passwd"), 2, false},
    {QStringLiteral("rz"), QStringLiteral("id,username,btime,jtime"), 4, true},
    {QStringLiteral("data"), QStringLiteral("id,a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o"),
     12, true},
};

} // namespace

void copy(QSqlDatabase& from, QSqlDatabase& to)
{
    const bool toServer = sql::isServer(to);
    for (const Table& table : kTables) {
        QSqlQuery read =
            sql::exec(from, QStringLiteral("select ") + table.columns + QStringLiteral(" from ") +
                                table.name + QStringLiteral(" order by ") +
                                (table.keyed ? QStringLiteral("id") : QStringLiteral("rowid")));
        QStringList marks;
        for (int i = 0; i < table.columnCount; ++i)
            marks << QStringLiteral("?");
        QSqlQuery write(to);
        const QString statement =
            QStringLiteral("insert into ") + table.name + u'(' + table.columns + u')' +
            (toServer && table.keyed ? QStringLiteral(" overriding system value") : QString()) +
            QStringLiteral(" values (") + marks.join(u',') + u')';
        if (!write.prepare(statement))
            throw DatabaseError(write.lastError().databaseText());
        while (read.next()) {
            for (int i = 0; i < table.columnCount; ++i)
                write.bindValue(i, read.value(i));
            if (!write.exec())
                throw DatabaseError(write.lastError().databaseText());
        }
        if (read.lastError().isValid())
            throw DatabaseError(read.lastError().databaseText());
        if (toServer && table.keyed)
            sql::exec(to, QStringLiteral("select setval(pg_get_serial_sequence('%1','id'), "
                                         "coalesce(max(id),0)+1, false) from %1")
                              .arg(table.name));
    }
}

void clear(QSqlDatabase& db)
{
    for (const Table& table : kTables)
        sql::exec(db, QStringLiteral("delete from ") + table.name);
}

qint64 count(QSqlDatabase& db)
{
    qint64 rows = 0;
    for (const Table& table : kTables) {
        QSqlQuery q = sql::exec(db, QStringLiteral("select count(*) from ") + table.name);
        rows += q.next() ? q.value(0).toLongLong() : 0;
    }
    return rows;
}

} // namespace bookrows
