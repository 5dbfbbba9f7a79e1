#include "Zentri/math/VQGeometry.h"

#include <bit>
#include <cmath>

namespace {

// Intermediate vectors stay in double; only results are rounded to float.
struct D3 {
  double x, y, z;
  D3() = default;
  D3(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
  explicit D3(const VQVector& v) : x(v.x), y(v.y), z(v.z) {}
  D3 operator+(const D3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  D3 operator-(const D3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  D3 operator*(double s) const { return {x * s, y * s, z * s}; }
  double Dot(const D3& o) const { return x * o.x + y * o.y + z * o.z; }
  D3 Cross(const D3& o) const {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }
  VQVector ToFloat() const { return VQVector(float(x), float(y), float(z)); }
};

struct D2 {
  double x, y;
  D2() = default;
  D2(double ax, double ay) : x(ax), y(ay) {}
  explicit D2(const VQVector2& v) : x(v.x), y(v.y) {}
  D2 operator+(const D2& o) const { return {x + o.x, y + o.y}; }
  D2 operator-(const D2& o) const { return {x - o.x, y - o.y}; }
  D2 operator*(double s) const { return {x * s, y * s}; }
  double Dot(const D2& o) const { return x * o.x + y * o.y; }
  VQVector2 ToFloat() const { return VQVector2(float(x), float(y)); }
};

// The foot of the perpendicular from p onto the plane n . x + d = 0.
D3 PlaneFoot(const D3& p, const D3& n, double d) { return p + n * (-d - n.Dot(p)); }

// Nearest point of segment s-e to p.
D3 NearestOnSegment(const D3& p, const D3& s, const D3& e) {
  const double d1 = (p - s).Dot(e - s);
  if (d1 <= 0.0) return s;
  const double d2 = (p - e).Dot(s - e);
  if (d2 <= 0.0) return e;
  return s + (e - s) * (d1 / (d1 + d2));
}

bool InUnit(double t) { return t >= 0.0 && t <= 1.0; }

}  // namespace

// ---------------------------------------------------------------- planes

VQVector& VQVector::ProjectOntoPlane(VQVector& out, const VQVector& n, float d) const {
  out = PlaneFoot(D3(*this), D3(n), d).ToFloat();
  return out;
}

VQVector& VQVector::MirrorInPlane(VQVector& out, const VQVector& n, float d) const {
  const D3 p(*this);
  const D3 f = PlaneFoot(p, D3(n), d);
  out = (f * 2.0 - p).ToFloat();
  return out;
}

float VQVector::PlaneDistanceSquared(const VQVector& n, float d) const {
  const D3 p(*this);
  const D3 v = PlaneFoot(p, D3(n), d) - p;
  return float(v.Dot(v));
}

float VQVector::PlaneDistance(const VQVector& n, float d) const {
  return float(std::sqrt(double(PlaneDistanceSquared(n, d))));
}

bool VQVector::SegmentPlaneIntersection(const VQVector& q, const VQVector& n, float d,
                                        VQVector& out) const {
  const D3 p(*this), nn(n);
  const D3 e = D3(q) - p;
  const double k = nn.Dot(e);
  if (k == 0.0) return false;
  const double t = -(nn.Dot(p) + d) / k;
  if (t < 0.0 || t > 1.0) return false;
  out = (p + e * t).ToFloat();
  return true;
}

// ---------------------------------------------------------------- triangles

bool VQVector::IsInTriangle(const VQVector& a, const VQVector& b, const VQVector& c,
                            const VQVector* normal) const {
  const D3 p(*this), da(a), db(b), dc(c);
  const D3 n = normal ? D3(*normal) : (db - da).Cross(dc - da);
  // With a zero normal every edge test below would pass for any point in space.
  if (n.x == 0.0 && n.y == 0.0 && n.z == 0.0) return false;
  const D3* corners[3] = {&da, &db, &dc};
  for (int i = 0; i < 3; ++i) {
    const D3& s = *corners[i];
    const D3& e = *corners[(i + 1) % 3];
    if ((p - s).Dot((e - s).Cross(n)) > 0.0) return false;
  }
  return true;
}

VQVector& VQVector::ClosestPointOnTriangleEdges(VQVector& out, const VQVector& a,
                                                const VQVector& b, const VQVector& c) const {
  const D3 p(*this), da(a), db(b), dc(c);
  const D3* corners[3] = {&da, &db, &dc};
  D3 best = da;
  double bestDist = 0.0;
  for (int i = 0; i < 3; ++i) {
    const D3 q = NearestOnSegment(p, *corners[i], *corners[(i + 1) % 3]);
    const D3 v = q - p;
    const double dist = v.Dot(v);
    if (i == 0 || dist < bestDist) {
      best = q;
      bestDist = dist;
    }
  }
  out = best.ToFloat();
  return out;
}

bool VQmath_LinePlaneIntersection(const VQVector& p0, const VQVector& p1, const VQVector& a,
                                  const VQVector& b, const VQVector& c, VQVector& out) {
  if (p0 == p1 || a == b || b == c || a == c) return false;
  const D3 db(b);
  const D3 n = (D3(a) - db).Cross(D3(c) - db);
  const D3 s(p0);
  const D3 u = D3(p1) - s;
  const double k = n.Dot(u);
  if (k == 0.0) return false;
  const double t = n.Dot(db - s) / k;
  out = (s + u * t).ToFloat();
  return true;
}

bool VQmath_LinePlaneIntersection(const VQVector& p0, const VQVector& p1, const float a[3],
                                  const float b[3], const float c[3], VQVector& out) {
  return VQmath_LinePlaneIntersection(p0, p1, VQVector(a[0], a[1], a[2]),
                                      VQVector(b[0], b[1], b[2]), VQVector(c[0], c[1], c[2]),
                                      out);
}

// ---------------------------------------------------------------- spheres and boxes

float VQmath_RaySphereDistance(const VQVector& centre, float radius, const VQVector& o,
                               const VQVector& u) {
  const D3 l = D3(centre) - D3(o);
  const double m = l.Dot(D3(u));
  const double r = radius;
  const double q = r * r - (l.Dot(l) - m * m);
  if (q < 0.0) return -1.0f;
  return float(m - std::sqrt(q));
}

void VQmath_PointsBoundingBox(const VQVector* points, int count, VQVector& min, VQVector& max) {
  if (count <= 0) {
    min.Set(0.0f, 0.0f, 0.0f);
    max.Set(0.0f, 0.0f, 0.0f);
    return;
  }
  VQVector lo = points[0], hi = points[0];
  for (int i = 1; i < count; ++i) {
    const VQVector& p = points[i];
    if (p.x < lo.x) lo.x = p.x;
    if (p.y < lo.y) lo.y = p.y;
    if (p.z < lo.z) lo.z = p.z;
    if (p.x > hi.x) hi.x = p.x;
    if (p.y > hi.y) hi.y = p.y;
    if (p.z > hi.z) hi.z = p.z;
  }
  min = lo;
  max = hi;
}

void VQmath_SpheresBoundingBox(const VQVector* centres, const float* radii, int count,
                               VQVector& min, VQVector& max) {
  if (count <= 0) {
    min.Set(0.0f, 0.0f, 0.0f);
    max.Set(0.0f, 0.0f, 0.0f);
    return;
  }
  double lo[3], hi[3];
  for (int i = 0; i < count; ++i) {
    const double r = radii[i];
    const double c[3] = {centres[i].x, centres[i].y, centres[i].z};
    for (int k = 0; k < 3; ++k) {
      if (i == 0 || c[k] - r < lo[k]) lo[k] = c[k] - r;
      if (i == 0 || c[k] + r > hi[k]) hi[k] = c[k] + r;
    }
  }
  min.Set(float(lo[0]), float(lo[1]), float(lo[2]));
  max.Set(float(hi[0]), float(hi[1]), float(hi[2]));
}

void VQmath_SpheresBoundingSphere(const VQVector* centres, const float* radii, int count,
                                  VQVector& centre, float& radius) {
  VQVector lo, hi;
  VQmath_SpheresBoundingBox(centres, radii, count, lo, hi);
  const D3 dlo(lo);
  const D3 h = (D3(hi) - dlo) * 0.5;
  centre = (dlo + h).ToFloat();
  radius = float(std::sqrt(h.Dot(h)));
}

VQVector& VQmath_BezierPoint(VQVector& out, float t, const VQVector& p0, const VQVector& p1,
                             const VQVector& p2, const VQVector& p3) {
  const double s = t, u = 1.0 - s;
  const double w0 = u * u * u, w1 = 3.0 * s * u * u, w2 = 3.0 * s * s * u, w3 = s * s * s;
  out = (D3(p0) * w0 + D3(p1) * w1 + D3(p2) * w2 + D3(p3) * w3).ToFloat();
  return out;
}

// ---------------------------------------------------------------- 2D

bool VQmath_IsOnPositiveSide2D(const VQVector2& p, const VQVector2& a, const VQVector2& b) {
  return (double(a.y) - b.y) * (double(p.x) - a.x) + (double(p.y) - a.y) * (double(b.x) - a.x) >=
         0.0;
}

bool VQmath_SegmentsCross2D(const VQVector2& a0, const VQVector2& a1, const VQVector2& b0,
                            const VQVector2& b1) {
  return VQmath_IsOnPositiveSide2D(a0, b0, b1) != VQmath_IsOnPositiveSide2D(a1, b0, b1) &&
         VQmath_IsOnPositiveSide2D(b0, a0, a1) != VQmath_IsOnPositiveSide2D(b1, a0, a1);
}

bool VQmath_SegmentIntersection2D(const VQVector2& a0, const VQVector2& a1, const VQVector2& b0,
                                  const VQVector2& b1, VQVector2& out) {
  if (!VQmath_SegmentsCross2D(a0, a1, b0, b1)) return false;
  const D2 da0(a0), db0(b0);
  const D2 d1 = D2(a1) - da0, d2 = D2(b1) - db0;
  const double k = d2.y * d1.x - d2.x * d1.y;
  if (std::fabs(k) < 1e-5) return false;
  const double s = (d1.y * (db0.x - da0.x) - d1.x * (db0.y - da0.y)) / k;
  out = (db0 + d2 * s).ToFloat();
  return true;
}

bool VQmath_SegmentCircleIntersection2D(const VQVector2& p0, const VQVector2& p1,
                                        const VQVector2& centre, float radius, VQVector2& first,
                                        VQVector2& second) {
  const D2 s(p0), c(centre);
  const D2 d = D2(p1) - s;
  const double len2 = d.Dot(d);
  if (len2 < 0.0001) return false;
  const double r2 = double(radius) * radius;
  const D2 foot = s + d * ((c - s).Dot(d) / len2);
  const D2 off = foot - c;
  if (off.Dot(off) > r2) return false;
  const D2 sc = s - c;
  const double b = 2.0 * d.Dot(sc);
  const double k = sc.Dot(sc) - r2;
  const double disc = b * b - 4.0 * len2 * k;
  if (disc < 0.0) return false;
  if (disc == 0.0) {
    const double t = -b / (2.0 * len2);
    if (!InUnit(t)) return false;
    first = second = (s + d * t).ToFloat();
    return true;
  }
  const double root = std::sqrt(disc);
  const double t1 = (-b - root) / (2.0 * len2);
  const double t2 = (root - b) / (2.0 * len2);
  if (InUnit(t1)) {
    first = (s + d * t1).ToFloat();
    second = InUnit(t2) ? (s + d * t2).ToFloat() : first;
    return true;
  }
  if (InUnit(t2)) {
    first = second = (s + d * t2).ToFloat();
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- integers

bool VQmath_IsPowerOfTwo(uint32_t x) { return x != 0 && x == (x & (0u - x)); }

uint32_t VQmath_NextPowerOfTwo(uint32_t x) {
  if (x == 0) return 1;
  if (VQmath_IsPowerOfTwo(x)) return x;
  x |= x >> 1;
  x |= x >> 2;
  x |= x >> 4;
  x |= x >> 8;
  x |= x >> 16;
  return x + 1;  // wraps to 0 above 2^31: no 32-bit power of two is large enough
}

int VQmath_Log2(int x) {
  if (x <= 0) return -1;
  return int(std::bit_width(uint32_t(x))) - 1;
}
