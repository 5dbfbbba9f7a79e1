#include "Zentri/devices/VQDevice.h"

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"

bool VQdevice_IsDisplayKind(int kind) { return kind >= 1 && kind < 5; }

VQDevice::VQDevice(uint32_t kind) : m_kind(kind), m_openParameter(0), m_initialised(0) {
  InitHandlers();
}

// A device that goes away while still registered would leave a dangling entry that the
// next Shutdown or frame would call; devices are static objects, so this happens at program
// exit whenever a driver is destroyed before the system object.
VQDevice::~VQDevice() { g_VQsystem.RemoveDevice(this); }

const void* VQDevice::GetInfo() { return nullptr; }

bool VQDevice::HasCapability(uint32_t) { return false; }

void VQDevice::InitHandlers() {
  for (uint32_t i = 0; i < VQDEVICE_MAX_HANDLERS; ++i) {
    m_handlers[i] = nullptr;
    m_handlerContexts[i] = 0;
  }
  m_handlerCount = 0;
}

bool VQDevice::PushHandler(VQEventHandler callback, uintptr_t context) {
  if (m_handlerCount >= VQDEVICE_MAX_HANDLERS) return VQerror_Fail(VQERR_HANDLER_STACK_FULL);
  m_handlers[m_handlerCount] = callback;
  m_handlerContexts[m_handlerCount] = context;
  ++m_handlerCount;
  return true;
}

bool VQDevice::PopHandler() {
  if (m_handlerCount == 0) return VQerror_Fail(VQERR_HANDLER_STACK_EMPTY);
  --m_handlerCount;
  m_handlers[m_handlerCount] = nullptr;
  m_handlerContexts[m_handlerCount] = 0;
  return true;
}

bool VQDevice::RemoveHandler(VQEventHandler callback) {
  for (uint32_t i = 0; i < m_handlerCount; ++i) {
    if (m_handlers[i] != callback) continue;
    for (uint32_t j = i + 1; j < m_handlerCount; ++j) {
      m_handlers[j - 1] = m_handlers[j];
      m_handlerContexts[j - 1] = m_handlerContexts[j];
    }
    --m_handlerCount;
    m_handlers[m_handlerCount] = nullptr;
    m_handlerContexts[m_handlerCount] = 0;
    return true;
  }
  return false;
}

bool VQDevice::DeliverEvent(uint32_t event, void* record) {
  bool consumed = false;
  // A handler may push or pop during the call; the index is re-checked against the count.
  for (uint32_t i = m_handlerCount; i-- > 0;) {
    if (i >= m_handlerCount) continue;
    VQEventHandler handler = m_handlers[i];
    if (handler && handler(event, record, m_handlerContexts[i])) consumed = true;
  }
  return consumed;
}

bool VQDevice::PostEvent(uint32_t event, void* record, VQCanvas* canvas) {
  if (DeliverEvent(event, record)) return true;
  if (!canvas || !g_VQcanvasOverlay.handleEvent) return false;
  return g_VQcanvasOverlay.handleEvent(canvas, event, record);
}
