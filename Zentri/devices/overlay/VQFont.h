// Bitmap fonts of the overlay and the race display. A font image holds the glyphs of the
// characters from " " upwards in bands separated by a marker colour (the top-left pixel);
// VQFont finds the glyph boxes, measures text, draws lines and lays text out in rectangles
// (word wrap, 20 tab stops, left/right/centred lines, a first visible line for scrolling).
// VQFontManager caches up to 32 fonts of a display device by file name.
//
// Text bytes: byte 2 switches a hidden span on and off (laid-out and measured text skip it),
// a tab moves to the next tab stop, a newline starts a line; bytes outside the glyph range add
// nothing. Pen coordinates are canvas pixels with y upwards (a following line lies lower).
// All drawing shares one batch of 50 glyph rectangles, one image-parts call per batch: the
// fonts are drawn from the main thread only.
#pragma once

#include <cstdint>

class VQCanvas;
class VQDisplayDevice;
class VQImageRef;
class VQVector;
class VQViewport;
class VQWindow;

constexpr uint32_t VQFONT_TAB_STOPS = 20;
constexpr uint32_t VQFONT_BATCH = 50;        // glyph rectangles per image-parts call
constexpr uint32_t VQFONT_FIRST_CODE = 32;   // glyph 0 is the space
constexpr uint32_t VQFONT_MAX_GLYPHS = 256 - VQFONT_FIRST_CODE;  // a byte cannot name more
constexpr uint32_t VQFONT_MANAGER_SLOTS = 32;

enum VQTextAlign : uint32_t { VQTEXT_LEFT = 0, VQTEXT_RIGHT = 1, VQTEXT_CENTRE = 2 };

// The shared glyph batch: entry i is one glyph rectangle of the font image (source x, y from
// the bottom-left, width, height) and where its lower-left corner goes.
struct VQGlyphBatch {
  int32_t dx[VQFONT_BATCH], dy[VQFONT_BATCH], sx[VQFONT_BATCH], sy[VQFONT_BATCH];
  int32_t w[VQFONT_BATCH], h[VQFONT_BATCH];
  uint32_t count;
};
VQGlyphBatch& VQfont_Batch();

class VQFont {
 public:
  VQFont() = default;
  ~VQFont();  // frees the glyph tables; the image belongs to whoever loaded it
  VQFont(const VQFont&) = delete;
  VQFont& operator=(const VQFont&) = delete;

  // Finds the glyphs in the image and makes it the font image (not owned). Null: error 28,
  // false. The old tables are freed first; an image whose band tops are all marker leaves
  // the font without glyphs (true). At most VQFONT_MAX_GLYPHS glyphs are kept.
  bool BuildGlyphs(VQImageRef* image);

  void MeasureText(const char* text, int32_t* width, int32_t* height) const;
  int32_t TextWidth(const char* text) const;
  int32_t TextHeight(const char* text) const;
  // Copies min(n, 20) positions into the tab-stop table.
  void SetTabStops(const uint32_t* stops, uint32_t n);

  // n characters at the given destination points (characters outside the glyph range skipped).
  void DrawGlyphRun(VQCanvas* canvas, const char* text, uint32_t n, const int32_t* xs, const int32_t* ys);
  // One line, pen at (x, y): into a window (window-relative), onto a canvas, at a projected
  // world point (centred on it with centre set), or copied into an image (textures only).
  void DrawInWindow(VQWindow* window, int32_t x, int32_t y, const char* text);
  void DrawToCanvas(VQCanvas* canvas, int32_t x, int32_t y, const char* text);
  void DrawAtPoint(VQCanvas* canvas, const VQViewport* viewport, const VQVector& point, const char* text,
                   bool centre);
  void DrawToImage(VQImageRef* image, int32_t x, int32_t y, const char* text);
  // The text laid out in the rectangle position (lower-left x, y), size (width, height),
  // from line firstLine on, with the alignment (VQTextAlign).
  void DrawInWindowRect(VQWindow* window, const char* text, const int32_t* position, const int32_t* size,
                        uint32_t firstLine, uint32_t alignment);
  void DrawInRect(VQCanvas* canvas, const char* text, const int32_t* position, const int32_t* size,
                  uint32_t firstLine, uint32_t alignment);

  // Gathers one line's glyphs (at most 50) into the batch from *text, advancing *text and *x.
  uint32_t GatherRun(const char** text, int32_t* x, int32_t* y);
  // Lays out from *text into the batch until the text ends, 50 glyphs are gathered or the pen
  // falls below the rectangle; gives the number gathered.
  uint32_t LayoutLine(const char** text, int32_t* penX, int32_t* penY, const int32_t* position,
                      const int32_t* size, uint32_t firstLine, bool* skipMode, uint32_t* lineCounter,
                      uint32_t alignment);
  int32_t AlignX(int32_t left, int32_t width, const char* text, uint32_t alignment) const;
  // The width the line starting at text takes when laid out within limit.
  int32_t LineWidth(const char* text, int32_t limit) const;
  // The width of the word at text (up to 0, tab, newline, space or byte 1); height = glyph
  // height for a word of some width, else 0.
  void WordWidth(const char* text, int32_t* width, int32_t* height) const;

  // Width of a character's glyph, 0 for bytes outside the glyph range.
  int32_t GlyphWidth(uint8_t c) const;
  bool HasGlyph(uint8_t c) const { return c >= VQFONT_FIRST_CODE && c - VQFONT_FIRST_CODE < m_glyphCount; }

  uint32_t m_glyphHeight = 0;
  uint32_t m_glyphCount = 0;
  uint32_t m_charSpacing = 1;
  uint32_t m_lineSpacing = 2;
  uint32_t m_tabStops[VQFONT_TAB_STOPS] = {};
  uint32_t* m_glyphX = nullptr;      // count + 1 entries each
  uint32_t* m_glyphWidth = nullptr;
  uint32_t* m_glyphY = nullptr;      // bottom row, counted from the image's bottom
  VQImageRef* m_image = nullptr;

 private:
  void FreeTables();
  // Adds glyph c at the pen to the batch.
  void Gather(uint8_t c, int32_t x, int32_t y);
  int32_t FirstTabStop(int32_t x, bool* found) const;
};

// Fonts of one display device, cached by lower-cased file name.
class VQFontManager {
 public:
  VQFontManager() = default;
  ~VQFontManager() { ReleaseAll(); }
  VQFontManager(const VQFontManager&) = delete;
  VQFontManager& operator=(const VQFontManager&) = delete;

  // Binds the manager to a device and empties it; fonts load as textures (through the
  // device's texture cache) or as pixmaps.
  void Init(VQDisplayDevice* device, bool asTextures);
  // The font of a file: the cached one for a known name; null when 32 are held (no error
  // code) or the image cannot be loaded.
  VQFont* Load(const char* file);
  // Deletes every font, its image and its name.
  void ReleaseAll();

  uint32_t m_count = 0;
  VQFont* m_fonts[VQFONT_MANAGER_SLOTS] = {};
  char* m_names[VQFONT_MANAGER_SLOTS] = {};
  VQDisplayDevice* m_device = nullptr;
  uint8_t m_asTextures = 0;
};
