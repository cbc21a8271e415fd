// The cash book's query commands: the base listing, the quick query, the month-only view and
// the balance line.
#include "app/cashbookwindow.h"
#include "cashbook/entrypanel.h"
#include "cashbook/gridcolumns.h"
#include "cashbook/recordgrid.h"
#include "data/dataset.h"
#include "data/dm.h"
#include "data/formats.h"
#include "data/moneysum.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "settings/settings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

CashBookWindow::CashBookWindow(QWidget* parent) : QMainWindow(parent) {}

QString CashBookWindow::baseQuery() const
{
    return Label7->text();
}

void CashBookWindow::connectCashBook()
{
    auto on = [this](auto* sender, auto signal, void (CashBookWindow::*handler)()) {
        connectGuarded(sender, signal, this, handler);
    };
    on(Button12, &QPushButton::clicked, &CashBookWindow::Button12Click);
    on(Button2, &QPushButton::clicked, &CashBookWindow::Button2Click);
    on(Button7, &QPushButton::clicked, &CashBookWindow::Button7Click);
    on(Edit24, &QLineEdit::textChanged, &CashBookWindow::Edit24Change);
    on(Edit2, &QLineEdit::textChanged, &CashBookWindow::Edit2Change);
    on(CheckBox2, &QCheckBox::clicked, &CashBookWindow::CheckBox2Click);
    on(CheckBox3, &QCheckBox::clicked, &CashBookWindow::CheckBox3Click);
    on(CheckBox1, &QCheckBox::toggled, &CashBookWindow::CheckBox1Changed);
    on(ToolButton7, &QToolButton::clicked, &CashBookWindow::ToolButton7Click);
    on(ToolButton19, &QToolButton::clicked, &CashBookWindow::ToolButton19Click);
    on(ToolButton22, &QToolButton::clicked, &CashBookWindow::ToolButton22Click);
    DBDateTimeEditEh2->installEventFilter(this);
    DBDateTimeEditEh3->installEventFilter(this);
}

bool CashBookWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in a search date goes on to the entry panel's item summary, when the panel is open.
    if ((watched == DBDateTimeEditEh2 || watched == DBDateTimeEditEh3) &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (Panel3->isVisible())
                Panel3->ComboBox3->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CashBookWindow::connectGridMenu()
{
    auto on = [this](QAction* action, void (CashBookWindow::*handler)()) {
        connectGuarded(action, &QAction::triggered, this, handler);
    };
    on(DBGridEh1->N2, &CashBookWindow::ToolButton7Click);
    on(DBGridEh1->N4, &CashBookWindow::ToolButton19Click);
    on(DBGridEh1->Excel1, &CashBookWindow::Excel1Click);
    on(DBGridEh1->N5, &CashBookWindow::ToolButton22Click);
}

void CashBookWindow::Button12Click()
{
    // The month view is this month's when it is read, however long the program has run.
    if (CheckBox1->isChecked())
        setBaseQuery(ListingQuery::month(QDate::currentDate()));
    DBGridEh1->setStaticFooterText(gridcolumns::kBalanceFooter, QString());
    Panel3->refillLists(dmfm->ADOQuery1);
    // A listing still current, or changed only by this program's own adds, changes and deletes,
    // is put back as a fresh reading leaves it; it is kept aside while a search is shown.
    dmfm->ADOQuery15->setKeptQuery(m_baseQuery);
    if (!dmfm->ADOQuery15->reopenUnchanged(m_baseQuery))
        dmfm->ADOQuery15->open(m_baseQuery);
    dmfm->ADOQuery15->last();
}

void CashBookWindow::Button2Click()
{
    ListingQuery::Criteria criteria;
    criteria.summary = Edit24->text();
    criteria.counterparty = Edit2->text();
    criteria.income = CheckBox2->isChecked();
    criteria.expense = CheckBox3->isChecked();
    // Checked before the listing is read, so a bad date leaves the listing as it was.
    if (CheckBox7->isChecked())
        criteria.days = {formats::parseDate(DBDateTimeEditEh2->enteredText()),
                         formats::parseDate(DBDateTimeEditEh3->enteredText())};
    DBGridEh1->setStaticFooterText(gridcolumns::kBalanceFooter, QString());
    dmfm->ADOQuery15->open(ListingQuery::quickSearch(criteria));
}

void CashBookWindow::Edit24Change()
{
    Button2Click();
}

void CashBookWindow::Edit2Change()
{
    Button2Click();
}

void CashBookWindow::CheckBox2Click()
{
    if (CheckBox2->isChecked()) {
        CheckBox3->setChecked(false);
        Button2Click();
    }
}

void CashBookWindow::CheckBox3Click()
{
    if (CheckBox3->isChecked()) {
        CheckBox2->setChecked(false);
        Button2Click();
    }
}

void CashBookWindow::CheckBox1Changed()
{
    if (CheckBox1->isChecked()) {
        Button12Click(); // which reads this month
        settings::write(settings::kMonthOnly, QStringLiteral("no"));
    } else {
        setBaseQuery(ListingQuery::allRecords());
        Button12Click();
        settings::write(settings::kMonthOnly, QStringLiteral("yes"));
    }
}

void CashBookWindow::Button7Click()
{
    // The footers' sums of the listing shown, each exact and the balance rounded once; a closed
    // listing shows no rows and balances to 0.
    using namespace gridcolumns;
    MoneySum sums[Count];
    Dataset* listing = dmfm->ADOQuery15;
    // One statement for the four while the listing is still being read.
    const std::vector<int> columns = {Income, Received, Expense, Paid};
    std::vector<int> fields;
    for (int column : columns)
        fields.push_back(listing->fieldIndex(field(column)));
    const std::vector<Dataset::Totals> figures = listing->totals(fields);
    for (size_t i = 0; i < columns.size(); ++i)
        sums[columns[i]] = figures[i].sum;
    MoneySum balance = sums[Income];
    balance -= sums[Expense];
    MoneySum settled = sums[Received];
    settled -= sums[Paid];
    Button12Click();
    // Set after the listing is read again: it describes the listing shown when it was asked for.
    DBGridEh1->setStaticFooterText(kBalanceFooter, QStringLiteral("收支合计余额：") +
                                                       balance.twoDecimals() + u'(' +
                                                       settled.twoDecimals() + u')');
}

void CashBookWindow::setBaseQuery(const ListingQuery& query)
{
    m_baseQuery = query;
    // The hidden label shows the base query, as the statement it reads.
    Label7->setText(query.toSql());
}
