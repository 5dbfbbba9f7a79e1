// Inline 3-vector and 3 x 3 matrix helpers shared by the car models' equations.
//
// Matrices are column-major (element (i, j), 1-based, at (j - 1) * 3 + (i - 1)). Results come
// first. Every helper reads its arguments into locals before it writes, so a result may alias an
// argument. Header-only and allocation-free: the equations call these a few thousand times per
// evaluation. The expressions fix the order of every sum, so a model gives the same bits whichever
// file calls them.
#pragma once

#include <cmath>

#include "model/numerics/fminmax.h"

namespace tolvu::small3 {

constexpr double kFloor = 1e-10;  // least divisor and least vector length

inline void set3(double* r, double a, double b, double c) { r[0] = a; r[1] = b; r[2] = c; }
inline void copy3(double* r, const double* a) { set3(r, a[0], a[1], a[2]); }
inline void copy9(double* M, const double* A) {
  for (int k = 0; k < 9; ++k) M[k] = A[k];
}
inline void add3(double* r, const double* a, const double* b) {
  set3(r, a[0] + b[0], a[1] + b[1], a[2] + b[2]);
}
inline void sub3(double* r, const double* a, const double* b) {
  set3(r, a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}
inline double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
// r = a x b
inline void cross(double* r, const double* a, const double* b) {
  set3(r, a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}
// Euclidean length floored at 1e-10 (a NaN length also gives the floor).
inline double norm3(const double* a) { return tolvu::fmax(std::sqrt(dot3(a, a)), kFloor); }
inline void normalise3(double* r, const double* a) {
  const double n = norm3(a);
  set3(r, a[0] / n, a[1] / n, a[2] / n);
}
// y = A x
inline void mv(double* y, const double* A, const double* x) {
  const double x0 = x[0], x1 = x[1], x2 = x[2];
  set3(y, A[0] * x0 + A[3] * x1 + A[6] * x2, A[1] * x0 + A[4] * x1 + A[7] * x2,
       A[2] * x0 + A[5] * x1 + A[8] * x2);
}
// y = A^T x
inline void mtv(double* y, const double* A, const double* x) {
  const double x0 = x[0], x1 = x[1], x2 = x[2];
  set3(y, A[0] * x0 + A[1] * x1 + A[2] * x2, A[3] * x0 + A[4] * x1 + A[5] * x2,
       A[6] * x0 + A[7] * x1 + A[8] * x2);
}
// P = A B
inline void mm(double* P, const double* A, const double* B) {
  double t[9];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
      t[j * 3 + i] = A[i] * B[j * 3] + A[3 + i] * B[j * 3 + 1] + A[6 + i] * B[j * 3 + 2];
  for (int k = 0; k < 9; ++k) P[k] = t[k];
}
inline void identity(double* M) {
  for (int k = 0; k < 9; ++k) M[k] = 0.0;
  M[0] = M[4] = M[8] = 1.0;
}
// Point-acceleration matrix skew(a) + skew(w)^2 of angular velocity w and angular acceleration a.
inline void pointAcceleration(double* D, const double* w, const double* a) {
  const double w0 = w[0], w1 = w[1], w2 = w[2], a0 = a[0], a1 = a[1], a2 = a[2];
  D[0] = -(w1 * w1 + w2 * w2);
  D[1] = w0 * w1 + a2;
  D[2] = w0 * w2 - a1;
  D[3] = w0 * w1 - a2;
  D[4] = -(w0 * w0 + w2 * w2);
  D[5] = w1 * w2 + a0;
  D[6] = w0 * w2 + a1;
  D[7] = w1 * w2 - a0;
  D[8] = -(w0 * w0 + w1 * w1);
}
inline double clamp(double x, double lo, double hi) { return x < lo ? lo : (x > hi ? hi : x); }
// Fortran-style SIGN(a, b): |a| with the sign of b, +|a| for b = 0 (and -|a| for a NaN b).
inline double withSign(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

}  // namespace tolvu::small3
