// The part of the sound device that the scene graph's sound-source nodes use: a sound buffer
// with its device, loop setting, speed, pan and volume, and the device's voice limiter, which
// decides by priority which of the playing buffers are audible.
//
// The sound driver implements these operations; until it exists the scene tests provide a
// recording double.
#pragma once

#include <cstdint>

class VQSoundBuffer;

class VQVoiceLimiter {
 public:
  virtual ~VQVoiceLimiter() = default;
  // Changes a buffer's priority and re-evaluates which buffers are audible.
  virtual void SetPriority(VQSoundBuffer* buffer, float priority) = 0;
};

class VQSoundDevice {
 public:
  virtual ~VQSoundDevice() = default;
  // Plays a buffer through the voice limiter; 0 when the device has no limiter.
  virtual uint32_t PlayLimited(VQSoundBuffer* buffer, uint32_t loop, float priority) = 0;
  // Takes the buffer out of the limiter, stopping it.
  virtual void StopLimited(VQSoundBuffer* buffer) = 0;
  // Destroys a buffer of this device.
  virtual void DeleteBuffer(VQSoundBuffer* buffer) = 0;
  VQVoiceLimiter* m_limiter = nullptr;  // null: no limiter
};

class VQSoundBuffer {
 public:
  virtual ~VQSoundBuffer() = default;
  virtual void SetSpeed(int32_t percent) = 0;
  // side: 1 left, 0 right.
  virtual void SetPan(int32_t percent, int32_t side) = 0;
  virtual void SetVolume(float gain) = 0;
  VQSoundDevice* m_device = nullptr;
  uint8_t m_loop = 0;
};
