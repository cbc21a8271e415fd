#pragma once

#include "data/listing.h"

// Bringing a reading up to date from the book's change history: the entries numbered after the
// reading's name the rows written since, by this copy or any other, and only those are read.
namespace listingfollow {

// The history's newest number before a listing of query is read, or -1 when the book keeps no
// history or the listing is of no table (it is then not followed).
qint64 historyNumber(const BookLink& book, const ListingQuery& query);

enum class TakeIn {
    Unchanged, // nothing the listing shows was written since
    TakenIn,   // the rows written were read again and put in their places
    ReadAgain, // the listing must be read again
};

// Reads again the rows the history names since the reading and puts each in its place as a
// fresh reading would place it. A listing of another shape, a book replaced, rows not known one
// by one or more entries than a reading costs make it ReadAgain. The reading's stamp stays: a
// write the history does not name (another program's) still makes the next 全部记录 read the
// book again.
TakeIn takeInHistory(Listing::Reading& reading, const BookLink& book);

// More entries than this since a reading: reading it again is cheaper.
constexpr qint64 kMostEntries = 5000;

} // namespace listingfollow
