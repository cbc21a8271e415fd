#include "data/dataset.h"

#include "data/errors.h"
#include "data/formats.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlQuery>

#include <algorithm>
#include <sqlite3.h>

namespace {

const QString kClosed = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString kEmpty = QStringLiteral("Cannot perform this operation on an empty dataset");

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

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

} // namespace

Dataset::Dataset(QObject* parent) : QObject(parent) {}

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
    open(m_sql, m_values);
}

void Dataset::open(const QString& statement, const QVariantList& values)
{
    close();
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
    open(QStringLiteral("select * from ") + quoted(m_table) + QStringLiteral(" where 0"));
}

void Dataset::execSql(const QString& statement, const QVariantList& values)
{
    close();
    m_sql = statement;
    m_values = values;
    QSqlDatabase db = database();
    m_lastInsertId = sql::exec(db, statement, values).lastInsertId().toLongLong();
}

void Dataset::close()
{
    if (m_state == State::Inactive)
        return;
    emit aboutToReset();
    clearData();
    m_state = State::Inactive;
    emit resetDone();
}

void Dataset::clearData()
{
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
    m_sortText.clear();
}

void Dataset::load(const QString& statement, const QVariantList& values)
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Connection is closed"));
    sqlite3* handle = handleOf(db);
    if (!handle)
        throw DatabaseError(QStringLiteral("Not an SQLite connection"));

    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = statement.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), static_cast<int>(utf8.size()), &stmt,
                           nullptr) != SQLITE_OK)
        throw DatabaseError(lastError(handle));
    struct Finalizer
    {
        sqlite3_stmt* s;
        ~Finalizer() { sqlite3_finalize(s); }
    } finalizer{stmt};
    bindAll(handle, stmt, values);

    emit aboutToReset();
    clearData();

    const int columnCount = sqlite3_column_count(stmt);
    int keyColumn = -1;
    int rc = sqlite3_step(stmt);
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
        column.info.type =
            typeFromDeclaration(name, sqlite3_column_decltype(stmt, c),
                                rc == SQLITE_ROW ? sqlite3_column_type(stmt, c) : SQLITE_NULL);
        m_columns.push_back(std::move(column));
    }
    m_hasKey = keyColumn >= 0;

    // Repeated texts (kinds, dates, markers, frequent names) share one copy. A column whose
    // first thousand values are mostly different is not worth the lookups.
    QHash<QString, QString> interned;
    std::vector<bool> internColumn(m_columns.size(), true);
    std::vector<int> internHits(m_columns.size(), 0);
    int physical = 0;
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt), ++physical) {
        int target = 0;
        m_keys.push_back(m_hasKey ? sqlite3_column_int64(stmt, keyColumn) : 0);
        for (int c = 0; c < columnCount; ++c) {
            if (c == keyColumn)
                continue;
            Column& column = m_columns[static_cast<size_t>(target++)];
            const int type = sqlite3_column_type(stmt, c);
            const bool null = type == SQLITE_NULL;
            column.nulls.push_back(null);
            switch (column.info.type) {
            case FieldType::Float:
                column.numbers.push_back(null ? 0.0 : sqlite3_column_double(stmt, c));
                break;
            case FieldType::Integer:
                column.integers.push_back(null ? 0 : sqlite3_column_int64(stmt, c));
                break;
            default: {
                QString text;
                if (!null) {
                    // SQLite keeps UTF-8: one conversion straight into the QString.
                    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                    const int bytes = sqlite3_column_bytes(stmt, c);
                    text = QString::fromUtf8(data, bytes);
                    const size_t col = static_cast<size_t>(target - 1);
                    if (internColumn[col]) {
                        auto it = interned.constFind(text);
                        if (it != interned.constEnd()) {
                            text = it.value();
                            ++internHits[col];
                        } else if (interned.size() < 200000) {
                            interned.insert(text, text);
                        }
                        if (physical == 1000 && internHits[col] < 500)
                            internColumn[col] = false;
                    }
                }
                column.texts.push_back(std::move(text));
                break;
            }
            }
        }
    }
    if (rc != SQLITE_DONE) {
        clearData();
        emit resetDone();
        throw DatabaseError(lastError(handle));
    }

    m_fieldOrder.resize(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i)
        m_fieldOrder[i] = static_cast<int>(i);
    m_order.resize(static_cast<size_t>(physical));
    for (int i = 0; i < physical; ++i)
        m_order[static_cast<size_t>(i)] = i;
    m_sqlOrder = m_order;
    m_state = State::Browse;
    m_current = 0;
    m_eof = m_order.empty();
    emit resetDone();
    emit currentChanged(m_current);
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
    case FieldType::Float:
        return col.numbers[physicalRow];
    case FieldType::Integer:
        return col.integers[physicalRow];
    default:
        return col.texts[physicalRow];
    }
}

void Dataset::storeCell(int physicalRow, int column, const QVariant& value)
{
    Column& col = m_columns[static_cast<size_t>(column)];
    const bool null = value.isNull();
    col.nulls[static_cast<size_t>(physicalRow)] = null;
    switch (col.info.type) {
    case FieldType::Float:
        col.numbers[physicalRow] = null ? 0.0 : value.toDouble();
        break;
    case FieldType::Integer:
        col.integers[physicalRow] = null ? 0 : value.toLongLong();
        break;
    default:
        col.texts[physicalRow] = null ? QString() : value.toString();
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
    return cell(m_order[static_cast<size_t>(position)], m_fieldOrder[static_cast<size_t>(index)]);
}

QVariant Dataset::valueAt(int position, const QString& name) const
{
    return valueAt(position, fieldIndex(name));
}

void Dataset::edit()
{
    requireRecord();
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
        }
        for (size_t c = 0; c < m_columns.size(); ++c)
            if (m_changed[c])
                storeCell(row, static_cast<int>(c), m_buffer[static_cast<int>(c)]);
        m_state = State::Browse;
        m_buffer.clear();
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
    QSqlQuery q = sql::exec(db, statement, values);
    const qint64 newKey = q.lastInsertId().toLongLong();
    const int row = static_cast<int>(m_keys.size());
    m_keys.push_back(newKey);
    for (size_t c = 0; c < m_columns.size(); ++c) {
        Column& col = m_columns[c];
        col.nulls.push_back(true);
        switch (col.info.type) {
        case FieldType::Float:
            col.numbers.push_back(0.0);
            break;
        case FieldType::Integer:
            col.integers.push_back(0);
            break;
        default:
            col.texts.push_back(QString());
        }
        storeCell(row, static_cast<int>(c), m_buffer[static_cast<int>(c)]);
    }
    m_state = State::Browse;
    m_buffer.clear();
    const int position = static_cast<int>(m_order.size());
    emit aboutToInsertRow(position);
    m_order.push_back(row);
    m_sqlOrder.push_back(row);
    emit rowInserted(position);
    m_eof = false;
    setCurrent(position);
}

void Dataset::deleteCurrent()
{
    requireRecord();
    requireBrowse();
    if (!m_hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    const int row = m_order[static_cast<size_t>(m_current)];
    QSqlDatabase db = database();
    sql::exec(db,
              QStringLiteral("delete from ") + quoted(m_table) + QStringLiteral(" where ") +
                  quoted(m_keyColumn) + QStringLiteral("=?"),
              {m_keys[static_cast<size_t>(row)]});
    const int position = m_current;
    emit aboutToRemoveRow(position);
    m_order.erase(m_order.begin() + position);
    m_sqlOrder.erase(std::find(m_sqlOrder.begin(), m_sqlOrder.end(), row));
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
    return m_keys[static_cast<size_t>(m_order[static_cast<size_t>(m_current)])];
}

bool Dataset::locateKey(qint64 key)
{
    requireOpen();
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
        // Nulls sort first ascending; ties keep the statement's order.
        auto less = [&col](int l, int r) {
            const bool ln = col.nulls[static_cast<size_t>(l)];
            const bool rn = col.nulls[static_cast<size_t>(r)];
            if (ln || rn)
                return ln && !rn;
            switch (col.info.type) {
            case FieldType::Float:
                return col.numbers[l] < col.numbers[r];
            case FieldType::Integer:
                return col.integers[l] < col.integers[r];
            default:
                return QString::compare(col.texts[l], col.texts[r]) < 0;
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
    return m_order.empty() ? -1 : m_order[static_cast<size_t>(m_current)];
}

bool Dataset::bookmarkValid(Bookmark bookmark) const
{
    return isOpen() && bookmark >= 0 &&
           std::find(m_order.begin(), m_order.end(), static_cast<int>(bookmark)) != m_order.end();
}

void Dataset::gotoBookmark(Bookmark bookmark)
{
    requireOpen();
    const auto it = std::find(m_order.begin(), m_order.end(), static_cast<int>(bookmark));
    if (it == m_order.end())
        throw DatabaseError(QStringLiteral("Record not found"));
    m_eof = false;
    setCurrent(static_cast<int>(it - m_order.begin()));
}

double Dataset::sum(const QString& name) const
{
    requireOpen();
    const Column& col = m_columns[static_cast<size_t>(physicalColumn(name))];
    double total = 0.0;
    for (int row : m_order) {
        if (col.nulls[static_cast<size_t>(row)])
            continue;
        if (col.info.type == FieldType::Float)
            total += col.numbers[row];
        else if (col.info.type == FieldType::Integer)
            total += static_cast<double>(col.integers[row]);
        else
            total += col.texts[row].toDouble();
    }
    return total;
}
