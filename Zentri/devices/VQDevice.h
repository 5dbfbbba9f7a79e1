// The root of every engine device (display, sound, network, keyboard, mouse, joystick).
//
// Devices are static objects, one per kind and index, handed out by one getter per kind
// through VQSystem::GetDevice. The registry relies on the kind, on the byte m_initialised
// (set while the device is usable: a getter hands such a device out directly and probes
// any other through Init first) and on the virtual operations below, whose order is fixed:
// destructor, GetInfo, HasCapability, Init, Open, Close, GetName.
//
// This is the part of the root the system object and the frame pump need; the device
// layer extends it (open parameter, event-handler stack) without changing what is here.
#pragma once

#include <cstdint>

// Device kinds as VQSystem::GetDevice accepts them. Kinds 1 to 4 are display kinds.
enum VQDeviceKind : uint32_t {
  VQDEVICE_NONE_DISPLAY = 1,       // a display kind with no device: always error 38
  VQDEVICE_D3D_DISPLAY = 2,        // indices 0 and 1
  VQDEVICE_OPENGL_DISPLAY = 3,     // index 0
  VQDEVICE_SOFTWARE_DISPLAY = 4,   // index 0
  VQDEVICE_SOUND = 5,              // indices 0 and 1
  VQDEVICE_CONNECTION = 6,         // index 0
  // 7 and 8 are not assigned
  VQDEVICE_WINDOWS_KEYBOARD = 9,   // index 0
  VQDEVICE_WINDOWS_MOUSE = 10,     // index 0
  VQDEVICE_WINDOWS_JOYSTICK = 11,  // indices 0 and 1
  VQDEVICE_DINPUT_KEYBOARD = 12,   // index 0
  VQDEVICE_DINPUT_MOUSE = 13,      // index 0
  VQDEVICE_DINPUT_JOYSTICK = 14,   // indices 0 to 7
};

constexpr uint32_t VQDEVICE_KIND_LIMIT = 14;  // highest kind number

// True for the display kinds 1 to 4.
bool VQdevice_IsDisplayKind(int kind);

class VQDevice {
 public:
  explicit VQDevice(uint32_t kind);
  // Unregisters the device if it is still registered; does not close it.
  virtual ~VQDevice();

  // Information record of the device, or null when it has none (the root has none).
  virtual const void* GetInfo();
  // Whether the device offers the capability with this id (the root offers none).
  virtual bool HasCapability(uint32_t id);
  // Availability probe run before a device that is not usable is handed out; true when the
  // device can be opened. May run many times and leaves nothing open.
  virtual bool Init() = 0;
  // Opens the device with a driver-defined parameter; true on success. Drivers register
  // with VQSystem::AddDevice here (all kinds but the Windows mouse and the connection).
  virtual bool Open(uint32_t parameter) = 0;
  // Releases everything Open made. Display devices, the sound device and the Windows
  // keyboard unregister with VQSystem::RemoveDevice here.
  virtual void Close() = 0;
  // A constant, human-readable name of the driver.
  virtual const char* GetName() = 0;

  VQDevice(const VQDevice&) = delete;
  VQDevice& operator=(const VQDevice&) = delete;

  uint32_t m_kind;        // VQDeviceKind
  uint8_t m_initialised;  // set while the device is usable; getters then skip the Init probe
};
