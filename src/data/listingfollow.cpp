#include "data/listingfollow.h"

#include "data/errors.h"
#include "data/history.h"
#include "data/listingread.h"
#include "data/server.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

#include <QSqlQuery>

#include <algorithm>

namespace listingfollow {

namespace {

// The keys of table's rows the entries after since (up to last) name, in the order written;
// false when an entry says more than which rows: a book replaced, rows not known one by one.
bool keysWritten(QSqlDatabase db, const QString& table, qint64 since, qint64 last,
                 std::vector<qint64>& keys)
{
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select kind, tablename, rowkey from changes where "
                                           "seq>? and seq<=? order by seq"),
                            {since, last});
    while (q.next()) {
        const history::Kind kind = history::kindFromText(q.value(0).toString());
        if (kind == history::Kind::Book)
            return false;
        if (q.value(1).toString().compare(table, Qt::CaseInsensitive) != 0 ||
            kind == history::Kind::Purged)
            continue;
        const qint64 key = q.value(2).toLongLong();
        if (kind == history::Kind::Rows || key == 0)
            return false;
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(key);
    }
    return true;
}

} // namespace

qint64 historyNumber(const BookLink& book, const ListingQuery& query)
{
    QSqlDatabase db = book.db();
    if (book.table.isEmpty() || !query.listsOneTable() || !db.isOpen())
        return -1;
    try {
        return history::lastNumber(db);
    } catch (const DatabaseError& e) {
        // A lost server connection fails the reading as any statement would; a book without a
        // history is only not followed.
        if (sql::isServer(db) && e.message() == server::lostText(db))
            throw;
        return -1;
    }
}

TakeIn takeInHistory(Listing::Reading& reading, const BookLink& book)
{
    if (reading.seq < 0)
        return TakeIn::Unchanged; // a listing the history cannot speak for is not followed
    const ListingQuery& query = reading.query;
    QSqlDatabase db = book.db();
    try {
        const qint64 last = history::lastNumber(db);
        if (last == reading.seq)
            return TakeIn::Unchanged;
        // A history that went back belongs to another book put in this one's place.
        if (last < reading.seq || last - reading.seq > kMostEntries)
            return TakeIn::ReadAgain;
        std::vector<qint64> keys;
        if (!keysWritten(db, query.table(), reading.seq, last, keys))
            return TakeIn::ReadAgain;
        if (keys.empty()) {
            reading.seq = last;
            return TakeIn::Unchanged;
        }
        const int sortColumn = reading.store.columnIndex(query.orderColumn());
        if (!reading.hasKey || query.orderColumn().isEmpty() || sortColumn < 0 ||
            reading.store.column(sortColumn).info.type == FieldType::Memo)
            return TakeIn::ReadAgain;
        // Read rows join the end of the columns; the order takes them in only when all are read.
        std::vector<int> order = reading.sqlOrder;
        const bool server = sqlite::handleOf(book.db()) == nullptr;
        for (qint64 key : keys)
            if (!listingread::rereadRow(reading, book, key, sortColumn, server, order))
                return TakeIn::ReadAgain;
        reading.sqlOrder = std::move(order);
        reading.seq = last;
        return TakeIn::TakenIn;
    } catch (const DatabaseError&) {
        return TakeIn::Unchanged; // the book cannot answer now; its next commit asks again
    }
}

} // namespace listingfollow

bool Listing::takeInOthers()
{
    if (!m_open)
        return true;
    if (m_fill)
        return false; // the rows come when the filling ends; asked again then
    const qint64 currentKey =
        m_order.empty() ? 0 : m_shown.store.key(m_order[static_cast<size_t>(m_current)]);
    const int storeRows = m_shown.store.rowCount();
    const std::vector<int> before = m_shown.sqlOrder;
    const listingfollow::TakeIn taken = listingfollow::takeInHistory(m_shown, m_book);
    if (taken == listingfollow::TakeIn::Unchanged)
        return true;
    if (taken == listingfollow::TakeIn::ReadAgain) {
        const QString sortText = m_sortText;
        try {
            rereadWhole(true);
            if (!sortText.isEmpty() && !m_fill)
                setSort(sortText);
            if (currentKey != 0) {
                const auto at = std::find_if(m_order.begin(), m_order.end(), [&](int row) {
                    return m_shown.store.key(row) == currentKey;
                });
                if (at != m_order.end())
                    setCurrent(static_cast<int>(at - m_order.begin()), false);
            }
        } catch (const std::exception&) {
            // The book cannot be read now: the listing is closed, as after any failed reading.
        }
        return true;
    }
    // The rows summed are the positions': none has moved yet.
    m_shown.totals.advance(m_contentVersion, m_contentVersion + 1);
    ++m_contentVersion;
    const auto positionOf = [this](qint64 key) {
        const auto at = std::find_if(m_order.begin(), m_order.end(),
                                     [&](int row) { return m_shown.store.key(row) == key; });
        return at == m_order.end() ? -1 : static_cast<int>(at - m_order.begin());
    };
    const int currentWas = m_current;
    const bool reset = !m_sortText.isEmpty() || m_order != before;
    if (reset) {
        // A sort by a title click: the rows are sorted again.
        const QString sortText = m_sortText;
        m_shown.totals.move(m_shown.store, m_order, m_shown.sqlOrder, storeRows);
        m_shown.totals.advance(m_contentVersion, m_contentVersion + 1);
        ++m_contentVersion;
        emit aboutToReset();
        m_order = m_shown.sqlOrder;
        emit resetDone();
        if (!sortText.isEmpty())
            setSort(sortText);
    } else {
        // The rows read again leave their places and join the listing in theirs, one by one, so
        // the grid keeps its place and the rows around it.
        std::vector<char> kept(static_cast<size_t>(m_shown.store.rowCount()), 0);
        for (int row : m_shown.sqlOrder)
            kept[static_cast<size_t>(row)] = 1;
        for (int position = static_cast<int>(m_order.size()) - 1; position >= 0; --position) {
            if (kept[static_cast<size_t>(m_order[static_cast<size_t>(position)])])
                continue;
            emit aboutToRemoveRow(position);
            m_shown.totals.leave(m_shown.store, m_order[static_cast<size_t>(position)]);
            m_order.erase(m_order.begin() + position);
            m_shown.totals.advance(m_contentVersion, m_contentVersion + 1);
            ++m_contentVersion; // sums worked out at this signal must not be kept
            emit rowRemoved(position);
        }
        for (size_t position = 0; position < m_shown.sqlOrder.size(); ++position) {
            const int row = m_shown.sqlOrder[position];
            if (row < storeRows)
                continue;
            emit aboutToInsertRow(static_cast<int>(position));
            m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(position), row);
            m_shown.totals.join(m_shown.store, row);
            m_shown.totals.advance(m_contentVersion, m_contentVersion + 1);
            ++m_contentVersion;
            emit rowInserted(static_cast<int>(position));
        }
    }
    // The current record stays current wherever it went; one taken away leaves its place.
    const int found = currentKey != 0 ? positionOf(currentKey) : -1;
    const int last = static_cast<int>(m_order.size()) - 1;
    const int position = found >= 0 ? found : std::clamp(currentWas, 0, std::max(0, last));
    if (m_order.empty())
        setCurrent(0, true);
    else if (reset || found < 0 || position != currentWas)
        setCurrent(position, false);
    return true;
}
