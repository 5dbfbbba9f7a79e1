// The scene graph: the node base class, the render context shared by one render pass, the
// deferred transparent list and the effect base class.
//
// Every node carries a type (1 to 12), a user id, a parent (not owned), an enabled flag, an
// optional owned name and an optional bounding sphere. Containers own their children. The
// render context is one global record, valid while a viewport renders; its stacks are fixed
// arrays (32 model matrices, 8 lights, 1024 transparent records): a scene deeper than the
// stacks has the overflowing subtree skipped, never a stack overrun.
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/scene/VQGeoset.h"

class VQNode;
class VQLightNode;
class VQFogNode;
class VQCamera;
class VQViewport;
class VQDisplayDevice;
class VQCanvas;
class VQGeoset;
class VQMesh;
class VQMattable;

enum VQNodeType : uint32_t {
  VQNODE_ROOT = 1,
  VQNODE_TRANSFORM = 2,
  VQNODE_GROUP = 3,
  VQNODE_LIGHT = 4,
  VQNODE_LOD = 5,
  VQNODE_GEOSET = 6,
  VQNODE_SOUND_SOURCE = 7,
  VQNODE_PORTAL = 8,
  VQNODE_CELL = 9,
  VQNODE_FOG = 10,
  VQNODE_EFFECT = 11,
  VQNODE_CALLBACK = 12,
};

struct VQBoundingSphere {
  VQVector m_centre{0, 0, 0};
  float m_radius = -1.0f;  // -1: empty, nothing below
  uint8_t m_cull = 1;      // test against the camera before drawing
};

using VQVisitCallback = bool (*)(VQNode* node, void* context);

// The abstract effect object drawn by effect nodes (particle systems derive from it).
class VQEffect {
 public:
  virtual ~VQEffect();
  virtual bool IsTransparent() { return true; }
  virtual void Update(const VQMatrix* model) = 0;
  virtual void Draw() = 0;
  VQNode* m_owner = nullptr;  // the effect node that holds it
};

class VQNode {
 public:
  VQNode(uint32_t type, uint32_t userId);
  virtual ~VQNode();
  VQNode(const VQNode&) = delete;
  VQNode& operator=(const VQNode&) = delete;

  virtual VQNode* GetChild() { return nullptr; }
  virtual bool AddChild(VQNode*) { return false; }
  virtual bool SetChild(VQNode*) { return false; }
  virtual bool ReplaceChild(VQNode*, VQNode*) { return false; }
  virtual bool RemoveChild(VQNode*) { return false; }
  virtual void DeleteChildren() {}
  virtual void Translate(const VQVector&) {}
  virtual void TranslateThrough(const VQVector&) {}
  virtual void PrepareDevice() {}
  virtual void Rotate(const VQVector&, int) {}
  virtual bool IsBounded() { return false; }
  virtual void BoundsChanged();
  virtual VQNode* FindByName(const char* name);
  virtual VQNode* FindById(uint32_t userId);
  virtual bool Visit(VQVisitCallback callback, void* context);
  virtual bool IntersectRay(const VQVector&, const VQVector&, VQRayHit*) { return false; }
  virtual void Mirror(const VQVector&, float) {}
  virtual VQBoundingSphere GetBoundingSphere() = 0;
  virtual void GetStoredSphere(VQVector& centre, float& radius) = 0;
  virtual void Render(int depth) = 0;
  virtual VQNode* Clone(bool copyGeometry, bool copyMaterials) = 0;

  // Child containers expose their slots to walkers (file writer, info tools): count and slot.
  virtual uint32_t ChildCount() { return GetChild() ? 1 : 0; }
  virtual VQNode* ChildAt(uint32_t index) { return index == 0 ? GetChild() : nullptr; }

  void SetName(const char* text);
  bool Detach();
  // Unlinks from the parent, deletes the subtree and the node.
  static void Destroy(VQNode* node);
  static void CopyBaseFields(const VQNode* source, VQNode* clone);

  uint32_t m_type;
  uint32_t m_userId;
  VQNode* m_parent = nullptr;
  uint8_t m_enabled = 1;
  char* m_name = nullptr;
  uint32_t m_word = 0;
  VQBoundingSphere* m_sphere = nullptr;  // the record of types that have one, a member of the node
};

// True when the names match; a '*' in either at the first difference (or where one ends)
// matches the rest.
bool VQnode_WildcardMatch(const char* a, const char* b);

constexpr uint32_t VQRENDER_MAX_MATRICES = 32;
constexpr uint32_t VQRENDER_MAX_LIGHTS = 8;
constexpr uint32_t VQRENDER_MAX_TRANSPARENT = 1024;
constexpr uint32_t VQRENDER_MAX_PORTAL_POINTS = 64;  // points of one portal polygon

struct VQTransparentRecord {
  float m_depth;
  VQMesh* m_mesh;
  VQGeoset* m_geoset;
  VQEffect* m_effect;
  VQMattable* m_table;
  VQMatrix m_model;
  VQVector m_centre;
  VQFogNode* m_fog;
  VQLightNode* m_lights[VQRENDER_MAX_LIGHTS];
  uint32_t m_lightCount;
  float m_left, m_right, m_top, m_bottom;
  int32_t m_x, m_y, m_width, m_height;
};

enum VQRenderStat : uint32_t {
  VQSTAT_MESHES = 0,
  VQSTAT_REJECTED = 1,
  VQSTAT_PARTICLES = 2,
  VQSTAT_DEVICE_A = 3,
  VQSTAT_DEVICE_B = 4,
};

struct VQRenderContext {
  uint32_t m_frame = 0;
  VQCanvas* m_canvas = nullptr;
  VQViewport* m_viewport = nullptr;
  VQCamera* m_camera = nullptr;
  VQDisplayDevice* m_display = nullptr;
  VQFogNode* m_fog = nullptr;
  float m_left = 0, m_right = 0, m_bottom = 0, m_top = 0;
  float m_near = 1, m_far = 100000;
  float m_lodScale = 1.0f;
  uint32_t m_lodBias = 0;
  float m_centreX = 0, m_centreZ = 0;
  VQMatrix m_view;
  VQGeoset* m_geoset = nullptr;
  VQVector m_right3{1, 0, 0}, m_forward{0, 1, 0}, m_up{0, 0, 1};
  uint32_t m_stats[5] = {};
  uint32_t m_lightCount = 0;
  VQTransparentRecord m_records[VQRENDER_MAX_TRANSPARENT];
  VQLightNode* m_lights[VQRENDER_MAX_LIGHTS] = {};
  VQTransparentRecord* m_list[VQRENDER_MAX_TRANSPARENT] = {};
  uint32_t m_transparentCount = 0;
  uint32_t m_matrixCount = 0;
  VQMatrix m_matrices[VQRENDER_MAX_MATRICES];
  uint8_t m_matrixChanged = 0;
  // Portal scratch: transformed and clipped polygon points.
  VQVector m_portalPoints[VQRENDER_MAX_PORTAL_POINTS];
  VQVector m_portalClipped[VQRENDER_MAX_PORTAL_POINTS + 1];

  const VQMatrix& Top() const { return m_matrices[m_matrixCount ? m_matrixCount - 1 : 0]; }
  // Pushes m x top; false (nothing pushed) when the stack is full.
  bool PushModel(const VQMatrix& m);
  void PopModel();
};

extern VQRenderContext g_VQrender;

// Hands one mesh to the display device's DrawMesh. The device's six words carry, in order,
// the material table, the model-view matrix, the view position and the three further words.
void VQrender_DrawMesh(VQDisplayDevice* device, VQMesh* mesh, VQMattable* table,
                       const VQMatrix* modelView, const VQVector* viewPosition, uintptr_t w0,
                       uintptr_t w1, uintptr_t w2);
// A mesh of the device (its CreateMesh words: extra count, normals, colours, texture
// coordinates); null when the device does not make meshes.
VQMesh* VQrender_CreateMesh(VQDisplayDevice* device, uint32_t vertices, uint32_t triangles,
                            uint32_t extra, bool normals, bool colours, bool texCoords);

// Adds a deferred transparent draw, sorted by depth (equal depths keep arrival order).
// Ignored once 1023 records are in use.
void VQrender_AddTransparent(VQMesh* mesh, VQGeoset* geoset, VQEffect* effect, float depth,
                             VQMattable* table, const VQMatrix& model, const VQVector& centre,
                             VQLightNode* const* lights, uint32_t lightCount);
