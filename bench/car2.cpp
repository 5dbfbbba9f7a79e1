// CAR_2 evaluation speed beside CAR_1 (the baseline): evaluations per second per mode, and
// simulated seconds per wall second under the game's two-phase integration (CAR_2 at 0.005 s,
// CAR_1 at twice that step, as the collision world runs them).
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/car2/car2_sim.h"

namespace {

using car2test::Car;
using car2test::Inputs;

// A car rolling at about 15 m/s in second gear with some steer, so every branch is live.
Car MovingCar(int type) {
    Car car(type);
    car["VG100(1)"] = 15.0;
    car.Start();
    car.SetInputs(Inputs{1.0, 0.6, 0.0, 1.0, 2.0, 0.0});
    const double step = type == 2 ? 0.005 : 0.01;
    for (int i = 0; i < 200; ++i) car.Step(car.Time(), step);
    return car;
}

void BM_Evaluate(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    Car car = MovingCar(type);
    for (auto _ : state) {
        tolvu_CallModel(type, 0, mode, car.Time(), car.Store(), car.Length());
        benchmark::DoNotOptimize(car.Store());
    }
    state.counters["evals_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.SetLabel(std::string(type == 2 ? "CAR_2" : "CAR_1 (baseline)") + " mode " + std::to_string(mode));
}
BENCHMARK(BM_Evaluate)
    ->ArgNames({"type", "mode"})
    ->Args({1, 0})->Args({1, 1})->Args({1, 2})
    ->Args({2, 0})->Args({2, 1})->Args({2, 2});

void BM_Simulate(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const double step = type == 2 ? 0.005 : 0.01;
    Car car = MovingCar(type);
    double simulated = 0.0;
    for (auto _ : state) {
        car.Step(car.Time(), step);
        simulated += step;
    }
    if (!car.AllFinite()) state.SkipWithError("non-finite state");
    state.counters["sim_s_per_wall_s"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
    state.SetLabel(type == 2 ? "CAR_2 at 0.005 s" : "CAR_1 (baseline) at 0.01 s");
}
BENCHMARK(BM_Simulate)->ArgName("type")->Arg(1)->Arg(2);

}  // namespace
