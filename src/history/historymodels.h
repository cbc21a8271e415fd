#pragma once

#include "data/history.h"
#include "export/tablesource.h"

#include <QAbstractTableModel>
#include <QList>

// The entries of the history as the window 修改记录 lists them, exports them and prints them:
// newest first, the values before and after in words.
class HistoryModel : public QAbstractTableModel, public TableSource
{
    Q_OBJECT

public:
    enum Column { Seq, At, User, Action, Table, Key, Before, After, ColumnCount };

    explicit HistoryModel(QObject* parent = nullptr);
    void setEntries(QList<history::Entry> entries);
    const QList<history::Entry>& entries() const { return m_entries; }
    // The row of the entry of that number, -1 when it is not listed.
    int rowOf(qint64 seq) const;

    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // TableSource
    int columnCount() const override { return ColumnCount; }
    QString columnTitle(int column) const override;
    Kind columnKind(int column) const override;
    int rowCount() const override { return static_cast<int>(m_entries.size()); }
    QVariant value(int row, int column) const override;

private:
    QList<history::Entry> m_entries;
};

// The records in the recycle bin: when and by whom each was deleted, and every value it held.
class BinModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit BinModel(QObject* parent = nullptr);
    void setEntries(QList<history::Entry> entries);
    const QList<history::Entry>& entries() const { return m_entries; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<history::Entry> m_entries;
};
