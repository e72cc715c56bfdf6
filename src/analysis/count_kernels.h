// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"

namespace rawhist {

// One way of counting a frame: a source file of its own, count_NAME.cpp,
// and one row of count_kernels.table.
struct count_kernel {
  const char* name;
  // Whether this CPU, and the operating system for the register state, can
  // run `count`.
  bool (*supported)() noexcept;
  // Adds the bytes at offsets layout.first, layout.first + layout.step,
  // layout.first + 2 * layout.step, ... of the `length` bytes at `buffer` to
  // `counters`. `layout.step` is 1 (then `layout.first` is 0) or 2 (then
  // `layout.first` is 0 or 1). Reads no byte outside the buffer; called only
  // where `supported()` is true.
  void (*count)(const unsigned char* buffer, std::uint64_t length, sample_layout layout,
                sample_histogram& counters) noexcept;
};

// Every kernel of this build, fastest first. The last is the portable
// kernel: it runs on every CPU and is the fallback. Every kernel is tested
// against the per-byte reference loop of the tests.
std::span<const count_kernel> count_kernels() noexcept;

// The count_kernel::supported of a kernel that every CPU can run.
bool every_cpu() noexcept;

// The first of `kernels` this CPU supports. The last must be supported on
// every CPU, as the portable kernel is.
const count_kernel& first_supported(std::span<const count_kernel> kernels) noexcept;

// Below this length a frame is counted by the portable kernel without the
// CPU being asked: in a virtual machine the question costs more than the
// AVX-512 kernel saves on a small frame (where the two cross is in
// doc/performance.md).
inline constexpr std::uint64_t k_cpu_question_min_length = std::uint64_t{256} << 10U;

// The kernel count_samples uses for a frame of `length` bytes: from
// k_cpu_question_min_length on first_supported(count_kernels()), which asks
// the CPU on every call (the tool counts one frame a run), below that the
// portable kernel.
const count_kernel& kernel_for_length(std::uint64_t length) noexcept;

// What the AVX-512 kernel needs of the CPU, in the compiler's names: its
// code's target attribute, and the tests' reading of /proc/cpuinfo.
#define RAWHIST_AVX512_FEATURES "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,avx512bitalg,gfni,popcnt"

// The type of count_kernel::count, which each kernel's file defines.
using count_function = void(const unsigned char* buffer, std::uint64_t length, sample_layout layout,
                            sample_histogram& counters) noexcept;

}  // namespace rawhist
