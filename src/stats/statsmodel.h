#pragma once

#include "stats/cashstats.h"

#include <QAbstractTableModel>

// A statistics table as the window shows it: amounts with two decimals and thousands
// separators, subtotal rows in bold on the footer colour.
class StatsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit StatsModel(QObject* parent = nullptr);

    void setTable(stats::StatTable table);
    const stats::StatTable& table() const { return m_table; }

    // The text a cell shows; also what the printed report shows.
    static QString cellText(const stats::StatTable& table, int row, int column);
    static QString footerCellText(const stats::StatTable& table, int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    stats::StatTable m_table;
};
