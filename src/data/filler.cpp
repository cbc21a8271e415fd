#include "data/filler.h"

#include "data/errors.h"
#include "data/rowsource.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

// From 150,000 rows, more than a tenth of a second to read; the first 2,000, more than any
// screen shows, are read from the end of the listing.
Filler::Settings defaults{150'000, 2000};
// One slice of reading, so that keys, paints and clicks are answered in between.
constexpr int kSliceMs = 15;

sqlite3* handleFor(const QString& connectionName)
{
    return sqlite::handleOf(QSqlDatabase::database(connectionName, false));
}

bool onServer(const QString& connectionName)
{
    return sql::isServer(QSqlDatabase::database(connectionName, false));
}

// One number the book answers (a count, a largest key); fallback when it gives none.
qint64 numberOf(const QString& connectionName, const QString& text, qint64 fallback)
{
    if (sqlite3* handle = handleFor(connectionName))
        return sqlite::number(handle, text, {}, fallback);
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlQuery q = sql::exec(db, text);
    return q.next() && !q.value(0).isNull() ? q.value(0).toLongLong() : fallback;
}

qint64 largestKey(const QString& connectionName, const QString& table, const QString& key)
{
    if (sqlite3* handle = handleFor(connectionName))
        return sqlite::largestKey(handle, table);
    return numberOf(connectionName,
                    QStringLiteral("select max(") + sql::quoted(key) + QStringLiteral(") from ") +
                        sql::quoted(table),
                    0);
}

// Whether the listing can be filled in by key: on a local book the key is the rowid; a server
// book's own tables have the key as their identity, and orders ties on the date by key upwards
// only (sql::dialect), which is the order a filling makes.
bool fillable(const QString& connectionName, const ListingQuery& query)
{
    if (sqlite3* handle = handleFor(connectionName))
        return sqlite::keyIsRowid(handle, query.table(), query.key());
    return onServer(connectionName) && query.key() == QStringLiteral("id") &&
           query.orderColumn() == QStringLiteral("day1") && !query.descending();
}

} // namespace

Filler::Settings Filler::setDefaults(Settings settings)
{
    settings.firstRows = std::max(1, settings.firstRows);
    std::swap(defaults, settings);
    return settings;
}

Filler::Filler(const QString& connectionName, const ChangeJournal& journal,
               const ListingQuery& query, const ChangeStamp& stamp)
    : m_connection(connectionName), m_journal(journal), m_query(query), m_stamp(stamp),
      m_lastKey(std::numeric_limits<qint64>::min()),
      m_sliceRows(std::max(1, defaults.serverSliceRows)), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &Filler::fillOnIdle);
}

Filler::~Filler() = default;

std::unique_ptr<Filler> Filler::start(const QString& connectionName, const ChangeJournal& journal,
                                      const ListingQuery& query, const ChangeStamp& stamp,
                                      ColumnStore& shown, int& total, bool& complete)
{
    complete = false;
    const QString& table = query.table();
    std::unique_ptr<RowSource> rows;
    qint64 count = -1;
    try {
        if (!query.isWholeTableOrdered() || stamp.connection == 0 ||
            !fillable(connectionName, query) ||
            largestKey(connectionName, table, query.key()) < defaults.fromRows)
            return nullptr;
        // The listing's last rows: the index walked from the other end, ties by key as it holds
        // them (nulls, first upwards, come last).
        const bool server = onServer(connectionName);
        const QString away = query.descending() ? QStringLiteral(" asc") : QStringLiteral(" desc");
        const QString nulls = server ? QStringLiteral(" nulls last") : QString();
        const QString key = server ? sql::quoted(query.key()) : QStringLiteral("rowid");
        rows = RowSource::open(QSqlDatabase::database(connectionName, false),
                               QStringLiteral("select * from ") + sql::quoted(table) +
                                   QStringLiteral(" order by ") + sql::quoted(query.orderColumn()) +
                                   away + nulls + QStringLiteral(", ") + key + away +
                                   QStringLiteral(" limit %1").arg(defaults.firstRows),
                               {}, query.key(), RowSource::Size::Few);
    } catch (const DatabaseError&) {
        return nullptr; // the full reading says what is wrong
    }
    rows->describe(shown);
    const int sortColumn = shown.columnIndex(query.orderColumn());
    if (!rows->hasKey() || sortColumn < 0 || !shown.column(sortColumn).isText() ||
        shown.column(sortColumn).info.type == FieldType::Memo) {
        shown.clear();
        return nullptr;
    }
    RowSource::Step step = RowSource::Step::Error;
    {
        ColumnStore::Appender cells(shown);
        step = rows->read(cells, QDeadlineTimer(QDeadlineTimer::Forever));
    }
    rows.reset();
    const int read = shown.rowCount();
    // Numbers among the dates, an error, or a commit between the two reads: read in full.
    bool changed = true;
    try {
        count = numberOf(connectionName,
                         QStringLiteral("select count(*) from ") + sql::quoted(table), -1);
        changed = journal.stamp() != stamp;
    } catch (const DatabaseError&) {
    }
    if (step != RowSource::Step::Done || shown.column(sortColumn).nonText || count < read ||
        count > 50'000'000 || changed) {
        shown.clear();
        return nullptr;
    }
    std::vector<int> reversed(static_cast<size_t>(read));
    for (int i = 0; i < read; ++i)
        reversed[static_cast<size_t>(i)] = read - 1 - i;
    shown.permute(reversed);
    total = static_cast<int>(count);
    if (count == read) {
        complete = true; // all there is
        return nullptr;
    }
    std::unique_ptr<Filler> fill(new Filler(connectionName, journal, query, stamp));
    fill->m_tail = shown.keys();
    return fill;
}

void Filler::resume(int afterMs)
{
    m_timer->start(afterMs);
}

void Filler::stop()
{
    m_timer->stop();
}

void Filler::fillOnIdle()
{
    m_timer->stop();
    try {
        const Step step = fillSome(kSliceMs);
        if (step == Step::More)
            m_timer->start(0);
        else
            emit stepped(step); // the listing may delete this filler now
    } catch (const std::exception&) {
        // The book is busy or gone for now: tried again shortly; whoever needs the rows before
        // then reads them at once and hears why it failed.
        m_timer->start(250);
    }
}

Filler::Step Filler::fillSome(int budgetMs)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const bool server = sql::isServer(db);
    if (!server && !handleFor(m_connection))
        throw DatabaseError(QStringLiteral("Connection is closed"));
    const QDeadlineTimer deadline(budgetMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                               : QDeadlineTimer(budgetMs));
    // A local book's slice reads on until the deadline; a server's asks for so many rows at a
    // time (its driver holds a result until it is read to the end).
    const QString key = server ? sql::quoted(m_query.key()) : QStringLiteral("rowid");
    const QString slice = QStringLiteral("select * from ") + sql::quoted(m_query.table()) +
                          QStringLiteral(" where ") + key + QStringLiteral(">? order by ") + key +
                          (server ? QStringLiteral(" limit %1").arg(m_sliceRows) : QString());
    // Asked before a slice is open: a server connection answers one statement at a time.
    const qint64 largest = m_cells ? 0 : largestKey(m_connection, m_query.table(), m_query.key());
    RowSource::Step step = RowSource::Step::More;
    do {
        // The slice read ahead while the last one was converted, else asked for now.
        std::unique_ptr<RowSource> rows;
        if (m_ahead && m_ahead->nextSlice(m_lastKey))
            rows = std::move(m_ahead);
        else
            rows = RowSource::open(db, slice, {m_lastKey}, m_query.key(),
                                   server ? RowSource::Size::Few : RowSource::Size::Any);
        m_ahead.reset();
        if (server)
            rows->readAheadEvery(m_sliceRows);
        if (!m_cells) {
            rows->describe(m_whole);
            if (m_whole.columnCount() + 1 != rows->columnCount() || !rows->hasKey())
                return Step::BookChanged;
            if (largest > 0 && largest <= 50'000'000)
                m_whole.reserve(static_cast<size_t>(largest));
            m_cells = std::make_unique<ColumnStore::Appender>(m_whole);
        }
        const int before = m_whole.rowCount();
        step = rows->read(*m_cells, server ? QDeadlineTimer(QDeadlineTimer::Forever) : deadline);
        if (step == RowSource::Step::Error)
            throw DatabaseError(rows->error());
        if (m_whole.rowCount() > 0)
            m_lastKey = m_whole.keys().back();
        if (server && step == RowSource::Step::Done && m_whole.rowCount() - before == m_sliceRows) {
            step = RowSource::Step::More; // the next slice may hold more
            m_ahead = std::move(rows);
        }
    } while (server && step == RowSource::Step::More && !deadline.hasExpired());
    // Rows read since the reading began are the book as it was then, or with this program's
    // own writes, which are read again at the end; another program's commit starts afresh.
    const ChangeStamp now = m_journal.stamp();
    std::vector<qint64> keys;
    if (now != m_stamp && !m_journal.ownWritesSince(m_stamp, now, m_query.table(), keys))
        return Step::BookChanged;
    return step == RowSource::Step::Done ? Step::Done : Step::More;
}

bool Filler::takeWhole(ColumnStore& whole)
{
    m_timer->stop();
    m_cells.reset();
    const int sortColumn = m_whole.columnIndex(m_query.orderColumn());
    // Numbers among the texts: SQLite's own order is read instead.
    if (sortColumn < 0 || m_whole.column(sortColumn).nonText)
        return false;
    m_whole.permute(m_whole.orderLikeIndex(sortColumn, m_query.descending()));
    m_whole.fitWithRoom();
    std::swap(whole, m_whole);
    return true;
}

bool Filler::keepsShownRows(const ColumnStore& whole) const
{
    const std::vector<qint64>& keys = whole.keys();
    return keys.size() >= m_tail.size() &&
           std::equal(m_tail.begin(), m_tail.end(), keys.end() - std::ssize(m_tail));
}
