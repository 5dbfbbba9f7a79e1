// Tolvu exports: name lookups (baseline: repeated lookups of one model type, against lookups that
// alternate types and so refill the name table each time), model set-up and a CAR_R evaluation.
#include <benchmark/benchmark.h>

#include <vector>

#include "model/include/tolvu.h"

namespace {

void BM_GetVarIndexSameType(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(tolvu_GetVarIndex(2, "RPM1600"));
    benchmark::DoNotOptimize(tolvu_GetVarIndex(2, "FZ_DL2400"));
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_GetVarIndexSameType);

void BM_GetVarIndexAlternatingTypes(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(tolvu_GetVarIndex(2, "RPM1600"));
    benchmark::DoNotOptimize(tolvu_GetVarIndex(1, "RPM1600"));
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_GetVarIndexAlternatingTypes);

void BM_InitializeModelCar2(benchmark::State& state) {
  std::vector<double> store(2743);
  for (auto _ : state) benchmark::DoNotOptimize(tolvu_InitializeModel(2, store.data(), 2743, " "));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InitializeModelCar2);

void BM_CallModelCarR(benchmark::State& state) {
  std::vector<double> store(370);
  tolvu_InitializeModel(3, store.data(), 370, " ");
  tolvu_CallModel(3, 1, 0, 0.0, store.data(), 370);
  for (auto _ : state) benchmark::DoNotOptimize(tolvu_CallModel(3, 0, 0, 0.0, store.data(), 370));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallModelCarR);

}  // namespace
