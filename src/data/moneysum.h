#pragma once

#include <QString>

// The exact sum of amounts of money. Each amount counts as the decimal the program shows for it
// (its 15 significant digits, what was typed), so ten amounts of 1.005 add up to 10.05 however
// their binary doubles lie, and every engine gives the same sum; it is rounded once, when shown.
// Amounts that no decimal of that kind can carry in 38 digits (or infinities) leave the sum
// inexact: it is then the plain sum of the doubles.
class MoneySum
{
public:
    void add(double amount);
    MoneySum& operator-=(const MoneySum& other);

    bool isExact() const { return m_exact; }
    // The general number form of the sum, rounded once to 15 significant digits.
    QString general() const;
    // "0.00": the sum rounded once to the cent, halves away from zero.
    QString twoDecimals() const;

private:
    __extension__ typedef __int128 Units;

    void addScaled(qint64 mantissa, int exponent); // mantissa × 10^exponent
    bool rescale(int scale);

    Units m_units = 0; // the sum in units of 10^-m_scale
    int m_scale = 2;
    bool m_exact = true;
    double m_plain = 0;
};
