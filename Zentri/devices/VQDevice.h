// The root of every engine device (display, sound, network, keyboard, mouse, joystick).
//
// Devices are static objects, one per kind and index, handed out by one getter per kind
// through VQSystem::GetDevice. The registry relies on the kind, on the byte m_initialised
// (set while the device is usable: a getter hands such a device out directly and probes
// any other through Init first) and on the virtual operations below, whose order is fixed:
// destructor, GetInfo, HasCapability, Init, Open, Close, GetName.
//
// Every device also keeps a stack of at most 16 event handlers through which input devices
// hand their events to game code (see VQDevice::DeliverEvent for the order).
#pragma once

#include <cstdint>

class VQCanvas;

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

// Device events; the record passed with each belongs to the posting device (mouse record:
// previous and new x, y, z; key record: key code and pressed flag).
enum VQDeviceEvent : uint32_t {
  VQEVENT_LEFT_DOWN = 0,
  VQEVENT_LEFT_UP = 1,
  VQEVENT_MIDDLE_DOWN = 2,
  VQEVENT_MIDDLE_UP = 3,
  VQEVENT_RIGHT_DOWN = 4,
  VQEVENT_RIGHT_UP = 5,
  VQEVENT_POINTER_MOVE = 6,
  VQEVENT_KEY = 7,
};

// An event handler: true when it consumed the event. The record is valid only during the
// call; context is the word given with the handler (it may carry a pointer).
using VQEventHandler = bool (*)(uint32_t event, void* record, uintptr_t context);

constexpr uint32_t VQDEVICE_MAX_HANDLERS = 16;

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

  // Pushes a handler on top of the stack. When 16 are held: error 43, false, nothing changes.
  bool PushHandler(VQEventHandler callback, uintptr_t context);
  // Removes the most recently pushed handler. Empty stack: error 44, false.
  bool PopHandler();
  // Removes the oldest entry with this callback (its context with it), moving the later
  // entries down; false when there is none. Sets no error code.
  bool RemoveHandler(VQEventHandler callback);
  // Empties the handler stack (every constructor starts with an empty one).
  void InitHandlers();
  // Hands an event to every handler, newest first, whatever each returns; true when any of
  // them consumed it. A posting device passes an unconsumed event on to the overlay of the
  // canvas it is attached to, if any.
  bool DeliverEvent(uint32_t event, void* record);
  // What a posting input device does with each event: DeliverEvent, and when no handler
  // consumed it and a canvas is given, the canvas's overlay window manager. True when
  // consumed by either.
  bool PostEvent(uint32_t event, void* record, VQCanvas* canvas);

  uint32_t m_kind;          // VQDeviceKind
  uint32_t m_openParameter; // the value given to Open; 0 until opened
  VQEventHandler m_handlers[VQDEVICE_MAX_HANDLERS];
  uintptr_t m_handlerContexts[VQDEVICE_MAX_HANDLERS];  // entry i belongs to handler i
  uint32_t m_handlerCount;  // 0..16; handlers survive Close
  uint8_t m_initialised;    // the open flag: set while the device is usable; getters then skip
                            // the Init probe
};
