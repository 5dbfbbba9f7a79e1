#include "QVX/race/PlayerProfile.h"

#include <cstdio>

#include "QVX/shell/InputCodes.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/util/VQscramble.h"

const char* const g_profileBindingNames[PROFILE_BINDINGS] = {
    "left", "right", "throttle", "brake", "clutch", "gearup", "geardown", "parkingbrake",
    "lights", "horn", "camera", "flip", "rescue", "pause", "rear"};

namespace {

// Record offsets.
enum : size_t {
  OFF_NUMBER = 0,
  OFF_BINDINGS = 4,
  OFF_NORMAL = 64,  // seven words: frame, color, track, length, opponents, racetype, weather
  OFF_PARTICLE_DETAIL = 92,
  OFF_VOLUMES = 96,  // master, ambient, cars, comment, music
  OFF_MUSIC_CAT1 = 116,
  OFF_MUSIC_MODE = 120,
  OFF_SOUND_FORMAT = 124,  // audible channels, mono channels, bits, rate
  OFF_GHOST_MODE = 140,
  OFF_GAMMA = 164,
  OFF_SERVER_ADDRESS = 168,
  OFF_STEERSPEED = 184,
  OFF_UNLOCKED_CARS = 188,
  OFF_UNLOCKED_CHAMPS = 228,
  OFF_CHAMP_PRIZES = 240,
  OFF_LAP_RECORDS = 284,
  OFF_RACE_RECORDS = 3484,
  OFF_CHAMP_FRAME = 19488,
  OFF_CHAMP_COLOR = 19492,
  OFF_IN_CHAMP = 19496,
  OFF_CHAMP_IDX = 19500,
  OFF_CHAMP_SEASON = 19504,
  OFF_CHAMP_WEEKEND = 19508,
  OFF_CHAMP_WEATHER = 19512,
  OFF_CHAMP_RACE = 19536,
  OFF_CHAMP_OPPONENTS = 19540,
  OFF_NUM_CHAMP_PLAYERS = 19544,
  OFF_CHAMP_PLAYERS = 19548,
  OFF_PAC_HIGHSCORE = 22428,
};
static_assert(OFF_PAC_HIGHSCORE + 4 == PROFILE_RECORD_SIZE);
static_assert(OFF_CHAMP_PLAYERS + PROFILE_MAX_CHAMP_PLAYERS * 12 == OFF_PAC_HIGHSCORE);
static_assert(OFF_RACE_RECORDS + PROFILE_MAX_CLASSES * PROFILE_MAX_TRACKS * PROFILE_RACE_RECORDS * 4 + 4 ==
              OFF_CHAMP_FRAME);

struct Reader {
  const uint8_t* r;
  void i32(size_t o, int32_t& v) const { v = Record_GetI32(r, o); }
  void f32(size_t o, float& v) const { v = Record_GetF32(r, o); }
  void u8(size_t o, uint8_t& v) const { v = r[o]; }
};
struct Writer {
  uint8_t* r;
  void i32(size_t o, const int32_t& v) const { Record_PutI32(r, o, v); }
  void f32(size_t o, const float& v) const { Record_PutF32(r, o, v); }
  void u8(size_t o, const uint8_t& v) const { r[o] = v; }
};

// Every field outside the class rows and the championship table, in one place for both
// directions.
template <class P, class F>
void Fields(P& p, const F& f) {
  f.i32(OFF_NUMBER, p.number);
  for (int i = 0; i < PROFILE_BINDINGS; ++i) f.i32(OFF_BINDINGS + 4 * size_t(i), p.bindings[i]);
  f.i32(OFF_NORMAL + 0, p.normal_frame);
  f.i32(OFF_NORMAL + 4, p.normal_color);
  f.i32(OFF_NORMAL + 8, p.normal_track);
  f.i32(OFF_NORMAL + 12, p.normal_length);
  f.i32(OFF_NORMAL + 16, p.normal_opponents);
  f.i32(OFF_NORMAL + 20, p.normal_racetype);
  f.i32(OFF_NORMAL + 24, p.normal_weather);
  f.i32(OFF_PARTICLE_DETAIL, p.particle_detail);
  f.f32(OFF_VOLUMES + 0, p.volume_master);
  f.f32(OFF_VOLUMES + 4, p.volume_ambient);
  f.f32(OFF_VOLUMES + 8, p.volume_cars);
  f.f32(OFF_VOLUMES + 12, p.volume_comment);
  f.f32(OFF_VOLUMES + 16, p.volume_music);
  f.u8(OFF_MUSIC_CAT1 + 0, p.music_cat1);
  f.u8(OFF_MUSIC_CAT1 + 1, p.music_cat2);
  f.u8(OFF_MUSIC_CAT1 + 2, p.music_cat3);
  f.i32(OFF_MUSIC_MODE, p.music_mode);
  f.i32(OFF_SOUND_FORMAT + 0, p.num_audible_channels);
  f.i32(OFF_SOUND_FORMAT + 4, p.num_mono_channels);
  f.i32(OFF_SOUND_FORMAT + 8, p.num_bits_per_sample);
  f.i32(OFF_SOUND_FORMAT + 12, p.sample_rate);
  f.i32(OFF_GHOST_MODE + 0, p.ghost_mode);
  f.i32(OFF_GHOST_MODE + 4, p.mag_filter);
  f.i32(OFF_GHOST_MODE + 8, p.min_filter);
  f.i32(OFF_GHOST_MODE + 12, p.tex_detail);
  f.i32(OFF_GHOST_MODE + 16, p.track_detail);
  f.i32(OFF_GHOST_MODE + 20, p.car_detail);
  f.f32(OFF_GAMMA, p.gamma);
  for (int i = 0; i < PROFILE_SERVER_ADDRESS; ++i) f.i32(OFF_SERVER_ADDRESS + 4 * size_t(i), p.server_address[i]);
  f.f32(OFF_STEERSPEED, p.steerspeed_factor);
  for (int i = 0; i < PROFILE_MAX_CLASSES; ++i) f.u8(OFF_UNLOCKED_CARS + size_t(i), p.unlocked_cars[i]);
  for (int i = 0; i < PROFILE_CHAMPIONSHIPS; ++i) f.u8(OFF_UNLOCKED_CHAMPS + size_t(i), p.unlocked_champs[i]);
  for (int i = 0; i < PROFILE_CHAMPIONSHIPS; ++i) f.i32(OFF_CHAMP_PRIZES + 4 * size_t(i), p.champ_prizes[i]);
  f.i32(OFF_CHAMP_FRAME, p.champ_frame);
  f.i32(OFF_CHAMP_COLOR, p.champ_color);
  f.u8(OFF_IN_CHAMP, p.in_champ);
  f.i32(OFF_CHAMP_IDX, p.champ_idx);
  f.i32(OFF_CHAMP_SEASON, p.champ_season);
  f.i32(OFF_CHAMP_WEEKEND, p.champ_weekend);
  for (int i = 0; i < PROFILE_CHAMP_WEATHERS; ++i) f.i32(OFF_CHAMP_WEATHER + 4 * size_t(i), p.champ_weather_idxs[i]);
  f.i32(OFF_CHAMP_RACE, p.champ_race);
  f.i32(OFF_CHAMP_OPPONENTS, p.champ_opponents);
  f.i32(OFF_NUM_CHAMP_PLAYERS, p.num_champ_players);
  f.i32(OFF_PAC_HIGHSCORE, p.pac_highscore);
}

size_t LapOffset(int c, int t) { return OFF_LAP_RECORDS + 4 * size_t(c * PROFILE_MAX_TRACKS + t); }
size_t RaceOffset(int c, int t, int k) {
  return OFF_RACE_RECORDS + 4 * size_t((c * PROFILE_MAX_TRACKS + t) * PROFILE_RACE_RECORDS + k);
}

uint32_t Rows(uint32_t classCount) {
  return classCount < uint32_t(PROFILE_MAX_CLASSES) ? classCount : uint32_t(PROFILE_MAX_CLASSES);
}

}  // namespace

ProfileReadResult PlayerProfile_Read(const uint8_t* data, size_t size, uint32_t classCount, PlayerProfile* out) {
  if (size != PROFILE_RECORD_SIZE) return PROFILE_WRONG_SIZE;
  std::vector<uint8_t> r(data, data + size);
  VQscramble(r.data(), r.size(), nullptr, 0);
  PlayerProfile p = *out;
  Fields(p, Reader{r.data()});
  for (int32_t& code : p.bindings)
    if (InputCodeClass(code) == INPUTCODE_NONE) code = 0;
  const uint32_t rows = Rows(classCount);
  for (uint32_t c = 0; c < rows; ++c) {
    for (int t = 0; t < PROFILE_MAX_TRACKS; ++t) {
      p.lap_records[c][t] = Record_GetF32(r.data(), LapOffset(int(c), t));
      for (int k = 0; k < PROFILE_RACE_RECORDS; ++k)
        p.race_records[c][t][k] = Record_GetF32(r.data(), RaceOffset(int(c), t, k));
    }
  }
  if (p.num_champ_players < 0 || p.num_champ_players > PROFILE_MAX_CHAMP_PLAYERS) {
    // A count the table cannot hold: the championship standings are unusable, so the player
    // leaves the championship rather than reading entries that are not there.
    p.num_champ_players = 0;
    p.in_champ = 0;
  }
  for (int i = 0; i < p.num_champ_players; ++i)
    for (int k = 0; k < 3; ++k) p.champ_players[i][k] = Record_GetI32(r.data(), OFF_CHAMP_PLAYERS + 12 * size_t(i) + 4 * size_t(k));
  if (p.champ_idx < 0 || p.champ_idx >= PROFILE_CHAMPIONSHIPS) p.champ_idx = 0;
  for (int32_t& w : p.champ_weather_idxs)
    if (w < -1 || w >= PROFILE_CHAMP_WEATHERS) w = -1;
  *out = p;
  return PROFILE_OK;
}

std::vector<uint8_t> PlayerProfile_Write(const PlayerProfile& profile, uint32_t classCount) {
  std::vector<uint8_t> r(PROFILE_RECORD_SIZE, 0);
  Fields(profile, Writer{r.data()});
  const uint32_t rows = Rows(classCount);
  for (uint32_t c = 0; c < rows; ++c) {
    for (int t = 0; t < PROFILE_MAX_TRACKS; ++t) {
      Record_PutF32(r.data(), LapOffset(int(c), t), profile.lap_records[c][t]);
      for (int k = 0; k < PROFILE_RACE_RECORDS; ++k)
        Record_PutF32(r.data(), RaceOffset(int(c), t, k), profile.race_records[c][t][k]);
    }
  }
  int count = profile.num_champ_players;
  if (count < 0) count = 0;
  if (count > PROFILE_MAX_CHAMP_PLAYERS) count = PROFILE_MAX_CHAMP_PLAYERS;
  Record_PutI32(r.data(), OFF_NUM_CHAMP_PLAYERS, count);
  for (int i = 0; i < count; ++i)
    for (int k = 0; k < 3; ++k)
      Record_PutI32(r.data(), OFF_CHAMP_PLAYERS + 12 * size_t(i) + 4 * size_t(k), profile.champ_players[i][k]);
  VQscramble(r.data(), r.size(), nullptr, 0);
  return r;
}

std::string PlayerProfile_FormatText(const PlayerProfile& p, const std::vector<std::string>& classNames,
                                     const char* date, const char* time) {
  std::string out;
  char line[512];
  auto add = [&](const char* format, auto... args) {
    std::snprintf(line, sizeof line, format, args...);
    out += line;
  };
  auto d = [&](const char* key, int v) { add("%s = %d\n", key, v); };
  auto f2 = [&](const char* key, float v) { add("%s = %.2f\n", key, double(v)); };
  add("// File created on %s %s\n\n", time, date);
  add("%s = %s\n", "type", "human");
  d("number", p.number);
  add("%s = %s\n", "carmodel", p.highDetailModel ? "high" : "mid");
  for (int i = 0; i < PROFILE_BINDINGS; ++i)
    add("%s = %s\n", g_profileBindingNames[i], InputCodeName(uint32_t(p.bindings[i])));
  d("manual", p.manual);
  f2("speed_steerin", p.speed_steerin);
  f2("speed_steerback", p.speed_steerback);
  f2("speed_throttlein", p.speed_throttlein);
  f2("speed_throttleback", p.speed_throttleback);
  f2("speed_brakein", p.speed_brakein);
  f2("speed_brakeback", p.speed_brakeback);
  d("normal_frame", p.normal_frame);
  d("normal_color", p.normal_color);
  d("normal_track", p.normal_track);
  d("normal_length", p.normal_length);
  d("normal_opponents", p.normal_opponents);
  d("normal_racetype", p.normal_racetype);
  d("normal_weather", p.normal_weather);
  f2("volume_master", p.volume_master);
  d("particle_detail", p.particle_detail);
  f2("volume_ambient", p.volume_ambient);
  f2("volume_cars", p.volume_cars);
  f2("volume_comment", p.volume_comment);
  f2("volume_music", p.volume_music);
  d("music_cat1", p.music_cat1);
  d("music_mode", p.music_mode);
  d("music_cat2", p.music_cat2);
  d("music_cat3", p.music_cat3);
  d("num_audible_channels", p.num_audible_channels);
  d("num_mono_channels", p.num_mono_channels);
  d("num_bits_per_sample", p.num_bits_per_sample);
  d("sample_rate", p.sample_rate);
  d("ghost_mode", p.ghost_mode);
  d("mag_filter", p.mag_filter);
  d("min_filter", p.min_filter);
  d("tex_detail", p.tex_detail);
  d("track_detail", p.track_detail);
  d("car_detail", p.car_detail);
  f2("steerspeed_factor", p.steerspeed_factor);
  d("pac_highscore", p.pac_highscore);
  add("%s = %f\n", "gamma", double(p.gamma));
  add("%s = %d %d %d %d\n", "server_address", p.server_address[0], p.server_address[1], p.server_address[2],
      p.server_address[3]);
  add("%s =", "unlocked_cars");
  for (uint8_t v : p.unlocked_cars) add(" %d", v ? 1 : 0);
  add("\n%s =", "unlocked_champs");
  for (uint8_t v : p.unlocked_champs) add(" %d", v ? 1 : 0);
  add("\n%s =", "champ_prizes");
  for (int32_t v : p.champ_prizes) add(" %d", v);
  out += "\n";
  const size_t rows = classNames.size() < size_t(PROFILE_MAX_CLASSES) ? classNames.size() : size_t(PROFILE_MAX_CLASSES);
  for (size_t c = 0; c < rows; ++c) {
    add("%s = %s", "lap_records", classNames[c].c_str());
    for (int t = 0; t < PROFILE_MAX_TRACKS; ++t) add(" %.2f", double(p.lap_records[c][t]));
    out += "\n";
  }
  for (size_t c = 0; c < rows; ++c) {
    add("%s = %s\n", "race_records", classNames[c].c_str());
    for (int t = 0; t < PROFILE_MAX_TRACKS; ++t) {
      out += "   ";
      for (int k = 0; k < PROFILE_RACE_RECORDS; ++k) add(" %.2f", double(p.race_records[c][t][k]));
      out += "\n";
    }
  }
  d("champ_frame", p.champ_frame);
  d("champ_color", p.champ_color);
  d("num_champ_players", p.num_champ_players);
  d("in_champ", p.in_champ ? 1 : 0);
  d("champ_idx", p.champ_idx);
  d("champ_season", p.champ_season);
  d("champ_weekend", p.champ_weekend);
  d("champ_race", p.champ_race);
  d("champ_opponents", p.champ_opponents);
  add("%s = ", "champ_players");
  const int count = p.num_champ_players < 0 ? 0
                    : p.num_champ_players > PROFILE_MAX_CHAMP_PLAYERS ? PROFILE_MAX_CHAMP_PLAYERS
                                                                      : p.num_champ_players;
  for (int i = 0; i < count; ++i) add("%d %d %d   ", p.champ_players[i][0], p.champ_players[i][1], p.champ_players[i][2]);
  add("\n%s = ", "champ_weather_idxs");
  for (int32_t w : p.champ_weather_idxs) add("%d ", w);
  out += "\n";
  return out;
}
