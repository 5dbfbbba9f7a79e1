// Fuzz target: the content record readers (collision materials, class records, computer drivers,
// weather tables, HUD parameters, music list, skin descriptions). The first byte picks the reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t which = data[0] % 7;
  ++data;
  --size;
  const char* text = reinterpret_cast<const char*>(data);
  switch (which) {
    case 0: {
      uint32_t header[3];
      std::vector<CollisionMaterial> m;
      if (Materials_Parse(data, size, header, m)) {
        if (m.size() > MATERIALS_MAX) __builtin_trap();
        for (const auto& x : m)
          if (std::strlen(x.name) > 16 || std::strlen(x.soundName) > 64 || std::strlen(x.textureName) > 64)
            __builtin_trap();
      }
      break;
    }
    case 1: {
      RacingClass cls;
      if (ClassRecord_Parse(data, size, &cls)) {
        if (cls.m_pairCount > CLASS_MAX_PAIRS) __builtin_trap();
        for (const auto& s : cls.m_sounds)
          if (std::strlen(s) > CLASS_NAME_FIELD) __builtin_trap();
      }
      break;
    }
    case 2: {
      std::vector<AIDriverRecord> ai;
      AI_Parse(data, size, ai);
      if (ai.size() > AI_MAX_RECORDS) __builtin_trap();
      break;
    }
    case 3: {
      WeatherTable t;
      WeatherTable_Parse(data, size, RAIN_RECORD_SIZE, t);
      if (t.records.size() > WEATHER_MAX_RECORDS) __builtin_trap();
      (void)t.Find("drizzle");
      break;
    }
    case 4:
      Hud_Parse(
          text, size, [](const char* n) { return n[0] == 'a' ? 0 : -1; },
          [](const char* n) { return int(std::strlen(n)) - 2; },
          [](int c, int t, float, float) {
            if (c != 0 || t < 0 || t >= 20) __builtin_trap();
          },
          [](const char*) {});
      break;
    case 5: {
      MusicList list;
      Music_Parse(text, size, list);
      if (list.race.size() > MUSIC_MAX_RACE_TITLES) __builtin_trap();
      break;
    }
    case 6: {
      Skin skin;
      (void)Skin_Parse(text, size, &skin);
      std::string cls, name;
      const std::string file(text, size);
      (void)Skin_SplitName(file.c_str(), cls, name);
      break;
    }
  }
  return 0;
}
