// "Config.ini": the settings chosen before the game starts (players, language, display and
// sound devices, screen mode, network ports), one "key = value" line each. The game reads it
// when the Program is made and again at start-up, and writes it at shutdown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr size_t CONFIG_PLAYER_NAME_SIZE = 16;   // 15 characters and the NUL
constexpr size_t CONFIG_DEVICE_TYPE_SIZE = 32;   // 31 characters and the NUL
constexpr size_t CONFIG_KEY_SIZE = 32;           // longer keys are cut (and then match nothing)
constexpr size_t CONFIG_VALUE_SIZE = 2000;       // longer values are cut
constexpr int CONFIG_LANGUAGE_COUNT = 7;
constexpr uint32_t CONFIG_MAX_DEVICE_INDEX = 100;
constexpr size_t CONFIG_ADDRESS_SIZE = 16;       // "255.255.255.255" and the NUL

enum LanguageId : int {
  LANGUAGE_ENGLISH = 0,
  LANGUAGE_NEDERLANDS = 1,
  LANGUAGE_DEUTSCH = 2,
  LANGUAGE_FRANCAIS = 3,
  LANGUAGE_ITALIANO = 4,
  LANGUAGE_ESPAGNOL = 5,
  LANGUAGE_POLISH = 6,
};

struct GameSettings {
  char player1[CONFIG_PLAYER_NAME_SIZE] = {};
  char player2[CONFIG_PLAYER_NAME_SIZE] = {};
  int32_t language = LANGUAGE_ENGLISH;
  char displayDeviceType[CONFIG_DEVICE_TYPE_SIZE] = "direct3d";
  bool hardwareTnl = false;
  uint32_t displayDeviceIndex = 1;
  uint32_t soundDeviceIndex = 1;
  int32_t width = 640;
  int32_t height = 480;
  int32_t textureQuality = 0;
  int32_t colourDepth = 16;
  uint32_t buffers = 2;
  bool windowed = false;
  bool sound = true;
  int32_t tcpPort = 2000;
  int32_t udpPort = 2001;
  // Network play: the own IPv4 address a hosted game listens on and announces ("" = every
  // interface, announced with the host name's address), and where the discovery beacon goes
  // ("" = the network's broadcast address). Dotted "a.b.c.d" or empty.
  char netAddress[CONFIG_ADDRESS_SIZE] = {};
  char broadcastAddress[CONFIG_ADDRESS_SIZE] = {};
  // The datagram ports the beacon goes to (none: udpport). Games on one machine, where every
  // machine has its own udpport, list the others' ports here.
  static constexpr uint32_t kMaxBroadcastPorts = 7;
  int32_t broadcastPorts[kMaxBroadcastPorts] = {};
  uint32_t broadcastPortCount = 0;
  // Seconds of racing after which the host of a network race ends it and classifies the field
  // as it stands (0: never): a player who never reaches the line does not hold everybody up.
  static constexpr int32_t kDefaultNetRaceLimit = 600;
  int32_t netRaceLimit = kDefaultNetRaceLimit;
};

// Reads "a.b.c.d" (four numbers 0..255, nothing else) into bytes; false otherwise.
bool Config_ParseAddress(const char* text, uint8_t bytes[4]);

// The config word of a language ("english" .. "polish"), its name in config log lines
// ("English" .. "Polish"); "" outside 0..6.
const char* Config_LanguageWord(int language);
const char* Config_LanguageLogName(int language);

// Receives the reader's log lines (error false) and the texts the player must see (error true).
using ConfigReport = std::function<void(bool error, const char* text)>;

// Applies the settings of a Config.ini text to settings; keys that do not occur leave their
// values. Never fails: unknown keys are skipped, values out of range corrected.
void Config_Parse(const char* data, size_t size, GameSettings& settings, const ConfigReport& report);

// The file text as the writer makes it. player1/player2: the names of the players' profiles,
// null for "<none>". date and time are the header's texts.
std::string Config_Format(const GameSettings& settings, const char* player1, const char* player2,
                          const char* date, const char* time);
