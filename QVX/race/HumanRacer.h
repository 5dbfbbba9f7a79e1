// A local human driver in a race: the chosen class's game car (its scene model with the
// driver's paint and race number, effects, sounds and the detailed CAR_2 vehicle model) driven
// by the player's bound controls: steering, throttle, brake, park brake, lights and horn, the
// gears by the automatic gearbox unless the driver's profile asks for the manual one. The car is
// held in neutral on the grid until the green light (throttle held through the lights counts
// only once released), and a rescue (the rescue control while the car is stuck or on its roof,
// a fall off the world, or the lap tracker seeing no progress for a long lap) puts it back onto
// the computer line, facing along it, from where it drives on. A line follower (AIDriver of the human kind) keeps the
// car's place on the line, which the rescue and the computer drivers read.
#pragma once

#include <cstdint>

#include "QVX/race/FollowedCarRacer.h"

class Player;

class HumanRacer : public FollowedCarRacer {
 public:
  // setup: the car to make (class name, paint, number, detail; its computer flag is cleared and
  // the manual gearbox comes from the player's profile). course: the track's computer lines.
  HumanRacer(Player* player, CarCatalog* catalog, TrackCarEnvironment* environment,
             const CarSetup& setup, const AICourse* course, int32_t viewIndex);
  ~HumanRacer() override;
  HumanRacer(const HumanRacer&) = delete;
  HumanRacer& operator=(const HumanRacer&) = delete;

  const char* GetName() const override;
  void PlaceAtStart(const VQVector& position, float heading) override;
  void ReleaseCar() override;
  void Update(float dt) override;
  void PrepareRace(bool grid, uint32_t index) override;
  void PreparePractice(bool flag) override;
  void BeginRace() override;
  void Finish() override { m_finished = true; }
  void PlaceOnPodium(uint32_t place, const VQVector& position, float heading) override;
  int32_t GetViewIndex() const override { return m_viewIndex; }
  Player* GetOwner() const override { return m_player; }

  // Starts a rescue (whatever the speed). Nothing while one runs or on the podium.
  void Rescue();
  bool Started() const { return m_started; }
  bool Finished() const { return m_finished; }
  Player* GetPlayer() const { return m_player; }
  float Speed() { return GetCar().IsCreated() ? GetCar().GetSpeed() : 0.0f; }

  // When false the controls are not read and the pedals are released (a menu is shown or the
  // race is paused).
  bool m_controlsOn = true;
  // When false the player's bindings are not polled: the control values already in
  // Player::m_controls drive the car (tests and tools set them directly).
  bool m_readBindings = true;
  // When true the car steers itself along the computer line, eases the throttle in sharp bends
  // and brakes down to the computer drivers' speed for the line ahead, and asks for a rescue
  // when the car stands still under throttle for a few seconds; the driver's throttle, brake
  // and rescue still count (scripted runs that cannot see).
  bool m_steerAssist = false;

 private:
  void ApplyControls(float dt);
  // The assist's steering toward the line ahead, how sharp the bend ahead is (radians) and the
  // speed the line ahead allows (m/s).
  float AssistSteering(float* bend, float* limit) const;

  Player* m_player;
  int32_t m_viewIndex;
  float m_time = 0.0f;
  bool m_manual = false;
  // Throttle pressed since before the green light; it counts once it is let go. A pedal that is
  // let go falls at its back rate and may take several frames to reach 0: letting go is seen as
  // the throttle falling, against the last frame's value.
  bool m_startHeld = false;
  float m_lastThrottle = 0.0f;
  float m_assistStill = 0.0f;  // seconds the assisted car has stood still under throttle
  bool m_started = false, m_finished = false, m_onPodium = false;
};
