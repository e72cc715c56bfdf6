// SPDX-License-Identifier: MIT
#include "test_kernels.h"

namespace rawhist {

#if defined(RAWHIST_HAVE_AVX512_EMULATED)
namespace emulated {
// The AVX-512 kernel's source built on emulated intrinsics (avx512_emulation.h).
count_function count_avx512;
}  // namespace emulated
#endif

namespace {

// Counters from 1 to 7, repeating.
sample_histogram seeded_table() {
  sample_histogram table{};
  for (std::size_t value = 0; value < table.size(); ++value) {
    table[value] = 1 + value % 7;
  }
  return table;
}

}  // namespace

void count_with(const count_kernel& kernel, const unsigned char* buffer, std::uint64_t length,
                pixel_format format, sample_histogram& counts) {
  const sample_layout layout = sample_layout_of(format);
  if (layout.step == 0) {
    return;
  }
  const sample_histogram before = seeded_table();
  sample_histogram table = before;
  kernel.count(buffer, length, layout, table);
  for (std::size_t value = 0; value < counts.size(); ++value) {
    counts[value] += table[value] - before[value];
  }
}

const std::vector<count_kernel>& test_kernels() {
  static const std::vector<count_kernel> kernels = [] {
    std::vector<count_kernel> all(count_kernels().begin(), count_kernels().end());
#if defined(RAWHIST_HAVE_AVX512_EMULATED)
    all.push_back({"avx512_emulated", every_cpu, emulated::count_avx512});
#endif
    return all;
  }();
  return kernels;
}

}  // namespace rawhist
