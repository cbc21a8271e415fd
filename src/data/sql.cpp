#include "data/sql.h"

#include "data/errors.h"
#include "data/server.h"

#include <QAtomicInteger>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>

#include <algorithm>
#include <sqlite3.h>

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

bool isServer(const QSqlDatabase& db)
{
    return db.driverName() == u"QPSQL";
}

QString dialect(const QSqlDatabase& db, const QString& statement)
{
    if (!isServer(db))
        return statement;
    static const QRegularExpression like(QStringLiteral("\\blike\\b"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression user(QStringLiteral("\\busername=\\?"));
    QString text = statement;
    if (text.compare(u"BEGIN IMMEDIATE", Qt::CaseInsensitive) == 0)
        return QStringLiteral("BEGIN");
    text.replace(like, QStringLiteral("ilike"));
    text.replace(user, QStringLiteral("lower(username)=lower(?)"));
    // Nulls come first in an ascending order and last in a descending one, as in the local
    // book; records of one day keep the order they were added in (the local book's day1 index
    // holds them by key).
    static const QRegularExpression order(
        QStringLiteral("\\border by (\"?\\w+\"?)(\\s+desc)?(?=\\s*(,|\\)|$))"),
        QRegularExpression::CaseInsensitiveOption);
    QString ordered;
    qsizetype from = 0;
    for (auto it = order.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool descending = !m.captured(2).isEmpty();
        ordered +=
            QStringView(text).mid(from, m.capturedStart() - from) + QStringLiteral("order by ") +
            m.captured(1) +
            (descending ? QStringLiteral(" desc nulls last") : QStringLiteral(" nulls first")) +
            (m.captured(1) == u"day1" ? QStringLiteral(", id") : QString());
        from = m.capturedEnd();
    }
    ordered += QStringView(text).mid(from);
    text = ordered;
    return text;
}

QSqlQuery exec(QSqlDatabase& db, const QString& statement, const QVariantList& values)
{
    if (isServer(db))
        server::reconnectIfLost(db);
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Connection is closed"));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // A server prepares only statements that take values (no DDL, no transaction control).
    const bool direct = values.isEmpty() && isServer(db);
    bool ran = false;
    if (direct) {
        ran = query.exec(dialect(db, statement));
    } else {
        if (!query.prepare(dialect(db, statement))) {
            if (server::connectionLost(db, query.lastError()))
                throw DatabaseError(server::lostText(db));
            throw DatabaseError(errorText(query.lastError()));
        }
        for (const QVariant& value : values)
            query.addBindValue(value);
        ran = query.exec();
    }
    if (!ran) {
        if (server::connectionLost(db, query.lastError()))
            throw DatabaseError(server::lostText(db));
        throw DatabaseError(errorText(query.lastError()));
    }
    return query;
}

QSqlDatabase open(const QString& path, const QString& connectionName)
{
    if (server::isServerBook(path))
        return server::open(path, connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        throw DatabaseError(errorText(db.lastError()));
    return db;
}

void checkSameSqlite(QSqlDatabase& db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select sqlite_version(), sqlite_source_id()")) || !q.next())
        throw DatabaseError(errorText(q.lastError()));
    const QString driverVersion = q.value(0).toString();
    const QString driverSource = q.value(1).toString();
    const QString linkedVersion = QString::fromLatin1(sqlite3_libversion());
    const QString linkedSource = QString::fromLatin1(sqlite3_sourceid());
    if (driverVersion == linkedVersion && driverSource == linkedSource)
        return;
    throw DatabaseError(
        QStringLiteral("Qt 的 SQLite 数据库驱动使用的 SQLite 库（%1，%2）与本程序"
                       "链接的 SQLite 库（%3，%4）不是同一个，无法安全地读写账本。"
                       "请安装与 Qt 相配的 SQLite 库（libsqlite3）后再启动本程序。")
            .arg(driverVersion, driverSource.left(20), linkedVersion, linkedSource.left(20)));
}

QString quoted(const QString& identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString name(const QString& identifier)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z_][a-z0-9_]*$"));
    return plain.match(identifier).hasMatch() ? identifier : quoted(identifier);
}

QString writtenTable(const QString& statement)
{
    static const QRegularExpression written(
        QStringLiteral(R"re(^\s*(?:insert\s+into|update|delete\s+from)\s+"?(\w+)"?[\s(])re"),
        QRegularExpression::CaseInsensitiveOption);
    return written.match(statement).captured(1);
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
    try {
        m_db = open(path, m_name);
    } catch (...) {
        QSqlDatabase::removeDatabase(m_name);
        throw;
    }
}

ScopedConnection::~ScopedConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

int compareStored(QStringView left, QStringView right)
{
    // UTF-16 units compare as UTF-8 bytes (code points) once the surrogates, which stand for
    // code points above U+FFFF, are moved above the rest of the units.
    auto point = [](char16_t unit) {
        return unit < 0xD800 ? int(unit) : unit < 0xE000 ? unit + 0x2000 : unit - 0x800;
    };
    const qsizetype n = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t l = left.utf16()[i];
        const char16_t r = right.utf16()[i];
        if (l != r)
            return point(l) < point(r) ? -1 : 1;
    }
    return (left.size() > right.size()) - (left.size() < right.size());
}

} // namespace sql
