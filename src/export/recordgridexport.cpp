#include "export/recordgridexport.h"

#include "cashbook/gridcolumns.h"
#include "cashbook/recordgrid.h"
#include "data/dataset.h"

Dataset* RecordGridExport::dataset() const
{
    return m_grid->listing();
}

int RecordGridExport::columnCount() const
{
    return RecordGrid::kColumnCount;
}

QString RecordGridExport::columnField(int column) const
{
    return m_grid->columnField(column);
}

QString RecordGridExport::columnTitle(int column) const
{
    return m_grid->columnTitle(column);
}

bool RecordGridExport::isColumnVisible(int column) const
{
    return m_grid->isColumnVisible(column);
}

QStringList RecordGridExport::footerValueTexts(int column) const
{
    const int balance = gridcolumns::kBalanceFooter;
    return {column == balance ? m_grid->footerText(balance) : QString()};
}

void RecordGridExport::setRedrawEnabled(bool enabled)
{
    m_grid->setUpdatesEnabled(enabled);
    // The grid follows the listing's moves; while the records are walked it must not.
    if (Dataset* listing = m_grid->listing()) {
        if (!enabled) {
            m_listingWasBlocked = listing->blockSignals(true);
            return;
        }
        listing->blockSignals(m_listingWasBlocked);
        if (!m_listingWasBlocked && listing->isOpen())
            emit listing->currentChanged(listing->isEmpty() ? 0 : listing->recNo() - 1);
    }
}

QWidget* RecordGridExport::window() const
{
    return m_grid->window();
}
