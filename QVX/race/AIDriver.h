// The computer driver: the decision rule that follows a track's computer line through a
// look-ahead point, shifts sideways by a smoothed lane offset to pass or give way, keeps off the
// borders, limits its speed by how tightly the line bends ahead, reverses out of blocked places
// and asks for a rescue; the smoothing of steering, throttle and brake between decisions; and
// the rescue that puts a car back on its line. Every participant of a race (human, computer or
// remote) keeps one of these as its line follower: the look-ahead and reference points, the
// lateral distance and the progress along the line are what the traffic rules of the others, the
// rescue and the lap progress read.
//
// The driver talks to its car through AIVehicle and to the track and race through AICourse, so
// that it runs on a real car and track or on small stand-ins in tests. Units: metres, seconds,
// radians (counter-clockwise positive in the ground plane); lateral offsets from a line are
// positive on the clockwise side of its direction.
#pragma once

#include <cstdint>

#include "QVX/race/AIParameters.h"
#include "QVX/race/AIPath.h"
#include "Zentri/math/VQVector.h"

class AIDriver;

// What the driver reads of its car and writes to it.
class AIVehicle {
 public:
  virtual ~AIVehicle() = default;
  virtual float Speed() const = 0;  // m/s
  virtual VQVector Position() const = 0;
  virtual VQVector Velocity() const = 0;
  virtual float EngineRpm() const = 0;
  virtual VQVector Forward() const = 0;  // the body's local (0, 1, 0) in world axes
  virtual VQVector Up() const = 0;       // the body's local (0, 0, 1) in world axes
  virtual float Steering() const = 0;
  virtual float Throttle() const = 0;
  virtual float Brake() const = 0;
  virtual void SetSteering(float v) = 0;
  virtual void SetThrottle(float v) = 0;
  virtual void SetBrake(float v) = 0;
  virtual void SetClutch(float v) = 0;
  // Gear index: 0 reverse, 1 neutral, 2 first gear (the automatic gearbox shifts on from there).
  virtual void SelectGear(int index) = 0;
  // Puts the car at rest at position with the ground-plane heading (radians about z; heading 0
  // faces +y), its controls cleared. Used when a rescue ends its fade-out.
  virtual void Place(const VQVector& position, float heading) = 0;
  virtual void SetCollisions(bool on) = 0;
  virtual void SetVisibility(float v) { (void)v; }
};

// What the driver asks of the track and of the race.
constexpr float AICOURSE_NO_GROUND = 1000000.0f;

class AICourse {
 public:
  virtual ~AICourse() = default;
  virtual uint32_t LineCount() const = 0;
  virtual const AIPath* Line(uint32_t i) const = 0;  // null beyond the count
  // Nonzero with the point and the border's direction where the circle meets a guide border.
  virtual int32_t FindBorderPointAtDistance(const VQVector2& c, float r, VQVector2* p,
                                            VQVector2* d) const {
    (void)c, (void)r, (void)p, (void)d;
    return 0;
  }
  // The side kind (1 "sl", 2 "sr", ...) of the border crossed nearest to a by a-b; 0 for none.
  virtual int32_t SegmentCrossesBorder(const VQVector2& a, const VQVector2& b, VQVector2* p,
                                       VQVector2* d) const {
    (void)a, (void)b, (void)p, (void)d;
    return 0;
  }
  // Ground height below (x, y); AICOURSE_NO_GROUND when there is none.
  virtual float GroundHeight(float x, float y) const {
    (void)x, (void)y;
    return 0.0f;
  }
  virtual bool Practice() const { return false; }
  virtual float RaceTime() const = 0;
  // False before the green light: a computer driver waiting for the start stays in neutral
  // whatever its start delay (a delay of 0 would otherwise roll off during the countdown).
  virtual bool RaceRunning() const { return true; }
  // Checkpoints (0 is the start line) with the place on line 0 where each lies.
  virtual uint32_t CheckpointCount() const { return 0; }
  virtual void CheckpointOnLine(uint32_t i, uint32_t* segment, float* fraction) const {
    (void)i;
    *segment = 0;
    *fraction = 0.0f;
  }
  // The driver's lap-tracker entry: laps (0 before the first crossing of the start line) and
  // whether checkpoint i was crossed in this lap.
  virtual uint32_t Laps(const AIDriver& d) const {
    (void)d;
    return 0;
  }
  virtual bool CheckpointPassed(const AIDriver& d, uint32_t i) const {
    (void)d, (void)i;
    return true;
  }
  // The race's participants in list order (the traffic the planner looks at).
  virtual uint32_t ParticipantCount() const { return 0; }
  virtual const AIDriver* Participant(uint32_t i) const {
    (void)i;
    return nullptr;
  }
};

enum AIDriverKind : int32_t { AIDRIVER_HUMAN = 1, AIDRIVER_COMPUTER = 2, AIDRIVER_REMOTE = 3 };
enum AIDriverState : int32_t {
  AISTATE_WAITING = 0,
  AISTATE_FINISHED = 1,
  AISTATE_DRIVING = 2,
  AISTATE_PODIUM = 3
};
enum AIManoeuvre : int32_t { AIMAN_NONE = 0, AIMAN_REVERSING = 1, AIMAN_STOPPING = 2 };

// Fixed numbers of the decision rule.
constexpr float AI_MOVING_SPEED = 0.4f;  // at least this counts as moving
constexpr float AI_OFF_LINE_PERIOD =
    8.0f;  // off the line this long while moving: stop for a rescue
constexpr float AI_OFF_LINE_PERIOD_PRACTICE = 10.0f;
constexpr float AI_LINE_JUMP = 30.0f;     // a look-ahead jump farther than this along the line
constexpr float AI_TRAFFIC_BOX = 8.0f;    // others farther on either ground axis are ignored
constexpr float AI_LAUNCH_TIME = 5.0f;    // race seconds of full throttle and direct lane offset
constexpr float AI_ENGINE_IDLE = 500.0f;  // engine speed below which a stopped car may shift
constexpr float AI_LANE_LIMIT = 0.4f;     // lane-offset target bound without traffic
constexpr float AI_RESCUE_FADE = 0.3f;    // seconds of fade-out, then of fade-in
constexpr float AI_RESCUE_BACK = 1.5f;    // placement behind the line point
constexpr float AI_RESCUE_BORDER_KEEP = 0.7f;  // distance kept from a border when placed sideways
constexpr float AI_RESCUE_BEFORE_END =
    24.0f;  // placement before the line's end before the first lap
constexpr float AI_RESCUE_REPEAT_TIME = 10.0f;
constexpr int AI_RESCUE_REPEATS = 3;
// The steering rate is divided by 1 + v (1 - factor); a factor above 1 makes that fall toward
// zero and below at speed, which would turn the rate infinite or reverse it. The divisor is kept
// at least this large.
constexpr float AI_STEER_DIVISOR_MIN = 0.1f;

// Moves value toward target by at most step (step >= 0), stopping exactly at the target.
float AI_Approach(float value, float target, float step);

class AIDriver {
 public:
  // kind: who drives; params: copied (a computer driver's record; others use the defaults).
  void Setup(AIDriverKind kind, const AIParameters& params);
  void Attach(AIVehicle* vehicle, const AICourse* course) {
    m_vehicle = vehicle;
    m_course = course;
  }

  // Start preparation: clears the race state, the manoeuvre and the rescue, finds the car's
  // place on its line and sets the search segment from it. practice: start delay 3.0 for computer
  // drivers and the guide flag set.
  void PrepareStart(bool practice);
  // The green light: drive gear, clutch in; a computer driver plans once.
  void StartRace(float dt);

  // The per-physics-step callback of a computer car (dt: the model's step).
  void OnPhysicsStep(float dt);
  // Per frame (after the physics): advances a running rescue.
  void UpdateFrame(float dt);

  // The decision step and the planner.
  void DriveComputer(float stepTime, float dt);
  void PlanComputerControls(float stepTime, float dt, float raceTime);
  // Refreshes the look-ahead point, the reference point, the lateral distance and the on-line
  // flag from the car's position.
  void GetLookAheadPoint(float raceTime);

  void SmoothSteering(float target, float dt, float speed);
  void SmoothThrottle(float target, float dt);
  void SmoothBrake(float target, float dt);
  // Lane-offset motion: the target becomes t and the offset moves toward it by rate x dt.
  void MoveLaneOffset(float t, float dt);

  // Starts (first call) or advances a rescue.
  void Rescue(float dt);
  bool Rescuing() const { return m_rescueRunning != 0; }
  // A remote driver's last received placement, used when it is rescued.
  void SetRemotePlacement(const VQVector& position, float heading, uint32_t segment,
                          float fraction);

  // Checkpoint event: adapts the throttle pair from the last positions of the tracker entry
  // (newest last); with two or more lines a car on the last line picks another.
  void OnCheckpoint(const uint32_t* recentPositions, uint32_t count, uint32_t position,
                    bool secondMode);
  void SelectPair(AIThrottlePair pair);
  // Lap progress along the line: the line distance of the reference point.
  float Progress() const;
  const AIPath* CurrentLine() const;

  // ---- state (public: read by the other drivers' traffic rules, the race and tests) ----
  AIDriverKind m_kind = AIDRIVER_COMPUTER;
  AIParameters m_params;
  AIVehicle* m_vehicle = nullptr;
  const AICourse* m_course = nullptr;
  uint32_t m_random = 1;  // state of the driver's own random numbers (seeded by the race)

  int32_t m_stepCounter = 0;
  float m_stepTime = 0.0f;
  float m_steerTarget = 0.0f, m_throttleTarget = 0.0f, m_brakeTarget = 0.0f;
  float m_steering = 0.0f, m_throttle = 0.0f, m_brake = 0.0f, m_spareBrake = 0.0f;
  int32_t m_state = AISTATE_WAITING;
  float m_startTime = 0.0f, m_lastMoving = 0.0f;

  // Reference point on the line: the point the look-ahead distance behind the look-ahead point.
  uint32_t m_refSegment = 0;
  float m_refInto = 0.0f, m_refFraction = 0.0f;
  VQVector2 m_refPoint{0.0f, 0.0f};
  VQVector2 m_lookAhead{0.0f, 0.0f};
  float m_lastOnLine = 0.0f;
  uint8_t m_onLine = 0;
  uint32_t m_laSegment = 0;
  float m_laFraction = 0.0f;
  float m_k0 = 1.5f, m_k1 = 1.0f / 6.0f;
  uint32_t m_searchSegment = AIPATH_NO_SEGMENT;
  float m_lateral = 0.0f;
  uint32_t m_line = 0;

  int32_t m_manoeuvre = AIMAN_NONE;
  float m_manoeuvreStart = 0.0f;
  int32_t m_phase = 0;
  VQVector m_manoeuvrePos{0.0f, 0.0f, 0.0f};
  float m_stuckTime = 0.0f;
  VQVector2 m_stuckPos{0.0f, 0.0f};

  float m_laneOffset = 0.0f, m_laneTarget = 0.0f;
  float m_throttleCeiling = 0.9f, m_throttleFactor = 1.0f;
  int32_t m_checkInterval = 10, m_checkCounter = 0;
  uint8_t m_avoiding = 0, m_guide = 0;
  float m_laneRate = 4.0f;
  float m_speedLimit = 0.0f;     // the last decision's speed limit (for tests and displays)
  float m_shortestAhead = 0.0f;  // the last decision's S

  // Rescue.
  uint8_t m_rescueRunning = 0, m_placed = 0, m_moved = 0;
  float m_rescueElapsed = 0.0f;
  float m_rescueMark = -100.0f;  // set by the start preparation
  int32_t m_rescueRepeats = 0;
  int32_t m_rescueCount = 0;  // rescues started (for the race's statistics)
  VQVector m_placePos{0.0f, 0.0f, 0.0f};
  float m_placeHeading = 0.0f;
  uint32_t m_placeSegment = 0;
  float m_placeFraction = 0.0f;
  uint8_t m_hasRemotePlacement = 0;
  VQVector m_remotePos{0.0f, 0.0f, 0.0f};
  float m_remoteHeading = 0.0f;
  uint32_t m_remoteSegment = 0;
  float m_remoteFraction = 0.0f;

 private:
  uint32_t Random();
  void PickOtherLine();
  void ApplyGear(int index);
  void RescuePlace();
  void RescueMove();
  float OffLinePeriod() const;
};
