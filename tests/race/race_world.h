// A world for race tests: the engine initialised, a private copy of the generated tracks folder
// (the first load of a track writes its terrain cache there), and the computer drivers of a
// track's own driver file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QVX/race/AIParameters.h"
#include "QVX/race/RaceSession.h"
#include "QVX/shell/Content.h"
#include "Zentri/platform/VQSystem.h"

namespace racetest {

namespace fs = std::filesystem;

const char* const kTracks[] = {"harbour", "forest", "desert", "canyon", "city", "alpine"};

inline std::string DataDir() { return std::string(VQ_GAME_DIR) + "/Data"; }

// The computer drivers of "class_AI_<track>.bin", every third record (different classes and
// temperaments), as many as asked (records repeat when the file has fewer).
inline std::vector<AIParameters> TrackDrivers(const std::string& track, uint32_t count) {
  std::vector<AIParameters> out;
  std::ifstream in(DataDir() + "/class_AI_" + track + ".bin", std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  std::vector<AIDriverRecord> records;
  AI_Parse(bytes.data(), bytes.size(), records);
  for (uint32_t i = 0; i < count && !records.empty(); ++i) {
    AIParameters p;
    AIParameters_FromRecord(records[(i * 3) % records.size()].bytes, &p);
    out.push_back(p);
  }
  return out;
}

class RaceWorld : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(g_VQsystem.Init());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    dir_ = fs::temp_directory_path() / ("qvx_race_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& e : fs::directory_iterator(fs::path(DataDir()) / "Tracks"))
      if (e.path().extension() != ".vqt") fs::copy_file(e.path(), dir_ / e.path().filename());
  }
  void TearDown() override {
    g_VQsystem.Shutdown();
    fs::remove_all(dir_);
  }
  RaceSessionConfig Config(const std::string& track, uint32_t laps, uint32_t seed = 1) const {
    RaceSessionConfig c;
    c.dataFolder = DataDir();
    c.tracksFolder = dir_.string();
    c.track = track;
    c.laps = laps;
    c.seed = seed;
    return c;
  }

  fs::path dir_;
};

}  // namespace racetest
