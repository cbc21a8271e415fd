#include "data/moneysum.h"

#include "data/formats.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

__extension__ typedef __int128 Units;

bool timesTen(Units& value, int times)
{
    for (int i = 0; i < times; ++i)
        if (__builtin_mul_overflow(value, Units(10), &value))
            return false;
    return true;
}

Units powerOfTen(int times)
{
    Units value = 1;
    timesTen(value, times);
    return value;
}

// The decimal digits of a magnitude, most significant first.
QString digitsOf(Units magnitude)
{
    QString digits;
    do {
        digits.prepend(QChar(u'0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    return digits;
}

} // namespace

void MoneySum::add(double amount)
{
    m_plain += amount;
    if (!m_exact)
        return;
    if (!std::isfinite(amount)) {
        m_exact = false;
        return;
    }
    // The usual amount sits on the cent grid: it is the double nearest to a whole number of
    // cents, which is then also its 15-digit decimal.
    const double cents = std::nearbyint(amount * 100);
    if (std::fabs(cents) < 1e15 && cents / 100 == amount) {
        addScaled(static_cast<qint64>(cents), -2);
        return;
    }
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof text, amount, std::chars_format::scientific, 14);
    *written.ptr = '\0';
    // d.dddddddddddddde±x
    qint64 mantissa = 0;
    for (const char* c = text; *c != 'e'; ++c)
        if (*c >= '0' && *c <= '9')
            mantissa = mantissa * 10 + (*c - '0');
    int exponent = std::atoi(std::strchr(text, 'e') + 1) - 14;
    while (mantissa != 0 && mantissa % 10 == 0) {
        mantissa /= 10;
        ++exponent;
    }
    addScaled(amount < 0 ? -mantissa : mantissa, exponent);
}

bool MoneySum::rescale(int scale)
{
    if (scale <= m_scale)
        return true;
    if (!timesTen(m_units, scale - m_scale)) {
        m_exact = false;
        return false;
    }
    m_scale = scale;
    return true;
}

void MoneySum::addScaled(qint64 mantissa, int exponent)
{
    if (mantissa == 0)
        return;
    if (-exponent > m_scale && !rescale(-exponent))
        return;
    Units units = mantissa;
    if (!timesTen(units, m_scale + exponent) || __builtin_add_overflow(m_units, units, &m_units))
        m_exact = false;
}

MoneySum& MoneySum::operator-=(const MoneySum& other)
{
    m_plain -= other.m_plain;
    Units theirs = other.m_units;
    if (!m_exact || !other.m_exact || !rescale(other.m_scale) ||
        !timesTen(theirs, m_scale - other.m_scale) ||
        __builtin_sub_overflow(m_units, theirs, &m_units))
        m_exact = false;
    return *this;
}

QString MoneySum::general() const
{
    if (!m_exact)
        return formats::general(m_plain);
    if (m_units == 0)
        return QStringLiteral("0");
    QString digits = digitsOf(m_units < 0 ? -m_units : m_units);
    int exponent = -m_scale; // value = digits × 10^exponent
    if (digits.size() > 15) {
        // Rounded once, half away from zero, to the digits the general form shows.
        const bool up = digits.at(15) >= u'5';
        exponent += static_cast<int>(digits.size()) - 15;
        Units kept = digits.left(15).toLongLong();
        if (up)
            ++kept;
        digits = digitsOf(kept);
    }
    // At most 16 digits now: the double read back from them prints them again.
    const QString decimal =
        (m_units < 0 ? QStringLiteral("-") : QString()) + digits + u'e' + QString::number(exponent);
    return formats::general(decimal.toDouble());
}

QString MoneySum::twoDecimals() const
{
    if (!m_exact)
        return formats::twoDecimals(m_plain);
    const Units unit = powerOfTen(m_scale - 2);
    const Units magnitude = m_units < 0 ? -m_units : m_units;
    Units cents = magnitude / unit;
    if ((magnitude % unit) * 2 >= unit)
        ++cents;
    const QString digits = digitsOf(cents).rightJustified(3, u'0');
    const QString text = digits.left(digits.size() - 2) + u'.' + digits.right(2);
    return m_units < 0 && cents != 0 ? u'-' + text : text;
}
