// The game's data tree: every path the game opens under it is formed here from a folder id
// (to which the caller appends its own file name) or a file id (one fixed file). Paths are
// built on a root folder, "." (the working folder), with backslashes; the engine's path layer
// maps them onto the file system.
#pragma once

#include <cstddef>
#include <cstdint>

enum DataFolderId : uint32_t {
  DATAFOLDER_PLAYERS = 0,
  DATAFOLDER_NONE = 1,  // no folder: the call fails
  DATAFOLDER_MAPS_CARS = 2,
  DATAFOLDER_STANDARD_SKINS = 3,
  DATAFOLDER_UPDATE1_SKINS = 4,  // 4..13: the skins of update packs 1 to 10
  DATAFOLDER_UPDATE2_SKINS = 5,
  DATAFOLDER_UPDATE10_SKINS = 13,
  DATAFOLDER_MY_SKINS = 14,
  DATAFOLDER_MAPS_WHEELS = 15,
  DATAFOLDER_MAPS_LOW = 16,   // texture folder at texture quality 0
  DATAFOLDER_MAPS_HIGH = 17,  // texture folder at any other quality
  DATAFOLDER_MENU = 18,
  DATAFOLDER_CARS = 19,
  DATAFOLDER_AUDIO = 20,
  DATAFOLDER_TRACKS = 21,
  DATAFOLDER_ROOT = 22,
  DATAFOLDER_SKINEDITOR = 23,
  DATAFOLDER_SKINEDITOR_BRUSHES = 24,
  DATAFOLDER_SKINEDITOR_ICONS = 25,
  DATAFOLDER_SKINEDITOR_PATTERNS = 26,
};
constexpr uint32_t DATAFOLDER_LAST = 26;

enum DataFileId : uint32_t {
  DATAFILE_CONFIG = 0,
  DATAFILE_LANGUAGE_FIRST = 1,  // 1..7: language n is file n + 1
  DATAFILE_LANGUAGE_LAST = 7,
  DATAFILE_MENU_TOP = 8,  // 8..18: menu frame images
  DATAFILE_MENU_ARROWRIGHT = 18,
  DATAFILE_FONT_MENU_TITLE = 19,  // 19..24: bare names
  DATAFILE_FONT_MENU_NORMAL = 20,
  DATAFILE_FONT_MENU_HILITE = 21,
  DATAFILE_FONT_MENU_DISABLED = 22,
  DATAFILE_FONT_MENU_HELP = 23,
  DATAFILE_FONT_MENU_HELP2 = 24,
  DATAFILE_MENUSCENE = 25,
  DATAFILE_MENUFRAME = 26,
  DATAFILE_SOUND_MENU_UPDOWN = 27,
  DATAFILE_SOUND_MENU_LEFTRIGHT = 28,
  DATAFILE_SOUND_MENU_ACTION = 29,
  DATAFILE_CLASS_AI = 30,
  DATAFILE_HUD = 31,
  DATAFILE_SOUND_FALSE_START = 32,
  DATAFILE_WEATHER = 33,
  DATAFILE_WEATHER_RAIN = 34,
  DATAFILE_WEATHER_THUNDER = 35,
};
constexpr uint32_t DATAFILE_LAST = 35;

constexpr int DATAPATH_ROOT_SLOTS = 3;
constexpr size_t DATAPATH_ROOT_SIZE = 512;  // 511 characters and the NUL
// Room for any path built here: the longest one is 31 characters longer than its root.
constexpr size_t DATAPATH_MAX_PATH = DATAPATH_ROOT_SIZE + 32;
// The root slot every path is built on.
constexpr int DATAPATH_CURRENT_ROOT = 2;

class DataPaths {
 public:
  DataPaths();  // every slot "."

  // Copies path into slot 0..2; any other slot, a null path or one of 512 characters or more
  // changes nothing.
  void SetDataRoot(int slot, const char* path);
  const char* GetRoot(int slot) const;

  // Writes the path into out (outSize bytes with the NUL). False, out untouched, for an id out of
  // range, folder 1, or a result that does not fit.
  bool GetFolderPath(char* out, size_t outSize, uint32_t id, int rootIndex = DATAPATH_CURRENT_ROOT) const;
  bool GetFilePath(char* out, size_t outSize, uint32_t id, int rootIndex = DATAPATH_CURRENT_ROOT) const;

 private:
  char m_roots[DATAPATH_ROOT_SLOTS][DATAPATH_ROOT_SIZE];
};

// The same on the one Program's data paths and root index (g_program must exist). out holds at
// least DATAPATH_MAX_PATH bytes.
bool GetDataFolderPath(char* out, uint32_t id);
bool GetDataFilePath(char* out, uint32_t id);

// Replaces the last n characters of path by the replacement of the same length (".ini" ->
// ".bin", "txt" -> "bin"); false, path unchanged, when path is shorter than n.
bool ReplaceTail(char* path, const char* replacement);
