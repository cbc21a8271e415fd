#pragma once

#include "bills/billstore.h"

class BookWriter;

namespace bills {

// The import's side of the book. Each import is one batch of the book's writer: a row of
// imports (its key is the import's number) and the records; in the same transaction a row of
// imported for every order number taken in (unique per source) with the record it became. When
// an import is taken back its row of imports goes with its records, and its numbers count as
// never imported.
class BookBillStore final : public BillStore
{
public:
    explicit BookBillStore(BookWriter& writer);

    QSet<QString> importedOrders(const QString& source, const QStringList& orderNos) override;
    // One transaction. On a server the table of order numbers is locked first, so of two PCs
    // storing the same bill at once the second waits and finds every number known.
    BillStoreResult store(const BillImport& bill) override;

private:
    BookWriter& m_writer;
};

} // namespace bills
