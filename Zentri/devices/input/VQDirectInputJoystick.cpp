// The DirectInput joystick driver: up to 8 joysticks.
#include <cmath>
#include <cstring>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"

namespace {

VQDirectInputJoystickDevice s_joysticks[VQDINPUT_JOYSTICKS] = {
    VQDirectInputJoystickDevice(0), VQDirectInputJoystickDevice(1), VQDirectInputJoystickDevice(2),
    VQDirectInputJoystickDevice(3), VQDirectInputJoystickDevice(4), VQDirectInputJoystickDevice(5),
    VQDirectInputJoystickDevice(6), VQDirectInputJoystickDevice(7)};

constexpr float kDeadZoneUnits = 10000.0f;  // the device's dead zones are in 1/10000 of the half range
constexpr uint8_t kDown = 0x80;

DIPROPHEADER AxisHeader(uint32_t size, uint32_t offset) {
  return DIPROPHEADER{size, sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET};
}

// Enumeration of the axis objects: keeps range and offset of the first 8 axes; a device
// reporting more has no room for the rest in the per-axis tables.
int TakeAxis(const DIDEVICEOBJECTINSTANCEA* object, void* ref) {
  auto* joystick = static_cast<VQDirectInputJoystickDevice*>(ref);
  if (joystick->m_axisCount >= VQJOYSTICK_MAX_AXES) return DIENUM_STOP;
  DIPROPRANGE range{AxisHeader(sizeof(DIPROPRANGE), object->dwOfs), 0, 0};
  g_VQdxResult = joystick->m_device->GetProperty(DIPROP_RANGE, &range.diph);
  if (dx_failed(g_VQdxResult)) return DIENUM_CONTINUE;
  const uint32_t axis = joystick->m_axisCount++;
  joystick->m_rawMin[axis] = range.lMin;
  joystick->m_rawMax[axis] = range.lMax;
  joystick->m_offsets[axis] = object->dwOfs;
  return DIENUM_CONTINUE;
}

// The DIJOYSTATE axis field at a data offset; false for an offset that is none of them.
bool AxisField(const DIJOYSTATE& s, uint32_t offset, int32_t* value) {
  const int32_t fields[DIJOYSTATE_AXES] = {s.lX, s.lY, s.lZ, s.lRx, s.lRy, s.lRz, s.rglSlider[0], s.rglSlider[1]};
  if (offset % 4 != 0 || offset / 4 >= DIJOYSTATE_AXES) return false;
  *value = fields[offset / 4];
  return true;
}

}  // namespace

VQDirectInputJoystickDevice::VQDirectInputJoystickDevice(uint32_t index)
    : VQJoystickDevice(index, VQDEVICE_DINPUT_JOYSTICK) {}

VQDirectInputJoystickDevice::~VQDirectInputJoystickDevice() {
  if (m_initialised) Close();
}

bool VQDirectInputJoystickDevice::Init() {
  if (m_initialised) return true;
  m_probe.wanted = m_index;
  return VQdinput_FindInstance(DIDEVTYPE_JOYSTICK, &m_probe);
}

bool VQDirectInputJoystickDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  auto* input = static_cast<IDirectInput7A*>(VQdirectx_CreateDirectInput());
  if (input == nullptr) return false;
  auto fail = [this] {
    VQdinput_ReleaseDevice(&m_device);
    VQdirectx_ReleaseDirectInput();
    return false;
  };
  m_device = VQdinput_CreateDevice(input, m_probe.guid, &c_dfDIJoystick, 0);
  if (m_device == nullptr) return fail();
  DIDEVCAPS caps{};
  caps.dwSize = sizeof caps;
  g_VQdxResult = m_device->GetCapabilities(&caps);
  if (dx_failed(g_VQdxResult)) return fail();
  m_buttonCount = caps.dwButtons;
  m_forceFeedback = (caps.dwFlags & DIDC_FORCEFEEDBACK) != 0 ? 1 : 0;
  m_needsPoll = (caps.dwFlags & DIDC_POLLEDDATAFORMAT) != 0 ? 1 : 0;
  m_axisCount = 0;
  g_VQdxResult = m_device->EnumObjects(TakeAxis, this, DIDFT_AXIS);
  if (dx_failed(g_VQdxResult)) return fail();
  for (uint32_t i = 0; i < m_axisCount; ++i) {
    SetDeadZone(i, 0.0f);
    m_axes[i] = 0.0f;
  }
  m_buttons = 0;
  if (!g_VQsystem.AddDevice(this)) return fail();
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQDirectInputJoystickDevice::Close() {
  if (!m_initialised) return;
  if (m_device != nullptr) m_device->Unacquire();
  VQdinput_ReleaseDevice(&m_device);
  VQdirectx_ReleaseDirectInput();
  g_VQsystem.RemoveDevice(this);
  m_canvas = nullptr;
  m_initialised = 0;
}

bool VQDirectInputJoystickDevice::SetDeadZone(uint32_t axis, float value) {
  if (axis >= m_axisCount || m_device == nullptr) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  // Values outside 0..1 are the device's to refuse. NaN and values too large for the
  // property are refused here, as they have no property value.
  const float units = value * kDeadZoneUnits;
  if (!(units >= 0.0f && units < 4294967296.0f)) {
    g_VQdxResult = DIERR_INVALIDPARAM;
    return false;
  }
  DIPROPDWORD zone{AxisHeader(sizeof(DIPROPDWORD), m_offsets[axis]), static_cast<uint32_t>(units)};
  g_VQdxResult = m_device->SetProperty(DIPROP_DEADZONE, &zone.diph);
  if (dx_failed(g_VQdxResult)) return false;
  m_deadZones[axis] = value;
  return true;
}

bool VQDirectInputJoystickDevice::AttachToCanvas(VQCanvas* canvas) {
  if (m_device == nullptr) return false;
  g_VQdxResult = m_device->SetCooperativeLevel(canvas != nullptr ? canvas->m_window : 0,
                                               DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  if (dx_failed(g_VQdxResult)) return false;
  g_VQdxResult = m_device->Acquire();
  m_canvas = canvas;
  return true;
}

bool VQDirectInputJoystickDevice::Poll() {
  if (!m_initialised || m_device == nullptr) return VQerror_Fail(VQERR_NOT_OPEN);
  if (m_needsPoll) g_VQdxResult = m_device->Poll();
  DIJOYSTATE state{};
  g_VQdxResult = m_device->GetDeviceState(sizeof state, &state);
  if (dx_failed(g_VQdxResult)) {
    uint32_t tries = 0;
    do {
      g_VQdxResult = m_device->Acquire();
      if (dx_failed(g_VQdxResult)) return false;
      g_VQdxResult = m_device->GetDeviceState(sizeof state, &state);
    } while (g_VQdxResult == DIERR_INPUTLOST && ++tries < VQDINPUT_READ_TRIES);
    if (dx_failed(g_VQdxResult)) return false;
  }
  for (uint32_t i = 0; i < m_axisCount; ++i) {
    int32_t raw = 0;
    if (!AxisField(state, m_offsets[i], &raw)) continue;  // an axis without a field
    const float v = VQjoystick_Normalize(raw, m_rawMin[i], m_rawMax[i], i == VQJOYSTICK_AXIS_Y);
    m_axes[i] = Scaled(i, v);
  }
  m_buttons = 0;
  for (uint32_t i = 0; i < m_buttonCount && i < DIJOYSTATE_BUTTONS; ++i)
    if (state.rgbButtons[i] & kDown) m_buttons |= 1u << i;
  return true;
}

VQDevice* VQdirectinput_GetJoystickDevice(int kind, int index) {
  if (kind != VQDEVICE_DINPUT_JOYSTICK || index < 0 || index >= static_cast<int>(VQDINPUT_JOYSTICKS)) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(&s_joysticks[index]);
}
