#pragma once

#include "data/rowsource.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <memory>

// A server book's rows read through libpq itself, a few thousand at a time from a cursor.
//
// Qt's driver reads a forward-only result one row per libpq result and hands every cell over as
// a QVariant, which costs as much again as the server's own work on a big listing. Here the
// statement runs as a cursor fetched in batches (memory stays a batch's worth, whatever the
// result's size), and the texts go from libpq's bytes into the store's pools as they are. The
// cursor is opened, read to its end and closed within one read(), inside a transaction of its
// own unless the connection is already in one, so nothing is left open between events.
namespace cursorrows {

// The statement prepared and its columns described; throws DatabaseError when it does not
// prepare. Null when a column or a value is of a type read here differently from Qt's driver
// (the driver reads that statement instead). A bounded statement (a limit, one key) runs at once
// as it is, without a cursor.
std::unique_ptr<RowSource> open(QSqlDatabase db, const QString& statement,
                                const QVariantList& values, const QString& keyColumn, bool bounded);

// The statement with its ? placeholders numbered ($1, $2…) as libpq takes them, those inside
// quotes aside; count is how many there are.
QString numberedPlaceholders(const QString& statement, int& count);

} // namespace cursorrows
