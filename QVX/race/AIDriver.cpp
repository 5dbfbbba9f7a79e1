#include "QVX/race/AIDriver.h"

#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kHalfPi = 1.5707964f;

VQVector2 Ground(const VQVector& v) { return VQVector2(v.x, v.y); }

float Angle(const VQVector2& d) { return float(std::atan2(double(d.y), double(d.x))); }

float Clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

float AI_Approach(float value, float target, float step) {
  if (!(step >= 0.0f)) step = 0.0f;
  if (value < target) return value + step >= target ? target : value + step;
  if (value > target) return value - step <= target ? target : value - step;
  return value;
}

void AIDriver::Setup(AIDriverKind kind, const AIParameters& params) {
  *this = AIDriver();
  m_kind = kind;
  m_params = params;
  if (kind == AIDRIVER_COMPUTER) {
    m_k0 = params.lookAheadBase;
    m_k1 = params.lookAheadPerSpeed;
  }
  m_throttleCeiling = params.pairs[AI_PAIR_NORMAL][0];
  m_throttleFactor = params.pairs[AI_PAIR_NORMAL][1];
  m_checkInterval = params.checkInterval > 0 ? params.checkInterval : 10;
  m_laneRate = params.laneOffsetRate;
  m_random = params.number * 2654435761u + 1u;
}

const AIPath* AIDriver::CurrentLine() const {
  if (!m_course || m_line >= m_course->LineCount()) return nullptr;
  const AIPath* line = m_course->Line(m_line);
  return line && !line->Empty() ? line : nullptr;
}

uint32_t AIDriver::Random() {
  // xorshift32: the same sequence on every machine for the same seed.
  uint32_t x = m_random ? m_random : 0x9E3779B9u;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  m_random = x;
  return x >> 1;
}

void AIDriver::PickOtherLine() {
  if (!m_course) return;
  const uint32_t lines = m_course->LineCount();
  if (lines >= 2 && m_line == lines - 1) m_line = Random() % (lines - 1);
}

void AIDriver::ApplyGear(int index) {
  if (m_vehicle) m_vehicle->SelectGear(index);
}

float AIDriver::OffLinePeriod() const {
  return m_course && m_course->Practice() ? AI_OFF_LINE_PERIOD_PRACTICE : AI_OFF_LINE_PERIOD;
}

float AIDriver::Progress() const {
  const AIPath* line = CurrentLine();
  return line ? line->DistanceAt(m_refSegment, m_refFraction) : 0.0f;
}

void AIDriver::SelectPair(AIThrottlePair pair) {
  m_throttleCeiling = m_params.pairs[pair][0];
  m_throttleFactor = m_params.pairs[pair][1];
}

// ---- start ------------------------------------------------------------------------------------

void AIDriver::PrepareStart(bool practice) {
  const float now = m_course ? m_course->RaceTime() : 0.0f;
  m_state = AISTATE_WAITING;
  m_manoeuvre = AIMAN_NONE;
  m_phase = 0;
  m_rescueRunning = m_placed = m_moved = 0;
  m_rescueElapsed = 0.0f;
  m_rescueMark = now - 100.0f;
  m_rescueRepeats = 0;
  m_startTime = m_lastMoving = m_lastOnLine = now;
  m_stepCounter = 0;
  m_stepTime = 0.0f;
  m_steerTarget = m_throttleTarget = m_brakeTarget = 0.0f;
  m_steering = m_throttle = m_brake = m_spareBrake = 0.0f;
  m_laneOffset = m_laneTarget = 0.0f;
  m_avoiding = 0;
  m_guide = practice ? 1 : 0;
  m_checkCounter = 0;
  SelectPair(AI_PAIR_NORMAL);
  if (practice && m_kind == AIDRIVER_COMPUTER) m_params.startDelay = 3.0f;
  if (m_vehicle) {
    m_vehicle->SetSteering(0.0f);
    m_vehicle->SetThrottle(0.0f);
    m_vehicle->SetBrake(0.0f);
    const VQVector p = m_vehicle->Position();
    m_stuckPos = Ground(p);
    m_lookAhead = Ground(p);
  }
  m_stuckTime = now;
  // The car's place on its line: where the search for the look-ahead point starts.
  if (const AIPath* line = CurrentLine()) {
    uint32_t seg = 0;
    float frac = 0.0f;
    line->Nearest(m_lookAhead, 0, 0, &seg, &frac);
    m_refSegment = m_laSegment = m_searchSegment = seg;
    m_refFraction = m_laFraction = frac;
    m_refInto = frac * line->Length(seg);
    m_refPoint = line->PointAt(seg, frac);
    m_lateral = line->Lateral(seg, m_refPoint, m_lookAhead);
  } else {
    m_searchSegment = AIPATH_NO_SEGMENT;
  }
}

void AIDriver::StartRace(float dt) {
  ApplyGear(2);
  if (m_vehicle) m_vehicle->SetClutch(1.0f);
  m_checkCounter = 0;
  if (m_kind == AIDRIVER_COMPUTER && m_course) PlanComputerControls(0.0f, dt, m_course->RaceTime());
}

// ---- smoothing --------------------------------------------------------------------------------

void AIDriver::SmoothSteering(float target, float dt, float speed) {
  m_steerTarget = target;
  float divisor = speed - speed * m_params.steerSpeedFactor + 1.0f;
  if (!(divisor >= AI_STEER_DIVISOR_MIN)) divisor = AI_STEER_DIVISOR_MIN;
  const float current = m_vehicle ? m_vehicle->Steering() : m_steering;
  m_steering = AI_Approach(current, target, m_params.steerIn / divisor * dt);
  if (m_vehicle) m_vehicle->SetSteering(m_steering);
}

void AIDriver::SmoothThrottle(float target, float dt) {
  if (target > m_throttleCeiling) target = m_throttleCeiling;
  m_throttleTarget = target;
  const float current = m_vehicle ? m_vehicle->Throttle() : m_throttle;
  const float rate = target > current ? m_params.throttleIn : m_params.throttleBack;
  m_throttle = AI_Approach(current, target, rate * dt);
  if (m_vehicle) m_vehicle->SetThrottle(m_throttle);
}

void AIDriver::SmoothBrake(float target, float dt) {
  if (target > m_params.brakeMax) target = m_params.brakeMax;
  m_brakeTarget = target;
  const float current = m_vehicle ? m_vehicle->Brake() : m_brake;
  const float rate = target > current ? m_params.brakeIn : m_params.brakeBack;
  m_brake = AI_Approach(current, target, rate * dt);
  m_spareBrake = m_brake;
  if (m_vehicle) m_vehicle->SetBrake(m_brake);
}

void AIDriver::MoveLaneOffset(float t, float dt) {
  m_laneTarget = t;
  m_laneOffset = AI_Approach(m_laneOffset, t, m_laneRate * dt);
}

// ---- per step and per frame -------------------------------------------------------------------

void AIDriver::OnPhysicsStep(float dt) {
  ++m_stepCounter;
  m_stepTime += dt;
  const int32_t interval = m_params.stepInterval > 0 ? m_params.stepInterval : 1;
  if (m_stepCounter >= interval) {
    DriveComputer(m_stepTime, dt);
    m_stepCounter -= interval;
    m_stepTime = 0.0f;
    return;
  }
  const float v = m_vehicle ? m_vehicle->Speed() : 0.0f;
  SmoothSteering(m_steerTarget, dt, v);
  SmoothThrottle(m_throttleTarget, dt);
  SmoothBrake(m_brakeTarget, dt);
  m_laneOffset = AI_Approach(m_laneOffset, m_laneTarget, m_laneRate * dt);
}

void AIDriver::UpdateFrame(float dt) {
  if (m_rescueRunning) Rescue(dt);
}

void AIDriver::DriveComputer(float stepTime, float dt) {
  if (!m_vehicle || !m_course) return;
  const float now = m_course->RaceTime();
  const float v = m_vehicle->Speed();
  if (v >= AI_MOVING_SPEED) m_lastMoving = now;
  if (m_state == AISTATE_DRIVING) {
    if (now - m_lastMoving <= m_params.stuckTime) {
      if (now - m_lastOnLine >= OffLinePeriod()) {
        m_manoeuvre = AIMAN_STOPPING;
        m_lastOnLine = now;
      }
    } else {
      if (!m_rescueRunning) Rescue(0.0f);
      m_lastMoving = now;
    }
  }
  if (m_vehicle->Up().z < m_params.minUpAxis) {
    if (m_rescueRunning) return;
    Rescue(0.0f);
  }
  if (m_rescueRunning) return;
  if (m_state == AISTATE_WAITING) {
    if (m_course->RaceRunning() && now >= m_params.startDelay) {
      m_state = AISTATE_DRIVING;
      ApplyGear(2);
      m_vehicle->SetClutch(1.0f);
      m_startTime = m_lastMoving = m_lastOnLine = m_stuckTime = now;
    }
    return;
  }
  PlanComputerControls(stepTime, dt, now);
}

// ---- the line follower ------------------------------------------------------------------------

void AIDriver::GetLookAheadPoint(float raceTime) {
  (void)raceTime;
  const AIPath* line = CurrentLine();
  if (!line || !m_vehicle) {
    m_onLine = 0;
    return;
  }
  const float v = m_vehicle->Speed();
  const float L = v >= 1.0f ? v * m_k1 + m_k0 : v * m_k1 + (3.0f - 2.0f * v) * m_k0;
  const VQVector2 P = Ground(m_vehicle->Position());
  uint32_t seg =
      m_searchSegment == AIPATH_NO_SEGMENT ? m_searchSegment : line->Clamp(m_searchSegment);
  VQVector2 point;
  if (line->CircleCrossing(P, L, &point, &seg)) {
    const uint32_t prevSeg = line->Clamp(m_laSegment);
    const float prevFrac = m_laFraction;
    m_lookAhead = point;
    m_laSegment = seg;
    const float len = line->Length(seg);
    m_laFraction =
        len > 1e-6f ? Clampf((point - line->Point(seg)).Length() / len, 0.0f, 1.0f) : 0.0f;
    m_searchSegment = seg;
    line->Walk(seg, m_laFraction, -L, &m_refSegment, &m_refFraction);
    m_refInto = m_refFraction * line->Length(m_refSegment);
    m_refPoint = line->PointAt(m_refSegment, m_refFraction);
    m_lateral = line->Lateral(m_refSegment, m_refPoint, P);
    m_onLine = 1;
    if (m_kind == AIDRIVER_COMPUTER && m_state == AISTATE_DRIVING &&
        line->Separation(prevSeg, prevFrac, seg, m_laFraction) > AI_LINE_JUMP &&
        m_course->Laps(*this) != 0) {
      m_manoeuvre = AIMAN_STOPPING;
    } else if (m_course->Practice()) {
      m_guide = 1;
    }
    return;
  }
  // Off the line (farther from it than the look-ahead distance): the nearest place of the line
  // around the last look-ahead segment becomes the reference, and the car aims a little beyond.
  m_onLine = 0;
  const uint32_t n = line->Count();
  const uint32_t back = 8 < n ? 8 : 0;
  const uint32_t first = (line->Clamp(m_laSegment) + n - back) % n;
  uint32_t s = 0;
  float f = 0.0f;
  line->Nearest(P, first, 48, &s, &f);
  m_refSegment = s;
  m_refFraction = f;
  m_refInto = f * line->Length(s);
  m_refPoint = line->PointAt(s, f);
  m_lateral = line->Lateral(s, m_refPoint, P);
  if (m_kind == AIDRIVER_COMPUTER) {
    line->Walk(s, f, L + 4.0f, &m_laSegment, &m_laFraction);
    m_lookAhead = line->PointAt(m_laSegment, m_laFraction);
  }
}

// ---- the planner ------------------------------------------------------------------------------

void AIDriver::PlanComputerControls(float stepTime, float dt, float raceTime) {
  (void)stepTime;
  if (!m_vehicle || !m_course) return;
  const AIPath* line = CurrentLine();
  float v = m_vehicle->Speed();
  const AIParameters& a = m_params;

  if (m_manoeuvre == AIMAN_REVERSING) {
    if (m_phase == 0) {
      SmoothSteering(0.0f, dt, v);
      SmoothBrake(0.0f, dt);
      m_throttleTarget = m_throttleFactor * 0.9f;
      SmoothThrottle(m_throttleTarget, dt);
      if (raceTime - m_manoeuvreStart > a.reverseTimeLimit) {
        Rescue(0.0f);
        return;
      }
      const VQVector p = m_vehicle->Position();
      const float dx = p.x - m_manoeuvrePos.x, dy = p.y - m_manoeuvrePos.y,
                  dz = p.z - m_manoeuvrePos.z;
      if (dx * dx + dy * dy + dz * dz > a.reverseDistance) m_phase = 1;
    } else if (m_phase == 1) {
      SmoothBrake(0.9f, dt);
      SmoothThrottle(0.0f, dt);
      if (m_vehicle->EngineRpm() < AI_ENGINE_IDLE) m_phase = 2;
    } else {
      m_manoeuvre = AIMAN_NONE;
      ApplyGear(2);
      const uint32_t before = m_line;
      PickOtherLine();
      if (m_line != before) {
        if (const AIPath* nl = CurrentLine()) {
          m_laSegment = nl->Clamp(m_laSegment);
          m_refSegment = nl->Clamp(m_refSegment);
          m_lookAhead = nl->PointAt(m_laSegment, m_laFraction);
          m_refPoint = nl->PointAt(m_refSegment, m_refFraction);
          m_searchSegment = m_laSegment;
        }
      }
    }
    return;
  }
  if (m_manoeuvre == AIMAN_STOPPING) {
    SmoothBrake(0.9f, dt);
    SmoothThrottle(0.0f, dt);
    if (v < 0.5f) Rescue(0.0f);
    return;
  }

  // 1-2.
  GetLookAheadPoint(raceTime);
  line = CurrentLine();
  v = m_vehicle->Speed();
  const float L = v >= 1.0f ? v * m_k1 + m_k0 : v * m_k1 + (3.0f - 2.0f * v) * m_k0;
  const VQVector pos = m_vehicle->Position();
  const VQVector2 P = Ground(pos);
  const VQVector fwd3 = m_vehicle->Forward();
  const VQVector2 F(fwd3.x, fwd3.y);
  float aim = 0.0f;
  float V = a.offLineSpeed;
  float S = 1000000.0f;

  if (!m_onLine || !line) {
    // 3. Off the line: straight for the look-ahead point at the off-line speed.
    aim = Angle(m_lookAhead - P);
  } else {
    // 4. Speed scan.
    m_lastOnLine = raceTime;
    float d = v * a.scanPerSpeed + a.scanBase + m_refInto;
    uint32_t seg = m_refSegment;
    for (uint32_t guard = 0; d > 0.0f && guard < 2 * line->Count(); ++guard) {
      const float len = line->Length(seg);
      if (len > 1e-3f && len < S) S = len;
      d -= len;
      seg = line->Next(seg);
    }
    V = S * a.speedPerLength + a.speedOffset;

    // 5. Guide blend.
    if (m_guide) {
      VQVector2 found, dir;
      if (m_course->FindBorderPointAtDistance(P, L, &found, &dir)) {
        const float w = Clampf(v / a.guideBlendSpeed, 0.25f, 1.0f);
        m_lookAhead = m_lookAhead * w + found * (1.0f - w);
      }
    }

    // 6.
    bool check = false;
    if (++m_checkCounter >= m_checkInterval) {
      m_checkCounter -= m_checkInterval;
      check = true;
    }
    m_avoiding = 0;
    float nearest = 1000.0f;

    // 7. Traffic.
    const VQVector2 myDir = line->Direction(m_refSegment);
    const VQVector myVel = m_vehicle->Velocity();
    for (uint32_t i = 0; i < m_course->ParticipantCount(); ++i) {
      const AIDriver* o = m_course->Participant(i);
      if (!o || o == this || !o->m_onLine || !o->m_vehicle) continue;
      const VQVector op = o->m_vehicle->Position();
      const VQVector2 D = P - Ground(op);
      if (std::fabs(D.x) > AI_TRAFFIC_BOX || std::fabs(D.y) > AI_TRAFFIC_BOX) continue;
      const float ahead = (o->m_refPoint - m_refPoint).Dot(myDir);
      if (ahead < -1.0f || std::fabs(ahead) > nearest) continue;
      const uint32_t j = line->Clamp(o->m_refSegment);
      const VQVector2 Q = line->PointAt(j, o->m_refFraction);
      const VQVector2 e = o->m_refPoint - Q;
      float s = e.Length();
      const AIPath* theirs = o->CurrentLine();
      const VQVector2 od = theirs ? theirs->Direction(o->m_refSegment) : line->Direction(j);
      if (od.y * e.x - od.x * e.y < 0.0f) s = -s;
      const float g = (o->m_lateral - m_lateral) + s;
      if (std::fabs(g) >= 1.2f) continue;
      const float ov = o->m_vehicle->Speed();
      if (ov > v) {
        if (ahead > -2.0f && ahead < 2.0f && std::fabs(g) < 0.8f) {
          MoveLaneOffset(g >= 0.0f ? s + o->m_lateral - 0.8f : s + o->m_lateral + 0.8f, dt);
          m_avoiding = 1;
        }
        continue;
      }
      if (v > 2.0f && ahead > 0.5f && ahead < 2.0f && std::fabs(g) < 0.48f) {
        const VQVector ovel = o->m_vehicle->Velocity();
        const VQVector2 dv(ovel.x - myVel.x, ovel.y - myVel.y);
        float dist = D.Length() - a.followingGap;
        if (dist < 0.0f) dist = 0.0f;
        float cap = ov * dist - dv.Length() * a.closingFactor;
        if (cap < 1.0f) cap = 1.0f;
        if (cap < V) V = cap;
        continue;
      }
      if (ahead > 0.0f) nearest = ahead;
      float w = ahead < 4.0f ? 1.0f : (8.0f - std::fabs(ahead)) * 0.25f;
      if (w < 0.0f) w = 0.0f;
      w *= 1.0f - 0.25f / S;
      if (v <= 2.0f) w *= 2.0f;
      float target;
      if (g > 0.4f || (std::fabs(ahead) < 1.2f && g > 0.0f))
        target = m_lateral + g - 1.2f * w;
      else if (g < -0.4f || (std::fabs(ahead) < 1.2f && g < 0.0f))
        target = m_lateral + g + 1.2f * w;
      else if (line->Bend(line->Clamp(m_searchSegment)))
        target = m_lateral + g - 1.2f * w;
      else
        target = m_lateral + g + 1.2f * w;
      if (!check) continue;
      MoveLaneOffset(target, dt);
      m_avoiding = 1;
    }

    // 8. Lane offset without traffic.
    if (raceTime < AI_LAUNCH_TIME && !m_guide) {
      float k = (10.0f - v) * 0.1f;
      if (k < 0.0f) k = 0.0f;
      m_laneOffset = k * m_lateral;
    } else if (!m_avoiding) {
      MoveLaneOffset(Clampf(S * 0.2f * m_lateral, -AI_LANE_LIMIT, AI_LANE_LIMIT), dt);
    }

    // 9. Aim.
    const float a0 = Angle(m_lookAhead - P);
    const float r = L > 1e-6f ? -m_laneOffset / L : 0.0f;
    if (r >= 1.0f)
      aim = a0 + kHalfPi;
    else if (r < -1.0f)
      aim = a0 - kHalfPi;
    else
      aim = a0 + float(std::asin(double(r)));
    aim = AIPath_WrapAngle(aim);

    // 10. Border probe.
    VQVector2 hit, hitDir;
    if (m_course->SegmentCrossesBorder(P, P + F * 3.0f, &hit, &hitDir)) {
      float m = 2.0f - S;
      if (m < 0.0f) m = 0.0f;
      MoveLaneOffset(line->Bend(m_refSegment) ? m : -m, dt);
    }
  }
  m_shortestAhead = S;

  // 11. Steering.
  const float h = Angle(F);
  float k = (4.0f - (P - m_lookAhead).Length()) * 0.25f;
  if (k < 0.0f) k = 0.0f;
  float e = 0.0f;
  if (line)
    e = Clampf(AIPath_WrapAngle(h - Angle(line->Direction(m_laSegment))), -kHalfPi, kHalfPi);
  const float delta = AIPath_WrapAngle(aim - a.headingGain * e * k - h);
  SmoothSteering(-delta, dt, v);

  // 12. Speed.
  m_speedLimit = V;
  if (m_state == AISTATE_DRIVING) {
    if (V > v) {
      const float demand = v + 1.0f < V ? 1.0f : V - v;
      if (raceTime < AI_LAUNCH_TIME) {
        m_throttle = m_throttleTarget = 1.0f;
        m_vehicle->SetThrottle(1.0f);
      } else {
        SmoothThrottle(demand * m_throttleFactor, dt);
      }
      SmoothBrake(0.0f, dt);
    } else {
      SmoothThrottle(0.0f, dt);
      SmoothBrake((v - V) * a.brakeGain, dt);
    }
  } else {
    SmoothThrottle(0.0f, dt);
    SmoothBrake(0.0f, dt);
    ApplyGear(1);
    return;
  }

  // 13. Stuck check.
  if (raceTime - m_stuckTime > a.stuckCheckPeriod) {
    if ((P - m_stuckPos).Length() < a.stuckDistance) {
      if (m_vehicle->EngineRpm() > AI_ENGINE_IDLE) {
        SmoothBrake(1.0f, dt);
        return;
      }
      m_manoeuvre = AIMAN_REVERSING;
      m_phase = 0;
      m_manoeuvreStart = raceTime;
      m_manoeuvrePos = pos;
      ApplyGear(0);
    } else {
      m_stuckPos = P;
      m_stuckTime = raceTime;
    }
  }
}

// ---- race events ------------------------------------------------------------------------------

void AIDriver::OnCheckpoint(const uint32_t* recent, uint32_t count, uint32_t position,
                            bool secondMode) {
  if (m_kind != AIDRIVER_COMPUTER) return;
  uint32_t run = 0;
  for (uint32_t i = count; i > 0 && recent[i - 1] == position; --i) ++run;
  if (secondMode)
    SelectPair(run >= 5 ? AI_PAIR_CHASING : AI_PAIR_NORMAL);
  else
    SelectPair(run >= 4 ? AI_PAIR_LEADING : (run >= 2 ? AI_PAIR_CHASING : AI_PAIR_NORMAL));
  PickOtherLine();
}

// ---- rescue -----------------------------------------------------------------------------------

void AIDriver::SetRemotePlacement(const VQVector& position, float heading, uint32_t segment,
                                  float fraction) {
  m_hasRemotePlacement = 1;
  m_remotePos = position;
  m_remoteHeading = heading;
  m_remoteSegment = segment;
  m_remoteFraction = fraction;
}

void AIDriver::Rescue(float dt) {
  if (!m_rescueRunning) {
    m_rescueRunning = 1;
    m_rescueElapsed = 0.0f;
    m_placed = m_moved = 0;
    ++m_rescueCount;
    if (m_vehicle) m_vehicle->SetCollisions(false);
    PickOtherLine();
    const float now = m_course ? m_course->RaceTime() : 0.0f;
    if (now < m_rescueMark + AI_RESCUE_REPEAT_TIME)
      ++m_rescueRepeats;
    else
      m_rescueRepeats = 0;
    return;
  }
  if (!m_placed) {
    RescuePlace();
    return;
  }
  m_rescueElapsed += dt;
  if (m_rescueElapsed <= AI_RESCUE_FADE) {
    if (m_vehicle) m_vehicle->SetVisibility(1.0f - m_rescueElapsed * 3.3333333f);
    return;
  }
  if (!m_moved) RescueMove();
  if (m_rescueElapsed <= 2.0f * AI_RESCUE_FADE) {
    if (m_vehicle) m_vehicle->SetVisibility((m_rescueElapsed - AI_RESCUE_FADE) * 3.3333333f);
    return;
  }
  if (m_vehicle) {
    m_vehicle->SetVisibility(1.0f);
    m_vehicle->SetCollisions(true);
  }
  m_rescueRunning = 0;
}

void AIDriver::RescuePlace() {
  m_placed = 1;
  if (m_kind == AIDRIVER_REMOTE && m_hasRemotePlacement) {
    m_placePos = m_remotePos;
    m_placeHeading = m_remoteHeading;
    m_placeSegment = m_remoteSegment;
    m_placeFraction = m_remoteFraction;
    return;
  }
  const AIPath* line = m_course && m_course->LineCount() > 0 ? m_course->Line(0) : nullptr;
  if (!line || line->Empty()) {
    // No line to put the car on: it is set upright where it stands, facing where it faced.
    const VQVector p = m_vehicle ? m_vehicle->Position() : VQVector(0, 0, 0);
    const VQVector f = m_vehicle ? m_vehicle->Forward() : VQVector(0, 1, 0);
    const bool flat = std::fabs(f.x) < 1e-6f && std::fabs(f.y) < 1e-6f;
    m_placeHeading = flat ? 0.0f : Angle(VQVector2(f.x, f.y)) - kHalfPi;
    float ground = m_course ? m_course->GroundHeight(p.x, p.y) : 0.0f;
    if (ground >= AICOURSE_NO_GROUND) ground = 0.0f;
    m_placePos = VQVector(p.x, p.y, ground);
    m_placeSegment = 0;
    m_placeFraction = 0.0f;
    return;
  }
  const uint32_t n = line->Count();
  // a. Where on the line. The reference segment was taken on the car's own line, whose point
  // count may differ from line 0's: it is clamped to this line.
  uint32_t seg = line->Clamp(m_refSegment);
  float frac = m_refFraction;
  const uint32_t cps = m_course->CheckpointCount();
  uint32_t missed = 0;
  for (uint32_t i = 1; i + 2 <= cps; ++i)
    if (!m_course->CheckpointPassed(*this, i)) {
      missed = i;
      break;
    }
  auto before = [](uint32_t s1, float f1, uint32_t s2, float f2) {
    return s1 < s2 || (s1 == s2 && f1 < f2);
  };
  if (m_course->Laps(*this) == 0) {
    float r = AI_RESCUE_BEFORE_END;
    uint32_t i = n - 1;
    for (uint32_t guard = 0; guard < n && r >= line->Length(i); ++guard) {
      r -= line->Length(i);
      i = i == 0 ? n - 1 : i - 1;
    }
    const float len = line->Length(i);
    seg = i;
    frac = len > 1e-6f ? Clampf((len - r) / len, 0.0f, 1.0f) : 0.0f;
  } else if (cps >= 2) {
    uint32_t cs = 0;
    float cf = 0.0f;
    if (missed == 0) {
      m_course->CheckpointOnLine(cps - 2, &cs, &cf);
      if (before(seg, frac, line->Clamp(cs), cf)) {
        m_course->CheckpointOnLine(0, &cs, &cf);
        seg = line->Clamp(cs);
        frac = cf;
      }
    } else {
      m_course->CheckpointOnLine(missed, &cs, &cf);
      if (before(line->Clamp(cs), cf, seg, frac)) {
        seg = line->Clamp(cs);
        frac = cf;
      }
    }
  }
  // b-c.
  const VQVector2 dir = line->Direction(seg);
  float heading = Angle(dir) - kHalfPi;
  m_refPoint = line->PointAt(seg, frac);
  m_refSegment = seg;
  m_refFraction = frac;
  m_laSegment = line->Clamp(m_laSegment);
  m_lookAhead = line->PointAt(m_laSegment, m_laFraction);
  const VQVector2 p0 = m_refPoint - dir * AI_RESCUE_BACK;
  VQVector2 point = p0;
  // d. Sideways to the roomier side.
  if (m_rescueRepeats >= AI_RESCUE_REPEATS) {
    m_rescueRepeats = 0;
  } else {
    const VQVector2 N(dir.y, -dir.x);
    const bool computer = m_kind == AIDRIVER_COMPUTER;
    const float m = computer ? 3.0f * m_k0 : 2.0f;
    const float open = computer ? 0.9f * m : 2.0f;
    VQVector2 hit, hitDir;
    float d1 = open, d2 = open;
    if (m_course->SegmentCrossesBorder(p0, p0 + N * m, &hit, &hitDir) == 2)
      d1 = (hit - p0).Length();
    if (m_course->SegmentCrossesBorder(p0, p0 - N * m, &hit, &hitDir) == 1)
      d2 = (hit - p0).Length();
    point =
        d1 >= d2 ? p0 + N * (d1 - AI_RESCUE_BORDER_KEEP) : p0 - N * (d2 - AI_RESCUE_BORDER_KEEP);
  }
  // e.
  float ground = m_course->GroundHeight(point.x, point.y);
  if (ground >= AICOURSE_NO_GROUND) ground = 0.0f;
  // f. A look-ahead point behind a border is brought back along the line.
  if (m_kind == AIDRIVER_COMPUTER) {
    VQVector2 hit, hitDir;
    for (uint32_t guard = 0;
         guard < n && m_course->SegmentCrossesBorder(point, m_lookAhead, &hit, &hitDir); ++guard) {
      m_laSegment = line->Prev(m_laSegment);
      m_laFraction = 0.0f;
      m_lookAhead = line->Point(m_laSegment);
      heading = Angle(m_lookAhead - point) - kHalfPi;
    }
  }
  // g.
  m_placePos = VQVector(point.x, point.y, ground);
  m_placeHeading = heading;
  m_placeSegment = seg;
  m_placeFraction = frac;
}

void AIDriver::RescueMove() {
  m_moved = 1;
  const float now = m_course ? m_course->RaceTime() : 0.0f;
  if (m_vehicle) {
    m_vehicle->Place(m_placePos, m_placeHeading);
    m_vehicle->SelectGear(2);
  }
  m_onLine = 0;
  m_manoeuvre = AIMAN_NONE;
  m_stuckTime = now + 5.0f;
  m_stuckPos = VQVector2(m_placePos.x, m_placePos.y);
  m_lookAhead = m_stuckPos;
  m_lastMoving = now;
  m_lastOnLine = now;  // a fresh placement is not yet "off the line for too long"
  m_avoiding = 0;
  if (m_kind == AIDRIVER_COMPUTER) {
    m_laSegment = m_placeSegment;
    m_laFraction = m_placeFraction;
    m_searchSegment = m_placeSegment;
  }
  m_guide = m_course && m_course->Practice() ? 1 : 0;
}
