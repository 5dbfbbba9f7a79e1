#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/math/VQGeometry.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"

uint32_t VQOpenGLDisplayDevice::s_live = 0;
uint32_t VQOpenGLTexture::s_live = 0;

namespace {

const char kProbeClass[] = "3dlibGLProbeClass";
bool s_probeClassRegistered = false;

float AsFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

bool Same4(const float* a, const VQColor& c) { return a[0] == c.r && a[1] == c.g && a[2] == c.b && a[3] == c.a; }
void Store4(float* a, const VQColor& c) {
  a[0] = c.r;
  a[1] = c.g;
  a[2] = c.b;
  a[3] = c.a;
}

VQGLenum CompareValue(uint32_t f) {
  switch (f) {
    case VQCMP_ALWAYS: return VQGL_ALWAYS;
    case VQCMP_NEVER: return VQGL_NEVER;
    case VQCMP_LESS: return VQGL_LESS;
    case VQCMP_LESS_EQUAL: return VQGL_LEQUAL;
    case VQCMP_EQUAL: return VQGL_EQUAL;
    case VQCMP_GREATER_EQUAL: return VQGL_GEQUAL;
    case VQCMP_GREATER: return VQGL_GREATER;
    case VQCMP_NOT_EQUAL: return VQGL_NOTEQUAL;
    default: return VQGL_NEVER;
  }
}

VQGLint WrapValue(uint32_t v) { return v == VQWRAP_CLAMP ? VQGL_CLAMP : VQGL_REPEAT; }
VQGLint MagValue(uint32_t v) { return v == VQFILTER_NEAREST ? VQGL_NEAREST : VQGL_LINEAR; }
VQGLint MinValue(uint32_t v) {
  switch (v) {
    case VQFILTER_NEAREST: return VQGL_NEAREST;
    case VQFILTER_NEAREST_MIP_NEAREST: return VQGL_NEAREST_MIPMAP_NEAREST;
    case VQFILTER_NEAREST_MIP_LINEAR: return VQGL_NEAREST_MIPMAP_LINEAR;
    case VQFILTER_LINEAR_MIP_NEAREST: return VQGL_LINEAR_MIPMAP_NEAREST;
    case VQFILTER_LINEAR_MIP_LINEAR: return VQGL_LINEAR_MIPMAP_LINEAR;
    default: return VQGL_LINEAR;
  }
}

// Switches an OpenGL capability on or off.
void Switch(VQGLenum capability, bool on) { on ? g_VQgl.Enable(capability) : g_VQgl.Disable(capability); }

// The blending a material asks for: its own pair, or (for the opaque pair) source alpha over
// inverse source alpha when its colours are transparent, else none.
uint32_t MaterialBlend(uint32_t word, const VQMaterial* material, bool transparent) {
  uint32_t source = material->m_srcBlend, destination = material->m_dstBlend;
  if (source == VQBLEND_ONE && destination == VQBLEND_ZERO) {
    if (!transparent) return word & ~uint32_t(VQRS_BLEND);
    source = VQBLEND_SRC_ALPHA;
    destination = VQBLEND_INV_SRC_ALPHA;
  }
  word = VQrenderState_With(word | VQRS_BLEND, VQRS_SRC_BLEND_SHIFT, source);
  return VQrenderState_With(word, VQRS_DST_BLEND_SHIFT, destination);
}

uint32_t WithBlendPair(uint32_t word, uint32_t source, uint32_t destination) {
  word = VQrenderState_With(word | VQRS_BLEND, VQRS_SRC_BLEND_SHIFT, source);
  return VQrenderState_With(word, VQRS_DST_BLEND_SHIFT, destination);
}

const VQMaterial* MaterialAt(const VQMattable* table, uint32_t index) {
  if (!table || index >= table->m_count || !table->m_slots) return nullptr;
  return table->m_slots[index];
}

}  // namespace

void VQopengl_ConvertMatrix(float* out, const VQMatrix& in) {
  for (int r = 0; r < 4; ++r) {
    const float* row = in.m + 4 * r;
    out[4 * r + 0] = row[0];
    out[4 * r + 1] = row[2];
    out[4 * r + 2] = -row[1];
    out[4 * r + 3] = row[3];
  }
}

uint32_t VQopengl_BlendFactor(uint32_t factor) {
  switch (factor) {
    case VQBLEND_ZERO: return VQGL_ZERO;
    case VQBLEND_ONE: return VQGL_ONE;
    case VQBLEND_SRC_ALPHA: return VQGL_SRC_ALPHA;
    case VQBLEND_INV_SRC_ALPHA: return VQGL_ONE_MINUS_SRC_ALPHA;
    case VQBLEND_SRC_COLOUR: return VQGL_SRC_COLOR;
    case VQBLEND_INV_SRC_COLOUR: return VQGL_ONE_MINUS_SRC_COLOR;
    default:
      std::printf("blendargtype %d\n", int(factor));
      return VQGL_SRC_ALPHA;
  }
}

// ---- Textures ------------------------------------------------------------------------------

VQOpenGLTexture::VQOpenGLTexture() { ++s_live; }

VQOpenGLTexture::~VQOpenGLTexture() {
  if (m_glName && g_VQgl.DeleteTextures) {
    g_VQgl.DeleteTextures(1, &m_glName);
    if (m_owner && m_owner->m_boundTexture == m_glName) m_owner->m_boundTexture = 0xFFFFFFFFu;
  }
  std::free(m_pixels);
  --s_live;
}

void* VQOpenGLTexture::Lock(uint32_t* pitch, uint32_t level) {
  if (level != 0 || !m_pixels) return nullptr;
  if (pitch) *pitch = m_width;
  return m_pixels;
}

void VQOpenGLTexture::SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter) {
  const uint32_t values[4] = {wrapU, wrapV, magFilter, minFilter};
  const VQGLenum names[4] = {VQGL_TEXTURE_WRAP_S, VQGL_TEXTURE_WRAP_T, VQGL_TEXTURE_MAG_FILTER,
                             VQGL_TEXTURE_MIN_FILTER};
  bool bound = false;
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t v = values[i] & 0xF;
    const uint32_t current = (m_sampling >> (4 * i)) & 0xF;
    if (v == 0 || v == current) continue;
    if (!bound && m_owner && m_glName) {
      g_VQgl.BindTexture(VQGL_TEXTURE_2D, m_glName);
      // The context current now may not be the one the cache describes: forget the name.
      m_owner->m_boundTexture = 0xFFFFFFFFu;
      bound = true;
    }
    const VQGLint value = i < 2 ? WrapValue(v) : (i == 2 ? MagValue(v) : MinValue(v));
    if (bound) g_VQgl.TexParameteri(VQGL_TEXTURE_2D, names[i], value);
    m_sampling = (m_sampling & ~(0xFu << (4 * i))) | (v << (4 * i));
    // A mipmapped minification of a texture sent without its smaller levels would leave it
    // incomplete (drawn untextured): it is sent again, with levels.
    if (i == 3 && v >= 3 && current < 3 && m_uploaded) Upload();
  }
}

bool VQOpenGLTexture::Upload() {
  if (!m_owner || !m_glName || !m_pixels || !g_VQgl.TexImage2D) return false;
  m_uploaded = 1;
  g_VQgl.BindTexture(VQGL_TEXTURE_2D, m_glName);
  m_owner->m_boundTexture = 0xFFFFFFFFu;  // as in SetSampling
  g_VQgl.PixelStorei(VQGL_UNPACK_ALIGNMENT, 1);
  const uint32_t minFilter = (m_sampling >> 12) & 0xF;
  if (minFilter >= 3) g_VQgl.TexParameteri(VQGL_TEXTURE_2D, VQGL_GENERATE_MIPMAP, 1);
  if (m_format == VQPF_RGB888) {
    g_VQgl.TexImage2D(VQGL_TEXTURE_2D, 0, 3, VQGLsizei(m_width), VQGLsizei(m_height), 0, VQGL_RGB,
                      VQGL_UNSIGNED_BYTE, m_pixels);
    return true;
  }
  if (m_format == VQPF_RGBA8888) {
    g_VQgl.TexImage2D(VQGL_TEXTURE_2D, 0, 4, VQGLsizei(m_width), VQGLsizei(m_height), 0, VQGL_RGBA,
                      VQGL_UNSIGNED_BYTE, m_pixels);
    return true;
  }
  // Palette images go up as RGBA.
  const size_t n = size_t(m_width) * m_height;
  uint8_t* rgba = static_cast<uint8_t*>(std::malloc(n * 4));
  if (!rgba) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t index = m_pixels[i];
    const uint8_t* e = m_palette ? m_palette + 4 * index : nullptr;
    rgba[4 * i + 0] = e ? e[0] : 0;
    rgba[4 * i + 1] = e ? e[1] : 0;
    rgba[4 * i + 2] = e ? e[2] : 0;
    rgba[4 * i + 3] = 255;
  }
  g_VQgl.TexImage2D(VQGL_TEXTURE_2D, 0, 4, VQGLsizei(m_width), VQGLsizei(m_height), 0, VQGL_RGBA,
                    VQGL_UNSIGNED_BYTE, rgba);
  std::free(rgba);
  return true;
}

float* VQOpenGLTexture::GetPixel(float* rgba, uint32_t x, uint32_t y) {
  if (!m_pixels || x >= m_width || y >= m_height) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
    return rgba;
  }
  return VQpixels_GetRGBA(rgba, m_pixels, m_format, x, y, m_width, m_palette);
}

void VQOpenGLTexture::SetPixel(uint32_t x, uint32_t y, const float* rgba) {
  if (!m_pixels || x >= m_width || y >= m_height) return;
  VQpixels_SetRGBA(m_pixels, m_format, x, y, m_width, rgba);
}

// ---- Pixmaps -------------------------------------------------------------------------------

VQPixmap* VQOpenGLPixmap::CloneEmpty() {
  auto* p = new (std::nothrow) VQOpenGLPixmap();
  if (p) p->m_device = m_device;
  return p;
}

// ---- Device life -----------------------------------------------------------------------------

uint32_t VQopengl_TextureSampling(VQTexture* texture) {
  const auto* t = dynamic_cast<const VQOpenGLTexture*>(texture);
  if (!t) return 0;  // a texture of another device: the writer keeps the stored word
  const uint32_t s = t->Sampling();  // wrap u, wrap v, magnification, minification, low first
  return VQscene_SamplingValue(s & 0xF, (s >> 4) & 0xF, (s >> 8) & 0xF, (s >> 12) & 0xF);
}

VQOpenGLDisplayDevice::VQOpenGLDisplayDevice(uint32_t instance)
    : VQDisplayDevice(VQDEVICE_OPENGL_DISPLAY), m_instance(instance) {
  ++s_live;
  // Scene files written from now on store the sampling the textures really have.
  g_VQsceneTextureSampling = VQopengl_TextureSampling;
}

VQOpenGLDisplayDevice::~VQOpenGLDisplayDevice() {
  if (m_initialised) Close();
  if (--s_live == 0) VQopengl_UnloadLibrary();
}

bool VQOpenGLDisplayDevice::Init() {
  if (s_live > 1 || VQopengl_IsLoaded()) return true;
  if (!VQopengl_LoadLibrary()) return false;
  VQopengl_UnloadLibrary();
  return true;
}

bool VQOpenGLDisplayDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  if (!Init()) return false;
  if (!OpenSteps()) {
    ReleaseContext();
    DestroyManagers();
    if (s_live <= 1) VQopengl_UnloadLibrary();
    return false;
  }
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

bool VQOpenGLDisplayDevice::OpenSteps() {
  if (!VQopengl_LoadLibrary()) return false;
  if (!s_probeClassRegistered) {
    if (!host::register_window_class(kProbeClass, host::default_window_proc))
      return VQerror_Fail(VQERR_GL_PROBE_WINDOW);
    s_probeClassRegistered = true;
  }
  // 32 depth bits first; a driver that refuses them gets 24.
  const int depths[2] = {32, 24};
  int32_t failure = VQERR_GL_PROBE_WINDOW;
  for (int depth : depths) {
    host::gl::request_pixel_format(32, depth, true);
    host::window_desc desc;
    desc.class_name = kProbeClass;
    desc.title = "OpenGL probe";
    desc.width = 10;
    desc.height = 10;
    desc.hidden = true;
    m_probeWindow = host::create_window(desc);
    if (!m_probeWindow) {
      failure = VQERR_GL_PROBE_WINDOW;
      continue;
    }
    if (!host::gl::window_has_gl(m_probeWindow)) {
      failure = VQERR_GL_PROBE_PIXELFORMAT;
      ReleaseContext();
      continue;
    }
    m_context = host::gl::create_context(m_probeWindow, false);
    if (!m_context) {
      failure = VQERR_GL_PROBE_CONTEXT;
      ReleaseContext();
      continue;
    }
    m_depthBits = uint32_t(depth);
    break;
  }
  if (!m_context) return VQerror_Fail(failure);
  if (!host::gl::make_current(m_probeWindow, m_context)) return VQerror_Fail(VQERR_GL_PROBE_CONTEXT);
  const int32_t version = VQopengl_CheckVersion(reinterpret_cast<const char*>(g_VQgl.GetString(VQGL_VERSION)));
  if (version != 0) return VQerror_Fail(version);
  m_maxLights = 0;
  LightCount();
  m_pixmapRowOrder = 1;  // bottom row first
  m_pixelFormat = VQPF_BGR888;
  m_vertexColourFormat = VQPF_RGBA8888;
  if (!CreateManagers()) return false;
  if (!g_VQsystem.AddDevice(this)) return false;
  m_registered = 1;
  return true;
}

void VQOpenGLDisplayDevice::ReleaseContext() {
  if (m_context) {
    host::gl::make_current(0, 0);
    host::gl::delete_context(m_context);
    m_context = 0;
  }
  if (m_probeWindow) {
    host::destroy_window(m_probeWindow);
    m_probeWindow = 0;
  }
}

void VQOpenGLDisplayDevice::Close() {
  if (!m_initialised) return;
  // Textures are deleted while the device's context is current; the context goes last.
  if (m_context) host::gl::make_current(m_probeWindow, m_context);
  CloseDisplay();
  ReleaseContext();
}

VQOpenGLDisplayDevice* VQopengl_Device() {
  static VQOpenGLDisplayDevice s_device(0);
  return &s_device;
}

VQDevice* VQopengl_GetDisplayDevice(int kind, int index) {
  if (kind != int(VQDEVICE_OPENGL_DISPLAY) || index != 0) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(VQopengl_Device());
}

uint32_t VQOpenGLDisplayDevice::LightCount() {
  if (m_maxLights == 0) {
    VQGLint n = 0;
    if (g_VQgl.GetIntegerv) {
      g_VQgl.GetIntegerv(VQGL_MAX_LIGHTS, &n);
      m_maxLights = n > 0 ? uint32_t(n) : 1;
    } else {
      return 8;
    }
  }
  return m_maxLights;
}

// ---- Frames ----------------------------------------------------------------------------------

void VQOpenGLDisplayDevice::RenderAll() {
  if (g_VQgl.GetError) g_VQgl.GetError();
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    VQCanvas* c = m_canvases[i];
    if (c && c->m_created && c->m_shown) c->RenderFrame();
  }
}

void VQOpenGLDisplayDevice::PresentAll() {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    VQCanvas* c = m_canvases[i];
    if (c && c->m_created && c->m_shown) c->Present();
  }
  if (g_VQgl.Flush) g_VQgl.Flush();
}

uint32_t VQOpenGLDisplayDevice::BindManagedTextures() {
  if (!m_textureManager) return 0;
  for (uint32_t i = 0; i < m_textureManager->m_count; ++i) {
    VQTexture* t = m_textureManager->m_textures[i];
    if (!t || t->m_device != this) continue;
    auto* gt = static_cast<VQOpenGLTexture*>(t);
    VQGLint resident = 0;
    g_VQgl.BindTexture(VQGL_TEXTURE_2D, gt->m_glName);
    g_VQgl.GetTexParameteriv(VQGL_TEXTURE_2D, VQGL_TEXTURE_RESIDENT, &resident);
  }
  // The pass bound other textures: the cache no longer knows which one is bound.
  m_boundTexture = 0xFFFFFFFFu;
  return 0;
}

void VQOpenGLDisplayDevice::SetFillMode(uint32_t mode) {
  VQGLenum m;
  switch (mode) {
    case VQFILL_POINTS: m = VQGL_POINT; break;
    case VQFILL_LINES: case VQFILL_WIREFRAME: m = VQGL_LINE; break;
    case VQFILL_SOLID: m = VQGL_FILL; break;
    default: return;
  }
  g_VQgl.PolygonMode(VQGL_FRONT_AND_BACK, m);
}

// ---- Display modes ---------------------------------------------------------------------------

bool VQOpenGLDisplayDevice::GetModeCount(uint32_t* count) {
  if (!count) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  *count = uint32_t(host::gl::mode_count());
  return true;
}

bool VQOpenGLDisplayDevice::GetModes(uint32_t* count, VQDisplayMode** modes) {
  if (!count || !modes) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  *count = 0;
  *modes = nullptr;
  const int n = host::gl::mode_count();
  if (n <= 0) return true;
  VQDisplayMode* list = new (std::nothrow) VQDisplayMode[size_t(n)];
  if (!list) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  uint32_t filled = 0;
  for (int i = 0; i < n; ++i) {
    host::gl::display_mode m;
    if (!host::gl::mode_at(i, &m)) continue;
    list[filled].width = uint32_t(m.width);
    list[filled].height = uint32_t(m.height);
    list[filled].bits = uint32_t(m.bits);
    list[filled].refresh = uint32_t(m.refresh);
    ++filled;
  }
  if (filled == 0) {
    delete[] list;
    return true;
  }
  *count = filled;
  *modes = list;
  return true;
}

bool VQOpenGLDisplayDevice::GetCurrentMode(VQDisplayMode* mode) {
  if (!mode) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  host::gl::display_mode m;
  if (!host::gl::desktop_mode(&m)) return VQerror_Fail(VQERR_DISPLAY_MODE_QUERY);
  mode->width = uint32_t(m.width);
  mode->height = uint32_t(m.height);
  mode->bits = uint32_t(m.bits);
  mode->refresh = uint32_t(m.refresh);
  return true;
}

bool VQOpenGLDisplayDevice::SetMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh) {
  // A mode change goes with a full-screen canvas's window.
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    VQCanvas* c = m_canvases[i];
    if (!c || c->m_mode == VQCANVAS_WINDOWED) continue;
    host::gl::display_mode m;
    m.width = int(width);
    m.height = int(height);
    m.bits = int(bits);
    m.refresh = int(refresh);
    if (host::gl::set_fullscreen_mode(c->m_window, m)) return true;
    break;
  }
  return VQerror_Fail(VQERR_MODE_SWITCH);
}

uint32_t VQOpenGLDisplayDevice::PackColourF(float red, float green, float blue, float alpha) {
  return VQcolour_Pack(red, green, blue, alpha);
}
uint32_t VQOpenGLDisplayDevice::PackColourB(const uint8_t* rgba) {
  if (!rgba) return 0;
  return uint32_t(rgba[0]) | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]) << 16 | uint32_t(rgba[3]) << 24;
}
uint32_t VQOpenGLDisplayDevice::PackColourV(const float* rgba) {
  if (!rgba) return 0;
  return VQcolour_Pack(rgba[0], rgba[1], rgba[2], rgba[3]);
}

// ---- Render state ----------------------------------------------------------------------------

namespace {
uint32_t RenderFlagBit(uint32_t flag) {
  switch (flag) {
    case VQRENDER_BLENDING: return VQRS_BLEND;
    case VQRENDER_DEPTH_TEST: return VQRS_DEPTH_TEST;
    case VQRENDER_DEPTH_WRITE: return VQRS_DEPTH_WRITE;
    case VQRENDER_LIGHTING: return VQRS_LIGHTING;
    default: return 0;
  }
}
}  // namespace

void VQOpenGLDisplayDevice::ApplyRenderState(uint32_t word, float alphaReference, uint32_t force) {
  word &= VQRS_ALL;
  const uint32_t changed = ((word ^ m_state) | force) & VQRS_ALL;
  const uint32_t alpha = VQrenderState_Field(word, VQRS_ALPHA_FUNC_SHIFT);
  const bool alphaChanged = (changed & VQRS_ALPHA_FUNC) || (alpha != VQCMP_OFF && alphaReference != m_alphaReference);
  if (!changed && !alphaChanged) return;
  if (changed & VQRS_TEXTURE) Switch(VQGL_TEXTURE_2D, word & VQRS_TEXTURE);
  if (changed & VQRS_BLEND) Switch(VQGL_BLEND, word & VQRS_BLEND);
  if (changed & (VQRS_SRC_BLEND | VQRS_DST_BLEND))
    g_VQgl.BlendFunc(VQopengl_BlendFactor(VQrenderState_Field(word, VQRS_SRC_BLEND_SHIFT)),
                     VQopengl_BlendFactor(VQrenderState_Field(word, VQRS_DST_BLEND_SHIFT)));
  if (changed & VQRS_VERTEX_COLOUR) {
    if (word & VQRS_VERTEX_COLOUR) {
      g_VQgl.Enable(VQGL_COLOR_MATERIAL);
      g_VQgl.ColorMaterial(VQGL_FRONT_AND_BACK, VQGL_AMBIENT_AND_DIFFUSE);
    } else {
      g_VQgl.Disable(VQGL_COLOR_MATERIAL);
      // The vertex colours overwrote the material colours the cache remembers.
      MarkMaterialStale();
    }
  }
  if (changed & VQRS_DEPTH_FUNC) g_VQgl.DepthFunc(CompareValue(VQrenderState_Field(word, VQRS_DEPTH_FUNC_SHIFT)));
  if (changed & VQRS_DEPTH_WRITE) g_VQgl.DepthMask((word & VQRS_DEPTH_WRITE) ? 1 : 0);
  if (changed & VQRS_DEPTH_TEST) Switch(VQGL_DEPTH_TEST, word & VQRS_DEPTH_TEST);
  if (changed & VQRS_LIGHTING) Switch(VQGL_LIGHTING, word & VQRS_LIGHTING);
  if (alphaChanged) {
    if (alpha == VQCMP_OFF) {
      g_VQgl.Disable(VQGL_ALPHA_TEST);
    } else {
      const bool wasOff = VQrenderState_Field(m_state, VQRS_ALPHA_FUNC_SHIFT) == VQCMP_OFF;
      if (wasOff || (force & VQRS_ALPHA_FUNC)) g_VQgl.Enable(VQGL_ALPHA_TEST);
      g_VQgl.AlphaFunc(CompareValue(alpha), alphaReference);
      m_alphaReference = alphaReference;
    }
  }
  m_state = word;
}

void VQOpenGLDisplayDevice::SetRenderFlag(uint32_t flag, bool value) {
  const uint32_t bit = RenderFlagBit(flag);
  if (bit) ApplyRenderState(VQrenderState_Flag(m_state, bit, value));
}

bool VQOpenGLDisplayDevice::GetRenderFlag(uint32_t flag) {
  const uint32_t bit = RenderFlagBit(flag);
  return bit != 0 && Has(bit);
}

void VQOpenGLDisplayDevice::SetBlend(uint32_t sourceFactor, uint32_t destinationFactor) {
  const uint32_t word = VQrenderState_With(m_state, VQRS_SRC_BLEND_SHIFT, sourceFactor);
  ApplyRenderState(VQrenderState_With(word, VQRS_DST_BLEND_SHIFT, destinationFactor));
}

void VQOpenGLDisplayDevice::SetTexturing(bool on) { ApplyRenderState(VQrenderState_Flag(m_state, VQRS_TEXTURE, on)); }

void VQOpenGLDisplayDevice::BindTextureName(uint32_t name) {
  SetTexturing(true);
  if (name == m_boundTexture) return;
  g_VQgl.BindTexture(VQGL_TEXTURE_2D, name);
  m_boundTexture = name;
}

void VQOpenGLDisplayDevice::BindTexture(VQTexture* texture) {
  if (!texture) {
    SetTexturing(false);
    return;
  }
  if (texture->m_device != this) return;  // a texture of another device has no name here
  BindTextureName(static_cast<VQOpenGLTexture*>(texture)->m_glName);
}

void VQOpenGLDisplayDevice::SetAlphaTest(uint32_t function, float reference) {
  const uint32_t word = VQrenderState_With(m_state, VQRS_ALPHA_FUNC_SHIFT, VQrenderState_AlphaFunction(function));
  ApplyRenderState(word, function == VQCMP_OFF ? m_alphaReference : reference);
}

void VQOpenGLDisplayDevice::MarkMaterialStale() {
  m_matDiffuse[0] = 2.0f;
  m_matAmbient[0] = 2.0f;
}

void VQOpenGLDisplayDevice::SetModelMatrix(const VQMatrix* matrix, uintptr_t) {
  if (!matrix) return;
  float m[16];
  VQopengl_ConvertMatrix(m, *matrix);
  g_VQgl.MatrixMode(VQGL_MODELVIEW);
  g_VQgl.LoadMatrixf(m);
}

void VQOpenGLDisplayDevice::ResetState() {
  ApplyRenderState(VQRS_DEFAULT, m_alphaReference, VQRS_ALL);
  m_boundTexture = 0xFFFFFFFFu;
  g_VQgl.Color4f(1, 1, 1, 1);
  m_colourChanged = 0;
  m_fogCount = 0;
  g_VQgl.Disable(VQGL_FOG);
  m_lightCount = 0;
  static const float white[4] = {1, 1, 1, 1};
  static const float black[4] = {0, 0, 0, 1};
  g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_AMBIENT, white);
  g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_DIFFUSE, white);
  g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_SPECULAR, black);
  g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_EMISSION, black);
  g_VQgl.Materialf(VQGL_FRONT_AND_BACK, VQGL_SHININESS, 0.0f);
  std::memcpy(m_matAmbient, white, sizeof white);
  std::memcpy(m_matDiffuse, white, sizeof white);
  std::memcpy(m_matSpecular, black, sizeof black);
  std::memcpy(m_matEmission, black, sizeof black);
  m_matOpacity = 1.0f;
  m_matShininess = 0.0f;
}

// ---- Materials -------------------------------------------------------------------------------

void VQOpenGLDisplayDevice::ApplyMaterialColours(const VQMaterial* material, bool* transparent) {
  bool t = false;
  if (material) {
    if (!Same4(m_matAmbient, material->m_ambient)) {
      Store4(m_matAmbient, material->m_ambient);
      g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_AMBIENT, m_matAmbient);
    }
    const float alpha = material->m_diffuse.a * material->m_opacity;
    if (!Same4(m_matDiffuse, material->m_diffuse) || m_matOpacity != material->m_opacity) {
      Store4(m_matDiffuse, material->m_diffuse);
      m_matOpacity = material->m_opacity;
      const float sent[4] = {material->m_diffuse.r, material->m_diffuse.g, material->m_diffuse.b, alpha};
      g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_DIFFUSE, sent);
    }
    t = alpha < 1.0f;
    if (!Same4(m_matSpecular, material->m_specular)) {
      Store4(m_matSpecular, material->m_specular);
      g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_SPECULAR, m_matSpecular);
    }
    if (!Same4(m_matEmission, material->m_emission)) {
      Store4(m_matEmission, material->m_emission);
      g_VQgl.Materialfv(VQGL_FRONT_AND_BACK, VQGL_EMISSION, m_matEmission);
    }
    if (m_matShininess != material->m_shininess) {
      m_matShininess = material->m_shininess;
      g_VQgl.Materialf(VQGL_FRONT_AND_BACK, VQGL_SHININESS, material->m_shininess * 128.0f);
    }
  }
  if (transparent) *transparent = t;
}

void VQOpenGLDisplayDevice::ApplyMaterialStage(const VQMaterial* material, uint32_t stage, bool* skip) {
  bool skipped = false;
  bool transparent = false;
  if (skip) *skip = false;
  // A material number outside the table: drawn untextured with the colours in force.
  if (!material) {
    SetTexturing(false);
    return;
  }
  uint32_t word = m_state;
  const VQTexture* texture = nullptr;
  bool textured = false;
  bool colour = false;  // a constant colour for the stage, sent after the word
  float alpha = 1.0f;
  if (material->m_stageCount == 0) {
    ApplyMaterialColours(material, &transparent);
  } else if (stage < material->m_stageCount && stage < VQMATERIAL_MAX_STAGES) {
    const VQMaterialStage& s = material->m_stages[stage];
    if (s.m_settings[VQSTAGE_COLOUR_ARG1] == VQSTAGE_ARG_MATERIAL ||
        s.m_settings[VQSTAGE_COLOUR_ARG2] == VQSTAGE_ARG_MATERIAL)
      ApplyMaterialColours(material, &transparent);
    // A later stage is drawn as a pass of its own: its operation becomes the blending of that
    // pass over the one below.
    const bool later = stage > 0;
    switch (s.m_operation) {
      case VQSTAGEOP_DISABLE:
        skipped = true;
        break;
      case VQSTAGEOP_MODULATE:
        if (later) word = WithBlendPair(word, VQBLEND_ZERO, VQBLEND_SRC_COLOUR);
        colour = later;
        textured = true;
        break;
      case VQSTAGEOP_ADD:
        if (later) word = WithBlendPair(word, VQBLEND_SRC_ALPHA, VQBLEND_ONE);
        colour = later;
        alpha = 0.5f;
        textured = true;
        break;
      case VQSTAGEOP_BLEND_FACTOR_ALPHA:
        if (later) word = WithBlendPair(word, VQBLEND_SRC_ALPHA, VQBLEND_INV_SRC_ALPHA);
        colour = later;
        alpha = AsFloat(material->m_alphaFactor);
        textured = true;
        break;
      case VQSTAGEOP_BLEND_TEXTURE_ALPHA:
        textured = true;
        break;
      default:
        break;
    }
    texture = s.m_texture;
  }
  const bool bind = textured && texture && texture->m_device == this;
  word = VQrenderState_Flag(word, VQRS_TEXTURE, bind);
  if (stage == 0) word = MaterialBlend(word, material, transparent);
  word = VQrenderState_With(word, VQRS_ALPHA_FUNC_SHIFT, VQrenderState_AlphaFunction(material->m_alphaFunc));
  ApplyRenderState(word, material->m_alphaFunc == VQCMP_OFF ? m_alphaReference : AsFloat(material->m_alphaValue));
  if (colour) {
    g_VQgl.Color4f(1, 1, 1, alpha);
    m_colourChanged = 1;
  }
  if (bind) {
    const uint32_t name = static_cast<const VQOpenGLTexture*>(texture)->m_glName;
    if (name != m_boundTexture) {
      g_VQgl.GetError();
      g_VQgl.BindTexture(VQGL_TEXTURE_2D, name);
      g_VQgl.GetError();
      m_boundTexture = name;
    }
  }
  if (skip) *skip = skipped;
}

void VQOpenGLDisplayDevice::ApplyMaterial(VQMaterial* material) { ApplyMaterialStage(material, 0, nullptr); }

void VQOpenGLDisplayDevice::ApplyState() {
  uint32_t word = m_state;
  if (!m_lighting) {
    if (m_colourChanged) {
      g_VQgl.Color4f(1, 1, 1, 1);
      m_colourChanged = 0;
    }
    if (Has(VQRS_LIGHTING)) m_lightCount = 0;
    word &= ~uint32_t(VQRS_LIGHTING);
  } else {
    // Lighting with no light enabled would draw everything black: it goes on with the first
    // light (EnableLight) and stays as it is until then.
    if (m_lightCount > 0) word |= VQRS_LIGHTING;
  }
  if (m_material) {
    bool transparent = false;
    ApplyMaterialColours(m_material, &transparent);
    word = MaterialBlend(word, m_material, transparent);
  }
  ApplyRenderState(word);
}

// ---- Lights and fog --------------------------------------------------------------------------

bool VQOpenGLDisplayDevice::EnableLight(const VQLightNode* light, uint32_t index) {
  if (index >= LightCount()) return VQerror_Fail(VQERR_LIGHT_INDEX);
  if (m_lightCount == 0) SetRenderFlag(VQRENDER_LIGHTING, true);
  const VQGLenum id = VQGL_LIGHT0 + index;
  if (light && light->m_lightType == 0) {
    const float ambient[4] = {light->m_ambient.r, light->m_ambient.g, light->m_ambient.b, light->m_ambient.a};
    const float diffuse[4] = {light->m_diffuse.r, light->m_diffuse.g, light->m_diffuse.b, light->m_diffuse.a};
    const float specular[4] = {light->m_specular.r, light->m_specular.g, light->m_specular.b, light->m_specular.a};
    const float position[4] = {-light->m_direction.x, -light->m_direction.y, -light->m_direction.z, 0.0f};
    g_VQgl.Lightfv(id, VQGL_AMBIENT, ambient);
    g_VQgl.Lightfv(id, VQGL_DIFFUSE, diffuse);
    g_VQgl.Lightfv(id, VQGL_SPECULAR, specular);
    // The direction is given in the light's own frame: OpenGL turns it by the model-view
    // matrix in force, so the light's placement is loaded for this one call.
    float m[16];
    VQopengl_ConvertMatrix(m, light->m_placement);
    g_VQgl.MatrixMode(VQGL_MODELVIEW);
    g_VQgl.PushMatrix();
    g_VQgl.LoadMatrixf(m);
    g_VQgl.Lightfv(id, VQGL_POSITION, position);
    g_VQgl.PopMatrix();
  }
  g_VQgl.Enable(id);
  ++m_lightCount;
  return true;
}

void VQOpenGLDisplayDevice::DisableLight(const VQLightNode*, uint32_t index) {
  g_VQgl.Disable(VQGL_LIGHT0 + index);
  if (m_lightCount > 0) --m_lightCount;
  if (m_lightCount == 0) SetRenderFlag(VQRENDER_LIGHTING, false);
}

bool VQOpenGLDisplayDevice::FogOn(const VQFogNode* fog) {
  if (!fog) return false;
  if (m_fogCount == 0) g_VQgl.Enable(VQGL_FOG);
  const float colour[4] = {fog->m_colour.r, fog->m_colour.g, fog->m_colour.b, fog->m_colour.a};
  g_VQgl.Fogfv(VQGL_FOG_COLOR, colour);
  if (fog->m_mode == 0) {
    g_VQgl.Disable(VQGL_FOG);
  } else if (fog->m_mode == 1) {
    g_VQgl.Fogi(VQGL_FOG_MODE, VQGL_LINEAR);
    g_VQgl.Fogf(VQGL_FOG_START, fog->m_start);
    g_VQgl.Fogf(VQGL_FOG_END, fog->m_end);
  }
  ++m_fogCount;
  return true;
}

void VQOpenGLDisplayDevice::FogOff(const VQFogNode*) {
  if (m_fogCount == 0) return;
  if (--m_fogCount == 0) g_VQgl.Disable(VQGL_FOG);
}

// ---- Meshes ----------------------------------------------------------------------------------

void VQOpenGLDisplayDevice::DrawMesh(VQMesh* mesh, uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t,
                                     uintptr_t, uintptr_t) {
  DrawMeshWith(mesh, reinterpret_cast<const VQMattable*>(a), reinterpret_cast<const VQMatrix*>(b),
               reinterpret_cast<const VQVector*>(c));
}

void VQOpenGLDisplayDevice::LoadMeshModelView(const VQMesh* mesh, const VQMatrix* matrix, const VQVector* position) {
  VQRenderContext& rc = g_VQrender;
  VQMatrix mv;
  VQVector camera(0, 0, 0);
  if (rc.m_camera) camera = rc.m_camera->GetPosition();
  if ((mesh->m_flags & VQMESH_AT_CAMERA_OFFSET) && position) {
    mv.MakeTranslation(position->x - camera.x, position->y - camera.y, position->z - camera.z);
  } else if ((mesh->m_flags & VQMESH_TURN_ABOUT_CAMERA) && matrix) {
    VQVector angles;
    matrix->GetRotationAngles(angles);
    VQMatrix toCamera, turn;
    toCamera.MakeTranslation(-camera.x, -camera.y, -camera.z);
    turn.MakeRotationZ(-angles.z);
    turn.SetTranslation(camera);
    mv = toCamera * turn * (*matrix);
  } else if (matrix) {
    mv = *matrix;
  }
  VQopengl_ConvertMatrix(m_loadedModelView, mv);
  g_VQgl.MatrixMode(VQGL_MODELVIEW);
  g_VQgl.LoadMatrixf(m_loadedModelView);
  rc.m_matrixChanged = 0;
}

void VQOpenGLDisplayDevice::SetMeshArrays(const VQMesh* mesh) {
  g_VQgl.EnableClientState(VQGL_VERTEX_ARRAY);
  g_VQgl.VertexPointer(3, VQGL_FLOAT, 0, mesh->m_positions);
  if (mesh->m_normals) {
    g_VQgl.EnableClientState(VQGL_NORMAL_ARRAY);
    g_VQgl.NormalPointer(VQGL_FLOAT, 0, mesh->m_normals);
  } else {
    g_VQgl.DisableClientState(VQGL_NORMAL_ARRAY);
  }
  ApplyRenderState(VQrenderState_Flag(m_state, VQRS_VERTEX_COLOUR, mesh->m_colours != nullptr));
  if (mesh->m_colours) {
    g_VQgl.EnableClientState(VQGL_COLOR_ARRAY);
    g_VQgl.ColorPointer(4, VQGL_UNSIGNED_BYTE, 0, mesh->m_colours);
    // Drawing from the array leaves its last vertex colour as the current colour: the next
    // mesh sets white again, or an unlit mesh after this one would take that colour.
    m_colourChanged = 1;
  } else {
    g_VQgl.DisableClientState(VQGL_COLOR_ARRAY);
  }
  if (mesh->m_uv0) {
    g_VQgl.EnableClientState(VQGL_TEXTURE_COORD_ARRAY);
    g_VQgl.TexCoordPointer(2, VQGL_FLOAT, 0, mesh->m_uv0);
  } else {
    g_VQgl.DisableClientState(VQGL_TEXTURE_COORD_ARRAY);
  }
}

bool VQOpenGLDisplayDevice::DrawFirstPass(const VQMesh* mesh, const VQMattable* table, uint32_t* material) {
  // A triangle naming a vertex the mesh does not have is left out.
  const uint32_t n = mesh->m_vertexCount;
  bool open = false;
  bool secondStage = false;
  for (uint32_t t = 0; t < mesh->m_triangleCount; ++t) {
    const uint16_t* idx = mesh->m_indices + 3 * t;
    if (idx[0] >= n || idx[1] >= n || idx[2] >= n) continue;
    const uint32_t m = mesh->MaterialOf(t);
    if (m != *material) {
      if (open) g_VQgl.End();
      const VQMaterial* mat = MaterialAt(table, m);
      ApplyMaterialStage(mat, 0, nullptr);
      if (mat && mat->m_stageCount > 1) secondStage = true;
      g_VQgl.Begin(VQGL_TRIANGLES);
      open = true;
      *material = m;
    }
    g_VQgl.ArrayElement(idx[0]);
    g_VQgl.ArrayElement(idx[1]);
    g_VQgl.ArrayElement(idx[2]);
  }
  if (open) g_VQgl.End();
  return secondStage;
}

const float* VQOpenGLDisplayDevice::SecondStageCoordinates(const VQMesh* mesh) {
  if (mesh->m_uv1) return mesh->m_uv1;
  // Sphere-map style: the normal turned by the model-view matrix, from -1..1 to 0..1.
  const uint32_t n = mesh->m_vertexCount;
  m_generatedUV.resize(size_t(n) * 2);
  const float* mm = m_loadedModelView;
  for (uint32_t v = 0; v < n; ++v) {
    const VQVector& nv = mesh->m_normals[v];
    m_generatedUV[2 * v] = (mm[0] * nv.x + mm[4] * nv.y + mm[8] * nv.z + 1.0f) * 0.5f;
    m_generatedUV[2 * v + 1] = (mm[1] * nv.x + mm[5] * nv.y + mm[9] * nv.z + 1.0f) * 0.5f;
  }
  return m_generatedUV.data();
}

void VQOpenGLDisplayDevice::DrawSecondPass(const VQMesh* mesh, const VQMattable* table, bool unlit,
                                           uint32_t* material) {
  const float* coordinates = SecondStageCoordinates(mesh);
  if (mesh->m_colours) g_VQgl.DisableClientState(VQGL_COLOR_ARRAY);
  if (mesh->m_normals) g_VQgl.DisableClientState(VQGL_NORMAL_ARRAY);
  if (!mesh->m_uv0) g_VQgl.EnableClientState(VQGL_TEXTURE_COORD_ARRAY);
  // The pass lays the stage over the first on equal depth, unlit, without writing depth;
  // lighting, depth comparison and writes are given back as they were afterwards.
  constexpr uint32_t kPassFields = VQRS_LIGHTING | VQRS_DEPTH_FUNC | VQRS_DEPTH_WRITE;
  const uint32_t before = m_state;
  uint32_t word = VQrenderState_Flag(m_state, VQRS_LIGHTING, (m_state & VQRS_LIGHTING) && !unlit);
  word = VQrenderState_With(word & ~uint32_t(VQRS_DEPTH_WRITE), VQRS_DEPTH_FUNC_SHIFT, VQCMP_EQUAL);
  ApplyRenderState(word);
  g_VQgl.TexCoordPointer(2, VQGL_FLOAT, 0, coordinates);
  const uint32_t n = mesh->m_vertexCount;
  uint32_t current = 0xFFFFFFFFu;
  bool draw = false;
  bool open = false;
  for (uint32_t t = 0; t < mesh->m_triangleCount; ++t) {
    const uint16_t* idx = mesh->m_indices + 3 * t;
    if (idx[0] >= n || idx[1] >= n || idx[2] >= n) continue;
    const uint32_t m = mesh->MaterialOf(t);
    if (m != current) {
      current = m;
      const VQMaterial* mat = MaterialAt(table, m);
      draw = false;
      if (mat && mat->m_stageCount > 1 && mat->m_stages[1].m_texture) {
        if (open) g_VQgl.End();
        open = false;
        bool skip = false;
        ApplyMaterialStage(mat, 1, &skip);
        draw = !skip;
        if (draw) {
          g_VQgl.Begin(VQGL_TRIANGLES);
          open = true;
        }
      }
    }
    if (!draw) continue;
    g_VQgl.ArrayElement(idx[0]);
    g_VQgl.ArrayElement(idx[1]);
    g_VQgl.ArrayElement(idx[2]);
  }
  if (open) g_VQgl.End();
  ApplyRenderState((m_state & ~kPassFields) | (before & kPassFields));
  *material = current;
}

void VQOpenGLDisplayDevice::DrawMeshCurves(const VQMesh* mesh, const VQMattable* table, bool unlit,
                                           uint32_t material) {
  // Cubic Bezier segments in four straight pieces each, unlit. Records are checked against the
  // positions the mesh has.
  const uint32_t before = m_state;
  if (unlit) ApplyRenderState(m_state & ~uint32_t(VQRS_LIGHTING));
  for (uint32_t c = 0; c < mesh->m_extraCount; ++c) {
    const uint8_t* r = mesh->m_extra + 8 * c;
    const uint32_t m = uint32_t(r[0] | r[1] << 8);
    const uint32_t points = uint32_t(r[2] | r[3] << 8);
    const uint32_t first = uint32_t(r[4]) | uint32_t(r[5]) << 8 | uint32_t(r[6]) << 16 | uint32_t(r[7]) << 24;
    if (points < 2 || uint64_t(first) + 3ull * points > mesh->m_vertexCount) continue;
    if (m != material) {
      ApplyMaterialStage(MaterialAt(table, m), 0, nullptr);
      material = m;
    }
    const VQVector* p = mesh->m_positions + first;
    for (uint32_t k = 0; k + 1 < points; ++k) {
      const VQVector& p0 = p[3 * k];
      const VQVector& p1 = p[3 * k + 2];
      const VQVector& p2 = p[3 * (k + 1) + 1];
      const VQVector& p3 = p[3 * (k + 1)];
      VQVector a = p0;
      for (int piece = 1; piece <= 4; ++piece) {
        VQVector b;
        VQmath_BezierPoint(b, 0.25f * piece, p0, p1, p2, p3);
        g_VQgl.Begin(VQGL_LINES);
        g_VQgl.Vertex3f(a.x, a.y, a.z);
        g_VQgl.Vertex3f(b.x, b.y, b.z);
        g_VQgl.End();
        a = b;
      }
    }
  }
  if (unlit) ApplyRenderState(VQrenderState_Flag(m_state, VQRS_LIGHTING, before & VQRS_LIGHTING));
}

void VQOpenGLDisplayDevice::DrawMeshWith(VQMesh* mesh, const VQMattable* table, const VQMatrix* matrix,
                                         const VQVector* position) {
  if (!mesh) return;
  VQRenderContext& rc = g_VQrender;
  LoadMeshModelView(mesh, matrix, position);
  uint32_t word = VQrenderState_Flag(m_state, VQRS_DEPTH_WRITE, !(mesh->m_flags & VQMESH_NO_DEPTH_WRITE));
  ApplyRenderState(VQrenderState_Flag(word, VQRS_DEPTH_TEST, !(mesh->m_flags & VQMESH_NO_DEPTH_TEST)));
  if (m_colourChanged) {
    g_VQgl.Color4f(1, 1, 1, 1);
    m_colourChanged = 0;
  }
  // Lighting is switched off for the unlit passes only when it is on: switching it back on
  // afterwards would otherwise light later meshes with no light enabled.
  const bool unlit = rc.m_viewport && rc.m_viewport->m_lighting && Has(VQRS_LIGHTING);
  uint32_t material = 0xFFFFFFFFu;
  if (mesh->m_triangleCount > 0 && mesh->m_positions && mesh->m_indices && mesh->m_records &&
      mesh->m_vertexCount > 0) {
    SetMeshArrays(mesh);
    const bool secondStage = DrawFirstPass(mesh, table, &material);
    rc.m_stats[VQSTAT_DEVICE_A] += mesh->m_triangleCount;
    rc.m_stats[VQSTAT_DEVICE_B] += 3 * mesh->m_triangleCount;
    // A mesh with neither a second coordinate set nor normals has nothing to map the second
    // stage with and gets no second pass.
    if (secondStage && (mesh->m_uv1 || mesh->m_normals)) DrawSecondPass(mesh, table, unlit, &material);
  }
  if (mesh->m_extraCount > 0 && mesh->m_extra && !(mesh->m_flags & VQMESH_VERTEX_BLEND) && mesh->m_positions)
    DrawMeshCurves(mesh, table, unlit, material);
}

// ---- Immediate primitives --------------------------------------------------------------------

namespace {
void Primitive(VQOpenGLDisplayDevice* d, VQGLenum mode, uint32_t count, const float* positions,
               const uint32_t* colours, const float* uvs, const float* normal) {
  if (!positions) return;
  d->ApplyRenderState(VQrenderState_Flag(d->m_state, VQRS_VERTEX_COLOUR, colours != nullptr));
  if (colours) d->m_colourChanged = 1;
  g_VQgl.Begin(mode);
  if (normal) g_VQgl.Normal3fv(normal);
  for (uint32_t i = 0; i < count; ++i) {
    if (colours) g_VQgl.Color4ubv(reinterpret_cast<const VQGLubyte*>(colours + i));
    if (uvs) g_VQgl.TexCoord2fv(uvs + 2 * i);
    g_VQgl.Vertex3fv(positions + 3 * i);
  }
  g_VQgl.End();
}
}  // namespace

void VQOpenGLDisplayDevice::DrawTriangle(const float* positions, const uint32_t* colours, const float* uvs,
                                         const float* normal) {
  Primitive(this, VQGL_TRIANGLES, 3, positions, colours, uvs, normal);
}

void VQOpenGLDisplayDevice::DrawQuad(const float* positions, const uint32_t* colours, const float* uvs,
                                     const float* normal) {
  Primitive(this, VQGL_QUADS, 4, positions, colours, uvs, normal);
}

void VQOpenGLDisplayDevice::DrawLines(uint32_t count, const float* points, bool closed) {
  if (!points || count == 0) return;
  g_VQgl.Color4f(1, 1, 1, 1);
  m_colourChanged = 0;
  g_VQgl.Begin(VQGL_LINE_STRIP);
  for (uint32_t i = 0; i < count; ++i) g_VQgl.Vertex3fv(points + 3 * i);
  if (closed) g_VQgl.Vertex3fv(points);
  g_VQgl.End();
}

// ---- Textures and pixmaps --------------------------------------------------------------------

uint32_t VQOpenGLDisplayDevice::GetPixmapFormatFor(uint32_t format) {
  switch (format) {
    case VQPF_PAL8: return VQPF_PAL8;
    case VQPF_BGR888: case VQPF_RGB888: case VQPF_XBGR8888: case VQPF_XRGB8888: case VQPF_BGRX8888:
    case VQPF_RGBX8888: return VQPF_RGB888;
    case VQPF_ABGR8888: case VQPF_ARGB8888: case VQPF_BGRA8888: case VQPF_RGBA8888: return VQPF_RGBA8888;
    default: return VQPF_NONE;  // the 16-bit formats
  }
}

uint32_t VQOpenGLDisplayDevice::GetTextureFormatFor(uint32_t format) {
  if (format == VQPF_BGR888) return VQPF_RGB888;
  if (format == VQPF_BGRA8888) return VQPF_RGBA8888;
  return format;
}

VQTexture* VQOpenGLDisplayDevice::CreateTexture(const void* pixels, uint32_t width, uint32_t height,
                                                uint32_t format, uint8_t* palette, uint32_t) {
  if (!pixels || width == 0 || height == 0 || VQPixelFormat_BytesPerPixel(format) == 0 ||
      (format == VQPF_PAL8 && !palette)) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (uint64_t(width) * height > VQIMAGE_MAX_PIXELS) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  // Formats the driver does not keep (16-bit ones) are stored as RGBA.
  uint32_t stored = GetPixmapFormatFor(format);
  if (stored == 0) stored = VQPF_RGBA8888;
  auto* t = new (std::nothrow) VQOpenGLTexture();
  if (!t) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  const size_t count = size_t(width) * height;
  t->m_pixels = static_cast<uint8_t*>(std::malloc(count * VQPixelFormat_BytesPerPixel(stored)));
  if (!t->m_pixels) {
    delete t;
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  if (stored == format) {
    std::memcpy(t->m_pixels, pixels, count * VQPixelFormat_BytesPerPixel(format));
  } else {
    float rgba[4];
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        VQpixels_SetRGBA(t->m_pixels, stored, x, y, width,
                         VQpixels_GetRGBA(rgba, pixels, format, x, y, width, palette));
  }
  t->m_owner = this;
  t->m_device = this;
  t->m_width = t->m_imageWidth = width;
  t->m_height = t->m_imageHeight = height;
  t->m_format = stored;
  if (stored == VQPF_PAL8) t->m_palette = palette;  // taken over, as the software device does
  if (g_VQgl.GenTextures) g_VQgl.GenTextures(1, &t->m_glName);
  // The sampling starts unknown so that every value is sent once.
  t->m_sampling = 0;
  t->SetSampling(m_wrapU, m_wrapV, m_magFilter, m_minFilter);
  t->Upload();
  ++m_liveTextures;
  return t;
}

uint8_t* VQopengl_ShrinkPixels(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t format,
                               uint32_t loadFactor, uint32_t* newWidth, uint32_t* newHeight) {
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
  uint32_t w = width, h = height;
  if (pixels && bpp != 0 && loadFactor > 1 && (loadFactor & (loadFactor - 1)) == 0) {
    w = width / loadFactor > 0 ? width / loadFactor : 1;
    h = height / loadFactor > 0 ? height / loadFactor : 1;
  }
  *newWidth = w;
  *newHeight = h;
  if (w == width && h == height) return nullptr;
  auto* out = static_cast<uint8_t*>(std::malloc(size_t(w) * h * bpp));
  if (!out) return nullptr;
  if (format == VQPF_PAL8) {
    // Palette indices cannot be averaged: every factor-th pixel is kept.
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        out[size_t(y) * w + x] = pixels[size_t(y) * (height / h) * width + size_t(x) * (width / w)];
  } else {
    VQpixels_Rescale(out, w, h, w, pixels, width, height, width, format);
  }
  return out;
}

VQTexture* VQOpenGLDisplayDevice::CreateTextureFromFile(const char* path, uint32_t loadFactor, uint32_t) {
  if (m_canvasCount == 1 && m_canvases[0]) m_canvases[0]->MakeCurrent();
  uint32_t width = 0, height = 0, format = 0;
  uint8_t* palette = nullptr;
  uint8_t* pixels = VQimage_ReadFile(path, &width, &height, &format, &palette);
  if (!pixels) return nullptr;
  // Textures keep the bottom row first; JPEG delivers the top row first.
  if (VQimage_TypeFromName(path) == VQIMAGE_JPEG) VQpixels_FlipVertical(pixels, width, height, width, format);
  // The load factor divides the picture's sides (lower texture quality loads smaller textures).
  uint32_t w = width, h = height;
  uint8_t* shrunk = VQopengl_ShrinkPixels(pixels, width, height, format, loadFactor, &w, &h);
  if (!shrunk && (w != width || h != height)) {
    std::free(pixels);
    std::free(palette);
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  VQTexture* t = CreateTexture(shrunk ? shrunk : pixels, w, h, format, palette, 0);
  if (!t || format != VQPF_PAL8) std::free(palette);
  std::free(shrunk);
  std::free(pixels);
  return t;
}

VQPixmap* VQOpenGLDisplayDevice::CreatePixmap(uint32_t width, uint32_t height, uint32_t format) {
  if (width == 0 || height == 0 || format == 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* p = new (std::nothrow) VQOpenGLPixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_device = this;
  if (!p->Allocate(width, height, format, nullptr)) {
    delete p;
    return nullptr;
  }
  p->m_valid = 1;
  ++m_livePixmaps;
  return p;
}

VQPixmap* VQOpenGLDisplayDevice::CreatePixmapFromFile(const char* path) {
  auto* p = new (std::nothrow) VQOpenGLPixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_device = this;
  if (!p->LoadImage(path)) {
    delete p;
    return nullptr;
  }
  if (p->m_bottomUp != m_pixmapRowOrder) {
    p->FlipVertical();
    p->m_bottomUp = m_pixmapRowOrder;
  }
  ++m_livePixmaps;
  return p;
}

VQPixmap* VQOpenGLDisplayDevice::CopyPixmap(const VQPixmap* pixmap) {
  if (!pixmap) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* p = new (std::nothrow) VQOpenGLPixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_device = this;
  auto* source = dynamic_cast<const VQOpenGLPixmap*>(pixmap);
  if (source && source->m_valid && source->m_pixels) {
    if (!p->Allocate(source->m_width, source->m_height, source->m_format, nullptr) || !p->CopyFrom(*source)) {
      delete p;
      return nullptr;
    }
    p->m_bottomUp = source->m_bottomUp;
    p->m_valid = 1;
  }
  ++m_livePixmaps;
  return p;
}

// ---- Meshes held by the device ---------------------------------------------------------------

VQMesh* VQOpenGLDisplayDevice::CreateMeshFromRecord(const void* record, uintptr_t) {
  VQMesh* mesh = VQMesh::Copy(static_cast<const VQMesh*>(record));
  if (mesh) mesh->m_device = this;
  return mesh;
}

VQMesh* VQOpenGLDisplayDevice::CreateMesh(uint32_t vertexCount, uint32_t triangleCount, uintptr_t extra,
                                          uintptr_t normals, uintptr_t colours, uintptr_t texCoords) {
  VQMesh* mesh = VQMesh::Create(vertexCount, triangleCount, uint32_t(extra), normals != 0, colours != 0,
                                texCoords != 0);
  if (mesh) mesh->m_device = this;
  return mesh;
}

void VQOpenGLDisplayDevice::DeleteMesh(VQMesh* mesh) {
  if (!mesh) return;
  mesh->m_deviceBuffer = 0;
  VQMesh::FreeMemory(mesh);
}

// ---- Scene files -----------------------------------------------------------------------------

VQNode* VQOpenGLDisplayDevice::ReadSceneFile(const char* path, uintptr_t loadTextures, uintptr_t) {
  return VQscene_LoadForDevice(this, path, loadTextures != 0, 2);
}

VQGeoset* VQOpenGLDisplayDevice::LoadGeoset(const char* path, uintptr_t) {
  return VQscene_LoadGeosetForDevice(this, path);
}
