#include "QVX/race/HumanRacer.h"

#include <algorithm>

#include "QVX/race/Player.h"
#include "QVX/race/Track.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {
// A car moving farther than this in one frame was put somewhere else (a rescue): the jump
// crosses no checkpoint line.
constexpr float kTeleport = 5.0f;
}  // namespace

HumanRacer::HumanRacer(Player* player, Track* track, const AICourse* course, std::string modelFile,
                       int32_t viewIndex)
    : m_player(player),
      m_track(track),
      m_course(course),
      m_modelFile(std::move(modelFile)),
      m_viewIndex(viewIndex) {
  m_follower.Setup(AIDRIVER_HUMAN, AIParameters());
}

HumanRacer::~HumanRacer() { ReleaseCar(); }

const char* HumanRacer::GetName() const { return m_player ? m_player->m_name : ""; }

VQVehicleModel* HumanRacer::GetVehicle() { return m_model.get(); }

void HumanRacer::ReleaseCar() {
  m_follower.Attach(nullptr, nullptr);
  m_vehicle.m_model = nullptr;
  m_model.reset();
}

void HumanRacer::PlaceAtStart(const VQVector& position, float heading) {
  ReleaseCar();
  m_model = std::make_unique<TolvuCarModel1>();
  if (!m_model->Initialize(nullptr, m_modelFile.c_str(), position, VQVector(0, 0, heading),
                           Track::GroundQuery)) {
    m_model.reset();
    return;
  }
  // Contact spheres (body frame: origin on the ground at the rear axle, y forward).
  const VQContactMaterial* material =
      m_track && !m_track->m_contacts.empty() ? &m_track->m_contacts[0] : nullptr;
  for (float x : {-0.8f, 0.8f})
    for (float y : {-0.6f, 0.6f, 2.0f, 3.2f})
      m_model->AddCollisionSphere(VQVector(x, y, 0.6f), 0.4f, 0);
  m_model->AddCollisionSphere(VQVector(0.0f, 1.0f, 1.1f), 0.4f, 0);
  m_model->SetAllSphereValues(material);
  m_model->m_collidable = 1;
  m_vehicle.m_model = m_model.get();
  m_follower.Attach(&m_vehicle, m_course);
  m_position = m_previous = m_model->GetPosition();
}

void HumanRacer::PrepareRace(bool, uint32_t) {
  m_started = m_finished = false;
  m_lapMark = -100.0f;
  m_time = 0.0f;
  if (m_player) m_player->ClearControls();
  if (!m_model) return;
  m_model->Reset(false);  // back to the grid place, at rest
  m_model->m_collidable = 1;
  m_vehicle.SelectGear(1);  // neutral until the green light
  m_vehicle.SetClutch(0.0f);
  m_vehicle.SetThrottle(0.0f);
  m_vehicle.SetBrake(1.0f);
  m_vehicle.SetSteering(0.0f);
  m_position = m_previous = m_model->GetPosition();
  m_follower.PrepareStart(false);
}

void HumanRacer::BeginRace() {
  m_started = true;
  if (!m_model) return;
  m_vehicle.SelectGear(2);  // first gear; the automatic gearbox shifts on
  m_vehicle.SetClutch(1.0f);
  m_vehicle.SetBrake(0.0f);
}

void HumanRacer::Rescue() {
  if (m_model && m_course && m_course->LineCount() > 0 && !m_follower.Rescuing())
    m_follower.Rescue(0.0f);
}

void HumanRacer::GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const {
  const RaceTracker* t = m_track ? m_track->m_tracker : nullptr;
  const RaceTrackerEntry* e = t ? t->FindEntry(this) : nullptr;
  *lap = e ? e->laps : 0;
  *segment = m_follower.m_refSegment;
  *fraction = m_follower.m_refFraction;
}

void HumanRacer::Update(float dt) {
  if (!m_model) return;
  m_time += dt;
  m_previous = m_position;
  if (m_player && m_controlsOn) m_player->PollControls(dt, PLAYER_MASK_ALL);
  const float* c = m_player ? m_player->m_controls : nullptr;
  if (!m_follower.Rescuing()) {
    if (!m_started) {
      // On the grid: held by the brake, the engine free.
      m_vehicle.SetThrottle(0.0f);
      m_vehicle.SetBrake(1.0f);
      m_vehicle.SetSteering(c && m_controlsOn ? c[CONTROL_STEERING] : 0.0f);
    } else if (c && m_controlsOn) {
      // Engaged on every frame: a rescue puts the car down with the clutch open.
      m_vehicle.SetClutch(1.0f);
      m_vehicle.SetSteering(std::clamp(c[CONTROL_STEERING], -1.0f, 1.0f));
      m_vehicle.SetThrottle(std::clamp(c[CONTROL_THROTTLE], 0.0f, 1.0f));
      m_vehicle.SetBrake(std::clamp(std::max(c[CONTROL_BRAKE], c[CONTROL_SPAREBRAKE]), 0.0f, 1.0f));
      if (c[CONTROL_RESCUE] > 0.0f) Rescue();
    } else {
      m_vehicle.SetThrottle(0.0f);
    }
    if (m_started) m_vehicle.UpdateGearbox(dt);
  }
  // The follower keeps the car's place on the line (for rescues and progress) and runs a rescue.
  m_follower.GetLookAheadPoint(m_time);
  m_follower.UpdateFrame(dt);
  const VQVector now = m_model->GetPosition();
  const VQVector jump = now - m_previous;
  if (jump.Dot(jump) > kTeleport * kTeleport) m_previous = now;
  m_position = now;
}
