#pragma once

#include "data/listingquery.h"
#include "export/tablesource.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Sums over the records of a listing, computed by SQL on the listing's own statement and
// values, so whatever search, kind, date range or month view made the listing applies.
namespace stats {

// The six amounts in the order of the record: income total, received, receivable, expense
// total, paid, payable.
constexpr int kAmounts = 6;

struct MonthRow
{
    QString month; // yyyy-mm; empty for records without a date
    double amounts[kAmounts] = {};
    double difference() const { return amounts[0] - amounts[3]; }
};

struct PartyRow
{
    QString party;
    double receivable = 0;
    double payable = 0;
    int records = 0; // records with an open amount
};

// Received and paid by the record's date, or by the day the money moved: a settlement's date,
// the record's for what came at entry (stats/moneyflow.h). Totals and rests stay on the
// record's date either way.
enum class Basis { Records, CashMoved };

QList<MonthRow> monthly(QSqlDatabase db, const ListingQuery& listing, Basis basis = Basis::Records);
QList<MonthRow> monthly(QSqlDatabase db, const QString& listingSql, const QVariantList& values,
                        Basis basis = Basis::Records);
// Counterparties with an open receivable or payable, the largest open sum first.
QList<PartyRow> openByCounterparty(QSqlDatabase db, const ListingQuery& listing);
QList<PartyRow> openByCounterparty(QSqlDatabase db, const QString& listingSql,
                                   const QVariantList& values);

// A finished statistics table, shown, exported and printed as it stands.
class StatTable : public TableSource
{
public:
    QString name; // window tab, sheet and report heading
    QStringList titles;
    QList<Kind> kinds;
    QList<QVariantList> rows;
    QList<bool> totals;
    bool footer = false;
    QStringList footerTexts; // where a column does not sum

    int columnCount() const override { return static_cast<int>(titles.size()); }
    QString columnTitle(int column) const override { return titles.at(column); }
    Kind columnKind(int column) const override { return kinds.at(column); }
    int rowCount() const override { return static_cast<int>(rows.size()); }
    QVariant value(int row, int column) const override { return rows.at(row).value(column); }
    bool isTotalRow(int row) const override { return totals.value(row); }
    bool hasFooter() const override { return footer; }
    bool footerSums(int column) const override { return footer && kinds.at(column) != Kind::Text; }
    QString footerText(int column) const override { return footerTexts.value(column); }
};

// Months in order, each year closed by a "yyyy年合计" row, and a "总计" row when the months
// span more than one year. The last column is income less expense, or by the day money moved
// (cashMoved) received less paid.
StatTable monthlyTable(const QList<MonthRow>& months, bool cashMoved = false);
StatTable counterpartyTable(const QList<PartyRow>& parties);

QString noDateLabel();
QString noCounterpartyLabel();

} // namespace stats
