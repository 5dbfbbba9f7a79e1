// Message strings and settings: reading a full 500-entry string table in both forms, looking
// texts up by identifier (the game's common call), and parsing a settings file. Each reader
// reports bytes per second; the baseline is unscrambling the same bytes, the least work any
// reader of the binary form must do.
#include <benchmark/benchmark.h>

#include <string>

#include "Zentri/util/VQSettingsFile.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQscramble.h"

namespace {

std::string TextTable() {
  std::string out;
  for (int i = 0; i < int(VQSTRINGS_MAX_ENTRIES); ++i)
    out += "<menu.item" + std::to_string(i) + ":" + std::to_string(1000 + i) +
           "> Menu entry number " + std::to_string(i) + "\\nwith a second line\n";
  return out;
}

const std::string& Text() {
  static const std::string text = TextTable();
  return text;
}

const std::string& Binary() {
  static const std::string bin = [] {
    VQStrings t;
    t.LoadText(Text().data(), Text().size(), false);
    return t.ToBinary();
  }();
  return bin;
}

void BM_Baseline_UnscrambleTable(benchmark::State& state) {
  std::string buf = Binary();
  for (auto _ : state) {
    VQscramble_Builtin(buf.data(), buf.size());
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buf.size()));
}
BENCHMARK(BM_Baseline_UnscrambleTable);

void BM_StringsLoadBinary(benchmark::State& state) {
  const std::string& bin = Binary();
  for (auto _ : state) {
    VQStrings t;
    t.LoadBinary(reinterpret_cast<const uint8_t*>(bin.data()), bin.size(), false);
    benchmark::DoNotOptimize(t.GetCount());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bin.size()));
}
BENCHMARK(BM_StringsLoadBinary);

void BM_StringsLoadText(benchmark::State& state) {
  for (auto _ : state) {
    VQStrings t;
    t.LoadText(Text().data(), Text().size(), false);
    benchmark::DoNotOptimize(t.GetCount());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Text().size()));
}
BENCHMARK(BM_StringsLoadText);

// Lookups spread over the whole table (a linear search: the last entry is the worst case).
void BM_StringsGetById(benchmark::State& state) {
  VQStrings t;
  t.LoadText(Text().data(), Text().size(), false);
  int32_t id = 1000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.GetById(id));
    id = id == 1499 ? 1000 : id + 1;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_StringsGetById);

void BM_SettingsParse(benchmark::State& state) {
  std::string text = "// layout\n";
  for (int s = 0; s < 10; ++s) {
    text += "@Screen" + std::to_string(640 + s * 160) + "\n";
    for (int k = 0; k < 30; ++k) text += "key" + std::to_string(k) + " = " + std::to_string(k * 3.25) + "\n";
    text += "title = \"Paint\"\nflag = true\n";
  }
  for (auto _ : state) {
    VQSettingsFile f;
    f.LoadText(text.data(), text.size());
    benchmark::DoNotOptimize(f.FirstSection());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SettingsParse);

}  // namespace
