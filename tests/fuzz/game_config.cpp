// Fuzz target: the Config.ini reader. Every setting stays within its field and range, and the
// written file reads back to the same settings.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "QVX/shell/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GameSettings s;
  Config_Parse(reinterpret_cast<const char*>(data), size, s, [](bool, const char* line) {
    if (std::strlen(line) > CONFIG_VALUE_SIZE + 128) __builtin_trap();
  });
  if (std::strlen(s.player1) >= CONFIG_PLAYER_NAME_SIZE || std::strlen(s.displayDeviceType) >= CONFIG_DEVICE_TYPE_SIZE)
    __builtin_trap();
  if (s.language < 0 || s.language >= CONFIG_LANGUAGE_COUNT) __builtin_trap();
  if (s.displayDeviceIndex < 1 || s.displayDeviceIndex > 100 || s.buffers < 2 || s.buffers > 3) __builtin_trap();
  if (s.colourDepth != 16 && s.colourDepth != 32) __builtin_trap();
  // Names that hold line ends or start with blanks do not survive a save, so compare numbers.
  const std::string text = Config_Format(s, nullptr, nullptr, "1-1", "00:00");
  GameSettings back;
  Config_Parse(text.data(), text.size(), back, nullptr);
  if (back.language != s.language || back.width != s.width || back.height != s.height ||
      back.buffers != s.buffers || back.colourDepth != s.colourDepth || back.windowed != s.windowed ||
      back.sound != s.sound || back.tcpPort != s.tcpPort || back.udpPort != s.udpPort)
    __builtin_trap();
  return 0;
}
