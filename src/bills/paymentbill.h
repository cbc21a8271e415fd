#pragma once

#include "bills/billfile.h"

#include <optional>

namespace bills {

// An Alipay or WeChat Pay bill, found by the names of its header row wherever that row
// stands (after a preamble, or first with the export block as a footer) and read column by
// name. Nothing for any other table: that one needs a column mapping.
std::optional<Bill> readPaymentBill(const BillFile& file);

} // namespace bills
