// The weather of a race as the player sees and hears it: falling rain drawn as a cloud of thin
// streaks that travels with the camera, a looping rain sound, and thunderstorms in which the sky
// dome, the fog and the sun light flash and a thunder sound follows after a delay. The object
// hooks itself into the track's scene with callback nodes whose callbacks run while a view
// renders.
//
// The track may build it on the race loader thread while the main thread draws the loading
// screen. The constructor therefore touches only the track's own scene, its own memory and the
// files it reads: the sound buffers are made and the streak mesh is handed to the display device
// on the main thread, the first time a callback runs (or by Realize).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Zentri/math/VQColor.h"
#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/scene/VQNode.h"

class VQCallbackNode;
class VQGeosetNode;
class VQLightNode;
class VQFogNode;
class VQMaterial;
class VQMesh;
class VQSoundBuffer;
class VQSoundDevice;
class VQTransformNode;

constexpr uint32_t WEATHER_MAX_THUNDER = 16;
constexpr uint32_t WEATHER_MAX_VIEWS = 4;
constexpr uint32_t WEATHER_CURVE_POINTS = 16;
constexpr uint32_t RAIN_MIN_STREAKS = 100;
constexpr uint32_t RAIN_STREAK_RANGE = 2900;  // streaks added at density 1.0
constexpr float RAIN_LEAN = 0.07f;            // radians of lean per m/s of camera speed
constexpr size_t WEATHER_THUNDER_COUNT_OFFSET = 1768;
constexpr size_t WEATHER_THUNDER_WEIGHTS_OFFSET = 2284;
constexpr size_t WEATHER_DOME_FOLLOW_OFFSET = 2404;

// Decoded rain record (104 bytes). Every value is clamped to its range when decoded.
struct RainConfig {
  char name[33] = {};
  float density = 0.0f;        // 0..1: 100 to 3000 streaks
  float fallSpeed = 0.0f;      // 0..100 units per second
  float width = 0.0f;          // 0..1
  float height = 0.0f;         // 0..10
  float opacity = 0.0f;        // 0..1
  VQColor colour{1, 1, 1, 1};  // each 0..1
  char sound[33] = {};         // ".wav" name
  float gain = 1.0f;           // 0..1
};

// Decoded thunder record (212 bytes), clamped likewise.
struct ThunderConfig {
  char name[33] = {};
  float flashDuration = 0.0f;                // 0..10 s
  float pauseMin = 0.0f, pauseRange = 0.0f;  // 0..600 s each
  char sound[33] = {};
  float delayMin = 0.0f, delayRange = 0.0f;  // 0..60 s each
  float gainMin = 0.0f, gainRange = 0.0f;    // 0..1 each
  VQColor flash{1, 1, 1, 1};
  VQColor ambientFlash{1, 1, 1, 1};
  float ambientFactor = 0.0f;  // 0..1
  VQColor diffuseFlash{1, 1, 1, 1};
  float diffuseFactor = 0.0f;              // 0..1
  float curve[WEATHER_CURVE_POINTS] = {};  // 0..1
};

void RainConfig_Decode(const uint8_t* record, RainConfig& out);
void ThunderConfig_Decode(const uint8_t* record, ThunderConfig& out);
// The thunder weights (0..1 each, count cut to 16) and the dome follow factor (0..1) of a
// 2424-byte weather record.
uint32_t WeatherConfig_ThunderWeights(const uint8_t* record, float* weights);
float WeatherConfig_DomeFollow(const uint8_t* record);
// The first variant whose cumulative weight exceeds u, else 0.
uint32_t Weather_PickVariant(const float* weights, uint32_t count, float u);

// The cloud of rain streaks: a mesh of thin upright triangles around the camera's axis in a band
// two units high, drawn twice on top of itself, moved with the camera and scrolled down.
class RainStreaks : public VQEffect {
 public:
  // Builds the mesh and the scene nodes (no display device yet); random gives integers.
  RainStreaks(const RainConfig& rain, uint32_t (*random)(void*), void* randomState);
  ~RainStreaks() override;

  // Makes the material and hands the mesh to the display device (main thread; once).
  void Prepare();
  void SetOpacity(float value);
  float GetOpacity() const;
  void Draw() override;
  void Update(const VQMatrix*) override {}
  // Moves the rain to the camera (leaning against its horizontal velocity) and scrolls the
  // view's offset down by step x fall speed, wrapping it into -1..1.
  void Update(const VQMatrix& camera, const VQVector& velocity, VQVector& scroll, float step);

  uint32_t m_words[2] = {0, 1};
  VQGeosetNode* m_geosetNode = nullptr;  // owned through the transform node
  VQMesh* m_mesh = nullptr;              // owned by the geoset
  VQTransformNode* m_transform = nullptr;
  float m_fallSpeed = 0.0f;
  uint32_t m_streaks = 0;
  VQMaterial* m_material = nullptr;  // made by Prepare
  uint8_t m_prepared = 0;
  VQColor m_pendingColour{1, 1, 1, 1};
  float m_pendingOpacity = 0.0f;
};

struct WeatherScrollState {
  int32_t words[3] = {1, 1, 0};
  VQVector offset{0, 0, 0};
};

// Everything the weather effects take from the track, read before they are built.
struct WeatherSetup {
  const RainConfig* rain = nullptr;  // null: no rain
  uint32_t thunderCount = 0;
  ThunderConfig thunder[WEATHER_MAX_THUNDER];
  float weights[WEATHER_MAX_THUNDER] = {};
  float domeFollow = 0.0f;
  VQNode* sceneGroup = nullptr;    // receives the rain callback node
  VQSoundDevice* sound = nullptr;  // null: silent
  std::string soundFolder;         // where "<name>.vqw" files are
  uint32_t seed = 1;
  float effectsVolume = 1.0f, masterVolume = 1.0f;
};

class WeatherEffects {
 public:
  WeatherEffects(VQNode* dome, VQNode* dome2, VQNode* sunLight, VQNode* spare,
                 const VQVector& sunDirection, void* spareObject, VQFogNode* fog,
                 const WeatherSetup& setup);
  ~WeatherEffects();
  WeatherEffects(const WeatherEffects&) = delete;
  WeatherEffects& operator=(const WeatherEffects&) = delete;

  // Makes the sound buffers and hands the streak mesh to the display device; main thread.
  // Runs by itself the first time a callback runs. Idempotent.
  void Realize();
  // The ambient volume times the master volume: the rain and the thunder play at it (a change
  // reaches a rain that already plays).
  void SetVolume(float volume);
  // The rain's own share (the fly-in fades it in), on top of SetVolume's.
  void SetRainVolume(float volume);
  // Told by the race every frame: the frame step and which view renders now.
  void SetFrameStep(float step) { m_frameStep = step; }
  void SetCurrentView(uint32_t index) { m_currentView = index < WEATHER_MAX_VIEWS ? index : 0; }

  // The callbacks (also called directly by tests): the camera is the one rendering.
  bool RainCallback(const VQMatrix& camera, const VQVector& velocity);
  void StormCallback(const VQVector& cameraPosition);
  uint32_t DrawVariant();
  float Random01();  // (random mod 1001) x 0.001

  VQCallbackNode* m_domeWrapper = nullptr;
  VQNode* m_dome = nullptr;
  VQNode* m_dome2 = nullptr;
  VQLightNode* m_sun = nullptr;
  float m_fadeRate = 5.0f;
  VQVector m_sunDirection{0, 0, 1};
  float m_distance = 2.0f;
  RainStreaks* m_rain = nullptr;
  VQCallbackNode* m_rainNode = nullptr;
  VQSoundBuffer* m_rainSample = nullptr;
  uint8_t m_rainStarted = 0;
  float m_rainVolume = 1.0f;  // the rain's own volume
  float m_volume = 1.0f;      // ambient x master, from the track
  VQFogNode* m_fog = nullptr;
  VQColor m_fogSaved{0, 0, 0, 0};
  uint32_t m_variant = 0;
  float m_flashCountdown = 0.0f;
  float m_flashLength = 0.0f;
  uint8_t m_storm = 0;  // 0 waiting, 1 flashing
  float m_flashTime = 0.0f;
  float m_thunderDelay = 0.0f;
  VQSoundBuffer* m_thunderSamples[WEATHER_MAX_THUNDER] = {};
  VQColor m_domeSaved{1, 1, 1, 1}, m_dome2Saved{1, 1, 1, 1};
  VQColor m_domeEmissionSaved{0, 0, 0, 1}, m_dome2EmissionSaved{0, 0, 0, 1};
  VQColor m_sunAmbientSaved{0, 0, 0, 1}, m_sunDiffuseSaved{1, 1, 1, 1};
  float m_domeFollow = 0.0f;
  WeatherScrollState m_scroll[WEATHER_MAX_VIEWS];

  VQMaterial* m_domeMaterial = nullptr;
  VQMaterial* m_dome2Material = nullptr;
  uint32_t m_thunderCount = 0;
  ThunderConfig m_thunder[WEATHER_MAX_THUNDER];
  float m_weights[WEATHER_MAX_THUNDER] = {};
  float m_rainGain = 1.0f;
  float m_frameStep = 0.0f;
  uint32_t m_currentView = 0;
  uint32_t m_random = 1;
  uint8_t m_realized = 0;
  VQSoundDevice* m_sound = nullptr;
  std::string m_rainPath;
  std::string m_thunderPaths[WEATHER_MAX_THUNDER];

 private:
  void ApplyFlash(float b);
  void RestoreFlash();
};
