// Track loading and unloading: files, scene, terrain, meta markers, settings, cameras, weather.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QVX/race/Track.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQscramble.h"

Track* g_track = nullptr;
const char* const g_trackDetailNames[4] = {"low", "mid", "high", "<none>"};

namespace {

constexpr uint32_t kTrackTextureGroup = 4;
constexpr uint32_t kMarkerMeshFlag = 8;
constexpr float kMarkerSwitchDistance = 1000.0f;

// Layout of the track settings record.
enum SettingsOffset : size_t {
  SET_TRACK_NUMBER = 0,
  SET_VALUE2 = 4,
  SET_FLAG = 8,
  SET_SHADOW_DIRECTION = 12,
  SET_SHADOW_VALUES = 24,
  SET_SHADOW_OFFSET = 32,
  SET_SHADOW_SCALE = 40,
  SET_SECOND_OFFSET = 48,
  SET_SECOND_SCALE = 56,
  SET_AI_DISTANCE = 64,
  SET_SUN_DIRECTION = 68,
  SET_MAP_NAMES = 80,
  SET_MAP_VECTORS = 848,
  SET_MAP_BYTES = 872,
  SET_MAP_WORDS = 876,
  SET_MAP_VECTORS2 = 900,
  SET_MAP_POINT_COUNT = 924,
  SET_MAP_POINTS = 928,
  SET_SOUND_COUNT = 1312,
  SET_SOUND_EVENTS = 1316,
};
// Layout of the track weather record.
enum TrackWeatherOffset : size_t {
  TW_LOADED = 0,
  TW_SUBST_COUNT = 8,
  TW_SUBST_FROM = 12,
  TW_SUBST_TO = 332,
  TW_SHADOW_DIRECTION = 652,
  TW_SUN_DIRECTION = 668,
  TW_SHADOW_VALUES = 692,
  TW_SHADOW_MAP = 700,
  TW_SECOND_MAP = 732,
  TW_VARIANT_COUNT = 764,
  TW_VARIANT_NAMES = 768,
  TW_VARIANT_ODDS = 1280,
};
// The fields of a weather configuration record that the track reads.
enum WeatherConfigOffset : size_t {
  WC_FOG = 32,
  WC_FOG_START = 36,
  WC_FOG_END = 40,
  WC_FOG_COLOUR = 48,
  WC_REFLECTION = 64,
  WC_SUN_COLOUR = 68,
  WC_SECOND_MAP = 92,  // the crowd flag's byte; the second map goes with it
  WC_DOME_COLOUR = 140,
  WC_SUBST_COUNT = 160,
  WC_SUBST_FROM = 164,
  WC_SUBST_TO = 676,
  WC_RAIN_COUNT = 1188,
  WC_RAIN_NAMES = 1192,
  WC_RAIN_ODDS = 1704,
  WC_THUNDER_COUNT = 1768,
  WC_THUNDER_NAMES = 1772,
  WC_ENVIRONMENT = 2348,
};
constexpr uint32_t kConfigMaxSubstitutions = 16;
constexpr uint32_t kConfigMaxVariants = 16;

std::string Name32(const uint8_t* record, size_t offset) {
  char name[33];
  Record_GetName(name, sizeof name, record, offset, 32);
  return name;
}

VQVector GetVector(const uint8_t* r, size_t offset) {
  return VQVector(Record_GetF32(r, offset), Record_GetF32(r, offset + 4),
                  Record_GetF32(r, offset + 8));
}

bool ReadScrambled(const std::string& iniPath, std::vector<uint8_t>& out) {
  std::string path = iniPath;
  if (path.size() >= 4) path.replace(path.size() - 4, 4, ".bin");
  if (!vqfileio::ReadWholeFile(path.c_str(), out, 24)) return false;
  if (!out.empty()) VQscramble(out.data(), out.size(), nullptr, 0);
  return true;
}

// The cumulative walk: the first variant whose running sum of odds exceeds r, else 0.
uint32_t PickVariant(const uint8_t* record, size_t oddsOffset, uint32_t count, float r) {
  float sum = 0.0f;
  for (uint32_t i = 0; i < count; ++i) {
    sum += Record_GetF32(record, oddsOffset + 4 * i);
    if (sum > r) return i;
  }
  return 0;
}

// The collision-material index of a terrain triangle: the first material whose texture name is
// the triangle's texture file name; the last material otherwise.
void TerrainFilter(const VQTerrainMesh& mesh, uint32_t triangle, uint32_t* word) {
  const std::vector<CollisionMaterial>* materials =
      g_track ? g_track->m_services.materials : nullptr;
  if (!materials || materials->empty()) {
    *word = 0;
    return;
  }
  *word = uint32_t(materials->size() - 1);
  const char* texture = VQterrain_TriangleTexture(mesh, triangle);
  if (!texture) return;
  const char* cut = texture;
  for (const char* p = texture; *p; ++p)
    if (*p == '\\' || *p == '/') cut = p + 1;
  for (size_t i = 0; i < materials->size(); ++i)
    if (strcasecmp((*materials)[i].textureName, cut) == 0) {
      *word = uint32_t(i);
      return;
    }
}

bool SortVisitor(VQNode* node, void*) {
  if (node->m_type == VQNODE_GEOSET) {
    auto* g = static_cast<VQGeosetNode*>(node);
    if (g->m_geoset && g->m_geoset->m_levelCount && g->m_geoset->m_meshes[0])
      g->m_geoset->m_meshes[0]->SortTransparentLast(g->m_table);
  }
  return true;
}

bool TransparencyVisitor(VQNode* node, void*) {
  if (node->m_type == VQNODE_GEOSET) {
    auto* g = static_cast<VQGeosetNode*>(node);
    if (g->m_table) g->m_table->UpdateTransparency();
  }
  return true;
}

VQMesh* FirstMesh(VQNode* node) {
  if (!node || node->m_type != VQNODE_GEOSET) return nullptr;
  VQGeoset* g = static_cast<VQGeosetNode*>(node)->m_geoset;
  return (g && g->m_levelCount) ? g->m_meshes[0] : nullptr;
}

void MarkMarker(VQNode* node) {
  if (!node || node->m_type != VQNODE_GEOSET) return;
  VQGeoset* g = static_cast<VQGeosetNode*>(node)->m_geoset;
  if (!g || !g->m_levelCount) return;
  if (g->m_meshes[0]) g->m_meshes[0]->m_flags |= kMarkerMeshFlag;
  g->m_distances[0] = kMarkerSwitchDistance;
}

// Reads a marker point: vertex 3 and the direction from vertex 0 to vertex 3. False for a marker
// without four vertices.
bool MarkerPoint(VQNode* node, TrackPoint* out) {
  VQMesh* m = FirstMesh(node);
  if (!m || m->m_vertexCount < 4 || !m->m_positions) return false;
  out->position = m->m_positions[3];
  VQVector d = m->m_positions[3] - m->m_positions[0];
  d.Normalize();
  out->direction = d;
  return true;
}

struct NameSearch {
  const char* pattern;
  VQNode* found;
  std::vector<VQNode*>* all;
};
bool FindPattern(VQNode* node, void* context) {
  auto* s = static_cast<NameSearch*>(context);
  if (!node->m_name || !VQnode_WildcardMatch(node->m_name, s->pattern)) return true;
  if (s->all) {
    s->all->push_back(node);
    return true;
  }
  s->found = node;
  return false;
}

}  // namespace

// ---- camera records ----------------------------------------------------------------------------

float TrackCameraRecord::Float1(int i) const {
  float f;
  std::memcpy(&f, &values1[i], 4);
  return f;
}
float TrackCameraRecord::Float2(int i) const {
  float f;
  std::memcpy(&f, &values2[i], 4);
  return f;
}

bool TrackCameraRecord::Parse(const uint8_t* r, size_t size) {
  if (!r || size < TRACK_CAMERA_SIZE) return false;
  Record_GetName(name, sizeof name, r, 0, 32);
  type = Record_GetU32(r, 32);
  kind = Record_GetI32(r, 36);
  flag = r[40];
  for (int i = 0; i < 3; ++i) values1[i] = Record_GetU32(r, 44 + 4 * size_t(i));
  vector1 = GetVector(r, 56);
  Record_GetName(target, sizeof target, r, 68, 32);
  intervalFrom = Record_GetF32(r, 100);
  intervalTo = Record_GetF32(r, 104);
  group = Record_GetU32(r, 108);
  for (int i = 0; i < 3; ++i) values2[i] = Record_GetU32(r, 112 + 4 * size_t(i));
  vector2 = GetVector(r, 124);
  for (int i = 0; i < 16; ++i) matrix[i] = Record_GetF32(r, 136 + 4 * size_t(i));
  vector3 = GetVector(r, 200);
  values3[0] = Record_GetU32(r, 212);
  values3[1] = Record_GetU32(r, 216);
  return true;
}

void TrackCameraRecord::Store(uint8_t r[TRACK_CAMERA_SIZE]) const {
  std::memset(r, 0, TRACK_CAMERA_SIZE);
  Record_PutName(r, 0, 32, name);
  Record_PutU32(r, 32, type);
  Record_PutI32(r, 36, kind);
  r[40] = flag;
  for (int i = 0; i < 3; ++i) Record_PutU32(r, 44 + 4 * size_t(i), values1[i]);
  const VQVector* vs[3] = {&vector1, &vector2, &vector3};
  const size_t at[3] = {56, 124, 200};
  for (int k = 0; k < 3; ++k) {
    Record_PutF32(r, at[k], vs[k]->x);
    Record_PutF32(r, at[k] + 4, vs[k]->y);
    Record_PutF32(r, at[k] + 8, vs[k]->z);
  }
  Record_PutName(r, 68, 32, target);
  Record_PutF32(r, 100, intervalFrom);
  Record_PutF32(r, 104, intervalTo);
  Record_PutU32(r, 108, group);
  for (int i = 0; i < 3; ++i) Record_PutU32(r, 112 + 4 * size_t(i), values2[i]);
  for (int i = 0; i < 16; ++i) Record_PutF32(r, 136 + 4 * size_t(i), matrix[i]);
  Record_PutU32(r, 212, values3[0]);
  Record_PutU32(r, 216, values3[1]);
}

// ---- AI lines ----------------------------------------------------------------------------------

void TrackAILine::Build(const VQVector* vertices, uint32_t vertexCount) {
  points.clear(), directions.clear(), lengths.clear(), convex.clear();
  length = 0.0f;
  if (!vertices || vertexCount < 6) return;
  const uint32_t n = vertexCount / 3 - 1;
  for (uint32_t k = 0; k < n; ++k) points.emplace_back(vertices[3 * k].x, vertices[3 * k].y);
  for (uint32_t k = 0; k < n; ++k) {
    VQVector2 d = points[(k + 1) % n] - points[k];
    const float len = d.Length();
    d.Normalize();
    directions.push_back(d);
    lengths.push_back(len);
    length += len;
  }
  for (uint32_t k = 0; k < n; ++k) {
    const VQVector2& p = directions[k ? k - 1 : 0];
    const VQVector2& q = directions[k];
    convex.push_back(k > 0 && p.x * q.y - p.y * q.x > 0.0f ? 1 : 0);
  }
}

// ---- Track -------------------------------------------------------------------------------------

Track::Track() = default;

Track::~Track() { ReleaseAll(); }

void Track::Report(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (m_hooks.error) m_hooks.error(m_hooks.user, text);
}

void Track::LogLine(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (m_hooks.log) m_hooks.log(m_hooks.user, text);
}

std::string Track::TrackFile(const char* suffix) const {
  return m_services.tracksFolder + "\\" + m_name + suffix;
}

bool Track::ReadWeatherFile(uint8_t record[TRACK_WEATHER_SIZE], bool load, const char* path) {
  if (!load) return true;
  if (!record || !path) return false;
  std::vector<uint8_t> bytes;
  if (!ReadScrambled(path, bytes)) return false;
  std::memset(record, 0, TRACK_WEATHER_SIZE);
  std::memcpy(record, bytes.data(), std::min(bytes.size(), TRACK_WEATHER_SIZE));
  record[TW_LOADED] = 1;
  return true;
}

bool Track::Load(const char* t, const char* w, float r) {
  if (m_loaded) return true;
  if (!t || !*t) return false;
  if (LoadSteps(t, w, r)) {
    m_loaded = 1;
    return true;
  }
  // A failed load keeps nothing: what the steps made is released, the texture manager's state
  // is restored and the global track pointer cleared.
  ReleaseAll();
  return false;
}

bool Track::LoadSteps(const char* t, const char* w, float r) {
  ReleaseAll();
  g_track = this;
  m_name = t;
  m_state = RACE_STATE_NONE;
  m_raceLength = 3;
  m_blinkPeriod = 0.3f;
  m_countdownImage = -1;
  m_shadowDirection = VQVector(1, 1, 1);
  m_shadowValues[0] = 0.0f;
  m_shadowValues[1] = 1.0f;
  if (m_services.sound) {
    m_soundSources = new VQGroupNode(0);
    m_soundSources->SetName("g_soundsources");
  }
  VQTextureManager* tm = m_services.display ? m_services.display->m_textureManager : nullptr;
  const std::string trackTextures = m_services.textureFolder + "\\" + m_name;
  if (tm) {
    tm->SetFolder(trackTextures.c_str(), false);
    tm->PushSampling(VQWRAP_REPEAT, VQWRAP_REPEAT, m_services.magFilter, m_services.minFilter);
    m_samplingPushed = true;
    tm->m_currentGroup = kTrackTextureGroup;
    tm->SetLoadFactor(m_services.textureDivisor);
  }
  if (!LoadSoundSources(true, true)) return false;

  // Weather of this race.
  std::string binPath;
  if (w) {
    m_weatherPath = TrackFile((std::string("_weather_") + w + ".ini").c_str());
    binPath = m_weatherPath.substr(0, m_weatherPath.size() - 4) + ".bin";
    if (ReadWeatherFile(m_weatherRecord, true, m_weatherPath.c_str()))
      LogLine("Loaded track weather file '%s'", binPath.c_str());
  }
  const bool recordLoaded = m_weatherRecord[TW_LOADED] != 0;
  const uint32_t variants =
      recordLoaded
          ? std::min(Record_GetU32(m_weatherRecord, TW_VARIANT_COUNT), TRACK_WEATHER_VARIANTS)
          : 0;
  const uint32_t variant = PickVariant(m_weatherRecord, TW_VARIANT_ODDS, variants, r);
  m_weatherName = variants ? Name32(m_weatherRecord, TW_VARIANT_NAMES + 32 * size_t(variant)) : "";
  m_weatherConfig =
      m_services.weather ? m_services.weather->m_weather.Find(m_weatherName.c_str()) : nullptr;
  if (!m_weatherConfig) {
    Report("Unknown weather type '%s' in track weather file '%s'", m_weatherName.c_str(),
           binPath.c_str());
    return false;
  }
  LogLine("Using weather config '%s'", m_weatherName.c_str());
  const uint8_t* config = m_weatherConfig;
  const uint32_t rainCount = std::min(Record_GetU32(config, WC_RAIN_COUNT), kConfigMaxVariants);
  if (rainCount) {
    const float r2 = float(std::rand()) / (float(RAND_MAX) + 1.0f);
    const std::string rain = Name32(
        config, WC_RAIN_NAMES + 32 * size_t(PickVariant(config, WC_RAIN_ODDS, rainCount, r2)));
    m_rainConfig = m_services.weather->m_rain.Find(rain.c_str());
    if (!m_rainConfig)
      Report("Unknown rain type '%s'", rain.c_str());
    else
      LogLine("Using rain config '%s'", rain.c_str());
  }
  const uint32_t thunderCount =
      std::min(Record_GetU32(config, WC_THUNDER_COUNT), TRACK_MAX_THUNDER);
  for (uint32_t i = 0; i < thunderCount; ++i) {
    const std::string name = Name32(config, WC_THUNDER_NAMES + 32 * size_t(i));
    const uint8_t* found = m_services.weather->m_thunder.Find(name.c_str());
    if (!found) {
      Report("Unknown thunder type '%s'", name.c_str());
      continue;
    }
    m_thunder[m_thunderCount++] = found;
    LogLine("Using thunder config '%s'", name.c_str());
  }
  if (recordLoaded) {
    auto substitute = [&](const std::string& from, const std::string& to, bool fallback) {
      if (!tm || from.empty() || to.empty()) return;
      VQTexture* tex = tm->Load(to.c_str(), 0, true, true, 0x8000, 0x8000);
      if (!tex && fallback) {
        tm->SetFolder(m_services.textureFolder.c_str(), false);
        tex = tm->Load(to.c_str(), 0, true, true, 0x8000, 0x8000);
        tm->SetFolder(trackTextures.c_str(), false);
      }
      if (tex) tm->SetName(tex, from.c_str());
    };
    const uint32_t n =
        std::min(Record_GetU32(m_weatherRecord, TW_SUBST_COUNT), TRACK_SUBSTITUTIONS);
    for (uint32_t i = 0; i < n; ++i)
      substitute(Name32(m_weatherRecord, TW_SUBST_FROM + 32 * size_t(i)),
                 Name32(m_weatherRecord, TW_SUBST_TO + 32 * size_t(i)), false);
    const uint32_t m = std::min(Record_GetU32(config, WC_SUBST_COUNT), kConfigMaxSubstitutions);
    for (uint32_t i = 0; i < m; ++i)
      substitute(Name32(config, WC_SUBST_FROM + 32 * size_t(i)),
                 Name32(config, WC_SUBST_TO + 32 * size_t(i)), true);
    const std::string environment = Name32(config, WC_ENVIRONMENT);
    substitute(environment, environment, true);
    m_sunDirection = GetVector(m_weatherRecord, TW_SUN_DIRECTION);
    m_shadowDirection = GetVector(m_weatherRecord, TW_SHADOW_DIRECTION);
    m_shadowValues[0] = Record_GetF32(m_weatherRecord, TW_SHADOW_VALUES);
    m_shadowValues[1] = Record_GetF32(m_weatherRecord, TW_SHADOW_VALUES + 4);
  }

  // The scene database at the detail level, falling back to "high".
  m_detail = std::min<uint32_t>(m_services.detail, TRACK_DETAIL_HIGH);
  std::string path = TrackFile((std::string("_") + g_trackDetailNames[m_detail] + ".vqo").c_str());
  if (!VQfile_Exists(path.c_str())) {
    m_detail = TRACK_DETAIL_HIGH;
    path = TrackFile("_high.vqo");
  }
  if (m_services.display) {
    m_database = m_services.display->ReadSceneFile(path.c_str(), 1, 0);
  } else {
    VQNode* root = nullptr;
    if (VQscene_LoadFile(&root, path.c_str(), nullptr, 0, false)) m_database = root;
  }
  if (!m_database) {
    Report("Cannot load track database '%s'", path.c_str());
    return false;
  }
  if (tm) {
    tm->PopSampling();
    m_samplingPushed = false;
    tm->SetLoadFactor(1);
    tm->m_currentGroup = 0;
  }

  // The scene: fog below the sun light, the sky domes outside it.
  m_scene = new VQRootNode(0);
  m_scene->SetName("track");
  m_main = m_database->FindByName("g_main");
  if (!m_main) {
    m_main = m_database;
    m_database->SetName("g_main");
  }
  m_sun = static_cast<VQLightNode*>(m_database->FindByName("l_sun"));
  if (m_sun && m_sun->m_type != VQNODE_LIGHT) m_sun = nullptr;
  const bool fog = Record_GetU32(config, WC_FOG) != 0;
  m_scene->SetChild(m_database);
  if (fog && m_sun) {
    m_fog = new VQFogNode(0);
    m_fog->SetName("f_fog");
    m_fog->m_colour =
        VQColor(Record_GetF32(config, WC_FOG_COLOUR), Record_GetF32(config, WC_FOG_COLOUR + 4),
                Record_GetF32(config, WC_FOG_COLOUR + 8), 1.0f);
    m_fog->m_mode = 1;
    m_fog->m_start = Record_GetF32(config, WC_FOG_START);
    m_fog->m_end = Record_GetF32(config, WC_FOG_END);
    VQNode* below = m_sun->GetChild();
    if (below) m_sun->RemoveChild(below);
    auto* skies = new VQGroupNode(0);
    skies->SetName("g_sky");
    for (const char* dome : {"x_dome", "m_dome02"}) {
      VQNode* d = m_database->FindByName(dome);
      if (d && d != below) {
        d->Detach();
        skies->AddChild(d);
      }
    }
    skies->AddChild(m_fog);
    if (below) m_fog->SetChild(below);
    m_sun->SetChild(skies);
  }
  m_scene->Visit(SortVisitor, nullptr);
  const VQColor sun{Record_GetF32(config, WC_SUN_COLOUR), Record_GetF32(config, WC_SUN_COLOUR + 4),
                    Record_GetF32(config, WC_SUN_COLOUR + 8), 1.0f};
  if (m_sun) {
    m_sun->m_diffuse = sun;
    m_sun->m_ambient = VQColor(sun.r * 0.45f, sun.g * 0.45f, sun.b * 0.5f, 1.0f);
    VQVector d = m_shadowDirection;
    d.Normalize();
    m_sun->m_direction = d;
  }
  const VQColor dome{Record_GetF32(config, WC_DOME_COLOUR),
                     Record_GetF32(config, WC_DOME_COLOUR + 4),
                     Record_GetF32(config, WC_DOME_COLOUR + 8), 1.0f};
  for (const char* name : {"m_dome", "m_dome02"}) {
    VQNode* n = m_scene->FindByName(name);
    if (n && n->m_type == VQNODE_GEOSET) {
      VQMattable* table = static_cast<VQGeosetNode*>(n)->m_table;
      if (table && table->m_count && table->m_slots[0]) {
        table->m_slots[0]->m_diffuse = VQColor(0, 0, 0, 1);
        table->m_slots[0]->m_emission = dome;
      }
    }
  }
  if (!config[WC_REFLECTION]) {
    for (const char* name : {"g_reflection", "m_dome02"})
      if (VQNode* n = m_scene->FindByName(name)) n->m_enabled = 0;
  }
  m_scene->Visit(TransparencyVisitor, nullptr);

  // Collision terrain: from its cache, else built over the scene and saved.
  m_terrain = new VQTerrainTree();
  const std::string cache =
      TrackFile((std::string("_") + g_trackDetailNames[m_detail] + ".vqt").c_str());
  m_terrainFromCache = m_terrain->Read(cache.c_str());
  if (!m_terrainFromCache) {
    if (!m_terrain->BuildFromScene(m_scene, TerrainFilter, false, 32, 8)) {
      Report("Cannot build the terrain of track '%s'", m_name.c_str());
      return false;
    }
    m_terrain->Write(cache.c_str());
  }
  // The meta markers' textures go with the track's texture group too.
  if (tm) tm->m_currentGroup = kTrackTextureGroup;
  const bool meta = LoadMeta();
  if (tm) tm->m_currentGroup = 0;
  if (!meta) return false;
  m_countdownImage = -1;
  m_podiumGroup = new VQGroupNode(0);
  m_podiumGroup->SetName("g_podium");
  for (auto*& place : m_podiumPlaces) {
    place = new VQTransformNode(0);
    m_podiumGroup->AddChild(place);
  }
  if (!LoadCameras(true)) return false;
  if (VQNode* meta = m_scene->FindByName("g_meta")) meta->m_enabled = 0;
  if (m_soundSources) {
    m_main->AddChild(m_soundSources);
  }
  if (VQNode* flare = m_scene->FindByName("m_sunflare")) flare->m_enabled = 0;

  m_world = new VQCollisionWorld();
  m_world->m_subStep = m_services.physicsStep > 0.0f ? m_services.physicsStep : 0.005f;
  m_world->SetTrackQuery(SweepQuery);
  m_world->SetTrackBoxQuery(BoxQuery);
  m_contacts.clear();
  if (m_services.materials)
    for (const CollisionMaterial& m : *m_services.materials)
      m_contacts.push_back(TrackContactFromMaterial(m));

  m_tracker = new RaceTracker(TRACK_MAX_PLAYERS, m_checkpoints, m_checkpointCount, 0);
  m_tracker->SetLapCallback(LapCallback, this);
  m_tracker->SetEventCallback(
      [](int32_t event, TrackRacer* racer, int32_t argument, void* user) {
        static_cast<Track*>(user)->Raise(event, racer, argument);
      },
      this);
  m_tracker->m_positionBase = 0;
  m_tracker->ResetAll();

  m_red = VQmaterial_LibraryFind("rood");
  m_orange = VQmaterial_LibraryFind("oranje");
  m_green = VQmaterial_LibraryFind("groen");

  if (tm) {
    tm->PushSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, VQFILTER_LINEAR, VQFILTER_LINEAR);
    tm->m_currentGroup = kTrackTextureGroup;
    m_checkpointTexture = tm->Load("XT_checkpoint.tga", 0, true, true, 0x8000, 0x8000);
    if (m_checkpointTexture)
      m_checkpointTexture->SetSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, VQFILTER_LINEAR,
                                       VQFILTER_LINEAR);
    tm->m_currentGroup = 0;
    tm->PopSampling();
  }
  VQTextureManager* sm = m_services.software ? m_services.software->m_textureManager : nullptr;
  if (sm) {
    sm->SetFolder(m_services.textureFolder.c_str(), false);
    const std::string shadow = recordLoaded ? m_name + "\\" + Name32(m_weatherRecord, TW_SHADOW_MAP)
                                            : m_name + "\\Shadowmap.tga";
    m_shadowMap = sm->Load(shadow.c_str(), 0, true, true, 0x8000, 0x8000);
    if (config[WC_SECOND_MAP] && recordLoaded) {
      const std::string second = Name32(m_weatherRecord, TW_SECOND_MAP);
      if (!second.empty())
        m_secondMap = sm->Load((m_name + "\\" + second).c_str(), 0, true, true, 0x8000, 0x8000);
    }
    sm->SetFolder(m_services.mapsCarsFolder.c_str(), false);
  }
  return true;
}

VQContactMaterial TrackContactFromMaterial(const CollisionMaterial& m) {
  // The stored values are scaled to whole numbers: stiffness in 200 N/m, damping in 160 N s/m
  // and the friction coefficient in hundredths.
  return VQContactMaterial{float(m.values[0]) * 200.0f, float(m.values[1]) * 160.0f,
                           float(m.values[2]) * 0.01f};
}

bool Track::LoadSoundSources(bool load, bool make) {
  const std::string path = TrackFile(".ini");
  if (!load) return true;
  std::vector<uint8_t> bytes;
  if (!ReadScrambled(path, bytes)) return false;
  bytes.resize(TRACK_SETTINGS_SIZE, 0);  // a short record reads as zeros beyond its end
  const uint8_t* r = bytes.data();
  m_trackNumber = Record_GetU32(r, SET_TRACK_NUMBER);
  m_settingsValue2 = Record_GetU32(r, SET_VALUE2);
  m_settingsFlag = r[SET_FLAG];
  m_shadowDirection = GetVector(r, SET_SHADOW_DIRECTION);
  m_shadowValues[0] = Record_GetF32(r, SET_SHADOW_VALUES);
  m_shadowValues[1] = Record_GetF32(r, SET_SHADOW_VALUES + 4);
  for (int i = 0; i < 2; ++i) {
    m_shadowOffset[i] = Record_GetF32(r, SET_SHADOW_OFFSET + 4 * size_t(i));
    m_shadowScale[i] = Record_GetF32(r, SET_SHADOW_SCALE + 4 * size_t(i));
    m_secondOffset[i] = Record_GetF32(r, SET_SECOND_OFFSET + 4 * size_t(i));
    m_secondScale[i] = Record_GetF32(r, SET_SECOND_SCALE + 4 * size_t(i));
  }
  m_aiDistance = Record_GetF32(r, SET_AI_DISTANCE);
  m_sunDirection = GetVector(r, SET_SUN_DIRECTION);
  m_mapNamesMade = make;
  for (size_t i = 0; i < 3; ++i) {
    char name[257];
    Record_GetName(name, sizeof name, r, SET_MAP_NAMES + 256 * i, 256);
    m_mapNames[i] = make ? name : "";
    m_mapVectors[i][0] = Record_GetF32(r, SET_MAP_VECTORS + 8 * i);
    m_mapVectors[i][1] = Record_GetF32(r, SET_MAP_VECTORS + 8 * i + 4);
    m_mapBytes[i] = r[SET_MAP_BYTES + i];
    m_mapWords[i][0] = Record_GetU32(r, SET_MAP_WORDS + 8 * i);
    m_mapWords[i][1] = Record_GetU32(r, SET_MAP_WORDS + 8 * i + 4);
    m_mapVectors2[i][0] = Record_GetF32(r, SET_MAP_VECTORS2 + 8 * i);
    m_mapVectors2[i][1] = Record_GetF32(r, SET_MAP_VECTORS2 + 8 * i + 4);
  }
  // The point lists have room for 16 points each: a larger count is cut there.
  m_mapPointCount = std::min(Record_GetU32(r, SET_MAP_POINT_COUNT), TRACK_MAP_POINTS);
  for (size_t i = 0; i < 3; ++i)
    for (size_t k = 0; k < m_mapPointCount; ++k) {
      m_mapPoints[i][k][0] = Record_GetF32(r, SET_MAP_POINTS + 128 * i + 8 * k);
      m_mapPoints[i][k][1] = Record_GetF32(r, SET_MAP_POINTS + 128 * i + 8 * k + 4);
    }
  m_soundEventCount = 0;
  if (!make || !m_soundSources || m_services.gameMode == GAME_MODE_SPLIT) return true;
  // The record has room for 50 events: a larger count is cut there.
  const uint32_t count = std::min(Record_GetU32(r, SET_SOUND_COUNT), TRACK_MAX_SOUND_EVENTS);
  uint32_t nextGroup = 1;
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* e = r + SET_SOUND_EVENTS + TRACK_SOUND_EVENT_SIZE * k;
    TrackSoundEventRecord& s = m_soundEvents[m_soundEventCount];
    s = TrackSoundEventRecord();
    s.kind = Record_GetU32(e, 0);
    s.position = GetVector(e, 4);
    s.volume = Record_GetF32(e, 16);
    s.range = Record_GetF32(e, 20);
    s.delay = Record_GetF32(e, 24);
    s.interval = Record_GetF32(e, 28);
    s.repeat = Record_GetU32(e, 32);
    s.playMode = Record_GetU32(e, 36);
    Record_GetName(s.sound, sizeof s.sound, e, 40, 64);
    const size_t len = std::strlen(s.sound);
    if (len < 4 || s.kind > 5) continue;  // an event without a sound file name is skipped
    std::memcpy(s.sound + len - 4, ".vqw", 4);
    if (s.kind == 1) {
      // The group of the first earlier event with the same sound (0 for another kind), else the
      // next free group number.
      bool named = false;
      for (uint32_t j = 0; j < m_soundEventCount && !named; ++j)
        if (strcasecmp(m_soundEvents[j].sound, s.sound) == 0) {
          named = true;
          s.group = m_soundEvents[j].group;
        }
      if (!named) s.group = nextGroup++;
    }
    ++m_soundEventCount;
  }
  return true;
}

bool Track::LoadCameras(bool load) {
  const std::string path = TrackFile("_cams.ini");
  if (!load) return true;
  std::vector<uint8_t> bytes;
  if (!ReadScrambled(path, bytes)) return false;
  const size_t n = bytes.size() / TRACK_CAMERA_SIZE;
  if (n > TRACK_MAX_CAMERAS) {
    Report("Too many cameras in '%s' (%u, at most %u)", path.c_str(), unsigned(n),
           unsigned(TRACK_MAX_CAMERAS));
    return false;
  }
  for (size_t i = 0; i < n; ++i) {
    auto* c = new (std::nothrow) TrackCameraRecord;
    if (!c) return false;
    c->Parse(bytes.data() + i * TRACK_CAMERA_SIZE, TRACK_CAMERA_SIZE);
    m_cameras[m_cameraCount++] = c;
  }
  return true;
}

bool Track::LoadMeta() {
  const std::string path = TrackFile("_meta.vqo");
  VQNode* root = nullptr;
  if (m_services.display) {
    root = m_services.display->ReadSceneFile(path.c_str(), 1, 0);
  } else if (!VQscene_LoadFile(&root, path.c_str(), nullptr, 0, false)) {
    root = nullptr;
  }
  if (!root) {
    Report("Cannot load track meta database '%s'", path.c_str());
    return false;
  }
  m_metaRoot = root;
  m_colliderNode = root->FindByName("g_colliders");
  char name[64];
  struct PointList {
    const char* format;
    TrackPoint* points;
    uint32_t* count;
    uint32_t capacity;
  };
  const PointList lists[4] = {{"m_meta_gridpos%d%d", m_grid, &m_gridCount, TRACK_MAX_POINTS},
                              {"m_meta_pitpos%d%d", m_pit, &m_pitCount, TRACK_MAX_POINTS},
                              {"m_meta_podiumpos%d%d", m_podium, &m_podiumCount, TRACK_MAX_POINTS},
                              {"m_meta_prizepos%d%d", m_prize, &m_prizeCount, TRACK_MAX_PRIZES}};
  for (const PointList& l : lists) {
    *l.count = 0;
    for (uint32_t n = 1; n <= l.capacity; ++n) {
      std::snprintf(name, sizeof name, l.format, n / 10, n % 10);
      VQNode* marker = root->FindByName(name);
      if (!marker || !MarkerPoint(marker, &l.points[*l.count])) break;
      MarkMarker(marker);
      ++*l.count;
    }
  }
  // Computer-driver lines: the marker names carry two digits, so at most 10 (01 to 10 do not fit
  // the single-digit pattern beyond 09; the table holds 10).
  for (uint32_t n = 1; n <= TRACK_MAX_AI_LINES; ++n) {
    std::snprintf(name, sizeof name, "m_meta_aii%1d%1d", n / 10, n % 10);
    VQMesh* m = FirstMesh(root->FindByName(name));
    if (!m || !m->m_positions) break;
    auto* line = new TrackAILine;
    line->Build(m->m_positions, m->m_vertexCount);
    m_aiLines[m_aiLineCount++] = line;
  }
  for (uint32_t n = 1; n <= TRACK_MAX_CHECKPOINTS; ++n) {
    std::snprintf(name, sizeof name, "m_meta_checkpoint%d%d*", n / 10, n % 10);
    NameSearch search{name, nullptr, nullptr};
    root->Visit(FindPattern, &search);
    VQMesh* m = FirstMesh(search.found);
    if (!m || m->m_vertexCount < 4 || !m->m_positions) break;
    auto* c = new TrackCheckpoint;
    c->SetEnds(m->m_positions[0].x, m->m_positions[0].y, m->m_positions[3].x, m->m_positions[3].y);
    const char* nodeName = search.found->m_name;
    const size_t len = std::strlen(nodeName);
    c->kind = n == 1 ? 1 : (len && nodeName[len - 1] == char('0' + n % 10) ? 0 : 2);
    VQVector2 at;
    uint32_t segment = 0;
    if (IntersectAILine(0, VQVector2(c->a[0], c->a[1]), VQVector2(c->b[0], c->b[1]), &at,
                        &segment)) {
      c->segment = segment;
      const TrackAILine& l0 = *m_aiLines[0];
      const float len0 = l0.lengths[segment];
      c->fraction = len0 > 0 ? (at - l0.points[segment]).Length() / len0 : 0.0f;
    }
    MarkMarker(search.found);
    m_checkpoints[m_checkpointCount++] = c;
  }
  m_aiBorders = new VQGroupNode(0);
  m_aiBorders->SetName("m_ai_borders");
  std::vector<VQNode*> borders;
  NameSearch all{"m_meta_ai*", nullptr, &borders};
  root->Visit(FindPattern, &all);
  for (VQNode* b : borders) {
    if (b == m_aiBorders) continue;
    b->Detach();
    if (!m_aiBorders->AddChild(b)) {
      VQNode::Destroy(b);
      continue;
    }
    MarkMarker(b);
  }
  return true;
}

void Track::Unload() {
  if (!m_loaded) return;
  ReleaseAll();
}

void Track::ReleaseAll() {
  VQTextureManager* tm = m_services.display ? m_services.display->m_textureManager : nullptr;
  VQTextureManager* sm = m_services.software ? m_services.software->m_textureManager : nullptr;
  if (tm && m_samplingPushed) tm->PopSampling();
  m_samplingPushed = false;
  if (tm) {
    tm->SetLoadFactor(1);
    tm->m_currentGroup = 0;
  }
  if (sm) {
    if (m_shadowMap) sm->Release(m_shadowMap);
    if (m_secondMap) sm->Release(m_secondMap);
    if (!m_name.empty()) sm->SetFolder(m_services.mapsCarsFolder.c_str(), false);
  }
  m_shadowMap = m_secondMap = nullptr;
  m_weatherPath.clear();
  if (m_metaRoot) VQNode::Destroy(m_metaRoot);
  m_metaRoot = m_colliderNode = nullptr;
  if (tm && m_checkpointTexture) tm->Release(m_checkpointTexture);
  m_checkpointTexture = nullptr;
  delete m_tracker;
  m_tracker = nullptr;
  delete m_world;
  m_world = nullptr;
  m_contacts.clear();
  m_soundEventCount = 0;
  if (m_aiBorders) VQNode::Destroy(m_aiBorders);
  m_aiBorders = nullptr;
  for (uint32_t i = 0; i < m_aiLineCount; ++i) delete m_aiLines[i];
  m_aiLineCount = 0;
  for (uint32_t i = 0; i < m_cameraCount; ++i) delete m_cameras[i];
  m_cameraCount = 0;
  delete m_terrain;
  m_terrain = nullptr;
  if (m_podiumGroup) VQNode::Destroy(m_podiumGroup);
  m_podiumGroup = nullptr;
  for (auto*& p : m_podiumPlaces) p = nullptr;
  if (m_scene) {
    VQNode::Destroy(m_scene);
  } else {
    if (m_database) VQNode::Destroy(m_database);
    if (m_soundSources && !m_soundSources->m_parent) VQNode::Destroy(m_soundSources);
  }
  m_scene = nullptr;
  m_database = m_main = nullptr;
  m_soundSources = nullptr;
  m_fog = nullptr;
  m_sun = nullptr;
  for (uint32_t i = 0; i < m_checkpointCount; ++i) delete m_checkpoints[i];
  m_checkpointCount = 0;
  for (auto& n : m_mapNames) n.clear();
  if (tm) tm->ReleaseGroup(kTrackTextureGroup);
  for (uint32_t i = 0; i < m_colliderCount; ++i) delete m_colliders[i];
  m_colliderCount = 0;
  m_playerCount = 0;
  m_gridCount = m_pitCount = m_podiumCount = m_prizeCount = 0;
  m_weatherConfig = m_rainConfig = nullptr;
  m_thunderCount = 0;
  std::memset(m_weatherRecord, 0, sizeof m_weatherRecord);
  m_red = m_orange = m_green = m_blinkLight = nullptr;
  m_startCameras[0] = m_startCameras[1] = nullptr;
  m_name.clear();
  if (g_track == this) g_track = nullptr;
  m_loaded = 0;
}
