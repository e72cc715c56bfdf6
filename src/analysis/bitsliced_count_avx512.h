// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/sample_histogram.h"

namespace rawhist {

// What the kernel below needs of the CPU, in the compiler's names: its
// code's target attribute, and the tests' reading of /proc/cpuinfo.
#define RAWHIST_AVX512_FEATURES "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,avx512bitalg,gfni,popcnt"

// Whether this CPU (and the operating system, for the register state) can
// run the AVX-512 kernel below: every feature of RAWHIST_AVX512_FEATURES.
// Always false off x86-64.
bool avx512_count_supported() noexcept;

// Adds the bytes at offsets first, first + step, first + 2 * step, ... of
// the `length` bytes at `buffer` to `counters`; `step` is 1 (then `first` is
// 0) or 2 (then `first` is 0 or 1). Reads no byte outside the buffer. Only
// to be called where avx512_count_supported() is true: off x86-64 it exists
// so that callers need no conditional code, and aborts.
void count_avx512(const unsigned char* buffer, std::uint64_t length, unsigned first, unsigned step,
                  sample_histogram& counters) noexcept;

}  // namespace rawhist
