// A remote participant of a network race: the car of a player on another machine. Its car is
// the game car of that player's class (scene model with its paint and race number, effects and
// sounds, the simpler vehicle model of the computer and remote drivers) in this track's
// collision world (the local cars meet it), placed on its grid place like any other; between
// the car states that arrive from its machine it drives on by its own physics with the last
// received controls. Each received state pulls the car toward the reported place (a deviation
// of REMOTE_JUMP_DISTANCE or more puts it there at once), turns it part of the way toward the
// reported orientation and takes over its velocities, controls, gear and horn. A rescue on its
// machine is repeated here with the same placement. A line follower keeps its place on the
// computer-driver line for the lap tracker's standings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "QVX/race/FollowedCarRacer.h"
#include "QVX/race/RemoteDriver.h"

class Track;

// How a received state is blended in: the position moves by REMOTE_POSITION_GAIN x the
// deviation (so 1 / gain or more jumps), the orientation by REMOTE_ORIENTATION_BLEND.
constexpr float REMOTE_POSITION_GAIN = 2.5f;
constexpr float REMOTE_JUMP_DISTANCE = 1.0f / REMOTE_POSITION_GAIN;
constexpr float REMOTE_ORIENTATION_BLEND = 0.3f;

// What one state of a remote car carries. The controls travel as two numbers: the steering
// (-1..1) and the pedal (throttle 0..1 above zero, brake 0..1 below).
struct RemoteCarState {
  float raceTime = 0.0f;  // the sender's race clock
  VQVector position{0, 0, 0};
  float orientation[4] = {0, 0, 0, 1};  // as the vehicle model gives it
  VQVector velocity{0, 0, 0};
  VQVector angularVelocity{0, 0, 0};
  float steering = 0.0f;
  float pedal = 0.0f;
  int32_t gear = 0;
  bool horn = false;
};

// The state of a local car, for sending; false without a car.
bool RemoteCarState_Read(TrackRacer* racer, RemoteCarState* out);

// One blending step, exposed for tests: the new position and orientation of a car at
// (position, orientation) that receives `target`.
void RemoteCarState_Blend(const VQVector& position, const float orientation[4],
                          const RemoteCarState& target, VQVector* outPosition,
                          float outOrientation[4]);

class RemoteRacer : public FollowedCarRacer {
 public:
  // setup: the car to make (class name, paint, number; it is made as a computer or remote
  // driver's car with a horn and a manual gearbox that follows the received gear). course: the
  // track's computer lines; track: the track whose lap tracker counts its laps.
  RemoteRacer(uint8_t playerId, const char* name, CarCatalog* catalog,
              TrackCarEnvironment* environment, const CarSetup& setup, const AICourse* course,
              Track* track);
  ~RemoteRacer() override;
  RemoteRacer(const RemoteRacer&) = delete;
  RemoteRacer& operator=(const RemoteRacer&) = delete;

  const char* GetName() const override { return m_name.c_str(); }
  void ReleaseCar() override;
  void Update(float dt) override;
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override;
  void PrepareRace(bool grid, uint32_t index) override;
  void PreparePractice(bool) override { PrepareRace(true, 0); }
  void BeginRace() override { m_started = true; }
  void Finish() override { m_finished = true; }

  // The car was rescued on its own machine: it is put on the same place (`position`, facing
  // `heading`, at `segment`/`fraction` of the computer line) by the same fade-out and fade-in.
  // The car states that arrive while the rescue runs are not applied. False (nothing done) for
  // a place that is not finite, with no car, or while a rescue runs.
  bool Rescue(const VQVector& position, float heading, uint32_t segment, float fraction);

  // A state from the network; `now` is the local race clock. False (nothing kept) for a state
  // with a value that is not finite. An older state than the newest one is ignored (true).
  bool Receive(const RemoteCarState& state, float now);

  // Its player left during the race. The track takes it out of the race (Track::RemovePlayer),
  // but its game car stays (hidden, silent, out of the way) until ReleaseRetiredCar, because
  // the race's views still hold its nodes.
  void Retire() { m_retired = true; }
  bool Retired() const { return m_retired; }
  void ReleaseRetiredCar();

  uint8_t PlayerId() const { return m_playerId; }
  void SetPlayerId(uint8_t id) { m_playerId = id; }
  bool Finished() const { return m_finished; }
  uint32_t ReceivedCount() const { return m_received; }
  // No state for REMOTE_STALE_AFTER seconds of the local race clock.
  bool Stale(float now) const { return m_driver.Stale(now); }

 private:
  void Apply(const RemoteCarState& state);

  uint8_t m_playerId;
  std::string m_name;
  Track* m_track;
  RemoteDriver m_driver;
  RemoteCarState m_pending;
  float m_newest = 0.0f;  // the sender's race time of the newest state
  bool m_hasPending = false;
  uint32_t m_received = 0;
  float m_time = 0.0f;
  bool m_retired = false;
  bool m_started = false, m_finished = false;
};
