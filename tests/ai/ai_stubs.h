// Stand-ins for a car and a track, so the computer driver can be tested on synthetic lines.
#pragma once

#include <vector>

#include "QVX/race/AIBorders.h"
#include "QVX/race/AIDriver.h"

struct StubVehicle : AIVehicle {
  float speed = 0.0f, rpm = 0.0f;
  VQVector pos{0, 0, 0}, vel{0, 0, 0}, fwd{0, 1, 0}, up{0, 0, 1};
  float steer = 0.0f, throttle = 0.0f, brake = 0.0f, clutch = 0.0f;
  int gear = 1;
  bool collisions = true;
  int placements = 0;
  float heading = 0.0f;

  float Speed() const override { return speed; }
  VQVector Position() const override { return pos; }
  VQVector Velocity() const override { return vel; }
  float EngineRpm() const override { return rpm; }
  VQVector Forward() const override { return fwd; }
  VQVector Up() const override { return up; }
  float Steering() const override { return steer; }
  float Throttle() const override { return throttle; }
  float Brake() const override { return brake; }
  void SetSteering(float v) override { steer = v; }
  void SetThrottle(float v) override { throttle = v; }
  void SetBrake(float v) override { brake = v; }
  void SetClutch(float v) override { clutch = v; }
  void SelectGear(int index) override { gear = index; }
  void Place(const VQVector& p, float h) override {
    pos = p;
    heading = h;
    fwd = VQVector(-std::sin(h), std::cos(h), 0.0f);
    up = VQVector(0, 0, 1);
    speed = 0.0f;
    ++placements;
  }
  void SetCollisions(bool on) override { collisions = on; }
  // Faces along the ground-plane direction d at speed v.
  void Face(float dx, float dy, float v) {
    fwd = VQVector(dx, dy, 0.0f);
    speed = v;
    vel = VQVector(dx * v, dy * v, 0.0f);
  }
};

struct StubCourse : AICourse {
  std::vector<AIPath> lines;
  AIBorders borders;
  float time = 0.0f;
  bool practice = false;
  uint32_t laps = 1;
  std::vector<std::pair<uint32_t, float>> checkpoints;
  std::vector<uint8_t> passed;
  std::vector<const AIDriver*> drivers;
  float ground = 0.0f;

  uint32_t LineCount() const override { return uint32_t(lines.size()); }
  const AIPath* Line(uint32_t i) const override { return i < lines.size() ? &lines[i] : nullptr; }
  int32_t FindBorderPointAtDistance(const VQVector2& c, float r, VQVector2* p,
                                    VQVector2* d) const override {
    return borders.CircleCrosses(c, r, p, d);
  }
  int32_t SegmentCrossesBorder(const VQVector2& a, const VQVector2& b, VQVector2* p,
                               VQVector2* d) const override {
    return borders.SegmentCrosses(a, b, p, d);
  }
  float GroundHeight(float, float) const override { return ground; }
  bool Practice() const override { return practice; }
  float RaceTime() const override { return time; }
  uint32_t CheckpointCount() const override { return uint32_t(checkpoints.size()); }
  void CheckpointOnLine(uint32_t i, uint32_t* s, float* f) const override {
    *s = checkpoints[i].first;
    *f = checkpoints[i].second;
  }
  uint32_t Laps(const AIDriver&) const override { return laps; }
  bool CheckpointPassed(const AIDriver&, uint32_t i) const override {
    return i < passed.size() && passed[i];
  }
  uint32_t ParticipantCount() const override { return uint32_t(drivers.size()); }
  const AIDriver* Participant(uint32_t i) const override { return drivers[i]; }
};

// A closed straight-sided loop: a long straight along +x at y = 0 from x = 0 to x = length,
// back along y = width. The last point repeats the first (the closing segment is empty).
inline AIPath StraightLoop(float length, float step, float width = 100.0f) {
  std::vector<VQVector2> pts;
  for (float x = 0.0f; x < length; x += step) pts.push_back(VQVector2(x, 0.0f));
  for (float x = length; x > 0.0f; x -= step) pts.push_back(VQVector2(x, width));
  pts.push_back(VQVector2(0.0f, 0.0f));
  AIPath p;
  p.Build(pts);
  return p;
}
