#include "bills/billimportwindow.h"

#include "bills/bankmappingpage.h"
#include "bills/billrowsmodel.h"
#include "bills/billstore.h"
#include "bills/paymentbill.h"
#include "gui/commandguard.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString centsText(qint64 cents)
{
    return QString::number(static_cast<double>(cents) / 100.0, 'f', 2);
}

} // namespace

BillImportWindow::BillImportWindow(const QString& path, bills::BillStore& store,
                                   bills::MappingStore& mappings, QWidget* parent)
    : QDialog(parent), m_path(path), m_store(store), m_mappings(mappings)
{
    setObjectName(QStringLiteral("BillImportWindow"));
    setWindowTitle(QStringLiteral("导入账单"));
    resize(900, 560);
    auto* layout = new QVBoxLayout(this);
    pages = new QStackedWidget(this);
    pages->setObjectName(QStringLiteral("pages"));
    layout->addWidget(pages, 1);
    buildPasswordPage();
    mappingPage = new BankMappingPage(this);
    pages->addWidget(mappingPage);
    buildPreviewPage();

    auto* buttons = new QHBoxLayout;
    mappingButton = new QPushButton(QStringLiteral("列对应…"), this);
    mappingButton->setObjectName(QStringLiteral("mappingButton"));
    importButton = new QPushButton(QStringLiteral("导 入"), this);
    importButton->setObjectName(QStringLiteral("importButton"));
    cancelButton = new QPushButton(QStringLiteral("取 消"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    buttons->addWidget(mappingButton);
    buttons->addStretch();
    buttons->addWidget(importButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    importButton->setEnabled(false);
    mappingButton->setVisible(false);

    // Enter confirms the password or a choice; it must never import unseen rows, so no button
    // of this dialog is a default one.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
    connectGuarded(passwordButton, &QPushButton::clicked, this, &BillImportWindow::passwordClick);
    connectGuarded(passwordEdit, &QLineEdit::returnPressed, this, &BillImportWindow::passwordClick);
    connectGuarded(mappingPage->previewButton, &QPushButton::clicked, this,
                   &BillImportWindow::previewClick);
    connectGuarded(mappingButton, &QPushButton::clicked, this, &BillImportWindow::mappingClick);
    connectGuarded(importButton, &QPushButton::clicked, this, &BillImportWindow::importClick);
    connectGuarded(cancelButton, &QPushButton::clicked, this, &BillImportWindow::cancelClick);
    for (QCheckBox* box : {notCountedBox, neutralBox, closedBox})
        connectGuarded(box, &QCheckBox::toggled, this, &BillImportWindow::choicesChanged);
    connectGuarded(m_model, &BillRowsModel::ticksChanged, this, &BillImportWindow::updateSummary);
}

BillImportWindow::~BillImportWindow()
{
    m_model->setPreview(nullptr);
}

void BillImportWindow::buildPasswordPage()
{
    passwordPage = new QWidget(this);
    passwordPage->setObjectName(QStringLiteral("passwordPage"));
    auto* layout = new QVBoxLayout(passwordPage);
    layout->addStretch();
    auto* label = new QLabel(
        QStringLiteral("此账单是加密的压缩包。请输入解压密码（微信支付随账单发送的密码）："),
        passwordPage);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    passwordEdit = new QLineEdit(passwordPage);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordButton = new QPushButton(QStringLiteral("确 定"), passwordPage);
    passwordButton->setObjectName(QStringLiteral("passwordButton"));
    row->addWidget(passwordEdit, 1);
    row->addWidget(passwordButton);
    layout->addLayout(row);
    passwordHint = new QLabel(passwordPage);
    passwordHint->setObjectName(QStringLiteral("passwordHint"));
    passwordHint->setStyleSheet(QStringLiteral("color: #c00000;"));
    layout->addWidget(passwordHint);
    layout->addStretch();
    pages->addWidget(passwordPage);
}

void BillImportWindow::buildPreviewPage()
{
    previewPage = new QWidget(this);
    previewPage->setObjectName(QStringLiteral("previewPage"));
    auto* layout = new QVBoxLayout(previewPage);
    layout->setContentsMargins(0, 0, 0, 0);
    titleLabel = new QLabel(previewPage);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    layout->addWidget(titleLabel);
    m_model = new BillRowsModel(this);
    rowsView = new QTableView(previewPage);
    rowsView->setObjectName(QStringLiteral("rowsView"));
    rowsView->setModel(m_model);
    rowsView->setSelectionBehavior(QAbstractItemView::SelectRows);
    rowsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rowsView->verticalHeader()->setDefaultSectionSize(22);
    rowsView->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(rowsView, 1);
    auto* choices = new QHBoxLayout;
    notCountedBox = new QCheckBox(QStringLiteral("计入不计收支的交易"), previewPage);
    notCountedBox->setObjectName(QStringLiteral("notCountedBox"));
    neutralBox = new QCheckBox(QStringLiteral("计入中性交易（充值、提现）"), previewPage);
    neutralBox->setObjectName(QStringLiteral("neutralBox"));
    closedBox = new QCheckBox(QStringLiteral("计入已关闭的交易"), previewPage);
    closedBox->setObjectName(QStringLiteral("closedBox"));
    choices->addWidget(notCountedBox);
    choices->addWidget(neutralBox);
    choices->addWidget(closedBox);
    choices->addStretch();
    layout->addLayout(choices);
    summaryLabel = new QLabel(previewPage);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    layout->addWidget(summaryLabel);
    pages->addWidget(previewPage);
}

void BillImportWindow::open()
{
    try {
        m_file = bills::readBillFile(m_path);
    } catch (const bills::BillPasswordError&) {
        pages->setCurrentWidget(passwordPage);
        passwordEdit->setFocus();
        return;
    }
    showFile();
}

void BillImportWindow::passwordClick()
{
    try {
        m_file = bills::readBillFile(m_path, passwordEdit->text());
    } catch (const bills::BillPasswordError& e) {
        passwordHint->setText(e.message());
        passwordEdit->selectAll();
        passwordEdit->setFocus();
        return;
    }
    passwordHint->clear();
    showFile();
}

void BillImportWindow::showFile()
{
    if (std::optional<bills::Bill> bill = bills::readPaymentBill(m_file)) {
        showPreview(std::move(*bill));
        return;
    }
    const std::optional<bills::BankMapping> remembered =
        bills::rememberedMapping(m_file, m_mappings);
    mappingPage->setFile(m_file, remembered ? *remembered : bills::guessMapping(m_file));
    if (remembered) {
        showPreview(bills::applyMapping(m_file, *remembered));
        return;
    }
    importButton->setEnabled(false);
    pages->setCurrentWidget(mappingPage);
}

void BillImportWindow::previewClick()
{
    const bills::BankMapping mapping = mappingPage->mapping();
    showPreview(bills::applyMapping(m_file, mapping));
    // After the preview is shown: a settings store that cannot be written must not stop it.
    m_mappings.remember(mapping);
}

void BillImportWindow::mappingClick()
{
    importButton->setEnabled(false);
    mappingButton->setVisible(false);
    pages->setCurrentWidget(mappingPage);
}

void BillImportWindow::showPreview(bills::Bill bill)
{
    QStringList numbers;
    numbers.reserve(bill.rows.size());
    for (const bills::BillRow& row : std::as_const(bill.rows))
        numbers.append(row.orderNo);
    const QSet<QString> imported = m_store.importedOrders(bill.source, numbers);
    m_model->setPreview(nullptr);
    m_preview = bills::BillPreview(std::move(bill), imported);
    if (notCountedBox->isChecked() || neutralBox->isChecked() || closedBox->isChecked())
        m_preview.setChoices(
            {notCountedBox->isChecked(), neutralBox->isChecked(), closedBox->isChecked()});
    m_model->setPreview(&m_preview);
    titleLabel->setText(
        QStringLiteral("%1：%2").arg(m_preview.bill().title, QFileInfo(m_path).fileName()));
    rowsView->resizeColumnsToContents();
    pages->setCurrentWidget(previewPage);
    mappingButton->setVisible(m_preview.bill().source.startsWith(u"bank:"));
    importButton->setEnabled(true);
    updateSummary();
}

void BillImportWindow::choicesChanged()
{
    m_preview.setChoices(
        {notCountedBox->isChecked(), neutralBox->isChecked(), closedBox->isChecked()});
    m_model->refresh();
    updateSummary();
}

void BillImportWindow::updateSummary()
{
    const int chosen = m_preview.chosenCount();
    summaryLabel->setText(QStringLiteral("共%1行：导入%2条（收入%3，支出%4），跳过%5条。")
                              .arg(m_preview.rowCount())
                              .arg(chosen)
                              .arg(centsText(m_preview.chosenIncomeCents()),
                                   centsText(m_preview.chosenExpenseCents()))
                              .arg(m_preview.rowCount() - chosen));
}

void BillImportWindow::importClick()
{
    const bills::BillImport chosen = m_preview.chosen();
    bills::BillStoreResult result;
    if (!chosen.records.isEmpty() || !chosen.settledOrderNos.isEmpty())
        result = m_store.store(chosen);
    const int skipped =
        m_preview.rowCount() - static_cast<int>(chosen.records.size()) + result.duplicates;
    messages().information(
        this, QStringLiteral("导入完成：新增%1条，跳过%2条。").arg(result.added).arg(skipped));
    accept();
}

void BillImportWindow::cancelClick()
{
    reject();
}

bool runBillImport(QWidget* parent, const QString& path, bills::BillStore& store,
                   bills::MappingStore* mappings)
{
    bills::SettingsMappingStore settingsStore;
    BillImportWindow window(path, store, mappings ? *mappings : settingsStore, parent);
    if (!guarded(parent, [&] { window.open(); }))
        return false;
    return window.exec() == QDialog::Accepted;
}
