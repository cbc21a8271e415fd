#pragma once

#include "data/bookfacts.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class BookWriter;

// Month-end closing and the opening balance: the administrator's writes of the book's facts.
// A closed month (every month up to closed_through) takes no new, changed or deleted record or
// settlement until it is reopened; the book's writer refuses those (BookWriter::Batch). Each
// function runs in one transaction of the writer, which announces the facts it set. Refusals
// are ClosedMonthError (what the book holds) or ConversionError (what was typed), in Chinese.
namespace closing {

// The month (yyyy-MM) of a stored day1; empty for a value that names no date.
QString monthOf(const QVariant& day);
// "yyyy-MM 已结账，不能增加、修改或删除该月的记录。"
QString refusal(const QString& month);
// A typed month (yyyy-MM, also yyyy-M) as yyyy-MM; throws ConversionError for anything else.
QString parseMonth(const QString& text);
// The month before, yyyy-MM.
QString previousMonth(const QString& month);

// What the window shows: the last closed month (empty: none) and the opening balance.
struct State
{
    QString closedThrough;
    bookfacts::Opening opening;
};
State read(QSqlDatabase& db);

// Throws ClosedMonthError when month (yyyy-MM) cannot be closed: after today's month, or
// closed already (closed: the last closed month, empty for none).
void checkClosable(const QString& month, const QString& closed, const QDate& today);
// Closes every month up to and including month (yyyy-MM), as checkClosable allows.
void close(BookWriter& writer, const QString& month, const QDate& today = QDate::currentDate());
// Reopens the latest closed month and gives it; refused when no month is closed. When nothing
// is dated before it, no month stays closed.
QString reopen(BookWriter& writer);
// Sets the opening cash balance (a typed amount, at most two decimals and 12 integer digits)
// and the day it was counted (yyyy-mm-dd). Refused while a month is closed: the balances of
// closed months would move.
void setOpening(BookWriter& writer, const QString& amount, const QString& day);

} // namespace closing
