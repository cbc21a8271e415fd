// Times reading a generated payment bill into the import preview, and the window showing it,
// beside the bare reading of the same file (bytes decoded and split at commas), and storing its
// records into a big book beside bare SQLite inserting the same rows; measures how much the
// process's peak memory grows.
//
//   quenvale_bench_bills [rows] [book records]      (default: 10000 1000000)
#include "app/startup.h"
#include "benchtools.h"
#include "bills/bankmapping.h"
#include "bills/billfile.h"
#include "bills/billimportwindow.h"
#include "bills/billpreview.h"
#include "bills/billstore.h"
#include "bills/bookbillstore.h"
#include "bills/paymentbill.h"
#include "data/dm.h"
#include "data/schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sqlite3.h>
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

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Payment
{
    QString time, category, party, goods, way, amount, status, order, merchant;
};

QList<Payment> payments(int rows)
{
    QRandomGenerator random(20261210);
    QList<Payment> list;
    for (int i = 0; i < rows; ++i) {
        const bool refund = i % 50 == 49;
        const int original = i - 7;
        list.append({QStringLiteral("2026-%1-%2 10:%3:00")
                         .arg(1 + i * 12 / rows, 2, 10, QChar(u'0'))
                         .arg(1 + i % 28, 2, 10, QChar(u'0'))
                         .arg(i % 60, 2, 10, QChar(u'0')),
                     refund ? QStringLiteral("退款") : QStringLiteral("商业服务"),
                     QStringLiteral("华夏贸易有限公司%1分部").arg(random.bounded(400)),
                     QStringLiteral("采购原材料（%1号单）").arg(i),
                     refund ? QStringLiteral("不计收支")
                            : (i % 3 == 0 ? QStringLiteral("收入") : QStringLiteral("支出")),
                     QString::number(refund ? 1.0 : 10 + random.bounded(100000) / 100.0, 'f', 2),
                     i % 97 == 0 ? QStringLiteral("交易关闭") : QStringLiteral("交易成功"),
                     QStringLiteral("20261%1").arg(refund ? original : i, 12, 10, QChar(u'0')) +
                         (refund ? QStringLiteral("_1") : QString()),
                     QStringLiteral("T%1").arg(i)});
    }
    return list;
}

QString alipay(const QString& folder, const QList<Payment>& list)
{
    QString text = QStringLiteral("导出信息：\r\n共%1笔记录\r\n"
                                  "------------------------------------------\r\n"
                                  "交易时间,交易分类,交易对方,对方账号,商品说明,收/支,金额,"
                                  "收/付款方式,交易状态,交易订单号,商家订单号,备注,\r\n")
                       .arg(list.size());
    for (const Payment& p : list)
        text += QStringList{p.time,
                            p.category,
                            p.party,
                            QStringLiteral("/"),
                            p.goods,
                            p.way,
                            p.amount,
                            QStringLiteral("余额宝"),
                            p.status,
                            p.order + u'\t',
                            p.merchant + u'\t',
                            QString(),
                            QString()}
                    .join(u',') +
                QStringLiteral("\r\n");
    const QString path = folder + QStringLiteral("/alipay.csv");
    QFile file(path);
    QStringEncoder gbk("GBK");
    if (!file.open(QIODevice::WriteOnly) || file.write(gbk.encode(text)) < 0)
        qFatal("cannot write the bill");
    return path;
}

QString weChatXlsx(const QString& folder, const QList<Payment>& list)
{
    const QString path = folder + QStringLiteral("/wechat.xlsx");
    lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    worksheet_write_string(sheet, 0, 0, "微信支付账单明细", nullptr);
    const char* header[] = {"交易时间", "交易类型", "交易对方", "商品",     "收/支", "金额(元)",
                            "支付方式", "当前状态", "交易单号", "商户单号", "备注"};
    for (lxw_col_t c = 0; c < 11; ++c)
        worksheet_write_string(sheet, 16, c, header[c], nullptr);
    lxw_row_t r = 17;
    for (const Payment& p : list) {
        const QStringList cells{p.time, p.category, p.party, p.goods,
                                p.way == u"不计收支" ? QStringLiteral("/") : p.way};
        for (lxw_col_t c = 0; c < 5; ++c)
            worksheet_write_string(sheet, r, c, cells[c].toUtf8().constData(), nullptr);
        worksheet_write_number(sheet, r, 5, p.amount.toDouble(), nullptr);
        worksheet_write_string(sheet, r, 7, p.status.toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, r, 8, p.order.toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, r, 9, p.merchant.toUtf8().constData(), nullptr);
        ++r;
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        qFatal("cannot write the workbook");
    return path;
}

class NoStore final : public bills::BillStore
{
public:
    QSet<QString> importedOrders(const QString&, const QStringList&) override { return {}; }
    bills::BillStoreResult store(const bills::BillImport&) override { return {}; }
};

class NoMappings final : public bills::MappingStore
{
public:
    std::optional<bills::BankMapping> find(const QString&) override { return std::nullopt; }
    void remember(const bills::BankMapping&) override {}
};

// What storing costs at the least: the same records and their order numbers inserted through
// two prepared statements in one transaction.
int bareStore(const QString& path, const bills::BillImport& chosen)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* record = nullptr;
    sqlite3_stmt* number = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into data (a,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",day1,o) "
                       "values (?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &record, nullptr);
    sqlite3_prepare_v2(db, "insert into imported (batch,source,orderno,record) values (1,?,?,?)",
                       -1, &number, nullptr);
    for (const bills::ImportedRecord& item : chosen.records) {
        int column = 1;
        for (const auto& [name, value] : item.record.columnValues()) {
            if (value.typeId() == QMetaType::Double)
                sqlite3_bind_double(record, column++, value.toDouble());
            else
                sqlite3_bind_text(record, column++, value.toString().toUtf8().constData(), -1,
                                  SQLITE_TRANSIENT);
        }
        sqlite3_step(record);
        sqlite3_reset(record);
        sqlite3_bind_text(number, 1, "alipay", -1, SQLITE_STATIC);
        sqlite3_bind_text(number, 2, item.orderNo.toUtf8().constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(number, 3, sqlite3_last_insert_rowid(db));
        sqlite3_step(number);
        sqlite3_reset(number);
    }
    sqlite3_finalize(record);
    sqlite3_finalize(number);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return static_cast<int>(chosen.records.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    startup::prepareApplication(app);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int bookRecords = argc > 2 ? std::atoi(argv[2]) : 1000000;
    bench::PrintedMessages printed;
    setMessageService(&printed);
    QTemporaryDir folder;
    const QList<Payment> list = payments(rows);
    const QString csv = alipay(folder.path(), list);
    const QString xlsx = weChatXlsx(folder.path(), list);

    std::printf("| %-28s | %7s | %9s | %9s | %11s | %8s |\n", "step", "rows", "wall", "processor",
                "peak growth", "file");
    std::printf("|------------------------------|---------|-----------|-----------|-------------|"
                "----------|\n");
    auto run = [&](const char* what, const QString& path, auto&& step) {
        resetPeak();
        const double before = statusMb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuMs();
        const int count = step(path);
        const double ms = timer.nsecsElapsed() / 1e6;
        const double used = cpuMs() - cpu;
        std::printf("| %-28s | %7d | %6.0f ms | %6.0f ms | %8.1f MB | %5.1f MB |\n", what, count,
                    ms, used, statusMb("VmHWM:") - before,
                    QFileInfo(path).size() / (1024.0 * 1024.0));
        std::fflush(stdout);
        return used;
    };
    const auto bare = [](const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read");
        QStringDecoder decoder("GBK");
        const QString text = decoder.decode(file.readAll());
        int cells = 0;
        for (QStringView line : QStringView(text).split(u'\n'))
            cells += static_cast<int>(line.split(u',').size());
        return cells / 13;
    };
    const auto preview = [](const QString& path) {
        std::optional<bills::Bill> bill = bills::readPaymentBill(bills::readBillFile(path));
        const bills::BillPreview p(std::move(*bill), {});
        return p.chosenCount();
    };
    const auto window = [](const QString& path) {
        NoStore store;
        NoMappings mappings;
        BillImportWindow w(path, store, mappings);
        w.open();
        w.show();
        QCoreApplication::processEvents();
        return w.preview().chosenCount();
    };
    const double floor = run("bare GBK decode + split", csv, bare);
    const double alipayPreview = run("Alipay CSV -> preview", csv, preview);
    run("Alipay CSV -> window shown", csv, window);
    run("WeChat .xlsx -> preview", xlsx, preview);
    run("WeChat .xlsx -> window shown", xlsx, window);

    // Into a big book: two copies, one for the program's writer, one for bare SQLite.
    const QString book = folder.filePath(QStringLiteral("data.mdb"));
    const QString bareBook = folder.filePath(QStringLiteral("bare.mdb"));
    schema::createFile(book);
    bench::fillBook(book, bookRecords);
    QFile::copy(book, bareBook);
    std::optional<bills::Bill> bill = bills::readPaymentBill(bills::readBillFile(csv));
    const bills::BillImport chosen = bills::BillPreview(std::move(*bill), {}).chosen();
    const double bareStored = run("bare SQLite inserts", bareBook,
                                  [&](const QString& path) { return bareStore(path, chosen); });
    dmfm = new Tdmfm(book);
    const double stored = run("Alipay preview -> book", book, [&](const QString&) {
        bills::BookBillStore store(*dmfm->writer());
        return store.store(chosen).added;
    });
    delete dmfm;
    dmfm = nullptr;
    std::printf("\nAlipay preview / bare reading (processor time): %.1f x\n",
                alipayPreview / floor);
    std::printf(
        "Storing into a book of %d records / bare SQLite inserts (processor time): %.1f x\n",
        bookRecords, stored / bareStored);
    return 0;
}
