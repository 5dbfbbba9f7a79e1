// A computer or remote driver's car as the driver sees it: an AIVehicle over a vehicle model
// (CAR_1 in races), with the automatic gearbox that a race car's per-frame update provides.
#pragma once

#include "QVX/race/AIDriver.h"

class VQVehicleModel;
struct VQContactMaterial;

// Automatic gearbox: one gear up above this engine speed, one down below the lower one, at most
// one change per AIRACER_SHIFT_HOLD seconds.
constexpr float AIRACER_SHIFT_UP_RPM = 6000.0f;
constexpr float AIRACER_SHIFT_DOWN_RPM = 2500.0f;
constexpr int AIRACER_TOP_GEAR = 5;
constexpr float AIRACER_SHIFT_HOLD = 0.8f;

class AIRacer : public AIVehicle {
 public:
  explicit AIRacer(VQVehicleModel* model) : m_model(model) {}

  float Speed() const override;
  VQVector Position() const override;
  VQVector Velocity() const override;
  float EngineRpm() const override;
  VQVector Forward() const override;
  VQVector Up() const override;
  float Steering() const override;
  float Throttle() const override;
  float Brake() const override;
  void SetSteering(float v) override;
  void SetThrottle(float v) override;
  void SetBrake(float v) override;
  void SetClutch(float v) override;
  void SelectGear(int index) override;
  void Place(const VQVector& position, float heading) override;
  void SetCollisions(bool on) override;

  // Per frame: the automatic gearbox (forward gears only).
  void UpdateGearbox(float dt);
  int Gear() const { return m_gear; }  // -1 reverse, 0 neutral, 1.. forward

  VQVehicleModel* m_model;

 private:
  int m_gear = 0;
  float m_shiftWait = 0.0f;
};

// The contact spheres of a bare race car (body frame: origin on the ground at the rear axle, y
// forward): four pairs along the sides and one on the roof, all of the given material (null: the
// world's default), and the car made collidable.
void AIRacer_AddContactSpheres(VQVehicleModel* model, const VQContactMaterial* material);
