// Times the listing commands on a server book beside bare libpq running the same statements
// (each cell read once in both), and the same commands on an equal local book; then the main
// window's commands to the painted grid on both books, each beside its statement run bare
// (libpq, SQLite), with the load average before and after.
//
//   quenvale_bench_server [RECORDS] [CONNINFO]
//
// Without CONNINFO it starts a throw-away server with tests/support/pgserver.sh.
#include "app/mainform.h"
#include "app/startup.h"
#include "benchtools.h"
#include "commandbench.h"
#include "data/dm.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "gui/messages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct Command
{
    const char* name;
    QString statement;
    QVariantList values;
};

QList<Command> commands()
{
    return {
        {"all records", QStringLiteral("select * from data order by day1"), {}},
        {"month view",
         QStringLiteral("select * from data where day1>=? and day1<=? order by day1"),
         {QStringLiteral("2016-03-01"), QStringLiteral("2016-03-31")}},
        {"summary search",
         QStringLiteral("select * from data where o='1'  and b like ? escape '\\' order by day1"),
         {sql::likeContains(QStringLiteral("摘要1"))}},
        {"counterparty search",
         QStringLiteral("select * from data where o='1'  and c like ? escape '\\' order by day1"),
         {sql::likeContains(QStringLiteral("单位4"))}},
        {"balance",
         QStringLiteral("select total(round(\"1\"*100)),total(round(\"2\"*100)),total(round(\"4\"*"
                        "100)),total(round(\"5\"*100)) from (select * from data) as listing"),
         {}},
        {"summary list",
         QStringLiteral("select \"b\" from \"data\" group by \"b\" order by \"b\""),
         {}},
    };
}

// The same statement through libpq alone: $n placeholders, text values, every cell touched.
double bareMs(PGconn* conn, const QString& statement, const QVariantList& values)
{
    QString text;
    int n = 0;
    for (QChar ch : statement)
        text += ch == u'?' ? QStringLiteral("$%1").arg(++n) : QString(ch);
    const QByteArray utf8 = text.toUtf8();
    QList<QByteArray> held;
    std::vector<const char*> params;
    for (const QVariant& v : values)
        held << v.toString().toUtf8();
    for (const QByteArray& v : held)
        params.push_back(v.constData());
    QElapsedTimer timer;
    timer.start();
    PGresult* result =
        PQexecParams(conn, utf8.constData(), n, nullptr, params.data(), nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK)
        std::fprintf(stderr, "libpq: %s\n", PQresultErrorMessage(result));
    size_t bytes = 0;
    for (int r = 0; r < PQntuples(result); ++r)
        for (int c = 0; c < PQnfields(result); ++c)
            bytes += std::strlen(PQgetvalue(result, r, c));
    PQclear(result);
    const double ms = timer.nsecsElapsed() / 1e6;
    return bytes == 0 ? ms : ms + 0.0; // the cells were read
}

double datasetMs(Dataset* d, const Command& c)
{
    QElapsedTimer timer;
    timer.start();
    d->open(c.statement, c.values);
    const double ms = timer.nsecsElapsed() / 1e6;
    d->close();
    return ms;
}

void fill(QSqlDatabase& db, int records)
{
    sql::exec(
        db, QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                           "select case when i%3=0 then '支出' else '收入' end,"
                           " to_char(date '2015-01-01' + (i*7)%1800, 'YYYY-MM-DD'),"
                           " '摘要' || (i*13)%SUMMARIES, case when i%7=0 then null"
                           " else '单位' || (i*11)%PARTIES end,"
                           " (i%1000)/4.0, (i%800)/4.0, (i%1000)/4.0-(i%800)/4.0,"
                           " (i%300)/4.0, (i%200)/4.0, (i%300)/4.0-(i%200)/4.0, '1'"
                           " from generate_series(1,%1) as i")
                .arg(records)
                // Many distinct summaries and counterparties, growing with the book.
                .replace(QStringLiteral("SUMMARIES"), QString::number(std::max(200, records / 8)))
                .replace(QStringLiteral("PARTIES"), QString::number(std::max(500, records / 25))));
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
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    QString admin = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString script = QStringLiteral(QUENVALE_PGSERVER_SCRIPT);
    const QString folder = home.filePath(QStringLiteral("pg"));
    if (admin.isEmpty()) {
        if (QProcess::execute(script, {QStringLiteral("start"), folder}) != 0 ||
            !QFile::exists(folder + QStringLiteral("/.s.PGSQL.5432"))) {
            std::fprintf(stderr, "no PostgreSQL server could be started\n");
            return 1;
        }
        admin = QStringLiteral("host=%1 user=postgres dbname=postgres").arg(folder);
    }
    const QString book = admin + QStringLiteral(" dbname=qv_bench");
    {
        sql::ScopedConnection conn(admin);
        sql::exec(conn.db(), QStringLiteral("drop database if exists qv_bench"));
        sql::exec(conn.db(), QStringLiteral("create database qv_bench"));
    }
    {
        sql::ScopedConnection conn(book);
        server::createSchema(conn.db());
        fill(conn.db(), records);
        sql::exec(conn.db(), QStringLiteral("analyze"));
    }
    // The same records in a local book, for the other engine's column.
    const QString local = home.filePath(QStringLiteral("data.mdb"));
    schema::createFile(local);
    {
        sql::ScopedConnection from(book);
        sql::ScopedConnection to(local);
        sql::Transaction tx(to.db());
        QSqlQuery read =
            sql::exec(from.db(), QStringLiteral("select a,day1,b,c,\"1\",\"2\",\"3\","
                                                "\"4\",\"5\",\"6\",o from data order by id"));
        QSqlQuery write(to.db());
        write.prepare(QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\","
                                     "\"6\",o) values (?,?,?,?,?,?,?,?,?,?,?)"));
        while (read.next()) {
            for (int i = 0; i < 11; ++i)
                write.bindValue(i, read.value(i));
            write.exec();
        }
        tx.commit();
    }

    Tdmfm onServer(book);
    Tdmfm onFile(local);
    const QByteArray words = onServer.connection().connectOptions().toUtf8();
    PGconn* bare = PQconnectdb(words.constData());
    std::printf("| %-20s | %9s | %12s | %12s | %7s | %12s |\n", "command", "records", "server book",
                "bare libpq", "ratio", "local book");
    std::printf("|----------------------|-----------|--------------|--------------|---------|"
                "--------------|\n");
    QSqlDatabase db = onServer.connection();
    for (const Command& c : commands()) {
        double server = 1e9, plain = 1e9, file = 1e9;
        for (int run = 0; run < 3; ++run) {
            server = std::min(server, datasetMs(onServer.ADOQuery15, c));
            plain = std::min(plain, bareMs(bare, sql::dialect(db, c.statement), c.values));
            file = std::min(file, datasetMs(onFile.ADOQuery15, c));
        }
        onServer.ADOQuery15->open(c.statement, c.values);
        std::printf("| %-20s | %9d | %9.1f ms | %9.1f ms | %7.2f | %9.1f ms |\n", c.name,
                    onServer.ADOQuery15->recordCount(), server, plain, server / plain, file);
        onServer.ADOQuery15->close();
    }
    std::printf("\nload average %.2f\n\n", bench::loadAverage());
    bench::printCommandHeader();
    bench::benchCommands(
        book, "server", records, [&](const QString& statement, const QVariantList& values) {
            double best = 1e9;
            for (int run = 0; run < 3; ++run)
                best = std::min(best, bareMs(bare, sql::dialect(db, statement), values));
            return best;
        });
    bench::benchCommands(
        local, "local", records, [&](const QString& statement, const QVariantList& values) {
            const QByteArray text = statement.toUtf8();
            const QByteArray value = values.value(0).toString().toUtf8();
            return bench::bestBare(
                3, local, {{text.constData(), values.isEmpty() ? nullptr : value.constData()}});
        });
    std::printf("\nload average %.2f\n", bench::loadAverage());
    PQfinish(bare);
    if (argc <= 2)
        QProcess::execute(script, {QStringLiteral("stop"), folder});
    return 0;
}
