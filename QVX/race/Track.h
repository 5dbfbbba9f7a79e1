// The loaded track of a race: its scene at the chosen detail level, the collision terrain (read
// from its cache or built and saved), the meta markers (grid, pit, podium and prize points,
// computer-driver lines and borders, checkpoints), the settings record with its sound events,
// the track cameras, the weather of this race, the start lights, the race tracker and the
// collision world. It places the racers on the grid, answers the ground and line queries of
// cars and drivers, and runs the race update of every frame (physics sub-steps, lap tracking,
// start sequence, time warnings, finish and podium).
//
// There is one Track at a time (g_track). The game shell reaches it through TrackServices (what
// the track needs of the program: devices, folders, tables, settings) and RaceHooks (events,
// messages, menu state). Racers take part through the TrackRacer interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QVX/race/RaceTracker.h"
#include "QVX/race/TrackRacer.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQlog.h"

class VQDisplayDevice;
class VQNode;
class VQRootNode;
class VQGroupNode;
class VQTransformNode;
class VQFogNode;
class VQLightNode;
class VQMaterial;
class VQTexture;
class VQImageRef;
class VQTerrainTree;
class VQCollisionWorld;
class VQVehicleModel;
class WeatherDatabase;
class Simulation;
struct CollisionMaterial;

constexpr uint32_t TRACK_MAX_PLAYERS = 32;
constexpr uint32_t TRACK_MAX_POINTS = 32;  // grid, pit and podium points each
constexpr uint32_t TRACK_MAX_PRIZES = 3;
constexpr uint32_t TRACK_MAX_AI_LINES = 10;
constexpr uint32_t TRACK_MAX_CHECKPOINTS = TRACKER_MAX_CHECKPOINTS;
constexpr uint32_t TRACK_MAX_SOUND_EVENTS = 50;
constexpr uint32_t TRACK_MAX_CAMERAS = 50;
constexpr uint32_t TRACK_MAX_COLLIDERS = 50;
constexpr uint32_t TRACK_MAX_THUNDER = 16;
constexpr uint32_t TRACK_COLLISION_SOUNDS = 10;
constexpr uint32_t TRACK_MAP_POINTS = 16;
constexpr uint32_t TRACK_SUBSTITUTIONS = 10;
constexpr uint32_t TRACK_WEATHER_VARIANTS = 16;
constexpr float TRACK_NO_GROUND = 1000000.0f;

constexpr size_t TRACK_SETTINGS_SIZE = 6516;
constexpr size_t TRACK_SOUND_EVENT_SIZE = 104;
constexpr size_t TRACK_CAMERA_SIZE = 220;
constexpr size_t TRACK_WEATHER_SIZE = 1344;

enum TrackDetail : uint32_t { TRACK_DETAIL_LOW = 0, TRACK_DETAIL_MID = 1, TRACK_DETAIL_HIGH = 2 };
extern const char* const g_trackDetailNames[4];  // "low", "mid", "high", "<none>"

enum TrackRaceState : uint32_t {
  RACE_STATE_NONE = 0,
  RACE_STATE_WAITING = 1,
  RACE_STATE_START = 2,
  RACE_STATE_RACING = 3,
  RACE_STATE_FINISH_CAMERA = 4,
  RACE_STATE_PODIUM = 5,
  RACE_STATE_ALL_FINISHED = 6,
};

enum TrackGameMode : int32_t {
  GAME_MODE_PRACTICE = 1,
  GAME_MODE_SPLIT = 2,
  GAME_MODE_SINGLE = 3,
  GAME_MODE_CHAMPIONSHIP = 4,
  GAME_MODE_COMPUTERS = 5,
  GAME_MODE_NETWORK = 6,
};

enum TrackCameraType : uint32_t {
  TRACK_CAMERA_FIXED = 1,
  TRACK_CAMERA_ATTACHED = 2,
  TRACK_CAMERA_CHASE = 3
};

// One track camera as stored (220 bytes, field by field).
struct TrackCameraRecord {
  char name[32] = {};
  uint32_t type = 0;
  int32_t kind = 0;  // selection kind
  uint8_t flag = 0;
  uint32_t values1[3] = {};   // 44, 48, 52: 4-byte values kept as bits
  VQVector vector1{0, 0, 0};  // 56
  char target[32] = {};       // 68; "<none>" for none
  float intervalFrom = 0.0f, intervalTo = 0.0f;
  uint32_t group = 0;
  uint32_t values2[3] = {};   // 112, 116, 120
  VQVector vector2{0, 0, 0};  // 124
  float matrix[16] = {};      // 136
  VQVector vector3{0, 0, 0};  // 200
  uint32_t values3[2] = {};   // 212, 216

  float Float1(int i) const;  // values1[i] read as a float
  float Float2(int i) const;
  // Reads one record; false when fewer than 220 bytes are given. Names are cut at their fields.
  bool Parse(const uint8_t* bytes, size_t size);
  void Store(uint8_t out[TRACK_CAMERA_SIZE]) const;
};

// One sound event as stored in the settings record; the track sound objects are built from these
// by the sound triggering.
struct TrackSoundEventRecord {
  uint32_t kind = 0;
  VQVector position{0, 0, 0};
  float volume = 0, range = 0, delay = 0, interval = 0;
  uint32_t repeat = 0;
  uint32_t playMode = 0;
  char sound[65] = {};  // with ".vqw" in place of its extension
  uint32_t group = 0;   // commentary group (kind 1), else 0
};

// A computer-driver line: a closed loop of points in the ground plane.
struct TrackAILine {
  float length = 0.0f;
  std::vector<VQVector2> points;
  std::vector<VQVector2> directions;  // unit, k -> k + 1, the last back to 0
  std::vector<float> lengths;
  std::vector<uint8_t> convex;

  // Builds from a marker mesh's vertices (every third one; n = count / 3 - 1 points).
  void Build(const VQVector* vertices, uint32_t vertexCount);
  uint32_t Count() const { return uint32_t(points.size()); }
};

struct TrackCollider {
  VQVector2 a, b;
  uint32_t id = 0;
};

struct TrackPoint {
  VQVector position{0, 0, 0};
  VQVector direction{0, 1, 0};  // unit
};

// What the track needs of the program. Program fills one (TrackServices_FromProgram); tests and
// tools fill their own.
struct TrackServices {
  VQDisplayDevice* display = nullptr;   // loads the scenes and textures; may be null (no textures)
  VQDisplayDevice* software = nullptr;  // loads the shadow maps; may be null
  const WeatherDatabase* weather = nullptr;
  const std::vector<CollisionMaterial>* materials = nullptr;
  std::string tracksFolder = "Data\\Tracks";
  std::string textureFolder = "Data\\Maps_high";
  std::string mapsCarsFolder = "Data\\Maps_cars";
  uint32_t detail = TRACK_DETAIL_HIGH;  // the first local player's track detail
  int32_t gameMode = GAME_MODE_SINGLE;
  uint32_t textureDivisor = 1;  // texture load factor
  uint32_t magFilter = VQFILTER_LINEAR, minFilter = VQFILTER_LINEAR;
  float physicsStep = 0.005f;
  bool sound = false;        // a sound device exists
  bool startAtOnce = false;  // races start without the start sequence
  bool repeatRace = false;   // the race follows an in-race restart request
  float volumeCars = 1.0f, volumeAmbient = 1.0f, volumeComment = 1.0f, volumeMaster = 1.0f;
};

// How the track reaches the rest of the game. Every pointer may be null.
struct RaceHooks {
  void* user = nullptr;
  void (*raceEvent)(void* user, int32_t event, TrackRacer* racer, int32_t argument) = nullptr;
  void (*error)(void* user, const char* text) = nullptr;  // a message the user must see
  void (*log)(void* user, const char* text) = nullptr;    // a line of the game log
  bool (*menuShown)(void* user) = nullptr;                // a menu page is shown
  void (*showMessage)(void* user, uint32_t textId, float seconds) = nullptr;  // on every view
  void (*showRaceResults)(void* user) = nullptr;
  void (*fillRaceResults)(void* user) = nullptr;
  void (*endRace)(void* user) = nullptr;  // computer-only race over (session request 0)
  // The fly-in and podium camera moves of the views: (state, blend 0..1) every frame.
  void (*cameraMove)(void* user, uint32_t state, float blend) = nullptr;
};

class Track {
 public:
  Track();
  ~Track();
  Track(const Track&) = delete;
  Track& operator=(const Track&) = delete;

  // Loads track t with weather w (null: none) and a random number r in [0, 1). True at once when
  // loaded. A failed load reports through the hooks and leaves the track unloaded with nothing
  // held (everything it made is released).
  bool Load(const char* t, const char* w, float r);
  void Unload();
  bool IsLoaded() const { return m_loaded != 0; }

  bool LoadMeta();
  bool LoadSoundSources(bool load, bool make);
  bool LoadCameras(bool load);
  // Reads a track weather record (".ini" path read as ".bin"); false when it cannot be read.
  static bool ReadWeatherFile(uint8_t record[TRACK_WEATHER_SIZE], bool load, const char* path);

  // ---- players, grid and podium
  bool AddPlayer(TrackRacer* racer, int32_t gameMode);
  void RemovePlayer(TrackRacer* racer);
  void RemoveAllPlayers();
  TrackRacer* NextPlayer(const TrackRacer* racer, bool wrap) const;
  // Null when 50 colliders are held (the track's list has no more room).
  TrackCollider* AddCollider(const VQVector2& a, const VQVector2& b, uint32_t id);
  void RemoveCollider(TrackCollider* record);
  // Hands every camera record to the simulation. False at the first refusal, and false with the
  // error "No cameras defined! (Need at least one)" for a track without cameras.
  bool RegisterCameras(Simulation* simulation);
  void PrepareRace(bool grid);
  void PreparePractice(bool flag);
  void StopTracker();
  void ShowPodium();
  // The start-light material's state: on = emissive 5 x diffuse, off = emissive black.
  static void SetLight(VQMaterial* light, bool on);

  // ---- race update
  void UpdateRace(float time, float dt);
  void SetStartCameras(const TrackCameraRecord* first, const TrackCameraRecord* final);
  static bool LapCallback(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                          const LapTime* lapTime, uint32_t lapFlag, void* user, uint8_t* finished);
  bool OnLapCompleted(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                      const LapTime* lapTime, uint32_t lapFlag, uint8_t* finished);
  void SetState(uint32_t state);
  // The blend of the start fly-in at state time t (0 to 1 over 4 s, eased in and out).
  static float FlyInBlend(float t);

  // ---- queries
  float GroundHeight(const VQVector& point, VQVector* normal, float* a, float* b, float* c,
                     float* ground, uint32_t* material, uint32_t* hint) const;
  float GroundHeightAt(const VQVector& point) const;
  bool SweepTrack(const VQVector& from, const VQVector& to, float radius, float* distance,
                  VQVector* hit, const CollisionMaterial** material) const;
  static float DetailHeight(const CollisionMaterial* material, float x, float y);
  bool IntersectAILine(uint32_t line, const VQVector2& a, const VQVector2& b, VQVector2* point,
                       uint32_t* segment) const;
  bool CircleOnAILine(uint32_t line, const VQVector2& c, float r, VQVector2* point,
                      uint32_t* segment) const;
  int32_t HitAIBorder(const VQVector2& c, float r, VQVector2* point, VQVector2* direction) const;
  int32_t SegmentHitsAIBorder(const VQVector2& a, const VQVector2& b, VQVector2* point,
                              VQVector2* direction) const;
  VQVector2 AIStartPoint() const;
  float ShadowAt(float x, float y) const;
  float SecondMapAt(float x, float y) const;

  // The engine-signature queries on g_track (the collision world's track and box queries and
  // the vehicle models' ground query).
  static bool SweepQuery(const VQVector& start, const VQVector& end, float radius, float* distance,
                         VQVector* contact, const VQContactMaterial** material);
  static bool BoxQuery(const double boxMin[3], const double boxMax[3]);
  static float GroundQuery(const VQVector* point, VQVector* normal, float* dryFriction,
                           float* wetFriction, float* coefficient, float* rawHeight,
                           uint32_t* material, uint32_t* hint);

  TrackServices m_services;
  RaceHooks m_hooks;
  Simulation* m_simulation = nullptr;  // for the time scale and race time; may be null

  // ---- loaded data
  uint32_t m_detail = TRACK_DETAIL_HIGH;
  uint32_t m_trackNumber = 0;
  uint32_t m_settingsValue2 = 0;
  uint8_t m_settingsFlag = 0;
  std::string m_name;
  uint8_t m_weatherRecord[TRACK_WEATHER_SIZE] = {};
  std::string m_weatherPath;
  const uint8_t* m_weatherConfig = nullptr;  // records of the weather database, not owned
  const uint8_t* m_rainConfig = nullptr;
  uint32_t m_thunderCount = 0;
  const uint8_t* m_thunder[TRACK_MAX_THUNDER] = {};
  std::string m_weatherName;

  uint32_t m_checkpointCount = 0;
  TrackCheckpoint* m_checkpoints[TRACK_MAX_CHECKPOINTS] = {};
  uint32_t m_soundEventCount = 0;
  TrackSoundEventRecord m_soundEvents[TRACK_MAX_SOUND_EVENTS];
  uint32_t m_gridCount = 0, m_pitCount = 0, m_podiumCount = 0, m_prizeCount = 0;
  TrackPoint m_grid[TRACK_MAX_POINTS], m_pit[TRACK_MAX_POINTS], m_podium[TRACK_MAX_POINTS],
      m_prize[TRACK_MAX_PRIZES];
  uint32_t m_aiLineCount = 0;
  TrackAILine* m_aiLines[TRACK_MAX_AI_LINES] = {};
  VQGroupNode* m_aiBorders = nullptr;

  VQNode* m_metaRoot = nullptr;
  VQNode* m_colliderNode = nullptr;
  VQRootNode* m_scene = nullptr;
  VQNode* m_database = nullptr;
  VQNode* m_main = nullptr;
  VQGroupNode* m_soundSources = nullptr;
  VQGroupNode* m_podiumGroup = nullptr;
  VQTransformNode* m_podiumPlaces[3] = {};
  VQFogNode* m_fog = nullptr;
  VQLightNode* m_sun = nullptr;

  VQCollisionWorld* m_world = nullptr;
  VQTerrainTree* m_terrain = nullptr;
  bool m_terrainFromCache = false;
  RaceTracker* m_tracker = nullptr;

  std::string m_mapNames[3];
  bool m_mapNamesMade = false;
  float m_mapVectors[3][2] = {}, m_mapVectors2[3][2] = {};
  uint8_t m_mapBytes[3] = {};
  uint32_t m_mapWords[3][2] = {};
  uint32_t m_mapPointCount = 0;
  float m_mapPoints[3][TRACK_MAP_POINTS][2] = {};

  VQMaterial* m_red = nullptr;
  VQMaterial* m_orange = nullptr;
  VQMaterial* m_green = nullptr;
  VQTexture* m_checkpointTexture = nullptr;
  VQTexture* m_shadowMap = nullptr;
  VQTexture* m_secondMap = nullptr;
  float m_shadowOffset[2] = {}, m_shadowScale[2] = {1, 1};
  float m_secondOffset[2] = {}, m_secondScale[2] = {1, 1};
  float m_aiDistance = 0.0f;
  VQVector m_sunDirection{0, 0, 1};
  VQVector m_shadowDirection{1, 1, 1};
  float m_shadowValues[2] = {0.0f, 1.0f};

  uint32_t m_cameraCount = 0;
  TrackCameraRecord* m_cameras[TRACK_MAX_CAMERAS] = {};

  // ---- players
  uint32_t m_playerCount = 0;
  TrackRacer* m_players[TRACK_MAX_PLAYERS] = {};
  uint32_t m_colliderCount = 0;
  TrackCollider* m_colliders[TRACK_MAX_COLLIDERS] = {};

  // ---- race state
  float m_currentTime = 0.0f;
  uint32_t m_state = RACE_STATE_NONE;
  float m_stateTime = 0.0f;
  float m_remainingMark = 180.0f;
  uint32_t m_raceLength = 3;  // minutes
  // Above 0 the race goes by laps: a car finishes when it completes this many laps, or at its
  // next crossing of the start line once another car has finished. 0: the race goes by time.
  uint32_t m_raceLaps = 0;
  uint32_t m_finishedCount = 0;
  uint8_t m_resultsRequest = 0, m_resultsRefresh = 0, m_winnerMarks[2] = {};
  float m_progressTimer = 1.0f;
  float m_nextCameraSwitch = 30.0f;
  float m_goDelay = 0.0f;
  VQMaterial* m_blinkLight = nullptr;
  uint8_t m_blink = 0, m_blinkPhase = 0;
  float m_blinkTime = 0.0f, m_blinkPeriod = 0.3f;
  int32_t m_countdownImage = -1;
  const TrackCameraRecord* m_startCameras[2] = {};
  float m_podiumAngles[2] = {};
  float m_podiumFade = 0.0f;
  uint8_t m_practiceStartMark = 0;
  uint8_t m_loaded = 0;
  std::vector<VQContactMaterial> m_contacts;  // the collision materials' contact values

 private:
  bool m_samplingPushed = false;
  bool LoadSteps(const char* t, const char* w, float r);
  void ReleaseAll();
  void Report(const char* format, ...) VQ_PRINTF_LIKE(2, 3);
  void LogLine(const char* format, ...) VQ_PRINTF_LIKE(2, 3);
  void Raise(int32_t event, TrackRacer* racer, int32_t argument);
  void ShowMessage(uint32_t textId, float seconds);
  void UpdateRaceStates(float& dt);
  std::string TrackFile(const char* suffix) const;
  void PlaceRacer(TrackRacer* racer, uint32_t n, int32_t gameMode);
};

extern Track* g_track;

// The contact values of a collision material (stored as whole numbers: stiffness in 200 N/m,
// damping in 160 N s/m, friction in hundredths).
VQContactMaterial TrackContactFromMaterial(const CollisionMaterial& material);

// The track services of the one Program (g_program): its devices, folders, tables and settings.
class Program;
TrackServices TrackServices_FromProgram(const Program& program);
