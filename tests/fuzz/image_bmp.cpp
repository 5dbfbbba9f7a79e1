// Fuzz target: the BMP image reader on arbitrary bytes must fail cleanly or return an image
// whose buffer holds width x height pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"

namespace {
void ReadOnce(const uint8_t* data, size_t size);
}

// Short runs rarely build a whole header by chance, so each input is also tried behind a
// well-formed 24-bit header whose size fields come from the input's first bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadOnce(data, size);
  if (size < 6) return 0;
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  put32(10, 54u + data[5]);                                    // pixel data offset
  put32(14, 40);                                               // information header size
  put32(18, uint32_t(int16_t(data[0] | (data[1] << 8))));      // width
  put32(22, uint32_t(int16_t(data[2] | (data[3] << 8))));      // height, negative: top down
  header[26] = 1;
  header[28] = (data[4] & 1) ? 24 : data[4];                   // bits per pixel
  std::vector<uint8_t> file(header, header + sizeof header);
  file.insert(file.end(), data + 6, data + size);
  ReadOnce(file.data(), file.size());
  return 0;
}

namespace {
void ReadOnce(const uint8_t* data, size_t size) {
  uint32_t width = 0, height = 0, format = 0;
  uint8_t* palette = nullptr;
  uint8_t* pixels = VQimage_ReadMemory(data, size, VQIMAGE_BMP, &width, &height, &format, &palette);
  if (pixels) {
    // Touch the whole buffer and palette so that a short allocation shows up.
    const size_t bytes = size_t(width) * height * VQPixelFormat_BytesPerPixel(format);
    volatile uint8_t sum = 0;
    for (size_t i = 0; i < bytes; i += 61) sum = uint8_t(sum + pixels[i]);
    if (bytes) sum = uint8_t(sum + pixels[bytes - 1]);
    if (palette) sum = uint8_t(sum + palette[1023]);
    (void)sum;
  }
  std::free(pixels);
  std::free(palette);
}
}  // namespace
