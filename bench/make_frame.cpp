// SPDX-License-Identifier: MIT
// Writes a synthetic frame for the whole-process comparison:
//   rawhist_make_frame KIND FORMAT BYTES FILE
// KIND is "pattern" (colour bars over a luma ramp, as a test chart gives),
// "noisy" (the same with sensor-like noise of +-3 on every byte, clipping
// kept at 0 and 255) or "random" (uniform bytes, the kernel's worst case).
// FORMAT is "grey" or "uyvy". The content is the same on every run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
  if (argc != 5) {
    static_cast<void>(std::fprintf(stderr, "usage: %s pattern|noisy|random grey|uyvy BYTES FILE\n", argv[0]));
    return 2;
  }
  const std::string kind = argv[1];
  const bool uyvy = std::strcmp(argv[2], "uyvy") == 0;
  const std::size_t size = std::strtoull(argv[3], nullptr, 10);
  std::vector<unsigned char> frame(size);
  std::mt19937_64 random(2026);

  // Rows of 3840 pixels: 16-bit per pixel for UYVY, 8-bit for grey.
  const std::size_t width = 3840;
  const std::size_t row_bytes = uyvy ? width * 2 : width;
  const std::size_t rows = (size + row_bytes - 1) / row_bytes;
  static const unsigned char bar_luma[] = {255, 210, 170, 145, 106, 81, 41, 0};
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t row = i / row_bytes;
    const std::size_t column = i % row_bytes;
    const std::size_t x = uyvy ? column / 2 : column;
    unsigned char value = 128;  // chroma
    if (!uyvy || column % 2 == 1) {
      value =
          row < rows * 2 / 3 ? bar_luma[x * 8 / width] : static_cast<unsigned char>(x * 255 / (width - 1));
    }
    if (kind == "random") {
      value = static_cast<unsigned char>(random());
    } else if (kind == "noisy" && value != 0 && value != 255) {
      const int noisy = value + static_cast<int>(random() % 7) - 3;
      value = static_cast<unsigned char>(noisy < 0 ? 0 : noisy > 255 ? 255 : noisy);
    }
    frame[i] = value;
  }
  std::FILE* out = std::fopen(argv[4], "wb");
  if (out == nullptr || std::fwrite(frame.data(), 1, frame.size(), out) != frame.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[4]);
    return 1;
  }
  return 0;
}
