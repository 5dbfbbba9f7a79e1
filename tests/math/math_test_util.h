// Helpers shared by the math tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Zentri/math/VQMatrix.h"
#include "Zentri/math/VQVector.h"

constexpr double kPi = std::numbers::pi;

inline void ExpectVecNear(const VQVector& v, const VQVector& want, float tol) {
  EXPECT_NEAR(v.x, want.x, tol);
  EXPECT_NEAR(v.y, want.y, tol);
  EXPECT_NEAR(v.z, want.z, tol);
}

inline float MaxDiff(const VQMatrix& a, const VQMatrix& b) {
  float d = 0.0f;
  for (int i = 0; i < 16; ++i) d = std::fmax(d, std::fabs(a.m[i] - b.m[i]));
  return d;
}

inline float MaxDiff3x3(const VQMatrix& a, const VQMatrix& b) {
  float d = 0.0f;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) d = std::fmax(d, std::fabs(a.m[4 * r + c] - b.m[4 * r + c]));
  return d;
}

// Angles for round trips: whole and odd fractions of a turn on both sides of zero, the
// quarter turns (gimbal cases for y) and the half turns.
inline std::vector<float> AngleGrid() {
  std::vector<float> g;
  for (int k = -8; k <= 8; ++k) g.push_back(float(k * kPi / 4));
  for (double a : {0.1, -0.3, 0.7, 1.3, -2.2, 2.9, 5.0}) g.push_back(float(a));
  return g;
}
