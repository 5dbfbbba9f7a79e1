// The game's content records as read from the data tree at start-up: collision materials,
// racing classes with their skins and HUD pairs, computer-driver (AI) records and the music
// list. The parsers here work on bytes in memory and check every size, count and name
// terminator; the Program's loaders (Program.h) open the files and attach textures and sounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class VQTexture;
class VQSoundBuffer;
class VQNode;
class VQFont;

// ---- collision materials ("Data\Materials.bin") ---------------------------------------------
constexpr size_t MATERIALS_HEADER_SIZE = 12;  // three plain words
constexpr size_t MATERIAL_RECORD_SIZE = 192;
constexpr uint32_t MATERIALS_MAX = 256;
constexpr size_t MATERIAL_NAME_FIELD = 16;
constexpr size_t MATERIAL_FILE_FIELD = 64;

struct MaterialTextureEntry {
  uint32_t values[4] = {};  // detail tile x, tile y, base height, amplitude
  VQTexture* texture = nullptr;
  char name[MATERIAL_FILE_FIELD + 1] = {};
};

struct CollisionMaterial {
  char name[MATERIAL_NAME_FIELD + 1] = {};
  uint32_t values[6] = {};  // 16..36: stiffness, damping, friction, surface a, b, c
  char soundName[MATERIAL_FILE_FIELD + 1] = {};  // extension already ".vqw"
  float soundGain = 0.0f;
  uint32_t kept = 0;
  VQSoundBuffer* sound = nullptr;
  MaterialTextureEntry* textureEntry = nullptr;  // null: no texture named
  char textureName[MATERIAL_FILE_FIELD + 1] = {};
  uint32_t textureValues[4] = {};  // 176..188: the texture entry's four values
};

// Reads the stored file (header plain, body scrambled). False for a file shorter than the header;
// records beyond MATERIALS_MAX and a trailing partial record are ignored.
bool Materials_Parse(const uint8_t* data, size_t size, uint32_t header[3], std::vector<CollisionMaterial>& out);
// The stored form of a table of materials (for the generator and tests).
std::vector<uint8_t> Materials_Build(const uint32_t header[3], const std::vector<CollisionMaterial>& materials);

// ---- racing classes ("Data\Cars\class_<c>.bin") --------------------------------------------
constexpr size_t CLASS_RECORD_SIZE = 1940;
constexpr uint32_t CLASS_MAX = 40;
constexpr uint32_t CLASS_MAX_SKINS = 1000;
constexpr uint32_t CLASS_SOUNDS = 5;
constexpr uint32_t CLASS_IMAGES = 4;
constexpr uint32_t CLASS_MAX_PAIRS = 64;
constexpr uint32_t CLASS_HUD_TRACKS = 20;
constexpr uint32_t CLASS_NO_NUMBER = 99999;
constexpr size_t CLASS_NAME_FIELD = 64;
constexpr size_t CLASS_NAME_SIZE = 64;

// Record offsets (see data/README.md for the whole layout).
enum ClassRecordOffset : size_t {
  CLASSREC_DIFFICULTY = 0,          // u32, 1..40
  CLASSREC_SOUND_ENGINE = 4,        // five sound names: engine (human), engine (computer),
  CLASSREC_SOUND_ENGINE_AI = 72,    // road dry, road wet, horn
  CLASSREC_SOUND_ROAD_DRY = 156,
  CLASSREC_SOUND_ROAD_WET = 220,
  CLASSREC_SOUND_HORN = 304,
  CLASSREC_NUMBER = 68,             // u32 stored class number, 99999 = none
  CLASSREC_GEARS = 136,             // u32 gear count
  CLASSREC_BASE_CLASS = 140,        // u32 base class of the special classes
  CLASSREC_NUMBER_STYLE = 144,      // u32 race-number font style 0..3
  CLASSREC_MATERIAL = 376,
  CLASSREC_IMAGE_SPEED_GAUGE = 440,  // four image names: speed gauge, speed bar,
  CLASSREC_IMAGE_SPEED_BAR = 504,    // rev gauge, rev bar
  CLASSREC_IMAGE_REV_GAUGE = 568,
  CLASSREC_IMAGE_REV_BAR = 632,
  CLASSREC_SKIN_CLASS = 696,        // char[32]: the skin editor's template class
  CLASSREC_ENV_MAP = 728,           // char[64]
  CLASSREC_WHEEL_POINTS = 792,      // 4 x 3 f32
  CLASSREC_PITCH = 840,             // 2 x 2 f32
  CLASSREC_SLIP = 856,              // 4 f32
  CLASSREC_SMOKE = 872,             // 16 f32
  CLASSREC_SPRAY = 936,             // 3 x 16 f32, per rain level
  CLASSREC_ENGINE_SMOKE = 1128,     // 16 f32
  CLASSREC_RECORD_LIST = 1192,      // u32
  CLASSREC_PAIR_COUNT = 1196,       // u32, at most 64
  CLASSREC_PAIRS = 1200,            // 64 x 2 f32
};
extern const size_t g_classSoundOffsets[CLASS_SOUNDS];
extern const size_t g_classImageOffsets[CLASS_IMAGES];

struct Skin {
  char name[32] = {};
  uint8_t flag = 0;
  std::string author, version, comment, imagePath, wheels;
  bool numbers = false;
};

struct HudPair {
  float first = 0.0f;
  float second = 0.0f;  // stored times 1000
};

struct RacingClass {
  char m_name[CLASS_NAME_SIZE] = {};
  std::string m_title;
  uint32_t m_difficulty = 0;
  uint32_t m_number = CLASS_NO_NUMBER;
  char m_sounds[CLASS_SOUNDS][CLASS_NAME_FIELD + 1] = {};
  char m_materialName[CLASS_NAME_FIELD + 1] = {};
  const CollisionMaterial* m_material = nullptr;
  char m_imageNames[CLASS_IMAGES][CLASS_NAME_FIELD + 1] = {};
  VQTexture* m_images[CLASS_IMAGES] = {};
  uint8_t m_record[CLASS_RECORD_SIZE] = {};  // the record as read, for the race's numeric fields
  uint32_t m_pairCount = 0;
  float m_pairs[CLASS_MAX_PAIRS][2] = {};
  HudPair m_hud[CLASS_HUD_TRACKS];
  std::vector<Skin*> m_skins;  // at most CLASS_MAX_SKINS, owned
  VQNode* m_menuModels[2] = {};
  VQFont* m_font = nullptr;
  uint32_t m_championships = 0;
  ~RacingClass();
};

// Fills the class's record fields from a stored (scrambled) record. False, cls unchanged, when the
// data are shorter than the record (a short file). Names are cut at their fields; the sound names
// get ".vqw" in place of their last four characters; the pair count is limited to 64.
bool ClassRecord_Parse(const uint8_t* data, size_t size, RacingClass* cls);
// The stored form of a record (scrambled), built from the plain bytes.
std::vector<uint8_t> ClassRecord_Store(const uint8_t plain[CLASS_RECORD_SIZE]);

// ---- computer drivers ("Data\class_AI_<t>.bin") ---------------------------------------------
constexpr size_t AI_RECORD_SIZE = 260;
constexpr uint32_t AI_MAX_RECORDS = 512;
constexpr uint32_t AI_MAX_CLASSES = 40;  // class slots a driver's class index may name
enum AIRecordOffset : size_t {
  AIREC_AVAILABLE = 0,
  AIREC_NUMBER = 4,
  AIREC_NAME = 8,  // char[20]
  AIREC_COLOR = 28,
  AIREC_CLASS = 32,
  AIREC_PARAMS = 36,  // 36 f32 driving parameters (data/README.md)
  AIREC_TIMES = 180,  // 20 f32 reference race times per track
};
struct AIDriverRecord {
  uint8_t bytes[AI_RECORD_SIZE];
};
// Unscrambles the file's bytes and cuts them into records (at most AI_MAX_RECORDS; the rest and a
// partial record are ignored); a class index outside 0 .. AI_MAX_CLASSES - 1 becomes 0.
void AI_Parse(const uint8_t* data, size_t size, std::vector<AIDriverRecord>& out);

// ---- HUD parameters ("Data\hud.ini") --------------------------------------------------------
// Calls pair(classIndex, trackIndex, first, second * 1000) for each pair of a known class and a
// track below 20; warn(name) for a block of an unknown class.
void Hud_Parse(const char* data, size_t size, const std::function<int(const char*)>& findClass,
               const std::function<int(const char*)>& findTrack,
               const std::function<void(int, int, float, float)>& pair,
               const std::function<void(const char*)>& warnUnknownClass);

// ---- music list ("Data\Music.ini") ----------------------------------------------------------
constexpr uint32_t MUSIC_MAX_RACE_TITLES = 50;
enum MusicKey : int { MUSIC_INTRO1, MUSIC_INTRO2, MUSIC_INTRO3, MUSIC_OUTTRO, MUSIC_MENUS, MUSIC_PODIUM,
                      MUSIC_NOPODIUM, MUSIC_KEY_COUNT };
struct MusicList {
  std::string titles[MUSIC_KEY_COUNT];
  struct RaceTitle {
    std::string name;
    int category;  // 1 surf, 2 rock, 3 dance
  };
  std::vector<RaceTitle> race;
};
void Music_Parse(const char* data, size_t size, MusicList& out);
extern const char* const g_musicKeys[MUSIC_KEY_COUNT];

// ---- skins (description "<prefix><class> <skin>.txt" beside its ".tga") --------------------
// Splits a description file name: the part after the first three characters (at most 29), up to
// the first space is the class, behind it up to the first "." the skin. False for a name without
// space or without "." behind it.
bool Skin_SplitName(const char* fileName, std::string& className, std::string& skinName);
// Reads a description text into skin; false (the skin to be dropped) for an unknown key.
bool Skin_Parse(const char* data, size_t size, Skin* skin);
