// The library's numerical routines as the CAR_1 equations call them.
#pragma once

#include "model/core/tolvu_model.h"
#include "model/numerics/numerics.h"

namespace car1::num {

inline double smoothStep(double x, double w, double a, double b) { return SMOOTH_STEP(x, w, a, b); }
inline double mlimit(double x, double extreme) {
  double r = 0.0;
  MLIMIT(r, x, extreme);
  return r;
}
inline double stickSlip(double f, double v, double limit, double k) {
  return STICK_SLIP(f, v, limit, k);
}
// 3 x 3 inverse by the pivoted small solve (a singular matrix gives zeros).
inline void inverse3(double* inv, const double* m) { SMALL_INVERSE(inv, m, 3); }
inline void splpre(double* table, const double* points, int control, int rows, int cols) {
  SPLPRE(table, points, control, rows, cols);
}
// result[0] = value, result[1] = segment (the search starts from the segment left there).
inline void tableLookup(double* result, double x, const double* table, int rows) {
  SPLINE_LOOKUP(result, x, table, 2, rows, 4);
}
inline void groundQuery(double* out, const double* point, const double* aux, double wheel) {
  GetEarthData(out, point, aux, wheel);
}

}  // namespace car1::num
