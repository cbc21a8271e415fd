#include "cashbook/listingmodel.h"

#include "data/dataset.h"
#include "data/formats.h"
#include "data/runningbalance.h"

#include <QBrush>
#include <QColor>

#include <cmath>

ListingModel::ListingModel(QObject* parent) : QAbstractTableModel(parent) {}

const QStringList& ListingModel::fields()
{
    static const QStringList list = [] {
        QStringList names;
        for (const gridcolumns::GridColumn& c : gridcolumns::kColumns)
            names << c.field.toString();
        return names;
    }();
    return list;
}

const QStringList& ListingModel::titles()
{
    static const QStringList list = [] {
        QStringList names;
        for (const gridcolumns::GridColumn& c : gridcolumns::kColumns)
            names << c.title();
        return names;
    }();
    return list;
}

void ListingModel::setListing(Dataset* listing)
{
    beginResetModel();
    if (m_listing)
        disconnect(m_listing, nullptr, this, nullptr);
    m_listing = listing;
    m_sumsKnown = false;
    delete m_balance;
    m_balance = nullptr;
    m_balanceShown = false;
    if (m_listing) {
        connect(m_listing, &Dataset::aboutToReset, this, [this] { beginResetModel(); });
        connect(m_listing, &Dataset::resetDone, this, [this] {
            // A server book's listing read again may show other PCs' writes: so may the
            // balances.
            if (m_balance && m_listing->contentVersion() != m_balanceVersion)
                m_balance->bookMayHaveChanged();
            endResetModel();
            changed();
        });
        connect(m_listing, &Dataset::aboutToRemoveRow, this,
                [this](int row) { beginRemoveRows({}, row, row); });
        connect(m_listing, &Dataset::rowRemoved, this, [this](int) {
            endRemoveRows();
            changed();
        });
        connect(m_listing, &Dataset::aboutToInsertRow, this,
                [this](int row) { beginInsertRows({}, row, row); });
        connect(m_listing, &Dataset::rowInserted, this, [this](int) {
            endInsertRows();
            changed();
        });
        // The rows filled in were blank until now; the footer sums can be worked out.
        connect(m_listing, &Dataset::filled, this, [this] {
            if (rowCount() > 0)
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
            changed();
        });
        connect(m_listing, &Dataset::rowChanged, this, [this](int row) {
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
            changed();
        });
    }
    endResetModel();
    changed();
}

void ListingModel::changed()
{
    if (m_balanceShown) {
        m_balanceVersion = m_listing ? m_listing->contentVersion() : 0;
        try {
            m_balance->ensure();
        } catch (const std::exception&) {
            // The cells stay blank; the next change or ticking tries again and says why.
        }
    }
    // The sums are worked out when the footer next asks: a command that changes the listing
    // in several steps pays for them once.
    emit listingChanged();
}

void ListingModel::setBalanceShown(bool shown)
{
    if (shown == m_balanceShown || (shown && !m_listing))
        return;
    if (!shown) {
        beginRemoveColumns({}, gridcolumns::Balance, gridcolumns::Balance);
        m_balanceShown = false;
        endRemoveColumns();
        emit listingChanged();
        return;
    }
    if (!m_balance) {
        m_balance = new RunningBalance(m_listing, this);
        connect(m_balance, &RunningBalance::changed, this, &ListingModel::balanceMoved);
    }
    m_balance->ensure();
    m_balanceVersion = m_listing->contentVersion();
    beginInsertColumns({}, gridcolumns::Balance, gridcolumns::Balance);
    m_balanceShown = true;
    endInsertColumns();
    emit listingChanged();
}

void ListingModel::balanceMoved()
{
    if (!m_balanceShown)
        return;
    try {
        m_balance->ensure();
    } catch (const std::exception&) {
        // Blank until the book can be read again.
    }
    if (rowCount() > 0)
        emit dataChanged(index(0, gridcolumns::Balance),
                         index(rowCount() - 1, gridcolumns::Balance));
    emit listingChanged();
}

QString ListingModel::balanceText(int row) const
{
    RunningBalance::Units units = 0;
    if (!m_balance || !m_balance->after(m_listing->keyAt(row), &units))
        return {};
    return RunningBalance::text(units);
}

QString ListingModel::footerSum(int column) const
{
    if (column < 0 || column >= gridcolumns::Count || !gridcolumns::column(column).summed)
        return {};
    recomputeSums();
    return m_sums[column];
}

QString ListingModel::widestFigure(int column) const
{
    if (column == gridcolumns::Balance)
        return m_balanceShown && m_balance && m_balance->isKnown()
                   ? u'-' + RunningBalance::text(m_balance->largest())
                   : QString();
    if (column < 0 || column >= gridcolumns::Count || !gridcolumns::column(column).summed)
        return {};
    recomputeSums();
    return m_widest[column];
}

namespace {

// A figure in its column's number form.
QString figureText(int column, double value)
{
    return gridcolumns::column(column).form == gridcolumns::NumberForm::TwoDecimals
               ? formats::upToTwoDecimals(value)
               : formats::general(value);
}

} // namespace

void ListingModel::recomputeSums() const
{
    const quint64 version = m_listing ? m_listing->contentVersion() : 0;
    // While a listing is filled in, its figures may come from the book at any time (the balance
    // asked for): looked for at each paint, which costs nothing.
    if (m_sumsKnown && m_sumsListing == m_listing && m_sumsOpen == isOpen() &&
        m_sumsVersion == version && !(isOpen() && m_listing->isFilling()))
        return;
    m_sumsKnown = true;
    m_sumsListing = m_listing;
    m_sumsOpen = isOpen();
    m_sumsVersion = version;
    for (int i = 0; i < gridcolumns::Count; ++i) {
        m_sums[i].clear();
        m_widest[i].clear();
        if (!gridcolumns::column(i).summed)
            continue;
        if (!isOpen()) {
            m_sums[i] = QStringLiteral("0");
            continue;
        }
        // Never a sum of the rows read so far: blank until all are in, or the book gave them.
        Dataset::Totals t;
        const int field = m_listing->fieldIndex(fields().at(i));
        if (!m_listing->isFilling())
            t = m_listing->totals(field);
        else if (!m_listing->knownTotals(field, &t))
            continue;
        m_sums[i] = t.sum.general();
        m_widest[i] = figureText(i, t.largest);
    }
}

bool ListingModel::isOpen() const
{
    return m_listing && m_listing->isOpen();
}

int ListingModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !isOpen())
        return 0;
    return m_listing->recordCount();
}

int ListingModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(fields().size()) + (m_balanceShown ? 1 : 0);
}

QString ListingModel::displayText(int row, int column) const
{
    if (!isOpen() || column < 0 || column >= columnCount() || m_listing->isUnread(row))
        return {};
    if (column == gridcolumns::Balance)
        return balanceText(row);
    const QVariant value = m_listing->valueAt(row, fields().at(column));
    if (value.isNull())
        return {};
    // A text another program stored among the amounts shows as it is.
    if (gridcolumns::column(column).form == gridcolumns::NumberForm::Text ||
        value.typeId() == QMetaType::QString)
        return value.toString();
    return figureText(column, value.toDouble());
}

bool ListingModel::isExpenseRow(int row) const
{
    if (!isOpen() || m_listing->isUnread(row))
        return false;
    // Halves go to the even neighbour: anything from -0.5 to 0.5 counts as no income.
    static const QString incomeField = gridcolumns::field(gridcolumns::Income);
    const QVariant income = m_listing->valueAt(row, incomeField);
    return std::nearbyint(income.isNull() ? 0.0 : income.toDouble()) == 0.0;
}

QColor ListingModel::rowColour(int row) const
{
    if (isExpenseRow(row))
        return QColor(192, 220, 192);
    // Positions count from 1: odd rows white, even rows light grey.
    return row % 2 == 0 ? QColor(Qt::white) : QColor(238, 238, 238);
}

Qt::Alignment ListingModel::alignment(int column)
{
    return gridcolumns::column(column).align | Qt::AlignVCenter;
}

QVariant ListingModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(index.row(), index.column());
    case Qt::BackgroundRole:
        return QBrush(rowColour(index.row()));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment(index.column()));
    case Qt::ForegroundRole:
        return QBrush(Qt::black);
    default:
        return {};
    }
}

Qt::ItemFlags ListingModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant ListingModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnCount())
        return gridcolumns::column(section).lowerTitle.toString();
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return QString(); // the row indicator carries no numbers
    return QAbstractTableModel::headerData(section, orientation, role);
}
