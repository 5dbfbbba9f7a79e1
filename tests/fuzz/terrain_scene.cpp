// Builds terrain trees from damaged track scenes: a small scene with collider geosets under
// light, transform, group and level-of-detail nodes is written once; the input patches its
// bytes (triples of offset low, offset high, value; a last odd byte cuts the file), and
// whatever reads is gathered, built, queried and written as a cache file and read back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"

namespace {

VQGeosetNode* Tile(float x, float z, uint32_t flags, const char* texture) {
  VQMesh* mesh = VQMesh::Create(4, 2, 0, false, false, false);
  mesh->m_positions[0].Set(x, 0, z);
  mesh->m_positions[1].Set(x + 4, 0, z);
  mesh->m_positions[2].Set(x + 4, 4, z + 1);
  mesh->m_positions[3].Set(x, 4, z + 1);
  const uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; ++i) mesh->m_indices[i] = idx[i];
  mesh->SetMaterialOf(1, 1);
  mesh->m_flags = flags;
  VQGeoset* g = VQGeoset::Create();
  g->AddLevel(mesh, 100.0f);
  VQGeosetNode* node = new VQGeosetNode(g);
  VQMattable* table = VQMattable::Create(2);
  table->m_slots[0]->m_stageCount = 1;
  table->m_slots[0]->SetStageTextureName(0, texture);
  node->SetMattable(table);
  return node;
}

const std::vector<uint8_t>& Sample() {
  static std::vector<uint8_t> sample;
  if (sample.empty()) {
    VQRootNode* root = new VQRootNode();
    VQLightNode* light = new VQLightNode();
    VQGroupNode* group = new VQGroupNode();
    root->SetChild(light);
    light->SetChild(group);
    group->AddChild(Tile(0, 0, VQMESH_COLLIDER, "a.jpg"));
    VQTransformNode* t = new VQTransformNode();
    t->SetChild(Tile(4, 1, VQMESH_COLLIDER, "b.jpg"));
    group->AddChild(t);
    VQLodNode* lod = new VQLodNode();
    lod->AddChild(Tile(8, 2, VQMESH_COLLIDER, "c.jpg"));
    lod->AddChild(Tile(8, 3, VQMESH_COLLIDER, "d.jpg"));
    group->AddChild(lod);
    group->AddChild(Tile(12, 0, 0, "e.jpg"));
    VQscene_WriteDatabaseMemory(root, sample, 11);
    VQNode::Destroy(root);
    VQmaterial_LibraryFreeAll();
  }
  return sample;
}

void Word(const VQTerrainMesh& mesh, uint32_t triangle, uint32_t* word) {
  const char* texture = VQterrain_TriangleTexture(mesh, triangle);
  *word = texture ? uint32_t(texture[0]) : 0u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool takeAll = data[0] & 1;
  data++;
  size--;
  std::vector<uint8_t> file = Sample();
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const size_t at = (size_t(data[i]) | (size_t(data[i + 1]) << 8)) % file.size();
    file[at] = data[i + 2];
  }
  if (i < size) file.resize(file.size() - data[i] % 32);
  VQNode* root = nullptr;
  if (VQscene_ReadDatabaseMemory(&root, file.data(), file.size(), nullptr, 11, false)) {
    VQTerrainTree tree;
    if (tree.BuildFromScene(root, Word, takeAll, 1, 6)) {
      VQVector normal, contact;
      uint32_t word = 0, hint = 0;
      float distance = 0;
      for (float x = -2; x < 20; x += 1.5f) {
        tree.GetHeight(VQVector(x, 2, 10), &normal, &word, &hint);
        tree.SweepSphere(VQVector(x, 2, 10), VQVector(x, 2, -10), 0.5f, &distance, &contact, &word);
      }
      const std::vector<uint8_t> cache = tree.WriteToMemory();
      VQTerrainTree back;
      back.ReadFromMemory(cache.data(), cache.size());
    }
    VQNode::Destroy(root);
  }
  VQmaterial_LibraryFreeAll();
  return 0;
}
