#pragma once

#include <QString>
#include <QStringList>

class Dataset;
class QWidget;

// What the exporter needs of a grid: its columns in display order, their titles ("upper|lower"),
// visibility and footer value texts, and the dataset it shows. The record grid has an adapter;
// tests give plain columns over a dataset.
class ExportedGrid
{
public:
    virtual ~ExportedGrid() = default;

    virtual Dataset* dataset() const = 0;
    virtual int columnCount() const = 0;
    virtual QString columnField(int column) const = 0;
    virtual QString columnTitle(int column) const = 0;
    virtual bool isColumnVisible(int column) const = 0;

    // Footer rows, and per column the value texts of its footers, one per footer row.
    // A computed footer (a sum) has an empty value text.
    virtual int footerRowCount() const = 0;
    virtual QStringList footerValueTexts(int column) const = 0;

    // Stops and restarts the grid's redrawing while the dataset is walked.
    virtual void setRedrawEnabled(bool enabled) { (void)enabled; }
    // The window boxes about this grid belong to.
    virtual QWidget* window() const { return nullptr; }
};
