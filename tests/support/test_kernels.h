// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "analysis/count_kernels.h"
#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"

namespace rawhist {

// The formats that have samples, in the order of sample_layout_of.
inline constexpr pixel_format k_countable_formats[] = {GREY, BA81, YUYV, YVYU, UYVY, VYUY};

// How many of the first `length` bytes of a frame are samples.
constexpr std::uint64_t sample_count(sample_layout layout, std::uint64_t length) noexcept {
  if (layout.step == 0 || length <= layout.first) {
    return 0;
  }
  return (length - layout.first + layout.step - 1) / layout.step;
}

// Every kernel of the tool (count_kernels()), then avx512_emulated where this
// build has it: the AVX-512 kernel's source built on SIMDe, which runs its
// logic on any x86-64 CPU.
const std::vector<count_kernel>& test_kernels();

// Adds the frame's samples in `format` to `counts` with `kernel`, nothing for
// a format without samples, as count_samples does. The kernel counts on top
// of a table whose every counter is already nonzero, so a kernel that
// overwrites a counter instead of adding to it shows.
void count_with(const count_kernel& kernel, const unsigned char* buffer, std::uint64_t length,
                pixel_format format, sample_histogram& counts);

// Names the kernel in test output.
inline std::ostream& operator<<(std::ostream& out, const count_kernel& kernel) { return out << kernel.name; }

}  // namespace rawhist
