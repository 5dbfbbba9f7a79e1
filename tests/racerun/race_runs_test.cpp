// Whole runs of Pindrel from the menus through races and back, on copies of the generated data
// tree: the intro is skipped by keys, the menus and the cars are driven by scripted keys, and the
// game log and the --results file tell what happened.
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

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// At 0.01 s a frame the intro is skipped by one key in each of its pictures and the main menu
// is up by frame 200.
constexpr int kMenusUp = 200;

class RaceRun : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir =
        fs::temp_directory_path() / ("qvx_race_runs_" + std::to_string(::getpid())) / info->name();
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
  // Key presses (down on the frame, up on the next) after the intro's skips, and held keys.
  void Script(const std::vector<std::pair<int, std::string>>& presses,
              const std::vector<std::tuple<int, int, std::string>>& holds = {}) {
    std::string script;
    for (int frame : {3, 40, 120}) script += Press(frame, "space");
    for (const auto& p : presses) script += Press(p.first, p.second);
    for (const auto& [from, to, key] : holds)
      script += std::to_string(from) + " key " + key + " down\n" + std::to_string(to) + " key " +
                key + " up\n";
    fs::remove(m_dir / "input.txt");
    std::ofstream(m_dir / "input.txt") << script;
  }
  static std::string Press(int frame, const std::string& key) {
    return std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + 1) + " key " +
           key + " up\n";
  }
  // Presses of a key every `every` frames in [from, to).
  static void Repeat(std::vector<std::pair<int, std::string>>& out, int from, int to, int every,
                     const std::string& key) {
    for (int f = from; f < to; f += every) out.emplace_back(f, key);
  }
  int Run(int frames, uint32_t seed = 7, const std::string& step = "0.01",
          const std::string& extra = "") {
    const std::string command = "'" + vqtest::BinDir() + "'/Pindrel --headless --fixed-step " +
                                step + " --seed " + std::to_string(seed) + " --frames " +
                                std::to_string(frames) + " --input input.txt --results '" +
                                (m_dir / "results.csv").string() + "' --data '" + m_dir.string() +
                                "' " + extra;
    const int status = vqtest::RunCommand(command, &m_out);
    m_log = ReadText(m_dir / "qvxlog.txt");
    m_results = ReadText(m_dir / "results.csv");
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
  // The rows of the results file (without its header).
  std::vector<std::vector<std::string>> Rows() const {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(m_results);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::vector<std::string> cells;
      std::istringstream cellsIn(line);
      std::string cell;
      while (std::getline(cellsIn, cell, ',')) cells.push_back(cell);
      rows.push_back(cells);
    }
    return rows;
  }

  // Sets the stored profile's single-race track, length (an index of the lengths list: 0 is one lap),
  // number of opponents, and (when given) class and race type, the way the set-up page would leave
  // them.
  void SetRaceSetUp(int32_t track, int32_t length, int32_t opponents, int32_t classIndex = -1,
                    int32_t raceType = -1) {
    const fs::path path = m_dir / "Data/Players/Driver.bin";
    const std::string bytes = ReadText(path);
    PlayerProfile profile;
    ASSERT_EQ(PlayerProfile_Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 PROFILE_MAX_CLASSES, &profile),
              PROFILE_OK);
    profile.normal_track = track;
    profile.normal_length = length;
    profile.normal_opponents = opponents;
    if (classIndex >= 0) profile.normal_frame = classIndex;
    if (raceType >= 0) profile.normal_racetype = raceType;
    const std::vector<uint8_t> out = PlayerProfile_Write(profile, PROFILE_MAX_CLASSES);
    fs::remove(path);  // a link into the generated tree: replaced, not written through
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  }

  fs::path m_dir;
  std::string m_out, m_log, m_results;
};

}  // namespace

namespace {

// Main menu: Single player, Single race, Start (the race of the first player's set-up).
const std::vector<std::pair<int, std::string>> kStartSingleRace = {
    {220, "enter"}, {240, "down"}, {260, "enter"}, {280, "enter"}};

// The number after "Race start: " / "Race teardown: " in the log.
std::vector<int> HandlerCounts(const std::string& log, const std::string& what) {
  std::vector<int> out;
  for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
    out.push_back(std::atoi(log.c_str() + at + what.size()));
  return out;
}

}  // namespace

TEST_F(RaceRun, PauseResumeRestartAndLeaveFromTheInRaceMenu) {
  auto keys = kStartSingleRace;
  // Escape opens the menu (paused), Return resumes; Escape, Up to "restart", Return; Escape,
  // Down to "leave", Return; then the main menu's quit page and the outro.
  keys.insert(keys.end(), {{1000, "esc"},
                           {1050, "enter"},
                           {1100, "esc"},
                           {1150, "up"},
                           {1170, "enter"},
                           {1300, "esc"},
                           {1350, "down"},
                           {1370, "enter"},
                           {1500, "up"},
                           {1520, "enter"},
                           {1540, "enter"},
                           {1700, "space"},
                           {1720, "space"}});
  Script(keys, {{600, 900, "up"}});
  ASSERT_EQ(Run(4000), 0) << m_out;
  ExpectInOrder({"Menus end: race in game mode 3", "Race in game mode 3", "Race views: 1",
                 "Race round starts", "In-race menu", "Race paused", "Race resumed", "In-race menu",
                 "Race paused", "Race restart", "Race round starts", "In-race menu", "Race paused",
                 "Race ends", "Menu page 1 'Main menu'", "Menus end: quit", "Outro end",
                 "Program end"});
  EXPECT_EQ(Count(m_log, "Race round starts"), 2u);
  // One teardown: the race's key handler is gone and nothing else was popped with it.
  EXPECT_EQ(HandlerCounts(m_log, "Race start: "), HandlerCounts(m_log, "Race teardown: "));
  // The profile and Config.ini were written anew (replaced, so no longer the tree's links).
  EXPECT_EQ(fs::hard_link_count(m_dir / "Data/Players/Driver.bin"), 1u);
  EXPECT_EQ(fs::hard_link_count(m_dir / "Config.ini"), 1u);
}

TEST_F(RaceRun, ASecondRaceHoldsNoMoreTexturesThanTheFirst) {
  // A single race left from the in-race menu, the same race again from the main page, left too.
  auto keys = kStartSingleRace;
  keys.insert(keys.end(), {{900, "esc"}, {950, "down"}, {970, "enter"}});
  for (const auto& [frame, key] : kStartSingleRace) keys.emplace_back(frame + 900, key);
  keys.insert(keys.end(), {{1800, "esc"}, {1850, "down"}, {1870, "enter"}});
  Script(keys);
  ASSERT_EQ(Run(2000), 0) << m_out;
  ExpectInOrder({"Car paint: class ", "Race ends", "Race teardown: ", "Car paint: class ",
                 "Race ends", "Race teardown: "});
  // The textures the display holds after each race: the second car's paint went as the first's.
  std::vector<int> held;
  const std::string teardown = "Race teardown: ";
  for (size_t at = m_log.find(teardown); at != std::string::npos;
       at = m_log.find(teardown, at + 1)) {
    const size_t comma = m_log.find(", ", at);
    ASSERT_NE(comma, std::string::npos) << m_log;
    held.push_back(std::atoi(m_log.c_str() + comma + 2));
  }
  ASSERT_EQ(held.size(), 2u) << m_log;
  EXPECT_GT(held[0], 0);
  EXPECT_EQ(held[1], held[0]) << m_log;
}

TEST_F(RaceRun, TwoLocalPlayersShareTheWindowAsASplitScreen) {
  // Main menu: Multiplayer, Split screen (third item), Start; leave through the in-race menu.
  Script({{220, "down"},
          {230, "enter"},
          {250, "down"},
          {260, "down"},
          {270, "enter"},
          {290, "enter"},
          {800, "esc"},
          {850, "down"},
          {870, "enter"}},
         {{500, 700, "up"}, {500, 700, "i"}});
  ASSERT_EQ(Run(1200), 0) << m_out;
  ExpectInOrder({"Menus end: race in game mode 2", "Race in game mode 2", "Race loaded: 2 cars",
                 "Race views: 2", "Race round starts", "In-race menu", "Race ends",
                 "Menu page 1 'Main menu'"});
  EXPECT_EQ(HandlerCounts(m_log, "Race start: "), HandlerCounts(m_log, "Race teardown: "));
}

TEST_F(RaceRun, ATrackWithoutCamerasShowsItsErrorAndReturnsToTheMenus) {
  // The camera files of the tracks hold no camera: the race is not run.
  for (const auto& entry : fs::directory_iterator(m_dir / "Data/Tracks"))
    if (entry.path().filename().string().find("_cams.bin") != std::string::npos) {
      fs::remove(entry.path());
      std::ofstream(entry.path());
    }
  Script(kStartSingleRace);
  ASSERT_EQ(Run(600), 0) << m_out;
  ExpectInOrder({"Race in game mode 3", "Error : No cameras defined! (Need at least one)",
                 "Race teardown", "Menu page 1 'Main menu'"});
  EXPECT_EQ(m_log.find("Race round starts"), std::string::npos);
}

TEST_F(RaceRun, TheIdleRaceOfComputerDriversRepeatsExactlyWithTheSameSeed) {
  // No keys after the intro: the main menu's idle countdown starts a one-lap race of computer
  // drivers, which ends by itself and is written to the results file. Large frame steps keep
  // the run short.
  Script({});
  std::vector<std::string> runs;
  for (int run = 0; run < 2; ++run) {
    fs::remove(m_dir / "results.csv");
    ASSERT_EQ(Run(3600, 11, "0.05"), 0) << m_out;
    ExpectInOrder({"Idle countdown: race of computer drivers", "Race in game mode 5",
                   "Race round starts", "Race result: 1 ", "Race results appended", "Race ends",
                   "Race teardown"});
    const auto rows = Rows();
    ASSERT_GE(rows.size(), 2u) << m_results;
    for (size_t i = 0; i < rows.size(); ++i) {
      ASSERT_GE(rows[i].size(), 7u) << m_results;
      EXPECT_EQ(rows[i][2], std::to_string(i + 1)) << m_results;  // classified in order
      EXPECT_GT(std::atof(rows[i][5].c_str()), 10.0) << m_results;
    }
    runs.push_back(m_results);
  }
  EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(RaceRun, ASingleRaceFromTheMenusRacesComputerDriversInTheField) {
  // One lap of the harbour against two computer drivers; the player holds the throttle and
  // presses the rescue key now and then, then leaves through the in-race menu and quits.
  SetRaceSetUp(4, 0, 2);
  auto keys = kStartSingleRace;
  Repeat(keys, 700, 11800, 100, "r");
  keys.insert(keys.end(), {{12000, "esc"},
                           {12050, "down"},
                           {12070, "enter"},
                           {12200, "up"},
                           {12220, "enter"},
                           {12240, "enter"},
                           {12400, "space"},
                           {12420, "space"}});
  Script(keys, {{500, 11800, "up"}});
  ASSERT_EQ(Run(13000), 0) << m_out;
  ExpectInOrder({"Race in game mode 3", "Race set-up: track 'harbour'", "1 laps",
                 "Computer drivers of this field: 2", "Race loaded: 3 cars", "Race round starts",
                 "Finished: ", "place 1", "Finished: ", "place 2", "In-race menu", "Race ends",
                 "Menu page 1 'Main menu'", "Menus end: quit", "Program end"});
  EXPECT_EQ(HandlerCounts(m_log, "Race start: "), HandlerCounts(m_log, "Race teardown: "));
  // The profile and Config.ini were written anew (replaced, so no longer the tree's links).
  EXPECT_EQ(fs::hard_link_count(m_dir / "Data/Players/Driver.bin"), 1u);
  EXPECT_EQ(fs::hard_link_count(m_dir / "Config.ini"), 1u);
}

TEST_F(RaceRun, ASingleRaceIsDrivenToTheFinishAndItsResultsAndPodiumShown) {
  // One lap of the harbour in the sport class against two computer drivers of the base classes.
  // The player holds the throttle from after the green light and the car steers along the line
  // (the script cannot see the road; at the sport car's pace a bend can still throw it off, so
  // the rescue key is pressed now and then); the results page comes once everybody has finished
  // (the player after about 75 s), its finish item shows the podium, and the player leaves
  // through the in-race menu and quits.
  SetRaceSetUp(4, 0, 2, /*classIndex=*/4, /*raceType=*/1);
  auto keys = kStartSingleRace;
  Repeat(keys, 1400, 8800, 300, "r");
  keys.insert(keys.end(), {{9000, "enter"},
                           {9200, "esc"},
                           {9250, "down"},
                           {9270, "enter"},
                           {9400, "up"},
                           {9420, "enter"},
                           {9440, "enter"},
                           {9600, "space"},
                           {9620, "space"}});
  Script(keys, {{1200, 8900, "up"}});
  ASSERT_EQ(Run(10000, 7, "0.01", "--steer-assist"), 0) << m_out;
  ExpectInOrder({"Menu page 1 'Main menu'", "Menu page 11 'Single race'",
                 "Menus end: race in game mode 3", "Race set-up: track 'harbour'", "class 'sport'",
                 "1 laps", "Computer drivers of this field: 2", "Car of 'Driver': class 'sport'",
                 "Race loaded: 3 cars", "Race views: 1", "Race round starts", "Finished: Driver",
                 "Race results appended", "Menu page 22 'Results'", "Podium: 3 cars",
                 "Podium place 1: ",
                 "In-race menu", "Race ends", "Menu page 1 'Main menu'", "Menus end: quit",
                 "Outro end", "Program end"});
  // The results file holds the classified race with the player's row.
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u) << m_results;
  bool player = false;
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_GE(rows[i].size(), 7u) << m_results;
    EXPECT_EQ(rows[i][0], "harbour");
    EXPECT_EQ(rows[i][1], "single");
    EXPECT_EQ(rows[i][2], std::to_string(i + 1)) << m_results;
    EXPECT_GT(std::atof(rows[i][5].c_str()), 10.0) << m_results;
    if (rows[i][3] == "Driver") {
      player = true;
      EXPECT_EQ(rows[i][4], "sport");
      EXPECT_GT(std::atof(rows[i][6].c_str()), 10.0) << m_results;  // a counted lap
    }
  }
  EXPECT_TRUE(player) << m_results;
  EXPECT_EQ(HandlerCounts(m_log, "Race start: "), HandlerCounts(m_log, "Race teardown: "));
  EXPECT_EQ(fs::hard_link_count(m_dir / "Data/Players/Driver.bin"), 1u);
  EXPECT_EQ(fs::hard_link_count(m_dir / "Config.ini"), 1u);
}

TEST_F(RaceRun, AThrottleReboundOnTheControlsPageDrivesTheNextRaceToTheFinish) {
  // Options, Controls, Player 1: the third control (throttle) is rebound to "w". Back on the
  // main page, a single race of one lap at the harbour in the sport class against two computer
  // drivers is started; the car steers along the line while "w" is held from the green light,
  // and the player's finish is logged. The script waits on the log, not on frame counts.
  SetRaceSetUp(4, 0, 2, /*classIndex=*/4, /*raceType=*/1);
  std::string script;
  for (int frame : {3, 40, 120}) script += Press(frame, "space");
  int frame = 200;
  for (const char* key : {"up", "up", "enter", "down", "enter", "enter", "down", "down", "enter",
                          "w", "esc", "esc", "esc", "down", "down", "enter", "down", "enter",
                          "enter"}) {
    script += Press(frame, key);
    frame += 20;
  }
  script += std::to_string(frame) + " wait Green light\n";
  script += "20 key w down\n";
  script += "40 wait Finished: Driver,\n";
  script += "20 key w up\n100 quit\n";
  fs::remove(m_dir / "input.txt");
  std::ofstream(m_dir / "input.txt") << script;
  ASSERT_EQ(Run(20000, 7, "0.01", "--steer-assist"), 0) << m_out;
  ExpectInOrder({"Menu page 12 ", "Binding 32 of player 1: w", "Menu page 1 'Main menu'",
                 "Menu page 11 'Single race'", "Race in game mode 3", "track 'harbour'",
                 "Race round starts", "Green light", "Finished: Driver, place ", "Race ends"});
  const std::string bytes = ReadText(m_dir / "Data/Players/Driver.bin");
  PlayerProfile profile;
  ASSERT_EQ(PlayerProfile_Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                               PROFILE_MAX_CLASSES, &profile),
            PROFILE_OK);
  EXPECT_EQ(profile.bindings[2], InputCodeFromName("w"));
}
