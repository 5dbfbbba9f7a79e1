// Sound tests: the sound device opened on the memory renderer (no audio device; its clock is
// the audio rendered so far), signal generators and level, balance and pitch measurements.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "host/directx/dsound.h"

namespace soundtest {

constexpr uint32_t kRate = 44100;

// The memory-rendering sound device 0, open, with a 16-bit stereo 44100 Hz primary format.
inline VQDSoundDevice* OpenDevice() {
  host::ds_set_render_to_memory(true);
  if (!g_VQsystem.m_initialised) g_VQsystem.Init();
  auto* d = static_cast<VQDSoundDevice*>(g_VQsystem.GetDevice(VQDEVICE_SOUND, 0));
  if (!d) return nullptr;
  if (!d->Open(0)) return nullptr;
  if (!d->SetPrimaryFormat(2, 16, kRate)) return nullptr;
  return d;
}

// A 16-bit sine of the given frequency, amplitude (0..1) and length, malloc'ed for
// CreateBuffer; each channel of a stereo tone carries the same signal.
inline void* Tone(uint32_t channels, double hz, double amplitude, uint32_t frames, uint32_t rate = kRate,
                  uint32_t* bytes = nullptr) {
  const size_t n = size_t(frames) * channels;
  auto* p = static_cast<int16_t*>(std::malloc(n * 2));
  for (uint32_t i = 0; i < frames; ++i) {
    const double v = amplitude * std::sin(2.0 * M_PI * hz * i / rate);
    for (uint32_t c = 0; c < channels; ++c) p[size_t(i) * channels + c] = int16_t(std::lrint(v * 32767.0));
  }
  if (bytes) *bytes = uint32_t(n * 2);
  return p;
}

inline VQSoundBuffer* ToneBuffer(VQSoundDevice* d, double hz, double amplitude, uint32_t frames,
                                 uint32_t channels = 1, uint32_t rate = kRate) {
  uint32_t bytes = 0;
  void* data = Tone(channels, hz, amplitude, frames, rate, &bytes);
  return d->CreateBuffer(data, bytes, channels, 16, rate, true, "tone");
}

// Renders ms milliseconds of the mix (stereo, interleaved).
inline std::vector<int16_t> Render(VQDSoundDevice* d, uint32_t ms) {
  const uint32_t frames = kRate * ms / 1000;
  std::vector<int16_t> out(size_t(frames) * 2);
  d->m_dsound->render(out.data(), frames);
  return out;
}

// Root mean square of one channel (0 left, 1 right), as a fraction of full scale.
inline double Rms(const std::vector<int16_t>& s, int channel) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = size_t(channel); i < s.size(); i += 2, ++n) sum += double(s[i]) * s[i];
  return n ? std::sqrt(sum / n) / 32768.0 : 0.0;
}

// Frequency of one channel in Hz, from its rising zero crossings.
inline double Pitch(const std::vector<int16_t>& s, int channel) {
  long first = -1, last = -1, crossings = 0;
  for (size_t i = size_t(channel) + 2; i < s.size(); i += 2) {
    if (s[i - 2] < 0 && s[i] >= 0) {
      const long frame = long(i / 2);
      if (first < 0) first = frame;
      last = frame;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return double(crossings - 1) * kRate / double(last - first);
}

// Decibels of a level ratio.
inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace soundtest
