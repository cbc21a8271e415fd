#pragma once

#include "bills/billtypes.h"

#include <QHash>
#include <QSet>

namespace bills {

// A bill read in full with what would become of each row, held apart from the book: the
// operator's choices change only this, and "导 入" takes what chosen() gives.
class BillPreview
{
public:
    BillPreview() = default;
    // imported: keys (orderKey) of the order numbers already in the book.
    BillPreview(Bill bill, QSet<QString> imported);

    const Bill& bill() const { return m_bill; }
    const QList<BillRow>& rows() const { return m_bill.rows; }
    int rowCount() const { return static_cast<int>(m_bill.rows.size()); }

    ImportChoices choices() const { return m_choices; }
    // Classifies again; a row's own tick is kept unless its outcome changed.
    void setChoices(const ImportChoices& choices);

    // Rows that are imported or skipped only for their kind can be ticked; the others not.
    bool canChoose(int row) const;
    bool isChosen(int row) const;
    void setChosen(int row, bool chosen);

    int chosenCount() const;
    // Sums of what the chosen rows store, in cents.
    qint64 chosenIncomeCents() const;
    qint64 chosenExpenseCents() const;

    // The record a row stores (its net amount, settled).
    CashRecord recordOf(int row) const;
    // What "导 入" hands to the store.
    BillImport chosen() const;

private:
    void reclassify();

    Bill m_bill;
    QSet<QString> m_imported;
    ImportChoices m_choices;
    QHash<int, bool> m_ticks; // the operator's own ticks, by row
};

} // namespace bills
