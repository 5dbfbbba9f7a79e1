#include "QVX/race/TrackSoundEvent.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "QVX/race/TrackSounds.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/scene/VQNodes.h"

namespace {

float NonNegative(float v) { return std::isfinite(v) && v > 0.0f ? v : 0.0f; }

char* CopyText(const char* text) {
  const size_t n = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy) std::memcpy(copy, text, n + 1);
  return copy;
}

}  // namespace

void TrackSoundRecord_Decode(const uint8_t* r, TrackSoundRecord& out) {
  out.kind = Record_GetU32(r, 0);
  out.position = VQVector(Record_GetF32(r, 4), Record_GetF32(r, 8), Record_GetF32(r, 12));
  out.volume = NonNegative(Record_GetF32(r, 16));
  out.range = NonNegative(Record_GetF32(r, 20));
  out.delay = NonNegative(Record_GetF32(r, 24));
  out.interval = NonNegative(Record_GetF32(r, 28));
  out.repeatCount = Record_GetU32(r, 32);
  out.mode = Record_GetU32(r, 36);
  Record_GetName(out.name, sizeof out.name, r, 40, TRACKSOUND_NAME_FIELD);
  // The stored name is a ".wav" name; the game ships the scrambled ".vqw" form.
  const size_t n = std::strlen(out.name);
  if (n >= 4) std::memcpy(out.name + n - 4, ".vqw", 4);
}

uint32_t TrackSoundRecord_ReadAll(const uint8_t* settings, size_t size, TrackSoundRecord* out) {
  if (!settings || size < TRACK_SETTINGS_SOUND_COUNT + 4) return 0;
  uint32_t count = Record_GetU32(settings, TRACK_SETTINGS_SOUND_COUNT);
  if (count > TRACK_MAX_SOUND_EVENTS) count = TRACK_MAX_SOUND_EVENTS;
  const size_t room = (size - TRACK_SETTINGS_SOUND_RECORDS) / TRACKSOUND_RECORD_SIZE;
  if (count > room) count = uint32_t(room);
  for (uint32_t k = 0; k < count; ++k)
    TrackSoundRecord_Decode(settings + TRACK_SETTINGS_SOUND_RECORDS + k * TRACKSOUND_RECORD_SIZE,
                            out[k]);
  return count;
}

TrackSoundEvent::~TrackSoundEvent() {
  Release();
  std::free(m_name);
}

bool TrackSoundEvent::Init(uint32_t kind, const char* name, const VQVector& position, float range,
                           float volume) {
  std::free(m_name);
  m_name = CopyText(name ? name : "");
  m_kind = kind;
  m_position = position;
  m_range = range;
  m_volume = volume;
  m_sample = nullptr;
  m_node = nullptr;
  m_initialised = 1;
  return true;
}

void TrackSoundEvent::SetPlayMode(uint32_t mode, uint32_t) { m_mode = mode; }

bool TrackSoundEvent::Load(VQSoundDevice* device) {
  if (!device) return false;
  m_device = device;
  if (m_kind != TRACKSOUND_MUSIC) {
    m_sample = device->m_cache ? device->m_cache->Load(m_name ? m_name : "", true) : nullptr;
    if (!m_sample) {
      if (g_gameLog) g_gameLog->Print("Cannot load soundsource sound '%s'", m_name ? m_name : "");
      return false;
    }
  }
  if (m_sample) {
    // Heard only through the node, which sets the volume for the listener.
    m_sample->SetVolume(0.0f);
    m_sample->m_flags = 0;
  }
  auto* node = new (std::nothrow) VQSoundSourceNode(0);
  if (!node) return false;
  node->SetSample(m_sample, false);
  const float range = m_kind == TRACKSOUND_MUSIC ? m_range * 10.0f : m_range;
  node->SetPosition(m_position, range, range);
  node->m_attenuation = m_kind == TRACKSOUND_MUSIC ? 0 : 1;
  node->m_doppler = 1;
  node->m_gain = m_volume;
  node->m_volume = m_volume;
  node->m_enabled = 0;
  if (m_sample && m_sample->m_name) node->SetName(m_sample->m_name);
  m_node = node;
  return true;
}

void TrackSoundEvent::SetVolume(float volume) {
  if (!m_node) return;
  m_node->m_gain = volume * m_volume;
  m_node->m_volume = volume * m_volume;
}

bool TrackSoundEvent::IsPlaying() const {
  return m_sample && m_device && m_device->m_limiter && m_device->m_limiter->Contains(m_sample);
}

void TrackSoundEvent::Start(bool loop) {
  if (!m_sample) return;
  if (m_device) m_device->PlayLimited(m_sample, loop ? 1 : 0, TRACKSOUND_PRIORITY);
  m_sample->m_loop = loop ? 1 : 0;
  if (m_node) m_node->m_enabled = 1;
}

void TrackSoundEvent::PrepareRace(uint32_t raceMinutes) {
  if (m_sample && m_node) {
    if (m_device) m_device->StopLimited(m_sample);
    m_node->m_playing = 0;
    m_node->m_enabled = 0;
  }
  m_repeatsLeft = int32_t(m_repeatCount);
  if (m_mode == TRACKSOUND_TIMED) {
    if (m_delay == 0.0f && m_interval == 0.0f)
      Start(true);
    else
      m_timer = m_delay;
  } else if (m_mode == TRACKSOUND_BEFORE_END) {
    m_timer = float(raceMinutes) * 60.0f - m_delay + TRACKSOUND_BEFORE_END_LEAD;
    if (m_timer < 0.0f) m_repeatsLeft = 0;
  }
}

void TrackSoundEvent::Play(float step, bool start, bool loop) {
  if (!m_sample || m_mode > TRACKSOUND_MODE_LAST) return;
  if (m_mode >= TRACKSOUND_GREEN_LIGHT && m_mode <= TRACKSOUND_HUMAN_EVENT) {
    if (start) Start(false);
    return;
  }
  if (m_mode == TRACKSOUND_LOOPABLE) {
    if (start) Start(loop);
    return;
  }
  // Timed modes.
  if (m_delay == 0.0f && m_interval == 0.0f) return;
  if (start) {
    Start(m_interval == 0.0f);
    return;
  }
  if (m_timer < 0.0f) {
    if (m_repeatsLeft > 0 && !IsPlaying()) {
      m_timer = m_interval;
      if (m_node) m_node->m_enabled = 0;
      --m_repeatsLeft;
    }
  } else if (m_repeatsLeft > 0) {
    m_timer -= step;
    if (m_timer < 0.0f) {
      if (m_kind == TRACKSOUND_COMMENTARY && m_owner)
        m_owner->QueueSoundEvent(this);
      else if (m_kind != TRACKSOUND_COMMENTARY)
        Start(m_interval == 0.0f);
    }
  }
}

void TrackSoundEvent::Release() {
  if (m_initialised) Destroy();
}

void TrackSoundEvent::Destroy() {
  if (m_initialised && m_device && m_sample && m_node) {
    m_device->StopLimited(m_sample);
    m_node->Detach();
    m_node->SetSample(nullptr, false);
    delete m_node;
    m_node = nullptr;
  } else if (m_node && !m_device) {
    // Without a sound device no node was built; nothing to undo.
  } else if (m_node) {
    m_node->Detach();
    delete m_node;
    m_node = nullptr;
  }
  std::free(m_name);
  m_name = nullptr;
  m_initialised = 0;
}
