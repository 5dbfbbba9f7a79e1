// The OpenGL entry points of the OpenGL display driver: one table of the OpenGL 1.1 and GLU
// functions the driver calls, filled at run time through a loader (by default the host
// OpenGL layer), and the enumeration values the driver passes. No OpenGL header is needed:
// the parameter types below have the sizes of the OpenGL types on every platform we build
// for, and a test can fill the table with recording fakes to check exact call sequences.
//
// The context, pixel-format and buffer-swap services of the windowing system are not in the
// table: the driver takes them from the host OpenGL layer (host/gl/gl.h).
#pragma once

#include <cstdint>

using VQGLenum = uint32_t;
using VQGLbitfield = uint32_t;
using VQGLint = int32_t;
using VQGLuint = uint32_t;
using VQGLsizei = int32_t;
using VQGLfloat = float;
using VQGLdouble = double;
using VQGLboolean = uint8_t;
using VQGLubyte = uint8_t;

// X(return type, member, symbol, parameter list) in load order.
#define VQGL_FUNCTIONS(X)                                                                      \
  X(void, AlphaFunc, "glAlphaFunc", (VQGLenum func, VQGLfloat ref))                            \
  X(void, ArrayElement, "glArrayElement", (VQGLint i))                                         \
  X(void, Begin, "glBegin", (VQGLenum mode))                                                   \
  X(void, BindTexture, "glBindTexture", (VQGLenum target, VQGLuint texture))                   \
  X(void, BlendFunc, "glBlendFunc", (VQGLenum s, VQGLenum d))                                  \
  X(void, CallList, "glCallList", (VQGLuint list))                                             \
  X(void, Clear, "glClear", (VQGLbitfield mask))                                               \
  X(void, ClearColor, "glClearColor", (VQGLfloat r, VQGLfloat g, VQGLfloat b, VQGLfloat a))    \
  X(void, ClearDepth, "glClearDepth", (VQGLdouble depth))                                      \
  X(void, Color3f, "glColor3f", (VQGLfloat r, VQGLfloat g, VQGLfloat b))                       \
  X(void, Color4f, "glColor4f", (VQGLfloat r, VQGLfloat g, VQGLfloat b, VQGLfloat a))          \
  X(void, Color4ubv, "glColor4ubv", (const VQGLubyte* v))                                      \
  X(void, ColorMaterial, "glColorMaterial", (VQGLenum face, VQGLenum mode))                    \
  X(void, ColorPointer, "glColorPointer",                                                      \
    (VQGLint size, VQGLenum type, VQGLsizei stride, const void* p))                           \
  X(void, CullFace, "glCullFace", (VQGLenum mode))                                             \
  X(void, DeleteTextures, "glDeleteTextures", (VQGLsizei n, const VQGLuint* names))            \
  X(void, DepthFunc, "glDepthFunc", (VQGLenum func))                                           \
  X(void, DepthMask, "glDepthMask", (VQGLboolean flag))                                        \
  X(void, Disable, "glDisable", (VQGLenum cap))                                                \
  X(void, DisableClientState, "glDisableClientState", (VQGLenum array))                        \
  X(void, DrawPixels, "glDrawPixels",                                                          \
    (VQGLsizei w, VQGLsizei h, VQGLenum format, VQGLenum type, const void* pixels))           \
  X(void, Enable, "glEnable", (VQGLenum cap))                                                  \
  X(void, EnableClientState, "glEnableClientState", (VQGLenum array))                          \
  X(void, End, "glEnd", ())                                                                    \
  X(void, EndList, "glEndList", ())                                                            \
  X(void, Flush, "glFlush", ())                                                                \
  X(void, Fogf, "glFogf", (VQGLenum pname, VQGLfloat param))                                   \
  X(void, Fogfv, "glFogfv", (VQGLenum pname, const VQGLfloat* params))                         \
  X(void, Fogi, "glFogi", (VQGLenum pname, VQGLint param))                                     \
  X(void, FrontFace, "glFrontFace", (VQGLenum mode))                                           \
  X(void, Frustum, "glFrustum",                                                                \
    (VQGLdouble l, VQGLdouble r, VQGLdouble b, VQGLdouble t, VQGLdouble n, VQGLdouble f))     \
  X(void, GenTextures, "glGenTextures", (VQGLsizei n, VQGLuint * names))                       \
  X(VQGLenum, GetError, "glGetError", ())                                                      \
  X(const VQGLubyte*, GetString, "glGetString", (VQGLenum name))                               \
  X(void, GetFloatv, "glGetFloatv", (VQGLenum pname, VQGLfloat * params))                      \
  X(void, GetIntegerv, "glGetIntegerv", (VQGLenum pname, VQGLint * params))                    \
  X(void, GetTexParameteriv, "glGetTexParameteriv",                                            \
    (VQGLenum target, VQGLenum pname, VQGLint * params))                                      \
  X(void, Lightfv, "glLightfv", (VQGLenum light, VQGLenum pname, const VQGLfloat* params))     \
  X(void, LightModelf, "glLightModelf", (VQGLenum pname, VQGLfloat param))                     \
  X(void, LightModelfv, "glLightModelfv", (VQGLenum pname, const VQGLfloat* params))           \
  X(void, LoadIdentity, "glLoadIdentity", ())                                                  \
  X(void, LoadMatrixf, "glLoadMatrixf", (const VQGLfloat* m))                                  \
  X(void, Materialfv, "glMaterialfv", (VQGLenum face, VQGLenum pname, const VQGLfloat* params)) \
  X(void, Materialf, "glMaterialf", (VQGLenum face, VQGLenum pname, VQGLfloat param))          \
  X(void, MatrixMode, "glMatrixMode", (VQGLenum mode))                                         \
  X(void, NewList, "glNewList", (VQGLuint list, VQGLenum mode))                                \
  X(void, Normal3f, "glNormal3f", (VQGLfloat x, VQGLfloat y, VQGLfloat z))                     \
  X(void, Normal3fv, "glNormal3fv", (const VQGLfloat* v))                                      \
  X(void, NormalPointer, "glNormalPointer", (VQGLenum type, VQGLsizei stride, const void* p))  \
  X(void, Ortho, "glOrtho",                                                                    \
    (VQGLdouble l, VQGLdouble r, VQGLdouble b, VQGLdouble t, VQGLdouble n, VQGLdouble f))     \
  X(void, PixelStorei, "glPixelStorei", (VQGLenum pname, VQGLint param))                       \
  X(void, PointSize, "glPointSize", (VQGLfloat size))                                          \
  X(void, PolygonMode, "glPolygonMode", (VQGLenum face, VQGLenum mode))                        \
  X(void, PopMatrix, "glPopMatrix", ())                                                        \
  X(void, PushMatrix, "glPushMatrix", ())                                                      \
  X(void, RasterPos2i, "glRasterPos2i", (VQGLint x, VQGLint y))                                \
  X(void, RasterPos2f, "glRasterPos2f", (VQGLfloat x, VQGLfloat y))                            \
  X(void, ReadBuffer, "glReadBuffer", (VQGLenum mode))                                         \
  X(void, ReadPixels, "glReadPixels",                                                          \
    (VQGLint x, VQGLint y, VQGLsizei w, VQGLsizei h, VQGLenum format, VQGLenum type, void* p)) \
  X(void, TexCoord2f, "glTexCoord2f", (VQGLfloat s, VQGLfloat t))                              \
  X(void, TexCoord2fv, "glTexCoord2fv", (const VQGLfloat* v))                                  \
  X(void, TexCoordPointer, "glTexCoordPointer",                                                \
    (VQGLint size, VQGLenum type, VQGLsizei stride, const void* p))                           \
  X(void, TexEnvi, "glTexEnvi", (VQGLenum target, VQGLenum pname, VQGLint param))              \
  X(void, TexImage2D, "glTexImage2D",                                                          \
    (VQGLenum target, VQGLint level, VQGLint internalFormat, VQGLsizei w, VQGLsizei h,         \
     VQGLint border, VQGLenum format, VQGLenum type, const void* pixels))                      \
  X(void, TexParameteri, "glTexParameteri", (VQGLenum target, VQGLenum pname, VQGLint param))  \
  X(void, Vertex2i, "glVertex2i", (VQGLint x, VQGLint y))                                      \
  X(void, Vertex3f, "glVertex3f", (VQGLfloat x, VQGLfloat y, VQGLfloat z))                     \
  X(void, Vertex3fv, "glVertex3fv", (const VQGLfloat* v))                                      \
  X(void, VertexPointer, "glVertexPointer",                                                    \
    (VQGLint size, VQGLenum type, VQGLsizei stride, const void* p))                           \
  X(void, Viewport, "glViewport", (VQGLint x, VQGLint y, VQGLsizei w, VQGLsizei h))            \
  X(void, Ortho2D, "gluOrtho2D", (VQGLdouble l, VQGLdouble r, VQGLdouble b, VQGLdouble t))

struct VQopenglTable {
#define VQGL_MEMBER(ret, name, symbol, params) ret(*name) params;
  VQGL_FUNCTIONS(VQGL_MEMBER)
#undef VQGL_MEMBER
};

// Index of each entry in load order (VQGLI_AlphaFunc = 0, ...).
enum VQopenglIndex : uint32_t {
#define VQGL_INDEX(ret, name, symbol, params) VQGLI_##name,
  VQGL_FUNCTIONS(VQGL_INDEX)
#undef VQGL_INDEX
  VQGL_FUNCTION_COUNT
};

extern VQopenglTable g_VQgl;

// Where the table comes from. The default loader is the host OpenGL layer.
struct VQopenglLoader {
  bool (*loadLibrary)();           // the OpenGL library
  bool (*loadGlu)();               // the GLU library
  void (*unloadLibraries)();
  void* (*procAddress)(const char* symbol);
};

// Replaces the loader (null restores the host one) and returns the previous one. Unloads a
// loaded table first.
const VQopenglLoader* VQopengl_SetLoader(const VQopenglLoader* loader);
// Loads both libraries and every entry point, once (later calls return true at once).
// Error 9 when a library is missing, 3 when an entry point is (the table is then cleared and
// the libraries freed).
bool VQopengl_LoadLibrary();
// Clears the table and frees the libraries.
void VQopengl_UnloadLibrary();
bool VQopengl_IsLoaded();
// The symbol of an entry (load order), for tools and tests.
const char* VQopengl_Symbol(uint32_t index);

// Checks an OpenGL version string ("major.minor ..."): 0 when at least 1.1, error 8 when it
// does not start with two numbers, 10 when it is older than 1.1.
int32_t VQopengl_CheckVersion(const char* version);

// Enumeration values the driver passes (OpenGL 1.1, with the few later ones marked).
enum : VQGLenum {
  VQGL_NEVER = 0x0200, VQGL_LESS = 0x0201, VQGL_EQUAL = 0x0202, VQGL_LEQUAL = 0x0203,
  VQGL_GREATER = 0x0204, VQGL_NOTEQUAL = 0x0205, VQGL_GEQUAL = 0x0206, VQGL_ALWAYS = 0x0207,
  VQGL_POINTS = 0x0000, VQGL_LINES = 0x0001, VQGL_LINE_LOOP = 0x0002, VQGL_LINE_STRIP = 0x0003,
  VQGL_TRIANGLES = 0x0004, VQGL_QUADS = 0x0007,
  VQGL_ZERO = 0, VQGL_ONE = 1, VQGL_SRC_COLOR = 0x0300, VQGL_ONE_MINUS_SRC_COLOR = 0x0301,
  VQGL_SRC_ALPHA = 0x0302, VQGL_ONE_MINUS_SRC_ALPHA = 0x0303,
  VQGL_FRONT = 0x0404, VQGL_BACK = 0x0405, VQGL_FRONT_AND_BACK = 0x0408,
  VQGL_CW = 0x0900, VQGL_CCW = 0x0901,
  VQGL_POINT_SMOOTH = 0x0B10, VQGL_LINE_STIPPLE = 0x0B24, VQGL_CULL_FACE = 0x0B44,
  VQGL_LIGHTING = 0x0B50, VQGL_LIGHT_MODEL_LOCAL_VIEWER = 0x0B51,
  VQGL_LIGHT_MODEL_AMBIENT = 0x0B53, VQGL_COLOR_MATERIAL = 0x0B57, VQGL_FOG = 0x0B60,
  VQGL_FOG_START = 0x0B63, VQGL_FOG_END = 0x0B64, VQGL_FOG_MODE = 0x0B65,
  VQGL_FOG_COLOR = 0x0B66, VQGL_DEPTH_TEST = 0x0B71, VQGL_MATRIX_MODE = 0x0BA0,
  VQGL_ALPHA_TEST = 0x0BC0, VQGL_BLEND = 0x0BE2,
  VQGL_UNPACK_ROW_LENGTH = 0x0CF2, VQGL_UNPACK_SKIP_ROWS = 0x0CF3,
  VQGL_UNPACK_SKIP_PIXELS = 0x0CF4, VQGL_UNPACK_ALIGNMENT = 0x0CF5, VQGL_PACK_ALIGNMENT = 0x0D05,
  VQGL_MAX_LIGHTS = 0x0D31, VQGL_TEXTURE_2D = 0x0DE1,
  VQGL_AMBIENT = 0x1200, VQGL_DIFFUSE = 0x1201, VQGL_SPECULAR = 0x1202, VQGL_POSITION = 0x1203,
  VQGL_EMISSION = 0x1600, VQGL_SHININESS = 0x1601, VQGL_AMBIENT_AND_DIFFUSE = 0x1602,
  VQGL_COMPILE = 0x1300, VQGL_UNSIGNED_BYTE = 0x1401, VQGL_UNSIGNED_SHORT = 0x1403,
  VQGL_FLOAT = 0x1406,
  VQGL_MODELVIEW = 0x1700, VQGL_PROJECTION = 0x1701,
  VQGL_RGB = 0x1907, VQGL_RGBA = 0x1908, VQGL_BGR = 0x80E0, VQGL_BGRA = 0x80E1,  // BGR: 1.2
  VQGL_POINT = 0x1B00, VQGL_LINE = 0x1B01, VQGL_FILL = 0x1B02,
  VQGL_VERSION = 0x1F02,
  VQGL_MODULATE = 0x2100, VQGL_TEXTURE_ENV_MODE = 0x2200, VQGL_TEXTURE_ENV = 0x2300,
  VQGL_LINEAR = 0x2601, VQGL_NEAREST = 0x2600,
  VQGL_NEAREST_MIPMAP_NEAREST = 0x2700, VQGL_LINEAR_MIPMAP_NEAREST = 0x2701,
  VQGL_NEAREST_MIPMAP_LINEAR = 0x2702, VQGL_LINEAR_MIPMAP_LINEAR = 0x2703,
  VQGL_TEXTURE_MAG_FILTER = 0x2800, VQGL_TEXTURE_MIN_FILTER = 0x2801,
  VQGL_TEXTURE_WRAP_S = 0x2802, VQGL_TEXTURE_WRAP_T = 0x2803,
  VQGL_CLAMP = 0x2900, VQGL_REPEAT = 0x2901,
  VQGL_LIGHT0 = 0x4000,
  VQGL_TEXTURE_RESIDENT = 0x8067, VQGL_GENERATE_MIPMAP = 0x8191,  // 1.4
  VQGL_VERTEX_ARRAY = 0x8074, VQGL_NORMAL_ARRAY = 0x8075, VQGL_COLOR_ARRAY = 0x8076,
  VQGL_TEXTURE_COORD_ARRAY = 0x8078,
  VQGL_FRONT_LEFT = 0x0400, VQGL_BACK_LEFT = 0x0402,
};
enum : VQGLbitfield { VQGL_DEPTH_BUFFER_BIT = 0x0100, VQGL_COLOR_BUFFER_BIT = 0x4000 };
