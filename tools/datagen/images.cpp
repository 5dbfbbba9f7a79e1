// Images of the sample data tree: patterned textures, frames and the small block fonts.
#include <cstring>
#include <filesystem>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"
#include "tools/datagen/datagen.h"

namespace datagen {

Image MakeImage(uint32_t w, uint32_t h) {
  Image image;
  image.width = w;
  image.height = h;
  image.bgra.assign(size_t(w) * h * 4, 0);
  return image;
}

void Image::Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  if (x < 0 || y < 0 || uint32_t(x) >= width || uint32_t(y) >= height) return;
  uint8_t* p = &bgra[(size_t(y) * width + uint32_t(x)) * 4];
  p[0] = b;
  p[1] = g;
  p[2] = r;
  p[3] = a;
}

void Image::Rect(int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) Set(i, j, r, g, b, a);
}

void Image::Fill(uint8_t r, uint8_t g, uint8_t b, uint8_t a) { Rect(0, 0, int(width), int(height), r, g, b, a); }

void WriteTga(const std::string& path, const Image& image, bool alpha) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (alpha) {
    if (!VQimage_WriteTga(path.c_str(), image.bgra.data(), image.width, image.height, image.width, VQPF_BGRA8888,
                          nullptr, false))
      Fail("cannot write " + path + " (" + VQerror_Describe(g_VQerror) + ")");
    return;
  }
  std::vector<uint8_t> bgr(size_t(image.width) * image.height * 3);
  for (size_t i = 0; i < size_t(image.width) * image.height; ++i) std::memcpy(&bgr[i * 3], &image.bgra[i * 4], 3);
  if (!VQimage_WriteTga(path.c_str(), bgr.data(), image.width, image.height, image.width, VQPF_BGR888, nullptr, false))
    Fail("cannot write " + path + " (" + VQerror_Describe(g_VQerror) + ")");
}

Image PatternImage(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b, uint32_t seed) {
  Image image = MakeImage(w, h);
  uint32_t state = seed * 747796405u + 2891336453u;
  const uint32_t cell = 8u << (seed % 3);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = int(state >> 28) - 8;
      const bool check = ((x / cell) + (y / cell)) % 2 == 0;
      const int shade = (check ? 12 : -12) + noise;
      auto ch = [&](uint8_t c) { return uint8_t(std::max(0, std::min(255, int(c) + shade))); };
      image.Set(int(x), int(y), ch(r), ch(g), ch(b));
    }
  }
  return image;
}

namespace {
// 5 x 7 glyphs, rows top first, '#' = ink.
struct Glyph {
  char c;
  const char* rows[7];
};
const Glyph kGlyphs[] = {
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'*', {"     ", "  #  ", "# # #", " ### ", "# # #", "  #  ", "     "}},
    {'o', {"     ", " ### ", "#####", "#####", "#####", " ### ", "     "}},
};
const Glyph* Find(char c) {
  for (const Glyph& g : kGlyphs)
    if (g.c == c) return &g;
  return nullptr;
}
}  // namespace

Image BlockFont(const std::vector<std::string>& glyphs, uint32_t scale, uint8_t r, uint8_t g, uint8_t b) {
  // One band: the marker in column 0 over the glyph height, glyphs separated by one marker
  // column, a marker pixel after the last glyph on the band's top row.
  const uint32_t gh = 7 * scale + 2;
  uint32_t width = 1;
  std::vector<uint32_t> widths;
  for (const std::string& text : glyphs) {
    const uint32_t w = uint32_t(text.size()) * 6 * scale + 2;
    widths.push_back(w);
    width += w + 1;
  }
  Image image = MakeImage(width + 1, gh + 2);
  const uint8_t mr = 255, mg = 0, mb = 255;
  image.Fill(0, 0, 0, 0);
  for (uint32_t y = 0; y < gh; ++y) image.Set(0, int(y), mr, mg, mb);
  uint32_t x = 1;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const std::string& text = glyphs[i];
    for (size_t k = 0; k < text.size(); ++k) {
      const Glyph* glyph = Find(text[k]);
      if (!glyph) continue;
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (glyph->rows[row][col] == '#')
            image.Rect(int(x + 1 + (k * 6 + uint32_t(col)) * scale), int(1 + uint32_t(row) * scale), int(scale),
                       int(scale), r, g, b, 255);
    }
    x += widths[i];
    image.Set(int(x), 0, mr, mg, mb);  // separator and end marker on the band's top row
    ++x;
  }
  return image;
}

}  // namespace datagen
