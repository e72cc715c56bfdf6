#include "frame_buffer.h"

#include <cstdlib>

namespace rawhist {

void frame_buffer_release::operator()(unsigned char* bytes) const noexcept { std::free(bytes); }

frame_buffer allocate_frame_buffer(std::size_t size) noexcept {
  return frame_buffer(static_cast<unsigned char*>(std::malloc(size)));
}

}  // namespace rawhist
