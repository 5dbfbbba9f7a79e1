// Whole start-ups and shutdowns of Pindrel on copies of the generated data tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "QVX/race/PlayerProfile.h"
#include "tests/support/run_tool.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A copy of the generated tree in a folder of this test. Files are hard links to the generated
// ones: the game replaces the files it writes (Config.ini, profiles) by renaming new ones over
// them, and tests that change a file remove it and write a new one.
class GameTree : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::absolute(fs::path("game_trees") / info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(m_dir);
  }
  // Runs the game headless; returns its exit code. Standard error lands in m_stderr.
  // A start-up that fails ends at once and leaves what it opened to the end of the process, so
  // leak reports are turned off for runs that are expected to fail.
  int Run(const std::string& extra = "--frames 3", bool expectFailure = false) {
    const std::string command = std::string(expectFailure ? "ASAN_OPTIONS=detect_leaks=0 " : "") + "'" +
                                vqtest::BinDir() + "'/Pindrel --headless --fixed-step 0.02 " + extra + " --data '" +
                                m_dir.string() + "'";
    const int status = vqtest::RunCommand(command, &m_stderr);
    m_log = ReadText(m_dir / "qvxlog.txt");
    return status;
  }
  void Replace(const std::string& relative, const std::string& content) {
    fs::remove(m_dir / relative);
    std::ofstream(m_dir / relative, std::ios::binary) << content;
  }
  void SetConfigLine(const std::string& key, const std::string& value) {
    std::string text = ReadText(m_dir / "Config.ini");
    const size_t at = text.find("\n" + key + " ");
    ASSERT_NE(at, std::string::npos) << key;
    const size_t end = text.find('\n', at + 1);
    text.replace(at + 1, end - at - 1, key + " = " + value);
    Replace("Config.ini", text);
  }
  void RemoveMatching(const std::string& folder, const std::string& prefix) {
    for (const auto& e : fs::directory_iterator(m_dir / folder))
      if (e.path().filename().string().rfind(prefix, 0) == 0) fs::remove(e.path());
  }
  size_t Find(const std::string& text) const { return m_log.find(text); }

  fs::path m_dir;
  std::string m_stderr, m_log;  // what the run printed (stdout and stderr), the game log
};

}  // namespace

TEST_F(GameTree, StartsAndShutsDownInOrder) {
  fs::remove(m_dir / "Config.ini.keep");
  ASSERT_EQ(Run("--frames 60"), 0) << m_stderr;
  const char* const lines[] = {"Program version V1.06 H start on ",
                               "Config file : setting language to English",
                               "Loaded strings file '.\\Data\\Languages\\English.bin'",
                               "Searching player profiles (*.bin) in folder '.\\Data\\Players'",
                               "Added player profile 'Driver'",
                               "No new bonus cars",
                               "No new bonus tracks",
                               "Loaded collision materials from 'Data\\Materials.ini'",
                               "Loaded music file names from file 'Data\\Music.ini'",
                               "Added class '",
                               "Added track '",
                               "Loaded HUD parameters from '.\\Data\\hud.ini'",
                               "Created player 'Driver' from profile",
                               "Destroyed player 'Driver'",
                               "Program end on "};
  size_t at = 0;
  for (const char* line : lines) {
    const size_t next = m_log.find(line, at);
    ASSERT_NE(next, std::string::npos) << "missing or out of order: " << line << "\n" << m_log;
    at = next;
  }
  // Player 2 of Config.ini has no profile and there is only one: it becomes both players.
  size_t created = 0;
  for (size_t p = Find("Created player 'Driver' from profile"); p != std::string::npos;
       p = m_log.find("Created player 'Driver' from profile", p + 1))
    ++created;
  EXPECT_EQ(created, 2u);
  const std::string config = ReadText(m_dir / "Config.ini");
  EXPECT_EQ(config.rfind("// QVX config file created on ", 0), 0u);
  EXPECT_NE(config.find("player1 = Driver\n"), std::string::npos);
  EXPECT_NE(config.find("displaydevicetype = opengl\n"), std::string::npos);
}

TEST_F(GameTree, FatalMissingFilesEndStartUpWithExitCodeOne) {
  struct Case {
    const char* what;
    std::function<void(GameTree*)> remove;
    const char* message;  // in the log; "" when start-up fails without a message of its own
  };
  // Each case on a fresh copy.
  const Case cases[] = {
      {"materials", [](GameTree* t) { fs::remove(t->m_dir / "Data/Materials.bin"); }, ""},
      {"classes", [](GameTree* t) { t->RemoveMatching("Data/Cars", "class_"); }, "Cannot scan classes folder '.\\Data\\Cars'"},
      {"tracks", [](GameTree* t) { t->RemoveMatching("Data/Tracks", "menutrack_"); }, "Cannot scan tracks folder '.\\Data\\Tracks'"},
      {"ai", [](GameTree* t) { t->RemoveMatching("Data", "class_AI_"); }, "Cannot load AI parameters from file '.\\Data\\class_AI_"},
      {"hud", [](GameTree* t) { fs::remove(t->m_dir / "Data/hud.ini"); }, "Cannot open file '.\\Data\\hud.ini' for reading"},
      {"display", [](GameTree* t) { t->SetConfigLine("displaydevicetype", "glide"); }, "Cannot initialize display device 'glide' index 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.remove(this);
    EXPECT_EQ(Run("--frames 3", true), 1) << m_stderr;
    if (*c.message) {
      EXPECT_NE(Find(c.message), std::string::npos) << m_log;
    }
    EXPECT_EQ(Find("Program end on"), std::string::npos);
  }
}

TEST_F(GameTree, OptionalFilesFallBack) {
  // No music list: a message, start-up goes on.
  fs::remove(m_dir / "Data/Music.ini");
  // No players folder: the profile scan fails and start-up goes on with no players.
  fs::remove_all(m_dir / "Data/Players");
  // No skins at all and no weather tables.
  fs::remove_all(m_dir / "Data/Maps_cars/Update1skins");
  fs::remove(m_dir / "Data/weather.bin");
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Error : Cannot open file 'Data\\Music.ini' for reading"), std::string::npos) << m_log;
  EXPECT_NE(Find("Error : Cannot scan player profiles folder"), std::string::npos) << m_log;
  EXPECT_NE(Find("Error : Cannot read the player profiles folder"), std::string::npos) << m_log;
  EXPECT_EQ(Find("Created player"), std::string::npos);
  EXPECT_NE(Find("Program end on"), std::string::npos);
  EXPECT_NE(m_stderr.find("Error: Cannot open file 'Data\\Music.ini' for reading"), std::string::npos);
}

TEST_F(GameTree, EmptyPlayersFolderStartsWithoutPlayers) {
  fs::remove_all(m_dir / "Data/Players");
  fs::create_directories(m_dir / "Data/Players");
  std::ofstream(m_dir / "Data/Players/notes.txt") << "x";
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Player profiles folder is empty"), std::string::npos) << m_log;
  EXPECT_EQ(Find("Error"), std::string::npos) << m_log;
  EXPECT_NE(ReadText(m_dir / "Config.ini").find("player1 = <none>\n"), std::string::npos);
}

TEST_F(GameTree, MissingConfigGivesGermanAndAMessage) {
  fs::remove(m_dir / "Config.ini");
  Run("--frames 3", true);
  EXPECT_NE(Find("Error : Cannot load config file '.\\Config.ini'"), std::string::npos) << m_log;
  EXPECT_NE(Find("Loaded strings file '.\\Data\\Languages\\Deutsch.bin'"), std::string::npos) << m_log;
}

TEST_F(GameTree, LanguageFallsBackToEnglish) {
  SetConfigLine("language", "polish");
  fs::remove(m_dir / "Data/Languages/Polish.bin");
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(m_stderr.find("Error: Cannot load message strings for language 'Pelmavant'"), std::string::npos)
      << m_stderr;
  EXPECT_NE(Find("Loaded strings file '.\\Data\\Languages\\English.bin'"), std::string::npos) << m_log;
  EXPECT_NE(ReadText(m_dir / "Config.ini").find("language = polish\n"), std::string::npos);
}

TEST_F(GameTree, NoEnglishEitherGivesTwoMessages) {
  SetConfigLine("language", "english");
  fs::remove(m_dir / "Data/Languages/English.bin");
  ASSERT_EQ(Run(), 0) << m_stderr;
  size_t count = 0;
  for (size_t at = m_stderr.find("language 'English'"); at != std::string::npos;
       at = m_stderr.find("language 'English'", at + 1))
    ++count;
  EXPECT_EQ(count, 2u) << m_stderr;
}

TEST_F(GameTree, DamagedProfileIsRefusedAndKept) {
  const std::string good = ReadText(m_dir / "Data/Players/Driver.bin");
  ASSERT_EQ(good.size(), PROFILE_RECORD_SIZE);
  Replace("Data/Players/Driver.bin", good.substr(0, 1000));
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Error : Cannot load player profile 'Driver'"), std::string::npos) << m_log;
  EXPECT_NE(Find("holds 1000 bytes"), std::string::npos) << m_log;
  EXPECT_EQ(fs::file_size(m_dir / "Data/Players/Driver.bin"), 1000u);
}

TEST_F(GameTree, ProfileNamesThatWouldLeaveTheFolderAreNotListed) {
  const std::string good = ReadText(m_dir / "Data/Players/Driver.bin");
  std::ofstream(m_dir / "Data/Players/.hidden.bin", std::ios::binary) << good;
  std::ofstream(m_dir / "Data/Players/ThisNameIsMuchTooLong.bin", std::ios::binary) << good;
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Added player profile 'Driver'"), std::string::npos);
  EXPECT_EQ(Find("Added player profile '.hidden'"), std::string::npos);
  EXPECT_EQ(Find("ThisNameIsMuchTooLong"), std::string::npos);
}

TEST_F(GameTree, ClassOutsideTheDifficultyRangeTakesAFreeSlot) {
  // Rewrite one class record with difficulty 77: it lands in a free slot, no class is lost.
  std::string record = ReadText(m_dir / "Data/Cars/class_rookie.bin");
  ASSERT_EQ(record.size(), 1940u);
  const uint8_t key[4] = {0x9d, 0x04, 0xe7, 0x71};
  const uint32_t difficulty = 77;
  for (int i = 0; i < 4; ++i) record[size_t(i)] = char(uint8_t(difficulty >> (8 * i)) ^ key[i]);
  Replace("Data/Cars/class_rookie.bin", record);
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Added class 'rookie' (difficulty conflict)"), std::string::npos) << m_log;
  size_t classes = 0;
  for (size_t at = Find("Added class '"); at != std::string::npos; at = m_log.find("Added class '", at + 1)) ++classes;
  EXPECT_EQ(classes, 10u);
}

TEST_F(GameTree, ShortClassFileIsDropped) {
  Replace("Data/Cars/class_rookie.bin", std::string(100, 'x'));
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("is too short (100 bytes)"), std::string::npos) << m_log;
  EXPECT_EQ(Find("Added class 'rookie'"), std::string::npos);
}

TEST_F(GameTree, BadCommandLine) {
  EXPECT_EQ(Run("--frames", true), 2);
  EXPECT_EQ(Run("--bogus", true), 2);
  EXPECT_EQ(Run("--fixed-step -1", true), 2);
}

TEST_F(GameTree, ScriptedQuitEndsTheRun) {
  std::ofstream(m_dir / "input.txt") << "# quit at frame 5\n2 key left down\n3 key left up\n4 mouse 10 20 1\n5 quit\n";
  ASSERT_EQ(Run("--frames 1000 --input " + (m_dir / "input.txt").string()), 0) << m_stderr;
  EXPECT_NE(Find("Program end on"), std::string::npos);
  std::ofstream(m_dir / "bad.txt") << "1 key nosuchkey down\n";
  EXPECT_EQ(Run("--input " + (m_dir / "bad.txt").string(), true), 2);
}

TEST_F(GameTree, BadSkinsAreSkippedOneByOne) {
  const std::string folder = "Data/Maps_cars/Update1skins/";
  fs::remove(m_dir / (folder + "MS rookie works.tga"));
  std::ofstream(m_dir / (folder + "MS nosuchclass red.txt")) << "author = x\n";
  std::ofstream(m_dir / (folder + "MS nosuchclass red.tga")) << "x";
  std::ofstream(m_dir / (folder + "MSnospace.txt")) << "author = x\n";
  std::ofstream(m_dir / (folder + "MSnospace.tga")) << "x";
  std::ofstream(m_dir / (folder + "MS street odd.txt")) << "colour = red\n";
  std::ofstream(m_dir / (folder + "MS street odd.tga")) << "x";
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Skin '.\\Data\\Maps_cars\\Update1skins\\MS rookie works.txt' is missing corresponding image file (skipping)"),
            std::string::npos)
      << m_log;
  EXPECT_NE(Find("MS nosuchclass red.txt' is for unknown class (skipping)"), std::string::npos) << m_log;
  EXPECT_NE(Find("MSnospace.txt' has invalid name (skipping)"), std::string::npos) << m_log;
  EXPECT_NE(Find("Error in skin file '.\\Data\\Maps_cars\\Update1skins\\MS street odd.txt' (skipping)"),
            std::string::npos)
      << m_log;
}

TEST_F(GameTree, HudBlockOfAnUnknownClassIsSkipped) {
  Replace("Data/hud.ini", "ghost {\n  harbour 1 2\n}\nrookie {\n  harbour 150 7.5\n}\n");
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Warning: Unknown racing class 'ghost'"), std::string::npos) << m_log;
  EXPECT_NE(Find("Loaded HUD parameters from"), std::string::npos);
}

TEST_F(GameTree, UnknownLanguageIsReportedAndEnglishUsed) {
  SetConfigLine("language", "klingon");
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(m_stderr.find("Error: Unknown Language 'klingon' ignored"), std::string::npos) << m_stderr;
  EXPECT_NE(Find("Loaded strings file '.\\Data\\Languages\\English.bin'"), std::string::npos) << m_log;
  EXPECT_NE(ReadText(m_dir / "Config.ini").find("language = english\n"), std::string::npos);
}

TEST_F(GameTree, ConfigRoundTripThroughTheGame) {
  SetConfigLine("horizontalresolution", "800");
  SetConfigLine("verticalresolution", "600");
  SetConfigLine("texturequality", "1");
  SetConfigLine("tcpport", "4100");
  SetConfigLine("language", "Francais");
  ASSERT_EQ(Run(), 0) << m_stderr;
  EXPECT_NE(Find("Loaded strings file '.\\Data\\Languages\\Francais.bin'"), std::string::npos) << m_log;
  const std::string config = ReadText(m_dir / "Config.ini");
  for (const char* line : {"horizontalresolution = 800\n", "verticalresolution = 600\n", "texturequality = 1\n",
                           "tcpport = 4100\n", "udpport = 2001\n", "language = francais\n", "windowed = 1\n",
                           "ball_radius = 0.000\n", "ball_mass = 0.000\n"})
    EXPECT_NE(config.find(line), std::string::npos) << line << config;
}
