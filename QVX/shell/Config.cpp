#include "QVX/shell/Config.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "QVX/shell/ShellText.h"
#include "Zentri/util/VQStrings.h"

namespace {

const char* const kLanguageWords[CONFIG_LANGUAGE_COUNT] = {"english", "nederlands", "deutsch", "francais",
                                                           "italiano", "espagnol", "polish"};
const char* const kLanguageLogNames[CONFIG_LANGUAGE_COUNT] = {"English", "Dutch", "German", "French",
                                                              "Italian", "Spanish", "Polish"};

// The run-time library's string-to-integer rule: sign, digits, stop at the first non-digit; no
// digits give 0. Values beyond 32 bits wrap as the old conversion did on overflow-free input.
int32_t ToInt(const char* text) { return int32_t(std::strtol(text, nullptr, 10)); }

void CopyCut(char* out, size_t size, const char* value) {
  std::strncpy(out, value, size - 1);
  out[size - 1] = 0;
}

void Say(const ConfigReport& report, bool error, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Say(const ConfigReport& report, bool error, const char* format, ...) {
  if (!report) return;
  char line[CONFIG_VALUE_SIZE + 128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  report(error, line);
}

void Apply(const char* key, const char* value, GameSettings& s, const ConfigReport& report) {
  if (std::strcmp(key, "player1") == 0) {
    CopyCut(s.player1, sizeof s.player1, value);
    Say(report, false, "Config file : adding player1 '%s'", s.player1);
  } else if (std::strcmp(key, "player2") == 0) {
    CopyCut(s.player2, sizeof s.player2, value);
    Say(report, false, "Config file : adding player2 '%s'", s.player2);
  } else if (std::strcmp(key, "language") == 0) {
    int language = -1;
    for (int i = 0; i < CONFIG_LANGUAGE_COUNT; ++i)
      if (strcasecmp(value, kLanguageWords[i]) == 0) language = i;
    if (language < 0) {
      Say(report, true, "Unknown Language '%s' ignored", value);
      language = LANGUAGE_ENGLISH;
    }
    s.language = language;
    Say(report, false, "Config file : setting language to %s", kLanguageLogNames[language]);
  } else if (std::strcmp(key, "displaydevicetype") == 0) {
    CopyCut(s.displayDeviceType, sizeof s.displayDeviceType, value);
    Say(report, false, "Config file : setting display device to '%s'", s.displayDeviceType);
  } else if (std::strcmp(key, "hardwaretnl") == 0) {
    s.hardwareTnl = ToInt(value) != 0;
    if (s.hardwareTnl) Say(report, false, "Config file : HW TnL on");
  } else if (std::strcmp(key, "displaydeviceidx") == 0 || std::strcmp(key, "sounddeviceidx") == 0) {
    uint32_t index = uint32_t(ToInt(value));
    if (index == 0 || index > CONFIG_MAX_DEVICE_INDEX) index = 1;
    if (key[0] == 'd') {
      s.displayDeviceIndex = index;
      Say(report, false, "Config file : display device index = %d", int(index));
    } else {
      s.soundDeviceIndex = index;
      Say(report, false, "Config file : audio device index = %d", int(index));
    }
  } else if (std::strcmp(key, "horizontalresolution") == 0) {
    s.width = ToInt(value);
    Say(report, false, "Config file : horizontal resolution = %d", s.width);
  } else if (std::strcmp(key, "verticalresolution") == 0) {
    s.height = ToInt(value);
    Say(report, false, "Config file : vertical resolution = %d", s.height);
  } else if (std::strcmp(key, "texturequality") == 0) {
    s.textureQuality = ToInt(value);
    Say(report, false, "Config file : texture quality = %d", s.textureQuality);
  } else if (std::strcmp(key, "colordepth") == 0) {
    const int32_t depth = ToInt(value);
    if (depth == 16 || depth == 32) s.colourDepth = depth;
    Say(report, false, "Config file : preferred color depth = %d", s.colourDepth);
  } else if (std::strcmp(key, "buffers") == 0) {
    uint32_t buffers = uint32_t(ToInt(value));
    if (buffers < 2) buffers = 2;
    if (buffers > 3) buffers = 3;
    s.buffers = buffers;
    Say(report, false, "Config file : number of buffers (fullscreen only) = %d", int(buffers));
  } else if (std::strcmp(key, "windowed") == 0) {
    s.windowed = ToInt(value) != 0;
    Say(report, false, "Config file : running %s", s.windowed ? "in a window" : "fullscreen");
  } else if (std::strcmp(key, "sound") == 0) {
    s.sound = ToInt(value) != 0;
    Say(report, false, "Config file : sound %s", s.sound ? "enabled" : "disabled");
  } else if (std::strcmp(key, "tcpport") == 0 || std::strcmp(key, "udpport") == 0) {
    // A port outside 1..65535 would fail every connection: the previous value stays.
    const int32_t port = ToInt(value);
    int32_t& field = key[0] == 't' ? s.tcpPort : s.udpPort;
    if (port >= 1 && port <= 65535)
      field = port;
    else
      Say(report, false, "Config file : %s %d out of range, keeping %d", key, int(port), int(field));
  } else if (std::strcmp(key, "netracelimit") == 0) {
    const int32_t seconds = ToInt(value);
    if (seconds >= 0 && seconds <= 86400)
      s.netRaceLimit = seconds;
    else
      Say(report, false, "Config file : netracelimit %d out of range, keeping %d", int(seconds),
          int(s.netRaceLimit));
  } else if (std::strcmp(key, "broadcastports") == 0) {
    // Port numbers separated by blanks or commas; one outside 1..65535 or beyond the list's
    // room is left out.
    s.broadcastPortCount = 0;
    const char* p = value;
    while (*p != 0) {
      while (*p == ' ' || *p == ',' || *p == '\t') ++p;
      if (*p == 0) break;
      char* end = nullptr;
      const long port = std::strtol(p, &end, 10);
      if (end == p) {
        Say(report, false, "Config file : broadcastports '%s' is no list of ports", value);
        break;
      }
      p = end;
      if (port < 1 || port > 65535 || s.broadcastPortCount >= GameSettings::kMaxBroadcastPorts)
        Say(report, false, "Config file : broadcast port %ld left out", port);
      else
        s.broadcastPorts[s.broadcastPortCount++] = int32_t(port);
    }
  } else if (std::strcmp(key, "netaddress") == 0 || std::strcmp(key, "broadcastaddress") == 0) {
    char* field = key[0] == 'n' ? s.netAddress : s.broadcastAddress;
    uint8_t bytes[4];
    if (value[0] == 0 || Config_ParseAddress(value, bytes)) {
      CopyCut(field, CONFIG_ADDRESS_SIZE, value);
    } else {
      field[0] = 0;
      Say(report, false, "Config file : %s '%s' is no IPv4 address, ignored", key, value);
    }
  }
}

}  // namespace

bool Config_ParseAddress(const char* text, uint8_t bytes[4]) {
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    if (*p < '0' || *p > '9') return false;
    int value = 0, digits = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      if (++digits > 3) return false;
    }
    if (value > 255) return false;
    bytes[i] = uint8_t(value);
    if (i < 3 && *p++ != '.') return false;
  }
  return *p == 0;
}

const char* Config_LanguageWord(int language) {
  return (language >= 0 && language < CONFIG_LANGUAGE_COUNT) ? kLanguageWords[language] : "";
}

const char* Config_LanguageLogName(int language) {
  return (language >= 0 && language < CONFIG_LANGUAGE_COUNT) ? kLanguageLogNames[language] : "";
}

void Config_Parse(const char* data, size_t size, GameSettings& settings, const ConfigReport& report) {
  ShellTextReader reader(data, size);
  char key[CONFIG_KEY_SIZE];
  char word[CONFIG_VALUE_SIZE];
  char value[CONFIG_VALUE_SIZE];
  while (reader.ReadWord(key, sizeof key)) {
    if (ShellText_IsComment(key)) {
      reader.SkipLine();
      continue;
    }
    reader.ReadWordAtEnd(word, sizeof word);  // the separator, not looked at
    reader.ReadValue(value, sizeof value);
    VQstring_ToLower(key);
    Apply(key, value, settings, report);
  }
}

std::string Config_Format(const GameSettings& s, const char* player1, const char* player2, const char* date,
                          const char* time) {
  std::string out;
  char line[CONFIG_VALUE_SIZE + 64];
  auto add = [&](const char* format, auto... args) {
    std::snprintf(line, sizeof line, format, args...);
    out += line;
  };
  add("// QVX config file created on %s %s\n\n", date, time);
  add("%s = %s\n", "player1", player1 ? player1 : "<none>");
  add("%s = %s\n", "player2", player2 ? player2 : "<none>");
  add("%s = %s\n", "language", Config_LanguageWord(s.language));
  add("%s = %s\n", "displaydevicetype", s.displayDeviceType);
  add("%s = %d\n", "displaydeviceidx", int(s.displayDeviceIndex));
  add("%s = %d\n", "sounddeviceidx", int(s.soundDeviceIndex));
  add("%s = %d\n", "hardwaretnl", s.hardwareTnl ? 1 : 0);
  add("%s = %d\n", "horizontalresolution", s.width);
  add("%s = %d\n", "verticalresolution", s.height);
  add("%s = %d\n", "colordepth", s.colourDepth);
  add("%s = %d\n", "texturequality", s.textureQuality);
  add("%s = %d\n", "buffers", int(s.buffers));
  add("%s = %d\n", "windowed", s.windowed ? 1 : 0);
  add("%s = %d\n", "sound", s.sound ? 1 : 0);
  add("%s = %d\n", "tcpport", s.tcpPort);
  add("%s = %d\n", "udpport", s.udpPort);
  // Written only when set: an empty value would leave a key without its value.
  if (s.netAddress[0]) add("%s = %s\n", "netaddress", s.netAddress);
  if (s.broadcastAddress[0]) add("%s = %s\n", "broadcastaddress", s.broadcastAddress);
  if (s.broadcastPortCount > 0) {
    std::string ports;
    for (uint32_t i = 0; i < s.broadcastPortCount && i < GameSettings::kMaxBroadcastPorts; ++i)
      ports += (i ? " " : "") + std::to_string(s.broadcastPorts[i]);
    add("%s = %s\n", "broadcastports", ports.c_str());
  }
  if (s.netRaceLimit != GameSettings::kDefaultNetRaceLimit)
    add("%s = %d\n", "netracelimit", int(s.netRaceLimit));
  add("%s = %.3f\n", "ball_radius", 0.0);
  add("%s = %.3f\n", "ball_mass", 0.0);
  return out;
}
