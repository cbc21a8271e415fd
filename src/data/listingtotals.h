#pragma once

#include "data/columnstore.h"
#include "data/listingquery.h"

#include <QSqlDatabase>

#include <optional>
#include <vector>

// The footers' figures of a listing's money columns, kept between its changes: a write that
// moves one row in or out of a million adjusts the sums by that row instead of adding up the
// million again. Trusted only for the listing's content version it was kept for; a change
// that does not say how the rows moved leaves it behind, and the figures are worked out anew.
class ListingTotals
{
public:
    using Totals = ColumnStore::Totals;

    // The totals of column over rows, the listing being at version.
    Totals get(const ColumnStore& store, int column, const std::vector<int>& rows, quint64 version);
    // The totals of column worked out elsewhere, for the listing at version.
    bool knows(int column, quint64 version) const;
    void keep(int column, const Totals& totals, quint64 version);
    // The totals of columns over the rows query lists, worked out by the book in one statement:
    // each amount counts as its 15-digit decimal and they are added exactly, as MoneySum adds
    // them, so the figures are those of the rows once read. Throws DatabaseError.
    static std::vector<Totals> ofStatement(QSqlDatabase db, const ListingQuery& query,
                                           const QStringList& columns);
    // A row leaves the rows summed (or its cells are about to change), or joins them.
    void leave(const ColumnStore& store, int row);
    void join(const ColumnStore& store, int row);
    // The rows summed went from before to after, the rows from firstNew on newly read.
    void move(const ColumnStore& store, const std::vector<int>& before,
              const std::vector<int>& after, int firstNew);
    // The listing went from version from to to by the rows left and joined since.
    void advance(quint64 from, quint64 to);
    // Nothing kept is true any more.
    void forget() { m_columns.clear(); }

private:
    quint64 m_version = 0;
    std::vector<std::optional<Totals>> m_columns;
};
