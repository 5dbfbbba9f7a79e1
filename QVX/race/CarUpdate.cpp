// Car's per-frame work and its controls: the automatic gearbox, frozen cars, the pose, tyre and
// engine smoke, spray, sounds, shading and the reflection.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "QVX/race/Car.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/CarEnvironment.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQParticleSystem.h"
#include "Zentri/vehicle/TolvuCarModel.h"

// ---- automatic gearbox ------------------------------------------------------------------------

CarGearboxOutput CarGearbox_Decide(const CarGearboxInput& in) {
  CarGearboxOutput out{in.gear, false, 1.0f, false, in.interval};
  const float elapsed = in.now - in.lastShift;
  if (elapsed < in.interval) {
    // The clutch closes linearly over the blocking interval; only first gear may pull meanwhile.
    out.clutch = in.interval > 0.0f ? std::clamp(elapsed / in.interval, 0.0f, 1.0f) : 1.0f;
    out.throttleCut = in.gear != CAR_GEAR_FIRST;
    return out;
  }
  out.clutch = in.gear == CAR_GEAR_NEUTRAL ? 0.0f : 1.0f;
  const float speed = std::fabs(in.speed);
  auto shift = [&](int32_t to, float interval) {
    out.gear = to;
    out.shifted = true;
    out.interval = interval;
  };
  if (in.gear == CAR_GEAR_REVERSE) {
    if (speed < 0.5f && in.throttle < 0.1f && in.brake > 0.5f) shift(CAR_GEAR_NEUTRAL, 0.1f);
  } else if (in.gear == CAR_GEAR_NEUTRAL) {
    if (in.rpm > 1000.0f) {
      shift(CAR_GEAR_FIRST, 0.3f);
      out.clutch = 0.0f;
    } else if (speed < 1.0f && in.throttle < 0.1f && in.brake > 0.5f) {
      shift(CAR_GEAR_REVERSE, 0.1f);
    }
  } else {
    if (in.rpm > 9000.0f && in.gear < in.gearCount + 1) {
      shift(in.gear + 1, 0.1f);
      out.clutch = 0.0f;
      out.throttleCut = true;
    } else if (in.rpm < 1500.0f && in.gear > CAR_GEAR_FIRST && in.throttle < 0.5f) {
      shift(in.gear - 1, 0.1f);
    } else if (in.rpm < 40.0f) {
      shift(in.gear - 1, 0.1f);
    }
  }
  return out;
}

void Car::UpdateGearbox(float raceTime) {
  CarGearboxInput in{m_gear,
                     m_gearCount,
                     float(m_model->GetThrottle()),
                     float(m_model->GetBrake()),
                     float(m_model->GetEngineRpm()),
                     float(m_model->GetSpeed()),
                     raceTime,
                     m_lastShift,
                     m_shiftInterval};
  const CarGearboxOutput out = CarGearbox_Decide(in);
  m_model->SetClutch(out.clutch);
  if (out.throttleCut) m_model->SetThrottle(0.0f);
  if (out.shifted) {
    m_gear = out.gear;
    m_model->SetGear(m_gear);
    m_lastShift = raceTime;
    m_shiftInterval = out.interval;
  }
}

// ---- controls ---------------------------------------------------------------------------------

void Car::SetSteering(float v) {
  if (m_model) m_model->SetSteering(v);
}
float Car::GetSteering() const { return m_model ? float(m_model->GetSteering()) : 0.0f; }
void Car::SetThrottle(float v) {
  if (m_model) m_model->SetThrottle(v);
}
float Car::GetThrottle() const { return m_model ? float(m_model->GetThrottle()) : 0.0f; }
void Car::SetBrake(float v) {
  if (m_model) m_model->SetBrake(v);
  if (m_hasBrakeLights && m_brakes) m_brakes->m_enabled = v >= 0.1f ? 1 : 0;
}
float Car::GetBrake() const { return m_model ? float(m_model->GetBrake()) : 0.0f; }
bool Car::AreBrakeLightsOn() const { return m_hasBrakeLights && m_brakes && m_brakes->m_enabled; }
void Car::SetClutch(float v) {
  if (m_model) m_model->SetClutch(v);
}
float Car::GetClutch() const { return m_model ? float(m_model->GetClutch()) : 0.0f; }
void Car::SetParkBrake(float v) {
  if (m_model && m_parkBrake) m_model->SetParkBrake(v);
}
void Car::SelectGear(int32_t index) {
  if (index < 0 || index > m_gearCount + 1) return;
  m_gear = index;
  if (m_model) m_model->SetGear(index);
}
void Car::ShiftGear(int32_t delta) {
  if (delta == 0) return;
  const int32_t to = m_gear + delta;
  if (to < 0 || to > m_gearCount + 1) return;
  SelectGear(to);
}

void Car::SetHeadLights(bool on) {
  if (!m_hasLights) return;
  for (VQNode* l : m_lights)
    if (l) l->m_enabled = on ? 1 : 0;
  m_lightsOn = on ? 1 : 0;
}
void Car::ToggleHeadLights() {
  if (m_hasLights) SetHeadLights(!m_lightsOn);
}
void Car::SetHorn(bool on) {
  if (m_hasHorn && m_hornNode) m_hornNode->SetRange(on ? 25.0f : 0.0f);
}
bool Car::IsHornOn() const { return m_hornNode && m_hornNode->m_range != 0.0f; }
void Car::SetHornVolume(float v) {
  if (m_hasHorn && m_hornNode) m_hornNode->m_volume = v;
}
void Car::EnableSounds() {
  for (VQNode* n : {static_cast<VQNode*>(m_engineNode), static_cast<VQNode*>(m_roadNode),
                    static_cast<VQNode*>(m_hornNode)})
    if (n) n->m_enabled = 1;
}
void Car::DisableSounds() {
  for (VQNode* n : {static_cast<VQNode*>(m_engineNode), static_cast<VQNode*>(m_roadNode),
                    static_cast<VQNode*>(m_hornNode)})
    if (n) n->m_enabled = 0;
}
void Car::SetEngineSmoke(bool on) {
  m_engineSmokeOn = on ? 1 : 0;
  if (!on && m_engineSmoke) m_engineSmoke->m_rate = 0.0f;
}
void Car::ClearEffects() {
  for (VQParticleSystem* e :
       {m_tyreSmoke[0], m_tyreSmoke[1], m_tyreSmoke[2], m_tyreSmoke[3], m_engineSmoke, m_spray})
    if (e) {
      e->Clear();
      e->m_rate = 0.0f;
    }
}
void Car::ShowReflection(bool on) {
  if (m_reflectGroup) m_reflectGroup->m_enabled = on ? 1 : 0;
}
void Car::SetBodyAlpha(float alpha) {
  if (!m_bodyGeoset || !m_bodyGeoset->m_table) return;
  VQMattable* table = m_bodyGeoset->m_table;
  for (uint32_t i = 0; i < table->m_count; ++i) {
    VQMaterial* m = table->m_slots[i];
    if (!m) continue;
    m->m_diffuse.a = alpha;
    m->m_opacity = alpha;
    m->m_srcBlend = alpha < 1.0f ? 2 : 1;
    m->m_dstBlend = alpha < 1.0f ? 3 : 0;
  }
  table->m_hasTransparent = alpha < 1.0f ? 1 : 0;
}

void Car::GetPositions(VQVector* reference, VQVector* reset) const {
  if (reference) *reference = m_referencePosition;
  if (reset) *reset = m_resetPosition;
}
void Car::HoldPosition(bool on) {
  m_hold = on ? 1 : 0;
  if (on && m_bodyTransform) {
    m_holdX = m_bodyTransform->m_matrix.m[12];
    m_holdY = m_bodyTransform->m_matrix.m[13];
  }
}
const VQMatrix* Car::GetWheelNodeMatrix(int wheel) const {
  if (wheel < 0 || wheel > 3 || !m_wheels[wheel]) return nullptr;
  return &m_wheels[wheel]->m_matrix;
}
const VQMatrix* Car::GetBodyMatrix() const {
  return m_bodyTransform ? &m_bodyTransform->m_matrix : nullptr;
}
VQVector Car::GetPosition() const { return m_model ? m_model->GetPosition() : VQVector(0, 0, 0); }
VQVector Car::GetVelocity() const { return m_model ? m_model->GetVelocity() : VQVector(0, 0, 0); }
float Car::GetSpeed() const { return m_model ? float(m_model->GetSpeed()) : 0.0f; }
float Car::GetEngineRpm() const { return m_model ? float(m_model->GetEngineRpm()) : 0.0f; }
float Car::GetUpAxisZ() const { return m_bodyTransform ? m_bodyTransform->m_matrix.m[10] : 1.0f; }
VQNode* Car::FindNode(const char* name) const {
  return m_root ? m_root->FindByName(name) : nullptr;
}
float Car::GetTyreSmokeRate(int wheel) const {
  return wheel >= 0 && wheel < 4 && m_tyreSmoke[wheel] ? m_tyreSmoke[wheel]->m_rate : 0.0f;
}
float Car::GetEngineSmokeRate() const { return m_engineSmoke ? m_engineSmoke->m_rate : 0.0f; }
float Car::GetSprayRate() const { return m_spray ? m_spray->m_rate : 0.0f; }

bool Car::Attach() {
  if (!m_created || m_attached) return m_attached != 0;
  VQNode* group = m_environment->GetCarGroup();
  if (!group || !group->AddChild(m_root)) return false;
  if (!m_catalog->m_shadows && m_shadow) m_shadow->m_enabled = 0;
  if (!m_environment->AttachCar(this)) {
    group->RemoveChild(m_root);
    return false;
  }
  m_attached = 1;
  return true;
}

void Car::Detach() {
  if (!m_attached) return;
  m_environment->DetachCar(this);
  if (m_root && m_root->m_parent) m_root->m_parent->RemoveChild(m_root);
  m_attached = 0;
}

void Car::UpdateTransforms() {
  if (m_model)
    m_model->GetTransforms(m_bodyTransform, m_wheels[0], m_wheels[1], m_wheels[2], m_wheels[3],
                           nullptr);
}

void Car::Reset() {
  if (!m_created) return;
  m_frozenFrames = 0;
  m_sprayFactor = 0.0f;
  m_model->m_enabled = 1;
  m_model->Reset(false);
  m_gear = CAR_GEAR_NEUTRAL;
  m_lastShift = 0.0f;
  m_shiftInterval = 0.1f;
  m_model->SetGear(m_gear);
  m_model->SetClutch(1.0f);
  m_model->SetBrake(0.0f);
  m_model->SetSteering(0.0f);
  m_referencePosition = m_resetPosition;
  m_referencePosition = m_model->GetPosition();
  m_previousPosition = m_referencePosition;
  UpdateTransforms();
}

// The head-light glow shows only while the lamp faces the camera.
bool Car::GlowCallback(VQCallbackNode* node, uintptr_t user) {
  const Car* car = reinterpret_cast<const Car*>(user);
  if (!car || !car->m_lightsOn) return false;
  (void)node;
  VQVector axis;
  g_VQrender.Top().RotateVector(axis, VQVector(0, 1, 0));
  const float c = -axis.y;
  return std::fabs(c) >= 0.8f;
}

// ---- per frame --------------------------------------------------------------------------------

void Car::UpdateWheel(int w, float effectGain, const VQVector& velocity, float* pitch,
                      float* gain) {
  *pitch = 1.0f;
  *gain = 0.0f;
  m_wheelSlip[w] = 0.0f;
  VQParticleSystem* smoke = m_tyreSmoke[w];
  if (!m_model->IsFullRate()) {
    if (smoke) smoke->m_rate = 0.0f;
    return;
  }
  // Slip: the longitudinal slip and the cross-weighted slip angle, scaled by the wheel's load
  // (the model's load relative to the static one; a wheel in the air does not slip).
  const double a = m_model->GetWheelValueA(w), b = m_model->GetWheelValueB(w) * m_slipTuning[3];
  const double load = std::clamp(m_model->GetWheelLoad(w), 0.0, 3.0);
  const float slip = float(std::sqrt(a * a + b * b) * load);
  m_wheelSlip[w] = std::isfinite(slip) ? slip : 0.0f;
  const bool smokes = m_environment->MaterialSmokes(m_model->m_wheelMaterial[w]);
  if (smoke) {
    smoke->m_emitter = m_model->m_wheelContact[w] + VQVector(0, 0, 0.05f);
    smoke->m_rate =
        smokes && m_wheelSlip[w] > m_smokeThreshold
            ? effectGain * m_smokeEmission * 10.0f * (m_wheelSlip[w] - m_smokeThreshold + 1.0f)
            : 0.0f;
    smoke->m_startVelocity = velocity * m_smokeVelocityFactor + m_smokeVelocityOffset;
  }
  if (!smokes) return;
  *pitch = m_wheelSlip[w] * m_slipTuning[0] + m_slipTuning[1];
  *gain = m_wheelSlip[w] >= m_slipTuning[2] ? m_wheelSlip[w] * m_smokeGain : 0.0f;
}

void Car::Update(float dt, float raceTime) {
  (void)dt;
  if (!m_created) return;
  const uint32_t level = m_catalog->m_effectLevel;
  const float effectGain = level >= 2 ? 1.0f : level == 1 ? 0.5f : 0.0f;

  if (!m_manual) UpdateGearbox(raceTime);

  if (m_frozen) {
    ++m_frozenFrames;
    if (m_frozenFrames > 10) {
      m_model->m_enabled = 0;
      const int32_t mode = m_environment->GetRaceMode();
      if (mode < 3 || mode > 6) {
        if (std::rand() % 50 == 1) {
          m_model->SetThrottle(1.0f);
          m_blipCounter = 0;
        } else if (++m_blipCounter > 4) {
          m_model->SetThrottle(0.0f);
        }
      }
    }
  } else {
    m_model->m_enabled = 1;
  }

  UpdateTransforms();
  if (m_hold) {
    VQVector p = m_model->GetPosition();
    p.x = m_holdX;
    p.y = m_holdY;
    m_model->SetPosition(p);
    m_bodyTransform->m_matrix.m[12] = m_holdX;
    m_bodyTransform->m_matrix.m[13] = m_holdY;
  }
  const VQVector velocity = m_model->GetVelocity();
  m_environment->UpdateMovingObject(this, m_model->GetPosition(), velocity);
  if (!m_model->IsFullRate() && !m_frozen && m_environment->IsOddSubStep()) {
    // A half-rate model stands still between its steps: move the nodes half a step on.
    const VQVector half = (m_model->GetPosition() - m_model->GetLastPosition()) * 0.5f;
    for (VQTransformNode* t :
         {m_bodyTransform, m_wheels[0], m_wheels[1], m_wheels[2], m_wheels[3]}) {
      t->m_matrix.m[12] += half.x;
      t->m_matrix.m[13] += half.y;
      t->m_matrix.m[14] += half.z;
    }
  }

  // Wheels: the loudest slip drives the road noise.
  float roadPitch = 1.0f, roadGain = 0.0f;
  static const int kOrder[4] = {CAR_WHEEL_LR, CAR_WHEEL_RR, CAR_WHEEL_LF, CAR_WHEEL_RF};
  for (int w : kOrder) {
    float pitch, gain;
    UpdateWheel(w, effectGain, velocity, &pitch, &gain);
    if (gain > roadGain) {
      roadGain = gain;
      roadPitch = pitch;
    }
  }

  // Sounds.
  const float volume = m_catalog->m_volumeCars * m_catalog->m_volumeMaster;
  const float rpm = float(m_model->GetEngineRpm());
  m_enginePitch = std::max(0.05f, m_pitch[0] + m_pitch[1] * rpm / 10000.0f);
  m_engineGain = (float(m_model->GetThrottle()) + 1.0f) * 0.5f * volume;
  m_roadGain = std::min(roadGain, 1.0f) * volume;
  if (m_engineNode) {
    m_engineNode->m_speed = int32_t(std::lround(100.0f * m_enginePitch));
    m_engineNode->m_volume = m_engineGain;
    m_engineNode->m_velocity = velocity;
  }
  if (m_roadNode) {
    m_roadNode->m_speed = int32_t(std::lround(100.0f * std::clamp(roadPitch, 0.05f, 4.0f)));
    m_roadNode->m_volume = m_roadGain;
    m_roadNode->m_velocity = velocity;
  }
  if (m_hornNode) m_hornNode->m_velocity = velocity;

  // Engine smoke, at its place on the body.
  const VQMatrix& body = m_bodyTransform->m_matrix;
  if (m_engineSmoke && m_engineSmokeOn) {
    if (m_model->GetThrottle() >= 0.1) {
      const float weight = 1.0f;
      m_engineSmoke->m_rate = effectGain * m_engineSmokeEmission * weight;
      body.TransformPoint(m_engineSmoke->m_emitter,
                          m_engineSmokePosition + m_engineSmokeWeight * (rpm * 0.00001f));
      m_engineSmoke->m_startVelocity = velocity * m_engineSmokeVelocityFactor + m_engineSmokeOffset;
    } else {
      m_engineSmoke->m_rate = 0.0f;
    }
  }

  m_bodyTransform->Notify();

  // Shading from the track's shadow map under the body: it scales the materials' own colours.
  if (m_bodyGeoset && m_bodyGeoset->m_table) {
    VQVector at;
    body.TransformPoint(at, VQVector(0, 0.4f, 0));
    const float v = std::clamp(m_environment->ShadowAt(at.x, at.y), 0.0f, 1.0f);
    VQMattable* table = m_bodyGeoset->m_table;
    for (uint32_t i = 0; i < table->m_count && i < m_bodyColours.size(); ++i)
      if (VQMaterial* m = table->m_slots[i]) {
        m->m_diffuse.r = m_bodyColours[i].r * v;
        m->m_diffuse.g = m_bodyColours[i].g * v;
        m->m_diffuse.b = m_bodyColours[i].b * v;
      }
  }

  // Spray.
  if (m_spray) {
    const VQVector p = m_model->GetPosition();
    m_sprayFactor = 1.0f - std::clamp(m_environment->WetnessAt(p.x, p.y), 0.0f, 1.0f);
    const float speed = float(m_model->GetSpeed());
    const CarWeather& weather = m_environment->GetWeather();
    if (speed > 1.0f) {
      m_spray->m_rate = effectGain * (weather.sprayBase + weather.sprayScale * m_sprayFactor);
      VQVector v = velocity * m_sprayVelocityFactor + m_sprayOffset;
      v.z = std::min(v.z + speed * m_sprayHeightWeight + m_sprayHeightOffset, m_sprayCeiling);
      m_spray->m_startVelocity = v;
    } else {
      m_spray->m_rate = 0.0f;
    }
    body.TransformPoint(m_spray->m_emitter, VQVector(0, 0.3f, 0.05f));
  } else {
    m_sprayFactor = 0.0f;
  }
  m_model->m_wetness = 1.0f - m_sprayFactor;

  // Reflection: the body mirrored about the ground under the wheels.
  if (m_reflectTransform) {
    float ground = m_model->m_wheelGroundHeight[0];
    for (float h : m_model->m_wheelGroundHeight) ground = std::min(ground, h);
    ground -= 0.002f;
    VQMatrix m = body;
    m.m[2] = -m.m[2];
    m.m[6] = -m.m[6];
    m.m[8] = -m.m[8];
    m.m[9] = -m.m[9];
    m.m[14] = 2.0f * ground - body.m[14];
    m_reflectTransform->m_matrix = m;
    m_reflectTransform->Notify();
  }
  m_previousPosition = m_model->GetPosition();
}
