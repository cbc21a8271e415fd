#pragma once

#include "export/tablesource.h"

#include <QVector>

class Dataset;
class RecordGrid;

// The record grid as the CSV and .xlsx writers see it: its visible columns in display order,
// the listing's records in the grid's order, and its footer row (sums and the balance line).
class GridTable : public TableSource
{
public:
    explicit GridTable(const RecordGrid* grid);

    int columnCount() const override { return static_cast<int>(m_columns.size()); }
    QString columnTitle(int column) const override;
    Kind columnKind(int column) const override;
    int rowCount() const override;
    QVariant value(int row, int column) const override;
    bool hasFooter() const override { return true; }
    bool footerSums(int column) const override;
    QString footerText(int column) const override;

private:
    const RecordGrid* m_grid;
    Dataset* m_listing;     // a listing still being filled in is read to its end as rows are asked
    QVector<int> m_columns; // grid columns shown
    QVector<int> m_fields;  // the listing's field index of each, -1 when missing
};
