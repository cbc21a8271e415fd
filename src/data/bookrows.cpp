#include "data/bookrows.h"

#include "data/errors.h"
#include "data/history.h"
#include "data/sql.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

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
    {QStringLiteral("settlements"), QStringLiteral("id,record,day1,amount,username,note,written"),
     7, true},
};

// The book's facts go with its rows; which layout a server book has is its own.
const QString kFacts = QStringLiteral("bookinfo");
const QString kOwnFacts = QStringLiteral(" where name<>'layout'");

bool hasTable(QSqlDatabase& db, const QString& name)
{
    QSqlQuery q = sql::exec(db,
                            sql::isServer(db)
                                ? QStringLiteral("select count(*) from pg_tables where tablename=? "
                                                 "and schemaname=current_schema()")
                                : QStringLiteral("select count(*) from sqlite_master where "
                                                 "type='table' and name=?"),
                            {name});
    return q.next() && q.value(0).toInt() > 0;
}

void copyFacts(QSqlDatabase& from, QSqlDatabase& to)
{
    if (!hasTable(from, kFacts))
        return;
    // The history's head goes with the history (history::copy).
    QSqlQuery read = sql::exec(from, QStringLiteral("select name, value from bookinfo") +
                                         kOwnFacts + QStringLiteral(" and name<>'history'"));
    while (read.next())
        sql::exec(to, QStringLiteral("insert into bookinfo (name, value) values (?, ?)"),
                  {read.value(0), read.value(1)});
}

} // namespace

void copy(QSqlDatabase& from, QSqlDatabase& to)
{
    const bool toServer = sql::isServer(to);
    for (const Table& table : kTables) {
        // A book of an earlier layout has no settlements yet.
        if (table.name == u"settlements" && !hasTable(from, table.name))
            continue;
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
        if (table.keyed)
            keepKeysAbove(to, table.name, lastKey(from, table.name));
    }
    copyFacts(from, to);
    history::copy(from, to);
}

const QStringList& keyedTables()
{
    static const QStringList tables = {QStringLiteral("rz"), QStringLiteral("data"),
                                       QStringLiteral("settlements")};
    return tables;
}

qint64 lastKey(QSqlDatabase& db, const QString& table)
{
    // The program's own table names only: they are no values to bind.
    const QString statement =
        sql::isServer(db)
            ? QStringLiteral("select greatest((select coalesce(max(id), 0) from %1), coalesce("
                             "pg_sequence_last_value(pg_get_serial_sequence('%1', 'id')::regclass)"
                             ", 0))")
            : QStringLiteral("select max((select coalesce(max(id), 0) from %1), coalesce((select "
                             "max(seq) from sqlite_sequence where name = '%1'), 0))");
    QSqlQuery q = sql::exec(db, statement.arg(table));
    return q.next() ? q.value(0).toLongLong() : 0;
}

void keepKeysAbove(QSqlDatabase& db, const QString& table, qint64 last)
{
    last = std::max(last, lastKey(db, table));
    if (last <= 0)
        return;
    if (sql::isServer(db)) {
        sql::exec(db,
                  QStringLiteral("select setval(pg_get_serial_sequence('%1', 'id'), ?)").arg(table),
                  {last});
        return;
    }
    sql::exec(db, QStringLiteral("delete from sqlite_sequence where name = ?"), {table});
    sql::exec(db, QStringLiteral("insert into sqlite_sequence (name, seq) values (?, ?)"),
              {table, last});
}

void clear(QSqlDatabase& db)
{
    for (const Table& table : kTables)
        sql::exec(db, QStringLiteral("delete from ") + table.name);
    sql::exec(db, QStringLiteral("delete from ") + kFacts + kOwnFacts);
    history::clear(db);
}

qint64 count(QSqlDatabase& db)
{
    qint64 rows = 0;
    for (const Table& table : kTables) {
        if (!hasTable(db, table.name))
            continue;
        QSqlQuery q = sql::exec(db, QStringLiteral("select count(*) from ") + table.name);
        rows += q.next() ? q.value(0).toLongLong() : 0;
    }
    return rows;
}

} // namespace bookrows
