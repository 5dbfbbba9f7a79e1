// The generated computer-driver files hold a record for every driver any championship names.
#include <gtest/gtest.h>

#include <filesystem>

#include "QVX/shell/Championship.h"

namespace fs = std::filesystem;

TEST(GeneratedDrivers, EveryTrackFileHoldsEveryChampionshipDriver) {
  const fs::path data = fs::path(VQ_GAME_DIR) / "Data";
  ASSERT_TRUE(fs::is_directory(data));
  // Championships 0..9 name records up to 9 x 24 + 22, the grand championship up to 239.
  const uintmax_t needed = uintmax_t(CHAMP_MAX_ENTRIES) * AI_RECORD_SIZE;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(data)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("class_AI_", 0) != 0 || entry.path().extension() != ".bin") continue;
    ++files;
    EXPECT_GE(fs::file_size(entry.path()), needed) << name;
    EXPECT_EQ(fs::file_size(entry.path()) % AI_RECORD_SIZE, 0u) << name;
  }
  EXPECT_GT(files, 0u);
}
