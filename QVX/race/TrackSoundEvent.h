// Track sound events: named samples that a track places at points of its scene with a range
// and a volume, played when a race event fires, after a delay, at intervals, a number of
// times, or shortly before the end of a timed race. Each event owns a 3-D sound-source node
// that carries its sample, so the scene's render-time update positions and pans the voice for
// the listener. The records come from the track settings file (104 bytes each, at most 50).
#pragma once

#include <cstddef>
#include <cstdint>

#include "QVX/race/Track.h"
#include "Zentri/math/VQVector.h"

class VQSoundBuffer;
class VQSoundDevice;
class VQSoundSourceNode;
class TrackSounds;

enum TrackSoundKind : uint32_t {
  TRACKSOUND_AMBIENT = 0,
  TRACKSOUND_COMMENTARY = 1,  // queued so that commentary lines do not overlap
  TRACKSOUND_AMBIENT_B = 2,
  TRACKSOUND_DRY = 3,    // left out when the weather has rain or thunder
  TRACKSOUND_MUSIC = 4,  // no sample of its own: a non-positional node with ten times the range
  TRACKSOUND_CROWD = 5,  // left out when the crowd is off
  TRACKSOUND_KIND_COUNT = 6,
};

enum TrackSoundMode : uint32_t {
  TRACKSOUND_TIMED = 0,         // after a delay, then every interval, a number of times
  TRACKSOUND_BEFORE_END = 1,    // delay seconds before the end of the race length
  TRACKSOUND_GREEN_LIGHT = 2,   // race event 8
  TRACKSOUND_ALL_FINISHED = 3,  // race event 9
  TRACKSOUND_WINNER = 4,        // race event 12 with more than one player
  TRACKSOUND_FINISHER = 5,      // race event 4, neither first nor last
  TRACKSOUND_UNUSED = 6,
  TRACKSOUND_HUMAN_EVENT = 7,  // race event 6 of a human player
  TRACKSOUND_LOOPABLE = 8,     // started with the caller's loop flag
  TRACKSOUND_MODE_LAST = 8,
};

constexpr size_t TRACKSOUND_RECORD_SIZE = 104;
constexpr size_t TRACKSOUND_NAME_FIELD = 64;
constexpr size_t TRACK_SETTINGS_SOUND_COUNT = 1312;
constexpr size_t TRACK_SETTINGS_SOUND_RECORDS = 1316;
constexpr float TRACKSOUND_PRIORITY = 0.5f;
constexpr float TRACKSOUND_BEFORE_END_LEAD = 7.0f;  // seconds added to a before-the-end timer

// One decoded sound-event record. The name has its last four characters replaced by ".vqw".
struct TrackSoundRecord {
  uint32_t kind = 0;
  VQVector position{0, 0, 0};
  float volume = 1.0f;
  float range = 0.0f;
  float delay = 0.0f;
  float interval = 0.0f;
  uint32_t repeatCount = 0;
  uint32_t mode = 0;
  char name[TRACKSOUND_NAME_FIELD + 1] = {};
};

// Decodes one 104-byte record. Negative or non-finite delays, intervals, ranges and volumes
// become 0, so that a bad file cannot make a timer that never runs out.
void TrackSoundRecord_Decode(const uint8_t* record, TrackSoundRecord& out);
// Decodes the sound events of a track settings record of size bytes into out (room for
// TRACK_MAX_SOUND_EVENTS). A count above 50 is cut to 50, and records that would lie beyond
// size are not read. Returns the number decoded.
uint32_t TrackSoundRecord_ReadAll(const uint8_t* settings, size_t size, TrackSoundRecord* out);

class TrackSoundEvent {
 public:
  TrackSoundEvent() = default;
  ~TrackSoundEvent();
  TrackSoundEvent(const TrackSoundEvent&) = delete;
  TrackSoundEvent& operator=(const TrackSoundEvent&) = delete;

  // Copies the name and stores the rest; no sample and no node yet. True.
  bool Init(uint32_t kind, const char* name, const VQVector& position, float range, float volume);
  void SetPlayMode(uint32_t mode, uint32_t unused);
  // Takes the sample from the device's sound cache and builds the node. False without a
  // device, or when the sample cannot be loaded ("Cannot load soundsource sound '%s'" in the
  // game log). The node belongs to the event; its parent is the caller's business.
  bool Load(VQSoundDevice* device);
  // Node gain = volume x own volume (when a node exists).
  void SetVolume(float volume);
  // Race-start preparation; raceMinutes is the race length of the track.
  void PrepareRace(uint32_t raceMinutes);
  // Starts the sound (start set) or advances its timer by step seconds.
  void Play(float step, bool start, bool loop);
  void Release();
  // Removes and deletes the node (stopping its voice); the sample stays in the sound cache.
  void Destroy();
  // True while the sample is in the device's voice limiter.
  bool IsPlaying() const;

  uint32_t m_kind = 0;
  uint32_t m_mode = 0;
  float m_delay = 0.0f;
  float m_interval = 0.0f;
  uint32_t m_repeatCount = 0;
  VQSoundBuffer* m_sample = nullptr;    // the sound cache's; not owned
  VQSoundSourceNode* m_node = nullptr;  // owned
  float m_volume = 1.0f;                // own volume
  uint8_t m_initialised = 0;
  float m_range = 0.0f;
  VQVector m_position{0, 0, 0};
  char* m_name = nullptr;  // owned
  uint32_t m_trigger = 0;
  uint8_t m_triggerFlag = 1;
  float m_timer = 0.0f;
  int32_t m_repeatsLeft = 0;

  // Kept by the track's sound board: the commentary group (commentary only, 0 otherwise),
  // whether the event takes part in this race, the loop flag handed to Play every frame, and
  // the board that queues commentary when a timer runs out (null: played directly).
  uint32_t m_group = 0;
  uint8_t m_attached = 0;
  uint8_t m_loop = 0;
  TrackSounds* m_owner = nullptr;
  VQSoundDevice* m_device = nullptr;

 private:
  void Start(bool loop);
};
