// Car::Update for a field of 32 cars (one human CAR_2 car, 31 computer CAR_1 cars) driving on the
// flat test ground: the per-frame work of the cars apart from the physics (one iteration = one
// frame of all 32 cars, reported in microseconds); and the whole frame, physics included.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "QVX/race/Car.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/FlatGround.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"

namespace {

constexpr int kCars = 32;

struct Field {
  VQDisplayDevice* display = nullptr;
  std::unique_ptr<CarCatalog> catalog;
  std::unique_ptr<FlatGround> ground;
  std::vector<std::unique_ptr<Car>> cars;

  bool Make() {
    if (!g_VQsystem.Init()) return false;
    display = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(4, 0));
    if (!display || !display->Open(0)) return false;
    catalog = std::make_unique<CarCatalog>(VQ_GAME_DIR, display, nullptr);
    static const char* const kClasses[] = {"sport", "gt", "touring", "rally"};
    for (const char* c : kClasses) catalog->LoadClass(c, nullptr);
    ground = std::make_unique<FlatGround>();
    for (int i = 0; i < kCars; ++i) {
      auto car = std::make_unique<Car>();
      CarSetup setup;
      setup.carName = kClasses[i % 4];
      setup.computer = i != 0;
      setup.position = VQVector(float(i % 8) * 6.0f, float(i / 8) * 10.0f, 0.0f);
      if (!car->Create(catalog.get(), ground.get(), setup) || !car->Attach()) return false;
      cars.push_back(std::move(car));
    }
    // Rolling, with throttle and some steer, so that gearbox, slip and effects all work.
    for (int frame = 0; frame < 120; ++frame) Frame(1.0f / 60.0f);
    return true;
  }
  void Controls(int frame) {
    for (size_t i = 0; i < cars.size(); ++i) {
      cars[i]->SetThrottle(0.8f);
      cars[i]->SetSteering((frame / 60 + int(i)) % 2 ? 0.3f : -0.3f);
    }
  }
  void Frame(float dt) {
    Controls(int(ground->GetRaceTime() * 60.0f));
    ground->Step(dt);
  }
  ~Field() {
    for (auto& c : cars) c->Detach();
    cars.clear();
    ground.reset();
    catalog.reset();
    if (display) display->Close();
    g_VQsystem.Shutdown();
  }
};

void BM_CarUpdate32(benchmark::State& state) {
  Field field;
  if (!field.Make()) {
    state.SkipWithError("cannot make the field of cars");
    return;
  }
  float t = field.ground->GetRaceTime();
  for (auto _ : state) {
    t += 1.0f / 60.0f;
    for (auto& car : field.cars) car->Update(1.0f / 60.0f, t);
  }
  state.SetLabel("32 cars, Car::Update only");
}
BENCHMARK(BM_CarUpdate32)->Unit(benchmark::kMicrosecond);

void BM_Frame32(benchmark::State& state) {
  Field field;
  if (!field.Make()) {
    state.SkipWithError("cannot make the field of cars");
    return;
  }
  for (auto _ : state) field.Frame(1.0f / 60.0f);
  state.SetLabel("32 cars, physics of 1/60 s and Car::Update");
}
BENCHMARK(BM_Frame32)->Unit(benchmark::kMicrosecond);

}  // namespace
