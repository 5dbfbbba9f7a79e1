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

inline double fmax(double x, double y) {
  if (__builtin_expect(x != x || y != y, 0)) return x != x ? (y != y ? x + y : y) : x;
  return x > y ? x : y;
}

inline double fmin(double x, double y) {
  if (__builtin_expect(x != x || y != y, 0)) return x != x ? (y != y ? x + y : y) : x;
  return x < y ? x : y;
}

// The same for float, with the results of fmaxf and fminf (the engine's collision boxes).
inline float fmax(float x, float y) {
  if (__builtin_expect(x != x || y != y, 0)) return x != x ? (y != y ? x + y : y) : x;
  return x > y ? x : y;
}

inline float fmin(float x, float y) {
  if (__builtin_expect(x != x || y != y, 0)) return x != x ? (y != y ? x + y : y) : x;
  return x < y ? x : y;
}

}  // namespace tolvu
