#pragma once

#include "data/changejournal.h"
#include "data/columnstore.h"
#include "data/filler.h"
#include "data/listingquery.h"
#include "data/listingtotals.h"

#include <QObject>
#include <QSqlDatabase>

#include <memory>

class BookWriter;
struct RowChange;

// The book a listing reads and whose writes it follows: the connection, its journal and its
// writer, and the table whose rows it lists with their hidden key.
struct BookLink
{
    QString connectionName;
    ChangeJournal* journal = nullptr;
    BookWriter* writer = nullptr;
    QString table;
    QString key;
    QSqlDatabase db() const { return QSqlDatabase::database(connectionName, false); }
};

// The rows of one listing in their order, kept current: a reading is put back as a fresh one
// would leave it when the book is unchanged or changed only by this program's own writes (those
// rows are read again one by one); the base listing is kept aside while a search is shown; a big
// whole-table listing is filled in between events; the writer's changes and deletes of rows it
// holds show at once. The model over it follows its signals.
class Listing : public QObject
{
    Q_OBJECT

public:
    // What one reading holds: its rows, the order the statement gave them, what was read and the
    // book it came from; enough to bring it back.
    struct Reading
    {
        ColumnStore store;
        std::vector<int> sqlOrder;
        ListingQuery query;
        ChangeStamp stamp;
        qint64 seq = -1; // the book's history number before it was read; -1: none
        bool hasKey = false;
        // The footers' figures over the rows shown, as of a content version.
        mutable ListingTotals totals;
    };

    explicit Listing(QObject* parent = nullptr);
    ~Listing() override;

    // Without a journal and a writer of the data module, private ones on the connection.
    void setBook(const BookLink& book);
    const BookLink& book() const { return m_book; }

    void open(const ListingQuery& query);
    // When the rows shown are what query would read now, puts them back as a fresh open() would
    // leave them and returns true (nothing is read, or only the rows this program wrote since).
    bool reopenUnchanged(const ListingQuery& query);
    // Takes in what other copies of the program wrote since the reading, as the book's history
    // names it: only those rows are read, and they move in and out of the rows shown one by one
    // (the current record stays current). A listing that cannot follow so is read again. False
    // when it cannot be done now (rows still being filled in): ask again later. Never throws.
    bool takeInOthers();
    // A reading of query is kept aside while others replace it, for reopenUnchanged(query).
    void setKeptQuery(const ListingQuery& query);
    void close();
    bool isOpen() const { return m_open; }
    const ListingQuery& query() const { return m_shown.query; }

    int recordCount() const; // throws when closed
    // Changes whenever the rows or cells may have changed (a reading, a write, a close); a sort
    // or a put-back of an unchanged reading leaves it alone.
    quint64 contentVersion() const { return m_contentVersion; }
    // In-memory sort: a column name, optionally followed by " DESC". Empty: the statement's order.
    void setSort(const QString& sortText);
    QString sort() const { return m_sortText; }

    // A listing being filled in: rows not yet read are blank; finishFilling() reads them now.
    bool isFilling() const { return m_fill != nullptr; }
    // The reading of every row of the table in column's ascending order, shown or kept aside,
    // when one is held whole; null otherwise. Its stamp says how current it is.
    const Reading* wholeReading(const QString& column) const;
    bool isUnread(int position) const;
    void finishFilling();

signals:
    void aboutToReset();
    void resetDone(); // opened, closed, sorted or reordered
    void aboutToRemoveRow(int position);
    void rowRemoved(int position);
    void aboutToInsertRow(int position);
    void rowInserted(int position);
    void rowChanged(int position);
    void currentChanged(int position);
    // The rows being filled in are all read: the same rows in the same places.
    void filled();

protected:
    const Reading& reading() const { return m_shown; }
    const std::vector<int>& order() const { return m_order; }
    int current() const { return m_current; }
    bool atEnd() const { return m_eof; }
    void setCurrent(int position, bool atEnd);
    // A row this listing's own cursor inserted joins it at the end and becomes current.
    void appendRow(qint64 key, const QVector<QVariant>& cells);
    // The reading shown was replaced: the field layout and any edit start afresh.
    virtual void readingReplaced() {}

private:
    void load(const ListingQuery& query, bool fillAllowed);
    void show(Reading&& reading, std::vector<int> order);
    void follow(const QList<RowChange>& changes);
    // A filling ended: done, or to be read again (filled in again when fillAgain).
    void fillEnded(bool done, bool fillAgain);
    void rereadWhole(bool fillAllowed);

    BookLink m_book;
    std::unique_ptr<ChangeJournal> m_ownJournal; // without a data module's
    BookWriter* m_ownWriter = nullptr;
    Reading m_shown;
    std::vector<int> m_order; // positions -> rows of the store
    std::unique_ptr<Reading> m_kept;
    std::optional<ListingQuery> m_keptQuery;
    std::unique_ptr<Filler> m_fill;
    int m_blankRow = -1; // the row every unread position points at
    QString m_sortText;
    quint64 m_contentVersion = 0;
    int m_current = 0;
    bool m_eof = true;
    bool m_open = false;
};

// Throws DatabaseError when listing is closed: what a closed listing answers to every question.
void requireOpen(const Listing& listing);
