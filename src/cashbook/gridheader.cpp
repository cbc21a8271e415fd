#include "cashbook/gridheader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kTitleColour(166, 202, 240);

} // namespace

TwoLevelHeader::TwoLevelHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false); // clicks are judged here: only the lower level sorts
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignCenter);
}

void TwoLevelHeader::setTitles(const QStringList& titles)
{
    m_titles = titles;
    m_markers = QVector<Marker>(titles.size(), Marker::None);
    viewport()->update();
}

TwoLevelHeader::Marker TwoLevelHeader::marker(int column) const
{
    return m_markers.value(column, Marker::None);
}

void TwoLevelHeader::setMarker(int column, Marker marker)
{
    if (column >= 0 && column < m_markers.size())
        m_markers[column] = marker;
    viewport()->update();
}

void TwoLevelHeader::clearMarkers()
{
    m_markers.fill(Marker::None);
    viewport()->update();
}

QString TwoLevelHeader::upper(int column) const
{
    return m_titles.value(column).section(u'|', 0, 0);
}

QString TwoLevelHeader::lower(int column) const
{
    const QString title = m_titles.value(column);
    return title.contains(u'|') ? title.section(u'|', 1) : QString();
}

int TwoLevelHeader::levelHeight() const
{
    return fontMetrics().height() + 6;
}

QSize TwoLevelHeader::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    size.setHeight(2 * levelHeight());
    return size;
}

void TwoLevelHeader::paintSection(QPainter*, const QRect&, int) const
{
    // Drawn whole in paintEvent, where the shared upper cells are known.
}

void TwoLevelHeader::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.setFont(font());
    const int h = levelHeight();
    const QColor line = palette().color(QPalette::Mid);
    // A skin may give the titles its own ground.
    const QVariant skinned = property("titleColour");
    p.fillRect(viewport()->rect(), skinned.isValid() ? skinned.value<QColor>() : kTitleColour);
    const int count = this->count();
    int column = 0;
    while (column < count) {
        if (isSectionHidden(column)) {
            ++column;
            continue;
        }
        // The run of visible neighbours sharing this upper title.
        int last = column;
        for (int next = column + 1; next < count; ++next) {
            if (isSectionHidden(next))
                continue;
            if (upper(next) != upper(column))
                break;
            last = next;
        }
        const int left = sectionViewportPosition(column);
        const int right = sectionViewportPosition(last) + sectionSize(last);
        const QRect upperRect(left, 0, right - left, h);
        p.setPen(Qt::black);
        p.drawText(upperRect, Qt::AlignCenter, upper(column));
        p.setPen(line);
        p.drawRect(upperRect.adjusted(0, 0, -1, -1));
        for (int c = column; c <= last; ++c) {
            if (isSectionHidden(c))
                continue;
            const QRect lowerRect(sectionViewportPosition(c), h, sectionSize(c), height() - h);
            p.setPen(Qt::black);
            p.drawText(lowerRect.adjusted(2, 0, -12, 0), Qt::AlignCenter, lower(c));
            p.setPen(line);
            p.drawRect(lowerRect.adjusted(0, 0, -1, -1));
            const Marker m = marker(c);
            if (m != Marker::None) {
                const QPointF centre(lowerRect.right() - 8, lowerRect.center().y());
                QPainterPath arrow;
                if (m == Marker::Down) {
                    arrow.moveTo(centre + QPointF(-4, -2));
                    arrow.lineTo(centre + QPointF(4, -2));
                    arrow.lineTo(centre + QPointF(0, 3));
                } else {
                    arrow.moveTo(centre + QPointF(-4, 3));
                    arrow.lineTo(centre + QPointF(4, 3));
                    arrow.lineTo(centre + QPointF(0, -2));
                }
                arrow.closeSubpath();
                p.fillPath(arrow, QColor(60, 60, 60));
            }
        }
        column = last + 1;
    }
}

void TwoLevelHeader::mousePressEvent(QMouseEvent* event)
{
    m_pressed = -1;
    const int column = logicalIndexAt(event->position().toPoint());
    // Near a section edge the press starts a column resize instead.
    const int x = event->position().toPoint().x();
    const bool nearEdge =
        column >= 0 && (qAbs(x - sectionViewportPosition(column)) < 4 ||
                        qAbs(x - sectionViewportPosition(column) - sectionSize(column)) < 4);
    if (event->button() == Qt::LeftButton && column >= 0 && !nearEdge &&
        event->position().y() >= levelHeight())
        m_pressed = column;
    QHeaderView::mousePressEvent(event);
}

void TwoLevelHeader::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    const int column = logicalIndexAt(event->position().toPoint());
    const int pressed = m_pressed;
    m_pressed = -1;
    if (pressed >= 0 && pressed == column && event->position().y() >= levelHeight())
        emit lowerTitleClicked(column);
}
