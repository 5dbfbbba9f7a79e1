// The Windows multimedia joystick driver: joysticks 1 and 2 of the system.
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "host/input/joystick.h"

namespace {

VQWindowsJoystickDevice s_joysticks[VQWINDOWS_JOYSTICKS] = {VQWindowsJoystickDevice(0), VQWindowsJoystickDevice(1)};

bool ReadPosition(uint32_t id, host::JOYINFOEX* info) {
  *info = host::JOYINFOEX{};
  info->dwSize = sizeof *info;
  info->dwFlags = host::JOY_RETURNALL;
  return host::joyGetPosEx(id, info) == host::JOYERR_NOERROR;
}

}  // namespace

VQWindowsJoystickDevice::VQWindowsJoystickDevice(uint32_t index) : VQJoystickDevice(index, VQDEVICE_WINDOWS_JOYSTICK) {}

VQWindowsJoystickDevice::~VQWindowsJoystickDevice() {
  if (m_initialised) Close();
}

bool VQWindowsJoystickDevice::Init() {
  host::JOYINFOEX info;
  return ReadPosition(m_index, &info);
}

bool VQWindowsJoystickDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  if (!Init()) return false;
  host::JOYCAPSA caps{};
  if (host::joyGetDevCapsA(m_index, &caps, sizeof caps) != host::JOYERR_NOERROR) return false;
  m_axisCount = caps.wNumAxes < host::JOY_MAXAXES ? caps.wNumAxes : host::JOY_MAXAXES;
  m_buttonCount = caps.wNumButtons;
  m_forceFeedback = 0;
  const uint32_t mins[host::JOY_MAXAXES] = {caps.wXmin, caps.wYmin, caps.wZmin, caps.wRmin, caps.wUmin, caps.wVmin};
  const uint32_t maxs[host::JOY_MAXAXES] = {caps.wXmax, caps.wYmax, caps.wZmax, caps.wRmax, caps.wUmax, caps.wVmax};
  for (uint32_t i = 0; i < host::JOY_MAXAXES; ++i) {
    m_rawMin[i] = mins[i];
    m_rawMax[i] = maxs[i];
  }
  for (uint32_t i = 0; i < m_axisCount; ++i) {
    m_deadZones[i] = 0.0f;
    m_axes[i] = 0.0f;
  }
  m_buttons = 0;
  if (!g_VQsystem.AddDevice(this)) return false;
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQWindowsJoystickDevice::Close() {
  if (!m_initialised) return;
  g_VQsystem.RemoveDevice(this);
  m_initialised = 0;
}

bool VQWindowsJoystickDevice::Poll() {
  if (!m_initialised) return VQerror_Fail(VQERR_NOT_OPEN);
  host::JOYINFOEX info;
  if (!ReadPosition(m_index, &info)) return false;
  m_buttons = info.dwButtons;
  const uint32_t raw[host::JOY_MAXAXES] = {info.dwXpos, info.dwYpos, info.dwZpos,
                                           info.dwRpos, info.dwUpos, info.dwVpos};
  for (uint32_t i = 0; i < m_axisCount; ++i) {
    float v = VQjoystick_Normalize(raw[i], m_rawMin[i], m_rawMax[i], i == VQJOYSTICK_AXIS_Y);
    if (v > -m_deadZones[i] && v < m_deadZones[i]) v = 0.0f;
    m_axes[i] = Scaled(i, v);
  }
  return true;
}

VQDevice* VQwindows_GetJoystickDevice(int kind, int index) {
  if (kind != VQDEVICE_WINDOWS_JOYSTICK || index < 0 || index >= static_cast<int>(VQWINDOWS_JOYSTICKS)) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(&s_joysticks[index]);
}
