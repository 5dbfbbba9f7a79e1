#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQerror.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A software device opened over a scratch folder of image files made by the test.
class SoftwareImages : public testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Init();
    dir_ = fs::temp_directory_path() / ("vq_tex_" + std::to_string(::getpid()) + "_" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_TRUE(device_.Open(0));
    tm_ = device_.m_textureManager;
    pm_ = device_.m_pixmapManager;
    ASSERT_NE(tm_, nullptr);
    ASSERT_NE(pm_, nullptr);
  }
  void TearDown() override {
    device_.Close();
    g_VQsystem.Shutdown();
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& rel) const { return (dir_ / rel).string(); }
  // Writes a w x h image of one colour (format 7) as the file type of its extension.
  void MakeImage(const std::string& rel, uint32_t w, uint32_t h, uint8_t value = 100) {
    fs::create_directories((dir_ / rel).parent_path());
    Bytes px(size_t(w) * h * 3, value);
    ASSERT_TRUE(VQimage_WriteFile(px.data(), w, h, w, VQPF_BGR888, nullptr, true, Path(rel).c_str(),
                                  VQimage_TypeFromName(rel.c_str()), 0));
  }
  VQSoftwareDisplayDevice device_{1};
  VQTextureManager* tm_ = nullptr;
  VQPixmapManager* pm_ = nullptr;
  fs::path dir_;
};

TEST_F(SoftwareImages, DeviceBasics) {
  EXPECT_STREQ(device_.GetName(), "Software display device");
  EXPECT_EQ(device_.m_kind, 4u);
  EXPECT_EQ(device_.CreateCanvas(0, 0, 640, 480, 32, 0), nullptr);
  EXPECT_EQ(device_.PackColourF(1, 0, 0, 1), 0u);
  EXPECT_EQ(VQcolour_Pack(1, 0, 0, 1), 0xFF0000FFu);
  EXPECT_EQ(device_.GetTextureFormatFor(11), 11u);
  EXPECT_EQ(device_.GetPixmapFormatFor(7), 7u);
  g_VQerror = 0;
  EXPECT_EQ(VQsoftware_GetDisplayDevice(4, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  EXPECT_NE(VQsoftware_GetDisplayDevice(4, 0), nullptr);
  EXPECT_NE(g_VQsystem.GetDevice(4, 0), nullptr);
  // Sampling for later textures: 0 keeps a value.
  device_.SetTextureWrap(0, 1);
  EXPECT_EQ(device_.m_wrapU, 2u);
  EXPECT_EQ(device_.m_wrapV, 1u);
  // Registered while open, unregistered by Close.
  EXPECT_EQ(g_VQsystem.m_displays[g_VQsystem.m_displayCount - 1], &device_);
}

TEST_F(SoftwareImages, PixmapsAndTextures) {
  const uint32_t pixmaps = device_.m_livePixmaps;
  VQPixmap* empty = device_.CreatePixmap(0, 0, 7);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(device_.m_livePixmaps, pixmaps + 1);
  VQPixmap* indexed = device_.CreatePixmap(4, 4, 1);
  ASSERT_NE(indexed, nullptr);
  EXPECT_NE(indexed->m_palette, nullptr);
  VQPixmap* a = device_.CreatePixmap(2, 2, 11);
  VQPixmap* b = device_.CreatePixmap(2, 2, 12);
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(b->CopyFrom(*a));
  VQPixmap* c = device_.CreatePixmap(2, 2, 11);
  static_cast<uint8_t*>(a->Lock(nullptr))[0] = 9;
  EXPECT_TRUE(c->CopyFrom(*a));
  EXPECT_EQ(static_cast<uint8_t*>(c->Lock(nullptr))[0], 9);
  for (VQPixmap* p : {empty, indexed, a, b, c}) device_.DeletePixmap(p);
  EXPECT_EQ(device_.m_livePixmaps, pixmaps);

  g_VQerror = 0;
  EXPECT_EQ(device_.CreateTexture(nullptr, 2, 2, 11, nullptr, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  const Bytes px = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(device_.CreateTexture(px.data(), 2, 0, 11, nullptr, 0), nullptr);
  VQTexture* t = device_.CreateTexture(px.data(), 2, 1, VQPF_BGRA8888, nullptr, 0);
  ASSERT_NE(t, nullptr);
  float rgba[4];
  t->GetPixel(rgba, 1, 0);
  EXPECT_FLOAT_EQ(rgba[0], 7.0f / 255.0f);
  const float white[4] = {1, 1, 1, 1};
  t->SetPixel(5, 5, white);  // outside: nothing
  t->SetPixel(0, 0, white);
  EXPECT_EQ(static_cast<uint8_t*>(t->Lock(nullptr, 0))[0], 255);
  EXPECT_EQ(t->Lock(nullptr, 1), nullptr);
  t->Release();  // not managed: the device destroys it
}

TEST_F(SoftwareImages, TexturesAreSharedByNameWithReferenceCounts) {
  MakeImage("Wall.tga", 4, 4);
  tm_->SetFolder(Path("").c_str(), false);
  tm_->m_cutExtension = 1;
  VQTexture* a = tm_->Load("Wall.TGA", 0, true, true, 32768, 32768);
  ASSERT_NE(a, nullptr);
  VQTexture* b = tm_->Load("wall.tga", 0, true, true, 32768, 32768);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->m_refCount, 2);
  EXPECT_STREQ(a->GetName(), "wall");
  EXPECT_EQ(tm_->m_count, 1u);
  EXPECT_TRUE(tm_->Release(a));
  EXPECT_EQ(tm_->m_count, 1u);
  EXPECT_TRUE(tm_->Release(a));
  EXPECT_EQ(tm_->m_count, 0u);
  g_VQerror = 0;
  EXPECT_FALSE(tm_->Release(nullptr));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  // Without create a missing texture is just null.
  EXPECT_EQ(tm_->Load("wall", 0, false, true, 32768, 32768), nullptr);
  EXPECT_EQ(tm_->Load(nullptr, 0, true, true, 1, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
}

TEST_F(SoftwareImages, FolderStackTopFirstAndExtensionOrder) {
  MakeImage("A/x.tga", 2, 2);
  MakeImage("B/x.tga", 4, 4);
  ASSERT_TRUE(tm_->PushFolder(Path("A").c_str(), false));
  ASSERT_TRUE(tm_->PushFolder(Path("B").c_str(), false));
  tm_->m_cutExtension = 1;
  VQTexture* t = tm_->Load("x", 0, true, true, 32768, 32768);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_width, 4u);  // B is on top

  // x.vqp is preferred over x.tga; a broken x.vqp does not fall back.
  MakeImage("C/y.tga", 2, 2);
  MakeImage("C/y.vqp", 8, 8);
  MakeImage("D/z.tga", 2, 2);
  {
    std::FILE* f = std::fopen(Path("D/z.vqp").c_str(), "wb");
    std::fputs("broken", f);
    std::fclose(f);
  }
  ASSERT_TRUE(tm_->SetFolder(Path("C").c_str(), false));
  VQTexture* y = tm_->Load("y.tga", 0, true, true, 32768, 32768);
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->m_width, 8u);
  ASSERT_TRUE(tm_->SetFolder(Path("D").c_str(), false));
  EXPECT_EQ(tm_->Load("z", 0, true, true, 32768, 32768), nullptr);

  // A file two folders down is found only with subfolder search.
  MakeImage("E/one/two/deep.tga", 2, 2);
  ASSERT_TRUE(tm_->SetFolder(Path("E").c_str(), false));
  EXPECT_EQ(tm_->Load("deep", 0, true, true, 32768, 32768), nullptr);
  ASSERT_TRUE(tm_->SetFolder(Path("E").c_str(), true));
  EXPECT_NE(tm_->Load("deep", 0, true, true, 32768, 32768), nullptr);
}

TEST_F(SoftwareImages, SearchSurvivesASymbolicLinkCycle) {
  fs::create_directories(dir_ / "loop");
  // Two links back to the folder itself: without a guard the search would branch without end.
  fs::create_directory_symlink(dir_ / "loop", dir_ / "loop" / "again");
  fs::create_directory_symlink(dir_ / "loop", dir_ / "loop" / "more");
  MakeImage("loop/sub/t.tga", 2, 2);
  ASSERT_TRUE(tm_->SetFolder(Path("loop").c_str(), true));
  tm_->m_cutExtension = 1;
  EXPECT_EQ(tm_->Load("absent", 0, true, true, 32768, 32768), nullptr);
  EXPECT_NE(tm_->Load("t", 0, true, true, 32768, 32768), nullptr);
  ASSERT_TRUE(pm_->SetFolder(Path("loop").c_str(), true));
  EXPECT_EQ(pm_->Load("absent.tga", false), nullptr);
}

TEST_F(SoftwareImages, FolderAndSamplingStackLimits) {
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(tm_->PushFolder("f", false));
  g_VQerror = 0;
  EXPECT_FALSE(tm_->PushFolder("f", false));
  EXPECT_EQ(g_VQerror, VQERR_HANDLER_STACK_FULL);
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(tm_->PopFolder());
  EXPECT_FALSE(tm_->PopFolder());
  EXPECT_EQ(g_VQerror, VQERR_HANDLER_STACK_EMPTY);
  const std::string longPath(300, 'a');
  EXPECT_FALSE(tm_->SetFolder(longPath.c_str(), false));
  EXPECT_EQ(g_VQerror, VQERR_NAME_TOO_LONG);
  EXPECT_FALSE(tm_->SetLoadFactor(3));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(tm_->SetLoadFactor(0));
  EXPECT_TRUE(tm_->SetLoadFactor(4));

  // Sampling: set, pushed 32 deep, popped back; the device follows (0 keeps its value).
  tm_->SetSampling(1, 0, 1, 3);
  EXPECT_EQ(device_.m_wrapU, 1u);
  EXPECT_EQ(device_.m_wrapV, 2u);
  EXPECT_EQ(device_.m_minFilter, 3u);
  for (int i = 0; i < 32; ++i) ASSERT_TRUE(tm_->PushSampling(2, 2, 2, 2));
  EXPECT_FALSE(tm_->PushSampling(2, 2, 2, 2));
  EXPECT_EQ(g_VQerror, VQERR_HANDLER_STACK_FULL);
  for (int i = 0; i < 32; ++i) tm_->PopSampling();
  tm_->PopSampling();  // nothing saved: nothing
  EXPECT_EQ(tm_->m_sampling[0], 1u);
  EXPECT_EQ(tm_->m_sampling[3], 3u);
  EXPECT_EQ(device_.m_wrapU, 1u);

  std::string pixmapLong(300, 'b');
  ASSERT_TRUE(pm_->SetFolder("keep", false));
  EXPECT_FALSE(pm_->SetFolder(pixmapLong.c_str(), false));
  EXPECT_EQ(pm_->m_folder, "keep");
}

TEST_F(SoftwareImages, ReleaseGroupAndFullCache) {
  const Bytes px(4 * 4 * 4, 1);
  tm_->m_currentGroup = 3;
  VQTexture* g3a = tm_->CreateEmpty(px.data(), 2, 2, 11, nullptr, 0);
  tm_->m_currentGroup = 1;
  VQTexture* g1 = tm_->CreateEmpty(px.data(), 2, 2, 11, nullptr, 0);
  tm_->m_currentGroup = 3;
  VQTexture* g3b = tm_->CreateEmpty(px.data(), 2, 2, 11, nullptr, 0);
  tm_->m_currentGroup = 1;
  VQTexture* g1b = tm_->CreateEmpty(px.data(), 2, 2, 11, nullptr, 0);
  ASSERT_TRUE(g3a && g1 && g3b && g1b);
  g3a->m_refCount = 5;
  const uint32_t live = device_.m_liveTextures;
  tm_->ReleaseGroup(3);
  EXPECT_EQ(tm_->m_count, 2u);
  EXPECT_EQ(device_.m_liveTextures, live - 2);
  EXPECT_GE(tm_->IndexOf(g1), 0);
  EXPECT_GE(tm_->IndexOf(g1b), 0);
  EXPECT_EQ(tm_->m_groups[0], 1u);
  EXPECT_EQ(tm_->m_groups[1], 1u);

  // Fill to 512: the next texture fails with error 27.
  while (tm_->m_count < VQTEXTURE_SLOTS) ASSERT_NE(tm_->CreateEmpty(px.data(), 1, 1, 11, nullptr, 0), nullptr);
  g_VQerror = 0;
  EXPECT_EQ(tm_->CreateEmpty(px.data(), 1, 1, 11, nullptr, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TABLE_FULL);
  EXPECT_EQ(tm_->Load("anything", 0, true, true, 1, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TABLE_FULL);
  tm_->ReleaseAll();
  EXPECT_EQ(tm_->m_count, 0u);
  EXPECT_EQ(device_.m_liveTextures, 0u);
}

TEST_F(SoftwareImages, LargeTextureIsHeldRescaledToTheMaximum) {
  MakeImage("big.tga", 512, 512, 77);
  ASSERT_TRUE(tm_->SetFolder(Path("").c_str(), false));
  VQTexture* t = tm_->Load("big.tga", 0, true, true, 256, 256);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->m_width, 256u);
  EXPECT_EQ(t->m_height, 256u);
  EXPECT_EQ(tm_->m_textures[0], t);
  EXPECT_EQ(device_.m_liveTextures, 1u);
  EXPECT_EQ(static_cast<uint8_t*>(t->Lock(nullptr, 0))[0], 77);
  // Only the side that is too large shrinks.
  MakeImage("wide.tga", 512, 64);
  VQTexture* w = tm_->Load("wide.tga", 0, true, true, 256, 256);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->m_width, 256u);
  EXPECT_EQ(w->m_height, 64u);
}

TEST_F(SoftwareImages, PaletteTextureShrinksByNearestIndexAndKeepsItsPalette) {
  // 4 x 4 indices 0..15 with a palette whose entry i is (i, 2i, 3i).
  Bytes indices(16);
  for (uint32_t i = 0; i < 16; ++i) indices[i] = uint8_t(i + 1);
  auto* palette = static_cast<uint8_t*>(std::calloc(VQPALETTE_BYTES, 1));
  for (uint32_t i = 0; i < 256; ++i) {
    palette[i * 4] = uint8_t(i);
    palette[i * 4 + 1] = uint8_t(2 * i);
    palette[i * 4 + 2] = uint8_t(3 * i);
  }
  VQTexture* t = device_.CreateTexture(indices.data(), 4, 4, VQPF_PAL8, palette, 0);
  ASSERT_NE(t, nullptr);
  VQTexture* held = tm_->Add(t, "pal", 2, 2);
  ASSERT_NE(held, nullptr);
  ASSERT_NE(held, t);
  EXPECT_EQ(held->m_width, 2u);
  EXPECT_EQ(held->m_format, uint32_t(VQPF_PAL8));
  const uint8_t* p = static_cast<uint8_t*>(held->Lock(nullptr, 0));
  EXPECT_EQ(Bytes(p, p + 4), (Bytes{1, 3, 9, 11}));  // source (0,0), (2,0), (0,2), (2,2)
  ASSERT_NE(held->m_palette, nullptr);
  float rgba[4];
  held->GetPixel(rgba, 1, 1);
  EXPECT_FLOAT_EQ(rgba[0], 11.0f / 255.0f);
  EXPECT_FLOAT_EQ(rgba[2], 33.0f / 255.0f);
  EXPECT_EQ(device_.m_liveTextures, 1u);
  // Growing repeats indices.
  VQTexture* up = held->CreateResized(4, 2);
  ASSERT_NE(up, nullptr);
  const uint8_t* q = static_cast<uint8_t*>(up->Lock(nullptr, 0));
  EXPECT_EQ(Bytes(q, q + 8), (Bytes{1, 1, 3, 3, 9, 9, 11, 11}));
  device_.DeleteTexture(up);
}

TEST_F(SoftwareImages, PixmapManagerCachesByLowerCaseName) {
  MakeImage("Cursor.tga", 2, 2);
  MakeImage("sub/deeper/hidden.tga", 2, 2);
  ASSERT_TRUE(pm_->SetFolder(Path("").c_str(), false));
  VQPixmap* a = pm_->Load("Cursor.tga", false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(pm_->Load("CURSOR.TGA", false), a);
  VQPixmap* u = pm_->Load("cursor.tga", true);
  ASSERT_NE(u, nullptr);
  EXPECT_NE(u, a);
  EXPECT_EQ(pm_->Load("cursor.tga", false), a);
  EXPECT_EQ(pm_->m_count, 2u);
  g_VQerror = 0;
  EXPECT_EQ(pm_->Load("hidden.tga", false), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_NOT_FOUND);
  ASSERT_TRUE(pm_->SetFolder(Path("").c_str(), true));
  EXPECT_NE(pm_->Load("hidden.tga", false), nullptr);
  EXPECT_EQ(pm_->m_count, 3u);
  EXPECT_EQ(pm_->Load(nullptr, false), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  // A loaded pixmap saves and reads back.
  ASSERT_TRUE(a->SaveImage(Path("copy.vqp").c_str(), VQIMAGE_VQP, 1));
  EXPECT_TRUE(a->FlipVertical());
}

TEST_F(SoftwareImages, PixmapCacheFullAfter512) {
  MakeImage("p.tga", 1, 1);
  ASSERT_TRUE(pm_->SetFolder(Path("").c_str(), false));
  for (uint32_t i = 0; i < VQPIXMAP_SLOTS; ++i) ASSERT_NE(pm_->Load("p.tga", true), nullptr) << i;
  g_VQerror = 0;
  EXPECT_EQ(pm_->Load("p.tga", true), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TABLE_FULL);
  pm_->ReleaseAll();
  EXPECT_EQ(device_.m_livePixmaps, 0u);
}

TEST_F(SoftwareImages, ImageReferences) {
  const Bytes px(4 * 4 * 4, 0);
  VQTexture* t = tm_->CreateEmpty(px.data(), 4, 2, VQPF_BGRA8888, nullptr, 0);
  ASSERT_NE(t, nullptr);
  {
    VQImageRef ref(t);
    EXPECT_EQ(t->m_refCount, 2);
    EXPECT_EQ(ref.GetWidth(), 4u);
    EXPECT_EQ(ref.GetHeight(), 2u);
    float size[2];
    ref.GetSizeF(size);
    EXPECT_EQ(size[0], 4.0f);
  }
  EXPECT_EQ(t->m_refCount, 1);

  VQImageRef empty;
  EXPECT_EQ(empty.GetWidth(), 0u);
  uint32_t w = 7, h = 8;
  empty.GetSize(&w, &h);
  EXPECT_EQ(w, 7u);
  // Four turns restore rotation and flips.
  VQImageRef r;
  r.SetFlipX(1);
  for (int i = 0; i < 4; ++i) r.Rotate();
  EXPECT_EQ(r.m_rotation, 0u);
  EXPECT_EQ(r.m_flipX, 1);
  EXPECT_EQ(r.m_flipY, 0);
  r.Rotate();
  EXPECT_EQ(r.m_flipY, 1);

  // CopyRects between textures blends; a pixmap handle on either side changes nothing.
  Bytes red(2 * 2 * 4);
  for (size_t i = 0; i < red.size(); i += 4) {
    red[i + 2] = 255;
    red[i + 3] = 255;
  }
  VQTexture* s = tm_->CreateEmpty(red.data(), 2, 2, VQPF_BGRA8888, nullptr, 0);
  VQImageRef dstRef(t), srcRef(s);
  VQPixmap* pm = device_.CreatePixmap(2, 2, VQPF_BGRA8888);
  VQImageRef pixRef(pm);
  const uint32_t dx[2] = {1, 3}, dy[2] = {0, 0}, sx[2] = {0, 0}, sy[2] = {0, 0}, rw[2] = {1, 2}, rh[2] = {1, 1};
  pixRef.CopyRects(srcRef, 1, dx, dy, sx, sy, rw, rh);
  dstRef.CopyRects(pixRef, 1, dx, dy, sx, sy, rw, rh);
  EXPECT_EQ(static_cast<uint8_t*>(t->Lock(nullptr, 0))[4 + 2], 0);
  dstRef.CopyRects(srcRef, 2, dx, dy, sx, sy, rw, rh);  // the second rectangle does not fit
  const uint8_t* p = static_cast<uint8_t*>(t->Lock(nullptr, 0));
  EXPECT_EQ(p[4 + 2], 255);
  EXPECT_EQ(p[12 + 2], 0);
  device_.DeletePixmap(pm);
}

TEST_F(SoftwareImages, TextureBlitEntryPoints) {
  const Bytes zero(2 * 2 * 4, 0);
  VQTexture* dst = tm_->CreateEmpty(zero.data(), 2, 2, VQPF_BGRA8888, nullptr, 0);
  const Bytes rgb = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};  // 2 x 2, format 7
  VQtexture_BlitPixels(dst, rgb.data(), 0, VQPF_BGR888, 0);
  const uint8_t* p = static_cast<uint8_t*>(dst->Lock(nullptr, 0));
  EXPECT_EQ(Bytes(p, p + 4), (Bytes{10, 20, 30, 255}));
  Bytes half(2 * 2 * 4, 0);
  for (size_t i = 0; i < half.size(); i += 4) half[i + 3] = 0x40;
  VQTexture* mask = tm_->CreateEmpty(half.data(), 2, 2, VQPF_BGRA8888, nullptr, 0);
  VQtexture_BlitAlpha(dst, mask, 1);
  EXPECT_EQ(Bytes(p, p + 4), (Bytes{10, 20, 30, 0xBF}));
  VQTexture* big = tm_->CreateEmpty(Bytes(4 * 4 * 4, 9).data(), 4, 4, VQPF_BGRA8888, nullptr, 0);
  VQtexture_Blit(dst, big, 1);  // larger than the destination: nothing
  EXPECT_EQ(p[0], 10);
  VQtexture_Blit(big, dst, 1);  // same format: a plain copy, force alpha ignored
  EXPECT_EQ(static_cast<uint8_t*>(big->Lock(nullptr, 0))[3], 0xBF);
}

}  // namespace

namespace {

// A device that keeps every direct-colour pixmap as format 11, as a screen driver might.
class Bgra32Device : public VQSoftwareDisplayDevice {
 public:
  Bgra32Device() : VQSoftwareDisplayDevice(5) {}
  uint32_t GetPixmapFormatFor(uint32_t format) override { return format == VQPF_PAL8 ? 0u : uint32_t(VQPF_BGRA8888); }
};

TEST_F(SoftwareImages, PixmapLoadConvertsToTheDeviceFormatOpaque) {
  MakeImage("c.tga", 2, 1, 0);
  Bytes px = {10, 20, 30, 40, 50, 60};
  ASSERT_TRUE(VQimage_WriteFile(px.data(), 2, 1, 2, VQPF_BGR888, nullptr, true, Path("c.tga").c_str(),
                                VQIMAGE_TGA, 0));
  Bgra32Device dev;
  VQPixmap* p = dev.CreatePixmapFromFile(Path("c.tga").c_str());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->m_format, VQPF_BGRA8888);
  EXPECT_EQ(p->m_bottomUp, 1u);
  EXPECT_EQ(p->m_widthLog2, 1u);
  const uint8_t* q = static_cast<uint8_t*>(p->Lock(nullptr));
  EXPECT_EQ(Bytes(q, q + 8), (Bytes{10, 20, 30, 255, 40, 50, 60, 255}));
  dev.DeletePixmap(p);
  // A palette image the device cannot keep fails with error 21.
  Bytes pal(1024, 0);
  const uint8_t idx = 0;
  ASSERT_TRUE(VQimage_WriteFile(&idx, 1, 1, 1, VQPF_PAL8, pal.data(), true, Path("i.tga").c_str(), VQIMAGE_TGA, 0));
  g_VQerror = 0;
  EXPECT_EQ(dev.CreatePixmapFromFile(Path("i.tga").c_str()), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_NOT_SUPPORTED);
  EXPECT_EQ(dev.m_livePixmaps, 0u);
}

TEST_F(SoftwareImages, JpegTexturesAreHeldBottomRowFirst) {
  // 8 x 16, top half white, bottom half black, written top row first.
  Bytes rgb(8 * 16 * 3);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t i = 0; i < 8 * 3; ++i) rgb[y * 24 + i] = y < 8 ? 255 : 0;
  ASSERT_TRUE(VQimage_WriteJpeg(Path("j.jpg").c_str(), rgb.data(), 8, 16, 95));
  VQTexture* t = device_.CreateTextureFromFile(Path("j.jpg").c_str(), 1, 0);
  ASSERT_NE(t, nullptr);
  float bottom[4], top[4];
  t->GetPixel(bottom, 3, 1);
  t->GetPixel(top, 3, 14);
  EXPECT_LT(bottom[0], 0.1f);
  EXPECT_GT(top[0], 0.9f);
  device_.DeleteTexture(t);
}

}  // namespace
