#include "Zentri/devices/input/VQMouseDevice.h"

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/platform/VQwin32.h"

namespace {

VQMouseDevice* MouseOf(VQCanvas* canvas) { return static_cast<VQMouseDevice*>(canvas->m_mouse); }

void DrawCanvasCursor(VQCanvas* canvas) {
  if (canvas->m_mouse != nullptr) MouseOf(canvas)->DrawCursor();
}
void DetachCanvasMouse(VQCanvas* canvas) {
  if (canvas->m_mouse != nullptr) MouseOf(canvas)->DetachFromCanvas();
}

}  // namespace

VQMouseDevice::VQMouseDevice(uint32_t index, uint32_t kind) : VQDevice(kind), m_index(index) {}

void VQMouseDevice::PostEvent(uint32_t event, int32_t x, int32_t y, int32_t z) {
  if (m_canvas == nullptr) return;
  static const uint32_t kButtonOf[] = {VQMOUSE_LEFT, VQMOUSE_LEFT, VQMOUSE_MIDDLE,
                                       VQMOUSE_MIDDLE, VQMOUSE_RIGHT, VQMOUSE_RIGHT};
  if (event <= VQEVENT_RIGHT_UP) {
    if (event % 2 == 0)
      m_buttons |= kButtonOf[event];
    else
      m_buttons &= ~kButtonOf[event];
  }
  VQMouseEvent record{uint32_t(m_x), uint32_t(m_y), uint32_t(m_z), uint32_t(x), uint32_t(y), uint32_t(z)};
  m_x = x;
  m_y = y;
  m_z = z;
  VQinput_Deliver(this, m_canvas, event, &record);
}

void VQMouseDevice::SetPointerShown(bool shown) {
  if ((m_shown != 0) == shown) return;
  if (!m_overlayCursor) {
    if (shown)
      VQwin32_ShowCursor();
    else
      VQwin32_HideCursor();
  }
  m_shown = shown ? 1 : 0;
}

void VQMouseDevice::ShowCursor(bool on) {
  if ((m_overlayCursor != 0) == on) return;
  if (on) {
    if (m_shown) HidePointer();
    m_shown = 1;
    m_overlayCursor = 1;
  } else {
    if (m_shown) ShowPointer();  // finds the flag set: nothing to do
    m_shown = 0;
    m_overlayCursor = 0;
  }
  if (m_canvas != nullptr) m_canvas->m_overlayCursor = m_overlayCursor;
}

void VQMouseDevice::SetCursorImage(VQImageRef* image, const uint32_t hotspot[2]) {
  m_cursorImage = image;
  m_hotX = hotspot != nullptr ? hotspot[0] : 0;
  m_hotY = hotspot != nullptr ? hotspot[1] : 0;
}

void VQMouseDevice::DrawCursor() {
  if (m_cursorImage == nullptr || !m_shown || m_canvas == nullptr) return;
  constexpr uint32_t kBlitMode = 1;
  VQclip_Push(0, 0, int32_t(m_canvas->m_width) - 1, int32_t(m_canvas->m_height) - 1);
  m_canvas->BlitImage(m_cursorImage, m_x - int32_t(m_hotX), m_y - int32_t(m_hotY), kBlitMode, 0);
  VQclip_Pop();
}

void VQMouseDevice::Link(VQCanvas* canvas) {
  if (m_canvas != nullptr && m_canvas != canvas) Unlink();
  m_canvas = canvas;
  canvas->m_mouse = this;
  canvas->m_overlayCursor = m_overlayCursor;
  g_VQcanvasOverlay.drawCursor = DrawCanvasCursor;
  g_VQcanvasOverlay.detachMouse = DetachCanvasMouse;
}

void VQMouseDevice::Unlink() {
  if (m_canvas == nullptr) return;
  if (m_canvas->m_mouse == this) {
    m_canvas->m_mouse = nullptr;
    m_canvas->m_overlayCursor = 0;
  }
  m_canvas = nullptr;
}
