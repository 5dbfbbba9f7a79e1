// The start of a race as a human driver meets it: throttle held before the green light is a
// false start. The car then gets no throttle, the start message (207) shows and the false-start
// sound plays until the throttle is let go; once the race runs, a held false start is cleared as
// soon as the throttle is released, so the car leaves late rather than early.
#pragma once

#include <cstdint>

enum StartAction : int32_t {
  START_NOTHING = 0,
  START_HOLD_BEGINS,             // show message 207 (no time limit) and play the false-start sound
  START_HOLD_ENDS,               // stop the sound and clear the message
  START_HOLD_ENDS_NETWORK_WAIT,  // network race still gathering: stop the sound, show message 8020
};

constexpr int32_t START_MESSAGE_HOLD = 207;
constexpr int32_t START_MESSAGE_NETWORK_WAIT = 8020;

class StartGate {
 public:
  // Per frame. raceRunning: the race is under way (race states 3-6); throttlePressed: the
  // throttle control's press; networkGathering: a network race in race state 1.
  StartAction Update(bool raceRunning, bool throttlePressed, bool networkGathering = false);
  // Whether the throttle may reach the car this frame.
  bool ThrottleToCar() const { return m_held == 0; }
  bool Held() const { return m_held != 0; }
  uint32_t FalseStarts() const { return m_falseStarts; }
  void Reset() { m_held = 0; }

 private:
  uint8_t m_held = 0;
  uint32_t m_falseStarts = 0;
};
