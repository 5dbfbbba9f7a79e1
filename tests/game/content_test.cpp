#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <strings.h>
#include <tuple>
#include <string>
#include <vector>

#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/util/VQscramble.h"

TEST(Materials, RecordsFromTheBodySize) {
  std::vector<CollisionMaterial> in(3);
  std::snprintf(in[0].name, sizeof in[0].name, "tarmac");
  std::snprintf(in[0].soundName, sizeof in[0].soundName, "bump.wav");
  in[0].values[3] = 100;
  std::snprintf(in[2].textureName, sizeof in[2].textureName, "grass.tga");
  in[2].textureValues[3] = 9;
  const uint32_t header[3] = {1, 2, 3};
  std::vector<uint8_t> file = Materials_Build(header, in);
  ASSERT_EQ(file.size(), 12u + 3 * 192);
  EXPECT_EQ(Record_GetU32(file.data(), 4), 2u);  // header stays plain
  uint32_t h[3];
  std::vector<CollisionMaterial> out;
  ASSERT_TRUE(Materials_Parse(file.data(), file.size(), h, out));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_STREQ(out[0].name, "tarmac");
  EXPECT_STREQ(out[0].soundName, "bump.vqw");
  EXPECT_EQ(out[0].values[3], 100u);
  EXPECT_STREQ(out[2].textureName, "grass.tga");
  EXPECT_EQ(out[2].textureValues[3], 9u);
  file.resize(file.size() + 100);  // a trailing partial record is ignored
  ASSERT_TRUE(Materials_Parse(file.data(), file.size(), h, out));
  EXPECT_EQ(out.size(), 3u);
  EXPECT_FALSE(Materials_Parse(file.data(), 11, h, out));
  EXPECT_TRUE(Materials_Parse(file.data(), 12, h, out));
  EXPECT_TRUE(out.empty());
}

TEST(Materials, UnterminatedNamesStayInsideTheirFields) {
  std::vector<uint8_t> file(12 + 192, 'A');
  VQscramble(file.data() + 12, 192, nullptr, 0);
  uint32_t h[3];
  std::vector<CollisionMaterial> out;
  ASSERT_TRUE(Materials_Parse(file.data(), file.size(), h, out));
  EXPECT_EQ(std::strlen(out[0].name), 16u);
  EXPECT_EQ(std::strlen(out[0].textureName), 64u);
}

TEST(ClassRecord, FieldsAndShortFiles) {
  uint8_t plain[CLASS_RECORD_SIZE] = {};
  Record_PutU32(plain, CLASSREC_DIFFICULTY, 3);
  Record_PutName(plain, CLASSREC_SOUND_HORN, 64, "horn.wav");
  Record_PutName(plain, CLASSREC_MATERIAL, 64, "Tarmac");
  Record_PutName(plain, CLASSREC_IMAGE_REV_BAR, 64, "bar.tga");
  Record_PutU32(plain, CLASSREC_PAIR_COUNT, 1000000);  // more pairs than the record holds
  const std::vector<uint8_t> stored = ClassRecord_Store(plain);
  RacingClass cls;
  ASSERT_TRUE(ClassRecord_Parse(stored.data(), stored.size(), &cls));
  EXPECT_EQ(cls.m_difficulty, 3u);
  EXPECT_STREQ(cls.m_sounds[4], "horn.vqw");
  EXPECT_STREQ(cls.m_materialName, "Tarmac");
  EXPECT_STREQ(cls.m_imageNames[3], "bar.tga");
  EXPECT_EQ(cls.m_pairCount, CLASS_MAX_PAIRS);
  RacingClass other;
  other.m_difficulty = 9;
  EXPECT_FALSE(ClassRecord_Parse(stored.data(), CLASS_RECORD_SIZE - 1, &other));
  EXPECT_EQ(other.m_difficulty, 9u);
}

TEST(AIRecords, TableIsBoundedAndClassesOutsideTheSlotsCleared) {
  // Each record's class as the file gives it and as the table keeps it.
  static const int32_t kClasses[][2] = {{0, 0}, {5, 5}, {39, 39}, {40, 0}, {-1, 0}, {99999, 0}};
  const size_t kinds = std::size(kClasses);
  std::vector<uint8_t> file((AI_MAX_RECORDS + 10) * AI_RECORD_SIZE + 7, 0);
  for (size_t i = 0; i < AI_MAX_RECORDS + 10; ++i)
    Record_PutI32(file.data() + i * AI_RECORD_SIZE, AIREC_CLASS, kClasses[i % kinds][0]);
  VQscramble(file.data(), file.size(), nullptr, 0);
  std::vector<AIDriverRecord> out;
  AI_Parse(file.data(), file.size(), out);
  ASSERT_EQ(out.size(), AI_MAX_RECORDS);
  for (size_t i = 0; i < kinds; ++i)
    EXPECT_EQ(Record_GetI32(out[i].bytes, AIREC_CLASS), kClasses[i][1]) << kClasses[i][0];
  AI_Parse(file.data(), 259, out);
  EXPECT_TRUE(out.empty());
}

TEST(HudParameters, UnknownClassBlockIsSkipped) {
  const std::string text =
      "// comment\nghost {\n  oval 1 2\n}\nrookie {\n  // note\n  Oval 150 7.5\n  nowhere 1 1\n}\n";
  std::vector<std::string> warnings;
  std::vector<std::tuple<int, int, float, float>> pairs;
  Hud_Parse(
      text.data(), text.size(), [](const char* n) { return std::strcmp(n, "rookie") == 0 ? 1 : -1; },
      [](const char* n) { return strcasecmp(n, "oval") == 0 ? 0 : -1; },
      [&](int c, int t, float a, float b) { pairs.emplace_back(c, t, a, b); },
      [&](const char* n) { warnings.push_back(n); });
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "ghost");
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(std::get<0>(pairs[0]), 1);
  EXPECT_FLOAT_EQ(std::get<2>(pairs[0]), 150.0f);
  EXPECT_FLOAT_EQ(std::get<3>(pairs[0]), 7500.0f);
}

TEST(MusicList, KeysTitlesAndTheFiftyLimit) {
  std::string text = "// music\nIntro1 = Data\\Audio\\Intro1\nmenus =   \npodium = win\n";
  for (int i = 0; i < 51; ++i) text += "ontrackrock = r" + std::to_string(i) + "\n";
  MusicList list;
  Music_Parse(text.data(), text.size(), list);
  EXPECT_EQ(list.titles[MUSIC_INTRO1], "data\\audio\\intro1");
  EXPECT_EQ(list.titles[MUSIC_MENUS], "");
  EXPECT_EQ(list.titles[MUSIC_PODIUM], "win");
  ASSERT_EQ(list.race.size(), 50u);
  EXPECT_EQ(list.race[49].name, "r49");
  EXPECT_EQ(list.race[0].category, 2);
}

TEST(Skins, NamesAndDescriptions) {
  std::string cls, skin;
  EXPECT_TRUE(Skin_SplitName("MS rookie red.txt", cls, skin));
  EXPECT_EQ(cls, "rookie");
  EXPECT_EQ(skin, "red");
  EXPECT_FALSE(Skin_SplitName("MS rookie.txt", cls, skin));
  EXPECT_FALSE(Skin_SplitName("MS rookie red", cls, skin));
  EXPECT_FALSE(Skin_SplitName("MS", cls, skin));
  EXPECT_TRUE(Skin_SplitName("MS  blue.txt", cls, skin));
  EXPECT_EQ(cls, "");
  EXPECT_FALSE(Skin_SplitName("MS rookie .txt", cls, skin));
  Skin s;
  const std::string text = "// x\nauthor = Me Myself\nnumbers = on\nwheels = alloy\n";
  EXPECT_TRUE(Skin_Parse(text.data(), text.size(), &s));
  EXPECT_EQ(s.author, "Me Myself");
  EXPECT_TRUE(s.numbers);
  EXPECT_EQ(s.wheels, "alloy");
  Skin bad;
  const std::string wrong = "colour = red\n";
  EXPECT_FALSE(Skin_Parse(wrong.data(), wrong.size(), &bad));
}

TEST(WeatherTables, PartialRecordsAndRoom) {
  std::vector<uint8_t> file(70 * RAIN_RECORD_SIZE + 50, 0);
  Record_PutName(file.data() + RAIN_RECORD_SIZE, 0, 32, "drizzle");
  VQscramble(file.data(), file.size(), nullptr, 0);
  WeatherTable table;
  WeatherTable_Parse(file.data(), file.size(), RAIN_RECORD_SIZE, table);
  EXPECT_EQ(table.records.size(), WEATHER_MAX_RECORDS);
  EXPECT_NE(table.Find("drizzle"), nullptr);
  EXPECT_EQ(table.Find("Drizzle"), nullptr);
  WeatherTable_Parse(file.data(), 0, RAIN_RECORD_SIZE, table);
  EXPECT_TRUE(table.records.empty());
}
