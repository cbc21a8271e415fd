#include "cashbook/gridfooter.h"

#include "cashbook/listingmodel.h"
#include "cashbook/recordgrid.h"

#include <QFontInfo>
#include <QHeaderView>
#include <QPainter>

namespace {
const QColor kFooterColour(255, 194, 134);
}

QFont fittedFont(const QFont& font, const QString& text, int width)
{
    QFont fitted = font;
    int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    while (pixels > 6 && QFontMetrics(fitted).horizontalAdvance(text) > width) {
        --pixels;
        fitted.setPixelSize(pixels);
    }
    return fitted;
}

GridFooter::GridFooter(RecordGrid* grid) : QWidget(grid), m_grid(grid) {}

void GridFooter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    p.fillRect(rect(), kFooterColour);
    QHeaderView* header = m_grid->horizontalHeader();
    const int offset =
        m_grid->verticalHeader()->isVisible() ? m_grid->verticalHeader()->width() : 0;
    auto cellRect = [&](int c) {
        return QRect(offset + header->sectionViewportPosition(c) + m_grid->frameWidth(), 0,
                     header->sectionSize(c), height());
    };
    const int count = m_grid->model()->columnCount();
    for (int c = 0; c < count; ++c) {
        if (header->isSectionHidden(c))
            continue;
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(cellRect(c).adjusted(0, 0, -1, -1));
    }
    for (int c = 0; c < count; ++c) {
        if (header->isSectionHidden(c))
            continue;
        const QString text = m_grid->footerText(c);
        if (text.isEmpty())
            continue;
        QRect cell = cellRect(c);
        const Qt::Alignment align = ListingModel::alignment(c);
        // A long static text (the balance line) runs on over the empty cells to its right.
        if (align & Qt::AlignLeft) {
            for (int next = c + 1;
                 next < count && p.fontMetrics().horizontalAdvance(text) + 6 > cell.width();
                 ++next) {
                if (header->isSectionHidden(next))
                    continue;
                if (!m_grid->footerText(next).isEmpty())
                    break;
                cell.setRight(cellRect(next).right());
            }
            p.fillRect(cell.adjusted(1, 1, -1, -1), kFooterColour);
        }
        p.setPen(Qt::black);
        // Sums and the balance line stay whole, in a smaller face if need be.
        const QRect inner = cell.adjusted(3, 0, -3, 0);
        p.setFont(fittedFont(font(), text, inner.width()));
        p.drawText(inner, align | Qt::AlignVCenter, text);
    }
}
