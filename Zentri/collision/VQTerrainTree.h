// The terrain tree: a track's collision triangles indexed by a quadtree over the ground plane
// (x, y; z is up). It answers the ground height below a point (the wheels of the vehicle
// models, placing cars) and the first touch of a sphere swept along a segment (the contacts of
// the cars' spheres with the track). The built tree is kept in a cache file ("VQT_Terrain",
// ".vqt") so that later loads of the track skip gathering and clipping the triangles.
//
// The triangles come from collider meshes given as plain vertex and index arrays
// (VQTerrainMesh). A track builds from its scene's collider group (BuildFromScene): the
// geoset nodes reached from it through root, light, fog, transform, group and the finest level
// of level-of-detail nodes, first level mesh of each. Vertices are taken as the meshes store
// them: no node transform is applied, so a track's collider geometry is modelled in world
// coordinates.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "Zentri/math/VQVector.h"

class VQNode;
class VQMesh;

// One collider mesh handed to VQTerrainTree::Build. The arrays belong to the caller and are
// only read during the build.
struct VQTerrainMesh {
  const VQVector* vertices = nullptr;
  uint32_t vertexCount = 0;
  const uint32_t* indices = nullptr;  // three vertex indices per triangle
  uint32_t triangleCount = 0;
  uint32_t flags = 0;                 // mesh flags; bit 0x40 marks a collider
  uintptr_t source = 0;               // the caller's word for the mesh (its scene node)
  const VQMesh* mesh = nullptr;       // the scene mesh, when gathered from a scene
};

// Mesh flag that marks a collider when the tree is built without the take-all flag.
constexpr uint32_t VQTERRAIN_COLLIDER_FLAG = 0x40;
// At most this many collider meshes are taken; later ones are ignored.
constexpr uint32_t VQTERRAIN_MAX_COLLIDERS = 1000;
// Returned by GetHeight when no triangle lies below the point.
constexpr float VQTERRAIN_NO_GROUND = 1e6f;

// Called for every triangle while building; writes the triangle's word (the track stores its
// collision-material index there). The word is 0 before the call. A plain function or a lambda
// that carries its own context; empty: every word stays 0.
using VQTerrainTriangleCallback =
    std::function<void(const VQTerrainMesh& mesh, uint32_t triangle, uint32_t* word)>;

// The texture name of a gathered scene triangle's material: stage 0 of the material that the
// triangle's record names in its geoset node's table. Null when the mesh did not come from a
// scene, the index lies outside the table or the material has no texture.
const char* VQterrain_TriangleTexture(const VQTerrainMesh& mesh, uint32_t triangle);

struct VQTerrainTriangle {
  float flatHeight;      // height of a flat, upward triangle; VQTERRAIN_NO_GROUND otherwise
  const VQVector* a;     // into the tree's vertex array
  const VQVector* b;
  const VQVector* c;
  uint32_t word;
  VQVector normal;       // unit normal of (b - a) x (c - a); zero for a degenerate triangle
  float planeD;          // -(normal . a)
  VQVector boxMin;
  VQVector boxMax;

  bool IsFlat() const { return flatHeight != VQTERRAIN_NO_GROUND; }
};

struct VQTerrainNode {
  uint32_t triangleCount = 0;  // a leaf's triangles; 0 for an inner node
  uint32_t firstEntry = 0;     // a leaf's list (input order) in the tree's leaf entries
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  float centreX = 0, centreY = 0;
  // Children by quadrant; an absent child is null. A node without triangles and children is
  // an empty leaf.
  VQTerrainNode* lowXHighY = nullptr;
  VQTerrainNode* highXHighY = nullptr;
  VQTerrainNode* lowXLowY = nullptr;
  VQTerrainNode* highXLowY = nullptr;

  bool IsLeaf() const { return !lowXHighY && !highXHighY && !lowXLowY && !highXLowY; }
};

class VQTerrainTree {
 public:
  VQTerrainTree();
  ~VQTerrainTree();
  VQTerrainTree(const VQTerrainTree&) = delete;
  VQTerrainTree& operator=(const VQTerrainTree&) = delete;

  // Clears the tree and builds it from the collider meshes: with takeAll every mesh is a
  // collider, otherwise only meshes whose flags carry VQTERRAIN_COLLIDER_FLAG. A node holding
  // more than trianglesPerLeaf triangles is split until maxDepth. False with
  // VQERR_INVALID_ARGUMENT (and an empty tree) when a mesh has a vertex index out of range or
  // null arrays with non-zero counts.
  bool Build(const VQTerrainMesh* meshes, uint32_t meshCount,
             const VQTerrainTriangleCallback& callback, bool takeAll, uint32_t trianglesPerLeaf,
             uint32_t maxDepth);
  void Clear();

  // Builds from the colliders under a scene node (see GatherColliders); the callback sees each
  // mesh with its geoset node as source and its VQMesh. The tree remembers the root.
  bool BuildFromScene(VQNode* colliderRoot, const VQTerrainTriangleCallback& callback, bool takeAll,
                      uint32_t trianglesPerLeaf, uint32_t maxDepth);
  // The collider meshes under root in walk order: root, light and fog nodes lead to their
  // child, transform nodes to theirs, group nodes to each child in order, level-of-detail nodes
  // to their first child only; other node types end the walk. A geoset node counts when its
  // geoset has a first level whose mesh has triangles, and either takeAll is set or the mesh
  // carries VQTERRAIN_COLLIDER_FLAG; at most VQTERRAIN_MAX_COLLIDERS are taken. The meshes'
  // 16-bit indices are widened into indexStorage, which must outlive their use.
  static void GatherColliders(VQNode* root, bool takeAll, std::vector<VQTerrainMesh>& meshes,
                              std::vector<uint32_t>& indexStorage);
  VQNode* GetColliderRoot() const { return m_colliderRoot; }

  // Ground height below (x, y) of point. hint is the caller's last triangle (0 = none, else
  // triangle index + 1): it is tried before any tree walk and updated. Without ground: returns
  // VQTERRAIN_NO_GROUND, normal (0, 0, 1), word 0, hint 0. hint and word may be null.
  float GetHeight(const VQVector& point, VQVector* normal, uint32_t* word, uint32_t* hint) const;

  // First touch of a sphere of the given radius moved from start to end. On a hit: distance
  // travelled before the touch, the touched point of the surface and the triangle's word; true.
  bool SweepSphere(const VQVector& start, const VQVector& end, float radius, float* distance,
                   VQVector* contact, uint32_t* word) const;
  // Whether the bounding box of any triangle overlaps the box (minimum and maximum corners). A
  // sweep whose own box (start and end, each less and plus the radius) lies inside a box that
  // overlaps nothing touches nothing.
  bool BoxTouchesTriangles(const double boxMin[3], const double boxMax[3]) const;

  // The cache file. Write replaces the file only once the new one is complete. Read clears the
  // tree first and checks every count and index against the file; on any failure the tree is
  // left empty and g_VQerror set (24 cannot open, 26 wrong magic, 21 inconsistent content).
  bool Write(const char* fileName) const;
  bool Read(const char* fileName);
  // The same over a buffer (the file's whole content).
  bool ReadFromMemory(const uint8_t* data, size_t size);
  std::vector<uint8_t> WriteToMemory() const;

  uint32_t GetVertexCount() const { return uint32_t(m_vertices.size()); }
  uint32_t GetTriangleCount() const { return uint32_t(m_triangles.size()); }
  const VQVector* GetVertices() const { return m_vertices.data(); }
  const VQTerrainTriangle* GetTriangles() const { return m_triangles.data(); }
  const VQTerrainNode* GetRoot() const { return m_root; }
  uint32_t GetNodeCount() const { return uint32_t(m_nodes.size()); }
  // A leaf's triangles (triangleCount of them).
  VQTerrainTriangle* const* LeafTriangles(const VQTerrainNode& leaf) const {
    return m_leafEntries.data() + leaf.firstEntry;
  }
  uint32_t GetTrianglesPerLeaf() const { return m_trianglesPerLeaf; }
  uint32_t GetMaxDepth() const { return m_maxDepth; }

  // The per-triangle tests, shared with brute-force checks: the height of one triangle at
  // (x, y) (false when the triangle does not lie below the point or is vertical), and one
  // triangle's sweep hit (false when it gives none within [0, |end - start|]).
  static bool TriangleHeight(const VQTerrainTriangle& t, float x, float y, float* height);
  static bool TriangleSweep(const VQTerrainTriangle& t, const VQVector& start,
                            const VQVector& end, float radius, float* distance, VQVector* hit);
  // True when (x, y) lies inside or on an edge of the triangle a-b-c running counter-clockwise
  // seen from above.
  static bool PointInTriangle(float x, float y, const VQVector& a, const VQVector& b,
                              const VQVector& c);
  // 2: the triangle's ground projection misses the closed rectangle, 1: lies inside it,
  // 3: partly inside.
  static int ClassifyTriangle(const VQTerrainTriangle& t, float minX, float minY, float maxX,
                              float maxY);

 private:
  void MakeTriangle(VQTerrainTriangle& t, uint32_t ia, uint32_t ib, uint32_t ic);
  VQTerrainNode* NewNode();
  VQTerrainNode* BuildNode(const std::vector<VQTerrainTriangle*>& input, float minX, float minY,
                           float maxX, float maxY, uint32_t depth);
  const VQTerrainTriangle* FindGround(float x, float y, float* height) const;

  bool m_takeAll = false;
  VQNode* m_colliderRoot = nullptr;
  uint32_t m_trianglesPerLeaf = 32;
  uint32_t m_maxDepth = 4;
  std::vector<VQVector> m_vertices;
  std::vector<VQTerrainTriangle> m_triangles;
  std::deque<VQTerrainNode> m_nodes;  // every node; a deque keeps their addresses
  std::vector<VQTerrainTriangle*> m_leafEntries;  // all leaves' lists, one after another
  VQTerrainNode* m_root = nullptr;
};
