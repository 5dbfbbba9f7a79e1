// What the track asks of a racer: one driver with its car as the track, the race tracker and the
// grid see it. The car (its vehicle model, positions, placement) and the driver (type, progress
// along the computer-driver line, race steps) meet here, so that the track, its tests and its
// tools run with any racer: the game's cars, a scripted test racer or a demo follower.
#pragma once

#include <cstdint>

#include "Zentri/math/VQVector.h"

class Car;
class Player;
class VQVehicleModel;

enum TrackDriverType : uint32_t {
  TRACK_DRIVER_NONE = 0,
  TRACK_DRIVER_HUMAN = 1,
  TRACK_DRIVER_COMPUTER = 2,
  TRACK_DRIVER_REMOTE = 3,
};

// A lap or race time: minutes, seconds (0-59), hundredths (0-99) and a zero byte.
struct LapTime {
  uint8_t minutes = 0;
  uint8_t seconds = 0;
  uint8_t hundredths = 0;
  uint8_t zero = 0;

  // h hundredths of a second; minutes stop at 255.
  static LapTime FromHundredths(uint32_t h);
  uint32_t Hundredths() const { return (uint32_t(minutes) * 60u + seconds) * 100u + hundredths; }
  bool IsZero() const { return minutes == 0 && seconds == 0 && hundredths == 0; }
  double Seconds() const { return minutes * 60.0 + seconds + hundredths * 0.01; }
};

class TrackRacer {
 public:
  virtual ~TrackRacer() = default;

  virtual uint32_t GetDriverType() const = 0;
  virtual const char* GetName() const { return ""; }
  // The car's body in the collision world; null when the racer has no car (yet).
  virtual VQVehicleModel* GetVehicle() = 0;
  // Current position and the position of the previous frame (world, z up).
  virtual VQVector GetPosition() const = 0;
  virtual VQVector GetPreviousPosition() const = 0;
  // The race clock value of the last counted start-line crossing (kept by the car).
  virtual float GetLapMarkTime() const = 0;
  virtual void SetLapMarkTime(float time) = 0;

  // Creates (when needed) and places the car; heading is the rotation about z in radians.
  virtual void PlaceAtStart(const VQVector& position, float heading) = 0;
  // Releases the car (the track has already taken its body out of the collision world).
  virtual void ReleaseCar() {}
  // Per frame, after the physics step.
  virtual void Update(float dt) { (void)dt; }
  // Every 0.2 s: refresh the progress that GetProgress reports.
  virtual void UpdateProgress() {}
  // Progress along the computer-driver line as of the last UpdateProgress.
  virtual void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const = 0;

  // Race steps.
  virtual void PrepareRace(bool grid, uint32_t index) { (void)grid, (void)index; }
  virtual void PreparePractice(bool flag) { (void)flag; }
  virtual void BeginRace() {}
  // A completed lap that counts, for the player's records.
  virtual void RecordLap(bool newBest, const LapTime& time, uint32_t lapFlag, uint32_t missed) {
    (void)newBest, (void)time, (void)lapFlag, (void)missed;
  }
  virtual void Finish() {}
  // Podium: reset, podium state, the car put at the place, motion stopped, effects off; race
  // display off for places 1 to 3.
  virtual void PlaceOnPodium(uint32_t place, const VQVector& position, float heading) {
    (void)place, (void)position, (void)heading;
  }
  // The computer-driver line this racer follows (a random line after each lap when the track
  // has more than one).
  virtual void SetAILine(uint32_t line) { (void)line; }
  // The index of the view that shows this racer, -1 for none.
  virtual int32_t GetViewIndex() const { return -1; }
  // The game car (scene model with body and wheels) this racer drives; null for a bare vehicle
  // model.
  virtual Car* GetGameCar() { return nullptr; }
  // The player behind the racer, whose profile keeps its records; null when none.
  virtual Player* GetOwner() const { return nullptr; }
};
