#include "QVX/race/RaceStart.h"

StartAction StartGate::Update(bool raceRunning, bool throttlePressed, bool networkGathering) {
  if (!raceRunning) {
    if (throttlePressed && !m_held) {
      m_held = 1;
      ++m_falseStarts;
      return START_HOLD_BEGINS;
    }
    if (!throttlePressed && m_held) {
      m_held = 0;
      return networkGathering ? START_HOLD_ENDS_NETWORK_WAIT : START_HOLD_ENDS;
    }
    return START_NOTHING;
  }
  if (m_held && !throttlePressed) {
    m_held = 0;
    return START_HOLD_ENDS;
  }
  return START_NOTHING;
}
