// A field of computer drivers racing a generated track without rendering: the rate is simulated
// race seconds per wall second (counter "sim_s_per_s"; above 1 the field runs faster than real
// time). The same field with the drivers' decisions left out (the cars roll on fixed controls)
// gives the physics-only figure of the same world beside it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "QVX/race/AIParameters.h"
#include "QVX/race/RaceSession.h"
#include "QVX/race/Simulation.h"
#include "QVX/shell/Content.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/vehicle/VQVehicleModel.h"

namespace fs = std::filesystem;

namespace {

const char* const kTrack = "forest";

std::vector<AIParameters> Drivers(uint32_t count) {
  const std::string data = std::string(VQ_GAME_DIR) + "/Data";
  std::ifstream in(data + "/class_AI_" + kTrack + ".bin", std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  std::vector<AIDriverRecord> records;
  AI_Parse(bytes.data(), bytes.size(), records);
  std::vector<AIParameters> out(count);
  for (uint32_t i = 0; i < count && !records.empty(); ++i)
    AIParameters_FromRecord(records[i % records.size()].bytes, &out[i]);
  return out;
}

// A private tracks folder: the first load writes the terrain cache.
struct Folder {
  fs::path path = fs::temp_directory_path() / ("qvx_bench_race_" + std::to_string(::getpid()));
  Folder() {
    fs::remove_all(path);
    fs::create_directories(path);
    for (const auto& e : fs::directory_iterator(fs::path(VQ_GAME_DIR) / "Data" / "Tracks"))
      if (e.path().extension() != ".vqt") fs::copy_file(e.path(), path / e.path().filename());
  }
  ~Folder() { fs::remove_all(path); }
};

void RaceField(benchmark::State& state, bool drivers) {
  const uint32_t cars = uint32_t(state.range(0));
  Folder folder;
  g_VQsystem.Init();
  double simulated = 0.0, wall = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      RaceSession race;
      RaceSessionConfig c;
      c.dataFolder = std::string(VQ_GAME_DIR) + "/Data";
      c.tracksFolder = folder.path.string();
      c.track = kTrack;
      c.laps = 100;
      if (!race.Load(c)) {
        state.SkipWithError(race.m_error.c_str());
        break;
      }
      for (const AIParameters& p : Drivers(cars)) race.AddComputer(p);
      race.Start();
      // Through the start sequence to the green light, then 5 s of racing to spread the field.
      while (race.RaceTime() < 5.0f) race.Frame();
      if (!drivers)
        for (uint32_t i = 0; i < race.ParticipantCount(); ++i)
          if (VQVehicleModel* m = race.GetRacer(i)->GetVehicle()) m->m_postStepCallback = nullptr;
      state.ResumeTiming();
      const auto t0 = std::chrono::steady_clock::now();
      for (int f = 0; f < 60 * 20; ++f) race.Frame();  // 20 s of race clock
      wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      simulated += 20.0;
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  g_VQsystem.Shutdown();
  state.counters["sim_s_per_s"] = wall > 0.0 ? simulated / wall : 0.0;
  state.counters["cars"] = cars;
}

void BM_ComputerRace(benchmark::State& state) { RaceField(state, true); }
void BM_PhysicsOnly(benchmark::State& state) { RaceField(state, false); }

BENCHMARK(BM_ComputerRace)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PhysicsOnly)->Arg(32)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
