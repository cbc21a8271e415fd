#include "cashbook/settlementwindow.h"

#include "data/bookwriter.h"
#include "data/errors.h"
#include "data/money.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/messages.h"

#include <QDate>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QLabel* figure(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

SettlementWindow* SettlementWindow::openFor(QWidget* owner, BookWriter* writer, qint64 key,
                                            const QString& user)
{
    QSqlDatabase db = writer->connection();
    settlement::Target target = settlement::read(db, key);
    // A record settled in full still opens while it has settlements: they may be cancelled.
    if (target.rest <= 0 && target.entries.isEmpty()) {
        messages().information(
            owner, target.receipt ? QStringLiteral("这笔记录没有应收账款，不需要收款登记。")
                                  : QStringLiteral("这笔记录没有应付账款，不需要付款登记。"));
        return nullptr;
    }
    auto* window = new SettlementWindow(owner, writer, std::move(target), user);
    window->open();
    return window;
}

SettlementWindow::SettlementWindow(QWidget* owner, BookWriter* writer, settlement::Target target,
                                   const QString& user)
    : QDialog(owner), m_writer(writer), m_target(std::move(target)), m_user(user)
{
    setObjectName(QStringLiteral("settlementWindow"));
    setAttribute(Qt::WA_DeleteOnClose, true);
    build();
    showTarget();
    connectGuarded(okButton, &QPushButton::clicked, this, &SettlementWindow::okClick);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connectGuarded(revokeButton, &QPushButton::clicked, this, &SettlementWindow::revokeClick);
}

QString SettlementWindow::side() const
{
    return m_target.receipt ? QStringLiteral("收款") : QStringLiteral("付款");
}

void SettlementWindow::build()
{
    auto* record = new QGroupBox(QStringLiteral("记录"), this);
    auto* grid = new QGridLayout(record);
    auto caption = [record](const QString& text) { return new QLabel(text, record); };
    recordDay = figure(record, "recordDay");
    recordSummary = figure(record, "recordSummary");
    recordParty = figure(record, "recordParty");
    recordTotal = figure(record, "recordTotal");
    recordDone = figure(record, "recordDone");
    recordRest = figure(record, "recordRest");
    m_totalCaption = caption(QString());
    m_doneCaption = caption(QString());
    m_restCaption = caption(QString());
    grid->addWidget(caption(QStringLiteral("日    期：")), 0, 0);
    grid->addWidget(recordDay, 0, 1);
    grid->addWidget(caption(QStringLiteral("项目摘要：")), 0, 2);
    grid->addWidget(recordSummary, 0, 3, 1, 3);
    grid->addWidget(caption(QStringLiteral("单位名称：")), 1, 0);
    grid->addWidget(recordParty, 1, 1, 1, 5);
    grid->addWidget(m_totalCaption, 2, 0);
    grid->addWidget(recordTotal, 2, 1);
    grid->addWidget(m_doneCaption, 2, 2);
    grid->addWidget(recordDone, 2, 3);
    grid->addWidget(m_restCaption, 2, 4);
    grid->addWidget(recordRest, 2, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    recordRest->setStyleSheet(QStringLiteral("color: #b22222; font-weight: bold;"));

    auto* fields = new QGridLayout;
    dateField = new DateField(this);
    dateField->setObjectName(QStringLiteral("dateField"));
    dateField->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dateField->setCalendarPopup(true);
    dateField->setDate(QDate::currentDate());
    amountEdit = new QLineEdit(this);
    amountEdit->setObjectName(QStringLiteral("amountEdit"));
    amountEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
    amountEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), amountEdit));
    noteEdit = new QLineEdit(this);
    noteEdit->setObjectName(QStringLiteral("noteEdit"));
    noteEdit->setMaxLength(100);
    fields->addWidget(new QLabel(QStringLiteral("日  期："), this), 0, 0);
    fields->addWidget(dateField, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("金  额："), this), 1, 0);
    fields->addWidget(amountEdit, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("备  注："), this), 2, 0);
    fields->addWidget(noteEdit, 2, 1, 1, 3);
    fields->setColumnStretch(2, 1);
    fields->setColumnStretch(3, 2);
    closedHint = new QLabel(this);
    closedHint->setObjectName(QStringLiteral("closedHint"));
    closedHint->setStyleSheet(QStringLiteral("color: #b22222;"));

    okButton = new QPushButton(QStringLiteral("确 定"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("取 消"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(closedHint, 1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* earlier = new QGroupBox(this);
    earlier->setObjectName(QStringLiteral("earlierBox"));
    settlementsView = new QTableWidget(0, 5, earlier);
    settlementsView->setObjectName(QStringLiteral("settlementsView"));
    settlementsView->setHorizontalHeaderLabels({QStringLiteral("日期"), QStringLiteral("金额"),
                                                QStringLiteral("操作员"), QStringLiteral("备注"),
                                                QStringLiteral("登记时间")});
    settlementsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    settlementsView->setSelectionBehavior(QAbstractItemView::SelectRows);
    settlementsView->setSelectionMode(QAbstractItemView::SingleSelection);
    settlementsView->verticalHeader()->hide();
    settlementsView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    settlementsView->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    revokeButton = new QPushButton(QStringLiteral("撤销登记"), earlier);
    revokeButton->setObjectName(QStringLiteral("revokeButton"));
    if (!settlement::mayCancel(m_user))
        revokeButton->setToolTip(QStringLiteral("只有管理员才能撤销登记"));
    auto* earlierLayout = new QVBoxLayout(earlier);
    earlierLayout->addWidget(settlementsView);
    auto* revokeRow = new QHBoxLayout;
    revokeRow->addStretch(1);
    revokeRow->addWidget(revokeButton);
    earlierLayout->addLayout(revokeRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(record);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(earlier, 1);
    resize(620, 520);
}

void SettlementWindow::showTarget()
{
    const settlement::Target& t = m_target;
    setWindowTitle(t.receipt ? QStringLiteral("收款登记") : QStringLiteral("付款登记"));
    recordDay->setText(t.day);
    recordSummary->setText(t.summary);
    recordParty->setText(t.party);
    m_totalCaption->setText(t.receipt ? QStringLiteral("收入合计：")
                                      : QStringLiteral("支出合计："));
    m_doneCaption->setText(t.receipt ? QStringLiteral("已收金额：") : QStringLiteral("已付金额："));
    m_restCaption->setText(t.receipt ? QStringLiteral("应收账款：") : QStringLiteral("应付账款："));
    recordTotal->setText(money::text(t.total));
    recordDone->setText(money::text(t.done));
    recordRest->setText(money::text(t.rest));

    const bool open = t.rest > 0;
    // The rest in whole cents (a rest off the cent grid, from another program, rounded down).
    amountEdit->setText(open ? money::text(t.rest - t.rest % (money::kUnitsPerYuan / 100))
                             : QString());
    for (QWidget* w : std::initializer_list<QWidget*>{dateField, amountEdit, noteEdit, okButton})
        w->setEnabled(open);
    closedHint->setText(open
                            ? QString()
                            : (t.receipt ? QStringLiteral("这笔记录已经全部收讫，只能撤销登记。")
                                         : QStringLiteral("这笔记录已经全部付清，只能撤销登记。")));

    findChild<QGroupBox*>(QStringLiteral("earlierBox"))
        ->setTitle(QStringLiteral("已登记的%1（%2 笔）").arg(side()).arg(t.entries.size()));
    settlementsView->setRowCount(static_cast<int>(t.entries.size()));
    for (int row = 0; row < t.entries.size(); ++row) {
        const settlement::Entry& e = t.entries[row];
        const QString cells[] = {e.day, money::text(e.units), e.user, e.note, e.written};
        for (int col = 0; col < 5; ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (col == 1)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            settlementsView->setItem(row, col, item);
        }
    }
    if (!t.entries.isEmpty())
        settlementsView->selectRow(static_cast<int>(t.entries.size()) - 1);
    revokeButton->setEnabled(settlement::mayCancel(m_user) && !t.entries.isEmpty());
    if (open) {
        amountEdit->setFocus(Qt::OtherFocusReason);
        amountEdit->selectAll();
    }
}

void SettlementWindow::reload()
{
    QSqlDatabase db = m_writer->connection();
    m_target = settlement::read(db, m_target.key);
    showTarget();
}

bool SettlementWindow::typedAmount(qint64* units)
{
    const QString text = amountEdit->text().trimmed();
    static const QRegularExpression shape(QStringLiteral("^(\\d*)(?:\\.(\\d*))?$"));
    const QRegularExpressionMatch m = shape.match(text);
    QString problem;
    if (text.isEmpty()) {
        problem = QStringLiteral("金额必须输入！");
    } else if (!m.hasMatch() || (m.captured(1).isEmpty() && m.captured(2).isEmpty())) {
        problem = QStringLiteral("金额“%1”不是有效的数字！").arg(text);
    } else {
        QString whole = m.captured(1);
        QString fraction = m.captured(2);
        while (whole.size() > 1 && whole.startsWith(u'0'))
            whole.remove(0, 1);
        while (fraction.endsWith(u'0'))
            fraction.chop(1);
        if (fraction.size() > 2)
            problem = QStringLiteral("金额最多只能有两位小数（金额以分为单位）！");
        else if (whole.size() > 12)
            problem = QStringLiteral("超出范围：金额的整数部分最多12位！");
        else if (!money::parse((whole.isEmpty() ? QStringLiteral("0") : whole) + u'.' + fraction,
                               units))
            problem = QStringLiteral("金额“%1”不是有效的数字！").arg(text);
    }
    if (problem.isEmpty())
        return true;
    messages().warning(this, problem);
    amountEdit->setFocus(Qt::OtherFocusReason);
    amountEdit->selectAll();
    return false;
}

void SettlementWindow::okClick()
{
    const QString day = dateField->enteredText();
    if (!QDate::fromString(day, Qt::ISODate).isValid() || day.size() != 10) {
        messages().warning(this, QStringLiteral("“%1”不是有效的日期！").arg(day));
        dateField->setFocus(Qt::OtherFocusReason);
        return;
    }
    qint64 units = 0;
    if (!typedAmount(&units))
        return;
    try {
        settlement::add(*m_writer, m_target, day, units, m_user, noteEdit->text().trimmed());
    } catch (const settlement::Refused& refused) {
        messages().warning(this, refused.message());
        switch (refused.field()) {
        case settlement::Field::Day:
            dateField->setFocus(Qt::OtherFocusReason);
            break;
        case settlement::Field::Amount:
            amountEdit->setFocus(Qt::OtherFocusReason);
            amountEdit->selectAll();
            break;
        case settlement::Field::None:
            // The record changed since: show it as the book holds it now.
            reload();
            break;
        }
        return;
    } catch (const ConflictError& conflict) {
        messages().warning(this, conflict.message());
        reload();
        return;
    }
    messages().information(this, side() + QStringLiteral("登记成功！"));
    accept();
}

void SettlementWindow::revokeClick()
{
    const int row = settlementsView->currentRow();
    if (row < 0 || row >= m_target.entries.size()) {
        messages().warning(this, QStringLiteral("请先在列表里选中要撤销的登记。"));
        return;
    }
    const settlement::Entry entry = m_target.entries[row];
    if (!messages().question(this, QStringLiteral("你确实要撤销 %1 的这笔%2登记（%3）吗？")
                                       .arg(entry.day, side(), money::text(entry.units))))
        return;
    try {
        settlement::cancel(*m_writer, entry.id, m_user);
    } catch (const settlement::Refused& refused) {
        messages().warning(this, refused.message());
        return;
    } catch (const MissingRowError& gone) {
        messages().warning(this, gone.message());
        reload();
        return;
    } catch (const ConflictError& conflict) {
        messages().warning(this, conflict.message());
        reload();
        return;
    }
    messages().information(this, QStringLiteral("撤销登记成功！"));
    reload();
}
