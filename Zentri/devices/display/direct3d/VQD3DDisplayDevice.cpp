#include "Zentri/devices/display/direct3d/VQD3DDisplayDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/devices/display/direct3d/VQD3DCanvas.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/util/VQerror.h"
#include "host/directx/dx_modules.h"

uint32_t VQD3DDisplayDevice::s_live = 0;

namespace {

// The DirectDraw library, loaded once for the process.
struct DirectDrawLibrary {
  bool loaded = false;
  host::dx::module module = 0;
  DirectDrawCreateExFn create = nullptr;
  DirectDrawEnumerateExAFn enumerate = nullptr;
};

DirectDrawLibrary& Library() {
  static DirectDrawLibrary l;
  return l;
}

// A failed DirectX call: the result is kept and the operation fails.
bool Dx(HRESULT r) {
  g_VQdxResult = r;
  return dx_succeeded(r);
}

// Adapter probe: counts adapters with at least one Direct3D device.
struct ProbeState {
  uint32_t wanted = 0;
  uint32_t counted = 0;
  bool found = false;
  bool primary = false;
  GUID guid{};
};

HRESULT CountDevices(const char*, const char*, D3DDEVICEDESC7*, void* context) {
  ++*static_cast<uint32_t*>(context);
  return D3DENUMRET_OK;
}

int32_t ProbeAdapter(GUID* guid, const char*, const char*, void* context, uintptr_t) {
  auto* s = static_cast<ProbeState*>(context);
  void* out = nullptr;
  if (!Dx(VQd3d_DirectDrawCreateEx()(guid, &out, IID_IDirectDraw7, nullptr))) return DDENUMRET_OK;
  auto* dd = static_cast<IDirectDraw7*>(out);
  uint32_t devices = 0;
  if (Dx(dd->QueryInterface(IID_IDirect3D7, &out))) {
    auto* d3d = static_cast<IDirect3D7*>(out);
    if (!Dx(d3d->EnumDevices(CountDevices, &devices))) devices = 0;
    d3d->Release();
  }
  dd->Release();
  if (devices == 0) return DDENUMRET_OK;
  if (s->counted++ != s->wanted) return DDENUMRET_OK;
  s->found = true;
  s->primary = guid == nullptr;
  if (guid) s->guid = *guid;
  return DDENUMRET_CANCEL;
}

struct DeviceMarks {
  VQD3DDisplayDevice* device;
};

HRESULT MarkDevice(const char*, const char*, D3DDEVICEDESC7* desc, void* context) {
  auto* d = static_cast<VQD3DDisplayDevice*>(context);
  if (desc->deviceGUID == IID_IDirect3DRGBDevice) d->m_hasRGB = true;
  if (desc->deviceGUID == IID_IDirect3DHALDevice) d->m_hasHAL = true;
  if (desc->deviceGUID == IID_IDirect3DTnLHalDevice) d->m_hasTnLHal = true;
  if (desc->deviceGUID == IID_IDirect3DRefDevice) d->m_hasReference = true;
  return D3DENUMRET_OK;
}

struct FormatList {
  uint32_t count = 0;
  DDPIXELFORMAT* array = nullptr;  // filled when set (count is then the fill position)
  bool zOnly = false;
};

HRESULT CollectFormat(DDPIXELFORMAT* format, void* context) {
  auto* list = static_cast<FormatList*>(context);
  if (list->zOnly && !(format->dwFlags & DDPF_ZBUFFER)) return D3DENUMRET_OK;
  if (list->array) list->array[list->count] = *format;
  ++list->count;
  return D3DENUMRET_OK;
}

// Collects into a new array: a counting pass, then a filling pass. Empty: no array.
bool CollectFormats(HRESULT (*enumerate)(void*, LPD3DENUMPIXELFORMATSCALLBACK, void*), void* object, bool zOnly,
                    uint32_t* count, DDPIXELFORMAT** array) {
  FormatList counting;
  counting.zOnly = zOnly;
  if (!Dx(enumerate(object, CollectFormat, &counting))) return false;
  *count = 0;
  *array = nullptr;
  if (counting.count == 0) return true;
  FormatList filling;
  filling.zOnly = zOnly;
  filling.array = new (std::nothrow) DDPIXELFORMAT[counting.count];
  if (!filling.array) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  // A second pass that reports more than the first is cut at the first count.
  struct Bounded {
    FormatList* list;
    uint32_t limit;
  } bounded{&filling, counting.count};
  auto fill = [](DDPIXELFORMAT* f, void* c) -> HRESULT {
    auto* b = static_cast<Bounded*>(c);
    if (b->list->count >= b->limit) return D3DENUMRET_CANCEL;
    return CollectFormat(f, b->list);
  };
  if (!Dx(enumerate(object, fill, &bounded))) {
    delete[] filling.array;
    return false;
  }
  *count = filling.count;
  *array = filling.array;
  return true;
}

struct ModeCount {
  uint32_t count = 0;
  VQDisplayMode* modes = nullptr;  // filled when set
  uint32_t limit = 0;
  uint32_t width = 0, height = 0, bits = 0;
  bool found = false;
};

int32_t CountMode(DDSURFACEDESC2* mode, void* context) {
  auto* c = static_cast<ModeCount*>(context);
  if (c->modes) {
    if (c->count >= c->limit) return DDENUMRET_CANCEL;
    VQDisplayMode& m = c->modes[c->count];
    uint32_t bits = 0, format = 0;
    VQdirectx_PixelFormatFromDD(mode->ddpfPixelFormat, &bits, &format);
    m.width = mode->dwWidth;
    m.height = mode->dwHeight;
    m.bits = mode->ddpfPixelFormat.dwRGBBitCount;
    m.unused = format;
    m.refresh = mode->dwRefreshRate;
  }
  ++c->count;
  return DDENUMRET_OK;
}

int32_t FindMode(DDSURFACEDESC2* mode, void* context) {
  auto* c = static_cast<ModeCount*>(context);
  if (mode->dwWidth == c->width && mode->dwHeight == c->height && mode->ddpfPixelFormat.dwRGBBitCount == c->bits) {
    c->found = true;
    return DDENUMRET_CANCEL;
  }
  return DDENUMRET_OK;
}

uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return uint8_t(v * 255.0f);
}

}  // namespace

// ---- Library -------------------------------------------------------------------------------------

bool VQd3d_LoadDirectDraw() {
  DirectDrawLibrary& l = Library();
  if (l.loaded) return true;
  l.module = host::dx::load_library("ddraw.dll");
  if (!l.module) {
    VQdirectx_ReportError("Cannot load 'ddraw.dll'", DX_OK);
    return false;
  }
  l.create = reinterpret_cast<DirectDrawCreateExFn>(host::dx::get_proc_address(l.module, "DirectDrawCreateEx"));
  l.enumerate =
      reinterpret_cast<DirectDrawEnumerateExAFn>(host::dx::get_proc_address(l.module, "DirectDrawEnumerateExA"));
  if (!l.create || !l.enumerate) {
    VQdirectx_ReportError("Cannot get exported function in 'ddraw.dll'", DX_OK);
    host::dx::free_library(l.module);
    l = DirectDrawLibrary();
    return false;
  }
  l.loaded = true;
  return true;
}

void VQd3d_UnloadDirectDraw() {
  DirectDrawLibrary& l = Library();
  if (!l.loaded) return;
  host::dx::free_library(l.module);
  l = DirectDrawLibrary();
}

bool VQd3d_DirectDrawLoaded() { return Library().loaded; }
DirectDrawCreateExFn VQd3d_DirectDrawCreateEx() { return Library().create; }
DirectDrawEnumerateExAFn VQd3d_DirectDrawEnumerateExA() { return Library().enumerate; }

// ---- Getters -------------------------------------------------------------------------------------

VQD3DDisplayDevice* VQd3d_Device(uint32_t index) {
  static VQD3DDisplayDevice s_first(0);
  static VQD3DDisplayDevice s_second(1);
  return index == 0 ? &s_first : (index == 1 ? &s_second : nullptr);
}

VQDevice* VQd3d_GetDisplayDevice(int kind, int index) {
  if (kind != int(VQDEVICE_D3D_DISPLAY) || index < 0 || index >= int(VQD3D_ADAPTERS)) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(VQd3d_Device(uint32_t(index)));
}

// ---- Conversions ---------------------------------------------------------------------------------

void VQd3d_ConvertMatrix(D3DMATRIX* out, const VQMatrix& in) {
  for (int r = 0; r < 4; ++r) {
    const float* row = in.m + 4 * r;
    out->m[r][0] = row[0];
    out->m[r][1] = row[2];
    out->m[r][2] = row[1];
    out->m[r][3] = row[3];
  }
}

uint32_t VQd3d_BlendFactor(uint32_t factor) {
  switch (factor) {
    case VQBLEND_ZERO: return D3DBLEND_ZERO;
    case VQBLEND_ONE: return D3DBLEND_ONE;
    case VQBLEND_SRC_ALPHA: return D3DBLEND_SRCALPHA;
    case VQBLEND_INV_SRC_ALPHA: return D3DBLEND_INVSRCALPHA;
    case VQBLEND_SRC_COLOUR: return D3DBLEND_SRCCOLOR;
    case VQBLEND_INV_SRC_COLOUR: return D3DBLEND_INVSRCCOLOR;
    default:
      std::printf("blendargtype %d\n", int(factor));
      return D3DBLEND_SRCALPHA;
  }
}

uint32_t VQd3d_AlphaFunction(uint32_t function) {
  switch (function) {
    case VQCMP_OFF: case VQCMP_ALWAYS: return D3DCMP_ALWAYS;
    case VQCMP_LESS: return D3DCMP_LESS;
    case VQCMP_LESS_EQUAL: return D3DCMP_LESSEQUAL;
    case VQCMP_EQUAL: return D3DCMP_EQUAL;
    case VQCMP_GREATER_EQUAL: return D3DCMP_GREATEREQUAL;
    case VQCMP_GREATER: return D3DCMP_GREATER;
    case VQCMP_NOT_EQUAL: return D3DCMP_NOTEQUAL;
    default: return D3DCMP_NEVER;
  }
}

uint32_t VQd3d_CombineMode(uint32_t mode) {
  switch (mode) {
    case VQSTAGEOP_DISABLE: return D3DTOP_DISABLE;
    case VQSTAGEOP_SELECT_ARG1: return D3DTOP_SELECTARG1;
    case VQSTAGEOP_SELECT_ARG2: return D3DTOP_SELECTARG2;
    case VQSTAGEOP_ADD: return D3DTOP_ADD;
    case VQSTAGEOP_SUBTRACT: return D3DTOP_SUBTRACT;
    case VQSTAGEOP_BLEND_CURRENT_ALPHA: return D3DTOP_BLENDCURRENTALPHA;
    case VQSTAGEOP_BLEND_FACTOR_ALPHA: return D3DTOP_BLENDFACTORALPHA;
    case VQSTAGEOP_BLEND_TEXTURE_ALPHA: return D3DTOP_BLENDTEXTUREALPHA;
    default: return D3DTOP_MODULATE;
  }
}

uint32_t VQd3d_CombineArgument(uint32_t argument) {
  switch (argument) {
    case 2: return D3DTA_DIFFUSE;
    case 3: return D3DTA_TEXTURE;
    default: return D3DTA_CURRENT;
  }
}

uint32_t VQd3d_TextureFormatFor(uint32_t wanted, const DDPIXELFORMAT* formats, uint32_t count) {
  static const uint32_t kPal[] = {1, 0};
  static const uint32_t k565[] = {2, 4, 0};
  static const uint32_t k555[] = {4, 2, 0};
  static const uint32_t k4444[] = {5, 3, 2, 4, 0};
  static const uint32_t kRGB[] = {7, 15, 2, 4, 0};
  static const uint32_t kRGBA[] = {11, 5, 3, 0};
  const uint32_t* tries = nullptr;
  switch (wanted) {
    case 1: tries = kPal; break;
    case 2: tries = k565; break;
    case 4: tries = k555; break;
    case 5: tries = k4444; break;
    case 7: case 8: case 13: case 14: case 15: case 16: tries = kRGB; break;
    case 9: case 10: case 11: case 12: tries = kRGBA; break;
    default: return 0;
  }
  for (; *tries; ++tries) {
    const DDPIXELFORMAT want = VQdirectx_DDPixelFormat(*tries);
    for (uint32_t i = 0; i < count && formats; ++i) {
      const DDPIXELFORMAT& f = formats[i];
      if (f.dwFlags != want.dwFlags || f.dwRGBBitCount != want.dwRGBBitCount) continue;
      if (!(want.dwFlags & DDPF_PALETTEINDEXED8) &&
          (f.dwRBitMask != want.dwRBitMask || f.dwGBitMask != want.dwGBitMask || f.dwBBitMask != want.dwBBitMask ||
           f.dwRGBAlphaBitMask != want.dwRGBAlphaBitMask))
        continue;
      return *tries;
    }
  }
  return 0;
}

// ---- Device life ---------------------------------------------------------------------------------

VQD3DDisplayDevice::VQD3DDisplayDevice(uint32_t index) : VQDisplayDevice(VQDEVICE_D3D_DISPLAY), m_index(index) {
  ++s_live;
}

VQD3DDisplayDevice::~VQD3DDisplayDevice() {
  if (m_initialised) Close();
  if (--s_live == 0 && VQd3d_DirectDrawLoaded()) VQd3d_UnloadDirectDraw();
}

bool VQD3DDisplayDevice::HasCapability(uint32_t capability) {
  if (!m_initialised) return VQerror_Fail(VQERR_NOT_OPEN);
  switch (capability) {
    case VQD3DCAP_HARDWARE: return m_deviceType != VQD3D_TYPE_RGB && m_deviceType != VQD3D_TYPE_REFERENCE;
    case VQD3DCAP_SOFTWARE: return m_deviceType == VQD3D_TYPE_RGB || m_deviceType == VQD3D_TYPE_REFERENCE;
    case VQD3DCAP_TNL: return m_deviceType == VQD3D_TYPE_TNLHAL;
    case VQD3DCAP_NO_TNL: return m_deviceType != VQD3D_TYPE_TNLHAL;
    case VQD3DCAP_WINDOWED: return m_windowedPossible;
    case VQD3DCAP_ALWAYS: return true;
    default: return false;
  }
}

bool VQD3DDisplayDevice::Init() {
  if (m_d3d) return true;
  const bool loadedHere = !VQd3d_DirectDrawLoaded();
  if (loadedHere && !VQd3d_LoadDirectDraw()) return false;
  ProbeState state;
  state.wanted = m_index;
  const bool enumerated =
      Dx(VQd3d_DirectDrawEnumerateExA()(ProbeAdapter, &state,
                                        DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                                            DDENUM_NONDISPLAYDEVICES));
  if (state.found) {
    m_adapterFound = true;
    m_adapterIsPrimary = state.primary;
    m_adapterGuid = state.guid;
  }
  if (loadedHere) VQd3d_UnloadDirectDraw();
  return enumerated && state.found;
}

bool VQD3DDisplayDevice::Open(uint32_t flags) {
  if (m_initialised) return true;
  if (!Init()) return false;
  const bool loadedHere = !VQd3d_DirectDrawLoaded();
  if (loadedHere && !VQd3d_LoadDirectDraw()) return false;
  if (!OpenSteps(flags)) {
    m_deviceType = VQD3D_TYPE_NONE;
    ReleaseObjects();
    DestroyManagers();
    if (m_registered) g_VQsystem.RemoveDevice(this);
    m_registered = 0;
    if (loadedHere) VQd3d_UnloadDirectDraw();
    return false;
  }
  m_openParameter = flags;
  m_initialised = 1;
  return true;
}

bool VQD3DDisplayDevice::OpenSteps(uint32_t flags) {
  m_managedTextures = true;
  m_useSharedBuffer = true;
  void* out = nullptr;
  if (!Dx(VQd3d_DirectDrawCreateEx()(m_adapterIsPrimary ? nullptr : &m_adapterGuid, &out, IID_IDirectDraw7, nullptr)))
    return false;
  m_ddraw = static_cast<IDirectDraw7*>(out);
  DDCAPS hardware{}, emulation{};
  hardware.dwSize = emulation.dwSize = sizeof(DDCAPS);
  if (!Dx(m_ddraw->GetCaps(&hardware, &emulation))) return false;
  m_gammaCapable = (hardware.dwCaps & DDCAPS_READSCANLINE) != 0;
  m_windowedPossible = (hardware.dwCaps2 & DDCAPS2_CANRENDERWINDOWED) != 0;
  if (!Dx(m_ddraw->QueryInterface(IID_IDirect3D7, &out))) return false;
  m_d3d = static_cast<IDirect3D7*>(out);
  m_hasRGB = m_hasHAL = m_hasTnLHal = m_hasReference = false;
  if (!Dx(m_d3d->EnumDevices(MarkDevice, this))) return false;
  if (m_hasTnLHal && (flags & VQD3D_ALLOW_TNL) && (flags & VQD3D_ALLOW_HARDWARE)) {
    m_deviceGuid = &IID_IDirect3DTnLHalDevice;
    m_deviceType = VQD3D_TYPE_TNLHAL;
  } else if (m_hasHAL && (flags & VQD3D_ALLOW_NON_TNL) && (flags & VQD3D_ALLOW_HARDWARE)) {
    m_deviceGuid = &IID_IDirect3DHALDevice;
    m_deviceType = VQD3D_TYPE_HAL;
  } else if (m_hasReference && (flags & VQD3D_ALLOW_NON_TNL) && (flags & VQD3D_ALLOW_SOFTWARE)) {
    m_deviceGuid = &IID_IDirect3DRefDevice;
    m_deviceType = VQD3D_TYPE_REFERENCE;
  } else if (m_hasRGB && (flags & VQD3D_ALLOW_NON_TNL) && (flags & VQD3D_ALLOW_SOFTWARE)) {
    m_deviceGuid = &IID_IDirect3DRGBDevice;
    m_deviceType = VQD3D_TYPE_RGB;
  } else {
    return VQerror_Fail(VQERR_NO_RENDER_DEVICE);
  }
  auto enumZ = [](void* o, LPD3DENUMPIXELFORMATSCALLBACK cb, void* c) {
    auto* self = static_cast<VQD3DDisplayDevice*>(o);
    return self->m_d3d->EnumZBufferFormats(*self->m_deviceGuid, cb, c);
  };
  if (!CollectFormats(enumZ, this, true, &m_zFormatCount, &m_zFormats)) return false;
  if (m_zFormatCount == 0) return VQerror_Fail(VQERR_NO_RENDER_DEVICE);
  const bool hardware3D = m_deviceType == VQD3D_TYPE_TNLHAL || m_deviceType == VQD3D_TYPE_HAL;
  m_zInVideoMemory = hardware3D;
  m_surfacesInVideoMemory = hardware3D;
  m_vertexBuffersInSystemMemory = m_deviceType != VQD3D_TYPE_TNLHAL;
  m_sharedBuffer = nullptr;
  m_sharedCapacity = 0;
  m_sharedNext = 0;
  m_liveVertexBuffers = 0;
  m_sharedDiscard = false;
  if (!g_VQsystem.AddDevice(this)) return false;
  m_registered = 1;
  m_pixmapFormat = 0;
  m_minTextureWidth = m_minTextureHeight = m_maxTextureWidth = m_maxTextureHeight = 0;
  VQDisplayMode mode;
  if (!GetCurrentMode(&mode)) return false;
  m_screenFormat = mode.unused;
  m_sceneLoadParameter = VQD3D_SCENE_LOAD_PARAMETER;
  m_vertexColourFormat = VQD3D_SCENE_LOAD_PARAMETER;
  m_pixelFormat = m_screenFormat;
  m_maxSimultaneousTextures = 0;
  m_prepared = nullptr;
  return CreateManagers();
}

void VQD3DDisplayDevice::ReleaseObjects() {
  if (m_sharedBuffer) {
    m_sharedBuffer->Release();
    m_sharedBuffer = nullptr;
  }
  if (m_d3d) {
    m_d3d->Release();
    m_d3d = nullptr;
  }
  if (m_ddraw) {
    m_ddraw->Release();
    m_ddraw = nullptr;
  }
  delete[] m_zFormats;
  m_zFormats = nullptr;
  m_zFormatCount = 0;
  delete[] m_textureFormats;
  m_textureFormats = nullptr;
  m_textureFormatCount = 0;
}

void VQD3DDisplayDevice::Close() {
  if (!m_initialised) return;
  CloseDisplay();
  // Meshes still prepared keep their memory; their buffers go with the device.
  {
    std::lock_guard<std::mutex> lock(m_meshMutex);
    while (m_prepared) {
      VQD3DMeshBuffer* r = m_prepared;
      m_prepared = r->m_next;
      if (r->m_mesh) r->m_mesh->m_deviceBuffer = 0;
      if (r->m_buffer) r->m_buffer->Release();
      delete[] r->m_runLengths;
      delete r;
    }
  }
  ReleaseObjects();
  m_deviceType = VQD3D_TYPE_NONE;
  m_current = nullptr;
  m_initialised = 0;
}

// ---- Frames --------------------------------------------------------------------------------------

void VQD3DDisplayDevice::RenderAll() {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    auto* c = static_cast<VQD3DCanvas*>(m_canvases[i]);
    if (c && c->m_valid && c->m_shown) c->RenderFrame();
  }
}

void VQD3DDisplayDevice::PresentAll() {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    auto* c = static_cast<VQD3DCanvas*>(m_canvases[i]);
    if (c && c->m_valid && c->m_shown) c->Present();
  }
}

VQD3DCanvas* VQD3DDisplayDevice::CurrentCanvas() const {
  if (m_current) return m_current;
  return m_canvasCount > 0 ? static_cast<VQD3DCanvas*>(m_canvases[0]) : nullptr;
}

void VQD3DDisplayDevice::SetFillMode(uint32_t mode) {
  for (uint32_t i = 0; i < m_canvasCount; ++i) static_cast<VQD3DCanvas*>(m_canvases[i])->SetFillMode(mode);
}

// ---- Display modes -------------------------------------------------------------------------------

bool VQD3DDisplayDevice::GetModeCount(uint32_t* count) {
  if (!count) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  *count = 0;
  if (!m_initialised) return VQerror_Fail(VQERR_NOT_OPEN);
  ModeCount c;
  if (!Dx(m_ddraw->EnumDisplayModes(0, nullptr, &c, CountMode))) return false;
  *count = c.count;
  return true;
}

bool VQD3DDisplayDevice::GetModes(uint32_t* count, VQDisplayMode** modes) {
  if (!count || !modes) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  *modes = nullptr;
  if (!GetModeCount(count)) return false;
  if (*count == 0) return true;
  ModeCount c;
  c.limit = *count;
  c.modes = new (std::nothrow) VQDisplayMode[*count];
  if (!c.modes) {
    *count = 0;
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  if (!Dx(m_ddraw->EnumDisplayModes(0, nullptr, &c, CountMode))) {
    delete[] c.modes;
    *count = 0;
    return false;
  }
  // The second enumeration may report fewer modes than the first.
  *count = c.count;
  *modes = c.modes;
  return true;
}

bool VQD3DDisplayDevice::GetCurrentMode(VQDisplayMode* mode) {
  if (!mode) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (!m_ddraw) return VQerror_Fail(VQERR_NOT_OPEN);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  if (!Dx(m_ddraw->GetDisplayMode(&d))) return VQerror_Fail(VQERR_DISPLAY_MODE_QUERY);
  uint32_t bits = 0, format = 0;
  VQdirectx_PixelFormatFromDD(d.ddpfPixelFormat, &bits, &format);
  mode->width = d.dwWidth;
  mode->height = d.dwHeight;
  mode->bits = d.ddpfPixelFormat.dwRGBBitCount;
  mode->unused = format;
  mode->refresh = d.dwRefreshRate;
  return true;
}

bool VQD3DDisplayDevice::SetMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh) {
  if (!m_initialised) return VQerror_Fail(VQERR_NOT_OPEN);
  if (bits == 0) {
    VQDisplayMode current;
    if (!GetCurrentMode(&current)) return false;
    bits = current.bits;
  }
  if (!Dx(m_ddraw->SetDisplayMode(width, height, bits, refresh, 0))) return VQerror_Fail(VQERR_MODE_SWITCH);
  return true;
}

bool VQD3DDisplayDevice::HasDisplayMode(uint32_t width, uint32_t height, uint32_t bits) {
  if (!m_initialised) return VQerror_Fail(VQERR_NOT_OPEN);
  ModeCount c;
  c.width = width;
  c.height = height;
  c.bits = bits;
  if (!Dx(m_ddraw->EnumDisplayModes(0, nullptr, &c, FindMode))) return false;
  return c.found;
}

// ---- Colours -------------------------------------------------------------------------------------

uint32_t VQD3DDisplayDevice::ColourToPixel(uint32_t colour, uint32_t format) {
  // The colour is an engine colour word (red in the low byte); each channel truncated.
  const uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
  switch (format) {
    case VQPF_RGB565: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case VQPF_XRGB1555: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    // 32-bit screens: without this a colour fill of a 32-bit back buffer would always be black.
    case VQPF_BGRX8888: case VQPF_BGRA8888: return r << 16 | g << 8 | b;
    default: return 0;
  }
}

uint32_t VQD3DDisplayDevice::PackColourF(float red, float green, float blue, float alpha) {
  return uint32_t(ToByte(alpha)) << 24 | uint32_t(ToByte(red)) << 16 | uint32_t(ToByte(green)) << 8 | ToByte(blue);
}

uint32_t VQD3DDisplayDevice::PackColourB(const uint8_t* rgba) {
  if (!rgba) return 0;
  return uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

uint32_t VQD3DDisplayDevice::PackColourV(const float* rgba) {
  return rgba ? PackColourF(rgba[0], rgba[1], rgba[2], rgba[3]) : 0;
}

// ---- Forwarding to the canvases ------------------------------------------------------------------

bool VQD3DDisplayDevice::EnableLight(const VQLightNode* light, uint32_t index) {
  VQD3DCanvas* c = CurrentCanvas();
  return c ? c->EnableLight(light, index) : false;
}

void VQD3DDisplayDevice::DisableLight(const VQLightNode*, uint32_t index) {
  if (VQD3DCanvas* c = CurrentCanvas()) c->DisableLight(index);
}

bool VQD3DDisplayDevice::FogOn(const VQFogNode* fog) {
  VQD3DCanvas* c = CurrentCanvas();
  return c ? c->FogOn(fog) : false;
}

void VQD3DDisplayDevice::FogOff(const VQFogNode*) {
  if (VQD3DCanvas* c = CurrentCanvas()) c->FogOff();
}

void VQD3DDisplayDevice::DrawMesh(VQMesh* mesh, uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                                  uintptr_t f) {
  VQD3DCanvas* canvas = CurrentCanvas();
  if (!canvas || !mesh) return;
  const VQMatrix* blend[3] = {reinterpret_cast<const VQMatrix*>(d), reinterpret_cast<const VQMatrix*>(e),
                              reinterpret_cast<const VQMatrix*>(f)};
  canvas->DrawMesh(mesh, reinterpret_cast<const VQMattable*>(a), reinterpret_cast<const VQMatrix*>(b),
                   reinterpret_cast<const VQVector*>(c), blend);
}

void VQD3DDisplayDevice::SetCanvasVectorA(const float* vector) {
  for (uint32_t i = 0; i < m_canvasCount; ++i) static_cast<VQD3DCanvas*>(m_canvases[i])->SetVector(0, vector);
}

void VQD3DDisplayDevice::SetCanvasVectorB(const float* vector) {
  for (uint32_t i = 0; i < m_canvasCount; ++i) static_cast<VQD3DCanvas*>(m_canvases[i])->SetVector(1, vector);
}

void VQD3DDisplayDevice::ApplyState() {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    auto* c = static_cast<VQD3DCanvas*>(m_canvases[i]);
    if (!c->m_valid) continue;
    if (!m_lighting) c->SetRenderFlag(VQRENDER_LIGHTING, false);
    c->m_materialKnown = false;
    c->ApplyMaterial(m_material, 0, m_maxSimultaneousTextures ? m_maxSimultaneousTextures : 1);
  }
}

void VQD3DDisplayDevice::ApplyMaterial(VQMaterial* material) {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    auto* c = static_cast<VQD3DCanvas*>(m_canvases[i]);
    if (c->m_valid) c->ApplyMaterial(material, 0, m_maxSimultaneousTextures ? m_maxSimultaneousTextures : 1);
  }
}

void VQD3DDisplayDevice::SetModelMatrix(const VQMatrix* matrix, uintptr_t which) {
  if (!matrix || which > 3) return;
  static const D3DTRANSFORMSTATETYPE kStates[4] = {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_WORLD1,
                                                   D3DTRANSFORMSTATE_WORLD2, D3DTRANSFORMSTATE_WORLD3};
  D3DMATRIX m;
  VQd3d_ConvertMatrix(&m, *matrix);
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    auto* c = static_cast<VQD3DCanvas*>(m_canvases[i]);
    if (c->m_valid) c->SetTransform(kStates[which], m);
  }
}

void VQD3DDisplayDevice::SetRenderFlag(uint32_t flag, bool value) {
  if (VQD3DCanvas* c = CurrentCanvas()) c->SetRenderFlag(flag, value);
}

bool VQD3DDisplayDevice::GetRenderFlag(uint32_t flag) {
  VQD3DCanvas* c = CurrentCanvas();
  return c ? c->GetRenderFlag(flag) : false;
}

void VQD3DDisplayDevice::SetBlend(uint32_t sourceFactor, uint32_t destinationFactor) {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    auto* c = static_cast<VQD3DCanvas*>(m_canvases[i]);
    if (c->m_valid) c->SetBlend(sourceFactor, destinationFactor);
  }
}

void VQD3DDisplayDevice::BindTexture(VQTexture* texture) {
  if (VQD3DCanvas* c = CurrentCanvas()) c->BindTexture(texture);
}

void VQD3DDisplayDevice::DrawTriangle(const float* positions, const uint32_t* colours, const float* uvs,
                                      const float* normal) {
  if (VQD3DCanvas* c = CurrentCanvas()) c->DrawQuad(positions, colours, uvs, normal, true);
}

void VQD3DDisplayDevice::DrawQuad(const float* positions, const uint32_t* colours, const float* uvs,
                                  const float* normal) {
  if (VQD3DCanvas* c = CurrentCanvas()) c->DrawQuad(positions, colours, uvs, normal, false);
}

// ---- Canvases ------------------------------------------------------------------------------------

IDirectDrawSurface7* VQD3DDisplayDevice::NewSurface(DDSURFACEDESC2& desc) {
  IDirectDrawSurface7* s = nullptr;
  if (!m_ddraw) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (!Dx(m_ddraw->CreateSurface(&desc, &s, nullptr))) return nullptr;
  return s;
}

VQCanvas* VQD3DDisplayDevice::CreateCanvas(uint32_t mode, uintptr_t window, uint32_t width, uint32_t height,
                                           uint32_t bits, uint32_t backBuffers) {
  if (!m_initialised) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  if (m_canvasCount >= VQDISPLAY_MAX_CANVASES) {
    g_VQerror = VQERR_TOO_MANY_CANVASES;
    return nullptr;
  }
  const bool windowed = mode == VQCANVAS_WINDOWED;
  if (windowed && !m_windowedPossible) {
    g_VQerror = VQERR_WINDOWED_UNSUPPORTED;
    return nullptr;
  }
  if (width == 0 || height == 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* c = new (std::nothrow) VQD3DCanvas();
  if (!c) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  if (backBuffers == 0) backBuffers = VQD3D_DEFAULT_BACK_BUFFERS;
  if (bits == 0) {
    VQDisplayMode current;
    bits = GetCurrentMode(&current) ? current.bits : 32;
  }
  c->m_mode = windowed ? VQCANVAS_WINDOWED : VQCANVAS_FULLSCREEN_SCRATCH;
  c->m_width = width;
  c->m_height = height;
  c->m_colourBits = bits;
  c->m_backBuffers = backBuffers;
  c->m_device = this;
  c->m_window = host::window_handle(window);
  c->m_suppliedWindow = window != 0 ? 1 : 0;
  const bool firstCanvas = m_textureFormats == nullptr;
  bool madeWindow = false;
  auto fail = [&](int32_t code) -> VQCanvas* {
    if (code) g_VQerror = code;
    if (c->m_d3dDevice) c->m_d3dDevice->Release();
    if (c->m_gamma) c->m_gamma->Release();
    c->ReleaseSurfaces();
    if (c->m_window) {
      host::set_user_data(c->m_window, 0);
      if (c->m_previousProc) host::set_window_proc(c->m_window, c->m_previousProc);
    }
    if (madeWindow) VQwin32_DestroyWindow(c->m_window);
    if (firstCanvas && m_textureFormats) {
      delete[] m_textureFormats;
      m_textureFormats = nullptr;
      m_textureFormatCount = 0;
    }
    delete c;
    return nullptr;
  };
  if (!c->m_window) {
    c->m_window = windowed ? VQwin32_CreateWindow(int(width), int(height)) : VQwin32_CreateFullScreenWindow();
    if (!c->m_window) return fail(VQERR_WINDOW_CREATE);
    madeWindow = true;
  }
  if (!(windowed ? c->CreateWindowedSurfaces() : c->CreateFullScreenSurfaces(backBuffers))) return fail(0);
  if (m_useSharedBuffer && !m_sharedBuffer) {
    D3DVERTEXBUFFERDESC d{sizeof d, D3DVBCAPS_WRITEONLY | (m_vertexBuffersInSystemMemory ? D3DVBCAPS_SYSTEMMEMORY : 0u),
                          VQD3D_SHARED_FVF, VQD3D_SHARED_VERTICES};
    if (Dx(m_d3d->CreateVertexBuffer(&d, &m_sharedBuffer, 0))) {
      m_sharedCapacity = VQD3D_SHARED_VERTICES;
      m_sharedFvf = VQD3D_SHARED_FVF;
      m_sharedNext = 0;
      m_sharedDiscard = true;
    } else {
      m_sharedBuffer = nullptr;
    }
  }
  // The deepest z-buffer first (the first of equal depth); then one as deep as the screen.
  uint32_t best = 0;
  for (uint32_t i = 1; i < m_zFormatCount; ++i)
    if (m_zFormats[i].dwRGBBitCount > m_zFormats[best].dwRGBBitCount) best = i;
  bool made = c->CreateZBuffer(m_zFormats[best]) && Dx(m_d3d->CreateDevice(*m_deviceGuid, c->m_back, &c->m_d3dDevice));
  if (!made) {
    if (c->m_zbuffer) {
      c->m_back->DeleteAttachedSurface(0, c->m_zbuffer);
      c->m_zbuffer->Release();
      c->m_zbuffer = nullptr;
    }
    const uint32_t screenBits = VQPixelFormat_BitsPerPixel(m_screenFormat);
    for (uint32_t i = 0; i < m_zFormatCount && !made; ++i) {
      if (m_zFormats[i].dwRGBBitCount != screenBits) continue;
      made = c->CreateZBuffer(m_zFormats[i]) && Dx(m_d3d->CreateDevice(*m_deviceGuid, c->m_back, &c->m_d3dDevice));
      break;
    }
    if (!made) return fail(0);
  }
  D3DDEVICEDESC7 caps{};
  if (!Dx(c->m_d3dDevice->GetCaps(&caps))) return fail(0);
  m_maxBlendStages = caps.wMaxTextureBlendStages;
  m_maxSimultaneousTextures = caps.wMaxSimultaneousTextures;
  m_simultaneousTextures = std::max<uint32_t>(1, m_maxSimultaneousTextures);
  if (firstCanvas) {
    auto enumTextures = [](void* o, LPD3DENUMPIXELFORMATSCALLBACK cb, void* ctx) {
      return static_cast<IDirect3DDevice7*>(o)->EnumTextureFormats(cb, ctx);
    };
    if (!CollectFormats(enumTextures, c->m_d3dDevice, false, &m_textureFormatCount, &m_textureFormats))
      return fail(0);
    m_minTextureWidth = caps.dwMinTextureWidth;
    m_minTextureHeight = caps.dwMinTextureHeight;
    m_maxTextureWidth = caps.dwMaxTextureWidth;
    m_maxTextureHeight = caps.dwMaxTextureHeight;
  }
  m_squareOnly = (caps.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
  host::set_user_data(c->m_window, reinterpret_cast<uintptr_t>(c));
  if (c->m_suppliedWindow) {
    c->m_previousProc = host::get_window_proc(c->m_window);
    host::set_window_proc(c->m_window, VQwin32_WindowProc);
  } else {
    c->m_previousProc = nullptr;  // the engine's own window keeps its procedure
  }
  if (m_gammaCapable) {
    void* gamma = nullptr;
    if (Dx(c->m_primary->QueryInterface(IID_IDirectDrawGammaControl, &gamma)))
      c->m_gamma = static_cast<IDirectDrawGammaControl*>(gamma);
  }
  if (!c->Create(c->m_mode, width, height, bits)) return fail(0);
  if (!AddCanvas(c)) {
    c->Destroy();
    return fail(0);
  }
  c->SetDefaultState();
  // Environment mapping: the coordinate matrix starts as a translation by one half.
  c->m_texMatrix = D3DMATRIX{};
  for (int i = 0; i < 4; ++i) c->m_texMatrix.m[i][i] = 1.0f;
  c->m_texMatrix.m[3][0] = c->m_texMatrix.m[3][1] = c->m_texMatrix.m[3][2] = 0.5f;
  c->m_stages[0].m_forceReload = c->m_stages[1].m_forceReload = true;
  c->m_spareFloats[0] = c->m_spareFloats[1] = 0.4f;
  c->m_valid = true;
  if (!m_current) m_current = c;
  return c;
}

void VQD3DDisplayDevice::DestroyCanvas(VQCanvas* canvas, int destroyWindow) {
  auto* c = static_cast<VQD3DCanvas*>(canvas);
  if (!c || !m_initialised || c->m_device != this || !c->m_valid) return;
  if (!RemoveCanvas(c)) return;
  if (m_current == c) m_current = nullptr;
  if (host::is_window(c->m_window)) c->Show(false);
  if (c->m_created) c->Destroy();
  if (c->m_gamma) {
    c->m_gamma->Release();
    c->m_gamma = nullptr;
  }
  if (host::is_window(c->m_window)) {
    host::set_user_data(c->m_window, 0);
    if (c->m_previousProc) host::set_window_proc(c->m_window, c->m_previousProc);
  }
  if (c->m_d3dDevice) {
    c->m_d3dDevice->Release();
    c->m_d3dDevice = nullptr;
  }
  c->ReleaseSurfaces();
  if (c->m_mode != VQCANVAS_WINDOWED) Dx(m_ddraw->RestoreDisplayMode());
  Dx(m_ddraw->SetCooperativeLevel(0, DDSCL_NORMAL));
  if (!c->m_suppliedWindow && destroyWindow && host::is_window(c->m_window)) VQwin32_DestroyWindow(c->m_window);
  c->m_valid = false;
  delete c;
}

// ---- Meshes and scenes ---------------------------------------------------------------------------

VQMesh* VQD3DDisplayDevice::CreateMeshFromRecord(const void* record, uintptr_t) {
  VQMesh* mesh = VQMesh::Copy(static_cast<const VQMesh*>(record));
  if (mesh) mesh->m_device = this;
  return mesh;
}

VQMesh* VQD3DDisplayDevice::CreateMesh(uint32_t vertexCount, uint32_t triangleCount, uintptr_t extra,
                                       uintptr_t normals, uintptr_t colours, uintptr_t texCoords) {
  VQMesh* mesh =
      VQMesh::Create(vertexCount, triangleCount, uint32_t(extra), normals != 0, colours != 0, texCoords != 0);
  if (mesh) mesh->m_device = this;
  return mesh;
}

namespace {
void FreeRecord(VQD3DMeshBuffer* r) {
  if (r->m_buffer) r->m_buffer->Release();
  delete[] r->m_runLengths;
  delete r;
}
}  // namespace

void VQD3DDisplayDevice::DeleteMesh(VQMesh* mesh) {
  if (!mesh) return;
  {
    std::lock_guard<std::mutex> lock(m_meshMutex);
    for (VQD3DMeshBuffer** p = &m_prepared; *p; p = &(*p)->m_next) {
      if ((*p)->m_mesh != mesh) continue;
      VQD3DMeshBuffer* r = *p;
      *p = r->m_next;
      if (m_liveVertexBuffers) --m_liveVertexBuffers;
      FreeRecord(r);
      break;
    }
  }
  mesh->m_deviceBuffer = 0;
  VQMesh::FreeMemory(mesh);
}

VQD3DMeshBuffer* VQD3DDisplayDevice::BufferOf(const VQMesh* mesh) {
  if (!mesh || !mesh->m_deviceBuffer) return nullptr;
  std::lock_guard<std::mutex> lock(m_meshMutex);
  for (VQD3DMeshBuffer* r = m_prepared; r; r = r->m_next)
    if (r->m_mesh == mesh) return r;
  return nullptr;
}

bool VQD3DDisplayDevice::FillBuffer(VQD3DMeshBuffer* record) {
  const VQMesh* mesh = record->m_mesh;
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!Dx(record->m_buffer->Lock(DDLOCK_WRITEONLY | DDLOCK_DISCARDCONTENTS, reinterpret_cast<void**>(&data), &size)))
    return false;
  const uint32_t stride = d3d_fvf_size(record->m_fvf);
  const uint32_t n = std::min(mesh->m_vertexCount, stride ? size / stride : 0);
  const uint32_t weights = d3d_fvf_weights(record->m_fvf);
  const bool blend = weights > 0;
  const float* blendWeights = blend ? reinterpret_cast<const float*>(mesh->m_extra) : nullptr;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* v = data + size_t(i) * stride;
    std::memcpy(v, &mesh->m_positions[i], 12);
    v += 12;
    for (uint32_t w = 0; w < weights; ++w, v += 4) {
      const float weight = blendWeights ? blendWeights[size_t(i) * (weights + 1) + w] : 0.0f;
      std::memcpy(v, &weight, 4);
    }
    if (record->m_fvf & D3DFVF_NORMAL) {
      std::memcpy(v, &mesh->m_normals[i], 12);
      v += 12;
    }
    if (record->m_fvf & D3DFVF_DIFFUSE) {
      std::memcpy(v, &mesh->m_colours[i], 4);
      v += 4;
    }
    const uint32_t sets = (record->m_fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets >= 1) {
      std::memcpy(v, mesh->m_uv0 + 2 * i, 8);
      v += 8;
    }
    if (sets >= 2) std::memcpy(v, mesh->m_uv1 + 2 * i, 8);
  }
  return Dx(record->m_buffer->Unlock());
}

void VQD3DDisplayDevice::RefillBuffers() {
  std::lock_guard<std::mutex> lock(m_meshMutex);
  for (VQD3DMeshBuffer* r = m_prepared; r; r = r->m_next) FillBuffer(r);
}

void VQD3DDisplayDevice::PrepareMesh(VQMesh* mesh, uintptr_t) {
  if (!mesh || !m_initialised || !m_d3d) return;
  mesh->m_device = this;
  // A mesh prepared before gets a new record.
  if (mesh->m_deviceBuffer) {
    std::lock_guard<std::mutex> lock(m_meshMutex);
    for (VQD3DMeshBuffer** p = &m_prepared; *p; p = &(*p)->m_next) {
      if ((*p)->m_mesh != mesh) continue;
      VQD3DMeshBuffer* r = *p;
      *p = r->m_next;
      FreeRecord(r);
      if (m_liveVertexBuffers) --m_liveVertexBuffers;
      break;
    }
    mesh->m_deviceBuffer = 0;
  }
  if (!m_useSharedBuffer || (mesh->m_flags & VQD3DMESH_SPRITE) || mesh->m_triangleCount == 0 ||
      mesh->m_vertexCount == 0 || !mesh->m_positions || !mesh->m_indices || !mesh->m_records)
    return;
  uint32_t fvf = D3DFVF_XYZ;
  // Vertex blending keeps one weight per vertex and matrix in the extra block.
  if ((mesh->m_flags & VQMESH_VERTEX_BLEND) && mesh->m_extra && mesh->m_extraCount >= 2 && mesh->m_extraCount <= 4)
    fvf = mesh->m_extraCount == 2 ? D3DFVF_XYZB1 : (mesh->m_extraCount == 3 ? D3DFVF_XYZB2 : D3DFVF_XYZB3);
  if (mesh->m_normals) fvf |= D3DFVF_NORMAL;
  if (mesh->m_colours) fvf |= D3DFVF_DIFFUSE;
  if (mesh->m_uv0 && mesh->m_uv1)
    fvf |= D3DFVF_TEX2;
  else if (mesh->m_uv0)
    fvf |= D3DFVF_TEX1;
  auto* r = new (std::nothrow) VQD3DMeshBuffer();
  if (!r) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return;
  }
  r->m_mesh = mesh;
  r->m_fvf = fvf;
  D3DVERTEXBUFFERDESC d{sizeof d, D3DVBCAPS_WRITEONLY | (m_vertexBuffersInSystemMemory ? D3DVBCAPS_SYSTEMMEMORY : 0u),
                        fvf, mesh->m_vertexCount};
  if (!Dx(m_d3d->CreateVertexBuffer(&d, &r->m_buffer, 0)) || !FillBuffer(r)) {
    FreeRecord(r);
    return;
  }
  // Material runs: consecutive triangles of one material.
  uint32_t runs = 0;
  for (uint32_t t = 0; t < mesh->m_triangleCount; ++t)
    if (t == 0 || mesh->MaterialOf(t) != mesh->MaterialOf(t - 1)) ++runs;
  r->m_runLengths = new (std::nothrow) uint32_t[runs];
  if (!r->m_runLengths) {
    FreeRecord(r);
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return;
  }
  uint32_t run = 0;
  for (uint32_t t = 0; t < mesh->m_triangleCount; ++t) {
    if (t > 0 && mesh->MaterialOf(t) != mesh->MaterialOf(t - 1)) ++run;
    if (t == 0 || mesh->MaterialOf(t) != mesh->MaterialOf(t - 1)) r->m_runLengths[run] = 0;
    ++r->m_runLengths[run];
  }
  r->m_runCount = runs;
  std::lock_guard<std::mutex> lock(m_meshMutex);
  r->m_next = m_prepared;
  m_prepared = r;
  ++m_liveVertexBuffers;
  mesh->m_deviceBuffer = 1;
}

void VQD3DDisplayDevice::PrepareGeoset(VQGeoset* geoset) {
  if (!geoset) return;
  for (uint32_t i = 0; i < geoset->m_levelCount && i < VQGEOSET_MAX_LEVELS; ++i)
    if (geoset->m_meshes[i]) PrepareMesh(geoset->m_meshes[i], 0);
}

VQNode* VQD3DDisplayDevice::ReadSceneFile(const char* path, uintptr_t loadTextures, uintptr_t) {
  VQNode* root = VQscene_LoadForDevice(this, path, loadTextures != 0, std::max<uint32_t>(1, m_maxSimultaneousTextures));
  if (!root) return nullptr;
  root->Visit(
      [](VQNode* node, void* d) {
        if (node->m_type == VQNODE_GEOSET)
          static_cast<VQD3DDisplayDevice*>(d)->PrepareGeoset(static_cast<VQGeosetNode*>(node)->m_geoset);
        return true;
      },
      this);
  return root;
}

VQGeoset* VQD3DDisplayDevice::LoadGeoset(const char* path, uintptr_t) {
  VQGeoset* geoset = VQscene_LoadGeosetForDevice(this, path);
  PrepareGeoset(geoset);
  return geoset;
}

// ---- Shared dynamic vertex buffer ----------------------------------------------------------------

uint8_t* VQD3DDisplayDevice::LockSharedQuads(uint32_t quads, uint32_t* first) {
  if (!m_sharedBuffer || quads == 0 || 4 * quads > m_sharedCapacity) return nullptr;
  uint32_t flags = DDLOCK_NOSYSLOCK | DDLOCK_WRITEONLY;
  if (!m_sharedDiscard && m_sharedNext + 4 * quads <= m_sharedCapacity) {
    flags |= DDLOCK_NOOVERWRITE;
  } else {
    flags |= DDLOCK_DISCARDCONTENTS;
    m_sharedNext = 0;
    m_sharedDiscard = false;
  }
  uint8_t* data = nullptr;
  if (!Dx(m_sharedBuffer->Lock(flags, reinterpret_cast<void**>(&data), nullptr))) return nullptr;
  *first = m_sharedNext;
  const uint8_t* at = data + size_t(m_sharedNext) * d3d_fvf_size(m_sharedFvf);
  m_sharedNext += 4 * quads;
  return const_cast<uint8_t*>(at);
}

void VQD3DDisplayDevice::UnlockShared() {
  if (m_sharedBuffer) Dx(m_sharedBuffer->Unlock());
}
