// SPDX-License-Identifier: MIT
// The serial floor: the fastest run the rules allow as we understand them,
// kept deliberately plain, for the whole-process size sweep
// (bench/compare_whole_process.py --sweep). One thread, one buffer holding
// the whole frame, filled before counting: whatever the frame's size, a
// 2 MiB-aligned anonymous mapping marked for transparent huge pages, filled
// by read() straight from the file, then the same counting kernel as
// rawhist. Same command line and output as rawhist; never installed.
//
// With --io-floor as the first argument it does everything a run must do
// but count: the I/O floor, a yardstick for what counting adds to a run. It
// then prints the sums of the empty histogram.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "analysis/sample_histogram.h"
#include "frame_buffer.h"
#include "options.h"

int main(int argc, char* argv[]) {
  const bool count = argc < 2 || std::strcmp(argv[1], "--io-floor") != 0;
  if (!count) {
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  rawhist::clear_histogram();
  rawhist::run_settings settings;
  if (!rawhist::parse_options(argc, argv, settings) || settings.format == rawhist::RGBP ||
      !rawhist::file_name_fits(settings)) {
    return 1;
  }
  const int fd = open(settings.file_name, O_RDONLY);
  struct stat status = {};
  if (fd < 0 || fstat(fd, &status) != 0 || status.st_size <= 0) {
    return 1;
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  const rawhist::frame_buffer frame = rawhist::map_huge_page_buffer(size);
  if (!frame) {
    return 1;
  }
  unsigned char* const buffer = frame.get();
  for (std::size_t done = 0; done < size;) {
    const ssize_t got = read(fd, buffer + done, size - done);
    if (got <= 0) {
      return 1;
    }
    done += static_cast<std::size_t>(got);
  }
  close(fd);
  if (count) {
    rawhist::count_samples(buffer, size, settings.format);
  }
  static_cast<void>(std::printf("%llu, %llu\n",
                                static_cast<unsigned long long>(rawhist::sum_range(settings.range_1)),
                                static_cast<unsigned long long>(rawhist::sum_range(settings.range_2))));
  return 0;
}
