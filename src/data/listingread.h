#pragma once

#include "data/listing.h"

// Reading a listing's rows from the book, and bringing a reading up to date with the program's
// own writes; the listing decides when.
namespace listingread {

// Reads query's rows as the book gives them now; throws DatabaseError. A whole table in one
// text column's order is read in the table's own order and sorted here, as the column's index
// holds it: walking the index fetches each row from elsewhere in the file, which costs more than
// reading and sorting.
Listing::Reading read(const BookLink& book, const ListingQuery& query, const ChangeStamp& stamp);

// Takes the rows this program wrote since the reading into it, each read again and put in its
// place as a fresh reading would place it (ties by key, as the index holds them). False when
// that cannot be done: another program's commit, a change the journal cannot account for, a
// listing of another shape (on a server book, one not in date order); the reading must then be
// read again.
bool takeInOwnWrites(Listing::Reading& reading, const BookLink& book, const ChangeStamp& now);

// Reads the row with key again (gone when deleted or out of the filter) and moves it in order to
// where a fresh reading in sortColumn's order puts it; the row read joins the store's end. Ties
// go by key, ascending even in a descending order when keyAscending (the server's order).
bool rereadRow(Listing::Reading& reading, const BookLink& book, qint64 key, int sortColumn,
               bool keyAscending, std::vector<int>& order);

} // namespace listingread
