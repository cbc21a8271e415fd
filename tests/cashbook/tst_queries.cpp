// What the grid lists: all records, the quick query as the operator types, the kind boxes,
// the date range, the month-only view, the balance line and the skins.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/formats.h"
#include "data/sql.h"
#include "settings/settings.h"
#include "skins/skins.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>

using namespace testsupport;

namespace {

QStringList listed(const QString& field = QStringLiteral("b"))
{
    QStringList values;
    Dataset* listing = dmfm->ADOQuery15;
    if (!listing->isOpen())
        return {QStringLiteral("<closed>")};
    for (int i = 0; i < listing->recordCount(); ++i)
        values << listing->valueAt(i, field).toString();
    return values;
}

QString storedSetting(const QString& name)
{
    // A fresh process would read the file; so does a fresh object after sync.
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                QStringLiteral("qvbook"));
    s.sync();
    return s.value(name).toString();
}

bool settingsFileExists()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                QStringLiteral("qvbook"));
    return QFile::exists(s.fileName());
}

} // namespace

class QueriesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        scripted().clear();
        clearSettings();
        qApp->setStyleSheet(QString());
    }
    void liveSearchNarrowsKeystrokeByKeystroke();
    void typedWildcardsAndQuotesMatchThemselves();
    void kindBoxesExcludeEachOther();
    void dateRangeIncludesBothEnds();
    void unmarkedRowsOnlyLeaveTheQuickQuery();
    void monthOnlyViewIsRemembered();
    void balanceDescribesTheListingShown();
    void allRecordsFollowsTheBookOnly();
    void enterInSearchDatesGoesToTheEntryPanel();
    void skinsAreStoredAndRestored();
};

void QueriesTest::liveSearchNarrowsKeystrokeByKeystroke()
{
    MainWindowSession session;
    for (const char* summary : {"办公用品", "办公桌", "房租", "公交卡"})
        session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                    QString::fromUtf8(summary), QStringLiteral("甲方"), 1, 1, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("办公电脑"),
                QStringLiteral("乙方"), 1, 1, 0, 0);
    session.reload();
    typeText(MainForm->Edit24, QStringLiteral("办"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("办公用品"), QStringLiteral("办公桌"),
                                    QStringLiteral("办公电脑")}));
    typeText(MainForm->Edit24, QStringLiteral("公用"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("办公用品")}));
    QTest::keyClick(MainForm->Edit24, Qt::Key_Backspace);
    QCOMPARE(listed().size(), 3);
    // Both fields together.
    typeText(MainForm->Edit2, QStringLiteral("乙"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("办公电脑")}));
    // All records brings the base listing back but keeps the search texts.
    MainForm->Button12->click();
    QCOMPARE(listed().size(), 5);
    QCOMPARE(MainForm->Edit24->text(), QStringLiteral("办公"));
    typeText(MainForm->Edit2, QStringLiteral("方"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("办公电脑")}));
}

void QueriesTest::typedWildcardsAndQuotesMatchThemselves()
{
    MainWindowSession session;
    for (const char* summary : {"50%折扣", "500元", "a_b", "axb", "O'Neil", "ONeil"})
        session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                    QString::fromUtf8(summary), QString(), 1, 1, 0, 0);
    session.reload();
    typeText(MainForm->Edit24, QStringLiteral("%"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("50%折扣")}));
    MainForm->Edit24->clear();
    typeText(MainForm->Edit24, QStringLiteral("_"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("a_b")}));
    MainForm->Edit24->clear();
    typeText(MainForm->Edit24, QStringLiteral("'"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("O'Neil")}));
    QVERIFY(scripted().shown.isEmpty());
    // Emptying the field drops its condition.
    MainForm->Edit24->clear();
    QCOMPARE(listed().size(), 6);
}

void QueriesTest::kindBoxesExcludeEachOther()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("in"),
                QString(), 1, 1, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-08"), QStringLiteral("out"),
                QString(), 0, 0, 1, 1);
    session.add(QStringLiteral("其他收入"), QStringLiteral("2015-12-08"),
                QStringLiteral("other in"), QString(), 1, 1, 0, 0);
    session.reload();
    QTest::mouseClick(MainForm->CheckBox3, Qt::LeftButton);
    QCOMPARE(listed(), (QStringList{QStringLiteral("out")}));
    QTest::mouseClick(MainForm->CheckBox2, Qt::LeftButton);
    QVERIFY(!MainForm->CheckBox3->isChecked());
    QCOMPARE(listed(), (QStringList{QStringLiteral("in"), QStringLiteral("other in")}));
    // Unticking changes nothing until the next query.
    QTest::mouseClick(MainForm->CheckBox2, Qt::LeftButton);
    QVERIFY(!MainForm->CheckBox2->isChecked());
    QCOMPARE(listed(), (QStringList{QStringLiteral("in"), QStringLiteral("other in")}));
    MainForm->Button2->click();
    QCOMPARE(listed().size(), 3);
}

void QueriesTest::dateRangeIncludesBothEnds()
{
    MainWindowSession session;
    for (const char* day : {"2015-11-30", "2015-12-01", "2015-12-15", "2015-12-31", "2016-01-01"})
        session.add(QStringLiteral("收入"), QString::fromLatin1(day), QString::fromLatin1(day),
                    QString(), 1, 1, 0, 0);
    session.reload();
    MainForm->DBDateTimeEditEh2->setDate(QDate(2015, 12, 1));
    MainForm->DBDateTimeEditEh3->setDate(QDate(2015, 12, 31));
    // The box takes effect at the next query only.
    MainForm->CheckBox7->click();
    QCOMPARE(listed().size(), 5);
    MainForm->Button2->click();
    QCOMPARE(listed(), (QStringList{QStringLiteral("2015-12-01"), QStringLiteral("2015-12-15"),
                                    QStringLiteral("2015-12-31")}));
    MainForm->DBDateTimeEditEh2->setDate(QDate(2015, 12, 15));
    MainForm->DBDateTimeEditEh3->setDate(QDate(2015, 12, 15));
    MainForm->Button2->click();
    QCOMPARE(listed(), (QStringList{QStringLiteral("2015-12-15")}));
}

void QueriesTest::unmarkedRowsOnlyLeaveTheQuickQuery()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("marked"),
                QString(), 1, 1, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-09"), QStringLiteral("unmarked"),
                QString(), 1, 1, 0, 0, QStringLiteral("0"));
    session.reload();
    QCOMPARE(listed(), (QStringList{QStringLiteral("marked"), QStringLiteral("unmarked")}));
    MainForm->Button2->click();
    QCOMPARE(listed(), (QStringList{QStringLiteral("marked")}));
}

void QueriesTest::monthOnlyViewIsRemembered()
{
    MainWindowSession session;
    const QDate today = QDate::currentDate();
    const QDate first(today.year(), today.month(), 1);
    const QDate last = first.addMonths(1).addDays(-1);
    session.add(QStringLiteral("收入"), formats::dateText(last), QStringLiteral("month end"),
                QString(), 1, 1, 0, 0);
    session.add(QStringLiteral("收入"), formats::dateText(first.addDays(-1)),
                QStringLiteral("last month"), QString(), 1, 1, 0, 0);
    session.add(QStringLiteral("收入"), formats::dateText(first), QStringLiteral("month start"),
                QString(), 1, 1, 0, 0, QStringLiteral("0"));
    session.add(QStringLiteral("收入"), formats::dateText(last.addDays(1)),
                QStringLiteral("next month"), QString(), 1, 1, 0, 0);
    session.reload();
    QVERIFY(!settingsFileExists());
    QCOMPARE(listed().size(), 4);
    MainForm->CheckBox1->click();
    QCOMPARE(listed(), (QStringList{QStringLiteral("month start"), QStringLiteral("month end")}));
    QCOMPARE(storedSetting(settings::kMonthOnly), QStringLiteral("no"));
    MainForm->Button12->click();
    QCOMPARE(listed().size(), 2);
    // Left running since last month: 全部记录 and the login read today's month.
    const QString lastMonth = MainForm->baseQuery().replace(formats::dateText(first),
                                                            formats::dateText(first.addMonths(-1)));
    MainForm->Label7->setText(lastMonth);
    MainForm->Button12->click();
    QCOMPARE(listed().size(), 2);
    MainForm->Label7->setText(lastMonth);
    MainForm->showFirstView(true);
    QCOMPARE(listed().size(), 2);
    MainForm->CheckBox1->click();
    QCOMPARE(listed().size(), 4);
    QCOMPARE(storedSetting(settings::kMonthOnly), QStringLiteral("yes"));
    QCOMPARE(MainForm->baseQuery(), QStringLiteral("select * from data order by day1"));
}

void QueriesTest::balanceDescribesTheListingShown()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("sale"),
                QString(), 1000, 800, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-09"), QStringLiteral("rent"),
                QString(), 0, 0, 300, 300);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-10"), QStringLiteral("other"),
                QString(), 50, 50, 0, 0);
    session.reload();
    RecordGrid* grid = MainForm->DBGridEh1;
    MainForm->Button7->click();
    QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：750.00(550.00)"));
    {
        // Asked while the listing is still being read: the book's sums, and no row read for
        // them; the footer shows them meanwhile.
        const FillFrom small(1, 2);
        dmfm->ADOQuery15->close();
        session.reload();
        QVERIFY(dmfm->ADOQuery15->isFilling());
        QCOMPARE(grid->footerText(4), QString());
        MainForm->Button7->click();
        QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：750.00(550.00)"));
        QVERIFY(dmfm->ADOQuery15->isFilling());
        QCOMPARE(grid->footerText(4), QStringLiteral("1050"));
        QTRY_VERIFY(!dmfm->ADOQuery15->isFilling());
        QCOMPARE(grid->footerText(4), QStringLiteral("1050"));
    }
    // After a search the text describes the search; the grid returns to the base listing.
    typeText(MainForm->Edit24, QStringLiteral("ren"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("rent")}));
    MainForm->Edit24->clear();
    typeText(MainForm->Edit24, QStringLiteral("s"));
    QCOMPARE(listed(), (QStringList{QStringLiteral("sale")}));
    MainForm->CheckBox2->click();
    MainForm->Button7->click();
    QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：1000.00(800.00)"));
    QCOMPARE(listed().size(), 3);
    // A sort keeps the text; a change of the rows drops it: no report or export carries a
    // balance of other rows.
    grid->titleClick(4);
    QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：1000.00(800.00)"));
    scripted().answers = {true};
    for (auto change : {+[] { MainForm->Button12->click(); },
                        +[] { typeText(MainForm->Edit2, QStringLiteral("x")); },
                        +[] { MainForm->ToolButton19Click(); },
                        +[] {
                            MainForm->Panel3->ComboBox3->setEditText(QStringLiteral("new"));
                            MainForm->Panel3->Edit9->setText(QStringLiteral("2"));
                            MainForm->Panel3->Button1Click();
                        }}) {
        MainForm->Edit2->clear();
        MainForm->Button7->click();
        change();
        QCOMPARE(grid->footerText(2), QString());
    }
    scripted().clear();
    // An empty listing balances to zero.
    {
        sql::ScopedConnection conn(session.book.bookPath());
        sql::exec(conn.db(), QStringLiteral("delete from data"));
    }
    session.reload();
    MainForm->Button7->click();
    QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：0.00(0.00)"));
    QCOMPARE(scripted().shown.size(), 0);
    // Exact sums, rounded once, on both engines: stored by another program, 1.005 lies a hair
    // below its double and 0.125 on a half.
    for (int i = 0; i < 10; ++i)
        session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("sale"),
                    QString(), 1.005, 1.005, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-09"), QStringLiteral("fee"),
                QString(), 0, 0, 0.125, 0.125);
    session.reload();
    QCOMPARE(grid->footerText(4) + u' ' + grid->footerText(7), QStringLiteral("10.05 0.125"));
    MainForm->Button7->click();
    QCOMPARE(grid->footerText(2), QStringLiteral("收支合计余额：9.93(9.93)"));
}

void QueriesTest::allRecordsFollowsTheBookOnly()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("sale"),
                QStringLiteral("甲"), 0.3, 0.3, 0, 0);
    session.reload();
    QComboBox* summaries = MainForm->Panel3->ComboBox3;
    QCOMPARE(summaries->count(), 0); // read when the panel opens
    MainForm->ToolButton7->click();
    QCOMPARE(summaries->count(), 1);
    // Nothing changed: the texts are still emptied and the sort undone, the lists kept.
    summaries->setEditText(QStringLiteral("typed"));
    MainForm->Panel3->ComboBox2->setEditText(QStringLiteral("typed"));
    MainForm->DBGridEh1->titleClick(2);
    session.reload();
    QCOMPARE(summaries->currentText(), QString());
    QCOMPARE(MainForm->Panel3->ComboBox2->currentText(), QString());
    QCOMPARE(summaries->itemText(0), QStringLiteral("sale"));
    QCOMPARE(dmfm->ADOQuery15->sort(), QString());
    // Another copy of the program adds two records: lists and listing follow.
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-10"), QStringLiteral("rent"),
                QStringLiteral("乙"), 0, 0, 0.1, 0.1);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-09"), QStringLiteral("fee"),
                QStringLiteral("乙"), 0, 0, 0.2, 0.2);
    session.reload();
    QCOMPARE(summaries->count(), 3);
    QCOMPARE(summaries->itemText(1), QStringLiteral("rent"));
    QCOMPARE(MainForm->Panel3->ComboBox2->count(), 2);
    QCOMPARE(listed(),
             (QStringList{QStringLiteral("sale"), QStringLiteral("fee"), QStringLiteral("rent")}));
    QCOMPARE(dmfm->ADOQuery15->recNo(), 3);
    // Cents are added as cents: 0.3 - (0.1 + 0.2) is no negative zero.
    MainForm->Button7->click();
    QCOMPARE(MainForm->DBGridEh1->footerText(2), QStringLiteral("收支合计余额：0.00(0.00)"));
}

void QueriesTest::enterInSearchDatesGoesToTheEntryPanel()
{
    MainWindowSession session;
    QApplication::setActiveWindow(MainForm);
    MainForm->ToolButton7->click();
    QVERIFY(MainForm->Panel3->isVisible());
    MainForm->DBDateTimeEditEh3->setFocus();
    QTest::keyClick(MainForm->DBDateTimeEditEh3, Qt::Key_Return);
    QTRY_VERIFY(MainForm->Panel3->ComboBox3->hasFocus());
    // With the panel hidden the focus stays where it is.
    MainForm->Panel3->hide();
    MainForm->DBDateTimeEditEh2->setFocus();
    QTest::keyClick(MainForm->DBDateTimeEditEh2, Qt::Key_Return);
    QVERIFY(MainForm->DBDateTimeEditEh2->hasFocus());
}

void QueriesTest::skinsAreStoredAndRestored()
{
    {
        MainWindowSession session;
        // Showing the window reads the skin but writes nothing.
        QVERIFY(!settingsFileExists());
        QCOMPARE(qApp->styleSheet(), QString());
        QAction* dream = MainForm->PopupMenu1->findChild<QAction*>(QStringLiteral("N52"));
        QVERIFY(dream);
        dream->trigger();
        QCOMPARE(storedSetting(settings::kSkin), QStringLiteral("4"));
        QVERIFY(!qApp->styleSheet().isEmpty());
    }
    QStringList sheets;
    for (int i = 0; i < skins::kCount; ++i) {
        skins::apply(i);
        sheets << qApp->styleSheet();
    }
    sheets.removeDuplicates();
    QCOMPARE(sheets.size(), skins::kCount);

    // The next start shows the stored skin; anything but 0 to 4 leaves the built-in look.
    qApp->setStyleSheet(QString());
    {
        MainWindowSession session;
        QCOMPARE(skins::current(), 4);
        QCOMPARE(qApp->styleSheet(), sheets[4]);
    }
    for (const char* stored : {"5", "", "12", "x"}) {
        qApp->setStyleSheet(QString());
        settings::write(settings::kSkin, QString::fromLatin1(stored));
        MainWindowSession session;
        QCOMPARE(qApp->styleSheet(), QString());
    }
    // Nor is a value of another type ("skin=1, 2" reads as a list): no box, the date shows.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
              QStringLiteral("qvbook"))
        .setValue(settings::kSkin, QStringList{QStringLiteral("1"), QStringLiteral("2")});
    MainWindowSession session;
    QVERIFY(scripted().shown.isEmpty() && qApp->styleSheet().isEmpty());
    QCOMPARE(MainForm->statusText(2), u"今天："_qs + formats::dateText(QDate::currentDate()));
}

QUENVALE_TEST_MAIN(QueriesTest)
#include "tst_queries.moc"
