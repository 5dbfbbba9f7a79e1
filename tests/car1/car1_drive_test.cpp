// CAR_1 driven through the exported functions with the simulator's two-phase integration, as the
// program drives it: settling, acceleration to top speed, braking, steady cornering, long mixed runs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/tolvu-sim/sim.h"

namespace {

constexpr int kSteer = 0, kThrottle = 1, kBrake = 2, kClutch = 3, kGear = 4;

struct Car1Drive : ::testing::Test {
  tolvusim::Sim sim;
  void SetUp() override {
    tolvusim::ground() = tolvusim::Ground{};
    ASSERT_TRUE(sim.init(1)) << sim.error;
  }
  double v(const char* name) const { return sim.get(name); }
  double weight() const { return v("M_TOTAL") * v("CGRAV(3)"); }
  double wheelLoadSum() const { return v("FZA2100") + v("FZA2200") + v("FZA2300") + v("FZA2400"); }
  double horizontalSpeed() const { return std::hypot(v("VG100(1)"), v("VG100(2)")); }
  // Runs for the given time; false (with a test failure) when the integration breaks down.
  bool run(double seconds) {
    const long n = std::lround(seconds / sim.dt);
    for (long k = 0; k < n; ++k)
      if (!sim.step()) {
        ADD_FAILURE() << sim.error;
        return false;
      }
    return true;
  }
  // Starts the car rolling straight ahead at the given speed (state and its copy).
  void launch(double speed) {
    ASSERT_TRUE(sim.setState("VG100(1)", speed));
  }
};

TEST_F(Car1Drive, SettlesAtRestOnFlatGroundWithoutCreeping) {
  ASSERT_TRUE(run(2.0));  // the suspension takes up the car's weight
  double maxSpeed = 0.0;
  const double x0 = v("RG100(1)"), y0 = v("RG100(2)");
  for (int k = 0; k < 1000; ++k) {  // 10 s
    ASSERT_TRUE(sim.step()) << sim.error;
    maxSpeed = std::max(maxSpeed, horizontalSpeed());
  }
  EXPECT_LT(maxSpeed, 0.01);
  EXPECT_LT(std::hypot(v("RG100(1)") - x0, v("RG100(2)") - y0), 0.01);
  EXPECT_NEAR(wheelLoadSum(), weight(), 0.02 * weight());
  EXPECT_NEAR(v("FZ_TOTAL"), wheelLoadSum(), 1e-9);
  EXPECT_LT(std::fabs(v("VG100(3)")), 0.001);
  // Every wheel carries part of the load, the front axle less than the rear by the centre of
  // gravity's place (1.4 m ahead of the rear axle on a 2.6 m wheelbase).
  for (const char* n : {"FZA2100", "FZA2200", "FZA2300", "FZA2400"}) EXPECT_GT(v(n), 0.15 * weight()) << n;
}

TEST_F(Car1Drive, FullThrottleShiftsThroughTheGearsToATopSpeedWhereDriveMeetsDrag) {
  sim.setInput(kClutch, 1.0);
  sim.setInput(kThrottle, 1.0);
  int gear = 1;
  sim.setInput(kGear, gear);
  double lastSpeed = 0.0;
  std::vector<double> shiftSpeeds;
  for (int k = 0; k < 12000; ++k) {  // 120 s
    ASSERT_TRUE(sim.step()) << sim.error;
    // Shift up at the rated engine speed, into third gear at most: fourth and fifth are too long
    // for the default engine to pull against the drag at that speed.
    if (gear < 3 && v("RPM1600") > v("ENG_RP_MX")) {
      shiftSpeeds.push_back(v("SPEED"));
      sim.setInput(kGear, ++gear);
    }
    if (k % 1000 == 0) {
      EXPECT_GE(v("SPEED"), lastSpeed - 1e-6) << "speed fell at t=" << sim.time;
      lastSpeed = v("SPEED");
    }
  }
  ASSERT_EQ(shiftSpeeds.size(), 2u);
  EXPECT_LT(shiftSpeeds[0], shiftSpeeds[1]);
  const double top = v("SPEED");
  EXPECT_GT(top, shiftSpeeds[1]);
  ASSERT_TRUE(run(5.0));
  EXPECT_NEAR(v("SPEED"), top, 0.05) << "not yet steady";
  EXPECT_NEAR(v("AG100(1)"), 0.0, 0.02);
  // Drive force balances air drag plus rolling resistance at top speed.
  const double rolling = 0.01 * wheelLoadSum();
  EXPECT_NEAR(v("F_DRIVE_F") + v("F_DRIVE_R"), -v("F_WIND") + rolling, 0.02 * -v("F_WIND"));
  EXPECT_GT(-v("F_WIND"), 1000.0);
}

TEST_F(Car1Drive, FullBrakeFromTwentyMetresPerSecondStopsAndHolds) {
  ASSERT_TRUE(run(1.0));
  launch(20.0);
  sim.setInput(kBrake, 1.0);
  double stopTime = -1.0;
  for (int k = 0; k < 1000 && stopTime < 0; ++k) {
    ASSERT_TRUE(sim.step()) << sim.error;
    if (v("SPEED") <= 0.0) stopTime = sim.time;
  }
  ASSERT_GT(stopTime, 0.0) << "did not stop within 10 s";
  ASSERT_TRUE(run(5.0));
  double maxSpeed = 0.0;
  for (int k = 0; k < 500; ++k) {
    ASSERT_TRUE(sim.step()) << sim.error;
    maxSpeed = std::max(maxSpeed, horizontalSpeed());
  }
  EXPECT_LT(maxSpeed, 0.05);
  // The brake acts at its full force while the car slides.
  EXPECT_GT(v("BRAKE_FRC"), 0.0);
  EXPECT_LE(std::fabs(v("FRB2950")), v("BRAKE_FRC") + 1e-9);
}

TEST_F(Car1Drive, BrakeForceReachesItsLimitOnceTheElementIsDeflected) {
  ASSERT_TRUE(run(1.0));
  launch(15.0);
  sim.setInput(kBrake, 1.0);
  ASSERT_TRUE(run(0.5));
  ASSERT_GT(v("SPEED"), 1.0);
  EXPECT_NEAR(v("FRB2950"), -v("BRAKE_FRC"), 1e-6 * v("BRAKE_FRC"));
  EXPECT_NEAR(v("EBR2950"), v("EBM2950"), 0.01 * v("EBM2950"));
}

TEST_F(Car1Drive, CoastingInNeutralLosesSpeedOnlyToDragAndRollingResistance) {
  ASSERT_TRUE(run(1.0));
  launch(25.0);
  ASSERT_TRUE(run(2.0));
  const double speed = v("SPEED");
  ASSERT_GT(speed, 20.0);
  const double m = v("M_TOTAL");
  const double rolling = 0.01 * wheelLoadSum();  // the flat ground's rolling coefficient
  EXPECT_NEAR(v("AG100(1)"), (v("F_WIND") - rolling) / m, 0.01 * std::fabs(v("F_WIND") / m));
  EXPECT_NEAR(v("F_WIND"), -v("FCT_SHAPE") * speed * speed, 1e-9 * speed * speed);
  EXPECT_LT(std::fabs(v("VG100(2)")), 1e-6);
}

// A field of cars of different sizes stepped in turn: each drives exactly as it does alone.
TEST(Car1Field, CarsOfDifferentSizesDriveAsTheyDoAlone) {
  tolvusim::ground() = tolvusim::Ground{};
  auto makeCar = [](tolvusim::Sim& sim, double wheelRadius, double mass) {
    ASSERT_TRUE(sim.init(1)) << sim.error;
    *sim.var("R_WHEEL") = wheelRadius;
    *sim.var("M_CAR") = mass;
    tolvu_CallModel(1, 1, 0, 0.0, sim.store.data(), sim.len);  // set up again from the new sizes
    sim.setInput(kClutch, 1.0);
    sim.setInput(kGear, 1.0);
    sim.setInput(kThrottle, 1.0);
    sim.setInput(kSteer, 1.0);
  };
  // The small car on its own first, then again in a field where a larger car is set up after it.
  tolvusim::Sim alone;
  makeCar(alone, 0.3, 800.0);
  for (int k = 0; k < 300; ++k) ASSERT_TRUE(alone.step());
  tolvusim::Sim small, large;
  makeCar(small, 0.3, 800.0);
  makeCar(large, 0.5, 1500.0);
  for (int k = 0; k < 300; ++k) {
    ASSERT_TRUE(large.step());
    ASSERT_TRUE(small.step());
  }
  EXPECT_EQ(small.store, alone.store);
  EXPECT_GT(small.get("SPEED"), 1.0);
  EXPECT_NE(small.get("SPEED"), large.get("SPEED"));
}

struct CircleCase {
  double steer;
  double sign;
};

class Car1Circle : public Car1Drive, public ::testing::WithParamInterface<CircleCase> {};

TEST_P(Car1Circle, ConstantSteeringGivesASteadyCircle) {
  const CircleCase c = GetParam();
  ASSERT_TRUE(run(1.0));
  launch(10.0);
  sim.setInput(kClutch, 1.0);
  sim.setInput(kGear, 2);
  sim.setInput(kThrottle, 0.4);  // holds about 10.5 m/s on this circle
  sim.setInput(kSteer, c.steer);
  ASSERT_TRUE(run(30.0));
  const double yaw = v("OL100(3)");
  const double speed = v("SPEED");
  EXPECT_GT(yaw * c.sign, 0.05);
  ASSERT_TRUE(run(3.0));
  EXPECT_NEAR(v("OL100(3)"), yaw, 0.02 * std::fabs(yaw)) << "yaw rate not steady";
  EXPECT_NEAR(v("SPEED"), speed, 0.02 * speed) << "speed not steady";
  // The path is a circle: over a quarter turn the centre of gravity stays at one distance from
  // the centre of curvature.
  const double r = v("RAD_CURVE");
  const double psi = std::atan2(v("VG100(2)"), v("VG100(1)"));
  const double cx = v("RG100(1)") - c.sign * r * std::sin(psi);
  const double cy = v("RG100(2)") + c.sign * r * std::cos(psi);
  double maxDev = 0.0;
  const long quarter = std::lround(0.5 * 3.14159265 / std::fabs(yaw) / sim.dt);
  for (long k = 0; k < quarter; ++k) {
    ASSERT_TRUE(sim.step()) << sim.error;
    maxDev = std::max(maxDev, std::fabs(std::hypot(v("RG100(1)") - cx, v("RG100(2)") - cy) - r));
  }
  EXPECT_LT(maxDev, 0.05 * r);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, Car1Circle,
                         ::testing::Values(CircleCase{2.0, 1.0}, CircleCase{-2.0, -1.0}),
                         [](const ::testing::TestParamInfo<CircleCase>& i) {
                           return std::string(i.param.sign > 0 ? "Right" : "Left");
                         });

TEST_F(Car1Drive, SixtySecondsOfMixedDrivingStayFinite) {
  std::vector<tolvusim::Event> events;
  std::string err;
  const char* schedule[] = {
      "0 clutch=1 gear=1 throttle=1",  "4 gear=2",  "8 steer=3",       "10 steer=-3 gear=3",
      "14 steer=0 brake=1 throttle=0", "16 brake=0 gear=-1 throttle=0.5", "20 gear=0 park_brake=1",
      "22 park_brake=0 gear=1 throttle=1 steer=10", "30 brake=0.5 steer=-10", "34 clutch=0 throttle=1",
      "38 clutch=1", "44 gear=2 steer=1 brake=1", "50 brake=0 throttle=0.3 steer=-1",
  };
  for (const char* line : schedule) ASSERT_TRUE(tolvusim::parseScheduleLine(sim, line, events, err)) << err;
  // A gear beyond the ratio table goes straight to the model, past the tool's range check.
  events.push_back({38.0, sim.inputIndex("gear"), 9.0});
  tolvusim::sortEvents(events);
  size_t next = 0;
  for (int k = 0; k < 6000; ++k) {
    tolvusim::applyEvents(sim, events, next);
    ASSERT_TRUE(sim.step()) << sim.error;
    if (k % 50 == 0) {
      for (int i = 0; i < sim.len; ++i) ASSERT_TRUE(std::isfinite(sim.store[i])) << "element " << i + 1 << " t=" << sim.time;
    }
  }
  for (int i = 0; i < sim.len; ++i) ASSERT_TRUE(std::isfinite(sim.store[i])) << "element " << i + 1;
}

TEST_F(Car1Drive, GroundWithASlopeHoldsTheBrakedCar) {
  tolvusim::ground().slope = 0.05;
  ASSERT_TRUE(sim.init(1)) << sim.error;
  sim.setInput(kBrake, 1.0);
  ASSERT_TRUE(run(8.0));
  double maxSpeed = 0.0;
  for (int k = 0; k < 300; ++k) {
    ASSERT_TRUE(sim.step()) << sim.error;
    maxSpeed = std::max(maxSpeed, horizontalSpeed());
  }
  EXPECT_LT(maxSpeed, 0.02);
  // Without the brake the car rolls back down the slope.
  sim.setInput(kBrake, 0.0);
  ASSERT_TRUE(run(3.0));
  EXPECT_LT(v("VG100(1)"), -0.5);
}

}  // namespace
