// Runs of Pindrel through the options pages by scripted keys on copies of the generated data
// tree: a control is rebound on the controls page and the new binding is in the saved profile,
// the default keys come back from the same page, and a new player profile is created, chosen
// away from and its player object let go from the players pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/InputCodes.h"
#include "tests/support/run_tool.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kClasses = 10;  // classes of the generated tree

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class OptionRun : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() / ("qvx_option_runs_" + std::to_string(::getpid())) /
            info->name();
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
  }
  void TearDown() override {
    if (HasFailure()) return;  // kept for a look at what the run left
    fs::remove_all(m_dir);
    std::error_code ec;
    fs::remove(m_dir.parent_path(), ec);
  }
  // Key presses (down on the frame, up on the next) after the intro's three skips; every press
  // is 10 frames after the previous one, starting at frame 110 when the main menu is up.
  void Keys(const std::vector<std::string>& keys) {
    std::string script;
    for (int frame : {3, 20, 60}) script += Press(frame, "space");
    int frame = 110;
    for (const std::string& key : keys) {
      script += Press(frame, key);
      frame += 10;
    }
    m_lastFrame = frame;
    std::ofstream(m_dir / "input.txt") << script;
  }
  static std::string Press(int frame, const std::string& key) {
    return std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + 1) + " key " +
           key + " up\n";
  }
  int Run() {
    const std::string command =
        "'" + vqtest::BinDir() + "'/Pindrel --headless --fixed-step 0.02 --seed 7 --frames " +
        std::to_string(m_lastFrame + 400) + " --input input.txt --data '" + m_dir.string() + "'";
    const int status = vqtest::RunCommand(command, &m_out);
    m_log = ReadText(m_dir / "qvxlog.txt");
    return status;
  }
  void ExpectInOrder(const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
      const size_t found = m_log.find(line, at);
      ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << line << "\n"
                                          << m_log;
      at = found + line.size();
    }
  }
  bool ReadProfile(const std::string& name, PlayerProfile* out) {
    const std::string bytes = ReadText(m_dir / "Data/Players" / (name + ".bin"));
    return PlayerProfile_Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              kClasses, out) == PROFILE_OK;
  }

  fs::path m_dir;
  int m_lastFrame = 110;
  std::string m_out, m_log;
};

// From the main page: up twice to "Options", and in.
const std::vector<std::string> kToOptions = {"up", "up", "enter"};
// From any page back to the main page and out of the game: Escape to the quit page, "Yes", and
// two keys for the outro.
std::vector<std::string> Leave(int escapes) {
  std::vector<std::string> keys(size_t(escapes), "esc");
  for (const char* k : {"esc", "enter", "space", "space"}) keys.emplace_back(k);
  return keys;
}

TEST_F(OptionRun, ARebindingByKeysIsSavedAndNothingIsLeftUnbound) {
  PlayerProfile before;
  ASSERT_TRUE(ReadProfile("Driver", &before));
  const int32_t a = InputCodeFromName("a");
  ASSERT_NE(a, 0);
  ASSERT_NE(before.bindings[0], a);
  std::vector<std::string> keys = kToOptions;
  // Options: "Controls", "Player 1", then the first control (steer left): Tab, Escape and F9
  // are refused and the capture waits on; "a" is taken. The second control (steer right) then
  // gets "a" as well: it stays bound to the first control too.
  for (const char* k :
       {"down", "enter", "enter", "enter", "tab", "esc", "F9", "a", "down", "enter", "a"})
    keys.emplace_back(k);
  for (const std::string& k : Leave(3)) keys.push_back(k);
  Keys(keys);
  ASSERT_EQ(Run(), 0) << m_out;
  ExpectInOrder({"Menu page 4 ", "Menu page 5 ", "Menu page 12 ", "Binding 30 of player 1: a",
                 "Binding 31 of player 1: a", "Menu page 5 ", "Menus end: quit", "Program end"});
  EXPECT_EQ(m_log.find("Binding 30 of player 1: tab"), std::string::npos);
  EXPECT_EQ(m_log.find("Screenshot"), std::string::npos);  // F9 went to the capture
  EXPECT_EQ(m_log.find("Menu page 30 ", m_log.find("Menu page 12 ")),
            m_log.rfind("Menu page 30 "));  // Escape did not leave the page while it waited

  PlayerProfile after;
  ASSERT_TRUE(ReadProfile("Driver", &after));
  EXPECT_EQ(after.bindings[0], a);
  EXPECT_EQ(after.bindings[1], a);
  for (int slot = 2; slot < PROFILE_BINDINGS; ++slot)
    EXPECT_EQ(after.bindings[slot], before.bindings[slot]) << "slot " << slot;
}

TEST_F(OptionRun, DefaultKeysComeBackFromTheControlsPage) {
  // Rebind steer left to "a", then "Player 1 keys" restores the first keyboard set.
  std::vector<std::string> keys = kToOptions;
  for (const char* k : {"down", "enter", "enter", "enter", "a"}) keys.emplace_back(k);
  // Down past the ten controls to the default keys item.
  for (int i = 0; i < 10; ++i) keys.emplace_back("down");
  keys.emplace_back("enter");
  for (const std::string& k : Leave(3)) keys.push_back(k);
  Keys(keys);
  ASSERT_EQ(Run(), 0) << m_out;
  ExpectInOrder({"Binding 30 of player 1: a", "Menus end: quit"});
  PlayerProfile after;
  ASSERT_TRUE(ReadProfile("Driver", &after));
  EXPECT_NE(after.bindings[0], InputCodeFromName("a"));
  EXPECT_EQ(after.bindings[0], InputCodeFromName("left"));
}

TEST_F(OptionRun, ANewPlayerProfileIsCreatedSelectedAndDeletedFromTheMenus) {
  // Options, "Players", down to "New player". The name field holds its default text with the
  // cursor in front: Delete clears it, "zed" is typed, Return goes on to the number (3) and on
  // to "Create"; the notice page leads back to the main menu. Options and "Players" again (the
  // pages keep their focus): up to player 1's profile, back to the first one, and out: the
  // player of the new profile is saved and let go, the first profile's player takes its place.
  std::vector<std::string> keys = kToOptions;
  for (const char* k : {"enter", "down",  "down",  "enter", "delete", "delete", "delete", "delete",
                        "z",     "e",     "d",     "enter", "right",  "right",  "enter",  "enter",
                        "enter", "enter", "enter", "up",    "up",     "left"})
    keys.emplace_back(k);
  for (const std::string& k : Leave(2)) keys.push_back(k);
  Keys(keys);
  ASSERT_EQ(Run(), 0) << m_out;
  ExpectInOrder({"Menu page 13 ", "Menu page 14 ", "Destroyed player 'Driver'",
                 "Created player 'zed' from profile", "Menu page 26 ", "Menu page 1 ",
                 "Menu page 13 ", "Destroyed player 'zed'", "Menu page 4 ", "Menus end: quit"});
  PlayerProfile zed, driver;
  ASSERT_TRUE(ReadProfile("zed", &zed));
  EXPECT_EQ(zed.number, 3);
  ASSERT_TRUE(ReadProfile("Driver", &driver));
  // The first player is the first profile again when the game ends.
  const std::string config = ReadText(m_dir / "Config.ini");
  EXPECT_NE(config.find("player1 = Driver"), std::string::npos) << config;
  // Only the typed name became a file: no default text, no caret character.
  size_t files = 0;
  for (const auto& f : fs::directory_iterator(m_dir / "Data/Players")) {
    ++files;
    const std::string name = f.path().filename().string();
    EXPECT_TRUE(name == "Driver.bin" || name == "zed.bin") << name;
  }
  EXPECT_EQ(files, 2u);
}

}  // namespace
