// The race tracker: follows every car of a race over the track's checkpoint lines, counts laps,
// measures lap times in hundredths, keeps each car's best lap and last ten laps, works out the
// running order twice a second and the finish order. It raises race events through a callback
// and asks the track (the lap callback) whether a completed lap counts and whether the car has
// finished. All checkpoint geometry lies in the ground plane (x, y).
#pragma once

#include <cstdint>

#include "QVX/race/TrackRacer.h"

// One checkpoint line, built by the track from its meta markers.
struct TrackCheckpoint {
  uint32_t kind = 0;     // 1 start line, 0 plain, 2 a marker name with a suffix
  float a[2] = {};       // end point A (x, y)
  float b[2] = {};       // end point B (x, y)
  float box[4] = {};     // min x, min y, max x, max y of A and B
  uint32_t segment = 0;  // computer-driver line 0 segment the line crosses, and where
  float fraction = 0.0f;

  void SetEnds(float ax, float ay, float bx, float by);
};

constexpr uint32_t TRACKER_MAX_LAPS_KEPT = 10;
constexpr uint32_t TRACKER_HISTORY = 20;
constexpr uint32_t TRACKER_MAX_CHECKPOINTS = 16;

// Race events raised by the tracker and the track's race update.
enum RaceEvent : int32_t {
  RACE_EVENT_LAP = 0,         // a counted start-line crossing (argument 0)
  RACE_EVENT_CHECKPOINT = 1,  // any checkpoint line crossed (its index)
  RACE_EVENT_MISSED = 2,      // checkpoint i crossed while i - 1 was not (i)
  RACE_EVENT_FINISHED = 4,    // a car finished (its position)
  RACE_EVENT_LAP_RECORD = 6,  // a player beat the lap record of the track (the lap in hundredths)
  RACE_EVENT_LONG_LAP = 7,    // the lap time reached 100 s
  RACE_EVENT_GREEN = 8,       // green light
  RACE_EVENT_ALL_FINISHED = 9,
  RACE_EVENT_LEADER = 10,  // a human driver became the leader (1)
  RACE_EVENT_WINNER = 12,  // the winner crossed the line (1)
};

struct RaceTrackerEntry {
  TrackRacer* car = nullptr;
  float lapTime = 0, lapStart = 0, carRaceTime = 0, carStart = 0;
  uint32_t laps = 0;
  uint32_t lapCount = 0;  // entries of lastLaps, at most 10
  LapTime lastLaps[TRACKER_MAX_LAPS_KEPT];
  LapTime bestLap;
  uint8_t* flags = nullptr;  // one per checkpoint, owned
  uint32_t history[TRACKER_HISTORY] = {};
  uint32_t crossings = 0;
  uint8_t lapStarted = 0;
  uint32_t position = 0;
  uint8_t finished = 0;
  uint32_t finishKey = 0;
};

// (entry, new best, missed, lap time or null on the first crossing, lap flag, user, out finished)
using RaceLapCallback = bool (*)(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                                 const LapTime* lapTime, uint32_t lapFlag, void* user,
                                 uint8_t* finished);
// (event, racer, argument, user)
using RaceEventCallback = void (*)(int32_t event, TrackRacer* racer, int32_t argument, void* user);

class RaceTracker {
 public:
  // capacity entries; the checkpoints stay the caller's (count at most 16 is used).
  RaceTracker(uint32_t capacity, TrackCheckpoint* const* checkpoints, uint32_t checkpointCount,
              uint8_t initialLapStarted);
  ~RaceTracker();
  RaceTracker(const RaceTracker&) = delete;
  RaceTracker& operator=(const RaceTracker&) = delete;

  // False when full (or out of memory): the car then races untracked.
  bool AddCar(TrackRacer* car);
  void RemoveCarAt(uint32_t index);
  void RemoveCar(TrackRacer* car);
  void ResetAll();
  void ResetEntry(uint32_t index);
  void Start(float time);
  void Stop() { m_running = 0; }
  void Update(float time);

  RaceTrackerEntry* FindEntry(const TrackRacer* car) const;
  RaceTrackerEntry* FindEntryByPosition(uint32_t position) const;
  double GetBestLapTime(const TrackRacer* car) const;

  // Whether the move from previous to current crosses the checkpoint line (x, y only).
  static bool CrossesCheckpoint(const TrackCheckpoint& c, const VQVector& previous,
                                const VQVector& current);

  void SetLapCallback(RaceLapCallback callback, void* user) {
    m_lapCallback = callback;
    m_lapUser = user;
  }
  void SetEventCallback(RaceEventCallback callback, void* user) {
    m_eventCallback = callback;
    m_eventUser = user;
  }

  uint8_t m_running = 0;
  float m_raceTime = 0.0f;
  float m_startTime = 0.0f;
  uint32_t m_count = 0;
  uint32_t m_capacity = 0;
  RaceTrackerEntry** m_entries = nullptr;
  uint32_t m_checkpointCount = 0;
  TrackCheckpoint* const* m_checkpoints = nullptr;
  uint8_t m_initialLapStarted = 0;
  float m_interval = 0.5f;
  float m_accumulator = 0.0f;
  RaceTrackerEntry** m_standings = nullptr;
  uint32_t* m_keys = nullptr;
  uint32_t m_positionBase = 0;
  uint32_t m_finishCounter = 0;

 private:
  void Raise(int32_t event, RaceTrackerEntry* entry, int32_t argument);
  void ComputeStandings();

  RaceLapCallback m_lapCallback = nullptr;
  void* m_lapUser = nullptr;
  RaceEventCallback m_eventCallback = nullptr;
  void* m_eventUser = nullptr;
};
