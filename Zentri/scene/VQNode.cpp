#include "Zentri/scene/VQNode.h"

#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQStrings.h"

VQRenderContext g_VQrender;

VQEffect::~VQEffect() = default;

VQNode::VQNode(uint32_t type, uint32_t userId) : m_type(type), m_userId(userId) {}

VQNode::~VQNode() { std::free(m_name); }

void VQNode::SetName(const char* text) {
  std::free(m_name);
  m_name = VQstrdup(text);
}

bool VQNode::Detach() { return m_parent ? m_parent->RemoveChild(this) : true; }

void VQNode::Destroy(VQNode* node) {
  if (!node) return;
  if (node->m_parent) node->m_parent->RemoveChild(node);
  node->DeleteChildren();
  delete node;
}

void VQNode::CopyBaseFields(const VQNode* source, VQNode* clone) {
  clone->m_type = source->m_type;
  clone->m_userId = source->m_userId;
  // The clone is not linked anywhere yet: keeping the source's parent would let a later
  // Destroy or AddChild unlink the source's sibling slot instead.
  clone->m_parent = nullptr;
  clone->m_enabled = source->m_enabled;
  clone->SetName(source->m_name);
  clone->m_word = source->m_word;
  if (source->m_sphere && clone->m_sphere) *clone->m_sphere = *source->m_sphere;
}

void VQNode::BoundsChanged() {
  if (m_parent) m_parent->BoundsChanged();
}

bool VQnode_WildcardMatch(const char* a, const char* b) {
  if (!a || !b) return false;
  for (;; ++a, ++b) {
    if (*a == *b) {
      if (*a == 0) return true;
      continue;
    }
    return *a == '*' || *b == '*';
  }
}

VQNode* VQNode::FindByName(const char* name) {
  return (m_name && VQnode_WildcardMatch(m_name, name)) ? this : nullptr;
}

VQNode* VQNode::FindById(uint32_t userId) { return m_userId == userId ? this : nullptr; }

bool VQNode::Visit(VQVisitCallback callback, void* context) {
  return callback ? callback(this, context) : true;
}

// ---- Render context ---------------------------------------------------------------------------

bool VQRenderContext::PushModel(const VQMatrix& m) {
  if (m_matrixCount >= VQRENDER_MAX_MATRICES) return false;
  if (m_matrixCount == 0) {
    m_matrices[0] = m;
  } else {
    VQMatrix_Multiply(m_matrices[m_matrixCount], m, m_matrices[m_matrixCount - 1]);
  }
  m_matrixCount++;
  m_matrixChanged = 1;
  return true;
}

void VQRenderContext::PopModel() {
  if (m_matrixCount > 0) m_matrixCount--;
  m_matrixChanged = 1;
}

void VQrender_AddTransparent(VQMesh* mesh, VQGeoset* geoset, VQEffect* effect, float depth,
                             VQMattable* table, const VQMatrix& model, const VQVector& centre,
                             VQLightNode* const* lights, uint32_t lightCount) {
  VQRenderContext& rc = g_VQrender;
  if (rc.m_transparentCount >= VQRENDER_MAX_TRANSPARENT - 1) return;
  uint32_t pos = 0;
  while (pos < rc.m_transparentCount && !(rc.m_list[pos]->m_depth > depth)) pos++;
  for (uint32_t i = rc.m_transparentCount; i > pos; --i) rc.m_list[i] = rc.m_list[i - 1];
  VQTransparentRecord* r = &rc.m_records[rc.m_transparentCount];
  rc.m_list[pos] = r;
  r->m_depth = depth;
  r->m_mesh = mesh;
  r->m_geoset = geoset;
  r->m_effect = effect;
  r->m_table = table;
  r->m_model = model;
  r->m_centre = centre;
  r->m_fog = rc.m_fog;
  if (lightCount > VQRENDER_MAX_LIGHTS) lightCount = VQRENDER_MAX_LIGHTS;
  for (uint32_t i = 0; i < lightCount; ++i) r->m_lights[i] = lights[i];
  r->m_lightCount = lightCount;
  r->m_left = rc.m_left;
  r->m_right = rc.m_right;
  r->m_top = rc.m_top;
  r->m_bottom = rc.m_bottom;
  if (rc.m_viewport) {
    r->m_x = rc.m_viewport->m_x;
    r->m_y = rc.m_viewport->m_y;
    r->m_width = rc.m_viewport->m_width;
    r->m_height = rc.m_viewport->m_height;
  } else {
    r->m_x = r->m_y = r->m_width = r->m_height = 0;
  }
  rc.m_transparentCount++;
}

void VQrender_DrawMesh(VQDisplayDevice* device, VQMesh* mesh, VQMattable* table,
                       const VQMatrix* modelView, const VQVector* viewPosition, uintptr_t w0,
                       uintptr_t w1, uintptr_t w2) {
  if (!device) return;
  device->DrawMesh(mesh, reinterpret_cast<uintptr_t>(table), reinterpret_cast<uintptr_t>(modelView),
                   reinterpret_cast<uintptr_t>(viewPosition), w0, w1, w2);
}

VQMesh* VQrender_CreateMesh(VQDisplayDevice* device, uint32_t vertices, uint32_t triangles,
                            uint32_t extra, bool normals, bool colours, bool texCoords) {
  if (!device) return nullptr;
  return device->CreateMesh(vertices, triangles, extra, normals, colours, texCoords);
}
