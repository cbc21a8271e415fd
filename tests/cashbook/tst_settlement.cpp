// 收款登记 and 付款登记 driven as the operator does, from 账务工具 and the grid's menu: what is
// stored, what is refused with nothing stored, the administrator's 撤销登记, and the reports that
// read the settlements. Also a server variant.
#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "cashbook/settlementwindow.h"
#include "data/bookwriter.h"
#include "data/dm.h"
#include "data/history.h"
#include "data/settlement.h"
#include "data/sql.h"
#include "gui/datefield.h"
#include "stats/agingwindow.h"
#include "stats/journalwindow.h"
#include "stats/statementwindow.h"
#include "support/testsupport.h"

#include <QPointer>

using namespace testsupport;

namespace {

const QString kIn = QStringLiteral("收入");
const QString kOut = QStringLiteral("支出");

// A record's received, rest, paid and rest in cents, as the book holds them.
QList<qint64> amounts(const QString& bookPath, qint64 key)
{
    sql::ScopedConnection conn(bookPath);
    QSqlQuery q = sql::exec(
        conn.db(), QStringLiteral("select \"2\",\"3\",\"5\",\"6\" from data where id=?"), {key});
    QList<qint64> cents;
    if (q.next())
        for (int i = 0; i < 4; ++i)
            cents << qRound64(q.value(i).toDouble() * 100);
    return cents;
}

int settlementCount(const QString& bookPath)
{
    return scalar(bookPath, QStringLiteral("select count(*) from settlements")).toInt();
}

// The registration window over the grid's record key, opened from the tools menu.
SettlementWindow* openOn(qint64 key)
{
    if (!MainForm->DBGridEh1->listing()->locateKey(key))
        return nullptr;
    MainForm->settlementAction->trigger();
    return MainForm->findChild<SettlementWindow*>();
}

// Types the amount and presses 确 定; gives the box's text.
QString confirm(SettlementWindow* window, const QString& amount)
{
    window->amountEdit->setText(amount);
    window->okButton->click();
    return scripted().lastText();
}

} // namespace

class SettlementTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        clearSettings();
        scripted().clear();
    }

    void receiptsPaymentsAndRefusals();
    void administratorCancelsAndReportsFollow();
    void undoTakesBackARegistrationWhole();
};

void SettlementTest::receiptsPaymentsAndRefusals()
{
    MainWindowSession session;
    MainForm->loggedIn(QStringLiteral("张三"), 0);
    const QString path = session.book.bookPath();
    const QDate today = QDate::currentDate();
    const QString recordDay = today.addDays(-20).toString(Qt::ISODate);
    const qint64 sale = session.add(kIn, recordDay, QStringLiteral("销售"),
                                    QStringLiteral("华信公司"), 1000, 200, 0, 0);
    const qint64 purchase = session.add(kOut, recordDay, QStringLiteral("进货"),
                                        QStringLiteral("恒通物流"), 0, 0, 450.5, 0);
    const qint64 paidUp =
        session.add(kIn, recordDay, QStringLiteral("零售"), QStringLiteral("散客"), 80, 80, 0, 0);
    session.reload();

    // A record with nothing open and nothing registered: said, no window.
    QVERIFY(!openOn(paidUp));
    QCOMPARE(scripted().lastText(), QStringLiteral("这笔记录没有应收账款，不需要收款登记。"));

    // Ctrl+R on the current record.
    QVERIFY(MainForm->DBGridEh1->listing()->locateKey(sale));
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_R, Qt::ControlModifier);
    QPointer<SettlementWindow> window = MainForm->findChild<SettlementWindow*>();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("收款登记"));
    QCOMPARE((QStringList{window->recordDay->text(), window->recordParty->text(),
                          window->recordTotal->text(), window->recordDone->text(),
                          window->recordRest->text()}),
             (QStringList{recordDay, QStringLiteral("华信公司"), QStringLiteral("1000.00"),
                          QStringLiteral("200.00"), QStringLiteral("800.00")}));
    QCOMPARE(window->dateField->date(), today);
    QCOMPARE(window->amountEdit->text(), QStringLiteral("800.00"));

    // Refused, each with nothing stored.
    QCOMPARE(confirm(window, QStringLiteral("0")), QStringLiteral("收款金额必须大于0！"));
    QCOMPARE(confirm(window, QStringLiteral("800.01")),
             QStringLiteral("收款金额不能超过应收账款 800.00！"));
    QCOMPARE(confirm(window, QStringLiteral("1.234")),
             QStringLiteral("金额最多只能有两位小数（金额以分为单位）！"));
    QCOMPARE(confirm(window, QStringLiteral("1.2.3")),
             QStringLiteral("金额“1.2.3”不是有效的数字！"));
    window->dateField->setDate(today.addDays(-21));
    QCOMPARE(confirm(window, QStringLiteral("100")),
             QStringLiteral("收款日期不能早于这笔记录的日期 %1！").arg(recordDay));
    QCOMPARE(settlementCount(path), 0);
    QCOMPARE(amounts(path, sale), (QList<qint64>{20000, 80000, 0, 0}));
    QVERIFY(window->isVisible());

    // A partial receipt on the record's own day, then the rest today, from the grid's menu.
    const int received = MainForm->DBGridEh1->listing()->fieldIndex(QStringLiteral("2"));
    window->dateField->setDate(today.addDays(-20));
    window->noteEdit->setText(QStringLiteral("转账"));
    QCOMPARE(confirm(window, QStringLiteral("300.10")), QStringLiteral("收款登记成功！"));
    QTRY_VERIFY(!window);
    QCOMPARE(amounts(path, sale), (QList<qint64>{50010, 49990, 0, 0}));
    QCOMPARE(scalar(path,
                    QStringLiteral("select day1||'|'||amount||'|'||username||'|'||note "
                                   "from settlements where record=?"),
                    {sale})
                 .toString(),
             QStringLiteral("%1|300.1|张三|转账").arg(recordDay));
    // One batch of the change history, named and signed.
    {
        QSqlDatabase db = dmfm->writer()->connection();
        const QList<history::Entry> newest = history::find(db, {});
        QVERIFY(newest.size() >= 2);
        for (const history::Entry& e : newest.mid(0, 2)) {
            QCOMPARE(e.action, QStringLiteral("收款登记"));
            QCOMPARE(e.user, QStringLiteral("张三"));
            QCOMPARE(e.batch, newest[1].seq);
        }
        QCOMPARE(newest[0].table + u',' + newest[1].table, QStringLiteral("settlements,data"));
        // Shown in 修改记录 in words.
        QCOMPARE(history::tableName(newest[0].table), QStringLiteral("收付款登记"));
        QCOMPARE(history::columnTitle(newest[0].table, QStringLiteral("amount")),
                 QStringLiteral("金额"));
    }
    // The grid and its footer follow the write.
    QCOMPARE(MainForm->DBGridEh1->listing()->value(QStringLiteral("3")).toDouble(), 499.9);
    QCOMPARE(MainForm->DBGridEh1->footerText(received), QStringLiteral("580.1"));

    QVERIFY(MainForm->DBGridEh1->listing()->locateKey(sale));
    MainForm->settlementItem->trigger();
    window = MainForm->findChild<SettlementWindow*>();
    QVERIFY(window);
    QCOMPARE(window->amountEdit->text(), QStringLiteral("499.90"));
    QCOMPARE(window->settlementsView->rowCount(), 1);
    QCOMPARE(confirm(window, window->amountEdit->text()), QStringLiteral("收款登记成功！"));
    QTRY_VERIFY(!window);
    QCOMPARE(amounts(path, sale), (QList<qint64>{100000, 0, 0, 0}));

    // Settled in full, it still opens for its settlements, but takes no more; only the
    // administrator may cancel.
    window = openOn(sale);
    QVERIFY(window);
    QCOMPARE(window->settlementsView->rowCount(), 2);
    QVERIFY(!window->okButton->isEnabled());
    QVERIFY(!window->revokeButton->isEnabled());
    QVERIFY_THROWS_EXCEPTION(settlement::Refused,
                             settlement::cancel(*dmfm->writer(), window->target().entries[0].id,
                                                QStringLiteral("张三")));
    window->close();
    QTRY_VERIFY(!window);
    QCOMPARE(settlementCount(path), 2);

    // 付款登记 on an expense; a change by someone else meanwhile refuses and shows the new record.
    window = openOn(purchase);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("付款登记"));
    QCOMPARE(window->amountEdit->text(), QStringLiteral("450.50"));
    {
        sql::ScopedConnection other(path);
        sql::exec(other.db(), QStringLiteral("update data set b=? where id=?"),
                  {QStringLiteral("进货（改）"), purchase});
    }
    QVERIFY(confirm(window, QStringLiteral("50")).contains(QStringLiteral("已被修改")));
    QCOMPARE(settlementCount(path), 2);
    QCOMPARE(window->recordSummary->text(), QStringLiteral("进货（改）"));
    QCOMPARE(confirm(window, QStringLiteral("50")), QStringLiteral("付款登记成功！"));
    QTRY_VERIFY(!window);
    QCOMPARE(amounts(path, purchase), (QList<qint64>{0, 0, 5000, 40050}));

    // A record's settlements hold it: its paid cannot drop below them, nor its side change.
    QSqlDatabase db = dmfm->writer()->connection();
    const settlement::Target opened = settlement::read(db, purchase);
    QVERIFY_THROWS_EXCEPTION(
        settlement::Refused,
        dmfm->writer()->modify(QStringLiteral("data"), purchase, opened.row,
                               {{QStringLiteral("5"), 0.0}, {QStringLiteral("6"), 450.5}}));
    QVERIFY_THROWS_EXCEPTION(
        settlement::Refused,
        dmfm->writer()->modify(QStringLiteral("data"), purchase, opened.row,
                               {{QStringLiteral("day1"), today.addDays(1).toString(Qt::ISODate)}}));
    QCOMPARE(amounts(path, purchase), (QList<qint64>{0, 0, 5000, 40050}));
}

void SettlementTest::administratorCancelsAndReportsFollow()
{
    MainWindowSession session;
    MainForm->loggedIn(QStringLiteral("超级管理员"), 0);
    const QString path = session.book.bookPath();
    const QDate today = QDate::currentDate();
    const QDate saleDay = today.addDays(-45);
    const QDate paidDay = today.addDays(-10);
    const qint64 sale = session.add(kIn, saleDay.toString(Qt::ISODate), QStringLiteral("销售"),
                                    QStringLiteral("华信公司"), 1200, 0, 0, 0);
    session.reload();

    QSqlDatabase db = dmfm->writer()->connection();
    QPointer<SettlementWindow> window = openOn(sale);
    QVERIFY(window);
    window->dateField->setDate(paidDay);
    window->noteEdit->setText(QStringLiteral("转账"));
    QCOMPARE(confirm(window, QStringLiteral("700")), QStringLiteral("收款登记成功！"));
    QTRY_VERIFY(!window);

    // The statement: the sale, then the receipt on its day with the balance after it.
    MainForm->statementAction->trigger();
    StatementWindow* statement = MainForm->statementWindow;
    QVERIFY(statement);
    statement->partyCombo->setEditText(QStringLiteral("华信公司"));
    statement->fromDate->setDate(saleDay.addDays(-1));
    statement->toDate->setDate(today);
    statement->queryButton->click();
    const stats::StatTable& lines = statement->table();
    QCOMPARE(lines.rowCount(), 4);
    QCOMPARE(lines.value(2, 0).toString(), paidDay.toString(Qt::ISODate));
    QCOMPARE(lines.value(2, 1).toString(), QStringLiteral("收款：销售（转账）"));
    QCOMPARE(qRound64(lines.value(2, 3).toDouble() * 100), 70000);
    QCOMPARE(qRound64(lines.value(2, 4).toDouble() * 100), 50000);

    // The aging: what is open, by the sale's age.
    MainForm->agingAction->trigger();
    AgingWindow* aging = MainForm->agingWindow;
    QVERIFY(aging);
    QCOMPARE(aging->table().value(0, 0).toString(), QStringLiteral("华信公司"));
    QCOMPARE(qRound64(aging->table().value(0, 2).toDouble() * 100), 50000);
    QCOMPARE(qRound64(aging->table().value(0, 4).toDouble() * 100), 50000);

    // The cash journal: the money on the day it came.
    MainForm->cashJournalAction->trigger();
    CashJournalWindow* journal = MainForm->cashJournalWindow;
    QVERIFY(journal);
    journal->fromMonth->setDate(QDate(saleDay.year(), saleDay.month(), 1));
    journal->toMonth->setDate(QDate(today.year(), today.month(), 1));
    bool found = false;
    for (int row = 0; row < journal->table().rowCount(); ++row)
        for (int column = 0; column < journal->table().columnCount(); ++column)
            if (journal->table().value(row, column).toString() ==
                QStringLiteral("收款：销售（转账）")) {
                QCOMPARE(journal->table().value(row, 0).toString(), paidDay.toString(Qt::ISODate));
                found = true;
            }
    QVERIFY(found);

    // 撤销登记: asked first; No keeps it, Yes puts the amounts back in one step.
    window = openOn(sale);
    QVERIFY(window);
    QCOMPARE(window->settlementsView->rowCount(), 1);
    QVERIFY(window->revokeButton->isEnabled());
    window->settlementsView->selectRow(0);
    scripted().answers = {false};
    window->revokeButton->click();
    QCOMPARE(settlementCount(path), 1);
    scripted().answers = {true};
    window->revokeButton->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("撤销登记成功！"));
    QCOMPARE(history::find(db, {}).value(0).action, QStringLiteral("撤销登记"));
    QCOMPARE(settlementCount(path), 0);
    QCOMPARE(amounts(path, sale), (QList<qint64>{0, 120000, 0, 0}));
    QCOMPARE(window->settlementsView->rowCount(), 0);
    QCOMPARE(window->amountEdit->text(), QStringLiteral("1200.00"));
    window->close();

    statement->queryButton->click();
    QCOMPARE(statement->table().rowCount(), 3);
    QCOMPARE(qRound64(statement->table().value(2, 4).toDouble() * 100), 120000);
    statement->close();
    aging->close();
    journal->close();
}

void SettlementTest::undoTakesBackARegistrationWhole()
{
    MainWindowSession session;
    MainForm->loggedIn(QStringLiteral("张三"), 0);
    const QString path = session.book.bookPath();
    const qint64 sale =
        session.add(kIn, QDate::currentDate().addDays(-5).toString(Qt::ISODate),
                    QStringLiteral("销售"), QStringLiteral("华信公司"), 1000, 200, 0, 0);
    session.reload();
    QCOMPARE(confirm(openOn(sale), QStringLiteral("300")), QStringLiteral("收款登记成功！"));
    QCOMPARE(settlementCount(path), 1);
    MainForm->undoAction->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("已撤销上一步：收款登记。"));
    QCOMPARE(settlementCount(path), 0);
    QCOMPARE(amounts(path, sale), (QList<qint64>{20000, 80000, 0, 0}));
}

QUENVALE_TEST_MAIN(SettlementTest)
#include "tst_settlement.moc"
