// Geosets and meshes: the engine's renderable geometry.
//
// A VQGeoset is a reference-counted set of up to 8 levels of detail, each one VQMesh of
// triangles, with a bounding sphere and the far switch distance of each level. Geoset nodes
// hold geosets; the scene reader builds them; a display device may take a mesh over (it then
// owns the mesh's release). Plain records, no virtual operations.
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

class VQDisplayDevice;
class VQMattable;
class VQNode;
class VQLightNode;

constexpr uint32_t VQGEOSET_MAX_LEVELS = 8;

enum VQMeshFlags : uint32_t {
  VQMESH_NEVER_DEFERRED = 0x10,
  VQMESH_TRANSPARENT = 0x20,
  VQMESH_COLLIDER = 0x40,
  VQMESH_HIDDEN = 0x80,
  VQMESH_VERTEX_BLEND = 0x400,
};

// Filled by the ray tests: the node hit (set by the geoset node), triangle index, distance.
struct VQRayHit {
  VQNode* m_node = nullptr;
  uint32_t m_triangle = 0;
  float m_distance = 0.0f;
};

class VQMesh {
 public:
  // Positions (all zero) when n > 0; normals, colours and first texture coordinates when
  // n > 0 and asked for; indices and triangle records when t > 0; an 8*k extra block when
  // k > 0. Null when out of memory (nothing left allocated).
  static VQMesh* Create(uint32_t vertices, uint32_t triangles, uint32_t extra, bool normals,
                        bool colours, bool texCoords);
  // A fresh engine-memory copy of every array (null source or no memory: null).
  static VQMesh* Copy(const VQMesh* source);
  // Through the display device when one holds the mesh, else frees the memory.
  static void Destroy(VQMesh* mesh);
  // Frees the memory whatever device holds the mesh (display devices call this).
  static void FreeMemory(VQMesh* mesh);

  // Bytes of the extra block: 4*n*k with vertex blending, else 8*k.
  uint64_t ExtraBytes() const;
  void Translate(const VQVector& v);
  void Mirror(const VQVector& normal, float d);
  void FlipFacing();
  void GetBounds(VQVector& min, VQVector& max) const;
  void PrepareDevice();
  bool IntersectRay(const VQVector& origin, const VQVector& segment, VQRayHit* hit) const;
  // Regroups triangles: opaque materials first, then transparent, each in table order.
  void SortTransparentLast(const VQMattable* table);

  uint16_t MaterialOf(uint32_t triangle) const {
    return uint16_t(m_records[triangle * 8] | (m_records[triangle * 8 + 1] << 8));
  }
  void SetMaterialOf(uint32_t triangle, uint16_t material) {
    m_records[triangle * 8] = uint8_t(material);
    m_records[triangle * 8 + 1] = uint8_t(material >> 8);
  }

  uint32_t m_flags = 0;
  uint8_t m_singleBlock = 0;  // 1: the arrays share one allocation with the record
  uint32_t m_vertexCount = 0;
  VQVector* m_positions = nullptr;
  VQVector* m_normals = nullptr;
  uint32_t* m_colours = nullptr;
  float* m_uv0 = nullptr;  // 2 floats per vertex
  float* m_uv1 = nullptr;
  uint32_t m_triangleCount = 0;
  uint16_t* m_indices = nullptr;  // 3 per triangle, counter-clockwise
  uint8_t* m_records = nullptr;   // 8 bytes per triangle, little-endian u16 material first
  uint32_t m_extraCount = 0;
  uint8_t* m_extra = nullptr;
  VQDisplayDevice* m_device = nullptr;
  uint32_t m_deviceBuffer = 0;
  // Triangles allocated; particle systems draw fewer than they hold.
  uint32_t m_triangleCapacity = 0;
};

class VQGeoset {
 public:
  static VQGeoset* Create();
  static VQGeoset* Clone(const VQGeoset* source);
  static void Destroy(VQGeoset* geoset);
  // Drops one reference and destroys the geoset at 0.
  static void Release(VQGeoset* geoset);

  // Draws the level the view depth selects, or hands a transparent mesh to the deferred list.
  void Draw(VQMattable* table, const VQMatrix& modelView, VQLightNode* const* lights,
            uint32_t lightCount, uintptr_t w0, uintptr_t w1, uintptr_t w2);
  // Sphere of the first level's box; (0,0,0), 0 without level or vertices.
  void GetBoundingSphere(VQVector& centre, float& radius) const;
  void Translate(const VQVector& v);
  void Mirror(const VQVector& normal, float d);
  void PrepareDevice();
  bool IntersectRay(const VQVector& origin, const VQVector& segment, VQRayHit* hit) const;
  // Appends a level (mesh owned from now on); false when 8 are held.
  bool AddLevel(VQMesh* mesh, float distance);

  uint32_t m_refCount = 0;
  uint16_t m_levelCount = 0;
  VQVector m_centre{0, 0, 0};
  float m_radius = 0.0f;
  uint8_t m_frustumTest = 1;
  float m_distances[VQGEOSET_MAX_LEVELS] = {};
  VQMesh* m_meshes[VQGEOSET_MAX_LEVELS] = {};
};
