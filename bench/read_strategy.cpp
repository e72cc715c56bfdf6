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

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t k_huge_page = std::size_t{2} << 20U;
constexpr int k_madv_populate_write = 23;  // not in every libc's headers yet

unsigned char* huge_mapping(std::size_t size) {
  const std::size_t length = (size + k_huge_page - 1) / k_huge_page * k_huge_page;
  void* mapping =
      mmap(nullptr, length + k_huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    return nullptr;
  }
  auto* start = static_cast<unsigned char*>(mapping);
  const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(start) % k_huge_page;
  unsigned char* aligned = start + (misalignment == 0 ? 0 : k_huge_page - misalignment);
  static_cast<void>(madvise(aligned, length, MADV_HUGEPAGE));
  return aligned;
}

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
  return static_cast<int>(sum & 0U);
}
