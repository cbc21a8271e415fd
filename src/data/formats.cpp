#include "data/formats.h"

#include "data/errors.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace formats {

namespace {

// Rounds half away from zero on the value's 15-digit decimal form, as a person reading
// 12.345 expects 12.35 (the binary double is a hair below it).
QString roundedFixed(double value, int decimals)
{
    const bool negative = value < 0;
    const QString sci = QString::number(std::fabs(value), 'e', 14); // d.dddddddddddddde±x
    QString mantissa = sci.left(16);
    mantissa.remove(1, 1);
    const int exponent = sci.mid(17).toInt();
    // digits with the decimal point after position (exponent + 1)
    QString digits = mantissa;
    int pointAt = exponent + 1;
    if (pointAt <= 0) {
        digits = QString(-pointAt + 1, u'0') + digits;
        pointAt = 1;
    }
    while (digits.size() < pointAt + decimals + 1)
        digits += u'0';
    const bool roundUp = digits.at(pointAt + decimals) >= u'5';
    digits.truncate(pointAt + decimals);
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0) {
            if (digits.at(i) == u'9') {
                digits[i] = u'0';
                --i;
            } else {
                digits[i] = QChar(digits.at(i).unicode() + 1);
                break;
            }
        }
        if (i < 0) {
            digits.prepend(u'1');
            ++pointAt;
        }
    }
    QString whole = digits.left(pointAt);
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    QString text = whole;
    if (decimals > 0)
        text += u'.' + digits.mid(pointAt, decimals);
    bool allZero = true;
    for (QChar ch : std::as_const(digits))
        if (ch != u'0')
            allZero = false;
    if (negative && !allZero)
        text.prepend(u'-');
    return text;
}

} // namespace

QString general(double value)
{
    if (value == 0.0)
        return QStringLiteral("0");
    QString text = QString::number(value, 'g', 15);
    // Qt writes 1e+20; the program's form is 1E20.
    const qsizetype e = text.indexOf(u'e');
    if (e >= 0) {
        QString exponent = text.mid(e + 1);
        if (exponent.startsWith(u'+'))
            exponent.remove(0, 1);
        const bool negative = exponent.startsWith(u'-');
        if (negative)
            exponent.remove(0, 1);
        while (exponent.size() > 1 && exponent.startsWith(u'0'))
            exponent.remove(0, 1);
        text = text.left(e) + u'E' + (negative ? QStringLiteral("-") : QString()) + exponent;
    }
    return text;
}

QString upToTwoDecimals(double value)
{
    QString text = roundedFixed(value, 2);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == u"0" || text == u"-0")
        return {};
    if (text.startsWith(QStringLiteral("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QStringLiteral("-0.")))
        text.remove(1, 1);
    return text;
}

QString twoDecimals(double value)
{
    return roundedFixed(value, 2);
}

QString dateText(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString longTimeText(const QTime& time)
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    // A cash book's log wants the clock time only, never a zone name.
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?\\s*"));
    format.replace(zone, QStringLiteral(" "));
    format = format.trimmed();
    return QLocale::system().toString(time, format);
}

QString dateTimeText(const QDateTime& moment)
{
    const QTime time = moment.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return dateText(moment.date());
    return dateText(moment.date()) + u' ' + longTimeText(time);
}

QDate parseDate(const QString& text)
{
    static const QRegularExpression shape(
        QStringLiteral("^\\s*(\\d{1,4})-(\\d{1,2})-(\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = shape.match(text);
    QDate date;
    if (m.hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
    return date;
}

double parseFloat(const QString& text)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value) || trimmed.contains(u','))
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

} // namespace formats
