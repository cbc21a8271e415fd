#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <QtGlobal>

// When money moved. A record's received ("2") and paid ("5") hold everything that came in or
// went out on it; each settlement added its amount there and took it off the rest ("3"/"6").
// So what moved on the record's own date is "2" (or "5") less its settlements, and each
// settlement moved on its own date. A settlement belongs to the receipts of a record whose
// kind is not 支出 and to the payments of one that is; a settlement whose record is gone
// counts nowhere. All amounts are money units (data/money.h), summed by the database.
namespace moneyflow {

// The integers of the first row of a statement's result.
QList<qint64> integers(QSqlDatabase& db, const QString& statement, const QVariantList& values);

// SQL: true when the record under alias is settled by receipts.
QString receipts(const QString& alias);
// SQL: the units settled on the record under alias, 0 without settlements.
QString settled(const QString& alias);
// The summary of a settlement's line: "收款：销售收入（备注）".
QString settlementSummary(bool receipt, const QString& summary, const QString& note);

struct Flows
{
    qint64 in = 0;  // received
    qint64 out = 0; // paid
    qint64 net() const { return in - out; }
};

// What moved on days before day (yyyy-mm-dd; records without a date come first); nothing
// for an empty day.
Flows before(QSqlDatabase& db, const QString& day);

// The cash at the start of day: the opening balance, moved on by what moved between its date
// and day (back for a day before it); 0 from the first record when none is set.
qint64 balanceBefore(QSqlDatabase& db, const QString& day);

// One movement of cash: what a record brought at entry, or a settlement.
struct Line
{
    bool settlement = false;
    qint64 key = 0; // the record's or the settlement's
    QString day;
    QString summary; // a settlement's says what it settled
    QString party;
    qint64 in = 0;
    qint64 out = 0;
};

// Every movement on days from first up to (not including) end, in date order, a day's records
// (by key) before its settlements (by key).
QList<Line> lines(QSqlDatabase& db, const QString& first, const QString& end);

} // namespace moneyflow
