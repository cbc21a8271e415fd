#include "history/historymodels.h"

#include "data/schema.h"

namespace {

const char16_t* const kHistoryTitles[] = {u"序号", u"时间", u"操作员", u"操作",
                                          u"对象", u"编号", u"修改前", u"修改后"};

// The bin's columns after 删除时间, 删除人 and 编号: the record's own, in the book's order.
constexpr int kBinFixed = 3;

bool isAmount(const QString& column)
{
    return column.size() == 1 && column[0] >= u'1' && column[0] <= u'6';
}

QVariant valueOf(const history::Values& values, const QString& column)
{
    for (const auto& [name, value] : values)
        if (name == column)
            return value;
    return {};
}

// The book's columns without the marker o.
const QStringList& recordColumns()
{
    static const QStringList columns = [] {
        QStringList c = schema::dataColumns();
        c.removeAll(QStringLiteral("o"));
        return c;
    }();
    return columns;
}

} // namespace

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistoryModel::setEntries(QList<history::Entry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int HistoryModel::rowOf(qint64 seq) const
{
    for (int row = 0; row < m_entries.size(); ++row)
        if (m_entries.at(row).seq == seq)
            return row;
    return -1;
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rowCount();
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HistoryModel::columnTitle(int column) const
{
    return QString::fromUtf16(kHistoryTitles[column]);
}

TableSource::Kind HistoryModel::columnKind(int column) const
{
    return column == Seq || column == Key ? Kind::Integer : Kind::Text;
}

QVariant HistoryModel::value(int row, int column) const
{
    const history::Entry& e = m_entries.at(row);
    switch (column) {
    case Seq:
        return e.seq;
    case At:
        return e.at;
    case User:
        return e.user;
    case Action:
        return e.action;
    case Table:
        return history::tableName(e.table);
    case Key:
        return e.key == 0 ? QVariant() : QVariant(e.key);
    case Before:
        return history::describe(e.table, e.before);
    case After:
        return history::describe(e.table, e.after);
    default:
        return {};
    }
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const QVariant v = value(index.row(), index.column());
        return v.isNull() ? QString() : v.toString();
    }
    if (role == Qt::TextAlignmentRole && columnKind(index.column()) == Kind::Integer)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return columnTitle(section);
}

BinModel::BinModel(QObject* parent) : QAbstractTableModel(parent) {}

void BinModel::setEntries(QList<history::Entry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int BinModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int BinModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kBinFixed + static_cast<int>(recordColumns().size());
}

QVariant BinModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const history::Entry& e = m_entries.at(index.row());
    const int column = index.column();
    const QString field =
        column >= kBinFixed ? recordColumns().value(column - kBinFixed) : QString();
    if (role == Qt::TextAlignmentRole && (column == 2 || isAmount(field)))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case 0:
        return e.at;
    case 1:
        return e.user;
    case 2:
        return e.key;
    default:
        return history::valueText(field, valueOf(e.before, field));
    }
}

QVariant BinModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case 0:
        return QStringLiteral("删除时间");
    case 1:
        return QStringLiteral("删除人");
    case 2:
        return QStringLiteral("编号");
    default:
        return history::columnTitle(QStringLiteral("data"),
                                    recordColumns().value(section - kBinFixed));
    }
}
