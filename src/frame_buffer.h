// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>

namespace rawhist {

// Gives the memory of a frame buffer back the way it was obtained: a mapping
// of `mapped_bytes`, or the heap when that is 0.
struct frame_buffer_release {
  std::size_t mapped_bytes = 0;
  void operator()(unsigned char* bytes) const noexcept;
};

using frame_buffer = std::unique_ptr<unsigned char[], frame_buffer_release>;

// One buffer of at least `size` bytes, or an empty pointer when the memory
// cannot be had. `size` must not be 0.
//
// A whole frame is written once by the read and then read once by the count,
// so beyond the smallest frames the cost is dominated by the kernel handing
// out fresh pages. Frames of 384 KiB and more get a mapping aligned to 2 MiB
// and marked for transparent huge pages, which takes one fault per 2 MiB
// instead of one per 4 KiB; where huge pages are unavailable it is an
// ordinary mapping, faulted page by page as the heap would be.
frame_buffer allocate_frame_buffer(std::size_t size) noexcept;

}  // namespace rawhist
