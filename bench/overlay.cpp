// Cost of overlay text and event routing, each beside a baseline.
//
//   BM_LayoutText     a 1200-byte paragraph laid out in a rectangle (word wrap, alignment)
//   BM_OneLineText    baseline: the same bytes drawn as one line (no layout decisions)
//   BM_RouteMove      a pointer move through a full stack of 32 windows of 64 elements
//                     (hit test of the windows, hover over the elements)
//   BM_DirectHitTest  baseline: the same hit test called directly
// Items processed are glyphs for the text benchmarks and events for the routing ones.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQOverlayElement.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"

namespace {

class NullCanvas : public VQCanvas {
 public:
  NullCanvas() { Create(2, 640, 480, 32); }
  ~NullCanvas() override { Destroy(); }
  bool RecreateSurfaces() override { return true; }
  void BlitImageRects(const VQImageRef*, uint32_t n, const int32_t* dx, const int32_t*, const int32_t*,
                      const int32_t*, const int32_t*, const int32_t*) override {
    benchmark::DoNotOptimize(n ? dx[n - 1] : 0);
  }
};

// A sheet of 96 glyphs, 7 pixels wide and 12 high, in one band: marker magenta.
struct Sheet {
  Sheet() {
    const uint32_t w = 1 + 96 * 8, h = 12;
    pixmap.Allocate(w, h, VQPF_RGBA8888, nullptr);
    auto* px = static_cast<uint8_t*>(pixmap.Lock(nullptr));
    for (uint32_t i = 0; i < w * h; ++i) {
      const bool marker = (i % w) % 8 == 0;
      px[i * 4] = marker ? 255 : 200;
      px[i * 4 + 1] = marker ? 0 : 200;
      px[i * 4 + 2] = marker ? 255 : 200;
      px[i * 4 + 3] = 255;
    }
    image.m_pixmap = &pixmap;
    font.BuildGlyphs(&image);
  }
  VQSoftwarePixmap pixmap;
  VQImageRef image;
  VQFont font;
};

std::string Paragraph() {
  std::string s;
  while (s.size() < 1200) s += "The overlay lays text out in rectangles, word by word. ";
  s.resize(1200);
  return s;
}

void BM_LayoutText(benchmark::State& state) {
  Sheet sheet;
  NullCanvas canvas;
  const std::string text = Paragraph();
  const int32_t pos[2] = {0, 0}, size[2] = {400, 100000};
  for (auto _ : state) sheet.font.DrawInRect(&canvas, text.c_str(), pos, size, 0, VQTEXT_CENTRE);
  state.SetItemsProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_LayoutText);

void BM_OneLineText(benchmark::State& state) {
  Sheet sheet;
  NullCanvas canvas;
  const std::string text = Paragraph();
  for (auto _ : state) sheet.font.DrawToCanvas(&canvas, 0, 0, text.c_str());
  state.SetItemsProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_OneLineText);

struct Stack {
  Stack() : manager(&canvas) {
    for (uint32_t w = 0; w < VQOVERLAY_MAX_WINDOWS; ++w) {
      VQWindow* win = manager.CreateWindow(400, 400, nullptr, nullptr, 0, false);
      win->SetPosition(int32_t(w), int32_t(w));
      for (uint32_t e = 0; e < VQWINDOW_MAX_ELEMENTS; ++e) {
        elements.emplace_back(new VQOverlayElement(VQELEMENT_CUSTOM, e, int32_t(e) * 5, 0, 5, 5));
        win->AddElement(elements.back().get());
      }
      win->Show();
    }
  }
  ~Stack() {
    for (auto& e : elements) e->m_owner->RemoveElement(e.get());
  }
  NullCanvas canvas;
  VQWindowManager manager;
  std::vector<std::unique_ptr<VQOverlayElement>> elements;
};

void BM_RouteMove(benchmark::State& state) {
  Stack s;
  int32_t record[6] = {0, 0, 0, 0, 300, 0};
  for (auto _ : state) {
    record[3] = (record[3] + 7) % 400;
    benchmark::DoNotOptimize(s.manager.HandleEvent(VQEVENT_POINTER_MOVE, record));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RouteMove);

void BM_DirectHitTest(benchmark::State& state) {
  Stack s;
  int32_t x = 0;
  for (auto _ : state) {
    x = (x + 7) % 400;
    benchmark::DoNotOptimize(s.manager.ElementAt(x, 300));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DirectHitTest);

}  // namespace
