// SPDX-License-Identifier: MIT
#include "options.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "value_range_arg.h"

namespace rawhist {
namespace {

struct format_word {
  const char* word;
  pixel_format format;
};

// GREY has no word: it is reachable only as the default.
constexpr format_word k_format_words[] = {
    {"bayer", BA81}, {"yuyv", YUYV}, {"yvyu", YVYU}, {"uyvy", UYVY}, {"vyuy", VYUY}, {"rgb", RGBP},
};

void apply_format_word(const char* word, pixel_format& format) noexcept {
  for (const auto& entry : k_format_words) {
    if (std::strcmp(word, entry.word) == 0) {
      format = entry.format;
      return;
    }
  }
}

// Bounded at the buffer: a name of 4096 bytes or more is left without its
// NUL, so the driver can tell and never uses it cut short.
void copy_file_name(const char* name, char (&file_name)[k_file_name_capacity]) noexcept {
  const std::size_t length = strnlen(name, sizeof file_name);
  std::memcpy(file_name, name, length);
  if (length < sizeof file_name) {
    file_name[length] = '\0';
  }
}

// The usage line names its arguments in German on purpose: it is the text
// the tool has always printed, and scripts and users may match it. The
// other messages are English. A diagnostic that cannot be written has
// nowhere else to go.
void write_usage(const char* program) {
  static_cast<void>(std::fprintf(
      stderr, "Usage: %s [-n \"Dateiname.raw\"] [-w Wertebereich_1] [-x Wertebereich_2] [-f Farbformat]\n",
      program));
}

}  // namespace

bool parse_options(int argc, char* argv[], run_settings& settings) {
  // 0 rather than 1 makes getopt drop every trace of an earlier scan.
  optind = 0;
  int letter = 0;
  while ((letter = getopt(argc, argv, "n:w:x:f:")) != -1) {
    switch (letter) {
      case 'n':
        copy_file_name(optarg, settings.file_name);
        break;
      case 'w':
        parse_value_range(optarg, settings.range_1);
        break;
      case 'x':
        parse_value_range(optarg, settings.range_2);
        break;
      case 'f':
        apply_format_word(optarg, settings.format);
        break;
      default:
        write_usage(argv[0]);
        return false;
    }
  }
  return true;
}

}  // namespace rawhist
