// Lap records and the ghost of a track kept through a race session: a human player's record of
// its class on this track is read from its profile, beaten only by a faster clean lap, written
// back when the race ends, and leaves every other track and class alone; in practice the ghost
// of the best lap plays back on the next one. The cars are steered by computer drivers standing
// in for the players.
#include <cmath>
#include <vector>

#include "QVX/race/GhostCar.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceTracker.h"
#include "tests/race/race_world.h"

using namespace racetest;

namespace {

constexpr int32_t kClass = 2;

// A human player whose car a computer driver steers.
std::unique_ptr<Player> StandIn(const AIParameters& p, float storedRecord, uint32_t track) {
  auto player = std::make_unique<Player>();
  player->SetupComputer(p);
  player->m_type = PLAYER_HUMAN;
  player->m_profile.normal_frame = kClass;
  player->m_profile.lap_records[kClass][track] = storedRecord;
  player->m_profile.lap_records[kClass][track + 1] = 55.5f;
  player->m_profile.lap_records[kClass + 1][track] = 44.4f;
  return player;
}

struct Events {
  std::vector<std::pair<TrackRacer*, int32_t>> records;
  static void Hook(void* user, int32_t event, TrackRacer* racer, int32_t argument) {
    if (event == RACE_EVENT_LAP_RECORD)
      static_cast<Events*>(user)->records.emplace_back(racer, argument);
  }
};

class RaceRun : public RaceWorld {};

// Three players' records: none yet (a first lap sets it without a notice), one no lap can beat
// (kept) and a slow one (beaten, with the notice).
TEST_F(RaceRun, LapRecordOfTheTrackIsReadBeatenByCleanLapsAndWrittenBack) {
  const std::string name = "city";
  Events events;
  RaceSessionConfig c = Config(name, 2, 5);
  c.gameMode = GAME_MODE_SINGLE;
  c.hooks.user = &events;
  c.hooks.raceEvent = &Events::Hook;
  std::vector<std::unique_ptr<Player>> players;  // they outlive the race
  RaceSession race;
  ASSERT_TRUE(race.Load(c)) << race.m_error;
  const uint32_t track = race.GetTrack().m_trackNumber;
  ASSERT_LT(track + 1, uint32_t(PROFILE_MAX_TRACKS));
  const float stored[3] = {0.0f, 5.0f, 900.0f};
  const std::vector<AIParameters> drivers = TrackDrivers(name, 3);
  for (int i = 0; i < 3; ++i) {
    players.push_back(StandIn(drivers[size_t(i)], stored[i], track));
    ASSERT_TRUE(race.AddPlayer(players.back().get())) << race.m_error;
  }
  ASSERT_TRUE(race.Start()) << race.m_error;
  EXPECT_EQ(race.LapRecord(race.GetRacer(0)), RECORD_NO_LAP);
  EXPECT_EQ(race.LapRecord(race.GetRacer(1)), 5.0f);
  EXPECT_EQ(race.LapRecord(race.GetRacer(2)), 900.0f);
  ASSERT_TRUE(race.Run(600.0f)) << "race time " << race.RaceTime();

  const RaceTracker& tracker = *race.GetTrack().m_tracker;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const PlayerProfile& p = players[size_t(i)]->m_profile;
    const double best = tracker.FindEntry(race.GetRacer(uint32_t(i)))->bestLap.Seconds();
    ASSERT_GT(best, 10.0);
    const float expected = i == 1 ? 5.0f : float(best);
    EXPECT_NEAR(p.lap_records[kClass][track], expected, 0.006);
    EXPECT_NEAR(race.LapRecord(race.GetRacer(uint32_t(i))), expected, 0.006);
    // Other tracks and classes keep theirs.
    EXPECT_EQ(p.lap_records[kClass][track + 1], 55.5f);
    EXPECT_EQ(p.lap_records[kClass + 1][track], 44.4f);
  }
  // Beating a real record is announced (the first lap of the player without one only sets it);
  // the unbeaten record never is.
  std::vector<int32_t> announced[3];
  for (const auto& [racer, hundredths] : events.records)
    for (uint32_t i = 0; i < 3; ++i)
      if (racer == race.GetRacer(i)) announced[i].push_back(hundredths);
  EXPECT_LT(announced[0].size(), 2u);  // two laps: at most the second beats the first
  EXPECT_TRUE(announced[1].empty());
  ASSERT_FALSE(announced[2].empty());
  EXPECT_EQ(uint32_t(announced[2].back()),
            tracker.FindEntry(race.GetRacer(2))->bestLap.Hundredths());
}

// A race left before its end still keeps the records its laps set; a computer driver keeps none.
TEST_F(RaceRun, RecordsOfALeftRaceAreKeptAndComputersKeepNone) {
  const std::string name = "harbour";
  std::unique_ptr<Player> human;
  Player computer;
  uint32_t track = 0;
  {
    RaceSession race;
    ASSERT_TRUE(race.Load(Config(name, 5, 3))) << race.m_error;
    track = race.GetTrack().m_trackNumber;
    const std::vector<AIParameters> drivers = TrackDrivers(name, 2);
    human = StandIn(drivers[0], 0.0f, track);
    ASSERT_TRUE(computer.SetupComputer(drivers[1]));
    ASSERT_TRUE(race.AddPlayer(human.get()));
    ASSERT_TRUE(race.AddPlayer(&computer));
    ASSERT_TRUE(race.Start());
    const RaceTrackerEntry* e = race.GetTrack().m_tracker->FindEntry(race.GetRacer(0));
    for (int f = 0; f < 60 * 600 && e->bestLap.IsZero(); ++f) race.Frame();
    ASSERT_FALSE(e->bestLap.IsZero()) << "no lap in ten minutes";
    EXPECT_FALSE(race.Finished());
    EXPECT_EQ(human->m_profile.lap_records[kClass][track], 0.0f);  // written when it ends
    EXPECT_EQ(race.LapRecord(race.GetRacer(1)), RECORD_NO_LAP);
    EXPECT_EQ(race.GetGhost(race.GetRacer(0)), nullptr);  // no ghost outside practice
  }
  EXPECT_GT(human->m_profile.lap_records[kClass][track], 10.0f);
  for (int cls = 0; cls < PROFILE_MAX_CLASSES; ++cls)
    for (int t = 0; t < PROFILE_MAX_TRACKS; ++t)
      EXPECT_EQ(computer.m_profile.lap_records[cls][t], 0.0f) << cls << " " << t;
}

// Practice with the ghost mode: the first crossing starts the recording, the first lap then
// plays back as the ghost, which stays on the track behind or beside the car.
TEST_F(RaceRun, PracticeGhostReplaysTheBestLap) {
  const std::string name = "harbour";
  RaceSessionConfig c = Config(name, 1, 11);
  c.gameMode = GAME_MODE_PRACTICE;
  c.carClass = "junior_std";
  std::unique_ptr<Player> ghosted, plain;  // they outlive the race
  RaceSession race;
  ASSERT_TRUE(race.Load(c)) << race.m_error;
  const uint32_t track = race.GetTrack().m_trackNumber;
  const std::vector<AIParameters> drivers = TrackDrivers(name, 2);
  ghosted = StandIn(drivers[0], 0.0f, track);
  ghosted->m_profile.ghost_mode = 1;
  plain = StandIn(drivers[1], 0.0f, track);
  ASSERT_TRUE(race.AddPlayer(ghosted.get()));
  ASSERT_TRUE(race.AddPlayer(plain.get()));
  ASSERT_TRUE(race.Start()) << race.m_error;
  const GhostCar* ghost = race.GetGhost(race.GetRacer(0));
  ASSERT_NE(ghost, nullptr);
  EXPECT_EQ(race.GetGhost(race.GetRacer(1)), nullptr);  // ghost mode off
  EXPECT_FALSE(ghost->IsVisible());

  const RaceTrackerEntry* e = race.GetTrack().m_tracker->FindEntry(race.GetRacer(0));
  ASSERT_NE(e, nullptr);
  // Until the first lap is complete there is nothing to play.
  int frames = 0;
  for (; frames < 60 * 600 && e->bestLap.IsZero(); ++frames) {
    race.Frame();
    if (e->bestLap.IsZero()) ASSERT_FALSE(ghost->IsVisible()) << "frame " << frames;
  }
  ASSERT_FALSE(e->bestLap.IsZero()) << "no lap in ten minutes";
  // One lap recorded, one second of the next one being recorded.
  for (int f = 0; f < 60; ++f) race.Frame();
  EXPECT_TRUE(ghost->IsVisible());
  EXPECT_GT(ghost->GetRecordedFrames(), 50u);
  EXPECT_LT(ghost->GetRecordedFrames(), 70u);
  // The ghost drives the last lap again from the line, level with the car that left the line at
  // about the same time, on the ground, and moving along.
  const VQVector at = ghost->GetPosition();
  const VQVector car = race.GetRacer(0)->GetPosition();
  const float dx = at.x - car.x, dy = at.y - car.y;
  EXPECT_LT(dx * dx + dy * dy, 30.0f * 30.0f);
  const float ground = race.GetTrack().GroundHeightAt(VQVector(at.x, at.y, at.z + 5.0f));
  EXPECT_LT(std::fabs(at.z - ground), 3.0f) << "the ghost is off the ground";
  for (int f = 0; f < 60; ++f) race.Frame();
  const VQVector later = ghost->GetPosition();
  const float mx = later.x - at.x, my = later.y - at.y;
  EXPECT_GT(mx * mx + my * my, 5.0f * 5.0f);
}

}  // namespace
