#pragma once

#include "benchtools.h"

#include <QString>

namespace bench {

// The grid's running balance column on the book at path, after the login: ticking 显示余额列
// (worked out from the listing in memory, again, and read from the book after another
// program's write), and an add and a modify to the painted grid while it is shown.
void benchBalanceColumn(int records, const QString& path, PaintWatch& watch, double bareListing,
                        PrintedMessages& printed);

} // namespace bench
