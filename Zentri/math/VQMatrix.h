// VQMatrix: the engine's 4x4 transform, used for node transforms, cameras, collision bodies
// and vehicle poses. Elements m[0]..m[15] are stored row by row (row r, column c is
// m[4r + c]) and scene files store them in this order.
//
// Points are row vectors multiplied on the left: p' = (x, y, z, 1) M. Rows 0, 1, 2 are the
// images of the x, y, z axes, m[12..14] the translation; m[3], m[7], m[11] are 0 and m[15] is 1
// in every matrix the engine builds. A product A x B applies A first, then B.
//
// Euler angles: SetRotation(ax, ay, az) builds Rx(ax) x Ry(ay) x Rz(az), turning a point about
// x first, then y, then z. GetRotationAngles does NOT return those angles: it returns
// (ax, -ay, az) up to whole turns, each in (-2 pi, 0]. To rebuild the matrix from its result r,
// use SetRotation(r.x, -r.y, r.z).
//
// Arithmetic is done in double precision and each stored element rounded to float once.
#pragma once

#include "Zentri/math/VQVector.h"

class VQQuaternion;

class VQMatrix {
 public:
  float m[16];

  // A new matrix is the identity.
  VQMatrix() { SetIdentity(); }
  VQMatrix(const VQMatrix&) = default;
  VQMatrix& operator=(const VQMatrix&) = default;

  // result = this x other. result may be this or other.
  void Multiply(const VQMatrix& other, VQMatrix& result) const;
  // this x other, by value.
  VQMatrix operator*(const VQMatrix& other) const {
    VQMatrix r;
    Multiply(other, r);
    return r;
  }

  void SetIdentity();
  // Transposes all 16 elements in place.
  void Transpose();
  // Whole matrix: rotation by a radians about z; (1, 0, 0) goes to (cos a, sin a, 0).
  void MakeRotationZ(float a);
  // Identity, then SetRotation.
  void MakeRotation(const VQVector& angles) { MakeRotation(angles.x, angles.y, angles.z); }
  void MakeRotation(float ax, float ay, float az);
  // Identity, then SetTranslation.
  void MakeTranslation(const VQVector& t) { MakeTranslation(t.x, t.y, t.z); }
  void MakeTranslation(float tx, float ty, float tz);
  // Sets the 3x3 part to Rx(ax) x Ry(ay) x Rz(az); other elements unchanged.
  void SetRotation(const VQVector& angles) { SetRotation(angles.x, angles.y, angles.z); }
  void SetRotation(float ax, float ay, float az);
  // Sets the 3x3 part from a unit quaternion; other elements unchanged. Inverse of
  // VQQuaternion::FromMatrix. Note the direction: (0, 0, sin h, cos h) gives the same
  // 3x3 part as MakeRotationZ(-2h).
  void SetRotationFromQuaternion(const VQQuaternion& q);
  void SetTranslation(const VQVector& t) { SetTranslation(t.x, t.y, t.z); }
  void SetTranslation(float tx, float ty, float tz) {
    m[12] = tx;
    m[13] = ty;
    m[14] = tz;
  }
  void ClearTranslation() { m[12] = m[13] = m[14] = 0.0f; }

  VQVector& GetTranslation(VQVector& out) const {
    out.Set(m[12], m[13], m[14]);
    return out;
  }
  VQVector& GetAxisX(VQVector& out) const {
    out.Set(m[0], m[1], m[2]);
    return out;
  }
  VQVector& GetAxisY(VQVector& out) const {
    out.Set(m[4], m[5], m[6]);
    return out;
  }
  VQVector& GetAxisZ(VQVector& out) const {
    out.Set(m[8], m[9], m[10]);
    return out;
  }
  // Three angles of the 3x3 part, each in (-2 pi, 0] (an angle within rounding of a whole
  // turn may be stored as -2 pi); see the note at the top of this file.
  // Near a quarter turn about y (|cos| <= 0.0005) x is reported as 0 and z carries the rest.
  VQVector& GetRotationAngles(VQVector& out) const;

  // out = (p, 1) x M. out may be p.
  VQVector& TransformPoint(VQVector& out, const VQVector& p) const {
    const double px = p.x, py = p.y, pz = p.z;
    out.x = float(px * m[0] + py * m[4] + pz * m[8] + m[12]);
    out.y = float(px * m[1] + py * m[5] + pz * m[9] + m[13]);
    out.z = float(px * m[2] + py * m[6] + pz * m[10] + m[14]);
    return out;
  }
  VQVector& TransformPoint(VQVector& p) const { return TransformPoint(p, p); }
  // out = (v, 0) x M: the rotation without the translation. out may be v.
  VQVector& RotateVector(VQVector& out, const VQVector& v) const {
    const double vx = v.x, vy = v.y, vz = v.z;
    out.x = float(vx * m[0] + vy * m[4] + vz * m[8]);
    out.y = float(vx * m[1] + vy * m[5] + vz * m[9]);
    out.z = float(vx * m[2] + vy * m[6] + vz * m[10]);
    return out;
  }
  VQVector& RotateVector(VQVector& v) const { return RotateVector(v, v); }

  // Rigid inverse, for a matrix whose 3x3 part is a rotation: p = (p' - t) R^T.
  // Inverse computes MakeTranslation(-t) x (this with its translation cleared, transposed);
  // GetRigidInverse writes R^T into an identity and its translation -t R^T. Both agree when
  // m[3] = m[7] = m[11] = 0 and m[15] = 1. out may be this. Returns out.
  VQMatrix& Inverse(VQMatrix& out) const;
  VQMatrix& GetRigidInverse(VQMatrix& out) const;
};
static_assert(sizeof(VQMatrix) == 64, "VQMatrix is 16 floats");

// out = a x b. out may be a or b.
void VQMatrix_Multiply(VQMatrix& out, const VQMatrix& a, const VQMatrix& b);
