// The local player's car in a race on a generated track: the class's game car with the detailed
// vehicle model, held on the grid until the green light, driven by the player's control values
// (throttle, brake, steering), put back onto the computer line by a rescue from where it drives
// on, and classified by the lap tracker once it completes its laps.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "QVX/race/HumanRacer.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceTracker.h"
#include "QVX/race/Simulation.h"
#include "tests/race/race_world.h"
#include "Zentri/vehicle/VQVehicleModel.h"

using namespace racetest;

namespace {

// A class whose detailed model pulls hard enough to show racing speeds within seconds.
constexpr const char* kClass = "sport";

float Distance2D(const VQVector& a, const VQVector& b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

class HumanCar : public RaceWorld {
 protected:
  void SetUp() override {
    RaceWorld::SetUp();
    player_.Reset(PLAYER_HUMAN);
    std::snprintf(player_.m_name, sizeof player_.m_name, "%s", "Tester");
  }
  void TearDown() override {
    race_.reset();
    human_.reset();
    RaceWorld::TearDown();
  }
  // A race of the player's car alone (computers: how many computer drivers join it first).
  void Load(const std::string& track, uint32_t laps, uint32_t computers = 0) {
    race_ = std::make_unique<RaceSession>();
    RaceSessionConfig c = Config(track, laps, 3);
    c.carClass = kClass;
    c.gameMode = GAME_MODE_SINGLE;
    ASSERT_TRUE(race_->Load(c)) << race_->m_error;
    for (const AIParameters& p : TrackDrivers(track, computers)) ASSERT_TRUE(race_->AddComputer(p));
    ASSERT_NE(race_->GetCarCatalog(), nullptr);
    CarSetup setup;
    setup.carName = kClass;
    setup.detail = 0;
    human_ = std::make_unique<HumanRacer>(&player_, race_->GetCarCatalog(),
                                          race_->GetCarEnvironment(), setup, &race_->GetCourse(), 0);
    human_->m_readBindings = false;
    ASSERT_TRUE(race_->AddRacer(human_.get(), &human_->Follower())) << race_->m_error;
    ASSERT_TRUE(human_->HasCar());
    ASSERT_TRUE(race_->Start()) << race_->m_error;
  }
  void Frames(float seconds) {
    const int n = int(std::lround(seconds / SIMULATION_DEFAULT_STEP));
    for (int i = 0; i < n; ++i) race_->Frame();
  }
  void ToGreen() {
    for (int i = 0; i < 3000 && race_->RaceTime() <= 0.0f; ++i) race_->Frame();
    ASSERT_GT(race_->RaceTime(), 0.0f);
  }
  // Distance from the car to the nearest point of the computer line.
  float OffLine() {
    const Track& t = race_->GetTrack();
    const TrackAILine* line = t.m_aiLines[0];
    const VQVector p = human_->GetPosition();
    // The line's points lie up to tens of metres apart on straights: measure to its segments.
    float best = 1e30f;
    const uint32_t n = line->Count();
    for (uint32_t k = 0; k < n; ++k) {
      const VQVector2 a = line->points[k], b = line->points[(k + 1) % n];
      const float dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
      const float u =
          len2 > 0.0f ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0f, 1.0f) : 0.0f;
      best = std::fmin(best, std::hypot(a.x + u * dx - p.x, a.y + u * dy - p.y));
    }
    return best;
  }
  // A steady driver on the control values: steers toward the line some way ahead, eases the
  // throttle in sharp bends.
  void SteerAlongLine() {
    const Track& t = race_->GetTrack();
    const TrackAILine* line = t.m_aiLines[0];
    const VQVector p = human_->GetPosition();
    uint32_t at = 0;
    float best = 1e30f;
    for (uint32_t k = 0; k < line->Count(); ++k) {
      const float d = std::hypot(line->points[k].x - p.x, line->points[k].y - p.y);
      if (d < best) best = d, at = k;
    }
    // The aim: the point of the line 14 m on from the nearest point (segments are short in
    // bends and long on straights, so the aim is placed along the segment it falls in).
    float ahead = 14.0f;
    uint32_t k = at;
    while (line->lengths[k] < ahead) ahead -= line->lengths[k], k = (k + 1) % line->Count();
    const VQVector2 from = line->points[k], to = line->points[(k + 1) % line->Count()];
    const float u = line->lengths[k] > 0.0f ? ahead / line->lengths[k] : 0.0f;
    const VQVector2 aim = VQVector2(from.x + (to.x - from.x) * u - p.x, from.y + (to.y - from.y) * u - p.y);
    const VQMatrix* m = human_->GetVehicle()->GetWorldMatrix();
    const float fx = m->m[4], fy = m->m[5];
    const float angle = std::atan2(fx * aim.y - fy * aim.x, fx * aim.x + fy * aim.y);
    player_.m_controls[CONTROL_STEERING] = std::clamp(-angle * 2.5f, -1.0f, 1.0f);
    // A cautious pace that every bend of the generated tracks takes without braking points.
    const float v = human_->Speed();
    player_.m_controls[CONTROL_THROTTLE] = v > 18.0f ? 0.0f : std::fabs(angle) > 0.35f ? 0.4f : 1.0f;
    player_.m_controls[CONTROL_BRAKE] = v > 21.0f ? 0.6f : 0.0f;
  }
  const RaceTrackerEntry* Entry() {
    const RaceTracker* t = race_->GetTrack().m_tracker;
    return t ? t->FindEntry(human_.get()) : nullptr;
  }

  Player player_;
  std::unique_ptr<RaceSession> race_;
  std::unique_ptr<HumanRacer> human_;
};

}  // namespace

TEST_F(HumanCar, IsHeldOnTheGridThenReachesRacingSpeedUnderFullThrottle) {
  Load("harbour", 1);
  EXPECT_EQ(human_->GetDriverType(), uint32_t(TRACK_DRIVER_HUMAN));
  // The class's game car: its scene is in the track's car group.
  ASSERT_NE(human_->GetCar().GetRoot(), nullptr);
  EXPECT_FALSE(human_->GetCar().IsComputer());
  EXPECT_EQ(race_->GetCarRoot(race_->ParticipantCount() - 1), human_->GetCar().GetRoot());
  const VQVector grid = human_->GetPosition();
  player_.m_controls[CONTROL_THROTTLE] = 1.0f;  // revving before the lights
  for (int i = 0; i < 3000 && race_->RaceTime() <= 0.0f; ++i) race_->Frame();
  ASSERT_GT(race_->RaceTime(), 0.0f);
  EXPECT_LT(Distance2D(human_->GetPosition(), grid), 0.3f);
  EXPECT_TRUE(human_->Started());
  // Throttle held through the lights does not count until it is released.
  Frames(1.0f);
  EXPECT_LT(Distance2D(human_->GetPosition(), grid), 0.5f);
  player_.m_controls[CONTROL_THROTTLE] = 0.0f;
  race_->Frame();
  float top = 0.0f;
  for (int i = 0; i < 500; ++i) {
    SteerAlongLine();
    player_.m_controls[CONTROL_THROTTLE] = 1.0f;  // full throttle, whatever the pace
    player_.m_controls[CONTROL_BRAKE] = 0.0f;
    race_->Frame();
    top = std::fmax(top, human_->Speed());
  }
  EXPECT_GT(top, 15.0f);
  EXPECT_GT(Distance2D(human_->GetPosition(), grid), 40.0f);
  EXPECT_GT(human_->GetCar().GetGear(), int32_t(CAR_GEAR_FIRST));  // the gearbox shifted up
}

TEST_F(HumanCar, AThrottleHeldThroughTheLightsCountsOnceLetGoEvenIfItHasNotFallenToZero) {
  // A key's throttle falls at the back rate: let go for one frame it is still above 0 (at 16
  // per second over 0.05 s it falls from 1 to 0.2), and that was the release.
  Load("harbour", 1);
  const VQVector grid = human_->GetPosition();
  player_.m_controls[CONTROL_THROTTLE] = 1.0f;
  ToGreen();
  Frames(1.0f);
  EXPECT_LT(Distance2D(human_->GetPosition(), grid), 0.5f);  // still held
  player_.m_controls[CONTROL_THROTTLE] = 0.2f;
  race_->Frame();
  player_.m_controls[CONTROL_THROTTLE] = 1.0f;
  Frames(3.0f);
  EXPECT_GT(Distance2D(human_->GetPosition(), grid), 5.0f);
}

TEST_F(HumanCar, WithTheSteeringAssistACarStandingStillUnderThrottleIsRescued) {
  // Held by the brake under full throttle: stuck as against a barrier. Only the assisted
  // car asks for a rescue, after a few seconds.
  for (const bool assist : {false, true}) {
    SCOPED_TRACE(assist ? "assisted" : "unassisted");
    Load("harbour", 1);
    human_->m_steerAssist = assist;
    ToGreen();
    player_.m_controls[CONTROL_THROTTLE] = 0.0f;
    race_->Frame();
    player_.m_controls[CONTROL_THROTTLE] = 1.0f;
    player_.m_controls[CONTROL_BRAKE] = 1.0f;
    Frames(2.0f);
    ASSERT_LT(human_->Speed(), 1.0f);
    EXPECT_FALSE(human_->Rescuing());
    bool rescued = false;
    for (int i = 0; i < 120; ++i) {
      race_->Frame();
      rescued = rescued || human_->Rescuing();
    }
    EXPECT_EQ(rescued, assist) << human_->Speed();
    player_.m_controls[CONTROL_BRAKE] = 0.0f;
    race_.reset();
    human_.reset();
  }
}

TEST_F(HumanCar, ARescuePutsTheCarBackOnTheLineWhereItDrivesOn) {
  Load("harbour", 1);
  ToGreen();
  // Straight on at full throttle, whatever the bends: off the line and into the barriers.
  player_.m_controls[CONTROL_THROTTLE] = 1.0f;
  Frames(8.0f);
  const float before = OffLine();
  human_->Rescue();
  ASSERT_TRUE(human_->Rescuing());
  for (int i = 0; i < 400 && human_->Rescuing(); ++i) race_->Frame();
  ASSERT_FALSE(human_->Rescuing());
  EXPECT_LT(OffLine(), 4.0f) << "off the line by " << before << " m before the rescue";
  const VQVector placed = human_->GetPosition();
  float top = 0.0f;
  for (int i = 0; i < 360; ++i) {
    SteerAlongLine();
    race_->Frame();
    top = std::fmax(top, human_->Speed());
  }
  EXPECT_GT(top, 10.0f);
  EXPECT_GT(Distance2D(human_->GetPosition(), placed), 20.0f);
  // The rescue control: ignored at speed, a rescue once the car is stopped.
  ASSERT_GT(human_->Speed(), 4.0f);
  player_.m_controls[CONTROL_RESCUE] = 1.0f;
  race_->Frame();
  EXPECT_FALSE(human_->Rescuing());
  player_.m_controls[CONTROL_RESCUE] = 0.0f;
  player_.m_controls[CONTROL_THROTTLE] = 0.0f;
  player_.m_controls[CONTROL_BRAKE] = 1.0f;
  for (int i = 0; i < 600 && human_->Speed() >= 1.0f; ++i) race_->Frame();
  player_.m_controls[CONTROL_RESCUE] = 1.0f;
  race_->Frame();
  EXPECT_TRUE(human_->Rescuing());
}

TEST_F(HumanCar, DrivenAlongTheLineItCompletesTheRaceIsClassifiedAndStandsOnThePodium) {
  Load("harbour", 1, 1);
  ToGreen();
  // As a player would: a car stuck against a barrier for two seconds asks for a rescue.
  float still = 0.0f;
  uint32_t rescues = 0;
  for (int i = 0; i < 12000 && !human_->Finished(); ++i) {
    SteerAlongLine();
    still = human_->Speed() < 1.0f && !human_->Rescuing() ? still + SIMULATION_DEFAULT_STEP : 0.0f;
    player_.m_controls[CONTROL_RESCUE] = still > 2.0f ? 1.0f : 0.0f;
    if (still > 2.0f) ++rescues, still = 0.0f;
    race_->Frame();
  }
  ASSERT_TRUE(human_->Finished()) << "at " << race_->RaceTime() << " s, " << rescues << " rescues";
  const RaceTrackerEntry* e = Entry();
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->finished);
  EXPECT_GE(e->position, 1u);
  EXPECT_GT(e->carRaceTime, 10.0f);
  // The podium: both cars are put at their places and stay there.
  Track& t = race_->GetTrack();
  t.StopTracker();
  t.ShowPodium();
  race_->Frame();
  ASSERT_GE(t.m_podiumCount, 2u);
  VQVector placed[2];
  for (uint32_t place = 1; place <= 2; ++place) {
    const RaceTrackerEntry* p = t.m_tracker->FindEntryByPosition(place);
    ASSERT_NE(p, nullptr);
    placed[place - 1] = p->car->GetPosition();
    // The body's reference point lies within a car length of the placement point.
    EXPECT_LT(Distance2D(placed[place - 1], t.m_podium[place - 1].position), 3.5f)
        << "place " << place << ": " << p->car->GetName();
  }
  Frames(2.0f);
  for (uint32_t place = 1; place <= 2; ++place) {
    const RaceTrackerEntry* p = t.m_tracker->FindEntryByPosition(place);
    EXPECT_LT(Distance2D(p->car->GetPosition(), placed[place - 1]), 0.3f) << "place " << place;
  }
}

TEST_F(HumanCar, ARestartPutsEveryCarBackOnItsGridPlaceAfterRescuesAndThePodium) {
  Load("harbour", 1, 1);
  TrackRacer* computer = race_->GetRacer(0);
  ASSERT_NE(computer, nullptr);
  const VQVector grid[2] = {computer->GetPosition(), human_->GetPosition()};
  ToGreen();
  player_.m_controls[CONTROL_THROTTLE] = 1.0f;
  Frames(5.0f);
  human_->Rescue();
  for (int i = 0; i < 400 && human_->Rescuing(); ++i) race_->Frame();
  Track& t = race_->GetTrack();
  t.StopTracker();
  t.ShowPodium();
  Frames(1.0f);
  ASSERT_GT(Distance2D(human_->GetPosition(), grid[1]), 5.0f);
  ASSERT_TRUE(race_->Start()) << race_->m_error;
  race_->Frame();
  EXPECT_LT(Distance2D(computer->GetPosition(), grid[0]), 0.5f);
  EXPECT_LT(Distance2D(human_->GetPosition(), grid[1]), 0.5f);
  EXPECT_FALSE(human_->Started());
}
