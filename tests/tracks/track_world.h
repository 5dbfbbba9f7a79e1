// A world for track tests: the engine initialised, a software display device for scenes and
// textures, the weather tables and collision materials of the generated data tree, and a private
// copy of its tracks folder (loads write terrain caches there).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QVX/race/Track.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQscramble.h"

namespace trackstest {

namespace fs = std::filesystem;

inline std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
// A scrambled file's plain bytes and back.
inline std::vector<uint8_t> ReadPlain(const fs::path& path) {
  std::vector<uint8_t> b = ReadBytes(path);
  if (!b.empty()) VQscramble(b.data(), b.size(), nullptr, 0);
  return b;
}
inline void WritePlain(const fs::path& path, std::vector<uint8_t> bytes) {
  if (!bytes.empty()) VQscramble(bytes.data(), bytes.size(), nullptr, 0);
  WriteBytes(path, bytes);
}

const char* const kTracks[] = {"harbour", "forest", "desert", "canyon", "city", "alpine"};

class TrackWorld : public ::testing::Test {
 public:
  void SetUp() override {
    g_VQsystem.Init();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("vq_tracks_" + std::to_string(::getpid()) + "_" +
                                        info->test_suite_name() + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Tracks");
    const fs::path game = VQ_GAME_DIR;
    for (const auto& e : fs::directory_iterator(game / "Data" / "Tracks"))
      if (e.path().extension() != ".vqt")
        fs::copy_file(e.path(), dir_ / "Tracks" / e.path().filename());
    ASSERT_TRUE(display_.Open(0));
    ASSERT_TRUE(software_.Open(0));
    const std::string data = (game / "Data").string();
    ASSERT_TRUE(weather_.LoadWeatherConfigs(true, (data + "/weather.ini").c_str()));
    ASSERT_TRUE(weather_.LoadRainConfigs(true, (data + "/weather_rain.ini").c_str()));
    ASSERT_TRUE(weather_.LoadThunderConfigs(true, (data + "/weather_thunder.ini").c_str()));
    const std::vector<uint8_t> m = ReadBytes(game / "Data" / "Materials.bin");
    uint32_t header[3];
    ASSERT_TRUE(Materials_Parse(m.data(), m.size(), header, materials_));
    track_.m_services = Services(TRACK_DETAIL_HIGH);
    track_.m_hooks.user = this;
    track_.m_hooks.error = [](void* user, const char* text) {
      static_cast<TrackWorld*>(user)->errors_.push_back(text);
    };
    track_.m_hooks.raceEvent = [](void* user, int32_t event, TrackRacer*, int32_t argument) {
      static_cast<TrackWorld*>(user)->events_.push_back({event, argument});
    };
    track_.m_hooks.showMessage = [](void* user, uint32_t id, float) {
      static_cast<TrackWorld*>(user)->messages_.push_back(id);
    };
  }
  void TearDown() override {
    track_.Unload();
    display_.Close();
    software_.Close();
    g_VQsystem.Shutdown();
    fs::remove_all(dir_);
  }
  TrackServices Services(uint32_t detail) {
    TrackServices s;
    s.display = &display_;
    s.software = &software_;
    s.weather = &weather_;
    s.materials = &materials_;
    s.tracksFolder = (dir_ / "Tracks").string();
    s.textureFolder = (fs::path(VQ_GAME_DIR) / "Data" / "Maps_high").string();
    s.mapsCarsFolder = (fs::path(VQ_GAME_DIR) / "Data" / "Maps_cars").string();
    s.detail = detail;
    return s;
  }
  fs::path TrackFile(const std::string& name) const { return dir_ / "Tracks" / name; }

  fs::path dir_;
  VQSoftwareDisplayDevice display_{20};
  VQSoftwareDisplayDevice software_{21};
  WeatherDatabase weather_;
  std::vector<CollisionMaterial> materials_;
  Track track_;
  std::vector<std::string> errors_;
  struct Event {
    int32_t event, argument;
  };
  std::vector<Event> events_;
  std::vector<uint32_t> messages_;
};

// A racer the test moves by hand.
class TestRacer : public TrackRacer {
 public:
  explicit TestRacer(uint32_t type = TRACK_DRIVER_COMPUTER) : type_(type) {}
  uint32_t GetDriverType() const override { return type_; }
  VQVehicleModel* GetVehicle() override { return nullptr; }
  VQVector GetPosition() const override { return position_; }
  VQVector GetPreviousPosition() const override { return previous_; }
  float GetLapMarkTime() const override { return lapMark_; }
  void SetLapMarkTime(float t) override { lapMark_ = t; }
  void PlaceAtStart(const VQVector& p, float heading) override {
    placed_ = p;
    heading_ = heading;
    position_ = previous_ = p;
  }
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override {
    *lap = lap_, *segment = segment_, *fraction = fraction_;
  }
  void RecordLap(bool newBest, const LapTime& t, uint32_t, uint32_t) override {
    recorded_.push_back(t.Hundredths());
    (void)newBest;
  }
  void Finish() override { finished_ = true; }
  void BeginRace() override { ++begun_; }
  void PlaceOnPodium(uint32_t place, const VQVector& p, float heading) override {
    podiumPlace_ = place;
    placed_ = p;
    heading_ = heading;
  }
  // Moves to p; the old position becomes the previous one.
  void MoveTo(float x, float y) {
    previous_ = position_;
    position_ = VQVector(x, y, 0);
  }

  uint32_t type_;
  VQVector position_{0, 0, 0}, previous_{0, 0, 0}, placed_{0, 0, 0};
  float heading_ = 0, lapMark_ = -100.0f;
  uint32_t lap_ = 0, segment_ = 0;
  float fraction_ = 0;
  std::vector<uint32_t> recorded_;
  bool finished_ = false;
  int begun_ = 0;
  uint32_t podiumPlace_ = 0;
};

}  // namespace trackstest
