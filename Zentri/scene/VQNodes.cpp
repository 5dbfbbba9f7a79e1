// Structural nodes (root, transform, group, level of detail, cell) and the light, fog,
// callback, geoset and effect nodes.
#include "Zentri/scene/VQNodes.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"

namespace {

VQBoundingSphere EmptySphere() { return VQBoundingSphere(); }

// One part of a clone (a child node, a copied geoset or table), run with g_VQerror cleared so
// that a refusal can be told from a node type that is simply not cloned. Returns false when the
// part failed with a recorded reason (the code stays); otherwise restores the earlier code.
template <class Make>
bool ClonePart(Make make) {
  const int32_t earlier = g_VQerror;
  g_VQerror = VQERR_NONE;
  const bool made = make();
  if (!made && g_VQerror != VQERR_NONE) return false;
  g_VQerror = earlier;
  return true;
}

// The clone of a child for a clone under construction: true with *out null for a child type
// that is not cloned; false when the child's clone failed (see ClonePart).
bool CloneChild(VQNode* child, bool copyGeometry, bool copyMaterials, VQNode** out) {
  *out = nullptr;
  if (!ClonePart([&] { return (*out = child->Clone(copyGeometry, copyMaterials)) != nullptr; })) return false;
  if (*out) (*out)->m_parent = nullptr;  // a clone's parent is its new container, never the source's
  return true;
}

// A clone's own node, or null with the out-of-memory code.
template <class T, class... Args>
T* NewClone(Args... args) {
  T* n = new (std::nothrow) T(args...);
  if (!n) VQerror_Fail(VQERR_OUT_OF_MEMORY);
  return n;
}

// Drops a clone under construction whose part failed; the part's code stays.
VQNode* AbandonClone(VQNode* clone) {
  const int32_t code = g_VQerror;
  VQNode::Destroy(clone);
  g_VQerror = code;
  return nullptr;
}

// The sphere around the axis-aligned boxes of child spheres, gathered one child at a time
// (no arrays: nested groups recurse through this). Spheres with a negative radius are skipped.
struct SphereBox {
  bool any = false;
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  void Add(const VQVector& centre, float radius) {
    if (radius < 0.0f) return;
    const double c[3] = {centre.x, centre.y, centre.z};
    for (int a = 0; a < 3; ++a) {
      const double l = c[a] - radius, h = c[a] + radius;
      if (!any || l < lo[a]) lo[a] = l;
      if (!any || h > hi[a]) hi[a] = h;
    }
    any = true;
  }
  // False when no sphere was added.
  bool Result(VQVector& centre, float& radius) const {
    if (!any) return false;
    centre.Set(float((lo[0] + hi[0]) * 0.5), float((lo[1] + hi[1]) * 0.5),
               float((lo[2] + hi[2]) * 0.5));
    double s = 0;
    for (int a = 0; a < 3; ++a) s += ((hi[a] - lo[a]) * 0.5) * ((hi[a] - lo[a]) * 0.5);
    radius = float(std::sqrt(s));
    return true;
  }
};

VQCamera* Camera() { return g_VQrender.m_camera; }
VQDisplayDevice* Display() { return g_VQrender.m_display; }
bool Lighting() { return g_VQrender.m_viewport && g_VQrender.m_viewport->m_lighting; }

// Cull test of a sphere given in model space against the current camera.
bool SphereOutside(const VQBoundingSphere& s) {
  if (!Camera()) return false;
  VQVector c;
  g_VQrender.Top().TransformPoint(c, s.m_centre);
  return Camera()->IsSphereOutside(c, s.m_radius);
}

}  // namespace

// ---- Single-child operations ---------------------------------------------------------------------

bool VQSingleChildNode::AddChild(VQNode* node) { return m_child ? false : SetChild(node); }

bool VQSingleChildNode::SetChild(VQNode* node) {
  if (m_child) m_child->m_parent = nullptr;
  m_child = node;
  if (!node) return true;
  if (node->m_parent && node->m_parent != this) node->m_parent->RemoveChild(node);
  node->m_parent = this;
  return true;
}

bool VQSingleChildNode::ReplaceChild(VQNode* newNode, VQNode* oldNode) {
  if (m_child != oldNode) return false;
  SetChild(newNode);
  return true;
}

bool VQSingleChildNode::RemoveChild(VQNode* node) {
  if (!node) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (node != m_child) return true;
  m_child = nullptr;
  node->m_parent = nullptr;
  return true;
}

void VQSingleChildNode::DeleteChildren() {
  if (!m_child) return;
  VQNode* child = m_child;
  m_child = nullptr;
  child->DeleteChildren();
  delete child;
}

VQNode* VQSingleChildNode::FindByName(const char* name) {
  if (VQNode* n = VQNode::FindByName(name)) return n;
  return m_child ? m_child->FindByName(name) : nullptr;
}

VQNode* VQSingleChildNode::FindById(uint32_t userId) {
  if (VQNode* n = VQNode::FindById(userId)) return n;
  return m_child ? m_child->FindById(userId) : nullptr;
}

bool VQSingleChildNode::Visit(VQVisitCallback callback, void* context) {
  if (callback && !callback(this, context)) return false;
  return m_child ? m_child->Visit(callback, context) : true;
}

bool VQSingleChildNode::IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) {
  return m_child ? m_child->IntersectRay(o, d, hit) : false;
}

VQBoundingSphere VQSingleChildNode::GetBoundingSphere() {
  return m_child ? m_child->GetBoundingSphere() : EmptySphere();
}

void VQSingleChildNode::GetStoredSphere(VQVector& centre, float& radius) {
  if (!m_child) {
    radius = -1.0f;
    return;
  }
  m_child->GetStoredSphere(centre, radius);
}

// ---- Root ----------------------------------------------------------------------------------------

void VQRootNode::Mirror(const VQVector& n, float d) {
  if (m_child) m_child->Mirror(n, d);
}

VQNode* VQRootNode::Clone(bool copyGeometry, bool copyMaterials) {
  VQRootNode* clone = NewClone<VQRootNode>(m_userId);
  if (!clone) return nullptr;
  CopyBaseFields(this, clone);
  if (m_child) {
    VQNode* c = nullptr;
    if (!CloneChild(m_child, copyGeometry, copyMaterials, &c)) return AbandonClone(clone);
    if (c) clone->SetChild(c);
  }
  return clone;
}

void VQRootNode::Render(int depth) {
  if (!m_enabled) return;
  VQRenderContext& rc = g_VQrender;
  // A root reached inside another root's pass (a car's scene hung into the track's) belongs to
  // that pass: the lights above it stay on for its meshes and for the nodes after it, and its
  // transparent draws join the outer list, sorted with the others. Starting a pass of its own
  // here would forget the outer light stack (everything drawn after it unlit) and throw away the
  // transparent draws recorded before it.
  if (depth > 0) {
    if (m_child) m_child->Render(depth + 1);
    return;
  }
  rc.m_lightCount = 0;
  rc.m_transparentCount = 0;
  if (!m_child) return;
  m_child->Render(depth + 1);
  if (rc.m_transparentCount == 0) return;

  VQViewport* vp = rc.m_viewport;
  VQDisplayDevice* dev = rc.m_display;
  const float keptL = rc.m_left, keptR = rc.m_right, keptB = rc.m_bottom, keptT = rc.m_top;
  int32_t keptX = 0, keptY = 0, keptW = 0, keptH = 0;
  if (vp) {
    keptX = vp->m_x;
    keptY = vp->m_y;
    keptW = vp->m_width;
    keptH = vp->m_height;
  }
  float wl = keptL, wr = keptR, wb = keptB, wt = keptT;
  bool projectionChanged = false;
  VQFogNode* fogInForce = nullptr;
  const VQTransparentRecord* prev = nullptr;
  const bool lighting = Lighting();

  for (uint32_t k = rc.m_transparentCount; k-- > 0;) {
    const VQTransparentRecord* r = rc.m_list[k];
    if (lighting && dev) {
      if (!prev) {
        for (uint32_t i = 0; i < r->m_lightCount; ++i) dev->EnableLight(r->m_lights[i], i);
      } else if (!(prev->m_lightCount == r->m_lightCount &&
                   (r->m_lightCount == 0 ||
                    prev->m_lights[prev->m_lightCount - 1] == r->m_lights[r->m_lightCount - 1]))) {
        const uint32_t m = prev->m_lightCount < r->m_lightCount ? prev->m_lightCount : r->m_lightCount;
        for (uint32_t i = prev->m_lightCount; i-- > m;) dev->DisableLight(prev->m_lights[i], i);
        int32_t stop = -1;
        for (int32_t i = int32_t(m) - 1; i >= 0; --i) {
          if (prev->m_lights[i] == r->m_lights[i]) {
            stop = i;
            break;
          }
          dev->DisableLight(prev->m_lights[i], uint32_t(i));
        }
        for (uint32_t i = uint32_t(stop + 1); i < r->m_lightCount; ++i)
          dev->EnableLight(r->m_lights[i], i);
      }
    }
    if (r->m_fog != fogInForce) {
      if (dev) {
        if (fogInForce) dev->FogOff(fogInForce);
        if (r->m_fog) dev->FogOn(r->m_fog);
      }
      fogInForce = r->m_fog;
    }
    if (vp && (r->m_left != wl || r->m_right != wr || r->m_bottom != wb || r->m_top != wt)) {
      vp->SetProjection(r->m_left, r->m_right, r->m_bottom, r->m_top, rc.m_near, rc.m_far);
      vp->SetPosition(r->m_x, r->m_y);
      vp->SetSize(r->m_width, r->m_height);
      wl = r->m_left;
      wr = r->m_right;
      wb = r->m_bottom;
      wt = r->m_top;
      projectionChanged = true;
    }
    if (r->m_mesh) {
      rc.m_geoset = r->m_geoset;
      rc.m_matrixChanged = 1;
      VQrender_DrawMesh(dev, r->m_mesh, r->m_table, &r->m_model, &r->m_centre, 0, 0, 0);
    }
    if (r->m_effect) r->m_effect->Draw();
    prev = r;
  }
  if (projectionChanged && vp) {
    vp->SetProjection(rc.m_left, rc.m_right, rc.m_bottom, rc.m_top, rc.m_near, rc.m_far);
    vp->SetPosition(keptX, keptY);
    vp->SetSize(keptW, keptH);
  }
  if (fogInForce && dev) dev->FogOff(fogInForce);
  if (lighting && dev && prev)
    for (uint32_t i = prev->m_lightCount; i-- > 0;) dev->DisableLight(prev->m_lights[i], i);
}

// ---- Transform -----------------------------------------------------------------------------------

void VQTransformNode::Rotate(const VQVector& angles, int space) {
  VQMatrix r;
  r.MakeRotation(angles);
  if (space == 0)
    m_matrix = r * m_matrix;
  else if (space == 1)
    m_matrix = m_matrix * r;
  Notify();
}

void VQTransformNode::SetRotation(const VQVector& angles) {
  m_matrix.SetRotation(angles);
  Notify();
}

void VQTransformNode::Translate(const VQVector& v, int space) {
  if (space == 0) {
    VQMatrix t;
    t.MakeTranslation(v);
    m_matrix = t * m_matrix;
  } else if (space == 1) {
    m_matrix.SetTranslation(float(double(m_matrix.m[12]) + v.x),
                            float(double(m_matrix.m[13]) + v.y),
                            float(double(m_matrix.m[14]) + v.z));
  }
  Notify();
}

void VQTransformNode::SetPosition(const VQVector& v) {
  m_matrix.SetTranslation(v);
  Notify();
}

void VQTransformNode::Notify() {
  if (m_notify && m_parent) m_parent->BoundsChanged();
}

void VQTransformNode::TranslateThrough(const VQVector& v) {
  if (!m_child) return;
  VQVector p;
  m_matrix.TransformPoint(p, v);
  m_child->TranslateThrough(p);
}

void VQTransformNode::PrepareDevice() {
  if (m_child) m_child->PrepareDevice();
}

void VQTransformNode::Mirror(const VQVector& n, float d) {
  if (m_child) m_child->Mirror(n, d);
}

VQBoundingSphere VQTransformNode::GetBoundingSphere() {
  if (!m_child) return EmptySphere();
  VQBoundingSphere s = m_child->GetBoundingSphere();
  m_matrix.TransformPoint(s.m_centre);
  return s;
}

void VQTransformNode::GetStoredSphere(VQVector& centre, float& radius) {
  if (!m_child) {
    radius = -1.0f;
    return;
  }
  m_child->GetStoredSphere(centre, radius);
  m_matrix.TransformPoint(centre);
}

bool VQTransformNode::IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) {
  if (!m_child) return false;
  VQMatrix inv;
  m_matrix.Inverse(inv);
  VQVector lo, ld;
  inv.TransformPoint(lo, o);
  inv.RotateVector(ld, d);
  return m_child->IntersectRay(lo, ld, hit);
}

void VQTransformNode::Render(int depth) {
  if (!m_enabled || !m_child) return;
  // A path deeper than the model-matrix stack cannot be placed: the subtree is skipped.
  if (!g_VQrender.PushModel(m_matrix)) return;
  m_child->Render(depth + 1);
  g_VQrender.PopModel();
}

VQNode* VQTransformNode::Clone(bool copyGeometry, bool copyMaterials) {
  VQTransformNode* clone = NewClone<VQTransformNode>(m_userId);
  if (!clone) return nullptr;
  CopyBaseFields(this, clone);
  clone->m_notify = m_notify;
  clone->m_matrix = m_matrix;
  if (m_child) {
    VQNode* c = nullptr;
    if (!CloneChild(m_child, copyGeometry, copyMaterials, &c)) return AbandonClone(clone);
    if (c) clone->SetChild(c);
  }
  return clone;
}

// ---- Child lists ---------------------------------------------------------------------------------

VQListNode::VQListNode(uint32_t type, uint32_t userId, VQNode** slots, uint32_t capacity)
    : VQNode(type, userId), m_slots(slots), m_capacity(capacity) {
  m_sphere = &m_record;
}

VQListNode::~VQListNode() = default;

bool VQListNode::AddChild(VQNode* node) {
  if (m_count >= m_capacity) return false;
  m_slots[m_count] = nullptr;
  m_count++;
  if (!SetChildAt(node, m_count - 1)) {
    m_count--;
    return false;
  }
  return true;
}

bool VQListNode::AddEmptySlot() {
  if (m_count >= m_capacity) return false;
  m_slots[m_count++] = nullptr;
  return true;
}

bool VQListNode::SetChildAt(VQNode* node, uint32_t index) {
  if (!node) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (index >= m_count) return false;
  // Already one of our children: moving it inside the list would shift the other slots.
  if (node->m_parent == this) return false;
  if (m_slots[index]) m_slots[index]->m_parent = nullptr;
  m_slots[index] = node;
  if (node->m_parent) node->m_parent->RemoveChild(node);
  node->m_parent = this;
  return true;
}

bool VQListNode::ReplaceChild(VQNode* newNode, VQNode* oldNode) {
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i] == oldNode && oldNode) return SetChildAt(newNode, i);
  return false;
}

bool VQListNode::RemoveChild(VQNode* node) {
  if (!node) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_slots[i] != node) continue;
    m_slots[i] = m_slots[m_count - 1];
    m_slots[m_count - 1] = nullptr;
    m_count--;
    node->m_parent = nullptr;
    return true;
  }
  return false;
}

void VQListNode::DeleteChildren() {
  for (uint32_t i = 0; i < m_count; ++i) {
    VQNode* c = m_slots[i];
    m_slots[i] = nullptr;
    if (!c) continue;
    c->DeleteChildren();
    delete c;
  }
  m_count = 0;
}

VQNode* VQListNode::FindByName(const char* name) {
  if (VQNode* n = VQNode::FindByName(name)) return n;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i])
      if (VQNode* n = m_slots[i]->FindByName(name)) return n;
  return nullptr;
}

VQNode* VQListNode::FindById(uint32_t userId) {
  if (VQNode* n = VQNode::FindById(userId)) return n;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i])
      if (VQNode* n = m_slots[i]->FindById(userId)) return n;
  return nullptr;
}

bool VQListNode::Visit(VQVisitCallback callback, void* context) {
  if (callback && !callback(this, context)) return false;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i] && !m_slots[i]->Visit(callback, context)) return false;
  return true;
}

void VQListNode::GetStoredSphere(VQVector& centre, float& radius) {
  centre = m_record.m_centre;
  radius = m_record.m_radius;
}

// ---- Group ---------------------------------------------------------------------------------------

VQGroupNode::VQGroupNode(uint32_t userId)
    : VQListNode(VQNODE_GROUP, userId, m_children, VQGROUP_MAX_CHILDREN) {}

bool VQGroupNode::InsertChild(VQNode* node, uint32_t index) {
  if (!node) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (index >= m_count || m_count >= m_capacity) return false;
  if (node->m_parent == this) return false;  // already a child: moving it would shift indices
  for (uint32_t i = m_count; i > index; --i) m_slots[i] = m_slots[i - 1];
  m_slots[index] = nullptr;
  m_count++;
  if (!SetChildAt(node, index)) {
    for (uint32_t i = index; i + 1 < m_count; ++i) m_slots[i] = m_slots[i + 1];
    m_count--;
    return false;
  }
  return true;
}

bool VQGroupNode::RemoveChild(VQNode* node) {
  if (!node) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_slots[i] != node) continue;
    for (uint32_t j = i; j + 1 < m_count; ++j) m_slots[j] = m_slots[j + 1];
    m_slots[m_count - 1] = nullptr;
    m_count--;
    node->m_parent = nullptr;
    return true;
  }
  return false;
}

void VQGroupNode::TranslateThrough(const VQVector& v) {
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i]) m_slots[i]->TranslateThrough(v);
}

void VQGroupNode::PrepareDevice() {
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i]) m_slots[i]->PrepareDevice();
}

bool VQGroupNode::IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) {
  bool any = false;
  VQRayHit best;
  for (uint32_t i = 0; i < m_count; ++i) {
    VQRayHit h;
    if (m_slots[i] && m_slots[i]->IntersectRay(o, d, &h)) {
      if (!any || h.m_distance < best.m_distance) best = h;
      any = true;
    }
  }
  if (any && hit) *hit = best;
  return any;
}

VQBoundingSphere VQGroupNode::GetBoundingSphere() {
  m_record.m_centre.Set(0, 0, 0);
  m_record.m_radius = -1.0f;
  if (m_count == 0) return m_record;
  if (m_count == 1) {
    if (!m_slots[0]) return m_record;
    VQBoundingSphere s = m_slots[0]->GetBoundingSphere();
    m_record.m_centre = s.m_centre;
    m_record.m_radius = s.m_radius;
    m_record.m_cull = s.m_cull;
    return m_record;
  }
  SphereBox box;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (!m_slots[i]) continue;
    const VQBoundingSphere s = m_slots[i]->GetBoundingSphere();
    box.Add(s.m_centre, s.m_radius);
  }
  box.Result(m_record.m_centre, m_record.m_radius);
  return m_record;
}

void VQGroupNode::BoundsChanged() {
  if (m_count == 1 && m_slots[0]) {
    m_slots[0]->GetStoredSphere(m_record.m_centre, m_record.m_radius);
    VQNode::BoundsChanged();
    return;
  }
  SphereBox box;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (!m_slots[i]) continue;
    VQVector centre(0, 0, 0);
    float radius = -1.0f;
    m_slots[i]->GetStoredSphere(centre, radius);
    box.Add(centre, radius);
  }
  VQVector c;
  float r;
  if (!box.Result(c, r)) {
    m_record.m_radius = -1.0f;
    VQNode::BoundsChanged();
    return;
  }
  if (c == m_record.m_centre && r == m_record.m_radius) return;
  m_record.m_centre = c;
  m_record.m_radius = r;
  VQNode::BoundsChanged();
}

void VQGroupNode::Render(int depth) {
  if (!m_enabled || m_count == 0) return;
  if (m_record.m_cull && SphereOutside(m_record)) return;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i]) m_slots[i]->Render(depth + 1);
}

VQNode* VQGroupNode::Clone(bool copyGeometry, bool copyMaterials) {
  VQGroupNode* clone = NewClone<VQGroupNode>(m_userId);
  if (!clone) return nullptr;
  CopyBaseFields(this, clone);
  for (uint32_t i = 0; i < m_count; ++i) {
    if (!m_slots[i]) continue;
    VQNode* c = nullptr;
    if (!CloneChild(m_slots[i], copyGeometry, copyMaterials, &c)) return AbandonClone(clone);
    if (c) clone->AddChild(c);
  }
  return clone;
}

// ---- Level of detail -----------------------------------------------------------------------------

VQLodNode::VQLodNode(uint32_t userId)
    : VQListNode(VQNODE_LOD, userId, m_children, VQLOD_MAX_CHILDREN) {}

VQBoundingSphere VQLodNode::GetBoundingSphere() {
  m_record.m_centre.Set(0, 0, 0);
  m_record.m_radius = -1.0f;
  if (m_count > 0 && m_slots[0]) {
    VQBoundingSphere s = m_slots[0]->GetBoundingSphere();
    m_record.m_centre = s.m_centre;
    m_record.m_radius = s.m_radius;
    m_record.m_cull = s.m_cull;
  }
  return m_record;
}

void VQLodNode::BoundsChanged() {
  if (m_count == 0 || !m_slots[0]) {
    VQNode::BoundsChanged();
    return;
  }
  VQVector c(0, 0, 0);
  float r = -1.0f;
  m_slots[0]->GetStoredSphere(c, r);
  if (c == m_record.m_centre && r == m_record.m_radius) return;
  m_record.m_centre = c;
  m_record.m_radius = r;
  VQNode::BoundsChanged();
}

bool VQLodNode::IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) {
  return (m_count > 0 && m_slots[0]) ? m_slots[0]->IntersectRay(o, d, hit) : false;
}

void VQLodNode::Render(int depth) {
  if (!m_enabled || m_count == 0) return;
  VQVector c;
  g_VQrender.Top().TransformPoint(c, m_record.m_centre);
  if (m_record.m_cull && Camera() && Camera()->IsSphereOutside(c, m_record.m_radius)) return;
  double d = c.y;
  const uint32_t bias = g_VQrender.m_lodBias;
  if (bias != 0 && bias < m_count - 1) d -= m_distances[bias];
  if (g_VQrender.m_lodScale != 1.0f) d *= g_VQrender.m_lodScale;
  const float df = float(d);
  if (!(df < m_distances[m_count - 1])) return;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_distances[i] > df) {
      if (m_slots[i]) m_slots[i]->Render(depth + 1);
      return;
    }
  }
}

// ---- Cell ----------------------------------------------------------------------------------------

VQCellNode::VQCellNode(uint32_t userId)
    : VQListNode(VQNODE_CELL, userId, m_children, VQCELL_MAX_CHILDREN) {}

VQBoundingSphere VQCellNode::GetBoundingSphere() {
  m_record.m_centre.Set(0, 0, 0);
  m_record.m_radius = -1.0f;
  for (uint32_t i = 0; i < m_count; ++i) {
    if (!m_slots[i]) continue;
    VQBoundingSphere s = m_slots[i]->GetBoundingSphere();
    if (i == 0) {
      m_record.m_centre = s.m_centre;
      m_record.m_radius = s.m_radius;
      m_record.m_cull = s.m_cull;
    }
  }
  return m_record;
}

void VQCellNode::Render(int depth) {
  if (!m_enabled) return;
  if (g_VQrender.m_viewport && g_VQrender.m_viewport->m_portalMode) {
    const int32_t i = Camera() ? Camera()->m_cellIndex : -1;
    if (i >= 0 && uint32_t(i) < m_count && m_slots[i]) m_slots[i]->Render(depth + 1);
    return;
  }
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i]) m_slots[i]->Render(depth + 1);
}

// A portal belongs to the nearest cell above it: a nested cell keeps its own portals.
static void LinkPortalsBelow(VQNode* node, VQCellNode* cell) {
  for (uint32_t i = 0; i < node->ChildCount(); ++i) {
    VQNode* child = node->ChildAt(i);
    if (!child) continue;
    if (child->m_type == VQNODE_PORTAL) static_cast<VQPortalNode*>(child)->m_cell = cell;
    if (child->m_type != VQNODE_CELL) LinkPortalsBelow(child, cell);
  }
}

void VQCellNode::LinkPortals() { LinkPortalsBelow(this, this); }

// ---- Light ---------------------------------------------------------------------------------------

VQLightNode::VQLightNode(uint32_t userId) : VQSingleChildNode(VQNODE_LIGHT, userId) {}

void VQLightNode::Render(int depth) {
  if (!m_enabled || !m_child || m_busy) return;
  VQRenderContext& rc = g_VQrender;
  m_busy = 1;
  m_placement = rc.Top();
  // More nested lights than the light stack holds: the child is drawn without this light.
  if (rc.m_lightCount >= VQRENDER_MAX_LIGHTS) {
    m_child->Render(depth + 1);
    m_busy = 0;
    return;
  }
  const uint32_t index = rc.m_lightCount;
  rc.m_lights[index] = this;
  const bool lighting = Lighting() && Display();
  if (lighting) Display()->EnableLight(this, index);
  rc.m_lightCount++;
  m_child->Render(depth + 1);
  rc.m_lightCount--;
  if (lighting) Display()->DisableLight(this, rc.m_lightCount);
  m_busy = 0;
}

// ---- Fog -----------------------------------------------------------------------------------------

void VQFogNode::Render(int depth) {
  if (!m_enabled || !m_child) return;
  VQRenderContext& rc = g_VQrender;
  VQDisplayDevice* dev = Display();
  VQFogNode* kept = rc.m_fog;
  if (kept && dev) dev->FogOff(kept);
  if (m_mode != 0 && dev) dev->FogOn(this);
  rc.m_fog = this;
  m_child->Render(depth + 1);
  rc.m_fog = kept;
  if (m_mode != 0 && dev) dev->FogOff(this);
  if (kept && dev) dev->FogOn(kept);
}

// ---- Callback ------------------------------------------------------------------------------------

void VQCallbackNode::Render(int depth) {
  if (!m_enabled) return;
  bool draw = true;
  if (m_callback) draw = m_callback(this, m_userWord);
  if (m_child && draw) m_child->Render(depth + 1);
}

// ---- Geoset node ---------------------------------------------------------------------------------

VQGeosetNode::VQGeosetNode(VQGeoset* geoset, uint32_t userId) : VQNode(VQNODE_GEOSET, userId) {
  if (geoset) SetGeoset(geoset);
}

VQGeosetNode::~VQGeosetNode() {
  SetMattable(nullptr);
  SetGeoset(nullptr);
}

void VQGeosetNode::SetGeoset(VQGeoset* geoset) {
  if (geoset) geoset->m_refCount++;
  VQGeoset::Release(m_geoset);
  m_geoset = geoset;
}

void VQGeosetNode::SetMattable(VQMattable* table) {
  if (table) table->m_refCount++;
  if (m_table) {
    if (m_table->m_refCount > 0) m_table->m_refCount--;
    if (m_table->m_refCount == 0) VQMattable::Release(m_table);
  }
  m_table = table;
}

void VQGeosetNode::DeleteChildren() {
  SetMattable(nullptr);
  SetGeoset(nullptr);
}

void VQGeosetNode::Translate(const VQVector& v) {
  if (m_geoset) m_geoset->Translate(v);
}

void VQGeosetNode::PrepareDevice() {
  if (m_geoset) m_geoset->PrepareDevice();
}

void VQGeosetNode::Mirror(const VQVector& n, float d) {
  if (m_geoset) m_geoset->Mirror(n, d);
}

bool VQGeosetNode::IntersectRay(const VQVector& o, const VQVector& d, VQRayHit* hit) {
  if (!m_geoset) return false;
  VQRayHit h;
  if (!m_geoset->IntersectRay(o, d, &h)) return false;
  h.m_node = this;
  if (hit) *hit = h;
  return true;
}

VQBoundingSphere VQGeosetNode::GetBoundingSphere() {
  VQBoundingSphere s;
  if (!m_geoset) return s;
  m_geoset->GetBoundingSphere(s.m_centre, s.m_radius);
  m_geoset->m_centre = s.m_centre;
  m_geoset->m_radius = s.m_radius;
  return s;
}

void VQGeosetNode::GetStoredSphere(VQVector& centre, float& radius) {
  if (!m_geoset) {
    centre.Set(0, 0, 0);
    radius = -1.0f;
    return;
  }
  centre = m_geoset->m_centre;
  radius = m_geoset->m_radius;
}

void VQGeosetNode::Render(int) {
  // A geoset drawn without a material table would hand the device a null table; such a node
  // draws nothing.
  if (!m_enabled || !m_geoset || !m_table) return;
  m_geoset->Draw(m_table, g_VQrender.Top(), g_VQrender.m_lights, g_VQrender.m_lightCount, 0, 0, 0);
}

VQNode* VQGeosetNode::Clone(bool copyGeometry, bool copyMaterials) {
  VQGeosetNode* clone = NewClone<VQGeosetNode>(nullptr, m_userId);
  if (!clone) return nullptr;
  CopyBaseFields(this, clone);
  clone->m_nodeWord = m_nodeWord;
  // A copy that cannot be made fails the clone: with the copy's own code, else out of memory.
  auto copyFailed = [&](bool recorded) {
    if (!recorded) g_VQerror = VQERR_OUT_OF_MEMORY;
    return AbandonClone(clone);
  };
  if (m_table) {
    if (copyMaterials) {
      VQMattable* t = nullptr;
      const bool clean = ClonePart([&] { return (t = VQMattable::Clone(m_table, true)) != nullptr; });
      if (!t) return copyFailed(!clean);
      clone->SetMattable(t);
    } else {
      clone->SetMattable(m_table);
    }
  }
  if (m_geoset) {
    if (copyGeometry) {
      VQGeoset* g = nullptr;
      const bool clean = ClonePart([&] { return (g = VQGeoset::Clone(m_geoset)) != nullptr; });
      if (!g) return copyFailed(!clean);
      clone->SetGeoset(g);
    } else {
      clone->SetGeoset(m_geoset);
    }
  }
  return clone;
}

// ---- Effect node ---------------------------------------------------------------------------------

VQEffectNode::VQEffectNode() : VQNode(VQNODE_EFFECT, 0) { m_sphere = &m_record; }

VQEffectNode::~VQEffectNode() { delete m_effect; }

void VQEffectNode::SetEffect(VQEffect* effect) {
  m_effect = effect;
  if (effect) effect->m_owner = this;
}

void VQEffectNode::GetStoredSphere(VQVector& centre, float& radius) {
  centre = m_sphere->m_centre;
  radius = m_sphere->m_radius;
}

void VQEffectNode::Render(int) {
  // The enabled flag is not consulted: an effect keeps drawing (its owner stops it).
  if (!m_effect) return;
  const VQMatrix& model = g_VQrender.Top();
  VQVector c;
  model.TransformPoint(c, m_sphere->m_centre);
  if (m_effect->IsTransparent()) {
    VQrender_AddTransparent(nullptr, nullptr, m_effect, c.y, nullptr, model, c, g_VQrender.m_lights,
                            g_VQrender.m_lightCount);
  } else {
    m_effect->Draw();
  }
}
