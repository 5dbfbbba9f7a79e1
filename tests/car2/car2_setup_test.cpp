// CAR_2 first-call set-up, call driver and single-evaluation behaviour, through the exports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/car2/car2_sim.h"

using car2test::Car;
using car2test::Index;

namespace {

struct Expected {
    const char* name;
    double value;
};

TEST(Car2Setup, FirstCallDerivesStatedConstants) {
    Car car;
    car.Start();
    const Expected table[] = {
        {"Y_AXLE", 0.85},           {"CAR_LENG", 4.1},          {"AST_MAX", 3.3333333333333335},
        {"IPV1150", 43.35},         {"IPV1350", 43.35},         {"FGR_CAR", 9807.66},
        {"FZS_FRONT", 2640.5238461538}, {"EZN2100", 0.015},     {"EZM2100", 0.00075},
        {"EZN2400", 0.015},         {"OWL_INIT", -2.5e-12},     {"ENG_PW_RC", 0.5},
        {"ENG_PW_FR", 0.5},         {"IGY1500", 20.0},          {"IGI1500", 0.05},
        {"IGY1599", 1.0},           {"Z_AXLE", -0.4},           {"RP1000(1)", -1.4},
        {"RP1000(3)", 0.8},         {"RP1095(1)", 2.6},         {"RP1095(3)", -0.4},
        {"RP1295(1)", 0.0},         {"YSTB1100", -0.85},        {"YNEG1100", 0.85},
        {"YSTB1200", 0.85},         {"RP2096(2)", -0.05},       {"RP2196(2)", 0.05},
        {"RL_CW2100(3)", 0.4},      {"IWT2100", 10.0},          {"IWI2300", 0.1},
        {"REF2200", 0.4},           {"FZ_BW2100", 0.5},         {"RPF1600", 9.549296596425382},
        {"PI", 3.1415927},          {"FCT_SHAPE", 0.6125},      {"CBR2700", 3000.0},
        {"BRAKE_TMF", (2640.5238461538 + 60 * 9.80766) * 0.4 * 0.75},
        {"FZS_REAR", 9807.66 * 0.5 - 2640.5238461538},
        {"PZJ1097", 0.0001 * 25000 + 2640.5238461538},
        {"RYN2099(2)", 1.0},        {"CM2099(2,2)", 1.0},       {"STATUS", 1.0},
    };
    for (const Expected& e : table) {
        ASSERT_GT(Index(e.name), 0) << e.name;
        EXPECT_NEAR(car[e.name], e.value, 1e-9 * std::max(1.0, std::fabs(e.value))) << e.name;
    }
}

TEST(Car2Setup, TorqueCurveSplineKeepsKnotsAndCount) {
    Car car;
    car.Start();
    const int te = Index("TE_PP1600");
    const int tb = Index("ENG_TC_TB");
    ASSERT_GT(te, 0);
    ASSERT_GT(tb, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(car.At(te + i), car.At(tb + i));
        EXPECT_EQ(car.At(te + 8 + i), car.At(tb + 8 + i));
    }
    EXPECT_EQ(car.At(te + 16), 8.0);  // T(1,3): all eight knots increase
}

TEST(Car2Setup, DrivelineAndBrakeSplitsAreClamped) {
    struct Case {
        double pwRR, frn;
        double rc, fr, tmrZero;
    };
    const Case cases[] = {{1.7, 0.75, 1.0, 0.0, 0}, {-0.3, 0.75, 0.0, 1.0, 0}, {0.5, 1.5, 0.5, 0.5, 1}};
    for (const Case& c : cases) {
        Car car;
        car["ENG_PW_RR"] = c.pwRR;
        car["BRAKE_FRN"] = c.frn;
        car.Start();
        EXPECT_EQ(car["ENG_PW_RC"], c.rc);
        EXPECT_EQ(car["ENG_PW_FR"], c.fr);
        if (c.tmrZero) {
            EXPECT_EQ(car["BRAKE_TMR"], 0.0);
            EXPECT_GT(car["BRAKE_TMF"], 0.0);
        }
    }
}

TEST(Car2Setup, NeutralGearIsZeroWhateverTheDataSays) {
    Car car;
    car["GEARS(2)"] = 4.0;
    car.Start();
    EXPECT_EQ(car["GEARS(2)"], 0.0);
}

TEST(Car2Setup, FirstCallSeedsStateBlockAndInputArea) {
    Car car;
    car["INP_VARS(2)"] = 0.25;
    car["INP_VARS(5)"] = 1.0;
    car.Start();
    EXPECT_EQ(car.State()[0], 1e-12);
    EXPECT_EQ(car.State()[19], 1.0);  // EUL100(1)
    EXPECT_EQ(car.State()[16], 1.4);  // RG100(1)
    EXPECT_EQ(car.Input()[1], 0.25);
    EXPECT_EQ(car.Input()[4], 1.0);
    EXPECT_EQ(car["THROTTLE"], 0.25);
    EXPECT_EQ(car["GEAR"], 1.0);
}

TEST(Car2Setup, TimeArgumentNeverChangesTheStates) {
    Car car;
    car.Start();
    std::vector<double> before(car.State(), car.State() + car.States());
    for (int mode : {0, 1, 2}) {
        tolvu_CallModel(2, 0, mode, 123.5, car.Store(), car.Length());
        for (int i = 0; i < car.States(); ++i) {
            EXPECT_EQ(car.State()[i], before[i]) << "mode " << mode << " state " << i + 1;
            if (mode != 2 && i >= 23) {
                EXPECT_EQ(car.At(i + 1), before[i]) << "variable " << i + 1;
            }
        }
    }
    EXPECT_EQ(car["KPD2300"], before[34]);
}

TEST(Car2Setup, ModeTwoRefreshesOnlyOutputsAndInertiaDerivatives) {
    Car car;
    car.Start();
    car.SetInputs({0.5, 0.7, 0.0, 1.0, 1.0, 0.0});
    tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
    // Move the chassis in the state block only: mode 2 must not copy it in.
    car.State()[16] += 5.0;
    const double xVar = car["RG100(1)"];
    const double steerVar = car["STEER"];
    car.Input()[0] = -3.0;
    std::vector<double> out(car.Output(), car.Output() + 120);
    tolvu_CallModel(2, 0, 2, 0.0, car.Store(), car.Length());
    EXPECT_EQ(car["RG100(1)"], xVar);
    EXPECT_EQ(car["STEER"], steerVar);
    EXPECT_EQ(car["INP_VARS(1)"], 0.5);
    // The output block now holds the pose of body 1000 from the last equations.
    EXPECT_EQ(car.Output()[0], car["RG1000(1)"]);
    EXPECT_EQ(car.Output()[108], car["RG1500(1)"]);
    // Inertia-state derivatives: the chassis acceleration from the stored forces.
    EXPECT_EQ(car.Deriv()[2], car["AG100(3)"]);
    EXPECT_NEAR(car["AG100(3)"], 9.80766, 1e-3);  // nothing touches the ground yet

    // Mode 1 leaves the output block and inertia derivatives as they were.
    std::vector<double> outAfter(car.Output(), car.Output() + 120);
    const double ag = car.Deriv()[2];
    car.State()[16] += 1.0;
    tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
    for (int i = 0; i < 120; ++i) EXPECT_EQ(car.Output()[i], outAfter[i]);
    EXPECT_EQ(car.Deriv()[2], ag);
}

TEST(Car2Setup, EulerParametersAreUsedNormalised) {
    Car car;
    car.Start();
    double* q = car.State() + 19;
    q[0] = 2.0; q[1] = 0.0; q[2] = 0.0; q[3] = 0.0;
    tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
    EXPECT_EQ(car["EUL100(1)"], 1.0);
    EXPECT_EQ(q[0], 2.0);
    EXPECT_NEAR(car["DLT100"], 3.0, 1e-12);
    EXPECT_NEAR(car["CM100(1,1)"], 1.0, 1e-12);
}

TEST(Car2Setup, ZeroYawRateGivesCurveRadiusOverTol) {
    Car car;
    car.State()[0] = 0.0;
    car.Start();
    car.State()[0] = 3.0;  // 3 m/s forward, no yaw
    tolvu_CallModel(2, 0, 0, 0.0, car.Store(), car.Length());
    EXPECT_NEAR(car["RAD_CURVE"], 3.0 / car["TOL"], 1e-3);
}

TEST(Car2Setup, GearSelectionStaysInsideTheTable) {
    struct Case {
        double gear, gearMax;
        double index, ratio;
    };
    const Case cases[] = {
        {1, 5, 3, 11}, {0, 5, 2, 0}, {-1, 5, 1, -11}, {-7, 5, 1, -11}, {9, 5, 7, 2}, {3.4, 5, 5.4, 5},
        {20, 9, 11, 0},  // a data file's GEAR_MAX beyond the eight rows selects the last row
    };
    for (const Case& c : cases) {
        Car car;
        car["GEAR_MAX"] = c.gearMax;
        car.Start();
        car.Input()[4] = c.gear;
        tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
        EXPECT_EQ(car["GEAR_IND"], c.index) << c.gear;
        EXPECT_EQ(car["GEAR_DSC"], c.ratio) << c.gear;
        EXPECT_EQ(car.Deriv()[39], (c.ratio - car["GEAR_RAT"]) * 3.0);
    }
}

TEST(Car2Setup, WheelInTheAirCarriesNoLoad) {
    Car car;
    car.Start();
    car.State()[18] = -2.0;  // chassis 2 m up (z points down)
    tolvu_CallModel(2, 0, 0, 0.0, car.Store(), car.Length());
    for (const char* w : {"2100", "2200", "2300", "2400"}) {
        std::string n(w);
        EXPECT_LT(car[("EZT" + n).c_str()], 0.0);
        EXPECT_EQ(car[("FCT" + n).c_str()], 0.0);
        EXPECT_EQ(car[("FZA" + n).c_str()], 0.0);
        EXPECT_LT(car[("FZD" + n).c_str()], 0.0);
    }
    EXPECT_EQ(car["FZ_TOTAL"], 0.0);
    EXPECT_NEAR(car["AG100(3)"], 9.80766, 1e-9);
}

TEST(Car2Setup, OverrunTorqueFollowsThrottle) {
    struct Case {
        double throttle;
        double cae;
    };
    const Case cases[] = {{0.0, 1.0}, {0.1, 1.0}, {0.2, 0.5}, {0.31, 0.0}, {1.0, 0.0}};
    for (const Case& c : cases) {
        Car car;
        car.Start();
        car.Input()[1] = c.throttle;
        car.State()[15] = 300.0;  // crank spinning well above the blend band
        tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
        EXPECT_NEAR(car["CAE1600"], c.cae, 1e-12) << c.throttle;
        EXPECT_NEAR(car["TCO1600"], -c.cae * 0.5 * 200.0, 1e-9) << c.throttle;
    }
}

TEST(Car2Setup, DamperRateBlendsOutwardAndInwardRatesAcrossZeroJointSpeed) {
    struct Case {
        double speedInTol;  // joint speed VZJ in units of TOL
        double weightIn;    // expected share of the inward rate DMPI (the rest is DMPO)
    };
    const Case cases[] = {{-10.0, 0.0}, {-1.0, 0.0}, {1e-6, 0.5}, {1.0, 1.0}, {10.0, 1.0}};
    struct Corner {
        int state;  // 0-based state index of the pivot spin OGY
        const char *vzj, *rzj, *dmpo, *dmpi;
    };
    const Corner corners[] = {{6, "VZJ1097", "RZJ1097", "DMPO_FRONT", "DMPI_FRONT"},
                              {8, "VZJ1297", "RZJ1297", "DMPO_REAR", "DMPI_REAR"}};
    for (const Corner& k : corners) {
        for (const Case& c : cases) {
            Car car;
            car.Start();
            const double tol = car["TOL"];
            const double yneg = k.state == 6 ? car["YNEG1100"] : car["YNEG1300"];
            ASSERT_GT(std::fabs(yneg), 0.0);
            car.State()[k.state] = c.speedInTol * tol / yneg;  // the chassis does not turn
            tolvu_CallModel(2, 0, 0, 0.0, car.Store(), car.Length());
            ASSERT_NEAR(car[k.vzj], c.speedInTol * tol, 1e-12 * tol);
            const double rate = car[k.rzj] / car[k.vzj];
            const double want = (1.0 - c.weightIn) * car[k.dmpo] + c.weightIn * car[k.dmpi];
            EXPECT_NEAR(rate, want, 1e-5 * want) << k.vzj << " at " << c.speedInTol << " TOL";
        }
    }
}

TEST(Car2Setup, EqualTravelGivesNoAntiRollTorque) {
    Car car;
    car.Start();
    car.State()[23] = 0.02;   // ALP1095
    car.State()[24] = -0.02;  // ALP1195: the same travel on the other side
    tolvu_CallModel(2, 0, 0, 0.0, car.Store(), car.Length());
    EXPECT_NEAR(car["XPR1095"], car["XPR1195"], 1e-15);
    EXPECT_EQ(car["ERR1150"], 0.0);
    EXPECT_EQ(car["TRR1150"], 0.0);
}

TEST(Car2Setup, RearDriveSendsDrivelineTorqueToRearWheelsOnly) {
    Car car;
    car["ENG_PW_RR"] = 1.0;
    car.Start();
    car.SetInputs({0, 1, 0.5, 1, 1, 0});
    car.State()[43] = 0.5;  // brake states wound up
    car.State()[42] = 1.0;  // clutch wound up: a clutch torque
    car.State()[39] = 11.0; // first gear's ratio engaged
    tolvu_CallModel(2, 0, 0, 0.0, car.Store(), car.Length());
    ASSERT_NE(car["TCR1600"], 0.0);
    EXPECT_EQ(car["TRL2100"], car["TRB2800"]);
    EXPECT_EQ(car["TRL2200"], car["TRB2850"]);
    EXPECT_NE(car["TRL2300"], car["TRB2900"]);
}

}  // namespace

namespace {

TEST(Car2Setup, LongitudinalSlipStaysBoundedFromStandstillToWheelspin) {
    struct Case {
        const char* what;
        double speed, spin;
        double kap, kpu;
    };
    const double tol = 3e-6;
    const Case cases[] = {
        {"standstill", 0.0, 0.0, 0.0, 0.0},
        {"locked wheel rolling forward", 10.0, 0.0, -10.0 / (10.0 + tol), -10.0 / (10.0 + tol)},
        {"free rolling", 10.0, -25.0, 0.0, 0.0},
        {"wheelspin", 10.0, -75.0, 20.0 / (10.0 + tol), 1.0},
        {"locked wheel rolling backward", -4.0, 0.0, 4.0 / (4.0 + tol), 4.0 / (4.0 + tol)},
    };
    for (const Case& c : cases) {
        Car car;
        car.Start();
        car.State()[0] = c.speed;
        for (int w = 10; w < 14; ++w) car.State()[w] = c.spin;
        tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
        EXPECT_NEAR(car["KAP2100"], c.kap, 1e-9) << c.what;
        EXPECT_NEAR(car["KPU2100"], c.kpu, 1e-9) << c.what;
        EXPECT_NEAR(std::fabs(car["VXC2100"]), std::fabs(c.speed) + tol, 1e-9) << c.what;
        EXPECT_EQ(car["TS_VLO2100"], std::fabs(c.speed) < 0.05 ? 1.0 : 0.0) << c.what;
        EXPECT_NEAR(car.Deriv()[28], (c.kpu - 0.0) * 10.0 * car["TS_VHI2100"] +
                                         car["TS_VLO2100"] * car["DKPL2100"], 1e-9) << c.what;
    }
}

TEST(Car2Setup, AccelerationsComeFromTheGeneralizedTorques) {
    Car car;
    car.Start();
    car.SetInputs({1.0, 1.0, 0.3, 1.0, 1.0, 0.0});
    car.State()[0] = 8.0;
    car.State()[39] = 11.0;
    car.State()[40] = 0.02;   // engine block tilted on its mounts
    car.State()[42] = 0.5;    // clutch wound up
    car.State()[23] = 0.01;   // front left corner compressed
    tolvu_CallModel(2, 0, 0, 0.0, car.Store(), car.Length());
    EXPECT_DOUBLE_EQ(car["DOG1500"], car["TGY1500"] / 20.0);
    EXPECT_DOUBLE_EQ(car["DOG1599"], car["TGY1599"] / 1.0);
    EXPECT_DOUBLE_EQ(car["DOG1095"], car["TGY1095"] / car["IGY1095"]);
    EXPECT_DOUBLE_EQ(car["DOW2300"], car["TWL2300"] / 10.0);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(car.At(Index("AG100") + i), car.At(Index("FG100") + i) / car["M_TOTAL"], 1e-12);
    const double* d = car.Deriv();
    EXPECT_EQ(d[14], car["DOG1500"]);
    EXPECT_EQ(d[15], car["DOG1599"]);
    EXPECT_EQ(d[40], car["ORG1500"]);
    EXPECT_EQ(d[42], car["OCL1600"]);
    EXPECT_EQ(d[16], car.State()[0]);  // RG100 moves with VG100
}

TEST(Car2Setup, HandlingSummaryInDegrees) {
    Car car;
    car.Start();
    car.State()[0] = 10.0;
    car.State()[1] = 1.0;  // sliding sideways to the right
    for (int w = 10; w < 14; ++w) car.State()[w] = -25.0;
    tolvu_CallModel(2, 0, 1, 0.0, car.Store(), car.Length());
    const double front = std::fabs((car["ALPS2100"] + car["ALPS2200"]) / 3.1415927 * 90.0);
    const double rear = std::fabs((car["ALPS2300"] + car["ALPS2400"]) / 3.1415927 * 90.0);
    EXPECT_NEAR(car["SLIP_FRONT"], front, 1e-12);
    EXPECT_NEAR(car["SLIP_REAR"], rear, 1e-12);
    EXPECT_NEAR(front, std::atan2(1.0, 10.0 + 3e-6) * 180.0 / 3.1415927, 1e-3);
    EXPECT_NEAR(car["CAR_SSLIP"], (front + rear) * 0.5, 1e-12);
    EXPECT_NEAR(car["CAR_U_STR"], front - rear, 1e-12);
}

}  // namespace

namespace {

TEST(Car2Setup, ModeZeroEqualsModeOneThenModeTwo) {
    Car a;
    a.Start();
    a.SetInputs({1.0, 0.8, 0.2, 1.0, 2.0, 0.0});
    a.State()[0] = 12.0;
    a.State()[5] = 0.1;
    a.State()[39] = 8.0;
    for (int w = 10; w < 14; ++w) a.State()[w] = -29.0;
    Car b = a;
    tolvu_CallModel(2, 0, 0, 0.0, a.Store(), a.Length());
    tolvu_CallModel(2, 0, 1, 0.0, b.Store(), b.Length());
    tolvu_CallModel(2, 0, 2, 0.0, b.Store(), b.Length());
    for (int i = 0; i < a.Length(); ++i) ASSERT_EQ(a.Store()[i], b.Store()[i]) << "slot " << i + 1;
}

}  // namespace
