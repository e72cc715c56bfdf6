// SPDX-License-Identifier: MIT
#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/count_kernels.h"
#include "analysis/pixel_format.h"
#include "analysis/reference_count.h"
#include "analysis/sample_histogram.h"

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

TEST(IsSample, SelectsByFormatAndParity) {
  struct row {
    pixel_format format;
    bool even;
    bool odd;
  };
  const row rows[] = {
      {GREY, true, true},  {BA81, true, true},  {YUYV, true, false},  {YVYU, true, false},
      {UYVY, false, true}, {VYUY, false, true}, {RGBP, false, false}, {0, false, false},
  };
  for (const auto& r : rows) {
    for (std::uint64_t offset : {0ULL, 1ULL, 2ULL, 3ULL, 0xFFFFFFFFFFULL, 0xFFFFFFFFFFFFFFFFULL}) {
      EXPECT_EQ(is_sample(r.format, offset), offset % 2 == 0 ? r.even : r.odd)
          << "format " << std::hex << r.format << " offset " << std::dec << offset;
    }
  }
}

TEST(SampleLayout, CountsEveryByteOrHalfTheFrame) {
  // Halves rounded up where luma comes first, down where chroma does; the
  // last length lies beyond 32 bits.
  constexpr std::uint64_t k_half = std::uint64_t{1} << 39U;
  constexpr std::size_t k_length_count = 6;
  constexpr std::uint64_t k_lengths[k_length_count] = {0, 1, 2, 5, 6, 2 * k_half + 1};
  struct row {
    pixel_format format;
    std::uint64_t samples[k_length_count];
  };
  const row rows[] = {
      {GREY, {0, 1, 2, 5, 6, 2 * k_half + 1}},
      {BA81, {0, 1, 2, 5, 6, 2 * k_half + 1}},
      {YUYV, {0, 1, 1, 3, 3, k_half + 1}},
      {YVYU, {0, 1, 1, 3, 3, k_half + 1}},
      {UYVY, {0, 0, 1, 2, 3, k_half}},
      {VYUY, {0, 0, 1, 2, 3, k_half}},
      {RGBP, {0, 0, 0, 0, 0, 0}},
      {0, {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    for (std::size_t k = 0; k < k_length_count; ++k) {
      EXPECT_EQ(sample_count(sample_layout_of(r.format), k_lengths[k]), r.samples[k])
          << "format " << std::hex << r.format << std::dec << " length " << k_lengths[k];
    }
  }
}

// Every kernel, run or not on this CPU; the tests below run once per kernel
// and skip, saying why, the ones this CPU cannot run.
class CountSamples : public ::testing::TestWithParam<count_kernel> {
 protected:
  void SetUp() override {
    if (!kernel_supported(GetParam())) {
      GTEST_SKIP() << "the " << kernel_name(GetParam()) << " kernel cannot run on this CPU or build"
                   << " (needs AVX-512 F, BW, VL, VBMI, VBMI2, BITALG and GFNI on x86-64)";
    }
  }

  // Counts `frame` on top of a seeded histogram and checks that exactly the
  // reference loop's counts were added: a kernel that skips, double counts
  // or overwrites any counter shows up. The frame is copied to the very end
  // of a heap block of its own, so a read past it is caught by
  // AddressSanitizer; `align` (0..63) moves its start against a 64-byte
  // boundary.
  void expect_same_as_reference(const unsigned char* frame, std::size_t length, pixel_format format,
                                std::size_t align = 0) const {
    static const unsigned char seed[] = {0, 1, 2, 3, 30, 31, 214, 215, 254, 255, 255};
    const auto block = std::make_unique<unsigned char[]>(align + length);
    unsigned char* const copy = block.get() + align;
    std::copy_n(frame, length, copy);

    clear_histogram();
    count_samples_using(GetParam(), seed, sizeof seed, GREY);
    sample_histogram expected = histogram();
    count_samples_using(GetParam(), copy, length, format);
    count_samples_reference(copy, length, format, expected);
    ASSERT_EQ(histogram(), expected) << "format " << std::hex << format << std::dec << " length " << length
                                     << " align " << align;
    EXPECT_EQ(sum_range({0, 255}), sizeof seed + sample_count(sample_layout_of(format), length));
  }
};

std::string kernel_test_name(const ::testing::TestParamInfo<count_kernel>& info) {
  return kernel_name(info.param);
}

INSTANTIATE_TEST_SUITE_P(Kernels, CountSamples, ::testing::ValuesIn(k_count_kernels), kernel_test_name);

TEST_P(CountSamples, MatchesReferenceForEveryLengthAndAlignment) {
  // Every tail of every 64-byte vector and 128-byte step, at every start
  // against a vector boundary.
  constexpr std::size_t k_longest = 1100;
  std::mt19937 random(12345);
  std::vector<unsigned char> noise(k_longest);
  for (auto& byte : noise) {
    byte = static_cast<unsigned char>(random());
  }
  const std::vector<unsigned char> black(noise.size(), 0);
  const std::vector<unsigned char> white(noise.size(), 255);

  for (pixel_format format : k_countable_formats) {
    for (std::size_t length = 0; length <= k_longest; ++length) {
      for (std::size_t align = 0; align < 64; ++align) {
        expect_same_as_reference(noise.data(), length, format, align);
      }
      expect_same_as_reference(black.data(), length, format);
      expect_same_as_reference(white.data(), length, format, 1);
      if (HasFatalFailure()) {
        return;
      }
    }
  }
}

TEST_P(CountSamples, RepeatingStretchesCountExactly) {
  // One differing byte at every position of a stretch of one value and of
  // two alternating values (a flat Bayer field), in luma and in chroma, so a
  // shortcut for such stretches that misses any byte shows.
  for (pixel_format format : k_countable_formats) {
    for (std::size_t length : {64U, 128U, 200U}) {
      for (const unsigned char second : {255, 40}) {
        for (std::size_t odd_one = 0; odd_one < length; ++odd_one) {
          std::vector<unsigned char> frame(length, 255);
          for (std::size_t i = 1; i < length; i += 2) {
            frame[i] = second;
          }
          frame[odd_one] = 254;
          expect_same_as_reference(frame.data(), frame.size(), format);
        }
      }
    }
    // Uniform luma under varying chroma, and the reverse.
    std::vector<unsigned char> luma_even(256);
    for (std::size_t i = 0; i < luma_even.size(); ++i) {
      luma_even[i] = static_cast<unsigned char>(i % 2 == 0 ? 16 : i);
    }
    expect_same_as_reference(luma_even.data(), luma_even.size(), format);
    expect_same_as_reference(luma_even.data() + 1, luma_even.size() - 1, format);
  }
}

TEST_P(CountSamples, PeriodicContentCountsExactly) {
  // Striped charts, Bayer tiles and fine lines repeat with a short period.
  // A shortcut for repeating stretches must check that the repeating unit is
  // one value (or one pair), not merely that whole words repeat: every period
  // here repeats word for word somewhere, but holds several values within a
  // word, and in the luma positions of YUV too. The values sit on both sides
  // of the default range ends and of the 64-value bins, so a miscount moves
  // a sum.
  const unsigned char values[] = {0, 29, 30, 31, 32, 63, 64, 127, 128, 191, 192, 213, 214, 215, 216, 255};
  constexpr std::size_t k_value_count = sizeof values;
  for (std::size_t period = 3; period <= 128; ++period) {
    std::vector<unsigned char> pattern(period);
    for (std::size_t k = 0; k < period; ++k) {
      pattern[k] = values[(k * 7 + period) % k_value_count];
    }
    for (std::size_t phase = 0; phase < period; ++phase) {
      // Four 64-byte stretches, two periods of the longest pattern, and a tail.
      std::vector<unsigned char> frame(2 * 128 + 64 + 5);
      for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = pattern[(i + phase) % period];
      }
      for (pixel_format format : k_countable_formats) {
        expect_same_as_reference(frame.data(), frame.size(), format);
      }
    }
  }
}

TEST_P(CountSamples, StaysExactAcrossBlocks) {
  // Longer than two of the portable kernel's 16 MiB blocks, with an odd
  // tail; thousands of the vector kernel's blocks, some all in one bin.
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
  for (pixel_format format : k_countable_formats) {
    expect_same_as_reference(frame.data(), frame.size(), format);
  }
  const std::vector<unsigned char> white(length, 255);
  for (pixel_format format : {GREY, UYVY}) {
    expect_same_as_reference(white.data(), white.size(), format);
  }
}

TEST_P(CountSamples, OneValueFillsManyFlushIntervals) {
  // Dark or clipped areas with a little noise: in every vector of 64
  // samples, 63 hold one value and one another, from another of the vector
  // kernel's bins, so no vector is flat and each block puts about 4 KiB
  // into one bin. Its value gains the most a step can add, every step, for
  // hundreds of steps: a byte counter flushed one step later than it can
  // hold wraps and loses 4096 samples. The lengths end on and off a block.
  constexpr std::size_t k_samples = std::size_t{1} << 20U;
  for (const unsigned char value : {0, 30, 63, 64, 128, 215, 255}) {
    const auto other = static_cast<unsigned char>(value ^ 0x80U);
    for (pixel_format format : k_countable_formats) {
      const sample_layout layout = sample_layout_of(format);
      for (const std::size_t samples : {k_samples, k_samples + 4097}) {
        std::vector<unsigned char> frame(layout.first + samples * layout.step, 77);
        for (std::size_t i = 0; i < samples; ++i) {
          frame[layout.first + i * layout.step] = i % 64 == 17 ? other : value;
        }
        expect_same_as_reference(frame.data(), frame.size(), format);
        if (HasFatalFailure()) {
          return;
        }
      }
    }
  }
}

TEST_P(CountSamples, WholeBlocksOfOneBinAfterEveryRemainder) {
  // A block of varied content first, which leaves part of a step in every
  // bin of the vector kernel (`carried` samples in one of them), then whole
  // blocks whose samples all share their top two bits without being flat:
  // each lands in that one bin on top of what it carried, the most a bin
  // ever holds, while the other bins keep theirs.
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
      for (pixel_format format : k_countable_formats) {
        const sample_layout layout = sample_layout_of(format);
        std::vector<unsigned char> frame(layout.first + samples.size() * layout.step, 128);
        for (std::size_t i = 0; i < samples.size(); ++i) {
          frame[layout.first + i * layout.step] = samples[i];
        }
        expect_same_as_reference(frame.data(), frame.size(), format);
        if (HasFatalFailure()) {
          return;
        }
      }
    }
  }
}

TEST_P(CountSamples, RepeatedPairsOfSmallValuesInEveryPhase) {
  // A stretch of two alternating values, shifted by every offset against
  // the 64-byte runs, after a lead-in of other bytes. Small values (0 and 1
  // differ in one bit of one byte) are where a shortcut that tests too few
  // bits of the pair takes a stretch for flat.
  const unsigned char pairs[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 2}, {2, 1}, {0, 128}, {255, 254}};
  for (const auto& pair : pairs) {
    for (std::size_t phase = 0; phase < 64; ++phase) {
      std::vector<unsigned char> frame(std::size_t{256} + phase + 3);  // four 64-byte runs, and a tail
      for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = i < phase ? static_cast<unsigned char>(100 + i) : pair[(i - phase) % 2];
      }
      for (pixel_format format : k_countable_formats) {
        expect_same_as_reference(frame.data(), frame.size(), format);
      }
    }
  }
}

TEST_P(CountSamples, CountsNothingForRgbOrUnknownCodes) {
  const unsigned char frame[] = {1, 2, 3, 4, 5};
  for (pixel_format format : {RGBP, pixel_format{0}, make_fourcc('N', 'V', '1', '2')}) {
    clear_histogram();
    count_samples_using(GetParam(), frame, sizeof frame, format);
    EXPECT_EQ(sum_range({0, 255}), 0U);
  }
}

TEST_P(CountSamples, LumaParityOfShortFrames) {
  struct row {
    std::vector<unsigned char> frame;
    pixel_format format;
    std::uint64_t in_0_127;  // bytes below 128 that count
    std::uint64_t in_128_255;
  };
  // Luma bytes are 200, chroma bytes 10, so each sum tells which ones counted.
  const row rows[] = {
      {{200}, YUYV, 0, 1},         {{200}, YVYU, 0, 1},         {{10}, UYVY, 0, 0},
      {{10}, VYUY, 0, 0},          {{10}, GREY, 1, 0},          {{200, 10, 200}, YUYV, 0, 2},
      {{10, 200, 10}, UYVY, 0, 1}, {{10, 200, 10}, VYUY, 0, 1}, {{10, 200, 10}, BA81, 2, 1},
  };
  for (const auto& r : rows) {
    clear_histogram();
    count_samples_using(GetParam(), r.frame.data(), r.frame.size(), r.format);
    EXPECT_EQ(sum_range({0, 127}), r.in_0_127) << "format " << std::hex << r.format;
    EXPECT_EQ(sum_range({128, 255}), r.in_128_255) << "format " << std::hex << r.format;
  }
}

#if defined(__x86_64__)
// Whether /proc/cpuinfo reports every CPU flag the AVX-512 kernel needs.
bool cpuinfo_has_every_avx512_extension() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) {
      continue;
    }
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags{std::istream_iterator<std::string>(words), {}};
    for (const char* needed : {"avx512f", "avx512bw", "avx512vl", "avx512vbmi", "avx512_vbmi2",
                               "avx512_bitalg", "gfni", "popcnt"}) {
      if (flags.count(needed) == 0) {
        return false;
      }
    }
    return true;
  }
  return false;
}
#endif

TEST(ChosenKernel, IsTheFastestTheCpuReports) {
  // Read apart from the run-time check, so that a broken check cannot make
  // the AVX-512 cases skip unnoticed. Under an emulator /proc/cpuinfo is
  // the host's: the run then names the kernel it expects.
  std::string expected = "portable";
#if defined(__x86_64__)
  if (cpuinfo_has_every_avx512_extension()) {
    expected = "avx512";
  }
#endif
  if (const char* named = std::getenv("RAWHIST_EXPECT_KERNEL"); named != nullptr) {
    expected = named;
  }
  EXPECT_EQ(kernel_name(chosen_kernel()), expected);
  EXPECT_TRUE(kernel_supported(chosen_kernel()));
  std::cout << "counting kernel: " << kernel_name(chosen_kernel()) << "\n";
}

TEST(SumRange, AddsInclusiveRanges) {
  // Value v appears v + 1 times, so every sum is distinct and checkable.
  std::vector<unsigned char> frame;
  for (int value = 0; value < 256; ++value) {
    frame.insert(frame.end(), static_cast<std::size_t>(value) + 1, static_cast<unsigned char>(value));
  }
  clear_histogram();
  count_samples(frame.data(), frame.size(), GREY);

  auto expected_sum = [](int low, int high) {
    std::uint64_t sum = 0;
    for (int v = low; v <= high; ++v) {
      sum += static_cast<std::uint64_t>(v) + 1;
    }
    return sum;
  };
  struct row {
    value_range range;
    std::uint64_t sum;
  };
  const row rows[] = {
      {{0, 30}, expected_sum(0, 30)},
      {{215, 255}, expected_sum(215, 255)},
      {{0, 255}, frame.size()},
      {{255, 255}, 256},
      {{0, 0}, 1},
      {{7, 7}, 8},
      {{200, 100}, 0},
      {{255, 0}, 0},
      {{1, 0}, 0},
      {{254, 255}, 255 + 256},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(sum_range(r.range), r.sum) << int{r.range.low} << ".." << int{r.range.high};
  }
}

}  // namespace
}  // namespace rawhist
