// A sound buffer of the sound device: PCM data with its format, played static (all the data in
// one platform buffer) or streamed (a ring refilled by a callback), with play, pause, stop,
// frequency, speed, pan and volume. The driver (VQDSoundDevice.h) implements the operations.
//
// Pausing does not hold a sound's place: a paused buffer is silent but its position keeps
// advancing with time, so a resumed sound goes on where it would have been. The voice limiter
// (VQVoiceLimiter.h) relies on this.
#pragma once

#include <cstdint>

#include "host/directx/dsound.h"

class VQSoundDevice;
class VQSoundBuffer;

// The 18-byte PCM wave format (tag, channels, rate, bytes per second, block align, bits,
// extra size 0).
using VQWaveFormat = host::wave_format;

// Called as callback(buffer, context) when a buffer finishes or its stream runs out.
using VQSoundEndCallback = void (*)(VQSoundBuffer* buffer, uintptr_t context);
// Fills up to bytes bytes at destination and stores the count in *written; false when the
// stream has ended.
using VQSoundRefillCallback = bool (*)(void* destination, uint32_t bytes, uintptr_t context, uint32_t* written);

enum VQSoundBufferFlags : uint32_t {
  VQSOUND_PLAYING = 1u << 0,
  VQSOUND_PAUSED = 1u << 1,
};

// Play flags.
enum VQSoundPlayFlags : uint32_t {
  VQSOUND_PLAY_LOOP = 1u << 0,
  // Without VQSOUND_PLAY_LOOP: Play returns when a static buffer has finished; it runs the
  // buffer's per-frame update itself in 10 ms steps of the device clock meanwhile.
  VQSOUND_PLAY_WAIT = 1u << 1,
};

// Pan sides for SetPan/GetPan: with the side set a pan below 100 percent moves the sound to
// the left (the right channel is attenuated), without it to the right.
constexpr int32_t VQSOUND_SIDE_LEFT = 1;
constexpr int32_t VQSOUND_SIDE_RIGHT = 0;

constexpr uint32_t VQSOUND_MIN_FREQUENCY = DSBFREQUENCY_MIN;  // Hz
constexpr uint32_t VQSOUND_MAX_FREQUENCY = DSBFREQUENCY_MAX;  // Hz

class VQSoundBuffer {
 public:
  VQSoundBuffer() = default;
  // Frees the name; the data belong to the device (DeleteBuffer releases them).
  virtual ~VQSoundBuffer();
  VQSoundBuffer(const VQSoundBuffer&) = delete;
  VQSoundBuffer& operator=(const VQSoundBuffer&) = delete;

  // False when not playing. With rewind the position goes back to the start.
  virtual bool Stop(bool rewind) = 0;
  virtual bool Pause(bool on) = 0;
  // VQSoundPlayFlags. True at once when already playing.
  virtual bool Play(uint32_t flags) = 0;
  // Clamped to VQSOUND_MIN_FREQUENCY .. VQSOUND_MAX_FREQUENCY.
  virtual bool SetFrequency(uint32_t hz) = 0;
  // Frequency = the format's rate x percent / 100.
  virtual bool SetSpeed(int32_t percent) = 0;
  // percent 100 is the centre, 0 wholly to one side (VQSOUND_SIDE_*); above 100: false.
  virtual bool SetPan(int32_t percent, int32_t side) = 0;
  // A linear gain, times the base gain; at most 1.
  virtual bool SetVolume(float gain) = 0;
  virtual bool GetFrequency(uint32_t& hz) = 0;
  virtual bool GetSpeed(int32_t& percent) = 0;
  virtual bool GetPan(int32_t& percent, int32_t& side) = 0;

  // Replaces the owned copy of the name (null clears it); false with error 16 when memory
  // runs out.
  bool SetName(const char* name);
  void SetBaseGain(float gain) { m_baseGain = gain; }
  void SetRefillCallback(VQSoundRefillCallback callback, uintptr_t context) {
    m_refillCallback = callback;
    m_refillContext = context;
  }
  // Reads a ".wav" file, or a ".vqw" file (sample data scrambled with the built-in key) when
  // scrambledAllowed, into the format and data (any previous data are freed first). Errors:
  // 25 another file type, a missing "RIFF"/"WAVE" mark or chunks running past the file;
  // 24 the file cannot be opened; 26 a bad "fmt " chunk (size other than 16 or 18, zero
  // channels, rate or block align); 16 no memory for the data.
  bool ReadWave(const char* path, bool scrambledAllowed);
  // Frees the data when this buffer holds the last share of them.
  void ReleaseData();

  char* m_name = nullptr;
  VQSoundEndCallback m_endCallback = nullptr;
  uintptr_t m_endContext = 0;
  // Used by the voice limiter; called just before m_endCallback when a static buffer finishes.
  VQSoundEndCallback m_limiterEndCallback = nullptr;
  uintptr_t m_limiterEndContext = 0;
  uint32_t m_flags = 0;  // VQSoundBufferFlags
  VQWaveFormat m_format{};
  uint8_t* m_data = nullptr;          // malloc'ed; shared between duplicates
  uint32_t m_dataSize = 0;            // bytes
  uint32_t* m_sharedCount = nullptr;  // buffers sharing m_data (malloc'ed with it)
  float m_volume = 1.0f;              // the last gain given to SetVolume
  float m_baseGain = 1.0f;
  VQSoundRefillCallback m_refillCallback = nullptr;
  uintptr_t m_refillContext = 0;
  uint8_t m_loop = 0;
  VQSoundDevice* m_device = nullptr;
};

// The PCM format record: block align = bits / 8 x channels, bytes per second = block align x rate.
VQWaveFormat VQsound_PcmFormat(uint32_t channels, uint32_t bits, uint32_t rate);
