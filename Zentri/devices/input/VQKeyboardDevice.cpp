#include "Zentri/devices/input/VQKeyboardDevice.h"

#include "Zentri/util/VQerror.h"

namespace {

// The key table: engine code, name, DirectInput scan code, Windows virtual-key index.
const VQKeyRow kKeyRows[] = {
    {0, "Return", 28, 13},
    {1, "Keypad Enter", 156, 237},
    {2, "Left Shift", 42, 0},
    {3, "Left Ctrl", 29, 17},
    {4, "Right Ctrl", 157, 241},
    {5, "Left Alt", 56, 18},
    {6, "Right Alt", 184, 242},
    {7, "Left", 203, 261},
    {8, "Up", 200, 262},
    {9, "Right", 205, 263},
    {10, "Down", 208, 264},
    {11, "Backspace", 14, 8},
    {12, "Tab", 15, 9},
    {13, "Escape", 1, 27},
    {14, "Space", 57, 32},
    {15, "Num Lock", 69, 144},
    {16, "Insert", 210, 269},
    {17, "Delete", 211, 270},
    {18, "Home", 199, 260},
    {19, "End", 207, 259},
    {20, "Page Up", 201, 257},
    {21, "Page Down", 209, 258},
    {22, "0", 11, 48},
    {23, "1", 2, 49},
    {24, "2", 3, 50},
    {25, "3", 4, 51},
    {26, "4", 5, 52},
    {27, "5", 6, 53},
    {28, "6", 7, 54},
    {29, "7", 8, 55},
    {30, "8", 9, 56},
    {31, "9", 10, 57},
    {32, "Keypad 0", 82, 96},
    {33, "Keypad 1", 79, 97},
    {34, "Keypad 2", 80, 98},
    {35, "Keypad 3", 81, 99},
    {36, "Keypad 4", 75, 100},
    {37, "Keypad 5", 76, 101},
    {38, "Keypad 6", 77, 102},
    {39, "Keypad 7", 71, 103},
    {40, "Keypad 8", 72, 104},
    {41, "Keypad 9", 73, 105},
    {42, "Keypad *", 55, 106},
    {43, "Keypad +", 78, 107},
    {44, "Keypad -", 74, 109},
    {45, "Keypad /", 181, 111},
    {46, "Keypad .", 83, 110},
    {47, "A", 30, 65},
    {48, "B", 48, 66},
    {49, "C", 46, 67},
    {50, "D", 32, 68},
    {51, "E", 18, 69},
    {52, "F", 33, 70},
    {53, "G", 34, 71},
    {54, "H", 35, 72},
    {55, "I", 23, 73},
    {56, "J", 36, 74},
    {57, "K", 37, 75},
    {58, "L", 38, 76},
    {59, "M", 50, 77},
    {60, "N", 49, 78},
    {61, "O", 24, 79},
    {62, "P", 25, 80},
    {63, "Q", 16, 81},
    {64, "R", 19, 82},
    {65, "S", 31, 83},
    {66, "T", 20, 84},
    {67, "U", 22, 85},
    {68, "V", 47, 86},
    {69, "W", 17, 87},
    {70, "X", 45, 88},
    {71, "Y", 21, 89},
    {72, "Z", 44, 90},
    {73, "F1", 59, 112},
    {74, "F2", 60, 113},
    {75, "F3", 61, 114},
    {76, "F4", 62, 115},
    {77, "F5", 63, 116},
    {78, "F6", 64, 117},
    {79, "F7", 65, 118},
    {80, "F8", 66, 119},
    {81, "F9", 67, 120},
    {82, "F10", 68, 121},
    {83, "F11", 87, 122},
    {84, "F12", 88, 123},
    {85, ",", 51, 188},
    {86, ".", 52, 190},
    {87, "/", 53, 191},
    {88, "[", 26, 219},
    {89, "]", 27, 221},
    {90, "\\", 43, 220},
    {91, "-", 12, 189},
    {92, "=", 13, 187},
    {93, "'", 40, 222},
    {94, "`", 41, 192},
    {95, ";", 39, 186},
    {96, "Right Shift", 54, 0},
};
constexpr uint32_t kKeyRowCount = sizeof kKeyRows / sizeof kKeyRows[0];
static_assert(kKeyRowCount == VQKEY_NONE, "one row for every code but 'no key'");

// Shifted characters of the top-row digits 0 to 9 (US layout).
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

// Characters of the codes VQKEY_COMMA to VQKEY_SEMICOLON: unshifted, shifted.
constexpr char kPunctuation[][2] = {{',', '<'}, {'.', '>'}, {'/', '?'},  {'[', '{'}, {']', '}'}, {'\\', '|'},
                                    {'-', '_'}, {'=', '+'}, {'\'', '"'}, {'`', '~'}, {';', ':'}};
static_assert(sizeof kPunctuation / sizeof kPunctuation[0] == VQKEY_SEMICOLON - VQKEY_COMMA + 1, "");

}  // namespace

const VQKeyRow* VQkey_Table(uint32_t* count) {
  if (count) *count = kKeyRowCount;
  return kKeyRows;
}

const char* VQkey_Name(uint32_t code) { return code < kKeyRowCount ? kKeyRows[code].name : "None"; }

bool VQkey_IsLetter(uint32_t code) { return code >= VQKEY_A && code <= VQKEY_Z; }
bool VQkey_IsDigit(uint32_t code) { return code >= VQKEY_0 && code <= VQKEY_KP_9; }
bool VQkey_IsLetterOrDigit(uint32_t code) { return VQkey_IsLetter(code) || VQkey_IsDigit(code); }
bool VQkey_IsCharacter(uint32_t code) {
  if (VQkey_IsLetterOrDigit(code)) return true;
  return code == VQKEY_TAB || code == VQKEY_SPACE || (code >= VQKEY_KP_MULTIPLY && code <= VQKEY_KP_DIVIDE) ||
         (code >= VQKEY_COMMA && code <= VQKEY_SEMICOLON);
}

char VQkey_ToChar(uint32_t code, bool shift) {
  if (code == VQKEY_TAB) return '\t';
  if (code == VQKEY_SPACE) return ' ';
  if (code >= VQKEY_0 && code <= VQKEY_9) return shift ? kShiftedDigits[code - VQKEY_0] : char('0' + (code - VQKEY_0));
  if (code >= VQKEY_KP_0 && code <= VQKEY_KP_9) return char('0' + (code - VQKEY_KP_0));
  switch (code) {
    case VQKEY_KP_MULTIPLY: return '*';
    case VQKEY_KP_PLUS: return '+';
    case VQKEY_KP_MINUS: return '-';
    case VQKEY_KP_DIVIDE: return '/';
    default: break;
  }
  if (VQkey_IsLetter(code)) return char((shift ? 'A' : 'a') + (code - VQKEY_A));
  if (code >= VQKEY_COMMA && code <= VQKEY_SEMICOLON) return kPunctuation[code - VQKEY_COMMA][shift ? 1 : 0];
  return 0;
}

VQKeyboardDevice::VQKeyboardDevice(uint32_t index, uint32_t kind) : VQDevice(kind), m_index(index) {}

bool VQKeyboardDevice::AttachToCanvas(VQCanvas* canvas) {
  m_canvas = canvas;
  return true;
}

bool VQKeyboardDevice::IsKeyDown(uint32_t code) const {
  for (uint32_t i = 0; i < m_heldCount; ++i)
    if (m_held[i] == code) return true;
  return false;
}

void VQKeyboardDevice::PostKey(uint32_t code, uint32_t pressed) {
  if (code >= VQKEY_COUNT) return;
  VQKeyEvent record{code, pressed ? 1u : 0u};
  VQinput_Deliver(this, m_canvas, VQEVENT_KEY, &record);
  if (pressed) {
    if (m_heldCount < VQKEYBOARD_MAX_HELD && !IsKeyDown(code)) m_held[m_heldCount++] = code;
    return;
  }
  for (uint32_t i = 0; i < m_heldCount; ++i) {
    if (m_held[i] != code) continue;
    m_held[i] = m_held[--m_heldCount];
    return;
  }
}

void VQKeyboardDevice::ReleaseHeldKeys() {
  while (m_heldCount > 0) {
    const uint32_t before = m_heldCount;
    PostKey(m_held[m_heldCount - 1], 0);
    // A handler may have pressed or released keys meanwhile; the list only ever shrinks here.
    if (m_heldCount >= before) m_heldCount = before - 1;
  }
}
