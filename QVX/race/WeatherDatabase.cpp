#include "QVX/race/WeatherDatabase.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/RecordBytes.h"
#include "QVX/race/CarEnvironment.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQscramble.h"

const uint8_t* WeatherTable::Find(const char* name) const {
  for (const auto& r : records) {
    char stored[WEATHER_NAME_FIELD + 1];
    Record_GetName(stored, sizeof stored, r.data(), 0, WEATHER_NAME_FIELD);
    if (std::strcmp(stored, name) == 0) return r.data();
  }
  return nullptr;
}

void WeatherTable_Parse(const uint8_t* data, size_t size, size_t recordSize, WeatherTable& out) {
  out.recordSize = recordSize;
  out.records.clear();
  size_t count = recordSize ? size / recordSize : 0;
  if (count > WEATHER_MAX_RECORDS) {
    VQlog_Printf(1, "Weather table: %zu records of %zu bytes, only the first %u are kept", count, recordSize,
                 WEATHER_MAX_RECORDS);
    count = WEATHER_MAX_RECORDS;
  }
  std::vector<uint8_t> plain(data, data + count * recordSize);
  VQscramble(plain.data(), plain.size(), nullptr, 0);
  for (size_t i = 0; i < count; ++i)
    out.records.emplace_back(plain.begin() + long(i * recordSize), plain.begin() + long((i + 1) * recordSize));
}

namespace {
bool LoadTable(bool enabled, const char* path, WeatherTable& table) {
  table.records.clear();
  if (!enabled) return true;
  char bin[DATAPATH_MAX_PATH];
  std::snprintf(bin, sizeof bin, "%s", path);
  if (!ReplaceTail(bin, ".bin")) return false;
  std::string data;
  if (!vqfileio::ReadWholeFile(bin, data, 24)) return false;
  WeatherTable_Parse(reinterpret_cast<const uint8_t*>(data.data()), data.size(), table.recordSize, table);
  return true;
}
}  // namespace

bool WeatherDatabase::LoadWeatherConfigs(bool enabled, const char* path) { return LoadTable(enabled, path, m_weather); }
bool WeatherDatabase::LoadRainConfigs(bool enabled, const char* path) { return LoadTable(enabled, path, m_rain); }
bool WeatherDatabase::LoadThunderConfigs(bool enabled, const char* path) { return LoadTable(enabled, path, m_thunder); }

bool WeatherDatabase::ScanTrackWeatherFiles() {
  Program* program = g_program;
  m_trackVariants.clear();
  if (!program || program->m_trackCount == 0) return true;
  char folder[DATAPATH_MAX_PATH];
  if (!GetDataFolderPath(folder, DATAFOLDER_TRACKS)) return false;
  m_trackVariants.resize(program->m_trackCount);
  for (uint32_t t = 0; t < program->m_trackCount; ++t) {
    auto& list = m_trackVariants[t];
    list.resize(TRACK_WEATHER_SLOTS);
    const std::string prefix = std::string(program->m_tracks[t].name) + "_weather_";
    VQFolderScan scan;
    if (VQfile_FindFirst(&scan, folder)) {
      VQFolderEntry entry;
      while (VQfile_FindNext(&scan, &entry)) {
        const size_t len = std::strlen(entry.m_name);
        if (entry.m_isFolder || len <= prefix.size() + 4 || strncasecmp(entry.m_name, prefix.c_str(), prefix.size()) != 0)
          continue;
        if (entry.m_name[len - 1] == 'i' || entry.m_name[len - 1] == 'I') continue;
        char path[DATAPATH_MAX_PATH + VQFOLDER_NAME_SIZE + 2];
        std::snprintf(path, sizeof path, "%s\\%s", folder, entry.m_name);
        std::string data;
        if (!vqfileio::ReadWholeFile(path, data, 24) || data.size() != TRACK_WEATHER_RECORD_SIZE) continue;
        VQscramble(data.data(), data.size(), nullptr, 0);
        const uint32_t slot = Record_GetU32(reinterpret_cast<const uint8_t*>(data.data()), TRACK_WEATHER_VARIANT_OFFSET);
        if (slot >= TRACK_WEATHER_SLOTS - 1) continue;
        list[slot].name.assign(entry.m_name + prefix.size(), len - prefix.size() - 4);
        list[slot].display = program->m_texts->GetByKey(list[slot].name.c_str());
      }
      VQfile_FindClose(&scan);
    }
    list[TRACK_WEATHER_SLOTS - 1].name = TRACK_WEATHER_RANDOM;
    list[TRACK_WEATHER_SLOTS - 1].display = program->m_texts->GetByKey(TRACK_WEATHER_RANDOM);
  }
  return true;
}

uint32_t WeatherDatabase_PickByOdds(const float* odds, uint32_t count, float r) {
  if (!odds || count == 0) return 0;
  double sum = 0.0;
  for (uint32_t i = 0; i < count; ++i)
    if (std::isfinite(odds[i]) && odds[i] > 0.0f) sum += odds[i];
  if (sum <= 0.0) return 0;
  if (!std::isfinite(r)) r = 0.0f;
  const double target = std::clamp(double(r), 0.0, 1.0) * sum;
  double running = 0.0;
  uint32_t last = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!(std::isfinite(odds[i]) && odds[i] > 0.0f)) continue;
    running += odds[i];
    last = i;
    if (target < running) return i;
  }
  return last;  // r = 1.0 lands on the last entry with odds, never past the list
}

void WeatherDatabase_CarWeather(const uint8_t* record, CarWeather* out) {
  *out = CarWeather();
  if (!record) return;
  const uint8_t level = record[WEATHERREC_RAIN_LEVEL];
  out->rainLevel = level <= 3 ? level : 3;
  out->rain = out->rainLevel > 0 ? 1 : 0;
  out->wet = record[WEATHERREC_WET] ? 1 : 0;
  const float base = Record_GetF32(record, WEATHERREC_SPRAY),
              scale = Record_GetF32(record, WEATHERREC_SPRAY + 4);
  out->sprayBase = std::isfinite(base) ? base : 0.0f;
  out->sprayScale = std::isfinite(scale) ? scale : 0.0f;
}

int WeatherDatabase::VariantForRoll(uint32_t r, bool alternative) {
  if (r > 99) r = 99;
  static const uint32_t kNormal[4] = {40, 55, 70, 85}, kAlternative[4] = {25, 50, 70, 90};
  const uint32_t* limits = alternative ? kAlternative : kNormal;
  for (int v = 0; v < 4; ++v)
    if (r < limits[v]) return v;
  return 4;
}

int WeatherDatabase::PickRandomVariant(bool alternative) {
  return VariantForRoll(uint32_t(std::rand() % 100), alternative);
}

bool WeatherDatabase::SetPreviewEnvironment(VQNode* scene, VQTexture* texture) {
  if (!scene || !texture) return false;
  for (const char* name : {"1", "2", "3"}) {
    VQNode* node = scene->FindByName(name);
    if (!node) continue;
    node->Visit(
        [](VQNode* n, void* context) {
          if (n->m_type != VQNODE_GEOSET) return true;
          VQMattable* table = static_cast<VQGeosetNode*>(n)->m_table;
          for (uint32_t i = 0; table && i < table->m_count; ++i)
            if (VQMaterial* m = table->m_slots[i]; m && m->m_stageCount == 2)
              m->m_stages[1].m_texture = static_cast<VQTexture*>(context);
          return true;
        },
        texture);
  }
  return true;
}
