#include "app/mainform.h"
#include "cashbook/printpreview.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/formats.h"
#include "data/sql.h"
#include "stats/statsmodel.h"
#include "stats/statswindow.h"
#include "support/testsupport.h"

#include <QAbstractItemModelTester>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDesktopServices>
#include <QLineSeries>
#include <QRandomGenerator>

#include <array>
#include <map>

namespace {

using Cents = std::array<qint64, 6>; // the six amounts, in cents

// One generated record, kept beside the book so the test sums it on its own.
struct Generated
{
    QString kind;
    QString day;
    QString party;
    Cents cents{};
    QString marker;
};

const QStringList kParties = {QStringLiteral("华联超市"), QStringLiteral("O'Neil%商行"),
                              QStringLiteral("张三"),     QString(),
                              QStringLiteral("华联物流"), QStringLiteral("明达_贸易")};

// Records from fourteen months ago to today, so the months cross a new year.
QList<Generated> generate(const QString& bookPath, int count)
{
    QRandomGenerator random(4242);
    const QDate today = QDate::currentDate();
    const QDate first = QDate(today.year(), today.month(), 1).addMonths(-14);
    const int span = static_cast<int>(first.daysTo(today));
    QList<Generated> rows;
    sql::ScopedConnection conn(bookPath);
    sql::Transaction tx(conn.db());
    for (int i = 0; i < count; ++i) {
        Generated g;
        const bool income = random.bounded(2) == 0;
        g.kind = income ? QStringLiteral("收入") : QStringLiteral("支出");
        g.day = first.addDays(random.bounded(span + 1)).toString(Qt::ISODate);
        g.party = kParties[random.bounded(kParties.size())];
        const qint64 total = random.bounded(1, 500000);
        const qint64 settled = random.bounded(3) == 0 ? random.bounded(total + 1) : total;
        const int at = income ? 0 : 3;
        g.cents[at] = total;
        g.cents[at + 1] = settled;
        g.cents[at + 2] = total - settled;
        g.marker = random.bounded(20) == 0 ? QStringLiteral("0") : QStringLiteral("1");
        QVariantList values{g.kind, g.day, QStringLiteral("摘要%1").arg(i), g.party};
        for (qint64 c : g.cents)
            values << c / 100.0;
        values << g.marker;
        sql::exec(
            conn.db(),
            QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o)"
                           " values (?,?,?,?,?,?,?,?,?,?,?)"),
            values);
        rows << g;
    }
    tx.commit();
    return rows;
}

qint64 cents(const QVariant& value)
{
    return qRound64(value.toDouble() * 100);
}

// The monthly table as it must read: month rows, each year closed by its total, a grand total.
QList<QPair<QString, Cents>> expectedMonths(const QList<Generated>& rows)
{
    std::map<QString, Cents> months;
    for (const Generated& g : rows)
        for (int i = 0; i < 6; ++i)
            months[g.day.left(7)][i] += g.cents[i];
    QList<QPair<QString, Cents>> table;
    Cents year{}, all{};
    QString current;
    for (const auto& [month, sums] : months) {
        if (!current.isEmpty() && month.left(4) != current) {
            table.append({current + QStringLiteral("年合计"), year});
            year = {};
        }
        current = month.left(4);
        table.append({month, sums});
        for (int i = 0; i < 6; ++i) {
            year[i] += sums[i];
            all[i] += sums[i];
        }
    }
    if (!current.isEmpty())
        table.append({current + QStringLiteral("年合计"), year});
    if (months.size() > 0 && months.begin()->first.left(4) != months.rbegin()->first.left(4))
        table.append({QStringLiteral("总计"), all});
    return table;
}

void compareMonths(const stats::StatTable& table, const QList<Generated>& rows)
{
    const auto expected = expectedMonths(rows);
    QCOMPARE(table.rowCount(), expected.size());
    for (int r = 0; r < table.rowCount(); ++r) {
        QCOMPARE(table.value(r, 0).toString(), expected[r].first);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(cents(table.value(r, i + 1)), expected[r].second[i]);
        QCOMPARE(cents(table.value(r, 7)), expected[r].second[0] - expected[r].second[3]);
        QCOMPARE(table.isTotalRow(r), !expected[r].first.contains(u'-'));
    }
}

struct Party
{
    QString name;
    qint64 receivable = 0;
    qint64 payable = 0;
    int records = 0;
};

void compareParties(const stats::StatTable& table, const QList<Generated>& rows)
{
    std::map<QString, Party> open;
    for (const Generated& g : rows) {
        if (g.cents[2] == 0 && g.cents[5] == 0)
            continue;
        Party& p = open[g.party.isEmpty() ? QStringLiteral("（未填单位）") : g.party];
        p.receivable += g.cents[2];
        p.payable += g.cents[5];
        ++p.records;
    }
    QList<Party> expected;
    for (auto& [name, p] : open) {
        p.name = name;
        expected << p;
    }
    std::sort(expected.begin(), expected.end(), [](const Party& a, const Party& b) {
        return a.receivable + a.payable > b.receivable + b.payable;
    });
    QCOMPARE(table.rowCount(), expected.size());
    qint64 receivable = 0;
    for (int r = 0; r < table.rowCount(); ++r) {
        QCOMPARE(table.value(r, 0).toString(), expected[r].name);
        QCOMPARE(cents(table.value(r, 1)), expected[r].receivable);
        QCOMPARE(cents(table.value(r, 2)), expected[r].payable);
        QCOMPARE(table.value(r, 3).toInt(), expected[r].records);
        receivable += expected[r].receivable;
    }
    QVERIFY(table.hasFooter());
    QCOMPARE(
        qRound64(QLocale::c().toDouble(StatsModel::footerCellText(table, 1).remove(u',')) * 100),
        receivable);
}

template <typename Keep> QList<Generated> only(const QList<Generated>& rows, Keep keep)
{
    QList<Generated> kept;
    for (const Generated& g : rows)
        if (keep(g))
            kept << g;
    return kept;
}

QString scope(qsizetype records)
{
    return QStringLiteral("统计当前列表的 %1 条记录").arg(records);
}

StatisticsWindow* openedWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<StatisticsWindow*>(w); window && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

class TestStatistics : public QObject
{
    Q_OBJECT

private slots:
    void init() { testsupport::clearSettings(); }

    // Opened from the toolbar, the window sums the listing shown: all records, then a search
    // by counterparty and kind, then this month only; each against the generated records.
    void monthlyAndCounterpartyTablesFollowTheListing()
    {
        testsupport::MainWindowSession session;
        const QList<Generated> rows = generate(session.book.bookPath(), 600);
        session.reload();
        QTest::mouseClick(MainForm->statisticsButton, Qt::LeftButton);
        StatisticsWindow* window = openedWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("收支统计"));

        compareMonths(window->monthlyTable(), rows);
        compareParties(window->counterpartyTable(), rows);
        QVERIFY(window->monthlyTable().rowCount() >= 15 + 2 + 1); // months, two years, total

        // The chart: income and expense bars per month, the line the running balance.
        const auto months = expectedMonths(rows);
        QChart* chart = window->chart();
        auto* bars = qobject_cast<QBarSeries*>(chart->series().value(0));
        auto* line = qobject_cast<QLineSeries*>(chart->series().value(1));
        QVERIFY(bars && line);
        qint64 running = 0;
        int point = 0;
        for (const auto& [label, sums] : months) {
            if (!label.contains(u'-'))
                continue;
            QCOMPARE(qRound64(bars->barSets().at(0)->at(point) * 100), sums[0]);
            QCOMPARE(qRound64(bars->barSets().at(1)->at(point) * 100), sums[3]);
            running += sums[0] - sums[3];
            QCOMPARE(qRound64(line->at(point).y() * 100), running);
            ++point;
        }
        QCOMPARE(line->count(), point);

        // A search: the same statement and values as the listing, the window follows it.
        MainForm->CheckBox2->click(); // 收入
        MainForm->Edit2->setText(QStringLiteral("华联"));
        const auto searched = only(rows, [](const Generated& g) {
            return g.marker == u"1" && g.kind == u"收入" &&
                   g.party.contains(QStringLiteral("华联"));
        });
        QTRY_COMPARE(window->scopeLabel->text(), scope(searched.size()));
        QCOMPARE(dmfm->ADOQuery15->recordCount(), searched.size());
        compareMonths(window->monthlyTable(), searched);
        compareParties(window->counterpartyTable(), searched);

        // A date range across the new year.
        const QDate today = QDate::currentDate();
        const QDate from(today.year() - 1, 12, 1);
        const QDate to(today.year(), 1, 31);
        MainForm->CheckBox2->click();
        MainForm->Edit2->clear();
        MainForm->CheckBox7->setChecked(true);
        MainForm->DBDateTimeEditEh2->setDate(from);
        MainForm->DBDateTimeEditEh3->setDate(to);
        MainForm->Button2->click();
        const auto range = only(rows, [&](const Generated& g) {
            return g.marker == u"1" && g.day >= from.toString(Qt::ISODate) &&
                   g.day <= to.toString(Qt::ISODate);
        });
        QTRY_COMPARE(window->scopeLabel->text(), scope(range.size()));
        compareMonths(window->monthlyTable(), range);
        compareParties(window->counterpartyTable(), range);
        QCOMPARE(window->monthlyTable().value(window->monthlyTable().rowCount() - 1, 0).toString(),
                 QStringLiteral("总计"));

        // The month view: only this month's records, whatever their marker.
        MainForm->CheckBox1->setChecked(true);
        const QString month = today.toString(QStringLiteral("yyyy-MM"));
        const auto thisMonth =
            only(rows, [&](const Generated& g) { return g.day.startsWith(month); });
        QVERIFY(!thisMonth.isEmpty());
        QTRY_COMPARE(window->scopeLabel->text(), scope(thisMonth.size()));
        compareMonths(window->monthlyTable(), thisMonth);
        compareParties(window->counterpartyTable(), thisMonth);
        QCOMPARE(window->monthlyTable().rowCount(), 2); // the month and its year

        // Both tables are sound item models, and export and print as the window shows them.
        QAbstractItemModelTester monthTester(window->monthView->model());
        QAbstractItemModelTester partyTester(window->partyView->model());
        const QString target = session.book.file(QStringLiteral("月度.csv"));
        testsupport::scripted().fileNames = {target};
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "ignore");
        window->csvButton->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(0), QStringLiteral("月份,收入合计,已收金额,应收账款,支出合计,"
                                                "已付金额,应付账款,收支差额"));
        QCOMPARE(lines.value(1).section(u',', 0, 1),
                 month + u',' + formats::general(window->monthlyTable().value(0, 1).toDouble()));
        QCOMPARE(lines.size(), 4); // the month, its year, and the end of the last line
        window->tabs->setCurrentIndex(1);
        window->printButton->click();
        auto* preview = window->findChild<TPreviewForm*>();
        QVERIFY(preview);
        QTRY_VERIFY(preview->pageCount() >= 1);
        preview->close();

        // The grid's menu brings the same window forward, not a second one.
        MainForm->statisticsAction->trigger();
        QCOMPARE(openedWindow(), window);
        window->close();
    }

public slots:
    void ignore(const QUrl&) {}
};

QUENVALE_TEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
