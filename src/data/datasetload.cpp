// Reading a statement into the snapshot: the SQLite path through the sqlite3 handle, the
// server path through Qt's driver, and the change stamp that tells whether a reading is
// still current.
#include "data/dataset.h"

#include "data/errors.h"
#include "data/formats.h"
#include "data/numbertext.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <atomic>
#include <sqlite3.h>
#include <string>

namespace {

sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

QString lastError(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

FieldType typeFromDeclaration(const QString& name, const char* declared, int firstValueType)
{
    if (schema::isDateColumn(name))
        return FieldType::Date;
    const QByteArray decl = QByteArray(declared ? declared : "").toUpper();
    if (decl.contains("INT"))
        return FieldType::Integer;
    if (decl.contains("REAL") || decl.contains("FLOA") || decl.contains("DOUB") ||
        decl.contains("NUMERIC"))
        return FieldType::Float;
    if (decl.contains("MEMO") || decl.contains("BLOB"))
        return FieldType::Memo;
    if (!decl.isEmpty())
        return FieldType::Text;
    // An expression column (max(id), count(*)): judge by the value.
    if (firstValueType == SQLITE_INTEGER)
        return FieldType::Integer;
    if (firstValueType == SQLITE_FLOAT)
        return FieldType::Float;
    return FieldType::Text;
}

void bindAll(sqlite3* db, sqlite3_stmt* stmt, const QVariantList& values)
{
    int index = 1;
    for (const QVariant& value : values) {
        int rc = SQLITE_OK;
        if (value.isNull()) {
            rc = sqlite3_bind_null(stmt, index);
        } else if (value.typeId() == QMetaType::Double) {
            rc = sqlite3_bind_double(stmt, index, value.toDouble());
        } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong ||
                   value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::Bool) {
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
        } else {
            const QString text = value.toString();
            rc = sqlite3_bind_text16(stmt, index, text.utf16(),
                                     static_cast<int>(text.size() * sizeof(char16_t)),
                                     SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            throw DatabaseError(lastError(db));
        ++index;
    }
}

// Gives each distinct UTF-8 text of one column a number, in order of first sight, while a
// result is read; the texts are kept only as long as the reading lasts.
class Interner
{
public:
    quint32 find(QByteArrayView utf8, quint32 nextId, bool& added)
    {
        if ((static_cast<size_t>(nextId) + 1) * 2 > m_slots.size())
            grow();
        const size_t hash = qHash(utf8);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const quint32 slot = m_slots[i];
            if (slot == 0) {
                m_slots[i] = nextId + 1;
                m_hashes.push_back(hash);
                m_bytes.append(utf8.data(), static_cast<size_t>(utf8.size()));
                m_ends.push_back(m_bytes.size());
                added = true;
                return nextId;
            }
            const quint32 id = slot - 1;
            if (m_hashes[id] == hash && text(id) == utf8) {
                added = false;
                return id;
            }
        }
    }

private:
    QByteArrayView text(quint32 id) const
    {
        const size_t begin = id == 0 ? 0 : m_ends[id - 1];
        return QByteArrayView(m_bytes.data() + begin, static_cast<qsizetype>(m_ends[id] - begin));
    }
    void grow()
    {
        std::vector<quint32> table(std::max<size_t>(1024, m_slots.size() * 2), 0);
        const size_t mask = table.size() - 1;
        for (quint32 id = 0; id < m_hashes.size(); ++id) {
            size_t i = m_hashes[id] & mask;
            while (table[i] != 0)
                i = (i + 1) & mask;
            table[i] = id + 1;
        }
        m_slots.swap(table);
    }

    std::vector<quint32> m_slots; // id + 1, 0 when free
    std::vector<size_t> m_hashes;
    std::string m_bytes;
    std::vector<size_t> m_ends;
};

std::atomic<qint64> nextConnectionTag{1};

// A read column gives back what doubling left unused, but keeps room for the rows the program
// adds later: a vector that must grow by one row copies all of a big book's rows.
template <typename Vector> void fitWithRoom(Vector& v)
{
    const size_t room = 256 + v.size() / 64;
    if (v.capacity() >= v.size() + room && v.capacity() <= v.size() + 2 * room)
        return;
    Vector fitted;
    fitted.reserve(v.size() + room);
    fitted.insert(fitted.end(), v.begin(), v.end());
    v.swap(fitted);
}

void connectionTag(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int64(context, *static_cast<const qint64*>(sqlite3_user_data(context)));
}

} // namespace

// Each text column keeps its distinct values once; a column whose first rows are nearly all
// different stops looking values up and just appends them.
class Dataset::CellSink
{
public:
    explicit CellSink(std::vector<Column>& columns)
        : m_columns(columns), m_interners(columns.size()), m_interning(columns.size(), true)
    {
    }
    void addNull(size_t col);
    void addNumber(size_t col, double value);
    void addNumberText(size_t col, const char* utf8, int size);
    void addInteger(size_t col, qint64 value);
    void addText(size_t col, QByteArrayView utf8, int row);
    // A text as the server's driver gives it: interned on its UTF-16 form.
    void addText(size_t col, const QString& text, int row);

private:
    std::vector<Column>& m_columns;
    std::vector<Interner> m_interners;
    std::vector<bool> m_interning;
};

void Dataset::CellSink::addNull(size_t col)
{
    Column& column = m_columns[col];
    column.nulls.push_back(true);
    switch (column.info.type) {
    case FieldType::Float:
        column.numbers.push_back(0.0);
        break;
    case FieldType::Integer:
        column.integers.push_back(0);
        break;
    default:
        column.textIds.push_back(0);
    }
}

void Dataset::CellSink::addNumber(size_t col, double value)
{
    m_columns[col].nulls.push_back(false);
    m_columns[col].numbers.push_back(value);
}

void Dataset::CellSink::addNumberText(size_t col, const char* utf8, int size)
{
    Column& column = m_columns[col];
    column.nulls.push_back(false);
    column.numbers.push_back(numbertext::box(column.pool.add(QByteArrayView(utf8, size))));
}

void Dataset::CellSink::addInteger(size_t col, qint64 value)
{
    m_columns[col].nulls.push_back(false);
    m_columns[col].integers.push_back(value);
}

void Dataset::CellSink::addText(size_t col, const QString& text, int row)
{
    constexpr int kProbeRows = 4096;
    Column& column = m_columns[col];
    column.nulls.push_back(false);
    if (!m_interning[col]) {
        column.textIds.push_back(column.pool.add(QStringView(text)));
        return;
    }
    bool added = false;
    const QByteArrayView bytes(reinterpret_cast<const char*>(text.utf16()),
                               text.size() * qsizetype(sizeof(char16_t)));
    const quint32 id = m_interners[col].find(bytes, column.pool.size(), added);
    if (added)
        column.pool.add(QStringView(text));
    column.textIds.push_back(id);
    if (row == kProbeRows && column.pool.size() > kProbeRows * 9 / 10) {
        m_interning[col] = false;
        m_interners[col] = Interner();
    }
}

void Dataset::CellSink::addText(size_t col, QByteArrayView utf8, int row)
{
    constexpr int kProbeRows = 4096;
    Column& column = m_columns[col];
    column.nulls.push_back(false);
    if (!m_interning[col]) {
        column.textIds.push_back(column.pool.add(utf8));
        return;
    }
    bool added = false;
    const quint32 id = m_interners[col].find(utf8, column.pool.size(), added);
    if (added)
        column.pool.add(utf8);
    column.textIds.push_back(id);
    if (row == kProbeRows && column.pool.size() > kProbeRows * 9 / 10) {
        m_interning[col] = false;
        m_interners[col] = Interner();
    }
}

quint32 Dataset::TextPool::add(QStringView text)
{
    chars.insert(chars.end(), text.utf16(), text.utf16() + text.size());
    starts.push_back(static_cast<quint32>(chars.size()));
    return size() - 1;
}

quint32 Dataset::TextPool::add(QByteArrayView utf8)
{
    // Dates and markers are ASCII: widened in place; the rest goes through Qt's converter.
    const bool ascii =
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<uchar>(c) < 0x80; });
    if (!ascii)
        return add(QString::fromUtf8(utf8));
    chars.insert(chars.end(), utf8.begin(), utf8.end());
    starts.push_back(static_cast<quint32>(chars.size()));
    return size() - 1;
}

Dataset::ChangeStamp Dataset::changeStamp() const
{
    QSqlDatabase db = database();
    sqlite3* handle = db.isOpen() ? handleOf(db) : nullptr;
    if (!handle)
        return {};
    static const char kStatement[] =
        "select quenvale_connection(), data_version, total_changes() from pragma_data_version";
    for (int attempt = 0; attempt < 2; ++attempt) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(handle, kStatement, -1, &stmt, nullptr) != SQLITE_OK) {
            // A connection not seen before: it gets a number of its own, so that a stamp of a
            // closed connection never matches one of its successor.
            auto* tag = new qint64(nextConnectionTag++);
            if (sqlite3_create_function_v2(
                    handle, "quenvale_connection", 0, SQLITE_UTF8, tag, connectionTag, nullptr,
                    nullptr, [](void* p) { delete static_cast<qint64*>(p); }) != SQLITE_OK)
                break;
            continue;
        }
        ChangeStamp stamp;
        const bool row = sqlite3_step(stmt) == SQLITE_ROW;
        if (row) {
            stamp.connection = sqlite3_column_int64(stmt, 0);
            stamp.dataVersion = sqlite3_column_int64(stmt, 1);
            stamp.changes = sqlite3_column_int64(stmt, 2);
        }
        sqlite3_finalize(stmt);
        if (row)
            return stamp;
        break;
    }
    throw DatabaseError(lastError(handle));
}

sqlite3* Dataset::sqliteHandle() const
{
    QSqlDatabase db = database();
    return db.isOpen() ? handleOf(db) : nullptr;
}

bool Dataset::hasIndexOn(const QString& table, const QString& column) const
{
    sqlite3* handle = sqliteHandle();
    if (!handle)
        return false;
    sqlite3_stmt* stmt = prepareBound(
        handle,
        QStringLiteral("select 1 from pragma_index_list(?) as l, pragma_index_info(l.name) as i "
                       "where l.partial=0 and i.seqno=0 and i.name=? collate nocase"),
        {table, column});
    const bool found = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return found;
}

bool Dataset::reopenUnchanged(const QString& statement, const QVariantList& values)
{
    if (m_state == State::Browse && m_kept && m_kept->sql == statement &&
        m_kept->values == values && (statement != m_sql || values != m_values)) {
        // The kept reading comes back in place of the one shown.
        emit aboutToReset();
        std::unique_ptr<Reading> shown = std::move(m_kept);
        swapReading(*shown);
        shown.reset();
        m_fieldOrder.resize(m_columns.size());
        resetFields();
        m_order = m_sqlOrder;
        m_sortText.clear();
        m_current = 0;
        ++m_contentVersion;
        emit resetDone();
    }
    if (m_state != State::Browse || statement != m_sql || values != m_values ||
        m_loadedStamp.connection == 0)
        return false;
    try {
        const ChangeStamp now = changeStamp();
        // A listing still being filled in is read afresh: its rows in view come at once.
        if (now != m_loadedStamp && (m_fill || !takeInOwnWrites(now)))
            return false;
    } catch (const DatabaseError&) {
        return false; // a full reading says what is wrong
    }
    emit aboutToReset();
    resetFields();
    m_order = m_sqlOrder;
    m_sortText.clear();
    m_buffer.clear();
    m_changed.clear();
    m_current = 0;
    m_eof = m_order.empty();
    emit resetDone();
    emit currentChanged(m_current);
    return true;
}

// Why the sqlite3 handle and not QSqlQuery: Qt's driver hands every cell over as a QVariant and
// every text as a fresh QString, which for a big book costs more than SQLite's reading itself.
// Read directly, each text column keeps its distinct UTF-8 values once (see TextPool). This is
// sound only while Qt's SQLite plugin and this program use one and the same SQLite library:
// sql::checkSameSqlite() refuses to start otherwise.
void Dataset::load(const QString& statement, const QVariantList& values, bool fillAllowed)
{
    QSqlDatabase db = database();
    if (sql::isServer(db)) {
        loadFromServer(db, statement, values);
        return;
    }
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Connection is closed"));
    sqlite3* handle = handleOf(db);
    if (!handle)
        throw DatabaseError(QStringLiteral("Not an SQLite connection"));

    // Taken before reading: a commit in between only makes the next reopen read again.
    const ChangeStamp stamp = changeStamp();
    emit aboutToReset();
    // A whole table in one text column's order is read in the table's own order and sorted
    // here, as the column's index would give it: walking the index fetches each row from
    // elsewhere in the file, which costs more than reading and sorting.
    QString sortName;
    bool descending = false;
    if (wholeTableOrder(statement, sortName, descending) &&
        ((fillAllowed && startFilling(handle, values, stamp, sortName, descending)) ||
         readSqlite(handle, QStringLiteral("select * from \"") + m_table + u'"', values, statement,
                    stamp, sortName, descending)))
        return;
    readSqlite(handle, statement, values, statement, stamp, {}, false);
}

bool Dataset::readSqlite(sqlite3* handle, const QString& run, const QVariantList& values,
                         const QString& statement, const ChangeStamp& stamp,
                         const QString& sortName, bool descending)
{
    sqlite3_stmt* stmt = prepareBound(handle, run, values);
    struct Finalizer
    {
        sqlite3_stmt* s;
        ~Finalizer() { sqlite3_finalize(s); }
    } finalizer{stmt};

    clearData();
    // The first step runs before the columns are described: an expression column's type is
    // judged by its first value.
    int rc = sqlite3_step(stmt);
    const int keyColumn = describeColumns(stmt, rc);
    int sortColumn = -1;
    if (!sortName.isEmpty()) {
        for (size_t c = 0; c < m_columns.size() && sortColumn < 0; ++c)
            if (m_columns[c].info.name.compare(sortName, Qt::CaseInsensitive) == 0)
                sortColumn = static_cast<int>(c);
        if (sortColumn < 0 || !m_columns[static_cast<size_t>(sortColumn)].isText() ||
            m_columns[static_cast<size_t>(sortColumn)].info.type == FieldType::Memo)
            return false;
    }
    reserveRows(handle, statement);
    const int rows = readRows(stmt, keyColumn, rc);
    if (rc != SQLITE_DONE) {
        clearData();
        emit resetDone();
        throw DatabaseError(lastError(handle));
    }
    if (sortColumn >= 0) {
        // Numbers stored among the texts sort before them in SQLite: its own order is read.
        if (m_columns[static_cast<size_t>(sortColumn)].nonText)
            return false;
        // Rows are then stored in that order: what is shown, summed or printed together is
        // read from neighbouring memory.
        permuteRows(orderLikeIndex(sortColumn, descending, rows));
    }
    finishLoad(values, stamp, rows);
    return true;
}

void Dataset::permuteRows(const std::vector<int>& order)
{
    auto permute = [&order](auto& v) {
        if (v.size() != order.size())
            return; // a column's vector of another type
        std::remove_reference_t<decltype(v)> sorted;
        sorted.reserve(v.capacity());
        for (int row : order)
            sorted.push_back(v[static_cast<size_t>(row)]);
        v.swap(sorted);
    };
    permute(m_keys);
    for (Column& column : m_columns) {
        permute(column.nulls);
        permute(column.numbers);
        permute(column.integers);
        permute(column.textIds);
    }
}

std::vector<int> Dataset::orderLikeIndex(int column, bool descending, int rows) const
{
    // Rows come in key order; a stable count by the value's rank gives (value, key), nulls
    // first, which is how the index holds them. Descending is the same walked backwards.
    const Column& col = m_columns[static_cast<size_t>(column)];
    std::vector<quint32> ids(col.pool.size());
    for (quint32 i = 0; i < ids.size(); ++i)
        ids[i] = i;
    std::sort(ids.begin(), ids.end(), [&col](quint32 l, quint32 r) {
        return sql::compareStored(col.pool.view(l), col.pool.view(r)) < 0;
    });
    std::vector<quint32> rank(ids.size());
    quint32 value = 1; // 0 is the nulls'
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0 && col.pool.view(ids[i - 1]) != col.pool.view(ids[i]))
            ++value;
        rank[ids[i]] = value;
    }
    auto rankOf = [&](int row) {
        const size_t r = static_cast<size_t>(row);
        return col.nulls[r] ? 0u : rank[col.textIds[r]];
    };
    std::vector<int> starts(static_cast<size_t>(value) + 2, 0);
    for (int row = 0; row < rows; ++row)
        ++starts[rankOf(row) + 1];
    for (size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    std::vector<int> order(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row)
        order[static_cast<size_t>(starts[rankOf(row)]++)] = row;
    if (descending)
        std::reverse(order.begin(), order.end());
    return order;
}

void Dataset::reserveRows(sqlite3* handle, const QString& statement)
{
    // A listing of the table can hold no more rows than its largest key: room for them all is
    // taken at once, so a big book's columns are not copied as they grow. Room never written
    // to is never given memory, and finishLoad() gives back what a filter left unused.
    if (m_table.isEmpty() || !listsOneTable(statement))
        return;
    const qint64 rows = largestKey(handle, m_table);
    if (rows <= 0 || rows > 50'000'000)
        return;
    const size_t n = static_cast<size_t>(rows);
    m_keys.reserve(n);
    for (Column& column : m_columns) {
        column.nulls.reserve(n);
        if (column.info.type == FieldType::Float)
            column.numbers.reserve(n);
        else if (column.info.type == FieldType::Integer)
            column.integers.reserve(n);
        else
            column.textIds.reserve(n);
    }
}

qint64 Dataset::largestKey(sqlite3* handle, const QString& table)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray count = "select max(rowid) from \"" + table.toUtf8() + '"';
    if (sqlite3_prepare_v2(handle, count.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return 0;
    const qint64 rows = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    return rows;
}

sqlite3_stmt* Dataset::prepareBound(sqlite3* handle, const QString& statement,
                                    const QVariantList& values)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = statement.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), static_cast<int>(utf8.size()), &stmt,
                           nullptr) != SQLITE_OK)
        throw DatabaseError(lastError(handle));
    try {
        bindAll(handle, stmt, values);
    } catch (...) {
        sqlite3_finalize(stmt);
        throw;
    }
    return stmt;
}

int Dataset::describeColumns(sqlite3_stmt* stmt, int firstStep)
{
    const int columnCount = sqlite3_column_count(stmt);
    int keyColumn = -1;
    for (int c = 0; c < columnCount; ++c) {
        const QString name = QString::fromUtf8(sqlite3_column_name(stmt, c));
        if (!m_keyColumn.isEmpty() && keyColumn < 0 &&
            name.compare(m_keyColumn, Qt::CaseInsensitive) == 0) {
            keyColumn = c;
            continue;
        }
        Column column;
        column.info.name = name;
        column.info.displayLabel = name;
        column.info.type = typeFromDeclaration(
            name, sqlite3_column_decltype(stmt, c),
            firstStep == SQLITE_ROW ? sqlite3_column_type(stmt, c) : SQLITE_NULL);
        m_columns.push_back(std::move(column));
    }
    m_hasKey = keyColumn >= 0;
    m_keyResultColumn = keyColumn;
    return keyColumn;
}

int Dataset::readRows(sqlite3_stmt* stmt, int keyColumn, int& rc, CellSink* sink, int firstRow,
                      const QDeadlineTimer* deadline)
{
    const int columnCount = sqlite3_column_count(stmt);
    CellSink own(m_columns);
    CellSink& cells = sink ? *sink : own;
    int physical = firstRow;
    for (; rc == SQLITE_ROW; ++physical) {
        int target = 0;
        m_keys.push_back(m_hasKey ? sqlite3_column_int64(stmt, keyColumn) : 0);
        for (int c = 0; c < columnCount; ++c) {
            if (c == keyColumn)
                continue;
            const size_t col = static_cast<size_t>(target++);
            const int type = sqlite3_column_type(stmt, c);
            if (type == SQLITE_NULL) {
                cells.addNull(col);
                continue;
            }
            switch (m_columns[col].info.type) {
            case FieldType::Float:
                if (type == SQLITE_TEXT) // 'abc' among the amounts stays as it was stored
                    cells.addNumberText(col,
                                        reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                        sqlite3_column_bytes(stmt, c));
                else
                    cells.addNumber(col, sqlite3_column_double(stmt, c));
                break;
            case FieldType::Integer:
                cells.addInteger(col, sqlite3_column_int64(stmt, c));
                break;
            default: {
                if (type != SQLITE_TEXT)
                    m_columns[col].nonText = true;
                const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                cells.addText(col, QByteArrayView(data, sqlite3_column_bytes(stmt, c)), physical);
                break;
            }
            }
        }
        // The deadline is looked at now and then: the clock costs more than a row.
        if (deadline && (physical & 255) == 255 && deadline->hasExpired()) {
            ++physical;
            break; // rc stays SQLITE_ROW: more may follow
        }
        rc = sqlite3_step(stmt);
    }
    return physical - firstRow;
}

void Dataset::SinkDeleter::operator()(CellSink* sink) const
{
    delete sink;
}

Dataset::SinkPtr Dataset::makeSink(std::vector<Column>& columns)
{
    return SinkPtr(new CellSink(columns));
}

// A server book is read through Qt's driver, forward only; its texts join the same pools.
void Dataset::loadFromServer(QSqlDatabase& db, const QString& statement, const QVariantList& values)
{
    QSqlQuery q = sql::exec(db, statement, values);
    emit aboutToReset();
    clearData();
    const QSqlRecord record = q.record();
    int keyColumn = -1;
    for (int c = 0; c < record.count(); ++c) {
        const QString name = record.fieldName(c);
        if (!m_keyColumn.isEmpty() && keyColumn < 0 &&
            name.compare(m_keyColumn, Qt::CaseInsensitive) == 0) {
            keyColumn = c;
            continue;
        }
        Column column;
        column.info.name = name;
        column.info.displayLabel = name;
        const int type = record.field(c).metaType().id();
        if (schema::isDateColumn(name))
            column.info.type = FieldType::Date;
        else if (type == QMetaType::Double)
            column.info.type = FieldType::Float;
        else if (type == QMetaType::LongLong || type == QMetaType::Int)
            column.info.type = FieldType::Integer;
        m_columns.push_back(std::move(column));
    }
    m_hasKey = keyColumn >= 0;
    CellSink sink(m_columns);
    int physical = 0;
    for (; q.next(); ++physical) {
        m_keys.push_back(m_hasKey ? q.value(keyColumn).toLongLong() : 0);
        size_t col = 0;
        for (int c = 0; c < record.count(); ++c) {
            if (c == keyColumn)
                continue;
            const QVariant value = q.value(c);
            if (value.isNull())
                sink.addNull(col);
            else if (m_columns[col].info.type == FieldType::Float)
                sink.addNumber(col, value.toDouble());
            else if (m_columns[col].info.type == FieldType::Integer)
                sink.addInteger(col, value.toLongLong());
            else
                sink.addText(col, value.toString(), physical);
            ++col;
        }
    }
    if (q.lastError().isValid()) {
        const QString why = server::connectionLost(db, q.lastError())
                                ? server::lostText(db)
                                : q.lastError().databaseText();
        clearData();
        emit resetDone();
        throw DatabaseError(why);
    }
    finishLoad(values, {}, physical);
}

void Dataset::finishLoad(const QVariantList& values, const ChangeStamp& stamp, int rows,
                         std::vector<int> order)
{
    for (Column& column : m_columns) {
        fitWithRoom(column.textIds);
        fitWithRoom(column.pool.chars);
        fitWithRoom(column.pool.starts);
        fitWithRoom(column.numbers);
        fitWithRoom(column.integers);
        fitWithRoom(column.nulls);
    }
    fitWithRoom(m_keys);
    m_readInfos.clear();
    for (const Column& column : m_columns)
        m_readInfos.push_back(column.info);
    m_values = values;
    m_loadedStamp = stamp;
    m_fieldOrder.resize(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i)
        m_fieldOrder[i] = static_cast<int>(i);
    if (order.empty()) {
        order.resize(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i)
            order[static_cast<size_t>(i)] = i;
    }
    m_order = std::move(order);
    m_sqlOrder = m_order;
    m_state = State::Browse;
    m_current = 0;
    m_eof = m_order.empty();
    emit resetDone();
    emit currentChanged(m_current);
}
