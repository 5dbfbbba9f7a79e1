#include "Zentri/scene/VQParticleSystem.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/util/VQStrings.h"

namespace {
uint32_t s_seed = 1;

void Unlink(VQParticle* p) {
  p->m_prev->m_next = p->m_next;
  p->m_next->m_prev = p->m_prev;
}

void LinkAfter(VQParticle* head, VQParticle* p) {
  p->m_next = head->m_next;
  p->m_prev = head;
  head->m_next->m_prev = p;
  head->m_next = p;
}

const float kTexCoords[8][8] = {
    {0, 0, 1, 0, 1, 1, 0, 1}, {1, 0, 0, 0, 0, 1, 1, 1}, {0, 1, 0, 0, 1, 0, 1, 1},
    {1, 1, 1, 0, 0, 0, 0, 1}, {1, 0, 1, 1, 0, 1, 0, 0}, {0, 0, 0, 1, 1, 1, 1, 0},
    {1, 1, 0, 1, 0, 0, 1, 0}, {0, 1, 1, 1, 1, 0, 0, 0},
};
}  // namespace

void VQparticle_SetSeed(uint32_t seed) { s_seed = seed; }

uint32_t VQparticle_RandomInt() {
  s_seed = s_seed * 214013u + 2531011u;
  return (s_seed >> 16) & 0x7FFF;
}

float VQparticle_RandomUnit() { return float(VQparticle_RandomInt() * 3.051851e-5); }

VQParticleSystem::VQParticleSystem(VQDisplayDevice* device, uint32_t capacity, uint32_t materialCount)
    : m_capacity(capacity), m_device(device) {
  m_pool = static_cast<VQParticle*>(std::calloc(size_t(capacity) + 4, sizeof(VQParticle)));
  if (!m_pool) {
    m_capacity = 0;
    static VQParticle dummy[4];
    m_live = &dummy[0];
    m_liveTail = &dummy[1];
    m_free = &dummy[2];
    m_freeTail = &dummy[3];
  } else {
    m_live = &m_pool[0];
    m_liveTail = &m_pool[1];
    m_free = &m_pool[2];
    m_freeTail = &m_pool[3];
  }
  for (VQParticle* s : {m_live, m_liveTail, m_free, m_freeTail}) s->m_life = -1.0f;
  m_live->m_prev = nullptr;
  m_live->m_next = m_liveTail;
  m_liveTail->m_prev = m_live;
  m_liveTail->m_next = nullptr;
  m_free->m_prev = nullptr;
  m_free->m_next = m_freeTail;
  m_freeTail->m_prev = m_free;
  m_freeTail->m_next = nullptr;
  for (uint32_t i = 0; i < m_capacity; ++i) LinkAfter(m_free, &m_pool[4 + i]);

  const uint32_t n = 4 * m_capacity, t = 2 * m_capacity;
  // A device that keeps no meshes of its own (the software device) leaves the mesh in
  // engine memory.
  m_mesh = VQrender_CreateMesh(device, n, t, 0, true, true, true);
  if (!m_mesh) m_mesh = VQMesh::Create(n, t, 0, true, true, true);
  if (m_mesh) {
    m_mesh->m_flags |= 0x101;
    for (uint32_t i = 0; i < m_capacity; ++i) {
      uint16_t* idx = m_mesh->m_indices + 6 * i;
      const uint16_t b = uint16_t(4 * i);
      idx[0] = b, idx[1] = uint16_t(b + 1), idx[2] = uint16_t(b + 2);
      idx[3] = b, idx[4] = uint16_t(b + 2), idx[5] = uint16_t(b + 3);
      m_mesh->SetMaterialOf(2 * i, 0);
      m_mesh->SetMaterialOf(2 * i + 1, 0);
      for (uint32_t v = 0; v < 4; ++v) {
        m_mesh->m_normals[4 * i + v].Set(0, -1, 0);
        m_mesh->m_uv0[2 * (4 * i + v)] = kTexCoords[0][2 * v];
        m_mesh->m_uv0[2 * (4 * i + v) + 1] = kTexCoords[0][2 * v + 1];
      }
    }
  }
  m_table = VQMattable::Create(materialCount ? materialCount : 1);
  if (m_table) {
    m_table->m_hasTransparent = 1;
    for (uint32_t i = 0; i < m_table->m_count; ++i) {
      VQMaterial* m = m_table->m_slots[i];
      VQColor_Set(m->m_ambient, 1, 1, 1, 1);
      VQColor_Set(m->m_diffuse, 1, 1, 1, 1);
      VQColor_Set(m->m_specular, 0, 0, 0, 1);
      VQColor_Set(m->m_emission, 0, 0, 0, 1);
      m->m_opacity = 1.0f;
      m->m_shininess = 0.0f;
      m->m_stageCount = 0;
      m->m_srcBlend = 2;
      m->m_dstBlend = 3;
    }
  }
}

VQParticleSystem::~VQParticleSystem() {
  std::free(m_name);
  std::free(m_pool);
  if (m_mesh) {
    m_mesh->m_triangleCount = 2 * m_capacity;
    VQMesh::Destroy(m_mesh);
  }
  VQMattable::Release(m_table);
}

void VQParticleSystem::SetName(const char* text) {
  std::free(m_name);
  m_name = VQstrdup(text);
}

VQParticle* VQParticleSystem::Allocate() {
  if (m_liveCount >= m_capacity) return nullptr;
  VQParticle* p = m_free->m_next;
  if (p == m_freeTail) return nullptr;
  Unlink(p);
  LinkAfter(m_live, p);
  m_liveCount++;
  return p;
}

void VQParticleSystem::Free(VQParticle* p) {
  Unlink(p);
  LinkAfter(m_free, p);
  m_liveCount--;
}

void VQParticleSystem::Clear() {
  while (m_live->m_next != m_liveTail) Free(m_live->m_next);
}

void VQParticleSystem::Update(const VQMatrix* model) { UpdateBy(model, g_VQsystem.GetFrameTime(1)); }

void VQParticleSystem::UpdateBy(const VQMatrix* model, float dt) {
  const bool accelerate = !(m_acceleration.x == 0 && m_acceleration.y == 0 && m_acceleration.z == 0);
  for (VQParticle* p = m_live->m_next; p != m_liveTail;) {
    VQParticle* next = p->m_next;
    p->m_life -= dt;
    if (p->m_life > 0.0f) {
      if (accelerate) p->m_velocity += m_acceleration * dt;
      p->m_position += p->m_velocity * dt;
      if (p->m_widthRate != 0) p->m_halfWidth += dt * p->m_widthRate;
      if (p->m_heightRate != 0) p->m_halfHeight += dt * p->m_heightRate;
      for (int c = 0; c < 4; ++c)
        if (p->m_colourRate[c] != 0) p->m_colour[c] += dt * p->m_colourRate[c];
    } else {
      Free(p);
    }
    p = next;
  }
  const float value = dt * m_rate + m_carry;
  const int32_t n = int32_t(value);
  m_carry = value - float(n);
  if (n <= 0) return;
  VQVector base = m_emitter, s1 = m_spread1, s2 = m_spread2;
  const VQVector zero(0, 0, 0);
  if (model) {
    model->TransformPoint(base, m_emitter);
    if (m_spread1 != zero) model->RotateVector(s1, m_spread1);
    if (m_spread2 != zero) model->RotateVector(s2, m_spread2);
  }
  for (int32_t k = 0; k < n; ++k) {
    VQParticle* p = Allocate();
    if (!p) continue;
    p->m_velocity = m_startVelocity;
    if (m_velocitySpread.x != 0 || m_velocitySpread.z != 0) {
      p->m_velocity.x += VQparticle_RandomUnit() * m_velocitySpread.x;
      p->m_velocity.y += VQparticle_RandomUnit() * m_velocitySpread.y;
      p->m_velocity.z += VQparticle_RandomUnit() * m_velocitySpread.z;
    }
    p->m_material = m_table && m_table->m_count ? VQparticle_RandomInt() % m_table->m_count : 0;
    p->m_life = m_life;
    if (m_lifeSpread != 0) p->m_life += VQparticle_RandomUnit() * m_lifeSpread;
    p->m_position = base;
    if (m_spread1 != zero) p->m_position += s1 * VQparticle_RandomUnit();
    if (m_spread2 != zero) p->m_position += s2 * VQparticle_RandomUnit();
    p->m_halfWidth = 0.5f * m_startSize[0];
    p->m_halfHeight = 0.5f * m_startSize[1];
    if (m_startSizeSpread != 0) {
      const float r = VQparticle_RandomUnit() * m_startSizeSpread * 0.5f;
      p->m_halfWidth += r;
      p->m_halfHeight += r;
    }
    float endW = 0.5f * m_endSize[0], endH = 0.5f * m_endSize[1];
    if (m_endSizeSpread != 0) {
      const float r = VQparticle_RandomUnit() * m_endSizeSpread * 0.5f;
      endW += r;
      endH += r;
    }
    // A life of 0 or less (through a negative spread) would divide by zero: such a particle
    // keeps its size and colour and dies at the next update.
    const bool hasLife = p->m_life > 0.0f;
    if (m_fixedSizeRate == 0) {
      p->m_widthRate = hasLife ? (endW - p->m_halfWidth) / (2 * p->m_life) : 0.0f;
      p->m_heightRate = hasLife ? (endH - p->m_halfHeight) / (2 * p->m_life) : 0.0f;
    } else {
      p->m_widthRate = p->m_heightRate = m_fixedSizeRate;
    }
    const float sc[4] = {m_startColour.r, m_startColour.g, m_startColour.b, m_startColour.a};
    const float ec[4] = {m_endColour.r, m_endColour.g, m_endColour.b, m_endColour.a};
    for (int c = 0; c < 4; ++c) {
      p->m_colour[c] = sc[c];
      p->m_colourRate[c] = hasLife ? (ec[c] - sc[c]) / p->m_life : 0.0f;
    }
    if (m_orientationMode == 1)
      p->m_orientation = VQparticle_RandomInt() & 7;
    else if (m_orientationMode == 2)
      p->m_orientation = VQparticle_RandomInt() & 5;
    else
      p->m_orientation = 0;
  }
}

void VQParticleSystem::Draw() {
  if (m_liveCount == 0 || !m_mesh) return;
  VQRenderContext& rc = g_VQrender;
  m_mesh->m_triangleCount = 0;
  const VQVector R = rc.m_right3, U = rc.m_up;
  uint32_t q = 0;
  for (VQParticle* p = m_live->m_next; p != m_liveTail && q < m_capacity; p = p->m_next, ++q) {
    const VQVector w = R * p->m_halfWidth, h = U * p->m_halfHeight;
    VQVector* v = m_mesh->m_positions + 4 * q;
    v[0] = p->m_position - w - h;
    v[1] = p->m_position + w - h;
    v[2] = p->m_position + w + h;
    v[3] = p->m_position - w + h;
    const uint32_t colour = m_device ? m_device->PackColourV(p->m_colour) : 0;
    const float* uv = kTexCoords[p->m_orientation & 7];
    for (int k = 0; k < 4; ++k) {
      m_mesh->m_colours[4 * q + k] = colour;
      m_mesh->m_uv0[2 * (4 * q + k)] = uv[2 * k];
      m_mesh->m_uv0[2 * (4 * q + k) + 1] = uv[2 * k + 1];
    }
    // The particle's material index selects the quad's material.
    m_mesh->SetMaterialOf(2 * q, uint16_t(p->m_material));
    m_mesh->SetMaterialOf(2 * q + 1, uint16_t(p->m_material));
    m_mesh->m_triangleCount += 2;
    rc.m_stats[VQSTAT_PARTICLES]++;
  }
  rc.m_matrixChanged = 1;
  const VQVector zero(0, 0, 0);
  VQrender_DrawMesh(m_device, m_mesh, m_table, &rc.m_view, &zero, 0, 0, 0);
}
