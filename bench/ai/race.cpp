// A full field of 32 computer drivers racing the sample course without rendering: the rate is
// simulated race seconds per wall second (counter "sim_s_per_s"; above 1 the field runs faster
// than real time on this machine, the baseline a game frame must beat).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "QVX/race/AIRace.h"

namespace {

void BM_ComputerField(benchmark::State& state) {
  const uint32_t cars = uint32_t(state.range(0));
  AICourseData course;
  if (!AICourse_Sample(1, cars, &course)) {
    state.SkipWithError("no course");
    return;
  }
  std::vector<AIParameters> field(cars);
  for (uint32_t i = 0; i < cars; ++i) {
    std::snprintf(field[i].name, sizeof field[i].name, "Car %u", i + 1);
    field[i].number = i + 2;
  }
  double simulated = 0.0, wall = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    AIRace race;
    if (!race.Setup(course, field, 100, 1.0f / 60.0f, 1)) {
      state.SkipWithError(race.m_error.c_str());
      return;
    }
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    for (int f = 0; f < 60 * 30; ++f)
      race.Frame();  // 30 s of race clock, the 3 s countdown included
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    simulated += 30.0;
  }
  state.counters["sim_s_per_s"] = wall > 0.0 ? simulated / wall : 0.0;
  state.counters["cars"] = cars;
}

BENCHMARK(BM_ComputerField)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
