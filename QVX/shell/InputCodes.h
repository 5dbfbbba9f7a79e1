// Input binding codes: one integer names one control source of a driver's binding, either one
// direction of one joystick axis, one joystick button or one keyboard key.
//   0            no binding
//   1 .. 128     joystick j (0..3) owns 32 * j + 1 .. 32 * j + 32; within a block, offset
//                2a + 1 is axis a (0..7) positive, 2a + 2 negative, 17 .. 32 buttons 1 .. 16
//   129 .. 199   not assigned
//   200 .. 296   keyboard keys: code = the keyboard device's key index + 200
// Every function is a pure conversion without state.
#pragma once

#include <cstdint>

enum InputCodeClassId : int {
  INPUTCODE_NONE = 0,
  INPUTCODE_JOYSTICK_AXIS = 1,
  INPUTCODE_JOYSTICK_BUTTON = 2,
  INPUTCODE_KEY = 3,
};

constexpr int INPUTCODE_JOYSTICKS = 4;
constexpr int INPUTCODE_JOYSTICK_BLOCK = 32;
constexpr int INPUTCODE_JOYSTICK_AXES = 8;
constexpr int INPUTCODE_JOYSTICK_BUTTONS = 16;
constexpr int INPUTCODE_JOYSTICK_LAST = INPUTCODE_JOYSTICKS * INPUTCODE_JOYSTICK_BLOCK;  // 128
constexpr int INPUTCODE_KEY_FIRST = 200;
constexpr int INPUTCODE_KEY_LAST = 296;
constexpr int INPUTCODE_KEY_COUNT = INPUTCODE_KEY_LAST - INPUTCODE_KEY_FIRST + 1;  // 97

// The code's name ("joy2_8_neg", "joy4_button16", "left_shift", "F1"); "" for unassigned codes.
const char* InputCodeName(uint32_t code);
// The code for a name as InputCodeName writes it (case matters); 0 for "" and unknown names.
int32_t InputCodeFromName(const char* name);
int InputCodeClass(int32_t code);
bool InputCodeIsOfJoystick(uint32_t joystick, int32_t code);
int InputCodeJoystick(int32_t code);  // 0..3, -1 outside 1..128
int InputCodeAxis(int32_t code);      // 0..7 for an axis direction, else -1
bool InputCodeIsButton(int32_t code);
bool InputCodeIsAxis(int32_t code);
// Bit n - 1 for button n of its joystick; 0 for every code that is no button.
int32_t InputCodeButtonMask(int32_t code);
// False only for the negative direction of an axis.
bool InputCodeIsPositive(int32_t code);
uint32_t InputCodeKeyIndex(uint32_t code);
uint32_t KeyIndexInputCode(uint32_t keyIndex);
// The button code of the one button whose bit the mask is; 0 for joystick above 3, mask 0 or a
// mask of several bits (or bits above button 16).
int32_t JoystickButtonCode(uint32_t joystick, int32_t mask);
// 0 for joystick above 3 or axis outside 0..7.
int32_t JoystickAxisCode(uint32_t joystick, int axis, bool positive);
