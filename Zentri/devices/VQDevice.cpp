#include "Zentri/devices/VQDevice.h"

bool VQdevice_IsDisplayKind(int kind) { return kind >= 1 && kind < 5; }

VQDevice::VQDevice(uint32_t kind) : m_kind(kind), m_initialised(0) {}

VQDevice::~VQDevice() = default;

const void* VQDevice::GetInfo() { return nullptr; }

bool VQDevice::HasCapability(uint32_t) { return false; }
