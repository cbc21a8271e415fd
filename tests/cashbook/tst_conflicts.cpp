// Two copies on one book: a change or a delete of a record another user changed or deleted
// since it was opened writes nothing, says what the record holds now and reads the listing
// again. The other copy writes as sqlite3 or psql would, through a connection of its own.
#include "cashbook/listingmodel.h"
#include "data/bookwriter.h"
#include "data/errors.h"
#include "entrysupport.h"

using namespace testsupport;
using namespace entrytest;

class ConflictTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void modifyOverAnotherUsersChangeIsRefused();
    void deleteOfAChangedOrDeletedRecordIsRefused();
    void keysOfDeletedRecordsAreNeverGivenAgain();
    void undoTakesBackOwnStepsUnlessChangedSince();
};

void ConflictTest::modifyOverAnotherUsersChangeIsRefused()
{
    MainWindowSession session;
    const QString path = session.book.bookPath();
    const qint64 key = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                                   QStringLiteral("货款"), QStringLiteral("甲"), 1000, 400, 0, 0);
    session.reload();
    openRow(0);
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("400"));
    // The other copy records that the rest was paid.
    scalar(path, QStringLiteral("update data set \"2\"=1000, \"3\"=0 where id=?"), {key});
    panel()->Edit13->setText(QStringLiteral("500"));
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QVERIFY2(scripted().lastText().startsWith(
                 QStringLiteral("该记录已被其他用户修改，未作修改。现在的内容：")),
             qPrintable(scripted().lastText()));
    QVERIFY2(scripted().lastText().contains(QStringLiteral("已收金额：1000.00")),
             qPrintable(scripted().lastText()));
    QCOMPARE(row(path, key).mid(4, 3), (QVariantList{1000.0, 1000.0, 0.0}));
    // The listing was read again; the panel keeps what was typed for the operator to decide.
    QVERIFY(dmfm->ADOQuery15->locateKey(key));
    QCOMPARE(dmfm->ADOQuery15->text(QStringLiteral("2")), QStringLiteral("1000"));
    QVERIFY(panel()->isVisible());
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("500"));
    // Clicked again, knowing what the book holds, the change is written.
    scripted().clear();
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("修改数据成功！"));
    QCOMPARE(row(path, key).mid(4, 3), (QVariantList{1000.0, 500.0, 500.0}));

    // A record deleted meanwhile: nothing is added back, the panel closes.
    openRow(0);
    scalar(path, QStringLiteral("delete from data where id=?"), {key});
    scripted().clear();
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("该记录已被其他用户删除，已不在账本中，未作修改。"));
    QCOMPARE(count(path), 0);
    QVERIFY(!panel()->isVisible());
    QCOMPARE(MainForm->DBGridEh1->listingModel()->rowCount(), 0);
}

void ConflictTest::deleteOfAChangedOrDeletedRecordIsRefused()
{
    MainWindowSession session;
    const QString path = session.book.bookPath();
    const qint64 first = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                                     QStringLiteral("one"), QStringLiteral("甲"), 100, 100, 0, 0);
    const qint64 second = session.add(QStringLiteral("支出"), QStringLiteral("2015-12-02"),
                                      QStringLiteral("two"), QStringLiteral("乙"), 0, 0, 40, 40);
    session.reload();
    // The listing's last record is current; the other copy changes its summary.
    scalar(path, QStringLiteral("update data set b='two, changed' where id=?"), {second});
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QVERIFY2(scripted().lastText().startsWith(
                 QStringLiteral("该记录已被其他用户修改，未作删除。现在的内容：")),
             qPrintable(scripted().lastText()));
    QVERIFY(scripted().lastText().contains(QStringLiteral("two, changed")));
    QCOMPARE(count(path), 2);
    // The listing shows the change now; deleting what is shown works.
    dmfm->ADOQuery15->last();
    QCOMPARE(dmfm->ADOQuery15->text(QStringLiteral("b")), QStringLiteral("two, changed"));
    scripted().clear();
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("删除数据成功！"));
    QCOMPARE(count(path), 1);

    // Deleted by the other copy first: said so, the listing read again.
    scalar(path, QStringLiteral("delete from data where id=?"), {first});
    scripted().clear();
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("该记录已被其他用户删除，已不在账本中，未作删除。"));
    QCOMPARE(MainForm->DBGridEh1->listingModel()->rowCount(), 0);
}

void ConflictTest::keysOfDeletedRecordsAreNeverGivenAgain()
{
    MainWindowSession session;
    const QString path = session.book.bookPath();
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"), QStringLiteral("one"),
                QString(), 1, 1, 0, 0);
    const qint64 newest = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-02"),
                                      QStringLiteral("two"), QString(), 2, 2, 0, 0);
    session.reload();
    openRow(1);
    // The other copy deletes the newest record and adds one: it gets a key of its own.
    scalar(path, QStringLiteral("delete from data where id=?"), {newest});
    const qint64 added = insertRecord(path, QStringLiteral("收入"), QStringLiteral("2015-12-03"),
                                      QStringLiteral("three"), QString(), 3, 3, 0, 0);
    QVERIFY(added > newest);
    panel()->ComboBox3->setEditText(QStringLiteral("two, changed"));
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("该记录已被其他用户删除，已不在账本中，未作修改。"));
    QCOMPARE(row(path, added).value(2).toString(), QStringLiteral("three"));
}

void ConflictTest::undoTakesBackOwnStepsUnlessChangedSince()
{
    MainWindowSession session;
    const QString path = session.book.bookPath();
    const qint64 sale = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"),
                                    QStringLiteral("货款"), QStringLiteral("甲"), 1000, 400, 0, 0);
    const qint64 rent = session.add(QStringLiteral("支出"), QStringLiteral("2015-12-02"),
                                    QStringLiteral("租金"), QStringLiteral("乙"), 0, 0, 300, 300);
    session.reload();
    const QVariantList rentStored = row(path, rent);
    QAction* undo = MainForm->undoAction;
    QCOMPARE(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    // Records another program added are no step of this run; Ctrl+Z on the grid asks.
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    MainForm->DBGridEh1->setFocus();
    QTest::keyClick(MainForm->DBGridEh1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(scripted().lastText(), QStringLiteral("没有可以撤销的操作。"));

    openRow(0);
    // In a text field Ctrl+Z takes back the typing only.
    scripted().clear();
    panel()->Edit13->setFocus();
    panel()->Edit13->selectAll();
    QTest::keyClicks(panel()->Edit13, QStringLiteral("9"));
    QTest::keyClick(panel()->Edit13, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(panel()->Edit13->text(), QStringLiteral("400"));
    QCOMPARE(scripted().lastText(), QString());
    panel()->Edit13->setText(QStringLiteral("500"));
    scripted().answers = {true};
    panel()->Button3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("修改数据成功！"));
    dmfm->ADOQuery15->last();
    scripted().answers = {true};
    MainForm->DBGridEh1->N4->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("删除数据成功！"));
    QCOMPARE(count(path), 1);

    // Newest first: the delete comes back under its key with every value, then the old amounts.
    undo->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("已撤销上一步：删除。"));
    QCOMPARE(row(path, rent), rentStored);
    QCOMPARE(MainForm->DBGridEh1->listingModel()->rowCount(), 2);
    undo->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("已撤销上一步：修改。"));
    QCOMPARE(row(path, sale).mid(4, 3), (QVariantList{1000.0, 400.0, 600.0}));
    QCOMPARE(bookColumn(path, QStringLiteral("select action from changes order by seq desc")),
             (QStringList{QStringLiteral("撤销"), QStringLiteral("撤销"), QStringLiteral("删除"),
                          QStringLiteral("修改")}));
    undo->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("没有可以撤销的操作。"));

    // Changed by the other copy since: refused, nothing written, and the step is gone.
    dmfm->ADOQuery15->first();
    openRow(0);
    panel()->Edit13->setText(QStringLiteral("700"));
    scripted().answers = {true};
    panel()->Button3->click();
    scalar(path, QStringLiteral("update data set \"2\"=1000, \"3\"=0 where id=?"), {sale});
    undo->trigger();
    QVERIFY2(scripted().lastText().startsWith(
                 QStringLiteral("不能撤销上一步“修改”：该记录已被其他用户修改，未作修改。")),
             qPrintable(scripted().lastText()));
    QCOMPARE(row(path, sale).mid(4, 3), (QVariantList{1000.0, 1000.0, 0.0}));
    QVERIFY(dmfm->ADOQuery15->locateKey(sale));
    QCOMPARE(dmfm->ADOQuery15->text(QStringLiteral("2")), QStringLiteral("1000"));
    undo->trigger();
    QCOMPARE(scripted().lastText(), QStringLiteral("没有可以撤销的操作。"));
}

QUENVALE_TEST_MAIN(ConflictTest)
#include "tst_conflicts.moc"
