// physics-demo: the sample track (flat ground, a ramp, a banked curve, a wall block, boundary
// walls) with one CAR_2 and several CAR_1 cars placed from the model library's default stores,
// driven by scripted inputs through the collision world in frames of 1/60 s. Prints a trace.
//
//   physics-demo [--time SECONDS] [--cars N] [--every SECONDS] [--terrain FILE.vqt] [--view]
//
// --cars counts the CAR_1 cars (0 to 31, default 5). --terrain reads the track's terrain cache
// file when it is valid and otherwise builds the tree and writes the file there, as a race
// does. --view would show the race through the OpenGL display device, which this build does
// not have yet: the trace is printed instead.
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
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

int g_trackContacts = 0, g_bodyContacts = 0;

void OnContact(VQVehicleModel*, VQVehicleModel* other, const CollisionMaterial*, const CollisionMaterial*,
               const VQVector&, const VQVector&, uintptr_t) {
  if (other)
    ++g_bodyContacts;
  else
    ++g_trackContacts;
}

void Usage() {
  std::fprintf(stderr,
               "usage: physics-demo [--time SECONDS] [--cars N] [--every SECONDS] [--terrain FILE.vqt] [--view]\n");
}

}  // namespace

int main(int argc, char** argv) {
  double duration = 10.0, every = 0.5;
  int carCount = 5;
  std::string terrainFile;
  bool view = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    char* end = nullptr;
    if (a == "--time" && hasValue) {
      duration = std::strtod(argv[++i], &end);
      if (*end || !(duration >= 0.0 && duration <= 3600.0)) return Usage(), 2;
    } else if (a == "--every" && hasValue) {
      every = std::strtod(argv[++i], &end);
      if (*end || !(every > 0.0)) return Usage(), 2;
    } else if (a == "--cars" && hasValue) {
      carCount = int(std::strtol(argv[++i], &end, 10));
      if (*end || carCount < 0 || carCount > 31) return Usage(), 2;
    } else if (a == "--terrain" && hasValue) {
      terrainFile = argv[++i];
    } else if (a == "--view") {
      view = true;
    } else {
      return Usage(), 2;
    }
  }
  if (view) std::fprintf(stderr, "physics-demo: no OpenGL display device in this build; printing the trace\n");

  VQSampleTrack track;
  if (!terrainFile.empty() && track.m_terrain.Read(terrainFile.c_str())) {
    std::printf("# terrain read from %s\n", terrainFile.c_str());
  } else {
    if (!track.BuildTerrain()) return std::fprintf(stderr, "physics-demo: cannot build the terrain\n"), 1;
    if (!terrainFile.empty() && !track.m_terrain.Write(terrainFile.c_str()))
      std::fprintf(stderr, "physics-demo: cannot write '%s' (error %d)\n", terrainFile.c_str(), g_VQerror);
  }
  std::printf("# %u triangles, %u nodes\n", track.m_terrain.GetTriangleCount(), track.m_terrain.GetNodeCount());
  VQSampleTrack::SetCurrent(&track);

  // The default stores as the model data files a race reads.
  const std::string high = "/tmp/physics_demo_high_" + std::to_string(::getpid()) + ".bin";
  const std::string mid = "/tmp/physics_demo_mid_" + std::to_string(::getpid()) + ".bin";
  if (!TolvuCarModel_WriteDefaultStoreFile(2, high.c_str()) || !TolvuCarModel_WriteDefaultStoreFile(1, mid.c_str()))
    return std::fprintf(stderr, "physics-demo: cannot write the model data files (error %d)\n", g_VQerror), 1;

  VQCollisionWorld world;
  world.SetTrackQuery(VQSampleTrack::SweepSphere);
  world.m_contactCallback = OnContact;
  std::vector<std::unique_ptr<TolvuCarModel>> cars;
  std::vector<bool> braking;
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
    track.AddCarSpheres(*car);
    if (!car->Initialize(nullptr, (i == 0 ? high : mid).c_str(), start, angles, VQSampleTrack::GroundHeight))
      return std::fprintf(stderr, "physics-demo: car %d cannot be initialised (error %d)\n", i, g_VQerror), 1;
    car->SetGear(2);
    car->SetClutch(1.0f);
    car->SetThrottle(throttle);
    car->SetSteering(steer);
    car->SetVelocity(velocity);
    if (!world.AddBody(car.get())) return std::fprintf(stderr, "physics-demo: too many cars\n"), 1;
    cars.push_back(std::move(car));
    braking.push_back(false);
  }
  std::remove(high.c_str());
  std::remove(mid.c_str());

  std::printf("t");
  for (size_t i = 0; i < cars.size(); ++i) std::printf(",x%zu,y%zu,z%zu,speed%zu", i, i, i, i);
  std::printf(",track_contacts,body_contacts\n");
  const float frame = 1.0f / 60.0f;
  float time = 0.0f, nextPrint = 0.0f;
  const long frames = long(duration * 60.0 + 0.5);
  for (long f = 0; f <= frames; ++f) {
    if (time + 1e-4f >= nextPrint) {
      std::printf("%.3f", time);
      for (auto& c : cars) {
        const VQVector p = c->GetPosition();
        std::printf(",%.3f,%.3f,%.3f,%.2f", p.x, p.y, p.z, c->GetSpeed());
      }
      std::printf(",%d,%d\n", g_trackContacts, g_bodyContacts);
      nextPrint += float(every);
    }
    if (f == frames) break;
    world.Step(time, frame);
    time += frame;
    // The wall driver lets go and brakes once the car touches the track with its body.
    if (cars.size() > 1 && !braking[1] && cars[1]->GetCollisionBody()->trackContactBits) {
      braking[1] = true;
      cars[1]->SetThrottle(0.0f);
      cars[1]->SetBrake(1.0f);
    }
  }
  return 0;
}
