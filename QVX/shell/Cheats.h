// The effects of the twelve typed cheat words (identifiers 0 to 11, registered at start-up and
// recognised by the keyword detector during a race). The state lives in the Program; the race
// reads the flags, and the effects on a loaded track go through a hook the race installs.
#pragma once

#include <cstdint>

enum CheatWordId : uint32_t {
  CHEAT_FLAG_A = 0,  // toggles flag A while a track is loaded
  CHEAT_FLAG_B = 1,  // toggles flag B
  CHEAT_NOTHING_2 = 2,
  CHEAT_DROP_COLLISION = 3,  // while a track is loaded: the track leaves its collision world
  CHEAT_MENU_VALUE = 4,      // menu page 11, item 8 gets the value 10
  CHEAT_POINTS = 5,          // 40 more points for player 1
  CHEAT_NOTHING_6 = 6,
  CHEAT_DISPLAY = 7,      // toggles the shell's display byte
  CHEAT_FLAG_E = 8,       // toggles flag E
  CHEAT_FREE_FLIGHT = 9,  // toggles flag D: the human driver's free-flight keys
  CHEAT_NOTHING_10 = 10,
  CHEAT_NOTHING_11 = 11,
  CHEAT_WORD_COUNT = 12,
};

// The words in identifier order.
extern const char* const g_cheatWords[CHEAT_WORD_COUNT];

constexpr int32_t CHEAT_POINTS_BONUS = 40;
constexpr int32_t CHEAT_MENU_VALUE_SET = 10;

struct CheatState {
  uint8_t flagA = 0;
  uint8_t flagB = 0;
  uint8_t flagD = 0;  // free flight
  uint8_t flagE = 0;
  uint8_t displayByte = 0;
  int32_t pointsCounter = 0;
  int32_t player1Points = 0;  // the points word of player 1, where the sum is stored
  int32_t menuValue = -1;     // the value of menu page 11, item 8 once set (-1: untouched)
  // Set by the race while a track is loaded; the hook drops the loaded track's collision-world
  // link and its related byte (null until the race installs it).
  bool trackLoaded = false;
  void (*dropTrackCollision)(uintptr_t user) = nullptr;
  uintptr_t dropTrackCollisionUser = 0;
};

// Applies the effect of word index to the state; identifiers outside 0..11 do nothing.
void Cheat_Apply(CheatState& state, uint32_t index);
