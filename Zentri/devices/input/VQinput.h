// What the keyboard, mouse and joystick devices share: the one place where an input event
// that no handler consumed goes on to the overlay of the attached canvas, and the
// DirectInput steps every DirectInput device takes the same way (finding the n-th attached
// device of a type, reading buffered records with the acquire-and-retry rule).
#pragma once

#include <cstdint>

#include "host/directx/dinput.h"

class VQCanvas;
class VQDevice;

// Delivers one event through the device's one delivery path, VQDevice::PostEvent: every
// handler of the device, newest first, whatever each returns; then, when none consumed it and
// a canvas is given, the canvas's overlay window manager. True when a handler or the overlay
// used the event.
bool VQinput_Deliver(VQDevice* device, VQCanvas* canvas, uint32_t event, void* record);

// The Init probe of the DirectInput drivers: the instance GUID of the wanted-th attached
// device of a DirectInput device type. The fields are the device's enumeration state.
struct VQDinputProbe {
  uint32_t count = 0;   // devices seen by the enumeration so far
  uint32_t wanted = 0;  // ordinal of the device this instance stands for
  uint8_t found = 0;
  GUID guid{};
};
// Takes the shared DirectInput object, enumerates, releases it; true when found.
bool VQdinput_FindInstance(uint32_t deviceType, VQDinputProbe* probe);

// Creates a device from a GUID on the shared DirectInput object and sets its data format
// (and, for buffered devices, the buffer size); the result is left in g_VQdxResult. Null on
// failure, with everything made released (the caller still owns its DirectInput use).
IDirectInputDevice7A* VQdinput_CreateDevice(IDirectInput7A* input, const GUID& guid, const DIDATAFORMAT* format,
                                            uint32_t bufferSize);

// The outcome of a buffered read with its retries.
enum VQDinputRead : uint32_t {
  VQDINPUT_READ_OK = 0,           // records were read (possibly after re-acquiring)
  VQDINPUT_READ_DENIED = 1,       // another application has the device: nothing to read
  VQDINPUT_READ_STILL_ACQUIRED = 2,  // acquiring kept answering "already acquired"
  VQDINPUT_READ_FAILED = 3,
};
constexpr uint32_t VQDINPUT_BUFFER_RECORDS = 16;
constexpr uint32_t VQDINPUT_READ_TRIES = 8;

// Reads up to VQDINPUT_BUFFER_RECORDS records; after a failed read acquires and tries again,
// at most VQDINPUT_READ_TRIES reads. *count receives the records read; *overflow is set when
// the device dropped records, *lost when it reported that the input was lost (the window
// lost the focus, a joystick was unplugged) on the way.
VQDinputRead VQdinput_ReadBuffered(IDirectInputDevice7A* device, DIDEVICEOBJECTDATA* records, uint32_t* count,
                                   bool* overflow, bool* lost);

// Releases a device interface (null is fine) and clears the pointer.
void VQdinput_ReleaseDevice(IDirectInputDevice7A** device);
