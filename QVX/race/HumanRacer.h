// A local human driver in a race: a car model in the track's collision world driven by the
// player's bound controls (steering, throttle, brake; the automatic gearbox shifts), held on the
// grid until the green light, and rescued onto the computer line when the rescue control is
// pressed or the lap tracker sees no progress for a long lap. A line follower (AIDriver of the
// human kind) keeps the car's place on the line, which the rescue and the lap progress read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "QVX/race/AIDriver.h"
#include "QVX/race/AIRacer.h"
#include "QVX/race/TrackRacer.h"

class Player;
class Track;
class TolvuCarModel1;

class HumanRacer : public TrackRacer {
 public:
  // modelFile: the car model's data file (a store image); course: the track's computer lines.
  HumanRacer(Player* player, Track* track, const AICourse* course, std::string modelFile,
             int32_t viewIndex);
  ~HumanRacer() override;
  HumanRacer(const HumanRacer&) = delete;
  HumanRacer& operator=(const HumanRacer&) = delete;

  uint32_t GetDriverType() const override { return TRACK_DRIVER_HUMAN; }
  const char* GetName() const override;
  VQVehicleModel* GetVehicle() override;
  VQVector GetPosition() const override { return m_position; }
  VQVector GetPreviousPosition() const override { return m_previous; }
  float GetLapMarkTime() const override { return m_lapMark; }
  void SetLapMarkTime(float t) override { m_lapMark = t; }
  void PlaceAtStart(const VQVector& position, float heading) override;
  void ReleaseCar() override;
  void Update(float dt) override;
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override;
  void PrepareRace(bool grid, uint32_t index) override;
  void PreparePractice(bool flag) override { PrepareRace(true, 0); }
  void BeginRace() override;
  void Finish() override { m_finished = true; }
  int32_t GetViewIndex() const override { return m_viewIndex; }
  Player* GetOwner() const override { return m_player; }

  // Starts a rescue (the lap tracker's long lap, or the rescue control).
  void Rescue();
  bool HasCar() const { return m_model != nullptr; }
  bool Finished() const { return m_finished; }
  AIDriver& Follower() { return m_follower; }
  Player* GetPlayer() const { return m_player; }
  // When false the controls are not read (a menu is shown or the race is paused).
  bool m_controlsOn = true;

 private:
  Player* m_player;
  Track* m_track;
  const AICourse* m_course;
  std::string m_modelFile;
  int32_t m_viewIndex;
  std::unique_ptr<TolvuCarModel1> m_model;
  AIRacer m_vehicle{nullptr};
  AIDriver m_follower;
  VQVector m_position{0, 0, 0}, m_previous{0, 0, 0};
  float m_lapMark = -100.0f;
  float m_time = 0.0f;
  bool m_started = false, m_finished = false;
};
