#include "Zentri/math/VQQuaternion.h"

#include <cmath>

#include "Zentri/math/VQMatrix.h"

VQQuaternion& VQQuaternion::FromMatrix(const VQMatrix& mat) {
  const float* m = mat.m;
  auto at = [m](int r, int c) { return double(m[4 * r + c]); };
  double q[3];  // x, y, z
  double qw;
  const double trace = at(0, 0) + at(1, 1) + at(2, 2);
  if (trace > 0.0) {
    const double s = std::sqrt(trace + 1.0);
    qw = s / 2.0;
    const double k = 0.5 / s;
    q[0] = (at(2, 1) - at(1, 2)) * k;
    q[1] = (at(0, 2) - at(2, 0)) * k;
    q[2] = (at(1, 0) - at(0, 1)) * k;
  } else {
    // Work from the largest diagonal element; ties keep the lower axis.
    int i = 0;
    if (at(1, 1) > at(0, 0)) i = 1;
    if (at(2, 2) > at(i, i)) i = 2;
    const int j = (i + 1) % 3;
    const int k = (j + 1) % 3;
    // For any matrix with trace <= 0 this radicand is at least 1, so s never reaches 0.
    const double s = std::sqrt(at(i, i) - at(j, j) - at(k, k) + 1.0);
    q[i] = s / 2.0;
    const double h = 0.5 / s;
    qw = (at(k, j) - at(j, k)) * h;
    q[j] = (at(j, i) + at(i, j)) * h;
    q[k] = (at(k, i) + at(i, k)) * h;
  }
  x = float(q[0]);
  y = float(q[1]);
  z = float(q[2]);
  w = float(qw);
  Normalize();
  return *this;
}

void VQQuaternion::Normalize() {
  const double len2 = double(x) * x + double(y) * y + double(z) * z + double(w) * w;
  if (!(len2 > 0.0)) return;
  const double len = std::sqrt(len2);
  x = float(x / len);
  y = float(y / len);
  z = float(z / len);
  w = float(w / len);
}

void VQQuaternion::Slerp(const VQQuaternion& a, const VQQuaternion& b, float t) {
  double bx = b.x, by = b.y, bz = b.z, bw = b.w;
  double d = double(a.x) * bx + double(a.y) * by + double(a.z) * bz + double(a.w) * bw;
  if (d < 0.0) {  // take the shorter arc
    d = -d;
    bx = -bx;
    by = -by;
    bz = -bz;
    bw = -bw;
  }
  double s0, s1;
  if (1.0 - d <= 1e-6) {
    s0 = 1.0 - t;
    s1 = t;
  } else {
    const double theta = std::acos(d);
    const double st = std::sin(theta);
    s0 = std::sin((1.0 - t) * theta) / st;
    s1 = std::sin(t * theta) / st;
  }
  const double ax = a.x, ay = a.y, az = a.z, aw = a.w;
  x = float(s0 * ax + s1 * bx);
  y = float(s0 * ay + s1 * by);
  z = float(s0 * az + s1 * bz);
  w = float(s0 * aw + s1 * bw);
}
