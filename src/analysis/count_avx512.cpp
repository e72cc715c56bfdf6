// SPDX-License-Identifier: MIT
//
// Counting by positional popcount, for x86-64 CPUs with AVX-512 and GFNI
// (RAWHIST_AVX512_FEATURES). Every function that uses those carries a
// target attribute, so the program as a whole stays baseline x86-64; the run
// chooses this kernel only after asking the CPU (avx512_supported). Built
// for x86-64 targets only.
//
// The frame is counted in blocks of 64 vectors of 64 samples, in four steps:
//  1. Binning: each vector's bytes go by their top two bits into four bins
//     (vpcompressb), so every byte of a bin is one of 64 values.
//  2. One-hot words: each byte of a bin becomes the 64-bit word 1 << its low
//     six bits (vprolvq); eight bytes make one vector of eight lanes.
//  3. Bit planes: sixteen such vectors, 128 bytes of a bin, make one adder
//     step. A carry-save tree (vpternlogq) adds them into four bit-sliced
//     planes that weigh 1, 2, 4 and 8: bit v of lane l of a plane is that
//     binary digit of how often the bin's value v was seen in lane l. A
//     step adds 16 to each lane; what carries out of the eights plane
//     weighs 16.
//  4. Sixteens: each step's carry out is counted per value at once (vpermb
//     gathers a value's bits of the eight lanes, gf2p8affineqb transposes
//     them into one byte, vpopcntb counts them) into a byte per value: at
//     most 8 per step, so those bytes are widened into the histogram after
//     every 31 steps of their bin (248 at most).
// At the end what is left in each bin is padded to a whole step, and the
// planes are weighed and added to the histogram. Vectors that repeat one
// pair of values (black, clipped or flat areas) skip all four steps and are
// counted in runs (flat_run).
#include "analysis/count_kernels.h"

// The tests build this file a second time with RAWHIST_AVX512_EMULATED, on
// portable versions of the intrinsics, so that the kernel's logic is tested
// on every x86-64 machine, AVX-512 or not. That build defines its functions
// in rawhist::emulated, has no target attributes, and never ships.
#if defined(RAWHIST_AVX512_EMULATED)
#include "avx512_emulation.h"
#define RAWHIST_AVX512
#else
#include <immintrin.h>
// Everything that uses the instructions runs only after avx512_supported().
#define RAWHIST_AVX512 [[gnu::target(RAWHIST_AVX512_FEATURES)]]
#endif
#include <cpuid.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

#if defined(RAWHIST_AVX512_EMULATED)
namespace rawhist::emulated {
#else
namespace rawhist {
#endif

// Asked of the CPU directly, with four instructions, and only for frames
// large enough to gain (k_cpu_question_min_length and up): in a virtual
// machine every cpuid exits to the host, and __builtin_cpu_supports would
// link libgcc's feature probe, which runs a dozen of them in a constructor
// of every run, small frames included (what each costs is in
// doc/performance.md).
bool avx512_supported() noexcept {
  if (__get_cpuid_max(0, nullptr) < 7) {
    return false;
  }
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  __cpuid(1, eax, ebx, ecx, edx);
  if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_POPCNT) == 0) {
    return false;
  }
  // The operating system must save the mask registers and all 32 vector
  // registers at full width (XCR0 bits 1, 2, 5, 6 and 7), or the CPU's features are of no
  // use to a program.
  unsigned xcr0 = 0;
  unsigned xcr0_high = 0;
  asm("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
  constexpr unsigned k_zmm_state = 0xE6;
  if ((xcr0 & k_zmm_state) != k_zmm_state) {
    return false;
  }
  // The features of RAWHIST_AVX512_FEATURES beyond POPCNT, bit by bit.
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  constexpr unsigned k_needed_ebx = bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
  constexpr unsigned k_needed_ecx = bit_AVX512VBMI | bit_AVX512VBMI2 | bit_GFNI | bit_AVX512BITALG;
  return (ebx & k_needed_ebx) == k_needed_ebx && (ecx & k_needed_ecx) == k_needed_ecx;
}

#define RAWHIST_AVX512_INLINE RAWHIST_AVX512 [[gnu::always_inline]] inline

namespace {

constexpr std::size_t k_vector_bytes = 64;

// Sixteen one-hot vectors of eight bytes each make one step of the adder
// tree: 128 bytes of a bin.
constexpr std::size_t k_step_bytes = 128;

// Each step adds at most 8 (one per lane) to a value's byte of sixteens, so
// those are widened into the 64-bit histogram after every 31 steps of their
// bin (at most 248), however long the frame: no count narrower than 64 bits
// can overflow, whatever the content or length.
constexpr std::size_t k_steps_per_flush = 31;
static_assert(k_steps_per_flush * 8 <= 255);

// Frame vectors binned before the bins are drained: the block and the four
// bins stay in the first-level cache.
constexpr std::size_t k_block_vectors = 64;

// A bin holds what is left of its last step (under 128 bytes), then a whole
// block, then room for what runs past the end: a compress store writes a
// whole vector, the carried remainder is moved as two, the final padding is
// written as three, and the one-hot loads of a step read up to 7 bytes past
// its end. Only the first byte of each 8-byte lane a load reads is counted,
// and those always lie inside the step.
constexpr std::size_t k_bins = 4;
constexpr std::size_t k_bin_capacity = k_block_vectors * k_vector_bytes + 4 * k_step_bytes;

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
constexpr std::uint64_t k_bit_transpose = 0x8040201008040201U;

RAWHIST_AVX512_INLINE __m512i load(const unsigned char* p) noexcept { return _mm512_loadu_si512(p); }

// For each of the 64 values of a bin, in byte `value` of the result: in how
// many of the eight lanes its bit of `plane` is set (0..8).
RAWHIST_AVX512_INLINE __m512i count_per_value(__m512i plane) noexcept {
  const __m512i gathered = _mm512_permutexvar_epi8(load(k_gather_index.data()), plane);
  const __m512i bits_by_value =
      _mm512_gf2p8affine_epi64_epi8(_mm512_set1_epi64(static_cast<long long>(k_bit_transpose)), gathered, 0);
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

// What one bin has seen so far: the bit planes of weight 1 to 8 per value
// and lane, and in byte v the number of sixteens value v gained since the
// last flush.
struct bin_tally {
  __m512i ones;
  __m512i twos;
  __m512i fours;
  __m512i eights;
  __m512i sixteens_by_value;
  std::size_t steps_since_flush;
};

// Adds the eight one-hot vectors loaded from p .. p + 7 into the ones, twos
// and fours planes; returns what they carry into the eights.
RAWHIST_AVX512_INLINE __m512i add_eight(const unsigned char* p, bin_tally& s) noexcept {
  __m512i twos_a;
  __m512i twos_b;
  __m512i fours_a;
  __m512i fours_b;
  __m512i eights;
  add3(twos_a, s.ones, one_hot(p + 0), one_hot(p + 1));
  add3(twos_b, s.ones, one_hot(p + 2), one_hot(p + 3));
  add3(fours_a, s.twos, twos_a, twos_b);
  add3(twos_a, s.ones, one_hot(p + 4), one_hot(p + 5));
  add3(twos_b, s.ones, one_hot(p + 6), one_hot(p + 7));
  add3(fours_b, s.twos, twos_a, twos_b);
  add3(eights, s.fours, fours_a, fours_b);
  return eights;
}

// Adds 128 bytes of a bin: offsets 0..7 and 64..71 start the sixteen loads.
RAWHIST_AVX512_INLINE void add_step(const unsigned char* p, bin_tally& s) noexcept {
  const __m512i eights_a = add_eight(p, s);
  const __m512i eights_b = add_eight(p + 64, s);
  __m512i carry_16;
  add3(carry_16, s.eights, eights_a, eights_b);
  s.sixteens_by_value = _mm512_add_epi8(s.sixteens_by_value, count_per_value(carry_16));
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

// 16 * sixteens + below_16 for 32 values, as 16-bit words, from the bytes
// of either half of two per-value vectors; 16 * 255 + 255 fits 16 bits.
RAWHIST_AVX512_INLINE __m512i weigh(__m256i sixteens, __m256i below_16) noexcept {
  return _mm512_add_epi16(_mm512_slli_epi16(_mm512_cvtepu8_epi16(sixteens), 4),
                          _mm512_cvtepu8_epi16(below_16));
}

// Adds 16 * sixteens + below_16 (both per value, in bytes) to the 64
// counters of a bin.
RAWHIST_AVX512_INLINE void add_bytes(std::uint64_t* counters, __m512i sixteens, __m512i below_16) noexcept {
  add_words(counters, weigh(_mm512_castsi512_si256(sixteens), _mm512_castsi512_si256(below_16)));
  add_words(counters + 32,
            weigh(_mm512_extracti64x4_epi64(sixteens, 1), _mm512_extracti64x4_epi64(below_16, 1)));
}

// Adds `steps` whole steps from p to a bin's tally.
RAWHIST_AVX512 void drain_steps(const unsigned char* p, std::size_t steps, bin_tally& tally,
                                std::uint64_t* counters) noexcept {
  // A copy in registers: the stores to the counters might otherwise be taken
  // to change the vectors behind `tally`.
  bin_tally s = tally;
  while (steps != 0) {
    const std::size_t run = std::min(steps, k_steps_per_flush - s.steps_since_flush);
    for (std::size_t step = 0; step < run; ++step) {
      add_step(p, s);
      p += k_step_bytes;
    }
    steps -= run;
    s.steps_since_flush += run;
    if (s.steps_since_flush == k_steps_per_flush) {
      add_bytes(counters, s.sixteens_by_value, _mm512_setzero_si512());
      s.sixteens_by_value = _mm512_setzero_si512();
      s.steps_since_flush = 0;
    }
  }
  tally = s;
}

// Counts the whole steps of each bin and moves what is left (under one
// step) to the bin's start, for the next block to complete.
RAWHIST_AVX512 void drain_whole_steps(bin_set& bins, std::array<bin_tally, k_bins>& tallies,
                                      std::uint64_t* counters) noexcept {
  for (std::size_t bin = 0; bin < k_bins; ++bin) {
    unsigned char* const begin = bins.bytes[bin].data();
    const auto length = static_cast<std::size_t>(bins.end[bin] - begin);
    const std::size_t steps = length / k_step_bytes;
    if (steps == 0) {
      continue;
    }
    drain_steps(begin, steps, tallies[bin], counters + 64 * bin);
    const unsigned char* const rest = begin + steps * k_step_bytes;
    const __m512i rest_0 = load(rest);
    const __m512i rest_1 = load(rest + k_vector_bytes);
    _mm512_storeu_si512(begin, rest_0);
    _mm512_storeu_si512(begin + k_vector_bytes, rest_1);
    bins.end[bin] = begin + (length - steps * k_step_bytes);
  }
}

// Counts what is left in each bin, padded to a whole step with the bin's
// lowest value (which is then taken off that value's counter again), and
// adds every bin's tally to the histogram.
RAWHIST_AVX512 void drain_rest(bin_set& bins, std::array<bin_tally, k_bins>& tallies,
                               std::uint64_t* counters) noexcept {
  for (std::size_t bin = 0; bin < k_bins; ++bin) {
    unsigned char* const begin = bins.bytes[bin].data();
    const auto length = static_cast<std::size_t>(bins.end[bin] - begin);
    std::uint64_t* const bin_counters = counters + 64 * bin;
    if (length != 0) {
      const __m512i pad = _mm512_set1_epi8(static_cast<char>(bin << 6U));
      for (std::size_t k = 0; k < 3; ++k) {
        _mm512_storeu_si512(bins.end[bin] + k * k_vector_bytes, pad);
      }
      drain_steps(begin, 1, tallies[bin], bin_counters);
      bin_counters[0] -= k_step_bytes - length;
    }
    // The four planes weigh 1, 2, 4 and 8; each per-value count is at most
    // 8, so their weighted sum is at most 120 and fits a byte. A shift of
    // 16-bit words by up to 3 moves no bit across bytes of at most 8.
    const bin_tally& s = tallies[bin];
    __m512i below_16 = count_per_value(s.ones);
    below_16 = _mm512_add_epi8(below_16, _mm512_slli_epi16(count_per_value(s.twos), 1));
    below_16 = _mm512_add_epi8(below_16, _mm512_slli_epi16(count_per_value(s.fours), 2));
    below_16 = _mm512_add_epi8(below_16, _mm512_slli_epi16(count_per_value(s.eights), 3));
    add_bytes(bin_counters, s.sixteens_by_value, below_16);
  }
}

// Appends the bytes of `v` to the bins of their two high bits. The zeroing
// compress does not wait on the register's old value.
RAWHIST_AVX512_INLINE void bin_vector(__m512i v, std::array<unsigned char*, k_bins>& end) noexcept {
  const std::uint64_t bit_7 = _mm512_movepi8_mask(v);
  const std::uint64_t bit_6 = _mm512_movepi8_mask(_mm512_add_epi8(v, v));
  const std::array<std::uint64_t, k_bins> masks = {~(bit_7 | bit_6), bit_6 & ~bit_7, bit_7 & ~bit_6,
                                                   bit_7 & bit_6};
  for (std::size_t bin = 0; bin < k_bins; ++bin) {
    _mm512_storeu_si512(end[bin], _mm512_maskz_compress_epi8(masks[bin], v));
    end[bin] += std::popcount(masks[bin]);
  }
}

// Vectors that repeat one pair of values (a black or clipped area, a flat
// Bayer field, flat luma) are counted without binning, a run of equal ones
// at a time.
struct flat_run {
  unsigned pair = 0;  // first value in bits 0..7, second in 8..15
  std::uint64_t vectors = 0;
};

RAWHIST_AVX512_INLINE void end_run(const flat_run& run, std::uint64_t* counters) noexcept {
  counters[run.pair & 0xFFU] += run.vectors * (k_vector_bytes / 2);
  counters[run.pair >> 8U] += run.vectors * (k_vector_bytes / 2);
}

// Whether `v` repeats its first two bytes throughout.
RAWHIST_AVX512_INLINE bool is_flat(__m512i v) noexcept {
  return _mm512_cmpneq_epi8_mask(v, _mm512_broadcastw_epi16(_mm512_castsi512_si128(v))) == 0;
}

// The first two bytes of `v`, as flat_run::pair holds them.
RAWHIST_AVX512_INLINE unsigned first_pair(__m512i v) noexcept {
  return static_cast<unsigned>(_mm_cvtsi128_si32(_mm512_castsi512_si128(v))) & 0xFFFFU;
}

// Vector k of the samples from p: 64 bytes, or the 64 bytes at even offsets
// of 128.
template <bool even_only>
RAWHIST_AVX512_INLINE __m512i samples(const unsigned char* p, std::size_t k) noexcept {
  if constexpr (even_only) {
    const unsigned char* const at = p + 2 * k * k_vector_bytes;
    return _mm512_permutex2var_epi8(load(at), load(k_even_index.data()), load(at + k_vector_bytes));
  } else {
    return load(p + k * k_vector_bytes);
  }
}

// Looking for flat vectors costs a compare per vector, which random content
// does not repay: a block is searched only when one of four vectors spread
// over it is flat.
template <bool even_only>
RAWHIST_AVX512_INLINE bool worth_looking_for_flat(const unsigned char* p, std::size_t vectors) noexcept {
  return is_flat(samples<even_only>(p, 0)) || is_flat(samples<even_only>(p, vectors / 4)) ||
         is_flat(samples<even_only>(p, vectors / 2)) || is_flat(samples<even_only>(p, vectors / 4 * 3));
}

template <bool even_only, bool look_for_flat>
RAWHIST_AVX512 void bin_block(const unsigned char* p, std::size_t vectors, bin_set& bins, flat_run& run,
                              std::uint64_t* counters) noexcept {
  // Copies in registers: the stores into the bins might otherwise be taken
  // to change them.
  std::array<unsigned char*, k_bins> end = bins.end;
  flat_run r = run;
  for (std::size_t k = 0; k < vectors; ++k) {
    const __m512i v = samples<even_only>(p, k);
    if constexpr (look_for_flat) {
      if (is_flat(v)) {
        const unsigned pair = first_pair(v);
        if (pair != r.pair) {
          end_run(r, counters);
          r = flat_run{pair, 0};
        }
        ++r.vectors;
        continue;
      }
    }
    bin_vector(v, end);
  }
  bins.end = end;
  run = r;
}

// Counts `vectors` vectors of samples from p (see samples()).
template <bool even_only>
RAWHIST_AVX512 void count_vectors(const unsigned char* p, std::size_t vectors,
                                  std::uint64_t* counters) noexcept {
  bin_set bins;
  for (std::size_t bin = 0; bin < k_bins; ++bin) {
    bins.end[bin] = bins.bytes[bin].data();
  }
  const __m512i zero = _mm512_setzero_si512();
  std::array<bin_tally, k_bins> tallies;
  tallies.fill(bin_tally{zero, zero, zero, zero, zero, 0});
  flat_run run;
  constexpr std::size_t k_frame_bytes_per_vector = even_only ? 2 * k_vector_bytes : k_vector_bytes;
  for (std::size_t done = 0; done < vectors;) {
    const std::size_t block = std::min(vectors - done, k_block_vectors);
    const unsigned char* const at = p + done * k_frame_bytes_per_vector;
    if (worth_looking_for_flat<even_only>(at, block)) {
      bin_block<even_only, true>(at, block, bins, run, counters);
    } else {
      bin_block<even_only, false>(at, block, bins, run, counters);
    }
    drain_whole_steps(bins, tallies, counters);
    done += block;
  }
  end_run(run, counters);
  drain_rest(bins, tallies, counters);
}

}  // namespace

void count_avx512(const unsigned char* buffer, std::uint64_t length, sample_layout layout,
                  sample_histogram& counters) noexcept {
  const auto n = static_cast<std::size_t>(length);
  if (layout.step == 1) {
    const std::size_t vectors = n / k_vector_bytes;
    count_vectors<false>(buffer, vectors, counters.data());
    for (std::size_t i = vectors * k_vector_bytes; i < n; ++i) {
      ++counters[buffer[i]];
    }
    return;
  }
  // Loading from the first luma byte on puts luma at the even offsets.
  const std::size_t skip = std::min<std::size_t>(n, layout.first);
  const unsigned char* const p = buffer + skip;
  const std::size_t m = n - skip;
  const std::size_t vectors = m / (2 * k_vector_bytes);
  count_vectors<true>(p, vectors, counters.data());
  for (std::size_t i = 2 * vectors * k_vector_bytes; i < m; i += 2) {
    ++counters[p[i]];
  }
}

}  // namespace rawhist
