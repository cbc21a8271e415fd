#pragma once

#include "users/logingate.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QCheckBox;
class QDateEdit;
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
class StatisticsWindow;
class Tuserglfm;
class Tchangepassfm;
class Tbeifen;
class TPrintDBGridEh;

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
    void FormShow();
    void FormActivate();
    bool FormClose(); // false when the close is abandoned
    void ToolButton1Click();
    void ToolButton17Click();
    void N13Click();
    void N15Click();
    void chooseSkin(int index);

    // LoginHost
    void listRecords() override;
    void showFirstView(bool monthOnly) override;
    void loggedIn(const QString& user, int logId) override;
    int loginLogId() const override;
    void closeWindow() override;

    // Cash book: queries and balance.
    void Button12Click(); // all records
    void Button2Click();  // quick query
    void Button7Click();  // balance
    void Edit24Change();
    void Edit2Change();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox1Changed();
    QString baseQuery() const;

    // Cash book: entry panel, printing and export.
    void ToolButton7Click();
    void ToolButton19Click();
    void ToolButton22Click();
    void Excel1Click();
    // Beyond the grid: CSV and .xlsx export, the statistics window.
    void exportCsvClick();
    void exportXlsxClick();
    void statisticsClick();

    // The grid and its neighbours.
    RecordGrid* DBGridEh1 = nullptr;
    EntryPanel* Panel3 = nullptr;
    QFrame* Panel1 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QCheckBox* CheckBox7 = nullptr;
    QDateEdit* DBDateTimeEditEh2 = nullptr;
    QDateEdit* DBDateTimeEditEh3 = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QPushButton* Button12 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit24 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button7 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label7 = nullptr; // hidden; its text is the base query

    QToolBar* ToolBar2 = nullptr;
    QToolButton* ToolButton7 = nullptr;
    QToolButton* ToolButton19 = nullptr;
    QToolButton* ToolButton22 = nullptr;
    QToolButton* ToolButton17 = nullptr;
    QToolButton* ToolButton18 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QMenu* PopupMenu1 = nullptr;

    Tuserglfm* userglfm = nullptr;
    Tchangepassfm* changepassfm = nullptr;
    Tbeifen* beifen = nullptr;

    QAction* exportCsvAction = nullptr; // in the grid's menu, after "导出Excel"
    QAction* exportXlsxAction = nullptr;
    QAction* statisticsAction = nullptr;
    QToolButton* statisticsButton = nullptr; // after the toolbar's other buttons
    StatisticsWindow* statisticsWindow = nullptr;

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

    QLabel* m_status[4] = {};
    LoginGate* m_loginGate = nullptr;
    bool m_shown = false;
    bool m_loginPending = false;
    bool m_sizeRestorePending = false;
};

extern TMainForm* MainForm;

// The main window's print settings object, made on first use as a child of the window.
TPrintDBGridEh* printSettings(TMainForm* window);
