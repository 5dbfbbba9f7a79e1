// The engine's platform layer: render windows and their window procedure, the frame pump
// (drain the messages, run one frame, sleep 10 ms, until the stop byte or a quit message),
// the frame clock, a high-resolution timer, the cursor, a system message box and the
// mapping of system error numbers to engine error codes. Windows and messages come from the
// host window layer; the names follow the services the engine was written against.
#pragma once

#include <cstdint>

#include "host/window/window.h"

class VQCanvas;
struct VQFolderEntry;
struct VQFolderScan;

// A system window of the engine (0 = no window); the overlay's windows are VQWindow.
using VQSystemWindow = host::window_handle;

// Render windows. Every window gets the title "3D Lib Window". The windowed class
// "3dlibWinClass" and the full-screen class "3dlibFWinClass" are registered on the first
// window of their kind and unregistered when the last window made here is destroyed.
VQSystemWindow VQwin32_CreateWindow(int clientWidth, int clientHeight);
VQSystemWindow VQwin32_CreateFullScreenWindow();
void VQwin32_DestroyWindow(VQSystemWindow window);
bool VQwin32_SetWindowPosition(VQSystemWindow window, int x, int y);
bool VQwin32_SetWindowTitle(VQSystemWindow window, const char* text);
int VQwin32_GetWindowTitle(VQSystemWindow window, char* buffer, int bufferSize);

// The window procedure of both classes. The window's user-data slot holds its VQCanvas*.
intptr_t VQwin32_WindowProc(VQSystemWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The frame pump that VQSystem::Run enters, and one engine frame.
void VQwin32_RunMessageLoop();
void VQwin32_RunFrame();

// The frame clock. The "time stamp" is the monotonic clock in nanoseconds, used directly:
// its rate is known, so measuring it costs nothing and never blocks start-up.
float VQwin32_MeasureCpuClock();
void VQwin32_ReadTimeStamp(uint64_t* out);

// High-resolution timer for the race clock: false when the counter is unusable.
bool VQwin32_InitHighResolutionTimer();
int64_t VQwin32_GetTimerFrequency();
int64_t VQwin32_ReadTimer();  // counts since an arbitrary fixed point, at the frequency above

// A modal stop-icon message box with an OK button (stderr without a display).
int VQwin32_MessageBox(const char* text, const char* caption);
int VQwin32_HideCursor();
int VQwin32_ShowCursor();
bool VQwin32_GetCursorPosition(int* x, int* y, int* z);

// Sets g_VQerror from a system error number: 2 -> 37, 4 -> 66, 9 -> 65, 11 -> 67, 13 -> 58,
// 22 -> 28, 32 -> 68, anything else -> 2.
void VQwin32_SetErrorFromSystem(int errorNumber);

// The folder listing behind VQfile_FindFirst / FindNext / FindClose (VQfile.h). FindFirst
// takes a real folder path (the caller resolves engine paths) and fails with error 1 when
// the listing cannot start. FindNext skips "." and ".."; at the end it gives false with an
// empty name and g_VQerror untouched, on a system failure false with the error from
// VQwin32_SetErrorFromSystem. FindClose gives false with that error when the listing
// cannot be closed (65 for a scan that is not open).
bool VQwin32_FindFirst(VQFolderScan* scan, const char* realFolder);
bool VQwin32_FindNext(VQFolderScan* scan, VQFolderEntry* entry);
bool VQwin32_FindClose(VQFolderScan* scan);

// The devices the window procedure feeds and the frame pump drives, as hooks: each driver
// installs its entries while the device is open and clears them when it closes, so an empty
// entry means "that device is not open". The words are the drivers' own.
struct VQwin32DeviceHooks {
  // Refills streamed sound buffers and stops finished ones; run first in every frame.
  void (*updateSound)(uintptr_t user) = nullptr;
  uintptr_t soundUser = 0;
  // Windows keyboard: a key message (virtual key + 224 when extended, lParam, pressed 1/0).
  void (*keyMessage)(uintptr_t user, uint32_t key, intptr_t lParam, int pressed, VQCanvas* canvas) = nullptr;
  // Windows keyboard: the window lost the input focus, so releases of held keys go elsewhere.
  void (*keyFocusLost)(uintptr_t user) = nullptr;
  uintptr_t keyUser = 0;
  // Windows mouse: PostEvent(event 0..6, x, y counted from the canvas bottom, z).
  void (*mouseEvent)(uintptr_t user, int event, int32_t x, int32_t y, int32_t z) = nullptr;
  uintptr_t mouseUser = 0;
  // The polled keyboard and mouse, once per frame.
  void (*pollKeyboard)(uintptr_t user) = nullptr;
  uintptr_t pollKeyboardUser = 0;
  void (*pollMouse)(uintptr_t user) = nullptr;
  uintptr_t pollMouseUser = 0;
};
extern VQwin32DeviceHooks g_VQwin32Devices;

// Forgets the last frame time stamp, so the next frame measures no time (tests start here).
void VQwin32_ResetFrameClock();
// Replaces the time-stamp source (null restores the monotonic clock), for tests of the
// frame clock.
void VQwin32_SetTimeStampSource(uint64_t (*source)());
// The pump's pause after each frame in milliseconds (10 unless set); 0 runs frames back to back,
// for deterministic runs on a fixed-step clock.
void VQwin32_SetFrameSleep(uint32_t milliseconds);
