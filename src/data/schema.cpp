#include "data/schema.h"

#include "data/errors.h"
#include "data/history.h"
#include "data/layout.h"
#include "data/passwords.h"
#include "data/server.h"
#include "data/sql.h"

#include <QFile>
#include <QSqlQuery>

namespace schema {

namespace {

const char* const kStatements[] = {
    // id is the hidden key: the listing changes and deletes exactly the row it shows. Keys
    // are never given twice, so a key another copy opened cannot come to mean another record.
    "CREATE TABLE data ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " a TEXT, day1 DATE, b TEXT, c TEXT,"
    " \"1\" REAL, \"2\" REAL, \"3\" REAL, \"4\" REAL, \"5\" REAL, \"6\" REAL,"
    " o TEXT)",
    "CREATE INDEX data_day1 ON data(day1)",
    // The entry panel's lists read the distinct summaries and counterparties at every reload.
    "CREATE INDEX data_b ON data(b)",
    "CREATE INDEX data_c ON data(c)",
    // Exactly two columns: new users are inserted without a column list.
    "CREATE TABLE userdb ("
    " username TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " passwd TEXT COLLATE NOCASE)",
    "CREATE TABLE rz ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " username TEXT, btime TEXT, jtime TEXT)",
    // Facts about the book as a whole, one value per name.
    "CREATE TABLE bookinfo (name TEXT PRIMARY KEY, value TEXT)",
    // Money received or paid later on a record, each on its own date.
    "CREATE TABLE settlements ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " record INTEGER NOT NULL, day1 DATE NOT NULL, amount REAL NOT NULL,"
    " username TEXT, note TEXT, written TEXT)",
    "CREATE INDEX settlements_record ON settlements(record)",
    "CREATE INDEX settlements_day1 ON settlements(day1)",
    // The records still open: the aging reads these, not the whole book.
    "CREATE INDEX data_open ON data(day1) WHERE \"3\"<>0 OR \"6\"<>0",
};

} // namespace

QStringList tableStatements(const QSqlDatabase& db)
{
    if (sql::isServer(db))
        return server::tableStatements();
    QStringList statements;
    for (const char* statement : kStatements)
        statements << QString::fromLatin1(statement);
    return statements;
}

void createTables(QSqlDatabase& db)
{
    for (const QString& statement : tableStatements(db))
        sql::exec(db, statement);
    history::createTable(db);
    layout::setVersion(db, kVersion);
}

void create(QSqlDatabase& db)
{
    sql::Transaction tx(db);
    createTables(db);
    sql::exec(db, QStringLiteral("insert into userdb values (?, ?)"),
              {QString::fromUtf16(kAdministrator),
               passwords::hash(QString::fromUtf16(kAdministratorInitialPassword))});
    tx.commit();
}

void createFile(const QString& path)
{
    if (QFile::exists(path))
        throw QuenvaleError(QStringLiteral("%1 exists already").arg(path));
    // The business's books are for its owner's eyes only; SQLite gives its journals the same
    // mode.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        throw QuenvaleError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    file.close();
    {
        sql::ScopedConnection conn(path);
        create(conn.db());
    }
}

bool hasRequiredTables(QSqlDatabase& db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(*) from sqlite_master where type='table' and "
                               "name in ('data','userdb','rz')")))
        return false;
    return q.next() && q.value(0).toInt() == 3;
}

bool isBusy(const QSqlError& error)
{
    // SQLITE_BUSY and SQLITE_LOCKED, extended codes included.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6;
}

QString layoutProblem(QSqlDatabase& db, bool* busy)
{
    if (busy)
        *busy = false;
    auto failed = [busy](const QSqlError& error) {
        if (busy)
            *busy = isBusy(error);
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    };
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(*) from sqlite_master where type='table' and "
                               "name in ('data','userdb','rz')")))
        return failed(q.lastError());
    if (!q.next() || q.value(0).toInt() != 3)
        return QStringLiteral("the tables data, userdb and rz are missing");
    q.finish();
    // Each statement names every column the program reads or writes; users are added without a
    // column list, so userdb must have exactly its two columns.
    const QString probes[] = {
        QStringLiteral("select id,a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o from data"),
        QStringLiteral("select username,passwd from userdb"),
        QStringLiteral("insert into userdb values (?,?)"),
        QStringLiteral("select id,username,btime,jtime from rz"),
    };
    for (const QString& probe : probes) {
        if (!q.prepare(probe))
            return failed(q.lastError());
    }
    return QString();
}

const QStringList& dataColumns()
{
    static const QStringList columns = {
        QStringLiteral("a"), QStringLiteral("day1"), QStringLiteral("b"), QStringLiteral("c"),
        QStringLiteral("1"), QStringLiteral("2"),    QStringLiteral("3"), QStringLiteral("4"),
        QStringLiteral("5"), QStringLiteral("6"),    QStringLiteral("o")};
    return columns;
}

bool isDateColumn(const QString& name)
{
    return name == u"day1";
}

} // namespace schema
