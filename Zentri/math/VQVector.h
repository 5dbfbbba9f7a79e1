// The engine's small vector types: VQVector, a point or direction in 3D (x and y span the
// ground plane, z points up), and VQVector2, a point or direction in the plane for the track
// and driving geometry. Plain values: no virtual operations, no heap, copied member by member.
//
// Every operation computes in double precision and stores each result component as a 32-bit
// float. Scene files, the terrain tree and the race code depend on that exact rounding, so new
// operations must follow the same rule (widen, compute, narrow once at the end).
//
// The plane, triangle and segment queries declared here are defined with the other geometry
// queries in VQGeometry.cpp.
#pragma once

#include <cmath>

class VQVector {
 public:
  float x, y, z;

  // Leaves the components unset, so arrays of vectors cost nothing to create.
  VQVector() = default;
  VQVector(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
  VQVector(const VQVector&) = default;
  VQVector& operator=(const VQVector&) = default;

  void Set(float ax, float ay, float az) {
    x = ax;
    y = ay;
    z = az;
  }

  VQVector operator+(const VQVector& o) const {
    return VQVector(float(double(x) + double(o.x)), float(double(y) + double(o.y)),
                    float(double(z) + double(o.z)));
  }
  VQVector operator-(const VQVector& o) const {
    return VQVector(float(double(x) - double(o.x)), float(double(y) - double(o.y)),
                    float(double(z) - double(o.z)));
  }
  VQVector operator-() const { return VQVector(-x, -y, -z); }
  VQVector operator*(float s) const {
    return VQVector(float(double(s) * x), float(double(s) * y), float(double(s) * z));
  }
  VQVector& operator+=(const VQVector& o) {
    *this = *this + o;
    return *this;
  }
  VQVector& operator-=(const VQVector& o) {
    *this = *this - o;
    return *this;
  }
  // Exact component comparison, no tolerance.
  bool operator==(const VQVector& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const VQVector& o) const { return !(*this == o); }

  float Dot(const VQVector& o) const {
    return float(double(x) * o.x + double(y) * o.y + double(z) * o.z);
  }
  // out = this x o (right-handed); out may be this or o. Returns out.
  VQVector& Cross(const VQVector& o, VQVector& out) const {
    out.SetCross(*this, o);
    return out;
  }
  // this = a x b; a or b may be this itself.
  void SetCross(const VQVector& a, const VQVector& b) {
    const double cx = double(a.y) * b.z - double(a.z) * b.y;
    const double cy = double(a.z) * b.x - double(a.x) * b.z;
    const double cz = double(a.x) * b.y - double(a.y) * b.x;
    x = float(cx);
    y = float(cy);
    z = float(cz);
  }
  float LengthSquared() const { return float(double(x) * x + double(y) * y + double(z) * z); }
  float Length() const { return float(std::sqrt(double(LengthSquared()))); }
  // Divides by the length; a vector of length exactly 0 is left as it is.
  void Normalize() {
    const double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (len == 0.0) return;
    x = float(x / len);
    y = float(y / len);
    z = float(z / len);
  }
  // True when |x|, |y| and |z| are each strictly below the bound.
  bool IsSmallerThan(float bound) const {
    return std::fabs(x) < bound && std::fabs(y) < bound && std::fabs(z) < bound;
  }

  // --- Planes: n . p + d = 0; n should have length 1 where a distance is measured. ---
  // out = the foot of the perpendicular from this point onto the plane. Returns out.
  VQVector& ProjectOntoPlane(VQVector& out, const VQVector& n, float d) const;
  // out = this point mirrored in the plane. Returns out.
  VQVector& MirrorInPlane(VQVector& out, const VQVector& n, float d) const;
  float PlaneDistanceSquared(const VQVector& n, float d) const;
  float PlaneDistance(const VQVector& n, float d) const;
  // The segment from this point to q against the plane: false when the segment is parallel
  // (n . (q - p) exactly 0) or does not reach the plane; else out = the crossing point.
  bool SegmentPlaneIntersection(const VQVector& q, const VQVector& n, float d, VQVector& out) const;

  // --- Triangles. ---
  // Prism test: true when this point lies on the inner side of all three edge planes of the
  // triangle (edges and corners count as inside), whatever its distance from the triangle's
  // plane. normal may be null: then (b - a) x (c - a) is used. A zero normal (a degenerate
  // triangle) contains no point.
  bool IsInTriangle(const VQVector& a, const VQVector& b, const VQVector& c,
                    const VQVector* normal = nullptr) const;
  // out = the nearest point to this point on the three edges (never the inside); on equal
  // distances the earlier edge of a-b, b-c, c-a wins. Returns out.
  VQVector& ClosestPointOnTriangleEdges(VQVector& out, const VQVector& a, const VQVector& b,
                                        const VQVector& c) const;
};
static_assert(sizeof(VQVector) == 12, "VQVector is three floats");

inline VQVector operator*(float s, const VQVector& v) { return v * s; }

class VQVector2 {
 public:
  float x, y;

  VQVector2() = default;
  VQVector2(float ax, float ay) : x(ax), y(ay) {}
  VQVector2(const VQVector2&) = default;
  VQVector2& operator=(const VQVector2&) = default;

  void Set(float ax, float ay) {
    x = ax;
    y = ay;
  }
  VQVector2 operator+(const VQVector2& o) const {
    return VQVector2(float(double(x) + double(o.x)), float(double(y) + double(o.y)));
  }
  VQVector2 operator-(const VQVector2& o) const {
    return VQVector2(float(double(x) - double(o.x)), float(double(y) - double(o.y)));
  }
  VQVector2 operator*(float s) const { return VQVector2(float(double(s) * x), float(double(s) * y)); }
  bool operator==(const VQVector2& o) const { return x == o.x && y == o.y; }
  bool operator!=(const VQVector2& o) const { return !(*this == o); }
  float Dot(const VQVector2& o) const { return float(double(x) * o.x + double(y) * o.y); }
  float Length() const { return float(std::sqrt(double(x) * x + double(y) * y)); }
  // Divides by the length; a vector of length exactly 0 is left as it is.
  void Normalize() {
    const double len = std::sqrt(double(x) * x + double(y) * y);
    if (len == 0.0) return;
    x = float(x / len);
    y = float(y / len);
  }
};
static_assert(sizeof(VQVector2) == 8, "VQVector2 is two floats");
