#pragma once

#include "data/bookfacts.h"
#include "data/changejournal.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

class ColumnStore;
class Listing;
struct RowChange;

// The cash balance after each record of the whole book, whatever a listing shows: the opening
// balance plus what was received ("2") less what was paid ("5") on every record up to and
// including it, in date order, ties by key (as the book's day1 index holds them). A record
// counts its received and paid amounts as they stand, settlements made later included, on its
// own date. Worked out in one pass, from the listing's reading when that holds the whole book
// as it is now, else read; then moved on by each write the book's writer announces (a record
// added, changed or deleted costs one pass over the records dated after it) and by the opening
// balance set. Amounts count as money units (data/money.h), the sums exact.
class RunningBalance : public QObject
{
    Q_OBJECT

public:
    __extension__ typedef __int128 Units;

    // Follows the writer of listing's book; reads the book through its connection.
    explicit RunningBalance(Listing* listing, QObject* parent = nullptr);

    // Brings the balances up to date: worked out again when another program changed the
    // records since (on a server book: after bookMayHaveChanged()). Throws DatabaseError.
    void ensure();
    // The listing was read again: on a server book another PC may have written.
    void bookMayHaveChanged();
    bool isKnown() const { return m_built && m_offset.has_value(); }

    // The balance after the record of key; false when the record is not known.
    bool after(qint64 key, Units* units) const;
    // The balance of greatest size, for the width of a column of them.
    Units largest() const;
    int recordCount() const { return static_cast<int>(m_keys.size()); }

    // The balance rounded once to the cent (halves away from zero), in yuan and in the money
    // columns' general form ("1234.5", "-20", "0").
    static double yuan(Units units);
    static QString text(Units units);

signals:
    // The balances moved (a write, the opening balance, a new working out).
    void changed();

private:
    void follow(const QList<RowChange>& changes);
    bool ownWritesOnly() const; // since m_stamp, only own announced writes of records
    void rebuild();
    void readBook();
    void build(const ColumnStore& store, const std::vector<int>& order);
    void insert(qint64 key, const QVariant& day, qint64 delta);
    void remove(qint64 key);
    bool moveInPlace(qint64 key, const QVariant& day, qint64 delta); // false: it moves
    int rankOf(const QString& day);                                  // adds a day not seen yet
    int slotOf(qint64 key) const;
    void setSlot(qint64 key, int slot);
    void clearSlot(qint64 key);
    Units before(const QString& day) const; // the sum of the records dated before day

    Listing* m_listing;
    bool m_server = false;
    bool m_built = false;
    ChangeStamp m_stamp; // what the balances describe (a local book)
    // The records in date order: key, the day's rank in m_days (-1: no day), what the record
    // moved and the sum up to and including it.
    std::vector<qint64> m_keys;
    std::vector<qint32> m_ranks;
    std::vector<qint64> m_deltas;
    std::vector<Units> m_sums;
    std::vector<QString> m_days; // distinct days, in the book's order
    // Where each key is in date order: by key while keys are dense, else hashed.
    std::vector<qint32> m_dense;
    QHash<qint64, qint32> m_sparse;
    bool m_useDense = true;
    std::optional<bookfacts::Opening> m_opening;
    std::optional<Units> m_offset; // the opening balance less what came before its day
    mutable std::optional<Units> m_largest;
};
