#include "analysis/sample_histogram.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

namespace rawhist {
namespace {

sample_histogram g_histogram{};

// Increments are spread over private sub-tables so that a run of equal bytes
// (a clipped or black frame) does not serialise on one counter's
// store-to-load chain. Eight measured best; four halve the speed on constant
// frames. 32-bit sub-counters keep the eight tables (8 KiB) inside L1.
constexpr std::size_t k_sub_tables = 8;
using sub_table_set = std::array<std::array<std::uint32_t, 256>, k_sub_tables>;

// The sub-tables are folded into the 64-bit histogram after every block. A
// sub-counter takes at most one increment per 8 frame bytes, so a block must
// stay below 8 * (2^32 - 1) bytes; 16 MiB keeps far inside that. The block
// length is a multiple of 16 so that each block starts at an even offset and
// the parity of every offset inside it stays the same as in the whole frame.
constexpr std::size_t k_block_bytes = std::size_t{1} << 24U;
static_assert(k_block_bytes % 16 == 0);
static_assert(k_block_bytes / 8 < (std::uint64_t{1} << 32U));

// The byte at p[0] lands in the low 8 bits on every host, whatever its byte
// order, so the shifts below select the same offsets everywhere.
inline std::uint64_t load_le64(const unsigned char* p) noexcept {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

inline std::size_t byte_at(std::uint64_t word, unsigned shift) noexcept {
  return static_cast<std::size_t>((word >> shift) & 0xFFU);
}

void count_every_byte(const unsigned char* p, std::size_t n, sub_table_set& t) noexcept {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const std::uint64_t a = load_le64(p + i);
    const std::uint64_t b = load_le64(p + i + 8);
    ++t[0][byte_at(a, 0)];
    ++t[1][byte_at(a, 8)];
    ++t[2][byte_at(a, 16)];
    ++t[3][byte_at(a, 24)];
    ++t[4][byte_at(a, 32)];
    ++t[5][byte_at(a, 40)];
    ++t[6][byte_at(a, 48)];
    ++t[7][byte_at(a, 56)];
    ++t[0][byte_at(b, 0)];
    ++t[1][byte_at(b, 8)];
    ++t[2][byte_at(b, 16)];
    ++t[3][byte_at(b, 24)];
    ++t[4][byte_at(b, 32)];
    ++t[5][byte_at(b, 40)];
    ++t[6][byte_at(b, 48)];
    ++t[7][byte_at(b, 56)];
  }
  for (; i < n; ++i) {
    ++t[i % k_sub_tables][p[i]];
  }
}

// Counts the bytes at offsets first, first + 2, first + 4, ... of a block
// that starts at an even offset of the frame; `first` is 0 or 1.
void count_alternate_bytes(const unsigned char* p, std::size_t n, unsigned first,
                           sub_table_set& t) noexcept {
  const unsigned shift = first * 8;
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const std::uint64_t a = load_le64(p + i) >> shift;
    const std::uint64_t b = load_le64(p + i + 8) >> shift;
    ++t[0][byte_at(a, 0)];
    ++t[1][byte_at(a, 16)];
    ++t[2][byte_at(a, 32)];
    ++t[3][byte_at(a, 48)];
    ++t[4][byte_at(b, 0)];
    ++t[5][byte_at(b, 16)];
    ++t[6][byte_at(b, 32)];
    ++t[7][byte_at(b, 48)];
  }
  for (i += first; i < n; i += 2) {
    ++t[0][p[i]];
  }
}

void fold_into_histogram(const sub_table_set& t) noexcept {
  for (std::size_t value = 0; value < 256; ++value) {
    std::uint64_t sum = 0;
    for (const auto& table : t) {
      sum += table[value];
    }
    g_histogram[value] += sum;
  }
}

}  // namespace

const sample_histogram& histogram() noexcept { return g_histogram; }

void clear_histogram() noexcept { g_histogram.fill(0); }

void count_samples(const unsigned char* buffer, std::uint64_t length, pixel_format format) noexcept {
  bool every_byte = false;
  unsigned first = 0;
  switch (format) {
    case GREY:
    case BA81:
      every_byte = true;
      break;
    case YUYV:
    case YVYU:
      first = 0;
      break;
    case UYVY:
    case VYUY:
      first = 1;
      break;
    default:
      return;
  }

  sub_table_set tables;
  for (std::uint64_t done = 0; done < length;) {
    const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, k_block_bytes));
    for (auto& table : tables) {
      table.fill(0);
    }
    if (every_byte) {
      count_every_byte(buffer + done, block, tables);
    } else {
      count_alternate_bytes(buffer + done, block, first, tables);
    }
    fold_into_histogram(tables);
    done += block;
  }
}

std::uint64_t sum_range(value_range range) noexcept {
  std::uint64_t sum = 0;
  // An int index, so that a range ending at 255 cannot wrap the loop.
  for (int value = range.low; value <= range.high; ++value) {
    sum += g_histogram[static_cast<std::size_t>(value)];
  }
  return sum;
}

}  // namespace rawhist
