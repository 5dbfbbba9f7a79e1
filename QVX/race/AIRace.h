// A race of computer drivers without a screen: CAR_1 vehicle models in a collision world on a
// course (computer lines, borders, checkpoints, grid), each driven by an AIDriver through its
// per-physics-step callback, with a lap tracker that classifies the field. Used by the tests and
// the benchmark, and by tools that want a full field to race itself. Everything advances by a
// fixed frame step, and the drivers draw their random numbers from the race's seed, so the same
// seed gives the same race to the last digit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QVX/race/AIBorders.h"
#include "QVX/race/AIDriver.h"
#include "QVX/race/AIPath.h"

// The geometry a race is driven on.
struct AICourseData {
  std::string name;
  std::vector<AIPath> lines;
  AIBorders borders;
  struct Checkpoint {
    VQVector2 a, b;  // the crossing line's ends
    uint32_t segment;
    float fraction;  // its place on line 0
  };
  std::vector<Checkpoint> checkpoints;  // 0 is the start line
  struct GridPoint {
    VQVector2 position, direction;
  };
  std::vector<GridPoint> grid;
  float halfWidth = 6.0f;
};

// Builds a course from a closed centre line given as corner points: the computer line follows
// it with short segments in bends and long ones on straights (rounded corners of the given
// radius), borders at halfWidth on both sides, `checkpoints` checkpoints spread along the line and
// a two-column grid behind the start line with room for gridSlots cars. False for a degenerate
// outline.
bool AICourse_Build(const std::vector<VQVector2>& corners, float cornerRadius, float halfWidth,
                    uint32_t checkpoints, uint32_t gridSlots, AICourseData* out);
// Sample courses for tests and benchmarks: 0 an oval, 1 a rounded rectangle with a chicane,
// 2 a triangle with a hairpin. False for another index.
bool AICourse_Sample(uint32_t index, uint32_t gridSlots, AICourseData* out);
constexpr uint32_t AICOURSE_SAMPLES = 3;

// Writes the CAR_1 model data file that computer cars use when no car's own file is given: the
// library's defaults with the game cars' steering. False when it cannot be written.
bool AIRace_WriteModelStore(const std::string& path);

struct AIRaceResult {
  std::string name;
  uint32_t laps = 0;  // completed laps
  uint8_t finished = 0;
  uint32_t place = 0;       // 1-based finishing place (0: not finished)
  float finishTime = 0.0f;  // race seconds
  float bestLap = 0.0f;
  uint32_t rescues = 0;
  float longestStill = 0.0f;  // longest time standing (below 0.4 m/s) while driving, not rescuing
  float x = 0.0f, y = 0.0f;   // where the car ended
};

class AIRace : public AICourse {
 public:
  AIRace();
  ~AIRace() override;
  AIRace(const AIRace&) = delete;
  AIRace& operator=(const AIRace&) = delete;

  // Sets the race up: the course, one computer driver per parameter record (at most 40; the
  // first ones start at the front of the grid), laps, the frame step and the seed. False with
  // m_error set when the course has no line, there are no drivers, or a car cannot be made.
  bool Setup(const AICourseData& course, const std::vector<AIParameters>& drivers, uint32_t laps,
             float frameStep, uint32_t seed);
  // Runs frames until every car has finished or maxSeconds of race time have passed (after the
  // countdown). Returns true when every car finished.
  bool Run(float maxSeconds);
  // One frame: physics (drivers decide inside it), rescues, the lap tracker.
  void Frame();

  std::vector<AIRaceResult> Results() const;
  float Time() const { return m_time; }
  uint32_t CarCount() const { return uint32_t(m_cars.size()); }
  AIDriver& Driver(uint32_t i);
  std::string m_error;
  // The CAR_1 model data file of the cars (a store image, "tolvu_<car>_mid.bin"); empty: the
  // library's defaults with the game cars' steering.
  std::string m_modelFile;
  float m_countdown = 3.0f;  // seconds before the green light

  // ---- AICourse ----
  uint32_t LineCount() const override;
  const AIPath* Line(uint32_t i) const override;
  int32_t FindBorderPointAtDistance(const VQVector2& c, float r, VQVector2* p,
                                    VQVector2* d) const override;
  int32_t SegmentCrossesBorder(const VQVector2& a, const VQVector2& b, VQVector2* p,
                               VQVector2* d) const override;
  float GroundHeight(float x, float y) const override;
  float RaceTime() const override;
  bool RaceRunning() const override;
  uint32_t CheckpointCount() const override;
  void CheckpointOnLine(uint32_t i, uint32_t* segment, float* fraction) const override;
  uint32_t Laps(const AIDriver& d) const override;
  bool CheckpointPassed(const AIDriver& d, uint32_t i) const override;
  uint32_t ParticipantCount() const override;
  const AIDriver* Participant(uint32_t i) const override;

 private:
  struct Car;
  struct World;
  void Track(Car& car);
  const Car* Find(const AIDriver& d) const;

  AICourseData m_course;
  std::unique_ptr<World> m_world;
  std::vector<std::unique_ptr<Car>> m_cars;
  uint32_t m_laps = 3;
  float m_step = 1.0f / 60.0f;
  float m_time = 0.0f;       // clock since Setup
  float m_raceStart = 0.0f;  // clock at the green light
  bool m_started = false;
  uint32_t m_finishers = 0;
};
