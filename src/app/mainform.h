#pragma once

#include "gui/datefield.h"
#include "users/logingate.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;
class RecordGrid;
class EntryPanel;
class GuideWindow;
class HistoryWindow;
class RecycleBinWindow;
class OrderedMenu;
class QKeySequence;
class AgingWindow;
class CashJournalWindow;
class StatementWindow;
class StatisticsWindow;
class Tuserglfm;
class Tchangepassfm;
class Tbeifen;
class TPrintDBGridEh;

// TMainForm (name from the Windows program): the main window with the grid.
class TMainForm : public QMainWindow, public LoginHost
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Binds the grid and the cash-book commands to the data module; called once it exists.
    void bindData();
    void setLoginGate(LoginGate* gate) { m_loginGate = gate; }

    // The id of this run's login-log row; 0 until a login succeeds.
    int LoginLogId = 0;

    void setStatusText(int panel, const QString& text);
    QString statusText(int panel) const;

    // Handlers, public because other windows drive the main window directly.
    void FormShow();          // first showing: opens the insert cursor, restores the skin
    void FormActivate();      // asks for the login until someone has logged in
    void FormClose();         // logout and the automatic backup; the close always goes ahead
    void ToolButton1Click();  // 技术支持: opens the home page
    void ToolButton17Click(); // 数据备份: opens Tbeifen
    void N13Click();          // 用户管理: opens Tuserglfm
    void N15Click();          // 修改密码: opens Tchangepassfm
    void chooseSkin(int index);

    // LoginHost
    void listRecords() override;
    void showFirstView(bool monthOnly) override;
    void loggedIn(const QString& user, int logId) override;
    int loginLogId() const override;
    void closeWindow() override;

    // Cash book: queries and balance.
    void Button12Click();    // all records
    void Button2Click();     // quick query
    void Button7Click();     // balance
    void Edit24Change();     // typing in Edit24 runs the quick query
    void Edit2Change();      // typing in Edit2 runs the quick query
    void CheckBox2Click();   // 收入 filter; unchecks CheckBox3
    void CheckBox3Click();   // 支出 filter; unchecks CheckBox2
    void CheckBox1Changed(); // month-only view on or off (setting n0)
    QString baseQuery() const;

    // Cash book: entry panel, printing and export.
    void ToolButton7Click();  // 新建记录
    void ToolButton19Click(); // 删除记录
    void ToolButton22Click(); // 打印报表: print preview
    void Excel1Click();       // 导出Excel from the grid's menu
    // Beyond the grid: CSV and .xlsx export, the statistics window.
    void exportCsvClick();
    void exportXlsxClick();
    void statisticsClick();
    // 账务工具: the bookkeeping tools' menu; 使用说明 (F1) at its end opens the guide.
    void guideClick();
    // The reports of receivables and cash (mainform_reports.cpp).
    void statementClick();   // 往来对账单 (Ctrl+D)
    void agingClick();       // 账龄分析 (Ctrl+G)
    void cashJournalClick(); // 现金日记账 (Ctrl+J)
    // 往来对账单 of one counterparty, e.g. from a double-click in 收支统计.
    void showStatement(const QString& party, bool payable);
    void recycleBinClick(); // 回收站 (Ctrl+B)
    void historyClick();    // 修改记录 (Ctrl+H)
    // Adds a command to 账务工具 in the place its name has there (mainform_toolsmenu.cpp), with
    // a shortcut that works from the main window.
    QAction* addToolsCommand(const char* name, const QString& caption, const QKeySequence& keys,
                             void (TMainForm::*handler)());

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

    QToolBar* ToolBar2 = nullptr;        // the toolbar
    QToolButton* ToolButton7 = nullptr;  // 新建记录
    QToolButton* ToolButton19 = nullptr; // 删除记录; enabled once a record is clicked
    QToolButton* ToolButton22 = nullptr; // 打印报表
    QToolButton* ToolButton17 = nullptr; // 数据备份
    QToolButton* ToolButton18 = nullptr; // 设置选项: opens PopupMenu1
    QToolButton* ToolButton1 = nullptr;  // 技术支持
    QMenu* PopupMenu1 = nullptr; // 设置选项 menu: N15, N13 and the skins N19, N26, N32, N42, N52

    Tuserglfm* userglfm = nullptr;         // user management window, made on first use
    Tchangepassfm* changepassfm = nullptr; // password window, made on first use
    Tbeifen* beifen = nullptr;             // backup window, made on first use

    QAction* exportCsvAction = nullptr; // in the grid's menu, after "导出Excel"
    QAction* exportXlsxAction = nullptr;
    QAction* statisticsAction = nullptr;
    QToolButton* statisticsButton = nullptr; // after the toolbar's other buttons
    StatisticsWindow* statisticsWindow = nullptr;

    QToolButton* toolsButton = nullptr; // 账务工具, after 收支统计: opens toolsMenu
    QMenu* toolsMenu = nullptr;
    QAction* guideAction = nullptr; // 使用说明 (F1)
    QAction* statementAction = nullptr;
    QAction* agingAction = nullptr;
    QAction* cashJournalAction = nullptr;
    StatementWindow* statementWindow = nullptr; // each made on first use
    AgingWindow* agingWindow = nullptr;
    CashJournalWindow* cashJournalWindow = nullptr;
    GuideWindow* guideWindow = nullptr; // made on first use
    QAction* recycleBinAction = nullptr;
    QAction* historyAction = nullptr;
    RecycleBinWindow* recycleBinWindow = nullptr;
    HistoryWindow* historyWindow = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLowerPanel();
    void buildToolBar();
    void buildStatusBar();
    void layoutChildren();
    void connectCashBook();
    void scheduleLogin();
    void connectGridMenu();   // the grid's context menu
    void connectEntryPanel(); // the entry panel's commands
    void connectStatistics(); // exports and statistics
    bool writeLogout();       // false (after saying so) when the logout could not be written
    void takeExitBackup();    // the automatic backup at exit; a failure is reported
    void buildToolsMenu();    // 账务工具
    void fitToolBar();

    OrderedMenu* m_toolsItems = nullptr;

    QLabel* m_status[4] = {};
    LoginGate* m_loginGate = nullptr;
    bool m_shown = false;
    bool m_loginPending = false;
    bool m_sizeRestorePending = false;
};

extern TMainForm* MainForm; // the one main window, made at start-up

// The main window's print settings object, made on first use as a child of the window.
TPrintDBGridEh* printSettings(TMainForm* window);
