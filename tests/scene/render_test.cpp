// The render traversal through a recording display device: order of draws, light and fog
// switching around deferred records, level-of-detail choice, culling, portals, particles,
// and the fixed stacks under deep or large scenes.
#include <gtest/gtest.h>

#include <cmath>

#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQParticleSystem.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/scene/VQViewport.h"
#include "tests/scene/scene_support.h"

namespace {

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    table = VQscene_MakeMattable(1, "render_");
    table->m_refCount = 1;  // held by the fixture
    viewport.Create(nullptr, 0, 0, 640, 480);
    viewport.m_canvasWidth = 640;
    viewport.m_canvasHeight = 480;
    viewport.m_display = &device;
    viewport.m_active = 1;
    viewport.SetCamera(&camera);
    viewport.m_root = &root;
  }
  void TearDown() override {
    root.DeleteChildren();
    if (--table->m_refCount == 0) VQMattable::Release(table);
  }

  // A geoset node of one small quad whose mesh the device knows by name.
  VQGeosetNode* Quad(const std::string& name, bool transparent, uint32_t id = 0) {
    VQGeoset* g = VQscene_MakeGridGeoset(1, 0.5f, 1);
    if (transparent) g->m_meshes[0]->m_flags |= VQMESH_TRANSPARENT;
    device.names.push_back({g->m_meshes[0], name});
    VQGeosetNode* n = new VQGeosetNode(g, id);
    n->SetName(name.c_str());
    n->SetMattable(table);
    return n;
  }
  static VQTransformNode* At(float x, float y, float z, VQNode* child) {
    VQTransformNode* t = new VQTransformNode();
    t->SetPosition(VQVector(x, y, z));
    t->SetChild(child);
    return t;
  }
  static VQGroupNode* Group() {
    VQGroupNode* g = new VQGroupNode();
    g->m_record.m_cull = 0;
    return g;
  }

  RecordingDevice device;
  RecordingViewport viewport;
  VQCamera camera;
  VQRootNode root;
  VQMattable* table = nullptr;
};

}  // namespace

TEST_F(Render, TransparentDrawsGoBackToFrontWithTheirLightsAndFog) {
  VQLightNode* l1 = new VQLightNode();
  l1->SetName("L1");
  root.SetChild(l1);
  VQGroupNode* g = Group();
  l1->SetChild(g);
  g->AddChild(At(0, 10, 0, Quad("opaque", false)));
  g->AddChild(At(0, 20, 0, Quad("t20", true)));
  VQFogNode* fog = new VQFogNode();
  fog->SetName("F");
  fog->SetChild(At(0, 50, 0, Quad("t50", true)));
  g->AddChild(fog);
  VQLightNode* l2 = new VQLightNode();
  l2->SetName("L2");
  l2->SetChild(At(0, 30, 0, Quad("t30", true)));
  g->AddChild(l2);

  viewport.Render(0);
  const std::vector<std::string> expected = {
      "light+0 L1", "draw opaque", "fog+ F",     "fog- F",    "light+1 L2", "light-1 L2",
      "light-0 L1", "light+0 L1",  "fog+ F",     "draw t50",  "light+1 L2", "fog- F",
      "draw t30",   "light-1 L2",  "draw t20",   "light-0 L1"};
  EXPECT_EQ(device.log, expected);
  // Deferred meshes are drawn with their own model matrices and geosets.
  ASSERT_EQ(device.drawnMatrices.size(), 4u);
  EXPECT_FLOAT_EQ(device.drawnMatrices[1].m[13], 50.0f);
  EXPECT_FLOAT_EQ(device.drawnMatrices[3].m[13], 20.0f);
}

// A scene root hung into another scene (a car's into the track's) is part of the outer pass:
// the meshes after it keep the outer light, and the transparent draws before, inside and after it
// are drawn once, back to front, with that light.
TEST_F(Render, NestedRootKeepsTheOuterLightsAndTransparentList) {
  VQLightNode* sun = new VQLightNode();
  sun->SetName("sun");
  root.SetChild(sun);
  VQGroupNode* g = Group();
  sun->SetChild(g);
  g->AddChild(At(0, 40, 0, Quad("t40", true)));
  VQRootNode* car = new VQRootNode();
  VQGroupNode* body = Group();
  car->SetChild(body);
  body->AddChild(At(0, 5, 0, Quad("body", false)));
  body->AddChild(At(0, 30, 0, Quad("glass", true)));
  g->AddChild(car);
  g->AddChild(At(0, 10, 0, Quad("after", false)));
  g->AddChild(At(0, 20, 0, Quad("shadow", true)));
  viewport.Render(0);
  const std::vector<std::string> expected = {
      "light+0 sun", "draw body",    "draw after",  "light-0 sun", "light+0 sun",
      "draw t40",    "draw glass",   "draw shadow", "light-0 sun"};
  EXPECT_EQ(device.log, expected);
  EXPECT_EQ(g_VQrender.m_lightCount, 0u) << "the light stack is balanced";
}

TEST_F(Render, LightingOffSkipsLightSwitchesAndFogModeZeroStaysInForce) {
  viewport.m_lighting = 0;
  VQLightNode* l1 = new VQLightNode();
  l1->SetName("L1");
  VQFogNode* outer = new VQFogNode();
  outer->SetName("outer");
  VQFogNode* clear = new VQFogNode();
  clear->SetName("clear");
  clear->m_mode = 0;
  root.SetChild(outer);
  outer->SetChild(l1);
  VQGroupNode* g = Group();
  l1->SetChild(g);
  g->AddChild(clear);
  clear->SetChild(At(0, 20, 0, Quad("t20", true)));
  g->AddChild(At(0, 10, 0, Quad("o10", false)));
  viewport.Render(0);
  // The clear fog switches the outer one off for its subtree, also for the deferred draw,
  // which records "clear" as its fog: the deferred walk turns "clear" (mode 0) on through the
  // device, which is what the record says.
  const std::vector<std::string> expected = {"fog+ outer", "fog- outer", "fog+ outer", "draw o10",
                                             "fog- outer", "fog+ clear", "draw t20",   "fog- clear"};
  EXPECT_EQ(device.log, expected);
}

TEST_F(Render, EqualDepthsDrawInReverseArrival) {
  VQGroupNode* g = Group();
  root.SetChild(g);
  g->AddChild(At(0, 20, 0, Quad("first", true)));
  g->AddChild(At(0, 20, 0, Quad("second", true)));
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"second", "first"}));
}

TEST_F(Render, LevelOfDetailNodeChoosesByDistanceBiasAndScale) {
  struct Case {
    float depth;
    uint32_t bias;
    float scale;
    const char* drawn;
  } cases[] = {
      {5, 0, 1.0f, "c0"},   {10, 0, 1.0f, "c1"}, {199, 0, 1.0f, "c2"}, {200, 0, 1.0f, ""},
      {60, 0, 2.0f, "c2"},  {55, 1, 1.0f, "c0"}, {60, 2, 1.0f, "c2"},  {-5, 0, 1.0f, "c0"},
  };
  for (const auto& c : cases) {
    root.DeleteChildren();
    device.log.clear();
    device.names.clear();  // freed meshes' addresses come back
    VQLodNode* lod = new VQLodNode();
    lod->m_record.m_cull = 0;
    const float d[3] = {10, 50, 200};
    for (int i = 0; i < 3; ++i) {
      VQGeosetNode* q = Quad("c" + std::to_string(i), false);
      q->m_geoset->m_frustumTest = 0;
      lod->AddChild(q);
      lod->m_distances[i] = d[i];
    }
    root.SetChild(At(0, c.depth, 0, lod));
    camera.m_lodBias = c.bias;
    camera.m_lodScale = c.scale;
    viewport.Render(0);
    const auto draws = device.Draws();
    EXPECT_EQ(draws.empty() ? "" : draws[0], c.drawn) << c.depth << " " << c.bias << " " << c.scale;
    EXPECT_LE(draws.size(), 1u);
  }
}

TEST_F(Render, GeosetLevelsFollowDepthBiasAndScale) {
  VQGeoset* g = VQGeoset::Create();
  const float d[3] = {10, 20, 40};
  for (int i = 0; i < 3; ++i) {
    VQMesh* m = VQMesh::Create(3, 1, 0, false, false, false);
    device.names.push_back({m, "level" + std::to_string(i)});
    g->AddLevel(m, d[i]);
  }
  g->m_frustumTest = 0;
  VQGeosetNode* n = new VQGeosetNode(g);
  n->SetMattable(table);
  VQTransformNode* t = At(0, 0, 0, n);
  root.SetChild(t);
  struct Case {
    float depth;
    uint32_t bias;
    float scale;
    const char* drawn;
  } cases[] = {{15, 0, 1, "level1"}, {40, 0, 1, ""},        {-5, 0, 1, "level0"},
               {25, 1, 1, "level0"}, {25, 3, 1, "level2"},  {15, 0, 2, "level2"}};
  for (const auto& c : cases) {
    device.log.clear();
    t->SetPosition(VQVector(0, c.depth, 0));
    camera.m_lodBias = c.bias;
    camera.m_lodScale = c.scale;
    viewport.Render(0);
    const auto draws = device.Draws();
    EXPECT_EQ(draws.empty() ? "" : draws[0], c.drawn) << c.depth;
  }
}

TEST_F(Render, TransparentMeshesUseTheRawDepthAndFlagsDecideDeferral) {
  camera.m_lodScale = 10.0f;  // would reorder the two if the adjusted depth were used
  VQGroupNode* g = Group();
  root.SetChild(g);
  g->AddChild(At(0, 30, 0, Quad("far", true)));
  g->AddChild(At(0, 20, 0, Quad("near", true)));
  VQGeosetNode* now = Quad("now", true);
  now->m_geoset->m_meshes[0]->m_flags |= VQMESH_NEVER_DEFERRED;
  g->AddChild(At(0, 25, 0, now));
  VQGeosetNode* hidden = Quad("hidden", false);
  hidden->m_geoset->m_meshes[0]->m_flags |= VQMESH_HIDDEN | VQMESH_NEVER_DEFERRED;
  g->AddChild(At(0, 25, 0, hidden));
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"now", "far", "near"}));
}

TEST_F(Render, SpheresOutsideTheFrustumAreCulled) {
  VQGroupNode* g = new VQGroupNode();  // culls by its sphere
  root.SetChild(g);
  g->AddChild(At(100, 10, 0, Quad("left_out", false)));
  g->GetBoundingSphere();
  VQGroupNode* open = Group();
  root.SetChild(open);  // replaces g (g is deleted below)
  VQNode::Destroy(g);
  open->AddChild(At(100, 10, 0, Quad("geoset_out", false)));  // the geoset's own test
  open->AddChild(At(0, 10, 0, Quad("inside", false)));
  VQGroupNode* culled = new VQGroupNode();
  culled->AddChild(At(-100, 10, 0, Quad("group_out", false)));
  culled->GetBoundingSphere();
  open->AddChild(culled);
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"inside"}));
  EXPECT_EQ(g_VQrender.m_stats[VQSTAT_MESHES], 2u);
  EXPECT_EQ(g_VQrender.m_stats[VQSTAT_REJECTED], 1u);
}

TEST_F(Render, PortalNarrowsProjectionAndViewportForTheRoomBehind) {
  viewport.m_portalMode = 1;
  camera.m_cellIndex = 0;
  VQCellNode* cell = new VQCellNode();
  root.SetChild(cell);
  VQGroupNode* room0 = Group();
  VQGroupNode* room1 = Group();
  cell->AddChild(room0);
  cell->AddChild(room1);
  VQPortalNode* door = new VQPortalNode();
  door->m_target = 1;
  door->m_normal.Set(0, -1, 0);
  const VQVector pts[4] = {VQVector(-1, 4, 0), VQVector(1, 4, 0), VQVector(1, 4, 2), VQVector(-1, 4, 2)};
  door->SetPoints(pts, 4);
  room0->AddChild(door);
  room0->AddChild(At(0, 3, 0, Quad("room0", false)));
  static float seenWidth, seenHeight;
  VQCallbackNode* probe = new VQCallbackNode();
  probe->SetCallback(
      [](VQCallbackNode*, uintptr_t word) {
        auto* cam = reinterpret_cast<VQCamera*>(word);
        seenWidth = cam->m_viewWidth;
        seenHeight = cam->m_viewHeight;
        return true;
      },
      reinterpret_cast<uintptr_t>(&camera));
  room1->AddChild(probe);
  room1->AddChild(At(0, 6, 1, Quad("room1", false)));
  cell->LinkPortals();

  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"room1", "room0"}));
  ASSERT_EQ(viewport.log.size(), 4u);
  EXPECT_EQ(viewport.log[0], "projection -0.2508 0.2531 0 0.5039");
  EXPECT_EQ(viewport.log[1], "rect 213 240 215 215");
  EXPECT_EQ(viewport.log[2], "rect 0 0 640 480");
  EXPECT_EQ(viewport.log[3], "projection -0.75 0.75 -0.5625 0.5625");
  EXPECT_NEAR(seenWidth, 0.50390625f, 1e-5f);
  EXPECT_NEAR(seenHeight, 0.50390625f, 1e-5f);
  EXPECT_FLOAT_EQ(camera.m_viewWidth, 1.5f);
  EXPECT_FLOAT_EQ(camera.m_viewHeight, 1.125f);

  // From behind the portal draws nothing; the camera in no room draws nothing at all.
  device.log.clear();
  viewport.log.clear();
  door->m_normal.Set(0, 1, 0);
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"room0"}));
  device.log.clear();
  camera.m_cellIndex = -1;
  viewport.Render(0);
  EXPECT_TRUE(device.Draws().empty());
}

TEST_F(Render, DeferredDrawsSeenThroughAPortalGetThePortalsProjection) {
  viewport.m_portalMode = 1;
  camera.m_cellIndex = 0;
  VQCellNode* cell = new VQCellNode();
  root.SetChild(cell);
  VQGroupNode* room0 = Group();
  VQGroupNode* room1 = Group();
  cell->AddChild(room0);
  cell->AddChild(room1);
  VQPortalNode* door = new VQPortalNode();
  door->m_target = 1;
  door->m_normal.Set(0, -1, 0);
  const VQVector pts[4] = {VQVector(-1, 4, 0), VQVector(1, 4, 0), VQVector(1, 4, 2), VQVector(-1, 4, 2)};
  door->SetPoints(pts, 4);
  room0->AddChild(door);
  room0->AddChild(At(0, 3, 0, Quad("glass0", true)));
  room1->AddChild(At(0, 6, 1, Quad("glass1", true)));
  cell->LinkPortals();
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"glass1", "glass0"}));
  const std::vector<std::string> expected = {
      // the portal's own narrowing and restoring
      "projection -0.2508 0.2531 0 0.5039", "rect 213 240 215 215", "rect 0 0 640 480",
      "projection -0.75 0.75 -0.5625 0.5625",
      // the deferred walk: glass1 with the portal's window, glass0 with the full one
      "projection -0.2508 0.2531 0 0.5039", "position 213 240", "size 215 215",
      "projection -0.75 0.75 -0.5625 0.5625", "position 0 0", "size 640 480",
      // and the viewport's own projection once more at the end
      "projection -0.75 0.75 -0.5625 0.5625"};
  EXPECT_EQ(viewport.log, expected);
}

TEST_F(Render, PortalPassesPerFrameBoundMutualPortals) {
  viewport.m_portalMode = 1;
  camera.m_cellIndex = 0;
  VQCellNode* cell = new VQCellNode();
  root.SetChild(cell);
  for (int r = 0; r < 2; ++r) {
    VQGroupNode* room = Group();
    VQPortalNode* p = new VQPortalNode();
    p->m_target = 1 - r;
    p->m_normal.Set(0, -1, 0);
    p->m_clip = 0;
    const VQVector pts[3] = {VQVector(-1, 4, -1), VQVector(1, 4, -1), VQVector(0, 4, 1)};
    p->SetPoints(pts, 3);
    room->AddChild(p);
    room->AddChild(At(0, 5, 0, Quad("room" + std::to_string(r), false)));
    cell->AddChild(room);
  }
  cell->LinkPortals();
  viewport.Render(0);
  // room0's portal draws room1, whose portal draws room0 once more, whose portal is spent.
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"room0", "room1", "room0"}));
}

TEST_F(Render, ParticlesAreDrawnAsCameraFacingQuads) {
  VQparticle_SetSeed(1);
  VQParticleSystem* ps = new VQParticleSystem(&device, 4, 1);
  ASSERT_TRUE(ps->IsValid());
  device.names.push_back({ps->m_mesh, "particles"});
  ps->m_rate = 100;
  ps->m_orientationMode = 0;
  ps->m_emitter.Set(0, 10, 0);
  ps->UpdateBy(nullptr, 0.03f);
  EXPECT_EQ(ps->m_liveCount, 3u);
  VQEffectNode* effect = new VQEffectNode();
  effect->m_sphere->m_centre.Set(0, 10, 0);
  effect->SetEffect(ps);
  effect->m_enabled = 0;  // the effect node ignores its enabled flag
  VQGroupNode* g = Group();
  root.SetChild(g);
  g->AddChild(effect);
  viewport.Render(0);
  ASSERT_EQ(device.Draws(), (std::vector<std::string>{"particles"}));
  const VQMesh* m = ps->m_mesh;
  EXPECT_EQ(m->m_triangleCount, 6u);
  EXPECT_EQ(g_VQrender.m_stats[VQSTAT_PARTICLES], 3u);
  const VQVector expect[4] = {VQVector(-0.25f, 10, -0.25f), VQVector(0.25f, 10, -0.25f),
                              VQVector(0.25f, 10, 0.25f), VQVector(-0.25f, 10, 0.25f)};
  for (int v = 0; v < 4; ++v) EXPECT_EQ(m->m_positions[v], expect[v]) << v;
  EXPECT_EQ(m->m_colours[0], 0xFFFFFFFFu);
  EXPECT_EQ(m->m_uv0[2], 1.0f);  // orientation 0: vertex 1 at (1, 0)
  // Drawn with the view matrix: positions are world coordinates.
  EXPECT_EQ(device.drawnMatrices[0].m[0], g_VQrender.m_view.m[0]);

  // A turned camera turns the quads with it.
  camera.m_matrix.MakeRotationZ(1.5707963f);  // right = (0, 1, 0)
  viewport.Render(0);
  EXPECT_NEAR(m->m_positions[0].x, 0.0f, 1e-6);
  EXPECT_NEAR(m->m_positions[0].y, 10 - 0.25f, 1e-6);
}

TEST_F(Render, DeepScenesDoNotOverrunTheStacks) {
  // 40 nested transforms: the path deeper than the 32-entry matrix stack is skipped.
  VQNode* top = Quad("deep", false);
  for (int i = 0; i < 40; ++i) top = At(0, i == 0 ? 10.0f : 0.0f, 0, top);
  VQGroupNode* g = Group();
  root.SetChild(g);
  g->AddChild(top);
  // 12 nested lights: 8 are switched on, the rest pass their child through.
  VQNode* lit = At(0, 10, 0, Quad("lit", false));
  for (int i = 0; i < 12; ++i) {
    VQLightNode* l = new VQLightNode();
    l->SetName(("L" + std::to_string(i)).c_str());
    l->SetChild(lit);
    lit = l;
  }
  g->AddChild(lit);
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"lit"}));
  int enabled = 0;
  for (auto& l : device.log) enabled += l.rfind("light+", 0) == 0;
  EXPECT_EQ(enabled, 8);
  EXPECT_EQ(g_VQrender.m_matrixCount, 1u);
  EXPECT_EQ(g_VQrender.m_lightCount, 0u);
}

TEST_F(Render, TheTransparentListKeeps1023Records) {
  VQGroupNode* g = Group();
  root.SetChild(g);
  VQGeoset* shared = VQscene_MakeGridGeoset(1, 0.1f, 1);
  shared->m_meshes[0]->m_flags |= VQMESH_TRANSPARENT;
  for (int i = 0; i < 999; ++i) {
    VQGeosetNode* n = new VQGeosetNode(shared);
    n->SetMattable(table);
    g->AddChild(At(0, 5.0f + i * 0.01f, 0, n));
  }
  VQGroupNode* g2 = Group();
  ASSERT_TRUE(g->AddChild(g2));
  for (int i = 0; i < 100; ++i) {
    VQGeosetNode* n = new VQGeosetNode(shared);
    n->SetMattable(table);
    g2->AddChild(At(0, 20.0f + i, 0, n));
  }
  viewport.Render(0);
  EXPECT_EQ(device.drawn.size(), 1023u);
}

TEST_F(Render, GeosetNodesWithoutTableOrLevelsDrawNothing) {
  VQGroupNode* g = Group();
  root.SetChild(g);
  VQGeosetNode* noTable = Quad("no_table", false);
  noTable->SetMattable(nullptr);
  g->AddChild(At(0, 10, 0, noTable));
  VQGeosetNode* noLevels = new VQGeosetNode(VQGeoset::Create());
  noLevels->SetMattable(table);
  g->AddChild(noLevels);
  g->AddChild(At(0, 10, 0, Quad("fine", false)));
  viewport.Render(0);
  EXPECT_EQ(device.Draws(), (std::vector<std::string>{"fine"}));
}

TEST_F(Render, ViewportRendersOnlyWhenActiveWithCamera) {
  root.SetChild(At(0, 10, 0, Quad("q", false)));
  viewport.m_active = 0;
  viewport.Render(0);
  EXPECT_TRUE(device.Draws().empty());
  viewport.m_active = 1;
  static int preRenders = 0;
  viewport.m_preRender = [](VQViewport*) { preRenders++; };
  viewport.Render(0);
  EXPECT_EQ(preRenders, 1);
  EXPECT_EQ(device.Draws().size(), 1u);
  {
    VQCamera temporary;
    viewport.SetCamera(&temporary);
  }
  EXPECT_EQ(viewport.m_camera, nullptr);
  device.log.clear();
  viewport.Render(0);
  EXPECT_TRUE(device.Draws().empty());
}

TEST_F(Render, CallbackNodeHidesItsChildForOneFrame) {
  static bool show = false;
  VQCallbackNode* cb = new VQCallbackNode();
  cb->SetCallback([](VQCallbackNode*, uintptr_t) { return show; }, 0);
  cb->SetChild(At(0, 10, 0, Quad("child", false)));
  root.SetChild(cb);
  viewport.Render(0);
  EXPECT_TRUE(device.Draws().empty());
  show = true;
  viewport.Render(0);
  EXPECT_EQ(device.Draws().size(), 1u);
}
