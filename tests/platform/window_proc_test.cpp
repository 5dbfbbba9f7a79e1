// The engine's window procedure, driven by sending messages to real host windows.
#include <gtest/gtest.h>

#include <vector>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "host/window/window.h"
#include "test_doubles.h"

namespace {

using namespace host;

struct MouseCall {
  int event;
  int32_t x, y, z;
};
struct KeyCall {
  uint32_t key;
  intptr_t lParam;
  int pressed;
  VQCanvas* canvas;
};

std::vector<MouseCall> g_mouse;
std::vector<KeyCall> g_keys;

void RecordMouse(uintptr_t, int event, int32_t x, int32_t y, int32_t z) { g_mouse.push_back({event, x, y, z}); }
void RecordKey(uintptr_t, uint32_t key, intptr_t lParam, int pressed, VQCanvas* canvas) {
  g_keys.push_back({key, lParam, pressed, canvas});
}

class WindowProc : public ::testing::Test {
 protected:
  void SetUp() override {
    g_mouse.clear();
    g_keys.clear();
    g_VQwin32Devices = VQwin32DeviceHooks{};
    m_window = VQwin32_CreateWindow(640, 480);
    ASSERT_NE(m_window, 0u);
    set_user_data(m_window, reinterpret_cast<uintptr_t>(&m_canvas));
    m_canvas.m_window = m_window;
    clear_messages();
  }
  void TearDown() override {
    g_VQwin32Devices = VQwin32DeviceHooks{};
    if (is_window(m_window)) {
      set_user_data(m_window, 0);
      VQwin32_DestroyWindow(m_window);
    }
    clear_messages();
  }
  intptr_t Send(uint32_t msg, uintptr_t w, intptr_t l) { return VQwin32_WindowProc(m_window, msg, w, l); }
  int ClientWidth() {
    int w = 0, h = 0;
    get_client_size(m_window, &w, &h);
    return w;
  }

  FakeDisplay m_display{3};
  FakeCanvas m_canvas{&m_display, 640, 480};
  VQSystemWindow m_window = 0;
};

TEST_F(WindowProc, SizeRoundsTheWidthDownToFourAndShrinksTheWindow) {
  ASSERT_EQ(ClientWidth(), 640);
  EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED, make_lparam(803, 600)), 0);
  EXPECT_EQ(m_canvas.m_width, 800u);
  EXPECT_EQ(m_canvas.m_height, 600u);
  EXPECT_EQ(m_canvas.m_recreateCalls, 1);
  EXPECT_EQ(ClientWidth(), 637) << "outer width less the 3 rounded-off pixels";
}

TEST_F(WindowProc, SizesThatChangeNothing) {
  struct Case {
    const char* what;
    int w, h;
  };
  const Case cases[] = {
      {"zero width", 0, 600}, {"zero height", 800, 0}, {"both zero", 0, 0},
      {"width rounds to zero", 3, 600}, {"same as the canvas", 640, 480},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED, make_lparam(c.w, c.h)), 0) << c.what;
    EXPECT_EQ(m_canvas.m_recreateCalls, 0) << c.what;
    EXPECT_EQ(m_canvas.m_width, 640u) << c.what;
    EXPECT_EQ(m_canvas.m_height, 480u) << c.what;
    EXPECT_EQ(ClientWidth(), 640) << c.what;
  }
}

TEST_F(WindowProc, FailedCanvasResizeLeavesWindowAndCanvas) {
  m_canvas.m_recreateResult = false;
  EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED, make_lparam(803, 600)), 0);
  EXPECT_EQ(m_canvas.m_recreateCalls, 2) << "once for the new size, once to restore the old";
  EXPECT_EQ(m_canvas.m_width, 640u);
  EXPECT_EQ(m_canvas.m_height, 480u);
  EXPECT_EQ(ClientWidth(), 640);
}

TEST_F(WindowProc, FullScreenCanvasLeavesSizeToDefaultHandling) {
  m_canvas.m_mode = 1;
  EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED, make_lparam(803, 600)), 0);
  EXPECT_EQ(m_canvas.m_recreateCalls, 0);
  EXPECT_EQ(m_canvas.m_width, 640u);
}

TEST_F(WindowProc, MouseYCountsFromTheCanvasBottom) {
  g_VQwin32Devices.mouseEvent = RecordMouse;
  Send(WM_MOUSEMOVE, 0, make_lparam(10, 0));
  Send(WM_MOUSEMOVE, 0, make_lparam(-5, 479));
  Send(WM_MOUSEMOVE, 0, make_lparam(639, -2));
  ASSERT_EQ(g_mouse.size(), 3u);
  EXPECT_EQ(g_mouse[0].event, 6);
  EXPECT_EQ(g_mouse[0].x, 10);
  EXPECT_EQ(g_mouse[0].y, 479);
  EXPECT_EQ(g_mouse[0].z, 0);
  EXPECT_EQ(g_mouse[1].x, -5);
  EXPECT_EQ(g_mouse[1].y, 0);
  EXPECT_EQ(g_mouse[2].x, 639);
  EXPECT_EQ(g_mouse[2].y, 481);
}

TEST_F(WindowProc, ButtonsPostTheirEventsAndCaptureTheMouse) {
  struct Case {
    uint32_t msg;
    int event;
    bool captured;
  };
  const Case cases[] = {
      {WM_LBUTTONDOWN, 0, true}, {WM_LBUTTONUP, 1, false}, {WM_MBUTTONDOWN, 2, true},
      {WM_MBUTTONUP, 3, false},  {WM_RBUTTONDOWN, 4, true}, {WM_RBUTTONUP, 5, false},
  };
  g_VQwin32Devices.mouseEvent = RecordMouse;
  for (const Case& c : cases) {
    g_mouse.clear();
    EXPECT_EQ(Send(c.msg, 0, make_lparam(20, 30)), 0);
    ASSERT_EQ(g_mouse.size(), 1u);
    EXPECT_EQ(g_mouse[0].event, c.event);
    EXPECT_EQ(g_mouse[0].x, 20);
    EXPECT_EQ(g_mouse[0].y, 449);
    EXPECT_EQ(get_capture(), c.captured ? m_window : 0u) << c.event;
  }
}

TEST_F(WindowProc, RightPressCapturesWithoutAMouseDevice) {
  Send(WM_RBUTTONDOWN, 0, make_lparam(1, 1));
  EXPECT_EQ(get_capture(), m_window);
  Send(WM_RBUTTONUP, 0, make_lparam(1, 1));
  EXPECT_EQ(get_capture(), 0u);
}

TEST_F(WindowProc, ExtendedKeysArePostedPlus224) {
  g_VQwin32Devices.keyMessage = RecordKey;
  const intptr_t extended = KEY_EXTENDED_BIT | make_lparam(1, 29);
  Send(WM_KEYDOWN, 17, extended);
  Send(WM_KEYUP, 17, extended);
  Send(WM_KEYDOWN, 17, make_lparam(1, 29));
  Send(WM_KEYDOWN, 300, 0);  // not a virtual-key code: dropped
  ASSERT_EQ(g_keys.size(), 3u);
  EXPECT_EQ(g_keys[0].key, 241u);
  EXPECT_EQ(g_keys[0].pressed, 1);
  EXPECT_EQ(g_keys[0].lParam, extended);
  EXPECT_EQ(g_keys[0].canvas, &m_canvas);
  EXPECT_EQ(g_keys[1].key, 241u);
  EXPECT_EQ(g_keys[1].pressed, 0);
  EXPECT_EQ(g_keys[2].key, 17u);
}

TEST_F(WindowProc, MessageResults) {
  EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 1);
  EXPECT_EQ(Send(WM_PAINT, 0, 0), 0);
  EXPECT_EQ(Send(WM_SYSKEYDOWN, 18, 0), 0);  // system keys go to the default handling
  EXPECT_EQ(Send(WM_KEYDOWN, 65, 0), 0);     // no keyboard open: still handled
}

TEST_F(WindowProc, WindowWithoutCanvasGetsDefaultHandling) {
  set_user_data(m_window, 0);
  EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 0);
  FakeCanvas orphan(nullptr, 640, 480);
  set_user_data(m_window, reinterpret_cast<uintptr_t>(&orphan));
  EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 0);
  EXPECT_EQ(Send(WM_SIZE, 0, make_lparam(803, 600)), 0);
  EXPECT_EQ(orphan.m_recreateCalls, 0);
}

// A window procedure that records every message's result and hands it to the engine's.
struct Seen {
  uint32_t msg;
  intptr_t result;
};
std::vector<Seen> g_seen;
intptr_t RecordingProc(window_handle w, uint32_t msg, uintptr_t wp, intptr_t lp) {
  const intptr_t r = VQwin32_WindowProc(w, msg, wp, lp);
  g_seen.push_back({msg, r});
  return r;
}

TEST(WindowProcDestroy, NestedDestroyDoesNothingMoreAndReturnsOne) {
  if (!window_class_registered("RecordingClass")) {
    ASSERT_TRUE(register_window_class("RecordingClass", RecordingProc));
  }
  window_desc desc;
  desc.class_name = "RecordingClass";
  const window_handle w = create_window(desc);
  ASSERT_NE(w, 0u);
  FakeDisplay display(3);
  FakeCanvas canvas(&display, 640, 480);
  set_user_data(w, reinterpret_cast<uintptr_t>(&canvas));
  g_seen.clear();

  EXPECT_EQ(send_message(w, WM_DESTROY, 0, 0), 1);
  ASSERT_EQ(g_seen.size(), 2u) << "the window's destruction sends a second WM_DESTROY";
  EXPECT_EQ(g_seen[0].msg, WM_DESTROY);
  EXPECT_EQ(g_seen[0].result, 1);
  EXPECT_EQ(display.m_destroyCalls, 1);
  EXPECT_EQ(display.m_lastDestroyed, &canvas);
  EXPECT_EQ(display.m_lastDestroyFlag, 0);
  EXPECT_FALSE(is_window(w));
}

TEST(WindowProcDestroy, ClosingAWindowDestroysItsCanvas) {
  if (!window_class_registered("RecordingClass")) {
    ASSERT_TRUE(register_window_class("RecordingClass", RecordingProc));
  }
  window_desc desc;
  desc.class_name = "RecordingClass";
  const window_handle w = create_window(desc);
  ASSERT_NE(w, 0u);
  FakeDisplay display(4);
  FakeCanvas canvas(&display, 320, 240);
  set_user_data(w, reinterpret_cast<uintptr_t>(&canvas));
  EXPECT_EQ(send_message(w, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(display.m_destroyCalls, 1);
  EXPECT_FALSE(is_window(w));
}

intptr_t g_previousResult = 0;
std::vector<Seen> g_forwarded;
intptr_t PreviousProc(window_handle, uint32_t msg, uintptr_t, intptr_t) {
  g_forwarded.push_back({msg, g_previousResult});
  return g_previousResult;
}

TEST_F(WindowProc, SuppliedWindowForwardsEveryMessageToItsOldProcedure) {
  m_canvas.m_suppliedWindow = 1;
  m_canvas.m_previousProc = PreviousProc;
  g_forwarded.clear();
  g_previousResult = 42;
  EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 42);
  EXPECT_EQ(Send(WM_SIZE, 0, make_lparam(803, 600)), 42);
  EXPECT_EQ(m_canvas.m_width, 800u) << "handled first, then forwarded";
  EXPECT_EQ(Send(WM_SIZE, 0, make_lparam(0, 600)), 0) << "a size of zero returns at once";
  EXPECT_EQ(g_forwarded.size(), 2u);

  // Only Direct3D and OpenGL canvases sit in supplied windows.
  FakeDisplay software(4);
  m_canvas.m_device = &software;
  EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 1);
  EXPECT_EQ(g_forwarded.size(), 2u);
  m_canvas.m_device = &m_display;
}

}  // namespace
