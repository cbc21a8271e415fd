#include "stats/statsmodel.h"

#include <QColor>
#include <QFont>
#include <QLocale>

namespace {

const QColor kTotalColour(255, 194, 134);

QString numberText(double value, TableSource::Kind kind)
{
    return QLocale::c().toString(value, 'f', kind == TableSource::Kind::Integer ? 0 : 2);
}

} // namespace

StatsModel::StatsModel(QObject* parent) : QAbstractTableModel(parent) {}

void StatsModel::setTable(stats::StatTable table)
{
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

QString StatsModel::cellText(const stats::StatTable& table, int row, int column)
{
    const QVariant value = table.value(row, column);
    if (value.isNull())
        return {};
    const TableSource::Kind kind = table.columnKind(column);
    if (kind == TableSource::Kind::Number || kind == TableSource::Kind::Integer)
        return numberText(value.toDouble(), kind);
    return value.toString();
}

QString StatsModel::footerCellText(const stats::StatTable& table, int column)
{
    if (!table.footerSums(column))
        return table.footerText(column);
    double sum = 0;
    for (int row = 0; row < table.rowCount(); ++row)
        sum += table.value(row, column).toDouble();
    return numberText(sum, table.columnKind(column));
}

int StatsModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_table.rowCount() + (m_table.hasFooter() ? 1 : 0);
}

int StatsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_table.columnCount();
}

QVariant StatsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const bool footer = index.row() == m_table.rowCount();
    const bool total = footer || m_table.isTotalRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return footer ? footerCellText(m_table, index.column())
                      : cellText(m_table, index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (m_table.columnKind(index.column()) == TableSource::Kind::Text
                                        ? Qt::AlignLeft
                                        : Qt::AlignRight));
    case Qt::FontRole:
        if (total) {
            QFont font;
            font.setBold(true);
            return font;
        }
        break;
    case Qt::BackgroundRole:
        if (total)
            return kTotalColour;
        break;
    case Qt::ForegroundRole:
        if (total)
            return QColor(Qt::black);
        break;
    default:
        break;
    }
    return {};
}

QVariant StatsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_table.columnTitle(section).section(u'|', -1);
}
