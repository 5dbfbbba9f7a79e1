// fmax and fmin inline, with the results of the C library's (glibc, x86-64) to the last bit: on
// equal arguments the second one (so fmax(+0, -0) is -0 and fmax(-0, +0) is +0), a NaN argument
// gives the other argument, two NaNs give their sum. The library calls cost more than the
// comparisons themselves, and the equations make thousands of them per evaluation.
//
// A constant argument goes second. The compiler expands std::fmax(0.0, x) itself when optimising,
// and then the constant wins a tie (+0 for x = -0) where the library call, made when not
// optimising, gives x: with the constant second both agree, at every optimisation level.
#pragma once

namespace tolvu {

namespace minmax {
// A NaN argument gives the other one, two NaNs their sum; otherwise the pick, the second argument
// on a tie.
template <typename T, typename Pick>
inline T Choose(T x, T y, Pick pick) {
  if (__builtin_expect(x != x || y != y, 0)) return x != x ? (y != y ? x + y : y) : x;
  return pick(x, y) ? x : y;
}
}  // namespace minmax

inline double fmax(double x, double y) { return minmax::Choose(x, y, [](double a, double b) { return a > b; }); }
inline double fmin(double x, double y) { return minmax::Choose(x, y, [](double a, double b) { return a < b; }); }
// The same for float, with the results of fmaxf and fminf (the engine's collision boxes).
inline float fmax(float x, float y) { return minmax::Choose(x, y, [](float a, float b) { return a > b; }); }
inline float fmin(float x, float y) { return minmax::Choose(x, y, [](float a, float b) { return a < b; }); }

}  // namespace tolvu
