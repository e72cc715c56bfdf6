// SPDX-License-Identifier: MIT
// Any byte string as a range argument, against a reading of the digits of
// its own: blanks, a sign, decimal digits up to the first other byte, a
// value that saturates past 64 bits and is negated (modulo 2^64) by a minus,
// then its low 8 bits; text without a comma changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "value_range_arg.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::uint8_t low_byte_of_decimal(const char* text) {
  while (is_blank(*text)) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') {
    ++text;
  }
  unsigned __int128 value = 0;
  bool saturated = false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + static_cast<unsigned>(*text - '0');
    if (value > UINT64_MAX) {
      saturated = true;
      value = UINT64_MAX;
    }
  }
  if (saturated) {
    return 0xFF;
  }
  const auto magnitude = static_cast<std::uint64_t>(value);
  return static_cast<std::uint8_t>(negative ? 0 - magnitude : magnitude);
}

}  // namespace

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
  if (range.low != low_byte_of_decimal(argument) || range.high != low_byte_of_decimal(comma + 1)) {
    std::abort();
  }
  return 0;
}
