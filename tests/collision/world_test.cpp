#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQTerrainTree.h"

namespace {

// A body with a fixed pose and velocities that records what the world does to it.
class FakeBody : public VQVehicleModel {
 public:
  explicit FakeBody(bool fullRate, std::vector<std::string>* log = nullptr, const char* name = "")
      : m_fullRate(fullRate), m_log(log), m_name(name) {
    m_collidable = 1;
    m_enabled = 1;
  }
  VQVector& GetVL100(VQVector& out) override { return out = m_v; }
  VQVector& GetOL100(VQVector& out) override { return out = m_w; }
  const VQMatrix* GetWorldMatrix() override { return &m_matrix; }
  const VQMatrix* GetInverseWorldMatrix() override {
    m_matrix.GetRigidInverse(m_inverse);
    return &m_inverse;
  }
  VQVector& GetCentreOfGravity(VQVector& out) override { return out = m_cog; }
  void ApplyForceAtPoint(const VQVector& f, const VQVector& p) override {
    m_force += f;
    VQVector t;
    (p - m_cog).Cross(f, t);
    m_torque += t;
  }
  void SetExternalTorque(const VQVector& t) override { m_torque = t; }
  void AddExternalTorque(const VQVector& t) override { m_torque += t; }
  VQVector& GetExternalTorque(VQVector& out) override { return out = m_torque; }
  void SetExternalForce(const VQVector& f) override { m_force = f; }
  void AddExternalForce(const VQVector& f) override { m_force += f; }
  bool IsFullRate() override { return m_fullRate; }
  void Prepare(int number, float time) override {
    if (m_log) m_log->push_back(m_name + "P" + std::to_string(number) + "@" + Ms(time));
    m_body.worldCentresValid = 0;
  }
  void Step(int number, float time, float dt) override {
    if (m_log) m_log->push_back(m_name + "S" + std::to_string(number) + "@" + Ms(time) + "/" + Ms(dt));
    m_steppedForce = m_force;
  }
  static std::string Ms(float t) { return std::to_string(int(std::lround(t * 1000.0))); }
  void Place(const VQVector& p) {
    m_matrix.SetIdentity();
    m_matrix.SetTranslation(p);
    m_body.worldCentresValid = 0;
    for (uint32_t i = 0; i < m_body.sphereCount; ++i) m_body.previousWorldCentres[i] = p + m_body.localCentres[i];
  }
  void SetPreset(const VQVector& f) { m_presetForce = f; }

  bool m_fullRate;
  std::vector<std::string>* m_log;
  std::string m_name;
  VQVector m_v{0, 0, 0}, m_w{0, 0, 0}, m_cog{0, 0, 0};
  VQVector m_force{0, 0, 0}, m_torque{0, 0, 0}, m_steppedForce{0, 0, 0};
  VQMatrix m_matrix, m_inverse;
};

// A floor at z = 0 over [-50, 50]^2 as the track.
VQTerrainTree* g_floor = nullptr;
const VQContactMaterial* g_floorMaterial = nullptr;
bool FloorQuery(const VQVector& s, const VQVector& e, float r, float* t, VQVector* q,
                const VQContactMaterial** m) {
  uint32_t word;
  if (!g_floor->SweepSphere(s, e, r, t, q, &word)) return false;
  *m = g_floorMaterial;
  return true;
}

struct Contact {
  VQVehicleModel* body;
  VQVehicleModel* other;
  VQVector point, velocity;
};
std::vector<Contact> g_contacts;
void Record(VQVehicleModel* body, VQVehicleModel* other, const VQContactMaterial*,
            const VQContactMaterial*, const VQVector& p, const VQVector& v, uintptr_t word) {
  EXPECT_EQ(word, 42u);
  g_contacts.push_back({body, other, p, v});
}

class WorldContacts : public ::testing::Test {
 protected:
  void SetUp() override {
    m_verts = {{-50, -50, 0}, {50, -50, 0}, {50, 50, 0}, {-50, 50, 0}};
    m_idx = {0, 1, 2, 0, 2, 3};
    VQTerrainMesh mesh;
    mesh.vertices = m_verts.data();
    mesh.vertexCount = 4;
    mesh.indices = m_idx.data();
    mesh.triangleCount = 2;
    ASSERT_TRUE(m_floor.Build(&mesh, 1, nullptr, true, 32, 8));
    g_floor = &m_floor;
    g_floorMaterial = &m_trackMaterial;
    g_contacts.clear();
    m_world.m_contactCallback = Record;
    m_world.m_userWord = 42;
  }
  std::vector<VQVector> m_verts;
  std::vector<uint32_t> m_idx;
  VQTerrainTree m_floor;
  VQContactMaterial m_trackMaterial{1000.0f, 10.0f, 0.5f};
  VQContactMaterial m_bodyMaterial{1000.0f, 20.0f, 1.0f};
  VQCollisionWorld m_world;
};

}  // namespace

TEST(CollisionWorld, HalfRateBodiesStepEverySecondSubStepWithTwiceTheStep) {
  std::vector<std::string> log;
  FakeBody full(true, &log, "F"), half(false, &log, "H");
  VQCollisionWorld world;
  ASSERT_TRUE(world.AddBody(&full));
  ASSERT_TRUE(world.AddBody(&half));
  ASSERT_TRUE(world.Step(1.0f, 0.0201f));  // four sub-steps
  const std::vector<std::string> expected = {
      "FP1@1005", "HP2@1005", "FS1@1005/5", "HS2@1005/10",  // counter 0: both
      "FP1@1010", "FS1@1010/5",                             // counter 1: full rate only
      "FP1@1015", "HP2@1015", "FS1@1015/5", "HS2@1015/10",
      "FP1@1020", "FS1@1020/5"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(world.GetSubStepCounter(), 4u);
  // The rhythm runs on across frames and restarts when a track query is set.
  log.clear();
  world.Step(2.0f, 0.005f);  // carried 0.0001 + 0.005: one sub-step, counter 4 (even)
  EXPECT_EQ(log.size(), 4u);
  world.SetTrackQuery(nullptr);
  EXPECT_EQ(world.GetSubStepCounter(), 0u);
}

TEST(CollisionWorld, FrameTimeIsCarriedIntoSubSteps) {
  std::vector<std::string> log;
  FakeBody body(true, &log);
  VQCollisionWorld world;
  world.AddBody(&body);
  struct Row {
    float frame;
    size_t subSteps;
    float carried;
  } rows[] = {
      {0.012f, 2, 0.002f},   // two sub-steps, 0.002 carried
      {0.004f, 1, 0.001f},   // 0.006: one more
      {0.0f, 0, 0.001f},     // nothing added: the carry stays
      {-0.5f, 0, 0.0f},      // a negative remainder is not carried
      {0.005f, 0, 0.005f},   // exactly one sub-step is not strictly more: carried whole
  };
  for (const Row& row : rows) {
    log.clear();
    world.Step(0.0f, row.frame);
    EXPECT_EQ(log.size(), row.subSteps * 2) << row.frame;
    EXPECT_NEAR(world.m_accumulator, row.carried, 1e-7) << row.frame;
  }
}

TEST(CollisionWorld, FortyBodiesAtMostRemovalKeepsOrder) {
  std::vector<std::unique_ptr<FakeBody>> bodies;
  for (int i = 0; i < 41; ++i) bodies.push_back(std::make_unique<FakeBody>(true));
  VQCollisionWorld world;
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(world.AddBody(bodies[i].get()));
  EXPECT_FALSE(world.AddBody(bodies[40].get()));
  EXPECT_EQ(world.GetBodyCount(), 40u);
  world.RemoveBody(bodies[3].get());
  world.RemoveBody(bodies[40].get());  // not held: ignored
  EXPECT_EQ(world.GetBodyCount(), 39u);
  EXPECT_EQ(world.GetBody(3), bodies[4].get());
  EXPECT_EQ(world.GetBody(38), bodies[39].get());
}

TEST(VehicleModel, SpheresAndEnclosingSphere) {
  FakeBody body(true);
  EXPECT_EQ(body.GetCollisionBody()->sphereCount, 0u);
  body.SetAllSphereValues(nullptr);  // nothing to set
  body.GetCollisionBody()->worldCentresValid = 1;
  ASSERT_TRUE(body.AddCollisionSphere({-1, 0, 0}, 0.5f, 0));
  EXPECT_EQ(body.GetCollisionBody()->worldCentresValid, 0);
  ASSERT_TRUE(body.AddCollisionSphere({1, 2, 0}, 0.5f, 1));
  const VQCollisionBody& b = *body.GetCollisionBody();
  EXPECT_EQ(b.enclosingCentre, VQVector(0, 1, 0));
  EXPECT_NEAR(b.enclosingRadius, 0.5f * std::sqrt(9.0f + 9.0f + 1.0f), 1e-6);
  for (int i = 2; i < 16; ++i) ASSERT_TRUE(body.AddCollisionSphere({0, 0, 0}, 0.1f, 0));
  EXPECT_FALSE(body.AddCollisionSphere({0, 0, 0}, 0.1f, 0));  // a 17th sphere is refused
  EXPECT_EQ(b.sphereCount, 16u);
  EXPECT_FALSE(body.IsSpecialTrackContact());
  EXPECT_FALSE(body.IsSpecialTrackResponse());
  EXPECT_FALSE(body.IsSpecialBodyContact());
}

TEST_F(WorldContacts, SphereSinkingIntoTheFloorIsPushedOutOnce) {
  FakeBody body(true);
  body.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  body.SetAllSphereValues(&m_bodyMaterial);
  body.Place({0, 0, 0.6f});
  body.m_matrix.SetTranslation(0, 0, 0.49f);  // moved 0.11 down: 0.01 below touching
  m_world.CollideWithTrack(&body, FloorQuery);
  const float k = 500.0f;  // 1000 and 1000 in series
  EXPECT_NEAR(body.m_force.z, 0.011f * k, 1e-3);
  EXPECT_NEAR(body.m_force.x, 0.0f, 1e-6);
  EXPECT_NEAR(body.GetCollisionBody()->previousWorldCentres[0].z, 0.501f, 1e-6);
  ASSERT_EQ(g_contacts.size(), 1u);
  EXPECT_EQ(g_contacts[0].other, nullptr);
  EXPECT_NEAR(g_contacts[0].point.z, 0.001f, 1e-6);
  EXPECT_EQ(body.GetCollisionBody()->trackContactBits, 1u);
  // Still below the floor in the next sub-step: pushed again, no second callback.
  body.m_force.Set(0, 0, 0);
  m_world.CollideWithTrack(&body, FloorQuery);
  EXPECT_NEAR(body.m_force.z, 0.011f * k, 1e-3);
  EXPECT_EQ(g_contacts.size(), 1u);
  // Not moved since: no test, no force, the contact ends.
  body.m_force.Set(0, 0, 0);
  body.GetCollisionBody()->previousWorldCentres[0] = body.GetCollisionBody()->worldCentres[0];
  m_world.CollideWithTrack(&body, FloorQuery);
  EXPECT_EQ(body.m_force, VQVector(0, 0, 0));
  EXPECT_EQ(body.GetCollisionBody()->trackContactBits, 0u);
}

TEST_F(WorldContacts, MaterialsCombineAndFrictionOpposesSliding) {
  FakeBody body(true);
  body.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  body.SetAllSphereValues(&m_bodyMaterial);
  body.Place({0, 0, 0.6f});
  body.m_matrix.SetTranslation(0, 0, 0.49f);
  body.m_v.Set(2.0f, 0.0f, -0.1f);  // sliding along x, sinking slowly
  m_world.CollideWithTrack(&body, FloorQuery);
  const float Fn = 500.0f * 0.011f + 20.0f * 0.1f;  // k = 500, c = max(10, 20) = 20
  EXPECT_NEAR(body.m_force.z, Fn, 1e-3);
  EXPECT_NEAR(body.m_force.x, -0.5f * Fn, 1e-3);  // mu = min(1.0, 0.5)
  // Leaving faster than the spring pushes: no force at all, the contact bit stays for now.
  body.m_force.Set(0, 0, 0);
  body.m_v.Set(2.0f, 0.0f, 10.0f);
  m_world.CollideWithTrack(&body, FloorQuery);
  EXPECT_NEAR(body.m_force.Length(), 0.0f, 1e-4);
  EXPECT_EQ(body.GetCollisionBody()->trackContactBits, 1u);
}

TEST_F(WorldContacts, TouchWithoutMaterialStillPushes) {
  g_floorMaterial = nullptr;
  FakeBody body(true);
  body.AddCollisionSphere({0, 0, 0}, 0.5f, 0);  // no sphere material either
  body.Place({0, 0, 0.6f});
  body.m_matrix.SetTranslation(0, 0, 0.49f);
  m_world.CollideWithTrack(&body, FloorQuery);
  EXPECT_NEAR(body.m_force.z, 0.011f * g_VQdefaultCollisionMaterial.stiffness / 2.0f, 0.5f);
  ASSERT_EQ(g_contacts.size(), 1u);
}

TEST_F(WorldContacts, NoTrackSphereFollowsWithoutContact) {
  FakeBody body(true);
  body.AddCollisionSphere({0, 0, 0}, 0.5f, 1);
  body.Place({0, 0, 0.6f});
  body.m_matrix.SetTranslation(0, 0, 0.2f);
  m_world.CollideWithTrack(&body, FloorQuery);
  EXPECT_EQ(body.m_force, VQVector(0, 0, 0));
  EXPECT_EQ(body.GetCollisionBody()->previousWorldCentres[0], VQVector(0, 0, 0.2f));
  EXPECT_TRUE(g_contacts.empty());
}

TEST_F(WorldContacts, SphereSlidesAlongAWall) {
  // A wall x = 1 facing -x: the sphere moving diagonally into it ends slid along it.
  m_verts = {{1, -50, -50}, {1, 50, -50}, {1, 50, 50}, {1, -50, 50}};
  m_idx = {0, 2, 1, 0, 3, 2};
  VQTerrainMesh mesh;
  mesh.vertices = m_verts.data();
  mesh.vertexCount = 4;
  mesh.indices = m_idx.data();
  mesh.triangleCount = 2;
  ASSERT_TRUE(m_floor.Build(&mesh, 1, nullptr, true, 32, 8));
  ASSERT_LT(m_floor.GetTriangles()[0].normal.x, 0.0f);
  FakeBody body(true);
  body.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  body.SetAllSphereValues(&m_bodyMaterial);
  body.Place({0, 0, 0});
  body.m_matrix.SetTranslation(1.0f, 1.0f, 0.0f);
  m_world.CollideWithTrack(&body, FloorQuery);
  const VQVector end = body.GetCollisionBody()->previousWorldCentres[0];
  EXPECT_NEAR(end.x, 0.499f, 1e-5);
  EXPECT_NEAR(end.y, 1.0f, 1e-5);
  EXPECT_NEAR(body.m_force.x, -500.0f * 0.501f, 0.05f);
}

TEST_F(WorldContacts, BodiesPushEachOtherEquallyAndOppositely) {
  FakeBody a(true), b(true);
  a.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  b.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  a.SetAllSphereValues(&m_bodyMaterial);
  b.SetAllSphereValues(&m_trackMaterial);
  a.Place({0, 0, 5});
  b.Place({0.99f, 0, 5});
  for (FakeBody* f : {&a, &b}) {
    VQCollisionBody& cb = *f->GetCollisionBody();
    f->GetWorldMatrix()->TransformPoint(cb.worldCentres[0], cb.localCentres[0]);
  }
  VQVehicleModel* candidates[] = {&b};
  a.m_force.Set(0, 0, 0);
  m_world.CollideBodies(&a, candidates, 1);
  EXPECT_NEAR(a.m_force.x, -5.0f, 1e-3);  // k = 500, overlap 0.01
  EXPECT_NEAR(b.m_force.x, 5.0f, 1e-3);
  ASSERT_EQ(g_contacts.size(), 1u);
  EXPECT_EQ(g_contacts[0].other, &b);
  EXPECT_NEAR(g_contacts[0].point.x, 0.5f, 1e-6);
  // Sliding past each other along the tangent adds no damping.
  a.m_force.Set(0, 0, 0);
  b.m_force.Set(0, 0, 0);
  a.m_v.Set(0, 3, 0);
  m_world.CollideBodies(&a, candidates, 1);
  EXPECT_NEAR(a.m_force.x, -5.0f, 1e-3);
  EXPECT_NEAR(a.m_force.y, 0.0f, 1e-4);
  EXPECT_EQ(g_contacts.size(), 1u);
  // No candidates: the contact ends.
  m_world.CollideBodies(&a, candidates, 0);
  EXPECT_EQ(a.GetCollisionBody()->bodyContactBits, 0u);
}

TEST_F(WorldContacts, BodyContactEdgeCases) {
  FakeBody a(true), b(true);
  a.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  b.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  b.AddCollisionSphere({0, 0.2f, 0}, 0.5f, 0);
  VQVehicleModel* candidates[] = {&b};
  auto place = [&](const VQVector& pa, const VQVector& pb) {
    a.Place(pa);
    b.Place(pb);
    for (FakeBody* f : {&a, &b}) {
      VQCollisionBody& cb = *f->GetCollisionBody();
      for (uint32_t i = 0; i < cb.sphereCount; ++i)
        f->GetWorldMatrix()->TransformPoint(cb.worldCentres[i], cb.localCentres[i]);
    }
    a.m_force.Set(0, 0, 0);
    b.m_force.Set(0, 0, 0);
  };
  // Exactly touching (centres s apart) is no contact.
  place({0, 0, 0}, {1.0f, -0.2f, 0});
  b.GetCollisionBody()->sphereCount = 1;
  place({0, 0, 0}, {1.0f, 0, 0});
  m_world.CollideBodies(&a, candidates, 1);
  EXPECT_TRUE(g_contacts.empty());
  // Equal centres: no force, yet a contact with the point at A's centre.
  place({0, 0, 0}, {0, 0, 0});
  m_world.CollideBodies(&a, candidates, 1);
  EXPECT_EQ(a.m_force, VQVector(0, 0, 0));
  ASSERT_EQ(g_contacts.size(), 1u);
  EXPECT_EQ(g_contacts[0].point, VQVector(0, 0, 0));
  // One sphere of A touching two of B: both push, one callback.
  g_contacts.clear();
  a.GetCollisionBody()->bodyContactBits = 0;
  b.GetCollisionBody()->sphereCount = 2;
  place({0, 0, 0}, {0.9f, 0, 0});
  m_world.CollideBodies(&a, candidates, 1);
  EXPECT_EQ(g_contacts.size(), 1u);
  EXPECT_LT(a.m_force.x, -50.0f);  // default stiffness, both spheres
  EXPECT_NEAR(a.m_force.x, -b.m_force.x, 1e-2);
}

TEST_F(WorldContacts, WorldStepAppliesOppositeForcesToBothCars) {
  FakeBody a(true), b(false);
  a.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  b.AddCollisionSphere({0, 0, 0}, 0.5f, 0);
  a.SetAllSphereValues(&m_bodyMaterial);
  b.SetAllSphereValues(&m_bodyMaterial);
  a.Place({0, 0, 5});
  b.Place({0, 0.9f, 5});
  a.SetPreset({0, 0, -10});
  b.SetPreset({0, 0, -10});
  m_world.SetTrackQuery(FloorQuery);
  m_world.AddBody(&a);
  m_world.AddBody(&b);
  m_world.Step(0.0f, 0.006f);  // one sub-step: both step, the pair is handled once
  EXPECT_NEAR(a.m_steppedForce.y, -50.0f, 1e-3);
  EXPECT_NEAR(b.m_steppedForce.y, 50.0f, 1e-3);
  EXPECT_NEAR(a.m_steppedForce.z, -10.0f, 1e-6);  // the preset force starts every sub-step
  ASSERT_EQ(g_contacts.size(), 1u);
  // Second sub-step: b (half rate) does not step, yet a still meets it with b's centres.
  a.m_steppedForce.Set(0, 0, 0);
  b.m_steppedForce.Set(0, 0, 0);
  m_world.Step(0.005f, 0.005f);
  EXPECT_NEAR(a.m_steppedForce.y, -50.0f, 1e-3);
  EXPECT_EQ(b.m_steppedForce, VQVector(0, 0, 0));
}

TEST_F(WorldContacts, BroadPhaseStrictTestsPairsOnceAndSkipsNonCollidable) {
  // Sphere radius 0.6 but enclosing radius 0.5: the spheres overlap whenever the enclosing
  // spheres are near, so a contact shows that the broad phase made the pair a candidate.
  auto make = [](FakeBody& f, const VQVector& at) {
    f.AddCollisionSphere({0, 0, 0}, 0.6f, 1);
    f.GetCollisionBody()->enclosingRadius = 0.5f;
    f.Place(at);
  };
  struct Row {
    float distance;
    bool candidate;
  } rows[] = {{1.0f, false}, {0.999f, true}};
  for (const Row& row : rows) {
    g_contacts.clear();
    FakeBody a(true), b(true);
    make(a, {0, 0, 5});
    make(b, {0, row.distance, 5});
    VQCollisionWorld world;
    world.m_contactCallback = Record;
    world.m_userWord = 42;
    world.AddBody(&a);
    world.AddBody(&b);
    world.Step(0.0f, 0.006f);
    // Body 0 takes body 1 as its candidate; body 1 then finds the pair handled.
    EXPECT_EQ(g_contacts.size(), row.candidate ? 1u : 0u) << row.distance;
    EXPECT_EQ(a.GetCollisionBody()->bodyContactBits, row.candidate ? 1u : 0u) << row.distance;
    EXPECT_EQ(b.GetCollisionBody()->bodyContactBits, 0u) << row.distance;
    if (row.candidate) {
      EXPECT_EQ(g_contacts[0].body, &a);
      EXPECT_EQ(g_contacts[0].other, &b);
      EXPECT_LT(a.m_steppedForce.y, 0.0f);
      EXPECT_NEAR(a.m_steppedForce.y, -b.m_steppedForce.y, 1e-3);
    }
  }

  // A body that is not collidable is neither an outer body nor a candidate: no forces, and
  // its body contact bits stay as they were.
  g_contacts.clear();
  FakeBody a(true), ghost(true);
  make(a, {0, 0, 5});
  make(ghost, {0, 0.5f, 5});
  ghost.m_collidable = 0;
  ghost.GetCollisionBody()->bodyContactBits = 0x5;
  VQCollisionWorld world;
  world.m_contactCallback = Record;
  world.m_userWord = 42;
  world.AddBody(&ghost);
  world.AddBody(&a);
  world.Step(0.0f, 0.006f);
  EXPECT_TRUE(g_contacts.empty());
  EXPECT_EQ(a.m_steppedForce, VQVector(0, 0, 0));
  EXPECT_EQ(ghost.m_steppedForce, VQVector(0, 0, 0));
  EXPECT_EQ(ghost.GetCollisionBody()->bodyContactBits, 0x5u);
}
