#include "QVX/race/Player.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "QVX/shell/DataPaths.h"
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/Program.h"
#include "Zentri/util/VQdate.h"
#include "Zentri/util/VQfileio.h"

bool Player_IsValidProfileName(const char* name) {
  if (!name) return false;
  const size_t n = std::strlen(name);
  if (n == 0 || n >= PLAYER_NAME_SIZE || name[0] == '.') return false;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || c == 127 || std::strchr("/\\:*?\"<>|", c)) return false;
  }
  return true;
}

Player::Player() { Reset(PLAYER_NONE); }

void Player::Reset(PlayerType type) {
  m_profile = PlayerProfile();
  // The driver's control rates (per second) and steering factor.
  m_profile.speed_steerin = 3.0f;
  m_profile.speed_steerback = 6.0f;
  m_profile.speed_throttlein = 8.0f;
  m_profile.speed_throttleback = 16.0f;
  m_profile.speed_brakein = 8.0f;
  m_profile.speed_brakeback = 20.0f;
  m_profile.steerspeed_factor = 1.0f;
  m_spareBinding = 0;
  m_controlMask = PLAYER_MASK_ALL;
  ClearControls();
  m_type = type;
  m_created = 0;
  m_profileIndex = -1;
  m_loadError[0] = 0;
  m_ai.reset();
}

bool Player::SetupComputer(const AIParameters& params, int32_t classOverride) {
  if (m_created) return true;
  Reset(PLAYER_COMPUTER);
  m_ai = std::make_unique<AIDriver>();
  AIParameters p = params;
  if (classOverride >= 0) p.raceClass = classOverride;
  m_ai->Setup(AIDRIVER_COMPUTER, p);
  std::snprintf(m_name, sizeof m_name, "%s", p.name);
  m_profile.speed_steerin = p.steerIn;
  m_profile.speed_steerback = p.steerBack;
  m_profile.speed_throttlein = p.throttleIn;
  m_profile.speed_throttleback = p.throttleBack;
  m_profile.speed_brakein = p.brakeIn;
  m_profile.speed_brakeback = p.brakeBack;
  m_profile.steerspeed_factor = p.steerSpeedFactor;
  m_lookAhead[0] = p.lookAheadBase;
  m_lookAhead[1] = p.lookAheadPerSpeed;
  m_created = 1;
  return true;
}

namespace {
bool ProfilePath(char* out, const char* name, const char* extension) {
  char folder[DATAPATH_MAX_PATH];
  if (!GetDataFolderPath(folder, DATAFOLDER_PLAYERS)) return false;
  const int n = std::snprintf(out, DATAPATH_MAX_PATH, "%s\\%s%s", folder, name, extension);
  return n > 0 && size_t(n) < DATAPATH_MAX_PATH;
}
}  // namespace

bool Player::Load(const char* name, int32_t index, uint32_t) {
  if (m_created) return true;
  Reset(PLAYER_HUMAN);
  if (!Player_IsValidProfileName(name)) {
    std::snprintf(m_loadError, sizeof m_loadError, "invalid profile name");
    return false;
  }
  Program* program = g_program;
  const uint32_t classCount = program ? program->m_classCount : 0;
  if (index < 0) {
    m_profileIndex = program ? program->FindNameIndex(name) : -1;
  } else {
    m_profileIndex = index;
    char path[DATAPATH_MAX_PATH];
    if (!ProfilePath(path, name, ".bin")) return false;
    std::string data;
    if (!vqfileio::ReadWholeFile(path, data, 24)) {
      std::snprintf(m_loadError, sizeof m_loadError, "cannot read the file");
      return false;
    }
    if (PlayerProfile_Read(reinterpret_cast<const uint8_t*>(data.data()), data.size(), classCount, &m_profile) !=
        PROFILE_OK) {
      std::snprintf(m_loadError, sizeof m_loadError, "the file holds %zu bytes, not a profile of %zu", data.size(),
                    PROFILE_RECORD_SIZE);
      return false;
    }
    if (program) program->m_champPlayerCount = uint32_t(m_profile.num_champ_players);
    m_profile.champ_race = 0;
  }
  if (program) {
    for (uint32_t j = 0; j < uint32_t(INPUTCODE_JOYSTICKS); ++j)
      for (int32_t code : m_profile.bindings)
        if (InputCodeIsOfJoystick(j, code)) program->m_joystickEnabled[j] = 1;
  }
  std::snprintf(m_name, sizeof m_name, "%s", name);
  if (program) {
    program->CheckClassIndex(&m_profile.normal_frame);
    program->CheckClassIndex(&m_profile.champ_frame);
    program->CheckColorIndex(m_profile.normal_frame, &m_profile.normal_color);
    program->CheckColorIndex(m_profile.champ_frame, &m_profile.champ_color);
    program->CheckTrackIndex(&m_profile.normal_track);
    program->CheckTrackIndex(&m_profile.champ_weekend);
    program->CheckLengthIndex(&m_profile.normal_length);
    program->CheckOpponentCount(&m_profile.normal_opponents);
  }
  AssignSpareKey();
  m_bestPosition = 9999;
  m_lookAhead[0] = 1.5f;
  m_lookAhead[1] = 1.0f / 6.0f;
  m_created = 1;
  return true;
}

bool Player::Save(bool binary) const {
  if (!Player_IsValidProfileName(m_name)) return false;
  char path[DATAPATH_MAX_PATH];
  if (!ProfilePath(path, m_name, binary ? ".bin" : ".sav")) return false;
  Program* program = g_program;
  const uint32_t classCount = program ? program->m_classCount : 0;
  if (binary) {
    const std::vector<uint8_t> record = PlayerProfile_Write(m_profile, classCount);
    return vqfileio::WriteWholeFile(path, record.data(), record.size());
  }
  std::vector<std::string> names;
  for (uint32_t c = 0; c < classCount; ++c) names.emplace_back(program->m_classes[c]->m_name);
  char date[VQDATE_STRING_SIZE], time[VQTIME_STRING_SIZE];
  VQdate_CurrentString(date, sizeof date, '-', true);
  VQtime_CurrentString(time, sizeof time, ':', true);
  const std::string text = PlayerProfile_FormatText(m_profile, names, date, time);
  return vqfileio::WriteWholeFile(path, text.data(), text.size());
}
