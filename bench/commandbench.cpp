#include "commandbench.h"

#include "app/mainform.h"
#include "benchtools.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "users/credentials.h"
#include "users/login.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>
#include <string_view>

namespace bench {

namespace {

void printRow(const char* what, const char* engine, int records, double ms, double bare)
{
    std::printf("| %-26s | %-6s | %9d | %10.1f ms | %10.1f ms | %7.2f |\n", what, engine, records,
                ms, bare, bare > 0 ? ms / bare : 0.0);
    std::fflush(stdout);
}

// Logs in as the administrator through the login window; the grid's first paint after it.
double logIn(PaintWatch& watch, double& toEveryRow)
{
    QElapsedTimer loginTimer;
    QTimer answer;
    answer.setInterval(1);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!loginfm->isVisible())
            return;
        answer.stop();
        loginfm->Edit1->setText(QStringLiteral("574"));
        watch.arm();
        perfCollect("login", true);
        loginTimer.start();
        loginfm->bitbtn4Click();
    });
    answer.start();
    MainForm->show();
    QElapsedTimer limit;
    limit.start();
    while (!loginTimer.isValid() && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    watch.waitForPaint();
    const double ms = loginTimer.nsecsElapsed() / 1e6;
    waitUntilRead();
    toEveryRow = loginTimer.nsecsElapsed() / 1e6;
    perfCollect("login", false);
    if (!MainForm->statusText(1).contains(QStringLiteral("超级管理员")))
        std::fprintf(stderr, "the login did not succeed\n");
    return ms;
}

} // namespace

PrintedMessages& printedMessages()
{
    static PrintedMessages printed;
    return printed;
}

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readLine().split(' ').value(0).toDouble() : -1;
}

void printCommandHeader()
{
    std::printf("| %-26s | %-6s | %9s | %13s | %13s | %7s |\n", "command", "engine", "records",
                "program", "bare", "ratio");
    std::printf("|----------------------------|--------|-----------|---------------|-------------"
                "--|---------|\n");
}

void benchCommands(const QString& book, const char* engine, int records, const BareRun& bare)
{
    const int runs = records >= 1000000 ? 2 : 3;
    setMessageService(&printedMessages());
    MainForm = new TMainForm;
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    dmfm = new Tdmfm(book);
    MainForm->bindData();
    PaintWatch watch(MainForm->DBGridEh1->viewport());
    auto settle = [] {
        QCoreApplication::processEvents();
        waitUntilRead();
    };
    const QString listing = QStringLiteral("select * from data order by day1");
    const double bareListing = bare(listing, {});

    double everyRow = 0;
    const double login = logIn(watch, everyRow);
    printRow("login to painted grid", engine, records, login, bareListing);
    printRow("  to every row read", engine, records, everyRow, bareListing);
    // The password's hash (Argon2id, tens of megabytes on purpose) costs the same at any size of
    // book; the rows beside bare libpq or SQLite are the login's reading with it taken off.
    const double check = bestOf(
        runs, [] {},
        [] {
            if (matchingUsers(QStringLiteral("超级管理员"), QStringLiteral("574")) != 1)
                std::fprintf(stderr, "the password check failed\n");
        });
    printRow("  password check", engine, records, check, 0);
    printRow("  login, check aside", engine, records, login - check, bareListing);
    printRow("  every row, check aside", engine, records, everyRow - check, bareListing);
    // The login's reading alone, best of runs as the bare one is: the listing opened afresh and
    // read to its last row (filled in behind the painted grid where the book is big).
    const double again = bestOf(
        runs,
        [&] {
            QCoreApplication::processEvents();
            waitUntilRead();
        },
        [] {
            dmfm->ADOQuery15->open(QStringLiteral("select * from data order by day1"));
            dmfm->ADOQuery15->last();
            waitUntilRead();
        });
    printRow("every row, read again", engine, records, again, bareListing);

    auto painted = [&](const char* name, const std::function<void()>& setup,
                       const std::function<void()>& command, double bareMs) {
        const double ms = bestOf(
            runs,
            [&] {
                settle();
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
        printRow(name, engine, records, ms, bareMs);
    };
    painted(
        "all records, no change", [] {}, [] { MainForm->Button12Click(); }, bareListing);
    painted(
        "all records after change", [] { touchBook(); }, [] { MainForm->Button12Click(); },
        bareListing);

    EntryPanel* panel = MainForm->Panel3;
    printedMessages().answerYes = true;
    int serial = 0;
    painted(
        "add, to painted grid",
        [&] {
            panel->newRecord();
            panel->ComboBox1->setEditText(QStringLiteral("收入"));
            panel->ComboBox3->setEditText(QStringLiteral("房租"));
            panel->ComboBox2->setEditText(QStringLiteral("新单位%1").arg(++serial));
            panel->Edit9->setText(QStringLiteral("100"));
            panel->Edit28->setText(QStringLiteral("0"));
        },
        [&] { panel->Button1Click(); }, 0);
    painted(
        "modify, to painted grid",
        [&] {
            MainForm->Button12Click();
            dmfm->ADOQuery15->moveTo(dmfm->ADOQuery15->recordCount() / 2);
            panel->openForModify();
            panel->Edit9->setText(QString::number(200 + ++serial));
        },
        [&] { panel->Button3Click(); }, 0);
    painted(
        "delete, to painted grid", [] { MainForm->Button12Click(); },
        [] { MainForm->ToolButton19Click(); }, 0);
    panel->closePanel();
    printedMessages().answerYes = false;

    // One keystroke in the item-summary field, and the same statement bare.
    const double key = bestOf(
        runs,
        [&] {
            {
                const QSignalBlocker quiet(MainForm->Edit24);
                MainForm->Edit24->setText(QStringLiteral("摘要1"));
            }
            settle();
        },
        [] {
            perfCollect("keystroke search", true);
            MainForm->Edit24->insert(QStringLiteral("2"));
            perfCollect("keystroke search", false);
        });
    printRow("keystroke search", engine, records, key,
             bare(QStringLiteral("select * from data where o='1'  and b like ? escape '\\'"),
                  {QStringLiteral("%摘要12%")}));
    {
        const QSignalBlocker quiet(MainForm->Edit24);
        MainForm->Edit24->clear();
    }
    MainForm->Button12Click();
    const double balance = bestOf(runs, settle, [] { MainForm->Button7Click(); });
    printRow(
        "balance (Button7)", engine, records, balance,
        bare(QStringLiteral("select sum(\"1\"),sum(\"2\"),sum(\"4\"),sum(\"5\") from data"), {}));

    // The balance before the listing is all read: the book's exact figures over its statement
    // (every amount here is whole cents), beside the same statement bare.
    bool stillFilling = true;
    const double early = bestOf(
        runs,
        [&] {
            settle();
            dmfm->ADOQuery15->open(QStringLiteral("select * from data order by day1"));
            dmfm->ADOQuery15->last();
        },
        [&] {
            MainForm->Button7Click();
            stillFilling = stillFilling && dmfm->ADOQuery15->isFilling();
        });
    QString figures = QStringLiteral("count(*)");
    for (const char* c : {"1", "2", "4", "5"})
        figures += engine == std::string_view("server")
                       ? QStringLiteral(",sum(round(q.\"%1\"*100)),count(*) filter (where "
                                        "round(q.\"%1\"*100)/100<>q.\"%1\"),min(q.\"%1\"),"
                                        "max(q.\"%1\")")
                             .arg(QLatin1String(c))
                       : QStringLiteral(",sum(q.\"%1\"),min(q.\"%1\"),max(q.\"%1\")")
                             .arg(QLatin1String(c));
    printRow(
        stillFilling ? "balance, rows still read" : "balance, all rows held", engine, records,
        early,
        bare(QStringLiteral("select ") + figures + QStringLiteral(" from (select * from data) q"),
             {}));

    MainForm->setLoginGate(nullptr);
    delete MainForm;
    MainForm = nullptr;
    loginfm = nullptr;
    delete dmfm;
    dmfm = nullptr;
}

} // namespace bench
