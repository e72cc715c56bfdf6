// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "address_sanitizer.h"
#include "analysis/pixel_format.h"
#include "frame_buffer.h"
#include "options.h"
#include "run_driver.h"
#include "value_range_arg.h"
#if RAWHIST_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace rawhist {
namespace {

TEST(ParseValueRange, ConvertsAndWrapsLikeStrtoull) {
  struct row {
    const char* text;
    int low;
    int high;
  };
  // The range starts as 123..45 so that a side that is never written shows.
  const row rows[] = {
      {"10,200", 10, 200},
      {"0,255", 0, 255},
      {"0,300", 0, 44},
      {"256,0", 0, 0},
      {",5", 0, 5},
      {"7,", 7, 0},
      {",", 0, 0},
      {"1,2,3", 1, 2},
      {" 12, 34", 12, 34},
      {"\t\n12,\v+34", 12, 34},
      {"12x,34", 12, 34},
      {"abc,def", 0, 0},
      {"-1,5", 255, 5},
      {"-0,-256", 0, 0},
      {"+7,+8", 7, 8},
      {"- 1,+-2", 0, 0},
      {"0x1f,0b1", 0, 0},
      {"123456789012345678901234,0", 255, 0},
      {"18446744073709551615,18446744073709551616", 255, 255},
      {"4294967296,4294967553", 0, 1},
      {"-18446744073709551615,-99999999999999999999999", 1, 255},
      {"007,010", 7, 10},
      {"5", 123, 45},
      {"", 123, 45},
      {"12 34", 123, 45},
  };
  for (const auto& r : rows) {
    value_range range{123, 45};
    parse_value_range(r.text, range);
    EXPECT_EQ(range.low, r.low) << '"' << r.text << '"';
    EXPECT_EQ(range.high, r.high) << '"' << r.text << '"';
  }
}

// parse_options takes a mutable vector, as main receives it; getopt may permute it.
struct argv_builder {
  explicit argv_builder(std::vector<std::string> words) : storage(std::move(words)) {
    for (auto& word : storage) {
      pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(storage.size()); }
  char** argv() { return pointers.data(); }

  std::vector<std::string> storage;
  std::vector<char*> pointers;
};

TEST(ParseOptions, FillsSettingsInOrder) {
  struct row {
    std::vector<std::string> words;
    bool ok;
    std::string file_name;
    pixel_format format;
    value_range range_1;
    value_range range_2;
  };
  const value_range d1{0, 30};
  const value_range d2{215, 255};
  // Names of up to 4095 bytes are held whole; the longer ones are the
  // command-line tests' (the driver must see them as too long).
  const std::string longest(k_file_name_capacity - 1, 'a');
  const std::string long_name(k_file_name_capacity - 2, 'a');
  const row rows[] = {
      {{}, true, "image.raw", GREY, d1, d2},
      {{"rawhist"}, true, "image.raw", GREY, d1, d2},
      {{"rawhist", "-n", long_name}, true, long_name, GREY, d1, d2},
      {{"rawhist", "-n", longest}, true, longest, GREY, d1, d2},
      {{"rawhist", "-n", "a.raw", "-w", "1,2", "-x", "3,4", "-f", "uyvy"},
       true,
       "a.raw",
       UYVY,
       {1, 2},
       {3, 4}},
      {{"rawhist", "-na.raw", "-w1,2", "-x3,4", "-fvyuy"}, true, "a.raw", VYUY, {1, 2}, {3, 4}},
      {{"rawhist", "-n", "a", "-n", "b"}, true, "b", GREY, d1, d2},
      {{"rawhist", "-w", "1,2", "-w", "9"}, true, "image.raw", GREY, {1, 2}, d2},
      {{"rawhist", "-x", "300,-1"}, true, "image.raw", GREY, d1, {44, 255}},
      {{"rawhist", "-f", "yuyv", "-f", "rgb"}, true, "image.raw", RGBP, d1, d2},
      {{"rawhist", "-f", "rgb", "-f", "yuyv"}, true, "image.raw", YUYV, d1, d2},
      {{"rawhist", "-f", "bayer", "-f", "YUYV", "-f", "grey"}, true, "image.raw", BA81, d1, d2},
      {{"rawhist", "-f", "yvyu"}, true, "image.raw", YVYU, d1, d2},
      {{"rawhist", "-f", "uyvy "}, true, "image.raw", GREY, d1, d2},
      {{"rawhist", "frame.raw"}, true, "image.raw", GREY, d1, d2},
      {{"rawhist", "frame.raw", "-f", "uyvy"}, true, "image.raw", UYVY, d1, d2},
      {{"rawhist", "--", "-f", "uyvy"}, true, "image.raw", GREY, d1, d2},
      {{"rawhist", "-n", "-f", "uyvy"}, true, "-f", GREY, d1, d2},
      {{"rawhist", "-n", ""}, true, "", GREY, d1, d2},
      // Options before a bad one stay applied; those after it are never read.
      {{"rawhist", "-f", "rgb", "-h", "-f", "yuyv"}, false, "image.raw", RGBP, d1, d2},
      {{"rawhist", "-w", "5,6", "-n"}, false, "image.raw", GREY, {5, 6}, d2},
      {{"rawhist", "-?"}, false, "image.raw", GREY, d1, d2},
      {{"rawhist", "-:"}, false, "image.raw", GREY, d1, d2},
  };
  for (const auto& r : rows) {
    argv_builder args(r.words);
    run_settings settings;
    std::string line;
    for (const auto& w : r.words) {
      line += w + ' ';
    }
    EXPECT_EQ(parse_options(args.argc(), args.argv(), settings), r.ok) << line;
    EXPECT_STREQ(settings.file_name, r.file_name.c_str()) << line;
    EXPECT_EQ(settings.format, r.format) << line;
    EXPECT_EQ(settings.range_1.low, r.range_1.low) << line;
    EXPECT_EQ(settings.range_1.high, r.range_1.high) << line;
    EXPECT_EQ(settings.range_2.low, r.range_2.low) << line;
    EXPECT_EQ(settings.range_2.high, r.range_2.high) << line;
  }
}

TEST(ParseOptions, ASecondCallReadsItsOwnWordsFromTheStart) {
  // The first call leaves getopt in the middle of a word, past permuted
  // operands, or at the end; the second must read nothing of that.
  struct row {
    std::vector<std::string> first;
    std::vector<std::string> second;
    bool ok;
    std::string file_name;
    pixel_format format;
  };
  const row rows[] = {
      {{"rawhist", "-hn", "x.raw"}, {"rawhist", "-f", "yuyv"}, true, "image.raw", YUYV},
      {{"rawhist", "-fuyvy", "-q"}, {"rawhist", "-n", "b.raw"}, true, "b.raw", GREY},
      {{"rawhist", "a", "b", "-f", "uyvy", "c"}, {"rawhist", "-f", "vyuy"}, true, "image.raw", VYUY},
      {{"rawhist", "-n", "a.raw", "-f", "bayer"}, {"rawhist", "-n", "b.raw"}, true, "b.raw", GREY},
      {{"rawhist", "-n", "a.raw", "-f", "bayer"}, {"rawhist", "-w1,2", "-h"}, false, "image.raw", GREY},
      {{"rawhist", "-q"}, {"rawhist"}, true, "image.raw", GREY},
  };
  for (const auto& r : rows) {
    argv_builder first(r.first);
    run_settings ignored;
    static_cast<void>(parse_options(first.argc(), first.argv(), ignored));
    argv_builder second(r.second);
    run_settings settings;
    EXPECT_EQ(parse_options(second.argc(), second.argv(), settings), r.ok) << r.first[1];
    EXPECT_STREQ(settings.file_name, r.file_name.c_str()) << r.first[1];
    EXPECT_EQ(settings.format, r.format) << r.first[1];
  }
}

TEST(FrameBuffer, RefusesWhatNoPointerDifferenceSpans) {
  constexpr auto k_largest = static_cast<std::size_t>(PTRDIFF_MAX);
  for (const std::size_t size : {k_largest + 1, k_huge_page_max_size, k_huge_page_max_size + 1, SIZE_MAX}) {
    EXPECT_EQ(allocate_frame_buffer(size), nullptr) << size;
  }
  // One byte more than the mapping takes and its arithmetic would wrap
  // (frame_buffer.h asserts it), so that size is refused.
  EXPECT_EQ(map_huge_page_buffer(k_huge_page_max_size + 1), nullptr);
  EXPECT_EQ(map_huge_page_buffer(SIZE_MAX), nullptr);
}

TEST(FrameBuffer, HeapBelowTheThresholdWholeHugePagesFromIt) {
  // Whatever the threshold, a buffer below it comes from the heap and one
  // from it on is whole huge pages; the threshold is tuned, not fixed.
  static_assert(k_mapping_threshold < k_huge_page);
  struct row {
    std::size_t size;
    std::size_t mapped;  // 0: from the heap
  };
  const row rows[] = {
      {1, 0},
      {k_mapping_threshold - 1, 0},
      {k_mapping_threshold, k_huge_page},
      {k_huge_page, k_huge_page},
      {k_huge_page + 1, 2 * k_huge_page},
      {5 * k_huge_page / 2, 3 * k_huge_page},
  };
  for (const auto& r : rows) {
    const frame_buffer buffer = allocate_frame_buffer(r.size);
    ASSERT_NE(buffer, nullptr) << r.size;
    EXPECT_EQ(buffer.get_deleter().mapped_bytes, r.mapped) << r.size;
    if (r.mapped != 0) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.get()) % k_huge_page, 0U) << r.size;
    }
    std::memset(buffer.get(), 0x5A, r.size);
  }
}

// Whether nothing of [begin, begin + count) is mapped in this process: a
// mapping asked for exactly there, without replacing anything, gets it.
// (msync and mincore would say, but not under qemu-user, which keeps the
// host pages of unmapped guest memory reserved.)
bool nothing_mapped(unsigned char* begin, std::size_t count) {
  if (count == 0) {
    return true;
  }
  void* probe = mmap(begin, count, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (probe == MAP_FAILED) {
    return false;
  }
  // A kernel older than the flag takes the address as a hint only.
  static_cast<void>(munmap(probe, count));
  return probe == begin;
}

TEST(FrameBuffer, PlacesWholeHugePagesOnABoundaryWhereverTheReservationStarts) {
  // The kernel decides where a mapping starts, and recent ones align long
  // mappings themselves; here the reservation is made to start at chosen
  // distances before a 2 MiB boundary, so every path runs on any kernel.
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  for (const std::size_t size :
       {k_mapping_threshold, k_huge_page - 1, k_huge_page, k_huge_page + 1, 5 * k_huge_page / 2}) {
    for (const std::size_t misalignment : {k_huge_page, page, k_huge_page / 2, k_huge_page - page}) {
      const std::size_t reserved = huge_page_reservation(size);
      // Room to start anywhere within one huge page: the reservation kept
      // starts `misalignment` bytes before a 2 MiB boundary.
      void* wide = mmap(nullptr, reserved + 3 * k_huge_page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      ASSERT_NE(wide, MAP_FAILED);
      auto* const wide_start = static_cast<unsigned char*>(wide);
      unsigned char* const start = wide_start + huge_page_head(reinterpret_cast<std::uintptr_t>(wide_start)) +
                                   2 * k_huge_page - misalignment;
      unsigned char* const wide_end = wide_start + reserved + 3 * k_huge_page;
      // start lies past the wide mapping's first byte, so both cuts have length.
      ASSERT_GT(start, wide_start);
      ASSERT_EQ(munmap(wide_start, static_cast<std::size_t>(start - wide_start)), 0);
      ASSERT_EQ(munmap(start + reserved, static_cast<std::size_t>(wide_end - (start + reserved))), 0);

      const frame_buffer buffer = place_huge_page_buffer(start, size);
      const std::string label = std::to_string(size) + " from " + std::to_string(misalignment);
      ASSERT_NE(buffer, nullptr) << label;
      unsigned char* const begin = buffer.get();
      const std::size_t length = huge_page_length(size);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(begin) % k_huge_page, 0U) << label;
      EXPECT_EQ(buffer.get_deleter().mapped_bytes, length) << label;
      ASSERT_GE(begin, start) << label;
      ASSERT_LE(begin + length, start + reserved) << label;
      // The frame is writable end to end; the slack on both sides is gone.
      std::memset(begin, 0xA5, size);
      EXPECT_TRUE(nothing_mapped(start, static_cast<std::size_t>(begin - start))) << label;
      EXPECT_TRUE(
          nothing_mapped(begin + length, static_cast<std::size_t>(start + reserved - (begin + length))))
          << label;
    }
  }
}

TEST(Run, EachRunInOneProcessCountsItsOwnFrameOnly) {
  // The counts live in one histogram per process; a run that did not start
  // from an empty one would add the frames of earlier runs.
  const std::string path = ::testing::TempDir() + "rawhist-run-twice.raw";
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string("\x00\xff\x1e\xd7\x1f\xd6\x10", 7);
  }
  argv_builder args({"rawhist", "-n", path});
  ::testing::internal::CaptureStdout();
  const int first = run(args.argc(), args.argv());
  const int second = run(args.argc(), args.argv());
  const std::string out = ::testing::internal::GetCapturedStdout();
  static_cast<void>(std::remove(path.c_str()));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(out, "3, 2\n3, 2\n");
}

#if RAWHIST_ADDRESS_SANITIZER
// Frames are sized by files, so the test of sizes no allocation can meet
// wants the allocator to say no rather than end the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

// A mapped frame buffer is rounded up to whole huge pages; the sanitizer must
// still see exactly the frame's bytes as addressable, so that a kernel that
// reads one byte too far is caught whichever way the buffer was obtained.
TEST(FrameBuffer, OnlyTheFrameIsAddressableUnderAddressSanitizer) {
  constexpr std::size_t k_huge = k_huge_page;
  for (const std::size_t size : {std::size_t{1}, k_mapping_threshold - 1, k_mapping_threshold,
                                 k_mapping_threshold + 1, k_huge - 1, k_huge, k_huge + 1, 3 * k_huge - 7}) {
    const frame_buffer buffer = allocate_frame_buffer(size);
    ASSERT_NE(buffer, nullptr) << size;
    EXPECT_EQ(__asan_region_is_poisoned(buffer.get(), size), nullptr) << size;
    // A mapping of whole huge pages has no slack: its end is another mapping's.
    if (size % k_huge != 0) {
      EXPECT_TRUE(__asan_address_is_poisoned(buffer.get() + size)) << size;
    }
  }
}
#endif

}  // namespace
}  // namespace rawhist
