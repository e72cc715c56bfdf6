// SPDX-License-Identifier: MIT
// Argument vectors made from the input (words separated by NUL bytes, the
// first being the program name) through the tool's own option reader: it
// must never crash, and must leave the settings consistent with the words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/pixel_format.h"
#include "options.h"

namespace {

// The format words and their codes as the command line documents them,
// spelt out here rather than taken from the option reader's table.
struct documented_word {
  const char* word;
  rawhist::pixel_format format;
};
constexpr documented_word k_documented[] = {
    {"bayer", rawhist::make_fourcc('B', 'A', '8', '1')}, {"yuyv", rawhist::make_fourcc('Y', 'U', 'Y', 'V')},
    {"yvyu", rawhist::make_fourcc('Y', 'V', 'Y', 'U')},  {"uyvy", rawhist::make_fourcc('U', 'Y', 'V', 'Y')},
    {"vyuy", rawhist::make_fourcc('V', 'Y', 'U', 'Y')},  {"rgb", rawhist::make_fourcc('R', 'G', 'B', 'P')},
};

bool ends_with(const std::string& word, const char* end) {
  const std::size_t n = std::strlen(end);
  return word.size() >= n && word.compare(word.size() - n, n, end) == 0;
}

// The format is the default greyscale, or that of a documented word that
// some argument ends with (as "-f WORD" or "-fWORD" give it).
bool is_possible_format(rawhist::pixel_format format, const std::vector<std::string>& words) {
  if (format == rawhist::make_fourcc('G', 'R', 'E', 'Y')) {
    return true;
  }
  for (const auto& entry : k_documented) {
    if (entry.format == format) {
      for (const auto& word : words) {
        if (ends_with(word, entry.word)) {
          return true;
        }
      }
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words(1, "rawhist");
  words.emplace_back();
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.emplace_back();
    } else {
      words.back().push_back(static_cast<char>(data[i]));
    }
  }
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  // Whether the words parse is for the option tests to check; here what
  // matters is what any words, parsed or refused, leave in the settings.
  rawhist::run_settings settings;
  static_cast<void>(rawhist::parse_options(static_cast<int>(words.size()), argv.data(), settings));

  if (!is_possible_format(settings.format, words)) {
    std::abort();
  }
  // The name is either held whole with its terminator, or (when it did not
  // fit) fills the buffer without one; never anything in between.
  const void* nul = std::memchr(settings.file_name, '\0', sizeof settings.file_name);
  if (nul != nullptr && std::strcmp(settings.file_name, "image.raw") != 0) {
    bool from_an_argument = false;
    for (const auto& word : words) {
      if (ends_with(word, settings.file_name)) {
        from_an_argument = true;
      }
    }
    if (!from_an_argument) {
      std::abort();
    }
  }
  return 0;
}
