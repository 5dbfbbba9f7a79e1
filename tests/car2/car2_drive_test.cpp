// CAR_2 driven over time with the game's integration scheme: settling, acceleration through
// the gears, braking, parking on a slope, steady cornering and a long mixed schedule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "tests/car2/car2_sim.h"

using car2test::Car;
using car2test::Inputs;

namespace {

double g_slope = 0.0;  // ground rises by g_slope metres per metre of x (model z points down)

void SlopeGround(double out[8], const double point[3], const double*, double) {
    const double n = std::sqrt(1.0 + g_slope * g_slope);
    out[0] = point[0];
    out[1] = point[1];
    out[2] = -g_slope * point[0];
    out[3] = -g_slope / n;
    out[4] = 0.0;
    out[5] = -1.0 / n;
    out[6] = 1.0;
    out[7] = 0.0001;
}

class Car2Drive : public ::testing::Test {
protected:
    void SetUp() override { tolvu_SetEarthDataFunction(nullptr); }
    void TearDown() override {
        tolvu_SetEarthDataFunction(nullptr);
        g_slope = 0.0;
    }
    // Runs until the given time with inputs chosen per step; stops at the first non-finite value.
    static void Run(Car& car, double until, const std::function<Inputs(double)>& inputs,
                    const std::function<void(Car&)>& each = nullptr) {
        while (car.Time() < until - 1e-9) {
            car.SetInputs(inputs(car.Time()));
            car.Step(car.Time());
            ASSERT_TRUE(car.AllFinite()) << "at t = " << car.Time();
            if (each) each(car);
        }
    }
    static double Weight(Car& car) { return car["M_TOTAL"] * 9.80766; }
};

TEST_F(Car2Drive, AtRestSettlesWithItsWeightOnTheWheels) {
    Car car;
    car.Start();
    Run(car, 4.0, [](double) { return Inputs{}; });
    const double x0 = car["RG100(1)"], y0 = car["RG100(2)"], z0 = car["RG100(3)"];
    const double alp0 = car["ALP1095"], alp2 = car["ALP1295"];
    double minLoad = 1e30, maxLoad = 0.0;
    Run(car, 8.0, [](double) { return Inputs{}; }, [&](Car& c) {
        minLoad = std::min(minLoad, c["FZ_TOTAL"]);
        maxLoad = std::max(maxLoad, c["FZ_TOTAL"]);
    });
    EXPECT_NEAR(minLoad, Weight(car), 0.02 * Weight(car));
    EXPECT_NEAR(maxLoad, Weight(car), 0.02 * Weight(car));
    EXPECT_GT(car["FZA2100"], car["FZA2300"]);  // centre of gravity nearer the front axle
    EXPECT_NEAR(car["FZA2100"], car["FZA2200"], 1.0);
    EXPECT_NEAR(car["ALP1095"], alp0, 1e-5);
    EXPECT_NEAR(car["ALP1295"], alp2, 1e-5);
    EXPECT_GT(car["XPR1095"], 0.0);  // springs compressed under the load
    EXPECT_NEAR(car["RG100(1)"], x0, 1e-3);
    EXPECT_NEAR(car["RG100(2)"], y0, 1e-3);
    EXPECT_NEAR(car["RG100(3)"], z0, 1e-4);
    EXPECT_LT(std::fabs(car.Speed()), 1e-3);
}

// Full throttle in first, then scripted changes up to fourth: each change opens the clutch for
// half a second and closes it again.
Inputs GearSchedule(double t) {
    Inputs in;
    in.throttle = t < 0.5 ? 0.0 : 1.0;
    const double shifts[] = {0.5, 6.0, 12.0, 20.0};
    int gear = 0;
    double since = t;
    for (int i = 0; i < 4; ++i)
        if (t >= shifts[i]) {
            gear = i + 1;
            since = t - shifts[i];
        }
    in.gear = gear;
    in.clutch = gear == 0 ? 0.0 : std::min(1.0, since / 0.5);
    if (since < 0.5) in.throttle = 0.2;
    return in;
}

TEST_F(Car2Drive, FullThrottleAcceleratesThroughTheGearsToTopSpeed) {
    Car car;
    car.Start();
    double maxAccel = 0.0;
    double speedAtShift[4] = {};
    int shiftIndex = 0;
    const double shifts[] = {6.0, 12.0, 20.0, 1e9};
    double rpmBeforeShift = 0.0;
    Run(car, 150.0, GearSchedule, [&](Car& c) {
        maxAccel = std::max(maxAccel, std::fabs(c["AL100(1)"]));
        if (c.Time() >= shifts[shiftIndex]) {
            speedAtShift[shiftIndex] = c.Speed();
            if (shiftIndex == 0) rpmBeforeShift = c["RPM1600"];
            ++shiftIndex;
        }
    });
    EXPECT_GT(rpmBeforeShift, 1000.0);
    EXPECT_GT(speedAtShift[0], 3.0);
    EXPECT_GT(speedAtShift[1], speedAtShift[0] + 2.0);
    EXPECT_GT(speedAtShift[2], speedAtShift[1] + 2.0);
    EXPECT_LT(maxAccel, 15.0) << "a clutch or gear change produced a spike";

    // Top speed: drag balances drive; the speed no longer changes.
    Run(car, 300.0, [](double) { return Inputs{0, 1, 0, 1, 4, 0}; });
    const double v1 = car.Speed();
    Run(car, 310.0, [](double) { return Inputs{0, 1, 0, 1, 4, 0}; });
    const double v2 = car.Speed();
    EXPECT_GT(v2, speedAtShift[2] + 5.0);
    EXPECT_NEAR(v2, v1, 0.002 * v1);
    EXPECT_LT(std::fabs(car["AL100(1)"]), 0.01);
    EXPECT_LT(car.Speed(), 60.0);
    EXPECT_GT(car["RPM1600"], 2000.0);
}

TEST_F(Car2Drive, FullBrakeStopsTheCar) {
    Car car;
    car.Start();
    Run(car, 10.0, [](double t) { return Inputs{0, 1, 0, std::min(1.0, t), t < 6 ? 1.0 : 2.0, 0}; });
    ASSERT_GT(car.Speed(), 7.0);
    const double v0 = car.Speed();
    double stopped = -1.0;
    auto brake = [](double) { return Inputs{0, 0, 1, 0, 0, 0}; };
    Run(car, 22.0, brake, [&](Car& c) {
        if (stopped < 0.0 && std::fabs(c.Speed()) < 0.3) stopped = c.Time();
    });
    ASSERT_GT(stopped, 0.0);
    EXPECT_LT(stopped - 10.0, v0 / 4.0) << "at least 4 m/s^2 of deceleration";
    EXPECT_LT(std::fabs(car.Speed()), 0.02);
    const double x = car["RG100(1)"];
    Run(car, 24.0, brake);
    EXPECT_NEAR(car["RG100(1)"], x, 0.02);
}

TEST_F(Car2Drive, ParkingBrakeHoldsOnASlopeThatTheServiceBrakeReleases) {
    g_slope = 0.12;
    tolvu_SetEarthDataFunction(SlopeGround);
    Car car;
    // Start on the slope: the chassis placed above the ground under its centre.
    car["RG100(3)"] = -0.8 - g_slope * 1.4;
    car.Start();
    Run(car, 3.0, [](double) { return Inputs{0, 0, 1, 0, 0, 0}; });
    // Parking brake only. The elastic brakes let the car rock on its tyres for a while; it
    // holds when the rocking dies out around a fixed point.
    auto park = [](double) { return Inputs{0, 0, 0, 0, 0, 1}; };
    Run(car, 10.0, park);
    struct Window {
        double sumX = 0, maxV = 0;
        int n = 0;
    } a, b;
    auto into = [](Window& w) {
        return [&w](Car& c) {
            w.sumX += c["RG100(1)"];
            w.maxV = std::max(w.maxV, std::fabs(c.Speed()));
            ++w.n;
        };
    };
    Run(car, 15.0, park, into(a));
    Run(car, 20.0, park, into(b));
    const double meanB = b.sumX / b.n;
    EXPECT_NEAR(meanB, a.sumX / a.n, 0.01) << "parking brake alone must hold the car";
    EXPECT_LT(b.maxV, a.maxV);
    EXPECT_LT(b.maxV, 0.1);
    Run(car, 25.0, [](double) { return Inputs{0, 0, 0, 0, 0, 0}; });
    EXPECT_LT(car["RG100(1)"], meanB - 1.0) << "released, the car rolls down";
    EXPECT_LT(car.Speed(), -0.5);
}

TEST_F(Car2Drive, ConstantSteerGivesASteadyCircleAndLiftOffStaysBounded) {
    Car car;
    car.Start();
    auto drive = [](double t) {
        Inputs in{0, 0.35, 0, std::min(1.0, t), t < 4 ? 1.0 : 2.0, 0};
        if (t > 8.0) in.steer = 2.0;
        return in;
    };
    Run(car, 70.0, drive);
    double yawMin = 1e9, yawMax = -1e9, speedMin = 1e9, speedMax = -1e9;
    Run(car, 76.0, drive, [&](Car& c) {
        yawMin = std::min(yawMin, c["OL100(3)"]);
        yawMax = std::max(yawMax, c["OL100(3)"]);
        speedMin = std::min(speedMin, c.Speed());
        speedMax = std::max(speedMax, c.Speed());
    });
    ASSERT_GT(yawMin, 0.1) << "positive steer turns to the right (+y)";
    EXPECT_LT(yawMax - yawMin, 0.02 * yawMax);
    EXPECT_LT(speedMax - speedMin, 0.02 * speedMax);
    const double radius = car["RAD_CURVE"];
    EXPECT_GT(radius, 2.6 / 0.12);  // understeer: wider than the kinematic circle
    EXPECT_LT(radius, 80.0);

    // Lift off in the circle.
    double yawPeak = 0.0;
    Run(car, 86.0, [](double) { return Inputs{2.0, 0, 0, 1, 2, 0}; }, [&](Car& c) {
        yawPeak = std::max(yawPeak, std::fabs(c["OL100(3)"]));
        ASSERT_LT(std::fabs(c["OL100(1)"]), 2.0);
    });
    EXPECT_LT(yawPeak, 3.0 * yawMax);
    EXPECT_LT(std::fabs(car["OL100(3)"]), yawMax);
}

TEST_F(Car2Drive, CoastingNeverGainsSpeed) {
    Car car;
    car["VG100(1)"] = 15.0;  // launched at 15 m/s in neutral, wheels rolling
    for (const char* w : {"OWL2100", "OWL2200", "OWL2300", "OWL2400"}) car[w] = -15.0 / 0.4;
    car.Start();
    double last = car.Speed();
    double worstGain = 0.0;
    Run(car, 20.0, [](double) { return Inputs{}; }, [&](Car& c) {
        if (c.Time() > 1.0) worstGain = std::max(worstGain, c.Speed() - last);
        last = c.Speed();
    });
    EXPECT_LT(worstGain, 1e-3);
    EXPECT_LT(car.Speed(), 14.0);
    EXPECT_GT(car.Speed(), 5.0);
}

TEST_F(Car2Drive, DroppedCarNeverBouncesHigherThanItFell) {
    Car car;
    car["RG100(3)"] = -0.9;  // 10 cm above touching the ground
    car.Start();
    double highest = 0.0;  // z points down: the smallest z after the first landing
    bool landed = false;
    Run(car, 4.0, [](double) { return Inputs{}; }, [&](Car& c) {
        if (!landed && c["FZ_TOTAL"] > 0.0) {
            landed = true;
            highest = c["RG100(3)"];
        }
        if (landed) highest = std::min(highest, c["RG100(3)"]);
    });
    ASSERT_TRUE(landed);
    EXPECT_GT(highest, -0.9 + 0.02);
    EXPECT_NEAR(car["FZ_TOTAL"], Weight(car), 0.02 * Weight(car));
}

TEST_F(Car2Drive, SixtySecondsOfMixedDrivingStayFinite) {
    Car car;
    car.Start();
    auto schedule = [](double t) {
        Inputs in;
        const double phase = std::fmod(t, 12.0);
        in.gear = 1 + std::floor(std::fmod(t, 36.0) / 12.0);
        in.clutch = phase < 0.6 ? phase / 0.6 : 1.0;
        in.throttle = phase < 7.0 ? 1.0 : 0.0;
        in.brake = phase > 9.0 ? 0.7 : 0.0;
        in.steer = 2.5 * std::sin(0.7 * t);
        in.park = t > 58.0 ? 1.0 : 0.0;
        return in;
    };
    double maxSpeed = 0.0;
    Run(car, 60.0, schedule, [&](Car& c) { maxSpeed = std::max(maxSpeed, std::fabs(c.Speed())); });
    EXPECT_GT(maxSpeed, 5.0);
    EXPECT_LT(maxSpeed, 70.0);
    EXPECT_LT(std::fabs(car["RG100(3)"] + 0.78), 0.3) << "the car stays on the ground";
}

TEST_F(Car2Drive, InterleavedCarsMatchCarsRunAlone) {
    auto drive = [](double t) { return Inputs{1.5 * std::sin(t), 1, 0, std::min(1.0, t), 1, 0}; };
    Car alone;
    alone["R_WHEEL"] = 0.33;
    alone.Start();
    Run(alone, 3.0, drive);

    Car a, b;
    a["R_WHEEL"] = 0.33;
    a.Start();
    b.Start();
    while (a.Time() < 3.0 - 1e-9) {
        a.SetInputs(drive(a.Time()));
        b.SetInputs(Inputs{-1, 0.5, 0, 1, 2, 0});
        // The game's order: every car's first evaluation, then every car's step.
        a.Step(a.Time());
        b.Step(b.Time());
    }
    for (int i = 0; i < alone.States(); ++i) EXPECT_EQ(a.State()[i], alone.State()[i]) << "state " << i + 1;
}

}  // namespace
