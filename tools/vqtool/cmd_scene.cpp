// Scene database commands:
//   vqtool scene-info FILE       the node tree with types, names, counts, geosets and tables
//   vqtool scene-demo OUT.vqo    writes a scene built in code with every node type the file holds,
//                                and its textures in the folder Textures beside it
//   vqtool scene-vrml IN OUT.wrl exports a database as VRML 1.0
// Textures are not loaded: the tools read the stored texture names only.
#include <cstdio>
#include <string>
#include <vector>

#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "tools/vqtool/vqtool.h"

namespace {

struct Counts {
  uint32_t nodes = 0, geosetNodes = 0, triangles = 0;
};

bool CountNode(VQNode* node, void* context) {
  auto* c = static_cast<Counts*>(context);
  c->nodes++;
  if (node->m_type == VQNODE_GEOSET) {
    c->geosetNodes++;
    auto* g = static_cast<VQGeosetNode*>(node)->m_geoset;
    if (g && g->m_levelCount && g->m_meshes[0]) c->triangles += g->m_meshes[0]->m_triangleCount;
  }
  return true;
}

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vqtool scene-info FILE\n");
    return 2;
  }
  VQNode* root = nullptr;
  const uint32_t before = VQmaterial_LibraryCount();
  if (!VQscene_ReadDatabase(&root, args[0].c_str(), nullptr, 11, false)) {
    std::fprintf(stderr, "scene-info: cannot read %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  std::fputs(VQscene_Describe(root).c_str(), stdout);
  Counts c;
  if (root) root->Visit(CountNode, &c);
  std::printf("nodes %u, geoset nodes %u, triangles (level 0) %u, materials %u\n", c.nodes,
              c.geosetNodes, c.triangles, VQmaterial_LibraryCount() - before);
  VQNode::Destroy(root);
  return 0;
}

int Demo(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vqtool scene-demo OUT.vqo\n");
    return 2;
  }
  VQNode* root = VQscene_BuildDemo();
  // The demo's vertex colours are built in the file's order, so they are written unchanged.
  const bool ok = VQscene_WriteDatabase(root, args[0].c_str(), 11);
  VQNode::Destroy(root);
  if (!ok) {
    std::fprintf(stderr, "scene-demo: cannot write %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  // Its materials name "Textures\<name>.tga": the textures go into that folder beside the scene,
  // where vqview looks for them.
  const size_t slash = args[0].find_last_of('/');
  const std::string folder = (slash == std::string::npos ? std::string(".") : args[0].substr(0, slash)) + "/Textures";
  if (!VQfile_MakePath(folder.c_str()) || !VQscene_WriteDemoTextures(folder.c_str())) {
    std::fprintf(stderr, "scene-demo: cannot write the textures beside %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  return 0;
}

int Vrml(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: vqtool scene-vrml IN OUT.wrl\n");
    return 2;
  }
  VQNode* root = nullptr;
  if (!VQscene_ReadDatabase(&root, args[0].c_str(), nullptr, 11, false)) {
    std::fprintf(stderr, "scene-vrml: cannot read %s (%s)\n", args[0].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  // The root and structural nodes above the first group carry no geometry of their own.
  VQNode* top = root;
  while (top && top->m_type != VQNODE_GROUP && top->m_type != VQNODE_GEOSET && top->GetChild())
    top = top->GetChild();
  const bool ok = VQscene_ExportVRML(top, args[1].c_str());
  VQNode::Destroy(root);
  if (!ok) {
    std::fprintf(stderr, "scene-vrml: cannot write %s (%s)\n", args[1].c_str(), VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  return 0;
}

const VQToolCommand s_info("scene-info", "scene-info FILE", "describe a scene database", Info,
                            "FILE: a scene database (.vqo): nodes, geosets, textures and materials");
const VQToolCommand s_demo("scene-demo", "scene-demo OUT.vqo", "write a sample scene database", Demo,
                            "OUT.vqo: a scene database: a ground and two floors as collider meshes (terrain-build\n"
                           "reads them), glass panes, a tree of three detail levels, a building of two rooms\n"
                           "joined by portals, a light and fog; its textures glass_0.tga, road_0.tga, road_2.tga\n"
                           "and detail.tga are written into the folder Textures beside OUT.vqo");
const VQToolCommand s_vrml("scene-vrml", "scene-vrml IN OUT.wrl", "export a scene database as VRML 1.0",
                           Vrml, "IN: a scene database (.vqo); OUT.wrl: VRML 1.0 text");

}  // namespace
