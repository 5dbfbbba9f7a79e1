// The menus: from the Program's construction to the first frame of the menu screen (start-up,
// menu tree, menu scene, fonts and frame images), and the frame time of the menu screen while
// its idle countdown runs. Baseline of the first: the start-up alone (Program::Initialize).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "QVX/shell/Program.h"
#include "Zentri/platform/VQwin32.h"

namespace fs = std::filesystem;

namespace {

struct Tree {
  Tree() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    dir = fs::temp_directory_path() / ("bench_menus_" + std::to_string(getpid()));
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

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

double g_startUpMs = 0.0;

void BM_StartUpOnly(benchmark::State& state) {
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
    total += Ms(start);
    state.PauseTiming();
    program->Shutdown();
    delete program;
    state.ResumeTiming();
  }
  g_startUpMs = state.iterations() ? total / double(state.iterations()) : 0.0;
  state.counters["ms"] = g_startUpMs;
}

void BM_StartToFirstMenuFrame(benchmark::State& state) {
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
    ProgramSetFrameBudget(program, 1);
    program->RunMenus();
    total += Ms(start);
    state.PauseTiming();
    program->m_ms.closed = 1;  // no outro
    program->Shutdown();
    delete program;
    ProgramSetFrameBudget(nullptr, 0);
    state.ResumeTiming();
  }
  const double ms = state.iterations() ? total / double(state.iterations()) : 0.0;
  state.counters["ms"] = ms;
  if (g_startUpMs > 0.0) state.counters["x_startup"] = ms / g_startUpMs;
}

void BM_MenuFrame(benchmark::State& state) {
  Tree tree;
  Program* program = new Program();
  program->m_options.headless = true;
  program->LoadLanguageStrings();
  if (!program->Initialize(0, nullptr)) {
    state.SkipWithError("start-up failed");
    delete program;
    return;
  }
  VQwin32_SetFrameSleep(0);          // the pump's 10 ms rest between frames is not the menus' time
  constexpr uint32_t kFrames = 200;  // 200 frames stay within the idle countdown's 30 s
  double total = 0.0;
  uint64_t frames = 0;
  for (auto _ : state) {
    program->m_quit = 0;
    ProgramSetFrameBudget(program, kFrames);
    const auto start = std::chrono::steady_clock::now();
    program->RunMenus();
    total += Ms(start);
    frames += kFrames;
  }
  state.counters["ms_per_frame"] = frames ? total / double(frames) : 0.0;
  program->m_ms.closed = 1;
  program->Shutdown();
  delete program;
  ProgramSetFrameBudget(nullptr, 0);
}

}  // namespace

BENCHMARK(BM_StartUpOnly)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StartToFirstMenuFrame)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MenuFrame)->Unit(benchmark::kMillisecond)->Iterations(3);
