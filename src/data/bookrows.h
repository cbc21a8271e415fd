#pragma once

#include <QSqlDatabase>

// The rows of a book moved between two open books, local or on a server, keys kept: the
// server book's backup and restore, and quenvale_mkdb --copy.
namespace bookrows {

// Copies userdb, rz and data from one book into another whose tables are empty, inside the
// caller's transactions. A server's key counters continue after the copied keys.
void copy(QSqlDatabase& from, QSqlDatabase& to);

// Empties the three tables, inside the caller's transaction.
void clear(QSqlDatabase& db);

// Rows in the three tables.
qint64 count(QSqlDatabase& db);

} // namespace bookrows
