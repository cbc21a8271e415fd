#pragma once

#include "data/cashrecord.h"

#include <QString>

// Whether a row still holds what the operator opened: the write path refuses a change or a
// delete of a row another user (or program) changed since it was read.
namespace rowconflict {

enum class Write { Modify, Remove };

// Are two values the same for the operator? Null, an empty text and (beside a number) zero are
// alike; numbers compare as numbers, dates as their day, and texts exactly.
bool same(const QVariant& stored, const QVariant& opened);

// The first column of opened whose stored value differs ("" when none); columns the row lacks
// are not compared.
QString firstDifference(const RowValues& stored, const RowValues& opened);

// Throws ConflictError, saying what the row holds now, when stored differs from opened.
void check(const QString& table, const RowValues& stored, const RowValues& opened, Write write);

// The texts for a row that is gone.
QString goneText(Write write);

} // namespace rowconflict
