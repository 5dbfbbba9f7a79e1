#include <gtest/gtest.h>

#include <cmath>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQQuaternion.h"
#include "math_test_util.h"

namespace {

VQMatrix FromRows(std::initializer_list<float> e) {
  VQMatrix m;
  int i = 0;
  for (float v : e) m.m[i++] = v;
  return m;
}

VQMatrix Rx(double a) {
  const float c = float(std::cos(a)), s = float(std::sin(a));
  return FromRows({1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1});
}
VQMatrix Ry(double a) {
  const float c = float(std::cos(a)), s = float(std::sin(a));
  return FromRows({c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
}

// A rigid matrix from angles and a translation.
VQMatrix Rigid(float ax, float ay, float az, float tx, float ty, float tz) {
  VQMatrix m;
  m.MakeRotation(ax, ay, az);
  m.SetTranslation(tx, ty, tz);
  return m;
}

const VQMatrix kIdentity;

}  // namespace

TEST(Matrix, NewMatrixIsIdentityAndRowMajor) {
  const VQMatrix m;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;

  VQMatrix t = FromRows({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  t.Transpose();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(t.m[4 * r + c], float(4 * c + r));

  VQVector v;
  EXPECT_EQ(&t.GetTranslation(v), &v);
  EXPECT_EQ(v, VQVector(3, 7, 11));
  EXPECT_EQ(t.GetAxisY(v), VQVector(1, 5, 9));
  EXPECT_EQ(t.GetAxisZ(v), VQVector(2, 6, 10));
}

TEST(Matrix, RotationZTurnsXIntoY) {
  VQMatrix m;
  m.MakeRotationZ(float(kPi / 2));
  VQVector out;
  m.TransformPoint(out, VQVector(1, 0, 0));
  ExpectVecNear(out, VQVector(0, 1, 0), 1e-6f);
}

TEST(Matrix, SingleAxisRotationsTurnTheWayTheEngineExpects) {
  struct Case {
    VQVector angles, in, want;
  } cases[] = {
      // about x: y goes toward z
      {{float(kPi / 2), 0, 0}, {0, 1, 0}, {0, 0, 1}},
      // about y: z goes toward x
      {{0, float(kPi / 2), 0}, {0, 0, 1}, {1, 0, 0}},
      // about z: x goes toward y
      {{0, 0, float(kPi / 2)}, {1, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    VQMatrix m;
    m.MakeRotation(c.angles);
    VQVector out;
    m.RotateVector(out, c.in);
    ExpectVecNear(out, c.want, 1e-6f);
  }
}

TEST(Matrix, SetRotationIsXThenYThenZ) {
  const float grid[] = {-2.5f, -0.7f, 0.0f, 0.3f, float(kPi / 2), 1.9f, 3.0f};
  for (float ax : grid)
    for (float ay : grid)
      for (float az : grid) {
        VQMatrix z;
        z.MakeRotationZ(az);
        const VQMatrix want = Rx(ax) * Ry(ay) * z;
        VQMatrix got;
        got.MakeRotation(ax, ay, az);
        ASSERT_LT(MaxDiff(got, want), 2e-6f) << ax << " " << ay << " " << az;
      }
}

TEST(Matrix, SettersTouchOnlyTheirElements) {
  VQMatrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = 100.0f + i;
  VQMatrix r = m;
  r.SetRotation(0.1f, 0.2f, 0.3f);
  VQQuaternion q;
  VQMatrix rq = m;
  rq.SetRotationFromQuaternion(q);
  for (int i : {3, 7, 11, 12, 13, 14, 15}) {
    EXPECT_EQ(r.m[i], m.m[i]) << i;
    EXPECT_EQ(rq.m[i], m.m[i]) << i;
  }
  VQMatrix t = m;
  t.SetTranslation(VQVector(1, 2, 3));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t.m[i], (i >= 12 && i <= 14) ? float(i - 11) : m.m[i]);
  t.ClearTranslation();
  VQVector v;
  EXPECT_EQ(t.GetTranslation(v), VQVector(0, 0, 0));
}

TEST(Matrix, ProductAppliesLeftOperandFirst) {
  VQMatrix move, turn;
  move.MakeTranslation(1, 0, 0);
  turn.MakeRotationZ(float(kPi / 2));
  VQVector p;
  (move * turn).TransformPoint(p, VQVector(0, 0, 0));
  ExpectVecNear(p, VQVector(0, 1, 0), 1e-6f);  // moved to (1,0,0), then turned
  (turn * move).TransformPoint(p, VQVector(0, 0, 0));
  ExpectVecNear(p, VQVector(1, 0, 0), 1e-6f);  // turned (no effect), then moved
}

TEST(Matrix, ProductIntoAnOperandMatchesSeparateResult) {
  const VQMatrix a = Rigid(0.3f, -1.1f, 2.0f, 1, 2, 3);
  const VQMatrix b = Rigid(-0.8f, 0.4f, 0.9f, -5, 0.5f, 7);
  VQMatrix want;
  VQMatrix_Multiply(want, a, b);
  EXPECT_EQ(MaxDiff(a * b, want), 0.0f);

  VQMatrix x = a;
  x.Multiply(b, x);  // result is this
  EXPECT_EQ(MaxDiff(x, want), 0.0f);
  VQMatrix y = b;
  a.Multiply(y, y);  // result is the other operand
  EXPECT_EQ(MaxDiff(y, want), 0.0f);
  VQMatrix z = a;
  VQMatrix_Multiply(z, z, b);
  EXPECT_EQ(MaxDiff(z, want), 0.0f);
}

TEST(Matrix, TransformPointComputesInDoubleAndInPlace) {
  VQMatrix m;
  m.m[0] = 1e8f;
  m.m[4] = 1.0f;
  m.m[8] = -1e8f;
  VQVector p(1, 1, 1);
  m.TransformPoint(p);  // 1e8 + 1 - 1e8: float arithmetic would give 0
  EXPECT_EQ(p.x, 1.0f);

  const VQMatrix r = Rigid(0.4f, 1.2f, -2.0f, 10, 20, 30);
  const VQVector in(1.5f, -2.5f, 3.5f);
  VQVector sep, inPlace = in;
  r.TransformPoint(sep, in);
  r.TransformPoint(inPlace);
  EXPECT_EQ(sep, inPlace);
  VQVector rot, rotInPlace = in;
  r.RotateVector(rot, in);
  r.RotateVector(rotInPlace);
  EXPECT_EQ(rot, rotInPlace);
  ExpectVecNear(sep - rot, VQVector(10, 20, 30), 1e-5f);
}

TEST(Matrix, RotationAnglesOfTheWorkedExample) {
  VQMatrix m;
  m.MakeRotation(VQVector(0.5f, 0.25f, 1.0f));
  VQVector a;
  EXPECT_EQ(&m.GetRotationAngles(a), &a);
  ExpectVecNear(a, VQVector(float(0.5 - 2 * kPi), -0.25f, float(1.0 - 2 * kPi)), 1e-5f);
  ExpectVecNear(a, VQVector(-5.7832f, -0.25f, -5.2832f), 1e-4f);
}

TEST(Matrix, RotationAnglesOfIdentityAreZero) {
  VQVector a;
  kIdentity.GetRotationAngles(a);
  EXPECT_EQ(a, VQVector(0, 0, 0));
}

TEST(Matrix, RotationAnglesAtAQuarterTurnAboutYReportNoXTurn) {
  for (float ay : {float(kPi / 2), float(-kPi / 2)}) {
    for (float ax : {0.0f, 0.6f, -1.3f}) {
      VQMatrix m;
      m.MakeRotation(ax, ay, 0.4f);
      VQVector a;
      m.GetRotationAngles(a);
      EXPECT_EQ(a.x, 0.0f) << ay << " " << ax;
      VQMatrix back;
      back.MakeRotation(a.x, -a.y, a.z);
      EXPECT_LT(MaxDiff(back, m), 1e-5f) << ay << " " << ax;
    }
  }
}

// Matrix -> angles -> matrix over a grid of all three angles. The angles come back as
// (ax, -ay, az) modulo whole turns, each in (-2 pi, 0] before rounding to float; an angle a
// hair below a whole turn may round to -2 pi itself.
TEST(Matrix, RotationAnglesRoundTripOverAngleGrid) {
  const std::vector<float> grid = AngleGrid();
  const float lowest = -6.2831855f;
  for (float ax : grid)
    for (float ay : grid)
      for (float az : grid) {
        VQMatrix m;
        m.MakeRotation(ax, ay, az);
        VQVector a;
        m.GetRotationAngles(a);
        for (float v : {a.x, a.y, a.z}) {
          ASSERT_TRUE(v >= lowest && v <= 0.0f) << v << " from " << ax << " " << ay << " " << az;
        }
        VQMatrix back;
        back.MakeRotation(a.x, -a.y, a.z);
        ASSERT_LT(MaxDiff(back, m), 2e-5f) << ax << " " << ay << " " << az;
      }
}

// Close to a quarter turn about y the x and z turns are only known through their difference;
// within the cut-off the matrix comes back to within about the cut-off itself.
TEST(Matrix, RotationAnglesRoundTripNearGimbal) {
  struct Case {
    double offset;
    float tol;
  } cases[] = {{0.0, 1e-5f}, {3e-4, 1e-3f}, {-3e-4, 1e-3f}, {1e-3, 1e-3f}, {-1e-3, 1e-3f},
               {1e-2, 1e-4f}};
  for (const Case& c : cases)
    for (double base : {kPi / 2, -kPi / 2})
      for (float ax : {0.2f, -1.7f})
        for (float az : {0.9f, -2.4f}) {
          VQMatrix m;
          m.MakeRotation(ax, float(base + c.offset), az);
          VQVector a;
          m.GetRotationAngles(a);
          VQMatrix back;
          back.MakeRotation(a.x, -a.y, a.z);
          EXPECT_LT(MaxDiff(back, m), c.tol) << base << " + " << c.offset;
        }
}

TEST(Matrix, RotationAnglesSurviveASineJustPastOne) {
  // Float rounding can leave m2 a step beyond 1 in a matrix built from a quaternion.
  VQMatrix m;
  m.MakeRotation(0.0f, float(-kPi / 2), 0.0f);
  m.m[2] = std::nextafter(1.0f, 2.0f);
  VQVector a;
  m.GetRotationAngles(a);
  EXPECT_TRUE(std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z));
  EXPECT_NEAR(a.y, float(-1.5 * kPi), 1e-5f);

  m.MakeRotation(0.0f, float(kPi / 2), 0.0f);
  m.m[2] = std::nextafter(-1.0f, -2.0f);
  m.GetRotationAngles(a);
  EXPECT_NEAR(a.y, float(-kPi / 2), 1e-5f);
}

TEST(Matrix, RigidInverseUndoesTheTransform) {
  const std::vector<float> grid = AngleGrid();
  const VQVector probe(3.5f, -1.25f, 8.0f);
  int n = 0;
  for (float ax : grid)
    for (float ay : grid) {
      const float az = grid[(n++ * 7) % grid.size()];
      const VQMatrix m = Rigid(ax, ay, az, 12.5f, -7.0f, 0.25f * n);
      VQMatrix inv, rigid;
      EXPECT_EQ(&m.Inverse(inv), &inv);
      EXPECT_EQ(&m.GetRigidInverse(rigid), &rigid);
      ASSERT_LT(MaxDiff(inv, rigid), 1e-5f);
      // Translations of about 10 leave rounding of a few 1e-6 in the product.
      ASSERT_LT(MaxDiff(m * inv, kIdentity), 3e-5f) << ax << " " << ay << " " << az;
      ASSERT_LT(MaxDiff(inv * m, kIdentity), 3e-5f);
      VQVector there, back;
      m.TransformPoint(there, probe);
      inv.TransformPoint(back, there);
      ExpectVecNear(back, probe, 1e-4f);
      for (int i : {3, 7, 11}) EXPECT_EQ(inv.m[i], 0.0f);
      EXPECT_EQ(inv.m[15], 1.0f);
    }
}

TEST(Matrix, RigidInverseIntoItself) {
  const VQMatrix m = Rigid(0.3f, 0.8f, -1.4f, 4, 5, 6);
  VQMatrix want;
  m.Inverse(want);
  VQMatrix a = m;
  a.Inverse(a);
  EXPECT_EQ(MaxDiff(a, want), 0.0f);
  VQMatrix b = m;
  b.GetRigidInverse(b);
  EXPECT_LT(MaxDiff(b, want), 1e-6f);
}
