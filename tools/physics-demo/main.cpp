// physics-demo: the sample track (flat ground, a ramp, a banked curve, a wall block, boundary
// walls) with one CAR_2 and several CAR_1 cars placed from the model library's default stores,
// driven by scripted inputs through the collision world in frames of 1/60 s. Prints a trace.
//
//   physics-demo [--time SECONDS] [--cars N] [--every SECONDS]
//                [--scene FILE.vqo | --write-scene OUT.vqo]
//                [--terrain FILE.vqt | --write-terrain OUT.vqt] [--view] [--shot OUT.jpg]
//
// The sample track is written as a scene database with collider meshes (to --write-scene, or a
// temporary file removed at the end), read back, and the terrain tree is built from the scene's
// colliders; --scene reads a track scene instead and never writes it. --terrain reads a terrain
// cache instead of building the tree (an unreadable cache is an error); --write-terrain saves the
// built tree. --cars counts the CAR_1 cars (0 to 31, default 5).
//
// --view shows the race through the OpenGL display device: the track scene read by the
// device, each car a body box and four wheel boxes posed every frame by the vehicle model
// (GetTransforms), seen by a camera that follows the CAR_2 car. The simulation still advances
// 1/60 s per frame, so the trace is the same. Escape or Q ends it early; --shot writes the
// last frame as a JPEG file.
//
// Script: the CAR_2 car starts 10 m before the ramp at 18 m/s, full throttle: it climbs the
// ramp, flies and lands. CAR_1 car 1 drives into the wall block and brakes on contact; car 2
// and car 3 drive head-on into each other; the others drive a wide circle on the asphalt.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/vehicle/TolvuCarModel.h"
#include "Zentri/util/VQlog.h"

namespace {

int g_trackContacts = 0, g_bodyContacts = 0;

void OnContact(VQVehicleModel*, VQVehicleModel* other, const VQContactMaterial*, const VQContactMaterial*,
               const VQVector&, const VQVector&, uintptr_t) {
  if (other)
    ++g_bodyContacts;
  else
    ++g_trackContacts;
}

void Usage(FILE* to = stderr) {
  std::fprintf(to,
               "usage: physics-demo [--time SECONDS] [--cars N] [--every SECONDS]\n"
               "                    [--scene FILE.vqo | --write-scene OUT.vqo]\n"
               "                    [--terrain FILE.vqt | --write-terrain OUT.vqt] [--view] [--shot OUT.jpg]\n");
}

// An option whose value is out of range or malformed: says which and why, exit status 2.
int BadOption(const std::string& option, const char* why) {
  std::fprintf(stderr, "physics-demo: %s: %s\n", option.c_str(), why);
  return 2;
}

// The scripted race: the world, the cars and the trace.
struct Race {
  VQCollisionWorld world;
  std::vector<std::unique_ptr<TolvuCarModel>> cars;
  std::vector<bool> braking;
  double duration = 10.0, every = 0.5;
  float time = 0.0f, nextPrint = 0.0f;
  long frame = 0, frames = 0;

  void PrintHeader() const {
    std::printf("t");
    for (size_t i = 0; i < cars.size(); ++i) std::printf(",x%zu,y%zu,z%zu,speed%zu", i, i, i, i);
    std::printf(",track_contacts,body_contacts\n");
  }
  // Prints the row when one is due, then steps one frame; false once the time is up (after
  // the last row).
  bool Frame() {
    if (time + 1e-4f >= nextPrint) {
      std::printf("%.3f", time);
      for (auto& c : cars) {
        const VQVector p = c->GetPosition();
        std::printf(",%.3f,%.3f,%.3f,%.2f", p.x, p.y, p.z, c->GetSpeed());
      }
      std::printf(",%d,%d\n", g_trackContacts, g_bodyContacts);
      nextPrint += float(every);
    }
    if (frame >= frames) return false;
    const float dt = 1.0f / 60.0f;
    world.Step(time, dt);
    time += dt;
    ++frame;
    // The wall driver lets go and brakes once the car touches the track with its body.
    if (cars.size() > 1 && !braking[1] && cars[1]->GetCollisionBody()->trackContactBits) {
      braking[1] = true;
      cars[1]->SetThrottle(0.0f);
      cars[1]->SetBrake(1.0f);
    }
    return true;
  }
};

// ---- The view -------------------------------------------------------------------------------

// A box geoset of one colour, held by the device; null when out of memory.
VQGeoset* MakeBox(VQDisplayDevice* device, const VQVector& lo, const VQVector& hi, uint32_t colour) {
  VQMesh* mesh = VQMesh::Create(24, 12, 0, true, true, false);
  VQGeoset* geoset = VQGeoset::Create();
  if (!mesh || !geoset) {
    VQMesh::Destroy(mesh);
    VQGeoset::Destroy(geoset);
    return nullptr;
  }
  const float x[2] = {lo.x, hi.x}, y[2] = {lo.y, hi.y}, z[2] = {lo.z, hi.z};
  // Each face: its normal axis and side, four corners counter-clockwise seen from outside.
  uint32_t v = 0, t = 0;
  for (int axis = 0; axis < 3; ++axis)
    for (int side = 0; side < 2; ++side) {
      const int u = (axis + 1) % 3, w = (axis + 2) % 3;
      const int order[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      for (int k = 0; k < 4; ++k) {
        int c[3];
        c[axis] = side;
        c[u] = order[side ? k : 3 - k][0];
        c[w] = order[side ? k : 3 - k][1];
        mesh->m_positions[v + k].Set(x[c[0]], y[c[1]], z[c[2]]);
        VQVector n(0, 0, 0);
        (axis == 0 ? n.x : axis == 1 ? n.y : n.z) = side ? 1.0f : -1.0f;
        mesh->m_normals[v + k] = n;
        mesh->m_colours[v + k] = colour;
      }
      const uint16_t quad[6] = {uint16_t(v), uint16_t(v + 1), uint16_t(v + 2),
                                uint16_t(v), uint16_t(v + 2), uint16_t(v + 3)};
      std::memcpy(mesh->m_indices + 3 * t, quad, sizeof quad);
      mesh->SetMaterialOf(t, 0);
      mesh->SetMaterialOf(t + 1, 0);
      v += 4;
      t += 2;
    }
  geoset->AddLevel(mesh, 10000.0f);
  geoset->GetBoundingSphere(geoset->m_centre, geoset->m_radius);
  VQscene_SetGeosetDevice(geoset, device);
  return geoset;
}

struct View {
  Race* race = nullptr;
  VQDisplayDevice* device = nullptr;
  VQCamera* camera = nullptr;
  std::vector<VQTransformNode*> nodes;  // six per car: body, four wheels, none
  std::string shot;
  bool shotWritten = false;
};
View g_view;

void PoseCars() {
  for (size_t i = 0; i < g_view.race->cars.size(); ++i) {
    VQTransformNode** n = &g_view.nodes[5 * i];
    g_view.race->cars[i]->GetTransforms(n[0], n[1], n[2], n[3], n[4], nullptr);
    for (int k = 0; k < 5; ++k) n[k]->Notify();
  }
  // Behind and above the CAR_2 car, looking at it.
  const VQVector target = g_view.race->cars[0]->GetPosition();
  const VQVector eye = target + VQVector(0, -16, 7);
  g_view.camera->m_matrix.SetIdentity();
  g_view.camera->SetPosition(eye);
  VQVector direction = target - eye;
  direction.Normalize();
  g_view.camera->SetViewDirection(direction);
}

void OnViewFrame(uintptr_t) {
  if (g_view.device->m_canvasCount == 0 || !g_view.race->Frame()) {
    g_VQsystem.m_stop = 1;
    return;
  }
  PoseCars();
}

void OnLast(VQCanvas* canvas, uintptr_t) {
  if (g_view.shot.empty() || !g_VQsystem.m_stop) return;
  VQPixmap* p = canvas->GrabRect(0, 0, int32_t(canvas->m_width), int32_t(canvas->m_height));
  if (!p) return;
  g_view.shotWritten = p->SaveImage(g_view.shot.c_str(), VQIMAGE_JPEG, 0);
  canvas->m_device->DeletePixmap(p);
}

void OnKey(uintptr_t, uint32_t key, intptr_t, int pressed, VQCanvas*) {
  if (pressed && (key == 27 || key == 'Q')) g_VQsystem.m_stop = 1;
}

// Runs the race in a window; 0, or 1 when the view cannot be made.
int RunView(Race& race, const std::string& sceneFile, const std::string& shot) {
  g_VQsystem.Init();
  auto* device = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
  if (!device || !device->Open(0)) {
    std::fprintf(stderr, "physics-demo: cannot open the OpenGL display device (%s)\n", VQerror_Describe(g_VQerror).c_str());
    g_VQsystem.Shutdown();
    return 1;
  }
  VQNode* root = device->ReadSceneFile(sceneFile.c_str(), 0, 0);
  VQNode* found = root ? root->FindByName("track") : nullptr;
  auto* track = found && found->m_type == VQNODE_GROUP ? static_cast<VQGroupNode*>(found) : nullptr;
  VQGeoset* bodies[2] = {MakeBox(device, {-0.85f, -0.9f, 0.25f}, {0.85f, 3.5f, 1.3f}, 0xFF2020D0u),
                         MakeBox(device, {-0.8f, -0.8f, 0.25f}, {0.8f, 3.4f, 1.2f}, 0xFFD06020u)};
  VQGeoset* wheel = MakeBox(device, {-0.15f, -0.33f, -0.33f}, {0.15f, 0.33f, 0.33f}, 0xFF202020u);
  VQGroupNode* carGroup = new VQGroupNode();
  carGroup->SetName("cars");
  VQMattable* table = VQMattable::Create(1);
  bool ok = track && bodies[0] && bodies[1] && wheel && table && track->AddChild(carGroup);
  if (!ok) VQNode::Destroy(carGroup);
  for (size_t i = 0; ok && i < race.cars.size(); ++i)
    for (int k = 0; k < 5; ++k) {
      VQTransformNode* t = new VQTransformNode();
      VQGeosetNode* g = new VQGeosetNode(k == 0 ? bodies[i == 0 ? 0 : 1] : wheel);
      g->SetMattable(table);
      t->SetChild(g);
      if (!carGroup->AddChild(t)) {
        VQNode::Destroy(t);
        ok = false;
        break;
      }
      g_view.nodes.push_back(t);
    }
  // The nodes hold their own references now; unused boxes go here.
  for (VQGeoset* g : {bodies[0], bodies[1], wheel})
    if (g && g->m_refCount == 0) VQGeoset::Destroy(g);
  if (table && table->m_refCount == 0) VQMattable::Release(table);
  if (!ok) {
    std::fprintf(stderr, "physics-demo: cannot make the view scene (%s)\n", VQerror_Describe(g_VQerror).c_str());
    if (root) VQNode::Destroy(root);
    device->Close();
    g_VQsystem.Shutdown();
    return 1;
  }

  const uint32_t width = 800, height = 480;
  VQCanvas* canvas = device->CreateCanvas(2, 0, width, height, 0, 0);
  VQViewport* viewport = canvas ? canvas->CreateViewport(0, 0, int32_t(width), int32_t(height)) : nullptr;
  if (!viewport) {
    std::fprintf(stderr, "physics-demo: cannot make the canvas (%s)\n", VQerror_Describe(g_VQerror).c_str());
    device->Close();
    VQNode::Destroy(root);
    g_VQsystem.Shutdown();
    return 1;
  }
  canvas->SetTitle("physics-demo - Esc or Q quits");
  VQCamera camera(float(70.0 * M_PI / 180.0), 0.0f);
  camera.m_near = 0.5f;
  camera.m_far = 1000.0f;
  g_view.race = &race;
  g_view.device = device;
  g_view.camera = &camera;
  g_view.shot = shot;
  viewport->m_root = root;
  viewport->m_clearColour = VQColor(0.45f, 0.6f, 0.85f, 1.0f);
  viewport->m_active = 1;
  viewport->SetCamera(&camera);
  PoseCars();
  canvas->SetCallbacks(nullptr, 0, nullptr, 0, OnLast, 0);
  canvas->Show(true);

  g_VQwin32Devices.keyMessage = OnKey;
  g_VQsystem.m_updateCallback = OnViewFrame;
  g_VQsystem.Run();
  g_VQwin32Devices.keyMessage = nullptr;
  g_VQsystem.m_updateCallback = nullptr;

  device->Close();  // destroys the canvas and its viewport, which lets go of the camera
  VQNode::Destroy(root);
  g_VQsystem.Shutdown();
  if (!shot.empty() && !g_view.shotWritten) {
    std::fprintf(stderr, "physics-demo: cannot write %s\n", shot.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Engine messages go to stderr; a command-line program writes no engine log file into the
  // folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  Race race;
  int carCount = 5;
  std::string terrainFile, sceneFile, writeTerrain, writeScene, shot;
  bool view = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    char* end = nullptr;
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else if (a == "--time" && hasValue) {
      race.duration = std::strtod(argv[++i], &end);
      if (*end || !(race.duration >= 0.0 && race.duration <= 3600.0))
        return BadOption(a, "needs a number of seconds from 0 to 3600");
    } else if (a == "--every" && hasValue) {
      race.every = std::strtod(argv[++i], &end);
      if (*end || !(race.every > 0.0)) return BadOption(a, "needs a number of seconds above 0");
    } else if (a == "--cars" && hasValue) {
      const long cars = std::strtol(argv[++i], &end, 10);
      if (*end || cars < 0 || cars > 31) return BadOption(a, "needs a whole number of cars from 0 to 31");
      carCount = int(cars);
    } else if (a == "--scene" && hasValue) {
      sceneFile = argv[++i];
    } else if (a == "--terrain" && hasValue) {
      terrainFile = argv[++i];
    } else if (a == "--write-scene" && hasValue) {
      writeScene = argv[++i];
    } else if (a == "--write-terrain" && hasValue) {
      writeTerrain = argv[++i];
    } else if (a == "--shot" && hasValue) {
      shot = argv[++i];
    } else if (a == "--view") {
      view = true;
    } else {
      return Usage(), 2;
    }
  }
  if (!shot.empty() && !view) return BadOption("--shot", "needs --view");

  if (!sceneFile.empty() && !writeScene.empty()) {
    std::fprintf(stderr, "physics-demo: --scene reads a track scene and --write-scene writes the sample one: give one\n");
    return 2;
  }
  if (!terrainFile.empty() && !writeTerrain.empty()) {
    std::fprintf(stderr, "physics-demo: --terrain reads a terrain cache and --write-terrain writes one: give one\n");
    return 2;
  }

  // The track scene: the file given with --scene, read as it is; otherwise the sample track,
  // written to --write-scene or to a temporary file removed at the end.
  VQSampleTrack track;
  const bool ownScene = sceneFile.empty();
  if (ownScene) {
    sceneFile = !writeScene.empty() ? writeScene : "/tmp/physics_demo_track_" + std::to_string(::getpid()) + ".vqo";
    if (!track.WriteScene(sceneFile.c_str()))
      return std::fprintf(stderr, "physics-demo: cannot write the track scene '%s' (%s)\n", sceneFile.c_str(), VQerror_Describe(g_VQerror).c_str()), 1;
  }
  const bool removeScene = ownScene && writeScene.empty();
  if (!terrainFile.empty()) {
    if (!track.m_terrain.Read(terrainFile.c_str())) {
      std::fprintf(stderr, "physics-demo: cannot read the terrain cache '%s' (%s)\n", terrainFile.c_str(), VQerror_Describe(g_VQerror).c_str());
      if (removeScene) std::remove(sceneFile.c_str());
      return 1;
    }
    std::printf("# terrain read from %s\n", terrainFile.c_str());
  } else {
    VQNode* scene = nullptr;
    if (!VQscene_ReadDatabase(&scene, sceneFile.c_str(), nullptr, 0, false)) {
      std::fprintf(stderr, "physics-demo: cannot read the track scene '%s' (%s)\n", sceneFile.c_str(), VQerror_Describe(g_VQerror).c_str());
      if (removeScene) std::remove(sceneFile.c_str());
      return 1;
    }
    const bool built = track.BuildTerrainFromScene(scene);
    VQNode::Destroy(scene);
    if (!built) {
      std::fprintf(stderr, "physics-demo: cannot build the terrain (%s)\n", VQerror_Describe(g_VQerror).c_str());
      if (removeScene) std::remove(sceneFile.c_str());
      return 1;
    }
    std::printf("# terrain built from the scene %s\n", sceneFile.c_str());
    if (!writeTerrain.empty() && !track.m_terrain.Write(writeTerrain.c_str())) {
      std::fprintf(stderr, "physics-demo: cannot write '%s' (%s)\n", writeTerrain.c_str(), VQerror_Describe(g_VQerror).c_str());
      if (removeScene) std::remove(sceneFile.c_str());
      return 1;
    }
  }
  std::printf("# %u triangles, %u nodes\n", track.m_terrain.GetTriangleCount(), track.m_terrain.GetNodeCount());
  VQSampleTrack::SetCurrent(&track);

  // The default stores as the model data files a race reads ("tolvu_<car>_<level>.bin", the
  // level "high" for CAR_2 and "mid" for CAR_1).
  const std::string carName = "/tmp/tolvu_demo" + std::to_string(::getpid());
  const std::string high = carName + "_high.bin", mid = carName + "_mid.bin";
  if (!TolvuCarModel_WriteDefaultStoreFile(2, high.c_str()) || !TolvuCarModel_WriteDefaultStoreFile(1, mid.c_str()))
    return std::fprintf(stderr, "physics-demo: cannot write the model data files (%s)\n", VQerror_Describe(g_VQerror).c_str()), 1;

  race.world.SetTrackQuery(VQSampleTrack::SweepSphere);
  race.world.m_contactCallback = OnContact;
  for (int i = 0; i <= carCount; ++i) {
    VQVector start, angles(0, 0, 0), velocity(0, 0, 0);
    float throttle = 0.4f, steer = 0.0f;
    std::unique_ptr<TolvuCarModel> car;
    if (i == 0) {
      car = std::make_unique<TolvuCarModel2>();
      start.Set(0, -10, 0);
      velocity.Set(0, 18, 0);
      throttle = 1.0f;
    } else {
      car = std::make_unique<TolvuCarModel1>();
      if (i == 1) {
        start.Set(70, 25, 0);
        velocity.Set(0, 15, 0);
        throttle = 1.0f;
      } else if (i == 2 || i == 3) {
        start.Set(-30, i == 2 ? -75.0f : -58.0f, 0);
        if (i == 3) angles.z = float(M_PI);
        velocity.Set(0, i == 2 ? 6.0f : -6.0f, 0);
        throttle = 0.0f;
      } else {
        start.Set(30.0f + 8.0f * float((i - 4) % 4), -30.0f - 10.0f * float((i - 4) / 4), 0);
        steer = 0.1f;
      }
    }
    // As a race makes its cars: placed first, then given their contact spheres.
    if (!car->Initialize(nullptr, (i == 0 ? high : mid).c_str(), start, angles, VQSampleTrack::GroundHeight))
      return std::fprintf(stderr, "physics-demo: car %d cannot be initialised (%s)\n", i, VQerror_Describe(g_VQerror).c_str()), 1;
    track.AddCarSpheres(*car);
    car->SetGear(2);
    car->SetClutch(1.0f);
    car->SetThrottle(throttle);
    car->SetSteering(steer);
    car->SetVelocity(velocity);
    if (!race.world.AddBody(car.get())) return std::fprintf(stderr, "physics-demo: too many cars\n"), 1;
    race.cars.push_back(std::move(car));
    race.braking.push_back(false);
  }
  std::remove(high.c_str());
  std::remove(mid.c_str());

  race.frames = long(race.duration * 60.0 + 0.5);
  race.PrintHeader();
  int rc = 0;
  if (view)
    rc = RunView(race, sceneFile, shot);
  else
    while (race.Frame()) {
    }
  if (removeScene) std::remove(sceneFile.c_str());
  return rc;
}
