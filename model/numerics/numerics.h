// Numerical routines of the car models: small dense linear algebra on 3-vectors and small
// matrices, guarded scalar functions, spline tables and the stick-slip law.
//
// Matrices are column-major: element (i, j) (1-based) of a matrix with `rows` rows is
// A[(j - 1) * rows + (i - 1)]. Outputs come first. No routine allocates or throws; degenerate
// inputs are replaced by guarded values (threshold 1e-10) and reported through the discarded
// diagnostics. Output arrays may not alias inputs unless stated.
#pragma once

// Guard threshold used for every division and square root.
inline constexpr double TOLVU_GUARD = 1e-10;

// c = a x b. c may alias neither a nor b.
void CROSS(double* c, const double* a, const double* b);
// c = b x a.
void CROSS_REV(double* c, const double* a, const double* b);

// y = A x, A rows x cols; y has rows elements.
void MATVEC(double* y, const double* A, const double* x, int rows, int cols);
// y = A^T x, A rows x cols; y has cols elements.
void MATVEC_T(double* y, const double* A, const double* x, int rows, int cols);
// P = A B, A m x k, B k x n, P m x n.
void MATMAT(double* P, const double* A, const double* B, int m, int k, int n);
// P = A^T B, A k x m, B k x n, P m x n.
void MATMAT_T(double* P, const double* A, const double* B, int m, int k, int n);
// S = s A (m x n). S may alias A.
void MSCALE(double* S, double s, const double* A, int m, int n);
// R = A / s (m x n); |s| < 1e-10 reports "C083W" and multiplies by 1e10 instead. R may alias A.
void MDIVIDE(double* R, const double* A, double s, int m, int n);
// M (n x n) = 0 with the diagonal from values: values[0] for every element when count < n,
// values[0..n-1] when count >= n.
void MDIAG(double* M, const double* values, int count, int n);
// dst = src only while first (the model's first-call flag) is 1.
void COND_COPY(double& dst, const double& src, int first);
// D (3 x 3) = skew(alpha) + skew(w)^2: the point-acceleration matrix of angular velocity w and
// angular acceleration alpha.
void ROTRATE(double* D, const double* w, const double* alpha);

// r = max(|x|, 1e-10).
void NORM(double& r, const double* x, int n);
// u = x / max(|x|, 1e-10). u may alias x.
void NORMALIZE(double* u, const double* x, int n);
// sqrt(x) for x >= 0; otherwise reports " Negative argument in Sqrt " and returns 0.
double SAFE_SQRT(double x);
// sum of c[i] x^i, i = 0..n-1.
double POLY(const double* c, int n, double x);
// x^y; 0 when |x| < 1e-10; for x < 0 only a whole y (within 1e-10), else "C095W" and 0.
double POWER(double x, double y);

// out = value when |value| <= extreme; otherwise reports "Variable bigger than Extreme in MLIMIT"
// and clamps value to -extreme .. extreme. Returns 0.
int MLIMIT(double& out, const double& value, const double& extreme);
// Smooth blend from a (x <= -w) to b (x >= w), w = max(width, 1e-10), with zero slope at both ends.
double SMOOTH_STEP(double x, double width, double a, double b);
// Stick-slip law: demand f, deflection v, limit L, gain k (see model/README.md).
double STICK_SLIP(double f, double v, double limit, double k);

// Copies the p x q block of the m x n array A whose top-left element is (row, col) (1-based,
// given as reals and rounded) into out (p x q). Elements outside A are written as 0.
void PICK(double* out, const double* A, double row, double col, int p, int q, int m, int n);
// 1 when x < y, 2 when x == y, 3 when x > y; returns p, q or r accordingly and stores the
// number as a real in index.
double SELECT3(double x, double y, double p, double q, double r, double& index);

// X (n x m) solves A X = B (A n x n, B n x m) by Gaussian elimination with partial pivoting.
// A singular matrix reports "Matrix in model" and leaves X zero. Returns true on success.
bool SOLVE(double* X, const double* A, const double* B, int n, int m);
// Ainv = A^-1 (n x n, n <= 16) by LU decomposition of a copy; a singular matrix reports "C084 ",
// writes zeros and returns false.
bool INVERSE(double* Ainv, const double* A, int n);
// Minv = M^-1 for n = 1..6 in a fixed 6 x 6 workspace with pivoting; "C085 " when n is out of
// range, "C085W" when M is singular (Minv is then zero). Returns true on success.
bool SMALL_INVERSE(double* Minv, const double* M, int n);

// Spline preparation. S: ld x ncolS table (column 1 increasing abscissae, column 2 values).
// T: ld x ncolT table; columns 1-2 receive S, columns 3-4 the curvature terms of each segment
// (row k holds the terms of the segment ending at row k), and T(1,3) the number of valid points
// (the leading rows whose abscissae increase). Needs ld >= 5, ncolS == 2 and ncolT == 4; otherwise
// reports " Dimension error in SPLPRE " and leaves the copy with zero terms.
void SPLPRE(double* T, const double* S, int ncolT, int ld, int ncolS);
// Evaluates the table T prepared by SPLPRE (ld rows) at x. result[0] = value, result[1] = segment
// (1-based, as a real); the search starts at the segment held in result[1] from the previous
// call. Inside the points: the cubic of the segment; beyond either end: the straight line
// through the two end points. control and ncol are accepted for symmetry and not read.
void SPLINE_LOOKUP(double* result, double x, const double* T, int control, int ld, int ncol);
