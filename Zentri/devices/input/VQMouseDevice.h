// The mouse device: pointer position (y grows upwards from the canvas bottom, z is the
// wheel sum) and buttons, mouse events to the pushed handlers and then to the overlay of the
// attached canvas, and an optional cursor image drawn in the overlay in place of the system
// cursor. Two drivers: DirectInput (relative motion, polled by the frame pump) and Windows
// (fed by the window procedure with client positions).
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/input/VQinput.h"

class VQCanvas;
class VQImageRef;

// The record of a mouse event (events 0 to 6): previous and new position.
struct VQMouseEvent {
  uint32_t prevX, prevY, prevZ;  // signed values carried in unsigned words
  uint32_t x, y, z;
};

enum VQMouseButton : uint32_t {
  VQMOUSE_LEFT = 1u << 0,
  VQMOUSE_MIDDLE = 1u << 1,
  VQMOUSE_RIGHT = 1u << 2,
};

class VQMouseDevice : public VQDevice {
 public:
  VQMouseDevice(uint32_t index, uint32_t kind);

  virtual void ShowPointer() = 0;
  virtual void HidePointer() = 0;
  virtual bool AttachToCanvas(VQCanvas* canvas) = 0;
  virtual void DetachFromCanvas() = 0;

  void GetPosition(int32_t* x, int32_t* y) const {
    *x = m_x;
    *y = m_y;
  }
  // Sets or clears the button of events 0 to 5, moves to (x, y, z) and delivers the event.
  // Without an attached canvas nothing happens at all.
  void PostEvent(uint32_t event, int32_t x, int32_t y, int32_t z);
  // The root's delivery path (handlers, then the canvas's overlay) stays reachable beside it.
  using VQDevice::PostEvent;
  // Switches the overlay cursor on or off. Switching it off leaves the pointer hidden until
  // ShowPointer.
  void ShowCursor(bool on);
  // The cursor image (not owned; null for none) and its hot spot (x, y) in image pixels.
  void SetCursorImage(VQImageRef* image, const uint32_t hotspot[2]);
  // Draws the cursor image at the pointer through the canvas (from the canvas's frame):
  // only with an image, while shown.
  void DrawCursor();

  uint32_t m_index;
  uint8_t m_overlayCursor = 0;  // 1 while the overlay cursor replaces the system cursor
  int32_t m_x = 0, m_y = 0, m_z = 0;
  uint32_t m_buttons = 0;       // VQMouseButton bits
  uint8_t m_shown = 1;          // the pointer is shown
  VQCanvas* m_canvas = nullptr;
  VQImageRef* m_cursorImage = nullptr;
  uint32_t m_hotX = 0, m_hotY = 0;

 protected:
  // The pointer rules both drivers share: the system cursor follows the shown flag unless
  // the overlay cursor is in use.
  void SetPointerShown(bool shown);
  // Links canvas and mouse both ways (and the canvas's cursor hooks), or unlinks them.
  void Link(VQCanvas* canvas);
  void Unlink();
};

// The DirectInput driver (kind 13, index 0).
class VQDirectInputMouseDevice : public VQMouseDevice {
 public:
  VQDirectInputMouseDevice();
  ~VQDirectInputMouseDevice() override;

  bool Init() override;
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "DirectInput Mouse Device"; }
  void ShowPointer() override { SetPointerShown(true); }
  void HidePointer() override { SetPointerShown(false); }
  bool AttachToCanvas(VQCanvas* canvas) override;
  void DetachFromCanvas() override;
  // Posts the buffered motion and button records of the last frame. Not open: error 32.
  bool Poll();

  IDirectInputDevice7A* m_device = nullptr;
  VQDinputProbe m_probe;
};

// The Windows driver (kind 10, index 0).
class VQWindowsMouseDevice : public VQMouseDevice {
 public:
  VQWindowsMouseDevice();
  ~VQWindowsMouseDevice() override;

  bool Init() override { return true; }
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "Windows mouse device"; }
  void ShowPointer() override { SetPointerShown(true); }
  void HidePointer() override { SetPointerShown(false); }
  bool AttachToCanvas(VQCanvas* canvas) override;
  void DetachFromCanvas() override { Unlink(); }
};

VQDevice* VQdirectinput_GetMouseDevice(int kind, int index);
VQDevice* VQwindows_GetMouseDevice(int kind, int index);
