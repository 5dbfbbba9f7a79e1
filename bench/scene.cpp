// Scene database loading and one render traversal of a large generated scene (about 100k
// triangles, 500 materials in 50 tables). Baselines: copying the file's bytes (what any
// reader must at least touch) for the load, and a bare Visit walk of the same tree for the
// traversal. Rates are bytes, triangles or nodes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/scene/VQViewport.h"

namespace {

constexpr uint32_t kTriangles = 100000, kMaterials = 500, kCells = 50;

const std::vector<uint8_t>& LargeFile() {
  static std::vector<uint8_t> file;
  if (file.empty()) {
    VQNode* root = VQscene_BuildLarge(kTriangles, kMaterials, kCells);
    VQscene_WriteDatabaseMemory(root, file, 11);
    VQNode::Destroy(root);
  }
  return file;
}

uint32_t CountTriangles(VQNode* root) {
  uint32_t total = 0;
  root->Visit(
      [](VQNode* n, void* ctx) {
        if (n->m_type == VQNODE_GEOSET) {
          VQGeoset* g = static_cast<VQGeosetNode*>(n)->m_geoset;
          if (g && g->m_levelCount) *static_cast<uint32_t*>(ctx) += g->m_meshes[0]->m_triangleCount;
        }
        return true;
      },
      &total);
  return total;
}

void CopyBaseline(benchmark::State& state) {
  const auto& file = LargeFile();
  std::vector<uint8_t> copy(file.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), file.data(), file.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void LoadLargeDatabase(benchmark::State& state) {
  const auto& file = LargeFile();
  uint32_t triangles = 0;
  for (auto _ : state) {
    VQNode* root = nullptr;
    if (!VQscene_ReadDatabaseMemory(&root, file.data(), file.size(), nullptr, 11, false)) {
      state.SkipWithError("read failed");
      break;
    }
    state.PauseTiming();
    triangles = CountTriangles(root);
    VQNode::Destroy(root);
    VQmaterial_LibraryFreeAll();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
  state.counters["triangles"] = triangles;
  state.counters["triangles/s"] =
      benchmark::Counter(double(triangles), benchmark::Counter::kIsIterationInvariantRate);
}

struct Viewing {
  VQSoftwareDisplayDevice device{9};  // draws nothing: the cost is the traversal
  VQViewport viewport;
  VQCamera camera;
  VQNode* root = nullptr;
  Viewing() {
    const auto& file = LargeFile();
    VQscene_ReadDatabaseMemory(&root, file.data(), file.size(), nullptr, 11, false);
    viewport.Create(nullptr, 0, 0, 1024, 768);
    viewport.m_display = &device;
    viewport.m_active = 1;
    viewport.SetCamera(&camera);
    viewport.m_root = root;
    // Above the grid of cells, looking down its length: most cells in view.
    camera.SetPosition(VQVector(70, -60, 40));
    camera.SetViewDirection(VQVector(0, 0.8f, -0.6f));
  }
  ~Viewing() {
    VQNode::Destroy(root);
    VQmaterial_LibraryFreeAll();
  }
};

void VisitBaseline(benchmark::State& state) {
  Viewing v;
  uint32_t nodes = 0;
  for (auto _ : state) {
    nodes = 0;
    v.root->Visit([](VQNode*, void* c) { ++*static_cast<uint32_t*>(c); return true; }, &nodes);
    benchmark::DoNotOptimize(nodes);
  }
  state.counters["nodes/s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate);
}

void RenderTraversal(benchmark::State& state) {
  Viewing v;
  uint32_t nodes = 0;
  v.root->Visit([](VQNode*, void* c) { ++*static_cast<uint32_t*>(c); return true; }, &nodes);
  for (auto _ : state) {
    v.viewport.Render(0);
    benchmark::ClobberMemory();
  }
  state.counters["nodes/s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["meshes"] = g_VQrender.m_stats[VQSTAT_MESHES];
  state.counters["rejected"] = g_VQrender.m_stats[VQSTAT_REJECTED];
}

}  // namespace

BENCHMARK(CopyBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadLargeDatabase)->Unit(benchmark::kMicrosecond);
BENCHMARK(VisitBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(RenderTraversal)->Unit(benchmark::kMicrosecond);
