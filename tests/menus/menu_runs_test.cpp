// Whole runs of Pindrel through its screens on copies of the generated data tree: the intro is
// skipped by key presses, the menus are driven by scripted keys, and the game log tells what
// was shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QVX/race/PlayerProfile.h"
#include "host/image/jpeg_codec.h"
#include "tests/support/run_tool.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A decoded screenshot: red, green, blue bytes per pixel, top row first.
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};
Picture ReadPicture(const fs::path& path) {
  const std::string bytes = ReadText(path);
  Picture p;
  uint8_t* pixels = nullptr;
  char message[200] = "";
  if (!host::jpeg_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                         uint64_t(1) << 26, &pixels, &p.width, &p.height, message,
                         sizeof message)) {
    ADD_FAILURE() << path << ": " << message;
    return Picture{};
  }
  p.rgb.assign(pixels, pixels + size_t(p.width) * p.height * 3);
  std::free(pixels);
  return p;
}

// At 0.02 s a frame the intro is skipped by one key press in each of its three pictures and
// the main menu is up by frame 100.
constexpr int kMenusUp = 100;
constexpr uint32_t kClasses = 10;  // classes of the generated tree

class MenuRun : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir =
        fs::temp_directory_path() / ("qvx_menu_runs_" + std::to_string(::getpid())) / info->name();
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
  }
  void TearDown() override {
    if (HasFailure()) return;  // kept for a look at what the run left
    fs::remove_all(m_dir);
    std::error_code ec;
    fs::remove(m_dir.parent_path(), ec);  // once empty
  }
  // Key presses (down on the frame, up on the next) after the intro's three skips.
  void Keys(const std::vector<std::pair<int, std::string>>& presses) {
    std::string script;
    for (int frame : {3, 20, 60}) script += Press(frame, "space");
    for (const auto& p : presses) script += Press(p.first, p.second);
    fs::remove(m_dir / "input.txt");
    std::ofstream(m_dir / "input.txt") << script;
  }
  static std::string Press(int frame, const std::string& key) {
    return std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + 1) + " key " +
           key + " up\n";
  }
  int Run(int frames, const std::string& extra = "") {
    const std::string command =
        "'" + vqtest::BinDir() + "'/Pindrel --headless --fixed-step 0.02 --seed 7 --frames " +
        std::to_string(frames) + " --input input.txt " + extra + " --data '" + m_dir.string() + "'";
    const int status = vqtest::RunCommand(command, &m_out);
    m_log = ReadText(m_dir / "qvxlog.txt");
    return status;
  }
  // The lines appear in the log in this order.
  void ExpectInOrder(const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
      const size_t found = m_log.find(line, at);
      ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << line << "\n"
                                          << m_log;
      at = found + line.size();
    }
  }
  void SetConfig(const std::string& key, const std::string& value) {
    std::string text = ReadText(m_dir / "Config.ini");
    const size_t at = text.find("\n" + key + " ");
    ASSERT_NE(at, std::string::npos);
    text.replace(at + 1, text.find('\n', at + 1) - at - 1, key + " = " + value);
    fs::remove(m_dir / "Config.ini");
    std::ofstream(m_dir / "Config.ini") << text;
  }

  fs::path m_dir;
  std::string m_out, m_log;
};

TEST_F(MenuRun, SingleRaceIsStartedFromTheMenusAndTheGameQuitsThroughItsPage) {
  const auto profileBefore = fs::hard_link_count(m_dir / "Data/Players/Driver.bin");
  ASSERT_GE(profileBefore, 2u);  // the copy links to the generated tree
  // Main menu: Single player; Single race is the second item; its page starts on Start.
  // The race is left through its menu (Escape, down to "leave", accept). Back in the main
  // menu: up to "Quit game", accept, "Yes"; two keys end the outro.
  Keys({{110, "enter"},
        {120, "down"},
        {130, "enter"},
        {140, "enter"},
        {200, "esc"},
        {210, "down"},
        {220, "enter"},
        {300, "up"},
        {310, "enter"},
        {320, "enter"},
        {400, "space"},
        {410, "space"}});
  ASSERT_EQ(Run(2000), 0) << m_out;
  ExpectInOrder({"Intro start", "Intro end", "Menu page 1 'Main menu'",
                 "Menu page 2 'Single player'", "Menu page 11 'Single race'",
                 "Menus end: race in game mode 3", "Race in game mode 3", "Menu page 1 'Main menu'",
                 "Menu page 30 'Quit game'", "Menus end: quit", "Outro start", "Outro end",
                 "Program end"});
  // The profile and Config.ini were written anew (replaced, so no longer the tree's links).
  EXPECT_EQ(fs::hard_link_count(m_dir / "Data/Players/Driver.bin"), 1u);
  EXPECT_EQ(fs::hard_link_count(m_dir / "Config.ini"), 1u);
}

TEST_F(MenuRun, EscapeGoesBackAndOnTheMainPageAsksToQuit) {
  // Single player, Escape back to the main page, Escape to the quit page, "Yes".
  Keys(
      {{110, "enter"}, {120, "esc"}, {130, "esc"}, {140, "enter"}, {200, "space"}, {210, "space"}});
  ASSERT_EQ(Run(2000), 0) << m_out;
  ExpectInOrder({"Menu page 2 'Single player'", "Menu page 1 'Main menu'",
                 "Menu page 30 'Quit game'", "Menus end: quit", "Outro end"});
}

TEST_F(MenuRun, WithoutKeysTheMainMenuStartsARaceOfComputerDrivers) {
  // 30 s of idle menu at 0.02 s a frame: 1500 frames after the menus are up.
  Keys({});
  ASSERT_EQ(Run(kMenusUp + 1600), 0) << m_out;
  ExpectInOrder({"Menu page 1 'Main menu'", "Idle countdown: race of computer drivers",
                 "Menus end: race in game mode 5", "Race in game mode 5"});
}

TEST_F(MenuRun, TheMenusSpeakTheConfiguredLanguage) {
  // The single-player page, shot in English and then in German: the same frame of the same
  // run except for the menu texts.
  Keys({{110, "enter"}, {130, "F9"}});
  ASSERT_EQ(Run(kMenusUp + 40), 0) << m_out;
  ExpectInOrder({"Menu page 2 'Single player'"});
  ASSERT_TRUE(fs::exists(m_dir / "snap001.jpg")) << m_log;
  fs::rename(m_dir / "snap001.jpg", m_dir / "english.jpg");
  SetConfig("language", "deutsch");
  ASSERT_EQ(Run(kMenusUp + 40), 0) << m_out;
  ExpectInOrder(
      {"Loaded strings file '.\\Data\\Languages\\Deutsch.bin'", "Menu page 2 'Einzelspieler'"});
  ASSERT_TRUE(fs::exists(m_dir / "snap001.jpg")) << m_log;
  const Picture english = ReadPicture(m_dir / "english.jpg");
  const Picture german = ReadPicture(m_dir / "snap001.jpg");
  ASSERT_GT(english.width, 0u);
  ASSERT_EQ(english.width, german.width);
  ASSERT_EQ(english.height, german.height);
  // Pixels that differ clearly (beyond the compression's noise), and the rows they lie in.
  size_t changed = 0;
  uint32_t top = english.height, bottom = 0;
  for (uint32_t y = 0; y < english.height; ++y)
    for (uint32_t x = 0; x < english.width; ++x) {
      const size_t at = (size_t(y) * english.width + x) * 3;
      int most = 0;
      for (size_t c = 0; c < 3; ++c)
        most = std::max(most, std::abs(int(english.rgb[at + c]) - int(german.rgb[at + c])));
      if (most < 60) continue;
      ++changed;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  EXPECT_GT(changed, 200u) << "the menu texts are drawn in the other language";
  // Only a region of the picture (the texts) changed, not the whole screen.
  EXPECT_LT(changed, size_t(english.width) * english.height / 4);
  EXPECT_LT(top, bottom);
}

TEST_F(MenuRun, F9WritesTheNextFreeScreenshot) {
  for (int i = 1; i <= 4; ++i)
    std::ofstream(m_dir / ("snap00" + std::to_string(i) + ".jpg")) << "old";
  Keys({{110, "F9"}});
  ASSERT_EQ(Run(kMenusUp + 20), 0) << m_out;
  ASSERT_TRUE(fs::exists(m_dir / "snap005.jpg")) << m_log;
  EXPECT_GT(fs::file_size(m_dir / "snap005.jpg"), 100u);
  EXPECT_EQ(ReadText(m_dir / "snap004.jpg"), "old");
  EXPECT_FALSE(fs::exists(m_dir / "snap006.jpg"));
}

TEST_F(MenuRun, SetUpValuesFromAProfileOutsideTheContentAreClamped) {
  // A profile naming a class, track, weather and lap choice far beyond the tree's lists: the
  // single-race page shows and the race starts with the last entries instead.
  Keys({{110, "enter"},
        {120, "down"},
        {130, "enter"},
        {140, "down"},
        {150, "right"},
        {160, "up"},
        {170, "enter"}});
  const std::string bytes = ReadText(m_dir / "Data/Players/Driver.bin");
  PlayerProfile profile;
  ASSERT_EQ(PlayerProfile_Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                               kClasses, &profile),
            PROFILE_OK);
  profile.normal_frame = 500;
  profile.normal_color = -3;
  profile.normal_track = 77;
  profile.normal_weather = 1000;
  profile.normal_length = 9;
  profile.normal_opponents = 99;
  const std::vector<uint8_t> out = PlayerProfile_Write(profile, kClasses);
  fs::remove(m_dir / "Data/Players/Driver.bin");
  std::ofstream(m_dir / "Data/Players/Driver.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  ASSERT_EQ(Run(kMenusUp + 200), 0) << m_out;
  ExpectInOrder({"Menu page 11 'Single race'", "Menus end: race in game mode 3"});
  // The profile written after the menus holds choices within the content: the loader puts an
  // unknown class, track and lap choice on the first entry (the class then stepped right), the
  // menus clamp the opponents and the weather to their last entries.
  const std::string saved = ReadText(m_dir / "Data/Players/Driver.bin");
  PlayerProfile back;
  ASSERT_EQ(PlayerProfile_Read(reinterpret_cast<const uint8_t*>(saved.data()), saved.size(),
                               kClasses, &back),
            PROFILE_OK);
  EXPECT_EQ(back.normal_frame, 1);
  EXPECT_EQ(back.normal_color, 0);
  EXPECT_EQ(back.normal_track, 0);
  EXPECT_EQ(back.normal_length, 0);
  EXPECT_EQ(back.normal_opponents, 7);
  EXPECT_EQ(back.normal_weather, 6);  // the generated tracks have 6 weathers and the random entry
}

TEST_F(MenuRun, WithoutAMusicListTheScreensStaySilent) {
  fs::remove(m_dir / "Data/Music.ini");
  Keys({{110, "enter"}});
  ASSERT_EQ(Run(kMenusUp + 40), 0) << m_out;
  ExpectInOrder({"Intro end", "Menu page 2 'Single player'"});
  EXPECT_EQ(m_log.find("Playing music"), std::string::npos) << m_log;
}

}  // namespace
