// The DirectSound driver of the sound device (device kind 5, two static instances) and its
// buffers, over the host's DirectSound-shaped layer (host/directx/dsound.h), which the driver
// loads at run time as "dsound.dll". Once a frame the frame pump runs VQdsound_UpdateBuffers:
// it refills streamed buffers and finishes the static ones that have ended.
#pragma once

#include <cstdint>

#include "Zentri/devices/sound/VQSoundDevice.h"
#include "host/directx/dsound.h"

constexpr uint32_t VQDSOUND_INSTANCES = 2;
constexpr uint32_t VQDSOUND_WAIT_STEP_MS = 10;  // Play's wait polls in steps of this

class VQDSoundDevice;

class VQDSoundBuffer : public VQSoundBuffer {
 public:
  VQDSoundBuffer() = default;
  ~VQDSoundBuffer() override;

  bool Stop(bool rewind) override;
  bool Pause(bool on) override;
  bool Play(uint32_t flags) override;
  bool SetFrequency(uint32_t hz) override;
  bool SetSpeed(int32_t percent) override;
  bool SetPan(int32_t percent, int32_t side) override;
  bool SetVolume(float gain) override;
  bool GetFrequency(uint32_t& hz) override;
  bool GetSpeed(int32_t& percent) override;
  bool GetPan(int32_t& percent, int32_t& side) override;

  // Creates (or re-creates) the platform buffer from the format and data; a static buffer is
  // filled at once, a streamed one is marked for its initial fill.
  bool CreatePlatformBuffer(bool isStatic);
  // Releases the platform buffer (if any).
  void ReleasePlatformBuffer();
  // Brings a paused playing buffer's position up to date with the device clock; true when a
  // one-shot has reached its end meanwhile.
  bool UpdatePausedPosition();
  // Refills a streamed buffer from its callback: the whole ring (initial) or the part already
  // played (periodic). A stream whose callback reports the end is stopped with rewind and its
  // end callback called.
  void Fill(bool initial);
  // The per-frame work for this buffer (see VQdsound_UpdateBuffers).
  void UpdateOne();

  uint8_t m_created = 0;
  uint8_t m_static = 1;
  uint32_t m_size = 0;          // bytes
  uint32_t m_durationMs = 0;    // size x 1000 / bytes per second
  uint32_t m_timeStamp = 0;     // device clock (ms) of the last position bookkeeping
  host::ds_buffer* m_platform = nullptr;
  uint32_t m_writeCursor = 0;   // streams: where the next refill goes
  uint8_t m_needsFill = 0;
  VQDSoundBuffer* m_nextPlaying = nullptr;

 private:
  VQDSoundDevice* Device() const;
  uint32_t Now() const;
  void Finish();
};

class VQDSoundDevice : public VQSoundDevice {
 public:
  explicit VQDSoundDevice(uint32_t instance);
  ~VQDSoundDevice() override;

  bool Init() override;
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "DirectSound device"; }

  bool AttachToCanvas(VQCanvas* canvas) override;
  bool SetPrimaryFormat(uint32_t channels, uint32_t bits, uint32_t rate) override;
  VQSoundBuffer* CreateBuffer(void* data, uint32_t size, uint32_t channels, uint32_t bits, uint32_t rate,
                              bool isStatic, const char* name) override;
  VQSoundBuffer* DuplicateBuffer(VQSoundBuffer* buffer) override;
  VQSoundBuffer* CreateBufferFromFile(const char* path) override;
  void DeleteBuffer(VQSoundBuffer* buffer) override;

  uint32_t m_instance;
  host::ds_object* m_dsound = nullptr;  // the platform sound object while open
  uintptr_t m_window = 0;               // the window given to the platform
  // Found by Init: the platform device of this instance (m_hasGuid 0: the default device).
  GUID m_guid{};
  uint8_t m_hasGuid = 0;
};

// Kind 5, index 0 or 1: the device (probed with Init when not open); otherwise error 39, null.
VQDevice* VQdsound_GetSoundDevice(int kind, int index);
// Loads "dsound.dll" once; false with a report when it or its entry points are missing.
bool VQdsound_LoadDirectSound();
// The per-frame update of every playing buffer.
void VQdsound_UpdateBuffers();
// The head of the list of playing buffers (newest first).
VQDSoundBuffer* VQdsound_PlayingList();
