// SPDX-License-Identifier: MIT
#include "analysis/sample_histogram.h"

#include <cstddef>

#include "analysis/count_kernels.h"

namespace rawhist {
namespace {

sample_histogram g_histogram{};

}  // namespace

void clear_histogram() noexcept { g_histogram.fill(0); }

void count_samples(const unsigned char* buffer, std::uint64_t length, pixel_format format) noexcept {
  const sample_layout layout = sample_layout_of(format);
  if (layout.step != 0) {
    kernel_for_length(length).count(buffer, length, layout, g_histogram);
  }
}

std::uint64_t sum_range(value_range range) noexcept {
  std::uint64_t sum = 0;
  // An int index, so that a range ending at 255 cannot wrap the loop.
  for (int value = range.low; value <= range.high; ++value) {
    sum += g_histogram[static_cast<std::size_t>(value)];
  }
  return sum;
}

}  // namespace rawhist
