#include "cashbook/reportrender.h"

#include "data/errors.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

namespace report {

namespace {

constexpr double kPadX = 3;
constexpr double kPadY = 2;

void cell(QPainter& p, const QRectF& rect, const QColor& fill, const QString& text,
          Qt::Alignment alignment, bool wrap)
{
    p.fillRect(rect, fill);
    p.drawRect(rect);
    const QRectF inner = rect.adjusted(kPadX, kPadY, -kPadX, -kPadY);
    p.drawText(inner,
               static_cast<int>(alignment | Qt::AlignVCenter) |
                   (wrap ? static_cast<int>(Qt::TextWordWrap) : 0),
               text);
}

void paintParagraphs(QPainter& p, const QList<Paragraph>& paragraphs, const QRectF& area)
{
    double y = area.top();
    for (const Paragraph& paragraph : paragraphs) {
        const QFont font = paragraphFont(paragraph);
        p.setFont(font);
        const QFontMetricsF metrics(font);
        const QRectF box =
            metrics.boundingRect(QRectF(0, 0, area.width(), 1e6), Qt::TextWordWrap, paragraph.text);
        const double height = std::max(metrics.height(), box.height());
        p.drawText(QRectF(area.left(), y, area.width(), height),
                   static_cast<int>(paragraph.alignment | Qt::AlignTop | Qt::TextWordWrap),
                   paragraph.text);
        y += height;
    }
}

void paintHeader(QPainter& p, const Content& content, const Options& options, const QRectF& rect,
                 int pageNumber)
{
    p.setFont(printFont(options.fontName, content.headerFontPixels));
    p.setPen(QPen(Qt::black, 0));
    p.drawText(rect, Qt::AlignHCenter | Qt::AlignTop,
               pageHeaderText(content.pageHeader, pageNumber));
    const double lower = rect.bottom() - kUnitsPerInch / 20;
    const double upper = lower - kUnitsPerInch / 30;
    p.drawLine(QPointF(rect.left(), upper), QPointF(rect.right(), upper));
    p.drawLine(QPointF(rect.left(), lower), QPointF(rect.right(), lower));
}

} // namespace

void paintPage(QPainter& p, const Content& content, const Options& options, const Layout& layout,
               int pageIndex)
{
    const Page& page = layout.pages.at(pageIndex);
    const QFont gridFont = printFont(options.fontName, content.gridFontPixels);
    const bool colour = options.coloured;
    auto paintColour = [colour](const QColor& c) { return colour ? c : QColor(Qt::white); };
    const int columnCount = static_cast<int>(content.columns.size());
    const bool wrap = options.rowAutoStretch;

    for (const Band& band : page.bands) {
        if (band.kind == Band::Header) {
            paintHeader(p, content, options, band.rect, pageIndex + 1);
            continue;
        }
        if (band.kind == Band::Before || band.kind == Band::After) {
            p.setPen(Qt::black);
            paintParagraphs(p, band.kind == Band::Before ? content.before : content.after,
                            band.rect);
            continue;
        }
        // Grid bands are drawn at design size and scaled as a whole.
        p.save();
        p.translate(band.rect.topLeft());
        p.scale(layout.gridScale, layout.gridScale);
        p.setFont(gridFont);
        p.setPen(QPen(Qt::black, 0));
        const double height = band.rect.height() / layout.gridScale;
        switch (band.kind) {
        case Band::TitleBand:
            cell(p, QRectF(0, 0, layout.gridWidth, height), paintColour(content.fixedColour),
                 content.title, Qt::AlignHCenter, true);
            break;
        case Band::ColumnTitles: {
            double x = 0;
            for (int c = 0; c < columnCount;) {
                int end = c;
                double width = 0;
                while (end < columnCount && content.columns[end].upper == content.columns[c].upper)
                    width += layout.widths[end++];
                cell(p, QRectF(x, 0, width, layout.upperTitleHeight),
                     paintColour(content.titleColour), content.columns[c].upper, Qt::AlignHCenter,
                     true);
                x += width;
                c = end;
            }
            x = 0;
            for (int c = 0; c < columnCount; ++c) {
                cell(p,
                     QRectF(x, layout.upperTitleHeight, layout.widths[c], layout.lowerTitleHeight),
                     paintColour(content.titleColour), content.columns[c].lower, Qt::AlignHCenter,
                     true);
                x += layout.widths[c];
            }
            break;
        }
        case Band::Row:
        case Band::Footer:
        case Band::CarryForward:
        case Band::BroughtForward: {
            const bool footer = band.kind == Band::Footer;
            const bool carried =
                band.kind == Band::CarryForward || band.kind == Band::BroughtForward;
            const QColor fill =
                paintColour(footer || carried ? content.footerColour
                                              : content.rowColours.value(band.row, Qt::white));
            const QStringList texts = footer ? content.footer
                                      : carried
                                          ? content.carry(band.row, band.kind == Band::CarryForward)
                                          : content.rows.at(band.row);
            double x = 0;
            for (int c = 0; c < columnCount; ++c) {
                const QString text = texts.value(c);
                cell(p, QRectF(x, 0, layout.widths[c], height), fill, text,
                     content.columns[c].alignment, wrap);
                x += layout.widths[c];
            }
            break;
        }
        default:
            break;
        }
        p.restore();
    }
}

QSizeF pageSizeOf(const QPagedPaintDevice& device)
{
    const QSizeF points = device.pageLayout().fullRectPoints().size();
    return points * (kUnitsPerInch / 72.0);
}

int render(QPagedPaintDevice& device, const Content& content, const Options& options,
           const KeepGoing& keepGoing)
{
    if (auto* printer = dynamic_cast<QPrinter*>(&device))
        printer->setFullPage(true);
    const Layout layout = paginate(content, options, pageSizeOf(device));
    QPainter painter;
    if (!painter.begin(&device))
        throw QuenvaleError(QStringLiteral("打印失败：无法开始打印"));
    const double factor = device.logicalDpiX() / kUnitsPerInch;
    int produced = 0;
    for (int i = 0; i < layout.pageCount(); ++i) {
        if (keepGoing && !keepGoing(i, layout.pageCount()))
            break;
        if (i > 0)
            device.newPage();
        painter.save();
        painter.scale(factor, factor);
        paintPage(painter, content, options, layout, i);
        painter.restore();
        ++produced;
    }
    painter.end();
    return produced;
}

int renderToPdf(const QString& path, const Content& content, const Options& options,
                const QString& documentName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(documentName);
    printer.setCreator(QStringLiteral("Quenvale"));
    const int pages = render(printer, content, options);
    if (!QFileInfo(path).isFile())
        throw QuenvaleError(QStringLiteral("打印失败：无法写入文件 ") + path);
    return pages;
}

} // namespace report
