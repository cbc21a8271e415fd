// Filling in a big listing: the rows in view first, the rest between events.
//
// A whole-table listing of a million records takes more than a second to read. Its last rows
// (where the current record sits) and its row count are read first and shown; the rest is read
// in slices of a few milliseconds by key, each slice a short read of its own, so no lock is held
// between events and other programs can write meanwhile. Every slice checks that the table is
// still as it was when the reading began; when it is not, the listing is read again. Once all
// rows are read they are ordered exactly as a full reading orders them and take the place of the
// partial snapshot, and the footer sums follow.
#include "data/dataset.h"

#include "data/errors.h"
#include "data/sql.h"

#include <QTimer>

#include <algorithm>
#include <limits>
#include <sqlite3.h>

namespace {

// From 150,000 rows, more than a tenth of a second to read; the first 2,000, more than any
// screen shows, are read from the end of the listing.
Dataset::FillSettings fillSettings{150'000, 2000};
// One slice of reading, so that keys, paints and clicks are answered in between.
constexpr int kSliceMs = 15;

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

struct Finalizer
{
    sqlite3_stmt* s;
    ~Finalizer() { sqlite3_finalize(s); }
};

// Whether key is the table's integer primary key, which is its rowid: the slices read by it.
bool keyIsRowid(sqlite3* handle, const QString& table, const QString& key)
{
    sqlite3_stmt* stmt = nullptr;
    const char* text = "select sum(pk>0), sum(pk=1 and name=?2 collate nocase and "
                       "upper(type)='INTEGER') from pragma_table_info(?1)";
    if (sqlite3_prepare_v2(handle, text, -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    const Finalizer finalizer{stmt};
    const QByteArray t = table.toUtf8(), k = key.toUtf8();
    sqlite3_bind_text(stmt, 1, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, k.constData(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    return sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int64(stmt, 0) == 1 &&
           sqlite3_column_int64(stmt, 1) == 1;
}

} // namespace

struct Dataset::Filling
{
    Dataset into; // the whole reading, built slice by slice in key order
    SinkPtr sink;
    QString sortName;
    bool descending = false;
    int keyColumn = -1;
    int rows = 0;
    qint64 lastKey = std::numeric_limits<qint64>::min();
    ChangeStamp stamp;        // the book the shown rows come from
    int blankRow = -1;        // the physical row every unread position points at
    std::vector<qint64> tail; // keys of the shown rows, in order
};

Dataset::Dataset(QObject* parent) : QObject(parent) {}

Dataset::~Dataset() = default;

void Dataset::dropFilling()
{
    m_fill.reset();
    if (m_fillTimer)
        m_fillTimer->stop();
}

Dataset::FillSettings Dataset::setFillFrom(FillSettings settings)
{
    settings.firstRows = std::max(1, settings.firstRows);
    std::swap(fillSettings, settings);
    return settings;
}

bool Dataset::isUnread(int position) const
{
    return m_fill && position >= 0 && position < static_cast<int>(m_order.size()) &&
           m_order[static_cast<size_t>(position)] == m_fill->blankRow;
}

int Dataset::appendBlankRow()
{
    const int row = static_cast<int>(m_keys.size());
    m_keys.push_back(0);
    for (Column& col : m_columns) {
        col.nulls.push_back(true);
        switch (col.info.type) {
        case FieldType::Float:
            col.numbers.push_back(0.0);
            break;
        case FieldType::Integer:
            col.integers.push_back(0);
            break;
        default:
            col.textIds.push_back(0);
        }
    }
    return row;
}

bool Dataset::startFilling(sqlite3* handle, const QVariantList& values, const ChangeStamp& stamp,
                           const QString& sortName, bool descending)
{
    if (!values.isEmpty() || stamp.connection == 0 ||
        largestKey(handle, m_table) < fillSettings.fromRows ||
        !keyIsRowid(handle, m_table, m_keyColumn))
        return false;
    // The listing's last rows: the index walked from the other end, ties by key as it holds them.
    const QString away = descending ? QStringLiteral(" asc") : QStringLiteral(" desc");
    sqlite3_stmt* stmt = nullptr;
    try {
        stmt = prepareBound(handle,
                            QStringLiteral("select * from ") + quoted(m_table) +
                                QStringLiteral(" order by ") + quoted(sortName) + away +
                                QStringLiteral(", rowid") + away +
                                QStringLiteral(" limit %1").arg(fillSettings.firstRows),
                            {});
    } catch (const DatabaseError&) {
        return false; // the full reading says what is wrong
    }
    const Finalizer finalizer{stmt};
    clearData();
    int rc = sqlite3_step(stmt);
    const int keyColumn = describeColumns(stmt, rc);
    const auto sortColumn =
        std::find_if(m_columns.begin(), m_columns.end(), [&sortName](const Column& c) {
            return c.info.name.compare(sortName, Qt::CaseInsensitive) == 0;
        });
    if (keyColumn < 0 || sortColumn == m_columns.end() || !sortColumn->isText() ||
        sortColumn->info.type == FieldType::Memo) {
        clearData();
        return false;
    }
    const int shown = readRows(stmt, keyColumn, rc);
    sqlite3_stmt* count = nullptr;
    const QByteArray countText = "select count(*) from " + quoted(m_table).toUtf8();
    qint64 total = -1;
    if (sqlite3_prepare_v2(handle, countText.constData(), -1, &count, nullptr) == SQLITE_OK &&
        sqlite3_step(count) == SQLITE_ROW)
        total = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);
    // Numbers among the dates, an error, or a commit between the two reads: read in full.
    if (rc != SQLITE_DONE || sortColumn->nonText || total < shown || total > 50'000'000 ||
        changeStamp() != stamp) {
        clearData();
        return false;
    }

    std::vector<int> reversed(static_cast<size_t>(shown));
    for (int i = 0; i < shown; ++i)
        reversed[static_cast<size_t>(i)] = shown - 1 - i;
    permuteRows(reversed);
    if (total == shown) { // all there is
        finishLoad(values, stamp, shown);
        return true;
    }
    auto fill = std::make_unique<Filling>();
    fill->tail.assign(m_keys.begin(), m_keys.end());
    fill->blankRow = appendBlankRow();
    std::vector<int> order(static_cast<size_t>(total), fill->blankRow);
    for (int i = 0; i < shown; ++i)
        order[static_cast<size_t>(total - shown + i)] = i;
    fill->into.m_table = m_table;
    fill->into.m_keyColumn = m_keyColumn;
    fill->sortName = sortName;
    fill->descending = descending;
    fill->stamp = stamp;
    m_fill = std::move(fill);
    if (!m_fillTimer) {
        m_fillTimer = new QTimer(this);
        connect(m_fillTimer, &QTimer::timeout, this, &Dataset::fillOnIdle);
    }
    m_fillTimer->start(0);
    finishLoad(values, stamp, shown + 1, std::move(order));
    return true;
}

void Dataset::fillOnIdle()
{
    if (!m_fill) {
        m_fillTimer->stop();
        return;
    }
    try {
        switch (fillSome(kSliceMs)) {
        case FillStep::More:
            m_fillTimer->start(0);
            break;
        case FillStep::Done:
            completeFilling();
            break;
        case FillStep::BookChanged:
            rereadWhole(true);
            break;
        }
    } catch (const std::exception&) {
        // The book is busy or gone for now: tried again shortly; whoever needs the rows before
        // then reads them at once and hears why it failed.
        if (m_fill)
            m_fillTimer->start(250);
    }
}

Dataset::FillStep Dataset::fillSome(int budgetMs)
{
    Filling& f = *m_fill;
    sqlite3* handle = sqliteHandle();
    if (!handle)
        throw DatabaseError(QStringLiteral("Connection is closed"));
    const QDeadlineTimer deadline(budgetMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                               : QDeadlineTimer(budgetMs));
    sqlite3_stmt* stmt = prepareBound(handle,
                                      QStringLiteral("select * from ") + quoted(m_table) +
                                          QStringLiteral(" where rowid>? order by rowid"),
                                      {f.lastKey});
    const Finalizer finalizer{stmt};
    int rc = sqlite3_step(stmt);
    if (!f.sink) {
        f.keyColumn = f.into.describeColumns(stmt, rc);
        if (f.into.m_columns.size() != m_columns.size())
            return FillStep::BookChanged;
        f.into.reserveRows(handle, m_sql);
        f.sink = makeSink(f.into.m_columns);
    }
    f.rows += f.into.readRows(stmt, f.keyColumn, rc, f.sink.get(), f.rows, &deadline);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(handle)));
    if (!f.into.m_keys.empty())
        f.lastKey = f.into.m_keys.back();
    // Rows read since the reading began are the book as it was then, or with this program's
    // own writes, which are read again at the end; another program's commit starts afresh.
    const ChangeStamp now = changeStamp();
    std::vector<qint64> keys;
    if (now != f.stamp && !ownWritesSince(f.stamp, now, m_table, keys))
        return FillStep::BookChanged;
    return rc == SQLITE_DONE ? FillStep::Done : FillStep::More;
}

void Dataset::completeFilling()
{
    std::unique_ptr<Filling> fill = std::move(m_fill);
    m_fillTimer->stop();
    Dataset& into = fill->into;
    int sortColumn = -1;
    for (size_t c = 0; c < into.m_columns.size() && sortColumn < 0; ++c)
        if (into.m_columns[c].info.name.compare(fill->sortName, Qt::CaseInsensitive) == 0)
            sortColumn = static_cast<int>(c);
    if (sortColumn < 0 || into.m_columns[static_cast<size_t>(sortColumn)].nonText) {
        m_fill = std::move(fill);
        rereadWhole(false); // numbers among the texts: SQLite's own order is read
        return;
    }
    into.permuteRows(into.orderLikeIndex(sortColumn, fill->descending, fill->rows));
    into.finishLoad(m_values, fill->stamp, fill->rows);
    // The field settings made on the shown columns stay.
    for (size_t c = 0; c < m_columns.size(); ++c)
        into.m_columns[c].info = m_columns[c].info;
    const size_t rows = static_cast<size_t>(fill->rows);
    const size_t shown = fill->tail.size();
    const bool samePlaces =
        rows == m_order.size() &&
        std::equal(fill->tail.begin(), fill->tail.end(), into.m_keys.begin() + (rows - shown)) &&
        changeStamp() == fill->stamp;
    if (samePlaces) {
        m_columns.swap(into.m_columns);
        m_keys.swap(into.m_keys);
        m_order.swap(into.m_order);
        m_sqlOrder = m_order;
        ++m_contentVersion;
        emit filled();
        return;
    }
    // This program wrote to the table meanwhile: its writes are taken in as after any reading,
    // and the listing is shown afresh, the current record as far from the end as it was.
    const int fromEnd = static_cast<int>(m_order.size()) - m_current;
    emit aboutToReset();
    m_columns.swap(into.m_columns);
    m_keys.swap(into.m_keys);
    m_sqlOrder.swap(into.m_sqlOrder);
    m_loadedStamp = fill->stamp;
    const ChangeStamp now = changeStamp();
    const bool takenIn = now == m_loadedStamp || takeInOwnWrites(now);
    m_order = m_sqlOrder;
    m_current = std::clamp(static_cast<int>(m_order.size()) - fromEnd, 0,
                           std::max(0, static_cast<int>(m_order.size()) - 1));
    m_eof = m_order.empty();
    ++m_contentVersion;
    emit resetDone();
    emit currentChanged(m_current);
    if (!takenIn)
        rereadWhole(false);
}

void Dataset::rereadWhole(bool fillAllowed)
{
    const int fromEnd = static_cast<int>(m_order.size()) - m_current;
    dropFilling();
    const QString statement = m_sql;
    const QVariantList values = m_values;
    load(statement, values, fillAllowed);
    if (!m_order.empty())
        moveTo(std::max(0, static_cast<int>(m_order.size()) - fromEnd));
}

void Dataset::finishFilling()
{
    if (!m_fill)
        return;
    m_fillTimer->stop();
    try {
        const FillStep step = fillSome(-1);
        if (step == FillStep::Done)
            completeFilling();
        else
            rereadWhole(false);
    } catch (...) {
        if (m_fill)
            m_fillTimer->start(250);
        throw;
    }
}

void Dataset::ensureFilled() const
{
    // The snapshot stays the same one; only more of it comes into memory.
    if (m_fill)
        const_cast<Dataset*>(this)->finishFilling();
}
