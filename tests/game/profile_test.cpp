#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "QVX/race/Player.h"
#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/util/VQscramble.h"

namespace {
PlayerProfile Sample() {
  PlayerProfile p;
  p.number = 7;
  for (int i = 0; i < PROFILE_BINDINGS; ++i) p.bindings[i] = 247 + i;
  p.bindings[3] = 47;
  p.normal_frame = 2;
  p.normal_color = 1;
  p.normal_track = 3;
  p.normal_length = 4;
  p.normal_opponents = 6;
  p.normal_racetype = 1;
  p.normal_weather = 2;
  p.volume_music = 0.25f;
  p.music_cat2 = 0;
  p.sample_rate = 44100;
  p.gamma = 1.5f;
  p.server_address[0] = 192;
  p.unlocked_cars[3] = 1;
  p.unlocked_champs[10] = 1;
  p.champ_prizes[10] = 3;
  p.lap_records[1][19] = 61.25f;
  p.race_records[1][19][4] = 300.5f;
  p.lap_records[5][0] = 99.0f;  // beyond the loaded classes below
  p.in_champ = 1;
  p.champ_idx = 4;
  p.champ_weather_idxs[5] = 3;
  p.champ_race = 2;
  p.num_champ_players = 240;
  p.champ_players[239][2] = 77;
  p.pac_highscore = 12345;
  return p;
}
std::vector<uint8_t> Plain(const std::vector<uint8_t>& stored) {
  std::vector<uint8_t> plain = stored;
  VQscramble(plain.data(), plain.size(), nullptr, 0);
  return plain;
}
}  // namespace

TEST(PlayerProfile, BinaryLayoutAndRoundTrip) {
  const PlayerProfile p = Sample();
  const std::vector<uint8_t> stored = PlayerProfile_Write(p, 2);
  ASSERT_EQ(stored.size(), 22432u);
  const std::vector<uint8_t> plain = Plain(stored);
  EXPECT_EQ(Record_GetI32(plain.data(), 0), 7);
  EXPECT_EQ(Record_GetI32(plain.data(), 4 + 3 * 4), 47);
  EXPECT_EQ(Record_GetI32(plain.data(), 84), 1);
  EXPECT_FLOAT_EQ(Record_GetF32(plain.data(), 112), 0.25f);
  EXPECT_EQ(plain[117], 0);
  EXPECT_FLOAT_EQ(Record_GetF32(plain.data(), 164), 1.5f);
  EXPECT_EQ(plain[188 + 3], 1);
  EXPECT_EQ(plain[228 + 10], 1);
  EXPECT_FLOAT_EQ(Record_GetF32(plain.data(), 284 + 4 * (20 + 19)), 61.25f);
  EXPECT_FLOAT_EQ(Record_GetF32(plain.data(), 3484 + 4 * ((20 + 19) * 5 + 4)), 300.5f);
  EXPECT_FLOAT_EQ(Record_GetF32(plain.data(), 284 + 4 * (5 * 20)), 0.0f);  // class 5 not loaded
  EXPECT_EQ(plain[19496], 1);
  EXPECT_EQ(Record_GetI32(plain.data(), 19544), 240);
  EXPECT_EQ(Record_GetI32(plain.data(), 19548 + 239 * 12 + 8), 77);
  EXPECT_EQ(Record_GetI32(plain.data(), 22428), 12345);

  PlayerProfile back;
  ASSERT_EQ(PlayerProfile_Read(stored.data(), stored.size(), 2, &back), PROFILE_OK);
  EXPECT_EQ(back.number, 7);
  for (int i = 0; i < PROFILE_BINDINGS; ++i) EXPECT_EQ(back.bindings[i], p.bindings[i]);
  EXPECT_EQ(back.normal_weather, 2);
  EXPECT_EQ(back.sample_rate, 44100);
  EXPECT_EQ(back.server_address[0], 192);
  EXPECT_FLOAT_EQ(back.lap_records[1][19], 61.25f);
  EXPECT_FLOAT_EQ(back.race_records[1][19][4], 300.5f);
  EXPECT_FLOAT_EQ(back.lap_records[5][0], 0.0f);
  EXPECT_EQ(back.champ_weather_idxs[5], 3);
  EXPECT_EQ(back.champ_race, 2);  // the player's load sets it to 0, not the record reader
  EXPECT_EQ(back.num_champ_players, 240);
  EXPECT_EQ(back.champ_players[239][2], 77);
  EXPECT_EQ(back.pac_highscore, 12345);
}

TEST(PlayerProfile, WrongSizesAreRefused) {
  const std::vector<uint8_t> stored = PlayerProfile_Write(Sample(), 2);
  PlayerProfile out;
  out.number = -3;
  for (size_t size : {size_t(0), size_t(100), size_t(22431), size_t(22433), size_t(40000)}) {
    std::vector<uint8_t> data = stored;
    data.resize(size, 0);
    EXPECT_EQ(PlayerProfile_Read(data.data(), data.size(), 2, &out), PROFILE_WRONG_SIZE) << size;
    EXPECT_EQ(out.number, -3);
  }
}

TEST(PlayerProfile, CountsAndCodesOutOfRangeAreMended) {
  std::vector<uint8_t> plain = Plain(PlayerProfile_Write(Sample(), 2));
  Record_PutI32(plain.data(), 19544, 241);  // more championship players than the table holds
  Record_PutI32(plain.data(), 4, 150);      // a binding code that names no input
  Record_PutI32(plain.data(), 8, -7);
  Record_PutI32(plain.data(), 19500, 11);   // championship index past the last one
  Record_PutI32(plain.data(), 19512, 9);    // weather index past the slots
  VQscramble(plain.data(), plain.size(), nullptr, 0);
  PlayerProfile back;
  ASSERT_EQ(PlayerProfile_Read(plain.data(), plain.size(), 40, &back), PROFILE_OK);
  EXPECT_EQ(back.num_champ_players, 0);
  EXPECT_EQ(back.in_champ, 0);
  EXPECT_EQ(back.bindings[0], 0);
  EXPECT_EQ(back.bindings[1], 0);
  EXPECT_EQ(back.champ_idx, 0);
  EXPECT_EQ(back.champ_weather_idxs[0], -1);
  Record_PutI32(plain.data(), 19544, 0);  // (still scrambled: any count read is checked)
  PlayerProfile again;
  EXPECT_EQ(PlayerProfile_Read(plain.data(), plain.size(), 1000, &again), PROFILE_OK);
}

TEST(PlayerProfile, TextForm) {
  const PlayerProfile p = Sample();
  const std::string text = PlayerProfile_FormatText(p, {"junior_std", "rookie"}, "10-12-2026", "17:00");
  EXPECT_EQ(text.rfind("// File created on 17:00 10-12-2026\n\n", 0), 0u);
  EXPECT_NE(text.find("type = human\n"), std::string::npos);
  EXPECT_NE(text.find("number = 7\ncarmodel = high\nleft = a\n"), std::string::npos);
  EXPECT_NE(text.find("brake = joy2_8_pos\n"), std::string::npos);
  EXPECT_NE(text.find("volume_music = 0.25\n"), std::string::npos);
  EXPECT_NE(text.find("gamma = 1.500000\n"), std::string::npos);
  EXPECT_NE(text.find("lap_records = rookie"), std::string::npos);
  EXPECT_NE(text.find("race_records = junior_std\n    0.00 0.00"), std::string::npos);
  EXPECT_NE(text.find("champ_weather_idxs = -1 -1 -1 -1 -1 3 \n"), std::string::npos);
  EXPECT_EQ(text.find("lap_records = gt"), std::string::npos);
}

TEST(PlayerProfile, NamesThatCannotEscapeThePlayersFolder) {
  for (const char* good : {"Driver", "Anna Berg", "x", "ABCDEFGHIJKLMNO", "caf\xe9"})
    EXPECT_TRUE(Player_IsValidProfileName(good)) << good;
  for (const char* bad : {"", "..", ".", "../x", "a/b", "a\\b", "..\\..\\x", ".hidden", "a:b", "a*", "tab\tname",
                          "ABCDEFGHIJKLMNOP", "nl\n"})
    EXPECT_FALSE(Player_IsValidProfileName(bad)) << bad;
}
