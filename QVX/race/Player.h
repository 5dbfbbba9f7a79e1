// A driver taking part in the game: a local human with a profile, a computer driver or a remote
// network player. This holds what the game shell needs of it (name, kind, profile, file form);
// the race behaviour is added by the race simulation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "QVX/race/AIDriver.h"
#include "QVX/race/PlayerProfile.h"

class Car;
class VQKeyboardDevice;
class VQJoystickDevice;

constexpr size_t PLAYER_NAME_SIZE = 16;  // 15 characters and the NUL

// Binding slots (input codes, QVX/shell/InputCodes.h); the first fifteen are the profile's.
enum PlayerBindingSlot : int {
  BIND_LEFT = 0,
  BIND_RIGHT = 1,
  BIND_THROTTLE = 2,
  BIND_BRAKE = 3,
  BIND_CLUTCH = 4,
  BIND_GEARUP = 5,
  BIND_GEARDOWN = 6,
  BIND_PARKBRAKE = 7,
  BIND_LIGHTS = 8,
  BIND_HORN = 9,
  BIND_CAMERA = 10,
  BIND_FLIP = 11,
  BIND_RESCUE = 12,
  BIND_PAUSE = 13,
  BIND_REAR = 14,
  BIND_SPAREBRAKE = 15,
  PLAYER_BINDINGS = 16,
};

// Control values a driver's bindings produce (PollControls) and their mask bits (bit = index).
enum PlayerControl : int {
  CONTROL_STEERING = 0,  // -1 full left .. +1 full right
  CONTROL_THROTTLE = 1,  // 0..1
  CONTROL_BRAKE = 2,     // 0..1
  CONTROL_CLUTCH = 3,    // 1 engaged .. 0 open
  CONTROL_GEAR = 4,      // -1 down, 0, +1 up (once per press)
  CONTROL_PARKBRAKE = 5,
  CONTROL_LIGHTS = 6,    // 1 once per press
  CONTROL_HORN = 7,
  CONTROL_CAMERA = 8,    // 1 once per press
  CONTROL_FLIP = 9,
  CONTROL_RESCUE = 10,   // 1 once per press
  CONTROL_PAUSE = 11,    // 1 once per press
  CONTROL_REAR = 12,
  CONTROL_SPAREBRAKE = 13,
  PLAYER_CONTROLS = 14,
};
constexpr uint32_t PLAYER_MASK_ALL = 16383;
constexpr uint32_t PLAYER_MASK_NO_GEARS = 16359;  // all but clutch and gears
constexpr uint32_t PLAYER_MASK_PAUSE = 2048;

// The input code of the spare brake key (slot 15) when no participant uses it elsewhere.
constexpr int32_t PLAYER_SPARE_BRAKE_CODE = 210;

// Default binding sets: keyboard sets 1 and 2, and the joystick set.
extern const int32_t g_playerDefaultBindings[3][PLAYER_BINDINGS];

// Where a player's bindings are read; null members are taken from the Program (its keyboard and
// joysticks).
struct PlayerInputDevices {
  VQKeyboardDevice* keyboard = nullptr;
  VQJoystickDevice* joysticks[4] = {};
};

// The steering response of analogue steering: unchanged below speed 1, halved from speed 40 on,
// in between scaled by (80 - speed) x 0.0125.
float Player_SteeringResponse(float value, float speed);

enum PlayerType : int32_t {
  PLAYER_NONE = 0,
  PLAYER_HUMAN = 1,
  PLAYER_COMPUTER = 2,
  PLAYER_REMOTE = 3,
};

// True when name can name a profile file in the players folder: 1 to 15 characters, none of
// them a path separator, a control character or one of : * ? " < > |, not "." or "..", and not
// beginning with a dot, so the file cannot land outside the folder or be hidden.
bool Player_IsValidProfileName(const char* name);

class Player {
 public:
  Player();

  // Resets to a fresh profile of the given type.
  void Reset(PlayerType type);
  // Makes this a human player from the profile "Data\Players\<name>.bin". With index < 0 no file
  // is read (a new profile with defaults). True also when already created (nothing changes).
  // False, the player not created, when the name is not a valid profile name, the file cannot be
  // read or is not a profile record (wrong size; the file is kept).
  bool Load(const char* name, int32_t index, uint32_t keyboardSet);
  // Writes "Data\Players\<name>.bin" (binary) or ".sav" (text). The file is replaced only once
  // the new one is complete. False for an invalid name or a failed write.
  bool Save(bool binary) const;
  // Slot 15 (the spare brake key) gets code 210 unless another participant (the Program's
  // players) or another slot of this player already holds 210; else it is cleared.
  void AssignSpareKey();

  // ---- Bindings and controls.
  // Stores the code in the slot (0..15; others are ignored), then re-assigns the spare key of
  // this player and every participant.
  void SetBinding(int slot, int32_t code);
  int32_t GetBinding(int slot) const;
  int GetBindingClass(int slot) const;  // InputCodeClass of the slot's code
  // Keyboard set 1 or 2 (any other: 2) / the joystick set.
  void SetDefaultKeyBindings(uint32_t set);
  void SetDefaultJoystickBindings();
  // True when the code stands in a slot other than exceptSlot.
  bool IsBound(int32_t code, int exceptSlot) const;
  // 1.0 while the slot's control is held (axis beyond +-0.5 in its direction, button or key
  // down), else 0.0.
  float IsControlHeld(int slot) const;
  // 1.0 only at the first poll at which the control is held; again after it was released.
  float IsControlPressed(int slot);
  // Reads the bindings into the control values; controls whose mask bit is clear read 0
  // (flip keeps its value). dt in seconds; speed: the car's speed for the steering rates.
  void PollControls(float dt, uint32_t mask);
  // The human driver's frame with a car: polls with the control mask, hands steering,
  // throttle, brake, park brake, lights, horn and (manual gearbox) gears and clutch to the car,
  // and runs Car::Update.
  void UpdateHuman(float dt, float raceTime);
  // Zeroes every control value and latch (at each start preparation).
  void ClearControls();
  // Makes this a computer player driven by params (its name, number and rates): a fresh
  // computer profile holding its own AIDriver. A class override >= 0 replaces the record's
  // class. True also when already created (nothing changes).
  bool SetupComputer(const AIParameters& params, int32_t classOverride = -1);

  float m_controls[PLAYER_CONTROLS] = {};
  float m_steerRaw = 0.0f;  // steering before the response to speed
  uint8_t m_latches[PLAYER_BINDINGS] = {};
  uint8_t m_throttlePressed = 0;
  int32_t m_spareBinding = 0;  // slot 15 (the profile keeps slots 0..14)
  uint32_t m_controlMask = PLAYER_MASK_ALL;
  float (*m_steeringResponse)(float value, float speed) = &Player_SteeringResponse;
  Car* m_car = nullptr;                   // owned by the race while the player drives
  PlayerInputDevices* m_input = nullptr;  // null: the Program's devices

  char m_name[PLAYER_NAME_SIZE] = {};
  PlayerType m_type = PLAYER_NONE;
  int32_t m_profileIndex = -1;
  uint8_t m_created = 0;
  uint8_t m_flag = 0;  // the shell's per-player flag byte at creation
  int32_t m_bestPosition = 9999;
  float m_lookAhead[2] = {1.5f, 1.0f / 6.0f};
  PlayerProfile m_profile;
  // Why the last Load failed, for the caller's report ("" after success).
  char m_loadError[128] = {};
  // A computer player's driver (null for the others); it steers the player's car through an
  // AIVehicle and reads the track through an AICourse, both attached by the race.
  std::unique_ptr<AIDriver> m_ai;
};
