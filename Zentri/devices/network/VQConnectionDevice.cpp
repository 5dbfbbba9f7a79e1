#include "Zentri/devices/network/VQConnectionDevice.h"

#include <new>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"

uint32_t VQConnectionDevice::s_live = 0;

namespace {

// Connection devices that are open: the sockets library runs while there is one.
uint32_t s_openDevices = 0;

template <typename Layer>
VQProtocolLayer* Make() {
  return new (std::nothrow) Layer();
}

struct LayerKind {
  uint32_t code;
  VQProtocolLayer* (*create)();
};

const LayerKind kLayerKinds[] = {
    {VQLAYER_UDP_RECEIVE, Make<VQUdpReceiveLayer>},
    {VQLAYER_UDP_SEND, Make<VQUdpSendLayer>},
    {VQLAYER_TCP_SERVER, Make<VQTcpServerLayer>},
    {VQLAYER_FRAMED_TCP_SERVER, Make<VQFramedTcpServerLayer>},
    {VQLAYER_TCP_CLIENT, Make<VQTcpClientLayer>},
    {VQLAYER_FRAMED_TCP_CLIENT, Make<VQFramedTcpClientLayer>},
};

}  // namespace

VQConnectionDevice::VQConnectionDevice() : VQDevice(VQDEVICE_CONNECTION), m_layerCount(0), m_layers{} { ++s_live; }

VQConnectionDevice::~VQConnectionDevice() {
  if (m_initialised) Close();
  // The layers' sockets are closed by now; deleting them frees their buffers.
  for (uint32_t i = 0; i < m_layerCount; ++i) delete m_layers[i];
  m_layerCount = 0;
  --s_live;
}

bool VQConnectionDevice::Init() { return true; }

bool VQConnectionDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  if (s_openDevices == 0 && !VQnet_Startup()) return false;
  ++s_openDevices;
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQConnectionDevice::Close() {
  if (!m_initialised) return;
  // Handles mean nothing once the library is gone: release them while it still runs.
  for (uint32_t i = 0; i < m_layerCount; ++i) m_layers[i]->Close();
  if (s_openDevices > 0 && --s_openDevices == 0) VQnet_Shutdown();
  m_initialised = 0;
}

const char* VQConnectionDevice::GetName() { return "connection device"; }

VQProtocolLayer* VQConnectionDevice::CreateLayer(const VQNetAddress* address, uint32_t mode, uint32_t code) {
  if (mode != VQNET_LAYER_MODE) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (m_layerCount >= VQNET_MAX_LAYERS) {
    g_VQerror = VQERR_TOO_MANY_LAYERS;
    return nullptr;
  }
  if (address == nullptr || address->m_unset != 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  const LayerKind* kind = nullptr;
  for (const LayerKind& k : kLayerKinds)
    if (k.code == code) kind = &k;
  if (kind == nullptr) return nullptr;
  VQProtocolLayer* layer = kind->create();
  if (layer == nullptr) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  if (!layer->Open(address)) {
    delete layer;
    return nullptr;
  }
  m_layers[m_layerCount++] = layer;
  return layer;
}

void VQConnectionDevice::DeleteLayer(VQProtocolLayer* layer) {
  for (uint32_t i = 0; i < m_layerCount; ++i) {
    if (m_layers[i] != layer) continue;
    delete layer;
    for (uint32_t j = i + 1; j < m_layerCount; ++j) m_layers[j - 1] = m_layers[j];
    m_layers[--m_layerCount] = nullptr;
    return;
  }
}

VQDevice* VQnet_GetConnectionDevice(int kind, int index) {
  if (kind != VQDEVICE_CONNECTION || index != 0) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  static VQConnectionDevice s_device;
  return VQdevice_HandOut(&s_device);
}
