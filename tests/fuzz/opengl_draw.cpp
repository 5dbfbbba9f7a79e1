// Meshes and image pieces from arbitrary bytes through the OpenGL device's DrawMesh and the
// canvas's BlitImageRects, with an OpenGL stand-in that reads the client arrays at every
// glArrayElement and the pixels every glDrawPixels would read under the unpack state in
// force. Indices, material numbers, curve records and rectangles are unchecked input: the
// driver must never let OpenGL read outside the arrays or the pixmap.
#include <cstdint>
#include <cstring>
#include <vector>

#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"

namespace {

struct Arrays {
  const uint8_t* pointer[4] = {};  // vertex, normal, colour, texture coordinate
  uint32_t size[4] = {12, 12, 4, 8};
  bool enabled[4] = {};
  VQGLint unpack[3] = {};  // row length, skip pixels, skip rows
  volatile uint8_t sink = 0;
} s_gl;

int Slot(VQGLenum array) {
  switch (array) {
    case VQGL_VERTEX_ARRAY: return 0;
    case VQGL_NORMAL_ARRAY: return 1;
    case VQGL_COLOR_ARRAY: return 2;
    case VQGL_TEXTURE_COORD_ARRAY: return 3;
    default: return -1;
  }
}

template <uint32_t I, typename F>
struct NoOp;
template <uint32_t I, typename R, typename... A>
struct NoOp<I, R(A...)> {
  static R Call(A...) {
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

void Install() {
#define FUZZ_SET(ret, name, symbol, params) g_VQgl.name = &NoOp<VQGLI_##name, ret params>::Call;
  VQGL_FUNCTIONS(FUZZ_SET)
#undef FUZZ_SET
  g_VQgl.EnableClientState = [](VQGLenum a) {
    if (Slot(a) >= 0) s_gl.enabled[Slot(a)] = true;
  };
  g_VQgl.DisableClientState = [](VQGLenum a) {
    if (Slot(a) >= 0) s_gl.enabled[Slot(a)] = false;
  };
  g_VQgl.VertexPointer = [](VQGLint, VQGLenum, VQGLsizei, const void* p) { s_gl.pointer[0] = static_cast<const uint8_t*>(p); };
  g_VQgl.NormalPointer = [](VQGLenum, VQGLsizei, const void* p) { s_gl.pointer[1] = static_cast<const uint8_t*>(p); };
  g_VQgl.ColorPointer = [](VQGLint, VQGLenum, VQGLsizei, const void* p) { s_gl.pointer[2] = static_cast<const uint8_t*>(p); };
  g_VQgl.TexCoordPointer = [](VQGLint, VQGLenum, VQGLsizei, const void* p) { s_gl.pointer[3] = static_cast<const uint8_t*>(p); };
  g_VQgl.ArrayElement = [](VQGLint i) {
    if (i < 0) __builtin_trap();
    for (int k = 0; k < 4; ++k) {
      if (!s_gl.enabled[k]) continue;
      if (!s_gl.pointer[k]) __builtin_trap();
      const uint8_t* p = s_gl.pointer[k] + size_t(i) * s_gl.size[k];
      s_gl.sink = p[0];
      s_gl.sink = p[s_gl.size[k] - 1];
    }
  };
  g_VQgl.PixelStorei = [](VQGLenum pname, VQGLint v) {
    if (pname == VQGL_UNPACK_ROW_LENGTH) s_gl.unpack[0] = v;
    if (pname == VQGL_UNPACK_SKIP_PIXELS) s_gl.unpack[1] = v;
    if (pname == VQGL_UNPACK_SKIP_ROWS) s_gl.unpack[2] = v;
  };
  g_VQgl.DrawPixels = [](VQGLsizei w, VQGLsizei h, VQGLenum format, VQGLenum, const void* pixels) {
    if (w <= 0 || h <= 0 || !pixels) __builtin_trap();  // OpenGL would refuse the call
    const size_t bpp = (format == VQGL_RGBA || format == VQGL_BGRA) ? 4 : 3;
    const size_t row = size_t(s_gl.unpack[0] > 0 ? s_gl.unpack[0] : w);
    const size_t first = (size_t(s_gl.unpack[2]) * row + size_t(s_gl.unpack[1])) * bpp;
    const size_t last = ((size_t(s_gl.unpack[2]) + size_t(h) - 1) * row + size_t(s_gl.unpack[1]) + size_t(w)) * bpp - 1;
    const uint8_t* p = static_cast<const uint8_t*>(pixels);
    s_gl.sink = p[first];
    s_gl.sink = p[last];
  };
}

struct Reader {
  const uint8_t* data;
  size_t size, at = 0;
  uint8_t U8() { return at < size ? data[at++] : 0; }
  uint16_t U16() { return uint16_t(U8() | U8() << 8); }
  int16_t I16() { return int16_t(U16()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool installed = false;
  if (!installed) {
    Install();
    installed = true;
  }
  std::memset(static_cast<void*>(&s_gl.enabled), 0, sizeof s_gl.enabled);
  std::memset(s_gl.unpack, 0, sizeof s_gl.unpack);
  Reader r{data, size};
  static VQOpenGLDisplayDevice device(9);
  const uint32_t n = 1 + r.U8() % 64, t = r.U8() % 64, curves = r.U8() % 8, parts = r.U8();
  VQMesh* mesh = VQMesh::Create(n, t, curves, parts & 1, parts & 2, parts & 4);
  if (!mesh) return 0;
  std::vector<float> uv1;
  if (parts & 8) {
    uv1.assign(2 * n, 0.5f);
    mesh->m_uv1 = uv1.data();
  }
  for (uint32_t i = 0; i < 3 * t; ++i) mesh->m_indices[i] = r.U16() % 80;  // some beyond n
  for (uint32_t i = 0; i < t; ++i) mesh->SetMaterialOf(i, r.U8() % 4);    // two materials in the table
  for (uint32_t i = 0; i < 8 * curves; ++i) mesh->m_extra[i] = r.U8();
  VQMattable* table = VQMattable::Create(2);
  VQOpenGLTexture texture;
  texture.m_owner = &device;
  texture.m_device = &device;
  texture.m_glName = 3;
  texture.m_width = texture.m_height = 16;
  VQMaterial* m = table->m_slots[1];
  m->m_stageCount = 2;
  m->m_stages[0].m_operation = r.U8() % 10;
  m->m_stages[1].m_operation = r.U8() % 10;
  m->m_stages[0].m_texture = &texture;
  m->m_stages[1].m_texture = &texture;
  device.DrawMeshWith(mesh, table, nullptr, nullptr);
  for (auto& stage : m->m_stages) stage.m_texture = nullptr;
  mesh->m_uv1 = nullptr;
  VQMesh::FreeMemory(mesh);
  VQMattable::Release(table);

  // Pieces of a 16 x 16 pixmap onto a 64 x 48 canvas.
  VQOpenGLCanvas canvas;
  canvas.m_device = &device;
  canvas.Create(2, 64, 48, 32);
  VQOpenGLPixmap pixmap;
  pixmap.Allocate(16, 16, (r.U8() & 1) ? VQPF_RGBA8888 : VQPF_RGB888, nullptr);
  VQImageRef image(&pixmap);
  const uint32_t count = r.U8() % 8;
  int32_t v[6][8];
  for (uint32_t i = 0; i < count; ++i)
    for (auto& column : v) column[i] = r.I16() % 80;
  canvas.BlitImageRects(&image, count, v[0], v[1], v[2], v[3], v[4], v[5]);
  canvas.BlitImage(&image, v[0][0] * (count > 0), v[1][0] * (count > 0), 0, 0);
  canvas.Destroy();
  return 0;
}
