#pragma once

#include "cashbook/gridcolumns.h"

#include <QTableView>

class Dataset;
class GridFooter;
class ListingModel;
class QAction;
class QMenu;
class TwoLevelHeader;

// The record grid: the listing under two-level titles with a footer row of sums.
class RecordGrid : public QTableView
{
    Q_OBJECT

public:
    // The ten columns of the book's fields: what is printed and exported. The running balance
    // (kBalanceColumn) is an eleventh, shown in the grid only while showBalanceAction is ticked.
    static constexpr int kColumnCount = gridcolumns::Count;
    static constexpr int kBalanceColumn = gridcolumns::Balance;

    explicit RecordGrid(QWidget* parent = nullptr);
    ~RecordGrid() override;

    void setListing(Dataset* listing);
    Dataset* listing() const { return m_listing; }
    ListingModel* listingModel() const { return m_model; }
    TwoLevelHeader* titles() const { return m_header; }

    // Columns in display order: field, "upper|lower" title, visibility.
    QString columnField(int column) const;
    QString columnTitle(int column) const;
    bool isColumnVisible(int column) const;
    void setColumnVisible(int column, bool visible);

    // The text a footer cell shows: the sums of the summed columns, the static text elsewhere.
    QString footerText(int column) const;
    // The text of a static footer; empty for the computed sums. It lasts until the listing's
    // rows change.
    QString staticFooterText(int column) const;
    void setStaticFooterText(int column, const QString& text);

    // The kind of the listing's current record as text; empty when there is none.
    QString firstFieldText() const;

    // A click on a column's lower title: sorts by it and moves the markers.
    void titleClick(int column);

    // The context menu and its items.
    QMenu* PopupMenu3 = nullptr; // the grid's context menu
    QAction* N2 = nullptr;       // 新建记录
    QAction* N3 = nullptr;       // 修 改: opens the current record, as a double-click does
    QAction* N4 = nullptr;       // 删 除
    QAction* Excel1 = nullptr;   // 导出Excel: .xls export
    QAction* N5 = nullptr;       // 打印报表
    QAction* N7 = nullptr;       // hide switch 隐藏单位名称 (column c)
    QAction* N8 = nullptr;       // hide switch 隐藏已收金额 (column "2")
    QAction* N9 = nullptr;       // hide switch 隐藏应收账款 (column "3")
    QAction* N10 = nullptr;      // hide switch 隐藏已付金额 (column "5")
    QAction* N11 = nullptr;      // hide switch 隐藏应付账款 (column "6")
    QAction* showBalanceAction = nullptr; // 显示余额列: the running balance as an 11th column

    static int designWidth(int column);

signals:
    void cellClicked();
    void recordChosen();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void buildMenu();
    void fitColumns();
    // The width an amount column needs for its widest figure and its footer sum.
    int figureWidth(int column) const;
    void followCurrentRecord();
    void placeFooter();
    void dropStaleFooters();
    void showBalance(bool shown);
    int shownColumnCount() const; // ten, or eleven with the balance

    Dataset* m_listing = nullptr;
    ListingModel* m_model = nullptr;
    TwoLevelHeader* m_header = nullptr;
    GridFooter* m_footer = nullptr;
    QString m_staticFooter[kColumnCount + 1];
    quint64 m_staticFooterVersion = 0; // the listing's content the static footers describe
    bool m_syncing = false;
    bool m_fitting = false;                  // widths being set by the grid, not by the operator
    int m_handWidth[kColumnCount + 1] = {};  // widths the operator set; 0 where none
    static constexpr int kMinimumWidth = 20; // of a column sharing what is left
};
