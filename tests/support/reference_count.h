// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"

namespace rawhist {

// The straightforward per-byte loop: one is_sample test and one increment per
// offset. It is the yardstick every counting kernel is held to by the tests,
// the fuzzers and the benchmarks.
inline void count_samples_reference(const unsigned char* buffer, std::uint64_t length, pixel_format format,
                                    sample_histogram& counts) noexcept {
  for (std::uint64_t offset = 0; offset < length; ++offset) {
    if (is_sample(format, offset)) {
      ++counts[buffer[offset]];
    }
  }
}

}  // namespace rawhist
