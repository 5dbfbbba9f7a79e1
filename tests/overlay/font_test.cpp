// VQFont on sheets written by vqtool font-sheet: glyph tables, measurements, batches and the
// laid-out text of the edge cases the overlay relies on.
#include <gtest/gtest.h>

#include <string>

#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "tests/overlay/overlay_support.h"

namespace overlay_test {
namespace {

class FontTest : public OverlayFixture {};

int32_t W(const VQFont* f, char c) { return f->GlyphWidth(uint8_t(c)); }

TEST_F(FontTest, GlyphTablesMatchTheSheetLayout) {
  VQFont* f = Font();
  ASSERT_NE(f, nullptr);
  Sheet s;
  ASSERT_TRUE(ReadSheet(Path("font.tga"), &s));
  const Layout l = Walk(s);
  ASSERT_EQ(f->m_glyphCount, l.boxes.size());
  EXPECT_EQ(f->m_glyphHeight, l.glyphHeight);
  for (uint32_t i = 0; i < f->m_glyphCount; ++i) {
    EXPECT_EQ(f->m_glyphX[i], l.boxes[i].x);
    EXPECT_EQ(f->m_glyphWidth[i], l.boxes[i].width);
    EXPECT_EQ(f->m_glyphY[i], s.height - l.glyphHeight - l.boxes[i].top);  // bottom row, counted up
  }
  for (uint32_t i = 0; i < VQFONT_TAB_STOPS; ++i) EXPECT_EQ(f->m_tabStops[i], i * 4 * f->m_glyphWidth[0]);
}

TEST_F(FontTest, NullImageFailsAndAllMarkerTopRowGivesNoGlyphs) {
  VQFont f;
  g_VQerror = 0;
  EXPECT_FALSE(f.BuildGlyphs(nullptr));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  VQImageRef* img = Image(8, 8);  // all one colour: all marker
  EXPECT_TRUE(f.BuildGlyphs(img));
  EXPECT_EQ(f.m_glyphCount, 0u);
  EXPECT_EQ(f.TextWidth("abc"), 0);
  delete img;
}

// A sheet with more glyph runs than a byte can name, and a run that reaches the row's end: the
// tables hold what a byte can name, and the unterminated run is no glyph.
TEST_F(FontTest, OverfullSheetStaysInsideTheTables) {
  const uint32_t width = 1000, height = 3;
  VQImageRef* img = Image(width, height);
  auto* px = static_cast<uint8_t*>(img->m_pixmap->Lock(nullptr));
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = px + (size_t(y) * width + x) * 4;
      // Top row (stored last): marker at even x, glyph pixels at odd x, and the last pixel a
      // glyph pixel (width is even, so x = 999 is odd and runs to the edge).
      const bool marker = y != height - 1 || x % 2 == 0 || x == 0;
      p[0] = marker ? 255 : 10;
      p[1] = 0;
      p[2] = marker ? 255 : 10;
      p[3] = 255;
    }
  VQFont f;
  ASSERT_TRUE(f.BuildGlyphs(img));
  EXPECT_EQ(f.m_glyphCount, VQFONT_MAX_GLYPHS);
  EXPECT_EQ(f.m_glyphHeight, height);  // column 0 is marker on every row
  EXPECT_EQ(f.m_glyphX[0], 1u);
  EXPECT_EQ(f.m_glyphWidth[0], 1u);
  delete img;
  // Marker, glyph, marker, glyph to the edge: one glyph.
  VQImageRef* small = Image(4, 1);
  auto* q = static_cast<uint8_t*>(small->m_pixmap->Lock(nullptr));
  for (uint32_t x = 0; x < 4; ++x) q[x * 4] = x % 2 ? 10 : 255;
  VQFont g;
  ASSERT_TRUE(g.BuildGlyphs(small));
  EXPECT_EQ(g.m_glyphCount, 1u);
  EXPECT_EQ(g.TextWidth("!"), 0) << "the second run has no end and is no glyph";
  delete small;
}

TEST_F(FontTest, CharactersPastTheGlyphCountAddNothing) {
  VQFont* f = Font("--last 90");  // space to 'Z'
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->m_glyphCount, 59u);
  EXPECT_EQ(f->TextWidth("az\xE9~"), 0);
  EXPECT_EQ(f->TextWidth("AZ"), W(f, 'A') + W(f, 'Z') + 2);
  RecordingCanvas canvas;
  const int32_t xs[3] = {0, 10, 20}, ys[3] = {0, 0, 0};
  f->DrawGlyphRun(&canvas, "a\xFFZ", 3, xs, ys);
  ASSERT_EQ(canvas.blits.size(), 1u);
  EXPECT_EQ(canvas.blits[0].dx, std::vector<int32_t>{20});
}

TEST_F(FontTest, HighBytesAreCharactersNotNegativeIndices) {
  VQFont* f = Font();
  ASSERT_NE(f, nullptr);
  EXPECT_GT(f->TextWidth("\xE9"), 0);
  EXPECT_EQ(f->TextWidth("\xE9"), W(f, '\xE9') + 1);
}

TEST_F(FontTest, MeasureEdgeCases) {
  VQFont* f = Font();
  ASSERT_NE(f, nullptr);
  const int32_t gh = int32_t(f->m_glyphHeight);
  // A tab after one character moves to the first stop not below its end.
  const int32_t end = W(f, 'A') + 1, stop = int32_t(f->m_tabStops[1]);
  ASSERT_LE(end, stop);
  EXPECT_EQ(f->TextWidth("A\t"), stop);
  // Two lines of two characters: the first without its last spacing, the second in full.
  int32_t w, h;
  f->MeasureText("AB\nCD", &w, &h);
  const int32_t first = W(f, 'A') + W(f, 'B') + 1, second = W(f, 'C') + W(f, 'D') + 2;
  EXPECT_EQ(w, std::max(first, second));
  EXPECT_EQ(h, 2 * gh + 2);
  f->MeasureText("WW\ni", &w, &h);
  EXPECT_EQ(w, 2 * W(f, 'W') + 1);
  // Control bytes add nothing; a hidden span is not measured.
  EXPECT_EQ(f->TextWidth("A\x01\x03\x7f" "B"), f->TextWidth("AB") + W(f, '\x7f') + 1);
  EXPECT_EQ(f->TextWidth("A\x02XYZ\x02" "B"), f->TextWidth("AB"));
  f->MeasureText(nullptr, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  // Tab stops set by the caller; a tab beyond the last stop leaves x.
  const uint32_t stops[2] = {5, 100};
  f->SetTabStops(stops, 2);
  EXPECT_EQ(f->TextWidth("\t"), 5);
}

TEST_F(FontTest, LongRunsAreDrawnInBatchesOfFifty) {
  VQFont* f = Font();
  ASSERT_NE(f, nullptr);
  const std::string text(120, 'x');
  RecordingCanvas canvas;
  f->DrawToCanvas(&canvas, 0, 0, text.c_str());
  ASSERT_EQ(canvas.blits.size(), 3u);
  EXPECT_EQ(canvas.blits[0].dx.size(), 50u);
  EXPECT_EQ(canvas.blits[1].dx.size(), 50u);
  EXPECT_EQ(canvas.blits[2].dx.size(), 20u);
  EXPECT_EQ(canvas.blits[2].dx.back(), 119 * (W(f, 'x') + 1));
  canvas.blits.clear();
  std::vector<int32_t> xs(120), ys(120, 0);
  for (int i = 0; i < 120; ++i) xs[i] = i;
  f->DrawGlyphRun(&canvas, text.c_str(), 120, xs.data(), ys.data());
  ASSERT_EQ(canvas.blits.size(), 3u);
  EXPECT_EQ(canvas.blits[2].dx.size(), 20u);
  // An empty text still draws its (empty) first batch.
  canvas.blits.clear();
  f->DrawToCanvas(&canvas, 0, 0, "");
  ASSERT_EQ(canvas.blits.size(), 1u);
  EXPECT_TRUE(canvas.blits[0].dx.empty());
  // One-line drawing passes over byte 2 and draws what lies between.
  canvas.blits.clear();
  f->DrawToCanvas(&canvas, 0, 0, "a\x02" "b\x02" "c");
  EXPECT_EQ(canvas.AllParts(&Blit::dx).size(), 3u);
}

class LayoutTest : public FontTest {
 protected:
  void SetUp() override {
    FontTest::SetUp();
    f = Font();
    ASSERT_NE(f, nullptr);
    gh = int32_t(f->m_glyphHeight);
  }
  // Lays the text out in the rectangle and gives the glyph destinations.
  void Lay(const char* text, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t first = 0, uint32_t align = 0) {
    canvas.blits.clear();
    const int32_t pos[2] = {x, y}, size[2] = {w, h};
    f->DrawInRect(&canvas, text, pos, size, first, align);
    dx = canvas.AllParts(&Blit::dx);
    dy = canvas.AllParts(&Blit::dy);
    sx = canvas.AllParts(&Blit::sx);
  }
  int32_t Word(const char* w) const {
    int32_t width, height;
    f->WordWidth(w, &width, &height);
    return width;
  }
  VQFont* f = nullptr;
  int32_t gh = 0;
  RecordingCanvas canvas;
  std::vector<int32_t> dx, dy, sx;
};

TEST_F(LayoutTest, WordsWrapToTheNextLineLowerByGlyphHeightPlusTwo) {
  const int32_t width = Word("ab") + W(f, ' ') + 1 + Word("cd") + 2;
  Lay("ab cd ef", 10, 100, width, 200);
  ASSERT_EQ(dx.size(), 7u);  // a, b, space, c, d, e, f
  const int32_t top = 100 + 200 - gh;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(dy[i], top) << i;
  EXPECT_EQ(dx[0], 10);
  EXPECT_EQ(dx[5], 10);
  EXPECT_EQ(dy[5], top - gh - 2);
  EXPECT_EQ(dy[6], top - gh - 2);
}

TEST_F(LayoutTest, RightAlignmentEndsOnePixelAndOneSpacingLeftOfTheEdge) {
  Lay("abc", 0, 0, 200, 100, 0, VQTEXT_RIGHT);
  ASSERT_EQ(dx.size(), 3u);
  EXPECT_EQ(dx[2] + W(f, 'c'), 200 - 1 - 1);
  Lay("abc", 0, 0, 200, 100, 0, VQTEXT_CENTRE);
  EXPECT_EQ(dx[0], (200 - (Word("abc") + 1)) / 2);
}

TEST_F(LayoutTest, AWordWiderThanTheRectangleIsCutAndContinues) {
  const int32_t width = 3 * (W(f, 'm') + 1);
  Lay("mmmmmmmm", 0, 0, width, 300);
  ASSERT_EQ(dx.size(), 8u);
  // Cut where the pen reaches the right edge: three glyphs, the rest on the next lines.
  EXPECT_EQ(dy[2], 300 - gh);
  EXPECT_EQ(dy[3], 300 - 2 * gh - 2);
  EXPECT_EQ(dx[3], 0);
  EXPECT_EQ(dy[6], 300 - 3 * gh - 4);
}

TEST_F(LayoutTest, FirstLineScrollsAndTheBottomStopsDrawing) {
  Lay("a\nb\nc\nd", 0, 0, 200, 300, 2);
  ASSERT_EQ(dx.size(), 2u);  // c and d
  EXPECT_EQ(dy[0], 300 - gh);
  EXPECT_EQ(sx[0], int32_t(f->m_glyphX['c' - 32]));
  // Room for two lines only: the rest is not drawn.
  Lay("a\nb\nc\nd", 0, 0, 200, 2 * gh + 2);
  EXPECT_EQ(dx.size(), 2u);
}

TEST_F(LayoutTest, HiddenSpansAreNeitherMeasuredNorDrawn) {
  Lay("a\x02zzz\x02" "b", 0, 0, 200, 100);
  ASSERT_EQ(dx.size(), 2u);
  EXPECT_EQ(dx[1], W(f, 'a') + 1);
  EXPECT_EQ(f->LineWidth("a\x02zzz\x02" "b", 200), W(f, 'a') + W(f, 'b') + 2);
  // Tabs move to the stops measured from the rectangle's left.
  Lay("a\tb", 50, 0, 200, 100);
  ASSERT_EQ(dx.size(), 2u);
  EXPECT_EQ(dx[1], 50 + int32_t(f->m_tabStops[1]));
}

TEST_F(LayoutTest, ANarrowRectangleEnds) {
  Lay("some words that never fit", 0, 0, 0, 100);
  Lay("some words", 0, 0, -5, 100);
  SUCCEED();
}

TEST_F(FontTest, DrawAtPointCentresTheTextOnTheProjectedPoint) {
  VQFont* f = Font();
  ASSERT_NE(f, nullptr);
  VQCamera camera;
  camera.m_projection = 0;  // orthographic: the point's x and z map straight to the view
  camera.SetViewSize(1.5f, 1.0f);
  VQViewport viewport;
  viewport.m_x = 0;
  viewport.m_y = 0;
  viewport.m_width = 400;
  viewport.m_height = 300;
  viewport.m_camera = &camera;
  RecordingCanvas canvas;
  f->DrawAtPoint(&canvas, &viewport, VQVector(0, 5, 0), "WW", true);
  ASSERT_EQ(canvas.blits.size(), 1u);
  const std::vector<int32_t> dx = canvas.AllParts(&Blit::dx);
  ASSERT_EQ(dx.size(), 2u);
  const int32_t width = f->TextWidth("WW");
  EXPECT_NEAR(dx[0] + width / 2.0, 200.0, 1.0);
  EXPECT_EQ(canvas.AllParts(&Blit::dy)[0], 150);
  canvas.blits.clear();
  f->DrawAtPoint(&canvas, &viewport, VQVector(0, -5, 0), "WW", true);  // behind the camera
  EXPECT_TRUE(canvas.blits.empty());
  camera.SetViewSize(1.5f, 0.0f);  // a degenerate view projects nowhere: nothing is drawn
  f->DrawAtPoint(&canvas, &viewport, VQVector(0, 5, 1), "WW", true);
  EXPECT_TRUE(canvas.blits.empty());
  viewport.m_camera = nullptr;
}

TEST_F(FontTest, ManagerCachesByNameAndHoldsThirtyTwo) {
  VQFont* f = Font();
  ASSERT_NE(f, nullptr);
  std::string upper = Path("FONT.TGA");
  // The same file under another spelling of its name is not the same cache key unless the
  // lower-cased names match: the folder part is lower-cased too.
  EXPECT_EQ(m_fonts.Load(Path("font.tga").c_str()), f);
  for (int i = 1; i < 32; ++i) {
    const std::string name = "f" + std::to_string(i) + ".tga";
    fs::copy_file(Path("font.tga"), Path(name));
    ASSERT_NE(m_fonts.Load(Path(name).c_str()), nullptr) << i;
  }
  fs::copy_file(Path("font.tga"), Path("f32.tga"));
  EXPECT_EQ(m_fonts.Load(Path("f32.tga").c_str()), nullptr);
  EXPECT_EQ(m_fonts.m_count, 32u);
  EXPECT_EQ(m_fonts.Load(Path("missing.tga").c_str()), nullptr);
  m_fonts.ReleaseAll();
  EXPECT_EQ(m_fonts.m_count, 0u);
}

TEST_F(FontTest, TextureFontsDrawIntoImages) {
  VQFont* f = Font("", 16, true, "tex.tga");
  ASSERT_NE(f, nullptr);
  ASSERT_NE(f->m_image->m_texture, nullptr);
  EXPECT_EQ(f->m_glyphCount, 224u);
  std::vector<uint8_t> px(64 * 32 * 4, 0);
  for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
  VQTexture* t = m_device.m_textureManager->CreateEmpty(px.data(), 64, 32, VQPF_BGRA8888, nullptr, 0);
  ASSERT_NE(t, nullptr);
  VQImageRef target(t);
  --t->m_refCount;
  f->DrawToImage(&target, 2, 2, "I");
  float rgba[4];
  int lit = 0;
  for (uint32_t y = 0; y < 32; ++y)
    for (uint32_t x = 0; x < 64; ++x) lit += target.GetPixel(rgba, x, y)[0] > 0.5f;
  EXPECT_GT(lit, 5);
}

}  // namespace
}  // namespace overlay_test
