#include "Zentri/scene/VQMaterial.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQStrings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

uint32_t s_count = 0;
VQMaterial* s_head = nullptr;
uint32_t s_nameCounter = 1;
uint32_t s_generation = 1;  // advanced when the library forgets its list

void Link(VQMaterial* m) {
  m->m_prev = nullptr;
  m->m_next = s_head;
  if (s_head) s_head->m_prev = m;
  s_head = m;
  m->m_libraryGeneration = s_generation;
  s_count++;
}

bool Unlink(VQMaterial* m) {
  if (m->m_libraryGeneration != s_generation) return false;
  if (m->m_prev)
    m->m_prev->m_next = m->m_next;
  else
    s_head = m->m_next;
  if (m->m_next) m->m_next->m_prev = m->m_prev;
  m->m_prev = m->m_next = nullptr;
  m->m_libraryGeneration = 0;
  s_count--;
  return true;
}


}  // namespace

VQMaterial::~VQMaterial() {
  for (auto& stage : m_stages) std::free(stage.m_textureName);
  std::free(m_name);
}

VQMaterial* VQMaterial::Create(const char* name) {
  VQMaterial* m = new (std::nothrow) VQMaterial();
  if (!m) return nullptr;
  if (!name) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "_%u", s_nameCounter);
    s_nameCounter++;
    m->m_name = VQstrdup(buffer);
  } else {
    m->m_name = VQstrdup(name);
    if (name[0] == '_') {
      const unsigned long n = std::strtoul(name + 1, nullptr, 10);
      if (n >= 1) s_nameCounter = uint32_t(n + 1);
    }
  }
  Link(m);
  return m;
}

VQMaterial* VQMaterial::Clone(const VQMaterial* source, const char* name) {
  VQMaterial* m = Create(name);
  if (m && source) m->CopyFrom(source);
  return m;
}

void VQMaterial::Destroy(VQMaterial* material) {
  if (!material) return;
  Unlink(material);  // a material the library no longer lists is freed all the same
  delete material;
}

void VQMaterial::SetDefaults() {
  VQColor_Set(m_ambient, 0, 0, 0, 1);
  VQColor_Set(m_diffuse, 1, 1, 1, 1);
  VQColor_Set(m_specular, 0, 0, 0, 1);
  VQColor_Set(m_emission, 0, 0, 0, 1);
  m_opacity = 1.0f;
  m_shininess = 0.0f;
  m_stageCount = 0;
  m_srcBlend = 1;
  m_dstBlend = 0;
  m_alphaFunc = 0;
  m_alphaValue = 0;
  m_alphaFactor = 0;
}

void VQMaterial::CopyFrom(const VQMaterial* source) {
  m_ambient = source->m_ambient;
  m_diffuse = source->m_diffuse;
  m_specular = source->m_specular;
  m_emission = source->m_emission;
  m_opacity = source->m_opacity;
  m_shininess = source->m_shininess;
  m_stageCount = source->m_stageCount;
  for (uint32_t i = 0; i < m_stageCount && i < VQMATERIAL_MAX_STAGES; ++i) {
    std::free(m_stages[i].m_textureName);
    m_stages[i] = source->m_stages[i];
    m_stages[i].m_textureName = VQstrdup(source->m_stages[i].m_textureName);
  }
  m_srcBlend = source->m_srcBlend;
  m_dstBlend = source->m_dstBlend;
  m_alphaFunc = source->m_alphaFunc;
  m_alphaValue = source->m_alphaValue;
  m_alphaFactor = source->m_alphaFactor;
}

bool VQMaterial::FixStageModes() {
  if (m_stageCount >= 2 && m_stages[1].m_operation != 0 && m_stages[1].m_operation != 1 &&
      (m_stages[0].m_operation == 0 || m_stages[0].m_operation == 1)) {
    m_stages[0].m_operation = 4;
    return true;
  }
  return false;
}

void VQMaterial::SetName(const char* name) {
  std::free(m_name);
  m_name = VQstrdup(name);
}

void VQMaterial::SetStageTextureName(uint32_t stage, const char* name) {
  if (stage >= VQMATERIAL_MAX_STAGES) return;
  std::free(m_stages[stage].m_textureName);
  m_stages[stage].m_textureName = VQstrdup(name);
}

uint32_t VQmaterial_LibraryCount() { return s_count; }
VQMaterial* VQmaterial_LibraryHead() { return s_head; }

VQMaterial* VQmaterial_LibraryGet(uint32_t index) {
  if (index >= s_count) return nullptr;
  VQMaterial* m = s_head;
  for (uint32_t i = 0; i < index && m; ++i) m = m->m_next;
  return m;
}

VQMaterial* VQmaterial_LibraryFind(const char* name) {
  if (!name) return nullptr;
  for (VQMaterial* m = s_head; m; m = m->m_next)
    if (m->m_name && std::strcmp(m->m_name, name) == 0) return m;
  return nullptr;
}

void VQmaterial_LibraryMoveToHead(VQMaterial* material) {
  if (!material || s_head == material) return;
  if (Unlink(material)) Link(material);
}

void VQmaterial_LibraryReset() {
  s_generation++;
  s_nameCounter = 1;
  s_count = 0;
  s_head = nullptr;
}

void VQmaterial_LibraryFreeAll() {
  VQMaterial* m = s_head;
  s_head = nullptr;
  s_count = 0;
  s_generation++;
  while (m) {
    VQMaterial* next = m->m_next;
    delete m;
    m = next;
  }
}

void VQmaterial_LibraryShutdown() { VQmaterial_LibraryFreeAll(); }

// ---- Material tables ------------------------------------------------------------------------

static void DropMaterial(VQMaterial* m) {
  if (!m) return;
  if (m->m_refCount > 0) m->m_refCount--;
  if (m->m_refCount == 0) VQMaterial::Destroy(m);
}

VQMattable* VQMattable::Create(uint32_t count) {
  VQMattable* t = new (std::nothrow) VQMattable();
  if (!t) return nullptr;
  if (count > 0xFFFF) count = 0xFFFF;
  if (!t->Resize(count)) {
    delete t;
    return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) {
    VQMaterial* m = VQMaterial::Create(nullptr);
    if (!m) {
      Release(t);
      return nullptr;
    }
    m->SetDefaults();
    t->Set(m, i);
  }
  return t;
}

bool VQMattable::Resize(uint32_t count) {
  if (count > 0xFFFF) return false;
  VQMaterial** slots = nullptr;
  if (count > 0) {
    slots = static_cast<VQMaterial**>(std::calloc(count, sizeof(VQMaterial*)));
    if (!slots) return false;
  }
  for (uint32_t i = 0; i < m_count; ++i) DropMaterial(m_slots[i]);
  std::free(m_slots);
  m_slots = slots;
  m_count = uint16_t(count);
  return true;
}

void VQMattable::Release(VQMattable* table) {
  if (!table) return;
  for (uint32_t i = 0; i < table->m_count; ++i) DropMaterial(table->m_slots[i]);
  std::free(table->m_slots);
  delete table;
}

VQMattable* VQMattable::Clone(const VQMattable* source, bool deep) {
  if (!source) return nullptr;
  VQMattable* t = Create(0);
  if (!t || !t->Resize(source->m_count)) {
    Release(t);
    return VQerror_Fail(VQERR_OUT_OF_MEMORY), nullptr;
  }
  t->m_hasTransparent = source->m_hasTransparent;
  for (uint32_t i = 0; i < source->m_count; ++i) {
    VQMaterial* m = source->m_slots[i];
    if (deep && m) {
      m = VQMaterial::Clone(m, nullptr);
      // A copy without one of its materials would draw wrongly: the whole copy fails.
      if (!m) {
        Release(t);
        return VQerror_Fail(VQERR_OUT_OF_MEMORY), nullptr;
      }
    }
    if (m) t->Set(m, i);
  }
  return t;
}

bool VQMattable::Set(VQMaterial* material, uint32_t index) {
  if (index >= m_count) return false;
  if (material) material->m_refCount++;  // first, so re-setting the same material keeps it
  DropMaterial(m_slots[index]);
  m_slots[index] = material;
  if (material && material->IsTransparent()) m_hasTransparent = 1;
  return true;
}

void VQMattable::UpdateTransparency() {
  m_hasTransparent = 0;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_slots[i] && m_slots[i]->IsTransparent()) m_hasTransparent = 1;
}
