// Cost of the path layer. Baseline: stat of the real path. Against it: resolving an engine path
// whose names exist exactly (one lstat), and one whose every component differs in case (a
// folder scan per component), in a folder of 200 files.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Zentri/util/VQpath.h"

namespace {
struct Tree {
  Tree() {
    root = std::filesystem::temp_directory_path() / ("vq_bench_path_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "Data" / "Tracks" / "Oval");
    for (int i = 0; i < 200; ++i) {
      std::ofstream(root / "Data" / "Tracks" / "Oval" / ("File" + std::to_string(i) + ".vqo")) << "x";
    }
  }
  ~Tree() { std::filesystem::remove_all(root); }
  std::filesystem::path root;
};
Tree& tree() {
  static Tree t;
  return t;
}

void StatBaseline(benchmark::State& state) {
  std::string p = (tree().root / "Data/Tracks/Oval/File100.vqo").string();
  struct stat st;
  for (auto _ : state) benchmark::DoNotOptimize(::stat(p.c_str(), &st));
}

void ResolveExact(benchmark::State& state) {
  std::string p = tree().root.string() + "\\Data\\Tracks\\Oval\\File100.vqo";
  for (auto _ : state) benchmark::DoNotOptimize(VQpath_Resolve(p.c_str()));
}

void ResolveFolded(benchmark::State& state) {
  std::string p = tree().root.string() + "\\DATA\\tracks\\OVAL\\file100.VQO";
  for (auto _ : state) benchmark::DoNotOptimize(VQpath_Resolve(p.c_str()));
}
}  // namespace

BENCHMARK(StatBaseline);
BENCHMARK(ResolveExact);
BENCHMARK(ResolveFolded);
