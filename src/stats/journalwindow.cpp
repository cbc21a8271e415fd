#include "stats/journalwindow.h"

#include "data/dm.h"
#include "gui/commandguard.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QDateEdit* monthField(QWidget* parent, const char* name, const QDate& month)
{
    auto* field = new QDateEdit(month, parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setDisplayFormat(QStringLiteral("yyyy-MM"));
    field->setCalendarPopup(true);
    return field;
}

} // namespace

CashJournalWindow::CashJournalWindow(QWidget* owner)
    : ReportWindow("CashJournalWindow", QStringLiteral("现金日记账"), owner),
      m_journal(std::make_shared<journal::Journal>())
{
    const QDate today = QDate::currentDate();
    fromMonth = monthField(this, "fromMonth", QDate(today.year(), 1, 1));
    toMonth = monthField(this, "toMonth", QDate(today.year(), 12, 1));
    choices->addWidget(new QLabel(QStringLiteral("期间："), this));
    choices->addWidget(fromMonth);
    choices->addWidget(new QLabel(QStringLiteral("至"), this));
    choices->addWidget(toMonth);
    choices->addStretch(1);
    // Printed and kept as PDF or .xlsx; a journal's pages are what it is for.
    csvButton->hide();
    connectGuarded(fromMonth, &QDateEdit::dateChanged, this, &CashJournalWindow::refresh);
    connectGuarded(toMonth, &QDateEdit::dateChanged, this, &CashJournalWindow::refresh);
    refresh();
}

void CashJournalWindow::refresh()
{
    QDate first = fromMonth->date();
    QDate last = toMonth->date();
    if (last < first)
        std::swap(first, last);
    auto made = std::make_shared<journal::Journal>();
    if (bookOpen()) {
        QSqlDatabase db = book();
        *made = journal::build(db, first, last);
    } else {
        made->first = first.toString(QStringLiteral("yyyy-MM"));
        made->last = last.toString(QStringLiteral("yyyy-MM"));
    }
    m_journal = made;
    setTable(journal::table(*made),
             QStringLiteral("期间：%1 至 %2    账本：%3")
                 .arg(made->first, made->last, dmfm ? dmfm->databasePath() : QString()));
}

report::Content CashJournalWindow::content() const
{
    report::Content c = ReportWindow::content();
    // The pages keep the journal they were made from, also when the window reads anew.
    std::shared_ptr<const journal::Journal> shown = m_journal;
    c.carry = [shown](int row, bool forward) { return journal::carried(*shown, row, forward); };
    return c;
}
