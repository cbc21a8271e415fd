#include "data/money.h"

#include <QRegularExpression>

namespace money {

QString units(const QString& amount)
{
    // round(x, 0) is half away from zero on both engines (the server's is the book's own
    // function over numeric); the product of a typed amount lies a hair off the whole number.
    return QStringLiteral("cast(round(coalesce(%1,0)*1000000,0) as bigint)").arg(amount);
}

QString sumOf(const QString& unitsExpression)
{
    return QStringLiteral("cast(coalesce(sum(%1),0) as bigint)").arg(unitsExpression);
}

qint64 cents(qint64 units)
{
    constexpr qint64 perCent = kUnitsPerYuan / 100;
    const qint64 whole = units / perCent;
    const qint64 rest = units % perCent;
    if (2 * rest >= perCent)
        return whole + 1;
    if (2 * rest <= -perCent)
        return whole - 1;
    return whole;
}

double yuan(qint64 units)
{
    return static_cast<double>(cents(units)) / 100;
}

QString text(qint64 units)
{
    const qint64 c = cents(units);
    const qint64 magnitude = c < 0 ? -c : c;
    return (c < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 100) + u'.' +
           QStringLiteral("%1").arg(magnitude % 100, 2, 10, QChar(u'0'));
}

bool parse(const QString& text, qint64* units)
{
    static const QRegularExpression decimal(
        QStringLiteral("^\\s*([+-]?)(\\d{1,12})(?:\\.(\\d{0,6}))?\\s*$"));
    const QRegularExpressionMatch m = decimal.match(text);
    if (!m.hasMatch())
        return false;
    const qint64 whole = m.captured(2).toLongLong();
    const qint64 fraction = m.captured(3).leftJustified(6, u'0').toLongLong();
    const qint64 value = whole * kUnitsPerYuan + fraction;
    *units = m.captured(1) == u"-" ? -value : value;
    return true;
}

} // namespace money
