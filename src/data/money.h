#pragma once

#include <QString>
#include <QtGlobal>

// Sums of money worked out by the database exactly, the same on both engines. Each stored
// amount counts as a whole number of millionths of a yuan (every amount typed with up to six
// decimals is that exactly), the database adds those as integers, and the sum is rounded to
// the cent once, when it is shown. Neither engine's floating-point sums nor its rounding of
// halves (the server rounds a float8 half to even, SQLite away from zero) come into it.
namespace money {

inline constexpr qint64 kUnitsPerYuan = 1000000;

// The SQL of one amount in units: a column or expression, nulls as 0.
QString units(const QString& amount);
// The SQL of a sum of units, read back as a 64-bit integer on both engines.
QString sumOf(const QString& unitsExpression);

// Whole cents, halves away from zero.
qint64 cents(qint64 units);
// The amount in yuan, rounded to the cent: what a table shows or a sheet holds.
double yuan(qint64 units);
// "1234.56", "-0.05", "0.00".
QString text(qint64 units);
// Units of a decimal text with a point ("1234.5", "-0.05"); false when it is none.
bool parse(const QString& text, qint64* units);

} // namespace money
