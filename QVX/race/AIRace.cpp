#include "QVX/race/AIRace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "model/include/tolvu.h"
#include "QVX/race/AIRacer.h"
#include "QVX/race/RaceField.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

constexpr float kArcStep = 0.2f;        // radians of bend per line segment
constexpr float kStraightStep = 25.0f;  // longest line segment on a straight
constexpr float kGridRow = 8.0f;        // metres between grid rows
constexpr float kGridSide = 2.5f;       // metres from the line to each grid column
constexpr float kFinishSpan =
    5.0f;  // a start-line crossing within this of the last one does not count

VQVector2 Perp(const VQVector2& d) { return VQVector2(d.y, -d.x); }  // the clockwise side

// Offsets the closed point list sideways by `offset` (clockwise positive), using the mean
// normal of the two segments at each point.
std::vector<VQVector2> OffsetLoop(const AIPath& line, float offset) {
  std::vector<VQVector2> out;
  const uint32_t n = line.Count() - 1;  // the last point closes the loop
  for (uint32_t i = 0; i < n; ++i) {
    const VQVector2 a = line.Direction(i == 0 ? n - 1 : i - 1), b = line.Direction(i);
    VQVector2 m = Perp(a) + Perp(b);
    const float len = m.Length();
    m = len > 1e-6f ? m * (1.0f / len) : Perp(b);
    const float c = m.Dot(Perp(b));
    out.push_back(line.Point(i) + m * (offset / (c > 0.3f ? c : 0.3f)));
  }
  return out;
}

bool Crosses(const AICourseData::Checkpoint& c, const VQVector2& p, const VQVector2& q) {
  if (std::fmax(p.x, q.x) < std::fmin(c.a.x, c.b.x) ||
      std::fmin(p.x, q.x) > std::fmax(c.a.x, c.b.x) ||
      std::fmax(p.y, q.y) < std::fmin(c.a.y, c.b.y) ||
      std::fmin(p.y, q.y) > std::fmax(c.a.y, c.b.y))
    return false;
  auto side = [&](const VQVector2& x) {
    return (double(c.b.x) - c.a.x) * (double(x.y) - c.a.y) -
               (double(c.b.y) - c.a.y) * (double(x.x) - c.a.x) >=
           0.0;
  };
  return side(p) != side(q);
}

// The library's default CAR_1 store with the steering of the game's cars (a steering ratio of
// 0.3 and 0.6 rad at full lock): the defaults steer a race car far too slowly.
bool WriteRaceStore(const std::string& path) {
  if (!TolvuCarModel_WriteDefaultStoreFile(1, path.c_str())) return false;
  FILE* f = std::fopen(path.c_str(), "r+b");
  if (!f) return false;
  bool ok = true;
  const struct {
    const char* name;
    double value;
  } patches[] = {{"STEER_RAT", 0.3}, {"ANG_MAX", 0.6}};
  for (const auto& p : patches) {
    const int k = tolvu_GetVarIndex(1, p.name);
    uint8_t bytes[8];
    uint64_t bits;
    std::memcpy(&bits, &p.value, 8);
    for (int b = 0; b < 8; ++b) bytes[b] = uint8_t(bits >> (8 * b));
    ok = ok && k > 0 && std::fseek(f, long(k - 1) * 8, SEEK_SET) == 0 &&
         std::fwrite(bytes, 1, 8, f) == 8;
  }
  return std::fclose(f) == 0 && ok;
}

void OnPhysicsStep(VQVehicleModel*, float dt, uintptr_t user) {
  reinterpret_cast<AIDriver*>(user)->OnPhysicsStep(dt);
}

}  // namespace

bool AIRace_WriteModelStore(const std::string& path) { return WriteRaceStore(path); }

bool AICourse_Build(const std::vector<VQVector2>& corners, float radius, float halfWidth,
                    uint32_t checkpoints, uint32_t gridSlots, AICourseData* out) {
  *out = AICourseData();
  const size_t n = corners.size();
  if (n < 3 || !(radius > 0.0f) || !(halfWidth > 0.0f) || checkpoints < 2) return false;
  std::vector<VQVector2> pts;
  // Each corner becomes an arc of the given radius (smaller where the edges are short); the
  // straights between them are cut into equal pieces of at most kStraightStep.
  std::vector<VQVector2> arcStart(n), arcEnd(n);
  std::vector<std::vector<VQVector2>> arcs(n);
  for (size_t i = 0; i < n; ++i) {
    const VQVector2 p = corners[i], prev = corners[(i + n - 1) % n], next = corners[(i + 1) % n];
    VQVector2 a = p - prev, b = next - p;
    const float la = a.Length(), lb = b.Length();
    if (la < 1e-3f || lb < 1e-3f) return false;
    a = a * (1.0f / la);
    b = b * (1.0f / lb);
    const float turn = std::atan2(a.x * b.y - a.y * b.x, a.Dot(b));
    const float half = std::fabs(turn) * 0.5f;
    float t = radius * std::tan(half);
    const float room = 0.45f * std::min(la, lb);
    const float r = t > room ? radius * room / t : radius;
    t = r * std::tan(half);
    const VQVector2 s = p - a * t;
    const uint32_t steps = std::max<uint32_t>(1, uint32_t(std::ceil(std::fabs(turn) / kArcStep)));
    const VQVector2 centre = s + (turn > 0.0f ? VQVector2(-a.y, a.x) : VQVector2(a.y, -a.x)) * r;
    const float a0 = std::atan2(s.y - centre.y, s.x - centre.x);
    for (uint32_t k = 0; k <= steps; ++k) {
      const float ang = a0 + turn * float(k) / float(steps);
      arcs[i].push_back(centre + VQVector2(std::cos(ang), std::sin(ang)) * r);
    }
  }
  // The line starts in the middle of the straight from corner 0 to corner 1.
  for (size_t i = 0; i < n; ++i) {
    const size_t c0 = i, c1 = (i + 1) % n;
    const VQVector2 from = arcs[c0].back(), to = arcs[c1].front();
    const VQVector2 mid = (from + to) * 0.5f;
    if (i == 0) pts.push_back(mid);
    // Second half of this straight happens after the arc of c1; first half of the next
    // straight after it. Write: mid(i) .. to, arc(c1), from(c1) .. mid(i+1).
    const float half = (to - mid).Length();
    const uint32_t pieces = std::max<uint32_t>(1, uint32_t(std::ceil(half / kStraightStep)));
    for (uint32_t k = 1; k < pieces; ++k)
      pts.push_back(mid + (to - mid) * (float(k) / float(pieces)));
    for (const VQVector2& q : arcs[c1]) pts.push_back(q);
    const VQVector2 nextFrom = arcs[c1].back(), nextTo = arcs[(c1 + 1) % n].front();
    const VQVector2 nextMid = (nextFrom + nextTo) * 0.5f;
    const float half2 = (nextMid - nextFrom).Length();
    const uint32_t pieces2 = std::max<uint32_t>(1, uint32_t(std::ceil(half2 / kStraightStep)));
    for (uint32_t k = 1; k < pieces2; ++k)
      pts.push_back(nextFrom + (nextMid - nextFrom) * (float(k) / float(pieces2)));
    pts.push_back(
        nextMid);  // for the last straight this is the first point again: the closing point
  }
  AIPath line;
  if (!line.Build(pts)) return false;
  out->lines.push_back(line);
  out->halfWidth = halfWidth;
  // Borders: soft left on the counter-clockwise side, soft right on the clockwise side.
  out->borders.Add(AIBORDER_SL, OffsetLoop(line, -halfWidth));
  out->borders.Add(AIBORDER_SR, OffsetLoop(line, halfWidth));
  // Start line far enough along for the grid behind it; the other checkpoints spread evenly.
  const uint32_t rows = (gridSlots + 1) / 2;
  const float total = line.TotalLength();
  const float startAt = std::fmod(kGridRow * float(rows) + 20.0f, total);
  for (uint32_t k = 0; k < checkpoints; ++k) {
    uint32_t seg;
    float frac;
    line.Walk(0, 0.0f, std::fmod(startAt + total * float(k) / float(checkpoints), total), &seg,
              &frac);
    const VQVector2 p = line.PointAt(seg, frac), nrm = Perp(line.Direction(seg));
    out->checkpoints.push_back(
        {p - nrm * (halfWidth + 1.0f), p + nrm * (halfWidth + 1.0f), seg, frac});
  }
  for (uint32_t k = 0; k < gridSlots; ++k) {
    uint32_t seg;
    float frac;
    const float back = 8.0f + kGridRow * float(k / 2) + (k % 2 ? 4.0f : 0.0f);
    line.Walk(out->checkpoints[0].segment, out->checkpoints[0].fraction, -back, &seg, &frac);
    const VQVector2 d = line.Direction(seg);
    out->grid.push_back({line.PointAt(seg, frac) + Perp(d) * (k % 2 ? kGridSide : -kGridSide), d});
  }
  return true;
}

bool AICourse_Sample(uint32_t index, uint32_t gridSlots, AICourseData* out) {
  std::vector<VQVector2> c;
  float radius = 30.0f;
  switch (index) {
    case 0:
      c = {{-150, -60}, {150, -60}, {150, 60}, {-150, 60}};
      radius = 45.0f;
      break;
    case 1:
      c = {{-160, -80}, {40, -80}, {60, -60}, {80, -80}, {160, -80}, {160, 80}, {-160, 80}};
      radius = 25.0f;
      break;
    case 2:
      c = {{-150, -90}, {170, -90}, {20, 10}, {60, 90}, {-150, 90}};
      radius = 20.0f;
      break;
    default: return false;
  }
  if (!AICourse_Build(c, radius, 7.0f, 4, gridSlots, out)) return false;
  static const char* const names[] = {"oval", "chicane", "hairpin"};
  out->name = names[index];
  return true;
}

// ---- the race ---------------------------------------------------------------------------------

struct AIRace::World {
  VQSampleTrack ground;
  VQCollisionWorld collisions;
};

struct AIRace::Car {
  TolvuCarModel1 model;
  AIRacer vehicle{&model};
  AIDriver driver;
  std::string name;
  // Lap tracking.
  uint32_t laps = 0;  // 0 before the first start-line crossing, then 1 + completed laps
  std::vector<uint8_t> flags;
  float lapStart = 0.0f, lastLine = -100.0f, bestLap = 0.0f, finishTime = 0.0f;
  uint8_t finished = 0;
  uint32_t place = 0;
  VQVector2 prev{0, 0};
  float still = 0.0f, longestStill = 0.0f;
};

AIRace::AIRace() : m_world(std::make_unique<World>()) {}

AIRace::~AIRace() {
  if (VQSampleTrack::GetCurrent() == &m_world->ground) VQSampleTrack::SetCurrent(nullptr);
}

AIDriver& AIRace::Driver(uint32_t i) { return m_cars[i]->driver; }

bool AIRace::Setup(const AICourseData& course, const std::vector<AIParameters>& drivers,
                   uint32_t laps, float frameStep, uint32_t seed) {
  m_error.clear();
  if (course.lines.empty() || course.lines[0].Empty())
    return m_error = "the course has no computer line", false;
  if (drivers.empty()) return m_error = "the field holds no driver", false;
  if (drivers.size() > VQCOLLISION_MAX_BODIES)
    return m_error = "more drivers than the collision world holds", false;
  if (!(frameStep > 0.0f)) return m_error = "the frame step must be above 0", false;
  m_course = course;
  m_laps = laps;
  m_step = frameStep;
  // Flat asphalt under the whole course.
  float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
  for (uint32_t i = 0; i < course.lines[0].Count(); ++i) {
    const VQVector2 p = course.lines[0].Point(i);
    lo[0] = std::min(lo[0], p.x), lo[1] = std::min(lo[1], p.y);
    hi[0] = std::max(hi[0], p.x), hi[1] = std::max(hi[1], p.y);
  }
  VQSampleTrack::Mesh flat;
  const float m = 200.0f;
  flat.vertices = {{lo[0] - m, lo[1] - m, 0},
                   {hi[0] + m, lo[1] - m, 0},
                   {hi[0] + m, hi[1] + m, 0},
                   {lo[0] - m, hi[1] + m, 0}};
  flat.indices = {0, 1, 2, 0, 2, 3};
  flat.surface = VQSAMPLE_ASPHALT;
  m_world->ground.m_meshes = {flat};
  if (!m_world->ground.BuildTerrain()) return m_error = "cannot build the ground", false;
  VQSampleTrack::SetCurrent(&m_world->ground);
  m_world->collisions.SetTrackQuery(VQSampleTrack::SweepSphere);
  m_world->collisions.SetTrackBoxQuery(VQSampleTrack::BoxHasTrack);

  std::string store = "/tmp/qvx_airace_" + std::to_string(::getpid()) + "_" +
                      std::to_string(reinterpret_cast<uintptr_t>(this)) + ".bin";
  const bool ownStore = m_modelFile.empty();
  if (!ownStore) {
    store = m_modelFile;
  } else if (!WriteRaceStore(store)) {
    std::remove(store.c_str());
    return m_error = "cannot write the model data file", false;
  }
  m_cars.clear();
  std::vector<GridPlace> grid;
  for (const auto& g : course.grid) grid.push_back({g.position, g.direction});
  grid = RaceField_GridPlaces(grid, uint32_t(drivers.size()));
  for (size_t i = 0; i < drivers.size(); ++i) {
    auto car = std::make_unique<Car>();
    const VQVector2 pos = grid[i].position, dir = grid[i].direction;
    const float heading = std::atan2(dir.y, dir.x) - 1.5707964f;
    if (!car->model.Initialize(nullptr, store.c_str(), VQVector(pos.x, pos.y, 0.0f),
                               VQVector(0, 0, heading), VQSampleTrack::GroundHeight)) {
      if (ownStore) std::remove(store.c_str());
      return m_error = "a car cannot be made", false;
    }
    m_world->ground.AddCarSpheres(car->model);
    car->model.m_collidable = 1;
    car->driver.Setup(AIDRIVER_COMPUTER, drivers[i]);
    car->driver.m_random = seed * 747796405u + uint32_t(i) * 2891336453u + 1u;
    car->driver.Attach(&car->vehicle, this);
    car->model.m_postStepCallback = OnPhysicsStep;
    car->model.m_postStepUserData = reinterpret_cast<uintptr_t>(&car->driver);
    car->name = drivers[i].name;
    car->flags.assign(course.checkpoints.size(), 0);
    car->prev = pos;
    m_world->collisions.AddBody(&car->model);
    m_cars.push_back(std::move(car));
  }
  if (ownStore) std::remove(store.c_str());
  m_time = 0.0f;
  m_started = false;
  m_finishers = 0;
  for (auto& car : m_cars) {
    car->vehicle.SelectGear(1);
    car->vehicle.SetClutch(0.0f);
    car->driver.PrepareStart(false);
  }
  return true;
}

void AIRace::Frame() {
  if (!m_started && m_time >= m_countdown) {
    m_started = true;
    m_raceStart = m_time;
    for (auto& car : m_cars) car->driver.StartRace(m_step);
  }
  m_world->collisions.Step(m_time, m_step);
  m_time += m_step;
  for (auto& car : m_cars) {
    car->vehicle.UpdateGearbox(m_step);
    car->driver.UpdateFrame(m_step);
    Track(*car);
  }
}

void AIRace::Track(Car& car) {
  const VQVector p3 = car.vehicle.Position();
  const VQVector2 pos(p3.x, p3.y);
  const float now = RaceTime();
  if (m_started && !car.finished) {
    for (size_t i = 0; i < m_course.checkpoints.size(); ++i) {
      if (!Crosses(m_course.checkpoints[i], car.prev, pos)) continue;
      if (i > 0) {
        if (car.flags[i - 1]) car.flags[i] = 1;
        continue;
      }
      if (now - car.lastLine <= kFinishSpan) {
        car.flags[0] = 1;
        continue;
      }
      car.lastLine = now;
      if (car.laps == 0) {
        car.laps = 1;
        car.lapStart = now;
        std::fill(car.flags.begin(), car.flags.end(), 0);
      } else if (std::find(car.flags.begin() + 1, car.flags.end(), 0) == car.flags.end()) {
        const float lap = now - car.lapStart;
        if (car.bestLap == 0.0f || lap < car.bestLap) car.bestLap = lap;
        ++car.laps;
        car.lapStart = now;
        std::fill(car.flags.begin(), car.flags.end(), 0);
        if (car.laps > m_laps) {
          car.finished = 1;
          car.place = ++m_finishers;
          car.finishTime = now;
          car.driver.m_state = AISTATE_FINISHED;
          // A finished car rolls out without blocking the ones still racing.
          car.vehicle.SetCollisions(false);
        }
      }
      car.flags[0] = 1;
    }
  }
  car.prev = pos;
  if (m_started && car.driver.m_state == AISTATE_DRIVING && !car.driver.Rescuing() &&
      car.vehicle.Speed() < AI_MOVING_SPEED) {
    car.still += m_step;
    car.longestStill = std::max(car.longestStill, car.still);
  } else {
    car.still = 0.0f;
  }
}

bool AIRace::Run(float maxSeconds) {
  const float end = m_countdown + maxSeconds;
  while (m_time < end) {
    Frame();
    if (m_finishers == m_cars.size()) return true;
  }
  return m_finishers == m_cars.size();
}

std::vector<AIRaceResult> AIRace::Results() const {
  std::vector<AIRaceResult> out;
  for (const auto& car : m_cars) {
    AIRaceResult r;
    r.name = car->name;
    r.laps = car->laps > 0 ? car->laps - 1 : 0;
    r.finished = car->finished;
    r.place = car->place;
    r.finishTime = car->finishTime;
    r.bestLap = car->bestLap;
    r.rescues = uint32_t(car->driver.m_rescueCount);
    r.longestStill = car->longestStill;
    const VQVector p = car->vehicle.Position();
    r.x = p.x;
    r.y = p.y;
    out.push_back(r);
  }
  return out;
}

const AIRace::Car* AIRace::Find(const AIDriver& d) const {
  for (const auto& car : m_cars)
    if (&car->driver == &d) return car.get();
  return nullptr;
}

uint32_t AIRace::LineCount() const { return uint32_t(m_course.lines.size()); }
const AIPath* AIRace::Line(uint32_t i) const {
  return i < m_course.lines.size() ? &m_course.lines[i] : nullptr;
}
int32_t AIRace::FindBorderPointAtDistance(const VQVector2& c, float r, VQVector2* p,
                                          VQVector2* d) const {
  return m_course.borders.CircleCrosses(c, r, p, d);
}
int32_t AIRace::SegmentCrossesBorder(const VQVector2& a, const VQVector2& b, VQVector2* p,
                                     VQVector2* d) const {
  return m_course.borders.SegmentCrosses(a, b, p, d);
}
float AIRace::GroundHeight(float, float) const { return 0.0f; }
float AIRace::RaceTime() const { return m_started ? m_time - m_raceStart : 0.0f; }
bool AIRace::RaceRunning() const { return m_started; }
uint32_t AIRace::CheckpointCount() const { return uint32_t(m_course.checkpoints.size()); }
void AIRace::CheckpointOnLine(uint32_t i, uint32_t* segment, float* fraction) const {
  if (i >= m_course.checkpoints.size()) {
    *segment = 0;
    *fraction = 0.0f;
    return;
  }
  *segment = m_course.checkpoints[i].segment;
  *fraction = m_course.checkpoints[i].fraction;
}
uint32_t AIRace::Laps(const AIDriver& d) const {
  const Car* car = Find(d);
  return car ? car->laps : 0;
}
bool AIRace::CheckpointPassed(const AIDriver& d, uint32_t i) const {
  const Car* car = Find(d);
  return car && i < car->flags.size() && car->flags[i];
}
uint32_t AIRace::ParticipantCount() const { return uint32_t(m_cars.size()); }
const AIDriver* AIRace::Participant(uint32_t i) const {
  return i < m_cars.size() ? &m_cars[i]->driver : nullptr;
}
