#include "QVX/race/TrackCars.h"

#include <cmath>

#include "QVX/race/Track.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/vehicle/TolvuCarModel.h"

TrackCarEnvironment::TrackCarEnvironment(Track* track) : m_track(track) {}

const char* TrackCarEnvironment::GetTrackName() const { return m_track->m_name.c_str(); }

VQGroundQuery TrackCarEnvironment::GetGroundQuery() const { return &Track::GroundQuery; }

VQNode* TrackCarEnvironment::GetCarGroup() {
  if (!m_group && m_track->m_main) {
    m_group = new VQGroupNode(0);
    m_group->SetName("g_cars");
    if (!m_track->m_main->AddChild(m_group)) {
      VQNode::Destroy(m_group);
      m_group = nullptr;
    }
  }
  return m_group;
}

bool TrackCarEnvironment::AttachCar(Car* car) {
  VQCollisionWorld* world = m_track->m_world;
  if (!car || !car->GetModel() || !world) return false;
  for (uint32_t i = 0; i < world->GetBodyCount(); ++i)
    if (world->GetBody(i) == car->GetModel()) return true;
  return world->AddBody(car->GetModel());
}

void TrackCarEnvironment::DetachCar(Car* car) {
  if (car && car->GetModel() && m_track->m_world) m_track->m_world->RemoveBody(car->GetModel());
}

float TrackCarEnvironment::GetRaceTime() const { return m_track->m_currentTime; }

bool TrackCarEnvironment::IsOddSubStep() const {
  return m_track->m_world && (m_track->m_world->GetSubStepCounter() & 1u) != 0;
}

int32_t TrackCarEnvironment::GetRaceMode() const { return m_track->m_services.gameMode; }

float TrackCarEnvironment::ShadowAt(float x, float y) const { return m_track->ShadowAt(x, y); }

float TrackCarEnvironment::WetnessAt(float x, float y) const { return m_track->SecondMapAt(x, y); }

CarRacer::CarRacer(CarCatalog* catalog, TrackCarEnvironment* environment, const CarSetup& setup,
                   uint32_t driverType)
    : m_catalog(catalog), m_environment(environment), m_setup(setup), m_type(driverType) {}

CarRacer::~CarRacer() { ReleaseCar(); }

VQVehicleModel* CarRacer::GetVehicle() { return m_car.IsCreated() ? m_car.GetModel() : nullptr; }

void CarRacer::PlaceAtStart(const VQVector& position, float heading) {
  ReleaseCar();
  m_setup.position = position;
  m_setup.angles = VQVector(0, 0, heading);
  if (!m_car.Create(m_catalog, m_environment, m_setup)) return;
  if (!m_car.Attach()) {
    m_car.Release(true);
    return;
  }
  m_position = m_previous = m_car.GetPosition();
  m_progressKnown = false;
}

void CarRacer::ReleaseCar() {
  if (!m_car.IsCreated()) return;
  if (m_car.IsAttached()) m_car.Detach();
  m_car.Release(true);
}

void CarRacer::Update(float dt) {
  if (!m_car.IsCreated()) return;
  m_car.Update(dt, m_environment->GetRaceTime());
  m_previous = m_position;
  m_position = m_car.GetPosition();
}

void CarRacer::UpdateProgress() {
  const Track* track = g_track;
  const TrackAILine* line = track && track->m_aiLineCount ? track->m_aiLines[0] : nullptr;
  if (!line || line->Count() == 0) return;
  const uint32_t n = line->Count();
  // The nearest line point: near the last one once known, else anywhere.
  const int32_t reach = m_progressKnown ? 20 : int32_t(n);
  float best = 1e30f;
  uint32_t at = m_segment;
  for (int32_t d = -reach; d <= reach; ++d) {
    const uint32_t k = uint32_t(((int64_t(m_segment) + d) % int64_t(n) + n) % n);
    const VQVector2 p = line->points[k] - VQVector2(m_position.x, m_position.y);
    const float dist = p.Dot(p);
    if (dist < best) best = dist, at = k;
  }
  if (m_progressKnown && m_segment > n * 3 / 4 && at < n / 4) ++m_lap;
  if (m_progressKnown && m_segment < n / 4 && at > n * 3 / 4 && m_lap) --m_lap;
  m_segment = at;
  const VQVector2 along = VQVector2(m_position.x, m_position.y) - line->points[at];
  m_fraction =
      line->lengths[at] > 0
          ? std::fmin(1.0f, std::fmax(0.0f, along.Dot(line->directions[at]) / line->lengths[at]))
          : 0.0f;
  m_progressKnown = true;
}

void CarRacer::GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const {
  *lap = m_lap, *segment = m_segment, *fraction = m_fraction;
}
