// The Direct3D-shaped objects over OpenGL: the Direct3D object (device and z-buffer
// enumeration, devices, vertex buffers), the device and its vertex buffers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "host/d3d/d3d_device.h"
#include "host/d3d/d3d_local.h"
#include "host/d3d/gl_table.h"

const GUID IID_IDirect3DRGBDevice = {0xa4665c60, 0x2673, 0x11cf, {0xa3, 0x1a, 0x00, 0xaa, 0x00, 0xb9, 0x33, 0x56}};
const GUID IID_IDirect3DHALDevice = {0x84e63de0, 0x46aa, 0x11cf, {0x81, 0x6f, 0x00, 0x00, 0xc0, 0x20, 0x15, 0x6e}};
const GUID IID_IDirect3DTnLHalDevice = {0xf5049e78, 0x4861, 0x11d2, {0xa4, 0x07, 0x00, 0xa0, 0xc9, 0x06, 0x29, 0xa8}};
const GUID IID_IDirect3DRefDevice = {0x50936643, 0x13e9, 0x11d1, {0x89, 0xaa, 0x00, 0xa0, 0xc9, 0x05, 0x41, 0x29}};

uint32_t d3d_fvf_size(uint32_t fvf) {
  uint32_t size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    default: return 0;
  }
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  size += 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  return size;
}

namespace host::d3d {

gl_table gl;

bool load_gl() {
  static std::mutex mutex;
  static bool loaded = false;
  std::lock_guard<std::mutex> lock(mutex);
  if (loaded) return true;
  if (!host::gl::load_library()) return false;
  gl_table t;
  bool ok = true;
#define D3DGL_LOAD(member, symbol)                                                  \
  t.member = reinterpret_cast<decltype(t.member)>(host::gl::proc_address(#symbol)); \
  ok = ok && t.member != nullptr;
  D3DGL_FUNCTIONS(D3DGL_LOAD)
#undef D3DGL_LOAD
  if (!ok) return false;
  gl = t;
  loaded = true;
  return true;
}

namespace {

// Every live device (made and released on one thread). Never destroyed: a device may be
// released by an engine object with static lifetime at exit.
std::vector<device_impl*>& Devices() {
  static auto* devices = new std::vector<device_impl*>();
  return *devices;
}
uint32_t s_nextGroup = 1;

struct device_kind {
  const GUID* guid;
  const char* description;
  const char* name;
  bool layer_options::*offered;
  bool hardware;
};

const device_kind kKinds[] = {
    {&IID_IDirect3DRGBDevice, "Software rasteriser", "RGB Emulation", &layer_options::rgb_device, false},
    {&IID_IDirect3DHALDevice, "Hardware rasteriser", "Direct3D HAL", &layer_options::hal_device, true},
    {&IID_IDirect3DTnLHalDevice, "Hardware transform and lighting", "Direct3D T&L HAL", &layer_options::tnl_device,
     true},
    {&IID_IDirect3DRefDevice, "Reference rasteriser", "Reference Rasterizer", &layer_options::ref_device, false},
};

const device_kind* KindOf(const GUID& g) {
  for (const device_kind& k : kKinds)
    if (*k.guid == g) return options().*k.offered ? &k : nullptr;
  return nullptr;
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  return r;
}

float AsFloat(uint32_t v) {
  float f;
  std::memcpy(&f, &v, sizeof f);
  return f;
}

void ArgbToFloats(uint32_t c, float* out) {
  out[0] = float((c >> 16) & 0xFF) / 255.0f;
  out[1] = float((c >> 8) & 0xFF) / 255.0f;
  out[2] = float(c & 0xFF) / 255.0f;
  out[3] = float(c >> 24) / 255.0f;
}

GLenum BlendFactor(uint32_t b) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
  }
}

GLenum CompareFunction(uint32_t f) {
  switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
  switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_INVALID_ENUM;
  }
}

// Texture formats a device offers, in enumeration order.
DDPIXELFORMAT TextureFormat(uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  DDPIXELFORMAT pf{};
  pf.dwSize = sizeof pf;
  pf.dwFlags = flags;
  pf.dwRGBBitCount = bits;
  pf.dwRBitMask = r;
  pf.dwGBitMask = g;
  pf.dwBBitMask = b;
  pf.dwRGBAlphaBitMask = a;
  return pf;
}

const DDPIXELFORMAT kTextureFormats[] = {
    TextureFormat(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0),
    TextureFormat(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0),
    TextureFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000),
    TextureFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000),
    TextureFormat(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0),
    TextureFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
    TextureFormat(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0),
};

const uint32_t kZBits[] = {16, 24, 32};

}  // namespace

// ---- Direct3D object -------------------------------------------------------------------------

HRESULT d3d_impl::EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  for (const device_kind& k : kKinds) {
    if (!(options().*k.offered)) continue;
    D3DDEVICEDESC7 d{};
    d.deviceGUID = *k.guid;
    d.dpcTriCaps.dwSize = sizeof d.dpcTriCaps;
    d.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_POW2 | (options().square_textures ? D3DPTEXTURECAPS_SQUAREONLY : 0);
    d.dwMinTextureWidth = d.dwMinTextureHeight = 1;
    d.dwMaxTextureWidth = d.dwMaxTextureHeight = options().max_texture_size ? options().max_texture_size : 2048;
    d.dwMaxActiveLights = D3D_MAX_LIGHTS;
    d.wMaxTextureBlendStages = D3D_MAX_STAGES;
    d.wMaxSimultaneousTextures = 2;
    if (callback(k.description, k.name, &d, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

HRESULT d3d_impl::EnumZBufferFormats(const GUID& device, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  if (!KindOf(device)) return DDERR_INVALIDPARAMS;
  for (uint32_t bits : kZBits) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_ZBUFFER;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = bits == 16 ? 0xFFFF : 0xFFFFFF;  // the depth mask
    if (callback(&pf, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

HRESULT d3d_impl::CreateDevice(const GUID& device, IDirectDrawSurface7* target, IDirect3DDevice7** out) {
  if (!out || !target) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  auto* t = static_cast<surface_impl*>(target);
  if (!KindOf(device) || !(t->m_caps.dwCaps & DDSCAPS_3DDEVICE)) return DDERR_INVALIDCAPS;
  if (!options().device_creation) return DDERR_GENERIC;
  if (t->m_device) return DDERR_SURFACEBUSY;
  if (!load_gl()) return DDERR_NODIRECTDRAWHW;
  auto* d = new (std::nothrow) device_impl(m_owner, t, device);
  if (!d) return DDERR_OUTOFMEMORY;
  if (!d->create_context()) {
    d->Release();
    return DDERR_GENERIC;
  }
  *out = d;
  return D3D_OK;
}

HRESULT d3d_impl::CreateVertexBuffer(const D3DVERTEXBUFFERDESC* desc, IDirect3DVertexBuffer7** out, uint32_t) {
  if (!desc || !out || desc->dwSize != sizeof(D3DVERTEXBUFFERDESC)) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (d3d_fvf_size(desc->dwFVF) == 0) return D3DERR_INVALIDVERTEXFORMAT;
  if (desc->dwNumVertices == 0 || desc->dwNumVertices > 0xFFFF + 1) return D3DERR_VBUF_CREATE_FAILED;
  auto* vb = new (std::nothrow) vertex_buffer_impl(*desc);
  if (!vb) return DDERR_OUTOFMEMORY;
  *out = vb;
  return D3D_OK;
}

// ---- Vertex buffers --------------------------------------------------------------------------

vertex_buffer_impl::vertex_buffer_impl(const D3DVERTEXBUFFERDESC& desc) : m_desc(desc) {
  m_stride = d3d_fvf_size(desc.dwFVF);
  m_data.assign(size_t(m_stride) * desc.dwNumVertices, 0);
  count_object(1);
}

HRESULT vertex_buffer_impl::QueryInterface(const GUID&, void** out) {
  if (out) *out = nullptr;
  return DXERR_NOINTERFACE;
}

uint32_t vertex_buffer_impl::Release() {
  const uint32_t n = --m_refs;
  if (n == 0) {
    count_object(-1);
    delete this;
  }
  return n;
}

HRESULT vertex_buffer_impl::Lock(uint32_t, void** data, uint32_t* size) {
  if (!data) return DDERR_INVALIDPARAMS;
  bool expected = false;
  if (!m_locked.compare_exchange_strong(expected, true)) return D3DERR_VERTEXBUFFERLOCKED;
  *data = m_data.data();
  if (size) *size = uint32_t(m_data.size());
  return D3D_OK;
}

HRESULT vertex_buffer_impl::Unlock() {
  bool expected = true;
  if (!m_locked.compare_exchange_strong(expected, false)) return DDERR_NOTLOCKED;
  return D3D_OK;
}

HRESULT vertex_buffer_impl::GetVertexBufferDesc(D3DVERTEXBUFFERDESC* out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = m_desc;
  return D3D_OK;
}

// ---- Device ----------------------------------------------------------------------------------

device_impl::device_impl(ddraw_impl* owner, surface_impl* target, const GUID& type)
    : m_owner(owner), m_target(target), m_type(type) {
  owner->AddRef();
  count_object(1);
  for (D3DMATRIX& m : m_world) m = Identity();
  m_view = m_projection = Identity();
  for (D3DMATRIX& m : m_texture) m = Identity();
  // Direct3D's defaults.
  m_rs[D3DRENDERSTATE_ZENABLE] = target->m_zbuffer ? 1 : 0;
  m_rs[D3DRENDERSTATE_ZWRITEENABLE] = 1;
  m_rs[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
  m_rs[D3DRENDERSTATE_FILLMODE] = D3DFILL_SOLID;
  m_rs[D3DRENDERSTATE_SHADEMODE] = 2;  // Gouraud
  m_rs[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
  m_rs[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  m_rs[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  m_rs[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  m_rs[D3DRENDERSTATE_LIGHTING] = 1;
  m_rs[D3DRENDERSTATE_CLIPPING] = 1;
  m_rs[D3DRENDERSTATE_COLORVERTEX] = 1;
  m_rs[D3DRENDERSTATE_LOCALVIEWER] = 1;
  m_rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  m_rs[D3DRENDERSTATE_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  m_rs[D3DRENDERSTATE_TEXTUREFACTOR] = 0xFFFFFFFFu;
  m_rs[D3DRENDERSTATE_FOGEND] = 0x3F800000u;  // 1.0
  for (uint32_t s = 0; s < D3D_MAX_STAGES; ++s) {
    uint32_t* v = m_stages[s].values;
    v[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    v[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    v[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    v[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    v[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    v[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    v[D3DTSS_TEXCOORDINDEX] = s;
    v[D3DTSS_ADDRESSU] = v[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    v[D3DTSS_MAGFILTER] = D3DTFG_POINT;
    v[D3DTSS_MINFILTER] = D3DTFN_POINT;
    v[D3DTSS_MIPFILTER] = D3DTFP_NONE;
  }
  m_viewport = {0, 0, target->m_width, target->m_height, 0.0f, 1.0f};
}

bool device_impl::create_context() {
  m_window = m_target->m_chainOwner ? m_target->window() : (m_owner->m_window ? m_owner->m_window : m_target->window());
  if (!m_window || !host::gl::window_has_gl(m_window)) return false;
  // Contexts share their textures with the first live device's.
  device_impl* first = Devices().empty() ? nullptr : Devices().front();
  if (first) first->make_current();
  m_context = host::gl::create_context(m_window, first != nullptr);
  if (!m_context) return false;
  m_group = first ? first->m_group : s_nextGroup++;
  if (!host::gl::make_current(m_window, m_context)) return false;
  GLint units = 1;
  gl.GetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  m_maxUnits = std::clamp<uint32_t>(uint32_t(units), 1, D3D_MAX_STAGES);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gl.EnableClientState(GL_VERTEX_ARRAY);
  gl.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  gl.Enable(GL_SCISSOR_TEST);
  Devices().push_back(this);
  m_owner->m_devices.push_back(this);
  m_target->m_device = this;
  return true;
}

device_impl::~device_impl() {
  if (m_target && m_target->m_device == this) m_target->m_device = nullptr;
  if (m_context) {
    if (host::gl::current_context() == m_context) host::gl::make_current(0, 0);
    host::gl::delete_context(m_context);
  }
  Devices().erase(std::remove(Devices().begin(), Devices().end(), this), Devices().end());
  auto& list = m_owner->m_devices;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  m_owner->Release();
  count_object(-1);
}

HRESULT device_impl::QueryInterface(const GUID&, void** out) {
  if (out) *out = nullptr;
  return DXERR_NOINTERFACE;
}

uint32_t device_impl::Release() {
  const uint32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

bool device_impl::make_current() {
  if (!m_context) return false;
  if (host::gl::current_context() == m_context) return true;
  return host::gl::make_current(m_window, m_context);
}

void device_impl::target_released(surface_impl* s) {
  if (m_target == s) m_target = nullptr;
}

HRESULT device_impl::GetCaps(D3DDEVICEDESC7* out) {
  if (!out) return DDERR_INVALIDPARAMS;
  std::memset(out, 0, sizeof *out);
  out->deviceGUID = m_type;
  out->dpcTriCaps.dwSize = sizeof out->dpcTriCaps;
  out->dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_POW2 | (options().square_textures ? D3DPTEXTURECAPS_SQUAREONLY : 0);
  GLint size = 2048;
  if (make_current()) gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  uint32_t max = std::min<uint32_t>(uint32_t(size), 2048);
  if (options().max_texture_size) max = options().max_texture_size;
  out->dwMinTextureWidth = out->dwMinTextureHeight = 1;
  out->dwMaxTextureWidth = out->dwMaxTextureHeight = max;
  out->dwMaxActiveLights = D3D_MAX_LIGHTS;
  out->wMaxTextureBlendStages = D3D_MAX_STAGES;
  out->wMaxSimultaneousTextures = uint16_t(std::min<uint32_t>(m_maxUnits, D3D_MAX_STAGES));
  return D3D_OK;
}

HRESULT device_impl::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  for (const DDPIXELFORMAT& f : kTextureFormats) {
    DDPIXELFORMAT copy = f;
    if (callback(&copy, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

HRESULT device_impl::BeginScene() {
  if (m_inScene) return D3DERR_SCENE_IN_SCENE;
  if (!m_target) return DDERR_INVALIDOBJECT;
  if (m_target->m_lost) return DDERR_SURFACELOST;
  if (!make_current()) return DDERR_GENERIC;
  m_owner->flush_deletes(m_group);
  m_inScene = true;
  return D3D_OK;
}

HRESULT device_impl::EndScene() {
  if (!m_inScene) return D3DERR_SCENE_NOT_IN_SCENE;
  m_inScene = false;
  return D3D_OK;
}

HRESULT device_impl::SetRenderTarget(IDirectDrawSurface7* surface, uint32_t) {
  auto* s = static_cast<surface_impl*>(surface);
  if (!s || !(s->m_caps.dwCaps & DDSCAPS_3DDEVICE)) return DDERR_INVALIDPARAMS;
  if (s->m_device && s->m_device != this) return DDERR_SURFACEBUSY;
  if (m_target && m_target != s) m_target->m_device = nullptr;
  m_target = s;
  s->m_device = this;
  m_viewportDirty = true;
  return D3D_OK;
}

HRESULT device_impl::Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR colour, float z,
                           uint32_t) {
  if (!m_target) return DDERR_INVALIDOBJECT;
  if (m_target->m_lost) return DDERR_SURFACELOST;
  if ((flags & D3DCLEAR_ZBUFFER) && !m_target->m_zbuffer) return D3DERR_ZBUFFER_NOTPRESENT;
  if (count > 0 && !rects) return DDERR_INVALIDPARAMS;
  if (!make_current()) return DDERR_GENERIC;
  const int32_t h = int32_t(m_target->m_height);
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float c[4];
    ArgbToFloats(colour, c);
    gl.ClearColor(c[0], c[1], c[2], c[3]);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    gl.ClearDepth(std::clamp(z, 0.0f, 1.0f));
    gl.DepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (!mask) return D3D_OK;
  auto clearRect = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, int32_t(m_target->m_width));
    y2 = std::min(y2, h);
    if (x1 >= x2 || y1 >= y2) return;
    gl.Scissor(x1, h - y2, x2 - x1, y2 - y1);
    gl.Clear(mask);
  };
  if (count == 0) {
    clearRect(int32_t(m_viewport.dwX), int32_t(m_viewport.dwY), int32_t(m_viewport.dwX + m_viewport.dwWidth),
              int32_t(m_viewport.dwY + m_viewport.dwHeight));
  } else {
    for (uint32_t i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
  }
  gl.Scissor(0, 0, GLsizei(m_target->m_width), GLsizei(h));
  if (flags & D3DCLEAR_ZBUFFER) gl.DepthMask((m_glWord & GLS_DEPTH_WRITE) ? GL_TRUE : GL_FALSE);
  return D3D_OK;
}

HRESULT device_impl::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return DDERR_INVALIDPARAMS;
  switch (state) {
    case D3DTRANSFORMSTATE_WORLD: m_world[0] = *matrix; break;
    case D3DTRANSFORMSTATE_WORLD1: m_world[1] = *matrix; break;
    case D3DTRANSFORMSTATE_WORLD2: m_world[2] = *matrix; break;
    case D3DTRANSFORMSTATE_WORLD3: m_world[3] = *matrix; break;
    case D3DTRANSFORMSTATE_VIEW:
      m_view = *matrix;
      m_lightsDirty = true;
      break;
    case D3DTRANSFORMSTATE_PROJECTION: m_projection = *matrix; break;
    default:
      if (state < D3DTRANSFORMSTATE_TEXTURE0 || state > D3DTRANSFORMSTATE_TEXTURE7) return DDERR_INVALIDPARAMS;
      m_texture[state - D3DTRANSFORMSTATE_TEXTURE0] = *matrix;
      m_stateKnown = false;
      break;
  }
  m_matricesDirty = true;
  return D3D_OK;
}

HRESULT device_impl::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix) return DDERR_INVALIDPARAMS;
  switch (state) {
    case D3DTRANSFORMSTATE_WORLD: *matrix = m_world[0]; return D3D_OK;
    case D3DTRANSFORMSTATE_WORLD1: *matrix = m_world[1]; return D3D_OK;
    case D3DTRANSFORMSTATE_WORLD2: *matrix = m_world[2]; return D3D_OK;
    case D3DTRANSFORMSTATE_WORLD3: *matrix = m_world[3]; return D3D_OK;
    case D3DTRANSFORMSTATE_VIEW: *matrix = m_view; return D3D_OK;
    case D3DTRANSFORMSTATE_PROJECTION: *matrix = m_projection; return D3D_OK;
    default:
      if (state < D3DTRANSFORMSTATE_TEXTURE0 || state > D3DTRANSFORMSTATE_TEXTURE7) return DDERR_INVALIDPARAMS;
      *matrix = m_texture[state - D3DTRANSFORMSTATE_TEXTURE0];
      return D3D_OK;
  }
}

HRESULT device_impl::SetViewport(const D3DVIEWPORT7* viewport) {
  if (!viewport || !m_target) return DDERR_INVALIDPARAMS;
  if (viewport->dwWidth == 0 || viewport->dwHeight == 0 ||
      uint64_t(viewport->dwX) + viewport->dwWidth > m_target->m_width ||
      uint64_t(viewport->dwY) + viewport->dwHeight > m_target->m_height)
    return DDERR_INVALIDPARAMS;
  m_viewport = *viewport;
  m_viewportDirty = true;
  m_matricesDirty = true;
  return D3D_OK;
}

HRESULT device_impl::GetViewport(D3DVIEWPORT7* viewport) {
  if (!viewport) return DDERR_INVALIDPARAMS;
  *viewport = m_viewport;
  return D3D_OK;
}

HRESULT device_impl::SetMaterial(const D3DMATERIAL7* material) {
  if (!material) return DDERR_INVALIDPARAMS;
  m_material = *material;
  m_materialDirty = true;
  return D3D_OK;
}

HRESULT device_impl::GetMaterial(D3DMATERIAL7* material) {
  if (!material) return DDERR_INVALIDPARAMS;
  *material = m_material;
  return D3D_OK;
}

HRESULT device_impl::SetLight(uint32_t index, const D3DLIGHT7* light) {
  if (!light || index >= D3D_MAX_LIGHTS) return DDERR_INVALIDPARAMS;
  if (light->dltType < D3DLIGHT_POINT || light->dltType > D3DLIGHT_DIRECTIONAL) return DDERR_INVALIDPARAMS;
  m_lights[index] = *light;
  m_lightsDirty = true;
  return D3D_OK;
}

HRESULT device_impl::LightEnable(uint32_t index, bool enable) {
  if (index >= D3D_MAX_LIGHTS) return DDERR_INVALIDPARAMS;
  // A light never set is a white directional light along +z, as in Direct3D.
  if (enable && m_lights[index].dltType == 0) {
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = {1, 1, 1, 0};
    l.dvDirection = {0, 0, 1};
    m_lights[index] = l;
  }
  m_lightOn[index] = enable;
  m_lightsDirty = true;
  return D3D_OK;
}

HRESULT device_impl::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
  if (state >= D3D_RENDERSTATE_LIMIT) return DDERR_INVALIDPARAMS;
  m_rs[state] = value;
  if (state == D3DRENDERSTATE_SPECULARENABLE) m_materialDirty = true;
  return D3D_OK;
}

HRESULT device_impl::GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) {
  if (state >= D3D_RENDERSTATE_LIMIT || !value) return DDERR_INVALIDPARAMS;
  *value = m_rs[state];
  return D3D_OK;
}

HRESULT device_impl::SetTexture(uint32_t stage, IDirectDrawSurface7* texture) {
  if (stage >= D3D_MAX_STAGES) return DDERR_INVALIDPARAMS;
  auto* t = static_cast<surface_impl*>(texture);
  if (t && !(t->m_caps.dwCaps & DDSCAPS_TEXTURE)) return DDERR_INVALIDPARAMS;
  m_stages[stage].texture = t;
  return D3D_OK;
}

HRESULT device_impl::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t value) {
  if (stage >= D3D_MAX_STAGES || state >= D3D_STAGE_STATE_LIMIT) return DDERR_INVALIDPARAMS;
  m_stages[stage].values[state] = value;
  return D3D_OK;
}

HRESULT device_impl::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE state, uint32_t* value) {
  if (stage >= D3D_MAX_STAGES || state >= D3D_STAGE_STATE_LIMIT || !value) return DDERR_INVALIDPARAMS;
  *value = m_stages[stage].values[state];
  return D3D_OK;
}

// ---- State -----------------------------------------------------------------------------------

void device_impl::apply_switches(uint32_t word) {
  const uint32_t changed = m_stateKnown ? (word ^ m_glWord) : 0xFFFFFFFFu;
  auto toggle = [&](uint32_t bit, GLenum cap) {
    if (changed & bit) (word & bit) ? gl.Enable(cap) : gl.Disable(cap);
  };
  toggle(GLS_BLEND, GL_BLEND);
  toggle(GLS_DEPTH_TEST, GL_DEPTH_TEST);
  if (changed & GLS_DEPTH_WRITE) gl.DepthMask((word & GLS_DEPTH_WRITE) ? GL_TRUE : GL_FALSE);
  toggle(GLS_LIGHTING, GL_LIGHTING);
  toggle(GLS_FOG, GL_FOG);
  toggle(GLS_ALPHA_TEST, GL_ALPHA_TEST);
  toggle(GLS_CULL, GL_CULL_FACE);
  // Direct3D names the winding it culls as the triangle appears on the screen; so does
  // OpenGL's front face (window y up shows the same picture as Direct3D's y down).
  if (changed & GLS_CULL_CCW) gl.FrontFace((word & GLS_CULL_CCW) ? GL_CW : GL_CCW);
  toggle(GLS_NORMALIZE, GL_NORMALIZE);
  if (changed & GLS_LOCAL_VIEWER) gl.LightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, (word & GLS_LOCAL_VIEWER) ? 1 : 0);
  m_glWord = word;
}

void device_impl::apply_stage(uint32_t unit, uint32_t fvf) {
  const stage_state& st = m_stages[unit];
  const uint32_t* v = st.values;
  gl.ActiveTexture(GL_TEXTURE0 + unit);
  gl.ClientActiveTexture(GL_TEXTURE0 + unit);
  const uint32_t sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  bool on = v[D3DTSS_COLOROP] != D3DTOP_DISABLE && st.texture && (unit == 0 || (m_unitsEnabled & (1u << (unit - 1))));
  const uint32_t index = v[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
  const uint32_t generate = v[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
  if (on && generate == D3DTSS_TCI_PASSTHRU && index >= sets) on = false;  // no coordinates to map with
  const uint32_t name = on ? st.texture->gl_texture(this) : 0;
  if (!name) {
    if (m_unitsEnabled & (1u << unit)) gl.Disable(GL_TEXTURE_2D);
    m_unitsEnabled &= ~(1u << unit);
    return;
  }
  if (!(m_unitsEnabled & (1u << unit))) gl.Enable(GL_TEXTURE_2D);
  m_unitsEnabled |= 1u << unit;
  gl.BindTexture(GL_TEXTURE_2D, name);
  // Sampling belongs to the stage in Direct3D, to the texture in OpenGL: the texture gets the
  // stage's values when they differ from what it has.
  surface_impl* t = st.texture;
  const bool mip = t->m_mipLevels > 1 && v[D3DTSS_MIPFILTER] != D3DTFP_NONE && v[D3DTSS_MIPFILTER] != 0;
  const bool linear = v[D3DTSS_MINFILTER] == D3DTFN_LINEAR;
  int minFilter = linear ? GL_LINEAR : GL_NEAREST;
  if (mip) {
    const bool linearMip = v[D3DTSS_MIPFILTER] == D3DTFP_LINEAR;
    minFilter = linear ? (linearMip ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST)
                       : (linearMip ? GL_NEAREST_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
  }
  const int magFilter = v[D3DTSS_MAGFILTER] == D3DTFG_LINEAR ? GL_LINEAR : GL_NEAREST;
  auto wrap = [](uint32_t a) {
    return a == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : (a == D3DTADDRESS_MIRROR ? GL_MIRRORED_REPEAT : GL_REPEAT);
  };
  const int wrapS = wrap(v[D3DTSS_ADDRESSU]), wrapT = wrap(v[D3DTSS_ADDRESSV]);
  if (t->m_glMin != minFilter) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, t->m_glMin = minFilter);
  if (t->m_glMag != magFilter) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, t->m_glMag = magFilter);
  if (t->m_glWrapS != wrapS) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, t->m_glWrapS = wrapS);
  if (t->m_glWrapT != wrapT) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, t->m_glWrapT = wrapT);
  // Combiners.
  auto source = [unit](uint32_t arg) -> GLint {
    switch (arg & 0xF) {
      case D3DTA_DIFFUSE: return GL_PRIMARY_COLOR;
      case D3DTA_TEXTURE: return GL_TEXTURE;
      case D3DTA_TFACTOR: return GL_CONSTANT;
      default: return unit == 0 ? GL_PRIMARY_COLOR : GL_PREVIOUS;
    }
  };
  auto operand = [](uint32_t arg, bool alpha) -> GLint {
    const bool complement = (arg & 0x10) != 0;
    if (alpha || (arg & 0x20)) return complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    return complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
  };
  gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
  for (int pass = 0; pass < 2; ++pass) {
    const bool alpha = pass == 1;
    uint32_t op = v[alpha ? D3DTSS_ALPHAOP : D3DTSS_COLOROP];
    uint32_t a1 = v[alpha ? D3DTSS_ALPHAARG1 : D3DTSS_COLORARG1];
    uint32_t a2 = v[alpha ? D3DTSS_ALPHAARG2 : D3DTSS_COLORARG2];
    const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
    const GLenum src[3] = {GLenum(alpha ? GL_SOURCE0_ALPHA : GL_SOURCE0_RGB), GLenum(alpha ? GL_SOURCE1_ALPHA : GL_SOURCE1_RGB),
                           GLenum(alpha ? GL_SOURCE2_ALPHA : GL_SOURCE2_RGB)};
    const GLenum opd[3] = {GLenum(alpha ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB), GLenum(alpha ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB),
                           GLenum(alpha ? GL_OPERAND2_ALPHA : GL_OPERAND2_RGB)};
    GLint mode = GL_MODULATE;
    float scale = 1.0f;
    GLint third = -1;
    if (op == D3DTOP_DISABLE) {
      // Alpha passes on from the stage before.
      op = D3DTOP_SELECTARG1;
      a1 = D3DTA_CURRENT;
    }
    switch (op) {
      case D3DTOP_SELECTARG1: mode = GL_REPLACE; break;
      case D3DTOP_SELECTARG2:
        mode = GL_REPLACE;
        a1 = a2;
        break;
      case D3DTOP_MODULATE2X: scale = 2.0f; break;
      case D3DTOP_MODULATE4X: scale = 4.0f; break;
      case D3DTOP_ADD: mode = GL_ADD; break;
      case D3DTOP_ADDSIGNED: mode = GL_ADD_SIGNED; break;
      case D3DTOP_ADDSIGNED2X:
        mode = GL_ADD_SIGNED;
        scale = 2.0f;
        break;
      case D3DTOP_SUBTRACT: mode = GL_SUBTRACT; break;
      case D3DTOP_BLENDDIFFUSEALPHA: mode = GL_INTERPOLATE, third = GL_PRIMARY_COLOR; break;
      case D3DTOP_BLENDTEXTUREALPHA: mode = GL_INTERPOLATE, third = GL_TEXTURE; break;
      case D3DTOP_BLENDFACTORALPHA: mode = GL_INTERPOLATE, third = GL_CONSTANT; break;
      case D3DTOP_BLENDCURRENTALPHA: mode = GL_INTERPOLATE, third = unit == 0 ? GL_PRIMARY_COLOR : GL_PREVIOUS; break;
      default: break;  // modulate
    }
    gl.TexEnvi(GL_TEXTURE_ENV, combine, mode);
    gl.TexEnvi(GL_TEXTURE_ENV, src[0], source(a1));
    gl.TexEnvi(GL_TEXTURE_ENV, opd[0], operand(a1, alpha));
    gl.TexEnvi(GL_TEXTURE_ENV, src[1], source(a2));
    gl.TexEnvi(GL_TEXTURE_ENV, opd[1], operand(a2, alpha));
    if (third >= 0) {
      gl.TexEnvi(GL_TEXTURE_ENV, src[2], third);
      gl.TexEnvi(GL_TEXTURE_ENV, opd[2], GL_SRC_ALPHA);
    }
    gl.TexEnvi(GL_TEXTURE_ENV, alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE, GLint(scale));
  }
  float factor[4];
  ArgbToFloats(m_rs[D3DRENDERSTATE_TEXTUREFACTOR], factor);
  gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, factor);
  // Generated coordinates: camera-space normals or reflection vectors (the view space of the
  // model-view matrix is Direct3D's camera space).
  if (generate == D3DTSS_TCI_CAMERASPACENORMAL || generate == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR) {
    const GLint mode = generate == D3DTSS_TCI_CAMERASPACENORMAL ? GL_NORMAL_MAP : GL_REFLECTION_MAP;
    for (GLenum c : {GL_S, GL_T, GL_R}) gl.TexGeni(c, GL_TEXTURE_GEN_MODE, mode);
    gl.Enable(GL_TEXTURE_GEN_S);
    gl.Enable(GL_TEXTURE_GEN_T);
    gl.Enable(GL_TEXTURE_GEN_R);
  } else {
    gl.Disable(GL_TEXTURE_GEN_S);
    gl.Disable(GL_TEXTURE_GEN_T);
    gl.Disable(GL_TEXTURE_GEN_R);
  }
  gl.MatrixMode(GL_TEXTURE);
  if (v[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE)
    gl.LoadMatrixf(&m_texture[unit].m[0][0]);
  else
    gl.LoadIdentity();
  gl.MatrixMode(GL_MODELVIEW);
}

void device_impl::apply_state(uint32_t fvf) {
  const uint32_t* rs = m_rs;
  uint32_t word = 0;
  if (rs[D3DRENDERSTATE_ALPHABLENDENABLE]) word |= GLS_BLEND;
  if (rs[D3DRENDERSTATE_ZENABLE] && m_target && m_target->m_zbuffer) word |= GLS_DEPTH_TEST;
  if (rs[D3DRENDERSTATE_ZWRITEENABLE]) word |= GLS_DEPTH_WRITE;
  const bool lit = rs[D3DRENDERSTATE_LIGHTING] != 0;
  if (lit) word |= GLS_LIGHTING;
  if (rs[D3DRENDERSTATE_FOGENABLE] &&
      (rs[D3DRENDERSTATE_FOGVERTEXMODE] != D3DFOG_NONE || rs[D3DRENDERSTATE_FOGTABLEMODE] != D3DFOG_NONE))
    word |= GLS_FOG;
  if (rs[D3DRENDERSTATE_ALPHATESTENABLE]) word |= GLS_ALPHA_TEST;
  if (rs[D3DRENDERSTATE_CULLMODE] != D3DCULL_NONE) word |= GLS_CULL;
  if (rs[D3DRENDERSTATE_CULLMODE] == D3DCULL_CCW) word |= GLS_CULL_CCW;
  if (rs[D3DRENDERSTATE_NORMALIZENORMALS]) word |= GLS_NORMALIZE;
  if (rs[D3DRENDERSTATE_LOCALVIEWER]) word |= GLS_LOCAL_VIEWER;
  const bool known = m_stateKnown;
  apply_switches(word);
  auto changed = [known](uint32_t& kept, uint32_t value) {
    if (known && kept == value) return false;
    kept = value;
    return true;
  };
  const uint32_t blendPair = rs[D3DRENDERSTATE_SRCBLEND] | rs[D3DRENDERSTATE_DESTBLEND] << 16;
  if (changed(m_glSrc, blendPair)) gl.BlendFunc(BlendFactor(rs[D3DRENDERSTATE_SRCBLEND]), BlendFactor(rs[D3DRENDERSTATE_DESTBLEND]));
  if (changed(m_glZFunc, rs[D3DRENDERSTATE_ZFUNC])) gl.DepthFunc(CompareFunction(rs[D3DRENDERSTATE_ZFUNC]));
  const uint32_t alphaTest = rs[D3DRENDERSTATE_ALPHAFUNC] | (rs[D3DRENDERSTATE_ALPHAREF] & 0xFF) << 8;
  if (changed(m_glAlphaFunc, alphaTest))
    gl.AlphaFunc(CompareFunction(rs[D3DRENDERSTATE_ALPHAFUNC]), float(rs[D3DRENDERSTATE_ALPHAREF] & 0xFF) / 255.0f);
  const uint32_t fill = rs[D3DRENDERSTATE_FILLMODE] | rs[D3DRENDERSTATE_SHADEMODE] << 8;
  if (changed(m_glFill, fill)) {
    const uint32_t f = rs[D3DRENDERSTATE_FILLMODE];
    gl.PolygonMode(GL_FRONT_AND_BACK, f == D3DFILL_POINT ? GL_POINT : (f == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL));
    gl.ShadeModel(rs[D3DRENDERSTATE_SHADEMODE] == 1 ? GL_FLAT : GL_SMOOTH);
  }
  if (changed(m_glAmbient, rs[D3DRENDERSTATE_AMBIENT])) {
    float a[4];
    ArgbToFloats(rs[D3DRENDERSTATE_AMBIENT], a);
    a[3] = 1.0f;
    gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, a);
  }
  if (word & GLS_FOG) {
    if (changed(m_glFogColour, rs[D3DRENDERSTATE_FOGCOLOR])) {
      float c[4];
      ArgbToFloats(rs[D3DRENDERSTATE_FOGCOLOR], c);
      c[3] = 1.0f;
      gl.Fogfv(GL_FOG_COLOR, c);
    }
    const uint32_t mode = rs[D3DRENDERSTATE_FOGTABLEMODE] != D3DFOG_NONE ? rs[D3DRENDERSTATE_FOGTABLEMODE]
                                                                         : rs[D3DRENDERSTATE_FOGVERTEXMODE];
    if (changed(m_glFogStart, rs[D3DRENDERSTATE_FOGSTART]) | changed(m_glFogEnd, rs[D3DRENDERSTATE_FOGEND])) {
      gl.Fogf(GL_FOG_START, AsFloat(rs[D3DRENDERSTATE_FOGSTART]));
      gl.Fogf(GL_FOG_END, AsFloat(rs[D3DRENDERSTATE_FOGEND]));
    }
    gl.Fogi(GL_FOG_MODE, mode == D3DFOG_EXP ? GL_EXP : (mode == D3DFOG_EXP2 ? GL_EXP2 : GL_LINEAR));
    gl.Fogf(GL_FOG_DENSITY, AsFloat(rs[D3DRENDERSTATE_FOGDENSITY]));
  }
  // Vertex colours as material colours: one OpenGL colour-material mode stands for the
  // Direct3D sources (emissive first, then ambient and diffuse).
  uint32_t colourMaterial = 0;
  if (lit && rs[D3DRENDERSTATE_COLORVERTEX] && (fvf & D3DFVF_DIFFUSE)) {
    const bool e = rs[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE] == D3DMCS_COLOR1;
    const bool a = rs[D3DRENDERSTATE_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1;
    const bool d = rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
    colourMaterial = e ? GL_EMISSION : (a && d ? GL_AMBIENT_AND_DIFFUSE : (d ? GL_DIFFUSE : (a ? GL_AMBIENT : 0)));
  }
  if (changed(m_glColorMaterial, colourMaterial)) {
    if (colourMaterial) {
      gl.ColorMaterial(GL_FRONT_AND_BACK, colourMaterial);
      gl.Enable(GL_COLOR_MATERIAL);
    } else {
      gl.Disable(GL_COLOR_MATERIAL);
    }
    // Tracking left the last vertex colour in the material.
    m_materialDirty = true;
  }
  if (m_materialDirty || !known) {
    const D3DMATERIAL7& m = m_material;
    const float black[4] = {0, 0, 0, 1};
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &m.ambient.r);
    gl.Materialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &m.diffuse.r);
    gl.Materialfv(GL_FRONT_AND_BACK, GL_SPECULAR, rs[D3DRENDERSTATE_SPECULARENABLE] ? &m.specular.r : black);
    gl.Materialfv(GL_FRONT_AND_BACK, GL_EMISSION, &m.emissive.r);
    gl.Materialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.power, 0.0f, 128.0f));
    m_materialDirty = false;
  }
  if (m_viewportDirty || !known) {
    const int32_t h = m_target ? int32_t(m_target->m_height) : 0;
    gl.Viewport(GLint(m_viewport.dwX), GLint(h - int32_t(m_viewport.dwY + m_viewport.dwHeight)),
                GLsizei(m_viewport.dwWidth), GLsizei(m_viewport.dwHeight));
    gl.DepthRange(m_viewport.dvMinZ, m_viewport.dvMaxZ);
    if (m_target) gl.Scissor(0, 0, GLsizei(m_target->m_width), GLsizei(h));
    m_viewportDirty = false;
  }
  if (m_lightsDirty || !known) {
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadMatrixf(&m_view.m[0][0]);
    for (uint32_t i = 0; i < D3D_MAX_LIGHTS; ++i) {
      const GLenum id = GL_LIGHT0 + i;
      if (!m_lightOn[i]) {
        gl.Disable(id);
        continue;
      }
      const D3DLIGHT7& l = m_lights[i];
      gl.Lightfv(id, GL_DIFFUSE, &l.dcvDiffuse.r);
      gl.Lightfv(id, GL_SPECULAR, &l.dcvSpecular.r);
      gl.Lightfv(id, GL_AMBIENT, &l.dcvAmbient.r);
      if (l.dltType == D3DLIGHT_DIRECTIONAL) {
        const float p[4] = {-l.dvDirection.x, -l.dvDirection.y, -l.dvDirection.z, 0.0f};
        gl.Lightfv(id, GL_POSITION, p);
        gl.Lightf(id, GL_CONSTANT_ATTENUATION, 1.0f);
        gl.Lightf(id, GL_LINEAR_ATTENUATION, 0.0f);
        gl.Lightf(id, GL_QUADRATIC_ATTENUATION, 0.0f);
      } else {
        const float p[4] = {l.dvPosition.x, l.dvPosition.y, l.dvPosition.z, 1.0f};
        gl.Lightfv(id, GL_POSITION, p);
        gl.Lightf(id, GL_CONSTANT_ATTENUATION, l.dvAttenuation0);
        gl.Lightf(id, GL_LINEAR_ATTENUATION, l.dvAttenuation1);
        gl.Lightf(id, GL_QUADRATIC_ATTENUATION, l.dvAttenuation2);
      }
      gl.Enable(id);
    }
    m_lightsDirty = false;
    m_matricesDirty = true;
  }
  const bool blended = (fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ;
  if (m_matricesDirty || !known || blended) {
    // Direct3D's row-vector matrices are OpenGL's column-vector ones read in the same memory
    // order. The projection gets Direct3D's depth range 0..1 turned into -1..1 and pixel
    // centres moved from integer to half-integer window coordinates.
    D3DMATRIX fix = Identity();
    fix.m[2][2] = 2.0f;
    fix.m[3][2] = -1.0f;
    if (m_viewport.dwWidth && m_viewport.dwHeight) {
      fix.m[3][0] = 1.0f / float(m_viewport.dwWidth);
      fix.m[3][1] = -1.0f / float(m_viewport.dwHeight);
    }
    const D3DMATRIX projection = Multiply(m_projection, fix);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadMatrixf(&projection.m[0][0]);
    gl.MatrixMode(GL_MODELVIEW);
    const D3DMATRIX modelView = blended ? m_view : Multiply(m_world[0], m_view);
    gl.LoadMatrixf(&modelView.m[0][0]);
    m_matricesDirty = blended;  // a blended draw leaves the view alone in the model-view
  }
  for (uint32_t u = 0; u < m_maxUnits; ++u) apply_stage(u, fvf);
  m_stateKnown = true;
}

// ---- Drawing ---------------------------------------------------------------------------------

void device_impl::strided_from(uint32_t fvf, const uint8_t* base, D3DDRAWPRIMITIVESTRIDEDDATA* out) {
  std::memset(out, 0, sizeof *out);
  const uint32_t stride = d3d_fvf_size(fvf);
  uint32_t offset = 0;
  out->position = {base, stride};
  offset = d3d_fvf_size((fvf & D3DFVF_POSITION_MASK));
  if (fvf & D3DFVF_NORMAL) {
    out->normal = {base + offset, stride};
    offset += 12;
  }
  if (fvf & D3DFVF_DIFFUSE) {
    out->diffuse = {base + offset, stride};
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    out->specular = {base + offset, stride};
    offset += 4;
  }
  const uint32_t sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (uint32_t i = 0; i < sets && i < D3DDP_MAXTEXCOORD; ++i) {
    out->textureCoords[i] = {base + offset, stride};
    offset += 8;
  }
}

HRESULT device_impl::draw(D3DPRIMITIVETYPE type, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA& data,
                          uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount) {
  const GLenum mode = PrimitiveMode(type);
  if (mode == GL_INVALID_ENUM || d3d_fvf_size(fvf) == 0 || !data.position.lpvData) return DDERR_INVALIDPARAMS;
  if (!m_inScene) return D3DERR_SCENE_NOT_IN_SCENE;
  if (!m_target) return DDERR_INVALIDOBJECT;
  if (m_target->m_lost) return DDERR_SURFACELOST;
  if (vertexCount == 0 || (indices && indexCount == 0)) return D3D_OK;
  // An index naming a vertex the call does not have would read past the arrays.
  if (indices)
    for (uint32_t i = 0; i < indexCount; ++i)
      if (indices[i] >= vertexCount) return DDERR_INVALIDPARAMS;
  if (!make_current()) return DDERR_GENERIC;
  apply_state(fvf);
  const uint8_t* positions = static_cast<const uint8_t*>(data.position.lpvData);
  GLsizei positionStride = GLsizei(data.position.dwStride);
  const uint8_t* normals = static_cast<const uint8_t*>(data.normal.lpvData);
  GLsizei normalStride = GLsizei(data.normal.dwStride);
  // Vertex blending: positions and normals are blended on the processor into view-free world
  // space; the model-view then holds the view alone.
  const uint32_t positionType = fvf & D3DFVF_POSITION_MASK;
  if (positionType != D3DFVF_XYZ) {
    const uint32_t weights = d3d_fvf_weights(fvf);
    const uint32_t matrices = std::min<uint32_t>(weights + 1, 4);
    m_blended.resize(size_t(vertexCount) * 6);
    for (uint32_t i = 0; i < vertexCount; ++i) {
      const float* p = reinterpret_cast<const float*>(positions + size_t(i) * data.position.dwStride);
      const float* n = normals ? reinterpret_cast<const float*>(normals + size_t(i) * data.normal.dwStride) : nullptr;
      float out[6] = {0, 0, 0, 0, 0, 0};
      float rest = 1.0f;
      for (uint32_t k = 0; k < matrices; ++k) {
        const float w = k + 1 < matrices ? p[3 + k] : rest;
        rest -= k + 1 < matrices ? w : 0.0f;
        const D3DMATRIX& m = m_world[k];
        for (int c = 0; c < 3; ++c) {
          out[c] += w * (p[0] * m.m[0][c] + p[1] * m.m[1][c] + p[2] * m.m[2][c] + m.m[3][c]);
          if (n) out[3 + c] += w * (n[0] * m.m[0][c] + n[1] * m.m[1][c] + n[2] * m.m[2][c]);
        }
      }
      std::memcpy(&m_blended[size_t(i) * 6], out, sizeof out);
    }
    positions = reinterpret_cast<const uint8_t*>(m_blended.data());
    positionStride = 24;
    if (normals) {
      normals = positions + 12;
      normalStride = 24;
    }
  }
  gl.VertexPointer(3, GL_FLOAT, positionStride, positions);
  uint32_t arrays = 0;
  if ((fvf & D3DFVF_NORMAL) && normals) {
    if (normalStride == 0) {
      gl.Normal3fv(reinterpret_cast<const float*>(normals));
    } else {
      arrays |= 1;
      gl.NormalPointer(GL_FLOAT, normalStride, normals);
    }
  } else {
    gl.Normal3f(0, 0, -1);
  }
  if ((fvf & D3DFVF_DIFFUSE) && data.diffuse.lpvData) {
    if (data.diffuse.dwStride == 0) {
      const uint8_t* c = static_cast<const uint8_t*>(data.diffuse.lpvData);
      gl.Color4f(c[2] / 255.0f, c[1] / 255.0f, c[0] / 255.0f, c[3] / 255.0f);
    } else {
      arrays |= 2;
      // Direct3D colours are ARGB words: in memory blue, green, red, alpha.
      gl.ColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, GLsizei(data.diffuse.dwStride), data.diffuse.lpvData);
    }
  } else {
    gl.Color4f(1, 1, 1, 1);
  }
  for (uint32_t u = 0; u < m_maxUnits; ++u) {
    if (!(m_unitsEnabled & (1u << u))) continue;
    const uint32_t tci = m_stages[u].values[D3DTSS_TEXCOORDINDEX];
    if (tci & 0xFFFF0000u) continue;
    const uint32_t set = tci & 0xFFFF;
    if (set >= D3DDP_MAXTEXCOORD || !data.textureCoords[set].lpvData) continue;
    gl.ClientActiveTexture(GL_TEXTURE0 + u);
    gl.TexCoordPointer(2, GL_FLOAT, GLsizei(data.textureCoords[set].dwStride), data.textureCoords[set].lpvData);
    arrays |= 4u << u;
  }
  const uint32_t changed = arrays ^ m_clientArrays;
  if (changed & 1) (arrays & 1) ? gl.EnableClientState(GL_NORMAL_ARRAY) : gl.DisableClientState(GL_NORMAL_ARRAY);
  if (changed & 2) (arrays & 2) ? gl.EnableClientState(GL_COLOR_ARRAY) : gl.DisableClientState(GL_COLOR_ARRAY);
  for (uint32_t u = 0; u < m_maxUnits; ++u) {
    if (!(changed & (4u << u))) continue;
    gl.ClientActiveTexture(GL_TEXTURE0 + u);
    (arrays & (4u << u)) ? gl.EnableClientState(GL_TEXTURE_COORD_ARRAY) : gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  m_clientArrays = arrays;
  if (indices)
    gl.DrawElements(mode, GLsizei(indexCount), GL_UNSIGNED_SHORT, indices);
  else
    gl.DrawArrays(mode, 0, GLsizei(vertexCount));
  return D3D_OK;
}

HRESULT device_impl::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices, uint32_t count,
                                   uint32_t) {
  if (!vertices) return DDERR_INVALIDPARAMS;
  D3DDRAWPRIMITIVESTRIDEDDATA data;
  strided_from(fvf, static_cast<const uint8_t*>(vertices), &data);
  return draw(type, fvf, data, count, nullptr, 0);
}

HRESULT device_impl::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const void* vertices,
                                          uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                          uint32_t) {
  if (!vertices || !indices) return DDERR_INVALIDPARAMS;
  D3DDRAWPRIMITIVESTRIDEDDATA data;
  strided_from(fvf, static_cast<const uint8_t*>(vertices), &data);
  return draw(type, fvf, data, vertexCount, indices, indexCount);
}

HRESULT device_impl::DrawPrimitiveStrided(D3DPRIMITIVETYPE type, uint32_t fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* data,
                                          uint32_t count, uint32_t) {
  if (!data) return DDERR_INVALIDPARAMS;
  return draw(type, fvf, *data, count, nullptr, 0);
}

HRESULT device_impl::DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE type, uint32_t fvf,
                                                 const D3DDRAWPRIMITIVESTRIDEDDATA* data, uint32_t vertexCount,
                                                 const uint16_t* indices, uint32_t indexCount, uint32_t) {
  if (!data || !indices) return DDERR_INVALIDPARAMS;
  return draw(type, fvf, *data, vertexCount, indices, indexCount);
}

HRESULT device_impl::DrawPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, uint32_t start,
                                     uint32_t count, uint32_t) {
  auto* vb = static_cast<vertex_buffer_impl*>(buffer);
  if (!vb || uint64_t(start) + count > vb->m_desc.dwNumVertices) return DDERR_INVALIDPARAMS;
  if (vb->m_locked) return D3DERR_VERTEXBUFFERLOCKED;
  D3DDRAWPRIMITIVESTRIDEDDATA data;
  strided_from(vb->m_desc.dwFVF, vb->m_data.data() + size_t(start) * vb->m_stride, &data);
  return draw(type, vb->m_desc.dwFVF, data, count, nullptr, 0);
}

HRESULT device_impl::DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer,
                                            uint32_t startVertex, uint32_t vertexCount, const uint16_t* indices,
                                            uint32_t indexCount, uint32_t) {
  auto* vb = static_cast<vertex_buffer_impl*>(buffer);
  if (!vb || !indices || uint64_t(startVertex) + vertexCount > vb->m_desc.dwNumVertices) return DDERR_INVALIDPARAMS;
  if (vb->m_locked) return D3DERR_VERTEXBUFFERLOCKED;
  D3DDRAWPRIMITIVESTRIDEDDATA data;
  strided_from(vb->m_desc.dwFVF, vb->m_data.data() + size_t(startVertex) * vb->m_stride, &data);
  return draw(type, vb->m_desc.dwFVF, data, vertexCount, indices, indexCount);
}

// ---- The render target -----------------------------------------------------------------------

void device_impl::restore_after_raw() {
  m_stateKnown = false;
  m_clientArrays = 0;
  m_unitsEnabled = 0;
  for (uint32_t u = 0; u < m_maxUnits; ++u) {
    gl.ActiveTexture(GL_TEXTURE0 + u);
    gl.Disable(GL_TEXTURE_2D);
    gl.ClientActiveTexture(GL_TEXTURE0 + u);
    gl.DisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  gl.DisableClientState(GL_NORMAL_ARRAY);
  gl.DisableClientState(GL_COLOR_ARRAY);
}

HRESULT device_impl::fill_target(const RECT& r, uint32_t pixel, const DDPIXELFORMAT& pf) {
  if (!make_current() || !m_target) return DDERR_GENERIC;
  uint8_t rgba[4];
  pixel_to_rgba(pf, pixel, nullptr, rgba);
  const int32_t h = int32_t(m_target->m_height);
  gl.ClearColor(rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f, 1.0f);
  gl.Scissor(r.left, h - r.bottom, r.right - r.left, r.bottom - r.top);
  gl.Clear(GL_COLOR_BUFFER_BIT);
  gl.Scissor(0, 0, GLsizei(m_target->m_width), GLsizei(h));
  return DD_OK;
}

void device_impl::read_target(surface_impl* s) {
  if (!make_current() || s->m_bpp == 0) return;
  const uint32_t w = s->m_width, h = s->m_height;
  std::vector<uint8_t> bgra(size_t(w) * h * 4);
  gl.ReadBuffer(GL_BACK);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.ReadPixels(0, 0, GLsizei(w), GLsizei(h), GL_BGRA, GL_UNSIGNED_BYTE, bgra.data());
  // OpenGL gives the bottom row first; surfaces keep the top row first.
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* in = &bgra[size_t(h - 1 - y) * w * 4];
    uint8_t* out = &s->m_pixels[size_t(y) * s->m_pitch];
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t rgba[4] = {in[4 * x + 2], in[4 * x + 1], in[4 * x], 255};
      write_pixel(out + size_t(x) * s->m_bpp, s->m_bpp, rgba_to_pixel(s->m_format, rgba));
    }
  }
}

void device_impl::write_target(surface_impl* s) {
  if (!make_current() || s->m_bpp == 0) return;
  const uint32_t w = s->m_width, h = s->m_height;
  std::vector<uint8_t> rgba(size_t(w) * h * 4);
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* in = &s->m_pixels[size_t(y) * s->m_pitch];
    uint8_t* out = &rgba[size_t(h - 1 - y) * w * 4];
    for (uint32_t x = 0; x < w; ++x) pixel_to_rgba(s->m_format, read_pixel(in + size_t(x) * s->m_bpp, s->m_bpp), nullptr, out + 4 * x);
  }
  gl.PushAttrib(GL_ALL_ATTRIB_BITS);
  for (uint32_t u = 0; u < m_maxUnits; ++u) {
    gl.ActiveTexture(GL_TEXTURE0 + u);
    gl.Disable(GL_TEXTURE_2D);
  }
  gl.ActiveTexture(GL_TEXTURE0);
  gl.Disable(GL_DEPTH_TEST);
  gl.Disable(GL_BLEND);
  gl.Disable(GL_LIGHTING);
  gl.Disable(GL_FOG);
  gl.Disable(GL_ALPHA_TEST);
  gl.Disable(GL_SCISSOR_TEST);
  gl.WindowPos2i(0, 0);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gl.DrawPixels(GLsizei(w), GLsizei(h), GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  gl.PopAttrib();
  restore_after_raw();
}

HRESULT device_impl::present(HWND) {
  if (!make_current()) return DDERR_GENERIC;
  if (m_inScene) return D3DERR_SCENE_IN_SCENE;
  host::gl::swap_buffers(m_window);
  return DD_OK;
}

// ---- Texture upload --------------------------------------------------------------------------

uint32_t surface_impl::gl_texture(device_impl* device) {
  if (m_bpp == 0 || !device) return 0;
  if (m_glName && m_glGroup != device->m_group) {
    // Made in a context that shares nothing with this one: the texture is made again here.
    if (m_owner) m_owner->queue_delete(m_glGroup, m_glName);
    m_glName = 0;
  }
  if (!m_glName) {
    gl.GenTextures(1, &m_glName);
    m_glGroup = device->m_group;
    m_uploaded = 0;
    m_glMin = m_glMag = m_glWrapS = m_glWrapT = -1;
    gl.BindTexture(GL_TEXTURE_2D, m_glName);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(m_mipLevels - 1));
  }
  // Any level or the palette changing asks for a new upload.
  uint32_t version = m_palette ? m_palette->m_version.load() : 0;
  for (surface_impl* s = this; s; s = s->m_mip) version += s->m_version.load();
  if (m_uploaded == version) return m_glName;
  gl.BindTexture(GL_TEXTURE_2D, m_glName);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  std::vector<uint8_t> rgba;
  int level = 0;
  for (surface_impl* s = this; s; s = s->m_mip, ++level) {
    rgba.resize(size_t(s->m_width) * s->m_height * 4);
    const PALETTEENTRY* palette = m_palette ? m_palette->m_entries : nullptr;
    for (uint32_t y = 0; y < s->m_height; ++y) {
      const uint8_t* in = &s->m_pixels[size_t(y) * s->m_pitch];
      uint8_t* out = &rgba[size_t(y) * s->m_width * 4];
      for (uint32_t x = 0; x < s->m_width; ++x)
        pixel_to_rgba(s->m_format, read_pixel(in + size_t(x) * s->m_bpp, s->m_bpp), palette, out + 4 * x);
    }
    // Rows go up in memory order: Direct3D's v = 0 (the first row) is OpenGL's t = 0.
    gl.TexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, GLsizei(s->m_width), GLsizei(s->m_height), 0, GL_RGBA,
                  GL_UNSIGNED_BYTE, rgba.data());
  }
  m_uploaded = version;
  return m_glName;
}

}  // namespace host::d3d
