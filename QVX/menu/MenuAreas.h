// The hook by which the game's areas add their own menu pages and give their items a meaning.
//
// The shell builds the whole menu tree (every page and item id) and serves the race set-up,
// in-race, quit and paint-shop pages itself. An area (options, championship, network lobby,
// skin editor, ...) registers one MenuArea:
//   - build runs once after the tree is built: it may fill pages, add items, or create pages of
//     its own with Menu::CreatePage (ids above 54 are free);
//   - onEvent gets every menu event (page, item, event 0..6) that the shell did not serve; it
//     returns true when it served it. For an activate event (4) the shell runs the common target
//     tail afterwards, so an area only rewrites item->target (a page id, 0x10000 quit, 0x30000
//     back into the race, 0x40000 start or leave the race, 0x50000/0x60000 restart).
// Areas register from QVX/shell/MenuAreas.cpp (one line each, MenuAreas_RegisterGameAreas);
// tests may register their own with MenuAreas_Register and remove them with MenuAreas_Clear.
#pragma once

#include <cstddef>
#include <cstdint>

class Menu;
class MenuPage;
class Program;
struct MenuItem;

struct MenuArea {
  const char* name = "";
  bool (*build)(Program& program, Menu& menu) = nullptr;
  bool (*onEvent)(Program& program, MenuPage* page, MenuItem* item, uint32_t event) = nullptr;
};

constexpr size_t MENU_MAX_AREAS = 16;

// False when 16 areas are registered or one of that name is already there.
bool MenuAreas_Register(const MenuArea& area);
void MenuAreas_Clear();
size_t MenuAreas_Count();
const MenuArea* MenuAreas_Get(size_t index);
// Registers the areas of the game (QVX/shell/MenuAreas.cpp); registering twice does nothing.
void MenuAreas_RegisterGameAreas();
