// SPDX-License-Identifier: MIT
#include "run_driver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"
#include "frame_buffer.h"
#include "options.h"

namespace rawhist {
namespace {

// Closes a file on a path that has already failed: a second failure there
// changes nothing. The successful path closes through fclose itself and
// reports its outcome.
struct file_close {
  void operator()(std::FILE* file) const noexcept { static_cast<void>(std::fclose(file)); }
};
using file_handle = std::unique_ptr<std::FILE, file_close>;

// The size of the named file, or -1 after the "stat" line has been written.
// A name that did not fit the settings buffer is reported as too long rather
// than looked up cut short.
off_t size_by_name(const run_settings& settings) {
  struct stat status = {};
  if (!file_name_fits(settings)) {
    errno = ENAMETOOLONG;
    std::perror("stat");
    return -1;
  }
  if (stat(settings.file_name, &status) != 0) {
    std::perror("stat");
    return -1;
  }
  return status.st_size;
}

// A whole file in memory: its `length` bytes at `bytes`.
struct frame {
  frame_buffer bytes;
  std::size_t length = 0;
};

// Reads the whole named file into one buffer of exactly its length, or
// returns a frame without bytes. A failed stat or close prints its line;
// every other failure is silent. The buffer is acquired before the file
// and, by the order of the handles, given back after it on every failure.
frame read_frame(const run_settings& settings) {
  const off_t size = size_by_name(settings);
  if (size < 0) {
    return {};
  }
  // Nothing to count, and opening a FIFO (which reports size 0) would block
  // until a writer came along.
  if (size == 0) {
    return {};
  }
  if (static_cast<std::uintmax_t>(size) > SIZE_MAX) {
    return {};
  }
  const auto length = static_cast<std::size_t>(size);

  frame_buffer buffer = allocate_frame_buffer(length);
  if (!buffer) {
    return {};
  }
  file_handle file(std::fopen(settings.file_name, "r"));
  if (!file) {
    return {};
  }
  // Unbuffered, the one request below becomes one read() straight into the
  // frame buffer, with no stream buffer to allocate and copy through.
  static_cast<void>(std::setvbuf(file.get(), nullptr, _IONBF, 0));
  // One request for the whole size: a file that shrank since the size was
  // taken fails here, one that grew is counted up to that size.
  if (std::fread(buffer.get(), length, 1, file.get()) != 1) {
    return {};
  }
  if (std::fclose(file.release()) != 0) {
    std::perror("fclose");
    return {};
  }
  return {std::move(buffer), length};
}

// A result that never reached its reader is a failure, not a success.
bool write_result(std::uint64_t sum_1, std::uint64_t sum_2) {
  const int written = std::printf("%llu, %llu\n", static_cast<unsigned long long>(sum_1),
                                  static_cast<unsigned long long>(sum_2));
  if (written < 0 || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::perror("write");
    return false;
  }
  return true;
}

}  // namespace

int run(int argc, char* argv[]) {
  clear_histogram();
  run_settings settings;
  if (!parse_options(argc, argv, settings)) {
    return 1;
  }
  if (settings.format == RGBP) {
    // Diagnostics that cannot be written have nowhere else to go.
    static_cast<void>(std::fputs("Format not supported!\n", stderr));
    return 1;
  }
  frame whole_file = read_frame(settings);
  if (!whole_file.bytes) {
    return 1;
  }
  count_samples(whole_file.bytes.get(), whole_file.length, settings.format);
  // The sums need the counts only.
  whole_file.bytes.reset();
  const std::uint64_t sum_1 = sum_range(settings.range_1);
  const std::uint64_t sum_2 = sum_range(settings.range_2);
  return write_result(sum_1, sum_2) ? 0 : 1;
}

}  // namespace rawhist
