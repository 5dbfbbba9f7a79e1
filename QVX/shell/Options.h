// The rules of the options pages as plain functions: volume limits, detail and music-mode steps,
// the gamma slider, the sound defaults, rebinding a control, and the ordered insertion of a new
// profile name. The menu pages call these and apply the results to the devices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PlayerProfile;

constexpr float OPTIONS_MIN_CARS_VOLUME = 0.25f;
constexpr float OPTIONS_MENU_MUSIC_FACTOR = 0.75f;  // music volume in the menus: master x this
constexpr float OPTIONS_GAMMA_RANGE = 0.3f;         // gamma runs from -0.3 to 0.3
constexpr float OPTIONS_GAMMA_DISPLAY = 0.75f;      // the window gets gamma x this
constexpr uint32_t OPTIONS_MAX_PROFILES = 256;
constexpr int OPTIONS_BINDING_ITEMS = 10;  // items 30..39
constexpr int OPTIONS_FIRST_BINDING_ITEM = 30;

// Message strings of the options pages.
enum OptionsText : int32_t {
  OPTTEXT_LOW = 122,
  OPTTEXT_MEDIUM = 123,
  OPTTEXT_HIGH = 124,
  OPTTEXT_ON = 127,
  OPTTEXT_OFF = 128,
  OPTTEXT_BINDING_HELP = 1411,
  OPTTEXT_BINDING_WAIT = 1412,
  OPTTEXT_BINDING_RESERVED = 1420,
  OPTTEXT_BINDING_SHARED = 1421,
  OPTTEXT_MUSIC_MODE1 = 1620,
  OPTTEXT_MUSIC_MODE2 = 1621,
  OPTTEXT_MUSIC_MODE0 = 1622,
};

// The input codes that cannot be bound: Tab, Escape and F9 run the menus and screenshots.
constexpr int32_t OPTIONS_RESERVED_CODES[3] = {212, 213, 281};

float Options_CarsVolume(float value);  // never below 0.25, never above 1
float Options_Volume(float value);      // limited to 0..1
// Detail (and music mode) steps: increase 0 -> 1 -> 2 -> 0, decrease 0 -> 2 -> 1 -> 0. Values
// outside 0..2 start again from 0.
int32_t Options_Step3(int32_t value, bool increase);
// Value text of a detail item: 122/123/124 for 0/1/2; the particle item 184: 128/122/124.
int32_t Options_DetailText(int32_t item, int32_t value);
int32_t Options_MusicModeText(int32_t mode);
float Options_GammaFromSlider(float slider);
float Options_SliderFromGamma(float gamma);  // limited to the slider's 0..1
// Music volume: in the menus 0.75 x master, in a race music x master.
float Options_MusicVolume(const PlayerProfile& p, bool inRace);
// Master 1.0, ambient 0.9, cars 0.9, commentary 1.0, music 0.7; the three categories on; mode 2.
void Options_RestoreSoundDefaults(PlayerProfile& p);

// The binding slot of items 30..39 (slots 0, 1, 2, 3, 11, 12, 13, 10, 9, 14); -1 for others.
int Options_BindingSlot(int32_t item);
bool Options_IsReservedCode(int32_t code);
// True when the code stands in one of the profile's 15 stored slots other than exceptSlot
// (-1: any slot).
bool Options_IsBound(const PlayerProfile& p, int32_t code, int exceptSlot);

enum BindingCapture : int {
  BINDCAP_RESERVED = 0,  // Tab, Escape or F9: refused, help 1420, the capture waits on
  BINDCAP_NO_CODE = 1,   // not an input code (0, unassigned): ignored, the capture waits on
  BINDCAP_BOUND = 2,     // bound; help 1411
  BINDCAP_SHARED = 3,    // bound, and the code also works another control; help 1421
  BINDCAP_NO_ITEM = 4,   // the focused item is no binding item: nothing changes
};
// One captured input for the binding item: checks the code and, when it may be bound, stores it
// in the item's slot of player. other: the other local player (null when none or the same).
// A code already in use stays where it is as well; nothing else is unbound.
BindingCapture Options_CaptureBinding(PlayerProfile& player, const PlayerProfile* other,
                                      int32_t item, int32_t code);
int32_t Options_CaptureHelpText(BindingCapture result);

enum ProfileNameCheck : int32_t {
  PROFILENAME_OK = 0,
  PROFILENAME_FULL = 17,    // 256 profiles: the page that says so
  PROFILENAME_EMPTY = 18,   // empty, or not usable as a file name
  PROFILENAME_EXISTS = 19,  // equal to a profile name, letters in any case
};
// Whether a typed name can become a new profile.
ProfileNameCheck Options_CheckProfileName(const std::vector<std::string>& names, const char* name);
// The place a new name takes: behind the last name that sorts before it (lower case against
// lower case).
size_t Options_ProfileInsertIndex(const std::vector<std::string>& names, const char* name);
// The second profile made for the first profile of an installation: "Player2", or "Player1" when
// the first is called "player2" in any case.
const char* Options_SecondProfileName(const char* firstName);
