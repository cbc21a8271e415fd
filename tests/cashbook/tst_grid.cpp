// The record grid: titles, footers, colours, number forms, sorting and hidden columns.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/gridheader.h"
#include "cashbook/listingmodel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/sql.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QHeaderView>

using namespace testsupport;

namespace {

QStringList columnTexts(int column)
{
    QStringList texts;
    ListingModel* model = MainForm->DBGridEh1->listingModel();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->displayText(row, column);
    return texts;
}

// Clicks a title cell of the grid: the lower level, or the upper one.
void clickTitle(int column, bool upper = false)
{
    TwoLevelHeader* header = MainForm->DBGridEh1->titles();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    upper ? header->height() / 4 : header->height() * 3 / 4);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class GridTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void titlesWidthsAndFooters();
    void storedTextAmongAmountsIsShownNeverSavedAsZero();
    void hiddenColumnsKeepTheirSums();
    void numberFormsAndAlignment();
    void rowsWithoutIncomeAreGreen();
    void titleClicksCycleTheSort();
    void titleClickOnClosedListingIsReported();
    void modelStaysConsistentThroughChanges();
};

void GridTest::titlesWidthsAndFooters()
{
    MainWindowSession session;
    RecordGrid* grid = MainForm->DBGridEh1;
    const QStringList expected = {QStringLiteral("现   金   帐|收支类别"),
                                  QStringLiteral("现   金   帐|日 期"),
                                  QStringLiteral("现   金   帐|项 目 摘 要"),
                                  QStringLiteral("现   金   帐|单位名称"),
                                  QStringLiteral("收  入|合 计"),
                                  QStringLiteral("收  入|已收金额"),
                                  QStringLiteral("收  入|应收账款"),
                                  QStringLiteral("支  出|合 计"),
                                  QStringLiteral("支  出|已付金额"),
                                  QStringLiteral("支  出|应付账款")};
    for (int c = 0; c < RecordGrid::kColumnCount; ++c)
        QCOMPARE(grid->columnTitle(c), expected[c]);
    // An empty listing sums to 0.
    for (int c = 4; c <= 9; ++c)
        QCOMPARE(grid->footerText(c), QStringLiteral("0"));
    QCOMPARE(grid->footerText(2), QString());

    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("房租"),
                QStringLiteral("甲"), 1000, 800, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-09"), QStringLiteral("水费"),
                QString(), 0, 0, 300, 250.5);
    session.reload();
    QCOMPARE(grid->listingModel()->rowCount(), 2);
    const QStringList sums = {QStringLiteral("1000"),  QStringLiteral("800"),
                              QStringLiteral("200"),   QStringLiteral("300"),
                              QStringLiteral("250.5"), QStringLiteral("49.5")};
    for (int c = 4; c <= 9; ++c)
        QCOMPARE(grid->footerText(c), sums[c - 4]);
    // The columns fill the width in the design proportions.
    int total = 0;
    for (int c = 0; c < RecordGrid::kColumnCount; ++c)
        total += grid->columnWidth(c);
    QCOMPARE(total, grid->viewport()->width());
    QVERIFY(qAbs(grid->columnWidth(2) - 180 * grid->columnWidth(0) / 70) <= 3);
    // The last record is current after all-records.
    QCOMPARE(dmfm->ADOQuery15->recNo(), 2);
    QCOMPARE(grid->currentIndex().row(), 1);
    // Widths set by hand (a drag on a title's edge) stay; a money column takes back only what
    // its figures need.
    const int designed = grid->columnWidth(4);
    grid->horizontalHeader()->resizeSection(2, 300);
    grid->horizontalHeader()->resizeSection(4, 5);
    typeText(MainForm->Edit24, QStringLiteral("房"));
    MainForm->Button12->click();
    QCOMPARE(grid->columnWidth(2), 300);
    QVERIFY(grid->columnWidth(4) >= grid->fontMetrics().horizontalAdvance(grid->footerText(4)));
    QVERIFY(grid->columnWidth(4) < designed);
}

void GridTest::storedTextAmongAmountsIsShownNeverSavedAsZero()
{
    MainWindowSession session;
    RecordGrid* grid = MainForm->DBGridEh1;
    const QString book = session.book.bookPath();
    const qint64 key = session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                                   QStringLiteral("foreign"), QString(), 5, 5, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-09"), QStringLiteral("ours"),
                QString(), 2, 2, 0, 0);
    scalar(book, QStringLiteral("update data set \"1\"='abc' where id=?"), {key});
    session.reload();
    grid->titleClick(4); // numbers, then texts, as the book orders them
    QCOMPARE(columnTexts(4), (QStringList{QStringLiteral("abc"), QStringLiteral("2")}));
    QCOMPARE(grid->footerText(4), QStringLiteral("2"));
    // Opened, it shows what is stored; saving waits for a number.
    dmfm->ADOQuery15->first();
    grid->N3->trigger();
    QCOMPARE(MainForm->Panel3->Edit9->text(), QStringLiteral("abc"));
    MainForm->Panel3->Button3->click();
    QCOMPARE(scripted().texts(), QStringList{u"收入合计中的“abc”不是金额，请输入数字！"_qs});
    QCOMPARE(scalar(book, QStringLiteral("select \"1\" from data")).toString(), u"abc"_qs);
}

void GridTest::hiddenColumnsKeepTheirSums()
{
    MainWindowSession session;
    RecordGrid* grid = MainForm->DBGridEh1;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("房租"),
                QStringLiteral("甲"), 100, 60, 0, 0);
    session.reload();
    QVERIFY(!grid->N8->isChecked());
    grid->N8->trigger();
    QVERIFY(grid->N8->isChecked());
    QVERIFY(!grid->isColumnVisible(5));
    QCOMPARE(grid->footerText(5), QStringLiteral("60"));
    int total = 0;
    for (int c = 0; c < RecordGrid::kColumnCount; ++c)
        total += grid->isColumnVisible(c) ? grid->columnWidth(c) : 0;
    QCOMPARE(total, grid->viewport()->width());
    grid->N8->trigger();
    QVERIFY(!grid->N8->isChecked());
    QVERIFY(grid->isColumnVisible(5));
    const QList<QPair<QAction*, int>> switches = {
        {grid->N7, 3}, {grid->N9, 6}, {grid->N10, 8}, {grid->N11, 9}};
    for (const auto& [action, column] : switches) {
        action->trigger();
        QVERIFY(!grid->isColumnVisible(column));
    }
    QStringList captions;
    for (QAction* a : grid->PopupMenu3->actions())
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(captions.join(u','),
             QStringLiteral("新建记录,修 改,删 除,收款/付款登记…,导出Excel,导出CSV文件,"
                            "导出Excel 2007文件(.xlsx),打印报表,收支统计,-,隐藏单位名称,"
                            "隐藏已收金额,隐藏应收账款,隐藏已付金额,隐藏应付账款,显示余额列"));
}

void GridTest::numberFormsAndAlignment()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("a"),
                QString(), 112.345, 100, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-09"), QStringLiteral("b"),
                QString(), 100, 30.5, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-10"), QStringLiteral("c"),
                QString(), 1250.5, 1250.5, 0, 0);
    session.reload();
    // "#.##" rounds to two decimals and leaves zero empty; the general form is shortest.
    QCOMPARE(columnTexts(6),
             (QStringList{QStringLiteral("12.35"), QStringLiteral("69.5"), QString()}));
    QCOMPARE(columnTexts(4), (QStringList{QStringLiteral("112.345"), QStringLiteral("100"),
                                          QStringLiteral("1250.5")}));
    QCOMPARE(columnTexts(1),
             (QStringList{QStringLiteral("2015-12-08"), QStringLiteral("2015-12-09"),
                          QStringLiteral("2015-12-10")}));
    ListingModel* model = MainForm->DBGridEh1->listingModel();
    QCOMPARE(model->data(model->index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::AlignCenter);
    QVERIFY(model->data(model->index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() &
            Qt::AlignLeft);
    QVERIFY(model->data(model->index(0, 7), Qt::TextAlignmentRole).value<Qt::Alignment>() &
            Qt::AlignRight);
    QVERIFY(!(model->flags(model->index(0, 2)) & Qt::ItemIsEditable));
}

void GridTest::rowsWithoutIncomeAreGreen()
{
    MainWindowSession session;
    const double incomes[] = {0.4, 0.6, 0.5, 1.5, -0.5, 2.5};
    for (double income : incomes)
        session.add(QStringLiteral("收入"), QStringLiteral("2015-12-08"), QStringLiteral("x"),
                    QString(), income, 0, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2015-12-09"), QStringLiteral("y"),
                QString(), 0, 0, 5, 5);
    {
        sql::ScopedConnection conn(session.book.bookPath());
        sql::exec(
            conn.db(),
            QStringLiteral(
                "insert into data (a,day1,b,o) values ('支出','2015-12-10','null income','1')"));
    }
    session.reload();
    ListingModel* model = MainForm->DBGridEh1->listingModel();
    const bool green[] = {true, false, true, false, true, false, true, true};
    const QColor greenColour(192, 220, 192);
    for (int row = 0; row < 8; ++row) {
        QCOMPARE(model->isExpenseRow(row), green[row]);
        const QColor colour =
            model->data(model->index(row, 3), Qt::BackgroundRole).value<QBrush>().color();
        if (green[row])
            QCOMPARE(colour, greenColour);
        else
            QCOMPARE(colour, row % 2 == 0 ? QColor(Qt::white) : QColor(238, 238, 238));
    }
}

void GridTest::titleClicksCycleTheSort()
{
    MainWindowSession session;
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-02"), QStringLiteral("b"),
                QString(), 5, 0, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-01"), QStringLiteral("a"),
                QString(), 30, 0, 0, 0);
    session.add(QStringLiteral("收入"), QStringLiteral("2015-12-03"), QStringLiteral("c"),
                QString(), 100, 0, 0, 0);
    session.reload();
    TwoLevelHeader* header = MainForm->DBGridEh1->titles();
    QCOMPARE(columnTexts(1).join(u','), QStringLiteral("2015-12-01,2015-12-02,2015-12-03"));

    clickTitle(1);
    QCOMPARE(columnTexts(1).join(u','), QStringLiteral("2015-12-03,2015-12-02,2015-12-01"));
    QCOMPARE(header->marker(1), TwoLevelHeader::Marker::Down);
    clickTitle(1);
    QCOMPARE(columnTexts(1).join(u','), QStringLiteral("2015-12-01,2015-12-02,2015-12-03"));
    QCOMPARE(header->marker(1), TwoLevelHeader::Marker::Up);
    clickTitle(1);
    QCOMPARE(header->marker(1), TwoLevelHeader::Marker::Down);
    QCOMPARE(columnTexts(1).constFirst(), QStringLiteral("2015-12-03"));

    // Another column starts again with descending and clears the first marker.
    clickTitle(4);
    QCOMPARE(columnTexts(4).join(u','), QStringLiteral("100,30,5"));
    QCOMPARE(header->marker(1), TwoLevelHeader::Marker::None);
    QCOMPARE(header->marker(4), TwoLevelHeader::Marker::Down);

    // The shared upper cell neither sorts nor moves a marker.
    clickTitle(2, true);
    QCOMPARE(columnTexts(4).join(u','), QStringLiteral("100,30,5"));
    QCOMPARE(header->marker(4), TwoLevelHeader::Marker::Down);
    QCOMPARE(header->marker(2), TwoLevelHeader::Marker::None);

    // A new query brings the statement's order back; the marker stays.
    session.reload();
    QCOMPARE(columnTexts(1).join(u','), QStringLiteral("2015-12-01,2015-12-02,2015-12-03"));
    QCOMPARE(header->marker(4), TwoLevelHeader::Marker::Down);
}

void GridTest::titleClickOnClosedListingIsReported()
{
    MainWindowSession session;
    dmfm->ADOQuery15->close();
    clickTitle(1);
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QCOMPARE(scripted().lastText(),
             QStringLiteral("Cannot perform this operation on a closed dataset"));
    QCOMPARE(MainForm->DBGridEh1->titles()->marker(1), TwoLevelHeader::Marker::None);
}

void GridTest::modelStaysConsistentThroughChanges()
{
    MainWindowSession session;
    QAbstractItemModelTester tester(MainForm->DBGridEh1->listingModel(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 5; ++i)
        session.add(QStringLiteral("收入"), QStringLiteral("2015-12-0%1").arg(i + 1),
                    QStringLiteral("r%1").arg(i), QString(), i, 0, 0, 0);
    session.reload();
    dmfm->ADOQuery15->moveTo(2);
    dmfm->ADOQuery15->deleteCurrent();
    QCOMPARE(MainForm->DBGridEh1->listingModel()->rowCount(), 4);
    QCOMPARE(MainForm->DBGridEh1->footerText(4), QStringLiteral("8"));
    dmfm->ADOQuery15->setSort(QStringLiteral("b DESC"));
    dmfm->ADOQuery15->close();
    QCOMPARE(MainForm->DBGridEh1->listingModel()->rowCount(), 0);
}

QUENVALE_TEST_MAIN(GridTest)
#include "tst_grid.moc"
