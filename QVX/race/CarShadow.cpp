#include "QVX/race/CarShadow.h"

#include <new>

#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/vehicle/VQVehicleModel.h"

namespace {

VQVector Horizontal(const VQVector& v) { return VQVector(v.x, v.y, 0.0f); }

VQVector Unit(const VQVector& v) {
  VQVector u = v;
  u.Normalize();
  return u;
}

}  // namespace

bool CarShadow::Init(VQNode* meshNode, uint32_t value, VQVehicleModel* model,
                     const VQVector wheelPoints[4]) {
  if (m_initialised) return true;
  if (!meshNode || meshNode->m_type != VQNODE_GEOSET) return false;
  VQGeoset* geoset = static_cast<VQGeosetNode*>(meshNode)->m_geoset;
  if (!geoset || geoset->m_levelCount == 0 || !geoset->m_meshes[0]) return false;
  VQMesh* mesh = geoset->m_meshes[0];
  if (mesh->m_vertexCount < 4 || !mesh->m_positions) return false;
  m_node = meshNode;
  m_geoset = geoset;
  m_mesh = mesh;
  mesh->m_flags |= MESH_DYNAMIC;
  const VQVector* v = mesh->m_positions;
  m_offsets[0] = Horizontal(v[0] - wheelPoints[0]);
  m_offsets[1] = Horizontal(v[3] - wheelPoints[1]);
  m_offsets[2] = Horizontal(v[1] - wheelPoints[2]);
  m_offsets[3] = Horizontal(v[2] - wheelPoints[3]);
  m_value = value;
  m_model = model;
  m_lift = SHADOW_LIFT;
  for (int i = 0; i < 4; ++i) m_lastHeight[i] = wheelPoints[i].z;
  m_initialised = 1;
  return true;
}

void CarShadow::Update(const VQMatrix wheels[4]) {
  if (!m_initialised || !m_model || !m_mesh) return;
  VQVector g[4];
  for (int i = 0; i < 4; ++i) {
    g[i] = m_model->m_wheelContact[i];
    float h = m_model->m_wheelGroundHeight[i];
    VQVector centre;
    wheels[i].GetTranslation(centre);
    // Ground above the wheel centre is a bad reading (a wall, a bridge): keep the last one.
    if (h > centre.z) h = m_lastHeight[i];
    g[i].z = h;
    m_lastHeight[i] = h;
  }
  bool airborne = true;
  for (int i = 0; i < 4; ++i)
    if (m_model->GetWheelLoad(i) > 0.0) airborne = false;
  if (airborne && m_manager && m_manager->m_bodiesPresent) {
    const VQVector shift = (m_model->GetPosition() - m_model->GetLastPosition()) * 0.5f;
    for (auto& p : g) p += shift;
  }
  const VQVector U = Unit(g[1] - g[0]);
  const VQVector W = Unit(g[0] - g[2]);
  if (m_manager && m_manager->m_lightFlag) {
    const VQVector& L = m_manager->m_lightDirection;
    const float f1 = m_manager->m_factor1, f2 = m_manager->m_factor2;
    const float sU = U.Dot(L), sW = W.Dot(L);
    const float a = sU >= 0 ? f1 * sU : f2 * sU;
    const float b = sU >= 0 ? f2 * sU : f1 * sU;
    const float c = sW >= 0 ? f2 * sW : f1 * sW;
    const float d = sW >= 0 ? f1 * sW : f2 * sW;
    g[0] += U * a + W * c;
    g[1] += U * b + W * c;
    g[2] += U * a + W * d;
    g[3] += U * b + W * d;
  }
  VQVector corner[4];
  for (int i = 0; i < 4; ++i) {
    corner[i] = g[i] + U * m_offsets[i].x + W * m_offsets[i].y;
    corner[i].z += m_lift;
  }
  VQVector n;
  n.SetCross(U, W);
  VQVector* v = m_mesh->m_positions;
  if (n.z > 0) {
    v[0] = corner[0], v[1] = corner[2], v[2] = corner[3], v[3] = corner[1];
  } else {
    v[0] = corner[1], v[1] = corner[3], v[2] = corner[2], v[3] = corner[0];
  }
  m_geoset->GetBoundingSphere(m_geoset->m_centre, m_geoset->m_radius);
  if (m_node->m_sphere) {
    m_node->m_sphere->m_centre = m_geoset->m_centre;
    m_node->m_sphere->m_radius = m_geoset->m_radius;
  }
  m_node->BoundsChanged();
}

ShadowManager::~ShadowManager() {
  while (m_head) Remove(m_head);
}

bool ShadowManager::Init(VQNode* group) {
  if (m_initialised) return true;
  m_group = group;
  m_head = nullptr;
  m_initialised = 1;
  m_lightFlag = 1;
  m_factor1 = 0.0f;
  m_factor2 = 1.0f;
  return true;
}

bool ShadowManager::SetSun(const VQNode* sunLight, const VQVector& direction, float factor1,
                           float factor2) {
  if (!sunLight) {
    m_enabled = 0;
    if (m_group) m_group->m_enabled = 0;
    return false;
  }
  m_lightDirection = direction;
  m_factor1 = factor1;
  m_factor2 = factor2;
  return m_enabled != 0;
}

Shadow* ShadowManager::Create(uint32_t kind, VQNode* meshNode) {
  if (!m_initialised || !m_enabled || !m_group || !meshNode) return nullptr;
  Shadow* s = nullptr;
  if (kind == SHADOW_CAR)
    s = new (std::nothrow) CarShadow();
  else if (kind == SHADOW_PLAIN)
    s = new (std::nothrow) Shadow();
  if (!s) return nullptr;
  s->m_kind = kind;
  s->m_node = meshNode;
  if (!m_group->AddChild(meshNode)) {
    delete s;
    return nullptr;
  }
  s->m_manager = this;
  s->m_next = m_head;
  m_head = s;
  return s;
}

void ShadowManager::Remove(Shadow* shadow) {
  Shadow** link = &m_head;
  while (*link && *link != shadow) link = &(*link)->m_next;
  if (!*link) return;
  *link = shadow->m_next;
  if (m_group && shadow->m_node && shadow->m_node->m_parent == m_group)
    m_group->RemoveChild(shadow->m_node);
  delete shadow;
}

uint32_t ShadowManager::Count() const {
  uint32_t n = 0;
  for (const Shadow* s = m_head; s; s = s->m_next) ++n;
  return n;
}
