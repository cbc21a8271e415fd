#pragma once

#include "data/history.h"

#include <QSqlDatabase>
#include <QString>

// The recycle bin is read from the history, with no copy of its own: a deleted record stays in it
// while no restore (an add of its key) or purge follows its delete and the book holds no record
// of that key. Keys are never given twice, so a record comes back under its own key.
namespace recyclebin {

// The deletes of records still in the bin, newest first; before holds every value.
QList<history::Entry> list(QSqlDatabase& db);

// The columns of data among the values a delete took, the key left out.
history::Values recordValues(const history::Entry& removed);

// Inside a transaction that holds history::lock: throws ConflictError, saying what became of
// the record, unless it is still in the bin.
void checkStillBinned(QSqlDatabase& db, const history::Entry& removed);

// Takes the record out of the bin for good; only its history entry ("彻底删除") is written.
// The administrator's alone. Throws ConflictError when another user restored or purged it.
void purge(QSqlDatabase& db, const history::Entry& removed, const QString& user);

// Puts the record back with its values and key, with its history entry ("恢复记录"), in one
// transaction. Throws ConflictError when another user restored or purged it.
void restore(QSqlDatabase& db, const history::Entry& removed, const QString& user);

} // namespace recyclebin

// What 恢复记录 needs: the record of a delete back in the book with its key, and its history
// entry, in one transaction; ConflictError (nothing written) when it is no longer in the bin.
class RecordRestorer
{
public:
    virtual ~RecordRestorer() = default;
    virtual void restore(const history::Entry& removed) = 0;
};

// Restores through the named connection with recyclebin::restore, as the current operator.
class DirectRestorer : public RecordRestorer
{
public:
    explicit DirectRestorer(QString connectionName) : m_connection(std::move(connectionName)) {}
    void restore(const history::Entry& removed) override;

private:
    QString m_connection;
};
