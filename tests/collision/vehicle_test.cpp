#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/vehicle/TolvuCarModel.h"
#include "model/include/tolvu.h"

namespace {

std::string Temp(const std::string& base) {
  return std::string(::testing::TempDir()) + base + "_" + std::to_string(::getpid());
}

std::vector<std::string> g_logLines;
void CaptureLog(int, const char* text) { g_logLines.push_back(text); }

// The default stores of both models as image files, and the sample track, made once.
class Cars : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    high = Temp("tolvu_test_high.bin");
    mid = Temp("tolvu_test_mid.bin");
    ASSERT_TRUE(TolvuCarModel_WriteDefaultStoreFile(2, high.c_str()));
    ASSERT_TRUE(TolvuCarModel_WriteDefaultStoreFile(1, mid.c_str()));
    track = new VQSampleTrack;
    ASSERT_TRUE(track->BuildTerrain());
  }
  static void TearDownTestSuite() {
    std::remove(high.c_str());
    std::remove(mid.c_str());
    delete track;
  }
  void SetUp() override {
    VQSampleTrack::SetCurrent(track);
    g_logLines.clear();
    VQlog_SetHandler(CaptureLog);
  }
  void TearDown() override {
    VQlog_SetHandler(nullptr);
    VQSampleTrack::SetCurrent(nullptr);
  }

  static std::unique_ptr<TolvuCarModel> Make(int type, const VQVector& start,
                                             const VQVector& angles = {0, 0, 0}) {
    std::unique_ptr<TolvuCarModel> car;
    if (type == 2)
      car = std::make_unique<TolvuCarModel2>();
    else
      car = std::make_unique<TolvuCarModel1>();
    track->AddCarSpheres(*car);
    EXPECT_TRUE(car->Initialize(nullptr, (type == 2 ? high : mid).c_str(), start, angles,
                                VQSampleTrack::GroundHeight));
    car->SetGear(2);
    car->SetClutch(1.0f);
    return car;
  }
  static double Var(TolvuCarModel& car, const char* name) {
    const int k = tolvu_GetVarIndex(int(car.GetModelType()), name);
    return k >= 1 ? car.GetStore()[k - 1] : std::nan("");
  }

  static std::string high, mid;
  static VQSampleTrack* track;
};
std::string Cars::high, Cars::mid;
VQSampleTrack* Cars::track = nullptr;

}  // namespace

TEST_F(Cars, InitialisationNeedsTheWholeStoreImage) {
  std::vector<uint8_t> image;
  {
    FILE* f = std::fopen(high.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    image.resize(21944);
    ASSERT_EQ(std::fread(image.data(), 1, image.size(), f), image.size());
    std::fclose(f);
  }
  const std::string shortFile = Temp("short.bin"), longFile = Temp("long.bin");
  auto write = [](const std::string& name, const uint8_t* data, size_t n) {
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(data, 1, n, f);
    std::fclose(f);
  };
  write(shortFile, image.data(), image.size() - 8);
  std::vector<uint8_t> longer = image;
  longer.push_back(0);
  write(longFile, longer.data(), longer.size());
  struct Row {
    std::string file;
    bool ok;
  } rows[] = {{Temp("absent.bin"), false}, {shortFile, false}, {longFile, false}, {high, true}};
  for (const Row& row : rows) {
    TolvuCarModel2 car;
    g_VQerror = 0;
    EXPECT_EQ(car.Initialize(nullptr, row.file.c_str(), {0, 0, 0}, {0, 0, 0},
                             VQSampleTrack::GroundHeight),
              row.ok)
        << row.file;
    EXPECT_EQ(car.IsInitialised(), row.ok);
    if (!row.ok) {
      EXPECT_NE(g_VQerror, 0);
      EXPECT_EQ(car.GetCarMass(), 0.0);
    } else {
      EXPECT_GT(car.GetCarMass(), 100.0);
    }
  }
  std::remove(shortFile.c_str());
  std::remove(longFile.c_str());
  // A CAR_1 image is not a CAR_2 store; a car that failed stays put in a world.
  TolvuCarModel2 wrong;
  EXPECT_FALSE(wrong.Initialize(nullptr, mid.c_str(), {0, 0, 0}, {0, 0, 0}, nullptr));
  VQCollisionWorld world;
  world.AddBody(&wrong);
  g_logLines.clear();
  world.Step(0.0f, 0.1f);
  EXPECT_EQ(wrong.GetPosition(), VQVector(0, 0, 0));
  EXPECT_TRUE(g_logLines.empty());  // not evaluated at all, so never unstable
  size_t written = 0;
  for (uint32_t i = 0; i < wrong.GetStoreSize() / 8; ++i) written += wrong.GetStore()[i] != 0.0;
  EXPECT_EQ(written, 0u);
  // A reload that finds the image gone leaves a car that is no longer driven; one that finds
  // it again drives it from the reloaded state.
  {
    const std::string copy = Temp("reload_high.bin");
    std::vector<uint8_t> bytes(image);
    write(copy, bytes.data(), bytes.size());
    TolvuCarModel2 car;
    ASSERT_TRUE(car.Initialize(nullptr, copy.c_str(), {0, 0, 0}, {0, 0, 0}, VQSampleTrack::GroundHeight));
    std::remove(copy.c_str());
    EXPECT_FALSE(car.Reset(true));
    EXPECT_FALSE(car.IsInitialised());
    car.Prepare(1, 0.0f);
    car.Step(1, 0.0f, 0.005f);
    EXPECT_EQ(car.GetCarMass(), 0.0);
    EXPECT_EQ(car.GetPosition(), VQVector(0, 0, 0));
    write(copy, bytes.data(), bytes.size());
    EXPECT_TRUE(car.Reset(true));
    EXPECT_TRUE(car.IsInitialised());
    EXPECT_GT(car.GetCarMass(), 100.0);
    std::remove(copy.c_str());
  }
  // With a model file the library's text data files are read instead; names beginning with a
  // blank give the library's defaults.
  TolvuCarModel1 fromText;
  ASSERT_TRUE(fromText.Initialize(" ", " ", {0, 0, 0}, {0, 0, 0}, VQSampleTrack::GroundHeight));
  EXPECT_GT(fromText.GetCarMass(), 100.0);
  EXPECT_NEAR(fromText.GetPosition().z, float(-Var(fromText, "X_COG(3)")), 1e-6);
}

TEST_F(Cars, StartPositionAddsTheRotatedCentreOfGravityOffset) {
  for (int type : {1, 2}) {
    const VQVector start(10, 20, 1), angles(0, 0, 0.5f);
    auto car = Make(type, start, angles);
    const VQVector cog(float(Var(*car, "X_COG(2)")), float(Var(*car, "X_COG(1)")),
                       float(-Var(*car, "X_COG(3)")));
    VQVector got;
    car->GetCentreOfGravity(got);
    EXPECT_EQ(got, cog);
    VQVector offset = cog;
    if (type == 2) {
      offset.x *= 2;
      offset.y *= 2;
    }
    VQMatrix r;
    r.MakeRotation(angles);
    r.TransformPoint(offset);
    const VQVector expected = start + offset;
    const VQVector p = car->GetPosition();
    EXPECT_NEAR(p.x, expected.x, 1e-5) << type;
    EXPECT_NEAR(p.y, expected.y, 1e-5) << type;
    EXPECT_NEAR(p.z, expected.z, 1e-5) << type;
    EXPECT_EQ(car->GetLastPosition(), p);
    EXPECT_EQ(car->GetStoreSize(), type == 2 ? 21944u : 15704u);
    EXPECT_EQ(car->GetStates() - car->GetStore(), type == 2 ? 2523 : 1799);
    // The world matrix is the body pose; its inverse undoes it.
    VQVector there(1, 2, 3), back;
    car->GetWorldMatrix()->TransformPoint(there);
    car->GetInverseWorldMatrix()->TransformPoint(back, there);
    EXPECT_NEAR(back.x, 1.0f, 1e-5);
    EXPECT_NEAR(back.z, 3.0f, 1e-5);
  }
}

TEST_F(Cars, AccessorsMapAxesAndInputs) {
  auto car = Make(2, {0, 0, 0});
  VQVehicleModel& vehicle = *car;  // the car reaches its model through the base
  vehicle.SetGear(0);
  EXPECT_EQ(car->GetStore()[car->InputElement(4)], -1.0);
  EXPECT_EQ(vehicle.GetGear(), 0);
  vehicle.SetGear(3);
  EXPECT_EQ(car->GetStore()[car->InputElement(4)], 2.0);
  EXPECT_EQ(car->InputElement(0), 2617u);
  car->AddFuel(-1e6f);
  EXPECT_EQ(car->GetFuelMass(), 0.0);

  car->SetPosition({1, 2, 3});
  const int k = tolvu_GetVarIndex(2, "RG100(1)");
  const double* s = car->GetStore();
  EXPECT_EQ(s[k - 1], 2.0);
  EXPECT_EQ(s[k], 1.0);
  EXPECT_EQ(s[k + 1], -3.0);
  EXPECT_EQ(s[2523 + k - 1], 2.0);  // the state copy
  EXPECT_EQ(s[2523 + k + 1], -3.0);
  EXPECT_EQ(car->GetPosition(), VQVector(1, 2, 3));

  car->SetOrientationAngles({0.3f, 0.2f, 0.0f});
  float e[4];
  car->GetOrientation(e);
  EXPECT_EQ(e[0], 1.0f);
  EXPECT_EQ(e[1], 0.0f);
  EXPECT_EQ(e[3], 0.0f);

  EXPECT_EQ(car->GetWheelLoad(4), 0.0);
  EXPECT_EQ(car->GetWheelLoad(-1), 0.0);
  EXPECT_EQ(car->GetWheelValueA(7), 0.0);

  VQVector cog, t;
  car->GetCentreOfGravity(cog);
  car->SetExternalForce({0, 0, 0});
  car->SetExternalTorque({0, 0, 0});
  car->ApplyForceAtPoint({1, 2, 3}, cog);
  car->GetExternalTorque(t);
  EXPECT_EQ(t, VQVector(0, 0, 0));
  const int f = tolvu_GetVarIndex(2, "F_CLN100");
  EXPECT_EQ(s[f - 1], 2.0);
  EXPECT_EQ(s[f + 1], -3.0);
}

TEST_F(Cars, GroundQueryAnswersFlatWithoutModelAndGuardsTheWheel) {
  auto car = Make(1, {0, 0, 0});
  const double point[3] = {5.0, 7.0, -0.3}, aux[3] = {0, 0, 0};
  double out[8];
  TolvuCarModel_EarthData(nullptr, out, point, aux, 1.0);
  const double flat[8] = {5.0, 7.0, 0.0, 0.0, 0.0, -1.0, 1.0, 0.0001};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], flat[i]) << i;

  // Model point (5, 7) is engine (7, 5): asphalt at z = 0, answered 0.01 above it.
  for (double w : {0.0, 0.99, 5.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
    TolvuCarModel_EarthData(car.get(), out, point, aux, w);
    EXPECT_EQ(out[5], -1.0) << w;  // flat answer, per-wheel memory untouched
  }
  EXPECT_EQ(car->m_wheelHint[1], 0u);
  struct Row {
    float wetness;
    double friction;
  } rows[] = {{0.0f, 1.0}, {1.0f, 0.7}, {0.5f, 0.85}};
  for (const Row& row : rows) {
    car->m_wetness = row.wetness;
    TolvuCarModel_EarthData(car.get(), out, point, aux, 2.9);  // wheel 2
    EXPECT_NEAR(out[6], row.friction, 1e-6);
  }
  EXPECT_NEAR(out[2], -0.01, 1e-6);
  // A model without a ground query also gets flat ground rather than an untouched array.
  car->m_groundQuery = nullptr;
  for (double& o : out) o = 99.0;
  TolvuCarModel_EarthData(car.get(), out, point, aux, 1.0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], flat[i]) << i;
  EXPECT_EQ(out[5], -1.0);
  EXPECT_NE(car->m_wheelHint[1], 0u);
  EXPECT_EQ(car->m_wheelContact[1], VQVector(7.0f, 5.0f, 0.01f));
  EXPECT_NEAR(car->m_wheelGroundHeight[1], 0.005f, 1e-7);
  EXPECT_EQ(car->m_wheelMaterial[1], uint32_t(VQSAMPLE_ASPHALT));
}

TEST_F(Cars, UnstableOrNonFiniteStateResetsToTheStartPose) {
  auto car = Make(2, {5, -20, 0});
  const VQVector start = car->GetPosition();
  for (int i = 0; i < 100; ++i) {
    car->SetExternalForce({0, 0, 0});
    car->SetExternalTorque({0, 0, 0});
    car->Prepare(1, 0.005f * i);
    car->Step(1, 0.005f * i, 0.005f);
  }
  ASSERT_TRUE(g_logLines.empty());
  EXPECT_NE(car->GetPosition(), start);

  const double values[] = {1e10, -1e10, 1.0000001e10, std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::infinity()};
  for (double v : values) {
    ASSERT_TRUE(car->Reset(false));
    g_logLines.clear();
    car->Prepare(1, 0.0f);
    const uint32_t state = car->GetInertiaStateCount() + 2;  // a position-like state
    car->GetStates()[state] = v;
    car->Step(1, 0.0f, 0.005f);
    const bool unstable = !(std::fabs(v) <= 1e10);
    ASSERT_EQ(g_logLines.size(), unstable ? 1u : 0u) << v;
    if (unstable) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "Instab. in model car : 2, state %u\n", state + 1);
      EXPECT_EQ(g_logLines[0], expected);
      EXPECT_EQ(car->GetPosition(), start);
      VQVector preset;
      EXPECT_EQ(car->GetPresetForce(preset), VQVector(0, 0, 0));
    }
  }
}

namespace {

// A race on the sample track: the world stepping the cars in frames of 1/60 s.
struct Race {
  VQCollisionWorld world;
  std::vector<std::unique_ptr<TolvuCarModel>> cars;
  float time = 0.0f;
  Race() { world.SetTrackQuery(VQSampleTrack::SweepSphere); }
  void Add(std::unique_ptr<TolvuCarModel> car) {
    world.AddBody(car.get());
    cars.push_back(std::move(car));
  }
  template <class F>
  void Run(float seconds, F&& each) {
    const float frame = 1.0f / 60.0f;
    for (float t = 0; t < seconds; t += frame) {
      world.Step(time, frame);
      time += frame;
      each();
    }
  }
};

int g_bodyContacts = 0;
void CountBodyContacts(VQVehicleModel*, VQVehicleModel* other, const VQContactMaterial*,
                       const VQContactMaterial*, const VQVector&, const VQVector&, uintptr_t) {
  if (other) ++g_bodyContacts;
}

}  // namespace

TEST_F(Cars, Car2ClimbsTheRampAndLandsInsideTheWorld) {
  Race race;
  race.Add(Make(2, {0, -10, 0}));
  TolvuCarModel& car = *race.cars[0];
  car.SetVelocity({0, 18, 0});
  car.SetThrottle(1.0f);
  float top = 0.0f, lowest = 10.0f, landedY = 0.0f;
  bool flew = false;
  race.Run(6.0f, [&] {
    const VQVector p = car.GetPosition();
    top = std::max(top, p.z);
    lowest = std::min(lowest, p.z);
    const float ground = track->m_terrain.GetHeight(p, nullptr, nullptr, nullptr);
    if (p.y > 48.0f && p.z - ground > 1.2f) flew = true;
    if (flew && p.y > 48.0f && p.z - ground < 1.0f && landedY == 0.0f) landedY = p.y;
  });
  const VQVector p = car.GetPosition();
  EXPECT_GT(top, 2.5f + 0.6f);  // on top of the ramp
  EXPECT_TRUE(flew);
  EXPECT_GT(landedY, 50.0f);
  EXPECT_GT(lowest, 0.3f);  // never sank into the ground
  EXPECT_LT(std::fabs(p.x), 120.0f);
  EXPECT_LT(p.y, 120.0f);
  EXPECT_LT(p.z, 1.5f);  // back on the ground
  EXPECT_TRUE(std::isfinite(car.GetSpeed()));
}

TEST_F(Cars, CarDrivenIntoAWallStopsAgainstIt) {
  Race race;
  race.Add(Make(1, {70, 25, 0}));
  TolvuCarModel& car = *race.cars[0];
  car.SetVelocity({0, 15, 0});
  car.SetThrottle(1.0f);
  float front = -1e9f;
  bool hit = false;
  race.Run(5.0f, [&] {
    const VQCollisionBody& b = *car.GetCollisionBody();
    for (uint32_t i = 0; i < b.sphereCount; ++i) front = std::max(front, b.worldCentres[i].y);
    if (b.trackContactBits && !hit) {
      hit = true;  // the driver lets go and brakes
      car.SetThrottle(0.0f);
      car.SetBrake(1.0f);
    }
  });
  // The block spans y = 40 to 42. At 15 m/s the front sinks in as a crumple zone would, but
  // no sphere centre gets past the face by more than its radius, and the car ends at rest in
  // front of the block.
  EXPECT_TRUE(hit);
  EXPECT_LT(front, 40.4f);
  EXPECT_GT(front, 39.6f);
  EXPECT_LT(car.GetPosition().y, 40.0f - 1.0f);
  EXPECT_GT(car.GetPosition().y, 30.0f);
  EXPECT_LT(car.GetSpeed(), 0.3);
}

TEST_F(Cars, TwoCarsThatCollidePushEachOtherApart) {
  Race race;
  g_bodyContacts = 0;
  race.world.m_contactCallback = CountBodyContacts;
  race.Add(Make(1, {-30, -75, 0}));
  race.Add(Make(1, {-30, -58, 0}, {0, 0, float(M_PI)}));
  TolvuCarModel& a = *race.cars[0];
  TolvuCarModel& b = *race.cars[1];
  a.SetVelocity({0, 6, 0});
  b.SetVelocity({0, -6, 0});
  for (auto& c : race.cars) c->SetThrottle(0.0f);
  float closest = 1e9f, separating = 0.0f;
  race.Run(3.0f, [&] {
    closest = std::min(closest, b.GetPosition().y - a.GetPosition().y);
    separating = std::max(separating, b.GetVelocity().y - a.GetVelocity().y);
  });
  EXPECT_GT(g_bodyContacts, 0);
  // Centres of gravity 1.4 behind the fronts (3.6 ahead of the rear axle, 1.4 to the cog):
  // the spheres meet when the cogs are about 2 * (3.6 - 1.4) = 4.4 apart.
  EXPECT_GT(closest, 4.4f - 0.5f);
  EXPECT_GT(separating, 1.0f);  // they move apart afterwards
}

TEST_F(Cars, ForcedNaNInTheWorldResetsTheCarToItsStart) {
  Race race;
  race.Add(Make(1, {-40, -30, 0}));
  race.Add(Make(2, {40, -30, 0}));
  for (auto& c : race.cars) c->SetThrottle(1.0f);
  std::vector<VQVector> starts;
  for (auto& c : race.cars) starts.push_back(c->GetPosition());
  race.Run(1.0f, [] {});
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_NE(race.cars[i]->GetPosition(), starts[i]);
    race.cars[i]->GetStates()[0] = std::nan("");
  }
  race.world.Step(race.time, 0.0101f);  // two sub-steps: each car steps at least once
  for (size_t i = 0; i < 2; ++i) {
    const VQVector p = race.cars[i]->GetPosition();
    EXPECT_NEAR(p.x, starts[i].x, 0.05f);
    EXPECT_NEAR(p.y, starts[i].y, 0.05f);
    EXPECT_TRUE(std::isfinite(race.cars[i]->GetSpeed()));
  }
  EXPECT_EQ(g_logLines.size(), 2u);
}

TEST_F(Cars, GetTransformsPosesBodyWheelsAndLastNode) {
  auto car = Make(2, {3, 4, 0});
  double* pose = car->GetStore() + car->GetVariableCount() + 2 * car->GetStateCount() + 6;
  for (int k = 0; k < 10; ++k)
    for (int j = 0; j < 12; ++j) pose[12 * k + j] = (k + 1) * 100 + j;  // pose k+1, element j
  VQTransformNode nodes[6];
  for (VQTransformNode& n : nodes) {
    n.m_matrix.m[3] = 7.0f;
    n.m_matrix.m[15] = 9.0f;
  }
  car->GetTransforms(&nodes[0], &nodes[1], &nodes[2], &nodes[3], &nodes[4], &nodes[5]);
  const int expectedPose[6] = {1, 6, 7, 8, 9, 10};
  for (int i = 0; i < 6; ++i) {
    const float base = float(expectedPose[i] * 100);
    const float* m = nodes[i].m_matrix.m;
    // Model axes (x forward, y left, z down) into engine axes (x right, y forward, z up).
    const float want[12][2] = {{0, 3 + 4},  {1, 3 + 3},  {2, -(3 + 5)}, {4, 3 + 1},
                               {5, 3 + 0},  {6, -(3 + 2)}, {8, -(3 + 7)}, {9, -(3 + 6)},
                               {10, 3 + 8}, {12, 1},     {13, 0},       {14, -2}};
    for (const auto& w : want) {
      const float v = w[1] < 0 ? -(base - w[1]) : base + w[1];
      EXPECT_EQ(m[int(w[0])], v) << "node " << i << " element " << w[0];
    }
    EXPECT_EQ(m[3], 7.0f);
    EXPECT_EQ(m[15], 9.0f);
  }
  // The body node carries the world matrix; a missing last node is skipped.
  car->Prepare(0, 0.0f);
  car->Step(0, 0.0f, 0.005f);
  VQTransformNode body, wheels[4];
  car->GetTransforms(&body, &wheels[0], &wheels[1], &wheels[2], &wheels[3], nullptr);
  const VQMatrix* world = car->GetWorldMatrix();
  for (int e : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14}) EXPECT_EQ(body.m_matrix.m[e], world->m[e]) << e;
  // A disabled car leaves its nodes alone.
  const VQMatrix before = body.m_matrix;
  car->m_enabled = 0;
  car->SetPosition({50, 60, 70});
  car->GetTransforms(&body, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(std::memcmp(before.m, body.m_matrix.m, sizeof before.m), 0);
}

TEST_F(Cars, SpheresAddedAfterInitialisationSweepFromWhereTheyStand) {
  // The race gives a car its spheres after Initialize; the car must behave as one that had
  // them from the start, not sweep them in from the world origin in its first sub-step (here
  // through the wall block, which lies between the origin and the start).
  const VQVector start(70, 50, 0);
  Race before, after;
  before.Add(Make(1, start));
  auto late = std::make_unique<TolvuCarModel1>();
  ASSERT_TRUE(late->Initialize(nullptr, mid.c_str(), start, {0, 0, 0}, VQSampleTrack::GroundHeight));
  ASSERT_TRUE(track->AddCarSpheres(*late));
  late->SetGear(2);
  late->SetClutch(1.0f);
  after.Add(std::move(late));
  const VQCollisionBody& a = *before.cars[0]->GetCollisionBody();
  const VQCollisionBody& b = *after.cars[0]->GetCollisionBody();
  ASSERT_EQ(a.sphereCount, b.sphereCount);
  for (uint32_t i = 0; i < a.sphereCount; ++i) {
    EXPECT_NEAR(b.previousWorldCentres[i].x, a.previousWorldCentres[i].x, 1e-5) << i;
    EXPECT_NEAR(b.previousWorldCentres[i].y, a.previousWorldCentres[i].y, 1e-5) << i;
    EXPECT_NEAR(b.previousWorldCentres[i].z, a.previousWorldCentres[i].z, 1e-5) << i;
  }
  before.Run(0.5f, [] {});
  after.Run(0.5f, [] {});
  const VQVector pa = before.cars[0]->GetPosition(), pb = after.cars[0]->GetPosition();
  EXPECT_NEAR(pb.x, pa.x, 1e-3);
  EXPECT_NEAR(pb.y, pa.y, 1e-3);
  EXPECT_NEAR(pb.z, pa.z, 1e-3);
  EXPECT_EQ(b.trackContactBits, a.trackContactBits);
}

TEST_F(Cars, StepIntegratesVelocitiesFirstWithTheTwoStepFormula) {
  auto car = Make(2, {5, -20, 0});
  car->SetThrottle(1.0f);
  float t = 0.0f;
  for (int i = 0; i < 20; ++i, t += 0.005f) {
    car->Prepare(1, t);
    car->Step(1, t, 0.005f);
  }
  const uint32_t V = car->GetVariableCount(), S = car->GetStateCount(), N = car->GetInertiaStateCount();
  const int length = int(car->GetStoreSize() / 8);
  car->Prepare(1, t);
  double *previous, *derivatives, *states;
  car->GetStateArrays(&previous, &derivatives, &states);
  EXPECT_EQ(states, car->GetStore() + V);
  EXPECT_EQ(derivatives, car->GetStore() + V + S);
  // Prepare kept the derivatives it found as the previous ones.
  std::vector<double> fp(previous, previous + S);

  // The same sub-step by hand on a copy of the store: mode 2, velocity-like states, mode 1,
  // the rest; x += dt / 2 * (3 f - f_prev).
  std::vector<double> s(car->GetStore(), car->GetStore() + length);
  const float dt = 0.005f;
  auto ground = [](void* model, double out[8], const double point[3], const double aux[3], double wheel) {
    TolvuCarModel_EarthData(static_cast<TolvuCarModel*>(model), out, point, aux, wheel);
  };
  tolvu_CallModelWithGround(2, 0, 2, double(t), s.data(), length, ground, car.get());
  for (uint32_t i = 0; i < N; ++i) s[V + i] += (3.0 * s[V + S + i] - fp[i]) * double(dt) * 0.5;
  tolvu_CallModelWithGround(2, 0, 1, double(t), s.data(), length, ground, car.get());
  for (uint32_t i = N; i < S; ++i) s[V + i] += (3.0 * s[V + S + i] - fp[i]) * double(dt) * 0.5;

  car->Step(1, t, dt);
  for (uint32_t i = 0; i < S; ++i) EXPECT_DOUBLE_EQ(states[i], s[V + i]) << "state " << i + 1;
  ASSERT_GT(N, 0u);
  ASSERT_LT(N, S);
}

TEST_F(Cars, StoreImageWrittenAndReadBackWholeAndBackupRestores) {
  auto car = Make(1, {0, 0, 0});
  car->SetThrottle(0.7f);
  for (int i = 0; i < 10; ++i) {
    car->Prepare(1, 0.01f * i);
    car->Step(1, 0.01f * i, 0.01f);
  }
  const std::string file = Temp("tolvu_roundtrip_mid.bin");
  ASSERT_TRUE(car->WriteStoreFile(file.c_str()));
  FILE* f = std::fopen(file.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(20000);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  ASSERT_EQ(bytes.size(), 15704u);  // the store's doubles, no header
  uint64_t first = 0;
  for (int b = 0; b < 8; ++b) first |= uint64_t(bytes[b]) << (8 * b);
  double value;
  std::memcpy(&value, &first, 8);
  EXPECT_EQ(value, car->GetStore()[0]);  // little-endian

  TolvuCarModel1 other;
  EXPECT_EQ(other.GetStoreSize(), 15704u);  // fixed by the class
  ASSERT_TRUE(other.Initialize(nullptr, mid.c_str(), {0, 0, 0}, {0, 0, 0}, VQSampleTrack::GroundHeight));
  ASSERT_TRUE(other.ReadStoreFile(file.c_str()));
  EXPECT_EQ(std::memcmp(other.GetStore(), car->GetStore(), 15704), 0);
  std::remove(file.c_str());

  // The backup holds the store until SaveStore replaces it.
  other.SaveStore();
  other.GetStore()[5] = 1234.5;
  other.RestoreStore();
  EXPECT_EQ(std::memcmp(other.GetStore(), car->GetStore(), 15704), 0);
}
