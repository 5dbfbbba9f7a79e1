#include "QVX/shell/Content.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "QVX/shell/RecordBytes.h"
#include "QVX/shell/ShellText.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQscramble.h"

const size_t g_classSoundOffsets[CLASS_SOUNDS] = {CLASSREC_SOUND_ENGINE, CLASSREC_SOUND_ENGINE_AI,
                                                  CLASSREC_SOUND_ROAD_DRY, CLASSREC_SOUND_ROAD_WET,
                                                  CLASSREC_SOUND_HORN};
const size_t g_classImageOffsets[CLASS_IMAGES] = {CLASSREC_IMAGE_SPEED_GAUGE, CLASSREC_IMAGE_SPEED_BAR,
                                                  CLASSREC_IMAGE_REV_GAUGE, CLASSREC_IMAGE_REV_BAR};
const char* const g_musicKeys[MUSIC_KEY_COUNT] = {"intro1", "intro2", "intro3", "outtro",
                                                  "menus",  "podium", "nopodium"};

namespace {
// Replaces the last four characters of a name by ".vqw" (names shorter than four keep theirs
// and get the extension appended, so nothing is written before the buffer).
void ToVqw(char* name, size_t size) {
  const size_t n = std::strlen(name);
  if (n == 0) return;
  const size_t at = n >= 4 ? n - 4 : n;
  if (at + 5 > size) return;
  std::memcpy(name + at, ".vqw", 5);
}
}  // namespace

bool Materials_Parse(const uint8_t* data, size_t size, uint32_t header[3], std::vector<CollisionMaterial>& out) {
  out.clear();
  if (size < MATERIALS_HEADER_SIZE) return false;
  for (int i = 0; i < 3; ++i) header[i] = Record_GetU32(data, 4 * size_t(i));
  std::vector<uint8_t> body(data + MATERIALS_HEADER_SIZE, data + size);
  VQscramble(body.data(), body.size(), nullptr, 0);
  size_t count = body.size() / MATERIAL_RECORD_SIZE;
  if (count > MATERIALS_MAX) count = MATERIALS_MAX;
  out.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* r = body.data() + i * MATERIAL_RECORD_SIZE;
    CollisionMaterial& m = out[i];
    Record_GetName(m.name, sizeof m.name, r, 0, MATERIAL_NAME_FIELD);
    for (int k = 0; k < 6; ++k) m.values[k] = Record_GetU32(r, 16 + 4 * size_t(k));
    Record_GetName(m.soundName, sizeof m.soundName, r, 40, MATERIAL_FILE_FIELD);
    ToVqw(m.soundName, sizeof m.soundName);
    m.soundGain = Record_GetF32(r, 104);
    m.kept = Record_GetU32(r, 108);
    Record_GetName(m.textureName, sizeof m.textureName, r, 112, MATERIAL_FILE_FIELD);
    for (int k = 0; k < 4; ++k) m.textureValues[k] = Record_GetU32(r, 176 + 4 * size_t(k));
  }
  return true;
}

std::vector<uint8_t> Materials_Build(const uint32_t header[3], const std::vector<CollisionMaterial>& materials) {
  std::vector<uint8_t> out(MATERIALS_HEADER_SIZE + materials.size() * MATERIAL_RECORD_SIZE, 0);
  for (int i = 0; i < 3; ++i) Record_PutU32(out.data(), 4 * size_t(i), header[i]);
  for (size_t i = 0; i < materials.size(); ++i) {
    uint8_t* r = out.data() + MATERIALS_HEADER_SIZE + i * MATERIAL_RECORD_SIZE;
    const CollisionMaterial& m = materials[i];
    Record_PutName(r, 0, MATERIAL_NAME_FIELD, m.name);
    for (int k = 0; k < 6; ++k) Record_PutU32(r, 16 + 4 * size_t(k), m.values[k]);
    Record_PutName(r, 40, MATERIAL_FILE_FIELD, m.soundName);
    Record_PutF32(r, 104, m.soundGain);
    Record_PutU32(r, 108, m.kept);
    Record_PutName(r, 112, MATERIAL_FILE_FIELD, m.textureName);
    for (int k = 0; k < 4; ++k) Record_PutU32(r, 176 + 4 * size_t(k), m.textureValues[k]);
  }
  VQscramble(out.data() + MATERIALS_HEADER_SIZE, out.size() - MATERIALS_HEADER_SIZE, nullptr, 0);
  return out;
}

RacingClass::~RacingClass() {
  for (Skin* s : m_skins) delete s;
}

bool ClassRecord_Parse(const uint8_t* data, size_t size, RacingClass* cls) {
  if (size < CLASS_RECORD_SIZE) return false;
  uint8_t r[CLASS_RECORD_SIZE];
  std::memcpy(r, data, CLASS_RECORD_SIZE);
  VQscramble(r, CLASS_RECORD_SIZE, nullptr, 0);
  std::memcpy(cls->m_record, r, CLASS_RECORD_SIZE);
  cls->m_difficulty = Record_GetU32(r, CLASSREC_DIFFICULTY);
  cls->m_number = Record_GetU32(r, CLASSREC_NUMBER);
  for (uint32_t i = 0; i < CLASS_SOUNDS; ++i) {
    Record_GetName(cls->m_sounds[i], sizeof cls->m_sounds[i], r, g_classSoundOffsets[i], CLASS_NAME_FIELD);
    ToVqw(cls->m_sounds[i], sizeof cls->m_sounds[i]);
  }
  Record_GetName(cls->m_materialName, sizeof cls->m_materialName, r, CLASSREC_MATERIAL, CLASS_NAME_FIELD);
  for (uint32_t i = 0; i < CLASS_IMAGES; ++i)
    Record_GetName(cls->m_imageNames[i], sizeof cls->m_imageNames[i], r, g_classImageOffsets[i], CLASS_NAME_FIELD);
  uint32_t pairs = Record_GetU32(r, CLASSREC_PAIR_COUNT);
  if (pairs > CLASS_MAX_PAIRS) pairs = CLASS_MAX_PAIRS;
  cls->m_pairCount = pairs;
  for (uint32_t i = 0; i < pairs; ++i) {
    cls->m_pairs[i][0] = Record_GetF32(r, CLASSREC_PAIRS + 8 * size_t(i));
    cls->m_pairs[i][1] = Record_GetF32(r, CLASSREC_PAIRS + 8 * size_t(i) + 4);
  }
  return true;
}

std::vector<uint8_t> ClassRecord_Store(const uint8_t plain[CLASS_RECORD_SIZE]) {
  std::vector<uint8_t> out(plain, plain + CLASS_RECORD_SIZE);
  VQscramble(out.data(), out.size(), nullptr, 0);
  return out;
}

void AI_Parse(const uint8_t* data, size_t size, std::vector<AIDriverRecord>& out) {
  out.clear();
  size_t count = size / AI_RECORD_SIZE;
  if (count > AI_MAX_RECORDS) count = AI_MAX_RECORDS;
  std::vector<uint8_t> plain(data, data + count * AI_RECORD_SIZE);
  VQscramble(plain.data(), plain.size(), nullptr, 0);
  out.resize(count);
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(out[i].bytes, plain.data() + i * AI_RECORD_SIZE, AI_RECORD_SIZE);
    // Each driver keeps the racing class the file gives it, so that every class has its own
    // drivers (a single race of one class finds opponents); a value outside the class slots
    // becomes class 0.
    const int32_t cls = Record_GetI32(out[i].bytes, AIREC_CLASS);
    if (cls < 0 || cls >= int32_t(AI_MAX_CLASSES)) Record_PutI32(out[i].bytes, AIREC_CLASS, 0);
  }
}

void Hud_Parse(const char* data, size_t size, const std::function<int(const char*)>& findClass,
               const std::function<int(const char*)>& findTrack,
               const std::function<void(int, int, float, float)>& pair,
               const std::function<void(const char*)>& warnUnknownClass) {
  ShellTextReader reader(data, size);
  char word[256];
  while (reader.ReadWordAtEnd(word, sizeof word)) {
    if (ShellText_IsComment(word)) {
      reader.SkipLine();
      continue;
    }
    const int cls = findClass(word);
    if (cls < 0) warnUnknownClass(word);
    reader.ReadWordAtEnd(word, sizeof word);  // "{"
    while (reader.ReadWordAtEnd(word, sizeof word)) {
      if (ShellText_IsComment(word)) {
        reader.SkipLine();
        continue;
      }
      if (std::strcmp(word, "}") == 0) break;
      char a[64], b[64];
      reader.ReadWordAtEnd(a, sizeof a);
      reader.ReadWordAtEnd(b, sizeof b);
      const int track = findTrack(word);
      if (cls >= 0 && track >= 0 && track < int(CLASS_HUD_TRACKS))
        pair(cls, track, std::strtof(a, nullptr), std::strtof(b, nullptr) * 1000.0f);
    }
  }
}

void Music_Parse(const char* data, size_t size, MusicList& out) {
  ShellTextReader reader(data, size);
  char key[64];
  char word[256];
  char value[256];
  while (reader.ReadWord(key, sizeof key)) {
    if (ShellText_IsComment(key)) {
      reader.SkipLine();
      continue;
    }
    reader.ReadWordAtEnd(word, sizeof word);
    reader.ReadValue(value, sizeof value);
    VQstring_ToLower(key);
    VQstring_ToLower(value);
    if (VQstring_IsBlank(value)) continue;
    for (int k = 0; k < MUSIC_KEY_COUNT; ++k)
      if (std::strcmp(key, g_musicKeys[k]) == 0) out.titles[k] = value;
    static const char* const kCategories[3] = {"ontracksurf", "ontrackrock", "ontrackdance"};
    for (int c = 0; c < 3; ++c)
      if (std::strcmp(key, kCategories[c]) == 0 && out.race.size() < MUSIC_MAX_RACE_TITLES)
        out.race.push_back({value, c + 1});
  }
}

bool Skin_SplitName(const char* fileName, std::string& className, std::string& skinName) {
  const size_t len = std::strlen(fileName);
  if (len <= 3) return false;
  std::string rest(fileName + 3, std::min<size_t>(len - 3, 29));
  const size_t space = rest.find(' ');
  if (space == std::string::npos) return false;
  className = rest.substr(0, space);
  std::string after = rest.substr(space + 1, 29);
  const size_t dot = after.find('.');
  if (dot == std::string::npos) return false;
  skinName = after.substr(0, dot);
  // An empty class name is a valid split: no class has that name, which the caller reports.
  return !skinName.empty();
}

bool Skin_Parse(const char* data, size_t size, Skin* skin) {
  ShellTextReader reader(data, size);
  char key[64];
  char word[256];
  char value[1024];
  while (reader.ReadWord(key, sizeof key)) {
    if (ShellText_IsComment(key)) {
      reader.SkipLine();
      continue;
    }
    reader.ReadWordAtEnd(word, sizeof word);
    reader.ReadValue(value, sizeof value);
    VQstring_ToLower(key);
    if (std::strcmp(key, "author") == 0) {
      skin->author = value;
    } else if (std::strcmp(key, "version") == 0) {
      skin->version = value;
    } else if (std::strcmp(key, "comment") == 0) {
      skin->comment = value;
    } else if (std::strcmp(key, "numbers") == 0) {
      skin->numbers = strcasecmp(value, "on") == 0;
    } else if (std::strcmp(key, "wheels") == 0) {
      skin->wheels = value;
    } else {
      return false;
    }
  }
  return true;
}
