// The menu tree of the game and its event handler: the pages and item ids, the race set-up
// pages, the in-race pause page, the quit confirmation and the paint-shop entry. The other
// families of pages (options, championship, network lobby) are served by the areas registered
// through QVX/menu/MenuAreas.h.
#include <strings.h>
#include <cstdio>
#include <cstring>
#include <new>

#include "QVX/menu/Menu.h"
#include "QVX/menu/MenuAreas.h"
#include "QVX/menu/MusicTrack.h"
#include "QVX/race/Player.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQStrings.h"

namespace {

constexpr int32_t kStay = 0x70000;
constexpr int32_t kQuit = 0x10000;
constexpr int32_t kBackToRace = 0x30000;
constexpr int32_t kStartOrLeave = 0x40000;
constexpr int32_t kRestart = 0x50000;
constexpr int32_t kRestartGrid = 0x60000;
constexpr int32_t kTextField = 0x78000;
constexpr int32_t kTrackStay = 0x80000;
constexpr int32_t kReset = MENU_TARGET_FOCUS_RESET;

// Menu data files: frame images 8 to 18, fonts 20 to 24, sounds 27 to 29.
constexpr uint32_t kFrameFiles = 8;
constexpr uint32_t kFontFiles = 20;
constexpr uint32_t kSoundFiles = 27;

}  // namespace

const char* Program::Text(int32_t id) const { return m_texts ? m_texts->GetById(id) : ""; }

void Program::OnMenuEventThunk(MenuPage* page, MenuItem* item, uint32_t event, uintptr_t user) {
  if (auto* program = reinterpret_cast<Program*>(user)) program->OnMenuEvent(page, item, event);
}

void Program::FillPlayerLine() {
  const char* name = m_playerCount > 0 ? m_players[0]->m_name : "";
  std::snprintf(m_ms.playerLine, sizeof m_ms.playerLine, "%s : %s", Text(163), name);
  std::snprintf(m_ms.networkLine, sizeof m_ms.networkLine, "%s : %s, %s : -.-.-.-", Text(163), name,
                Text(165));
}

// ---- the Menu and its resources ----------------------------------------------------------------

bool Program::InitMenu() {
  if (m_menu) return true;
  m_menu = new (std::nothrow) Menu();
  if (!m_menu) return false;
  MenuResources res;
  VQWindowManager* manager = m_canvas ? VQoverlay_Manager(m_canvas) : nullptr;
  if (m_textureManager) {
    m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
    m_textureManager->PushSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, VQFILTER_LINEAR, VQFILTER_LINEAR);
  }
  if (m_fontManager) {
    for (uint32_t i = 0; i < MENU_FONT_COUNT; ++i) {
      const std::string path = DataFile(kFontFiles + i);
      res.fonts[i] = m_fontManager->Load(path.c_str());
      if (!res.fonts[i]) {
        // The game shows its menus in these fonts: without one it cannot go on.
        Error("Cannot load '%s'", path.c_str());
        if (m_textureManager) m_textureManager->PopSampling();
        return false;
      }
    }
  }
  if (m_textureManager) {
    for (uint32_t i = 0; i < MENU_IMG_COUNT; ++i) {
      const std::string path = DataFile(kFrameFiles + i);
      VQTexture* texture = m_textureManager->Load(path.c_str(), 0, true, true, 4096, 4096);
      if (!texture) {
        Error("Cannot load '%s'", path.c_str());
        m_textureManager->PopSampling();
        return false;
      }
      res.images[i] = new (std::nothrow) VQImageRef(texture);
    }
    if (VQTexture* knob =
            m_textureManager->Load("Menu_slider1button_n", 0, true, true, 4096, 4096)) {
      res.sliderKnob = new (std::nothrow) VQImageRef(knob);
    }
    if (VQTexture* track =
            m_textureManager->Load("Menu_slider1back_n", 0, true, true, 4096, 4096)) {
      res.sliderTrack = new (std::nothrow) VQImageRef(track);
    }
    m_textureManager->PopSampling();
  }
  if (auto* sound = static_cast<VQSoundDevice*>(m_soundDevice)) {
    res.soundDevice = sound;
    for (uint32_t i = 0; i < MENU_SOUND_COUNT; ++i) {
      std::string path = DataFile(kSoundFiles + i);
      if (path.size() > 4) path.replace(path.size() - 4, 4, ".vqw");
      res.sounds[i] = sound->CreateBufferFromFile(path.c_str());
    }
  }
  res.masterVolume = &m_volumeMaster;
  m_menu->Init(manager, OnMenuEventThunk, reinterpret_cast<uintptr_t>(this), res);
  return true;
}

// ---- the tree ----------------------------------------------------------------------------------

namespace {

struct TreeBuilder {
  Program* p;
  MenuPage* page = nullptr;

  MenuPage* Page(int32_t id, const char* caption, const char* subtitle) {
    page = p->m_menu->CreatePage(id, caption);
    if (page && subtitle) page->SetTitle(subtitle);
    return page;
  }
  MenuItem* Item(int32_t id, int32_t text, int32_t target, int32_t kind = 0, int32_t help = 0) {
    if (!page) return nullptr;
    const char* label = p->Text(text);
    // An item whose text the language lacks still takes its row and stays usable.
    if (!*label) label = " ";
    if (!page->AddItem(id, label, target, kind, help ? p->Text(help) : nullptr)) return nullptr;
    return page->m_items[page->m_itemCount - 1];
  }
  void Back(int32_t text, int32_t target, int32_t id = 0, int32_t help = 0) {
    Item(id, text, target, 0, help);
  }
  void Empty() {
    if (page) page->AddItem(0, "", 0, 0, nullptr);
  }
  void Line(int32_t text) {
    MenuItem* item = Item(0, text, MENU_TARGET_STAY);
    if (item) item->selectable = 0;
  }
  // Optional text lines: only those whose text the language holds.
  void Lines(int32_t first, int32_t last) {
    for (int32_t t = first; t <= last; ++t)
      if (*p->Text(t)) Line(t);
  }
  MenuItem* Choice(int32_t id, int32_t text, const char* const* texts, uint32_t count,
                   int32_t target, int32_t help = 0) {
    MenuItem* item = Item(id, text, target, MENU_VALUE_CHOICE, help);
    if (item && item->value) {
      item->value->choiceTexts = texts;
      item->value->choiceCount = int32_t(count);
      item->value->choice = 0;
      item->value->wrap = 1;
    }
    return item;
  }
  MenuItem* Action(int32_t id, int32_t text, const char* actionText, bool arrows, int32_t target,
                   int32_t help = 0) {
    MenuItem* item = Item(id, text, target, MENU_VALUE_ACTION, help);
    if (item && item->value) {
      item->value->actionText = actionText;
      item->arrows = arrows ? 1 : 0;
    }
    return item;
  }
  MenuItem* Slider(int32_t id, int32_t text, float value, float step, int32_t help) {
    MenuItem* item = Item(id, text, kStay, MENU_VALUE_SLIDER, help);
    if (item && item->value) {
      item->value->slider01 = value;
      item->value->sliderStep = step;
    }
    return item;
  }
  MenuItem* Integer(int32_t id, int32_t text, int32_t lo, int32_t hi, int32_t help) {
    MenuItem* item = Item(id, text, kStay, MENU_VALUE_INTEGER, help);
    if (item && item->value) {
      item->value->minimum = lo;
      item->value->maximum = hi;
      item->value->value = lo;
      item->value->wrap = 1;
      std::snprintf(item->value->number, sizeof item->value->number, "%d", lo);
    }
    return item;
  }
  VQTextElement* Block(const char* text, int32_t x, int32_t y, int32_t w, int32_t h, VQFont* font) {
    auto* e = new (std::nothrow) VQTextElement(0, nullptr, text, font);
    if (!e) return nullptr;
    e->m_x = x;
    e->m_y = y;
    e->SetSize(w, h);
    if (!page || !page->AddWidget(e)) {
      delete e;
      return nullptr;
    }
    return e;
  }
};

}  // namespace

bool Program::BuildSessionMenus() {
  if (m_ms.sessionBuilt) return true;
  if (!InitMenu()) return false;
  FillPlayerLine();
  TreeBuilder b{this};
  MenuPage* page = b.Page(1, Text(1000), m_ms.playerLine);
  if (!page) return false;
  b.Item(70, 1001, 2, 0, 1011);
  b.Item(71, 1002, 3, 0, 1012);
  b.Item(72, 1006, kStartOrLeave, 0, 1016);
  b.Item(76, 1007, 32, 0, 1017);
  b.Item(77, 1008, 33, 0, 1018);
  b.Item(79, 1009, 51, 0, 1019);
  b.Item(0, 1003, 4, 0, 1013);
  b.Item(0, 1004, 30, 0, 1014);
  m_ms.sessionPage = page;
  m_ms.sessionBuilt = 1;
  return true;
}

bool Program::BuildRaceMenus() {
  if (m_ms.raceMenusBuilt) return true;
  if (!InitMenu()) return false;
  FillPlayerLine();
  TreeBuilder b{this};
  MenuPage* page = b.Page(4, Text(1300), m_ms.playerLine);
  if (!page) return false;
  b.Item(0, 1301, 5, 0, 1311);
  if (m_ms.gammaControl) b.Item(0, 1326, 36, 0, 1327);
  b.Item(0, 1303, 7, 0, 1313);
  b.Item(164, 1324, kRestartGrid, 0, 1325);
  b.Item(160, 1308, kRestartGrid, 0, 1318);
  b.Item(162, 1310, kBackToRace, 0, 1320);
  b.Empty();
  b.Item(163, 1306, kStartOrLeave, 0, 1316);
  m_ms.racePage = page;
  m_ms.raceMenusBuilt = 1;
  return true;
}

bool Program::BuildMenus() {
  if (m_ms.menusBuilt) return true;
  if (!InitMenu()) return false;
  FillPlayerLine();
  MenuState& s = m_ms;
  const uint32_t classCount =
      m_classCount < MENUSTATE_MAX_CHOICES ? m_classCount : MENUSTATE_MAX_CHOICES;
  for (uint32_t i = 0; i < classCount; ++i) s.classNames[i] = m_classes[i]->m_title.c_str();
  const uint32_t trackCount =
      m_trackCount < MENUSTATE_MAX_CHOICES ? m_trackCount : MENUSTATE_MAX_CHOICES;
  for (uint32_t i = 0; i < trackCount; ++i) s.trackNames[i] = m_tracks[i].title.c_str();
  uint32_t profileCount = uint32_t(m_profileNames.size());
  if (profileCount > MENUSTATE_MAX_CHOICES) profileCount = MENUSTATE_MAX_CHOICES;
  for (uint32_t i = 0; i < profileCount; ++i) s.profileNames[i] = m_profileNames[i].c_str();
  const char* const* six = m_lengthChoices.texts;
  const char* const* two = m_choices2.texts;
  const char* const* three = m_choices3.texts;
  const char* pl = s.playerLine;
  const char* nl = s.networkLine;
  TreeBuilder b{this};
  auto flags = [&](bool extraRow, bool wide, bool helpBox, bool fullHeight) {
    if (!b.page) return;
    b.page->m_extraRow = extraRow;
    b.page->m_wide = wide;
    b.page->m_helpBox = helpBox;
    b.page->m_fullHeight = fullHeight;
  };
  VQFont* resultFont = m_menu->m_res.fonts[MENU_FONT_HELP];

  b.Page(2, Text(1100), pl);
  b.Item(0, 1103, 15, 0, 1113);
  b.Item(0, 1102, 11, 0, 1112);
  b.Item(0, 1101, 9, 0, 1111);
  b.Empty();
  b.Back(100, 1 | kReset);

  b.Page(15, Text(2500), pl);
  b.Item(101, 2501, 23, 0, 2511);
  b.Item(100, 2502, kStay, 0, 2512);
  b.Empty();
  b.Back(100, 1 | kReset);

  b.Page(16, Text(2600), pl);
  b.Line(2601);
  b.Lines(2602, 2603);
  b.Empty();
  b.Item(110, 2604, 15, 0, 2611);
  b.Item(111, 102, 15 | kReset, 0, 2611);

  b.Page(47, Text(5500), pl);
  b.Empty();
  b.Back(100, 15 | kReset);

  b.Page(3, Text(1200), pl);
  b.Item(290, 1201, 34, 0, 1211);
  b.Item(291, 1202, 39, 0, 1212);
  b.Item(292, 1203, 35, 0, 1213);
  b.Empty();
  b.Back(100, 1 | kReset, 293);

  b.Page(35, Text(1200), pl);
  b.Item(57, 103, kStartOrLeave, 0, 153);
  b.Choice(52, 180, s.classNames, classCount, kStay);
  b.Choice(53, 182, s.skins1, 0, kStay, 157);
  b.Choice(54, 183, s.classNames, classCount, kStay);
  b.Choice(55, 185, s.skins2, 0, kStay, 157);
  b.Choice(56, 104, s.trackNames, trackCount, kTrackStay, 154);
  b.Choice(51, 108, six, m_lengthChoices.count, kStay, 158);
  b.Choice(59, 132, nullptr, 0, kStay, 133);
  b.Empty();
  b.Back(100, 3 | kReset, 58);

  b.Page(34, Text(4400), nl);
  flags(true, false, true, false);
  b.Item(274, 103, kStartOrLeave, 0, 153);
  b.Item(279, 4401, kStay, 0, 4411);
  b.Choice(271, 105, s.classNames, classCount, kStay);
  b.Choice(272, 107, s.skins1, 0, kStay, 157);
  b.Choice(273, 104, s.trackNames, trackCount, kTrackStay, 154);
  b.Choice(270, 108, six, m_lengthChoices.count, kStay, 158);
  b.Choice(276, 110, two, m_choices2.count, kStay, 160);
  b.Choice(278, 132, nullptr, 0, kStay, 133);
  b.Empty();
  b.Back(100, 41 | kReset, 275);

  b.Page(4, Text(1300), pl);
  b.Item(0, 1309, 13, 0, 1319);
  b.Item(0, 1301, 5, 0, 1311);
  b.Item(0, 1302, 6, 0, 1312);
  b.Item(0, 1303, 7, 0, 1313);
  b.Empty();
  b.Back(100, 1 | kReset);

  b.Page(13, Text(2300), pl);
  b.Choice(80, 2301, s.profileNames, profileCount, kStay, 2311);
  b.Choice(81, 2302, s.profileNames, profileCount, kStay, 2312);
  b.Empty();
  b.Item(0, 2303, 14, 0, 2313);
  b.Empty();
  b.Back(100, 4 | kReset);

  std::snprintf(s.newProfileName, sizeof s.newProfileName, "%s", Text(2409));
  b.Page(14, Text(2400), pl);
  b.Action(90, 2401, s.newProfileName, false, kStay, 2411);
  b.Integer(91, 2402, 1, 15, 2412);
  b.Empty();
  b.Item(92, 2403, kTextField);
  if (m_playerCount > 0) b.Back(102, 13 | kReset);

  b.Page(18, Text(2700), nullptr);
  b.Line(2701);
  b.Lines(2702, 2703);
  b.Empty();
  b.Back(101, 14 | kReset, 0, 2711);

  b.Page(19, Text(2800), nullptr);
  b.Line(2801);
  b.Lines(2802, 2803);
  b.Empty();
  b.Back(101, 14 | kReset, 0, 2811);

  b.Page(26, Text(3500), nullptr);
  b.Line(3501);
  b.Lines(3502, 3505);
  b.Empty();
  b.Back(101, 1 | kReset, 0, 3511);

  b.Page(17, Text(2900), nullptr);
  b.Line(2901);
  b.Lines(2902, 2903);
  b.Empty();
  b.Back(101, 14 | kReset);

  b.Page(5, Text(3600), pl);
  b.Item(40, 3601, 12, 0, 3611);
  b.Item(41, 3602, 12, 0, 3612);
  b.Empty();
  b.Back(100, 4 | kReset, 42);

  b.Page(12, Text(1400), pl);
  static const int32_t kControlItems[10][2] = {{30, 1403}, {31, 1404}, {32, 1401}, {33, 1402},
                                               {39, 1410}, {37, 1407}, {34, 1408}, {35, 1406},
                                               {36, 1405}, {38, 1409}};
  for (const auto& c : kControlItems)
    b.Action(c[0], c[1], s.actionBuffers[c[0] - 30], false, kStay);
  b.Item(43, 1413, kStay, 0, 1415);
  b.Item(44, 1414, kStay, 0, 1416);
  b.Back(100, 5);

  b.Page(6, Text(1500), pl);
  b.Action(181, 1502, nullptr, true, kStay, 1512);
  b.Action(180, 1501, nullptr, true, kStay, 1511);
  b.Action(183, 1503, nullptr, true, kStay, 1513);
  b.Action(184, 1504, nullptr, true, kStay, 1514);
  if (s.gammaControl) b.Slider(185, 1505, 0.5f, 0.05f, 1515);
  b.Empty();
  b.Back(100, 4 | kReset, 182);

  b.Page(7, Text(1600), pl);
  b.Slider(10, 1601, 1.0f, 0.1f, 1611);
  b.Slider(11, 1602, 1.0f, 0.1f, 1612);
  b.Slider(15, 1605, 1.0f, 0.1f, 1615);
  b.Slider(12, 1603, 1.0f, 0.1f, 1613);
  b.Slider(13, 1604, 1.0f, 0.1f, 1614);
  b.Empty();
  b.Action(17, 1606, nullptr, true, kStay, 1616);
  b.Action(18, 1607, nullptr, true, kStay, 1617);
  b.Action(19, 1608, nullptr, true, kStay, 1618);
  b.Action(20, 1609, nullptr, true, kStay, 1619);
  b.Empty();
  b.Item(16, 129, kStay, 0, 1623);
  b.Back(100, 4 | kReset, 14);

  b.Page(9, Text(2000), pl);
  b.Item(24, 103, kStartOrLeave, 0, 153);
  b.Choice(21, 105, s.classNames, classCount, kStay);
  b.Choice(22, 107, s.skins1, 0, kStay, 157);
  b.Choice(23, 104, s.trackNames, trackCount, kTrackStay, 154);
  b.Choice(26, 109, three, m_choices3.count, kStay, 159);
  b.Choice(27, 132, nullptr, 0, kStay, 133);
  b.Empty();
  b.Back(100, 2 | kReset, 25);

  b.Page(11, Text(2200), pl);
  b.Item(5, 103, kStartOrLeave, 0, 153);
  b.Choice(2, 105, s.classNames, classCount, kStay);
  b.Choice(3, 107, s.skins1, 0, kStay, 157);
  b.Choice(4, 104, s.trackNames, trackCount, kTrackStay, 154);
  b.Choice(1, 108, six, m_lengthChoices.count, kStay, 158);
  b.Choice(7, 110, two, m_choices2.count, kStay, 160);
  b.Integer(8, 2201, 1, int32_t(PROGRAM_MAX_OPPONENTS), 2211);
  b.Choice(9, 132, nullptr, 0, kStay, 133);
  b.Empty();
  b.Back(100, 2 | kReset, 6);

  b.Page(21, "blah", pl);
  b.Choice(140, 105, s.classNames, classCount, kStay);
  b.Choice(141, 107, s.skins1, 0, kStay, 157);
  static const int32_t kLocked[3][4] = {
      {142, 104, kTrackStay, 3211}, {143, 108, kStay, 3212}, {144, 110, kStay, 3213}};
  for (const auto& c : kLocked) {
    if (MenuItem* item = b.Action(c[0], c[1], nullptr, true, c[2], c[3])) {
      item->disabled = 1;
      item->selectable = 0;
    }
  }
  if (MenuItem* item = b.Choice(148, 132, nullptr, 0, kStay, 133)) {
    item->disabled = 1;
    item->selectable = 0;
  }
  b.Empty();
  b.Item(145, 3201, kStay, 0, 3214);
  b.Item(147, 3204, kStay, 0, 3217);
  b.Item(146, 3202, 15, 0, 3215);

  b.Page(24, Text(3300), nullptr);
  b.Line(3301);
  b.Lines(3302, 3303);
  b.Lines(3305, 3305);
  b.Empty();
  b.Item(150, 3304, kStartOrLeave, 0, 3311);
  b.Item(151, 102, 21 | kReset, 0, 3311);

  b.Page(23, Text(3000), pl);
  flags(false, true, false, false);
  b.page->m_focusLast = 1;
  for (int i = 0; i < 12; ++i) b.Empty();
  b.Item(130, 161, kStay);
  b.Item(131, 162, kStay);
  b.Item(132, 101, 21);
  b.Block(Text(8002), 50, 295, 600, 22, resultFont);
  b.Block(s.resultsText[0], 50, 50, 600, 240, resultFont);
  b.Block(s.resultsText[1], 50, 50, 600, 240, resultFont);

  b.Page(22, Text(3100), pl);
  flags(false, true, false, false);
  b.page->m_focusLast = 1;
  for (int i = 0; i < 12; ++i) b.Empty();
  b.Item(122, 125, kBackToRace);
  b.Item(120, 101, kBackToRace);
  b.Block(Text(8003), 30, 275, 700, 22, resultFont);
  b.Block(s.resultsText[0], 30, 30, 700, 240, resultFont);
  b.Block(s.resultsText[1], 30, 30, 700, 240, resultFont);

  b.Page(25, Text(3400), pl);
  flags(false, true, false, false);
  for (int i = 0; i < 12; ++i) b.Empty();
  b.Item(170, 101, kBackToRace);
  b.Block("", 40, 255, 600, 22, resultFont);
  for (int i = 0; i < 3; ++i) b.Block(s.resultsText[i], 40, 10, 600, 240, resultFont);

  b.Page(27, Text(3700), pl);
  flags(false, false, true, true);
  b.Item(210, 101, 21 | kReset, 0, 3711);

  std::snprintf(s.loadingTitle, sizeof s.loadingTitle, "%s", Text(3800));
  b.Page(28, "", s.loadingTitle);
  flags(false, false, false, false);

  b.Page(29, Text(3900), nullptr);
  flags(false, false, false, false);
  b.Line(3901);
  b.Lines(3902, 3904);
  b.Empty();
  b.Item(220, 101, 27);

  b.Page(30, Text(4000), nullptr);
  flags(false, false, false, false);
  b.Line(4001);
  b.Lines(4002, 4003);
  b.Empty();
  b.Item(230, 131, kQuit);
  b.Item(231, 102, 1 | kReset);

  b.Page(31, Text(4100), nullptr);
  flags(false, false, false, false);
  b.Line(4101);
  b.Lines(4102, 4104);
  b.Empty();
  b.Item(240, 101, 21);

  b.Page(32, Text(4200), nullptr);
  flags(false, false, false, true);
  b.Item(250, 4201, kTextField);
  b.Item(251, 100, 1 | kReset);

  b.Page(33, Text(4300), pl);
  flags(false, true, false, false);
  for (int i = 0; i < 11; ++i) b.Empty();
  b.Item(260, 100, 1 | kReset);
  b.Block(s.page33Heading, 30, 218, 600, 22, resultFont);
  b.Block(s.resultsText[0], 30, 30, 600, 168, resultFont);
  b.Block(s.resultsText[1], 30, 30, 600, 168, resultFont);

  static const int32_t kNotices[3][3] = {{37, 4500, 0}, {46, 5400, 0}, {38, 4600, 300}};
  for (const auto& c : kNotices) {
    b.Page(c[0], Text(c[1]), nullptr);
    flags(false, false, false, false);
    b.Line(c[1] + 1);
    b.Lines(c[1] + 2, c[1] + 3);
    b.Empty();
    b.Item(c[2], 101, 3 | kReset);
  }

  b.Page(41, Text(4900), nullptr);
  flags(false, false, false, false);
  b.Line(4901);
  b.Lines(4902, 4903);
  b.Empty();
  b.Item(331, 102, 34 | kReset);
  b.Item(330, 4904, 3 | kReset);

  b.Page(39, Text(4700), nl);
  b.Item(310, 4701, 3, 0, 4711);
  b.Item(311, 4702, 40, 0, 4712);
  b.Empty();
  b.Back(100, 3 | kReset, 293);

  b.Page(40, Text(4800), nl);
  b.Action(320, 4801, s.addressText, false, kStay, 4811);
  b.Empty();
  b.Item(322, 4803, 3 | kReset);
  b.Item(323, 100, 3 | kReset);

  s.page42Subtitle[0] = 0;
  b.Page(42, Text(5000), s.page42Subtitle);
  flags(false, false, false, false);

  b.Page(45, Text(5300), nl);
  flags(false, false, false, false);
  b.Line(5310);
  b.Empty();
  b.Item(350, 102, 39 | kReset);

  b.Page(43, Text(5100), nl);
  flags(false, false, false, false);
  if (b.page &&
      b.page->AddItem(0, s.page43Line[0] ? s.page43Line : " ", MENU_TARGET_STAY, 0, nullptr))
    b.page->m_items[b.page->m_itemCount - 1]->selectable = 0;
  b.Empty();
  b.Back(101, 3 | kReset);

  b.Page(44, Text(5200), nullptr);
  flags(false, false, false, false);
  b.Line(5201);
  b.Lines(5202, 5204);
  b.Empty();
  b.Item(340, 101, 3);

  b.Page(36, Text(1500), pl);
  b.Action(184, 1504, nullptr, true, kStay, 1514);
  if (s.gammaControl) b.Slider(185, 1505, 0.5f, 0.05f, 1515);
  b.Empty();
  b.Back(100, 4 | kReset, 182);

  b.Page(48, Text(5600), pl);
  flags(false, false, true, true);
  b.Item(380, 101, 21 | kReset);

  b.Page(49, Text(5700), nullptr);
  flags(false, false, false, false);
  b.Line(5701);
  b.Lines(5702, 5704);
  b.Empty();
  b.Item(390, 101, 1);

  b.Page(50, Text(5800), nullptr);
  b.Line(5801);
  b.Lines(5802, 5803);
  b.Empty();
  b.Item(400, 101, 1 | kReset, 0, 5804);
  b.Item(401, 102, 1 | kReset, 0, 5805);

  b.Page(51, Text(5900), pl);
  b.Choice(510, 105, s.classNames, classCount, kStay, 5911);
  b.Empty();
  b.Item(511, 5902, 1 | kReset, 0, 5912);
  b.Back(100, 1 | kReset);

  std::snprintf(s.skinNameText, sizeof s.skinNameText, "%s", Text(6204));
  b.Page(54, Text(6200), pl);
  b.Action(520, 6201, s.skinNameText, false, kStay, 6211);
  b.Empty();
  b.Item(521, 6202, 1 | kReset, 0, 6212);
  b.Item(522, 6203, 1 | kReset, 0, 6213);

  b.Page(53, Text(6000), nullptr);
  b.Line(6001);
  b.Lines(6002, 6003);
  b.Empty();
  b.Back(101, 54 | kReset, 0, 6011);

  b.Page(52, Text(6100), nullptr);
  b.Line(6101);
  b.Lines(6102, 6103);
  b.Empty();
  b.Back(101, 54 | kReset, 0, 6111);

  s.menusBuilt = 1;
  MenuAreas_RegisterGameAreas();
  for (size_t i = 0; i < MenuAreas_Count(); ++i)
    if (const MenuArea* area = MenuAreas_Get(i); area->build) area->build(*this, *m_menu);
  return true;
}

void Program::DestroyMenus() {
  if (m_menu) {
    m_menu->Release();
    delete m_menu;
  }
  m_menu = nullptr;
  m_ms.menusBuilt = m_ms.sessionBuilt = m_ms.raceMenusBuilt = 0;
  m_ms.sessionPage = m_ms.racePage = nullptr;
}

// ---- set-up values -------------------------------------------------------------------------------

namespace {

int32_t Clamp(int32_t v, int32_t count) {
  if (count <= 0 || v < 0) return 0;
  return v >= count ? count - 1 : v;
}

}  // namespace

void Program::ClampSetup() {
  for (uint32_t i = 0; i < 2 && i < m_playerCount; ++i) {
    PlayerProfile& p = m_players[i]->m_profile;
    p.normal_frame = Clamp(p.normal_frame, int32_t(m_classCount));
    const int32_t skins = m_classCount ? int32_t(m_classes[p.normal_frame]->m_skins.size()) : 0;
    p.normal_color = Clamp(p.normal_color, skins);
    p.normal_track = Clamp(p.normal_track, int32_t(m_trackCount));
    p.normal_length = Clamp(p.normal_length, int32_t(PROGRAM_RACE_LENGTHS));
    if (p.normal_opponents < 1) p.normal_opponents = 1;
    if (p.normal_opponents > int32_t(PROGRAM_MAX_OPPONENTS))
      p.normal_opponents = int32_t(PROGRAM_MAX_OPPONENTS);
    p.normal_racetype = Clamp(p.normal_racetype, int32_t(m_choices2.count));
    p.ghost_mode = Clamp(p.ghost_mode, int32_t(m_choices3.count));
    const int32_t weathers = int32_t(FillWeatherChoices(p.normal_track));
    p.normal_weather = Clamp(p.normal_weather, weathers);
  }
}

uint32_t Program::FillWeatherChoices(int32_t track) {
  MenuState& s = m_ms;
  s.weatherTexts.clear();
  if (m_weather && track >= 0 && size_t(track) < m_weather->m_trackVariants.size()) {
    for (const TrackWeatherVariant& v : m_weather->m_trackVariants[size_t(track)]) {
      if (v.name.empty()) continue;
      if (s.weatherTexts.size() >= MENUSTATE_MAX_WEATHERS - 1) break;
      s.weatherTexts.push_back(v.display.empty() ? v.name : v.display);
    }
  }
  // The last entry stands for a weather drawn at random.
  const char* random = m_texts ? m_texts->GetByKey("random") : "";
  s.weatherTexts.emplace_back(*random ? random : Text(133));
  for (size_t i = 0; i < s.weatherTexts.size(); ++i) s.weathers[i] = s.weatherTexts[i].c_str();
  return uint32_t(s.weatherTexts.size());
}

// ---- the handler ---------------------------------------------------------------------------------

namespace {

bool IsClassItem(int32_t id) {
  return id == 2 || id == 21 || id == 52 || id == 140 || id == 271 || id == 510;
}
bool IsColourItem(int32_t id) { return id == 3 || id == 22 || id == 53 || id == 141 || id == 272; }
bool IsTrackItem(int32_t id) { return id == 4 || id == 23 || id == 56 || id == 142 || id == 273; }
bool IsWeatherItem(int32_t id) { return id == 9 || id == 27 || id == 59; }

void SetChoice(MenuValue* v, int32_t index, int32_t count) {
  if (!v) return;
  v->choiceCount = count;
  v->choice = Clamp(index, count);
}

}  // namespace

void Program::OnMenuEvent(MenuPage* page, MenuItem* item, uint32_t event) {
  if (!page || !item || event > MENU_FOCUS_LOST || !m_menu) return;
  MenuState& s = m_ms;
  Player* p1 = m_playerCount > 0 ? m_players[0] : nullptr;
  Player* p2 = m_playerCount > 1 ? m_players[1] : nullptr;
  const int32_t id = item->id;
  MenuValue* v = item->value;
  bool served = false;
  const bool setupPage =
      page->m_id == 9 || page->m_id == 11 || page->m_id == 35 || page->m_id == 51;
  if (event == MENU_SHOWN) {
    // The game log follows the pages in the order they are shown.
    uint32_t first = 0;
    while (first < page->m_itemCount && !page->m_items[first]->label[0]) ++first;
    if (first < page->m_itemCount && page->m_items[first] == item)
      Log("Menu page %d '%s'", page->m_id, page->m_caption);
  }

  // Race set-up pages.
  if (setupPage && p1) {
    PlayerProfile& prof = p1->m_profile;
    served = true;
    if (IsClassItem(id) || id == 54) {
      const bool second = id == 54;
      int32_t& menuClass = second ? s.menuClass2 : s.menuClass;
      PlayerProfile& owner = second && p2 ? p2->m_profile : prof;
      MenuItem* colour = page->GetItem(second ? 55 : id + 1);
      if (id == 510) colour = nullptr;
      const char** skins = second ? s.skins2 : s.skins1;
      auto fillSkins = [&](int32_t cls) {
        if (!colour || !colour->value || m_classCount == 0) return;
        const RacingClass* c = m_classes[cls];
        const uint32_t n = uint32_t(c->m_skins.size()) < MENUSTATE_MAX_CHOICES
                               ? uint32_t(c->m_skins.size())
                               : MENUSTATE_MAX_CHOICES;
        for (uint32_t i = 0; i < n; ++i) skins[i] = c->m_skins[i]->name;
        int32_t& menuColor = second ? s.menuColor2 : s.menuColor;
        menuColor = Clamp(menuColor, int32_t(n));
        SetChoice(colour->value, menuColor, int32_t(n));
        page->RefreshItem(colour);
      };
      switch (event) {
        case MENU_SHOWN:
          menuClass = Clamp(owner.normal_frame, int32_t(m_classCount));
          if (v) SetChoice(v, menuClass, int32_t(m_classCount));
          (second ? s.car2 : s.car1).shown = 1;
          ShowMenuCar(uint32_t(menuClass), second ? 1 : 0,
                      uint32_t(second ? s.menuColor2 : s.menuColor), 1.0f);
          break;
        case MENU_HIDDEN:
          owner.normal_frame = menuClass;
          (second ? s.car2 : s.car1).shown = 0;
          break;
        case MENU_DECREASE:
        case MENU_INCREASE:
          if (m_classCount <= 1 || !v) break;
          menuClass = Clamp(v->choice, int32_t(m_classCount));
          fillSkins(menuClass);
          if (id != 510) {
            char key[64];
            std::snprintf(key, sizeof key, "class_%s_help", m_classes[menuClass]->m_name);
            page->SetItemHelp(item, m_texts->GetByKey(key));
          }
          ShowMenuCar(uint32_t(menuClass), second ? 1 : 0,
                      uint32_t(second ? s.menuColor2 : s.menuColor), id == 510 ? 1.0f : 0.45f);
          break;
        case MENU_FOCUS_GAINED:
          (second ? s.car2 : s.car1)
              .Fade(id == 510 ? (second ? s.car2 : s.car1).fadeDirection : -1.0f);
          (second ? s.car2 : s.car1).Slide(1.0f);
          if (id != 510 && m_classCount > 0) {
            char key[64];
            std::snprintf(key, sizeof key, "class_%s_help",
                          m_classes[Clamp(menuClass, int32_t(m_classCount))]->m_name);
            page->SetItemHelp(item, m_texts->GetByKey(key));
          }
          break;
        case MENU_FOCUS_LOST:
          if (id != 510) (second ? s.car2 : s.car1).Fade(1.0f);
          (second ? s.car2 : s.car1).Slide(-1.0f);
          break;
        default: break;
      }
    } else if (IsColourItem(id) || id == 55) {
      const bool second = id == 55;
      PlayerProfile& owner = second && p2 ? p2->m_profile : prof;
      int32_t& menuColor = second ? s.menuColor2 : s.menuColor;
      const int32_t cls = Clamp(second ? s.menuClass2 : s.menuClass, int32_t(m_classCount));
      const int32_t skins = m_classCount ? int32_t(m_classes[cls]->m_skins.size()) : 0;
      switch (event) {
        case MENU_SHOWN: {
          const char** list = second ? s.skins2 : s.skins1;
          for (int32_t i = 0; i < skins && i < int32_t(MENUSTATE_MAX_CHOICES); ++i)
            list[i] = m_classes[cls]->m_skins[size_t(i)]->name;
          menuColor = Clamp(owner.normal_color, skins);
          SetChoice(v, menuColor, skins);
          break;
        }
        case MENU_HIDDEN: owner.normal_color = menuColor; break;
        case MENU_DECREASE:
        case MENU_INCREASE:
          if (v) menuColor = Clamp(v->choice, skins);
          ShowMenuCar(uint32_t(cls), second ? 1 : 0, uint32_t(menuColor), 1.0f);
          break;
        case MENU_FOCUS_GAINED:
          (second ? s.car2 : s.car1).Fade(1.0f);
          (second ? s.car2 : s.car1).Slide(1.0f);
          break;
        case MENU_FOCUS_LOST:
          (second ? s.car2 : s.car1).Fade(1.0f);
          (second ? s.car2 : s.car1).Slide(-1.0f);
          break;
        default: break;
      }
    } else if (IsTrackItem(id)) {
      switch (event) {
        case MENU_SHOWN:
          s.menuTrack = Clamp(prof.normal_track, int32_t(m_trackCount));
          SetChoice(v, s.menuTrack, int32_t(m_trackCount));
          s.track.shown = 1;
          ShowMenuTrack(uint32_t(s.menuTrack));
          break;
        case MENU_HIDDEN:
          s.track.shown = 0;
          prof.normal_track = s.menuTrack;
          break;
        case MENU_DECREASE:
        case MENU_INCREASE: {
          if (!v) break;
          s.menuTrack = Clamp(v->choice, int32_t(m_trackCount));
          ShowMenuTrack(uint32_t(s.menuTrack));
          // The weather list follows the track.
          const int32_t count = int32_t(FillWeatherChoices(s.menuTrack));
          s.menuWeather = Clamp(s.menuWeather, count);
          for (int32_t w : {9, 27, 59}) {
            if (MenuItem* weather = page->GetItem(w)) {
              weather->value->choiceTexts = s.weathers;
              SetChoice(weather->value, s.menuWeather, count);
              page->RefreshItem(weather);
            }
          }
          break;
        }
        case MENU_FOCUS_GAINED: s.track.Slide(1.0f); break;
        case MENU_FOCUS_LOST: s.track.Slide(-1.0f); break;
        default: break;
      }
    } else if (IsWeatherItem(id)) {
      if (event == MENU_SHOWN) {
        const int32_t count =
            int32_t(FillWeatherChoices(Clamp(prof.normal_track, int32_t(m_trackCount))));
        v->choiceTexts = s.weathers;
        s.menuWeather = Clamp(prof.normal_weather, count);
        SetChoice(v, s.menuWeather, count);
      } else if (event == MENU_HIDDEN) {
        prof.normal_weather = s.menuWeather;
      } else if ((event == MENU_DECREASE || event == MENU_INCREASE) && v) {
        s.menuWeather = Clamp(v->choice, v->choiceCount);
      }
    } else if (id == 1 || id == 51) {
      if (event == MENU_SHOWN) {
        s.menuLength = Clamp(prof.normal_length, int32_t(m_lengthChoices.count));
        SetChoice(v, s.menuLength, int32_t(m_lengthChoices.count));
      } else if (event == MENU_HIDDEN) {
        prof.normal_length = s.menuLength;
      } else if ((event == MENU_DECREASE || event == MENU_INCREASE) && v) {
        s.menuLength = Clamp(v->choice, int32_t(m_lengthChoices.count));
      }
    } else if (id == 7) {
      if (event == MENU_SHOWN) {
        s.menuRaceType = Clamp(prof.normal_racetype, int32_t(m_choices2.count));
        SetChoice(v, s.menuRaceType, int32_t(m_choices2.count));
      } else if (event == MENU_HIDDEN) {
        prof.normal_racetype = s.menuRaceType;
      } else if ((event == MENU_DECREASE || event == MENU_INCREASE) && v) {
        s.menuRaceType = Clamp(v->choice, int32_t(m_choices2.count));
      }
    } else if (id == 8) {
      if (event == MENU_SHOWN && v) {
        int32_t n = prof.normal_opponents;
        if (n < v->minimum) n = v->minimum;
        if (n > v->maximum) n = v->maximum;
        v->value = n;
        std::snprintf(v->number, sizeof v->number, "%d", n);
      } else if (event == MENU_HIDDEN && v) {
        prof.normal_opponents = v->value;
      }
    } else if (id == 26) {
      if (event == MENU_SHOWN) {
        s.menuGhostMode = Clamp(prof.ghost_mode, int32_t(m_choices3.count));
        SetChoice(v, s.menuGhostMode, int32_t(m_choices3.count));
      } else if (event == MENU_HIDDEN) {
        prof.ghost_mode = s.menuGhostMode;
      } else if ((event == MENU_DECREASE || event == MENU_INCREASE) && v) {
        s.menuGhostMode = Clamp(v->choice, int32_t(m_choices3.count));
      }
    } else if (id == 24 || id == 5 || id == 57) {
      if (event == MENU_SHOWN || event == MENU_HIDDEN) m_gameMode = id == 24 ? 1 : id == 5 ? 3 : 2;
    } else if (id == 511 && event == MENU_ACTIVATE) {
      // The editor runs once this frame pump has ended (RunMenus); the page stays until then.
      item->target = kStay;
      m_skinClass = Clamp(s.menuClass, int32_t(m_classCount));
      m_skinEditorPending = 1;
      g_VQsystem.m_stop = 1;
    } else {
      served = false;
    }
  }
  if (!served && page == s.sessionPage) {
    served = true;
    if (id == 72 && event == MENU_ACTIVATE) {
      m_gameMode = 5;
    } else if (id == 70 && event == MENU_SHOWN) {
      s.idleCountdown = MENU_IDLE_SECONDS;
    } else if ((id == 70 || id == 79) && event == MENU_FOCUS_GAINED) {
      s.car1.shown = 1;
      s.car2.shown = 0;
    } else {
      served = false;
    }
  }
  if (!served && page->m_id == 3 && event == MENU_FOCUS_GAINED) {
    if (id == 290 || id == 291) {
      s.car1.shown = 1;
      s.car2.shown = 0;
    } else if (id == 292) {
      s.car1.shown = s.car2.shown = 1;
    }
  }
  // Typed texts: a new profile's name, an address, a painted skin's name.
  if (!served && (id == 90 || id == 320 || id == 520)) {
    char* buffer = id == 90 ? s.newProfileName : id == 320 ? s.addressText : s.skinNameText;
    const size_t size = id == 90    ? sizeof s.newProfileName
                        : id == 320 ? sizeof s.addressText
                                    : sizeof s.skinNameText;
    const size_t limit = id == 90 ? 15 : size - 2;
    switch (event) {
      case MENU_SHOWN:
        // A field left without losing the focus still holds its glyph: it starts anew.
        if (s.field.text == buffer) s.field.End();
        if (id == 520) std::snprintf(s.skinNameText, sizeof s.skinNameText, "%s", Text(6204));
        if (id == 90) std::snprintf(s.newProfileName, sizeof s.newProfileName, "%s", Text(2409));
        break;
      case MENU_FOCUS_GAINED:
        s.field.Begin(buffer, size, limit);
        page->RefreshItem(item);
        break;
      case MENU_DECREASE:
      case MENU_INCREASE:
        if (s.field.text == buffer) s.field.Move(event == MENU_DECREASE ? -1 : 1);
        page->RefreshItem(item);
        break;
      case MENU_FOCUS_LOST:
        if (s.field.text == buffer) s.field.End();
        page->RefreshItem(item);
        break;
      case MENU_ACTIVATE:
        // Return ends the typing and goes on to the next item.
        if (id == 520) page->FocusItem(521);
        if (id == 90) page->FocusItem(91);
        break;
      default: break;
    }
    served = event != MENU_ACTIVATE || id == 520 || id == 90;
  }
  // The in-race pause page.
  if (!served && page == s.racePage) {
    served = true;
    switch (id) {
      case 160:
        if (event == MENU_ACTIVATE) s.restartRebuildsGrid = 0;
        break;
      case 164:
        if (event == MENU_ACTIVATE) s.restartRebuildsGrid = m_gameMode == 3 ? 1 : 0;
        break;
      case 162:
        if (event == MENU_ACTIVATE) Pause(true);
        break;
      case 163:
        if (event == MENU_SHOWN) {
          page->SetItemHelp(item, Text(1316));
          if (MenuPage* p24 = m_menu->FindPage(24))
            if (MenuItem* i151 = p24->GetItem(151)) i151->target = 1;
        } else if (event == MENU_ACTIVATE) {
          if (m_gameMode == 4) {
            item->target = 24;
          } else {
            item->target = kStartOrLeave;
            m_menuReturnPage = 1;
          }
        }
        break;
      default: served = false; break;
    }
  }
  if (!served && page->m_id == 22) {
    if (id == 122 && event == MENU_ACTIVATE) Pause(true);
  }
  if (!served && page->m_id == 32) {
    if (id == 250 && event == MENU_SHOWN) {
      s.smallGame[0] = 999;
      s.smallGame[1] = 0;
    } else if (id == 250 && event == MENU_ACTIVATE) {
      s.smallGame[1] = s.smallGame[0] + 1;
    }
  }
  if (!served && page->m_id == 54 && p1) {
    served = true;
    if (id == 521 && event == MENU_ACTIVATE) {
      // The typed name must be usable in a file name and new within the painted class
      // (letters in any case).
      std::string clean, reason;
      if (!s.skinNameText[0]) {
        item->target = 0x35 | kReset;
      } else if (!SkinFiles_CheckName(s.skinNameText, &clean, &reason)) {
        ShowMessage(reason.c_str(), Text(6200));
        item->target = kStay;
      } else {
        const int32_t cls = Clamp(m_skinClass, int32_t(m_classCount));
        item->target = 1 | kReset;
        if (m_classCount > 0)
          for (const Skin* skin : m_classes[cls]->m_skins)
            if (strcasecmp(skin->name, clean.c_str()) == 0) item->target = 0x34 | kReset;
        if (item->target == (1 | kReset) && !SaveSkin(clean.c_str(), &reason)) {
          ShowMessage(reason.c_str(), Text(6200));
          item->target = kStay;
        }
      }
    } else if (id == 522 && event == MENU_ACTIVATE) {
      m_skinResult.Release();
    } else {
      served = false;
    }
  }
  if (!served) {
    for (size_t i = 0; i < MenuAreas_Count(); ++i) {
      const MenuArea* area = MenuAreas_Get(i);
      if (area->onEvent && area->onEvent(*this, page, item, event)) break;
    }
  }
  if (event == MENU_ACTIVATE) RunTargetTail(item);
}

void Program::RunTargetTail(MenuItem* item) {
  switch (item->target) {
    case kQuit:
      m_ms.menuRunning = 0;
      m_sessionRequest = SESSION_QUIT;
      g_VQsystem.m_stop = 1;
      break;
    case kBackToRace: m_menu->HideAllPages(); break;
    case kStartOrLeave:
      m_menu->HideAllPages();
      m_sessionRequest = SESSION_RACE;
      g_VQsystem.m_stop = 1;
      break;
    case kRestart:
      m_menu->HideAllPages();
      m_sessionRequest = SESSION_RESTART;
      g_VQsystem.m_stop = 1;
      break;
    case kRestartGrid:
      m_menu->HideAllPages();
      m_sessionRequest = SESSION_RESTART_CHAMP;
      g_VQsystem.m_stop = 1;
      break;
    default: break;
  }
}
