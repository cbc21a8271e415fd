#pragma once

#include "data/dataset.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class BiffWriter;
class ExportProgressWindow;
class ExportedGrid;
class QIODevice;

// Title texts indexed by visible column, then by title level.
using TTitleCell = QVector<QStringList>;

// Splits the grid's "upper|lower" column titles into rows of title cells. This class, the
// exporter below and their members keep the names of the Windows program's export unit.
class TDBGridEhTitle
{
public:
    void setGrid(ExportedGrid* grid) { m_grid = grid; }
    ExportedGrid* grid() const { return m_grid; }

    // Sizes cells to visible columns × levels and fills them; sets the two counts.
    void GetTitleCells(TTitleCell& cells);

    int VisibleColumnCount = 0;
    int TitleLevelCount = 1;
    // The grid column each visible column is, in display order.
    QVector<int> VisibleColumns;

private:
    ExportedGrid* m_grid = nullptr;
};

// Writes a grid as a one-sheet BIFF worksheet: a report header, the column titles, one row per
// record and the footer row.
class TDBGridEhToExcel : public QObject
{
    Q_OBJECT

public:
    explicit TDBGridEhToExcel(QObject* owner = nullptr);
    ~TDBGridEhToExcel() override;

    ExportedGrid* DBGridEh() const { return m_grid; } // the grid exported (DBGridEh1)
    void setDBGridEh(ExportedGrid* grid) { m_grid = grid; }
    bool ShowProgress() const { return m_showProgress; }
    void setShowProgress(bool show) { m_showProgress = show; }
    QString TitleName() const { return m_titleName; }
    void setTitleName(const QString& text) { m_titleName = text; }
    QString BeginDate() const { return m_beginDate; }
    void setBeginDate(const QString& text) { m_beginDate = text; }
    QString EndDate() const { return m_endDate; }
    void setEndDate(const QString& text) { m_endDate = text; }
    QString UserName() const { return m_userName; }
    void setUserName(const QString& text) { m_userName = text; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString& text) { m_fileName = text; }

    // Writes FileName from the grid. An empty or closed dataset or a blank name does
    // nothing; a failed write says why and leaves no partial file under FileName.
    void ExportToExcel();

    // Puts the grid's fields first, in the grid's order, with its titles and visibility.
    void PrepareFields();
    // The whole sheet, BOF to EOF, into stream; throws QuenvaleError when it cannot.
    void WriteSheet(QIODevice* stream);

    // While an export with progress runs, its window; nullptr otherwise.
    ExportProgressWindow* progressWindow() const { return m_progress.get(); }

private:
    void WriteHeader();
    void WriteTitles();
    void WriteData();
    void WriteFooters();
    void NextCell();
    void ShowProgressWindow();
    void writeField(int field);
    int sheetColumn(int gridColumn) const;
    Dataset* dataset() const;

    int m_col = 0;
    int m_row = 0;
    std::unique_ptr<ExportProgressWindow> m_progress;
    BiffWriter* m_stream = nullptr;
    Dataset::Bookmark m_savedPosition = -1;

    ExportedGrid* m_grid = nullptr;
    bool m_showProgress = true;
    QString m_titleName;
    QString m_beginDate;
    QString m_endDate;
    QString m_userName;
    QString m_fileName;
};
