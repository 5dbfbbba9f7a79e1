#include "QVX/race/HumanRacer.h"

#include <algorithm>
#include <cmath>

#include "QVX/race/AIPath.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/Player.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

// The brake a finished car coasts out with: below the automatic gearbox's reverse threshold.
constexpr float kRollOutBrake = 0.4f;
// The rescue control works while the car is slower than this (stuck) or on its roof.
constexpr float kRescueSpeed = 4.0f;
// The steering assist aims at the line this far ahead (metres, plus half a second of travel)
// and eases the throttle when the aim lies more than kAssistBend off the car's heading.
constexpr float kAssistAhead = 14.0f;
constexpr float kAssistBend = 0.35f;
constexpr float kAssistGain = 2.5f;
// The assist also keeps the car below the speed the computer drivers hold on the line ahead:
// the shortest segment within the braking distance (plus kAssistLookMin metres) times
// kAssistSpeedPerLength plus kAssistSpeedOffset (the slowest generated drivers' pace); above it
// the throttle is shut and the brake applied.
constexpr float kAssistLookMin = 10.0f;
constexpr float kAssistDecel = 5.0f;  // m/s^2 the look-ahead allows for braking
constexpr float kAssistSpeedPerLength = 0.92f;
constexpr float kAssistSpeedOffset = 7.4f;
// An assisted car that stands still (below kAssistStillSpeed) with the throttle pressed for
// kAssistStillTime seconds is stuck against something: the assist asks for a rescue, as a
// player would.
constexpr float kAssistStillSpeed = 1.0f;
constexpr float kAssistStillTime = 3.0f;
// A car below this height has fallen off the world: it is rescued.
constexpr float kFallenHeight = -10.0f;

// The human's car: the detailed model, the horn, and the class name kept by the catalog (the
// setup only points at it).
CarSetup HumanSetup(CarCatalog* catalog, const CarSetup& in) {
  CarSetup s = in;
  s.computer = false;
  s.horn = true;
  if (catalog && in.carName)
    if (const CarClassInfo* info = catalog->Find(in.carName)) s.carName = info->name.c_str();
  return s;
}

}  // namespace

HumanRacer::HumanRacer(Player* player, CarCatalog* catalog, TrackCarEnvironment* environment,
                       const CarSetup& setup, const AICourse* course, int32_t viewIndex)
    : FollowedCarRacer(catalog, environment, HumanSetup(catalog, setup), TRACK_DRIVER_HUMAN,
                       course, AIDRIVER_HUMAN),
      m_player(player),
      m_viewIndex(viewIndex),
      m_manual(player && player->m_profile.manual != 0) {}

HumanRacer::~HumanRacer() { ReleaseCar(); }

const char* HumanRacer::GetName() const { return m_player ? m_player->m_name : ""; }

void HumanRacer::ReleaseCar() {
  if (m_player && m_player->m_car == &GetCar()) m_player->m_car = nullptr;
  FollowedCarRacer::ReleaseCar();
}

void HumanRacer::PlaceAtStart(const VQVector& position, float heading) {
  // Held in neutral until the green light.
  FollowedCarRacer::PlaceAtStart(position, heading);
  if (!GetVehicle()) return;
  Car& car = GetCar();
  car.m_owner = m_player;
  // The steering rates of the bindings follow this car's speed.
  if (m_player) m_player->m_car = &car;
}

void HumanRacer::PrepareRace(bool, uint32_t) {
  m_started = m_finished = m_onPodium = m_startHeld = false;
  m_lastThrottle = m_assistStill = 0.0f;
  m_time = 0.0f;
  // The last race's counted crossing would keep the start line from counting for the first
  // seconds of the next (the race clock starts again at 0).
  SetLapMarkTime(-100.0f);
  if (m_player) m_player->ClearControls();
  Car* car = ReturnToGrid();
  if (!car) return;
  car->SetThrottle(0.0f);
  car->SetBrake(1.0f);
  m_follower.PrepareStart(false);
}

void HumanRacer::PreparePractice(bool) { PrepareRace(true, 0); }

void HumanRacer::BeginRace() {
  if (m_started) return;
  m_started = true;
  if (!GetVehicle()) return;
  Car& car = GetCar();
  car.SetManualGearbox(m_manual);
  car.SelectGear(CAR_GEAR_FIRST);
  car.SetClutch(1.0f);
  car.SetBrake(0.0f);
}

void HumanRacer::Rescue() {
  if (GetVehicle() && m_course && m_course->LineCount() > 0 && !m_follower.Rescuing() &&
      !m_onPodium)
    m_follower.Rescue(0.0f);
}

void HumanRacer::PlaceOnPodium(uint32_t, const VQVector& position, float heading) {
  if (!GetVehicle()) return;
  if (m_follower.Rescuing()) m_follower.PrepareStart(false);  // ends the rescue
  m_onPodium = true;
  Car& car = GetCar();
  car.GetModel()->SetStartPlacement(position, VQVector(0.0f, 0.0f, heading));
  car.Reset();
  car.SetBodyAlpha(1.0f);
  car.SetThrottle(0.0f);
  car.SetBrake(1.0f);
  car.SetHorn(false);
  car.ClearEffects();
  car.SetFrozen(true);
}

float HumanRacer::AssistSteering(float* bend, float* limit) const {
  *bend = 0.0f;
  *limit = 1e9f;
  const AIPath* line = m_course && m_course->LineCount() > 0 ? m_course->Line(0) : nullptr;
  CarRacer& self = const_cast<HumanRacer&>(*this);
  if (!line || line->Count() < 2 || !self.GetVehicle()) return 0.0f;
  const VQVector p = GetPosition();
  const VQVector2 at(p.x, p.y);
  uint32_t segment = 0, ahead = 0;
  float fraction = 0.0f, aheadFraction = 0.0f;
  line->Nearest(at, 0, 0, &segment, &fraction);
  line->Walk(segment, fraction, kAssistAhead + 0.5f * self.GetCar().GetSpeed(), &ahead,
             &aheadFraction);
  const VQVector2 aim = line->PointAt(ahead, aheadFraction) - at;
  const VQVector forward = m_vehicle.Forward();
  const float angle = std::atan2(forward.x * aim.y - forward.y * aim.x,
                                 forward.x * aim.x + forward.y * aim.y);
  *bend = std::fabs(angle);
  const float speed = self.GetCar().GetSpeed();
  const float look = kAssistLookMin + speed * speed / (2.0f * kAssistDecel);
  float shortest = 1e9f, covered = -fraction * line->Length(segment);
  uint32_t k = segment;
  for (uint32_t guard = 0; guard < line->Count() && covered < look; ++guard) {
    shortest = std::min(shortest, line->Length(k));
    covered += line->Length(k);
    k = line->Next(k);
  }
  if (shortest < 1e9f) *limit = kAssistSpeedPerLength * shortest + kAssistSpeedOffset;
  // A positive angle lies to the left: steering to the left is negative.
  return -angle * kAssistGain;
}

void HumanRacer::ApplyControls(float dt) {
  Car& car = GetCar();
  float* c = m_player ? m_player->m_controls : nullptr;
  if (m_player && m_controlsOn && m_readBindings)
    m_player->PollControls(dt, m_manual ? PLAYER_MASK_ALL : PLAYER_MASK_NO_GEARS);
  if (!c || !m_controlsOn || m_onPodium) {
    car.SetThrottle(0.0f);
    car.SetHorn(false);
    if (!m_started || m_onPodium) car.SetBrake(1.0f);
    return;
  }
  float bend = 0.0f, limit = 1e9f;
  const float steering =
      m_steerAssist && m_started ? AssistSteering(&bend, &limit) : c[CONTROL_STEERING];
  car.SetSteering(std::clamp(steering, -1.0f, 1.0f));
  car.SetHorn(c[CONTROL_HORN] == 1.0f);
  if (c[CONTROL_LIGHTS] > 0.5f) car.ToggleHeadLights();
  const float throttle = std::clamp(c[CONTROL_THROTTLE], 0.0f, 1.0f);
  // Let go: off, or falling (a key's throttle falls at its back rate, not to 0 at once).
  const bool letGo = throttle <= 0.0f || throttle < m_lastThrottle;
  m_lastThrottle = throttle;
  if (!m_started) {
    // On the grid: the engine may rev in neutral, the brake holds the car. Throttle held
    // before the green light does not count until it is released.
    m_startHeld = !letGo;
    car.SelectGear(CAR_GEAR_NEUTRAL);
    car.SetThrottle(throttle);
    car.SetBrake(1.0f);
    return;
  }
  if (m_startHeld && letGo) m_startHeld = false;
  if (m_finished) {
    // Over the line: the car rolls out.
    car.SetThrottle(0.0f);
    car.SetBrake(kRollOutBrake);
    return;
  }
  float brake = std::clamp(std::max(c[CONTROL_BRAKE], c[CONTROL_SPAREBRAKE]), 0.0f, 1.0f);
  float pedal = m_startHeld ? 0.0f : bend > kAssistBend ? std::min(throttle, 0.4f) : throttle;
  const float speed = car.GetSpeed();
  if (speed > limit) {
    // Too fast for the line ahead: off the throttle and on the brake.
    pedal = 0.0f;
    brake = std::max(brake, std::clamp((speed - limit) * 0.2f, 0.2f, 1.0f));
  }
  car.SetThrottle(pedal);
  car.SetBrake(brake);
  car.SetParkBrake(std::clamp(c[CONTROL_PARKBRAKE], 0.0f, 1.0f));
  if (car.IsManualGearbox()) {
    if (c[CONTROL_GEAR] != 0.0f) car.ShiftGear(c[CONTROL_GEAR] > 0.0f ? 1 : -1);
    car.SetClutch(std::clamp(c[CONTROL_CLUTCH], 0.0f, 1.0f));
  }
  // The rescue control helps a car that is stuck or on its roof.
  if (c[CONTROL_RESCUE] > 0.0f && (car.GetSpeed() < kRescueSpeed || car.GetUpAxisZ() < 0.0f))
    Rescue();
  if (m_steerAssist) {
    m_assistStill = pedal > 0.0f && speed < kAssistStillSpeed ? m_assistStill + dt : 0.0f;
    if (m_assistStill >= kAssistStillTime) {
      m_assistStill = 0.0f;
      Rescue();
    }
  }
}

void HumanRacer::Update(float dt) {
  if (!GetVehicle()) return;
  m_time += dt;
  // While a rescue runs the follower has the car; the controls wait.
  if (!m_follower.Rescuing()) ApplyControls(dt);
  if (!m_onPodium && !m_follower.Rescuing() && GetPosition().z < kFallenHeight) Rescue();
  CarRacer::Update(dt);  // gearbox, pose, effects, sounds
  NoteJump();
  if (m_onPodium) return;
  // The follower keeps the car's place on the line (for rescues and progress) and runs a rescue.
  m_follower.GetLookAheadPoint(m_time);
  m_follower.UpdateFrame(dt);
}
