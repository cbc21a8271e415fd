// The main window's tool windows: user management, password change and backup, each open at
// most once.
#include "app/mainform.h"
#include "gui/showorcreate.h"
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
