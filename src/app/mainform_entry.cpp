// The cash book's record commands, carried out by the entry panel.
#include "app/cashbookwindow.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "cashbook/settlementwindow.h"
#include "data/dm.h"
#include "data/history.h"
#include "gui/commandguard.h"
#include "gui/messages.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

void CashBookWindow::connectEntryPanel()
{
    Panel3->bindWindow(
        DBGridEh1, [this] { Button12Click(); }, ToolButton19);
    connectGuarded(DBGridEh1, &RecordGrid::recordChosen, this, [this] { Panel3->openForModify(); });
    connect(DBGridEh1, &RecordGrid::cellClicked, this, [this] { ToolButton19->setEnabled(true); });
    settlementItem = new QAction(QStringLiteral("收款/付款登记…"), DBGridEh1->PopupMenu3);
    settlementItem->setObjectName(QStringLiteral("settlementItem"));
    DBGridEh1->PopupMenu3->insertAction(DBGridEh1->Excel1, settlementItem);
    connectGuarded(settlementItem, &QAction::triggered, this, &CashBookWindow::settlementClick);
}

void CashBookWindow::ToolButton7Click()
{
    Panel3->newRecord();
}

void CashBookWindow::ToolButton19Click()
{
    Panel3->deleteRecord();
}

void CashBookWindow::settlementClick()
{
    Dataset* listing = DBGridEh1->listing();
    if (!listing || !listing->isOpen() || listing->isEmpty()) {
        messages().warning(this, QStringLiteral("请先在表格里选中要登记收款或付款的记录。"));
        return;
    }
    SettlementWindow::openFor(this, listing->writer(), listing->key(), history::currentOperator());
}
