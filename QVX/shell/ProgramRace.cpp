// The race run: from the chosen settings to a running race and back to the menus.
#include "QVX/menu/Menu.h"
#include "QVX/shell/Program.h"
#include "Zentri/platform/VQSystem.h"

bool Program::RunRace() {
  if (!BuildMenus() || !BuildRaceMenus()) return false;
  // The race field joins here with the race simulation; until then a started race returns to
  // the menus at once.
  Log("Race in game mode %d: no race field in this build", m_gameMode);
  if (m_menu) m_menu->HideAllPages();
  m_menuReturnPage = 1;
  return true;
}

void Program::Pause(bool) {}
