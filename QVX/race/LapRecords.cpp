#include "QVX/race/LapRecords.h"

namespace {
int32_t ListLength(int32_t length) {
  return length < 1 ? 1 : (length > RECORD_RACE_LIST ? RECORD_RACE_LIST : length);
}
}  // namespace

float Records_RaceReference(const float list[RECORD_RACE_LIST], int32_t length) {
  if (!(list[0] > 0.0f)) return RECORD_EMPTY_RACE;
  length = ListLength(length);
  double sum = 0.0;
  for (int32_t i = 0; i < length; ++i) sum += list[i];
  return float(sum / length);
}

void Records_AddRace(float list[RECORD_RACE_LIST], int32_t length, float time) {
  if (!(time > 0.0f)) return;
  length = ListLength(length);
  if (!(list[0] > 0.0f)) {
    for (int32_t i = 0; i < length; ++i) list[i] = time;
    return;
  }
  for (int32_t i = 0; i + 1 < length; ++i) list[i] = list[i + 1];
  list[length - 1] = time;
}

LapRecordResult Records_OfferLap(float* record, uint8_t minutes, uint8_t seconds,
                                 uint8_t hundredths) {
  const float lap = float(minutes) * 60.0f + float(seconds) + float(hundredths) * 0.01f;
  if (!(lap < *record)) return LAPRECORD_NONE;
  const bool hadRecord = *record != RECORD_NO_LAP;
  *record = lap;
  return hadRecord ? LAPRECORD_NEW : LAPRECORD_FIRST;
}
