// The shared routines for required fields and combo lists.
#include "data/dm.h"
#include "data/sql.h"
#include "gui/formfields.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QVBoxLayout>

using namespace testsupport;

class FormFieldsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void blankFieldsWarnAndTakeFocus();
    void comboListsAreDistinctAndSorted();
    void emptyTableLeavesEmptyCombo();
};

void FormFieldsTest::blankFieldsWarnAndTakeFocus()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    auto* combo = new QComboBox(&window);
    combo->setEditable(true);
    layout->addWidget(edit);
    layout->addWidget(other);
    layout->addWidget(combo);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    other->setFocus();
    edit->setText(QStringLiteral("   \t "));
    QVERIFY(!RequireEditText(edit, QStringLiteral("必须输入密码！")));
    QCOMPARE(scripted().shown.size(), 1);
    QCOMPARE(scripted().shown[0].kind, QStringLiteral("warning"));
    QCOMPARE(scripted().shown[0].title, QStringLiteral("Warning"));
    QCOMPARE(scripted().shown[0].text, QStringLiteral("必须输入密码！"));
    QTRY_COMPARE(QApplication::focusWidget(), edit);

    edit->setText(QStringLiteral(" x "));
    QVERIFY(RequireEditText(edit, QStringLiteral("unused")));
    QCOMPARE(scripted().shown.size(), 1);

    other->setFocus();
    combo->setEditText(QStringLiteral("  "));
    QVERIFY(!RequireComboText(combo, QStringLiteral("必须选择用户！")));
    QCOMPARE(scripted().lastText(), QStringLiteral("必须选择用户！"));
    QTRY_VERIFY(combo->hasFocus());
    // A typed name counts as much as a chosen one.
    combo->setEditText(QStringLiteral("张三"));
    QVERIFY(RequireComboText(combo, QStringLiteral("unused")));
}

void FormFieldsTest::comboListsAreDistinctAndSorted()
{
    BookFolder book;
    for (const char* name : {"b", "a'x", "b", "c"})
        insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                     QString::fromUtf8(name), QString(), 1, 1, 0, 0);
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                 QStringLiteral("a"), QStringLiteral("甲"), 1, 1, 0, 0);
    Tdmfm dm;
    QComboBox combo;
    combo.setEditable(true);
    combo.addItem(QStringLiteral("old"));
    combo.setEditText(QStringLiteral("typed"));
    FillComboFromColumn(dm.ADOQuery1, QStringLiteral("b"), QStringLiteral("data"), &combo);
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i);
    QCOMPARE(items, (QStringList{QStringLiteral("a"), QStringLiteral("a'x"), QStringLiteral("b"),
                                 QStringLiteral("c")}));
    QCOMPARE(combo.currentText(), QString());
    // Null counterparties give one empty item.
    FillComboFromColumn(dm.ADOQuery1, QStringLiteral("c"), QStringLiteral("data"), &combo);
    QCOMPARE(combo.count(), 2);
    QCOMPARE(combo.itemText(0), QString());
    QCOMPARE(combo.itemText(1), QStringLiteral("甲"));
    // The query is left open past its last row.
    QVERIFY(dm.ADOQuery1->isOpen());
    QVERIFY(dm.ADOQuery1->eof());

    // Past a thousand names the index is walked instead of hopped: the same list either way,
    // in the book's byte order.
    auto listed = [&](const QString& column) {
        FillComboFromColumn(dm.ADOQuery1, column, QStringLiteral("data"), &combo);
        QStringList texts;
        for (int i = 0; i < combo.count(); ++i)
            texts << combo.itemText(i);
        return texts;
    };
    auto grouped = [&](const QString& column) {
        sql::ScopedConnection conn(book.bookPath());
        QSqlQuery q = sql::exec(conn.db(), QStringLiteral("select %1 from data group by %1 order "
                                                          "by %1")
                                               .arg(column));
        QStringList texts;
        while (q.next())
            texts << q.value(0).toString();
        return texts;
    };
    {
        sql::ScopedConnection conn(book.bookPath());
        sql::Transaction transaction(conn.db());
        for (int i = 0; i < 1200; ++i)
            sql::exec(conn.db(), QStringLiteral("insert into data (b,c) values (?,?)"),
                      {QStringLiteral("名%1").arg(i),
                       i % 3 ? QStringLiteral("ä%1").arg(i % 7) : QStringLiteral("Z")});
        transaction.commit();
    }
    QCOMPARE(listed(QStringLiteral("c")), grouped(QStringLiteral("c")));
    QCOMPARE(listed(QStringLiteral("c")).size(), 10); // null, 甲, Z and ä0..ä6
    QCOMPARE(listed(QStringLiteral("b")), grouped(QStringLiteral("b")));
    QCOMPARE(listed(QStringLiteral("b")).size(), 1204);
}

void FormFieldsTest::emptyTableLeavesEmptyCombo()
{
    BookFolder book;
    Tdmfm dm;
    QComboBox combo;
    combo.setEditable(true);
    combo.addItems({QStringLiteral("x"), QStringLiteral("y")});
    FillComboFromColumn(dm.ADOQuery1, QStringLiteral("c"), QStringLiteral("data"), &combo);
    QCOMPARE(combo.count(), 0);
    QCOMPARE(combo.currentText(), QString());
}

QUENVALE_TEST_MAIN(FormFieldsTest)
#include "tst_formfields.moc"
