// A player's bindings and controls: the binding slots with their default sets, the level and
// edge tests of one binding, the control polling with its rates, and the human driver's frame.
#include <algorithm>
#include <cmath>

#include "QVX/race/Car.h"
#include "QVX/race/Player.h"
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"

const int32_t g_playerDefaultBindings[3][PLAYER_BINDINGS] = {
    {207, 209, 208, 214, 202, 272, 247, 248, 258, 254, 249, 252, 264, 262, 248, 256},
    {256, 258, 255, 257, 202, 272, 247, 248, 258, 286, 271, 261, 267, 266, 295, 2},
    {2, 1, 3, 4, 202, 272, 247, 248, 258, 17, 18, 19, 20, 21, 22, 257},
};

float Player_SteeringResponse(float value, float speed) {
  if (speed < 1.0f) return value;
  if (speed >= 40.0f) return value * 0.5f;
  return value * (80.0f - speed) * 0.0125f;
}

int32_t Player::GetBinding(int slot) const {
  if (slot < 0 || slot >= PLAYER_BINDINGS) return 0;
  return slot < PROFILE_BINDINGS ? m_profile.bindings[slot] : m_spareBinding;
}

int Player::GetBindingClass(int slot) const { return InputCodeClass(GetBinding(slot)); }

void Player::SetBinding(int slot, int32_t code) {
  if (slot < 0 || slot >= PLAYER_BINDINGS) return;
  if (InputCodeClass(code) == INPUTCODE_NONE) code = 0;
  if (slot < PROFILE_BINDINGS)
    m_profile.bindings[slot] = code;
  else
    m_spareBinding = code;
  m_latches[slot] = 0;
  AssignSpareKey();
  if (Program* program = g_program)
    for (uint32_t i = 0; i < program->m_playerCount && i < PROGRAM_MAX_PLAYERS; ++i)
      if (Player* other = program->m_players[i]; other && other != this) other->AssignSpareKey();
}

void Player::AssignSpareKey() {
  bool taken = IsBound(PLAYER_SPARE_BRAKE_CODE, BIND_SPAREBRAKE);
  if (Program* program = g_program)
    for (uint32_t i = 0; i < program->m_playerCount && i < PROGRAM_MAX_PLAYERS && !taken; ++i) {
      const Player* other = program->m_players[i];
      if (other && other != this) taken = other->IsBound(PLAYER_SPARE_BRAKE_CODE, -1);
    }
  m_spareBinding = taken ? 0 : PLAYER_SPARE_BRAKE_CODE;
}

void Player::SetDefaultKeyBindings(uint32_t set) {
  const int32_t* codes = g_playerDefaultBindings[set == 1 ? 0 : 1];
  for (int slot = 0; slot < PROFILE_BINDINGS; ++slot) m_profile.bindings[slot] = codes[slot];
  m_spareBinding = codes[BIND_SPAREBRAKE];
  SetBinding(BIND_SPAREBRAKE, m_spareBinding);
}

void Player::SetDefaultJoystickBindings() {
  const int32_t* codes = g_playerDefaultBindings[2];
  for (int slot = 0; slot < PROFILE_BINDINGS; ++slot) m_profile.bindings[slot] = codes[slot];
  SetBinding(BIND_SPAREBRAKE, codes[BIND_SPAREBRAKE]);
}

bool Player::IsBound(int32_t code, int exceptSlot) const {
  if (code == 0) return false;
  for (int slot = 0; slot < PLAYER_BINDINGS; ++slot)
    if (slot != exceptSlot && GetBinding(slot) == code) return true;
  return false;
}

namespace {
VQKeyboardDevice* Keyboard(const PlayerInputDevices* input) {
  if (input && input->keyboard) return input->keyboard;
  return g_program ? static_cast<VQKeyboardDevice*>(g_program->m_keyboard) : nullptr;
}
VQJoystickDevice* Joystick(const PlayerInputDevices* input, int index) {
  if (index < 0 || index >= 4) return nullptr;
  if (input && input->joysticks[index]) return input->joysticks[index];
  return g_program ? static_cast<VQJoystickDevice*>(g_program->m_joysticks[index]) : nullptr;
}
// The axis value of an axis code (0 when the joystick or axis is missing).
float AxisValue(const PlayerInputDevices* input, int32_t code) {
  const VQJoystickDevice* j = Joystick(input, InputCodeJoystick(code));
  const int axis = InputCodeAxis(code);
  if (!j || axis < 0 || uint32_t(axis) >= j->m_axisCount) return 0.0f;
  const float v = j->m_axes[axis];
  return std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
}
// The axis value on the code's side (0 on the other side).
float AxisOnSide(const PlayerInputDevices* input, int32_t code) {
  const float v = AxisValue(input, code);
  return InputCodeIsPositive(code) ? std::max(v, 0.0f) : std::max(-v, 0.0f);
}
}  // namespace

float Player::IsControlHeld(int slot) const {
  const int32_t code = GetBinding(slot);
  switch (InputCodeClass(code)) {
    case INPUTCODE_JOYSTICK_AXIS: {
      const float v = AxisValue(m_input, code);
      return (InputCodeIsPositive(code) ? v >= 0.5f : v < -0.5f) ? 1.0f : 0.0f;
    }
    case INPUTCODE_JOYSTICK_BUTTON: {
      const VQJoystickDevice* j = Joystick(m_input, InputCodeJoystick(code));
      return j && (j->m_buttons & uint32_t(InputCodeButtonMask(code))) ? 1.0f : 0.0f;
    }
    case INPUTCODE_KEY: {
      const VQKeyboardDevice* k = Keyboard(m_input);
      return k && k->IsKeyDown(InputCodeKeyIndex(uint32_t(code))) ? 1.0f : 0.0f;
    }
    default: return 0.0f;
  }
}

float Player::IsControlPressed(int slot) {
  if (slot < 0 || slot >= PLAYER_BINDINGS) return 0.0f;
  if (IsControlHeld(slot) == 0.0f) {
    m_latches[slot] = 0;
    return 0.0f;
  }
  if (m_latches[slot]) return 0.0f;
  m_latches[slot] = 1;
  return 1.0f;
}

void Player::ClearControls() {
  for (float& c : m_controls) c = 0.0f;
  m_controls[CONTROL_CLUTCH] = 1.0f;
  for (uint8_t& l : m_latches) l = 0;
  m_throttlePressed = 0;
  m_steerRaw = 0.0f;
}

void Player::PollControls(float dt, uint32_t mask) {
  if (!(dt >= 0.0f) || !std::isfinite(dt)) dt = 0.0f;
  float* c = m_controls;
  const float speed = m_car ? m_car->GetSpeed() : 0.0f;
  auto on = [mask](int bit) { return (mask >> bit) & 1u; };

  // Steering. The raw value is kept apart from the result: the response to speed scales the
  // result of each frame and must not compound, and a centred axis means straight ahead.
  if (on(CONTROL_STEERING)) {
    const int leftClass = GetBindingClass(BIND_LEFT), rightClass = GetBindingClass(BIND_RIGHT);
    const bool analogue =
        leftClass == INPUTCODE_JOYSTICK_AXIS || rightClass == INPUTCODE_JOYSTICK_AXIS;
    // Digital steering slows down with speed unless the steering factor is 1.
    const float slow = std::max(0.05f, speed - speed * m_profile.steerspeed_factor + 1.0f);
    float& raw = m_steerRaw;
    if (analogue) raw = 0.0f;
    bool held = false;
    for (int slot : {BIND_LEFT, BIND_RIGHT}) {
      const float side = slot == BIND_LEFT ? -1.0f : 1.0f;
      const int32_t code = GetBinding(slot);
      const int cls = InputCodeClass(code);
      if (cls == INPUTCODE_JOYSTICK_AXIS) {
        const float a = AxisValue(m_input, code);
        const bool deflected = InputCodeIsPositive(code) ? a > 0.0f : a < 0.0f;
        if (deflected) raw = side * a * a;
      } else if ((cls == INPUTCODE_JOYSTICK_BUTTON || cls == INPUTCODE_KEY) &&
                 IsControlHeld(slot) != 0.0f) {
        raw = std::clamp(raw + side * m_profile.speed_steerin / slow * dt, -1.0f, 1.0f);
        held = true;
      }
    }
    if (!held && leftClass != INPUTCODE_JOYSTICK_AXIS) {
      const float back = m_profile.speed_steerback / slow * dt;
      if (raw > 0.0f)
        raw = std::max(0.0f, raw - back);
      else if (raw < 0.0f)
        raw = std::min(0.0f, raw + back);
    }
    c[CONTROL_STEERING] = analogue && m_steeringResponse ? m_steeringResponse(raw, speed) : raw;
  } else {
    c[CONTROL_STEERING] = 0.0f;
    m_steerRaw = 0.0f;
  }

  // Throttle and brake: an axis gives its value, a button or key rises at the in-rate and
  // falls at the back-rate.
  auto pedal = [&](int slot, float in, float back, float* value, bool pressedWord) {
    const int32_t code = GetBinding(slot);
    if (InputCodeClass(code) == INPUTCODE_JOYSTICK_AXIS) {
      *value = AxisOnSide(m_input, code);
      if (pressedWord && *value > 0.2f) m_throttlePressed = 1;
    } else if (IsControlHeld(slot) != 0.0f) {
      *value = std::min(1.0f, *value + in * dt);
      if (pressedWord) m_throttlePressed = 1;
    } else {
      *value = std::max(0.0f, *value - back * dt);
    }
  };
  if (on(CONTROL_THROTTLE))
    pedal(BIND_THROTTLE, m_profile.speed_throttlein, m_profile.speed_throttleback,
          &c[CONTROL_THROTTLE], true);
  else
    c[CONTROL_THROTTLE] = 0.0f;
  if (on(CONTROL_BRAKE))
    pedal(BIND_BRAKE, m_profile.speed_brakein, m_profile.speed_brakeback, &c[CONTROL_BRAKE], false);
  else
    c[CONTROL_BRAKE] = 0.0f;
  if (on(CONTROL_SPAREBRAKE) && GetBindingClass(BIND_SPAREBRAKE) == INPUTCODE_KEY) {
    if (IsControlHeld(BIND_SPAREBRAKE) != 0.0f)
      c[CONTROL_SPAREBRAKE] = std::min(1.0f, c[CONTROL_SPAREBRAKE] + m_profile.speed_brakein * dt);
    else
      c[CONTROL_SPAREBRAKE] =
          std::max(0.0f, c[CONTROL_SPAREBRAKE] - m_profile.speed_brakeback * dt);
  } else {
    c[CONTROL_SPAREBRAKE] = 0.0f;
  }

  // Clutch: the pedal opens it.
  if (on(CONTROL_CLUTCH)) {
    const int32_t code = GetBinding(BIND_CLUTCH);
    const float pedalValue = InputCodeClass(code) == INPUTCODE_JOYSTICK_AXIS
                                 ? AxisOnSide(m_input, code)
                                 : IsControlHeld(BIND_CLUTCH);
    c[CONTROL_CLUTCH] = 1.0f - pedalValue;
  } else {
    c[CONTROL_CLUTCH] = 0.0f;
  }

  // Gears: one step per press.
  if (on(CONTROL_GEAR)) {
    const float up = IsControlPressed(BIND_GEARUP), down = IsControlPressed(BIND_GEARDOWN);
    c[CONTROL_GEAR] = up != 0.0f ? 1.0f : down != 0.0f ? -1.0f : 0.0f;
  } else {
    c[CONTROL_GEAR] = 0.0f;
  }

  // Level and edge controls.
  struct Entry {
    int control, slot;
    bool edge;
  };
  static const Entry kEntries[] = {
      {CONTROL_PARKBRAKE, BIND_PARKBRAKE, false}, {CONTROL_HORN, BIND_HORN, false},
      {CONTROL_FLIP, BIND_FLIP, false},           {CONTROL_REAR, BIND_REAR, false},
      {CONTROL_LIGHTS, BIND_LIGHTS, true},        {CONTROL_CAMERA, BIND_CAMERA, true},
      {CONTROL_RESCUE, BIND_RESCUE, true},        {CONTROL_PAUSE, BIND_PAUSE, true}};
  for (const Entry& e : kEntries) {
    if (!on(e.control)) {
      if (e.control != CONTROL_FLIP) c[e.control] = 0.0f;
      continue;
    }
    c[e.control] = e.edge ? IsControlPressed(e.slot) : IsControlHeld(e.slot);
  }
}

void Player::UpdateHuman(float dt, float raceTime) {
  if (!m_car || !m_car->IsCreated()) return;
  if (dt <= 0.0f) {
    PollControls(0.0f, PLAYER_MASK_PAUSE);
    return;
  }
  PollControls(dt, m_controlMask);
  Car& car = *m_car;
  car.SetSteering(m_controls[CONTROL_STEERING]);
  car.SetThrottle(m_controls[CONTROL_THROTTLE]);
  car.SetBrake(std::max(m_controls[CONTROL_BRAKE], m_controls[CONTROL_SPAREBRAKE]));
  car.SetParkBrake(m_controls[CONTROL_PARKBRAKE]);
  if (m_controls[CONTROL_LIGHTS] > 0.5f) car.ToggleHeadLights();
  car.SetHorn(m_controls[CONTROL_HORN] == 1.0f);
  if (car.IsManualGearbox()) {
    if (m_controls[CONTROL_GEAR] != 0.0f) car.ShiftGear(int32_t(m_controls[CONTROL_GEAR]));
    car.SetClutch(m_controls[CONTROL_CLUTCH]);
  }
  car.Update(dt, raceTime);
}
