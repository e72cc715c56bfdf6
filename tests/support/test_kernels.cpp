// SPDX-License-Identifier: MIT
#include "test_kernels.h"

#include "analysis/count_kernels.h"

namespace rawhist {

#if defined(RAWHIST_HAVE_AVX512_EMULATED)
namespace emulated {
// The AVX-512 kernel's source built on emulated intrinsics (avx512_emulation.h).
void count_avx512(const unsigned char* buffer, std::uint64_t length, unsigned first, unsigned step,
                  sample_histogram& counters) noexcept;
}  // namespace emulated
#endif

namespace {

// Every counter starts from a different, nonzero value.
sample_histogram seeded_table() {
  sample_histogram table{};
  for (std::size_t value = 0; value < table.size(); ++value) {
    table[value] = 1 + value % 7;
  }
  return table;
}

}  // namespace

void test_kernel::count(const unsigned char* buffer, std::uint64_t length, pixel_format format,
                        sample_histogram& counts) const {
  const sample_histogram before = seeded_table();
  sample_histogram table = before;
  if (emulated_build) {
#if defined(RAWHIST_HAVE_AVX512_EMULATED)
    const sample_layout layout = sample_layout_of(format);
    if (layout.step != 0) {
      emulated::count_avx512(buffer, length, layout.first, layout.step, table);
    }
#endif
  } else {
    count_with(shipped, buffer, length, format, table);
  }
  for (std::size_t value = 0; value < counts.size(); ++value) {
    counts[value] += table[value] - before[value];
  }
}

const std::vector<test_kernel>& test_kernels() {
  static const std::vector<test_kernel> kernels = [] {
    std::vector<test_kernel> all;
    for (const count_kernel kernel : k_count_kernels) {
      all.push_back({kernel_name(kernel), kernel_supported(kernel), kernel, false});
    }
#if defined(RAWHIST_HAVE_AVX512_EMULATED)
    all.push_back({"avx512_emulated", true, count_kernel::avx512, true});
#endif
    return all;
  }();
  return kernels;
}

}  // namespace rawhist
