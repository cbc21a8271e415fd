#pragma once

#include "export/exportedgrid.h"

class RecordGrid;

// The record grid as the exporter sees it: one footer row, in which only the balance line
// of "项 目 摘 要" is a static text; the sums are computed and export as empty cells.
class RecordGridExport : public ExportedGrid
{
public:
    explicit RecordGridExport(RecordGrid* grid) : m_grid(grid) {}

    Dataset* dataset() const override;
    int columnCount() const override;
    QString columnField(int column) const override;
    QString columnTitle(int column) const override;
    bool isColumnVisible(int column) const override;
    int footerRowCount() const override { return 1; }
    QStringList footerValueTexts(int column) const override;
    void setRedrawEnabled(bool enabled) override;
    QWidget* window() const override;

private:
    RecordGrid* m_grid;
    bool m_listingWasBlocked = false;
};
