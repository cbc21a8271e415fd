#include "data/sql.h"

#include "data/errors.h"

#include <QAtomicInteger>
#include <QSqlError>

namespace sql {

namespace {

QString errorText(const QSqlError& error)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return text;
}

} // namespace

QSqlQuery exec(QSqlDatabase& db, const QString& statement, const QVariantList& values)
{
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Connection is closed"));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw DatabaseError(errorText(query.lastError()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(errorText(query.lastError()));
    return query;
}

QSqlDatabase open(const QString& path, const QString& connectionName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        throw DatabaseError(errorText(db.lastError()));
    return db;
}

QString likeContains(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += u'%';
    for (QChar ch : text) {
        if (ch == u'%' || ch == u'_' || ch == u'\\')
            escaped += u'\\';
        escaped += ch;
    }
    escaped += u'%';
    return escaped;
}

Transaction::Transaction(QSqlDatabase& db) : m_db(db)
{
    exec(m_db, QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!m_done) {
        QSqlQuery rollback(m_db);
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
}

void Transaction::commit()
{
    exec(m_db, QStringLiteral("COMMIT"));
    m_done = true;
}

ScopedConnection::ScopedConnection(const QString& path)
{
    static QAtomicInteger<int> counter;
    m_name = QStringLiteral("quenvale-scoped-%1").arg(counter.fetchAndAddRelaxed(1));
    m_db = open(path, m_name);
}

ScopedConnection::~ScopedConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

} // namespace sql
