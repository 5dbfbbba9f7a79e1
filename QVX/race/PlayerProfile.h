// A local player's profile: the settings, bindings, unlocks, records and championship state kept
// from one start of the game to the next in "Data\Players\<name>.bin" (one scrambled record of
// exactly PROFILE_RECORD_SIZE bytes, little-endian) and written for reading as "<name>.sav".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t PROFILE_RECORD_SIZE = 22432;
constexpr int PROFILE_BINDINGS = 15;          // slots left .. rear; slot 15 is not stored
constexpr int PROFILE_MAX_CLASSES = 40;
constexpr int PROFILE_MAX_TRACKS = 20;
constexpr int PROFILE_RACE_RECORDS = 5;
constexpr int PROFILE_CHAMPIONSHIPS = 11;
constexpr int PROFILE_CHAMP_WEATHERS = 6;
constexpr int PROFILE_MAX_CHAMP_PLAYERS = 240;
constexpr int PROFILE_SERVER_ADDRESS = 4;

// Binding slot names in stored order.
extern const char* const g_profileBindingNames[PROFILE_BINDINGS];

struct PlayerProfile {
  int32_t number = 0;
  int32_t bindings[PROFILE_BINDINGS] = {};
  int32_t normal_frame = 0, normal_color = 0, normal_track = 0, normal_length = 0, normal_opponents = 0,
          normal_racetype = 0, normal_weather = 0;
  int32_t particle_detail = 0;
  float volume_master = 1.0f, volume_ambient = 1.0f, volume_cars = 1.0f, volume_comment = 1.0f,
        volume_music = 0.6f;
  uint8_t music_cat1 = 1, music_cat2 = 1, music_cat3 = 1;
  int32_t music_mode = 0;
  int32_t num_audible_channels = 1, num_mono_channels = 2, num_bits_per_sample = 16, sample_rate = 22050;
  int32_t ghost_mode = 0, mag_filter = 2, min_filter = 2, tex_detail = 0, track_detail = 0, car_detail = 0;
  float gamma = 1.0f;
  int32_t server_address[PROFILE_SERVER_ADDRESS] = {127, 0, 0, 1};
  float steerspeed_factor = 1.0f;
  uint8_t unlocked_cars[PROFILE_MAX_CLASSES] = {};
  uint8_t unlocked_champs[PROFILE_CHAMPIONSHIPS] = {};
  int32_t champ_prizes[PROFILE_CHAMPIONSHIPS] = {};
  float lap_records[PROFILE_MAX_CLASSES][PROFILE_MAX_TRACKS] = {};
  float race_records[PROFILE_MAX_CLASSES][PROFILE_MAX_TRACKS][PROFILE_RACE_RECORDS] = {};
  int32_t champ_frame = 0, champ_color = 0;
  uint8_t in_champ = 0;
  int32_t champ_idx = 0, champ_season = 0, champ_weekend = 0;
  int32_t champ_weather_idxs[PROFILE_CHAMP_WEATHERS] = {-1, -1, -1, -1, -1, -1};
  int32_t champ_race = 0, champ_opponents = 0;
  int32_t num_champ_players = 0;
  int32_t champ_players[PROFILE_MAX_CHAMP_PLAYERS][3] = {};
  int32_t pac_highscore = 0;

  // Fields of the text form that the binary record does not hold (the driver's own settings).
  bool highDetailModel = true;
  int32_t manual = 0;
  float speed_steerin = 1.0f, speed_steerback = 1.0f, speed_throttlein = 1.0f, speed_throttleback = 1.0f,
        speed_brakein = 1.0f, speed_brakeback = 1.0f;
};

enum ProfileReadResult : int {
  PROFILE_OK = 0,
  PROFILE_WRONG_SIZE = 1,  // the file is not exactly PROFILE_RECORD_SIZE bytes: refused
};

// Reads a stored (scrambled) record. Rows of classes at or beyond classCount are left at their
// defaults; a championship player count outside 0..240 clears the championship table and state;
// binding codes that name no input become 0. Refuses (out untouched) a record of the wrong size.
ProfileReadResult PlayerProfile_Read(const uint8_t* data, size_t size, uint32_t classCount, PlayerProfile* out);

// The stored (scrambled) record; rows of classes at or beyond classCount and championship entries
// beyond the count are written as zero.
std::vector<uint8_t> PlayerProfile_Write(const PlayerProfile& profile, uint32_t classCount);

// The text form. classNames: the loaded classes' names (their rows are listed); date and time
// go into the header.
std::string PlayerProfile_FormatText(const PlayerProfile& profile, const std::vector<std::string>& classNames,
                                     const char* date, const char* time);
