#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"

namespace {

namespace fs = std::filesystem;

// Runs vqtool (beside the test program) and gives its exit code; stdout goes to `out`.
int Vqtool(const std::string& args, std::string* out = nullptr) {
  const char* env = std::getenv("VQ_BIN_DIR");
  const std::string bin = env ? env : fs::read_symlink("/proc/self/exe").parent_path().string();
  const std::string cmd = bin + "/vqtool " + args + " 2>/dev/null";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[256];
  std::string text;
  while (std::fgets(buf, sizeof buf, p)) text += buf;
  const int rc = pclose(p);
  if (out) *out = text;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(VqtoolImage, ConvertsThroughEveryWritableFormatAndReportsInfo) {
  const fs::path dir = fs::temp_directory_path() / ("vq_tool_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const auto path = [&](const char* n) { return (dir / n).string(); };
  // 8 x 4, left half white, right half black, bottom-up, format 7.
  std::vector<uint8_t> px(8 * 4 * 3);
  for (uint32_t i = 0; i < 32; ++i)
    for (int c = 0; c < 3; ++c) px[i * 3 + c] = (i % 8) < 4 ? 255 : 0;
  ASSERT_TRUE(VQimage_WriteFile(px.data(), 8, 4, 8, VQPF_BGR888, nullptr, true, path("in.tga").c_str(),
                                VQIMAGE_TGA, 0));
  ASSERT_EQ(Vqtool("image-convert " + path("in.tga") + " " + path("a.vqp") + " --packed"), 0);
  ASSERT_EQ(Vqtool("image-convert " + path("a.vqp") + " " + path("b.jpg")), 0);
  ASSERT_EQ(Vqtool("image-convert " + path("b.jpg") + " " + path("c.tga")), 0);
  std::string info;
  ASSERT_EQ(Vqtool("image-info " + path("a.vqp"), &info), 0);
  EXPECT_NE(info.find("VQP 8x4 format 7"), std::string::npos) << info;
  EXPECT_NE(info.find("run-length"), std::string::npos) << info;
  ASSERT_EQ(Vqtool("image-info " + path("b.jpg"), &info), 0);
  EXPECT_NE(info.find("JPEG 8x4 format 8"), std::string::npos) << info;

  uint32_t w, h, f;
  uint8_t* pal = nullptr;
  uint8_t* back = VQimage_ReadFile(path("c.tga").c_str(), &w, &h, &f, &pal);
  ASSERT_NE(back, nullptr);
  float left[4], right[4];
  VQpixels_GetRGBA(left, back, f, 1, 1, w, pal);
  VQpixels_GetRGBA(right, back, f, 6, 1, w, pal);
  EXPECT_GT(left[0], 0.9f);
  EXPECT_LT(right[0], 0.1f);
  std::free(back);

  EXPECT_EQ(Vqtool("image-convert " + path("in.tga") + " " + path("x.bmp")), 2);
  EXPECT_EQ(Vqtool("image-info " + path("missing.tga")), 1);
  EXPECT_EQ(Vqtool("image-convert onlyone"), 2);
  fs::remove_all(dir);
}

}  // namespace
