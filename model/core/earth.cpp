// The ground-query trampoline: the car models ask for the ground under each wheel through it.
#include "model/core/earth.h"

#include "model/core/tolvu_model.h"

namespace {
TolvuEarthDataFunction g_earthData = nullptr;
}

namespace tolvu {
void SetEarthDataFunction(TolvuEarthDataFunction function) { g_earthData = function; }
}  // namespace tolvu

void GetEarthData(double out[8], const double point[3], const double aux[3], double wheel) {
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
