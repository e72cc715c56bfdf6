// SPDX-License-Identifier: MIT
// Reads a whole file into one buffer obtained in one of several ways, then
// touches every page of it, for the whole-process comparison of buffer
// strategies (bench/compare_whole_process.py --read-strategies):
//   rawhist_read_strategy malloc|huge|populate|huge-populate FILE
// malloc: the heap; huge: a 2 MiB-aligned mapping with MADV_HUGEPAGE (what
// rawhist does); populate: a mapping with MAP_POPULATE; huge-populate: the
// huge-page mapping pre-faulted with MADV_POPULATE_WRITE (Linux 5.14).
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame_buffer.h"

namespace {

constexpr int k_madv_populate_write = 23;  // not in every libc's headers yet

volatile unsigned g_sum = 0;

// The tool's own huge-page buffer, kept for the rest of this short process.
unsigned char* huge_mapping(std::size_t size) { return rawhist::map_huge_page_buffer(size).release(); }

unsigned char* buffer_for(const std::string& strategy, std::size_t size) {
  if (strategy == "malloc") {
    return static_cast<unsigned char*>(std::malloc(size));
  }
  if (strategy == "huge") {
    return huge_mapping(size);
  }
  if (strategy == "populate") {
    void* mapping =
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return mapping == MAP_FAILED ? nullptr : static_cast<unsigned char*>(mapping);
  }
  if (strategy == "huge-populate") {
    unsigned char* buffer = huge_mapping(size);
    if (buffer != nullptr) {
      static_cast<void>(madvise(buffer, size, k_madv_populate_write));
    }
    return buffer;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
  struct stat status = {};
  if (argc != 3 || stat(argv[2], &status) != 0 || status.st_size == 0) {
    return 2;
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  unsigned char* buffer = buffer_for(argv[1], size);
  std::FILE* file = std::fopen(argv[2], "r");
  if (buffer == nullptr || file == nullptr || std::fread(buffer, size, 1, file) != 1) {
    return 1;
  }
  static_cast<void>(std::fclose(file));
  unsigned sum = 0;
  for (std::size_t i = 0; i < size; i += 4096) {
    sum += buffer[i];
  }
  // A volatile store the compiler must make, so that it cannot drop the
  // loop whose result it would otherwise never use.
  g_sum = sum;
  return 0;
}
