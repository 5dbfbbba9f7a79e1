// VQQuaternion: an orientation (x, y, z, w), vector part first, for orientations that are
// interpolated (replays, cameras, network cars). A new quaternion is the identity (0, 0, 0, 1).
// Converts to and from the 3x3 part of a VQMatrix (VQMatrix::SetRotationFromQuaternion and
// FromMatrix). Computes in double precision, stores floats.
#pragma once

class VQMatrix;

class VQQuaternion {
 public:
  float x, y, z, w;

  VQQuaternion() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
  VQQuaternion(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}

  // this = the rotation of the matrix's 3x3 part, normalised. The sign is not fixed: a
  // round trip through SetRotationFromQuaternion gives q or -q. Returns this.
  VQQuaternion& FromMatrix(const VQMatrix& m);
  // Divides by the length; left unchanged when the squared length is 0 or less.
  void Normalize();
  // this = interpolation from a (t = 0) to b (t = 1) on the shorter arc; linear blend when
  // the two are within 1e-6 of each other (1 - cos). Not normalised afterwards. a or b may be
  // this.
  void Slerp(const VQQuaternion& a, const VQQuaternion& b, float t);
};
static_assert(sizeof(VQQuaternion) == 16, "VQQuaternion is four floats");
