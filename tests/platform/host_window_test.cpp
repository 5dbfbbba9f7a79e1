// The host window layer: windows and classes, SDL events turned into Win32-style messages,
// key translation, the render-window functions of the platform layer, message box, cursor,
// system error numbers.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <vector>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"
#include "host/window/window.h"
#include "test_doubles.h"

namespace {

using namespace host;

intptr_t NullProc(window_handle, uint32_t, uintptr_t, intptr_t) { return 0; }

class HostWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!window_class_registered("HostTestClass")) {
    ASSERT_TRUE(register_window_class("HostTestClass", NullProc));
  }
    window_desc desc;
    desc.class_name = "HostTestClass";
    desc.width = 400;
    desc.height = 300;
    m_window = create_window(desc);
    ASSERT_NE(m_window, 0u);
    clear_messages();
  }
  void TearDown() override {
    destroy_window(m_window);
    clear_messages();
  }
  void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  uint32_t SdlId() { return SDL_GetWindowID(static_cast<SDL_Window*>(native_window(m_window))); }
  SDL_Event KeyEvent(bool down, SDL_Scancode sc, uint16_t mod = 0) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SdlId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = sc;
    e.key.keysym.mod = mod;
    return e;
  }
  SDL_Event WindowEvent(uint8_t event, int d1 = 0, int d2 = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SdlId();
    e.window.event = event;
    e.window.data1 = d1;
    e.window.data2 = d2;
    return e;
  }
  std::vector<message> Drain() {
    std::vector<message> out;
    message m;
    while (peek_message(&m)) out.push_back(m);
    return out;
  }
  window_handle m_window = 0;
};

TEST(KeyTranslation, ScancodesBecomeVirtualKeysWithScanCodesAndTheExtendedBit) {
  struct Case {
    SDL_Scancode sc;
    uint32_t vk, scan;
    bool ext;
  };
  const Case cases[] = {
      {SDL_SCANCODE_RETURN, 13, 28, false},  {SDL_SCANCODE_KP_ENTER, 13, 28, true},
      {SDL_SCANCODE_LCTRL, 17, 29, false},   {SDL_SCANCODE_RCTRL, 17, 29, true},
      {SDL_SCANCODE_LSHIFT, 16, 42, false},  {SDL_SCANCODE_RSHIFT, 16, 54, false},
      {SDL_SCANCODE_RALT, 18, 56, true},     {SDL_SCANCODE_LEFT, 37, 75, true},
      {SDL_SCANCODE_DOWN, 40, 80, true},     {SDL_SCANCODE_PAGEDOWN, 34, 81, true},
      {SDL_SCANCODE_A, 65, 30, false},       {SDL_SCANCODE_Z, 90, 44, false},
      {SDL_SCANCODE_Q, 81, 16, false},       {SDL_SCANCODE_1, 49, 2, false},
      {SDL_SCANCODE_0, 48, 11, false},       {SDL_SCANCODE_F1, 112, 59, false},
      {SDL_SCANCODE_F10, 121, 68, false},    {SDL_SCANCODE_F12, 123, 88, false},
      {SDL_SCANCODE_KP_0, 96, 82, false},    {SDL_SCANCODE_KP_9, 105, 73, false},
      {SDL_SCANCODE_KP_DIVIDE, 111, 53, true}, {SDL_SCANCODE_GRAVE, 192, 41, false},
      {SDL_SCANCODE_ESCAPE, 27, 1, false},   {SDL_SCANCODE_APOSTROPHE, 222, 40, false},
  };
  for (const Case& c : cases) {
    const key_info k = key_for_scancode(c.sc);
    EXPECT_EQ(k.vk, c.vk) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(k.scan, c.scan) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(k.extended, c.ext) << SDL_GetScancodeName(c.sc);
  }
  EXPECT_EQ(key_for_scancode(SDL_SCANCODE_AUDIOPLAY).vk, 0u);
}

TEST(KeyTranslation, KeyLParamBits) {
  const key_info rctrl{17, 29, true};
  EXPECT_EQ(key_lparam(rctrl, true, false), intptr_t(0x011D0001));
  EXPECT_EQ(key_lparam(rctrl, true, true), intptr_t(0x411D0001));
  EXPECT_EQ(key_lparam(rctrl, false, false), intptr_t(0xC11D0001u));
}

TEST_F(HostWindow, KeyEventsBecomeKeyMessages) {
  Push(KeyEvent(true, SDL_SCANCODE_RCTRL));
  Push(KeyEvent(false, SDL_SCANCODE_RCTRL));
  Push(KeyEvent(true, SDL_SCANCODE_LALT, KMOD_LALT));
  Push(KeyEvent(true, SDL_SCANCODE_X, KMOD_LALT));
  Push(KeyEvent(true, SDL_SCANCODE_AUDIOPLAY));  // no virtual key: no message
  const auto msgs = Drain();
  ASSERT_EQ(msgs.size(), 4u);
  EXPECT_EQ(msgs[0].window, m_window);
  EXPECT_EQ(msgs[0].code, WM_KEYDOWN);
  EXPECT_EQ(msgs[0].wparam, 17u);
  EXPECT_NE(msgs[0].lparam & KEY_EXTENDED_BIT, 0);
  EXPECT_EQ(high_word(msgs[0].lparam) & 0xFF, 29u);
  EXPECT_EQ(msgs[1].code, WM_KEYUP);
  EXPECT_EQ(msgs[2].code, WM_SYSKEYDOWN) << "Alt is a system key";
  EXPECT_EQ(msgs[3].code, WM_SYSKEYDOWN) << "so is any key while Alt is held";
  EXPECT_EQ(msgs[3].wparam, uintptr_t('X'));
}

TEST_F(HostWindow, MouseEventsBecomeMouseMessages) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = SdlId();
  e.motion.x = 12;
  e.motion.y = 34;
  Push(e);
  SDL_Event b{};
  b.type = SDL_MOUSEBUTTONDOWN;
  b.button.windowID = SdlId();
  b.button.button = SDL_BUTTON_RIGHT;
  b.button.x = 5;
  b.button.y = 6;
  Push(b);
  b.type = SDL_MOUSEBUTTONUP;
  b.button.button = SDL_BUTTON_MIDDLE;
  Push(b);
  const auto msgs = Drain();
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(msgs[0].code, WM_MOUSEMOVE);
  EXPECT_EQ(low_word(msgs[0].lparam), 12u);
  EXPECT_EQ(high_word(msgs[0].lparam), 34u);
  EXPECT_EQ(msgs[1].code, WM_RBUTTONDOWN);
  EXPECT_EQ(low_word(msgs[1].lparam), 5u);
  EXPECT_EQ(high_word(msgs[1].lparam), 6u);
  EXPECT_EQ(msgs[2].code, WM_MBUTTONUP);
}

TEST_F(HostWindow, WindowEventsBecomeSizeCloseAndPaint) {
  Push(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 803, 600));
  Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  Push(WindowEvent(SDL_WINDOWEVENT_EXPOSED));
  Push(WindowEvent(SDL_WINDOWEVENT_MINIMIZED));
  const auto msgs = Drain();
  ASSERT_EQ(msgs.size(), 4u);
  EXPECT_EQ(msgs[0].code, WM_SIZE);
  EXPECT_EQ(low_word(msgs[0].lparam), 803u);
  EXPECT_EQ(high_word(msgs[0].lparam), 600u);
  EXPECT_EQ(msgs[1].code, WM_CLOSE);
  EXPECT_EQ(msgs[2].code, WM_PAINT);
  EXPECT_EQ(msgs[3].code, WM_SIZE);
  EXPECT_EQ(msgs[3].wparam, SIZE_MINIMIZED);
  EXPECT_TRUE(is_minimized(m_window));
  Push(WindowEvent(SDL_WINDOWEVENT_RESTORED));
  Drain();
  EXPECT_FALSE(is_minimized(m_window));
}

TEST_F(HostWindow, QuitRequestBecomesAThreadQuitMessage) {
  SDL_Event e{};
  e.type = SDL_QUIT;
  Push(e);
  const auto msgs = Drain();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].code, WM_QUIT);
  EXPECT_EQ(msgs[0].window, 0u);
}

TEST_F(HostWindow, DestroyedHandlesAreUnknownAndNeverReused) {
  post_message(m_window, WM_PAINT, 0, 0);
  const window_handle old = m_window;
  EXPECT_TRUE(destroy_window(old));
  EXPECT_FALSE(is_window(old));
  EXPECT_FALSE(destroy_window(old));
  EXPECT_EQ(get_user_data(old), 0u);
  message m;
  EXPECT_FALSE(peek_message(&m)) << "messages of a destroyed window are dropped";
  window_desc desc;
  desc.class_name = "HostTestClass";
  m_window = create_window(desc);
  ASSERT_NE(m_window, 0u);
  EXPECT_NE(m_window, old);
  window_desc unknown;
  unknown.class_name = "NoSuchClass";
  EXPECT_EQ(create_window(unknown), 0u);
  EXPECT_FALSE(unregister_window_class("HostTestClass")) << "a class with windows stays";
}

TEST_F(HostWindow, TitleIsCopiedWithinTheBuffer) {
  ASSERT_TRUE(set_window_title(m_window, "Quorvex demo"));
  char buf[8];
  EXPECT_EQ(get_window_title(m_window, buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "Quorvex");
  char big[64];
  EXPECT_EQ(get_window_title(m_window, big, sizeof big), 12);
  EXPECT_EQ(get_window_title(m_window, big, 0), 0);
}

TEST(RenderWindows, ClassesLiveAsLongAsTheirWindows) {
  const VQSystemWindow a = VQwin32_CreateWindow(320, 200);
  const VQSystemWindow b = VQwin32_CreateWindow(100, 100);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_TRUE(window_class_registered("3dlibWinClass"));
  char title[32];
  VQwin32_GetWindowTitle(a, title, sizeof title);
  EXPECT_STREQ(title, "3D Lib Window");
  int w = 0, h = 0;
  get_client_size(a, &w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);

  VQwin32_DestroyWindow(a);
  VQwin32_DestroyWindow(a);  // already gone: must not count b down
  EXPECT_TRUE(window_class_registered("3dlibWinClass"));
  EXPECT_TRUE(is_window(b));
  VQwin32_DestroyWindow(b);
  EXPECT_FALSE(window_class_registered("3dlibWinClass"));

  const VQSystemWindow full = VQwin32_CreateFullScreenWindow();
  ASSERT_NE(full, 0u);
  EXPECT_TRUE(window_class_registered("3dlibFWinClass"));
  int sw = 0, sh = 0;
  screen_size(&sw, &sh);
  get_client_size(full, &w, &h);
  EXPECT_EQ(w, sw);
  EXPECT_EQ(h, sh);
  VQwin32_DestroyWindow(full);
  EXPECT_FALSE(window_class_registered("3dlibFWinClass"));
  EXPECT_EQ(VQwin32_CreateWindow(0, 480), 0u);
  EXPECT_FALSE(window_class_registered("3dlibWinClass"));
}

TEST(RenderWindows, AWindowTheSystemClosedStillCountsDown) {
  const VQSystemWindow a = VQwin32_CreateWindow(200, 100);
  const VQSystemWindow b = VQwin32_CreateWindow(200, 100);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  send_message(a, WM_CLOSE, 0, 0);  // a user's close: the default handling destroys it
  ASSERT_FALSE(is_window(a));
  VQwin32_DestroyWindow(a);
  VQwin32_DestroyWindow(a);  // given twice: counts down once
  EXPECT_TRUE(window_class_registered("3dlibWinClass"));
  VQwin32_DestroyWindow(b);
  EXPECT_FALSE(window_class_registered("3dlibWinClass"));
}

TEST(RenderWindows, MessageBoxWithoutDisplayWritesToStderr) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(VQwin32_MessageBox("Cannot open the display device", "Error"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot open the display device\n");
}

TEST(RenderWindows, CursorDisplayCounter) {
  const int base = VQwin32_ShowCursor() - 1;
  EXPECT_EQ(VQwin32_HideCursor(), base);
  EXPECT_EQ(VQwin32_HideCursor(), base - 1);
  EXPECT_EQ(VQwin32_ShowCursor(), base);
  int x = -1, y = -1, z = -1;
  if (VQwin32_GetCursorPosition(&x, &y, &z)) {
    EXPECT_EQ(z, 0);
  }
}

TEST(SystemErrors, NumbersMapToEngineCodes) {
  const struct {
    int number;
    int32_t code;
  } cases[] = {{2, 37}, {4, 66}, {9, 65}, {11, 67}, {13, 58}, {22, 28}, {32, 68}, {0, 2}, {1, 2}, {104, 2}, {-1, 2}};
  for (const auto& c : cases) {
    g_VQerror = 0;
    VQwin32_SetErrorFromSystem(c.number);
    EXPECT_EQ(g_VQerror, c.code) << c.number;
  }
}

// A minimised window ignores size messages; restoring it lets them through again.
TEST_F(HostWindow, MinimisedCanvasWindowIgnoresSizes) {
  FakeDisplay display(3);
  FakeCanvas canvas(&display, 400, 300);
  set_user_data(m_window, reinterpret_cast<uintptr_t>(&canvas));
  Push(WindowEvent(SDL_WINDOWEVENT_MINIMIZED));
  Drain();
  EXPECT_EQ(VQwin32_WindowProc(m_window, WM_SIZE, SIZE_RESTORED, make_lparam(800, 600)), 0);
  EXPECT_EQ(canvas.m_recreateCalls, 0);
  Push(WindowEvent(SDL_WINDOWEVENT_RESTORED));
  Drain();
  VQwin32_WindowProc(m_window, WM_SIZE, SIZE_RESTORED, make_lparam(800, 600));
  EXPECT_EQ(canvas.m_width, 800u);
  set_user_data(m_window, 0);
}

}  // namespace
