// tolvu-sim drives CAR_2 at the game's 0.005 s step.
#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
