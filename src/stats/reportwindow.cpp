#include "stats/reportwindow.h"

#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "data/dm.h"
#include "data/formats.h"
#include "export/exportflow.h"
#include "gui/commandguard.h"
#include "stats/statsmodel.h"

#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

ReportWindow::ReportWindow(const char* name, const QString& title, QWidget* owner)
    : QWidget(owner), m_title(title), m_model(new StatsModel(this)),
      m_printSettings(new TPrintDBGridEh(this))
{
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose, true);
    resize(960, 620);

    choices = new QHBoxLayout;
    headingLabel = new QLabel(this);
    headingLabel->setObjectName(QStringLiteral("headingLabel"));
    view = new QTableView(this);
    view->setObjectName(QStringLiteral("reportView"));
    view->setModel(m_model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setMinimumSectionSize(90);
    view->horizontalHeader()->setStretchLastSection(false);
    QPalette p = view->horizontalHeader()->palette();
    p.setColor(QPalette::Button, QColor(166, 202, 240));
    p.setColor(QPalette::ButtonText, Qt::black);
    view->horizontalHeader()->setPalette(p);

    auto button = [this](const QString& caption, const char* objectName) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(objectName));
        return b;
    };
    pdfButton = button(QStringLiteral("导出PDF文件"), "pdfButton");
    xlsxButton = button(QStringLiteral("导出Excel 2007文件(.xlsx)"), "xlsxButton");
    csvButton = button(QStringLiteral("导出CSV文件"), "csvButton");
    printButton = button(QStringLiteral("打印报表"), "printButton");
    closeButton = button(QStringLiteral("关 闭"), "closeButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {pdfButton, xlsxButton, csvButton, printButton, closeButton})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(headingLabel);
    layout->addWidget(view, 1);
    layout->addLayout(buttons);

    m_printSettings->setObjectName(QStringLiteral("reportPrintSettings"));
    connectGuarded(pdfButton, &QPushButton::clicked, this, &ReportWindow::exportPdf);
    connectGuarded(xlsxButton, &QPushButton::clicked, this, &ReportWindow::exportXlsx);
    connectGuarded(csvButton, &QPushButton::clicked, this, &ReportWindow::exportCsv);
    connectGuarded(printButton, &QPushButton::clicked, this, &ReportWindow::printTable);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

const stats::StatTable& ReportWindow::table() const
{
    return m_model->table();
}

void ReportWindow::setTable(stats::StatTable table, const QString& heading)
{
    m_heading = heading;
    headingLabel->setText(heading);
    m_model->setTable(std::move(table));
    // The summary or the counterparty takes the room the figures leave.
    const stats::StatTable& shown = m_model->table();
    bool stretched = false;
    for (int col = 0; col < shown.columnCount(); ++col) {
        const bool stretch = !stretched && shown.columnKind(col) == TableSource::Kind::Text;
        view->horizontalHeader()->setSectionResizeMode(
            col, stretch ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
        stretched = stretched || stretch;
    }
}

bool ReportWindow::bookOpen()
{
    return dmfm && dmfm->connected();
}

QSqlDatabase ReportWindow::book()
{
    return dmfm->connection();
}

report::Content ReportWindow::content() const
{
    const stats::StatTable& t = table();
    m_printSettings->title = m_heading;
    m_printSettings->beforeGridText.first().text = m_title;
    m_printSettings->substitutions = {
        {QStringLiteral("%[Today]"), formats::dateText(QDate::currentDate())}};
    report::Content c = m_printSettings->content();
    c.footerRow = false; // the tables end with their own totals
    for (int col = 0; col < t.columnCount(); ++col) {
        const QString title = t.columnTitle(col);
        const TableSource::Kind kind = t.columnKind(col);
        const bool text = kind == TableSource::Kind::Text;
        const double width = kind == TableSource::Kind::Date ? 90.0 : text ? 160.0 : 100.0;
        c.columns.append({col, title.section(u'|', 0, 0), title.section(u'|', -1), width,
                          kind == TableSource::Kind::Date ? Qt::AlignHCenter
                          : text                          ? Qt::AlignLeft
                                                          : Qt::AlignRight});
    }
    c.rows.reserve(t.rowCount());
    c.rowColours.reserve(t.rowCount());
    for (int row = 0; row < t.rowCount(); ++row) {
        QStringList texts;
        texts.reserve(t.columnCount());
        for (int col = 0; col < t.columnCount(); ++col)
            texts << StatsModel::cellText(t, row, col);
        c.rows << texts;
        c.rowColours << (t.isTotalRow(row) ? QColor(255, 194, 134) : report::rowColour(row, 1));
    }
    return c;
}

void ReportWindow::exportPdf()
{
    exporting::savePdf(this, content(), m_printSettings->options, m_title);
}

void ReportWindow::exportXlsx()
{
    exporting::saveTable(
        this, table(), exporting::Format::Xlsx,
        {m_title, m_title, QStringLiteral("Quenvale"), QDateTime::currentDateTime(), m_heading});
}

void ReportWindow::exportCsv()
{
    exporting::saveTable(this, table(), exporting::Format::Csv);
}

void ReportWindow::printTable()
{
    auto* preview = new TPreviewForm(m_printSettings, content(), this);
    preview->showMaximized();
}
