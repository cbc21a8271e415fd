#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

struct sqlite3;
struct sqlite3_stmt;

// Statements run straight on the sqlite3 handle of Qt's connection, where Qt's driver would
// cost more than the work itself (reading a big listing, the change stamp). Sound only while
// Qt's plugin and this program use one and the same SQLite (sql::checkSameSqlite).
namespace sqlite {

// The connection's handle; null for a server book or a closed connection.
sqlite3* handleOf(const QSqlDatabase& db);
QString lastError(sqlite3* handle);

// One prepared statement with its values bound in order; finalized when it goes.
class Statement
{
public:
    // Throws DatabaseError with SQLite's text when the statement does not prepare or bind.
    Statement(sqlite3* handle, const QString& text, const QVariantList& values = {});
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    int step(); // SQLITE_ROW, SQLITE_DONE or an error code

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// The first column of the first row as a number; fallback when the statement fails or gives
// no row.
qint64 number(sqlite3* handle, const QString& text, const QVariantList& values, qint64 fallback);

// The largest key of a table: it can hold no more rows than that.
qint64 largestKey(sqlite3* handle, const QString& table);
// Whether key is the table's integer primary key, which is its rowid.
bool keyIsRowid(sqlite3* handle, const QString& table, const QString& key);
// Whether an index (not a partial one) leads with table's column.
bool hasIndexOn(sqlite3* handle, const QString& table, const QString& column);

} // namespace sqlite
