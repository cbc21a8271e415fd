#pragma once

#include <QString>

#include <cmath>

// The exact sum of amounts of money. Each amount counts as the decimal the program shows for it
// (its 15 significant digits, what was typed), so ten amounts of 1.005 add up to 10.05 however
// their binary doubles lie, and every engine gives the same sum; it is rounded once, when shown.
// Amounts that no decimal of that kind can carry in 38 digits (or infinities) leave the sum
// inexact: it is then the plain sum of the doubles.
class MoneySum
{
public:
    void add(double amount)
    {
        // The usual amount is the double nearest to a whole number of cents, which is then also
        // its 15-digit decimal: added as it is, without a library call.
        const double scaled = amount * 100;
        if (m_exact && std::fabs(scaled) < 1e15) {
            auto cents = static_cast<qint64>(scaled);
            const double rest = scaled - static_cast<double>(cents);
            cents += rest >= 0.5 ? 1 : rest <= -0.5 ? -1 : 0;
            if (static_cast<double>(cents) / 100 == amount) {
                if (m_scale == 2)
                    m_units += cents;
                else
                    addCents(cents);
                return;
            }
        }
        addOther(amount);
    }
    MoneySum& operator-=(const MoneySum& other);

    bool isExact() const { return m_exact; }
    // The general number form of the sum, rounded once to 15 significant digits.
    QString general() const;
    // "0.00": the sum rounded once to the cent, halves away from zero.
    QString twoDecimals() const;
    // Every digit of an exact sum ("-1234.5678"), for a sum worked out by the book; empty when
    // inexact. fromText reads one back (up to 38 digits); false when the text is none.
    QString exactText() const;
    static bool fromText(QStringView text, MoneySum* sum);
    static MoneySum ofCents(qint64 cents)
    {
        MoneySum sum;
        sum.addCents(cents);
        return sum;
    }

private:
    __extension__ typedef __int128 Units;

    void addCents(qint64 cents);
    void addOther(double amount);
    bool addScaled(qint64 mantissa, int exponent); // mantissa × 10^exponent
    double approximate() const;
    void becomeInexact(double plain);

    Units m_units = 0; // the sum in units of 10^-m_scale, while exact
    int m_scale = 2;
    bool m_exact = true;
    double m_plain = 0; // the plain sum, once inexact
};
