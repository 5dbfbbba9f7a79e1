// A race car whose place on the computer-driver line is kept by a line follower (an AIDriver
// that does not drive): the local human's car and a remote player's car. The follower gives the
// rescue its placement and the standings their progress; the racer remembers its grid place, to
// which each round returns, and notices when the car was put somewhere else in one frame.
#pragma once

#include <cstdint>

#include "QVX/race/AIDriver.h"
#include "QVX/race/Car.h"
#include "QVX/race/CarVehicle.h"
#include "QVX/race/TrackCars.h"
#include "Zentri/vehicle/TolvuCarModel.h"

class FollowedCarRacer : public CarRacer {
 public:
  FollowedCarRacer(CarCatalog* catalog, TrackCarEnvironment* environment, const CarSetup& setup,
                   uint32_t driverType, const AICourse* course, AIDriverKind followerType)
      : CarRacer(catalog, environment, setup, driverType), m_course(course) {
    m_follower.Setup(followerType, AIParameters());
  }

  // After a jump (a rescue or a received state put the car elsewhere) the previous position is
  // the new one: the jump crosses no checkpoint line.
  VQVector GetPreviousPosition() const override {
    return m_jumped ? GetPosition() : CarRacer::GetPreviousPosition();
  }
  // Makes the car on its grid place, held in neutral with the manual gearbox (the automatic
  // one would take a held brake for a wish to reverse), and puts the follower on it.
  void PlaceAtStart(const VQVector& position, float heading) override {
    DetachFollower();
    m_gridAt = position;
    m_gridHeading = heading;
    CarRacer::PlaceAtStart(position, heading);
    if (!GetVehicle()) return;
    Car& car = GetCar();
    car.SetManualGearbox(true);
    car.SelectGear(CAR_GEAR_NEUTRAL);
    m_vehicle.SetCar(&car);
    m_follower.Attach(&m_vehicle, m_course);
  }
  void ReleaseCar() override {
    DetachFollower();
    CarRacer::ReleaseCar();
  }

  bool Rescuing() const { return m_follower.Rescuing(); }
  bool HasCar() { return GetVehicle() != nullptr; }
  AIDriver& Follower() { return m_follower; }

 protected:
  void DetachFollower() {
    m_follower.Attach(nullptr, nullptr);
    m_vehicle.SetCar(nullptr);
  }
  // Puts the car back on its grid place at rest, collidable, seen, in neutral with the manual
  // gearbox; the car, or null without one.
  Car* ReturnToGrid() {
    if (!GetVehicle()) return nullptr;
    Car& car = GetCar();
    car.SetFrozen(false);
    car.GetModel()->SetStartPlacement(m_gridAt, VQVector(0.0f, 0.0f, m_gridHeading));
    car.Reset();
    car.SetBodyAlpha(1.0f);
    car.GetModel()->m_collidable = 1;
    car.SetManualGearbox(true);
    car.SelectGear(CAR_GEAR_NEUTRAL);
    return &car;
  }
  // After CarRacer::Update: a car that moved farther than kTeleport in this frame was put
  // somewhere else.
  void NoteJump() {
    const VQVector jump = GetPosition() - CarRacer::GetPreviousPosition();
    m_jumped = jump.Dot(jump) > kTeleport * kTeleport;
  }

  static constexpr float kTeleport = 5.0f;

  const AICourse* m_course;
  CarVehicle m_vehicle;
  AIDriver m_follower;
  bool m_jumped = false;
  // The grid place: each round starts there again (rescues and the podium move the car's start
  // placement).
  VQVector m_gridAt{0, 0, 0};
  float m_gridHeading = 0.0f;
};
