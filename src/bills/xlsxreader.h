#pragma once

#include "bills/billtypes.h"

namespace bills {

class ZipReader;

// The first worksheet of an .xlsx workbook as a table of texts: shared and inline strings,
// numbers in their shortest form. Rows keep their sheet numbers; empty rows are left out.
// Throws BillError when the workbook cannot be read.
Table readXlsx(const ZipReader& archive);

} // namespace bills
