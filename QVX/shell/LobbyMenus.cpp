// The network play pages (game mode 6): page 3 hosts or joins, page 39 searches by the beacon
// or goes to page 40 for a typed address, page 34 is the lobby, page 41 asks before leaving,
// pages 38, 43, 45 and 46 end a game or an attempt. The lobby page carries text lines of its
// own: one per player of the game (name, class, ready) and the five chat lines with the entry.
#include "QVX/shell/LobbyMenus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QVX/menu/Menu.h"
#include "QVX/race/Player.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/NetSession.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/ProgramNetwork.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQStrings.h"

namespace {

constexpr int32_t kStay = 0x70000;
constexpr int32_t kReset = MENU_TARGET_FOCUS_RESET;
constexpr int32_t kLobbyPage = 34;
constexpr int32_t kSkippedClass = 10;  // never raced in the lobby
constexpr int32_t kHostSettingItems[] = {270, 271, 273, 276, 278};

struct LobbyState {
  const Program* owner = nullptr;
  char players[LOBBY_PLAYER_LINES][96] = {};
  VQTextElement* playerText[LOBBY_PLAYER_LINES] = {};
  VQTextElement* chatText[LOBBY_CHAT_LINES] = {};
  VQTextElement* entryText = nullptr;
  char entry[LOBBY_CHAT_MAX + 4] = {};  // "> " and the typed text while open
  bool entryOpen = false;
  bool startingRace = false;
};
LobbyState g_lobby;

const char* Key(const Program& p, const char* key, const char* fallback) {
  const char* t = p.m_texts ? p.m_texts->GetByKey(key) : nullptr;
  return t && *t ? t : fallback;
}

Player* First(Program& p) { return p.m_playerCount > 0 ? p.m_players[0] : nullptr; }

int32_t Clamp(int32_t v, int32_t count) {
  if (count <= 0 || v < 0) return 0;
  return v >= count ? count - 1 : v;
}

void SetItemState(MenuPage* page, int32_t id, bool enabled) {
  MenuItem* item = page ? page->GetItem(id) : nullptr;
  if (!item) return;
  item->selectable = enabled ? 1 : 0;
  item->disabled = enabled ? 0 : 1;
  page->RefreshItem(item);
}

NetCarChoice OwnChoice(Program& p, bool ready) {
  NetCarChoice c = p.m_net ? p.m_net->GetOwnChoice() : NetCarChoice{};
  if (Player* p1 = First(p)) {
    Net_CopyText(c.name, sizeof c.name, p1->m_name);
    c.classIndex = uint8_t(Clamp(p1->m_profile.normal_frame, int32_t(p.m_classCount)));
    c.skinIndex = uint8_t(p1->m_profile.normal_color);
    c.carNumber = uint8_t(p1->m_profile.number);
  }
  c.ready = ready;
  return c;
}

void SendCarChoice(Program& p) {
  if (p.m_net) p.m_net->SetOwnCarChoice(OwnChoice(p, p.m_net->GetOwnChoice().ready));
}

void SendLobbySettings(Program& p) {
  Player* p1 = First(p);
  if (!p.m_net || !p.m_net->IsHost() || !p1) return;
  NetLobbySettings s;
  s.classIndex = uint8_t(Clamp(p1->m_profile.normal_frame, int32_t(p.m_classCount)));
  s.track = uint8_t(Clamp(p1->m_profile.normal_track, int32_t(p.m_trackCount)));
  s.length = uint8_t(p1->m_profile.normal_length);
  s.raceType = uint8_t(p1->m_profile.normal_racetype);
  s.weather = uint8_t(p1->m_profile.normal_weather);
  p.m_net->SetLobbySettings(s);
}

const char* ClassName(const Program& p, uint32_t index) {
  return index < p.m_classCount ? p.m_classes[index]->m_title.c_str() : "?";
}

// One line per member of the game: the own player first, then the others in id order.
void FillPlayerLines(Program& p) {
  for (auto& line : g_lobby.players) line[0] = 0;
  if (!p.m_net || !p.m_net->IsConnected()) return;
  const char* ready = Key(p, "lobby_ready", "Ready");
  const char* waiting = Key(p, "lobby_not_ready", "Not ready");
  const NetCarChoice& own = p.m_net->GetOwnChoice();
  std::snprintf(g_lobby.players[0], sizeof g_lobby.players[0], "%s (%s)  %s", own.name,
                ClassName(p, own.classIndex), p.m_net->IsHost() || own.ready ? ready : waiting);
  uint32_t line = 1;
  for (uint32_t i = 0; i < p.m_net->GetPeerCount() && line < LOBBY_PLAYER_LINES; ++i) {
    const NetPeer& peer = p.m_net->GetPeer(i);
    const bool isHost = p.m_net->IsHost() ? false : peer.id == 0;
    if (!peer.carChosen) {
      std::snprintf(g_lobby.players[line++], sizeof g_lobby.players[0], "%s", peer.choice.name);
      continue;
    }
    std::snprintf(g_lobby.players[line++], sizeof g_lobby.players[0], "%s (%s)  %s",
                  peer.choice.name, ClassName(p, peer.choice.classIndex),
                  isHost || peer.choice.ready ? ready : waiting);
  }
}

void RefreshLobbyTexts(Program& p) {
  FillPlayerLines(p);
  if (g_lobby.owner != &p) return;  // the lines belong to another Program's menus
  for (uint32_t i = 0; i < LOBBY_PLAYER_LINES; ++i)
    if (g_lobby.playerText[i]) g_lobby.playerText[i]->SetText(g_lobby.players[i]);
  for (uint32_t i = 0; i < LOBBY_CHAT_LINES; ++i)
    if (g_lobby.chatText[i]) g_lobby.chatText[i]->SetText(p.m_chatLines[i]);
  if (g_lobby.entryText) g_lobby.entryText->SetText(g_lobby.entryOpen ? g_lobby.entry : "");
}

VQTextElement* AddText(Program& p, MenuPage* page, const char* text, int32_t x, int32_t y) {
  VQFont* font = p.m_menu->m_res.fonts[MENU_FONT_HELP];
  auto* e = new (std::nothrow) VQTextElement(0, nullptr, text, font);
  if (!e) return nullptr;
  e->m_x = x;
  e->m_y = y;
  e->SetSize(300, 12);
  if (!page->AddWidget(e)) {
    delete e;
    return nullptr;
  }
  return e;
}

bool Build(Program& p, Menu& menu) {
  g_lobby = LobbyState{};
  g_lobby.owner = &p;
  MenuPage* lobby = menu.FindPage(kLobbyPage);
  if (!lobby) return true;
  // Player lines at the top left, the chat lines and the entry below them.
  for (uint32_t i = 0; i < LOBBY_PLAYER_LINES; ++i)
    g_lobby.playerText[i] = AddText(p, lobby, g_lobby.players[i], 15, 90 + 12 * int32_t(i));
  for (uint32_t i = 0; i < LOBBY_CHAT_LINES; ++i)
    g_lobby.chatText[i] = AddText(p, lobby, p.m_chatLines[i], 15, 18 + 10 * int32_t(i));
  g_lobby.entryText = AddText(p, lobby, "", 15, 70);
  return true;
}

void CloseEntry() {
  g_lobby.entryOpen = false;
  g_lobby.entry[0] = 0;
}

// The end of the network game on this machine: everything closed, back to no game mode.
void EndGame(Program& p) {
  if (p.m_net && p.m_net->GetPhase() != NET_PHASE_CLOSED) p.m_net->Leave();
  p.CloseNetwork();
  p.m_gameMode = 0;
  p.m_isHost = 0;
  CloseEntry();
  g_lobby.startingRace = false;
  for (auto& line : p.m_chatLines) line[0] = 0;
}

void LobbyItemEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event) {
  Player* p1 = First(p);
  MenuValue* v = item->value;
  const int32_t id = item->id;
  const bool host = p.m_isHost != 0;
  const bool change = event == MENU_DECREASE || event == MENU_INCREASE;
  switch (id) {
    case 274:
      if (event == MENU_SHOWN) {
        item->hidden = host ? 0 : 1;
        const bool allowed =
            host && p.m_net && p.m_net->GetPeerCount() > 0 && p.m_net->AllClientsReady();
        SetItemState(page, 274, allowed);
        if (p.m_net && p.m_net->GetRaceState() == NET_RACE_LOBBY) SendCarChoice(p);
        RefreshLobbyTexts(p);
      } else if (event == MENU_HIDDEN) {
        CloseEntry();
      } else if (event == MENU_ACTIVATE) {
        item->target = kStay;
        if (!host || !p.m_net || !p1 || !p.m_net->AllClientsReady()) break;
        // A random weather is drawn here, once, so that every machine races in the same.
        std::vector<std::string> names;
        const int32_t track = p1->m_profile.normal_track;
        if (p.m_weather && track >= 0 && size_t(track) < p.m_weather->m_trackVariants.size())
          for (const TrackWeatherVariant& v : p.m_weather->m_trackVariants[size_t(track)])
            names.push_back(v.name);
        const int32_t weather =
            Net_RaceWeather(names, p1->m_profile.normal_weather, uint32_t(std::rand()));
        if (p.m_net->StartRace(uint8_t(weather)))
          p.Log("Network : race started by the host, weather '%s'",
                size_t(weather) < names.size() ? names[size_t(weather)].c_str() : "");
      }
      break;
    case 279:
      if (event == MENU_SHOWN) {
        item->hidden = host ? 1 : 0;
        if (!host && p.m_net) p.m_net->SetOwnCarChoice(OwnChoice(p, false));
        item->label = Key(p, "lobby_get_ready", "Get ready");
        page->SetItemHelp(item, Key(p, "lobby_get_ready_help", ""));
        page->RefreshItem(item);
      } else if (event == MENU_ACTIVATE && !host && p.m_net) {
        item->target = kStay;
        const bool ready = !p.m_net->GetOwnChoice().ready;
        item->label = Key(p, ready ? "lobby_not_ready_now" : "lobby_get_ready",
                          ready ? "Not ready" : "Get ready");
        page->SetItemHelp(item,
                          Key(p, ready ? "lobby_not_ready_help" : "lobby_get_ready_help", ""));
        SetItemState(page, 271, !ready && !host && p1 && p1->m_profile.normal_racetype == 1);
        SetItemState(page, 272, !ready);
        page->RefreshItem(item);
        p.m_net->SetOwnCarChoice(OwnChoice(p, ready));
        RefreshLobbyTexts(p);
      }
      break;
    case 271:
    case 272:
    case 270:
    case 273:
    case 276:
    case 278: {
      if (!p1 || !v) break;
      PlayerProfile& prof = p1->m_profile;
      int32_t* field = id == 271   ? &prof.normal_frame
                       : id == 272 ? &prof.normal_color
                       : id == 270 ? &prof.normal_length
                       : id == 273 ? &prof.normal_track
                       : id == 276 ? &prof.normal_racetype
                                   : &prof.normal_weather;
      if (id == 278 && event == MENU_SHOWN) {
        v->choiceTexts = p.m_ms.weathers;
        v->choiceCount =
            int32_t(p.FillWeatherChoices(Clamp(prof.normal_track, int32_t(p.m_trackCount))));
      }
      if (id == 272) {
        const int32_t cls = Clamp(prof.normal_frame, int32_t(p.m_classCount));
        const int32_t skins = p.m_classCount ? int32_t(p.m_classes[cls]->m_skins.size()) : 0;
        for (int32_t i = 0; i < skins && i < int32_t(MENUSTATE_MAX_CHOICES); ++i)
          p.m_ms.skins1[i] = p.m_classes[cls]->m_skins[size_t(i)]->name;
        v->choiceCount =
            skins < int32_t(MENUSTATE_MAX_CHOICES) ? skins : int32_t(MENUSTATE_MAX_CHOICES);
      }
      if (event == MENU_SHOWN) {
        v->choice = Clamp(*field, v->choiceCount);
        page->RefreshItem(item);
      } else if (change) {
        if (id == 271 && v->choice == kSkippedClass && v->choiceCount > kSkippedClass + 1) {
          v->choice = event == MENU_INCREASE ? kSkippedClass + 1 : kSkippedClass - 1;
          page->RefreshItem(item);
        }
        *field = Clamp(v->choice, v->choiceCount);
        if (id == 271) {
          // A new class starts at its first colour.
          prof.normal_color = 0;
          if (MenuItem* colour = page->GetItem(272)) LobbyItemEvent(p, page, colour, MENU_SHOWN);
        }
        if (id == 273)
          if (MenuItem* weather = page->GetItem(278)) LobbyItemEvent(p, page, weather, MENU_SHOWN);
        if (id == 271 || id == 272) SendCarChoice(p);
        if (host && (id != 271 && id != 272 ? true : prof.normal_racetype == 0))
          SendLobbySettings(p);
        RefreshLobbyTexts(p);
      }
      break;
    }
    default: break;
  }
}

bool OnEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event) {
  const int32_t id = item->id;
  Player* p1 = First(p);
  switch (page->m_id) {
    case 3:
      if (event != MENU_ACTIVATE || (id != 290 && id != 291)) return false;
      p.m_gameMode = 6;
      p.m_isHost = id == 290 ? 1 : 0;
      for (auto& line : p.m_chatLines) line[0] = 0;
      if (MenuPage* lobby = p.m_menu->FindPage(kLobbyPage))
        for (int32_t setting : kHostSettingItems) SetItemState(lobby, setting, id == 290);
      if (id == 290) {
        int32_t next = NETPAGE_NETWORK_FAILED;
        if (p.OpenDatagramLayers(&next)) p.OpenGameConnection(&next);
        item->target = next | kReset;
        if (next != NETPAGE_LOBBY)
          EndGame(p);
        else
          SendLobbySettings(p);  // every joining client gets them with its welcome
      }
      return true;
    case 39:
      if (id == 310 && event == MENU_SHOWN) {
        // The own name and address go into the page's subtitle.
        p.OpenNetwork();
        std::snprintf(p.m_ms.networkLine, sizeof p.m_ms.networkLine, "%s", p.m_connectionText);
        page->SetTitle(p.m_ms.networkLine);
        return true;
      }
      if (id == 310 && event == MENU_ACTIVATE) {
        p.m_netSearch = 1;
        int32_t next = NETPAGE_NETWORK_FAILED;
        p.OpenDatagramLayers(&next);
        item->target = next | kReset;
        return true;
      }
      if (id == 311 && event == MENU_ACTIVATE && p1) {
        const int32_t* a = p1->m_profile.server_address;
        std::snprintf(p.m_ms.addressText, sizeof p.m_ms.addressText, "%d.%d.%d.%d", a[0], a[1],
                      a[2], a[3]);
        return true;
      }
      if (id == 100 && event == MENU_ACTIVATE) {
        EndGame(p);
        return true;
      }
      return false;
    case 40:
      if (id == 322 && event == MENU_ACTIVATE) {
        int32_t address[4] = {1, 0, 0, 0};
        if (!Net_ParseTypedAddress(p.m_ms.addressText, address) || !p1) {
          item->target = NETPAGE_CONNECT_FAILED | kReset;
          return true;
        }
        std::memcpy(p1->m_profile.server_address, address, sizeof address);
        p.m_netSearch = 0;
        int32_t next = NETPAGE_NETWORK_FAILED;
        if (p.OpenDatagramLayers(&next)) p.OpenGameConnection(&next);
        item->target = next | kReset;
        return true;
      }
      if (id == 323 && event == MENU_ACTIVATE) {
        EndGame(p);
        return true;
      }
      return false;
    case kLobbyPage: LobbyItemEvent(p, page, item, event); return true;
    case 41:
      if (id == 330 && event == MENU_ACTIVATE) {
        EndGame(p);
        item->target = 3 | kReset;
        return true;
      }
      return id == 330 || id == 331;
    case 37:
    case 38:
    case 43:
    case 44:
    case 46:
      if (event == MENU_ACTIVATE) EndGame(p);
      return false;
    case 45:
      if (id == 350 && event == MENU_ACTIVATE) {
        EndGame(p);
        p.m_gameMode = 6;  // back on the join page
        return true;
      }
      return false;
    default: return false;
  }
}

// Sends the typed line under the first player's name and shows it here too (the host relays
// it to the others, never back to its sender).
void SendEntry(Program& p) {
  const char* typed = g_lobby.entry + 2;
  if (*typed && p.m_net && p.m_net->IsConnected()) {
    char line[NET_CHAT_SIZE];
    // Both parts are bounded; the line is cut at the message's size.
    std::snprintf(line, sizeof line, "%.*s: %.*s", int(NET_NAME_SIZE - 1),
                  First(p) ? First(p)->m_name : "", int(LOBBY_CHAT_MAX), typed);
    p.m_net->SendChat(line);
    p.AddChatLine(line);
  }
  CloseEntry();
}

}  // namespace

void LobbyMenus_ApplySettings(Program& p, const NetLobbySettings& settings) {
  Player* p1 = First(p);
  if (!p1 || !p.m_net || p.m_net->IsHost()) return;
  PlayerProfile& prof = p1->m_profile;
  prof.normal_track = Clamp(settings.track, int32_t(p.m_trackCount));
  prof.normal_length = Clamp(settings.length, int32_t(p.m_lengthChoices.count));
  prof.normal_racetype = Clamp(settings.raceType, int32_t(p.m_choices2.count));
  prof.normal_weather = Clamp(settings.weather, int32_t(p.FillWeatherChoices(prof.normal_track)));
  // Outside the free choice of classes every car is of the host's class.
  const bool freeClass = prof.normal_racetype == 1;
  const int32_t hostClass = Clamp(settings.classIndex, int32_t(p.m_classCount));
  const bool classChanged = !freeClass && prof.normal_frame != hostClass;
  if (classChanged) {
    prof.normal_frame = hostClass;
    prof.normal_color = 0;
  }
  MenuPage* lobby = p.m_menu ? p.m_menu->FindPage(kLobbyPage) : nullptr;
  if (lobby && lobby->m_shown) {
    for (int32_t id : {270, 271, 272, 273, 276, 278})
      if (MenuItem* item = lobby->GetItem(id)) LobbyItemEvent(p, lobby, item, MENU_SHOWN);
    SetItemState(lobby, 271, freeClass && !p.m_net->GetOwnChoice().ready);
  }
  if (classChanged) SendCarChoice(p);
}

MenuArea LobbyMenus_Area() {
  MenuArea area;
  area.name = "lobby";
  area.build = Build;
  area.onEvent = OnEvent;
  return area;
}

const char* LobbyMenus_PlayerLine(uint32_t index) {
  return index < LOBBY_PLAYER_LINES ? g_lobby.players[index] : "";
}
const char* LobbyMenus_ChatEntry() { return g_lobby.entryOpen ? g_lobby.entry : ""; }

bool LobbyMenus_OnKey(Program& p, uint32_t key, bool shift) {
  MenuPage* page = p.m_menu ? p.m_menu->GetCurrentPage() : nullptr;
  if (!page || page->m_id != kLobbyPage || !p.m_net) {
    CloseEntry();
    return false;
  }
  const bool character = VQkey_IsLetterOrDigit(key) || key == VQKEY_SPACE;
  if (!g_lobby.entryOpen) {
    if (!character) return false;
    g_lobby.entryOpen = true;
    std::snprintf(g_lobby.entry, sizeof g_lobby.entry, "> %c",
                  key == VQKEY_SPACE ? ' ' : VQkey_ToChar(key, shift));
    RefreshLobbyTexts(p);
    return true;
  }
  // The arrows still move through the page while typing.
  if (key == VQKEY_LEFT || key == VQKEY_RIGHT || key == VQKEY_UP || key == VQKEY_DOWN) return false;
  const size_t length = std::strlen(g_lobby.entry);
  if (key == VQKEY_RETURN || key == VQKEY_KP_ENTER) {
    SendEntry(p);
  } else if (key == VQKEY_ESCAPE) {
    CloseEntry();
  } else if (key == VQKEY_BACKSPACE || key == VQKEY_DELETE) {
    if (length > 2) g_lobby.entry[length - 1] = 0;
  } else if (character && length < LOBBY_CHAT_MAX + 2) {
    g_lobby.entry[length] = key == VQKEY_SPACE ? ' ' : VQkey_ToChar(key, shift);
    g_lobby.entry[length + 1] = 0;
  }
  RefreshLobbyTexts(p);
  return true;
}

void LobbyMenus_Frame(Program& p, float dt) {
  if (p.m_gameMode != 6) return;
  p.UpdateNetwork(dt);
  Menu* menu = p.m_menu;
  if (!menu) return;
  // A page the network asks for (joined, refused, lost, nothing found).
  if (p.m_netPage != NETPAGE_NONE) {
    const int32_t page = p.m_netPage;
    p.m_netPage = NETPAGE_NONE;
    if (page == NETPAGE_REFUSED) {
      if (MenuPage* refused = menu->FindPage(NETPAGE_REFUSED))
        if (MenuItem* line = refused->GetItem(0, false)) line->label = p.m_netPageText;
    }
    menu->ShowPage(page);
    if (page != NETPAGE_LOBBY && page != NETPAGE_JOINING && page != NETPAGE_SEARCHING)
      p.CloseNetwork();
  }
  if (!p.m_net) return;
  MenuPage* current = menu->GetCurrentPage();
  if (current && current->m_id == kLobbyPage) {
    RefreshLobbyTexts(p);
    if (p.m_net->IsHost()) {
      const bool allowed = p.m_net->GetPeerCount() > 0 && p.m_net->AllClientsReady();
      MenuItem* start = current->GetItem(274);
      if (start && start->selectable != (allowed ? 1 : 0)) {
        SetItemState(current, 274, allowed);
        // Everybody is ready: the start is what the host wants next.
        if (allowed && !g_lobby.entryOpen) current->FocusItem(274);
      }
    }
  }
  // The host's start reached this machine: the menu screen ends and the race is loaded.
  if (p.m_net->IsRaceRunning() && p.m_net->GetRaceState() == NET_RACE_SETUP &&
      !g_lobby.startingRace && p.m_ms.menuRunning) {
    g_lobby.startingRace = true;
    CloseEntry();
    p.Log("Network : the race starts");
    menu->HideAllPages();
    p.m_sessionRequest = SESSION_RACE;
    g_VQsystem.m_stop = 1;
  }
  if (!p.m_net->IsRaceRunning()) g_lobby.startingRace = false;
}
