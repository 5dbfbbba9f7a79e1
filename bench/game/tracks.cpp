// Tracks: a load of a generated track with its terrain built from the scene (cold) against one
// that reads the terrain cache, the terrain step alone both ways (the cache must be at least ten
// times faster), and one race frame (physics sub-steps, lap tracking, race states) with 32 cars
// of the CAR_1 model on the grid of a track.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace fs = std::filesystem;

namespace {

struct World {
  World() {
    VQlog_SetFileName(nullptr);
    g_VQsystem.Init();
    dir = fs::temp_directory_path() / ("bench_tracks_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "Tracks");
    const fs::path data = fs::path(VQ_GAME_DIR) / "Data";
    for (const auto& e : fs::directory_iterator(data / "Tracks"))
      if (e.path().extension() != ".vqt")
        fs::copy_file(e.path(), dir / "Tracks" / e.path().filename());
    display.Open(0);
    software.Open(0);
    weather.LoadWeatherConfigs(true, (data / "weather.ini").c_str());
    weather.LoadRainConfigs(true, (data / "weather_rain.ini").c_str());
    weather.LoadThunderConfigs(true, (data / "weather_thunder.ini").c_str());
    std::vector<uint8_t> bytes;
    uint32_t header[3];
    if (vqfileio::ReadWholeFile((data / "Materials.bin").c_str(), bytes, 24))
      Materials_Parse(bytes.data(), bytes.size(), header, materials);
    services.display = &display;
    services.software = &software;
    services.weather = &weather;
    services.materials = &materials;
    services.tracksFolder = (dir / "Tracks").string();
    services.textureFolder = (data / "Maps_high").string();
    services.mapsCarsFolder = (data / "Maps_cars").string();
  }
  ~World() {
    display.Close();
    software.Close();
    g_VQsystem.Shutdown();
    fs::remove_all(dir);
  }
  fs::path dir;
  VQSoftwareDisplayDevice display{40}, software{41};
  WeatherDatabase weather;
  std::vector<CollisionMaterial> materials;
  TrackServices services;
};

World& TheWorld() {
  static World world;
  return world;
}

// Seconds per iteration of the cold runs, for the ratios the cached runs report.
double g_coldLoad = 0.0, g_coldTerrain = 0.0;

double SecondsPerIteration(const std::chrono::steady_clock::time_point& start,
                           benchmark::State& state) {
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return state.iterations() ? s / double(state.iterations()) : 0.0;
}

void Load(benchmark::State& state, bool cached) {
  World& w = TheWorld();
  const fs::path cache = w.dir / "Tracks" / "forest_high.vqt";
  Track track;
  track.m_services = w.services;
  if (cached && !fs::exists(cache)) {
    track.Load("forest", "sunny", 0.0f);
    track.Unload();
  }
  double paused = 0.0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (!track.Load("forest", "sunny", 0.0f)) state.SkipWithError("the track does not load");
    benchmark::DoNotOptimize(track.m_terrain);
    state.PauseTiming();
    const auto unloadStart = std::chrono::steady_clock::now();
    track.Unload();
    if (!cached) fs::remove(cache);
    paused += std::chrono::duration<double>(std::chrono::steady_clock::now() - unloadStart).count();
    state.ResumeTiming();
  }
  const double perLoad = SecondsPerIteration(start, state) -
                         (state.iterations() ? paused / double(state.iterations()) : 0.0);
  if (!cached) g_coldLoad = perLoad;
  if (cached && perLoad > 0.0) state.counters["cold_over_cached"] = g_coldLoad / perLoad;
}
void BM_TrackLoadCold(benchmark::State& state) { Load(state, false); }
void BM_TrackLoadFromCache(benchmark::State& state) { Load(state, true); }
BENCHMARK(BM_TrackLoadCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackLoadFromCache)->Unit(benchmark::kMillisecond);

// The terrain step alone: built over the loaded scene, or read from the cache file.
void BM_TerrainBuild(benchmark::State& state) {
  World& w = TheWorld();
  Track track;
  track.m_services = w.services;
  track.Load("forest", "sunny", 0.0f);
  VQTerrainTree tree;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    tree.BuildFromScene(track.m_scene, nullptr, false, 32, 8);
    benchmark::DoNotOptimize(tree.GetTriangleCount());
  }
  g_coldTerrain = SecondsPerIteration(start, state);
  tree.Write((w.dir / "terrain.vqt").c_str());
}
void BM_TerrainFromCache(benchmark::State& state) {
  World& w = TheWorld();
  VQTerrainTree tree;
  const std::string path = (w.dir / "terrain.vqt").string();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    tree.Read(path.c_str());
    benchmark::DoNotOptimize(tree.GetTriangleCount());
  }
  const double perRead = SecondsPerIteration(start, state);
  if (perRead > 0.0) state.counters["build_over_read"] = g_coldTerrain / perRead;
}
BENCHMARK(BM_TerrainBuild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TerrainFromCache)->Unit(benchmark::kMicrosecond);

// A car on the grid with fixed controls.
class BenchRacer : public TrackRacer {
 public:
  explicit BenchRacer(const std::string& file) : m_file(file) {}
  uint32_t GetDriverType() const override { return TRACK_DRIVER_COMPUTER; }
  VQVehicleModel* GetVehicle() override { return m_car.get(); }
  VQVector GetPosition() const override { return m_position; }
  VQVector GetPreviousPosition() const override { return m_previous; }
  float GetLapMarkTime() const override { return m_mark; }
  void SetLapMarkTime(float t) override { m_mark = t; }
  void PlaceAtStart(const VQVector& p, float heading) override {
    m_car = std::make_unique<TolvuCarModel1>();
    m_car->Initialize(nullptr, m_file.c_str(), p, VQVector(0, 0, heading), Track::GroundQuery);
    for (float x : {-0.8f, 0.8f})
      for (float y : {-0.6f, 0.6f, 2.0f, 3.2f})
        m_car->AddCollisionSphere(VQVector(x, y, 0.6f), 0.4f, 0);
    m_car->SetGear(2);
    m_car->SetClutch(1.0f);
    m_car->SetThrottle(0.3f);
    m_position = m_previous = m_car->GetPosition();
  }
  void Update(float) override {
    m_previous = m_position;
    m_position = m_car->GetPosition();
  }
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override {
    *lap = 0, *segment = 0, *fraction = 0;
  }
  std::string m_file;
  std::unique_ptr<TolvuCarModel> m_car;
  VQVector m_position{0, 0, 0}, m_previous{0, 0, 0};
  float m_mark = -100.0f;
};

void BM_RaceFrame32Cars(benchmark::State& state) {
  World& w = TheWorld();
  const std::string model = (w.dir / "car1.bin").string();
  TolvuCarModel_WriteDefaultStoreFile(1, model.c_str());
  Track track;
  track.m_services = w.services;
  track.m_services.gameMode = GAME_MODE_COMPUTERS;
  track.m_services.startAtOnce = true;
  if (!track.Load("harbour", "sunny", 0.0f)) state.SkipWithError("the track does not load");
  std::vector<std::unique_ptr<BenchRacer>> racers;
  for (uint32_t i = 0; i < TRACK_MAX_PLAYERS; ++i) {
    racers.push_back(std::make_unique<BenchRacer>(model));
    track.AddPlayer(racers.back().get(), GAME_MODE_COMPUTERS);
    track.m_tracker->AddCar(racers.back().get());
  }
  track.PrepareRace(true);
  float time = 0.0f;
  for (auto _ : state) {
    time += SIMULATION_DEFAULT_STEP;
    track.UpdateRace(time, SIMULATION_DEFAULT_STEP);
  }
  state.counters["cars"] = double(track.m_world->GetBodyCount());
  state.counters["race_s"] = time;
  track.RemoveAllPlayers();
}
BENCHMARK(BM_RaceFrame32Cars)->Unit(benchmark::kMicrosecond);

}  // namespace
