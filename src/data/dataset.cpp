#include "data/dataset.h"

#include "data/bookwriter.h"
#include "data/errors.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

Dataset::Dataset(QObject* parent) : RecordCursor(parent) {}

Dataset::~Dataset() = default;

void Dataset::setConnectionName(const QString& name)
{
    BookLink link = book();
    link.connectionName = name;
    setBook(link);
}

void Dataset::setTable(const QString& table)
{
    BookLink link = book();
    link.table = table;
    setBook(link);
}

void Dataset::setKeyColumn(const QString& column)
{
    BookLink link = book();
    link.key = column;
    setBook(link);
}

ListingQuery Dataset::queryOf(const QString& statement, const QVariantList& values) const
{
    return ListingQuery::fromStatement(statement, values, book().table, book().key);
}

void Dataset::setSql(const QString& statement)
{
    m_sql = statement;
    m_values.clear();
}

void Dataset::open()
{
    // Copies: a close clears what open() is given.
    const QString statement = m_sql;
    const QVariantList values = m_values;
    open(statement, values);
}

void Dataset::open(const QString& statement, const QVariantList& values)
{
    const ListingQuery query = queryOf(statement, values);
    m_sql = statement;
    m_values = values;
    Listing::open(query);
}

bool Dataset::reopenUnchanged(const QString& statement, const QVariantList& values)
{
    return Listing::reopenUnchanged(queryOf(statement, values));
}

void Dataset::setKeptStatement(const QString& statement)
{
    setKeptQuery(queryOf(statement, {}));
}

void Dataset::openTable()
{
    Listing::open(ListingQuery::wholeTable(book().table, book().key));
}

void Dataset::openForAppend()
{
    Listing::open(ListingQuery::noRows(book().table, book().key));
}

void Dataset::execSql(const QString& statement, const QVariantList& values)
{
    close();
    m_sql = statement;
    m_values = values;
    m_lastInsertId = writer()->execute(sql::writtenTable(statement), statement, values);
}

void Dataset::readingReplaced()
{
    RecordCursor::readingReplaced();
    m_state = State::Browse;
    m_buffer.clear();
    m_changed.clear();
    if (isOpen()) {
        m_sql = query().toSql();
        m_values = query().values();
    } else {
        m_values.clear();
    }
}

std::optional<QVariant> Dataset::bufferedValue(int column) const
{
    if (m_state != State::Edit && m_state != State::Insert)
        return std::nullopt;
    return m_buffer.value(column);
}

void Dataset::requireBrowse() const
{
    requireOpen(*this);
    if (m_state != State::Browse)
        throw DatabaseError(QStringLiteral("Dataset not in browse mode"));
}

void Dataset::edit()
{
    requireRecord();
    finishFilling();
    if (m_state == State::Edit)
        return;
    requireBrowse();
    if (!reading().hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    m_opened = rowValues();
    m_buffer.clear();
    for (const auto& [column, value] : m_opened)
        m_buffer << value;
    m_changed.assign(static_cast<size_t>(m_buffer.size()), false);
    m_state = State::Edit;
}

void Dataset::append()
{
    requireBrowse();
    finishFilling();
    if (table().isEmpty() || !reading().hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    m_buffer = QVector<QVariant>(reading().store.columnCount());
    m_changed.assign(static_cast<size_t>(m_buffer.size()), false);
    m_state = State::Insert;
}

void Dataset::setValue(const QString& name, const QVariant& value)
{
    requireOpen(*this);
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
    requireOpen(*this);
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    const ColumnStore& store = reading().store;
    RowValues values;
    for (int c = 0; c < store.columnCount(); ++c)
        if (m_changed[static_cast<size_t>(c)])
            values.append({store.column(c).info.name, m_buffer[c]});

    if (m_state == State::Edit) {
        // The writer announces the change; this listing (and any other holding the row) shows
        // it at once.
        if (!values.isEmpty()) {
            writer()->modify(table(), key(), m_opened, values);
        }
        cancel();
        return;
    }
    // Insert: one statement; the new row joins this snapshot at its end.
    const qint64 newKey = writer()->add(table(), values);
    const QVector<QVariant> cells = m_buffer;
    cancel();
    appendRow(newKey, cells);
}

void Dataset::deleteCurrent()
{
    requireRecord();
    requireBrowse();
    finishFilling();
    if (!reading().hasKey)
        throw DatabaseError(QStringLiteral("Dataset is read-only"));
    // Another program (or PC) may have deleted it first: the writer says so and the listing
    // stays as it is.
    writer()->remove(table(), key(), rowValues());
}

ChangeStamp Dataset::changeStamp() const
{
    return book().journal->stamp();
}

bool Dataset::tableUnchangedSince(const ChangeStamp& since, const QString& table) const
{
    return book().journal->tableUnchangedSince(since, table, changeStamp());
}

bool Dataset::tableUnchangedSince(const ChangeStamp& since, const QString& table,
                                  const ChangeStamp& until) const
{
    return book().journal->tableUnchangedSince(since, table, until);
}

bool Dataset::hasIndexOn(const QString& table, const QString& column) const
{
    sqlite3* handle = sqlite::handleOf(book().db());
    return handle && sqlite::hasIndexOn(handle, table, column);
}
