#include "benchtools.h"

#include "data/dm.h"
#include "data/mylib.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

namespace bench {

static const char* const kVerbs[] = {"采购", "销售", "支付", "收回", "预付", "报销",
                                     "缴纳", "退还", "维修", "租赁", "结算", "垫付"};
static const char* const kThings[] = {"货款",   "房租",   "水电费", "办公用品", "运输费", "工资",
                                      "设备",   "原材料", "广告费", "通讯费",   "差旅费", "押金",
                                      "保险费", "利息",   "税金",   "包装材料", "餐费",   "加工费"};
static const char* const kPlaces[] = {"东方", "华夏", "长江", "金山", "新星", "宏达", "恒信",
                                      "永安", "天成", "瑞丰", "海龙", "盛世", "嘉禾", "鸿运"};
static const char* const kKinds[] = {"贸易有限公司", "商行",   "五金厂", "物流公司", "科技公司",
                                     "建材店",       "印刷厂", "批发部", "酒店"};

static QString pick(const char* const* list, size_t size, QRandomGenerator& random)
{
    return QString::fromUtf8(list[random.bounded(static_cast<quint32>(size))]);
}

template <size_t N> static QString pick(const char* const (&list)[N], QRandomGenerator& random)
{
    return pick(list, N, random);
}

// Writes records rows through one prepared statement in one transaction.
void fillBook(const QString& path, int records)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                       "values (?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    QRandomGenerator random(20151208);
    const QDate start(2010, 1, 1);
    // Many distinct summaries and counterparties, growing with the book.
    const int summaryVariants = std::max(50, records / 8);
    const int partyVariants = std::max(30, records / 25);
    for (int i = 0; i < records; ++i) {
        const bool income = random.bounded(100) < 45;
        const QString day = start.addDays(random.bounded(365 * 6)).toString(u"yyyy-MM-dd");
        const QString summary = pick(kVerbs, random) + pick(kThings, random) +
                                QStringLiteral("（%1号单）").arg(random.bounded(summaryVariants));
        const QString party =
            pick(kPlaces, random) + pick(kKinds, random) +
            (random.bounded(3) == 0 ? QString()
                                    : QStringLiteral("%1分部").arg(random.bounded(partyVariants)));
        const double total = random.bounded(100000) / 10.0;
        const double settled = random.bounded(4) == 0 ? total * 0.5 : total;
        const QByteArray kind = (income ? QStringLiteral("收入") : QStringLiteral("支出")).toUtf8();
        const QByteArray d = day.toUtf8(), b = summary.toUtf8(), c = party.toUtf8();
        sqlite3_bind_text(stmt, 1, kind.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, d.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, b.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, c.constData(), -1, SQLITE_TRANSIENT);
        const double values[6] = {income ? total : 0,           income ? settled : 0,
                                  income ? total - settled : 0, income ? 0 : total,
                                  income ? 0 : settled,         income ? 0 : total - settled};
        for (int v = 0; v < 6; ++v)
            sqlite3_bind_double(stmt, 5 + v, values[v]);
        sqlite3_bind_text(stmt, 11, random.bounded(50) == 0 ? "0" : "1", -1, SQLITE_STATIC);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Runs statements bare and reads every value of every row, as a listing would.
double bareMs(const QString& path, const std::vector<std::pair<const char*, const char*>>& runs)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    // The same connection settings the program's datasets use.
    sqlite3_exec(db, "PRAGMA mmap_size=1073741824; PRAGMA cache_size=-65536", nullptr, nullptr,
                 nullptr);
    QElapsedTimer timer;
    timer.start();
    for (const auto& [statement, parameter] : runs) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, statement, -1, &stmt, nullptr);
        if (parameter)
            sqlite3_bind_text(stmt, 1, parameter, -1, SQLITE_STATIC);
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c)
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT)
                    sqlite3_column_text(stmt, c);
                else
                    sqlite3_column_double(stmt, c);
        sqlite3_finalize(stmt);
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    sqlite3_close(db);
    return ms;
}

double bestOf(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        if (qEnvironmentVariableIsSet("QUENVALE_BENCH_EVERY_RUN"))
            std::fprintf(stderr, "  run %d: %.1f ms\n", i + 1, timer.nsecsElapsed() / 1e6);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

double bestBare(int runs, const QString& path,
                const std::vector<std::pair<const char*, const char*>>& statements)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, bareMs(path, statements));
    return best;
}

double residentMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The process's own memory: resident less the book's pages mapped from the file, which the
// system keeps in its file cache anyway.
double anonymousMb()
{
    double kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "RssAnon: %lf kB", &kb) == 1)
                break;
        std::fclose(f);
    }
    return kb / 1024.0;
}

const char* const kAllRecordsSql[3] = {"select \"c\" from \"data\" group by \"c\" order by \"c\"",
                                       "select \"b\" from \"data\" group by \"b\" order by \"b\"",
                                       "select * from data order by day1"};

void row(const char* what, int records, double ms, double bare, const char* unit)
{
    std::printf("| %-22s | %9d | %10.1f %-2s | %10.1f %-2s | %7.2f |\n", what, records, ms, unit,
                bare, unit, bare > 0 ? ms / bare : 0.0);
    std::fflush(stdout);
}

// A write through the program's own connection: the next all-records must read the book again.
void touchBook()
{
    ExecQuery(dmfm->ADOQuery1,
              QStringLiteral("update data set o=o where id=(select min(id) from data)"));
}

// Runs the event loop until the listing has read every row (a big one shows its last rows
// first and reads the rest between events).
void waitUntilRead()
{
    QElapsedTimer limit;
    limit.start();
    while (dmfm->ADOQuery15->isFilling() && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void perfCollect(const char* part, bool on)
{
    QFile fifo(qEnvironmentVariable("QUENVALE_PERF_FIFO"));
    if (qgetenv("QUENVALE_PERF_PART") == part && fifo.open(QIODevice::WriteOnly))
        fifo.write(on ? "enable\n" : "disable\n");
}

} // namespace bench
