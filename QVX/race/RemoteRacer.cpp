#include "QVX/race/RemoteRacer.h"

#include <algorithm>
#include <cmath>

#include "QVX/race/Track.h"
#include "Zentri/math/VQQuaternion.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

// A car moving farther than this in one frame was put somewhere else: the jump crosses no
// checkpoint line.
constexpr float kTeleport = 5.0f;

bool Finite(const VQVector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

bool RemoteCarState_Read(TrackRacer* racer, RemoteCarState* out) {
  VQVehicleModel* m = racer ? racer->GetVehicle() : nullptr;
  if (m == nullptr) return false;
  out->position = m->GetPosition();
  m->GetOrientation(out->orientation);
  out->velocity = m->GetVelocity();
  out->angularVelocity = m->GetAngularVelocity();
  out->steering = float(m->GetSteering());
  out->pedal = float(m->GetThrottle() - m->GetBrake());
  out->gear = m->GetGear();
  return true;
}

void RemoteCarState_Blend(const VQVector& position, const float orientation[4],
                          const RemoteCarState& target, VQVector* outPosition,
                          float outOrientation[4]) {
  const VQVector d = target.position - position;
  float w = REMOTE_POSITION_GAIN * std::sqrt(d.Dot(d));
  if (!(w <= 1.0f)) w = 1.0f;
  *outPosition = position * (1.0f - w) + target.position * w;
  // The blend works on the four numbers alike, so it does not matter in which order the model
  // keeps them.
  const VQQuaternion from(orientation[0], orientation[1], orientation[2], orientation[3]);
  const VQQuaternion to(target.orientation[0], target.orientation[1], target.orientation[2],
                        target.orientation[3]);
  VQQuaternion q;
  q.Slerp(from, to, REMOTE_ORIENTATION_BLEND);
  outOrientation[0] = q.x, outOrientation[1] = q.y, outOrientation[2] = q.z,
  outOrientation[3] = q.w;
}

RemoteRacer::RemoteRacer(uint8_t playerId, const char* name, Track* track, const AICourse* course,
                         std::string modelFile)
    : m_playerId(playerId),
      m_name(name ? name : ""),
      m_track(track),
      m_course(course),
      m_modelFile(std::move(modelFile)) {
  m_follower.Setup(AIDRIVER_HUMAN, AIParameters());
}

RemoteRacer::~RemoteRacer() { ReleaseCar(); }

VQVehicleModel* RemoteRacer::GetVehicle() { return m_model.get(); }

void RemoteRacer::ReleaseCar() {
  m_follower.Attach(nullptr, nullptr);
  m_vehicle.m_model = nullptr;
  m_model.reset();
}

void RemoteRacer::PlaceAtStart(const VQVector& position, float heading) {
  ReleaseCar();
  m_model = std::make_unique<TolvuCarModel1>();
  if (!m_model->Initialize(nullptr, m_modelFile.c_str(), position, VQVector(0, 0, heading),
                           Track::GroundQuery)) {
    m_model.reset();
    return;
  }
  // The same contact spheres as the session's bare cars.
  AIRacer_AddContactSpheres(
      m_model.get(), m_track && !m_track->m_contacts.empty() ? &m_track->m_contacts[0] : nullptr);
  m_vehicle.m_model = m_model.get();
  m_follower.Attach(&m_vehicle, m_course);
  m_position = m_previous = m_model->GetPosition();
}

void RemoteRacer::PrepareRace(bool, uint32_t) {
  m_started = m_finished = false;
  m_lapMark = -100.0f;
  m_time = 0.0f;
  m_hasPending = false;
  m_driver = RemoteDriver();
  m_newest = 0.0f;
  if (!m_model) return;
  m_model->Reset(false);  // back on the grid place, at rest, until its machine reports
  m_model->m_collidable = 1;
  m_vehicle.SelectGear(1);
  m_vehicle.SetClutch(0.0f);
  m_vehicle.SetThrottle(0.0f);
  m_vehicle.SetBrake(1.0f);
  m_vehicle.SetSteering(0.0f);
  m_position = m_previous = m_model->GetPosition();
  m_follower.PrepareStart(false);
}

bool RemoteRacer::Receive(const RemoteCarState& s, float now) {
  for (float v : s.orientation)
    if (!std::isfinite(v)) return false;
  if (!Finite(s.angularVelocity) || !std::isfinite(s.steering) || !std::isfinite(s.pedal))
    return false;
  RemoteState r;
  r.position = s.position;
  r.velocity = s.velocity;
  const bool had = m_driver.HasState();
  // The driver checks the rest and keeps the newest state's time.
  if (!m_driver.Receive(r, s.raceTime, now)) return false;
  if (had && s.raceTime < m_newest) return true;  // out of order: the newer state stays
  m_newest = s.raceTime;
  m_pending = s;
  m_hasPending = true;
  ++m_received;
  return true;
}

void RemoteRacer::Apply(const RemoteCarState& s) {
  VQVector position;
  float current[4], orientation[4];
  m_model->GetOrientation(current);
  RemoteCarState_Blend(m_model->GetPosition(), current, s, &position, orientation);
  m_model->SetPosition(position);
  m_model->SetOrientation(orientation);
  m_model->SetVelocity(s.velocity);
  m_model->SetAngularVelocity(s.angularVelocity);
  m_model->SetSteering(std::clamp(s.steering, -1.0f, 1.0f));
  m_model->SetThrottle(std::clamp(s.pedal, 0.0f, 1.0f));
  m_model->SetBrake(std::clamp(-s.pedal, 0.0f, 1.0f));
  m_model->SetClutch(1.0f);
  m_model->SetGear(s.gear);
}

void RemoteRacer::Update(float dt) {
  if (!m_model) return;
  m_time += dt;
  m_previous = m_position;
  if (m_hasPending) {
    Apply(m_pending);
    m_hasPending = false;
  }
  m_follower.GetLookAheadPoint(m_time);
  const VQVector now = m_model->GetPosition();
  const VQVector jump = now - m_previous;
  if (jump.Dot(jump) > kTeleport * kTeleport) m_previous = now;
  m_position = now;
}

void RemoteRacer::GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const {
  const RaceTracker* t = m_track ? m_track->m_tracker : nullptr;
  const RaceTrackerEntry* e = t ? t->FindEntry(this) : nullptr;
  *lap = e ? e->laps : 0;
  *segment = m_follower.m_refSegment;
  *fraction = m_follower.m_refFraction;
}
