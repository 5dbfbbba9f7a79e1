// vqtool font-sheet FONT.ttf PIXELS OUT.tga [--colour RRGGBB] [--outline N] [--marker RRGGBB]
//                  [--last CODE]
// Renders the characters from code 32 up to CODE (default 255) of a TrueType font at PIXELS
// pixels per em into a 32-bit TGA bitmap font sheet, the layout the engine's font reader
// walks:
//   - the marker colour fills the top-left pixel and column 0 of the first glyph-height rows;
//     the row below them is not marker, so the marker run in column 0 gives the glyph height;
//   - glyphs lie in bands one every glyph height + 1 rows from the top, each band starting at
//     x = 1 and every glyph followed by at least one marker pixel, so on a band's top row each
//     run of non-marker pixels is one glyph and its width;
//   - glyph i is character 32 + i, in band order and left to right;
//   - no glyph pixel equals the marker colour (not even after reduction to 4 bits a channel,
//     so the sheet survives 16-bit texture formats), and every glyph is at least 1 pixel wide.
// Glyph pixels carry the text colour (or the black outline, blended) with the ink coverage as
// alpha. Codes 128-159 are taken from the Windows Western code page, 160-255 are Latin-1.
// The sheet is a power of two wide, and rows of marker colour pad it to a power of two high.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"
#include "host/font/font.h"
#include "tools/vqtool/vqtool.h"

namespace {

constexpr uint32_t kFirstCode = 32;
constexpr uint32_t kLastCode = 255;
constexpr uint32_t kMaxPixels = 256;
constexpr uint32_t kMaxOutline = 8;
constexpr uint32_t kMinSheetWidth = 64;
constexpr uint32_t kMaxSheetWidth = 4096;
constexpr uint32_t kMaxSheetHeight = 65535;  // the TGA size field

constexpr const char* kUsage =
    "usage: vqtool font-sheet FONT.ttf PIXELS OUT.tga [--colour RRGGBB] [--outline N] "
    "[--marker RRGGBB] [--last CODE]\n";

// Unicode code points of the Windows Western code page's bytes 128-159 (0 = unassigned).
constexpr uint16_t kWesternHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t CodePoint(uint32_t code) {
  if (code >= 128 && code < 160) return kWesternHigh[code - 128];
  return code;
}

struct Rgb {
  uint8_t r, g, b;
};

struct Options {
  std::string font, out;
  uint32_t pixels = 0;
  Rgb colour{255, 255, 255};
  Rgb outlineColour{0, 0, 0};
  Rgb marker{255, 0, 255};
  uint32_t outline = 0;
  uint32_t last = kLastCode;
};

bool ParseHex(const std::string& s, Rgb* out) {
  if (s.size() != 6) return false;
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  const unsigned long v = std::strtoul(s.c_str(), nullptr, 16);
  *out = Rgb{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  return true;
}

bool ParseUnsigned(const std::string& s, uint32_t lo, uint32_t hi, uint32_t* out) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  const unsigned long v = std::strtoul(s.c_str(), nullptr, 10);
  if (v < lo || v > hi) return false;
  *out = uint32_t(v);
  return true;
}

// Colours that a 4-bit-a-channel reduction could not tell apart.
bool Near(const Rgb& a, const Rgb& b) {
  return (a.r >> 4) == (b.r >> 4) && (a.g >> 4) == (b.g >> 4) && (a.b >> 4) == (b.b >> 4);
}

// Moves a colour away from the marker by changing green by 16, which changes its top 4 bits.
Rgb AwayFromMarker(Rgb c, const Rgb& marker) {
  if (Near(c, marker)) c.g = uint8_t(c.g >= 128 ? c.g - 16 : c.g + 16);
  return c;
}

// One character's cell: ink coverage (glyph and its outline) over width x height pixels.
struct Cell {
  uint32_t width = 1;
  std::vector<uint8_t> ink, outline;
};

// Renders one character into a cell of the given height whose baseline lies `baseline` rows
// below the top. The cell spans the pen advance and every inked column, plus the outline on
// both sides; ink above or below the cell is cut.
bool RenderCell(host::font_face* face, uint32_t code, uint32_t height, int baseline, uint32_t outline,
                Cell* cell) {
  host::font_glyph g;
  char message[256] = {};
  const uint32_t cp = CodePoint(code);
  if (cp != 0 && !host::font_render(face, cp, &g, message, sizeof message)) {
    std::fprintf(stderr, "vqtool font-sheet: %s\n", message);
    return false;
  }
  const int pad = int(outline);
  int x0 = 0, x1 = g.advance;
  if (g.width > 0) {
    x0 = std::min(x0, g.left);
    x1 = std::max(x1, g.left + int(g.width));
  }
  const int penX = pad - x0;
  cell->width = uint32_t(std::max(1, x1 - x0 + 2 * pad));
  const size_t size = size_t(cell->width) * height;
  cell->ink.assign(size, 0);
  for (uint32_t y = 0; y < g.rows; ++y) {
    const int cy = baseline - g.top + int(y);
    if (cy < 0 || cy >= int(height)) continue;
    for (uint32_t x = 0; x < g.width; ++x) {
      const int cx = penX + g.left + int(x);
      if (cx < 0 || cx >= int(cell->width)) continue;
      cell->ink[size_t(cy) * cell->width + size_t(cx)] = g.coverage[size_t(y) * g.width + x];
    }
  }
  // The outline is the ink widened by a disc of the outline radius.
  cell->outline = cell->ink;
  if (outline > 0) {
    const int r = int(outline);
    for (int y = 0; y < int(height); ++y)
      for (int x = 0; x < int(cell->width); ++x) {
        uint8_t best = 0;
        for (int dy = -r; dy <= r; ++dy)
          for (int dx = -r; dx <= r; ++dx) {
            const int sx = x + dx, sy = y + dy;
            if (dx * dx + dy * dy > r * r + r || sx < 0 || sy < 0 || sx >= int(cell->width) ||
                sy >= int(height))
              continue;
            best = std::max(best, cell->ink[size_t(sy) * cell->width + size_t(sx)]);
          }
        cell->outline[size_t(y) * cell->width + size_t(x)] = best;
      }
  }
  return true;
}

// Places the cells in bands for a sheet of the given width: x positions and band numbers.
// Gives the number of bands, 0 when a cell does not fit the width.
uint32_t Place(const std::vector<Cell>& cells, uint32_t sheetWidth, std::vector<uint32_t>* xs,
               std::vector<uint32_t>* bands) {
  uint32_t x = 1, band = 0;
  xs->clear();
  bands->clear();
  for (const Cell& c : cells) {
    // Column 0 and one marker pixel after the glyph must fit on the row.
    if (c.width + 2 > sheetWidth) return 0;
    if (x + c.width + 1 > sheetWidth) {
      x = 1;
      ++band;
    }
    xs->push_back(x);
    bands->push_back(band);
    x += c.width + 1;
  }
  return band + 1;
}

int Run(const Options& o) {
  std::error_code ec;
  if (std::filesystem::equivalent(o.font, o.out, ec)) {
    std::fprintf(stderr, "vqtool font-sheet: will not overwrite the font file '%s'\n", o.font.c_str());
    return 2;
  }
  char message[512] = {};
  host::font_face* face = host::font_open(o.font.c_str(), o.pixels, message, sizeof message);
  if (!face) {
    std::fprintf(stderr, "vqtool font-sheet: %s\n", message);
    return 1;
  }
  const host::font_line_metrics m = host::font_metrics(face);
  const uint32_t glyphHeight = uint32_t(std::max(1, m.height)) + 2 * o.outline;
  const int baseline = m.ascender + int(o.outline);
  std::vector<Cell> cells(o.last - kFirstCode + 1);
  for (uint32_t code = kFirstCode; code <= o.last; ++code) {
    if (!RenderCell(face, code, glyphHeight, baseline, o.outline, &cells[code - kFirstCode])) {
      host::font_close(face);
      return 1;
    }
  }
  host::font_close(face);

  // The narrowest power-of-two width whose bands fit in a square; the widest allowed otherwise.
  std::vector<uint32_t> xs, bands;
  uint32_t width = kMinSheetWidth, bandCount = 0;
  for (; width <= kMaxSheetWidth; width *= 2) {
    bandCount = Place(cells, width, &xs, &bands);
    if (bandCount != 0 && bandCount * (glyphHeight + 1) - 1 <= width) break;
  }
  if (width > kMaxSheetWidth) {
    width = kMaxSheetWidth;
    bandCount = Place(cells, width, &xs, &bands);
  }
  const uint64_t usedRows = uint64_t(bandCount) * (glyphHeight + 1) - 1;
  uint64_t height = 1;
  while (height < usedRows) height *= 2;
  if (bandCount == 0 || height > kMaxSheetHeight) {
    std::fprintf(stderr, "vqtool font-sheet: the glyphs do not fit in a sheet; use fewer pixels\n");
    return 2;
  }

  const Rgb colour = AwayFromMarker(o.colour, o.marker);
  std::vector<uint8_t> px(size_t(width) * size_t(height) * 4);
  const auto put = [&](uint32_t x, uint32_t y, Rgb c, uint8_t a) {
    uint8_t* p = &px[(size_t(y) * width + x) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = a;
  };
  // Everything starts as marker; the row below each band is cleared to transparent text colour
  // so that column 0 carries the marker for exactly the first band's rows.
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) put(x, y, o.marker, 255);
  for (uint32_t b = 0; b + 1 < bandCount; ++b) {
    const uint32_t y = b * (glyphHeight + 1) + glyphHeight;
    for (uint32_t x = 0; x < width; ++x) put(x, y, colour, 0);
  }
  for (size_t i = 0; i < cells.size(); ++i) {
    const Cell& c = cells[i];
    const uint32_t top = bands[i] * (glyphHeight + 1);
    for (uint32_t y = 0; y < glyphHeight; ++y)
      for (uint32_t x = 0; x < c.width; ++x) {
        const uint32_t ink = c.ink[size_t(y) * c.width + x];
        const uint32_t alpha = c.outline[size_t(y) * c.width + x];
        Rgb rgb = colour;
        if (alpha > 0 && ink < alpha) {
          // Text colour over the outline colour, by the share of ink in the pixel's coverage.
          const auto mix = [&](uint8_t fg, uint8_t bg) { return uint8_t((fg * ink + bg * (alpha - ink)) / alpha); };
          rgb = Rgb{mix(colour.r, o.outlineColour.r), mix(colour.g, o.outlineColour.g),
                    mix(colour.b, o.outlineColour.b)};
        }
        put(xs[i] + x, top + y, AwayFromMarker(rgb, o.marker), uint8_t(alpha));
      }
  }
  // The engine's TGA files are stored bottom row first.
  VQpixels_FlipVertical(px.data(), width, uint32_t(height), width, VQPF_RGBA8888);
  if (!VQimage_WriteFile(px.data(), width, uint32_t(height), width, VQPF_RGBA8888, nullptr, true,
                         o.out.c_str(), VQIMAGE_TGA, VQIMAGE_RAW)) {
    std::fprintf(stderr, "vqtool font-sheet: cannot write '%s' (%s)\n", o.out.c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::printf("%s: %zu glyphs (codes %u-%u), glyph height %u, sheet %ux%u\n", o.out.c_str(),
              cells.size(), kFirstCode, o.last, glyphHeight, width, uint32_t(height));
  return 0;
}

int FontSheet(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    bool ok = true;
    if (a == "--colour") ok = hasValue && ParseHex(args[++i], &o.colour);
    else if (a == "--marker") ok = hasValue && ParseHex(args[++i], &o.marker);
    else if (a == "--outline") ok = hasValue && ParseUnsigned(args[++i], 0, kMaxOutline, &o.outline);
    else if (a == "--last") ok = hasValue && ParseUnsigned(args[++i], kFirstCode, kLastCode, &o.last);
    else if (a.size() > 1 && a[0] == '-') ok = false;
    else positional.push_back(a);
    if (!ok) {
      std::fprintf(stderr, "vqtool font-sheet: bad option '%s' (colours RRGGBB, outline 0-%u, last %u-%u)\n%s",
                   a.c_str(), kMaxOutline, kFirstCode, kLastCode, kUsage);
      return 2;
    }
  }
  if (positional.size() != 3 || !ParseUnsigned(positional[1], 1, kMaxPixels, &o.pixels)) {
    std::fprintf(stderr, "%s(PIXELS: 1-%u pixels per em)\n", kUsage, kMaxPixels);
    return 2;
  }
  o.font = positional[0];
  o.out = positional[2];
  if (Near(o.colour, o.marker) || (o.outline > 0 && Near(o.outlineColour, o.marker))) {
    std::fprintf(stderr, "vqtool font-sheet: the text and outline colours must differ from the marker\n");
    return 2;
  }
  return Run(o);
}

VQToolCommand g_fontSheet("font-sheet",
                          "font-sheet FONT.ttf PIXELS OUT.tga [--colour RRGGBB] [--outline N] "
                          "[--marker RRGGBB] [--last CODE]",
                          "render a TrueType font into a bitmap font sheet", FontSheet,
                          "FONT.ttf: a TrueType font; PIXELS: pixels per em; OUT.tga: 32-bit TGA bitmap font sheet\n"
                          "(column 0 marker run = glyph height; glyph i is character 32 + i, in bands)\n"
                          "RRGGBB: colours as six hexadecimal digits; CODE: last character (default 255)");

}  // namespace
