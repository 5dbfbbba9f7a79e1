// The built-in-key scrambler in word form against the plain byte-wise loop (the baseline),
// over a 64 KiB buffer, as bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "Zentri/util/VQscramble.h"

namespace {
constexpr size_t kSize = 64 * 1024;

void ByteWiseBaseline(benchmark::State& state) {
  std::vector<uint8_t> buf(kSize, 0x33);
  for (auto _ : state) {
    for (size_t i = 0; i < buf.size(); ++i) buf[i] ^= g_VQscrambleKey[i % 16];
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}

void ScrambleBuiltin(benchmark::State& state) {
  std::vector<uint8_t> buf(kSize + 1, 0x33);
  uint8_t* p = buf.data() + state.range(0);  // 0: aligned, 1: unaligned
  for (auto _ : state) {
    VQscramble_Builtin(p, kSize);
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}

void ScrambleCallerKey(benchmark::State& state) {
  std::vector<uint8_t> buf(kSize, 0x33);
  const uint8_t key[7] = {1, 2, 3, 4, 5, 6, 7};
  for (auto _ : state) {
    VQscramble(buf.data(), buf.size(), key, sizeof key);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
}  // namespace

BENCHMARK(ByteWiseBaseline);
BENCHMARK(ScrambleBuiltin)->Arg(0)->Arg(1);
BENCHMARK(ScrambleCallerKey);
