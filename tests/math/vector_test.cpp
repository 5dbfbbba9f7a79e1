#include <gtest/gtest.h>

#include "Zentri/math/VQColor.h"
#include "Zentri/math/VQVector.h"

namespace {

void ExpectVec(const VQVector& v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

}  // namespace

TEST(Vector, ArithmeticOperators) {
  const VQVector a(1, 2, 3), b(4, -5, 6);
  ExpectVec(a + b, 5, -3, 9, 0);
  ExpectVec(a - b, -3, 7, -3, 0);
  ExpectVec(-a, -1, -2, -3, 0);
  ExpectVec(a * 2.0f, 2, 4, 6, 0);
  ExpectVec(2.0f * a, 2, 4, 6, 0);

  VQVector c = a;
  VQVector& r1 = (c += b);
  EXPECT_EQ(&r1, &c);
  ExpectVec(c, 5, -3, 9, 0);
  VQVector& r2 = (c -= b);
  EXPECT_EQ(&r2, &c);
  EXPECT_EQ(c, a);
}

TEST(Vector, DotAndLengthComputeInDouble) {
  // In float arithmetic 1e8 + 1 rounds back to 1e8 and the sum comes out 0.
  const VQVector big(1e8f, 1.0f, -1e8f), ones(1, 1, 1);
  EXPECT_EQ(big.Dot(ones), 1.0f);
  EXPECT_EQ(VQVector(2, 3, 6).LengthSquared(), 49.0f);
  EXPECT_EQ(VQVector(2, 3, 6).Length(), 7.0f);
}

TEST(Vector, CrossIsRightHanded) {
  struct Case {
    VQVector a, b, want;
  } cases[] = {
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
      {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
      {{1, 2, 3}, {4, 5, 6}, {-3, 6, -3}},
  };
  for (const Case& c : cases) {
    VQVector out;
    EXPECT_EQ(&c.a.Cross(c.b, out), &out);
    EXPECT_EQ(out, c.want);
    VQVector set;
    set.SetCross(c.a, c.b);
    EXPECT_EQ(set, c.want);
  }
}

TEST(Vector, SetCrossWithItselfAsOperand) {
  VQVector v(1, 0, 0);
  v.SetCross(v, VQVector(0, 1, 0));
  EXPECT_EQ(v, VQVector(0, 0, 1));

  VQVector w(0, 1, 0);
  w.SetCross(VQVector(1, 0, 0), w);
  EXPECT_EQ(w, VQVector(0, 0, 1));

  VQVector u(1, 2, 3);
  u.Cross(VQVector(4, 5, 6), u);
  EXPECT_EQ(u, VQVector(-3, 6, -3));
}

TEST(Vector, Normalize) {
  struct Case {
    VQVector in, want;
  } cases[] = {
      {{0, 0, 0}, {0, 0, 0}},
      {{3, 0, 4}, {0.6f, 0, 0.8f}},
      {{0, -2, 0}, {0, -1, 0}},
      {{1e-30f, 0, 0}, {1, 0, 0}},  // tiny but not zero: still scaled up
  };
  for (const Case& c : cases) {
    VQVector v = c.in;
    v.Normalize();
    ExpectVec(v, c.want.x, c.want.y, c.want.z);
  }
}

TEST(Vector, IsSmallerThanExcludesTheBound) {
  struct Case {
    VQVector v;
    float bound;
    bool want;
  } cases[] = {
      {{0.5f, -0.99f, 0}, 1.0f, true},  {{0.5f, -1.0f, 0}, 1.0f, false},
      {{1.0f, 0, 0}, 1.0f, false},      {{0, 0, -1.5f}, 1.0f, false},
      {{0, 0, 0}, 0.0f, false},         {{0, 0, 0}, 1e-9f, true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.v.IsSmallerThan(c.bound), c.want) << c.v.x << "," << c.v.y;
}

TEST(Vector2, NormalizeAndCopy) {
  VQVector2 zero(0, 0);
  zero.Normalize();
  EXPECT_EQ(zero, VQVector2(0, 0));

  VQVector2 v(3, 4);
  v.Normalize();
  EXPECT_NEAR(v.x, 0.6f, 1e-7f);
  EXPECT_NEAR(v.y, 0.8f, 1e-7f);

  VQVector2 copy(v);
  EXPECT_EQ(copy, v);
  VQVector2 assigned(9, 9);
  VQVector2& r = (assigned = v);
  EXPECT_EQ(&r, &assigned);
  EXPECT_EQ(assigned, v);
}

TEST(Color, SetAndExactEquality) {
  VQColor c;
  VQColor& r = VQColor_Set(c, 0.25f, 0.5f, 0.75f, 0.5f);
  EXPECT_EQ(&r, &c);
  EXPECT_EQ(c, VQColor(0.25f, 0.5f, 0.75f, 0.5f));

  VQColor d = c;
  d.a = 0.5f + 1e-7f;  // differs by one float step only
  ASSERT_NE(d.a, c.a);
  EXPECT_FALSE(c == d);
  EXPECT_TRUE(c != d);

  // Nothing clamps the components.
  VQColor_Set(c, 2.0f, -1.0f, 0.0f, 1.0f);
  EXPECT_EQ(c.r, 2.0f);
  EXPECT_EQ(c.g, -1.0f);
}
