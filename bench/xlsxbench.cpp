// Times the .xlsx and CSV export of a big listing through the real grid and writers, and
// measures how much the process's peak memory grows while the sheet is written.
//
//   quenvale_bench_xlsx [records]      (default: 100000)
#include "app/mainform.h"
#include "app/startup.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/schema.h"
#include "data/sql.h"
#include "export/csvwriter.h"
#include "export/gridtable.h"
#include "export/xlsxwriter.h"
#include "gui/messages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double statusMb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::string(key).size())) / 1024.0;
    return 0;
}

// The process's own processor time: other work on a shared machine does not count.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Lets the next peak be measured from here.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void fillBook(const QString& path, int records)
{
    sql::ScopedConnection conn(path);
    sql::Transaction tx(conn.db());
    QRandomGenerator random(20261209);
    const QDate start(2020, 1, 1);
    QSqlQuery q(conn.db());
    q.prepare(QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                             "values (?,?,?,?,?,?,?,?,?,?,'1')"));
    for (int i = 0; i < records; ++i) {
        const bool income = random.bounded(2) == 0;
        const double total = random.bounded(1000000) / 100.0;
        const double settled = random.bounded(4) == 0 ? total / 2 : total;
        const QVariantList values{
            income ? QStringLiteral("收入") : QStringLiteral("支出"),
            start.addDays(random.bounded(365 * 6)).toString(Qt::ISODate),
            QStringLiteral("采购原材料（%1号单）").arg(random.bounded(records / 8 + 1)),
            QStringLiteral("华夏贸易有限公司%1分部").arg(random.bounded(records / 25 + 1)),
            income ? total : 0.0,
            income ? settled : 0.0,
            income ? total - settled : 0.0,
            income ? 0.0 : total,
            income ? 0.0 : settled,
            income ? 0.0 : total - settled};
        for (int v = 0; v < values.size(); ++v)
            q.bindValue(v, values[v]);
        if (!q.exec())
            qFatal("insert failed");
    }
    tx.commit();
}

class Quiet final : public MessageService
{
    void warning(QWidget*, const QString&) override {}
    void information(QWidget*, const QString& t) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(t));
    }
    void critical(QWidget*, const QString& t) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(t));
    }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    bool yesNo(QWidget*, const QString&, const QString&, bool) override { return false; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*) override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    QApplication app(argc, argv);
    startup::prepareApplication(app);
    Quiet quiet;
    setMessageService(&quiet);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;

    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    const QString book = folder.filePath(QStringLiteral("data.mdb"));
    schema::createFile(book);
    fillBook(book, records);
    MainForm = new TMainForm;
    dmfm = new Tdmfm;
    MainForm->bindData();
    MainForm->show();
    MainForm->Button12Click();
    MainForm->Button7Click();
    QCoreApplication::processEvents();

    std::printf("| %-14s | %9s | %10s | %10s | %14s | %10s |\n", "export", "records", "wall",
                "processor", "peak growth", "file");
    std::printf(
        "|----------------|-----------|------------|------------|----------------|------------|\n");
    auto run = [&](const char* what, const QString& name, auto&& write) {
        const QString path = folder.filePath(name);
        resetPeak();
        const double before = statusMb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuMs();
        write(path);
        const double ms = timer.nsecsElapsed() / 1e6;
        const double cpuUsed = cpuMs() - cpu;
        const double peak = statusMb("VmHWM:") - before;
        std::printf("| %-14s | %9d | %7.0f ms | %7.0f ms | %11.1f MB | %7.1f MB |\n", what, records,
                    ms, cpuUsed, peak, QFileInfo(path).size() / (1024.0 * 1024.0));
        std::fflush(stdout);
    };
    run(".xlsx", QStringLiteral("book.xlsx"), [](const QString& path) {
        xlsx::writeFile(GridTable(MainForm->DBGridEh1), path,
                        {QStringLiteral("现金帐"), QStringLiteral("财务统计报表"),
                         QStringLiteral("Quenvale"), QDateTime::currentDateTime()});
    });
    run("CSV", QStringLiteral("book.csv"),
        [](const QString& path) { csv::writeFile(GridTable(MainForm->DBGridEh1), path); });
    std::printf("listing in memory: %d records, process resident %.1f MB\n",
                dmfm->ADOQuery15->recordCount(), statusMb("VmRSS:"));
    startup::destroyWindows();
    return 0;
}
