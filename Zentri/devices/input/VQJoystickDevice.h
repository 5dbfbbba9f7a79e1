// The joystick device: up to 8 axes as floats from -1 to 1 and a button bit set, polled on
// demand by the game, which reads the current and the previous state (joysticks post no
// events). Two drivers: DirectInput (up to 8 joysticks, dead zones applied by the device)
// and the Windows multimedia joystick functions (2 joysticks, dead zones applied here).
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/input/VQinput.h"

class VQCanvas;

constexpr uint32_t VQJOYSTICK_MAX_AXES = 8;
constexpr uint32_t VQJOYSTICK_AXIS_Y = 1;  // counted upwards: the raw reading is inverted
constexpr uint32_t VQDINPUT_JOYSTICKS = 8;
constexpr uint32_t VQWINDOWS_JOYSTICKS = 2;

// One raw axis reading as a value from -1 to 1 over the raw range [min, max]; the Y axis is
// inverted (max reads -1). An empty range (min = max) reads 0.
float VQjoystick_Normalize(int64_t raw, int64_t min, int64_t max, bool invert);

class VQJoystickDevice : public VQDevice {
 public:
  VQJoystickDevice(uint32_t index, uint32_t kind);

  // Axis past the count, or a value outside 0..1: error 28, false.
  virtual bool SetDeadZone(uint32_t axis, float value);
  // Axis past the count: error 28, 0.
  virtual float GetDeadZone(uint32_t axis);
  virtual bool AttachToCanvas(VQCanvas* canvas);
  virtual bool Poll() = 0;

  void StorePreviousState();
  // The scale of every counted axis (the game uses 1.1).
  void SetAxisScaleAll(float scale);

  uint32_t m_index;
  uint32_t m_axisCount = 0;  // at most VQJOYSTICK_MAX_AXES
  uint32_t m_buttonCount = 0;
  uint8_t m_forceFeedback = 0;
  VQCanvas* m_canvas = nullptr;
  float m_deadZones[VQJOYSTICK_MAX_AXES] = {};  // fractions of the half range
  float m_axes[VQJOYSTICK_MAX_AXES] = {};       // -1 .. 1
  float m_scales[VQJOYSTICK_MAX_AXES];          // 1 at construction
  uint32_t m_buttons = 0;                       // bit i: button i held
  float m_prevAxes[VQJOYSTICK_MAX_AXES] = {};
  uint32_t m_prevButtons = 0;

 protected:
  // The axis value of a normalised reading: scaled and clamped to -1..1 unless the scale is
  // exactly 1.
  float Scaled(uint32_t axis, float value) const;
};

// The DirectInput driver (kind 14, indices 0 to 7).
class VQDirectInputJoystickDevice : public VQJoystickDevice {
 public:
  explicit VQDirectInputJoystickDevice(uint32_t index);
  ~VQDirectInputJoystickDevice() override;

  bool Init() override;
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "DirectInput Joystick Device"; }
  // Sets the device's dead-zone property of the axis (value x 10000) and keeps the value
  // when the device accepts it. Axis past the count: error 28.
  bool SetDeadZone(uint32_t axis, float value) override;
  bool AttachToCanvas(VQCanvas* canvas) override;
  bool Poll() override;

  int32_t m_rawMin[VQJOYSTICK_MAX_AXES] = {};
  int32_t m_rawMax[VQJOYSTICK_MAX_AXES] = {};
  uint32_t m_offsets[VQJOYSTICK_MAX_AXES] = {};  // data offsets in DIJOYSTATE
  IDirectInputDevice7A* m_device = nullptr;
  VQDinputProbe m_probe;
  uint8_t m_needsPoll = 0;
};

// The Windows multimedia driver (kind 11, indices 0 and 1).
class VQWindowsJoystickDevice : public VQJoystickDevice {
 public:
  explicit VQWindowsJoystickDevice(uint32_t index);
  ~VQWindowsJoystickDevice() override;

  bool Init() override;
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "Windows Joystick Device"; }
  bool Poll() override;

  uint32_t m_rawMin[VQJOYSTICK_MAX_AXES] = {};
  uint32_t m_rawMax[VQJOYSTICK_MAX_AXES] = {};
};

VQDevice* VQdirectinput_GetJoystickDevice(int kind, int index);
VQDevice* VQwindows_GetJoystickDevice(int kind, int index);
