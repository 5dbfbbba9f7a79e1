// The Windows keyboard driver, fed by the window procedure.
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"

namespace {
VQWindowsKeyboardDevice s_keyboard;

constexpr uint32_t kShiftKey = 16;       // the virtual key of both Shift keys
constexpr uint32_t kLeftShiftScan = 42;  // their scan codes in lparam bits 16-23
constexpr uint32_t kRightShiftScan = 54;
constexpr uint32_t kLeftShiftIndex = 510;
constexpr uint32_t kRightShiftIndex = 511;
constexpr uint32_t kExtended = 224;  // added to the virtual key of an extended key
// Num Lock and keypad "/" arrive as extended keys from the host keyboard; their extended
// indices lead to the same codes as the plain ones.
constexpr uint32_t kNumLockKey = 144;
constexpr uint32_t kDivideKey = 111;

void KeyHook(uintptr_t user, uint32_t key, intptr_t lParam, int pressed, VQCanvas*) {
  reinterpret_cast<VQWindowsKeyboardDevice*>(user)->OnKeyMessage(key, lParam, pressed ? 1 : 0);
}
void FocusLostHook(uintptr_t user) { reinterpret_cast<VQWindowsKeyboardDevice*>(user)->ReleaseHeldKeys(); }
}  // namespace

VQWindowsKeyboardDevice::VQWindowsKeyboardDevice() : VQKeyboardDevice(0, VQDEVICE_WINDOWS_KEYBOARD) {
  for (uint32_t& code : m_vkTable) code = VQKEY_NONE;
}

VQWindowsKeyboardDevice::~VQWindowsKeyboardDevice() {
  if (m_initialised) Close();
}

bool VQWindowsKeyboardDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  if (!Init()) return false;
  m_heldCount = 0;
  if (!g_VQsystem.AddDevice(this)) return false;
  for (uint32_t& code : m_vkTable) code = VQKEY_NONE;
  uint32_t rows = 0;
  const VQKeyRow* table = VQkey_Table(&rows);
  for (uint32_t i = 0; i < rows; ++i)
    if (table[i].windowsIndex != 0) m_vkTable[table[i].windowsIndex] = table[i].code;
  m_vkTable[kLeftShiftIndex] = VQKEY_LSHIFT;
  m_vkTable[kRightShiftIndex] = VQKEY_RSHIFT;
  m_vkTable[kNumLockKey + kExtended] = VQKEY_NUMLOCK;
  m_vkTable[kDivideKey + kExtended] = VQKEY_KP_DIVIDE;
  g_VQwin32Devices.keyMessage = KeyHook;
  g_VQwin32Devices.keyFocusLost = FocusLostHook;
  g_VQwin32Devices.keyUser = reinterpret_cast<uintptr_t>(this);
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQWindowsKeyboardDevice::Close() {
  if (!m_initialised) return;
  InitHandlers();
  m_heldCount = 0;
  if (g_VQwin32Devices.keyUser == reinterpret_cast<uintptr_t>(this)) {
    g_VQwin32Devices.keyMessage = nullptr;
    g_VQwin32Devices.keyFocusLost = nullptr;
    g_VQwin32Devices.keyUser = 0;
  }
  g_VQsystem.RemoveDevice(this);
  m_canvas = nullptr;
  m_initialised = 0;
}

void VQWindowsKeyboardDevice::OnKeyMessage(uint32_t index, intptr_t lparam, uint32_t pressed) {
  if (index == kShiftKey) {
    const uint32_t scan = (static_cast<uint32_t>(lparam) >> 16) & 0xFFu;
    if (scan != kRightShiftScan) PostKey(m_vkTable[kLeftShiftIndex], pressed);
    if (scan != kLeftShiftScan) PostKey(m_vkTable[kRightShiftIndex], pressed);
    return;
  }
  if (index >= VQWINDOWS_KEY_INDICES) return;
  PostKey(m_vkTable[index], pressed);
}

VQDevice* VQwindows_GetKeyboardDevice(int kind, int index) {
  if (kind != VQDEVICE_WINDOWS_KEYBOARD) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  if (index != 0) return nullptr;
  return VQdevice_HandOut(&s_keyboard);
}
