// The terrain tree built from a scene: which nodes and meshes are colliders, and the sample
// track written as a scene file answering exactly as the track built in code.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "Zentri/collision/VQSampleTrack.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"

namespace {

// A geoset node of one triangle at height z over [x, x + 1] x [0, 1], named, with or
// without the collider flag, and a one-material table whose texture is given.
VQGeosetNode* Tile(const char* name, float x, float z, bool collider, const char* texture = nullptr) {
  VQMesh* mesh = VQMesh::Create(3, 1, 0, false, false, false);
  mesh->m_positions[0].Set(x, 0, z);
  mesh->m_positions[1].Set(x + 1, 0, z);
  mesh->m_positions[2].Set(x, 1, z);
  mesh->m_indices[0] = 0, mesh->m_indices[1] = 1, mesh->m_indices[2] = 2;
  mesh->m_flags = collider ? uint32_t(VQMESH_COLLIDER) : 0u;
  VQGeoset* g = VQGeoset::Create();
  g->AddLevel(mesh, 100.0f);
  VQGeosetNode* node = new VQGeosetNode(g);
  node->SetName(name);
  VQMattable* table = VQMattable::Create(1);
  if (texture) {
    table->m_slots[0]->m_stageCount = 1;
    table->m_slots[0]->SetStageTextureName(0, texture);
  }
  node->SetMattable(table);
  return node;
}

std::vector<std::string> SourceNames(const std::vector<VQTerrainMesh>& meshes) {
  std::vector<std::string> out;
  for (const VQTerrainMesh& m : meshes) out.push_back(reinterpret_cast<VQNode*>(m.source)->m_name);
  return out;
}

std::vector<std::string> g_seen;
void RecordTexture(const VQTerrainMesh& mesh, uint32_t triangle, uint32_t* word) {
  const char* t = VQterrain_TriangleTexture(mesh, triangle);
  g_seen.push_back(t ? t : "-");
  *word = uint32_t(g_seen.size());
}

}  // namespace

TEST(TerrainScene, CollidersFollowTheWalkOfStructuralNodes) {
  // root -> light -> fog -> group { a, transform(moved) -> b, lod { c, c_coarse }, cell { hidden },
  //                                  plain, group { d }, sound-less effect stop }
  VQRootNode* root = new VQRootNode();
  VQLightNode* light = new VQLightNode();
  VQFogNode* fog = new VQFogNode();
  VQGroupNode* group = new VQGroupNode();
  root->SetChild(light);
  light->SetChild(fog);
  fog->SetChild(group);
  group->AddChild(Tile("a", 0, 1, true, "Asphalt.JPG"));
  VQTransformNode* moved = new VQTransformNode();
  moved->SetPosition(VQVector(100, 100, 100));
  moved->SetChild(Tile("b", 2, 2, true));
  group->AddChild(moved);
  VQLodNode* lod = new VQLodNode();
  lod->AddChild(Tile("c", 4, 3, true));
  lod->AddChild(Tile("c_coarse", 4, 9, true));
  group->AddChild(lod);
  VQCellNode* cell = new VQCellNode();
  VQGroupNode* room = new VQGroupNode();
  room->AddChild(Tile("in_cell", 6, 4, true));
  cell->AddChild(room);
  group->AddChild(cell);
  group->AddChild(Tile("plain", 8, 5, false));
  VQGroupNode* inner = new VQGroupNode();
  inner->AddChild(Tile("d", 10, 6, true));
  group->AddChild(inner);

  std::vector<VQTerrainMesh> meshes;
  std::vector<uint32_t> indices;
  VQTerrainTree::GatherColliders(root, false, meshes, indices);
  EXPECT_EQ(SourceNames(meshes), (std::vector<std::string>{"a", "b", "c", "d"}));
  VQTerrainTree::GatherColliders(root, true, meshes, indices);
  EXPECT_EQ(SourceNames(meshes), (std::vector<std::string>{"a", "b", "c", "plain", "d"}));
  VQTerrainTree::GatherColliders(nullptr, true, meshes, indices);
  EXPECT_TRUE(meshes.empty());

  // Built from the scene: vertices as the meshes store them (the transform is not applied),
  // the callback sees every triangle's material texture.
  g_seen.clear();
  VQTerrainTree tree;
  ASSERT_TRUE(tree.BuildFromScene(root, RecordTexture, false, 32, 8));
  EXPECT_EQ(tree.GetColliderRoot(), root);
  EXPECT_EQ(tree.GetTriangleCount(), 4u);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"Asphalt.JPG", "-", "-", "-"}));
  uint32_t word = 0;
  for (const auto& [x, z, w] : {std::tuple{0.2f, 1.0f, 1u}, {2.2f, 2.0f, 2u}, {4.2f, 3.0f, 3u},
                                 {10.2f, 6.0f, 4u}}) {
    EXPECT_EQ(tree.GetHeight(VQVector(x, 0.2f, 50), nullptr, &word, nullptr), z) << x;
    EXPECT_EQ(word, w) << x;
  }
  EXPECT_EQ(tree.GetHeight(VQVector(6.2f, 0.2f, 50), nullptr, nullptr, nullptr), VQTERRAIN_NO_GROUND);
  EXPECT_EQ(tree.GetHeight(VQVector(8.2f, 0.2f, 50), nullptr, nullptr, nullptr), VQTERRAIN_NO_GROUND);
  tree.Clear();
  EXPECT_EQ(tree.GetColliderRoot(), nullptr);
  VQNode::Destroy(root);
}

TEST(TerrainScene, AtMostAThousandCollidersAreTaken) {
  VQRootNode* root = new VQRootNode();
  VQGroupNode* top = new VQGroupNode();
  root->SetChild(top);
  VQGeosetNode* first = Tile("t", 0, 0, true);
  for (int g = 0; g < 3; ++g) {
    VQGroupNode* group = new VQGroupNode();
    top->AddChild(group);
    for (int i = 0; i < 400; ++i) {
      VQGeosetNode* n = g == 0 && i == 0 ? first : new VQGeosetNode(nullptr);
      if (n != first) {
        n->SetGeoset(first->m_geoset);  // shared: one mesh, many colliders
        n->SetMattable(first->m_table);
      }
      group->AddChild(n);
    }
  }
  std::vector<VQTerrainMesh> meshes;
  std::vector<uint32_t> indices;
  VQTerrainTree::GatherColliders(root, false, meshes, indices);
  EXPECT_EQ(meshes.size(), size_t(VQTERRAIN_MAX_COLLIDERS));
  VQNode::Destroy(root);
}

// The sample track written as a scene database and read back builds the same tree as the
// track made in code: same bytes in the cache file, same answers to every query.
TEST(TerrainScene, SampleTrackSceneFileBuildsTheInCodeTrack) {
  VQSampleTrack inCode;
  ASSERT_TRUE(inCode.BuildTerrain());
  const std::string path = ::testing::TempDir() + "sample_track_" + std::to_string(::getpid()) + ".vqo";
  ASSERT_TRUE(inCode.WriteScene(path.c_str()));
  VQNode* scene = nullptr;
  ASSERT_TRUE(VQscene_ReadDatabase(&scene, path.c_str(), nullptr, 0, false));
  std::remove(path.c_str());
  VQSampleTrack fromFile;
  ASSERT_TRUE(fromFile.BuildTerrainFromScene(scene));
  VQNode::Destroy(scene);

  const VQTerrainTree& a = inCode.m_terrain;
  const VQTerrainTree& b = fromFile.m_terrain;
  ASSERT_EQ(b.GetTriangleCount(), a.GetTriangleCount());
  EXPECT_EQ(b.WriteToMemory(), a.WriteToMemory());

  std::mt19937 rng(11);
  std::uniform_real_distribution<float> xy(-125.0f, 125.0f), z(-1.0f, 6.0f), d(-3.0f, 3.0f);
  int hits = 0;
  for (int i = 0; i < 5000; ++i) {
    const VQVector p(xy(rng), xy(rng), z(rng));
    VQVector na, nb;
    uint32_t wa = 99, wb = 98;
    const float ha = a.GetHeight(p, &na, &wa, nullptr);
    const float hb = b.GetHeight(p, &nb, &wb, nullptr);
    ASSERT_EQ(hb, ha) << p.x << " " << p.y;
    EXPECT_EQ(nb, na);
    EXPECT_EQ(wb, wa);
    const VQVector e = p + VQVector(d(rng), d(rng), d(rng) - 2.0f);
    float da = -1, db = -2;
    VQVector ca, cb;
    const bool hitA = a.SweepSphere(p, e, 0.4f, &da, &ca, &wa);
    const bool hitB = b.SweepSphere(p, e, 0.4f, &db, &cb, &wb);
    ASSERT_EQ(hitB, hitA) << i;
    if (hitA) {
      ++hits;
      EXPECT_EQ(db, da);
      EXPECT_EQ(cb, ca);
      EXPECT_EQ(wb, wa);
    }
  }
  EXPECT_GT(hits, 1000);
  // The surfaces came from the texture names: asphalt, grass and the wall block.
  uint32_t word = 0;
  b.GetHeight(VQVector(0, 0, 0), nullptr, &word, nullptr);
  EXPECT_EQ(word, uint32_t(VQSAMPLE_ASPHALT));
  b.GetHeight(VQVector(110, 110, 0), nullptr, &word, nullptr);
  EXPECT_EQ(word, uint32_t(VQSAMPLE_GRASS));
  b.GetHeight(VQVector(70, 41, 5), nullptr, &word, nullptr);
  EXPECT_EQ(word, uint32_t(VQSAMPLE_WALL));
  // The sign over the start is no collider: the ground under it is the asphalt at 0.
  EXPECT_EQ(b.GetHeight(VQVector(0, 0, 10), nullptr, nullptr, nullptr), 0.0f);
}

TEST(TerrainScene, SurfaceForTextureIgnoresCaseAndFallsBackToTheLast) {
  VQSampleTrack track;
  EXPECT_EQ(track.SurfaceForTexture("GRASS.jpg"), uint32_t(VQSAMPLE_GRASS));
  EXPECT_EQ(track.SurfaceForTexture("asphalt.jpg"), uint32_t(VQSAMPLE_ASPHALT));
  EXPECT_EQ(track.SurfaceForTexture("sand.jpg"), uint32_t(VQSAMPLE_WALL));
  EXPECT_EQ(track.SurfaceForTexture(nullptr), uint32_t(VQSAMPLE_WALL));
}
