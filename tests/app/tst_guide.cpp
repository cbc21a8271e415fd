// The user guide: it describes every command and window of the main window, F1 opens it with
// its pictures and a find bar, and the programs print their options.
#include "app/mainform.h"
#include "bills/bankmapping.h"
#include "bills/billimportwindow.h"
#include "bills/bookbillstore.h"
#include "cashbook/closingwindow.h"
#include "cashbook/entrypanel.h"
#include "cashbook/printpreview.h"
#include "cashbook/recordgrid.h"
#include "cashbook/settlementwindow.h"
#include "data/dm.h"
#include "gui/orderedmenu.h"
#include "help/findbar.h"
#include "help/guide.h"
#include "help/guidewindow.h"
#include "history/historywindow.h"
#include "history/recyclebinwindow.h"
#include "maintenance/repairdb.h"
#include "stats/agingwindow.h"
#include "stats/journalwindow.h"
#include "stats/statementwindow.h"
#include "stats/statswindow.h"
#include "testsupport.h"
#include "users/changepass.h"
#include "users/login.h"
#include "users/usergl.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>

using namespace testsupport;

namespace {

// Where the guide describes each command of the main window: the command's object name and the
// heading of its section, whose text must name the command's caption. A new command adds its
// line here, and its section (or a sentence in one) to docs/用户手册.md.
const QList<QPair<const char*, const char16_t*>> kCommandSections = {
    // The toolbar.
    {"ToolButton7", u"记一笔收入（应收账款）"},
    {"ToolButton19", u"修改和删除记录"},
    {"ToolButton22", u"打印报表"},
    {"ToolButton17", u"备份账本"},
    {"ToolButton18", u"设置选项和皮肤"},
    {"ToolButton1", u"设置选项和皮肤"},
    {"statisticsButton", u"收支统计"},
    {"toolsButton", u"使用说明"},
    // 设置选项.
    {"N15", u"修改密码"},
    {"N13", u"用户管理（管理员）"},
    {"N19", u"设置选项和皮肤"},
    {"N26", u"设置选项和皮肤"},
    {"N32", u"设置选项和皮肤"},
    {"N42", u"设置选项和皮肤"},
    {"N52", u"设置选项和皮肤"},
    // 账务工具.
    {"settlementAction", u"收款/付款登记"},
    {"statementAction", u"往来对账单"},
    {"agingAction", u"账龄分析"},
    {"importAction", u"导入账单"},
    {"cashJournalAction", u"现金日记账"},
    {"recycleBinAction", u"回收站：找回删除的记录"},
    {"historyAction", u"查看修改记录"},
    {"undoAction", u"撤销上一步"},
    {"monthClosingAction", u"月末结账"},
    {"guideAction", u"使用说明"},
    // The grid's menu.
    {"N2", u"记一笔收入（应收账款）"},
    {"N3", u"修改和删除记录"},
    {"N4", u"修改和删除记录"},
    {"Excel1", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"exportCsvAction", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"exportXlsxAction", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"N5", u"打印报表"},
    {"statisticsAction", u"收支统计"},
    {"settlementItem", u"收款/付款登记"},
    {"N7", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"N8", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"N9", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"N10", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"N11", u"导出 Excel 和 CSV 文件，隐藏不要的列"},
    {"showBalanceAction", u"余额列"},
    // The panel under the grid.
    {"Button12", u"查找记录（快速查询）"},
    {"Button2", u"查找记录（快速查询）"},
    {"CheckBox7", u"查找记录（快速查询）"},
    {"CheckBox2", u"查找记录（快速查询）"},
    {"CheckBox3", u"查找记录（快速查询）"},
    {"Button7", u"查看收支余额"},
    {"CheckBox1", u"只看本月"},
    // The entry panel.
    {"Button1", u"记一笔收入（应收账款）"},
    {"Button3", u"修改和删除记录"},
};

// The entry panel's hidden steps are run by its commands, never clicked.
const QStringList kHiddenSteps = {QStringLiteral("Button4"), QStringLiteral("Button5"),
                                  QStringLiteral("Button6"), QStringLiteral("Button9")};

struct Command
{
    QString name;
    QString caption;
};

// Every command the main window offers, found in the window itself.
QList<Command> mainWindowCommands(TMainForm* form)
{
    QList<Command> found;
    auto take = [&](const QString& name, QString caption) {
        caption.remove(u'&');
        if (caption.endsWith(u'：'))
            caption.chop(1);
        found.append({name, caption});
    };
    auto takeMenu = [&](QMenu* menu) {
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                take(action->objectName(), action->text());
    };
    for (QToolButton* button : form->ToolBar2->findChildren<QToolButton*>()) {
        if (button->objectName().startsWith(u"qt_"))
            continue;
        take(button->objectName(), button->text());
        if (button->menu())
            takeMenu(button->menu());
    }
    takeMenu(form->DBGridEh1->PopupMenu3);
    for (QAbstractButton* button : form->Panel1->findChildren<QAbstractButton*>())
        if (!qobject_cast<QToolButton*>(button))
            take(button->objectName(), button->text());
    for (QPushButton* button : form->Panel3->findChildren<QPushButton*>())
        if (!kHiddenSteps.contains(button->objectName()))
            take(button->objectName(), button->text());
    return found;
}

// The guide's sections as Qt renders them: heading → its text up to the next heading of the
// same or a higher level.
QMap<QString, QString> sections(QTextDocument* document)
{
    QMap<QString, QString> found;
    QList<QPair<int, QString>> open; // level, heading
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level > 0) {
            while (!open.isEmpty() && open.constLast().first >= level)
                open.removeLast();
            open.append({level, block.text()});
        }
        for (const auto& [unused, heading] : std::as_const(open))
            found[heading] += block.text() + u'\n';
    }
    return found;
}

QString guidePath()
{
    return QStringLiteral(QUENVALE_DOCS "/") + guide::fileName();
}

} // namespace

class GuideTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void everyCommandAndWindowIsInTheGuide();
    void everyPictureIsThereAndShown();
    void f1OpensTheGuideAndCtrlFFinds();
    void toolsMenuKeepsPlacesAndSeparators();
    void installedGuideIsFoundFirst();
    void programsPrintTheirOptions();
};

void GuideTest::everyCommandAndWindowIsInTheGuide()
{
    MainWindowSession session;
    QTextDocument document;
    QFile file(guidePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    document.setMarkdown(QString::fromUtf8(file.readAll()));
    const QMap<QString, QString> guide = sections(&document);

    QMap<QString, QString> sectionOf;
    for (const auto& [name, heading] : kCommandSections)
        sectionOf.insert(QString::fromLatin1(name), QString::fromUtf16(heading));
    const QList<Command> commands = mainWindowCommands(MainForm);
    QVERIFY2(commands.size() >= kCommandSections.size(), "commands went missing from the window");
    for (const Command& command : commands) {
        QVERIFY2(sectionOf.contains(command.name),
                 qPrintable(QStringLiteral("%1 (%2) has no section of the guide in "
                                           "kCommandSections")
                                .arg(command.name, command.caption)));
        const QString heading = sectionOf.value(command.name);
        QVERIFY2(guide.contains(heading),
                 qPrintable(QStringLiteral("the guide has no heading “%1”").arg(heading)));
        QVERIFY2(guide.value(heading).contains(command.caption),
                 qPrintable(QStringLiteral("section “%1” never names “%2” (%3)")
                                .arg(heading, command.caption, command.name)));
    }

    // The windows the commands open, by their real titles.
    session.add(QStringLiteral("收入"), QDate::currentDate().toString(Qt::ISODate),
                QStringLiteral("销售"), QStringLiteral("华信公司"), 100, 0, 0, 0);
    session.reload();
    MainForm->settlementClick();
    MainForm->N13Click();
    MainForm->N15Click();
    // Before the backup window, which takes the book away while it is open.
    MainForm->loggedIn(QStringLiteral("超级管理员"), 0);
    MainForm->monthClosingClick();
    MainForm->ToolButton17Click();
    MainForm->statisticsClick();
    MainForm->ToolButton22Click();
    MainForm->guideClick();
    MainForm->statementClick();
    MainForm->agingClick();
    MainForm->cashJournalClick();
    MainForm->recycleBinClick();
    MainForm->historyClick();
    Tloginfm login(MainForm);
    bills::BookBillStore store(*dmfm->writer());
    bills::SettingsMappingStore mappings;
    BillImportWindow bills(QString(), store, mappings, MainForm);
    const QList<QPair<QWidget*, QString>> windows = {
        {&bills, QStringLiteral("导入账单")},
        {&login, QStringLiteral("登录")},
        {MainForm->userglfm, QStringLiteral("用户管理（管理员）")},
        {MainForm->changepassfm, QStringLiteral("修改密码")},
        {MainForm->beifen, QStringLiteral("备份账本")},
        {MainForm->statisticsWindow, QStringLiteral("收支统计")},
        {MainForm->findChild<TPreviewForm*>(), QStringLiteral("打印报表")},
        {MainForm->guideWindow, QStringLiteral("使用说明")},
        {MainForm->statementWindow, QStringLiteral("往来对账单")},
        {MainForm->agingWindow, QStringLiteral("账龄分析")},
        {MainForm->cashJournalWindow, QStringLiteral("现金日记账")},
        {MainForm->findChild<SettlementWindow*>(), QStringLiteral("收款/付款登记")},
        {MainForm->recycleBinWindow, QStringLiteral("回收站：找回删除的记录")},
        {MainForm->historyWindow, QStringLiteral("查看修改记录")},
        {MainForm->monthClosingWindow, QStringLiteral("月末结账")},
    };
    for (const auto& [window, heading] : windows) {
        QVERIFY(window);
        QVERIFY2(guide.value(heading).contains(window->windowTitle()),
                 qPrintable(QStringLiteral("section “%1” never names the window “%2”")
                                .arg(heading, window->windowTitle())));
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != MainForm && w != &login)
            w->close();
}

void GuideTest::everyPictureIsThereAndShown()
{
    QFile file(guidePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QStringList named;
    static const QRegularExpression picture(QStringLiteral(R"(!\[[^\]]*\]\(([^)]+)\))"));
    for (const QRegularExpressionMatch& m : picture.globalMatch(text))
        named << m.captured(1);
    QVERIFY(named.size() >= 20);
    // Each picture the guide names is rendered by the docs tool, and none is left over.
    const QDir pictures(QStringLiteral(QUENVALE_DOCS "/guide"));
    QStringList files = pictures.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    for (QString& f : files)
        f.prepend(QStringLiteral("guide/"));
    QStringList sortedNames = named;
    sortedNames.sort();
    sortedNames.removeDuplicates();
    QCOMPARE(sortedNames, files);

    GuideWindow window;
    window.open(guidePath());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const QString& name : std::as_const(named)) {
        const QImage shown = window.picture(name);
        QVERIFY2(!shown.isNull(), qPrintable(name));
        QCOMPARE(shown.size(), QImage(QDir(QStringLiteral(QUENVALE_DOCS)).filePath(name)).size());
    }
    // Pictures wider than the text are shown smaller, in proportion.
    int fitted = 0;
    const int room = window.guideText->viewport()->width();
    for (QTextBlock b = window.guideText->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextImageFormat f = it.fragment().charFormat().toImageFormat();
            if (!f.isValid())
                continue;
            QVERIFY2(f.width() <= room, qPrintable(f.name()));
            const QImage image = window.picture(f.name());
            QVERIFY(qAbs(f.height() - image.height() * f.width() / image.width()) < 1);
            fitted += f.width() < image.width();
        }
    QVERIFY(fitted > 0);
}

void GuideTest::f1OpensTheGuideAndCtrlFFinds()
{
    MainWindowSession session;
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_F1);
    GuideWindow* window = MainForm->guideWindow;
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("使用说明"));
    QCOMPARE(window->headings().value(0), QStringLiteral("Quenvale 使用说明"));
    QVERIFY(window->headings().contains(QStringLiteral("出了问题时的提示")));
    QVERIFY(!window->picture(QStringLiteral("guide/first-start.png")).isNull());
    // The contents list leads to its section.
    QTreeWidgetItem* item = window->contentsTree->topLevelItem(2);
    QVERIFY(item);
    emit window->contentsTree->itemClicked(item, 0);
    QCOMPARE(window->guideText->textCursor().block().text(), item->text(0));
    // F1 again brings the same window forward.
    QTest::keyClick(MainForm, Qt::Key_F1);
    QCOMPARE(MainForm->findChildren<GuideWindow*>().size(), 1);

    window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window);
    QTest::keyClick(window->guideText, Qt::Key_F, Qt::ControlModifier);
    FindBar* bar = window->findBar;
    QVERIFY(bar->isVisible());
    QCOMPARE(QApplication::focusWidget(), bar->findEdit);
    const QString word = QStringLiteral("服务器");
    typeText(bar->findEdit, word);
    QCOMPARE(bar->findEdit->text(), word);
    const QString plain = window->guideText->document()->toPlainText();
    QCOMPARE(window->guideText->textCursor().selectedText(), word);
    QCOMPARE(bar->findStatus->text(), QStringLiteral("共 %1 处").arg(plain.count(word)));
    QCOMPARE(window->guideText->extraSelections().size(), plain.count(word));
    const int first = window->guideText->textCursor().selectionStart();
    QCOMPARE(first, plain.indexOf(word));
    QTest::keyClick(bar->findEdit, Qt::Key_Return);
    QCOMPARE(window->guideText->textCursor().selectionStart(), plain.indexOf(word, first + 1));
    QTest::keyClick(bar->findEdit, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(window->guideText->textCursor().selectionStart(), first);
    // Backwards from the first place wraps round to the last.
    QTest::keyClick(bar->findEdit, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(window->guideText->textCursor().selectionStart(), plain.lastIndexOf(word));

    bar->findEdit->clear();
    typeText(bar->findEdit, QStringLiteral("不在说明里的字"));
    QCOMPARE(bar->findStatus->text(), QStringLiteral("找不到“不在说明里的字”"));
    QTest::keyClick(bar->findEdit, Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QVERIFY(window->guideText->extraSelections().isEmpty());
    window->close();
}

void GuideTest::toolsMenuKeepsPlacesAndSeparators()
{
    MainWindowSession session;
    QStringList items;
    for (QAction* action : MainForm->toolsMenu->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(items.join(u','),
             QStringLiteral(
                 "收款/付款登记…,往来对账单,账龄分析,-,导入账单…,-,回收站,修改记录,撤销上一步,-,"
                 "月末结账…,现金日记账,-,使用说明"));
    QCOMPARE(MainForm->settlementAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    QCOMPARE(MainForm->agingAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    QCOMPARE(MainForm->importAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    QVERIFY(MainForm->actions().contains(MainForm->guideAction));
    QCOMPARE(MainForm->guideAction->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(MainForm->recycleBinAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    QCOMPARE(MainForm->historyAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    // The shortcuts work from the main window.
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_H, Qt::ControlModifier);
    QVERIFY(MainForm->historyWindow && MainForm->historyWindow->isVisible());
    MainForm->historyWindow->close();
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(MainForm->recycleBinWindow && MainForm->recycleBinWindow->isVisible());
    MainForm->recycleBinWindow->close();
    // After 收支统计, inside the window, captions whole.
    QVERIFY(MainForm->toolsButton->x() > MainForm->statisticsButton->x());
    const QRect bar = MainForm->ToolBar2->geometry();
    QVERIFY(bar.right() < MainForm->Panel1->width());
    QVERIFY(bar.left() > MainForm->GroupBox5->geometry().right());
    for (QToolButton* b : {MainForm->statisticsButton, MainForm->toolsButton})
        QVERIFY(b->width() >= b->fontMetrics().horizontalAdvance(b->text()) + 2);

    // Places kept whatever order the items come in; separators only between groups present.
    QMenu menu;
    OrderedMenu ordered(&menu, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("-"),
                                QStringLiteral("c"), QStringLiteral("-"), QStringLiteral("d"),
                                QStringLiteral("-"), QStringLiteral("e")});
    auto add = [&](const char* name) {
        auto* action = new QAction(QString::fromLatin1(name), &menu);
        action->setObjectName(QString::fromLatin1(name));
        ordered.add(action);
    };
    auto shown = [&] {
        QStringList texts;
        for (QAction* action : menu.actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts.join(u',');
    };
    add("e");
    QCOMPARE(shown(), QStringLiteral("e"));
    add("b");
    QCOMPARE(shown(), QStringLiteral("b,-,e"));
    add("a");
    add("d");
    QCOMPARE(shown(), QStringLiteral("a,b,-,d,-,e"));
    add("c");
    QCOMPARE(shown(), QStringLiteral("a,b,-,c,-,d,-,e"));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, add("c"));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, add("x"));
    QVERIFY_THROWS_EXCEPTION(std::logic_error, add("-"));
    QCOMPARE(shown(), QStringLiteral("a,b,-,c,-,d,-,e"));
}

void GuideTest::installedGuideIsFoundFirst()
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("usr/bin"));
    const QString docs = root.filePath(QStringLiteral("usr/share/doc/quenvale"));
    QVERIFY(QDir().mkpath(bin));
    // From a build folder: the source tree's guide.
    QCOMPARE(guide::locate(bin), guidePath());
    QVERIFY(QDir().mkpath(docs));
    QVERIFY(QFile::copy(guidePath(), QDir(docs).filePath(guide::fileName())));
    QCOMPARE(guide::locate(bin), QDir(docs).filePath(guide::fileName()));
    QCOMPARE(guide::folders(bin).constFirst(), docs);
}

void GuideTest::programsPrintTheirOptions()
{
    auto run = [](const QString& program, const QStringList& arguments, int& status) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Help needs no display.
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(30000))
            return QString();
        status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    };
    int status = -1;
    const QString help = run(QStringLiteral(QUENVALE_PROGRAM), {QStringLiteral("--help")}, status);
    QCOMPARE(status, 0);
    for (const char* option : {"--book <conninfo>", "--help", "--version", "用户手册.md"})
        QVERIFY2(help.contains(QString::fromUtf8(option)), qPrintable(help));
    QCOMPARE(run(QStringLiteral(QUENVALE_PROGRAM), {QStringLiteral("--version")}, status).trimmed(),
             QStringLiteral("Quenvale 3.6.7.1"));
    QCOMPARE(status, 0);
    const QString mkdb = run(QStringLiteral(QUENVALE_MKDB), {QStringLiteral("--help")}, status);
    QCOMPARE(status, 0);
    for (const char* option : {"--if-missing", "--server", "--copy"})
        QVERIFY2(mkdb.contains(QString::fromLatin1(option)), qPrintable(mkdb));
}

QUENVALE_TEST_MAIN(GuideTest)
#include "tst_guide.moc"
