#pragma once

#include <QAbstractTableModel>

namespace bills {
class BillPreview;
}

// The rows of a bill preview: 交易时间, 收/支, 交易对方, 商品, 金额 and what becomes of the
// row. The first column carries the row's tick where it can be chosen.
class BillRowsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Direction, Counterparty, Goods, Amount, Outcome, Columns };

    explicit BillRowsModel(QObject* parent = nullptr);
    // The preview shown; it must outlive the model or be replaced first.
    void setPreview(bills::BillPreview* preview);
    // After the preview's choices changed.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The text of the last column for a row.
    QString outcomeText(int row) const;

signals:
    void ticksChanged();

private:
    bills::BillPreview* m_preview = nullptr;
};
