// Node operations, camera, viewport geometry, materials, particles and sound sources.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Zentri/devices/sound/VQSoundBuffer.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQParticleSystem.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "tests/scene/scene_support.h"
#include "tests/support/sound_support.h"

namespace {

std::vector<uint32_t> Ids(VQNode* n) {
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < n->ChildCount(); ++i) ids.push_back(n->ChildAt(i) ? n->ChildAt(i)->m_userId : 0);
  return ids;
}

}  // namespace

TEST(SceneNodes, RemovingChildrenKeepsOrderInGroupsButNotInLodNodes) {
  VQGroupNode group;
  VQLodNode lod;
  VQNode* gc[3];
  VQNode* lc[3];
  for (uint32_t i = 0; i < 3; ++i) {
    group.AddChild(gc[i] = new VQTransformNode(i + 1));
    lod.AddChild(lc[i] = new VQTransformNode(i + 1));
  }
  EXPECT_TRUE(group.RemoveChild(gc[1]));
  EXPECT_EQ(Ids(&group), (std::vector<uint32_t>{1, 3}));
  EXPECT_EQ(gc[1]->m_parent, nullptr);
  EXPECT_TRUE(lod.RemoveChild(lc[0]));
  EXPECT_EQ(Ids(&lod), (std::vector<uint32_t>{3, 2}));
  g_VQerror = 0;
  EXPECT_FALSE(group.RemoveChild(nullptr));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(group.RemoveChild(gc[1]));  // not a child
  VQNode::Destroy(gc[1]);
  VQNode::Destroy(lc[0]);
  group.DeleteChildren();
  lod.DeleteChildren();
}

TEST(SceneNodes, FullContainersRefuseWithoutErrorCode) {
  struct Case {
    VQNode* node;
    uint32_t capacity;
  };
  VQGroupNode* group = new VQGroupNode();
  VQLodNode* lod = new VQLodNode();
  VQCellNode* cell = new VQCellNode();
  for (Case c : {Case{group, 1000}, Case{lod, 16}, Case{cell, 256}}) {
    for (uint32_t i = 0; i < c.capacity; ++i) ASSERT_TRUE(c.node->AddChild(new VQTransformNode(i)));
    g_VQerror = 0;
    VQTransformNode* extra = new VQTransformNode(9999);
    EXPECT_FALSE(c.node->AddChild(extra));
    EXPECT_EQ(g_VQerror, 0);
    EXPECT_EQ(c.node->ChildCount(), c.capacity);
    EXPECT_EQ(extra->m_parent, nullptr);
    delete extra;
    VQNode::Destroy(c.node);
  }
}

TEST(SceneNodes, GroupInsertAndReplace) {
  VQGroupNode g;
  VQNode* a = new VQTransformNode(1);
  VQNode* b = new VQTransformNode(2);
  g.AddChild(a);
  g.AddChild(b);
  EXPECT_TRUE(g.InsertChild(new VQTransformNode(3), 1));
  EXPECT_EQ(Ids(&g), (std::vector<uint32_t>{1, 3, 2}));
  VQTransformNode late(4);
  EXPECT_FALSE(g.InsertChild(&late, 3));  // index at the count
  EXPECT_EQ(late.m_parent, nullptr);
  VQNode* r = new VQTransformNode(5);
  EXPECT_TRUE(g.ReplaceChild(r, a));
  EXPECT_EQ(a->m_parent, nullptr);
  EXPECT_EQ(Ids(&g), (std::vector<uint32_t>{5, 3, 2}));
  delete a;
  // Moving a child of one group into another unlinks it from the first.
  VQGroupNode other;
  other.AddChild(b);
  EXPECT_EQ(Ids(&g), (std::vector<uint32_t>{5, 3}));
  EXPECT_EQ(b->m_parent, &other);
  g.DeleteChildren();
  other.DeleteChildren();
}

TEST(SceneNodes, SingleChildOperations) {
  VQRootNode root;
  VQNode* a = new VQTransformNode(1);
  VQNode* stranger = new VQTransformNode(2);
  EXPECT_TRUE(root.AddChild(a));
  EXPECT_FALSE(root.AddChild(stranger));
  EXPECT_TRUE(root.RemoveChild(stranger));  // not the child: true, nothing changes
  EXPECT_EQ(root.GetChild(), a);
  EXPECT_FALSE(root.ReplaceChild(stranger, stranger));
  EXPECT_TRUE(root.ReplaceChild(stranger, a));
  EXPECT_EQ(a->m_parent, nullptr);
  EXPECT_EQ(stranger->m_parent, &root);
  delete a;
  root.DeleteChildren();
  EXPECT_EQ(root.GetChild(), nullptr);
}

TEST(SceneNodes, SearchByWildcardNameAndIdAndVisitStops) {
  VQNode* demo = VQscene_BuildDemo();
  EXPECT_EQ(demo->FindByName("pane*")->m_userId, 30u);
  EXPECT_EQ(demo->FindByName("door_back")->m_userId, 71u);
  EXPECT_EQ(demo->FindByName("nothing"), nullptr);
  EXPECT_EQ(demo->FindById(61)->m_type, uint32_t(VQNODE_GEOSET));
  struct Case {
    const char *a, *b;
    bool match;
  } cases[] = {{"car*", "car_red", true}, {"car_red", "car*", true}, {"road", "road", true},
               {"", "", true},            {"car", "cat", false},    {"car", "car_red", false}};
  for (const auto& c : cases) EXPECT_EQ(VQnode_WildcardMatch(c.a, c.b), c.match) << c.a << " " << c.b;
  VQTransformNode unnamed;
  EXPECT_EQ(unnamed.FindByName("*"), nullptr);

  static int visited;
  visited = 0;
  EXPECT_FALSE(demo->Visit(
      [](VQNode* n, void*) {
        visited++;
        return n->m_userId != 11;
      },
      nullptr));
  EXPECT_EQ(visited, 6);  // root, fog, light, world, ground_place, ground
  VQNode::Destroy(demo);
}

TEST(SceneNodes, ClonesShareOrCopyAndNeverKeepTheSourceParent) {
  VQGroupNode holder;
  VQTransformNode* t = new VQTransformNode(1);
  holder.AddChild(t);
  VQGeosetNode* gn = new VQGeosetNode(VQscene_MakeGridGeoset(1, 1, 1), 2);
  gn->SetMattable(VQscene_MakeMattable(1, "clone_"));
  t->SetChild(gn);

  VQNode* shallow = t->Clone(false, false);
  ASSERT_NE(shallow, nullptr);
  EXPECT_EQ(shallow->m_parent, nullptr);
  auto* sg = static_cast<VQGeosetNode*>(shallow->GetChild());
  EXPECT_NE(sg, gn);
  EXPECT_EQ(sg->m_parent, shallow);
  EXPECT_EQ(gn->m_parent, t);
  EXPECT_EQ(sg->m_geoset, gn->m_geoset);
  EXPECT_EQ(gn->m_geoset->m_refCount, 2u);
  VQNode::Destroy(shallow);  // must not touch the source
  EXPECT_EQ(Ids(&holder), (std::vector<uint32_t>{1}));
  EXPECT_EQ(gn->m_geoset->m_refCount, 1u);

  VQNode* deep = t->Clone(true, true);
  auto* dg = static_cast<VQGeosetNode*>(deep->GetChild());
  EXPECT_NE(dg->m_geoset, gn->m_geoset);
  EXPECT_NE(dg->m_table->m_slots[0], gn->m_table->m_slots[0]);
  EXPECT_EQ(dg->m_geoset->m_meshes[0]->m_vertexCount, gn->m_geoset->m_meshes[0]->m_vertexCount);
  VQNode::Destroy(deep);
  for (VQNode* n : {static_cast<VQNode*>(new VQLightNode()), static_cast<VQNode*>(new VQLodNode()),
                    static_cast<VQNode*>(new VQSoundSourceNode()), static_cast<VQNode*>(new VQPortalNode()),
                    static_cast<VQNode*>(new VQCellNode()), static_cast<VQNode*>(new VQFogNode()),
                    static_cast<VQNode*>(new VQEffectNode()), static_cast<VQNode*>(new VQCallbackNode())}) {
    EXPECT_EQ(n->Clone(true, true), nullptr) << n->m_type;
    VQNode::Destroy(n);
  }
  holder.DeleteChildren();
}

TEST(SceneNodes, GroupSpheresAndBoundsNotification) {
  VQGroupNode outer;
  VQGroupNode* g = new VQGroupNode();
  outer.AddChild(g);
  EXPECT_EQ(g->GetBoundingSphere().m_radius, -1.0f);
  g->AddChild(new VQGroupNode());
  g->AddChild(new VQGroupNode());
  EXPECT_EQ(g->GetBoundingSphere().m_radius, -1.0f);  // children all empty
  g->DeleteChildren();
  VQGeosetNode* a = new VQGeosetNode(VQscene_MakeGridGeoset(1, 2.0f, 1));
  VQTransformNode* t = new VQTransformNode();
  t->SetChild(a);
  g->AddChild(t);
  VQTransformNode* t2 = new VQTransformNode();
  t2->SetChild(new VQGeosetNode(VQscene_MakeGridGeoset(1, 2.0f, 1)));
  g->AddChild(t2);
  t->SetPosition(VQVector(10, 0, 0));  // tells g, which tells outer
  EXPECT_FLOAT_EQ(g->m_record.m_centre.x, 5.0f);
  t->m_notify = 0;
  t->SetPosition(VQVector(20, 0, 0));
  EXPECT_FLOAT_EQ(g->m_record.m_centre.x, 5.0f);
  outer.DeleteChildren();
}

TEST(SceneCamera, ViewSizeFollowsTheViewport) {
  VQViewport vp;
  vp.Create(nullptr, 0, 0, 640, 480);
  VQCamera cam;
  vp.SetCamera(&cam);
  EXPECT_FLOAT_EQ(cam.m_viewHeight, 1.125f);
  cam.SetViewSize(0, 0);
  EXPECT_FLOAT_EQ(cam.m_viewWidth, 1.5f);
  cam.SetViewSize(-2, 1);
  EXPECT_FLOAT_EQ(cam.m_viewHeight, 1.0f);
  EXPECT_FLOAT_EQ(cam.m_viewWidth, 640.0f / 480.0f);
  EXPECT_FALSE(vp.SetSize(0, 100));
  EXPECT_EQ(vp.m_width, 640);
  float x, y;
  bool behind;
  g_VQrender.m_matrixCount = 1;
  g_VQrender.m_matrices[0].SetIdentity();
  vp.ProjectPoint(VQVector(0, 10, 0), x, y, behind);
  EXPECT_EQ(x, 320.0f);
  EXPECT_EQ(y, 240.0f);
  EXPECT_FALSE(behind);
  vp.ProjectPoint(VQVector(0, -10, 0), x, y, behind);
  EXPECT_TRUE(behind);
}

TEST(SceneCamera, ReplacedCameraAndDeletedViewportLeaveNoDanglingLinks) {
  VQCamera first;
  {
    auto* vp = new VQViewport;
    vp->Create(nullptr, 0, 0, 640, 480);
    VQCamera second;
    vp->SetCamera(&first);
    vp->SetCamera(&second);
    EXPECT_EQ(first.m_viewport, nullptr);  // the old camera forgot the viewport
    EXPECT_EQ(second.m_viewport, vp);
    vp->SetCamera(nullptr);
    EXPECT_EQ(second.m_viewport, nullptr);
    vp->SetCamera(&first);
    delete vp;
    EXPECT_EQ(first.m_viewport, nullptr);  // the camera outlives its viewport safely
  }
  first.SetViewSize(2.0f, 1.0f);  // touches no viewport (ASan would catch one)
  EXPECT_FLOAT_EQ(first.m_viewWidth, 2.0f);
}

TEST(SceneCamera, SphereTestsAgainstTheFrustum) {
  VQCamera cam;
  cam.SetViewSize(1.5f, 1.5f);  // slopes -0.75 .. 0.75, normalisers 0.8
  struct Case {
    VQVector c;
    float r;
    bool outside;
  } cases[] = {
      {VQVector(0, 0.5f, 0), 1.0f, false},   // near: 0.5 + 1 is not below 1
      {VQVector(0, -0.01f, 0), 1.0f, true},
      {VQVector(0, 200000, 0), 1.0f, true},  // beyond far
      {VQVector(-4, 4, 0), 0.8f, true},      // touches the left plane: outside
      {VQVector(4, 4, 0), 0.8f, false},      // touches the right plane: inside
      {VQVector(0, 4, -4), 0.8f, true},      // bottom likewise outside
      {VQVector(0, 4, 4), 0.8f, false},
      {VQVector(0, 10, 0), 1.0f, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(cam.IsSphereOutside(c.c, c.r), c.outside) << c.c.x << " " << c.c.y;
}

TEST(SceneMaterials, NameCounterLibraryAndTables) {
  VQmaterial_LibraryFreeAll();
  VQmaterial_LibraryReset();
  VQMaterial* a = VQMaterial::Create(nullptr);
  VQMaterial* b = VQMaterial::Create(nullptr);
  EXPECT_STREQ(a->m_name, "_1");
  EXPECT_STREQ(b->m_name, "_2");
  VQMaterial::Create("_10");
  EXPECT_STREQ(VQMaterial::Create(nullptr)->m_name, "_11");
  VQMaterial::Create("_3");
  EXPECT_STREQ(VQMaterial::Create(nullptr)->m_name, "_4");
  VQMaterial::Create("_0");
  VQMaterial::Create("_x");
  EXPECT_STREQ(VQMaterial::Create(nullptr)->m_name, "_5");
  VQMaterial* older = VQMaterial::Create("same");
  VQMaterial* newer = VQMaterial::Create("same");
  EXPECT_EQ(VQmaterial_LibraryFind("same"), newer);
  EXPECT_NE(older, newer);

  VQMattable* t = VQMattable::Create(2);
  VQMattable* u = VQMattable::Create(1);
  VQMaterial* glass = t->m_slots[1];
  glass->m_srcBlend = 2;
  t->Set(glass, 1);
  EXPECT_EQ(t->m_hasTransparent, 1u);
  VQMaterial* opaque = VQMaterial::Create(nullptr);
  opaque->SetDefaults();
  u->Set(glass, 0);  // glass now held twice
  t->Set(opaque, 1);
  EXPECT_EQ(t->m_hasTransparent, 1u);
  t->UpdateTransparency();
  EXPECT_EQ(t->m_hasTransparent, 0u);
  const uint32_t count = VQmaterial_LibraryCount();
  VQMattable::Release(t);  // destroys _1-like slot 0 and opaque; glass stays
  EXPECT_EQ(VQmaterial_LibraryCount(), count - 2);
  EXPECT_EQ(u->m_slots[0], glass);
  VQMattable::Release(u);
  EXPECT_EQ(VQmaterial_LibraryCount(), count - 3);

  struct Case {
    uint32_t stages, op0, op1;
    bool fixed;
  } cases[] = {{2, 0, 5, true}, {2, 2, 5, false}, {2, 0, 1, false}, {1, 0, 5, false}};
  for (const auto& c : cases) {
    VQMaterial* m = VQMaterial::Create(nullptr);
    m->SetDefaults();
    m->m_stageCount = c.stages;
    m->m_stages[0].m_operation = c.op0;
    m->m_stages[1].m_operation = c.op1;
    EXPECT_EQ(m->FixStageModes(), c.fixed);
    EXPECT_EQ(m->m_stages[0].m_operation, c.fixed ? 4u : c.op0);
  }
  VQmaterial_LibraryFreeAll();
  EXPECT_EQ(VQmaterial_LibraryCount(), 0u);
}

TEST(SceneMeshes, MirrorTwiceRestoresAndRayPicksTheLowerIndexOnTies) {
  VQGeoset* g = VQscene_MakeGridGeoset(2, 2.0f, 1);
  VQMesh* m = g->m_meshes[0];
  std::vector<VQVector> pos(m->m_positions, m->m_positions + m->m_vertexCount);
  std::vector<uint16_t> idx(m->m_indices, m->m_indices + 3 * m->m_triangleCount);
  const VQVector n(0, 0.6f, 0.8f);
  m->Mirror(n, 1.5f);
  m->Mirror(n, 1.5f);
  for (size_t i = 0; i < pos.size(); ++i) {
    EXPECT_NEAR(m->m_positions[i].x, pos[i].x, 1e-5);
    EXPECT_NEAR(m->m_positions[i].y, pos[i].y, 1e-5);
    EXPECT_NEAR(m->m_positions[i].z, pos[i].z, 1e-5);
  }
  EXPECT_EQ(std::vector<uint16_t>(m->m_indices, m->m_indices + idx.size()), idx);
  EXPECT_EQ(m->m_normals[0], VQVector(0, 0, 1));

  VQRayHit hit;
  // Straight down through the shared edge of triangles 0 and 1 of the first quad.
  ASSERT_TRUE(m->IntersectRay(VQVector(-0.5f, -0.5f, 5), VQVector(0, 0, -10), &hit));
  EXPECT_EQ(hit.m_triangle, 0u);
  EXPECT_FLOAT_EQ(hit.m_distance, 5.0f);
  EXPECT_FALSE(m->IntersectRay(VQVector(-0.5f, -0.5f, 5), VQVector(0, 0, 10), &hit));

  VQMattable* one = VQMattable::Create(1);
  std::vector<uint8_t> rec(m->m_records, m->m_records + 8 * m->m_triangleCount);
  m->SortTransparentLast(one);
  EXPECT_EQ(std::vector<uint8_t>(m->m_records, m->m_records + rec.size()), rec);
  VQMattable::Release(one);
  VQGeoset::Destroy(g);
}

TEST(SceneParticles, EmissionCarriesFractionsAndRespectsCapacity) {
  RecordingDevice device;
  VQParticleSystem ps(&device, 4, 1);
  ps.m_rate = 25;
  ps.UpdateBy(nullptr, 0.03f);
  EXPECT_EQ(ps.m_liveCount, 0u);
  EXPECT_NEAR(ps.m_carry, 0.75f, 1e-5);
  ps.UpdateBy(nullptr, 0.03f);
  EXPECT_EQ(ps.m_liveCount, 1u);
  EXPECT_NEAR(ps.m_carry, 0.5f, 1e-5);
  ps.Clear();
  ps.m_rate = 1000;
  ps.m_carry = 0;
  ps.UpdateBy(nullptr, 0.01f);  // 10 due, 4 places
  EXPECT_EQ(ps.m_liveCount, 4u);
  EXPECT_EQ(ps.m_carry, 0.0f);
}

TEST(SceneParticles, ParticlesGrowAndFadeOverTheirLife) {
  RecordingDevice device;
  VQParticleSystem ps(&device, 8, 1);
  ps.m_life = 1.0f;
  ps.m_startSize[0] = ps.m_startSize[1] = 1.0f;
  ps.m_endSize[0] = ps.m_endSize[1] = 3.0f;
  ps.m_rate = 1.0f;
  ps.UpdateBy(nullptr, 1.0f);  // one particle
  ps.m_rate = 0;
  VQParticle* p = ps.FirstLive();
  ASSERT_NE(p, nullptr);
  EXPECT_FLOAT_EQ(p->m_widthRate, 0.5f);
  ps.UpdateBy(nullptr, 0.5f);
  EXPECT_FLOAT_EQ(p->m_halfWidth, 0.75f);
  EXPECT_FLOAT_EQ(p->m_colour[3], 0.5f);
  // A particle dying in an update does not stop the others from advancing in it.
  VQParticleSystem two(&device, 8, 1);
  two.m_life = 5.0f;
  two.m_rate = 1.0f;
  two.UpdateBy(nullptr, 1.0f);
  VQParticle* old = two.FirstLive();
  two.m_life = 0.1f;
  two.UpdateBy(nullptr, 1.0f);
  ASSERT_EQ(two.m_liveCount, 2u);
  ASSERT_NE(two.FirstLive(), old);  // the newest is first
  two.m_rate = 0;
  old->m_velocity.Set(0, 0, -10);
  const float z = old->m_position.z;
  two.UpdateBy(nullptr, 0.2f);
  EXPECT_EQ(two.m_liveCount, 1u);
  EXPECT_EQ(two.FirstLive(), old);
  EXPECT_FLOAT_EQ(old->m_position.z, z - 2.0f);

  // A velocity spread without x or z has no effect; with x it spreads all three.
  VQParticleSystem q(&device, 8, 1);
  q.m_velocitySpread.Set(0, 5, 0);
  q.m_rate = 1;
  q.UpdateBy(nullptr, 1.0f);
  EXPECT_EQ(q.FirstLive()->m_velocity, VQVector(0, 0, 0));
  q.m_velocitySpread.Set(1, 5, 0);
  q.UpdateBy(nullptr, 1.0f);
  EXPECT_NE(q.FirstLive()->m_velocity.y, 0.0f);
}

TEST(SceneSound, SourcesStartStopPanAndAttenuateByPosition) {
  VQDSoundDevice* sound = soundtest::OpenDevice();
  ASSERT_NE(sound, nullptr) << g_VQerror;
  VQSoundBuffer* buffer = soundtest::ToneBuffer(sound, 440.0, 0.5, soundtest::kRate);
  ASSERT_NE(buffer, nullptr);
  buffer->m_loop = 1;
  VQVoiceLimiter* limiter = sound->m_limiter;
  VQCamera camera;
  g_VQrender.m_camera = &camera;
  g_VQrender.m_matrixCount = 1;
  g_VQrender.m_matrices[0].SetIdentity();
  VQSoundSourceNode node;
  node.SetSample(buffer, false);
  node.m_doppler = 0;

  struct Case {
    VQVector pos;
    int32_t pan, side;
  } pans[] = {{VQVector(-10, 0, 0), 0, 1}, {VQVector(0, 10, 0), 100, 0}, {VQVector(0, -10, 0), 100, 0}};
  for (const auto& c : pans) {
    node.SetPosition(c.pos, 100.0f, 50.0f);
    node.Render(0);
    int32_t pan = -1, side = -1;
    ASSERT_TRUE(buffer->GetPan(pan, side));
    EXPECT_EQ(pan, c.pan) << c.pos.x << " " << c.pos.y;
    EXPECT_EQ(side, c.side);
  }
  // Started once, looping, through the limiter.
  EXPECT_TRUE(limiter->Contains(buffer));
  EXPECT_EQ(limiter->GetCount(), 1u);
  EXPECT_EQ(buffer->m_loop, 1);
  EXPECT_TRUE(buffer->m_flags & VQSOUND_PLAYING);
  node.SetPosition(VQVector(0, 50, 0), 100.0f, 60.0f);
  node.Render(0);
  EXPECT_FLOAT_EQ(buffer->m_volume, 0.5f);
  float priority = -1;
  ASSERT_TRUE(limiter->GetPriority(buffer, priority));
  EXPECT_FLOAT_EQ(priority, 0.5f);
  node.SetPosition(VQVector(0, 70, 0), 100.0f, 60.0f);  // beyond the range: stopped
  node.Render(0);
  EXPECT_FALSE(limiter->Contains(buffer));
  EXPECT_FALSE(buffer->m_flags & VQSOUND_PLAYING);
  EXPECT_EQ(node.m_playing, 0u);
  node.SetPosition(VQVector(0, 1, 0), 100.0f, -1.0f);  // never started by the node
  node.Render(0);
  EXPECT_FALSE(limiter->Contains(buffer));

  // Doppler: approaching plays faster, receding slower, at rest at the set speed.
  node.m_doppler = 1;
  node.SetPosition(VQVector(0, 10, 0), 100.0f, -1.0f);
  struct D {
    float vy;
    int cmp;
  } doppler[] = {{-10, 1}, {10, -1}, {0, 0}};
  for (const auto& d : doppler) {
    node.m_velocity.Set(0, d.vy, 0);
    node.Render(0);
    int32_t speed = 0;
    ASSERT_TRUE(buffer->GetSpeed(speed));
    EXPECT_EQ((speed > 100) - (speed < 100), d.cmp) << d.vy;
  }
  g_VQrender.m_camera = nullptr;
  node.SetSample(nullptr, false);
  sound->DeleteBuffer(buffer);
  sound->Close();
}

TEST(SceneNodes, PortalsBelongToTheNearestCell) {
  VQCellNode outer;
  VQGroupNode* room = new VQGroupNode();
  outer.AddChild(room);
  VQPortalNode* outerDoor = new VQPortalNode();
  room->AddChild(outerDoor);
  VQCellNode* inner = new VQCellNode();
  room->AddChild(inner);
  VQPortalNode* innerDoor = new VQPortalNode();
  inner->AddChild(innerDoor);
  inner->LinkPortals();
  outer.LinkPortals();
  EXPECT_EQ(outerDoor->m_cell, &outer);
  EXPECT_EQ(innerDoor->m_cell, inner);
  outer.DeleteChildren();
}
