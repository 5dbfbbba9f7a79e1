#include "QVX/race/WeatherEffects.h"

#include <strings.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "QVX/shell/RecordBytes.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"

namespace {

constexpr float kTwoPi = 6.2831853f;

float Clamp(float v, float lo, float hi) {
  if (!std::isfinite(v)) return lo;
  return std::min(hi, std::max(lo, v));
}

VQColor ClampedColour(const uint8_t* r, size_t offset) {
  return VQColor(Clamp(Record_GetF32(r, offset), 0, 1), Clamp(Record_GetF32(r, offset + 4), 0, 1),
                 Clamp(Record_GetF32(r, offset + 8), 0, 1), 1.0f);
}

VQColor Blend(const VQColor& a, const VQColor& b, float t) {
  return VQColor(a.r * (1 - t) + b.r * t, a.g * (1 - t) + b.g * t, a.b * (1 - t) + b.b * t, a.a);
}

// The ".wav" name with ".vqw" in place of its last four characters, in the folder.
std::string SoundPath(const std::string& folder, const char* name) {
  std::string n = name;
  if (n.size() >= 4) n.replace(n.size() - 4, 4, ".vqw");
  return folder.empty() ? n : folder + "\\" + n;
}

bool FindMaterial(VQNode* node, void* context) {
  if (node->m_type == VQNODE_GEOSET) {
    auto* g = static_cast<VQGeosetNode*>(node);
    if (g->m_table && g->m_table->m_count > 0 && g->m_table->m_slots[0]) {
      *static_cast<VQMaterial**>(context) = g->m_table->m_slots[0];
      return false;
    }
  }
  return true;
}

VQMaterial* FirstMaterial(VQNode* node) {
  VQMaterial* m = nullptr;
  if (node) node->Visit(FindMaterial, &m);
  return m;
}

bool RainNodeCallback(VQCallbackNode*, uintptr_t word) {
  auto* w = reinterpret_cast<WeatherEffects*>(word);
  VQCamera* camera = g_VQrender.m_camera;
  if (!camera) return true;
  return w->RainCallback(camera->m_matrix, camera->m_velocity);
}

bool StormNodeCallback(VQCallbackNode*, uintptr_t word) {
  auto* w = reinterpret_cast<WeatherEffects*>(word);
  VQCamera* camera = g_VQrender.m_camera;
  if (camera) w->StormCallback(camera->GetPosition());
  return true;
}

uint32_t NextRandom(void* state) {
  uint32_t& s = *static_cast<uint32_t*>(state);
  s = s * 1103515245u + 12345u;
  return (s >> 16) & 0x7FFF;
}

}  // namespace

void RainConfig_Decode(const uint8_t* r, RainConfig& out) {
  Record_GetName(out.name, sizeof out.name, r, 0, 32);
  out.density = Clamp(Record_GetF32(r, 32), 0, 1);
  out.fallSpeed = Clamp(Record_GetF32(r, 36), 0, 100);
  out.width = Clamp(Record_GetF32(r, 40), 0, 1);
  out.height = Clamp(Record_GetF32(r, 44), 0, 10);
  out.opacity = Clamp(Record_GetF32(r, 48), 0, 1);
  out.colour = ClampedColour(r, 52);
  Record_GetName(out.sound, sizeof out.sound, r, 64, 32);
  out.gain = Clamp(Record_GetF32(r, 96), 0, 1);
}

void ThunderConfig_Decode(const uint8_t* r, ThunderConfig& out) {
  Record_GetName(out.name, sizeof out.name, r, 0, 32);
  out.flashDuration = Clamp(Record_GetF32(r, 32), 0, 10);
  out.pauseMin = Clamp(Record_GetF32(r, 36), 0, 600);
  out.pauseRange = Clamp(Record_GetF32(r, 40), 0, 600);
  Record_GetName(out.sound, sizeof out.sound, r, 44, 32);
  out.delayMin = Clamp(Record_GetF32(r, 76), 0, 60);
  out.delayRange = Clamp(Record_GetF32(r, 80), 0, 60);
  out.gainMin = Clamp(Record_GetF32(r, 84), 0, 1);
  out.gainRange = Clamp(Record_GetF32(r, 88), 0, 1);
  out.flash = ClampedColour(r, 92);
  out.ambientFlash = ClampedColour(r, 104);
  out.ambientFactor = Clamp(Record_GetF32(r, 116), 0, 1);
  out.diffuseFlash = ClampedColour(r, 120);
  out.diffuseFactor = Clamp(Record_GetF32(r, 132), 0, 1);
  for (uint32_t k = 0; k < WEATHER_CURVE_POINTS; ++k)
    out.curve[k] = Clamp(Record_GetF32(r, 148 + 4 * k), 0, 1);
}

uint32_t WeatherConfig_ThunderWeights(const uint8_t* r, float* weights) {
  uint32_t n = Record_GetU32(r, WEATHER_THUNDER_COUNT_OFFSET);
  if (n > WEATHER_MAX_THUNDER) n = WEATHER_MAX_THUNDER;
  for (uint32_t k = 0; k < n; ++k)
    weights[k] = Clamp(Record_GetF32(r, WEATHER_THUNDER_WEIGHTS_OFFSET + 4 * k), 0, 1);
  return n;
}

float WeatherConfig_DomeFollow(const uint8_t* r) {
  return Clamp(Record_GetF32(r, WEATHER_DOME_FOLLOW_OFFSET), 0, 1);
}

uint32_t Weather_PickVariant(const float* weights, uint32_t count, float u) {
  float sum = 0.0f;
  for (uint32_t i = 0; i < count; ++i) {
    sum += weights[i];
    if (sum > u) return i;
  }
  return 0;
}

// ---- Rain streaks ----------------------------------------------------------------------------

RainStreaks::RainStreaks(const RainConfig& rain, uint32_t (*random)(void*), void* state) {
  m_fallSpeed = rain.fallSpeed;
  const uint32_t n = uint32_t(rain.density * float(RAIN_STREAK_RANGE) + float(RAIN_MIN_STREAKS));
  m_streaks = n;
  m_mesh = VQMesh::Create(3 * n, n, 0, true, false, false);
  if (!m_mesh) return;
  auto r = [&] { return float(random(state) % 1001) * 0.001f; };
  const uint32_t half = n / 2;
  const float h = rain.width * 0.5f;
  VQVector* p = m_mesh->m_positions;
  for (uint32_t i = 0; i < half; ++i) {
    const float radius = r() * 3.0f + 0.3f;
    const float angle = r() * kTwoPi;
    const float z0 = r() * 2.0f - 2.0f;
    const float cx = std::cos(angle) * radius, cy = std::sin(angle) * radius;
    // Across the streak: at right angles to the centre's direction.
    const float ux = -std::sin(angle), uy = std::cos(angle);
    VQVector* t = p + 3 * i;
    // Wound so that the streak's front faces the axis (the camera), as its normals do: a
    // renderer that drops back faces still shows it.
    t[0] = VQVector(cx + ux * h, cy + uy * h, z0);
    t[1] = VQVector(cx - ux * h, cy - uy * h, z0);
    t[2] = VQVector(cx, cy, z0 + rain.height);
  }
  // The second band repeats the first, raised by 2; an odd last triangle repeats the first.
  for (uint32_t i = half; i < n; ++i) {
    const uint32_t src = half ? (i - half) % half : 0;
    for (int k = 0; k < 3; ++k) {
      p[3 * i + k] = p[3 * src + k];
      p[3 * i + k].z += half ? 2.0f : 0.0f;
    }
  }
  for (uint32_t v = 0; v < 3 * n; ++v) {
    const float d = std::sqrt(p[v].x * p[v].x + p[v].y * p[v].y);
    m_mesh->m_normals[v] = d > 0.0f ? VQVector(-p[v].x / d, -p[v].y / d, 0.0f) : VQVector(0, 0, 0);
  }
  for (uint32_t i = 0; i < 3 * n; ++i) m_mesh->m_indices[i] = uint16_t(i);
  for (uint32_t t = 0; t < n; ++t) m_mesh->SetMaterialOf(t, 0);
  VQGeoset* geoset = VQGeoset::Create();
  if (!geoset || !geoset->AddLevel(m_mesh, 10000.0f)) {
    if (geoset)
      VQGeoset::Destroy(geoset);
    else
      VQMesh::Destroy(m_mesh);
    m_mesh = nullptr;
    return;
  }
  geoset->m_distances[0] = 1000.0f;
  geoset->m_frustumTest = 0;
  geoset->GetBoundingSphere(geoset->m_centre, geoset->m_radius);
  m_geosetNode = new (std::nothrow) VQGeosetNode(geoset);
  m_transform = new (std::nothrow) VQTransformNode();
  if (!m_geosetNode || !m_transform) {
    delete m_transform;
    m_transform = nullptr;
    if (m_geosetNode)
      delete m_geosetNode;
    else
      VQGeoset::Destroy(geoset);
    m_geosetNode = nullptr;
    m_mesh = nullptr;
    return;
  }
  m_transform->SetChild(m_geosetNode);
  // The material is made on the main thread (Prepare); until then its values wait here.
  m_pendingColour = rain.colour;
  m_pendingOpacity = rain.opacity;
}

RainStreaks::~RainStreaks() {
  if (m_transform) {
    m_transform->Detach();
    VQNode::Destroy(m_transform);
  }
}

void RainStreaks::Prepare() {
  if (m_prepared || !m_geosetNode) return;
  m_prepared = 1;
  VQMattable* table = VQMattable::Create(1);
  if (table) {
    VQMaterial* m = table->m_slots[0];
    // The streak colour is both the lit and the shadowed colour: a streak lit from behind still
    // shows its grey against the scene instead of the black of a material without ambient.
    m->m_diffuse = VQColor(m_pendingColour.r, m_pendingColour.g, m_pendingColour.b, 1.0f);
    m->m_ambient = m->m_diffuse;
    m->m_emission = VQColor(0, 0, 0, m_pendingOpacity);
    m->m_opacity = m_pendingOpacity;
    m->m_srcBlend = 2;  // source alpha
    m->m_dstBlend = 3;  // one minus source alpha
    table->m_hasTransparent = 1;
    m_geosetNode->SetMattable(table);
    m_material = m;
  }
  m_transform->PrepareDevice();
}

void RainStreaks::SetOpacity(float value) {
  m_pendingOpacity = value;
  if (m_material) {
    m_material->m_opacity = value;
    m_material->m_emission.a = value;
  }
}

float RainStreaks::GetOpacity() const {
  return m_material ? m_material->m_opacity : m_pendingOpacity;
}

void RainStreaks::Draw() {
  Prepare();
  if (m_transform) m_transform->Render(0);
}

void RainStreaks::Update(const VQMatrix& camera, const VQVector& velocity, VQVector& scroll,
                         float step) {
  if (!m_transform) return;
  VQMatrix& m = m_transform->m_matrix;
  m.SetRotation(-RAIN_LEAN * velocity.y, RAIN_LEAN * velocity.x, 0.0f);
  VQVector cam;
  camera.GetTranslation(cam);
  // The scroll offset is applied before the lean (pre-multiplied translation).
  VQVector s;
  m.SetTranslation(0, 0, 0);
  m.RotateVector(s, scroll);
  m.SetTranslation(cam + s);
  scroll.z -= step * m_fallSpeed;
  if (scroll.z < -1.0f) scroll.z += 2.0f;
}

// ---- Weather effects -------------------------------------------------------------------------

float WeatherEffects::Random01() { return float(NextRandom(&m_random) % 1001) * 0.001f; }

uint32_t WeatherEffects::DrawVariant() {
  const float u = float(NextRandom(&m_random) % 1000) * 0.001f;
  m_variant = Weather_PickVariant(m_weights, m_thunderCount, u);
  if (m_thunderCount) {
    const ThunderConfig& t = m_thunder[m_variant];
    m_flashCountdown = t.pauseMin + Random01() * t.pauseRange;
  }
  return m_variant;
}

WeatherEffects::WeatherEffects(VQNode* dome, VQNode* dome2, VQNode* sunLight, VQNode*,
                               const VQVector& sunDirection, void*, VQFogNode* fog,
                               const WeatherSetup& setup) {
  m_dome = dome;
  m_dome2 = dome2;
  m_sun =
      sunLight && sunLight->m_type == VQNODE_LIGHT ? static_cast<VQLightNode*>(sunLight) : nullptr;
  m_sunDirection = sunDirection;
  m_fog = fog;
  m_domeFollow = setup.domeFollow;
  m_sound = setup.sound;
  m_volume = setup.effectsVolume * setup.masterVolume;
  m_random = setup.seed ? setup.seed : 1;
  m_thunderCount = std::min(setup.thunderCount, WEATHER_MAX_THUNDER);
  for (uint32_t i = 0; i < m_thunderCount; ++i) {
    m_thunder[i] = setup.thunder[i];
    m_weights[i] = setup.weights[i];
  }
  if (setup.rain) {
    m_rain = new (std::nothrow) RainStreaks(*setup.rain, NextRandom, &m_random);
    m_rainNode = new (std::nothrow) VQCallbackNode();
    if (m_rainNode) {
      m_rainNode->SetCallback(RainNodeCallback, reinterpret_cast<uintptr_t>(this));
      if (!setup.sceneGroup || !setup.sceneGroup->AddChild(m_rainNode)) {
        delete m_rainNode;
        m_rainNode = nullptr;
      }
    }
    if (setup.rain->sound[0]) m_rainPath = SoundPath(setup.soundFolder, setup.rain->sound);
    m_rainGain = setup.rain->gain;
  }
  if (m_sun) {
    m_sunAmbientSaved = m_sun->m_ambient;
    m_sunDiffuseSaved = m_sun->m_diffuse;
  }
  for (uint32_t i = 0; i < m_thunderCount; ++i)
    if (m_thunder[i].sound[0]) m_thunderPaths[i] = SoundPath(setup.soundFolder, m_thunder[i].sound);
  DrawVariant();
  if (m_dome && m_dome->m_parent) {
    m_domeWrapper = new (std::nothrow) VQCallbackNode();
    if (m_domeWrapper && m_dome->m_parent->ReplaceChild(m_domeWrapper, m_dome)) {
      m_domeWrapper->m_child = m_dome;
      m_dome->m_parent = m_domeWrapper;
      m_domeWrapper->SetCallback(StormNodeCallback, reinterpret_cast<uintptr_t>(this));
    } else {
      delete m_domeWrapper;
      m_domeWrapper = nullptr;
    }
  }
  m_domeMaterial = FirstMaterial(m_dome);
  m_dome2Material = FirstMaterial(m_dome2);
  if (m_domeMaterial) {
    m_domeSaved = m_domeMaterial->m_diffuse;
    m_domeEmissionSaved = m_domeMaterial->m_emission;
  }
  if (m_dome2Material) {
    m_dome2Saved = m_dome2Material->m_diffuse;
    m_dome2EmissionSaved = m_dome2Material->m_emission;
  }
}

WeatherEffects::~WeatherEffects() {
  if (m_rainNode) {
    m_rainNode->Detach();
    delete m_rainNode;
  }
  delete m_rain;
  if (m_sound) {
    if (m_rainSample) {
      m_sound->StopLimited(m_rainSample);
      m_sound->DeleteBuffer(m_rainSample);
    }
    for (uint32_t i = 0; i < m_thunderCount; ++i)
      if (m_thunderSamples[i]) {
        m_sound->StopLimited(m_thunderSamples[i]);
        m_sound->DeleteBuffer(m_thunderSamples[i]);
      }
  }
  if (m_storm) RestoreFlash();
  if (m_domeWrapper) {
    VQNode* parent = m_domeWrapper->m_parent;
    m_domeWrapper->m_child = nullptr;
    m_dome->m_parent = nullptr;
    if (!parent || !parent->ReplaceChild(m_dome, m_domeWrapper)) {
      m_domeWrapper->Detach();
    }
    delete m_domeWrapper;
  }
}

void WeatherEffects::Realize() {
  if (m_realized) return;
  m_realized = 1;
  if (m_rain) m_rain->Prepare();
  if (!m_sound) return;
  if (!m_rainPath.empty()) {
    m_rainSample = m_sound->CreateBufferFromFile(m_rainPath.c_str());
    if (m_rainSample) m_rainSample->SetBaseGain(m_rainGain);
  }
  for (uint32_t i = 0; i < m_thunderCount; ++i) {
    if (m_thunderPaths[i].empty()) continue;
    for (uint32_t j = 0; j < i; ++j)
      if (m_thunderSamples[j] && strcasecmp(m_thunder[j].sound, m_thunder[i].sound) == 0) {
        m_thunderSamples[i] = m_sound->DuplicateBuffer(m_thunderSamples[j]);
        break;
      }
    if (!m_thunderSamples[i])
      m_thunderSamples[i] = m_sound->CreateBufferFromFile(m_thunderPaths[i].c_str());
  }
  SetVolume(m_volume);
}

void WeatherEffects::SetVolume(float volume) {
  m_volume = volume;
  if (m_rainSample) m_rainSample->SetVolume(volume * m_rainVolume);
  if (m_thunderCount && m_thunderSamples[m_variant]) m_thunderSamples[m_variant]->SetVolume(volume);
}

void WeatherEffects::SetRainVolume(float volume) {
  m_rainVolume = volume;
  if (m_rainSample) m_rainSample->SetVolume(m_volume * volume);
}

bool WeatherEffects::RainCallback(const VQMatrix& camera, const VQVector& velocity) {
  Realize();
  if (!m_rainStarted && m_rainSample && m_sound) {
    m_rainSample->SetVolume(m_volume * m_rainVolume);
    m_sound->PlayLimited(m_rainSample, 1, 0.5f);
    m_rainStarted = 1;
  }
  if (m_rain) {
    m_rain->Update(camera, velocity, m_scroll[m_currentView].offset, m_frameStep);
    m_rain->Draw();
  }
  return true;
}

void WeatherEffects::ApplyFlash(float b) {
  const ThunderConfig& t = m_thunder[m_variant];
  if (m_domeMaterial) {
    m_domeMaterial->m_diffuse = Blend(m_domeSaved, t.flash, b);
    m_domeMaterial->m_emission = b != 0.0f ? m_domeMaterial->m_diffuse : m_domeEmissionSaved;
  }
  if (m_dome2Material) {
    m_dome2Material->m_diffuse = Blend(m_dome2Saved, t.flash, b);
    m_dome2Material->m_emission = b != 0.0f ? m_dome2Material->m_diffuse : m_dome2EmissionSaved;
  }
  if (m_fog) m_fog->m_colour = Blend(m_fogSaved, t.flash, b);
  if (m_sun) {
    m_sun->m_ambient = Blend(m_sunAmbientSaved, t.ambientFlash, b * t.ambientFactor);
    m_sun->m_diffuse = Blend(m_sunDiffuseSaved, t.diffuseFlash, b * t.diffuseFactor);
  }
}

void WeatherEffects::RestoreFlash() {
  if (m_domeMaterial) {
    m_domeMaterial->m_diffuse = m_domeSaved;
    m_domeMaterial->m_emission = m_domeEmissionSaved;
  }
  if (m_dome2Material) {
    m_dome2Material->m_diffuse = m_dome2Saved;
    m_dome2Material->m_emission = m_dome2EmissionSaved;
  }
  if (m_fog) m_fog->m_colour = m_fogSaved;
  if (m_sun) {
    m_sun->m_ambient = m_sunAmbientSaved;
    m_sun->m_diffuse = m_sunDiffuseSaved;
  }
}

void WeatherEffects::StormCallback(const VQVector& cameraPosition) {
  Realize();
  if (m_dome && m_dome->m_type == VQNODE_TRANSFORM)
    static_cast<VQTransformNode*>(m_dome)->m_matrix.SetTranslation(cameraPosition * m_domeFollow);
  if (m_thunderCount == 0 || m_currentView != 0) return;
  const ThunderConfig& t = m_thunder[m_variant];
  const float step = m_frameStep;
  if (m_storm == 0) {
    m_flashCountdown -= step;
    if (m_flashCountdown < 0.0f) {
      m_flashLength = m_thunderDelay = t.delayMin + Random01() * t.delayRange;
      if (m_fog) m_fogSaved = m_fog->m_colour;
      m_flashTime = 0.0f;
      m_storm = 1;
    }
    return;
  }
  if (m_flashTime < t.flashDuration) {
    uint32_t k = uint32_t(m_flashTime / t.flashDuration * float(WEATHER_CURVE_POINTS));
    if (k > WEATHER_CURVE_POINTS - 1) k = WEATHER_CURVE_POINTS - 1;
    ApplyFlash(t.curve[k]);
    m_flashTime += step;
    return;
  }
  RestoreFlash();
  VQSoundBuffer* sample = m_thunderSamples[m_variant];
  if (sample) sample->SetBaseGain(t.gainMin + Random01() * t.gainRange);
  m_thunderDelay -= step;
  if (m_thunderDelay <= 0.0f) {
    if (sample && m_sound) {
      m_sound->StopLimited(sample);
      sample->SetVolume(m_volume);
      m_sound->PlayLimited(sample, 0, 0.5f);
    }
    m_storm = 0;
  }
  DrawVariant();
}
