// Car shadows (the quad on the ground under the wheels, light stretch, bad ground readings,
// banked roads, a track without a sun) and the weather effects (record decoders that clamp,
// variant choice, rain streak mesh and scroll, the storm advancing once per frame).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "QVX/race/CarShadow.h"
#include "QVX/race/WeatherEffects.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/vehicle/VQVehicleModel.h"

namespace {

// A vehicle whose wheel contacts and ground heights the test sets.
class StubVehicle : public VQVehicleModel {
 public:
  VQVector& GetVL100(VQVector& o) override { return o = VQVector(0, 0, 0); }
  VQVector& GetOL100(VQVector& o) override { return o = VQVector(0, 0, 0); }
  const VQMatrix* GetWorldMatrix() override { return &m_matrix; }
  const VQMatrix* GetInverseWorldMatrix() override { return &m_matrix; }
  VQVector& GetCentreOfGravity(VQVector& o) override { return o = VQVector(0, 0, 0); }
  void ApplyForceAtPoint(const VQVector&, const VQVector&) override {}
  void SetExternalTorque(const VQVector&) override {}
  void AddExternalTorque(const VQVector&) override {}
  VQVector& GetExternalTorque(VQVector& o) override { return o = VQVector(0, 0, 0); }
  void SetExternalForce(const VQVector&) override {}
  void AddExternalForce(const VQVector&) override {}
  bool IsFullRate() override { return true; }
  void Prepare(int, float) override {}
  void Step(int, float, float) override {}
  double GetWheelLoad(int) const override { return load; }
  VQVector GetPosition() const override { return position; }
  VQVector GetLastPosition() const override { return last; }
  VQMatrix m_matrix;
  double load = 1000.0;
  VQVector position{0, 0, 0}, last{0, 0, 0};
};

// Wheels 0 front left, 1 front right, 2 rear left, 3 rear right in the car's frame (x right,
// y forward); the shadow quad reaches 0.2 beyond each wheel.
const VQVector kWheels[4] = {
    {-0.8f, 1.3f, 0.3f}, {0.8f, 1.3f, 0.3f}, {-0.8f, -1.3f, 0.3f}, {0.8f, -1.3f, 0.3f}};

VQGeosetNode* ShadowNode() {
  VQMesh* mesh = VQMesh::Create(4, 2, 0, false, false, false);
  // vertex 0 by wheel 0, 1 by wheel 2, 2 by wheel 3, 3 by wheel 1.
  mesh->m_positions[0] = VQVector(-1.0f, 1.5f, 0);
  mesh->m_positions[1] = VQVector(-1.0f, -1.5f, 0);
  mesh->m_positions[2] = VQVector(1.0f, -1.5f, 0);
  mesh->m_positions[3] = VQVector(1.0f, 1.5f, 0);
  const uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
  std::memcpy(mesh->m_indices, idx, sizeof idx);
  VQGeoset* g = VQGeoset::Create();
  g->AddLevel(mesh, 1000.0f);
  return new VQGeosetNode(g);
}

class Shadows : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_.Init(&group_);
    node_ = ShadowNode();
    shadow_ = static_cast<CarShadow*>(manager_.Create(SHADOW_CAR, node_));
    ASSERT_NE(shadow_, nullptr);
    ASSERT_TRUE(shadow_->Init(node_, 7, &car_, kWheels));
    manager_.m_lightFlag = 0;
  }
  void TearDown() override {
    manager_.Remove(shadow_);
    delete node_;
  }
  // Puts the car at (ox, oy) on ground of height z(x, y) and updates the shadow.
  template <class Ground>
  void Drive(float ox, float oy, Ground z) {
    VQMatrix wheels[4];
    for (int i = 0; i < 4; ++i) {
      const float x = kWheels[i].x + ox, y = kWheels[i].y + oy;
      car_.m_wheelContact[i] = VQVector(x, y, 5.0f);
      car_.m_wheelGroundHeight[i] = z(x, y);
      wheels[i].SetTranslation(x, y, z(x, y) + 0.3f);
    }
    shadow_->Update(wheels);
  }
  const VQVector* V() const { return shadow_->m_mesh->m_positions; }
  VQGroupNode group_;
  ShadowManager manager_;
  VQGeosetNode* node_ = nullptr;
  CarShadow* shadow_ = nullptr;
  StubVehicle car_;
};

TEST_F(Shadows, FlatGroundGivesTheInitialQuadJustAboveTheGround) {
  Drive(10, 20, [](float, float) { return 2.0f; });
  const VQVector expected[4] = {{9, 21.5f, 2}, {9, 18.5f, 2}, {11, 18.5f, 2}, {11, 21.5f, 2}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(V()[i].x, expected[i].x, 1e-4) << i;
    EXPECT_NEAR(V()[i].y, expected[i].y, 1e-4) << i;
    EXPECT_NEAR(V()[i].z, 2.0f + SHADOW_LIFT, 1e-5) << i;
  }
  EXPECT_TRUE(shadow_->m_mesh->m_flags & MESH_DYNAMIC);
  EXPECT_EQ(node_->m_parent, &group_);
}

TEST_F(Shadows, GroundAboveAWheelKeepsThatWheelsLastHeight) {
  Drive(0, 0, [](float, float) { return 1.0f; });
  VQMatrix wheels[4];
  for (int i = 0; i < 4; ++i) {
    car_.m_wheelGroundHeight[i] = i == 1 ? 9.0f : 1.5f;  // wheel 1 reads a wall above it
    wheels[i].SetTranslation(kWheels[i].x, kWheels[i].y, 1.8f);
  }
  shadow_->Update(wheels);
  EXPECT_LT(V()[3].z, 1.1f);  // wheel 1's corner stays near 1.0, not on the wall
  EXPECT_GT(V()[0].z, 1.45f);
  EXPECT_FLOAT_EQ(shadow_->m_lastHeight[1], 1.0f);
  EXPECT_FLOAT_EQ(shadow_->m_lastHeight[0], 1.5f);
}

TEST_F(Shadows, BankedRoadKeepsTheQuadFacingUp) {
  for (float bank : {0.0f, 0.4f, -0.4f, 1.2f}) {
    Drive(0, 0, [bank](float x, float) { return x * bank; });
    VQVector a = V()[1] - V()[0], b = V()[2] - V()[0], n;
    n.SetCross(a, b);
    EXPECT_GT(n.z, 0.0f) << bank;
  }
  // Mirrored wheels (the car seen upside down in its own axes) flip the vertex order instead.
  for (int i = 0; i < 4; ++i) shadow_->m_offsets[i].x = -shadow_->m_offsets[i].x;
  VQMatrix wheels[4];
  const int swap[4] = {1, 0, 3, 2};
  for (int i = 0; i < 4; ++i) {
    car_.m_wheelContact[i] = VQVector(kWheels[swap[i]].x, kWheels[swap[i]].y, 0);
    car_.m_wheelGroundHeight[i] = 0;
    wheels[i].SetTranslation(0, 0, 1);
  }
  shadow_->Update(wheels);
  VQVector a = V()[1] - V()[0], b = V()[2] - V()[0], n;
  n.SetCross(a, b);
  EXPECT_GT(n.z, 0.0f);
}

TEST_F(Shadows, LightStretchesTheSideFacingTheLight) {
  manager_.m_lightFlag = 1;
  manager_.m_lightDirection = VQVector(1, 0, 0);
  manager_.m_factor1 = 0.0f;
  manager_.m_factor2 = 1.0f;
  Drive(0, 0, [](float, float) { return 0.0f; });
  EXPECT_NEAR(V()[2].x, 2.0f, 1e-4);  // right side pushed out by 1
  EXPECT_NEAR(V()[3].x, 2.0f, 1e-4);
  EXPECT_NEAR(V()[0].x, -1.0f, 1e-4);  // left side stays
}

TEST(ShadowManagerTest, KindsListAndAMissingSun) {
  VQGroupNode group;
  ShadowManager m;
  m.Init(&group);
  VQGroupNode a, b, c;
  EXPECT_EQ(m.Create(2, &a), nullptr);
  Shadow* s1 = m.Create(SHADOW_PLAIN, &a);
  Shadow* s2 = m.Create(SHADOW_CAR, &b);
  ASSERT_TRUE(s1 && s2);
  EXPECT_EQ(m.m_head, s2);
  EXPECT_EQ(m.Count(), 2u);
  Shadow stranger;
  m.Remove(&stranger);  // not in the list: nothing
  EXPECT_EQ(m.Count(), 2u);
  m.Remove(s1);
  EXPECT_EQ(m.Count(), 1u);
  EXPECT_EQ(a.m_parent, nullptr);
  // A track without a sun light: shadows off, no node read.
  EXPECT_FALSE(m.SetSun(nullptr, VQVector(0, 0, -1), 0, 1));
  EXPECT_EQ(group.m_enabled, 0);
  EXPECT_EQ(m.Create(SHADOW_CAR, &c), nullptr);
  VQLightNode sun;
  ShadowManager lit;
  VQGroupNode g2;
  lit.Init(&g2);
  EXPECT_TRUE(lit.SetSun(&sun, VQVector(0.5f, 0.5f, -1), 0.25f, 0.75f));
  EXPECT_FLOAT_EQ(lit.m_factor2, 0.75f);
  m.Remove(s2);
  b.Detach();
}

TEST(WeatherRecords, DecodersClampEveryValueToItsRange) {
  uint8_t rain[104] = {};
  Record_PutName(rain, 0, 32, "storm");
  const float bad[] = {7.0f, -3.0f, 5.0f, 1e9f, 2.0f, -1.0f, std::nanf(""), 1.5f};
  for (int i = 0; i < 8; ++i) Record_PutF32(rain, 32 + 4 * i, bad[i]);
  Record_PutF32(rain, 96, 9.0f);
  RainConfig r;
  RainConfig_Decode(rain, r);
  EXPECT_STREQ(r.name, "storm");
  EXPECT_EQ(r.density, 1.0f);
  EXPECT_EQ(r.fallSpeed, 0.0f);
  EXPECT_EQ(r.width, 1.0f);
  EXPECT_EQ(r.height, 10.0f);
  EXPECT_EQ(r.opacity, 1.0f);
  EXPECT_EQ(r.colour.r, 0.0f);
  EXPECT_EQ(r.colour.g, 0.0f);
  EXPECT_EQ(r.colour.b, 1.0f);
  EXPECT_EQ(r.gain, 1.0f);

  uint8_t t[212];
  for (int i = 0; i < 53; ++i) Record_PutF32(t, 4 * size_t(i), -50.0f);
  std::memset(t + 44, 'x', 32);
  Record_PutF32(t, 148 + 4 * 15, 3.0f);
  ThunderConfig th;
  ThunderConfig_Decode(t, th);
  EXPECT_EQ(th.flashDuration, 0.0f);
  EXPECT_EQ(th.pauseRange, 0.0f);
  EXPECT_EQ(th.gainMin, 0.0f);
  EXPECT_EQ(th.curve[0], 0.0f);
  EXPECT_EQ(th.curve[15], 1.0f);
  EXPECT_EQ(std::strlen(th.sound), 32u);

  uint8_t w[2424] = {};
  Record_PutU32(w, WEATHER_THUNDER_COUNT_OFFSET, 1000);
  Record_PutF32(w, WEATHER_THUNDER_WEIGHTS_OFFSET, 4.0f);
  Record_PutF32(w, WEATHER_DOME_FOLLOW_OFFSET, -2.0f);
  float weights[WEATHER_MAX_THUNDER];
  EXPECT_EQ(WeatherConfig_ThunderWeights(w, weights), WEATHER_MAX_THUNDER);
  EXPECT_EQ(weights[0], 1.0f);
  EXPECT_EQ(WeatherConfig_DomeFollow(w), 0.0f);
}

TEST(WeatherRecords, VariantIsTheFirstWhoseRunningSumExceedsTheDraw) {
  const float w[] = {0.2f, 0.3f};
  EXPECT_EQ(Weather_PickVariant(w, 2, 0.6f), 0u);
  EXPECT_EQ(Weather_PickVariant(w, 2, 0.1f), 0u);
  EXPECT_EQ(Weather_PickVariant(w, 2, 0.3f), 1u);
  EXPECT_EQ(Weather_PickVariant(w, 0, 0.0f), 0u);
}

uint32_t Counter(void* s) { return (*static_cast<uint32_t*>(s))++ * 7919u; }

TEST(RainStreaksTest, DensityGivesTheStreakCountAndTheScrollWraps) {
  RainConfig r;
  r.width = 0.02f, r.height = 0.5f, r.fallSpeed = 1.0f, r.opacity = 0.4f;
  uint32_t state = 1;
  for (auto [density, streaks] :
       {std::pair{0.0f, 100u}, std::pair{1.0f, 3000u}, std::pair{0.5f, 1550u}}) {
    r.density = density;
    RainStreaks rain(r, Counter, &state);
    EXPECT_EQ(rain.m_streaks, streaks);
    ASSERT_NE(rain.m_mesh, nullptr);
    EXPECT_EQ(rain.m_mesh->m_vertexCount, 3 * streaks);
    const VQVector* p = rain.m_mesh->m_positions;
    for (uint32_t i = 0; i < 3 * streaks; ++i) {
      const float d = std::sqrt(p[i].x * p[i].x + p[i].y * p[i].y);
      EXPECT_TRUE(d > 0.25f && d < 3.35f) << i;
      EXPECT_TRUE(p[i].z >= -2.0f && p[i].z <= 2.5f + 0.0001f) << i;
      EXPECT_TRUE(std::isfinite(rain.m_mesh->m_normals[i].x));
    }
  }
  RainStreaks rain(r, Counter, &state);
  rain.SetOpacity(0.25f);
  EXPECT_FLOAT_EQ(rain.GetOpacity(), 0.25f);
  VQMatrix camera;
  camera.SetTranslation(5, 6, 7);
  VQVector scroll(0, 0, -0.99f);
  rain.Update(camera, VQVector(0, 0, 0), scroll, 0.02f);
  EXPECT_NEAR(scroll.z, 0.99f, 1e-5);
  VQVector t;
  rain.m_transform->m_matrix.GetTranslation(t);
  EXPECT_NEAR(t.x, 5.0f, 1e-5);
  EXPECT_NEAR(t.z, 7.0f - 0.99f, 1e-5);
}

TEST(WeatherEffectsTest, StormFlashesOnlyWhileViewZeroRendersAndRestoresTheLights) {
  VQGroupNode scene;
  auto* dome = new VQTransformNode();
  scene.AddChild(dome);
  VQLightNode sun;
  sun.m_ambient = VQColor(0.1f, 0.1f, 0.1f, 1);
  VQFogNode fog;
  fog.m_colour = VQColor(0.5f, 0.5f, 0.5f, 1);
  WeatherSetup setup;
  RainConfig rain;
  rain.density = 0.1f;
  setup.rain = &rain;
  setup.sceneGroup = &scene;
  setup.thunderCount = 1;
  setup.weights[0] = 1.0f;
  setup.domeFollow = 0.5f;
  ThunderConfig& t = setup.thunder[0];
  t.flashDuration = 0.2f, t.pauseMin = 0.1f, t.delayMin = 0.3f;
  t.flash = VQColor(1, 1, 1, 1), t.ambientFlash = VQColor(1, 0, 0, 1), t.ambientFactor = 1.0f;
  for (float& c : t.curve) c = 1.0f;
  {
    WeatherEffects w(dome, nullptr, &sun, nullptr, VQVector(0, 0, 1), nullptr, &fog, setup);
    ASSERT_NE(w.m_domeWrapper, nullptr);
    EXPECT_EQ(dome->m_parent, w.m_domeWrapper);
    EXPECT_EQ(scene.m_count, 2u);  // the wrapper and the rain callback node
    w.SetFrameStep(0.05f);
    w.SetCurrentView(1);
    for (int i = 0; i < 10; ++i) w.StormCallback(VQVector(2, 4, 6));
    EXPECT_EQ(w.m_storm, 0);  // view 1 never advances the storm
    VQVector d;
    dome->m_matrix.GetTranslation(d);
    EXPECT_FLOAT_EQ(d.y, 2.0f);  // the dome follows the camera by half
    w.SetCurrentView(0);
    int frames = 0;
    while (w.m_storm == 0 && frames < 100) w.StormCallback(VQVector(0, 0, 0)), ++frames;
    EXPECT_EQ(frames, 3);  // 0.1 s of pause at 0.05 s a frame
    w.StormCallback(VQVector(0, 0, 0));
    EXPECT_FLOAT_EQ(sun.m_ambient.r, 1.0f);
    EXPECT_FLOAT_EQ(fog.m_colour.r, 1.0f);
    for (int i = 0; i < 20 && w.m_storm == 1; ++i) w.StormCallback(VQVector(0, 0, 0));
    EXPECT_EQ(w.m_storm, 0);
    EXPECT_FLOAT_EQ(sun.m_ambient.r, 0.1f);
    EXPECT_FLOAT_EQ(fog.m_colour.r, 0.5f);
  }
  // The destructor puts the dome back and takes the rain node away.
  EXPECT_EQ(dome->m_parent, &scene);
  EXPECT_EQ(scene.m_count, 1u);
  EXPECT_EQ(scene.m_children[0], dome);
}

}  // namespace
