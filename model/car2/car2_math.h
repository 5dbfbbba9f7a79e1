// Small dense helpers for the CAR_2 equations: 3-vectors and 3x3 column-major matrices,
// inline and allocation-free, on raw double pointers into the store. The guarded scalar laws
// (smooth step, stick/slip, spline, MLIMIT) are the library's numerics.
#pragma once

#include <algorithm>
#include <cmath>

#include "model/numerics/numerics.h"
#include "model/numerics/small3.h"

namespace car2 {

namespace small3 = tolvu::small3;

constexpr double kGuard = 1e-10;
constexpr double kPi = 3.1415927;  // the model's own value of pi, kept for identical results

// 1-based view of a store: s[k] is variable k, s(k) the address of its first element.
struct Store {
  double* b;
  double& operator[](int k) const { return b[k - 1]; }
  double* operator()(int k) const { return b + (k - 1); }
};

inline double Sign1(double x) { return x >= 0.0 ? 1.0 : -1.0; }
inline double Clamp(double x, double lo, double hi) { return small3::clamp(x, lo, hi); }

// Reciprocal with the library's floor: |s| below 1e-10 gives 1e10.
inline double Recip(double s) { return std::fabs(s) < kGuard ? 1e10 : 1.0 / s; }
inline double Div(double a, double s) { return a * Recip(s); }

// The 3-vector and 3 x 3 helpers are the car models' shared ones (model/numerics/small3.h), kept
// here under this model's names and argument order (inputs first, result last).
inline void Set3(double* v, double a, double b, double c) { small3::set3(v, a, b, c); }
inline void Copy3(double* d, const double* s) { small3::copy3(d, s); }
inline void Copy9(double* d, const double* s) {
  for (int i = 0; i < 9; ++i) d[i] = s[i];
}
inline void Add3(double* r, const double* a, const double* b) { small3::add3(r, a, b); }
inline void AddTo3(double* r, const double* a) { small3::add3(r, r, a); }
inline double Dot3(const double* a, const double* b) { return small3::dot3(a, b); }
// c = a x b.
inline void Cross(const double* a, const double* b, double* c) { small3::cross(c, a, b); }
// y = A x, A 3x3 column-major.
inline void MulMV(const double* A, const double* x, double* y) { small3::mv(y, A, x); }
// y = A^T x.
inline void MulMtV(const double* A, const double* x, double* y) { small3::mtv(y, A, x); }
// R = A B.
inline void MulMM(const double* A, const double* B, double* R) { small3::mm(R, A, B); }
inline void Identity(double* M) { small3::identity(M); }
// Point-acceleration matrix skew(w)^2 + skew(a).
inline void AccMatrix(const double* w, const double* a, double* M) {
  small3::pointAcceleration(M, w, a);
}
inline double Norm3(const double* v) { return small3::norm3(v); }
inline void Normalise3(const double* x, double* y) { small3::normalise3(y, x); }
// c1 + c2 x + c3 x^2 + c4 x^3.
inline double Poly4(double x, const double* c) { return c[0] + x * (c[1] + x * (c[2] + x * c[3])); }

// Inverse of a 3x3 matrix by cofactors; a singular matrix uses the 1e10 reciprocal floor.
inline void Inverse3(const double* A, double* R) {
  double c0 = A[4] * A[8] - A[7] * A[5];
  double c1 = A[7] * A[2] - A[1] * A[8];
  double c2 = A[1] * A[5] - A[4] * A[2];
  double det = A[0] * c0 + A[3] * c1 + A[6] * c2;
  double inv = Recip(det);
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

// Orientation Rz(g) Ry(b) Rx(a) (body to parent), column-major.
inline void RotZYX(double a, double b, double g, double* M) {
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
