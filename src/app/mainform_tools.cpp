// The main window's tool windows: user management, password change, backup, the recycle bin
// and the change history, each open at most once.
#include "app/mainform.h"
#include "data/dm.h"
#include "data/recyclebin.h"
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
