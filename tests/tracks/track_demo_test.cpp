// track-demo on every generated track: four cars drive two laps without leaving the world; the
// first run builds the terrain cache and a screenshot is a JPEG.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_tool.h"

namespace fs = std::filesystem;

namespace {

class TrackDemo : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    dir_ = fs::temp_directory_path() / ("vq_trackdemo_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // A private data tree (hard links): the demo writes the terrain caches into it.
    fs::copy(fs::path(VQ_GAME_DIR) / "Data", dir_ / "Data",
             fs::copy_options::recursive | fs::copy_options::create_hard_links);
    for (const auto& e : fs::directory_iterator(dir_ / "Data" / "Tracks"))
      if (e.path().extension() == ".vqt") fs::remove(e.path());
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

int CountLines(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST_P(TrackDemo, FourCarsDriveTwoLapsWithoutLeavingTheWorld) {
  const std::string track = GetParam();
  std::string out;
  const int rc = vqtest::RunTool(
      "track-demo " + track + " --data '" + dir_.string() + "' --cars 4 --laps 2 --seconds 900",
      &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out.find("left the world"), std::string::npos) << out;
  EXPECT_NE(out.find("terrain built and saved"), std::string::npos) << out;
  EXPECT_NE(out.find("all cars completed 2 laps"), std::string::npos) << out;
  EXPECT_EQ(CountLines(out, "starts its first lap"), 4) << out;
  EXPECT_GE(CountLines(out, "completes lap"), 8) << out;
  EXPECT_TRUE(fs::exists(dir_ / "Data" / "Tracks" / (track + "_high.vqt")));
}

INSTANTIATE_TEST_SUITE_P(EveryTrack, TrackDemo,
                         ::testing::Values("harbour", "forest", "desert", "canyon", "city",
                                           "alpine"));

TEST_F(TrackDemo, ScreenshotOfTheLastFrameIsAJpeg) {
  std::string out;
  const fs::path shot = dir_ / "race.jpg";
  const int rc =
      vqtest::RunCommand("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy '" + vqtest::BinDir() +
                             "'/track-demo city --data '" + dir_.string() +
                             "' --cars 2 --laps 1 --seconds 300 --shot '" + shot.string() + "'",
                         &out);
  EXPECT_EQ(rc, 0) << out;
  std::ifstream in(shot, std::ios::binary);
  unsigned char magic[3] = {};
  in.read(reinterpret_cast<char*>(magic), 3);
  EXPECT_TRUE(magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) << out;
}

TEST_F(TrackDemo, BadArgumentsAndUnknownTrackFail) {
  std::string out;
  EXPECT_EQ(vqtest::RunTool("track-demo", &out), 2);
  EXPECT_EQ(vqtest::RunTool("track-demo city --cars 33", &out), 2);
  EXPECT_EQ(vqtest::RunTool("track-demo nowhere --data '" + dir_.string() + "'", &out), 1);
  EXPECT_NE(out.find("cannot load track 'nowhere'"), std::string::npos) << out;
}
