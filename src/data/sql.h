#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

// The one boundary where statements meet SQLite: every failure becomes a DatabaseError
// carrying SQLite's text, and every value is a bound parameter.
namespace sql {

inline constexpr int kBusyTimeoutMs = 5000;

// True for a connection to a server book (PostgreSQL).
bool isServer(const QSqlDatabase& db);

// The statement as db's engine runs it. The program's statements are written for the local
// book; on a server the few words that differ are put its way (the case rules stay the local
// book's: LIKE and user names fold ASCII letters only).
QString dialect(const QSqlDatabase& db, const QString& statement);

// Prepares and runs a statement with its values bound in order; throws on failure.
QSqlQuery exec(QSqlDatabase& db, const QString& statement, const QVariantList& values = {});

// Opens path as an SQLite database (which must exist) under a fresh connection name; a server
// book's connection string opens the server book.
QSqlDatabase open(const QString& path, const QString& connectionName);

// The datasets read through the sqlite3 handle of Qt's connection with this program's own SQLite
// calls; that is sound only when both are the same library. Throws DatabaseError (in Chinese,
// naming both versions) when db's driver reports another SQLite than the one linked here.
void checkSameSqlite(QSqlDatabase& db);

// Two texts in the order both books sort them: UTF-8 byte by byte (SQLite's binary collation,
// the server's "C"). Negative, zero or positive.
int compareStored(QStringView left, QStringView right);

// An identifier (table or column name) in double quotes, quotes inside doubled.
QString quoted(const QString& identifier);
// The name as a statement shows it: bare when it is a plain lower-case word, else quoted.
QString name(const QString& identifier);

// The table an insert, update or delete statement writes; empty for any other statement.
QString writtenTable(const QString& statement);

// Escapes %, _ and the escape character itself for a LIKE pattern with ESCAPE '\'.
QString likeContains(const QString& text);

// Rolls back unless commit() was reached.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase& db);
    ~Transaction();
    void commit();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    QSqlDatabase& m_db;
    bool m_done = false;
};

// A private connection for tools and tests; closed and removed on destruction.
class ScopedConnection
{
public:
    explicit ScopedConnection(const QString& path);
    ~ScopedConnection();
    QSqlDatabase& db() { return m_db; }
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;

private:
    QString m_name;
    QSqlDatabase m_db;
};

} // namespace sql
