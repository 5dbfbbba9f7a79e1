// What a Car asks of the place it drives in: the ground under its wheels, the scene group it
// is shown in, the collision world and lap tracker it joins, the race clock, the weather and
// the shading and wetness maps. A race track implements it; FlatGround (FlatGround.h) is a
// flat test ground that needs no track data. Every answer may be asked for every frame.
#pragma once

#include <cstdint>

#include "Zentri/math/VQVector.h"
#include "Zentri/vehicle/VQVehicleModel.h"

class Car;
class VQNode;
class VQTexture;

// The race weather as the cars read it.
struct CarWeather {
  uint8_t rain = 0;        // rain falls: no tyre smoke, spray behind the wheels
  uint8_t wet = 0;         // wet road: wet road-noise sample, reflections under the cars
  uint8_t rainLevel = 0;   // 1..3 selects the class's spray block; 0 none
  float sprayBase = 0.0f;  // spray rate = effect gain x (base + scale x spray factor)
  float sprayScale = 0.0f;
  VQTexture* reflectionTexture = nullptr;  // null: no reflections
};

class CarEnvironment {
 public:
  virtual ~CarEnvironment() = default;

  // The folder name of the track's own model data files ("Data\Cars\<track>\...").
  virtual const char* GetTrackName() const = 0;
  // The ground query handed to every car's vehicle model.
  virtual VQGroundQuery GetGroundQuery() const = 0;
  // The group that holds the cars' scene models (Car::Attach inserts the car's root here).
  virtual VQNode* GetCarGroup() = 0;
  // The car joins the race: its vehicle model becomes a body of the collision world and the
  // car enters the lap tracker. False when either is full (the car then is not attached).
  virtual bool AttachCar(Car* car) = 0;
  virtual void DetachCar(Car* car) = 0;
  // Race clock in seconds.
  virtual float GetRaceTime() const = 0;
  // True in the collision world's odd sub-steps (half-rate models move between them).
  virtual bool IsOddSubStep() const { return false; }
  // The race mode word (3..6: the race runs; frozen cars then do not blip their engines).
  virtual int32_t GetRaceMode() const { return 0; }
  virtual const CarWeather& GetWeather() const = 0;
  // Brightness 0..1 of the shadow map at a ground point (1 = full light).
  virtual float ShadowAt(float x, float y) const { return (void)x, (void)y, 1.0f; }
  // Wetness map 0..1 at a ground point (1 = dry surface: no spray).
  virtual float WetnessAt(float x, float y) const { return (void)x, (void)y, 1.0f; }
  // Whether the ground material (the ground query's material index) raises tyre smoke.
  virtual bool MaterialSmokes(uint32_t material) const { return (void)material, true; }
  // The car's entry in the track's index of moving objects, updated every frame.
  virtual void UpdateMovingObject(Car* car, const VQVector& position, const VQVector& velocity) {
    (void)car, (void)position, (void)velocity;
  }
  // A sound-emitting node of a car that the track's sound groups should know of.
  virtual void RegisterSoundNode(VQNode* node) { (void)node; }
};
