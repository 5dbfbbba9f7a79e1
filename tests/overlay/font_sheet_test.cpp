// vqtool font-sheet: the sheets it writes walk into one glyph box per character, with the
// options applied, and bad requests fail without writing anything.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/overlay/font_sheet_support.h"

namespace overlay_test {
namespace {

constexpr uint32_t kMarker = 0xFFFF00FFu;  // default marker: magenta, opaque

bool IsPowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

// Colours that a reduction to 4 bits a channel would merge.
bool NearRgb(const uint8_t* p, uint32_t marker) {
  return (p[0] >> 4) == ((marker & 0xFF) >> 4) && (p[1] >> 4) == (((marker >> 8) & 0xFF) >> 4) &&
         (p[2] >> 4) == (((marker >> 16) & 0xFF) >> 4);
}

class FontSheet : public SheetDir {
 protected:
  // Makes a sheet with the given extra options and walks it.
  void Make(const std::string& options, Sheet* sheet, Layout* layout, std::string* out = nullptr,
            const char* font = kDejaVuSans, uint32_t pixels = 16) {
    ASSERT_TRUE(fs::exists(font)) << font << " (fonts-dejavu-core)";
    std::string text;
    ASSERT_EQ(RunVqtool(std::string("font-sheet ") + font + " " + std::to_string(pixels) + " " +
                            Path("s.tga") + " " + options,
                        &text),
              0)
        << options;
    if (out) *out = text;
    ASSERT_TRUE(ReadSheet(Path("s.tga"), sheet));
    *layout = Walk(*sheet);
  }
};

TEST_F(FontSheet, EveryCharacterFromSpaceTo255IsOneGlyphBox) {
  Sheet s;
  Layout l;
  std::string out;
  Make("", &s, &l, &out);
  EXPECT_TRUE(IsPowerOfTwo(s.width) && IsPowerOfTwo(s.height)) << s.width << "x" << s.height;
  EXPECT_EQ(l.marker, kMarker);
  ASSERT_EQ(l.boxes.size(), 224u);
  EXPECT_NE(out.find("224 glyphs"), std::string::npos) << out;
  EXPECT_NE(out.find("glyph height " + std::to_string(l.glyphHeight) + ","), std::string::npos) << out;
  EXPECT_GE(l.glyphHeight, 16u);
  for (const Box& b : l.boxes) {
    EXPECT_GE(b.width, 1u);
    EXPECT_GE(b.x, 1u) << "column 0 belongs to the marker";
    for (uint32_t y = b.top; y < b.top + l.glyphHeight; ++y)
      for (uint32_t x = b.x; x < b.x + b.width; ++x)
        ASSERT_FALSE(NearRgb(s.At(x, y), l.marker)) << "glyph pixel at " << x << "," << y;
  }
  // The space is a clear box; letters have opaque ink; a W is wider than an i.
  const auto inked = [&](char c) {
    const Box& b = l.boxes[uint8_t(c) - 32];
    uint32_t n = 0;
    for (uint32_t y = b.top; y < b.top + l.glyphHeight; ++y)
      for (uint32_t x = b.x; x < b.x + b.width; ++x) n += s.At(x, y)[3] > 200;
    return n;
  };
  EXPECT_EQ(inked(' '), 0u);
  EXPECT_GT(inked('A'), 10u);
  EXPECT_GT(l.boxes['W' - 32].width, l.boxes['i' - 32].width);
  // Glyphs 32 + i run in band order, left to right.
  for (size_t i = 1; i < l.boxes.size(); ++i)
    EXPECT_TRUE(l.boxes[i].top > l.boxes[i - 1].top ||
                (l.boxes[i].top == l.boxes[i - 1].top && l.boxes[i].x > l.boxes[i - 1].x));
}

TEST_F(FontSheet, LastCodeLimitsTheGlyphCount) {
  Sheet s;
  Layout l;
  Make("--last 132", &s, &l);
  EXPECT_EQ(l.boxes.size(), 101u);
  Make("--last 32", &s, &l);
  ASSERT_EQ(l.boxes.size(), 1u);
  EXPECT_GE(l.boxes[0].width, 1u);
}

TEST_F(FontSheet, MarkerAndColourOptions) {
  Sheet s;
  Layout l;
  Make("--marker 00FF00 --colour FF0000", &s, &l);
  EXPECT_EQ(l.marker, 0xFF00FF00u);
  ASSERT_EQ(l.boxes.size(), 224u);
  const Box& a = l.boxes['A' - 32];
  uint32_t opaque = 0;
  for (uint32_t y = a.top; y < a.top + l.glyphHeight; ++y)
    for (uint32_t x = a.x; x < a.x + a.width; ++x) {
      const uint8_t* p = s.At(x, y);
      if (p[3] == 255) {
        ++opaque;
        EXPECT_EQ(p[0], 255);
        EXPECT_EQ(p[1], 0);
        EXPECT_EQ(p[2], 0);
      }
    }
  EXPECT_GT(opaque, 0u);
}

TEST_F(FontSheet, OutlineWidensTheGlyphsAndKeepsClearOfAGreyMarker) {
  Sheet s;
  Layout plain, outlined;
  Make("", &s, &plain);
  // Text white over a black outline blends through grey: pixels as grey as the marker move away.
  Make("--outline 2 --marker 808080", &s, &outlined);
  ASSERT_EQ(outlined.boxes.size(), 224u);
  EXPECT_EQ(outlined.glyphHeight, plain.glyphHeight + 4);
  EXPECT_EQ(outlined.boxes['A' - 32].width, plain.boxes['A' - 32].width + 4);
  uint32_t dark = 0;
  for (const Box& b : outlined.boxes)
    for (uint32_t y = b.top; y < b.top + outlined.glyphHeight; ++y)
      for (uint32_t x = b.x; x < b.x + b.width; ++x) {
        const uint8_t* p = s.At(x, y);
        ASSERT_FALSE(NearRgb(p, outlined.marker)) << x << "," << y;
        dark += p[3] == 255 && p[0] < 16 && p[1] < 16 && p[2] < 16;
      }
  EXPECT_GT(dark, 100u);
}

TEST_F(FontSheet, BadRequestsFailWithoutWritingTheSheet) {
  ASSERT_TRUE(fs::exists(kDejaVuSans));
  const std::string font = kDejaVuSans, out = Path("bad.tga");
  struct Case {
    std::string args;
    int code;
  };
  const Case cases[] = {
      {font + " 0 " + out, 2},
      {font + " 257 " + out, 2},
      {font + " 12x " + out, 2},
      {font + " 16", 2},
      {font + " 16 " + out + " extra", 2},
      {font + " 16 " + out + " --last 31", 2},
      {font + " 16 " + out + " --last 256", 2},
      {font + " 16 " + out + " --last", 2},
      {font + " 16 " + out + " --colour 12345", 2},
      {font + " 16 " + out + " --colour GG0000", 2},
      {font + " 16 " + out + " --outline 9", 2},
      {font + " 16 " + out + " --size 3", 2},
      {font + " 16 " + out + " --colour FF00FF", 2},              // the text in the marker colour
      {font + " 16 " + out + " --outline 1 --marker 000000", 2},  // the outline in the marker colour
      {Path("missing.ttf") + " 16 " + out, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunVqtool("font-sheet " + c.args), c.code) << c.args;
    EXPECT_FALSE(fs::exists(out)) << c.args;
  }
  // A file that is no font.
  std::ofstream(Path("text.ttf")) << "not a font";
  EXPECT_EQ(RunVqtool("font-sheet " + Path("text.ttf") + " 16 " + out), 1);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(FontSheet, NeverOverwritesTheFontItReads) {
  ASSERT_TRUE(fs::exists(kDejaVuSans));
  fs::copy_file(kDejaVuSans, Path("f.ttf"));
  const auto size = fs::file_size(Path("f.ttf"));
  fs::create_directories(Path("sub"));
  EXPECT_EQ(RunVqtool("font-sheet " + Path("f.ttf") + " 16 " + Path("f.ttf")), 2);
  EXPECT_EQ(RunVqtool("font-sheet " + Path("f.ttf") + " 16 " + Path("sub/../f.ttf")), 2);
  EXPECT_EQ(fs::file_size(Path("f.ttf")), size);
  std::ifstream a(Path("f.ttf"), std::ios::binary), b(kDejaVuSans, std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b)));
}

}  // namespace
}  // namespace overlay_test
