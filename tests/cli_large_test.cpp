// Frames larger than 4 GiB: slow and memory-hungry, so these run under their
// own CTest label ("large") and can be left out with `ctest -LE large`.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "tool_runner.h"

namespace rawhist::testing {
namespace {

TEST(CliLarge, CountsSparseFrameBeyond4GiBExactly) {
  // 4 GiB + 2 MiB of zeros with a few bright bytes on both sides of the 4 GiB mark:
  // any 32-bit count of bytes or samples would wrap and show here.
  const std::uint64_t length = (std::uint64_t{4} << 30U) + (std::uint64_t{2} << 20U);
  const std::uint64_t bright_at[] = {0,
                                     1,
                                     (std::uint64_t{4} << 30U) - 1,
                                     std::uint64_t{4} << 30U,
                                     (std::uint64_t{4} << 30U) + 1,
                                     length - 2,
                                     length - 1};
  temp_dir dir;
  const std::string path = dir.path() + "/image.raw";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);
  for (std::uint64_t offset : bright_at) {
    const unsigned char bright = 250;
    ASSERT_EQ(pwrite(fd, &bright, 1, static_cast<off_t>(offset)), 1);
  }
  ASSERT_EQ(close(fd), 0);

  struct row {
    std::vector<std::string> args;
    std::string out;
  };
  // Bright bytes at even offsets: 0, 4 GiB, length - 2; at odd ones: 1,
  // 4 GiB - 1, 4 GiB + 1, length - 1.
  const row rows[] = {
      {{"-w", "0,0", "-x", "1,255"}, std::to_string(length - 7) + ", 7\n"},
      {{"-f", "yuyv", "-w", "0,0", "-x", "250,250"}, std::to_string(length / 2 - 3) + ", 3\n"},
      {{"-f", "uyvy", "-w", "0,0", "-x", "250,250"}, std::to_string(length / 2 - 4) + ", 4\n"},
  };
  for (const auto& r : rows) {
    const tool_result result = run_tool(dir.path(), r.args, {.timeout_seconds = 300});
    EXPECT_EQ(result.out, r.out) << r.args[1];
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
}

}  // namespace
}  // namespace rawhist::testing
