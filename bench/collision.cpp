// Race physics on the sample track.
//   Terrain: building the tree from the collider meshes against reading its cache file
//     (baseline "TerrainBuild"; the read should be at least 10 times faster), and the ground
//     and sweep queries against brute force over all triangles (baselines "BruteHeight",
//     "BruteSweep").
//   Race: the largest field, 1 CAR_2 and 31 CAR_1 cars, driven for whole frames of 1/60 s:
//     simulated seconds per wall second. One collision sub-step (0.005 s) is broken into the
//     model evaluations (ground queries answered flat at no cost), the ground queries the
//     models make in it, and the contact routines.
// After the table, each benchmark's time is printed as a ratio to its baseline.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQSampleTrack.h"
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

float FlatGround(const VQVector*, VQVector* normal, float* dry, float* wet, float* coefficient,
                 float* raw, uint32_t* material, uint32_t*) {
  normal->Set(0, 0, 1);
  *dry = *wet = 1.0f;
  *coefficient = 0.012f;
  *raw = 0.005f;
  *material = 0;
  return 0.01f;
}

struct Field {
  std::string high = TempFile("bench_high.bin"), mid = TempFile("bench_mid.bin");
  VQCollisionWorld world;
  std::vector<std::unique_ptr<TolvuCarModel>> cars;
  float time = 0.0f;
  Field() {
    VQSampleTrack::SetCurrent(&Track());
    TolvuCarModel_WriteDefaultStoreFile(2, high.c_str());
    TolvuCarModel_WriteDefaultStoreFile(1, mid.c_str());
    world.SetTrackQuery(VQSampleTrack::SweepSphere);
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
Field& TheField() {
  static Field* field = new Field;
  return *field;
}

void RaceFrames32Cars(benchmark::State& state) {
  Field& f = TheField();
  for (auto _ : state) f.Frame();
  state.counters["sim_s_per_wall_s"] =
      benchmark::Counter(double(state.iterations()) / 60.0, benchmark::Counter::kIsRate);
}
BENCHMARK(RaceFrames32Cars)->Unit(benchmark::kMillisecond);

void SubStepWhole(benchmark::State& state) {
  Field& f = TheField();
  for (auto _ : state) {
    f.world.Step(f.time, 0.005f);  // with the carry: one sub-step each call
    f.time += 0.005f;
  }
}
BENCHMARK(SubStepWhole)->Unit(benchmark::kMicrosecond);

// The model evaluations of one sub-step (every car's Prepare and Step; the CAR_1 cars step
// in every second sub-step, so half of them here), ground answered flat at no cost.
void SubStepModels(benchmark::State& state) {
  Field& f = TheField();
  std::vector<VQGroundQuery> saved;
  for (auto& c : f.cars) {
    saved.push_back(c->m_groundQuery);
    c->m_groundQuery = FlatGround;
  }
  int n = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < f.cars.size(); ++i) {
      TolvuCarModel& c = *f.cars[i];
      if (!c.IsFullRate() && (i + n) % 2) continue;
      c.Prepare(int(i) + 1, f.time);
      c.Step(int(i) + 1, f.time, c.IsFullRate() ? 0.005f : 0.01f);
    }
    ++n;
  }
  for (size_t i = 0; i < f.cars.size(); ++i) f.cars[i]->m_groundQuery = saved[i];
}
BENCHMARK(SubStepModels)->Unit(benchmark::kMicrosecond);

// The ground queries of one sub-step: 8 per stepping car (4 wheels, 2 evaluations that run
// the equations), at the cars' wheel contacts with their hints.
void SubStepGroundQueries(benchmark::State& state) {
  Field& f = TheField();
  int n = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < f.cars.size(); ++i) {
      TolvuCarModel& c = *f.cars[i];
      if (!c.IsFullRate() && (i + n) % 2) continue;
      for (int e = 0; e < 2; ++e)
        for (int w = 0; w < 4; ++w) {
          VQVector normal;
          float dry, wet, coef, raw;
          uint32_t material;
          benchmark::DoNotOptimize(VQSampleTrack::GroundHeight(
              &c.m_wheelContact[w], &normal, &dry, &wet, &coef, &raw, &material, &c.m_wheelHint[w]));
        }
    }
    ++n;
  }
}
BENCHMARK(SubStepGroundQueries)->Unit(benchmark::kMicrosecond);

// The contact routines of one sub-step: the track sweeps of every stepping car's spheres over
// one sub-step's motion, and the body contacts against every other car.
void SubStepContacts(benchmark::State& state) {
  Field& f = TheField();
  std::vector<VQVehicleModel*> all;
  for (auto& c : f.cars) all.push_back(c.get());
  int n = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < f.cars.size(); ++i) {
      TolvuCarModel& c = *f.cars[i];
      if (!c.IsFullRate() && (i + n) % 2) continue;
      VQCollisionBody& b = *c.GetCollisionBody();
      VQVector v = c.GetVelocity();
      for (uint32_t s = 0; s < b.sphereCount; ++s)
        b.previousWorldCentres[s] = b.worldCentres[s] - v * 0.005f;
      f.world.CollideWithTrack(&c, VQSampleTrack::SweepSphere);
      f.world.CollideBodies(&c, all.data(), 0);
    }
    ++n;
  }
}
BENCHMARK(SubStepContacts)->Unit(benchmark::kMicrosecond);

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
    ratio("GetHeight", "BruteHeight", "faster than");
    ratio("GetHeightWithHint", "BruteHeight", "faster than");
    ratio("SweepSphere", "BruteSweep", "faster than");
    if (times_.count("SubStepWhole")) {
      const double whole = times_["SubStepWhole"];
      std::printf("\none sub-step, 1 CAR_2 + 31 CAR_1: %.1f us\n", whole / 1e3);
      for (const char* part : {"SubStepModels", "SubStepGroundQueries", "SubStepContacts"})
        if (times_.count(part))
          std::printf("  %-22s %8.1f us  %5.1f %%\n", part, times_[part] / 1e3,
                      100.0 * times_[part] / whole);
    }
    if (times_.count("RaceFrames32Cars"))
      std::printf("\nrace of 32 cars: %.1f simulated seconds per wall second\n",
                  (1e9 / 60.0) / times_["RaceFrames32Cars"]);
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
