// SPDX-License-Identifier: MIT
//
// Counting by positional popcount, for x86-64 CPUs with AVX-512 (F, BW, VL,
// VBMI, VBMI2, BITALG) and GFNI. Every function that uses those carries a
// target attribute, so the program as a whole stays baseline x86-64; the run
// chooses this kernel only after asking the CPU (avx512_count_supported).
//
// Each 64 bytes are split by their top two bits into four bins with
// vpcompressb. Within a bin only the low six bits vary, so each byte becomes
// a one-hot 64-bit word (1 << value), eight bytes to a vector; sixteen such
// vectors at a time go through a carry-save adder tree into bit-sliced
// counters (a ones, twos, fours and eights plane, each bit position one
// value's count in one lane), and what overflows the eights plane, the
// sixteens, is counted per value at once: gather each value's bits of the
// eight lanes into one byte (vpermb), turn that byte inside out so the bits
// of a value sit in one byte (gf2p8affineqb with the bit-transposing
// matrix) and count them (vpopcntb).
#include "analysis/bitsliced_count_avx512.h"

#if defined(__x86_64__)
// g++ 12's intrinsic headers start some results from a deliberately
// undefined vector and then warn that it may be used uninitialised (fixed in
// later releases); nothing of ours is concerned.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#endif

namespace rawhist {

#if !defined(__x86_64__)

bool avx512_count_supported() noexcept { return false; }

#else

bool avx512_count_supported() noexcept {
  // The libgcc check also asks the kernel whether it saves the AVX-512
  // registers (XCR0), so a CPU that has them under a kernel that does not
  // is refused too.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512bitalg") &&
         __builtin_cpu_supports("gfni") && __builtin_cpu_supports("popcnt");
}

// Everything below runs only after that check.
#define RAWHIST_AVX512 \
  [[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,avx512bitalg,gfni,popcnt")]]
#define RAWHIST_AVX512_INLINE RAWHIST_AVX512 [[gnu::always_inline]] inline

namespace {

// Sixteen one-hot vectors of eight bytes each make one step of the adder
// tree, and each step adds at most 8 (one per lane) to a value's byte
// counter of the sixteens. A bin is drained into the 64-bit histogram at
// the end of every block, so those byte counters never see more than one
// block's steps: 31 steps add at most 248 and cannot overflow. A block is
// therefore 31 steps of 128 bytes, whatever the frame's length, and all of
// a block may land in one bin (a frame of one dark value).
constexpr std::size_t k_step_bytes = 128;
constexpr std::size_t k_steps_per_block = 31;
static_assert(k_steps_per_block * 8 <= 255);
constexpr std::size_t k_block_bytes = k_steps_per_block * k_step_bytes;
constexpr std::size_t k_vector_bytes = 64;
constexpr std::size_t k_block_vectors = k_block_bytes / k_vector_bytes;

// A bin holds a whole block and then room for what runs past its end: a
// compress store writes a whole vector, the padding up to a whole step is
// written as three vectors, and the last one-hot loads start up to 7 bytes
// before the padded end. Every byte a drain reads has been written in the
// same block.
constexpr std::size_t k_bins = 4;
constexpr std::size_t k_bin_capacity = k_block_bytes + 3 * k_vector_bytes;
static_assert(k_bin_capacity % k_vector_bytes == 0);

struct bin_set {
  alignas(64) std::array<std::array<unsigned char, k_bin_capacity>, k_bins> bytes;
  std::array<unsigned char*, k_bins> end;
};

// vpermb index that puts byte j of every 64-bit lane l at byte 8 * j + l:
// afterwards lane j holds the bits of values 8 * j .. 8 * j + 7 from all
// eight lanes.
constexpr std::array<unsigned char, 64> make_gather_index() {
  std::array<unsigned char, 64> index{};
  for (std::size_t j = 0; j < 8; ++j) {
    for (std::size_t l = 0; l < 8; ++l) {
      index[8 * j + l] = static_cast<unsigned char>(8 * l + j);
    }
  }
  return index;
}
alignas(64) constexpr std::array<unsigned char, 64> k_gather_index = make_gather_index();

// vpermt2b index of the bytes at even offsets of two vectors.
constexpr std::array<unsigned char, 64> make_even_index() {
  std::array<unsigned char, 64> index{};
  for (std::size_t i = 0; i < index.size(); ++i) {
    index[i] = static_cast<unsigned char>(2 * i);
  }
  return index;
}
alignas(64) constexpr std::array<unsigned char, 64> k_even_index = make_even_index();

// As the matrix operand of gf2p8affineqb, a lane with byte i = 1 << i makes
// result byte i hold bit i of each of the eight bytes of the other operand.
constexpr long long k_bit_transpose = 0x8040201008040201LL;

RAWHIST_AVX512_INLINE __m512i load(const unsigned char* p) noexcept { return _mm512_loadu_si512(p); }

// For each of the 64 values of a bin, in byte `value` of the result: in how
// many of the eight lanes its bit of `plane` is set (0..8).
RAWHIST_AVX512_INLINE __m512i count_per_value(__m512i plane) noexcept {
  const __m512i gathered = _mm512_permutexvar_epi8(load(k_gather_index.data()), plane);
  const __m512i bits_by_value = _mm512_gf2p8affine_epi64_epi8(_mm512_set1_epi64(k_bit_transpose), gathered, 0);
  return _mm512_popcnt_epi8(bits_by_value);
}

// One full adder per bit position: sum and carry of three planes.
RAWHIST_AVX512_INLINE void add3(__m512i& carry, __m512i& sum, __m512i a, __m512i b) noexcept {
  const __m512i c = sum;
  sum = _mm512_ternarylogic_epi64(a, b, c, 0x96);
  carry = _mm512_ternarylogic_epi64(a, b, c, 0xE8);
}

// The byte at p is taken as the rotate count of the 64-bit lane it starts,
// and vprolvq takes that count modulo 64: eight one-hot words straight from
// an unaligned load of p, p + 8, ..., p + 56.
RAWHIST_AVX512_INLINE __m512i one_hot(const unsigned char* p) noexcept {
  return _mm512_rolv_epi64(_mm512_set1_epi64(1), load(p));
}

struct planes {
  __m512i ones;
  __m512i twos;
  __m512i fours;
  __m512i eights;
  __m512i sixteens_per_value;  // bytes, see k_steps_per_block
};

// Adds 128 bytes of a bin: offsets 0..7 and 64..71 start the sixteen loads.
RAWHIST_AVX512_INLINE void add_step(const unsigned char* p, planes& s) noexcept {
  __m512i twos_a;
  __m512i twos_b;
  __m512i fours_a;
  __m512i fours_b;
  __m512i eights_a;
  __m512i eights_b;
  __m512i sixteens;
  add3(twos_a, s.ones, one_hot(p + 0), one_hot(p + 1));
  add3(twos_b, s.ones, one_hot(p + 2), one_hot(p + 3));
  add3(fours_a, s.twos, twos_a, twos_b);
  add3(twos_a, s.ones, one_hot(p + 4), one_hot(p + 5));
  add3(twos_b, s.ones, one_hot(p + 6), one_hot(p + 7));
  add3(fours_b, s.twos, twos_a, twos_b);
  add3(eights_a, s.fours, fours_a, fours_b);
  add3(twos_a, s.ones, one_hot(p + 64), one_hot(p + 65));
  add3(twos_b, s.ones, one_hot(p + 66), one_hot(p + 67));
  add3(fours_a, s.twos, twos_a, twos_b);
  add3(twos_a, s.ones, one_hot(p + 68), one_hot(p + 69));
  add3(twos_b, s.ones, one_hot(p + 70), one_hot(p + 71));
  add3(fours_b, s.twos, twos_a, twos_b);
  add3(eights_b, s.fours, fours_a, fours_b);
  add3(sixteens, s.eights, eights_a, eights_b);
  s.sixteens_per_value = _mm512_add_epi8(s.sixteens_per_value, count_per_value(sixteens));
}

RAWHIST_AVX512_INLINE void add_to_counters(std::uint64_t* counters, __m512i values) noexcept {
  _mm512_storeu_si512(counters, _mm512_add_epi64(_mm512_loadu_si512(counters), values));
}

// Adds 32 16-bit values to 32 64-bit counters.
RAWHIST_AVX512_INLINE void add_words(std::uint64_t* counters, __m512i words) noexcept {
  add_to_counters(counters + 0, _mm512_cvtepu16_epi64(_mm512_castsi512_si128(words)));
  add_to_counters(counters + 8, _mm512_cvtepu16_epi64(_mm512_extracti32x4_epi32(words, 1)));
  add_to_counters(counters + 16, _mm512_cvtepu16_epi64(_mm512_extracti32x4_epi32(words, 2)));
  add_to_counters(counters + 24, _mm512_cvtepu16_epi64(_mm512_extracti32x4_epi32(words, 3)));
}

// Counts the bin whose values have `top` as their two high bits into the 64
// counters of those values. The bin is padded with the value top << 6 up to
// a whole step, and the padding is taken off that value's counter again.
RAWHIST_AVX512 void drain_bin(unsigned char* begin, unsigned char* end, unsigned top,
                              std::uint64_t* counters) noexcept {
  const auto length = static_cast<std::size_t>(end - begin);
  if (length == 0) {
    return;
  }
  const std::size_t steps = (length + k_step_bytes - 1) / k_step_bytes;
  const __m512i pad = _mm512_set1_epi8(static_cast<char>(top << 6U));
  _mm512_storeu_si512(end, pad);
  _mm512_storeu_si512(end + k_vector_bytes, pad);
  _mm512_storeu_si512(end + 2 * k_vector_bytes, pad);

  const __m512i zero = _mm512_setzero_si512();
  planes s{zero, zero, zero, zero, zero};
  for (std::size_t step = 0; step < steps; ++step) {
    add_step(begin + step * k_step_bytes, s);
  }
  // The four planes weigh 1, 2, 4 and 8; each per-value count is at most 8,
  // so the weighted sum is at most 120 and fits a byte. A shift of 16-bit
  // words by up to 3 moves no bit across a byte of at most 8.
  __m512i rest = count_per_value(s.ones);
  rest = _mm512_add_epi8(rest, _mm512_slli_epi16(count_per_value(s.twos), 1));
  rest = _mm512_add_epi8(rest, _mm512_slli_epi16(count_per_value(s.fours), 2));
  rest = _mm512_add_epi8(rest, _mm512_slli_epi16(count_per_value(s.eights), 3));
  // 16 * 248 + 120 fits 16 bits.
  const __m512i sixteens = s.sixteens_per_value;
  const __m512i low = _mm512_add_epi16(_mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(sixteens)), 4),
                                       _mm512_cvtepu8_epi16(_mm512_castsi512_si256(rest)));
  const __m512i high =
      _mm512_add_epi16(_mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(sixteens, 1)), 4),
                       _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(rest, 1)));
  add_words(counters, low);
  add_words(counters + 32, high);
  counters[0] -= steps * k_step_bytes - length;
}

RAWHIST_AVX512 void drain_bins(bin_set& bins, std::uint64_t* counters) noexcept {
  for (unsigned top = 0; top < k_bins; ++top) {
    drain_bin(bins.bytes[top].data(), bins.end[top], top, counters + 64 * top);
  }
}

RAWHIST_AVX512_INLINE void start_block(bin_set& bins) noexcept {
  for (std::size_t bin = 0; bin < k_bins; ++bin) {
    bins.end[bin] = bins.bytes[bin].data();
  }
}

// Appends the bytes of `v` to the bins of their two high bits. The zeroing
// compress does not wait on the register's old value.
RAWHIST_AVX512_INLINE void bin_vector(__m512i v, bin_set& bins) noexcept {
  const __mmask64 bit_7 = _mm512_movepi8_mask(v);
  const __mmask64 bit_6 = _mm512_movepi8_mask(_mm512_add_epi8(v, v));
  const std::array<__mmask64, k_bins> masks = {~(bit_7 | bit_6), bit_6 & ~bit_7, bit_7 & ~bit_6, bit_7 & bit_6};
  for (std::size_t bin = 0; bin < k_bins; ++bin) {
    _mm512_storeu_si512(bins.end[bin], _mm512_maskz_compress_epi8(masks[bin], v));
    bins.end[bin] += std::popcount(masks[bin]);
  }
}

RAWHIST_AVX512_INLINE unsigned byte_0(__m512i v) noexcept {
  return static_cast<unsigned>(_mm_cvtsi128_si32(_mm512_castsi512_si128(v))) & 0xFFU;
}
RAWHIST_AVX512_INLINE unsigned byte_1(__m512i v) noexcept {
  return (static_cast<unsigned>(_mm_cvtsi128_si32(_mm512_castsi512_si128(v))) >> 8U) & 0xFFU;
}

// Every byte of `vectors` times 64 bytes from p.
RAWHIST_AVX512 void bin_every_byte(const unsigned char* p, std::size_t vectors, bin_set& bins,
                                   std::uint64_t* counters) noexcept {
  for (std::size_t k = 0; k < vectors; ++k) {
    const __m512i v = load(p + k * k_vector_bytes);
    // A clipped or black area, or a flat Bayer field: one pair of values
    // over and over, counted at once.
    const __m512i pair = _mm512_broadcastw_epi16(_mm512_castsi512_si128(v));
    if (_mm512_cmpneq_epi8_mask(v, pair) == 0) {
      counters[byte_0(v)] += k_vector_bytes / 2;
      counters[byte_1(v)] += k_vector_bytes / 2;
      continue;
    }
    bin_vector(v, bins);
  }
}

// The bytes at even offsets of `vectors` times 128 bytes from p, reduced to
// one vector of 64 before binning.
RAWHIST_AVX512 void bin_even_bytes(const unsigned char* p, std::size_t vectors, bin_set& bins,
                                   std::uint64_t* counters) noexcept {
  const __m512i even = load(k_even_index.data());
  for (std::size_t k = 0; k < vectors; ++k) {
    const unsigned char* const at = p + 2 * k * k_vector_bytes;
    const __m512i v = _mm512_permutex2var_epi8(load(at), even, load(at + k_vector_bytes));
    const __m512i first = _mm512_broadcastb_epi8(_mm512_castsi512_si128(v));
    if (_mm512_cmpneq_epi8_mask(v, first) == 0) {
      counters[byte_0(v)] += k_vector_bytes;
      continue;
    }
    bin_vector(v, bins);
  }
}

RAWHIST_AVX512 void count_every_byte(const unsigned char* p, std::size_t n, std::uint64_t* counters) noexcept {
  bin_set bins;
  const std::size_t vectors = n / k_vector_bytes;
  for (std::size_t done = 0; done < vectors;) {
    const std::size_t block = std::min(vectors - done, k_block_vectors);
    start_block(bins);
    bin_every_byte(p + done * k_vector_bytes, block, bins, counters);
    drain_bins(bins, counters);
    done += block;
  }
  for (std::size_t i = vectors * k_vector_bytes; i < n; ++i) {
    ++counters[p[i]];
  }
}

RAWHIST_AVX512 void count_even_bytes(const unsigned char* p, std::size_t n, std::uint64_t* counters) noexcept {
  bin_set bins;
  const std::size_t vectors = n / (2 * k_vector_bytes);
  for (std::size_t done = 0; done < vectors;) {
    const std::size_t block = std::min(vectors - done, k_block_vectors);
    start_block(bins);
    bin_even_bytes(p + 2 * done * k_vector_bytes, block, bins, counters);
    drain_bins(bins, counters);
    done += block;
  }
  for (std::size_t i = 2 * vectors * k_vector_bytes; i < n; i += 2) {
    ++counters[p[i]];
  }
}

}  // namespace

void count_avx512(const unsigned char* buffer, std::uint64_t length, unsigned first, unsigned step,
                  sample_histogram& counts) noexcept {
  const auto n = static_cast<std::size_t>(length);
  if (step == 1) {
    count_every_byte(buffer, n, counts.data());
  } else {
    // Loading from the first luma byte on puts luma at the even offsets.
    const std::size_t skip = std::min<std::size_t>(n, first);
    count_even_bytes(buffer + skip, n - skip, counts.data());
  }
}

#endif

}  // namespace rawhist
