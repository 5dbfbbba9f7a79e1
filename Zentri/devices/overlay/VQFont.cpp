#include "Zentri/devices/overlay/VQFont.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <new>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"

namespace {

constexpr uint8_t kSkipToggle = 2;
constexpr uint8_t kWordBreak = 1;  // ends a word without width of its own
constexpr uint8_t kTab = 9;
constexpr uint8_t kNewline = 10;
constexpr uint8_t kSpace = 32;

// Arguments of the texture-cache load of a font image: load parameter, create, not quiet,
// and the largest size the cache may keep.
constexpr uint32_t kFontLoadParameter = 0;
constexpr uint32_t kFontMaxSize = 32768;

bool EndsWord(uint8_t c) {
  return c == 0 || c == kNewline || c == kTab || c == kWordBreak || c == kSkipToggle || c == kSpace;
}

bool SamePixel(const float* a, const float* b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

}  // namespace

VQGlyphBatch& VQfont_Batch() {
  static VQGlyphBatch batch;
  return batch;
}

VQFont::~VQFont() { FreeTables(); }

void VQFont::FreeTables() {
  delete[] m_glyphX;
  delete[] m_glyphWidth;
  delete[] m_glyphY;
  m_glyphX = m_glyphWidth = m_glyphY = nullptr;
  m_glyphCount = 0;
}

bool VQFont::BuildGlyphs(VQImageRef* image) {
  if (!image) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  FreeTables();
  m_image = image;
  const uint32_t width = image->GetWidth(), height = image->GetHeight();
  m_glyphHeight = 0;
  if (width == 0 || height == 0) return true;
  // Rows are stored bottom first: the top row of the picture is row height - 1.
  float marker[4], px[4];
  image->GetPixel(marker, 0, height - 1);
  const auto isMarker = [&](uint32_t x, uint32_t topRow) {
    return SamePixel(image->GetPixel(px, x, height - 1 - topRow), marker);
  };
  while (m_glyphHeight < height && isMarker(0, m_glyphHeight)) ++m_glyphHeight;
  const uint32_t step = m_glyphHeight + 1;

  // A glyph counts where its run ends in a marker pixel; a run reaching the row's end has no
  // end and is not a glyph in either pass, so both passes agree on the count.
  uint32_t count = 0;
  for (uint32_t top = 0; top < height; top += step) {
    bool previousMarker = true;
    for (uint32_t x = 0; x < width; ++x) {
      const bool m = isMarker(x, top);
      if (!previousMarker && m) ++count;
      previousMarker = m;
    }
  }
  if (count > VQFONT_MAX_GLYPHS) count = VQFONT_MAX_GLYPHS;
  if (count == 0) return true;
  m_glyphX = new (std::nothrow) uint32_t[count + 1]();
  m_glyphWidth = new (std::nothrow) uint32_t[count + 1]();
  m_glyphY = new (std::nothrow) uint32_t[count + 1]();
  if (!m_glyphX || !m_glyphWidth || !m_glyphY) {
    FreeTables();
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  uint32_t n = 0;
  for (uint32_t top = 0; top < height && n < count; top += step) {
    bool previousMarker = true;
    uint32_t start = 0;
    for (uint32_t x = 0; x < width && n < count; ++x) {
      const bool m = isMarker(x, top);
      if (previousMarker && !m) start = x;
      if (!previousMarker && m) {
        m_glyphX[n] = start;
        m_glyphWidth[n] = x - start;
        // The bottom row of the band, counted from the image's bottom (0 when the band is cut
        // off by the image's bottom edge).
        m_glyphY[n] = height >= m_glyphHeight + top ? height - m_glyphHeight - top : 0;
        ++n;
      }
      previousMarker = m;
    }
  }
  m_glyphCount = n;
  const uint32_t space = m_glyphWidth[0];
  for (uint32_t i = 0; i < VQFONT_TAB_STOPS; ++i) m_tabStops[i] = i * 4 * space;
  return true;
}

int32_t VQFont::GlyphWidth(uint8_t c) const {
  return HasGlyph(c) ? int32_t(m_glyphWidth[c - VQFONT_FIRST_CODE]) : 0;
}

int32_t VQFont::FirstTabStop(int32_t x, bool* found) const {
  for (uint32_t i = 0; i < VQFONT_TAB_STOPS; ++i) {
    if (int32_t(m_tabStops[i]) >= x) {
      *found = true;
      return int32_t(m_tabStops[i]);
    }
  }
  *found = false;
  return x;
}

void VQFont::MeasureText(const char* text, int32_t* width, int32_t* height) const {
  int32_t w = 0, h = 0;
  if (text) {
    int32_t x = 0, widest = 0;
    bool skip = false;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
      const uint8_t c = *p;
      if (c == kSkipToggle) {
        skip = !skip;
        continue;
      }
      if (skip) continue;
      if (c == kTab) {
        bool found;
        x = FirstTabStop(x, &found);
      } else if (c == kNewline) {
        const int32_t line = x > 0 ? x - int32_t(m_charSpacing) : 0;
        if (line > widest) widest = line;
        h += int32_t(m_lineSpacing + m_glyphHeight);
        x = 0;
      } else if (HasGlyph(c)) {
        x += GlyphWidth(c) + int32_t(m_charSpacing);
      }
    }
    if (x > widest) widest = x;
    w = widest;
    h += int32_t(m_glyphHeight);
  }
  if (width) *width = w;
  if (height) *height = h;
}

int32_t VQFont::TextWidth(const char* text) const {
  int32_t w, h;
  MeasureText(text, &w, &h);
  return w;
}

int32_t VQFont::TextHeight(const char* text) const {
  int32_t w, h;
  MeasureText(text, &w, &h);
  return h;
}

void VQFont::SetTabStops(const uint32_t* stops, uint32_t n) {
  if (!stops) return;
  if (n > VQFONT_TAB_STOPS) n = VQFONT_TAB_STOPS;
  for (uint32_t i = 0; i < n; ++i) m_tabStops[i] = stops[i];
}

void VQFont::Gather(uint8_t c, int32_t x, int32_t y) {
  VQGlyphBatch& b = VQfont_Batch();
  if (!HasGlyph(c) || b.count >= VQFONT_BATCH) return;
  const uint32_t g = c - VQFONT_FIRST_CODE;
  b.dx[b.count] = x;
  b.dy[b.count] = y;
  b.sx[b.count] = int32_t(m_glyphX[g]);
  b.sy[b.count] = int32_t(m_glyphY[g]);
  b.w[b.count] = int32_t(m_glyphWidth[g]);
  b.h[b.count] = int32_t(m_glyphHeight);
  ++b.count;
}

void VQFont::DrawGlyphRun(VQCanvas* canvas, const char* text, uint32_t n, const int32_t* xs, const int32_t* ys) {
  if (!canvas || !text || !xs || !ys) return;
  VQGlyphBatch& b = VQfont_Batch();
  b.count = 0;
  for (uint32_t i = 0; i < n; ++i) {
    Gather(uint8_t(text[i]), xs[i], ys[i]);
    if (b.count == VQFONT_BATCH) {
      canvas->BlitImageRects(m_image, b.count, b.dx, b.dy, b.sx, b.sy, b.w, b.h);
      b.count = 0;
    }
  }
  if (b.count > 0) canvas->BlitImageRects(m_image, b.count, b.dx, b.dy, b.sx, b.sy, b.w, b.h);
}

uint32_t VQFont::GatherRun(const char** text, int32_t* x, int32_t* y) {
  VQGlyphBatch& b = VQfont_Batch();
  b.count = 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(*text);
  while (*p && b.count < VQFONT_BATCH) {
    if (HasGlyph(*p)) {
      Gather(*p, *x, *y);
      *x += GlyphWidth(*p) + int32_t(m_charSpacing);
    }
    ++p;
  }
  *text = reinterpret_cast<const char*>(p);
  return b.count;
}

void VQFont::DrawInWindow(VQWindow* window, int32_t x, int32_t y, const char* text) {
  if (!window || !text) return;
  VQGlyphBatch& b = VQfont_Batch();
  do {
    GatherRun(&text, &x, &y);
    window->DrawImageRects(m_image, b.count, b.dx, b.dy, b.sx, b.sy, b.w, b.h);
  } while (*text);
}

void VQFont::DrawToCanvas(VQCanvas* canvas, int32_t x, int32_t y, const char* text) {
  if (!canvas || !text) return;
  VQGlyphBatch& b = VQfont_Batch();
  do {
    GatherRun(&text, &x, &y);
    canvas->BlitImageRects(m_image, b.count, b.dx, b.dy, b.sx, b.sy, b.w, b.h);
  } while (*text);
}

void VQFont::DrawAtPoint(VQCanvas* canvas, const VQViewport* viewport, const VQVector& point, const char* text,
                         bool centre) {
  if (!canvas || !viewport || !text) return;
  float x = 0, y = 0;
  bool behind = false;
  viewport->ProjectPoint(point, x, y, behind);
  if (behind) return;
  if (centre) x -= float(TextWidth(text)) * 0.5f;
  // A degenerate camera projects to no pixel; such a point is not drawn.
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9f || std::fabs(y) > 1e9f) return;
  DrawToCanvas(canvas, int32_t(std::floor(x + 0.5f)), int32_t(std::floor(y + 0.5f)), text);
}

void VQFont::DrawToImage(VQImageRef* image, int32_t x, int32_t y, const char* text) {
  if (!image || !m_image || !text) return;
  VQGlyphBatch& b = VQfont_Batch();
  uint32_t dx[VQFONT_BATCH], dy[VQFONT_BATCH], sx[VQFONT_BATCH], sy[VQFONT_BATCH], w[VQFONT_BATCH],
      h[VQFONT_BATCH];
  do {
    GatherRun(&text, &x, &y);
    // Rectangles left of or below the image are dropped; CopyRects skips the others that do
    // not fit.
    uint32_t n = 0;
    for (uint32_t i = 0; i < b.count; ++i) {
      if (b.dx[i] < 0 || b.dy[i] < 0) continue;
      dx[n] = uint32_t(b.dx[i]);
      dy[n] = uint32_t(b.dy[i]);
      sx[n] = uint32_t(b.sx[i]);
      sy[n] = uint32_t(b.sy[i]);
      w[n] = uint32_t(b.w[i]);
      h[n] = uint32_t(b.h[i]);
      ++n;
    }
    if (n) image->CopyRects(*m_image, n, dx, dy, sx, sy, w, h);
  } while (*text);
}

void VQFont::WordWidth(const char* text, int32_t* width, int32_t* height) const {
  int32_t w = 0;
  for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); p && *p; ++p) {
    const uint8_t c = *p;
    if (c == kTab || c == kNewline || c == kSpace || c == kWordBreak) break;
    if (HasGlyph(c)) w += GlyphWidth(c) + int32_t(m_charSpacing);
  }
  int32_t h = 0;
  if (w > 0 && m_charSpacing > 0) {
    w -= int32_t(m_charSpacing);
    h = int32_t(m_glyphHeight);
  }
  if (width) *width = w;
  if (height) *height = h;
}

int32_t VQFont::LineWidth(const char* text, int32_t limit) const {
  int32_t x = 0;
  bool skip = false;
  const int32_t space = GlyphWidth(kSpace), spacing = int32_t(m_charSpacing);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
  while (p && *p) {
    const uint8_t c = *p;
    if (c == kSkipToggle) {
      skip = !skip;
      ++p;
      continue;
    }
    if (skip) {
      ++p;
      continue;
    }
    if (c == kNewline) break;
    if (c == kTab) {
      bool found;
      const int32_t stop = FirstTabStop(x, &found);
      if (found) {
        if (stop >= limit) break;
        x = stop;
      }
      ++p;
      continue;
    }
    if (c == kSpace) {
      if (x + space > limit) break;
      x += space + spacing;
      ++p;
      continue;
    }
    int32_t ww, wh;
    WordWidth(reinterpret_cast<const char*>(p), &ww, &wh);
    if (x + ww > limit) break;
    // A byte 1 ends the word and is passed over.
    if (c == kWordBreak) {
      ++p;
      continue;
    }
    while (*p && !EndsWord(*p)) {
      if (HasGlyph(*p)) x += GlyphWidth(*p) + spacing;
      ++p;
    }
    if (x > limit) x -= spacing;
  }
  return x;
}

int32_t VQFont::AlignX(int32_t left, int32_t width, const char* text, uint32_t alignment) const {
  switch (alignment) {
    case VQTEXT_RIGHT: return left + width - LineWidth(text, width) - 1;
    case VQTEXT_CENTRE: {
      const int32_t spare = width - LineWidth(text, width);
      return left + (spare < 0 ? (spare - 1) / 2 : spare / 2);
    }
    default: return left;
  }
}

uint32_t VQFont::LayoutLine(const char** text, int32_t* penX, int32_t* penY, const int32_t* position,
                            const int32_t* size, uint32_t firstLine, bool* skipMode, uint32_t* lineCounter,
                            uint32_t alignment) {
  VQGlyphBatch& b = VQfont_Batch();
  b.count = 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(*text);
  const int32_t left = position[0], bottom = position[1], right = position[0] + size[0];
  const int32_t space = GlyphWidth(kSpace), spacing = int32_t(m_charSpacing);
  // A line step of at least one pixel, so that a rectangle too narrow for any glyph still
  // runs out of lines.
  int32_t lineStep = int32_t(m_glyphHeight + m_lineSpacing);
  if (lineStep < 1) lineStep = 1;
  const auto newLine = [&](const uint8_t* after) {
    *penX = AlignX(left, size[0], reinterpret_cast<const char*>(after), alignment);
    if (*lineCounter >= firstLine) *penY -= lineStep;
    ++*lineCounter;
  };
  const auto drawing = [&] { return *lineCounter >= firstLine; };
  const auto put = [&](uint8_t c) {
    if (!HasGlyph(c)) return;
    if (drawing()) Gather(c, *penX, *penY);
    *penX += GlyphWidth(c) + spacing;
  };
  while (*p && b.count < VQFONT_BATCH && *penY >= bottom) {
    const uint8_t c = *p;
    if (*skipMode) {
      if (c == kSkipToggle) *skipMode = false;
      ++p;
      continue;
    }
    if (c == kSkipToggle) {
      *skipMode = true;
      ++p;
      continue;
    }
    if (c == kTab) {
      ++p;
      bool found;
      const int32_t stop = FirstTabStop(*penX - left, &found);
      if (found) *penX = left + stop;
      if (*penX >= right) newLine(p);
      continue;
    }
    if (c == kNewline) {
      ++p;
      newLine(p);
      continue;
    }
    if (c == kSpace) {
      ++p;
      if (*penX + space > right) {
        newLine(p);
      } else {
        if (drawing()) Gather(kSpace, *penX, *penY);
        *penX += space + spacing;
      }
      continue;
    }
    if (c == kWordBreak || !HasGlyph(c)) {
      ++p;
      continue;
    }
    int32_t ww, wh;
    WordWidth(reinterpret_cast<const char*>(p), &ww, &wh);
    if (*penX + ww > right) {
      if (ww > size[0] && *penX < right) {
        while (*p && !EndsWord(*p) && *penX < right && b.count < VQFONT_BATCH) put(*p++);
        if (b.count >= VQFONT_BATCH && *penX < right) continue;  // the batch is full mid-word
      }
      newLine(p);
      continue;
    }
    while (*p && !EndsWord(*p) && b.count < VQFONT_BATCH) put(*p++);
  }
  *text = reinterpret_cast<const char*>(p);
  return b.count;
}

void VQFont::DrawInWindowRect(VQWindow* window, const char* text, const int32_t* position, const int32_t* size,
                              uint32_t firstLine, uint32_t alignment) {
  if (!window || !text || !position || !size) return;
  VQGlyphBatch& b = VQfont_Batch();
  int32_t penX = AlignX(position[0], size[0], text, alignment);
  int32_t penY = position[1] + size[1] - int32_t(m_glyphHeight);
  bool skip = false;
  uint32_t line = 0;
  do {
    if (LayoutLine(&text, &penX, &penY, position, size, firstLine, &skip, &line, alignment) > 0)
      window->DrawImageRects(m_image, b.count, b.dx, b.dy, b.sx, b.sy, b.w, b.h);
  } while (*text && penY >= position[1]);
}

void VQFont::DrawInRect(VQCanvas* canvas, const char* text, const int32_t* position, const int32_t* size,
                        uint32_t firstLine, uint32_t alignment) {
  if (!canvas || !text || !position || !size) return;
  VQGlyphBatch& b = VQfont_Batch();
  int32_t penX = AlignX(position[0], size[0], text, alignment);
  int32_t penY = position[1] + size[1] - int32_t(m_glyphHeight);
  bool skip = false;
  uint32_t line = 0;
  do {
    LayoutLine(&text, &penX, &penY, position, size, firstLine, &skip, &line, alignment);
    canvas->BlitImageRects(m_image, b.count, b.dx, b.dy, b.sx, b.sy, b.w, b.h);
  } while (*text && penY >= position[1]);
}

// ---------------------------------------------------------------------------------------------
// Font manager

void VQFontManager::Init(VQDisplayDevice* device, bool asTextures) {
  ReleaseAll();
  m_device = device;
  m_asTextures = asTextures ? 1 : 0;
}

VQFont* VQFontManager::Load(const char* file) {
  if (!file || !m_device) return nullptr;
  const size_t length = std::strlen(file);
  char* name = new (std::nothrow) char[length + 1];
  if (!name) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  for (size_t i = 0; i <= length; ++i) name[i] = char(std::tolower(static_cast<unsigned char>(file[i])));
  for (uint32_t i = 0; i < m_count; ++i) {
    if (std::strcmp(m_names[i], name) == 0) {
      delete[] name;
      return m_fonts[i];
    }
  }
  if (m_count >= VQFONT_MANAGER_SLOTS) {
    delete[] name;
    return nullptr;
  }
  VQImageRef* image = nullptr;
  if (m_asTextures) {
    VQTextureManager* textures = m_device->m_textureManager;
    VQTexture* texture =
        textures ? textures->Load(file, kFontLoadParameter, true, false, kFontMaxSize, kFontMaxSize) : nullptr;
    if (texture) {
      image = new (std::nothrow) VQImageRef(texture);
      textures->Release(texture);  // the handle holds the font's reference
    }
  } else {
    VQPixmap* pixmap = m_device->CreatePixmapFromFile(file);
    if (pixmap) {
      image = new (std::nothrow) VQImageRef(pixmap);
      if (!image) m_device->DeletePixmap(pixmap);
    }
  }
  VQFont* font = image ? new (std::nothrow) VQFont() : nullptr;
  if (!font || !font->BuildGlyphs(image)) {
    if (image && image->m_pixmap) m_device->DeletePixmap(image->m_pixmap);
    delete image;
    delete font;
    delete[] name;
    return nullptr;
  }
  m_fonts[m_count] = font;
  m_names[m_count] = name;
  ++m_count;
  return font;
}

void VQFontManager::ReleaseAll() {
  for (uint32_t i = 0; i < m_count; ++i) {
    VQImageRef* image = m_fonts[i]->m_image;
    if (image && image->m_pixmap && m_device) m_device->DeletePixmap(image->m_pixmap);
    delete image;
    delete m_fonts[i];
    delete[] m_names[i];
    m_fonts[i] = nullptr;
    m_names[i] = nullptr;
  }
  m_count = 0;
}
