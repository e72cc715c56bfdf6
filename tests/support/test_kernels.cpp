// SPDX-License-Identifier: MIT
#include "test_kernels.h"

#include "analysis/bitsliced_count_avx512.h"
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

template <count_kernel kernel>
void count_shipped(const unsigned char* buffer, std::uint64_t length, pixel_format format,
                   sample_histogram& counts) {
  const sample_histogram before = seeded_table();
  sample_histogram table = before;
  count_with(kernel, buffer, length, format, table);
  for (std::size_t value = 0; value < counts.size(); ++value) {
    counts[value] += table[value] - before[value];
  }
}

#if defined(RAWHIST_HAVE_AVX512_EMULATED)
void count_emulated(const unsigned char* buffer, std::uint64_t length, pixel_format format,
                    sample_histogram& counts) {
  const sample_layout layout = sample_layout_of(format);
  if (layout.step == 0) {
    return;
  }
  const sample_histogram before = seeded_table();
  sample_histogram table = before;
  emulated::count_avx512(buffer, length, layout.first, layout.step, table);
  for (std::size_t value = 0; value < counts.size(); ++value) {
    counts[value] += table[value] - before[value];
  }
}
#endif

}  // namespace

const std::vector<test_kernel>& test_kernels() {
  static const std::vector<test_kernel> kernels = {
    {"portable", true, count_shipped<count_kernel::portable>},
    {"avx512", kernel_supported(count_kernel::avx512), count_shipped<count_kernel::avx512>},
#if defined(RAWHIST_HAVE_AVX512_EMULATED)
    {"avx512_emulated", true, count_emulated},
#endif
  };
  return kernels;
}

bool avx512_logic_runs_here() {
#if defined(RAWHIST_HAVE_AVX512_EMULATED)
  return true;
#else
  return kernel_supported(count_kernel::avx512);
#endif
}

}  // namespace rawhist
