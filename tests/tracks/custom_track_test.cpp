// Tracks written by the test: markers beyond the tables, numbering gaps, a scene without a sun
// light or start lights, and a track without cameras.
#include <cmath>
#include <cstdio>

#include "QVX/race/Simulation.h"
#include "tests/tracks/track_world.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"

using namespace trackstest;

namespace {

VQGeosetNode* Mesh(const char* name, const std::vector<VQVector>& points, bool collider) {
  const uint32_t n = uint32_t(points.size());
  VQMesh* mesh = VQMesh::Create(n, n >= 3 ? n - 2 : 0, 0, true, false, true);
  for (uint32_t i = 0; i < n; ++i) {
    mesh->m_positions[i] = points[i];
    mesh->m_normals[i] = VQVector(0, 0, 1);
  }
  for (uint32_t t = 0; t + 2 < n; ++t) {
    mesh->m_indices[3 * t] = 0;
    mesh->m_indices[3 * t + 1] = uint16_t(t + 1);
    mesh->m_indices[3 * t + 2] = uint16_t(t + 2);
    mesh->SetMaterialOf(t, 0);
  }
  if (collider) mesh->m_flags |= VQMESH_COLLIDER;
  VQGeoset* g = VQGeoset::Create();
  g->AddLevel(mesh, 1000.0f);
  g->GetBoundingSphere(g->m_centre, g->m_radius);
  auto* node = new VQGeosetNode(g, 0);
  node->SetName(name);
  VQMattable* table = VQMattable::Create(0);
  table->Resize(1);
  VQMaterial* m = VQMaterial::Create((std::string("test_") + name).c_str());
  m->SetDefaults();
  table->Set(m, 0);
  node->SetMattable(table);
  return node;
}

// A marker pointing along +y at (x, y): vertex 0 behind, vertex 3 the point.
VQGeosetNode* Marker(const char* name, float x, float y) {
  return Mesh(name, {{x, y - 2, 0}, {x + 1, y - 2, 0}, {x + 1, y, 0}, {x, y, 0}}, false);
}

class CustomTrack : public TrackWorld {
 public:
  void SetUp() override {
    TrackWorld::SetUp();
    // Settings, weather and cameras of a generated track under the new name.
    for (const char* suffix : {".bin", "_weather_sunny.bin", "_weather_overcast.bin", "_cams.bin"})
      fs::copy_file(TrackFile(std::string("harbour") + suffix),
                    TrackFile(std::string("plain") + suffix));
    // A flat ground of 200 x 200 m, nothing else: no sun light, no start lights.
    auto* root = new VQRootNode(1);
    auto* main = new VQGroupNode(2);
    main->SetName("g_main");
    root->SetChild(main);
    main->AddChild(
        Mesh("m_ground", {{-100, -100, 0}, {100, -100, 0}, {100, 100, 0}, {-100, 100, 0}}, true));
    ASSERT_TRUE(VQscene_WriteDatabase(root, TrackFile("plain_high.vqo").c_str(), 11));
    VQNode::Destroy(root);
  }
  // The meta file: 34 grid markers, pit markers 01, 02 and 04, 12 line markers, 18 checkpoints
  // of which the third has a suffix.
  void WriteMeta() {
    auto* root = new VQRootNode(1);
    auto* group = new VQGroupNode(2);
    root->SetChild(group);
    char name[40];
    for (int n = 1; n <= 34; ++n) {
      std::snprintf(name, sizeof name, "m_meta_gridpos%d%d", n / 10, n % 10);
      group->AddChild(Marker(name, float(n) * 3, -20));
    }
    for (int n : {1, 2, 4}) {
      std::snprintf(name, sizeof name, "m_meta_pitpos%d%d", n / 10, n % 10);
      group->AddChild(Marker(name, float(n) * 3, -40));
    }
    for (int n = 1; n <= 12; ++n) {
      std::vector<VQVector> ring;
      for (int k = 0; k <= 8; ++k)
        for (int j = 0; j < 3; ++j)
          ring.push_back(
              VQVector(50 * std::cos(k * 0.785f) + float(j), 50 * std::sin(k * 0.785f), 0));
      std::snprintf(name, sizeof name, "m_meta_aii%1d%1d", n / 10, n % 10);
      group->AddChild(Mesh(name, ring, false));
    }
    for (int n = 1; n <= 18; ++n) {
      std::snprintf(name, sizeof name, "m_meta_checkpoint%d%d%s", n / 10, n % 10,
                    n == 3 ? "b" : "");
      group->AddChild(
          Mesh(name, {{float(n), 40, 0}, {float(n), 45, 0}, {float(n), 50, 0}, {float(n), 60, 0}},
               false));
    }
    ASSERT_TRUE(VQscene_WriteDatabase(root, TrackFile("plain_meta.vqo").c_str(), 11));
    VQNode::Destroy(root);
  }
};

}  // namespace

TEST_F(CustomTrack, MarkerCountsStopAtTheirTablesAndAtTheFirstGap) {
  WriteMeta();
  ASSERT_TRUE(track_.Load("plain", "sunny", 0.0f)) << (errors_.empty() ? "" : errors_.back());
  EXPECT_EQ(track_.m_gridCount, TRACK_MAX_POINTS);  // 34 markers, 32 places
  EXPECT_EQ(track_.m_pitCount, 2u);                 // 01, 02, then the gap
  EXPECT_EQ(track_.m_podiumCount, 0u);
  EXPECT_EQ(track_.m_aiLineCount, TRACK_MAX_AI_LINES);
  EXPECT_EQ(track_.m_aiLines[0]->Count(), 8u);
  EXPECT_EQ(track_.m_checkpointCount, TRACK_MAX_CHECKPOINTS);
  EXPECT_EQ(track_.m_checkpoints[0]->kind, 1u);
  EXPECT_EQ(track_.m_checkpoints[1]->kind, 0u);
  EXPECT_EQ(track_.m_checkpoints[2]->kind, 2u);  // a name with letters after its digits
  EXPECT_EQ(track_.m_checkpoints[3]->kind, 0u);
  // Grid markers pointing along +y give heading 0.
  TestRacer r;
  track_.AddPlayer(&r, GAME_MODE_SINGLE);
  EXPECT_NEAR(r.heading_, 0.0f, 1e-6);
  EXPECT_NEAR(r.placed_.x, 3.0f, 1e-6);
}

TEST_F(CustomTrack, LoadsAndRacesWithoutSunLightOrStartLights) {
  WriteMeta();
  ASSERT_TRUE(track_.Load("plain", "overcast", 0.0f));  // a foggy weather needs the sun for its fog
  EXPECT_EQ(track_.m_sun, nullptr);
  EXPECT_EQ(track_.m_fog, nullptr);
  EXPECT_EQ(track_.m_red, nullptr);
  EXPECT_EQ(track_.m_green, nullptr);
  TestRacer r;
  track_.AddPlayer(&r, GAME_MODE_COMPUTERS);
  track_.m_services.gameMode = GAME_MODE_COMPUTERS;
  track_.PrepareRace(true);
  float t = 0;
  for (int i = 0; i < 200; ++i) track_.UpdateRace(t += 0.05f, 0.05f);
  EXPECT_EQ(track_.m_state, uint32_t(RACE_STATE_RACING));  // green light without lights
  track_.ShowPodium();
}

TEST_F(CustomTrack, TrackWithoutCamerasDoesNotStartARace) {
  WriteMeta();
  WriteBytes(TrackFile("plain_cams.bin"), {});
  ASSERT_TRUE(track_.Load("plain", "sunny", 0.0f));
  Simulation sim;
  EXPECT_FALSE(track_.RegisterCameras(&sim));
  ASSERT_FALSE(errors_.empty());
  EXPECT_EQ(errors_.back(), "No cameras defined! (Need at least one)");
  EXPECT_FALSE(sim.Start(false, false));
}
