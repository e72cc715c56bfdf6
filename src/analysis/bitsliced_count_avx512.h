// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/sample_histogram.h"

namespace rawhist {

// Whether this CPU (and the kernel, for the register state) can run the
// AVX-512 kernel below: F, BW, VL, VBMI, VBMI2, BITALG and GFNI. Always false
// off x86-64.
bool avx512_count_supported() noexcept;

// Adds the bytes at offsets first, first + step, first + 2 * step, ... of
// the `length` bytes at `buffer` to `counters`; `step` is 1 (then `first` is
// 0) or 2 (then `first` is 0 or 1). Reads no byte outside the buffer. Only
// to be called where avx512_count_supported() is true: off x86-64 it exists
// so that callers need no conditional code, and aborts.
void count_avx512(const unsigned char* buffer, std::uint64_t length, unsigned first, unsigned step,
                  sample_histogram& counters) noexcept;

}  // namespace rawhist
