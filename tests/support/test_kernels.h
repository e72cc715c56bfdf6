// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "analysis/count_kernels.h"
#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"

namespace rawhist {

// A way of counting that the tests and fuzzers hold to the reference loop:
// each kernel of the tool, and the AVX-512 kernel's emulated build, which
// runs its logic on any x86-64 CPU.
struct test_kernel {
  const char* name;
  // False for a kernel this CPU lacks the instructions of.
  bool runs_here;
  // The tool's kernel that counts, unless emulated_build: then the AVX-512
  // kernel's emulated build does.
  count_kernel shipped;
  bool emulated_build;

  // Adds the frame's samples to `counts`. The kernel itself counts on top of
  // a table whose every counter is already in use, so a kernel that
  // overwrites a counter instead of adding to it shows.
  void count(const unsigned char* buffer, std::uint64_t length, pixel_format format,
             sample_histogram& counts) const;
};

// Names the kernel in test output.
inline std::ostream& operator<<(std::ostream& out, const test_kernel& kernel) { return out << kernel.name; }

// Every kernel of the tool (k_count_kernels), and avx512_emulated where this
// build has it.
const std::vector<test_kernel>& test_kernels();

}  // namespace rawhist
