#pragma once

#include <QDateTime>
#include <QString>

class TableSource;

// The .xlsx worksheet: the rows above the titles as the .xls export has them, the column titles
// on one row per level, the table with real number and date formats, and a footer row whose
// sums are SUM formulas over the data cells. Rows stream to disk as they are written.
namespace xlsx {

struct Heading
{
    QString sheetName;
    QString title;    // row 0, column 3
    QString userName; // "制表人：" in row 1 (or below the subtitle), column 0
    QDateTime preparedAt;
    QString subtitle =
        {}; // when given, row 1, column 0 (what the report covers); the rest move down
};

// Writes path whole or not at all; throws QuenvaleError with the reason.
void writeFile(const TableSource& table, const QString& path, const Heading& heading);

// The number format of amounts.
inline constexpr const char* kMoneyFormat = "#,##0.00";

} // namespace xlsx
