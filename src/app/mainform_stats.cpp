// The main window's commands beyond the grid: CSV and .xlsx export of the listing and the
// statistics window, reached from the grid's menu and the toolbar.
#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "export/exportflow.h"
#include "export/gridtable.h"
#include "gui/commandguard.h"
#include "gui/showorcreate.h"
#include "stats/statswindow.h"

#include <QAction>
#include <QDateTime>
#include <QMenu>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>

namespace {

QIcon statisticsIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.drawLine(QPointF(4, 28.5), QPointF(29, 28.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(46, 139, 87));
    p.drawRect(QRectF(6, 14, 5, 14));
    p.drawRect(QRectF(18, 10, 5, 18));
    p.setBrush(QColor(205, 92, 92));
    p.drawRect(QRectF(12, 18, 5, 10));
    p.drawRect(QRectF(24, 16, 5, 12));
    p.setPen(QPen(QColor(30, 80, 170), 2));
    p.drawPolyline(QPolygonF({QPointF(5, 12), QPointF(14, 8), QPointF(21, 5), QPointF(28, 3)}));
    p.end();
    return QIcon(pixmap);
}

} // namespace

void TMainForm::connectStatistics()
{
    QMenu* menu = DBGridEh1->PopupMenu3;
    auto item = [menu](const char* name, const QString& caption, QAction* before) {
        auto* action = new QAction(caption, menu);
        action->setObjectName(QString::fromLatin1(name));
        menu->insertAction(before, action);
        return action;
    };
    exportCsvAction = item("exportCsvAction", QStringLiteral("导出CSV文件"), DBGridEh1->N5);
    exportXlsxAction =
        item("exportXlsxAction", QStringLiteral("导出Excel 2007文件(.xlsx)"), DBGridEh1->N5);
    // After "打印报表", before the column switches.
    const QList<QAction*> actions = menu->actions();
    const qsizetype printAt = actions.indexOf(DBGridEh1->N5);
    statisticsAction =
        item("statisticsAction", QStringLiteral("收支统计"), actions.value(printAt + 1));

    statisticsButton = new QToolButton(ToolBar2);
    statisticsButton->setObjectName(QStringLiteral("statisticsButton"));
    statisticsButton->setText(QStringLiteral("收支统计"));
    statisticsButton->setIcon(statisticsIcon());
    statisticsButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    statisticsButton->setIconSize(QSize(32, 32));
    statisticsButton->setFixedSize(55, 51);
    statisticsButton->setAutoRaise(true);
    statisticsButton->setToolTip(QStringLiteral("当前列表按月收支统计与往来余额"));
    statisticsButton->setStatusTip(statisticsButton->toolTip());
    ToolBar2->addWidget(statisticsButton);
    ToolBar2->resize(ToolBar2->width() + 56, ToolBar2->height());

    auto on = [this](auto* sender, auto signal, void (TMainForm::*handler)()) {
        connectGuarded(sender, signal, this, handler);
    };
    on(exportCsvAction, &QAction::triggered, &TMainForm::exportCsvClick);
    on(exportXlsxAction, &QAction::triggered, &TMainForm::exportXlsxClick);
    on(statisticsAction, &QAction::triggered, &TMainForm::statisticsClick);
    on(statisticsButton, &QToolButton::clicked, &TMainForm::statisticsClick);
}

void CashBookWindow::exportCsvClick()
{
    const GridTable table(DBGridEh1);
    exporting::saveTable(this, table, exporting::Format::Csv);
}

void CashBookWindow::exportXlsxClick()
{
    const GridTable table(DBGridEh1);
    exporting::saveTable(this, table, exporting::Format::Xlsx,
                         {QStringLiteral("现金帐"), QStringLiteral("财务统计报表"),
                          QStringLiteral("Quenvale"), QDateTime::currentDateTime()});
}

void CashBookWindow::statisticsClick()
{
    StatisticsWindow* before = statisticsWindow;
    StatisticsWindow* window = ShowOrCreateForm(this, statisticsWindow);
    if (window != before) {
        connect(window, &QObject::destroyed, this, [this, window] {
            if (statisticsWindow == window)
                statisticsWindow = nullptr;
        });
        connectGuarded(window, &StatisticsWindow::counterpartyChosen, this,
                       &CashBookWindow::showStatement);
    }
}
