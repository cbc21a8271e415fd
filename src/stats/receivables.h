#pragma once

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// What counterparties owe and are owed, worked out by the database: a statement of account
// over a period and the aging of the open rests at a day. Amounts are money units
// (data/money.h). A record is receivable with its 合计 "1", received "2" and rest "3", payable
// with "4", "5" and "6"; its settlements are those of its side (stats/moneyflow.h).
namespace receivables {

enum class Side { Receivable, Payable };

struct StatementLine
{
    bool settlement = false;
    qint64 key = 0;
    QString day;
    QString summary;
    qint64 increase = 0; // a record's total
    qint64 decrease = 0; // received or paid at entry, or a settlement
};

struct Statement
{
    qint64 opening = 0; // open before the period
    QList<StatementLine> lines;
    qint64 increase = 0;
    qint64 decrease = 0;
    qint64 closing() const { return opening + increase - decrease; }
};

// The statement of party on side for the days from first up to (not including) end.
Statement statement(QSqlDatabase& db, const QString& party, Side side, const QString& first,
                    const QString& end);

// The age ranges, in days since the record's date: 0-30, 31-60, 61-90, 91-180, over 180.
inline constexpr int kBuckets = 5;

struct AgingRow
{
    QString party;
    Side side = Side::Receivable;
    qint64 buckets[kBuckets] = {};
    qint64 total() const;
};

// The rest of every record dated up to cutoff as it stood at the end of that day (settlements
// after it do not count), aged by the record's date (one without a date is the oldest), summed
// per counterparty and side; the largest total first. Rows whose ranges are all 0 are left out.
QList<AgingRow> aging(QSqlDatabase& db, const QDate& cutoff);

// The counterparties of the book, in the order the book sorts them.
QStringList parties(QSqlDatabase& db);

} // namespace receivables
