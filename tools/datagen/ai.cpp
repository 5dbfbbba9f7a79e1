// Driving parameters of the generated computer drivers ("Data\class_AI_<t>.bin"): the record
// layout of QVX/race/AIParameters.h, values that race the sample cars round their lines at racing
// speed. A driver's skill (0.85 to 1.0) sets its pace through bends and its reaction at the start.
#include <cstddef>
#include <cstdint>

#include "QVX/race/AIParameters.h"
#include "tools/datagen/datagen.h"

namespace datagen {

void FillAIDriverParameters(uint8_t* record, float skill) {
  AIParameters p;
  AIParameters_FromRecord(record, &p);  // keeps the identity fields already written
  const AIParameters defaults;
  p.steerIn = defaults.steerIn;
  p.steerBack = defaults.steerBack;
  p.throttleIn = defaults.throttleIn;
  p.throttleBack = defaults.throttleBack;
  p.brakeIn = defaults.brakeIn;
  p.brakeBack = defaults.brakeBack;
  p.steerSpeedFactor = 1.0f;
  p.startDelay = 0.1f + (1.0f - skill) * 2.0f;
  // Far enough ahead that the line is followed without weaving at racing speed.
  p.lookAheadBase = 3.0f;
  p.lookAheadPerSpeed = 0.8f;
  p.stuckTime = 4.0f;
  p.minUpAxis = 0.2f;
  p.pairs[AI_PAIR_NORMAL][0] = 0.9f;
  p.pairs[AI_PAIR_NORMAL][1] = 1.0f;
  p.pairs[AI_PAIR_CHASING][0] = 1.0f;
  p.pairs[AI_PAIR_CHASING][1] = 1.0f;
  p.pairs[AI_PAIR_LEADING][0] = 0.85f;
  p.pairs[AI_PAIR_LEADING][1] = 0.95f;
  p.stepInterval = 10;
  p.laneOffsetRate = 4.0f;
  p.checkInterval = 10;
  p.reverseTimeLimit = 4.0f;
  p.reverseDistance = 9.0f;
  // The speed scan reaches past the braking distance from the straights' speed; the limit of
  // the line's segments (tools/datagen/tracks.cpp) at the driver's pace, 92 to 100 percent.
  p.scanBase = 10.0f;
  p.scanPerSpeed = 2.0f;
  const float pace = 0.92f + 0.08f * (skill - 0.85f) / 0.15f;
  p.speedOffset = kAISpeedOffset * pace;
  p.speedPerLength = kAISpeedPerLength * pace;
  p.offLineSpeed = 8.0f;
  p.stuckCheckPeriod = 3.0f;
  p.stuckDistance = 1.0f;
  p.followingGap = 6.0f;
  p.closingFactor = 1.0f;
  p.brakeGain = 0.5f;
  p.headingGain = 0.5f;
  p.guideBlendSpeed = 20.0f;
  p.brakeMax = 1.0f;
  AIParameters_ToRecord(p, record);
}

}  // namespace datagen
