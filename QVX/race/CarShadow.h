// Car shadows: each car casts a flat four-cornered mesh lying on the ground under it, rebuilt
// every frame from the car's four wheels so that it follows slopes and the car's attitude.
// The ShadowManager owns the scene group "g_shadows" into which all shadow meshes go and keeps
// the list of shadows; a car asks it for a shadow when it joins the track and removes it when
// it leaves. Shadow mesh vertices are world coordinates (z up).
#pragma once

#include <cstdint>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

class VQGeoset;
class VQMesh;
class VQNode;
class VQVehicleModel;
class ShadowManager;

enum ShadowKind : uint32_t {
  SHADOW_CAR = 0,
  SHADOW_PLAIN = 1,  // made by the factory, used by no car
};

constexpr float SHADOW_LIFT = 0.003f;     // height of the shadow above the ground
constexpr uint32_t MESH_DYNAMIC = 0x100;  // the mesh's vertices change every frame

class Shadow {
 public:
  virtual ~Shadow() { m_initialised = 0; }

  uint32_t m_kind = 0;
  VQNode* m_node = nullptr;  // the shadow's geoset node (in the manager's group)
  VQGeoset* m_geoset = nullptr;
  VQMesh* m_mesh = nullptr;  // first mesh of the geoset: four vertices
  Shadow* m_next = nullptr;
  ShadowManager* m_manager = nullptr;
  uint8_t m_initialised = 0;
};

class CarShadow : public Shadow {
 public:
  // Takes the node's geoset and first mesh (which must hold four vertices) and the corner
  // offsets from the mesh's vertices to the four wheel points (wheel 0 front left, 1 front
  // right, 2 rear left, 3 rear right; vertex 0 belongs to wheel 0, 3 to wheel 1, 1 to wheel 2,
  // 2 to wheel 3). False, nothing taken, when the node has no such mesh. Nothing when already
  // initialised (true).
  bool Init(VQNode* meshNode, uint32_t value, VQVehicleModel* model, const VQVector wheelPoints[4]);
  // Rebuilds the quad from the vehicle's wheel contacts and ground heights; wheels holds the
  // four wheel transforms (world).
  void Update(const VQMatrix wheels[4]);

  uint32_t m_value = 0;  // kept for the car; not read by the shadow
  VQVehicleModel* m_model = nullptr;
  float m_lift = SHADOW_LIFT;
  float m_lastHeight[4] = {};
  VQVector m_offsets[4] = {};
};

class ShadowManager {
 public:
  ShadowManager() = default;
  ~ShadowManager();
  ShadowManager(const ShadowManager&) = delete;
  ShadowManager& operator=(const ShadowManager&) = delete;

  // Once: the group, an empty list, light flag 1, factors 0 and 1.0. True.
  bool Init(VQNode* group);
  void Shutdown() { m_initialised = 0; }
  // Takes the light from the track's sun: the direction and the two factors. A missing sun
  // light node (null) leaves the shadows off: the group is hidden and Create makes no more
  // shadows. True when shadows are on.
  bool SetSun(const VQNode* sunLight, const VQVector& direction, float factor1, float factor2);
  // A new shadow of the kind with its node added to the group; null for another kind, while
  // the shadows are off, or when the group refuses the node.
  Shadow* Create(uint32_t kind, VQNode* meshNode);
  // Unlinks the shadow, takes its node out of the group (the node stays with the caller) and
  // deletes it; a shadow not in the list is left alone.
  void Remove(Shadow* shadow);
  uint32_t Count() const;

  uint32_t m_firstWord = 0;
  Shadow* m_head = nullptr;
  uint8_t m_initialised = 0;
  VQNode* m_group = nullptr;
  uint8_t m_lightFlag = 0;
  VQVector m_lightDirection{0, 0, -1};
  float m_factor1 = 0.0f, m_factor2 = 1.0f;
  uint8_t m_enabled = 1;
  // Set by the track while its collision world holds bodies (airborne cars move their shadow).
  uint8_t m_bodiesPresent = 1;
};
