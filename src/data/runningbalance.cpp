#include "data/runningbalance.h"

#include "data/bookwriter.h"
#include "data/columnstore.h"
#include "data/errors.h"
#include "data/formats.h"
#include "data/listing.h"
#include "data/money.h"
#include "data/numbertext.h"
#include "data/rowsource.h"
#include "data/sql.h"

#include <algorithm>
#include <cmath>

namespace {

const QString kData = QStringLiteral("data");
const QString kDay = QStringLiteral("day1");
const QString kReceived = QStringLiteral("2");
const QString kPaid = QStringLiteral("5");

// An amount in money units, rounded as the database rounds it (money::units): half away from
// zero, so the balances agree with the reports' sums.
qint64 unitsOf(double amount)
{
    const double scaled = amount * static_cast<double>(money::kUnitsPerYuan);
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
        return 0; // no amount of a cash book; the database's sums would not hold it either
    return scaled >= 0 ? static_cast<qint64>(scaled + 0.5) : -static_cast<qint64>(-scaled + 0.5);
}

qint64 unitsAt(const ColumnStore& store, int column, int row)
{
    if (column < 0)
        return 0;
    const ColumnStore::Column& c = store.column(column);
    const size_t r = static_cast<size_t>(row);
    if (c.nulls[r])
        return 0;
    switch (c.info.type) {
    case FieldType::Float:
        // A text another program stored among the amounts counts as 0, as in the sums.
        return numbertext::isText(c.numbers[r]) ? 0 : unitsOf(c.numbers[r]);
    case FieldType::Integer:
        return unitsOf(static_cast<double>(c.integers[r]));
    default:
        return unitsOf(c.pool.view(c.textIds[r]).toDouble());
    }
}

qint64 unitsOf(const QVariant& value)
{
    if (value.isNull())
        return 0;
    bool ok = false;
    const double amount = value.toDouble(&ok);
    return ok ? unitsOf(amount) : 0;
}

// A stored day as the book holds its text; nullopt for none.
std::optional<QString> dayText(const QVariant& day)
{
    if (day.isNull())
        return std::nullopt;
    if (day.typeId() == QMetaType::QDate)
        return formats::dateText(day.toDate());
    return day.toString();
}

} // namespace

RunningBalance::RunningBalance(Listing* listing, QObject* parent)
    : QObject(parent), m_listing(listing)
{
    m_server = sql::isServer(listing->book().db());
    if (listing->book().writer)
        connect(listing->book().writer, &BookWriter::written, this, &RunningBalance::follow);
}

void RunningBalance::bookMayHaveChanged()
{
    if (m_server)
        m_built = false;
}

void RunningBalance::ensure()
{
    const BookLink& book = m_listing->book();
    if (m_built && !m_server && !ownWritesOnly())
        m_built = false;
    if (!m_built)
        rebuild();
    if (!m_opening) {
        QSqlDatabase db = book.db();
        m_opening = bookfacts::opening(db);
        m_offset.reset();
    }
    if (!m_offset) {
        // The opening balance is the cash at the start of its own day.
        m_offset =
            Units(m_opening->units) - (m_opening->date.isEmpty() ? 0 : before(m_opening->date));
        m_largest.reset();
    }
}

bool RunningBalance::ownWritesOnly() const
{
    const BookLink& book = m_listing->book();
    if (!book.journal)
        return false;
    const ChangeStamp now = book.journal->stamp();
    if (!book.writer)
        return book.journal->tableUnchangedSince(m_stamp, kData, now);
    // The program's own writes of records, one row each, are followed as the writer announces
    // them; the listing may ask before this hears of a write, which is then on its way.
    std::vector<qint64> keys;
    return book.journal->ownWritesSince(m_stamp, now, kData, keys);
}

void RunningBalance::rebuild()
{
    const BookLink& book = m_listing->book();
    m_stamp = book.journal ? book.journal->stamp() : ChangeStamp{};
    // The listing's whole reading serves when the book's records are as it read them.
    const Listing::Reading* whole = m_listing->wholeReading(kDay);
    const int day = whole ? whole->store.columnIndex(kDay) : -1;
    if (whole && day >= 0 && !whole->store.column(day).nonText && m_stamp.connection != 0 &&
        book.journal->tableUnchangedSince(whole->stamp, kData, m_stamp))
        build(whole->store, whole->sqlOrder);
    else
        readBook();
    m_built = true;
    m_offset.reset();
    m_largest.reset();
}

void RunningBalance::readBook()
{
    // Read in key order and ordered here as the day1 index holds the rows, as a listing does;
    // numbers another program stored among the days are ordered by the book itself.
    for (const bool bookOrders : {false, true}) {
        ColumnStore store;
        std::unique_ptr<RowSource> rows =
            RowSource::open(m_listing->book().db(),
                            QStringLiteral("select id, day1, \"2\", \"5\" from data order by ") +
                                (bookOrders ? QStringLiteral("day1, id") : QStringLiteral("id")),
                            {}, QStringLiteral("id"));
        rows->describe(store);
        {
            ColumnStore::Appender cells(store);
            if (rows->read(cells, QDeadlineTimer(QDeadlineTimer::Forever)) != RowSource::Step::Done)
                throw DatabaseError(rows->error());
        }
        const int day = store.columnIndex(kDay);
        if (bookOrders) {
            std::vector<int> order(static_cast<size_t>(store.rowCount()));
            for (size_t i = 0; i < order.size(); ++i)
                order[i] = static_cast<int>(i);
            build(store, order);
        } else if (store.column(day).isText() && !store.column(day).nonText) {
            build(store, store.orderLikeIndex(day, false));
        } else {
            continue;
        }
        return;
    }
}

void RunningBalance::build(const ColumnStore& store, const std::vector<int>& order)
{
    const int day = store.columnIndex(kDay);
    const int received = store.columnIndex(kReceived);
    const int paid = store.columnIndex(kPaid);
    const ColumnStore::Column* days =
        day >= 0 && store.column(day).isText() ? &store.column(day) : nullptr;
    // What each row moved, read in the store's order and packed together: the date order then
    // visits one place per row instead of one per column.
    struct Cell
    {
        qint64 key;
        qint64 delta;
        quint32 day; // the text's id in the day column's pool
        bool dated;
    };
    std::vector<Cell> cells(static_cast<size_t>(store.rowCount()));
    qint64 largestKey = 0;
    for (size_t r = 0; r < cells.size(); ++r) {
        const int row = static_cast<int>(r);
        Cell& cell = cells[r];
        cell.key = store.key(row);
        cell.delta = unitsAt(store, received, row) - unitsAt(store, paid, row);
        cell.dated = days && !days->nulls[r];
        cell.day = cell.dated ? days->textIds[r] : 0;
        largestKey = std::max(largestKey, cell.key);
    }
    const size_t count = order.size();
    m_keys.assign(count, 0);
    m_ranks.assign(count, -1);
    m_deltas.assign(count, 0);
    m_sums.assign(count, 0);
    m_days.clear();
    m_sparse.clear();
    m_dense.clear();
    // Keys given by the book one after the other are dense; a book with odd keys is hashed.
    m_useDense = largestKey < 4 * static_cast<qint64>(count) + 1'000'000;
    if (m_useDense)
        m_dense.assign(static_cast<size_t>(largestKey) + 1, -1);
    Units sum = 0;
    std::optional<quint32> lastDay;
    for (size_t i = 0; i < count; ++i) {
        const Cell& cell = cells[static_cast<size_t>(order[i])];
        m_keys[i] = cell.key;
        if (cell.dated) {
            // The same text is one id; a new id is compared as text, in case it is not.
            if (cell.day != lastDay) {
                const QStringView text = days->pool.view(cell.day);
                if (m_days.empty() || m_days.back() != text)
                    m_days.push_back(text.toString());
                lastDay = cell.day;
            }
            m_ranks[i] = static_cast<qint32>(m_days.size() - 1);
        }
        m_deltas[i] = cell.delta;
        sum += cell.delta;
        m_sums[i] = sum;
        setSlot(cell.key, static_cast<int>(i));
    }
}

void RunningBalance::follow(const QList<RowChange>& changes)
{
    bool moved = false;
    for (const RowChange& change : changes) {
        if (change.table.compare(QStringLiteral("bookinfo"), Qt::CaseInsensitive) == 0) {
            m_opening.reset();
            moved = true;
            continue;
        }
        if (change.table.compare(kData, Qt::CaseInsensitive) != 0)
            continue;
        moved = true;
        if (!m_built)
            continue;
        // Worked out again since this write (the listing asked first): already counted.
        if (!m_server && m_stamp.connection == change.to.connection &&
            m_stamp.dataVersion == change.to.dataVersion && m_stamp.changes >= change.to.changes)
            continue;
        const ChangeJournal* journal = m_listing->book().journal;
        // Another program's commit in between, or rows not known one by one: worked out again.
        if (change.key == 0 || change.kind == RowChange::Kind::Rows ||
            (!m_server &&
             !(journal && journal->tableUnchangedSince(m_stamp, kData, change.from)))) {
            m_built = false;
            continue;
        }
        const qint64 delta =
            unitsOf(change.valueAfter(kReceived)) - unitsOf(change.valueAfter(kPaid));
        const bool inPlace = change.kind == RowChange::Kind::Changed &&
                             moveInPlace(change.key, change.valueAfter(kDay), delta);
        if (!inPlace && change.kind != RowChange::Kind::Added)
            remove(change.key);
        if (!inPlace && change.kind != RowChange::Kind::Removed)
            insert(change.key, change.valueAfter(kDay), delta);
        if (!m_server)
            m_stamp = change.to;
    }
    if (!moved)
        return;
    m_offset.reset();
    m_largest.reset();
    emit changed();
}

int RunningBalance::rankOf(const QString& day)
{
    const auto at =
        std::lower_bound(m_days.begin(), m_days.end(), day, [](const QString& l, const QString& r) {
            return sql::compareStored(l, r) < 0;
        });
    const auto rank = static_cast<qint32>(at - m_days.begin());
    if (at != m_days.end() && *at == day)
        return rank;
    m_days.insert(at, day);
    // The later days move up one place.
    for (auto r = std::lower_bound(m_ranks.begin(), m_ranks.end(), rank); r != m_ranks.end(); ++r)
        ++*r;
    return rank;
}

void RunningBalance::insert(qint64 key, const QVariant& day, qint64 delta)
{
    const std::optional<QString> text = dayText(day);
    const qint32 rank = text ? rankOf(*text) : -1;
    // After every record of an earlier day and of the same day with a smaller key.
    size_t low = 0;
    size_t high = m_keys.size();
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (m_ranks[mid] < rank || (m_ranks[mid] == rank && m_keys[mid] < key))
            low = mid + 1;
        else
            high = mid;
    }
    const auto at = static_cast<std::ptrdiff_t>(low);
    m_keys.insert(m_keys.begin() + at, key);
    m_ranks.insert(m_ranks.begin() + at, rank);
    m_deltas.insert(m_deltas.begin() + at, delta);
    m_sums.insert(m_sums.begin() + at, (low > 0 ? m_sums[low - 1] : 0) + delta);
    for (size_t i = low + 1; i < m_sums.size(); ++i)
        m_sums[i] += delta;
    for (size_t i = low; i < m_keys.size(); ++i)
        setSlot(m_keys[i], static_cast<int>(i));
}

bool RunningBalance::moveInPlace(qint64 key, const QVariant& day, qint64 delta)
{
    // A record that keeps its day keeps its place: only the sums after it move.
    const int slot = slotOf(key);
    if (slot < 0)
        return false;
    const auto at = static_cast<size_t>(slot);
    const std::optional<QString> text = dayText(day);
    const qint32 rank = m_ranks[at];
    if (text ? rank < 0 || m_days[static_cast<size_t>(rank)] != *text : rank >= 0)
        return false;
    const qint64 moved = delta - m_deltas[at];
    m_deltas[at] = delta;
    if (moved != 0)
        for (size_t i = at; i < m_sums.size(); ++i)
            m_sums[i] += moved;
    return true;
}

void RunningBalance::remove(qint64 key)
{
    const int slot = slotOf(key);
    if (slot < 0)
        return;
    const auto at = static_cast<std::ptrdiff_t>(slot);
    const qint64 delta = m_deltas[static_cast<size_t>(slot)];
    m_keys.erase(m_keys.begin() + at);
    m_ranks.erase(m_ranks.begin() + at);
    m_deltas.erase(m_deltas.begin() + at);
    m_sums.erase(m_sums.begin() + at);
    clearSlot(key);
    for (size_t i = static_cast<size_t>(slot); i < m_keys.size(); ++i) {
        m_sums[i] -= delta;
        setSlot(m_keys[i], static_cast<int>(i));
    }
}

int RunningBalance::slotOf(qint64 key) const
{
    if (m_useDense)
        return key >= 0 && static_cast<size_t>(key) < m_dense.size()
                   ? m_dense[static_cast<size_t>(key)]
                   : -1;
    return m_sparse.value(key, -1);
}

void RunningBalance::setSlot(qint64 key, int slot)
{
    if (m_useDense && (key < 0 || key > 4 * static_cast<qint64>(m_keys.size()) + 1'000'000)) {
        // A key far beyond the others: from now on hashed.
        for (size_t k = 0; k < m_dense.size(); ++k)
            if (m_dense[k] >= 0)
                m_sparse.insert(static_cast<qint64>(k), m_dense[k]);
        m_dense.clear();
        m_dense.shrink_to_fit();
        m_useDense = false;
    }
    if (!m_useDense) {
        m_sparse.insert(key, slot);
        return;
    }
    const auto k = static_cast<size_t>(key);
    if (k >= m_dense.size())
        m_dense.resize(std::max(k + 1, m_dense.size() + m_dense.size() / 8), -1);
    m_dense[k] = slot;
}

void RunningBalance::clearSlot(qint64 key)
{
    if (!m_useDense)
        m_sparse.remove(key);
    else if (key >= 0 && static_cast<size_t>(key) < m_dense.size())
        m_dense[static_cast<size_t>(key)] = -1;
}

RunningBalance::Units RunningBalance::before(const QString& day) const
{
    // Records without a day come first; a day's text is compared as the book compares it.
    size_t low = 0;
    size_t high = m_keys.size();
    while (low < high) {
        const size_t mid = (low + high) / 2;
        const qint32 rank = m_ranks[mid];
        if (rank < 0 || sql::compareStored(m_days[static_cast<size_t>(rank)], day) < 0)
            low = mid + 1;
        else
            high = mid;
    }
    return low > 0 ? m_sums[low - 1] : 0;
}

bool RunningBalance::after(qint64 key, Units* units) const
{
    const int slot = isKnown() ? slotOf(key) : -1;
    if (slot < 0)
        return false;
    *units = *m_offset + m_sums[static_cast<size_t>(slot)];
    return true;
}

RunningBalance::Units RunningBalance::largest() const
{
    if (!isKnown())
        return 0;
    if (!m_largest) {
        Units most = 0;
        for (const Units sum : m_sums) {
            const Units balance = *m_offset + sum;
            most = std::max(most, balance < 0 ? -balance : balance);
        }
        m_largest = most;
    }
    return *m_largest;
}

double RunningBalance::yuan(Units units)
{
    constexpr qint64 perCent = money::kUnitsPerYuan / 100;
    const Units magnitude = units < 0 ? -units : units;
    Units cents = magnitude / perCent;
    if ((magnitude % perCent) * 2 >= perCent)
        ++cents;
    const double value = static_cast<double>(cents) / 100;
    return units < 0 && cents != 0 ? -value : value;
}

QString RunningBalance::text(Units units)
{
    return formats::general(yuan(units));
}
