#pragma once

#include "cashbook/reportlayout.h"

#include <functional>

class QPainter;
class QPagedPaintDevice;

namespace report {

// Paints one page of layout; the painter works in report units (1/96 inch, origin at the
// paper's corner).
void paintPage(QPainter& painter, const Content& content, const Options& options,
               const Layout& layout, int pageIndex);

// Asked before each page is produced: false stops the production.
using KeepGoing = std::function<bool(int pageIndex, int pageCount)>;

// Lays the report out for device's paper and paints every page on it (the preview's
// printer, a real printer, a PDF). Gives the number of pages produced.
int render(QPagedPaintDevice& device, const Content& content, const Options& options,
           const KeepGoing& keepGoing = {});

// The paper of device in report units.
QSizeF pageSizeOf(const QPagedPaintDevice& device);

// Writes the report as a PDF file (A4 unless pageSize is given); throws on failure.
int renderToPdf(const QString& path, const Content& content, const Options& options,
                const QString& documentName = QStringLiteral("列表信息"));

} // namespace report
