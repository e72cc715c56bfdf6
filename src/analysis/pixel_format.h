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

// Whether the byte at `offset` of a frame in `format` is a brightness sample:
// every byte of greyscale and Bayer, the luma bytes of YUV 4:2:2. Only the
// parity of the offset matters. RGBP and unknown codes have no samples.
constexpr bool is_sample(pixel_format format, std::uint64_t offset) noexcept {
  switch (format) {
    case GREY:
    case BA81:
      return true;
    case YUYV:
    case YVYU:
      return offset % 2 == 0;
    case UYVY:
    case VYUY:
      return offset % 2 == 1;
    default:
      return false;
  }
}

}  // namespace rawhist
