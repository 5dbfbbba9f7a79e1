// A remote driver's car between network updates: the last received state, moved on along its
// velocity for a short while, never below the ground, and held (and marked stale) once updates
// stop arriving for longer than REMOTE_STALE_AFTER.
#pragma once

#include <cstdint>

#include "Zentri/math/VQVector.h"

constexpr float REMOTE_EXTRAPOLATE_MAX = 0.25f;  // seconds a state is carried along its velocity
constexpr float REMOTE_STALE_AFTER = 1.0f;       // seconds without an update: stale, held still

struct RemoteState {
  VQVector position{0, 0, 0};
  VQVector velocity{0, 0, 0};
  float heading = 0.0f;
  uint32_t segment = 0;  // place on the computer line, for rescues
  float fraction = 0.0f;
};

class RemoteDriver {
 public:
  // A state sent at sendTime (the sender's race time); older states than the newest are ignored.
  // Non-finite values are refused (false).
  bool Receive(const RemoteState& s, float sendTime, float now);
  // The pose to show at `now`; ground(x, y) gives the ground height (>= 1e6: none).
  RemoteState Pose(float now, float (*ground)(float x, float y, void* user), void* user) const;
  bool Stale(float now) const { return !m_has || now - m_received > REMOTE_STALE_AFTER; }
  bool HasState() const { return m_has; }
  const RemoteState& Last() const { return m_last; }

 private:
  RemoteState m_last;
  float m_sendTime = 0.0f, m_received = 0.0f;
  bool m_has = false;
};
