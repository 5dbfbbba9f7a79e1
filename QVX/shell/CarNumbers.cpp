#include "QVX/shell/CarNumbers.h"

#include <algorithm>
#include <cstdio>

#include "QVX/shell/Content.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"

namespace {

// The first character of each style's run of ten digit glyphs.
constexpr char kStyleFirst[CAR_NUMBER_STYLES] = {' ', '*', '4', '>'};
constexpr int32_t kSkinSize = 256;

// The image's pixels for blending glyphs into: 3 or 4 bytes a pixel, blue first.
struct Target {
  uint8_t* pixels = nullptr;
  uint32_t pitch = 0, bytes = 0;
  int32_t width = 0, height = 0;
};

// Blends the glyph of character c with its lower-left corner at (x, y).
void DrawGlyph(const Target& t, const VQFont& font, uint8_t c, int32_t x, int32_t y) {
  if (!font.HasGlyph(c) || !font.m_image) return;
  const uint32_t g = c - VQFONT_FIRST_CODE;
  const int32_t w = int32_t(font.m_glyphWidth[g]), h = int32_t(font.m_glyphHeight);
  float rgba[4];
  for (int32_t j = 0; j < h; ++j) {
    const int32_t ty = y + j;
    if (ty < 0 || ty >= t.height) continue;
    for (int32_t i = 0; i < w; ++i) {
      const int32_t tx = x + i;
      if (tx < 0 || tx >= t.width) continue;
      font.m_image->GetPixel(rgba, font.m_glyphX[g] + uint32_t(i), font.m_glyphY[g] + uint32_t(j));
      const float a = std::clamp(rgba[3], 0.0f, 1.0f);
      if (a <= 0.0f) continue;
      uint8_t* p = t.pixels + (size_t(ty) * t.pitch + size_t(tx)) * t.bytes;
      for (int k = 0; k < 3; ++k) {
        const float glyph = std::clamp(rgba[2 - k], 0.0f, 1.0f) * 255.0f;
        p[k] = uint8_t(float(p[k]) * (1.0f - a) + glyph * a + 0.5f);
      }
      if (t.bytes == 4) p[3] = std::max(p[3], uint8_t(a * 255.0f + 0.5f));
    }
  }
}

// Height a digit takes in a stack: the font's size entry of the digit's value (0 beyond the
// glyphs it has), at least the glyph height: fonts whose stacked runs hold upright digits,
// as the sample fonts do, would otherwise draw the digits over each other.
int32_t StackSize(const VQFont& font, int digit) {
  if (uint32_t(digit) >= font.m_glyphCount) return 0;
  return std::max(int32_t(font.m_glyphWidth[digit]), int32_t(font.m_glyphHeight));
}

void PaintPlace(const Target& t, const VQFont& font, const char* digits,
                const CarNumberPlace& place) {
  const char first = kStyleFirst[place.style % CAR_NUMBER_STYLES];
  char text[4] = {};
  int n = 0;
  for (; digits[n]; ++n) text[n] = char(first + (digits[n] - '0'));
  const int32_t charSpacing = int32_t(font.m_charSpacing),
                lineSpacing = int32_t(font.m_lineSpacing);
  const int32_t height = int32_t(font.m_glyphHeight);
  if (place.style == 0 || place.style == 2) {
    int32_t width = 0;
    for (int i = 0; i < n; ++i) width += font.GlyphWidth(uint8_t(text[i])) + charSpacing;
    int32_t x = place.x - width / 2;
    const int32_t y = place.y - height / 2;
    for (int i = 0; i < n; ++i) {
      DrawGlyph(t, font, uint8_t(text[i]), x, y);
      x += font.GlyphWidth(uint8_t(text[i])) + charSpacing;
    }
    return;
  }
  // Stacked, the first digit on top: style 1 from the units up to the hundreds, style 3 from
  // the hundreds down to the units.
  int32_t stack = 0;
  for (int i = 0; i < n; ++i) stack += StackSize(font, digits[i] - '0') + lineSpacing;
  const int32_t x = place.x - height / 2;
  int32_t top = place.y + stack / 2;
  for (int k = 0; k < n; ++k) {
    const int i = place.style == 1 ? n - 1 - k : k;
    const int32_t size = StackSize(font, digits[i] - '0');
    DrawGlyph(t, font, uint8_t(text[i]), x, top - size);
    top -= size + lineSpacing;
  }
}

}  // namespace

uint32_t CarNumber_ClassPlaces(const RacingClass* cls,
                               CarNumberPlace places[CAR_NUMBER_PLACES_MAX]) {
  const uint32_t style =
      cls ? Record_GetU32(cls->m_record, CLASSREC_NUMBER_STYLE) % CAR_NUMBER_STYLES : 0;
  places[0] = CarNumberPlace{kSkinSize / 4, kSkinSize / 2, style, true};
  places[1] = CarNumberPlace{kSkinSize * 3 / 4, kSkinSize / 2, style, true};
  return 2;
}

void CarNumber_Digits(int32_t number, char out[4]) {
  const int32_t n = std::clamp(number, 0, 999999) % 1000;
  std::snprintf(out, 4, n >= 100 ? "%03d" : "%02d", n);
}

bool CarNumber_Paint(VQTexture* image, int32_t number, const CarNumberPlace* places, uint32_t count,
                     VQFont* largeFont, VQFont* smallFont) {
  if (!image || (image->m_format != VQPF_BGRA8888 && image->m_format != VQPF_BGR888)) return false;
  Target t;
  t.pixels = static_cast<uint8_t*>(image->Lock(&t.pitch, 0));
  if (!t.pixels) return false;
  t.bytes = image->m_format == VQPF_BGRA8888 ? 4 : 3;
  t.width = int32_t(image->m_width);
  t.height = int32_t(image->m_height);
  char digits[4];
  CarNumber_Digits(number, digits);
  for (uint32_t i = 0; i < std::min(count, CAR_NUMBER_PLACES_MAX) && places; ++i) {
    const VQFont* font = places[i].large ? largeFont : smallFont;
    if (font) PaintPlace(t, *font, digits, places[i]);
  }
  return true;
}
