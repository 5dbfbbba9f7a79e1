#include "QVX/shell/DataPaths.h"

#include <cstdio>
#include <cstring>

#include "QVX/shell/Program.h"

namespace {

const char* const kFolders[DATAFOLDER_LAST + 1] = {
    "Data\\Players",
    nullptr,
    "Data\\Maps_cars",
    "Data\\Maps_cars\\Standardskins",
    "Data\\Maps_cars\\Update1skins",
    "Data\\Maps_cars\\Update2skins",
    "Data\\Maps_cars\\Update3skins",
    "Data\\Maps_cars\\Update4skins",
    "Data\\Maps_cars\\Update5skins",
    "Data\\Maps_cars\\Update6skins",
    "Data\\Maps_cars\\Update7skins",
    "Data\\Maps_cars\\Update8skins",
    "Data\\Maps_cars\\Update9skins",
    "Data\\Maps_cars\\Update10skins",
    "Data\\Maps_cars\\Myskins",
    "Data\\Maps_wheels",
    "Data\\Maps_low",
    "Data\\Maps_high",
    "Data\\Menu",
    "Data\\Cars",
    "Data\\Audio",
    "Data\\Tracks",
    "",  // the root itself
    "Data\\Maps_skineditor",
    "Data\\Maps_skineditor\\Brushes",
    "Data\\Maps_skineditor\\Icons",
    "Data\\Maps_skineditor\\Patterns",
};

struct FileEntry {
  const char* folder;  // null: the root (file 0); "": a bare name without root and folder
  const char* name;
};

const FileEntry kFiles[DATAFILE_LAST + 1] = {
    {nullptr, "Config.ini"},
    {"Data\\Languages", "English.txt"},
    {"Data\\Languages", "Nederlands.txt"},
    {"Data\\Languages", "Deutsch.txt"},
    {"Data\\Languages", "Francais.txt"},
    {"Data\\Languages", "Italiano.txt"},
    {"Data\\Languages", "Espagnol.txt"},
    {"Data\\Languages", "Polish.txt"},
    {"Data\\Menu", "Menu_top.tga"},
    {"Data\\Menu", "Menu_topleft.tga"},
    {"Data\\Menu", "Menu_topright.tga"},
    {"Data\\Menu", "Menu_bottom.tga"},
    {"Data\\Menu", "Menu_bottomleft.tga"},
    {"Data\\Menu", "Menu_bottomright.tga"},
    {"Data\\Menu", "Menu_entry.tga"},
    {"Data\\Menu", "Menu_entryleft.tga"},
    {"Data\\Menu", "Menu_entryright.tga"},
    {"Data\\Menu", "Menu_arrowleft.tga"},
    {"Data\\Menu", "Menu_arrowright.tga"},
    {"", "Font_menu_title.tga"},
    {"", "Font_menu_normal.tga"},
    {"", "Font_menu_hilite.tga"},
    {"", "Font_menu_disabled.tga"},
    {"", "Font_menu_help.tga"},
    {"", "Font_menu_help.tga"},
    {"Data", "Menuscene.vqo"},
    {"Data\\Cars", "MenuframeXX.vqo"},
    {"Data\\Audio", "menu_updown.vqw"},
    {"Data\\Audio", "menu_leftright.vqw"},
    {"Data\\Audio", "menu_action.vqw"},
    {"Data", "class_AI.ini"},
    {"Data", "hud.ini"},
    {"Data\\Audio", "fx_false_start.vqw"},
    {"Data", "weather.ini"},
    {"Data", "weather_rain.ini"},
    {"Data", "weather_thunder.ini"},
};

// snprintf into a scratch buffer, copied to out only when it fits, so a failure leaves out alone.
bool FormatInto(char* out, size_t outSize, const char* a, const char* b, const char* c) {
  char scratch[DATAPATH_MAX_PATH + DATAPATH_ROOT_SIZE];
  int n;
  if (c) {
    n = std::snprintf(scratch, sizeof scratch, "%s\\%s\\%s", a, b, c);
  } else if (b) {
    n = std::snprintf(scratch, sizeof scratch, "%s\\%s", a, b);
  } else {
    n = std::snprintf(scratch, sizeof scratch, "%s", a);
  }
  if (n < 0 || size_t(n) >= outSize || size_t(n) >= sizeof scratch) return false;
  std::memcpy(out, scratch, size_t(n) + 1);
  return true;
}

}  // namespace

DataPaths::DataPaths() {
  for (auto& root : m_roots) std::strcpy(root, ".");
}

void DataPaths::SetDataRoot(int slot, const char* path) {
  if (slot < 0 || slot >= DATAPATH_ROOT_SLOTS || !path) return;
  if (std::strlen(path) >= DATAPATH_ROOT_SIZE) return;
  std::strcpy(m_roots[slot], path);
}

const char* DataPaths::GetRoot(int slot) const {
  if (slot < 0 || slot >= DATAPATH_ROOT_SLOTS) return "";
  return m_roots[slot];
}

bool DataPaths::GetFolderPath(char* out, size_t outSize, uint32_t id, int rootIndex) const {
  if (!out || id > DATAFOLDER_LAST || id == DATAFOLDER_NONE) return false;
  const char* root = GetRoot(rootIndex);
  if (id == DATAFOLDER_ROOT) return FormatInto(out, outSize, root, nullptr, nullptr);
  return FormatInto(out, outSize, root, kFolders[id], nullptr);
}

bool DataPaths::GetFilePath(char* out, size_t outSize, uint32_t id, int rootIndex) const {
  if (!out || id > DATAFILE_LAST) return false;
  const FileEntry& f = kFiles[id];
  const char* root = GetRoot(rootIndex);
  if (!f.folder) return FormatInto(out, outSize, root, f.name, nullptr);
  if (!*f.folder) return FormatInto(out, outSize, f.name, nullptr, nullptr);
  return FormatInto(out, outSize, root, f.folder, f.name);
}

bool GetDataFolderPath(char* out, uint32_t id) {
  if (!g_program || !g_program->m_dataPaths) return false;
  return g_program->m_dataPaths->GetFolderPath(out, DATAPATH_MAX_PATH, id, g_program->m_rootIndex);
}

bool GetDataFilePath(char* out, uint32_t id) {
  if (!g_program || !g_program->m_dataPaths) return false;
  return g_program->m_dataPaths->GetFilePath(out, DATAPATH_MAX_PATH, id, g_program->m_rootIndex);
}

bool ReplaceTail(char* path, const char* replacement) {
  const size_t n = std::strlen(replacement);
  const size_t len = std::strlen(path);
  if (len < n) return false;
  std::memcpy(path + len - n, replacement, n);
  return true;
}
