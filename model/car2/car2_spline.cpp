// Cubic spline tables for the CAR_2 engine torque curve (knots, values and two curvature
// columns), prepared once at set-up and looked up on every evaluation.
#include "model/car2/car2_math.h"

namespace car2 {

void SplinePrepare(double* T, const double* S, int ld) {
    auto t = [&](int i, int j) -> double& { return T[(j - 1) * ld + (i - 1)]; };
    for (int i = 1; i <= ld; ++i) {
        t(i, 1) = S[i - 1];
        t(i, 2) = S[ld + i - 1];
        t(i, 3) = 0.0;
        t(i, 4) = 0.0;
    }
    if (ld < 2) {
        if (ld == 1) t(1, 3) = 1.0;
        return;
    }
    if (!(t(2, 1) > t(1, 1))) {
        t(1, 3) = 1.0;
        return;
    }
    int n = 2;
    while (n < ld && t(n + 1, 1) > t(n, 1)) ++n;

    auto slope = [&](int k) {  // slope of interval k (points k, k+1), k in 1..n-1
        return (t(k + 1, 2) - t(k, 2)) / std::max(t(k + 1, 1) - t(k, 1), kGuard);
    };
    for (int k = 1; k <= n - 1; ++k) {
        double h = std::max(t(k + 1, 1) - t(k, 1), kGuard);
        double m = slope(k);
        // Beyond either end the table continues as a straight line (slope change 0).
        double ml = k > 1 ? slope(k - 1) : m;
        double mr = k + 1 < n ? slope(k + 1) : m;
        double s1 = (m - ml) / h;
        double s2 = (mr - m) / h;
        t(k + 1, 3) = (2.0 * s1 - s2) / 3.0;
        t(k + 1, 4) = (2.0 * s2 - s1) / 3.0;
    }
    t(1, 3) = n;
}

double SplineLookup(double x, const double* T, int ld, double& seg) {
    auto t = [&](int i, int j) { return T[(j - 1) * ld + (i - 1)]; };
    int n = static_cast<int>(std::lround(t(1, 3)));
    if (n > ld) n = ld;
    if (n < 2) {
        seg = 1.0;
        return t(1, 2);
    }
    if (x <= t(1, 1)) {
        seg = 1.0;
        return t(1, 2) - (t(1, 1) - x) * (t(2, 2) - t(1, 2)) / std::max(t(2, 1) - t(1, 1), kGuard);
    }
    if (x >= t(n, 1)) {
        seg = n - 1;
        return t(n, 2) + (x - t(n, 1)) * (t(n, 2) - t(n - 1, 2)) / std::max(t(n, 1) - t(n - 1, 1), kGuard);
    }
    int start = std::isfinite(seg) ? static_cast<int>(std::lround(Clamp(seg, 1.0, n - 1.0))) : 1;
    if (x < t(start, 1)) start = 1;
    int k = start + 1;
    while (k < n && !(x < t(k, 1))) ++k;
    double h = std::max(t(k, 1) - t(k - 1, 1), kGuard);
    double a = (t(k, 1) - x) / h;
    double b = (x - t(k - 1, 1)) / h;
    seg = k - 1;
    return a * t(k - 1, 2) + b * t(k, 2) +
           h * h * ((a * a - 1.0) * a * t(k, 3) + (b * b - 1.0) * b * t(k, 4));
}

}  // namespace car2
