// Builds synthetic cash books and times the main window's listing commands against the same
// statements run bare through SQLite.
//
//   quenvale_bench [records...]      (default: 10000 100000 1000000)
//   quenvale_bench --profile records (one all-records command, for a profiler)
//   quenvale_bench --login records   (start-up and login only)
//   quenvale_bench --preview records (start-up, login and the print preview)
//   quenvale_bench --commands records (start-up, login, then 全部记录, add, modify, a settlement,
//                                      delete)
//   quenvale_bench --balance records  (start-up, login, then the running balance column)
#include "app/mainform.h"
#include "app/startup.h"
#include "balancebench.h"
#include "benchtools.h"
#include "cashbook/entrypanel.h"
#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "cashbook/recordgrid.h"
#include "cashbook/reportpreview.h"
#include "cashbook/settlementwindow.h"
#include "data/dm.h"
#include "data/mylib.h"
#include "data/schema.h"
#include "export/DBGridEhToExcel.h"
#include "export/recordgridexport.h"
#include "gui/formfields.h"
#include "gui/messages.h"
#include "users/login.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

using namespace bench;

// The .xls export of the listing shown, into path, without opening the result.
void exportListing(const QString& path)
{
    TDBGridEhToExcel exporter(nullptr);
    RecordGridExport grid(MainForm->DBGridEh1);
    exporter.setTitleName(QStringLiteral("财务统计报表"));
    exporter.setUserName(QStringLiteral("Quenvale"));
    exporter.setDBGridEh(&grid);
    exporter.setShowProgress(true);
    QFile::remove(path);
    exporter.setFileName(path);
    exporter.ExportToExcel();
}

// Swallows the request to open the exported file.
class UrlSink : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl&) {}
};

// The preview: its first page painted, then every page laid out in the background.
void benchPreview(int records, double file, double bareListing)
{
    malloc_trim(0);
    const double mb = residentMb();
    QElapsedTimer timer;
    timer.start();
    MainForm->ToolButton22Click();
    TPreviewForm* preview = MainForm->findChildren<TPreviewForm*>().constLast();
    PaintWatch pageWatch(preview->previewWidget()->viewport());
    pageWatch.waitForPaint();
    row("print preview, 1st page", records, timer.nsecsElapsed() / 1e6, bareListing);
    row("  its memory vs file", records, residentMb() - mb, file, "MB");
    QElapsedTimer limit;
    limit.start();
    while (preview->previewWidget()->isLayingOut() && limit.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    row("  every page laid out", records, timer.nsecsElapsed() / 1e6, bareListing);
    row("  its memory vs file", records, residentMb() - mb, file, "MB");
    std::printf("(%d pages)\n", preview->pageCount());
    delete preview;
    // The first page's two parts: the grid's texts, then the widths and the first page.
    TPrintDBGridEh* settings = printSettings(MainForm);
    report::Content content;
    const double snapshot = bestOf(
        1, [] {}, [&] { content = settings->content(); });
    row("  of which the texts", records, snapshot, bareListing);
    const QSizeF a4(210 / 25.4 * report::kUnitsPerInch, 297 / 25.4 * report::kUnitsPerInch);
    const double first = bestOf(
        1, [] {},
        [&] {
            report::Paginator paginator(content, settings->options, a4);
            paginator.advance(1);
        });
    row("  of which the 1st page", records, first, bareListing);
}

enum class Part { All, Login, Preview, Commands, Balance };

PrintedMessages* printedMessages = nullptr;

// What the user waits for after 全部记录 from a search, an add, a modify and a delete: the
// grid painted with its final rows, the last record current.
void benchRecordCommands(int records, PaintWatch& watch, double bareListing)
{
    const int runs = records >= 1000000 ? 2 : 3;
    EntryPanel* panel = MainForm->Panel3;
    printedMessages->answerYes = true;
    auto timed = [&](const char* name, const std::function<void()>& setup,
                     const std::function<void()>& command) {
        const double ms = bestOf(
            runs,
            [&] {
                waitUntilRead();
                setup();
                QCoreApplication::processEvents();
                watch.arm();
            },
            [&] {
                perfCollect(name, true);
                command();
                watch.waitForPaint();
                perfCollect(name, false);
            });
        row(name, records, ms, bareListing);
    };
    timed(
        "all records after search",
        [] {
            {
                const QSignalBlocker quiet(MainForm->Edit24);
                MainForm->Edit24->clear();
            }
            MainForm->Edit24->setText(QStringLiteral("租"));
        },
        [] { MainForm->Button12Click(); });
    int serial = 0;
    timed(
        "add, to painted grid",
        [&] {
            panel->newRecord();
            panel->ComboBox1->setEditText(QStringLiteral("收入"));
            panel->ComboBox3->setEditText(QStringLiteral("房租"));
            panel->ComboBox2->setEditText(QStringLiteral("单位%1").arg(++serial));
            panel->Edit9->setText(QStringLiteral("100"));
            panel->Edit28->setText(QStringLiteral("0"));
        },
        [&] { panel->Button1Click(); });
    timed(
        "modify, to painted grid",
        [&] {
            MainForm->Button12Click();
            dmfm->ADOQuery15->moveTo(dmfm->ADOQuery15->recordCount() / 2);
            panel->openForModify();
            panel->Edit9->setText(QString::number(200 + ++serial));
        },
        [&] { panel->Button3Click(); });
    // 收款/付款登记 of the whole rest of a record still open, from 确 定 to the painted grid.
    SettlementWindow* settlement = nullptr;
    timed(
        "settlement, to painted grid",
        [&] {
            MainForm->Button12Click();
            waitUntilRead();
            Dataset* listing = dmfm->ADOQuery15;
            listing->moveTo(listing->recordCount() / 3 + ++serial);
            while (listing->value(QStringLiteral("3")).toDouble() <= 0 &&
                   listing->value(QStringLiteral("6")).toDouble() <= 0)
                listing->next();
            MainForm->settlementClick();
            for (auto* window : MainForm->findChildren<SettlementWindow*>())
                if (window->isVisible())
                    settlement = window;
        },
        [&] { settlement->okButton->click(); });
    timed(
        "delete, to painted grid", [] { MainForm->Button12Click(); },
        [] { MainForm->ToolButton19Click(); });
    panel->closePanel();
    printedMessages->answerYes = false;
}

void benchBook(int records, Part part = Part::All)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("data.mdb"));
    schema::createFile(path);
    fillBook(path, records);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const double file = QFileInfo(path).size() / (1024.0 * 1024.0);
    const int runs = records >= 1000000 ? 2 : 3;
    auto settle = [] {
        QCoreApplication::processEvents();
        waitUntilRead();
    };

    // Start-up as the program starts, to the login window: nothing may read the records yet.
    malloc_trim(0);
    QElapsedTimer startTimer;
    startTimer.start();
    MainForm = new TMainForm;
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    dmfm = new Tdmfm;
    MainForm->bindData();
    PaintWatch watch(MainForm->DBGridEh1->viewport());
    double toLogin = 0, emptyMb = 0;
    QElapsedTimer loginTimer;
    // The login window runs its own loop: it is answered from inside it.
    QTimer answer;
    answer.setInterval(1);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!loginfm->isVisible())
            return;
        answer.stop();
        toLogin = startTimer.nsecsElapsed() / 1e6;
        emptyMb = residentMb();
        loginfm->Edit1->setText(QStringLiteral("574"));
        watch.arm();
        loginTimer.start();
        perfCollect("login", true);
        loginfm->bitbtn4Click();
    });
    answer.start();
    MainForm->show();
    QElapsedTimer limit;
    limit.start();
    while (!loginTimer.isValid() && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    watch.waitForPaint();
    const double loginMs = loginTimer.nsecsElapsed() / 1e6;
    perfCollect("login", false);
    waitUntilRead();
    const double loginReadMs = loginTimer.nsecsElapsed() / 1e6;

    const double bareListing = bestBare(runs, path, {{kAllRecordsSql[2], nullptr}});
    row("start-up to login window", records, toLogin, 0);
    // The login reads the listing only: the entry lists wait for the panel to open.
    row("login to painted grid", records, loginMs, bareListing);
    row("  to every row read", records, loginReadMs, bareListing);
    row("  memory after login", records, residentMb(), file, "MB");
    row("  of which not the file", records, anonymousMb(), file, "MB");
    if (!MainForm->statusText(1).contains(QStringLiteral("超级管理员")))
        std::fprintf(stderr, "the login did not succeed\n");
    if (part == Part::Preview)
        benchPreview(records, file, bareListing);
    if (part == Part::Commands)
        benchRecordCommands(records, watch, bareListing);
    if (part == Part::Balance)
        benchBalanceColumn(records, path, watch, bareListing, *printedMessages);
    if (part != Part::All) {
        MainForm->setLoginGate(nullptr);
        delete MainForm;
        MainForm = nullptr;
        loginfm = nullptr;
        delete dmfm;
        dmfm = nullptr;
        QDir::setCurrent(previous);
        return;
    }

    // After another program's write the listing is read again (the entry lists wait for the
    // panel to open).
    const double all = bestOf(
        runs,
        [&] {
            settle();
            touchBook();
        },
        [] { MainForm->Button12Click(); });
    row("all records after change", records, all, bareListing);
    const double painted = bestOf(
        runs,
        [&] {
            settle();
            touchBook();
            watch.arm();
        },
        [&] {
            MainForm->Button12Click();
            watch.waitForPaint();
        });
    row("  same, to painted grid", records, painted, bareListing);
    const double read = bestOf(
        runs,
        [&] {
            settle();
            touchBook();
        },
        [] {
            MainForm->Button12Click();
            waitUntilRead();
        });
    row("  same, to every row read", records, read, bareListing);
    // The entry panel's two lists as it opens, and the listing itself.
    const double lists = bestOf(runs, settle, [] {
        FillComboFromColumn(dmfm->ADOQuery1, QStringLiteral("c"), QStringLiteral("data"),
                            MainForm->Panel3->ComboBox2);
        FillComboFromColumn(dmfm->ADOQuery1, QStringLiteral("b"), QStringLiteral("data"),
                            MainForm->Panel3->ComboBox3);
    });
    row("the 2 entry lists", records, lists,
        bestBare(runs, path, {{kAllRecordsSql[0], nullptr}, {kAllRecordsSql[1], nullptr}}));
    const double base = bestOf(runs, settle, [] {
        OpenQuery(dmfm->ADOQuery15, MainForm->baseQuery());
        dmfm->ADOQuery15->last();
        waitUntilRead();
    });
    row("the listing alone", records, base, bareListing);
    MainForm->Button12Click();
    const double unchanged = bestOf(runs, settle, [] { MainForm->Button12Click(); });
    row("all records, no change", records, unchanged, bareListing);
    benchRecordCommands(records, watch, bareListing);
    benchBalanceColumn(records, path, watch, bareListing, *printedMessages);

    // One keystroke in the empty item-summary field.
    const double key = bestOf(
        runs,
        [&] {
            const QSignalBlocker quiet(MainForm->Edit24);
            MainForm->Edit24->clear();
            settle();
        },
        [] { MainForm->Edit24->insert(QStringLiteral("租")); });
    const double keyBare = bestBare(
        runs, path, {{"select * from data where o='1'  and b like ? escape '\\'", "%租%"}});
    row("keystroke search", records, key, keyBare);

    MainForm->Button12Click();
    const double sort = bestOf(
        runs,
        [] {
            MainForm->Button12Click();
            waitUntilRead();
        },
        [] { MainForm->DBGridEh1->titleClick(1); });
    const double sortBare =
        bestBare(runs, path, {{"select * from data order by day1 DESC", nullptr}});
    row("title-click sort", records, sort, sortBare);

    const double balance = bestOf(runs, settle, [] { MainForm->Button7Click(); });
    const double balanceBare = bestBare(
        runs, path, {{"select sum(\"1\"),sum(\"2\"),sum(\"4\"),sum(\"5\") from data", nullptr}});
    row("balance (Button7)", records, balance, balanceBare);

    // The listing's own share of memory: loaded after a trimmed, closed state.
    dmfm->ADOQuery15->close();
    settle();
    malloc_trim(0);
    const double before = residentMb();
    dmfm->ADOQuery15->open(QString::fromLatin1(kAllRecordsSql[2]));
    settle();
    const double listing = residentMb() - before;
    row("listing memory vs file", records, listing, file, "MB");
    MainForm->Button12Click();
    settle();
    row("program memory vs file", records, residentMb(), file, "MB");
    row("  of which the program", records, residentMb() - emptyMb, file, "MB");

    if (records <= 100000)
        benchPreview(records, file, bareListing);

    // The worksheet holds at most 65,536 rows: the export takes the first 60,000.
    if (records <= 100000) {
        const int exported = std::min(records, 60000);
        OpenQuery(dmfm->ADOQuery15,
                  QStringLiteral("select * from data order by day1 limit %1").arg(exported));
        const QString xls = folder.filePath(QStringLiteral("book.xls"));
        const double xlsMs = bestOf(1, settle, [&] { exportListing(xls); });
        row(".xls export", exported, xlsMs,
            bestBare(1, path, {{"select * from data order by day1 limit 60000", nullptr}}));
    }

    MainForm->setLoginGate(nullptr);
    delete MainForm;
    MainForm = nullptr;
    loginfm = nullptr;
    delete dmfm;
    dmfm = nullptr;
    QDir::setCurrent(previous);
    malloc_trim(0);
}

// One all-records command on a warm, just changed book, alone in a function of its own so that a
// profiler can collect exactly it: valgrind --tool=callgrind --toggle-collect=profiledAllRecords
// ...
[[gnu::noinline]] void profiledAllRecords()
{
    MainForm->Button12Click();
}

void profileBook(int records)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("data.mdb"));
    schema::createFile(path);
    fillBook(path, records);
    QDir::setCurrent(folder.path());
    MainForm = new TMainForm;
    dmfm = new Tdmfm;
    MainForm->bindData();
    MainForm->show();
    MainForm->Button12Click();
    QCoreApplication::processEvents();
    touchBook(); // as after another program's write: everything is read again
    perfCollect("profile", true);
    profiledAllRecords();
    perfCollect("profile", false);
    QCoreApplication::processEvents();
    delete MainForm;
    MainForm = nullptr;
    delete dmfm;
    dmfm = nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings of the benchmark stay in a scratch home.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    QApplication app(argc, argv);
    startup::prepareApplication(app);
    PrintedMessages printed;
    setMessageService(&printed);
    printedMessages = &printed;
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");

    if (argc == 3 && qstrcmp(argv[1], "--preview") == 0) {
        benchBook(std::atoi(argv[2]), Part::Preview);
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--commands") == 0) {
        benchBook(std::atoi(argv[2]), Part::Commands);
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--balance") == 0) {
        benchBook(std::atoi(argv[2]), Part::Balance);
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--login") == 0) {
        benchBook(std::atoi(argv[2]), Part::Login);
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--profile") == 0) {
        profileBook(std::atoi(argv[2]));
        return 0;
    }
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {10000, 100000, 1000000};

    std::printf("| %-22s | %9s | %13s | %13s | %7s |\n", "operation", "records", "Quenvale",
                "bare SQLite", "ratio");
    std::printf("|%s|%s|%s|%s|%s|\n", "------------------------", "-----------", "---------------",
                "---------------", "---------");
    for (int records : sizes)
        benchBook(records);
    return 0;
}

#include "bench.moc"
