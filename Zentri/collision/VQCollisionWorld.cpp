#include "Zentri/collision/VQCollisionWorld.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

const VQContactMaterial g_VQdefaultCollisionMaterial = {200000.0f, 5000.0f, 0.8f};

namespace {

VQVector Cross(const VQVector& a, const VQVector& b) {
  VQVector out;
  a.Cross(b, out);
  return out;
}

VQVector Normalised(VQVector v) {
  v.Normalize();
  return v;
}

// Springs in series; two springs of no stiffness give none.
float SeriesStiffness(float k1, float k2) {
  const double sum = double(k1) + k2;
  return sum != 0.0 ? float(double(k1) * k2 / sum) : 0.0f;
}

const VQContactMaterial& OrDefault(const VQContactMaterial* m) {
  return m ? *m : g_VQdefaultCollisionMaterial;
}

// Asks the box query about the box around every track sweep that CollideWithTrack would make for
// the body: from each sphere's previous world centre to its current one, grown by the radius,
// computed as the track sweep computes its own box.
bool TrackNearBody(VQVehicleModel* body, VQTrackBoxQuery boxQuery) {
  VQCollisionBody& b = *body->GetCollisionBody();
  if (!b.worldCentresValid) {
    const VQMatrix& M = *body->GetWorldMatrix();
    for (uint32_t i = 0; i < b.sphereCount; ++i) M.TransformPoint(b.worldCentres[i], b.localCentres[i]);
    b.worldCentresValid = 1;
  }
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  bool any = false;
  for (uint32_t i = 0; i < b.sphereCount && i < VQCOLLISION_MAX_SPHERES; ++i) {
    if (b.noTrack[i]) continue;
    const double r = b.radii[i];
    const VQVector& s = b.previousWorldCentres[i];
    const VQVector& e = b.worldCentres[i];
    const double sv[3] = {s.x, s.y, s.z}, ev[3] = {e.x, e.y, e.z};
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::fmin(lo[k], std::fmin(sv[k] - r, ev[k] - r));
      hi[k] = std::fmax(hi[k], std::fmax(sv[k] + r, ev[k] + r));
    }
    any = true;
  }
  return any && boxQuery(lo, hi);
}

}  // namespace

// Worker threads for the per-body phases of a sub-step. Run(count, job) calls job(i) once for every
// i below count, spread over the workers and the calling thread, and returns when all calls have
// returned: the barrier between two phases. The items are handed out one at a time from a ticket
// (phase number and next item in one word), so a worker that the system keeps waiting holds up
// no more than the item it is running; one that wakes after its phase has ended finds no ticket of
// that phase left and waits for the next. A phase is a few microseconds of work, far less than
// putting a thread to sleep and waking it costs, so the threads first spin for a while (a few
// hundred pauses, then yielding the processor) and only then sleep on a condition variable.
class VQCollisionWorkers {
 public:
  using Job = void (*)(void* data, uint32_t i);

  explicit VQCollisionWorkers(uint32_t workers) {
    m_threads.reserve(workers);
    for (uint32_t k = 0; k < workers; ++k) m_threads.emplace_back([this] { Work(); });
  }
  ~VQCollisionWorkers() {
    {
      const std::lock_guard<std::mutex> lock(m_lock);
      m_stop.store(true);
    }
    m_start.notify_all();
    for (std::thread& t : m_threads) t.join();
  }
  uint32_t GetWorkerCount() const { return uint32_t(m_threads.size()); }

  void Run(uint32_t count, Job job, void* data) {
    if (count == 0) return;
    // Read only by a thread that holds a ticket of this phase: stable until the phase ends.
    m_job = job;
    m_data = data;
    m_count.store(count, std::memory_order_relaxed);
    m_done.store(0, std::memory_order_relaxed);
    const uint64_t phase = ++m_phase;
    {
      // Under the lock, so that a worker about to sleep sees the new phase or gets the notice.
      const std::lock_guard<std::mutex> lock(m_lock);
      m_ticket.store(phase << 32, std::memory_order_release);
    }
    m_start.notify_all();
    Drain(phase);
    for (int spin = 0; spin < kSpins; ++spin) {
      if (m_done.load(std::memory_order_acquire) == count) return;
      Backoff(spin);
    }
    std::unique_lock<std::mutex> lock(m_lock);
    m_finished.wait(lock, [&] { return m_done.load(std::memory_order_acquire) == count; });
  }

 private:
  static constexpr int kPauses = 256;
  static constexpr int kSpins = kPauses + 64;

  static void Backoff(int spin) {
    if (spin >= kPauses) {
      std::this_thread::yield();
      return;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  // Runs items of the phase while it has any left.
  void Drain(uint64_t phase) {
    uint32_t finished = 0, count = 0;
    uint64_t t = m_ticket.load(std::memory_order_acquire);
    while ((t >> 32) == phase && uint32_t(t) < m_count.load(std::memory_order_relaxed)) {
      if (!m_ticket.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel, std::memory_order_acquire))
        continue;
      count = m_count.load(std::memory_order_relaxed);
      m_job(m_data, uint32_t(t));
      ++finished;
      t = m_ticket.load(std::memory_order_acquire);
    }
    if (finished && m_done.fetch_add(finished, std::memory_order_acq_rel) + finished == count) {
      const std::lock_guard<std::mutex> lock(m_lock);
      m_finished.notify_one();
    }
  }

  void Work() {
    uint64_t seen = 0;
    for (;;) {
      auto newPhase = [&] { return m_stop.load() || (m_ticket.load(std::memory_order_acquire) >> 32) != seen; };
      bool started = false;
      for (int spin = 0; spin < kSpins && !(started = newPhase()); ++spin) Backoff(spin);
      if (!started) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_start.wait(lock, newPhase);
      }
      if (m_stop.load()) return;
      seen = m_ticket.load(std::memory_order_acquire) >> 32;
      Drain(seen);
    }
  }

  std::vector<std::thread> m_threads;
  std::mutex m_lock;
  std::condition_variable m_start, m_finished;
  Job m_job = nullptr;
  void* m_data = nullptr;
  uint64_t m_phase = 0;  // the calling thread's count of phases
  std::atomic<uint64_t> m_ticket{0};
  std::atomic<uint32_t> m_count{0};
  std::atomic<uint32_t> m_done{0};
  std::atomic<bool> m_stop{false};
};

VQCollisionWorld::VQCollisionWorld() = default;
VQCollisionWorld::~VQCollisionWorld() = default;

void VQCollisionWorld::SetThreadCount(uint32_t count) {
  m_threadCount = std::clamp(count, 1u, VQCOLLISION_MAX_THREADS);
  if (m_workers && m_workers->GetWorkerCount() != m_threadCount - 1) m_workers.reset();
}

bool VQCollisionWorld::StepsInParallel() const {
  if (m_threadCount < 2 || m_contactCallback) return false;
  for (uint32_t i = 0; i < m_bodyCount; ++i)
    if (m_bodies[i] && m_bodies[i]->m_postStepCallback) return false;
  return true;
}

void VQCollisionWorld::PrepareBody(uint32_t i, float time, bool even) {
  VQVehicleModel* body = m_bodies[i];
  if (!body || !(even || body->IsFullRate())) return;
  VQVector v;
  body->SetExternalForce(body->GetPresetForce(v));
  body->SetExternalTorque(body->GetPresetTorque(v));
  body->Prepare(int(i) + 1, time);
  VQCollisionBody* cb = body->GetCollisionBody();
  body->GetWorldMatrix()->TransformPoint(cb->worldEnclosingCentre, cb->enclosingCentre);
  // Most bodies touch nothing of the track in most sub-steps: one box query over all their
  // sweeps then stands for every sweep (a body that sweeps nothing takes the no-contact path).
  const bool anything = !m_trackBoxQuery || TrackNearBody(body, m_trackBoxQuery);
  CollideWithTrack(body, anything ? m_trackQuery : nullptr);
}

void VQCollisionWorld::StepBody(uint32_t i, float time, bool even, float h) {
  VQVehicleModel* body = m_bodies[i];
  if (!body) return;
  if (body->IsFullRate())
    body->Step(int(i) + 1, time, h);
  else if (even)
    body->Step(int(i) + 1, time, 2.0f * h);
}

bool VQCollisionWorld::AddBody(VQVehicleModel* body) {
  if (m_bodyCount >= VQCOLLISION_MAX_BODIES) return false;
  m_bodies[m_bodyCount++] = body;
  return true;
}

void VQCollisionWorld::RemoveBody(VQVehicleModel* body) {
  for (uint32_t i = 0; i < m_bodyCount; ++i) {
    if (m_bodies[i] != body) continue;
    for (uint32_t k = i + 1; k < m_bodyCount; ++k) m_bodies[k - 1] = m_bodies[k];
    m_bodies[--m_bodyCount] = nullptr;
    return;
  }
}

bool VQCollisionWorld::SetTrackQuery(VQTrackQuery query) {
  m_trackQuery = query;
  m_subStepCounter = 0;
  m_oddFlag = 0;
  return true;
}

bool VQCollisionWorld::Step(float time, float frameTime) {
  const float h = m_subStep;
  float a = frameTime + m_accumulator;
  m_accumulator = 0.0f;
  // A sub-step that does not advance would never end the loop.
  if (!(h > 0.0f)) return true;
  const bool parallel = StepsInParallel();
  if (parallel && !m_workers) m_workers = std::make_unique<VQCollisionWorkers>(m_threadCount - 1);
  bool prepared = false;  // the bodies are already prepared for the coming sub-step
  while (a > h) {
    time = time + h;
    a = a - h;
    const bool even = (m_subStepCounter & 1u) == 0;
    m_oddFlag = even ? 0 : 1;

    // Each body's work touches that body alone (and reads the track), so the bodies may share
    // it out in any order; the contacts between bodies follow in body order on this thread.
    // In parallel, a body's step is followed at once by its preparation for the next sub-step
    // of this call (one barrier fewer per sub-step); each body still sees the same sequence.
    if (parallel) {
      struct Phase {
        VQCollisionWorld* world;
        float time, h, nextTime;
        bool even, nextEven, more;
      } phase{this, time, h, time + h, even, ((m_subStepCounter + 1) & 1u) == 0, a > h};
      if (!prepared)
        m_workers->Run(m_bodyCount, [](void* d, uint32_t i) {
          const Phase& p = *static_cast<Phase*>(d);
          p.world->PrepareBody(i, p.time, p.even);
        }, &phase);
      CollideAllBodies(even);
      m_workers->Run(m_bodyCount, [](void* d, uint32_t i) {
        const Phase& p = *static_cast<Phase*>(d);
        p.world->StepBody(i, p.time, p.even, p.h);
        if (p.more) p.world->PrepareBody(i, p.nextTime, p.nextEven);
      }, &phase);
      prepared = phase.more;
    } else {
      for (uint32_t i = 0; i < m_bodyCount; ++i) PrepareBody(i, time, even);
      CollideAllBodies(even);
      for (uint32_t i = 0; i < m_bodyCount; ++i) StepBody(i, time, even, h);
    }
    ++m_subStepCounter;
  }
  if (a > 0.0f) m_accumulator = a;
  return true;
}

void VQCollisionWorld::CollideAllBodies(bool even) {
  // Broad phase: handled[i] bit j records the pair (i, j) of this sub-step.
  uint64_t handled[VQCOLLISION_MAX_BODIES] = {};
  for (uint32_t i = 0; i < m_bodyCount; ++i) {
    VQVehicleModel* body = m_bodies[i];
    if (!body || !body->IsCollidable() || !(even || body->IsFullRate())) continue;
    const VQCollisionBody* bi = body->GetCollisionBody();
    VQVehicleModel* candidates[VQCOLLISION_MAX_CANDIDATES];
    uint32_t count = 0;
    for (uint32_t j = 0; j < m_bodyCount; ++j) {
      VQVehicleModel* other = m_bodies[j];
      if (j == i || !other || !other->IsCollidable()) continue;
      if (handled[j] & (uint64_t(1) << i)) continue;
      const VQCollisionBody* bj = other->GetCollisionBody();
      const float r = bi->enclosingRadius + bj->enclosingRadius;
      const VQVector d = bi->worldEnclosingCentre - bj->worldEnclosingCentre;
      if (!d.IsSmallerThan(r)) continue;
      if (!(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z < double(r) * r)) continue;
      if (count < VQCOLLISION_MAX_CANDIDATES) candidates[count++] = other;
      handled[i] |= uint64_t(1) << j;
    }
    CollideBodies(body, candidates, count);
  }
}

void VQCollisionWorld::CollideWithTrack(VQVehicleModel* body, VQTrackQuery query) {
  VQCollisionBody& b = *body->GetCollisionBody();
  VQVector V, W, G;
  body->GetVL100(V);
  body->GetOL100(W);
  body->GetCentreOfGravity(G);
  const VQMatrix M = *body->GetWorldMatrix();
  const VQMatrix Minv = *body->GetInverseWorldMatrix();
  if (!b.worldCentresValid) {
    for (uint32_t i = 0; i < b.sphereCount; ++i) M.TransformPoint(b.worldCentres[i], b.localCentres[i]);
    b.worldCentresValid = 1;
  }

  for (uint32_t i = 0; i < b.sphereCount && i < VQCOLLISION_MAX_SPHERES; ++i) {
    const VQVector P = b.worldCentres[i];
    const uint32_t bit = 1u << i;
    if (b.noTrack[i]) {
      b.previousWorldCentres[i] = P;
      continue;
    }
    const float radius = b.radii[i];
    const VQVector R = b.localCentres[i] - G;

    bool contact = false;
    VQVector S = b.previousWorldCentres[i];
    VQVector E = P;
    VQVector D = E - S;
    float L = D.Length();
    VQVector n(0, 0, 0), Q(0, 0, 0);
    const VQContactMaterial* trackMaterial = nullptr;
    while (L > 0.0f && query) {
      float t = 0.0f;
      VQVector q;
      const VQContactMaterial* material = nullptr;
      if (!query(S, E, radius, &t, &q, &material)) break;
      contact = true;
      Q = q;
      trackMaterial = material;
      const VQVector H = S + D * float(double(t) / L);
      n = Normalised(H - Q);
      S = H + n * VQCOLLISION_PUSH_OUT;
      E = E - n * n.Dot(E - S);
      D = E - S;
      const float L2 = D.Length();
      if (L2 < L)
        L = L2;
      else
        break;
    }
    b.previousWorldCentres[i] = E;
    if (!contact) {
      b.previousWorldCentres[i] = P;
      b.trackContactBits &= ~bit;
      continue;
    }

    const VQContactMaterial& mb = OrDefault(b.materials[i]);
    const VQContactMaterial& mt = OrDefault(trackMaterial);

    // Normal force: spring on the penetration, damper on the normal speed, never pulling.
    const float depth = (P - E).Length();
    VQVector nb;
    Minv.RotateVector(nb, n);
    const VQVector Vp = Cross(W, R) + V;
    const float vn = nb.Dot(Vp);
    const float k = SeriesStiffness(mb.stiffness, mt.stiffness);
    const float c = std::max(mb.damping, mt.damping);
    const float Fk = float(double(k) * depth);
    float Fc = float(-double(c) * vn);
    if (double(Fk) + Fc < 0.0) Fc = -Fk;
    const float F = Fk + Fc;
    const VQVector Fn = nb * F;
    body->AddExternalForce(Fn);
    body->AddExternalTorque(Cross(R, Fn));

    // Coulomb friction at the point of the slid sphere that faces the track.
    const VQVector Cp = E - n * radius;
    VQVector Cb;
    Minv.TransformPoint(Cb, Cp);
    Cb = Cb - G;
    const VQVector Vc = Cross(W, Cb) + V;
    const VQVector Vt = Vc - nb * vn;
    const VQVector tau = Normalised(Vt);
    const float mu = std::min(mb.friction, mt.friction);
    const VQVector Ft = tau * float(-double(mu) * Fn.Length());
    body->AddExternalForce(Ft);
    body->AddExternalTorque(Cross(Cb, Ft));

    if (!(b.trackContactBits & bit) && m_contactCallback) {
      VQVector vw;
      M.RotateVector(vw, nb * vn);
      m_contactCallback(body, nullptr, b.materials[i], trackMaterial, Cp, vw, m_userWord);
    }
    b.trackContactBits |= bit;
  }
}

void VQCollisionWorld::CollideBodies(VQVehicleModel* A, VQVehicleModel* const* candidates,
                                     uint32_t count) {
  VQCollisionBody& ba = *A->GetCollisionBody();
  VQVector VA, WA, GA;
  A->GetVL100(VA);
  A->GetOL100(WA);
  A->GetCentreOfGravity(GA);
  const VQMatrix MA = *A->GetWorldMatrix();
  const VQMatrix MAinv = *A->GetInverseWorldMatrix();
  uint32_t touched = 0;

  for (uint32_t i = 0; i < ba.sphereCount && i < VQCOLLISION_MAX_SPHERES; ++i) {
    const VQVector PA = ba.worldCentres[i];
    const float rA = ba.radii[i];
    const VQContactMaterial* mA = ba.materials[i];
    for (uint32_t c = 0; c < count; ++c) {
      VQVehicleModel* B = candidates[c];
      VQCollisionBody& bb = *B->GetCollisionBody();
      const VQMatrix MB = *B->GetWorldMatrix();
      for (uint32_t j = 0; j < bb.sphereCount && j < VQCOLLISION_MAX_SPHERES; ++j) {
        const VQVector PB = bb.worldCentres[j];
        const float s = rA + bb.radii[j];
        const VQVector d = PB - PA;
        if (!d.IsSmallerThan(s)) continue;
        const double dd = double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z;
        if (!(dd < double(s) * s)) continue;
        const float delta = float(std::sqrt(dd));
        const VQVector n = Normalised(d);
        const VQVector Cp = PA + n * rA;

        VQVector r1;
        MAinv.TransformPoint(r1, Cp);
        r1 = r1 - GA;
        const VQVector vA = Cross(WA, r1) + VA;
        VQVector VB, WB, GB;
        B->GetVL100(VB);
        B->GetOL100(WB);
        B->GetCentreOfGravity(GB);
        const VQMatrix& MBinv = *B->GetInverseWorldMatrix();
        VQVector r2;
        MBinv.TransformPoint(r2, Cp);
        r2 = r2 - GB;
        const VQVector vB = Cross(WB, r2) + VB;
        VQVector vAw, vBw;
        MA.RotateVector(vAw, vA);
        MB.RotateVector(vBw, vB);
        const VQVector vrel = vAw - vBw;

        const VQContactMaterial& ma = OrDefault(mA);
        const VQContactMaterial& mb = OrDefault(bb.materials[j]);
        const float k = SeriesStiffness(ma.stiffness, mb.stiffness);
        const float cd = std::max(ma.damping, mb.damping);
        const VQVector Vn = n * n.Dot(vrel);
        const VQVector Fc = Vn * -cd;
        const VQVector Fk = n * float(-double(k) * (double(s) - delta));
        VQVector F = Fc + Fk;
        if (F.Dot(Fk) < 0.0f) F.Set(0, 0, 0);

        VQVector FA, FB;
        MAinv.RotateVector(FA, F);
        MBinv.RotateVector(FB, -F);
        A->ApplyForceAtPoint(FA, ba.localCentres[i]);
        B->ApplyForceAtPoint(FB, bb.localCentres[j]);

        const uint32_t bit = 1u << i;
        if (!(ba.bodyContactBits & bit) && m_contactCallback)
          m_contactCallback(A, B, mA, bb.materials[j], Cp, Vn, m_userWord);
        ba.bodyContactBits |= bit;
        touched |= bit;
      }
    }
  }
  ba.bodyContactBits &= touched;
}
