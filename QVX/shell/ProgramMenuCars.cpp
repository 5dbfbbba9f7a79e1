// The cars and tracks beside the menus: the three preview viewports of the menu screen (first
// car, second car, track), the menu car scenes of the racing classes with their body and wheel
// material tables, the car paint (the skin as the body texture, opaque or see-through), and the
// menu track scenes.
#include <strings.h>
#include <cmath>
#include <cstdio>
#include <new>

#include "QVX/race/Player.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQViewport.h"

namespace {

const char* const kWheelNodes[4] = {"m_whl_lf", "m_whl_rf", "m_whl_lr", "m_whl_rr"};
const VQVector kMenuCarOffset(0.0f, -0.25f, -0.2f);

VQGeosetNode* Geoset(VQNode* scene, const char* name) {
  return scene ? dynamic_cast<VQGeosetNode*>(scene->FindByName(name)) : nullptr;
}

}  // namespace

RacingClass* Program::FindCar(const char* name) const {
  if (!name) return nullptr;
  for (uint32_t i = 0; i < m_classCount; ++i)
    if (strcasecmp(m_classes[i]->m_name, name) == 0) return m_classes[i];
  return nullptr;
}

VQNode* Program::LoadMenuCar(uint32_t classIndex) {
  if (classIndex >= m_classCount || classIndex >= CLASS_MAX || !m_displayDevice) return nullptr;
  MenuCarScene& car = m_ms.menuCars[classIndex];
  if (car.scene) return car.scene;
  RacingClass* cls = m_classes[classIndex];
  if (m_textureManager) m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
  const std::string path = DataFolder(DATAFOLDER_CARS) + "\\menucar_" + cls->m_name + ".vqo";
  VQNode* scene = m_displayDevice->ReadSceneFile(path.c_str(), 1, 0);
  if (!scene) {
    // A class without its menu car cannot be shown; the menus go on without the preview.
    Error("Cannot load '%s'", path.c_str());
    return nullptr;
  }
  scene->Translate(kMenuCarOffset);
  // The body and first wheel give their tables to the class; the menus set painted copies.
  if (VQGeosetNode* body = Geoset(scene, "m_body")) {
    car.bodyTable = body->m_table;
    if (car.bodyTable) ++car.bodyTable->m_refCount;
    body->SetMattable(nullptr);
  }
  for (int w = 0; w < 4; ++w) {
    VQGeosetNode* wheel = Geoset(scene, kWheelNodes[w]);
    if (!wheel) continue;
    if (w == 0) {
      car.wheelTable = wheel->m_table;
      if (car.wheelTable) ++car.wheelTable->m_refCount;
    }
    wheel->SetMattable(nullptr);
  }
  car.scene = scene;
  return scene;
}

VQNode* Program::LoadMenuTrack(uint32_t trackIndex) {
  if (trackIndex >= m_trackCount || !m_displayDevice) return nullptr;
  TrackEntry& track = m_tracks[trackIndex];
  if (track.scene) return track.scene;
  if (m_textureManager)
    m_textureManager->SetFolder((DataFolder(m_textureFolder) + "\\" + track.name).c_str(), false);
  const std::string path = DataFolder(DATAFOLDER_TRACKS) + "\\menutrack_" + track.name + ".vqo";
  track.scene = m_displayDevice->ReadSceneFile(path.c_str(), 1, 0);
  if (m_textureManager) m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
  return track.scene;
}

VQMattable* Program::SetMenuCarPaint(uint32_t classIndex, uint32_t skinIndex, float alpha,
                                     bool paintNumber, int32_t number, bool makePaint,
                                     VQTexture** paint) {
  if (paint) *paint = nullptr;
  if (classIndex >= m_classCount || classIndex >= CLASS_MAX) return nullptr;
  const MenuCarScene& car = m_ms.menuCars[classIndex];
  if (!car.bodyTable) return nullptr;
  VQMattable* table = VQMattable::Clone(car.bodyTable, true);
  if (!table) return nullptr;
  const RacingClass* cls = m_classes[classIndex];
  if (makePaint && skinIndex < cls->m_skins.size() && table->m_count > 0 && table->m_slots[0]) {
    // The same paint as the race car's: the skin with the number on a copy.
    if (VQTexture* made = MakeCarPaint(cls->m_skins[skinIndex]->imagePath.c_str(), number,
                                       classIndex, paintNumber)) {
      VQMaterial* first = table->m_slots[0];
      if (first->m_stageCount == 0) first->m_stageCount = 1;
      first->m_stages[0].m_texture = made;
      if (paint) *paint = made;
    }
  }
  if (alpha >= 0.0f) {
    // Exactly 1 is opaque; anything less blends by the source alpha.
    const bool opaque = alpha == 1.0f;
    for (uint32_t i = 0; i < table->m_count; ++i) {
      VQMaterial* m = table->m_slots[i];
      if (!m) continue;
      m->m_opacity = alpha;
      m->m_diffuse.a = alpha;
      m->m_srcBlend = opaque ? 1 : 2;
      m->m_dstBlend = opaque ? 0 : 3;
    }
    table->m_hasTransparent = opaque ? 0 : 1;
  }
  return table;
}

VQMattable* Program::SetMenuCarWheels(uint32_t classIndex, uint32_t skinIndex, bool withTexture) {
  if (classIndex >= m_classCount || classIndex >= CLASS_MAX) return nullptr;
  const MenuCarScene& car = m_ms.menuCars[classIndex];
  if (!car.wheelTable) return nullptr;
  VQMattable* table = VQMattable::Clone(car.wheelTable, true);
  if (!table || table->m_count == 0 || !table->m_slots[0]) return table;
  VQMaterial* first = table->m_slots[0];
  if (!withTexture) {
    first->m_stages[0].m_texture = nullptr;
    return table;
  }
  const RacingClass* cls = m_classes[classIndex];
  VQTexture* texture = nullptr;
  if (m_textureManager && skinIndex < cls->m_skins.size() &&
      !cls->m_skins[skinIndex]->wheels.empty()) {
    m_textureManager->SetFolder(DataFolder(DATAFOLDER_MAPS_WHEELS).c_str(), true);
    texture =
        m_textureManager->Load(cls->m_skins[skinIndex]->wheels.c_str(), 0, true, true, 4096, 4096);
    m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
  }
  if (!texture && m_textureManager)
    texture = m_textureManager->Load("wheels", 0, true, true, 4096, 4096);
  if (texture) {
    if (first->m_stageCount == 0) first->m_stageCount = 1;
    first->m_stages[0].m_texture = texture;
  }
  return table;
}

int32_t Program::PlayerRaceNumber(uint32_t player) const {
  const Player* p = player < m_playerCount ? m_players[player] : nullptr;
  return p && p->m_profile.number > 0 ? p->m_profile.number : 1;
}

void Program::ReleaseMenuCarPaint(MenuPreview& preview) {
  // The shown car lets go of its painted tables before the paint goes.
  if (preview.model)
    for (const char* name : {"m_body", "m_whl_lf", "m_whl_rf", "m_whl_lr", "m_whl_rr"})
      if (VQGeosetNode* node = Geoset(preview.model, name)) node->SetMattable(nullptr);
  if (preview.paint && m_textureManager) m_textureManager->Release(preview.paint);
  preview.paint = nullptr;
}

void Program::ShowMenuCar(uint32_t classIndex, int which, uint32_t skinIndex, float alpha) {
  MenuPreview& preview = which == 0 ? m_ms.car1 : m_ms.car2;
  if (!preview.group) return;
  ReleaseMenuCarPaint(preview);
  if (preview.model) preview.group->RemoveChild(preview.model);
  preview.model = nullptr;
  VQNode* scene = LoadMenuCar(classIndex);
  if (!scene) return;
  if (VQGeosetNode* body = Geoset(scene, "m_body")) {
    // The second player's car wears that player's number when there is a second player.
    const uint32_t owner = which == 1 && m_playerCount > 1 ? 1 : 0;
    const RacingClass* cls = m_classes[classIndex];
    const bool numbers = skinIndex < cls->m_skins.size() && cls->m_skins[skinIndex]->numbers;
    body->SetMattable(SetMenuCarPaint(classIndex, skinIndex, alpha, numbers,
                                      PlayerRaceNumber(owner), true, &preview.paint));
  }
  for (const char* name : kWheelNodes)
    if (VQGeosetNode* wheel = Geoset(scene, name))
      wheel->SetMattable(SetMenuCarWheels(classIndex, skinIndex, true));
  if (preview.group->AddChild(scene)) preview.model = scene;
  preview.alpha = alpha;
}

void Program::ShowMenuTrack(uint32_t trackIndex) {
  MenuPreview& preview = m_ms.track;
  if (!preview.group) return;
  if (preview.model) preview.group->RemoveChild(preview.model);
  preview.model = nullptr;
  if (VQNode* scene = LoadMenuTrack(trackIndex))
    if (preview.group->AddChild(scene)) preview.model = scene;
}

bool Program::CreateMenuPreviews() {
  if (!m_canvas) return true;
  const float w = float(m_canvas->m_width), h = float(m_canvas->m_height);
  struct Place {
    MenuPreview* preview;
    const char* name;
    float y;
    bool track;
  };
  const Place places[3] = {{&m_ms.track, "Menutrack Viewport", 0.4f, true},
                           {&m_ms.car2, "Menucar 2 Viewport", 0.0f, false},
                           {&m_ms.car1, "Menucar 1 Viewport", 0.3f, false}};
  for (const Place& p : places) {
    MenuPreview& v = *p.preview;
    v.camera = new (std::nothrow) VQCamera();
    v.viewport = m_canvas->CreateViewport(int32_t(0.6f * w), int32_t(p.y * h), int32_t(0.4f * w),
                                          int32_t(0.45f * h));
    if (!v.camera || !v.viewport) return false;
    v.viewport->SetName(p.name);
    v.viewport->m_clearFlags = 2;  // depth only: the menu scene shows behind the model
    auto* root = new (std::nothrow) VQRootNode();
    auto* light = new (std::nothrow) VQLightNode();
    auto* place = new (std::nothrow) VQTransformNode();
    auto* group = new (std::nothrow) VQGroupNode();
    if (!root || !light || !place || !group) {
      delete root;
      delete light;
      delete place;
      delete group;
      return false;
    }
    light->m_direction = VQVector(0.3f, -0.6f, -0.7f);
    light->m_diffuse = VQColor(1, 1, 1, 1);
    light->m_ambient = VQColor(0.4f, 0.4f, 0.4f, 1);
    place->SetPosition(VQVector(0.1f, 0.0f, p.track ? -0.8f : -0.2f));
    place->SetRotation(VQVector(0.0f, 0.0f, -1.5707964f));
    root->SetChild(light);
    light->SetChild(place);
    place->SetChild(group);
    v.scene = root;
    v.group = group;
    v.camera->m_near = 0.1f;
    v.camera->m_far = 10.0f;
    v.camera->Rotate(VQVector(p.track ? -0.4f : -0.5f, 0.0f, 0.0f), 0);
    v.camera->Translate(VQVector(0.0f, p.track ? -1.8f : -1.7f, 0.0f), 1);
    v.viewport->SetCamera(v.camera);
    v.viewport->m_root = root;
    v.viewport->m_active = 0;
  }
  return true;
}

void Program::DestroyMenuPreviews() {
  for (MenuPreview* v : {&m_ms.car1, &m_ms.car2, &m_ms.track}) {
    // The kept scenes (menu cars and tracks) belong to their tables, not to the preview.
    ReleaseMenuCarPaint(*v);
    if (v->group && v->model) v->group->RemoveChild(v->model);
    v->model = nullptr;
    if (v->viewport) {
      v->viewport->SetCamera(nullptr);
      v->viewport->m_root = nullptr;
      if (m_canvas && CanvasAlive()) m_canvas->RemoveViewport(v->viewport);
      delete v->viewport;
    }
    v->viewport = nullptr;
    VQNode::Destroy(v->scene);
    v->scene = v->group = nullptr;
    delete v->camera;
    v->camera = nullptr;
  }
}

void Program::FreeMenuCars() {
  for (MenuCarScene& car : m_ms.menuCars) {
    if (car.scene) {
      for (const char* name : {"m_body", "m_whl_lf", "m_whl_rf", "m_whl_lr", "m_whl_rr"})
        if (VQGeosetNode* node = Geoset(car.scene, name)) node->SetMattable(nullptr);
      VQNode::Destroy(car.scene);
    }
    if (car.bodyTable && --car.bodyTable->m_refCount == 0) VQMattable::Release(car.bodyTable);
    if (car.wheelTable && --car.wheelTable->m_refCount == 0) VQMattable::Release(car.wheelTable);
    car = MenuCarScene();
  }
}
