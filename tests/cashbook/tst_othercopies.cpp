// The main window while another PC writes to the same book: its grid and footer sums follow
// without a click, and a record open in the entry panel keeps what the operator typed.
#include "cashbook/listingmodel.h"
#include "data/history.h"
#include "entrysupport.h"

#include <QEventLoop>
#include <QTimer>

using namespace testsupport;
using namespace entrytest;

namespace {

CashRecord record(const QString& day, const QString& summary, double income)
{
    CashRecord r;
    r.kind = QStringLiteral("收入");
    r.date = day;
    r.summary = summary;
    r.counterparty = QStringLiteral("甲方");
    r.income = income;
    r.receivable = income;
    return r;
}

} // namespace

class OtherCopiesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void gridFollowsAndThePanelKeepsItsText();
    void aWaitingBoxKeepsTheCurrentRecord();
};

void OtherCopiesTest::gridFollowsAndThePanelKeepsItsText()
{
    MainWindowSession session;
    history::setOperator(QStringLiteral("admin"));
    Tdmfm otherPc(session.book.openName());
    const qint64 first =
        otherPc.writer()->add(record(QStringLiteral("2016-05-01"), QStringLiteral("房租"), 100));
    otherPc.writer()->add(record(QStringLiteral("2016-05-02"), QStringLiteral("水费"), 20));
    RecordGrid* grid = MainForm->DBGridEh1;
    QTRY_COMPARE_WITH_TIMEOUT(grid->model()->rowCount(), 2, 5000);
    QTRY_COMPARE(grid->footerText(gridcolumns::Income), QStringLiteral("120"));

    // The operator opens the first record and starts changing it.
    openRow(0);
    QVERIFY(panel()->isVisible());
    QCOMPARE(panel()->openedKey(), first);
    panel()->ComboBox3->setEditText(QStringLiteral("房租（改）"));
    panel()->Edit9->setText(QStringLiteral("101"));

    // Meanwhile the other PC changes that record and adds one.
    otherPc.writer()->modify(first,
                             record(QStringLiteral("2016-05-01"), QStringLiteral("房租"), 100),
                             record(QStringLiteral("2016-05-01"), QStringLiteral("房租五月"), 90));
    otherPc.writer()->add(record(QStringLiteral("2016-04-30"), QStringLiteral("押金"), 500));
    QTRY_COMPARE_WITH_TIMEOUT(grid->model()->rowCount(), 3, 5000);
    QTRY_COMPARE(grid->footerText(gridcolumns::Income), QStringLiteral("610"));
    QCOMPARE(grid->model()->index(0, gridcolumns::Summary).data().toString(),
             QStringLiteral("押金"));
    QCOMPARE(grid->model()->index(1, gridcolumns::Summary).data().toString(),
             QStringLiteral("房租五月"));
    // The grid's current record is still the one opened; the panel is as the operator left it.
    QCOMPARE(dmfm->ADOQuery15->key(), first);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(panel()->openedKey(), first);
    QCOMPARE(panel()->ComboBox3->currentText(), QStringLiteral("房租（改）"));
    QCOMPARE(panel()->Edit9->text(), QStringLiteral("101"));
    QVERIFY(scripted().shown.isEmpty());
}

void OtherCopiesTest::aWaitingBoxKeepsTheCurrentRecord()
{
    // A command asking a question (a box's event loop inside the program's) goes on with the
    // record that was current when it asked, even if another PC deleted it meanwhile.
    MainWindowSession session;
    history::setOperator(QStringLiteral("admin"));
    Tdmfm otherPc(session.book.openName());
    std::vector<qint64> keys;
    for (int day = 1; day <= 3; ++day)
        keys.push_back(otherPc.writer()->add(record(QStringLiteral("2016-05-0%1").arg(day),
                                                    QStringLiteral("第%1笔").arg(day), day)));
    Dataset* listing = dmfm->ADOQuery15;
    QTRY_COMPARE_WITH_TIMEOUT(listing->recordCount(), 3, 5000);
    QVERIFY(listing->locateKey(keys[1]));
    int rowsMeanwhile = -1;
    qint64 currentMeanwhile = 0;
    QEventLoop program;
    QTimer::singleShot(0, &program, [&] {
        QEventLoop box;
        QTimer::singleShot(0, &box, [&] {
            otherPc.writer()->remove(
                keys[1], record(QStringLiteral("2016-05-02"), QStringLiteral("第2笔"), 2));
        });
        QTimer::singleShot(1500, &box, [&] {
            rowsMeanwhile = listing->recordCount();
            currentMeanwhile = listing->key();
            box.quit();
        });
        box.exec();
        QTimer::singleShot(1500, &program, &QEventLoop::quit);
    });
    program.exec();
    QCOMPARE(rowsMeanwhile, 3);
    QCOMPARE(currentMeanwhile, keys[1]);
    QCOMPARE(listing->recordCount(), 2); // taken in once the box was answered
}

QUENVALE_TEST_MAIN(OtherCopiesTest)
#include "tst_othercopies.moc"
