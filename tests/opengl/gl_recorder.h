// A recording fake of the OpenGL entry-point table: every call is written as text
// ("glEnable(3553)", floats with %g, pointers as "p"; the value arrays of glMaterialfv,
// glLightfv, glFogfv and glLightModelfv as four numbers), so tests compare exact call
// sequences. A few queries answer: glGetString (version), glGetIntegerv (GL_MAX_LIGHTS 8,
// GL_MATRIX_MODE as last set), glGenTextures (1, 2, 3, ...), glGetError 0.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "Zentri/devices/display/opengl/VQopengl.h"

namespace glrec {

inline std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}
inline VQGLint& MatrixMode() {
  static VQGLint mode = VQGL_MODELVIEW;
  return mode;
}
inline VQGLuint& NextTexture() {
  static VQGLuint next = 1;
  return next;
}
inline std::vector<float>& LastMatrix() {
  static std::vector<float> m(16, 0.0f);
  return m;
}
inline std::string& Version() {
  static std::string v = "2.1 recording fake";
  return v;
}

template <typename T>
void Put(std::string& s, T v) {
  if constexpr (std::is_pointer_v<T>) {
    s += v ? "p" : "null";
  } else if constexpr (std::is_floating_point_v<T>) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", double(v));
    s += b;
  } else {
    s += std::to_string(static_cast<long long>(v));
  }
}

template <typename... A>
std::string Text(const char* symbol, A... a) {
  std::string s = symbol;
  s += "(";
  int k = 0;
  ((s += (k++ ? "," : ""), Put(s, a)), ...);
  s += ")";
  return s;
}

template <uint32_t I, typename F>
struct Rec;
template <uint32_t I, typename R, typename... A>
struct Rec<I, R(A...)> {
  static R Call(A... a) {
    Calls().push_back(Text(VQopengl_Symbol(I), a...));
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

inline std::string Four(const char* symbol, VQGLenum a, VQGLenum b, const float* v) {
  return Text(symbol, a, b, v[0], v[1], v[2], v[3]);
}

inline void Install() {
#define GLREC_SET(ret, name, symbol, params) g_VQgl.name = &Rec<VQGLI_##name, ret params>::Call;
  VQGL_FUNCTIONS(GLREC_SET)
#undef GLREC_SET
  g_VQgl.GetString = [](VQGLenum) -> const VQGLubyte* {
    Calls().push_back("glGetString");
    return reinterpret_cast<const VQGLubyte*>(Version().c_str());
  };
  g_VQgl.GetIntegerv = [](VQGLenum pname, VQGLint* out) {
    Calls().push_back(Text("glGetIntegerv", pname));
    if (pname == VQGL_MAX_LIGHTS) *out = 8;
    if (pname == VQGL_MATRIX_MODE) *out = MatrixMode();
  };
  g_VQgl.MatrixMode = [](VQGLenum mode) {
    Calls().push_back(Text("glMatrixMode", mode));
    MatrixMode() = VQGLint(mode);
  };
  g_VQgl.GenTextures = [](VQGLsizei n, VQGLuint* names) {
    Calls().push_back(Text("glGenTextures", n));
    for (VQGLsizei i = 0; i < n; ++i) names[i] = NextTexture()++;
  };
  g_VQgl.Materialfv = [](VQGLenum face, VQGLenum pname, const VQGLfloat* v) {
    Calls().push_back(Four("glMaterialfv", face, pname, v));
  };
  g_VQgl.Lightfv = [](VQGLenum light, VQGLenum pname, const VQGLfloat* v) {
    Calls().push_back(Four("glLightfv", light, pname, v));
  };
  g_VQgl.Fogfv = [](VQGLenum pname, const VQGLfloat* v) {
    Calls().push_back(Text("glFogfv", pname, v[0], v[1], v[2], v[3]));
  };
  g_VQgl.LightModelfv = [](VQGLenum pname, const VQGLfloat* v) {
    Calls().push_back(Text("glLightModelfv", pname, v[0], v[1], v[2], v[3]));
  };
  g_VQgl.LoadMatrixf = [](const VQGLfloat* m) {
    Calls().push_back("glLoadMatrixf");
    LastMatrix().assign(m, m + 16);
  };
  Calls().clear();
  MatrixMode() = VQGL_MODELVIEW;
  NextTexture() = 1;
}

inline void Clear() { Calls().clear(); }

// Calls whose text starts with one of the prefixes, in order.
inline std::vector<std::string> Only(std::initializer_list<const char*> prefixes) {
  std::vector<std::string> out;
  for (const auto& c : Calls())
    for (const char* p : prefixes)
      if (c.rfind(p, 0) == 0) {
        out.push_back(c);
        break;
      }
  return out;
}

inline size_t Count(const std::string& text) {
  size_t n = 0;
  for (const auto& c : Calls()) n += c == text;
  return n;
}

}  // namespace glrec
