// The window "导入账单" driven offscreen: what the choices hand to the store, cancelling, the
// password of a zipped bill, the mapping step of a bank's CSV and a file that is no bill.
#include "billfiles.h"
#include "bills/bankmappingpage.h"
#include "bills/billimportwindow.h"
#include "bills/billrowsmodel.h"
#include "bills/billstore.h"
#include "testsupport.h"

using namespace billfiles;

namespace {

// Remembers order numbers as the book's store will, and what it was handed.
class RecordingStore : public bills::BillStore
{
public:
    QSet<QString> importedOrders(const QString&, const QStringList&) override { return known; }
    bills::BillStoreResult store(const bills::BillImport& bill) override
    {
        stored.append(bill);
        bills::BillStoreResult result;
        for (const bills::ImportedRecord& item : bill.records) {
            const QString key = bills::orderKey(item.source, item.orderNo);
            (known.contains(key) ? result.duplicates : result.added) += 1;
            known.insert(key);
            for (const QString& no : item.refundOrderNos)
                known.insert(bills::orderKey(item.source, no));
        }
        for (const QString& no : bill.settledOrderNos)
            known.insert(bills::orderKey(bill.source, no));
        return result;
    }
    QSet<QString> known;
    QList<bills::BillImport> stored;
};

class MemoryMappings : public bills::MappingStore
{
public:
    std::optional<bills::BankMapping> find(const QString& fingerprint) override
    {
        return kept.contains(fingerprint) ? std::optional(kept.value(fingerprint)) : std::nullopt;
    }
    void remember(const bills::BankMapping& m) override
    {
        kept.insert(bills::headerFingerprint(m.header), m);
    }
    QHash<QString, bills::BankMapping> kept;
};

void tick(BillImportWindow& window, int row, bool on)
{
    QVERIFY(window.model()->setData(window.model()->index(row, BillRowsModel::Time),
                                    on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
}

} // namespace

class BillImportTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { testsupport::scripted().clear(); }
    void choicesChangeWhatIsStored();
    void cancelStoresNothing();
    void zippedBillAsksForItsPassword();
    void bankCsvMappedOnceThenRemembered();
    void fileThatIsNoBill();
};

void BillImportTest::choicesChangeWhatIsStored()
{
    RecordingStore store;
    MemoryMappings mappings;
    {
        BillImportWindow window(fixture(QStringLiteral("alipay-2026-11.csv")), store, mappings);
        QAbstractItemModelTester tester(window.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        window.open();
        window.show();
        QCOMPARE(window.pages->currentWidget(), window.previewPage);
        QCOMPARE(window.model()->rowCount(), 9);
        QCOMPARE(
            window.model()->data(window.model()->index(5, BillRowsModel::Outcome), Qt::DisplayRole),
            QVariant(QStringLiteral("跳过：退款已并入原交易")));
        QCOMPARE(window.model()->outcomeText(4), QStringLiteral("导入 1000.00（已扣退款80.00）"));
        tick(window, 0, false);        // not the office supplies
        window.notCountedBox->click(); // but the yield of 余额宝
        QCOMPARE(window.summaryLabel->text(),
                 QStringLiteral("共9行：导入6条（收入5270.00，支出1086.50），跳过3条。"));
        window.importButton->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
    }
    QCOMPARE(store.stored.size(), 1);
    QCOMPARE(describe(store.stored.first()),
             QStringList({QStringLiteral("收入 2026-11-05 货款（11月第一批） / 华信公司 2800.00"),
                          QStringLiteral("支出 2026-11-08 工作餐 / 老张面馆 86.50"),
                          QStringLiteral("收入 2026-11-10 转账 / 明达商贸 1430.00"),
                          QStringLiteral("支出 2026-11-12 快递费 / 恒通物流 1000.00"),
                          QStringLiteral("收入 2026-11-20 余额宝-收益发放 / 余额宝 40.00"),
                          QStringLiteral("收入 2026-11-28 服务费 / 张三 1000.00")}));
    QCOMPARE(testsupport::scripted().lastText(), QStringLiteral("导入完成：新增6条，跳过3条。"));

    // The same bill again: only the row left out before is offered.
    BillImportWindow again(fixture(QStringLiteral("alipay-2026-11.csv")), store, mappings);
    again.open();
    QCOMPARE(again.preview().chosenCount(), 1);
    tick(again, 0, false);
    again.importButton->click();
    QCOMPARE(store.stored.size(), 1);
    QCOMPARE(testsupport::scripted().lastText(), QStringLiteral("导入完成：新增0条，跳过9条。"));
}

void BillImportTest::cancelStoresNothing()
{
    RecordingStore store;
    MemoryMappings mappings;
    BillImportWindow window(fixture(QStringLiteral("wechat-2026-11.xlsx")), store, mappings);
    window.open();
    window.show();
    QCOMPARE(window.preview().chosenCount(), 5);
    window.cancelButton->click();
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QVERIFY(store.stored.isEmpty());
    QVERIFY(testsupport::scripted().shown.isEmpty());
}

void BillImportTest::zippedBillAsksForItsPassword()
{
    QTemporaryDir dir;
    const QString zip =
        makeZip(dir.filePath(QStringLiteral("wx.zip")), QStringLiteral("微信支付账单.csv"),
                readAll(fixture(QStringLiteral("wechat-2026-11.csv"))), "135790");
    RecordingStore store;
    MemoryMappings mappings;
    BillImportWindow window(zip, store, mappings);
    window.open();
    window.show();
    QCOMPARE(window.pages->currentWidget(), window.passwordPage);
    QVERIFY(!window.importButton->isEnabled());
    window.passwordEdit->setText(QStringLiteral("135791"));
    window.passwordButton->click();
    QCOMPARE(window.passwordHint->text(), QStringLiteral("解压密码不正确，请重新输入。"));
    QCOMPARE(window.pages->currentWidget(), window.passwordPage);
    window.passwordEdit->setText(QStringLiteral("135790"));
    QTest::keyClick(window.passwordEdit, Qt::Key_Return);
    QCOMPARE(window.pages->currentWidget(), window.previewPage);
    QVERIFY(store.stored.isEmpty()); // Enter took the password only
    window.importButton->click();
    QCOMPARE(store.stored.size(), 1);
    QCOMPARE(describe(store.stored.first()).size(), 5);
    QCOMPARE(testsupport::scripted().lastText(), QStringLiteral("导入完成：新增5条，跳过3条。"));
}

void BillImportTest::bankCsvMappedOnceThenRemembered()
{
    QTemporaryDir dir;
    const QString rows = QStringLiteral("记账日期,交易金额,对方户名,用途,流水号\n"
                                        "2026-11-03,2800.00,华信公司,货款,B1\n"
                                        "2026-11-05,-320.00,光明文具店,办公用品,B2\n"
                                        "合计,2480.00,,,\n");
    const QString first = write(dir.filePath(QStringLiteral("a.csv")),
                                (QStringLiteral("账户明细\n") + rows).toUtf8());
    RecordingStore store;
    MemoryMappings mappings;
    {
        BillImportWindow window(first, store, mappings);
        window.open();
        window.show();
        QCOMPARE(window.pages->currentWidget(), window.mappingPage);
        QVERIFY(!window.mappingButton->isVisible());
        BankMappingPage* page = window.mappingPage;
        QCOMPARE(page->encodingBox->currentText(), QStringLiteral("UTF-8"));
        QCOMPARE(page->skipTopBox->value(), 1);
        QCOMPARE(page->dateBox->currentText(), QStringLiteral("记账日期"));
        QCOMPARE(page->amountBox->currentText(), QStringLiteral("交易金额"));
        QCOMPARE(page->referenceBox->currentText(), QStringLiteral("流水号"));
        page->summaryBox->setCurrentText(QStringLiteral("对方户名")); // the operator's own choice
        page->skipBottomBox->setValue(1);
        page->previewButton->click();
        QCOMPARE(window.pages->currentWidget(), window.previewPage);
        QVERIFY(window.mappingButton->isVisible());
        window.importButton->click();
    }
    QCOMPARE(describe(store.stored.value(0)),
             QStringList({QStringLiteral("收入 2026-11-03 华信公司 / 华信公司 2800.00"),
                          QStringLiteral("支出 2026-11-05 光明文具店 / 光明文具店 320.00")}));
    QCOMPARE(mappings.kept.size(), 1);

    // A later file with the same header (and no preamble) goes straight to its preview.
    const QString later = write(dir.filePath(QStringLiteral("b.csv")), rows.toUtf8());
    BillImportWindow window(later, store, mappings);
    window.open();
    QCOMPARE(window.pages->currentWidget(), window.previewPage);
    QCOMPARE(window.preview().rowCount(), 2);
    QCOMPARE(window.preview().chosenCount(), 0); // both imported already
}

void BillImportTest::fileThatIsNoBill()
{
    QTemporaryDir dir;
    const QString path =
        write(dir.filePath(QStringLiteral("photo.zip")), QByteArray("PK\x03\x04 broken"));
    RecordingStore store;
    MemoryMappings mappings;
    QVERIFY(!runBillImport(nullptr, path, store, &mappings));
    QCOMPARE(testsupport::scripted().lastKind(), QStringLiteral("critical"));
    QVERIFY(testsupport::scripted().lastText().startsWith(
        QStringLiteral("无法识别的账单文件：photo.zip")));
    QVERIFY(store.stored.isEmpty());
}

QUENVALE_TEST_MAIN(BillImportTest)
#include "tst_billimport.moc"
