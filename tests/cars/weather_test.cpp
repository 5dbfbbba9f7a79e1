// The weather tables: bounds of the table files, the variant rolls and the pick by odds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "QVX/race/CarEnvironment.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/util/VQscramble.h"

namespace {

std::vector<uint8_t> StoredTable(size_t records, size_t recordSize, size_t extraBytes) {
  std::vector<uint8_t> data(records * recordSize + extraBytes, 0);
  for (size_t i = 0; i < records; ++i) {
    const std::string name = "w" + std::to_string(i);
    Record_PutName(data.data() + i * recordSize, 0, 32, name.c_str());
  }
  VQscramble(data.data(), data.size(), nullptr, 0);
  return data;
}

TEST(WeatherTable, BoundsRecordCountAndDropsPartialRecords) {
  struct Case {
    size_t records, extra, expected;
  } cases[] = {{0, 0, 0}, {3, 0, 3}, {3, RAIN_RECORD_SIZE - 1, 3}, {64, 0, 64}, {70, 5, 64}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> data = StoredTable(c.records, RAIN_RECORD_SIZE, c.extra);
    WeatherTable table;
    WeatherTable_Parse(data.data(), data.size(), RAIN_RECORD_SIZE, table);
    EXPECT_EQ(table.records.size(), c.expected) << c.records << " records";
    if (c.expected) {
      EXPECT_NE(table.Find("w0"), nullptr);
      EXPECT_NE(table.Find(("w" + std::to_string(c.expected - 1)).c_str()), nullptr);
      EXPECT_EQ(table.Find(("w" + std::to_string(c.expected)).c_str()), nullptr)
          << "cut records are gone";
    }
  }
}

TEST(WeatherVariants, FixedOdds) {
  struct Case {
    uint32_t r;
    int normal, alternative;
  } cases[] = {{0, 0, 0},  {24, 0, 0}, {25, 0, 1},  {39, 0, 1},         {40, 1, 1}, {50, 1, 2},
               {55, 2, 2}, {69, 2, 2}, {70, 3, 3},  {84, 3, 3},         {85, 4, 3}, {89, 4, 3},
               {90, 4, 4}, {99, 4, 4}, {100, 4, 4}, {4000000000u, 4, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(WeatherDatabase::VariantForRoll(c.r, false), c.normal) << c.r;
    EXPECT_EQ(WeatherDatabase::VariantForRoll(c.r, true), c.alternative) << c.r;
  }
  for (int i = 0; i < 200; ++i) {
    const int v = WeatherDatabase::PickRandomVariant(i % 2);
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 4);
  }
}

TEST(WeatherVariants, PickByOddsStaysInsideTheList) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float two[2] = {0.7f, 0.3f}, quarters[2] = {0.25f, 0.25f}, zeros[3] = {0, 0, 0};
  const float gaps[4] = {0.5f, 0.0f, -1.0f, nan};
  struct Case {
    const float* odds;
    uint32_t count;
    float r;
    uint32_t expected;
  } cases[] = {
      {two, 2, 0.0f, 0},      {two, 2, 0.69f, 0},      {two, 2, 0.71f, 1},  {two, 2, 1.0f, 1},
      {quarters, 2, 1.0f, 1}, {quarters, 2, 0.49f, 0}, {zeros, 3, 0.5f, 0}, {two, 0, 1.0f, 0},
      {nullptr, 4, 1.0f, 0},  {gaps, 4, 1.0f, 0},      {gaps, 4, 0.3f, 0},  {two, 2, 5.0f, 1},
      {two, 2, -3.0f, 0},     {two, 2, nan, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WeatherDatabase_PickByOdds(c.odds, c.count, c.r), c.expected) << c.r;
}

TEST(WeatherRecord, WhatTheCarsRead) {
  uint8_t r[WEATHER_RECORD_SIZE] = {};
  r[WEATHERREC_RAIN_LEVEL] = 2;
  r[WEATHERREC_WET] = 1;
  Record_PutF32(r, WEATHERREC_SPRAY, 40.0f);
  Record_PutF32(r, WEATHERREC_SPRAY + 4, 12.5f);
  CarWeather w;
  WeatherDatabase_CarWeather(r, &w);
  EXPECT_EQ(w.rain, 1);
  EXPECT_EQ(w.wet, 1);
  EXPECT_EQ(w.rainLevel, 2);
  EXPECT_EQ(w.sprayBase, 40.0f);
  EXPECT_EQ(w.sprayScale, 12.5f);
  r[WEATHERREC_RAIN_LEVEL] = 200;
  Record_PutF32(r, WEATHERREC_SPRAY, std::numeric_limits<float>::infinity());
  WeatherDatabase_CarWeather(r, &w);
  EXPECT_EQ(w.rainLevel, 3) << "bounded to the three spray blocks";
  EXPECT_EQ(w.sprayBase, 0.0f);
}

TEST(WeatherRecord, GeneratedTablesLoad) {
  WeatherDatabase db;
  ASSERT_TRUE(db.LoadWeatherConfigs(true, VQ_GAME_DIR "/Data/weather.ini"));
  ASSERT_TRUE(db.LoadRainConfigs(true, VQ_GAME_DIR "/Data/weather_rain.ini"));
  const uint8_t* rain = db.FindWeather("rain");
  ASSERT_NE(rain, nullptr);
  CarWeather w;
  WeatherDatabase_CarWeather(rain, &w);
  EXPECT_EQ(w.rain, 1);
  EXPECT_EQ(w.wet, 1);
  EXPECT_GT(w.sprayBase, 0.0f);
  const uint32_t variants = Record_GetU32(rain, WEATHERREC_RAIN_COUNT);
  ASSERT_GE(variants, 1u);
  float odds[WEATHER_MAX_VARIANTS];
  for (uint32_t i = 0; i < WEATHER_MAX_VARIANTS; ++i)
    odds[i] = Record_GetF32(rain, WEATHERREC_RAIN_ODDS + 4 * i);
  const uint32_t pick =
      WeatherDatabase_PickByOdds(odds, std::min(variants, WEATHER_MAX_VARIANTS), 1.0f);
  char name[33];
  Record_GetName(name, sizeof name, rain, WEATHERREC_RAIN_NAMES + 32 * pick, 32);
  EXPECT_NE(db.FindRain(name), nullptr) << name;
  const uint8_t* clear = db.FindWeather("clear");
  ASSERT_NE(clear, nullptr);
  WeatherDatabase_CarWeather(clear, &w);
  EXPECT_EQ(w.rain, 0);
  EXPECT_EQ(w.wet, 0);
  EXPECT_EQ(db.FindWeather("Clear"), nullptr) << "names compare exactly";
}

}  // namespace
