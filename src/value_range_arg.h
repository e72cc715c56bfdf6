// SPDX-License-Identifier: MIT
#pragma once

#include "analysis/sample_histogram.h"

namespace rawhist {

// Reads "low,high" into `range`. Each side is converted as strtoull does in
// base 10 (leading blanks, an optional sign, digits up to the first non-digit,
// no digits giving 0, a minus negating, overflow saturating) and then keeps
// only its low 8 bits. Further commas belong to the high side. Text without a
// comma leaves `range` untouched; nothing is ever reported.
void parse_value_range(const char* text, value_range& range) noexcept;

}  // namespace rawhist
