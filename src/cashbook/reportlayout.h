#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>

// The printed report without any painting: what is printed (Content), how (Options) and
// where every band falls on which page (Layout). Lengths are in report units, 1/96 inch,
// the unit the grid's design widths and pixel fonts are given in.
namespace report {

constexpr double kUnitsPerInch = 96.0;
constexpr double kUnitsPerCm = kUnitsPerInch / 2.54;

// One paragraph of the rich texts before and after the grid.
struct Paragraph
{
    QString text;
    QString family;
    double pointSize = 8;
    bool bold = false;
    Qt::Alignment alignment = Qt::AlignLeft;
};

struct Column
{
    int index = 0; // the grid's column index
    QString upper;
    QString lower;
    double width = 0; // design width
    Qt::Alignment alignment = Qt::AlignLeft;
};

// A snapshot of the grid and of the texts around it, taken for one print run.
struct Content
{
    QString pageHeader; // "&[Page]" becomes the page number
    QString title;
    QList<Paragraph> before;
    QList<Paragraph> after;
    QList<Column> columns;    // visible columns in the grid's order
    QList<QStringList> rows;  // per record, one text per entry of columns
    QList<QColor> rowColours; // per record
    QStringList footer;       // per entry of columns
    bool footerRow = true;    // the footer band ends the grid
    // A journal's lines at a page break, carrying its running sums: given the last row on the
    // page, the texts of the line that ends it (forward) and of the line that begins the next.
    std::function<QStringList(int row, bool forward)> carry;
    QColor titleColour{166, 202, 240};
    QColor fixedColour{0, 84, 227};
    QColor footerColour{255, 194, 134};
    double gridFontPixels = 14;   // cells, titles and footer
    double headerFontPixels = 11; // page header
};

enum class FitMode { ScaleWholeGrid, ChangeColumnWidths };

// The settings that shape the pages; margins in centimetres.
struct Options
{
    QMarginsF margins{2.0, 2.0, 2.0, 2.0};
    bool fitToPageWidth = true;
    FitMode fitMode = FitMode::ScaleWholeGrid;
    bool coloured = true;
    bool rowAutoStretch = true;
    bool autoFitColumns = false;
    QString fontName = QStringLiteral("Arial");
};

// Fonts for the page: the given face, then a CJK face so Chinese text is drawn.
QFont printFont(const QString& family, double pixels, bool bold = false,
                const QString& cjkFallback = QStringLiteral("Noto Sans CJK SC"));
QFont paragraphFont(const Paragraph& paragraph);
// The stripe or green colour of a record from its position and income total.
QColor rowColour(int position, double incomeTotal);
// Replaces every placeholder of pairs in a copy of the paragraphs.
QList<Paragraph> substituted(QList<Paragraph> paragraphs,
                             const QList<QPair<QString, QString>>& pairs);
QString pageHeaderText(const QString& pattern, int pageNumber);

struct Band
{
    enum Kind {
        Header,
        Before,
        TitleBand,
        ColumnTitles,
        Row,
        Footer,
        After,
        CarryForward,
        BroughtForward
    };
    Kind kind = Header;
    int row = -1; // for Row: the record's position; for the carried lines: the last row before
    QRectF rect;  // on the page, in report units, grid scaling applied
};

struct Page
{
    QList<Band> bands;
    int firstRow = -1;
    int rowCount = 0;
    bool has(Band::Kind kind) const;
    const Band* find(Band::Kind kind) const;
};

struct Layout
{
    QSizeF pageSize;      // report units
    QRectF printable;     // inside the margins
    double gridScale = 1; // applied to every grid band around the grid's left edge
    double gridLeft = 0;  // left edge of the grid on the page, after scaling
    QList<double> widths; // printed column widths before scaling, per content column
    double gridWidth = 0; // sum of widths
    double titleBandHeight = 0;
    double upperTitleHeight = 0;
    double lowerTitleHeight = 0;
    double footerHeight = 0;
    QList<double> rowHeights; // per record, before scaling
    double headerHeight = 0;
    QList<Page> pages;

    int pageCount() const { return static_cast<int>(pages.size()); }
};

// Lays the report out on pages of pageSize (report units). Measures text with the fonts
// the painter will use, so what fits here fits on paper.
Layout paginate(const Content& content, const Options& options, const QSizeF& pageSize);

// Lays the report out a few pages at a time, so the first pages of a long report can be shown
// before the last are known. content must outlive the paginator.
class Paginator
{
public:
    Paginator(const Content& content, const Options& options, const QSizeF& pageSize);

    // Lays out until pages more pages are complete or the report ends; false once it has ended.
    bool advance(int pages);
    bool finished() const { return m_finished; }
    // Pages laid out for good: while the report goes on, the last page is still being filled.
    int completePages() const;
    const Layout& layout() const { return m_layout; }
    Layout takeLayout() { return std::move(m_layout); }

private:
    double rowHeight(int row);
    void newPage();
    void place(Band::Kind kind, double height, int row = -1, double width = -1);
    void startChunk();
    // Ends the page after row with the carried line, and begins the next with its own.
    void breakPage(int row);
    bool pageIsFresh() const;
    void finish();

    const Content& m_content;
    Options m_options;
    Layout m_layout;
    QFont m_gridFont;
    bool m_wrap = true;
    double m_afterHeight = 0;
    double m_gridHead = 0;
    double m_scaledWidth = 0;
    double m_emptyRowHeight = 0;
    double m_carryHeight = 0;                // scaled; 0 without carried lines
    QList<double> m_asciiHeights;            // per column: one line of plain ASCII text
    QList<QHash<QString, double>> m_heights; // per column: measured texts
    double m_y = 0;
    bool m_chunkStarted = false;
    int m_nextRow = 0;
    bool m_finished = false;
};

} // namespace report
