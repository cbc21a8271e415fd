#include "data/listingtotals.h"

ListingTotals::Totals ListingTotals::get(const ColumnStore& store, int column,
                                         const std::vector<int>& rows, quint64 version)
{
    if (version != m_version) {
        m_columns.clear();
        m_version = version;
    }
    m_columns.resize(static_cast<size_t>(store.columnCount()));
    std::optional<Totals>& kept = m_columns[static_cast<size_t>(column)];
    if (!kept)
        kept = store.totals(column, rows);
    return *kept;
}

void ListingTotals::leave(const ColumnStore& store, int row)
{
    double amount = 0;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        std::optional<Totals>& kept = m_columns[c];
        if (!kept || !store.amountAt(row, static_cast<int>(c), amount))
            continue;
        // The largest figure going: which is the next largest is not known here.
        if (std::fabs(amount) >= std::fabs(kept->largest)) {
            kept.reset();
            continue;
        }
        MoneySum one;
        one.add(amount);
        kept->sum -= one;
        if (!kept->sum.isExact())
            kept.reset(); // a plain sum of doubles depends on the order it was added in
    }
}

void ListingTotals::join(const ColumnStore& store, int row)
{
    double amount = 0;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        std::optional<Totals>& kept = m_columns[c];
        if (!kept || !store.amountAt(row, static_cast<int>(c), amount))
            continue;
        kept->take(amount);
        if (!kept->sum.isExact())
            kept.reset();
    }
}

void ListingTotals::move(const ColumnStore& store, const std::vector<int>& before,
                         const std::vector<int>& after, int firstNew)
{
    if (m_columns.empty())
        return;
    std::vector<char> stays(static_cast<size_t>(store.rowCount()), 0);
    for (int row : after)
        stays[static_cast<size_t>(row)] = 1;
    for (int row : before)
        if (!stays[static_cast<size_t>(row)])
            leave(store, row);
    for (int row : after)
        if (row >= firstNew)
            join(store, row);
}

void ListingTotals::advance(quint64 from, quint64 to)
{
    if (m_version == from)
        m_version = to;
    else
        m_columns.clear();
}
