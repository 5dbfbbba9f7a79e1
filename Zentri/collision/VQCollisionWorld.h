// The collision world: advances up to 40 vehicle bodies in fixed sub-steps (0.005 s) and, in
// every sub-step, lets each body touch the track and the other bodies before it integrates.
// Contacts are penalty forces (spring and damper along the contact normal, Coulomb friction
// against the track) written into the bodies' external force and torque.
//
// The world knows nothing of the track's geometry: its owner hands it a track query that
// sweeps a sphere against the track. Bodies are not owned. Called from one thread; with a thread
// count above 1 the world hands each body's own work of a sub-step (preparing the model, its track
// contacts, its integration step) to a pool of worker threads, one phase at a time. The body
// contacts, which touch two bodies at once, stay on the calling thread in body order, so every
// result is the same bit for bit whatever the thread count. The track query and the bodies' ground
// queries are then called from several threads at once and must only read shared data.
#pragma once

#include <cstdint>
#include <memory>

#include "Zentri/math/VQVector.h"
#include "Zentri/vehicle/VQVehicleModel.h"

// The contact properties the contact routines read from a collision material (the game's
// record may carry more fields after these three).
struct VQContactMaterial {
  float stiffness;  // N/m
  float damping;    // N s/m
  float friction;   // Coulomb coefficient
};

// Stands in on a side of a contact that has no material: a body sphere without one, or a track
// triangle whose word names no entry of the game's table, still gets a contact force.
extern const VQContactMaterial g_VQdefaultCollisionMaterial;

// Sweeps a sphere against the track. On true: distance travelled from start towards end before
// the first touch, the touched point of the track (world), the touched triangle's material
// (may be null when the track has none for it).
using VQTrackQuery = bool (*)(const VQVector& start, const VQVector& end, float radius,
                              float* distance, VQVector* contact,
                              const VQContactMaterial** material);
// Whether any part of the track may lie in the box (world, minimum and maximum corners). It must
// answer true for every box that a sweep of the track query could touch anything in: the world
// asks it once per body and sub-step for the box around all of the body's sphere sweeps (each
// sweep's box is its start and end, each less and plus the radius, in double), and sweeps nothing
// when the answer is false.
using VQTrackBoxQuery = bool (*)(const double boxMin[3], const double boxMax[3]);
// Called on each new contact of a sphere: (body, other body or null for the track, material of
// the body's sphere, material of the other side, world contact point, normal velocity (world),
// user word).
using VQContactCallback = void (*)(VQVehicleModel* body, VQVehicleModel* other,
                                   const VQContactMaterial* ownMaterial,
                                   const VQContactMaterial* otherMaterial,
                                   const VQVector& point, const VQVector& normalVelocity,
                                   uintptr_t userWord);

constexpr uint32_t VQCOLLISION_MAX_BODIES = 40;
// Candidates kept per body in the broad phase of one sub-step.
constexpr uint32_t VQCOLLISION_MAX_CANDIDATES = 20;
// How far a slid sphere is lifted off the touched surface.
constexpr float VQCOLLISION_PUSH_OUT = 0.001f;
// Most threads a world steps its bodies on.
constexpr uint32_t VQCOLLISION_MAX_THREADS = 16;

class VQCollisionWorkers;

class VQCollisionWorld {
 public:
  VQCollisionWorld();
  ~VQCollisionWorld();
  VQCollisionWorld(const VQCollisionWorld&) = delete;
  VQCollisionWorld& operator=(const VQCollisionWorld&) = delete;

  // Appends the body; false, and nothing changes, when 40 bodies are held.
  bool AddBody(VQVehicleModel* body);
  // Removes the first entry holding the body; later entries keep their order.
  void RemoveBody(VQVehicleModel* body);
  // Stores the query and restarts the half-rate rhythm (sub-step counter 0).
  bool SetTrackQuery(VQTrackQuery query);
  // The track's box query, null for none (every sphere is swept).
  void SetTrackBoxQuery(VQTrackBoxQuery query) { m_trackBoxQuery = query; }
  // Advances by frameTime seconds from time: runs every whole sub-step that fits strictly and
  // carries the remainder (at most one sub-step) to the next call. Always true.
  bool Step(float time, float frameTime);
  void Stop() {}

  // One sub-step's contact routines, also usable on their own.
  void CollideWithTrack(VQVehicleModel* body, VQTrackQuery query);
  void CollideBodies(VQVehicleModel* body, VQVehicleModel* const* candidates, uint32_t count);

  uint32_t GetBodyCount() const { return m_bodyCount; }
  VQVehicleModel* GetBody(uint32_t i) const { return i < m_bodyCount ? m_bodies[i] : nullptr; }
  uint32_t GetSubStepCounter() const { return m_subStepCounter; }
  // Threads that share the per-body work of a sub-step, the calling thread included (0 is taken
  // as 1: the calling thread alone; at most VQCOLLISION_MAX_THREADS). A world whose contact
  // callback or any body's post-step callback is set steps on the calling thread alone, so that
  // callbacks keep their order and need not be thread-safe.
  void SetThreadCount(uint32_t count);
  uint32_t GetThreadCount() const { return m_threadCount; }

  float m_accumulator = 0.0f;
  float m_subStep = 0.005f;
  VQContactCallback m_contactCallback = nullptr;
  uintptr_t m_userWord = 0;

 private:
  // One body's part of a sub-step: preset forces, Prepare and the track contacts; its step.
  void PrepareBody(uint32_t i, float time, bool even);
  void StepBody(uint32_t i, float time, bool even, float h);
  void CollideAllBodies(bool even);
  bool StepsInParallel() const;
  void DealBodies();  // shares the bodies out among the worker threads
  void RefreshBroad(uint32_t i);  // reads the body's summary for the broad phase

  // What the broad phase reads of a body, kept apart from the body's own data.
  enum : uint32_t { kBroadCollidable = 1, kBroadFullRate = 2, kBroadTouching = 4 };
  struct alignas(32) Broad {
    VQVector centre{0, 0, 0};  // worldEnclosingCentre
    float radius = 0.0f;       // enclosingRadius
    uint32_t flags = 0;        // kBroad...; touching: the body's bodyContactBits are not 0
  };

  // The threads that step the bodies read the lines up to m_workers; what changes in every
  // sub-step lies on lines of its own.
  alignas(64) uint32_t m_bodyCount = 0;
  VQVehicleModel* m_bodies[VQCOLLISION_MAX_BODIES] = {};
  VQTrackQuery m_trackQuery = nullptr;
  VQTrackBoxQuery m_trackBoxQuery = nullptr;
  uint32_t m_threadCount = 1;
  std::unique_ptr<VQCollisionWorkers> m_workers;  // made on the first parallel step
  alignas(64) uint32_t m_subStepCounter = 0;
  uint32_t m_oddFlag = 0;
  alignas(64) Broad m_broad[VQCOLLISION_MAX_BODIES];
};
