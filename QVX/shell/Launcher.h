// The launcher: before the game window opens the player chooses Play!, Configure, the readme,
// the web page or Quit, and in the configuration window the language, the display, the
// resolution, hardware transform and lighting, triple buffering and the sound device. This is
// the launcher's model, free of any toolkit: it reads and writes "Config.ini", builds the lists
// from what the host layer found, and answers every command of the dialogs; the FLTK view
// (host/launcher) only shows what it says. Without a display the launcher is not shown and the
// game plays with the configuration as it stands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/launcher/launcher.h"

constexpr uint32_t LAUNCHER_MAX_LANGUAGE_FILES = 20;
constexpr size_t LAUNCHER_LANGUAGE_NAME_SIZE = 64;
constexpr uint32_t LAUNCHER_MAX_ADAPTERS = 10;
constexpr uint32_t LAUNCHER_MAX_MODES = 200;
constexpr uint32_t LAUNCHER_MAX_SOUND_DEVICES = 10;
constexpr size_t LAUNCHER_DESCRIPTION_SIZE = 256;
constexpr size_t LAUNCHER_PLAYER_SIZE = 64;
constexpr int LAUNCHER_DEFAULT_LANGUAGE = 2;
constexpr const char* LAUNCHER_WEB_ADDRESS = "https://quorvex.example.org/";

struct LauncherMode {
  int width = 0;
  int height = 0;
};

struct LauncherAdapter {
  std::string description;  // at most 255 characters
  int enumNumber = 0;       // counts every display the host reported, kept or not, from 0
  bool hasTnl = false;
  bool hasHardware = false;
  std::vector<LauncherMode> modes;  // at most 200
};

// What the host found: filled by Launcher::Run through host/launcher, by tests directly.
struct LauncherEnvironment {
  bool videoPresent = false;  // the display layer starts
  std::vector<host::DisplayAdapterInfo> displays;
  std::vector<std::string> soundDevices;
};

// The launcher's settings, as "Config.ini" holds them.
struct LauncherSettings {
  int buffers = 2;
  int width = 640;
  int height = 480;
  int textureQuality = 0;
  int adapter = 0;      // index in the adapter list
  int soundDevice = 1;  // 0 no sound, n device n (1-based), -1 when no device exists
  std::string player1 = "<none>";
  std::string player2 = "<none>";
  bool hardwareTnl = true;
  int language = LAUNCHER_DEFAULT_LANGUAGE;
  int tcpPort = 2000;
  int udpPort = 2001;
  bool operator==(const LauncherSettings&) const = default;
};

// How the launcher reaches the game: the label texts of the current language (message number
// to text; null or "" keeps the built-in label) and the change of the game's language (sets
// it and loads its message strings again).
struct LauncherHooks {
  std::function<const char*(int id)> text;
  std::function<void(int language)> setLanguage;
  std::function<bool(const char* target)> open;  // opens a file or web address on the desktop
};

class Launcher : public host::LauncherController {
 public:
  Launcher(std::string configPath, std::string languageFolder, LauncherHooks hooks);

  // The whole launcher run: false when the player leaves without playing. Without a display
  // (or when the dialogs cannot open) nothing is shown and the result is true.
  bool Run();

  // Takes the host's findings: the language files of the language folder, the adapters that
  // can run the game with their modes, and the sound devices.
  void SetEnvironment(const LauncherEnvironment& environment);
  // The defaults, then "Config.ini" (a first run when it cannot be read). Returns what the
  // dialogs must do first: a message box, or the configuration window with Cancel disabled.
  host::LauncherRunOptions Start();
  void SetDefaults();
  bool ReadConfig();
  // Writes the launcher's keys into "Config.ini". Lines of the file that the launcher does not
  // own (comments, the display device type, colour depth, windowed, other keys) and keys whose
  // values the player did not change are kept as they stand; missing keys are appended. The
  // file is replaced only once the new text is complete.
  bool WriteConfig();

  // host::LauncherController
  std::string Label(int control) override;
  host::LauncherConfigView ConfigView() override;
  host::LauncherReply Command(int control, int value) override;

  bool Play() const { return m_play; }
  bool FirstRun() const { return m_firstRun; }
  bool VideoPresent() const { return m_videoPresent; }
  const std::vector<std::string>& LanguageFiles() const { return m_languageFiles; }
  const std::vector<LauncherAdapter>& Adapters() const { return m_adapters; }
  const std::vector<std::string>& SoundDevices() const { return m_soundDevices; }
  LauncherSettings& Settings() { return m_settings; }
  // The language index (0..6) of a language name, compared without regard to case; the
  // default language for any other name.
  static int LanguageIndex(const std::string& name);
  static const char* LanguageWord(int language);

 private:
  void ScanLanguages();
  void Refill();  // brings the selections into range as the configuration window shows them
  host::LauncherReply VideoProblem(bool clearPlay);
  void ChangeLanguage(int language);
  // The settings as a "key = value" text map of the launcher's keys.
  std::vector<std::pair<std::string, std::string>> Values() const;

  std::string m_configPath;
  std::string m_languageFolder;
  LauncherHooks m_hooks;
  bool m_firstRun = false;
  bool m_play = true;
  bool m_videoPresent = false;
  std::vector<std::string> m_languageFiles;
  std::vector<LauncherAdapter> m_adapters;
  std::vector<std::string> m_soundDevices;
  LauncherSettings m_settings;
  LauncherSettings m_readSettings;  // as read from the file (what WriteConfig compares against)
  bool m_configRead = false;
  int m_savedLanguage = LAUNCHER_DEFAULT_LANGUAGE;
  bool m_configShown = false;
  bool m_cancelEnabled = true;
};

// The launcher while RunLauncher runs it, else null.
extern Launcher* g_launcher;

// Creates the launcher on "Config.ini" in the working folder, runs it, deletes it; true when
// the player chose to play.
bool RunLauncher(const LauncherHooks& hooks);
