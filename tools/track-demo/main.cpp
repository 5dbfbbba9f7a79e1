// track-demo: a race on a generated track. Loads the track (building its terrain cache on the
// first load), puts N cars on the grid, runs the start sequence and drives every car along the
// track's computer-driver line with a simple follower (steer towards a point ahead on the line,
// hold a speed that drops in bends). Laps are counted by the race tracker; one line is printed
// per lap event. The race is shown from the track's cameras: the trackside camera whose stretch
// holds the leader, else the tower.
//
//   track-demo TRACK [--laps N] [--cars N] [--seconds S] [--shot OUT.jpg] [--view]
//                    [--data DIR] [--weather NAME] [--detail 0|1|2]
//
// The race advances 1/60 s per frame. It ends when every car has completed its laps (exit 0),
// when S seconds of race time have passed (exit 4), or when a car leaves the world (no ground
// below it; exit 3). --shot writes the last frame as a JPEG; --view shows the race in a window.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "QVX/race/RaceFrame.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace fs = std::filesystem;

namespace {

constexpr float kStep = SIMULATION_DEFAULT_STEP;
constexpr float kPi = 3.14159265358979f;

int Usage(FILE* out) {
  std::fprintf(
      out,
      "usage: track-demo TRACK [--laps N] [--cars N] [--seconds S] [--shot OUT.jpg] [--view]\n"
      "                  [--data DIR] [--weather NAME] [--detail 0|1|2]\n"
      "  races N cars (1-32, default 4) for N laps (default 2) on a generated track, printing one "
      "line\n"
      "  per lap event; --seconds limits the race time (default 600), --shot writes the last "
      "frame\n");
  return out == stdout ? 0 : 2;
}

// The race clock of the demo: exactly one frame per tick.
struct FrameClock {
  int64_t counts = 0;
  static int64_t Now(void* user) { return static_cast<FrameClock*>(user)->counts; }
};

// A car of the demo: a CAR_1 vehicle model in the collision world, steered along the line.
class DemoRacer : public TrackRacer {
 public:
  DemoRacer(uint32_t number, const std::string& modelFile, Track* track)
      : m_number(number), m_modelFile(modelFile), m_track(track) {}
  ~DemoRacer() override { ReleaseCar(); }

  uint32_t GetDriverType() const override { return TRACK_DRIVER_COMPUTER; }
  const char* GetName() const override { return m_name; }
  VQVehicleModel* GetVehicle() override { return m_car.get(); }
  VQVector GetPosition() const override { return m_position; }
  VQVector GetPreviousPosition() const override { return m_previous; }
  float GetLapMarkTime() const override { return m_lapMark; }
  void SetLapMarkTime(float t) override { m_lapMark = t; }
  void PlaceAtStart(const VQVector& position, float heading) override {
    ReleaseCar();
    m_car = std::make_unique<TolvuCarModel1>();
    if (!m_car->Initialize(nullptr, m_modelFile.c_str(), position, VQVector(0, 0, heading),
                           Track::GroundQuery)) {
      m_car.reset();
      return;
    }
    // Contact spheres (body frame: origin on the ground at the rear axle, y forward).
    const VQContactMaterial* material =
        m_track->m_contacts.empty() ? nullptr : &m_track->m_contacts[0];
    for (float x : {-0.8f, 0.8f})
      for (float y : {-0.6f, 0.6f, 2.0f, 3.2f})
        m_car->AddCollisionSphere(VQVector(x, y, 0.6f), 0.4f, 0);
    m_car->AddCollisionSphere(VQVector(0.0f, 1.0f, 1.1f), 0.4f, 0);
    m_car->SetAllSphereValues(material);
    m_car->SetGear(2);
    m_car->SetClutch(1.0f);
    m_car->SetParkBrake(1.0f);
    m_car->SetBrake(1.0f);
    m_position = m_previous = m_car->GetPosition();
  }
  void ReleaseCar() override { m_car.reset(); }
  void BeginRace() override {
    m_racing = true;
    if (m_car) m_car->SetParkBrake(0.0f);
  }
  void Update(float dt) override {
    if (!m_car) return;
    m_previous = m_position;
    m_position = m_car->GetPosition();
    if (!m_racing) return;
    Drive();
    // A car that stands still for 3 s, or gains no ground along the line for 8 s, is put back
    // on the line (as a rescue does).
    m_stuck = m_car->GetSpeed() < 0.5 ? m_stuck + dt : 0.0f;
    m_noProgress += dt;
    if (m_segment != m_progressSegment) {
      const uint32_t n = m_track->m_aiLines[0]->Count();
      if ((m_segment + n - m_progressSegment) % n < n / 2) m_noProgress = 0.0f;
      m_progressSegment = m_segment;
    }
    if (m_stuck > 3.0f || m_noProgress > 8.0f) Rescue();
  }
  void Rescue() {
    const TrackAILine* line = m_track->m_aiLines[0];
    const uint32_t k = (m_segment + 1) % line->Count();
    const VQVector2& p = line->points[k];
    const VQVector2& d = line->directions[k];
    const float ground = m_track->GroundHeightAt(VQVector(p.x, p.y, m_position.z + 10.0f));
    m_car->SetPosition(VQVector(p.x, p.y, ground + 0.5f));
    m_car->SetOrientationAngles(VQVector(0, 0, std::atan2(d.y, d.x) - kPi / 2.0f));
    m_car->SetVelocity(VQVector(d.x * 3.0f, d.y * 3.0f, 0));
    m_car->SetAngularVelocity(VQVector(0, 0, 0));
    m_position = m_car->GetPosition();  // the jump from the old place counts for the checkpoints
    m_stuck = m_noProgress = 0.0f;
    ++m_rescues;
  }
  void UpdateProgress() override {
    const TrackAILine* line = m_track->m_aiLineCount ? m_track->m_aiLines[0] : nullptr;
    if (!line || !line->Count()) return;
    const uint32_t n = line->Count();
    // The nearest line point, searched near the last one.
    float best = 1e30f;
    uint32_t at = m_segment;
    for (int32_t d = -20; d <= 20; ++d) {
      const uint32_t k = uint32_t((int32_t(m_segment) + d + int32_t(n) * 4) % int32_t(n));
      const VQVector2 p = line->points[k] - VQVector2(m_position.x, m_position.y);
      const float dist = p.Dot(p);
      if (dist < best) best = dist, at = k;
    }
    if (m_segment > n * 3 / 4 && at < n / 4) ++m_lap;
    if (m_segment < n / 4 && at > n * 3 / 4 && m_lap) --m_lap;
    m_segment = at;
  }
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override {
    *lap = m_lap, *segment = m_segment, *fraction = 0.0f;
  }
  void SetAILine(uint32_t) override {}

  // Steer towards a point ahead on the line; hold a speed that drops in bends.
  void Drive() {
    const TrackAILine* line = m_track->m_aiLines[0];
    const uint32_t n = line->Count();
    const float speed = float(m_car->GetSpeed());
    const uint32_t ahead = uint32_t(5.0f + speed * 0.5f);
    const VQVector2 target = line->points[(m_segment + ahead) % n];
    const VQMatrix* w = m_car->GetWorldMatrix();
    const VQVector2 forward(w->m[4], w->m[5]);
    VQVector2 to = target - VQVector2(m_position.x, m_position.y);
    to.Normalize();
    const float cross = forward.x * to.y - forward.y * to.x;
    const float dot = forward.Dot(to);
    const float error = std::atan2(cross, dot);
    m_car->SetSteering(std::fmax(-1.0f, std::fmin(1.0f, -error * 1.0f)));  // positive steers right
    // Bend ahead: the turn of the line over the next points.
    const VQVector2& d0 = line->directions[m_segment % n];
    const VQVector2& d1 = line->directions[(m_segment + ahead + 4) % n];
    const float bend = std::fabs(std::atan2(d0.x * d1.y - d0.y * d1.x, d0.Dot(d1)));
    const float wanted = 13.0f - 8.0f * std::fmin(1.0f, bend / 0.6f);
    m_car->SetThrottle(speed < wanted ? std::fmin(1.0f, (wanted - speed) * 0.4f + 0.3f) : 0.0f);
    m_car->SetBrake(speed > wanted + 2.0f ? 0.5f : 0.0f);
    m_car->SetGear(speed < 9.0f ? 2 : 3);
  }

  uint32_t m_number;
  char m_name[16] = {};
  std::string m_modelFile;
  Track* m_track;
  std::unique_ptr<TolvuCarModel> m_car;
  VQVector m_position{0, 0, 0}, m_previous{0, 0, 0};
  float m_lapMark = -100.0f;
  bool m_racing = false;
  uint32_t m_segment = 0, m_lap = 0;
  float m_stuck = 0.0f, m_noProgress = 0.0f;
  uint32_t m_progressSegment = 0;
  uint32_t m_rescues = 0;
  VQTransformNode* m_nodes[5] = {};
};

struct Demo {
  Track track;
  Simulation simulation;
  RaceFrame frame;
  FrameClock clock;
  std::vector<std::unique_ptr<DemoRacer>> racers;
  uint32_t laps = 2;
  float seconds = 600.0f;
  int result = -1;  // set when the race ends
  // The view.
  VQDisplayDevice* device = nullptr;
  VQCamera* camera = nullptr;
  VQGroupNode* cars = nullptr;
  std::string shot;
  bool shotWritten = false;
};
Demo* g_demo = nullptr;

int RacerIndex(const TrackRacer* racer) {
  for (size_t i = 0; i < g_demo->racers.size(); ++i)
    if (g_demo->racers[i].get() == racer) return int(i);
  return -1;
}

void OnRaceEvent(void*, int32_t event, TrackRacer* racer, int32_t argument) {
  Demo& d = *g_demo;
  if (event == RACE_EVENT_GREEN) {
    std::printf("%8.2f green light\n", d.simulation.m_raceTime);
    return;
  }
  static const bool trace = std::getenv("TRACK_DEMO_TRACE") != nullptr;
  if (trace && (event == RACE_EVENT_CHECKPOINT || event == RACE_EVENT_MISSED))
    std::printf("  event %d car %d checkpoint %d\n", event, RacerIndex(racer) + 1, argument);
  if (event != RACE_EVENT_LAP || !racer) return;
  const RaceTrackerEntry* e = d.track.m_tracker->FindEntry(racer);
  if (!e) return;
  const float t = d.track.m_tracker->m_raceTime;
  if (!e->lapStarted) {
    std::printf("%8.2f car %d starts its first lap\n", t, RacerIndex(racer) + 1);
    return;
  }
  const LapTime lap = LapTime::FromHundredths(uint32_t(e->lapTime * 100.0f + 0.5f));
  std::printf("%8.2f car %d completes lap %u in %u:%02u.%02u (position %u)\n", t,
              RacerIndex(racer) + 1, e->laps, lap.minutes, lap.seconds, lap.hundredths,
              e->position);
}

// The camera of the frame: the trackside camera whose stretch holds the leader, else the tower;
// it looks at the leader.
void PlaceCamera() {
  Demo& d = *g_demo;
  if (!d.camera || d.racers.empty()) return;
  const RaceTrackerEntry* leader =
      d.track.m_tracker ? d.track.m_tracker->FindEntryByPosition(1) : nullptr;
  const DemoRacer* car = leader ? static_cast<const DemoRacer*>(leader->car) : d.racers[0].get();
  const TrackAILine* line = d.track.m_aiLineCount ? d.track.m_aiLines[0] : nullptr;
  float s = 0.0f;
  if (line)
    for (uint32_t k = 0; k < car->m_segment && k < line->Count(); ++k) s += line->lengths[k];
  const TrackCameraRecord* chosen = d.simulation.FindCamera("tower");
  for (uint32_t i = 0; i < d.simulation.m_cameraCount; ++i) {
    const TrackCameraRecord* c = d.simulation.m_cameras[i];
    if (c->type == TRACK_CAMERA_FIXED && c->intervalFrom != c->intervalTo && s >= c->intervalFrom &&
        s < c->intervalTo)
      chosen = c;
  }
  if (!chosen) return;
  const VQVector target = car->GetPosition();
  const VQVector eye = chosen->vector1;
  d.camera->m_matrix.SetIdentity();
  d.camera->SetPosition(eye);
  VQVector direction = target - eye;
  direction.Normalize();
  d.camera->SetViewDirection(direction);
}

void PoseCars() {
  for (auto& r : g_demo->racers) {
    if (!r->m_car || !r->m_nodes[0]) continue;
    r->m_car->GetTransforms(r->m_nodes[0], r->m_nodes[1], r->m_nodes[2], r->m_nodes[3],
                            r->m_nodes[4], nullptr);
    for (VQTransformNode* n : r->m_nodes) n->Notify();
  }
  PlaceCamera();
}

// One frame: the race frame (clock, track update, tracker), then the checks.
bool Step() {
  Demo& d = *g_demo;
  d.clock.counts += 1000000 / 60;
  d.frame.OnFrame();
  for (size_t i = 0; i < d.racers.size(); ++i) {
    const VQVector p = d.racers[i]->GetPosition();
    VQVector normal;
    const float ground =
        d.track.m_terrain->GetHeight(VQVector(p.x, p.y, p.z + 3.0f), &normal, nullptr, nullptr);
    if (ground >= VQTERRAIN_NO_GROUND || p.z < ground - 3.0f || !std::isfinite(p.x + p.y + p.z)) {
      std::printf("%8.2f car %zu left the world at (%.1f, %.1f, %.1f)\n", d.simulation.m_raceTime,
                  i + 1, p.x, p.y, p.z);
      d.result = 3;
      return false;
    }
  }
  static const bool trace = std::getenv("TRACK_DEMO_TRACE") != nullptr;
  if (trace && (d.clock.counts / (1000000 / 60)) % 120 == 0)
    for (size_t i = 0; i < d.racers.size(); ++i) {
      const DemoRacer& r = *d.racers[i];
      const VQVector p = r.GetPosition();
      std::printf(
          "  t %.1f car %zu at (%.1f %.1f %.1f) speed %.1f seg %u gear %d steer %.2f thr %.2f\n",
          d.simulation.m_raceTime, i + 1, p.x, p.y, p.z, r.m_car->GetSpeed(), r.m_segment,
          r.m_car->GetGear(), r.m_car->GetSteering(), r.m_car->GetThrottle());
    }
  bool done = d.track.m_tracker->m_running;
  for (uint32_t i = 0; i < d.track.m_tracker->m_count; ++i)
    done = done && d.track.m_tracker->m_entries[i]->laps >= d.laps + 1;
  if (done) {
    std::printf("%8.2f all cars completed %u laps\n", d.simulation.m_raceTime, d.laps);
    for (uint32_t p = 1; p <= d.track.m_tracker->m_count; ++p) {
      const RaceTrackerEntry* e = d.track.m_tracker->FindEntryByPosition(p);
      if (!e) continue;
      std::printf("position %u: car %d, best lap %.2f s\n", p, RacerIndex(e->car) + 1,
                  e->bestLap.Seconds());
    }
    d.result = 0;
    return false;
  }
  if (d.simulation.m_raceTime >= d.seconds) {
    std::printf("%8.2f race time limit reached; laps completed:", d.simulation.m_raceTime);
    for (uint32_t i = 0; i < d.track.m_tracker->m_count; ++i) {
      const RaceTrackerEntry* e = d.track.m_tracker->m_entries[i];
      std::printf(" car %d %u", RacerIndex(e->car) + 1, e->laps ? e->laps - 1 : 0);
    }
    std::printf("\n");
    d.result = 4;
    return false;
  }
  return true;
}

void OnViewFrame(uintptr_t) {
  if (g_demo->device->m_canvasCount == 0 || !Step()) {
    g_VQsystem.m_stop = 1;
    return;
  }
  PoseCars();
}

void OnLast(VQCanvas* canvas, uintptr_t) {
  if (g_demo->shot.empty() || !g_VQsystem.m_stop || g_demo->shotWritten) return;
  VQPixmap* p = canvas->GrabRect(0, 0, int32_t(canvas->m_width), int32_t(canvas->m_height));
  if (!p) return;
  g_demo->shotWritten = p->SaveImage(g_demo->shot.c_str(), VQIMAGE_JPEG, 0);
  canvas->m_device->DeletePixmap(p);
}

VQGeoset* MakeBox(VQDisplayDevice* device, const VQVector& lo, const VQVector& hi) {
  VQMesh* mesh = VQMesh::Create(24, 12, 0, true, false, false);
  VQGeoset* g = VQGeoset::Create();
  if (!mesh || !g) return nullptr;
  const VQVector c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z},
                         {lo.x, hi.y, lo.z}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z},
                         {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
  const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                           {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
  const VQVector normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};
  for (int f = 0; f < 6; ++f) {
    for (int k = 0; k < 4; ++k) {
      mesh->m_positions[4 * f + k] = c[faces[f][k]];
      mesh->m_normals[4 * f + k] = normals[f];
    }
    const uint16_t b = uint16_t(4 * f);
    const uint16_t tri[6] = {b, uint16_t(b + 1), uint16_t(b + 2),
                             b, uint16_t(b + 2), uint16_t(b + 3)};
    std::memcpy(mesh->m_indices + 6 * f, tri, sizeof tri);
    mesh->SetMaterialOf(uint32_t(2 * f), 0);
    mesh->SetMaterialOf(uint32_t(2 * f + 1), 0);
  }
  g->AddLevel(mesh, 10000.0f);
  g->GetBoundingSphere(g->m_centre, g->m_radius);
  if (device) VQscene_SetGeosetDevice(g, device);
  return g;
}

VQMattable* Paint(const char* name, float r, float g, float b) {
  VQMattable* t = VQMattable::Create(0);
  t->Resize(1);
  VQMaterial* m = VQMaterial::Create(name);
  m->SetDefaults();
  m->m_diffuse = VQColor(r, g, b, 1);
  m->m_ambient = VQColor(r * 0.5f, g * 0.5f, b * 0.5f, 1);
  t->Set(m, 0);
  return t;
}

// The cars' scene nodes under the track's main group: a body box and four wheels each.
void MakeCarNodes(VQDisplayDevice* device) {
  Demo& d = *g_demo;
  d.cars = new VQGroupNode(0);
  d.cars->SetName("g_demo_cars");
  VQGeoset* body = MakeBox(device, {-0.85f, -0.9f, 0.25f}, {0.85f, 3.5f, 1.3f});
  VQGeoset* wheel = MakeBox(device, {-0.15f, -0.33f, -0.33f}, {0.15f, 0.33f, 0.33f});
  VQMattable* black = Paint("demo_wheel", 0.1f, 0.1f, 0.1f);
  for (size_t i = 0; i < d.racers.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "demo_paint%zu", i);
    VQMattable* paint =
        Paint(name, 0.3f + 0.7f * float((i * 37) % 7) / 6.0f,
              0.2f + 0.8f * float((i * 53) % 5) / 4.0f, 0.9f - 0.7f * float((i * 11) % 3) / 2.0f);
    for (int k = 0; k < 5; ++k) {
      auto* t = new VQTransformNode(0);
      auto* g = new VQGeosetNode(k == 0 ? body : wheel);
      g->SetName(k == 0 ? "m_body" : "m_wheel");
      g->SetMattable(k == 0 ? paint : black);
      t->SetChild(g);
      d.cars->AddChild(t);
      d.racers[i]->m_nodes[k] = t;
    }
  }
  d.track.m_main->AddChild(d.cars);
}

bool ReadMaterials(const std::string& path, std::vector<CollisionMaterial>& out) {
  std::vector<uint8_t> bytes;
  uint32_t header[3];
  return vqfileio::ReadWholeFile(path.c_str(), bytes, 24) &&
         Materials_Parse(bytes.data(), bytes.size(), header, out);
}

}  // namespace

int main(int argc, char** argv) {
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  std::string trackName, data, shot, weather = "sunny";
  uint32_t laps = 2, cars = 4, detail = TRACK_DETAIL_HIGH;
  float seconds = 600.0f;
  bool view = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    char* end = nullptr;
    if (a == "--help" || a == "-h") return Usage(stdout);
    if (a == "--laps" && hasValue) {
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end || v < 1 || v > 100)
        return std::fprintf(stderr, "track-demo: --laps needs 1 to 100\n"), 2;
      laps = uint32_t(v);
    } else if (a == "--cars" && hasValue) {
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end || v < 1 || v > long(TRACK_MAX_PLAYERS))
        return std::fprintf(stderr, "track-demo: --cars needs 1 to 32\n"), 2;
      cars = uint32_t(v);
    } else if (a == "--seconds" && hasValue) {
      seconds = std::strtof(argv[++i], &end);
      if (*end || !(seconds > 0.0f && seconds <= 36000.0f))
        return std::fprintf(stderr, "track-demo: --seconds needs a time above 0\n"), 2;
    } else if (a == "--detail" && hasValue) {
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end || v < 0 || v > 2)
        return std::fprintf(stderr, "track-demo: --detail needs 0, 1 or 2\n"), 2;
      detail = uint32_t(v);
    } else if (a == "--shot" && hasValue) {
      shot = argv[++i];
    } else if (a == "--data" && hasValue) {
      data = argv[++i];
    } else if (a == "--weather" && hasValue) {
      weather = argv[++i];
    } else if (a == "--view") {
      view = true;
    } else if (!a.empty() && a[0] != '-' && trackName.empty()) {
      trackName = a;
    } else {
      return Usage(stderr);
    }
  }
  if (trackName.empty()) return Usage(stderr);
  if (data.empty())
    data = (fs::read_symlink("/proc/self/exe").parent_path() / ".." / "game").string();
  const std::string dataFolder = data + "/Data";

  g_VQsystem.Init();
  const bool render = view || !shot.empty();
  VQDisplayDevice* software =
      static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_SOFTWARE_DISPLAY, 0));
  VQDisplayDevice* device = software;
  if (render)
    device = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (!software || !software->Open(0) || !device || !device->Open(0)) {
    std::fprintf(stderr, "track-demo: cannot open the display device (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  VQCanvas* canvas = nullptr;
  VQViewport* viewport = nullptr;
  if (render) {
    canvas = device->CreateCanvas(2, 0, 800, 480, 0, 0);
    viewport = canvas ? canvas->CreateViewport(0, 0, 800, 480) : nullptr;
    if (!viewport) {
      std::fprintf(stderr, "track-demo: cannot make the canvas (%s)\n",
                   VQerror_Describe(g_VQerror).c_str());
      device->Close();
      g_VQsystem.Shutdown();
      return 1;
    }
  }

  auto demo = std::make_unique<Demo>();
  g_demo = demo.get();
  demo->laps = laps;
  demo->seconds = seconds;
  demo->shot = shot;
  demo->device = device;
  WeatherDatabase weatherTables;
  weatherTables.LoadWeatherConfigs(true, (dataFolder + "/weather.ini").c_str());
  weatherTables.LoadRainConfigs(true, (dataFolder + "/weather_rain.ini").c_str());
  weatherTables.LoadThunderConfigs(true, (dataFolder + "/weather_thunder.ini").c_str());
  std::vector<CollisionMaterial> materials;
  if (!ReadMaterials(dataFolder + "/Materials.bin", materials))
    std::fprintf(stderr, "track-demo: no collision materials in %s (default ground everywhere)\n",
                 dataFolder.c_str());

  Track& track = demo->track;
  track.m_services.display = device;
  track.m_services.software = software;
  track.m_services.weather = &weatherTables;
  track.m_services.materials = &materials;
  track.m_services.tracksFolder = dataFolder + "/Tracks";
  track.m_services.textureFolder = dataFolder + "/Maps_high";
  track.m_services.mapsCarsFolder = dataFolder + "/Maps_cars";
  track.m_services.detail = detail;
  track.m_services.gameMode = GAME_MODE_COMPUTERS;
  track.m_hooks.error = [](void*, const char* text) {
    std::fprintf(stderr, "track-demo: %s\n", text);
  };
  track.m_hooks.raceEvent = OnRaceEvent;
  if (!track.Load(trackName.c_str(), weather.c_str(), 0.0f)) {
    std::fprintf(stderr, "track-demo: cannot load track '%s' from %s\n", trackName.c_str(),
                 dataFolder.c_str());
    demo.reset();
    device->Close();
    if (software != device) software->Close();
    g_VQsystem.Shutdown();
    return 1;
  }
  std::printf(
      "track %s: %u triangles (%s), %u checkpoints, %u grid places, line of %.0f m, weather %s\n",
      trackName.c_str(), track.m_terrain->GetTriangleCount(),
      track.m_terrainFromCache ? "terrain cache" : "terrain built and saved",
      track.m_checkpointCount, track.m_gridCount,
      track.m_aiLineCount ? track.m_aiLines[0]->length : 0.0f, track.m_weatherName.c_str());
  if (!track.m_aiLineCount) {
    std::fprintf(stderr, "track-demo: the track has no computer-driver line\n");
    demo.reset();
    device->Close();
    if (software != device) software->Close();
    g_VQsystem.Shutdown();
    return 1;
  }
  if (std::getenv("TRACK_DEMO_TRACE"))
    for (uint32_t i = 0; i < track.m_checkpointCount; ++i) {
      const TrackCheckpoint* c = track.m_checkpoints[i];
      std::printf("  checkpoint %u kind %u (%.1f %.1f) - (%.1f %.1f) segment %u\n", i, c->kind,
                  c->a[0], c->a[1], c->b[0], c->b[1], c->segment);
    }
  track.m_raceLength = 60;  // minutes: the demo ends on its own lap count
  track.m_goDelay = 0.2f;

  Simulation& sim = demo->simulation;
  sim.SetClock(SimulationClock{FrameClock::Now, 1000000, &demo->clock});
  sim.SetTrack(&track);
  if (!track.RegisterCameras(&sim)) {
    demo.reset();
    device->Close();
    if (software != device) software->Close();
    g_VQsystem.Shutdown();
    return 1;
  }
  track.SetStartCameras(sim.FindCamera("tower"), sim.FindCamera("follow"));

  const std::string modelFile =
      (fs::temp_directory_path() / ("track_demo_" + std::to_string(::getpid()) + ".bin")).string();
  if (!TolvuCarModel_WriteDefaultStoreFile(1, modelFile.c_str())) {
    std::fprintf(stderr, "track-demo: cannot write the model data file (%s)\n",
                 VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  for (uint32_t i = 0; i < cars; ++i) {
    demo->racers.push_back(std::make_unique<DemoRacer>(i + 1, modelFile, &track));
    DemoRacer* r = demo->racers.back().get();
    std::snprintf(r->m_name, sizeof r->m_name, "car %u", i + 1);
    track.AddPlayer(r, GAME_MODE_COMPUTERS);
    if (!r->m_car) {
      std::fprintf(stderr, "track-demo: car %u cannot be made (%s)\n", i + 1,
                   VQerror_Describe(g_VQerror).c_str());
      std::remove(modelFile.c_str());
      return 1;
    }
    track.m_tracker->AddCar(r);
    r->UpdateProgress();
  }
  std::remove(modelFile.c_str());

  demo->frame.m_simulation = &sim;
  demo->frame.m_track = &track;
  demo->frame.m_gameMode = GAME_MODE_COMPUTERS;
  demo->frame.m_canvas = canvas;
  demo->frame.m_display = device;
  track.PrepareRace(true);
  sim.Start(false, false);

  VQCamera camera(float(60.0 * M_PI / 180.0), 0.0f);
  if (render) {
    camera.m_near = 0.5f;
    camera.m_far = 3000.0f;
    demo->camera = &camera;
    MakeCarNodes(device);
    viewport->m_root = track.m_scene;
    viewport->m_clearColour = VQColor(0.45f, 0.6f, 0.85f, 1.0f);
    viewport->m_active = 1;
    viewport->SetCamera(&camera);
    canvas->SetCallbacks(nullptr, 0, nullptr, 0, OnLast, 0);
    canvas->SetTitle(("track-demo - " + trackName).c_str());
    PoseCars();
  }
  if (view) {
    canvas->Show(true);
    g_VQsystem.m_updateCallback = OnViewFrame;
    g_VQsystem.Run();
    g_VQsystem.m_updateCallback = nullptr;
  } else {
    while (Step()) {}
    if (render) {
      // Only the last frame is drawn: the race itself needs no pictures.
      PoseCars();
      canvas->Show(true);
      g_VQsystem.m_stop = 1;
      g_VQsystem.RenderDisplays();
      g_VQsystem.PresentDisplays();
      if (!demo->shotWritten) OnLast(canvas, 0);
    }
  }
  if (demo->result < 0) demo->result = 0;  // the window was closed
  int rc = demo->result;
  if (!shot.empty() && !demo->shotWritten) {
    std::fprintf(stderr, "track-demo: cannot write %s\n", shot.c_str());
    if (rc == 0) rc = 1;
  }
  track.RemoveAllPlayers();
  if (demo->cars) VQNode::Destroy(demo->cars);
  if (viewport) viewport->m_root = nullptr;
  demo.reset();
  g_demo = nullptr;
  device->Close();
  if (software != device) software->Close();
  g_VQsystem.Shutdown();
  return rc;
}
