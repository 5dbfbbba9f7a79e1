// The frame of a 16-car race of game cars at 640 x 480 through the OpenGL display device
// (llvmpipe when headless): the race step, the display update and the rendering, with the HUD,
// shadows and rain on (a thunderstorm, which always rains) beside the same race with them off.
// Baseline: "BM_RaceFramePlain"; the other reports its frame time as a ratio to it, with the
// shadows made and whether it rains, so a picture without them cannot pass for cheap.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "QVX/race/AIParameters.h"
#include "QVX/race/RaceDisplay.h"
#include "QVX/race/RaceSession.h"
#include "QVX/race/Simulation.h"
#include "QVX/shell/Content.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"

namespace fs = std::filesystem;

namespace {

double g_plainSeconds = 0.0;  // seconds per frame of the baseline, once it has run

void RaceFrame(benchmark::State& state, bool extras) {
  const std::string data = std::string(VQ_GAME_DIR) + "/Data";
  const fs::path folder =
      fs::temp_directory_path() / ("qvx_bench_frame_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const auto& e : fs::directory_iterator(fs::path(data) / "Tracks"))
    if (e.path().extension() != ".vqt") fs::copy_file(e.path(), folder / e.path().filename());
  g_VQsystem.Init();
  auto* device = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  VQCanvas* canvas =
      device && device->Open(0) ? device->CreateCanvas(2, 0, 640, 480, 0, 0) : nullptr;
  if (!canvas) {
    state.SkipWithError("no OpenGL canvas");
  } else {
    canvas->Show(true);
    RaceSession race;
    RaceSessionConfig c;
    c.dataFolder = data;
    c.tracksFolder = folder.string();
    c.track = "forest";
    c.weather = "thunderstorm";
    c.carClass = "junior_std";
    c.display = device;
    c.laps = 100;
    std::ifstream in(data + "/class_AI_forest.bin", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    std::vector<AIDriverRecord> records;
    AI_Parse(bytes.data(), bytes.size(), records);
    if (!race.Load(c) || records.empty()) {
      state.SkipWithError("cannot load the race");
    } else {
      for (uint32_t i = 0; i < 16; ++i) {
        AIParameters p;
        AIParameters_FromRecord(records[i % records.size()].bytes, &p);
        race.AddComputer(p);
      }
      race.Start();
      while (race.RaceTime() < 5.0f) race.Frame();
      RaceDisplay display;
      RaceDisplayOptions o;
      o.hud = o.map = o.shadows = o.weather = extras;
      o.fontFolder = data + "/Maps_high";
      display.Init(&race, canvas, o);
      const auto start = std::chrono::steady_clock::now();
      for (auto _ : state) {
        race.Frame();
        display.Update(SIMULATION_DEFAULT_STEP);
        g_VQsystem.RenderDisplays();
        g_VQsystem.PresentDisplays();
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
          double(std::max<int64_t>(1, state.iterations()));
      state.counters["shadows"] = display.ShadowCount();
      state.counters["rain"] = display.HasRain() ? 1 : 0;
      if (!extras)
        g_plainSeconds = seconds;
      else if (g_plainSeconds > 0.0)
        state.counters["ratio_to_plain"] = seconds / g_plainSeconds;
      display.Release();
    }
  }
  if (device) device->Close();
  g_VQsystem.Shutdown();
  fs::remove_all(folder);
}

void BM_RaceFrameWithHudShadowsRain(benchmark::State& state) { RaceFrame(state, true); }
void BM_RaceFramePlain(benchmark::State& state) { RaceFrame(state, false); }

BENCHMARK(BM_RaceFramePlain)->Unit(benchmark::kMillisecond)->Iterations(120);
BENCHMARK(BM_RaceFrameWithHudShadowsRain)->Unit(benchmark::kMillisecond)->Iterations(120);

}  // namespace
