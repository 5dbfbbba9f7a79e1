// tolvu-sim drives CAR_2 at the game's 0.005 s step.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/tolvu-sim/sim.h"

namespace {

TEST(Car2TolvuSim, DrivesCar2AtFiveMilliseconds) {
    tolvusim::ground() = tolvusim::Ground{};
    tolvu_SetEarthDataFunction(tolvusim::groundQuery);
    tolvusim::Sim sim;
    ASSERT_TRUE(sim.init(2)) << sim.error;
    EXPECT_EQ(sim.dt, 0.005);
    EXPECT_EQ(sim.ns, 47);
    EXPECT_EQ(sim.ni, 16);
    sim.setInput(sim.inputIndex("gear"), 1.0);
    sim.setInput(sim.inputIndex("clutch"), 1.0);
    sim.setInput(sim.inputIndex("throttle"), 1.0);
    for (int i = 0; i < 800; ++i) ASSERT_TRUE(sim.step()) << sim.error;
    EXPECT_NEAR(sim.time, 4.0, 1e-9);
    EXPECT_GT(sim.get("VL100(1)"), 2.0);
    EXPECT_GT(sim.get("RPM1600"), 500.0);
    // Four wheels per evaluation of the equations: the first call, then two per step.
    EXPECT_EQ(tolvusim::ground().queries, 4 + 4 * 2 * 800);
    tolvu_SetEarthDataFunction(nullptr);
}

// --shift: one gear at a time, the next only after the engine speed has followed the new gear.
TEST(Car2TolvuSim, ShiftWaitsForTheEngineToFollowTheNewGear) {
    tolvusim::Shifter shifter;
    shifter.rpm = 6000.0;
    shifter.topGear = 5.0;
    double gear = 1.0;
    struct Row {
        double time, rpm, gear;
    } rows[] = {
        {0.00, 6100.0, 2.0},  // above the shift speed: one up
        {0.01, 6100.0, 2.0},  // still above, the engine has not followed yet: no second shift
        {0.50, 6200.0, 2.0},
        {0.60, 4500.0, 2.0},  // followed the new gear
        {0.70, 6050.0, 3.0},  // above again: the next gear
        {1.69, 6300.0, 3.0},
        {1.70, 6300.0, 4.0},  // never fell below: a second later it shifts anyway
        {1.80, 3000.0, 4.0},
        {1.90, 6500.0, 5.0},
        {2.00, 5000.0, 5.0},
        {2.10, 7000.0, 5.0},  // top gear
    };
    for (const Row& r : rows) {
        shifter.update(r.time, r.rpm, gear);
        EXPECT_EQ(gear, r.gear) << "at " << r.time;
    }
}

TEST(Car2TolvuSim, FullThrottleWithShiftsKeepsTheEngineInItsBand) {
    tolvusim::ground() = tolvusim::Ground{};
    tolvu_SetEarthDataFunction(tolvusim::groundQuery);
    tolvusim::Sim sim;
    ASSERT_TRUE(sim.init(2)) << sim.error;
    const int gearInput = sim.inputIndex("gear");
    sim.setInput(gearInput, 1.0);
    sim.setInput(sim.inputIndex("clutch"), 1.0);
    sim.setInput(sim.inputIndex("throttle"), 1.0);
    tolvusim::Shifter shifter;
    shifter.rpm = 6000.0;
    std::vector<double> shiftTimes;
    while (sim.time < 25.0) {
        if (shifter.update(sim.time, sim.get("RPM1600"), sim.inputs()[gearInput])) shiftTimes.push_back(sim.time);
        ASSERT_TRUE(sim.step()) << sim.error;
    }
    ASSERT_GE(shiftTimes.size(), 2u);
    for (size_t k = 1; k < shiftTimes.size(); ++k) EXPECT_GT(shiftTimes[k] - shiftTimes[k - 1], 0.5) << k;
    // Once under way the engine never drops far below the shift speed.
    EXPECT_GT(sim.get("RPM1600"), 3000.0);
    EXPECT_GT(sim.get("VL100(1)"), 94.0 / 3.6);
    tolvu_SetEarthDataFunction(nullptr);
}

}  // namespace
