// Who starts a race and where: the computer drivers chosen for a single race (nearest slower
// and faster drivers by reference time, with class caps), for a championship (a fixed block of
// the championship drivers table) and for a race of computer drivers only; and the grid places,
// extended behind the track's last grid rows when the field is larger than the grid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Zentri/math/VQVector.h"

enum GameMode : int32_t {
  GAMEMODE_PRACTICE = 1,
  GAMEMODE_SPLIT = 2,
  GAMEMODE_SINGLE = 3,
  GAMEMODE_CHAMPIONSHIP = 4,
  GAMEMODE_AI_ONLY = 5,
  GAMEMODE_NETWORK = 6,
};

constexpr int32_t FIELD_MAX_CLASSES = 40;
constexpr int32_t FIELD_BASE_CLASSES = 10;  // classes 0-9; 10 and above are bonus classes
constexpr int32_t FIELD_CLASS_CAP = 2;      // cars per class in a mixed-class race
constexpr int32_t FIELD_NO_CAP = 9999;
constexpr uint32_t FIELD_AI_ONLY_CARS = 8;
constexpr uint32_t FIELD_MAX_PARTICIPANTS = 32;
constexpr float FIELD_ROW_SPACING = 8.0f;  // grid row distance when the grid gives none

// One computer driver of the shell's results table as the field selection sees it.
struct FieldEntry {
  uint8_t valid = 1;  // still available for this field; cleared when picked
  int32_t raceClass = 0;
  float time = 0.0f;  // reference race time on this track
};

// Single race: indices of the chosen entries in pick order (their valid bytes are cleared).
// playerClass: the player's class, baseClass its base class (the same for classes 0-9);
// raceType 0 allows only the player's class without a cap, any other type classes 0-9 (and
// the player's own bonus class) with at most two cars per class, the player counting as one.
std::vector<int32_t> RaceField_PickRace(std::vector<FieldEntry>& entries, int32_t playerClass,
                                        int32_t baseClass, float playerTime, int32_t raceType,
                                        int32_t opponents);
// Computer drivers only: every second entry (0, 2, 4, ...) of the class, at most eight. False
// with a message naming the class when no driver of it is found: a race of nobody is not
// started.
bool RaceField_PickAIOnly(std::vector<FieldEntry>& entries, int32_t raceClass,
                          std::vector<int32_t>* out, std::string* error);
// Championship: with k opponents, the block of k + 1 slots of the drivers table that holds its
// last slot, walked from its end to its start, every slot but the last (the player's). Slot
// values out of the entry range are skipped.
std::vector<int32_t> RaceField_PickChampionship(const std::vector<int32_t>& table,
                                                int32_t opponents, size_t entryCount);

// One participant of a field: a local player (its index among the local players), a computer
// driver (its entry in the computer-driver table) or a remote player (its index among the
// remote players).
enum FieldSlotKind : int32_t { FIELD_LOCAL = 0, FIELD_COMPUTER = 1, FIELD_REMOTE = 2 };
struct FieldSlot {
  FieldSlotKind kind = FIELD_LOCAL;
  int32_t index = 0;
  bool operator==(const FieldSlot& o) const { return kind == o.kind && index == o.index; }
};

// Who starts a round of a game mode, in the order the cars go onto the track (the track gives
// them its grid places in that order; practice cars start from the pit places):
//   practice: player 1;  split screen: players 1 and 2;
//   single race and championship: the chosen computer drivers in pick order, then player 1;
//   computer drivers only: the chosen drivers, at most eight;
//   network: for each grid slot 0, 1, ... up to the remote count, the remote player whose grid
//   id is the slot, or player 1 when its own id is (a slot nobody holds stays empty).
// At most FIELD_MAX_PARTICIPANTS participants. spacing receives the grid spacing of the mode
// (1 in a championship, 0 otherwise).
std::vector<FieldSlot> RaceField_Order(int32_t gameMode, const std::vector<int32_t>& computers,
                                       const std::vector<int32_t>& remoteGridIds, int32_t ownGridId,
                                       uint32_t* spacing = nullptr);

struct GridPlace {
  VQVector2 position, direction;
};
// The places of count cars: the track's grid places, then, for cars beyond them, places further
// back that continue the last rows (two columns when the grid has them) so that no car lands on
// another or off the grid. Without any grid place the cars line up at (5 n, 0) facing +y.
std::vector<GridPlace> RaceField_GridPlaces(const std::vector<GridPlace>& grid, uint32_t count);
