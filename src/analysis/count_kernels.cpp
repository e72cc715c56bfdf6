// SPDX-License-Identifier: MIT
#include "analysis/count_kernels.h"

#include <iterator>

namespace rawhist {

// Each kernel's functions, defined in its file count_NAME.cpp.
count_function count_portable;
#if defined(RAWHIST_AVX512_KERNEL)
bool avx512_supported() noexcept;
count_function count_avx512;
#endif

namespace {

constexpr bool every_cpu() noexcept { return true; }

// Fastest first; the portable kernel last.
constexpr count_kernel k_count_kernels[] = {
#if defined(RAWHIST_AVX512_KERNEL)
    {"avx512", avx512_supported, count_avx512},
#endif
    {"portable", every_cpu, count_portable},
};

constexpr const count_kernel& k_portable_kernel = k_count_kernels[std::size(k_count_kernels) - 1];

// Decided on the first call of chosen_kernel(); the tool has one thread.
const count_kernel* g_chosen_kernel = nullptr;

}  // namespace

std::span<const count_kernel> count_kernels() noexcept { return k_count_kernels; }

const count_kernel& first_supported(std::span<const count_kernel> kernels) noexcept {
  const count_kernel* kernel = kernels.data();
  while (!kernel->supported()) {
    ++kernel;
  }
  return *kernel;
}

const count_kernel& chosen_kernel() noexcept {
  if (g_chosen_kernel == nullptr) {
    g_chosen_kernel = &first_supported(k_count_kernels);
  }
  return *g_chosen_kernel;
}

const count_kernel& kernel_for_length(std::uint64_t length) noexcept {
  return length >= k_cpu_question_min_length ? chosen_kernel() : k_portable_kernel;
}

}  // namespace rawhist
