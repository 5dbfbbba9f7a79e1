// Shared set-up of the skin editor tests: an opened software display device whose texture
// cache makes the layer images, a temporary folder, and pixel helpers.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "QVX/SkinEditor/VQTextureLayer.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"

namespace skin_test {

namespace fs = std::filesystem;
using Px = std::array<uint8_t, 4>;  // red, green, blue, alpha

class SkinFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() / ("skineditor_" + std::to_string(::getpid()) + "_" +
                                         info->test_suite_name() + "_" + info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    g_VQsystem.Init();
    ASSERT_TRUE(m_device.Open(0));
    m_textures = m_device.m_textureManager;
    ASSERT_NE(m_textures, nullptr);
  }
  void TearDown() override {
    m_device.Close();
    g_VQsystem.Shutdown();
    fs::remove_all(m_dir);
  }
  std::string Dir() const { return m_dir.string(); }

  // A format-11 texture of one colour (one reference for the caller).
  VQTexture* Solid(uint32_t w, uint32_t h, Px c) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
      px[i] = c[2];
      px[i + 1] = c[1];
      px[i + 2] = c[0];
      px[i + 3] = c[3];
    }
    return m_textures->CreateEmpty(px.data(), w, h, VQPF_BGRA8888, nullptr, 0);
  }
  // Writes a TGA of one colour (32-bit) of the size.
  void WriteTga(const std::string& path, uint32_t w, uint32_t h, Px c) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
      px[i] = c[2];
      px[i + 1] = c[1];
      px[i + 2] = c[0];
      px[i + 3] = c[3];
    }
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(VQimage_WriteFile(px.data(), w, h, w, VQPF_BGRA8888, nullptr, true, path.c_str(),
                                  VQIMAGE_TGA, 0));
  }
  static Px At(VQTexture* t, uint32_t x, uint32_t y) {
    const uint8_t* p = SkinTexture_Pixel(t, x, y);
    if (!p) return {0, 0, 0, 0};
    return {p[2], p[1], p[0], p[3]};
  }
  static void Set(VQTexture* t, uint32_t x, uint32_t y, Px c) {
    uint8_t* p = SkinTexture_Pixel(t, x, y);
    ASSERT_NE(p, nullptr);
    p[0] = c[2];
    p[1] = c[1];
    p[2] = c[0];
    p[3] = c[3];
  }

  fs::path m_dir;
  VQSoftwareDisplayDevice m_device{1};
  VQTextureManager* m_textures = nullptr;
};

inline const Px kEmpty = {SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, 0};

}  // namespace skin_test
