#pragma once

#include "bills/billstore.h"

class BookWriter;

namespace bills {

// The import's side of the book, written through the book's writer only. Each import is one
// batch: a row of imports, whose key is the batch's number, and a row of imported for every
// order number taken in (unique per source) with the record it became. The history names the
// batch by that key; forgetImport takes the whole batch back.
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

// Takes an import back in one transaction through writer: its records still in the book are
// removed, its order numbers forgotten and its batch row deleted, so the bill can be imported
// again. Gives the number of records removed; throws MissingRowError, with nothing changed, when
// the batch is no longer in the book.
int forgetImport(BookWriter& writer, qint64 batch);

} // namespace bills
