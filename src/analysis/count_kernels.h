// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "analysis/pixel_format.h"

namespace rawhist {

// The ways of counting a frame. The portable kernel runs everywhere and is
// the fallback; the others need CPU extensions and are used only where the
// CPU reports them.
enum class count_kernel : std::uint8_t { portable, avx512 };

inline constexpr count_kernel k_count_kernels[] = {count_kernel::portable, count_kernel::avx512};

const char* kernel_name(count_kernel kernel) noexcept;

// Whether this build on this CPU can run `kernel`.
bool kernel_supported(count_kernel kernel) noexcept;

// The kernel that count_samples uses for frames of 256 KiB and more (smaller
// ones always take the portable kernel): the fastest one this CPU supports,
// decided from its features on the first call and kept for the process.
count_kernel chosen_kernel() noexcept;

// count_samples with the given kernel, whatever the frame's length (the
// tests and benchmarks hold every kernel to the same results). `kernel`
// must be supported.
void count_samples_using(count_kernel kernel, const unsigned char* buffer, std::uint64_t length,
                         pixel_format format) noexcept;

}  // namespace rawhist
