// Start-up inside the test process, to look at what the Program holds afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "QVX/shell/Program.h"

namespace fs = std::filesystem;

namespace {
class ProgramStartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::absolute(fs::path("program_trees") / info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    m_old = fs::current_path();
    fs::current_path(m_dir);
  }
  void TearDown() override {
    fs::current_path(m_old);
    if (!HasFailure()) fs::remove_all(m_dir);
  }
  void SetSound(bool on) {
    std::ifstream in("Config.ini");
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    const size_t at = s.find("\nsound = ");
    ASSERT_NE(at, std::string::npos);
    s.replace(at, 10, on ? "\nsound = 1" : "\nsound = 0");
    fs::remove("Config.ini");
    std::ofstream("Config.ini") << s;
  }
  Program* Start() {
    ProgramOptions options;
    options.headless = true;
    auto* program = new Program(options);
    program->LoadLanguageStrings();
    EXPECT_TRUE(program->Initialize(0, nullptr)) << program->m_lastError;
    return program;
  }
  void Stop(Program* program) {
    program->Shutdown();
    delete program;
  }
  fs::path m_dir, m_old;
};
}  // namespace

TEST_F(ProgramStartUp, HoldsTheContentOfTheTree) {
  Program* p = Start();
  EXPECT_EQ(p->m_classCount, 10u);
  EXPECT_STREQ(p->m_classes[0]->m_name, "junior_std");  // difficulty 1
  EXPECT_STREQ(p->m_classes[9]->m_name, "monster");
  EXPECT_EQ(p->m_classes[0]->m_championships, 12u);
  EXPECT_EQ(p->m_classes[3]->m_number, 3u);
  EXPECT_EQ(p->m_classes[0]->m_skins.size(), 2u);
  EXPECT_EQ(p->m_trackCount, 6u);
  EXPECT_EQ(p->m_aiDrivers.size(), 240u);
  EXPECT_EQ(p->m_materials.size(), 5u);
  EXPECT_STREQ(p->m_classes[9]->m_material->name, "monstertire");
  EXPECT_EQ(p->m_music.race.size(), 6u);
  EXPECT_EQ(p->m_profileNames.size(), 1u);
  EXPECT_EQ(p->m_playerCount, 2u);
  EXPECT_NE(p->m_canvas, nullptr);
  EXPECT_NE(p->m_prizeNode, nullptr);
  EXPECT_EQ(p->m_menuReturnPage, 1);
  EXPECT_EQ(p->m_windowTitle, "Player : Driver");  // message 163 and the first player
  EXPECT_NE(p->m_classes[1]->m_hud[0].second, 0.0f);
  Stop(p);
}

TEST_F(ProgramStartUp, SoundOnOpensTheSoundDeviceWhenTheBuildHasOne) {
  SetSound(true);
  Program* p = Start();
  EXPECT_NE(p->m_soundDevice, nullptr);
  EXPECT_NE(p->m_falseStartSample, nullptr);
  Stop(p);
  SetSound(false);
  p = Start();
  EXPECT_EQ(p->m_soundDevice, nullptr);
  Stop(p);
}
