// SPDX-License-Identifier: MIT
// Frame bytes per second of each counting kernel this CPU runs, beside the
// straightforward per-byte loop in the same run. Not a test: run it by hand
// (see doc/performance.md).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/count_kernels.h"
#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"
#include "reference_count.h"
#include "test_kernels.h"

namespace {

using rawhist::pixel_format;

constexpr std::size_t k_uhd_uyvy = std::size_t{3840} * 2160 * 2;  // 16.6 MB
constexpr std::size_t k_1_mib = std::size_t{1} << 20U;

// Random bytes (the worst case), one value (a clipped white frame), and two
// alternating values (a flat field on a Bayer row, or a fine test chart).
enum content : std::uint8_t { random_bytes = 0, constant_bytes = 1, alternating_bytes = 2 };
constexpr const char* k_content_names[] = {"random", "constant", "alternating"};

const std::vector<unsigned char>& frame(std::size_t size, int kind) {
  static std::vector<unsigned char> frames[2][3];
  auto& slot = frames[size == k_1_mib ? 1 : 0][kind];
  if (slot.size() != size) {
    slot.assign(size, 235);
    if (kind == random_bytes) {
      std::mt19937_64 random(42);
      for (auto& byte : slot) {
        byte = static_cast<unsigned char>(random());
      }
    } else if (kind == alternating_bytes) {
      for (std::size_t i = 1; i < size; i += 2) {
        slot[i] = 90;
      }
    }
  }
  return slot;
}

// Makes every frame and reads it over and over for a few seconds before
// any measurement: on the machine this was measured on, a freshly written
// 16 MB buffer reads at half speed for its first seconds (the kernel is
// still rearranging its pages), which would otherwise fall on whichever
// kernel happens to run first.
void warm_up_frames() {
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(4)) {
    for (std::size_t size : {k_uhd_uyvy, k_1_mib}) {
      for (int kind : {random_bytes, constant_bytes, alternating_bytes}) {
        const auto& bytes = frame(size, kind);
        rawhist::sample_histogram counts{};
        rawhist::count_kernels().back().count(bytes.data(), bytes.size(),
                                              rawhist::sample_layout_of(rawhist::GREY), counts);
      }
    }
  }
}

void set_labels(benchmark::State& state, std::size_t size) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.SetLabel(k_content_names[state.range(1)]);
}

void kernel(benchmark::State& state, rawhist::count_kernel used, pixel_format format) {
  if (!used.supported()) {
    state.SkipWithError("this CPU cannot run the kernel");
    return;
  }
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto& bytes = frame(size, static_cast<int>(state.range(1)));
  rawhist::sample_histogram counts{};
  for (auto _ : state) {
    counts.fill(0);
    used.count(bytes.data(), bytes.size(), rawhist::sample_layout_of(format), counts);
    benchmark::DoNotOptimize(counts.data());
  }
  set_labels(state, size);
}

// As in the tool, the format is known only at run time.
void per_byte_loop(benchmark::State& state, pixel_format format) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto& bytes = frame(size, static_cast<int>(state.range(1)));
  rawhist::sample_histogram counts{};
  for (auto _ : state) {
    counts.fill(0);
    rawhist::count_samples_reference(bytes.data(), bytes.size(), format, counts);
    benchmark::DoNotOptimize(counts.data());
  }
  set_labels(state, size);
}

void sizes(benchmark::internal::Benchmark* b) {
  for (auto size : {k_uhd_uyvy, k_1_mib}) {
    for (int kind : {random_bytes, constant_bytes, alternating_bytes}) {
      b->Args({static_cast<std::int64_t>(size), kind});
    }
  }
  b->Unit(benchmark::kMicrosecond);
}

// The code's four characters, first character first.
std::string fourcc_text(pixel_format format) {
  std::string text;
  for (unsigned shift = 0; shift < 32; shift += 8) {
    text.push_back(static_cast<char>((format >> shift) & 0xFFU));
  }
  return text;
}

// Debian 12's Google Benchmark takes a benchmark's name as a C string, later
// releases as a std::string.
template <typename... Args>
void register_named(const std::string& name, Args... args) {
  // NOLINTNEXTLINE(readability-redundant-string-cstr)
  benchmark::RegisterBenchmark(name.c_str(), args...)->Apply(sizes);
}

// Every kernel on every format, then the per-byte loop, named
// KERNEL/FORMAT/BYTES/CONTENT.
void register_benchmarks() {
  for (const rawhist::count_kernel& used : rawhist::count_kernels()) {
    for (const pixel_format format : rawhist::k_countable_formats) {
      register_named(std::string(used.name) + "/" + fourcc_text(format), kernel, used, format);
    }
  }
  for (const pixel_format format : rawhist::k_countable_formats) {
    register_named("per_byte_loop/" + fourcc_text(format), per_byte_loop, format);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  register_benchmarks();
  warm_up_frames();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
