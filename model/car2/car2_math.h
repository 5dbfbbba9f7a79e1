// Small dense helpers for the CAR_2 equations: 3-vectors and 3x3 column-major matrices,
// inline and allocation-free, on raw double pointers into the store. The vector and matrix
// helpers are the car models' shared ones (model/numerics/small3.h, result first); the few
// below are this model's own, in the same style. The guarded scalar laws (smooth step,
// stick/slip, spline, MLIMIT) are the library's numerics.
#pragma once

#include <algorithm>
#include <cmath>

#include "model/numerics/numerics.h"
#include "model/numerics/small3.h"

namespace car2 {

using tolvu::small3::kFloor;  // least divisor and least vector length

using tolvu::small3::add3;
using tolvu::small3::clamp;
using tolvu::small3::copy3;
using tolvu::small3::copy9;
using tolvu::small3::cross;
using tolvu::small3::dot3;
using tolvu::small3::identity;
using tolvu::small3::mm;
using tolvu::small3::mtv;
using tolvu::small3::mv;
using tolvu::small3::norm3;
using tolvu::small3::normalise3;
using tolvu::small3::pointAcceleration;
using tolvu::small3::set3;
using tolvu::small3::withSign;

constexpr double kPi = 3.1415927;  // the model's own value of pi, kept for identical results

// 1-based view of a store: s[k] is variable k, s(k) the address of its first element.
struct Store {
  double* b;
  double& operator[](int k) const { return b[k - 1]; }
  double* operator()(int k) const { return b + (k - 1); }
};

// Reciprocal with the library's floor: |s| below 1e-10 gives 1e10.
inline double recip(double s) { return std::fabs(s) < kFloor ? 1e10 : 1.0 / s; }
// a times the floored reciprocal of s.
inline double timesRecip(double a, double s) { return a * recip(s); }
// c1 + c2 x + c3 x^2 + c4 x^3.
inline double cubic(double x, const double* c) { return c[0] + x * (c[1] + x * (c[2] + x * c[3])); }

// R = A^-1 by cofactors; a singular matrix uses the 1e10 reciprocal floor.
inline void cofactorInverse3(double* R, const double* A) {
  double c0 = A[4] * A[8] - A[7] * A[5];
  double c1 = A[7] * A[2] - A[1] * A[8];
  double c2 = A[1] * A[5] - A[4] * A[2];
  double det = A[0] * c0 + A[3] * c1 + A[6] * c2;
  double inv = recip(det);
  R[0] = c0 * inv;
  R[1] = c1 * inv;
  R[2] = c2 * inv;
  R[3] = (A[6] * A[5] - A[3] * A[8]) * inv;
  R[4] = (A[0] * A[8] - A[6] * A[2]) * inv;
  R[5] = (A[3] * A[2] - A[0] * A[5]) * inv;
  R[6] = (A[3] * A[7] - A[6] * A[4]) * inv;
  R[7] = (A[6] * A[1] - A[0] * A[7]) * inv;
  R[8] = (A[0] * A[4] - A[3] * A[1]) * inv;
}

// M = Rz(g) Ry(b) Rx(a), the orientation (body to parent), column-major.
inline void rotZYX(double* M, double a, double b, double g) {
  double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  double cg = std::cos(g), sg = std::sin(g);
  M[0] = cb * cg;
  M[1] = cb * sg;
  M[2] = -sb;
  M[3] = sa * sb * cg - ca * sg;
  M[4] = sa * sb * sg + ca * cg;
  M[5] = sa * cb;
  M[6] = ca * sb * cg + sa * sg;
  M[7] = ca * sb * sg - sa * cg;
  M[8] = ca * cb;
}

}  // namespace car2
