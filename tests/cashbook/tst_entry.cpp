// The entry panel on a real book: the amounts' rules, the checks, add, modify and delete.
#include "cashbook/listingmodel.h"
#include "data/mylib.h"
#include "entrysupport.h"

using namespace testsupport;
using namespace entrytest;

class EntryTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void workedExamplesAreStored();
    void kindChoosesTheWritablePair();
    void amountFieldsTakeDigitsAndPointsOnly();
    void checksComeInOrderAndTakeTheFocus();
    void twoAddsInARow();
    void modifyChangesTheOpenedRecordOnly();
    void deleteRemovesTheCurrentRecord();
    void cancelledQuestionsChangeNothing();
    void onlyTheTwoKindsAndWholeCentsAreStored();
    void badAmountStoresNothing();
    void panelWritesToTheBookItIsBoundTo();
    void listsAndGridFollowEachWriteExactly();
};

void EntryTest::workedExamplesAreStored()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    QVERIFY(panel()->isVisible());
    QCOMPARE(panel()->geometry(), QRect(272, 208, 401, 217));
    QCOMPARE(panel()->ComboBox1->geometry().topLeft(), QPoint(90, 18));
    QCOMPARE(panel()->Edit1->geometry().topLeft(), QPoint(263, 142));
    QCOMPARE(panel()->Button1->geometry(), QRect(120, 176, 75, 25));
    // Dragging the free surface moves the panel; a press on a label does not.
    const QPoint free(200, 205);
    QVERIFY(!panel()->childAt(free));
    QTest::mousePress(panel(), Qt::LeftButton, {}, free);
    QMouseEvent move(QEvent::MouseMove, QPointF(free + QPoint(-40, -30)),
                     panel()->mapToGlobal(QPointF(free + QPoint(-40, -30))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel(), &move);
    QTest::mouseRelease(panel(), Qt::LeftButton, {}, free + QPoint(-40, -30));
    QCOMPARE(panel()->pos(), QPoint(232, 178));
    panel()->move(272, 208);
    QVERIFY(panel()->Button1->isVisibleTo(panel()));
    QVERIFY(!panel()->Button3->isVisibleTo(panel()));
    panel()->setDate(QDate(2015, 12, 8));
    typeText(panel()->ComboBox3->lineEdit(), QStringLiteral("房租"));
    typeText(panel()->Edit9, QStringLiteral("150"));
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("150"));
    panel()->Edit13->clear();
    typeText(panel()->Edit13, QStringLiteral("100"));
    panel()->Button1->click();
    QCOMPARE(scripted().texts(), QStringList{QStringLiteral("增加数据成功！")});
    QCOMPARE(dmfm->ADOQuery15->recordCount(), 1);
    const qint64 key = dmfm->ADOQuery15->key();
    QCOMPARE(
        row(session.book.bookPath(), key),
        (QVariantList{QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("房租"),
                      QString(), 150.0, 100.0, 50.0, 0.0, 0.0, 0.0, QStringLiteral("1")}));

    typeKind(QStringLiteral("支出"));
    typeText(panel()->ComboBox3->lineEdit(), QStringLiteral("水费"));
    typeText(panel()->Edit28, QStringLiteral("200"));
    panel()->Edit1->clear();
    typeText(panel()->Edit1, QStringLiteral("120"));
    panel()->Button1->click();
    QCOMPARE(
        row(session.book.bookPath(), dmfm->ADOQuery15->key()),
        (QVariantList{QStringLiteral("支出"), QStringLiteral("2015-12-08"), QStringLiteral("水费"),
                      QString(), 0.0, 0.0, 0.0, 200.0, 120.0, 80.0, QStringLiteral("1")}));
    QCOMPARE(MainForm->DBGridEh1->footerText(9), QStringLiteral("80"));
    QVERIFY(!MainForm->ToolButton19->isEnabled());
}

void EntryTest::kindChoosesTheWritablePair()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    typeKind(QStringLiteral("支出"));
    QCOMPARE(panel()->Edit9->text(), QStringLiteral("0"));
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("0"));
    QVERIFY(panel()->Edit9->isReadOnly() && panel()->Edit13->isReadOnly());
    QCOMPARE(panel()->Edit28->text(), QString());
    QVERIFY(!panel()->Edit28->isReadOnly() && !panel()->Edit1->isReadOnly());
    QCOMPARE(panel()->Edit9->palette().color(QPalette::Base),
             panel()->palette().color(QPalette::Button));
    typeKind(QStringLiteral("收入"));
    QCOMPARE(panel()->Edit28->text(), QStringLiteral("0"));
    QVERIFY(panel()->Edit28->isReadOnly() && !panel()->Edit9->isReadOnly());
    QCOMPARE(panel()->Edit9->text(), QString());
    // A partly typed kind leaves everything as it was.
    typeKind(QStringLiteral("支"));
    QVERIFY(panel()->Edit28->isReadOnly());
    // New record after an expense state puts the panel fully into the income state.
    typeKind(QStringLiteral("支出"));
    MainForm->ToolButton7->click();
    QCOMPARE(panel()->ComboBox1->currentText(), QStringLiteral("收入"));
    QVERIFY(!panel()->Edit9->isReadOnly() && !panel()->Edit13->isReadOnly());
    QVERIFY(panel()->Edit28->isReadOnly() && panel()->Edit1->isReadOnly());
    QCOMPARE(panel()->Edit1->text(), QStringLiteral("0"));
}

void EntryTest::amountFieldsTakeDigitsAndPointsOnly()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    typeText(panel()->Edit9, QStringLiteral("1a-2 .5元,3"));
    QCOMPARE(panel()->Edit9->text(), QStringLiteral("12.53"));
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("12.53"));
    // Enter moves along the panel and presses nothing.
    QApplication::setActiveWindow(MainForm);
    panel()->Edit9->setFocus();
    QTest::keyClick(panel()->Edit9, Qt::Key_Return);
    QTRY_VERIFY(panel()->Edit13->hasFocus());
    QTest::keyClick(panel()->Edit13, Qt::Key_Return);
    QTRY_VERIFY(panel()->Edit28->hasFocus()); // read-only, still reached
    QTest::keyClick(panel()->Edit28, Qt::Key_Return);
    QTRY_VERIFY(panel()->Edit1->hasFocus());
    QTest::keyClick(panel()->Edit1, Qt::Key_Return);
    QVERIFY(panel()->Edit1->hasFocus());
    QTest::keyClick(panel()->ComboBox2->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(panel()->Edit9->hasFocus());
    QVERIFY(scripted().shown.isEmpty());
    QCOMPARE(count(session.book.bookPath()), 0);
}

void EntryTest::checksComeInOrderAndTakeTheFocus()
{
    MainWindowSession session;
    QApplication::setActiveWindow(MainForm);
    MainForm->ToolButton7->click();
    panel()->ComboBox1->setEditText(QString());
    panel()->Edit28->clear();
    panel()->Edit1->clear();
    struct Step
    {
        QWidget* field;
        QString message;
        std::function<void()> fill;
    };
    const QList<Step> steps = {
        {panel()->ComboBox1, QStringLiteral("收支类别必须输入！"),
         [] { panel()->ComboBox1->setEditText(QStringLiteral("收入")); }},
        {panel()->ComboBox3, QStringLiteral("项目摘要必须输入！"),
         [] { panel()->ComboBox3->setEditText(QStringLiteral("x")); }},
        {panel()->Edit9, QStringLiteral("收入合计必须输入！"),
         [] {
             panel()->Edit9->setText(QStringLiteral("5"));
             panel()->Edit13->clear();
         }},
        {panel()->Edit13, QStringLiteral("已收金额必须输入！"),
         [] { panel()->Edit13->setText(QStringLiteral("5")); }},
        {panel()->Edit28, QStringLiteral("支出合计必须输入！"),
         [] {
             panel()->Edit28->setText(QStringLiteral("0"));
             panel()->Edit1->clear();
         }},
        {panel()->Edit1, QStringLiteral("已付金额必须输入！"),
         [] { panel()->Edit1->setText(QStringLiteral("0")); }},
    };
    for (const Step& step : steps) {
        scripted().clear();
        panel()->Button1->click();
        QCOMPARE(scripted().texts(), QStringList{step.message});
        QCOMPARE(scripted().lastKind(), QStringLiteral("warning"));
        QTRY_VERIFY(step.field->hasFocus());
        QCOMPARE(count(session.book.bookPath()), 0);
        step.fill();
    }
    scripted().clear();
    panel()->Button1->click();
    QCOMPARE(scripted().texts(), QStringList{QStringLiteral("增加数据成功！")});
    QCOMPARE(count(session.book.bookPath()), 1);
    // The counterparty and the date are not required.
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select c from data")).toString(),
             QString());
}

void EntryTest::twoAddsInARow()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    panel()->setDate(QDate(2016, 3, 4));
    for (const char* summary : {"first", "second"}) {
        panel()->ComboBox3->setEditText(QString::fromLatin1(summary));
        panel()->ComboBox2->setEditText(QStringLiteral("甲方"));
        typeText(panel()->Edit9, QStringLiteral("10"));
        panel()->Button1->click();
        // Ready for the next record: texts emptied, kind and date kept.
        QCOMPARE(panel()->ComboBox3->currentText(), QString());
        QCOMPARE(panel()->ComboBox2->currentText(), QString());
        QCOMPARE(panel()->ComboBox1->currentText(), QStringLiteral("收入"));
        QCOMPARE(panel()->DBDateTimeEditEh1->date(), QDate(2016, 3, 4));
        QCOMPARE(panel()->Edit9->text(), QString());
        QVERIFY(panel()->isVisible());
    }
    QCOMPARE(count(session.book.bookPath()), 2);
    // The lists offer what was typed.
    QCOMPARE(panel()->ComboBox3->count(), 2);
    QCOMPARE(panel()->ComboBox2->itemText(0), QStringLiteral("甲方"));
}

void EntryTest::modifyChangesTheOpenedRecordOnly()
{
    MainWindowSession session;
    const qint64 first = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                                     QStringLiteral("one"), QStringLiteral("甲"), 100, 100, 0, 0);
    const qint64 second = session.add(QStringLiteral("支出"), QStringLiteral("2015-12-02"),
                                      QStringLiteral("two"), QStringLiteral("乙"), 0, 0, 40, 10);
    session.reload();
    openRow(0);
    QVERIFY(panel()->isVisible());
    QVERIFY(panel()->Button3->isVisibleTo(panel()) && panel()->Button3->isEnabled());
    QVERIFY(!panel()->Button1->isVisibleTo(panel()));
    QCOMPARE(panel()->ComboBox3->currentText(), QStringLiteral("one"));
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("100"));
    QCOMPARE(panel()->DBDateTimeEditEh1->date(), QDate(2015, 12, 1));
    panel()->Edit13->setText(QStringLiteral("60"));
    panel()->ComboBox3->setEditText(QStringLiteral("one, changed"));
    // The operator clicks another row before confirming.
    const QRect other = MainForm->DBGridEh1->visualRect(MainForm->DBGridEh1->model()->index(1, 2));
    QTest::mouseClick(MainForm->DBGridEh1->viewport(), Qt::LeftButton, {}, other.center());
    QCOMPARE(dmfm->ADOQuery15->key(), second);
    QVERIFY(MainForm->ToolButton19->isEnabled());
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().shown[0].title, QStringLiteral("警告！"));
    QCOMPARE(scripted().shown[0].text, QStringLiteral("你确实要修改选中资料吗？"));
    QCOMPARE(scripted().lastText(), QStringLiteral("修改数据成功！"));
    QCOMPARE(row(session.book.bookPath(), first),
             (QVariantList{QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                           QStringLiteral("one, changed"), QStringLiteral("甲"), 100.0, 60.0, 40.0,
                           0.0, 0.0, 0.0, QStringLiteral("1")}));
    QCOMPARE(row(session.book.bookPath(), second).value(2).toString(), QStringLiteral("two"));
    QVERIFY(!panel()->isVisible());
    QVERIFY(!panel()->Button3->isEnabled());
    QVERIFY(!MainForm->ToolButton19->isEnabled());
    // Opening the expense record puts the panel in the expense state.
    openRow(1);
    QVERIFY(panel()->Edit9->isReadOnly());
    QCOMPARE(panel()->Edit28->text(), QStringLiteral("40"));
    QCOMPARE(panel()->Edit1->text(), QStringLiteral("10"));
}

void EntryTest::deleteRemovesTheCurrentRecord()
{
    MainWindowSession session;
    // Nothing to delete in an empty listing.
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QCOMPARE(scripted().lastText(),
             QStringLiteral("Cannot perform this operation on an empty dataset"));

    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"), QStringLiteral("one"),
                QString(), 100, 100, 0, 0);
    const qint64 last = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-02"),
                                    QStringLiteral("two"), QString(), 30, 30, 0, 0);
    session.reload();
    QCOMPARE(MainForm->DBGridEh1->footerText(4), QStringLiteral("130"));
    // Right after the listing loads, the menu deletes its last record even with the button
    // disabled.
    QVERIFY(!MainForm->ToolButton19->isEnabled());
    scripted().clear();
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(scripted().texts(), (QStringList{QStringLiteral("你真的要删除选中资料吗？"),
                                              QStringLiteral("删除数据成功！")}));
    QVERIFY(row(session.book.bookPath(), last).isEmpty());
    QCOMPARE(count(session.book.bookPath()), 1);
    QCOMPARE(MainForm->DBGridEh1->footerText(4), QStringLiteral("100"));
    QCOMPARE(MainForm->DBGridEh1->listingModel()->rowCount(), 1);
}

void EntryTest::cancelledQuestionsChangeNothing()
{
    MainWindowSession session;
    const qint64 key = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                                   QStringLiteral("one"), QString(), 100, 100, 0, 0);
    session.reload();
    const QVariantList before = row(session.book.bookPath(), key);
    openRow(0);
    panel()->ComboBox3->setEditText(QStringLiteral("changed"));
    scripted().answers = {false};
    panel()->Button3->click();
    QCOMPARE(row(session.book.bookPath(), key), before);
    QVERIFY(panel()->isVisible());
    scripted().answers = {false};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(count(session.book.bookPath()), 1);
    QCOMPARE(scripted().lastText(), QStringLiteral("你真的要删除选中资料吗？"));
    // The close picture hides the panel and clears it.
    QTest::mouseClick(panel()->Image1, Qt::LeftButton);
    QVERIFY(!panel()->isVisible());
    QVERIFY(!panel()->Button3->isEnabled());
    QCOMPARE(panel()->ComboBox3->currentText(), QString());
}

void EntryTest::onlyTheTwoKindsAndWholeCentsAreStored()
{
    MainWindowSession session;
    QApplication::setActiveWindow(MainForm);
    // Another program's kind stays listed and shown as stored, in the expense state.
    session.add(QStringLiteral("退款"), QStringLiteral("2015-12-08"),
                QStringLiteral("O'Brien's refund"), QString(), 25, 25, 0, 0);
    session.reload();
    openRow(0);
    QCOMPARE(panel()->ComboBox1->currentText(), QStringLiteral("退款"));
    QVERIFY(panel()->Edit9->isReadOnly());
    QVERIFY(!panel()->Edit28->isReadOnly());
    // A mistyped kind is refused; a word other than the two leaves the amounts alone.
    MainForm->ToolButton7->click();
    typeText(panel()->Edit9, QStringLiteral("25"));
    typeKind(QStringLiteral("收人"));
    QCOMPARE(panel()->Edit9->text(), QStringLiteral("25"));
    panel()->ComboBox3->setEditText(QStringLiteral("refund"));
    panel()->Button1->click();
    QCOMPARE(scripted().texts(), QStringList{QStringLiteral("收支类别只能是收入或支出！")});
    QTRY_VERIFY(panel()->ComboBox1->hasFocus());
    // Money has cents: a third decimal is refused, naming the field.
    typeKind(QStringLiteral("收入"));
    typeText(panel()->Edit9, QStringLiteral("1.005"));
    panel()->Edit13->setText(QStringLiteral("1"));
    panel()->Button1->click();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("收入合计最多只能有两位小数（金额以分为单位）！"));
    QTRY_VERIFY(panel()->Edit9->hasFocus());
    QCOMPARE(count(session.book.bookPath()), 1);
    panel()->Edit9->setText(QStringLiteral("1.50"));
    panel()->Button1->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("增加数据成功！"));
}

void EntryTest::badAmountStoresNothing()
{
    MainWindowSession session;
    MainForm->ToolButton7->click();
    panel()->ComboBox3->setEditText(QStringLiteral("x"));
    typeText(panel()->Edit9, QStringLiteral("1..2"));
    panel()->Button1->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QCOMPARE(scripted().lastText(), QStringLiteral("'1..2' is not a valid floating point value"));
    QCOMPARE(count(session.book.bookPath()), 0);
    QCOMPARE(dmfm->ADOTable5->state(), Dataset::State::Browse);
    // Mended, the next add works.
    panel()->Edit9->setText(QStringLiteral("1.2"));
    scripted().clear();
    panel()->Button1->click();
    QCOMPARE(scripted().texts(), QStringList{QStringLiteral("增加数据成功！")});
    QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select \"1\" from data")).toDouble(),
             1.2);
}

void EntryTest::panelWritesToTheBookItIsBoundTo()
{
    MainWindowSession session;
    QTemporaryDir otherFolder;
    const QString otherBook = otherFolder.filePath(QStringLiteral("data.mdb"));
    makeFreshBook(otherBook);
    Tdmfm other(otherBook);
    other.ADOTable5->openForAppend();

    EntryPanel standalone;
    auto fill = [&standalone] {
        standalone.newRecord();
        standalone.setDate(QDate(2016, 3, 1));
        typeText(standalone.ComboBox3->lineEdit(), QStringLiteral("租金"));
        typeText(standalone.Edit9, QStringLiteral("80"));
    };
    // Not bound to a book: the command is refused in a box, nothing is written anywhere.
    fill();
    standalone.Button1->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QCOMPARE(count(session.book.bookPath()), 0);
    QCOMPARE(count(otherBook), 0);

    // Bound to the other book, it adds and deletes there and leaves the main window's book alone.
    standalone.bind(other.ADOQuery15, other.ADOTable5, [&other] { return other.connection(); });
    scripted().clear();
    fill();
    standalone.Button1->click();
    QCOMPARE(scripted().texts(), QStringList{QStringLiteral("增加数据成功！")});
    QCOMPARE(count(otherBook), 1);
    QCOMPARE(count(session.book.bookPath()), 0);
    OpenQuery(other.ADOQuery15, QStringLiteral("select * from data order by day1"));
    scripted().answers = {true};
    standalone.deleteRecord();
    QCOMPARE(count(otherBook), 0);
}

QUENVALE_TEST_MAIN(EntryTest)
#include "tst_entry.moc"

void EntryTest::listsAndGridFollowEachWriteExactly()
{
    MainWindowSession session;
    const QString path = session.book.bookPath();
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"), QStringLiteral("共用"),
                QStringLiteral("甲"), 10, 10, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-02"), QStringLiteral("共用"),
                QStringLiteral("乙"), 20, 20, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-02"), QStringLiteral("唯一"),
                QStringLiteral("丙"), 0, 0, 5, 5);
    session.reload();
    auto sameAsBook = [&] {
        // A server book's lists are read afresh as the panel opens; a local book's follow.
        if (onServer() && !panel()->isVisible())
            MainForm->ToolButton7->click();
        QCOMPARE(items(panel()->ComboBox3),
                 bookColumn(path, QStringLiteral("select b from data group by b order by b")));
        QCOMPARE(items(panel()->ComboBox2),
                 bookColumn(path, QStringLiteral("select c from data group by c order by c")));
        QCOMPARE(keysListed(),
                 bookColumn(path, QStringLiteral("select id from data order by day1, id")));
    };
    MainForm->ToolButton7->click(); // the lists are read as the panel opens
    sameAsBook();
    // An add on a tied day with a new summary and a known counterparty.
    scripted().answers = {true, true, true, true};
    panel()->setDate(QDate(2015, 12, 2));
    panel()->ComboBox3->setEditText(QStringLiteral("新摘要"));
    panel()->ComboBox2->setEditText(QStringLiteral("甲"));
    typeText(panel()->Edit9, QStringLiteral("7"));
    panel()->Button1->click();
    sameAsBook();
    QCOMPARE(dmfm->ADOQuery15->text(QStringLiteral("b")), QStringLiteral("新摘要"));
    // A change that takes the only record of 唯一 and of 丙 elsewhere, to an earlier day.
    dmfm->ADOQuery15->moveTo(2);
    QCOMPARE(dmfm->ADOQuery15->text(QStringLiteral("b")), QStringLiteral("唯一"));
    panel()->openForModify();
    panel()->ComboBox3->setEditText(QStringLiteral("改后"));
    panel()->ComboBox2->setEditText(QStringLiteral("丁"));
    panel()->setDate(QDate(2015, 11, 30));
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("修改数据成功！"));
    sameAsBook();
    QVERIFY(!items(panel()->ComboBox3).contains(QStringLiteral("唯一")));
    // Deleting one of two 共用 records keeps the name; deleting 乙's only record drops it.
    dmfm->ADOQuery15->moveTo(2);
    QCOMPARE(dmfm->ADOQuery15->text(QStringLiteral("c")), QStringLiteral("乙"));
    MainForm->ToolButton19Click();
    sameAsBook();
    QVERIFY(items(panel()->ComboBox3).contains(QStringLiteral("共用")));
    QCOMPARE(MainForm->DBGridEh1->footerText(4), QStringLiteral("17"));
}
