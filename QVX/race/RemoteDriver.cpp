#include "QVX/race/RemoteDriver.h"

#include <cmath>

namespace {
bool Finite(const VQVector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
}  // namespace

bool RemoteDriver::Receive(const RemoteState& s, float sendTime, float now) {
  if (!Finite(s.position) || !Finite(s.velocity) || !std::isfinite(s.heading) ||
      !std::isfinite(s.fraction) || !std::isfinite(sendTime))
    return false;
  if (m_has && sendTime < m_sendTime) return true;  // out of order: the newer state stays
  m_last = s;
  m_sendTime = sendTime;
  m_received = now;
  m_has = true;
  return true;
}

RemoteState RemoteDriver::Pose(float now, float (*ground)(float, float, void*), void* user) const {
  RemoteState p = m_last;
  if (!m_has || Stale(now)) return p;
  float age = now - m_received;
  if (age < 0.0f) age = 0.0f;
  if (age > REMOTE_EXTRAPOLATE_MAX) age = REMOTE_EXTRAPOLATE_MAX;
  p.position = VQVector(m_last.position.x + m_last.velocity.x * age,
                        m_last.position.y + m_last.velocity.y * age,
                        m_last.position.z + m_last.velocity.z * age);
  if (ground) {
    const float g = ground(p.position.x, p.position.y, user);
    if (g < 1000000.0f && p.position.z < g) p.position.z = g;
  }
  if (p.position.z < m_last.position.z && m_last.velocity.z < 0.0f && !ground)
    p.position.z = m_last.position.z;
  return p;
}
