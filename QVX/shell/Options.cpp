#include "QVX/shell/Options.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "QVX/race/Player.h"
#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/InputCodes.h"

float Options_Volume(float value) { return value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f; }

float Options_CarsVolume(float value) {
  value = Options_Volume(value);
  return value < OPTIONS_MIN_CARS_VOLUME ? OPTIONS_MIN_CARS_VOLUME : value;
}

int32_t Options_Step3(int32_t value, bool increase) {
  if (value < 0 || value > 2) value = 0;
  return increase ? (value + 1) % 3 : (value + 2) % 3;
}

int32_t Options_DetailText(int32_t item, int32_t value) {
  if (value < 0 || value > 2) value = 0;
  if (item == 184) {
    static const int32_t kParticle[3] = {OPTTEXT_OFF, OPTTEXT_LOW, OPTTEXT_HIGH};
    return kParticle[value];
  }
  return OPTTEXT_LOW + value;
}

int32_t Options_MusicModeText(int32_t mode) {
  return mode == 1 ? OPTTEXT_MUSIC_MODE1 : mode == 2 ? OPTTEXT_MUSIC_MODE2 : OPTTEXT_MUSIC_MODE0;
}

float Options_GammaFromSlider(float slider) {
  return (2.0f * Options_Volume(slider) - 1.0f) * OPTIONS_GAMMA_RANGE;
}

float Options_SliderFromGamma(float gamma) {
  return Options_Volume((gamma * 3.3333333f + 1.0f) * 0.5f);
}

float Options_MusicVolume(const PlayerProfile& p, bool inRace) {
  return inRace ? p.volume_music * p.volume_master : OPTIONS_MENU_MUSIC_FACTOR * p.volume_master;
}

void Options_RestoreSoundDefaults(PlayerProfile& p) {
  p.volume_master = 1.0f;
  p.volume_ambient = 0.9f;
  p.volume_cars = 0.9f;
  p.volume_comment = 1.0f;
  p.volume_music = 0.7f;
  p.music_cat1 = p.music_cat2 = p.music_cat3 = 1;
  p.music_mode = 2;
}

int Options_BindingSlot(int32_t item) {
  static const int kSlots[OPTIONS_BINDING_ITEMS] = {0, 1, 2, 3, 11, 12, 13, 10, 9, 14};
  const int32_t i = item - OPTIONS_FIRST_BINDING_ITEM;
  return i >= 0 && i < OPTIONS_BINDING_ITEMS ? kSlots[i] : -1;
}

bool Options_IsReservedCode(int32_t code) {
  return std::find(std::begin(OPTIONS_RESERVED_CODES), std::end(OPTIONS_RESERVED_CODES), code) !=
         std::end(OPTIONS_RESERVED_CODES);
}

bool Options_IsBound(const PlayerProfile& p, int32_t code, int exceptSlot) {
  for (int s = 0; s < PROFILE_BINDINGS; ++s)
    if (s != exceptSlot && p.bindings[s] == code) return true;
  return false;
}

BindingCapture Options_CaptureBinding(PlayerProfile& player, const PlayerProfile* other,
                                      int32_t item, int32_t code) {
  const int slot = Options_BindingSlot(item);
  if (slot < 0) return BINDCAP_NO_ITEM;
  if (Options_IsReservedCode(code)) return BINDCAP_RESERVED;
  // A key without a binding code must not clear the control it was meant for.
  if (InputCodeClass(code) == INPUTCODE_NONE) return BINDCAP_NO_CODE;
  const bool shared = Options_IsBound(player, code, slot) ||
                      (other && other != &player && Options_IsBound(*other, code, -1));
  player.bindings[slot] = code;
  return shared ? BINDCAP_SHARED : BINDCAP_BOUND;
}

int32_t Options_CaptureHelpText(BindingCapture result) {
  switch (result) {
    case BINDCAP_RESERVED: return OPTTEXT_BINDING_RESERVED;
    case BINDCAP_SHARED: return OPTTEXT_BINDING_SHARED;
    case BINDCAP_BOUND: return OPTTEXT_BINDING_HELP;
    default: return OPTTEXT_BINDING_WAIT;
  }
}

namespace {
std::string Lower(const char* s) {
  std::string out(s ? s : "");
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}
}  // namespace

ProfileNameCheck Options_CheckProfileName(const std::vector<std::string>& names, const char* name) {
  if (names.size() >= OPTIONS_MAX_PROFILES) return PROFILENAME_FULL;
  // A name that cannot name a file in the players folder is refused like an empty one.
  if (!name || !*name || !Player_IsValidProfileName(name)) return PROFILENAME_EMPTY;
  for (const std::string& n : names)
    if (strcasecmp(n.c_str(), name) == 0) return PROFILENAME_EXISTS;
  return PROFILENAME_OK;
}

size_t Options_ProfileInsertIndex(const std::vector<std::string>& names, const char* name) {
  const std::string key = Lower(name);
  size_t at = 0;
  for (size_t i = 0; i < names.size(); ++i)
    if (Lower(names[i].c_str()) < key) at = i + 1;
  return at;
}

const char* Options_SecondProfileName(const char* firstName) {
  return Lower(firstName) == "player2" ? "Player1" : "Player2";
}
