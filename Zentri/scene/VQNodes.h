// The twelve node types of the scene graph: structural nodes (root, transform, group,
// level of detail, cell), nodes that change or draw what is below them (light, fog, geoset,
// effect, callback) and the two that act without geometry (sound source, portal).
#pragma once

#include <cstdint>

#include "Zentri/math/VQColor.h"
#include "Zentri/scene/VQNode.h"

class VQSoundBuffer;
class VQCellNode;

constexpr uint32_t VQGROUP_MAX_CHILDREN = 1000;
constexpr uint32_t VQLOD_MAX_CHILDREN = 16;
constexpr uint32_t VQCELL_MAX_CHILDREN = 256;

// Shared by the nodes that hold one child (root, transform, light, fog, callback).
class VQSingleChildNode : public VQNode {
 public:
  using VQNode::VQNode;
  VQNode* GetChild() override { return m_child; }
  bool AddChild(VQNode* node) override;
  bool SetChild(VQNode* node) override;
  bool ReplaceChild(VQNode* newNode, VQNode* oldNode) override;
  bool RemoveChild(VQNode* node) override;
  void DeleteChildren() override;
  VQNode* FindByName(const char* name) override;
  VQNode* FindById(uint32_t userId) override;
  bool Visit(VQVisitCallback callback, void* context) override;
  bool IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) override;
  VQBoundingSphere GetBoundingSphere() override;
  void GetStoredSphere(VQVector& centre, float& radius) override;
  uint32_t ChildCount() override { return m_child ? 1 : 0; }
  VQNode* ChildAt(uint32_t index) override { return index == 0 ? m_child : nullptr; }

  VQNode* m_child = nullptr;
};

class VQRootNode : public VQSingleChildNode {
 public:
  explicit VQRootNode(uint32_t userId = 0) : VQSingleChildNode(VQNODE_ROOT, userId) {}
  void Mirror(const VQVector& n, float d) override;
  void Render(int depth) override;
  VQNode* Clone(bool copyGeometry, bool copyMaterials) override;
};

class VQTransformNode : public VQSingleChildNode {
 public:
  explicit VQTransformNode(uint32_t userId = 0) : VQSingleChildNode(VQNODE_TRANSFORM, userId) {}
  void Rotate(const VQVector& angles, int space) override;
  void SetRotation(const VQVector& angles);
  void Translate(const VQVector& v) override { Translate(v, 0); }
  void Translate(const VQVector& v, int space);
  void SetPosition(const VQVector& v);
  void Notify();
  void TranslateThrough(const VQVector& v) override;
  void PrepareDevice() override;
  void Mirror(const VQVector& n, float d) override;
  VQBoundingSphere GetBoundingSphere() override;
  void GetStoredSphere(VQVector& centre, float& radius) override;
  bool IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) override;
  void Render(int depth) override;
  VQNode* Clone(bool copyGeometry, bool copyMaterials) override;

  uint8_t m_notify = 1;
  VQMatrix m_matrix;
};

// Group, level-of-detail and cell nodes keep a count and an array of child slots. A slot may
// be empty (a child record of a scene file that yields no node).
class VQListNode : public VQNode {
 public:
  VQListNode(uint32_t type, uint32_t userId, VQNode** slots, uint32_t capacity);
  ~VQListNode() override;
  bool AddChild(VQNode* node) override;
  bool SetChild(VQNode* node) override { return SetChildAt(node, 0); }
  bool ReplaceChild(VQNode* newNode, VQNode* oldNode) override;
  bool RemoveChild(VQNode* node) override;  // last child fills the place (group keeps order)
  void DeleteChildren() override;
  VQNode* FindByName(const char* name) override;
  VQNode* FindById(uint32_t userId) override;
  bool Visit(VQVisitCallback callback, void* context) override;
  void GetStoredSphere(VQVector& centre, float& radius) override;
  uint32_t ChildCount() override { return m_count; }
  VQNode* ChildAt(uint32_t index) override { return index < m_count ? m_slots[index] : nullptr; }

  bool SetChildAt(VQNode* node, uint32_t index);
  // Appends an empty slot (the scene reader's place holder); false when full.
  bool AddEmptySlot();

  uint32_t m_count = 0;
  VQNode** m_slots;
  uint32_t m_capacity;
  VQBoundingSphere m_record;
};

class VQGroupNode : public VQListNode {
 public:
  explicit VQGroupNode(uint32_t userId = 0);
  bool InsertChild(VQNode* node, uint32_t index);
  bool RemoveChild(VQNode* node) override;
  void TranslateThrough(const VQVector& v) override;
  void PrepareDevice() override;
  bool IsBounded() override { return true; }
  void BoundsChanged() override;
  bool IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) override;
  VQBoundingSphere GetBoundingSphere() override;
  void Render(int depth) override;
  VQNode* Clone(bool copyGeometry, bool copyMaterials) override;

  VQNode* m_children[VQGROUP_MAX_CHILDREN] = {};
};

class VQLodNode : public VQListNode {
 public:
  explicit VQLodNode(uint32_t userId = 0);
  bool IsBounded() override { return true; }
  void BoundsChanged() override;
  bool IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) override;
  VQBoundingSphere GetBoundingSphere() override;
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  VQNode* m_children[VQLOD_MAX_CHILDREN] = {};
  float m_distances[VQLOD_MAX_CHILDREN] = {};
};

struct VQCellRecord {
  VQVector m_vector{0, 0, 0};
  uint32_t m_word = 0;
};

class VQCellNode : public VQListNode {
 public:
  explicit VQCellNode(uint32_t userId = 0);
  bool ReplaceChild(VQNode*, VQNode*) override { return false; }
  VQBoundingSphere GetBoundingSphere() override;
  void BoundsChanged() override { VQNode::BoundsChanged(); }
  bool IntersectRay(const VQVector&, const VQVector&, VQRayHit*) override { return false; }
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }
  // Makes this cell the owning cell of every portal node below it.
  void LinkPortals();

  uint8_t m_flag = 0;
  VQNode* m_children[VQCELL_MAX_CHILDREN] = {};
  VQCellRecord m_records[VQCELL_MAX_CHILDREN];
};

class VQLightNode : public VQSingleChildNode {
 public:
  explicit VQLightNode(uint32_t userId = 0);
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  uint32_t m_lightType = 0;  // 0 directional
  VQVector m_direction{0, 1, 0};
  VQColor m_ambient{0, 0, 0, 1};
  VQColor m_diffuse{0.5f, 0.5f, 0.5f, 1};
  VQColor m_specular{0, 0, 0, 1};
  uint8_t m_busy = 0;
  VQMatrix m_placement;
};

class VQFogNode : public VQSingleChildNode {
 public:
  explicit VQFogNode(uint32_t userId = 0) : VQSingleChildNode(VQNODE_FOG, userId) {}
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  VQColor m_colour{255.0f, 255.0f, 255.0f, 255.0f};
  uint32_t m_mode = 1;  // 0 no fog, 1 linear
  float m_start = 0.0f;
  float m_end = 1000.0f;
};

class VQCallbackNode;
using VQNodeCallback = bool (*)(VQCallbackNode* node, uintptr_t userWord);

class VQCallbackNode : public VQSingleChildNode {
 public:
  explicit VQCallbackNode(uint32_t userId = 0) : VQSingleChildNode(VQNODE_CALLBACK, userId) {}
  VQNode* GetChild() override { return nullptr; }
  void SetCallback(VQNodeCallback callback, uintptr_t userWord) {
    m_callback = callback;
    m_userWord = userWord;
  }
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  VQNodeCallback m_callback = nullptr;
  uintptr_t m_userWord = 0;
};

class VQGeosetNode : public VQNode {
 public:
  explicit VQGeosetNode(VQGeoset* geoset = nullptr, uint32_t userId = 0);
  ~VQGeosetNode() override;
  // Reference-counted setters: the old one is released (destroyed at 0).
  void SetGeoset(VQGeoset* geoset);
  void SetMattable(VQMattable* table);
  void DeleteChildren() override;
  void Translate(const VQVector& v) override;
  void TranslateThrough(const VQVector& v) override { Translate(v); }
  void PrepareDevice() override;
  void Mirror(const VQVector& n, float d) override;
  bool IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) override;
  VQBoundingSphere GetBoundingSphere() override;
  void GetStoredSphere(VQVector& centre, float& radius) override;
  void Render(int depth) override;
  VQNode* Clone(bool copyGeometry, bool copyMaterials) override;

  uint32_t m_nodeWord = 0;  // carried by the scene files
  VQMattable* m_table = nullptr;
  VQGeoset* m_geoset = nullptr;
};

class VQEffectNode : public VQNode {
 public:
  VQEffectNode();
  ~VQEffectNode() override;
  void SetEffect(VQEffect* effect);
  VQBoundingSphere GetBoundingSphere() override { return *m_sphere; }
  void GetStoredSphere(VQVector& centre, float& radius) override;
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  VQEffect* m_effect = nullptr;  // owned
  VQBoundingSphere m_record;
};

class VQSoundSourceNode : public VQNode {
 public:
  explicit VQSoundSourceNode(uint32_t userId = 0);
  void SetPosition(const VQVector& position, float falloff, float range);
  void SetRange(float range);
  // Replaces the buffer; a playing one is stopped and, with releaseOld, deleted.
  void SetSample(VQSoundBuffer* buffer, bool releaseOld);
  void Translate(const VQVector& v) override;
  bool IsBounded() override { return true; }
  VQBoundingSphere GetBoundingSphere() override;
  void GetStoredSphere(VQVector& centre, float& radius) override;
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  VQVector m_position{0, 0, 0};
  float m_falloff = 0.0f;
  float m_range = 0.0f;  // negative: never started or stopped by distance
  VQVector m_velocity{0, 0, 0};
  int32_t m_speedSent = 100;
  float m_volumeInForce = 1.0f;
  int32_t m_speed = 100;
  float m_volume = 1.0f;
  uint8_t m_doppler = 1;
  uint8_t m_attenuation = 1;
  float m_gain = 1.0f;
  VQSoundBuffer* m_buffer = nullptr;
  uint8_t m_playing = 0;
  VQBoundingSphere m_record;
};

class VQPortalNode : public VQNode {
 public:
  explicit VQPortalNode(uint32_t userId = 0) : VQNode(VQNODE_PORTAL, userId) {}
  ~VQPortalNode() override;
  // Copies the polygon. False with nothing changed: beyond VQRENDER_MAX_PORTAL_POINTS points or
  // points missing (VQERR_INVALID_ARGUMENT), or no memory for the copy (VQERR_OUT_OF_MEMORY).
  bool SetPoints(const VQVector* points, uint32_t count);
  // Copies the placement matrix (null removes it). False with nothing changed when there is no
  // memory for it (VQERR_OUT_OF_MEMORY).
  bool SetPlacement(const VQMatrix* placement);
  VQBoundingSphere GetBoundingSphere() override { return VQBoundingSphere(); }
  void GetStoredSphere(VQVector& centre, float& radius) override;
  void Render(int depth) override;
  VQNode* Clone(bool, bool) override { return nullptr; }

  VQCellNode* m_cell = nullptr;
  int32_t m_target = -1;
  VQMatrix* m_placement = nullptr;  // owned
  VQVector m_normal{0, 1, 0};
  VQVector* m_points = nullptr;  // owned
  uint32_t m_pointCount = 0;
  uint8_t m_clip = 1;
  uint32_t m_frameStamp = 9999;
  uint16_t m_passesPerFrame = 1;
  uint16_t m_passes = 0;
};
