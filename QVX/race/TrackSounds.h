// The track's sound board: which of its sound events play when. Race events start the events
// whose play mode matches, commentary waits in a queue of at most 20 so that lines of different
// groups never overlap, volume settings are applied per sound kind, and car contacts play
// short collision sounds on ten reusable sound-source nodes. The Track owns one board and
// forwards its race events, volume settings and contacts to it. On unload the track deletes the
// events and clears the collision slots before it destroys the scene that holds their nodes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "QVX/race/RaceField.h"
#include "QVX/race/TrackSoundEvent.h"

class VQNode;
class VQSoundBuffer;
class VQSoundDevice;
class VQSoundSourceNode;

constexpr uint32_t TRACKSOUND_QUEUE_SIZE = 20;
constexpr uint32_t TRACKSOUND_COLLISION_SLOTS = 10;
constexpr float TRACKSOUND_COLLISION_RANGE = 35.0f;

// Race events the board reacts to (raised by the race tracker and the track's race update).
enum TrackRaceEvent : uint32_t {
  TRACKEVENT_LAP_LINE = 0,
  TRACKEVENT_CAR_FINISHED = 4,
  TRACKEVENT_PLAYER_EVENT = 6,
  TRACKEVENT_GREEN_LIGHT = 8,
  TRACKEVENT_ALL_FINISHED = 9,
  TRACKEVENT_WINNER = 12,
};

// What the race start needs to know of the race and the weather.
struct TrackSoundRaceSetup {
  int32_t gameMode = GAMEMODE_SINGLE;
  bool crowd = true;           // the weather config's crowd flag
  bool rainOrThunder = false;  // the chosen weather has rain or thunder
  uint32_t raceMinutes = 3;
};

struct TrackCollisionSlot {
  VQSoundSourceNode* node = nullptr;  // under the sound-source group, which owns it
  VQSoundBuffer* voice = nullptr;     // a duplicate of a material sample; owned
  uint8_t stopMark = 0;               // set when the voice ends
  uint32_t owner = 0;                 // view identifier of the car that caused it (0: none)
};

class TrackSounds {
 public:
  TrackSounds() = default;
  ~TrackSounds();
  TrackSounds(const TrackSounds&) = delete;
  TrackSounds& operator=(const TrackSounds&) = delete;

  // The device (may be null: no sound) and the "g_soundsources" group that holds the nodes.
  void Init(VQSoundDevice* device, VQNode* soundGroup);

  // Takes the event over; false (the caller keeps it) when 50 are held.
  bool AddEvent(TrackSoundEvent* event);
  // Builds the events of a track settings record: each is initialised, loaded and added;
  // one that fails to load is dropped. Commentary groups are assigned. None are built without
  // a device or sound group, or in the two-player split-screen mode. Returns how many.
  uint32_t BuildFromSettings(const uint8_t* settings, size_t size, int32_t gameMode);
  // Commentary events get the group of the first earlier event with the same sample name
  // (ignoring case; 0 when that event is not commentary), else the next free group from 1.
  void AssignCommentaryGroups();
  void DeleteEvents();

  // Puts an event at the front of the commentary queue; false when 20 are queued.
  bool QueueSoundEvent(TrackSoundEvent* event);
  // Plays the oldest queued group once no commentary of another group is playing.
  void UpdateCommentary();
  // Commentary events of the mode are queued, the others played at once.
  void FireMode(uint32_t mode);
  // Reacts to a race event: human tells whether the player is a human driver, argument is the
  // event's argument (a finishing position), playerCount the players on the track.
  void OnRaceEvent(uint32_t event, bool human, uint32_t argument, uint32_t playerCount);

  // Race start: empties the queue; crowd events are left out in practice or with the crowd
  // off, kinds 0 and 1 in practice, kind 3 in rain or thunder; the others get their node into
  // the sound group. Then every event is prepared for the race. crowdNode ("g_publiek") is
  // disabled when the crowd is off (may be null).
  void StartRaceSounds(const TrackSoundRaceSetup& setup, VQNode* crowdNode);
  // Every attached event's timer, once a frame.
  void UpdateEvents(float step);

  // Volume per kind: music (4), ambient (0, 2, 3, 5), commentary (1).
  void SetMusicVolume(float v);
  void SetAmbientVolume(float v);
  void SetCommentaryVolume(float v);
  // Plays a sample on the first music event (node gain 1.0, played once); false without one.
  bool PlayMusicSample(VQSoundBuffer* sample);

  // Collision sounds.
  bool CreateCollisionSlots();
  void SetCollisionSoundParameters(float minimumSpeed, float baseGain, float gainPerSpeed);
  // A contact of impact speed v at a point: the first material's sample, then the second's
  // unless the second body is a car, each on the first free slot. carsVolume and master are
  // the volume settings; factor is the contact's own gain factor. Returns the voices started.
  uint32_t OnContact(float v, const VQVector& point, VQSoundBuffer* sampleA, VQSoundBuffer* sampleB,
                     bool secondIsCar, float carsVolume, float master, float factor,
                     uint32_t owner);
  // Drops every voice whose end was marked (once a frame).
  void UpdateCollisionSlots();
  // Each slot is enabled when its owner equals owner, else disabled (split-screen sound).
  void EnableCollisionSoundsOf(uint32_t owner);
  // Every slot drops its voice; every event stops.
  void StopAllSounds();
  // Drops the voices and forgets the slot nodes, which go with the scene (track unload).
  void ClearCollisionSlots();

  uint32_t m_eventCount = 0;
  TrackSoundEvent* m_events[TRACK_MAX_SOUND_EVENTS] = {};
  uint32_t m_queueCount = 0;
  TrackSoundEvent* m_queue[TRACKSOUND_QUEUE_SIZE] = {};  // front = newest
  TrackCollisionSlot m_slots[TRACKSOUND_COLLISION_SLOTS];
  uint32_t m_slotCount = 0;
  float m_minimumSpeed = 0.5f, m_baseGain = 0.1f, m_gainPerSpeed = 0.2f;
  VQSoundDevice* m_device = nullptr;
  VQNode* m_group = nullptr;
  uint8_t m_crowdOn = 1;

 private:
  bool StartCollisionVoice(VQSoundBuffer* sample, const VQVector& point, float gain, float master,
                           uint32_t owner);
};
