#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// Facts about the whole book kept as rows of bookinfo, read into their types. A fact nobody
// has set reads as its default; a value that is not of its kind is an error, not a default.
namespace bookfacts {

// The names of the rows.
inline constexpr auto kOpeningBalance = u"opening_balance"; // cash at the start, "1234.56"
inline constexpr auto kOpeningDate = u"opening_date";       // the day it was counted, yyyy-mm-dd
inline constexpr auto kClosedThrough = u"closed_through";   // the last closed month, yyyy-MM

// The book's opening cash balance: 0 from the first record when none is set.
struct Opening
{
    bool set = false;
    qint64 units = 0; // money::kUnitsPerYuan to the yuan
    QString date;     // yyyy-mm-dd; empty when the balance stands before every record
};

Opening opening(QSqlDatabase& db);

// The last closed month as yyyy-MM; empty when no month is closed.
QString closedThrough(QSqlDatabase& db);

// The stored text of a fact; a null string when the row is missing.
QString value(QSqlDatabase& db, const QString& name);

} // namespace bookfacts
