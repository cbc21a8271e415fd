#pragma once

#include "stats/journal.h"
#include "stats/reportwindow.h"

#include <memory>

class QDateEdit;

// "现金日记账": every movement of cash over a run of months with the balance after it, each
// month closed by 本月合计 and 本年累计; printed pages end with 过次页 and begin with 承前页.
class CashJournalWindow : public ReportWindow
{
    Q_OBJECT

public:
    explicit CashJournalWindow(QWidget* owner = nullptr);

    void refresh() override;
    report::Content content() const override;
    const journal::Journal& journal() const { return *m_journal; }

    QDateEdit* fromMonth = nullptr; // 期间： first month, January at first
    QDateEdit* toMonth = nullptr;   // … last month, December at first

private:
    // Shared with the pages printed: their carried lines read it.
    std::shared_ptr<journal::Journal> m_journal;
};
