// The generated data tree holds what the game and its later parts rely on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQscramble.h"

namespace fs = std::filesystem;

namespace {
std::string Read(const std::string& relative) {
  std::ifstream in(std::string(VQ_GAME_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
}  // namespace

TEST(GeneratedTree, MusicInBothPlayedForms) {
  const std::string mp3 = Read("Data/Audio/menus.mp3");
  ASSERT_GT(mp3.size(), 4u);
  const uint8_t* h = Bytes(mp3);
  EXPECT_EQ(h[0], 0xFF);
  EXPECT_EQ(h[1] & 0xFE, 0xFA);        // sync, MPEG-1, Layer III
  EXPECT_EQ((h[2] >> 2) & 3, 0);       // 44100 Hz
  EXPECT_NE((h[3] >> 6) & 3, 3);       // two channels
  std::string vq3 = Read("Data/Audio/menus.vq3");
  ASSERT_EQ(vq3.size(), mp3.size());
  VQscramble(vq3.data(), vq3.size(), nullptr, 0);
  EXPECT_EQ(vq3, mp3);
  const std::string vqw = Read("Data/Audio/menus.vqw");
  EXPECT_EQ(vqw.compare(0, 4, "RIFF"), 0);
}

TEST(GeneratedTree, SoundsAsWaveAndScrambledWave) {
  for (const char* name : {"menu_updown", "menu_leftright", "menu_action", "fx_false_start", "fx_rain", "fx_thunder",
                           "fx_crowd", "fx_skid", "fx_crash", "car_junior_std_engine"}) {
    SCOPED_TRACE(name);
    const std::string wav = Read(std::string("Data/Audio/") + name + ".wav");
    std::string vqw = Read(std::string("Data/Audio/") + name + ".vqw");
    ASSERT_GT(wav.size(), 44u);
    ASSERT_EQ(wav.size(), vqw.size());
    EXPECT_EQ(wav.compare(0, 44, vqw, 0, 44), 0);  // headers alike
    EXPECT_EQ(wav.compare(36, 4, "data"), 0);
    VQscramble(vqw.data() + 44, vqw.size() - 44, nullptr, 0);
    EXPECT_EQ(vqw, wav);
  }
}

TEST(GeneratedTree, ScenesHoldTheirNamedNodes) {
  struct Case {
    const char* file;
    std::vector<const char*> nodes;
  };
  const Case cases[] = {
      {"Data/Menuscene.vqo", {"x_foreground", "x_background", "x_controller", "m_controller", "m_controllerp2", "1", "2", "3"}},
      {"Data/prizes_track.vqo", {"1", "2", "3", "4"}},
      {"Data/Cars/menucar_monster.vqo", {"m_body", "m_whl_lf", "m_whl_rf", "m_whl_lr", "m_whl_rr"}},
      {"Data/Tracks/menutrack_harbour.vqo", {"g_main"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    VQNode* root = nullptr;
    ASSERT_TRUE(VQscene_ReadDatabase(&root, (std::string(VQ_GAME_DIR) + "/" + c.file).c_str(), nullptr, 11, false));
    for (const char* name : c.nodes) EXPECT_NE(root->FindByName(name), nullptr) << name;
    VQNode::Destroy(root);
  }
}

TEST(GeneratedTree, EveryTrackHasItsFiles) {
  for (const char* t : {"harbour", "forest", "desert", "canyon", "city", "alpine"}) {
    SCOPED_TRACE(t);
    EXPECT_EQ(fs::file_size(std::string(VQ_GAME_DIR) + "/Data/class_AI_" + t + ".bin"), 240u * 260u);
    for (const char* v : {"sunny", "overcast", "evening", "showers", "thunderstorm"}) {
      std::string w = Read(std::string("Data/Tracks/") + t + "_weather_" + v + ".bin");
      ASSERT_EQ(w.size(), TRACK_WEATHER_RECORD_SIZE);
      VQscramble(w.data(), w.size(), nullptr, 0);
      EXPECT_LT(Record_GetU32(Bytes(w), TRACK_WEATHER_VARIANT_OFFSET), 5u);
      char config[33];
      Record_GetName(config, sizeof config, Bytes(w), 768, 32);
      WeatherTable table;
      const std::string all = Read("Data/weather.bin");
      WeatherTable_Parse(Bytes(all), all.size(), WEATHER_RECORD_SIZE, table);
      EXPECT_NE(table.Find(config), nullptr) << config;
    }
  }
}

TEST(GeneratedTree, ProfileAndConfig) {
  EXPECT_EQ(fs::file_size(std::string(VQ_GAME_DIR) + "/Data/Players/Driver.bin"), 22432u);
  const std::string config = Read("Config.ini");
  EXPECT_NE(config.find("displaydevicetype = opengl"), std::string::npos);
  EXPECT_NE(config.find("player1 = Driver"), std::string::npos);
}
