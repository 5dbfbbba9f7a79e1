// Per-call cost of the engine math on hot paths: matrix products, the rigid inverse, point
// transforms, and the triangle and sphere queries of the terrain and collision code.
// Baseline: "BaselineFloatProduct", a plain 4x4 product in float arithmetic without the
// double widening the engine uses. After the usual table, every benchmark's time is printed
// as a ratio to that baseline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Zentri/math/VQMath.h"

namespace {

// Inputs cycled through so nothing folds to a constant; indices are masked with kMask, and
// the arrays carry kPad extra entries so a run of 16 starting anywhere stays inside.
constexpr size_t kSet = 256;
constexpr size_t kMask = kSet - 1;
constexpr size_t kPad = 16;

struct Inputs {
  std::vector<VQMatrix> mats;
  std::vector<VQVector> pts, dirs;
  std::vector<float> radii;
  Inputs() {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> ang(-3.1f, 3.1f), pos(-50.0f, 50.0f), rad(0.1f, 3.0f);
    for (size_t i = 0; i < kSet + kPad; ++i) {
      VQMatrix m;
      m.MakeRotation(ang(rng), ang(rng), ang(rng));
      m.SetTranslation(pos(rng), pos(rng), pos(rng));
      mats.push_back(m);
      pts.emplace_back(pos(rng), pos(rng), pos(rng));
      VQVector d(pos(rng), pos(rng), pos(rng));
      d.Normalize();
      dirs.push_back(d);
      radii.push_back(rad(rng));
    }
  }
};

const Inputs& In() {
  static const Inputs in;
  return in;
}

void FloatProduct(float* out, const float* a, const float* b) {
  float t[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      t[4 * r + c] = a[4 * r] * b[c] + a[4 * r + 1] * b[4 + c] + a[4 * r + 2] * b[8 + c] +
                     a[4 * r + 3] * b[12 + c];
  for (int k = 0; k < 16; ++k) out[k] = t[k];
}

void BaselineFloatProduct(benchmark::State& state) {
  const Inputs& in = In();
  VQMatrix out;
  size_t i = 0;
  for (auto _ : state) {
    FloatProduct(out.m, in.mats[i & kMask].m, in.mats[(i + 1) & kMask].m);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BaselineFloatProduct);

void MatrixMultiply(benchmark::State& state) {
  const Inputs& in = In();
  VQMatrix out;
  size_t i = 0;
  for (auto _ : state) {
    VQMatrix_Multiply(out, in.mats[i & kMask], in.mats[(i + 1) & kMask]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatrixMultiply);

void MatrixOperatorProductInPlace(benchmark::State& state) {
  const Inputs& in = In();
  VQMatrix acc = in.mats[0];
  size_t i = 0;
  for (auto _ : state) {
    acc.Multiply(in.mats[i & kMask], acc);
    if ((i & 63) == 63) acc = in.mats[i & kMask];  // keep values bounded
    benchmark::DoNotOptimize(acc);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatrixOperatorProductInPlace);

void MatrixInverse(benchmark::State& state) {
  const Inputs& in = In();
  VQMatrix out;
  size_t i = 0;
  for (auto _ : state) {
    in.mats[i++ & kMask].Inverse(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatrixInverse);

void MatrixGetRigidInverse(benchmark::State& state) {
  const Inputs& in = In();
  VQMatrix out;
  size_t i = 0;
  for (auto _ : state) {
    in.mats[i++ & kMask].GetRigidInverse(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatrixGetRigidInverse);

void MatrixTransformPoint(benchmark::State& state) {
  const Inputs& in = In();
  VQVector out;
  size_t i = 0;
  for (auto _ : state) {
    in.mats[i & kMask].TransformPoint(out, in.pts[(i + 7) & kMask]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatrixTransformPoint);

void MatrixGetRotationAngles(benchmark::State& state) {
  const Inputs& in = In();
  VQVector out;
  size_t i = 0;
  for (auto _ : state) {
    in.mats[i++ & kMask].GetRotationAngles(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MatrixGetRotationAngles);

void QuaternionFromMatrixAndSlerp(benchmark::State& state) {
  const Inputs& in = In();
  VQQuaternion a, b, r;
  size_t i = 0;
  for (auto _ : state) {
    a.FromMatrix(in.mats[i & kMask]);
    b.FromMatrix(in.mats[(i + 1) & kMask]);
    r.Slerp(a, b, 0.3f);
    benchmark::DoNotOptimize(r);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(QuaternionFromMatrixAndSlerp);

void TriangleIsInTriangle(benchmark::State& state) {
  const Inputs& in = In();
  size_t i = 0;
  for (auto _ : state) {
    const VQVector* t = &in.pts[i & kMask];
    bool r = in.pts[(i + 11) & kMask].IsInTriangle(t[0], t[1], t[2]);
    benchmark::DoNotOptimize(r);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TriangleIsInTriangle);

void TriangleClosestPointOnEdges(benchmark::State& state) {
  const Inputs& in = In();
  VQVector out;
  size_t i = 0;
  for (auto _ : state) {
    const VQVector* t = &in.pts[i & kMask];
    in.pts[(i + 11) & kMask].ClosestPointOnTriangleEdges(out, t[0], t[1], t[2]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TriangleClosestPointOnEdges);

void SphereRayDistance(benchmark::State& state) {
  const Inputs& in = In();
  size_t i = 0;
  for (auto _ : state) {
    float d = VQmath_RaySphereDistance(in.pts[i & kMask], 20.0f * in.radii[i & kMask],
                                       in.pts[(i + 5) & kMask], in.dirs[(i + 9) & kMask]);
    benchmark::DoNotOptimize(d);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SphereRayDistance);

// The enclosing sphere of a vehicle's 16 contact spheres.
void SpheresBoundingSphere16(benchmark::State& state) {
  const Inputs& in = In();
  VQVector c;
  float r;
  size_t i = 0;
  for (auto _ : state) {
    const size_t at = i & kMask;
    VQmath_SpheresBoundingSphere(&in.pts[at], &in.radii[at], 16, c, r);
    benchmark::DoNotOptimize(c);
    benchmark::DoNotOptimize(r);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SpheresBoundingSphere16);

// The console table, then each benchmark's time per call as a ratio to the baseline.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      const double ns = r.GetAdjustedCPUTime();
      order_.push_back(r.benchmark_name());
      times_[r.benchmark_name()] = ns;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto base = times_.find("BaselineFloatProduct");
    if (base == times_.end() || base->second <= 0.0) return;
    std::printf("\nper-call time relative to BaselineFloatProduct (%.2f ns):\n", base->second);
    for (const std::string& name : order_)
      std::printf("  %-32s %8.2f ns  x%.2f\n", name.c_str(), times_[name],
                  times_[name] / base->second);
  }

 private:
  std::vector<std::string> order_;
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
