// The main window frame, its tool-window routine and start-up.
#include "app/mainform.h"
#include "app/startup.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/formats.h"
#include "gui/showorcreate.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

using namespace testsupport;

// A tool window like the program's: owned by the main window, freed on close.
class ProbeForm : public QWidget
{
    Q_OBJECT
public:
    explicit ProbeForm(QWidget* owner) : QWidget(owner) { ++created; }
    static inline int created = 0;
};

class ProbeSubForm : public ProbeForm
{
    Q_OBJECT
public:
    using ProbeForm::ProbeForm;
};

// Stands in for the login window.
class CountingGate : public LoginGate
{
public:
    void showLogin() override { ++shown; }
    void logout() override
    {
        ++logouts;
        if (failLogout)
            throw QuenvaleError(QStringLiteral("disk I/O error"));
    }
    int shown = 0;
    int logouts = 0;
    bool failLogout = false;
};

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void frameShowsToolbarMenuAndStatus();
    void gridFollowsWindowHeight();
    void showOrCreateKeepsOneWindowPerClass();
    void startupFromAnotherFolderFails();
    void failingHandlerIsReportedAndProgramGoesOn();
    void loginIsAskedUntilSomeoneLogsIn();
};

void MainWindowTest::frameShowsToolbarMenuAndStatus()
{
    BookFolder book;
    QVERIFY(startup::createWindows());
    MainForm->setLoginGate(nullptr); // this test drives the windows itself
    TMainForm* form = MainForm;
    QCOMPARE(form->windowTitle(), QStringLiteral("Quenvale V3.6.7.1(春节珍藏版) "));
    QCOMPARE(form->statusText(1), QStringLiteral("操作员："));
    QCOMPARE(form->statusText(2),
             QStringLiteral("今天：") + formats::dateText(QDate::currentDate()));
    QCOMPARE(form->centralWidget()->size(), QSize(938, 629 - form->statusBar()->height()));

    const QList<QPair<const char*, QString>> buttons = {
        {"ToolButton7", QStringLiteral("新建记录")},  {"ToolButton19", QStringLiteral("删除记录")},
        {"ToolButton22", QStringLiteral("打印报表")}, {"ToolButton17", QStringLiteral("数据备份")},
        {"ToolButton18", QStringLiteral("设置选项")}, {"ToolButton1", QStringLiteral("技术支持")}};
    int left = -1;
    for (const auto& [name, caption] : buttons) {
        auto* button = form->findChild<QToolButton*>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->size(), QSize(55, 51));
        QVERIFY(!button->icon().isNull());
        QVERIFY2(button->isVisible(), name);
        QVERIFY2(button->x() > left, "toolbar buttons out of order");
        left = button->x();
        QCOMPARE(button->isEnabled(), QString::fromLatin1(name) != u"ToolButton19");
    }
    QStringList items;
    for (QAction* action : form->PopupMenu1->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(items.join(u','),
             QStringLiteral("修改密码,用户管理,-,黑色经典(皮肤),蓝色幻想(皮肤),梦幻天空(皮肤),"
                            "黑色遐想(皮肤),梦想成真(皮肤)"));
    QVERIFY(!form->findChild<QWidget*>(QStringLiteral("Panel3"))->isVisible());
    QCOMPARE(form->baseQuery(), QStringLiteral("select * from data order by day1"));
    startup::destroyWindows();
}

void MainWindowTest::gridFollowsWindowHeight()
{
    BookFolder book;
    QVERIFY(startup::createWindows());
    MainForm->setLoginGate(nullptr); // this test drives the windows itself
    TMainForm* form = MainForm;
    const QSize design = form->size();
    const int before = form->DBGridEh1->height();
    QCOMPARE(before, 505); // the design height in a 938 x 629 client area
    // A drag cannot enlarge the window.
    form->resize(design + QSize(150, 120));
    QTRY_COMPARE(form->size(), design);
    QCOMPARE(form->DBGridEh1->height(), before);
    // Maximised, it takes the screen's size and the grid follows.
    form->setWindowState(Qt::WindowMaximized);
    QTRY_VERIFY(form->height() != design.height());
    QTest::qWait(50);
    QVERIFY(form->isMaximized());
    QVERIFY(form->height() != design.height());
    QCOMPARE(form->DBGridEh1->height(), before + form->height() - design.height());
    form->setWindowState(Qt::WindowNoState);
    QTRY_COMPARE(form->size(), design);
    QCOMPARE(form->DBGridEh1->height(), before);
    startup::destroyWindows();
}

void MainWindowTest::showOrCreateKeepsOneWindowPerClass()
{
    QWidget owner;
    owner.show();
    ProbeForm::created = 0;
    ProbeForm* ref = nullptr;
    ProbeForm* first = ShowOrCreateForm(&owner, ref);
    QCOMPARE(ref, first);
    QVERIFY(first->isVisible());
    QVERIFY(first->isWindow());
    QCOMPARE(first->parentWidget(), &owner);

    first->showMinimized();
    ProbeForm* again = ShowOrCreateForm(&owner, ref);
    QCOMPARE(again, first);
    QCOMPARE(ProbeForm::created, 1);
    QVERIFY(!again->isMinimized());

    // A subclass is another class.
    ProbeSubForm* subRef = nullptr;
    ProbeSubForm* sub = ShowOrCreateForm(&owner, subRef);
    QVERIFY(static_cast<ProbeForm*>(sub) != first);
    QCOMPARE(ProbeForm::created, 2);

    QPointer<ProbeForm> closed = first;
    QVERIFY(first->close());
    ProbeForm* fresh = ShowOrCreateForm(&owner, ref);
    QCOMPARE(ProbeForm::created, 3);
    QTRY_VERIFY(closed.isNull());
    QVERIFY(fresh->isVisible());
}

void MainWindowTest::startupFromAnotherFolderFails()
{
    QTemporaryDir elsewhere;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    QVERIFY(!startup::createWindows());
    QVERIFY(!MainForm);
    QCOMPARE(scripted().shown.size(), 1);
    QCOMPARE(scripted().shown[0].kind, QStringLiteral("critical"));
    QVERIFY2(scripted().lastText().contains(elsewhere.filePath(QStringLiteral("data.mdb"))),
             qPrintable(scripted().lastText()));
    QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("data.mdb"))));
    QDir::setCurrent(previous);
}

void MainWindowTest::failingHandlerIsReportedAndProgramGoesOn()
{
    BookFolder book;
    QVERIFY(startup::createWindows());
    MainForm->setLoginGate(nullptr); // this test drives the windows itself
    dmfm->setConnected(false);
    QTest::mouseClick(MainForm->Button12, Qt::LeftButton);
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QCOMPARE(scripted().shown.constLast().title, QStringLiteral("Quenvale"));
    dmfm->setConnected(true);
    scripted().clear();
    QTest::mouseClick(MainForm->Button12, Qt::LeftButton);
    QVERIFY(scripted().shown.isEmpty());
    QVERIFY(dmfm->ADOQuery15->isOpen());
    startup::destroyWindows();
}

void MainWindowTest::loginIsAskedUntilSomeoneLogsIn()
{
    BookFolder book;
    QVERIFY(startup::createWindows());
    CountingGate gate;
    MainForm->setLoginGate(&gate);
    // The first showing asks, after it has finished.
    QTRY_COMPARE(gate.shown, 1);
    MainForm->FormActivate();
    QCOMPARE(gate.shown, 2);
    MainForm->LoginLogId = 7;
    MainForm->FormActivate();
    QCOMPARE(gate.shown, 2);
    // A failing logout is reported, and the program ends all the same.
    gate.failLogout = true;
    QVERIFY(MainForm->close());
    QVERIFY(!MainForm->isVisible());
    QVERIFY(scripted().lastText().startsWith(QStringLiteral("disk I/O error\n")));
    QCOMPARE(gate.logouts, 1);
    MainForm->setLoginGate(nullptr);
    startup::destroyWindows();
}

QUENVALE_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
