#include "data/rowsource.h"

#include "data/cursorrows.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

namespace {

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

class SqliteRows : public RowSource
{
public:
    SqliteRows(sqlite3* handle, const QString& statement, const QVariantList& values,
               const QString& keyColumn)
        : m_handle(handle), m_stmt(handle, statement, values)
    {
        // The first step runs before the columns are described: an expression column's type
        // is judged by its first value.
        m_rc = m_stmt.step();
        QStringList names;
        for (int c = 0; c < columnCount(); ++c)
            names << QString::fromUtf8(sqlite3_column_name(m_stmt.get(), c));
        m_keyColumn = keyIndex(names, keyColumn);
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt.get()); }

    void describe(ColumnStore& store) override
    {
        for (int c = 0; c < columnCount(); ++c) {
            if (c == m_keyColumn)
                continue;
            FieldInfo info;
            info.name = QString::fromUtf8(sqlite3_column_name(m_stmt.get(), c));
            info.type = typeFromDeclaration(
                info.name, sqlite3_column_decltype(m_stmt.get(), c),
                m_rc == SQLITE_ROW ? sqlite3_column_type(m_stmt.get(), c) : SQLITE_NULL);
            store.addColumn(info);
        }
    }

    Step read(ColumnStore::Appender& cells, const QDeadlineTimer& deadline) override
    {
        sqlite3_stmt* stmt = m_stmt.get();
        const int columns = columnCount();
        const bool timed = !deadline.isForever();
        for (int rows = 1; m_rc == SQLITE_ROW; ++rows) {
            cells.beginRow(m_keyColumn >= 0 ? sqlite3_column_int64(stmt, m_keyColumn) : 0);
            size_t col = 0;
            for (int c = 0; c < columns; ++c) {
                if (c == m_keyColumn)
                    continue;
                const int type = sqlite3_column_type(stmt, c);
                if (type == SQLITE_NULL) {
                    cells.addNull(col++);
                    continue;
                }
                switch (cells.type(col)) {
                case FieldType::Float:
                    if (type == SQLITE_TEXT) // 'abc' among the amounts stays as it was stored
                        cells.addNumberText(col, QByteArrayView(reinterpret_cast<const char*>(
                                                                    sqlite3_column_text(stmt, c)),
                                                                sqlite3_column_bytes(stmt, c)));
                    else
                        cells.addNumber(col, sqlite3_column_double(stmt, c));
                    break;
                case FieldType::Integer:
                    cells.addInteger(col, sqlite3_column_int64(stmt, c));
                    break;
                default: {
                    if (type != SQLITE_TEXT)
                        cells.markNonText(col);
                    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                    cells.addText(col, QByteArrayView(data, sqlite3_column_bytes(stmt, c)));
                    break;
                }
                }
                ++col;
            }
            m_rc = m_stmt.step();
            // The deadline is looked at now and then: the clock costs more than a row.
            if (timed && (rows & 255) == 0 && m_rc == SQLITE_ROW && deadline.hasExpired())
                return Step::More;
        }
        if (m_rc == SQLITE_DONE)
            return Step::Done;
        m_error = sqlite::lastError(m_handle);
        return Step::Error;
    }

private:
    sqlite3* m_handle;
    sqlite::Statement m_stmt;
    int m_rc = SQLITE_DONE;
};

// A server statement with a column of a type the cursor reader leaves alone is read through
// Qt's driver, forward only; its texts join the same pools.
class ServerRows : public RowSource
{
public:
    ServerRows(const QSqlDatabase& db, const QString& statement, const QVariantList& values,
               const QString& keyColumn)
        : m_db(db)
    {
        m_query = sql::exec(m_db, statement, values);
        m_record = m_query.record();
        QStringList names;
        for (int c = 0; c < m_record.count(); ++c)
            names << m_record.fieldName(c);
        m_keyColumn = keyIndex(names, keyColumn);
    }

    int columnCount() const override { return m_record.count(); }

    void describe(ColumnStore& store) override
    {
        for (int c = 0; c < m_record.count(); ++c) {
            if (c == m_keyColumn)
                continue;
            FieldInfo info;
            info.name = m_record.fieldName(c);
            const int type = m_record.field(c).metaType().id();
            if (schema::isDateColumn(info.name))
                info.type = FieldType::Date;
            else if (type == QMetaType::Double)
                info.type = FieldType::Float;
            else if (type == QMetaType::LongLong || type == QMetaType::Int)
                info.type = FieldType::Integer;
            store.addColumn(info);
        }
    }

    Step read(ColumnStore::Appender& cells, const QDeadlineTimer& deadline) override
    {
        const bool timed = !deadline.isForever();
        for (int rows = 1; m_query.next(); ++rows) {
            cells.beginRow(m_keyColumn >= 0 ? m_query.value(m_keyColumn).toLongLong() : 0);
            size_t col = 0;
            for (int c = 0; c < m_record.count(); ++c) {
                if (c == m_keyColumn)
                    continue;
                const QVariant value = m_query.value(c);
                if (value.isNull())
                    cells.addNull(col);
                else if (cells.type(col) == FieldType::Float)
                    cells.addNumber(col, value.toDouble());
                else if (cells.type(col) == FieldType::Integer)
                    cells.addInteger(col, value.toLongLong());
                else
                    cells.addText(col, value.toString());
                ++col;
            }
            if (timed && (rows & 255) == 0 && deadline.hasExpired())
                return Step::More;
        }
        if (!m_query.lastError().isValid())
            return Step::Done;
        m_error = server::connectionLost(m_db, m_query.lastError())
                      ? server::lostText(m_db)
                      : m_query.lastError().databaseText();
        return Step::Error;
    }

private:
    QSqlDatabase m_db;
    QSqlQuery m_query;
    QSqlRecord m_record;
};

} // namespace

RowSource::~RowSource() = default;

int RowSource::keyIndex(const QStringList& names, const QString& keyColumn)
{
    if (keyColumn.isEmpty())
        return -1;
    for (qsizetype c = 0; c < names.size(); ++c)
        if (names[c].compare(keyColumn, Qt::CaseInsensitive) == 0)
            return static_cast<int>(c);
    return -1;
}

std::unique_ptr<RowSource> RowSource::open(const QSqlDatabase& db, const QString& statement,
                                           const QVariantList& values, const QString& keyColumn,
                                           Size size)
{
    if (sql::isServer(db)) {
        if (std::unique_ptr<RowSource> rows =
                cursorrows::open(db, statement, values, keyColumn, size == Size::Few))
            return rows;
        return std::make_unique<ServerRows>(db, statement, values, keyColumn);
    }
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Connection is closed"));
    sqlite3* handle = sqlite::handleOf(db);
    if (!handle)
        throw DatabaseError(QStringLiteral("Not an SQLite connection"));
    return std::make_unique<SqliteRows>(handle, statement, values, keyColumn);
}
