// The DirectSound-shaped sound layer: a sound object per output device with its primary
// format, and secondary buffers that play, loop, stop, report an exact play position, lock
// ring regions for streams and take frequency, volume and pan. Behind it sits our own mixer
// (host/sound/mixer.cpp) on an SDL2 audio device, or, in render-to-memory mode, on no device
// at all: then the caller pulls the mix with ds_object::render and the object's clock is the
// audio rendered so far, which makes every timing of the engine's sound code reproducible.
//
// Laws of the controls, as the engine's values are made for them:
//  - volume: hundredths of a decibel of attenuation, 0 (full) down to DSBVOLUME_MIN (silence);
//    amplitude 10^(volume / 2000);
//  - pan: hundredths of a decibel by which the opposite channel is attenuated; a negative pan
//    attenuates the right channel (the sound moves left), a positive one the left;
//  - frequency: the buffer's playback rate in Hz (DSBFREQUENCY_ORIGINAL: its format's rate),
//    resampled to the output rate with linear interpolation.
// Results are HRESULTs with the DirectX 7 values.
#pragma once

#include <cstdint>

#include "host/directx/dx_types.h"

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000Au);
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDPARAM = DXERR_INVALIDPARAMS;
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_GENERIC = DXERR_GENERIC;
constexpr HRESULT DSERR_PRIOLEVELNEEDED = static_cast<HRESULT>(0x88780046u);
constexpr HRESULT DSERR_OUTOFMEMORY = DXERR_OUTOFMEMORY;
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_UNSUPPORTED = DXERR_UNSUPPORTED;
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x88780082u);
constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);
constexpr HRESULT DSERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x887800A0u);
constexpr HRESULT DSERR_UNINITIALIZED = static_cast<HRESULT>(0x887800AAu);
constexpr HRESULT DSERR_NOINTERFACE = DXERR_NOINTERFACE;

// Buffer description flags.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr uint32_t DSBCAPS_STATIC = 0x00000002;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x00000040;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

constexpr uint32_t DSBPLAY_LOOPING = 0x00000001;
constexpr uint32_t DSBSTATUS_PLAYING = 0x00000001;
constexpr uint32_t DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr uint32_t DSBSTATUS_LOOPING = 0x00000004;
constexpr uint32_t DSBLOCK_ENTIREBUFFER = 0x00000002;
constexpr uint32_t DSSCL_PRIORITY = 2;

constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_RIGHT = 10000;
constexpr uint32_t DSBFREQUENCY_ORIGINAL = 0;
constexpr uint32_t DSBFREQUENCY_MIN = 100;
constexpr uint32_t DSBFREQUENCY_MAX = 100000;

constexpr uint16_t WAVE_FORMAT_PCM = 1;

namespace host {

// A PCM wave format (18 bytes in files and in the engine's records).
struct wave_format {
  uint16_t format_tag = WAVE_FORMAT_PCM;
  uint16_t channels = 0;
  uint32_t samples_per_sec = 0;
  uint32_t avg_bytes_per_sec = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
  uint16_t extra_size = 0;
};

struct ds_buffer_desc {
  uint32_t flags = 0;
  uint32_t buffer_bytes = 0;             // 0 for the primary buffer
  const wave_format* format = nullptr;   // null for the primary buffer
};

// A sound buffer. Secondary buffers accept 8-bit unsigned or 16-bit signed PCM, mono or
// stereo; the primary buffer only takes set_format (the output format of the mix).
class ds_buffer {
 public:
  virtual HRESULT play(uint32_t flags) = 0;  // DSBPLAY_LOOPING
  virtual HRESULT stop() = 0;                // keeps the position
  // Byte offsets of the play and write cursors (the write cursor is the play cursor: the
  // mixer reads the buffer's memory as it plays). Either pointer may be null.
  virtual HRESULT get_current_position(uint32_t* play, uint32_t* write) = 0;
  virtual HRESULT set_current_position(uint32_t play) = 0;
  // The region of bytes from offset, split at the end of the ring: part 2 is null when the
  // region does not wrap. DSBLOCK_ENTIREBUFFER locks the whole buffer.
  virtual HRESULT lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                       uint32_t* bytes2, uint32_t flags) = 0;
  virtual HRESULT unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) = 0;
  virtual HRESULT set_frequency(uint32_t hz) = 0;
  virtual HRESULT get_frequency(uint32_t* hz) = 0;
  virtual HRESULT set_volume(int32_t hundredths_db) = 0;
  virtual HRESULT get_volume(int32_t* hundredths_db) = 0;
  virtual HRESULT set_pan(int32_t hundredths_db) = 0;
  virtual HRESULT get_pan(int32_t* hundredths_db) = 0;
  virtual HRESULT get_status(uint32_t* status) = 0;
  virtual HRESULT restore() = 0;
  virtual HRESULT set_format(const wave_format* format) = 0;  // primary buffer only
  virtual void release() = 0;

 protected:
  virtual ~ds_buffer() = default;
};

// The sound object of one output device.
class ds_object {
 public:
  virtual HRESULT set_cooperative_level(uintptr_t window, uint32_t level) = 0;
  virtual HRESULT create_sound_buffer(const ds_buffer_desc& desc, ds_buffer** out) = 0;
  virtual void release() = 0;

  // Beyond DirectSound: the mix itself and the clock the buffers play by.
  // Mixes frames of output (interleaved, the primary format's channels, 16-bit) into out,
  // advancing every playing buffer; for objects without an audio device.
  virtual void render(int16_t* out, uint32_t frames) = 0;
  // Milliseconds of the object's clock: rendered audio in render-to-memory mode, the
  // monotonic clock otherwise.
  virtual uint32_t time_ms() = 0;
  // Lets ms milliseconds of the object's clock pass (renders and drops them in
  // render-to-memory mode, sleeps otherwise).
  virtual void idle(uint32_t ms) = 0;
  virtual wave_format output_format() = 0;
  virtual bool renders_to_memory() = 0;

 protected:
  virtual ~ds_object() = default;
};

// Enumeration callback: guid is null for the default device; false stops the enumeration.
using ds_enum_callback = bool (*)(const GUID* guid, const char* description, const char* module, void* context);

// The entry points that the "dsound.dll" built-in library hands out by name
// ("DirectSoundCreate", "DirectSoundEnumerateA").
// guid null: the default device. DSERR_NODRIVER when the device cannot be opened.
HRESULT direct_sound_create(const GUID* guid, ds_object** out, void* outer);
// Lists the default device first, then every output device.
HRESULT direct_sound_enumerate(ds_enum_callback callback, void* context);
using direct_sound_create_fn = HRESULT (*)(const GUID*, ds_object**, void*);
using direct_sound_enumerate_fn = HRESULT (*)(ds_enum_callback, void*);

// Sound objects created from now on render to memory (true) or play on an SDL audio device.
void ds_set_render_to_memory(bool on);
bool ds_render_to_memory();

}  // namespace host
