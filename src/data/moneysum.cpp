#include "data/moneysum.h"

#include "data/formats.h"

#include <charconv>
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

void MoneySum::addCents(qint64 cents)
{
    if (!addScaled(cents, -2))
        becomeInexact(approximate() + static_cast<double>(cents) / 100);
}

void MoneySum::addOther(double amount)
{
    if (!m_exact) {
        m_plain += amount;
        return;
    }
    if (!std::isfinite(amount)) {
        becomeInexact(approximate() + amount);
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
    if (!addScaled(amount < 0 ? -mantissa : mantissa, exponent))
        becomeInexact(approximate() + amount);
}

bool MoneySum::addScaled(qint64 mantissa, int exponent)
{
    if (mantissa == 0)
        return true;
    Units sum = m_units;
    const int scale = std::max(m_scale, -exponent);
    Units units = mantissa;
    if (!timesTen(sum, scale - m_scale) || !timesTen(units, scale + exponent) ||
        __builtin_add_overflow(sum, units, &sum))
        return false;
    m_units = sum;
    m_scale = scale;
    return true;
}

double MoneySum::approximate() const
{
    return m_exact ? static_cast<double>(m_units) / std::pow(10.0, m_scale) : m_plain;
}

void MoneySum::becomeInexact(double plain)
{
    m_exact = false;
    m_plain = plain;
}

MoneySum& MoneySum::operator-=(const MoneySum& other)
{
    const double plain = approximate() - other.approximate();
    Units theirs = other.m_units;
    Units ours = m_units;
    const int scale = std::max(m_scale, other.m_scale);
    if (!m_exact || !other.m_exact || !timesTen(ours, scale - m_scale) ||
        !timesTen(theirs, scale - other.m_scale) || __builtin_sub_overflow(ours, theirs, &ours)) {
        becomeInexact(plain);
        return *this;
    }
    m_units = ours;
    m_scale = scale;
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
    Units unit = 1;
    timesTen(unit, m_scale - 2);
    const Units magnitude = m_units < 0 ? -m_units : m_units;
    Units cents = magnitude / unit;
    if ((magnitude % unit) * 2 >= unit)
        ++cents;
    const QString digits = digitsOf(cents).rightJustified(3, u'0');
    const QString text = digits.left(digits.size() - 2) + u'.' + digits.right(2);
    return m_units < 0 && cents != 0 ? u'-' + text : text;
}

QString MoneySum::exactText() const
{
    if (!m_exact)
        return {};
    QString digits = digitsOf(m_units < 0 ? -m_units : m_units).rightJustified(m_scale + 1, u'0');
    if (m_scale > 0)
        digits.insert(digits.size() - m_scale, u'.');
    return m_units < 0 ? u'-' + digits : digits;
}

bool MoneySum::fromText(QStringView text, MoneySum* sum)
{
    text = text.trimmed();
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text = text.mid(1);
    Units units = 0;
    int scale = 0;
    bool point = false;
    bool digit = false;
    for (QChar c : text) {
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9' || !timesTen(units, 1) ||
            __builtin_add_overflow(units, Units(c.unicode() - u'0'), &units))
            return false;
        digit = true;
        scale += point ? 1 : 0;
    }
    if (!digit)
        return false;
    MoneySum read;
    read.m_units = negative ? -units : units;
    read.m_scale = scale;
    // Fewer decimals than cents are held as cents, as add() holds them.
    if (scale < 2 && !timesTen(read.m_units, 2 - scale))
        return false;
    read.m_scale = std::max(scale, 2);
    *sum = read;
    return true;
}
