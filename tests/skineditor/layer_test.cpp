// Texture layers: compositing with alpha, the undo ring, clearing, brush stamping with
// clipping, and the saved layer images (including files that must be refused).
#include "tests/skineditor/skin_support.h"

namespace skin_test {
namespace {

class Layers : public SkinFixture {};

TEST_F(Layers, CompositesFillAlphaAndPaintBottomUp) {
  VQTextureLayer base("WireLayer", "", m_textures, m_textures, nullptr, nullptr, false);
  VQTextureLayer top("EditLayer", "", m_textures, m_textures, &base, nullptr, true);
  base.m_above = &top;
  ASSERT_TRUE(base.Ok());
  ASSERT_TRUE(top.Ok());
  EXPECT_TRUE(top.IsEditLayer());
  EXPECT_FALSE(base.IsEditLayer());

  base.Fill(200, 100, 0);  // opaque orange everywhere
  VQTexture* mask = Solid(256, 256, {0, 0, 0, 255});
  Set(mask, 1, 0, {0, 0, 0, 0});  // the base does not show at (1, 0)
  ASSERT_TRUE(base.SetAlpha(mask));
  SkinTexture_Release(mask);
  Set(top.m_paint, 0, 0, {0, 0, 255, 255});  // opaque blue
  Set(top.m_paint, 2, 0, {0, 0, 255, 51});   // 20 % blue
  top.Invalidate();
  top.Composite(true);

  EXPECT_EQ(At(top.m_composite, 0, 0), (Px{0, 0, 255, 255}));
  EXPECT_EQ(At(top.m_composite, 1, 0), (Px{200, 100, 0, 0}));  // alpha comes from the base
  EXPECT_EQ(At(top.m_composite, 2, 0), (Px{160, 80, 51, 255}));
  EXPECT_EQ(At(top.m_composite, 3, 0), (Px{200, 100, 0, 255}));  // empty paint shows the base
  EXPECT_EQ(At(top.m_view->m_texture, 2, 0), At(top.m_composite, 2, 0));
  EXPECT_TRUE(top.IsValid());

  // A change below invalidates everything above and the next composite rebuilds it.
  base.Fill(0, 255, 0);
  EXPECT_FALSE(top.IsValid());
  top.Composite(false);
  EXPECT_EQ(At(top.m_composite, 3, 0), (Px{0, 255, 0, 255}));
}

TEST_F(Layers, SetPatternAndAlphaRefuseImagesOfAnotherSize) {
  VQTextureLayer layer("StripeLayer", "", m_textures, m_textures, nullptr, nullptr, false);
  layer.Fill(10, 20, 30);
  VQTexture* small = Solid(128, 128, {255, 255, 255, 255});
  EXPECT_FALSE(layer.SetPattern(small));
  EXPECT_FALSE(layer.SetAlpha(small));
  SkinTexture_Release(small);
  EXPECT_EQ(At(layer.m_composite, 200, 200), (Px{10, 20, 30, 255}));
  EXPECT_EQ(layer.m_alpha, nullptr);
}

TEST_F(Layers, UndoRightAfterConstructionGivesTheEmptyImage) {
  VQTextureLayer layer("EditLayer", "", m_textures, m_textures, nullptr, nullptr, true);
  Set(layer.m_paint, 5, 5, {1, 2, 3, 255});
  layer.Undo();
  EXPECT_EQ(At(layer.m_paint, 5, 5), kEmpty);
  EXPECT_EQ(At(layer.m_composite, 5, 5), kEmpty);
}

TEST_F(Layers, UndoStepsBackFifteenStatesThenRepeatsTheOldest) {
  VQTextureLayer layer("EditLayer", "", m_textures, m_textures, nullptr, nullptr, true);
  for (uint8_t k = 1; k <= 16; ++k) {
    layer.SaveUndo();
    Set(layer.m_paint, 0, 0, {k, 0, 0, 255});
  }
  for (uint8_t k = 15; k >= 1; --k) {
    layer.Undo();
    ASSERT_EQ(At(layer.m_paint, 0, 0)[0], k) << "undo back to paint " << int(k);
    EXPECT_EQ(At(layer.m_view->m_texture, 0, 0)[0], k);
  }
  for (int extra = 0; extra < 3; ++extra) {
    layer.Undo();
    EXPECT_EQ(At(layer.m_paint, 0, 0)[0], 1) << "the oldest saved state stays";
  }
}

TEST_F(Layers, ClearIsUndoableOnEditLayersAndClearsFillAndAlpha) {
  VQTextureLayer edit("EditLayer", "", m_textures, m_textures, nullptr, nullptr, true);
  Set(edit.m_paint, 7, 7, {9, 9, 9, 255});
  edit.Clear();
  EXPECT_EQ(At(edit.m_paint, 7, 7), kEmpty);
  EXPECT_FALSE(edit.m_valid);
  edit.Undo();
  EXPECT_EQ(At(edit.m_paint, 7, 7), (Px{9, 9, 9, 255}));

  VQTextureLayer fill("StripeLayer", "", m_textures, m_textures, nullptr, nullptr, false);
  fill.Fill(1, 2, 3);
  VQTexture* mask = Solid(256, 256, {0, 0, 0, 255});
  fill.SetAlpha(mask);
  SkinTexture_Release(mask);
  fill.Clear();
  EXPECT_EQ(At(fill.m_fill, 0, 0), kEmpty);
  EXPECT_EQ(At(fill.m_alpha, 0, 0), (Px{0, 0, 0, 0}));
  fill.Undo();  // no undo without an edit layer
  EXPECT_EQ(At(fill.m_fill, 0, 0), kEmpty);
}

TEST_F(Layers, PaintImageClipsAtEveryEdge) {
  VQTexture* target = Solid(256, 256, {0, 0, 0, 0});
  VQTexture* brush = Solid(16, 16, {255, 0, 0, 255});
  VQTextureLayer::PaintImage(target, -10, -10, brush, 253, 253, 253, false);
  EXPECT_EQ(At(target, 5, 5), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(target, 6, 6), (Px{0, 0, 0, 0}));
  VQTextureLayer::PaintImage(target, 250, 250, brush, 253, 253, 253, false);
  EXPECT_EQ(At(target, 250, 250), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(target, 255, 255), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(target, 249, 249), (Px{0, 0, 0, 0}));
  // Entirely outside, and at extreme positions: nothing drawn, nothing broken.
  VQTextureLayer::PaintImage(target, 256, 0, brush, 253, 253, 253, false);
  VQTextureLayer::PaintImage(target, -16, 0, brush, 253, 253, 253, false);
  VQTextureLayer::PaintImage(target, INT32_MAX, INT32_MIN, brush, 253, 253, 253, false);
  EXPECT_EQ(At(target, 0, 0), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(target, 100, 100), (Px{0, 0, 0, 0}));
  SkinTexture_Release(target);
  SkinTexture_Release(brush);
}

TEST_F(Layers, PaintImageBlendsSkipsTheKeyAndErases) {
  VQTexture* target = Solid(4, 1, {100, 100, 100, 100});
  VQTexture* brush = Solid(4, 1, {200, 0, 0, 255});
  Set(brush, 1, 0, {0, 0, 200, 102});                                          // 40 %
  Set(brush, 2, 0, {SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, 255});  // key colour
  VQTextureLayer::PaintImage(target, 0, 0, brush, 253, 253, 253, false);
  EXPECT_EQ(At(target, 0, 0), (Px{200, 0, 0, 255}));
  EXPECT_EQ(At(target, 1, 0), (Px{60, 60, 140, 202}));  // alpha rises by the brush alpha
  EXPECT_EQ(At(target, 2, 0), (Px{100, 100, 100, 100}));

  VQTexture* eraser = Solid(4, 1, {253, 253, 253, 255});
  Set(eraser, 0, 0, {253, 253, 253, 0});  // the stencil clears where its alpha is 0
  VQTextureLayer::PaintImage(target, 0, 0, eraser, 253, 253, 253, true);
  EXPECT_EQ(At(target, 0, 0), kEmpty);
  EXPECT_EQ(At(target, 1, 0), (Px{60, 60, 140, 202}));
  for (VQTexture* t : {target, brush, eraser}) SkinTexture_Release(t);
}

TEST_F(Layers, SavedLayersLoadBackAndUnfitFilesAreRefused) {
  {
    VQTextureLayer edit("EditLayer", "", m_textures, m_textures, nullptr, nullptr, true);
    VQTextureLayer wire("WireLayer", "", m_textures, m_textures, nullptr, nullptr, false);
    edit.m_folder = wire.m_folder = Dir();
    Set(edit.m_paint, 3, 4, {1, 2, 3, 128});
    wire.Fill(9, 8, 7);
    VQTexture* mask = Solid(256, 256, {0, 0, 0, 77});
    wire.SetAlpha(mask);
    SkinTexture_Release(mask);
    ASSERT_TRUE(edit.Save("junior_std\\3"));
    ASSERT_TRUE(wire.Save("junior_std\\0"));
  }
  EXPECT_TRUE(fs::exists(m_dir / "junior_std" / "3_Edit.tga"));
  EXPECT_TRUE(fs::exists(m_dir / "junior_std" / "0_UnderLayer.tga"));
  EXPECT_TRUE(fs::exists(m_dir / "junior_std" / "0_Alpha.tga"));

  VQTextureLayer edit("EditLayer", "", m_textures, m_textures, nullptr, nullptr, true);
  edit.m_folder = Dir();
  EXPECT_EQ(edit.Load("junior_std\\3"), 1u);
  EXPECT_EQ(At(edit.m_paint, 3, 4), (Px{1, 2, 3, 128}));
  VQTextureLayer wire("WireLayer", "", m_textures, m_textures, nullptr, nullptr, false);
  wire.m_folder = Dir();
  VQTexture* mask = Solid(256, 256, {0, 0, 0, 255});
  wire.SetAlpha(mask);  // the alpha file is read only into an existing alpha image
  SkinTexture_Release(mask);
  EXPECT_EQ(wire.Load("junior_std\\0"), 2u);
  EXPECT_EQ(At(wire.m_fill, 0, 0), (Px{9, 8, 7, 255}));
  EXPECT_EQ(At(wire.m_alpha, 0, 0)[3], 77);

  // A file of the wrong size and a file that is no image are refused; the layer stays.
  WriteTga((m_dir / "bad" / "3_Edit.tga").string(), 128, 128, {50, 50, 50, 255});
  std::FILE* f = std::fopen((m_dir / "bad" / "0_UnderLayer.tga").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("not an image at all", f);
  std::fclose(f);
  EXPECT_EQ(edit.Load("bad\\3"), 0u);
  EXPECT_EQ(At(edit.m_paint, 3, 4), (Px{1, 2, 3, 128}));
  EXPECT_EQ(wire.Load("bad\\0"), 0u);
  EXPECT_EQ(At(wire.m_fill, 0, 0), (Px{9, 8, 7, 255}));
}

TEST_F(Layers, LoadAlphaWithAMissingOrUnfitFileLeavesTheLayer) {
  VQTextureLayer layer("WireLayer", "junior\\", m_textures, m_textures, nullptr, nullptr, false);
  layer.m_folder = Dir();
  layer.Fill(5, 5, 5);
  EXPECT_FALSE(layer.LoadAlpha("missing.tga"));
  EXPECT_EQ(layer.m_alpha, nullptr);
  EXPECT_TRUE(layer.m_valid);
  WriteTga((m_dir / "junior" / "small.tga").string(), 64, 64, {0, 0, 0, 0});
  EXPECT_FALSE(layer.LoadAlpha("small.tga"));
  EXPECT_EQ(At(layer.m_composite, 0, 0), (Px{5, 5, 5, 255}));
  WriteTga((m_dir / "junior" / "base.tga").string(), 256, 256, {0, 0, 0, 10});
  EXPECT_TRUE(layer.LoadAlpha("base.tga"));
  EXPECT_EQ(At(layer.m_composite, 0, 0), (Px{5, 5, 5, 10}));
}

}  // namespace
}  // namespace skin_test
