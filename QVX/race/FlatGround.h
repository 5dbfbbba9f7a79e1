// A flat test ground for cars: an endless plane at z = 0 with one surface (asphalt friction),
// its own collision world (sub-steps of 0.005 s), a scene root with the car group, and a clock.
// Cars drive on it exactly as on a track; tests, benchmarks and car-demo use it.
#pragma once

#include <cstdint>
#include <vector>

#include "QVX/race/CarEnvironment.h"
#include "Zentri/collision/VQCollisionWorld.h"

class VQRootNode;
class VQGroupNode;

class FlatGround : public CarEnvironment {
 public:
  FlatGround();
  ~FlatGround() override;

  const char* GetTrackName() const override { return "flatground"; }
  VQGroundQuery GetGroundQuery() const override { return &FlatGround::GroundHeight; }
  VQNode* GetCarGroup() override;
  bool AttachCar(Car* car) override;
  void DetachCar(Car* car) override;
  float GetRaceTime() const override { return m_time; }
  bool IsOddSubStep() const override { return (m_world.GetSubStepCounter() & 1u) != 0; }
  const CarWeather& GetWeather() const override { return m_weather; }

  // One frame: the collision world advances dt, the clock moves on, then every attached car's
  // Update runs (controls set before Step act in this frame).
  void Step(float dt);
  // The physics and the clock only (the owner updates the cars, e.g. through its players).
  void StepPhysics(float dt);
  // The scene root holding the ground plane geoset (when a display device made it) and the
  // car group; owned.
  VQRootNode* GetScene() const { return m_scene; }
  // Adds a visible ground plane (checked asphalt) of the device to the scene.
  void AddGroundMesh(class VQDisplayDevice* device);
  VQCollisionWorld& GetWorld() { return m_world; }
  const std::vector<Car*>& GetCars() const { return m_cars; }

  CarWeather m_weather;
  float m_friction = 1.0f;

  static float GroundHeight(const VQVector* point, VQVector* normal, float* dryFriction,
                            float* wetFriction, float* coefficient, float* rawHeight,
                            uint32_t* material, uint32_t* hint);
  static bool SweepSphere(const VQVector& start, const VQVector& end, float radius, float* distance,
                          VQVector* contact, const VQContactMaterial** material);

 private:
  VQCollisionWorld m_world;
  VQRootNode* m_scene = nullptr;
  VQGroupNode* m_group = nullptr;
  std::vector<Car*> m_cars;
  float m_time = 0.0f;
};
