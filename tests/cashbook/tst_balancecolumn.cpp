// The running balance column and month-end closing as the operator meets them: the column
// against sums worked out here, whatever the listing's filter or sort and after each write; the
// window 月末结账 with its refusals; the entry panel in a closed month.
#include "app/mainform.h"
#include "cashbook/closingwindow.h"
#include "cashbook/entrypanel.h"
#include "cashbook/listingmodel.h"
#include "cashbook/recordgrid.h"
#include "data/bookwriter.h"
#include "data/closing.h"
#include "data/dm.h"
#include "data/formats.h"
#include "data/schema.h"
#include "data/sql.h"
#include "gui/datefield.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <map>

using namespace testsupport;

namespace {

// The balance after each record, worked out here from the book in whole cents: the opening
// balance, plus received less paid of every record in (day, key) order up to it, less what
// came before the opening balance's day.
std::map<qint64, QString> expectedBalances(const QString& book)
{
    struct Row
    {
        QString day;
        qint64 key;
        qint64 cents;
    };
    QList<Row> rows;
    qint64 opening = 0;
    QString openingDay;
    {
        sql::ScopedConnection conn(book);
        QSqlQuery q =
            sql::exec(conn.db(), QStringLiteral("select day1, id, \"2\", \"5\" from data"));
        while (q.next())
            rows.append({q.value(0).toString(), q.value(1).toLongLong(),
                         std::llround(q.value(2).toDouble() * 100) -
                             std::llround(q.value(3).toDouble() * 100)});
        QSqlQuery facts = sql::exec(conn.db(), QStringLiteral("select name, value from bookinfo"));
        while (facts.next()) {
            if (facts.value(0).toString() == u"opening_balance")
                opening = std::llround(facts.value(1).toString().toDouble() * 100);
            if (facts.value(0).toString() == u"opening_date")
                openingDay = facts.value(1).toString();
        }
    }
    std::sort(rows.begin(), rows.end(), [](const Row& l, const Row& r) {
        return l.day != r.day ? l.day < r.day : l.key < r.key;
    });
    qint64 before = 0;
    for (const Row& r : rows)
        if (r.day < openingDay)
            before += r.cents;
    std::map<qint64, QString> balances;
    qint64 sum = opening - before;
    for (const Row& r : rows) {
        sum += r.cents;
        balances[r.key] = formats::general(static_cast<double>(sum) / 100);
    }
    return balances;
}

// Every listed row's balance cell against the sums worked out here; gives the rows compared.
int compareColumn(const QString& book)
{
    const std::map<qint64, QString> expected = expectedBalances(book);
    ListingModel* model = MainForm->DBGridEh1->listingModel();
    Dataset* listing = dmfm->ADOQuery15;
    for (int row = 0; row < model->rowCount(); ++row) {
        const qint64 key = listing->keyAt(row);
        const QString cell = model->displayText(row, RecordGrid::kBalanceColumn);
        if (!expected.count(key) || cell != expected.at(key))
            qWarning("row %d key %lld shows %s", row, key, qPrintable(cell));
        if (!expected.count(key) || cell != expected.at(key))
            return -1;
    }
    return model->rowCount();
}

CashRecord record(const QString& kind, const QString& day, double total, double moved)
{
    CashRecord r;
    r.kind = kind;
    r.date = day;
    r.summary = QStringLiteral("货款");
    (kind == u"收入" ? r.income : r.expense) = total;
    (kind == u"收入" ? r.received : r.paid) = moved;
    (kind == u"收入" ? r.receivable : r.payable) = total - moved;
    return r;
}

MonthClosingWindow* openClosingWindow()
{
    MainForm->monthClosingAction->trigger();
    return MainForm->monthClosingWindow;
}

} // namespace

class BalanceColumnTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void theColumnIsTheWholeBooksBalanceWhateverTheListing();
    void theColumnFollowsEveryWrite();
    void theClosingWindowAndItsRefusals();
    void aClosedMonthRefusesThePanelsWritesAndKeepsWhatWasTyped();
};

void BalanceColumnTest::theColumnIsTheWholeBooksBalanceWhateverTheListing()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    // Ties on a day go by key; a record the quick query never lists (marker 0) still counts;
    // tenths that binary fractions cannot hold add up to whole cents.
    session.add(u"收入"_qs, u"2024-01-05"_qs, u"货款"_qs, u"甲"_qs, 100.1, 100.1, 0, 0);
    session.add(u"支出"_qs, u"2024-01-03"_qs, u"房租"_qs, u"乙"_qs, 0, 0, 20.2, 20.2);
    session.add(u"收入"_qs, u"2024-01-05"_qs, u"货款"_qs, u"丙"_qs, 0.5, 0.1, 0, 0);
    session.add(u"支出"_qs, u"2024-02-01"_qs, u"货款"_qs, u"甲"_qs, 0, 0, 0.3, 0.2);
    session.add(u"收入"_qs, u"2023-12-31"_qs, u"上年"_qs, u"丁"_qs, 1234567.89, 1234567.89, 0, 0);
    session.add(u"收入"_qs, u"2024-01-03"_qs, u"暗记"_qs, u"甲"_qs, 0.3, 0.3, 0, 0, u"0"_qs);
    closing::setOpening(*dmfm->writer(), u"50.05"_qs, u"2024-01-01"_qs);
    session.reload();
    RecordGrid* grid = MainForm->DBGridEh1;
    ListingModel* model = grid->listingModel();
    QAbstractItemModelTester tester(model);
    // Ten columns until it is ticked.
    QVERIFY(!grid->showBalanceAction->isChecked());
    QCOMPARE(model->columnCount(), 10);
    const int dateWidth = grid->columnWidth(1);
    grid->showBalanceAction->trigger();
    QCOMPARE(model->columnCount(), 11);
    // Its room comes from the summary: the dates keep theirs, the grid its width.
    QCOMPARE(grid->columnWidth(1), dateWidth);
    int shown = 0;
    for (int c = 0; c < model->columnCount(); ++c)
        shown += grid->columnWidth(c);
    QCOMPARE(shown, grid->viewport()->width());
    QCOMPARE(grid->columnTitle(RecordGrid::kBalanceColumn), QStringLiteral("结  余|余 额"));
    QVERIFY(grid->isColumnVisible(RecordGrid::kBalanceColumn));
    QVERIFY(grid->columnWidth(RecordGrid::kBalanceColumn) >=
            grid->fontMetrics().horizontalAdvance(QStringLiteral("130.35")));
    QCOMPARE(compareColumn(book), 6);
    // 2023-12-31 comes before the opening balance's day and counts backwards from it.
    Dataset* listing = dmfm->ADOQuery15;
    QCOMPARE(model->displayText(0, RecordGrid::kBalanceColumn), QStringLiteral("50.05"));
    QCOMPARE(model->displayText(5, RecordGrid::kBalanceColumn), QStringLiteral("130.15"));
    // A search and a sort show the same balances on fewer rows in another order.
    typeText(MainForm->Edit2, QStringLiteral("甲"));
    QCOMPARE(compareColumn(book), 2);
    grid->titleClick(4);
    QCOMPARE(compareColumn(book), 2);
    grid->titleClick(RecordGrid::kBalanceColumn); // the balance itself does not sort
    QCOMPARE(compareColumn(book), 2);
    MainForm->Edit2->clear();
    MainForm->Button12->click();
    grid->titleClick(1);
    QCOMPARE(compareColumn(book), 6);
    QCOMPARE(listing->recordCount(), 6);
    // The footer under it stays empty; unticked, the grid has its ten columns again.
    QCOMPARE(grid->footerText(RecordGrid::kBalanceColumn), QString());
    grid->showBalanceAction->trigger();
    QCOMPARE(model->columnCount(), 10);
    int total = 0;
    for (int c = 0; c < RecordGrid::kColumnCount; ++c)
        total += grid->columnWidth(c);
    QCOMPARE(total, grid->viewport()->width());
}

void BalanceColumnTest::theColumnFollowsEveryWrite()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    const qint64 first =
        session.add(u"收入"_qs, u"2024-03-01"_qs, u"货款"_qs, u"甲"_qs, 10, 10, 0, 0);
    const qint64 second =
        session.add(u"支出"_qs, u"2024-03-02"_qs, u"房租"_qs, u"乙"_qs, 0, 0, 4.4, 4.4);
    session.add(u"收入"_qs, u"2024-03-03"_qs, u"货款"_qs, u"丙"_qs, 7, 1, 0, 0);
    session.reload();
    RecordGrid* grid = MainForm->DBGridEh1;
    grid->showBalanceAction->trigger();
    QCOMPARE(compareColumn(book), 3);
    BookWriter* writer = dmfm->writer();
    // An add before the others moves every later balance; shown after 全部记录.
    writer->add(record(u"收入"_qs, u"2024-02-28"_qs, 0.7, 0.7));
    MainForm->Button12->click();
    QCOMPARE(compareColumn(book), 4);
    // A change of amount and of date, shown at once.
    writer->modify(first, {}, record(u"收入"_qs, u"2024-03-05"_qs, 12.34, 12.34));
    QCOMPARE(compareColumn(book), 4);
    // A settlement received on the third record: its received amount grows on its own date.
    {
        BookWriter::Batch batch(*writer);
        batch.modify(u"data"_qs, first + 2, {}, {{u"2"_qs, 7.0}, {u"3"_qs, 0.0}});
        batch.commit();
    }
    QCOMPARE(compareColumn(book), 4);
    writer->remove(second, {});
    QCOMPARE(compareColumn(book), 3);
    // The opening balance set moves them all.
    closing::setOpening(*writer, u"1000"_qs, u"2024-01-01"_qs);
    QCOMPARE(compareColumn(book), 3);
    QCOMPARE(grid->listingModel()->displayText(0, RecordGrid::kBalanceColumn), u"1000.7"_qs);
    // Another program's record shows with 全部记录, and so do the balances.
    session.add(u"支出"_qs, u"2024-01-15"_qs, u"外来"_qs, u"丁"_qs, 0, 0, 100, 99.99);
    MainForm->Button12->click();
    QCOMPARE(compareColumn(book), 4);
    // While a search is shown, another program's write: the whole listing kept aside is then
    // not what the book holds, and the balances are read from the book.
    typeText(MainForm->Edit24, QStringLiteral("货"));
    QCOMPARE(compareColumn(book), 3);
    session.add(u"收入"_qs, u"2024-01-20"_qs, u"货款"_qs, u"戊"_qs, 5.5, 5.5, 0, 0);
    writer->add(record(u"支出"_qs, u"2024-03-04"_qs, 3, 3));
    MainForm->Button2->click();
    QCOMPARE(compareColumn(book), 5);
}

void BalanceColumnTest::theClosingWindowAndItsRefusals()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    // Only the administrator: anyone else is told so and no window opens.
    MainForm->loggedIn(u"张三"_qs, 0);
    QVERIFY(!openClosingWindow());
    QCOMPARE(scripted().lastText(), QStringLiteral("只有超级管理员才能月末结账或设置期初余额。"));
    MainForm->loggedIn(QString::fromUtf16(schema::kAdministrator), 0);
    MonthClosingWindow* window = openClosingWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("月末结账"));
    QCOMPARE(window->closedLabel->text(), QStringLiteral("已结账至：（还没有结账的月份）"));
    QCOMPARE(window->monthEdit->text(),
             QDate::currentDate().addMonths(-1).toString(QStringLiteral("yyyy-MM")));
    // The opening balance: refused amounts and dates, then set.
    scripted().clear();
    window->openingEdit->setText(u"12.345"_qs);
    window->openingButton->click();
    QVERIFY(scripted().lastText().startsWith(u"期初余额“12.345”不对"));
    window->openingEdit->setText(u"300.5"_qs);
    window->openingDate->setEnteredText(u"2024-02-31"_qs);
    window->openingButton->click();
    QVERIFY(scripted().lastText().startsWith(u"期初余额的日期“2024-02-31”不对"));
    QCOMPARE(scalar(book, u"select count(*) from bookinfo where name like 'opening%'"_qs).toInt(),
             0);
    window->openingDate->setEnteredText(u"2024-01-01"_qs);
    window->openingButton->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("期初余额已设置。"));
    QCOMPARE(window->openingLabel->text(),
             QStringLiteral("账本中的期初余额：300.50，日期 2024-01-01"));
    // Months: typed wrong, after this one, then closed after the question.
    scripted().clear();
    window->monthEdit->setText(u"2024-13"_qs);
    window->closeMonthButton->click();
    QVERIFY(scripted().lastText().startsWith(u"结账月份“2024-13”不对"));
    const QString next = QDate::currentDate().addMonths(1).toString(u"yyyy-MM"_qs);
    window->monthEdit->setText(next);
    window->closeMonthButton->click();
    QVERIFY(scripted().lastText().startsWith(next + u" 还没有到"));
    window->monthEdit->setText(u"2024-02"_qs);
    scripted().answers = {false};
    window->closeMonthButton->click();
    QCOMPARE(scalar(book, u"select count(*) from bookinfo where name='closed_through'"_qs).toInt(),
             0);
    scripted().answers = {true};
    window->closeMonthButton->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("已结账至 2024-02。"));
    QCOMPARE(window->closedLabel->text(), QStringLiteral("已结账至：2024-02"));
    window->monthEdit->setText(u"2024-01"_qs);
    window->closeMonthButton->click();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("2024-01 已经结账（已结账至 2024-02），不用再结账。"));
    // The opening balance waits for a reopening; 反结账 asks first.
    window->openingEdit->setText(u"1"_qs);
    window->openingButton->click();
    QVERIFY(scripted().lastText().startsWith(u"已结账至 2024-02，不能修改期初余额"));
    scripted().answers = {true};
    window->reopenButton->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("2024-02 已反结账。"));
    QCOMPARE(window->closedLabel->text(), QStringLiteral("已结账至：（还没有结账的月份）"));
    window->reopenButton->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("还没有结账的月份，不用反结账。"));
    // Ctrl+M brings the open window forward instead of a second one.
    MainForm->monthClosingAction->trigger();
    QCOMPARE(MainForm->monthClosingWindow, window);
}

void BalanceColumnTest::aClosedMonthRefusesThePanelsWritesAndKeepsWhatWasTyped()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    const qint64 feb =
        session.add(u"收入"_qs, u"2024-02-10"_qs, u"二月"_qs, u"甲"_qs, 20, 20, 0, 0);
    session.add(u"收入"_qs, u"2024-03-10"_qs, u"三月"_qs, u"乙"_qs, 30, 30, 0, 0);
    session.reload();
    closing::close(*dmfm->writer(), u"2024-02"_qs);
    const QString refused = QStringLiteral("2024-02 已结账，不能增加、修改或删除该月的记录。");
    EntryPanel* panel = MainForm->Panel3;
    // A new record dated in February: refused, nothing written, the typing kept.
    MainForm->ToolButton7->click();
    panel->setDate(QDate(2024, 2, 20));
    panel->ComboBox3->setEditText(u"补记"_qs);
    typeText(panel->Edit9, u"15"_qs);
    panel->Button1->click();
    QCOMPARE(scripted().lastText(), refused);
    QCOMPARE(scalar(book, u"select count(*) from data"_qs).toInt(), 2);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->ComboBox3->currentText(), u"补记"_qs);
    QCOMPARE(panel->Edit9->text(), u"15"_qs);
    // Dated in March it goes in.
    panel->setDate(QDate(2024, 3, 20));
    panel->Button1->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("增加数据成功！"));
    QCOMPARE(scalar(book, u"select count(*) from data"_qs).toInt(), 3);
    // The February record can be neither changed nor deleted.
    Dataset* listing = dmfm->ADOQuery15;
    QVERIFY(listing->locateKey(feb));
    MainForm->DBGridEh1->N3->trigger();
    panel->ComboBox3->setEditText(u"改过"_qs);
    scripted().answers = {true};
    panel->Button3->click();
    QCOMPARE(scripted().lastText(), refused);
    QCOMPARE(panel->ComboBox3->currentText(), u"改过"_qs);
    QCOMPARE(scalar(book, u"select b from data where id=?"_qs, {feb}).toString(), u"二月"_qs);
    QVERIFY(listing->locateKey(feb));
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(scripted().lastText(), refused);
    QCOMPARE(scalar(book, u"select count(*) from data where id=?"_qs, {feb}).toInt(), 1);
    QVERIFY(listing->locateKey(feb));
    // Reopened, the change goes through.
    closing::reopen(*dmfm->writer());
    MainForm->DBGridEh1->N3->trigger();
    panel->ComboBox3->setEditText(u"改过"_qs);
    scripted().answers = {true};
    panel->Button3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("修改数据成功！"));
    QCOMPARE(scalar(book, u"select b from data where id=?"_qs, {feb}).toString(), u"改过"_qs);
}

QUENVALE_TEST_MAIN(BalanceColumnTest)
#include "tst_balancecolumn.moc"
