#pragma once

#include "data/errors.h"

#include <QSqlDatabase>
#include <QString>

// Which layout a book has, and the steps that bring an older one up to date. Each step takes a
// book from one layout to the next and only adds: the three original tables keep their columns,
// so older programs still read and write an upgraded book.
namespace layout {

// A book written by a newer program: nothing was changed.
class NewerLayout : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

// The layout db has; 1 for the first layout, which a book may carry without a number.
int versionOf(QSqlDatabase& db);

// Records the layout, inside the caller's transaction.
void setVersion(QSqlDatabase& db, int version);

// Brings db to schema::kVersion in one transaction and gives the layout it had; a current book
// is left alone. Throws NewerLayout for a book of a later layout.
int upgrade(QSqlDatabase& db);

// Why a book of that layout cannot be opened by this program.
QString newerText(const QString& book, int version);

} // namespace layout
