#include "data/listingread.h"

#include "data/errors.h"
#include "data/rowsource.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

#include <algorithm>

namespace listingread {

namespace {

// A listing of the table can hold no more rows than its largest key: room for them all is
// taken at once, so a big book's columns are not copied as they grow. Room never written to is
// never given memory, and the reading gives back what a filter left unused.
void reserveRows(ColumnStore& store, const BookLink& book, const ListingQuery& query)
{
    sqlite3* handle = sqlite::handleOf(book.db());
    if (!handle || !query.listsOneTable() || query.orderColumn().isEmpty())
        return;
    const qint64 rows = sqlite::largestKey(handle, query.table());
    if (rows > 0 && rows <= 50'000'000)
        store.reserve(static_cast<size_t>(rows));
}

// Reads what run gives into reading; with a sort column, false when that column cannot be
// sorted here the way the book sorts it (the statement itself is read then).
bool readInto(Listing::Reading& reading, const BookLink& book, const QString& run,
              const QVariantList& values, const QString& sortName, bool descending)
{
    std::unique_ptr<RowSource> rows = RowSource::open(book.db(), run, values, book.key);
    rows->describe(reading.store);
    reading.hasKey = rows->hasKey();
    int sortColumn = -1;
    if (!sortName.isEmpty()) {
        sortColumn = reading.store.columnIndex(sortName);
        if (sortColumn < 0 || !reading.store.column(sortColumn).isText() ||
            reading.store.column(sortColumn).info.type == FieldType::Memo)
            return false;
    }
    reserveRows(reading.store, book, reading.query);
    RowSource::Step step = RowSource::Step::Error;
    {
        ColumnStore::Appender cells(reading.store);
        step = rows->read(cells, QDeadlineTimer(QDeadlineTimer::Forever));
    }
    if (step != RowSource::Step::Done)
        throw DatabaseError(rows->error());
    if (sortColumn >= 0) {
        // Numbers stored among the texts sort before them in SQLite: its own order is read.
        if (reading.store.column(sortColumn).nonText)
            return false;
        // Rows are then stored in that order: what is shown, summed or printed together is
        // read from neighbouring memory.
        reading.store.permute(reading.store.orderLikeIndex(sortColumn, descending));
    }
    return true;
}

} // namespace

bool rereadRow(Listing::Reading& reading, const BookLink& book, qint64 key, int sortColumn,
               bool keyAscending, std::vector<int>& order)
{
    const ColumnStore& store = reading.store;
    const auto listed =
        std::find_if(order.begin(), order.end(), [&](int row) { return store.key(row) == key; });
    if (listed != order.end())
        order.erase(listed);

    QVariantList values = reading.query.values();
    values << key;
    std::unique_ptr<RowSource> rows = RowSource::open(book.db(), reading.query.oneRowSql(), values,
                                                      book.key, RowSource::Size::Few);
    if (!rows->hasKey() || rows->columnCount() != store.columnCount() + 1)
        return false;
    const int before = store.rowCount();
    {
        ColumnStore::Appender cells(reading.store);
        if (rows->read(cells, QDeadlineTimer(QDeadlineTimer::Forever)) != RowSource::Step::Done)
            return false;
    }
    if (store.rowCount() == before)
        return true; // deleted, or no longer within the filter
    const bool descending = reading.query.descending();
    const auto place = std::upper_bound(order.begin(), order.end(), before, [&](int l, int r) {
        int c = store.compareValues(l, r, sortColumn);
        if (descending)
            c = -c;
        if (c == 0) {
            c = store.compareRows(l, r, sortColumn);
            if (descending && !keyAscending)
                c = -c;
        }
        return c < 0;
    });
    order.insert(place, before);
    return true;
}

Listing::Reading read(const BookLink& book, const ListingQuery& query, const ChangeStamp& stamp)
{
    Listing::Reading reading;
    reading.query = query;
    reading.stamp = stamp;
    // A whole table is read in key order and sorted here as the book's index holds it, which
    // spares the book its sort. A server orders ties by key under the date only, upwards.
    const bool local = sqlite::handleOf(book.db()) != nullptr;
    const bool byKey =
        query.isWholeTableOrdered() &&
        (local || (sql::isServer(book.db()) && query.key() == QStringLiteral("id") &&
                   query.orderColumn() == QStringLiteral("day1") && !query.descending()));
    QString inKeyOrder = QStringLiteral("select * from ") + sql::quoted(query.table());
    if (!local)
        inKeyOrder += QStringLiteral(" order by ") + sql::quoted(query.key());
    if (!(byKey &&
          readInto(reading, book, inKeyOrder, {}, query.orderColumn(), query.descending()))) {
        reading.store.clear();
        readInto(reading, book, query.toSql(), query.values(), {}, false);
    }
    reading.store.fitWithRoom();
    reading.sqlOrder.resize(static_cast<size_t>(reading.store.rowCount()));
    for (size_t i = 0; i < reading.sqlOrder.size(); ++i)
        reading.sqlOrder[i] = static_cast<int>(i);
    return reading;
}

bool takeInOwnWrites(Listing::Reading& reading, const BookLink& book, const ChangeStamp& now)
{
    const ListingQuery& query = reading.query;
    // The server orders ties by key only under the date, each way (sql::dialect); the local
    // book's index holds them by key, walked backwards for a descending order.
    const bool local = sqlite::handleOf(book.db()) != nullptr;
    if (!reading.hasKey || !query.listsOneTable() || query.orderColumn().isEmpty() ||
        (!local && query.orderColumn() != QStringLiteral("day1")))
        return false;
    const int sortColumn = reading.store.columnIndex(query.orderColumn());
    if (sortColumn < 0 || reading.store.column(sortColumn).info.type == FieldType::Memo)
        return false;
    std::vector<qint64> keys;
    if (!book.journal || !book.journal->ownWritesSince(reading.stamp, now, query.table(), keys))
        return false;
    // Read rows join the end of the columns; the order takes them in only when all are read.
    std::vector<int> order = reading.sqlOrder;
    try {
        for (qint64 key : keys)
            if (!rereadRow(reading, book, key, sortColumn, !local, order))
                return false;
    } catch (const DatabaseError&) {
        return false; // a full reading says what is wrong
    }
    reading.sqlOrder = std::move(order);
    reading.stamp = now;
    return true;
}

} // namespace listingread
