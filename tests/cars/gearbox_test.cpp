// The automatic gearbox's decisions, frame by frame.
#include <gtest/gtest.h>

#include "QVX/race/Car.h"

namespace {

CarGearboxInput In(int32_t gear, float throttle, float brake, float rpm, float speed,
                   float now = 10.0f, float lastShift = 0.0f, float interval = 0.1f) {
  return CarGearboxInput{gear, 5, throttle, brake, rpm, speed, now, lastShift, interval};
}

struct Case {
  const char* what;
  CarGearboxInput in;
  int32_t gear;
  float clutch;
  bool cut;
  float interval;
};

TEST(CarGearbox, Decisions) {
  const Case cases[] = {
      {"neutral, engine above 1000: first gear, clutch open, long block", In(1, 1, 0, 1001, 0), 2,
       0.0f, false, 0.3f},
      {"neutral, idle: stays", In(1, 0, 0, 1000, 0), 1, 0.0f, false, 0.1f},
      {"neutral, standing, braking: reverse", In(1, 0.09f, 0.51f, 800, 0.99f), 0, 0.0f, false,
       0.1f},
      {"neutral, rolling: no reverse", In(1, 0, 1, 800, 1.0f), 1, 0.0f, false, 0.1f},
      {"neutral, throttle: no reverse", In(1, 0.1f, 1, 800, 0), 1, 0.0f, false, 0.1f},
      {"reverse, standing, braking: neutral", In(0, 0, 0.6f, 800, -0.49f), 1, 1.0f, false, 0.1f},
      {"reverse, rolling back: stays", In(0, 0, 0.6f, 800, -0.5f), 0, 1.0f, false, 0.1f},
      {"first, 9001 rpm: second, throttle cut", In(2, 1, 0, 9001, 20), 3, 0.0f, true, 0.1f},
      {"first, 9000 rpm: stays", In(2, 1, 0, 9000, 20), 2, 1.0f, false, 0.1f},
      {"top gear, 9500 rpm: stays", In(6, 1, 0, 9500, 60), 6, 1.0f, false, 0.1f},
      {"third, slow, off throttle: down", In(4, 0.49f, 0, 1499, 5), 3, 1.0f, false, 0.1f},
      {"third, slow, on throttle: stays", In(4, 0.5f, 0, 1499, 5), 4, 1.0f, false, 0.1f},
      {"first, slow, off throttle: stays (not below first)", In(2, 0, 0, 1499, 5), 2, 1.0f, false,
       0.1f},
      {"first, engine stalled: neutral", In(2, 1, 0, 39, 0), 1, 1.0f, false, 0.1f},
      {"within the block: nothing, clutch half closed, throttle cut",
       In(4, 1, 0, 9500, 30, 10.05f, 10.0f, 0.1f), 4, 0.5f, true, 0.1f},
      {"within the block in first gear: throttle stays", In(2, 1, 0, 9500, 3, 10.15f, 10.0f, 0.3f),
       2, 0.5f, false, 0.3f},
      {"block over: shifts again", In(3, 1, 0, 9500, 30, 10.1f, 10.0f, 0.1f), 4, 0.0f, true, 0.1f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CarGearboxOutput out = CarGearbox_Decide(c.in);
    EXPECT_EQ(out.gear, c.gear);
    EXPECT_EQ(out.shifted, c.gear != c.in.gear);
    EXPECT_NEAR(out.clutch, c.clutch, 1e-5f);
    EXPECT_EQ(out.throttleCut, c.cut);
    EXPECT_NEAR(out.interval, c.interval, 1e-6f);
  }
}

TEST(CarGearbox, ClutchRisesLinearlyOverTheBlock) {
  for (float elapsed : {0.0f, 0.075f, 0.15f, 0.225f, 0.299f}) {
    const CarGearboxOutput out =
        CarGearbox_Decide(In(2, 1, 0, 9500, 10, 5.0f + elapsed, 5.0f, 0.3f));
    EXPECT_EQ(out.gear, 2) << "no shift within 0.3 s after leaving neutral";
    EXPECT_NEAR(out.clutch, elapsed / 0.3f, 1e-4f);
  }
}

}  // namespace
