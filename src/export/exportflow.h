#pragma once

#include "export/xlsxwriter.h"

class QWidget;
class TableSource;

namespace report {
struct Content;
struct Options;
} // namespace report

// The export commands' common road: the save dialog, the question before replacing a file,
// the write (whole or not at all) and opening the written file. A failure is reported.
namespace exporting {

enum class Format { Csv, Xlsx };

// Gives true when a file was written.
bool saveTable(QWidget* parent, const TableSource& table, Format format,
               const xlsx::Heading& heading = {});

// The printed report as a PDF file, on A4 as the preview lays it out.
bool savePdf(QWidget* parent, const report::Content& content, const report::Options& options,
             const QString& documentName);

} // namespace exporting
