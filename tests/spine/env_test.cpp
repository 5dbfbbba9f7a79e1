#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

TEST(TestEnvironment, SourceAndBinaryFoldersAreGiven) {
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(VQ_SOURCE_DIR) / "CMakeLists.txt"));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(VQ_BIN_DIR) / "vqtool"));
  EXPECT_STREQ(std::getenv("SDL_AUDIODRIVER"), "dummy");
}
