// Program's players: the profile list, creating and destroying players, the range checks a
// loaded profile goes through, and putting the first player's settings into effect.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "QVX/race/Player.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQfile.h"

bool Program::ScanPlayerProfiles() {
  m_profileNames.clear();
  const std::string folder = DataFolder(DATAFOLDER_PLAYERS);
  Log("Searching player profiles (*.bin) in folder '%s'", folder.c_str());
  VQFolderScan scan;
  if (!VQfile_FindFirst(&scan, folder.c_str())) {
    Error("Cannot scan player profiles folder");
    return false;
  }
  VQFolderEntry entry;
  while (VQfile_FindNext(&scan, &entry)) {
    const size_t len = std::strlen(entry.m_name);
    if (entry.m_isFolder || len <= 4 || strcasecmp(entry.m_name + len - 4, ".bin") != 0) continue;
    if (m_profileNames.size() >= PROGRAM_MAX_PROFILES) break;
    std::string name(entry.m_name, len - 4);
    if (!Player_IsValidProfileName(name.c_str())) continue;
    m_profileNames.push_back(name);
    Log("Added player profile '%s'", name.c_str());
  }
  VQfile_FindClose(&scan);
  if (m_profileNames.empty()) Log("Player profiles folder is empty");
  return true;
}

Player* Program::CreatePlayerFromProfile(uint32_t profileIndex) {
  if (m_playerCount >= PROGRAM_MAX_PLAYERS || profileIndex >= m_profileNames.size()) return nullptr;
  auto* player = new (std::nothrow) Player();
  if (!player) return nullptr;
  player->m_flag = m_playerFlag;
  const char* name = m_profileNames[profileIndex].c_str();
  if (!player->Load(name, int32_t(profileIndex), 0)) {
    if (player->m_loadError[0]) Log("Player profile '%s': %s", name, player->m_loadError);
    Error("Cannot load player profile '%s'", name);
    delete player;
    return nullptr;
  }
  m_players[m_playerCount++] = player;
  Log("Created player '%s' from profile", player->m_name);
  if (m_playerCount == 1) RestoreChampionship();
  for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->AssignSpareKey();
  return player;
}

Player* Program::ReplacePlayerFromProfile(uint32_t profileIndex, uint32_t slot) {
  if (slot >= m_playerCount || profileIndex >= m_profileNames.size()) return nullptr;
  auto* player = new (std::nothrow) Player();
  if (!player) return nullptr;
  const char* name = m_profileNames[profileIndex].c_str();
  if (!player->Load(name, int32_t(profileIndex), 0)) {
    Error("Cannot load player profile '%s'", name);
    delete player;
    return nullptr;
  }
  Log("Destroyed player '%s'", m_players[slot]->m_name);
  delete m_players[slot];
  m_players[slot] = player;
  Log("Replaced with player '%s' from profile", player->m_name);
  if (slot == 0) RestoreChampionship();
  return player;
}

void Program::DestroyPlayer(Player* player) {
  if (!player) return;
  for (uint32_t i = 0; i < m_playerCount; ++i) {
    if (m_players[i] != player) continue;
    for (uint32_t j = i + 1; j < m_playerCount; ++j) m_players[j - 1] = m_players[j];
    m_players[--m_playerCount] = nullptr;
    if (player->m_type == PLAYER_REMOTE && m_remotePlayerCount > 0) --m_remotePlayerCount;
    break;
  }
  Log("Destroyed player '%s'", player->m_name);
  player->m_created = 0;
  delete player;
}

bool Program::CheckClassIndex(int32_t* index) const {
  if (*index >= 0 && uint32_t(*index) < m_classCount) return true;
  *index = 0;
  return false;
}

bool Program::CheckColorIndex(int32_t classIndex, int32_t* index) const {
  if (classIndex >= 0 && uint32_t(classIndex) < m_classCount && *index >= 0 &&
      size_t(*index) < m_classes[classIndex]->m_skins.size())
    return true;
  *index = 0;
  return false;
}

bool Program::CheckTrackIndex(int32_t* index) const {
  if (*index >= 0 && uint32_t(*index) < m_trackCount) return true;
  *index = 0;
  return false;
}

bool Program::CheckLengthIndex(int32_t* index) const {
  if (*index >= 0 && uint32_t(*index) < PROGRAM_RACE_LENGTHS) return true;
  *index = 0;
  return false;
}

bool Program::CheckOpponentCount(int32_t* count) const {
  if (*count >= 0 && *count <= int32_t(PROGRAM_MAX_OPPONENTS)) return true;
  *count = int32_t(PROGRAM_MAX_OPPONENTS);
  return false;
}

uint32_t Program::FindNameIndex(const char* name) const {
  for (size_t i = 0; i < m_profileNames.size(); ++i)
    if (strcasecmp(m_profileNames[i].c_str(), name) == 0) return uint32_t(i);
  return PROGRAM_NOT_FOUND;
}

void Program::RandomFreeSlot(int32_t value, uint8_t flags[6], bool skipOne) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int k = std::rand() % 6;
    if (!flags[k] || (skipOne && k == 1)) continue;
    if (m_playerCount > 0) m_players[0]->m_profile.champ_weather_idxs[k] = value;
    flags[k] = 0;
    return;
  }
}

float Program::GetFovScale() const { return float(m_config.width) * 0.0015625f * 1.400415f; }

void Program::ApplySettings() {
  if (m_playerCount == 0) return;
  Player* first = m_players[0];
  char title[256];
  std::snprintf(title, sizeof title, "%s : %s", m_texts->GetById(163), first->m_name);
  m_windowTitle = title;
  const PlayerProfile& p = first->m_profile;
  m_volumeMaster = p.volume_master;
  m_volumeCars = p.volume_cars;
  m_volumeAmbient = p.volume_ambient;
  m_volumeComment = p.volume_comment;
  m_voiceLimit = uint32_t(p.num_audible_channels);
  m_soundFormat[0] = uint32_t(p.num_mono_channels);
  m_soundFormat[1] = uint32_t(p.num_bits_per_sample);
  m_soundFormat[2] = uint32_t(p.sample_rate);
  m_magFilter = uint32_t(p.mag_filter);
  m_minFilter = uint32_t(p.min_filter);
  for (int i = 0; i < PROFILE_BINDINGS; ++i) m_bindings[i] = p.bindings[i];
  m_volumeMusic = m_volumeMaster * 0.75f;
  ApplyRaceVolumes();
  if (m_textureManager) {
    m_textureManager->PopSampling();
    m_textureManager->PushSampling(VQWRAP_KEEP, VQWRAP_KEEP, m_magFilter, m_minFilter);
  }
}
