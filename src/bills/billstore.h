#pragma once

#include "bills/billtypes.h"

#include <QSet>
#include <QStringList>

namespace bills {

struct BillStoreResult
{
    int added = 0;      // records stored
    int duplicates = 0; // records handed over but not stored: their order number was known
    qint64 batch = 0;   // the import's number in the book; 0 when nothing was written
};

// What the import needs of the book: the order numbers already imported, and one call that
// stores the chosen records.
class BillStore
{
public:
    virtual ~BillStore() = default;
    // Keys (orderKey(source, number)) of those of orderNos already imported from this source.
    virtual QSet<QString> importedOrders(const QString& source, const QStringList& orderNos) = 0;
    // In one transaction: stores each record whose order numbers (orderNo and
    // refundOrderNos) are all still unknown, and remembers every order number handed over
    // (settledOrderNos too), so importing the bill again adds nothing. Throws, with nothing
    // stored, when the book cannot be written.
    virtual BillStoreResult store(const BillImport& bill) = 0;
};

} // namespace bills
