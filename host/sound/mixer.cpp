// The mixer behind the DirectSound-shaped layer (host/directx/dsound.h): every playing
// secondary buffer is resampled (linear interpolation, 32.32 fixed-point position), scaled
// by its volume and pan gains and summed in float; the sum is clipped to 16 bits once, at
// the end. An object either feeds an SDL2 audio device from SDL's audio thread or, in
// render-to-memory mode, waits to be pulled by render().
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "host/directx/dsound.h"

namespace host {

namespace {

std::atomic<bool> g_render_to_memory{false};

constexpr uint32_t kDefaultRate = 44100;
constexpr uint16_t kDefaultChannels = 2;
constexpr uint64_t kOne = uint64_t(1) << 32;  // 1.0 in the 32.32 position

// Amplitude of an attenuation in hundredths of a decibel; DSBVOLUME_MIN and below is silence.
float amplitude(int32_t hundredths_db) {
  if (hundredths_db <= DSBVOLUME_MIN) return 0.0f;
  if (hundredths_db >= 0) return 1.0f;
  return static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

bool valid_secondary_format(const wave_format* f) {
  return f && f->format_tag == WAVE_FORMAT_PCM && (f->channels == 1 || f->channels == 2) &&
         (f->bits_per_sample == 8 || f->bits_per_sample == 16) &&
         f->block_align == f->channels * f->bits_per_sample / 8 && f->samples_per_sec >= DSBFREQUENCY_MIN &&
         f->samples_per_sec <= DSBFREQUENCY_MAX;
}

class mixer_object;

class mixer_buffer final : public ds_buffer {
 public:
  mixer_buffer(mixer_object* owner, bool primary) : m_owner(owner), m_primary(primary) {}

  HRESULT play(uint32_t flags) override;
  HRESULT stop() override;
  HRESULT get_current_position(uint32_t* play, uint32_t* write) override;
  HRESULT set_current_position(uint32_t play) override;
  HRESULT lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2, uint32_t* bytes2,
               uint32_t flags) override;
  HRESULT unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) override;
  HRESULT set_frequency(uint32_t hz) override;
  HRESULT get_frequency(uint32_t* hz) override;
  HRESULT set_volume(int32_t v) override;
  HRESULT get_volume(int32_t* v) override;
  HRESULT set_pan(int32_t p) override;
  HRESULT get_pan(int32_t* p) override;
  HRESULT get_status(uint32_t* status) override;
  // A buffer whose sound object was released stays lost: nothing restores it.
  HRESULT restore() override { return m_owner ? DS_OK : DSERR_BUFFERLOST; }
  HRESULT set_format(const wave_format* format) override;
  void release() override;

  // Adds this buffer's next frames into acc (stereo float pairs); called with the lock held.
  void mix(float* acc, uint32_t frames, uint32_t out_rate);

  mixer_object* m_owner;
  bool m_primary;
  wave_format m_format{};
  std::vector<uint8_t> m_data;
  uint32_t m_frames = 0;         // whole frames in m_data
  uint64_t m_pos = 0;            // play position in frames, 32.32
  uint32_t m_frequency = 0;      // Hz
  int32_t m_volume = 0;
  int32_t m_pan = 0;
  bool m_playing = false;
  bool m_looping = false;

 private:
  template <typename Sample, int Channels>
  void mix_as(float* acc, uint32_t frames, uint64_t step, float gl, float gr);
};

class mixer_object final : public ds_object {
 public:
  explicit mixer_object(bool memory) : m_memory(memory) {
    m_out.channels = kDefaultChannels;
    m_out.bits_per_sample = 16;
    m_out.samples_per_sec = kDefaultRate;
    m_out.block_align = 4;
    m_out.avg_bytes_per_sec = kDefaultRate * 4;
    m_start = std::chrono::steady_clock::now();
  }
  // Buffers still held by their users outlive the object: they are cut loose and report
  // DSERR_BUFFERLOST until released.
  ~mixer_object() override {
    close_device();
    for (mixer_buffer* b : m_buffers) b->m_owner = nullptr;
  }

  HRESULT set_cooperative_level(uintptr_t, uint32_t) override { return DS_OK; }
  HRESULT create_sound_buffer(const ds_buffer_desc& desc, ds_buffer** out) override;
  void release() override { delete this; }
  void render(int16_t* out, uint32_t frames) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    render_locked(out, frames);
  }
  uint32_t time_ms() override {
    if (m_memory) {
      std::lock_guard<std::mutex> lock(m_mutex);
      return static_cast<uint32_t>(m_rendered_ms);
    }
    auto d = std::chrono::steady_clock::now() - m_start;
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  }
  void idle(uint32_t ms) override {
    if (!m_memory) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint32_t frames = static_cast<uint32_t>(uint64_t(m_out.samples_per_sec) * ms / 1000);
    std::vector<int16_t> scratch(size_t(frames) * m_out.channels);
    render_locked(scratch.data(), frames);
  }
  wave_format output_format() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_out;
  }
  bool renders_to_memory() override { return m_memory; }

  // Opens the SDL device with the current output format (device name null: the default).
  HRESULT open_device();
  void close_device() {
    if (m_device != 0) {
      SDL_CloseAudioDevice(m_device);
      m_device = 0;
    }
    if (m_sdl_audio) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      m_sdl_audio = false;
    }
  }
  HRESULT set_output(const wave_format& f);
  void render_locked(int16_t* out, uint32_t frames);
  static void sdl_callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<mixer_object*>(user);
    const uint32_t frames = static_cast<uint32_t>(len) / (2u * self->m_out.channels);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->render_locked(reinterpret_cast<int16_t*>(stream), frames);
  }

  std::mutex m_mutex;
  bool m_memory;
  wave_format m_out{};
  std::vector<mixer_buffer*> m_buffers;  // secondary buffers, playing or not
  std::vector<float> m_acc;
  double m_rendered_ms = 0.0;
  std::chrono::steady_clock::time_point m_start;
  std::string m_device_name;  // empty: the default device
  SDL_AudioDeviceID m_device = 0;
  bool m_sdl_audio = false;
};

// ---- buffer ----

HRESULT mixer_buffer::play(uint32_t flags) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (m_primary) return DS_OK;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  m_playing = true;
  m_looping = (flags & DSBPLAY_LOOPING) != 0;
  return DS_OK;
}

HRESULT mixer_buffer::stop() {
  if (!m_owner) return DSERR_BUFFERLOST;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  m_playing = false;
  return DS_OK;
}

HRESULT mixer_buffer::get_current_position(uint32_t* play, uint32_t* write) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (m_primary) return DSERR_INVALIDCALL;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  const uint32_t bytes = static_cast<uint32_t>(m_pos >> 32) * m_format.block_align;
  if (play) *play = bytes;
  if (write) *write = bytes;
  return DS_OK;
}

HRESULT mixer_buffer::set_current_position(uint32_t play) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (m_primary) return DSERR_INVALIDCALL;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  if (play > m_data.size()) return DSERR_INVALIDPARAM;
  m_pos = uint64_t(play / m_format.block_align) << 32;
  return DS_OK;
}

HRESULT mixer_buffer::lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                           uint32_t* bytes2, uint32_t flags) {
  if (m_primary || !part1 || !bytes1) return DSERR_INVALIDPARAM;
  const uint32_t size = static_cast<uint32_t>(m_data.size());
  if (flags & DSBLOCK_ENTIREBUFFER) {
    offset = 0;
    bytes = size;
  }
  if (offset >= size || bytes > size || bytes == 0) return DSERR_INVALIDPARAM;
  const uint32_t first = std::min(bytes, size - offset);
  *part1 = m_data.data() + offset;
  *bytes1 = first;
  const uint32_t second = bytes - first;
  if (second > 0 && (!part2 || !bytes2)) return DSERR_INVALIDPARAM;
  if (part2) *part2 = second > 0 ? m_data.data() : nullptr;
  if (bytes2) *bytes2 = second;
  return DS_OK;
}

HRESULT mixer_buffer::unlock(void*, uint32_t, void*, uint32_t) { return m_primary ? DSERR_INVALIDCALL : DS_OK; }

HRESULT mixer_buffer::set_frequency(uint32_t hz) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (m_primary) return DSERR_CONTROLUNAVAIL;
  if (hz == DSBFREQUENCY_ORIGINAL) hz = m_format.samples_per_sec;
  if (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  m_frequency = hz;
  return DS_OK;
}

HRESULT mixer_buffer::get_frequency(uint32_t* hz) {
  if (m_primary || !hz) return DSERR_INVALIDPARAM;
  *hz = m_frequency;
  return DS_OK;
}

HRESULT mixer_buffer::set_volume(int32_t v) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  m_volume = v;
  return DS_OK;
}

HRESULT mixer_buffer::get_volume(int32_t* v) {
  if (!v) return DSERR_INVALIDPARAM;
  *v = m_volume;
  return DS_OK;
}

HRESULT mixer_buffer::set_pan(int32_t p) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (m_primary) return DSERR_CONTROLUNAVAIL;
  if (p < DSBPAN_LEFT || p > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  m_pan = p;
  return DS_OK;
}

HRESULT mixer_buffer::get_pan(int32_t* p) {
  if (!p) return DSERR_INVALIDPARAM;
  *p = m_pan;
  return DS_OK;
}

HRESULT mixer_buffer::get_status(uint32_t* status) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (!status) return DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> lock(m_owner->m_mutex);
  *status = (m_playing ? DSBSTATUS_PLAYING : 0u) | (m_playing && m_looping ? DSBSTATUS_LOOPING : 0u);
  return DS_OK;
}

HRESULT mixer_buffer::set_format(const wave_format* format) {
  if (!m_owner) return DSERR_BUFFERLOST;
  if (!m_primary) return DSERR_INVALIDCALL;
  if (!format || format->format_tag != WAVE_FORMAT_PCM || format->channels < 1 || format->channels > 2 ||
      format->bits_per_sample != 16 || format->samples_per_sec < 8000 || format->samples_per_sec > 192000)
    return DSERR_BADFORMAT;
  return m_owner->set_output(*format);
}

void mixer_buffer::release() {
  if (!m_primary && m_owner) {
    std::lock_guard<std::mutex> lock(m_owner->m_mutex);
    auto& list = m_owner->m_buffers;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  delete this;
}

inline float sample_value(const int16_t* p, uint32_t i) { return p[i] * (1.0f / 32768.0f); }
inline float sample_value(const uint8_t* p, uint32_t i) { return (int(p[i]) - 128) * (1.0f / 128.0f); }

template <typename Sample, int Channels>
void mixer_buffer::mix_as(float* acc, uint32_t frames, uint64_t step, float gl, float gr) {
  const Sample* s = reinterpret_cast<const Sample*>(m_data.data());
  const uint64_t end = uint64_t(m_frames) << 32;
  const bool wrap = m_looping;
  for (uint32_t k = 0; k < frames; ++k) {
    const uint32_t i = static_cast<uint32_t>(m_pos >> 32);
    uint32_t j = i + 1;
    if (j >= m_frames) j = wrap ? 0 : i;  // the last frame of a one-shot is held, not blended with silence
    const float t = static_cast<float>(m_pos & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
    float l, r;
    if constexpr (Channels == 1) {
      const float a = sample_value(s, i), b = sample_value(s, j);
      l = r = a + (b - a) * t;
    } else {
      const float al = sample_value(s, 2 * i), bl = sample_value(s, 2 * j);
      const float ar = sample_value(s, 2 * i + 1), br = sample_value(s, 2 * j + 1);
      l = al + (bl - al) * t;
      r = ar + (br - ar) * t;
    }
    acc[2 * k] += l * gl;
    acc[2 * k + 1] += r * gr;
    m_pos += step;
    if (m_pos >= end) {
      if (!wrap) {
        m_playing = false;
        m_pos = 0;
        return;
      }
      m_pos %= end;
    }
  }
}

void mixer_buffer::mix(float* acc, uint32_t frames, uint32_t out_rate) {
  if (!m_playing || m_frames == 0) return;
  const uint64_t step = (uint64_t(m_frequency) << 32) / out_rate;
  const float g = amplitude(m_volume);
  const float gl = g * (m_pan > 0 ? amplitude(-m_pan) : 1.0f);
  const float gr = g * (m_pan < 0 ? amplitude(m_pan) : 1.0f);
  const bool wide = m_format.bits_per_sample == 16;
  if (m_format.channels == 1)
    wide ? mix_as<int16_t, 1>(acc, frames, step, gl, gr) : mix_as<uint8_t, 1>(acc, frames, step, gl, gr);
  else
    wide ? mix_as<int16_t, 2>(acc, frames, step, gl, gr) : mix_as<uint8_t, 2>(acc, frames, step, gl, gr);
}

// ---- object ----

HRESULT mixer_object::create_sound_buffer(const ds_buffer_desc& desc, ds_buffer** out) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (desc.flags & DSBCAPS_PRIMARYBUFFER) {
    if (desc.buffer_bytes != 0 || desc.format) return DSERR_INVALIDPARAM;
    auto* b = new (std::nothrow) mixer_buffer(this, true);
    if (!b) return DSERR_OUTOFMEMORY;
    *out = b;
    return DS_OK;
  }
  if (!valid_secondary_format(desc.format)) return DSERR_BADFORMAT;
  if (desc.buffer_bytes < desc.format->block_align || desc.buffer_bytes % desc.format->block_align != 0)
    return DSERR_INVALIDPARAM;
  auto* b = new (std::nothrow) mixer_buffer(this, false);
  if (!b) return DSERR_OUTOFMEMORY;
  try {
    b->m_data.assign(desc.buffer_bytes, desc.format->bits_per_sample == 8 ? 0x80 : 0);
  } catch (const std::bad_alloc&) {
    delete b;
    return DSERR_OUTOFMEMORY;
  }
  b->m_format = *desc.format;
  b->m_frames = desc.buffer_bytes / desc.format->block_align;
  b->m_frequency = desc.format->samples_per_sec;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_buffers.push_back(b);
  *out = b;
  return DS_OK;
}

HRESULT mixer_object::open_device() {
  if (!m_sdl_audio) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
    m_sdl_audio = true;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = static_cast<int>(m_out.samples_per_sec);
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(m_out.channels);
  want.samples = 1024;
  want.callback = sdl_callback;
  want.userdata = this;
  const char* name = m_device_name.empty() ? nullptr : m_device_name.c_str();
  m_device = SDL_OpenAudioDevice(name, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (m_device == 0) return DSERR_NODRIVER;
  // The device may run at another rate: the mix follows the rate the device set.
  m_out.samples_per_sec = static_cast<uint32_t>(have.freq);
  m_out.avg_bytes_per_sec = m_out.samples_per_sec * m_out.block_align;
  SDL_PauseAudioDevice(m_device, 0);
  return DS_OK;
}

HRESULT mixer_object::set_output(const wave_format& f) {
  wave_format next = f;
  next.block_align = static_cast<uint16_t>(f.channels * 2);
  next.avg_bytes_per_sec = f.samples_per_sec * next.block_align;
  if (m_memory) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out = next;
    return DS_OK;
  }
  if (m_device != 0) {
    SDL_CloseAudioDevice(m_device);  // waits for the callback to finish
    m_device = 0;
  }
  m_out = next;
  return open_device();
}

void mixer_object::render_locked(int16_t* out, uint32_t frames) {
  const uint32_t channels = m_out.channels;
  if (m_acc.size() < size_t(frames) * 2) m_acc.resize(size_t(frames) * 2);
  float* acc = m_acc.data();
  std::fill(acc, acc + size_t(frames) * 2, 0.0f);
  for (mixer_buffer* b : m_buffers) b->mix(acc, frames, m_out.samples_per_sec);
  auto clip = [](float v) -> int16_t {
    const float s = v * 32768.0f;
    if (s >= 32767.0f) return 32767;
    if (s <= -32768.0f) return -32768;
    return static_cast<int16_t>(std::lrint(s));
  };
  for (uint32_t k = 0; k < frames; ++k) {
    if (channels == 1) {
      out[k] = clip(0.5f * (acc[2 * k] + acc[2 * k + 1]));
    } else {
      out[2 * k] = clip(acc[2 * k]);
      out[2 * k + 1] = clip(acc[2 * k + 1]);
    }
  }
  m_rendered_ms += frames * 1000.0 / m_out.samples_per_sec;
}

// SDL output devices by ordinal (1 = the first named device); empty when there is none.
std::string sdl_device_name(uint32_t ordinal) {
  const int n = SDL_GetNumAudioDevices(0);
  if (ordinal == 0 || static_cast<int>(ordinal) > n) return {};
  const char* name = SDL_GetAudioDeviceName(static_cast<int>(ordinal) - 1, 0);
  return name ? name : "";
}

// Device GUIDs carry the device's ordinal in Data1 under a fixed pattern.
GUID device_guid(uint32_t ordinal) {
  GUID g{};
  g.Data1 = ordinal;
  g.Data2 = 0x5153;  // "SQ"
  g.Data3 = 0x4444;
  return g;
}

}  // namespace

void ds_set_render_to_memory(bool on) { g_render_to_memory = on; }
bool ds_render_to_memory() { return g_render_to_memory; }

HRESULT direct_sound_create(const GUID* guid, ds_object** out, void* outer) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (outer) return DSERR_NOAGGREGATION;
  const bool memory = g_render_to_memory;
  auto* object = new (std::nothrow) mixer_object(memory);
  if (!object) return DSERR_OUTOFMEMORY;
  if (!memory) {
    if (guid) {
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        delete object;
        return DSERR_NODRIVER;
      }
      object->m_sdl_audio = true;
      object->m_device_name = sdl_device_name(guid->Data1);
      if (object->m_device_name.empty()) {
        delete object;
        return DSERR_NODRIVER;
      }
    }
    const HRESULT r = object->open_device();
    if (dx_failed(r)) {
      delete object;
      return r;
    }
  }
  *out = object;
  return DS_OK;
}

HRESULT direct_sound_enumerate(ds_enum_callback callback, void* context) {
  if (!callback) return DSERR_INVALIDPARAM;
  if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
  if (g_render_to_memory) return DS_OK;  // a memory renderer has only its default device
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DS_OK;
  const int n = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < n; ++i) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    const GUID g = device_guid(static_cast<uint32_t>(i) + 1);
    if (!callback(&g, name ? name : "", "", context)) break;
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return DS_OK;
}

}  // namespace host
