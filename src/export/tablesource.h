#pragma once

#include <QString>
#include <QVariant>

// A table as the CSV and .xlsx writers read it: columns with their titles and kinds, rows read
// one cell at a time (so a big listing is never copied), and an optional footer row.
class TableSource
{
public:
    enum class Kind { Text, Number, Integer, Date };

    virtual ~TableSource() = default;

    virtual int columnCount() const = 0;
    // Title levels separated by "|", as the grid keeps them ("收  入|合 计").
    virtual QString columnTitle(int column) const = 0;
    virtual Kind columnKind(int column) const = 0;
    virtual int rowCount() const = 0;
    // A null value is an empty cell. Numbers are doubles, dates yyyy-mm-dd texts or QDates.
    virtual QVariant value(int row, int column) const = 0;
    // Subtotal rows stand out in a sheet.
    virtual bool isTotalRow(int row) const
    {
        (void)row;
        return false;
    }

    virtual bool hasFooter() const { return false; }
    // The footer cell of a number column may sum the column's data cells.
    virtual bool footerSums(int column) const
    {
        (void)column;
        return false;
    }
    virtual QString footerText(int column) const
    {
        (void)column;
        return {};
    }
};

namespace tables {

// One header text per column for formats with a single header row: the lowest title level
// with its padding blanks removed, prefixed by the upper level where that alone is ambiguous.
QStringList flatTitles(const TableSource& table);

// Width of text in a fixed-pitch sheet: wide (CJK) characters count two.
int displayWidth(const QString& text);

} // namespace tables
