#include "QVX/race/RaceSounds.h"

#include <cmath>
#include <cstddef>
#include <new>

#include "QVX/race/Track.h"
#include "QVX/shell/Content.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/scene/VQNodes.h"

namespace {

// The weather config's crowd flag (the byte that also carries the second map).
constexpr size_t kWeatherCrowdFlag = 92;

}  // namespace

RaceSounds::~RaceSounds() { Release(); }

bool RaceSounds::Init(Track* track, VQSoundDevice* device, const RaceSoundsSetup& setup) {
  Release();
  if (!track || !device || !track->IsLoaded() || !track->m_soundSources) return false;
  m_track = track;
  m_device = device;
  m_setup = setup;
  m_board.Init(device, track->m_soundSources);
  if (setup.gameMode != GAMEMODE_SPLIT) {
    for (uint32_t k = 0; k < track->m_soundEventCount; ++k) {
      const TrackSoundEventRecord& r = track->m_soundEvents[k];
      auto* e = new (std::nothrow) TrackSoundEvent();
      if (!e) break;
      e->Init(r.kind, r.sound, r.position, r.range, r.volume);
      e->SetPlayMode(r.playMode, 0);
      e->m_delay = std::isfinite(r.delay) && r.delay > 0.0f ? r.delay : 0.0f;
      e->m_interval = std::isfinite(r.interval) && r.interval > 0.0f ? r.interval : 0.0f;
      e->m_repeatCount = r.repeat;
      e->m_group = r.group;
      if (!e->Load(device) || !m_board.AddEvent(e)) {
        delete e;
        continue;
      }
      if (e->m_node) track->m_soundSources->AddChild(e->m_node);
    }
  }
  m_board.CreateCollisionSlots();
  // Sounds are heard whichever way the camera looks, and the collision sounds move about: the
  // group is never culled against the camera.
  track->m_soundSources->m_record.m_cull = 0;
  // The nodes added leave the stored bounding spheres above them stale; a stale sphere would
  // cull the whole track away.
  if (track->m_scene) track->m_scene->GetBoundingSphere();
  if (setup.materials) {
    m_materialSamples.assign(setup.materials->size(), nullptr);
    for (size_t i = 0; i < setup.materials->size(); ++i) {
      const CollisionMaterial& m = (*setup.materials)[i];
      if (m.soundName[0] && device->m_cache)
        m_materialSamples[i] = device->m_cache->Load(m.soundName, true);
    }
  }
  if (device->m_cache) {
    m_beepReady = device->m_cache->Load(RACESOUND_BEEP_READY, true);
    m_beepGo = device->m_cache->Load(RACESOUND_BEEP_GO, true);
  }
  if (track->m_world && !track->m_world->m_contactCallback) {
    track->m_world->m_contactCallback = &RaceSounds::OnContact;
    track->m_world->m_userWord = reinterpret_cast<uintptr_t>(this);
    m_callbackSet = true;
  }
  return true;
}

void RaceSounds::Release() {
  if (m_callbackSet && m_track && m_track->m_world &&
      m_track->m_world->m_contactCallback == &RaceSounds::OnContact) {
    m_track->m_world->m_contactCallback = nullptr;
    m_track->m_world->m_userWord = 0;
  }
  m_callbackSet = false;
  if (m_device) {
    m_board.StopAllSounds();
    // The events' samples came from the cache: they go back to it with the events.
    std::vector<VQSoundBuffer*> samples;
    for (uint32_t i = 0; i < m_board.m_eventCount; ++i)
      if (m_board.m_events[i]->m_sample) samples.push_back(m_board.m_events[i]->m_sample);
    m_board.DeleteEvents();
    m_board.ClearCollisionSlots();
    VQSoundManager* cache = m_device->m_cache;
    for (VQSoundBuffer* b : m_materialSamples) samples.push_back(b);
    samples.push_back(m_beepReady);
    samples.push_back(m_beepGo);
    for (VQSoundBuffer* b : samples) {
      if (!b) continue;
      m_device->StopLimited(b);
      if (!cache || !cache->Release(b)) m_device->DeleteBuffer(b);
    }
  }
  m_materialSamples.clear();
  m_carViews.clear();
  m_beepReady = m_beepGo = nullptr;
  m_board.Init(nullptr, nullptr);
  m_track = nullptr;
  m_device = nullptr;
  m_lastCountdown = -1;
}

void RaceSounds::StartRace() {
  if (!m_track || !m_device) return;
  const Track& t = *m_track;
  TrackSoundRaceSetup s;
  s.gameMode = m_setup.gameMode;
  s.crowd = !t.m_weatherConfig || t.m_weatherConfig[kWeatherCrowdFlag] != 0;
  s.rainOrThunder = t.m_rainConfig != nullptr || t.m_thunderCount > 0;
  s.raceMinutes = t.m_raceLength;
  VQNode* crowd = t.m_scene ? t.m_scene->FindByName("g_publiek") : nullptr;
  const float master = m_setup.volumeMaster;
  m_board.SetAmbientVolume(m_setup.volumeAmbient * master);
  m_board.SetCommentaryVolume(m_setup.volumeCommentary * master);
  m_board.SetMusicVolume(master);
  m_board.StartRaceSounds(s, crowd);
  m_lastCountdown = t.m_countdownImage;
}

void RaceSounds::SetVolumes(float cars, float ambient, float commentary, float master) {
  m_setup.volumeCars = cars;
  m_setup.volumeAmbient = ambient;
  m_setup.volumeCommentary = commentary;
  m_setup.volumeMaster = master;
  if (!m_track || !m_device) return;
  m_board.SetAmbientVolume(ambient * master);
  m_board.SetCommentaryVolume(commentary * master);
  m_board.SetMusicVolume(master);
}

void RaceSounds::OnRaceEvent(int32_t event, TrackRacer* racer, int32_t argument) {
  if (!m_track) return;
  const bool human = racer && racer->GetDriverType() != TRACK_DRIVER_COMPUTER;
  m_board.OnRaceEvent(uint32_t(event), human, uint32_t(argument), m_track->m_playerCount);
}

void RaceSounds::Beep(VQSoundBuffer* sample) {
  if (!sample) return;
  m_device->StopLimited(sample);
  sample->SetVolume(m_setup.volumeAmbient * m_setup.volumeMaster);
  if (m_device->PlayLimited(sample, 0, TRACKSOUND_PRIORITY)) ++m_beeps;
}

void RaceSounds::Update(float step) {
  if (!m_track || !m_device) return;
  m_board.UpdateCollisionSlots();
  m_board.UpdateEvents(step);
  m_board.UpdateCommentary();
  // A beep for each new number of the countdown and a longer one for the green light.
  const int32_t c = m_track->m_countdownImage;
  if (c != m_lastCountdown && c >= 0) Beep(c == RACESOUND_COUNTDOWN_GO ? m_beepGo : m_beepReady);
  m_lastCountdown = c;
}

int32_t RaceSounds::MaterialIndex(const VQContactMaterial* m, bool car) const {
  if (!m_setup.materials) return -1;
  const std::vector<VQContactMaterial>& contacts = m_track->m_contacts;
  if (!contacts.empty() && m >= contacts.data() && m < contacts.data() + contacts.size()) {
    const size_t i = size_t(m - contacts.data());
    return i < m_setup.materials->size() ? int32_t(i) : -1;
  }
  if (!m && !car) return -1;
  return m_setup.carMaterial < m_setup.materials->size() ? int32_t(m_setup.carMaterial) : -1;
}

void RaceSounds::SetCarView(const VQVehicleModel* body, uint32_t view) {
  if (!body) return;
  for (size_t i = 0; i < m_carViews.size(); ++i)
    if (m_carViews[i].body == body) {
      if (view)
        m_carViews[i].view = view;
      else
        m_carViews.erase(m_carViews.begin() + std::ptrdiff_t(i));
      return;
    }
  if (view) m_carViews.push_back({body, view});
}

uint32_t RaceSounds::CarView(const VQVehicleModel* body) const {
  for (const CarViewTag& c : m_carViews)
    if (c.body == body) return c.view;
  return 0;
}

void RaceSounds::OnContact(VQVehicleModel* body, VQVehicleModel* other, const VQContactMaterial* own,
                           const VQContactMaterial* otherMaterial, const VQVector& point,
                           const VQVector& normalVelocity, uintptr_t user) {
  auto* self = reinterpret_cast<RaceSounds*>(user);
  if (!self || !self->m_track || !self->m_device) return;
  const int32_t first = self->MaterialIndex(own, true);
  const int32_t second = self->MaterialIndex(otherMaterial, other != nullptr);
  VQSoundBuffer* sampleA = first >= 0 ? self->m_materialSamples[size_t(first)] : nullptr;
  VQSoundBuffer* sampleB = second >= 0 ? self->m_materialSamples[size_t(second)] : nullptr;
  if (!sampleA) return;
  const float factor = first >= 0 ? (*self->m_setup.materials)[size_t(first)].soundGain : 1.0f;
  const float v = float(normalVelocity.Length());
  self->m_collisions += self->m_board.OnContact(
      v, point, sampleA, sampleB, other != nullptr, self->m_setup.volumeCars,
      self->m_setup.volumeMaster, factor > 0.0f ? factor : 1.0f, self->CarView(body));
}
