#include "app/mainform.h"

#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/formats.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/icons.h"
#include "maintenance/repairdb.h"
#include "skins/skins.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

TMainForm* MainForm = nullptr;

namespace {

constexpr int kClientWidth = 938;
constexpr int kClientHeight = 629;
// The grid gives the lower panel and the status bar a fixed 124 pixels: 505 of a
// 629-pixel client area at design size, and every pixel the window grows beyond it.
constexpr int kLowerAreaHeight = kClientHeight - 505;

QFont simSun(int pixels)
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixels);
    return font;
}

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : CashBookWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quenvale V3.6.7.1(春节珍藏版) "));
    setWindowIcon(icons::program());
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralArea"));
    central->setAutoFillBackground(true);
    central->setBackgroundRole(QPalette::Window);
    setCentralWidget(central);

    DBGridEh1 = named(new RecordGrid(central), "DBGridEh1");
    buildLowerPanel();
    buildToolBar();
    buildStatusBar();
    Panel3 = named(new EntryPanel(central), "Panel3");
    Panel3->hide();

    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);
    connectCashBook();
    connectGridMenu();
    connectEntryPanel();
    connectStatistics();
    buildToolsMenu();
}

TMainForm::~TMainForm()
{
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::buildLowerPanel()
{
    Panel1 = named(new QFrame(centralWidget()), "Panel1");
    GroupBox5 = named(new QGroupBox(QStringLiteral(" 快速查询 "), Panel1), "GroupBox5");
    GroupBox5->setGeometry(10, 6, 495, 94);
    GroupBox5->setFont(simSun(14));

    CheckBox7 = named(new QCheckBox(QStringLiteral("日期："), GroupBox5), "CheckBox7");
    CheckBox7->setGeometry(16, 27, 57, 17);
    auto makeDate = [this](const char* name, int left) {
        auto* edit = named(new DateField(GroupBox5), name);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
        edit->setGeometry(left, 25, 91, 21);
        // The whole date must show in the design width beside the drop-down button.
        QFont font = edit->font();
        font.setPixelSize(12);
        edit->setFont(font);
        QPalette p = edit->palette();
        p.setColor(QPalette::Text, QColor(0, 128, 128));
        edit->setPalette(p);
        return edit;
    };
    DBDateTimeEditEh2 = makeDate("DBDateTimeEditEh2", 70);
    Label3 = named(new QLabel(QStringLiteral("至"), GroupBox5), "Label3");
    Label3->move(164, 28);
    DBDateTimeEditEh3 = makeDate("DBDateTimeEditEh3", 179);
    CheckBox2 = named(new QCheckBox(QStringLiteral("收入"), GroupBox5), "CheckBox2");
    CheckBox2->setGeometry(288, 27, 57, 17);
    CheckBox3 = named(new QCheckBox(QStringLiteral("支出"), GroupBox5), "CheckBox3");
    CheckBox3->setGeometry(344, 27, 57, 17);
    Button12 = named(new QPushButton(QStringLiteral("全部记录"), GroupBox5), "Button12");
    Button12->setGeometry(404, 23, 75, 25);
    Label5 = named(new QLabel(QStringLiteral("项目摘要："), GroupBox5), "Label5");
    Label5->move(16, 59);
    Edit24 = named(new QLineEdit(GroupBox5), "Edit24");
    Edit24->setGeometry(83, 56, 110, 21);
    Label6 = named(new QLabel(QStringLiteral("单位名称："), GroupBox5), "Label6");
    Label6->move(216, 59);
    Edit2 = named(new QLineEdit(GroupBox5), "Edit2");
    Edit2->setGeometry(283, 56, 102, 21);
    Button2 = named(new QPushButton(QStringLiteral("查 询"), GroupBox5), "Button2");
    Button2->setGeometry(404, 54, 75, 25);

    Button7 = named(new QPushButton(QStringLiteral("查看收支余额"), Panel1), "Button7");
    Button7->setGeometry(528, 72, 113, 25);
    Button7->setFont(simSun(13));
    CheckBox1 = named(new QCheckBox(QStringLiteral("只显示本月现金账"), Panel1), "CheckBox1");
    CheckBox1->setGeometry(768, 80, 137, 17);
    CheckBox1->setFont(simSun(14));
    Label7 = named(new QLabel(Panel1), "Label7");
    Label7->hide();
    setBaseQuery(ListingQuery::allRecords());
}

void TMainForm::buildToolBar()
{
    ToolBar2 = named(new QToolBar(Panel1), "ToolBar2");
    ToolBar2->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar2->setIconSize(QSize(32, 32));
    ToolBar2->setMovable(false);
    ToolBar2->setFloatable(false);
    auto add = [this](const char* name, const QString& caption, int icon) {
        auto* button = named(new QToolButton(ToolBar2), name);
        button->setText(caption);
        button->setIcon(icons::toolbar(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(QSize(32, 32));
        button->setFixedSize(55, 51);
        button->setAutoRaise(true);
        ToolBar2->addWidget(button);
        return button;
    };
    ToolButton7 = add("ToolButton7", QStringLiteral("新建记录"), 1);
    ToolButton19 = add("ToolButton19", QStringLiteral("删除记录"), 6);
    ToolButton19->setEnabled(false);
    ToolButton22 = add("ToolButton22", QStringLiteral("打印报表"), 9);
    ToolButton17 = add("ToolButton17", QStringLiteral("数据备份"), 10);
    ToolButton18 = add("ToolButton18", QStringLiteral("设置选项"), 5);
    ToolButton1 = add("ToolButton1", QStringLiteral("技术支持"), 0);
    ToolBar2->setGeometry(520, 8, 6 * 56 + 16, 59);

    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    auto item = [this](const char* name, const QString& caption) {
        QAction* action = PopupMenu1->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    QAction* n15 = item("N15", QStringLiteral("修改密码"));
    QAction* n13 = item("N13", QStringLiteral("用户管理"));
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    const char* skinNames[] = {"N19", "N26", "N32", "N42", "N52"};
    const QString skinCaptions[] = {
        QStringLiteral("黑色经典(皮肤)"), QStringLiteral("蓝色幻想(皮肤)"),
        QStringLiteral("梦幻天空(皮肤)"), QStringLiteral("黑色遐想(皮肤)"),
        QStringLiteral("梦想成真(皮肤)")};
    for (int i = 0; i < skins::kCount; ++i) {
        QAction* skin = item(skinNames[i], skinCaptions[i]);
        connectGuarded(skin, &QAction::triggered, this, [this, i] { chooseSkin(i); });
    }
    ToolButton18->setMenu(PopupMenu1);
    ToolButton18->setPopupMode(QToolButton::InstantPopup);

    connectGuarded(n15, &QAction::triggered, this, &TMainForm::N15Click);
    connectGuarded(n13, &QAction::triggered, this, &TMainForm::N13Click);
    connectGuarded(ToolButton1, &QToolButton::clicked, this, &TMainForm::ToolButton1Click);
    connectGuarded(ToolButton17, &QToolButton::clicked, this, &TMainForm::ToolButton17Click);
}

void TMainForm::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    const int widths[4] = {250, 100, 120, 300};
    const Qt::Alignment aligns[4] = {Qt::AlignLeft, Qt::AlignCenter, Qt::AlignCenter,
                                     Qt::AlignRight};
    for (int i = 0; i < 4; ++i) {
        m_status[i] = new QLabel(bar);
        m_status[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_status[i]->setFixedWidth(widths[i]);
        m_status[i]->setAlignment(aligns[i] | Qt::AlignVCenter);
        m_status[i]->setFrameShape(QFrame::Panel);
        m_status[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(m_status[i]);
    }
    m_status[1]->setText(QStringLiteral("操作员："));
    m_status[3]->setText(homePageAddress());
    // Hints of the control under the mouse go to panel 0.
    connect(bar, &QStatusBar::messageChanged, this,
            [this](const QString& text) { m_status[0]->setText(text); });
}

void TMainForm::setStatusText(int panel, const QString& text)
{
    m_status[panel]->setText(text);
}

QString TMainForm::statusText(int panel) const
{
    return m_status[panel]->text();
}

void TMainForm::layoutChildren()
{
    QWidget* area = centralWidget();
    if (!area)
        return;
    const int gridHeight = std::max(0, height() - kLowerAreaHeight);
    DBGridEh1->setGeometry(0, 0, area->width(), gridHeight);
    Panel1->setGeometry(0, gridHeight, area->width(), std::max(0, area->height() - gridHeight));
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    layoutChildren();
    // A fixed border: a drag cannot change the size, only maximising does. Window managers
    // offer no maximise for a window whose size is pinned, so a dragged size is undone instead.
    if (!m_sizeRestorePending && size() != QSize(kClientWidth, kClientHeight)) {
        m_sizeRestorePending = true;
        QTimer::singleShot(0, this, [this] {
            m_sizeRestorePending = false;
            if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
                resize(kClientWidth, kClientHeight);
        });
    }
}

void TMainForm::bindData()
{
    DBGridEh1->setListing(dmfm->ADOQuery15);
    Panel3->bind(dmfm->ADOQuery15, dmfm->ADOTable5, [dm = dmfm] { return dm->connection(); });
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // Centred on the desktop the first time.
        if (QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        guarded(this, [this] { FormShow(); });
        // Without a window manager no activation may come; the first showing asks as well.
        scheduleLogin();
    }
    layoutChildren();
}

void TMainForm::FormShow()
{
    if (dmfm)
        dmfm->ADOTable5->openForAppend();
    Panel3->hide();
    const QDate today = QDate::currentDate();
    Panel3->setDate(today);
    DBDateTimeEditEh2->setDate(today);
    DBDateTimeEditEh3->setDate(today);
    skins::restore();
    setStatusText(2, QStringLiteral("今天：") + formats::dateText(today));
}

bool TMainForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        // Hints go to panel 0 and never cover the other panels.
        m_status[0]->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        scheduleLogin();
    return handled;
}

void TMainForm::scheduleLogin()
{
    if (LoginLogId != 0 || !m_loginGate || m_loginPending)
        return;
    // Shown after the activation (or the first showing) has finished, not from inside it.
    m_loginPending = true;
    QTimer::singleShot(0, this, [this] {
        FormActivate();
        m_loginPending = false;
    });
}

void TMainForm::FormActivate()
{
    if (LoginLogId == 0 && m_loginGate)
        guarded(this, [this] { m_loginGate->showLogin(); });
}

void TMainForm::FormClose()
{
    // The backup window holds the connection closed: it reconnects as it closes (a book it
    // cannot open again has been reported; the program ends all the same).
    if (beifen && beifen->isVisible())
        beifen->close();
    if (!m_loginGate)
        return;
    const bool loggedOut = writeLogout();
    // A server that cannot be reached cannot be backed up either: no second wait.
    if (LoginLogId != 0 && dmfm && (loggedOut || !dmfm->isServer()))
        takeExitBackup();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TMainForm::ToolButton1Click()
{
    QDesktopServices::openUrl(QUrl(homePageAddress()));
}

void TMainForm::chooseSkin(int index)
{
    skins::choose(index);
}
