// The paint shop between the menus: the skin editor runs on the menu car of the chosen class,
// its result waits in the Program until the player names and saves it (or discards it).
#include "QVX/menu/Menu.h"
#include "QVX/shell/Program.h"
#include "QVX/SkinEditor/SkinEditor.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/scene/VQNode.h"

namespace {

constexpr int32_t kPaintShopPage = 51;
constexpr int32_t kSaveSkinPage = 54;

void EnableNode(VQNode* scene, const char* name, bool on) {
  if (VQNode* node = scene ? scene->FindByName(name) : nullptr) node->m_enabled = on ? 1 : 0;
}

}  // namespace

bool Program::RunSkinEditor() {
  MenuState& s = m_ms;
  m_skinEditorPending = 0;
  if (m_classCount == 0) return false;
  if (m_skinClass < 0 || uint32_t(m_skinClass) >= m_classCount) m_skinClass = 0;
  Log("Skin editor for class '%s'", m_classes[m_skinClass]->m_name);

  // The menu car leaves the menu scene for the editor's turntable.
  VQNode* car = s.car1.model;
  if (car && s.car1.group) s.car1.group->RemoveChild(car);
  s.car1.model = nullptr;
  if (m_menu) m_menu->HideAllPages();
  EnableNode(s.menuScene, "x_controller", false);

  // What the editor replaces while it runs: the frame callback and the canvas hooks.
  const auto update = g_VQsystem.m_updateCallback;
  const uintptr_t updateWord = g_VQsystem.m_updateUserData;
  VQCanvasCallback hooks[3] = {};
  uintptr_t hookWords[3] = {};
  if (m_canvas) {
    hooks[0] = m_canvas->m_preFrame;
    hooks[1] = m_canvas->m_postScene;
    hooks[2] = m_canvas->m_lastCallback;
    hookWords[0] = m_canvas->m_preFrameWord;
    hookWords[1] = m_canvas->m_postSceneWord;
    hookWords[2] = m_canvas->m_lastWord;
  }

  m_skinResult.Release();
  std::string reason;
  bool closed = false;
  m_skinEditorRunning = 1;
  const bool ran =
      SkinEditor_Run(this, uint32_t(m_skinClass), car, &m_skinResult, &reason, &closed);
  m_skinEditorRunning = 0;

  g_VQsystem.m_stop = 0;
  g_VQsystem.m_updateCallback = update;
  g_VQsystem.m_updateUserData = updateWord;
  if (m_canvas)
    m_canvas->SetCallbacks(hooks[0], hookWords[0], hooks[1], hookWords[1], hooks[2], hookWords[2]);
  EnableNode(s.menuScene, "x_controller", true);
  if (s.menuScene) s.menuScene->m_enabled = 1;
  if (car && s.car1.group && s.car1.group->AddChild(car)) s.car1.model = car;

  if (closed) {
    // The window was closed inside the editor: the game ends as it does from the menus.
    m_skinResult.Release();
    s.closed = m_quit = 1;
    return ran;
  }
  if (!ran) {
    // A refused start leaves nothing of the editor behind; the paint shop page comes back.
    Log("Skin editor refused: %s", reason.c_str());
    ShowMessage(reason.c_str(), Text(5900));
    if (m_menu) m_menu->ShowPage(kPaintShopPage);
    return false;
  }
  Log("Skin editor left");
  if (m_menu) m_menu->ShowPage(kSaveSkinPage);
  return true;
}

bool Program::SaveSkin(const char* name, std::string* reason) {
  if (!m_skinResult.texture) {
    if (reason) *reason = "There is no painted skin to save";
    return false;
  }
  if (m_skinClass < 0 || uint32_t(m_skinClass) >= m_classCount) m_skinClass = 0;
  return SkinFiles_Save(this, uint32_t(m_skinClass), name, &m_skinResult, reason);
}
