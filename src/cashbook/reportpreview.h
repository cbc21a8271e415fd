#pragma once

#include "cashbook/reportlayout.h"

#include <QElapsedTimer>
#include <QGraphicsView>
#include <QList>
#include <QPrintPreviewWidget>

#include <memory>

class QGraphicsScene;
class QPrinter;
class QTimer;

// The preview's pages: each page is painted from the layout when it comes into view, and a
// long report is laid out a slice at a time between events, so its first page shows at once
// and the page count grows until it is known. Nothing of a page is kept but its bands.
class ReportPreview : public QGraphicsView
{
    Q_OBJECT

public:
    ReportPreview(QPrinter* printer, QWidget* parent = nullptr);
    ~ReportPreview() override;

    // Shows content (which must outlive the preview) laid out anew: the first page now, the
    // rest in the background.
    void setReport(const report::Content* content, const report::Options& options);
    void setOptions(const report::Options& options);
    // Lays out again from the first page; the rest follows in the background.
    void restart();
    // Lays out every page now.
    void updatePreview();
    // Stops the background layout: the pages laid out so far stay.
    void stopLayout();
    bool isLayingOut() const;

    int pageCount() const { return static_cast<int>(m_items.size()); }
    int currentPage() const { return m_currentPage; }
    void setCurrentPage(int page);
    QPrintPreviewWidget::ZoomMode zoomMode() const { return m_zoomMode; }
    double zoomFactor() const { return m_zoomFactor; }
    void setZoomMode(QPrintPreviewWidget::ZoomMode mode);
    void setZoomFactor(double factor);
    void fitToWidth() { setZoomMode(QPrintPreviewWidget::FitToWidth); }
    void fitInView() { setZoomMode(QPrintPreviewWidget::FitInView); }

    // What the page items paint from.
    const report::Content& content() const { return *m_content; }
    const report::Options& options() const { return m_options; }
    const report::Layout& layout() const;

signals:
    // Pages added, the current page or the zoom changed.
    void previewChanged();
    void layingOutChanged(bool layingOut);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void layOutSlice();
    void addPages();
    void clearPages();
    void fit();
    void updateCurrentPage();

    QPrinter* m_printer;
    QGraphicsScene* m_scene;
    QTimer* m_slice;
    const report::Content* m_content = nullptr;
    report::Options m_options;
    std::unique_ptr<report::Paginator> m_paginator;
    QList<QGraphicsItem*> m_items;
    QSizeF m_paperSize;
    QElapsedTimer m_sinceAdded;
    int m_currentPage = 1;
    QPrintPreviewWidget::ZoomMode m_zoomMode = QPrintPreviewWidget::FitInView;
    double m_zoomFactor = 1;
};
