#pragma once

#include <QString>

class QIODevice;
class TableSource;

// CSV as spreadsheet programs everywhere read it: UTF-8 with a byte-order mark, fields quoted
// per RFC 4180, lines ended by CRLF.
namespace csv {

// A text that a spreadsheet would run as a formula gets a leading apostrophe; a text that is
// a plain number is left as it is.
QString neutralised(const QString& text);
// The field as it stands in the file: quoted when it holds a quote, comma or line break.
QString quoted(const QString& field);

// The header row (one title per column) and every row of table.
void write(const TableSource& table, QIODevice* out);
// Writes path whole or not at all; throws QuenvaleError with the reason.
void writeFile(const TableSource& table, const QString& path);

} // namespace csv
