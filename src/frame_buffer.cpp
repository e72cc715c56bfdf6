// SPDX-License-Identifier: MIT
#include "frame_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "address_sanitizer.h"
#if RAWHIST_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace rawhist {
namespace {

// Under AddressSanitizer, the rounding slack of a mapping is made
// unaddressable, so that a read past the frame is reported as it would be
// for a heap buffer of exactly the frame's size. Elsewhere these do nothing.
#if RAWHIST_ADDRESS_SANITIZER
void forbid_access(const unsigned char* bytes, std::size_t count) noexcept {
  __asan_poison_memory_region(bytes, count);
}
void allow_access(const unsigned char* bytes, std::size_t count) noexcept {
  __asan_unpoison_memory_region(bytes, count);
}
#else
void forbid_access(const unsigned char* /*bytes*/, std::size_t /*count*/) noexcept {}
void allow_access(const unsigned char* /*bytes*/, std::size_t /*count*/) noexcept {}
#endif

}  // namespace

void frame_buffer_release::operator()(unsigned char* bytes) const noexcept {
  if (mapped_bytes != 0) {
    allow_access(bytes, mapped_bytes);
    static_cast<void>(munmap(bytes, mapped_bytes));
  } else {
    std::free(bytes);
  }
}

frame_buffer place_huge_page_buffer(unsigned char* start, std::size_t size) noexcept {
  const std::size_t length = huge_page_length(size);
  const std::size_t head = huge_page_head(reinterpret_cast<std::uintptr_t>(start));
  // Never empty: the reservation holds one huge page more than the buffer,
  // and the head is less than one.
  const std::size_t tail = huge_page_reservation(size) - head - length;
  unsigned char* const aligned = start + head;
  // Giving back part of a mapping of our own cannot fail in a way that
  // matters: at worst the slack stays mapped until the process ends.
  if (head != 0) {
    static_cast<void>(munmap(start, head));
  }
  static_cast<void>(munmap(aligned + length, tail));
  // Only advice: without huge pages the mapping still works, page by page,
  // and a C library too old to name the advice simply does not give it.
#ifdef MADV_HUGEPAGE
  static_cast<void>(madvise(aligned, length, MADV_HUGEPAGE));
#endif
  forbid_access(aligned + size, length - size);
  return frame_buffer(aligned, frame_buffer_release{length});
}

frame_buffer map_huge_page_buffer(std::size_t size) noexcept {
  if (size > k_huge_page_max_size) {
    return frame_buffer();
  }
  void* mapping =
      mmap(nullptr, huge_page_reservation(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    return frame_buffer();
  }
  return place_huge_page_buffer(static_cast<unsigned char*>(mapping), size);
}

frame_buffer allocate_frame_buffer(std::size_t size) noexcept {
  // No object may be larger than a pointer difference can span; malloc
  // refuses such sizes too. On 32-bit targets this is any frame over 2 GiB.
  if (size > static_cast<std::size_t>(PTRDIFF_MAX)) {
    return frame_buffer();
  }
  if (size >= k_mapping_threshold) {
    if (frame_buffer mapped = map_huge_page_buffer(size)) {
      return mapped;
    }
  }
  return frame_buffer(static_cast<unsigned char*>(std::malloc(size)));
}

}  // namespace rawhist
