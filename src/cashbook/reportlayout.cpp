#include "cashbook/reportlayout.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

namespace report {

namespace {

constexpr double kPadX = 3;
constexpr double kPadY = 2;
// The double line under the page header: 1/30 inch apart, the lower 1/20 inch above the edge.
constexpr double kHeaderLineGap = kUnitsPerInch / 30;
constexpr double kHeaderLineBottom = kUnitsPerInch / 20;

double textHeight(const QFont& font, double width, const QString& text, bool wrap)
{
    const QFontMetricsF metrics(font);
    if (!wrap || text.isEmpty())
        return metrics.height();
    const QRectF box =
        metrics.boundingRect(QRectF(0, 0, std::max(1.0, width), std::numeric_limits<int>::max()),
                             Qt::TextWordWrap, text);
    return std::max(metrics.height(), box.height());
}

double cellHeight(const QFont& font, double width, const QString& text, bool wrap)
{
    return textHeight(font, width - 2 * kPadX, text, wrap) + 2 * kPadY;
}

double textWidth(const QFont& font, const QString& text)
{
    return QFontMetricsF(font).horizontalAdvance(text);
}

// Amount columns are the right-aligned ones.
bool isFigureColumn(const Column& column)
{
    return column.alignment & Qt::AlignRight;
}

// The width of text when it is plain ASCII, from its characters' advances (kerning is off);
// -1 for any other text.
double asciiWidth(const double (&advances)[128], const QString& text)
{
    double width = 0;
    for (QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() >= 0x7f)
            return -1;
        width += advances[ch.unicode()];
    }
    return width;
}

const QString& cellText(const QStringList& row, int column)
{
    static const QString none;
    return column < row.size() ? row.at(column) : none;
}

double figureWidth(const QFont& font, const Content& content, int column)
{
    const QFontMetricsF metrics(font);
    double advances[128] = {};
    for (char16_t c = 0x20; c < 0x7f; ++c)
        advances[c] = metrics.horizontalAdvance(QChar(c));
    // A long listing's figures are measured by their characters; only those that may be the
    // widest are measured whole, so the result is what measuring every one would give.
    constexpr double kSlack = 1;
    double width = metrics.horizontalAdvance(content.footer.value(column));
    double widestGuess = -1;
    for (const QStringList& row : content.rows) {
        const QString& text = cellText(row, column);
        const double guess = asciiWidth(advances, text);
        if (guess < 0)
            width = std::max(width, metrics.horizontalAdvance(text));
        widestGuess = std::max(widestGuess, guess);
    }
    if (widestGuess >= 0) {
        for (const QStringList& row : content.rows) {
            const QString& text = cellText(row, column);
            if (asciiWidth(advances, text) >= widestGuess - kSlack)
                width = std::max(width, metrics.horizontalAdvance(text));
        }
    }
    return width + 2 * kPadX + 2;
}

} // namespace

QFont printFont(const QString& family, double pixels, bool bold, const QString& cjkFallback)
{
    // The platform's own match for the face (Arial may be a metric twin here), then a CJK
    // face so Chinese text does not fall to whatever the system picks.
    static QHash<QString, QString> resolved;
    auto it = resolved.find(family);
    if (it == resolved.end())
        it = resolved.insert(family, QFontInfo(QFont(family)).family());
    QFont font;
    font.setFamilies({*it, cjkFallback});
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setBold(bold);
    // The same advances on screen, in the preview and on paper.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    return font;
}

QFont paragraphFont(const Paragraph& paragraph)
{
    // Serif CJK stands in for the fixed-pitch face with the Chinese character set.
    const QString fallback = paragraph.family == QStringLiteral("Courier New")
                                 ? QStringLiteral("Noto Serif CJK SC")
                                 : QStringLiteral("Noto Sans CJK SC");
    return printFont(paragraph.family, paragraph.pointSize * kUnitsPerInch / 72, paragraph.bold,
                     fallback);
}

QColor rowColour(int position, double incomeTotal)
{
    if (std::nearbyint(incomeTotal) == 0)
        return {192, 220, 192};
    return (position + 1) % 2 == 1 ? QColor(Qt::white) : QColor(238, 238, 238);
}

QList<Paragraph> substituted(QList<Paragraph> paragraphs,
                             const QList<QPair<QString, QString>>& pairs)
{
    for (Paragraph& p : paragraphs)
        for (const auto& pair : pairs)
            p.text.replace(pair.first, pair.second);
    return paragraphs;
}

QString pageHeaderText(const QString& pattern, int pageNumber)
{
    QString text = pattern;
    return text.replace(QStringLiteral("&[Page]"), QString::number(pageNumber));
}

bool Page::has(Band::Kind kind) const
{
    return find(kind) != nullptr;
}

const Band* Page::find(Band::Kind kind) const
{
    for (const Band& band : bands)
        if (band.kind == kind)
            return &band;
    return nullptr;
}

Paginator::Paginator(const Content& content, const Options& options, const QSizeF& pageSize)
    : m_content(content), m_options(options)
{
    Layout& layout = m_layout;
    layout.pageSize = pageSize;
    const QMarginsF m = options.margins * kUnitsPerCm;
    layout.printable = QRectF(QPointF(0, 0), pageSize).marginsRemoved(m);
    const QRectF& area = layout.printable;

    m_gridFont = printFont(options.fontName, content.gridFontPixels);
    const QFont& gridFont = m_gridFont;
    const QFont headerFont = printFont(options.fontName, content.headerFontPixels);
    const int columnCount = static_cast<int>(content.columns.size());

    // Column widths: design widths, or what the texts need.
    for (int c = 0; c < columnCount; ++c) {
        double width = content.columns[c].width;
        if (options.autoFitColumns) {
            width = textWidth(gridFont, content.columns[c].lower);
            for (const QStringList& row : content.rows)
                width = std::max(width, textWidth(gridFont, row.value(c)));
            width = std::max(width, textWidth(gridFont, content.footer.value(c)));
            width += 2 * kPadX + 2;
        }
        // A figure never wraps or loses digits: numeric columns widen to their widest value.
        if (isFigureColumn(content.columns[c]))
            width = std::max(width, figureWidth(gridFont, content, c));
        layout.widths << width;
    }
    layout.gridWidth = 0;
    for (double w : layout.widths)
        layout.gridWidth += w;
    if (options.fitToPageWidth && layout.gridWidth > area.width() && layout.gridWidth > 0) {
        const double factor = area.width() / layout.gridWidth;
        // Narrowing columns may only take from the text columns, which wrap; figures keep
        // their width, else the whole grid is scaled instead.
        double figures = 0;
        for (int c = 0; c < columnCount; ++c)
            if (isFigureColumn(content.columns[c]))
                figures += layout.widths[c];
        const double textFactor = layout.gridWidth > figures
                                      ? (area.width() - figures) / (layout.gridWidth - figures)
                                      : 0;
        if (options.fitMode == FitMode::ScaleWholeGrid || textFactor < 0.3) {
            layout.gridScale = factor;
        } else {
            for (int c = 0; c < columnCount; ++c)
                if (!isFigureColumn(content.columns[c]))
                    layout.widths[c] *= textFactor;
            layout.gridWidth = area.width();
        }
    }
    const double s = layout.gridScale;
    layout.gridLeft = area.left();
    m_wrap = options.rowAutoStretch;

    // Heights of the grid's bands, before scaling.
    layout.titleBandHeight = cellHeight(gridFont, layout.gridWidth, content.title, true);
    for (int c = 0; c < columnCount;) {
        int end = c;
        double width = 0;
        while (end < columnCount && content.columns[end].upper == content.columns[c].upper)
            width += layout.widths[end++];
        layout.upperTitleHeight = std::max(
            layout.upperTitleHeight, cellHeight(gridFont, width, content.columns[c].upper, true));
        c = end;
    }
    for (int c = 0; c < columnCount; ++c) {
        layout.lowerTitleHeight =
            std::max(layout.lowerTitleHeight,
                     cellHeight(gridFont, layout.widths[c], content.columns[c].lower, true));
        layout.footerHeight =
            std::max(layout.footerHeight,
                     cellHeight(gridFont, layout.widths[c], content.footer.value(c), m_wrap));
        m_asciiHeights << cellHeight(gridFont, layout.widths[c], QStringLiteral("0"), m_wrap);
    }
    m_heights.resize(columnCount);
    if (columnCount == 0) {
        layout.upperTitleHeight = layout.lowerTitleHeight = 0;
        layout.footerHeight = 0;
    }
    m_emptyRowHeight = cellHeight(gridFont, 100, QString(), false);
    if (content.carry && !content.rows.isEmpty()) {
        // The carried lines hold a fixed word and figures: one measure serves every break.
        for (bool forward : {true, false}) {
            const QStringList texts = content.carry(0, forward);
            for (int c = 0; c < columnCount; ++c)
                m_carryHeight = std::max(
                    m_carryHeight, cellHeight(gridFont, layout.widths[c], texts.value(c), m_wrap));
        }
        m_carryHeight *= layout.gridScale;
    }
    layout.rowHeights.reserve(content.rows.size());

    layout.headerHeight =
        QFontMetricsF(headerFont).height() + kHeaderLineGap + kHeaderLineBottom + 2;
    auto paragraphsHeight = [&](const QList<Paragraph>& paragraphs) {
        double height = 0;
        for (const Paragraph& p : paragraphs)
            height += textHeight(paragraphFont(p), area.width(), p.text, true);
        return height;
    };
    const double beforeHeight = paragraphsHeight(content.before);
    m_afterHeight = paragraphsHeight(content.after);
    m_gridHead = (layout.titleBandHeight + layout.upperTitleHeight + layout.lowerTitleHeight) * s;
    m_scaledWidth = layout.gridWidth * s;

    newPage();
    place(Band::Before, beforeHeight, -1, area.width());
}

double Paginator::rowHeight(int row)
{
    const QStringList& texts = m_content.rows.at(row);
    double height = m_emptyRowHeight;
    const int columnCount = static_cast<int>(m_content.columns.size());
    for (int c = 0; c < columnCount; ++c) {
        const QString text = texts.value(c);
        // A figure fits its column (widened to the widest): plain ASCII takes one line of the
        // grid's own face, the same for every figure.
        const bool plain = isFigureColumn(m_content.columns[c]) && !text.isEmpty() &&
                           std::all_of(text.cbegin(), text.cend(), [](QChar ch) {
                               return ch.unicode() >= 0x20 && ch.unicode() < 0x7f;
                           });
        double cell = 0;
        if (plain) {
            cell = m_asciiHeights[c];
        } else {
            // Summaries and counterparties repeat: each distinct text is measured once.
            auto it = m_heights[c].constFind(text);
            if (it == m_heights[c].cend())
                it = m_heights[c].insert(text,
                                         cellHeight(m_gridFont, m_layout.widths[c], text, m_wrap));
            cell = *it;
        }
        height = std::max(height, cell);
    }
    return height;
}

void Paginator::newPage()
{
    const QRectF& area = m_layout.printable;
    m_layout.pages.append(Page());
    m_y = area.top();
    m_layout.pages.last().bands.append(
        {Band::Header, -1, QRectF(area.left(), m_y, area.width(), m_layout.headerHeight)});
    m_y += m_layout.headerHeight;
    m_chunkStarted = false;
}

void Paginator::place(Band::Kind kind, double height, int row, double width)
{
    const QRectF& area = m_layout.printable;
    m_layout.pages.last().bands.append(
        {kind, row, QRectF(area.left(), m_y, width < 0 ? m_scaledWidth : width, height)});
    m_y += height;
}

void Paginator::startChunk()
{
    const double s = m_layout.gridScale;
    place(Band::TitleBand, m_layout.titleBandHeight * s);
    place(Band::ColumnTitles, (m_layout.upperTitleHeight + m_layout.lowerTitleHeight) * s);
    m_chunkStarted = true;
}

void Paginator::breakPage(int row)
{
    if (m_carryHeight > 0)
        place(Band::CarryForward, m_carryHeight, row);
    newPage();
    startChunk();
    if (m_carryHeight > 0)
        place(Band::BroughtForward, m_carryHeight, row);
}

bool Paginator::pageIsFresh() const
{
    return m_layout.pages.last().bands.size() == 1;
}

int Paginator::completePages() const
{
    return m_finished ? m_layout.pageCount() : m_layout.pageCount() - 1;
}

bool Paginator::advance(int pages)
{
    const double bottom = m_layout.printable.bottom();
    const double s = m_layout.gridScale;
    const int target = completePages() + pages;
    const int rowCount = static_cast<int>(m_content.rows.size());
    while (!m_finished && m_nextRow < rowCount) {
        const int r = m_nextRow;
        const double unscaled = rowHeight(r);
        const double height = unscaled * s;
        if (!m_chunkStarted) {
            if (m_y + m_gridHead + height > bottom && !pageIsFresh())
                newPage();
            startChunk();
        } else if (m_y + height + m_carryHeight > bottom && m_layout.pages.last().rowCount > 0) {
            // Room is kept below every row for the line that carries the sums over.
            breakPage(r - 1);
        }
        m_layout.rowHeights << unscaled;
        Page& page = m_layout.pages.last();
        if (page.firstRow < 0)
            page.firstRow = r;
        ++page.rowCount;
        place(Band::Row, height, r);
        ++m_nextRow;
        // The row just placed opened a new page: the pages before it are done.
        if (completePages() >= target)
            return true;
    }
    if (!m_finished)
        finish();
    return false;
}

void Paginator::finish()
{
    const double bottom = m_layout.printable.bottom();
    const double footerHeight =
        m_content.footerRow ? m_layout.footerHeight * m_layout.gridScale : 0;
    if (!m_chunkStarted) {
        if (m_y + m_gridHead + footerHeight > bottom && !pageIsFresh())
            newPage();
        startChunk();
    } else if (m_content.footerRow && m_y + footerHeight > bottom &&
               m_layout.pages.last().rowCount > 0) {
        breakPage(m_nextRow - 1);
    }
    if (m_content.footerRow)
        place(Band::Footer, footerHeight);
    if (m_y + m_afterHeight > bottom && !pageIsFresh())
        newPage();
    place(Band::After, m_afterHeight, -1, m_layout.printable.width());
    m_finished = true;
}

Layout paginate(const Content& content, const Options& options, const QSizeF& pageSize)
{
    Paginator paginator(content, options, pageSize);
    while (paginator.advance(std::numeric_limits<int>::max() / 2)) {
    }
    return paginator.takeLayout();
}

} // namespace report
