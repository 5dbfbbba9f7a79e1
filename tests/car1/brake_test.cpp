// CAR_1 held by a full brake: it stops, and then stays where the brake holds it, at the race's half
// rate (0.01 s) as at the full rate and finer. The brake is an elastic element between the car and
// the road; left at its own light damping it swung the stopped car back and forth for seconds.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/tolvu-sim/sim.h"

namespace {

enum Input { kSteer, kThrottle, kBrake, kClutch, kGear };

class FullBrake : public ::testing::TestWithParam<double> {};

TEST_P(FullBrake, StoppedCarComesToRestWithoutSwinging) {
  tolvusim::Sim sim;
  ASSERT_TRUE(sim.init(1)) << sim.error;
  sim.dt = GetParam();
  sim.setInput(kClutch, 1.0);
  sim.setInput(kGear, 2.0);
  sim.setInput(kThrottle, 1.0);
  while (sim.get("VL100(1)") < 10.0) {
    ASSERT_TRUE(sim.step()) << sim.error;
    ASSERT_LT(sim.time, 30.0) << "the car never reached 10 m/s";
  }
  sim.setInput(kThrottle, 0.0);
  sim.setInput(kBrake, 1.0);

  bool stopped = false;
  int reversals = 0;
  double lowest = 0.0, last = 0.0;
  const double end = sim.time + 4.0;
  while (sim.time < end) {
    ASSERT_TRUE(sim.step()) << sim.error;
    const double v = sim.get("VL100(1)");
    if (!stopped) {
      stopped = v <= 0.0;
    } else {
      lowest = std::fmin(lowest, v);
      if ((v > 0.0) != (last > 0.0) && std::fabs(v - last) > 0.0) ++reversals;
    }
    last = v;
  }
  ASSERT_TRUE(stopped);
  // The element gives back what it held while the car slid: a slow creep, no swing.
  EXPECT_GT(lowest, -1.0);
  EXPECT_LE(reversals, 1);
  EXPECT_LT(std::fabs(last), 0.01);
  EXPECT_GT(sim.get("RPM1600"), -5.0);
}

INSTANTIATE_TEST_SUITE_P(Steps, FullBrake, ::testing::Values(0.01, 0.005, 0.001),
                         [](const auto& info) { return "dt" + std::to_string(int(std::lround(info.param * 1000))) + "ms"; });

}  // namespace
