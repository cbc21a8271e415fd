// The cash book's record commands, carried out by the entry panel.
#include "app/cashbookwindow.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "gui/commandguard.h"

#include <QToolButton>

void CashBookWindow::connectEntryPanel()
{
    Panel3->bindWindow(
        DBGridEh1, [this] { Button12Click(); }, ToolButton19);
    connectGuarded(DBGridEh1, &RecordGrid::recordChosen, this, [this] { Panel3->openForModify(); });
    connect(DBGridEh1, &RecordGrid::cellClicked, this, [this] { ToolButton19->setEnabled(true); });
}

void CashBookWindow::ToolButton7Click()
{
    Panel3->newRecord();
}

void CashBookWindow::ToolButton19Click()
{
    Panel3->deleteRecord();
}
