// The entry panel's steps and commands: what the buttons do with the typed record.
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/bookwriter.h"
#include "data/errors.h"
#include "data/formats.h"
#include "data/namelists.h"
#include "gui/datefield.h"
#include "gui/formfields.h"
#include "gui/keyfilter.h"
#include "gui/messages.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

void EntryPanel::bind(Dataset* listing, Dataset* inserts, std::function<QSqlDatabase()> connection)
{
    m_listing = listing;
    m_inserts = inserts;
    m_connection = std::move(connection);
    delete m_names;
    m_names = new NameLists(listing->writer(), this);
    ComboBox3->setModel(m_names->summaries());
    ComboBox2->setModel(m_names->counterparties());
}

void EntryPanel::requireBook() const
{
    if (!m_listing || !m_inserts || !m_connection)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void EntryPanel::setAmountState(bool incomeWritable)
{
    auto state = [this](QLineEdit* field, bool writable) {
        field->setReadOnly(!writable);
        QPalette p = field->palette();
        p.setColor(QPalette::Base,
                   writable ? palette().color(QPalette::Base) : palette().color(QPalette::Button));
        field->setPalette(p);
    };
    state(Edit9, incomeWritable);
    state(Edit13, incomeWritable);
    state(Edit28, !incomeWritable);
    state(Edit1, !incomeWritable);
}

void EntryPanel::computeStep()
{
    if (Edit9->text().isEmpty() || Edit13->text().isEmpty() || Edit1->text().isEmpty() ||
        Edit28->text().isEmpty())
        return;
    const double income = formats::parseFloat(Edit9->text());
    const double received = formats::parseFloat(Edit13->text());
    const double paid = formats::parseFloat(Edit1->text());
    const double expense = formats::parseFloat(Edit28->text());
    Edit3->setText(formats::general(income - received));
    Edit4->setText(formats::general(expense - paid));
}

void EntryPanel::kindStep()
{
    const QString kind = ComboBox1->currentText();
    if (kind == kIncome) {
        setAmountState(true);
        Edit28->setText(QStringLiteral("0"));
        Edit1->setText(QStringLiteral("0"));
        Edit9->clear();
        Edit13->clear();
    } else if (kind == kExpense) {
        setAmountState(false);
        Edit9->setText(QStringLiteral("0"));
        Edit13->setText(QStringLiteral("0"));
        Edit28->clear();
        Edit1->clear();
    }
}

void EntryPanel::kindStateStep()
{
    setAmountState(ComboBox1->currentText() == kIncome);
}

void EntryPanel::clearStep()
{
    ComboBox1->setCurrentIndex(ComboBox1->findText(kIncome));
    ComboBox1->setEditText(kIncome);
    ComboBox3->setEditText(QString());
    Edit9->clear();
    Edit13->clear();
    Edit28->setText(QStringLiteral("0"));
    Edit1->setText(QStringLiteral("0"));
    ComboBox2->setEditText(QString());
    // The kind shows 收入, so the panel is fully in the income state.
    setAmountState(true);
}

bool EntryPanel::validate()
{
    return RequireComboText(ComboBox1, QStringLiteral("收支类别必须输入！")) && kindIsKnown() &&
           RequireComboText(ComboBox3, QStringLiteral("项目摘要必须输入！")) &&
           RequireEditText(Edit9, QStringLiteral("收入合计必须输入！")) &&
           RequireEditText(Edit13, QStringLiteral("已收金额必须输入！")) &&
           RequireEditText(Edit28, QStringLiteral("支出合计必须输入！")) &&
           RequireEditText(Edit1, QStringLiteral("已付金额必须输入！")) && amountsWithinLimit();
}

bool EntryPanel::kindIsKnown()
{
    // Any other word would be listed by neither kind box and open as an expense.
    const QString kind = ComboBox1->currentText().trimmed();
    if (kind == kIncome || kind == kExpense)
        return true;
    messages().warning(window(), QStringLiteral("收支类别只能是收入或支出！"));
    ComboBox1->setFocus(Qt::OtherFocusReason);
    return false;
}

QList<QPair<QLineEdit*, QString>> EntryPanel::amountFields() const
{
    return {{Edit9, QStringLiteral("收入合计")},
            {Edit13, QStringLiteral("已收金额")},
            {Edit28, QStringLiteral("支出合计")},
            {Edit1, QStringLiteral("已付金额")}};
}

bool EntryPanel::amountsWithinLimit()
{
    for (const auto& [field, name] : amountFields()) {
        const double amount = formats::parseFloat(field->text());
        QString problem;
        // Money is whole cents, and no more than a cash book can hold.
        if (std::fabs(amount) >= kAmountLimit)
            problem = QStringLiteral("超出范围：金额的整数部分最多12位！");
        else if (std::round(amount * 100) / 100 != amount)
            problem = QStringLiteral("最多只能有两位小数（金额以分为单位）！");
        if (problem.isEmpty())
            continue;
        messages().warning(window(), name + problem);
        field->setFocus();
        return false;
    }
    return true;
}

bool EntryPanel::storedAmountsTypedOver()
{
    for (const auto& [field, name] : amountFields()) {
        // Letters cannot be typed here: they were read from a book of another program.
        const QString text = field->text();
        if (std::all_of(text.cbegin(), text.cend(), &KeyFilter::amountCharacter))
            continue;
        messages().warning(window(),
                           name + QStringLiteral("中的“%1”不是金额，请输入数字！").arg(text));
        field->setFocus();
        field->selectAll();
        return false;
    }
    return true;
}

CashRecord EntryPanel::validatedRecord()
{
    auto amount = [](const QLineEdit* field) { return formats::parseFloat(field->text()); };
    CashRecord r;
    r.kind = ComboBox1->currentText().trimmed();
    r.summary = ComboBox3->currentText().trimmed();
    r.counterparty = ComboBox2->currentText().trimmed();
    r.income = amount(Edit9);
    r.received = amount(Edit13);
    r.receivable = amount(Edit3);
    r.expense = amount(Edit28);
    r.paid = amount(Edit1);
    r.payable = amount(Edit4);
    r.date = formats::dateText(formats::parseDate(DBDateTimeEditEh1->enteredText()));
    return r;
}

void EntryPanel::writeRecord(Dataset* target, const CashRecord& record)
{
    try {
        for (const auto& [column, value] : record.columnValues())
            target->setValue(column, value);
        target->post(); // one statement: the row is written whole or not at all
    } catch (...) {
        target->cancel();
        throw;
    }
}

void EntryPanel::Button1Click()
{
    if (!storedAmountsTypedOver())
        return;
    computeStep();
    if (!validate())
        return;
    const CashRecord record = validatedRecord();
    requireBook();
    m_inserts->append();
    writeRecord(m_inserts, record);
    listsAfterOwnWrite();
    messages().information(window(), QStringLiteral("增加数据成功！"));
    kindStep();
    if (m_allRecords)
        m_allRecords();
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
}

void EntryPanel::Button3Click()
{
    if (!storedAmountsTypedOver())
        return;
    computeStep();
    if (!messages().question(window(), QStringLiteral("你确实要修改选中资料吗？")))
        return;
    if (!validate())
        return;
    const CashRecord record = validatedRecord();
    requireBook();
    // The record that was opened, whatever row is current or listed now.
    if (m_openedKey == 0)
        throw DatabaseError(QStringLiteral("没有打开要修改的记录，请双击表格中的记录后再修改。"));
    // A search may have taken the record out of the listing; it is still in the book. Where it
    // is listed, the listing follows the write.
    try {
        m_listing->writer()->modify(m_openedKey, m_opened, record);
    } catch (const ConflictError&) {
        // The panel keeps what was typed; a second 修 改 writes it over what the book holds now.
        rereadAfterConflict();
        if (m_listing->isOpen() && m_listing->locateKey(m_openedKey))
            m_opened = CashRecord::fromRow(m_listing->rowValues());
        throw;
    } catch (const MissingRowError&) {
        rereadAfterConflict();
        closePanel();
        throw;
    }
    listsAfterOwnWrite();
    if (m_allRecords)
        m_allRecords();
    hide();
    messages().information(window(), QStringLiteral("修改数据成功！"));
    kindStep();
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
    Button3->setEnabled(false);
    m_openedKey = 0;
}

void EntryPanel::openForModify()
{
    if (!m_grid || m_grid->firstFieldText().isEmpty())
        return;
    Dataset* listing = m_grid->listing();
    listsForOpening();
    show();
    raise();
    Button1->hide();
    Button3->show();
    Button3->setEnabled(true);
    ComboBox1->setEditText(listing->text(QStringLiteral("a")));
    ComboBox3->setEditText(listing->text(QStringLiteral("b")));
    ComboBox2->setEditText(listing->text(QStringLiteral("c")));
    // Totals first: setting them copies into received and paid, which come next.
    Edit9->setText(listing->text(QStringLiteral("1")));
    Edit13->setText(listing->text(QStringLiteral("2")));
    Edit28->setText(listing->text(QStringLiteral("4")));
    Edit1->setText(listing->text(QStringLiteral("5")));
    // A day that is no date is shown as stored, never as the date shown before.
    const QString day = listing->text(QStringLiteral("day1"));
    const bool dated = QDate::fromString(day.left(10), QStringLiteral("yyyy-MM-dd")).isValid();
    DBDateTimeEditEh1->setEnteredText(dated ? day.left(10) : day);
    kindStateStep();
    m_openedKey = listing->key();
    m_opened = CashRecord::fromRow(listing->rowValues());
}

void EntryPanel::deleteRecord()
{
    if (!messages().question(window(), QStringLiteral("你真的要删除选中资料吗？")))
        return;
    requireBook();
    if (!m_listing->isOpen())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const qint64 removed = m_listing->isEmpty() ? 0 : m_listing->key();
    try {
        m_listing->deleteCurrent();
    } catch (const ConflictError&) {
        rereadAfterConflict();
        throw;
    } catch (const MissingRowError&) {
        rereadAfterConflict();
        throw;
    }
    listsAfterOwnWrite();
    if (removed == m_openedKey)
        m_openedKey = 0;
    messages().information(window(), QStringLiteral("删除数据成功！"));
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
}

void EntryPanel::rereadAfterConflict()
{
    // The operator decides anew on what the book holds now; the message says what that is.
    // Reading the lists again must not take what was typed into the panel.
    const QString typed[] = {ComboBox1->currentText(), ComboBox2->currentText(),
                             ComboBox3->currentText()};
    if (m_allRecords)
        m_allRecords();
    ComboBox1->setEditText(typed[0]);
    ComboBox2->setEditText(typed[1]);
    ComboBox3->setEditText(typed[2]);
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
}

void EntryPanel::newRecord()
{
    listsForOpening();
    show();
    raise();
    clearStep();
    Button3->hide();
    Button1->show();
    m_openedKey = 0;
}

void EntryPanel::closePanel()
{
    hide();
    clearStep();
    Button3->setEnabled(false);
    m_openedKey = 0;
}
