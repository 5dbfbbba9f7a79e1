#include "QVX/shell/Program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <strings.h>

#include "QVX/race/CarCatalog.h"
#include "QVX/menu/Menu.h"
#include "QVX/menu/MusicTrack.h"
#include "QVX/race/Player.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/KeywordDetector.h"
#include "QVX/shell/ShellText.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/input/VQJoystickDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQdate.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"

Program* g_program = nullptr;
VQLogFile* g_gameLog = nullptr;

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 6;
constexpr const char* kVersionSuffix = " H";
constexpr uint32_t kOpenFlagsTnl = 5;
constexpr uint32_t kOpenFlagsPlain = 9;
constexpr uint32_t kCanvasFullScreen = 1;
constexpr uint32_t kCanvasWindowed = 2;
constexpr uint32_t kTextureMaxSize = 32768;
constexpr uint32_t kTextureGroupPrizes = 6;
// Joysticks: the dead zone of the two stick axes (a fraction of the half range) and the
// scale of every axis, so that a worn stick still reaches full lock.
constexpr float kJoystickDeadZone = 0.02f;
constexpr uint32_t kJoystickDeadZoneAxes = 2;
constexpr float kJoystickAxisScale = 1.1f;

// Message-string identifiers of start-up's failures.
enum : int32_t {
  MSG_DISPLAY_DEVICE = 2,
  MSG_KEYBOARD = 3,
  MSG_CANVAS = 4,
  MSG_SOUND_DEVICE = 5,
};

const char* const kLanguageMessageNames[CONFIG_LANGUAGE_COUNT] = {"English", "Nederlands", "Deutsch", "Francais",
                                                                  "Italiano", "Espagnol", "Pelmavant"};

// A case-insensitive test of a name's start.
bool StartsWithNoCase(const char* text, const char* prefix) {
  return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

// ---- construction, errors, log ----------------------------------------------------------------

Program::Program(const ProgramOptions& options) : m_options(options) {
  std::snprintf(m_versionText, sizeof m_versionText, "V%d.%d%d%s", kVersionMajor, kVersionMinor / 10,
                kVersionMinor % 10, kVersionSuffix);
  m_rootIndex = DATAPATH_CURRENT_ROOT;
  m_dataPaths = new (std::nothrow) DataPaths();
  m_texts = new (std::nothrow) VQStrings();
  m_weather = new (std::nothrow) WeatherDatabase();
  delete g_gameLog;
  g_gameLog = new (std::nothrow) VQLogFile("qvxlog.txt");
  if (g_gameLog) {
    g_gameLog->m_enabled = 1;
    g_gameLog->DeleteFile();
  }
  char date[VQDATE_STRING_SIZE], time[VQTIME_STRING_SIZE];
  VQdate_CurrentString(date, sizeof date, '-', true);
  VQtime_CurrentString(time, sizeof time, ':', false);
  Log("Program version %s start on %s %s", m_versionText, date, time);
  g_program = this;
  if (!LoadConfig(DataFile(DATAFILE_CONFIG).c_str())) m_config.language = LANGUAGE_DEUTSCH;
}

Program::~Program() {
  CloseNetwork();
  for (uint32_t i = 0; i < m_classCount; ++i) delete m_classes[i];
  for (uint32_t i = 0; i < m_playerCount; ++i) delete m_players[i];
  FreeFonts();
  delete m_keywordDetector;
  delete m_weather;
  delete m_texts;
  delete m_dataPaths;
  if (g_program == this) g_program = nullptr;
}

void Program::ShowMessageBox(const char* text) {
  if (m_options.headless) {
    std::fprintf(stderr, "Error: %s\n", text);
    return;
  }
  VQwin32_MessageBox(text, "Error");
}

void Program::ShowMessage(const char* text, const char* title) {
  if (m_options.headless) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    return;
  }
  VQwin32_MessageBox(text, title);
}

void Program::Error(const char* format, ...) {
  char text[PROGRAM_ERROR_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  m_lastError = text;
  ++m_errorCount;
  ShowMessageBox(text);
  Log("Error : %s", text);
}

void Program::Log(const char* format, ...) {
  if (!g_gameLog && !m_logObserver) return;
  va_list args;
  va_start(args, format);
  if (!m_logObserver) {
    // The usual case: straight into the log file, without a line buffer of our own.
    g_gameLog->PrintV(format, args);
    va_end(args);
    return;
  }
  // A scripted run also hands the line to its observer: it is formatted once for both.
  std::unique_ptr<char[]> line(new (std::nothrow) char[VQLOGFILE_LINE_SIZE]);
  if (line) std::vsnprintf(line.get(), VQLOGFILE_LINE_SIZE, format, args);
  va_end(args);
  if (!line) return;
  if (g_gameLog) g_gameLog->Print("%s", line.get());
  m_logObserver(m_logObserverUser, line.get());
}

std::string Program::DataFile(uint32_t id) const {
  char path[DATAPATH_MAX_PATH] = {};
  if (m_dataPaths) m_dataPaths->GetFilePath(path, sizeof path, id, m_rootIndex);
  return path;
}

std::string Program::DataFolder(uint32_t id) const {
  char path[DATAPATH_MAX_PATH] = {};
  if (m_dataPaths) m_dataPaths->GetFolderPath(path, sizeof path, id, m_rootIndex);
  return path;
}

// ---- configuration and language ---------------------------------------------------------------

bool Program::LoadConfig(const char* path) {
  std::string text;
  if (!ShellText_ReadFile(path, text)) return false;
  Config_Parse(text.data(), text.size(), m_config, [this](bool error, const char* line) {
    if (error) {
      Error("%s", line);
    } else {
      Log("%s", line);
    }
  });
  return true;
}

bool Program::SaveConfig(const char* path) {
  char date[VQDATE_STRING_SIZE], time[VQTIME_STRING_SIZE];
  VQdate_CurrentString(date, sizeof date, '-', false);
  VQtime_CurrentString(time, sizeof time, ':', false);
  const char* names[2] = {nullptr, nullptr};
  for (uint32_t i = 0; i < 2 && i < m_playerCount; ++i) {
    const int32_t index = m_players[i]->m_profileIndex;
    names[i] = (index >= 0 && size_t(index) < m_profileNames.size()) ? m_profileNames[size_t(index)].c_str()
                                                                      : m_players[i]->m_name;
  }
  const std::string text = Config_Format(m_config, names[0], names[1], date, time);
  return vqfileio::WriteWholeFile(path, text.data(), text.size());
}

bool Program::LoadLanguageStrings() {
  int language = m_config.language;
  if (language < 0 || language >= CONFIG_LANGUAGE_COUNT) language = LANGUAGE_ENGLISH;
  char path[DATAPATH_MAX_PATH] = {};
  m_dataPaths->GetFilePath(path, sizeof path, DATAFILE_LANGUAGE_FIRST + uint32_t(language), m_rootIndex);
  ReplaceTail(path, "bin");
  if (m_texts->Load(path, false, true)) {
    Log("Loaded strings file '%s'", path);
    return true;
  }
  Error("Cannot load message strings for language '%s'", kLanguageMessageNames[language]);
  m_dataPaths->GetFilePath(path, sizeof path, DATAFILE_LANGUAGE_FIRST, m_rootIndex);
  ReplaceTail(path, "bin");
  if (m_texts->Load(path, false, true)) {
    Log("Loaded strings file '%s'", path);
    return true;
  }
  Error("Cannot load message strings for language '%s'", "English");
  return false;
}

// ---- start-up ---------------------------------------------------------------------------------

bool Program::OpenDisplayDevice() {
  const char* type = m_config.displayDeviceType;
  m_displayKind = strcasecmp(type, "direct3d") == 0 ? 2 : strcasecmp(type, "opengl") == 0 ? 3 : 0;
  const int index = int(m_config.displayDeviceIndex) - 1;
  m_displayDevice = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(m_displayKind, index));
  if (!m_displayDevice) {
    Log("Cannot initialize display device '%s' index %d", type, int(m_config.displayDeviceIndex));
    Error("%s", m_texts->GetById(MSG_DISPLAY_DEVICE));
    return false;
  }
  if (!m_displayDevice->Open(m_config.hardwareTnl ? kOpenFlagsTnl : kOpenFlagsPlain)) {
    // The retry keeps the device but names the configuration's fallback, so the saved file
    // starts the next run the safe way.
    m_config.hardwareTnl = false;
    std::snprintf(m_config.displayDeviceType, sizeof m_config.displayDeviceType, "direct3d");
    m_displayKind = 2;
    if (!m_displayDevice->Open(kOpenFlagsPlain)) {
      Error("%s", m_texts->GetById(MSG_DISPLAY_DEVICE));
      m_displayDevice = nullptr;
      return false;
    }
  }
  m_textureManager = m_displayDevice->m_textureManager;
  m_pixmapManager = m_displayDevice->m_pixmapManager;
  if (m_textureManager) m_textureManager->m_cutExtension = 1;
  return true;
}

bool Program::OpenSoftwareDevice() {
  m_softwareDevice = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(4, 0));
  if (!m_softwareDevice || !m_softwareDevice->Open(0)) {
    m_softwareDevice = nullptr;
    Error("%s", m_texts->GetById(MSG_DISPLAY_DEVICE));
    return false;
  }
  const std::string cars = DataFolder(DATAFOLDER_MAPS_CARS);
  if (m_softwareDevice->m_pixmapManager) m_softwareDevice->m_pixmapManager->SetFolder(cars.c_str(), false);
  if (m_softwareDevice->m_textureManager) {
    m_softwareDevice->m_textureManager->SetFolder(cars.c_str(), false);
    m_softwareDevice->m_textureManager->m_cutExtension = 1;
  }
  return true;
}

bool Program::OpenKeyboard() {
  // Scripted input arrives as window messages, which the Windows keyboard reads: a scripted
  // run takes that driver first.
  if (!m_options.inputFile.empty()) {
    VQDevice* windows = g_VQsystem.GetDevice(9, 0);
    if (windows && windows->Open(0)) {
      m_keyboard = windows;
      Log("Initialized Windows keyboard_device");
      return true;
    }
  }
  VQDevice* keyboard = g_VQsystem.GetDevice(12, 0);
  if (keyboard && keyboard->Open(0)) {
    m_keyboard = keyboard;
    Log("Initialized DirectInput keyboard_device");
    return true;
  }
  keyboard = g_VQsystem.GetDevice(9, 0);
  if (keyboard && keyboard->Open(0)) {
    m_keyboard = keyboard;
    Log("Initialized Windows keyboard_device");
    return true;
  }
  if (m_options.headless) {
    // A headless run has no hands on a keyboard: scripted input goes through the window's
    // messages, so the run goes on without a keyboard device.
    Log("No keyboard device (headless run goes on without one)");
    return true;
  }
  Error("%s", m_texts->GetById(MSG_KEYBOARD));
  return false;
}

void Program::OpenSound() {
  if (!m_config.sound) return;
  VQDevice* sound = g_VQsystem.GetDevice(5, int(m_config.soundDeviceIndex) - 1);
  if (!sound) return;
  if (!sound->Open(0)) {
    Error("%s", m_texts->GetById(MSG_SOUND_DEVICE));
    return;
  }
  m_soundDevice = sound;
  if (auto* device = static_cast<VQSoundDevice*>(sound); device->m_cache)
    device->m_cache->SetFolder(DataFolder(DATAFOLDER_AUDIO).c_str(), false);
}

bool Program::CreateCanvasAndViewport() {
  if (m_config.windowed) {
    m_canvas = m_displayDevice->CreateCanvas(kCanvasWindowed, 0, uint32_t(m_config.width), uint32_t(m_config.height), 0, 0);
    VQDisplayMode desktop;
    if (m_canvas) {
      if (m_displayDevice->GetCurrentMode(&desktop)) {
        m_canvas->SetPosition(int32_t((desktop.width - uint32_t(m_config.width)) / 2),
                              int32_t((desktop.height - uint32_t(m_config.height)) / 2));
      } else {
        m_canvas->SetPosition(0, 0);
      }
    }
  } else {
    m_canvas = m_displayDevice->CreateCanvas(kCanvasFullScreen, 0, uint32_t(m_config.width),
                                             uint32_t(m_config.height), uint32_t(m_config.colourDepth),
                                             m_config.buffers);
  }
  if (!m_canvas) {
    Error("%s", m_texts->GetById(MSG_CANVAS));
    return false;
  }
  return true;
}

void Program::AttachDevicesToCanvas() {
  // Keys reach the pushed handlers first and then the canvas's overlay (the menus).
  if (m_keyboard) static_cast<VQKeyboardDevice*>(m_keyboard)->AttachToCanvas(m_canvas);
  if (auto* sound = static_cast<VQSoundDevice*>(m_soundDevice)) {
    sound->AttachToCanvas(m_canvas);
    if (sound->m_limiter) sound->m_limiter->SetMaxVoices(m_voiceLimit);
    sound->SetPrimaryFormat(m_soundFormat[0], m_soundFormat[1], m_soundFormat[2]);
  }
}

void Program::OpenJoysticks() {
  for (uint32_t i = 0; i < PROGRAM_JOYSTICKS; ++i) {
    VQDevice* joystick = g_VQsystem.GetDevice(14, int(i));
    if (joystick && joystick->Open(0)) {
      Log("Adding DirectInput joystick device %d", int(i + 1));
    } else {
      joystick = g_VQsystem.GetDevice(11, int(i));
      if (!joystick || !joystick->Open(0)) continue;
      Log("Adding Windows joystick device %d", int(i + 1));
    }
    m_joysticks[i] = joystick;
    auto* stick = static_cast<VQJoystickDevice*>(joystick);
    for (uint32_t axis = 0; axis < kJoystickDeadZoneAxes; ++axis) stick->SetDeadZone(axis, kJoystickDeadZone);
    stick->SetAxisScaleAll(kJoystickAxisScale);
    stick->AttachToCanvas(m_canvas);
  }
}

void Program::LoadFonts() {
  FreeFonts();
  m_fontManager = new (std::nothrow) VQFontManager();
  if (m_fontManager) m_fontManager->Init(m_displayDevice, true);
  // Race numbers are painted into car skins in memory, so their fonts come from the software
  // device. Character and line spacing are signed values kept in the font's unsigned fields.
  struct CarFont {
    const char* file;
    int32_t spacing;
  };
  static const CarFont kCarFonts[PROGRAM_CAR_NUMBER_FONTS] = {{"font_car256_std.tga", -4},
                                                               {"font_car128_std.tga", -2},
                                                               {"font_car256_hop.tga", -4},
                                                               {"font_car128_hop.tga", -2}};
  VQTextureManager* software = m_softwareDevice ? m_softwareDevice->m_textureManager : nullptr;
  for (uint32_t i = 0; i < PROGRAM_CAR_NUMBER_FONTS; ++i) {
    VQTexture* texture =
        software ? software->Load(kCarFonts[i].file, 0, true, false, kTextureMaxSize, kTextureMaxSize) : nullptr;
    if (!texture) {
      Log("Cannot load car number font '%s'", kCarFonts[i].file);
      continue;
    }
    auto* image = new (std::nothrow) VQImageRef(texture);
    software->Release(texture);  // the image handle holds the font's reference
    auto* font = image ? new (std::nothrow) VQFont() : nullptr;
    if (!font || !font->BuildGlyphs(image)) {
      delete font;
      delete image;
      continue;
    }
    font->m_charSpacing = uint32_t(kCarFonts[i].spacing);
    font->m_lineSpacing = uint32_t(kCarFonts[i].spacing);
    m_carNumberFonts[i] = font;
  }
}

// The fonts of the display device's texture folder, once the folder is searched: lap times,
// menus and the help font of the menus.
static void LoadManagedFonts(Program* p, VQFontManager* manager, const std::string& helpFont) {
  if (!manager) return;
  static const char* const kLapTimeFonts[PROGRAM_LAP_TIME_FONTS] = {
      "font_laptimes.tga", "font_laptimes75white.tga", "font_laptimes75green.tga", "font_laptimes75orange.tga",
      "font_laptimes75blue.tga"};
  static const char* const kMenuFonts[PROGRAM_MENU_FONTS] = {"font_menu_normal.tga", "font_menu_title.tga",
                                                              "font_menu_hilite.tga"};
  for (uint32_t i = 0; i < PROGRAM_LAP_TIME_FONTS; ++i) {
    p->m_lapTimeFonts[i] = manager->Load(kLapTimeFonts[i]);
    if (!p->m_lapTimeFonts[i]) p->Log("Cannot load font '%s'", kLapTimeFonts[i]);
    else if (i > 0) p->m_lapTimeFonts[i]->m_charSpacing = uint32_t(-2);
  }
  for (uint32_t i = 0; i < PROGRAM_MENU_FONTS; ++i) {
    p->m_menuFonts[i] = manager->Load(kMenuFonts[i]);
    if (!p->m_menuFonts[i]) p->Log("Cannot load font '%s'", kMenuFonts[i]);
    else p->m_menuFonts[i]->m_charSpacing = uint32_t(-3);
  }
  p->m_helpFont = manager->Load(helpFont.c_str());
  if (!p->m_helpFont) p->Log("Cannot load font '%s'", helpFont.c_str());
}

void Program::FreeFonts() {
  for (VQFont*& font : m_carNumberFonts) {
    if (font) delete font->m_image;
    delete font;
    font = nullptr;
  }
  // The manager deletes its fonts with their images.
  if (m_fontManager) m_fontManager->ReleaseAll();
  delete m_fontManager;
  m_fontManager = nullptr;
  for (VQFont*& font : m_lapTimeFonts) font = nullptr;
  for (VQFont*& font : m_menuFonts) font = nullptr;
  m_helpFont = m_classFont = m_countdownFont = nullptr;
}

bool Program::CreateKeywordDetector() {
  delete m_keywordDetector;
  m_keywordDetector = new (std::nothrow) KeywordDetector();
  if (!m_keywordDetector) return false;
  m_keywordDetector->Init(OnCheatWord, reinterpret_cast<uintptr_t>(this));
  for (uint32_t i = 0; i < CHEAT_WORD_COUNT; ++i) m_keywordDetector->AddWord(g_cheatWords[i], i);
  return true;
}

void Program::OnCheatWord(uint32_t identifier, uintptr_t user) {
  if (auto* program = reinterpret_cast<Program*>(user)) program->ApplyCheat(identifier);
}

void Program::ApplyCheat(uint32_t index) {
  Cheat_Apply(m_cheats, index);
}

bool Program::LoadClasses() {
  for (uint32_t i = 0; i < m_classCount; ++i) delete m_classes[i];
  m_classCount = 0;
  const std::string folder = DataFolder(DATAFOLDER_CARS);
  std::vector<std::string> files;
  VQFolderScan scan;
  if (VQfile_FindFirst(&scan, folder.c_str())) {
    VQFolderEntry entry;
    while (VQfile_FindNext(&scan, &entry)) {
      const size_t len = std::strlen(entry.m_name);
      if (!entry.m_isFolder && len > 10 && StartsWithNoCase(entry.m_name, "class_") &&
          strcasecmp(entry.m_name + len - 4, ".bin") == 0)
        files.emplace_back(entry.m_name);
    }
    VQfile_FindClose(&scan);
  }
  if (files.empty()) {
    Error("Cannot scan classes folder '%s'", folder.c_str());
    return false;
  }
  RacingClass* slots[CLASS_MAX] = {};
  uint32_t held = 0;
  for (const std::string& file : files) {
    if (held >= CLASS_MAX) {
      Error("Too many classes");
      break;
    }
    auto* cls = new (std::nothrow) RacingClass();
    if (!cls) break;
    std::snprintf(cls->m_name, sizeof cls->m_name, "%.*s", int(file.size() - 10), file.c_str() + 6);
    const char* title = m_texts->GetByKey(cls->m_name);
    cls->m_title = *title ? title : cls->m_name;
    cls->m_number = CLASS_NO_NUMBER;
    cls->m_difficulty = 0;
    cls->m_font = m_classFont;
    if (!LoadClass(true, cls)) {
      delete cls;
      continue;
    }
    // The difficulty index counts from 1; a record outside 1..40 has no slot of its own and
    // takes the first free one like a conflicting class, never an index past the table.
    const uint32_t wanted = cls->m_difficulty - 1;
    if (cls->m_difficulty >= 1 && cls->m_difficulty <= CLASS_MAX && !slots[wanted]) {
      slots[wanted] = cls;
      Log("Added class '%s'", cls->m_name);
    } else {
      uint32_t k = 0;
      while (k < CLASS_MAX && slots[k]) ++k;
      if (k == CLASS_MAX) {
        delete cls;
        continue;
      }
      slots[k] = cls;
      Log("Added class '%s' (difficulty conflict)", cls->m_name);
    }
    ++held;
  }
  for (RacingClass* cls : slots) {
    if (!cls) continue;
    if (cls->m_number == CLASS_NO_NUMBER) cls->m_number = m_classCount;
    m_classes[m_classCount++] = cls;
  }
  return true;
}

bool Program::LoadTracks() {
  m_trackCount = 0;
  const std::string folder = DataFolder(DATAFOLDER_TRACKS);
  VQFolderScan scan;
  bool any = false;
  if (VQfile_FindFirst(&scan, folder.c_str())) {
    VQFolderEntry entry;
    while (VQfile_FindNext(&scan, &entry)) {
      const size_t len = std::strlen(entry.m_name);
      if (entry.m_isFolder || len < 4 || strcasecmp(entry.m_name + len - 4, ".vqo") != 0) continue;
      any = true;
      if (m_trackCount >= PROGRAM_MAX_TRACKS) break;
      if (len <= 14 || !StartsWithNoCase(entry.m_name, "menutrack_")) continue;
      TrackEntry& t = m_tracks[m_trackCount];
      std::snprintf(t.name, sizeof t.name, "%.*s", int(len - 14), entry.m_name + 10);
      const char* title = m_texts->GetByKey(t.name);
      t.title = *title ? title : t.name;
      t.scene = nullptr;
      Log("Added track '%s' (%s)", t.title.c_str(), t.name);
      ++m_trackCount;
    }
    VQfile_FindClose(&scan);
  }
  // Scenes without any menu track leave nothing to race on; everything after this step (the
  // computer drivers' file of the first track, the menus) needs one.
  return any && m_trackCount > 0;
}

bool Program::LoadPlayers() {
  if (m_profileNames.empty()) return true;
  auto find = [this](const char* wanted) -> uint32_t {
    for (size_t i = 0; i < m_profileNames.size(); ++i)
      if (strcasecmp(m_profileNames[i].c_str(), wanted) == 0) return uint32_t(i);
    return 0;
  };
  CreatePlayerFromProfile(find(m_config.player1));
  CreatePlayerFromProfile(m_profileNames.size() == 1 ? 0 : find(m_config.player2));
  if (m_playerCount > 0) ApplySettings();
  return true;
}

void Program::CreateMenus() {
  // The menu system joins here with its own part; start-up sets the page shown after a race.
  m_menuReturnPage = 1;
}

bool Program::Initialize(unsigned, char**) {
  std::srand(m_options.seeded ? m_options.seed : unsigned(std::time(nullptr)));
  for (uint32_t i = 0; i < PROGRAM_MAX_TRACKS; ++i) m_tracks[i].championship = i < PROGRAM_CHAMP_TRACKS ? 1 : 0;
  std::snprintf(m_config.displayDeviceType, sizeof m_config.displayDeviceType, "direct3d");
  m_config.displayDeviceIndex = 1;
  m_config.soundDeviceIndex = 1;
  m_config.width = 640;
  m_config.height = 480;
  m_config.colourDepth = 16;
  m_config.textureQuality = 0;
  m_config.buffers = 2;
  m_config.sound = true;
  m_config.tcpPort = 2000;
  m_config.udpPort = 2001;
  m_sessionRequest = SESSION_QUIT;
  m_gameMode = 0;
  m_textureFolder = DATAFOLDER_MAPS_LOW;
  m_voiceLimit = 1;
  m_soundFormat[0] = 2;
  m_soundFormat[1] = 16;
  m_soundFormat[2] = 22050;
  m_magFilter = m_minFilter = VQFILTER_LINEAR;
  m_volumeMusic = 0.6f;
  m_materialDefaults[0] = 0.5f;
  m_materialDefaults[1] = 0.1f;
  m_materialDefaults[2] = 0.2f;
  m_physicsStep = 0.005f;
  m_timeScale = 1.0f;
  m_networkTimeout = 30;
  m_champTrackCount = PROGRAM_CHAMP_TRACKS;
  m_previousAITrack = 999;
  static const int32_t kCarDefaults[2][9] = {{10, 80, 10, 30, 80, 5, 20, 40, 80}, {20, 80, 10, 30, 80, 5, 20, 40, 80}};
  std::memcpy(m_playerCarDefaults, kCarDefaults, sizeof kCarDefaults);
  std::snprintf(m_versionLabel, sizeof m_versionLabel, "%s", m_versionText);

  const std::string configPath = DataFile(DATAFILE_CONFIG);
  if (!LoadConfig(configPath.c_str())) Error("Cannot load config file '%s'", configPath.c_str());
  m_textureFolder = m_config.textureQuality == 0 ? DATAFOLDER_MAPS_LOW : DATAFOLDER_MAPS_HIGH;
  for (int slot = 0; slot < DATAPATH_ROOT_SLOTS; ++slot) m_dataPaths->SetDataRoot(slot, ".");

  if (!ScanPlayerProfiles()) {
    Error("%s", m_texts->GetByKey("cantloadplayers"));
    m_profileNames.clear();
  }
  // Bonus archives: the archive decompressor is not part of this system, so every archive
  // found is reported and left for the next start.
  bool anyCar = false, anyTrack = false;
  {
    VQFolderScan scan;
    if (VQfile_FindFirst(&scan, ".")) {
      VQFolderEntry entry;
      while (VQfile_FindNext(&scan, &entry)) {
        const size_t len = std::strlen(entry.m_name);
        if (entry.m_isFolder || len < 4) continue;
        if (strcasecmp(entry.m_name + len - 4, ".car") == 0) {
          anyCar = true;
          InstallBonusCar(entry.m_name);
        } else if (strcasecmp(entry.m_name + len - 4, ".trk") == 0) {
          anyTrack = true;
          InstallBonusTrack(entry.m_name);
        }
      }
      VQfile_FindClose(&scan);
    }
  }
  if (!anyCar) Log("No new bonus cars");
  if (!anyTrack) Log("No new bonus tracks");

  if (!g_VQsystem.Init()) return false;
  if (!OpenDisplayDevice()) return false;
  if (!OpenSoftwareDevice()) return false;
  if (!OpenKeyboard()) return false;
  OpenSound();
  VQoverlay_InstallCanvasHooks();
  if (!CreateCanvasAndViewport()) return false;
  AttachDevicesToCanvas();
  if (m_soundDevice) m_musicTrack = new (std::nothrow) MusicTrack(static_cast<VQSoundDevice*>(m_soundDevice));
  char title[256];
  const char* label = m_displayKind == 3 ? "Opengl" : m_config.hardwareTnl ? "Direct3D TnL" : "Direct3D";
  std::snprintf(title, sizeof title, "%s %s %s", m_productName, m_versionText, label);
  m_windowTitle = title;
  m_canvas->SetTitle(title);
  OpenJoysticks();
  m_twoTextures = !(m_displayKind == 2 && m_displayDevice->m_simultaneousTextures < 2);
  LoadFonts();
  if (!m_options.headless && !m_config.windowed) VQwin32_HideCursor();
  m_mainCamera = new (std::nothrow) VQCamera();
  m_mainViewport = m_canvas->CreateViewport(0, 0, m_config.width, m_config.height);
  if (!m_mainViewport) return false;
  m_mainViewport->SetName("Main Viewport");
  if (m_mainCamera) m_mainViewport->SetCamera(m_mainCamera);

  const std::string textureFolder = DataFolder(m_textureFolder);
  if (m_textureManager) {
    m_textureManager->SetFolder(textureFolder.c_str(), false);
    m_textureManager->PushSampling(VQWRAP_REPEAT, VQWRAP_REPEAT, m_magFilter, m_minFilter);
    static const char* const kPreload[3] = {"AU_onderkant", "FX_environment_A", "wheels"};
    for (int i = 0; i < 3; ++i)
      m_textureManager->Load(kPreload[i], i == 1 ? 1 : 0, true, true, kTextureMaxSize, kTextureMaxSize);
    m_textureManager->PopSampling();
  }
  LoadManagedFonts(this, m_fontManager, DataFile(DATAFILE_FONT_MENU_HELP));
  static const int32_t kLengthTexts[PROGRAM_RACE_LENGTHS] = {116, 126, 117, 118, 119, 120};
  m_choices3.count = 3;
  for (uint32_t i = 0; i < 3; ++i) m_choices3.texts[i] = m_texts->GetById(int32_t(113 + i));
  m_choices2.count = 2;
  for (uint32_t i = 0; i < 2; ++i) m_choices2.texts[i] = m_texts->GetById(int32_t(111 + i));
  m_lengthChoices.count = PROGRAM_RACE_LENGTHS;
  for (uint32_t i = 0; i < PROGRAM_RACE_LENGTHS; ++i) m_lengthChoices.texts[i] = m_texts->GetById(kLengthTexts[i]);

  if (!LoadMaterials(true, "Data\\Materials.ini")) return false;
  Log("Loaded collision materials from 'Data\\Materials.ini'");
  LoadMusicList("Data\\Music.ini");
  if (m_textureManager) {
    m_textureManager->m_cutFolder = 1;
    m_textureManager->SetLoadFactor(1);
    m_textureManager->PushSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, VQFILTER_NEAREST, VQFILTER_NEAREST);
  }
  if (m_fontManager) m_classFont = m_fontManager->Load(DataFile(DATAFILE_FONT_MENU_HELP).c_str());
  if (m_textureManager) m_textureManager->PopSampling();
  if (!LoadClasses()) return false;
  if (m_classCount > 0) m_classes[0]->m_championships = 12;
  m_carCatalog = new CarCatalog(".", m_displayDevice, static_cast<VQSoundDevice*>(m_soundDevice));
  m_carCatalog->AddProgramClasses();
  LoadSkins(DataFolder(DATAFOLDER_UPDATE1_SKINS).c_str());
  LoadSkins(DataFolder(DATAFOLDER_UPDATE2_SKINS).c_str());
  LoadSkins(DataFolder(DATAFOLDER_MY_SKINS).c_str());
  if (!LoadTracks()) {
    Error("Cannot scan tracks folder '%s'", DataFolder(DATAFOLDER_TRACKS).c_str());
    return false;
  }
  m_weather->LoadWeatherConfigs(true, DataFile(DATAFILE_WEATHER).c_str());
  m_weather->LoadRainConfigs(true, DataFile(DATAFILE_WEATHER_RAIN).c_str());
  m_weather->LoadThunderConfigs(true, DataFile(DATAFILE_WEATHER_THUNDER).c_str());
  m_weather->ScanTrackWeatherFiles();
  char aiPath[DATAPATH_MAX_PATH];
  const std::string aiBase = DataFile(DATAFILE_CLASS_AI);
  std::snprintf(aiPath, sizeof aiPath, "%.*s_%s.ini", int(aiBase.size() - 4), aiBase.c_str(), m_tracks[0].name);
  if (!LoadAIParameters(true, aiPath, false)) {
    Error("Cannot load AI parameters from file '%s'", aiPath);
    return false;
  }
  const std::string hudPath = DataFile(DATAFILE_HUD);
  if (!LoadHudParameters(hudPath.c_str())) return false;
  Log("Loaded HUD parameters from '%s'", hudPath.c_str());
  LoadPlayers();
  CreateMenus();
  if (m_fontManager) m_countdownFont = m_fontManager->Load("font_54321.tga");
  LoadPrizesScene();
  if (!CreateKeywordDetector()) return false;
  return true;
}

void Program::LoadPrizesScene() {
  if (!m_displayDevice || !m_textureManager) return;
  m_textureManager->SetFolder(DataFolder(m_textureFolder).c_str(), false);
  m_textureManager->PushSampling(VQWRAP_REPEAT, VQWRAP_REPEAT, VQFILTER_LINEAR, VQFILTER_LINEAR);
  const uint32_t group = m_textureManager->m_currentGroup;
  m_textureManager->m_currentGroup = kTextureGroupPrizes;
  m_prizesScene = m_displayDevice->ReadSceneFile("Data\\prizes_track.vqo", 1, 0);
  m_textureManager->m_currentGroup = group;
  m_prizeNode = m_prizesScene ? m_prizesScene->FindByName("1") : nullptr;
  m_textureManager->PopSampling();
  if (auto* sound = static_cast<VQSoundDevice*>(m_soundDevice)) {
    char path[DATAPATH_MAX_PATH];
    std::snprintf(path, sizeof path, "%s", DataFile(DATAFILE_SOUND_FALSE_START).c_str());
    ReplaceTail(path, ".vqw");
    m_falseStartSample = sound->CreateBufferFromFile(path);
  }
}

bool Program::CanvasAlive() const {
  if (!m_canvas || !m_displayDevice) return false;
  for (uint32_t i = 0; i < m_displayDevice->m_canvasCount; ++i)
    if (m_displayDevice->m_canvases[i] == m_canvas) return true;
  return false;
}

// ---- shutdown ---------------------------------------------------------------------------------

bool Program::Shutdown() {
  if (m_keywordDetector) m_keywordDetector->ClearWords();
  delete m_keywordDetector;
  m_keywordDetector = nullptr;
  const std::string configPath = DataFile(DATAFILE_CONFIG);
  if (!SaveConfig(configPath.c_str())) Log("Cannot save config file '%s'", configPath.c_str());
  while (m_playerCount > 0) DestroyPlayer(m_players[0]);
  DestroyMenus();
  FreeMenuCars();
  if (m_mainViewport) m_mainViewport->m_root = nullptr;
  VQNode::Destroy(m_ms.menuScene);
  m_ms.menuScene = nullptr;
  delete m_musicTrack;
  m_musicTrack = nullptr;
  m_weather->m_trackVariants.clear();
  delete m_carCatalog;
  m_carCatalog = nullptr;
  FreeClasses();
  for (uint32_t i = 0; i < m_trackCount; ++i) {
    VQNode::Destroy(m_tracks[i].scene);
    m_tracks[i].scene = nullptr;
  }
  if (m_soundDevice && m_falseStartSample)
    static_cast<VQSoundDevice*>(m_soundDevice)->DeleteBuffer(m_falseStartSample);
  m_falseStartSample = nullptr;
  VQNode::Destroy(m_prizesScene);
  m_prizesScene = nullptr;
  m_prizeNode = nullptr;
  m_aiDrivers.clear();
  m_music = MusicList();
  FreeMaterials();
  if (m_mainViewport) m_mainViewport->SetCamera(nullptr);
  delete m_mainCamera;
  m_mainCamera = nullptr;
  if (auto* sound = static_cast<VQSoundDevice*>(m_soundDevice)) sound->AttachToCanvas(nullptr);
  // A driver that refuses a null canvas must not keep the one about to be destroyed.
  if (auto* keyboard = static_cast<VQKeyboardDevice*>(m_keyboard)) {
    keyboard->AttachToCanvas(nullptr);
    keyboard->m_canvas = nullptr;
  }
  for (VQDevice* joystick : m_joysticks)
    if (joystick) static_cast<VQJoystickDevice*>(joystick)->m_canvas = nullptr;
  if (CanvasAlive()) m_displayDevice->DestroyCanvas(m_canvas, 1);
  m_canvas = nullptr;
  m_mainViewport = nullptr;
  for (VQDevice*& joystick : m_joysticks) {
    if (joystick) joystick->Close();
    joystick = nullptr;
  }
  // After the menus, which draw with these fonts, and before the display device they live on.
  FreeFonts();
  if (m_soundDevice) m_soundDevice->Close();
  if (m_keyboard) m_keyboard->Close();
  if (m_softwareDevice) m_softwareDevice->Close();
  if (m_displayDevice) m_displayDevice->Close();
  m_soundDevice = m_keyboard = nullptr;
  m_softwareDevice = m_displayDevice = nullptr;
  g_VQsystem.Shutdown();
  char date[VQDATE_STRING_SIZE], time[VQTIME_STRING_SIZE];
  VQdate_CurrentString(date, sizeof date, '-', true);
  VQtime_CurrentString(time, sizeof time, ':', false);
  Log("Program end on %s %s", date, time);
  delete g_gameLog;
  g_gameLog = nullptr;
  m_profileNames.clear();
  if (!m_options.headless && !m_config.windowed) VQwin32_ShowCursor();
  return true;
}
