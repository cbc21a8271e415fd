#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The program's one way of turning numbers, dates and times into text and back,
// whatever the operating system's regional settings say.
namespace formats {

// Shortest decimal text with at most 15 significant digits, point as separator.
QString general(double value);
// "#.##": at most two decimals, trailing zeros dropped, zero as empty text.
QString upToTwoDecimals(double value);
// "0.00": exactly two decimals.
QString twoDecimals(double value);

// yyyy-mm-dd
QString dateText(const QDate& date);
// yyyy-mm-dd, a blank and the locale's long time (no time zone); the date alone at midnight.
QString dateTimeText(const QDateTime& moment);
// The locale's long time of day without a time zone.
QString longTimeText(const QTime& time);

// Parses yyyy-mm-dd; throws ConversionError "'%s' is not a valid date".
QDate parseDate(const QString& text);
// Parses a decimal number with a point; throws "'%s' is not a valid floating point value".
double parseFloat(const QString& text);

} // namespace formats
