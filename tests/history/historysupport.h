#pragma once

// Writes as the book writer makes them, each in one transaction with its history entry, and
// another program's hand on the history (sqlite3 or psql).
#include "data/history.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"

#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

namespace historytest {

inline history::Values recordValues(QSqlDatabase& db, qint64 key)
{
    QSqlQuery q =
        sql::exec(db,
                  QStringLiteral("select a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o "
                                 "from data where id=?"),
                  {key});
    history::Values values;
    if (q.next())
        for (int c = 0; c < schema::dataColumns().size(); ++c)
            values.append({schema::dataColumns().at(c), q.value(c)});
    return values;
}

inline qint64 append(const QString& book, const QString& user, const history::Change& change,
                     const QString& action = {})
{
    sql::ScopedConnection conn(book);
    sql::Transaction tx(conn.db());
    const qint64 batch = history::append(conn.db(), user, action, {change});
    tx.commit();
    return batch;
}

// Deletes the record and notes it, as a delete through the program does.
inline history::Values deleteRecord(const QString& book, qint64 key, const QString& user)
{
    sql::ScopedConnection conn(book);
    sql::Transaction tx(conn.db());
    const history::Values values = recordValues(conn.db(), key);
    sql::exec(conn.db(), QStringLiteral("delete from data where id=?"), {key});
    history::append(conn.db(), user, QString(),
                    {{history::Kind::Removed, QStringLiteral("data"), key, values, {}}});
    tx.commit();
    return values;
}

// Runs statement on the book with the engine's own command-line tool, as another program would.
inline void runTool(const QString& book, const QString& statement)
{
    QProcess tool;
    if (server::isServerBook(book))
        tool.start(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), book,
                    QStringLiteral("-c"), statement});
    else
        tool.start(QStringLiteral("sqlite3"), {book, statement});
    QVERIFY2(tool.waitForFinished(30000), "the command-line tool did not finish");
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
             tool.readAllStandardError().constData());
}

} // namespace historytest
