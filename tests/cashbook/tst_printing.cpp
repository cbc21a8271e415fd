#include "app/mainform.h"
#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "cashbook/printsetup.h"
#include "cashbook/recordgrid.h"
#include "cashbook/reportpreview.h"
#include "cashbook/reportrender.h"
#include "data/dm.h"
#include "printingfixture.h"
#include "support/testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>

#include <memory>

using namespace report;
using namespace printingtest;

class PrintingTest : public Fixture
{
    Q_OBJECT

private slots:
    void init()
    {
        testsupport::scripted().clear();
        m_book = std::make_unique<testsupport::BookFolder>();
        MainForm = new TMainForm;
        dmfm = new Tdmfm;
        MainForm->bindData();
        MainForm->show();
        MainForm->Button12Click();
    }

    void cleanup()
    {
        setPrintClock({});
        delete MainForm;
        MainForm = nullptr;
        delete dmfm;
        dmfm = nullptr;
        m_book.reset();
    }

    void shortBookFitsOnePage()
    {
        addRecords(3);
        TPreviewForm* preview = openPreview();
        QVERIFY(preview);
        QCOMPARE(preview->pageCount(), 1);
        const Layout layout = layoutOf();
        QCOMPARE(layout.pageCount(), 1);
        const Page& page = layout.pages[0];
        QCOMPARE(page.firstRow, 0);
        QCOMPARE(page.rowCount, 3);
        // Header, heading, title band, titles, rows, footer, date line: top to bottom.
        QList<Band::Kind> kinds;
        for (const Band& band : page.bands)
            if (kinds.isEmpty() || kinds.last() != band.kind)
                kinds << band.kind;
        QCOMPARE(kinds,
                 (QList<Band::Kind>{Band::Header, Band::Before, Band::TitleBand, Band::ColumnTitles,
                                    Band::Row, Band::Footer, Band::After}));
        for (int i = 1; i < page.bands.size(); ++i)
            QVERIFY(page.bands[i].rect.top() >= page.bands[i - 1].rect.bottom() - 0.01);
    }

    void emptyBookPrintsTitlesAndZeroFooter()
    {
        const Content content = settings()->content();
        QVERIFY(content.rows.isEmpty());
        QCOMPARE(content.footer.value(4), QStringLiteral("0"));
        const Layout layout = paginate(content, settings()->options, kA4);
        QCOMPARE(layout.pageCount(), 1);
        QVERIFY(layout.pages[0].has(Band::ColumnTitles));
        QVERIFY(layout.pages[0].has(Band::Footer));
        QCOMPARE(layout.pages[0].rowCount, 0);
    }

    void longBookRepeatsHeaderAndTitles()
    {
        addRecords(150);
        const Layout layout = layoutOf();
        QVERIFY(layout.pageCount() >= 3);
        int expectedFirst = 0;
        for (int i = 0; i < layout.pageCount(); ++i) {
            const Page& page = layout.pages[i];
            QCOMPARE(page.bands.first().kind, Band::Header);
            QVERIFY(page.has(Band::TitleBand));
            QVERIFY(page.has(Band::ColumnTitles));
            QCOMPARE(page.has(Band::Before), i == 0);
            const bool last = i == layout.pageCount() - 1;
            QCOMPARE(page.has(Band::Footer), last);
            QCOMPARE(page.has(Band::After), last);
            QCOMPARE(page.firstRow, expectedFirst);
            QVERIFY(page.rowCount > 0);
            expectedFirst += page.rowCount;
            for (const Band& band : page.bands)
                QVERIFY2(band.rect.bottom() <= layout.printable.bottom() + 0.01,
                         qPrintable(QStringLiteral("page %1 overflows").arg(i + 1)));
            if (last) {
                QVERIFY(page.find(Band::Footer)->rect.top() >=
                        page.bands[page.bands.size() - 3].rect.bottom() - 0.01);
                QVERIFY(page.find(Band::After)->rect.top() >=
                        page.find(Band::Footer)->rect.bottom() - 0.01);
            }
        }
        QCOMPARE(expectedFirst, 150);
        // Full pages after the first hold the same number of plain rows.
        QCOMPARE(layout.pages[1].rowCount, layout.pages[2].rowCount);
        QVERIFY(layout.pages[0].rowCount < layout.pages[1].rowCount);

        TPreviewForm* preview = openPreview();
        QCOMPARE(preview->pageCount(), layout.pageCount());
    }

    void rowsGrowToShowTheirText()
    {
        addRecords(1, QStringLiteral("一段很长的项目摘要，写满了这一格还要再换好几行才能写完"));
        addRecords(1);
        const Layout layout = layoutOf();
        QCOMPARE(layout.rowHeights.size(), 2);
        QVERIFY(layout.rowHeights[0] > 2 * layout.rowHeights[1] - 6);
        Options fixed = settings()->options;
        fixed.rowAutoStretch = false;
        const Layout flat = paginate(settings()->content(), fixed, kA4);
        QCOMPARE(flat.rowHeights[0], flat.rowHeights[1]);
    }

    void coloursFollowTheGrid()
    {
        addRecords(4); // income, income, expense, income
        const Content content = settings()->content();
        QCOMPARE(content.rowColours[0], QColor(Qt::white));
        QCOMPARE(content.rowColours[1], QColor(238, 238, 238));
        QCOMPARE(content.rowColours[2], QColor(192, 220, 192));
        QCOMPARE(content.rowColours[3], QColor(238, 238, 238));
        QCOMPARE(rowColour(0, 0.5), QColor(192, 220, 192));
        QCOMPARE(rowColour(0, 1.5), QColor(Qt::white));
        QCOMPARE(rowColour(0, -0.4), QColor(192, 220, 192));
        QCOMPARE(content.titleColour, QColor(166, 202, 240));
        QCOMPARE(content.footerColour, QColor(255, 194, 134));
    }

    void hiddenColumnsAndScaling()
    {
        addRecords(2);
        Layout layout = layoutOf();
        QCOMPARE(layout.widths.size(), 10);
        QCOMPARE(layout.gridWidth, 870.0);
        // 870 design units do not fit 21 cm less 4 cm: the grid shrinks as a whole.
        QVERIFY(qAbs(layout.gridScale - layout.printable.width() / 870.0) < 1e-9);
        const Band* band = layout.pages[0].find(Band::ColumnTitles);
        QVERIFY(qAbs(band->rect.width() - layout.printable.width()) < 0.01);

        const int hidden[] = {3, 5, 6, 8, 9};
        for (int column : hidden)
            MainForm->DBGridEh1->setColumnVisible(column, false);
        const Content content = settings()->content();
        QStringList lower;
        for (const Column& c : content.columns)
            lower << c.lower;
        QCOMPARE(lower, (QStringList{QStringLiteral("收支类别"), QStringLiteral("日 期"),
                                     QStringLiteral("项 目 摘 要"), QStringLiteral("合 计"),
                                     QStringLiteral("合 计")}));
        QCOMPARE(content.rows[0].size(), 5);
        QCOMPARE(content.rows[0][3], QStringLiteral("100"));
        layout = paginate(content, settings()->options, kA4);
        QCOMPARE(layout.gridWidth, 470.0);
        QCOMPARE(layout.gridScale, 1.0); // a narrower grid keeps its size

        for (int column : hidden)
            MainForm->DBGridEh1->setColumnVisible(column, true);
        Options widths = settings()->options;
        widths.fitMode = FitMode::ChangeColumnWidths;
        layout = paginate(settings()->content(), widths, kA4);
        QCOMPARE(layout.gridScale, 1.0);
        QVERIFY(qAbs(layout.gridWidth - layout.printable.width()) < 0.01);

        // Widths fitted to the texts: the counterparty column narrows to its short names.
        Options fitted = settings()->options;
        fitted.autoFitColumns = true;
        layout = paginate(settings()->content(), fitted, kA4);
        QVERIFY(layout.widths[3] < 120);
        QVERIFY(layout.widths[3] > 40);
    }

    void dateLineOnTwoDays()
    {
        addRecords(2);
        setPrintClock([] { return QDate(2024, 2, 29); });
        QVERIFY(openPreview());
        QCOMPARE(settings()->content().after.value(1).text, QStringLiteral("2024-02-29 "));
        QCOMPARE(settings()->afterGridText.value(1).text, QStringLiteral("%[Today] "));
        setPrintClock([] { return QDate(2025, 1, 5); });
        QVERIFY(openPreview());
        QCOMPARE(settings()->substitutions.size(), 1);
        QCOMPARE(settings()->content().after.value(1).text, QStringLiteral("2025-01-05 "));
        QCOMPARE(settings()->afterGridText.value(1).text, QStringLiteral("%[Today] "));
        // The same settings object serves every run.
        QCOMPARE(MainForm->findChildren<TPrintDBGridEh*>().size(), 1);
    }

    void pdfReadsAsTheReport()
    {
        addRecords(60);
        MainForm->DBGridEh1->setColumnVisible(3, false);
        MainForm->DBGridEh1->setStaticFooterText(2, QStringLiteral("收支合计余额：100.00(50.00)"));
        setPrintClock([] { return QDate(2024, 7, 1); });
        QVERIFY(openPreview());
        const QString pdf = m_book->file(QStringLiteral("report.pdf"));
        const int pages = renderToPdf(pdf, settings()->content(), settings()->options);
        QCOMPARE(pages, 2);
        const QString one = pdfPageText(pdf, 1);
        const QString two = pdfPageText(pdf, 2);
        QVERIFY2(one.contains(QStringLiteral("Page.1")), qPrintable(one.left(200)));
        QVERIFY(two.contains(QStringLiteral("Page.2")));
        QVERIFY(one.contains(QStringLiteral("财务报表")));
        QVERIFY(!two.contains(QStringLiteral("财务报表")));
        for (const QString& text : {one, two}) {
            QVERIFY(text.contains(squeezed(QStringLiteral("Quenvale ") + homePageAddress())));
            QVERIFY(text.contains(QStringLiteral("现金帐")));
            QVERIFY(text.contains(QStringLiteral("收支类别")));
            QVERIFY(text.contains(QStringLiteral("应付账款")));
            QVERIFY(!text.contains(QStringLiteral("单位名称")));
            QVERIFY(!text.contains(QStringLiteral("华兴商行")));
        }
        const Dataset* listing = dmfm->ADOQuery15;
        const QString firstRow = listing->valueAt(0, QStringLiteral("b")).toString();
        const QString lastRow = listing->valueAt(59, QStringLiteral("b")).toString();
        QVERIFY(one.contains(firstRow));
        QVERIFY(!one.contains(lastRow));
        QVERIFY(two.contains(lastRow));
        // Footer sums and the date only after the last row.
        const QString incomeSum = MainForm->DBGridEh1->footerText(4);
        QVERIFY(two.contains(QStringLiteral("收支合计余额：100.00(50.00)")
                                 .normalized(QString::NormalizationForm_KC)));
        QVERIFY(two.contains(incomeSum));
        QVERIFY(two.contains(QStringLiteral("2024-07-01")));
        QVERIFY(!one.contains(QStringLiteral("2024-07-01")));
        QVERIFY(!one.contains(QStringLiteral("收支合计余额")));
        QVERIFY(two.indexOf(QStringLiteral("2024-07-01")) > two.indexOf(lastRow));
    }

    void previewWindowCommands()
    {
        addRecords(150);
        TPreviewForm* preview = openPreview();
        QVERIFY(preview);
        QCOMPARE(preview->windowTitle(), QStringLiteral("预览"));
        QVERIFY(preview->windowState() & Qt::WindowMaximized);
        QVERIFY(!preview->isModal());
        QCOMPARE(preview->printer()->docName(), QStringLiteral("列表信息"));
        QCOMPARE(preview->zoomChoices(),
                 (QStringList{QStringLiteral("500%"), QStringLiteral("200%"),
                              QStringLiteral("150%"), QStringLiteral("100%"), QStringLiteral("75%"),
                              QStringLiteral("50%"), QStringLiteral("25%"), QStringLiteral("10%"),
                              QStringLiteral("页宽度"), QStringLiteral("全部页面")}));
        QCOMPARE(preview->zoomChoice(), QStringLiteral("全部页面"));
        QStringList captions;
        for (QAction* a : preview->findChild<QToolBar*>()->actions())
            captions << (a->text().isEmpty() ? QStringLiteral("缩放") : a->text());
        QCOMPARE(captions, (QStringList{QStringLiteral("打印"), QStringLiteral(" 打印设置"),
                                        QStringLiteral("缩放"), QStringLiteral("上一页"),
                                        QStringLiteral("下一页"), QStringLiteral("停止"),
                                        QStringLiteral("关闭")}));
        const int pages = preview->pageCount();
        QVERIFY(pages >= 3);
        QCOMPARE(preview->statusText(), QStringLiteral("第 1 页 共 %1 页").arg(pages));
        preview->NextAction->trigger();
        QCOMPARE(preview->statusText(), QStringLiteral("第 2 页 共 %1 页").arg(pages));
        QCOMPARE(preview->findChild<QLabel*>(QStringLiteral("PageStatus"))->text(),
                 preview->statusText());
        preview->PriorAction->trigger();
        preview->PriorAction->trigger();
        QCOMPARE(preview->currentPage(), 1);
        preview->setZoomChoice(QStringLiteral("200%"));
        QCOMPARE(preview->previewWidget()->zoomMode(), QPrintPreviewWidget::CustomZoom);
        QCOMPARE(preview->previewWidget()->zoomFactor(), 2.0);
        preview->setZoomChoice(QStringLiteral("页宽度"));
        QCOMPARE(preview->previewWidget()->zoomMode(), QPrintPreviewWidget::FitToWidth);

        // Closing without printing changes nothing.
        const int records = dmfm->ADOQuery15->recordCount();
        const int current = dmfm->ADOQuery15->recNo();
        preview->CloseAction->trigger();
        QTRY_VERIFY(MainForm->findChildren<TPreviewForm*>().isEmpty());
        QCOMPARE(dmfm->ADOQuery15->recordCount(), records);
        QCOMPARE(dmfm->ADOQuery15->recNo(), current);
    }

    void printWithoutPrinterWritesPdf()
    {
        if (!QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("a printer is installed here");
        addRecords(60);
        TPreviewForm* preview = openPreview();
        QCOMPARE(preview->printer()->outputFormat(), QPrinter::PdfFormat);
        // Cancelling the file name prints nothing.
        preview->PrintAction->trigger();
        QCOMPARE(testsupport::scripted().lastKind(), QStringLiteral("save"));
        QCOMPARE(QDir(m_book->path()).entryList({QStringLiteral("*.pdf")}).size(), 0);

        const QString pdf = m_book->file(QStringLiteral("printed.pdf"));
        testsupport::scripted().fileNames.push_back(pdf);
        preview->PrintAction->trigger();
        QVERIFY(QFileInfo(pdf).size() > 0);
        QVERIFY(pdfPageText(pdf, 2).contains(QStringLiteral("Page.2")));
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished(60000));
        QVERIFY(
            QString::fromUtf8(info.readAllStandardOutput()).contains(QStringLiteral("列表信息")));
        QCOMPARE(testsupport::scripted().lastKind(), QStringLiteral("save"));
    }

    void longReportIsLaidOutInTheBackground()
    {
        addRecords(300);
        const Layout full = layoutOf();
        QVERIFY(full.pageCount() > 6);
        // A page at a time gives the pages of one run.
        const Content content = settings()->content();
        Paginator paginator(content, settings()->options, kA4);
        while (paginator.advance(1))
            QVERIFY(paginator.completePages() < full.pageCount());
        QCOMPARE(paginator.completePages(), full.pageCount());
        for (int i = 0; i < full.pageCount(); ++i) {
            const Page& page = paginator.layout().pages[i];
            QCOMPARE(page.firstRow, full.pages[i].firstRow);
            QCOMPARE(page.rowCount, full.pages[i].rowCount);
            QCOMPARE(page.bands.size(), full.pages[i].bands.size());
            QCOMPARE(page.bands.last().rect, full.pages[i].bands.last().rect);
        }

        // The first page shows at once; "停止" ends the layout with the pages laid out so far.
        MainForm->ToolButton22Click();
        TPreviewForm* preview = MainForm->findChildren<TPreviewForm*>().last();
        QVERIFY(preview->StopAction->isEnabled());
        QVERIFY(preview->pageCount() > 0);
        preview->StopAction->trigger();
        QVERIFY(preview->pageCount() < full.pageCount());
        QVERIFY(!preview->StopAction->isEnabled());
        QVERIFY(preview->PrintAction->isEnabled());
        QCOMPARE(preview->statusText(),
                 QStringLiteral("第 1 页 共 %1 页").arg(preview->pageCount()));
        preview->previewWidget()->updatePreview();
        QCOMPARE(preview->pageCount(), full.pageCount());

        // Left alone, the count grows to the whole report; the last page shows the footer.
        preview->previewWidget()->restart();
        QVERIFY(preview->pageCount() < full.pageCount());
        QTRY_COMPARE(preview->pageCount(), full.pageCount());
        QVERIFY(!preview->StopAction->isEnabled());
        QCOMPARE(preview->currentPage(), 1);
        preview->NextAction->trigger();
        QCOMPARE(preview->currentPage(), 2);
        preview->previewWidget()->setCurrentPage(full.pageCount());
        QCOMPARE(preview->statusText(), QStringLiteral("第 %1 页 共 %1 页").arg(full.pageCount()));
        const QImage shown = preview->previewWidget()->viewport()->grab().toImage();
        const QColor footer = content.footerColour;
        bool footerSeen = false;
        for (int y = 0; y < shown.height() && !footerSeen; ++y)
            for (int x = 0; x < shown.width() && !footerSeen; x += 2)
                footerSeen = shown.pixelColor(x, y) == footer;
        QVERIFY(footerSeen);

        testsupport::insertRecord(m_book->bookPath(), QStringLiteral("收入"),
                                  QStringLiteral("2024-03-01"), QStringLiteral("大额"),
                                  QStringLiteral("华兴商行"), 987654321098.25, 1.5, 0, 0);
        // A second that cancels it: the widest figures are in the rows, not in the footer.
        testsupport::insertRecord(m_book->bookPath(), QStringLiteral("收入"),
                                  QStringLiteral("2024-03-02"), QStringLiteral("冲销"),
                                  QStringLiteral("华兴商行"), -987654321000.0, 0, 0, 0);
        MainForm->Button12Click();
        // The widest figure sets its column, as measuring every figure whole would.
        const QFontMetricsF metrics(printFont(settings()->options.fontName, 14));
        double widest = metrics.horizontalAdvance(settings()->content().footer[6]);
        for (const QStringList& row : settings()->content().rows)
            widest = std::max(widest, metrics.horizontalAdvance(row[6]));
        QVERIFY(widest > 70);
        QVERIFY(widest > metrics.horizontalAdvance(settings()->content().footer[6]));
        QCOMPARE(layoutOf().widths[6], widest + 8);
    }

    void previewPrintsAndScrollsWhileLayingOut()
    {
        if (!QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("a printer is installed here");
        addRecords(300);
        MainForm->ToolButton22Click();
        TPreviewForm* preview = MainForm->findChildren<TPreviewForm*>().last();
        ReportPreview* pages = preview->previewWidget();
        QVERIFY(pages->isLayingOut());
        const int full =
            paginate(settings()->content(), settings()->options, pageSizeOf(*preview->printer()))
                .pageCount();
        // Printed before the screen has every page, the paper still gets them all.
        const QString pdf = m_book->file(QStringLiteral("early.pdf"));
        testsupport::scripted().fileNames.push_back(pdf);
        preview->PrintAction->trigger();
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished(60000));
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput())
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(full))));

        QTRY_VERIFY(!pages->isLayingOut());
        QCOMPARE(preview->pageCount(), full);
        // The page mostly in view is the current one, wherever the scroll bar takes the view.
        pages->verticalScrollBar()->setValue(pages->verticalScrollBar()->maximum());
        QCOMPARE(preview->currentPage(), full);
        QCOMPARE(preview->findChild<QLabel*>(QStringLiteral("PageStatus"))->text(),
                 QStringLiteral("第 %1 页 共 %1 页").arg(full));
        pages->verticalScrollBar()->setValue(0);
        QCOMPARE(preview->currentPage(), 1);
        // Another zoom keeps the page being read.
        pages->setCurrentPage(3);
        preview->setZoomChoice(QStringLiteral("页宽度"));
        QCOMPARE(preview->currentPage(), 3);
        preview->setZoomChoice(QStringLiteral("50%"));
        QCOMPARE(preview->currentPage(), 3);
        QCOMPARE(pages->zoomFactor(), 0.5);
    }

    void pageSetupLastsForLaterRuns()
    {
        addRecords(60);
        TPreviewForm* preview = openPreview();
        const int before = preview->pageCount();
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = preview->findChild<TPrintSetupDialog*>();
            if (!dialog)
                return;
            seen = dialog->windowTitle() == QStringLiteral("打印设置");
            QCOMPARE(dialog->FontButton->text(), QStringLiteral("字体(&N)"));
            QCOMPARE(dialog->PrinterButton->text(), QStringLiteral("打印机设置(&P)"));
            dialog->TopMargin->setValue(12);
            dialog->ColouredBox->setChecked(false);
            dialog->OkButton->click();
        });
        preview->SetupAction->trigger();
        QVERIFY(seen);
        QCOMPARE(settings()->options.margins.top(), 12.0);
        QVERIFY(!settings()->options.coloured);
        QTRY_VERIFY(preview->pageCount() > before);
        preview->close();

        // Margins that leave no room are refused with a warning.
        QTimer::singleShot(0, this, [&] {
            auto* dialog = MainForm->findChildren<TPreviewForm*>().isEmpty()
                               ? nullptr
                               : MainForm->findChildren<TPreviewForm*>()
                                     .last()
                                     ->findChild<TPrintSetupDialog*>();
            if (!dialog)
                return;
            dialog->LeftMargin->setValue(15);
            dialog->RightMargin->setValue(15);
            dialog->OkButton->click();
            QVERIFY(dialog->isVisible());
            dialog->CancelButton->click();
        });
        TPreviewForm* again = openPreview();
        again->SetupAction->trigger();
        QCOMPARE(testsupport::scripted().lastKind(), QStringLiteral("warning"));
        QCOMPARE(settings()->options.margins.left(), 2.0);
        QCOMPARE(settings()->options.margins.top(), 12.0); // kept from the first run
    }
};

QUENVALE_TEST_MAIN(PrintingTest)
#include "tst_printing.moc"
