#include "cashbook/reportpreview.h"

#include "cashbook/reportrender.h"

#include <QElapsedTimer>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStyleOptionGraphicsItem>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

// One slice of background layout: short enough that scrolling and "停止" stay responsive.
constexpr int kSliceMs = 20;
constexpr int kAddMs = 250;

// One sheet of paper with its shadow, painted from the layout each time it is exposed.
class PageItem : public QGraphicsItem
{
public:
    PageItem(const ReportPreview* preview, int index, const QSizeF& paper)
        : m_preview(preview), m_index(index), m_paper(paper)
    {
        const double border = std::max(paper.width(), paper.height()) / 25;
        m_bounds =
            QRectF(-border, -border, paper.width() + 2 * border, paper.height() + 2 * border);
        setFlag(ItemUsesExtendedStyleOption);
    }

    QRectF boundingRect() const override { return m_bounds; }
    int index() const { return m_index; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        const QRectF paper(QPointF(0, 0), m_paper);
        painter->setClipRect(option->exposedRect);
        const double shadow = paper.width() / 100;
        const QRectF right(paper.topRight() + QPointF(0, shadow),
                           paper.bottomRight() + QPointF(shadow, 0));
        QLinearGradient rightFade(right.topLeft(), right.topRight());
        rightFade.setColorAt(0, QColor(0, 0, 0, 255));
        rightFade.setColorAt(1, QColor(0, 0, 0, 0));
        painter->fillRect(right, rightFade);
        const QRectF below(paper.bottomLeft() + QPointF(shadow, 0),
                           paper.bottomRight() + QPointF(0, shadow));
        QLinearGradient belowFade(below.topLeft(), below.bottomLeft());
        belowFade.setColorAt(0, QColor(0, 0, 0, 255));
        belowFade.setColorAt(1, QColor(0, 0, 0, 0));
        painter->fillRect(below, belowFade);
        const QRectF corner(paper.bottomRight(), paper.bottomRight() + QPointF(shadow, shadow));
        QRadialGradient cornerFade(corner.topLeft(), shadow, corner.topLeft());
        cornerFade.setColorAt(0, QColor(0, 0, 0, 255));
        cornerFade.setColorAt(1, QColor(0, 0, 0, 0));
        painter->fillRect(corner, cornerFade);

        painter->setClipRect(paper & option->exposedRect);
        painter->fillRect(paper, Qt::white);
        const report::Layout& layout = m_preview->layout();
        if (m_index >= layout.pageCount())
            return;
        painter->save();
        report::paintPage(*painter, m_preview->content(), m_preview->options(), layout, m_index);
        painter->restore();
    }

private:
    const ReportPreview* m_preview;
    int m_index;
    QSizeF m_paper;
    QRectF m_bounds;
};

} // namespace

ReportPreview::ReportPreview(QPrinter* printer, QWidget* parent)
    : QGraphicsView(parent), m_printer(printer), m_scene(new QGraphicsScene(this)),
      m_slice(new QTimer(this))
{
    setInteractive(false);
    setDragMode(QGraphicsView::ScrollHandDrag);
    setViewportUpdateMode(QGraphicsView::SmartViewportUpdate);
    m_scene->setBackgroundBrush(Qt::gray);
    // Thousands of pages: no index to keep up to date, they are found by position.
    m_scene->setItemIndexMethod(QGraphicsScene::NoIndex);
    setScene(m_scene);
    m_slice->setSingleShot(true);
    m_slice->setInterval(0);
    connect(m_slice, &QTimer::timeout, this, &ReportPreview::layOutSlice);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ReportPreview::updateCurrentPage);
}

ReportPreview::~ReportPreview()
{
    // The items paint from the paginator: they go first.
    clearPages();
}

const report::Layout& ReportPreview::layout() const
{
    static const report::Layout none;
    return m_paginator ? m_paginator->layout() : none;
}

void ReportPreview::setReport(const report::Content* content, const report::Options& options)
{
    m_content = content;
    m_options = options;
    restart();
}

void ReportPreview::setOptions(const report::Options& options)
{
    m_options = options;
}

bool ReportPreview::isLayingOut() const
{
    return m_slice->isActive();
}

void ReportPreview::restart()
{
    const bool was = isLayingOut();
    m_slice->stop();
    clearPages();
    m_paginator.reset();
    if (!m_content) {
        emit previewChanged();
        return;
    }
    m_paperSize = report::pageSizeOf(*m_printer);
    m_paginator = std::make_unique<report::Paginator>(*m_content, m_options, m_paperSize);
    m_paginator->advance(1);
    m_currentPage = 1;
    addPages();
    if (!m_paginator->finished())
        m_slice->start();
    if (was != isLayingOut())
        emit layingOutChanged(isLayingOut());
}

void ReportPreview::updatePreview()
{
    restart();
    if (!m_paginator)
        return;
    m_slice->stop();
    while (m_paginator->advance(std::numeric_limits<int>::max() / 2)) {
    }
    addPages();
    emit layingOutChanged(false);
}

void ReportPreview::stopLayout()
{
    if (!isLayingOut())
        return;
    m_slice->stop();
    addPages();
    emit layingOutChanged(false);
}

void ReportPreview::layOutSlice()
{
    if (!m_paginator)
        return;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kSliceMs && m_paginator->advance(1)) {
    }
    // New pages join the view a few times a second: each addition repaints it.
    if (m_paginator->finished() || !m_sinceAdded.isValid() || m_sinceAdded.elapsed() >= kAddMs)
        addPages();
    if (m_paginator->finished())
        emit layingOutChanged(false);
    else
        m_slice->start();
}

void ReportPreview::addPages()
{
    m_sinceAdded.start();
    const int complete = m_paginator ? m_paginator->completePages() : 0;
    const int before = pageCount();
    if (complete <= before)
        return;
    for (int i = before; i < complete; ++i) {
        auto* item = new PageItem(this, i, m_paperSize);
        item->setPos(0, i * item->boundingRect().height());
        m_scene->addItem(item);
        m_items << item;
    }
    const QRectF first = m_items.first()->boundingRect();
    m_scene->setSceneRect(first.left(), first.top(), first.width(), first.height() * pageCount());
    if (before == 0)
        fit();
    emit previewChanged();
}

void ReportPreview::clearPages()
{
    for (QGraphicsItem* item : std::as_const(m_items)) {
        m_scene->removeItem(item);
        delete item;
    }
    m_items.clear();
}

void ReportPreview::setCurrentPage(int page)
{
    if (page < 1 || page > pageCount())
        return;
    const int last = m_currentPage;
    m_currentPage = page;
    if (last == page)
        return;
    QGraphicsItem* item = m_items.at(page - 1);
    if (m_zoomMode == QPrintPreviewWidget::FitInView) {
        centerOn(item);
    } else {
        const QPointF at = transform().map(item->pos());
        verticalScrollBar()->setValue(static_cast<int>(at.y()) - 10);
        horizontalScrollBar()->setValue(static_cast<int>(at.x()) - 10);
    }
    m_currentPage = page;
    emit previewChanged();
}

void ReportPreview::setZoomMode(QPrintPreviewWidget::ZoomMode mode)
{
    m_zoomMode = mode;
    fit();
    // Fitted to the width, the current page is read from its top.
    if (mode == QPrintPreviewWidget::FitToWidth && !m_items.isEmpty()) {
        const QRectF page = m_items.at(m_currentPage - 1)->sceneBoundingRect();
        const double half = viewport()->height() / transform().m22() / 2;
        centerOn(page.center().x(), page.top() + half);
    }
}

void ReportPreview::setZoomFactor(double factor)
{
    m_zoomMode = QPrintPreviewWidget::CustomZoom;
    m_zoomFactor = factor;
    resetTransform();
    const double scale = factor * logicalDpiY() / report::kUnitsPerInch;
    QGraphicsView::scale(scale, scale);
    emit previewChanged();
}

void ReportPreview::fit()
{
    if (m_zoomMode == QPrintPreviewWidget::CustomZoom || m_items.isEmpty())
        return;
    const int page = std::clamp(m_currentPage, 1, pageCount());
    const QRectF target = m_items.at(page - 1)->sceneBoundingRect();
    if (m_zoomMode == QPrintPreviewWidget::FitToWidth) {
        const double scale = viewport()->width() / target.width();
        setTransform(QTransform::fromScale(scale, scale));
    } else {
        QGraphicsView::fitInView(target, Qt::KeepAspectRatio);
        const int step = qRound(transform().mapRect(target).height());
        verticalScrollBar()->setSingleStep(step);
        verticalScrollBar()->setPageStep(step);
    }
    m_zoomFactor = transform().m11() * report::kUnitsPerInch / logicalDpiY();
    emit previewChanged();
}

void ReportPreview::updateCurrentPage()
{
    if (m_items.isEmpty())
        return;
    // Pages stand one below the other, all of one height: only those in view are looked at.
    const QRect view = viewport()->rect();
    const QRectF seen = mapToScene(view).boundingRect();
    const QRectF bounds = m_items.first()->boundingRect();
    const int first =
        std::max(0, static_cast<int>(std::floor((seen.top() - bounds.top()) / bounds.height())));
    const int last =
        std::min(pageCount() - 1,
                 static_cast<int>(std::floor((seen.bottom() - bounds.top()) / bounds.height())));
    int best = m_currentPage;
    int bestArea = 0;
    for (int i = first; i <= last; ++i) {
        const QRect overlap =
            mapFromScene(m_items.at(i)->sceneBoundingRect()).boundingRect() & view;
        const int area = overlap.width() * overlap.height();
        if (area > bestArea || (area == bestArea && area > 0 && i + 1 < best)) {
            bestArea = area;
            best = i + 1;
        }
    }
    if (best != m_currentPage) {
        m_currentPage = best;
        emit previewChanged();
    }
}

void ReportPreview::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    fit();
}

void ReportPreview::showEvent(QShowEvent* event)
{
    QGraphicsView::showEvent(event);
    fit();
}
