// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>

#include "analysis/pixel_format.h"

namespace rawhist {

// Inclusive bounds; a range whose low is above its high is valid and empty.
struct value_range {
  std::uint8_t low = 0;
  std::uint8_t high = 0;
};

// One counter per sample value 0..255. 64 bits, so no frame that fits in
// memory can overflow a counter.
using sample_histogram = std::array<std::uint64_t, 256>;

// The functions below work on one process-wide histogram.
void clear_histogram() noexcept;

// Adds every brightness sample of the frame (see sample_layout_of) to the
// histogram. `buffer` holds `length` bytes. A format without samples (RGBP,
// an unknown code) adds nothing. Never allocates: what a kernel needs beyond
// the frame (the portable kernel's sub-tables, the AVX-512 kernel's bins,
// into which it copies one block of samples at a time) is on the stack.
void count_samples(const unsigned char* buffer, std::uint64_t length, pixel_format format) noexcept;

// Sum of the counters from range.low to range.high, both included; 0 when the
// range is empty.
std::uint64_t sum_range(value_range range) noexcept;

}  // namespace rawhist
