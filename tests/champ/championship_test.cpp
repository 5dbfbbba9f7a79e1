// The championship rules alone: points, set-up, standings order and view, scoring with the
// simulated races, the season's advance, the texts, and standings restored from a profile.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <numeric>
#include <sstream>

#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/Championship.h"
#include "QVX/shell/RecordBytes.h"

namespace {

// A world of `records` computer drivers ("D<i>", class i / 24 % 10 unless allZero, colour i % 2,
// reference time 60 + i on every track), `classes` classes with two colours, six flagged tracks
// of eight.
struct World {
  std::vector<AIDriverRecord> drivers;
  PlayerProfile profile;
  ChampionshipWorld w;
  int saves = 0;
  explicit World(size_t records = 240, bool allZero = false) {
    drivers.resize(records);
    for (size_t i = 0; i < records; ++i) {
      uint8_t* r = drivers[i].bytes;
      std::memset(r, 0, AI_RECORD_SIZE);
      r[AIREC_AVAILABLE] = 1;
      Record_PutName(r, AIREC_NAME, 20, ("D" + std::to_string(i)).c_str());
      Record_PutI32(r, AIREC_COLOR, int32_t(i % 2));
      Record_PutI32(r, AIREC_CLASS, allZero ? 0 : int32_t(i / 24 % 10));
      for (size_t t = 0; t < 20; ++t) Record_PutF32(r, AIREC_TIMES + 4 * t, 60.0f + float(i));
    }
    w.drivers = &drivers;
    w.champTracks = {1, 1, 1, 1, 1, 1, 0, 0};
    for (int c = 0; c < 11; ++c) {
      w.classNames.push_back("class" + std::to_string(c));
      w.colorNames.push_back({"red", "blue"});
      w.baseClass.push_back(uint32_t(c % 10));
    }
    w.human = &profile;
    w.humanName = "Me";
    w.text = [](int32_t id) { return id == 202 ? "lap" : id == 203 ? "laps" : "?"; };
    w.saveHuman = [this]() {
      ++saves;
      return true;
    };
  }
};

ChampParticipant Human(uint32_t position, int32_t bonus = 0, float time = 100.0f) {
  ChampParticipant p;
  p.name = "Me";
  p.type = CHAMPPART_HUMAN;
  p.position = position;
  p.finished = 1;
  p.bonus = bonus;
  p.time = time;
  p.laps = 3;
  return p;
}

ChampParticipant Computer(uint32_t driver, uint32_t position, float time = 100.0f,
                          uint32_t laps = 3) {
  ChampParticipant p;
  p.name = "D" + std::to_string(driver);
  p.type = CHAMPPART_COMPUTER;
  p.aiDriver = driver;
  p.position = position;
  p.finished = 1;
  p.time = time;
  p.laps = laps;
  return p;
}

uint32_t TotalPoints(const Championship& c) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < c.EntryCount(); ++i) sum += c.Entry(i).points;
  return sum;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace

TEST(Championship, PointsTableAndRaceTimeText) {
  const uint32_t expected[][2] = {{0, 0}, {1, 10}, {2, 8}, {3, 6},  {4, 5},  {5, 4},   {6, 3},
                                  {7, 2}, {8, 1},  {9, 0}, {32, 0}, {33, 0}, {1000, 0}};
  for (const auto& e : expected) EXPECT_EQ(Championship_Points(e[0]), e[1]) << "position " << e[0];

  const struct {
    float seconds;
    const char* text;
  } times[] = {{83.456f, "01:23:45"},
               {6000.0f, "100:00:00"},
               {0.0f, "00:00:00"},
               {-5.0f, "00:00:00"},
               {59.99f, "00:59:99"}};
  char out[32];
  for (const auto& t : times) {
    FormatRaceTime(out, sizeof out, t.seconds);
    EXPECT_STREQ(out, t.text) << t.seconds;
  }
}

TEST(Championship, SetupBuildsTheStandingsOfEachKind) {
  for (uint32_t kind : {0u, 3u, 9u}) {
    World world;
    Championship c;
    ASSERT_TRUE(c.Setup(world.w, kind));
    ASSERT_EQ(c.EntryCount(), 24u);
    EXPECT_EQ(c.Entry(0).driver, CHAMP_HUMAN);
    EXPECT_EQ(c.Entry(0).position, 24u);
    for (uint32_t k = 1; k < 24; ++k) {
      EXPECT_EQ(c.Entry(k).driver, kind * 24 + k - 1);
      EXPECT_EQ(c.Entry(k).position, k);
      EXPECT_EQ(c.EntryAt(k), k);
    }
    EXPECT_EQ(c.EntryAt(24), 0u);
    const PlayerProfile& p = world.profile;
    EXPECT_EQ(p.in_champ, 1);
    EXPECT_EQ(p.champ_idx, int32_t(kind));
    EXPECT_EQ(p.champ_frame, int32_t(kind));
    EXPECT_EQ(p.champ_opponents, 7);
    EXPECT_EQ(p.num_champ_players, 24);
    EXPECT_EQ(p.champ_players[5][0], int32_t(kind * 24 + 4));
  }
  World world;
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 10));
  ASSERT_EQ(c.EntryCount(), 240u);
  EXPECT_EQ(c.Entry(1).driver, 239u);
  EXPECT_EQ(c.Entry(239).driver, 1u);
  EXPECT_EQ(c.Entry(0).position, 240u);
  EXPECT_EQ(world.profile.champ_frame, 0);
  EXPECT_FALSE(c.Setup(world.w, 11));
}

TEST(Championship, WeatherTablesHoldTheirValues) {
  auto sorted = [](const PlayerProfile& p) {
    std::vector<int32_t> v(p.champ_weather_idxs, p.champ_weather_idxs + 6);
    std::sort(v.begin(), v.end());
    return v;
  };
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::srand(seed);
    World world;
    Championship c;
    c.FillWeatherTable(world.w, 0);
    EXPECT_EQ(sorted(world.profile), (std::vector<int32_t>{0, 0, 0, 0, 0, 0}));
    c.FillWeatherTable(world.w, 3);
    EXPECT_EQ(sorted(world.profile), (std::vector<int32_t>{0, 0, 2, 2, 4, 4}));
    c.FillWeatherTable(world.w, 2);
    EXPECT_NE(world.profile.champ_weather_idxs[1], 3) << "seed " << seed;
    c.FillWeatherTable(world.w, 5);
    EXPECT_NE(world.profile.champ_weather_idxs[1], 1) << "seed " << seed;
    c.FillWeatherTable(world.w, 8);
    for (int32_t v : world.profile.champ_weather_idxs) EXPECT_TRUE(v >= 0 && v <= 4);
  }
}

TEST(Championship, EqualPointsKeepEntryOrderWithTheHumanFirst) {
  World world;
  PlayerProfile& p = world.profile;
  p.in_champ = 1;
  p.champ_idx = 0;
  p.num_champ_players = 24;
  for (int i = 0; i < 24; ++i) p.champ_players[i][0] = i - 1;
  p.champ_players[3][2] = 10;
  p.champ_players[7][2] = 10;
  p.champ_players[0][2] = 10;
  p.champ_players[2][2] = 12;
  Championship c;
  ASSERT_TRUE(c.RestoreFromProfile(world.w));
  const uint32_t expected[] = {2, 0, 3, 7, 1, 4, 5, 6, 8};
  for (uint32_t pos = 1; pos <= 9; ++pos)
    EXPECT_EQ(c.EntryAt(pos), expected[pos - 1]) << "position " << pos;
  EXPECT_EQ(c.HumanPosition(), 2u);
  EXPECT_EQ(p.champ_players[3][1], 3);  // positions go back into the profile
}

TEST(Championship, StandingsViewStaysInsideTheTable) {
  World world;
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 0));
  // Human at position 24: rows 16 to 24.
  c.m_scroll = -1;
  c.FillStandings(world.w);
  EXPECT_EQ(c.m_scroll, 15);
  auto own = Lines(c.m_ownText), others = Lines(c.m_othersText);
  ASSERT_EQ(own.size(), 9u);
  ASSERT_EQ(others.size(), 9u);
  EXPECT_EQ(own[8], " 24\tMe\tclass0\tred\t0");
  EXPECT_EQ(others[8], "");
  EXPECT_EQ(others[0], " 16\tD15\tclass0\tblue\t0");
  // The human at position 3 starts the view at position 1.
  c.ScoreRace(world.w, {Human(1, 5)}, false, false);  // 13 points and the simulated races
  c.m_scroll = -1;
  c.FillStandings(world.w);
  ASSERT_LE(c.HumanPosition(), 5u);
  EXPECT_EQ(c.m_scroll, 0);
  EXPECT_EQ(Lines(c.m_ownText)[0].substr(0, 6), "  1\tMe");
  // A scroll beyond either end is brought back inside.
  for (int32_t scroll : {-7, 500}) {
    c.m_scroll = scroll;
    c.FillStandings(world.w);
    EXPECT_GE(c.m_scroll, 0);
    EXPECT_LE(c.m_scroll, 15);
  }
  // Grand championship: positions above 99 use three digits.
  World big;
  Championship g;
  ASSERT_TRUE(g.Setup(big.w, 10));
  g.m_scroll = -1;
  g.FillStandings(big.w);
  EXPECT_EQ(g.m_scroll, 231);
  EXPECT_EQ(Lines(g.m_ownText)[8], "240\tMe\tclass0\tred\t0");
}

TEST(Championship, WinnerGainsBonusAndComputersScoreTheirEntries) {
  World world;
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 1));
  world.profile.champ_opponents = 0;  // simulated races of one driver: 10 points each
  c.ScoreRace(world.w, {Human(1, 5), Computer(24, 2), Computer(25, 40), Computer(200, 3)}, false,
              false);
  EXPECT_EQ(c.Entry(0).points, 13u);  // 10 + bonus limited to 3
  // Driver 24 (entry 1) gained 8 for second place, driver 25 nothing for place 40, driver 200
  // is not in the standings. Both raced, so neither had a simulated race as well; the other 21
  // drivers each had one alone.
  uint32_t entry24 = 0, entry25 = 0;
  for (uint32_t e = 1; e < 24; ++e) {
    if (c.Entry(e).driver == 24) entry24 = c.Entry(e).points;
    if (c.Entry(e).driver == 25) entry25 = c.Entry(e).points;
  }
  EXPECT_EQ(entry24, 8u);
  EXPECT_EQ(entry25, 0u);
  EXPECT_EQ(TotalPoints(c), 13u + 8u + 21u * 10u);
  EXPECT_EQ(world.profile.champ_players[0][2], 13);
}

TEST(Championship, SimulatedRacesGiveEachGroupTheTable) {
  World world;
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 2));
  // Seven opponents: groups of 8, 8 and 7 drivers share 39 + 39 + 38 points whatever the times.
  c.SimulateOtherRaces(world.w, false, 0);
  EXPECT_EQ(TotalPoints(c), 116u);
  for (uint32_t e = 1; e < 24; ++e)
    EXPECT_EQ(world.drivers[c.Entry(e).driver].bytes[AIREC_AVAILABLE], 0);
  // Nobody is available any more: a second call changes nothing.
  c.SimulateOtherRaces(world.w, false, 0);
  EXPECT_EQ(TotalPoints(c), 116u);
  // Per class: the drivers 48..70 are of class 2 only, so the class passes make the same groups.
  c.MarkStandingsAvailable(world.w, 1);
  c.SimulateOtherRaces(world.w, true, 0);
  EXPECT_EQ(TotalPoints(c), 232u);
}

TEST(Championship, DriversOfTheRaceSitOutItsSimulatedRaces) {
  // A race left from the menus after its grid was built, and a race that ended: the seven
  // computer drivers of the race score only their places; the 16 others race in two simulated
  // groups of 8 (and, for the left race, all 23 once more as the weekend's passed-over race).
  for (bool fromMenu : {false, true}) {
    World world(240, true);
    Championship c;
    ASSERT_TRUE(c.Setup(world.w, 0));
    std::vector<ChampParticipant> race = {Human(8)};
    for (uint32_t k = 0; k < 7; ++k) race.push_back(Computer(k, k + 1));
    c.m_gridBuilt = 1;
    c.ScoreRace(world.w, race, fromMenu, false);
    const uint32_t raced = 10 + 8 + 6 + 5 + 4 + 3 + 2, group = raced + 1;
    // The player finished eighth: one point when the race ended, nothing when it was left.
    EXPECT_EQ(TotalPoints(c), raced + 2 * group + (fromMenu ? 2 * group + raced : 1u))
        << (fromMenu ? "left" : "ended");
    if (!fromMenu) {
      for (uint32_t e = 1; e < 24; ++e)
        if (c.Entry(e).driver < 7)
          EXPECT_EQ(c.Entry(e).points, Championship_Points(c.Entry(e).driver + 1));
    }
  }
}

TEST(Championship, ScoringFreesEveryDriverOfTheStandingsAgain) {
  World world;
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 0));
  // The race's grid took drivers 0..7 (record 0 among them).
  for (uint32_t d = 0; d < 8; ++d) world.drivers[d].bytes[AIREC_AVAILABLE] = 0;
  c.ScoreRace(world.w, {Human(2), Computer(0, 1)}, false, false);
  for (size_t d = 0; d < world.drivers.size(); ++d)
    EXPECT_EQ(world.drivers[d].bytes[AIREC_AVAILABLE], 1) << "record " << d;
}

TEST(Championship, SeasonAdvances) {
  World world;
  world.w.champTracks = {0, 1, 0, 1, 1, 0};
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 4));
  PlayerProfile& p = world.profile;
  p.champ_weekend = 1;
  c.ScoreRace(world.w, {Human(1)}, false, false);
  EXPECT_EQ(p.champ_weekend, 3);
  EXPECT_EQ(c.m_seasonWrapped, 0);
  c.ScoreRace(world.w, {Human(1)}, false, false);
  EXPECT_EQ(p.champ_weekend, 4);
  c.ScoreRace(world.w, {Human(1)}, false, false);
  EXPECT_EQ(p.champ_weekend, 1);
  EXPECT_EQ(p.champ_season, 1);
  EXPECT_EQ(c.m_seasonWrapped, 1);
  EXPECT_EQ(world.saves, 3);
  c.ScoreRace(world.w, {}, false, true);  // passed over: one point, and on
  EXPECT_EQ(p.champ_weekend, 3);
  EXPECT_EQ(c.m_seasonWrapped, 0);

  // The grand championship races twice a weekend.
  World grand;
  Championship g;
  ASSERT_TRUE(g.Setup(grand.w, 10));
  g.ScoreRace(grand.w, {Human(1)}, false, false);
  EXPECT_EQ(grand.profile.champ_weekend, 0);
  EXPECT_EQ(grand.profile.champ_race, 1);
  EXPECT_EQ(grand.saves, 0);
  g.ScoreRace(grand.w, {Human(1)}, false, false);
  EXPECT_EQ(grand.profile.champ_weekend, 1);
  EXPECT_EQ(grand.profile.champ_race, 0);
  EXPECT_EQ(grand.saves, 1);
}

TEST(Championship, FullFieldsNeverIndexPastTheTables) {
  // 32 participants in a grand championship and in a table of 24 entries.
  for (uint32_t kind : {10u, 0u}) {
    World world;
    Championship c;
    ASSERT_TRUE(c.Setup(world.w, kind));
    std::vector<ChampParticipant> field{Human(32)};
    for (uint32_t i = 1; i < 32; ++i)
      field.push_back(Computer(kind == 10 ? 240 - i : i, i, 100.0f + float(i)));
    world.w.raceTrack = 2;
    c.FillStartList(world.w, field);
    EXPECT_EQ(Lines(c.m_othersText).size(), 32u);
    c.FillRaceResults(world.w, field);
    auto results = Lines(c.m_othersText);
    ASSERT_EQ(results.size(), 32u);
    EXPECT_EQ(results[0].substr(0, 2), "1\t");
    EXPECT_EQ(results[31].substr(0, 6), "32\tMe\t");
    const uint32_t before = TotalPoints(c);
    c.ScoreRace(world.w, field, false, false);
    EXPECT_GT(TotalPoints(c), before);
    EXPECT_EQ(c.EntryAt(0), CHAMP_MAX_ENTRIES);
    EXPECT_EQ(c.EntryAt(c.EntryCount() + 1), CHAMP_MAX_ENTRIES);
  }
}

TEST(Championship, MissingDriverRecordsAreEmptyRows) {
  World world(10);  // far fewer records than championship 3 names
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 3));
  EXPECT_EQ(Championship::GetAIDriver(world.w, 9), &world.drivers[9]);
  EXPECT_EQ(Championship::GetAIDriver(world.w, 10), nullptr);
  EXPECT_EQ(Championship::GetAIDriver(world.w, 239), nullptr);
  c.SimulateOtherRaces(world.w, false, 0);
  EXPECT_EQ(TotalPoints(c), 0u);
  c.m_scroll = 0;
  c.FillStandings(world.w);
  EXPECT_EQ(Lines(c.m_othersText)[0], "  1\t\t\t\t0");
  c.ScoreRace(world.w, {Human(1), Computer(72, 2)}, false, false);
  EXPECT_EQ(c.Entry(1).points, 8u);  // a driver of the table scores even without its record
}

TEST(Championship, RestoredStandingsAreChecked) {
  World world;
  PlayerProfile& p = world.profile;
  p.in_champ = 1;
  p.champ_idx = 2;
  p.num_champ_players = 24;
  for (int i = 0; i < 24; ++i) {
    p.champ_players[i][0] = 48 + i;
    p.champ_players[i][1] = 77;
    p.champ_players[i][2] = i;
  }
  p.champ_players[5][0] = int32_t(CHAMP_HUMAN);  // a second human
  p.champ_players[6][2] = -40;                   // negative points
  p.champ_players[7][2] = 2000000000;            // beyond any season
  p.champ_weekend = 50;
  p.champ_race = 7;
  p.champ_opponents = 31;
  p.champ_season = -2;
  Championship c;
  ASSERT_TRUE(c.RestoreFromProfile(world.w));
  ASSERT_EQ(c.EntryCount(), 24u);
  EXPECT_EQ(c.Entry(0).driver, CHAMP_HUMAN);
  EXPECT_EQ(c.Entry(5).driver, CHAMP_NO_DRIVER);
  EXPECT_EQ(c.Entry(6).points, 0u);
  EXPECT_EQ(c.Entry(7).points, CHAMP_MAX_POINTS);
  EXPECT_EQ(c.Entry(7).position, 1u);
  EXPECT_EQ(p.champ_weekend, 0);
  EXPECT_EQ(p.champ_race, 0);
  EXPECT_EQ(p.champ_opponents, 7);
  EXPECT_EQ(p.champ_season, 0);
  std::vector<uint32_t> positions;
  for (uint32_t i = 0; i < 24; ++i) positions.push_back(c.Entry(i).position);
  std::sort(positions.begin(), positions.end());
  for (uint32_t i = 0; i < 24; ++i) EXPECT_EQ(positions[i], i + 1);

  // A table of the wrong size for its championship: the player leaves it.
  p.num_champ_players = 240;
  EXPECT_FALSE(c.RestoreFromProfile(world.w));
  EXPECT_EQ(p.in_champ, 0);
  EXPECT_EQ(c.EntryCount(), 0u);
  c.ScoreRace(world.w, {Human(1)}, false, false);  // nothing to score, nothing breaks
}

TEST(Championship, ResultTexts) {
  World world;
  world.w.gameMode = CHAMPMODE_SINGLE;
  std::vector<ChampParticipant> field{Computer(3, 1, 83.456f), Human(2, 0, 85.0f),
                                      Computer(4, 3, 90.0f, 2), Computer(5, 4, 95.0f, 1),
                                      Computer(6, 0, 0.0f)};
  field[1].classIndex = 1;
  field[0].classIndex = 1;
  field[4].finished = 0;
  Championship c;
  c.FillRaceResults(world.w, field);
  auto lines = Lines(c.m_othersText);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "1\tD3\tclass1\t 01:23:45\t10");
  EXPECT_EQ(lines[1], "2\tMe\tclass1\t+00:01:54\t8");
  EXPECT_EQ(lines[2], "3\tD4\tclass0\t+1 lap\t6");
  EXPECT_EQ(lines[3], "4\tD5\tclass0\t+2 laps\t5");
  EXPECT_EQ(lines[4], "");
  auto own = Lines(c.m_ownText);
  EXPECT_EQ(own[1], lines[1]);
  EXPECT_EQ(own[0], "");
  // A human winner shows the bonus in the points.
  field[0].position = 2;
  field[1].position = 1;
  field[1].bonus = 9;
  c.FillRaceResults(world.w, field);
  EXPECT_EQ(Lines(c.m_othersText)[0], "1\tMe\tclass1\t 01:25:00\t13");
}

TEST(Championship, StartListNumbers) {
  World world(240, true);  // every record in class 0, as the loader leaves them
  Championship c;
  ASSERT_TRUE(c.Setup(world.w, 0));
  world.w.raceTrack = 1;
  ChampParticipant me = Human(0);
  me.grid = 4;
  ChampParticipant other = Computer(2, 0);
  other.grid = 1;
  ChampParticipant stranger = Computer(100, 0);
  stranger.grid = 2;
  c.FillStartList(world.w, {other, stranger, me});
  auto lines = Lines(c.m_othersText);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "1\tD2\tclass0\tred\t3");  // its standings position
  EXPECT_EQ(lines[1], "2\tD100\tclass0\tred\t0");
  EXPECT_EQ(lines[2], "4\tMe\tclass0\tred\t24");
  // A single race: the expected place among the class's records by reference time.
  world.w.gameMode = CHAMPMODE_SINGLE;
  me.record = 62.0f;  // records 0, 1 and 2 are not slower
  other.record = 62.0f;
  other.ownRecord = 61.0f;  // faster in its own class: one place more
  c.FillStartList(world.w, {other, me});
  lines = Lines(c.m_othersText);
  EXPECT_EQ(lines[0], "1\tD2\tclass0\tred\t4");
  EXPECT_EQ(lines[1], "4\tMe\tclass0\tred\t4");
  // Network play: own, arrived and waiting players go to their own texts.
  world.w.gameMode = CHAMPMODE_NETWORK;
  ChampParticipant a = Human(0), b = Computer(1, 0), d = Computer(2, 0);
  a.own = 1;
  a.roundTrip = 0.0126f;
  b.type = d.type = CHAMPPART_REMOTE;
  d.arrived = 0;
  c.FillStartList(world.w, {a, b, d});
  EXPECT_EQ(c.m_ownText, "1\tMe\tclass0\tred\t13\n\n\n");
  EXPECT_EQ(c.m_othersText, "\n2\tD1\tclass0\tred\t0\n\n");
  EXPECT_EQ(c.m_notArrivedText, "\n\n3\tD2\tclass0\tred\n");
}

TEST(Championship, BestTimeAndTimeTable) {
  World world;
  EXPECT_FLOAT_EQ(Championship::GetBestTime(world.w, 1, 0), 60.0f + 47.0f);  // slowest of 24..47
  EXPECT_FLOAT_EQ(Championship::GetBestTime(world.w, 1, 8), 50.0f);   // beyond the track count
  EXPECT_FLOAT_EQ(Championship::GetBestTime(world.w, 15, 0), 50.0f);  // no record of the class
  Championship c;
  c.FillTimeTable(world.w, 100.0f);
  EXPECT_EQ(c.m_othersText, "class0\t50:00\t50:00\t50:00\t50:00\t50:00\t50:00\t5:00:00\n");
  c.FillTimeTable(world.w, 42.5f);
  EXPECT_EQ(c.m_othersText, "class0\t50:00\t50:00\t50:00\t50:00\t50:00\t42:50\t4:52:50\n");
  EXPECT_EQ(c.m_ownText, "\t50:00\t50:00\t50:00\t50:00\t50:00\t    \n");
}

TEST(Championship, PrizesAndUnlocksAtTheEndOfASeason) {
  PlayerProfile p;
  auto season = [&p](int32_t kind) {
    p.in_champ = 1;
    p.champ_idx = kind;
    p.champ_season = 1;
    p.champ_race = 0;
    p.champ_opponents = 7;
  };
  // A running season (no season completed) goes on to the next race.
  season(0);
  p.champ_season = 0;
  ChampionshipProgress r = Championship_Progress(p, 1, false);
  EXPECT_EQ(r.continueTarget, 21);
  EXPECT_EQ(r.unlockedCar, -1);
  EXPECT_EQ(p.in_champ, 1);

  // Podium: next championship and next car open; a better place is kept.
  season(4);
  r = Championship_Progress(p, 2, false);
  EXPECT_EQ(r.continueTarget, 48);
  EXPECT_EQ(r.prizeTarget, 27);
  EXPECT_EQ(r.unlockedCar, 5);
  EXPECT_EQ(r.prizeTrack, 1);
  EXPECT_EQ(p.unlocked_champs[5], 1);
  EXPECT_EQ(p.unlocked_cars[5], 1);
  EXPECT_EQ(p.champ_prizes[4], 2);
  EXPECT_EQ(p.in_champ, 0);
  EXPECT_EQ(p.champ_opponents, 0);
  season(4);
  r = Championship_Progress(p, 3, false);
  EXPECT_EQ(p.champ_prizes[4], 2);  // never worse
  EXPECT_EQ(r.prizeTarget, 47);     // the car is open already
  EXPECT_EQ(r.prizeTrack, 0);

  // Three finishes off the podium: 4, 5, 6, and the next championship opens with its car.
  for (int n = 0; n < 3; ++n) {
    season(1);
    r = Championship_Progress(p, 7, false);
    EXPECT_EQ(p.champ_prizes[1], 4 + n);
  }
  EXPECT_EQ(r.prizeTarget, 49);
  EXPECT_EQ(r.openedTarget, 27);
  EXPECT_EQ(r.unlockedCar, 2);
  EXPECT_EQ(p.unlocked_champs[2], 1);
  season(1);
  r = Championship_Progress(p, 5, false);
  EXPECT_EQ(p.champ_prizes[1], 7);
  EXPECT_EQ(r.prizeTarget, 47);  // already open

  // Championship 9 never opens the car of class 10; championship 10 opens it when won.
  season(9);
  r = Championship_Progress(p, 1, false);
  EXPECT_EQ(r.unlockedCar, -1);
  EXPECT_EQ(p.unlocked_champs[10], 1);
  EXPECT_EQ(p.unlocked_cars[10], 0);
  season(10);
  p.champ_weekend = 2;
  r = Championship_Progress(p, 1, true);
  EXPECT_EQ(r.continueTarget, 31);
  EXPECT_EQ(p.in_champ, 1);
  p.champ_weekend = 0;
  r = Championship_Progress(p, 1, false);
  EXPECT_EQ(r.continueTarget, 48);
  EXPECT_EQ(r.unlockedCar, 10);
  EXPECT_EQ(p.unlocked_cars[10], 1);
  EXPECT_EQ(p.in_champ, 0);
  // The second race of a grand weekend follows: nothing changes.
  season(10);
  p.champ_race = 1;
  r = Championship_Progress(p, 1, false);
  EXPECT_EQ(r.continueTarget, 21);
  EXPECT_EQ(p.in_champ, 1);
}
