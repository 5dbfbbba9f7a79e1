// Fuzz target: bitmap font images and text through the font reader, the measure and the
// layout. The input gives a small image (width and height from the first two bytes, then one
// byte a pixel choosing between two colours so that markers and glyph runs are common), a
// rectangle and a text. Nothing may read or write past the glyph tables, and the layout must
// end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"

namespace {

class NullCanvas : public VQCanvas {
 public:
  NullCanvas() { Create(2, 640, 480, 32); }
  ~NullCanvas() override { Destroy(); }
  bool RecreateSurfaces() override { return true; }
  void BlitImageRects(const VQImageRef*, uint32_t n, const int32_t*, const int32_t*, const int32_t*,
                      const int32_t*, const int32_t*, const int32_t*) override {
    if (n > VQFONT_BATCH) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const uint32_t width = 1 + data[0] % 64, height = 1 + data[1] % 32;
  const int32_t rectW = int8_t(data[2]) * 4, rectH = data[3] * 2;
  const uint32_t first = data[4] % 8, align = data[5] % 4;
  data += 6;
  size -= 6;
  const size_t pixels = size_t(width) * height;
  if (size < pixels) return 0;
  VQSoftwarePixmap pixmap;
  auto* px = static_cast<uint8_t*>(pixmap.Allocate(width, height, VQPF_RGBA8888, nullptr));
  if (!px) return 0;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t v = data[i] & 1 ? 255 : 10;
    px[i * 4] = v;
    px[i * 4 + 1] = 0;
    px[i * 4 + 2] = v;
    px[i * 4 + 3] = 255;
  }
  const std::string text(reinterpret_cast<const char*>(data + pixels), size - pixels);
  VQImageRef image;
  image.m_pixmap = &pixmap;
  VQFont font;
  if (!font.BuildGlyphs(&image)) return 0;
  if (font.m_glyphCount > VQFONT_MAX_GLYPHS) __builtin_trap();
  int32_t w = 0, h = 0;
  font.MeasureText(text.c_str(), &w, &h);
  NullCanvas canvas;
  const int32_t pos[2] = {0, 0}, rect[2] = {rectW, rectH};
  font.DrawInRect(&canvas, text.c_str(), pos, rect, first, align);
  font.DrawToCanvas(&canvas, 0, 0, text.c_str());
  image.m_pixmap = nullptr;
  return 0;
}
