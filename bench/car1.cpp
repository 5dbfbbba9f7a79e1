// CAR_1 evaluation speed: evaluations per second in modes 0, 1 and 2, and simulated seconds per
// wall-clock second for one car with the two-phase step at 0.01 s. Baseline: real time (a ratio of
// 1.0 keeps one car up with the clock; a race needs up to 40 cars, so at least 40).
#include <benchmark/benchmark.h>

#include "tools/tolvu-sim/sim.h"

namespace {

tolvusim::Sim& rollingCar() {
  static tolvusim::Sim sim;
  static bool ready = false;
  if (!ready) {
    sim.init(1);
    sim.setInput(1, 0.6);  // throttle
    sim.setInput(3, 1.0);  // clutch
    sim.setInput(4, 2.0);  // gear
    sim.setInput(0, 1.0);  // steer
    for (int k = 0; k < 500; ++k) sim.step();
    ready = true;
  }
  return sim;
}

void evaluations(benchmark::State& state, int mode) {
  tolvusim::Sim& sim = rollingCar();
  for (auto _ : state) {
    tolvu_CallModel(1, 0, mode, sim.time, sim.store.data(), sim.len);
    benchmark::DoNotOptimize(sim.store.data());
  }
  state.counters["evals_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Car1_Mode0(benchmark::State& s) { evaluations(s, 0); }
void BM_Car1_Mode1(benchmark::State& s) { evaluations(s, 1); }
void BM_Car1_Mode2(benchmark::State& s) { evaluations(s, 2); }
BENCHMARK(BM_Car1_Mode0);
BENCHMARK(BM_Car1_Mode1);
BENCHMARK(BM_Car1_Mode2);

void BM_Car1_SimulatedSecondsPerSecond(benchmark::State& state) {
  tolvusim::Sim sim;
  sim.init(1);
  sim.setInput(1, 1.0);
  sim.setInput(3, 1.0);
  sim.setInput(4, 1.0);
  for (auto _ : state) {
    if (!sim.step()) {
      state.SkipWithError(sim.error.c_str());
      break;
    }
  }
  // Each iteration advances one step of dt; the rate is simulated seconds per wall second, to be
  // read against real time (1.0) and a full field of 40 cars (40.0).
  state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(state.iterations()) * sim.dt,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Car1_SimulatedSecondsPerSecond);

}  // namespace
