#pragma once

#include <QWidget>

class RecordGrid;

// The font, made smaller until text fits in width (it is left as it is when it fits).
QFont fittedFont(const QFont& font, const QString& text, int width);

// The footer row under the grid's cells, kept in step with the columns and the scroll
// position: the sums of the summed columns and the static texts (the balance line).
class GridFooter : public QWidget
{
public:
    explicit GridFooter(RecordGrid* grid);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RecordGrid* m_grid;
};
