// 导入账单… on a real book (both engines): each bill stores what its README says, once; the grid
// follows; cancelling, a damaged file and a failing write store nothing.
#include "app/mainform.h"
#include "billfiles.h"
#include "bills/billimportwindow.h"
#include "bills/billrowsmodel.h"
#include "bills/bookbillstore.h"
#include "bills/paymentbill.h"
#include "cashbook/recordgrid.h"
#include "data/bookwriter.h"
#include "data/dm.h"
#include "data/history.h"
#include "data/layout.h"
#include "data/schema.h"
#include "data/sql.h"
#include "history/historymodels.h"
#include "history/historywindow.h"
#include "maintenance/bookcopy.h"
#include "testsupport.h"

#include <QAction>

#include <functional>

using namespace billfiles;
using namespace testsupport;

namespace {

// Acts on "导入账单" once it is shown modally by the command.
void whenShown(std::function<void(BillImportWindow&)> act, int tries = 200)
{
    QTimer::singleShot(10, qApp, [act = std::move(act), tries]() mutable {
        auto* window = qobject_cast<BillImportWindow*>(QApplication::activeModalWidget());
        if (window)
            act(*window);
        else if (tries > 0)
            whenShown(std::move(act), tries - 1);
    });
}

// The command from 账务工具 with file chosen; act runs in the window.
void importThroughMenu(const QString& file, std::function<void(BillImportWindow&)> act)
{
    scripted().fileNames.push_back(file);
    whenShown(std::move(act));
    MainForm->importAction->trigger();
}

QString dayText(const QVariant& value)
{
    return value.typeId() == QMetaType::QDate ? value.toDate().toString(Qt::ISODate)
                                              : value.toString().left(10);
}

// The book's records as the fixtures' README writes them, by date.
QStringList bookRecords(const QString& book)
{
    sql::ScopedConnection conn(book);
    QSqlQuery q = sql::exec(conn.db(), QStringLiteral("select a,day1,b,c,\"1\",\"4\" from data "
                                                      "order by day1,id"));
    QStringList records;
    while (q.next())
        records << QStringLiteral("%1 %2 %3 / %4 %5")
                       .arg(q.value(0).toString(), dayText(q.value(1)), q.value(2).toString(),
                            q.value(3).toString(),
                            QString::number(q.value(4).toDouble() + q.value(5).toDouble(), 'f', 2));
    return records;
}

qint64 count(const QString& book, const QString& table)
{
    return scalar(book, QStringLiteral("select count(*) from ") + table).toLongLong();
}

const QStringList kAlipay = {
    QStringLiteral("支出 2026-11-03 办公用品一批 / 光明文具店 320.00"),
    QStringLiteral("收入 2026-11-05 货款（11月第一批） / 华信公司 2800.00"),
    QStringLiteral("支出 2026-11-08 工作餐 / 老张面馆 86.50"),
    QStringLiteral("收入 2026-11-10 转账 / 明达商贸 1430.00"),
    QStringLiteral("支出 2026-11-12 快递费 / 恒通物流 1000.00"),
    QStringLiteral("收入 2026-11-28 服务费 / 张三 1000.00"),
};

const QStringList kWeChat = {
    QStringLiteral("支出 2026-11-02 文件夹 / 光明文具店 45.00"),
    QStringLiteral("收入 2026-11-04 转账 / 华信公司 1200.00"),
    QStringLiteral("收入 2026-11-11 微信红包 / 李四 88.00"),
    QStringLiteral("收入 2026-11-16 二维码收款 / 王五 350.00"),
    QStringLiteral("支出 2026-11-18 工作餐 / 老张面馆 72.00"),
};

} // namespace

class BillBookTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void eachBillStoresItsRecordsOnce_data();
    void eachBillStoresItsRecordsOnce();
    void cancelAndDamagedFilesStoreNothing();
    void failedWriteStoresNothing();
    void importsTravelWithTheBook();
    void bookOfTheLayoutBeforeGetsTheTables();
};

void BillBookTest::eachBillStoresItsRecordsOnce_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("income");
    QTest::addColumn<QString>("expense");
    QTest::newRow("alipay") << QStringLiteral("alipay-2026-11.csv") << kAlipay << 9
                            << QStringLiteral("5230") << QStringLiteral("1406.5");
    QTest::newRow("wechat csv") << QStringLiteral("wechat-2026-11.csv") << kWeChat << 8
                                << QStringLiteral("1638") << QStringLiteral("117");
    QTest::newRow("wechat xlsx") << QStringLiteral("wechat-2026-11.xlsx") << kWeChat << 8
                                 << QStringLiteral("1638") << QStringLiteral("117");
}

void BillBookTest::eachBillStoresItsRecordsOnce()
{
    QFETCH(QString, file);
    QFETCH(QStringList, records);
    QFETCH(int, rows);
    QFETCH(QString, income);
    QFETCH(QString, expense);
    MainWindowSession session;
    const QString book = session.book.bookPath();
    const int added = int(records.size());

    bool shown = false;
    importThroughMenu(fixture(file), [&](BillImportWindow& window) {
        shown = true;
        QCOMPARE(window.preview().rowCount(), rows);
        window.importButton->click();
    });
    QVERIFY(shown);
    QCOMPARE(scripted().lastFilter, QStringLiteral("账单文件 (*.csv *.xlsx *.zip)"));
    QCOMPARE(scripted().lastText(),
             QStringLiteral("导入完成：新增%1条，跳过%2条。").arg(added).arg(rows - added));
    QCOMPARE(bookRecords(book), records);
    // Settled: all received or paid, nothing left open.
    QCOMPARE(count(book, QStringLiteral("data where \"1\"<>\"2\" or \"4\"<>\"5\" or \"3\"<>0 or "
                                        "\"6\"<>0")),
             0);
    QCOMPARE(count(book, QStringLiteral("imports")), 1);
    // One entry of the change history: the import's row and its records, in one batch.
    QCOMPARE(count(book, QStringLiteral("changes where action='导入账单' and kind='added'")),
             added + 1);
    QCOMPARE(scalar(book, QStringLiteral("select count(distinct batch) from changes")).toInt(), 1);
    // 修改记录 names the import and its file in words.
    history::setOperator(QStringLiteral("超级管理员"));
    MainForm->historyClick();
    const HistoryModel* history = MainForm->historyWindow->model();
    QStringList described;
    for (int row = 0; row < history->rowCount(); ++row)
        if (history->index(row, HistoryModel::Table).data().toString() == u"导入的账单")
            described << history->index(row, HistoryModel::After).data().toString();
    QCOMPARE(described.size(), 1);
    QVERIFY2(described.constFirst().contains(QStringLiteral("账单文件：") + file),
             qPrintable(described.constFirst()));
    MainForm->historyWindow->close();
    history::setOperator({});
    // The grid lists them all and its footer sums them.
    RecordGrid* grid = MainForm->DBGridEh1;
    QCOMPARE(grid->model()->rowCount(), added);
    QCOMPARE(grid->footerText(gridcolumns::Income), income);
    QCOMPARE(grid->footerText(gridcolumns::Expense), expense);

    // Edited since, the records are still known by their order numbers: the bill again, or the
    // other format of the same bill, adds nothing.
    scalar(book, QStringLiteral("update data set b='改过', \"1\"=\"1\"+1, \"2\"=\"2\"+1"));
    const QStringList again = file.startsWith(u"wechat")
                                  ? QStringList{QStringLiteral("wechat-2026-11.csv"),
                                                QStringLiteral("wechat-2026-11.xlsx")}
                                  : QStringList{file};
    for (const QString& name : again) {
        importThroughMenu(fixture(name), [&](BillImportWindow& window) {
            QCOMPARE(window.preview().chosenCount(), 0);
            QCOMPARE(window.model()->outcomeText(0), QStringLiteral("跳过：已导入过"));
            window.importButton->click();
        });
        QCOMPARE(scripted().lastText(), QStringLiteral("导入完成：新增0条，跳过%1条。").arg(rows));
    }
    QCOMPARE(count(book, QStringLiteral("data")), added);
    QCOMPARE(count(book, QStringLiteral("imports")), 1);
    QCOMPARE(grid->model()->rowCount(), added);

    // An import taken back (its row of imports gone with its records) can be imported again.
    scalar(book, QStringLiteral("delete from data"));
    scalar(book, QStringLiteral("delete from imports"));
    importThroughMenu(fixture(file), [&](BillImportWindow& window) {
        QCOMPARE(window.preview().chosenCount(), added);
        window.importButton->click();
    });
    QCOMPARE(bookRecords(book), records);
    QCOMPARE(count(book, QStringLiteral("imported i join imports b on b.id=i.batch")),
             count(book, QStringLiteral("imported")));
}

void BillBookTest::cancelAndDamagedFilesStoreNothing()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    session.add(QStringLiteral("收入"), QStringLiteral("2026-10-01"), QStringLiteral("旧账"),
                QStringLiteral("甲"), 10, 10, 0, 0);
    session.reload();
    // No file chosen: no window.
    MainForm->importAction->trigger();
    QCOMPARE(scripted().shown.size(), 1);
    QCOMPARE(scripted().lastKind(), QStringLiteral("open"));

    importThroughMenu(fixture(QStringLiteral("alipay-2026-11.csv")), [](BillImportWindow& window) {
        QCOMPARE(window.preview().chosenCount(), 6);
        window.cancelButton->click();
    });
    QTemporaryDir dir;
    const QString damaged =
        write(dir.filePath(QStringLiteral("账单.zip")), QByteArray("PK\x03\x04 cut short"));
    // Refused before any window shows.
    scripted().fileNames.push_back(damaged);
    MainForm->importAction->trigger();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QVERIFY2(scripted().lastText().startsWith(QStringLiteral("无法识别的账单文件：账单.zip")),
             qPrintable(scripted().lastText()));
    for (const char* table : {"data", "imports", "imported"})
        QCOMPARE(count(book, QString::fromLatin1(table)), table[0] == 'd' ? 1 : 0);
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 1);
}

void BillBookTest::failedWriteStoresNothing()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    // The book refuses the last order number of the bill, after the records went in.
    const QString last = QStringLiteral("2026112822001400001009");
    if (onServer()) {
        scalar(book, QStringLiteral("alter table imported add constraint refuse check (orderno "
                                    "is distinct from '%1')")
                         .arg(last));
    } else {
        scalar(book, QStringLiteral("create trigger refuse before insert on imported when "
                                    "new.orderno='%1' begin select raise(abort, 'refused'); end")
                         .arg(last));
    }
    bool refused = false;
    importThroughMenu(fixture(QStringLiteral("alipay-2026-11.csv")), [&](BillImportWindow& window) {
        window.importButton->click();
        refused = window.isVisible() && scripted().lastKind() == u"critical";
        window.cancelButton->click();
    });
    QVERIFY2(refused, qPrintable(scripted().lastText()));
    for (const char* table : {"data", "imports", "imported"})
        QCOMPARE(count(book, QString::fromLatin1(table)), 0);
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 0);
}

void BillBookTest::importsTravelWithTheBook()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    importThroughMenu(fixture(QStringLiteral("wechat-2026-11.csv")),
                      [](BillImportWindow& window) { window.importButton->click(); });
    QCOMPARE(count(book, QStringLiteral("data")), 5);
    // A backup, and on a server the book copied from it into another, keep the numbers taken in.
    const QString copy = session.book.file(QStringLiteral("copy.mdb"));
    bookcopy::snapshot(book, copy);
    BookFolder other;
    QString target = copy;
    if (onServer()) {
        bookcopy::copyBook(copy, other.bookPath());
        target = other.bookPath();
    }
    QCOMPARE(count(target, QStringLiteral("imported")), count(book, QStringLiteral("imported")));
    sql::ScopedConnection conn(target);
    BookWriter writer(conn.db().connectionName(), nullptr);
    bills::BookBillStore store(writer);
    std::optional<bills::Bill> bill =
        bills::readPaymentBill(bills::readBillFile(fixture(QStringLiteral("wechat-2026-11.xlsx"))));
    QVERIFY(bill);
    QStringList numbers;
    for (const bills::BillRow& row : std::as_const(bill->rows))
        numbers << row.orderNo;
    const QSet<QString> known = store.importedOrders(bill->source, numbers);
    QCOMPARE(known.size(), 7); // five records, and a full refund with its original
    QCOMPARE(bills::BillPreview(*bill, known).chosenCount(), 0);
    // Handed the records all the same (another PC's preview, read before this import), the
    // store adds none of them.
    const bills::BillStoreResult late = store.store(bills::BillPreview(*bill, {}).chosen());
    QCOMPARE(late.added, 0);
    QCOMPARE(late.duplicates, 5);
    QCOMPARE(count(target, QStringLiteral("data")), 5);
}

void BillBookTest::bookOfTheLayoutBeforeGetsTheTables()
{
    BookFolder folder;
    sql::ScopedConnection conn(folder.bookPath());
    QSqlDatabase& db = conn.db();
    // The tables, their columns and indexes as the engine describes them.
    const QString shape =
        onServer()
            ? QStringLiteral("select string_agg(d, ';' order by d) from (select "
                             "table_name||'.'||column_name||' '||data_type||' '||is_nullable d "
                             "from information_schema.columns where table_name in "
                             "('imports','imported') union all select indexdef from pg_indexes "
                             "where tablename in ('imports','imported')) t")
            : QStringLiteral("select group_concat(sql, ';') from (select sql from sqlite_master "
                             "where tbl_name in ('imports','imported') order by name)");
    auto described = [&] {
        QSqlQuery q = sql::exec(db, shape);
        return q.next() ? q.value(0).toString() : QString();
    };
    const QString asNew = described();
    QVERIFY(asNew.contains(QStringLiteral("orderno")));
    sql::exec(db, QStringLiteral("drop table imported"));
    sql::exec(db, QStringLiteral("drop table imports"));
    {
        sql::Transaction tx(db);
        layout::setVersion(db, schema::kVersion - 1);
        tx.commit();
    }
    QCOMPARE(layout::upgrade(db), schema::kVersion - 1);
    QCOMPARE(layout::versionOf(db), schema::kVersion);
    QCOMPARE(described(), asNew);
}

QUENVALE_TEST_MAIN(BillBookTest)
#include "tst_billbook.moc"
