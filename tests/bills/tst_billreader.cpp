// Reading payment bills into a preview: the fixtures as their README says, older and bank
// layouts, refunds, choices, duplicates and files that are no bill.
#include "billfiles.h"
#include "bills/bankmapping.h"
#include "bills/billfile.h"
#include "bills/paymentbill.h"
#include "datasupport.h"

#include <xlsxwriter.h>

using namespace billfiles;
using bills::BillPreview;

namespace {

BillPreview previewOf(const QString& path, const QString& password = {},
                      const QSet<QString>& imported = {})
{
    const std::optional<bills::Bill> bill =
        bills::readPaymentBill(bills::readBillFile(path, password));
    if (!bill)
        qFatal("not recognised as a payment bill: %s", qPrintable(path));
    return BillPreview(*bill, imported);
}

// Every order number a store would remember from this import.
QSet<QString> remembered(const bills::BillImport& bill)
{
    QSet<QString> keys;
    for (const bills::ImportedRecord& item : bill.records)
        for (const QString& no : QStringList{item.orderNo} + item.refundOrderNos)
            keys.insert(bills::orderKey(bill.source, no));
    for (const QString& no : bill.settledOrderNos)
        keys.insert(bills::orderKey(bill.source, no));
    return keys;
}

const QStringList kWeChatRecords{QStringLiteral("支出 2026-11-02 文件夹 / 光明文具店 45.00"),
                                 QStringLiteral("收入 2026-11-04 转账 / 华信公司 1200.00"),
                                 QStringLiteral("收入 2026-11-11 微信红包 / 李四 88.00"),
                                 QStringLiteral("收入 2026-11-16 二维码收款 / 王五 350.00"),
                                 QStringLiteral("支出 2026-11-18 工作餐 / 老张面馆 72.00")};
const QStringList kWeChatSkipped{QStringLiteral("同城配送：已全额退款"),
                                 QStringLiteral("同城配送：退款已并入原交易"),
                                 QStringLiteral("零钱提现：中性交易")};

void checkWeChat(const BillPreview& preview)
{
    QCOMPARE(preview.bill().source, QStringLiteral("wechat"));
    QCOMPARE(preview.rowCount(), 8);
    QCOMPARE(describe(preview.chosen()), kWeChatRecords);
    QCOMPARE(preview.chosenIncomeCents(), 163800);
    QCOMPARE(preview.chosenExpenseCents(), 11700);
    QCOMPARE(skipped(preview), kWeChatSkipped);
    QCOMPARE(preview.chosen().settledOrderNos,
             QStringList({QStringLiteral("4200000002202611060000000003"),
                          QStringLiteral("50300001202611070000000004")}));
}

} // namespace

class BillReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void alipayFixture();
    void weChatFixtures_data();
    void weChatFixtures();
    void weChatInPasswordZip_data();
    void weChatInPasswordZip();
    void olderAlipayLayout();
    void refundsAndChoices();
    void bankCsvMappingRemembered();
    void bankRowsWithoutReference();
    void filesThatAreNoBill();
};

void BillReaderTest::alipayFixture()
{
    const bills::BillFile file = bills::readBillFile(fixture(QStringLiteral("alipay-2026-11.csv")));
    QCOMPARE(file.encoding, QStringLiteral("GBK"));
    BillPreview preview = previewOf(file.path);
    QCOMPARE(preview.bill().source, QStringLiteral("alipay"));
    QCOMPARE(preview.rowCount(), 9);
    const bills::BillImport chosen = preview.chosen();
    QCOMPARE(describe(chosen),
             QStringList({QStringLiteral("支出 2026-11-03 办公用品一批 / 光明文具店 320.00"),
                          QStringLiteral("收入 2026-11-05 货款（11月第一批） / 华信公司 2800.00"),
                          QStringLiteral("支出 2026-11-08 工作餐 / 老张面馆 86.50"),
                          QStringLiteral("收入 2026-11-10 转账 / 明达商贸 1430.00"),
                          QStringLiteral("支出 2026-11-12 快递费 / 恒通物流 1000.00"),
                          QStringLiteral("收入 2026-11-28 服务费 / 张三 1000.00")}));
    QCOMPARE(preview.chosenIncomeCents(), 523000);
    QCOMPARE(preview.chosenExpenseCents(), 140650);
    QCOMPARE(skipped(preview), QStringList({QStringLiteral("退款-快递费：退款已并入原交易"),
                                            QStringLiteral("余额宝-收益发放：不计收支"),
                                            QStringLiteral("打印纸：交易关闭")}));
    // Order numbers without their TAB; the refund's travels with its original.
    QCOMPARE(chosen.records.at(4).orderNo, QStringLiteral("2026111222001400001005"));
    QCOMPARE(chosen.records.at(4).refundOrderNos,
             QStringList{QStringLiteral("2026111222001400001005_20261115")});
    QCOMPARE(chosen.records.at(4).line, 29);

    // Again with what the first import remembered: nothing is chosen.
    const BillPreview again = previewOf(file.path, {}, remembered(chosen));
    QCOMPARE(again.chosenCount(), 0);
    QCOMPARE(skipped(again).count(QStringLiteral("办公用品一批：已导入过")), 1);
    QCOMPARE(skipped(again).count(QStringLiteral("退款-快递费：已导入过")), 1);
}

void BillReaderTest::weChatFixtures_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("csv") << QStringLiteral("wechat-2026-11.csv");
    QTest::newRow("xlsx") << QStringLiteral("wechat-2026-11.xlsx");
    QTest::newRow("xlsx with shared strings") << QString();
}

void BillReaderTest::weChatFixtures()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QString path = fixture(name);
    if (name.isEmpty()) {
        // The same rows written by libxlsxwriter, which keeps texts as shared strings; the
        // header further down and the amounts as numbers, as WeChat does.
        path = dir.filePath(QStringLiteral("shared.xlsx"));
        lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
        lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
        const bills::Table csv =
            bills::readBillFile(fixture(QStringLiteral("wechat-2026-11.csv"))).table;
        for (const bills::TableRow& row : csv)
            for (int c = 0; c < row.cells.size(); ++c) {
                const QString text = row.cells.at(c).trimmed();
                const auto r = static_cast<lxw_row_t>(row.line + 1);
                if (text.startsWith(QChar(0x00A5)))
                    worksheet_write_number(sheet, r, static_cast<lxw_col_t>(c),
                                           text.mid(1).toDouble(), nullptr);
                else if (!text.isEmpty())
                    worksheet_write_string(sheet, r, static_cast<lxw_col_t>(c),
                                           text.toUtf8().constData(), nullptr);
            }
        QCOMPARE(workbook_close(book), LXW_NO_ERROR);
        QVERIFY(readAll(path).contains("sharedStrings.xml"));
    }
    checkWeChat(previewOf(path));
}

void BillReaderTest::weChatInPasswordZip_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("method");
    QTest::newRow("csv, AES") << QStringLiteral("wechat-2026-11.csv") << int(ZIP_EM_AES_256);
    QTest::newRow("xlsx, ZipCrypto")
        << QStringLiteral("wechat-2026-11.xlsx") << int(ZIP_EM_TRAD_PKWARE);
}

void BillReaderTest::weChatInPasswordZip()
{
    QFETCH(QString, entry);
    QFETCH(int, method);
    QTemporaryDir dir;
    const QString zip =
        makeZip(dir.filePath(QStringLiteral("bill.zip")),
                QStringLiteral("微信支付账单(20261101-20261130)/") + entry, readAll(fixture(entry)),
                "271828", static_cast<zip_uint16_t>(method));
    try {
        bills::readBillFile(zip);
        QFAIL("read without its password");
    } catch (const bills::BillPasswordError& e) {
        QVERIFY(!e.wrongPassword());
    }
    for (const QString& wrong : {QStringLiteral("000000"), QStringLiteral("271829")}) {
        try {
            bills::readBillFile(zip, wrong);
            QFAIL("read with a wrong password");
        } catch (const bills::BillPasswordError& e) {
            QVERIFY(e.wrongPassword());
            QCOMPARE(e.message(), QStringLiteral("解压密码不正确，请重新输入。"));
        }
    }
    checkWeChat(previewOf(zip, QStringLiteral("271828")));
}

void BillReaderTest::olderAlipayLayout()
{
    // 收/支 first, amounts with a sign or without, the export block as a footer.
    QTemporaryDir dir;
    const QString path =
        write(dir.filePath(QStringLiteral("old.csv")),
              gbk(QStringLiteral(
                  "收/支,交易对方,对方账号,商品说明,收/"
                  "付款方式,金额,交易状态,交易分类,交易订单号,商家订单号,交易时间,\r\n"
                  "支出 ,光明文具店 ,gm***@163.com,办公用品 ,余额宝,￥320.00 "
                  ",交易成功,商业服务,2022010322001400001001\t,T1\t,2022-01-03 10:12:45,\r\n"
                  "收入,华信公司,/,货款,,2800,交易成功,收入,2022010522001400001002\t,\t,2022/1/5 "
                  "14:20,\r\n"
                  ",余额宝,/"
                  ",余额宝-收益发放,余额宝,0.40,交易成功,投资理财,2022012022001400001007\t,,2022-"
                  "01-20 13:00:00,\r\n"
                  "支出,老张面馆,/"
                  ",工作餐,花呗,十二元,交易成功,餐饮美食,2022010822001400001003\t,,2022-01-08 "
                  "09:01:33,\r\n"
                  "支出,老张面馆,/"
                  ",工作餐,花呗,12.00,交易成功,餐饮美食,2022010922001400001004\t,,2022-13-09 "
                  "09:01:33,\r\n"
                  "--------------------------------------------------------------------------------"
                  "----\r\n"
                  "导出信息：\r\n姓名：示例商户\r\n共5笔记录\r\n收入：1笔 2800.00元\r\n"
                  "导出时间：[2022-02-01 09:15:02]    用户：138****0000\r\n")));
    BillPreview preview = previewOf(path);
    QCOMPARE(preview.bill().source, QStringLiteral("alipay"));
    QCOMPARE(describe(preview.chosen()),
             QStringList({QStringLiteral("支出 2022-01-03 办公用品 / 光明文具店 320.00"),
                          QStringLiteral("收入 2022-01-05 货款 / 华信公司 2800.00")}));
    QCOMPARE(skipped(preview),
             QStringList({QStringLiteral("余额宝-收益发放：不计收支"),
                          QStringLiteral("工作餐：金额无效"), QStringLiteral("工作餐：日期无效")}));
    preview.setChoices({true, false, false});
    QCOMPARE(describe(preview.chosen()).last(),
             QStringLiteral("收入 2022-01-20 余额宝-收益发放 / 余额宝 0.40"));
}

void BillReaderTest::refundsAndChoices()
{
    QTemporaryDir dir;
    auto row = [](const char* day, const char* category, const char* goods, const char* way,
                  const char* amount, const char* status, const char* order) {
        return QStringLiteral("2026-11-%1 10:00:00,%2,恒通物流,/,%3,%4,%5,,%6,%7\t,\t,,\r\n")
            .arg(QLatin1StringView(day), QString::fromUtf8(category), QString::fromUtf8(goods),
                 QString::fromUtf8(way), QLatin1StringView(amount), QString::fromUtf8(status),
                 QLatin1StringView(order));
    };
    const QString path =
        write(dir.filePath(QStringLiteral("refunds.csv")),
              gbk(QStringLiteral(
                      "支付宝交易明细\r\n交易时间,交易分类,交易对方,对方账号,商品说明,收/支,金额,"
                      "收/付款方式,交易状态,交易订单号,商家订单号,备注,\r\n") +
                  row("01", "日用百货", "纸箱", "支出", "100.00", "交易成功", "A1") +
                  row("02", "日用百货", "胶带", "支出", "60.00", "交易成功", "B1") +
                  row("03", "退款", "退款-纸箱", "不计收支", "30.00", "退款成功", "A1_1") +
                  row("04", "退款", "退款-胶带", "不计收支", "60.00", "退款成功", "B1_1") +
                  row("05", "退款", "退款-纸箱", "不计收支", "20.00", "退款成功", "A1_2") +
                  row("06", "退款", "退款-旧货", "不计收支", "40.00", "退款成功", "C9_1") +
                  row("07", "转账", "转账到余额宝", "不计收支", "500.00", "交易成功", "D1") +
                  row("08", "日用百货", "标签纸", "支出", "15.00", "交易关闭", "E1")));
    BillPreview preview = previewOf(path);
    // Two part refunds taken into their original, a full refund dropping both, a refund whose
    // original is in an earlier bill counted as money back.
    QCOMPARE(describe(preview.chosen()),
             QStringList({QStringLiteral("支出 2026-11-01 纸箱 / 恒通物流 50.00"),
                          QStringLiteral("收入 2026-11-06 退款-旧货 / 恒通物流 40.00")}));
    QCOMPARE(skipped(preview),
             QStringList(
                 {QStringLiteral("胶带：已全额退款"), QStringLiteral("退款-纸箱：退款已并入原交易"),
                  QStringLiteral("退款-胶带：退款已并入原交易"),
                  QStringLiteral("退款-纸箱：退款已并入原交易"),
                  QStringLiteral("转账到余额宝：不计收支"), QStringLiteral("标签纸：交易关闭")}));
    QCOMPARE(preview.chosen().settledOrderNos,
             QStringList({QStringLiteral("B1"), QStringLiteral("B1_1")}));

    // The skipped kinds taken in; a tick of the operator's own is kept meanwhile.
    preview.setChosen(0, false);
    QVERIFY(!preview.canChoose(2));
    preview.setChoices({true, false, true});
    QCOMPARE(describe(preview.chosen()),
             QStringList({QStringLiteral("收入 2026-11-06 退款-旧货 / 恒通物流 40.00"),
                          QStringLiteral("支出 2026-11-07 转账到余额宝 / 恒通物流 500.00"),
                          QStringLiteral("支出 2026-11-08 标签纸 / 恒通物流 15.00")}));
    preview.setChosen(6, false);
    QCOMPARE(preview.chosenCount(), 2);

    // The original imported before: its later refunds stand on their own.
    const QSet<QString> imported{bills::orderKey(QStringLiteral("alipay"), QStringLiteral("A1")),
                                 bills::orderKey(QStringLiteral("alipay"), QStringLiteral("A1_1"))};
    QCOMPARE(describe(previewOf(path, {}, imported).chosen()).first(),
             QStringLiteral("收入 2026-11-05 退款-纸箱 / 恒通物流 20.00"));

    // WeChat: a part refund shares the 商户单号; a neutral row taken in.
    const QString weChat = write(
        dir.filePath(QStringLiteral("wx.csv")),
        QByteArray("\xEF\xBB\xBF") +
            QStringLiteral(
                "交易时间,交易类型,交易对方,商品,收/"
                "支,金额(元),支付方式,当前状态,交易单号,商户单号,备注\r\n"
                "2026-11-06 "
                "18:45:00,商户消费,恒通物流,同城配送,支出,¥60.00,零钱,已退款￥25.00,42001\t,HT1\t,/"
                "\r\n"
                "2026-11-07 "
                "10:00:00,商户消费-退款,恒通物流,同城配送,收入,¥25.00,零钱,已退款￥25.00,50301\t,"
                "HT1\t,/\r\n"
                "2026-11-09 "
                "08:00:00,零钱提现,招商银行(1234),/,/,¥500.50,零钱,提现已到账,11301\t,/,/\r\n")
                .toUtf8());
    BillPreview wx = previewOf(weChat);
    wx.setChoices({false, true, false});
    QCOMPARE(describe(wx.chosen()),
             QStringList({QStringLiteral("支出 2026-11-06 同城配送 / 恒通物流 35.00"),
                          QStringLiteral("支出 2026-11-09 零钱提现 / 招商银行(1234) 500.50")}));
}

void BillReaderTest::bankCsvMappingRemembered()
{
    QTemporaryDir dir;
    const QString rows =
        QStringLiteral("交易日期,摘要,对方户名,收入金额,支出金额,余额,交易流水号\r\n"
                       "2026-11-03,货款,华信公司,\"2,800.00\",,12800.00,B0001\r\n"
                       "2026/11/05,办公用品,光明文具店,,320.00,12480.00,B0002\r\n"
                       "20261107,利息,,0.35,,12480.35,B0003\r\n"
                       "2026-11-08,手续费,,,,12480.35,B0004\r\n"
                       "合计,,,\"2,800.35\",320.00,,\r\n");
    const QString path =
        write(dir.filePath(QStringLiteral("bank.csv")),
              gbk(QStringLiteral("某银行账户明细\r\n账号：6222****1234\r\n\r\n") + rows));
    const bills::BillFile file = bills::readBillFile(path);
    QVERIFY(!bills::readPaymentBill(file));
    bills::BankMapping mapping = bills::guessMapping(file);
    QCOMPARE(mapping.encoding, QStringLiteral("GBK"));
    QCOMPARE(mapping.skipTop, 3);
    QCOMPARE(QStringList({mapping.date, mapping.amount, mapping.income, mapping.expense,
                          mapping.counterparty, mapping.summary, mapping.reference}),
             QStringList({QStringLiteral("交易日期"), QString(), QStringLiteral("收入金额"),
                          QStringLiteral("支出金额"), QStringLiteral("对方户名"),
                          QStringLiteral("摘要"), QStringLiteral("交易流水号")}));
    QCOMPARE(skipped(BillPreview(bills::applyMapping(file, mapping), {})).last(),
             QStringLiteral("：日期无效")); // the totals row, until it is skipped
    mapping.skipBottom = 1;
    const BillPreview preview(bills::applyMapping(file, mapping), {});
    QVERIFY(preview.bill().source.startsWith(QStringLiteral("bank:")));
    QCOMPARE(describe(preview.chosen()),
             QStringList({QStringLiteral("收入 2026-11-03 货款 / 华信公司 2800.00"),
                          QStringLiteral("支出 2026-11-05 办公用品 / 光明文具店 320.00"),
                          QStringLiteral("收入 2026-11-07 利息 /  0.35")}));
    QCOMPARE(skipped(preview), QStringList{QStringLiteral("手续费：金额为零")});
    QCOMPARE(preview.chosen().records.at(1).orderNo, QStringLiteral("B0002"));

    // Remembered in the settings; a later file of this bank with a longer preamble is read
    // by the same mapping, its header found by name.
    bills::SettingsMappingStore().remember(mapping);
    const QString later =
        write(dir.filePath(QStringLiteral("later.csv")),
              gbk(QStringLiteral("某银行账户明细\r\n账号：6222****1234\r\n起止日期：2026-11-"
                                 "01至2026-11-30\r\n\r\n") +
                  rows));
    const bills::BillFile laterFile = bills::readBillFile(later);
    bills::SettingsMappingStore store;
    const std::optional<bills::BankMapping> found = bills::rememberedMapping(laterFile, store);
    QVERIFY(found);
    QCOMPARE(found->skipTop, 4);
    const BillPreview again(bills::applyMapping(laterFile, *found), {});
    QCOMPARE(describe(again.chosen()), describe(preview.chosen()));
    QCOMPARE(again.bill().source, preview.bill().source);
}

void BillReaderTest::bankRowsWithoutReference()
{
    // One signed amount column, no reference: two equal payments on one day are two rows,
    // and the same file again brings neither back.
    QTemporaryDir dir;
    const QString path =
        write(dir.filePath(QStringLiteral("plain.csv")),
              QStringLiteral("日期,交易金额,对方,用途\n2026-11-01,-45.00,光明文具店,文件夹\n"
                             "2026-11-01,-45.00,光明文具店,文件夹\n2026-11-02,100,王五,收款\n")
                  .toUtf8());
    const bills::BillFile file = bills::readBillFile(path);
    QCOMPARE(file.encoding, QStringLiteral("UTF-8"));
    const bills::BankMapping mapping = bills::guessMapping(file);
    QCOMPARE(mapping.amount, QStringLiteral("交易金额"));
    const BillPreview first(bills::applyMapping(file, mapping), {});
    QCOMPARE(first.chosenCount(), 3);
    QCOMPARE(first.chosenExpenseCents(), 9000);
    const BillPreview second(bills::applyMapping(file, mapping), remembered(first.chosen()));
    QCOMPARE(second.chosenCount(), 0);
    QCOMPARE(skipped(second).count(QStringLiteral("文件夹：已导入过")), 2);
}

void BillReaderTest::filesThatAreNoBill()
{
    QTemporaryDir dir;
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); i += 7)
        binary[i] = static_cast<char>(i * 31);
    const QByteArray xlsx = readAll(fixture(QStringLiteral("wechat-2026-11.xlsx")));
    const QList<QPair<QString, QByteArray>> files{
        {QStringLiteral("junk.csv"), binary},
        {QStringLiteral("empty.csv"), {}},
        {QStringLiteral("notes.csv"), QByteArray("just one column\nof text\n")},
        {QStringLiteral("cut.xlsx"), xlsx.left(xlsx.size() / 2)},
        {QStringLiteral("nobill.zip"), readAll(makeZip(dir.filePath(QStringLiteral("z")),
                                                       QStringLiteral("readme.txt"), "hello"))},
    };
    for (const auto& [name, bytes] : files) {
        try {
            bills::readBillFile(write(dir.filePath(name), bytes));
            QFAIL(qPrintable(name));
        } catch (const bills::BillError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("无法识别的账单文件：") + name),
                     qPrintable(e.message()));
        }
    }
    // 100 MB is refused from its size alone (a sparse file: nothing of it is in memory).
    QFile big(dir.filePath(QStringLiteral("big.csv")));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(bills::kMaxBillBytes));
    big.close();
    QVERIFY_THROWS_EXCEPTION(bills::BillError, bills::readBillFile(big.fileName()));
    try {
        bills::readBillFile(big.fileName());
    } catch (const bills::BillError& e) {
        QCOMPARE(
            e.message(),
            QStringLiteral("账单文件太大（100 MB），无法导入：big.csv。请导出较短时间段的账单。"));
    }
}

QUENVALE_DATA_TEST_MAIN(BillReaderTest)
#include "tst_billreader.moc"
