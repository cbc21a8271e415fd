#include "stats/agingwindow.h"

#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "stats/receivables.h"
#include "stats/reporttables.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

AgingWindow::AgingWindow(QWidget* owner)
    : ReportWindow("AgingWindow", QStringLiteral("账龄分析"), owner)
{
    cutoffDate = new DateField(this);
    cutoffDate->setObjectName(QStringLiteral("cutoffDate"));
    cutoffDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    cutoffDate->setDate(QDate::currentDate());
    queryButton = new QPushButton(QStringLiteral("查 询"), this);
    queryButton->setObjectName(QStringLiteral("queryButton"));
    choices->addWidget(new QLabel(QStringLiteral("截止日期："), this));
    choices->addWidget(cutoffDate);
    choices->addStretch(1);
    choices->addWidget(queryButton);
    connectGuarded(queryButton, &QPushButton::clicked, this, &AgingWindow::refresh);
    connectGuarded(cutoffDate, &QDateEdit::dateChanged, this, &AgingWindow::refresh);
    refresh();
}

void AgingWindow::refresh()
{
    QList<receivables::AgingRow> rows;
    if (bookOpen()) {
        QSqlDatabase db = book();
        rows = receivables::aging(db, cutoffDate->date());
    }
    setTable(stats::agingTable(rows),
             QStringLiteral("截止日期：") + cutoffDate->date().toString(Qt::ISODate));
}
