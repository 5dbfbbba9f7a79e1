// Bonus archives: inflating a 4 MB package of game-like files from its archive, and the
// keyword detector's cost per typed key (it sees every key of a race). The archive's baseline is
// copying the uncompressed package through the same file layer, the least work installing can
// do; both report bytes per second.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "QVX/shell/Cheats.h"
#include "QVX/shell/KeywordDetector.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/util/VQarchive.h"
#include "Zentri/util/VQPackageFile.h"

namespace fs = std::filesystem;

namespace {

struct Files {
  fs::path dir, package, archive;
  uint64_t size = 0;
  Files() {
    dir = fs::temp_directory_path() / ("quorvex_bench_archive_" + std::to_string(getpid()));
    fs::create_directories(dir);
    package = dir / "bonus.pkg";
    archive = dir / "bonus.car";
    std::vector<VQPackageItem> items;
    for (int f = 0; f < 16; ++f) {
      VQPackageItem item;
      item.name = "Data\\Cars\\file" + std::to_string(f) + ".bin";
      for (uint32_t i = 0; i < 256 * 1024; ++i) item.data += char((i / 16 + uint32_t(f)) % 64);
      items.push_back(std::move(item));
    }
    VQpackage_Write(package.c_str(), items);
    VQarchive_Compress(package.c_str(), archive.c_str());
    size = fs::file_size(package);
  }
  ~Files() { fs::remove_all(dir); }
};

Files& Shared() {
  static Files files;
  return files;
}

void BM_Baseline_CopyPackage(benchmark::State& state) {
  Files& f = Shared();
  for (auto _ : state)
    fs::copy_file(f.package, f.dir / "copy.vqa", fs::copy_options::overwrite_existing);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_Baseline_CopyPackage)->Unit(benchmark::kMillisecond);

void BM_InflateArchive(benchmark::State& state) {
  Files& f = Shared();
  for (auto _ : state)
    benchmark::DoNotOptimize(VQarchive_Decompress(f.archive.c_str(), f.dir.c_str()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.size));
}
BENCHMARK(BM_InflateArchive)->Unit(benchmark::kMillisecond);

void BM_KeywordDetectorPerKey(benchmark::State& state) {
  KeywordDetector detector;
  detector.Init(nullptr, 0);
  for (uint32_t i = 0; i < CHEAT_WORD_COUNT; ++i) detector.AddWord(g_cheatWords[i], i);
  uint32_t key = 0;
  for (auto _ : state) {
    // Letters with an Enter every 20 keys: the Enter compares all twelve words.
    benchmark::DoNotOptimize(detector.OnKey(key % 20 == 19 ? VQKEY_RETURN : VQKEY_A + key % 26));
    ++key;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_KeywordDetectorPerKey);

}  // namespace
