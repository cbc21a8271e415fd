#pragma once

#include "bills/billtypes.h"

#include <QString>

#include <optional>

// The texts of a bill's cells as the apps and banks write them.
namespace bills {

// Trimmed (blanks and the TAB after order numbers), ="…" unwrapped, "/" read as empty.
QString cleanCell(const QString& cell);

// "¥45.00", "￥1,080.00", " 86.50 ", "-12.5", "45" → cents with their sign; nothing for a
// text that is no amount or one of 1e12 or more.
std::optional<qint64> parseCents(const QString& text);

// "2026-11-03 10:12:45", "2026/11/3", "2026年11月3日", "20261103" or a worksheet's day
// number → yyyy-mm-dd; empty when it is no date.
QString parseDate(const QString& text);

// A header name compared loosely: blanks dropped, full-width brackets as ASCII ones.
QString headerKey(const QString& name);

// Gives every readable row without an order number (many banks give none) one made of its
// date, time, amount and texts, and how often the same came before in the bill, so the same
// bill imported again is still known row by row.
void numberRowsWithout(QList<BillRow>& rows);

} // namespace bills
