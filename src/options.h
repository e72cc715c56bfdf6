// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstring>

#include "analysis/pixel_format.h"
#include "analysis/sample_histogram.h"

namespace rawhist {

inline constexpr std::size_t k_file_name_capacity = 4096;

// Everything one run is told. A default-constructed record holds the defaults.
struct run_settings {
  // Names of up to 4095 bytes are held whole. A longer one fills the buffer
  // with no terminating NUL, which marks it as too long to look up.
  char file_name[k_file_name_capacity] = "image.raw";
  pixel_format format = GREY;
  value_range range_1{0, 30};
  value_range range_2{215, 255};
};

// Whether the file name was held whole. Every use of the name asks this
// first: a name cut short could name another file.
inline bool file_name_fits(const run_settings& settings) noexcept {
  return std::memchr(settings.file_name, '\0', sizeof settings.file_name) != nullptr;
}

// Reads the options -n, -w, -x and -f with getopt into `settings`; each
// occurrence acts at once, so the last one that takes effect wins. A range
// without a comma and an unknown format word change nothing. On an unknown
// option letter or a missing argument, getopt's own diagnostic and then the
// usage line go to standard error and the result is false; options read
// before that stay applied. Writes nothing else. May be called more than once.
bool parse_options(int argc, char* argv[], run_settings& settings);

}  // namespace rawhist
