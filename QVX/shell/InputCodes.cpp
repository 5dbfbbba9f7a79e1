#include "QVX/shell/InputCodes.h"

#include <cstdio>
#include <cstring>

namespace {

// Keyboard key names in key-index order: this is also the keyboard device's key numbering.
const char* const kKeyNames[INPUTCODE_KEY_COUNT] = {
    "enter", "nenter", "left_shift", "left_ctrl", "right_ctrl", "left_alt", "right_alt", "left",
    "up", "right", "down", "back", "tab", "esc", "space", "numlock", "insert", "delete", "home",
    "end", "pageup", "pagedown", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "n0", "n1",
    "n2", "n3", "n4", "n5", "n6", "n7", "n8", "n9", "nmul", "nadd", "nsub", "ndiv", "ndel", "a",
    "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s",
    "t", "u", "v", "w", "x", "y", "z", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9",
    "F10", "F11", "F12", ",", ".", "/", "[", "]", "\\", "-", "=", "'", "`", ";", "right_shift"};

// Joystick names are built once: 128 fixed texts, so InputCodeName can hand out static text.
struct JoystickNames {
  char names[INPUTCODE_JOYSTICK_LAST][16];
  JoystickNames() {
    for (int code = 1; code <= INPUTCODE_JOYSTICK_LAST; ++code) {
      const int j = (code - 1) / INPUTCODE_JOYSTICK_BLOCK;
      const int offset = (code - 1) % INPUTCODE_JOYSTICK_BLOCK + 1;
      char* out = names[code - 1];
      if (offset <= 2 * INPUTCODE_JOYSTICK_AXES) {
        const int axis = (offset - 1) / 2;
        std::snprintf(out, 16, "joy%d_%d_%s", j + 1, axis + 1, (offset & 1) ? "pos" : "neg");
      } else {
        std::snprintf(out, 16, "joy%d_button%d", j + 1, offset - 2 * INPUTCODE_JOYSTICK_AXES);
      }
    }
  }
};

const JoystickNames& Joysticks() {
  static const JoystickNames names;
  return names;
}

int BlockOffset(int32_t code) { return (code - 1) % INPUTCODE_JOYSTICK_BLOCK + 1; }

}  // namespace

const char* InputCodeName(uint32_t code) {
  if (code >= 1 && code <= uint32_t(INPUTCODE_JOYSTICK_LAST)) return Joysticks().names[code - 1];
  if (code >= uint32_t(INPUTCODE_KEY_FIRST) && code <= uint32_t(INPUTCODE_KEY_LAST))
    return kKeyNames[code - INPUTCODE_KEY_FIRST];
  return "";
}

int32_t InputCodeFromName(const char* name) {
  if (!name || !*name) return 0;
  for (int code = 1; code <= INPUTCODE_JOYSTICK_LAST; ++code)
    if (std::strcmp(Joysticks().names[code - 1], name) == 0) return code;
  for (int i = 0; i < INPUTCODE_KEY_COUNT; ++i)
    if (std::strcmp(kKeyNames[i], name) == 0) return INPUTCODE_KEY_FIRST + i;
  return 0;
}

int InputCodeClass(int32_t code) {
  if (InputCodeIsAxis(code)) return INPUTCODE_JOYSTICK_AXIS;
  if (InputCodeIsButton(code)) return INPUTCODE_JOYSTICK_BUTTON;
  if (code >= INPUTCODE_KEY_FIRST && code <= INPUTCODE_KEY_LAST) return INPUTCODE_KEY;
  return INPUTCODE_NONE;
}

bool InputCodeIsOfJoystick(uint32_t joystick, int32_t code) {
  if (joystick >= uint32_t(INPUTCODE_JOYSTICKS)) return false;
  return InputCodeJoystick(code) == int(joystick);
}

int InputCodeJoystick(int32_t code) {
  if (code < 1 || code > INPUTCODE_JOYSTICK_LAST) return -1;
  return (code - 1) / INPUTCODE_JOYSTICK_BLOCK;
}

int InputCodeAxis(int32_t code) {
  if (!InputCodeIsAxis(code)) return -1;
  return (BlockOffset(code) - 1) / 2;
}

bool InputCodeIsButton(int32_t code) {
  return code >= 1 && code <= INPUTCODE_JOYSTICK_LAST && BlockOffset(code) > 2 * INPUTCODE_JOYSTICK_AXES;
}

bool InputCodeIsAxis(int32_t code) {
  return code >= 1 && code <= INPUTCODE_JOYSTICK_LAST && BlockOffset(code) <= 2 * INPUTCODE_JOYSTICK_AXES;
}

int32_t InputCodeButtonMask(int32_t code) {
  if (!InputCodeIsButton(code)) return 0;
  return int32_t(1u << (BlockOffset(code) - 2 * INPUTCODE_JOYSTICK_AXES - 1));
}

bool InputCodeIsPositive(int32_t code) { return !(InputCodeIsAxis(code) && (BlockOffset(code) % 2) == 0); }

uint32_t InputCodeKeyIndex(uint32_t code) { return code - INPUTCODE_KEY_FIRST; }

uint32_t KeyIndexInputCode(uint32_t keyIndex) { return keyIndex + INPUTCODE_KEY_FIRST; }

int32_t JoystickButtonCode(uint32_t joystick, int32_t mask) {
  if (joystick >= uint32_t(INPUTCODE_JOYSTICKS)) return 0;
  const uint32_t bits = uint32_t(mask);
  if (bits == 0 || (bits & (bits - 1)) != 0 || bits > (1u << (INPUTCODE_JOYSTICK_BUTTONS - 1))) return 0;
  int button = 0;
  while ((bits >> button) != 1u) ++button;
  return int32_t(joystick) * INPUTCODE_JOYSTICK_BLOCK + 2 * INPUTCODE_JOYSTICK_AXES + button + 1;
}

int32_t JoystickAxisCode(uint32_t joystick, int axis, bool positive) {
  if (joystick >= uint32_t(INPUTCODE_JOYSTICKS) || axis < 0 || axis >= INPUTCODE_JOYSTICK_AXES) return 0;
  return int32_t(joystick) * INPUTCODE_JOYSTICK_BLOCK + 2 * axis + (positive ? 1 : 2);
}
