#include "cashbook/recordgrid.h"

#include "cashbook/listingmodel.h"
#include "data/dataset.h"
#include "data/formats.h"

#include <QHeaderView>

RecordGrid::RecordGrid(QWidget* parent) : QTableView(parent), m_model(new ListingModel(this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setToolTip(QStringLiteral("点列标题进行排序，双击记录进行修改"));
    setStatusTip(toolTip());
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (m_listing && m_listing->isOpen())
            m_listing->moveTo(index.row());
        emit cellClicked();
    });
    connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_listing && m_listing->isOpen())
            m_listing->moveTo(index.row());
        emit recordChosen();
    });
}

RecordGrid::~RecordGrid() = default;

void RecordGrid::setListing(Dataset* listing)
{
    m_listing = listing;
    m_model->setListing(listing);
}

QString RecordGrid::columnField(int column) const
{
    return ListingModel::fields().at(column);
}

QString RecordGrid::columnTitle(int column) const
{
    return ListingModel::titles().at(column);
}

bool RecordGrid::isColumnVisible(int column) const
{
    return !isColumnHidden(column);
}

void RecordGrid::setColumnVisible(int column, bool visible)
{
    setColumnHidden(column, !visible);
}

QString RecordGrid::footerText(int column) const
{
    if (column >= 4 && column <= 9) {
        if (!m_listing || !m_listing->isOpen())
            return QStringLiteral("0");
        return formats::general(m_listing->sum(columnField(column)));
    }
    return m_staticFooter[column];
}

void RecordGrid::setStaticFooterText(int column, const QString& text)
{
    m_staticFooter[column] = text;
    viewport()->update();
}

QString RecordGrid::firstFieldText() const
{
    if (!m_listing || !m_listing->isOpen() || m_listing->isEmpty())
        return {};
    return m_listing->text(QStringLiteral("a"));
}
