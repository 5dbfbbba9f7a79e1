#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "Zentri/math/VQGeometry.h"
#include "math_test_util.h"

namespace {

const VQVector kA(0, 0, 0), kB(1, 0, 0), kC(0, 1, 0);  // unit right triangle, normal +z

}  // namespace

TEST(Plane, ProjectMirrorAndDistance) {
  struct Case {
    VQVector p, n;
    float d;
    VQVector foot, mirror;
    float dist;
  } cases[] = {
      // plane z = 2
      {{1, 2, 5}, {0, 0, 1}, -2, {1, 2, 2}, {1, 2, -1}, 3},
      {{1, 2, -1}, {0, 0, 1}, -2, {1, 2, 2}, {1, 2, 5}, 3},
      // point on the plane
      {{7, -3, 2}, {0, 0, 1}, -2, {7, -3, 2}, {7, -3, 2}, 0},
      // plane x + y = sqrt 2 (through (1,1,0)/sqrt2 ... ), normal (1,1,0)/sqrt 2
      {{0, 0, 4}, {0.70710678f, 0.70710678f, 0}, -1, {0.70710678f, 0.70710678f, 4},
       {1.41421356f, 1.41421356f, 4}, 1},
  };
  for (const Case& c : cases) {
    VQVector out;
    EXPECT_EQ(&c.p.ProjectOntoPlane(out, c.n, c.d), &out);
    ExpectVecNear(out, c.foot, 1e-6f);
    c.p.MirrorInPlane(out, c.n, c.d);
    ExpectVecNear(out, c.mirror, 1e-6f);
    EXPECT_NEAR(c.p.PlaneDistance(c.n, c.d), c.dist, 1e-6f);
    EXPECT_NEAR(c.p.PlaneDistanceSquared(c.n, c.d), c.dist * c.dist, 1e-6f);
  }
}

TEST(Plane, SegmentCrossing) {
  const VQVector up(0, 0, 1);
  struct Case {
    VQVector p, q;
    bool hit;
    VQVector at;
  } cases[] = {
      {{1, 1, -1}, {1, 1, 3}, true, {1, 1, 0}},    // crosses z = 0 a quarter of the way
      {{0, 0, 1}, {0, 0, -1}, true, {0, 0, 0}},    // from above
      {{0, 0, 0}, {0, 0, 5}, true, {0, 0, 0}},     // starts on the plane (t = 0)
      {{2, 0, 5}, {2, 0, 0}, true, {2, 0, 0}},     // ends on the plane (t = 1)
      {{0, 0, 1}, {0, 0, 2}, false, {}},           // plane behind (t < 0)
      {{0, 0, 3}, {0, 0, 1}, false, {}},           // does not reach it (t > 1)
      {{0, 0, 1}, {5, 5, 1}, false, {}},           // parallel
  };
  for (const Case& c : cases) {
    VQVector out(9, 9, 9);
    ASSERT_EQ(c.p.SegmentPlaneIntersection(c.q, up, 0.0f, out), c.hit) << c.p.z << " " << c.q.z;
    if (c.hit) {
      ExpectVecNear(out, c.at, 1e-6f);
    } else {
      EXPECT_EQ(out, VQVector(9, 9, 9));
    }
  }
}

TEST(Triangle, IsInTriangleIsAPrismTest) {
  const VQVector up(0, 0, 1);
  struct Case {
    VQVector p;
    bool want;
  } cases[] = {
      {{0.2f, 0.2f, 0}, true},    {{0, 0, 0}, true},        // inside; corner a
      {{1, 0, 0}, true},          {{0.5f, 0.5f, 0}, true},  // corner b; on edge b-c
      {{0.5f, 0, 0}, true},       {{0.2f, 0.2f, 100}, true},  // on edge a-b; far above
      {{0.2f, 0.2f, -50}, true},  {{0.6f, 0.6f, 0}, false},   // far below; past b-c
      {{-0.1f, 0.5f, 0}, false},  {{0.5f, -0.1f, 3}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.p.IsInTriangle(kA, kB, kC), c.want) << c.p.x << " " << c.p.y << " " << c.p.z;
    EXPECT_EQ(c.p.IsInTriangle(kA, kB, kC, &up), c.want) << "with normal";
    // The other winding without a normal computes the opposite normal and agrees.
    EXPECT_EQ(c.p.IsInTriangle(kA, kC, kB), c.want) << "reversed";
  }
}

TEST(Triangle, DegenerateTriangleContainsNothing) {
  const VQVector a(0, 0, 0), b(1, 1, 1), c(2, 2, 2), far(50, -20, 7);
  EXPECT_FALSE(far.IsInTriangle(a, b, c));
  EXPECT_FALSE(far.IsInTriangle(a, a, a));
  const VQVector zero(0, 0, 0);
  EXPECT_FALSE(far.IsInTriangle(kA, kB, kC, &zero));
}

TEST(Triangle, ClosestPointOnEdges) {
  const VQVector b2(2, 0, 0), c2(0, 2, 0);
  struct Case {
    VQVector a, b, c, p, want;
  } cases[] = {
      {kA, kB, kC, {1, 1, 0}, {0.5f, 0.5f, 0}},     // edge b-c
      {kA, kB, kC, {0, 2, 0}, {0, 1, 0}},           // b-c and c-a tie at corner c
      {kA, kB, kC, {0.1f, 0.3f, 0}, {0, 0.3f, 0}},  // inside: nearest edge c-a, not the inside
      {kA, kB, kC, {3, -1, 0}, {1, 0, 0}},          // beyond corner b
      {kA, kB, kC, {0.5f, 0.2f, 9}, {0.5f, 0, 0}},  // above the plane
      // a-b and c-a at the same distance with different points: a-b comes first
      {kA, b2, c2, {0.5f, 0.5f, 0}, {0.5f, 0, 0}},
  };
  for (const Case& c : cases) {
    VQVector out;
    EXPECT_EQ(&c.p.ClosestPointOnTriangleEdges(out, c.a, c.b, c.c), &out);
    ExpectVecNear(out, c.want, 1e-6f);
  }
}

TEST(Triangle, LinePlaneIntersection) {
  const VQVector a(0, 0, 2), b(1, 0, 2), c(0, 1, 2);  // plane z = 2
  struct Case {
    VQVector p0, p1, ta, tb, tc;
    bool hit;
    VQVector at;
  } cases[] = {
      {{0, 0, 0}, {0, 0, 4}, a, b, c, true, {0, 0, 2}},
      {{1, 1, 0}, {2, 3, 1}, a, b, c, true, {3, 5, 2}},  // beyond p1: the line is unbounded
      {{5, 5, 5}, {5, 5, 5}, a, b, c, false, {}},         // p0 = p1
      {{0, 0, 0}, {0, 0, 1}, a, a, c, false, {}},         // a = b
      {{0, 0, 0}, {0, 0, 1}, a, b, b, false, {}},         // b = c
      {{0, 0, 0}, {0, 0, 1}, c, b, c, false, {}},         // a = c
      {{0, 0, 0}, {1, 0, 0}, a, b, c, false, {}},         // parallel
      {{0, 0, 0}, {0, 0, 1}, {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, false, {}},  // collinear corners
  };
  for (const Case& c : cases) {
    VQVector out(9, 9, 9);
    ASSERT_EQ(VQmath_LinePlaneIntersection(c.p0, c.p1, c.ta, c.tb, c.tc, out), c.hit);
    const float fa[3] = {c.ta.x, c.ta.y, c.ta.z}, fb[3] = {c.tb.x, c.tb.y, c.tb.z},
                fc[3] = {c.tc.x, c.tc.y, c.tc.z};
    VQVector out2(9, 9, 9);
    ASSERT_EQ(VQmath_LinePlaneIntersection(c.p0, c.p1, fa, fb, fc, out2), c.hit);
    EXPECT_EQ(out, out2);
    if (c.hit) ExpectVecNear(out, c.at, 1e-6f);
  }
}

TEST(Sphere, RaySphereDistance) {
  const VQVector z(0, 0, 1);
  struct Case {
    VQVector centre;
    float r;
    VQVector o, u;
    float want;
  } cases[] = {
      {{0, 0, 10}, 2, {0, 0, 0}, z, 8},                // hit from outside
      {{3, 0, 10}, 2, {0, 0, 0}, z, -1},               // misses
      {{0, 0, 10}, 2, {0, 0, 8}, z, 0},                // origin on the surface, inward
      {{0, 0, 10}, 2, {0, 0, 10}, z, -2},              // origin at the centre
      {{0, 0, -10}, 2, {0, 0, 0}, z, -12},             // sphere behind the origin
      {{1, 0, 10}, 1, {0, 0, 0}, z, 10},               // grazing
      {{0, 0, 0}, 5, {3, -10, 0}, {0, 1, 0}, 6},       // off-axis hit: enters at y = -4
  };
  for (const Case& c : cases)
    EXPECT_NEAR(VQmath_RaySphereDistance(c.centre, c.r, c.o, c.u), c.want, 1e-5f) << c.centre.x;
}

TEST(Bounds, PointsBoundingBox) {
  const VQVector one[] = {{1, -2, 3}};
  VQVector lo(9, 9, 9), hi(9, 9, 9);
  VQmath_PointsBoundingBox(one, 1, lo, hi);
  EXPECT_EQ(lo, one[0]);
  EXPECT_EQ(hi, one[0]);

  const VQVector pts[] = {{1, -2, 3}, {-4, 5, 0}, {2, 2, -7}};
  VQmath_PointsBoundingBox(pts, 3, lo, hi);
  EXPECT_EQ(lo, VQVector(-4, -2, -7));
  EXPECT_EQ(hi, VQVector(2, 5, 3));

  VQmath_PointsBoundingBox(nullptr, 0, lo, hi);
  EXPECT_EQ(lo, VQVector(0, 0, 0));
  EXPECT_EQ(hi, VQVector(0, 0, 0));
}

TEST(Bounds, SpheresBoxAndEnclosingSphere) {
  const VQVector centres[] = {{0, 0, 0}, {10, 2, -1}};
  const float radii[] = {1, 3};
  VQVector lo, hi;
  VQmath_SpheresBoundingBox(centres, radii, 2, lo, hi);
  EXPECT_EQ(lo, VQVector(-1, -1, -4));
  EXPECT_EQ(hi, VQVector(13, 5, 2));

  VQVector c;
  float r = -5;
  VQmath_SpheresBoundingSphere(centres, radii, 2, c, r);
  EXPECT_EQ(c, VQVector(6, 2, -1));
  EXPECT_NEAR(r, std::sqrt(7.0 * 7 + 3 * 3 + 3 * 3), 1e-5);  // half the box diagonal

  VQmath_SpheresBoundingBox(nullptr, nullptr, 0, lo, hi);
  EXPECT_EQ(lo, VQVector(0, 0, 0));
  EXPECT_EQ(hi, VQVector(0, 0, 0));
  VQmath_SpheresBoundingSphere(nullptr, nullptr, 0, c, r);
  EXPECT_EQ(c, VQVector(0, 0, 0));
  EXPECT_EQ(r, 0.0f);
}

TEST(Curve, BezierPoint) {
  const VQVector p0(0, 0, 0), p1(1, 2, 0), p2(3, 2, 4), p3(4, 0, 8);
  struct Case {
    float t;
    VQVector want;
  } cases[] = {
      {0.0f, p0},
      {1.0f, p3},
      {0.5f, {(0 + 3 * 1 + 3 * 3 + 4) / 8.0f, (0 + 6 + 6 + 0) / 8.0f, (0 + 0 + 12 + 8) / 8.0f}},
      {0.25f, {27 / 64.0f * 0 + 27 / 64.0f * 1 + 9 / 64.0f * 3 + 1 / 64.0f * 4,
               27 / 64.0f * 2 + 9 / 64.0f * 2, 9 / 64.0f * 4 + 1 / 64.0f * 8}},
  };
  for (const Case& c : cases) {
    VQVector out;
    EXPECT_EQ(&VQmath_BezierPoint(out, c.t, p0, p1, p2, p3), &out);
    ExpectVecNear(out, c.want, 1e-6f);
  }
}

TEST(Lines2D, SideAndCrossing) {
  const VQVector2 a(0, 0), b(2, 0);
  EXPECT_TRUE(VQmath_IsOnPositiveSide2D(VQVector2(1, 1), a, b));    // left of a->b
  EXPECT_TRUE(VQmath_IsOnPositiveSide2D(VQVector2(5, 0), a, b));    // on the line
  EXPECT_FALSE(VQmath_IsOnPositiveSide2D(VQVector2(1, -1), a, b));  // right

  struct Case {
    VQVector2 a0, a1, b0, b1;
    bool cross;
    VQVector2 at;
  } cases[] = {
      {{0, 0}, {2, 2}, {0, 2}, {2, 0}, true, {1, 1}},
      {{-1, 0}, {3, 0}, {0, -1}, {0, 3}, true, {0, 0}},
      {{0, 0}, {4, 0}, {1, -1}, {3, 1}, true, {2, 0}},
      {{0, 0}, {2, 0}, {0, 1}, {2, 1}, false, {}},     // parallel
      {{0, 0}, {2, 0}, {1, 0}, {3, 0}, false, {}},     // on one line, overlapping
      {{0, 0}, {1, 1}, {2, 0}, {3, -5}, false, {}},    // apart
      {{0, 0}, {2, 0}, {1, 1}, {1, 3}, false, {}},     // b wholly on one side
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VQmath_SegmentsCross2D(c.a0, c.a1, c.b0, c.b1), c.cross);
    VQVector2 out(9, 9);
    ASSERT_EQ(VQmath_SegmentIntersection2D(c.a0, c.a1, c.b0, c.b1, out), c.cross);
    if (c.cross) {
      EXPECT_NEAR(out.x, c.at.x, 1e-6f);
      EXPECT_NEAR(out.y, c.at.y, 1e-6f);
    } else {
      EXPECT_EQ(out, VQVector2(9, 9));
    }
  }
}

TEST(Lines2D, SegmentCircle) {
  const VQVector2 centre(0, 0);
  struct Case {
    VQVector2 p0, p1;
    float r;
    bool hit;
    VQVector2 first, second;
  } cases[] = {
      {{-5, 0}, {5, 0}, 2, true, {-2, 0}, {2, 0}},      // through: two points, nearer first
      {{-5, 0}, {0, 0}, 2, true, {-2, 0}, {-2, 0}},     // ends inside: one point twice
      {{0, 0}, {5, 0}, 2, true, {2, 0}, {2, 0}},        // starts inside: the exit twice
      {{-5, 3}, {5, 3}, 2, false, {}, {}},              // misses
      {{-1, 0}, {1, 0}, 2, false, {}, {}},              // wholly inside
      {{-5, 0}, {-3, 0}, 2, false, {}, {}},             // stops short
      {{-5, 2}, {5, 2}, 2, true, {0, 2}, {0, 2}},       // tangent
      {{0, 0}, {0.005f, 0}, 2, false, {}, {}},          // shorter than 0.01: never meets
      {{1.999f, 0}, {2.005f, 0}, 2, false, {}, {}},     // short and across the rim
  };
  for (const Case& c : cases) {
    VQVector2 first(9, 9), second(9, 9);
    ASSERT_EQ(VQmath_SegmentCircleIntersection2D(c.p0, c.p1, centre, c.r, first, second), c.hit)
        << c.p0.x << "," << c.p0.y << " " << c.p1.x << "," << c.p1.y;
    if (!c.hit) continue;
    EXPECT_NEAR(first.x, c.first.x, 1e-5f);
    EXPECT_NEAR(first.y, c.first.y, 1e-5f);
    EXPECT_NEAR(second.x, c.second.x, 1e-5f);
    EXPECT_NEAR(second.y, c.second.y, 1e-5f);
  }
}

TEST(Integers, PowersOfTwo) {
  struct Case {
    uint32_t x;
    bool pow2;
    uint32_t next;
  } cases[] = {
      {0, false, 1},          {1, true, 1},          {2, true, 2},
      {3, false, 4},          {33, false, 64},       {64, true, 64},
      {65, false, 128},       {1000, false, 1024},   {0x80000000u, true, 0x80000000u},
      {0x40000001u, false, 0x80000000u},             {0x80000001u, false, 0},
      {0xFFFFFFFFu, false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VQmath_IsPowerOfTwo(c.x), c.pow2) << c.x;
    EXPECT_EQ(VQmath_NextPowerOfTwo(c.x), c.next) << c.x;
  }
}

TEST(Integers, Log2CutsTowardZero) {
  struct Case {
    int x, want;
  } cases[] = {
      {1, 0},    {2, 1},      {3, 1},      {100, 6},      {1023, 9},  {1024, 10},
      {65535, 15}, {65536, 16}, {65537, 16}, {131072, 17}, {INT_MAX, 30},
      {0, -1},   {-8, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(VQmath_Log2(c.x), c.want) << c.x;
}
