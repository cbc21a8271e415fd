#pragma once

#include "cashbook/gridcolumns.h"

#include <QAbstractTableModel>
#include <QColor>

class Dataset;
class RunningBalance;

// A table model straight over the listing's snapshot: nothing is copied.
class ListingModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ListingModel(QObject* parent = nullptr);

    void setListing(Dataset* listing);
    Dataset* listing() const { return m_listing; }

    static const QStringList& fields();
    static const QStringList& titles();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The cell's text as the grid shows it.
    QString displayText(int row, int column) const;
    // A row without income (its income total rounds to 0) is drawn green.
    bool isExpenseRow(int row) const;
    QColor rowColour(int row) const;
    static Qt::Alignment alignment(int column);
    bool isOpen() const;

    // The footer sum of a summed column as the footer shows it (empty for the others): the
    // exact sum of the amounts shown, worked out once per change of the listing, not at every
    // paint.
    QString footerSum(int column) const;
    // The cell text of the amount of greatest size in the column: what its width must hold.
    QString widestFigure(int column) const;

    // The eleventh column 余额: the cash balance after each record over the whole book in date
    // order, whatever the listing's filter or sort. Showing it works the balances out (throws
    // DatabaseError when the book cannot be read; the column then stays away).
    void setBalanceShown(bool shown);
    bool isBalanceShown() const { return m_balanceShown; }
    RunningBalance* balance() const { return m_balance; }

signals:
    // Rows came, went or changed: the footer sums follow.
    void listingChanged();

private:
    void recomputeSums() const; // when the listing changed since the last time
    void changed();
    void balanceMoved();
    QString balanceText(int row) const;

    Dataset* m_listing = nullptr;
    mutable QString m_sums[gridcolumns::Count]; // empty where the column is not summed
    mutable QString m_widest[gridcolumns::Count];
    // What the sums were worked out from: a sort or an unchanged reading keeps them.
    mutable const Dataset* m_sumsListing = nullptr;
    mutable quint64 m_sumsVersion = 0;
    mutable bool m_sumsOpen = false;
    mutable bool m_sumsKnown = false;
    RunningBalance* m_balance = nullptr; // made when first shown, for the listing it follows
    bool m_balanceShown = false;
    quint64 m_balanceVersion = 0; // the listing's content the balances were last checked for
};
