// SPDX-License-Identifier: MIT
#include "analysis/count_kernels.h"

#include <optional>

#include "analysis/bitsliced_count_avx512.h"
#include "analysis/portable_count.h"

namespace rawhist {
namespace {

// Decided on the first call of chosen_kernel(); the tool has one thread.
std::optional<count_kernel> g_chosen_kernel;

}  // namespace

const char* kernel_name(count_kernel kernel) noexcept {
  return kernel == count_kernel::avx512 ? "avx512" : "portable";
}

bool kernel_supported(count_kernel kernel) noexcept {
  return kernel == count_kernel::portable || avx512_count_supported();
}

count_kernel chosen_kernel() noexcept {
  if (!g_chosen_kernel) {
    g_chosen_kernel = kernel_supported(count_kernel::avx512) ? count_kernel::avx512 : count_kernel::portable;
  }
  return *g_chosen_kernel;
}

count_kernel kernel_for_length(std::uint64_t length) noexcept {
  return length >= k_vector_kernel_min_length ? chosen_kernel() : count_kernel::portable;
}

void count_with(count_kernel kernel, const unsigned char* buffer, std::uint64_t length, pixel_format format,
                sample_histogram& counters) noexcept {
  const sample_layout layout = sample_layout_of(format);
  if (layout.step == 0) {
    return;
  }
  if (kernel == count_kernel::avx512) {
    count_avx512(buffer, length, layout.first, layout.step, counters);
  } else {
    count_portable(buffer, length, layout.first, layout.step, counters);
  }
}

}  // namespace rawhist
