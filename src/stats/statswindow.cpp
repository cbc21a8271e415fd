#include "stats/statswindow.h"

#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "data/dataset.h"
#include "data/dm.h"
#include "data/formats.h"
#include "export/exportflow.h"
#include "gui/commandguard.h"
#include "stats/statsmodel.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

QFont sansFont(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QTableView* makeView(QAbstractItemModel* model, QWidget* parent, const char* name)
{
    auto* view = new QTableView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    QPalette p = view->horizontalHeader()->palette();
    p.setColor(QPalette::Button, QColor(166, 202, 240));
    p.setColor(QPalette::ButtonText, Qt::black);
    view->horizontalHeader()->setPalette(p);
    return view;
}

// The months from the first to the last, gaps included, so the chart's time runs evenly.
QStringList monthRange(const QList<stats::MonthRow>& months)
{
    QDate first;
    QDate last;
    for (const stats::MonthRow& m : months) {
        const QDate day = QDate::fromString(m.month + QStringLiteral("-01"), Qt::ISODate);
        if (!day.isValid())
            continue;
        if (!first.isValid() || day < first)
            first = day;
        if (!last.isValid() || day > last)
            last = day;
    }
    QStringList range;
    for (QDate d = first; d.isValid() && d <= last && range.size() < 600; d = d.addMonths(1))
        range << d.toString(QStringLiteral("yyyy-MM"));
    return range;
}

} // namespace

StatisticsWindow::StatisticsWindow(QWidget* owner)
    : QWidget(owner), m_monthModel(new StatsModel(this)), m_partyModel(new StatsModel(this)),
      m_refreshTimer(new QTimer(this)), m_printSettings(new TPrintDBGridEh(this))
{
    setObjectName(QStringLiteral("StatisticsWindow"));
    setWindowTitle(QStringLiteral("收支统计"));
    setAttribute(Qt::WA_DeleteOnClose, true);
    resize(1120, 600);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("statisticsTabs"));
    auto* splitter = new QSplitter(Qt::Horizontal);
    monthView = makeView(m_monthModel, splitter, "monthView");
    chartView = new QChartView(new QChart, splitter);
    chartView->setObjectName(QStringLiteral("chartView"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumWidth(380);
    splitter->addWidget(monthView);
    splitter->addWidget(chartView);
    // The table takes what its columns need; the chart takes the rest.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({600, 520});
    tabs->addTab(splitter, QStringLiteral("按月收支"));
    partyView = makeView(m_partyModel, nullptr, "partyView");
    partyView->horizontalHeader()->setMinimumSectionSize(120);
    tabs->addTab(partyView, QStringLiteral("往来余额（按单位名称）"));

    scopeLabel = new QLabel(this);
    scopeLabel->setObjectName(QStringLiteral("scopeLabel"));
    cashBasisBox = new QCheckBox(QStringLiteral("按收付日期"), this);
    cashBasisBox->setObjectName(QStringLiteral("cashBasisBox"));
    cashBasisBox->setToolTip(QStringLiteral("已收、已付金额按收款、付款的日期统计"));
    auto button = [this](const QString& caption, const char* name) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    csvButton = button(QStringLiteral("导出CSV文件"), "csvButton");
    xlsxButton = button(QStringLiteral("导出Excel 2007文件(.xlsx)"), "xlsxButton");
    printButton = button(QStringLiteral("打印报表"), "printButton");
    closeButton = button(QStringLiteral("关 闭"), "closeButton");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(scopeLabel, 1);
    buttons->addWidget(cashBasisBox);
    for (QPushButton* b : {csvButton, xlsxButton, printButton, closeButton})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(buttons);

    m_printSettings->setObjectName(QStringLiteral("statisticsPrintSettings"));
    m_printSettings->title = QStringLiteral("Quenvale 收支统计");

    connectGuarded(csvButton, &QPushButton::clicked, this, &StatisticsWindow::exportCsv);
    connectGuarded(xlsxButton, &QPushButton::clicked, this, &StatisticsWindow::exportXlsx);
    connectGuarded(printButton, &QPushButton::clicked, this, &StatisticsWindow::printTable);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connectGuarded(cashBasisBox, &QCheckBox::toggled, this, &StatisticsWindow::refresh);
    connectGuarded(partyView, &QTableView::doubleClicked, this,
                   &StatisticsWindow::partyDoubleClicked);

    // Many changes of the listing in a row (a typed search) cost one reading.
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connectGuarded(m_refreshTimer, &QTimer::timeout, this, &StatisticsWindow::refresh);

    if (dmfm)
        setListing(dmfm->ADOQuery15);
}

StatisticsWindow::~StatisticsWindow() = default;

void StatisticsWindow::setListing(Dataset* listing)
{
    if (m_listing)
        disconnect(m_listing, nullptr, this, nullptr);
    m_listing = listing;
    if (listing) {
        auto later = [this] { m_refreshTimer->start(); };
        connect(listing, &Dataset::resetDone, this, later);
        connect(listing, &Dataset::rowInserted, this, later);
        connect(listing, &Dataset::rowRemoved, this, later);
        connect(listing, &Dataset::rowChanged, this, later);
    }
    refresh();
}

void StatisticsWindow::refresh()
{
    m_refreshTimer->stop();
    QList<stats::MonthRow> months;
    QList<stats::PartyRow> parties;
    int records = 0;
    // A closed listing (a failed search, the book closed for a backup) has no records.
    if (m_listing && m_listing->isOpen() && dmfm && dmfm->connected()) {
        QSqlDatabase db = dmfm->connection();
        months = stats::monthly(db, m_listing->query(),
                                cashBasisBox->isChecked() ? stats::Basis::CashMoved
                                                          : stats::Basis::Records);
        parties = stats::openByCounterparty(db, m_listing->query());
        records = m_listing->recordCount();
    }
    m_monthModel->setTable(stats::monthlyTable(months, cashBasisBox->isChecked()));
    m_partyModel->setTable(stats::counterpartyTable(parties));
    scopeLabel->setText(QStringLiteral("统计当前列表的 %1 条记录").arg(records));
    rebuildChart(months);
}

const stats::StatTable& StatisticsWindow::monthlyTable() const
{
    return m_monthModel->table();
}

const stats::StatTable& StatisticsWindow::counterpartyTable() const
{
    return m_partyModel->table();
}

const stats::StatTable& StatisticsWindow::currentTable() const
{
    return tabs->currentIndex() == 0 ? monthlyTable() : counterpartyTable();
}

QChart* StatisticsWindow::chart() const
{
    return chartView->chart();
}

void StatisticsWindow::partyDoubleClicked(const QModelIndex& index)
{
    const stats::StatTable& table = counterpartyTable();
    if (!index.isValid() || index.row() >= table.rowCount())
        return; // the footer
    QString party = table.value(index.row(), 0).toString();
    if (party == stats::noCounterpartyLabel())
        party.clear();
    const bool payable = index.column() == 2 || table.value(index.row(), 1).toDouble() == 0;
    emit counterpartyChosen(party, payable);
}

void StatisticsWindow::rebuildChart(const QList<stats::MonthRow>& months)
{
    const bool cash = cashBasisBox->isChecked();
    QChart* chart = chartView->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis);
    chart->setTitle(cash ? QStringLiteral("每月已收与已付（柱）及累计收付差额（线）")
                         : QStringLiteral("每月收入与支出（柱）及累计结余（线）"));
    chart->setTitleFont(sansFont(14, true));
    chart->legend()->setFont(sansFont(12));
    chart->legend()->setAlignment(Qt::AlignBottom);

    const QStringList range = monthRange(months);
    auto* income = new QBarSet(cash ? QStringLiteral("已收金额") : QStringLiteral("收入合计"));
    auto* expense = new QBarSet(cash ? QStringLiteral("已付金额") : QStringLiteral("支出合计"));
    income->setColor(QColor(46, 139, 87));
    expense->setColor(QColor(205, 92, 92));
    auto* balance = new QLineSeries;
    balance->setName(cash ? QStringLiteral("累计收付差额") : QStringLiteral("累计结余"));
    balance->setColor(QColor(30, 80, 170));
    balance->setPointsVisible(true);
    double running = 0;
    double low = 0;
    double high = 0;
    for (int i = 0; i < range.size(); ++i) {
        double in = 0;
        double out = 0;
        for (const stats::MonthRow& m : months) {
            if (m.month == range[i]) {
                in = m.amounts[cash ? 1 : 0];
                out = m.amounts[cash ? 4 : 3];
            }
        }
        running += in - out;
        *income << in;
        *expense << out;
        balance->append(i, running);
        low = std::min({low, running, in, out});
        high = std::max({high, running, in, out});
    }
    auto* bars = new QBarSeries;
    bars->append(income);
    bars->append(expense);
    chart->addSeries(bars);
    chart->addSeries(balance);

    // Short month names (yy-MM) keep the axis readable; a long span turns them upright.
    QStringList labels;
    for (const QString& month : range)
        labels << month.mid(2);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setLabelsFont(sansFont(10));
    x->setTruncateLabels(false);
    if (range.size() > 18)
        x->setLabelsAngle(-90);
    auto* y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setLabelsFont(sansFont(11));
    y->setRange(low, high > low ? high : low + 1);
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

void StatisticsWindow::exportCsv()
{
    exporting::saveTable(this, currentTable(), exporting::Format::Csv);
}

void StatisticsWindow::exportXlsx()
{
    const stats::StatTable& table = currentTable();
    exporting::saveTable(
        this, table, exporting::Format::Xlsx,
        {table.name, table.name, QStringLiteral("Quenvale"), QDateTime::currentDateTime()});
}

void StatisticsWindow::printTable()
{
    const stats::StatTable& table = currentTable();
    QString spaced;
    for (QChar ch : table.name)
        spaced += (spaced.isEmpty() ? QString() : QStringLiteral(" ")) + ch;
    m_printSettings->beforeGridText.first().text = spaced;
    m_printSettings->substitutions = {
        {QStringLiteral("%[Today]"), formats::dateText(QDate::currentDate())}};
    report::Content content = m_printSettings->content();
    for (int c = 0; c < table.columnCount(); ++c) {
        const QString title = table.columnTitle(c);
        const bool text = table.columnKind(c) == TableSource::Kind::Text;
        content.columns.append({c, title.section(u'|', 0, 0), title.section(u'|', -1),
                                text ? 150.0 : 100.0, text ? Qt::AlignLeft : Qt::AlignRight});
        content.footer << StatsModel::footerCellText(table, c);
    }
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList texts;
        for (int c = 0; c < table.columnCount(); ++c)
            texts << StatsModel::cellText(table, row, c);
        content.rows << texts;
        content.rowColours << (table.isTotalRow(row) ? QColor(255, 194, 134)
                                                     : report::rowColour(row, 1));
    }
    auto* preview = new TPreviewForm(m_printSettings, content, this);
    preview->showMaximized();
}
