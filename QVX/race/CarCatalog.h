// The cars of the racing classes as the race uses them: per class its record (gear count,
// engine pitch, slip sound, wheel points, smoke and spray tuning, contact spheres, sound names),
// its scene model at each detail level (loaded once, cloned by every Car), and the settings of
// the game shell that every car reads (effect level, volumes, shadows). The Program keeps one
// (Program::m_carCatalog); tests and tools make their own over any data tree.
//
// Files, below the data root (backslashes; the path layer maps them):
//   Data\Cars\<class>\<class>_<detail>.vqo           scene model, detail 0 (low) .. 2 (high)
//   Data\Cars\<track>\tolvu_<class>_<level>.bin      model data (store image), level high|mid
//   Data\Cars\default\tolvu_<class>_<level>.bin      the same for every track without its own
// Textures are searched in Data\Maps_high (Maps_low at texture quality 0); sounds through the
// sound device's cache (Data\Audio).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QVX/shell/Content.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/math/VQVector.h"

class VQNode;
class VQDisplayDevice;
class VQSoundDevice;
class VQSoundBuffer;
class VQTexture;

constexpr uint32_t CAR_DETAIL_LEVELS = 3;
constexpr uint32_t CAR_MAX_SPHERES = 8;
constexpr const char* CAR_DEFAULT_MODEL_FOLDER = "default";

// Offsets of the class record fields that the cars read, beyond those of Content.h (the
// layout is in data/README.md).
enum CarRecordOffset : size_t {
  CARREC_GAINS = 284,          // 4 f32: engine (human), engine (computer), road, horn
  CARREC_SPHERE_COUNT = 1712,  // u32, at most CAR_MAX_SPHERES
  CARREC_SPHERES = 1716,       // 8 x (centre 3 f32, radius f32)
  CARREC_SPHERE_FLAGS = 1844,  // 8 u8: non-zero = no track contacts for the sphere
};

// One class's car, as read from its record.
struct CarClassInfo {
  std::string name;
  uint32_t classIndex = 0;
  uint32_t gears = 5;
  float pitch[2][2] = {{0.6f, 1.8f}, {0.5f, 1.4f}};  // [human, computer] (base, per 10000 rpm)
  float slip[4] = {0.2f, 1.0f, 0.8f,
                   1.2f};  // pitch per slip, pitch offset, gain threshold, cross-weight
  float gains[4] = {1.0f, 0.8f, 0.6f, 1.0f};  // engine human, engine computer, road, horn
  float wheelPoints[4][3] = {};               // lf, rf, lr, rr (car space)
  float smoke[16] = {};        // tyre smoke: 0 present, 1 emission, 2 velocity factor,
                               // 3..5 velocity offset, 6 gain, 7 slip threshold
  float spray[3][16] = {};     // per rain level: 0 present, 1 velocity factor,
                               // 2..4 offset, 5 height weight, 6 height offset, 7 ceiling
  float engineSmoke[16] = {};  // 0 present, 1..3 position, 4 emission, 5 velocity factor,
                               // 6..8 velocity offset, 9..11 rpm weight vector
  char sounds[CLASS_SOUNDS][CLASS_NAME_FIELD + 1] =
      {};  // engine, engine computer, road dry, wet, horn
  char envMap[65] = {};
  uint32_t sphereCount = 0;
  VQVector sphereCentres[CAR_MAX_SPHERES];
  float sphereRadii[CAR_MAX_SPHERES] = {};
  uint8_t sphereFlags[CAR_MAX_SPHERES] = {};
  const VQContactMaterial* material = nullptr;  // of the contact spheres; may be null
  VQContactMaterial contact{};  // own contact values made from a game material (AddProgramClasses)
  VQNode* models[CAR_DETAIL_LEVELS] = {};  // loaded on first use, owned by the catalog
};

// Fills info from a plain (unscrambled) class record. Counts are bounded: gears to 1..6,
// spheres to CAR_MAX_SPHERES; non-finite numbers become 0.
void CarClassInfo_FromRecord(const uint8_t record[CLASS_RECORD_SIZE], CarClassInfo* info);

class CarCatalog {
 public:
  // dataRoot: the folder that holds "Data" ("." for the working folder). The devices may be
  // null: without a display device no scene models load (cars cannot be created), without a
  // sound device cars are silent.
  CarCatalog(const char* dataRoot, VQDisplayDevice* display, VQSoundDevice* sound);
  ~CarCatalog();
  CarCatalog(const CarCatalog&) = delete;
  CarCatalog& operator=(const CarCatalog&) = delete;

  // Adds a class from its plain record; false when the name is empty or already present.
  bool AddClass(const char* name, const uint8_t record[CLASS_RECORD_SIZE],
                const VQContactMaterial* material);
  // Reads "Data\Cars\class_<name>.bin" (scrambled); false when it cannot be read.
  bool LoadClass(const char* name, const VQContactMaterial* material);
  // Adds every class of the Program's class table (records already read at start-up). The
  // contact spheres get the engine's default stiffness and damping and the friction of the
  // class's collision material (its third value in hundredths), else of the last material.
  void AddProgramClasses();

  CarClassInfo* Find(const char* name);
  uint32_t GetClassCount() const { return uint32_t(m_classes.size()); }
  CarClassInfo* GetClass(uint32_t i) { return i < m_classes.size() ? m_classes[i] : nullptr; }

  // The class's scene model at a detail level (0..2, clamped), loaded once; null (with a log
  // line) when the file is missing or broken.
  VQNode* GetModel(CarClassInfo* info, uint32_t detail);
  // The model data file of a car for a track: the track's own when it exists, else the default
  // folder's; "" when neither exists (path then receives the track's path for the message).
  std::string FindModelFile(const char* track, const char* car, bool high,
                            std::string* tried) const;
  // A buffer for the named sample through the sound device's cache; null without sound device
  // or sample. Give it back with ReleaseSound.
  VQSoundBuffer* LoadSound(const char* name);
  void ReleaseSound(VQSoundBuffer* buffer);

  const std::string& GetDataRoot() const { return m_root; }
  VQDisplayDevice* GetDisplay() const { return m_display; }
  VQSoundDevice* GetSound() const { return m_sound; }

  // Game settings every car reads.
  uint32_t m_effectLevel = 2;     // 0 none, 1 half, 2 full
  uint32_t m_textureQuality = 2;  // 0: the low texture folder
  float m_volumeCars = 1.0f;
  float m_volumeMaster = 1.0f;
  uint8_t m_shadows = 0;
  // Material words per detail level copied into the wheels' and body's first materials.
  uint32_t m_detailWords[CAR_DETAIL_LEVELS][4] = {};

 private:
  std::string m_root;
  VQDisplayDevice* m_display;
  VQSoundDevice* m_sound;
  std::vector<CarClassInfo*> m_classes;
};
