#pragma once

#include "cashbook/reportlayout.h"
#include "stats/cashstats.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QSqlDatabase;
class QTableView;
class StatsModel;
class TPrintDBGridEh;

// What the reports of receivables and cash share: their choices in a row at the top, the
// table, and the buttons that export it (PDF, .xlsx, CSV) and print it through the preview
// with the report's name as title and what it covers in the heading.
class ReportWindow : public QWidget
{
    Q_OBJECT

public:
    const stats::StatTable& table() const;
    // What the report covers ("单位名称：…  期间：…"): the heading of every page and sheet.
    QString heading() const { return m_heading; }
    // Reads the report again with the choices made.
    virtual void refresh() = 0;

    void exportPdf();
    void exportXlsx();
    void exportCsv();
    void printTable();
    // The pages as printed and exported to PDF.
    virtual report::Content content() const;

    QTableView* view = nullptr;
    QLabel* headingLabel = nullptr;
    QPushButton* pdfButton = nullptr;
    QPushButton* xlsxButton = nullptr;
    QPushButton* csvButton = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* closeButton = nullptr;

protected:
    ReportWindow(const char* name, const QString& title, QWidget* owner);

    void setTable(stats::StatTable table, const QString& heading);
    // The open book, or none (closed for a backup): then the report is empty.
    static bool bookOpen();
    static QSqlDatabase book();

    QHBoxLayout* choices = nullptr; // the report's own fields, left to right

private:
    QString m_title;
    QString m_heading;
    StatsModel* m_model = nullptr;
    TPrintDBGridEh* m_printSettings = nullptr;
};
