// A championship played through Pindrel's menus by scripted keys on a copy of the generated data
// tree: weekends are started from the championship pages, each race is left from the in-race
// menu once the field is under way (the player stays on the grid, so the race never waits on
// him) and scored from the race-end page; the saved profile then resumes the season, whose last
// weekend ends the championship with its prize page.
//
// The whole races make these runs long: they are named RaceRun.* so that the sanitizer stage
// leaves them out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/Championship.h"
#include "tests/support/run_tool.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kClasses = 10;  // classes of the generated tree
constexpr int kRaceFrames = 1400;  // 28 s at 0.02 s a frame: the start and some 20 s racing
constexpr uint32_t kRaceSum = 10 + 8 + 6 + 5 + 4 + 3 + 2 + 1;  // points of a full field of 8
constexpr uint32_t kSevenSum = kRaceSum - 1;                   // points of 7 drivers

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// One line "Championship race left: place P NAME[ (player)], N points" of the log.
struct LeftPlace {
  uint32_t place = 0;
  std::string name;
  bool player = false;
  uint32_t points = 0;
};

class RaceRun : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir =
        fs::temp_directory_path() / ("qvx_champ_runs_" + std::to_string(::getpid())) / info->name();
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
  // Key presses 10 frames apart from frame 110 (the main menu is up), after the intro's three
  // skips; "wait:N" lets N frames pass.
  int Run(const std::vector<std::string>& keys) {
    std::string script;
    for (int frame : {3, 20, 60}) script += Press(frame, "space");
    int frame = 110;
    for (const std::string& key : keys) {
      if (key.rfind("wait:", 0) == 0) {
        frame += std::stoi(key.substr(5));
        continue;
      }
      script += Press(frame, key);
      frame += 10;
    }
    fs::remove(m_dir / "input.txt");
    std::ofstream(m_dir / "input.txt") << script;
    const std::string command =
        "'" + vqtest::BinDir() + "'/Pindrel --headless --fixed-step 0.02 --seed 7 --frames " +
        std::to_string(frame + 300) + " --input input.txt --data '" + m_dir.string() + "'";
    const int status = vqtest::RunCommand(command, &m_out);
    m_log = ReadText(m_dir / "qvxlog.txt");
    return status;
  }
  static std::string Press(int frame, const std::string& key) {
    return std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + 1) + " key " +
           key + " up\n";
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
  bool ReadProfile(PlayerProfile* out) {
    const std::string bytes = ReadText(m_dir / "Data/Players/Driver.bin");
    return PlayerProfile_Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              kClasses, out) == PROFILE_OK;
  }
  void WriteProfile(const PlayerProfile& profile) {
    const std::vector<uint8_t> out = PlayerProfile_Write(profile, kClasses);
    fs::remove(m_dir / "Data/Players/Driver.bin");  // a hard link into the generated tree
    std::ofstream(m_dir / "Data/Players/Driver.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  }
  // The places each left race scored, race by race, as the log lists them.
  std::vector<std::vector<LeftPlace>> LeftRaces() const {
    std::vector<std::vector<LeftPlace>> races;
    std::istringstream lines(m_log);
    std::string line;
    bool inRace = false;
    const std::string head = "Championship race left: place ";
    while (std::getline(lines, line)) {
      if (line.rfind(head, 0) != 0) {
        inRace = false;
        continue;
      }
      if (!inRace) races.emplace_back();
      inRace = true;
      LeftPlace q;
      std::string rest = line.substr(head.size());
      q.place = uint32_t(std::stoul(rest));
      rest = rest.substr(rest.find(' ') + 1);
      const size_t comma = rest.rfind(", ");
      q.name = rest.substr(0, comma);
      q.points = uint32_t(std::stoul(rest.substr(comma + 2)));
      const std::string mark = " (player)";
      if (q.name.size() > mark.size() && q.name.ends_with(mark)) {
        q.player = true;
        q.name.resize(q.name.size() - mark.size());
      }
      races.back().push_back(q);
    }
    return races;
  }

  fs::path m_dir;
  std::string m_out, m_log;
};

// Leaves the running race: Escape opens the in-race menu, down to "leave" and in; the race-end
// page's first item scores the race and ends it.
void LeaveRace(std::vector<std::string>& keys) {
  for (const char* k : {"esc", "down", "enter", "enter"}) keys.emplace_back(k);
  keys.emplace_back("wait:100");
}

uint32_t Sum(const PlayerProfile& p) {
  uint32_t sum = 0;
  for (int32_t i = 0; i < p.num_champ_players; ++i) sum += uint32_t(p.champ_players[i][2]);
  return sum;
}

// The standings of the profile are ordered by points, the human above every computer driver
// with his points, and their positions are 1 to the count.
void ExpectOrdered(const PlayerProfile& p) {
  ASSERT_EQ(p.num_champ_players, 24);
  std::vector<uint32_t> seen(25, 0);
  for (int32_t i = 0; i < 24; ++i) {
    const int32_t pos = p.champ_players[i][1];
    ASSERT_GE(pos, 1);
    ASSERT_LE(pos, 24);
    ++seen[size_t(pos)];
    for (int32_t j = 0; j < 24; ++j) {
      if (p.champ_players[j][2] > p.champ_players[i][2])
        EXPECT_LT(p.champ_players[j][1], pos) << "entries " << j << " and " << i;
    }
  }
  for (int32_t pos = 1; pos <= 24; ++pos) EXPECT_EQ(seen[size_t(pos)], 1u) << pos;
  uint32_t above = 0;
  for (int32_t i = 1; i < 24; ++i) above += p.champ_players[i][2] > p.champ_players[0][2];
  EXPECT_EQ(p.champ_players[0][1], int32_t(above + 1));
}

// Every left race scores its computer drivers by the points table at the places they held and
// the player nothing; the drivers outside the race and then the whole field are raced over in
// simulated races of eight (the weekend's second race passes with the first): each simulated
// race gives out the table from 10 down.
uint32_t ExpectTableAndSum(const std::vector<LeftPlace>& race) {
  EXPECT_EQ(race.size(), 8u);
  uint32_t sum = 0, players = 0;
  std::vector<bool> places(9, false);
  for (const LeftPlace& q : race) {
    EXPECT_GE(q.place, 1u);
    EXPECT_LE(q.place, 8u);
    if (q.place >= 1 && q.place <= 8) places[q.place] = true;
    if (q.player) {
      ++players;
      EXPECT_EQ(q.points, 0u) << q.name;
    } else {
      EXPECT_EQ(q.points, Championship_Points(q.place)) << q.name;
    }
    sum += q.points;
  }
  EXPECT_EQ(players, 1u);
  for (uint32_t pl = 1; pl <= 8; ++pl) EXPECT_TRUE(places[pl]) << "place " << pl;
  // 16 drivers outside the race in two races, then all 23 in races of 8, 8 and 7.
  return sum + 2 * kRaceSum + 2 * kRaceSum + kSevenSum;
}

TEST_F(RaceRun, ChampionshipWeekendsFromTheMenusScoreByTheTableAndASavedSeasonEndsWithItsPrize) {
  // Run 1: Single player, Championship, the championship choice, the first (open) championship;
  // its standings, continue to the race page, start. The race is left and scored; back in the
  // main menu the championship's standings page leads to the second weekend's race.
  std::vector<std::string> keys = {"enter", "enter", "enter", "enter", "enter", "enter"};
  keys.push_back("wait:" + std::to_string(kRaceFrames));
  LeaveRace(keys);
  for (const char* k : {"enter", "enter", "up", "enter", "enter", "enter"}) keys.emplace_back(k);
  keys.push_back("wait:" + std::to_string(kRaceFrames));
  LeaveRace(keys);
  for (const char* k : {"esc", "enter", "space", "space"}) keys.emplace_back(k);
  ASSERT_EQ(Run(keys), 0) << m_out;
  ExpectInOrder({"Menu page 47 ", "Menu page 23 ", "Championship 0: place 24, season 0, weekend 0",
                 "Menu page 21 ", "Race in game mode 4", "Menu page 24 ",
                 "Championship standings: ", "Race ends", "Menu page 15 ", "Menu page 23 ",
                 "Championship 0: place ", ", season 0, weekend 1", "Race in game mode 4",
                 "Menu page 24 ", "Championship standings: ", "Menus end: quit", "Program end"});
  const auto races = LeftRaces();
  ASSERT_EQ(races.size(), 2u) << m_log;
  const uint32_t expected = ExpectTableAndSum(races[0]) + ExpectTableAndSum(races[1]);

  PlayerProfile after;
  ASSERT_TRUE(ReadProfile(&after));
  EXPECT_EQ(after.in_champ, 1);
  EXPECT_EQ(after.champ_idx, 0);
  EXPECT_EQ(after.champ_season, 0);
  EXPECT_EQ(after.champ_weekend, 2);
  EXPECT_EQ(after.champ_race, 0);
  ExpectOrdered(after);
  EXPECT_EQ(uint32_t(after.champ_players[0][0]), CHAMP_HUMAN);
  EXPECT_EQ(after.champ_players[0][2], 0);
  EXPECT_EQ(Sum(after), expected);
  // The player's line in each race is the profile's driver.
  for (const auto& race : races)
    for (const LeftPlace& q : race)
      if (q.player) EXPECT_EQ(q.name, "Driver");

  // Run 2: the saved season resumes at its last weekend. The standings page shows the saved
  // table; the race is left and scored, the season goes round, and "continue" on the standings
  // page then ends the championship with the prize page.
  after.champ_weekend = 5;
  WriteProfile(after);
  keys = {"enter", "enter", "enter", "enter", "enter"};
  keys.push_back("wait:" + std::to_string(kRaceFrames));
  LeaveRace(keys);
  for (const char* k : {"enter", "enter", "enter", "enter", "enter", "esc", "esc", "esc", "enter",
                        "space", "space"})
    keys.emplace_back(k);
  ASSERT_EQ(Run(keys), 0) << m_out;
  char resumed[80];
  std::snprintf(resumed, sizeof resumed, "Championship 0: place %d, season 0, weekend 5",
                after.champ_players[0][1]);
  ExpectInOrder({"Menu page 15 ", "Menu page 23 ", resumed, "Menu page 21 ", "Race in game mode 4",
                 "Menu page 24 ", "Championship standings: 0 points", "Race ends", "Menu page 23 ",
                 ", season 1, weekend 0, ended", "Menu page 48 ", "Menu page 47 ",
                 "Menus end: quit"});
  const auto last = LeftRaces();
  ASSERT_EQ(last.size(), 1u) << m_log;
  PlayerProfile ended;
  ASSERT_TRUE(ReadProfile(&ended));
  EXPECT_EQ(ended.in_champ, 0);
  EXPECT_EQ(ended.champ_season, 1);
  EXPECT_EQ(ended.champ_opponents, 0);
  ExpectOrdered(ended);
  EXPECT_EQ(Sum(ended), expected + ExpectTableAndSum(last[0]));
  // The player scored nothing all season: off the podium, the prize counts the first finish
  // there, and the next championship stays closed.
  EXPECT_GT(ended.champ_players[0][1], 3);
  EXPECT_EQ(ended.champ_prizes[0], 4);
  EXPECT_EQ(ended.unlocked_champs[1], after.unlocked_champs[1]);
}

}  // namespace
