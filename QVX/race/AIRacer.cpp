#include "QVX/race/AIRacer.h"

#include "Zentri/vehicle/VQVehicleModel.h"

float AIRacer::Speed() const { return float(m_model->GetSpeed()); }
VQVector AIRacer::Position() const { return m_model->GetPosition(); }
VQVector AIRacer::Velocity() const { return m_model->GetVelocity(); }
float AIRacer::EngineRpm() const { return float(m_model->GetEngineRpm()); }

VQVector AIRacer::Forward() const {
  const VQMatrix* m = m_model->GetWorldMatrix();
  return m ? VQVector(m->m[4], m->m[5], m->m[6]) : VQVector(0, 1, 0);
}

VQVector AIRacer::Up() const {
  const VQMatrix* m = m_model->GetWorldMatrix();
  return m ? VQVector(m->m[8], m->m[9], m->m[10]) : VQVector(0, 0, 1);
}

float AIRacer::Steering() const { return float(m_model->GetSteering()); }
float AIRacer::Throttle() const { return float(m_model->GetThrottle()); }
float AIRacer::Brake() const { return float(m_model->GetBrake()); }
void AIRacer::SetSteering(float v) { m_model->SetSteering(v); }
void AIRacer::SetThrottle(float v) { m_model->SetThrottle(v); }
void AIRacer::SetBrake(float v) { m_model->SetBrake(v); }
void AIRacer::SetClutch(float v) { m_model->SetClutch(v); }

void AIRacer::SelectGear(int index) {
  m_gear = index - 1;
  m_model->SetGear(index);
  m_shiftWait = AIRACER_SHIFT_HOLD;
}

void AIRacer::Place(const VQVector& position, float heading) {
  m_model->SetStartPlacement(position, VQVector(0.0f, 0.0f, heading));
  m_model->Reset(false);
  m_model->SetSteering(0.0f);
  m_model->SetThrottle(0.0f);
  m_model->SetBrake(0.0f);
}

void AIRacer::SetCollisions(bool on) { m_model->m_collidable = on ? 1 : 0; }

void AIRacer::UpdateGearbox(float dt) {
  m_shiftWait -= dt;
  if (m_gear < 1 || m_shiftWait > 0.0f) return;
  const float rpm = EngineRpm();
  int gear = m_gear;
  if (rpm > AIRACER_SHIFT_UP_RPM && gear < AIRACER_TOP_GEAR)
    ++gear;
  else if (rpm < AIRACER_SHIFT_DOWN_RPM && gear > 1)
    --gear;
  if (gear != m_gear) SelectGear(gear + 1);
}

void AIRacer_AddContactSpheres(VQVehicleModel* model, const VQContactMaterial* material) {
  for (float x : {-0.8f, 0.8f})
    for (float y : {-0.6f, 0.6f, 2.0f, 3.2f})
      model->AddCollisionSphere(VQVector(x, y, 0.6f), 0.4f, 0);
  model->AddCollisionSphere(VQVector(0.0f, 1.0f, 1.1f), 0.4f, 0);
  model->SetAllSphereValues(material);
  model->m_collidable = 1;
}
