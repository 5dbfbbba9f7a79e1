// The DirectInput mouse driver: relative motion, polled by the frame pump.
#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"

namespace {
VQDirectInputMouseDevice s_mouse;

void PollHook(uintptr_t user) { reinterpret_cast<VQDirectInputMouseDevice*>(user)->Poll(); }

constexpr uint32_t kDown = 0x80;  // bit 7 of a button record: held
}  // namespace

VQDirectInputMouseDevice::VQDirectInputMouseDevice() : VQMouseDevice(0, VQDEVICE_DINPUT_MOUSE) {}

VQDirectInputMouseDevice::~VQDirectInputMouseDevice() {
  if (m_initialised) Close();
}

bool VQDirectInputMouseDevice::Init() {
  if (m_initialised) return true;
  m_probe.wanted = m_index;
  return VQdinput_FindInstance(DIDEVTYPE_MOUSE, &m_probe);
}

bool VQDirectInputMouseDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  auto* input = static_cast<IDirectInput7A*>(VQdirectx_CreateDirectInput());
  if (input == nullptr) return false;
  m_device = VQdinput_CreateDevice(input, m_probe.guid, &c_dfDIMouse, VQDINPUT_BUFFER_RECORDS);
  if (m_device != nullptr) {
    DIPROPDWORD mode{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, DIPROPAXISMODE_REL};
    g_VQdxResult = m_device->SetProperty(DIPROP_AXISMODE, &mode.diph);
    if (dx_failed(g_VQdxResult)) VQdinput_ReleaseDevice(&m_device);
  }
  if (m_device == nullptr || !g_VQsystem.AddDevice(this)) {
    VQdinput_ReleaseDevice(&m_device);
    VQdirectx_ReleaseDirectInput();
    return false;
  }
  g_VQwin32Devices.pollMouse = PollHook;
  g_VQwin32Devices.pollMouseUser = reinterpret_cast<uintptr_t>(this);
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQDirectInputMouseDevice::Close() {
  if (!m_initialised) return;
  InitHandlers();
  if (m_canvas != nullptr) DetachFromCanvas();
  VQdinput_ReleaseDevice(&m_device);
  VQdirectx_ReleaseDirectInput();
  if (g_VQwin32Devices.pollMouseUser == reinterpret_cast<uintptr_t>(this)) {
    g_VQwin32Devices.pollMouse = nullptr;
    g_VQwin32Devices.pollMouseUser = 0;
  }
  g_VQsystem.RemoveDevice(this);
  m_initialised = 0;
}

bool VQDirectInputMouseDevice::AttachToCanvas(VQCanvas* canvas) {
  if (canvas == nullptr || m_device == nullptr) return false;
  const uint32_t level = (canvas->m_mode == 1 ? DISCL_EXCLUSIVE : DISCL_NONEXCLUSIVE) | DISCL_FOREGROUND;
  g_VQdxResult = m_device->SetCooperativeLevel(canvas->m_window, level);
  if (dx_failed(g_VQdxResult)) return false;
  g_VQdxResult = m_device->Acquire();
  DIMOUSESTATE state{};
  g_VQdxResult = m_device->GetDeviceState(sizeof state, &state);
  if (dx_succeeded(g_VQdxResult)) {
    m_x = state.lX;
    m_y = state.lY;
    m_z = state.lZ;
  }
  m_buttons = 0;
  Link(canvas);
  return true;
}

void VQDirectInputMouseDevice::DetachFromCanvas() {
  Unlink();
  if (m_device == nullptr) return;
  m_device->Unacquire();
  g_VQdxResult = m_device->SetCooperativeLevel(0, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
}

bool VQDirectInputMouseDevice::Poll() {
  if (!m_initialised || m_device == nullptr) return VQerror_Fail(VQERR_NOT_OPEN);
  DIDEVICEOBJECTDATA records[VQDINPUT_BUFFER_RECORDS];
  uint32_t count = 0;
  bool overflow = false, lost = false;
  const VQDinputRead read = VQdinput_ReadBuffered(m_device, records, &count, &overflow, &lost);
  if (read == VQDINPUT_READ_DENIED) return true;
  if (read != VQDINPUT_READ_OK) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t delta = static_cast<int32_t>(records[i].dwData);
    const bool down = (records[i].dwData & kDown) != 0;
    switch (records[i].dwOfs) {
      case DIMOFS_X:
        PostEvent(VQEVENT_POINTER_MOVE, m_x + delta, m_y, m_z);
        break;
      case DIMOFS_Y:  // the device counts downwards, the engine upwards
        PostEvent(VQEVENT_POINTER_MOVE, m_x, m_y - delta, m_z);
        break;
      case DIMOFS_Z:
        PostEvent(VQEVENT_POINTER_MOVE, m_x, m_y, m_z + delta);
        break;
      case DIMOFS_BUTTON0:
        PostEvent(down ? VQEVENT_LEFT_DOWN : VQEVENT_LEFT_UP, m_x, m_y, m_z);
        break;
      case DIMOFS_BUTTON0 + 1:
        PostEvent(down ? VQEVENT_RIGHT_DOWN : VQEVENT_RIGHT_UP, m_x, m_y, m_z);
        break;
      case DIMOFS_BUTTON0 + 2:
        PostEvent(down ? VQEVENT_MIDDLE_DOWN : VQEVENT_MIDDLE_UP, m_x, m_y, m_z);
        break;
      default:
        break;
    }
  }
  return true;
}

VQDevice* VQdirectinput_GetMouseDevice(int kind, int index) {
  if (kind != VQDEVICE_DINPUT_MOUSE || index != 0) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(&s_mouse);
}
