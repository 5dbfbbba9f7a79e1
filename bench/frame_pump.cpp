// Cost of the engine's frame (without the 10 ms sleep) and of a window message's trip
// through the host queue, each beside a baseline that does the same work by direct calls.
//
//   BM_EngineFrame        one VQwin32_RunFrame: hooks, callbacks, two displays, clock
//   BM_DirectFrame        baseline: the same callbacks, virtual calls and AdvanceTime
//   BM_QueuedMouseMove    post + peek + dispatch of a WM_MOUSEMOVE to a canvas window
//   BM_DirectMouseMove    baseline: the window procedure called directly
#include <benchmark/benchmark.h>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "host/window/window.h"

namespace {

class NullDisplay : public VQDisplayDevice {
 public:
  NullDisplay() : VQDisplayDevice(4) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return g_VQsystem.AddDevice(this); }
  void Close() override { g_VQsystem.RemoveDevice(this); }
  const char* GetName() override { return "null"; }
  void RenderAll() override { benchmark::ClobberMemory(); }
  void PresentAll() override { benchmark::ClobberMemory(); }
  void DestroyCanvas(VQCanvas*, int) override {}
};

class NullCanvas : public VQCanvas {
 public:
  bool RecreateSurfaces() override { return true; }
};

long g_calls = 0;
void Count(uintptr_t) { ++g_calls; }
void CountMouse(uintptr_t, int, int32_t, int32_t, int32_t) { ++g_calls; }

NullDisplay g_a, g_b;

void SetUpSystem() {
  g_VQsystem.Init();
  g_a.Open(0);
  g_b.Open(0);
  g_VQsystem.m_updateCallback = Count;
  g_VQsystem.m_renderCallback = Count;
}

void BM_EngineFrame(benchmark::State& state) {
  SetUpSystem();
  for (auto _ : state) VQwin32_RunFrame();
  benchmark::DoNotOptimize(g_calls);
  g_VQsystem.Shutdown();
}
BENCHMARK(BM_EngineFrame);

void BM_DirectFrame(benchmark::State& state) {
  SetUpSystem();
  VQDisplayDevice* displays[2] = {&g_a, &g_b};
  benchmark::DoNotOptimize(displays);
  for (auto _ : state) {
    Count(0);
    for (VQDisplayDevice* d : displays) d->RenderAll();
    Count(0);
    for (VQDisplayDevice* d : displays) d->PresentAll();
    g_VQsystem.AdvanceTime(0.01f);
  }
  benchmark::DoNotOptimize(g_calls);
  g_VQsystem.Shutdown();
}
BENCHMARK(BM_DirectFrame);

struct CanvasWindow {
  NullDisplay display;
  NullCanvas canvas;
  VQSystemWindow window = 0;
  CanvasWindow() {
    window = VQwin32_CreateWindow(320, 240);
    canvas.m_device = &display;
    canvas.m_height = 240;
    canvas.m_width = 320;
    host::set_user_data(window, reinterpret_cast<uintptr_t>(&canvas));
    g_VQwin32Devices.mouseEvent = CountMouse;
  }
  ~CanvasWindow() {
    g_VQwin32Devices.mouseEvent = nullptr;
    host::set_user_data(window, 0);
    VQwin32_DestroyWindow(window);
  }
};

void BM_QueuedMouseMove(benchmark::State& state) {
  CanvasWindow cw;
  if (cw.window == 0) {
    state.SkipWithError("no window");
    return;
  }
  host::message m;
  for (auto _ : state) {
    host::post_message(cw.window, host::WM_MOUSEMOVE, 0, host::make_lparam(10, 20));
    while (host::peek_message(&m)) host::dispatch_message(m);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueuedMouseMove);

void BM_DirectMouseMove(benchmark::State& state) {
  CanvasWindow cw;
  if (cw.window == 0) {
    state.SkipWithError("no window");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(VQwin32_WindowProc(cw.window, host::WM_MOUSEMOVE, 0, host::make_lparam(10, 20)));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DirectMouseMove);

}  // namespace
