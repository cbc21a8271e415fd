#pragma once

#include "data/listing.h"

#include <optional>

// The quick query answered from a reading of every record instead of the book: the distinct
// texts of each searched column are matched once, then the rows are taken by those matches. A
// keystroke in the search fields then costs a pass over memory, not a scan of the table.
namespace quicksearch {

// search's rows (as its statement gives them: every record it matches, in key order) when whole
// holds every record of the table as the book holds them now (its stamp is now) and the search
// can be matched here exactly as both engines match it; nothing otherwise (run the statement).
std::optional<Listing::Reading> fromWhole(const Listing::Reading& whole, const ListingQuery& search,
                                          const ChangeStamp& now);

} // namespace quicksearch
