// Fuzz target: the player profile reader. Any bytes either are refused for their size or give a
// profile whose counts and codes are in range, and whose stored form reads back the same.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/InputCodes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small inputs are spread over a whole record so the reader sees full-size records too.
  std::vector<uint8_t> record(data, data + size);
  if (size > 0 && size < PROFILE_RECORD_SIZE && (data[0] & 1)) {
    record.resize(PROFILE_RECORD_SIZE);
    for (size_t i = size; i < record.size(); ++i) record[i] = data[i % size];
  }
  const uint32_t classCount = size ? data[size - 1] % 50 : 0;
  PlayerProfile p;
  if (PlayerProfile_Read(record.data(), record.size(), classCount, &p) != PROFILE_OK) {
    if (record.size() == PROFILE_RECORD_SIZE) __builtin_trap();
    return 0;
  }
  if (p.num_champ_players < 0 || p.num_champ_players > PROFILE_MAX_CHAMP_PLAYERS) __builtin_trap();
  for (int32_t code : p.bindings)
    if (code != 0 && InputCodeClass(code) == INPUTCODE_NONE) __builtin_trap();
  const std::vector<uint8_t> stored = PlayerProfile_Write(p, classCount);
  PlayerProfile back;
  if (PlayerProfile_Read(stored.data(), stored.size(), classCount, &back) != PROFILE_OK) __builtin_trap();
  if (PlayerProfile_Write(back, classCount) != stored) __builtin_trap();
  (void)PlayerProfile_FormatText(p, {"a", "b"}, "1-1", "00:00");
  return 0;
}
