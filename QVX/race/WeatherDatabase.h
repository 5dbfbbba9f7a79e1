// The weather tables of the game: weather, rain and thunder records read at start-up, and per
// track the weather variants it has a weather file for. Records keep their file layout; every
// record begins with its 32-byte name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t WEATHER_RECORD_SIZE = 2424;
constexpr size_t RAIN_RECORD_SIZE = 104;
constexpr size_t THUNDER_RECORD_SIZE = 212;
constexpr size_t TRACK_WEATHER_RECORD_SIZE = 1344;
constexpr uint32_t WEATHER_MAX_RECORDS = 64;  // each of the three tables
constexpr size_t WEATHER_NAME_FIELD = 32;
constexpr uint32_t TRACK_WEATHER_SLOTS = 6;         // variants 0..4 and the last entry, "random"
constexpr size_t TRACK_WEATHER_VARIANT_OFFSET = 4;  // u32 slot of a track weather record
constexpr const char* TRACK_WEATHER_RANDOM = "random";

struct WeatherTable {
  size_t recordSize = 0;
  std::vector<std::vector<uint8_t>> records;  // plain bytes, at most WEATHER_MAX_RECORDS
  // The first record whose name equals name exactly, else null.
  const uint8_t* Find(const char* name) const;
};

// Unscrambles a stored table and cuts it into records (a trailing partial record and records
// beyond the room are dropped).
void WeatherTable_Parse(const uint8_t* data, size_t size, size_t recordSize, WeatherTable& out);

struct TrackWeatherVariant {
  std::string name;     // empty: no variant in this slot
  std::string display;  // the message string of that key
};

class WeatherDatabase {
 public:
  // Each: count to 0; enabled false: true at once; path's last four characters -> ".bin"; false
  // when the file cannot be read.
  bool LoadWeatherConfigs(bool enabled, const char* path);
  bool LoadRainConfigs(bool enabled, const char* path);
  bool LoadThunderConfigs(bool enabled, const char* path);
  // For every track of the Program: the variants found as "Data\Tracks\<t>_weather_*" (names
  // ending in 'i' skipped), each in the slot its record names; the last slot is "random".
  bool ScanTrackWeatherFiles();

  WeatherTable m_weather{WEATHER_RECORD_SIZE, {}};
  WeatherTable m_rain{RAIN_RECORD_SIZE, {}};
  WeatherTable m_thunder{THUNDER_RECORD_SIZE, {}};
  std::vector<std::vector<TrackWeatherVariant>> m_trackVariants;  // one list per track
};
