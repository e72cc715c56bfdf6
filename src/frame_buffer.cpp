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

constexpr std::size_t k_huge_page = std::size_t{2} << 20U;

// Where a fresh 4 KiB page costs more to fault in than its share of zeroing
// a whole huge page, the mapping wins; on the machine this was measured on
// (a KVM guest, where every first touch also exits to the host) that is from
// about 320 to 400 KiB up, and 1 MiB frames take 1.5 times less time. Below
// it the heap is cheaper: one huge page is zeroed however little is read.
constexpr std::size_t k_mapping_threshold = std::size_t{384} << 10U;

frame_buffer map_huge_page_buffer(std::size_t size) noexcept {
  if (size > SIZE_MAX - 2 * k_huge_page) {
    return frame_buffer();
  }
  // Whole huge pages, so that the tail of the frame is not left on small ones.
  const std::size_t length = (size + k_huge_page - 1) / k_huge_page * k_huge_page;
  // Over-reserve by one huge page to find a 2 MiB boundary inside, then give
  // back the slack on either side.
  const std::size_t reserved = length + k_huge_page;
  void* mapping = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    return frame_buffer();
  }
  auto* const start = static_cast<unsigned char*>(mapping);
  const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(start) % k_huge_page;
  const std::size_t head = misalignment == 0 ? 0 : k_huge_page - misalignment;
  const std::size_t tail = reserved - head - length;
  unsigned char* const aligned = start + head;
  // Giving back part of a mapping of our own cannot fail in a way that
  // matters: at worst the slack stays mapped until the process ends.
  if (head != 0) {
    static_cast<void>(munmap(start, head));
  }
  if (tail != 0) {
    static_cast<void>(munmap(aligned + length, tail));
  }
  // Only advice: without huge pages the mapping still works, page by page,
  // and a C library too old to name the advice simply does not give it.
#ifdef MADV_HUGEPAGE
  static_cast<void>(madvise(aligned, length, MADV_HUGEPAGE));
#endif
  forbid_access(aligned + size, length - size);
  return frame_buffer(aligned, frame_buffer_release{length});
}

}  // namespace

void frame_buffer_release::operator()(unsigned char* bytes) const noexcept {
  if (mapped_bytes != 0) {
    allow_access(bytes, mapped_bytes);
    static_cast<void>(munmap(bytes, mapped_bytes));
  } else {
    std::free(bytes);
  }
}

frame_buffer allocate_frame_buffer(std::size_t size) noexcept {
  // No object may be larger than a pointer difference can span; malloc
  // refuses such sizes too. On 32-bit targets this is any frame over 2 GiB.
  if (size > static_cast<std::size_t>(PTRDIFF_MAX)) {
    return frame_buffer();
  }
  if (size >= k_mapping_threshold) {
    return map_huge_page_buffer(size);
  }
  return frame_buffer(static_cast<unsigned char*>(std::malloc(size)));
}

}  // namespace rawhist
