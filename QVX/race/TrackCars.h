// The game's cars on a loaded track: TrackCarEnvironment is the track as the place a Car drives
// in (ground query, car group, collision world, race clock, weather, maps), and CarRacer is a
// Car as a racer of the track (made on its grid place by Track::AddPlayer, followed by the race
// tracker, updated every frame by the track's race update).
#pragma once

#include <cstdint>

#include "QVX/race/Car.h"
#include "QVX/race/CarEnvironment.h"
#include "QVX/race/TrackRacer.h"

class Track;
class CarCatalog;
class VQGroupNode;

class TrackCarEnvironment : public CarEnvironment {
 public:
  explicit TrackCarEnvironment(Track* track);

  const char* GetTrackName() const override;
  VQGroundQuery GetGroundQuery() const override;
  // The group "g_cars" under the track's main group, made on first use (it goes with the scene).
  VQNode* GetCarGroup() override;
  // The car's model joins the collision world; false when the world holds 40 bodies.
  bool AttachCar(Car* car) override;
  void DetachCar(Car* car) override;
  float GetRaceTime() const override;
  bool IsOddSubStep() const override;
  int32_t GetRaceMode() const override;
  const CarWeather& GetWeather() const override { return m_weather; }
  float ShadowAt(float x, float y) const override;
  float WetnessAt(float x, float y) const override;

  CarWeather m_weather;

 private:
  Track* m_track;
  VQGroupNode* m_group = nullptr;
};

class CarRacer : public TrackRacer {
 public:
  // setup names the class and the driver kind; its position and angles are the grid place's.
  CarRacer(CarCatalog* catalog, TrackCarEnvironment* environment, const CarSetup& setup,
           uint32_t driverType);
  ~CarRacer() override;

  uint32_t GetDriverType() const override { return m_type; }
  VQVehicleModel* GetVehicle() override;
  VQVector GetPosition() const override { return m_position; }
  VQVector GetPreviousPosition() const override { return m_previous; }
  float GetLapMarkTime() const override { return m_lapMark; }
  void SetLapMarkTime(float t) override { m_lapMark = t; }
  // Creates the car at the place and attaches it; a car that cannot be made leaves the racer
  // without a car (GetVehicle null, the reason in GetCar().GetError()).
  void PlaceAtStart(const VQVector& position, float heading) override;
  void ReleaseCar() override;
  void Update(float dt) override;
  void UpdateProgress() override;
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override;

  Car& GetCar() { return m_car; }
  Car* GetGameCar() override { return m_car.IsCreated() ? &m_car : nullptr; }

 private:
  CarCatalog* m_catalog;
  TrackCarEnvironment* m_environment;
  CarSetup m_setup;
  uint32_t m_type;
  Car m_car;
  VQVector m_position{0, 0, 0}, m_previous{0, 0, 0};
  float m_lapMark = -100.0f;
  uint32_t m_lap = 0, m_segment = 0;
  float m_fraction = 0.0f;
  bool m_progressKnown = false;
};
