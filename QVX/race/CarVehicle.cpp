#include "QVX/race/CarVehicle.h"

#include "QVX/race/Car.h"
#include "Zentri/vehicle/TolvuCarModel.h"

// Every answer has a neutral value without a car, so a driver whose car was released mid-race
// (a network player leaving) does nothing harmful until it is removed.
float CarVehicle::Speed() const { return m_car ? m_car->GetSpeed() : 0.0f; }
VQVector CarVehicle::Position() const { return m_car ? m_car->GetPosition() : VQVector(0, 0, 0); }
VQVector CarVehicle::Velocity() const { return m_car ? m_car->GetVelocity() : VQVector(0, 0, 0); }
float CarVehicle::EngineRpm() const { return m_car ? m_car->GetEngineRpm() : 0.0f; }

VQVector CarVehicle::Forward() const {
  const TolvuCarModel* model = m_car ? m_car->GetModel() : nullptr;
  const VQMatrix* m = model ? const_cast<TolvuCarModel*>(model)->GetWorldMatrix() : nullptr;
  return m ? VQVector(m->m[4], m->m[5], m->m[6]) : VQVector(0, 1, 0);
}

VQVector CarVehicle::Up() const {
  const TolvuCarModel* model = m_car ? m_car->GetModel() : nullptr;
  const VQMatrix* m = model ? const_cast<TolvuCarModel*>(model)->GetWorldMatrix() : nullptr;
  return m ? VQVector(m->m[8], m->m[9], m->m[10]) : VQVector(0, 0, 1);
}

float CarVehicle::Steering() const { return m_car ? m_car->GetSteering() : 0.0f; }
float CarVehicle::Throttle() const { return m_car ? m_car->GetThrottle() : 0.0f; }
float CarVehicle::Brake() const { return m_car ? m_car->GetBrake() : 0.0f; }
void CarVehicle::SetSteering(float v) {
  if (m_car) m_car->SetSteering(v);
}
void CarVehicle::SetThrottle(float v) {
  if (m_car) m_car->SetThrottle(v);
}
void CarVehicle::SetBrake(float v) {
  if (m_car) m_car->SetBrake(v);
}
void CarVehicle::SetClutch(float v) {
  if (m_car) m_car->SetClutch(v);
}
void CarVehicle::SelectGear(int index) {
  if (m_car) m_car->SelectGear(index);
}

void CarVehicle::Place(const VQVector& position, float heading) {
  if (!m_car || !m_car->GetModel()) return;
  m_car->GetModel()->SetStartPlacement(position, VQVector(0.0f, 0.0f, heading));
  m_car->Reset();
  m_car->SetSteering(0.0f);
  m_car->SetThrottle(0.0f);
  m_car->SetBrake(0.0f);
}

void CarVehicle::SetCollisions(bool on) {
  if (m_car && m_car->GetModel()) m_car->GetModel()->m_collidable = on ? 1 : 0;
}

void CarVehicle::SetVisibility(float v) {
  if (m_car) m_car->SetBodyAlpha(v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v);
}
