#include "QVX/shell/Cheats.h"

const char* const g_cheatWords[CHEAT_WORD_COUNT] = {
    "zibbet",  "blurvenok", "wontrickels", "frimpel",    "dunkelop", "haverlomint",
    "quibrat", "tindlepax", "vorsk",       "skelbitrop", "gromb",    "plonkivute"};

void Cheat_Apply(CheatState& s, uint32_t index) {
  switch (index) {
    case CHEAT_FLAG_A:
      if (s.trackLoaded) s.flagA ^= 1;
      break;
    case CHEAT_FLAG_B: s.flagB ^= 1; break;
    case CHEAT_DROP_COLLISION:
      if (s.trackLoaded && s.dropTrackCollision) s.dropTrackCollision(s.dropTrackCollisionUser);
      break;
    case CHEAT_MENU_VALUE: s.menuValue = CHEAT_MENU_VALUE_SET; break;
    case CHEAT_POINTS:
      s.pointsCounter += CHEAT_POINTS_BONUS;
      s.player1Points = s.pointsCounter;
      break;
    case CHEAT_DISPLAY: s.displayByte ^= 1; break;
    case CHEAT_FLAG_E: s.flagE ^= 1; break;
    case CHEAT_FREE_FLIGHT: s.flagD ^= 1; break;
    default: break;
  }
}
