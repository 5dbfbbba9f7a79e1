#include "Zentri/devices/VQDevice.h"

#include "Zentri/platform/VQSystem.h"

bool VQdevice_IsDisplayKind(int kind) { return kind >= 1 && kind < 5; }

VQDevice::VQDevice(uint32_t kind) : m_kind(kind), m_initialised(0) {}

// A device that goes away while still registered would leave a dangling entry that the
// next Shutdown or frame would call; devices are static objects, so this happens at program
// exit whenever a driver is destroyed before the system object.
VQDevice::~VQDevice() { g_VQsystem.RemoveDevice(this); }

const void* VQDevice::GetInfo() { return nullptr; }

bool VQDevice::HasCapability(uint32_t) { return false; }
