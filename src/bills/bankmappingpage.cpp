#include "bills/bankmappingpage.h"

#include "bills/billvalues.h"
#include "gui/commandguard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kSampleRows = 12;

QString noColumn()
{
    return QStringLiteral("（无）");
}

QString chosenColumn(const QComboBox* box)
{
    return box->currentIndex() <= 0 ? QString() : box->currentText();
}

} // namespace

BankMappingPage::BankMappingPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BankMappingPage"));
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(
        QStringLiteral("此文件不是支付宝或微信支付账单。请指明各列的含义（按列名记住，下次同样的"
                       "文件不再询问）："),
        this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    sampleView = new QTableWidget(this);
    sampleView->setObjectName(QStringLiteral("sampleView"));
    sampleView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sampleView->horizontalHeader()->setVisible(false);
    layout->addWidget(sampleView, 1);

    auto* grid = new QGridLayout;
    auto box = [this](const char* name) {
        auto* b = new QComboBox(this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    encodingBox = box("encodingBox");
    encodingBox->addItems({QStringLiteral("GBK"), QStringLiteral("UTF-8")});
    skipTopBox = new QSpinBox(this);
    skipTopBox->setObjectName(QStringLiteral("skipTopBox"));
    skipTopBox->setRange(0, 1000);
    skipBottomBox = new QSpinBox(this);
    skipBottomBox->setObjectName(QStringLiteral("skipBottomBox"));
    skipBottomBox->setRange(0, 1000);
    dateBox = box("dateBox");
    amountBox = box("amountBox");
    incomeBox = box("incomeBox");
    expenseBox = box("expenseBox");
    counterpartyBox = box("counterpartyBox");
    summaryBox = box("summaryBox");
    referenceBox = box("referenceBox");
    const QList<QPair<QString, QWidget*>> fields{
        {QStringLiteral("文件编码："), encodingBox},
        {QStringLiteral("跳过开头行数："), skipTopBox},
        {QStringLiteral("跳过末尾行数："), skipBottomBox},
        {QStringLiteral("日期："), dateBox},
        {QStringLiteral("金额（负数为支出）："), amountBox},
        {QStringLiteral("或 收入金额："), incomeBox},
        {QStringLiteral("支出金额："), expenseBox},
        {QStringLiteral("交易对方："), counterpartyBox},
        {QStringLiteral("摘要："), summaryBox},
        {QStringLiteral("流水号（查重）："), referenceBox},
    };
    for (int i = 0; i < fields.size(); ++i) {
        grid->addWidget(new QLabel(fields[i].first, this), i / 2, (i % 2) * 2, Qt::AlignRight);
        grid->addWidget(fields[i].second, i / 2, (i % 2) * 2 + 1);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);
    previewButton = new QPushButton(QStringLiteral("预 览"), this);
    previewButton->setObjectName(QStringLiteral("previewButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(previewButton);
    layout->addLayout(buttons);

    connectGuarded(encodingBox, &QComboBox::currentIndexChanged, this, &BankMappingPage::reload);
    connectGuarded(skipTopBox, &QSpinBox::valueChanged, this, &BankMappingPage::reload);
}

QList<QComboBox*> BankMappingPage::columnBoxes() const
{
    return {dateBox, amountBox, incomeBox, expenseBox, counterpartyBox, summaryBox, referenceBox};
}

void BankMappingPage::setFile(const bills::BillFile& file, const bills::BankMapping& mapping)
{
    m_file = file;
    m_loading = true;
    encodingBox->setCurrentText(mapping.encoding);
    skipTopBox->setValue(mapping.skipTop);
    skipBottomBox->setValue(mapping.skipBottom);
    m_loading = false;
    reload();
    const QStringList names{mapping.date,     mapping.amount,       mapping.income,
                            mapping.expense,  mapping.counterparty, mapping.summary,
                            mapping.reference};
    const QList<QComboBox*> boxes = columnBoxes();
    for (int i = 0; i < boxes.size(); ++i) {
        const int at = boxes[i]->findText(names[i]);
        boxes[i]->setCurrentIndex(names[i].isEmpty() || at < 0 ? 0 : at);
    }
}

void BankMappingPage::reload()
{
    if (m_loading)
        return;
    m_table = m_file.csvBytes.isEmpty() || encodingBox->currentText() == m_file.encoding
                  ? m_file.table
                  : bills::decodeCsv(m_file.csvBytes, encodingBox->currentText());
    m_header.clear();
    for (const bills::TableRow& row : std::as_const(m_table)) {
        int filled = 0;
        for (const QString& cell : row.cells)
            filled += bills::cleanCell(cell).isEmpty() ? 0 : 1;
        if (row.line > skipTopBox->value() && filled >= 2) {
            m_header = row.cells;
            break;
        }
    }
    int columns = 0;
    const int shown = static_cast<int>(qMin<qsizetype>(m_table.size(), kSampleRows));
    for (int r = 0; r < shown; ++r)
        columns = qMax(columns, static_cast<int>(m_table.at(r).cells.size()));
    sampleView->clear();
    sampleView->setRowCount(shown);
    sampleView->setColumnCount(columns);
    QStringList lines;
    for (int r = 0; r < shown; ++r) {
        lines.append(QString::number(m_table.at(r).line));
        const QStringList& cells = m_table.at(r).cells;
        for (int c = 0; c < cells.size(); ++c)
            sampleView->setItem(r, c, new QTableWidgetItem(cells.at(c).trimmed()));
    }
    sampleView->setVerticalHeaderLabels(lines);
    for (QComboBox* box : columnBoxes()) {
        const QString before = box->currentText();
        box->clear();
        box->addItem(noColumn());
        for (const QString& name : std::as_const(m_header))
            if (!bills::cleanCell(name).isEmpty())
                box->addItem(name.trimmed());
        const int at = box->findText(before);
        box->setCurrentIndex(at < 0 ? 0 : at);
    }
}

bills::BankMapping BankMappingPage::mapping() const
{
    bills::BankMapping m;
    m.encoding = encodingBox->currentText();
    m.skipTop = skipTopBox->value();
    m.skipBottom = skipBottomBox->value();
    m.header = m_header;
    m.date = chosenColumn(dateBox);
    m.amount = chosenColumn(amountBox);
    m.income = chosenColumn(incomeBox);
    m.expense = chosenColumn(expenseBox);
    m.counterparty = chosenColumn(counterpartyBox);
    m.summary = chosenColumn(summaryBox);
    m.reference = chosenColumn(referenceBox);
    return m;
}
