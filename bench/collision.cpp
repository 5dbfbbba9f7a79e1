// Race physics on the sample track.
//   Terrain: building the tree from the collider meshes against reading its cache file
//     (baseline "TerrainBuild"; the read should be at least 10 times faster), what a race does
//     without the cache: read the track's scene file and build from its colliders
//     ("TerrainFromScene", against which the cache read is also compared), and the ground
//     and sweep queries against brute force over all triangles (baselines "BruteHeight",
//     "BruteSweep").
//   Race: the largest field, 1 CAR_2 and 31 CAR_1 cars, driven for whole frames of 1/60 s:
//     simulated seconds per wall second, with the world's per-car work on 1 thread and on 4
//     (the field goes back to the grid every 3 simulated seconds). One collision sub-step
//     (0.005 s) is broken into the model evaluations, the ground queries the models make, the
//     track contacts and the body contacts.
// After the table, each benchmark's time is printed as a ratio to its baseline.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

VQSampleTrack& Track() {
  static VQSampleTrack* track = [] {
    auto* t = new VQSampleTrack;
    t->BuildTerrain();
    return t;
  }();
  return *track;
}

std::string TempFile(const char* base) { return "/tmp/" + std::string(base) + std::to_string(::getpid()); }

void TerrainBuild(benchmark::State& state) {
  VQSampleTrack& track = Track();
  const std::vector<VQTerrainMesh> meshes = track.TerrainMeshes();
  VQTerrainTree tree;
  for (auto _ : state) {
    tree.Build(meshes.data(), uint32_t(meshes.size()), nullptr, false, 32, 8);
    benchmark::DoNotOptimize(tree.GetRoot());
  }
  state.counters["triangles"] = tree.GetTriangleCount();
}
BENCHMARK(TerrainBuild)->Unit(benchmark::kMicrosecond);

void TerrainFromScene(benchmark::State& state) {
  const std::string name = TempFile("bench_track.vqo");
  Track().WriteScene(name.c_str());
  VQSampleTrack track;
  for (auto _ : state) {
    VQNode* scene = nullptr;
    if (!VQscene_ReadDatabase(&scene, name.c_str(), nullptr, 0, false)) {
      state.SkipWithError("cannot read the track scene");
      break;
    }
    track.BuildTerrainFromScene(scene);
    VQNode::Destroy(scene);
    benchmark::DoNotOptimize(track.m_terrain.GetRoot());
  }
  state.counters["triangles"] = track.m_terrain.GetTriangleCount();
  std::remove(name.c_str());
}
BENCHMARK(TerrainFromScene)->Unit(benchmark::kMicrosecond);

void TerrainRead(benchmark::State& state) {
  const std::string name = TempFile("bench_terrain.vqt");
  Track().m_terrain.Write(name.c_str());
  VQTerrainTree tree;
  for (auto _ : state) {
    tree.Read(name.c_str());
    benchmark::DoNotOptimize(tree.GetRoot());
  }
  std::remove(name.c_str());
}
BENCHMARK(TerrainRead)->Unit(benchmark::kMicrosecond);

struct Queries {
  std::vector<VQVector> points, starts, ends;
  Queries() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-110.0f, 110.0f), d(-0.2f, 0.2f), z(0.2f, 1.0f);
    for (int i = 0; i < 1024; ++i) {
      // A wheel's path: short hops from one point to the next, as between evaluations.
      const VQVector p = i % 16 == 0 ? VQVector(pos(rng), pos(rng), 0.0f) : VQVector(points.back().x + d(rng), points.back().y + 0.1f, 0.0f);
      points.push_back(p);
      starts.emplace_back(p.x, p.y, z(rng));
      ends.emplace_back(p.x + d(rng), p.y + d(rng), starts.back().z - 0.1f);
    }
  }
};
const Queries& Q() {
  static const Queries q;
  return q;
}

void BruteHeight(benchmark::State& state) {
  const VQTerrainTree& tree = Track().m_terrain;
  size_t i = 0;
  for (auto _ : state) {
    const VQVector& p = Q().points[i++ & 1023];
    float h = VQTERRAIN_NO_GROUND;
    for (uint32_t k = 0; k < tree.GetTriangleCount(); ++k)
      if (VQTerrainTree::TriangleHeight(tree.GetTriangles()[k], p.x, p.y, &h)) break;
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BruteHeight);

void GetHeight(benchmark::State& state) {
  const VQTerrainTree& tree = Track().m_terrain;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.GetHeight(Q().points[i++ & 1023], nullptr, nullptr, nullptr));
  }
}
BENCHMARK(GetHeight);

void GetHeightWithHint(benchmark::State& state) {
  const VQTerrainTree& tree = Track().m_terrain;
  size_t i = 0;
  uint32_t hint = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.GetHeight(Q().points[i++ & 1023], nullptr, nullptr, &hint));
  }
}
BENCHMARK(GetHeightWithHint);

void BruteSweep(benchmark::State& state) {
  const VQTerrainTree& tree = Track().m_terrain;
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ & 1023;
    float best = 1e9f, t;
    VQVector h;
    for (uint32_t n = 0; n < tree.GetTriangleCount(); ++n)
      if (VQTerrainTree::TriangleSweep(tree.GetTriangles()[n], Q().starts[k], Q().ends[k], 0.4f, &t, &h) && t < best)
        best = t;
    benchmark::DoNotOptimize(best);
  }
}
BENCHMARK(BruteSweep);

void SweepSphere(benchmark::State& state) {
  const VQTerrainTree& tree = Track().m_terrain;
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ & 1023;
    float t;
    VQVector h;
    uint32_t w;
    benchmark::DoNotOptimize(tree.SweepSphere(Q().starts[k], Q().ends[k], 0.4f, &t, &h, &w));
  }
}
BENCHMARK(SweepSphere);

// ---------------------------------------------------------------- the race field

struct Phases {
  double model = 0, ground = 0, track = 0, bodies = 0, queries = 0;
};
Phases g_phases;

struct Field {
  std::string high = TempFile("bench_high.bin"), mid = TempFile("bench_mid.bin");
  VQCollisionWorld world;
  std::vector<std::unique_ptr<TolvuCarModel>> cars;
  float time = 0.0f;
  explicit Field(uint32_t threads = 1) {
    VQSampleTrack::SetCurrent(&Track());
    world.SetThreadCount(threads);
    TolvuCarModel_WriteDefaultStoreFile(2, high.c_str());
    TolvuCarModel_WriteDefaultStoreFile(1, mid.c_str());
    world.SetTrackQuery(VQSampleTrack::SweepSphere);
    world.SetTrackBoxQuery(VQSampleTrack::BoxHasTrack);
    for (int i = 0; i < 32; ++i) {
      std::unique_ptr<TolvuCarModel> car;
      VQVector start;
      if (i == 0) {
        car = std::make_unique<TolvuCarModel2>();
        start.Set(0, -10, 0);
      } else {
        car = std::make_unique<TolvuCarModel1>();
        // A grid of 4 rows of 8, 6 m apart side by side and 8 m apart front to back.
        start.Set(-42.0f + 12.0f * float((i - 1) % 8), -20.0f - 8.0f * float((i - 1) / 8), 0);
      }
      Track().AddCarSpheres(*car);
      car->Initialize(nullptr, (i == 0 ? high : mid).c_str(), start, {0, 0, 0},
                      VQSampleTrack::GroundHeight);
      car->SetGear(2);
      car->SetClutch(1.0f);
      car->SetThrottle(i % 3 == 0 ? 1.0f : 0.6f);
      car->SetSteering(i % 2 ? 0.05f : -0.05f);
      world.AddBody(car.get());
      cars.push_back(std::move(car));
    }
    std::remove(high.c_str());
    std::remove(mid.c_str());
    for (int f = 0; f < 60; ++f) Frame();  // under way
  }
  void Frame() {
    world.Step(time, 1.0f / 60.0f);
    time += 1.0f / 60.0f;
  }
};
// Counts the ground queries the models make, passing them on to the track.
long g_groundCalls = 0;
float CountingGround(const VQVector* point, VQVector* normal, float* dry, float* wet,
                     float* coefficient, float* raw, uint32_t* material, uint32_t* hint) {
  ++g_groundCalls;
  return VQSampleTrack::GroundHeight(point, normal, dry, wet, coefficient, raw, material, hint);
}

// Every 3 simulated seconds the cars go back to their start places, so that the field keeps
// driving on the track instead of piling up at the boundary.
void Restart(Field& f) {
  for (auto& c : f.cars) c->Reset(false);
}

// The argument is the world's thread count. Wall-clock time: the workers' time is not the
// benchmark thread's CPU time. Every 3 simulated seconds the field is put back on the grid (the
// rescue of every car, in the measured time): a field left to itself ends up pressed against the
// boundary wall, and a benchmark that runs longer would measure more of that pile-up than of a
// race.
void RaceFrames32Cars(benchmark::State& state) {
  Field f(uint32_t(state.range(0)));
  long n = 0;
  for (auto _ : state) {
    if (++n % 180 == 0) Restart(f);
    f.Frame();
  }
  state.counters["sim_s_per_wall_s"] =
      benchmark::Counter(double(state.iterations()) / 60.0, benchmark::Counter::kIsRate);
}
BENCHMARK(RaceFrames32Cars)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

void SubStepWhole(benchmark::State& state) {
  Field f;
  long n = 0;
  for (auto _ : state) {
    if (++n % 600 == 0) {
      state.PauseTiming();
      Restart(f);
      state.ResumeTiming();
    }
    f.world.Step(f.time, 0.005f);  // with the carry: one sub-step each call
    f.time += 0.005f;
  }
}
BENCHMARK(SubStepWhole)->Unit(benchmark::kMicrosecond);

// The same sub-step taken apart into its phases, each timed over the whole field: model
// evaluations (Prepare and Step, ground queries included), track contacts, body contacts
// (broad phase and pairs). The ground queries' share of the model phase is their count times
// the cost of one query measured afterwards at the wheels' last contacts.
void SubStepPhases(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  Field f;
  for (auto& c : f.cars) c->m_groundQuery = CountingGround;
  const float h = 0.005f;
  double model = 0, track = 0, bodies = 0;
  g_groundCalls = 0;
  uint32_t counter = 0;
  for (auto _ : state) {
    if ((counter + 1) % 600 == 0) {
      state.PauseTiming();
      Restart(f);
      state.ResumeTiming();
    }
    const bool even = counter % 2 == 0;
    f.time += h;
    auto steps = [&](size_t i) { return even || f.cars[i]->IsFullRate(); };
    auto t0 = Clock::now();
    for (size_t i = 0; i < f.cars.size(); ++i) {
      if (!steps(i)) continue;
      TolvuCarModel& c = *f.cars[i];
      VQVector v;
      c.SetExternalForce(c.GetPresetForce(v));
      c.SetExternalTorque(c.GetPresetTorque(v));
      c.Prepare(int(i) + 1, f.time);
    }
    auto t1 = Clock::now();
    for (size_t i = 0; i < f.cars.size(); ++i) {
      if (!steps(i)) continue;
      TolvuCarModel& c = *f.cars[i];
      VQCollisionBody& b = *c.GetCollisionBody();
      c.GetWorldMatrix()->TransformPoint(b.worldEnclosingCentre, b.enclosingCentre);
      f.world.CollideWithTrack(&c, VQSampleTrack::SweepSphere);
    }
    auto t2 = Clock::now();
    uint64_t handled[VQCOLLISION_MAX_BODIES] = {};
    for (size_t i = 0; i < f.cars.size(); ++i) {
      if (!steps(i)) continue;
      VQVehicleModel* candidates[VQCOLLISION_MAX_CANDIDATES];
      uint32_t count = 0;
      const VQCollisionBody& bi = *f.cars[i]->GetCollisionBody();
      for (size_t j = 0; j < f.cars.size(); ++j) {
        if (j == i || (handled[j] >> i & 1)) continue;
        const VQCollisionBody& bj = *f.cars[j]->GetCollisionBody();
        const float r = bi.enclosingRadius + bj.enclosingRadius;
        const VQVector d = bi.worldEnclosingCentre - bj.worldEnclosingCentre;
        if (!d.IsSmallerThan(r) || !(d.LengthSquared() < r * r)) continue;
        if (count < VQCOLLISION_MAX_CANDIDATES) candidates[count++] = f.cars[j].get();
        handled[i] |= uint64_t(1) << j;
      }
      f.world.CollideBodies(f.cars[i].get(), candidates, count);
    }
    auto t3 = Clock::now();
    for (size_t i = 0; i < f.cars.size(); ++i)
      if (steps(i)) f.cars[i]->Step(int(i) + 1, f.time, f.cars[i]->IsFullRate() ? h : 2 * h);
    auto t4 = Clock::now();
    model += std::chrono::duration<double>(t1 - t0 + (t4 - t3)).count();
    track += std::chrono::duration<double>(t2 - t1).count();
    bodies += std::chrono::duration<double>(t3 - t2).count();
    ++counter;
  }
  // One ground query's cost at the wheels' last contacts, with their hints.
  const int rounds = 2000;
  auto c0 = Clock::now();
  for (int r = 0; r < rounds; ++r)
    for (auto& c : f.cars)
      for (int w = 0; w < 4; ++w) {
        VQVector normal;
        float dry, wet, coef, raw;
        uint32_t material;
        benchmark::DoNotOptimize(VQSampleTrack::GroundHeight(&c->m_wheelContact[w], &normal, &dry, &wet,
                                                             &coef, &raw, &material, &c->m_wheelHint[w]));
      }
  const double perQuery = std::chrono::duration<double>(Clock::now() - c0).count() / (rounds * 4.0 * f.cars.size());
  const double n = double(state.iterations());
  const double ground = perQuery * double(g_groundCalls);
  state.counters["model_us"] = (model - ground) / n * 1e6;
  state.counters["ground_us"] = ground / n * 1e6;
  state.counters["track_us"] = track / n * 1e6;
  state.counters["bodies_us"] = bodies / n * 1e6;
  state.counters["queries"] = double(g_groundCalls) / n;
  g_phases = {(model - ground) / n * 1e6, ground / n * 1e6, track / n * 1e6, bodies / n * 1e6,
              double(g_groundCalls) / n};
}
BENCHMARK(SubStepPhases)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations)
        times_[r.benchmark_name()] = r.GetAdjustedRealTime() *
                                     (r.time_unit == benchmark::kMillisecond   ? 1e6
                                      : r.time_unit == benchmark::kMicrosecond ? 1e3
                                                                               : 1.0);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto ratio = [&](const char* a, const char* base, const char* what) {
      if (!times_.count(a) || !times_.count(base) || times_[a] <= 0) return;
      std::printf("  %-24s %s x%.1f (%s)\n", a, what, times_[base] / times_[a], base);
    };
    std::printf("\nspeed-ups against baselines:\n");
    ratio("TerrainRead", "TerrainBuild", "faster than");
    ratio("TerrainRead", "TerrainFromScene", "faster than");
    ratio("GetHeight", "BruteHeight", "faster than");
    ratio("GetHeightWithHint", "BruteHeight", "faster than");
    ratio("SweepSphere", "BruteSweep", "faster than");
    if (times_.count("SubStepPhases")) {
      const double whole = times_["SubStepPhases"] / 1e3;
      std::printf("\none sub-step, 1 CAR_2 + 31 CAR_1: %.1f us (world step: %.1f us)\n", whole,
                  times_.count("SubStepWhole") ? times_["SubStepWhole"] / 1e3 : 0.0);
      const std::pair<const char*, double> parts[] = {
          {"model evaluations", g_phases.model}, {"ground queries", g_phases.ground},
          {"track contacts", g_phases.track}, {"body contacts", g_phases.bodies}};
      for (const auto& [name, us] : parts)
        std::printf("  %-18s %8.1f us  %5.1f %%\n", name, us, 100.0 * us / whole);
      std::printf("  (%.0f ground queries per sub-step)\n", g_phases.queries);
    }
    std::printf("\n");
    for (int threads : {1, 4}) {
      const std::string name = "RaceFrames32Cars/" + std::to_string(threads) + "/real_time";
      if (times_.count(name) && times_[name] > 0)
        std::printf("race of 32 cars on %d threads: %.1f simulated seconds per wall second\n", threads,
                    (1e9 / 60.0) / times_[name]);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
