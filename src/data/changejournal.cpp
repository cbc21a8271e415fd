#include "data/changejournal.h"

#include "data/errors.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <atomic>
#include <set>
#include <sqlite3.h>

namespace {

std::atomic<qint64> nextConnectionTag{1};

void connectionTag(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int64(context, *static_cast<const qint64*>(sqlite3_user_data(context)));
}

} // namespace

ChangeStamp ChangeJournal::stamp() const
{
    if (m_connection.isEmpty())
        return {};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (sql::isServer(db))
        return serverStamp();
    sqlite3* handle = sqlite::handleOf(db);
    if (!handle)
        return {};
    static const char kStatement[] =
        "select quenvale_connection(), data_version, total_changes() from pragma_data_version";
    for (int attempt = 0; attempt < 2; ++attempt) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(handle, kStatement, -1, &stmt, nullptr) != SQLITE_OK) {
            // A connection not seen before: it gets a number of its own, so that a stamp of a
            // closed connection never matches one of its successor.
            auto* tag = new qint64(nextConnectionTag++);
            if (sqlite3_create_function_v2(
                    handle, "quenvale_connection", 0, SQLITE_UTF8, tag, connectionTag, nullptr,
                    nullptr, [](void* p) { delete static_cast<qint64*>(p); }) != SQLITE_OK)
                break;
            continue;
        }
        ChangeStamp stamp;
        const bool row = sqlite3_step(stmt) == SQLITE_ROW;
        if (row) {
            stamp.connection = sqlite3_column_int64(stmt, 0);
            stamp.dataVersion = sqlite3_column_int64(stmt, 1);
            stamp.changes = sqlite3_column_int64(stmt, 2);
        }
        sqlite3_finalize(stmt);
        if (row)
            return stamp;
        break;
    }
    throw DatabaseError(sqlite::lastError(handle));
}

ChangeStamp ChangeJournal::serverStamp() const
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return {};
    // Others' transactions still running could commit after a reading taken now, unseen by the
    // numbers: while there are any, nothing is known.
    QSqlQuery q = sql::exec(
        db, QStringLiteral("select txid_snapshot_xmax(s), coalesce(txid_current_if_assigned(), 0),"
                           " (select count(*) from txid_snapshot_xip(s) as x"
                           "  where x is distinct from txid_current_if_assigned())"
                           " from txid_current_snapshot() as s"));
    if (!q.next())
        throw DatabaseError(QStringLiteral("The server gave no transaction numbers"));
    if (q.value(2).toLongLong() != 0)
        return {};
    ChangeStamp stamp;
    stamp.connection = ChangeStamp::kServer;
    stamp.changes = q.value(0).toLongLong(); // one past the latest transaction ended
    stamp.transaction = q.value(1).toLongLong();
    // The own transaction counts as ended: the stamp is the book as its commit leaves it. Numbers
    // below it and not ended are others' transactions still running.
    if (stamp.transaction > stamp.changes)
        return {};
    stamp.changes = std::max(stamp.changes, stamp.transaction + 1);
    return stamp;
}

void ChangeJournal::note(const ChangeStamp& before, const ChangeStamp& after, const QString& table,
                         qint64 key, int rows)
{
    if (before.connection == ChangeStamp::kServer) {
        // The write's own transaction number; a statement that committed by itself (the login
        // log) took the one number given out in between, when no other was.
        qint64 transaction = after.transaction;
        if (transaction == 0 && rows != 0 && after.changes == before.changes + 1 &&
            before.transaction == 0)
            transaction = before.changes;
        const bool taken = transaction == before.transaction ||
                           (before.transaction == 0 && transaction >= before.changes &&
                            transaction < after.changes);
        if (after.connection != ChangeStamp::kServer || transaction == 0 || !taken)
            return;
        while (!m_notes.empty() &&
               (m_notes.size() >= kLength || m_notes.front().connection != ChangeStamp::kServer))
            m_notes.pop_front();
        m_notes.push_back({ChangeStamp::kServer, transaction, transaction + 1, table, key});
        return;
    }
    // Only changes by this connection alone, of the rows expected, are noted.
    if (before.connection == 0 || after.connection != before.connection ||
        after.dataVersion != before.dataVersion || after.changes == before.changes ||
        (rows >= 0 && after.changes != before.changes + rows))
        return;
    // A new connection makes the notes of the one before it useless.
    while (!m_notes.empty() &&
           (m_notes.size() >= kLength || m_notes.front().connection != before.connection))
        m_notes.pop_front();
    m_notes.push_back({before.connection, before.changes, after.changes, table, key});
}

bool ChangeJournal::ownWritesSince(const ChangeStamp& since, const ChangeStamp& now,
                                   const QString& table, std::vector<qint64>& keys) const
{
    if (since.connection == ChangeStamp::kServer)
        return ownServerWritesSince(since, now, table, keys);
    if (since.connection == 0 || now.connection != since.connection ||
        now.dataVersion != since.dataVersion || now.changes < since.changes)
        return false;
    // Every change since must be one of ours, one after another.
    qint64 reached = since.changes;
    for (const Note& w : m_notes) {
        if (w.connection != now.connection || w.changesBefore < reached)
            continue;
        if (w.changesBefore >= now.changes)
            break; // written after the stamp asked about
        if (w.changesBefore != reached)
            return false;
        reached = w.changesAfter;
        if (w.table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        if (w.key == 0)
            return false; // rows of this table, not known one by one
        keys.push_back(w.key);
    }
    return reached == now.changes;
}

bool ChangeJournal::tableUnchangedSince(const ChangeStamp& since, const QString& table,
                                        const ChangeStamp& until) const
{
    std::vector<qint64> keys;
    return since.connection != 0 &&
           (until == since || (ownWritesSince(since, until, table, keys) && keys.empty()));
}

bool ChangeJournal::ownServerWritesSince(const ChangeStamp& since, const ChangeStamp& now,
                                         const QString& table, std::vector<qint64>& keys) const
{
    if (now.connection != ChangeStamp::kServer || now.changes < since.changes)
        return false;
    // Every transaction number given out since must be one of this program's noted writes.
    std::set<qint64> ours;
    for (const Note& w : m_notes) {
        if (w.connection != ChangeStamp::kServer || w.changesBefore < since.changes ||
            w.changesBefore >= now.changes)
            continue;
        ours.insert(w.changesBefore);
        if (w.table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        if (w.key == 0)
            return false;
        if (std::find(keys.begin(), keys.end(), w.key) == keys.end())
            keys.push_back(w.key);
    }
    return static_cast<qint64>(ours.size()) == now.changes - since.changes;
}

bool ChangeJournal::onlyRowWrittenSince(const ChangeStamp& since, const QString& table,
                                        const ChangeStamp& before, const ChangeStamp& after) const
{
    if (since.connection == ChangeStamp::kServer) {
        // The write took the next number, or wrote within a transaction that already had one.
        const bool oneMore = before.transaction == 0 && after.transaction == before.changes &&
                             after.changes == before.changes + 1;
        const bool same = before.transaction != 0 && after.transaction == before.transaction &&
                          after.changes == before.changes;
        return tableUnchangedSince(since, table, before) &&
               after.connection == ChangeStamp::kServer && (oneMore || same);
    }
    return tableUnchangedSince(since, table, before) && after.connection == before.connection &&
           after.dataVersion == before.dataVersion && after.changes == before.changes + 1;
}
