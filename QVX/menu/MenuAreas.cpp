#include "QVX/menu/MenuAreas.h"

#include <cstring>

namespace {
MenuArea s_areas[MENU_MAX_AREAS];
size_t s_count = 0;
}  // namespace

bool MenuAreas_Register(const MenuArea& area) {
  if (s_count >= MENU_MAX_AREAS || !area.name) return false;
  for (size_t i = 0; i < s_count; ++i)
    if (std::strcmp(s_areas[i].name, area.name) == 0) return false;
  s_areas[s_count++] = area;
  return true;
}

void MenuAreas_Clear() { s_count = 0; }
size_t MenuAreas_Count() { return s_count; }
const MenuArea* MenuAreas_Get(size_t index) { return index < s_count ? &s_areas[index] : nullptr; }
