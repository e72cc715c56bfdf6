#pragma once

#include <cstddef>
#include <memory>

namespace rawhist {

// Gives the memory of a frame buffer back the way it was obtained.
struct frame_buffer_release {
  void operator()(unsigned char* bytes) const noexcept;
};

using frame_buffer = std::unique_ptr<unsigned char[], frame_buffer_release>;

// One buffer of exactly `size` bytes, or an empty pointer when the memory
// cannot be had. `size` must not be 0.
frame_buffer allocate_frame_buffer(std::size_t size) noexcept;

}  // namespace rawhist
