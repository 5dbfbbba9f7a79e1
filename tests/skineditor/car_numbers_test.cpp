// Race numbers painted into skin images with the generated car-number font: the digits
// written, the line and stacked styles, the places, and images that cannot take them.
#include <algorithm>
#include <memory>

#include "QVX/shell/CarNumbers.h"
#include "tests/skineditor/skin_support.h"
#include "Zentri/devices/overlay/VQFont.h"

namespace skin_test {
namespace {

TEST(CarNumberDigits, TwoDigitsThreeFromOneHundred) {
  const struct {
    int32_t number;
    const char* digits;
  } cases[] = {{7, "07"},    {0, "00"},     {42, "42"}, {100, "100"},
               {999, "999"}, {1234, "234"}, {-5, "00"}};
  for (const auto& c : cases) {
    char out[4];
    CarNumber_Digits(c.number, out);
    EXPECT_STREQ(out, c.digits) << c.number;
  }
}

// The box of the pixels that differ from the background (left, bottom, right, top inclusive).
struct Box {
  int32_t left = 1 << 20, bottom = 1 << 20, right = -1, top = -1;
  bool Empty() const { return right < 0; }
  int32_t Width() const { return right - left + 1; }
  int32_t Height() const { return top - bottom + 1; }
};

class CarNumbers : public SkinFixture {
 protected:
  void SetUp() override {
    SkinFixture::SetUp();
    const std::string folder = std::string(VQ_GAME_DIR) + "/Data/Maps_cars";
    ASSERT_TRUE(m_textures->PushFolder(folder.c_str(), false));
    VQTexture* t = m_textures->Load("font_car256_std.tga", 0, true, false, 4096, 4096);
    m_textures->PopFolder();
    ASSERT_NE(t, nullptr);
    m_image = std::make_unique<VQImageRef>(t);
    m_textures->Release(t);  // the handle holds the font's reference
    ASSERT_TRUE(m_font.BuildGlyphs(m_image.get()));
    ASSERT_GE(m_font.m_glyphCount, 40u);  // four styles of ten digits
  }
  void TearDown() override {
    m_font.m_image = nullptr;
    m_image.reset();
    SkinFixture::TearDown();
  }
  Box Changed(VQTexture* t, int32_t x0, int32_t x1) {
    Box b;
    for (int32_t y = 0; y < 256; ++y)
      for (int32_t x = x0; x < x1; ++x)
        if (At(t, uint32_t(x), uint32_t(y)) != Px{0, 0, 0, 255}) {
          b.left = std::min(b.left, x);
          b.right = std::max(b.right, x);
          b.bottom = std::min(b.bottom, y);
          b.top = std::max(b.top, y);
        }
    return b;
  }
  VQFont m_font;
  std::unique_ptr<VQImageRef> m_image;
};

TEST_F(CarNumbers, LineStylesAreCentredOnEachPlace) {
  VQTexture* t = Solid(256, 256, {0, 0, 0, 255});
  ASSERT_NE(t, nullptr);
  const CarNumberPlace places[2] = {{64, 128, 0, true}, {192, 100, 0, true}};
  ASSERT_TRUE(CarNumber_Paint(t, 7, places, 2, &m_font, nullptr));
  const Box a = Changed(t, 0, 128), b = Changed(t, 128, 256);
  ASSERT_FALSE(a.Empty());
  ASSERT_FALSE(b.Empty());
  EXPECT_GT(a.Width(), a.Height());  // two digits side by side
  EXPECT_NEAR((a.left + a.right) / 2.0, 64.0, 4.0);
  EXPECT_NEAR((a.bottom + a.top) / 2.0, 128.0, 4.0);
  EXPECT_NEAR((b.bottom + b.top) / 2.0, 100.0, 4.0);
  EXPECT_EQ(b.Width(), a.Width());  // the same digits at both places
  SkinTexture_Release(t);
}

TEST_F(CarNumbers, StackedStylesPutOneDigitALine) {
  VQTexture* t = Solid(256, 256, {0, 0, 0, 255});
  const CarNumberPlace place{128, 128, 1, true};
  ASSERT_TRUE(CarNumber_Paint(t, 100, &place, 1, &m_font, nullptr));
  const Box b = Changed(t, 0, 256);
  ASSERT_FALSE(b.Empty());
  EXPECT_GT(b.Height(), b.Width());                              // three digits one above the other
  EXPECT_GE(b.Height(), 3 * int32_t(m_font.m_glyphHeight) - 6);  // and not over each other
  EXPECT_NEAR((b.bottom + b.top) / 2.0, 128.0, 8.0);
  SkinTexture_Release(t);
}

TEST_F(CarNumbers, PlacesWithoutTheirFontAndOtherImagesPaintNothing) {
  VQTexture* t = Solid(256, 256, {0, 0, 0, 255});
  const CarNumberPlace small{128, 128, 0, false};
  EXPECT_TRUE(CarNumber_Paint(t, 12, &small, 1, &m_font, nullptr));
  EXPECT_TRUE(Changed(t, 0, 256).Empty());
  SkinTexture_Release(t);

  std::vector<uint8_t> px(16 * 16 * 2, 0);
  VQTexture* other = m_textures->CreateEmpty(px.data(), 16, 16, VQPF_RGB565, nullptr, 0);
  ASSERT_NE(other, nullptr);
  const CarNumberPlace place{8, 8, 0, true};
  EXPECT_FALSE(CarNumber_Paint(other, 12, &place, 1, &m_font, &m_font));
  SkinTexture_Release(other);
}

}  // namespace
}  // namespace skin_test
