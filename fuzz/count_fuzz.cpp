// SPDX-License-Identifier: MIT
// Any buffer in any countable format: every kernel this CPU runs, and the
// AVX-512 kernel's emulated build, must agree with the plain per-byte loop
// and count exactly the selected bytes.
//
// Input: one byte choosing the format, one byte of repeats, then the frame.
// With repeats r > 0 the frame is the rest of the input laid down r + 1 times
// over, so short inputs become long periodic frames (stripes, Bayer tiles),
// any period and any phase, which the kernel's shortcut for repeating
// stretches must not miscount.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"
#include "reference_count.h"
#include "test_kernels.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  constexpr std::size_t k_format_count = std::size(rawhist::k_countable_formats);
  const rawhist::pixel_format format = rawhist::k_countable_formats[data[0] % k_format_count];
  const std::size_t copies = std::size_t{data[1]} + 1;
  const std::uint8_t* const unit = data + 2;
  const std::size_t unit_length = size - 2;
  const std::size_t length = unit_length * copies;
  // A heap copy of exactly the frame's length, so that any read past its end
  // is caught by AddressSanitizer.
  auto frame = std::make_unique<unsigned char[]>(length);
  for (std::size_t copy = 0; copy < copies && unit_length != 0; ++copy) {
    std::memcpy(frame.get() + copy * unit_length, unit, unit_length);
  }

  rawhist::sample_histogram expected{};
  rawhist::count_samples_reference(frame.get(), length, format, expected);
  const std::uint64_t selected = rawhist::sample_count(rawhist::sample_layout_of(format), length);
  for (const rawhist::count_kernel& kernel : rawhist::test_kernels()) {
    if (!kernel.supported()) {
      continue;
    }
    rawhist::sample_histogram counts{};
    rawhist::count_with(kernel, frame.get(), length, format, counts);
    std::uint64_t total = 0;
    for (const std::uint64_t count : counts) {
      total += count;
    }
    if (counts != expected || total != selected) {
      std::abort();
    }
  }
  return 0;
}
