// The Windows mouse driver, fed by the window procedure.
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"

namespace {
VQWindowsMouseDevice s_mouse;

void MouseHook(uintptr_t user, int event, int32_t x, int32_t y, int32_t z) {
  reinterpret_cast<VQWindowsMouseDevice*>(user)->PostEvent(static_cast<uint32_t>(event), x, y, z);
}
}  // namespace

VQWindowsMouseDevice::VQWindowsMouseDevice() : VQMouseDevice(0, VQDEVICE_WINDOWS_MOUSE) {}

VQWindowsMouseDevice::~VQWindowsMouseDevice() {
  if (m_initialised) Close();
}

bool VQWindowsMouseDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  g_VQwin32Devices.mouseEvent = MouseHook;
  g_VQwin32Devices.mouseUser = reinterpret_cast<uintptr_t>(this);
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQWindowsMouseDevice::Close() {
  if (!m_initialised) return;
  if (m_canvas != nullptr) DetachFromCanvas();
  InitHandlers();
  if (g_VQwin32Devices.mouseUser == reinterpret_cast<uintptr_t>(this)) {
    g_VQwin32Devices.mouseEvent = nullptr;
    g_VQwin32Devices.mouseUser = 0;
  }
  m_initialised = 0;
}

bool VQWindowsMouseDevice::AttachToCanvas(VQCanvas* canvas) {
  if (canvas == nullptr) return false;
  int x = 0, y = 0, z = 0;
  if (VQwin32_GetCursorPosition(&x, &y, &z)) {
    m_x = x;
    m_y = y;
    m_z = 0;
  }
  m_buttons = 0;
  Link(canvas);
  return true;
}

VQDevice* VQwindows_GetMouseDevice(int kind, int index) {
  if (kind != VQDEVICE_WINDOWS_MOUSE) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  if (index != 0) return nullptr;
  return VQdevice_HandOut(&s_mouse);
}
