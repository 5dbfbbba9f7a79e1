#include "Zentri/devices/input/VQJoystickDevice.h"

#include "Zentri/util/VQerror.h"

float VQjoystick_Normalize(int64_t raw, int64_t min, int64_t max, bool invert) {
  // An empty range would divide by zero: such an axis stands still in the middle.
  if (max <= min) return 0.0f;
  // Inverting about the middle of the range keeps both ends on the range whatever its
  // minimum is.
  if (invert) raw = min + max - raw;
  const double v = static_cast<double>(raw - min) / (static_cast<double>(max - min) * 0.5) - 1.0;
  return static_cast<float>(v);
}

VQJoystickDevice::VQJoystickDevice(uint32_t index, uint32_t kind) : VQDevice(kind), m_index(index) {
  for (float& s : m_scales) s = 1.0f;
}

bool VQJoystickDevice::SetDeadZone(uint32_t axis, float value) {
  if (axis >= m_axisCount || !(value >= 0.0f && value <= 1.0f)) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  m_deadZones[axis] = value;
  return true;
}

float VQJoystickDevice::GetDeadZone(uint32_t axis) {
  if (axis >= m_axisCount) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return 0.0f;
  }
  return m_deadZones[axis];
}

bool VQJoystickDevice::AttachToCanvas(VQCanvas* canvas) {
  m_canvas = canvas;
  return true;
}

void VQJoystickDevice::StorePreviousState() {
  for (uint32_t i = 0; i < VQJOYSTICK_MAX_AXES; ++i) m_prevAxes[i] = m_axes[i];
  m_prevButtons = m_buttons;
}

void VQJoystickDevice::SetAxisScaleAll(float scale) {
  for (uint32_t i = 0; i < m_axisCount && i < VQJOYSTICK_MAX_AXES; ++i) m_scales[i] = scale;
}

float VQJoystickDevice::Scaled(uint32_t axis, float value) const {
  if (m_scales[axis] == 1.0f) return value;
  const float v = value * m_scales[axis];
  return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
}
