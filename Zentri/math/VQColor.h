// VQColor: a colour with alpha as four floats. Components run from 0 to 1 by convention
// (alpha 1 is opaque), but nothing clamps them: lighting code may push them past 1 on purpose.
#pragma once

class VQColor {
 public:
  float r, g, b, a;

  VQColor() = default;  // components unset, like VQVector
  VQColor(float ar, float ag, float ab, float aa) : r(ar), g(ag), b(ab), a(aa) {}

  // Exact comparison of all four components, no tolerance.
  bool operator==(const VQColor& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  bool operator!=(const VQColor& o) const { return !(*this == o); }
};
static_assert(sizeof(VQColor) == 16, "VQColor is four floats");

// Sets the four components and returns the colour.
inline VQColor& VQColor_Set(VQColor& c, float r, float g, float b, float a) {
  c.r = r;
  c.g = g;
  c.b = b;
  c.a = a;
  return c;
}
