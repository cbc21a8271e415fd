#pragma once

#include "stats/cashstats.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The cash journal (现金日记账) of a run of months: the balance it starts from, every movement
// of cash with the balance after it, each month closed by 本月合计 and 本年累计, December by
// 结转下年. Amounts are money units (data/money.h).
namespace journal {

enum class Kind { Opening, Line, MonthTotal, YearTotal, CarriedToNextYear };

struct Row
{
    Kind kind = Kind::Line;
    QString day;
    QString summary;
    QString party;
    qint64 in = 0;
    qint64 out = 0;
    qint64 balance = 0;
    // The month's movements up to and including this row: what a page ending here carries.
    qint64 monthIn = 0;
    qint64 monthOut = 0;
};

struct Journal
{
    QString first; // yyyy-MM
    QString last;  // yyyy-MM
    QList<Row> rows;
};

// The journal of the months from first to last (any day of each). Months are closed up to the
// last that holds a movement, or the current month when that comes later (not past last).
Journal build(QSqlDatabase& db, const QDate& first, const QDate& last,
              const QDate& today = QDate::currentDate());

// The journal as a table to show, export and print.
stats::StatTable table(const Journal& journal);

// The texts of the line a page ends with after row (过次页) or the next begins with (承前页).
QStringList carried(const Journal& journal, int row, bool forward);

} // namespace journal
