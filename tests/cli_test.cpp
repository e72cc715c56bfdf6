// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "frame_buffer.h"
#include "tool_runner.h"

namespace rawhist::testing {
namespace {

const std::string k_usage =
    "Usage: rawhist [-n \"Dateiname.raw\"] [-w Wertebereich_1] [-x Wertebereich_2] [-f Farbformat]\n";

// Offsets 0..6 hold 0, 255, 30, 215, 31, 214, 16: the range ends 30/31 and
// 214/215 fall on both parities, so a parity or off-by-one slip changes a sum.
const std::string k_frame{"\x00\xff\x1e\xd7\x1f\xd6\x10", 7};

std::string repeat(const std::string& part, int times) {
  std::string whole;
  for (int i = 0; i < times; ++i) {
    whole += part;
  }
  return whole;
}

struct cli_case {
  const char* name;
  std::vector<std::string> args;
  std::string image_raw;  // content of image.raw in the working directory; "-" for none
  std::string out;
  std::string err;
  int status;
};

void expect_case(const cli_case& c) {
  temp_dir dir;
  if (c.image_raw != "-") {
    dir.write("image.raw", c.image_raw);
  }
  const tool_result r = run_tool(dir.path(), c.args);
  EXPECT_FALSE(r.timed_out) << c.name;
  EXPECT_EQ(r.out, c.out) << c.name;
  EXPECT_EQ(r.err, c.err) << c.name;
  EXPECT_EQ(r.status, c.status) << c.name;
}

TEST(Cli, RunsAsSpecified) {
  const cli_case cases[] = {
      // Formats and ranges.
      {"default grey run", {}, k_frame, "3, 2\n", "", 0},
      {"bayer counts every byte", {"-f", "bayer"}, k_frame, "3, 2\n", "", 0},
      {"yuyv counts even offsets", {"-f", "yuyv"}, k_frame, "3, 0\n", "", 0},
      {"yvyu counts even offsets", {"-f", "yvyu"}, k_frame, "3, 0\n", "", 0},
      {"uyvy counts odd offsets", {"-f", "uyvy"}, k_frame, "0, 2\n", "", 0},
      {"vyuy counts odd offsets", {"-f", "vyuy"}, k_frame, "0, 2\n", "", 0},
      {"range ends are inclusive", {"-w", "31,31", "-x", "214,214"}, k_frame, "1, 1\n", "", 0},
      {"range wraps to 8 bits", {"-w", "0,300", "-x", "-1,-1"}, k_frame, "4, 1\n", "", 0},
      {"empty range sums to 0", {"-w", "1,0", "-x", "200,100"}, k_frame, "0, 0\n", "", 0},
      {"whole range counts luma", {"-w", "0,255", "-x", "0,255", "-f", "uyvy"}, k_frame, "3, 3\n", "", 0},
      {"odd tail counts for yuyv", {"-w", "0,255", "-f", "yuyv"}, k_frame, "4, 0\n", "", 0},
      {"no byte in either range", {}, std::string(64, '\x80'), "0, 0\n", "", 0},
      {"all white", {}, std::string(100, '\xff'), "0, 100\n", "", 0},
      {"one byte uyvy has no sample", {"-f", "uyvy"}, std::string(1, '\0'), "0, 0\n", "", 0},
      // Options as getopt reads them.
      {"attached arguments", {"-fuyvy", "-w0,255"}, k_frame, "3, 2\n", "", 0},
      {"last -f in the table wins", {"-f", "rgb", "-f", "yuyv"}, k_frame, "3, 0\n", "", 0},
      {"rgb after yuyv is refused", {"-f", "yuyv", "-f", "rgb"}, k_frame, "", "Format not supported!\n", 1},
      {"rgb never looks at the file",
       {"-f", "rgb", "-n", "missing.raw"},
       "-",
       "",
       "Format not supported!\n",
       1},
      {"unknown words change nothing", {"-f", "YUYV", "-f", "grey"}, k_frame, "3, 2\n", "", 0},
      {"range without comma ignored", {"-w", "31,31", "-w", "5"}, k_frame, "1, 2\n", "", 0},
      {"bare word is not a file name", {"other.raw"}, k_frame, "3, 2\n", "", 0},
      {"options after the marker are words", {"--", "-f", "uyvy"}, k_frame, "3, 2\n", "", 0},
      {"unknown letter", {"-h"}, k_frame, "", "rawhist: invalid option -- 'h'\n" + k_usage, 1},
      {"missing argument", {"-n"}, k_frame, "", "rawhist: option requires an argument -- 'n'\n" + k_usage, 1},
      {"bad option beats rgb", {"-f", "rgb", "-h"}, "-", "", "rawhist: invalid option -- 'h'\n" + k_usage, 1},
      {"bad option before any file access",
       {"-n", "missing", "-q"},
       "-",
       "",
       "rawhist: invalid option -- 'q'\n" + k_usage,
       1},
      // The file.
      {"no image.raw", {}, "-", "", "stat: No such file or directory\n", 1},
      {"empty file is silent", {}, "", "", "", 1},
      {"name of 5000 bytes", {"-n", std::string(5000, 'a')}, k_frame, "", "stat: File name too long\n", 1},
      {"name of exactly 4096 bytes",
       {"-n", std::string(4096, 'a')},
       k_frame,
       "",
       "stat: File name too long\n",
       1},
      // A real name of 4095 bytes that only a reader holding all of it can find.
      {"name of 4095 bytes is held whole",
       {"-n", repeat("./", 2043) + "image.raw"},
       k_frame,
       "3, 2\n",
       "",
       0},
      {"directory as file", {"-n", "."}, "-", "", "", 1},
  };
  for (const auto& c : cases) {
    expect_case(c);
  }
}

TEST(Cli, EveryFormatCountsShortAndLargeFrames) {
  // Dark bytes at even offsets, bright ones at odd offsets. From
  // k_mapping_threshold on the frame goes into whole huge pages: lengths on
  // both sides of two and of three of them, and one with an odd tail past
  // the first, so that a buffer one page too short fails the read and a read
  // past the end (caught by the sanitizer build) touches the slack.
  static_assert(k_huge_page + 3 >= k_mapping_threshold);
  constexpr std::size_t k_huge = k_huge_page;
  for (const std::size_t length : {std::size_t{1}, std::size_t{2}, k_huge + 3, 2 * k_huge - 1, 2 * k_huge,
                                   2 * k_huge + 1, 3 * k_huge - 1, 3 * k_huge + 1}) {
    std::string frame(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
      frame[i] = static_cast<char>(i % 2 == 0 ? 10 : 240);
    }
    temp_dir dir;
    dir.write("image.raw", frame);
    const std::string even = std::to_string((length + 1) / 2);
    const std::string odd = std::to_string(length / 2);
    const std::string none = "0";
    struct row {
      const char* word;
      std::string dark;
      std::string bright;
    };
    const row rows[] = {
        {nullptr, even, odd}, {"bayer", even, odd}, {"yuyv", even, none},
        {"yvyu", even, none}, {"uyvy", none, odd},  {"vyuy", none, odd},
    };
    for (const auto& r : rows) {
      std::vector<std::string> args;
      if (r.word != nullptr) {
        args = {"-f", r.word};
      }
      const tool_result result = run_tool(dir.path(), args);
      const std::string label =
          std::string(r.word == nullptr ? "grey" : r.word) + " " + std::to_string(length);
      EXPECT_EQ(result.out, r.dark + ", " + r.bright + "\n") << label;
      EXPECT_EQ(result.err, "") << label;
      EXPECT_EQ(result.status, 0) << label;
    }
  }
}

TEST(Cli, FifoFailsAtOnceWithoutBlocking) {
  temp_dir dir;
  ASSERT_EQ(mkfifo((dir.path() + "/pipe").c_str(), 0600), 0);
  const tool_result r = run_tool(dir.path(), {"-n", "pipe"}, {.timeout_seconds = 5});
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

TEST(Cli, UnreadableFileFailsSilently) {
  temp_dir dir;
  const std::string path = dir.write("image.raw", k_frame);
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  const tool_result denied = run_tool(dir.path(), {}, {.without_read_override = true});
  EXPECT_EQ(denied.out, "");
  EXPECT_EQ(denied.err, "");
  EXPECT_EQ(denied.status, 1);
  // With permission restored the same run succeeds: the failure was the permission.
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const tool_result allowed = run_tool(dir.path(), {}, {.without_read_override = true});
  EXPECT_EQ(allowed.out, "3, 2\n");
  EXPECT_EQ(allowed.status, 0);
}

TEST(Cli, LostResultLineIsAFailure) {
  struct row {
    const char* name;
    output_target target;
    std::string err;
  };
  const row rows[] = {
      {"full device", output_target::full_device, "write: No space left on device\n"},
      {"closed standard output", output_target::closed, "write: Bad file descriptor\n"},
  };
  for (const auto& r : rows) {
    temp_dir dir;
    dir.write("image.raw", k_frame);
    const tool_result result = run_tool(dir.path(), {}, {.stdout_to = r.target});
    EXPECT_EQ(result.err, r.err) << r.name;
    EXPECT_EQ(result.status, 1) << r.name;
  }
}

TEST(Cli, CountsTheShippedSampleFrame) {
  // The expected lines live beside the sample, for every test to read: the
  // default run's, then OPTIONS => LINE for the others.
  std::ifstream expected_file(RAWHIST_SAMPLE ".expected");
  const std::string expected{std::istreambuf_iterator<char>(expected_file), {}};
  ASSERT_FALSE(expected.empty());
  std::vector<std::pair<std::vector<std::string>, std::string>> runs = {{{"-f", "uyvy"}, expected}};
  std::ifstream more(RAWHIST_SAMPLE ".runs");
  for (std::string line; std::getline(more, line);) {
    const std::size_t arrow = line.find(" => ");
    if (line.rfind('#', 0) == 0 || arrow == std::string::npos) {
      continue;
    }
    std::istringstream words(line.substr(0, arrow));
    std::vector<std::string> options;
    for (std::string word; words >> word;) {
      options.push_back(word);
    }
    runs.emplace_back(options, line.substr(arrow + 4) + "\n");
  }
  ASSERT_GT(runs.size(), 1U);
  temp_dir dir;
  for (const auto& [options, line] : runs) {
    std::vector<std::string> args = {"-n", RAWHIST_SAMPLE};
    args.insert(args.end(), options.begin(), options.end());
    const tool_result r = run_tool(dir.path(), args);
    EXPECT_EQ(r.out, line) << line;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

}  // namespace
}  // namespace rawhist::testing
