// The sounds of one race on a loaded track: the track's sound board (TrackSounds) built from the
// sound events of its settings record, started for each race, fed the race events and stepped
// every frame; the start beeps of the countdown; and the collision sounds of the materials,
// played when a car's contact sphere strikes the track or another car.
//
// A RaceSession with a sound device owns one (RaceSession::GetSounds). What is heard of the
// positional sounds depends on the views: a sound-source node sets its voice's volume and pan for
// the camera that renders it, so the crowd and the collisions are heard near the camera only.
// The beeps are not positional.
//
// Release (or the destructor) must run before the track unloads: the event nodes sit in the
// track's scene.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QVX/race/TrackSounds.h"
#include "Zentri/collision/VQCollisionWorld.h"

class Track;
class TrackRacer;
class VQSoundBuffer;
class VQSoundDevice;
class VQVehicleModel;
struct CollisionMaterial;

constexpr const char* RACESOUND_BEEP_READY = "fx_beep_ready.vqw";
constexpr const char* RACESOUND_BEEP_GO = "fx_beep_go.vqw";
// The countdown values of the track's start sequence: 0 to 4 count down, 5 is the green light.
constexpr int32_t RACESOUND_COUNTDOWN_GO = 5;

struct RaceSoundsSetup {
  int32_t gameMode = GAMEMODE_SINGLE;
  // The folder of the rain and thunder files ("<name>.vqw"); the track events and the beeps come
  // from the sound device's cache, whose folder is the caller's business.
  std::string audioFolder;
  // The collision materials of the track's collision world (the table TrackServices names);
  // null: no collision sounds.
  const std::vector<CollisionMaterial>* materials = nullptr;
  // The material whose sample a car's own contact spheres sound with (index into materials).
  uint32_t carMaterial = 0;
  float volumeCars = 1.0f, volumeAmbient = 1.0f, volumeCommentary = 1.0f, volumeMaster = 1.0f;
};

class RaceSounds {
 public:
  RaceSounds() = default;
  ~RaceSounds();
  RaceSounds(const RaceSounds&) = delete;
  RaceSounds& operator=(const RaceSounds&) = delete;

  // Builds the board of a loaded track: one event per sound-event record (events whose sample
  // cannot be loaded are left out), the ten collision slots under the track's "g_soundsources"
  // group, the materials' collision samples, and the contact callback of the track's collision
  // world. False without a device, a loaded track or its sound group.
  bool Init(Track* track, VQSoundDevice* device, const RaceSoundsSetup& setup);
  void Release();

  // Before each race, after the track's race preparation: which events take part (crowd, rain),
  // their timers, the volumes.
  void StartRace();
  // New volumes (as in the setup): the track's events change at once, the collisions and the
  // beeps from their next sound on.
  void SetVolumes(float cars, float ambient, float commentary, float master);
  // A race event of the track (events 4, 6, 8, 9 and 12 start the events of their play modes).
  void OnRaceEvent(int32_t event, TrackRacer* racer, int32_t argument);
  // Once a frame after the track's race update: the events' timers, the commentary queue, the
  // finished collision voices, the countdown beeps.
  void Update(float step);

  // The contact callback of the collision world (user word: this object).
  static void OnContact(VQVehicleModel* body, VQVehicleModel* other, const VQContactMaterial* own,
                        const VQContactMaterial* otherMaterial, const VQVector& point,
                        const VQVector& normalVelocity, uintptr_t user);

  // The view that shows a car (1 the first, 2 the second; 0 none): a collision sound the car
  // causes carries it, so that in a split screen each view plays the sounds of its own car
  // (TrackSounds::EnableCollisionSoundsOf). A view of 0 forgets the car.
  void SetCarView(const VQVehicleModel* body, uint32_t view);
  uint32_t CarView(const VQVehicleModel* body) const;
  void ClearCarViews() { m_carViews.clear(); }

  TrackSounds& Board() { return m_board; }
  VQSoundDevice* Device() const { return m_device; }
  const std::string& AudioFolder() const { return m_setup.audioFolder; }
  // How many beeps and collision voices were started since Init (for the log and tests).
  uint32_t BeepCount() const { return m_beeps; }
  uint32_t CollisionCount() const { return m_collisions; }

 private:
  // The material a contact material stands for: a track material by its place in the track's
  // contact table, anything else the cars' material (also no material at all on a car's side).
  // -1: none.
  int32_t MaterialIndex(const VQContactMaterial* m, bool car) const;
  void Beep(VQSoundBuffer* sample);

  Track* m_track = nullptr;
  VQSoundDevice* m_device = nullptr;
  RaceSoundsSetup m_setup;
  TrackSounds m_board;
  std::vector<VQSoundBuffer*> m_materialSamples;  // from the cache, one per material (or null)
  VQSoundBuffer* m_beepReady = nullptr;
  VQSoundBuffer* m_beepGo = nullptr;
  int32_t m_lastCountdown = -1;
  uint32_t m_beeps = 0;
  uint32_t m_collisions = 0;
  bool m_callbackSet = false;
  struct CarViewTag {
    const VQVehicleModel* body;
    uint32_t view;
  };
  std::vector<CarViewTag> m_carViews;
};
