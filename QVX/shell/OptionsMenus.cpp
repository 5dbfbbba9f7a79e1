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
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Options.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/util/VQStrings.h"

namespace {

constexpr int32_t kStay = 0x70000;
constexpr int32_t kStartRace = 0x40000;
constexpr int32_t kRestartGrid = 0x60000;
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
      p.ApplyRaceVolumes();
      // In the menus the music plays at its share of the master volume; over a race (the
      // in-race sound page) at the music volume times the master volume.
      if (p.m_musicTrack && (id == 10 || id == 13))
        p.m_musicTrack->SetVolume(Options_MusicVolume(prof, p.m_raceRunning != 0));
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
    p.ApplyRaceVolumes();
    if (p.m_musicTrack) p.m_musicTrack->SetVolume(Options_MusicVolume(prof, p.m_raceRunning != 0));
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
      // The names are listed anew: a profile created since the menus were built moved the
      // list's strings, and the old pointers would show (or read) what is no longer there.
      const size_t count = std::min<size_t>(p.m_profileNames.size(), MENUSTATE_MAX_CHOICES);
      for (size_t i = 0; i < count; ++i) p.m_ms.profileNames[i] = p.m_profileNames[i].c_str();
      item->value->choiceTexts = p.m_ms.profileNames;
      item->value->choiceCount = int32_t(count);
      item->value->choice =
          slot < p.LocalPlayerCount() ? std::max(p.m_players[slot]->m_profileIndex, 0) : 0;
    } else if (event == MENU_HIDDEN && slot < p.LocalPlayerCount()) {
      p.SelectProfile(slot, uint32_t(item->value->choice));
    }
    return true;
  }
  if (id == 91 && event == MENU_ACTIVATE) {
    if (item->page) item->page->FocusItem(92);
    return true;
  }
  if (id == 92 && event == MENU_ACTIVATE) {
    // The typed name without the caret, whichever way the field was left.
    if (p.m_ms.field.text == p.m_ms.newProfileName) p.m_ms.field.End();
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
  // The newest open championship takes the focus: the last one, or one whose successor is
  // still closed.
  MenuPage* page = item->page;
  if (open && page && (i + 1 == CHAMP_KINDS || !prof.unlocked_champs[i + 1]))
    for (uint32_t k = 0; k < page->m_itemCount; ++k)
      if (page->m_items[k] == item) page->m_focus = int32_t(k);
  (void)p;
}

// The race set-up page before it is shown again: the focus on the start item when the
// championship's car is open (else on the class), and the title with the race of the weekend.
void PrepareRacePage(Program& p, const PlayerProfile& prof) {
  const bool grand = prof.champ_idx == int32_t(CHAMP_KIND_GRAND);
  if (grand)
    std::snprintf(p.m_champTitle, sizeof p.m_champTitle, "%s (%d/2)", p.Text(3200),
                  prof.champ_race + 1);
  else
    std::snprintf(p.m_champTitle, sizeof p.m_champTitle, "%s (1/1)", p.Text(3200));
  MenuPage* page = p.m_menu ? p.m_menu->FindPage(21) : nullptr;
  if (!page) return;
  page->SetCaption(p.m_champTitle);
  const int32_t frame = prof.champ_frame;
  const bool open = frame >= 0 && frame < PROFILE_MAX_CLASSES && prof.unlocked_cars[frame];
  const int32_t focus = open ? 145 : 140;
  for (uint32_t i = 0; i < page->m_itemCount; ++i)
    if (page->m_items[i]->id == focus) page->m_focus = int32_t(i);
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
        p.m_fromResults = 0;
      }
      return true;
    case 100:
      if (event == MENU_ACTIVATE) {
        item->target = prof.in_champ ? 16 : kChoicePage;
        p.m_fromResults = 0;
      }
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
      if (event == MENU_SHOWN) {
        prof.champ_race = prof.champ_idx == int32_t(CHAMP_KIND_GRAND) && p.m_raceRunning ? 1 : 0;
      } else if (event == MENU_ACTIVATE) {
        if (prof.champ_race == 0) p.m_lastChampionshipPlace = c.HumanPosition();
        const ChampionshipProgress r =
            Championship_Progress(prof, c.HumanPosition(), p.m_fromResults != 0);
        p.m_unlockedCar = r.unlockedCar;
        if (r.prizeTrack) p.m_prizeTrack = 1;
        PrepareRacePage(p, prof);
        item->target = r.continueTarget;
        if (MenuPage* prize = p.m_menu->FindPage(48))
          if (MenuItem* it = prize->GetItem(380)) it->target = r.prizeTarget;
        if (MenuPage* car = p.m_menu->FindPage(27))
          if (MenuItem* it = car->GetItem(210)) it->target = r.newCarTarget;
        if (MenuPage* opened = p.m_menu->FindPage(49))
          if (MenuItem* it = opened->GetItem(390)) it->target = r.openedTarget;
        if (r.ended) human.Save(true);
        p.Log("Championship %d: place %u, season %d, weekend %d%s", prof.champ_idx,
              c.HumanPosition(), prof.champ_season, prof.champ_weekend, r.ended ? ", ended" : "");
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

// ---- controls ------------------------------------------------------------------------------------

Player* BindingPlayer(Program& p) {
  const uint32_t i = p.m_bindingPlayer == 1 ? 1u : 0u;
  return i < p.LocalPlayerCount() ? p.m_players[i] : nullptr;
}

// The value text of a binding item: the name of the code in the item's slot.
void ShowBinding(Program& p, MenuPage* page, MenuItem* item) {
  const int slot = Options_BindingSlot(item->id);
  Player* player = BindingPlayer(p);
  char* buffer = p.m_ms.actionBuffers[item->id - OPTIONS_FIRST_BINDING_ITEM];
  const size_t size = sizeof p.m_ms.actionBuffers[0];
  std::snprintf(buffer, size, "%s",
                player && slot >= 0 ? InputCodeName(uint32_t(player->GetBinding(slot))) : "");
  if (item->value) item->value->actionText = buffer;
  page->SetItemHelp(item, p.Text(OPTTEXT_BINDING_HELP));
  page->RefreshItem(item);
}

// Ends a capture with the code the player pressed or moved; false when the code is refused and
// the item waits on.
bool FinishCapture(Program& p, int32_t code) {
  MenuItem* item = p.m_captureItem;
  MenuPage* page = item ? item->page : nullptr;
  Player* player = BindingPlayer(p);
  if (!item || !page || !player) {
    p.m_captureItem = nullptr;
    if (page) page->SetKeysEnabled(true);
    return true;
  }
  Player* other = p.m_bindingPlayer == 1 ? p.m_players[0]
                                         : (p.LocalPlayerCount() > 1 ? p.m_players[1] : nullptr);
  const BindingCapture result = Options_CaptureBinding(
      player->m_profile, other && other != player ? &other->m_profile : nullptr, item->id, code);
  if (result == BINDCAP_RESERVED || result == BINDCAP_NO_CODE) {
    page->SetItemHelp(item, p.Text(Options_CaptureHelpText(result)));
    return false;
  }
  player->AssignSpareKey();
  p.m_captureItem = nullptr;
  ShowBinding(p, page, item);
  page->SetItemHelp(item, p.Text(Options_CaptureHelpText(result)));
  page->SetKeysEnabled(true);
  p.Log("Binding %d of player %d: %s", item->id, p.m_bindingPlayer + 1,
        InputCodeName(uint32_t(code)));
  return true;
}

VQJoystickDevice* Joystick(Program& p, uint32_t j) {
  return j < PROGRAM_JOYSTICKS ? dynamic_cast<VQJoystickDevice*>(p.m_joysticks[j]) : nullptr;
}

void StartCapture(Program& p, MenuPage* page, MenuItem* item) {
  char* buffer = p.m_ms.actionBuffers[item->id - OPTIONS_FIRST_BINDING_ITEM];
  std::snprintf(buffer, sizeof p.m_ms.actionBuffers[0], " ");
  if (item->value) item->value->actionText = buffer;
  page->SetItemHelp(item, p.Text(OPTTEXT_BINDING_WAIT));
  page->RefreshItem(item);
  page->SetKeysEnabled(false);
  p.m_captureItem = item;
  // The joysticks' present state is what a moved axis or pressed button is told from.
  for (uint32_t j = 0; j < PROGRAM_JOYSTICKS && j < uint32_t(INPUTCODE_JOYSTICKS); ++j) {
    VQJoystickDevice* joy = Joystick(p, j);
    if (!joy) continue;
    joy->Poll();
    for (uint32_t a = 0; a < VQJOYSTICK_MAX_AXES; ++a) p.m_captureAxes[j][a] = joy->m_axes[a];
    p.m_captureButtons[j] = joy->m_buttons;
  }
}

bool ControlsEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event) {
  const int32_t id = item->id;
  if (page->m_id == 5) {
    if ((id == 40 || id == 41) && event == MENU_FOCUS_GAINED) p.m_bindingPlayer = id - 40;
    return id == 40 || id == 41;
  }
  if (Options_BindingSlot(id) >= 0) {
    if (event == MENU_SHOWN) {
      ShowBinding(p, page, item);
    } else if (event == MENU_ACTIVATE) {
      if (BindingPlayer(p)) StartCapture(p, page, item);
    } else if (event == MENU_HIDDEN) {
      if (p.m_captureItem) {
        p.m_captureItem = nullptr;
        page->SetKeysEnabled(true);
      }
      // The page is left: every joystick a binding names is polled in the race.
      if (id == OPTIONS_FIRST_BINDING_ITEM)
        for (uint32_t i = 0; i < p.LocalPlayerCount() && i < 2; ++i)
          for (int slot = 0; p.m_players[i] && slot < PLAYER_BINDINGS; ++slot) {
            const int j = InputCodeJoystick(p.m_players[i]->GetBinding(slot));
            if (j >= 0 && j < int(PROGRAM_JOYSTICKS)) p.m_joystickEnabled[j] = 1;
          }
    }
    return true;
  }
  if ((id == 43 || id == 44) && event == MENU_ACTIVATE) {
    if (Player* player = BindingPlayer(p)) {
      if (id == 43)
        player->SetDefaultKeyBindings(uint32_t(p.m_bindingPlayer + 1));
      else
        player->SetDefaultJoystickBindings();
      for (int32_t b = OPTIONS_FIRST_BINDING_ITEM;
           b < OPTIONS_FIRST_BINDING_ITEM + OPTIONS_BINDING_ITEMS; ++b)
        if (MenuItem* it = page->GetItem(b)) ShowBinding(p, page, it);
    }
    item->target = kStay;
    return true;
  }
  return false;
}

// ---- the championship race set-up and the end of a championship ----------------------------------

// Starting the next weekend's race from the pages shown over a finished race ends that race;
// the menus that would follow it start the new one instead (a restart on the same grid, the
// second race of a grand weekend, stays in the running race).
void NextWeekend(Program& p, int32_t target) {
  if (target != kStartRace || !p.m_raceRunning) return;
  p.m_champNextRace = 1;
  p.Log("Championship: the next race follows the running one");
}

int32_t Clamped(int32_t value, int32_t count) {
  return count <= 0 ? 0 : value < 0 ? 0 : value >= count ? count - 1 : value;
}

bool RaceSetupEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event,
                    PlayerProfile& prof) {
  MenuState& s = p.m_ms;
  MenuValue* v = item->value;
  const bool grand = prof.champ_idx == int32_t(CHAMP_KIND_GRAND);
  const int32_t classes = int32_t(std::min<uint32_t>(p.m_classCount, MENUSTATE_MAX_CHOICES));
  const int32_t tracks = int32_t(std::min<uint32_t>(p.m_trackCount, MENUSTATE_MAX_CHOICES));
  const int32_t weekend = Clamped(prof.champ_weekend, tracks);
  auto skinCount = [&](int32_t cls) {
    return classes > 0 && p.m_classes[cls]
               ? int32_t(std::min<size_t>(p.m_classes[cls]->m_skins.size(), MENUSTATE_MAX_CHOICES))
               : 0;
  };
  auto fillSkins = [&](int32_t cls) {
    const int32_t n = skinCount(cls);
    for (int32_t i = 0; i < n; ++i) s.skins1[i] = p.m_classes[cls]->m_skins[size_t(i)]->name;
    return n;
  };
  const int32_t id = item->id;
  switch (id) {
    case 140:
    case 141: {
      const int32_t cls = Clamped(prof.champ_frame, classes);
      if (event == MENU_SHOWN && v) {
        const bool locked = prof.champ_race == 1 || !grand;
        item->disabled = locked ? 1 : 0;
        item->selectable = locked ? 0 : 1;
        if (id == 140) {
          s.menuClass = cls;
          v->choiceCount = classes;
          v->choice = cls;
          if (classes > 0)
            p.ShowMenuCar(uint32_t(cls), 0, uint32_t(Clamped(prof.champ_color, skinCount(cls))),
                          1.0f);
          s.car1.shown = 1;
        } else {
          v->choiceTexts = s.skins1;
          v->choiceCount = fillSkins(cls);
          s.menuColor = Clamped(prof.champ_color, v->choiceCount);
          v->choice = s.menuColor;
        }
        page->RefreshItem(item);
      } else if ((event == MENU_DECREASE || event == MENU_INCREASE) && v) {
        if (id == 140) {
          s.menuClass = Clamped(v->choice, classes);
          if (MenuItem* colour = page->GetItem(141); colour && colour->value) {
            colour->value->choiceCount = fillSkins(s.menuClass);
            s.menuColor = Clamped(s.menuColor, colour->value->choiceCount);
            colour->value->choice = s.menuColor;
            page->RefreshItem(colour);
          }
        } else {
          s.menuColor = Clamped(v->choice, v->choiceCount);
        }
        if (classes > 0) p.ShowMenuCar(uint32_t(s.menuClass), 0, uint32_t(s.menuColor), 1.0f);
      } else if (event == MENU_HIDDEN) {
        if (id == 140) {
          prof.champ_frame = s.menuClass;
          s.car1.shown = 0;
        } else {
          prof.champ_color = s.menuColor;
        }
      }
      return true;
    }
    case 142:
      if (event == MENU_SHOWN) {
        if (v) v->actionText = tracks > 0 ? s.trackNames[weekend] : "";
        s.menuTrack = weekend;
        if (prof.champ_race != 1 && tracks > 0) {
          s.track.shown = 1;
          p.ShowMenuTrack(uint32_t(weekend));
        }
        page->RefreshItem(item);
      } else if (event == MENU_HIDDEN) {
        s.track.shown = 0;
      }
      return true;
    case 143:
      if (event == MENU_SHOWN && v) {
        v->actionText = p.Text(prof.champ_weekend == 1 ? 3220 : 3221);
        page->RefreshItem(item);
      }
      return true;
    case 144:
      if (event == MENU_SHOWN && v) {
        v->actionText = p.Text(prof.champ_race == 1 ? 3223 : 3222);
        page->RefreshItem(item);
      }
      return true;
    case 148:
      if (event == MENU_SHOWN && v) {
        // The list's last entry (a random weather) is no choice of a championship weekend.
        const int32_t count = int32_t(p.FillWeatherChoices(weekend)) - 1;
        v->choiceTexts = s.weathers;
        v->choiceCount = count > 0 ? count : 1;
        const int32_t slot = Clamped(prof.champ_weekend, PROFILE_CHAMP_WEATHERS);
        v->choice = Clamped(prof.champ_weather_idxs[slot], count);
        page->RefreshItem(item);
      }
      return true;
    case 145:
      if (event == MENU_SHOWN || event == MENU_ACTIVATE) {
        p.m_gameMode = CHAMPMODE_CHAMPIONSHIP;
        item->target = prof.champ_race == 0 ? kStartRace : kRestartGrid;
        if (event == MENU_ACTIVATE) {
          p.m_scoreAfterRace = 0;
          NextWeekend(p, item->target);
        }
      } else if (event == MENU_HIDDEN) {
        p.m_gameMode = CHAMPMODE_CHAMPIONSHIP;
      }
      return true;
    case 147:
      if (event == MENU_SHOWN) {
        item->hidden = grand ? 0 : 1;
        item->selectable = grand ? 1 : 0;
      } else if (event == MENU_ACTIVATE) {
        p.m_scoreAfterRace = 1;
        if (grand) {
          item->target = prof.champ_race != 0 ? kRestartGrid : kStartRace;
          NextWeekend(p, item->target);
        } else {
          item->target = 23;
          p.ScoreRace(false, true);
          p.FillStandings();
        }
      } else if (event == MENU_HIDDEN) {
        p.m_gameMode = CHAMPMODE_CHAMPIONSHIP;
      }
      return true;
    case 146:
      if (event == MENU_SHOWN) {
        const bool first = prof.champ_race == 0;
        item->target = first ? 2 : 24;
        item->label = p.Text(first ? 3202 : 3203);
        page->SetItemHelp(item, p.Text(first ? 3215 : 3216));
        if (MenuPage* p24 = p.m_menu->FindPage(24))
          if (MenuItem* back = p24->GetItem(151)) back->target = 21;
      }
      return true;
    default: return false;
  }
}

bool ChampionshipEndEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event,
                          Player& human) {
  PlayerProfile& prof = human.m_profile;
  MenuState& s = p.m_ms;
  const int32_t id = item->id;
  if (page->m_id == 24 && id == 150 && event == MENU_ACTIVATE) {
    p.m_menuReturnPage = 1;
    // The race is left: its computer drivers score the places they held when the race menu
    // opened; the human scores nothing.
    for (const ChampParticipant& q : p.m_raceParticipants)
      p.Log("Championship race left: place %u %s%s, %u points", q.position, q.name.c_str(),
            q.type == CHAMPPART_HUMAN ? " (player)" : "",
            q.type == CHAMPPART_HUMAN ? 0u : Championship_Points(q.position));
    p.ScoreRace(true, false);
    p.Log("Championship standings: %u points, place %u", p.m_championship.Entry(0).points,
          p.m_championship.HumanPosition());
    return true;
  }
  if (page->m_id == 27 && id == 210) {
    if (event == MENU_SHOWN) {
      const int32_t classes = int32_t(p.m_classCount);
      const int32_t cls = p.m_unlockedCar;
      if (cls >= 0 && cls < classes && p.m_classes[cls]) {
        if (prof.champ_color >= int32_t(p.m_classes[cls]->m_skins.size())) prof.champ_color = 0;
        p.ShowMenuCar(uint32_t(cls), 0, uint32_t(prof.champ_color), 1.0f);
        s.car1.shown = 1;
        char key[64];
        std::snprintf(key, sizeof key, "class_%s_help", p.m_classes[cls]->m_name);
        if (p.m_texts) page->SetItemHelp(item, p.m_texts->GetByKey(key));
      }
      p.m_unlockedCar = -1;
    } else if (event == MENU_HIDDEN) {
      s.car1.shown = 0;
    }
    return true;
  }
  if (page->m_id == 48 && id == 380 && event == MENU_SHOWN) {
    const uint32_t place = p.m_lastChampionshipPlace > 0 ? p.m_lastChampionshipPlace : 1;
    const uint32_t n = std::min(place - 1, 3u) + 1;
    page->SetItemHelp(item, p.Text(int32_t(5600 + n)));
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
    case 5:
    case 12: return ControlsEvent(p, page, item, event);
    case 21: return RaceSetupEvent(p, page, item, event, human.m_profile);
    case 24:
    case 27:
    case 48: return ChampionshipEndEvent(p, page, item, event, human);
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

bool OptionsMenus_CaptureKey(Program& p, uint32_t key) {
  if (!p.m_captureItem) return false;
  FinishCapture(p, int32_t(KeyIndexInputCode(key)));
  return true;
}

void OptionsMenus_PollCapture(Program& p) {
  if (!p.m_captureItem) return;
  for (uint32_t j = 0; j < PROGRAM_JOYSTICKS && j < uint32_t(INPUTCODE_JOYSTICKS); ++j) {
    VQJoystickDevice* joy = Joystick(p, j);
    if (!joy || !joy->Poll()) continue;
    const uint32_t pressed = joy->m_buttons & ~p.m_captureButtons[j];
    int32_t code = 0;
    for (uint32_t b = 0; b < uint32_t(INPUTCODE_JOYSTICK_BUTTONS) && !code; ++b)
      if (pressed & (1u << b)) code = JoystickButtonCode(j, int32_t(1u << b));
    for (uint32_t a = 0; a < VQJOYSTICK_MAX_AXES && a < uint32_t(INPUTCODE_JOYSTICK_AXES) && !code;
         ++a) {
      const float moved = joy->m_axes[a] - p.m_captureAxes[j][a];
      if (moved > 0.5f || moved < -0.5f) code = JoystickAxisCode(j, int(a), moved > 0.0f);
    }
    if (code && FinishCapture(p, code)) return;
  }
}
