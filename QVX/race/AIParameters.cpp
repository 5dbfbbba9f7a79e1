#include "QVX/race/AIParameters.h"

#include <cmath>

#include "QVX/shell/RecordBytes.h"

namespace {

// A value read from the record, kept only when finite and within [lo, hi].
void Take(const uint8_t* r, int slot, float lo, float hi, float* value) {
  const float v = Record_GetF32(r, AIREC_PARAMS + 4 * size_t(slot));
  if (std::isfinite(v) && v >= lo && v <= hi) *value = v;
}

void TakeInt(const uint8_t* r, int slot, int32_t lo, int32_t hi, int32_t* value) {
  const float v = Record_GetF32(r, AIREC_PARAMS + 4 * size_t(slot));
  if (std::isfinite(v) && v >= float(lo) && v <= float(hi)) *value = int32_t(std::lround(v));
}

}  // namespace

void AIParameters_FromRecord(const uint8_t r[AI_RECORD_SIZE], AIParameters* p) {
  *p = AIParameters();
  p->number = Record_GetU32(r, AIREC_NUMBER);
  Record_GetName(p->name, sizeof p->name, r, AIREC_NAME, sizeof p->name);
  p->colour = Record_GetI32(r, AIREC_COLOR);
  p->raceClass = Record_GetI32(r, AIREC_CLASS);
  // Rates are per second: zero or negative would freeze a control.
  Take(r, AIP_STEER_IN, 0.01f, 1000.0f, &p->steerIn);
  Take(r, AIP_STEER_BACK, 0.01f, 1000.0f, &p->steerBack);
  Take(r, AIP_THROTTLE_IN, 0.01f, 1000.0f, &p->throttleIn);
  Take(r, AIP_THROTTLE_BACK, 0.01f, 1000.0f, &p->throttleBack);
  Take(r, AIP_BRAKE_IN, 0.01f, 1000.0f, &p->brakeIn);
  Take(r, AIP_BRAKE_BACK, 0.01f, 1000.0f, &p->brakeBack);
  Take(r, AIP_STEER_SPEED_FACTOR, -10.0f, 10.0f, &p->steerSpeedFactor);
  Take(r, AIP_START_DELAY, 0.0f, 60.0f, &p->startDelay);
  Take(r, AIP_LOOK_AHEAD_BASE, 0.1f, 100.0f, &p->lookAheadBase);
  Take(r, AIP_LOOK_AHEAD_PER_SPEED, 0.0f, 10.0f, &p->lookAheadPerSpeed);
  Take(r, AIP_STUCK_TIME, 0.1f, 600.0f, &p->stuckTime);
  Take(r, AIP_MIN_UP_AXIS, -1.0f, 1.0f, &p->minUpAxis);
  for (int k = 0; k < 3; ++k) {
    Take(r, AIP_NORMAL_CEILING + 2 * k, 0.0f, 1.0f, &p->pairs[k][0]);
    Take(r, AIP_NORMAL_FACTOR + 2 * k, 0.0f, 2.0f, &p->pairs[k][1]);
  }
  TakeInt(r, AIP_STEP_INTERVAL, 1, 1000, &p->stepInterval);
  Take(r, AIP_LANE_OFFSET_RATE, 0.0f, 100.0f, &p->laneOffsetRate);
  TakeInt(r, AIP_CHECK_INTERVAL, 1, 1000, &p->checkInterval);
  Take(r, AIP_REVERSE_TIME_LIMIT, 0.1f, 600.0f, &p->reverseTimeLimit);
  Take(r, AIP_REVERSE_DISTANCE, 0.0f, 10000.0f, &p->reverseDistance);
  Take(r, AIP_SCAN_BASE, 0.0f, 1000.0f, &p->scanBase);
  Take(r, AIP_SCAN_PER_SPEED, 0.0f, 100.0f, &p->scanPerSpeed);
  Take(r, AIP_SPEED_OFFSET, -100.0f, 1000.0f, &p->speedOffset);
  Take(r, AIP_SPEED_PER_LENGTH, 0.0f, 100.0f, &p->speedPerLength);
  Take(r, AIP_OFF_LINE_SPEED, 0.0f, 1000.0f, &p->offLineSpeed);
  Take(r, AIP_STUCK_CHECK_PERIOD, 0.1f, 600.0f, &p->stuckCheckPeriod);
  Take(r, AIP_STUCK_DISTANCE, 0.0f, 1000.0f, &p->stuckDistance);
  Take(r, AIP_FOLLOWING_GAP, 0.0f, 1000.0f, &p->followingGap);
  Take(r, AIP_CLOSING_FACTOR, 0.0f, 100.0f, &p->closingFactor);
  Take(r, AIP_BRAKE_GAIN, 0.0f, 100.0f, &p->brakeGain);
  Take(r, AIP_HEADING_GAIN, 0.0f, 100.0f, &p->headingGain);
  Take(r, AIP_GUIDE_BLEND_SPEED, 0.01f, 1000.0f, &p->guideBlendSpeed);
  Take(r, AIP_BRAKE_MAX, 0.0f, 1.0f, &p->brakeMax);
  for (int t = 0; t < AIPARAM_TRACK_TIMES; ++t) {
    const float v = Record_GetF32(r, AIREC_TIMES + 4 * size_t(t));
    p->referenceTimes[t] = std::isfinite(v) ? v : 0.0f;
  }
}

void AIParameters_ToRecord(const AIParameters& p, uint8_t r[AI_RECORD_SIZE]) {
  r[AIREC_AVAILABLE] = 1;
  Record_PutU32(r, AIREC_NUMBER, p.number);
  Record_PutName(r, AIREC_NAME, sizeof p.name, p.name);
  Record_PutI32(r, AIREC_COLOR, p.colour);
  Record_PutI32(r, AIREC_CLASS, p.raceClass);
  const float v[AIPARAM_COUNT] = {p.steerIn,
                                  p.steerBack,
                                  p.throttleIn,
                                  p.throttleBack,
                                  p.brakeIn,
                                  p.brakeBack,
                                  p.steerSpeedFactor,
                                  p.startDelay,
                                  p.lookAheadBase,
                                  p.lookAheadPerSpeed,
                                  p.stuckTime,
                                  p.minUpAxis,
                                  p.pairs[0][0],
                                  p.pairs[0][1],
                                  p.pairs[1][0],
                                  p.pairs[1][1],
                                  p.pairs[2][0],
                                  p.pairs[2][1],
                                  float(p.stepInterval),
                                  p.laneOffsetRate,
                                  float(p.checkInterval),
                                  p.reverseTimeLimit,
                                  p.reverseDistance,
                                  p.scanBase,
                                  p.scanPerSpeed,
                                  p.speedOffset,
                                  p.speedPerLength,
                                  p.offLineSpeed,
                                  p.stuckCheckPeriod,
                                  p.stuckDistance,
                                  p.followingGap,
                                  p.closingFactor,
                                  p.brakeGain,
                                  p.headingGain,
                                  p.guideBlendSpeed,
                                  p.brakeMax};
  for (int i = 0; i < AIPARAM_COUNT; ++i) Record_PutF32(r, AIREC_PARAMS + 4 * size_t(i), v[i]);
  for (int t = 0; t < AIPARAM_TRACK_TIMES; ++t)
    Record_PutF32(r, AIREC_TIMES + 4 * size_t(t), p.referenceTimes[t]);
}
