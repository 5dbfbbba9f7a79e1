#include "model/numerics/numerics.h"

#include <cmath>

#include "model/numerics/fminmax.h"
#include <cstring>

#include "model/core/tolvu_model.h"

namespace {

void text_message(const char* text) { OutputMessage(text, static_cast<int>(std::strlen(text))); }

inline double& el(double* A, int ld, int i, int j) { return A[(j - 1) * ld + (i - 1)]; }
inline double el(const double* A, int ld, int i, int j) { return A[(j - 1) * ld + (i - 1)]; }

}  // namespace

void CROSS(double* c, const double* a, const double* b) {
  const double x = a[1] * b[2] - a[2] * b[1];
  const double y = a[2] * b[0] - a[0] * b[2];
  const double z = a[0] * b[1] - a[1] * b[0];
  c[0] = x;
  c[1] = y;
  c[2] = z;
}

void CROSS_REV(double* c, const double* a, const double* b) { CROSS(c, b, a); }

void MATVEC(double* y, const double* A, const double* x, int rows, int cols) {
  for (int i = 0; i < rows; ++i) {
    double s = 0.0;
    for (int j = 0; j < cols; ++j) s += A[j * rows + i] * x[j];
    y[i] = s;
  }
}

void MATVEC_T(double* y, const double* A, const double* x, int rows, int cols) {
  for (int j = 0; j < cols; ++j) {
    double s = 0.0;
    for (int i = 0; i < rows; ++i) s += A[j * rows + i] * x[i];
    y[j] = s;
  }
}

void MATMAT(double* P, const double* A, const double* B, int m, int k, int n) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      double s = 0.0;
      for (int l = 0; l < k; ++l) s += A[l * m + i] * B[j * k + l];
      P[j * m + i] = s;
    }
}

void MATMAT_T(double* P, const double* A, const double* B, int m, int k, int n) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      double s = 0.0;
      for (int l = 0; l < k; ++l) s += A[i * k + l] * B[j * k + l];
      P[j * m + i] = s;
    }
}

void MSCALE(double* S, double s, const double* A, int m, int n) {
  for (int e = 0; e < m * n; ++e) S[e] = s * A[e];
}

void MDIVIDE(double* R, const double* A, double s, int m, int n) {
  double inv;
  if (std::fabs(s) < TOLVU_GUARD) {
    ReportMessage("C083W", " ", " ", " ");
    inv = 1e10;
  } else {
    inv = 1.0 / s;
  }
  for (int e = 0; e < m * n; ++e) R[e] = A[e] * inv;
}

void MDIAG(double* M, const double* values, int count, int n) {
  for (int e = 0; e < n * n; ++e) M[e] = 0.0;
  for (int i = 0; i < n; ++i) M[i * n + i] = count >= n ? values[i] : values[0];
}

void COND_COPY(double& dst, const double& src, int first) {
  if (first == 1) dst = src;
}

void ROTRATE(double* D, const double* w, const double* al) {
  const double a = w[0], b = w[1], c = w[2];
  D[0] = -(b * b + c * c);
  D[1] = a * b + al[2];
  D[2] = a * c - al[1];
  D[3] = a * b - al[2];
  D[4] = -(a * a + c * c);
  D[5] = b * c + al[0];
  D[6] = a * c + al[1];
  D[7] = b * c - al[0];
  D[8] = -(a * a + b * b);
}

void NORM(double& r, const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += x[i] * x[i];
  r = tolvu::fmax(std::sqrt(s), TOLVU_GUARD);
}

void NORMALIZE(double* u, const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += x[i] * x[i];
  if (s < 0.0) text_message(" Negative argument in Sqrt ");
  const double len = tolvu::fmax(std::sqrt(tolvu::fmax(s, 0.0)), TOLVU_GUARD);
  for (int i = 0; i < n; ++i) u[i] = x[i] / len;
}

double SAFE_SQRT(double x) {
  if (x >= 0.0) return std::sqrt(x);
  text_message(" Negative argument in Sqrt ");
  return 0.0;
}

double POLY(const double* c, int n, double x) {
  double r = 0.0;
  for (int i = n - 1; i >= 0; --i) r = r * x + c[i];
  return r;
}

double POWER(double x, double y) {
  if (std::fabs(x) < TOLVU_GUARD) return 0.0;
  if (x < 0.0 && std::fabs(y - std::round(y)) > TOLVU_GUARD) {
    ReportMessage("C095W", " ", " ", " ");
    return 0.0;
  }
  return std::pow(x, x < 0.0 ? std::round(y) : y);
}

int MLIMIT(double& out, const double& value, const double& extreme) {
  const double v = value, e = extreme;
  if (std::fabs(v) <= e) {
    out = v;
    return 0;
  }
  text_message("Variable bigger than Extreme in MLIMIT");
  const double limit = std::fabs(e);
  out = v > 0.0 ? limit : -limit;
  return 0;
}

double SMOOTH_STEP(double x, double width, double a, double b) {
  const double w = tolvu::fmax(width, TOLVU_GUARD);
  if (std::fabs(x) < w) {
    const double s = 0.5 * x / w + 0.5 + std::sin(3.1415927 * x / w) / 6.2831853;
    return (1.0 - s) * a + s * b;
  }
  return x <= 0.0 ? a : b;
}

double STICK_SLIP(double f, double v, double limit, double k) {
  if (limit <= TOLVU_GUARD) return -k * v;
  const double av = std::fabs(v);
  if (av <= limit || (v > 0.0 && f < 0.0) || (v < 0.0 && f > 0.0)) {
    const double bound = std::fabs(k * limit);
    return tolvu::fmin(tolvu::fmax(f, -bound), bound);
  }
  return -(v / av) * (av - limit) * k;
}

void PICK(double* out, const double* A, double row, double col, int p, int q, int m, int n) {
  const long r0 = std::lround(row), c0 = std::lround(col);
  for (int j = 0; j < q; ++j)
    for (int i = 0; i < p; ++i) {
      const long r = r0 + i, c = c0 + j;
      out[j * p + i] = (r >= 1 && r <= m && c >= 1 && c <= n) ? A[(c - 1) * m + (r - 1)] : 0.0;
    }
}

double SELECT3(double x, double y, double p, double q, double r, double& index) {
  const double choice[3] = {p, q, r};
  const int i = x < y ? 1 : (x == y ? 2 : 3);
  index = i;
  return choice[i - 1];
}

namespace {

// Gaussian elimination with partial pivoting on an n x (n + m) augmented matrix (column-major,
// leading dimension n); on success the last m columns hold the solution.
bool gauss(double* W, int n, int m, const char* what) {
  const int cols = n + m;
  for (int k = 1; k <= n; ++k) {
    int piv = k;
    for (int i = k + 1; i <= n; ++i)
      if (std::fabs(el(W, n, i, k)) > std::fabs(el(W, n, piv, k))) piv = i;
    if (std::fabs(el(W, n, piv, k)) <= TOLVU_GUARD) {
      ReportMessage("C084 ", what, " ", " ");
      return false;
    }
    if (piv != k)
      for (int j = 1; j <= cols; ++j) std::swap(el(W, n, piv, j), el(W, n, k, j));
    const double d = el(W, n, k, k);
    for (int j = k; j <= cols; ++j) el(W, n, k, j) /= d;
    for (int i = 1; i <= n; ++i) {
      if (i == k) continue;
      const double f = el(W, n, i, k);
      if (f == 0.0) continue;
      for (int j = k; j <= cols; ++j) el(W, n, i, j) -= f * el(W, n, k, j);
    }
  }
  return true;
}

constexpr int kMaxInverse = 16;

}  // namespace

bool SOLVE(double* X, const double* A, const double* B, int n, int m) {
  if (n < 1 || m < 1 || n > kMaxInverse || m > kMaxInverse) {
    ReportMessage("C085 ", "Matrix in model", " ", " ");
    return false;
  }
  double W[kMaxInverse * 2 * kMaxInverse];
  std::memcpy(W, A, sizeof(double) * n * n);
  std::memcpy(W + n * n, B, sizeof(double) * n * m);
  const bool ok = gauss(W, n, m, "Matrix in model");
  for (int e = 0; e < n * m; ++e) X[e] = ok ? W[n * n + e] : 0.0;
  return ok;
}

bool INVERSE(double* Ainv, const double* A, int n) {
  if (n < 1 || n > kMaxInverse) {
    ReportMessage("C084 ", " ", " ", " ");
    return false;
  }
  double W[kMaxInverse * 2 * kMaxInverse];
  std::memcpy(W, A, sizeof(double) * n * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) W[n * n + j * n + i] = i == j ? 1.0 : 0.0;
  const bool ok = gauss(W, n, n, " ");
  for (int e = 0; e < n * n; ++e) Ainv[e] = ok ? W[n * n + e] : 0.0;
  return ok;
}

bool SMALL_INVERSE(double* Minv, const double* M, int n) {
  if (n < 1 || n > 6) {
    ReportMessage("C085 ", " ", " ", " ");
    return false;
  }
  // A diagonal matrix (inertia in principal axes, the common case) needs no elimination: row i of
  // the result is row i of the identity divided by the i-th diagonal element, as the elimination
  // leaves it to the bit (0 / d off the diagonal keeps the sign of d on its zeros). A diagonal
  // element the elimination would refuse sends the matrix the long way, for its messages.
  bool diagonal = true;
  for (int j = 0; j < n && diagonal; ++j)
    for (int i = 0; i < n; ++i)
      if (i != j && M[j * n + i] != 0.0) diagonal = false;
  for (int k = 0; k < n && diagonal; ++k)
    if (std::fabs(M[k * n + k]) <= TOLVU_GUARD) diagonal = false;
  if (diagonal) {
    double d[6];  // first, since the result may be written over M
    for (int k = 0; k < n; ++k) d[k] = M[k * n + k];
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) Minv[j * n + i] = (i == j ? 1.0 : 0.0) / d[i];
    return true;
  }
  double W[6 * 12];
  std::memcpy(W, M, sizeof(double) * n * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) W[n * n + j * n + i] = i == j ? 1.0 : 0.0;
  const bool ok = gauss(W, n, n, " ");
  if (!ok) ReportMessage("C085W", " ", " ", " ");
  for (int e = 0; e < n * n; ++e) Minv[e] = ok ? W[n * n + e] : 0.0;
  return ok;
}

void SPLPRE(double* T, const double* S, int ncolT, int ld, int ncolS) {
  if (ld < 1) {
    text_message(" Dimension error in SPLPRE ");
    return;
  }
  const int tcols = ncolT < 4 ? ncolT : 4;
  for (int i = 1; i <= ld; ++i) {
    if (tcols >= 1) el(T, ld, i, 1) = ncolS >= 1 ? el(S, ld, i, 1) : 0.0;
    if (tcols >= 2) el(T, ld, i, 2) = ncolS >= 2 ? el(S, ld, i, 2) : 0.0;
    for (int j = 3; j <= tcols; ++j) el(T, ld, i, j) = 0.0;
  }
  if (ld < 5 || ncolS != 2 || ncolT != 4) {
    text_message(" Dimension error in SPLPRE ");
    return;
  }
  auto x = [&](int i) { return el(T, ld, i, 1); };
  auto y = [&](int i) { return el(T, ld, i, 2); };
  if (x(2) <= x(1)) {
    el(T, ld, 1, 3) = 1.0;
    return;
  }
  // Points 0 .. ld + 1: the table with a linear extension before it and after its valid end.
  double px[kMaxInverse * 64 + 2];
  double py[kMaxInverse * 64 + 2];
  const int maxRows = static_cast<int>(sizeof px / sizeof px[0]) - 2;
  const int rows = ld < maxRows ? ld : maxRows;
  int count = rows;
  for (int i = 1; i <= rows; ++i) {
    if (i >= 2 && x(i) <= x(i - 1)) {
      count = i - 1;
      break;
    }
    px[i] = x(i);
    py[i] = y(i);
  }
  const double firstSlope = (py[2] - py[1]) / tolvu::fmax(px[2] - px[1], TOLVU_GUARD);
  px[0] = px[1] - 1.0;
  py[0] = py[1] - firstSlope;
  const double lastSlope = (py[count] - py[count - 1]) / tolvu::fmax(px[count] - px[count - 1], TOLVU_GUARD);
  px[count + 1] = px[count] + 1.0;
  py[count + 1] = py[count] + lastSlope;
  auto slope = [&](int i) { return (py[i + 1] - py[i]) / tolvu::fmax(px[i + 1] - px[i], TOLVU_GUARD); };
  // The second divided difference at point i (half the curvature of a parabola through i-1..i+1).
  auto bend = [&](int i) { return (slope(i) - slope(i - 1)) / tolvu::fmax(px[i + 1] - px[i - 1], TOLVU_GUARD); };
  for (int k = 1; k < count; ++k) {
    const double s1 = bend(k), s2 = bend(k + 1);
    el(T, ld, k + 1, 3) = (2.0 * s1 - s2) / 3.0;
    el(T, ld, k + 1, 4) = (2.0 * s2 - s1) / 3.0;
  }
  el(T, ld, 1, 3) = count;
}

void SPLINE_LOOKUP(double* result, double x, const double* T, int /*control*/, int ld, int /*ncol*/) {
  if (ld < 1) {
    result[0] = 0.0;
    result[1] = 1.0;
    return;
  }
  auto X = [&](int i) { return el(T, ld, i, 1); };
  auto Y = [&](int i) { return el(T, ld, i, 2); };
  const double stored = el(T, ld, 1, 3);
  int n = std::isfinite(stored) ? static_cast<int>(std::lround(tolvu::fmin(tolvu::fmax(stored, 0.0), ld))) : 0;
  if (n < 2) {
    result[0] = Y(1);
    result[1] = 1.0;
    return;
  }
  int start = std::isfinite(result[1]) ? static_cast<int>(std::lround(tolvu::fmin(tolvu::fmax(result[1], 1.0), n - 1))) : 1;
  if (x <= X(1)) {
    result[0] = Y(1) - (X(1) - x) * (Y(2) - Y(1)) / tolvu::fmax(X(2) - X(1), TOLVU_GUARD);
    result[1] = 1.0;
    return;
  }
  if (x >= X(n)) {
    result[0] = Y(n) + (x - X(n)) * (Y(n) - Y(n - 1)) / tolvu::fmax(X(n) - X(n - 1), TOLVU_GUARD);
    result[1] = n - 1;
    return;
  }
  if (x < X(start)) start = 1;
  int k = start + 1;
  while (k < n && !(x < X(k))) ++k;
  const double h = tolvu::fmax(X(k) - X(k - 1), TOLVU_GUARD);
  const double a = (X(k) - x) / h, b = (x - X(k - 1)) / h;
  result[0] = a * Y(k - 1) + b * Y(k) + h * h * ((a * a - 1.0) * a * el(T, ld, k, 3) + (b * b - 1.0) * b * el(T, ld, k, 4));
  result[1] = k - 1;
}
