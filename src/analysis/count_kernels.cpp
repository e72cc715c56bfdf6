// SPDX-License-Identifier: MIT
#include "analysis/count_kernels.h"

#include <iterator>

// k_count_kernels: the rows of count_kernels.table built for this target,
// with their kernels' declarations.
#include "analysis/count_kernel_rows.inc"

namespace rawhist {
namespace {

constexpr const count_kernel& k_portable_kernel = k_count_kernels[std::size(k_count_kernels) - 1];

}  // namespace

bool every_cpu() noexcept { return true; }

std::span<const count_kernel> count_kernels() noexcept { return k_count_kernels; }

const count_kernel& first_supported(std::span<const count_kernel> kernels) noexcept {
  const count_kernel* kernel = kernels.data();
  while (!kernel->supported()) {
    ++kernel;
  }
  return *kernel;
}

const count_kernel& kernel_for_length(std::uint64_t length) noexcept {
  return length >= k_cpu_question_min_length ? first_supported(k_count_kernels) : k_portable_kernel;
}

}  // namespace rawhist
