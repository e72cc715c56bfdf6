// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
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
// out fresh pages. Frames of k_mapping_threshold bytes and more get a
// huge-page buffer (below), which takes one fault per 2 MiB instead of one
// per 4 KiB; where huge pages are unavailable it is an ordinary mapping,
// faulted page by page as the heap would be. Where that mapping cannot be
// had (it needs up to 4 MiB more address space than the frame), the frame
// goes on the heap with exactly its size, so a frame fails only where an
// allocation of its own size would.
frame_buffer allocate_frame_buffer(std::size_t size) noexcept;

// Where a fresh 4 KiB page costs more to fault in than its share of zeroing
// a whole huge page, the mapping wins; below this the heap is cheaper, since
// one huge page is zeroed however little of it is read. (Where the two cross
// on the machines measured is in doc/performance.md.)
inline constexpr std::size_t k_mapping_threshold = std::size_t{384} << 10U;

// A huge-page buffer: whole 2 MiB pages starting at a 2 MiB boundary, marked
// for transparent huge pages, with the bytes past the frame unaddressable
// under AddressSanitizer. The arithmetic lives here once, for the mapping
// code and its tests.
inline constexpr std::size_t k_huge_page = std::size_t{2} << 20U;

// The largest size whose reservation below does not overflow: its whole
// huge pages and one more reach up to the last huge page boundary below
// SIZE_MAX.
inline constexpr std::size_t k_huge_page_max_size = SIZE_MAX - 2 * k_huge_page + 1;

// The whole huge pages that hold `size` bytes, so that the tail of the frame
// is not left on small pages; `size` at most k_huge_page_max_size.
constexpr std::size_t huge_page_length(std::size_t size) noexcept {
  return (size + k_huge_page - 1) / k_huge_page * k_huge_page;
}
static_assert(huge_page_length(1) == k_huge_page && huge_page_length(k_huge_page) == k_huge_page &&
              huge_page_length(k_huge_page + 1) == 2 * k_huge_page);

// What to reserve so that huge_page_length(size) bytes from a 2 MiB boundary
// lie inside, wherever the reservation starts: one huge page more.
constexpr std::size_t huge_page_reservation(std::size_t size) noexcept {
  return huge_page_length(size) + k_huge_page;
}
// The largest size's reservation still holds it; one byte more would wrap.
static_assert(huge_page_reservation(k_huge_page_max_size) > k_huge_page_max_size &&
              huge_page_reservation(k_huge_page_max_size + 1) < k_huge_page_max_size + 1);

// How far past `address` the next 2 MiB boundary (or `address` itself) is.
constexpr std::size_t huge_page_head(std::uintptr_t address) noexcept {
  const std::size_t misalignment = address % k_huge_page;
  return misalignment == 0 ? 0 : k_huge_page - misalignment;
}

// A huge-page buffer of `size` bytes from a fresh anonymous mapping, or an
// empty pointer when the mapping cannot be had.
frame_buffer map_huge_page_buffer(std::size_t size) noexcept;

// The buffer inside a reservation of huge_page_reservation(size) bytes that
// the caller mapped at `start` and hands over: the slack before the first
// 2 MiB boundary and after the buffer is unmapped. Where the mapping starts
// is up to the kernel, so this takes any start the caller can produce.
frame_buffer place_huge_page_buffer(unsigned char* start, std::size_t size) noexcept;

}  // namespace rawhist
