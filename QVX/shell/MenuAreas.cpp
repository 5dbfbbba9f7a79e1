// The menu areas of the game: each area's pages and events join the menu tree here, one line
// per area (see QVX/menu/MenuAreas.h).
#include "QVX/menu/MenuAreas.h"
#include "QVX/shell/LobbyMenus.h"
#include "QVX/shell/OptionsMenus.h"
#include "QVX/shell/RaceRun.h"

void MenuAreas_RegisterGameAreas() {
  MenuAreas_Register(OptionsMenus_Area());
  MenuAreas_Register(LobbyMenus_Area());
  MenuAreas_Register(RaceRun_MenuArea());
}
