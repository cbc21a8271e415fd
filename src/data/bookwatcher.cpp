#include "data/bookwatcher.h"

#include "data/changejournal.h"
#include "data/errors.h"
#include "data/sql.h"

#include <QTimer>

namespace {

const QString kChannel = QStringLiteral("quenvale_book");

} // namespace

BookWatcher::BookWatcher(QString connectionName, ChangeJournal* journal, QObject* parent)
    : QObject(parent), m_connection(std::move(connectionName)), m_journal(journal),
      m_check(new QTimer(this)), m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &BookWatcher::othersWrote);
    connect(m_check, &QTimer::timeout, this, &BookWatcher::check);
}

void BookWatcher::start()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return;
    m_server = sql::isServer(db);
    if (m_server) {
        subscribe();
        m_check->start(kServerCheckMs);
        return;
    }
    try {
        const ChangeStamp now = m_journal->stamp();
        m_connectionTag = now.connection;
        m_dataVersion = now.dataVersion;
    } catch (const DatabaseError&) {
        m_connectionTag = 0;
    }
    m_check->start(kLocalPollMs);
}

void BookWatcher::stop()
{
    m_check->stop();
    m_settle->stop();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (m_server && db.isOpen() && db.driver()->subscribedToNotifications().contains(kChannel))
        db.driver()->unsubscribeFromNotification(kChannel);
    if (db.isValid())
        disconnect(db.driver(), nullptr, this, nullptr);
}

bool BookWatcher::isWatching() const
{
    if (!m_check->isActive())
        return false;
    if (!m_server)
        return true;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    return db.isOpen() && db.driver()->subscribedToNotifications().contains(kChannel);
}

void BookWatcher::askAgainLater()
{
    m_settle->start(kSettleMs * 5);
}

void BookWatcher::subscribe()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen() || db.driver()->subscribedToNotifications().contains(kChannel))
        return;
    QSqlDriver* driver = db.driver();
    disconnect(driver, nullptr, this, nullptr);
    connect(driver, &QSqlDriver::notification, this,
            [this](const QString& name, QSqlDriver::NotificationSource source, const QVariant&) {
                notified(name, source);
            });
    // A connection that has just come back may have missed commits meanwhile.
    if (driver->subscribeToNotification(kChannel) && m_check->isActive())
        m_settle->start();
}

void BookWatcher::notified(const QString& name, QSqlDriver::NotificationSource source)
{
    // This program's own commits are followed by its writer's announcement.
    if (name != kChannel || source == QSqlDriver::SelfSource)
        return;
    if (!m_settle->isActive())
        m_settle->start();
}

void BookWatcher::check()
{
    if (m_server) {
        subscribe();
        return;
    }
    try {
        const ChangeStamp now = m_journal->stamp();
        const bool moved = now.connection == m_connectionTag && now.dataVersion != m_dataVersion;
        m_connectionTag = now.connection;
        m_dataVersion = now.dataVersion;
        if (moved && !m_settle->isActive())
            m_settle->start();
    } catch (const DatabaseError&) {
        m_connectionTag = 0; // the book cannot answer now; the next look starts afresh
    }
}

void BookWatcher::announce(QSqlDatabase& db)
{
    if (sql::isServer(db))
        sql::exec(db, QStringLiteral("select pg_notify('") + kChannel + QStringLiteral("', '')"));
}
