// The DirectInput keyboard driver.
#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"

namespace {
VQDirectInputKeyboardDevice s_keyboard;

void PollHook(uintptr_t user) { reinterpret_cast<VQDirectInputKeyboardDevice*>(user)->Poll(); }
}  // namespace

VQDirectInputKeyboardDevice::VQDirectInputKeyboardDevice() : VQKeyboardDevice(0, VQDEVICE_DINPUT_KEYBOARD) {
  for (uint32_t& code : m_scanTable) code = VQKEY_NONE;
}

VQDirectInputKeyboardDevice::~VQDirectInputKeyboardDevice() {
  if (m_initialised) Close();
}

bool VQDirectInputKeyboardDevice::Init() {
  if (m_initialised) return true;
  m_probe.wanted = m_index;
  return VQdinput_FindInstance(DIDEVTYPE_KEYBOARD, &m_probe);
}

bool VQDirectInputKeyboardDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  auto* input = static_cast<IDirectInput7A*>(VQdirectx_CreateDirectInput());
  if (input == nullptr) return false;
  m_device = VQdinput_CreateDevice(input, m_probe.guid, &c_dfDIKeyboard, VQDINPUT_BUFFER_RECORDS);
  if (m_device == nullptr || !g_VQsystem.AddDevice(this)) {
    VQdinput_ReleaseDevice(&m_device);
    VQdirectx_ReleaseDirectInput();
    return false;
  }
  for (uint32_t& code : m_scanTable) code = VQKEY_NONE;
  uint32_t rows = 0;
  const VQKeyRow* table = VQkey_Table(&rows);
  for (uint32_t i = 0; i < rows; ++i) m_scanTable[table[i].scan] = table[i].code;
  g_VQwin32Devices.pollKeyboard = PollHook;
  g_VQwin32Devices.pollKeyboardUser = reinterpret_cast<uintptr_t>(this);
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQDirectInputKeyboardDevice::Close() {
  if (!m_initialised) return;
  InitHandlers();
  if (m_device != nullptr) m_device->Unacquire();
  VQdinput_ReleaseDevice(&m_device);
  VQdirectx_ReleaseDirectInput();
  if (g_VQwin32Devices.pollKeyboardUser == reinterpret_cast<uintptr_t>(this)) {
    g_VQwin32Devices.pollKeyboard = nullptr;
    g_VQwin32Devices.pollKeyboardUser = 0;
  }
  g_VQsystem.RemoveDevice(this);
  m_canvas = nullptr;
  m_heldCount = 0;
  m_initialised = 0;
}

bool VQDirectInputKeyboardDevice::AttachToCanvas(VQCanvas* canvas) {
  if (canvas == nullptr || m_device == nullptr) return false;
  const uint32_t level = (canvas->m_mode == 1 ? DISCL_EXCLUSIVE : DISCL_NONEXCLUSIVE) | DISCL_FOREGROUND | DISCL_NOWINKEY;
  g_VQdxResult = m_device->SetCooperativeLevel(canvas->m_window, level);
  if (dx_failed(g_VQdxResult)) return false;
  g_VQdxResult = m_device->Acquire();
  m_canvas = canvas;
  return true;
}

bool VQDirectInputKeyboardDevice::Poll() {
  if (!m_initialised || m_device == nullptr) return VQerror_Fail(VQERR_NOT_OPEN);
  DIDEVICEOBJECTDATA records[VQDINPUT_BUFFER_RECORDS];
  uint32_t count = 0;
  bool overflow = false, lost = false;
  const VQDinputRead read = VQdinput_ReadBuffered(m_device, records, &count, &overflow, &lost);
  // The releases of keys held when the input was lost went elsewhere.
  if (lost) ReleaseHeldKeys();
  switch (read) {
    case VQDINPUT_READ_OK:
      for (uint32_t i = 0; i < count; ++i) {
        // Offsets past the scan table are no key of this keyboard.
        if (records[i].dwOfs >= 256) continue;
        PostKey(m_scanTable[records[i].dwOfs], (records[i].dwData & 0x80) != 0 ? 1 : 0);
      }
      // Dropped records may have held releases: the held list can no longer be trusted.
      if (overflow) ClearHeldKeys();
      return true;
    case VQDINPUT_READ_DENIED:
      return true;
    case VQDINPUT_READ_STILL_ACQUIRED:
      ClearHeldKeys();
      return false;
    default:
      return false;
  }
}

VQDevice* VQdirectinput_GetKeyboardDevice(int kind, int index) {
  if (kind != VQDEVICE_DINPUT_KEYBOARD || index != 0) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(&s_keyboard);
}
