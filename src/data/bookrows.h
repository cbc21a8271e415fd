#pragma once

#include <QSqlDatabase>
#include <QStringList>

// The rows of a book moved between two open books, local or on a server, keys kept: the
// server book's backup and restore, and quenvale_mkdb --copy.
namespace bookrows {

// Copies userdb, rz, data, settlements, the book's facts (bookinfo but for a server's layout)
// and the change history from one book into another whose tables are empty, inside the
// caller's transactions. The target's key counters continue after every key either book gave.
void copy(QSqlDatabase& from, QSqlDatabase& to);

// The tables whose keys are never given twice.
const QStringList& keyedTables();

// The greatest key table has given: its largest key, or a deleted record's above it.
qint64 lastKey(QSqlDatabase& db, const QString& table);

// New keys of table come after last from now on (a counter is never lowered).
void keepKeysAbove(QSqlDatabase& db, const QString& table, qint64 last);

// Empties the tables copy fills, inside the caller's transaction.
void clear(QSqlDatabase& db);

// Rows in the tables copy fills, but for the facts.
qint64 count(QSqlDatabase& db);

} // namespace bookrows
