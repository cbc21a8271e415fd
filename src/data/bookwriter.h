#pragma once

#include "data/cashrecord.h"
#include "data/changejournal.h"
#include "data/sql.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>

#include <memory>
#include <optional>

// One row written, as announced once its transaction is committed.
struct RowChange
{
    enum class Kind { Added, Changed, Removed, Rows };
    Kind kind = Kind::Rows;
    QString table;
    qint64 key = 0;   // 0 for Rows: a statement whose rows are not known one by one
    RowValues before; // the row as the book held it (Changed, Removed)
    RowValues after;  // the values written (Added: those given; Changed: the columns set)
    ChangeStamp from; // the connection's stamps around the write, for the journal's questions
    ChangeStamp to;
    // The column's value after the write: as written, else as it was.
    QVariant valueAfter(const QString& column) const;
};

// The one path through which the program adds, changes and deletes rows of the book. Each write
// runs in a transaction, is noted in the connection's journal and, once committed, announced
// (written()); the listings and the entry panel's name lists follow the announcement. A change
// and a delete are given the row as the operator opened it.
class BookWriter : public QObject
{
    Q_OBJECT

public:
    // Writes through the connection named; journal may be null (nothing is noted).
    BookWriter(QString connectionName, ChangeJournal* journal, QObject* parent = nullptr);

    // Several writes in one transaction, announced together when it commits.
    class Batch;

    qint64 add(const QString& table, const RowValues& values);
    void modify(const QString& table, qint64 key, const RowValues& opened, const RowValues& values);
    void remove(const QString& table, qint64 key, const RowValues& opened);
    qint64 add(const CashRecord& record);
    void modify(qint64 key, const CashRecord& opened, const CashRecord& record);
    void remove(qint64 key, const CashRecord& opened);
    // A statement on table whose rows are not known one by one (the login log, the users): run
    // as it stands, noted and announced for the table; gives the key an insert made.
    qint64 execute(const QString& table, const QString& statement, const QVariantList& values);

    QSqlDatabase connection() const;
    ChangeJournal* journal() const { return m_journal; }

    // 撤销上一步: takes back the newest batch this writer committed in this run and not yet
    // taken back (an add is deleted, a change's old values return, a delete is restored under
    // its key), in one batch "撤销", and gives the name of what was taken back. Throws
    // QuenvaleError when there is nothing to take back or the step holds what cannot be (a
    // closing, the users); ConflictError or MissingRowError, nothing written, when another user
    // changed one of its rows since. A refused step is dropped: the next undo goes further back.
    QString undoLast();
    bool canUndo() const { return !m_steps.isEmpty(); }

    // The key column of the tables whose rows are written one by one.
    static QString keyColumn() { return QStringLiteral("id"); }

signals:
    // After each commit: the rows written, in order.
    void written(const QList<RowChange>& changes);

private:
    // Keeps a committed batch for undoLast(), unless it was an undo itself.
    void remember(const QString& action, const QList<RowChange>& changes);
    // history: the change history's own write, noted in the journal but not announced.
    void committed(const QList<RowChange>& changes, const RowChange* history = nullptr);

    struct Step
    {
        QString action;
        QList<RowChange> changes;
    };

    QString m_connection;
    ChangeJournal* m_journal;
    QList<Step> m_steps; // this run's batches, oldest first, for undoLast()
};

class BookWriter::Batch
{
public:
    // Begins the transaction; action names the batch in the change history ("收款登记"; empty:
    // named after the kind of each change).
    explicit Batch(BookWriter& writer, QString action = {});
    ~Batch(); // rolls back unless committed
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // A row of data or settlements dated in a closed month is refused with ClosedMonthError
    // (the old and the new date of a change both count); nothing is then written.
    qint64 add(const QString& table, const RowValues& values);
    // Throws MissingRowError when the row is no longer in the book; nothing is then written.
    void modify(const QString& table, qint64 key, const RowValues& opened, const RowValues& values);
    void remove(const QString& table, qint64 key, const RowValues& opened);
    // Puts a deleted row back under the key it had (keys are never given twice, so no other
    // row can hold it); noted and announced as an add.
    void restore(const QString& table, qint64 key, const RowValues& values);

    // The book's facts (rows of bookinfo). closedThrough() reads the last closed month as the
    // book holds it now, once per batch; on a server under a shared lock that keeps a closing
    // out until this batch ends. lockFacts() takes that lock alone (exclusive), so what is read
    // next stays true until the commit; setFact() takes it and is the one way facts are written.
    QString closedThrough();
    void lockFacts();
    void setFact(const QString& name, const QString& value);

    // Appends the rows written to the change history as one batch, commits, notes the writes in
    // the journal and announces them.
    void commit();

    QSqlDatabase& connection() { return m_db; }

private:
    RowValues stored(const QString& table, qint64 key, const QString& missing);
    ChangeStamp stamp() const;
    // Throws ClosedMonthError when table holds records by date and day is in a closed month.
    void checkOpen(const QString& table, const QVariant& day);

    BookWriter& m_writer;
    QString m_action;
    QSqlDatabase m_db;
    std::unique_ptr<sql::Transaction> m_transaction;
    QList<RowChange> m_changes;
    enum class FactsLock { None, Shared, Exclusive };
    FactsLock m_factsLock = FactsLock::None;
    std::optional<QString> m_closedThrough;
};
