#include "history/historywindow.h"

#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/formats.h"
#include "data/history.h"
#include "export/exportflow.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/formfields.h"
#include "history/historymodels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The widest an entry's values are shown; the tooltip and the exports hold them whole.
constexpr int kValuesWidth = 330;
// Entries checked between two events: about a tenth of a second.
constexpr int kCheckSlice = 5000;

} // namespace

HistoryWindow::HistoryWindow(QWidget* owner)
    : QWidget(owner), m_model(new HistoryModel(this)), m_printSettings(new TPrintDBGridEh(this)),
      m_operator(history::currentOperator())
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("修改记录"));
    setAttribute(Qt::WA_DeleteOnClose, true);
    resize(1100, 600);

    buildFilters();
    view = new QTableView(this);
    view->setObjectName(QStringLiteral("historyView"));
    view->setModel(m_model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);

    chainLabel = new QLabel(this);
    chainLabel->setObjectName(QStringLiteral("chainLabel"));
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    csvButton = namedButton(this, QStringLiteral("导出CSV文件"), "csvButton");
    xlsxButton = namedButton(this, QStringLiteral("导出Excel 2007文件(.xlsx)"), "xlsxButton");
    printButton = namedButton(this, QStringLiteral("打印报表"), "printButton");
    closeButton = namedButton(this, QStringLiteral("关 闭"), "closeButton");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chainLabel);
    bottom->addSpacing(16);
    bottom->addWidget(countLabel, 1);
    for (QPushButton* b : {csvButton, xlsxButton, printButton, closeButton})
        bottom->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(findChild<QWidget*>(QStringLiteral("historyFilters")));
    layout->addWidget(view, 1);
    layout->addLayout(bottom);

    m_checkTimer = new QTimer(this);
    m_checkTimer->setSingleShot(true);
    m_checkTimer->setInterval(0);
    connectGuarded(m_checkTimer, &QTimer::timeout, this, &HistoryWindow::checkSlice);

    m_printSettings->setObjectName(QStringLiteral("historyPrintSettings"));
    m_printSettings->title = QStringLiteral("Quenvale 修改记录");

    connectGuarded(queryButton, &QPushButton::clicked, this, &HistoryWindow::refresh);
    connectGuarded(textEdit, &QLineEdit::returnPressed, this, &HistoryWindow::refresh);
    connectGuarded(dateCheck, &QCheckBox::toggled, this, &HistoryWindow::refresh);
    connectGuarded(userBox, &QComboBox::activated, this, &HistoryWindow::refresh);
    for (DateField* field : {fromDate, toDate})
        connectGuarded(field, &QDateEdit::dateChanged, this, [this] {
            if (dateCheck->isChecked())
                refresh();
        });
    connectGuarded(csvButton, &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connectGuarded(xlsxButton, &QPushButton::clicked, this, &HistoryWindow::exportXlsx);
    connectGuarded(printButton, &QPushButton::clicked, this, &HistoryWindow::printTable);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::buildFilters()
{
    auto* filters = new QWidget(this);
    filters->setObjectName(QStringLiteral("historyFilters"));
    dateCheck = new QCheckBox(QStringLiteral("日期："), filters);
    dateCheck->setObjectName(QStringLiteral("dateCheck"));
    const QDate today = QDate::currentDate();
    auto dateField = [filters](const char* name, const QDate& day) {
        auto* field = new DateField(filters);
        field->setObjectName(QString::fromLatin1(name));
        field->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        field->setCalendarPopup(true);
        field->setMinimumWidth(118);
        field->setDate(day);
        return field;
    };
    fromDate = dateField("fromDate", QDate(today.year(), today.month(), 1));
    toDate = dateField("toDate", today);
    userBox = new QComboBox(filters);
    userBox->setObjectName(QStringLiteral("userBox"));
    userBox->setMinimumWidth(120);
    textEdit = new QLineEdit(filters);
    textEdit->setObjectName(QStringLiteral("textEdit"));
    textEdit->setPlaceholderText(QStringLiteral("操作、操作员或修改前后的内容"));
    textEdit->setMinimumWidth(220);
    queryButton = namedButton(filters, QStringLiteral("查 询"), "queryButton");
    auto* row = new QHBoxLayout(filters);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(dateCheck);
    row->addWidget(fromDate);
    row->addWidget(new QLabel(QStringLiteral("至"), filters));
    row->addWidget(toDate);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("操作员："), filters));
    row->addWidget(userBox);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("内容："), filters));
    row->addWidget(textEdit, 1);
    row->addWidget(queryButton);
}

void HistoryWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    guarded(this, [this] {
        fillUsers();
        refresh();
        checkChain();
    });
}

void HistoryWindow::fillUsers()
{
    userBox->clear();
    if (!history::isAdministrator(m_operator)) {
        // Others see their own changes only.
        userBox->addItem(m_operator);
        userBox->setEnabled(false);
        userBox->setToolTip(QStringLiteral("只有超级管理员能看到所有操作员的修改"));
        return;
    }
    userBox->addItem(QStringLiteral("全部"));
    QSqlDatabase db = dmfm->connection();
    userBox->addItems(history::users(db));
}

void HistoryWindow::refresh()
{
    history::Filter filter;
    if (dateCheck->isChecked()) {
        filter.from = formats::parseDate(fromDate->enteredText());
        filter.to = formats::parseDate(toDate->enteredText());
    }
    if (!history::isAdministrator(m_operator))
        filter.user = m_operator;
    else if (userBox->currentIndex() > 0)
        filter.user = userBox->currentText();
    filter.text = textEdit->text().trimmed();
    QSqlDatabase db = dmfm->connection();
    // Nobody logged in has no changes of his own to see.
    const bool nobody = filter.user.isEmpty() && !history::isAdministrator(m_operator);
    m_model->setEntries(nobody ? QList<history::Entry>() : history::find(db, filter));
    view->resizeColumnsToContents();
    for (int column : {HistoryModel::Before, HistoryModel::After})
        view->setColumnWidth(column, std::min(view->columnWidth(column), kValuesWidth));
    const int shown = m_model->rowCount();
    countLabel->setText(shown >= filter.limit
                            ? QStringLiteral("只列出最新的 %1 条，请缩小查询范围").arg(shown)
                            : QStringLiteral("共 %1 条").arg(shown));
}

void HistoryWindow::checkChain()
{
    m_check = std::make_unique<history::ChainCheck>(dmfm->connection());
    chainLabel->setPalette(palette());
    chainLabel->setText(QStringLiteral("正在检查修改记录是否完整……"));
    m_checkTimer->start();
}

void HistoryWindow::checkSlice()
{
    if (!m_check)
        return;
    try {
        if (!m_check->step(kCheckSlice)) {
            chainLabel->setText(QStringLiteral("正在检查修改记录是否完整……（已检查 %1 条）")
                                    .arg(m_check->verdict().checked));
            m_checkTimer->start();
            return;
        }
    } catch (const QuenvaleError&) {
        m_check.reset();
        chainLabel->setText(QStringLiteral("没能检查修改记录是否完整"));
        throw;
    }
    const history::Verdict verdict = m_check->verdict();
    m_check.reset();
    chainLabel->setText(verdict.text());
    QPalette p = chainLabel->palette();
    p.setColor(QPalette::WindowText, verdict.intact() ? QColor(0, 110, 0) : QColor(190, 0, 0));
    chainLabel->setPalette(p);
    const int row = m_model->rowOf(verdict.firstBad);
    if (!verdict.intact() && row >= 0)
        view->selectRow(row);
}

void HistoryWindow::exportCsv()
{
    exporting::saveTable(this, *m_model, exporting::Format::Csv);
}

void HistoryWindow::exportXlsx()
{
    exporting::saveTable(this, *m_model, exporting::Format::Xlsx,
                         {QStringLiteral("修改记录"), QStringLiteral("修改记录"), m_operator,
                          QDateTime::currentDateTime()});
}

void HistoryWindow::printTable()
{
    // The printed page states the chain's verdict, never that the check was under way.
    while (m_check)
        checkSlice();
    m_printSettings->beforeGridText.first().text = QStringLiteral("修 改 记 录");
    m_printSettings->beforeGridText.last().text = chainLabel->text();
    m_printSettings->substitutions = {
        {QStringLiteral("%[Today]"), formats::dateText(QDate::currentDate())}};
    report::Content content = m_printSettings->content();
    static const double widths[HistoryModel::ColumnCount] = {45, 130, 80, 70, 45, 50, 260, 260};
    for (int c = 0; c < HistoryModel::ColumnCount; ++c) {
        const bool number = m_model->columnKind(c) == TableSource::Kind::Integer;
        const QString upper = c < HistoryModel::Before ? QStringLiteral("修 改 经 过")
                                                       : QStringLiteral("记 录 内 容");
        content.columns.append({c, upper, m_model->columnTitle(c), widths[c],
                                number ? Qt::AlignRight : Qt::AlignLeft});
        content.footer << QString();
    }
    for (int row = 0; row < m_model->rowCount(); ++row) {
        QStringList texts;
        for (int c = 0; c < HistoryModel::ColumnCount; ++c)
            texts << m_model->value(row, c).toString();
        content.rows << texts;
        content.rowColours << report::rowColour(row, 1);
    }
    auto* preview = new TPreviewForm(m_printSettings, content, this);
    preview->showMaximized();
}
