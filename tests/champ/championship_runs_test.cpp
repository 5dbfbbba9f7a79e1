// A championship played through Pindrel's menus by scripted keys on a copy of the generated data
// tree: weekends are started from the championship pages, each race is left from the in-race
// menu once the field is under way (the player stays on the grid, so the race never waits on
// him) and scored from the race-end page; the saved profile then resumes the season, whose last
// weekend ends the championship with its prize page. Another run drives a weekend's race to
// the finish (the car steers along the line, the script holds the throttle and waits on the game
// log for the standings) and checks the points of every place against the table.
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
constexpr int32_t kHarbour = 4;  // track index of the harbour, a championship track
constexpr int32_t kSport = 4;    // class index of the sport class
// The races driven to the finish have two opponents: a full grid of eight of the same cars
// leaves the last car boxed in at the start. Their simulated races then hold three drivers.
constexpr int32_t kOpponents = 2;
constexpr uint32_t kField = kOpponents + 1;
constexpr uint32_t kThreeSum = 10 + 8 + 6;

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
  // skips; "wait:N" lets N frames pass; "hold:K" and "release:K" press or let go of a key;
  // "log:TEXT" waits until the game logs a line holding TEXT, and the keys after it count from
  // there; "quit" closes the window. With log waits the run ends by the script (the frame
  // limit is only a guard).
  // A scale of 2 runs at 0.01 s a frame with every frame number doubled.
  int Run(const std::vector<std::string>& keys, const std::string& extra = "", int scale = 1) {
    std::string script;
    const auto Press = [scale](int frame, const std::string& key) {
      return RaceRun::Press(frame * scale, key, scale);
    };
    for (int frame : {3, 20, 60}) script += Press(frame, "space");
    int frame = 110;
    bool waits = false;
    for (const std::string& key : keys) {
      const size_t colon = key.find(':');
      const std::string kind = colon == std::string::npos ? "" : key.substr(0, colon);
      const std::string arg = colon == std::string::npos ? "" : key.substr(colon + 1);
      if (kind == "wait") {
        frame += std::stoi(arg);
      } else if (kind == "log") {
        script += std::to_string(frame * scale) + " wait " + arg + "\n";
        frame = 10;
        waits = true;
      } else if (kind == "hold" || kind == "release") {
        script +=
            std::to_string(frame * scale) + " key " + arg + (kind == "hold" ? " down\n" : " up\n");
        frame += 10;
      } else if (key == "quit") {
        script += std::to_string(frame * scale) + " quit\n";
        frame += 10;
      } else {
        script += Press(frame, key);
        frame += 10;
      }
    }
    fs::remove(m_dir / "input.txt");
    std::ofstream(m_dir / "input.txt") << script;
    const int limit = waits ? 30000 : (frame + 300) * scale;
    const std::string command =
        "'" + vqtest::BinDir() + "'/Pindrel --headless --fixed-step " +
        (scale == 2 ? "0.01" : "0.02") + " --seed 7 --frames " +
        std::to_string(limit) + " --input input.txt --data '" + m_dir.string() + "' " + extra;
    const int status = vqtest::RunCommand(command, &m_out);
    m_log = ReadText(m_dir / "qvxlog.txt");
    return status;
  }
  static std::string Press(int frame, const std::string& key, int held = 1) {
    return std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + held) +
           " key " + key + " up\n";
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
    return Races("Championship race left: place ");
  }
  // The same for the races driven to their end.
  std::vector<std::vector<LeftPlace>> ScoredRaces() const {
    return Races("Championship race scored: place ");
  }
  std::vector<std::vector<LeftPlace>> Races(const std::string& head) const {
    std::vector<std::vector<LeftPlace>> races;
    std::istringstream lines(m_log);
    std::string line;
    bool inRace = false;
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
void ExpectOrdered(const PlayerProfile& p, int32_t count = 24) {
  ASSERT_EQ(p.num_champ_players, count);
  std::vector<uint32_t> seen(size_t(count) + 1, 0);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t pos = p.champ_players[i][1];
    ASSERT_GE(pos, 1);
    ASSERT_LE(pos, count);
    ++seen[size_t(pos)];
    for (int32_t j = 0; j < count; ++j) {
      if (p.champ_players[j][2] > p.champ_players[i][2])
        EXPECT_LT(p.champ_players[j][1], pos) << "entries " << j << " and " << i;
    }
  }
  for (int32_t pos = 1; pos <= count; ++pos) EXPECT_EQ(seen[size_t(pos)], 1u) << pos;
  uint32_t above = 0;
  for (int32_t i = 1; i < count; ++i) above += p.champ_players[i][2] > p.champ_players[0][2];
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

// One race driven to its finish scores its participants by the points table at their places
// (the winner, when it is the player, adds his bonus counter up to 3). Returns the race's own
// points and the player's.
uint32_t ExpectScoredByTheTable(const std::vector<LeftPlace>& race, uint32_t* player) {
  EXPECT_EQ(race.size(), kField);
  uint32_t sum = 0, players = 0;
  std::vector<bool> places(kField + 1, false);
  for (const LeftPlace& q : race) {
    EXPECT_GE(q.place, 1u) << q.name;
    EXPECT_LE(q.place, kField) << q.name;
    if (q.place >= 1 && q.place <= kField) places[q.place] = true;
    if (q.player && q.place == 1) {
      EXPECT_GE(q.points, 10u);
      EXPECT_LE(q.points, 13u);
    } else {
      EXPECT_EQ(q.points, Championship_Points(q.place)) << q.name;
    }
    if (q.player) {
      ++players;
      *player = q.points;
    }
    sum += q.points;
  }
  EXPECT_EQ(players, 1u);
  for (uint32_t pl = 1; pl <= kField; ++pl) EXPECT_TRUE(places[pl]) << "place " << pl;
  return sum;
}

// Drives the weekend's race: the throttle is held from the green light (the car steers along
// the line by itself) until the standings over the finished race are logged (once the field is
// in); the standings page is then left for the next weekend's set-up page and the window
// closed. The script waits on the log, so a faster or slower car does not upset it.
void DriveRaceToTheFinish(std::vector<std::string>& keys) {
  for (const char* k : {"log:Green light", "hold:up", "log:Championship standings:", "release:up",
                        "enter", "wait:50", "quit"})
    keys.emplace_back(k);
}

TEST_F(RaceRun, ChampionshipRacesDrivenToTheFinishScoreByTheTableAndASavedSeasonGoesOn) {
  // Run 1: the first championship is chosen and its standings lead to the race page; the
  // window is closed there.
  std::vector<std::string> keys = {"enter", "enter", "enter", "enter", "enter", "wait:50", "quit"};
  ASSERT_EQ(Run(keys), 0) << m_out;
  ExpectInOrder({"Menu page 47 ", "Championship 0: place 24, season 0, weekend 0",
                 "Menu page 21 "});
  PlayerProfile start;
  ASSERT_TRUE(ReadProfile(&start));
  ASSERT_EQ(start.in_champ, 1);
  ASSERT_EQ(start.num_champ_players, 24);
  // The saved season goes on at the harbour's weekend, in the sport class, whose car the
  // line-following steering brings round in well under a minute (at 0.01 s a frame, as the
  // single race driven to its finish).
  start.champ_weekend = kHarbour;
  start.champ_frame = kSport;
  start.champ_opponents = kOpponents;
  start.unlocked_cars[kSport] = 1;
  WriteProfile(start);

  // Run 2: the weekend's race is driven to the finish and scored; the standings lead to the
  // next weekend's race page.
  keys = {"enter", "enter", "enter", "enter", "enter"};
  DriveRaceToTheFinish(keys);
  ASSERT_EQ(Run(keys, "--steer-assist", 2), 0) << m_out;
  // (The loaded standings place the human, with no points yet, above the computer drivers.)
  ExpectInOrder({"Menu page 15 ", "Championship 0: place 1, season 0, weekend 4",
                 "Menu page 21 ", "Race in game mode 4", "track 'harbour'", "class 'sport'",
                 "1 laps", "Race round starts", "Green light", "Finished: Driver, place ",
                 "Race result: ", "Championship race scored: ", "Championship standings: ",
                 "Menu page 23 ", "Menu page 21 ", "Race ends"});
  const auto races = ScoredRaces();
  ASSERT_EQ(races.size(), 1u) << m_log;
  EXPECT_TRUE(LeftRaces().empty());
  uint32_t player = 0;
  const uint32_t race = ExpectScoredByTheTable(races[0], &player);
  PlayerProfile after;
  ASSERT_TRUE(ReadProfile(&after));
  EXPECT_EQ(after.in_champ, 1);
  EXPECT_EQ(after.champ_idx, 0);
  EXPECT_EQ(after.champ_season, 0);
  EXPECT_EQ(after.champ_weekend, kHarbour + 1);
  EXPECT_EQ(after.champ_race, 0);
  ExpectOrdered(after);
  EXPECT_EQ(uint32_t(after.champ_players[0][0]), CHAMP_HUMAN);
  EXPECT_EQ(uint32_t(after.champ_players[0][2]), player);
  // The 21 computer drivers outside the race share seven simulated races of three.
  EXPECT_EQ(Sum(after), race + 7 * kThreeSum);
  char standings[80];
  std::snprintf(standings, sizeof standings, "Championship standings: %u points, place %d",
                player, after.champ_players[0][1]);
  EXPECT_NE(m_log.find(standings), std::string::npos) << standings << "\n" << m_log;
}

TEST_F(RaceRun, BothRacesOfAGrandChampionshipWeekendAreDrivenToTheFinishAndScored) {
  // Every championship and car open: the choice page focuses the grand championship, whose
  // weekends hold two races on the same track. Run 1 chooses it and closes the window on its
  // race page; the season then goes on at the harbour's weekend in the sport class.
  PlayerProfile start;
  ASSERT_TRUE(ReadProfile(&start));
  for (uint8_t& open : start.unlocked_champs) open = 1;
  for (uint32_t c = 0; c < kClasses; ++c) start.unlocked_cars[c] = 1;
  WriteProfile(start);
  std::vector<std::string> keys = {"enter", "enter", "enter", "enter", "enter", "wait:50", "quit"};
  ASSERT_EQ(Run(keys), 0) << m_out;
  ExpectInOrder({"Menu page 47 ", "Championship 10: place 240, season 0, weekend 0",
                 "Menu page 21 "});
  ASSERT_TRUE(ReadProfile(&start));
  ASSERT_EQ(start.champ_idx, 10);
  start.champ_weekend = kHarbour;
  start.champ_frame = kSport;
  start.champ_opponents = kOpponents;
  WriteProfile(start);
  // Run 2: both races are driven to the finish; the second starts from the race page over the
  // first one's standings, on a new grid, and only it moves the season to the next weekend.
  keys = {"enter", "enter", "enter", "enter", "enter"};
  for (const char* k : {"log:Green light", "hold:up", "log:Championship standings:", "release:up",
                        "enter", "enter"})
    keys.emplace_back(k);
  DriveRaceToTheFinish(keys);
  ASSERT_EQ(Run(keys, "--steer-assist", 2), 0) << m_out;
  ExpectInOrder({"Menu page 15 ", "Championship 10: place 1, season 0, weekend 4",
                 "Menu page 21 ", "Race in game mode 4", "track 'harbour'", "Green light",
                 "Finished: Driver, place ", "Championship race scored: ",
                 "Championship standings: ", "Menu page 23 ", "Menu page 21 ",
                 "Race restart with a new grid", "Green light", "Finished: Driver, place ",
                 "Championship race scored: ", "Championship standings: ", "Menu page 23 ",
                 "Menu page 21 ", "Race ends"});
  const auto races = ScoredRaces();
  ASSERT_EQ(races.size(), 2u) << m_log;
  uint32_t player1 = 0, player2 = 0;
  const uint32_t race1 = ExpectScoredByTheTable(races[0], &player1);
  const uint32_t race2 = ExpectScoredByTheTable(races[1], &player2);
  PlayerProfile after;
  ASSERT_TRUE(ReadProfile(&after));
  EXPECT_EQ(after.in_champ, 1);
  EXPECT_EQ(after.champ_idx, 10);
  // The standings page over the running race marks the next race as a second one
  // (champ_race 1), which a loaded profile sets back to 0: only the weekend tells.
  EXPECT_EQ(after.champ_weekend, kHarbour + 1);
  ExpectOrdered(after, 240);
  EXPECT_EQ(uint32_t(after.champ_players[0][2]), player1 + player2);
  // Each race's 237 computer drivers outside it share 79 simulated races of three.
  EXPECT_EQ(Sum(after), race1 + race2 + 2 * 79 * kThreeSum);
}

}  // namespace
