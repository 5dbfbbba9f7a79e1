// The screens between races: the intro, the menu screen with its idle race countdown and menu
// scene, and the outro; the screenshot key and the music titles they play.
#include <sys/stat.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QVX/menu/Menu.h"
#include "QVX/menu/MusicTrack.h"
#include "QVX/race/Player.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/LobbyMenus.h"
#include "QVX/shell/OptionsMenus.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQStrings.h"

namespace {

constexpr uint32_t kMenuScene = 25;  // data file "Menuscene.vqo"
constexpr uint32_t kTextureGroupIntro = 7;
constexpr float kStepCap = 1.0f;
constexpr float kSixtieth = 1.0f / 60.0f;
constexpr float kIntroScrollLength = 4500.0f;

float FrameStep() {
  const float t = g_VQsystem.m_frameTime;
  return (t > kStepCap || !(t > 0.0f)) ? kSixtieth : t;
}

bool FileExists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

// Handlers on the keyboard's stack: the Program comes as the context word.
bool IntroKey(uint32_t event, void* record, uintptr_t context) {
  if (event != VQEVENT_KEY || !record) return false;
  const auto* key = static_cast<const VQKeyEvent*>(record);
  if (!key->pressed) return false;
  reinterpret_cast<Program*>(context)->m_ms.introSkip = 1;
  return true;
}

bool OutroKey(uint32_t event, void* record, uintptr_t context) {
  if (event != VQEVENT_KEY || !record) return false;
  const auto* key = static_cast<const VQKeyEvent*>(record);
  if (!key->pressed) return false;
  reinterpret_cast<Program*>(context)->m_ms.outroSkip = 1;
  return true;
}

bool MenuKeyHandler(uint32_t event, void* record, uintptr_t context) {
  if (event != VQEVENT_KEY || !record) return false;
  const auto* key = static_cast<const VQKeyEvent*>(record);
  return reinterpret_cast<Program*>(context)->OnMenuKey(key->code, key->pressed != 0);
}

void OutroFrame(uintptr_t user);

// The root window's draw hook while the intro or outro runs: its pictures over the whole canvas.
bool DrawScreenPictures(VQWindow* window, VQCanvas* canvas, uintptr_t context) {
  auto* p = reinterpret_cast<Program*>(context);
  if (!p || !canvas) return true;
  const int32_t w = int32_t(canvas->m_width), h = int32_t(canvas->m_height);
  for (VQImageRef* image : p->m_ms.introImages)
    if (image) window->DrawImageScaled(image, 0, 0, w, h);
  if (p->m_ms.outroImage) window->DrawImageScaled(p->m_ms.outroImage, 0, 0, w, h);
  return true;
}

void SetRootDraw(Program* p, bool on) {
  VQWindow* root = p->m_canvas ? VQoverlay_RootWindow(p->m_canvas) : nullptr;
  if (!root) return;
  root->m_drawCallback = on ? DrawScreenPictures : nullptr;
  root->m_drawContext = on ? reinterpret_cast<uintptr_t>(p) : 0;
}
void MenuFrame(uintptr_t user) {
  if (!ProgramScreenFrame()) return;
  reinterpret_cast<Program*>(user)->OnMenuFrame();
}

}  // namespace

void MenuPreview::Step(float dt) {
  if (fading) {
    alpha += dt * fadeDirection;
    if (alpha <= 0.45f || alpha >= 1.0f) {
      alpha = alpha <= 0.45f ? 0.45f : 1.0f;
      fading = 0;
    }
  }
  if (sliding) {
    slide += dt * slideDirection;
    if (slide <= 0.0f || slide >= 1.0f) {
      slide = slide <= 0.0f ? 0.0f : 1.0f;
      sliding = 0;
    }
  }
}

void Program::PlayMusicTitle(int key, bool repeat) {
  if (!m_musicTrack || key < 0 || key >= MUSIC_KEY_COUNT || m_music.titles[key].empty()) return;
  const std::string path = DataFolder(DATAFOLDER_AUDIO) + "\\" + m_music.titles[key] + ".vq3";
  m_musicTrack->Play(path.c_str(), repeat);
  Log("Playing music '%s'", m_music.titles[key].c_str());
}

// ---- intro ---------------------------------------------------------------------------------------

namespace {

struct IntroView {
  Program* p;
  VQImageRef* Load(const char* name) {
    if (!p->m_textureManager) return nullptr;
    VQTexture* t = p->m_textureManager->Load(name, 0, true, true, 4096, 4096);
    if (!t) return nullptr;
    auto* ref = new (std::nothrow) VQImageRef(t);
    return ref;
  }
  void Drop(int i) {
    delete p->m_ms.introImages[i];
    p->m_ms.introImages[i] = nullptr;
  }
};

}  // namespace

bool Program::PlayIntro() {
  MenuState& s = m_ms;
  if (m_quit) return true;
  s.introTime = 0.0f;
  s.introSkip = 0;
  for (auto& image : s.introImages) image = nullptr;
  if (m_textureManager) {
    m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
    m_textureManager->PushSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, VQFILTER_LINEAR, VQFILTER_LINEAR);
  }
  const uint32_t group = m_textureManager ? m_textureManager->m_currentGroup : 0;
  if (m_textureManager) m_textureManager->m_currentGroup = kTextureGroupIntro;
  VQFont* font = m_menu ? m_menu->m_res.fonts[MENU_FONT_NORMAL] : nullptr;
  const int32_t w = m_canvas ? int32_t(m_canvas->m_width) : 640,
                h = m_canvas ? int32_t(m_canvas->m_height) : 480;
  s.introText = new (std::nothrow) VQTextElement(0, nullptr, Text(8001), font);
  if (s.introText) {
    s.introText->m_x = w * 455 / 1024;
    s.introText->m_y = 0;
    s.introText->SetSize(w * 504 / 1024, h * 340 / 768);
    s.introText->m_alignment = VQTEXT_CENTRE;
  }
  s.introScroll = 0;
  s.introMusic = 0;
  if (m_keyboard) m_keyboard->PushHandler(IntroKey, reinterpret_cast<uintptr_t>(this));
  if (m_musicTrack) m_musicTrack->SetVolume(1.0f);
  SetRootDraw(this, true);
  Log("Intro start");
  IntroView view{this};
  auto frame = [](uintptr_t user) {
    if (!ProgramScreenFrame()) return;
    auto* p = reinterpret_cast<Program*>(user);
    MenuState& st = p->m_ms;
    IntroView iv{p};
    float dt = g_VQsystem.m_frameTime;
    if (!(dt > 0.0f) || dt >= 0.2f) dt = kSixtieth;
    float& t = st.introTime;
    const bool skip = st.introSkip != 0;
    st.introSkip = 0;
    const float before = t;
    auto loadAt = [&](float mark, std::initializer_list<const char*> names, int firstSlot,
                      int music) {
      if (before > mark || t < mark) return false;
      if (firstSlot > 0) iv.Drop(firstSlot - 1);
      int slot = firstSlot;
      for (const char* name : names) {
        st.introImages[slot] = iv.Load(name);
        if (!st.introImages[slot]) t = 9999.0f;
        ++slot;
      }
      if (music >= 0 && p->m_musicTrack && t < 9999.0f) {
        p->m_musicTrack->Stop(true);
        p->PlayMusicTitle(music, music == MUSIC_INTRO3);
      }
      return true;
    };
    if (before == 0.0f) loadAt(0.0f, {"loading1"}, 0, MUSIC_INTRO1);
    // Skips jump to the same point of the fade out; a title's end ends its phase.
    if (skip) {
      if (t < 1.0f)
        t = 3.0f + (1.0f - t);
      else if (t < 3.0f)
        t = 3.0f;
      else if (t >= 4.0f && t < 5.0f)
        t = 7.0f + (5.0f - t);
      else if (t >= 5.0f && t < 7.0f)
        t = 7.0f;
      else if (t >= 8.0f && t < 9.0f)
        t = 12.0f + (1.0f - (t - 8.0f));
      else if (t >= 9.0f && t < 12.0f)
        t = 12.0f;
    }
    if (t < 9.0f || t >= 12.0f) t += dt;
    if (t >= 4.0f && before < 4.0f && t < 9999.0f) loadAt(4.0f, {"loading2"}, 1, MUSIC_INTRO2);
    if (t >= 8.0f && before < 8.0f && t < 9999.0f)
      loadAt(8.0f, {"loading3", "loading3overlay"}, 2, MUSIC_INTRO3);
    if (t >= 9.0f && before < 9.0f && t < 12.0f && st.introText && p->m_canvas) {
      if (VQWindow* root = VQoverlay_RootWindow(p->m_canvas)) root->AddElement(st.introText);
    }
    if (t >= 9.0f && t < 12.0f && st.introText) {
      st.introScroll = (st.introScroll + 1) % int32_t(kIntroScrollLength);
      st.introText->m_y = st.introScroll;
    }
    // Fade value: 0 to 1 in, 1 to 0 out, by the timeline.
    const float phase = std::fmod(t, 4.0f);
    st.introFade = t >= 13.0f ? 0.0f : phase < 1.0f ? phase : phase < 3.0f ? 1.0f : 4.0f - phase;
    if (t >= 12.0f && t < 13.0f) {
      st.introFade = 13.0f - t;
      if (p->m_musicTrack) p->m_musicTrack->SetVolume(st.introFade);
    }
    if (t >= 13.0f) {
      if (p->m_musicTrack) p->m_musicTrack->Stop(true);
      g_VQsystem.m_stop = 1;
    }
  };
  g_VQsystem.m_updateCallback = frame;
  g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(this);
  if (!m_quit) {
    g_VQsystem.Run();
    // The pump ends without its stop byte only for a quit message: the window was closed.
    if (!g_VQsystem.m_stop) s.closed = m_quit = 1;
  }
  g_VQsystem.m_updateCallback = nullptr;
  if (m_keyboard) m_keyboard->PopHandler();
  if (s.introText) {
    if (s.introText->m_owner) s.introText->m_owner->RemoveElement(s.introText);
    delete s.introText;
    s.introText = nullptr;
  }
  for (int i = 0; i < 4; ++i) view.Drop(i);
  SetRootDraw(this, false);
  if (m_musicTrack) m_musicTrack->Stop(true);
  if (m_textureManager) {
    m_textureManager->ReleaseGroup(kTextureGroupIntro);
    m_textureManager->m_currentGroup = group;
    m_textureManager->PopSampling();
  }
  Log("Intro end");
  return true;
}

// ---- menu screen ---------------------------------------------------------------------------------

bool Program::RunMenus() {
  MenuState& s = m_ms;
  if (m_quit) return true;
  if (m_musicTrack) m_musicTrack->Stop(true);
  if (m_canvas) m_canvas->Show(true);
  if (!CreateMenuPreviews()) {
    DestroyMenuPreviews();
    return false;
  }
  if (!BuildMenus() || !BuildSessionMenus()) {
    DestroyMenuPreviews();
    Error("%s", m_texts->GetByKey("cantinitmenus"));
    return false;
  }
  // The menu scene, built once and kept.
  if (!s.menuScene && m_displayDevice) {
    const std::string path = DataFile(kMenuScene);
    if (m_textureManager) m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
    s.menuScene = m_displayDevice->ReadSceneFile(path.c_str(), 1, 0);
    if (!s.menuScene) {
      Error("Cannot load '%s'", path.c_str());
    } else if (m_mainViewport && m_mainCamera) {
      m_mainViewport->m_root = s.menuScene;
      m_mainCamera->m_far = 1000.0f;
    }
  }
  if (m_mainViewport) m_mainViewport->m_active = 1;
  ClampSetup();
  if (m_keyboard) m_keyboard->PushHandler(MenuKeyHandler, reinterpret_cast<uintptr_t>(this));
  // Overlay texts: the idle countdown and the version label.
  VQFont* font = m_menu->m_res.fonts[MENU_FONT_HELP];
  VQWindow* root = m_canvas ? VQoverlay_RootWindow(m_canvas) : nullptr;
  s.idleCountdown = MENU_IDLE_SECONDS;
  s.idleShown = 0;
  s.idleText = new (std::nothrow) VQTextElement(0, nullptr, s.idleBuffer, font);
  s.versionText = new (std::nothrow) VQTextElement(0, nullptr, m_versionLabel, font);
  if (s.versionText && m_canvas) {
    s.versionText->m_alignment = VQTEXT_CENTRE;
    s.versionText->SetSize(int32_t(m_canvas->m_width), font ? int32_t(font->m_glyphHeight) : 16);
    s.versionText->m_y =
        int32_t(m_canvas->m_height) - 2 - (font ? int32_t(font->m_glyphHeight) : 16);
    if (root) root->AddElement(s.versionText);
  }
  if (m_musicTrack) {
    m_musicTrack->SetVolume(0.75f * (m_playerCount > 0 ? m_volumeMusic : 1.0f));
    PlayMusicTitle(MUSIC_MENUS, true);
  }
  const int32_t first = (m_profileNames.empty() || m_playerCount == 0)
                            ? 14
                            : (m_menuReturnPage > 0 ? m_menuReturnPage : 1);
  m_menu->m_keyResult = 0;
  // The next championship race, started from the pages over the last race's standings, needs
  // no menu: the race follows at once.
  const bool nextChampRace = m_champNextRace && m_gameMode == CHAMPMODE_CHAMPIONSHIP &&
                             m_playerCount > 0 && m_players[0]->m_profile.in_champ;
  m_champNextRace = 0;
  s.raceStart = 1;
  s.menuRunning = 1;
  m_sessionRequest = -1;
  if (nextChampRace) {
    Log("Menus: the next championship race follows");
    m_sessionRequest = SESSION_RACE;
  } else {
    m_menu->ShowPage(first);
    g_VQsystem.m_updateCallback = MenuFrame;
    g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(this);
    do {
      g_VQsystem.Run();
      if (!g_VQsystem.m_stop) s.closed = m_quit = 1;
      // The skin editor runs its own frame pump, outside the menus' key and frame callbacks.
      if (!m_quit && m_skinEditorPending) RunSkinEditor();
    } while (!m_quit && m_sessionRequest != SESSION_RACE && m_sessionRequest != SESSION_QUIT);
    g_VQsystem.m_updateCallback = nullptr;
  }
  s.menuRunning = 0;
  if (m_sessionRequest == SESSION_QUIT) m_quit = 1;
  for (VQTextElement** e : {&s.idleText, &s.versionText}) {
    if (*e && (*e)->m_owner) (*e)->m_owner->RemoveElement(*e);
    delete *e;
    *e = nullptr;
  }
  // A race of computer drivers never takes the same track twice in a row.
  if (m_gameMode == 5 && m_trackCount > 0) {
    uint32_t pick = 0;
    for (int i = 0; i < 100; ++i) {
      pick = uint32_t(std::rand()) % m_trackCount;
      if (pick != s.previousTrack || m_trackCount == 1) break;
    }
    s.currentTrack = pick;
    s.previousTrack = pick;
  }
  if (!m_quit && m_sessionRequest == SESSION_RACE) {
    // The loading page names the race's track: the random one of a race of computer drivers,
    // the weekend's track of a championship, else the first player's choice.
    uint32_t track = 0;
    if (m_gameMode == CHAMPMODE_AI_ONLY)
      track = s.currentTrack;
    else if (m_playerCount > 0)
      track = uint32_t(m_gameMode == CHAMPMODE_CHAMPIONSHIP ? m_players[0]->m_profile.champ_weekend
                                                            : m_players[0]->m_profile.normal_track);
    if (MenuPage* loading = m_menu->FindPage(28)) {
      loading->SetCaption(track < m_trackCount ? m_tracks[track].title.c_str() : "");
      std::snprintf(s.loadingTitle, sizeof s.loadingTitle, "%s%c%c%c", Text(3800), 128, 128, 128);
      loading->SetTitle(s.loadingTitle);
      m_menu->ShowPage(28);
    }
    Log("Menus end: race in game mode %d", m_gameMode);
  } else {
    m_menu->HideAllPages();
    Log("Menus end: quit");
  }
  if (m_musicTrack) m_musicTrack->Stop(true);
  DestroyMenuPreviews();
  if (m_keyboard) m_keyboard->RemoveHandler(MenuKeyHandler);
  // Both local players may come from one profile: the second copy then must not overwrite the
  // choices the first player just made.
  for (uint32_t i = 0; i < 2 && i < m_playerCount; ++i) {
    if (i == 1 && m_players[1]->m_profileIndex == m_players[0]->m_profileIndex) break;
    if (m_players[i]->m_type == PLAYER_HUMAN && !m_players[i]->Save(true))
      Log("Cannot save profile '%s'", m_players[i]->m_name);
  }
  return true;
}

bool Program::OnMenuFrame() {
  MenuState& s = m_ms;
  const float dt = FrameStep();
  AnimateMenuScene(dt);
  OptionsMenus_PollCapture(*this);
  // The previews slide in and out of their viewports and fade between see-through and opaque.
  for (MenuPreview* v : {&s.car1, &s.car2, &s.track}) {
    v->Step(dt);
    if (v->viewport) v->viewport->m_active = (v->model && v->shown) ? 1 : 0;
  }
  s.caretClock += dt;
  if (s.caretClock >= 0.25f) {
    s.caretClock = 0.0f;
    s.caretOn = !s.caretOn;
    // The caret of a focused text field blinks between its two faces.
    if (s.field.editing && m_menu)
      if (MenuPage* page = m_menu->GetCurrentPage())
        if (MenuItem* focused = page->GetFocusedItem();
            focused && (focused->id == 90 || focused->id == 320 || focused->id == 520)) {
          s.field.Blink(s.caretOn != 0);
          page->RefreshItem(focused);
        }
  }
  if (!s.menuRunning || !m_menu) return true;
  if (m_gameMode == 6) LobbyMenus_Frame(*this, dt);  // network play
  MenuPage* current = m_menu->GetCurrentPage();
  if (current && current == s.sessionPage) {
    s.idleCountdown -= dt;
    if (s.idleCountdown <= 26.0f && s.idleText) {
      std::snprintf(s.idleBuffer, sizeof s.idleBuffer, Text(164), int(s.idleCountdown));
      s.idleText->SetText(s.idleBuffer);
      if (!s.idleShown && m_canvas) {
        const VQFont* font = s.idleText->m_font;
        s.idleText->m_alignment = VQTEXT_CENTRE;
        s.idleText->SetSize(int32_t(m_canvas->m_width), font ? int32_t(font->m_glyphHeight) : 16);
        s.idleText->m_y = 30;
        if (VQWindow* root = VQoverlay_RootWindow(m_canvas)) root->AddElement(s.idleText);
        s.idleShown = 1;
      }
    }
    if (s.idleCountdown < 1.0f) {
      Log("Idle countdown: race of computer drivers");
      m_sessionRequest = SESSION_RACE;
      m_gameMode = 5;
      m_menu->HideAllPages();
      g_VQsystem.m_stop = 1;
    }
  }
  return true;
}

bool Program::OnMenuKey(uint32_t key, bool pressed) {
  MenuState& s = m_ms;
  if (!pressed || m_skinEditorRunning) return false;
  s.idleCountdown = MENU_IDLE_SECONDS;
  if (s.idleShown && s.idleText && s.idleText->m_owner)
    s.idleText->m_owner->RemoveElement(s.idleText);
  s.idleShown = 0;
  // A binding item waiting for its key takes every key, Escape and F9 included.
  if (OptionsMenus_CaptureKey(*this, key)) return true;
  if (key == VQKEY_F1 + 8) {
    TakeScreenshot();
    return true;
  }
  if (m_gameMode == 6) {  // network play: the lobby's chat entry
    auto* chatKeys = static_cast<VQKeyboardDevice*>(m_keyboard);
    const bool chatShift =
        chatKeys && (chatKeys->IsKeyDown(VQKEY_LSHIFT) || chatKeys->IsKeyDown(VQKEY_RSHIFT));
    if (LobbyMenus_OnKey(*this, key, chatShift)) return true;
  }
  MenuPage* page = m_menu ? m_menu->GetCurrentPage() : nullptr;
  // Escape goes back: the page's continue, quit, back or cancel item, the first found.
  if (key == VQKEY_ESCAPE && page) {
    for (int32_t text : {1310, 1004, 100, 102})
      if (*Text(text) && page->ActivateByLabel(Text(text))) break;
    return true;
  }
  // A focused text field takes letters and digits (upper case with Shift) and Backspace.
  MenuItem* focused = page ? page->GetFocusedItem() : nullptr;
  if (focused && s.field.editing &&
      (focused->id == 90 || focused->id == 320 || focused->id == 520)) {
    auto* keyboard = static_cast<VQKeyboardDevice*>(m_keyboard);
    const bool shift =
        keyboard && (keyboard->IsKeyDown(VQKEY_LSHIFT) || keyboard->IsKeyDown(VQKEY_RSHIFT));
    bool used = false;
    if (VQkey_IsLetterOrDigit(key) || (focused->id == 320 && key == VQKEY_PERIOD)) {
      used = s.field.Insert(VQkey_ToChar(key, shift));
    } else if (key == VQKEY_BACKSPACE) {
      used = s.field.Backspace();
    } else if (key == VQKEY_DELETE) {
      used = s.field.Delete();
    }
    page->RefreshItem(focused);
    if (used) return true;
  }
  return false;
}

void Program::AnimateMenuScene(float dt) {
  MenuState& s = m_ms;
  if (!s.menuScene) return;
  // Two layers drift; a coordinate reaching the limit jumps back by twice the limit.
  auto drift = [dt](VQNode* found, float vx, float vz, float limit) {
    auto* node = dynamic_cast<VQTransformNode*>(found);
    if (!node) return;
    VQVector p(node->m_matrix.m[12] + vx * dt, node->m_matrix.m[13],
               node->m_matrix.m[14] + vz * dt);
    if (limit > 0.0f ? p.x >= limit : p.x <= limit) p.x -= 2.0f * limit;
    if (limit > 0.0f ? p.z >= limit : p.z <= limit) p.z -= 2.0f * limit;
    node->SetPosition(p);
  };
  drift(s.menuScene->FindByName("x_foreground"), 1.6f, 1.2f, 10.0f);
  drift(s.menuScene->FindByName("x_background"), -1.0f, -0.8f, -10.0f);
}

// ---- screenshot ----------------------------------------------------------------------------------

uint32_t Program::TakeScreenshot() {
  if (!m_canvas || !m_displayDevice) return 0;
  VQPixmap* image = m_canvas->Grab(0);
  if (!image) return 0;
  const std::string root = DataFolder(DATAFOLDER_ROOT);
  char path[DATAPATH_MAX_PATH + 16];
  uint32_t n = 1;
  for (; n < 999; ++n) {
    std::snprintf(path, sizeof path, "%s\\snap%1d%1d%1d.jpg", root.c_str(), int(n / 100),
                  int(n / 10 % 10), int(n % 10));
    char native[sizeof path];
    std::snprintf(native, sizeof native, "%s", path);
    for (char* c = native; *c; ++c)
      if (*c == '\\') *c = '/';
    if (!FileExists(native)) break;
  }
  uint32_t written = 0;
  if (n <= 998 && image->SaveImage(path, 3, 0)) {
    written = n;
    ++m_ms.screenshots;
    Log("Screenshot '%s'", path);
  }
  m_displayDevice->DeletePixmap(image);
  return written;
}

// ---- outro ---------------------------------------------------------------------------------------

bool Program::PlayOutro() {
  MenuState& s = m_ms;
  if (m_musicTrack) {
    m_musicTrack->SetVolume(0.0f);
    PlayMusicTitle(MUSIC_OUTTRO, true);
  }
  s.outroTime = 0.0f;
  s.outroSkip = 0;
  VQFont* font = m_menu ? m_menu->m_res.fonts[MENU_FONT_NORMAL] : nullptr;
  const int32_t w = m_canvas ? int32_t(m_canvas->m_width) : 640,
                h = m_canvas ? int32_t(m_canvas->m_height) : 480;
  s.outroText = new (std::nothrow) VQTextElement(0, nullptr, Text(8000), font);
  if (s.outroText) {
    s.outroText->m_x = 0;
    s.outroText->m_y = -20;
    s.outroText->m_alignment = VQTEXT_CENTRE;
    s.outroText->SetSize(w, font ? int32_t(font->m_glyphHeight) * 4 : 64);
    s.outroScrollLength = s.outroText->m_layoutHeight + h + 100;
    if (m_canvas)
      if (VQWindow* root = VQoverlay_RootWindow(m_canvas)) root->AddElement(s.outroText);
  }
  if (m_keyboard) m_keyboard->PushHandler(OutroKey, reinterpret_cast<uintptr_t>(this));
  SetRootDraw(this, true);
  Log("Outro start");
  g_VQsystem.m_updateCallback = OutroFrame;
  g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(this);
  // A closed window ends the game at once, without the outro.
  if (CanvasAlive() && !s.closed) g_VQsystem.Run();
  g_VQsystem.m_updateCallback = nullptr;
  if (m_keyboard) m_keyboard->PopHandler();
  if (s.outroText) {
    if (s.outroText->m_owner) s.outroText->m_owner->RemoveElement(s.outroText);
    delete s.outroText;
    s.outroText = nullptr;
  }
  delete s.outroImage;
  s.outroImage = nullptr;
  SetRootDraw(this, false);
  if (m_musicTrack) m_musicTrack->Stop(true);
  Log("Outro end");
  return true;
}

namespace {

void OutroFrame(uintptr_t user) {
  ProgramScreenFrame();
  auto* p = reinterpret_cast<Program*>(user);
  MenuState& s = p->m_ms;
  const float dt = FrameStep();
  const bool skip = s.outroSkip != 0;
  s.outroSkip = 0;
  if (p->m_musicTrack) p->m_musicTrack->SetVolume(s.outroTime < 2.0f ? s.outroTime * 0.5f : 1.0f);
  if (s.outroTime < 1000.0f) {
    p->AnimateMenuScene(dt);
    if (s.outroText && s.outroScrollLength > 0) {
      s.outroScroll = (s.outroScroll + 1) % s.outroScrollLength;
      s.outroText->m_y = -20 + s.outroScroll;
    }
    if (skip) {
      if (s.outroText) s.outroText->Hide();
      if (p->m_textureManager) {
        if (VQTexture* t = p->m_textureManager->Load("outtro1", 0, true, true, 4096, 4096)) {
          s.outroImage = new (std::nothrow) VQImageRef(t);
        }
      }
      s.outroTime = s.outroImage ? 1000.0f : 100000.0f;
    }
  } else if (s.outroTime >= 1020.0f || skip) {
    delete s.outroImage;
    s.outroImage = nullptr;
    g_VQsystem.m_stop = 1;
  }
  s.outroTime += dt;
}

}  // namespace
