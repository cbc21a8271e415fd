// The grid's "导出Excel": the whole listing as a worksheet file, opened afterwards.
#include "app/cashbookwindow.h"
#include "export/DBGridEhToExcel.h"
#include "export/recordgridexport.h"
#include "gui/messages.h"

void CashBookWindow::Excel1Click()
{
    TDBGridEhToExcel exporter(nullptr);
    RecordGridExport grid(DBGridEh1);
    exporter.setTitleName(QStringLiteral("财务统计报表"));
    exporter.setBeginDate(QString());
    exporter.setEndDate(QString());
    exporter.setUserName(QStringLiteral("Quenvale"));
    exporter.setDBGridEh(&grid);
    exporter.setShowProgress(true);
    const QString fileName = messages().saveFileName(
        this, QStringLiteral("Microsoft Excel xls文件 (*.xls)"), QStringLiteral("xls"));
    if (fileName.isEmpty())
        return;
    exporter.setFileName(fileName);
    exporter.ExportToExcel();
}
