// A driver's records per (class, track): the best lap (100.0 s means none) and the list of the
// last race times whose average is the driver's reference time for choosing opponents.
#pragma once

#include <cstdint>

constexpr float RECORD_NO_LAP = 100.0f;     // the default lap record: none set yet
constexpr float RECORD_EMPTY_RACE = 50.0f;  // reference time of an empty race-time list
constexpr int32_t RECORD_RACE_LIST = 5;     // room in a race-time list

enum LapRecordResult : int32_t {
  LAPRECORD_NONE = 0,   // slower than the record: kept
  LAPRECORD_FIRST = 1,  // first lap under the default: set without a notice
  LAPRECORD_NEW = 2,    // beat a real record: the shell is told and message 204 shows
};

// Average of the list's `length` entries (1..5); RECORD_EMPTY_RACE when the first is not above 0.
float Records_RaceReference(const float list[RECORD_RACE_LIST], int32_t length);
// Pushes a time (ignored unless above 0): an empty list is filled with it, otherwise the
// entries move one down (the oldest drops out) and the time goes last.
void Records_AddRace(float list[RECORD_RACE_LIST], int32_t length, float time);
// A clean lap of minutes, seconds and hundredths against the record.
LapRecordResult Records_OfferLap(float* record, uint8_t minutes, uint8_t seconds,
                                 uint8_t hundredths);
// Whether a ghost keeps the lap it just recorded.
inline bool Records_GhostKeepsLap(bool best, uint32_t missed) { return best && missed == 0; }
