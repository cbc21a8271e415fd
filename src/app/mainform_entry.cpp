// The main window's record commands, carried out by the entry panel.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "gui/commandguard.h"

#include <QToolButton>

void TMainForm::connectEntryPanel()
{
    Panel3->bindWindow(
        DBGridEh1, [this] { Button12Click(); }, ToolButton19);
    connectGuarded(DBGridEh1, &RecordGrid::recordChosen, this, [this] { Panel3->openForModify(); });
    connect(DBGridEh1, &RecordGrid::cellClicked, this, [this] { ToolButton19->setEnabled(true); });
}

void TMainForm::ToolButton7Click()
{
    Panel3->newRecord();
}

void TMainForm::ToolButton19Click()
{
    Panel3->deleteRecord();
}
