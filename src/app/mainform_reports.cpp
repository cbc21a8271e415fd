// 账务工具's reports of receivables and cash: 往来对账单, 账龄分析 and 现金日记账, each a window
// made on first use and brought forward after.
#include "app/cashbookwindow.h"
#include "gui/showorcreate.h"
#include "stats/agingwindow.h"
#include "stats/journalwindow.h"
#include "stats/statementwindow.h"

namespace {

// Opens the window (or brings it forward) and forgets it once it is gone.
template <typename Window> Window* openReport(CashBookWindow* form, Window*& reference)
{
    Window* before = reference;
    Window* window = ShowOrCreateForm(form, reference);
    if (window != before)
        QObject::connect(window, &QObject::destroyed, form, [&reference, window] {
            if (reference == window)
                reference = nullptr;
        });
    return window;
}

} // namespace

void CashBookWindow::statementClick()
{
    openReport(this, statementWindow);
}

void CashBookWindow::agingClick()
{
    openReport(this, agingWindow);
}

void CashBookWindow::cashJournalClick()
{
    openReport(this, cashJournalWindow);
}

void CashBookWindow::showStatement(const QString& party, bool payable)
{
    openReport(this, statementWindow)
        ->showParty(party, payable ? receivables::Side::Payable : receivables::Side::Receivable);
}
