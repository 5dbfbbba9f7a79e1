// Particle systems: an effect with a fixed pool of particles, each drawn as one camera-facing
// textured quad, emitted from a point (optionally spread along two vectors) at a rate per
// second, moving under a constant acceleration, growing and changing colour over its life.
// Always transparent: the effect node defers it and the root's deferred walk calls Draw.
// Nothing is allocated after construction.
#pragma once

#include <cstdint>

#include "Zentri/math/VQColor.h"
#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"
#include "Zentri/scene/VQNode.h"

class VQDisplayDevice;
class VQMesh;
class VQMattable;

struct VQParticle {
  float m_life;  // seconds left; -1 in the list sentinels
  VQVector m_position;
  VQVector m_velocity;
  float m_halfWidth, m_halfHeight;
  float m_widthRate, m_heightRate;
  float m_colour[4];
  float m_colourRate[4];
  uint32_t m_orientation;  // 0 to 7
  uint32_t m_material;
  VQParticle* m_prev;
  VQParticle* m_next;
};

// The shared particle random generator (seed 1 at start).
void VQparticle_SetSeed(uint32_t seed);
uint32_t VQparticle_RandomInt();    // 0 .. 32767
float VQparticle_RandomUnit();      // 0 .. 1

class VQParticleSystem : public VQEffect {
 public:
  // capacity particles; materialCount materials (1 when 0). The device makes the mesh.
  VQParticleSystem(VQDisplayDevice* device, uint32_t capacity, uint32_t materialCount);
  ~VQParticleSystem() override;

  void SetName(const char* text);
  bool IsTransparent() override { return true; }
  // Advances by the system's last frame time.
  void Update(const VQMatrix* model) override;
  // Advances by dt seconds (Update with the frame time).
  void UpdateBy(const VQMatrix* model, float dt);
  void Draw() override;
  void Clear();
  VQParticle* Allocate();
  void Free(VQParticle* p);
  // True when construction got its mesh and table.
  bool IsValid() const { return m_mesh && m_table && m_pool; }
  VQParticle* FirstLive() const { return m_live->m_next != m_liveTail ? m_live->m_next : nullptr; }
  VQParticle* NextLive(VQParticle* p) const { return p->m_next != m_liveTail ? p->m_next : nullptr; }

  char* m_name = nullptr;
  VQVector m_emitter{0, 0, 0};
  VQVector m_spread1{0, 0, 0};
  VQVector m_spread2{0, 0, 0};
  VQVector m_acceleration{0, 0, 0};
  uint32_t m_capacity;
  uint32_t m_liveCount = 0;
  float m_rate = 0.0f;
  float m_carry = 0.0f;
  uint32_t m_orientationMode = 1;
  float m_life = 10.0f;
  float m_lifeSpread = 0.0f;
  float m_startSize[2] = {0.5f, 0.5f};
  float m_startSizeSpread = 0.0f;
  float m_endSize[2] = {2.0f, 2.0f};
  float m_endSizeSpread = 0.0f;
  VQColor m_startColour{1, 1, 1, 1};
  VQColor m_endColour{1, 1, 1, 0};
  VQVector m_startVelocity{0, 0, 0};
  VQVector m_velocitySpread{0, 0, 0};
  float m_fixedSizeRate = 0.0f;
  VQMesh* m_mesh = nullptr;
  VQMattable* m_table = nullptr;
  VQDisplayDevice* m_device;

 private:
  VQParticle* m_pool = nullptr;  // 4 sentinels then the particles
  VQParticle* m_live;      // head sentinel of the live list
  VQParticle* m_liveTail;  // tail sentinel
  VQParticle* m_free;
  VQParticle* m_freeTail;
};
