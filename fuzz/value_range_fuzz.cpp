// SPDX-License-Identifier: MIT
// Any byte string as a range argument: both bounds must be what strtoull and
// the wrap to 8 bits give, and text without a comma must change nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "value_range_arg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An argument is a C string: it ends at the first NUL.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* argument = text.c_str();

  const rawhist::value_range before{0xA5, 0x5A};
  rawhist::value_range range = before;
  rawhist::parse_value_range(argument, range);

  const char* comma = std::strchr(argument, ',');
  if (comma == nullptr) {
    if (range.low != before.low || range.high != before.high) {
      std::abort();
    }
    return 0;
  }
  const auto low = static_cast<std::uint8_t>(std::strtoull(argument, nullptr, 10));
  const auto high = static_cast<std::uint8_t>(std::strtoull(comma + 1, nullptr, 10));
  if (range.low != low || range.high != high) {
    std::abort();
  }
  return 0;
}
