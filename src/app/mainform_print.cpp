// The print command: binds the print settings to the grid, dates the run and opens the
// preview.
#include "app/cashbookwindow.h"
#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "cashbook/recordgrid.h"
#include "data/formats.h"

#include <QDate>

namespace {

std::function<QDate()>& printClock()
{
    static std::function<QDate()> today = [] { return QDate::currentDate(); };
    return today;
}

} // namespace

void setPrintClock(std::function<QDate()> today)
{
    printClock() = today ? std::move(today) : [] { return QDate::currentDate(); };
}

TPrintDBGridEh* printSettings(CashBookWindow* window)
{
    auto* settings = window->findChild<TPrintDBGridEh*>(QStringLiteral("PrintDBGridEh1"),
                                                        Qt::FindDirectChildrenOnly);
    if (!settings) {
        settings = new TPrintDBGridEh(window);
        settings->DBGridEh = window->DBGridEh1;
    }
    return settings;
}

void CashBookWindow::ToolButton22Click()
{
    TPrintDBGridEh* settings = printSettings(this);
    settings->DBGridEh = DBGridEh1;
    settings->substitutions = {{QStringLiteral("%[Today]"), formats::dateText(printClock()())}};
    auto* preview = new TPreviewForm(settings, settings->content(), this);
    preview->showMaximized();
}
