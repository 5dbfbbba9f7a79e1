#include <gtest/gtest.h>

#include <cmath>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQQuaternion.h"
#include "math_test_util.h"

namespace {

void ExpectQuatNear(const VQQuaternion& q, float x, float y, float z, float w, float tol) {
  EXPECT_NEAR(q.x, x, tol);
  EXPECT_NEAR(q.y, y, tol);
  EXPECT_NEAR(q.z, z, tol);
  EXPECT_NEAR(q.w, w, tol);
}

// Distance between two quaternions as orientations (q and -q are the same).
float OrientationGap(const VQQuaternion& a, const VQQuaternion& b) {
  float plus = 0.0f, minus = 0.0f;
  const float ea[4] = {a.x, a.y, a.z, a.w}, eb[4] = {b.x, b.y, b.z, b.w};
  for (int i = 0; i < 4; ++i) {
    plus = std::fmax(plus, std::fabs(ea[i] - eb[i]));
    minus = std::fmax(minus, std::fabs(ea[i] + eb[i]));
  }
  return std::fmin(plus, minus);
}

double Length(const VQQuaternion& q) {
  return std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w);
}

VQQuaternion AboutZ(double angle) {
  return VQQuaternion(0, 0, float(std::sin(angle / 2)), float(std::cos(angle / 2)));
}

}  // namespace

TEST(Quaternion, NewQuaternionIsIdentity) {
  const VQQuaternion q;
  ExpectQuatNear(q, 0, 0, 0, 1, 0);
  VQMatrix m;
  m.MakeRotation(0.3f, 0.2f, 0.1f);
  m.SetRotationFromQuaternion(q);
  EXPECT_EQ(MaxDiff(m, VQMatrix()), 0.0f);
}

TEST(Quaternion, FromMatrixOfIdentity) {
  VQQuaternion q(0.1f, 0.2f, 0.3f, 0.4f);
  EXPECT_EQ(&q.FromMatrix(VQMatrix()), &q);
  ExpectQuatNear(q, 0, 0, 0, 1, 0);
}

// Which way a quaternion turns, pinned per axis: (sin h) on an axis with w = cos h has the
// 3x3 part of a turn by -2h about that axis.
TEST(Quaternion, MatrixOfQuaternionAboutEachAxis) {
  for (int axis = 0; axis < 3; ++axis) {
    for (double a : {0.3, 1.0, kPi / 2, 2.5, -1.2}) {
      float v[3] = {0, 0, 0};
      v[axis] = float(std::sin(a / 2));
      const VQQuaternion q(v[0], v[1], v[2], float(std::cos(a / 2)));
      float turn[3] = {0, 0, 0};
      turn[axis] = float(-a);
      VQMatrix fromQ, fromAngles;
      fromQ.SetRotationFromQuaternion(q);
      fromAngles.MakeRotation(turn[0], turn[1], turn[2]);
      EXPECT_LT(MaxDiff(fromQ, fromAngles), 1e-6f) << axis << " " << a;
    }
  }
}

// Quaternion -> matrix -> quaternion for quaternions that reach each branch of FromMatrix
// (positive trace, and each of x, y, z as the largest diagonal element).
TEST(Quaternion, FromMatrixUndoesSetRotationFromQuaternion) {
  const VQQuaternion cases[] = {
      {0, 0, 0, 1},          {0.1f, 0.2f, 0.3f, 0.9f}, {1, 0, 0, 0},
      {0, 1, 0, 0},          {0, 0, 1, 0},             {0.9f, 0.3f, -0.2f, 0.1f},
      {-0.2f, 0.9f, 0.3f, 0.1f}, {0.3f, -0.2f, 0.9f, -0.1f}, {0.5f, 0.5f, 0.5f, -0.5f},
      {0.7f, 0.7f, 0, 0},    {0, 0, 0, -1},
  };
  for (VQQuaternion q : cases) {
    q.Normalize();
    VQMatrix m;
    m.SetRotationFromQuaternion(q);
    VQQuaternion back;
    back.FromMatrix(m);
    EXPECT_LT(OrientationGap(back, q), 2e-6f) << q.x << " " << q.y << " " << q.z << " " << q.w;
    EXPECT_NEAR(Length(back), 1.0, 1e-6);
  }
}

// Matrix -> quaternion -> matrix over the grid of Euler angles, gimbal cases included.
TEST(Quaternion, MatrixRoundTripOverAngleGrid) {
  const std::vector<float> grid = AngleGrid();
  for (float ax : grid)
    for (float ay : grid)
      for (float az : grid) {
        VQMatrix m;
        m.MakeRotation(ax, ay, az);
        VQQuaternion q;
        q.FromMatrix(m);
        ASSERT_NEAR(Length(q), 1.0, 1e-6);
        VQMatrix back;
        back.SetRotationFromQuaternion(q);
        ASSERT_LT(MaxDiff(back, m), 3e-6f) << ax << " " << ay << " " << az;
      }
}

TEST(Quaternion, NormalizeLeavesZeroAlone) {
  VQQuaternion zero(0, 0, 0, 0);
  zero.Normalize();
  ExpectQuatNear(zero, 0, 0, 0, 0, 0);
  VQQuaternion q(0, 0, 3, 4);
  q.Normalize();
  ExpectQuatNear(q, 0, 0, 0.6f, 0.8f, 1e-7f);
}

TEST(Quaternion, SlerpOfOppositeSignsBlendsLinearly) {
  const VQQuaternion a(0, 0, 0, 1), b(0, 0, 0, -1);
  for (float t : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
    SCOPED_TRACE(t);
    VQQuaternion r(9, 9, 9, 9);
    r.Slerp(a, b, t);
    ExpectQuatNear(r, 0, 0, 0, 1, 0);
  }
}

TEST(Quaternion, SlerpFollowsTheShorterArc) {
  struct Case {
    double from, to;  // angles about z
    float t;
    double want;
  } cases[] = {
      {0.0, kPi / 2, 0.0f, 0.0},        {0.0, kPi / 2, 1.0f, kPi / 2},
      {0.0, kPi / 2, 0.5f, kPi / 4},    {0.0, kPi / 2, 0.25f, kPi / 8},
      {0.3, -1.1, 0.5f, -0.4},          {0.0, 1e-4, 0.5f, 5e-5},  // linear blend range
  };
  for (const Case& c : cases) {
    VQQuaternion r;
    r.Slerp(AboutZ(c.from), AboutZ(c.to), c.t);
    EXPECT_LT(OrientationGap(r, AboutZ(c.want)), 2e-6f) << c.from << " " << c.to << " " << c.t;
  }
  // b given with the other sign: the turn still takes the short way.
  VQQuaternion far = AboutZ(kPi / 2);
  far = VQQuaternion(-far.x, -far.y, -far.z, -far.w);
  VQQuaternion r;
  r.Slerp(AboutZ(0.0), far, 0.5f);
  EXPECT_LT(OrientationGap(r, AboutZ(kPi / 4)), 2e-6f);
  EXPECT_GT(r.w, 0.0f);  // stays on a's side
}

TEST(Quaternion, SlerpIntoAnOperand) {
  const VQQuaternion a = AboutZ(0.2), b = AboutZ(1.4);
  VQQuaternion want;
  want.Slerp(a, b, 0.3f);
  VQQuaternion x = a;
  x.Slerp(x, b, 0.3f);
  ExpectQuatNear(x, want.x, want.y, want.z, want.w, 0);
  VQQuaternion y = b;
  y.Slerp(a, y, 0.3f);
  ExpectQuatNear(y, want.x, want.y, want.z, want.w, 0);
}
