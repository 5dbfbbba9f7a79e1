// Network play messages: writing and reading one car state (sent ten times a second per car,
// relayed by the host to every other machine). Baseline: copying the same 71 bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "QVX/shell/NetProtocol.h"

namespace {

NetCarState Sample() {
  NetCarState s;
  s.playerId = 3;
  s.raceTime = 42.5f;
  s.position[0] = 120.25f;
  s.position[1] = -33.5f;
  s.orientation[2] = 0.38f;
  s.orientation[3] = 0.92f;
  s.linearVelocity[0] = 31.0f;
  s.gear = 4.0f;
  s.inputA = 0.8f;
  return s;
}

void BM_CarStateCopyBaseline(benchmark::State& state) {
  uint8_t in[NET_MESSAGE_MAX], out[NET_MESSAGE_MAX];
  NetWrite_CarState(in, NETMSG_CAR_STATE, Sample());
  for (auto _ : state) {
    std::memcpy(out, in, NETLEN_CAR_STATE);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CarStateCopyBaseline);

void BM_CarStateWriteAndParse(benchmark::State& state) {
  const NetCarState s = Sample();
  uint8_t buffer[NET_MESSAGE_MAX];
  NetMessage m;
  for (auto _ : state) {
    const uint32_t n = NetWrite_CarState(buffer, NETMSG_CAR_STATE, s);
    bool ok = NetMessage_Parse(buffer, n, &m);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(m.carState.position[0]);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CarStateWriteAndParse);

}  // namespace
