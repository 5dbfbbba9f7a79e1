// Fuzz target: the BMP image reader on arbitrary bytes must fail cleanly or return an image
// whose buffer holds width x height pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
  return 0;
}
