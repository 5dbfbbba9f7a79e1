// OpenGL textures from files with a load factor, and the sampling value the device gives the
// scene writer, against the recording fake.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQSceneFile.h"
#include "tests/opengl/fixture.h"

using TextureFiles = RecordedDevice;

namespace {

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "_" + name)).string();
}

// An 8 x 6 RGB picture of 2 x 2 blocks, block (bx, by) coloured (40 bx, 50 by, 7).
std::vector<uint8_t> Blocks() {
  std::vector<uint8_t> rgb(8 * 6 * 3);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      uint8_t* p = &rgb[3 * (8 * y + x)];
      p[0] = uint8_t(40 * (x / 2));
      p[1] = uint8_t(50 * (y / 2));
      p[2] = 7;
    }
  return rgb;
}

// A texture of no device this test knows: its sampling is not known.
class PlainTexture : public VQTexture {
 public:
  void* Lock(uint32_t*, uint32_t) override { return nullptr; }
  void SetSampling(uint32_t, uint32_t, uint32_t, uint32_t) override {}
  bool Upload() override { return true; }
  float* GetPixel(float* rgba, uint32_t, uint32_t) override { return rgba; }
  void SetPixel(uint32_t, uint32_t, const float*) override {}
};

}  // namespace

TEST_F(TextureFiles, LoadFactorDividesThePictureSides) {
  const std::string path = TempPath("blocks.tga");
  const std::vector<uint8_t> rgb = Blocks();
  ASSERT_TRUE(VQimage_WriteFile(rgb.data(), 8, 6, 8, VQPF_RGB888, nullptr, true, path.c_str(), VQIMAGE_TGA, 0))
      << g_VQerror;
  struct Case {
    uint32_t factor, width, height;
  };
  // 0, 1 and a factor that is not a power of two keep the size; a side never goes below 1.
  const Case cases[] = {{0, 8, 6}, {1, 8, 6}, {3, 8, 6}, {2, 4, 3}, {4, 2, 1}, {16, 1, 1}};
  for (const Case& c : cases) {
    glrec::Clear();
    VQTexture* t = device_.CreateTextureFromFile(path.c_str(), c.factor, 0);
    ASSERT_NE(t, nullptr) << c.factor;
    EXPECT_EQ(t->m_width, c.width) << c.factor;
    EXPECT_EQ(t->m_height, c.height) << c.factor;
    EXPECT_EQ(t->m_imageWidth, c.width) << c.factor;
    EXPECT_EQ(glrec::Count(Text("glTexImage2D", VQGL_TEXTURE_2D, 0, 3, c.width, c.height, 0, VQGL_RGB,
                                VQGL_UNSIGNED_BYTE, "p")),
              1u)
        << c.factor;
    if (c.factor == 2) {
      // Each texel is the average of one 2 x 2 block of one colour.
      for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
          float px[4];
          t->GetPixel(px, x, y);
          EXPECT_EQ(int(px[0] * 255.0f + 0.5f), int(40 * x)) << x << "," << y;
          EXPECT_EQ(int(px[1] * 255.0f + 0.5f), int(50 * y)) << x << "," << y;
          EXPECT_EQ(int(px[2] * 255.0f + 0.5f), 7) << x << "," << y;
        }
    }
    device_.DeleteTexture(t);
  }
  std::filesystem::remove(path);
}

TEST(OpenGLShrink, PalettePicturesKeepEveryFactorthPixel) {
  // 5 x 3 indices 0..14, row by row; factor 2 gives 2 x 1 from columns 0, 2 of row 0.
  std::vector<uint8_t> indices(15);
  for (uint32_t i = 0; i < 15; ++i) indices[i] = uint8_t(i);
  uint32_t w = 0, h = 0;
  uint8_t* out = VQopengl_ShrinkPixels(indices.data(), 5, 3, VQPF_PAL8, 2, &w, &h);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(w, 2u);
  EXPECT_EQ(h, 1u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 2);
  std::free(out);
  // Nothing to shrink: null, with the size unchanged.
  EXPECT_EQ(VQopengl_ShrinkPixels(indices.data(), 5, 3, VQPF_PAL8, 1, &w, &h), nullptr);
  EXPECT_EQ(w, 5u);
  EXPECT_EQ(h, 3u);
  EXPECT_EQ(VQopengl_ShrinkPixels(indices.data(), 5, 3, 0, 2, &w, &h), nullptr);
  EXPECT_EQ(w, 5u);
}

TEST_F(TextureFiles, SceneFilesStoreTheSamplingTheTextureHas) {
  EXPECT_EQ(g_VQsceneTextureSampling, &VQopengl_TextureSampling);
  EXPECT_EQ(VQopengl_TextureSampling(nullptr), 0u);
  VQOpenGLTexture* t = Texture(5);
  t->SetSampling(1, 2, 1, 6);  // wrap u clamp, wrap v repeat, magnification nearest, min 6
  EXPECT_EQ(VQopengl_TextureSampling(t), 0x1216u);

  VQMattable* table = Table(1);
  VQMaterial* m = table->m_slots[0];
  PlainTexture plain;
  m->m_stageCount = 2;
  m->m_stages[0].m_operation = 4;
  m->SetStageTextureName(0, "stone.tga");
  m->m_stages[0].m_samplingWord = 0x2222;  // what an earlier file said
  m->m_stages[0].m_texture = t;
  m->m_stages[1].m_operation = 4;
  m->SetStageTextureName(1, "moss.tga");
  m->m_stages[1].m_samplingWord = 0x3412;
  m->m_stages[1].m_texture = &plain;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(VQscene_WriteMattableMemory(table, bytes)) << g_VQerror;
  m->m_stages[0].m_texture = nullptr;
  m->m_stages[1].m_texture = nullptr;
  VQMattable* read = nullptr;
  ASSERT_TRUE(VQscene_ReadMattableMemory(&read, bytes.data(), bytes.size(), nullptr, true)) << g_VQerror;
  ASSERT_NE(read, nullptr);
  ASSERT_GE(read->m_count, 1u);
  const uint32_t word = read->m_slots[0]->m_stages[0].m_samplingWord;
  // The reader's nibbles: wrap u, wrap v, magnification, minification.
  EXPECT_EQ((word >> 4) & 0xF, 1u);
  EXPECT_EQ(word & 0xF, 2u);
  EXPECT_EQ((word >> 12) & 0xF, 1u);
  EXPECT_EQ((word >> 8) & 0xF, 6u);
  // A texture whose sampling is not known keeps the word its file had.
  EXPECT_EQ(read->m_slots[0]->m_stages[1].m_samplingWord, 0x3412u);
  VQMattable::Release(read);
}
