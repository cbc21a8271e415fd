#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QSqlDriver>

class ChangeJournal;
class QTimer;

// Tells this copy of the program when another copy (another PC) has committed a write to the
// book, so the listings can take those rows in. A server book's writers notify at their commit
// (PostgreSQL's NOTIFY, sent inside the writing transaction, so it arrives only once the rows
// can be read); a local book is asked for SQLite's data_version, which moves only with another
// connection's commit. A burst of commits is answered once.
class BookWatcher : public QObject
{
    Q_OBJECT

public:
    BookWatcher(QString connectionName, ChangeJournal* journal, QObject* parent = nullptr);

    // Starts watching the connection (again after a reconnect); stop() before it closes.
    void start();
    void stop();
    bool isWatching() const;
    // The answer could not be taken in now (the listing was busy): ask again shortly.
    void askAgainLater();

    // Inside the writer's transaction: its commit tells every other copy of the program that
    // watches the book. Nothing to do for a local book.
    static void announce(QSqlDatabase& db);

    // How long a burst of commits is gathered before the listings are told, and how often a
    // local book is asked.
    static constexpr int kSettleMs = 40;
    static constexpr int kLocalPollMs = 400;
    // How often a server connection's subscription is checked (a reconnect drops it).
    static constexpr int kServerCheckMs = 2000;

signals:
    // Another copy committed since the last time this was said.
    void othersWrote();

private:
    void notified(const QString& name, QSqlDriver::NotificationSource source);
    void check();
    void subscribe();

    QString m_connection;
    ChangeJournal* m_journal;
    QTimer* m_check;
    QTimer* m_settle;
    qint64 m_connectionTag = 0;
    qint64 m_dataVersion = 0;
    bool m_server = false;
};
