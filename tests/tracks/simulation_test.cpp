// The race clock: time scale, pause, stalls, averages, and the camera list.
#include <gtest/gtest.h>

#include <cmath>

#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "Zentri/platform/VQSystem.h"

namespace {

// A clock the test advances by hand, in microseconds.
struct HandClock {
  int64_t now = 5000000;
  static int64_t Read(void* user) { return static_cast<HandClock*>(user)->now; }
  void Advance(double seconds) { now += int64_t(seconds * 1e6 + 0.5); }
};

class RaceClock : public ::testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Init();
    sim_.SetClock(SimulationClock{HandClock::Read, 1000000, &clock_});
    sim_.m_maxStep = 2.0f;
    sim_.AddCamera(&camera_);
  }
  void TearDown() override { g_VQsystem.Shutdown(); }
  // One frame of the given wall-clock length.
  void Frame(double seconds) {
    clock_.Advance(seconds);
    sim_.Tick();
  }
  HandClock clock_;
  TrackCameraRecord camera_;
  Simulation sim_;
};

}  // namespace

TEST(RaceWithoutCameras, DoesNotStart) {
  Simulation sim;
  EXPECT_FALSE(sim.Start(false, false));
  EXPECT_FALSE(sim.m_running);
}

TEST_F(RaceClock, StepsFollowTheClockAndTheTimeScale) {
  EXPECT_EQ(g_the_simulation, &sim_);
  sim_.Start(false, false);
  EXPECT_EQ(sim_.m_frameStep, SIMULATION_DEFAULT_STEP);
  Frame(0.02);
  EXPECT_NEAR(sim_.m_frameStep, 0.02f, 1e-6);
  EXPECT_NEAR(sim_.m_raceTime, 0.02f, 1e-6);
  sim_.SetTimeScale(0.5f);
  EXPECT_EQ(g_VQsystem.m_timeScale, 0.5f);
  Frame(0.02);
  EXPECT_NEAR(sim_.m_frameStep, 0.01f, 1e-6);  // the step is scaled
  EXPECT_NEAR(sim_.m_raceTime, 0.04f, 1e-6);   // the race time follows the clock
}

TEST_F(RaceClock, PauseHoldsRaceTimeWhileFramesGoOn) {
  sim_.Start(false, false);
  Frame(1.0);
  sim_.Pause(true);
  EXPECT_EQ(g_VQsystem.m_timeScale, 0.0f);
  Frame(0.5);
  EXPECT_EQ(sim_.m_frameStep, 0.0f);
  EXPECT_NEAR(sim_.m_frameTime, 0.5f, 1e-5);  // the real time of the frame
  EXPECT_NEAR(sim_.m_raceTime, 1.0f, 1e-5);
  Frame(2.5);  // a long pause is no stall
  sim_.Pause(false);
  sim_.Pause(false);  // idempotent
  EXPECT_EQ(g_VQsystem.m_timeScale, sim_.m_timeScaleSetting);
  Frame(0.1);
  EXPECT_NEAR(sim_.m_frameStep, 0.1f, 1e-5);
  EXPECT_NEAR(sim_.m_raceTime, 1.1f, 1e-5);
}

TEST_F(RaceClock, StartingPausedBeginsAtZeroOnResume) {
  sim_.Start(true, false);
  EXPECT_TRUE(sim_.m_paused);
  clock_.Advance(3.0);
  sim_.Pause(false);
  Frame(0.016);
  EXPECT_NEAR(sim_.m_raceTime, 0.016f, 1e-4);
}

// A stalled frame counts as 1/60 s; the race time neither jumps by the stall nor runs
// backwards afterwards, and the following frames run normally.
TEST_F(RaceClock, StallCountsAsOneFrameAndTimeNeverRunsBackwards) {
  sim_.Start(false, false);
  Frame(0.5);
  const float before = sim_.m_raceTime;
  Frame(5.0);
  EXPECT_EQ(sim_.m_frameStep, SIMULATION_DEFAULT_STEP);
  EXPECT_NEAR(sim_.m_raceTime, before + SIMULATION_DEFAULT_STEP, 1e-4);
  float last = sim_.m_raceTime;
  for (int i = 0; i < 10; ++i) {
    Frame(0.02);
    EXPECT_GE(sim_.m_raceTime, last);
    EXPECT_NEAR(sim_.m_frameStep, 0.02f, 1e-4);
    last = sim_.m_raceTime;
  }
  EXPECT_NEAR(sim_.m_raceTime, before + SIMULATION_DEFAULT_STEP + 0.2f, 1e-3);
}

TEST_F(RaceClock, NegativeStepCountsAsZero) {
  sim_.Start(false, false);
  Frame(1.0);
  clock_.now -= 500000;  // a clock that goes back
  sim_.Tick();
  EXPECT_EQ(sim_.m_frameStep, 0.0f);
  EXPECT_GE(sim_.m_raceTime, 1.0f - 1e-5f);
}

TEST_F(RaceClock, AverageChangesAfterTwentyFrames) {
  sim_.Start(false, false);
  for (int i = 0; i < 19; ++i) Frame(0.03);
  EXPECT_EQ(sim_.m_averageStep, SIMULATION_DEFAULT_STEP);
  Frame(0.03);
  EXPECT_NEAR(sim_.m_averageStep, 0.03f, 1e-5);
}

TEST_F(RaceClock, SetRaceTimeRebasesTheClock) {
  sim_.Start(false, false);
  Frame(1.0);
  sim_.SetRaceTime(10.0f);
  EXPECT_NEAR(sim_.ReadClock(), 10.0f, 1e-4);
  sim_.Stop();
  EXPECT_FALSE(sim_.m_running);
  EXPECT_EQ(sim_.m_raceTime, 0.0f);
  EXPECT_EQ(g_VQsystem.m_stop, 1);
}

TEST(SimulationCameras, ListFindAndNext) {
  Simulation sim;
  TrackCameraRecord cams[4];
  const char* names[4] = {"Tower", "follow", "side1", "side2"};
  const uint32_t types[4] = {1, 3, 1, 1};
  const int32_t kinds[4] = {0, 1, 2, 2};
  for (int i = 0; i < 4; ++i) {
    std::snprintf(cams[i].name, sizeof cams[i].name, "%s", names[i]);
    cams[i].type = types[i];
    cams[i].kind = kinds[i];
    ASSERT_TRUE(sim.AddCamera(&cams[i]));
  }
  cams[2].intervalFrom = 0, cams[2].intervalTo = 100, cams[2].group = 1;
  cams[3].intervalFrom = 100, cams[3].intervalTo = 200, cams[3].group = 1;
  EXPECT_EQ(sim.CountCameras(0), 4u);
  EXPECT_EQ(sim.CountCameras(1), 3u);
  EXPECT_EQ(sim.GetCamera(1, 2), &cams[3]);
  EXPECT_EQ(sim.GetCamera(0, 4), nullptr);
  EXPECT_EQ(sim.GetCamera(3, 1), nullptr);
  EXPECT_EQ(sim.FindCamera("tower"), &cams[0]);
  EXPECT_EQ(sim.FindCamera("SIDE2"), &cams[3]);
  EXPECT_EQ(sim.FindCamera("side"), nullptr);
  EXPECT_EQ(sim.NextCamera(&cams[0], 2), &cams[2]);
  // An interval-bound camera skips the others of its group.
  EXPECT_EQ(sim.NextCamera(&cams[2], 2), &cams[2]);
  EXPECT_EQ(sim.NextCamera(&cams[1], 1), &cams[1]);
  TrackCameraRecord extra[SIMULATION_MAX_CAMERAS];
  for (uint32_t i = 4; i < SIMULATION_MAX_CAMERAS; ++i) EXPECT_TRUE(sim.AddCamera(&extra[i]));
  EXPECT_FALSE(sim.AddCamera(&extra[0]));  // 50 held
}

TEST(SimulationCameras, SingleCameraIsNextWhateverItsKind) {
  Simulation sim;
  TrackCameraRecord only;
  only.kind = 3;
  Simulation empty;
  EXPECT_EQ(empty.NextCamera(&only, 3), nullptr);
  sim.AddCamera(&only);
  EXPECT_EQ(sim.NextCamera(&only, 3), &only);
  EXPECT_EQ(sim.NextCamera(&only, 1), &only);
  EXPECT_EQ(Simulation::SizeClass(640), 0u);
  EXPECT_EQ(Simulation::SizeClass(641), 1u);
  EXPECT_EQ(Simulation::SizeClass(1024), 2u);
}
