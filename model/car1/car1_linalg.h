// Small dense helpers for the CAR_1 equations: 3-vectors and column-major 3 x 3 matrices that
// live in the model store (element (i, j) of a matrix at position (j - 1) * 3 + (i - 1)).
// The vector and matrix helpers are the car models' shared ones; a result may alias an argument.
#pragma once

#include <cmath>

#include "model/numerics/small3.h"

namespace car1 {

using tolvu::small3::kFloor;  // least divisor and least vector length

using tolvu::small3::add3;
using tolvu::small3::clamp;
using tolvu::small3::copy3;
using tolvu::small3::cross;
using tolvu::small3::dot3;
using tolvu::small3::identity;
using tolvu::small3::mm;
using tolvu::small3::mtv;
using tolvu::small3::mv;
using tolvu::small3::norm3;
using tolvu::small3::normalise3;
using tolvu::small3::pointAcceleration;
using tolvu::small3::set3;
using tolvu::small3::sub3;
using tolvu::small3::withSign;

// Divisor floored at 1e-10 in magnitude, keeping its sign (+ for 0 and NaN-free inputs).
inline double floorDiv(double d) { return std::fabs(d) < kFloor ? withSign(kFloor, d) : d; }

}  // namespace car1
