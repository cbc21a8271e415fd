#pragma once

#include "data/changejournal.h"
#include "data/columnstore.h"
#include "data/listingquery.h"

#include <QObject>

#include <memory>

class QTimer;
class RowSource;

// Filling in a big listing: the rows in view first, the rest between events.
//
// A whole-table listing of a million records takes more than a second to read. Its last rows
// (where the current record sits) and its row count are read first and shown; the rest is read
// in slices of a few milliseconds by key, each slice a short read of its own, so no lock is held
// between events and other programs can write meanwhile. Every slice checks that the table is
// still as it was when the reading began, or changed only by this program's own writes. The
// filler owns what it has read so far and its timer; the listing decides what to do with the
// whole reading when it is done.
class Filler : public QObject
{
    Q_OBJECT

public:
    // Listings of a table whose largest key reaches fromRows are filled in, firstRows of them
    // read at once. The defaults hold for the whole program; tests lower them.
    struct Settings
    {
        qint64 fromRows;
        int firstRows;
        // Rows a server slice asks for in one statement: about a slice's time (fewer statements
        // cost less than shorter ones).
        int serverSliceRows = 10000;
    };
    static Settings setDefaults(Settings settings); // gives the ones replaced

    enum class Step { More, Done, BookChanged };

    // The listing's count and last rows: the rows in view read into shown (in the listing's
    // order) and the count of all rows. Null when the listing is not filled in this way; then
    // shown is all there is when complete, else empty (read it in full instead).
    static std::unique_ptr<Filler> start(const QString& connectionName,
                                         const ChangeJournal& journal, const ListingQuery& query,
                                         const ChangeStamp& stamp, ColumnStore& shown, int& total,
                                         bool& complete);
    ~Filler() override;

    // Reads on between events (slices of a few milliseconds) until stopped or done.
    void resume(int afterMs = 0);
    void stop();
    // Reads one slice, or to the end (budgetMs < 0); throws DatabaseError.
    Step fillSome(int budgetMs);
    // The rows read, in the order the listing's statement gives them, once fillSome() said Done;
    // false when that order cannot be had this way (read the listing in full instead).
    bool takeWhole(ColumnStore& whole);
    // Whether whole's last rows are the ones shown, in their places.
    bool keepsShownRows(const ColumnStore& whole) const;
    const ChangeStamp& stamp() const { return m_stamp; }

signals:
    // A slice read between events ended the reading, or found the book changed by another.
    void stepped(Filler::Step step);

private:
    Filler(const QString& connectionName, const ChangeJournal& journal, const ListingQuery& query,
           const ChangeStamp& stamp);
    void fillOnIdle();

    QString m_connection;
    const ChangeJournal& m_journal;
    ListingQuery m_query;
    ChangeStamp m_stamp; // the book the shown rows come from
    ColumnStore m_whole; // built slice by slice in key order
    std::unique_ptr<ColumnStore::Appender> m_cells;
    qint64 m_lastKey;
    std::vector<qint64> m_tail;         // keys of the shown rows, in order
    std::unique_ptr<RowSource> m_ahead; // holds the next slice of a server's, read ahead
    int m_sliceRows;
    QTimer* m_timer;
};
