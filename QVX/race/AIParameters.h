// The driving parameters of one computer driver, read from its 260-byte record of
// "Data\class_AI_<track>.bin" (layout in data/README.md). Values that are missing, not finite or
// out of their sane range fall back to the defaults below, so a damaged record still drives.
#pragma once

#include <cstdint>

#include "QVX/shell/Content.h"

constexpr int AIPARAM_COUNT = 36;        // f32 slots from AIREC_PARAMS
constexpr int AIPARAM_TRACK_TIMES = 20;  // reference race times from AIREC_TIMES

// Slots of the driving parameters, in record order.
enum AIParamSlot : int {
  AIP_STEER_IN = 0,
  AIP_STEER_BACK,
  AIP_THROTTLE_IN,
  AIP_THROTTLE_BACK,
  AIP_BRAKE_IN,
  AIP_BRAKE_BACK,
  AIP_STEER_SPEED_FACTOR,
  AIP_START_DELAY,
  AIP_LOOK_AHEAD_BASE,       // k0
  AIP_LOOK_AHEAD_PER_SPEED,  // k1
  AIP_STUCK_TIME,
  AIP_MIN_UP_AXIS,
  AIP_NORMAL_CEILING,
  AIP_NORMAL_FACTOR,
  AIP_CHASING_CEILING,
  AIP_CHASING_FACTOR,
  AIP_LEADING_CEILING,
  AIP_LEADING_FACTOR,
  AIP_STEP_INTERVAL,
  AIP_LANE_OFFSET_RATE,
  AIP_CHECK_INTERVAL,
  AIP_REVERSE_TIME_LIMIT,
  AIP_REVERSE_DISTANCE,  // compared with a squared distance
  AIP_SCAN_BASE,
  AIP_SCAN_PER_SPEED,
  AIP_SPEED_OFFSET,
  AIP_SPEED_PER_LENGTH,
  AIP_OFF_LINE_SPEED,
  AIP_STUCK_CHECK_PERIOD,
  AIP_STUCK_DISTANCE,
  AIP_FOLLOWING_GAP,
  AIP_CLOSING_FACTOR,
  AIP_BRAKE_GAIN,
  AIP_HEADING_GAIN,
  AIP_GUIDE_BLEND_SPEED,
  AIP_BRAKE_MAX,
};

// The three throttle pairs that race events switch between.
enum AIThrottlePair : int { AI_PAIR_NORMAL = 0, AI_PAIR_CHASING = 1, AI_PAIR_LEADING = 2 };

struct AIParameters {
  char name[20] = "Computer";
  uint32_t number = 1;
  int32_t colour = 0;
  int32_t raceClass = 0;
  float steerIn = 3.0f, steerBack = 6.0f, throttleIn = 8.0f, throttleBack = 16.0f, brakeIn = 8.0f,
        brakeBack = 20.0f;
  float steerSpeedFactor = 1.0f;
  float startDelay = 0.0f;
  float lookAheadBase = 1.5f, lookAheadPerSpeed = 1.0f / 6.0f;
  float stuckTime = 4.0f;
  float minUpAxis = 0.2f;
  float pairs[3][2] = {{0.9f, 1.0f}, {1.0f, 1.0f}, {0.85f, 0.95f}};  // (ceiling, factor)
  int32_t stepInterval = 10;
  float laneOffsetRate = 4.0f;
  int32_t checkInterval = 10;
  float reverseTimeLimit = 4.0f, reverseDistance = 9.0f;
  float scanBase = 10.0f, scanPerSpeed = 1.5f;
  float speedOffset = 8.0f, speedPerLength = 1.0f;
  float offLineSpeed = 8.0f;
  float stuckCheckPeriod = 3.0f, stuckDistance = 1.0f;
  float followingGap = 6.0f, closingFactor = 1.0f;
  float brakeGain = 0.5f, headingGain = 0.5f;
  float guideBlendSpeed = 20.0f;
  float brakeMax = 1.0f;
  float referenceTimes[AIPARAM_TRACK_TIMES] = {};
};

// Reads a plain (unscrambled) record. Each parameter outside its range keeps its default.
void AIParameters_FromRecord(const uint8_t record[AI_RECORD_SIZE], AIParameters* out);
// Writes the parameters into a plain record (available byte, number, name, colour, class,
// parameters and reference times); the other bytes are left as they are.
void AIParameters_ToRecord(const AIParameters& in, uint8_t record[AI_RECORD_SIZE]);
