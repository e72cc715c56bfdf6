// SPDX-License-Identifier: MIT
#include "value_range_arg.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace rawhist {
namespace {

// strtoull rather than strtoul: unsigned long is only 32 bits on some Linux
// targets, and the wrap to 8 bits must start from the 64-bit value there too.
std::uint8_t low_byte_of_number(const char* text) noexcept {
  return static_cast<std::uint8_t>(std::strtoull(text, nullptr, 10) & 0xFFU);
}

}  // namespace

void parse_value_range(const char* text, value_range& range) noexcept {
  const char* comma = std::strchr(text, ',');
  if (comma == nullptr) {
    return;
  }
  // The conversion of the low side stops at the comma, which is no digit.
  range.low = low_byte_of_number(text);
  range.high = low_byte_of_number(comma + 1);
}

}  // namespace rawhist
