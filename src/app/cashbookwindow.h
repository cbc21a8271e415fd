#pragma once

#include "data/listingquery.h"
#include "gui/datefield.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class EntryPanel;
class RecordGrid;
class AgingWindow;
class CashJournalWindow;
class StatementWindow;
class StatisticsWindow;
class TPrintDBGridEh;

// The main window's cash book: the grid, the entry panel and the query box under the grid, with
// the commands that decide what the grid lists (the base listing, the quick query, the month
// view, the balance) and those that act on the listing (records, print, export, statistics).
// They hand the data side ListingQuery values; the window's frame (TMainForm) lays the widgets
// out and adds the toolbar, the status bar, the login and the tool windows.
class CashBookWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit CashBookWindow(QWidget* parent = nullptr);

    // Queries and balance.
    void Button12Click();    // all records
    void Button2Click();     // quick query
    void Button7Click();     // balance
    void Edit24Change();     // typing in Edit24 runs the quick query
    void Edit2Change();      // typing in Edit2 runs the quick query
    void CheckBox2Click();   // 收入 filter; unchecks CheckBox3
    void CheckBox3Click();   // 支出 filter; unchecks CheckBox2
    void CheckBox1Changed(); // month-only view on or off (setting n0)
    // The base query's statement, as the hidden Label7 shows it.
    QString baseQuery() const;

    // Entry panel, printing and export.
    void ToolButton7Click();  // 新建记录
    void ToolButton19Click(); // 删除记录
    // 收款/付款登记 (Ctrl+R, and the grid's menu): money received or paid later on the current
    // record (mainform_entry.cpp).
    void settlementClick();
    void ToolButton22Click(); // 打印报表: print preview
    void Excel1Click();       // 导出Excel from the grid's menu
    // Beyond the grid: CSV and .xlsx export, the statistics window.
    void exportCsvClick();
    void exportXlsxClick();
    void statisticsClick();
    // The reports of receivables and cash (mainform_reports.cpp).
    void statementClick();   // 往来对账单 (Ctrl+D)
    void agingClick();       // 账龄分析 (Ctrl+G)
    void cashJournalClick(); // 现金日记账 (Ctrl+J)
    // 导入账单… (Ctrl+I): a payment bill previewed and stored (mainform_import.cpp).
    void importClick();
    // 往来对账单 of one counterparty, e.g. from a double-click in 收支统计.
    void showStatement(const QString& party, bool payable);

    // The grid and its neighbours.
    RecordGrid* DBGridEh1 = nullptr;        // the record grid
    EntryPanel* Panel3 = nullptr;           // the floating entry panel
    QFrame* Panel1 = nullptr;               // lower panel under the grid
    QGroupBox* GroupBox5 = nullptr;         // 快速查询: the quick-query group
    QCheckBox* CheckBox7 = nullptr;         // 日期: the quick query limits the dates
    DateField* DBDateTimeEditEh2 = nullptr; // first date of the quick query
    DateField* DBDateTimeEditEh3 = nullptr; // last date of the quick query
    QLabel* Label3 = nullptr;               // 至, between the two dates
    QCheckBox* CheckBox2 = nullptr;         // 收入: only income records
    QCheckBox* CheckBox3 = nullptr;         // 支出: only expense records
    QPushButton* Button12 = nullptr;        // 全部记录: reloads the base query
    QLabel* Label5 = nullptr;               // 项目摘要：, caption of Edit24
    QLineEdit* Edit24 = nullptr;            // search in 项目摘要 (column b)
    QLabel* Label6 = nullptr;               // 单位名称：, caption of Edit2
    QLineEdit* Edit2 = nullptr;             // search in 单位名称 (column c)
    QPushButton* Button2 = nullptr;         // 查 询: the quick query
    QPushButton* Button7 = nullptr;         // 查看收支余额: the balance line
    QCheckBox* CheckBox1 = nullptr;         // 只显示本月现金账: month-only view
    QLabel* Label7 = nullptr;               // hidden; its text is the base query

    QToolButton* ToolButton7 = nullptr;  // 新建记录
    QToolButton* ToolButton19 = nullptr; // 删除记录; enabled once a record is clicked
    QToolButton* ToolButton22 = nullptr; // 打印报表

    QAction* settlementItem = nullptr; // 收款/付款登记… in the grid's menu, after "删 除"
    QAction* exportCsvAction = nullptr; // in the grid's menu, after "导出Excel"
    QAction* exportXlsxAction = nullptr;
    QAction* statisticsAction = nullptr;
    QToolButton* statisticsButton = nullptr; // after the toolbar's other buttons
    StatisticsWindow* statisticsWindow = nullptr;
    StatementWindow* statementWindow = nullptr; // each made on first use
    AgingWindow* agingWindow = nullptr;
    CashJournalWindow* cashJournalWindow = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // What 全部记录 lists from now on; Label7 shows its statement.
    void setBaseQuery(const ListingQuery& query);
    // Once the widgets are laid out: the query box's, the grid menu's and the panel's commands.
    void connectCashBook();
    void connectGridMenu();
    void connectEntryPanel();

private:
    ListingQuery m_baseQuery;
};

// The window's print settings object, made on first use as a child of the window.
TPrintDBGridEh* printSettings(CashBookWindow* window);
