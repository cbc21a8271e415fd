// A day's work at the keyboard: figures shown whole and exact, Tab and typed dates that work,
// user management that follows the keys, modify after a search, failures explained in Chinese.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/listingmodel.h"
#include "cashbook/printsettings.h"
#include "cashbook/recordgrid.h"
#include "cashbook/reportlayout.h"
#include "data/dm.h"
#include "data/passwords.h"
#include "data/sql.h"
#include "testsupport.h"
#include "users/usergl.h"

using namespace testsupport;

namespace {

EntryPanel* panel()
{
    return MainForm->Panel3;
}

// Many rows in one transaction: a listing whose sums a float total gets wrong.
void insertIncomes(const QString& bookPath, const QList<double>& amounts)
{
    sql::ScopedConnection conn(bookPath);
    sql::Transaction transaction(conn.db());
    for (double amount : amounts)
        sql::exec(
            conn.db(),
            QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                           "values ('收入','2024-05-01','货款','甲',?,?,0,0,0,0,'1')"),
            {amount, amount});
    transaction.commit();
}

QString textOf(const QString& bookPath, qint64 key, const QString& column)
{
    return scalar(bookPath,
                  QStringLiteral("select ") + column + QStringLiteral(" from data where id=?"),
                  {key})
        .toString();
}

void focusAndWait(QWidget* w)
{
    w->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w->window()));
    w->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), w);
}

} // namespace

class DailyUseTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void footerSumsAreExactToTheCent();
    void figuresAreNeverCut();
    void bigListingIsShownAtOnceAndSummedWhenAllIsRead();
    void amountsBeyondTwelveDigitsAreRefused();
    void tabLeavesAmountAndPasswordFields();
    void typedFullDateIsStored();
    void dateThatIsNoDateIsNeverDropped();
    void userManagementFollowsTheKeys();
    void modifyAfterSearchWritesByKey();
    void systemFailuresAreExplainedInChinese();
};

void DailyUseTest::footerSumsAreExactToTheCent()
{
    MainWindowSession session;
    // Summed as doubles these show 239.999999999999.
    QList<double> amounts(300, 0.1);
    amounts << QList<double>(300, 0.7);
    insertIncomes(session.book.bookPath(), amounts);
    session.reload();
    RecordGrid* grid = MainForm->DBGridEh1;
    QCOMPARE(grid->footerText(4), QStringLiteral("240"));
    QCOMPARE(grid->footerText(5), QStringLiteral("240"));
    // A deleted row takes its amount off exactly.
    dmfm->ADOQuery15->first();
    dmfm->ADOQuery15->deleteCurrent();
    QCOMPARE(grid->footerText(4), QStringLiteral("239.9"));
    // A sort keeps the sums it does not change; a modified amount moves them.
    dmfm->ADOQuery15->setSort(QStringLiteral("1 DESC"));
    QCOMPARE(grid->footerText(4), QStringLiteral("239.9"));
    dmfm->ADOQuery15->first();
    dmfm->ADOQuery15->edit();
    dmfm->ADOQuery15->setValue(QStringLiteral("1"), 100.1);
    dmfm->ADOQuery15->post();
    QCOMPARE(grid->footerText(4), QStringLiteral("339.3"));
}

void DailyUseTest::bigListingIsShownAtOnceAndSummedWhenAllIsRead()
{
    MainWindowSession session;
    QList<double> amounts(300, 0.1);
    amounts << QList<double>(300, 0.7);
    insertIncomes(session.book.bookPath(), amounts);
    const FillFrom small(1, 50);
    session.reload();
    RecordGrid* grid = MainForm->DBGridEh1;
    Dataset* listing = dmfm->ADOQuery15;
    // The last record current and shown; never the sum of only the rows read so far.
    QVERIFY(listing->isFilling());
    QCOMPARE(listing->recNo(), 600);
    QCOMPARE(grid->listingModel()->displayText(599, 4), QStringLiteral("0.7"));
    QCOMPARE(grid->listingModel()->displayText(0, 4), QString());
    QCOMPARE(grid->footerText(4), QString());
    // The balance asked for meanwhile is the book's, and nothing is read for it.
    MainForm->Button7->click();
    QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：240.00(240.00)"));
    QVERIFY(listing->isFilling());
    QCOMPARE(grid->footerText(4), QStringLiteral("240")); // the book's figures, shown meanwhile
    // A report taken meanwhile holds every row and the sums of all.
    const report::Content content = printSettings(MainForm)->content();
    QCOMPARE(content.rows.size(), 600);
    QCOMPARE(content.rows.first().value(4), QStringLiteral("0.1"));
    QCOMPARE(content.footer.value(4), QStringLiteral("240"));

    // Read again after another program's write: the footer follows once all is read.
    insertIncomes(session.book.bookPath(), {1});
    session.reload();
    QVERIFY(listing->isFilling());
    QCOMPARE(grid->listingModel()->displayText(600, 4), QStringLiteral("1"));
    QTRY_COMPARE(grid->footerText(4), QStringLiteral("241"));
    QCOMPARE(grid->listingModel()->displayText(0, 4), QStringLiteral("0.1"));
}

void DailyUseTest::figuresAreNeverCut()
{
    MainWindowSession session;
    insertIncomes(session.book.bookPath(), {1234567.89, 25000});
    session.reload();
    RecordGrid* grid = MainForm->DBGridEh1;
    QCOMPARE(grid->footerText(4), QStringLiteral("1259567.89"));
    const QFontMetrics metrics(grid->font());
    for (int column : {4, 5}) {
        // The footer draws 3 pixels in from each edge; a cell 3 and the grid line.
        QVERIFY2(metrics.horizontalAdvance(grid->footerText(column)) + 6 <=
                     grid->columnWidth(column),
                 qPrintable(QString::number(grid->columnWidth(column))));
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("1234567.89")) + 7 <=
                grid->columnWidth(column));
    }

    // On paper: the printed total and the cell stay on one line in their columns.
    TPrintDBGridEh* settings = printSettings(MainForm);
    const report::Content content = settings->content();
    QCOMPARE(content.footer.value(4), QStringLiteral("1259567.89"));
    for (report::FitMode mode :
         {report::FitMode::ScaleWholeGrid, report::FitMode::ChangeColumnWidths}) {
        report::Options options = settings->options;
        options.fitMode = mode;
        const report::Layout layout = report::paginate(content, options, QSizeF(794, 1123));
        const QFont font = report::printFont(options.fontName, content.gridFontPixels);
        const QFontMetricsF printed(font);
        for (int column : {4, 5}) {
            QVERIFY(printed.horizontalAdvance(content.footer.value(column)) + 6 <=
                    layout.widths[column]);
            QVERIFY(printed.horizontalAdvance(content.rows[0].value(column)) + 6 <=
                    layout.widths[column]);
        }
        QVERIFY(layout.footerHeight < 2 * printed.height()); // the total is not wrapped
    }
}

void DailyUseTest::amountsBeyondTwelveDigitsAreRefused()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    panel()->ComboBox3->setEditText(QStringLiteral("大额"));
    panel()->Edit9->setText(QStringLiteral("1000000000000"));
    panel()->Button1->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("warning"));
    QCOMPARE(scripted().lastText(), QStringLiteral("收入合计超出范围：金额的整数部分最多12位！"));
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select count(*) from data")).toInt(),
             0);
    panel()->Edit9->setText(QStringLiteral("999999999999.99"));
    panel()->Button1->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("增加数据成功！"));
    QCOMPARE(MainForm->DBGridEh1->footerText(4), QStringLiteral("999999999999.99"));
}

void DailyUseTest::tabLeavesAmountAndPasswordFields()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    QLineEdit* amount = panel()->Edit9;
    focusAndWait(amount);
    QTest::keyClicks(amount, QStringLiteral("12"));
    QTest::keyClick(amount, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != amount);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("34"));
    QCOMPARE(amount->text(), QStringLiteral("12"));
    focusAndWait(amount);
    QTest::keyClick(amount, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(QApplication::focusWidget() != amount);
    // Pasted text obeys the typing rule.
    QGuiApplication::clipboard()->setText(QStringLiteral("-5"));
    amount->paste();
    QCOMPARE(amount->text(), QStringLiteral("12"));

    MainForm->N13Click();
    Tuserglfm* users = MainForm->userglfm;
    QLineEdit* password = users->LabeledEdit1;
    focusAndWait(password);
    QTest::keyClicks(password, QStringLiteral("ab"));
    QTest::keyClick(password, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != password);
    QCOMPARE(password->text(), QStringLiteral("ab"));
}

void DailyUseTest::typedFullDateIsStored()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    QDateEdit* date = panel()->DBDateTimeEditEh1;
    date->setDate(QDate(2026, 4, 15));
    // Keyboard first: Tab into the date from the kind, type last year's date, Enter.
    focusAndWait(panel()->ComboBox1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), date);
    QTest::keyClicks(date, QStringLiteral("2025-03-09"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(date->date(), QDate(2025, 3, 9));
    QCOMPARE(QApplication::focusWidget(), panel()->ComboBox3); // Enter moved on
    // Backspacing into the year and typing it anew.
    focusAndWait(date);
    date->findChild<QLineEdit*>(QStringLiteral("qt_spinbox_lineedit"))->setCursorPosition(4);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("2024"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(date->date(), QDate(2024, 3, 9));
    QVERIFY(QApplication::focusWidget() != date);
    panel()->ComboBox3->setEditText(QStringLiteral("补记"));
    panel()->Edit9->setText(QStringLiteral("5"));
    panel()->Button1->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("增加数据成功！"));
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select day1 from data")).toString(),
             QStringLiteral("2024-03-09"));
}

void DailyUseTest::dateThatIsNoDateIsNeverDropped()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QString(), QStringLiteral("undated"), QString(), 1, 1, 0,
                0);
    session.reload();
    MainForm->ToolButton7->click();
    focusAndWait(panel()->DBDateTimeEditEh1);
    QTest::keyClicks(panel()->DBDateTimeEditEh1, QStringLiteral("2015-02-30"));
    panel()->ComboBox3->setEditText(QStringLiteral("补记"));
    panel()->Edit9->setText(QStringLiteral("5"));
    // The mouse ends the typing; the text stays, and the add reads it.
    QTest::mouseClick(panel()->Button1, Qt::LeftButton);
    QCOMPARE(scripted().texts(), QStringList{QStringLiteral("'2015-02-30' is not a valid date")});
    // The quick query's dates alike: the listing stays as it was.
    MainForm->CheckBox7->setChecked(true);
    focusAndWait(MainForm->DBDateTimeEditEh3);
    QTest::keyClicks(MainForm->DBDateTimeEditEh3, QStringLiteral("2015-13-01"));
    QTest::mouseClick(MainForm->Button2, Qt::LeftButton);
    QCOMPARE(scripted().lastText(), QStringLiteral("'2015-13-01' is not a valid date"));
    QCOMPARE(dmfm->ADOQuery15->recordCount(), 1);
    // A stored day that is no date opens as it is, never as the date shown before.
    MainForm->DBGridEh1->N3->trigger();
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("'' is not a valid date"));
}

void DailyUseTest::userManagementFollowsTheKeys()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    MainForm->N13Click();
    Tuserglfm* window = MainForm->userglfm;
    window->LabeledEdit1->setText(QStringLiteral("574"));
    window->BitBtn3->click();
    for (const QString& name : {QStringLiteral("alice"), QStringLiteral("bob")}) {
        window->Edit6->setText(name);
        window->BitBtn7->click();
    }
    {
        sql::ScopedConnection conn(book);
        sql::exec(conn.db(), QStringLiteral("update userdb set passwd=?"),
                  {passwords::hash(QStringLiteral("secret"))});
    }
    QListWidget* list = window->ListBox1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QCOMPARE(window->Edit5->text(), QStringLiteral("超级管理员"));
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("bob"));
    QCOMPARE(window->Edit5->text(), QStringLiteral("bob"));
    // The passwords were changed elsewhere after the list showed them: refused once, then the
    // list is read again and the reset goes to bob.
    window->BitBtn5->click();
    QVERIFY(scripted().lastText().startsWith(
        QStringLiteral("用户“bob”在用户列表显示之后已被其他用户修改")));
    QCOMPARE(window->Edit5->text(), QStringLiteral("bob"));
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("已经成功将密码初始化为：574"));
    auto passwordOf = [&book](const QString& name) {
        return scalar(book, QStringLiteral("select passwd from userdb where username=?"), {name})
            .toString();
    };
    QVERIFY(passwords::verify(passwordOf(QStringLiteral("bob")), QStringLiteral("574")));
    QVERIFY(passwords::verify(passwordOf(QStringLiteral("alice")), QStringLiteral("secret")));
}

void DailyUseTest::modifyAfterSearchWritesByKey()
{
    MainWindowSession session;
    const qint64 opened = session.add(QStringLiteral("收入"), QStringLiteral("2024-05-01"),
                                      QStringLiteral("房租"), QStringLiteral("甲"), 300, 300, 0, 0);
    const qint64 other = session.add(QStringLiteral("收入"), QStringLiteral("2024-05-02"),
                                     QStringLiteral("货款"), QStringLiteral("乙"), 50, 50, 0, 0);
    session.reload();
    dmfm->ADOQuery15->first();
    MainForm->DBGridEh1->recordChosen();
    QCOMPARE(panel()->openedKey(), opened);
    panel()->ComboBox3->setEditText(QStringLiteral("房租（五月）"));
    panel()->Edit9->setText(QStringLiteral("320"));
    // A search that leaves the opened record out of the listing.
    MainForm->Edit24->setText(QStringLiteral("货款"));
    MainForm->Button2Click();
    QCOMPARE(dmfm->ADOQuery15->recordCount(), 1);
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("修改数据成功！"));
    QCOMPARE(textOf(session.book.bookPath(), opened, QStringLiteral("b")),
             QStringLiteral("房租（五月）"));
    QCOMPARE(textOf(session.book.bookPath(), opened, QStringLiteral("\"1\"")).toDouble(), 320.0);
    QCOMPARE(textOf(session.book.bookPath(), other, QStringLiteral("b")), QStringLiteral("货款"));
    QCOMPARE(MainForm->DBGridEh1->footerText(4), QStringLiteral("370"));
}

void DailyUseTest::systemFailuresAreExplainedInChinese()
{
    MainWindowSession session;
    auto addRecord = [] {
        MainForm->ToolButton7->click();
        panel()->ComboBox3->setEditText(QString(6000, u'长'));
        panel()->Edit9->setText(QStringLiteral("1"));
        panel()->Button1->click();
    };
    QSqlDatabase db = dmfm->connection();
    // A full disk: the book may not grow by another page.
    QSqlQuery count = sql::exec(db, QStringLiteral("pragma page_count"));
    QVERIFY(count.next());
    sql::exec(db, QStringLiteral("pragma max_page_count=%1").arg(count.value(0).toInt()));
    addRecord();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QVERIFY2(scripted().lastText().startsWith(QStringLiteral("磁盘空间已满")) &&
                 scripted().lastText().contains(QStringLiteral("database or disk is full")),
             qPrintable(scripted().lastText()));
    sql::exec(db, QStringLiteral("pragma max_page_count=1073741823"));
    // A book that may not be written.
    sql::exec(db, QStringLiteral("pragma query_only=1"));
    addRecord();
    QVERIFY2(scripted().lastText().contains(QStringLiteral("只读")) &&
                 scripted().lastText().contains(QStringLiteral("readonly database")),
             qPrintable(scripted().lastText()));
    sql::exec(db, QStringLiteral("pragma query_only=0"));
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select count(*) from data")).toInt(),
             0);
}

QUENVALE_TEST_MAIN(DailyUseTest)
#include "tst_dailyuse.moc"
