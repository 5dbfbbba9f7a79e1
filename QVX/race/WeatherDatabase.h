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
constexpr uint32_t TRACK_WEATHER_SLOTS = 6;  // variants 0..4 and the last entry, "random"
constexpr size_t TRACK_WEATHER_VARIANT_OFFSET = 4;  // u32 slot of a track weather record
constexpr const char* TRACK_WEATHER_RANDOM = "random";

// Weather record fields (the layout is in data/README.md) that the race reads.
enum WeatherRecordOffset : size_t {
  WEATHERREC_FOG = 32,           // u32 fog flag
  WEATHERREC_REFLECTION = 64,    // u8 reflections under the cars
  WEATHERREC_SPRAY = 84,         // 2 f32: spray base, spray scale
  WEATHERREC_CROWD = 92,         // u8
  WEATHERREC_RAIN_LEVEL = 93,    // u8 0..3 (0: no rain)
  WEATHERREC_WET = 156,          // u8 wet road
  WEATHERREC_RAIN_COUNT = 1188,  // u32 rain variants, names at 1192, odds at 1704
  WEATHERREC_RAIN_NAMES = 1192,
  WEATHERREC_RAIN_ODDS = 1704,
  WEATHERREC_THUNDER_COUNT = 1768,  // u32 thunder variants, names at 1772, odds at 2284
  WEATHERREC_THUNDER_NAMES = 1772,
  WEATHERREC_THUNDER_ODDS = 2284,
};
constexpr uint32_t WEATHER_MAX_VARIANTS = 16;  // of a rain or thunder list

struct CarWeather;
class VQNode;
class VQTexture;

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

// The index that a roll r (0..1) picks from a list of count odds (each >= 0; non-finite or
// negative odds count as 0): the first entry whose running sum exceeds r x the sum. Always below
// count, also for r = 1.0, odds that sum to less than 1 and rolls outside 0..1; 0 for an empty
// list or odds that are all 0.
uint32_t WeatherDatabase_PickByOdds(const float* odds, uint32_t count, float r);
// What the cars read of a weather record (rain, wet road, rain level, spray); the reflection
// texture is the track's and stays null.
void WeatherDatabase_CarWeather(const uint8_t* record, CarWeather* out);

class WeatherDatabase {
 public:
  // The variant for a roll r of 0..99 with the normal odds (40, 15, 15, 15, 15) or the
  // alternative ones (25, 25, 20, 20, 10); rolls beyond 99 count as 99.
  static int VariantForRoll(uint32_t r, bool alternative);
  // VariantForRoll with rand() % 100.
  static int PickRandomVariant(bool alternative);
  const uint8_t* FindWeather(const char* name) const { return m_weather.Find(name); }
  const uint8_t* FindRain(const char* name) const { return m_rain.Find(name); }
  const uint8_t* FindThunder(const char* name) const { return m_thunder.Find(name); }
  // Gives every two-stage material below the nodes "1", "2" and "3" of the scene the texture as
  // its second stage. False without texture or scene.
  static bool SetPreviewEnvironment(VQNode* scene, VQTexture* texture);

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
