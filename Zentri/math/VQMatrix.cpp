#include "Zentri/math/VQMatrix.h"

#include <cmath>

#include "Zentri/math/VQQuaternion.h"

namespace {

// 2 pi as the float the angle corrections use, widened.
constexpr double kTwoPi = double(6.2831855f);

// d = a x b over all 16 elements, in double; d is a separate array so a or b may be the
// destination matrix.
inline void ProductDouble(double d[16], const float a[16], const float b[16]) {
  for (int r = 0; r < 4; ++r) {
    const double a0 = a[4 * r], a1 = a[4 * r + 1], a2 = a[4 * r + 2], a3 = a[4 * r + 3];
    for (int c = 0; c < 4; ++c) {
      d[4 * r + c] = a0 * b[c] + a1 * b[4 + c] + a2 * b[8 + c] + a3 * b[12 + c];
    }
  }
}

inline void Store(float out[16], const double d[16]) {
  for (int i = 0; i < 16; ++i) out[i] = float(d[i]);
}

// One correction into [0, 2 pi).
inline double WrapOnce(double a) {
  if (a < 0.0) return a + kTwoPi;
  if (a >= kTwoPi) return a - kTwoPi;
  return a;
}

}  // namespace

void VQMatrix_Multiply(VQMatrix& out, const VQMatrix& a, const VQMatrix& b) {
  double d[16];
  ProductDouble(d, a.m, b.m);
  Store(out.m, d);
}

void VQMatrix::Multiply(const VQMatrix& other, VQMatrix& result) const {
  VQMatrix_Multiply(result, *this, other);
}

void VQMatrix::SetIdentity() {
  for (int i = 0; i < 16; ++i) m[i] = 0.0f;
  m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void VQMatrix::Transpose() {
  for (int r = 0; r < 4; ++r) {
    for (int c = r + 1; c < 4; ++c) {
      const float t = m[4 * r + c];
      m[4 * r + c] = m[4 * c + r];
      m[4 * c + r] = t;
    }
  }
}

void VQMatrix::MakeRotationZ(float a) {
  const double c = std::cos(double(a)), s = std::sin(double(a));
  SetIdentity();
  m[0] = float(c);
  m[1] = float(s);
  m[4] = float(-s);
  m[5] = float(c);
}

void VQMatrix::MakeRotation(float ax, float ay, float az) {
  SetIdentity();
  SetRotation(ax, ay, az);
}

void VQMatrix::MakeTranslation(float tx, float ty, float tz) {
  SetIdentity();
  SetTranslation(tx, ty, tz);
}

void VQMatrix::SetRotation(float ax, float ay, float az) {
  const double cx = std::cos(double(ax)), sx = std::sin(double(ax));
  const double cy = std::cos(double(ay)), sy = std::sin(double(ay));
  const double cz = std::cos(double(az)), sz = std::sin(double(az));
  m[0] = float(cz * cy);
  m[1] = float(sz * cy);
  m[2] = float(-sy);
  m[4] = float(sy * sx * cz - sz * cx);
  m[5] = float(sy * sx * sz + cz * cx);
  m[6] = float(cy * sx);
  m[8] = float(sy * cx * cz + sz * sx);
  m[9] = float(sy * cx * sz - cz * sx);
  m[10] = float(cy * cx);
}

void VQMatrix::SetRotationFromQuaternion(const VQQuaternion& q) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  m[0] = float(1.0 - 2.0 * (y * y + z * z));
  m[1] = float(2.0 * (x * y - z * w));
  m[2] = float(2.0 * (x * z + y * w));
  m[4] = float(2.0 * (x * y + z * w));
  m[5] = float(1.0 - 2.0 * (x * x + z * z));
  m[6] = float(2.0 * (y * z - x * w));
  m[8] = float(2.0 * (x * z - y * w));
  m[9] = float(2.0 * (y * z + x * w));
  m[10] = float(1.0 - 2.0 * (x * x + y * y));
}

VQVector& VQMatrix::GetRotationAngles(VQVector& out) const {
  // A rotation stored as floats can carry m[2] a rounding step beyond +-1; asin would give
  // NaN there, so the sine is clamped to the range it stands for.
  double s = m[2];
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  const double ya = -std::asin(s);
  const double c = std::cos(ya);
  double xa, za;
  if (std::fabs(c) > 0.0005) {
    xa = std::atan2(-double(m[6]) / c, double(m[10]) / c);
    za = std::atan2(-double(m[1]) / c, double(m[0]) / c);
  } else {
    // Near a quarter turn about y only the difference of the x and z turns is defined:
    // x is taken as 0 and z read from the y axis.
    xa = 0.0;
    za = std::atan2(double(m[4]), double(m[5]));
  }
  out.x = float(-WrapOnce(xa));
  out.y = float(-WrapOnce(ya));
  out.z = float(-WrapOnce(za));
  return out;
}

VQMatrix& VQMatrix::Inverse(VQMatrix& out) const {
  // MakeTranslation(-t) x C, with C this matrix with its translation cleared and transposed.
  // The unit rows of the translation matrix copy C's rows 0-2; its last row gives
  // -t (rows 0-2 of C) + row 3 of C, and row 3 of C is the old column 3 (m3, m7, m11, m15).
  const double tx = m[12], ty = m[13], tz = m[14];
  float r[16] = {m[0], m[4], m[8], 0.0f, m[1], m[5], m[9], 0.0f,
                 m[2], m[6], m[10], 0.0f, m[3], m[7], m[11], m[15]};
  for (int c = 0; c < 4; ++c) {
    r[12 + c] = float(-tx * r[c] - ty * r[4 + c] - tz * r[8 + c] + double(r[12 + c]));
  }
  for (int i = 0; i < 16; ++i) out.m[i] = r[i];
  return out;
}

VQMatrix& VQMatrix::GetRigidInverse(VQMatrix& out) const {
  // R^T inside an identity; translation -t R^T, component c being -(t . row c of R).
  const double tx = m[12], ty = m[13], tz = m[14];
  const float r[16] = {m[0], m[4], m[8], 0.0f, m[1], m[5], m[9], 0.0f, m[2], m[6], m[10], 0.0f,
                       float(-(tx * m[0] + ty * m[1] + tz * m[2])),
                       float(-(tx * m[4] + ty * m[5] + tz * m[6])),
                       float(-(tx * m[8] + ty * m[9] + tz * m[10])), 1.0f};
  for (int i = 0; i < 16; ++i) out.m[i] = r[i];
  return out;
}
