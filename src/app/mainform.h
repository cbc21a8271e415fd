#pragma once

#include "app/cashbookwindow.h"
#include "users/logingate.h"

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
class MonthClosingWindow;
class OrderedMenu;
class QKeySequence;
class StatisticsWindow;
class Tuserglfm;
class Tchangepassfm;
class Tbeifen;
class TPrintDBGridEh;

// TMainForm (name from the Windows program): the main window, the cash book's frame: its
// layout, toolbar, status bar and menus, the login and the tool windows.
class TMainForm : public CashBookWindow, public LoginHost
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

    // 账务工具: the bookkeeping tools' menu; 使用说明 (F1) at its end opens the guide.
    void guideClick();
    void recycleBinClick(); // 回收站 (Ctrl+B)
    void historyClick();    // 修改记录 (Ctrl+H)
    void undoClick();       // 撤销上一步 (Ctrl+Z)
    // 月末结账 (Ctrl+M): the opening balance and the closing of months, for the administrator.
    void monthClosingClick();
    // Adds a command to 账务工具 in the place its name has there (mainform_toolsmenu.cpp), with
    // a shortcut that works from the main window.
    QAction* addToolsCommand(const char* name, const QString& caption, const QKeySequence& keys,
                             void (TMainForm::*handler)());

    QToolBar* ToolBar2 = nullptr;        // the toolbar
    QToolButton* ToolButton17 = nullptr; // 数据备份
    QToolButton* ToolButton18 = nullptr; // 设置选项: opens PopupMenu1
    QToolButton* ToolButton1 = nullptr;  // 技术支持
    QMenu* PopupMenu1 = nullptr; // 设置选项 menu: N15, N13 and the skins N19, N26, N32, N42, N52

    Tuserglfm* userglfm = nullptr;         // user management window, made on first use
    Tchangepassfm* changepassfm = nullptr; // password window, made on first use
    Tbeifen* beifen = nullptr;             // backup window, made on first use

    QToolButton* toolsButton = nullptr; // 账务工具, after 收支统计: opens toolsMenu
    QMenu* toolsMenu = nullptr;
    QAction* guideAction = nullptr;      // 使用说明 (F1)
    QAction* settlementAction = nullptr; // 收款/付款登记… (Ctrl+R)
    QAction* statementAction = nullptr;
    QAction* agingAction = nullptr;
    QAction* cashJournalAction = nullptr;
    QAction* importAction = nullptr;    // 导入账单… (Ctrl+I)
    GuideWindow* guideWindow = nullptr; // made on first use
    QAction* recycleBinAction = nullptr;
    QAction* historyAction = nullptr;
    QAction* undoAction = nullptr; // 撤销上一步 (Ctrl+Z); a text field keeps Ctrl+Z for its own
    RecycleBinWindow* recycleBinWindow = nullptr;
    HistoryWindow* historyWindow = nullptr;
    QAction* monthClosingAction = nullptr;
    MonthClosingWindow* monthClosingWindow = nullptr; // made on first use

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildLowerPanel();
    void buildToolBar();
    void buildStatusBar();
    void layoutChildren();
    void scheduleLogin();
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
