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
#include <cmath>
#include <sqlite3.h>
#include <string>

namespace {

const QString kClosed = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString kEmpty = QStringLiteral("Cannot perform this operation on an empty dataset");

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

} // namespace

void Dataset::resetFields()
{
    for (size_t i = 0; i < m_columns.size(); ++i) {
        m_columns[i].info = m_readInfos[i];
        m_fieldOrder[i] = static_cast<int>(i);
    }
}

QSqlDatabase Dataset::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

void Dataset::requireOpen() const
{
    if (m_state == State::Inactive)
        throw DatabaseError(kClosed);
}

void Dataset::requireBrowse() const
{
    requireOpen();
    if (m_state != State::Browse)
        throw DatabaseError(QStringLiteral("Dataset not in browse mode"));
}

void Dataset::requireRecord() const
{
    requireOpen();
    if (m_order.empty())
        throw DatabaseError(kEmpty);
}

void Dataset::open()
{
    // Copies: close() clears what open() is given.
    const QString statement = m_sql;
    const QVariantList values = m_values;
    open(statement, values);
}

void Dataset::open(const QString& statement, const QVariantList& values)
{
    std::unique_ptr<Reading> kept = keepAside(statement);
    close();
    m_kept = std::move(kept);
    m_sql = statement;
    m_values = values;
    load(statement, values);
}

void Dataset::openTable()
{
    open(QStringLiteral("select * from ") + quoted(m_table));
}

void Dataset::openForAppend()
{
    open(QStringLiteral("select * from ") + quoted(m_table) + QStringLiteral(" where 1=0"));
}

void Dataset::execSql(const QString& statement, const QVariantList& values)
{
    close();
    m_sql = statement;
    m_values = values;
    QSqlDatabase db = database();
    const ChangeStamp before = changeStamp();
    // An insert ending in "returning id" gives its key on both engines.
    QSqlQuery q = sql::exec(db, statement, values);
    m_lastInsertId =
        q.isSelect() && q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
    q.finish(); // its changes are counted once it is finished
    recordStatement(before, statement);
}

void Dataset::close()
{
    m_kept.reset();
    if (m_state == State::Inactive)
        return;
    emit aboutToReset();
    clearData();
    m_state = State::Inactive;
    emit resetDone();
}

void Dataset::clearData()
{
    ++m_contentVersion;
    dropFilling();
    m_columns.clear();
    m_fieldOrder.clear();
    m_keys.clear();
    m_order.clear();
    m_sqlOrder.clear();
    m_buffer.clear();
    m_changed.clear();
    m_current = 0;
    m_eof = true;
    m_hasKey = false;
    m_keyResultColumn = -1;
    m_sortText.clear();
    m_readInfos.clear();
    m_values.clear();
    m_loadedStamp = {};
}

int Dataset::recordCount() const
{
    requireOpen();
    return static_cast<int>(m_order.size());
}

void Dataset::setCurrent(int position)
{
    m_current = position;
    emit currentChanged(position);
}

void Dataset::first()
{
    requireOpen();
    ensureFilled();
    m_eof = m_order.empty();
    setCurrent(0);
}

void Dataset::next()
{
    requireOpen();
    if (m_current + 1 < static_cast<int>(m_order.size()))
        setCurrent(m_current + 1);
    else
        m_eof = true;
}

void Dataset::prior()
{
    requireOpen();
    if (isUnread(m_current - 1))
        ensureFilled();
    m_eof = m_order.empty();
    if (m_current > 0)
        setCurrent(m_current - 1);
}

void Dataset::last()
{
    requireOpen();
    m_eof = m_order.empty();
    setCurrent(m_order.empty() ? 0 : static_cast<int>(m_order.size()) - 1);
}

void Dataset::moveTo(int position)
{
    requireOpen();
    if (position < 0 || position >= static_cast<int>(m_order.size()))
        return;
    if (isUnread(position))
        ensureFilled();
    m_eof = false;
    setCurrent(position);
}

const FieldInfo& Dataset::field(int index) const
{
    return m_columns[static_cast<size_t>(m_fieldOrder.at(static_cast<size_t>(index)))].info;
}

int Dataset::fieldIndex(const QString& name) const
{
    for (size_t i = 0; i < m_fieldOrder.size(); ++i)
        if (m_columns[static_cast<size_t>(m_fieldOrder[i])].info.name.compare(
                name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

int Dataset::physicalColumn(const QString& name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    return m_fieldOrder[static_cast<size_t>(index)];
}

void Dataset::moveField(const QString& name, int position)
{
    const int from = fieldIndex(name);
    if (from < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    const int physical = m_fieldOrder[static_cast<size_t>(from)];
    m_fieldOrder.erase(m_fieldOrder.begin() + from);
    position = std::clamp(position, 0, static_cast<int>(m_fieldOrder.size()));
    m_fieldOrder.insert(m_fieldOrder.begin() + position, physical);
}

void Dataset::setDisplayLabel(const QString& name, const QString& label)
{
    m_columns[static_cast<size_t>(physicalColumn(name))].info.displayLabel = label;
}

void Dataset::setFieldVisible(const QString& name, bool visible)
{
    m_columns[static_cast<size_t>(physicalColumn(name))].info.visible = visible;
}

QVariant Dataset::cell(int physicalRow, int column) const
{
    const Column& col = m_columns[static_cast<size_t>(column)];
    if (col.nulls[static_cast<size_t>(physicalRow)])
        return {};
    switch (col.info.type) {
    case FieldType::Float: {
        const double number = col.numbers[static_cast<size_t>(physicalRow)];
        if (numbertext::isText(number))
            return col.pool.view(numbertext::textId(number)).toString();
        return number;
    }
    case FieldType::Integer:
        return col.integers[static_cast<size_t>(physicalRow)];
    default:
        return col.pool.view(col.textIds[static_cast<size_t>(physicalRow)]).toString();
    }
}

void Dataset::storeCell(int physicalRow, int column, const QVariant& value)
{
    Column& col = m_columns[static_cast<size_t>(column)];
    const bool null = value.isNull();
    col.nulls[static_cast<size_t>(physicalRow)] = null;
    switch (col.info.type) {
    case FieldType::Float:
        col.numbers[static_cast<size_t>(physicalRow)] = null ? 0.0 : value.toDouble();
        break;
    case FieldType::Integer:
        col.integers[static_cast<size_t>(physicalRow)] = null ? 0 : value.toLongLong();
        break;
    default:
        col.textIds[static_cast<size_t>(physicalRow)] = null ? 0 : col.pool.add(value.toString());
        break;
    }
}

QVariant Dataset::value(const QString& name) const
{
    requireOpen();
    physicalColumn(name); // throws with the field's name when it is missing
    return value(fieldIndex(name));
}

QVariant Dataset::value(int index) const
{
    requireOpen();
    if (index < 0 || index >= fieldCount())
        throw DatabaseError(QStringLiteral("%1: Field not found").arg(objectName()));
    const int column = m_fieldOrder[static_cast<size_t>(index)];
    if (m_state == State::Edit || m_state == State::Insert)
        return m_buffer[column];
    if (m_order.empty())
        return {};
    if (isUnread(m_current))
        ensureFilled();
    return cell(m_order[static_cast<size_t>(m_current)], column);
}

QString Dataset::text(const QString& name) const
{
    const QVariant v = value(name);
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Double)
        return formats::general(v.toDouble());
    return v.toString();
}

int Dataset::asInteger(const QString& name) const
{
    return value(name).toInt();
}

bool Dataset::isNull(const QString& name) const
{
    return value(name).isNull();
}

QVariant Dataset::valueAt(int position, int index) const
{
    if (position < 0 || position >= static_cast<int>(m_order.size()) || index < 0 ||
        index >= fieldCount())
        return {};
    if (isUnread(position))
        ensureFilled();
    return cell(m_order[static_cast<size_t>(position)], m_fieldOrder[static_cast<size_t>(index)]);
}

QVariant Dataset::valueAt(int position, const QString& name) const
{
    return valueAt(position, fieldIndex(name));
}

void Dataset::edit()
{
    requireRecord();
    ensureFilled();
    if (m_state == State::Edit)
        return;
    requireBrowse();
    if (!m_hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    const int row = m_order[static_cast<size_t>(m_current)];
    m_buffer.resize(static_cast<int>(m_columns.size()));
    for (int c = 0; c < static_cast<int>(m_columns.size()); ++c)
        m_buffer[c] = cell(row, c);
    m_changed.assign(m_columns.size(), false);
    m_state = State::Edit;
}

void Dataset::append()
{
    requireBrowse();
    ensureFilled();
    if (m_table.isEmpty() || !m_hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    m_buffer = QVector<QVariant>(static_cast<int>(m_columns.size()));
    m_changed.assign(m_columns.size(), false);
    m_state = State::Insert;
}

void Dataset::setValue(const QString& name, const QVariant& value)
{
    requireOpen();
    if (m_state != State::Edit && m_state != State::Insert)
        throw DatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    const int column = physicalColumn(name);
    m_buffer[column] = value;
    m_changed[static_cast<size_t>(column)] = true;
}

void Dataset::cancel()
{
    if (m_state == State::Edit || m_state == State::Insert) {
        m_state = State::Browse;
        m_buffer.clear();
        m_changed.clear();
    }
}

void Dataset::post()
{
    requireOpen();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    QSqlDatabase db = database();
    QStringList names;
    QVariantList values;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        if (!m_changed[c])
            continue;
        names << quoted(m_columns[c].info.name);
        values << m_buffer[static_cast<int>(c)];
    }

    if (m_state == State::Edit) {
        const int row = m_order[static_cast<size_t>(m_current)];
        if (!names.isEmpty()) {
            QStringList sets;
            for (const QString& n : std::as_const(names))
                sets << n + QStringLiteral("=?");
            values << m_keys[static_cast<size_t>(row)];
            const ChangeStamp before = changeStamp();
            QSqlQuery q =
                sql::exec(db,
                          QStringLiteral("update ") + quoted(m_table) + QStringLiteral(" set ") +
                              sets.join(u',') + QStringLiteral(" where ") + quoted(m_keyColumn) +
                              QStringLiteral("=?"),
                          values);
            if (q.numRowsAffected() == 0)
                throw DatabaseError(QStringLiteral(
                    "Row cannot be located for updating. Some values may have been changed "
                    "since it was last read."));
            recordOwnWrite(before, m_keys[static_cast<size_t>(row)]);
        }
        for (size_t c = 0; c < m_columns.size(); ++c)
            if (m_changed[c])
                storeCell(row, static_cast<int>(c), m_buffer[static_cast<int>(c)]);
        m_state = State::Browse;
        m_buffer.clear();
        ++m_contentVersion;
        emit rowChanged(m_current);
        return;
    }

    // Insert: one statement; the new row joins this snapshot at its end.
    QStringList marks;
    for (qsizetype i = 0; i < names.size(); ++i)
        marks << QStringLiteral("?");
    QString statement = QStringLiteral("insert into ") + quoted(m_table);
    if (names.isEmpty())
        statement += QStringLiteral(" default values");
    else
        statement += QStringLiteral(" (") + names.join(u',') + QStringLiteral(") values (") +
                     marks.join(u',') + u')';
    const bool server = sql::isServer(db);
    if (server)
        statement += QStringLiteral(" returning ") + quoted(m_keyColumn);
    const ChangeStamp before = changeStamp();
    QSqlQuery q = sql::exec(db, statement, values);
    const qint64 newKey =
        server && q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
    recordOwnWrite(before, newKey);
    const int row = appendBlankRow();
    m_keys[static_cast<size_t>(row)] = newKey;
    for (size_t c = 0; c < m_columns.size(); ++c)
        storeCell(row, static_cast<int>(c), m_buffer[static_cast<int>(c)]);
    m_state = State::Browse;
    m_buffer.clear();
    const int position = static_cast<int>(m_order.size());
    emit aboutToInsertRow(position);
    m_order.push_back(row);
    m_sqlOrder.push_back(row);
    ++m_contentVersion;
    emit rowInserted(position);
    m_eof = false;
    setCurrent(position);
}

void Dataset::deleteCurrent()
{
    requireRecord();
    requireBrowse();
    ensureFilled();
    if (!m_hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    const int row = m_order[static_cast<size_t>(m_current)];
    QSqlDatabase db = database();
    const ChangeStamp before = changeStamp();
    const QSqlQuery q =
        sql::exec(db,
                  QStringLiteral("delete from ") + quoted(m_table) + QStringLiteral(" where ") +
                      quoted(m_keyColumn) + QStringLiteral("=?"),
                  {m_keys[static_cast<size_t>(row)]});
    // Another program (or PC) deleted it first: say so and leave the listing as it is.
    if (q.numRowsAffected() == 0)
        throw DatabaseError(
            QStringLiteral("要删除的记录已不在账本中（可能已被其他用户删除），未作删除。"));
    recordOwnWrite(before, m_keys[static_cast<size_t>(row)]);
    const int position = m_current;
    emit aboutToRemoveRow(position);
    m_order.erase(m_order.begin() + position);
    m_sqlOrder.erase(std::find(m_sqlOrder.begin(), m_sqlOrder.end(), row));
    ++m_contentVersion;
    emit rowRemoved(position);
    if (m_order.empty()) {
        m_eof = true;
        setCurrent(0);
    } else {
        setCurrent(std::min(position, static_cast<int>(m_order.size()) - 1));
    }
}

qint64 Dataset::key() const
{
    requireRecord();
    if (isUnread(m_current))
        ensureFilled();
    return m_keys[static_cast<size_t>(m_order[static_cast<size_t>(m_current)])];
}

bool Dataset::locateKey(qint64 key)
{
    requireOpen();
    ensureFilled();
    for (size_t i = 0; i < m_order.size(); ++i) {
        if (m_keys[static_cast<size_t>(m_order[i])] == key) {
            m_eof = false;
            setCurrent(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void Dataset::setSort(const QString& sortText)
{
    requireOpen();
    ensureFilled();
    m_sortText = sortText;
    applySort();
}

void Dataset::applySort()
{
    const int currentRow = m_order.empty() ? -1 : m_order[static_cast<size_t>(m_current)];
    emit aboutToReset();
    if (m_sortText.trimmed().isEmpty()) {
        m_order = m_sqlOrder;
    } else {
        QString name = m_sortText.trimmed();
        bool descending = false;
        if (name.endsWith(QStringLiteral(" DESC"), Qt::CaseInsensitive)) {
            descending = true;
            name.chop(5);
            name = name.trimmed();
        }
        const int column = physicalColumn(name);
        const Column& col = m_columns[static_cast<size_t>(column)];
        m_order = m_sqlOrder;
        // Texts compare by rank: the distinct values are sorted once, not on every comparison.
        std::vector<quint32> rank;
        if (col.isText()) {
            std::vector<quint32> ids(col.pool.size());
            for (quint32 i = 0; i < ids.size(); ++i)
                ids[i] = i;
            std::sort(ids.begin(), ids.end(), [&col](quint32 l, quint32 r) {
                return QtPrivate::compareStrings(col.pool.view(l), col.pool.view(r)) < 0;
            });
            rank.resize(ids.size());
            quint32 value = 0;
            for (size_t i = 0; i < ids.size(); ++i) {
                if (i > 0 && col.pool.view(ids[i - 1]) != col.pool.view(ids[i]))
                    ++value;
                rank[ids[i]] = value;
            }
        }
        // Nulls sort first ascending; ties keep the statement's order.
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
            std::stable_sort(m_order.begin(), m_order.end(),
                             [&less](int l, int r) { return less(r, l); });
        else
            std::stable_sort(m_order.begin(), m_order.end(), less);
    }
    if (currentRow >= 0) {
        const auto it = std::find(m_order.begin(), m_order.end(), currentRow);
        m_current = static_cast<int>(it - m_order.begin());
    }
    emit resetDone();
    emit currentChanged(m_current);
}

Dataset::Bookmark Dataset::bookmark() const
{
    requireOpen();
    ensureFilled();
    return m_order.empty() ? -1 : m_order[static_cast<size_t>(m_current)];
}

bool Dataset::bookmarkValid(Bookmark bookmark) const
{
    ensureFilled();
    return isOpen() && bookmark >= 0 &&
           std::find(m_order.begin(), m_order.end(), static_cast<int>(bookmark)) != m_order.end();
}

void Dataset::gotoBookmark(Bookmark bookmark)
{
    requireOpen();
    ensureFilled();
    const auto it = std::find(m_order.begin(), m_order.end(), static_cast<int>(bookmark));
    if (it == m_order.end())
        throw DatabaseError(QStringLiteral("Record not found"));
    m_eof = false;
    setCurrent(static_cast<int>(it - m_order.begin()));
}

double Dataset::sum(const QString& name) const
{
    requireOpen();
    ensureFilled();
    const Column& col = m_columns[static_cast<size_t>(physicalColumn(name))];
    double total = 0.0;
    for (int row : m_order) {
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

Dataset::Totals Dataset::totals(int fieldIndex) const
{
    Totals t;
    if (m_state == State::Inactive || fieldIndex < 0 || fieldIndex >= fieldCount())
        return t;
    ensureFilled();
    const Column& col =
        m_columns[static_cast<size_t>(m_fieldOrder[static_cast<size_t>(fieldIndex)])];
    for (int row : m_order) {
        const size_t r = static_cast<size_t>(row);
        if (col.nulls[r])
            continue;
        const double amount = col.info.type == FieldType::Float ? col.numbers[r]
                              : col.info.type == FieldType::Integer
                                  ? double(col.integers[r])
                                  : cell(row, int(&col - m_columns.data())).toDouble();
        if (numbertext::isText(amount))
            continue;
        t.sum.add(amount);
        if (std::fabs(amount) > std::fabs(t.largest) ||
            (std::fabs(amount) == std::fabs(t.largest) && amount < 0))
            t.largest = amount;
    }
    return t;
}
