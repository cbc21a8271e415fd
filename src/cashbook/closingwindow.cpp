#include "cashbook/closingwindow.h"

#include "data/bookwriter.h"
#include "data/closing.h"
#include "data/errors.h"
#include "data/money.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/formfields.h"
#include "gui/messages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString monthText(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM"));
}

} // namespace

MonthClosingWindow::MonthClosingWindow(QWidget* owner) : QWidget(owner)
{
    setObjectName(QStringLiteral("MonthClosingWindow"));
    setWindowTitle(QStringLiteral("月末结账"));

    auto* openingBox = new QGroupBox(QStringLiteral("期初余额"), this);
    openingBox->setObjectName(QStringLiteral("openingBox"));
    openingLabel = new QLabel(openingBox);
    openingLabel->setObjectName(QStringLiteral("openingLabel"));
    openingEdit = new QLineEdit(openingBox);
    openingEdit->setObjectName(QStringLiteral("openingEdit"));
    openingEdit->setAlignment(Qt::AlignRight);
    openingEdit->setPlaceholderText(QStringLiteral("0.00"));
    openingDate = new DateField(openingBox);
    openingDate->setObjectName(QStringLiteral("openingDate"));
    openingDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    openingDate->setCalendarPopup(true);
    openingButton = namedButton(openingBox, QStringLiteral("设置期初余额"), "openingButton");
    auto* opening = new QGridLayout(openingBox);
    opening->addWidget(openingLabel, 0, 0, 1, 5);
    opening->addWidget(new QLabel(QStringLiteral("期初余额："), openingBox), 1, 0);
    opening->addWidget(openingEdit, 1, 1);
    opening->addWidget(new QLabel(QStringLiteral("日  期："), openingBox), 1, 2);
    opening->addWidget(openingDate, 1, 3);
    opening->addWidget(openingButton, 1, 4);

    auto* closingBox = new QGroupBox(QStringLiteral("月末结账"), this);
    closingBox->setObjectName(QStringLiteral("closingBox"));
    closedLabel = new QLabel(closingBox);
    closedLabel->setObjectName(QStringLiteral("closedLabel"));
    monthEdit = new QLineEdit(closingBox);
    monthEdit->setObjectName(QStringLiteral("monthEdit"));
    monthEdit->setPlaceholderText(QStringLiteral("yyyy-MM"));
    monthEdit->setMaxLength(7);
    closeMonthButton = namedButton(closingBox, QStringLiteral("结 账"), "closeMonthButton");
    reopenButton = namedButton(closingBox, QStringLiteral("反结账"), "reopenButton");
    auto* closingGrid = new QGridLayout(closingBox);
    closingGrid->addWidget(closedLabel, 0, 0, 1, 4);
    closingGrid->addWidget(new QLabel(QStringLiteral("结账月份："), closingBox), 1, 0);
    closingGrid->addWidget(monthEdit, 1, 1);
    closingGrid->addWidget(closeMonthButton, 1, 2);
    closingGrid->addWidget(reopenButton, 1, 3);
    auto* hint =
        new QLabel(QStringLiteral("结账后，该月及以前各月的记录不能再增加、修改或删除，"
                                  "收款/付款登记和导入也不能记到这些月份；需要更正时先反结账。"),
                   closingBox);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #a00000;"));
    closingGrid->addWidget(hint, 2, 0, 1, 4);

    exitButton = namedButton(this, QStringLiteral("关 闭"), "exitButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(exitButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(openingBox);
    layout->addWidget(closingBox);
    layout->addLayout(buttons);

    connectGuarded(openingButton, &QPushButton::clicked, this, &MonthClosingWindow::openingClick);
    connectGuarded(closeMonthButton, &QPushButton::clicked, this, &MonthClosingWindow::closeClick);
    connectGuarded(reopenButton, &QPushButton::clicked, this, &MonthClosingWindow::reopenClick);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    resize(560, 300);
}

void MonthClosingWindow::setWriter(BookWriter* writer)
{
    if (m_writer)
        disconnect(m_writer, nullptr, this, nullptr);
    m_writer = writer;
    if (m_writer)
        connect(m_writer, &BookWriter::written, this, &MonthClosingWindow::follow);
    refresh();
    // The month to close next: the one after the last closed, else the one before this.
    const QString closed = closedLabel->property("closedThrough").toString();
    const QDate today = QDate::currentDate();
    QString next = closed.isEmpty() ? monthText(today.addMonths(-1))
                                    : monthText(QDate::fromString(closed + QStringLiteral("-01"),
                                                                  QStringLiteral("yyyy-MM-dd"))
                                                    .addMonths(1));
    monthEdit->setText(std::min(next, monthText(today)));
}

void MonthClosingWindow::follow(const QList<RowChange>& changes)
{
    for (const RowChange& change : changes)
        if (change.table == u"bookinfo") {
            guarded(this, [this] { refresh(); });
            return;
        }
}

void MonthClosingWindow::refresh()
{
    if (!m_writer)
        return;
    QSqlDatabase db = m_writer->connection();
    const closing::State state = closing::read(db);
    closedLabel->setProperty("closedThrough", state.closedThrough);
    closedLabel->setText(state.closedThrough.isEmpty()
                             ? QStringLiteral("已结账至：（还没有结账的月份）")
                             : QStringLiteral("已结账至：%1").arg(state.closedThrough));
    if (!state.opening.set) {
        openingLabel->setText(
            QStringLiteral("账本中还没有期初余额：余额从第一条记录起按 0 计算。"));
        openingDate->setDate(QDate(QDate::currentDate().year(), 1, 1));
        return;
    }
    const QString amount = money::text(state.opening.units);
    openingLabel->setText(
        state.opening.date.isEmpty()
            ? QStringLiteral("账本中的期初余额：%1（在第一条记录之前）").arg(amount)
            : QStringLiteral("账本中的期初余额：%1，日期 %2").arg(amount, state.opening.date));
    openingEdit->setText(amount);
    if (!state.opening.date.isEmpty())
        openingDate->setEnteredText(state.opening.date);
}

void MonthClosingWindow::openingClick()
{
    if (!m_writer)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    closing::setOpening(*m_writer, openingEdit->text(), openingDate->enteredText());
    messages().information(this, QStringLiteral("期初余额已设置。"));
}

void MonthClosingWindow::closeClick()
{
    if (!m_writer)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    QSqlDatabase db = m_writer->connection();
    const QString month = closing::parseMonth(monthEdit->text());
    closing::checkClosable(month, closing::read(db).closedThrough, QDate::currentDate());
    if (!messages().question(this, QStringLiteral("确实要结账到 %1 吗？\n结账后 %1 及以前各月的记录"
                                                  "不能再增加、修改或删除，除非反结账。")
                                       .arg(month)))
        return;
    closing::close(*m_writer, month);
    messages().information(this, QStringLiteral("已结账至 %1。").arg(month));
}

void MonthClosingWindow::reopenClick()
{
    if (!m_writer)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    QSqlDatabase db = m_writer->connection();
    const QString closed = closing::read(db).closedThrough;
    if (closed.isEmpty())
        throw ClosedMonthError(QStringLiteral("还没有结账的月份，不用反结账。"));
    if (!messages().question(this, QStringLiteral("确实要反结账 %1 吗？\n反结账后该月的记录可以"
                                                  "再增加、修改或删除。")
                                       .arg(closed)))
        return;
    const QString reopened = closing::reopen(*m_writer);
    monthEdit->setText(reopened);
    messages().information(this, QStringLiteral("%1 已反结账。").arg(reopened));
}
