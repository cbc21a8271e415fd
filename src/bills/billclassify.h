#pragma once

#include "bills/billtypes.h"

#include <QSet>

namespace bills {

// Decides what becomes of every row: unreadable dates and amounts, order numbers seen before
// (earlier in the file, or imported before: keys made by orderKey), refunds taken into their
// originals (Alipay: the original's order number and "_…"; WeChat: the same 商户单号) so that
// a full refund drops both, then closed, 不计收支 and neutral rows unless chosen.
void classify(QList<BillRow>& rows, const QString& source, const ImportChoices& choices,
              const QSet<QString>& imported);

// 收入 or 支出 for a row that is imported; a 不计收支 or neutral row taken in counts as income
// when money came into the account (yield, refund, top-up), otherwise as expense.
QString recordKind(const BillRow& row);

// The reason shown for the row's outcome (empty for Import).
QString reasonFor(const BillRow& row);

} // namespace bills
