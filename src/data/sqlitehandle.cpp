#include "data/sqlitehandle.h"

#include "data/errors.h"
#include "data/sql.h"

#include <QSqlDriver>

#include <sqlite3.h>

namespace sqlite {

namespace {

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

} // namespace

sqlite3* handleOf(const QSqlDatabase& db)
{
    if (!db.isOpen())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

QString lastError(sqlite3* handle)
{
    return QString::fromUtf8(sqlite3_errmsg(handle));
}

Statement::Statement(sqlite3* handle, const QString& text, const QVariantList& values)
{
    const QByteArray utf8 = text.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), static_cast<int>(utf8.size()), &m_stmt,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        throw DatabaseError(lastError(handle));
    }
    try {
        bindAll(handle, m_stmt, values);
    } catch (...) {
        sqlite3_finalize(m_stmt);
        throw;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

int Statement::step()
{
    return sqlite3_step(m_stmt);
}

qint64 number(sqlite3* handle, const QString& text, const QVariantList& values, qint64 fallback)
{
    try {
        Statement stmt(handle, text, values);
        return stmt.step() == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : fallback;
    } catch (const DatabaseError&) {
        return fallback;
    }
}

qint64 largestKey(sqlite3* handle, const QString& table)
{
    return number(handle, QStringLiteral("select max(rowid) from ") + sql::quoted(table), {}, 0);
}

bool keyIsRowid(sqlite3* handle, const QString& table, const QString& key)
{
    return number(handle,
                  QStringLiteral("select sum(pk>0)=1 and sum(pk=1 and name=?2 collate nocase and "
                                 "upper(type)='INTEGER')=1 from pragma_table_info(?1)"),
                  {table, key}, 0) == 1;
}

bool hasIndexOn(sqlite3* handle, const QString& table, const QString& column)
{
    return number(
               handle,
               QStringLiteral("select 1 from pragma_index_list(?) as l, pragma_index_info(l.name) "
                              "as i where l.partial=0 and i.seqno=0 and i.name=? collate nocase"),
               {table, column}, 0) == 1;
}

} // namespace sqlite
