// The main window's tool windows: user management, password change, backup, the recycle bin,
// the change history and month-end closing, each open at most once.
#include "app/mainform.h"
#include "cashbook/closingwindow.h"
#include "data/bookwriter.h"
#include "data/dataset.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/recyclebin.h"
#include "data/schema.h"
#include "gui/messages.h"
#include "gui/showorcreate.h"
#include "history/historywindow.h"
#include "history/recyclebinwindow.h"
#include "maintenance/repairdb.h"
#include "users/changepass.h"
#include "users/usergl.h"

void TMainForm::N13Click()
{
    ShowOrCreateForm(this, userglfm);
}

void TMainForm::N15Click()
{
    ShowOrCreateForm(this, changepassfm);
}

void TMainForm::ToolButton17Click()
{
    Tbeifen* window = ShowOrCreateForm(this, beifen);
    window->bookReopened = [this] { Button12Click(); };
    // The window frees itself on close; the pointer must not outlive it.
    connect(window, &QObject::destroyed, this, [this, window] {
        if (beifen == window)
            beifen = nullptr;
    });
}

void TMainForm::monthClosingClick()
{
    // The administrator's alone, as in user management.
    if (statusText(1) != QString::fromUtf16(schema::kAdministrator)) {
        messages().warning(this, QStringLiteral("只有超级管理员才能月末结账或设置期初余额。"));
        return;
    }
    if (!dmfm)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    MonthClosingWindow* before = monthClosingWindow;
    MonthClosingWindow* window = ShowOrCreateForm(this, monthClosingWindow);
    if (window == before)
        return;
    connect(window, &QObject::destroyed, this, [this, window] {
        if (monthClosingWindow == window)
            monthClosingWindow = nullptr;
    });
    window->setWriter(dmfm->writer());
}

void TMainForm::recycleBinClick()
{
    RecycleBinWindow* before = recycleBinWindow;
    RecycleBinWindow* window = ShowOrCreateForm(this, recycleBinWindow);
    if (window == before)
        return;
    window->setRestorer(std::make_unique<WriterRestorer>(*dmfm->writer()));
    window->recordsChanged = [this] { Button12Click(); };
    connect(window, &QObject::destroyed, this, [this, window] {
        if (recycleBinWindow == window)
            recycleBinWindow = nullptr;
    });
}

void TMainForm::historyClick()
{
    HistoryWindow* before = historyWindow;
    HistoryWindow* window = ShowOrCreateForm(this, historyWindow);
    if (window == before)
        return;
    connect(window, &QObject::destroyed, this, [this, window] {
        if (historyWindow == window)
            historyWindow = nullptr;
    });
}

void TMainForm::undoClick()
{
    if (!dmfm)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    QString name;
    try {
        name = dmfm->writer()->undoLast();
    } catch (const ConflictError&) {
        Button12Click(); // the operator sees what the book holds now
        throw;
    } catch (const MissingRowError&) {
        Button12Click();
        throw;
    }
    // A row put back is no change the listing can follow in place: its query is read again,
    // which takes in just the rows written where the book allows.
    Dataset* listing = dmfm->ADOQuery15;
    if (listing->isOpen()) {
        const ListingQuery query = listing->query();
        if (!listing->reopenUnchanged(query))
            listing->open(query);
    }
    messages().information(this, QStringLiteral("已撤销上一步：%1。").arg(name));
}
