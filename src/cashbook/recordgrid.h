#pragma once

#include <QTableView>

class Dataset;
class ListingModel;

// The record grid: the listing under two-level titles with a footer row of sums.
class RecordGrid : public QTableView
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 10;

    explicit RecordGrid(QWidget* parent = nullptr);
    ~RecordGrid() override;

    void setListing(Dataset* listing);
    Dataset* listing() const { return m_listing; }
    ListingModel* listingModel() const { return m_model; }

    // Columns in display order: field, "upper|lower" title, visibility.
    QString columnField(int column) const;
    QString columnTitle(int column) const;
    bool isColumnVisible(int column) const;
    void setColumnVisible(int column, bool visible);

    // The text a footer cell shows; column 2's can be set.
    QString footerText(int column) const;
    void setStaticFooterText(int column, const QString& text);

    // The kind of the listing's current record as text; empty when there is none.
    QString firstFieldText() const;

signals:
    void cellClicked();
    void recordChosen();

private:
    Dataset* m_listing = nullptr;
    ListingModel* m_model = nullptr;
    QString m_staticFooter[kColumnCount];
};
