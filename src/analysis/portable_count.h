// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/sample_histogram.h"

namespace rawhist {

// Adds the bytes at offsets first, first + step, first + 2 * step, ... of
// the `length` bytes at `buffer` to `counters`; `step` is 1 (then `first` is
// 0) or 2 (then `first` is 0 or 1). Reads no byte outside the buffer; runs
// on every CPU.
void count_portable(const unsigned char* buffer, std::uint64_t length, unsigned first, unsigned step,
                    sample_histogram& counters) noexcept;

}  // namespace rawhist
