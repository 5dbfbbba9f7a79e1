// Fuzz target: arbitrary window messages through the host queue into the engine's window
// procedure, for canvases of any mode, size and device kind. A canvas that the procedure
// resizes must keep a non-zero width that is a multiple of 4 and a non-zero height.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQwin32.h"
#include "host/window/window.h"

namespace {

class FuzzDisplay : public VQDisplayDevice {
 public:
  explicit FuzzDisplay(uint32_t kind) : VQDisplayDevice(kind) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "fuzz"; }
  void RenderAll() override {}
  void PresentAll() override {}
  void DestroyCanvas(VQCanvas*, int) override { ++m_destroyed; }
  int m_destroyed = 0;
};

class FuzzCanvas : public VQCanvas {
 public:
  bool RecreateSurfaces() override { return m_ok; }
  bool m_ok = true;
};

intptr_t Previous(host::window_handle, uint32_t, uintptr_t, intptr_t) { return 7; }
void Mouse(uintptr_t, int event, int32_t, int32_t, int32_t) {
  if (event < 0 || event > 6) __builtin_trap();
}
void Key(uintptr_t, uint32_t key, intptr_t, int, VQCanvas*) {
  if (key >= 512) __builtin_trap();  // the keyboard's table has 512 entries
}

const uint32_t kMessages[] = {
    host::WM_DESTROY,     host::WM_SIZE,        host::WM_PAINT,       host::WM_CLOSE,
    host::WM_ERASEBKGND,  host::WM_KEYDOWN,     host::WM_KEYUP,       host::WM_SYSKEYDOWN,
    host::WM_MOUSEMOVE,   host::WM_LBUTTONDOWN, host::WM_LBUTTONUP,   host::WM_RBUTTONDOWN,
    host::WM_RBUTTONUP,   host::WM_MBUTTONDOWN, host::WM_MBUTTONUP,   host::WM_MOUSEWHEEL,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static FuzzDisplay displays[3] = {FuzzDisplay(2), FuzzDisplay(3), FuzzDisplay(4)};
  FuzzCanvas canvas;
  canvas.m_device = &displays[data[0] % 3];
  canvas.m_mode = data[1] % 3;
  canvas.m_suppliedWindow = data[2] & 1;
  canvas.m_previousProc = (data[2] & 2) ? Previous : nullptr;
  canvas.m_ok = (data[2] & 4) == 0;
  canvas.m_width = 640;
  canvas.m_height = 480;
  g_VQwin32Devices.mouseEvent = Mouse;
  g_VQwin32Devices.keyMessage = Key;

  const VQSystemWindow window = VQwin32_CreateWindow(640, 480);
  if (window == 0) return 0;
  host::set_user_data(window, reinterpret_cast<uintptr_t>(&canvas));
  const uint32_t width0 = canvas.m_width;

  for (size_t i = 4; i + 7 <= size; i += 7) {
    const uint32_t code = kMessages[data[i] % (sizeof kMessages / sizeof kMessages[0])];
    uint16_t w;
    uint32_t l;
    std::memcpy(&w, data + i + 1, 2);
    std::memcpy(&l, data + i + 3, 4);
    host::post_message(window, code, w, static_cast<intptr_t>(l));
    host::message m;
    while (host::peek_message(&m)) host::dispatch_message(m);
    if (!host::is_window(window)) break;
    if (canvas.m_width != width0 && (canvas.m_width % 4 != 0 || canvas.m_width == 0 || canvas.m_height == 0)) {
      __builtin_trap();
    }
  }
  if (host::is_window(window)) {
    host::set_user_data(window, 0);
    VQwin32_DestroyWindow(window);
  }
  host::clear_messages();
  return 0;
}
