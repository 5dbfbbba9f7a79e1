// overlay-demo headless through the OpenGL device: its last frame, checked by regions. The
// demo's script drags the panel, clicks the slider and an image-list entry and rests the
// pointer on the toggle until the tooltip shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "Zentri/resources/VQImageFile.h"
#include "tests/overlay/font_sheet_support.h"
#include "tests/support/run_tool.h"

namespace overlay_test {
namespace {

class DemoShot : public SheetDir {
 protected:
  void SetUp() override {
    SheetDir::SetUp();
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
  void TearDown() override {
    std::free(m_rgb);
    std::free(m_palette);
    SheetDir::TearDown();
  }
  // Red, green, blue of the canvas point (x, y), y upwards from the bottom row.
  int C(int32_t x, int32_t y, int c) const { return m_rgb[3 * (size_t(479 - y) * m_width + size_t(x)) + c]; }
  // Pixels in the canvas rectangle [x0, x1) x [y0, y1) for which the test holds.
  int Count(int32_t x0, int32_t y0, int32_t x1, int32_t y1, const std::function<bool(int, int, int)>& test) const {
    int n = 0;
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) n += test(C(x, y, 0), C(x, y, 1), C(x, y, 2));
    return n;
  }
  uint8_t* m_rgb = nullptr;
  uint8_t* m_palette = nullptr;
  uint32_t m_width = 0, m_height = 0;
};

bool Bright(int r, int g, int b) { return r > 190 && g > 190 && b > 190; }
bool Gold(int r, int g, int b) { return r > 180 && g > 140 && b < 140; }

TEST_F(DemoShot, WindowsTextsAndElementsAppearWherePlaced) {
  const std::string shot = Path("shot.jpg");
  std::string out;
  ASSERT_EQ(vqtest::RunTool("overlay-demo --frames 100 --shot " + shot, &out), 0) << out;
  uint32_t format = 0;
  m_rgb = VQimage_ReadFile(shot.c_str(), &m_width, &m_height, &format, &m_palette);
  ASSERT_NE(m_rgb, nullptr);
  ASSERT_EQ(m_width, 640u);
  ASSERT_EQ(m_height, 480u);

  // The panel was dragged by (16, -16): its blue inside is at the new place, and the strip it
  // left is the cleared background.
  EXPECT_GT(C(150, 200, 2), C(150, 200, 0) + 40);
  EXPECT_LT(C(20, 420, 0) + C(20, 420, 1) + C(20, 420, 2), 150);
  // Its gold title, centred near the top, and its white wrapped paragraph.
  EXPECT_GT(Count(60, 395, 260, 420, Gold), 30);
  EXPECT_GT(Count(40, 250, 285, 350, Bright), 200);
  EXPECT_EQ(Count(40, 220, 285, 245, Bright), 0) << "the paragraph ends above its bottom";
  // The controls window (grey), the slider's gold knob at the clicked end of its range.
  EXPECT_NEAR(C(560, 420, 0), 48, 20);
  EXPECT_TRUE(Gold(C(432, 392, 0), C(432, 392, 1), C(432, 392, 2)));
  EXPECT_FALSE(Gold(C(350, 392, 0), C(350, 392, 1), C(350, 392, 2)));
  // The toggle (green) and the image list with its second entry selected (white border).
  EXPECT_GT(C(508, 350, 1), C(508, 350, 0) + 80);
  EXPECT_GT(C(454, 332, 2), C(454, 332, 0) + 80);
  EXPECT_TRUE(Bright(C(443, 332, 0), C(443, 332, 1), C(443, 332, 2)));
  EXPECT_FALSE(Bright(C(417, 332, 0), C(417, 332, 1), C(417, 332, 2)));
  // The tooltip bar at the pointer, moved left to end at the canvas edge: its text reaches past
  // the controls window; the bar's dark blue lies over the toggle.
  EXPECT_GT(Count(580, 362, 640, 380, Bright), 20);
  EXPECT_GT(C(508, 371, 2), C(508, 371, 1));
  // The overlay cursor: its white arrow below the pointer's tip, over the green toggle.
  EXPECT_TRUE(Bright(C(522, 354, 0), C(522, 354, 1), C(522, 354, 2)));
  // The info window: the table's columns on tab stops with nothing between them.
  EXPECT_GT(Count(28, 75, 80, 140, Bright), 60);
  EXPECT_GT(Count(168, 75, 200, 140, Bright), 60);
  EXPECT_GT(Count(248, 75, 300, 140, Bright), 60);
  EXPECT_EQ(Count(85, 75, 160, 140, Bright), 0);
  // The centred line: its gold pixels are balanced about the window's middle (x 272).
  int32_t left = 640, right = 0;
  for (int32_t y = 20; y < 45; ++y)
    for (int32_t x = 16; x < 528; ++x)
      if (Gold(C(x, y, 0), C(x, y, 1), C(x, y, 2))) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  EXPECT_NEAR((left + right) / 2, 272, 6) << left << ".." << right;
  // The custom element's cyan bar.
  EXPECT_GT(C(444, 104, 1), 150);
  EXPECT_LT(C(444, 104, 0), 80);
}

TEST_F(DemoShot, MissingFontsAreACleanFailure) {
  std::string out;
  EXPECT_EQ(vqtest::RunTool("overlay-demo --frames 2 --data " + Path("nothing"), &out), 1) << out;
  EXPECT_NE(out.find("cannot load the fonts"), std::string::npos) << out;
  EXPECT_EQ(vqtest::RunTool("overlay-demo --bogus", &out), 2);
}

}  // namespace
}  // namespace overlay_test
