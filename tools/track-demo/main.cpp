// track-demo: a race of computer drivers on a generated track. Loads the track (building its
// terrain cache on the first load), puts N computer drivers of the track's driver file on the
// grid, runs the start sequence and lets them race (planner, rescues, lap tracker). One line is
// printed per lap event. The race is shown from the track's cameras: the trackside camera whose
// stretch holds the leader, else the tower.
//
//   track-demo TRACK [--laps N] [--cars N] [--seconds S] [--shot OUT.jpg] [--view]
//                    [--data DIR] [--weather NAME] [--detail 0|1|2] [--seed N]
//
// The race advances 1/60 s per frame. It ends when every car is classified (the leader has
// completed the laps and the others have crossed the line once more; exit 0), when S seconds of
// race time have passed (exit 4), or when a car leaves the world (no ground below it; exit 3). --shot writes the last frame as a JPEG; --view shows the race in a window.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "QVX/race/AIParameters.h"
#include "QVX/race/RaceSession.h"
#include "QVX/race/RaceTracker.h"
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
      "                  [--data DIR] [--weather NAME] [--detail 0|1|2] [--seed N]\n"
      "  races N cars (1-32, default 4) for N laps (default 2) on a generated track, printing one "
      "line\n"
      "  per lap event; --seconds limits the race time (default 600), --shot writes the last "
      "frame\n");
  return out == stdout ? 0 : 2;
}

// The scene nodes of one car: body and four wheels.
struct CarNodes {
  VQTransformNode* nodes[5] = {};
};

struct Demo {
  RaceSession race;
  std::vector<CarNodes> cars;
  uint32_t laps = 2;
  float seconds = 600.0f;
  int result = -1;  // set when the race ends
  // The view.
  VQDisplayDevice* device = nullptr;
  VQCamera* camera = nullptr;
  VQGroupNode* carGroup = nullptr;
  std::string shot;
  bool shotWritten = false;
  Track& track() { return race.GetTrack(); }
};
Demo* g_demo = nullptr;

int RacerIndex(const TrackRacer* racer) {
  for (uint32_t i = 0; i < g_demo->race.ParticipantCount(); ++i)
    if (g_demo->race.GetRacer(i) == racer) return int(i);
  return -1;
}

void OnRaceEvent(void*, int32_t event, TrackRacer* racer, int32_t argument) {
  Demo& d = *g_demo;
  if (event == RACE_EVENT_GREEN) {
    std::printf("%8.2f green light\n", d.race.GetSimulation().m_raceTime);
    return;
  }
  static const bool trace = std::getenv("TRACK_DEMO_TRACE") != nullptr;
  if (trace && (event == RACE_EVENT_CHECKPOINT || event == RACE_EVENT_MISSED))
    std::printf("  event %d car %d checkpoint %d\n", event, RacerIndex(racer) + 1, argument);
  if (event != RACE_EVENT_LAP || !racer) return;
  const RaceTrackerEntry* e = d.track().m_tracker->FindEntry(racer);
  if (!e) return;
  const float t = d.track().m_tracker->m_raceTime;
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
  if (!d.camera || d.race.ParticipantCount() == 0) return;
  const RaceTrackerEntry* leader =
      d.track().m_tracker ? d.track().m_tracker->FindEntryByPosition(1) : nullptr;
  const TrackRacer* car = leader ? leader->car : d.race.GetRacer(0);
  const TrackAILine* line = d.track().m_aiLineCount ? d.track().m_aiLines[0] : nullptr;
  uint32_t lap = 0, segment = 0;
  float fraction = 0.0f;
  car->GetProgress(&lap, &segment, &fraction);
  float s = 0.0f;
  if (line)
    for (uint32_t k = 0; k < segment && k < line->Count(); ++k) s += line->lengths[k];
  const Simulation& sim = d.race.GetSimulation();
  const TrackCameraRecord* chosen = sim.FindCamera("tower");
  for (uint32_t i = 0; i < sim.m_cameraCount; ++i) {
    const TrackCameraRecord* c = sim.m_cameras[i];
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
  Demo& d = *g_demo;
  for (uint32_t i = 0; i < d.race.ParticipantCount() && i < d.cars.size(); ++i) {
    VQVehicleModel* model = d.race.GetRacer(i)->GetVehicle();
    VQTransformNode* const* n = d.cars[i].nodes;
    if (!model || !n[0]) continue;
    model->GetTransforms(n[0], n[1], n[2], n[3], n[4], nullptr);
    for (int k = 0; k < 5; ++k) n[k]->Notify();
  }
  PlaceCamera();
}

// One frame of the race, then the checks.
bool Step() {
  Demo& d = *g_demo;
  d.race.Frame();
  const float now = d.race.GetSimulation().m_raceTime;
  for (uint32_t i = 0; i < d.race.ParticipantCount(); ++i) {
    const VQVector p = d.race.GetRacer(i)->GetPosition();
    VQVector normal;
    const float ground =
        d.track().m_terrain->GetHeight(VQVector(p.x, p.y, p.z + 3.0f), &normal, nullptr, nullptr);
    if (ground >= VQTERRAIN_NO_GROUND || p.z < ground - 3.0f || !std::isfinite(p.x + p.y + p.z)) {
      std::printf("%8.2f car %u left the world at (%.1f, %.1f, %.1f)\n", now, i + 1, p.x, p.y, p.z);
      d.result = 3;
      return false;
    }
  }
  if (d.race.Finished()) {
    const std::vector<RaceSessionResult> results = d.race.Results();
    bool all = true;
    for (const RaceSessionResult& r : results) all = all && r.laps >= d.laps;
    if (all)
      std::printf("%8.2f all cars completed %u laps\n", now, d.laps);
    else
      std::printf("%8.2f race finished: the winner completed %u laps\n", now, d.laps);
    for (uint32_t p = 1; p <= results.size(); ++p)
      for (size_t i = 0; i < results.size(); ++i)
        if (results[i].place == p)
          std::printf("position %u: car %zu (%s), %u laps, best lap %.2f s, %u rescues\n", p, i + 1,
                      results[i].name.c_str(), results[i].laps, results[i].bestLap,
                      results[i].rescues);
    d.result = 0;
    return false;
  }
  if (d.race.RaceTime() >= d.seconds) {
    std::printf("%8.2f race time limit reached; laps completed:", now);
    for (const RaceSessionResult& r : d.race.Results()) std::printf(" %u", r.laps);
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
  d.carGroup = new VQGroupNode(0);
  d.carGroup->SetName("g_demo_cars");
  d.cars.assign(d.race.ParticipantCount(), CarNodes());
  VQGeoset* body = MakeBox(device, {-0.85f, -0.9f, 0.25f}, {0.85f, 3.5f, 1.3f});
  VQGeoset* wheel = MakeBox(device, {-0.15f, -0.33f, -0.33f}, {0.15f, 0.33f, 0.33f});
  VQMattable* black = Paint("demo_wheel", 0.1f, 0.1f, 0.1f);
  for (size_t i = 0; i < d.cars.size(); ++i) {
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
      d.carGroup->AddChild(t);
      d.cars[i].nodes[k] = t;
    }
  }
  d.track().m_main->AddChild(d.carGroup);
}

// The computer drivers of the track's own driver file ("class_AI_<track>.bin"); none when it
// cannot be read.
std::vector<AIParameters> TrackDrivers(const std::string& dataFolder, const std::string& track) {
  std::vector<uint8_t> bytes;
  std::vector<AIParameters> out;
  if (!vqfileio::ReadWholeFile((dataFolder + "/class_AI_" + track + ".bin").c_str(), bytes, 0))
    return out;
  std::vector<AIDriverRecord> records;
  AI_Parse(bytes.data(), bytes.size(), records);
  for (const AIDriverRecord& r : records) {
    AIParameters p;
    AIParameters_FromRecord(r.bytes, &p);
    out.push_back(p);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  std::string trackName, data, shot, weather = "sunny";
  uint32_t laps = 2, cars = 4, detail = TRACK_DETAIL_HIGH, seed = 1;
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
        return std::fprintf(stderr,
                            "track-demo: --laps needs a whole number of laps from 1 to 100\n"),
               2;
      laps = uint32_t(v);
    } else if (a == "--cars" && hasValue) {
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end || v < 1 || v > long(TRACK_MAX_PLAYERS))
        return std::fprintf(stderr,
                            "track-demo: --cars needs a whole number of cars from 1 to 32\n"),
               2;
      cars = uint32_t(v);
    } else if (a == "--seconds" && hasValue) {
      seconds = std::strtof(argv[++i], &end);
      if (*end || !(seconds > 0.0f && seconds <= 36000.0f))
        return std::fprintf(
                   stderr,
                   "track-demo: --seconds needs a number of seconds above 0 and at most 36000\n"),
               2;
    } else if (a == "--detail" && hasValue) {
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end || v < 0 || v > 2)
        return std::fprintf(stderr, "track-demo: --detail needs 0, 1 or 2\n"), 2;
      detail = uint32_t(v);
    } else if (a == "--seed" && hasValue) {
      const long v = std::strtol(argv[++i], &end, 10);
      if (*end || v < 0 || v > 0x7FFFFFFFL)
        return std::fprintf(stderr,
                            "track-demo: --seed needs a whole number from 0 to 2147483647\n"),
               2;
      seed = uint32_t(v);
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
      const bool takesValue = a == "--laps" || a == "--cars" || a == "--seconds" ||
                              a == "--detail" || a == "--seed" || a == "--shot" || a == "--data" ||
                              a == "--weather";
      std::fprintf(stderr, "track-demo: %s %s\n", a.c_str(),
                   takesValue ? "needs a value"
                              : (a[0] == '-' ? "is not an option" : "is a second track name"));
      return Usage(stderr);
    }
  }
  if (trackName.empty())
    return std::fprintf(stderr, "track-demo: give the name of a track\n"), Usage(stderr);
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
  RaceSessionConfig config;
  config.dataFolder = dataFolder;
  config.track = trackName;
  config.weather = weather;
  config.laps = laps;
  config.detail = detail;
  config.frameStep = kStep;
  config.seed = seed;
  config.display = device;
  config.software = software;
  config.hooks.error = [](void*, const char* text) {
    std::fprintf(stderr, "track-demo: %s\n", text);
  };
  config.hooks.raceEvent = OnRaceEvent;
  auto fail = [&](int rc) {
    if (demo->carGroup) VQNode::Destroy(demo->carGroup);
    demo.reset();
    device->Close();
    if (software != device) software->Close();
    g_VQsystem.Shutdown();
    return rc;
  };
  RaceSession& race = demo->race;
  if (!race.Load(config)) {
    std::fprintf(stderr, "track-demo: cannot load track '%s' from %s (%s)\n", trackName.c_str(),
                 dataFolder.c_str(), race.m_error.c_str());
    return fail(1);
  }
  Track& track = race.GetTrack();
  std::printf(
      "track %s: %u triangles (%s), %u checkpoints, %u grid places, line of %.0f m, weather %s\n",
      trackName.c_str(), track.m_terrain->GetTriangleCount(),
      track.m_terrainFromCache ? "terrain cache" : "terrain built and saved",
      track.m_checkpointCount, track.m_gridCount,
      track.m_aiLineCount ? track.m_aiLines[0]->length : 0.0f, track.m_weatherName.c_str());
  if (!track.m_aiLineCount) {
    std::fprintf(stderr, "track-demo: the track has no computer-driver line\n");
    return fail(1);
  }
  if (std::getenv("TRACK_DEMO_TRACE"))
    for (uint32_t i = 0; i < track.m_checkpointCount; ++i) {
      const TrackCheckpoint* c = track.m_checkpoints[i];
      std::printf("  checkpoint %u kind %u (%.1f %.1f) - (%.1f %.1f) segment %u\n", i, c->kind,
                  c->a[0], c->a[1], c->b[0], c->b[1], c->segment);
    }
  // The field: the computer drivers of the track's own file (the first ones of every class
  // in turn), numbered when the file has fewer than asked.
  std::vector<AIParameters> drivers = TrackDrivers(dataFolder, trackName);
  for (uint32_t i = 0; i < cars; ++i) {
    AIParameters p = drivers.empty() ? AIParameters() : drivers[(i * 3) % drivers.size()];
    if (drivers.empty() || i * 3 >= drivers.size())
      std::snprintf(p.name, sizeof p.name, "car %u", i + 1);
    if (!race.AddComputer(p)) {
      std::fprintf(stderr, "track-demo: car %u cannot be made (%s)\n", i + 1, race.m_error.c_str());
      return fail(1);
    }
  }
  if (!race.Start()) {
    std::fprintf(stderr, "track-demo: %s\n", race.m_error.c_str());
    return fail(1);
  }

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
  if (demo->carGroup && demo->carGroup->m_parent)
    static_cast<VQGroupNode*>(demo->carGroup->m_parent)->RemoveChild(demo->carGroup);
  if (demo->carGroup) VQNode::Destroy(demo->carGroup);
  if (viewport) viewport->m_root = nullptr;
  demo.reset();
  g_demo = nullptr;
  device->Close();
  if (software != device) software->Close();
  g_VQsystem.Shutdown();
  return rc;
}
