// The menu area of network play: the choice between hosting and joining, the search and the
// typed address, the lobby (players, ready, start, chat) and the pages that end a game. The
// connection work lives in ProgramNetwork.cpp and NetSession; this file ties it to the pages.
#pragma once

#include <cstdint>

#include "QVX/menu/MenuAreas.h"

class Program;

MenuArea LobbyMenus_Area();

// Once a menu frame in game mode 6: runs the network, shows the page the network asks for,
// refreshes the lobby's player and chat lines and leaves the menus when the race starts.
void LobbyMenus_Frame(Program& program, float dt);

// A pressed key on the menu screen in game mode 6. On the lobby page a letter, digit or blank
// opens the chat entry ("> " and the key's character); while it is open, Return sends the line
// under the first player's name, Backspace/Delete removes the last character, Escape closes it
// unsent, and other character keys are appended. True when the key was used up.
bool LobbyMenus_OnKey(Program& program, uint32_t key, bool shift);

// A client takes the host's lobby settings into the first player's profile and the lobby's
// items; outside the free choice of classes (race type 1) it takes the host's class too and
// tells the others its new car.
struct NetLobbySettings;
void LobbyMenus_ApplySettings(Program& program, const NetLobbySettings& settings);

// What the lobby page shows (tests read it).
constexpr uint32_t LOBBY_PLAYER_LINES = 8;
constexpr uint32_t LOBBY_CHAT_LINES = 5;
constexpr uint32_t LOBBY_CHAT_MAX = 60;  // typed characters of one chat line
const char* LobbyMenus_PlayerLine(uint32_t index);
const char* LobbyMenus_ChatEntry();  // "" while the entry is closed
