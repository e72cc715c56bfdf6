// SPDX-License-Identifier: MIT
#pragma once

// The AVX-512 intrinsics and types as the counting kernel uses them,
// in portable C++ on any CPU: SIMDe's implementations under the Intel names,
// and those of the kernel's intrinsics that SIMDe lacks (Debian 12 has
// SIMDe 0.7.4) written out here from Intel's definitions, a loop over the
// lanes each. Where SIMDe has an intrinsic (a newer release), its own is
// used and ours is not defined. For the tests' build of the kernel only.

// Clang 19's <emmintrin.h> names a vector of bfloat16 __m128bh, as SIMDe's
// native aliases do with a type of its own: the compiler's is included
// first and SIMDe's renamed (the kernel uses neither).
#include <emmintrin.h>
#define __m128bh rawhist_simde_m128bh  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/avx512.h>
#include <simde/x86/gfni.h>
#undef __m128bh

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rawhist::emulation {

template <typename T, std::size_t n, typename V>
void to_lanes(const V& v, T (&lanes)[n]) {
  static_assert(sizeof lanes == sizeof v);
  std::memcpy(lanes, &v, sizeof v);
}

template <typename V, typename T, std::size_t n>
V from_lanes(const T (&lanes)[n]) {
  static_assert(sizeof lanes == sizeof(V));
  V v;
  std::memcpy(&v, lanes, sizeof v);
  return v;
}

// The bytes of `a` whose bit of `k` is set, packed towards byte 0; the
// rest zero.
inline simde__m512i maskz_compress_epi8(simde__mmask64 k, simde__m512i a) {
  // Without a branch per byte: the kernel's masks are as random as the
  // frame, and mispredicting half of them cost about a fifth of the time of
  // the emulated kernel's tests (measured without sanitizers).
  // Every byte is written at the next free place and kept only if selected,
  // so only that place can end up holding a byte that was not.
  std::uint8_t in[64];
  std::uint8_t out[64] = {};
  to_lanes(a, in);
  std::size_t packed = 0;
  for (std::size_t i = 0; i < 64; ++i) {
    out[packed] = in[i];
    packed += (k >> i) & 1U;
  }
  if (packed < 64) {
    out[packed] = 0;
  }
  return from_lanes<simde__m512i>(out);
}

// Bit i set where byte i of `a` and of `b` differ.
inline simde__mmask64 cmpneq_epi8_mask(simde__m512i a, simde__m512i b) {
  std::uint8_t x[64];
  std::uint8_t y[64];
  to_lanes(a, x);
  to_lanes(b, y);
  simde__mmask64 mask = 0;
  for (std::size_t i = 0; i < 64; ++i) {
    mask |= static_cast<simde__mmask64>(x[i] != y[i]) << i;
  }
  return mask;
}

// The `n` lanes of type From in `a`, zero-extended to lanes of type To.
template <typename From, typename To, std::size_t n, typename V>
simde__m512i zero_extend(V a) {
  From in[n];
  To out[n];
  to_lanes(a, in);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = in[i];
  }
  return from_lanes<simde__m512i>(out);
}

inline simde__m512i cvtepu16_epi64(simde__m128i a) { return zero_extend<std::uint16_t, std::uint64_t, 8>(a); }
inline simde__m512i cvtepu8_epi16(simde__m256i a) { return zero_extend<std::uint8_t, std::uint16_t, 32>(a); }

}  // namespace rawhist::emulation

// The Intel names, which the kernel calls, are reserved for the compiler's
// own headers; here they stand in for those.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#if !defined(_mm512_maskz_compress_epi8)
#define _mm512_maskz_compress_epi8(k, a) rawhist::emulation::maskz_compress_epi8(k, a)
#endif
#if !defined(_mm512_cmpneq_epi8_mask)
#define _mm512_cmpneq_epi8_mask(a, b) rawhist::emulation::cmpneq_epi8_mask(a, b)
#endif
#if !defined(_mm512_cvtepu16_epi64)
#define _mm512_cvtepu16_epi64(a) rawhist::emulation::cvtepu16_epi64(a)
#endif
#if !defined(_mm512_cvtepu8_epi16)
#define _mm512_cvtepu8_epi16(a) rawhist::emulation::cvtepu8_epi16(a)
#endif
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
