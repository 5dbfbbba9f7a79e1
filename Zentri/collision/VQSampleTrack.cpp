#include "Zentri/collision/VQSampleTrack.h"

#include <cmath>
#include <iterator>
#include <string>
#include <strings.h>

#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"

namespace {

VQSampleTrack* g_currentSampleTrack = nullptr;

const char* const kMeshNames[] = {"ramp", "curve", "walls", "asphalt", "grass"};
// Vertex colours of the meshes in a track scene (red in the low byte), by mesh.
const uint32_t kMeshColours[] = {0xFF909090u, 0xFF787878u, 0xFFC8C8C8u, 0xFF606060u, 0xFF30A030u};

// A geoset node of one mesh level (16-bit indices, material 0 on every triangle) with a table
// of one material; null when the mesh does not fit or memory runs out.
VQGeosetNode* MakeGeosetNode(const std::vector<VQVector>& vertices,
                             const std::vector<uint32_t>& indices, uint32_t flags,
                             const char* name, const char* texture, uint32_t colour) {
  if (vertices.size() > 0x10000) return nullptr;
  const uint32_t triangles = uint32_t(indices.size() / 3);
  VQMesh* mesh = VQMesh::Create(uint32_t(vertices.size()), triangles, 0, false, true, false);
  VQGeoset* geoset = VQGeoset::Create();
  VQMattable* table = VQMattable::Create(1);
  if (!mesh || !geoset || !table) {
    VQMesh::Destroy(mesh);
    VQGeoset::Destroy(geoset);
    VQMattable::Release(table);
    return nullptr;
  }
  mesh->m_flags = flags;
  for (size_t i = 0; i < vertices.size(); ++i) {
    mesh->m_positions[i] = vertices[i];
    mesh->m_colours[i] = colour;
  }
  for (size_t i = 0; i < indices.size(); ++i) mesh->m_indices[i] = uint16_t(indices[i]);
  for (uint32_t t = 0; t < triangles; ++t) mesh->SetMaterialOf(t, 0);
  geoset->AddLevel(mesh, 10000.0f);
  geoset->GetBoundingSphere(geoset->m_centre, geoset->m_radius);
  VQMaterial* material = table->m_slots[0];
  material->SetName((std::string("sample_") + name).c_str());
  if (texture) {
    material->m_stageCount = 1;
    material->SetStageTextureName(0, texture);
  }
  VQGeosetNode* node = new VQGeosetNode(geoset);
  node->SetName(name);
  node->SetMattable(table);
  return node;
}

void StoreSurface(const VQTerrainMesh& mesh, uint32_t, uint32_t* word) {
  *word = uint32_t(mesh.source);
}

}  // namespace

void VQSampleTrack::AddQuad(Mesh& m, const VQVector& p0, const VQVector& p1, const VQVector& p2,
                            const VQVector& p3, const VQVector& facing) {
  VQVector n;
  (p1 - p0).Cross(p2 - p0, n);
  const uint32_t base = uint32_t(m.vertices.size());
  if (n.Dot(facing) >= 0.0f) {
    m.vertices.insert(m.vertices.end(), {p0, p1, p2, p3});
  } else {
    m.vertices.insert(m.vertices.end(), {p3, p2, p1, p0});
  }
  m.indices.insert(m.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
}

void VQSampleTrack::AddBox(Mesh& m, float x0, float y0, float x1, float y1, float h) {
  AddQuad(m, {x0, y0, 0}, {x1, y0, 0}, {x1, y0, h}, {x0, y0, h}, {0, -1, 0});
  AddQuad(m, {x0, y1, 0}, {x1, y1, 0}, {x1, y1, h}, {x0, y1, h}, {0, 1, 0});
  AddQuad(m, {x0, y0, 0}, {x0, y1, 0}, {x0, y1, h}, {x0, y0, h}, {-1, 0, 0});
  AddQuad(m, {x1, y0, 0}, {x1, y1, 0}, {x1, y1, h}, {x1, y0, h}, {1, 0, 0});
  AddQuad(m, {x0, y0, h}, {x1, y0, h}, {x1, y1, h}, {x0, y1, h}, {0, 0, 1});
}

VQSampleTrack::VQSampleTrack() {
  // stiffness, damping, friction; dry and wet grip; rolling coefficient
  m_surfaces = {
      {{200000.0f, 8000.0f, 0.9f}, 1.0f, 0.7f, 0.012f, "asphalt", "asphalt.jpg"},
      {{120000.0f, 8000.0f, 0.6f}, 0.7f, 0.5f, 0.05f, "grass", "grass.jpg"},
      {{400000.0f, 10000.0f, 0.4f}, 1.0f, 1.0f, 0.012f, "wall", "wall.jpg"},
  };
  const VQVector up(0, 0, 1);

  // Raised parts come first: the ground query takes the first triangle below a point.
  Mesh ramp;
  ramp.surface = VQSAMPLE_ASPHALT;
  for (int i = 0; i < 6; ++i) {
    const float y0 = 18.0f + 5.0f * i, y1 = y0 + 5.0f;
    const float z0 = i < 5 ? 0.5f * i : 2.5f, z1 = i < 5 ? 0.5f * (i + 1) : 2.5f;
    for (int k = 0; k < 6; ++k) {
      const float x0 = -6.0f + 2.0f * k, x1 = x0 + 2.0f;
      AddQuad(ramp, {x0, y0, z0}, {x1, y0, z0}, {x1, y1, z1}, {x0, y1, z1}, up);
    }
    AddQuad(ramp, {-6, y0, 0}, {-6, y1, 0}, {-6, y1, z1}, {-6, y0, z0}, {-1, 0, 0});
    AddQuad(ramp, {6, y0, 0}, {6, y1, 0}, {6, y1, z1}, {6, y0, z0}, {1, 0, 0});
  }
  AddQuad(ramp, {-6, 48, 0}, {6, 48, 0}, {6, 48, 2.5f}, {-6, 48, 2.5f}, {0, 1, 0});
  m_meshes.push_back(std::move(ramp));

  Mesh curve;
  curve.surface = VQSAMPLE_ASPHALT;
  const float cx = -60.0f, cy = 60.0f, r0 = 20.0f, r1 = 36.0f, bank = 3.0f;
  const int segments = 24;
  for (int s = 0; s < segments; ++s) {
    const double a0 = M_PI / 2 + M_PI / 2 * s / segments, a1 = M_PI / 2 + M_PI / 2 * (s + 1) / segments;
    const VQVector in0(float(cx + r0 * std::cos(a0)), float(cy + r0 * std::sin(a0)), 0.0f);
    const VQVector in1(float(cx + r0 * std::cos(a1)), float(cy + r0 * std::sin(a1)), 0.0f);
    const VQVector out0(float(cx + r1 * std::cos(a0)), float(cy + r1 * std::sin(a0)), bank);
    const VQVector out1(float(cx + r1 * std::cos(a1)), float(cy + r1 * std::sin(a1)), bank);
    AddQuad(curve, in0, in1, out1, out0, up);
    const VQVector outward(float(std::cos(a0)), float(std::sin(a0)), 0.0f);
    AddQuad(curve, {out0.x, out0.y, 0.0f}, {out1.x, out1.y, 0.0f}, out1, out0, outward);
  }
  m_meshes.push_back(std::move(curve));

  Mesh walls;
  walls.surface = VQSAMPLE_WALL;
  AddBox(walls, 50.0f, 40.0f, 90.0f, 42.0f, 2.0f);
  const float e = 120.0f, h = 4.0f;
  AddQuad(walls, {-e, -e, 0}, {e, -e, 0}, {e, -e, h}, {-e, -e, h}, {0, 1, 0});
  AddQuad(walls, {-e, e, 0}, {e, e, 0}, {e, e, h}, {-e, e, h}, {0, -1, 0});
  AddQuad(walls, {-e, -e, 0}, {-e, e, 0}, {-e, e, h}, {-e, -e, h}, {1, 0, 0});
  AddQuad(walls, {e, -e, 0}, {e, e, 0}, {e, e, h}, {e, -e, h}, {-1, 0, 0});
  m_meshes.push_back(std::move(walls));

  Mesh asphalt, grass;
  asphalt.surface = VQSAMPLE_ASPHALT;
  grass.surface = VQSAMPLE_GRASS;
  const float cell = 6.0f;
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 40; ++j) {
      const float x0 = -e + cell * i, y0 = -e + cell * j, x1 = x0 + cell, y1 = y0 + cell;
      // No ground under the ramp: it is the only surface there.
      if (x0 >= -6.0f && x1 <= 6.0f && y0 >= 18.0f && y1 <= 48.0f) continue;
      // Nor under the banked curve: a wheel whose hint lies on a ground triangle would keep
      // answering the ground below the bank. Cells the ring only partly covers go too; where
      // nothing lies below a wheel the ground query answers flat ground at z = 0 anyway.
      if (x1 <= cx && y0 >= cy) {
        const double nx = std::fmax(double(x0) - cx, std::fmin(0.0, double(x1) - cx));
        const double ny = std::fmax(double(y0) - cy, std::fmin(0.0, double(y1) - cy));
        const double fx = std::fmax(std::fabs(double(x0) - cx), std::fabs(double(x1) - cx));
        const double fy = std::fmax(std::fabs(double(y0) - cy), std::fabs(double(y1) - cy));
        if (std::hypot(nx, ny) < r1 && std::hypot(fx, fy) > r0) continue;
      }
      const bool inner = x0 >= -90.0f && x1 <= 90.0f && y0 >= -90.0f && y1 <= 90.0f;
      AddQuad(inner ? asphalt : grass, {x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}, up);
    }
  }
  m_meshes.push_back(std::move(asphalt));
  m_meshes.push_back(std::move(grass));
}

std::vector<VQTerrainMesh> VQSampleTrack::TerrainMeshes() const {
  std::vector<VQTerrainMesh> out;
  for (const Mesh& m : m_meshes) {
    VQTerrainMesh t;
    t.vertices = m.vertices.data();
    t.vertexCount = uint32_t(m.vertices.size());
    t.indices = m.indices.data();
    t.triangleCount = uint32_t(m.indices.size() / 3);
    t.flags = VQTERRAIN_COLLIDER_FLAG;
    t.source = m.surface;
    out.push_back(t);
  }
  return out;
}

uint32_t VQSampleTrack::SurfaceForTexture(const char* textureName) const {
  if (m_surfaces.empty()) return 0;
  if (textureName)
    for (size_t i = 0; i < m_surfaces.size(); ++i)
      if (m_surfaces[i].texture && strcasecmp(m_surfaces[i].texture, textureName) == 0)
        return uint32_t(i);
  return uint32_t(m_surfaces.size() - 1);
}

VQNode* VQSampleTrack::BuildScene() const {
  VQRootNode* root = new VQRootNode(1);
  VQGroupNode* group = new VQGroupNode(2);
  group->SetName("track");
  root->SetChild(group);
  for (size_t i = 0; i < m_meshes.size(); ++i) {
    const Mesh& m = m_meshes[i];
    const char* name = i < std::size(kMeshNames) ? kMeshNames[i] : "collider";
    const char* texture = m.surface < m_surfaces.size() ? m_surfaces[m.surface].texture : nullptr;
    VQGeosetNode* node = MakeGeosetNode(m.vertices, m.indices, VQMESH_COLLIDER, name, texture,
                                        kMeshColours[i % std::size(kMeshColours)]);
    if (!node || !group->AddChild(node)) {
      if (node) VQNode::Destroy(node);
      VQNode::Destroy(root);
      g_VQerror = VQERR_OUT_OF_MEMORY;
      return nullptr;
    }
  }
  // A sign over the start straight: drawn, but no collider, so the cars pass under it.
  const std::vector<VQVector> sign = {{-8, -4, 6}, {8, -4, 6}, {8, 4, 6}, {-8, 4, 6}};
  VQGeosetNode* signNode = MakeGeosetNode(sign, {0, 1, 2, 0, 2, 3}, 0, "sign", "sign.jpg", 0xFF20C0F0u);
  VQTransformNode* place = new VQTransformNode(3);
  place->SetName("scenery");
  if (!signNode || !place->SetChild(signNode) || !group->AddChild(place)) {
    if (signNode && !place->m_child) VQNode::Destroy(signNode);
    if (!place->m_parent) VQNode::Destroy(place);
    VQNode::Destroy(root);
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  group->GetBoundingSphere();
  return root;
}

bool VQSampleTrack::WriteScene(const char* path) const {
  VQNode* root = BuildScene();
  if (!root) return false;
  const bool ok = VQscene_WriteDatabase(root, path, 0);
  VQNode::Destroy(root);
  return ok;
}

bool VQSampleTrack::BuildTerrainFromScene(VQNode* root) {
  // Each triangle's surface is the one named by the texture of its material in its geoset
  // node's table.
  const auto surfaceFromScene = [this](const VQTerrainMesh& mesh, uint32_t triangle,
                                       uint32_t* word) {
    *word = SurfaceForTexture(VQterrain_TriangleTexture(mesh, triangle));
  };
  return m_terrain.BuildFromScene(root, surfaceFromScene, false, 32, 8);
}

bool VQSampleTrack::BuildTerrain() {
  const std::vector<VQTerrainMesh> meshes = TerrainMeshes();
  return m_terrain.Build(meshes.data(), uint32_t(meshes.size()), StoreSurface, false, 32, 8);
}

void VQSampleTrack::SetCurrent(VQSampleTrack* track) { g_currentSampleTrack = track; }
VQSampleTrack* VQSampleTrack::GetCurrent() { return g_currentSampleTrack; }

float VQSampleTrack::GroundHeight(const VQVector* point, VQVector* normal, float* dry, float* wet,
                                  float* coefficient, float* rawHeight, uint32_t* material,
                                  uint32_t* hint) {
  VQSampleTrack* track = g_currentSampleTrack;
  if (track && track->m_flatTest) {
    normal->Set(0, 0, 1);
    *dry = *wet = 1.0f;
    *coefficient = 0.001f;
    *rawHeight = -10.0f;
    *material = track->m_surfaces.empty() ? 0 : uint32_t(track->m_surfaces.size() - 1);
    return -10.0f;
  }
  uint32_t word = 0;
  const float h = track ? track->m_terrain.GetHeight(*point, normal, &word, hint)
                        : VQTERRAIN_NO_GROUND;
  float result;
  if (h != VQTERRAIN_NO_GROUND) {
    *rawHeight = h + 0.005f;
    *material = word;
    if (word < track->m_surfaces.size()) {
      const VQSampleSurface& s = track->m_surfaces[word];
      *dry = s.dryFriction;
      *wet = s.wetFriction;
      *coefficient = s.coefficient;
      result = *rawHeight + 0.005f;  // the sample surfaces carry no surface detail
    } else {
      *dry = *wet = 1.0f;
      *coefficient = 0.001f;
      result = *rawHeight + 0.005f;
    }
  } else {
    normal->Set(0, 0, 1);
    *dry = *wet = 1.0f;
    *coefficient = 0.001f;
    *rawHeight = 0.0f;
    *material = 0;
    result = 0.005f;
  }
  normal->Normalize();
  return result;
}

bool VQSampleTrack::SweepSphere(const VQVector& start, const VQVector& end, float radius,
                                float* distance, VQVector* contact,
                                const VQContactMaterial** material) {
  VQSampleTrack* track = g_currentSampleTrack;
  if (!track) return false;
  uint32_t word = 0;
  if (!track->m_terrain.SweepSphere(start, end, radius, distance, contact, &word)) return false;
  *material = word < track->m_surfaces.size() ? &track->m_surfaces[word].contact : nullptr;
  return true;
}

bool VQSampleTrack::BoxHasTrack(const double boxMin[3], const double boxMax[3]) {
  const VQSampleTrack* track = g_currentSampleTrack;
  return track && track->m_terrain.BoxTouchesTriangles(boxMin, boxMax);
}

bool VQSampleTrack::AddCarSpheres(VQVehicleModel& car) const {
  bool ok = true;
  for (float y : {-0.6f, 0.6f, 2.0f, 3.2f})
    for (float x : {-0.5f, 0.5f}) ok = car.AddCollisionSphere({x, y, 0.6f}, 0.4f, 0) && ok;
  ok = car.AddCollisionSphere({0.0f, 1.0f, 1.1f}, 0.4f, 0) && ok;
  ok = car.AddCollisionSphere({0.0f, 1.8f, 1.1f}, 0.4f, 0) && ok;
  car.SetAllSphereValues(&m_surfaces[VQSAMPLE_ASPHALT].contact);
  return ok;
}
