#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

// The one boundary where statements meet SQLite: every failure becomes a DatabaseError
// carrying SQLite's text, and every value is a bound parameter.
namespace sql {

inline constexpr int kBusyTimeoutMs = 5000;

// Prepares and runs a statement with its values bound in order; throws on failure.
QSqlQuery exec(QSqlDatabase& db, const QString& statement, const QVariantList& values = {});

// Opens path as an SQLite database (which must exist) under a fresh connection name.
QSqlDatabase open(const QString& path, const QString& connectionName);

// Escapes %, _ and the escape character itself for a LIKE pattern with ESCAPE '\'.
QString likeContains(const QString& text);

// Rolls back unless commit() was reached.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase& db);
    ~Transaction();
    void commit();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    QSqlDatabase& m_db;
    bool m_done = false;
};

// A private connection for tools and tests; closed and removed on destruction.
class ScopedConnection
{
public:
    explicit ScopedConnection(const QString& path);
    ~ScopedConnection();
    QSqlDatabase& db() { return m_db; }
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;

private:
    QString m_name;
    QSqlDatabase m_db;
};

} // namespace sql
