#include "Zentri/platform/VQwin32.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "host/fs/fs.h"
#include "host/time/clock.h"

using namespace host;

VQwin32DeviceHooks g_VQwin32Devices;

namespace {

const char* const kWindowClass = "3dlibWinClass";
const char* const kFullScreenClass = "3dlibFWinClass";
const char* const kWindowTitle = "3D Lib Window";

// Platform-layer state for the whole program run.
bool s_windowClassRegistered = false;
bool s_fullScreenClassRegistered = false;
// The live windows: made by VQwin32_Create*Window and not yet given to VQwin32_DestroyWindow.
// Kept by handle, so that a handle given twice counts down once, and a window that the
// system already destroyed (a user's close) still counts down when it is given.
std::vector<VQSystemWindow> s_liveWindows;
bool s_destroyGuard = false;       // set while the window procedure handles a WM_DESTROY
float s_ticksPerSecond = 0.0f;     // rate of the time stamp; not positive until measured
bool s_clockMeasured = false;
uint64_t s_lastFrameStamp = 0;     // time stamp at the end of the previous frame; 0 before the first
int64_t s_timerFrequency = 0;      // counts per second of the high-resolution timer
uint64_t (*s_timeStampSource)() = nullptr;
uint32_t s_frameSleepMs = 10;  // the pump's pause after each frame

VQSystemWindow CreateOf(const char* className, bool& registered, bool fullScreen, int width, int height) {
  if (!registered) {
    if (!register_window_class(className, VQwin32_WindowProc)) return 0;
    registered = true;
  }
  window_desc desc;
  desc.class_name = className;
  desc.title = kWindowTitle;
  desc.fullscreen = fullScreen;
  adjust_window_size(width, height, &desc.width, &desc.height);
  const VQSystemWindow window = create_window(desc);
  if (window != 0) {
    s_liveWindows.push_back(window);
    return window;
  }
  if (s_liveWindows.empty() && unregister_window_class(className)) registered = false;
  return 0;
}

// Mouse coordinates of a mouse message: signed 16-bit client words, y turned to count from
// the bottom row of the canvas.
void MousePoint(const VQCanvas* canvas, intptr_t lParam, int32_t* x, int32_t* y) {
  *x = static_cast<int16_t>(low_word(lParam));
  *y = static_cast<int32_t>(canvas->m_height) - static_cast<int16_t>(high_word(lParam)) - 1;
}

}  // namespace

VQSystemWindow VQwin32_CreateWindow(int clientWidth, int clientHeight) {
  return CreateOf(kWindowClass, s_windowClassRegistered, false, clientWidth, clientHeight);
}

VQSystemWindow VQwin32_CreateFullScreenWindow() {
  return CreateOf(kFullScreenClass, s_fullScreenClassRegistered, true, 0, 0);
}

void VQwin32_DestroyWindow(VQSystemWindow window) {
  destroy_window(window);  // false when the window is already gone
  // Only a handle made here counts down, and only once.
  const auto it = std::find(s_liveWindows.begin(), s_liveWindows.end(), window);
  if (it == s_liveWindows.end()) return;
  s_liveWindows.erase(it);
  if (!s_liveWindows.empty()) return;
  if (s_windowClassRegistered && unregister_window_class(kWindowClass)) s_windowClassRegistered = false;
  if (s_fullScreenClassRegistered && unregister_window_class(kFullScreenClass)) s_fullScreenClassRegistered = false;
}

bool VQwin32_SetWindowPosition(VQSystemWindow window, int x, int y) { return set_window_position(window, x, y); }

bool VQwin32_SetWindowTitle(VQSystemWindow window, const char* text) { return set_window_title(window, text); }

int VQwin32_GetWindowTitle(VQSystemWindow window, char* buffer, int bufferSize) {
  return get_window_title(window, buffer, bufferSize);
}

intptr_t VQwin32_WindowProc(VQSystemWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  VQCanvas* canvas = reinterpret_cast<VQCanvas*>(get_user_data(window));
  if (canvas == nullptr || canvas->m_device == nullptr) return default_window_proc(window, message, wParam, lParam);
  VQDisplayDevice* device = canvas->m_device;

  // Only the Direct3D and OpenGL canvases can sit in a window the application supplied.
  bool supplied = false;
  window_proc previous = nullptr;
  if (device->m_kind == 2 || device->m_kind == 3) {
    supplied = canvas->m_suppliedWindow != 0;
    previous = canvas->m_previousProc;
  }

  bool handled = true;
  intptr_t result = 0;
  switch (message) {
    case WM_DESTROY:
      // Destroying the window sends WM_DESTROY again; the guard makes that nested one a no-op.
      if (!s_destroyGuard) {
        s_destroyGuard = true;
        destroy_window(window);
        device->DestroyCanvas(canvas, 0);  // the canvas is gone from here on
        canvas = nullptr;
        s_destroyGuard = false;
      }
      result = 1;
      break;

    case WM_SIZE: {
      if (canvas->m_mode == 1) {  // full screen: default handling
        handled = false;
        break;
      }
      const uint32_t w = low_word(lParam);
      const uint32_t h = high_word(lParam);
      // A width below 4 would round down to a canvas without pixels: treat it as no size.
      if (is_minimized(window) || w < 4 || h == 0) return 0;
      if (w == canvas->m_width && h == canvas->m_height) break;
      const uint32_t r = w % 4;
      rect outer;
      const bool haveRect = get_window_rect(window, &outer);
      if (canvas->Resize(w - r, h) && haveRect) {
        set_window_size(window, outer.right - outer.left - static_cast<int>(r), outer.bottom - outer.top);
      }
      break;
    }

    case WM_PAINT:
      break;

    case WM_ERASEBKGND:
      result = 1;
      break;

    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
      // System keys (Alt, F10 and keys held with Alt) reach the keyboard too, then go on to
      // the default handling.
      const bool system = message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
      handled = !system;
      // Virtual-key codes are below 256; anything else cannot index the keyboard's table.
      if (wParam > 0xFF) break;
      const uint32_t key = static_cast<uint32_t>(wParam) + ((lParam & KEY_EXTENDED_BIT) != 0 ? 224u : 0u);
      const int pressed = (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) ? 1 : 0;
      if (g_VQwin32Devices.keyMessage != nullptr) {
        g_VQwin32Devices.keyMessage(g_VQwin32Devices.keyUser, key, lParam, pressed, canvas);
      }
      break;
    }

    case WM_KILLFOCUS:
      if (g_VQwin32Devices.keyFocusLost != nullptr) g_VQwin32Devices.keyFocusLost(g_VQwin32Devices.keyUser);
      handled = false;
      break;

    case WM_MOUSEMOVE: {
      int32_t x, y;
      MousePoint(canvas, lParam, &x, &y);
      if (g_VQwin32Devices.mouseEvent != nullptr) g_VQwin32Devices.mouseEvent(g_VQwin32Devices.mouseUser, 6, x, y, 0);
      break;
    }

    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP: {
      int32_t x, y;
      MousePoint(canvas, lParam, &x, &y);
      int event = 0;
      switch (message) {
        case WM_LBUTTONDOWN: event = 0; break;
        case WM_LBUTTONUP: event = 1; break;
        case WM_MBUTTONDOWN: event = 2; break;
        case WM_MBUTTONUP: event = 3; break;
        case WM_RBUTTONDOWN: event = 4; break;
        default: event = 5; break;
      }
      if (g_VQwin32Devices.mouseEvent != nullptr) g_VQwin32Devices.mouseEvent(g_VQwin32Devices.mouseUser, event, x, y, 0);
      // Captured while a button is held, whether or not a mouse device listens.
      if (event % 2 == 0)
        set_capture(window);
      else
        release_capture();
      break;
    }

    default:
      handled = false;
      break;
  }

  if (supplied && previous != nullptr) return previous(window, message, wParam, lParam);
  return handled ? result : default_window_proc(window, message, wParam, lParam);
}

void VQwin32_RunMessageLoop() {
  for (;;) {
    // The stop byte is read before each message is taken, so a message that arrives after
    // it was set stays queued for the next screen instead of being lost.
    message m;
    while (!g_VQsystem.m_stop && peek_message(&m)) {
      if (m.code == WM_QUIT) return;  // consumed, not dispatched; m_stop unchanged
      dispatch_message(m);
    }
    if (g_VQsystem.m_stop) return;
    VQwin32_RunFrame();
    if (s_frameSleepMs) sleep_ms(s_frameSleepMs);
    if (g_VQsystem.m_stop) return;
  }
}

void VQwin32_RunFrame() {
  if (s_lastFrameStamp == 0) {
    s_ticksPerSecond = VQwin32_MeasureCpuClock();
    VQwin32_ReadTimeStamp(&s_lastFrameStamp);
  }

  if (g_VQwin32Devices.updateSound != nullptr) g_VQwin32Devices.updateSound(g_VQwin32Devices.soundUser);
  if (g_VQwin32Devices.pollKeyboard != nullptr) g_VQwin32Devices.pollKeyboard(g_VQwin32Devices.pollKeyboardUser);
  if (g_VQwin32Devices.pollMouse != nullptr) g_VQwin32Devices.pollMouse(g_VQwin32Devices.pollMouseUser);

  if (g_VQsystem.m_updateCallback != nullptr) g_VQsystem.m_updateCallback(g_VQsystem.m_updateUserData);
  g_VQsystem.RenderDisplays();
  if (g_VQsystem.m_renderCallback != nullptr) g_VQsystem.m_renderCallback(g_VQsystem.m_renderUserData);
  g_VQsystem.PresentDisplays();

  uint64_t now = 0;
  VQwin32_ReadTimeStamp(&now);
  const int64_t d = static_cast<int64_t>(now - s_lastFrameStamp);
  const float frameTime = (d > 0 && s_ticksPerSecond > 0.0f) ? static_cast<float>(d) / s_ticksPerSecond : 0.001f;
  g_VQsystem.AdvanceTime(frameTime);
  s_lastFrameStamp = now;
}

float VQwin32_MeasureCpuClock() {
  if (s_ticksPerSecond > 0.0f || s_clockMeasured) return s_ticksPerSecond;
  // The time stamp is the monotonic clock in nanoseconds, used directly: its rate is exact,
  // so nothing is timed here and start-up does not wait.
  s_ticksPerSecond = 1.0e9f;
  s_clockMeasured = true;
  return s_ticksPerSecond;
}

void VQwin32_ReadTimeStamp(uint64_t* out) {
  if (out == nullptr) return;
  *out = s_timeStampSource != nullptr ? s_timeStampSource() : clock_nanoseconds();
}

void VQwin32_ResetFrameClock() { s_lastFrameStamp = 0; }

void VQwin32_SetTimeStampSource(uint64_t (*source)()) { s_timeStampSource = source; }

void VQwin32_SetFrameSleep(uint32_t milliseconds) { s_frameSleepMs = milliseconds; }

bool VQwin32_InitHighResolutionTimer() {
  // The monotonic clock counts nanoseconds.
  s_timerFrequency = 1000000000;
  return clock_nanoseconds() != 0;
}

int64_t VQwin32_GetTimerFrequency() { return s_timerFrequency; }

int64_t VQwin32_ReadTimer() { return static_cast<int64_t>(clock_nanoseconds()); }

int VQwin32_MessageBox(const char* text, const char* caption) { return message_box(text, caption); }

int VQwin32_HideCursor() { return show_cursor(false); }

int VQwin32_ShowCursor() { return show_cursor(true); }

bool VQwin32_GetCursorPosition(int* x, int* y, int* z) {
  if (z != nullptr) *z = 0;
  return get_cursor_position(x, y);
}

void VQwin32_SetErrorFromSystem(int errorNumber) {
  switch (errorNumber) {
    case 2: g_VQerror = VQERR_NO_SUCH_FILE; break;
    case 4: g_VQerror = VQERR_INTERRUPTED; break;
    case 9: g_VQerror = VQERR_BAD_HANDLE; break;
    case 11: g_VQerror = VQERR_TRY_AGAIN; break;
    case 13: g_VQerror = VQERR_ACCESS_DENIED; break;
    case 22: g_VQerror = VQERR_INVALID_ARGUMENT; break;
    case 32: g_VQerror = VQERR_BROKEN_PIPE; break;
    default: g_VQerror = VQERR_SYSTEM; break;
  }
}

bool VQwin32_FindFirst(VQFolderScan* scan, const char* realFolder) {
  if (scan == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  int err = 0;
  FolderScan* h = open_folder(realFolder != nullptr ? realFolder : "", &err);
  scan->m_handle = h;
  if (h == nullptr) {
    scan->m_firstPending = 0;
    return VQerror_Fail(VQERR_SYSTEM_CALL);
  }
  scan->m_firstPending = 1;
  return true;
}

bool VQwin32_FindNext(VQFolderScan* scan, VQFolderEntry* entry) {
  if (scan == nullptr || entry == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  auto* h = static_cast<FolderScan*>(scan->m_handle);
  // The host scan hands out the first entry itself: the pending flag only records that
  // nothing has been taken yet.
  scan->m_firstPending = 0;
  for (;;) {
    std::string name;
    bool isFolder = false;
    const int rc = read_folder(h, &name, &isFolder);
    if (rc <= 0) {
      entry->m_name[0] = 0;
      entry->m_isFolder = 0;
      if (rc < 0) VQwin32_SetErrorFromSystem(-rc);  // the end of the listing sets nothing
      return false;
    }
    if (isFolder && (name == "." || name == "..")) continue;
    const size_t n = name.size() < VQFOLDER_NAME_SIZE - 1 ? name.size() : VQFOLDER_NAME_SIZE - 1;
    std::memcpy(entry->m_name, name.data(), n);
    entry->m_name[n] = 0;
    entry->m_isFolder = isFolder ? 1 : 0;
    return true;
  }
}

bool VQwin32_FindClose(VQFolderScan* scan) {
  if (scan == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const int err = close_folder(static_cast<FolderScan*>(scan->m_handle));
  scan->m_handle = nullptr;
  scan->m_firstPending = 0;
  if (err == 0) return true;
  VQwin32_SetErrorFromSystem(err);
  return false;
}
