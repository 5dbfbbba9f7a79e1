// Start-up of the game on the generated data tree: from the Program's construction to the end
// of Program::Initialize (configuration, language strings, devices, content, players), in
// milliseconds, and the shutdown after it. Baseline: the configuration and language loading
// alone (what runs before the launcher), reported as the ratio of the whole start-up to it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "QVX/shell/Program.h"

namespace fs = std::filesystem;

namespace {

// A copy of the tree in the temporary folder: the game writes Config.ini and its log.
struct Tree {
  Tree() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    dir = fs::temp_directory_path() / ("bench_startup_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::copy(VQ_GAME_DIR, dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    old = fs::current_path();
    fs::current_path(dir);
  }
  ~Tree() {
    fs::current_path(old);
    fs::remove_all(dir);
  }
  fs::path dir, old;
};

double g_baselineMs = 0.0;

void BM_ConfigAndLanguage(benchmark::State& state) {
  Tree tree;
  double total = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    Program* program = new Program();
    program->m_options.headless = true;
    program->LoadLanguageStrings();
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    delete program;
    delete g_gameLog;
    g_gameLog = nullptr;
  }
  g_baselineMs = total / double(state.iterations());
  state.counters["ms"] = g_baselineMs;
}

void BM_StartUp(benchmark::State& state) {
  Tree tree;
  double total = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    Program* program = new Program();
    program->m_options.headless = true;
    program->LoadLanguageStrings();
    if (!program->Initialize(0, nullptr)) {
      state.SkipWithError("start-up failed");
      break;
    }
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    program->Shutdown();
    delete program;
    state.ResumeTiming();
  }
  const double ms = state.iterations() ? total / double(state.iterations()) : 0.0;
  state.counters["ms"] = ms;
  if (g_baselineMs > 0.0) state.counters["x_config_and_language"] = ms / g_baselineMs;
}

}  // namespace

BENCHMARK(BM_ConfigAndLanguage)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->Iterations(10);
