// Another machine's car in a race on a generated track: the game car of that player's class
// (with its paint and race number, in the track's car group), moved by the car states that
// arrive from its machine and put on the place of a rescue made there, whatever states arrive
// while the rescue runs.
#include <cmath>
#include <limits>
#include <memory>

#include "QVX/race/CarCatalog.h"
#include "QVX/race/RemoteRacer.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "tests/race/race_world.h"

using namespace racetest;

namespace {

float Distance2D(const VQVector& a, const VQVector& b) { return std::hypot(a.x - b.x, a.y - b.y); }

class RemoteCar : public RaceWorld {
 protected:
  void TearDown() override {
    race_.reset();
    remote_.reset();
    RaceWorld::TearDown();
  }
  void Load() {
    race_ = std::make_unique<RaceSession>();
    RaceSessionConfig c = Config("harbour", 1, 3);
    c.carClass = "sport";
    c.gameMode = GAME_MODE_SINGLE;
    ASSERT_TRUE(race_->Load(c)) << race_->m_error;
    CarSetup setup;
    setup.carName = "sport";
    setup.number = 7;
    setup.detail = 0;
    remote_ = std::make_unique<RemoteRacer>(1, "Remote", race_->GetCarCatalog(),
                                            race_->GetCarEnvironment(), setup, &race_->GetCourse(),
                                            &race_->GetTrack());
    ASSERT_TRUE(race_->AddRacer(remote_.get(), &remote_->Follower())) << race_->m_error;
    ASSERT_TRUE(remote_->HasCar());
    ASSERT_TRUE(race_->Start()) << race_->m_error;
    for (int i = 0; i < 3000 && race_->RaceTime() <= 0.0f; ++i) race_->Frame();
    ASSERT_GT(race_->RaceTime(), 0.0f);
  }
  // A state of the car as its machine would send it: at `at`, facing along +y at `speed`.
  RemoteCarState State(const VQVector& at, float speed) {
    RemoteCarState s;
    s.raceTime = race_->RaceTime() + 0.01f * float(++sent_);
    s.position = at;
    remote_->GetVehicle()->GetOrientation(s.orientation);
    s.velocity = VQVector(0.0f, speed, 0.0f);
    s.pedal = 0.5f;
    s.gear = 3;
    s.horn = true;
    return s;
  }

  std::unique_ptr<RaceSession> race_;
  std::unique_ptr<RemoteRacer> remote_;
  int sent_ = 0;
};

TEST_F(RemoteCar, IsTheClassGameCarAndFollowsItsMachinesStates) {
  Load();
  EXPECT_EQ(remote_->GetDriverType(), uint32_t(TRACK_DRIVER_REMOTE));
  Car* car = remote_->GetGameCar();
  ASSERT_NE(car, nullptr);
  ASSERT_NE(car->GetRoot(), nullptr);
  EXPECT_EQ(race_->GetCarRoot(race_->ParticipantCount() - 1), car->GetRoot());
  ASSERT_NE(car->GetClass(), nullptr);
  EXPECT_EQ(car->GetClass()->name, "sport");
  // A state far from the car puts it there at once, in the sender's gear (its horn is a sound,
  // and this race has no sound device).
  const VQVector target = remote_->GetPosition() + VQVector(0.0f, 6.0f, 0.0f);
  ASSERT_TRUE(remote_->Receive(State(target, 5.0f), race_->RaceTime()));
  race_->Frame();
  EXPECT_LT(Distance2D(remote_->GetPosition(), target), 0.3f);
  EXPECT_EQ(car->GetGear(), 3);
  // The jump crossed no line: the previous position is the new one.
  EXPECT_LT(Distance2D(remote_->GetPreviousPosition(), remote_->GetPosition()), 0.3f);
}

TEST_F(RemoteCar, ARescueFromItsMachinePutsItOnThatPlace) {
  Load();
  const Track& t = race_->GetTrack();
  ASSERT_GT(t.m_aiLineCount, 0u);
  const TrackAILine* line = t.m_aiLines[0];
  ASSERT_GT(line->Count(), 20u);
  const uint32_t at = line->Count() / 2;  // half a lap away from the grid
  const VQVector2 p = line->points[at];
  const VQVector place(p.x, p.y, remote_->GetPosition().z + 0.5f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(remote_->Rescue(VQVector(nan, 0, 0), 0.0f, at, 0.0f));
  EXPECT_FALSE(remote_->Rescue(place, nan, at, 0.0f));
  EXPECT_FALSE(remote_->Rescuing());
  ASSERT_TRUE(remote_->Rescue(place, 0.3f, at, 0.0f));
  EXPECT_TRUE(remote_->Rescuing());
  EXPECT_FALSE(remote_->Rescue(place, 0.3f, at, 0.0f));  // one at a time
  // States from before the rescue reached its machine pull nothing while it runs.
  const VQVector elsewhere = remote_->GetPosition() + VQVector(30.0f, 0.0f, 0.0f);
  for (int i = 0; i < 400 && remote_->Rescuing(); ++i) {
    if (i % 10 == 0) remote_->Receive(State(elsewhere, 0.0f), race_->RaceTime());
    race_->Frame();
  }
  ASSERT_FALSE(remote_->Rescuing());
  // On the place (set down there, it may roll a little), not where the dropped states were.
  EXPECT_LT(Distance2D(remote_->GetPosition(), place), 2.5f);
  EXPECT_GT(Distance2D(remote_->GetPosition(), elsewhere), 20.0f);
  // Afterwards its states count again.
  ASSERT_TRUE(remote_->Receive(State(elsewhere, 0.0f), race_->RaceTime()));
  race_->Frame();
  EXPECT_LT(Distance2D(remote_->GetPosition(), elsewhere), 0.5f);
}

}  // namespace

namespace {

TEST_F(RemoteCar, AfterItsPlayerLeftItsCarStaysHiddenUntilItIsReleased) {
  Load();
  const uint32_t cars = race_->GetTrack().m_playerCount;
  VQNode* root = remote_->GetGameCar()->GetRoot();
  ASSERT_NE(root, nullptr);
  remote_->Retire();
  race_->GetTrack().RemovePlayer(remote_.get());
  EXPECT_EQ(race_->GetTrack().m_playerCount, cars - 1);
  // Out of the race, but its nodes are still there for the views that hold them.
  ASSERT_TRUE(remote_->HasCar());
  EXPECT_EQ(remote_->GetGameCar()->GetRoot(), root);
  EXPECT_LT(remote_->GetVehicle()->GetPosition().z, -100.0f);
  EXPECT_EQ(remote_->GetVehicle()->m_collidable, 0);
  for (int i = 0; i < 20; ++i) race_->Frame();
  remote_->ReleaseRetiredCar();
  EXPECT_FALSE(remote_->HasCar());
  EXPECT_FALSE(remote_->Retired());
}

}  // namespace
