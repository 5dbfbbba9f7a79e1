#include "Zentri/devices/sound/VQSoundDevice.h"

#include "Zentri/devices/sound/VQVoiceLimiter.h"

bool VQSoundDevice::PlayLimited(VQSoundBuffer* buffer, uint32_t loop, float priority) {
  if (!m_limiter) return false;
  return m_limiter->Add(buffer, loop != 0, priority);
}

bool VQSoundDevice::StopLimited(VQSoundBuffer* buffer) {
  if (!m_limiter) return false;
  return m_limiter->Remove(buffer);
}
