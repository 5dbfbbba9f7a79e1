// Races of computer drivers on the generated tracks: every car of the field laps and is
// classified, nobody stands still longer than a rescue allows, the same seed gives the same race,
// and a field larger than the grid still starts on the track.
#include <cmath>
#include <set>

#include "QVX/race/Player.h"
#include "QVX/race/RaceTracker.h"
#include "QVX/race/Simulation.h"
#include "tests/race/race_world.h"

using namespace racetest;

namespace {

class TrackRace : public RaceWorld, public ::testing::WithParamInterface<const char*> {};

TEST_P(TrackRace, EightComputerCarsRaceThreeLapsAndAreAllClassified) {
  const std::string track = GetParam();
  RaceSession race;
  ASSERT_TRUE(race.Load(Config(track, 3, 7))) << race.m_error;
  const std::vector<AIParameters> field = TrackDrivers(track, 8);
  ASSERT_EQ(field.size(), 8u);
  for (const AIParameters& p : field) ASSERT_TRUE(race.AddComputer(p)) << race.m_error;
  ASSERT_TRUE(race.Start()) << race.m_error;
  EXPECT_TRUE(race.Run(900.0f)) << "race time " << race.RaceTime();

  std::set<uint32_t> places;
  uint32_t winners = 0;
  for (const RaceSessionResult& r : race.Results()) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(r.finished);
    EXPECT_GE(r.laps, 2u);
    EXPECT_LE(r.laps, 3u);
    if (r.place == 1) {
      ++winners;
      EXPECT_EQ(r.laps, 3u);
    }
    places.insert(r.place);
    EXPECT_GT(r.bestLap, 10.0f);
    // Standing longer than the stuck time brings a rescue at the next decision.
    EXPECT_LE(r.longestStill, AIParameters().stuckTime + 1.0f);
  }
  EXPECT_EQ(winners, 1u);
  EXPECT_EQ(places.size(), 8u);
  EXPECT_EQ(*places.begin(), 1u);
  EXPECT_EQ(*places.rbegin(), 8u);
}

INSTANTIATE_TEST_SUITE_P(GeneratedTracks, TrackRace, ::testing::ValuesIn(kTracks));

class RaceSessionTest : public RaceWorld {};

TEST_F(RaceSessionTest, SameSeedSameRaceToTheLastDigit) {
  std::vector<RaceSessionResult> runs[2];
  for (auto& results : runs) {
    RaceSession race;
    ASSERT_TRUE(race.Load(Config("forest", 1, 42))) << race.m_error;
    for (const AIParameters& p : TrackDrivers("forest", 5)) ASSERT_TRUE(race.AddComputer(p));
    ASSERT_TRUE(race.Start());
    race.Run(300.0f);
    results = race.Results();
  }
  ASSERT_EQ(runs[0].size(), runs[1].size());
  for (size_t i = 0; i < runs[0].size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(runs[0][i].place, runs[1][i].place);
    EXPECT_EQ(runs[0][i].raceTime, runs[1][i].raceTime);
    EXPECT_EQ(runs[0][i].bestLap, runs[1][i].bestLap);
    EXPECT_EQ(runs[0][i].rescues, runs[1][i].rescues);
    EXPECT_EQ(runs[0][i].position.x, runs[1][i].position.x);
    EXPECT_EQ(runs[0][i].position.y, runs[1][i].position.y);
  }
}

TEST_F(RaceSessionTest, RefusesAnEmptyFieldABadConfigurationAndAMissingTrack) {
  {
    RaceSession race;
    ASSERT_TRUE(race.Load(Config("harbour", 1))) << race.m_error;
    EXPECT_FALSE(race.Start());
    EXPECT_EQ(race.m_error, "the field holds no driver");
    EXPECT_FALSE(race.Finished());
  }
  {
    RaceSession race;
    RaceSessionConfig c = Config("harbour", 0);
    EXPECT_FALSE(race.Load(c));
    c.laps = 1;
    c.frameStep = 0.0f;
    EXPECT_FALSE(race.Load(c));
    EXPECT_FALSE(race.AddComputer(AIParameters()));
  }
  {
    RaceSession race;
    EXPECT_FALSE(race.Load(Config("no_such_track", 1)));
    EXPECT_FALSE(race.m_error.empty());
  }
}

// Eight cars on a grid of four places: the other four line up in rows behind, on the ground of
// the track, none on top of another.
TEST_F(RaceSessionTest, AFieldLargerThanTheGridStartsBehindIt) {
  RaceSession race;
  ASSERT_TRUE(race.Load(Config("desert", 1))) << race.m_error;
  Track& track = race.GetTrack();
  ASSERT_GE(track.m_gridCount, 4u);
  track.m_gridCount = 4;
  for (const AIParameters& p : TrackDrivers("desert", 8)) ASSERT_TRUE(race.AddComputer(p));
  std::vector<VQVector> at;
  for (uint32_t i = 0; i < race.ParticipantCount(); ++i)
    at.push_back(race.GetRacer(i)->GetPosition());
  for (size_t i = 0; i < at.size(); ++i) {
    const float ground = track.GroundHeightAt(VQVector(at[i].x, at[i].y, at[i].z + 5.0f));
    ASSERT_LT(ground, TRACK_NO_GROUND) << "car " << i << " stands off the track";
    EXPECT_LT(std::fabs(at[i].z - ground), 2.0f) << "car " << i;
    for (size_t j = i + 1; j < at.size(); ++j) {
      const float dx = at[i].x - at[j].x, dy = at[i].y - at[j].y;
      EXPECT_GT(dx * dx + dy * dy, 9.0f) << i << " and " << j << " start on top of each other";
    }
  }
  // Behind the grid: each extra car farther back along the driving direction than the place two
  // before it (the same column of the two-column grid).
  const VQVector d = track.m_grid[0].direction;
  const auto ahead = [&](size_t k) {
    return (at[k].x - at[0].x) * d.x + (at[k].y - at[0].y) * d.y;
  };
  for (size_t k = 4; k < at.size(); ++k) EXPECT_LT(ahead(k), ahead(k - 2) - 3.0f) << k;
}

// A computer driver made by the shell: the Player holds its AIDriver, the race drives it.
TEST_F(RaceSessionTest, APlayerOfTheShellDrivesThroughItsOwnDriver) {
  Player player;
  AIParameters p = TrackDrivers("city", 1).at(0);
  std::snprintf(p.name, sizeof p.name, "%s", "Shell driver");
  ASSERT_TRUE(player.SetupComputer(p, 3));
  ASSERT_NE(player.m_ai, nullptr);
  EXPECT_EQ(player.m_type, PLAYER_COMPUTER);
  EXPECT_STREQ(player.m_name, "Shell driver");
  EXPECT_EQ(player.m_ai->m_params.raceClass, 3);
  Player human;
  EXPECT_EQ(human.m_ai, nullptr);

  RaceSession race;
  ASSERT_TRUE(race.Load(Config("city", 1))) << race.m_error;
  EXPECT_FALSE(race.AddPlayer(&human));
  ASSERT_TRUE(race.AddPlayer(&player)) << race.m_error;
  ASSERT_TRUE(race.Start());
  const VQVector start = race.GetRacer(0)->GetPosition();
  for (int f = 0; f < 60 * 14; ++f) race.Frame();
  EXPECT_GT(race.RaceTime(), 5.0f);
  const VQVector now = race.GetRacer(0)->GetPosition();
  const float dx = now.x - start.x, dy = now.y - start.y;
  EXPECT_GT(dx * dx + dy * dy, 100.0f) << "the car did not leave the grid";
  EXPECT_EQ(player.m_ai->m_state, AISTATE_DRIVING);
}

}  // namespace

namespace {

// A racer that only answers what the finish rule asks.
class StillRacer : public TrackRacer {
 public:
  uint32_t GetDriverType() const override { return TRACK_DRIVER_COMPUTER; }
  VQVehicleModel* GetVehicle() override { return nullptr; }
  VQVector GetPosition() const override { return VQVector(0, 0, 0); }
  VQVector GetPreviousPosition() const override { return VQVector(0, 0, 0); }
  float GetLapMarkTime() const override { return 0.0f; }
  void SetLapMarkTime(float) override {}
  void PlaceAtStart(const VQVector&, float) override {}
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override {
    *lap = *segment = 0, *fraction = 0.0f;
  }
  void Finish() override { finished = true; }
  bool finished = false;
};

// By laps: the winner finishes on completing them, the others at their next counted crossing;
// a crossing that missed most checkpoints (the car came back over the line) finishes nobody.
TEST_F(RaceSessionTest, ALapRaceFinishesOnCountedLapsOnly) {
  RaceSession race;
  ASSERT_TRUE(race.Load(Config("canyon", 2))) << race.m_error;
  Track& track = race.GetTrack();
  ASSERT_GE(track.m_checkpointCount, 4u);
  EXPECT_EQ(track.m_raceLaps, 2u);
  StillRacer a, b;
  ASSERT_TRUE(track.AddPlayer(&a, 0));
  ASSERT_TRUE(track.AddPlayer(&b, 0));
  track.SetState(RACE_STATE_RACING);
  RaceTrackerEntry ea, eb;
  ea.car = &a;
  eb.car = &b;
  const LapTime lap = LapTime::FromHundredths(6000);
  uint8_t finished = 1;
  const uint32_t all = track.m_checkpointCount - 1;
  ea.laps = 1;  // completing the first lap of two
  track.OnLapCompleted(&ea, true, 0, &lap, 1, &finished);
  EXPECT_EQ(finished, 0);
  ea.laps = 2;  // back over the line: the checkpoints of the lap were not passed
  EXPECT_FALSE(track.OnLapCompleted(&ea, true, all, &lap, 1, &finished));
  EXPECT_EQ(finished, 0);
  EXPECT_FALSE(a.finished);
  EXPECT_TRUE(track.OnLapCompleted(&ea, true, 0, &lap, 1, &finished));
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(a.finished);
  eb.laps = 1;  // a lap down: finishes at its next counted crossing
  EXPECT_FALSE(track.OnLapCompleted(&eb, false, all, &lap, 1, &finished));
  EXPECT_FALSE(b.finished);
  EXPECT_TRUE(track.OnLapCompleted(&eb, false, 1, &lap, 1, &finished));
  EXPECT_TRUE(b.finished);
  EXPECT_EQ(track.m_state, RACE_STATE_ALL_FINISHED);
  track.RemovePlayer(&a);
  track.RemovePlayer(&b);
}

}  // namespace

namespace {

// The game's cars of a class (scene model, effects, shadow) driven by the computer drivers.
TEST_F(RaceSessionTest, GameCarsOfAClassRaceALap) {
  RaceSession race;
  RaceSessionConfig c = Config("harbour", 1, 3);
  c.carClass = "junior_std";
  ASSERT_TRUE(race.Load(c)) << race.m_error;
  for (const AIParameters& p : TrackDrivers("harbour", 4)) ASSERT_TRUE(race.AddComputer(p));
  ASSERT_TRUE(race.Start());
  EXPECT_TRUE(race.Run(400.0f));
  for (const RaceSessionResult& r : race.Results()) {
    EXPECT_TRUE(r.finished) << r.name;
    EXPECT_GT(r.bestLap, 10.0f) << r.name;
  }
  RaceSession unknown;
  c.carClass = "no_such_class";
  EXPECT_FALSE(unknown.Load(c));
  EXPECT_EQ(unknown.m_error, "unknown car class 'no_such_class'");
}

}  // namespace
