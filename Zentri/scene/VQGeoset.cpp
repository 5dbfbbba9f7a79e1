#include "Zentri/scene/VQGeoset.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/devices/display/VQDisplayDevice.h"

// ---- Mesh ----------------------------------------------------------------------------------------

uint64_t VQMesh::ExtraBytes() const {
  if (m_flags & VQMESH_VERTEX_BLEND) return 4ull * m_vertexCount * m_extraCount;
  return 8ull * m_extraCount;
}

VQMesh* VQMesh::Create(uint32_t n, uint32_t t, uint32_t k, bool normals, bool colours,
                       bool texCoords) {
  VQMesh* m = new (std::nothrow) VQMesh();
  if (!m) return nullptr;
  m->m_vertexCount = n;
  m->m_triangleCount = t;
  m->m_triangleCapacity = t;
  m->m_extraCount = k;
  bool ok = true;
  if (n > 0) {
    m->m_positions = static_cast<VQVector*>(std::calloc(n, sizeof(VQVector)));
    ok &= m->m_positions != nullptr;
    if (normals) ok &= (m->m_normals = static_cast<VQVector*>(std::calloc(n, sizeof(VQVector)))) != nullptr;
    if (colours) ok &= (m->m_colours = static_cast<uint32_t*>(std::calloc(n, 4))) != nullptr;
    if (texCoords) ok &= (m->m_uv0 = static_cast<float*>(std::calloc(2ull * n, 4))) != nullptr;
  }
  if (t > 0) {
    ok &= (m->m_indices = static_cast<uint16_t*>(std::calloc(3ull * t, 2))) != nullptr;
    ok &= (m->m_records = static_cast<uint8_t*>(std::calloc(t, 8))) != nullptr;
  }
  if (k > 0) ok &= (m->m_extra = static_cast<uint8_t*>(std::calloc(k, 8))) != nullptr;
  if (!ok) {
    FreeMemory(m);
    return nullptr;
  }
  return m;
}

template <typename T>
static bool CopyArray(T*& out, const T* in, uint64_t bytes) {
  out = nullptr;
  if (!in) return true;
  out = static_cast<T*>(std::malloc(bytes ? bytes : 1));
  if (!out) return false;
  std::memcpy(out, in, bytes);
  return true;
}

VQMesh* VQMesh::Copy(const VQMesh* s) {
  if (!s) return nullptr;
  VQMesh* m = new (std::nothrow) VQMesh();
  if (!m) return nullptr;
  m->m_flags = s->m_flags;
  m->m_vertexCount = s->m_vertexCount;
  m->m_triangleCount = s->m_triangleCount;
  m->m_triangleCapacity = s->m_triangleCapacity > s->m_triangleCount ? s->m_triangleCapacity
                                                                     : s->m_triangleCount;
  m->m_extraCount = s->m_extraCount;
  const uint64_t n = s->m_vertexCount, t = m->m_triangleCapacity;
  bool ok = CopyArray(m->m_positions, s->m_positions, 12 * n) &&
            CopyArray(m->m_normals, s->m_normals, 12 * n) &&
            CopyArray(m->m_colours, s->m_colours, 4 * n) && CopyArray(m->m_uv0, s->m_uv0, 8 * n) &&
            CopyArray(m->m_uv1, s->m_uv1, 8 * n) && CopyArray(m->m_indices, s->m_indices, 6 * t) &&
            CopyArray(m->m_records, s->m_records, 8 * t) &&
            CopyArray(m->m_extra, s->m_extra, s->ExtraBytes());
  if (!ok) {
    FreeMemory(m);
    return nullptr;
  }
  return m;
}

void VQMesh::FreeMemory(VQMesh* m) {
  if (!m) return;
  if (m->m_singleBlock) {
    // Record and arrays share one allocation made with malloc by the scene reader.
    m->~VQMesh();
    std::free(m);
    return;
  }
  std::free(m->m_positions);
  std::free(m->m_normals);
  std::free(m->m_colours);
  std::free(m->m_uv0);
  std::free(m->m_uv1);
  std::free(m->m_indices);
  std::free(m->m_records);
  std::free(m->m_extra);
  delete m;
}

void VQMesh::Destroy(VQMesh* m) {
  if (!m) return;
  if (m->m_device)
    m->m_device->DeleteMesh(m);
  else
    FreeMemory(m);
}

void VQMesh::Translate(const VQVector& v) {
  for (uint32_t i = 0; i < m_vertexCount; ++i) m_positions[i] += v;
}

void VQMesh::Mirror(const VQVector& n, float d) {
  for (uint32_t i = 0; i < m_vertexCount; ++i) {
    VQVector& p = m_positions[i];
    const double s = 2.0 * (-double(d) - (double(n.x) * p.x + double(n.y) * p.y + double(n.z) * p.z));
    p.Set(float(p.x + s * n.x), float(p.y + s * n.y), float(p.z + s * n.z));
  }
  FlipFacing();
}

void VQMesh::FlipFacing() {
  if (m_normals)
    for (uint32_t i = 0; i < m_vertexCount; ++i) m_normals[i] = -m_normals[i];
  for (uint32_t i = 0; i < m_triangleCount; ++i) {
    uint16_t tmp = m_indices[3 * i + 1];
    m_indices[3 * i + 1] = m_indices[3 * i + 2];
    m_indices[3 * i + 2] = tmp;
  }
}

void VQMesh::GetBounds(VQVector& mn, VQVector& mx) const {
  if (m_vertexCount == 0 || !m_positions) {
    mn.Set(0, 0, 0);
    mx.Set(0, 0, 0);
    return;
  }
  mn = mx = m_positions[0];
  for (uint32_t i = 1; i < m_vertexCount; ++i) {
    const VQVector& p = m_positions[i];
    if (p.x < mn.x) mn.x = p.x;
    if (p.y < mn.y) mn.y = p.y;
    if (p.z < mn.z) mn.z = p.z;
    if (p.x > mx.x) mx.x = p.x;
    if (p.y > mx.y) mx.y = p.y;
    if (p.z > mx.z) mx.z = p.z;
  }
}

void VQMesh::PrepareDevice() {
  if (m_device) m_device->PrepareMesh(this, 0);
}

bool VQMesh::IntersectRay(const VQVector& o, const VQVector& seg, VQRayHit* hit) const {
  bool found = false;
  float best = 0.0f;
  uint32_t bestIndex = 0;
  const VQVector end = o + seg;
  for (uint32_t i = 0; i < m_triangleCount; ++i) {
    const uint32_t ia = m_indices[3 * i], ib = m_indices[3 * i + 1], ic = m_indices[3 * i + 2];
    if (ia >= m_vertexCount || ib >= m_vertexCount || ic >= m_vertexCount) continue;
    const VQVector& a = m_positions[ia];
    const VQVector& b = m_positions[ib];
    const VQVector& c = m_positions[ic];
    VQVector n;
    (b - a).Cross(c - a, n);
    n.Normalize();
    const float d = -n.Dot(a);
    VQVector x;
    if (!o.SegmentPlaneIntersection(end, n, d, x)) continue;
    if ((x - o).Dot(seg) < 0.0f) continue;
    if (!x.IsInTriangle(a, b, c, &n)) continue;
    const float dist2 = (x - o).LengthSquared();
    if (!found || dist2 < best) {
      found = true;
      best = dist2;
      bestIndex = i;
    }
  }
  if (!found) return false;
  if (hit) {
    hit->m_triangle = bestIndex;
    hit->m_distance = std::sqrt(best);
  }
  return true;
}

void VQMesh::SortTransparentLast(const VQMattable* table) {
  if (!table || table->m_count < 2 || m_triangleCount == 0) return;
  std::vector<uint16_t> idx;
  std::vector<uint8_t> rec;
  idx.reserve(3ull * m_triangleCount);
  rec.reserve(8ull * m_triangleCount);
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t mi = 0; mi < table->m_count; ++mi) {
      const VQMaterial* mat = table->m_slots[mi];
      const bool transparent = mat && mat->IsTransparent();
      if (transparent != (pass == 1)) continue;
      for (uint32_t t = 0; t < m_triangleCount; ++t) {
        if (MaterialOf(t) != mi) continue;
        idx.insert(idx.end(), m_indices + 3 * t, m_indices + 3 * t + 3);
        rec.insert(rec.end(), m_records + 8 * t, m_records + 8 * t + 8);
      }
    }
  }
  // Triangles whose material lies outside the table keep their place behind the others.
  for (uint32_t t = 0; t < m_triangleCount; ++t) {
    if (MaterialOf(t) < table->m_count) continue;
    idx.insert(idx.end(), m_indices + 3 * t, m_indices + 3 * t + 3);
    rec.insert(rec.end(), m_records + 8 * t, m_records + 8 * t + 8);
  }
  std::memcpy(m_indices, idx.data(), idx.size() * 2);
  std::memcpy(m_records, rec.data(), rec.size());
}

// ---- Geoset --------------------------------------------------------------------------------------

VQGeoset* VQGeoset::Create() { return new (std::nothrow) VQGeoset(); }

VQGeoset* VQGeoset::Clone(const VQGeoset* s) {
  if (!s) return nullptr;
  VQGeoset* g = Create();
  if (!g) return nullptr;
  g->m_centre = s->m_centre;
  g->m_radius = s->m_radius;
  g->m_frustumTest = s->m_frustumTest;
  std::memcpy(g->m_distances, s->m_distances, sizeof g->m_distances);
  for (uint32_t i = 0; i < s->m_levelCount; ++i) {
    VQMesh* src = s->m_meshes[i];
    VQMesh* m = (src && src->m_device) ? src->m_device->CreateMeshFromRecord(src, 0) : VQMesh::Copy(src);
    if (!m && src) {
      Destroy(g);
      return nullptr;
    }
    g->m_meshes[i] = m;
    g->m_levelCount = uint16_t(i + 1);
  }
  return g;
}

void VQGeoset::Destroy(VQGeoset* g) {
  if (!g) return;
  for (uint32_t i = 0; i < g->m_levelCount && i < VQGEOSET_MAX_LEVELS; ++i) VQMesh::Destroy(g->m_meshes[i]);
  delete g;
}

void VQGeoset::Release(VQGeoset* g) {
  if (!g) return;
  if (g->m_refCount > 0) g->m_refCount--;
  if (g->m_refCount == 0) Destroy(g);
}

bool VQGeoset::AddLevel(VQMesh* mesh, float distance) {
  if (m_levelCount >= VQGEOSET_MAX_LEVELS) return false;
  m_meshes[m_levelCount] = mesh;
  m_distances[m_levelCount] = distance;
  m_levelCount++;
  return true;
}

void VQGeoset::Draw(VQMattable* table, const VQMatrix& modelView, VQLightNode* const* lights,
                    uint32_t lightCount, uintptr_t w0, uintptr_t w1, uintptr_t w2) {
  VQRenderContext& rc = g_VQrender;
  // A geoset without levels has no switch distance to compare with: nothing to draw.
  if (m_levelCount == 0 || m_levelCount > VQGEOSET_MAX_LEVELS) return;
  rc.m_stats[VQSTAT_MESHES]++;
  VQVector view;
  modelView.TransformPoint(view, m_centre);
  const float raw = view.y;
  double depth = raw;
  const uint32_t b = rc.m_lodBias;
  if (b > 0 && b < m_levelCount) depth -= m_distances[b];
  if (rc.m_lodScale != 1.0f) depth *= rc.m_lodScale;
  const float adj = float(depth);
  if (adj >= m_distances[m_levelCount - 1]) {
    rc.m_stats[VQSTAT_REJECTED]++;
    return;
  }
  if (m_frustumTest && rc.m_camera && rc.m_camera->IsSphereOutside(view, m_radius)) {
    rc.m_stats[VQSTAT_REJECTED]++;
    return;
  }
  uint32_t level = 0;
  while (level < m_levelCount - 1u && !(adj < m_distances[level])) level++;
  VQMesh* mesh = m_meshes[level];
  if (!mesh || (mesh->m_flags & VQMESH_HIDDEN)) return;
  const bool transparent = (table && table->m_hasTransparent) || (mesh->m_flags & VQMESH_TRANSPARENT);
  if (transparent && !(mesh->m_flags & VQMESH_NEVER_DEFERRED)) {
    VQrender_AddTransparent(mesh, this, nullptr, raw, table, modelView, view, lights, lightCount);
    return;
  }
  rc.m_geoset = this;
  VQrender_DrawMesh(rc.m_display, mesh, table, &modelView, &view, w0, w1, w2);
}

void VQGeoset::GetBoundingSphere(VQVector& centre, float& radius) const {
  centre.Set(0, 0, 0);
  radius = 0.0f;
  if (m_levelCount == 0 || !m_meshes[0] || m_meshes[0]->m_vertexCount == 0) return;
  VQVector mn, mx;
  m_meshes[0]->GetBounds(mn, mx);
  centre.Set(float((double(mn.x) + mx.x) * 0.5), float((double(mn.y) + mx.y) * 0.5),
             float((double(mn.z) + mx.z) * 0.5));
  radius = float((mx - mn).Length() * 0.5);
}

void VQGeoset::Translate(const VQVector& v) {
  m_centre += v;
  for (uint32_t i = 0; i < m_levelCount; ++i)
    if (m_meshes[i]) m_meshes[i]->Translate(v);
}

void VQGeoset::Mirror(const VQVector& n, float d) {
  VQVector c;
  m_centre.MirrorInPlane(c, n, d);
  m_centre = c;
  for (uint32_t i = 0; i < m_levelCount; ++i)
    if (m_meshes[i]) m_meshes[i]->Mirror(n, d);
}

void VQGeoset::PrepareDevice() {
  for (uint32_t i = 0; i < m_levelCount; ++i)
    if (m_meshes[i]) m_meshes[i]->PrepareDevice();
}

bool VQGeoset::IntersectRay(const VQVector& o, const VQVector& seg, VQRayHit* hit) const {
  if (m_levelCount == 0 || !m_meshes[0]) return false;
  return m_meshes[0]->IntersectRay(o, seg, hit);
}
