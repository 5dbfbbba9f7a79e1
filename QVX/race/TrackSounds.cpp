#include "QVX/race/TrackSounds.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/scene/VQNodes.h"

TrackSounds::~TrackSounds() {
  // Events own their nodes; the slot nodes belong to the sound group (ClearCollisionSlots).
  DeleteEvents();
  for (auto& s : m_slots)
    if (s.voice && m_device) m_device->DeleteBuffer(s.voice);
}

void TrackSounds::Init(VQSoundDevice* device, VQNode* soundGroup) {
  m_device = device;
  m_group = soundGroup;
}

bool TrackSounds::AddEvent(TrackSoundEvent* event) {
  if (!event || m_eventCount >= TRACK_MAX_SOUND_EVENTS) return false;
  event->m_owner = this;
  m_events[m_eventCount++] = event;
  return true;
}

uint32_t TrackSounds::BuildFromSettings(const uint8_t* settings, size_t size, int32_t gameMode) {
  if (!m_device || !m_group || gameMode == GAMEMODE_SPLIT) return 0;
  TrackSoundRecord records[TRACK_MAX_SOUND_EVENTS];
  const uint32_t count = TrackSoundRecord_ReadAll(settings, size, records);
  uint32_t made = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const TrackSoundRecord& r = records[k];
    auto* e = new (std::nothrow) TrackSoundEvent();
    if (!e) break;
    e->Init(r.kind, r.name, r.position, r.range, r.volume);
    e->SetPlayMode(r.mode, 0);
    e->m_delay = r.delay;
    e->m_interval = r.interval;
    e->m_repeatCount = r.repeatCount;
    if (!e->Load(m_device) || !AddEvent(e)) {
      delete e;
      continue;
    }
    if (e->m_node) m_group->AddChild(e->m_node);
    ++made;
  }
  AssignCommentaryGroups();
  return made;
}

void TrackSounds::AssignCommentaryGroups() {
  uint32_t next = 1;
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    TrackSoundEvent* e = m_events[i];
    if (e->m_kind != TRACKSOUND_COMMENTARY) {
      e->m_group = 0;
      continue;
    }
    bool found = false;
    for (uint32_t j = 0; j < i; ++j) {
      const TrackSoundEvent* o = m_events[j];
      if (e->m_name && o->m_name && strcasecmp(e->m_name, o->m_name) == 0) {
        e->m_group = o->m_kind == TRACKSOUND_COMMENTARY ? o->m_group : 0;
        found = true;
        break;
      }
    }
    if (!found) e->m_group = next++;
  }
}

void TrackSounds::DeleteEvents() {
  for (uint32_t i = 0; i < m_eventCount; ++i) delete m_events[i];
  m_eventCount = 0;
  m_queueCount = 0;
}

bool TrackSounds::QueueSoundEvent(TrackSoundEvent* event) {
  if (!event || m_queueCount >= TRACKSOUND_QUEUE_SIZE) return false;
  for (uint32_t i = m_queueCount; i > 0; --i) m_queue[i] = m_queue[i - 1];
  m_queue[0] = event;
  ++m_queueCount;
  return true;
}

void TrackSounds::UpdateCommentary() {
  if (m_queueCount == 0) return;
  const uint32_t group = m_queue[m_queueCount - 1]->m_group;
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    const TrackSoundEvent* e = m_events[i];
    if (e->m_kind == TRACKSOUND_COMMENTARY && e->m_group != group && e->IsPlaying()) return;
  }
  // From the back (oldest) to the front: every entry of the group plays and leaves the queue.
  uint32_t kept = 0;
  TrackSoundEvent* remaining[TRACKSOUND_QUEUE_SIZE];
  TrackSoundEvent* toPlay[TRACKSOUND_QUEUE_SIZE];
  uint32_t playCount = 0;
  for (uint32_t i = 0; i < m_queueCount; ++i) {
    if (m_queue[i]->m_group == group)
      toPlay[playCount++] = m_queue[i];
    else
      remaining[kept++] = m_queue[i];
  }
  for (uint32_t i = 0; i < kept; ++i) m_queue[i] = remaining[i];
  m_queueCount = kept;
  for (uint32_t i = playCount; i > 0; --i) toPlay[i - 1]->Play(0.0f, true, false);
}

void TrackSounds::FireMode(uint32_t mode) {
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    TrackSoundEvent* e = m_events[i];
    if (e->m_mode != mode || !e->m_attached) continue;
    if (e->m_kind == TRACKSOUND_COMMENTARY)
      QueueSoundEvent(e);
    else
      e->Play(0.0f, true, false);
  }
}

void TrackSounds::OnRaceEvent(uint32_t event, bool human, uint32_t argument, uint32_t playerCount) {
  switch (event) {
    case TRACKEVENT_CAR_FINISHED:
      if (argument != 1 && argument != playerCount) FireMode(TRACKSOUND_FINISHER);
      break;
    case TRACKEVENT_PLAYER_EVENT:
      if (human) FireMode(TRACKSOUND_HUMAN_EVENT);
      break;
    case TRACKEVENT_GREEN_LIGHT: FireMode(TRACKSOUND_GREEN_LIGHT); break;
    case TRACKEVENT_ALL_FINISHED: FireMode(TRACKSOUND_ALL_FINISHED); break;
    case TRACKEVENT_WINNER:
      if (playerCount > 1) FireMode(TRACKSOUND_WINNER);
      break;
    default: break;  // the lap line moves cameras, which is the track's business
  }
}

void TrackSounds::StartRaceSounds(const TrackSoundRaceSetup& setup, VQNode* crowdNode) {
  const bool practice = setup.gameMode == GAMEMODE_PRACTICE;
  m_crowdOn = (!practice && setup.crowd) ? 1 : 0;
  if (crowdNode) crowdNode->m_enabled = m_crowdOn;
  m_queueCount = 0;
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    TrackSoundEvent* e = m_events[i];
    bool attach = m_device != nullptr;
    if (practice && (e->m_kind == TRACKSOUND_AMBIENT || e->m_kind == TRACKSOUND_COMMENTARY))
      attach = false;
    if (setup.rainOrThunder && e->m_kind == TRACKSOUND_DRY) attach = false;
    if (!m_crowdOn && e->m_kind == TRACKSOUND_CROWD) attach = false;
    if (attach && !e->m_node) attach = e->Load(m_device);
    if (attach) {
      if (m_group && e->m_node && e->m_node->m_parent != m_group) {
        e->m_node->Detach();
        m_group->AddChild(e->m_node);
      }
      e->m_attached = 1;
      e->PrepareRace(setup.raceMinutes);
    } else {
      // An event left out of this race must not go on sounding from the last one.
      if (e->m_sample && m_device) m_device->StopLimited(e->m_sample);
      if (e->m_node) {
        e->m_node->m_enabled = 0;
        e->m_node->m_playing = 0;
        e->m_node->Detach();
      }
      e->m_attached = 0;
    }
  }
  for (auto& s : m_slots) s.stopMark = 0;
}

void TrackSounds::UpdateEvents(float step) {
  for (uint32_t i = 0; i < m_eventCount; ++i)
    if (m_events[i]->m_attached) m_events[i]->Play(step, false, m_events[i]->m_loop != 0);
}

void TrackSounds::SetMusicVolume(float v) {
  for (uint32_t i = 0; i < m_eventCount; ++i)
    if (m_events[i]->m_kind == TRACKSOUND_MUSIC) m_events[i]->SetVolume(v);
}

void TrackSounds::SetAmbientVolume(float v) {
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    const uint32_t k = m_events[i]->m_kind;
    if (k == TRACKSOUND_AMBIENT || k == TRACKSOUND_AMBIENT_B || k == TRACKSOUND_DRY ||
        k == TRACKSOUND_CROWD)
      m_events[i]->SetVolume(v);
  }
}

void TrackSounds::SetCommentaryVolume(float v) {
  for (uint32_t i = 0; i < m_eventCount; ++i)
    if (m_events[i]->m_kind == TRACKSOUND_COMMENTARY) m_events[i]->SetVolume(v);
}

bool TrackSounds::PlayMusicSample(VQSoundBuffer* sample) {
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    TrackSoundEvent* e = m_events[i];
    if (e->m_kind != TRACKSOUND_MUSIC) continue;
    if (!e->m_node || !sample) return false;
    e->m_node->m_gain = 1.0f;
    e->m_node->m_volume = 1.0f;
    e->m_node->SetSample(sample, false);
    e->m_sample = sample;
    sample->m_loop = 0;
    if (m_device) m_device->PlayLimited(sample, 0, TRACKSOUND_PRIORITY);
    e->m_node->m_enabled = 1;
    return true;
  }
  return false;
}

bool TrackSounds::CreateCollisionSlots() {
  if (!m_device || !m_group) return false;
  for (uint32_t i = 0; i < TRACKSOUND_COLLISION_SLOTS; ++i) {
    if (m_slots[i].node) continue;
    auto* node = new (std::nothrow) VQSoundSourceNode(0);
    if (!node) return false;
    char name[16];
    std::snprintf(name, sizeof name, "collsound%u", i);
    node->SetName(name);
    node->SetPosition(VQVector(0, 0, 0), 0.0f, 0.0f);
    if (!m_group->AddChild(node)) {
      delete node;
      return false;
    }
    m_slots[i].node = node;
    m_slotCount = i + 1;
  }
  return true;
}

void TrackSounds::SetCollisionSoundParameters(float minimumSpeed, float baseGain,
                                              float gainPerSpeed) {
  m_minimumSpeed = minimumSpeed;
  m_baseGain = baseGain;
  m_gainPerSpeed = gainPerSpeed;
}

namespace {
void MarkStop(VQSoundBuffer*, uintptr_t context) { *reinterpret_cast<uint8_t*>(context) = 1; }
}  // namespace

bool TrackSounds::StartCollisionVoice(VQSoundBuffer* sample, const VQVector& point, float gain,
                                      float master, uint32_t owner) {
  for (uint32_t i = 0; i < m_slotCount; ++i) {
    TrackCollisionSlot& s = m_slots[i];
    if (!s.node || s.voice) continue;
    VQSoundBuffer* voice = m_device->DuplicateBuffer(sample);
    if (!voice) return false;
    s.voice = voice;
    s.stopMark = 0;
    voice->m_loop = 0;
    voice->m_endCallback = MarkStop;
    voice->m_endContext = reinterpret_cast<uintptr_t>(&s.stopMark);
    s.node->SetSample(voice, false);
    s.node->SetPosition(point, TRACKSOUND_COLLISION_RANGE * master,
                        TRACKSOUND_COLLISION_RANGE * master);
    s.node->m_gain = gain;
    s.node->m_volume = gain;
    s.node->m_enabled = 1;
    voice->SetVolume(gain);
    m_device->PlayLimited(voice, 0, TRACKSOUND_PRIORITY);
    s.owner = owner;
    return true;
  }
  return false;
}

uint32_t TrackSounds::OnContact(float v, const VQVector& point, VQSoundBuffer* sampleA,
                                VQSoundBuffer* sampleB, bool secondIsCar, float carsVolume,
                                float master, float factor, uint32_t owner) {
  const float speed = std::fabs(v);
  if (!(speed >= m_minimumSpeed) || !m_device || !sampleA) return 0;
  const float gain = std::min(1.0f, speed * m_gainPerSpeed + m_baseGain) *
                     (1.0f - (1.0f - carsVolume) * 0.75f) * factor;
  uint32_t started = StartCollisionVoice(sampleA, point, gain, master, owner) ? 1 : 0;
  if (sampleB && !secondIsCar && StartCollisionVoice(sampleB, point, gain, master, owner))
    ++started;
  return started;
}

void TrackSounds::UpdateCollisionSlots() {
  if (!m_device) return;
  for (auto& s : m_slots) {
    if (!s.stopMark) continue;
    if (s.node) {
      s.node->SetSample(nullptr, false);
      s.node->m_enabled = 0;
    }
    if (s.voice) m_device->DeleteBuffer(s.voice);
    s.voice = nullptr;
    s.stopMark = 0;
    s.owner = 0;
  }
}

void TrackSounds::ClearCollisionSlots() {
  for (auto& s : m_slots) {
    if (s.voice && m_device) {
      if (s.node) s.node->SetSample(nullptr, false);
      m_device->DeleteBuffer(s.voice);
    }
    s = TrackCollisionSlot();
  }
  m_slotCount = 0;
}

void TrackSounds::EnableCollisionSoundsOf(uint32_t owner) {
  for (auto& s : m_slots)
    if (s.node) s.node->m_enabled = s.owner == owner ? 1 : 0;
}

void TrackSounds::StopAllSounds() {
  if (!m_device) return;
  for (auto& s : m_slots) {
    if (!s.voice) continue;
    if (s.node) s.node->SetSample(nullptr, false);
    m_device->DeleteBuffer(s.voice);
    s.voice = nullptr;
    s.stopMark = 0;
    s.owner = 0;
  }
  for (uint32_t i = 0; i < m_eventCount; ++i) {
    TrackSoundEvent* e = m_events[i];
    if (e->m_sample) m_device->StopLimited(e->m_sample);
    if (e->m_node) {
      e->m_node->m_playing = 0;
      e->m_node->m_enabled = 0;
    }
  }
}
