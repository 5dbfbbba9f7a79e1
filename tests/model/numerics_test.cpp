// Numerical routines of the model library against known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/core/diagnostics.h"
#include "model/numerics/numerics.h"

namespace {

std::vector<std::string> g_messages;
void record_message(const char* text, int length) { g_messages.emplace_back(text, static_cast<size_t>(length)); }

class Numerics : public testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    tolvu::SetMessageObserver(record_message);
  }
  void TearDown() override { tolvu::SetMessageObserver(nullptr); }
  static bool saw(const std::string& text) {
    for (const std::string& m : g_messages)
      if (m.find(text) != std::string::npos) return true;
    return false;
  }
};

TEST_F(Numerics, CrossProducts) {
  const double a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
  double c[3];
  CROSS(c, a, b);
  EXPECT_EQ(c[0], -3.0);
  EXPECT_EQ(c[1], 6.0);
  EXPECT_EQ(c[2], -3.0);
  CROSS_REV(c, a, b);
  EXPECT_EQ(c[0], 3.0);
  EXPECT_EQ(c[1], -6.0);
  EXPECT_EQ(c[2], 3.0);
}

TEST_F(Numerics, MatrixProductsAreColumnMajor) {
  // A = [1 2 3; 4 5 6] (2 x 3), stored by columns.
  const double A[6] = {1, 4, 2, 5, 3, 6};
  const double x[3] = {1, 0, -1};
  double y[3];
  MATVEC(y, A, x, 2, 3);
  EXPECT_EQ(y[0], -2.0);
  EXPECT_EQ(y[1], -2.0);
  const double z[2] = {1, 2};
  MATVEC_T(y, A, z, 2, 3);  // A^T z = (9, 12, 15)
  EXPECT_EQ(y[0], 9.0);
  EXPECT_EQ(y[1], 12.0);
  EXPECT_EQ(y[2], 15.0);
  // B = [1 0; 0 1; 1 1] (3 x 2): A B = [4 5; 10 11].
  const double B[6] = {1, 0, 1, 0, 1, 1};
  double P[4];
  MATMAT(P, A, B, 2, 3, 2);
  EXPECT_EQ(P[0], 4.0);
  EXPECT_EQ(P[1], 10.0);
  EXPECT_EQ(P[2], 5.0);
  EXPECT_EQ(P[3], 11.0);
  // A^T A (3 x 3) = [17 22 27; 22 29 36; 27 36 45].
  double Q[9];
  MATMAT_T(Q, A, A, 3, 2, 3);
  const double expected[9] = {17, 22, 27, 22, 29, 36, 27, 36, 45};
  for (int e = 0; e < 9; ++e) EXPECT_EQ(Q[e], expected[e]) << e;
}

TEST_F(Numerics, ScaleDivideAndDiagonal) {
  const double A[4] = {1, 2, 3, 4};
  double R[4];
  MSCALE(R, 2.0, A, 2, 2);
  EXPECT_EQ(R[3], 8.0);
  MDIVIDE(R, A, 4.0, 2, 2);
  EXPECT_EQ(R[1], 0.5);
  EXPECT_TRUE(g_messages.empty());
  MDIVIDE(R, A, 5e-11, 2, 2);
  EXPECT_EQ(R[0], 1e10);
  EXPECT_TRUE(saw("C083W"));
  double D[9];
  const double v[3] = {1, 2, 3};
  MDIAG(D, v, 3, 3);
  EXPECT_EQ(D[0], 1.0);
  EXPECT_EQ(D[4], 2.0);
  EXPECT_EQ(D[8], 3.0);
  EXPECT_EQ(D[1], 0.0);
  MDIAG(D, v, 1, 3);
  EXPECT_EQ(D[8], 1.0);
}

TEST_F(Numerics, PointAccelerationMatrix) {
  const double w[3] = {1, 2, 3}, al[3] = {0.1, 0.2, 0.3};
  double D[9];
  ROTRATE(D, w, al);
  // D x = alpha x x + w x (w x x) for any x.
  const double x[3] = {0.5, -1.0, 2.0};
  double Dx[3], t[3], wx[3], wwx[3];
  MATVEC(Dx, D, x, 3, 3);
  CROSS(t, al, x);
  CROSS(wx, w, x);
  CROSS(wwx, w, wx);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(Dx[i], t[i] + wwx[i], 1e-12);
}

TEST_F(Numerics, NormsAndGuards) {
  const double x[3] = {3, 4, 0};
  double r;
  NORM(r, x, 3);
  EXPECT_EQ(r, 5.0);
  const double zero[3] = {0, 0, 0};
  NORM(r, zero, 3);
  EXPECT_EQ(r, 1e-10);
  double u[3];
  NORMALIZE(u, x, 3);
  EXPECT_EQ(u[0], 0.6);
  NORMALIZE(u, zero, 3);
  EXPECT_EQ(u[0], 0.0);
  EXPECT_EQ(SAFE_SQRT(9.0), 3.0);
  EXPECT_EQ(SAFE_SQRT(-1.0), 0.0);
  EXPECT_TRUE(saw(" Negative argument in Sqrt "));
  const double c[3] = {1, 2, 3};
  EXPECT_EQ(POLY(c, 3, 2.0), 17.0);
  EXPECT_EQ(POWER(2.0, 10.0), 1024.0);
  EXPECT_EQ(POWER(-2.0, 3.0), -8.0);
  EXPECT_EQ(POWER(1e-11, 2.0), 0.0);
  EXPECT_EQ(POWER(-2.0, 0.5), 0.0);
  EXPECT_TRUE(saw("C095W"));
}

TEST_F(Numerics, LimitClampsAndReports) {
  double out = 0.0;
  EXPECT_EQ(MLIMIT(out, 3.0, 5.0), 0);
  EXPECT_EQ(out, 3.0);
  EXPECT_TRUE(g_messages.empty());
  MLIMIT(out, 7.0, 5.0);
  EXPECT_EQ(out, 5.0);
  EXPECT_TRUE(saw("Variable bigger than Extreme in MLIMIT"));
  MLIMIT(out, -7.0, 5.0);
  EXPECT_EQ(out, -5.0);
  MLIMIT(out, 5.0, 5.0);
  EXPECT_EQ(out, 5.0);
}

TEST_F(Numerics, SmoothStep) {
  EXPECT_DOUBLE_EQ(SMOOTH_STEP(0.0, 1.0, 2.0, 6.0), 4.0);
  EXPECT_EQ(SMOOTH_STEP(-1.0, 1.0, 2.0, 6.0), 2.0);
  EXPECT_EQ(SMOOTH_STEP(1.0, 1.0, 2.0, 6.0), 6.0);
  EXPECT_EQ(SMOOTH_STEP(-3.0, 1.0, 2.0, 6.0), 2.0);
  EXPECT_DOUBLE_EQ(SMOOTH_STEP(0.0, 0.0, 2.0, 6.0), 4.0);  // width floored at 1e-10
  EXPECT_EQ(SMOOTH_STEP(1e-9, 0.0, 2.0, 6.0), 6.0);
  // Close to the ends the blend is flat: s(0.5) = 0.75 + 1/(2 pi).
  const double s = 0.75 + std::sin(3.1415927 * 0.5) / 6.2831853;
  EXPECT_NEAR(SMOOTH_STEP(0.5, 1.0, 0.0, 1.0), s, 1e-12);
  EXPECT_NEAR(SMOOTH_STEP(0.999999, 1.0, 0.0, 1.0), 1.0, 1e-8);
}

TEST_F(Numerics, StickSlipLaw) {
  EXPECT_EQ(STICK_SLIP(5.0, 2.0, 0.0, 3.0), -6.0);      // no limit: viscous
  EXPECT_EQ(STICK_SLIP(5.0, 0.5, 1.0, 3.0), 3.0);       // sticking: demand clamped to k L
  EXPECT_EQ(STICK_SLIP(2.0, 0.5, 1.0, 3.0), 2.0);
  EXPECT_EQ(STICK_SLIP(-5.0, 0.5, 1.0, 3.0), -3.0);
  EXPECT_EQ(STICK_SLIP(-1.0, 4.0, 1.0, 3.0), -1.0);     // moving back
  EXPECT_EQ(STICK_SLIP(1.0, 4.0, 1.0, 3.0), -9.0);      // sliding: -(|v| - L) k
  EXPECT_EQ(STICK_SLIP(-1.0, -4.0, 1.0, 3.0), 9.0);
}

TEST_F(Numerics, PickAndSelect) {
  const double A[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 3 x 4
  double out[4];
  PICK(out, A, 2.0, 3.4, 2, 2, 3, 4);  // rows 2-3, columns 3-4
  EXPECT_EQ(out[0], 8.0);
  EXPECT_EQ(out[1], 9.0);
  EXPECT_EQ(out[2], 11.0);
  EXPECT_EQ(out[3], 12.0);
  PICK(out, A, 3.0, 4.0, 2, 1, 3, 4);  // partly outside
  EXPECT_EQ(out[0], 12.0);
  EXPECT_EQ(out[1], 0.0);
  double index = 0;
  EXPECT_EQ(SELECT3(1, 2, 10, 20, 30, index), 10.0);
  EXPECT_EQ(index, 1.0);
  EXPECT_EQ(SELECT3(2, 2, 10, 20, 30, index), 20.0);
  EXPECT_EQ(SELECT3(3, 2, 10, 20, 30, index), 30.0);
  EXPECT_EQ(index, 3.0);
}

TEST_F(Numerics, SolvesAndInverses) {
  // A = [4 -2 1; -2 4 -2; 1 -2 4] (by columns), x = (1, 2, 3), b = A x = (3, 0, 9).
  const double A[9] = {4, -2, 1, -2, 4, -2, 1, -2, 4};
  const double b[3] = {3, 0, 9};
  double x[3];
  ASSERT_TRUE(SOLVE(x, A, b, 3, 1));
  EXPECT_NEAR(x[0], 1.0, 1e-12);
  EXPECT_NEAR(x[1], 2.0, 1e-12);
  EXPECT_NEAR(x[2], 3.0, 1e-12);
  double Ai[9], I[9];
  ASSERT_TRUE(INVERSE(Ai, A, 3));
  MATMAT(I, A, Ai, 3, 3, 3);
  for (int e = 0; e < 9; ++e) EXPECT_NEAR(I[e], e % 4 == 0 ? 1.0 : 0.0, 1e-12);
  double Si[9];
  ASSERT_TRUE(SMALL_INVERSE(Si, A, 3));
  for (int e = 0; e < 9; ++e) EXPECT_NEAR(Si[e], Ai[e], 1e-12);
  // Needs pivoting: a zero in the first diagonal place.
  const double P[4] = {0, 2, 3, 0};  // [0 3; 2 0]
  double Pi[4];
  ASSERT_TRUE(SMALL_INVERSE(Pi, P, 2));
  EXPECT_NEAR(Pi[0], 0.0, 1e-15);
  EXPECT_NEAR(Pi[1], 1.0 / 3.0, 1e-15);
  EXPECT_NEAR(Pi[2], 0.5, 1e-15);
  const double S[4] = {1, 2, 2, 4};  // singular
  EXPECT_FALSE(SMALL_INVERSE(Pi, S, 2));
  EXPECT_TRUE(saw("C085W"));
  EXPECT_FALSE(INVERSE(Pi, S, 2));
  EXPECT_TRUE(saw("C084 "));
  EXPECT_FALSE(SMALL_INVERSE(Pi, S, 7));
  EXPECT_FALSE(SOLVE(x, S, b, 2, 1));
  EXPECT_TRUE(saw("Matrix in model"));
  const double one[1] = {4.0};
  double inv1[1];
  ASSERT_TRUE(SMALL_INVERSE(inv1, one, 1));
  EXPECT_EQ(inv1[0], 0.25);
}

// The engine torque table of the models' defaults: relative speed, relative torque.
const double kTorque[16] = {-0.01, 0.01, 0.3, 0.8, 1.0, 1.3, 1.4, 1.41, 0.4, 0.4, 0.6, 0.9, 1.0, 0.6, 0.0, 0.0};

TEST_F(Numerics, SplineLookupReproducesTheTablePoints) {
  double T[32];
  SPLPRE(T, kTorque, 4, 8, 2);
  EXPECT_EQ(T[16], 8.0);  // T(1,3): all eight points valid
  double r[2] = {0.0, 1.0};
  for (int i = 0; i < 8; ++i) {
    SPLINE_LOOKUP(r, kTorque[i], T, 2, 8, 4);
    EXPECT_NEAR(r[0], kTorque[8 + i], 1e-12) << "point " << i + 1;
  }
  // Searching down from a later segment restarts at the first.
  r[1] = 6.0;
  SPLINE_LOOKUP(r, 0.5, T, 2, 8, 4);
  EXPECT_EQ(r[1], 3.0);
  // Between points the value stays between reasonable bounds and the segment is reported.
  SPLINE_LOOKUP(r, 0.9, T, 2, 8, 4);
  EXPECT_EQ(r[1], 4.0);
  EXPECT_GT(r[0], 0.9);
  EXPECT_LT(r[0], 1.05);
  // Beyond the ends: straight lines through the two end points.
  SPLINE_LOOKUP(r, -1.01, T, 2, 8, 4);
  EXPECT_NEAR(r[0], 0.4, 1e-12);
  EXPECT_EQ(r[1], 1.0);
  SPLINE_LOOKUP(r, 2.0, T, 2, 8, 4);
  EXPECT_NEAR(r[0], 0.0, 1e-12);
  EXPECT_EQ(r[1], 7.0);
}

TEST_F(Numerics, SplineIsExactForAParabolaInside) {
  double S[16], T[32];
  for (int i = 0; i < 8; ++i) {
    S[i] = i;
    S[8 + i] = i * i;
  }
  SPLPRE(T, S, 4, 8, 2);
  double r[2] = {0.0, 1.0};
  for (double x : {1.5, 2.25, 3.5, 4.75, 5.5}) {
    SPLINE_LOOKUP(r, x, T, 2, 8, 4);
    EXPECT_NEAR(r[0], x * x, 1e-12) << x;
  }
  // A straight line stays straight everywhere.
  for (int i = 0; i < 8; ++i) S[8 + i] = 2.0 * i - 1.0;
  SPLPRE(T, S, 4, 8, 2);
  for (double x : {0.3, 3.7, 6.9}) {
    SPLINE_LOOKUP(r, x, T, 2, 8, 4);
    EXPECT_NEAR(r[0], 2.0 * x - 1.0, 1e-12) << x;
  }
}

TEST_F(Numerics, SplineTableEndsWhereAbscissaeStopIncreasing) {
  double S[16] = {0, 1, 2, 3, 4, 5, 6, 0, 0, 1, 4, 9, 16, 25, 36, 0};
  double T[32];
  SPLPRE(T, S, 4, 8, 2);
  EXPECT_EQ(T[16], 7.0);
  double r[2] = {0.0, 1.0};
  SPLINE_LOOKUP(r, 6.0, T, 2, 8, 4);
  EXPECT_NEAR(r[0], 36.0, 1e-12);
  SPLINE_LOOKUP(r, 7.0, T, 2, 8, 4);  // beyond point 7: the line through points 6 and 7
  EXPECT_NEAR(r[0], 47.0, 1e-12);

  const double flat[10] = {1, 1, 1, 1, 1, 5, 6, 7, 8, 9};
  double F[20];
  SPLPRE(F, flat, 4, 5, 2);
  EXPECT_EQ(F[10], 1.0);  // one point: lookups give its value
  SPLINE_LOOKUP(r, 3.0, F, 2, 5, 4);
  EXPECT_EQ(r[0], 5.0);

  double small[16];
  SPLPRE(small, S, 4, 4, 2);
  EXPECT_TRUE(saw(" Dimension error in SPLPRE "));
  EXPECT_EQ(small[8], 0.0);   // copy made, no terms
  EXPECT_EQ(small[4], 4.0);   // S(1,2) with 4 rows
}

}  // namespace
