#include "QVX/race/RemoteRacer.h"

#include <algorithm>
#include <cmath>

#include "QVX/race/CarCatalog.h"
#include "QVX/race/Track.h"
#include "Zentri/math/VQQuaternion.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

bool Finite(const VQVector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The remote car: the simpler vehicle model with a horn, its gears as received, and the class
// name kept by the catalog (the setup only points at it).
CarSetup RemoteSetup(CarCatalog* catalog, const CarSetup& in) {
  CarSetup s = in;
  s.computer = true;
  s.horn = true;
  s.manual = true;
  if (catalog && in.carName)
    if (const CarClassInfo* info = catalog->Find(in.carName)) s.carName = info->name.c_str();
  return s;
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
  const Car* car = racer->GetGameCar();
  out->horn = car != nullptr && car->IsHornOn();
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

RemoteRacer::RemoteRacer(uint8_t playerId, const char* name, CarCatalog* catalog,
                         TrackCarEnvironment* environment, const CarSetup& setup,
                         const AICourse* course, Track* track)
    : FollowedCarRacer(catalog, environment, RemoteSetup(catalog, setup), TRACK_DRIVER_REMOTE,
                       course, AIDRIVER_REMOTE),
      m_playerId(playerId),
      m_name(name ? name : ""),
      m_track(track) {}

RemoteRacer::~RemoteRacer() { ReleaseRetiredCar(); }

void RemoteRacer::ReleaseRetiredCar() {
  m_retired = false;
  ReleaseCar();
}

void RemoteRacer::ReleaseCar() {
  if (m_retired && GetVehicle()) {
    // Out of the race: hidden far below the track, silent and still, until it may go.
    Car& car = GetCar();
    car.SetHorn(false);
    car.DisableSounds();
    car.ClearEffects();
    car.SetBodyAlpha(0.0f);
    car.GetModel()->m_collidable = 0;
    car.GetModel()->SetStartPlacement(VQVector(0.0f, 0.0f, -1000.0f), VQVector(0, 0, 0));
    car.Reset();
    car.UpdateTransforms();
    car.GetModel()->m_enabled = 0;
    return;
  }
  FollowedCarRacer::ReleaseCar();
}

void RemoteRacer::PrepareRace(bool, uint32_t) {
  m_started = m_finished = m_jumped = false;
  m_time = 0.0f;
  m_hasPending = false;
  m_driver = RemoteDriver();
  m_newest = 0.0f;
  // Back on the grid place, at rest, until its machine reports.
  Car* car = ReturnToGrid();
  if (!car) return;
  car->SetClutch(0.0f);
  car->SetThrottle(0.0f);
  car->SetBrake(1.0f);
  car->SetSteering(0.0f);
  car->SetHorn(false);
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

bool RemoteRacer::Rescue(const VQVector& position, float heading, uint32_t segment,
                         float fraction) {
  if (!GetVehicle() || m_follower.Rescuing() || !Finite(position) || !std::isfinite(heading) ||
      !std::isfinite(fraction))
    return false;
  m_follower.SetRemotePlacement(position, heading, segment, std::clamp(fraction, 0.0f, 1.0f));
  m_follower.Rescue(0.0f);
  m_hasPending = false;  // a state from before the rescue would pull the car back
  return true;
}

void RemoteRacer::Apply(const RemoteCarState& s) {
  Car& car = GetCar();
  TolvuCarModel* model = car.GetModel();
  VQVector position;
  float current[4], orientation[4];
  model->GetOrientation(current);
  RemoteCarState_Blend(model->GetPosition(), current, s, &position, orientation);
  model->SetPosition(position);
  model->SetOrientation(orientation);
  model->SetVelocity(s.velocity);
  model->SetAngularVelocity(s.angularVelocity);
  car.SetSteering(std::clamp(s.steering, -1.0f, 1.0f));
  car.SetThrottle(std::clamp(s.pedal, 0.0f, 1.0f));
  car.SetBrake(std::clamp(-s.pedal, 0.0f, 1.0f));
  car.SetClutch(1.0f);
  car.SelectGear(s.gear);  // a gear the car does not have is left alone
  car.SetHorn(s.horn);
}

void RemoteRacer::Update(float dt) {
  if (!GetVehicle()) return;
  m_time += dt;
  if (m_follower.Rescuing()) {
    // The rescue has the car: the states that arrive meanwhile are dropped.
    m_follower.UpdateFrame(dt);
    m_hasPending = false;
  } else if (m_hasPending) {
    Apply(m_pending);
    m_hasPending = false;
  }
  CarRacer::Update(dt);  // pose, effects, sounds
  NoteJump();
  m_follower.GetLookAheadPoint(m_time);
}

void RemoteRacer::GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const {
  const RaceTracker* t = m_track ? m_track->m_tracker : nullptr;
  const RaceTrackerEntry* e = t ? t->FindEntry(this) : nullptr;
  *lap = e ? e->laps : 0;
  *segment = m_follower.m_refSegment;
  *fraction = m_follower.m_refFraction;
}
