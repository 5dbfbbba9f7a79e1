// The ground-query trampoline: the car models ask for the ground under each wheel through it.
#include "model/core/earth.h"

#include "model/core/tolvu_model.h"

namespace {
// Set by the program between evaluations, read by every evaluation.
TolvuEarthDataFunction g_earthData = nullptr;
// The ground query of the evaluation on this thread: each thread evaluates its own store with its
// own query, so the per-call query cannot be one shared variable.
thread_local TolvuGroundFunction t_ground = nullptr;
thread_local void* t_groundContext = nullptr;
}  // namespace

namespace tolvu {
void SetEarthDataFunction(TolvuEarthDataFunction function) { g_earthData = function; }

GroundScope::GroundScope(TolvuGroundFunction ground, void* context)
    : m_savedGround(t_ground), m_savedContext(t_groundContext) {
  t_ground = ground;
  t_groundContext = context;
}

GroundScope::~GroundScope() {
  t_ground = m_savedGround;
  t_groundContext = m_savedContext;
}
}  // namespace tolvu

void GetEarthData(double out[8], const double point[3], const double aux[3], double wheel) {
  if (t_ground != nullptr) {
    t_ground(t_groundContext, out, point, aux, wheel);
    return;
  }
  if (g_earthData != nullptr) {
    g_earthData(out, point, aux, wheel);
    return;
  }
  // Flat ground at height 0 below the query point.
  out[0] = point[0];
  out[1] = point[1];
  out[2] = 0.0;
  out[3] = 0.0;
  out[4] = 0.0;
  out[5] = -1.0;
  out[6] = 1.0;
  out[7] = 0.01;
}
