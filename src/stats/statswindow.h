#pragma once

#include "stats/cashstats.h"

#include <QPointer>
#include <QWidget>

class Dataset;
class QChart;
class QChartView;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;
class StatsModel;
class TPrintDBGridEh;

// "收支统计": per month the sums of the current listing beside a chart of income against
// expense with the running balance, and per counterparty the open receivables and payables.
// It follows the listing: a new search or view re-reads the sums. With 按收付日期 the months
// count what was received and paid by the day the money moved, and the chart shows cash.
class StatisticsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StatisticsWindow(QWidget* owner = nullptr);
    ~StatisticsWindow() override;

    // The listing whose statement the sums run on; the data module's listing by default.
    void setListing(Dataset* listing);
    void refresh();

    const stats::StatTable& monthlyTable() const;
    const stats::StatTable& counterpartyTable() const;
    // The table of the tab shown.
    const stats::StatTable& currentTable() const;
    QChart* chart() const;

    void exportCsv();
    void exportXlsx();
    void printTable();

    QTabWidget* tabs = nullptr;
    QTableView* monthView = nullptr;
    QTableView* partyView = nullptr;
    QChartView* chartView = nullptr;
    QLabel* scopeLabel = nullptr;
    QCheckBox* cashBasisBox = nullptr; // 按收付日期: received and paid by the day money moved
    QPushButton* csvButton = nullptr;
    QPushButton* xlsxButton = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* closeButton = nullptr;

signals:
    // A double-click on a counterparty of the second tab: its statement is wanted (the payable
    // side when the click was on 应付账款 or it owes nothing).
    void counterpartyChosen(const QString& party, bool payable);

private:
    void rebuildChart(const QList<stats::MonthRow>& months);
    void partyDoubleClicked(const QModelIndex& index);

    QPointer<Dataset> m_listing;
    StatsModel* m_monthModel = nullptr;
    StatsModel* m_partyModel = nullptr;
    QTimer* m_refreshTimer = nullptr;
    TPrintDBGridEh* m_printSettings = nullptr;
};
