// What start-up attaches and loads besides the content: the keyboard on the game window, the
// joystick slots, the fonts, the collision-material sounds and the typed cheat words; and that
// shutdown lets go of all of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "QVX/shell/KeywordDetector.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/overlay/VQFont.h"

namespace fs = std::filesystem;

namespace {
class StartUpDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::absolute(fs::path("startup_device_trees") / info->name());
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
  void SetKey(const std::string& key, const std::string& value) {
    std::ifstream in("Config.ini");
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    const size_t at = s.find("\n" + key + " = ");
    ASSERT_NE(at, std::string::npos);
    const size_t end = s.find('\n', at + 1);
    s.replace(at, end - at, "\n" + key + " = " + value);
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
  fs::path m_dir, m_old;
};
}  // namespace

TEST_F(StartUpDevices, FontsAreLoadedWithTheirSpacingAndFreedAtShutdown) {
  Program* p = Start();
  ASSERT_NE(p->m_fontManager, nullptr);
  const int32_t carSpacing[PROGRAM_CAR_NUMBER_FONTS] = {-4, -2, -4, -2};
  for (uint32_t i = 0; i < PROGRAM_CAR_NUMBER_FONTS; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(p->m_carNumberFonts[i], nullptr);
    EXPECT_GE(p->m_carNumberFonts[i]->m_glyphCount, 10u);
    EXPECT_EQ(int32_t(p->m_carNumberFonts[i]->m_charSpacing), carSpacing[i]);
    EXPECT_EQ(int32_t(p->m_carNumberFonts[i]->m_lineSpacing), carSpacing[i]);
  }
  for (uint32_t i = 0; i < PROGRAM_LAP_TIME_FONTS; ++i)
    ASSERT_NE(p->m_lapTimeFonts[i], nullptr) << i;
  EXPECT_EQ(int32_t(p->m_lapTimeFonts[1]->m_charSpacing), -2);
  for (uint32_t i = 0; i < PROGRAM_MENU_FONTS; ++i) {
    ASSERT_NE(p->m_menuFonts[i], nullptr) << i;
    EXPECT_EQ(int32_t(p->m_menuFonts[i]->m_charSpacing), -3);
  }
  EXPECT_NE(p->m_helpFont, nullptr);
  EXPECT_NE(p->m_countdownFont, nullptr);
  ASSERT_NE(p->m_classFont, nullptr);
  for (uint32_t i = 0; i < p->m_classCount; ++i) EXPECT_EQ(p->m_classes[i]->m_font, p->m_classFont);
  p->Shutdown();
  EXPECT_EQ(p->m_fontManager, nullptr);
  EXPECT_EQ(p->m_carNumberFonts[0], nullptr);
  EXPECT_EQ(p->m_classFont, nullptr);
  delete p;
}

TEST_F(StartUpDevices, KeyboardJoysticksAndCheatWords) {
  Program* p = Start();
  if (p->m_keyboard) {
    EXPECT_EQ(static_cast<VQKeyboardDevice*>(p->m_keyboard)->m_canvas, p->m_canvas);
  }
  // The test machine has no joystick: every slot stays empty and nothing is logged for them.
  for (VQDevice* joystick : p->m_joysticks) EXPECT_EQ(joystick, nullptr);
  ASSERT_NE(p->m_keywordDetector, nullptr);
  EXPECT_EQ(p->m_keywordDetector->WordCount(), uint32_t(CHEAT_WORD_COUNT));
  EXPECT_EQ(g_keywordDetector, p->m_keywordDetector);
  // Typing a cheat word reaches the Program's cheat effects.
  for (const char* word : {"skelbitrop", "blurvenok"}) {
    for (const char* c = word; *c; ++c) p->m_keywordDetector->OnKey(VQKEY_A + uint32_t(*c - 'a'));
    EXPECT_TRUE(p->m_keywordDetector->OnKey(VQKEY_RETURN));
  }
  EXPECT_EQ(p->m_cheats.flagD, 1);
  EXPECT_EQ(p->m_cheats.flagB, 1);
  p->Shutdown();
  EXPECT_EQ(p->m_keywordDetector, nullptr);
  EXPECT_EQ(g_keywordDetector, nullptr);
  delete p;
  std::ifstream log("qvxlog.txt");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str().find("joystick device"), std::string::npos);
}

TEST_F(StartUpDevices, MaterialsGetTheirSoundsWhenSoundIsOn) {
  SetKey("sound", "1");
  Program* p = Start();
  if (!p->m_soundDevice) {
    p->Shutdown();
    delete p;
    GTEST_SKIP() << "this build has no sound device";
  }
  uint32_t withSound = 0;
  for (const CollisionMaterial& m : p->m_materials) {
    if (m.soundName[0]) {
      EXPECT_NE(m.sound, nullptr) << m.name << " " << m.soundName;
      ++withSound;
    }
  }
  EXPECT_GT(withSound, 0u);
  p->Shutdown();
  EXPECT_TRUE(p->m_materials.empty());
  delete p;
}

TEST_F(StartUpDevices, WithoutSoundMaterialsHaveNoSounds) {
  SetKey("sound", "0");
  Program* p = Start();
  for (const CollisionMaterial& m : p->m_materials) EXPECT_EQ(m.sound, nullptr);
  p->Shutdown();
  delete p;
}
