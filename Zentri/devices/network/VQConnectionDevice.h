// The connection device (device kind 6): owns up to 128 protocol layers (VQProtocolLayer.h)
// through which the game exchanges its network messages. Opening the first connection
// device starts the sockets library; closing the last one shuts it down again, after closing
// every socket of its layers.
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/network/VQProtocolLayer.h"

constexpr uint32_t VQNET_MAX_LAYERS = 128;
// The only mode CreateLayer accepts.
constexpr uint32_t VQNET_LAYER_MODE = 1;

class VQConnectionDevice : public VQDevice {
 public:
  VQConnectionDevice();
  // Closes the device when open and deletes the layers it still holds.
  ~VQConnectionDevice() override;

  bool Init() override;  // always true
  // Starts the sockets library (first open device only); failure: error 1, false. True at
  // once when already open.
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override;  // "connection device"

  // A new layer of the given code for the address, opened (not started) and appended to
  // the layers. Mode other than VQNET_LAYER_MODE or an unset address: error 28; 128 layers
  // held: error 57; no memory: error 16; a code that names no layer: null
  // with the error code unchanged.
  VQProtocolLayer* CreateLayer(const VQNetAddress* address, uint32_t mode, uint32_t code);
  // Deletes a layer of this device (closing its socket); the others keep their order.
  // Nothing happens for a layer the device does not hold.
  void DeleteLayer(VQProtocolLayer* layer);

  uint32_t GetLayerCount() const { return m_layerCount; }
  VQProtocolLayer* GetLayer(uint32_t index) const { return index < m_layerCount ? m_layers[index] : nullptr; }

  static uint32_t s_live;  // connection devices constructed and not destroyed

 private:
  uint32_t m_layerCount;
  VQProtocolLayer* m_layers[VQNET_MAX_LAYERS];
};

// The getter of kind 6: index 0 only (else error 39, null); probes a closed device with Init.
VQDevice* VQnet_GetConnectionDevice(int kind, int index);
