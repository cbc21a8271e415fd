#include "cashbook/printpreview.h"

#include "cashbook/printsettings.h"
#include "cashbook/printsetup.h"
#include "cashbook/reportpreview.h"
#include "cashbook/reportrender.h"
#include "gui/commandguard.h"
#include "gui/messages.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace {

const char* const kZoomChoices[] = {"500%", "200%", "150%", "100%",   "75%",
                                    "50%",  "25%",  "10%",  "页宽度", "全部页面"};

} // namespace

TPreviewForm::TPreviewForm(TPrintDBGridEh* settings, report::Content content, QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_settings(settings), m_content(std::move(content)),
      m_printer(new QPrinter(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("PreviewForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("预览"));
    m_printer->setDocName(QStringLiteral("列表信息"));
    m_printer->setCreator(QStringLiteral("Quenvale"));
    m_printer->setFullPage(true);

    m_preview = new ReportPreview(m_printer, this);
    m_preview->setObjectName(QStringLiteral("PreviewWidget"));
    setCentralWidget(m_preview);
    connect(m_preview, &ReportPreview::previewChanged, this, [this] { updateStatus(); });
    // A long report is still being laid out: "停止" ends that too.
    connect(m_preview, &ReportPreview::layingOutChanged, this,
            [this](bool layingOut) { StopAction->setEnabled(layingOut || m_producing); });

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("PreviewToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    addToolBar(bar);
    auto command = [this, bar](const char* name, const QString& caption, auto handler) {
        QAction* action = bar->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connectGuarded(action, &QAction::triggered, this, handler);
        return action;
    };
    PrintAction = command("PrintAction", QStringLiteral("打印"), &TPreviewForm::printReport);
    SetupAction = command("SetupAction", QStringLiteral(" 打印设置"), &TPreviewForm::pageSetup);

    ZoomButton = new QToolButton(bar);
    ZoomButton->setObjectName(QStringLiteral("ZoomButton"));
    ZoomButton->setText(QStringLiteral("缩放"));
    ZoomButton->setPopupMode(QToolButton::InstantPopup);
    m_zoomMenu = new QMenu(ZoomButton);
    m_zoomMenu->setObjectName(QStringLiteral("ZoomMenu"));
    m_zoomGroup = new QActionGroup(this);
    for (const char* choice : kZoomChoices) {
        const QString text = QString::fromUtf8(choice);
        QAction* action = m_zoomMenu->addAction(text);
        action->setCheckable(true);
        m_zoomGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, text] { setZoomChoice(text); });
    }
    ZoomButton->setMenu(m_zoomMenu);
    bar->addWidget(ZoomButton);

    PriorAction = command("PriorAction", QStringLiteral("上一页"), &TPreviewForm::previousPage);
    NextAction = command("NextAction", QStringLiteral("下一页"), &TPreviewForm::nextPage);
    StopAction = command("StopAction", QStringLiteral("停止"), &TPreviewForm::stop);
    StopAction->setEnabled(false);
    CloseAction = bar->addAction(QStringLiteral("关闭"));
    CloseAction->setObjectName(QStringLiteral("CloseAction"));
    connect(CloseAction, &QAction::triggered, this, &QWidget::close);

    m_status = new QLabel(statusBar());
    m_status->setObjectName(QStringLiteral("PageStatus"));
    statusBar()->addWidget(m_status);

    setZoomChoice(QStringLiteral("全部页面"));
    if (m_settings)
        m_preview->setReport(&m_content, m_settings->options);
    StopAction->setEnabled(m_preview->isLayingOut());
    // The whole screen also where no window manager maximises it.
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
}

TPreviewForm::~TPreviewForm()
{
    // The preview widget paints through the printer until it is gone.
    delete m_preview;
    delete m_printer;
}

void TPreviewForm::produce(QPrinter* printer)
{
    if (!m_settings)
        return;
    setProducing(true);
    m_stopRequested = false;
    guarded(this, [this, printer] {
        report::render(*printer, m_content, m_settings->options, [this](int page, int) {
            // Lets "停止" be clicked while a long book is produced.
            if (page > 0 && page % 5 == 0)
                QCoreApplication::processEvents();
            return !m_stopRequested;
        });
    });
    setProducing(false);
}

void TPreviewForm::setProducing(bool producing)
{
    m_producing = producing;
    StopAction->setEnabled(producing || m_preview->isLayingOut());
    for (QAction* action : {PrintAction, SetupAction, PriorAction, NextAction, CloseAction})
        action->setEnabled(!producing);
    ZoomButton->setEnabled(!producing);
}

void TPreviewForm::updateStatus()
{
    m_status->setText(statusText());
}

int TPreviewForm::pageCount() const
{
    return m_preview->pageCount();
}

int TPreviewForm::currentPage() const
{
    return m_preview->currentPage();
}

QString TPreviewForm::statusText() const
{
    return QString::asprintf("第 %d 页 共 %d 页", currentPage(), pageCount());
}

QStringList TPreviewForm::zoomChoices() const
{
    QStringList list;
    for (QAction* action : m_zoomMenu->actions())
        list << action->text();
    return list;
}

QString TPreviewForm::zoomChoice() const
{
    QAction* checked = m_zoomGroup->checkedAction();
    return checked ? checked->text() : QString();
}

void TPreviewForm::setZoomChoice(const QString& choice)
{
    for (QAction* action : m_zoomMenu->actions())
        if (action->text() == choice)
            action->setChecked(true);
    if (choice == QStringLiteral("页宽度")) {
        m_preview->fitToWidth();
    } else if (choice == QStringLiteral("全部页面")) {
        m_preview->fitInView();
    } else {
        QString percent = choice;
        percent.chop(1);
        m_preview->setZoomMode(QPrintPreviewWidget::CustomZoom);
        m_preview->setZoomFactor(percent.toDouble() / 100.0);
    }
    updateStatus();
}

void TPreviewForm::printReport()
{
    bool askedForFile = false;
    if (m_printer->outputFormat() == QPrinter::PdfFormat && m_printer->outputFileName().isEmpty()) {
        // No printer here: the report goes to a PDF file the operator names.
        const QString file = messages().saveFileName(this, QStringLiteral("PDF 文件 (*.pdf)"),
                                                     QStringLiteral("pdf"));
        if (file.isEmpty())
            return;
        m_printer->setOutputFileName(file);
        askedForFile = true;
    }
    produce(m_printer);
    if (askedForFile)
        m_printer->setOutputFileName(QString());
}

void TPreviewForm::pageSetup()
{
    if (!m_settings)
        return;
    TPrintSetupDialog dialog(m_settings, m_printer, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_preview->setOptions(m_settings->options);
        m_preview->restart();
    }
}

void TPreviewForm::previousPage()
{
    if (currentPage() > 1)
        m_preview->setCurrentPage(currentPage() - 1);
    updateStatus();
}

void TPreviewForm::nextPage()
{
    if (currentPage() < pageCount())
        m_preview->setCurrentPage(currentPage() + 1);
    updateStatus();
}

void TPreviewForm::stop()
{
    m_stopRequested = true;
    m_preview->stopLayout();
}

void TPreviewForm::closeEvent(QCloseEvent* event)
{
    if (m_producing) {
        // Closing waits for the pages in production; stop them first.
        m_stopRequested = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
