// The terrain tree's side of the scene graph: which geoset meshes of a track's scene are
// colliders, gathered in the order the tree numbers their vertices and triangles.
#include <vector>

#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"

void VQTerrainTree::GatherColliders(VQNode* root, bool takeAll, std::vector<VQTerrainMesh>& meshes,
                                    std::vector<uint32_t>& indexStorage) {
  meshes.clear();
  indexStorage.clear();
  std::vector<const VQGeosetNode*> colliders;
  // Depth first in child order, with an explicit stack: a tree built in code may nest deeper
  // than the call stack should.
  std::vector<VQNode*> stack;
  if (root) stack.push_back(root);
  while (!stack.empty() && colliders.size() < VQTERRAIN_MAX_COLLIDERS) {
    VQNode* node = stack.back();
    stack.pop_back();
    if (!node) continue;
    switch (node->m_type) {
      case VQNODE_ROOT:
      case VQNODE_LIGHT:
      case VQNODE_FOG:
      case VQNODE_TRANSFORM:
      case VQNODE_LOD:  // the finest level only
        stack.push_back(node->ChildAt(0));
        break;
      case VQNODE_GROUP:
        for (uint32_t i = node->ChildCount(); i-- > 0;) stack.push_back(node->ChildAt(i));
        break;
      case VQNODE_GEOSET: {
        const auto* g = static_cast<const VQGeosetNode*>(node);
        if (!g->m_geoset || g->m_geoset->m_levelCount == 0) break;
        const VQMesh* m = g->m_geoset->m_meshes[0];
        if (!m || m->m_triangleCount == 0 || !m->m_indices) break;
        if (!takeAll && !(m->m_flags & VQTERRAIN_COLLIDER_FLAG)) break;
        colliders.push_back(g);
        break;
      }
      default:
        break;  // other node types end the walk
    }
  }

  size_t total = 0;
  for (const VQGeosetNode* g : colliders) total += 3ull * g->m_geoset->m_meshes[0]->m_triangleCount;
  indexStorage.resize(total);  // sized once: the entries point into it
  size_t at = 0;
  for (const VQGeosetNode* g : colliders) {
    const VQMesh* m = g->m_geoset->m_meshes[0];
    VQTerrainMesh t;
    t.vertices = m->m_positions;
    t.vertexCount = m->m_positions ? m->m_vertexCount : 0;
    t.indices = indexStorage.data() + at;
    t.triangleCount = m->m_triangleCount;
    t.flags = m->m_flags;
    t.source = reinterpret_cast<uintptr_t>(g);
    t.mesh = m;
    for (size_t i = 0; i < 3ull * t.triangleCount; ++i) indexStorage[at + i] = m->m_indices[i];
    at += 3ull * t.triangleCount;
    meshes.push_back(t);
  }
}

bool VQTerrainTree::BuildFromScene(VQNode* colliderRoot, const VQTerrainTriangleCallback& callback,
                                   bool takeAll, uint32_t trianglesPerLeaf, uint32_t maxDepth) {
  std::vector<VQTerrainMesh> meshes;
  std::vector<uint32_t> indices;
  GatherColliders(colliderRoot, takeAll, meshes, indices);
  if (!Build(meshes.data(), uint32_t(meshes.size()), callback, takeAll, trianglesPerLeaf, maxDepth))
    return false;
  m_colliderRoot = colliderRoot;
  return true;
}

const char* VQterrain_TriangleTexture(const VQTerrainMesh& mesh, uint32_t triangle) {
  const auto* node = reinterpret_cast<const VQGeosetNode*>(mesh.source);
  const VQMesh* m = mesh.mesh;
  if (!m || !node || !m->m_records || triangle >= m->m_triangleCount || !node->m_table) return nullptr;
  const uint16_t index = m->MaterialOf(triangle);
  if (index >= node->m_table->m_count || !node->m_table->m_slots) return nullptr;
  const VQMaterial* material = node->m_table->m_slots[index];
  if (!material || material->m_stageCount == 0) return nullptr;
  return material->m_stages[0].m_textureName;
}
