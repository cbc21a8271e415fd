// Bringing a snapshot up to date without reading the whole statement again: the rows this
// program wrote itself since the reading are read one by one and put in their places, and the
// base listing is kept aside while a search is shown.
#include "data/dataset.h"

#include "data/errors.h"
#include "data/numbertext.h"
#include "data/sql.h"

#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <sqlite3.h>

namespace {

// One statement this program ran through a dataset: the connection's change counter before and
// after it, the table it wrote, and the one row it changed (key 0: rows not known).
struct OwnWrite
{
    qint64 changesBefore = 0;
    qint64 changesAfter = 0;
    QString table;
    qint64 key = 0;
};

const QRegularExpression kWrittenTable(
    QStringLiteral(R"re(^\s*(?:insert\s+into|update|delete\s+from)\s+"?(\w+)"?[\s(])re"),
    QRegularExpression::CaseInsensitiveOption);

// Per connection, the latest writes; a listing older than all of them is read again.
constexpr size_t kJournalLength = 256;
QMutex journalLock;
std::map<qint64, std::vector<OwnWrite>> journal;

// select * from one table, an optional filter without subqueries, and one ordering column.
const QRegularExpression kSingleTable(
    QStringLiteral(R"re(^\s*select\s+\*\s+from\s+"?(\w+)"?(?:\s+where\s+(.*?))?)re"
                   R"re(\s+order\s+by\s+"?(\w+)"?(?:\s+(asc|desc))?\s*$)re"),
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
const QRegularExpression kNested(QStringLiteral(R"(\b(select|join|from|union)\b)"),
                                 QRegularExpression::CaseInsensitiveOption);

} // namespace

bool Dataset::listsOneTable(const QString& statement) const
{
    const QRegularExpressionMatch shape = kSingleTable.match(statement);
    return shape.hasMatch() && shape.captured(1).compare(m_table, Qt::CaseInsensitive) == 0 &&
           !kNested.match(shape.captured(2)).hasMatch();
}

bool Dataset::wholeTableOrder(const QString& statement, QString& column, bool& descending) const
{
    const QRegularExpressionMatch shape = kSingleTable.match(statement);
    if (m_keyColumn.isEmpty() || !shape.hasMatch() || !shape.captured(2).isEmpty() ||
        shape.captured(1).compare(m_table, Qt::CaseInsensitive) != 0 ||
        shape.captured(3).compare(m_keyColumn, Qt::CaseInsensitive) == 0)
        return false;
    column = shape.captured(3);
    descending = shape.captured(4).compare(QStringLiteral("desc"), Qt::CaseInsensitive) == 0;
    return true;
}

void Dataset::recordOwnWrite(const ChangeStamp& before, qint64 key)
{
    recordWrite(before, m_table, key, 1);
}

void Dataset::recordStatement(const ChangeStamp& before, const QString& statement)
{
    // A statement on one table: a listing of another table need not be read again for it.
    const QRegularExpressionMatch written = kWrittenTable.match(statement);
    if (written.hasMatch())
        recordWrite(before, written.captured(1), 0, -1);
}

void Dataset::recordWrite(const ChangeStamp& before, const QString& table, qint64 key, int rows)
{
    const ChangeStamp after = changeStamp();
    // Only changes by this connection alone, of the rows expected, are noted.
    if (before.connection == 0 || after.connection != before.connection ||
        after.dataVersion != before.dataVersion || after.changes == before.changes ||
        (rows >= 0 && after.changes != before.changes + rows))
        return;
    const QMutexLocker lock(&journalLock);
    std::vector<OwnWrite>& writes = journal[before.connection];
    if (writes.size() >= kJournalLength)
        writes.erase(writes.begin());
    writes.push_back({before.changes, after.changes, table, key});
}

bool Dataset::ownWritesSince(const ChangeStamp& since, const ChangeStamp& now, const QString& table,
                             std::vector<qint64>& keys)
{
    if (since.connection == 0 || now.connection != since.connection ||
        now.dataVersion != since.dataVersion || now.changes < since.changes)
        return false;
    // Every change since must be one of ours, one after another.
    const QMutexLocker lock(&journalLock);
    qint64 reached = since.changes;
    for (const OwnWrite& w : journal[now.connection]) {
        if (w.changesBefore < reached)
            continue;
        if (w.changesBefore >= now.changes)
            break; // written after the stamp asked about
        if (w.changesBefore != reached)
            return false;
        reached = w.changesAfter;
        if (w.table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        if (w.key == 0)
            return false; // rows of this table, not known one by one
        keys.push_back(w.key);
    }
    return reached == now.changes;
}

bool Dataset::tableUnchangedSince(const ChangeStamp& since, const QString& table,
                                  const ChangeStamp& until) const
{
    std::vector<qint64> keys;
    return since.connection != 0 &&
           (until == since || (ownWritesSince(since, until, table, keys) && keys.empty()));
}

bool Dataset::takeInOwnWrites(const ChangeStamp& now)
{
    const ChangeStamp& then = m_loadedStamp;
    if (!m_hasKey || m_keyResultColumn < 0)
        return false;
    if (!listsOneTable(m_sql))
        return false;
    const QRegularExpressionMatch shape = kSingleTable.match(m_sql);
    const int sortColumn = [&] {
        const int index = fieldIndex(shape.captured(3));
        return index < 0 ? -1 : m_fieldOrder[static_cast<size_t>(index)];
    }();
    if (sortColumn < 0 || m_columns[static_cast<size_t>(sortColumn)].info.type == FieldType::Memo)
        return false;

    std::vector<qint64> keys;
    if (!ownWritesSince(then, now, m_table, keys))
        return false;
    const QString filtered =
        QStringLiteral("select * from \"") + m_table + QStringLiteral("\" where ") +
        (shape.captured(2).isEmpty() ? QStringLiteral("1") : u'(' + shape.captured(2) + u')') +
        QStringLiteral(" and \"") + m_keyColumn + QStringLiteral("\"=?");
    const bool descending =
        shape.captured(4).compare(QStringLiteral("desc"), Qt::CaseInsensitive) == 0;
    // Read rows join the end of the columns; the order takes them in only when all are read.
    std::vector<int> order = m_sqlOrder;
    for (qint64 key : keys)
        if (!rereadRow(filtered, key, sortColumn, descending, order))
            return false;
    m_sqlOrder = std::move(order);
    m_loadedStamp = now;
    ++m_contentVersion;
    return true;
}

int Dataset::compareRows(int left, int right, int column) const
{
    const Column& col = m_columns[static_cast<size_t>(column)];
    const size_t l = static_cast<size_t>(left);
    const size_t r = static_cast<size_t>(right);
    int result = 0;
    if (col.nulls[l] || col.nulls[r]) {
        result = int(!col.nulls[l]) - int(!col.nulls[r]);
    } else if (col.info.type == FieldType::Float) {
        result = int(numbertext::less(col.numbers[r], col.numbers[l])) -
                 int(numbertext::less(col.numbers[l], col.numbers[r]));
    } else if (col.info.type == FieldType::Integer) {
        result = (col.integers[l] > col.integers[r]) - (col.integers[l] < col.integers[r]);
    } else {
        result = sql::compareStored(col.pool.view(col.textIds[l]), col.pool.view(col.textIds[r]));
    }
    // Ties come in key order: the index on the ordering column holds the key after the value.
    if (result == 0)
        result = (m_keys[l] > m_keys[r]) - (m_keys[l] < m_keys[r]);
    return result;
}

bool Dataset::rereadRow(const QString& filtered, qint64 key, int sortColumn, bool descending,
                        std::vector<int>& order)
{
    const auto listed = std::find_if(order.begin(), order.end(), [&](int row) {
        return m_keys[static_cast<size_t>(row)] == key;
    });
    if (listed != order.end())
        order.erase(listed);

    sqlite3* handle = sqliteHandle();
    if (!handle)
        return false;
    QVariantList values = m_values;
    values << key;
    sqlite3_stmt* stmt = prepareBound(handle, filtered, values);
    struct Finalizer
    {
        sqlite3_stmt* s;
        ~Finalizer() { sqlite3_finalize(s); }
    } finalizer{stmt};
    if (sqlite3_column_count(stmt) != static_cast<int>(m_columns.size()) + 1)
        return false;
    const size_t before = m_keys.size();
    int rc = sqlite3_step(stmt);
    readRows(stmt, m_keyResultColumn, rc);
    if (rc != SQLITE_DONE)
        return false;
    if (m_keys.size() == before)
        return true; // deleted, or no longer within the filter
    const int row = static_cast<int>(before);
    const auto place = std::upper_bound(order.begin(), order.end(), row, [&](int l, int r) {
        const int c = compareRows(l, r, sortColumn);
        return descending ? c > 0 : c < 0;
    });
    order.insert(place, row);
    return true;
}

void Dataset::setKeptStatement(const QString& statement)
{
    if (statement != m_keptStatement)
        m_kept.reset();
    m_keptStatement = statement;
}

std::unique_ptr<Dataset::Reading> Dataset::keepAside(const QString& statement)
{
    // Reading the kept statement afresh: the old copy goes first, so two are never held.
    if (statement == m_keptStatement)
        return nullptr;
    // A listing still being filled in is dropped rather than finished: read again, its rows in
    // view come back at once.
    if (m_fill)
        return nullptr;
    if (m_state != State::Browse || m_sql != m_keptStatement || !m_values.isEmpty() ||
        m_loadedStamp.connection == 0)
        return std::move(m_kept);
    auto kept = std::make_unique<Reading>();
    swapReading(*kept);
    return kept;
}

void Dataset::swapReading(Reading& reading)
{
    // The field settings belong to the columns: a reading comes back as a fresh one would.
    resetFields();
    std::swap(m_columns, reading.columns);
    std::swap(m_readInfos, reading.readInfos);
    std::swap(m_keys, reading.keys);
    std::swap(m_sqlOrder, reading.sqlOrder);
    std::swap(m_sql, reading.sql);
    std::swap(m_values, reading.values);
    std::swap(m_loadedStamp, reading.stamp);
    std::swap(m_hasKey, reading.hasKey);
    std::swap(m_keyResultColumn, reading.keyResultColumn);
}
