// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"

namespace rawhist {

// The ways of counting a frame. The portable kernel runs everywhere and is
// the fallback; the others need CPU extensions and are used only where the
// CPU reports them.
enum class count_kernel : std::uint8_t { portable, avx512 };

inline constexpr count_kernel k_count_kernels[] = {count_kernel::portable, count_kernel::avx512};

// Below this length a frame is counted by the portable kernel without the
// CPU being asked: in a virtual machine the question costs more than the
// AVX-512 kernel saves on a small frame (where the two cross is in
// doc/performance.md).
inline constexpr std::uint64_t k_vector_kernel_min_length = std::uint64_t{256} << 10U;

const char* kernel_name(count_kernel kernel) noexcept;

// Whether this build on this CPU can run `kernel`.
bool kernel_supported(count_kernel kernel) noexcept;

// The fastest kernel this CPU supports, decided from its features on the
// first call and kept for the process.
count_kernel chosen_kernel() noexcept;

// The kernel count_samples uses for a frame of `length` bytes: the chosen
// one from k_vector_kernel_min_length on, the portable one below.
count_kernel kernel_for_length(std::uint64_t length) noexcept;

// Adds the frame's samples (see sample_layout_of) to `counters` with the
// given kernel, whatever the frame's length: count_samples with its choice
// of kernel, and the tests and benchmarks with every kernel. `kernel` must
// be supported; a format without samples adds nothing.
void count_with(count_kernel kernel, const unsigned char* buffer, std::uint64_t length, pixel_format format,
                sample_histogram& counters) noexcept;

}  // namespace rawhist
