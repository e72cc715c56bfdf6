// SPDX-License-Identifier: MIT
// The same run as rawhist, built the literal way on purpose: one malloc of the
// file's size, one fread, and the per-byte is_sample loop. It is the baseline
// of the whole-process comparison and is never installed.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "options.h"
#include "reference_count.h"

namespace {

std::uint64_t sum(const rawhist::sample_histogram& counts, rawhist::value_range range) {
  std::uint64_t total = 0;
  for (int value = range.low; value <= range.high; ++value) {
    total += counts[static_cast<std::size_t>(value)];
  }
  return total;
}

}  // namespace

int main(int argc, char* argv[]) {
  static rawhist::sample_histogram counts{};
  rawhist::run_settings settings;
  if (!rawhist::parse_options(argc, argv, settings) || settings.format == rawhist::RGBP ||
      !rawhist::file_name_fits(settings)) {
    return 1;
  }
  struct stat status = {};
  if (stat(settings.file_name, &status) != 0 || status.st_size == 0) {
    return 1;
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  auto* buffer = static_cast<unsigned char*>(std::malloc(size));
  if (buffer == nullptr) {
    return 1;
  }
  std::FILE* file = std::fopen(settings.file_name, "r");
  if (file == nullptr || std::fread(buffer, size, 1, file) != 1) {
    if (file != nullptr) {
      static_cast<void>(std::fclose(file));
    }
    std::free(buffer);
    return 1;
  }
  static_cast<void>(std::fclose(file));
  rawhist::count_samples_reference(buffer, size, settings.format, counts);
  std::free(buffer);
  static_cast<void>(std::printf("%llu, %llu\n",
                                static_cast<unsigned long long>(sum(counts, settings.range_1)),
                                static_cast<unsigned long long>(sum(counts, settings.range_2))));
  return 0;
}
