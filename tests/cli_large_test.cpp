// SPDX-License-Identifier: MIT
//
// Frames of several GiB, as sparse files: slow and memory-hungry, so these run
// under their own CTest label ("large") and can be left out with
// `ctest -LE large`. Each states the memory it needs and is skipped, saying
// so, where that much is not available; with RAWHIST_REQUIRE_LARGE=1 in the
// environment (as CI sets it) a skip is a failure instead.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace rawhist::testing {
namespace {

constexpr std::uint64_t k_mib = std::uint64_t{1} << 20U;
constexpr std::uint64_t k_gib = std::uint64_t{1} << 30U;

// The first number after `key` in a file such as /proc/meminfo, times `unit`.
std::optional<std::uint64_t> number_after(const std::string& path, const std::string& key,
                                          std::uint64_t unit) {
  std::ifstream in(path);
  std::string word;
  while (in >> word) {
    if (key.empty() || word == key) {
      std::uint64_t value = 0;
      if (in >> value) {
        return value * unit;
      }
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// What is left under a control group's limit, or `otherwise` without one.
std::uint64_t left_under(const std::string& limit_file, const std::string& usage_file,
                         std::uint64_t otherwise) {
  std::ifstream limit_in(limit_file);
  std::string limit_text;
  if (!(limit_in >> limit_text) || limit_text == "max") {
    return otherwise;
  }
  const std::uint64_t limit = std::stoull(limit_text);
  const std::uint64_t used = number_after(usage_file, "", 1).value_or(0);
  return std::min(otherwise, limit > used ? limit - used : 0);
}

// Memory this process may still fill: what the kernel reports available,
// capped by the limit of the control group it runs in (version 2, or the
// memory controller of version 1).
std::uint64_t available_memory() {
  std::uint64_t available = number_after("/proc/meminfo", "MemAvailable:", 1024).value_or(0);
  std::ifstream groups("/proc/self/cgroup");
  std::string line;
  while (std::getline(groups, line)) {
    if (line.rfind("0::", 0) == 0) {
      const std::string dir = "/sys/fs/cgroup" + line.substr(3);
      available = left_under(dir + "/memory.max", dir + "/memory.current", available);
    } else if (const std::size_t at = line.find(":memory:"); at != std::string::npos) {
      const std::string dir = "/sys/fs/cgroup/memory" + line.substr(at + 8);
      available = left_under(dir + "/memory.limit_in_bytes", dir + "/memory.usage_in_bytes", available);
    }
  }
  return available;
}

// Why a test that needs `need` bytes of memory cannot run here, or "" when it can.
std::string memory_shortfall(std::uint64_t need) {
  const std::uint64_t have = available_memory();
  if (have >= need) {
    return "";
  }
  std::ostringstream why;
  why << "needs " << need / k_mib << " MiB of available memory, has " << have / k_mib << " MiB";
  return why.str();
}

// Where large tests are required (CI), a shortfall fails instead of skipping.
bool large_tests_required() {
  const char* const required = std::getenv("RAWHIST_REQUIRE_LARGE");
  return required != nullptr && std::string(required) == "1";
}

// A sparse file of `length` zero bytes with the byte `value` at each offset in `at`.
void write_sparse(const std::string& path, std::uint64_t length, const std::vector<std::uint64_t>& at,
                  unsigned char value) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);
  for (std::uint64_t offset : at) {
    ASSERT_EQ(pwrite(fd, &value, 1, static_cast<off_t>(offset)), 1);
  }
  ASSERT_EQ(close(fd), 0);
}

struct large_case {
  std::vector<std::string> args;
  std::string out;
};

void expect_rows(const std::string& dir, const std::vector<large_case>& rows) {
  for (const auto& r : rows) {
    const tool_result result = run_tool(dir, r.args, {.timeout_seconds = 600});
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.out, r.out) << r.args[1];
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
}

// A 32-bit process cannot hold 4 GiB; there the frames from 2 GiB up are
// the cases the target has.
#if UINTPTR_MAX > 0xFFFFFFFFU
TEST(CliLarge, CountsSparseFrameBeyond4GiBExactly) {
  // 4 GiB + 2 MiB of zeros with a few bright bytes on both sides of the 4 GiB
  // mark: any 32-bit count of bytes or samples would wrap and show here.
  const std::uint64_t length = 4 * k_gib + 2 * k_mib;
  if (const std::string why = memory_shortfall(length + 256 * k_mib); !why.empty()) {
    ASSERT_FALSE(large_tests_required()) << why << " (RAWHIST_REQUIRE_LARGE=1)";
    GTEST_SKIP() << why;
  }
  temp_dir dir;
  write_sparse(dir.path() + "/image.raw", length,
               {0, 1, 4 * k_gib - 1, 4 * k_gib, 4 * k_gib + 1, length - 2, length - 1}, 250);
  // Bright bytes at even offsets: 0, 4 GiB, length - 2; at odd ones: 1,
  // 4 GiB - 1, 4 GiB + 1, length - 1.
  expect_rows(dir.path(),
              {
                  {{"-w", "0,0", "-x", "1,255"}, std::to_string(length - 7) + ", 7\n"},
                  {{"-f", "yuyv", "-w", "0,0", "-x", "250,250"}, std::to_string(length / 2 - 3) + ", 3\n"},
                  {{"-f", "uyvy", "-w", "0,0", "-x", "250,250"}, std::to_string(length / 2 - 4) + ", 4\n"},
              });
}

#else
// A frame that such a process can be expected to hold in one piece. MIPS32
// leaves a process 2 GiB of addresses, where the other 32-bit targets leave
// 3 or 4, and qemu-user puts the program and its libraries in the middle of
// them: the longest free stretch is about 0.7 GiB under qemu 10 and 1 GiB
// under qemu 7.
#if defined(__mips__)
constexpr std::uint64_t k_largest_held = 512 * k_mib;
#else
constexpr std::uint64_t k_largest_held = 1536 * k_mib;
#endif

TEST(CliLarge, Frames2GiBAndUpOn32Bit) {
  if (const std::string why = memory_shortfall(k_largest_held + 256 * k_mib); !why.empty()) {
    ASSERT_FALSE(large_tests_required()) << why << " (RAWHIST_REQUIRE_LARGE=1)";
    GTEST_SKIP() << why;
  }
  temp_dir dir;
  // No object of more than 2 GiB fits a 32-bit process, and 5 GiB is beyond
  // its size type: both take the silent allocation failure, never a "stat"
  // error about the size or a count of a cut-short frame.
  for (const std::uint64_t length : {2 * k_gib + 1, 5 * k_gib}) {
    write_sparse(dir.path() + "/image.raw", length, {length - 1}, 255);
    const tool_result result = run_tool(dir.path(), {}, {.timeout_seconds = 600});
    EXPECT_EQ(result.out, "") << length;
    EXPECT_EQ(result.err, "") << length;
    EXPECT_EQ(result.status, 1) << length;
  }
  // A frame that large still fits, and counts exactly.
  const std::uint64_t length = k_largest_held;
  write_sparse(dir.path() + "/image.raw", length, {length - 1}, 255);
  expect_rows(dir.path(), {{{"-w", "0,30"}, std::to_string(length - 1) + ", 1\n"}});
}
#endif

}  // namespace
}  // namespace rawhist::testing
