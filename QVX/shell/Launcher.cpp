#include "QVX/shell/Launcher.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QVX/shell/ShellText.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"

Launcher* g_launcher = nullptr;

namespace {

const char* const kLanguageWords[] = {"english",  "nederlands", "deutsch", "francais",
                                      "italiano", "espagnol",   "polish"};
constexpr int kLanguageCount = 7;

// The sizes the game runs at.
const LauncherMode kGameModes[] = {{640, 480}, {800, 600}, {1024, 768}};

// Message numbers of the labels.
struct LabelText {
  int control;
  int message;
};
const LabelText kLabels[] = {
    {host::LAUNCHER_TITLE, 50},
    {host::CONFIG_TITLE, 51},
    {host::LAUNCHER_PLAY, 56},
    {host::LAUNCHER_CONFIGURE, 57},
    {host::LAUNCHER_README, 58},
    {host::LAUNCHER_QUIT, 60},
    {host::CONFIG_LANGUAGE_GROUP, 61},
    {host::CONFIG_LANGUAGE_LABEL, 62},
    {host::CONFIG_VIDEO_GROUP, 63},
    {host::CONFIG_VIDEO_LABEL, 64},
    {host::CONFIG_RESOLUTION_LABEL, 65},
    {host::CONFIG_TNL, 66},
    {host::CONFIG_TRIPLE, 67},
    {host::CONFIG_TEXTURE_GROUP, 68},
    {host::CONFIG_TEXTURE_NORMAL, 69},
    {host::CONFIG_TEXTURE_HIGH, 70},
    {host::CONFIG_AUDIO_GROUP, 71},
    {host::CONFIG_AUDIO_LABEL, 72},
    {host::CONFIG_CANCEL, 73},
    {host::CONFIG_DEFAULTS, 74},
    {host::CONFIG_OK, 75},
};

constexpr const char* kVideoCardTitle = "Video Card Problem";
constexpr const char* kVideoCardText =
    "This program requires Microsoft DirectX version 7 or better,\n which is not currently "
    "installed. Please use "
    "the 'Install DirectX 7'\n button in the launcher window.";
constexpr const char* kVersionTitle = "DirectX version problem";
constexpr const char* kVersionText = "\t";
constexpr const char* kBrowserTitle = "Cannot locate browser";
constexpr const char* kReadme = "Readme.txt";

int ToInt(const char* text) { return int(std::strtol(text, nullptr, 10)); }

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Cut(const char* text, size_t size) { return std::string(text).substr(0, size - 1); }

}  // namespace

Launcher::Launcher(std::string configPath, std::string languageFolder, LauncherHooks hooks)
    : m_configPath(std::move(configPath)),
      m_languageFolder(std::move(languageFolder)),
      m_hooks(std::move(hooks)) {}

int Launcher::LanguageIndex(const std::string& name) {
  for (int i = 0; i < kLanguageCount; ++i)
    if (strcasecmp(name.c_str(), kLanguageWords[i]) == 0) return i;
  return LAUNCHER_DEFAULT_LANGUAGE;
}

const char* Launcher::LanguageWord(int language) {
  return language >= 0 && language < kLanguageCount ? kLanguageWords[language]
                                                    : kLanguageWords[LAUNCHER_DEFAULT_LANGUAGE];
}

// ---- what the machine offers ------------------------------------------------------------------

void Launcher::ScanLanguages() {
  m_languageFiles.clear();
  VQFolderScan scan;
  if (!VQfile_FindFirst(&scan, m_languageFolder.c_str())) return;
  VQFolderEntry entry;
  while (VQfile_FindNext(&scan, &entry)) {
    std::string name = entry.m_name;
    if (entry.m_isFolder || name == "." || name == ".." || name.size() <= 4 ||
        strcasecmp(name.c_str() + name.size() - 4, ".bin") != 0)
      continue;
    if (m_languageFiles.size() >= LAUNCHER_MAX_LANGUAGE_FILES) break;
    name.resize(name.size() - 4);
    name = Cut(name.c_str(), LAUNCHER_LANGUAGE_NAME_SIZE);
    name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
    m_languageFiles.push_back(name);
  }
  VQfile_FindClose(&scan);
  // The folder's own order differs between file systems; the list is shown sorted.
  std::sort(m_languageFiles.begin(), m_languageFiles.end());
}

void Launcher::SetEnvironment(const LauncherEnvironment& environment) {
  m_videoPresent = environment.videoPresent;
  ScanLanguages();
  m_adapters.clear();
  if (m_videoPresent) {
    int number = 0;
    for (const host::DisplayAdapterInfo& display : environment.displays) {
      const int enumNumber = number++;
      if (m_adapters.size() >= LAUNCHER_MAX_ADAPTERS) continue;
      if (!display.hardware && !display.hardware_tnl) continue;
      LauncherAdapter adapter;
      adapter.description = Cut(display.name.c_str(), LAUNCHER_DESCRIPTION_SIZE);
      adapter.enumNumber = enumNumber;
      adapter.hasTnl = display.hardware_tnl;
      adapter.hasHardware = display.hardware;
      // The game runs at three sizes: those the display lists, whatever their colour depth.
      for (const LauncherMode& wanted : kGameModes)
        for (const host::DisplayModeInfo& m : display.modes)
          if (m.width == wanted.width && m.height == wanted.height) {
            adapter.modes.push_back(wanted);
            break;
          }
      // A display that lists none of them still shows them in a window when its desktop is
      // large enough.
      if (adapter.modes.empty())
        for (const LauncherMode& wanted : kGameModes)
          if (display.desktop.width >= wanted.width && display.desktop.height >= wanted.height)
            adapter.modes.push_back(wanted);
      if (adapter.modes.size() > LAUNCHER_MAX_MODES) adapter.modes.resize(LAUNCHER_MAX_MODES);
      if (adapter.modes.empty()) continue;
      m_adapters.push_back(std::move(adapter));
    }
  }
  m_soundDevices.clear();
  for (const std::string& device : environment.soundDevices) {
    if (m_soundDevices.size() >= LAUNCHER_MAX_SOUND_DEVICES) break;
    m_soundDevices.push_back(Cut(device.c_str(), LAUNCHER_DESCRIPTION_SIZE));
  }
}

// ---- settings and Config.ini -----------------------------------------------------------------

void Launcher::SetDefaults() {
  const int language = m_settings.language;
  const std::string p1 = m_settings.player1, p2 = m_settings.player2;
  m_settings = LauncherSettings();
  m_settings.language = language;
  m_settings.player1 = p1;
  m_settings.player2 = p2;
  // With devices, the first one; without, no sound.
  m_settings.soundDevice = m_soundDevices.empty() ? 0 : 1;
}

bool Launcher::ReadConfig() {
  std::string text;
  if (!ShellText_ReadFile(m_configPath.c_str(), text)) return false;
  m_settings.soundDevice = 0;
  ShellTextReader reader(text.data(), text.size());
  char key[64];
  char separator[64];
  // Values are read to the end of their line, cut at this bound.
  char value[LAUNCHER_DESCRIPTION_SIZE];
  while (reader.ReadWord(key, sizeof key)) {
    if (ShellText_IsComment(key)) {
      reader.SkipLine();
      continue;
    }
    reader.ReadWordAtEnd(separator, sizeof separator);
    reader.ReadValue(value, sizeof value);
    const std::string k = Lower(key);
    LauncherSettings& s = m_settings;
    if (k == "player1") {
      s.player1 = Cut(value, LAUNCHER_PLAYER_SIZE);
    } else if (k == "player2") {
      s.player2 = Cut(value, LAUNCHER_PLAYER_SIZE);
    } else if (k == "language") {
      s.language = LanguageIndex(value);
    } else if (k == "hardwaretnl") {
      s.hardwareTnl = ToInt(value) != 0;
    } else if (k == "displaydeviceidx") {
      // The file counts displays from 1; the launcher keeps an index in its list.
      const int index = ToInt(value) - 1;
      s.adapter = index < 0 || index >= int(m_adapters.size()) ? 0 : index;
    } else if (k == "sounddeviceidx") {
      s.soundDevice = ToInt(value);
    } else if (k == "horizontalresolution") {
      s.width = ToInt(value);
    } else if (k == "verticalresolution") {
      s.height = ToInt(value);
    } else if (k == "texturequality") {
      s.textureQuality = ToInt(value);
    } else if (k == "buffers") {
      s.buffers = std::clamp(ToInt(value), 2, 3);
    } else if (k == "sound") {
      if (ToInt(value) == 0) s.soundDevice = 0;
    } else if (k == "tcpport") {
      s.tcpPort = ToInt(value);
    } else if (k == "udpport") {
      s.udpPort = ToInt(value);
    }
  }
  m_readSettings = m_settings;
  m_configRead = true;
  return true;
}

std::vector<std::pair<std::string, std::string>> Launcher::Values() const {
  const LauncherSettings& s = m_settings;
  const int display = s.adapter >= 0 && s.adapter < int(m_adapters.size())
                          ? m_adapters[size_t(s.adapter)].enumNumber + 1
                          : 1;
  const bool sound = !m_soundDevices.empty() && s.soundDevice != 0;
  return {{"player1", s.player1},
          {"player2", s.player2},
          {"language", LanguageWord(s.language)},
          {"displaydevicetype", "direct3d"},
          {"displaydeviceidx", std::to_string(display)},
          {"sounddeviceidx", std::to_string(s.soundDevice)},
          {"hardwaretnl", s.hardwareTnl ? "1" : "0"},
          {"horizontalresolution", std::to_string(s.width)},
          {"verticalresolution", std::to_string(s.height)},
          {"colordepth", "16"},
          {"texturequality", std::to_string(s.textureQuality)},
          {"buffers", std::to_string(s.buffers)},
          {"windowed", "0"},
          {"sound", sound ? "1" : "0"},
          {"tcpport", std::to_string(s.tcpPort)},
          {"udpport", std::to_string(s.udpPort)}};
}

bool Launcher::WriteConfig() {
  const LauncherSettings& s = m_settings;
  const LauncherSettings& r = m_readSettings;
  // A key is rewritten only when the launcher changed its value; every other line stays.
  auto changed = [&](const std::string& key) {
    if (!m_configRead) return true;
    if (key == "language") return s.language != r.language;
    if (key == "displaydeviceidx") return s.adapter != r.adapter;
    if (key == "sounddeviceidx" || key == "sound") return s.soundDevice != r.soundDevice;
    if (key == "hardwaretnl") return s.hardwareTnl != r.hardwareTnl;
    if (key == "horizontalresolution") return s.width != r.width;
    if (key == "verticalresolution") return s.height != r.height;
    if (key == "texturequality") return s.textureQuality != r.textureQuality;
    if (key == "buffers") return s.buffers != r.buffers;
    return false;
  };
  const auto values = Values();
  std::vector<bool> seen(values.size(), false);
  std::string old;
  if (!ShellText_ReadFile(m_configPath.c_str(), old)) old.clear();
  std::string out;
  size_t pos = 0;
  while (pos < old.size()) {
    size_t end = old.find('\n', pos);
    const bool lastLine = end == std::string::npos;
    if (lastLine) end = old.size();
    const std::string line = old.substr(pos, end - pos);
    pos = lastLine ? end : end + 1;
    size_t a = line.find_first_not_of(" \t\r");
    size_t b = a == std::string::npos ? a : line.find_first_of(" \t\r=", a);
    const std::string key =
        a == std::string::npos ? "" : Lower(line.substr(a, b == std::string::npos ? b : b - a));
    bool replaced = false;
    if (!key.empty() && key.compare(0, 2, "//") != 0) {
      for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].first != key) continue;
        // Every line of a changed key is rewritten: readers take the last one.
        if (changed(key)) {
          out += key + " = " + values[i].second + "\n";
          replaced = true;
        }
        seen[i] = true;
        break;
      }
    }
    if (!replaced) out += line + "\n";
  }
  for (size_t i = 0; i < values.size(); ++i)
    if (!seen[i]) out += values[i].first + " = " + values[i].second + "\n";
  return vqfileio::WriteWholeFile(m_configPath.c_str(), out.data(), out.size());
}

// ---- the dialogs -----------------------------------------------------------------------------

void Launcher::Refill() {
  LauncherSettings& s = m_settings;
  if (s.adapter < 0 || s.adapter >= int(m_adapters.size())) s.adapter = 0;
  if (m_adapters.empty()) return;
  const LauncherAdapter& a = m_adapters[size_t(s.adapter)];
  auto find = [&](int w, int h) {
    for (size_t i = 0; i < a.modes.size(); ++i)
      if (a.modes[i].width == w && a.modes[i].height == h) return int(i);
    return -1;
  };
  int mode = find(s.width, s.height);
  if (mode < 0) mode = find(640, 480);
  if (mode < 0) mode = 0;
  s.width = a.modes[size_t(mode)].width;
  s.height = a.modes[size_t(mode)].height;
  if (!a.hasTnl) s.hardwareTnl = false;
  s.textureQuality = 0;
  if (s.soundDevice > int(m_soundDevices.size())) s.soundDevice = int(m_soundDevices.size());
}

host::LauncherConfigView Launcher::ConfigView() {
  Refill();
  const LauncherSettings& s = m_settings;
  host::LauncherConfigView v;
  v.languages = m_languageFiles;
  v.language = m_languageFiles.empty() ? -1 : 0;
  for (size_t i = 0; i < m_languageFiles.size(); ++i)
    if (Lower(m_languageFiles[i]) == LanguageWord(s.language)) v.language = int(i);
  for (const LauncherAdapter& a : m_adapters) v.adapters.push_back(a.description);
  v.adapter = m_adapters.empty() ? -1 : s.adapter;
  if (!m_adapters.empty()) {
    const LauncherAdapter& a = m_adapters[size_t(s.adapter)];
    for (size_t i = 0; i < a.modes.size(); ++i) {
      char text[32];
      std::snprintf(text, sizeof text, "%d x %d", a.modes[i].width, a.modes[i].height);
      v.resolutions.push_back(text);
      if (a.modes[i].width == s.width && a.modes[i].height == s.height) v.resolution = int(i);
    }
    v.tnl_enabled = a.hasTnl == a.hasHardware;
  }
  v.tnl = s.hardwareTnl;
  v.triple = s.buffers == 3;
  v.texture_normal = true;
  v.audio.push_back("No Sound");
  for (const std::string& d : m_soundDevices) v.audio.push_back(d);
  v.audio_index = std::max(0, s.soundDevice);
  v.cancel_enabled = m_cancelEnabled;
  return v;
}

std::string Launcher::Label(int control) {
  if (control == host::LAUNCHER_WEB) return LAUNCHER_WEB_ADDRESS;
  for (const LabelText& l : kLabels) {
    if (l.control != control) continue;
    const char* text = m_hooks.text ? m_hooks.text(l.message) : nullptr;
    return text ? text : "";
  }
  return "";
}

host::LauncherReply Launcher::VideoProblem(bool clearPlay) {
  host::LauncherReply reply;
  if (!m_videoPresent) {
    reply.box_title = kVideoCardTitle;
    reply.box_text = kVideoCardText;
  } else {
    reply.box_title = kVersionTitle;
    reply.box_text = kVersionText;
  }
  if (clearPlay) m_play = false;
  return reply;
}

void Launcher::ChangeLanguage(int language) {
  m_settings.language = language;
  if (m_hooks.setLanguage) m_hooks.setLanguage(language);
}

host::LauncherReply Launcher::Command(int control, int value) {
  host::LauncherReply reply;
  LauncherSettings& s = m_settings;
  switch (control) {
    case host::LAUNCHER_PLAY:
      if (!m_videoPresent || m_adapters.empty()) return VideoProblem(true);
      // A Play! after a refused one plays all the same.
      m_play = true;
      reply.end = true;
      return reply;
    case host::LAUNCHER_CONFIGURE:
      if (!m_videoPresent || m_adapters.empty()) return VideoProblem(false);
      ReadConfig();
      m_savedLanguage = s.language;
      m_cancelEnabled = true;
      m_configShown = true;
      reply.show_config = true;
      return reply;
    case host::LAUNCHER_README:
      if (!m_hooks.open || !m_hooks.open(kReadme)) {
        reply.box_title = kReadme;
        reply.box_text = "Cannot open Readme.txt.";
      }
      return reply;
    case host::LAUNCHER_WEB:
      if (!m_hooks.open || !m_hooks.open(LAUNCHER_WEB_ADDRESS)) {
        reply.box_title = kBrowserTitle;
        reply.box_text = std::string(
                             "Quorvex cannot locate your Internet browser. Please start it "
                             "yourself and go to ") +
                         LAUNCHER_WEB_ADDRESS;
      }
      return reply;
    case host::LAUNCHER_QUIT:
    case host::LAUNCHER_CLOSE:
      // Closing the launcher window is leaving it: the game does not start.
      m_play = false;
      reply.end = true;
      return reply;
    case host::CONFIG_LANGUAGE_LIST:
      if (value >= 0 && value < int(m_languageFiles.size()))
        ChangeLanguage(LanguageIndex(m_languageFiles[size_t(value)]));
      reply.relabel = reply.refill = true;
      return reply;
    case host::CONFIG_ADAPTER_LIST:
      if (value >= 0 && value < int(m_adapters.size())) s.adapter = value;
      reply.refill = true;
      return reply;
    case host::CONFIG_RESOLUTION_LIST:
      if (!m_adapters.empty()) {
        const LauncherAdapter& a =
            m_adapters[size_t(std::clamp(s.adapter, 0, int(m_adapters.size()) - 1))];
        if (value >= 0 && value < int(a.modes.size())) {
          s.width = a.modes[size_t(value)].width;
          s.height = a.modes[size_t(value)].height;
        }
      }
      reply.refill = true;
      return reply;
    case host::CONFIG_TNL:
      s.hardwareTnl = value != 0;
      reply.refill = true;
      return reply;
    case host::CONFIG_TRIPLE:
      s.buffers = value ? 3 : 2;
      reply.refill = true;
      return reply;
    case host::CONFIG_TEXTURE_NORMAL:
      s.textureQuality = 0;
      reply.refill = true;
      return reply;
    case host::CONFIG_AUDIO_LIST:
      if (value >= 0 && value <= int(m_soundDevices.size())) s.soundDevice = value;
      reply.refill = true;
      return reply;
    case host::CONFIG_OK:
      Refill();
      if (m_soundDevices.empty()) s.soundDevice = -1;
      WriteConfig();  // a file that cannot be written is not reported; the window closes
      m_cancelEnabled = true;
      m_configShown = false;
      reply.hide_config = true;
      return reply;
    case host::CONFIG_CLOSE:
      if (!m_cancelEnabled) return reply;  // the first configuration is confirmed with OK
      [[fallthrough]];
    case host::CONFIG_CANCEL:
      ChangeLanguage(m_savedLanguage);
      m_configShown = false;
      reply.relabel = true;
      reply.hide_config = true;
      return reply;
    case host::CONFIG_DEFAULTS: {
      s.language = LAUNCHER_DEFAULT_LANGUAGE;
      s.buffers = 2;
      s.width = 640;
      s.height = 480;
      s.textureQuality = 0;
      s.adapter = 0;
      s.hardwareTnl = true;
      s.soundDevice = m_soundDevices.empty() ? 0 : 1;
      ChangeLanguage(LAUNCHER_DEFAULT_LANGUAGE);
      reply.relabel = reply.refill = true;
      return reply;
    }
    default: return reply;
  }
}

host::LauncherRunOptions Launcher::Start() {
  SetDefaults();
  m_configRead = false;
  m_firstRun = !ReadConfig();
  if (!m_firstRun) m_savedLanguage = m_settings.language;
  Refill();
  host::LauncherRunOptions options;
  if (m_firstRun) {
    if (!m_videoPresent || m_adapters.empty()) {
      const host::LauncherReply box = VideoProblem(false);
      options.first_box_title = box.box_title;
      options.first_box_text = box.box_text;
    } else {
      m_cancelEnabled = false;
      m_configShown = true;
      options.show_config_first = true;
    }
  }
  return options;
}

bool Launcher::Run() {
  if (!host::launcher_display_present()) return true;
  LauncherEnvironment environment;
  environment.videoPresent = host::launcher_video_available();
  environment.displays = host::launcher_list_displays();
  environment.soundDevices = host::launcher_list_sound_devices();
  SetEnvironment(environment);
  const host::LauncherRunOptions options = Start();
  if (!host::launcher_run(*this, options)) return true;
  return m_play;
}

bool RunLauncher(const LauncherHooks& hooks) {
  auto* launcher = new (std::nothrow) Launcher("Config.ini", "Data\\Languages", hooks);
  if (!launcher) return true;
  g_launcher = launcher;
  const bool play = launcher->Run();
  delete launcher;
  g_launcher = nullptr;
  return play;
}
