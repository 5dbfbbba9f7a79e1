#include "QVX/race/CarCatalog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "QVX/shell/Program.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/util/VQscramble.h"

namespace {
float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }
void GetFloats(const uint8_t* r, size_t offset, float* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = Finite(Record_GetF32(r, offset + 4 * i));
}
}  // namespace

void CarClassInfo_FromRecord(const uint8_t record[CLASS_RECORD_SIZE], CarClassInfo* info) {
  const uint8_t* r = record;
  const uint32_t gears = Record_GetU32(r, CLASSREC_GEARS);
  info->gears = std::clamp<uint32_t>(gears == 0 ? 5 : gears, 1, 6);
  GetFloats(r, CLASSREC_PITCH, &info->pitch[0][0], 4);
  GetFloats(r, CLASSREC_SLIP, info->slip, 4);
  GetFloats(r, CARREC_GAINS, info->gains, 4);
  GetFloats(r, CLASSREC_WHEEL_POINTS, &info->wheelPoints[0][0], 12);
  GetFloats(r, CLASSREC_SMOKE, info->smoke, 16);
  GetFloats(r, CLASSREC_SPRAY, &info->spray[0][0], 48);
  GetFloats(r, CLASSREC_ENGINE_SMOKE, info->engineSmoke, 16);
  for (uint32_t i = 0; i < CLASS_SOUNDS; ++i)
    Record_GetName(info->sounds[i], sizeof info->sounds[i], r, g_classSoundOffsets[i],
                   CLASS_NAME_FIELD);
  Record_GetName(info->envMap, sizeof info->envMap, r, CLASSREC_ENV_MAP, 64);
  info->sphereCount = std::min<uint32_t>(Record_GetU32(r, CARREC_SPHERE_COUNT), CAR_MAX_SPHERES);
  for (uint32_t i = 0; i < info->sphereCount; ++i) {
    float s[4];
    GetFloats(r, CARREC_SPHERES + 16 * i, s, 4);
    info->sphereCentres[i] = VQVector(s[0], s[1], s[2]);
    info->sphereRadii[i] = std::max(0.0f, s[3]);
    info->sphereFlags[i] = r[CARREC_SPHERE_FLAGS + i];
  }
}

CarCatalog::CarCatalog(const char* dataRoot, VQDisplayDevice* display, VQSoundDevice* sound)
    : m_root(dataRoot && *dataRoot ? dataRoot : "."), m_display(display), m_sound(sound) {
  // Detail words: texture-stage settings of the wheels' and body's first materials.
  for (uint32_t d = 0; d < CAR_DETAIL_LEVELS; ++d)
    for (uint32_t k = 0; k < 4; ++k) m_detailWords[d][k] = 0;
}

CarCatalog::~CarCatalog() {
  for (CarClassInfo* info : m_classes) {
    for (VQNode*& model : info->models)
      if (model) VQNode::Destroy(model);
    delete info;
  }
}

bool CarCatalog::AddClass(const char* name, const uint8_t record[CLASS_RECORD_SIZE],
                          const VQContactMaterial* material) {
  if (!name || !*name || Find(name)) return false;
  auto* info = new CarClassInfo();
  info->name = name;
  info->classIndex = uint32_t(m_classes.size());
  CarClassInfo_FromRecord(record, info);
  info->material = material;
  m_classes.push_back(info);
  return true;
}

bool CarCatalog::LoadClass(const char* name, const VQContactMaterial* material) {
  if (!name || !*name) return false;
  const std::string path = m_root + "\\Data\\Cars\\class_" + name + ".bin";
  std::string data;
  if (!vqfileio::ReadWholeFile(path.c_str(), data, 24) || data.size() < CLASS_RECORD_SIZE) {
    VQlog_Printf(1, "Car class '%s': cannot read '%s'", name, path.c_str());
    return false;
  }
  uint8_t record[CLASS_RECORD_SIZE];
  std::memcpy(record, data.data(), CLASS_RECORD_SIZE);
  VQscramble(record, CLASS_RECORD_SIZE, nullptr, 0);
  return AddClass(name, record, material);
}

void CarCatalog::AddProgramClasses() {
  Program* program = g_program;
  if (!program) return;
  for (uint32_t c = 0; c < program->m_classCount; ++c) {
    const RacingClass* cls = program->m_classes[c];
    if (!cls) continue;
    // The class's contact material is its record's, else the last ground material.
    const CollisionMaterial* m = cls->m_material;
    if (!m && !program->m_materials.empty()) m = &program->m_materials.back();
    if (!AddClass(cls->m_name, cls->m_record, nullptr)) continue;
    CarClassInfo* info = Find(cls->m_name);
    info->classIndex = c;
    if (m) {
      info->contact = g_VQdefaultCollisionMaterial;
      info->contact.friction = std::clamp(float(m->values[2]) / 100.0f, 0.05f, 2.0f);
      info->material = &info->contact;
    }
  }
}

CarClassInfo* CarCatalog::Find(const char* name) {
  if (!name) return nullptr;
  for (CarClassInfo* info : m_classes)
    if (info->name == name) return info;
  return nullptr;
}

VQNode* CarCatalog::GetModel(CarClassInfo* info, uint32_t detail) {
  if (!info || !m_display) return nullptr;
  detail = std::min(detail, CAR_DETAIL_LEVELS - 1);
  if (info->models[detail]) return info->models[detail];
  char name[32];
  std::snprintf(name, sizeof name, "_%u.vqo", detail);
  const std::string path = m_root + "\\Data\\Cars\\" + info->name + "\\" + info->name + name;
  VQTextureManager* textures = m_display->m_textureManager;
  const std::string folder = m_root + (m_textureQuality ? "\\Data\\Maps_high" : "\\Data\\Maps_low");
  const bool pushed = textures && textures->PushFolder(folder.c_str(), false);
  info->models[detail] = VQscene_LoadForDevice(m_display, path.c_str(), true);
  if (pushed) textures->PopFolder();
  if (!info->models[detail])
    VQlog_Printf(1, "Car model '%s' cannot be loaded (error %d)", path.c_str(), g_VQerror);
  return info->models[detail];
}

std::string CarCatalog::FindModelFile(const char* track, const char* car, bool high,
                                      std::string* tried) const {
  const char* level = high ? "high" : "mid";
  const std::string own =
      m_root + "\\Data\\Cars\\" + (track ? track : "") + "\\tolvu_" + car + "_" + level + ".bin";
  if (tried) *tried = own;
  if (track && *track && VQfile_Exists(own.c_str())) return own;
  const std::string fallback = m_root + "\\Data\\Cars\\" + CAR_DEFAULT_MODEL_FOLDER + "\\tolvu_" +
                               car + "_" + level + ".bin";
  if (VQfile_Exists(fallback.c_str())) return fallback;
  return std::string();
}

VQSoundBuffer* CarCatalog::LoadSound(const char* name) {
  if (!m_sound || !m_sound->m_cache || !name || !*name) return nullptr;
  return m_sound->m_cache->Load(name, true);
}

void CarCatalog::ReleaseSound(VQSoundBuffer* buffer) {
  if (!buffer || !m_sound) return;
  // Buffers handed out by the cache go back through it, so the cache never keeps a deleted one.
  if (m_sound->m_cache && m_sound->m_cache->Release(buffer)) return;
  m_sound->DeleteBuffer(buffer);
}
