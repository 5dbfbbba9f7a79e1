// A driver taking part in the game: a local human with a profile, a computer driver or a remote
// network player. This holds what the game shell needs of it (name, kind, profile, file form);
// the race behaviour is added by the race simulation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "QVX/race/PlayerProfile.h"

constexpr size_t PLAYER_NAME_SIZE = 16;  // 15 characters and the NUL

enum PlayerType : int32_t {
  PLAYER_NONE = 0,
  PLAYER_HUMAN = 1,
  PLAYER_COMPUTER = 2,
  PLAYER_REMOTE = 3,
};

// True when name can name a profile file in the players folder: 1 to 15 characters, none of
// them a path separator, a control character or one of : * ? " < > |, not "." or "..", and not
// beginning with a dot, so the file cannot land outside the folder or be hidden.
bool Player_IsValidProfileName(const char* name);

class Player {
 public:
  Player();

  // Resets to a fresh profile of the given type.
  void Reset(PlayerType type);
  // Makes this a human player from the profile "Data\Players\<name>.bin". With index < 0 no file
  // is read (a new profile with defaults). True also when already created (nothing changes).
  // False, the player not created, when the name is not a valid profile name, the file cannot be
  // read or is not a profile record (wrong size; the file is kept).
  bool Load(const char* name, int32_t index, uint32_t keyboardSet);
  // Writes "Data\Players\<name>.bin" (binary) or ".sav" (text). The file is replaced only once
  // the new one is complete. False for an invalid name or a failed write.
  bool Save(bool binary) const;
  // Binds every unbound key-pad control to a spare keyboard key (the race completes this).
  void AssignSpareKey() {}

  char m_name[PLAYER_NAME_SIZE] = {};
  PlayerType m_type = PLAYER_NONE;
  int32_t m_profileIndex = -1;
  uint8_t m_created = 0;
  uint8_t m_flag = 0;  // the shell's per-player flag byte at creation
  int32_t m_bestPosition = 9999;
  float m_lookAhead[2] = {1.5f, 1.0f / 6.0f};
  PlayerProfile m_profile;
  // Why the last Load failed, for the caller's report ("" after success).
  char m_loadError[128] = {};
};
