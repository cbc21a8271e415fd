#pragma once

#include "stats/cashstats.h"
#include "stats/receivables.h"

// The statement of account and the aging as tables to show, export and print.
namespace stats {

// "应收" or "应付".
QString sideName(receivables::Side side);

// A first line 期初余额 on the period's first day, a line per record and settlement with the
// balance after it, and a last line 本期合计.
StatTable statementTable(const receivables::Statement& statement, receivables::Side side,
                         const QString& first);

// A row per counterparty and side, then a 合计 row per side present.
StatTable agingTable(const QList<receivables::AgingRow>& rows);

} // namespace stats
