#include "QVX/race/RaceField.h"

#include <cstdio>

namespace {

// The valid entry of an allowed class whose time is the smallest at or above t (slower = true)
// or the largest at or below t; -1 when none.
int32_t Nearest(const std::vector<FieldEntry>& e, const std::vector<uint8_t>& allowed, float t,
                bool slower) {
  int32_t best = -1;
  for (size_t i = 0; i < e.size(); ++i) {
    const FieldEntry& x = e[i];
    if (!x.valid || x.raceClass < 0 || x.raceClass >= FIELD_MAX_CLASSES ||
        !allowed[size_t(x.raceClass)])
      continue;
    if (slower ? x.time < t : x.time > t) continue;
    if (best < 0 || (slower ? x.time < e[size_t(best)].time : x.time > e[size_t(best)].time))
      best = int32_t(i);
  }
  return best;
}

}  // namespace

std::vector<int32_t> RaceField_PickRace(std::vector<FieldEntry>& entries, int32_t playerClass,
                                        int32_t baseClass, float playerTime, int32_t raceType,
                                        int32_t opponents) {
  std::vector<uint8_t> allowed(FIELD_MAX_CLASSES, 0);
  std::vector<int32_t> counts(FIELD_MAX_CLASSES, 0);
  int32_t cap = FIELD_NO_CAP;
  const bool ownValid = playerClass >= 0 && playerClass < FIELD_MAX_CLASSES;
  if (raceType == 0) {
    if (ownValid) allowed[size_t(playerClass)] = 1;
  } else {
    for (int32_t c = 0; c < FIELD_BASE_CLASSES; ++c) allowed[size_t(c)] = 1;
    if (ownValid) allowed[size_t(playerClass)] = 1;
    cap = FIELD_CLASS_CAP;
  }
  const int32_t counted = baseClass >= 0 && baseClass < FIELD_MAX_CLASSES ? baseClass : playerClass;
  if (counted >= 0 && counted < FIELD_MAX_CLASSES) counts[size_t(counted)] = 1;
  std::vector<int32_t> picks;
  auto pick = [&](bool slower) {
    const int32_t i = Nearest(entries, allowed, playerTime, slower);
    if (i < 0) return false;
    FieldEntry& e = entries[size_t(i)];
    e.valid = 0;
    picks.push_back(i);
    if (++counts[size_t(e.raceClass)] >= cap) allowed[size_t(e.raceClass)] = 0;
    return true;
  };
  if (opponents < 0) opponents = 0;
  const int32_t first = opponents / 2;
  for (int32_t k = 0; k < first && pick(true); ++k) {}
  while (int32_t(picks.size()) < opponents && pick(false)) {}
  while (int32_t(picks.size()) < opponents && pick(true)) {}
  return picks;
}

bool RaceField_PickAIOnly(std::vector<FieldEntry>& entries, int32_t raceClass,
                          std::vector<int32_t>* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < entries.size() && out->size() < FIELD_AI_ONLY_CARS; i += 2) {
    if (entries[i].raceClass != raceClass) continue;
    entries[i].valid = 0;
    out->push_back(int32_t(i));
  }
  if (!out->empty()) return true;
  char text[96];
  std::snprintf(text, sizeof text, "No computer driver of class %d for a race of computer drivers",
                int(raceClass));
  *error = text;
  return false;
}

std::vector<int32_t> RaceField_PickChampionship(const std::vector<int32_t>& table,
                                                int32_t opponents, size_t entryCount) {
  std::vector<int32_t> out;
  if (table.empty() || opponents < 0) return out;
  const size_t block = size_t(opponents) + 1;
  const size_t last = table.size() - 1;
  const size_t start = last + 1 >= block ? last + 1 - block : 0;
  for (size_t s = last; s-- > start;) {
    const int32_t e = table[s];
    if (e >= 0 && size_t(e) < entryCount) out.push_back(e);
  }
  return out;
}

std::vector<FieldSlot> RaceField_Order(int32_t gameMode, const std::vector<int32_t>& computers,
                                       const std::vector<int32_t>& remoteGridIds, int32_t ownGridId,
                                       uint32_t* spacing) {
  std::vector<FieldSlot> out;
  const auto add = [&](FieldSlotKind kind, int32_t index) {
    if (out.size() < FIELD_MAX_PARTICIPANTS) out.push_back(FieldSlot{kind, index});
  };
  switch (gameMode) {
    case GAMEMODE_PRACTICE: add(FIELD_LOCAL, 0); break;
    case GAMEMODE_SPLIT:
      add(FIELD_LOCAL, 0);
      add(FIELD_LOCAL, 1);
      break;
    case GAMEMODE_SINGLE:
    case GAMEMODE_CHAMPIONSHIP:
      for (int32_t c : computers) add(FIELD_COMPUTER, c);
      // The player's place is kept even in a full field.
      if (out.size() == FIELD_MAX_PARTICIPANTS) out.pop_back();
      add(FIELD_LOCAL, 0);
      break;
    case GAMEMODE_AI_ONLY:
      for (int32_t c : computers)
        if (out.size() < FIELD_AI_ONLY_CARS) add(FIELD_COMPUTER, c);
      break;
    case GAMEMODE_NETWORK:
      for (int32_t slot = 0; slot <= int32_t(remoteGridIds.size()); ++slot) {
        if (ownGridId == slot) {
          add(FIELD_LOCAL, 0);
          continue;
        }
        for (size_t r = 0; r < remoteGridIds.size(); ++r)
          if (remoteGridIds[r] == slot) {
            add(FIELD_REMOTE, int32_t(r));
            break;
          }
      }
      break;
    default: break;
  }
  if (spacing) *spacing = gameMode == GAMEMODE_CHAMPIONSHIP ? 1u : 0u;
  return out;
}

std::vector<GridPlace> RaceField_GridPlaces(const std::vector<GridPlace>& grid, uint32_t count) {
  std::vector<GridPlace> out;
  const size_t g = grid.size();
  for (uint32_t n = 0; n < count; ++n) {
    if (n < g) {
      out.push_back(grid[n]);
      continue;
    }
    if (g == 0) {
      out.push_back({VQVector2(5.0f * float(n), 0.0f), VQVector2(0.0f, 1.0f)});
      continue;
    }
    // Two columns when the grid has at least two places: the extra car continues the column of
    // the place two back, one row further.
    const size_t columns = g >= 2 ? 2 : 1;
    const size_t k = n - g;
    const size_t base = g - columns + (k % columns);
    const uint32_t rowsBack = uint32_t(k / columns) + 1;
    VQVector2 step;
    if (base >= columns) {
      step = grid[base].position - grid[base - columns].position;
    } else {
      VQVector2 d = grid[base].direction;
      const float len = d.Length();
      d = len > 1e-6f ? d * (1.0f / len) : VQVector2(0.0f, 1.0f);
      step = d * -FIELD_ROW_SPACING;
    }
    if (step.Length() < 4.0f) {  // rows on top of each other in the data: keep cars apart
      VQVector2 d = grid[base].direction;
      const float len = d.Length();
      d = len > 1e-6f ? d * (1.0f / len) : VQVector2(0.0f, 1.0f);
      step = d * -FIELD_ROW_SPACING;
    }
    out.push_back({grid[base].position + step * float(rowsBack), grid[base].direction});
  }
  return out;
}
