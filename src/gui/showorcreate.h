#pragma once

#include <QApplication>
#include <QWidget>

// Opens a tool window at most once: an open window of exactly this class is brought forward,
// otherwise a new one owned by owner is made and shown. The windows free themselves on close.
// The name is the Windows program's helper of the same task.
template <typename Form> Form* ShowOrCreateForm(QWidget* owner, Form*& reference)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        // Exactly this class. A hidden one has been closed and waits for deletion (Qt clears
        // WA_DeleteOnClose as it schedules that), so it does not count.
        if (w->metaObject() != &Form::staticMetaObject || !w->isVisible())
            continue;
        if (w->isMinimized())
            w->showNormal();
        w->raise();
        w->activateWindow();
        w->setFocus(Qt::OtherFocusReason);
        reference = static_cast<Form*>(w);
        return reference;
    }
    reference = new Form(owner);
    reference->setWindowFlag(Qt::Window, true);
    reference->setAttribute(Qt::WA_DeleteOnClose, true);
    reference->show();
    return reference;
}
