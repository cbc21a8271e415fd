// The windows 往来对账单, 账龄分析 and 现金日记账 from 账务工具 and 收支统计: what they list,
// their exports read back, and the journal's printed pages with the sums they carry over.
#include "app/mainform.h"
#include "bills/xlsxreader.h"
#include "bills/zipreader.h"
#include "cashbook/printpreview.h"
#include "data/money.h"
#include "gui/datefield.h"
#include "ledger.h"
#include "stats/agingwindow.h"
#include "stats/journalwindow.h"
#include "stats/statementwindow.h"
#include "stats/statswindow.h"
#include "support/testsupport.h"

#include <QDesktopServices>
#include <QProcess>
#include <QRegularExpression>

#include <map>

using namespace testsupport;

namespace {

const QString kIn = QStringLiteral("收入");
const QString kOut = QStringLiteral("支出");

QString nfkc(const QString& text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC);
    // pdftotext also gives simplified forms from the radicals supplement, which NFKC keeps.
    static const std::pair<char16_t, char16_t> radicals[] = {
        {u'⻚', u'页'}, {u'⻅', u'见'}, {u'⻓', u'长'}, {u'⻋', u'车'}, {u'⻉', u'贝'},
        {u'⻔', u'门'}, {u'⻢', u'马'}, {u'⻛', u'风'}, {u'⻜', u'飞'}, {u'⻥', u'鱼'}};
    for (const auto& [radical, character] : radicals)
        folded.replace(QChar(radical), QChar(character));
    return folded;
}

// The lines of one page as pdftotext lays them out, NFKC (it gives some CJK as radicals).
QStringList pdfLines(const QString& pdf, int page)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
             QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("pdftotext failed on %s", qPrintable(pdf));
    return nfkc(QString::fromUtf8(p.readAllStandardOutput())).split(u'\n');
}

int pdfPages(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(60000);
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QStringList words(const QString& line)
{
    return line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

QString yuan(qint64 cents)
{
    return money::text(cents * (money::kUnitsPerYuan / 100));
}

qint64 cents(const QVariant& v)
{
    return qRound64(v.toDouble() * 100);
}

template <typename W> W* shown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<W*>(w); window && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

class ReportWindowsTest : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void openFile(const QUrl& url) { opened << url.toLocalFile(); }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init()
    {
        clearSettings();
        scripted().clear();
        opened.clear();
    }

    void statementFromToolsAndStatistics();
    void agingPrintedAndExported();
    void journalPagesCarryTheirSums();
};

void ReportWindowsTest::statementFromToolsAndStatistics()
{
    MainWindowSession session;
    const int year = QDate::currentDate().year();
    auto day = [year](int month, int d) { return QDate(year, month, d).toString(Qt::ISODate); };
    {
        ledger::Book book(session.book.bookPath());
        book.add(kIn, QDate(year - 1, 12, 20).toString(Qt::ISODate), QStringLiteral("旧货款"),
                 QStringLiteral("华信公司"), 50000, 20000);
        const int sale =
            book.add(kIn, day(2, 3), QStringLiteral("销售"), QStringLiteral("华信公司"), 120000, 0);
        book.settle(sale, day(3, 1), 70000, QStringLiteral("转账"));
        book.settle(0, day(1, 15), 30000);
        book.add(kOut, day(2, 10), QStringLiteral("进货"), QStringLiteral("恒通物流"), 80000,
                 10000);
    }
    session.reload();
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_D, Qt::ControlModifier);
    StatementWindow* window = MainForm->statementWindow;
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("往来对账单"));
    QCOMPARE(window->fromDate->date(), QDate(year, 1, 1));
    QCOMPARE(window->toDate->date(), QDate(year, 12, 31));
    QCOMPARE(window->partyCombo->count(), 2);
    // Nothing chosen yet: 查 询 asks for the counterparty.
    window->queryButton->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("单位名称必须输入！"));
    window->partyCombo->setEditText(QStringLiteral("华信公司"));
    window->queryButton->click();
    // The lines themselves are the figures' test's; here, that the window shows them.
    const stats::StatTable& t = window->table();
    QCOMPARE(t.rowCount(), 5);
    QCOMPARE(t.value(3, 1).toString(), QStringLiteral("收款：销售（转账）"));
    QCOMPARE(cents(t.value(4, 4)), 50000);

    // The CSV holds the same lines.
    const QString csvFile = session.book.file(QStringLiteral("对账单.csv"));
    scripted().fileNames = {csvFile};
    window->csvButton->click();
    QCOMPARE(opened, QStringList{csvFile});
    QFile csv(csvFile);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray csvBytes = csv.readAll();
    QVERIFY(csvBytes.startsWith("\xEF\xBB\xBF"));
    const QStringList csvLines = QString::fromUtf8(csvBytes).split(QStringLiteral("\r\n"));
    QCOMPARE(csvLines.value(0), QStringLiteral("日期,摘要,应收金额,已收金额,余额"));
    QCOMPARE(csvLines.value(3), QStringLiteral("%1,销售,1200,,1200").arg(day(2, 3)));

    // A double-click on a counterparty's 应付账款 in 收支统计 gives its payable statement.
    MainForm->statisticsClick();
    StatisticsWindow* statistics = MainForm->statisticsWindow;
    statistics->tabs->setCurrentIndex(1);
    const stats::StatTable& parties = statistics->counterpartyTable();
    int row = 0;
    while (row < parties.rowCount() && parties.value(row, 0) != QStringLiteral("恒通物流"))
        ++row;
    QVERIFY(row < parties.rowCount());
    emit statistics->partyView->doubleClicked(statistics->partyView->model()->index(row, 2));
    QCOMPARE(shown<StatementWindow>(), window);
    QCOMPARE(window->partyCombo->currentText(), QStringLiteral("恒通物流"));
    QVERIFY(window->payableButton->isChecked());
    QCOMPARE(window->table().columnTitle(3).section(u'|', -1), QStringLiteral("已付金额"));
    QCOMPARE(cents(window->table().value(window->table().rowCount() - 1, 4)), 70000);
    statistics->close();
    window->close();
}

void ReportWindowsTest::agingPrintedAndExported()
{
    MainWindowSession session;
    const QDate today = QDate::currentDate();
    {
        ledger::Book book(session.book.bookPath());
        book.add(kIn, today.addDays(-31).toString(Qt::ISODate), QStringLiteral("货款"),
                 QStringLiteral("华信公司"), 40000, 0);
        book.add(kIn, today.addDays(-30).toString(Qt::ISODate), QStringLiteral("货款"),
                 QStringLiteral("华信公司"), 10000, 0);
        const int old = book.add(kOut, today.addDays(-200).toString(Qt::ISODate),
                                 QStringLiteral("设备"), QStringLiteral("恒通物流"), 90000, 0);
        book.settle(old, today.addDays(-5).toString(Qt::ISODate), 30000);
    }
    session.reload();
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_G, Qt::ControlModifier);
    AgingWindow* window = MainForm->agingWindow;
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("账龄分析"));
    QCOMPARE(window->cutoffDate->date(), today);
    const stats::StatTable& t = window->table();
    QCOMPARE(t.rowCount(), 4);
    QCOMPARE(t.value(0, 0).toString(), QStringLiteral("恒通物流"));
    QCOMPARE(cents(t.value(0, 7)), 60000);
    QCOMPARE(cents(t.value(1, 3)), 10000);
    QCOMPARE(cents(t.value(1, 4)), 40000);

    window->printButton->click();
    TPreviewForm* preview = window->findChild<TPreviewForm*>();
    QVERIFY(preview);
    QTRY_COMPARE(preview->statusText(), QStringLiteral("第 1 页 共 1 页"));
    preview->close();
    const QString pdf = session.book.file(QStringLiteral("账龄.pdf"));
    scripted().fileNames = {pdf};
    window->pdfButton->click();
    QCOMPARE(scripted().lastFilter, QStringLiteral("PDF 文件 (*.pdf)"));
    QCOMPARE(opened, QStringList{pdf});
    const QString text = pdfLines(pdf, 1).join(u'\n');
    QVERIFY2(text.contains(nfkc(QStringLiteral("账龄分析"))), qPrintable(text));
    QVERIFY(text.contains(nfkc(QStringLiteral("截止日期：")) + today.toString(Qt::ISODate)));
    QVERIFY(text.contains(QStringLiteral("600.00")));
    // Asked again for the same file: No keeps it as it was.
    const QDateTime written = QFileInfo(pdf).lastModified();
    scripted().fileNames = {pdf};
    scripted().answers = {false};
    window->pdfButton->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
    QCOMPARE(QFileInfo(pdf).lastModified(), written);
    // A folder of that name: said, and nothing left behind.
    const QString folder = session.book.file(QStringLiteral("报表.pdf"));
    QVERIFY(QDir().mkdir(folder));
    scripted().fileNames = {folder};
    window->pdfButton->click();
    QVERIFY(scripted().lastText().startsWith(QStringLiteral("导出PDF文件失败：")));
    QCOMPARE(QDir(session.book.path()).entryList({QStringLiteral("*.part")}, QDir::Files),
             QStringList());
    window->close();
}

void ReportWindowsTest::journalPagesCarryTheirSums()
{
    MainWindowSession session;
    // Lines from October to December 2025 with the balance carried in from earlier ones.
    struct Line
    {
        QString day;
        int kind;
        qint64 key;
        QString summary;
        qint64 in;
        qint64 out;
    };
    QList<Line> lines;
    qint64 before = 0;
    {
        ledger::Book book(session.book.bookPath());
        book.setFact(QStringLiteral("opening_balance"), QStringLiteral("2500.00"));
        book.setFact(QStringLiteral("opening_date"), QStringLiteral("2025-01-01"));
        before = 250000;
        book.add(kOut, QStringLiteral("2025-09-30"), QStringLiteral("九月"), QStringLiteral("乙"),
                 12000, 12000);
        before -= 12000;
        QRandomGenerator random(32);
        int note = 0;
        for (int i = 0; i < 140; ++i) {
            const QString day =
                QDate(2025, 10, 1).addDays(random.bounded(92)).toString(Qt::ISODate);
            const QString kind = random.bounded(3) == 0 ? kOut : kIn;
            const qint64 total = random.bounded(100, 500000);
            const qint64 atEntry = random.bounded(4) == 0 ? 0 : random.bounded(total + 1);
            const QString summary = QStringLiteral("摘要%1").arg(i, 3, 10, QChar(u'0'));
            const int r = book.add(kind, day, summary, QStringLiteral("甲"), total, atEntry);
            const ledger::Record& rec = book.records[r];
            if (atEntry != 0)
                lines.append({day, 0, rec.id, summary, kind == kIn ? atEntry : 0,
                              kind == kIn ? 0 : atEntry});
            if (atEntry < total && random.bounded(2) == 0) {
                const QString later = QDate::fromString(day, Qt::ISODate)
                                          .addDays(random.bounded(20))
                                          .toString(Qt::ISODate);
                const QString mark = QStringLiteral("S%1").arg(++note);
                book.settle(r, later, total - atEntry, mark);
                if (later < QStringLiteral("2026-01-01")) {
                    const qint64 s = book.records[r].settlements.constLast().id;
                    lines.append(
                        {later, 1, s,
                         (kind == kIn ? QStringLiteral("收款：") : QStringLiteral("付款：")) +
                             summary + QStringLiteral("（") + mark + QStringLiteral("）"),
                         kind == kIn ? total - atEntry : 0, kind == kIn ? 0 : total - atEntry});
                }
            }
        }
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return std::tie(a.day, a.kind, a.key) < std::tie(b.day, b.kind, b.key);
    });
    // What a page ending after each line carries: the month so far and the balance.
    struct Carried
    {
        qint64 in = 0, out = 0, balance = 0;
    };
    std::map<QString, Carried> afterLine; // by summary, NFKC
    std::map<QString, Carried> monthTotals;
    Carried running{0, 0, before};
    QString month;
    for (const Line& l : lines) {
        if (l.day.left(7) != month) {
            month = l.day.left(7);
            running.in = running.out = 0;
        }
        running.in += l.in;
        running.out += l.out;
        running.balance += l.in - l.out;
        afterLine[nfkc(l.summary)] = running;
        monthTotals[month] = running;
    }

    session.reload();
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_J, Qt::ControlModifier);
    CashJournalWindow* window = MainForm->cashJournalWindow;
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("现金日记账"));
    QCOMPARE(window->fromMonth->date(), QDate(QDate::currentDate().year(), 1, 1));
    window->fromMonth->setDate(QDate(2025, 10, 1));
    window->toMonth->setDate(QDate(2025, 12, 1));
    QCOMPARE(window->table().rowCount(), 1 + lines.size() + 3 * 2 + 1);

    // The preview shows the first page at once.
    window->printButton->click();
    TPreviewForm* preview = window->findChild<TPreviewForm*>();
    QVERIFY(preview);
    QVERIFY(preview->pageCount() >= 1);
    QTRY_VERIFY(preview->pageCount() >= 4);
    preview->close();

    const QString pdf = session.book.file(QStringLiteral("日记账.pdf"));
    scripted().fileNames = {pdf};
    window->pdfButton->click();
    QCOMPARE(opened, QStringList{pdf});
    const int pages = pdfPages(pdf);
    QVERIFY(pages >= 4);
    const QString title = nfkc(QStringLiteral("现金日记账"));
    const QString heading = nfkc(QStringLiteral("期间：2025-10至2025-12"));
    Carried carried{0, 0, before}; // what the last line read leaves to carry
    QString broughtIn;
    auto text = [](const Carried& c) {
        return QStringList{yuan(c.in), yuan(c.out), yuan(c.balance)};
    };
    for (int page = 1; page <= pages; ++page) {
        const QStringList pageLines = pdfLines(pdf, page);
        const QString all =
            pageLines.join(QString()).remove(QRegularExpression(QStringLiteral("\\s")));
        QVERIFY2(all.contains(heading), qPrintable(all));
        QCOMPARE(all.contains(title + heading), page == 1); // the title before the first page
        bool sawBroughtIn = false;
        bool sawCarried = false;
        for (const QString& raw : pageLines) {
            const QStringList w = words(raw);
            if (w.isEmpty())
                continue;
            if (w.contains(nfkc(QStringLiteral("承前页")))) {
                QCOMPARE(w.mid(w.size() - 3), text(carried));
                sawBroughtIn = true;
            } else if (w.contains(nfkc(QStringLiteral("过次页")))) {
                QCOMPARE(w.mid(w.size() - 3), text(carried));
                sawCarried = true;
            } else if (w.contains(nfkc(QStringLiteral("本月合计")))) {
                const Carried m = monthTotals[w.value(0).left(7)];
                QCOMPARE(w.mid(w.size() - 3), text(m));
                carried.in = carried.out = 0;
            } else if (w.contains(nfkc(QStringLiteral("本年累计")))) {
                QCOMPARE(w.last(), yuan(carried.balance));
            } else if (w.contains(nfkc(QStringLiteral("结转下年")))) {
                QCOMPARE(w.last(), yuan(running.balance));
                QCOMPARE(page, pages);
            } else if (w.contains(nfkc(QStringLiteral("期初余额")))) {
                QCOMPARE(w.last(), yuan(before));
            } else {
                for (const QString& word : w) {
                    const auto it = afterLine.find(word);
                    if (it != afterLine.end()) {
                        QCOMPARE(w.last(), yuan(it->second.balance));
                        carried = it->second;
                    }
                }
            }
        }
        QCOMPARE(sawBroughtIn, page > 1);
        QCOMPARE(sawCarried, page < pages);
    }

    // The sheet: the rows as the window lists them, under the title, the period and the book.
    const QString xlsxFile = session.book.file(QStringLiteral("日记账.xlsx"));
    scripted().fileNames = {xlsxFile};
    window->xlsxButton->click();
    QFile xlsx(xlsxFile);
    QVERIFY(xlsx.open(QIODevice::ReadOnly));
    const bills::Table sheet = bills::readXlsx(bills::ZipReader(xlsx.readAll()));
    QCOMPARE(sheet.value(0).cells.value(3), QStringLiteral("现金日记账"));
    QVERIFY(sheet.value(1).cells.value(0).startsWith(QStringLiteral("期间：2025-10 至 2025-12")));
    QCOMPARE(sheet.constLast().cells.value(1), QStringLiteral("结转下年"));
    QCOMPARE(qRound64(sheet.constLast().cells.value(5).toDouble() * 100), running.balance);
    QVERIFY(!window->csvButton->isVisible());
    window->close();
}

QUENVALE_TEST_MAIN(ReportWindowsTest)
#include "tst_reportwindows.moc"
