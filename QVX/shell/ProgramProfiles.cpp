// Program's profile choices of the options pages: creating a new profile and choosing which
// profile each local player uses.
#include <cassert>
#include <new>

#include "QVX/race/Player.h"
#include "QVX/shell/Options.h"
#include "QVX/shell/Program.h"

uint32_t Program::LocalPlayerCount() const {
  uint32_t n = 0;
  while (n < 2 && n < m_playerCount && m_players[n] && m_players[n]->m_type == PLAYER_HUMAN) ++n;
  return n;
}

bool Program::SelectProfile(uint32_t slot, uint32_t profileIndex) {
  if (slot >= LocalPlayerCount() || profileIndex >= m_profileNames.size()) return false;
  Player* current = m_players[slot];
  if (current->m_profileIndex == int32_t(profileIndex)) return true;
  // The second player may be the first one's object (both on one profile): save it once.
  if (slot == 0 || current != m_players[0]) current->Save(true);
  if (!ReplacePlayerFromProfile(profileIndex, slot)) return false;
  ApplySettings();
  return true;
}

int32_t Program::CreateProfile(const char* name, int32_t number) {
  const ProfileNameCheck check = Options_CheckProfileName(m_profileNames, name);
  if (check != PROFILENAME_OK) return check;
  const uint32_t localBefore = LocalPlayerCount();
  const size_t at = Options_ProfileInsertIndex(m_profileNames, name);
  m_profileNames.insert(m_profileNames.begin() + std::ptrdiff_t(at), name);
  for (uint32_t i = 0; i < m_playerCount; ++i)
    if (m_players[i] && m_players[i]->m_type == PLAYER_HUMAN &&
        m_players[i]->m_profileIndex >= int32_t(at))
      ++m_players[i]->m_profileIndex;

  auto* player = new (std::nothrow) Player();
  if (!player) return PROFILENAME_EMPTY;
  player->m_flag = m_playerFlag;
  // A new profile starts from the defaults: there is no file to read yet.
  if (!player->Load(name, -1, 0)) {
    Error("Cannot create player '%s'", name);
    delete player;
    m_profileNames.erase(m_profileNames.begin() + std::ptrdiff_t(at));
    return PROFILENAME_EMPTY;
  }
  player->m_profileIndex = int32_t(at);
  player->m_profile.number = number;
  if (localBefore > 0) {
    Player* old = m_players[0];
    old->Save(true);
    // The second slot may hold the same object: it then takes the new player as well.
    if (localBefore > 1 && m_players[1] == old) m_players[1] = player;
    Log("Destroyed player '%s'", old->m_name);
    delete old;
    m_players[0] = player;
  } else {
    for (uint32_t i = m_playerCount; i > 0; --i) m_players[i] = m_players[i - 1];
    m_players[0] = player;
    ++m_playerCount;
  }
  Log("Created player '%s' from profile", player->m_name);
  RestoreChampionship();
  ApplySettings();
  if (!player->Save(true)) Error("Cannot save player profile '%s'", player->m_name);

  if (localBefore == 0 && m_playerCount < PROGRAM_MAX_PLAYERS) {
    // The first profile of an installation gets a second local player beside it.
    assert(LocalPlayerCount() < 2 && "m_players [1] == NULL");
    const char* second = Options_SecondProfileName(name);
    uint32_t index = FindNameIndex(second);
    auto* two = new (std::nothrow) Player();
    if (two) {
      two->m_flag = m_playerFlag;
      // An existing profile of that name is used as it is rather than listed twice.
      const bool exists = index != PROGRAM_NOT_FOUND;
      if (!exists) {
        m_profileNames.push_back(second);
        index = uint32_t(m_profileNames.size() - 1);
      }
      if (two->Load(second, exists ? int32_t(index) : -1, 1)) {
        two->m_profileIndex = int32_t(index);
        if (!exists) two->m_profile.number = 2;
        for (uint32_t i = m_playerCount; i > 1; --i) m_players[i] = m_players[i - 1];
        m_players[1] = two;
        ++m_playerCount;
        two->Save(true);
        Log("Created player '%s' from profile", two->m_name);
      } else {
        delete two;
        if (!exists) m_profileNames.pop_back();
      }
    }
  }
  for (uint32_t i = 0; i < LocalPlayerCount(); ++i) m_players[i]->m_profile.normal_racetype = 0;
  return 26;
}
