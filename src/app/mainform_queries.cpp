// The main window's query commands: the base listing, the quick query, the month-only
// view and the balance line.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/gridcolumns.h"
#include "cashbook/recordgrid.h"
#include "data/dataset.h"
#include "data/dm.h"
#include "data/formats.h"
#include "data/mylib.h"
#include "data/sql.h"
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

namespace {

const QString kAllRecords = QStringLiteral("select * from data order by day1");

QString monthQuery(const QDate& today)
{
    const QDate first(today.year(), today.month(), 1);
    const QDate last = first.addMonths(1).addDays(-1);
    // Dates come from the clock, never from typed text.
    return QStringLiteral("select * from data where day1>='%1' and day1<='%2' order by day1")
        .arg(formats::dateText(first), formats::dateText(last));
}

} // namespace

void TMainForm::connectCashBook()
{
    auto on = [this](auto* sender, auto signal, void (TMainForm::*handler)()) {
        connectGuarded(sender, signal, this, handler);
    };
    on(Button12, &QPushButton::clicked, &TMainForm::Button12Click);
    on(Button2, &QPushButton::clicked, &TMainForm::Button2Click);
    on(Button7, &QPushButton::clicked, &TMainForm::Button7Click);
    on(Edit24, &QLineEdit::textChanged, &TMainForm::Edit24Change);
    on(Edit2, &QLineEdit::textChanged, &TMainForm::Edit2Change);
    on(CheckBox2, &QCheckBox::clicked, &TMainForm::CheckBox2Click);
    on(CheckBox3, &QCheckBox::clicked, &TMainForm::CheckBox3Click);
    on(CheckBox1, &QCheckBox::toggled, &TMainForm::CheckBox1Changed);
    on(ToolButton7, &QToolButton::clicked, &TMainForm::ToolButton7Click);
    on(ToolButton19, &QToolButton::clicked, &TMainForm::ToolButton19Click);
    on(ToolButton22, &QToolButton::clicked, &TMainForm::ToolButton22Click);
    DBDateTimeEditEh2->installEventFilter(this);
    DBDateTimeEditEh3->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
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

void TMainForm::connectGridMenu()
{
    auto on = [this](QAction* action, void (TMainForm::*handler)()) {
        connectGuarded(action, &QAction::triggered, this, handler);
    };
    on(DBGridEh1->N2, &TMainForm::ToolButton7Click);
    on(DBGridEh1->N4, &TMainForm::ToolButton19Click);
    on(DBGridEh1->Excel1, &TMainForm::Excel1Click);
    on(DBGridEh1->N5, &TMainForm::ToolButton22Click);
}

void TMainForm::Button12Click()
{
    // The month view is this month's when it is read, however long the program has run.
    if (CheckBox1->isChecked())
        Label7->setText(monthQuery(QDate::currentDate()));
    DBGridEh1->setStaticFooterText(gridcolumns::kBalanceFooter, QString());
    Panel3->refillLists(dmfm->ADOQuery1);
    // A listing still current, or changed only by this program's own adds, changes and deletes,
    // is put back as a fresh reading leaves it; it is kept aside while a search is shown.
    dmfm->ADOQuery15->setKeptStatement(Label7->text());
    if (!dmfm->ADOQuery15->reopenUnchanged(Label7->text()))
        OpenQuery(dmfm->ADOQuery15, Label7->text());
    dmfm->ADOQuery15->last();
}

void TMainForm::Button2Click()
{
    QString statement = QStringLiteral("select * from data where o='1' ");
    QVariantList values;
    if (!Edit24->text().isEmpty()) {
        statement += QStringLiteral(" and b like ? escape '\\'");
        values << sql::likeContains(Edit24->text());
    }
    if (!Edit2->text().isEmpty()) {
        statement += QStringLiteral(" and c like ? escape '\\'");
        values << sql::likeContains(Edit2->text());
    }
    if (CheckBox2->isChecked())
        statement += QStringLiteral(" and a like '%收入%'");
    if (CheckBox3->isChecked())
        statement += QStringLiteral(" and a like '%支出%'");
    if (CheckBox7->isChecked()) {
        // Checked before the statement runs, so a bad date leaves the listing as it was.
        const QDate from = formats::parseDate(DBDateTimeEditEh2->enteredText());
        const QDate to = formats::parseDate(DBDateTimeEditEh3->enteredText());
        statement += QStringLiteral(" and day1>=? and day1<=?");
        values << formats::dateText(from) << formats::dateText(to);
    }
    DBGridEh1->setStaticFooterText(gridcolumns::kBalanceFooter, QString());
    OpenQuery(dmfm->ADOQuery15, statement, values);
}

void TMainForm::Edit24Change()
{
    Button2Click();
}

void TMainForm::Edit2Change()
{
    Button2Click();
}

void TMainForm::CheckBox2Click()
{
    if (CheckBox2->isChecked()) {
        CheckBox3->setChecked(false);
        Button2Click();
    }
}

void TMainForm::CheckBox3Click()
{
    if (CheckBox3->isChecked()) {
        CheckBox2->setChecked(false);
        Button2Click();
    }
}

void TMainForm::CheckBox1Changed()
{
    if (CheckBox1->isChecked()) {
        Button12Click(); // which reads this month
        settings::write(settings::kMonthOnly, QStringLiteral("no"));
    } else {
        Label7->setText(kAllRecords);
        Button12Click();
        settings::write(settings::kMonthOnly, QStringLiteral("yes"));
    }
}

void TMainForm::Button7Click()
{
    // The footers' sums of the listing shown, each exact and the balance rounded once; a closed
    // listing shows no rows and balances to 0.
    using namespace gridcolumns;
    MoneySum sums[Count];
    Dataset* listing = dmfm->ADOQuery15;
    for (int column : {Income, Received, Expense, Paid})
        if (listing->isOpen())
            sums[column] = listing->totals(listing->fieldIndex(field(column))).sum;
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
