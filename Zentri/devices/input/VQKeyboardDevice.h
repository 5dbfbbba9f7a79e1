// The keyboard device: key presses as engine key codes (one table of codes 0 to 97 shared by
// both drivers, the overlay and the game's key handlers), the list of held keys, and the
// delivery of each key event to the pushed handlers and then to the overlay of the attached
// canvas. Two drivers: DirectInput (buffered scan codes, polled by the frame pump once a
// frame) and Windows (virtual keys fed by the window procedure).
//
// The free VQkey_ functions classify key codes and turn them into characters of the fixed
// US layout.
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/input/VQinput.h"

class VQCanvas;

enum VQKeyCode : uint32_t {
  VQKEY_RETURN = 0,
  VQKEY_KP_ENTER = 1,
  VQKEY_LSHIFT = 2,
  VQKEY_LCTRL = 3,
  VQKEY_RCTRL = 4,
  VQKEY_LALT = 5,
  VQKEY_RALT = 6,
  VQKEY_LEFT = 7,
  VQKEY_UP = 8,
  VQKEY_RIGHT = 9,
  VQKEY_DOWN = 10,
  VQKEY_BACKSPACE = 11,
  VQKEY_TAB = 12,
  VQKEY_ESCAPE = 13,
  VQKEY_SPACE = 14,
  VQKEY_NUMLOCK = 15,
  VQKEY_INSERT = 16,
  VQKEY_DELETE = 17,
  VQKEY_HOME = 18,
  VQKEY_END = 19,
  VQKEY_PAGEUP = 20,
  VQKEY_PAGEDOWN = 21,
  VQKEY_0 = 22,  // top-row digits 0 to 9: 22 to 31
  VQKEY_9 = 31,
  VQKEY_KP_0 = 32,  // keypad digits 0 to 9: 32 to 41
  VQKEY_KP_9 = 41,
  VQKEY_KP_MULTIPLY = 42,
  VQKEY_KP_PLUS = 43,
  VQKEY_KP_MINUS = 44,
  VQKEY_KP_DIVIDE = 45,
  VQKEY_KP_PERIOD = 46,
  VQKEY_A = 47,  // letters A to Z: 47 to 72
  VQKEY_Z = 72,
  VQKEY_F1 = 73,  // F1 to F10: 73 to 82
  VQKEY_F10 = 82,
  VQKEY_F11 = 83,
  VQKEY_F12 = 84,
  VQKEY_COMMA = 85,
  VQKEY_PERIOD = 86,
  VQKEY_SLASH = 87,
  VQKEY_LBRACKET = 88,
  VQKEY_RBRACKET = 89,
  VQKEY_BACKSLASH = 90,
  VQKEY_MINUS = 91,
  VQKEY_EQUALS = 92,
  VQKEY_APOSTROPHE = 93,
  VQKEY_GRAVE = 94,
  VQKEY_SEMICOLON = 95,
  VQKEY_RSHIFT = 96,
  VQKEY_NONE = 97,  // every native key without a code of its own
};
constexpr uint32_t VQKEY_COUNT = 98;

// One row of the key table: the engine code, a readable name, the DirectInput scan code and
// the Windows virtual-key index (virtual key + 224 for an extended key; 0 for the two
// Shift keys, which the Windows driver tells apart by their scan codes).
struct VQKeyRow {
  uint32_t code;
  const char* name;
  uint32_t scan;
  uint32_t windowsIndex;
};
// The rows of every code but VQKEY_NONE, in code order; *count receives how many.
const VQKeyRow* VQkey_Table(uint32_t* count);
// "Return", "A", "Keypad 0", ...; "None" for 97 and any code outside the table.
const char* VQkey_Name(uint32_t code);

bool VQkey_IsLetter(uint32_t code);
bool VQkey_IsDigit(uint32_t code);  // top-row and keypad digits
bool VQkey_IsLetterOrDigit(uint32_t code);
bool VQkey_IsCharacter(uint32_t code);
// The character of a key (US layout), 0 for a key without one. Keypad digits give their
// digit whatever the shift state.
char VQkey_ToChar(uint32_t code, bool shift);

// The record of a key event (event VQEVENT_KEY).
struct VQKeyEvent {
  uint32_t code;
  uint32_t pressed;  // 1 pressed, 0 released
};

constexpr uint32_t VQKEYBOARD_MAX_HELD = 16;

class VQKeyboardDevice : public VQDevice {
 public:
  VQKeyboardDevice(uint32_t index, uint32_t kind);

  // Stores the canvas (null detaches); true.
  virtual bool AttachToCanvas(VQCanvas* canvas);

  bool IsKeyDown(uint32_t code) const;
  // Delivers one key event (handlers, then the overlay when none consumed it) and keeps
  // the held list: a press is added when fewer than 16 are held and the code is not held
  // yet; a release of a held code removes it. Codes outside the table post nothing.
  void PostKey(uint32_t code, uint32_t pressed);
  void ClearHeldKeys() { m_heldCount = 0; }
  // Posts a release for every held key, newest first, which empties the list. Used when the
  // keyboard can no longer see releases (the window lost the focus).
  void ReleaseHeldKeys();

  uint32_t m_index;  // instance number
  uint32_t m_heldCount = 0;
  uint32_t m_held[VQKEYBOARD_MAX_HELD] = {};  // in the order they were pressed
  VQCanvas* m_canvas = nullptr;
};

// The DirectInput driver (kind 12, index 0).
class VQDirectInputKeyboardDevice : public VQKeyboardDevice {
 public:
  VQDirectInputKeyboardDevice();
  ~VQDirectInputKeyboardDevice() override;

  bool Init() override;
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "DirectInput Keyboard Device"; }
  // Cooperative level on the canvas's window (exclusive for a full-screen canvas), then
  // acquires. Null: false.
  bool AttachToCanvas(VQCanvas* canvas) override;
  // Posts the buffered key records of the last frame. Not open: error 32, false.
  bool Poll();

  IDirectInputDevice7A* m_device = nullptr;
  VQDinputProbe m_probe;
  uint32_t m_scanTable[256];  // DirectInput scan code -> engine code
};

// The Windows driver (kind 9, index 0), fed by the window procedure.
constexpr uint32_t VQWINDOWS_KEY_INDICES = 512;
class VQWindowsKeyboardDevice : public VQKeyboardDevice {
 public:
  VQWindowsKeyboardDevice();
  ~VQWindowsKeyboardDevice() override;

  bool Init() override { return m_index == 0; }
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "Windows keyboard device"; }
  // One key message: index = virtual key (+ 224 when extended), lparam as Windows packs it.
  // Shift (16) is told apart by the scan code in lparam bits 16-23. Indices outside the
  // table post nothing.
  void OnKeyMessage(uint32_t index, intptr_t lparam, uint32_t pressed);

  uint32_t m_vkTable[VQWINDOWS_KEY_INDICES];  // entries 510 and 511: left and right Shift
};

VQDevice* VQdirectinput_GetKeyboardDevice(int kind, int index);
VQDevice* VQwindows_GetKeyboardDevice(int kind, int index);
