// The computer driver's planner, smoothing and rescue on synthetic lines and stand-in cars.
#include <gtest/gtest.h>

#include <cmath>

#include "ai_stubs.h"
#include "QVX/race/AIDriver.h"

namespace {

struct Rig {
  StubCourse course;
  StubVehicle car;
  AIDriver driver;
  explicit Rig(float x = 50.0f, float y = 0.0f) {
    course.lines.push_back(StraightLoop(400.0f, 10.0f));
    course.drivers.push_back(&driver);
    car.pos = VQVector(x, y, 0.0f);
    car.Face(1.0f, 0.0f, 0.0f);
    driver.Setup(AIDRIVER_COMPUTER, AIParameters());
    driver.Attach(&car, &course);
    driver.PrepareStart(false);
  }
  // Driving along +x at v, recently moving, on the line and checked for being stuck.
  void Drive(float v) {
    car.Face(1.0f, 0.0f, v);
    driver.m_state = AISTATE_DRIVING;
    driver.m_lastMoving = driver.m_lastOnLine = driver.m_stuckTime = course.time;
  }
};

// ---- line geometry --------------------------------------------------------------------------

TEST(AIPathTest, DirectionsLengthsAndBendsOfASquare) {
  AIPath p;
  ASSERT_TRUE(p.Build({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}));
  EXPECT_EQ(p.Count(), 5u);
  EXPECT_FLOAT_EQ(p.TotalLength(), 40.0f);
  EXPECT_FLOAT_EQ(p.Direction(1).y, 1.0f);
  // Counter-clockwise turns set the flags; flag 0 compares the last real segment with the first.
  EXPECT_TRUE(p.Bend(1));
  EXPECT_TRUE(p.Bend(2));
  EXPECT_TRUE(p.Bend(0));
  // The walk skips the empty closing segment.
  EXPECT_EQ(p.Next(3), 0u);
  EXPECT_EQ(p.Prev(0), 3u);
  EXPECT_FALSE(p.Build({{0, 0}, {1, 1}}));
  EXPECT_FALSE(p.Build({{0, 0}, {1, 1}, {NAN, 0}}));
}

TEST(AIPathTest, CircleCrossingTakesThePointAheadNearestThePreviousSegment) {
  const AIPath p = StraightLoop(100.0f, 10.0f, 20.0f);
  VQVector2 pt;
  uint32_t seg = 2;
  ASSERT_TRUE(p.CircleCrossing(VQVector2(25.0f, 0.0f), 6.0f, &pt, &seg));
  EXPECT_EQ(seg, 3u);
  EXPECT_NEAR(pt.x, 31.0f, 1e-4f);
  // Far from the line: no crossing, outputs untouched.
  seg = 7;
  EXPECT_FALSE(p.CircleCrossing(VQVector2(50.0f, -50.0f), 5.0f, &pt, &seg));
  EXPECT_EQ(seg, 7u);
}

TEST(AIPathTest, WalkAndSeparationGoAroundTheLoop) {
  const AIPath p = StraightLoop(100.0f, 10.0f, 20.0f);
  uint32_t s;
  float f;
  p.Walk(9, 0.5f, 10.0f, &s, &f);  // the 20 m riser after x = 90
  EXPECT_EQ(s, 9u);
  p.Walk(0, 0.0f, -5.0f, &s, &f);  // backwards from the start: the diagonal closing leg
  EXPECT_EQ(s, p.Prev(0));
  EXPECT_NEAR(p.Separation(0, 0.0f, s, f), 5.0f, 1e-3f);
  EXPECT_EQ(p.Clamp(500), p.Count() - 1);
}

// ---- smoothing ------------------------------------------------------------------------------

TEST(AIDriverTest, SmoothingReachesTargetsExactlyWithoutOvershoot) {
  Rig r;
  r.car.steer = 0.0f;
  for (int i = 0; i < 100; ++i) r.driver.SmoothSteering(0.25f, 0.01f, 0.0f);
  EXPECT_EQ(r.car.steer, 0.25f);
  r.driver.SmoothSteering(0.0f, 0.01f, 0.0f);
  EXPECT_FLOAT_EQ(r.car.steer, 0.25f - 3.0f * 0.01f);  // speed_steerin x dt at speed 0
  // Throttle is held under its ceiling; brake under its maximum.
  for (int i = 0; i < 100; ++i) r.driver.SmoothThrottle(1.0f, 0.01f);
  EXPECT_FLOAT_EQ(r.car.throttle, r.driver.m_throttleCeiling);
  r.driver.m_params.brakeMax = 0.6f;
  for (int i = 0; i < 100; ++i) r.driver.SmoothBrake(1.0f, 0.01f);
  EXPECT_FLOAT_EQ(r.car.brake, 0.6f);
  EXPECT_FLOAT_EQ(r.driver.m_spareBrake, 0.6f);
}

TEST(AIDriverTest, SteeringRateStaysForwardWhenTheSpeedFactorDrivesItsDivisorBelowZero) {
  Rig r;
  r.driver.m_params.steerSpeedFactor = 3.0f;  // 1 + v (1 - 3) < 0 above v = 0.5
  r.car.steer = 0.0f;
  r.driver.SmoothSteering(1.0f, 0.01f, 30.0f);
  EXPECT_GT(r.car.steer, 0.0f);
  EXPECT_LE(r.car.steer, r.driver.m_params.steerIn / AI_STEER_DIVISOR_MIN * 0.01f + 1e-6f);
  r.driver.m_params.steerSpeedFactor = 1.5f;  // divisor exactly 0 at v = 2
  r.car.steer = 0.0f;
  r.driver.SmoothSteering(-1.0f, 0.01f, 2.0f);
  EXPECT_TRUE(std::isfinite(r.car.steer));
  EXPECT_LT(r.car.steer, 0.0f);
  EXPECT_GE(r.car.steer, -1.0f);
}

TEST(AIDriverTest, DecisionsRunOnEveryTenthPhysicsStep) {
  Rig r;
  r.course.time = 10.0f;
  r.Drive(10.0f);
  r.car.Face(0.0f, 1.0f, 10.0f);  // facing across the line: the planner steers right
  for (int i = 0; i < 9; ++i) r.driver.OnPhysicsStep(0.01f);
  EXPECT_EQ(r.driver.m_steerTarget, 0.0f);
  r.driver.OnPhysicsStep(0.01f);
  EXPECT_GT(r.driver.m_steerTarget, 0.5f);
  EXPECT_EQ(r.driver.m_stepCounter, 0);
}

// ---- planner --------------------------------------------------------------------------------

TEST(AIDriverTest, StandingCarLooksThreeTimesTheBaseAhead) {
  Rig r;
  r.course.time = 10.0f;
  r.driver.m_state = AISTATE_DRIVING;
  r.driver.GetLookAheadPoint(10.0f);
  EXPECT_EQ(r.driver.m_onLine, 1);
  EXPECT_NEAR(r.driver.m_lookAhead.x - 50.0f, 3.0f * r.driver.m_k0, 1e-4f);
  r.car.speed = 1.0f;  // both formulas meet at v = 1
  r.driver.GetLookAheadPoint(10.0f);
  EXPECT_NEAR(r.driver.m_lookAhead.x - 50.0f, r.driver.m_k0 + r.driver.m_k1, 1e-4f);
}

TEST(AIDriverTest, SpeedLimitComesFromTheShortestSegmentAhead) {
  // Segments of 10 m except a 2 m one 30 m ahead: within the scan the limit drops.
  std::vector<VQVector2> pts;
  for (float x : {0.f, 10.f, 20.f, 30.f, 40.f, 42.f, 52.f, 62.f, 72.f, 82.f, 92.f})
    pts.push_back({x, 0});
  pts.push_back({92, 50});
  pts.push_back({0, 50});
  pts.push_back({0, 0});
  Rig r(5.0f);
  r.course.lines[0].Build(pts);
  r.driver.PrepareStart(false);
  r.course.time = 10.0f;
  r.Drive(20.0f);
  r.driver.PlanComputerControls(0, 0.01f, 10.0f);
  const AIParameters& a = r.driver.m_params;
  EXPECT_FLOAT_EQ(r.driver.m_shortestAhead, 2.0f);
  EXPECT_FLOAT_EQ(r.driver.m_speedLimit, 2.0f * a.speedPerLength + a.speedOffset);
  // At a low speed the scan ends before the short segment.
  r.driver.m_params.scanBase = 5.0f;
  r.driver.m_params.scanPerSpeed = 0.0f;
  r.driver.PlanComputerControls(0, 0.01f, 10.0f);
  EXPECT_FLOAT_EQ(r.driver.m_shortestAhead, 10.0f);
}

TEST(AIDriverTest, FirstSecondsAreFullThrottleWhenBelowTheLimit) {
  Rig r;
  r.Drive(3.0f);
  r.course.time = 2.0f;
  r.driver.PlanComputerControls(0, 0.01f, 2.0f);
  EXPECT_EQ(r.car.throttle, 1.0f);
  EXPECT_EQ(r.car.brake, 0.0f);
  r.course.time = 8.0f;
  r.car.throttle = 0.0f;
  r.driver.PlanComputerControls(0, 0.01f, 8.0f);
  EXPECT_LT(r.car.throttle, 1.0f);  // smoothed from here on
  EXPECT_GT(r.car.throttle, 0.0f);
}

TEST(AIDriverTest, FinishedCarRollsInNeutralSteeringAlongItsLine) {
  Rig r(50.0f, 1.0f);  // left of the line (counter-clockwise side)
  r.Drive(10.0f);
  r.driver.m_state = AISTATE_FINISHED;
  r.car.throttle = 0.5f;
  r.course.time = 30.0f;
  r.driver.PlanComputerControls(0, 0.5f, 30.0f);
  EXPECT_EQ(r.car.throttle, 0.0f);
  EXPECT_EQ(r.car.brake, 0.0f);
  EXPECT_EQ(r.car.gear, 1);
  EXPECT_GT(r.car.steer, 0.0f);  // back toward the line: to the right
}

// Two-car traffic: this car at x = 50 on the line, the other placed relative to it.
struct TwoCars {
  Rig r;
  StubVehicle otherCar;
  AIDriver other;
  TwoCars(float ahead, float side, float otherSpeed, float mySpeed) {
    otherCar.pos = VQVector(50.0f + ahead, side, 0.0f);
    otherCar.Face(1.0f, 0.0f, 0.0f);
    other.Setup(AIDRIVER_COMPUTER, AIParameters());
    other.Attach(&otherCar, &r.course);
    other.PrepareStart(false);
    r.course.drivers.push_back(&other);
    r.course.time = 20.0f;
    r.Drive(mySpeed);
    other.m_state = AISTATE_DRIVING;
    otherCar.Face(1.0f, 0.0f, otherSpeed);
    r.driver.GetLookAheadPoint(20.0f);
    other.GetLookAheadPoint(20.0f);
  }
};

TEST(AIDriverTest, PassesASlowerCarAheadOnTheSideItsBendFlagPicksOnlyOnACheckDecision) {
  // Slower car 3.0 ahead and 0.1 to the clockwise side (y = -0.1): |g| <= 0.4 and |ahead| >= 1.2,
  // so the bend flag of the search segment picks the side (clear on a straight: clockwise).
  TwoCars t(3.0f, -0.1f, 2.0f, 5.0f);
  AIDriver& d = t.r.driver;
  const uint32_t seg = d.m_searchSegment;
  ASSERT_FALSE(t.r.course.lines[0].Bend(seg));
  d.m_checkCounter = 0;
  d.m_checkInterval = 10;
  d.PlanComputerControls(0, 0.01f, 20.0f);
  EXPECT_EQ(d.m_avoiding, 0);  // not a check decision: nothing applied
  d.m_checkCounter = 9;
  d.PlanComputerControls(0, 0.01f, 20.0f);
  EXPECT_EQ(d.m_avoiding, 1);
  // g = (0.1 ... clockwise) within 0.4 and |ahead| >= 1.2: the bend flag decides; it is clear
  // here, so the car goes to the clockwise side: target = lateral + g + 1.2 w.
  const float w = 1.0f * (1.0f - 0.25f / d.m_shortestAhead);
  const float g = (t.other.m_lateral - d.m_lateral);
  EXPECT_NEAR(d.m_laneTarget, d.m_lateral + g + 1.2f * w, 1e-3f);
}

TEST(AIDriverTest, GivesWayToAFasterCarAlongsideAtEveryDecision) {
  TwoCars t(0.5f, -0.3f, 12.0f, 5.0f);  // faster car level, 0.3 to the clockwise side
  AIDriver& d = t.r.driver;
  d.m_checkCounter = 0;
  d.PlanComputerControls(0, 0.01f, 20.0f);
  EXPECT_EQ(d.m_avoiding, 1);
  // g >= 0 (it is on the clockwise side): the target lies 0.8 to the counter-clockwise side of it.
  EXPECT_NEAR(d.m_laneTarget, t.other.m_lateral - 0.8f, 0.05f);
}

TEST(AIDriverTest, FollowsASlowerCarCloserThanTheGapAtSpeedOne) {
  TwoCars t(1.0f, 0.0f, 4.0f, 6.0f);
  AIDriver& d = t.r.driver;
  d.PlanComputerControls(0, 0.01f, 20.0f);
  EXPECT_FLOAT_EQ(d.m_speedLimit, 1.0f);
  EXPECT_EQ(d.m_avoiding, 0);
}

TEST(AIDriverTest, OtherCarsSegmentIsClampedToThisCarsLine) {
  // The other car follows a second line with many more points; its segment index is beyond the
  // end of this car's line and must not be read past it.
  TwoCars t(3.0f, 0.0f, 2.0f, 5.0f);
  t.r.course.lines[0] = StraightLoop(400.0f, 40.0f);
  t.r.driver.PrepareStart(false);
  t.r.Drive(5.0f);
  t.r.driver.GetLookAheadPoint(20.0f);
  std::vector<VQVector2> fine;
  for (float x = 0.0f; x < 400.0f; x += 1.0f) fine.push_back({x, 0.0f});
  fine.push_back({400, 100});
  fine.push_back({0, 100});
  fine.push_back({0, 0});
  AIPath dense;
  ASSERT_TRUE(dense.Build(fine));
  t.r.course.lines.push_back(dense);
  t.other.m_line = 1;
  t.other.m_searchSegment = 53;
  t.other.GetLookAheadPoint(20.0f);
  ASSERT_GT(t.other.m_refSegment, t.r.course.lines[0].Count());
  t.r.driver.m_checkCounter = 9;
  t.r.driver.PlanComputerControls(0, 0.01f, 20.0f);
  EXPECT_TRUE(std::isfinite(t.r.driver.m_laneTarget));
  EXPECT_LT(std::fabs(t.r.driver.m_laneTarget), 3.0f);
}

TEST(AIDriverTest, ReversingCarOnTheLastLineMovesToAnotherLine) {
  Rig r;
  r.course.lines.push_back(StraightLoop(400.0f, 5.0f));
  r.driver.m_line = 1;
  r.driver.m_state = AISTATE_DRIVING;
  r.driver.m_manoeuvre = AIMAN_REVERSING;
  r.driver.m_phase = 2;
  r.driver.m_laSegment = 70;  // valid on line 1 only
  r.driver.PlanComputerControls(0, 0.01f, 10.0f);
  EXPECT_EQ(r.driver.m_manoeuvre, AIMAN_NONE);
  EXPECT_EQ(r.driver.m_line, 0u);
  EXPECT_EQ(r.car.gear, 2);
  EXPECT_LT(r.driver.m_laSegment, r.course.lines[0].Count());
}

TEST(AIDriverTest, BlockedCarBrakesThenReversesThenIsRescuedAfterTheTimeLimit) {
  Rig r;
  r.Drive(0.0f);
  r.driver.m_stuckTime = 0.0f;
  r.driver.m_stuckPos = VQVector2(50.0f, 0.0f);
  r.course.time = 10.0f;
  r.car.rpm = 2000.0f;
  r.driver.PlanComputerControls(0, 0.01f, 10.0f);
  EXPECT_EQ(r.driver.m_manoeuvre, AIMAN_NONE);
  EXPECT_EQ(r.driver.m_brakeTarget, 1.0f);
  r.car.rpm = 400.0f;
  r.driver.PlanComputerControls(0, 0.01f, 10.0f);
  EXPECT_EQ(r.driver.m_manoeuvre, AIMAN_REVERSING);
  EXPECT_EQ(r.car.gear, 0);
  r.course.time = 10.0f + r.driver.m_params.reverseTimeLimit + 0.1f;
  r.driver.PlanComputerControls(0, 0.01f, r.course.time);
  EXPECT_TRUE(r.driver.Rescuing());
}

// ---- stuck and rescue -----------------------------------------------------------------------

TEST(AIDriverTest, CarStandingLongerThanItsStuckTimeIsRescuedOnce) {
  Rig r;
  r.Drive(0.0f);
  r.driver.m_lastMoving = 0.0f;
  r.course.time = r.driver.m_params.stuckTime + 0.5f;
  r.driver.DriveComputer(0.1f, 0.01f);
  EXPECT_TRUE(r.driver.Rescuing());
  EXPECT_EQ(r.driver.m_rescueCount, 1);
  EXPECT_EQ(r.driver.m_lastMoving, r.course.time);
  r.driver.DriveComputer(0.1f, 0.01f);
  EXPECT_EQ(r.driver.m_rescueCount, 1);
}

// Runs a started rescue to its end with frames of 0.05 s.
void FinishRescue(Rig& r) {
  for (int i = 0; i < 40 && r.driver.Rescuing(); ++i) r.driver.UpdateFrame(0.05f);
}

TEST(AIDriverTest, UpsideDownCarIsPutBackUprightBesideTheLine) {
  Rig r(120.0f, 0.0f);
  r.course.borders.Add(AIBORDER_SL, {{0, 3}, {400, 3}});
  r.course.borders.Add(AIBORDER_SR, {{0, -3}, {400, -3}});
  r.Drive(0.0f);
  r.driver.GetLookAheadPoint(0.0f);
  r.course.time = 30.0f;
  r.driver.m_lastMoving = 30.0f;
  r.car.up = VQVector(0, 0, -1);
  r.driver.DriveComputer(0.1f, 0.01f);
  ASSERT_TRUE(r.driver.Rescuing());
  EXPECT_FALSE(r.car.collisions);
  FinishRescue(r);
  EXPECT_FALSE(r.driver.Rescuing());
  EXPECT_TRUE(r.car.collisions);
  EXPECT_EQ(r.car.placements, 1);
  EXPECT_GT(r.car.up.z, 0.99f);
  // 1.5 behind the line point, on the roomier side but 0.7 inside the border.
  EXPECT_NEAR(r.car.pos.x, 118.5f, 0.6f);
  EXPECT_NEAR(std::fabs(r.car.pos.y), 3.0f - 0.7f, 1e-3f);
  EXPECT_NEAR(r.car.heading, -1.5707964f, 1e-5f);  // facing +x
}

TEST(AIDriverTest, CarOffTheTrackForTooLongStopsAndIsRescuedOntoTheLine) {
  Rig r(100.0f, -40.0f);  // far outside: the look-ahead circle misses the line
  r.Drive(6.0f);
  r.course.time = 20.0f;
  r.driver.m_lastMoving = 20.0f;
  r.driver.m_lastOnLine = 20.0f - AI_OFF_LINE_PERIOD - 0.1f;
  r.driver.DriveComputer(0.1f, 0.01f);
  EXPECT_EQ(r.driver.m_manoeuvre, AIMAN_STOPPING);
  r.car.speed = 0.2f;
  r.driver.DriveComputer(0.1f, 0.01f);
  ASSERT_TRUE(r.driver.Rescuing());
  FinishRescue(r);
  EXPECT_EQ(r.driver.m_manoeuvre, AIMAN_NONE);
  EXPECT_LT(std::fabs(r.car.pos.y), 5.0f);  // back beside the line
}

TEST(AIDriverTest, RescueWithoutDriverLinesSetsTheCarUprightWhereItStands) {
  Rig r(30.0f, 7.0f);
  r.course.lines.clear();
  r.course.ground = 2.5f;
  r.car.fwd = VQVector(1.0f, 0.0f, 0.0f);  // facing +x, lying on its roof
  r.car.up = VQVector(0, 0, -1);
  r.driver.Rescue(0.0f);
  FinishRescue(r);
  EXPECT_EQ(r.car.placements, 1);
  EXPECT_FLOAT_EQ(r.car.pos.x, 30.0f);
  EXPECT_FLOAT_EQ(r.car.pos.y, 7.0f);
  EXPECT_FLOAT_EQ(r.car.pos.z, 2.5f);
  EXPECT_NEAR(r.car.heading, -1.5707964f, 1e-5f);
}

TEST(AIDriverTest, RescueOntoTheFirstLineClampsASegmentTakenOnAnotherLine) {
  Rig r(50.0f, 0.0f);
  std::vector<VQVector2> fine;
  for (float x = 0.0f; x < 400.0f; x += 1.0f) fine.push_back({x, 0.0f});
  fine.push_back({400, 100});
  fine.push_back({0, 100});
  fine.push_back({0, 0});
  AIPath dense;
  ASSERT_TRUE(dense.Build(fine));
  r.course.lines.push_back(dense);
  r.driver.m_line = 1;
  r.car.pos = VQVector(390.0f, 0.0f, 0.0f);
  r.driver.m_searchSegment = 385;
  r.Drive(0.0f);
  r.driver.GetLookAheadPoint(0.0f);
  ASSERT_GT(r.driver.m_refSegment, r.course.lines[0].Count());
  r.driver.Rescue(0.0f);
  FinishRescue(r);
  EXPECT_LT(r.driver.m_placeSegment, r.course.lines[0].Count());
  EXPECT_TRUE(std::isfinite(r.car.pos.x) && std::isfinite(r.car.pos.y));
  EXPECT_LT(std::fabs(r.car.pos.y), 10.0f);  // on the first line, not at a wild index
}

TEST(AIDriverTest, BeforeTheFirstLapTheRescuePlacesTheCarBeforeTheLineEnd) {
  Rig r(50.0f, 0.0f);
  r.course.laps = 0;
  r.Drive(0.0f);
  r.driver.Rescue(0.0f);
  FinishRescue(r);
  const AIPath& line = r.course.lines[0];
  const float along = line.DistanceAt(r.driver.m_placeSegment, r.driver.m_placeFraction);
  EXPECT_NEAR(along, line.TotalLength() - AI_RESCUE_BEFORE_END, 1e-2f);
}

TEST(AIDriverTest, WaitingCarStaysInNeutralUntilTheGreenLight) {
  struct NotStarted : StubCourse {
    bool running = false;
    bool RaceRunning() const override { return running; }
  };
  NotStarted course;
  course.lines.push_back(StraightLoop(400.0f, 10.0f));
  StubVehicle car;
  car.pos = VQVector(50, 0, 0);
  car.Face(1, 0, 0);
  AIDriver d;
  AIParameters p;
  p.startDelay = 0.0f;
  d.Setup(AIDRIVER_COMPUTER, p);
  d.Attach(&car, &course);
  d.PrepareStart(false);
  d.DriveComputer(0.1f, 0.01f);
  EXPECT_EQ(d.m_state, AISTATE_WAITING);
  course.running = true;
  d.DriveComputer(0.1f, 0.01f);
  EXPECT_EQ(d.m_state, AISTATE_DRIVING);
  EXPECT_EQ(car.gear, 2);
  EXPECT_EQ(car.clutch, 1.0f);
}

}  // namespace
