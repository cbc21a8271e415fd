// Another PC's write seen in this one's grid, and many PCs writing one server book at once.
//
//   quenvale_bench_follow [RECORDS…] [--clients SECONDS]
//
// For each RECORDS (default 100000 and 1000000): a server book of that many records shown in the
// main window's grid; another connection (another PC) adds a record, and the time from its commit
// to the grid painted with it is taken, beside bare libpq doing the least the same can be done
// with (LISTEN on one connection, insert and NOTIFY committed on another, the notification
// awaited and the one row read by key). Then N = 1, 5, 10 client processes write a book of 1,000
// records for SECONDS each (default 10): writes per second, latency, lost and doubled.
// Starts its own PostgreSQL (tests/support/pgserver.sh).
#include "app/mainform.h"
#include "app/startup.h"
#include "benchtools.h"
#include "cashbook/recordgrid.h"
#include "clientruns.h"
#include "data/dm.h"
#include "data/history.h"
#include "data/server.h"
#include "data/sql.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <libpq-fe.h>
#include <sys/select.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace bench;

namespace {

void fill(QSqlDatabase& db, int records)
{
    sql::exec(db,
              QStringLiteral(
                  "insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                  "select case when i%3=0 then '支出' else '收入' end,"
                  " to_char(date '2015-01-01' + (i*7)%1800, 'YYYY-MM-DD'),"
                  " '摘要' || (i*13)%200, case when i%7=0 then null else '单位' || (i*11)%500 end,"
                  " (i%1000)/4.0, (i%800)/4.0, (i%1000)/4.0-(i%800)/4.0,"
                  " (i%300)/4.0, (i%200)/4.0, (i%300)/4.0-(i%200)/4.0, '1'"
                  " from generate_series(1,%1) as i")
                  .arg(records));
}

QString makeBook(const QString& admin, const QString& name, int records)
{
    {
        sql::ScopedConnection conn(admin);
        sql::exec(conn.db(), QStringLiteral("drop database if exists ") + name);
        sql::exec(conn.db(), QStringLiteral("create database ") + name);
    }
    const QString book = admin + QStringLiteral(" dbname=") + name;
    sql::ScopedConnection conn(book);
    server::createSchema(conn.db());
    fill(conn.db(), records);
    sql::exec(conn.db(), QStringLiteral("analyze"));
    return book;
}

CashRecord record(int n)
{
    CashRecord r;
    r.kind = QStringLiteral("收入");
    r.date = QStringLiteral("2016-06-%1").arg(n % 28 + 1, 2, 10, QLatin1Char('0'));
    r.summary = QStringLiteral("别的电脑%1").arg(n);
    r.counterparty = QStringLiteral("单位1");
    r.income = 10 + n;
    r.receivable = 10 + n;
    return r;
}

PGresult* run(PGconn* conn, const char* statement)
{
    PGresult* result = PQexec(conn, statement);
    if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK)
        std::fprintf(stderr, "libpq: %s\n", PQresultErrorMessage(result));
    return result;
}

// Bare libpq: commit on one connection to the row read on the other, through LISTEN/NOTIFY.
double bareFollowMs(PGconn* listener, PGconn* writer)
{
    PQclear(run(writer, "begin"));
    PGresult* added = run(writer, "insert into data (a,day1,b,c,\"1\",o) values "
                                  "('收入','2016-06-01','裸','单位1',1,'1') returning id");
    const QByteArray key = PQgetvalue(added, 0, 0);
    PQclear(added);
    PQclear(run(writer, "select pg_notify('quenvale_bare', '')"));
    PQclear(run(writer, "commit"));
    QElapsedTimer timer;
    timer.start();
    const int socket = PQsocket(listener);
    for (;;) {
        PQconsumeInput(listener);
        if (PGnotify* n = PQnotifies(listener)) {
            PQfreemem(n);
            break;
        }
        fd_set in;
        FD_ZERO(&in);
        FD_SET(socket, &in);
        select(socket + 1, &in, nullptr, nullptr, nullptr);
    }
    const char* params[] = {key.constData()};
    PGresult* row = PQexecParams(listener, "select * from data where id=$1", 1, nullptr, params,
                                 nullptr, nullptr, 0);
    PQclear(row);
    return timer.nsecsElapsed() / 1e6;
}

void followRows(const QString& admin, int records)
{
    const QString book = makeBook(admin, QStringLiteral("qv_follow"), records);
    MainForm = new TMainForm;
    dmfm = new Tdmfm(book);
    MainForm->bindData();
    MainForm->show();
    MainForm->Button12Click();
    dmfm->ADOQuery15->finishFilling();
    RecordGrid* grid = MainForm->DBGridEh1;
    PaintWatch watch(grid->viewport());
    Tdmfm otherPc(book);
    const QByteArray words = otherPc.connection().connectOptions().toUtf8();
    PGconn* listener = PQconnectdb(words.constData());
    PGconn* writer = PQconnectdb(words.constData());
    PQclear(run(listener, "listen quenvale_bare"));

    double best = 1e9, worst = 0, bare = 1e9;
    for (int n = 0; n < 5; ++n) {
        QCoreApplication::processEvents();
        const int before = grid->model()->rowCount();
        otherPc.writer()->add(record(n)); // returns once committed
        QElapsedTimer timer;
        timer.start();
        watch.arm();
        perfCollect("follow", true);
        while (grid->model()->rowCount() == before && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        watch.waitForPaint();
        const double ms = timer.nsecsElapsed() / 1e6;
        perfCollect("follow", false);
        if (grid->model()->rowCount() == before)
            std::fprintf(stderr, "the add was not shown within 10 s\n");
        best = std::min(best, ms);
        worst = std::max(worst, ms);
        bare = std::min(bare, bareFollowMs(listener, writer));
    }
    std::printf("| other PC's add, to painted grid | %9d | %7.1f ms | %7.1f ms | %9.2f ms |\n",
                records, best, worst, bare);
    PQfinish(listener);
    PQfinish(writer);
    startup::destroyWindows();
}

double percentile(std::vector<qint64> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))] / 1000.0;
}

void manyClients(const QString& admin, int seconds)
{
    std::printf(
        "\n| clients | seconds | writes/s | p50 | p95 | max | lost or doubled | listings |\n"
        "|---|---|---|---|---|---|---|---|\n");
    for (int clients : {1, 5, 10}) {
        const QString book = makeBook(admin, QStringLiteral("qv_clients"), 1000);
        std::vector<clientruns::Run> runs;
        const bool finished = clientruns::runClients(QStringLiteral(QUENVALE_CLIENTDRIVER), book,
                                                     clients, seconds, runs);
        std::vector<qint64> micros;
        for (const clientruns::Run& r : runs)
            micros.insert(micros.end(), r.micros.begin(), r.micros.end());
        sql::ScopedConnection conn(book);
        const QString problems = clientruns::problems(conn.db(), runs);
        bool listingsAgree = true;
        for (const clientruns::Run& r : runs)
            listingsAgree = listingsAgree && !r.book.isEmpty() && r.listing == r.book;
        std::printf("| %d | %d | %.0f | %.1f ms | %.1f ms | %.1f ms | %s | %s |\n", clients,
                    seconds, micros.size() / double(seconds), percentile(micros, 0.5),
                    percentile(micros, 0.95), percentile(micros, 1.0),
                    finished && problems.isEmpty() ? "0" : "PROBLEMS",
                    listingsAgree ? "all equal the book" : "DIFFER");
        if (!problems.isEmpty())
            std::fprintf(stderr, "%s\n", problems.toUtf8().constData());
    }
}

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
    PrintedMessages printed;
    setMessageService(&printed);
    history::setOperator(QStringLiteral("bench"));
    QList<int> sizes;
    int seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--clients") == 0 && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else
            sizes << std::atoi(argv[i]);
    }
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    const QString script = QStringLiteral(QUENVALE_PGSERVER_SCRIPT);
    const QString folder = home.filePath(QStringLiteral("pg"));
    if (QProcess::execute(script, {QStringLiteral("start"), folder}) != 0 ||
        !QFile::exists(folder + QStringLiteral("/.s.PGSQL.5432"))) {
        std::fprintf(stderr, "no PostgreSQL server could be started\n");
        return 1;
    }
    const QString admin = QStringLiteral("host=%1 user=postgres dbname=postgres").arg(folder);
    QFile load(QStringLiteral("/proc/loadavg"));
    load.open(QIODevice::ReadOnly);
    std::printf("load average: %s\n", load.readAll().trimmed().constData());
    std::printf("| command | records | best | worst | bare libpq |\n|---|---|---|---|---|\n");
    for (int records : sizes)
        followRows(admin, records);
    if (seconds > 0)
        manyClients(admin, seconds);
    QProcess::execute(script, {QStringLiteral("stop"), folder});
    return 0;
}
