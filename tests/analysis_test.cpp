// SPDX-License-Identifier: MIT
#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/count_kernels.h"
#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"
#include "reference_count.h"
#include "test_kernels.h"

namespace rawhist {
namespace {

// The platform header, not our own arithmetic, vouches for the codes.
static_assert(GREY == V4L2_PIX_FMT_GREY);
static_assert(BA81 == V4L2_PIX_FMT_SBGGR8);
static_assert(YUYV == V4L2_PIX_FMT_YUYV);
static_assert(YVYU == V4L2_PIX_FMT_YVYU);
static_assert(UYVY == V4L2_PIX_FMT_UYVY);
static_assert(VYUY == V4L2_PIX_FMT_VYUY);
static_assert(RGBP == V4L2_PIX_FMT_RGB565);

TEST(SampleLayout, SelectsByFormatAndParity) {
  // Which parities of offset count, and how many of the first k_lengths
  // bytes do: halves rounded up where luma comes first, down where chroma
  // does. The last length lies beyond 32 bits.
  constexpr std::uint64_t k_half = std::uint64_t{1} << 39U;
  constexpr std::size_t k_length_count = 6;
  constexpr std::uint64_t k_lengths[k_length_count] = {0, 1, 2, 5, 6, 2 * k_half + 1};
  struct row {
    pixel_format format;
    bool even;
    bool odd;
    std::uint64_t samples[k_length_count];
  };
  const row rows[] = {
      {GREY, true, true, {0, 1, 2, 5, 6, 2 * k_half + 1}},
      {BA81, true, true, {0, 1, 2, 5, 6, 2 * k_half + 1}},
      {YUYV, true, false, {0, 1, 1, 3, 3, k_half + 1}},
      {YVYU, true, false, {0, 1, 1, 3, 3, k_half + 1}},
      {UYVY, false, true, {0, 0, 1, 2, 3, k_half}},
      {VYUY, false, true, {0, 0, 1, 2, 3, k_half}},
      {RGBP, false, false, {0, 0, 0, 0, 0, 0}},
      {0, false, false, {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    for (std::uint64_t offset : {0ULL, 1ULL, 2ULL, 3ULL, 0xFFFFFFFFFFULL, 0xFFFFFFFFFFFFFFFFULL}) {
      EXPECT_EQ(is_sample(r.format, offset), offset % 2 == 0 ? r.even : r.odd)
          << "format " << std::hex << r.format << " offset " << std::dec << offset;
    }
    for (std::size_t k = 0; k < k_length_count; ++k) {
      EXPECT_EQ(sample_count(sample_layout_of(r.format), k_lengths[k]), r.samples[k])
          << "format " << std::hex << r.format << std::dec << " length " << k_lengths[k];
    }
  }
}

// Frames that a counting kernel could miscount, by family. Each family
// hands every frame it builds to `emit` with the format to count it in and
// where its start lies against a 64-byte boundary (0..63).
using frame_sink =
    std::function<void(const std::vector<unsigned char>& frame, pixel_format format, std::size_t align)>;

void in_every_format(const std::vector<unsigned char>& frame, const frame_sink& emit, std::size_t align = 0) {
  for (pixel_format format : k_countable_formats) {
    emit(frame, format, align);
  }
}

// The samples laid out as each format places them, between bytes of
// `filler` that must not count.
void as_samples_in_every_format(const std::vector<unsigned char>& samples, unsigned char filler,
                                const frame_sink& emit) {
  for (pixel_format format : k_countable_formats) {
    const sample_layout layout = sample_layout_of(format);
    std::vector<unsigned char> frame(layout.first + samples.size() * layout.step, filler);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      frame[layout.first + i * layout.step] = samples[i];
    }
    emit(frame, format, 0);
  }
}

// Every tail of every 64-byte vector and 128-byte step. No kernel has a
// path that depends on where the frame starts (their loads are unaligned),
// so three starts against a vector boundary stand for all 64.
void every_length_and_alignment(const frame_sink& emit) {
  constexpr std::size_t k_longest = 1100;
  std::mt19937 random(12345);
  std::vector<unsigned char> noise(k_longest);
  for (auto& byte : noise) {
    byte = static_cast<unsigned char>(random());
  }
  for (std::size_t length = 0; length <= k_longest; ++length) {
    const std::vector<unsigned char> frame(noise.begin(),
                                           noise.begin() + static_cast<std::ptrdiff_t>(length));
    for (const std::size_t align : {0, 1, 63}) {
      in_every_format(frame, emit, align);
    }
    in_every_format(std::vector<unsigned char>(length, 0), emit);
    in_every_format(std::vector<unsigned char>(length, 255), emit, 1);
  }
}

// One differing byte at every position of a stretch of one value and of two
// alternating values (a flat Bayer field), in luma and in chroma, so that a
// shortcut for such stretches that misses any byte shows; and uniform luma
// under varying chroma, and the reverse.
void one_odd_byte_in_flat_stretches(const frame_sink& emit) {
  for (std::size_t length : {64U, 128U, 200U}) {
    for (const unsigned char second : {255, 40}) {
      for (std::size_t odd_one = 0; odd_one < length; ++odd_one) {
        std::vector<unsigned char> frame(length, 255);
        for (std::size_t i = 1; i < length; i += 2) {
          frame[i] = second;
        }
        frame[odd_one] = 254;
        in_every_format(frame, emit);
      }
    }
  }
  std::vector<unsigned char> luma_even(256);
  for (std::size_t i = 0; i < luma_even.size(); ++i) {
    luma_even[i] = static_cast<unsigned char>(i % 2 == 0 ? 16 : i);
  }
  in_every_format(luma_even, emit);
  in_every_format(std::vector<unsigned char>(luma_even.begin() + 1, luma_even.end()), emit);
}

// Striped charts, Bayer tiles and fine lines repeat with a short period. A
// shortcut for repeating stretches must check that the repeating unit is
// one value (or one pair), not merely that whole words repeat: every period
// here repeats word for word somewhere, but holds several values within a
// word, and in the luma positions of YUV too. The values sit on both sides
// of the default range ends and of the 64-value bins, so a miscount moves a
// sum.
void periodic_content(const frame_sink& emit) {
  const unsigned char values[] = {0, 29, 30, 31, 32, 63, 64, 127, 128, 191, 192, 213, 214, 215, 216, 255};
  constexpr std::size_t k_value_count = sizeof values;
  for (std::size_t period = 3; period <= 128; ++period) {
    std::vector<unsigned char> pattern(period);
    for (std::size_t k = 0; k < period; ++k) {
      pattern[k] = values[(k * 7 + period) % k_value_count];
    }
    for (std::size_t phase = 0; phase < period; ++phase) {
      // Five 64-byte stretches (two periods of the longest pattern, and one
      // more), and a tail.
      std::vector<unsigned char> frame(2 * 128 + 64 + 5);
      for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = pattern[(i + phase) % period];
      }
      in_every_format(frame, emit);
    }
  }
}

// A stretch of two alternating values, shifted by every offset against the
// 64-byte runs, after a lead-in of other bytes. Small values (0 and 1 differ
// in one bit of one byte) are where a shortcut that tests too few bits of
// the pair takes a stretch for flat.
void repeated_pairs_in_every_phase(const frame_sink& emit) {
  const unsigned char pairs[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 2}, {2, 1}, {0, 128}, {255, 254}};
  for (const auto& pair : pairs) {
    for (std::size_t phase = 0; phase < 64; ++phase) {
      std::vector<unsigned char> frame(std::size_t{256} + phase + 3);  // four 64-byte runs, and a tail
      for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = i < phase ? static_cast<unsigned char>(100 + i) : pair[(i - phase) % 2];
      }
      in_every_format(frame, emit);
    }
  }
}

// Every 8-byte word whose bytes are 0 or 1, and every one whose bytes are 0
// or 255, repeated over four 128-byte vectors of luma at each of its eight
// phases: the words the flat-stretch shortcuts must tell from one repeated
// value or pair, where a mask one bit short or long changes the answer.
void every_word_of_two_values(const frame_sink& emit) {
  for (const unsigned char high : {1, 255}) {
    for (unsigned bits = 0; bits < 256; ++bits) {
      unsigned char word[8];
      for (unsigned k = 0; k < 8; ++k) {
        word[k] = ((bits >> k) & 1U) != 0 ? high : 0;
      }
      for (std::size_t phase = 0; phase < 8; ++phase) {
        std::vector<unsigned char> frame(4 * 128 + 3);
        for (std::size_t i = 0; i < frame.size(); ++i) {
          frame[i] = word[(i + phase) % 8];
        }
        in_every_format(frame, emit);
      }
    }
  }
}

// Longer than two of the portable kernel's 16 MiB blocks, with an odd tail;
// thousands of the AVX-512 kernel's blocks, some all in one bin.
void frames_across_blocks(const frame_sink& emit) {
  const std::size_t length = (std::size_t{2} << 24U) + 4097;
  std::vector<unsigned char> frame(length);
  std::mt19937 random(99);
  for (auto& byte : frame) {
    byte = static_cast<unsigned char>(random() % 7 == 0 ? 255 : random());
  }
  // Long stretches of one bin: dark noise below 64 and bright noise above 192.
  for (std::size_t i = length / 2; i < length / 2 + (std::size_t{1} << 20U); ++i) {
    frame[i] = static_cast<unsigned char>(i % 3 == 0 ? frame[i] % 64 : 192 + frame[i] % 64);
  }
  in_every_format(frame, emit);
  const std::vector<unsigned char> white(length, 255);
  for (pixel_format format : {GREY, UYVY}) {
    emit(white, format, 0);
  }
}

// Dark or clipped areas with a little noise: in every vector of 64 samples,
// 63 hold one value and one another, from another of the AVX-512 kernel's
// bins, so no vector is flat and each block puts about 4 KiB into one bin.
// Its value gains the most a step can add, every step, for hundreds of
// steps: a byte counter flushed one step later than it can hold wraps and
// loses 4096 samples. The lengths end on and off a block.
void one_value_over_many_flush_intervals(const frame_sink& emit) {
  constexpr std::size_t k_samples = std::size_t{1} << 20U;
  for (const unsigned char value : {0, 30, 63, 64, 128, 215, 255}) {
    const auto other = static_cast<unsigned char>(value ^ 0x80U);
    for (const std::size_t count : {k_samples, k_samples + 4097}) {
      std::vector<unsigned char> samples(count);
      for (std::size_t i = 0; i < count; ++i) {
        samples[i] = i % 64 == 17 ? other : value;
      }
      as_samples_in_every_format(samples, 77, emit);
    }
  }
}

// A block of varied content first, which leaves part of a step in every bin
// of the AVX-512 kernel (`carried` samples in one of them), then whole blocks
// whose samples all share their top two bits without being flat: each lands
// in that one bin on top of what it carried, the most a bin ever holds,
// while the other bins keep theirs.
void whole_blocks_of_one_bin_after_every_remainder(const frame_sink& emit) {
  std::mt19937 random(7);
  for (unsigned bin = 0; bin < 4; ++bin) {
    for (std::size_t carried = 0; carried < 128; carried += 9) {
      std::vector<unsigned char> samples;
      for (std::size_t i = 0; i < 4096; ++i) {
        const unsigned other = (bin + 1 + random() % 3) % 4;
        const unsigned top = i < carried ? bin : other;
        samples.push_back(static_cast<unsigned char>(top << 6U | (random() & 63U)));
      }
      for (std::size_t i = 0; i < 3 * std::size_t{4096}; ++i) {
        samples.push_back(static_cast<unsigned char>(bin << 6U | (random() & 63U)));
      }
      as_samples_in_every_format(samples, 128, emit);
    }
  }
}

// Noise with stretches of one value and of one pair now and then, from
// empty to longer than the AVX-512 kernel's block.
void noise_and_flat_stretches(const frame_sink& emit) {
  std::mt19937 random(2024);
  for (std::size_t length :
       {std::size_t{0}, std::size_t{63}, std::size_t{4096 + 77}, std::size_t{1} << 20U}) {
    std::vector<unsigned char> frame(length);
    for (std::size_t i = 0; i < length; ++i) {
      frame[i] = static_cast<unsigned char>((i / 512) % 3 == 0 ? random() : (i / 512) % 3 == 1 ? 255 : i % 2);
    }
    in_every_format(frame, emit);
  }
}

struct frame_family {
  const char* name;
  void (*build)(const frame_sink& emit);
};

const frame_family k_frame_families[] = {
    {"every_length_and_alignment", every_length_and_alignment},
    {"one_odd_byte_in_flat_stretches", one_odd_byte_in_flat_stretches},
    {"periodic_content", periodic_content},
    {"repeated_pairs_in_every_phase", repeated_pairs_in_every_phase},
    {"every_word_of_two_values", every_word_of_two_values},
    {"frames_across_blocks", frames_across_blocks},
    {"one_value_over_many_flush_intervals", one_value_over_many_flush_intervals},
    {"whole_blocks_of_one_bin_after_every_remainder", whole_blocks_of_one_bin_after_every_remainder},
    {"noise_and_flat_stretches", noise_and_flat_stretches},
};

std::ostream& operator<<(std::ostream& out, const frame_family& family) { return out << family.name; }

// Every kernel, run or not on this CPU, on every family of frames; a kernel
// this CPU cannot run is skipped, saying why.
class CountSamples : public ::testing::TestWithParam<std::tuple<count_kernel, frame_family>> {
 protected:
  const count_kernel& kernel() const { return std::get<0>(GetParam()); }

  void SetUp() override {
    if (!kernel().supported()) {
      GTEST_SKIP() << "the " << kernel().name << " kernel cannot run on this CPU or build (needs "
                   << RAWHIST_AVX512_FEATURES << "); its emulated build runs in its place";
    }
  }

  // Counts `frame` and checks that exactly the reference loop's counts were
  // added. The frame is copied to the very end of a heap block of its own,
  // so that a read past it is caught by AddressSanitizer; `align` moves its
  // start against a 64-byte boundary.
  void expect_same_as_reference(const std::vector<unsigned char>& frame, pixel_format format,
                                std::size_t align) {
    if (failures_ >= 3) {
      return;
    }
    const auto block = std::make_unique<unsigned char[]>(align + frame.size());
    unsigned char* const copy = block.get() + align;
    std::copy(frame.begin(), frame.end(), copy);
    sample_histogram counted{};
    sample_histogram expected{};
    count_with(kernel(), copy, frame.size(), format, counted);
    count_samples_reference(copy, frame.size(), format, expected);
    if (counted != expected) {
      ++failures_;
      ADD_FAILURE() << "format " << std::hex << format << std::dec << " length " << frame.size() << " align "
                    << align << ": " << describe_difference(frame, counted, expected);
    }
  }

  int failures_ = 0;

 private:
  static std::string describe_difference(const std::vector<unsigned char>& frame,
                                         const sample_histogram& counted, const sample_histogram& expected) {
    std::ostringstream text;
    for (std::size_t value = 0; value < counted.size(); ++value) {
      if (counted[value] != expected[value]) {
        text << "value " << value << " counted " << counted[value] << ", expected " << expected[value]
             << "; ";
      }
    }
    text << "first bytes:";
    for (std::size_t i = 0; i < std::min<std::size_t>(frame.size(), 16); ++i) {
      text << ' ' << int{frame[i]};
    }
    return text.str();
  }
};

TEST_P(CountSamples, MatchesTheReferenceLoop) {
  std::get<1>(GetParam())
      .build([this](const std::vector<unsigned char>& frame, pixel_format format, std::size_t align) {
        expect_same_as_reference(frame, format, align);
      });
}

std::string kernel_and_family(const ::testing::TestParamInfo<CountSamples::ParamType>& info) {
  return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Kernels, CountSamples,
                         ::testing::Combine(::testing::ValuesIn(test_kernels()),
                                            ::testing::ValuesIn(k_frame_families)),
                         kernel_and_family);

TEST(Avx512Kernel, RunsNativelyOrEmulated) {
  // CI sets RAWHIST_REQUIRE_AVX512: there a build that tests the kernel on
  // neither path fails instead of skipping.
#if defined(RAWHIST_AVX512_KERNEL)
  const auto& kernels = test_kernels();
  if (std::none_of(kernels.begin(), kernels.end(), [](const count_kernel& k) {
        return std::string(k.name).rfind("avx512", 0) == 0 && k.supported();
      })) {
    if (std::getenv("RAWHIST_REQUIRE_AVX512") != nullptr) {
      FAIL() << "the AVX-512 kernel ran neither natively (needs " << RAWHIST_AVX512_FEATURES
             << ") nor emulated (needs SIMDe: libsimde-dev)";
    }
    GTEST_SKIP() << "the AVX-512 kernel is tested neither natively nor emulated here: install libsimde-dev";
  }
#else
  GTEST_SKIP() << "no AVX-512 kernel off x86-64";
#endif
}

#if defined(RAWHIST_AVX512_KERNEL)
// Whether /proc/cpuinfo reports every CPU feature the AVX-512 kernel is
// built for (it writes some with an underscore the compiler's names lack).
bool cpuinfo_has_every_avx512_extension() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) {
      continue;
    }
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    for (std::string word; words >> word;) {
      word.erase(std::remove(word.begin(), word.end(), '_'), word.end());
      flags.insert(word);
    }
    std::istringstream needed(RAWHIST_AVX512_FEATURES);
    for (std::string feature; std::getline(needed, feature, ',');) {
      if (flags.count(feature) == 0) {
        return false;
      }
    }
    return true;
  }
  return false;
}
#endif

TEST(ChosenKernel, IsTheFastestTheCpuReports) {
  // Frames from k_cpu_question_min_length on, however long, get the fastest kernel the CPU reports;
  // shorter ones get the portable kernel unasked. The CPU's answer is read apart from the run-time
  // check, so that a broken check cannot make the AVX-512 cases skip unnoticed. Under an emulator
  // /proc/cpuinfo is the host's: the run then names the kernel it expects.
  std::string expected = "portable";
#if defined(RAWHIST_AVX512_KERNEL)
  if (cpuinfo_has_every_avx512_extension()) {
    expected = "avx512";
  }
#endif
  if (const char* named = std::getenv("RAWHIST_EXPECT_KERNEL"); named != nullptr) {
    expected = named;
  }
  EXPECT_EQ(kernel_for_length(k_cpu_question_min_length).name, expected);
  EXPECT_EQ(kernel_for_length(UINT64_MAX).name, expected);
  EXPECT_STREQ(kernel_for_length(k_cpu_question_min_length - 1).name, "portable");
  std::cout << "counting kernel: " << kernel_for_length(k_cpu_question_min_length).name << "\n";
}

TEST(ChosenKernel, IsTheFirstSupportedOfItsTable) {
  // Whatever this CPU has: a kernel it lacks is passed over, and the first
  // supported one wins over those after it.
  const auto never = []() noexcept { return false; };
  const count_kernel table[] = {
      {"lacking", never, nullptr}, {"first", every_cpu, nullptr}, {"last", every_cpu, nullptr}};
  EXPECT_STREQ(first_supported(table).name, "first");
  EXPECT_STREQ(first_supported(std::span(table).subspan(2)).name, "last");
}

TEST(CountSamplesWithoutLayout, AddsNothingForRgbOrUnknownCodes) {
  const unsigned char frame[] = {1, 2, 3, 4, 5};
  for (pixel_format format : {RGBP, pixel_format{0}, make_fourcc('N', 'V', '1', '2')}) {
    clear_histogram();
    count_samples(frame, sizeof frame, format);
    EXPECT_EQ(sum_range({0, 255}), 0U) << "format " << std::hex << format;
  }
}

TEST(SumRange, AddsEveryInclusiveRange) {
  // Value v appears 2v + 1 times (so every counter is distinct), checked
  // for every (low, high) pair against prefix sums; empty when low > high.
  std::vector<unsigned char> frame;
  std::uint64_t prefix[257] = {0};
  for (std::size_t value = 0; value < 256; ++value) {
    frame.insert(frame.end(), 2 * value + 1, static_cast<unsigned char>(value));
    prefix[value + 1] = prefix[value] + 2 * value + 1;
  }
  clear_histogram();
  count_samples(frame.data(), frame.size(), GREY);
  for (unsigned low = 0; low < 256; ++low) {
    for (unsigned high = 0; high < 256; ++high) {
      const std::uint64_t expected = low <= high ? prefix[high + 1] - prefix[low] : 0;
      const auto range = value_range{static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high)};
      ASSERT_EQ(sum_range(range), expected) << low << ".." << high;
    }
  }
}

}  // namespace
}  // namespace rawhist
