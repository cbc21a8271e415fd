#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

struct pg_conn;
using PGconn = pg_conn;

// A book kept in PostgreSQL: the same tables as the local book, reached through Qt's QPSQL
// driver with a libpq connection string (a postgresql:// URI, or key=value words such as
// service=office). Passwords come from libpq's own ~/.pgpass, PGPASSWORD or service file.
namespace server {

// True when book names a server book rather than a local file.
bool isServerBook(const QString& book);

// True when the connection string carries a password (which belongs in ~/.pgpass instead).
bool hasPassword(const QString& book);

// The book as shown to people: user, host, port and database (or the service), never a password.
QString displayName(const QString& book);

// Connects under a fresh connection name; throws StartupError-like DatabaseError texts in Chinese
// that tell an unreachable server from a refused login.
QSqlDatabase open(const QString& book, const QString& connectionName);

// Creates the three tables, their helpers and the administrator in an empty database, in one
// transaction; refuses a database that holds tables already.
void createSchema(QSqlDatabase& db);

// The statements that create the tables and their helpers.
QStringList tableStatements();

// Why the database cannot serve as a book (empty when it can).
QString layoutProblem(QSqlDatabase& db);

// True when error (or the connection's state) says the connection to the server was lost; the
// connection is then marked to be made again before the next statement.
bool connectionLost(const QSqlDatabase& db, const QSqlError& error);

// Connects again when the last statement lost the connection; throws the lost-connection
// message when the server still cannot be reached.
void reconnectIfLost(QSqlDatabase& db);

// libpq's own connection under Qt's driver; null when db is not a server connection.
PGconn* handleOf(const QSqlDatabase& db);
// The message for a statement that met a lost connection.
QString lostText(const QSqlDatabase& db);

} // namespace server
