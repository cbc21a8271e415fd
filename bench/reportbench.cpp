// Times the reports of receivables and cash on synthetic books beside the very statements they
// run (caught by SQLite's statement trace, values in place) run bare through SQLite, every
// cell read once in both.
//
//   quenvale_bench_reports [records...]      (default: 100000 1000000)
#include "cashbook/printpreview.h"
#include "data/dm.h"
#include "data/schema.h"
#include "gui/messages.h"
#include "stats/journalwindow.h"
#include "stats/receivables.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

namespace {

class Quiet : public MessageService
{
    void warning(QWidget*, const QString& t) override { print(t); }
    void information(QWidget*, const QString& t) override { print(t); }
    void critical(QWidget*, const QString& t) override { print(t); }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    bool yesNo(QWidget*, const QString&, const QString&, bool) override { return false; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*) override { return {}; }
    static void print(const QString& t) { std::fprintf(stderr, "%s\n", t.toUtf8().constData()); }
};

const int kParties = 500;

QString party(int i)
{
    return QStringLiteral("往来单位%1").arg(i, 3, 10, QChar(u'0'));
}

// Records over the three years up to today, a tenth of them settled later in one or two parts.
void fill(const QString& path, int records)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* add = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                       "values (?,?,?,?,?,?,?,?,?,?,'1')",
                       -1, &add, nullptr);
    sqlite3_stmt* settle = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into settlements (record,day1,amount,username,note,written) "
                       "values (?,?,?,'超级管理员','','')",
                       -1, &settle, nullptr);
    QRandomGenerator random(30);
    const QDate first = QDate::currentDate().addYears(-3);
    const int span = static_cast<int>(first.daysTo(QDate::currentDate()));
    for (int i = 0; i < records; ++i) {
        const bool in = random.bounded(100) < 55;
        const QDate day = first.addDays(static_cast<qint64>(i) * span / records);
        const double total = random.bounded(1, 500000) / 100.0;
        const bool later = random.bounded(10) == 0;
        const double atEntry = later ? std::round(total * 30) / 100 : total;
        double settled = 0;
        QList<QPair<QDate, double>> parts;
        if (later) {
            const double open = total - atEntry;
            const double part = std::round(open * 60) / 100;
            parts.append({day.addDays(random.bounded(1, 60)), part});
            if (random.bounded(2) == 0)
                parts.append({day.addDays(random.bounded(60, 120)), open - part});
            for (const auto& p : parts)
                settled += p.second;
        }
        const QByteArray kind = (in ? QStringLiteral("收入") : QStringLiteral("支出")).toUtf8();
        const QByteArray date = day.toString(Qt::ISODate).toUtf8();
        const QByteArray summary = QStringLiteral("摘要%1").arg(i % 3000).toUtf8();
        const QByteArray name = party(random.bounded(kParties)).toUtf8();
        sqlite3_bind_text(add, 1, kind.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(add, 2, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(add, 3, summary.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(add, 4, name.constData(), -1, SQLITE_TRANSIENT);
        const double paid = atEntry + settled;
        const double values[6] = {in ? total : 0, in ? paid : 0, in ? total - paid : 0,
                                  in ? 0 : total, in ? 0 : paid, in ? 0 : total - paid};
        for (int c = 0; c < 6; ++c)
            sqlite3_bind_double(add, 5 + c, values[c]);
        sqlite3_step(add);
        sqlite3_reset(add);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
        for (const auto& [when, amount] : parts) {
            const QByteArray settledOn = when.toString(Qt::ISODate).toUtf8();
            sqlite3_bind_int64(settle, 1, id);
            sqlite3_bind_text(settle, 2, settledOn.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(settle, 3, amount);
            sqlite3_step(settle);
            sqlite3_reset(settle);
        }
    }
    sqlite3_finalize(add);
    sqlite3_finalize(settle);
    sqlite3_exec(db,
                 "insert into bookinfo (name, value) values ('opening_balance', '10000.00');"
                 "COMMIT; ANALYZE;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// The statements one command runs, with their values in place.
QStringList g_traced;

int traced(unsigned, void*, void* statement, void*)
{
    char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
    if (sql)
        g_traced << QString::fromUtf8(sql);
    sqlite3_free(sql);
    return 0;
}

sqlite3* handleOf(QSqlDatabase db)
{
    return *static_cast<sqlite3* const*>(db.driver()->handle().constData());
}

double bestOf(int runs, const std::function<void()>& run)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

// The traced statements bare: prepared, stepped, every cell read.
double bare(const QString& path, const QStringList& statements)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const double ms = bestOf(5, [&] {
        for (const QString& text : statements) {
            sqlite3_stmt* stmt = nullptr;
            const QByteArray utf8 = text.toUtf8();
            sqlite3_prepare_v2(db, utf8.constData(), -1, &stmt, nullptr);
            size_t bytes = 0;
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, c));
            sqlite3_finalize(stmt);
            (void)bytes;
        }
    });
    sqlite3_close(db);
    return ms;
}

void row(const char* what, int records, double ours, double bareMs)
{
    std::printf("| %-34s | %9d | %10.1f ms | %10.1f ms | %6.2f |\n", what, records, ours, bareMs,
                bareMs > 0 ? ours / bareMs : 0.0);
    std::fflush(stdout);
}

void benchBook(int records)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.mdb"));
    schema::createFile(path);
    fill(path, records);
    dmfm = new Tdmfm(path);
    QSqlDatabase db = dmfm->connection();
    sqlite3* handle = handleOf(db);

    auto measure = [&](const char* what, const std::function<void()>& run) {
        g_traced.clear();
        sqlite3_trace_v2(handle, SQLITE_TRACE_STMT, traced, nullptr);
        run();
        sqlite3_trace_v2(handle, 0, nullptr, nullptr);
        const QStringList statements = g_traced;
        const double ours = bestOf(5, run);
        row(what, records, ours, bare(path, statements));
    };
    const QString start = QDate(QDate::currentDate().year() - 1, 1, 1).toString(Qt::ISODate);
    const QString end = QDate(QDate::currentDate().year(), 1, 1).toString(Qt::ISODate);
    measure("statement of one counterparty", [&] {
        receivables::statement(db, party(7), receivables::Side::Receivable, start, end);
    });
    measure("aging", [&] { receivables::aging(db, QDate::currentDate()); });

    if (records <= 100000) {
        // The journal of the whole book (three years), to its first page in the preview.
        auto* window = new CashJournalWindow;
        {
            const QSignalBlocker a(window->fromMonth);
            const QSignalBlocker b(window->toMonth);
            window->fromMonth->setDate(QDate::currentDate().addYears(-3));
            window->toMonth->setDate(QDate::currentDate());
        }
        window->show();
        QApplication::processEvents();
        g_traced.clear();
        sqlite3_trace_v2(handle, SQLITE_TRACE_STMT, traced, nullptr);
        window->refresh();
        sqlite3_trace_v2(handle, 0, nullptr, nullptr);
        const QStringList statements = g_traced;
        const double ours = bestOf(3, [&] {
            window->refresh();
            window->printTable();
            QApplication::processEvents();
            for (TPreviewForm* preview : window->findChildren<TPreviewForm*>()) {
                if (preview->pageCount() < 1)
                    std::fprintf(stderr, "no page shown\n");
                preview->close();
                delete preview;
            }
        });
        row("journal, 1st page in the preview", records, ours, bare(path, statements));
        std::printf("|   (%lld lines over three years)    |           |               |"
                    "               |        |\n",
                    static_cast<long long>(window->journal().rows.size()));
        delete window;
    }
    delete dmfm;
    dmfm = nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);
    Quiet quiet;
    setMessageService(&quiet);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    std::printf("| %-34s | %9s | %13s | %13s | %6s |\n", "report", "records", "Quenvale",
                "bare SQLite", "ratio");
    std::printf("|%s|%s|%s|%s|%s|\n", "------------------------------------", "-----------",
                "---------------", "---------------", "--------");
    for (int records : sizes)
        benchBook(records);
    return 0;
}
