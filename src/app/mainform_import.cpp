// 账务工具's 导入账单…: a payment bill chosen, previewed in "导入账单" and stored in the book
// through its writer; the grid then lists every record, the imported ones among them.
#include "app/cashbookwindow.h"
#include "bills/billimportwindow.h"
#include "bills/bookbillstore.h"
#include "data/dm.h"
#include "gui/messages.h"

void CashBookWindow::importClick()
{
    const QString path = messages().openFile(this, QStringLiteral("账单文件 (*.csv *.xlsx *.zip)"));
    if (path.isEmpty())
        return;
    bills::BookBillStore store(*dmfm->writer());
    if (runBillImport(this, path, store))
        Button12Click();
}
