#include "cashbook/printsettings.h"

#include "cashbook/gridcolumns.h"
#include "cashbook/listingmodel.h"
#include "cashbook/recordgrid.h"
#include "data/dataset.h"
#include "gui/messages.h"

#include <QGuiApplication>
#include <QPalette>

QColor activeCaptionColour()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

TPrintDBGridEh::TPrintDBGridEh(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("PrintDBGridEh1"));
    title = QStringLiteral("Quenvale ") + homePageAddress();
    beforeGridText = {
        {QStringLiteral("财 务 报 表"), QStringLiteral("Courier New"), 14, true, Qt::AlignHCenter},
        {QString(), QStringLiteral("MS Sans Serif"), 8, false, Qt::AlignLeft}};
    afterGridText = {
        {QString(), QStringLiteral("Arial"), 10, true, Qt::AlignLeft},
        {QStringLiteral("%[Today] "), QStringLiteral("Arial"), 8, true, Qt::AlignLeft}};
}

report::Content TPrintDBGridEh::content() const
{
    report::Content c;
    c.pageHeader = pageHeader;
    c.headerFontPixels = headerFontPixels;
    c.title = title;
    c.before = report::substituted(beforeGridText, substitutions);
    c.after = report::substituted(afterGridText, substitutions);
    c.fixedColour = activeCaptionColour();
    const RecordGrid* grid = DBGridEh.data();
    if (!grid)
        return c;
    // A report holds every row and the sums of all of them, also while the grid still fills in.
    if (grid->listing() && grid->listing()->isOpen())
        grid->listing()->finishFilling();
    QList<int> visible;
    for (int column = 0; column < RecordGrid::kColumnCount; ++column) {
        if (!grid->isColumnVisible(column))
            continue;
        visible << column;
        const gridcolumns::GridColumn& shown = gridcolumns::column(column);
        c.columns.append({column, shown.upperTitle.toString(), shown.lowerTitle.toString(),
                          static_cast<double>(shown.printWidth), shown.align});
        c.footer << grid->footerText(column);
    }
    const Dataset* listing = grid->listing();
    if (!listing || !listing->isOpen())
        return c;
    const ListingModel* model = grid->listingModel();
    const int count = listing->recordCount();
    const int income = listing->fieldIndex(gridcolumns::field(gridcolumns::Income));
    c.rows.reserve(count);
    c.rowColours.reserve(count);
    for (int row = 0; row < count; ++row) {
        QStringList texts;
        texts.reserve(visible.size());
        for (int column : visible)
            texts << model->displayText(row, column);
        c.rows << texts;
        c.rowColours << report::rowColour(row, listing->valueAt(row, income).toDouble());
    }
    return c;
}
