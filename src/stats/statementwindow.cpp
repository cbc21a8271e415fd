#include "stats/statementwindow.h"

#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/formfields.h"
#include "gui/messages.h"
#include "stats/reporttables.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

StatementWindow::StatementWindow(QWidget* owner)
    : ReportWindow("StatementWindow", QStringLiteral("往来对账单"), owner)
{
    partyCombo = new QComboBox(this);
    partyCombo->setObjectName(QStringLiteral("partyCombo"));
    partyCombo->setEditable(true);
    partyCombo->setInsertPolicy(QComboBox::NoInsert);
    partyCombo->setMinimumWidth(200);
    const QDate today = QDate::currentDate();
    fromDate = new DateField(this);
    fromDate->setObjectName(QStringLiteral("fromDate"));
    fromDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    fromDate->setDate(QDate(today.year(), 1, 1));
    toDate = new DateField(this);
    toDate->setObjectName(QStringLiteral("toDate"));
    toDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    toDate->setDate(QDate(today.year(), 12, 31));
    receivableButton = new QRadioButton(QStringLiteral("应收"), this);
    receivableButton->setObjectName(QStringLiteral("receivableButton"));
    receivableButton->setChecked(true);
    payableButton = new QRadioButton(QStringLiteral("应付"), this);
    payableButton->setObjectName(QStringLiteral("payableButton"));
    auto* sides = new QButtonGroup(this);
    sides->addButton(receivableButton);
    sides->addButton(payableButton);
    queryButton = new QPushButton(QStringLiteral("查 询"), this);
    queryButton->setObjectName(QStringLiteral("queryButton"));

    choices->addWidget(new QLabel(QStringLiteral("单位名称："), this));
    choices->addWidget(partyCombo);
    choices->addSpacing(12);
    choices->addWidget(new QLabel(QStringLiteral("期间："), this));
    choices->addWidget(fromDate);
    choices->addWidget(new QLabel(QStringLiteral("至"), this));
    choices->addWidget(toDate);
    choices->addSpacing(12);
    choices->addWidget(receivableButton);
    choices->addWidget(payableButton);
    choices->addStretch(1);
    choices->addWidget(queryButton);

    if (bookOpen()) {
        QSqlDatabase db = book();
        partyCombo->addItems(receivables::parties(db));
    }
    partyCombo->setCurrentIndex(-1);
    partyCombo->setEditText(QString());

    connectGuarded(queryButton, &QPushButton::clicked, this, &StatementWindow::queryClick);
    connectGuarded(partyCombo, &QComboBox::activated, this, &StatementWindow::refresh);
    connectGuarded(partyCombo->lineEdit(), &QLineEdit::returnPressed, this,
                   &StatementWindow::refresh);
    connectGuarded(fromDate, &QDateEdit::dateChanged, this, &StatementWindow::refresh);
    connectGuarded(toDate, &QDateEdit::dateChanged, this, &StatementWindow::refresh);
    connectGuarded(receivableButton, &QRadioButton::toggled, this, &StatementWindow::refresh);
    refresh();
}

receivables::Side StatementWindow::side() const
{
    return payableButton->isChecked() ? receivables::Side::Payable : receivables::Side::Receivable;
}

void StatementWindow::showParty(const QString& party, receivables::Side side)
{
    const QSignalBlocker blocked(receivableButton);
    partyCombo->setEditText(party);
    (side == receivables::Side::Payable ? payableButton : receivableButton)->setChecked(true);
    refresh();
}

void StatementWindow::queryClick()
{
    if (!RequireComboText(partyCombo, QStringLiteral("单位名称必须输入！")))
        return;
    if (fromDate->date() > toDate->date()) {
        messages().warning(this, QStringLiteral("期间的起始日期不能晚于结束日期！"));
        fromDate->setFocus();
        return;
    }
    refresh();
}

void StatementWindow::refresh()
{
    const QString party = partyCombo->currentText().trimmed();
    const QString first = fromDate->date().toString(Qt::ISODate);
    const QString last = toDate->date().toString(Qt::ISODate);
    const receivables::Side kind = side();
    receivables::Statement statement;
    // Without a counterparty, a period or a book there is nothing to state.
    if (!party.isEmpty() && first <= last && bookOpen()) {
        QSqlDatabase db = book();
        statement = receivables::statement(db, party, kind, first,
                                           toDate->date().addDays(1).toString(Qt::ISODate));
    }
    setTable(stats::statementTable(statement, kind, first),
             QStringLiteral("单位名称：%1    期间：%2 至 %3    %4")
                 .arg(party, first, last, stats::sideName(kind)));
}
