// 账务工具's reports of receivables and cash: 往来对账单, 账龄分析 and 现金日记账, each a window
// made on first use and brought forward after.
#include "app/mainform.h"
#include "gui/showorcreate.h"
#include "stats/agingwindow.h"
#include "stats/journalwindow.h"
#include "stats/statementwindow.h"

namespace {

// Opens the window (or brings it forward) and forgets it once it is gone.
template <typename Window> Window* openReport(TMainForm* form, Window*& reference)
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

void TMainForm::statementClick()
{
    openReport(this, statementWindow);
}

void TMainForm::agingClick()
{
    openReport(this, agingWindow);
}

void TMainForm::cashJournalClick()
{
    openReport(this, cashJournalWindow);
}

void TMainForm::showStatement(const QString& party, bool payable)
{
    openReport(this, statementWindow)
        ->showParty(party, payable ? receivables::Side::Payable : receivables::Side::Receivable);
}
