// The listing's column storage on its own: no book, no statement.
#include "data/columnstore.h"
#include "data/moneysum.h"
#include "data/sql.h"

#include <QtTest>

#include <algorithm>

namespace {

FieldInfo field(const char* name, FieldType type)
{
    FieldInfo info;
    info.name = QString::fromLatin1(name);
    info.type = type;
    return info;
}

// A store of (text b, number 1, integer n) rows, keys 1, 2, 3... in the order given.
ColumnStore storeOf(const QList<QVariant>& texts, const QList<double>& numbers = {})
{
    ColumnStore store;
    store.addColumn(field("b", FieldType::Text));
    store.addColumn(field("1", FieldType::Float));
    store.addColumn(field("n", FieldType::Integer));
    ColumnStore::Appender cells(store);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        cells.beginRow(i + 1);
        if (texts[i].isNull())
            cells.addNull(0);
        else
            cells.addText(0, QByteArrayView(texts[i].toString().toUtf8()));
        cells.addNumber(1, numbers.value(i));
        cells.addInteger(2, i * 10);
    }
    return store;
}

QStringList textsIn(const ColumnStore& store, const std::vector<int>& order)
{
    QStringList texts;
    for (int row : order)
        texts << (store.cell(row, 0).isNull() ? QStringLiteral("<null>")
                                              : store.cell(row, 0).toString());
    return texts;
}

} // namespace

class ColumnStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void cellsComeBackAsStoredAtAnySize();
    void indexOrderComparesCodePointsAndTiesByKey();
    void sortIsStableWithNullsFirst();
    void totalsAreExactAndSkipTexts();
    void rowsAddedAndRearrangedKeepTheirCells();
};

void ColumnStoreTest::cellsComeBackAsStoredAtAnySize()
{
    // More rows than are looked at before a mostly distinct column stops being interned; texts
    // from UTF-8 (the local book) and from UTF-16 (the server's driver) alike.
    ColumnStore store;
    store.addColumn(field("kind", FieldType::Text));
    store.addColumn(field("summary", FieldType::Text));
    store.addColumn(field("amount", FieldType::Float));
    const QStringList kinds = {QStringLiteral("收入"), QStringLiteral("支出"), QString()};
    auto summary = [](int i) { return QStringLiteral("摘要%1𠀀").arg(i); };
    {
        ColumnStore::Appender cells(store);
        for (int i = 0; i < 6000; ++i) {
            cells.beginRow(1000 + i);
            if (i % 7 == 0)
                cells.addNull(0);
            else if (i % 2)
                cells.addText(0, QByteArrayView(kinds[i % 3].toUtf8()));
            else
                cells.addText(0, kinds[i % 3]);
            cells.addText(1, QByteArrayView(summary(i).toUtf8()));
            cells.addNumber(2, i * 0.01);
        }
    }
    QCOMPARE(store.rowCount(), 6000);
    for (int i = 0; i < 6000; ++i) {
        QCOMPARE(store.key(i), 1000 + i);
        QCOMPARE(store.cell(i, 0).isNull(), i % 7 == 0);
        if (i % 7 != 0)
            QCOMPARE(store.cell(i, 0).toString(), kinds[i % 3]);
        QCOMPARE(store.cell(i, 1).toString(), summary(i));
        QCOMPARE(store.cell(i, 2).toDouble(), i * 0.01);
    }
    // The few kinds are held once each, whichever form they came in.
    QVERIFY(store.column(0).pool.size() <= 6);
    QCOMPARE(store.columnIndex(QStringLiteral("SUMMARY")), 1);
    QCOMPARE(store.columnIndex(QStringLiteral("nosuch")), -1);
}

void ColumnStoreTest::indexOrderComparesCodePointsAndTiesByKey()
{
    // U+FF21 sorts before an emoji by code point (the book's order) though its UTF-16 unit is
    // larger; nulls come first; equal texts keep key order.
    const QList<QVariant> texts = {
        QStringLiteral("b"), QStringLiteral("\U0001F600"), QStringLiteral("\uFF21"), QVariant(),
        QStringLiteral("a"), QStringLiteral("b"),          QStringLiteral("中"),     QVariant(),
        QStringLiteral("ä"), QStringLiteral("a")};
    const ColumnStore store = storeOf(texts);
    std::vector<int> expected(static_cast<size_t>(texts.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<int>(i);
    std::stable_sort(expected.begin(), expected.end(), [&](int l, int r) {
        if (texts[l].isNull() || texts[r].isNull())
            return texts[l].isNull() && !texts[r].isNull();
        return sql::compareStored(texts[l].toString(), texts[r].toString()) < 0;
    });
    QCOMPARE(textsIn(store, store.orderLikeIndex(0, false)), textsIn(store, expected));
    std::vector<int> descending = expected;
    std::reverse(descending.begin(), descending.end());
    QCOMPARE(store.orderLikeIndex(0, true), descending);
    QCOMPARE(textsIn(store, expected).indexOf(QStringLiteral("\uFF21")) + 1,
             textsIn(store, expected).indexOf(QStringLiteral("\U0001F600")));
    // The row-by-row comparison that places a row written later agrees with the index order.
    for (size_t i = 1; i < expected.size(); ++i)
        QVERIFY(store.compareRows(expected[i - 1], expected[i], 0) < 0);
    QCOMPARE(store.compareRows(0, 5, 0), -1); // two "b": the smaller key first
}

void ColumnStoreTest::sortIsStableWithNullsFirst()
{
    const ColumnStore store = storeOf({QStringLiteral("b1"), QStringLiteral("b2"), QVariant(),
                                       QStringLiteral("b4"), QStringLiteral("b2")},
                                      {5, 30, 5, 100, 30});
    std::vector<int> order = {0, 1, 2, 3, 4};
    store.sortBy(order, 1, true);
    QCOMPARE(order, (std::vector<int>{3, 1, 4, 0, 2})); // ties keep the order given
    order = {0, 1, 2, 3, 4};
    store.sortBy(order, 0, false);
    QCOMPARE(textsIn(store, order),
             QStringList({QStringLiteral("<null>"), QStringLiteral("b1"), QStringLiteral("b2"),
                          QStringLiteral("b2"), QStringLiteral("b4")}));
    QCOMPARE(order[2], 1);
    store.sortBy(order, 0, true);
    QCOMPARE(textsIn(store, order).last(), QStringLiteral("<null>"));
}

void ColumnStoreTest::totalsAreExactAndSkipTexts()
{
    ColumnStore store =
        storeOf({QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x")}, {0.1, 0.2, -0.3});
    std::vector<int> rows = {0, 1, 2};
    ColumnStore::Totals t = store.totals(1, rows);
    QVERIFY(t.sum.isExact());
    QCOMPARE(t.sum.general(), QStringLiteral("0"));
    QCOMPARE(t.largest, -0.3); // the largest size; the negative one on a tie
    QCOMPARE(store.totals(1, {0, 1}).sum.general(), QStringLiteral("0.3"));
    QCOMPARE(store.sum(2, rows), 30.0); // the integers 0, 10, 20
    // A text another program stored among the amounts is kept, shown and never added.
    {
        ColumnStore::Appender cells(store);
        cells.beginRow(4);
        cells.addText(0, QByteArrayView("y"));
        cells.addNumberText(1, QByteArrayView("abc"));
        cells.addInteger(2, 5);
    }
    QCOMPARE(store.cell(3, 1).toString(), QStringLiteral("abc"));
    rows.push_back(3);
    QCOMPARE(store.totals(1, rows).sum.general(), QStringLiteral("0"));
    QCOMPARE(store.sum(1, rows), 0.0);
    std::vector<int> order = rows;
    store.sortBy(order, 1, false);
    QCOMPARE(order.back(), 3); // after the numbers, as SQLite orders them
    // An amount no decimal of 38 digits carries leaves the sum inexact; null cells add nothing.
    store.setCell(2, 1, 1e40);
    QVERIFY(!store.totals(1, rows).sum.isExact());
    QCOMPARE(store.totals(1, rows).largest, 1e40);
    store.setCell(2, 1, QVariant());
    QCOMPARE(store.totals(1, rows).sum.general(), QStringLiteral("0.3"));

    // A sum the book worked out comes back in full: every digit, as the same sum.
    MoneySum odd;
    for (double amount : {1.005, -2.675, 1e-7, 123456789012.34})
        odd.add(amount);
    MoneySum back;
    QVERIFY(MoneySum::fromText(odd.exactText(), &back));
    QCOMPARE(back.exactText(), odd.exactText());
    QCOMPARE(back.general(), odd.general());
    QCOMPARE(back.twoDecimals(), QStringLiteral("123456789010.67"));
    QVERIFY(MoneySum::fromText(u"-12", &back));
    QCOMPARE(back.twoDecimals(), QStringLiteral("-12.00"));
    for (const char* bad :
         {"", "-", "1e5", "1.2.3", "NaN", "1234567890123456789012345678901234567890"})
        QVERIFY2(!MoneySum::fromText(QString::fromLatin1(bad), &back), bad);
}

void ColumnStoreTest::rowsAddedAndRearrangedKeepTheirCells()
{
    ColumnStore store =
        storeOf({QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}, {1, 2, 3});
    store.reserve(1000);
    const int row = store.appendBlankRow(99);
    QCOMPARE(row, 3);
    QVERIFY(store.cell(row, 0).isNull() && store.cell(row, 1).isNull());
    store.setCell(row, 0, QStringLiteral("丁"));
    store.setCell(row, 1, 4.5);
    store.fitWithRoom();
    store.permute({3, 2, 1, 0});
    QCOMPARE(store.keys(), (std::vector<qint64>{99, 3, 2, 1}));
    QCOMPARE(textsIn(store, {0, 1, 2, 3}),
             QStringList({QStringLiteral("丁"), QStringLiteral("丙"), QStringLiteral("乙"),
                          QStringLiteral("甲")}));
    QCOMPARE(store.cell(0, 1).toDouble(), 4.5);
    QCOMPARE(store.cell(3, 2).toLongLong(), 0);
    store.clear();
    QCOMPARE(store.rowCount(), 0);
    QCOMPARE(store.columnCount(), 0);
}

QTEST_APPLESS_MAIN(ColumnStoreTest)
#include "tst_columnstore.moc"
