// VRML 1.0 export: geoset nodes as indexed face sets with their materials, one way only.
#include <cstdarg>
#include <cstdio>

#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"

namespace {

struct VrmlWriter {
  FILE* f;
  int level = 0;
  bool ok = true;

  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    for (int i = 0; i < level; ++i) std::fputc('\t', f);
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
  }
  void Open(const char* keyword) {
    Line("%s\n", keyword);
    Line("{\n");
    level++;
  }
  void Close() {
    level--;
    Line("}\n");
  }

  void Material(const VQMaterial* m) {
    Open("Material");
    Line("ambientColor %.3f %.3f %.3f\n", m->m_ambient.r, m->m_ambient.g, m->m_ambient.b);
    Line("diffuseColor  %.3f %.3f %.3f\n", m->m_diffuse.r, m->m_diffuse.g, m->m_diffuse.b);
    Line("specularColor %.3f %.3f %.3f\n", m->m_specular.r, m->m_specular.g, m->m_specular.b);
    Line("emissiveColor %.3f %.3f %.3f\n", m->m_emission.r, m->m_emission.g, m->m_emission.b);
    Line("shininess %.3f\n", m->m_shininess);
    Line("transparency %.3f\n", 1.0 - m->m_opacity);
    Close();
  }

  void Mesh(const VQMesh* m) {
    if (m->m_positions) {
      Open("Coordinate3");
      Line("point\n");
      Line("[\n");
      level++;
      for (uint32_t i = 0; i < m->m_vertexCount; ++i) {
        const VQVector& p = m->m_positions[i];
        Line("%.3f %.3f %.3f,\n", p.x, p.z, -p.y);
      }
      level--;
      Line("]\n");
      Close();
    }
    if (m->m_indices) {
      Open("IndexedFaceSet");
      Line("coordIndex\n");
      Line("[\n");
      level++;
      for (uint32_t i = 0; i < m->m_triangleCount; ++i)
        Line("%d, %d, %d, -1,\n", m->m_indices[3 * i], m->m_indices[3 * i + 1], m->m_indices[3 * i + 2]);
      level--;
      Line("]\n");
      Close();
    }
  }

  void Node(VQNode* node) {
    if (!node) return;
    Open("Separator");
    if (node->m_type == VQNODE_GROUP) {
      auto* g = static_cast<VQGroupNode*>(node);
      for (uint32_t i = 0; i < g->m_count; ++i) Node(g->m_slots[i]);
    } else if (node->m_type == VQNODE_GEOSET) {
      auto* n = static_cast<VQGeosetNode*>(node);
      if (n->m_table)
        for (uint32_t i = 0; i < n->m_table->m_count; ++i)
          if (n->m_table->m_slots[i]) Material(n->m_table->m_slots[i]);
      if (n->m_geoset)
        for (uint32_t i = 0; i < n->m_geoset->m_levelCount && i < VQGEOSET_MAX_LEVELS; ++i)
          if (n->m_geoset->m_meshes[i]) Mesh(n->m_geoset->m_meshes[i]);
    }
    Close();
  }
};

}  // namespace

bool VQscene_ExportVRML(VQNode* node, const char* path) {
  FILE* f = VQfile_Open(path, "wt");
  if (!f) return false;
  VrmlWriter w{f};
  std::fprintf(f, "%s\n\n", "#VRML V1.0 ascii");
  w.Open("Separator");
  w.Line("Info { string \"Produced by Kelmor Zentri VRML 1.0 exporter\" }\n");
  w.Open("ShapeHints");
  w.Line("shapeType SOLID\n");
  w.Line("vertexOrdering COUNTERCLOCKWISE\n");
  w.Line("faceType CONVEX\n");
  w.Close();
  w.Node(node);
  w.Close();
  const bool written = !std::ferror(f);
  if (std::fclose(f) != 0 || !written) return VQerror_Fail(VQERR_SYSTEM);
  return true;
}
