// SPDX-License-Identifier: MIT
//
// The portable kernel: plain C++ for every CPU and byte order, the fallback
// wherever no other kernel runs, and the one every frame below
// k_cpu_question_min_length takes.
#include "analysis/count_kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

namespace rawhist {
namespace {

// Increments are spread over private sub-tables so that a run of equal or
// nearly equal bytes (a clipped or dark area with a little noise) does not
// serialise on one counter's store-to-load chain. Eight measured best (the
// figures are in doc/performance.md); 32-bit sub-counters keep the eight
// tables (8 KiB) inside L1. The 16-byte steps below name tables 0 to 7, so
// the count is fixed, not a setting.
constexpr std::size_t k_sub_tables = 8;
static_assert(k_sub_tables == 8, "count_16_every and count_16_alternate write tables 0 to 7 by name");
using sub_table_set = std::array<std::array<std::uint32_t, 256>, k_sub_tables>;

// The sub-tables are folded into the 64-bit counters after every block. A
// sub-counter gains at most one per frame byte (a uniform stretch adds at
// most its own length to any one table), so a block must stay below 2^32
// bytes; 16 MiB keeps far inside that and costs one fold of 2048 counters
// per 16 MiB. The block length is a multiple of 64 so that each block
// starts at an even offset and the parity of every offset inside it stays
// the same as in the whole frame.
constexpr std::size_t k_block_bytes = std::size_t{1} << 24U;
static_assert(k_block_bytes % 64 == 0);
static_assert(k_block_bytes < (std::uint64_t{1} << 32U));

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

// Bytes 0 to 3 of a 32-bit half: for every-byte counting, splitting the word
// in halves lets the compiler use the cheapest byte extractions (measured
// faster than 64-bit shifts there, and slower for every other byte).
inline std::size_t byte_0(std::uint32_t half) noexcept { return half & 0xFFU; }
inline std::size_t byte_1(std::uint32_t half) noexcept { return (half >> 8U) & 0xFFU; }
inline std::size_t byte_2(std::uint32_t half) noexcept { return (half >> 16U) & 0xFFU; }
inline std::size_t byte_3(std::uint32_t half) noexcept { return half >> 24U; }

inline std::uint32_t low_half(std::uint64_t word) noexcept { return static_cast<std::uint32_t>(word); }
inline std::uint32_t high_half(std::uint64_t word) noexcept {
  return static_cast<std::uint32_t>(word >> 32U);
}

// Bytes 0, 2, 4 and 6 of a little-endian word.
constexpr std::uint64_t k_every_other_byte = 0x0001000100010001U;
constexpr std::uint64_t k_even_lanes = 0xFFU * k_every_other_byte;

// Black or clipped areas repeat one value over long stretches, and a flat
// Bayer field repeats one pair of values; there even eight sub-tables leave
// each increment waiting for the one before it. Such a stretch is counted 64
// bytes at a time instead; on varied content the test costs a few
// instructions and one well-predicted branch per 64 bytes. The luma loop
// loads the words once for both the test and the count; the every-byte loop
// reads them twice (see there).
constexpr std::size_t k_run_bytes = 64;
using word_run = std::array<std::uint64_t, k_run_bytes / 8>;

[[gnu::always_inline]] inline word_run load_run(const unsigned char* p) noexcept {
  word_run words;
  for (std::size_t k = 0; k < words.size(); ++k) {
    words[k] = load_le64(p + 8 * k);
  }
  return words;
}

// The bits in which some word of the stretch differs from the first.
[[gnu::always_inline]] inline std::uint64_t differing_bits(const word_run& words) noexcept {
  std::uint64_t differ = 0;
  for (std::size_t k = 1; k < words.size(); ++k) {
    differ |= words[k] ^ words[0];
  }
  return differ;
}

// Whether bytes 0, 2, 4 and 6 of every word hold one value.
[[gnu::always_inline]] inline bool even_lanes_hold_one_value(const word_run& words) noexcept {
  return (differing_bits(words) & k_even_lanes) == 0 &&
         (words[0] & k_even_lanes) == (words[0] & 0xFFU) * k_every_other_byte;
}

// The 16-byte steps are forced inline: a call per 16 bytes is a measurable
// share of the counting time.
[[gnu::always_inline]] inline void count_16_every(std::uint64_t a, std::uint64_t b,
                                                  sub_table_set& t) noexcept {
  const std::uint32_t a0 = low_half(a);
  const std::uint32_t a1 = high_half(a);
  const std::uint32_t b0 = low_half(b);
  const std::uint32_t b1 = high_half(b);
  ++t[0][byte_0(a0)];
  ++t[1][byte_1(a0)];
  ++t[2][byte_2(a0)];
  ++t[3][byte_3(a0)];
  ++t[4][byte_0(a1)];
  ++t[5][byte_1(a1)];
  ++t[6][byte_2(a1)];
  ++t[7][byte_3(a1)];
  ++t[0][byte_0(b0)];
  ++t[1][byte_1(b0)];
  ++t[2][byte_2(b0)];
  ++t[3][byte_3(b0)];
  ++t[4][byte_0(b1)];
  ++t[5][byte_1(b1)];
  ++t[6][byte_2(b1)];
  ++t[7][byte_3(b1)];
}

// Counts bytes 0, 2, 4 and 6 of each word.
[[gnu::always_inline]] inline void count_16_alternate(std::uint64_t a, std::uint64_t b,
                                                      sub_table_set& t) noexcept {
  ++t[0][byte_at(a, 0)];
  ++t[1][byte_at(a, 16)];
  ++t[2][byte_at(a, 32)];
  ++t[3][byte_at(a, 48)];
  ++t[4][byte_at(b, 0)];
  ++t[5][byte_at(b, 16)];
  ++t[6][byte_at(b, 32)];
  ++t[7][byte_at(b, 48)];
}

// The stretch is read from the frame twice, for the test and for the
// count: stores bound this loop, and keeping the words between the two
// would cost a copy of them on the stack.
void count_every_byte(const unsigned char* p, std::size_t n, sub_table_set& t) noexcept {
  std::size_t i = 0;
  for (; i + k_run_bytes <= n; i += k_run_bytes) {
    const unsigned char* const run = p + i;
    const std::uint64_t first = load_le64(run);
    std::uint64_t differ = 0;
    for (std::size_t k = 8; k < k_run_bytes; k += 8) {
      differ |= load_le64(run + k) ^ first;
    }
    if (differ == 0 && first == (first & 0xFFFFU) * k_every_other_byte) {
      t[0][first & 0xFFU] += k_run_bytes / 2;
      t[1][(first >> 8U) & 0xFFU] += k_run_bytes / 2;
      continue;
    }
    // g++ 12 leaves this loop rolled, a compare and branch per 16 bytes.
#pragma GCC unroll 4
    for (std::size_t k = 0; k < k_run_bytes; k += 16) {
      count_16_every(load_le64(run + k), load_le64(run + k + 8), t);
    }
  }
  for (; i + 16 <= n; i += 16) {
    count_16_every(load_le64(p + i), load_le64(p + i + 8), t);
  }
  for (; i < n; ++i) {
    ++t[i % k_sub_tables][p[i]];
  }
}

// Counts the bytes at offsets first, first + 2, first + 4, ... of a block
// that starts at an even offset of the frame; `first` is 0 or 1. The words
// are loaded from `first` bytes in, so that the selected bytes are always
// bytes 0, 2, 4 and 6 of a word and odd offsets cost exactly what even ones
// do (an unaligned load is as cheap as an aligned one; shifting every word
// into place was not). Every load stays inside the block.
template <unsigned first>
void count_alternate_bytes(const unsigned char* p, std::size_t n, sub_table_set& t) noexcept {
  const unsigned char* const q = p + first;
  const std::size_t m = n - std::min<std::size_t>(n, first);
  std::size_t i = 0;
  for (; i + k_run_bytes <= m; i += k_run_bytes) {
    const word_run words = load_run(q + i);
    if (even_lanes_hold_one_value(words)) {
      t[0][words[0] & 0xFFU] += k_run_bytes / 2;
      continue;
    }
    for (std::size_t k = 0; k < words.size(); k += 2) {
      count_16_alternate(words[k], words[k + 1], t);
    }
  }
  for (; i + 16 <= m; i += 16) {
    count_16_alternate(load_le64(q + i), load_le64(q + i + 8), t);
  }
  for (; i < m; i += 2) {
    ++t[0][q[i]];
  }
}

void fold_into(sample_histogram& counters, const sub_table_set& t) noexcept {
  for (std::size_t value = 0; value < 256; ++value) {
    std::uint64_t sum = 0;
    for (const auto& table : t) {
      sum += table[value];
    }
    counters[value] += sum;
  }
}

}  // namespace

void count_portable(const unsigned char* buffer, std::uint64_t length, sample_layout layout,
                    sample_histogram& counters) noexcept {
  using block_counter = void (*)(const unsigned char*, std::size_t, sub_table_set&) noexcept;
  block_counter count_block = count_every_byte;
  if (layout.step == 2) {
    count_block = layout.first == 0 ? count_alternate_bytes<0> : count_alternate_bytes<1>;
  }

  sub_table_set tables;
  for (std::uint64_t done = 0; done < length;) {
    const auto block = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, k_block_bytes));
    for (auto& table : tables) {
      table.fill(0);
    }
    count_block(buffer + done, block, tables);
    fold_into(counters, tables);
    done += block;
  }
}

}  // namespace rawhist
