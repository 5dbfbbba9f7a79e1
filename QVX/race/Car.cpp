#include "QVX/race/Car.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "QVX/race/CarCatalog.h"
#include "QVX/race/CarEnvironment.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/sound/VQSoundBuffer.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQParticleSystem.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {
const char* const kWheelNames[4] = {"x_whl_lf", "x_whl_rf", "x_whl_lr", "x_whl_rr"};

VQTransformNode* AsTransform(VQNode* n) {
  return n && n->m_type == VQNODE_TRANSFORM ? static_cast<VQTransformNode*>(n) : nullptr;
}
VQGeosetNode* AsGeoset(VQNode* n) {
  return n && n->m_type == VQNODE_GEOSET ? static_cast<VQGeosetNode*>(n) : nullptr;
}

// Binds a texture to the first stage of every textured material of the geosets below node.
void BindTexture(VQNode* node, VQTexture* texture) {
  if (!node || !texture) return;
  node->Visit(
      [](VQNode* n, void* context) {
        if (VQGeosetNode* g = AsGeoset(n); g && g->m_table) {
          for (uint32_t i = 0; i < g->m_table->m_count; ++i) {
            VQMaterial* m = g->m_table->m_slots[i];
            if (m && m->m_stageCount > 0)
              m->m_stages[0].m_texture = static_cast<VQTexture*>(context);
          }
        }
        return true;
      },
      texture);
}
}  // namespace

Car::Car() = default;

Car::~Car() {
  if (m_created) {
    if (m_attached) Detach();
    Release(true);
  }
}

void Car::ClearFields() {
  // Everything back to construction values except the owner and the last error.
  m_catalog = nullptr;
  m_environment = nullptr;
  m_class = nullptr;
  m_detail = 2;
  m_classIndex = 0;
  m_computer = 0;
  m_root = m_bodyGroup = nullptr;
  m_bodyGeoset = nullptr;
  m_bodyTransform = nullptr;
  for (auto& w : m_wheels) w = nullptr;
  m_engine = nullptr;
  m_brakes = nullptr;
  m_shadow = nullptr;
  m_lights[0] = m_lights[1] = nullptr;
  m_glows[0] = m_glows[1] = nullptr;
  m_reflectGroup = nullptr;
  m_reflectTransform = nullptr;
  m_reflectGeoset = nullptr;
  m_engineNode = m_roadNode = m_hornNode = nullptr;
  m_engineSound = m_roadSound = m_hornSound = nullptr;
  m_model = nullptr;
  m_manual = 0;
  m_smokeGain = 1.0f, m_smokeThreshold = 1.0f, m_smokeEmission = 4.0f, m_smokeVelocityFactor = 0.5f;
  m_smokeVelocityOffset = VQVector(0, 0, 0);
  m_engineSmokeEmission = 4.0f, m_engineSmokeVelocityFactor = 0.5f;
  m_engineSmokeOffset = m_engineSmokeWeight = m_engineSmokePosition = VQVector(0, 0, 0);
  m_sprayVelocityFactor = m_sprayHeightWeight = m_sprayHeightOffset = m_sprayCeiling = 0.0f;
  m_sprayOffset = VQVector(0, 0, 0);
  m_lightsOn = 0, m_parkBrake = 1, m_hasLights = 0, m_hasBrakeLights = 0, m_hasHorn = 0;
  m_attached = 0;
  m_engineSmokeOn = 1;
  m_gearCount = 5;
  m_gear = CAR_GEAR_NEUTRAL;
  m_lastShift = 0.0f;
  m_shiftInterval = 0.1f;
  m_frozen = 0;
  m_frozenFrames = m_blipCounter = 0;
  m_hold = 0;
  m_sprayFactor = 0.0f;
  for (auto& e : m_tyreSmoke) e = nullptr;
  m_engineSmoke = m_spray = nullptr;
  m_enginePitch = 1.0f, m_engineGain = 0.0f, m_roadGain = 0.0f;
  for (float& s : m_wheelSlip) s = 0.0f;
  m_bodyColours.clear();
  m_created = 0;
}

bool Car::Fail(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  m_error = text;
  VQlog_Printf(1, "Car: %s", text);
  if (g_program) g_program->Error("%s", text);
  Release(true);
  return false;
}

bool Car::Create(CarCatalog* catalog, CarEnvironment* environment, const CarSetup& setup) {
  if (m_created) return true;
  Release(true);
  m_error.clear();
  if (!catalog || !environment) return Fail("a car needs a catalog and an environment");
  m_catalog = catalog;
  m_environment = environment;
  const char* carName = setup.carName ? setup.carName : "";
  m_class = catalog->Find(carName);
  if (!m_class) return Fail("unknown car class '%s'", carName);
  m_classIndex = m_class->classIndex;
  m_computer = setup.computer ? 1 : 0;
  m_detail = std::min<uint32_t>(setup.detail, CAR_DETAIL_LEVELS - 1);
  m_manual = setup.manual ? 1 : 0;
  m_gearCount = int32_t(m_class->gears);
  m_gear = CAR_GEAR_NEUTRAL;
  m_hasHorn = setup.horn && !setup.computer ? 1 : 0;
  for (int i = 0; i < 2; ++i) m_pitch[i] = m_class->pitch[m_computer][i];
  std::memcpy(m_slipTuning, m_class->slip, sizeof m_slipTuning);
  std::memcpy(m_wheelPoints, m_class->wheelPoints, sizeof m_wheelPoints);
  m_engineGainBase = m_class->gains[m_computer ? 1 : 0];
  m_roadGainBase = m_class->gains[2];
  m_engineSmokeOn = 1;

  // Scene model.
  VQNode* model = catalog->GetModel(m_class, m_detail);
  if (!model) return Fail("the scene model of car '%s' cannot be loaded", carName);
  m_root = model->Clone(false, true);
  if (!m_root) return Fail("the scene model of car '%s' cannot be copied", carName);
  m_bodyGroup = m_root->FindByName("g_body");
  m_bodyTransform = AsTransform(m_root->FindByName("x_body"));
  m_bodyGeoset = AsGeoset(m_root->FindByName("m_body"));
  for (int w = 0; w < 4; ++w) m_wheels[w] = AsTransform(m_root->FindByName(kWheelNames[w]));
  const char* missing = !m_bodyGroup       ? "g_body"
                        : !m_bodyTransform ? "x_body"
                        : !m_bodyGeoset    ? "m_body"
                                           : nullptr;
  for (int w = 0; w < 4 && !missing; ++w)
    if (!m_wheels[w]) missing = kWheelNames[w];
  if (missing) return Fail("the scene model of car '%s' has no node '%s'", carName, missing);
  m_engine = AsTransform(m_root->FindByName("x_engine"));
  m_brakes = m_root->FindByName("m_brakes");
  m_shadow = AsGeoset(m_root->FindByName("m_shadow"));
  if (m_shadow && m_shadow->m_geoset) m_shadow->SetGeoset(VQGeoset::Clone(m_shadow->m_geoset));
  for (VQTransformNode* w : m_wheels) w->m_notify = 0;
  m_bodyColours.clear();
  if (m_bodyGeoset->m_table)
    for (uint32_t i = 0; i < m_bodyGeoset->m_table->m_count; ++i) {
      const VQMaterial* m = m_bodyGeoset->m_table->m_slots[i];
      m_bodyColours.push_back(m ? m->m_diffuse : VQColor{1, 1, 1, 1});
    }
  BindTexture(m_bodyGeoset, setup.paint);
  for (VQTransformNode* w : m_wheels) BindTexture(w, setup.wheels);

  // Brake and head lights: optional.
  m_hasBrakeLights = m_brakes ? 1 : 0;
  if (m_brakes) m_brakes->m_enabled = 0;
  m_lights[0] = m_root->FindByName("m_light_lf");
  m_lights[1] = m_root->FindByName("m_light_rf*");
  m_hasLights = (m_lights[0] || m_lights[1]) ? 1 : 0;
  for (int i = 0; i < 2; ++i) {
    VQNode* light = m_lights[i];
    if (!light) continue;
    // The light hangs below a callback node that decides each frame whether its glow shows.
    VQNode* parent = light->m_parent;
    auto* glow = new VQCallbackNode(0);
    glow->SetCallback(&Car::GlowCallback, reinterpret_cast<uintptr_t>(this));
    if (parent && parent->ReplaceChild(glow, light)) {
      glow->SetChild(light);
      m_glows[i] = glow;
    } else {
      delete glow;
    }
    light->m_enabled = 0;
  }
  if (m_engine) environment->RegisterSoundNode(m_engine);

  // Effects.
  const CarWeather& weather = environment->GetWeather();
  const uint32_t effects = catalog->m_effectLevel;
  const float* smoke = m_class->smoke;
  if (smoke[0] != 0.0f) {
    m_smokeEmission = smoke[1];
    m_smokeVelocityFactor = smoke[2];
    m_smokeVelocityOffset = VQVector(smoke[3], smoke[4], smoke[5]);
    m_smokeGain = smoke[6];
    m_smokeThreshold = smoke[7];
  }
  if (effects && !m_computer && !weather.rain) {
    for (int w = 0; w < 4; ++w) {
      const VQVector at(m_wheelPoints[w][0], m_wheelPoints[w][1], m_wheelPoints[w][2]);
      m_tyreSmoke[w] = MakeEmitter("tiresmoke", at, m_root, nullptr);
    }
  }
  if (effects && weather.rain && weather.rainLevel >= 1 && weather.rainLevel <= 3) {
    const float* s = m_class->spray[weather.rainLevel - 1];
    if (s[0] != 0.0f) {
      m_sprayVelocityFactor = s[1];
      m_sprayOffset = VQVector(s[2], s[3], s[4]);
      m_sprayHeightWeight = s[5];
      m_sprayHeightOffset = s[6];
      m_sprayCeiling = s[7];
      m_spray = MakeEmitter("spray", VQVector(0, 0.3f, 0.05f), m_root, nullptr);
    }
  }
  const float* es = m_class->engineSmoke;
  if (es[0] != 0.0f) {
    m_engineSmokePosition = VQVector(es[1], es[2], es[3]);
    m_engineSmokeEmission = es[4];
    m_engineSmokeVelocityFactor = es[5];
    m_engineSmokeOffset = VQVector(es[6], es[7], es[8]);
    m_engineSmokeWeight = VQVector(es[9], es[10], es[11]);
    m_engineSmoke = MakeEmitter("enginesmoke", m_engineSmokePosition, m_root, nullptr);
  }

  MakeSounds();

  // Vehicle model.
  std::string tried;
  const std::string dataFile =
      catalog->FindModelFile(environment->GetTrackName(), carName, !m_computer, &tried);
  if (dataFile.empty()) return Fail("TOLVU model file '%s' does not exist", tried.c_str());
  if (m_computer)
    m_model = new TolvuCarModel1();
  else
    m_model = new TolvuCarModel2();
  if (!m_model->Initialize(nullptr, dataFile.c_str(), setup.position, setup.angles,
                           environment->GetGroundQuery()))
    return Fail("TOLVU model file '%s' cannot be read (error %d)", dataFile.c_str(), g_VQerror);
  m_model->m_userWord = reinterpret_cast<uintptr_t>(this);
  m_model->m_enabled = 0;
  m_resetPosition = m_referencePosition = setup.position;
  m_startAngles = setup.angles;
  m_previousPosition = m_model->GetPosition();
  for (uint32_t i = 0; i < m_class->sphereCount; ++i)
    m_model->AddCollisionSphere(m_class->sphereCentres[i], m_class->sphereRadii[i],
                                m_class->sphereFlags[i]);
  m_model->SetAllSphereValues(m_class->material);
  m_model->SetGear(m_gear);
  m_model->SetClutch(1.0f);

  if (weather.wet && weather.reflectionTexture) MakeReflection();

  m_created = 1;
  UpdateTransforms();
  return true;
}

VQParticleSystem* Car::MakeEmitter(const char* name, const VQVector& at, VQNode* parent,
                                   VQNode** effectNode) {
  VQDisplayDevice* device = m_catalog ? m_catalog->GetDisplay() : nullptr;
  if (!device || !parent) return nullptr;
  auto* system = new (std::nothrow) VQParticleSystem(device, 50, 1);
  if (!system) {
    VQerror_Fail(VQERR_OUT_OF_MEMORY);
    return nullptr;
  }
  system->SetName(name);
  // Built-in look: soft white puffs that grow and fade.
  system->m_startColour = VQColor{1, 1, 1, 0.3f};
  system->m_endColour = VQColor{1, 1, 1, 0};
  system->m_startSize[0] = system->m_startSize[1] = 0.4f;
  system->m_endSize[0] = system->m_endSize[1] = 2.0f;
  system->m_life = 1.5f;
  system->m_lifeSpread = 0.4f;
  system->m_acceleration = VQVector(0, 0, 0.1f);
  system->m_velocitySpread = VQVector(0.5f, 0.5f, 0.2f);
  system->m_emitter = at;
  system->m_rate = 0.0f;
  auto* node = new (std::nothrow) VQEffectNode();
  if (!node) {
    delete system;
    VQerror_Fail(VQERR_OUT_OF_MEMORY);
    return nullptr;
  }
  node->SetName(name);
  node->SetEffect(system);
  node->m_sphere->m_centre = at;
  node->m_sphere->m_radius = 10.0f;
  VQNode* group = parent->m_type == VQNODE_ROOT ? parent->GetChild() : parent;
  if (!group || !group->AddChild(node)) {
    delete node;
    return nullptr;
  }
  if (effectNode) *effectNode = node;
  return system;
}

void Car::MakeSounds() {
  if (!m_catalog || !m_catalog->GetSound() || !m_bodyGroup) return;
  const CarWeather& weather = m_environment->GetWeather();
  auto make = [&](const char* name, float gain, float range, float volume, VQSoundSourceNode** node,
                  VQSoundBuffer** buffer) {
    *buffer = m_catalog->LoadSound(name);
    if (!*buffer) return;
    (*buffer)->m_loop = 1;
    (*buffer)->SetBaseGain(gain);
    auto* n = new (std::nothrow) VQSoundSourceNode(0);
    if (!n) {
      VQerror_Fail(VQERR_OUT_OF_MEMORY);
      m_catalog->ReleaseSound(*buffer);
      *buffer = nullptr;
      return;
    }
    n->SetSample(*buffer, false);
    n->SetPosition(VQVector(0, 0, 0.5f), range, range);
    n->m_volume = volume;
    n->m_gain = gain;
    if (!m_bodyGroup->AddChild(n)) {
      delete n;
      m_catalog->ReleaseSound(*buffer);
      *buffer = nullptr;
      return;
    }
    *node = n;
  };
  if (!m_computer)
    make(m_class->sounds[weather.wet ? 3 : 2], m_roadGainBase, 30.0f, 0.5f, &m_roadNode,
         &m_roadSound);
  make(m_class->sounds[m_computer ? 1 : 0], m_engineGainBase, m_computer ? 25.0f : 60.0f, 1.0f,
       &m_engineNode, &m_engineSound);
  if (m_hasHorn) {
    make(m_class->sounds[4], m_class->gains[3], 0.0f, 0.0f, &m_hornNode, &m_hornSound);
    if (m_hornNode) m_hornNode->SetRange(0.0f);
  }
}

void Car::MakeReflection() {
  if (!m_bodyGeoset || !m_bodyGeoset->m_geoset) return;
  m_reflectGroup = new VQGroupNode(0);
  m_reflectGroup->SetName("g_car_reflect");
  m_reflectTransform = new VQTransformNode(0);
  m_reflectGeoset = new VQGeosetNode(m_bodyGeoset->m_geoset, 0);
  VQMattable* table = VQMattable::Create(1);
  if (table && table->m_count == 1 && table->m_slots[0]) {
    VQMaterial* m = table->m_slots[0];
    m->m_stageCount = 1;
    m->m_stages[0].m_texture = m_environment->GetWeather().reflectionTexture;
    m->m_srcBlend = 2;
    m->m_dstBlend = 3;
    m->m_diffuse.a = 0.4f;
  }
  m_reflectGeoset->SetMattable(table);
  m_reflectTransform->SetChild(m_reflectGeoset);
  m_reflectGroup->AddChild(m_reflectTransform);
  VQNode* group = m_root->m_type == VQNODE_ROOT ? m_root->GetChild() : m_root;
  if (!group || !group->AddChild(m_reflectGroup)) {
    VQNode::Destroy(m_reflectGroup);
    m_reflectGroup = nullptr;
    m_reflectTransform = nullptr;
    m_reflectGeoset = nullptr;
  }
}

void Car::ReleaseSound(VQSoundSourceNode*& node, VQSoundBuffer*& buffer) {
  if (node) node->SetSample(nullptr, false);  // stops it
  if (buffer && m_catalog) m_catalog->ReleaseSound(buffer);
  node = nullptr;
  buffer = nullptr;
}

void Car::Release(bool destroyShadowNode) {
  (void)destroyShadowNode;  // the shadow node lives inside the car's root
  if (m_attached) Detach();
  if (m_model) {
    m_model->Uninitialize();
    delete m_model;
    m_model = nullptr;
  }
  ReleaseSound(m_engineNode, m_engineSound);
  ReleaseSound(m_roadNode, m_roadSound);
  ReleaseSound(m_hornNode, m_hornSound);
  if (m_root) VQNode::Destroy(m_root);
  ClearFields();
}
