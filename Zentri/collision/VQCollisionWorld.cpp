#include "Zentri/collision/VQCollisionWorld.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/numerics/fminmax.h"

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
      lo[k] = tolvu::fmin(lo[k], tolvu::fmin(sv[k] - r, ev[k] - r));
      hi[k] = tolvu::fmax(hi[k], tolvu::fmax(sv[k] + r, ev[k] + r));
    }
    any = true;
  }
  return any && boxQuery(lo, hi);
}

}  // namespace

// Worker threads for the per-body phases of a sub-step. The items (body indices) are dealt out
// in lanes, one lane per thread: the calling thread runs lane 0, worker k lane k. Run(job, args)
// calls job(args, item) once for every item and returns when all calls have returned: the
// barrier between two phases.
//
// An item stays in its lane from phase to phase, so that its body's data (the model's store is
// several kilobytes) stays in the cache of the core that steps it: moving it to another core
// costs about as much as the step itself. The lanes are dealt by the items' cost, as each lane
// measures it, and dealt again when that evens the lanes out markedly. A thread that has run its
// own lane waits; only when a lane is still unfinished well after a phase's usual length (its
// thread was stopped by the system) do the waiting threads take its items, from the back.
//
// Each lane hands out its items through a ticket word (phase number, front and back position):
// a thread that wakes after its phase has ended finds no ticket of that phase and waits for the
// next. A phase is some microseconds of work, less than putting a thread to sleep and waking it
// costs, so a waiting thread spins (pausing, then yielding the processor) for a couple of
// milliseconds, which covers the gap between two frames of a race run as fast as it goes, and
// only then sleeps on a condition variable.
class VQCollisionWorkers {
 public:
  using Job = void (*)(const void* args, uint32_t item);
  using Clock = std::chrono::steady_clock;

  explicit VQCollisionWorkers(uint32_t workers)
      : m_laneCount(std::min(workers + 1, VQCOLLISION_MAX_THREADS)) {
    m_threads.reserve(m_laneCount - 1);
    for (uint32_t k = 1; k < m_laneCount; ++k) m_threads.emplace_back([this, k] { Work(k); });
  }
  ~VQCollisionWorkers() {
    {
      const std::lock_guard<std::mutex> lock(m_lock);
      m_published.stop.store(true);
    }
    m_start.notify_all();
    for (std::thread& t : m_threads) t.join();
  }
  uint32_t GetLaneCount() const { return m_laneCount; }

  // The items of the coming phases, in the order the lanes take them (lane 0 from the front),
  // with the cost expected of each before any is measured. Only between phases. A changed list
  // is dealt afresh; an unchanged one keeps its lanes, and every kMeasuredCalls calls the costs
  // measured meanwhile deal it again if that shortens the longest lane by a tenth.
  void SetItems(const uint32_t* items, const double* weights, uint32_t count) {
    count = std::min(count, VQCOLLISION_MAX_BODIES);
    if (count != m_count || !std::equal(items, items + count, m_items)) {
      m_count = count;
      std::copy(items, items + count, m_items);
      std::copy(weights, weights + count, m_cost);
      m_measured = false;
      m_calls = 0;
      for (Lane& lane : m_lanes) std::fill(std::begin(lane.time), std::end(lane.time), 0);
      Deal(m_cost, m_ends);
      return;
    }
    if (++m_calls < kMeasuredCalls) return;
    m_calls = 0;
    for (uint32_t n = 0; n < count; ++n) {
      uint64_t t = 0;
      for (Lane& lane : m_lanes) t += std::exchange(lane.time[n], 0);
      // An item that was taken by another thread has no time of its own: it keeps its cost.
      if (t == 0) continue;
      m_cost[n] = m_measured ? 0.5 * m_cost[n] + 0.5 * double(t) : double(t);
    }
    if (!m_measured) {
      m_measured = true;
      for (uint32_t n = 0; n < count; ++n)
        if (m_cost[n] < 1.0) m_cost[n] = 1.0;
    }
    uint32_t ends[VQCOLLISION_MAX_THREADS];
    Deal(m_cost, ends);
    if (LongestLane(ends) < 0.9 * LongestLane(m_ends)) std::copy(ends, ends + m_laneCount, m_ends);
  }

  // Calls job(copy of args, item) for every item. The arguments travel on the line that the
  // waiting threads watch, so that they arrive with the news of the phase.
  template <typename Args>
  void Run(Job job, const Args& args) {
    static_assert(sizeof(Args) <= sizeof(m_published.args) && std::is_trivially_copyable_v<Args>);
    if (m_count == 0) return;
    // Read only by a thread that holds a ticket of this phase: stable until the phase ends.
    m_published.job = job;
    std::memcpy(m_published.args, &args, sizeof(Args));
    m_done.store(0, std::memory_order_relaxed);
    const uint64_t phase = ++m_phaseCount & 0xffffffffu;
    for (uint32_t k = 0; k < m_laneCount; ++k)
      m_lanes[k].ticket.store(Ticket(phase, k ? m_ends[k - 1] : 0, m_ends[k]), std::memory_order_release);
    bool wake;
    {
      // Under the lock, so that a worker about to sleep sees the new phase or is counted.
      const std::lock_guard<std::mutex> lock(m_lock);
      m_published.phase.store(phase, std::memory_order_release);
      wake = m_sleepers != 0;
    }
    if (wake) m_start.notify_all();
    Drain(0, phase, false);
    for (Waiting w; !w.Asleep(); w.Next()) {
      if (m_done.load(std::memory_order_acquire) == m_count) return;
      if (w.Steal()) Drain(0, phase, true);
    }
    std::unique_lock<std::mutex> lock(m_lock);
    m_waiting = true;
    m_finished.wait(lock, [&] { return m_done.load(std::memory_order_acquire) == m_count; });
    m_waiting = false;
  }

 private:
  // A thread that waits spins, first pausing, then giving the processor up to other threads; then
  // it sleeps. Counted in time: the length of a pause differs from processor to processor.
  class Waiting {
   public:
    bool Asleep() const { return m_waited >= kSleepAfter; }
    // True once, when the thread has waited long enough to take items from others' lanes.
    bool Steal() {
      if (m_stolen || m_waited < kStealAfter) return false;
      return m_stolen = true;
    }
    void Next() {
      if (m_waited < kPauseFor) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
      } else {
        std::this_thread::yield();
      }
      if ((++m_spins & 31) == 0) m_waited = Clock::now() - m_start;
    }

   private:
    static constexpr Clock::duration kPauseFor = std::chrono::microseconds(200);
    static constexpr Clock::duration kStealAfter = std::chrono::microseconds(30);
    static constexpr Clock::duration kSleepAfter = std::chrono::microseconds(2000);
    const Clock::time_point m_start = Clock::now();
    Clock::duration m_waited{0};
    uint32_t m_spins = 0;
    bool m_stolen = false;
  };
  // Calls of SetItems between two measurements of the items' costs.
  static constexpr uint32_t kMeasuredCalls = 8;

  // phase << 32 | front << 8 | back: the items from front to back are left (positions below 256)
  static uint64_t Ticket(uint64_t phase, uint32_t front, uint32_t back) {
    return phase << 32 | uint64_t(front) << 8 | back;
  }

  struct alignas(64) Lane {
    std::atomic<uint64_t> ticket{0};
    uint64_t time[VQCOLLISION_MAX_BODIES] = {};  // nanoseconds spent on each position, by this lane's thread
  };

  // Lane ends that share the total cost out evenly: each item goes to the lane in which the
  // middle of its cost falls.
  void Deal(const double* cost, uint32_t* ends) const {
    double total = 0.0;
    for (uint32_t n = 0; n < m_count; ++n) total += cost[n];
    uint32_t lane = 0;
    double before = 0.0;
    for (uint32_t n = 0; n < m_count; ++n) {
      const double middle = before + 0.5 * cost[n];
      const uint32_t target = total > 0.0 ? std::min(m_laneCount - 1, uint32_t(middle * m_laneCount / total)) : 0;
      while (lane < target) ends[lane++] = n;
      before += cost[n];
    }
    while (lane < m_laneCount) ends[lane++] = m_count;
  }

  double LongestLane(const uint32_t* ends) const {
    double longest = 0.0;
    for (uint32_t k = 0, n = 0; k < m_laneCount; ++k) {
      double sum = 0.0;
      for (; n < ends[k]; ++n) sum += m_cost[n];
      longest = std::max(longest, sum);
    }
    return longest;
  }

  // Runs the items of the phase that are left in its own lane, from the front, timing each; with
  // steal, then those left in the other lanes, from the back.
  void Drain(uint32_t own, uint64_t phase, bool steal) {
    uint32_t finished = 0;
    {
      std::atomic<uint64_t>& ticket = m_lanes[own].ticket;
      uint64_t* time = m_lanes[own].time;
      uint64_t t = ticket.load(std::memory_order_acquire);
      Clock::time_point start = Clock::now();
      while ((t >> 32) == phase && (t >> 8 & 0xffu) < (t & 0xffu)) {
        if (!ticket.compare_exchange_weak(t, t + (uint64_t(1) << 8), std::memory_order_acq_rel,
                                          std::memory_order_acquire))
          continue;
        const uint32_t n = t >> 8 & 0xffu;
        m_published.job(m_published.args, m_items[n]);
        ++finished;
        const Clock::time_point end = Clock::now();
        time[n] += uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
        start = end;
        t = ticket.load(std::memory_order_acquire);
      }
    }
    for (uint32_t k = 1; steal && k < m_laneCount; ++k) {
      std::atomic<uint64_t>& ticket = m_lanes[(own + k) % m_laneCount].ticket;
      uint64_t t = ticket.load(std::memory_order_acquire);
      while ((t >> 32) == phase && (t >> 8 & 0xffu) < (t & 0xffu)) {
        if (!ticket.compare_exchange_weak(t, t - 1, std::memory_order_acq_rel, std::memory_order_acquire))
          continue;
        m_published.job(m_published.args, m_items[(t & 0xffu) - 1]);
        ++finished;
        t = ticket.load(std::memory_order_acquire);
      }
    }
    // The phase's count is stable while one of its items is unfinished.
    if (finished && m_done.fetch_add(finished, std::memory_order_acq_rel) + finished == m_count) {
      // The calling thread checks the count under the lock before it sleeps.
      const std::lock_guard<std::mutex> lock(m_lock);
      if (m_waiting) m_finished.notify_one();
    }
  }

  void Work(uint32_t lane) {
    uint64_t seen = 0;
    for (;;) {
      auto newPhase = [&] {
        return m_published.stop.load() || m_published.phase.load(std::memory_order_acquire) != seen;
      };
      bool started = false;
      for (Waiting w; !w.Asleep() && !(started = newPhase()); w.Next()) {
        // Items of the last phase may be left in the lane of a thread that was stopped.
        if (w.Steal() && seen) Drain(lane, seen, true);
      }
      if (!started) {
        std::unique_lock<std::mutex> lock(m_lock);
        ++m_sleepers;
        m_start.wait(lock, newPhase);
        --m_sleepers;
      }
      if (m_published.stop.load()) return;
      seen = m_published.phase.load(std::memory_order_acquire);
      Drain(lane, seen, false);
    }
  }

  // Written by the calling thread between phases, read by every thread during a phase.
  const uint32_t m_laneCount;
  uint32_t m_count = 0;
  uint32_t m_items[VQCOLLISION_MAX_BODIES] = {};
  // The calling thread's own.
  uint32_t m_ends[VQCOLLISION_MAX_THREADS] = {};  // lane k: positions up to m_ends[k]
  double m_cost[VQCOLLISION_MAX_BODIES] = {};
  bool m_measured = false;
  uint32_t m_calls = 0;
  uint64_t m_phaseCount = 0;
  Lane m_lanes[VQCOLLISION_MAX_THREADS];
  // What the threads wait on, each on a line of its own.
  struct alignas(64) Published {
    std::atomic<uint64_t> phase{0};
    std::atomic<bool> stop{false};
    Job job = nullptr;
    alignas(8) unsigned char args[40] = {};
  } m_published;
  alignas(64) std::atomic<uint32_t> m_done{0};
  alignas(64) std::mutex m_lock;
  std::condition_variable m_start, m_finished;
  uint32_t m_sleepers = 0;  // workers waiting on m_start (under m_lock)
  bool m_waiting = false;   // the calling thread waits on m_finished (under m_lock)
  std::vector<std::thread> m_threads;
};

VQCollisionWorld::VQCollisionWorld() = default;
VQCollisionWorld::~VQCollisionWorld() = default;

void VQCollisionWorld::SetThreadCount(uint32_t count) {
  m_threadCount = std::clamp(count, 1u, VQCOLLISION_MAX_THREADS);
  if (m_workers && m_workers->GetLaneCount() != m_threadCount) m_workers.reset();
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
  m_broad[i].centre = cb->worldEnclosingCentre;
  m_broad[i].radius = cb->enclosingRadius;
  // Most bodies touch nothing of the track in most sub-steps: one box query over all their
  // sweeps then stands for every sweep (a body that sweeps nothing takes the no-contact path).
  const bool anything = !m_trackBoxQuery || TrackNearBody(body, m_trackBoxQuery);
  CollideWithTrack(body, anything ? m_trackQuery : nullptr);
}

void VQCollisionWorld::RefreshBroad(uint32_t i) {
  VQVehicleModel* body = m_bodies[i];
  Broad& e = m_broad[i];
  if (!body) {
    e.flags = 0;
    return;
  }
  const VQCollisionBody* cb = body->GetCollisionBody();
  e.centre = cb->worldEnclosingCentre;
  e.radius = cb->enclosingRadius;
  e.flags = (body->IsCollidable() ? kBroadCollidable : 0u) | (body->IsFullRate() ? kBroadFullRate : 0u) |
            (cb->bodyContactBits ? kBroadTouching : 0u);
}

void VQCollisionWorld::StepBody(uint32_t i, float time, bool even, float h) {
  VQVehicleModel* body = m_bodies[i];
  if (!body) return;
  if (body->IsFullRate())
    body->Step(int(i) + 1, time, h);
  else if (even)
    body->Step(int(i) + 1, time, 2.0f * h);
}

void VQCollisionWorld::DealBodies() {
  // The full-rate bodies come first, in the calling thread's lane, so that a sub-step in which
  // they alone prepare needs no other thread. A full-rate body steps in every sub-step, the others
  // in every second one, and its model costs about twice as much to evaluate: until the costs are
  // measured, it counts four times.
  uint32_t items[VQCOLLISION_MAX_BODIES];
  double weights[VQCOLLISION_MAX_BODIES];
  uint32_t count = 0;
  for (int fullRate = 1; fullRate >= 0; --fullRate)
    for (uint32_t i = 0; i < m_bodyCount; ++i) {
      VQVehicleModel* body = m_bodies[i];
      const bool full = body && body->IsFullRate();
      if (full != bool(fullRate)) continue;
      items[count] = i;
      weights[count++] = full ? 4.0 : 1.0;
    }
  m_workers->SetItems(items, weights, count);
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
  if (parallel) {
    if (!m_workers) m_workers = std::make_unique<VQCollisionWorkers>(m_threadCount - 1);
    DealBodies();
  }
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
      // The call's first sub-step: the bodies' summaries are read again, as the program may
      // have changed a body since the last call.
      if (!prepared && even) {
        m_workers->Run([](const void* d, uint32_t i) {
          const Phase& p = *static_cast<const Phase*>(d);
          p.world->RefreshBroad(i);
          p.world->PrepareBody(i, p.time, p.even);
        }, phase);
      } else if (!prepared) {
        // Only the full-rate bodies prepare, and they are in this thread's lane: the other
        // threads have nothing to do.
        for (uint32_t i = 0; i < m_bodyCount; ++i) {
          RefreshBroad(i);
          PrepareBody(i, time, even);
        }
      }
      CollideAllBodies(even);
      m_workers->Run([](const void* d, uint32_t i) {
        const Phase& p = *static_cast<const Phase*>(d);
        p.world->StepBody(i, p.time, p.even, p.h);
        if (p.more) p.world->PrepareBody(i, p.nextTime, p.nextEven);
      }, phase);
      prepared = phase.more;
    } else {
      // A post-step callback may change what the broad phase reads: read it again every time.
      for (uint32_t i = 0; i < m_bodyCount; ++i) {
        RefreshBroad(i);
        PrepareBody(i, time, even);
      }
      CollideAllBodies(even);
      for (uint32_t i = 0; i < m_bodyCount; ++i) StepBody(i, time, even, h);
    }
    ++m_subStepCounter;
  }
  if (a > 0.0f) m_accumulator = a;
  return true;
}

void VQCollisionWorld::CollideAllBodies(bool even) {
  // Broad phase, from the bodies' summaries (a few cache lines instead of every body's data,
  // which the threads that step the bodies then keep to themselves): handled[i] bit j records
  // the pair (i, j) of this sub-step. The box test of a body against all others runs without
  // branches over the summaries laid out by coordinate; a body that cannot take part gets the
  // radius minus infinity, which no box test passes.
  const uint32_t n = m_bodyCount;
  alignas(16) float X[VQCOLLISION_MAX_BODIES], Y[VQCOLLISION_MAX_BODIES], Z[VQCOLLISION_MAX_BODIES],
      R[VQCOLLISION_MAX_BODIES];
  for (uint32_t j = 0; j < n; ++j) {
    X[j] = m_broad[j].centre.x;
    Y[j] = m_broad[j].centre.y;
    Z[j] = m_broad[j].centre.z;
    R[j] = (m_broad[j].flags & kBroadCollidable) ? m_broad[j].radius : -HUGE_VALF;
  }
  uint64_t handled[VQCOLLISION_MAX_BODIES] = {};
  for (uint32_t i = 0; i < n; ++i) {
    const Broad& bi = m_broad[i];
    if (!(bi.flags & kBroadCollidable) || !(even || (bi.flags & kBroadFullRate))) continue;
    const float xi = bi.centre.x, yi = bi.centre.y, zi = bi.centre.z, ri = bi.radius;
    uint8_t box[VQCOLLISION_MAX_BODIES];
    for (uint32_t j = 0; j < n; ++j) {
      const float r = ri + R[j];
      box[j] = uint8_t((std::fabs(xi - X[j]) < r) & (std::fabs(yi - Y[j]) < r) & (std::fabs(zi - Z[j]) < r));
    }
    VQVehicleModel* candidates[VQCOLLISION_MAX_CANDIDATES];
    uint32_t count = 0;
    for (uint32_t j = 0; j < n; ++j) {
      if (!box[j] || j == i) continue;
      if (handled[j] & (uint64_t(1) << i)) continue;
      const Broad& bj = m_broad[j];
      const float r = bi.radius + bj.radius;
      const VQVector d = bi.centre - bj.centre;
      if (!(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z < double(r) * r)) continue;
      if (count < VQCOLLISION_MAX_CANDIDATES) candidates[count++] = m_bodies[j];
      handled[i] |= uint64_t(1) << j;
    }
    // Without candidates the pair contacts only end: nothing to do for a body that had none.
    if (count || (bi.flags & kBroadTouching)) {
      VQVehicleModel* body = m_bodies[i];
      CollideBodies(body, candidates, count);
      m_broad[i].flags = body->GetCollisionBody()->bodyContactBits ? bi.flags | kBroadTouching
                                                                     : bi.flags & ~kBroadTouching;
    }
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
