// Times the automatic backup taken at exit (a checked snapshot into backups/, then the oldest
// pruned) beside bare SQLite copying the same book with its online backup API, with and without
// SQLite's integrity check.
//
//   quenvale_bench_backup [records] [runs]      (default: 100000 records, 7 runs)
#include "data/schema.h"
#include "data/sql.h"
#include "maintenance/autobackup.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {

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

// SQLite alone: the whole book copied in one step, optionally checked (with the cache the
// program's check uses), nothing made durable.
void bareCopy(const QString& from, const QString& to, bool checked)
{
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    sqlite3_open_v2(QFile::encodeName(from).constData(), &source, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_open_v2(QFile::encodeName(to).constData(), &target,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (!backup || sqlite3_backup_step(backup, -1) != SQLITE_DONE)
        qFatal("bare backup failed");
    sqlite3_backup_finish(backup);
    if (checked && sqlite3_exec(target, "PRAGMA cache_size=-65536; PRAGMA integrity_check(1)",
                                nullptr, nullptr, nullptr))
        qFatal("bare check failed");
    sqlite3_close(target);
    sqlite3_close(source);
    QFile::remove(to);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u' ', 0, 2)
                                          : QStringLiteral("?");
}

template <typename F> double medianMs(int runs, F&& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    QTemporaryDir folder;
    const QString book = folder.filePath(QStringLiteral("data.mdb"));
    schema::createFile(book);
    fillBook(book, records);
    const QString scratch = folder.filePath(QStringLiteral("bare.mdb"));
    std::printf("book: %d records, %.1f MB; load average before: %s\n", records,
                QFileInfo(book).size() / 1048576.0, qPrintable(loadAverage()));

    const double bare = medianMs(runs, [&] { bareCopy(book, scratch, false); });
    const double bareChecked = medianMs(runs, [&] { bareCopy(book, scratch, true); });
    const double exitBackup = medianMs(runs, [&] {
        autobackup::take(book);
        autobackup::prune(book, autobackup::kDefaultKept);
    });
    std::printf("| %-36s | %10s | %7s |\n", "copy", "median", "ratio");
    std::printf("|--------------------------------------|------------|---------|\n");
    std::printf("| %-36s | %7.1f ms | %7.2f |\n", "bare SQLite backup API", bare, 1.0);
    std::printf("| %-36s | %7.1f ms | %7.2f |\n", "bare SQLite backup + integrity check",
                bareChecked, bareChecked / bare);
    std::printf("| %-36s | %7.1f ms | %7.2f |\n", "automatic backup at exit", exitBackup,
                exitBackup / bare);
    std::printf("load average after: %s; %d runs each, %lld backups kept\n",
                qPrintable(loadAverage()), runs,
                static_cast<long long>(autobackup::list(book).size()));
    return 0;
}
