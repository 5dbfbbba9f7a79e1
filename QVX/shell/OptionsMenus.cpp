// The menu area of the options pages (sound, graphics, profiles) and the championship pages
// (championship menu, choice, standings and the end of a championship). The rules live in
// Options.h and Championship.h; this file ties them to the menu items.
#include "QVX/shell/OptionsMenus.h"

#include <algorithm>
#include <cstdio>

#include "QVX/menu/Menu.h"
#include "QVX/menu/MenuAreas.h"
#include "QVX/menu/MusicTrack.h"
#include "QVX/race/Player.h"
#include "QVX/shell/Options.h"
#include "QVX/shell/Program.h"

namespace {

constexpr int32_t kStay = 0x70000;
constexpr int32_t kChoicePage = 47;
constexpr int32_t kFirstChoiceItem = 360;
constexpr uint8_t kMedalGlyph = 128;  // medal glyphs 129..131 for places 1..3, 132 off the podium
char g_medalTexts[CHAMP_KINDS][4];

float* VolumeOf(Program& p, PlayerProfile& prof, int32_t id, float** programValue) {
  switch (id) {
    case 10: *programValue = &p.m_volumeMaster; return &prof.volume_master;
    case 11: *programValue = &p.m_volumeCars; return &prof.volume_cars;
    case 12: *programValue = &p.m_volumeAmbient; return &prof.volume_ambient;
    case 13: *programValue = nullptr; return &prof.volume_music;
    case 15: *programValue = &p.m_volumeComment; return &prof.volume_comment;
    default: return nullptr;
  }
}

void SetActionText(MenuPage* page, MenuItem* item, const char* text) {
  if (!item->value) return;
  item->value->actionText = text;
  page->RefreshItem(item);
}

bool SoundEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event, PlayerProfile& prof) {
  const int32_t id = item->id;
  float* programValue = nullptr;
  if (float* value = VolumeOf(p, prof, id, &programValue)) {
    if (!item->value) return true;
    if (event == MENU_SHOWN) {
      if (id == 11) *value = Options_CarsVolume(*value);
      item->value->slider01 = *value;
      page->RefreshItem(item);
    } else if (event == MENU_DECREASE || event == MENU_INCREASE) {
      *value = id == 11 ? Options_CarsVolume(item->value->slider01)
                        : Options_Volume(item->value->slider01);
      item->value->slider01 = *value;
      if (programValue) *programValue = *value;
      if (p.m_musicTrack && (id == 10 || id == 13))
        p.m_musicTrack->SetVolume(Options_MusicVolume(prof, false));
    }
    return true;
  }
  uint8_t* category = id == 17   ? &prof.music_cat1
                      : id == 18 ? &prof.music_cat2
                      : id == 19 ? &prof.music_cat3
                                 : nullptr;
  if (category) {
    if (event == MENU_DECREASE || event == MENU_INCREASE || event == MENU_ACTIVATE)
      *category = *category ? 0 : 1;
    SetActionText(page, item, p.Text(*category ? OPTTEXT_ON : OPTTEXT_OFF));
    return true;
  }
  if (id == 20) {
    if (event == MENU_DECREASE || event == MENU_INCREASE)
      prof.music_mode = Options_Step3(prof.music_mode, event == MENU_INCREASE);
    SetActionText(page, item, p.Text(Options_MusicModeText(prof.music_mode)));
    return true;
  }
  if (id == 16 && event == MENU_ACTIVATE) {
    Options_RestoreSoundDefaults(prof);
    p.m_volumeMaster = prof.volume_master;
    p.m_volumeCars = prof.volume_cars;
    p.m_volumeAmbient = prof.volume_ambient;
    p.m_volumeComment = prof.volume_comment;
    if (p.m_musicTrack) p.m_musicTrack->SetVolume(Options_MusicVolume(prof, false));
    for (int32_t other : {10, 11, 12, 13, 15, 17, 18, 19, 20})
      if (MenuItem* it = page->GetItem(other)) SoundEvent(p, page, it, MENU_SHOWN, prof);
    item->target = kStay;
    return true;
  }
  return false;
}

bool GraphicsEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event,
                   PlayerProfile& prof) {
  const int32_t id = item->id;
  int32_t* detail = id == 180   ? &prof.tex_detail
                    : id == 181 ? &prof.track_detail
                    : id == 183 ? &prof.car_detail
                    : id == 184 ? &prof.particle_detail
                                : nullptr;
  if (detail) {
    if (event == MENU_DECREASE || event == MENU_INCREASE)
      *detail = Options_Step3(*detail, event == MENU_INCREASE);
    SetActionText(page, item, p.Text(Options_DetailText(id, *detail)));
    return true;
  }
  if (id == 185 && item->value) {
    if (event == MENU_SHOWN) {
      item->value->slider01 = Options_SliderFromGamma(prof.gamma);
      page->RefreshItem(item);
    } else if (event == MENU_DECREASE || event == MENU_INCREASE) {
      prof.gamma = Options_GammaFromSlider(item->value->slider01);
    }
    return true;
  }
  return false;
}

bool ProfileEvent(Program& p, MenuPage*, MenuItem* item, uint32_t event) {
  const int32_t id = item->id;
  if ((id == 80 || id == 81) && item->value) {
    const uint32_t slot = uint32_t(id - 80);
    if (event == MENU_SHOWN) {
      item->value->choiceCount =
          int32_t(std::min<size_t>(p.m_profileNames.size(), MENUSTATE_MAX_CHOICES));
      item->value->choice =
          slot < p.LocalPlayerCount() ? std::max(p.m_players[slot]->m_profileIndex, 0) : 0;
    } else if (event == MENU_HIDDEN && slot < p.LocalPlayerCount()) {
      p.SelectProfile(slot, uint32_t(item->value->choice));
    }
    return true;
  }
  if (id == 92 && event == MENU_ACTIVATE) {
    const MenuValue* number = item->page ? item->page->GetValue(91) : nullptr;
    const int32_t page = p.CreateProfile(p.m_ms.newProfileName, number ? number->value : 1);
    item->target = page;
    return true;
  }
  return false;
}

void FillChoiceItem(Program& p, MenuItem* item, const PlayerProfile& prof) {
  const uint32_t i = uint32_t(item->id - kFirstChoiceItem);
  char* text = g_medalTexts[i];
  const int32_t prize = prof.champ_prizes[i];
  if (prize >= 1 && prize <= 3) {
    text[0] = char(kMedalGlyph + prize);
    text[1] = 0;
  } else {
    const int n = prize > 3 ? std::min(prize - 3, 3) : 0;
    for (int k = 0; k < n; ++k) text[k] = char(kMedalGlyph + 4);
    text[n] = 0;
  }
  if (item->value) item->value->actionText = text;
  const bool open = prof.unlocked_champs[i] != 0;
  item->disabled = open ? 0 : 1;
  item->selectable = open ? 1 : 0;
  (void)p;
}

bool ChampionshipEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event, Player& human) {
  PlayerProfile& prof = human.m_profile;
  Championship& c = p.m_championship;
  const int32_t id = item->id;
  switch (id) {
    case 101:
      if (event == MENU_SHOWN) {
        item->selectable = prof.in_champ ? 1 : 0;
        item->disabled = prof.in_champ ? 0 : 1;
      } else if (event == MENU_ACTIVATE) {
        c.m_scroll = -1;
        p.FillStandings();
      }
      return true;
    case 100:
      if (event == MENU_ACTIVATE) item->target = prof.in_champ ? 16 : kChoicePage;
      return true;
    case 110:
      if (event == MENU_ACTIVATE) {
        prof.in_champ = 0;
        c.Clear();
        item->target = kChoicePage;
      }
      return true;
    case 130:
    case 131:
      if (event == MENU_ACTIVATE) {
        c.m_scroll = id == 130 ? std::max(0, c.m_scroll - int32_t(CHAMP_ROWS))
                               : c.m_scroll + int32_t(CHAMP_ROWS);
        p.FillStandings();  // keeps the view inside the table
        item->target = kStay;
      }
      return true;
    case 132:
      if (event == MENU_ACTIVATE) {
        const ChampionshipProgress r = Championship_Progress(prof, c.HumanPosition(), false);
        item->target = r.continueTarget;
        if (MenuPage* prize = p.m_menu->FindPage(48))
          if (MenuItem* it = prize->GetItem(380)) it->target = r.prizeTarget;
        if (MenuPage* car = p.m_menu->FindPage(27))
          if (MenuItem* it = car->GetItem(210)) it->target = r.newCarTarget;
        if (MenuPage* opened = p.m_menu->FindPage(49))
          if (MenuItem* it = opened->GetItem(390)) it->target = r.openedTarget;
        if (r.ended) human.Save(true);
      }
      return true;
    default: break;
  }
  if (id >= kFirstChoiceItem && id < kFirstChoiceItem + int32_t(CHAMP_KINDS)) {
    if (event == MENU_SHOWN) {
      FillChoiceItem(p, item, prof);
      page->RefreshItem(item);
    } else if (event == MENU_ACTIVATE) {
      p.SetupChampionship(uint32_t(id - kFirstChoiceItem));
      c.m_scroll = -1;
      p.FillStandings();
      item->target = 23;
    }
    return true;
  }
  return false;
}

bool BuildArea(Program& p, Menu& menu) {
  // The championship choice lists the eleven championships above its back item.
  MenuPage* page = menu.FindPage(kChoicePage);
  if (!page || page->GetItem(kFirstChoiceItem)) return true;
  while (page->m_itemCount > 0) page->RemoveItem(page->m_itemCount - 1);
  for (uint32_t i = 0; i < CHAMP_KINDS; ++i) {
    const char* label = p.Text(int32_t(5501 + i));
    page->AddItem(kFirstChoiceItem + int32_t(i), *label ? label : " ", kStay, MENU_VALUE_ACTION,
                  nullptr);
  }
  page->AddItem(0, "", 0, 0, nullptr);
  page->AddItem(0, p.Text(100), 15 | MENU_TARGET_FOCUS_RESET, 0, nullptr);
  return true;
}

bool OnEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event) {
  if (!page || !item || p.m_playerCount == 0 || !p.m_players[0]) return false;
  Player& human = *p.m_players[0];
  switch (page->m_id) {
    case 7: return SoundEvent(p, page, item, event, human.m_profile);
    case 6:
    case 36: return GraphicsEvent(p, page, item, event, human.m_profile);
    case 13:
    case 14: return ProfileEvent(p, page, item, event);
    case 15:
    case 16:
    case 23:
    case kChoicePage: return ChampionshipEvent(p, page, item, event, human);
    default: return false;
  }
}

}  // namespace

MenuArea OptionsMenus_Area() {
  MenuArea area;
  area.name = "options-championship";
  area.build = BuildArea;
  area.onEvent = OnEvent;
  return area;
}
