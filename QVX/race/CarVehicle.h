// A race Car as its computer driver sees it (AIVehicle): speed, pose and engine from the car's
// vehicle model, the controls through the car (so brake lights and the automatic gearbox follow
// them), placement through the model's start placement and the car's reset.
#pragma once

#include "QVX/race/AIDriver.h"

class Car;

class CarVehicle : public AIVehicle {
 public:
  explicit CarVehicle(Car* car = nullptr) : m_car(car) {}
  void SetCar(Car* car) { m_car = car; }
  Car* GetCar() const { return m_car; }

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
  // Fades the body (rescues): alpha 1 opaque, 0 gone.
  void SetVisibility(float v) override;

 private:
  Car* m_car;
};
