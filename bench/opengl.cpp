// Frames per second of the OpenGL display device on Mesa (SDL's offscreen driver without a
// display): a lit, textured scene of about 50,000 triangles at 640 x 480, one frame being the
// device's RenderAll and PresentAll as the frame pump runs them, without the pump's sleep.
// Baseline: "BaselineImmediateLoop", the same meshes drawn by a plain immediate-mode OpenGL
// loop (glBegin, per vertex glNormal3fv, glColor4ubv, glTexCoord2fv, glVertex3fv) with the same light,
// texture and matrices, in the same context. Both end with a one-pixel read-back so the
// frame is finished when it is counted. The ratio shows the engine's overhead.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneTools.h"

namespace {

constexpr uint32_t kWidth = 640, kHeight = 480;
constexpr uint32_t kTriangles = 50000;

struct Scene {
  VQOpenGLDisplayDevice* device = nullptr;
  VQCanvas* canvas = nullptr;
  VQViewport* viewport = nullptr;
  VQNode* root = nullptr;
  VQTexture* texture = nullptr;
  VQLightNode* light = nullptr;
  VQCamera camera;
  uint32_t triangles = 0;
  bool ok = false;
};

Scene& TheScene() {
  static Scene s;
  static bool built = false;
  if (built) return s;
  built = true;
  g_VQsystem.Init();
  s.device = static_cast<VQOpenGLDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (!s.device || !s.device->Open(0)) return s;
  s.canvas = s.device->CreateCanvas(2, 0, kWidth, kHeight, 0, 0);
  if (!s.canvas) return s;
  s.viewport = s.canvas->CreateViewport(0, 0, kWidth, kHeight);
  // A 64 x 64 checker texture for every material.
  std::vector<uint8_t> checker(64 * 64 * 3);
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x)
      for (uint32_t c = 0; c < 3; ++c) checker[3 * (64 * y + x) + c] = ((x / 8 + y / 8) & 1) ? 230 : 40;
  s.device->SetTextureMinFilter(VQFILTER_LINEAR);
  s.texture = s.device->CreateTexture(checker.data(), 64, 64, VQPF_RGB888, nullptr, 0);
  // 16 cells of grids, 4 materials; every material opaque with the texture on one stage.
  VQNode* large = VQscene_BuildLarge(kTriangles, 4, 16);
  auto* root = new VQRootNode();
  s.light = new VQLightNode();
  s.light->m_direction = VQVector(0.3f, 0.5f, -0.8f);
  s.light->m_diffuse = VQColor(0.9f, 0.9f, 0.9f, 1);
  s.light->m_ambient = VQColor(0.2f, 0.2f, 0.2f, 1);
  root->SetChild(s.light);
  VQNode* group = large->GetChild();
  group->Detach();
  VQNode::Destroy(large);
  s.light->SetChild(group);
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
    s.triangles += mesh->m_triangleCount;
  }
  s.root = root;
  // Looking down on the 4 x 4 cells (20 units apart, 16 units wide) from the south.
  s.camera.SetPosition(VQVector(30, -40, 60));
  VQVector d(0, 0.8f, -0.6f);
  s.camera.SetViewDirection(d);
  s.camera.m_far = 1000;
  s.viewport->SetCamera(&s.camera);
  s.viewport->m_root = root;
  s.viewport->m_active = 1;
  s.canvas->Show(true);
  s.ok = s.texture != nullptr;
  return s;
}

void Finish(Scene& s) {
  uint8_t pixel[4];
  s.canvas->MakeCurrent();
  g_VQgl.ReadPixels(0, 0, 1, 1, VQGL_RGB, VQGL_UNSIGNED_BYTE, pixel);
  s.canvas->End();
  benchmark::DoNotOptimize(pixel[0]);
}

// Mean brightness of the last frame (0..255): both benchmarks must draw the same picture.
double Brightness(Scene& s) {
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
  s.canvas->MakeCurrent();
  g_VQgl.PixelStorei(VQGL_PACK_ALIGNMENT, 1);
  g_VQgl.ReadPixels(0, 0, kWidth, kHeight, VQGL_RGB, VQGL_UNSIGNED_BYTE, pixels.data());
  s.canvas->End();
  double sum = 0;
  for (uint8_t v : pixels) sum += v;
  return sum / double(pixels.size());
}

void EngineFrame(benchmark::State& state) {
  Scene& s = TheScene();
  if (!s.ok) {
    state.SkipWithError("no OpenGL device");
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

// The same frame by hand: clear, projection, light, then every mesh vertex by vertex.
void BaselineImmediateLoop(benchmark::State& state) {
  Scene& s = TheScene();
  if (!s.ok) {
    state.SkipWithError("no OpenGL device");
    return;
  }
  VQMatrix view;
  s.camera.m_matrix.Inverse(view);
  const float aspect = float(kHeight) / kWidth;
  const float w = s.camera.m_viewWidth / 2;
  const auto* texture = static_cast<VQOpenGLTexture*>(s.texture);
  auto* list = static_cast<VQGroupNode*>(s.light->GetChild());
  struct Item {
    VQMesh* mesh;
    float matrix[16];
  };
  std::vector<Item> items;
  for (uint32_t i = 0; i < list->m_count; ++i) {
    auto* place = static_cast<VQTransformNode*>(list->m_slots[i]);
    Item item;
    item.mesh = static_cast<VQGeosetNode*>(place->GetChild())->m_geoset->m_meshes[0];
    VQopengl_ConvertMatrix(item.matrix, place->m_matrix * view);
    items.push_back(item);
  }
  float viewMatrix[16];
  VQopengl_ConvertMatrix(viewMatrix, view);
  const float position[4] = {-0.3f, -0.5f, 0.8f, 0};
  const float diffuse[4] = {0.9f, 0.9f, 0.9f, 1}, ambient[4] = {0.2f, 0.2f, 0.2f, 1};
  for (auto _ : state) {
    s.canvas->MakeCurrent();
    g_VQgl.Viewport(0, 0, kWidth, kHeight);
    g_VQgl.ClearColor(0, 0, 0, 0);
    g_VQgl.Clear(VQGL_COLOR_BUFFER_BIT | VQGL_DEPTH_BUFFER_BIT);
    g_VQgl.MatrixMode(VQGL_PROJECTION);
    g_VQgl.LoadIdentity();
    g_VQgl.Frustum(-w, w, -w * aspect, w * aspect, s.camera.m_near, s.camera.m_far);
    g_VQgl.MatrixMode(VQGL_MODELVIEW);
    g_VQgl.LoadMatrixf(viewMatrix);
    g_VQgl.Lightfv(VQGL_LIGHT0, VQGL_POSITION, position);
    g_VQgl.Lightfv(VQGL_LIGHT0, VQGL_DIFFUSE, diffuse);
    g_VQgl.Lightfv(VQGL_LIGHT0, VQGL_AMBIENT, ambient);
    g_VQgl.Enable(VQGL_LIGHT0);
    g_VQgl.Enable(VQGL_LIGHTING);
    g_VQgl.Enable(VQGL_DEPTH_TEST);
    g_VQgl.Enable(VQGL_TEXTURE_2D);
    g_VQgl.BindTexture(VQGL_TEXTURE_2D, texture->m_glName);
    g_VQgl.Enable(VQGL_COLOR_MATERIAL);
    g_VQgl.ColorMaterial(VQGL_FRONT_AND_BACK, VQGL_AMBIENT_AND_DIFFUSE);
    for (const Item& item : items) {
      g_VQgl.LoadMatrixf(item.matrix);
      const VQMesh* m = item.mesh;
      g_VQgl.Begin(VQGL_TRIANGLES);
      for (uint32_t t = 0; t < 3 * m->m_triangleCount; ++t) {
        const uint16_t v = m->m_indices[t];
        g_VQgl.Normal3fv(&m->m_normals[v].x);
        g_VQgl.Color4ubv(reinterpret_cast<const VQGLubyte*>(m->m_colours + v));
        g_VQgl.TexCoord2fv(m->m_uv0 + 2 * v);
        g_VQgl.Vertex3fv(&m->m_positions[v].x);
      }
      g_VQgl.End();
    }
    g_VQgl.Disable(VQGL_LIGHT0);
    g_VQgl.Disable(VQGL_LIGHTING);
    g_VQgl.Disable(VQGL_COLOR_MATERIAL);
    s.canvas->End();
    s.canvas->Present();
    Finish(s);
  }
  state.counters["brightness"] = Brightness(s);
  // The engine's state cache must not trust what this loop left behind.
  s.canvas->MakeCurrent();
  s.device->ResetState();
  s.canvas->End();
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BaselineImmediateLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(EngineFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

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
      if (name.rfind("BaselineImmediateLoop", 0) == 0) baseName = name;
    if (baseName.empty() || times_[baseName] <= 0.0) return;
    const double base = times_[baseName];
    std::printf("\nframe time relative to BaselineImmediateLoop (%.2f ms, %.1f frames/s):\n", base, 1000.0 / base);
    for (const std::string& name : order_)
      std::printf("  %-36s %8.2f ms  %6.1f frames/s  x%.2f\n", name.c_str(), times_[name], 1000.0 / times_[name],
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
