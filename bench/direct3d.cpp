// Frame time of the Direct3D display device against the OpenGL display device, both on Mesa
// (SDL's offscreen driver without a display), in one run: the lit, textured scene of about
// 50,000 triangles of the OpenGL benchmark at 640 x 480, one frame being the device's
// RenderAll and PresentAll as the frame pump runs them. Each frame ends with a one-pixel
// read-back of its canvas so that it is finished when it is counted.
// Baseline: "OpenGLFrame". The target is a Direct3D frame within 1.3 times the OpenGL one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Zentri/devices/display/direct3d/VQD3DCanvas.h"
#include "Zentri/devices/display/direct3d/VQD3DDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneTools.h"

namespace {

constexpr uint32_t kWidth = 640, kHeight = 480;
constexpr uint32_t kTriangles = 50000;

struct Scene {
  VQDisplayDevice* device = nullptr;
  VQCanvas* canvas = nullptr;
  VQViewport* viewport = nullptr;
  VQNode* root = nullptr;
  VQTexture* texture = nullptr;
  VQCamera camera;
  uint32_t triangles = 0;
  bool ok = false;
};

// The scene of the OpenGL benchmark on one device: 16 cells of grids, 4 opaque materials with
// one 64 x 64 checker texture, one directional light, seen from the south.
void Build(Scene& s, uint32_t kind, uint32_t parameter) {
  auto* d = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(kind, 0));
  if (!d || !d->Open(parameter)) return;
  s.device = d;
  s.canvas = d->CreateCanvas(2, 0, kWidth, kHeight, 0, 0);
  if (!s.canvas) return;
  s.viewport = s.canvas->CreateViewport(0, 0, kWidth, kHeight);
  std::vector<uint8_t> checker(64 * 64 * 3);
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x)
      for (uint32_t c = 0; c < 3; ++c) checker[3 * (64 * y + x) + c] = ((x / 8 + y / 8) & 1) ? 230 : 40;
  d->SetTextureMinFilter(VQFILTER_LINEAR);
  s.texture = d->CreateTexture(checker.data(), 64, 64, VQPF_RGB888, nullptr, 0);
  VQNode* large = VQscene_BuildLarge(kTriangles, 4, 16);
  auto* root = new VQRootNode();
  auto* light = new VQLightNode();
  light->m_direction = VQVector(0.3f, 0.5f, -0.8f);
  light->m_diffuse = VQColor(0.9f, 0.9f, 0.9f, 1);
  light->m_ambient = VQColor(0.2f, 0.2f, 0.2f, 1);
  root->SetChild(light);
  VQNode* group = large->GetChild();
  group->Detach();
  VQNode::Destroy(large);
  light->SetChild(group);
  auto* list = static_cast<VQGroupNode*>(group);
  for (uint32_t i = 0; i < list->m_count; ++i) {
    auto* node = static_cast<VQGeosetNode*>(list->m_slots[i]->GetChild());
    VQMattable* t = node->m_table;
    for (uint32_t m = 0; m < t->m_count; ++m) {
      VQMaterial* mat = t->m_slots[m];
      mat->m_srcBlend = 1;
      mat->m_dstBlend = 0;
      mat->m_opacity = 1.0f;
      mat->m_stageCount = 1;
      mat->m_stages[0].m_operation = 4;
      mat->m_stages[0].m_texture = s.texture;
    }
    t->m_hasTransparent = 0;
    VQMesh* mesh = node->m_geoset->m_meshes[0];
    mesh->m_flags &= ~uint32_t(VQMESH_TRANSPARENT);
    // The device holds the mesh and builds what it draws it with (Direct3D: a vertex buffer).
    mesh->m_device = d;
    d->PrepareMesh(mesh, 0);
    s.triangles += mesh->m_triangleCount;
  }
  s.root = root;
  s.camera.SetPosition(VQVector(30, -40, 60));
  VQVector dir(0, 0.8f, -0.6f);
  s.camera.SetViewDirection(dir);
  s.camera.m_far = 1000;
  s.viewport->SetCamera(&s.camera);
  s.viewport->m_root = root;
  s.viewport->m_active = 1;
  s.canvas->Show(true);
  s.ok = s.texture != nullptr;
}

Scene& OpenGLScene() {
  static Scene s;
  static bool built = false;
  if (!built) {
    built = true;
    g_VQsystem.Init();
    Build(s, VQDEVICE_OPENGL_DISPLAY, 0);
  }
  return s;
}

Scene& Direct3DScene() {
  static Scene s;
  static bool built = false;
  if (!built) {
    built = true;
    OpenGLScene();  // the OpenGL table reads the one pixel of both devices' frames
    Build(s, VQDEVICE_D3D_DISPLAY, VQD3D_ALLOW_HARDWARE | VQD3D_ALLOW_TNL | VQD3D_ALLOW_NON_TNL);
  }
  return s;
}

// A one-pixel read of the canvas's frame in its own context.
void Finish(Scene& s) {
  uint8_t pixel[4];
  s.canvas->MakeCurrent();
  g_VQgl.ReadPixels(0, 0, 1, 1, VQGL_RGB, VQGL_UNSIGNED_BYTE, pixel);
  s.canvas->End();
  benchmark::DoNotOptimize(pixel[0]);
}

// Mean brightness of the last frame (0..255): both devices must draw about the same picture.
double Brightness(Scene& s) {
  VQPixmap* p = s.canvas->GrabRect(0, 0, kWidth, kHeight);
  if (!p) return -1;
  const auto* px = static_cast<const uint8_t*>(p->Lock(nullptr));
  double sum = 0;
  for (size_t i = 0; i < size_t(kWidth) * kHeight * 3; ++i) sum += px[i];
  s.device->DeletePixmap(p);
  return sum / (double(kWidth) * kHeight * 3);
}

void Frames(benchmark::State& state, Scene& s) {
  if (!s.ok) {
    state.SkipWithError("no device");
    return;
  }
  for (auto _ : state) {
    s.device->RenderAll();
    s.device->PresentAll();
    Finish(s);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = s.triangles;
  state.counters["brightness"] = Brightness(s);
}

void OpenGLFrame(benchmark::State& state) { Frames(state, OpenGLScene()); }
void Direct3DFrame(benchmark::State& state) { Frames(state, Direct3DScene()); }

BENCHMARK(OpenGLFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(Direct3DFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0 || r.error_occurred) continue;
      order_.push_back(r.benchmark_name());
      times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::string baseName;
    for (const auto& [name, t] : times_)
      if (name.rfind("OpenGLFrame", 0) == 0) baseName = name;
    if (baseName.empty() || times_[baseName] <= 0.0) return;
    const double base = times_[baseName];
    std::printf("\nframe time relative to OpenGLFrame (%.2f ms, %.1f frames/s; target for Direct3D: x1.30 or less):\n",
                base, 1000.0 / base);
    for (const std::string& name : order_)
      std::printf("  %-24s %8.2f ms  %6.1f frames/s  x%.2f\n", name.c_str(), times_[name], 1000.0 / times_[name],
                  times_[name] / base);
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
