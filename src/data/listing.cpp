#include "data/listing.h"

#include "data/bookwriter.h"
#include "data/errors.h"
#include "data/listingfollow.h"
#include "data/listingread.h"
#include "data/quicksearch.h"

#include <algorithm>

namespace {

// A filler may be the one whose signal is being answered: it goes once that is over.
void dropFiller(std::unique_ptr<Filler>& fill)
{
    if (fill) {
        fill->stop();
        fill.release()->deleteLater();
    }
}

std::vector<int> rowsInOrder(int rows)
{
    std::vector<int> order(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        order[static_cast<size_t>(i)] = i;
    return order;
}

} // namespace

Listing::Listing(QObject* parent) : QObject(parent)
{
    setBook({});
}

Listing::~Listing() = default;

void Listing::setBook(const BookLink& book)
{
    dropFiller(m_fill); // it reads through the book's journal
    if (m_book.writer)
        disconnect(m_book.writer, nullptr, this, nullptr);
    const bool sameConnection = book.connectionName == m_book.connectionName;
    m_book = book;
    // A listing of its own (a tool's, a test's) notes and follows its own writes.
    if (!m_book.journal) {
        if (!m_ownJournal || !sameConnection)
            m_ownJournal = std::make_unique<ChangeJournal>(book.connectionName);
        m_book.journal = m_ownJournal.get();
    }
    if (!m_book.writer) {
        if (m_ownWriter && (!sameConnection || m_ownWriter->journal() != m_book.journal)) {
            delete m_ownWriter;
            m_ownWriter = nullptr;
        }
        if (!m_ownWriter)
            m_ownWriter = new BookWriter(book.connectionName, m_book.journal, this);
        m_book.writer = m_ownWriter;
    }
    connect(m_book.writer, &BookWriter::written, this, &Listing::follow);
}

void requireOpen(const Listing& listing)
{
    if (!listing.isOpen())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

int Listing::recordCount() const
{
    requireOpen(*this);
    return static_cast<int>(m_order.size());
}

void Listing::setCurrent(int position, bool atEnd)
{
    m_eof = atEnd;
    m_current = position;
    emit currentChanged(position);
}

bool Listing::isUnread(int position) const
{
    return m_fill && position >= 0 && position < static_cast<int>(m_order.size()) &&
           m_order[static_cast<size_t>(position)] == m_blankRow;
}

void Listing::open(const ListingQuery& query)
{
    // The base listing is kept aside while a search replaces it. Reading it afresh drops the
    // old copy first, so two are never held; a listing still being filled in is dropped rather
    // than finished: read again, its rows in view come back at once.
    std::unique_ptr<Reading> kept;
    if (m_keptQuery && query != *m_keptQuery && !m_fill) {
        if (m_open && m_shown.query == *m_keptQuery && m_shown.stamp.connection != 0)
            kept = std::make_unique<Reading>(std::move(m_shown));
        else
            kept = std::move(m_kept);
    }
    close();
    m_kept = std::move(kept);
    // A quick query over the kept reading of every record, when that is the book as it is now
    // (after this program's own writes are taken into it).
    if (m_kept && query.criteria()) {
        std::optional<Reading> found;
        try {
            const ChangeStamp now = m_book.journal->stamp();
            if (m_kept->stamp != now && m_kept->stamp.connection != 0)
                listingread::takeInOwnWrites(*m_kept, m_book, now);
            found = quicksearch::fromWhole(*m_kept, query, now);
        } catch (const DatabaseError&) {
        }
        if (found) {
            std::vector<int> order = found->sqlOrder;
            show(std::move(*found), std::move(order));
            return;
        }
    }
    load(query, true);
}

void Listing::close()
{
    m_kept.reset();
    if (!m_open)
        return;
    emit aboutToReset();
    dropFiller(m_fill);
    m_shown = Reading();
    m_order.clear();
    m_sortText.clear();
    m_current = 0;
    m_eof = true;
    m_open = false;
    ++m_contentVersion;
    readingReplaced();
    emit resetDone();
}

void Listing::load(const ListingQuery& query, bool fillAllowed)
{
    dropFiller(m_fill);
    try {
        // Taken before reading: a commit in between only makes the next reopen read again.
        const ChangeStamp stamp = m_book.journal->stamp();
        Reading reading;
        reading.query = query;
        reading.stamp = stamp;
        reading.seq = listingfollow::historyNumber(m_book, query);
        int total = 0;
        bool complete = false;
        if (fillAllowed)
            m_fill = Filler::start(m_book.connectionName, *m_book.journal, query, stamp,
                                   reading.store, total, complete);
        if (m_fill) {
            m_fill->setParent(this); // one dropped while it signals goes with the listing at last
            // The last rows are shown; every other position points at one blank row.
            reading.hasKey = true;
            const int shown = reading.store.rowCount();
            m_blankRow = reading.store.appendBlankRow();
            std::vector<int> order(static_cast<size_t>(total), m_blankRow);
            for (int i = 0; i < shown; ++i)
                order[static_cast<size_t>(total - shown + i)] = i;
            connect(m_fill.get(), &Filler::stepped, this, [this](Filler::Step step) {
                try {
                    fillEnded(step == Filler::Step::Done, true);
                } catch (const std::exception&) {
                    close(); // the book is gone for now: nothing half read stays shown
                }
            });
            m_fill->resume();
            show(std::move(reading), std::move(order));
            return;
        }
        if (complete) {
            reading.hasKey = true;
            show(std::move(reading), rowsInOrder(reading.store.rowCount()));
            return;
        }
        Reading whole = listingread::read(m_book, query, stamp);
        whole.seq = reading.seq;
        std::vector<int> order = whole.sqlOrder;
        show(std::move(whole), std::move(order));
    } catch (...) {
        dropFiller(m_fill);
        close();
        throw;
    }
}

void Listing::show(Reading&& reading, std::vector<int> order)
{
    emit aboutToReset();
    m_shown = std::move(reading);
    m_shown.store.fitWithRoom();
    m_shown.sqlOrder = order;
    m_order = std::move(order);
    m_sortText.clear();
    m_open = true;
    m_current = 0;
    m_eof = m_order.empty();
    ++m_contentVersion;
    readingReplaced();
    emit resetDone();
    emit currentChanged(m_current);
}

bool Listing::reopenUnchanged(const ListingQuery& query)
{
    if (m_open && m_kept && m_kept->query == query && m_shown.query != query) {
        // The kept reading comes back in place of the one shown.
        emit aboutToReset();
        dropFiller(m_fill);
        m_shown = std::move(*m_kept);
        m_kept.reset();
        m_order = m_shown.sqlOrder;
        m_sortText.clear();
        m_current = 0;
        ++m_contentVersion;
        readingReplaced();
        emit resetDone();
    }
    if (!m_open || m_shown.query != query || m_shown.stamp.connection == 0)
        return false;
    try {
        const ChangeStamp now = m_book.journal->stamp();
        // A listing still being filled in is read afresh: its rows in view come at once.
        if (now != m_shown.stamp) {
            const int storeRows = m_shown.store.rowCount();
            if (m_fill || !listingread::takeInOwnWrites(m_shown, m_book, now))
                return false;
            m_shown.totals.move(m_shown.store, m_order, m_shown.sqlOrder, storeRows);
            m_shown.totals.advance(m_contentVersion, m_contentVersion + 1);
            ++m_contentVersion;
        }
    } catch (const DatabaseError&) {
        return false; // a full reading says what is wrong
    }
    emit aboutToReset();
    readingReplaced();
    m_order = m_shown.sqlOrder;
    m_sortText.clear();
    m_current = 0;
    m_eof = m_order.empty();
    emit resetDone();
    emit currentChanged(m_current);
    return true;
}

const Listing::Reading* Listing::wholeReading(const QString& column) const
{
    auto whole = [&column](const ListingQuery& q) {
        return q.listsOneTable() && q.filter().isEmpty() && q.values().isEmpty() &&
               !q.descending() && q.orderColumn().compare(column, Qt::CaseInsensitive) == 0;
    };
    if (m_open && !m_fill && m_shown.hasKey && whole(m_shown.query))
        return &m_shown;
    if (m_kept && m_kept->hasKey && whole(m_kept->query))
        return m_kept.get();
    return nullptr;
}

void Listing::setKeptQuery(const ListingQuery& query)
{
    if (!m_keptQuery || *m_keptQuery != query)
        m_kept.reset();
    m_keptQuery = query;
}

void Listing::setSort(const QString& sortText)
{
    requireOpen(*this);
    finishFilling();
    QString name = sortText.trimmed();
    bool descending = false;
    if (name.endsWith(QStringLiteral(" DESC"), Qt::CaseInsensitive)) {
        descending = true;
        name.chop(5);
        name = name.trimmed();
    }
    const int column = name.isEmpty() ? -1 : m_shown.store.columnIndex(name);
    if (!name.isEmpty() && column < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    m_sortText = sortText;
    const int currentRow = m_order.empty() ? -1 : m_order[static_cast<size_t>(m_current)];
    emit aboutToReset();
    m_order = m_shown.sqlOrder;
    if (column >= 0)
        m_shown.store.sortBy(m_order, column, descending);
    if (currentRow >= 0)
        m_current = static_cast<int>(std::find(m_order.begin(), m_order.end(), currentRow) -
                                     m_order.begin());
    emit resetDone();
    emit currentChanged(m_current);
}

void Listing::appendRow(qint64 key, const QVector<QVariant>& cells)
{
    const int row = m_shown.store.appendBlankRow(key);
    for (int c = 0; c < m_shown.store.columnCount() && c < cells.size(); ++c)
        m_shown.store.setCell(row, c, cells[c]);
    const int position = static_cast<int>(m_order.size());
    emit aboutToInsertRow(position);
    m_order.push_back(row);
    m_shown.sqlOrder.push_back(row);
    m_shown.totals.join(m_shown.store, row);
    m_shown.totals.advance(m_contentVersion, m_contentVersion + 1);
    ++m_contentVersion;
    emit rowInserted(position);
    setCurrent(position, false);
}

void Listing::follow(const QList<RowChange>& changes)
{
    for (const RowChange& change : changes) {
        if (!m_open || change.table.compare(m_book.table, Qt::CaseInsensitive) != 0)
            continue;
        // Figures the book gave while the rows are read are of the book before this write;
        // the listing takes the write in when the filling ends.
        if (m_fill)
            m_shown.totals.forget();
        if (change.key == 0 || change.kind == RowChange::Kind::Added)
            continue;
        if (m_fill) {
            try {
                finishFilling();
            } catch (const std::exception&) {
                continue; // the rows come when the filling ends, the write taken in
            }
        }
        const ColumnStore& store = m_shown.store;
        const auto at = std::find_if(m_order.begin(), m_order.end(),
                                     [&](int row) { return store.key(row) == change.key; });
        if (at == m_order.end())
            continue;
        const int position = static_cast<int>(at - m_order.begin());
        const int row = *at;
        const quint64 was = m_contentVersion++;
        m_shown.totals.leave(store, row);
        if (change.kind == RowChange::Kind::Changed) {
            for (const auto& [column, value] : change.after) {
                const int c = store.columnIndex(column);
                if (c >= 0)
                    m_shown.store.setCell(row, c, value);
            }
            m_shown.totals.join(store, row);
            m_shown.totals.advance(was, m_contentVersion);
            emit rowChanged(position);
            continue;
        }
        m_shown.totals.advance(was, m_contentVersion);
        emit aboutToRemoveRow(position);
        m_order.erase(at);
        m_shown.sqlOrder.erase(std::find(m_shown.sqlOrder.begin(), m_shown.sqlOrder.end(), row));
        emit rowRemoved(position);
        const int last = static_cast<int>(m_order.size()) - 1;
        if (m_order.empty())
            setCurrent(0, true);
        else
            setCurrent(std::min(position < m_current ? m_current - 1 : m_current, last), m_eof);
    }
}

void Listing::finishFilling()
{
    if (!m_fill)
        return;
    m_fill->stop();
    try {
        fillEnded(m_fill->fillSome(-1) == Filler::Step::Done, false);
    } catch (...) {
        if (m_fill)
            m_fill->resume(250);
        throw;
    }
}

void Listing::fillEnded(bool done, bool fillAgain)
{
    if (!done) {
        rereadWhole(fillAgain);
        return;
    }
    Reading whole;
    whole.query = m_shown.query;
    whole.stamp = m_fill->stamp();
    whole.seq = m_shown.seq;
    whole.hasKey = true;
    if (!m_fill->takeWhole(whole.store)) {
        rereadWhole(false);
        return;
    }
    whole.sqlOrder = rowsInOrder(whole.store.rowCount());
    const bool samePlaces = whole.sqlOrder.size() == m_order.size() &&
                            m_fill->keepsShownRows(whole.store) &&
                            m_book.journal->stamp() == whole.stamp;
    dropFiller(m_fill);
    if (samePlaces) {
        m_shown = std::move(whole);
        m_order = m_shown.sqlOrder;
        ++m_contentVersion;
        emit filled();
        return;
    }
    // This program wrote to the table meanwhile: its writes are taken in as after any reading,
    // and the listing is shown afresh, the current record as far from the end as it was.
    const int fromEnd = static_cast<int>(m_order.size()) - m_current;
    emit aboutToReset();
    m_shown = std::move(whole);
    const ChangeStamp now = m_book.journal->stamp();
    const bool takenIn = now == m_shown.stamp || listingread::takeInOwnWrites(m_shown, m_book, now);
    m_order = m_shown.sqlOrder;
    m_current = std::clamp(static_cast<int>(m_order.size()) - fromEnd, 0,
                           std::max(0, static_cast<int>(m_order.size()) - 1));
    m_eof = m_order.empty();
    ++m_contentVersion;
    emit resetDone();
    emit currentChanged(m_current);
    if (!takenIn)
        rereadWhole(false);
}

void Listing::rereadWhole(bool fillAllowed)
{
    const int fromEnd = static_cast<int>(m_order.size()) - m_current;
    load(m_shown.query, fillAllowed);
    const int position = std::max(0, static_cast<int>(m_order.size()) - fromEnd);
    if (m_order.empty())
        return;
    if (isUnread(position))
        finishFilling();
    setCurrent(position, false);
}
