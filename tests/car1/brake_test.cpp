// CAR_1 held by a full brake: it stops, and then stays where the brake holds it, at the race's half
// rate (0.01 s) as at the full rate and finer, on flat ground and on a slope either way. The brake is
// an elastic element between the car and the road; left to give back the wind-up it took while the
// car slid, it threw the stopped car back at up to 2 m/s and swung it for seconds, with the engine
// turning backwards.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tools/tolvu-sim/sim.h"

namespace {

enum Input { kSteer, kThrottle, kBrake, kClutch, kGear };

struct BrakeCase {
  double dt;            // integration step, s
  double slopeDegrees;  // the road rises along +x for a positive slope
};

class FullBrake : public ::testing::TestWithParam<BrakeCase> {
 protected:
  void TearDown() override { tolvusim::ground() = tolvusim::Ground{}; }
};

TEST_P(FullBrake, StoppedCarComesToRestAndStays) {
  const BrakeCase c = GetParam();
  tolvusim::ground().slope = c.slopeDegrees * 3.14159265358979 / 180.0;
  tolvusim::Sim sim;
  ASSERT_TRUE(sim.init(1)) << sim.error;
  sim.dt = c.dt;
  sim.setInput(kClutch, 1.0);
  sim.setInput(kGear, 2.0);
  sim.setInput(kThrottle, 1.0);
  while (sim.get("VL100(1)") < 10.0) {
    ASSERT_TRUE(sim.step()) << sim.error;
    ASSERT_LT(sim.time, 30.0) << "the car never reached 10 m/s";
  }
  sim.setInput(kThrottle, 0.0);
  sim.setInput(kBrake, 1.0);

  const double braked = sim.time;
  double restAt = -1.0, restX = 0.0;
  double lowestRpm = 0.0, widest = 0.0;
  while (sim.time < braked + 4.0) {
    ASSERT_TRUE(sim.step()) << sim.error;
    const double v = sim.get("VL100(1)");
    lowestRpm = std::fmin(lowestRpm, sim.get("RPM1600"));
    if (restAt < 0.0) {
      if (std::fabs(v) < 0.01) {
        restAt = sim.time;
        restX = sim.get("RG100(1)");
      }
    } else {
      widest = std::fmax(widest, std::fabs(v));
    }
  }
  ASSERT_GE(restAt, 0.0) << "the car never came to rest";
  // About two g of braking from 10 m/s, then a short settling.
  EXPECT_LT(restAt - braked, 1.5);
  // At rest it stays at rest: no swing back, no creep down the slope.
  EXPECT_LT(widest, 0.01);
  EXPECT_LT(std::fabs(sim.get("RG100(1)") - restX), 0.01);
  // The engine, coupled to the wheels, never turns backwards (a thousandth of a revolution per
  // second is the chassis settling on its springs).
  EXPECT_GT(lowestRpm, -0.1);
}

INSTANTIATE_TEST_SUITE_P(StepsAndSlopes, FullBrake,
                         ::testing::Values(BrakeCase{0.01, 0.0}, BrakeCase{0.005, 0.0},
                                           BrakeCase{0.001, 0.0}, BrakeCase{0.01, 5.0},
                                           BrakeCase{0.01, -5.0}, BrakeCase{0.005, -10.0}),
                         [](const auto& info) {
                           const BrakeCase& c = info.param;
                           std::string slope = c.slopeDegrees == 0.0 ? "Flat"
                                               : c.slopeDegrees > 0.0
                                                   ? "Up" + std::to_string(int(c.slopeDegrees))
                                                   : "Down" + std::to_string(int(-c.slopeDegrees));
                           return "dt" + std::to_string(int(std::lround(c.dt * 1000))) + "ms" +
                                  slope;
                         });

// Light braking at speed keeps the element's own law: the car slows without the hold acting, so a
// lightly braked car rolling at 10 m/s loses speed at a steady rate well below a full brake's.
TEST(LightBrake, SlowsSteadilyAtSpeed) {
  tolvusim::Sim sim;
  ASSERT_TRUE(sim.init(1)) << sim.error;
  sim.setInput(kClutch, 1.0);
  sim.setInput(kGear, 2.0);
  sim.setInput(kThrottle, 1.0);
  while (sim.get("VL100(1)") < 10.0) ASSERT_TRUE(sim.step()) << sim.error;
  sim.setInput(kThrottle, 0.0);
  sim.setInput(kBrake, 0.1);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(sim.step()) << sim.error;
  const double v0 = sim.get("VL100(1)");
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(sim.step()) << sim.error;
  const double decel = (v0 - sim.get("VL100(1)")) / 0.5;
  EXPECT_GT(decel, 1.0);
  EXPECT_LT(decel, 6.0);
  EXPECT_NEAR(std::fabs(sim.get("FRB2950")), sim.get("BRAKE_FRC"), 1e-6 * sim.get("BRAKE_FRC"));
}

}  // namespace
