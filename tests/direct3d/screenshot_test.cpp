// vqview's screenshot of the demo scene through the Direct3D device agrees with the OpenGL
// device's by regions: the sky everywhere around the ground, the ground in the same place.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "Zentri/resources/VQImageFile.h"

namespace {

struct Shot {
  uint32_t width = 0, height = 0;
  uint8_t* pixels = nullptr;  // RGB, top row first
  ~Shot() { std::free(pixels); }
  bool Read(const std::string& path) {
    uint32_t format = 0;
    uint8_t* palette = nullptr;
    pixels = VQimage_ReadFile(path.c_str(), &width, &height, &format, &palette);
    std::free(palette);
    return pixels != nullptr;
  }
  // Mean colour of the 7 x 7 box around (x, y), y counted from the top.
  void Mean(uint32_t x, uint32_t y, double* rgb) const {
    rgb[0] = rgb[1] = rgb[2] = 0;
    for (uint32_t yy = y - 3; yy <= y + 3; ++yy)
      for (uint32_t xx = x - 3; xx <= x + 3; ++xx)
        for (int c = 0; c < 3; ++c) rgb[c] += pixels[3 * (size_t(yy) * width + xx) + c];
    for (int c = 0; c < 3; ++c) rgb[c] /= 49.0;
  }
};

}  // namespace

TEST(D3DScreenshot, DemoSceneAgreesWithOpenGLByRegions) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("d3d_screenshot_test_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string bin = VQ_BIN_DIR;
  const std::string scene = (dir / "demo.vqo").string();
  ASSERT_EQ(std::system((bin + "/vqtool scene-demo " + scene).c_str()), 0);
  Shot shots[2];
  const char* devices[2] = {"opengl", "direct3d"};
  for (int i = 0; i < 2; ++i) {
    const std::string shot = (dir / (std::string(devices[i]) + ".jpg")).string();
    const std::string command = bin + "/vqview " + scene + " --device " + devices[i] +
                                " --camera 0,-150,60 --orbit 0 --frames 3 --size 320x240 --shot " + shot +
                                " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << devices[i];
    ASSERT_TRUE(shots[i].Read(shot)) << devices[i];
    ASSERT_EQ(shots[i].width, 320u);
    ASSERT_EQ(shots[i].height, 240u);
  }
  // Sky above and below the ground, the near and far ground in the middle column, and the
  // ground's left and right.
  const uint32_t regions[6][2] = {{160, 30}, {160, 215}, {160, 158}, {160, 102}, {70, 145}, {250, 145}};
  double mean[2][6][3];
  for (int i = 0; i < 2; ++i)
    for (int r = 0; r < 6; ++r) shots[i].Mean(regions[r][0], regions[r][1], mean[i][r]);
  // The sky is the clear colour in both.
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(mean[1][r][c], mean[0][r][c], 12.0) << "region " << r << " channel " << c;
  EXPECT_NEAR(mean[1][0][2], 77, 8);
  // The ground lies where OpenGL draws it. Its colours agree loosely: Direct3D combines the
  // material's two texture stages in one pass (the second adds in full), OpenGL blends the
  // second stage over the first in a second pass at half strength.
  for (int r = 2; r < 6; ++r) {
    double fromSky[2] = {0, 0};
    for (int i = 0; i < 2; ++i)
      for (int c = 0; c < 3; ++c) fromSky[i] += std::fabs(mean[i][r][c] - mean[i][0][c]);
    EXPECT_GT(fromSky[0], 60.0) << "region " << r;
    EXPECT_GT(fromSky[1], 60.0) << "region " << r;
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(mean[1][r][c], mean[0][r][c], 90.0) << "region " << r << " channel " << c;
  }
  fs::remove_all(dir);
}
