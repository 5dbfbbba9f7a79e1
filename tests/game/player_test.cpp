// Players and profiles through the Program: saving and loading profile files in the players
// folder of a data tree made by the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "QVX/race/Player.h"
#include "QVX/shell/Program.h"

namespace fs = std::filesystem;

namespace {
class PlayerFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::absolute(fs::path("player_trees") / info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "Data" / "Players");
    m_old = fs::current_path();
    fs::current_path(m_dir);
    m_program = new Program();
    m_program->m_options.headless = true;
  }
  void TearDown() override {
    delete m_program;
    delete g_gameLog;
    g_gameLog = nullptr;
    fs::current_path(m_old);
    if (!HasFailure()) fs::remove_all(m_dir);
  }
  fs::path m_dir, m_old;
  Program* m_program = nullptr;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST_F(PlayerFiles, SaveAndLoadBothForms) {
  Player p;
  ASSERT_TRUE(p.Load("Anna", -1, 0));  // a new profile with defaults
  p.m_profile.number = 42;
  p.m_profile.bindings[0] = 207;
  p.m_profile.champ_race = 3;
  p.m_profile.normal_opponents = 12;  // beyond the opponent limit
  ASSERT_TRUE(p.Save(true));
  ASSERT_TRUE(p.Save(false));
  EXPECT_EQ(fs::file_size("Data/Players/Anna.bin"), 22432u);
  const std::string text = ReadText("Data/Players/Anna.sav");
  EXPECT_NE(text.find("type = human\n"), std::string::npos);
  EXPECT_NE(text.find("left = left\n"), std::string::npos);
  EXPECT_FALSE(fs::exists("Data/Players/Anna.bin.vqtmp"));

  m_program->m_profileNames = {"Anna"};
  Player* loaded = m_program->CreatePlayerFromProfile(0);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->m_profile.number, 42);
  EXPECT_EQ(loaded->m_profile.bindings[0], 207);
  EXPECT_EQ(loaded->m_profile.champ_race, 0);
  EXPECT_EQ(loaded->m_profile.normal_opponents, 7);
  EXPECT_EQ(m_program->m_playerCount, 1u);
}

TEST_F(PlayerFiles, SaveThatCannotCompleteKeepsTheOldFile) {
  Player p;
  ASSERT_TRUE(p.Load("Bo", -1, 0));
  p.m_profile.number = 1;
  ASSERT_TRUE(p.Save(true));
  const std::string before = ReadText("Data/Players/Bo.bin");
  // The new file cannot be written beside the old one: the old one stays as it was.
  fs::create_directories("Data/Players/Bo.bin.vqtmp");
  p.m_profile.number = 2;
  EXPECT_FALSE(p.Save(true));
  EXPECT_EQ(ReadText("Data/Players/Bo.bin"), before);
}

TEST_F(PlayerFiles, NamesThatWouldLeaveTheFolderAreRefused) {
  for (const char* name : {"../escape", "..", "a\\b", "", "x/y"}) {
    Player p;
    EXPECT_FALSE(p.Load(name, -1, 0)) << name;
    std::snprintf(p.m_name, sizeof p.m_name, "%s", name);
    EXPECT_FALSE(p.Save(true)) << name;
  }
  EXPECT_FALSE(fs::exists("Data/escape.bin"));
  EXPECT_FALSE(fs::exists("escape.bin"));
}

TEST_F(PlayerFiles, PlayersComeAndGoInOrder) {
  for (const char* name : {"One", "Two", "Three"}) {
    Player p;
    ASSERT_TRUE(p.Load(name, -1, 0));
    ASSERT_TRUE(p.Save(true));
  }
  m_program->m_profileNames = {"One", "Two", "Three"};
  for (uint32_t i = 0; i < 3; ++i) ASSERT_NE(m_program->CreatePlayerFromProfile(i), nullptr);
  m_program->DestroyPlayer(m_program->m_players[1]);
  ASSERT_EQ(m_program->m_playerCount, 2u);
  EXPECT_STREQ(m_program->m_players[1]->m_name, "Three");
  EXPECT_EQ(m_program->FindNameIndex("three"), 2u);
  EXPECT_EQ(m_program->FindNameIndex("nobody"), PROGRAM_NOT_FOUND);
  int32_t count = 8;
  EXPECT_FALSE(m_program->CheckOpponentCount(&count));
  EXPECT_EQ(count, 7);
  int32_t colour = 3;
  EXPECT_FALSE(m_program->CheckColorIndex(5, &colour));
  EXPECT_EQ(colour, 0);
}

TEST_F(PlayerFiles, ProfileScanListsOnlyProfileNames) {
  std::ofstream("Data/Players/Good.bin") << "x";
  std::ofstream("Data/Players/.bin") << "x";
  std::ofstream("Data/Players/readme.txt") << "x";
  ASSERT_TRUE(m_program->ScanPlayerProfiles());
  ASSERT_EQ(m_program->m_profileNames.size(), 1u);
  EXPECT_EQ(m_program->m_profileNames[0], "Good");
  fs::remove_all("Data/Players");
  EXPECT_FALSE(m_program->ScanPlayerProfiles());
  EXPECT_EQ(m_program->m_lastError, "Cannot scan player profiles folder");
}

TEST_F(PlayerFiles, RandomFreeSlotFillsSetFlagsOnly) {
  Player p;
  ASSERT_TRUE(p.Load("Cy", -1, 0));
  ASSERT_TRUE(p.Save(true));
  m_program->m_profileNames = {"Cy"};
  ASSERT_NE(m_program->CreatePlayerFromProfile(0), nullptr);
  uint8_t flags[6] = {0, 1, 0, 0, 1, 0};
  std::srand(3);
  m_program->RandomFreeSlot(9, flags, true);  // only entry 4 may take it
  EXPECT_EQ(flags[4], 0);
  EXPECT_EQ(flags[1], 1);
  EXPECT_EQ(m_program->m_players[0]->m_profile.champ_weather_idxs[4], 9);
  m_program->RandomFreeSlot(5, flags, true);  // nothing left but the skipped one
  EXPECT_EQ(flags[1], 1);
  EXPECT_FLOAT_EQ(m_program->GetFovScale(), 640.0f * 0.0015625f * 1.400415f);
}
