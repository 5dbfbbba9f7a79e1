#include "Zentri/devices/sound/VQDSoundDevice.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/devices/VQdirectx.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/util/VQerror.h"
#include "host/dynlib/library.h"

namespace {

// The run-time loaded DirectSound layer, shared by both instances.
struct DirectSoundLibrary {
  host::library* module = nullptr;
  host::direct_sound_create_fn create = nullptr;
  host::direct_sound_enumerate_fn enumerate = nullptr;
};
DirectSoundLibrary g_library;
uint32_t g_liveDevices = 0;    // device objects; the last one destroyed frees the library
uint32_t g_openDevices = 0;    // open devices; the frame pump's hook is set while any is
VQDSoundBuffer* g_playing = nullptr;  // playing buffers, newest first

void FreeDirectSound() {
  host::library_free(g_library.module);
  g_library = DirectSoundLibrary{};
}

void UpdateHook(uintptr_t) { VQdsound_UpdateBuffers(); }

HRESULT Store(HRESULT r) {
  g_VQdxResult = r;
  return r;
}

void Unlink(VQDSoundBuffer* b) {
  for (VQDSoundBuffer** link = &g_playing; *link; link = &(*link)->m_nextPlaying) {
    if (*link == b) {
      *link = b->m_nextPlaying;
      b->m_nextPlaying = nullptr;
      return;
    }
  }
}

// Platform attenuation of a linear gain: 1000 x log2(gain), truncated; silence for 0.
int32_t GainToHundredthsDb(float gain) {
  if (!(gain > 0.0f)) return DSBVOLUME_MIN;
  if (gain >= 1.0f) return 0;
  const int32_t v = static_cast<int32_t>(1000.0 * std::log2(static_cast<double>(gain)));
  // Gains below 2^-10 would go under the platform's floor, which refuses them: silence.
  return v < DSBVOLUME_MIN ? DSBVOLUME_MIN : v;
}

struct EnumState {
  uint32_t wanted;
  uint32_t count = 0;
  bool found = false;
  bool hasGuid = false;
  GUID guid{};
};

bool EnumCallback(const GUID* guid, const char*, const char*, void* context) {
  auto* s = static_cast<EnumState*>(context);
  if (s->count == s->wanted) {
    s->found = true;
    s->hasGuid = guid != nullptr;
    if (guid) s->guid = *guid;
  }
  ++s->count;
  return true;
}

}  // namespace

// ---- library and registry ------------------------------------------------------------------

bool VQdsound_LoadDirectSound() {
  if (g_library.module) return true;
  host::library* module = host::library_load("dsound.dll");
  if (!module) {
    VQdirectx_ReportError("Cannot load 'dsound.dll'", DX_OK);
    return false;
  }
  auto create = reinterpret_cast<host::direct_sound_create_fn>(host::library_symbol(module, "DirectSoundCreate"));
  auto enumerate =
      reinterpret_cast<host::direct_sound_enumerate_fn>(host::library_symbol(module, "DirectSoundEnumerateA"));
  if (!create || !enumerate) {
    VQdirectx_ReportError("Cannot get exported function in 'dsound.dll'", DX_OK);
    host::library_free(module);
    return false;
  }
  g_library.module = module;
  g_library.create = create;
  g_library.enumerate = enumerate;
  return true;
}

VQDevice* VQdsound_GetSoundDevice(int kind, int index) {
  static VQDSoundDevice devices[VQDSOUND_INSTANCES] = {VQDSoundDevice(0), VQDSoundDevice(1)};
  if (kind != VQDEVICE_SOUND || index < 0 || index >= static_cast<int>(VQDSOUND_INSTANCES)) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(&devices[index]);
}

VQDSoundBuffer* VQdsound_PlayingList() { return g_playing; }

void VQdsound_UpdateBuffers() {
  for (VQDSoundBuffer* b = g_playing; b;) {
    VQDSoundBuffer* next = b->m_nextPlaying;  // the buffer may leave the list
    b->UpdateOne();
    b = next;
  }
}

// ---- device ---------------------------------------------------------------------------------

VQDSoundDevice::VQDSoundDevice(uint32_t instance) : VQSoundDevice(VQDEVICE_SOUND), m_instance(instance) {
  ++g_liveDevices;
}

VQDSoundDevice::~VQDSoundDevice() {
  if (m_initialised) Close();
  if (--g_liveDevices == 0) FreeDirectSound();
}

bool VQDSoundDevice::Init() {
  const bool loadedHere = !g_library.module;
  if (!VQdsound_LoadDirectSound()) return false;
  EnumState s;
  s.wanted = m_instance;
  Store(g_library.enumerate(EnumCallback, &s));
  if (s.found) {
    m_hasGuid = s.hasGuid ? 1 : 0;
    m_guid = s.guid;
  }
  if (loadedHere) FreeDirectSound();
  return s.found;
}

bool VQDSoundDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  if (!Init()) return VQerror_Fail(VQERR_DEVICE_UNAVAILABLE);
  const bool loadedHere = !g_library.module;
  if (!VQdsound_LoadDirectSound()) return VQerror_Fail(VQERR_DEVICE_UNAVAILABLE);
  auto fail = [&](int32_t code) {
    delete m_limiter;
    m_limiter = nullptr;
    delete m_cache;
    m_cache = nullptr;
    if (m_dsound) m_dsound->release();
    m_dsound = nullptr;
    if (loadedHere) FreeDirectSound();
    return VQerror_Fail(code);
  };
  if (dx_failed(Store(g_library.create(m_hasGuid ? &m_guid : nullptr, &m_dsound, nullptr)))) {
    if (g_VQdxReportErrors) VQdirectx_ReportError("VQDSoundDevice::Open", g_VQdxResult);
    m_dsound = nullptr;
    return fail(VQERR_DEVICE_UNAVAILABLE);
  }
  m_limiter = new (std::nothrow) VQVoiceLimiter(VQVOICE_DEFAULT_AUDIBLE);
  m_cache = new (std::nothrow) VQSoundManager(this);
  if (!m_limiter || !m_cache) return fail(VQERR_OUT_OF_MEMORY);
  if (!g_VQsystem.AddDevice(this)) return fail(g_VQerror);
  m_openParameter = parameter;
  m_initialised = 1;
  if (g_openDevices++ == 0) {
    g_VQwin32Devices.updateSound = UpdateHook;
    g_VQwin32Devices.soundUser = 0;
  }
  return true;
}

void VQDSoundDevice::Close() {
  if (!m_initialised) return;
  if (m_limiter) m_limiter->RemoveAll();
  delete m_limiter;
  m_limiter = nullptr;
  if (m_cache) m_cache->ReleaseAll();
  delete m_cache;
  m_cache = nullptr;
  // Buffers the game still holds lose their platform side; the sound object goes now.
  for (VQDSoundBuffer* b = g_playing; b;) {
    VQDSoundBuffer* next = b->m_nextPlaying;
    if (b->m_device == this) Unlink(b);
    b = next;
  }
  if (m_dsound) m_dsound->release();
  m_dsound = nullptr;
  g_VQsystem.RemoveDevice(this);
  m_canvas = nullptr;
  m_window = 0;
  m_initialised = 0;
  if (--g_openDevices == 0 && g_VQwin32Devices.updateSound == UpdateHook) g_VQwin32Devices.updateSound = nullptr;
}

bool VQDSoundDevice::AttachToCanvas(VQCanvas* canvas) {
  if (!canvas) return false;
  if (canvas == m_canvas) return true;
  if (!m_dsound) return VQerror_Fail(VQERR_NOT_OPEN);
  if (dx_failed(Store(m_dsound->set_cooperative_level(canvas->m_window, DSSCL_PRIORITY)))) return false;
  m_canvas = canvas;
  m_window = canvas->m_window;
  canvas->m_soundDevice = static_cast<VQSoundDevice*>(this);
  return true;
}

bool VQDSoundDevice::SetPrimaryFormat(uint32_t channels, uint32_t bits, uint32_t rate) {
  if (!m_dsound) return VQerror_Fail(VQERR_NOT_OPEN);
  host::ds_buffer_desc desc;
  desc.flags = DSBCAPS_PRIMARYBUFFER;
  host::ds_buffer* primary = nullptr;
  if (dx_failed(Store(m_dsound->create_sound_buffer(desc, &primary)))) return false;
  const VQWaveFormat format = VQsound_PcmFormat(channels, bits, rate);
  const bool ok = dx_succeeded(Store(primary->set_format(&format)));
  primary->release();
  return ok;
}

VQSoundBuffer* VQDSoundDevice::CreateBuffer(void* data, uint32_t size, uint32_t channels, uint32_t bits,
                                            uint32_t rate, bool isStatic, const char* name) {
  auto* b = new (std::nothrow) VQDSoundBuffer();
  uint32_t* shared = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t)));
  if (!b || !shared) {
    delete b;
    std::free(shared);
    std::free(data);
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  *shared = 1;
  b->m_device = this;
  b->m_data = static_cast<uint8_t*>(data);
  b->m_dataSize = size;
  b->m_sharedCount = shared;
  b->m_format = VQsound_PcmFormat(channels, bits, rate);
  ++m_bufferCount;
  if (!b->SetName(name) || !b->CreatePlatformBuffer(isStatic)) {
    DeleteBuffer(b);
    return nullptr;
  }
  return b;
}

VQSoundBuffer* VQDSoundDevice::DuplicateBuffer(VQSoundBuffer* buffer) {
  if (!buffer) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* b = new (std::nothrow) VQDSoundBuffer();
  if (!b) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  b->m_device = this;
  b->m_data = buffer->m_data;
  b->m_dataSize = buffer->m_dataSize;
  b->m_sharedCount = buffer->m_sharedCount;
  if (b->m_sharedCount) ++*b->m_sharedCount;
  b->m_format = buffer->m_format;
  b->m_volume = buffer->m_volume;
  b->m_baseGain = buffer->m_baseGain;
  ++m_bufferCount;
  if (!b->SetName(buffer->m_name) || !b->CreatePlatformBuffer(true)) {
    DeleteBuffer(b);
    return nullptr;
  }
  b->SetVolume(b->m_volume);
  return b;
}

VQSoundBuffer* VQDSoundDevice::CreateBufferFromFile(const char* path) {
  auto* b = new (std::nothrow) VQDSoundBuffer();
  uint32_t* shared = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t)));
  if (!b || !shared) {
    delete b;
    std::free(shared);
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  b->m_device = this;
  ++m_bufferCount;
  if (!b->ReadWave(path, true)) {
    std::free(shared);
    DeleteBuffer(b);
    return nullptr;
  }
  *shared = 1;
  b->m_sharedCount = shared;
  if (!b->SetName(path) || !b->CreatePlatformBuffer(true)) {
    DeleteBuffer(b);
    return nullptr;
  }
  return b;
}

void VQDSoundDevice::DeleteBuffer(VQSoundBuffer* buffer) {
  if (!buffer) return;
  if (m_limiter && m_limiter->Contains(buffer)) m_limiter->Remove(buffer);
  auto* b = static_cast<VQDSoundBuffer*>(buffer);
  Unlink(b);
  b->ReleasePlatformBuffer();
  b->ReleaseData();
  if (m_bufferCount > 0) --m_bufferCount;
  delete b;
}

// ---- buffer ---------------------------------------------------------------------------------

VQDSoundBuffer::~VQDSoundBuffer() {
  Unlink(this);
  ReleasePlatformBuffer();
}

VQDSoundDevice* VQDSoundBuffer::Device() const { return static_cast<VQDSoundDevice*>(m_device); }

uint32_t VQDSoundBuffer::Now() const {
  VQDSoundDevice* d = Device();
  return d && d->m_dsound ? d->m_dsound->time_ms() : 0;
}

void VQDSoundBuffer::ReleasePlatformBuffer() {
  if (m_platform) m_platform->release();
  m_platform = nullptr;
  m_created = 0;
}

bool VQDSoundBuffer::CreatePlatformBuffer(bool isStatic) {
  VQDSoundDevice* d = Device();
  if (!d || !d->m_dsound) return VQerror_Fail(VQERR_NOT_OPEN);
  ReleasePlatformBuffer();
  m_static = isStatic ? 1 : 0;
  m_size = m_dataSize;
  m_durationMs = m_format.avg_bytes_per_sec ? static_cast<uint32_t>(uint64_t(m_size) * 1000 / m_format.avg_bytes_per_sec) : 0;
  host::ds_buffer_desc desc;
  desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2 |
               (isStatic ? DSBCAPS_STATIC : 0u);
  desc.buffer_bytes = m_size;
  desc.format = &m_format;
  if (dx_failed(Store(d->m_dsound->create_sound_buffer(desc, &m_platform))) &&
      dx_failed(Store(d->m_dsound->create_sound_buffer(desc, &m_platform)))) {
    m_platform = nullptr;
    if (g_VQdxReportErrors) VQdirectx_ReportError("VQDSoundBuffer::CreatePlatformBuffer", g_VQdxResult);
    return VQerror_Fail(VQERR_NOT_SUPPORTED);
  }
  m_created = 1;
  Store(m_platform->set_current_position(0));
  if (!isStatic) {
    m_needsFill = 1;
    return true;
  }
  void* p1 = nullptr;
  void* p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (dx_succeeded(Store(m_platform->lock(0, m_size, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER)))) {
    std::memcpy(p1, m_data, n1 < m_dataSize ? n1 : m_dataSize);
    Store(m_platform->unlock(p1, n1, p2, n2));
  }
  return true;
}

void VQDSoundBuffer::Fill(bool initial) {
  if (!m_platform || !m_refillCallback || m_size == 0) return;
  uint32_t offset = m_writeCursor, bytes = m_size;
  if (!initial) {
    uint32_t play = 0;
    if (dx_failed(Store(m_platform->get_current_position(&play, nullptr)))) return;
    bytes = play >= m_writeCursor ? play - m_writeCursor : m_size - m_writeCursor + play;
    if (bytes == 0) return;
  }
  void* p1 = nullptr;
  void* p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (dx_failed(Store(m_platform->lock(offset, bytes, &p1, &n1, &p2, &n2, 0)))) return;
  uint32_t written = 0;
  bool goesOn = m_refillCallback(p1, n1, m_refillContext, &written);
  uint32_t total = written;
  // The second part continues the first only when the first was filled to its end.
  if (goesOn && p2 && n2 > 0 && written == n1) {
    written = 0;
    goesOn = m_refillCallback(p2, n2, m_refillContext, &written);
    total += written;
  }
  m_writeCursor = static_cast<uint32_t>((uint64_t(m_writeCursor) + total) % m_size);
  Store(m_platform->unlock(p1, n1, p2, n2));
  m_needsFill = 0;
  if (!goesOn) {
    Stop(true);
    if (m_endCallback) m_endCallback(this, m_endContext);
  }
}

bool VQDSoundBuffer::UpdatePausedPosition() {
  if (!m_platform || m_size == 0) return false;
  const uint32_t now = Now();
  const uint32_t elapsed = now - m_timeStamp;
  uint32_t frequency = 0;
  Store(m_platform->get_frequency(&frequency));
  uint32_t play = 0;
  Store(m_platform->get_current_position(&play, nullptr));
  // A frame is block-align bytes: bits / 8 alone would ignore the channel count.
  const uint64_t advance = uint64_t(m_format.block_align) * frequency * elapsed / 1000;
  uint64_t position = play + advance;
  if (position >= m_size) {
    if (!m_loop && m_static) {
      m_timeStamp = now;
      return true;
    }
    position %= m_size;
  }
  position -= position % m_format.block_align;
  Store(m_platform->set_current_position(static_cast<uint32_t>(position)));
  m_timeStamp = now;
  return false;
}

bool VQDSoundBuffer::Play(uint32_t flags) {
  if (m_flags & VQSOUND_PLAYING) return true;
  if (!m_platform) return VQerror_Fail(VQERR_NOT_OPEN);
  Store(m_platform->restore());
  if (!m_static && m_needsFill) Fill(true);
  m_loop = (flags & VQSOUND_PLAY_LOOP) ? 1 : 0;
  m_timeStamp = Now();
  if (!(m_flags & VQSOUND_PAUSED)) {
    if (dx_failed(Store(m_platform->play(m_loop || !m_static ? DSBPLAY_LOOPING : 0)))) return false;
  }
  m_flags |= VQSOUND_PLAYING;
  Unlink(this);
  m_nextPlaying = g_playing;
  g_playing = this;
  // Waiting: the frame thread itself runs this buffer's update until it has finished, so the
  // wait ends (a static buffer at its end, frequency at least 100 Hz, always finishes).
  if ((flags & VQSOUND_PLAY_WAIT) && !m_loop && m_static) {
    VQDSoundDevice* d = Device();
    while ((m_flags & VQSOUND_PLAYING) && d && d->m_dsound) {
      d->m_dsound->idle(VQDSOUND_WAIT_STEP_MS);
      UpdateOne();
    }
  }
  return true;
}

bool VQDSoundBuffer::Stop(bool rewind) {
  if (!(m_flags & VQSOUND_PLAYING)) return false;
  Unlink(this);
  if (m_platform) {
    if (!(m_flags & VQSOUND_PAUSED))
      Store(m_platform->stop());
    else
      UpdatePausedPosition();
  }
  m_flags &= ~VQSOUND_PLAYING;
  if (rewind) {
    if (m_platform) Store(m_platform->set_current_position(0));
    m_writeCursor = 0;
    m_needsFill = m_static ? 0 : 1;
  } else {
    m_needsFill = 0;
  }
  return true;
}

bool VQDSoundBuffer::Pause(bool on) {
  if (on) {
    if ((m_flags & VQSOUND_PLAYING) && !(m_flags & VQSOUND_PAUSED) && m_platform) {
      Store(m_platform->stop());
      m_timeStamp = Now();
    }
    m_flags |= VQSOUND_PAUSED;
    return true;
  }
  if ((m_flags & VQSOUND_PLAYING) && (m_flags & VQSOUND_PAUSED) && m_platform) {
    // A one-shot that ended during the pause stays silent: the next update finishes it.
    if (!UpdatePausedPosition()) Store(m_platform->play(m_loop || !m_static ? DSBPLAY_LOOPING : 0));
  }
  m_flags &= ~VQSOUND_PAUSED;
  return true;
}

void VQDSoundBuffer::Finish() {
  Stop(true);
  if (m_limiterEndCallback) m_limiterEndCallback(this, m_limiterEndContext);
  if (m_endCallback) m_endCallback(this, m_endContext);
}

void VQDSoundBuffer::UpdateOne() {
  if (!m_platform) return;
  if (!m_static) {
    Fill(false);
    return;
  }
  if (m_flags & VQSOUND_PAUSED) {
    if (UpdatePausedPosition()) Finish();
    return;
  }
  uint32_t status = 0;
  Store(m_platform->get_status(&status));
  if (!(status & DSBSTATUS_PLAYING)) Finish();
}

bool VQDSoundBuffer::SetFrequency(uint32_t hz) {
  if (!m_platform) return VQerror_Fail(VQERR_NOT_OPEN);
  if (hz < VQSOUND_MIN_FREQUENCY) hz = VQSOUND_MIN_FREQUENCY;
  if (hz > VQSOUND_MAX_FREQUENCY) hz = VQSOUND_MAX_FREQUENCY;
  if ((m_flags & VQSOUND_PLAYING) && (m_flags & VQSOUND_PAUSED)) UpdatePausedPosition();
  return dx_succeeded(Store(m_platform->set_frequency(hz)));
}

bool VQDSoundBuffer::SetSpeed(int32_t percent) {
  int64_t hz = int64_t(m_format.samples_per_sec) * percent / 100;
  if (hz < VQSOUND_MIN_FREQUENCY) hz = VQSOUND_MIN_FREQUENCY;
  if (hz > VQSOUND_MAX_FREQUENCY) hz = VQSOUND_MAX_FREQUENCY;
  return SetFrequency(static_cast<uint32_t>(hz));
}

bool VQDSoundBuffer::GetFrequency(uint32_t& hz) {
  if (!m_platform) return VQerror_Fail(VQERR_NOT_OPEN);
  return dx_succeeded(Store(m_platform->get_frequency(&hz)));
}

bool VQDSoundBuffer::GetSpeed(int32_t& percent) {
  uint32_t hz = 0;
  if (!GetFrequency(hz) || m_format.samples_per_sec == 0) return false;
  percent = static_cast<int32_t>(uint64_t(hz) * 100 / m_format.samples_per_sec);
  return true;
}

bool VQDSoundBuffer::SetPan(int32_t percent, int32_t side) {
  if (percent > 100 || percent < 0) return false;
  if (!m_platform) return VQerror_Fail(VQERR_NOT_OPEN);
  const int32_t magnitude =
      percent == 0 ? DSBPAN_LEFT : static_cast<int32_t>(std::log2(percent / 100.0) * 1000.0);
  const int32_t value = side ? magnitude : -magnitude;
  return dx_succeeded(Store(m_platform->set_pan(value)));
}

bool VQDSoundBuffer::GetPan(int32_t& percent, int32_t& side) {
  if (!m_platform) return VQerror_Fail(VQERR_NOT_OPEN);
  int32_t pan = 0;
  if (dx_failed(Store(m_platform->get_pan(&pan)))) return false;
  side = pan < 0 ? VQSOUND_SIDE_LEFT : VQSOUND_SIDE_RIGHT;
  const int32_t magnitude = pan < 0 ? -pan : pan;
  percent = static_cast<int32_t>(std::lround(100.0 * std::exp2(-magnitude / 1000.0)));
  return true;
}

bool VQDSoundBuffer::SetVolume(float gain) {
  if (!m_platform) return VQerror_Fail(VQERR_NOT_OPEN);
  float g = gain * m_baseGain;
  if (g > 1.0f) g = 1.0f;
  if (dx_failed(Store(m_platform->set_volume(GainToHundredthsDb(g))))) return false;
  m_volume = gain;
  return true;
}
