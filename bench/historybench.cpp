// Times one add, modify and delete of a record, each in its own transaction as the book writer
// runs it (the stored row read first for a modify and a delete), without and with its history
// entry, on a book whose history already holds an entry per record. Also the chain's check.
//
//   quenvale_bench_history [records] [runs]      (default: 100000 records, 101 runs)
#include "data/history.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString kInsert = QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\","
                                       "\"6\",o) values (?,?,?,?,?,?,?,?,?,?,'1')");

history::Values valuesOf(int i)
{
    const double total = (i % 100000) / 100.0 + 1;
    return {
        {QStringLiteral("a"), QStringLiteral("收入")},
        {QStringLiteral("day1"), QStringLiteral("2024-%1-15").arg(i % 12 + 1, 2, 10, QChar(u'0'))},
        {QStringLiteral("b"), QStringLiteral("采购原材料（%1号单）").arg(i % 5000)},
        {QStringLiteral("c"), QStringLiteral("华夏贸易有限公司%1分部").arg(i % 400)},
        {QStringLiteral("1"), total},
        {QStringLiteral("2"), total / 2},
        {QStringLiteral("3"), total / 2},
        {QStringLiteral("4"), 0.0},
        {QStringLiteral("5"), 0.0},
        {QStringLiteral("6"), 0.0},
        {QStringLiteral("o"), QStringLiteral("1")}};
}

QVariantList bound(const history::Values& values)
{
    QVariantList list;
    for (int c = 0; c < 10; ++c)
        list << values.at(c).second;
    return list;
}

// The records, and an added entry for each in the history.
void fillBook(QSqlDatabase& db, int records)
{
    sql::Transaction tx(db);
    QSqlQuery q(db);
    q.prepare(kInsert);
    QList<history::Change> batch;
    for (int i = 0; i < records; ++i) {
        const history::Values values = valuesOf(i);
        const QVariantList list = bound(values);
        for (int v = 0; v < list.size(); ++v)
            q.bindValue(v, list[v]);
        if (!q.exec())
            qFatal("insert failed");
        batch.append({history::Kind::Added,
                      QStringLiteral("data"),
                      q.lastInsertId().toLongLong(),
                      {},
                      values});
        if (batch.size() == 1000 || i + 1 == records) {
            history::append(db, QStringLiteral("张会计"), {}, batch);
            batch.clear();
        }
    }
    tx.commit();
}

history::Values stored(QSqlDatabase& db, qint64 key)
{
    QSqlQuery q = sql::exec(db, QStringLiteral("select * from data where id=?"), {key});
    history::Values row;
    if (q.next())
        for (int c = 1; c < 12; ++c)
            row.append({schema::dataColumns().at(c - 1), q.value(c)});
    return row;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u' ', 0, 2)
                                          : QStringLiteral("?");
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Times
{
    std::vector<double> add, modify, remove;
};

// One round: an add, a modify of an older record, a delete of the added one.
void round(QSqlDatabase& db, int i, bool noted, Times& times)
{
    const QString user = QStringLiteral("张会计");
    QElapsedTimer t;
    t.start();
    qint64 key = 0;
    {
        sql::Transaction tx(db);
        const history::Values values = valuesOf(i);
        QSqlQuery q = sql::exec(db, kInsert, bound(values));
        key = q.lastInsertId().toLongLong();
        q.finish();
        if (noted)
            history::append(db, user, {},
                            {{history::Kind::Added, QStringLiteral("data"), key, {}, values}});
        tx.commit();
    }
    times.add.push_back(t.nsecsElapsed() / 1e6);
    t.restart();
    {
        const qint64 older = 1 + i * 7;
        sql::Transaction tx(db);
        const history::Values before = stored(db, older);
        const double received = 1 + i % 50;
        sql::exec(db, QStringLiteral("update data set \"2\"=?, \"3\"=\"1\"-? where id=?"),
                  {received, received, older});
        if (noted)
            history::append(db, user, {},
                            {{history::Kind::Changed,
                              QStringLiteral("data"),
                              older,
                              before,
                              {{QStringLiteral("2"), received}}}});
        tx.commit();
    }
    times.modify.push_back(t.nsecsElapsed() / 1e6);
    t.restart();
    {
        sql::Transaction tx(db);
        const history::Values before = stored(db, key);
        sql::exec(db, QStringLiteral("delete from data where id=?"), {key});
        if (noted)
            history::append(db, user, {},
                            {{history::Kind::Removed, QStringLiteral("data"), key, before, {}}});
        tx.commit();
    }
    times.remove.push_back(t.nsecsElapsed() / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 101;
    QTemporaryDir folder;
    const QString book = folder.filePath(QStringLiteral("data.mdb"));
    schema::createFile(book);
    sql::ScopedConnection conn(book);
    QElapsedTimer filling;
    filling.start();
    fillBook(conn.db(), records);
    std::printf("book: %d records and as many history entries, %.1f MB, filled in %.1f s; load "
                "average before: %s\n",
                records, QFileInfo(book).size() / 1048576.0, filling.elapsed() / 1000.0,
                qPrintable(loadAverage()));

    // Alternating, so both see the same disk and the same load.
    Times bare;
    Times noted;
    for (int i = 0; i < runs; ++i) {
        round(conn.db(), 2 * i, false, bare);
        round(conn.db(), 2 * i + 1, true, noted);
    }
    std::printf("| %-8s | %12s | %12s | %6s |\n", "write", "no history", "with history", "ratio");
    std::printf("|----------|--------------|--------------|--------|\n");
    const std::pair<const char*, std::vector<double> Times::*> kinds[] = {
        {"add", &Times::add}, {"modify", &Times::modify}, {"delete", &Times::remove}};
    for (const auto& [name, member] : kinds) {
        const double without = median(bare.*member);
        const double with = median(noted.*member);
        std::printf("| %-8s | %9.3f ms | %9.3f ms | %6.2f |\n", name, without, with,
                    with / without);
    }
    QElapsedTimer checking;
    checking.start();
    const history::Verdict verdict = history::verify(conn.db());
    std::printf("chain check of %lld entries: %.2f s (%s)\n",
                static_cast<long long>(verdict.checked), checking.elapsed() / 1000.0,
                qPrintable(verdict.text()));
    std::printf("load average after: %s; %d rounds each\n", qPrintable(loadAverage()), runs);
    return 0;
}
