// SPDX-License-Identifier: MIT
// Argument vectors made from the input (words separated by NUL bytes, the
// first being the program name) through the tool's own option reader: it
// must never crash, and must leave the settings consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/pixel_format.h"
#include "options.h"

namespace {

// One of the seven codes: the refused one, or one with samples.
bool is_known_format(rawhist::pixel_format format) {
  return format == rawhist::RGBP || rawhist::sample_layout_of(format).step != 0;
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

  rawhist::run_settings settings;
  const bool ok = rawhist::parse_options(static_cast<int>(words.size()), argv.data(), settings);

  if (!is_known_format(settings.format)) {
    std::abort();
  }
  // The name is either held whole with its terminator, or (when it did not
  // fit) fills the buffer without one; never anything in between.
  const void* nul = std::memchr(settings.file_name, '\0', sizeof settings.file_name);
  if (nul != nullptr && std::strcmp(settings.file_name, "image.raw") != 0) {
    bool from_an_argument = false;
    for (const auto& word : words) {
      if (word.size() >= std::strlen(settings.file_name) &&
          word.compare(word.size() - std::strlen(settings.file_name), std::string::npos,
                       settings.file_name) == 0) {
        from_an_argument = true;
      }
    }
    if (!from_an_argument) {
      std::abort();
    }
  }
  static_cast<void>(ok);
  return 0;
}
