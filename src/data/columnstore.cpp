#include "data/columnstore.h"

#include "data/numbertext.h"
#include "data/sql.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A read column gives back what doubling left unused, but keeps room for the rows the program
// adds later: a vector that must grow by one row copies all of a big book's rows.
template <typename Vector> void fitWithRoomFor(Vector& v)
{
    const size_t room = 256 + v.size() / 64;
    if (v.capacity() >= v.size() + room && v.capacity() <= v.size() + 2 * room)
        return;
    Vector fitted;
    fitted.reserve(v.size() + room);
    fitted.insert(fitted.end(), v.begin(), v.end());
    v.swap(fitted);
}

// Each distinct text's rank in the given order of the pool's texts; equal texts share one.
template <typename Less>
std::vector<quint32> ranks(const TextPool& pool, quint32 first, Less less, quint32& next)
{
    std::vector<quint32> ids(pool.size());
    for (quint32 i = 0; i < ids.size(); ++i)
        ids[i] = i;
    std::sort(ids.begin(), ids.end(), less);
    std::vector<quint32> rank(ids.size());
    next = first;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0 && pool.view(ids[i - 1]) != pool.view(ids[i]))
            ++next;
        rank[ids[i]] = next;
    }
    return rank;
}

} // namespace

quint32 TextPool::add(QStringView text)
{
    chars.insert(chars.end(), text.utf16(), text.utf16() + text.size());
    starts.push_back(static_cast<quint32>(chars.size()));
    return size() - 1;
}

quint32 TextPool::add(QByteArrayView utf8)
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

void ColumnStore::addColumn(const FieldInfo& info)
{
    Column column;
    column.info = info;
    if (column.info.displayLabel.isEmpty())
        column.info.displayLabel = info.name;
    m_columns.push_back(std::move(column));
}

int ColumnStore::columnIndex(const QString& name) const
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].info.name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

QVariant ColumnStore::cell(int row, int column) const
{
    const Column& col = m_columns[static_cast<size_t>(column)];
    const size_t r = static_cast<size_t>(row);
    if (col.nulls[r])
        return {};
    switch (col.info.type) {
    case FieldType::Float:
        if (numbertext::isText(col.numbers[r]))
            return col.pool.view(numbertext::textId(col.numbers[r])).toString();
        return col.numbers[r];
    case FieldType::Integer:
        return col.integers[r];
    default:
        return col.pool.view(col.textIds[r]).toString();
    }
}

void ColumnStore::setCell(int row, int column, const QVariant& value)
{
    Column& col = m_columns[static_cast<size_t>(column)];
    const size_t r = static_cast<size_t>(row);
    const bool null = value.isNull();
    col.nulls[r] = null;
    switch (col.info.type) {
    case FieldType::Float:
        col.numbers[r] = null ? 0.0 : value.toDouble();
        break;
    case FieldType::Integer:
        col.integers[r] = null ? 0 : value.toLongLong();
        break;
    default:
        col.textIds[r] = null ? 0 : col.pool.add(value.toString());
        break;
    }
}

int ColumnStore::appendBlankRow(qint64 key)
{
    const int row = rowCount();
    m_keys.push_back(key);
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

void ColumnStore::clear()
{
    m_columns.clear();
    m_keys.clear();
}

void ColumnStore::reserve(size_t rows)
{
    m_keys.reserve(rows);
    for (Column& column : m_columns) {
        column.nulls.reserve(rows);
        if (column.info.type == FieldType::Float)
            column.numbers.reserve(rows);
        else if (column.info.type == FieldType::Integer)
            column.integers.reserve(rows);
        else
            column.textIds.reserve(rows);
    }
}

void ColumnStore::fitWithRoom()
{
    for (Column& column : m_columns) {
        fitWithRoomFor(column.textIds);
        fitWithRoomFor(column.pool.chars);
        fitWithRoomFor(column.pool.starts);
        fitWithRoomFor(column.numbers);
        fitWithRoomFor(column.integers);
        fitWithRoomFor(column.nulls);
    }
    fitWithRoomFor(m_keys);
}

void ColumnStore::permute(const std::vector<int>& order)
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

ColumnStore ColumnStore::selectRows(const std::vector<int>& rows) const
{
    ColumnStore result;
    const size_t count = m_keys.size();
    auto copy = [&](const auto& from, auto& to) {
        if (from.size() != count)
            return; // a column's vector of another type
        to.reserve(rows.size());
        for (int row : rows)
            to.push_back(from[static_cast<size_t>(row)]);
    };
    copy(m_keys, result.m_keys);
    result.m_columns.reserve(m_columns.size());
    for (const Column& column : m_columns) {
        Column& to = result.m_columns.emplace_back();
        to.info = column.info;
        to.pool = column.pool; // the texts stay where the ids point
        to.nonText = column.nonText;
        copy(column.nulls, to.nulls);
        copy(column.numbers, to.numbers);
        copy(column.integers, to.integers);
        copy(column.textIds, to.textIds);
    }
    return result;
}

std::vector<int> ColumnStore::orderLikeIndex(int column, bool descending) const
{
    // Rows come in key order; a stable count by the value's rank gives (value, key), nulls
    // first, which is how the index holds them. Descending is the same walked backwards.
    const Column& col = m_columns[static_cast<size_t>(column)];
    quint32 value = 0;
    const std::vector<quint32> rank = ranks(
        col.pool, 1, // 0 is the nulls'
        [&col](quint32 l, quint32 r) {
            return sql::compareStored(col.pool.view(l), col.pool.view(r)) < 0;
        },
        value);
    const int rows = rowCount();
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

void ColumnStore::sortBy(std::vector<int>& order, int column, bool descending) const
{
    const Column& col = m_columns[static_cast<size_t>(column)];
    // Texts compare by rank: the distinct values are sorted once, not on every comparison.
    std::vector<quint32> rank;
    if (col.isText()) {
        quint32 last = 0;
        rank = ranks(
            col.pool, 0,
            [&col](quint32 l, quint32 r) {
                return QtPrivate::compareStrings(col.pool.view(l), col.pool.view(r)) < 0;
            },
            last);
    }
    // Nulls sort first ascending; ties keep the order given.
    auto less = [&col, &rank](int l, int r) {
        const size_t lr = static_cast<size_t>(l);
        const size_t rr = static_cast<size_t>(r);
        const bool ln = col.nulls[lr];
        const bool rn = col.nulls[rr];
        if (ln || rn)
            return ln && !rn;
        switch (col.info.type) {
        case FieldType::Float:
            return numbertext::less(col.numbers[lr], col.numbers[rr]);
        case FieldType::Integer:
            return col.integers[lr] < col.integers[rr];
        default:
            return rank[col.textIds[lr]] < rank[col.textIds[rr]];
        }
    };
    if (descending)
        std::stable_sort(order.begin(), order.end(), [&less](int l, int r) { return less(r, l); });
    else
        std::stable_sort(order.begin(), order.end(), less);
}

int ColumnStore::compareRows(int left, int right, int column) const
{
    // Ties come in key order: the index on the ordering column holds the key after the value.
    const int result = compareValues(left, right, column);
    if (result != 0)
        return result;
    const size_t l = static_cast<size_t>(left);
    const size_t r = static_cast<size_t>(right);
    return (m_keys[l] > m_keys[r]) - (m_keys[l] < m_keys[r]);
}

int ColumnStore::compareValues(int left, int right, int column) const
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
    return result;
}

bool ColumnStore::amountAt(int row, int column, double& amount) const
{
    const Column& col = m_columns[static_cast<size_t>(column)];
    const size_t r = static_cast<size_t>(row);
    if (col.nulls[r])
        return false;
    amount = col.info.type == FieldType::Float     ? col.numbers[r]
             : col.info.type == FieldType::Integer ? double(col.integers[r])
                                                   : cell(row, column).toDouble();
    return !numbertext::isText(amount);
}

ColumnStore::Totals ColumnStore::totals(int column, const std::vector<int>& rows) const
{
    Totals t;
    double amount = 0;
    for (int row : rows)
        if (amountAt(row, column, amount))
            t.take(amount);
    return t;
}

double ColumnStore::sum(int column, const std::vector<int>& rows) const
{
    const Column& col = m_columns[static_cast<size_t>(column)];
    double total = 0.0;
    for (int row : rows) {
        const size_t r = static_cast<size_t>(row);
        if (col.nulls[r])
            continue;
        if (col.info.type == FieldType::Float)
            total += numbertext::isText(col.numbers[r]) ? 0.0 : col.numbers[r];
        else if (col.info.type == FieldType::Integer)
            total += static_cast<double>(col.integers[r]);
        else
            total += col.pool.view(col.textIds[r]).toDouble();
    }
    return total;
}

// Gives each distinct UTF-8 text of one column a number, in order of first sight, while a
// result is read; the texts are kept only as long as the reading lasts.
class ColumnStore::Appender::Interner
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

ColumnStore::Appender::Appender(ColumnStore& store) : m_store(store)
{
    for (size_t i = 0; i < store.m_columns.size(); ++i)
        m_interners.push_back(std::make_unique<Interner>());
}

ColumnStore::Appender::~Appender() = default;

void ColumnStore::Appender::addNull(size_t column)
{
    Column& col = m_store.m_columns[column];
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

bool ColumnStore::Appender::stopsInterning(size_t column)
{
    // Looked at once, after the first rows: a column of nearly all different texts (a running
    // number in the summary) gains nothing from the lookups.
    constexpr int kProbeRows = 4096;
    const Column& col = m_store.m_columns[column];
    if (m_store.rowCount() - 1 != kProbeRows || col.pool.size() <= kProbeRows * 9 / 10)
        return false;
    m_interners[column].reset();
    return true;
}

void ColumnStore::Appender::addText(size_t column, const QString& text)
{
    Column& col = m_store.m_columns[column];
    col.nulls.push_back(false);
    if (!m_interners[column]) {
        col.textIds.push_back(col.pool.add(QStringView(text)));
        return;
    }
    bool added = false;
    const QByteArrayView bytes(reinterpret_cast<const char*>(text.utf16()),
                               text.size() * qsizetype(sizeof(char16_t)));
    const quint32 id = m_interners[column]->find(bytes, col.pool.size(), added);
    if (added)
        col.pool.add(QStringView(text));
    col.textIds.push_back(id);
    stopsInterning(column);
}

void ColumnStore::Appender::addNumberText(size_t column, QByteArrayView utf8)
{
    Column& col = m_store.m_columns[column];
    col.nulls.push_back(false);
    col.numbers.push_back(numbertext::box(col.pool.add(utf8)));
}

void ColumnStore::Appender::addText(size_t column, QByteArrayView utf8)
{
    Column& col = m_store.m_columns[column];
    col.nulls.push_back(false);
    if (!m_interners[column]) {
        col.textIds.push_back(col.pool.add(utf8));
        return;
    }
    bool added = false;
    const quint32 id = m_interners[column]->find(utf8, col.pool.size(), added);
    if (added)
        col.pool.add(utf8);
    col.textIds.push_back(id);
    stopsInterning(column);
}
