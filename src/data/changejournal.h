#pragma once

#include <QString>

#include <deque>
#include <vector>

// Changes whenever the book's data may have changed since: a write by this connection, a commit
// by any other, or a new connection. Zero (connection 0) where it cannot be told (a closed
// connection, a server busy with others' transactions): then nothing counts as unchanged.
//
// A server book counts transactions instead (connection kServer): changes is the next
// transaction number the server will give, and transaction this connection's own one while it
// writes. A transaction that changes anything takes a number, so between two stamps every number
// given out is a commit (or a rollback) somewhere; a stamp is only taken while no other
// transaction is running, so none of them can commit unseen later.
struct ChangeStamp
{
    static constexpr qint64 kServer = -1;
    qint64 connection = 0;
    qint64 dataVersion = 0;
    qint64 changes = 0;
    qint64 transaction = 0;
    bool operator==(const ChangeStamp&) const = default;
};

// The program's own writes on one connection: for each, the connection's change count before
// and after it, the table and the one row it changed. A reading taken before them can then take
// them in row by row instead of being read again, as long as nothing else changed the book.
// One journal per connection, owned by the data module; it keeps the latest writes only.
class ChangeJournal
{
public:
    // The connection's stamp; connectionName empty makes a journal that only notes.
    explicit ChangeJournal(QString connectionName = {}) : m_connection(std::move(connectionName)) {}

    ChangeStamp stamp() const; // throws DatabaseError when the book cannot say

    // A write that changed rows of table between the two stamps: key is the one row's key, or 0
    // when its rows are not known one by one (then rows is -1). Kept only when the connection
    // alone made exactly those changes.
    void note(const ChangeStamp& before, const ChangeStamp& after, const QString& table, qint64 key,
              int rows = 1);
    // The keys of table's rows written since, when every change between since and now is a noted
    // one (false otherwise, keys then unusable).
    bool ownWritesSince(const ChangeStamp& since, const ChangeStamp& now, const QString& table,
                        std::vector<qint64>& keys) const;
    // True when no row of table can have changed between the two stamps: nothing was written, or
    // only this program's own statements on other tables.
    bool tableUnchangedSince(const ChangeStamp& since, const QString& table,
                             const ChangeStamp& until) const;
    // True when the only change between since and until is the one row written in between
    // (after other tables' own writes, if any).
    bool onlyRowWrittenSince(const ChangeStamp& since, const QString& table,
                             const ChangeStamp& before, const ChangeStamp& after) const;

    // How many writes are kept; a reading older than all of them is read again.
    static constexpr size_t kLength = 256;

private:
    ChangeStamp serverStamp() const;
    bool ownServerWritesSince(const ChangeStamp& since, const ChangeStamp& now,
                              const QString& table, std::vector<qint64>& keys) const;

    struct Note
    {
        qint64 connection = 0;
        qint64 changesBefore = 0;
        qint64 changesAfter = 0;
        QString table;
        qint64 key = 0; // 0: rows not known one by one
    };

    QString m_connection;
    std::deque<Note> m_notes;
};
