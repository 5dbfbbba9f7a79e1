// Painting tools on a small canvas: brushes in a colour, the eraser stencil, icon turns and
// flips, the paint area's texel mapping, and stamping into an edit layer.
#include "QVX/SkinEditor/SkinBrush.h"
#include "tests/skineditor/skin_support.h"

namespace skin_test {
namespace {

class Brushes : public SkinFixture {
 protected:
  // A 3 x 2 image: alpha 255 in the left column, 0 elsewhere, distinct colours per pixel.
  VQTexture* Shape() {
    VQTexture* t = Solid(3, 2, {0, 0, 0, 0});
    for (uint32_t y = 0; y < 2; ++y)
      for (uint32_t x = 0; x < 3; ++x)
        Set(t, x, y, {uint8_t(10 * x), uint8_t(10 * y), 7, uint8_t(x == 0 ? 255 : 0)});
    return t;
  }
};

TEST_F(Brushes, BrushTakesTheColourAndTheImageAlpha) {
  VQTexture* shape = Shape();
  VQTexture* brush = SkinBrush_Build(m_textures, shape, 1, 2, 3, false);
  ASSERT_NE(brush, nullptr);
  EXPECT_EQ(At(brush, 0, 1), (Px{1, 2, 3, 255}));
  EXPECT_EQ(At(brush, 2, 1), (Px{1, 2, 3, 0}));
  VQTexture* eraser = SkinBrush_Build(m_textures, shape, 253, 253, 253, true);
  EXPECT_EQ(At(eraser, 0, 0)[3], 0);    // the shape clears
  EXPECT_EQ(At(eraser, 1, 0)[3], 255);  // outside it nothing changes
  for (VQTexture* t : {shape, brush, eraser}) SkinTexture_Release(t);
  EXPECT_EQ(SkinBrush_Build(m_textures, nullptr, 0, 0, 0, false), nullptr);
}

TEST_F(Brushes, IconTransformFlipsAndTurns) {
  VQTexture* shape = Shape();
  struct Case {
    bool flipX, flipY;
    uint32_t turns;
    uint32_t w, h;
    uint32_t x, y;  // where the source pixel (0, 0) lands
  };
  const Case cases[] = {
      {false, false, 0, 3, 2, 0, 0}, {true, false, 0, 3, 2, 2, 0},  {false, true, 0, 3, 2, 0, 1},
      {false, false, 1, 2, 3, 1, 0}, {false, false, 2, 3, 2, 2, 1}, {false, false, 4, 3, 2, 0, 0},
  };
  for (const Case& c : cases) {
    VQTexture* t = SkinBrush_Transform(m_textures, shape, c.flipX, c.flipY, c.turns);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->m_width, c.w);
    EXPECT_EQ(t->m_height, c.h);
    EXPECT_EQ(At(t, c.x, c.y), (Px{0, 0, 7, 255})) << c.flipX << c.flipY << c.turns;
    SkinTexture_Release(t);
  }
  SkinTexture_Release(shape);
}

TEST_F(Brushes, TexelMappingFollowsZoomAndScroll) {
  uint32_t tx = 0, ty = 0;
  EXPECT_TRUE(SkinBrush_Texel(10, 20, 1, 0, 0, 256, 256, &tx, &ty));
  EXPECT_EQ(tx, 10u);
  EXPECT_EQ(ty, 20u);
  EXPECT_TRUE(SkinBrush_Texel(10, 21, 4, 100, 50, 256, 256, &tx, &ty));
  EXPECT_EQ(tx, 102u);
  EXPECT_EQ(ty, 55u);
  EXPECT_FALSE(SkinBrush_Texel(-1, 5, 1, 0, 0, 256, 256, &tx, &ty));  // left of the area
  EXPECT_FALSE(SkinBrush_Texel(5, -3, 2, 0, 0, 256, 256, &tx, &ty));
  EXPECT_FALSE(SkinBrush_Texel(256, 5, 1, 0, 0, 256, 256, &tx, &ty));
  EXPECT_FALSE(SkinBrush_Texel(5, 5, 0, 0, 0, 256, 256, &tx, &ty));
}

TEST_F(Brushes, StampPaintsOnlyOnceABrushIsChosen) {
  VQTextureLayer layer("EditLayer", "", m_textures, m_textures, nullptr, nullptr, true);
  SkinBrushState state;
  EXPECT_FALSE(SkinBrush_Stamp(state, &layer, 100, 100));
  EXPECT_EQ(At(layer.m_paint, 100, 100), kEmpty);

  state.Set(Solid(4, 4, {0, 255, 0, 255}), false);
  EXPECT_EQ(state.notReady, 0u);
  ASSERT_TRUE(SkinBrush_Stamp(state, &layer, 100, 100));
  // Centred: the 4 x 4 brush covers 98..101.
  EXPECT_EQ(At(layer.m_paint, 98, 98), (Px{0, 255, 0, 255}));
  EXPECT_EQ(At(layer.m_paint, 101, 101), (Px{0, 255, 0, 255}));
  EXPECT_EQ(At(layer.m_paint, 102, 100), kEmpty);
  EXPECT_EQ(At(layer.m_view->m_texture, 100, 100), (Px{0, 255, 0, 255}));
  EXPECT_FALSE(layer.m_valid);

  VQTexture* shape = Solid(2, 2, {0, 0, 0, 255});
  state.Set(SkinBrush_Build(m_textures, shape, 253, 253, 253, true), true);
  SkinTexture_Release(shape);
  ASSERT_TRUE(SkinBrush_Stamp(state, &layer, 100, 100));
  EXPECT_EQ(At(layer.m_paint, 99, 99), kEmpty);
  EXPECT_EQ(At(layer.m_paint, 100, 100), kEmpty);
  EXPECT_EQ(At(layer.m_paint, 98, 98), (Px{0, 255, 0, 255}));
  state.Release();
}

}  // namespace
}  // namespace skin_test
