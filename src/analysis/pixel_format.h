// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace rawhist {

// A four-character code as the Linux video capture interface defines it: the
// first character sits in the least significant byte. Compared as a whole.
using pixel_format = std::uint32_t;

constexpr pixel_format make_fourcc(char c0, char c1, char c2, char c3) noexcept {
  return static_cast<pixel_format>(static_cast<unsigned char>(c0)) |
         static_cast<pixel_format>(static_cast<unsigned char>(c1)) << 8U |
         static_cast<pixel_format>(static_cast<unsigned char>(c2)) << 16U |
         static_cast<pixel_format>(static_cast<unsigned char>(c3)) << 24U;
}

inline constexpr pixel_format GREY = make_fourcc('G', 'R', 'E', 'Y');  // 8-bit greyscale
inline constexpr pixel_format BA81 = make_fourcc('B', 'A', '8', '1');  // 8-bit Bayer BGGR
inline constexpr pixel_format YUYV = make_fourcc('Y', 'U', 'Y', 'V');  // YUV 4:2:2, Y U Y V
inline constexpr pixel_format YVYU = make_fourcc('Y', 'V', 'Y', 'U');  // YUV 4:2:2, Y V Y U
inline constexpr pixel_format UYVY = make_fourcc('U', 'Y', 'V', 'Y');  // YUV 4:2:2, U Y V Y
inline constexpr pixel_format VYUY = make_fourcc('V', 'Y', 'U', 'Y');  // YUV 4:2:2, V Y U Y
inline constexpr pixel_format RGBP = make_fourcc('R', 'G', 'B', 'P');  // RGB 5:6:5, never counted

// Where a format's brightness samples lie: the bytes at offsets first,
// first + step, first + 2 * step, ... of a frame. Every byte of greyscale
// and Bayer, the luma bytes of YUV 4:2:2; a step of 0 means no samples at
// all (RGBP and unknown codes). This is the one definition of the layouts:
// count_samples hands it to the kernels, and is_sample, and through it the
// reference loop the kernels are tested against, reads it too. So a wrong
// row here moves the kernels and the reference alike: only the tests that
// spell the layouts out themselves (IsSample, the command-line tests) see it.
struct sample_layout {
  unsigned first = 0;
  unsigned step = 0;
};

constexpr sample_layout sample_layout_of(pixel_format format) noexcept {
  switch (format) {
    case GREY:
    case BA81:
      return {0, 1};
    case YUYV:
    case YVYU:
      return {0, 2};
    case UYVY:
    case VYUY:
      return {1, 2};
    default:
      return {};
  }
}

// Whether the byte at `offset` of a frame in `format` is a brightness sample.
// With steps of 1 and 2 only the parity of the offset matters.
constexpr bool is_sample(pixel_format format, std::uint64_t offset) noexcept {
  const sample_layout layout = sample_layout_of(format);
  return layout.step != 0 && offset >= layout.first && (offset - layout.first) % layout.step == 0;
}

}  // namespace rawhist
