// Scene files of the sample data tree, built in code and written with the engine's scene writer.
#include <cstdio>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"
#include "Zentri/util/VQerror.h"
#include "tools/datagen/datagen.h"

namespace datagen {
namespace {

// A one-material table; material names are global, so each carries its file's prefix.
VQMattable* Table(const std::string& name, const char* texture, float r, float g, float b) {
  VQMattable* t = VQMattable::Create(0);
  t->Resize(1);
  VQMaterial* m = VQMaterial::Create(name.c_str());
  m->SetDefaults();
  VQColor_Set(m->m_diffuse, r, g, b, 1.0f);
  if (texture) {
    m->m_stageCount = 1;
    m->SetStageTextureName(0, texture);
  }
  t->Set(m, 0);
  return t;
}

VQGeosetNode* Box(const std::string& name, const std::string& material, uint32_t n, float size, float r, float g,
                  float b, const char* texture = nullptr) {
  VQGeosetNode* node = new VQGeosetNode(VQscene_MakeGridGeoset(n, size, 1), 0);
  node->SetName(name.c_str());
  node->SetMattable(Table(material, texture, r, g, b));
  return node;
}

VQTransformNode* Place(const char* name, float x, float y, float z, VQNode* child) {
  auto* t = new VQTransformNode(0);
  if (name) t->SetName(name);
  t->SetPosition(VQVector(x, y, z));
  if (child) t->SetChild(child);
  return t;
}

void Write(VQNode* root, const std::string& path) {
  const bool ok = VQscene_WriteDatabase(root, path.c_str(), 11);
  VQNode::Destroy(root);
  if (!ok) Fail("cannot write " + path + " (" + VQerror_Describe(g_VQerror) + ")");
}

}  // namespace

void SetModulatedTexture(VQMaterial* m, const char* texture) {
  // Stage settings: 1 and 2 the colour arguments, 3 and 4 the alpha arguments, 5 the alpha
  // operation; argument 3 is the texture, 2 the material's colour.
  m->m_stageCount = 1;
  m->SetStageTextureName(0, texture);
  m->m_stages[0].m_operation = VQSTAGEOP_MODULATE;
  m->m_stages[0].m_settings[1] = 3;
  m->m_stages[0].m_settings[2] = 2;
  m->m_stages[0].m_settings[3] = 3;
  m->m_stages[0].m_settings[4] = 2;
  m->m_stages[0].m_settings[5] = VQSTAGEOP_MODULATE;
}

void WriteMenuTrack(const std::string& path, const std::string& track, uint32_t seed) {
  auto* root = new VQRootNode(1);
  root->SetName("menutrack");
  auto* group = new VQGroupNode(2);
  group->SetName("g_main");
  root->SetChild(group);
  const float shade = 0.3f + 0.1f * float(seed % 5);
  group->AddChild(Box("m_ground", "mt_" + track + "_ground", 4, 60.0f, 0.2f, shade, 0.2f, "ground.tga"));
  group->AddChild(Place("x_road", 0, 0, 0.1f, Box("m_road", "mt_" + track + "_road", 8, 40.0f, 0.3f, 0.3f, 0.3f, "road.tga")));
  Write(root, path);
}

void WriteMenuScene(const std::string& path) {
  auto* root = new VQRootNode(1);
  root->SetName("menuscene");
  auto* group = new VQGroupNode(2);
  group->SetName("g_menu");
  root->SetChild(group);
  group->AddChild(Place("x_background", 0, 40, -5, Box("m_background", "ms_background", 2, 120.0f, 0.1f, 0.1f, 0.3f, "menu_back.tga")));
  group->AddChild(Place("x_foreground", 0, 10, 0, Box("m_foreground", "ms_foreground", 2, 30.0f, 0.3f, 0.3f, 0.5f)));
  auto* controller = Place("x_controller", 0, 5, 1, nullptr);
  auto* pads = new VQGroupNode(3);
  pads->AddChild(Box("m_controller", "ms_controller", 1, 2.0f, 0.8f, 0.8f, 0.8f));
  pads->AddChild(Box("m_controllerp2", "ms_controllerp2", 1, 2.0f, 0.6f, 0.6f, 0.9f));
  controller->SetChild(pads);
  group->AddChild(controller);
  // The podium and preview places 1 to 3.
  const float x[3] = {0.0f, -3.0f, 3.0f}, z[3] = {1.5f, 1.0f, 0.5f};
  for (int i = 0; i < 3; ++i) {
    char name[2] = {char('1' + i), 0};
    group->AddChild(Place(nullptr, x[i], 0, z[i], Box(name, std::string("ms_place") + name, 1, 2.5f, 0.7f, 0.7f, 0.7f)));
  }
  Write(root, path);
}

void WritePrizesScene(const std::string& path) {
  auto* root = new VQRootNode(1);
  root->SetName("prizes");
  auto* group = new VQGroupNode(2);
  root->SetChild(group);
  static const float kColours[4][3] = {{1.0f, 0.84f, 0.0f}, {0.75f, 0.75f, 0.75f}, {0.8f, 0.5f, 0.2f}, {0.4f, 0.4f, 0.4f}};
  for (int i = 0; i < 4; ++i) {
    char name[2] = {char('1' + i), 0};
    char texture[32];
    std::snprintf(texture, sizeof texture, "prize%d.tga", i + 1);
    group->AddChild(Place(nullptr, float(i) * 3.0f, 0, 0,
                          Box(name, std::string("pz_prize") + name, 1, 2.0f, kColours[i][0], kColours[i][1],
                              kColours[i][2], texture)));
  }
  Write(root, path);
}

void WriteMenuCar(const std::string& path, const std::string& cls, uint8_t r, uint8_t g, uint8_t b) {
  auto* root = new VQRootNode(1);
  root->SetName("menucar");
  auto* group = new VQGroupNode(2);
  group->SetName("g_body");
  root->SetChild(group);
  group->AddChild(Place("x_body", 0, 0, 0.5f, Box("m_body", "mc_" + cls + "_body", 2, 4.0f, r / 255.0f, g / 255.0f, b / 255.0f, "paint.tga")));
  static const char* const kWheels[4] = {"lf", "rf", "lr", "rr"};
  static const float kAt[4][2] = {{-0.8f, 1.3f}, {0.8f, 1.3f}, {-0.8f, -1.3f}, {0.8f, -1.3f}};
  for (int i = 0; i < 4; ++i) {
    const std::string w = kWheels[i];
    group->AddChild(Place(("x_whl_" + w).c_str(), kAt[i][0], kAt[i][1], 0.3f,
                          Box("m_whl_" + w, "mc_" + cls + "_whl_" + w, 1, 0.6f, 0.1f, 0.1f, 0.1f, "wheels.tga")));
  }
  Write(root, path);
}

}  // namespace datagen
