// CAR_1 evaluation through the exported functions: the evaluation driver's block moves, the
// first-call set-up, the equations' edge cases and the per-car independence of the set-up values.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <cmath>
#include <vector>

#include "model/include/tolvu.h"
#include "tools/tolvu-sim/sim.h"

namespace {

constexpr int kType = 1;
constexpr int kLen = 1963, kNV = 1799, kNS = 19;
constexpr int kStateBlock = kNV, kDerivBlock = kNV + kNS, kInputBlock = kNV + 2 * kNS;
constexpr int kOutputBlock = kInputBlock + 6;

int idx(const char* name) {
  const int k = tolvu_GetVarIndex(kType, name);
  EXPECT_GE(k, 1) << name;
  return k - 1;
}

struct Store {
  std::vector<double> s = std::vector<double>(kLen, 0.0);
  Store() { EXPECT_EQ(tolvu_InitializeModel(kType, s.data(), kLen, " "), 1); }
  double& operator[](const char* name) { return s[idx(name)]; }
  void call(int first, int mode, double time = 0.0) { tolvu_CallModel(kType, first, mode, time, s.data(), kLen); }
};

struct Car1Eval : ::testing::Test {
  void SetUp() override {
    tolvusim::ground() = tolvusim::Ground{};
    tolvu_SetEarthDataFunction(nullptr);
  }
  void TearDown() override { tolvu_SetEarthDataFunction(nullptr); }
};

TEST_F(Car1Eval, SizesMatchTheStoreLayout) {
  EXPECT_EQ(tolvu_GetModelDefinitionSize(kType), kLen);
  EXPECT_EQ(tolvu_GetNumberOfStates(kType), kNS);
  EXPECT_EQ(tolvu_GetNumberOfInertiaStates(kType), 6);
}

TEST_F(Car1Eval, FirstCallSetsUpConstantsAndSeedsTheStateAndInputBlocks) {
  Store st;
  st["INP_VARS(2)"] = 0.75;  // throttle held in the input list
  EXPECT_EQ(st["PI"], 0.0);
  st.call(1, 0, 0.5);
  EXPECT_EQ(st["PI"], 3.1415927);
  EXPECT_EQ(st["TWOPI"], 6.2831853);
  EXPECT_EQ(st["INT12"], 12.0);
  EXPECT_EQ(st.s[kStateBlock + 0], 1e-12);  // VG100(1)
  EXPECT_EQ(st.s[kStateBlock + 9], 1.0);    // EUL100(1)
  EXPECT_EQ(st.s[kStateBlock + 8], -0.8);   // RG100(3)
  EXPECT_EQ(st.s[kInputBlock + 1], 0.75);
  EXPECT_EQ(st["THROTTLE"], 0.75);
  EXPECT_EQ(st["TSTOP"], 0.5);
  EXPECT_EQ(st["TIME"], 0.0);
  // Derived geometry.
  EXPECT_DOUBLE_EQ(st["AST_MAX"], 0.2 / 0.06);
  EXPECT_DOUBLE_EQ(st["RP1200(2)"], 0.85);
  EXPECT_DOUBLE_EQ(st["RP1100(1)"], 2.6);
  EXPECT_DOUBLE_EQ(st["RP1000(1)"], -1.4);
  EXPECT_DOUBLE_EQ(st["ROT_2_LIN"], 25.0);
  EXPECT_DOUBLE_EQ(st["CBR2700"], 75000.0);
  EXPECT_DOUBLE_EQ(st["FCT_SHAPE"], 0.6125);
  EXPECT_DOUBLE_EQ(st["EZN2100"], 0.015);
  EXPECT_DOUBLE_EQ(st["REF2300"], 0.4);
  // The spline table passes through the torque table's points.
  for (int r = 1; r <= 8; ++r) {
    char a[24], b[24];
    std::snprintf(a, sizeof a, "TE_PP1600(%d,2)", r);
    std::snprintf(b, sizeof b, "ENG_TC_TB(%d,2)", r);
    EXPECT_EQ(st[a], st[b]) << r;
  }
  // The derivative block holds the derivative of RG100: VG100 exactly.
  for (int k = 0; k < 3; ++k) EXPECT_EQ(st.s[kDerivBlock + 6 + k], st.s[k]);
}

TEST_F(Car1Eval, HubAndContactFramesOfEveryWheelAreSetUp) {
  Store st;
  st.call(1, 0);
  const double stub = st["Y_STUB"];
  ASSERT_GT(stub, 0.0);
  // Hubs 2096 .. 2396 and contact frames 2099 .. 2399: one per wheel, left wheels at -Y_STUB.
  const char* hubs[4] = {"RP2096(2)", "RP2196(2)", "RP2296(2)", "RP2396(2)"};
  const char* axes[4] = {"CM2099(2,2)", "CM2199(2,2)", "CM2299(2,2)", "CM2399(2,2)"};
  const char* hubZ[4] = {"RG2096(3)", "RG2196(3)", "RG2296(3)", "RG2396(3)"};
  const char* corner[4] = {"RG1100(3)", "RG1200(3)", "RG1300(3)", "RG1400(3)"};
  for (int w = 0; w < 4; ++w) {
    EXPECT_EQ(st[hubs[w]], (w % 2 == 0 ? -stub : stub)) << w;
    EXPECT_EQ(st[axes[w]], 1.0) << w;  // the wheel axis is the contact frame's y axis
    EXPECT_DOUBLE_EQ(st[hubZ[w]], st[corner[w]]) << w;  // a level car: hub level with its corner
  }
}

TEST_F(Car1Eval, ModeTwoOnAFreshStoreTouchesNeitherTimeNorBlocks) {
  Store st;
  for (int k = kStateBlock; k < kOutputBlock; ++k) st.s[k] = 1000.0 + k;
  st.s[34] = -5.0;
  const std::vector<double> before = st.s;
  st.call(0, 2, 3.0);
  EXPECT_EQ(st.s[34], -5.0);
  for (int k = kStateBlock; k < kDerivBlock; ++k) EXPECT_EQ(st.s[k], before[k]) << k;
  for (int k = kInputBlock; k < kOutputBlock; ++k) EXPECT_EQ(st.s[k], before[k]) << k;
  // The derivative block is gathered again from the accelerations (zero: no equations have run
  // on this store, so its mass matrix is still zero).
  for (int k = 0; k < 3; ++k) EXPECT_EQ(st.s[kDerivBlock + k], st.s[idx("AG100") + k]);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(st.s[kDerivBlock + 6 + k], st.s[k]);
  // The output block is refreshed from OUT_VARS.
  for (int k = 0; k < 120; ++k) EXPECT_EQ(st.s[kOutputBlock + k], st.s[idx("OUT_VARS") + k]);
}

TEST_F(Car1Eval, ModeOneLeavesTheOutputBlockAndAccelerationsAlone) {
  Store st;
  st.call(1, 0);
  for (int k = 0; k < 120; ++k) st.s[kOutputBlock + k] = 77.0 + k;
  const double ag3 = st["AG100(3)"];
  st.s[kStateBlock + 6] = 3.0;  // move the car: RG100(1)
  st.call(0, 1, 1.0);
  for (int k = 0; k < 120; ++k) EXPECT_EQ(st.s[kOutputBlock + k], 77.0 + k);
  EXPECT_EQ(st["RG100(1)"], 3.0);
  EXPECT_EQ(st["TSTOP"], 1.0);
  EXPECT_EQ(st["AG100(3)"], ag3);
  EXPECT_EQ(st.s[kDerivBlock + 2], ag3);
}

TEST_F(Car1Eval, OutputBlockHoldsTheBodyAndWheelPoses) {
  Store st;
  for (int k = 108; k < 120; ++k) st.s[idx("OUT_VARS") + k] = -42.0;
  st.call(1, 0);
  const double* out = &st.s[kOutputBlock];
  EXPECT_EQ(out[0], st["RG1000(1)"]);
  EXPECT_EQ(out[3], st["CM1000(1,1)"]);
  EXPECT_EQ(out[60], st["RG2101(1)"]);
  EXPECT_EQ(out[63], st["CM2100(1,1)"]);
  EXPECT_EQ(out[108], st["RG100(1)"]);
  EXPECT_EQ(out[110], st["RG100(3)"]);
  for (int k = 111; k < 120; ++k) EXPECT_EQ(out[k], -42.0) << k;
}

// Records the ground queries of one evaluation.
std::vector<double> g_wheels;
void recordingGround(double* out, const double* point, const double* aux, double wheel) {
  g_wheels.push_back(wheel);
  tolvusim::groundQuery(out, point, aux, wheel);
}

TEST_F(Car1Eval, GroundIsAskedOncePerWheelInTheOrderRearThenFront) {
  Store st;
  tolvu_SetEarthDataFunction(&recordingGround);
  g_wheels.clear();
  st.call(1, 0);
  EXPECT_EQ(g_wheels, (std::vector<double>{3.0, 4.0, 1.0, 2.0}));
  g_wheels.clear();
  st.call(0, 1);
  EXPECT_EQ(g_wheels.size(), 4u);
  g_wheels.clear();
  st.call(0, 2);
  EXPECT_TRUE(g_wheels.empty());
}

TEST_F(Car1Eval, WithoutAGroundFunctionTheGroundIsFlat) {
  Store st;
  st.call(1, 0);
  const double* pr = &st.s[idx("PR_CR2300")];
  EXPECT_EQ(pr[2], 0.0);
  EXPECT_EQ(pr[5], -1.0);
  EXPECT_EQ(pr[6], 1.0);
  EXPECT_EQ(pr[7], 0.01);
  EXPECT_EQ(pr[0], st["RG_CW2300(1)"]);
}

struct GearCase {
  double gear;
  double index;
  double ratio;
};

class Car1Gear : public Car1Eval, public ::testing::WithParamInterface<GearCase> {};

TEST_P(Car1Gear, SelectedGearPicksItsRatio) {
  const GearCase c = GetParam();
  Store st;
  st.call(1, 0);
  st.s[kInputBlock + 4] = c.gear;
  st.s[kStateBlock + 17] = 4.0;  // GEAR_RAT
  st.call(0, 1);
  EXPECT_EQ(st["GEAR_IND"], c.index);
  EXPECT_EQ(st["GEAR_DSC"], c.ratio);
  EXPECT_DOUBLE_EQ(st["GEAR_DLT"], (c.ratio - 4.0) * 3.0);
  EXPECT_EQ(st.s[kDerivBlock + 17], st["GEAR_DLT"]);
}

INSTANTIATE_TEST_SUITE_P(Gears, Car1Gear,
                         ::testing::Values(GearCase{0, 2, 0.0}, GearCase{-1, 1, -11.0}, GearCase{-7, 1, -11.0},
                                           GearCase{1, 3, 11.0}, GearCase{5, 7, 2.0}, GearCase{9, 7, 2.0},
                                           GearCase{NAN, 2, 0.0}),
                         [](const ::testing::TestParamInfo<GearCase>& i) {
                           if (std::isnan(i.param.gear)) return std::string("NaN");
                           const int g = static_cast<int>(i.param.gear);
                           return (g < 0 ? "Minus" : "Plus") + std::to_string(g < 0 ? -g : g);
                         });

TEST_F(Car1Eval, GearBeyondTheTableInTheDataIsKeptInsideTheRatios) {
  Store st;
  st["GEAR_MAX"] = 40.0;  // a data file that claims more gears than the table holds
  st.call(1, 0);
  st.s[kInputBlock + 4] = 30.0;
  st.call(0, 1);
  EXPECT_EQ(st["GEAR_DSC"], st["GEARS(8)"]);
}

TEST_F(Car1Eval, NeutralLetsTheRatioDecayAndTheDriveVanish) {
  tolvusim::Sim sim;
  ASSERT_TRUE(sim.init(1)) << sim.error;
  sim.setState("GEAR_RAT", 11.0);
  sim.setInput(1, 1.0);  // full throttle
  sim.setInput(3, 1.0);
  sim.setInput(4, 0.0);
  for (int k = 0; k < 500; ++k) ASSERT_TRUE(sim.step()) << sim.error;
  EXPECT_LT(std::fabs(sim.get("GEAR_RAT")), 1e-5);
  EXPECT_LT(std::fabs(sim.get("F_ENG_NUL")), 1e-3);
}

TEST_F(Car1Eval, SteeringBeyondItsLimitTurnsTheWheelsByTheLargestAngle) {
  for (double steer : {100.0, -100.0, 1e300}) {
    Store st;
    st.call(1, 0);
    st.s[kInputBlock + 0] = steer;
    st.call(0, 1);
    const double expect = steer > 0 ? 0.2 : -0.2;
    EXPECT_DOUBLE_EQ(st["ANG_WHEEL"], expect) << steer;
    EXPECT_DOUBLE_EQ(std::atan2(st["CMP1100(2,1)"], st["CMP1100(1,1)"]), expect);
    EXPECT_DOUBLE_EQ(std::atan2(st["CMP1200(2,1)"], st["CMP1200(1,1)"]), expect);
  }
}

TEST_F(Car1Eval, WithoutTyreContactOnlyGravityDragAndBrakeAct) {
  Store st;
  st.call(1, 0);
  st.s[kStateBlock + 8] = -20.0;  // RG100(3): 20 m above the road
  st.s[kStateBlock + 0] = 30.0;   // VG100(1)
  st.s[kInputBlock + 2] = 1.0;    // brake (no tyre load, so no brake force)
  st.s[kStateBlock + 18] = 0.1;   // EBR2950: a deflected brake element
  st.call(0, 0);
  for (const char* n : {"FZA2100", "FZA2200", "FZA2300", "FZA2400"}) EXPECT_EQ(st[n], 0.0) << n;
  const double m = st["M_TOTAL"];
  const double drag = st["F_WIND"];
  EXPECT_LT(drag, 0.0);
  EXPECT_NEAR(st["AG100(1)"], (drag + st["FRB2950"]) / m, 1e-9);
  EXPECT_NEAR(st["AG100(2)"], 0.0, 1e-12);
  EXPECT_NEAR(st["AG100(3)"], 9.80766, 1e-9);
  EXPECT_NEAR(st["DL100(1)"], 0.0, 1e-12);
}

TEST_F(Car1Eval, AtRestTheSlipSpeedsUseTheLeastForwardSpeed) {
  Store st;
  st.call(1, 0);
  for (const char* n : {"VXC2100", "VXC2200", "VXC2300", "VXC2400"}) EXPECT_DOUBLE_EQ(std::fabs(st[n]), 0.1) << n;
  for (const char* n : {"ALPS2100", "ALPS2200", "ALPS2300", "ALPS2400"}) EXPECT_NEAR(st[n], 0.0, 1e-9) << n;
}

TEST_F(Car1Eval, NoRotationMeansEveryBodyAcceleratesLikeTheChassis) {
  Store st;
  st.call(1, 0);
  st.s[kStateBlock + 8] = -20.0;  // in the air: no tyre loads, so no torque
  st.s[kStateBlock + 0] = 12.0;
  st.s[kInputBlock + 0] = 2.0;    // steered front corners
  st.call(0, 0);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(st.s[idx("DL100") + k], 0.0);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(st.s[idx("DM100") + k], 0.0);
  const double* al = &st.s[idx("AL100")];
  for (const char* corner : {"1100", "1200", "1300", "1400"}) {
    char n[16];
    std::snprintf(n, sizeof n, "CMP%s", corner);
    const double* cmp = &st.s[idx(n)];
    std::snprintf(n, sizeof n, "AL%s", corner);
    const double* alc = &st.s[idx(n)];
    for (int i = 0; i < 3; ++i) {
      const double expect = cmp[i * 3] * al[0] + cmp[i * 3 + 1] * al[1] + cmp[i * 3 + 2] * al[2];
      EXPECT_NEAR(alc[i], expect, 1e-12) << corner << " " << i;
    }
  }
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(st.s[idx("AL2096") + i], st.s[idx("AL1100") + i], 1e-12);
}

struct ZeroCase {
  const char* name;
};

class Car1Degenerate : public Car1Eval, public ::testing::WithParamInterface<ZeroCase> {};

// A data file may zero any parameter: the divisions it feeds are floored, so one evaluation of
// every mode still leaves every element finite.
TEST_P(Car1Degenerate, ZeroParameterLeavesEveryElementFinite) {
  Store st;
  st[GetParam().name] = 0.0;
  st.call(1, 0);
  st.s[kStateBlock + 0] = 5.0;
  st.s[kInputBlock + 0] = 1.0;
  st.s[kInputBlock + 1] = 1.0;
  st.s[kInputBlock + 2] = 0.5;
  st.s[kInputBlock + 3] = 1.0;
  st.s[kInputBlock + 4] = 1.0;
  st.call(0, 1, 0.01);
  st.call(0, 2, 0.01);
  st.call(0, 0, 0.02);
  for (int k = 0; k < kLen; ++k) ASSERT_TRUE(std::isfinite(st.s[k])) << GetParam().name << ": element " << k + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, Car1Degenerate,
    ::testing::Values(ZeroCase{"TOL"}, ZeroCase{"R_WHEEL"}, ZeroCase{"STEER_RAT"}, ZeroCase{"SPRL_FRONT"},
                      ZeroCase{"SPRL_REAR"}, ZeroCase{"CZT900"}, ZeroCase{"CZT950"}, ZeroCase{"FZN900"},
                      ZeroCase{"BRAKE_STF"}, ZeroCase{"ENG_RP_MX"}, ZeroCase{"M_CAR"}, ZeroCase{"M_AXLE"},
                      ZeroCase{"K_ROLL"}, ZeroCase{"CYS900"}, ZeroCase{"SYL950"}, ZeroCase{"EUL100(1)"},
                      ZeroCase{"ENG_TC_TB(2,1)"}, ZeroCase{"GEAR_TAU"}, ZeroCase{"VXM950"}),
    [](const ::testing::TestParamInfo<ZeroCase>& i) {
      std::string n;
      for (const char* c = i.param.name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) n += *c;
      return n;
    });

// Two cars of different sizes: each drives with its own set-up values, whichever was set up last.
TEST_F(Car1Eval, CarsOfDifferentSizesKeepTheirOwnSetUpValues) {
  auto makeCar = [](double wheelRadius, double coneTorque) {
    Store st;
    st["R_WHEEL"] = wheelRadius;
    st["ENG_TC_TB(5,2)"] = coneTorque;
    st.s[kInputBlock + 1] = 0.5;
    return st;
  };
  Store alone = makeCar(0.3, 1.0);
  alone.call(1, 0);
  alone.s[kInputBlock + 1] = 1.0;
  alone.s[kInputBlock + 3] = 1.0;
  alone.s[kInputBlock + 4] = 1.0;
  alone.s[kStateBlock + 0] = 5.0;

  Store a = makeCar(0.3, 1.0), b = makeCar(0.5, 0.5);
  a.call(1, 0);
  a.s[kInputBlock + 1] = 1.0;
  a.s[kInputBlock + 3] = 1.0;
  a.s[kInputBlock + 4] = 1.0;
  a.s[kStateBlock + 0] = 5.0;
  b.call(1, 0);  // b is set up last
  for (int k = 0; k < 5; ++k) {
    alone.call(0, 1, k);
    alone.call(0, 2, k);
    b.call(0, 1, k);
    a.call(0, 1, k);
    b.call(0, 2, k);
    a.call(0, 2, k);
  }
  EXPECT_EQ(a.s, alone.s);
  EXPECT_DOUBLE_EQ(a["EZT_HIGH"], 0.15);  // half of its own wheel radius, not of b's
  EXPECT_DOUBLE_EQ(a["OWL2300"], -a["VX2300"] / 0.3);
  EXPECT_DOUBLE_EQ(b["OWL2300"], -b["VX2300"] / 0.5);
}

}  // namespace
