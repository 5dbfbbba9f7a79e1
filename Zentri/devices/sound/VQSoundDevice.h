// The sound device: creates, duplicates and deletes sound buffers, sets the primary output
// format, and owns a voice limiter (which buffers are audible) and a named sound cache.
// The driver is VQDSoundDevice (device kind 5, instances 0 and 1).
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/sound/VQSoundBuffer.h"

class VQCanvas;
class VQVoiceLimiter;
class VQSoundManager;

class VQSoundDevice : public VQDevice {
 public:
  explicit VQSoundDevice(uint32_t kind) : VQDevice(kind) {}

  // Null: false. The same canvas again: true.
  virtual bool AttachToCanvas(VQCanvas* canvas) = 0;
  virtual bool SetPrimaryFormat(uint32_t channels, uint32_t bits, uint32_t rate) = 0;
  // A new buffer that takes over data (malloc'ed, size bytes), even when creation fails;
  // isStatic: all the data in one platform buffer, else a streamed ring of that size.
  virtual VQSoundBuffer* CreateBuffer(void* data, uint32_t size, uint32_t channels, uint32_t bits, uint32_t rate,
                                      bool isStatic, const char* name) = 0;
  // A static copy sharing the data (error 28 for null).
  virtual VQSoundBuffer* DuplicateBuffer(VQSoundBuffer* buffer) = 0;
  // A static buffer read from a WAVE file and named after the path.
  virtual VQSoundBuffer* CreateBufferFromFile(const char* path) = 0;
  // Null does nothing; takes the buffer out of the voice limiter first.
  virtual void DeleteBuffer(VQSoundBuffer* buffer) = 0;

  // Plays through the voice limiter; false when the device has none (or the limiter refuses).
  bool PlayLimited(VQSoundBuffer* buffer, uint32_t loop, float priority);
  // Takes the buffer out of the voice limiter, stopping it.
  bool StopLimited(VQSoundBuffer* buffer);

  uint32_t m_bufferCount = 0;          // live buffers of this device
  VQVoiceLimiter* m_limiter = nullptr;  // owned; null while closed
  VQSoundManager* m_cache = nullptr;    // owned; null while closed
  VQCanvas* m_canvas = nullptr;
};
