// A real host window with a canvas, the engine's system object, and helpers that push SDL
// events and let the window procedure see them, for the input device tests.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "host/window/window.h"
#include "tests/platform/test_doubles.h"

// What reached the handler and the overlay hook, in order.
struct SeenEvent {
  uint32_t event;
  uint32_t words[6];
  bool overlay;  // false: the handler; true: the overlay hook
};
inline std::vector<SeenEvent>& Seen() {
  static std::vector<SeenEvent> s;
  return s;
}
inline void Remember(uint32_t event, const void* record, bool overlay) {
  SeenEvent e{event, {}, overlay};
  std::memcpy(e.words, record, event == VQEVENT_KEY ? 8 : 24);
  Seen().push_back(e);
}
inline bool RecordingHandler(uint32_t event, void* record, uintptr_t) {
  Remember(event, record, false);
  return false;
}
inline bool RecordingOverlay(VQCanvas*, uint32_t event, void* record) {
  Remember(event, record, true);
  return false;
}

// A canvas that records cursor blits and the clip rectangle in force for each.
class RecordingCanvas : public FakeCanvas {
 public:
  using FakeCanvas::FakeCanvas;
  void BlitImage(const VQImageRef* image, int32_t x, int32_t y, uint32_t mode, uint32_t) override {
    m_blits.push_back({image, x, y, mode, VQclip_Top()});
  }
  struct Blit {
    const VQImageRef* image;
    int32_t x, y;
    uint32_t mode;
    VQClipRect clip;
  };
  std::vector<Blit> m_blits;
};

class InputWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    Seen().clear();
    g_VQwin32Devices = VQwin32DeviceHooks{};
    ASSERT_TRUE(g_VQsystem.Init());
    m_window = VQwin32_CreateWindow(640, 480);
    ASSERT_NE(m_window, 0u);
    host::set_user_data(m_window, reinterpret_cast<uintptr_t>(&m_canvas));
    m_canvas.m_window = m_window;
    m_savedHooks = g_VQcanvasOverlay;
    g_VQcanvasOverlay.handleEvent = RecordingOverlay;
    Drain();
  }
  void TearDown() override {
    g_VQsystem.Shutdown();
    g_VQcanvasOverlay = m_savedHooks;
    g_VQwin32Devices = VQwin32DeviceHooks{};
    if (host::is_window(m_window)) {
      host::set_user_data(m_window, 0);
      VQwin32_DestroyWindow(m_window);
    }
    host::clear_messages();
  }

 public:
  uint32_t SdlWindowId() { return SDL_GetWindowID(static_cast<SDL_Window*>(host::native_window(m_window))); }

  // Dispatches every queued message to the window procedure.
  void Drain() {
    host::message m;
    while (host::peek_message(&m))
      if (m.code != host::WM_QUIT) host::dispatch_message(m);
  }

  void PushKey(SDL_Scancode scancode, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SdlWindowId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void PushMotion(int x, int y, int xrel, int yrel) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SdlWindowId();
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = xrel;
    e.motion.yrel = yrel;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void PushButton(uint8_t button, bool down, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = SdlWindowId();
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void PushWheel(int notches) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SdlWindowId();
    e.wheel.y = notches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void PushFocus(bool gained) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SdlWindowId();
    e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }

  FakeDisplay m_display{3};
  RecordingCanvas m_canvas{&m_display, 640, 480, 2};
  host::window_handle m_window = 0;
  VQCanvasOverlayHooks m_savedHooks;
};
