// The race field: opponents chosen per game mode, the grid for any field size, the start gate
// with false starts, records, the track map's markers and the remote driver's held state.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QVX/race/AIParameters.h"
#include "QVX/race/LapRecords.h"
#include "QVX/race/RaceField.h"
#include "QVX/race/RaceStart.h"
#include "QVX/race/RemoteDriver.h"
#include "QVX/race/TrackMap.h"
#include "QVX/shell/Content.h"

namespace {

namespace fs = std::filesystem;

std::vector<FieldEntry> Entries(std::initializer_list<std::pair<int32_t, float>> list) {
  std::vector<FieldEntry> out;
  for (const auto& e : list) out.push_back(FieldEntry{1, e.first, e.second});
  return out;
}

TEST(RaceFieldTest, SingleRacePicksNearestSlowerThenFasterDrivers) {
  auto e = Entries({{0, 90}, {0, 100}, {0, 105}, {0, 110}, {0, 95}, {0, 80}, {1, 101}});
  // Race type 0: only the player's class, no cap. Four opponents: two slower, then two faster.
  const auto picks = RaceField_PickRace(e, 0, 0, 100.0f, 0, 4);
  EXPECT_EQ(picks, (std::vector<int32_t>{1, 2, 4, 0}));
  EXPECT_EQ(e[1].valid, 0);
  EXPECT_EQ(e[6].valid, 1);  // another class is never taken in race type 0
}

TEST(RaceFieldTest, MixedRaceCapsEachClassAtTwoCountingThePlayer) {
  auto e = Entries({{0, 101}, {0, 102}, {1, 103}, {1, 104}, {1, 105}, {2, 106}});
  const auto picks = RaceField_PickRace(e, 0, 0, 100.0f, 1, 4);
  // Class 0 already holds the player: one more of it, then two of class 1, then class 2.
  EXPECT_EQ(picks, (std::vector<int32_t>{0, 2, 3, 5}));
}

TEST(RaceFieldTest, ShortFieldTakesWhatThereIs) {
  auto e = Entries({{0, 90}});
  EXPECT_EQ(RaceField_PickRace(e, 0, 0, 100.0f, 0, 7).size(), 1u);
  auto none = Entries({});
  EXPECT_TRUE(RaceField_PickRace(none, 0, 0, 100.0f, 1, 7).empty());
}

TEST(RaceFieldTest, ComputerOnlyFieldTakesEverySecondDriverOfTheClassUpToEight) {
  std::vector<FieldEntry> e(40);
  for (size_t i = 0; i < e.size(); ++i) e[i].raceClass = int32_t(i % 4 < 2 ? 3 : 1);
  std::vector<int32_t> picks;
  std::string error;
  ASSERT_TRUE(RaceField_PickAIOnly(e, 3, &picks, &error));
  EXPECT_EQ(picks, (std::vector<int32_t>{0, 4, 8, 12, 16, 20, 24, 28}));
}

TEST(RaceFieldTest, ComputerOnlyFieldWithoutDriversIsAnErrorNotAnEmptyRace) {
  std::vector<FieldEntry> e(10);
  for (auto& x : e) x.raceClass = 2;
  std::vector<int32_t> picks{99};
  std::string error;
  EXPECT_FALSE(RaceField_PickAIOnly(e, 5, &picks, &error));
  EXPECT_TRUE(picks.empty());
  EXPECT_NE(error.find("class 5"), std::string::npos);
}

// The generated computer drivers, as the game loads them for each track: a single race of any
// class with race type 0 (only the player's class) finds a full field of that class, whether
// the player is faster or slower than all of them, and so does a race of computer drivers only.
TEST(RaceFieldTest, GeneratedDriversFieldEveryClassAtRaceTypeZero) {
  const fs::path data = fs::path(VQ_GAME_DIR) / "Data";
  int32_t classes = 0;
  for (const auto& f : fs::directory_iterator(data / "Cars")) {
    const std::string name = f.path().filename().string();
    if (name.rfind("class_", 0) == 0 && f.path().extension() == ".bin") ++classes;
  }
  ASSERT_GE(classes, 10);
  int32_t files = 0;
  for (const auto& f : fs::directory_iterator(data)) {
    const std::string name = f.path().filename().string();
    if (name.rfind("class_AI_", 0) != 0) continue;
    ++files;
    SCOPED_TRACE(name);
    std::ifstream in(f.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<AIDriverRecord> records;
    AI_Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), records);
    ASSERT_FALSE(records.empty());
    std::vector<FieldEntry> all(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      AIParameters a;
      AIParameters_FromRecord(records[i].bytes, &a);
      all[i].raceClass = a.raceClass;
      all[i].time = a.referenceTimes[0];
    }
    for (int32_t cls = 0; cls < classes; ++cls) {
      for (float playerTime : {0.0f, 100.0f, 1000.0f}) {
        std::vector<FieldEntry> e = all;
        const auto picks = RaceField_PickRace(e, cls, cls, playerTime, 0, 7);
        ASSERT_EQ(picks.size(), 7u) << "class " << cls << ", player's time " << playerTime;
        for (int32_t i : picks) EXPECT_EQ(e[size_t(i)].raceClass, cls);
      }
      std::vector<FieldEntry> e = all;
      std::vector<int32_t> picks;
      std::string error;
      ASSERT_TRUE(RaceField_PickAIOnly(e, cls, &picks, &error)) << error;
      EXPECT_EQ(picks.size(), FIELD_AI_ONLY_CARS) << "class " << cls;
    }
  }
  EXPECT_GE(files, 1);
}

TEST(RaceFieldTest, ChampionshipWalksTheLastBlockFromItsEnd) {
  const std::vector<int32_t> table{10, 11, 12, 13, 14, 15, 99999};
  EXPECT_EQ(RaceField_PickChampionship(table, 3, 50), (std::vector<int32_t>{15, 14, 13}));
  // More opponents than slots: the whole table; out-of-range entries are skipped.
  EXPECT_EQ(RaceField_PickChampionship({7, -1, 3, 0}, 9, 8), (std::vector<int32_t>{3, 7}));
}

// Who starts each game mode, in grid order.
TEST(RaceFieldTest, EachGameModeLinesUpItsOwnField) {
  const FieldSlot p1{FIELD_LOCAL, 0}, p2{FIELD_LOCAL, 1};
  const auto ai = [](int32_t i) { return FieldSlot{FIELD_COMPUTER, i}; };
  const auto remote = [](int32_t i) { return FieldSlot{FIELD_REMOTE, i}; };
  const std::vector<int32_t> picks{7, 3, 11};
  std::vector<int32_t> many(12);
  for (int32_t i = 0; i < 12; ++i) many[size_t(i)] = 20 + i;
  struct Case {
    int32_t mode;
    std::vector<int32_t> computers, remoteIds;
    int32_t ownId;
    std::vector<FieldSlot> expected;
    uint32_t spacing;
  };
  const Case cases[] = {
      {GAMEMODE_PRACTICE, picks, {}, -1, {p1}, 0},
      {GAMEMODE_SPLIT, picks, {}, -1, {p1, p2}, 0},
      {GAMEMODE_SINGLE, picks, {}, -1, {ai(7), ai(3), ai(11), p1}, 0},
      {GAMEMODE_SINGLE, {}, {}, -1, {p1}, 0},
      {GAMEMODE_CHAMPIONSHIP, picks, {}, -1, {ai(7), ai(3), ai(11), p1}, 1},
      {GAMEMODE_AI_ONLY,
       many,
       {},
       -1,
       {ai(20), ai(21), ai(22), ai(23), ai(24), ai(25), ai(26), ai(27)},
       0},
      // Remote players by their grid ids, this machine's player at its own id.
      {GAMEMODE_NETWORK, picks, {2, 0, 3}, 1, {remote(1), p1, remote(0), remote(2)}, 0},
      {GAMEMODE_NETWORK, {}, {1}, 0, {p1, remote(0)}, 0},
      // An id nobody holds leaves its slot empty.
      {GAMEMODE_NETWORK, {}, {2, 0}, 1, {remote(1), p1, remote(0)}, 0},
      {GAMEMODE_NETWORK, {}, {5, 0}, 1, {remote(1), p1}, 0},
      {99, picks, {}, -1, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    uint32_t spacing = 77;
    EXPECT_EQ(RaceField_Order(c.mode, c.computers, c.remoteIds, c.ownId, &spacing), c.expected);
    EXPECT_EQ(spacing, c.spacing);
  }
  // A full field keeps the player's place.
  std::vector<int32_t> crowd(40, 1);
  const auto full = RaceField_Order(GAMEMODE_SINGLE, crowd, {}, -1);
  ASSERT_EQ(full.size(), FIELD_MAX_PARTICIPANTS);
  EXPECT_EQ(full.back(), p1);
}

TEST(RaceFieldTest, CarsBeyondTheGridContinueItsRows) {
  std::vector<GridPlace> grid;
  for (int k = 0; k < 4; ++k)
    grid.push_back({VQVector2(k % 2 ? 3.0f : -3.0f, -10.0f * float(k / 2)), VQVector2(0.0f, 1.0f)});
  const auto places = RaceField_GridPlaces(grid, 7);
  ASSERT_EQ(places.size(), 7u);
  EXPECT_FLOAT_EQ(places[4].position.x, -3.0f);
  EXPECT_FLOAT_EQ(places[4].position.y, -20.0f);
  EXPECT_FLOAT_EQ(places[5].position.x, 3.0f);
  EXPECT_FLOAT_EQ(places[6].position.y, -30.0f);
  // A single grid place: later cars line up behind it along its direction.
  const auto one = RaceField_GridPlaces({{VQVector2(0, 0), VQVector2(1, 0)}}, 3);
  EXPECT_FLOAT_EQ(one[2].position.x, -2.0f * FIELD_ROW_SPACING);
  // No grid at all: the track's fallback row at (5 n, 0).
  EXPECT_FLOAT_EQ(RaceField_GridPlaces({}, 3)[2].position.x, 10.0f);
}

// ---- start ----------------------------------------------------------------------------------

TEST(RaceStartTest, ThrottleBeforeTheGreenIsAFalseStartUntilReleased) {
  StartGate gate;
  EXPECT_EQ(gate.Update(false, false), START_NOTHING);
  EXPECT_EQ(gate.Update(false, true), START_HOLD_BEGINS);
  EXPECT_FALSE(gate.ThrottleToCar());
  EXPECT_EQ(gate.Update(false, true), START_NOTHING);
  // The green light comes while the throttle is still held: no throttle reaches the car.
  EXPECT_EQ(gate.Update(true, true), START_NOTHING);
  EXPECT_FALSE(gate.ThrottleToCar());
  EXPECT_EQ(gate.Update(true, false), START_HOLD_ENDS);
  EXPECT_TRUE(gate.ThrottleToCar());
  EXPECT_EQ(gate.Update(true, true), START_NOTHING);  // pressing after the green is fine
  EXPECT_TRUE(gate.ThrottleToCar());
  EXPECT_EQ(gate.FalseStarts(), 1u);
}

TEST(RaceStartTest, ReleasingBeforeTheGreenClearsTheHoldAndNetworkWaitShowsItsMessage) {
  StartGate gate;
  gate.Update(false, true);
  EXPECT_EQ(gate.Update(false, false, true), START_HOLD_ENDS_NETWORK_WAIT);
  EXPECT_TRUE(gate.ThrottleToCar());
  gate.Update(false, true);
  EXPECT_EQ(gate.Update(false, false), START_HOLD_ENDS);
  EXPECT_EQ(gate.FalseStarts(), 2u);
}

// ---- records --------------------------------------------------------------------------------

TEST(LapRecordsTest, RaceListFillsWhenEmptyThenShifts) {
  float list[RECORD_RACE_LIST] = {};
  EXPECT_EQ(Records_RaceReference(list, 5), RECORD_EMPTY_RACE);
  Records_AddRace(list, 5, 0.0f);
  EXPECT_EQ(list[0], 0.0f);
  Records_AddRace(list, 5, 80.0f);
  for (float v : list) EXPECT_EQ(v, 80.0f);
  Records_AddRace(list, 5, 90.0f);
  EXPECT_EQ(list[4], 90.0f);
  EXPECT_FLOAT_EQ(Records_RaceReference(list, 5), 82.0f);
  Records_AddRace(list, 99, 70.0f);  // a bad list length is bounded
  EXPECT_EQ(list[4], 70.0f);
}

TEST(LapRecordsTest, FirstLapUnderTheDefaultSetsSilentlyThenOnlyFasterLapsCount) {
  float record = RECORD_NO_LAP;
  EXPECT_EQ(Records_OfferLap(&record, 1, 1, 23), LAPRECORD_FIRST);
  EXPECT_FLOAT_EQ(record, 61.23f);
  EXPECT_EQ(Records_OfferLap(&record, 1, 2, 0), LAPRECORD_NONE);
  EXPECT_FLOAT_EQ(record, 61.23f);
  EXPECT_EQ(Records_OfferLap(&record, 0, 59, 99), LAPRECORD_NEW);
  EXPECT_TRUE(Records_GhostKeepsLap(true, 0));
  EXPECT_FALSE(Records_GhostKeepsLap(true, 1));
  EXPECT_FALSE(Records_GhostKeepsLap(false, 0));
}

// ---- track map ------------------------------------------------------------------------------

TEST(TrackMapTest, ProjectsPointsBothWaysAndPlacesGlyphsAroundThem) {
  TrackMap map;
  map.Init(0, 128, 64, 256, 128, VQVector2(10, 20), 1.0f, VQVector2(0, 0), true);
  VQVector2 p = map.MapPosition(VQVector2(100, 50), 5, 6);
  EXPECT_FLOAT_EQ(p.x, 100 * 0.5f + 10 + 5 - 1);
  EXPECT_FLOAT_EQ(p.y, 50 * 0.5f + 20 + 6 + 2);
  map.Init(0, 128, 64, 256, 128, VQVector2(10, 20), 1.0f, VQVector2(0, 0), false);
  p = map.MapPosition(VQVector2(100, 50), 5, 6);
  EXPECT_FLOAT_EQ(p.x, 5 - 50 + 10 - 1);
  EXPECT_FLOAT_EQ(p.y, 6 - 25 + 20 - 2);
  ASSERT_EQ(map.BuildCars(5, 6, {{VQVector2(100, 50), 3}}, 3, false), 2u);
  EXPECT_EQ(map.m_markerX[0], int32_t(std::lround(p.x - 2.5f)));
}

TEST(TrackMapTest, CarGlyphsByStandingAndGhostMarkers) {
  TrackMap map;
  map.Init(0, 100, 100, 100, 100, VQVector2(0, 0), 1.0f, VQVector2(0, 0), true);
  std::vector<TrackMapCar> cars(4);
  cars[0].standing = 1;
  cars[1].standing = 2;
  cars[2].standing = 3;
  cars[3].standing = 5;
  cars[1].ghostVisible = true;
  ASSERT_EQ(map.BuildCars(0, 0, cars, 3, false), 10u);
  // Pass one: leader, ghost + one place ahead, the reference car, another.
  EXPECT_EQ(map.m_glyphs[0], 0x52 + 1);
  EXPECT_EQ(map.m_glyphs[1], 0x5C);
  EXPECT_EQ(map.m_glyphs[2], 0x48 + 2);
  EXPECT_EQ(map.m_glyphs[3], 0x34 + 3);
  EXPECT_EQ(map.m_glyphs[4], 0x2A + 5);
  // Pass two: overlays.
  EXPECT_EQ(map.m_glyphs[5], 0x20 + 1);
  EXPECT_EQ(map.m_glyphs[6], 0x5D);
  EXPECT_EQ(map.m_glyphs[9], 0x20 + 5);
  cars[2].standing = 4;  // one place behind the reference 3
  map.BuildCars(0, 0, cars, 3, false);
  EXPECT_EQ(map.m_glyphs[3], 0x3E + 4);
  map.BuildCars(0, 0, cars, 3, true);
  EXPECT_EQ(map.m_glyphs[0], 0x5E);
  EXPECT_EQ(map.m_glyphs[2], 0x5C);
}

TEST(TrackMapTest, UnpassedCheckpointsBlinkTheNextOneAndBoundTheBuffers) {
  TrackMap map;
  map.Init(0, 100, 100, 100, 100, VQVector2(0, 0), 1.0f, VQVector2(0, 0), true);
  const std::vector<VQVector2> points{{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}};
  // Checkpoints 1..3 can show; 0 and the last never do. Checkpoint 1 is passed.
  EXPECT_EQ(map.BuildCheckpoints(0.1f, 1, 2, points, {1, 1, 0, 0, 0}), 2u);
  EXPECT_EQ(map.m_checkpointX[0], 21);
  EXPECT_EQ(map.BuildCheckpoints(0.2f, 1, 2, points, {1, 1, 0, 0, 0}), 1u);  // 0.3 s: hidden
  EXPECT_EQ(map.m_checkpointX[0], 31);
  EXPECT_EQ(map.BuildCheckpoints(0.25f, 1, 2, points, {1, 1, 0, 0, 0}), 2u);  // shown again
  EXPECT_EQ(map.BuildCheckpoints(0.0f, 0, 0, points, {1, 1, 1, 1, 1}), 0u);
  std::vector<TrackMapCar> many(50);
  for (auto& c : many) c.ghostVisible = true;
  EXPECT_EQ(map.BuildCars(0, 0, many, 1, false), TRACKMAP_MAX_MARKERS);
  TrackMap none;
  none.Init(0, 0, 0, 100, 100, VQVector2(0, 0), 1.0f, VQVector2(0, 0), true);
  EXPECT_EQ(none.BuildCars(0, 0, many, 1, false), 0u);
}

// ---- remote driver --------------------------------------------------------------------------

float Ground(float, float, void* user) { return *static_cast<float*>(user); }

TEST(RemoteDriverTest, StateStopsArrivingItIsHeldAndMarkedStaleNeverSunkIntoTheGround) {
  RemoteDriver r;
  EXPECT_TRUE(r.Stale(0.0f));
  RemoteState s;
  s.position = VQVector(0, 0, 1.0f);
  s.velocity = VQVector(10, 0, -8.0f);
  ASSERT_TRUE(r.Receive(s, 5.0f, 5.0f));
  float ground = 0.5f;
  RemoteState p = r.Pose(5.1f, Ground, &ground);
  EXPECT_NEAR(p.position.x, 1.0f, 1e-4f);
  EXPECT_GE(p.position.z, ground);  // 1.0 - 0.8 would be 0.2, below the ground
  EXPECT_FALSE(r.Stale(5.1f));
  p = r.Pose(5.9f, Ground, &ground);  // carried at most REMOTE_EXTRAPOLATE_MAX
  EXPECT_NEAR(p.position.x, 10.0f * REMOTE_EXTRAPOLATE_MAX, 1e-4f);
  EXPECT_TRUE(r.Stale(6.5f));
  p = r.Pose(60.0f, Ground, &ground);  // long silence: the last state itself
  EXPECT_EQ(p.position.x, 0.0f);
  EXPECT_EQ(p.position.z, 1.0f);
  // A late, older state does not replace the newer one; a damaged one is refused.
  RemoteState old = s;
  old.position.x = -50.0f;
  EXPECT_TRUE(r.Receive(old, 4.0f, 61.0f));
  EXPECT_EQ(r.Last().position.x, 0.0f);
  old.position.y = NAN;
  EXPECT_FALSE(r.Receive(old, 70.0f, 70.0f));
}

// ---- parameters -----------------------------------------------------------------------------

TEST(AIParametersTest, RecordRoundTripsAndBadValuesKeepDefaults) {
  AIParameters p;
  std::snprintf(p.name, sizeof p.name, "Vesna");
  p.number = 17;
  p.steerIn = 4.5f;
  p.stepInterval = 7;
  p.referenceTimes[3] = 88.5f;
  uint8_t rec[AI_RECORD_SIZE] = {};
  AIParameters_ToRecord(p, rec);
  AIParameters q;
  AIParameters_FromRecord(rec, &q);
  EXPECT_STREQ(q.name, "Vesna");
  EXPECT_EQ(q.number, 17u);
  EXPECT_EQ(q.steerIn, 4.5f);
  EXPECT_EQ(q.stepInterval, 7);
  EXPECT_EQ(q.referenceTimes[3], 88.5f);
  // Zero rates, a zero step interval and non-finite values fall back to the defaults.
  p.steerIn = 0.0f;
  p.stepInterval = 0;
  p.lookAheadBase = INFINITY;
  AIParameters_ToRecord(p, rec);
  AIParameters_FromRecord(rec, &q);
  EXPECT_EQ(q.steerIn, AIParameters().steerIn);
  EXPECT_EQ(q.stepInterval, AIParameters().stepInterval);
  EXPECT_EQ(q.lookAheadBase, AIParameters().lookAheadBase);
}

}  // namespace
