// Doubles for the overlay tests: a canvas that records what is drawn on it, an opened software
// display device with font sheets made by vqtool, and a window-callback recorder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageRef.h"
#include "tests/overlay/font_sheet_support.h"

namespace overlay_test {

// One blit: the image, and per piece its destination and (for image parts) source rectangle.
struct Blit {
  const VQImageRef* image;
  std::vector<int32_t> dx, dy, sx, sy, w, h;
  bool parts;
};

class RecordingCanvas : public VQCanvas {
 public:
  RecordingCanvas(uint32_t width = 640, uint32_t height = 480) { Create(2, width, height, 32); }
  ~RecordingCanvas() override { Destroy(); }
  bool RecreateSurfaces() override { return true; }
  void BlitImage(const VQImageRef* image, int32_t x, int32_t y, uint32_t w, uint32_t h) override {
    blits.push_back(Blit{image, {x}, {y}, {0}, {0}, {int32_t(w)}, {int32_t(h)}, false});
  }
  void BlitImageRects(const VQImageRef* image, uint32_t n, const int32_t* dx, const int32_t* dy,
                      const int32_t* sx, const int32_t* sy, const int32_t* w, const int32_t* h) override {
    Blit b{image, {}, {}, {}, {}, {}, {}, true};
    for (uint32_t i = 0; i < n; ++i) {
      b.dx.push_back(dx[i]);
      b.dy.push_back(dy[i]);
      b.sx.push_back(sx[i]);
      b.sy.push_back(sy[i]);
      b.w.push_back(w[i]);
      b.h.push_back(h[i]);
    }
    blits.push_back(b);
  }
  void BlitImageTen(const VQImageRef* image, uintptr_t x, uintptr_t y, uintptr_t, uintptr_t, uintptr_t,
                    uintptr_t, uintptr_t, uintptr_t, uintptr_t) override {
    blits.push_back(Blit{image, {int32_t(x)}, {int32_t(y)}, {}, {}, {}, {}, false});
    ++tenArgumentBlits;
  }
  // Every glyph piece drawn, in order.
  std::vector<int32_t> AllParts(std::vector<int32_t> Blit::*field) const {
    std::vector<int32_t> out;
    for (const Blit& b : blits)
      if (b.parts) out.insert(out.end(), (b.*field).begin(), (b.*field).end());
    return out;
  }
  std::vector<Blit> blits;
  int tenArgumentBlits = 0;
};

// One call of a window's event callback.
struct Event {
  uintptr_t id;
  uint32_t param, event;
};
inline std::vector<Event>& Events() {
  static std::vector<Event> events;
  return events;
}
inline bool RecordEvent(uintptr_t id, uint32_t param, uint32_t event, uintptr_t) {
  Events().push_back(Event{id, param, event});
  return false;
}

// An opened software display device and a folder with font sheets.
class OverlayFixture : public SheetDir {
 protected:
  void SetUp() override {
    SheetDir::SetUp();
    g_VQsystem.Init();
    ASSERT_TRUE(m_device.Open(0));
    Events().clear();
  }
  void TearDown() override {
    m_fonts.ReleaseAll();
    m_device.Close();
    g_VQsystem.Shutdown();
    SheetDir::TearDown();
  }
  // A sheet of DejaVu Sans made by vqtool, loaded through the font manager.
  VQFont* Font(const std::string& options = "", uint32_t pixels = 16, bool asTextures = false,
               const std::string& file = "font.tga") {
    if (m_fonts.m_device != &m_device || m_fonts.m_asTextures != asTextures) m_fonts.Init(&m_device, asTextures);
    const std::string path = Path(file);
    if (!fs::exists(path)) {
      EXPECT_EQ(RunVqtool(std::string("font-sheet ") + kDejaVuSans + " " + std::to_string(pixels) + " " + path +
                          " " + options),
                0);
    }
    VQFont* f = m_fonts.Load(path.c_str());
    EXPECT_NE(f, nullptr) << path;
    return f;
  }
  // A software pixmap of one colour wrapped in a handle (the pixmap is the test's).
  VQImageRef* Image(uint32_t w, uint32_t h) {
    VQPixmap* p = m_device.CreatePixmap(w, h, VQPF_RGBA8888);
    m_pixmaps.emplace_back(p);
    return new VQImageRef(p);
  }

  VQSoftwareDisplayDevice m_device{1};
  VQFontManager m_fonts;
  std::vector<std::unique_ptr<VQPixmap>> m_pixmaps;
};

}  // namespace overlay_test
