#include "bills/billrowsmodel.h"

#include "bills/billclassify.h"
#include "bills/billpreview.h"

#include <QBrush>
#include <QColor>

namespace {

QString centsText(qint64 cents)
{
    return QString::number(static_cast<double>(cents) / 100.0, 'f', 2);
}

} // namespace

BillRowsModel::BillRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void BillRowsModel::setPreview(bills::BillPreview* preview)
{
    beginResetModel();
    m_preview = preview;
    endResetModel();
}

void BillRowsModel::refresh()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, Columns - 1));
}

int BillRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_preview ? 0 : m_preview->rowCount();
}

int BillRowsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QString BillRowsModel::outcomeText(int r) const
{
    const bills::BillRow& row = m_preview->rows().at(r);
    if (!m_preview->isChosen(r)) {
        if (row.outcome == bills::Outcome::Import)
            return QStringLiteral("跳过：未选");
        return QStringLiteral("跳过：") + bills::reasonFor(row);
    }
    QString text = QStringLiteral("导入");
    if (row.direction != bills::Direction::Income && row.direction != bills::Direction::Expense)
        text += QStringLiteral("，记为") + bills::recordKind(row);
    if (!row.refunds.isEmpty())
        text += QStringLiteral(" %1（已扣退款%2）")
                    .arg(centsText(row.netCents), centsText(row.cents - row.netCents));
    return text;
}

QVariant BillRowsModel::data(const QModelIndex& index, int role) const
{
    if (!m_preview || !index.isValid())
        return {};
    const int r = index.row();
    const bills::BillRow& row = m_preview->rows().at(r);
    if (role == Qt::CheckStateRole && index.column() == Time && m_preview->canChoose(r))
        return m_preview->isChosen(r) ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ForegroundRole && !m_preview->isChosen(r))
        return QBrush(QColor(0x80, 0x80, 0x80));
    if (role == Qt::TextAlignmentRole && index.column() == Amount)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == Outcome)
        return QStringLiteral("第%1行").arg(row.line);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Time:
        return row.time;
    case Direction:
        return row.directionText;
    case Counterparty:
        return row.counterparty;
    case Goods:
        return row.summary();
    case Amount:
        return row.amountValid ? centsText(row.cents) : QString();
    case Outcome:
        return outcomeText(r);
    default:
        return {};
    }
}

bool BillRowsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!m_preview || role != Qt::CheckStateRole || index.column() != Time ||
        !m_preview->canChoose(index.row()))
        return false;
    m_preview->setChosen(index.row(), value.toInt() == Qt::Checked);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), Columns - 1));
    emit ticksChanged();
    return true;
}

Qt::ItemFlags BillRowsModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_preview && index.isValid() && index.column() == Time && m_preview->canChoose(index.row()))
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant BillRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList titles{QStringLiteral("交易时间"), QStringLiteral("收/支"),
                                    QStringLiteral("交易对方"), QStringLiteral("商品"),
                                    QStringLiteral("金额"),     QStringLiteral("处理")};
    return titles.value(section);
}
