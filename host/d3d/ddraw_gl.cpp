// The DirectDraw-shaped objects: the DirectDraw object, memory surfaces (render targets read
// from and written to the OpenGL back buffer of their device), clipper, palette and gamma.
#include <algorithm>
#include <cstring>

#include "host/d3d/d3d_device.h"
#include "host/d3d/d3d_local.h"
#include "host/d3d/gl_table.h"

const GUID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
const GUID IID_IDirectDrawSurface7 = {0x06675a80, 0x3b9b, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};
const GUID IID_IDirectDrawGammaControl = {0x69c11c3e, 0xb46b, 0x11d1, {0xad, 0x7a, 0x00, 0xc0, 0x4f, 0xc2, 0x9b, 0x4e}};
const GUID IID_IDirect3D7 = {0xf5049e77, 0x4861, 0x11d2, {0xa4, 0x07, 0x00, 0xa0, 0xc9, 0x06, 0x29, 0xa8}};

namespace host::d3d {

namespace {

std::atomic<uint32_t> s_live{0};
layer_options s_options;

uint32_t MaskShift(uint32_t mask) {
  uint32_t s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

uint32_t MaskBits(uint32_t mask) {
  uint32_t n = 0;
  for (; mask; mask &= mask - 1) ++n;
  return n;
}

uint8_t Extract(uint32_t value, uint32_t mask) {
  if (!mask) return 0;
  const uint32_t bits = MaskBits(mask);
  const uint32_t v = (value & mask) >> MaskShift(mask);
  if (bits >= 8) return uint8_t(v >> (bits - 8));
  const uint32_t max = (1u << bits) - 1;
  return uint8_t((v * 255 + max / 2) / max);
}

uint32_t Insert(uint8_t channel, uint32_t mask) {
  if (!mask) return 0;
  const uint32_t bits = MaskBits(mask);
  const uint32_t v = bits >= 8 ? uint32_t(channel) << (bits - 8) : uint32_t(channel) >> (8 - bits);
  return (v << MaskShift(mask)) & mask;
}

}  // namespace

layer_options& options() { return s_options; }
void reset_options() { s_options = layer_options(); }
uint32_t live_objects() { return s_live.load(); }
void count_object(int delta) { s_live += uint32_t(delta); }

void force_surface_loss(IDirectDraw7* ddraw) {
  if (ddraw) static_cast<ddraw_impl*>(ddraw)->lose_all();
}

// ---- Pixels ----------------------------------------------------------------------------------

uint32_t bytes_per_pixel(const DDPIXELFORMAT& pf) {
  if (!(pf.dwFlags & (DDPF_RGB | DDPF_ZBUFFER))) return 0;
  switch (pf.dwRGBBitCount) {
    case 8: return 1;
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
  }
}

uint32_t read_pixel(const uint8_t* p, uint32_t bpp) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < bpp; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

void write_pixel(uint8_t* p, uint32_t bpp, uint32_t value) {
  for (uint32_t i = 0; i < bpp; ++i) p[i] = uint8_t(value >> (8 * i));
}

void pixel_to_rgba(const DDPIXELFORMAT& pf, uint32_t value, const PALETTEENTRY* palette, uint8_t* rgba) {
  if (pf.dwFlags & DDPF_PALETTEINDEXED8) {
    const PALETTEENTRY e = palette ? palette[value & 0xFF] : PALETTEENTRY{0, 0, 0, 0};
    rgba[0] = e.peRed;
    rgba[1] = e.peGreen;
    rgba[2] = e.peBlue;
    rgba[3] = 255;
    return;
  }
  rgba[0] = Extract(value, pf.dwRBitMask);
  rgba[1] = Extract(value, pf.dwGBitMask);
  rgba[2] = Extract(value, pf.dwBBitMask);
  rgba[3] = (pf.dwFlags & DDPF_ALPHAPIXELS) ? Extract(value, pf.dwRGBAlphaBitMask) : 255;
}

uint32_t rgba_to_pixel(const DDPIXELFORMAT& pf, const uint8_t* rgba) {
  uint32_t v = Insert(rgba[0], pf.dwRBitMask) | Insert(rgba[1], pf.dwGBitMask) | Insert(rgba[2], pf.dwBBitMask);
  if (pf.dwFlags & DDPF_ALPHAPIXELS) v |= Insert(rgba[3], pf.dwRGBAlphaBitMask);
  return v;
}

DDPIXELFORMAT format_of_bits(uint32_t bits) {
  DDPIXELFORMAT pf{};
  pf.dwSize = sizeof pf;
  pf.dwFlags = DDPF_RGB;
  pf.dwRGBBitCount = bits == 16 ? 16 : (bits == 24 ? 24 : 32);
  if (bits == 16) {
    pf.dwRBitMask = 0xF800;
    pf.dwGBitMask = 0x07E0;
    pf.dwBBitMask = 0x001F;
  } else {
    pf.dwRBitMask = 0xFF0000;
    pf.dwGBitMask = 0x00FF00;
    pf.dwBBitMask = 0x0000FF;
  }
  return pf;
}

// ---- Palette and clipper ---------------------------------------------------------------------

palette_impl::palette_impl(const PALETTEENTRY* entries) {
  if (entries) std::memcpy(m_entries, entries, sizeof m_entries);
  count_object(1);
}

HRESULT palette_impl::QueryInterface(const GUID&, void** out) {
  if (out) *out = nullptr;
  return DXERR_NOINTERFACE;
}

uint32_t palette_impl::Release() {
  const uint32_t n = --m_refs;
  if (n == 0) {
    count_object(-1);
    delete this;
  }
  return n;
}

HRESULT palette_impl::GetEntries(uint32_t, uint32_t base, uint32_t count, PALETTEENTRY* out) {
  if (!out || base > 256 || count > 256 - base) return DDERR_INVALIDPARAMS;
  std::memcpy(out, m_entries + base, count * sizeof(PALETTEENTRY));
  return DD_OK;
}

HRESULT palette_impl::SetEntries(uint32_t, uint32_t base, uint32_t count, const PALETTEENTRY* in) {
  if (!in || base > 256 || count > 256 - base) return DDERR_INVALIDPARAMS;
  std::memcpy(m_entries + base, in, count * sizeof(PALETTEENTRY));
  ++m_version;
  return DD_OK;
}

HRESULT clipper_impl::QueryInterface(const GUID&, void** out) {
  if (out) *out = nullptr;
  return DXERR_NOINTERFACE;
}

uint32_t clipper_impl::Release() {
  const uint32_t n = --m_refs;
  if (n == 0) {
    count_object(-1);
    delete this;
  }
  return n;
}

HRESULT clipper_impl::SetHWnd(uint32_t, HWND window) {
  m_window = window;
  return DD_OK;
}

HRESULT clipper_impl::GetHWnd(HWND* window) {
  if (!window) return DDERR_INVALIDPARAMS;
  *window = m_window;
  return DD_OK;
}

// ---- Surfaces --------------------------------------------------------------------------------

surface_impl::surface_impl(ddraw_impl* owner, const DDSCAPS2& caps, uint32_t width, uint32_t height,
                           const DDPIXELFORMAT& pf)
    : m_owner(owner), m_caps(caps), m_width(width), m_height(height), m_format(pf) {
  m_bpp = bytes_per_pixel(pf);
  m_pitch = width * m_bpp;  // whole pixels, so that a pitch in pixels is exact
  m_pixels.assign(size_t(m_pitch) * height, 0);
  m_window = owner ? owner->m_window : 0;
  count_object(1);
  if (owner) owner->add_surface(this);
}

surface_impl::~surface_impl() {
  if (m_device) m_device->target_released(this);
  if (m_glName && m_owner) m_owner->queue_delete(m_glGroup, m_glName);
  if (m_backBuffer) {
    m_backBuffer->m_chainOwner = nullptr;
    m_backBuffer->Release();
  }
  if (m_mip) m_mip->Release();
  if (m_zbuffer) m_zbuffer->Release();
  if (m_clipper) m_clipper->Release();
  if (m_palette) m_palette->Release();
  if (m_owner) m_owner->remove_surface(this);
  count_object(-1);
}

uint32_t surface_impl::Release() {
  const uint32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

HRESULT surface_impl::QueryInterface(const GUID& iid, void** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (iid == IID_IDirectDrawSurface7) {
    AddRef();
    *out = static_cast<IDirectDrawSurface7*>(this);
    return DD_OK;
  }
  if (iid == IID_IDirectDrawGammaControl && (m_caps.dwCaps & DDSCAPS_PRIMARYSURFACE) && options().gamma) {
    AddRef();
    *out = static_cast<IDirectDrawGammaControl*>(this);
    return DD_OK;
  }
  return DXERR_NOINTERFACE;
}

HWND surface_impl::window() const {
  if (m_chainOwner) return m_chainOwner->window();
  if (m_clipper && m_clipper->m_window) return m_clipper->m_window;
  return m_window;
}

HRESULT surface_impl::AddAttachedSurface(IDirectDrawSurface7* surface) {
  auto* z = static_cast<surface_impl*>(surface);
  if (!z || !(z->m_caps.dwCaps & DDSCAPS_ZBUFFER)) return DDERR_CANNOTATTACHSURFACE;
  if (m_zbuffer == z) return DDERR_SURFACEALREADYATTACHED;
  if (m_zbuffer) return DDERR_CANNOTATTACHSURFACE;
  if (z->m_width != m_width || z->m_height != m_height) return DDERR_CANNOTATTACHSURFACE;
  z->AddRef();
  m_zbuffer = z;
  return DD_OK;
}

HRESULT surface_impl::DeleteAttachedSurface(uint32_t, IDirectDrawSurface7* surface) {
  if (!m_zbuffer || (surface && surface != m_zbuffer)) return DDERR_SURFACENOTATTACHED;
  m_zbuffer->Release();
  m_zbuffer = nullptr;
  return DD_OK;
}

HRESULT surface_impl::Blt(const RECT* dst, IDirectDrawSurface7* source, const RECT* srcRect, uint32_t flags,
                          const DDBLTFX* fx) {
  if (m_lost) return DDERR_SURFACELOST;
  if (m_locked) return DDERR_SURFACEBUSY;
  RECT d = dst ? *dst : RECT{0, 0, int32_t(m_width), int32_t(m_height)};
  if (flags & DDBLT_COLORFILL) {
    if (!fx) return DDERR_INVALIDPARAMS;
    d.left = std::max<int32_t>(d.left, 0);
    d.top = std::max<int32_t>(d.top, 0);
    d.right = std::min<int32_t>(d.right, int32_t(m_width));
    d.bottom = std::min<int32_t>(d.bottom, int32_t(m_height));
    if (d.left >= d.right || d.top >= d.bottom) return DD_OK;
    if (m_device) return m_device->fill_target(d, fx->dwFillColor, m_format);
    for (int32_t y = d.top; y < d.bottom; ++y)
      for (int32_t x = d.left; x < d.right; ++x)
        write_pixel(&m_pixels[size_t(y) * m_pitch + size_t(x) * m_bpp], m_bpp, fx->dwFillColor);
    ++m_version;
    return DD_OK;
  }
  auto* src = static_cast<surface_impl*>(source);
  if (!src) return DDERR_INVALIDPARAMS;
  if (src->m_lost) return DDERR_SURFACELOST;
  // Presenting: the back buffer of a device onto the primary shows the device's frame.
  if ((m_caps.dwCaps & DDSCAPS_PRIMARYSURFACE) && src->m_device) return src->m_device->present(window());
  const RECT s = srcRect ? *srcRect : RECT{0, 0, int32_t(src->m_width), int32_t(src->m_height)};
  if (s.left < 0 || s.top < 0 || s.right > int32_t(src->m_width) || s.bottom > int32_t(src->m_height) ||
      s.left >= s.right || s.top >= s.bottom || d.left >= d.right || d.top >= d.bottom)
    return DDERR_INVALIDRECT;
  if (src->m_device) src->m_device->read_target(src);
  const int32_t dw = d.right - d.left, dh = d.bottom - d.top;
  const int32_t sw = s.right - s.left, sh = s.bottom - s.top;
  const bool same = src->m_format.dwRGBBitCount == m_format.dwRGBBitCount &&
                    src->m_format.dwRBitMask == m_format.dwRBitMask &&
                    src->m_format.dwGBitMask == m_format.dwGBitMask &&
                    src->m_format.dwBBitMask == m_format.dwBBitMask &&
                    src->m_format.dwRGBAlphaBitMask == m_format.dwRGBAlphaBitMask && src->m_format.dwFlags == m_format.dwFlags;
  const PALETTEENTRY* palette = src->m_palette ? src->m_palette->m_entries : nullptr;
  for (int32_t y = 0; y < dh; ++y) {
    const int32_t ty = d.top + y;
    if (ty < 0 || ty >= int32_t(m_height)) continue;
    const int32_t sy = s.top + int32_t(int64_t(y) * sh / dh);
    for (int32_t x = 0; x < dw; ++x) {
      const int32_t tx = d.left + x;
      if (tx < 0 || tx >= int32_t(m_width)) continue;
      const int32_t sx = s.left + int32_t(int64_t(x) * sw / dw);
      uint32_t v = read_pixel(&src->m_pixels[size_t(sy) * src->m_pitch + size_t(sx) * src->m_bpp], src->m_bpp);
      if (!same) {
        uint8_t rgba[4];
        pixel_to_rgba(src->m_format, v, palette, rgba);
        v = rgba_to_pixel(m_format, rgba);
      }
      write_pixel(&m_pixels[size_t(ty) * m_pitch + size_t(tx) * m_bpp], m_bpp, v);
    }
  }
  if (m_device) m_device->write_target(this);
  ++m_version;
  return DD_OK;
}

HRESULT surface_impl::Flip(IDirectDrawSurface7*, uint32_t) {
  if (!(m_caps.dwCaps & DDSCAPS_FLIP) || !m_backBuffer) return DDERR_NOTFLIPPABLE;
  if (m_lost || m_backBuffer->m_lost) return DDERR_SURFACELOST;
  if (m_backBuffer->m_device) return m_backBuffer->m_device->present(window());
  return DD_OK;
}

HRESULT surface_impl::GetAttachedSurface(const DDSCAPS2* caps, IDirectDrawSurface7** out) {
  if (!caps || !out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  surface_impl* found = nullptr;
  if ((caps->dwCaps & DDSCAPS_BACKBUFFER) && m_backBuffer) found = m_backBuffer;
  else if ((caps->dwCaps & DDSCAPS_MIPMAP) && m_mip) found = m_mip;
  else if ((caps->dwCaps & DDSCAPS_ZBUFFER) && m_zbuffer) found = m_zbuffer;
  if (!found) return DDERR_NOTFOUND;
  found->AddRef();
  *out = found;
  return DD_OK;
}

HRESULT surface_impl::GetPixelFormat(DDPIXELFORMAT* out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = m_format;
  return DD_OK;
}

HRESULT surface_impl::GetSurfaceDesc(DDSURFACEDESC2* out) {
  if (!out || out->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  std::memset(out, 0, sizeof *out);
  out->dwSize = sizeof *out;
  out->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  out->dwWidth = m_width;
  out->dwHeight = m_height;
  out->lPitch = int32_t(m_pitch);
  out->dwMipMapCount = m_mipLevels;
  out->ddpfPixelFormat = m_format;
  out->ddsCaps = m_caps;
  return DD_OK;
}

HRESULT surface_impl::Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, uintptr_t) {
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2) || rect) return DDERR_INVALIDPARAMS;
  if (m_lost) return DDERR_SURFACELOST;
  if (m_locked) return DDERR_SURFACEBUSY;
  if (m_bpp == 0) return DDERR_INVALIDPIXELFORMAT;
  if (m_device && !(flags & DDLOCK_WRITEONLY)) m_device->read_target(this);
  m_locked = true;
  m_lockFlags = flags;
  GetSurfaceDesc(desc);
  desc->dwFlags |= DDSD_LPSURFACE;
  desc->lpSurface = m_pixels.data();
  return DD_OK;
}

HRESULT surface_impl::Unlock(const RECT*) {
  if (!m_locked) return DDERR_NOTLOCKED;
  m_locked = false;
  if (!(m_lockFlags & DDLOCK_READONLY)) {
    if (m_device) m_device->write_target(this);
    ++m_version;
  }
  return DD_OK;
}

HRESULT surface_impl::Restore() {
  m_lost = false;
  if (m_backBuffer) m_backBuffer->m_lost = false;
  return DD_OK;
}

HRESULT surface_impl::SetClipper(IDirectDrawClipper* clipper) {
  auto* c = static_cast<clipper_impl*>(clipper);
  if (c) c->AddRef();
  if (m_clipper) m_clipper->Release();
  m_clipper = c;
  if (c && c->m_window && m_owner) m_owner->m_window = c->m_window;
  return DD_OK;
}

HRESULT surface_impl::SetPalette(IDirectDrawPalette* palette) {
  auto* p = static_cast<palette_impl*>(palette);
  if (p) p->AddRef();
  if (m_palette) m_palette->Release();
  m_palette = p;
  m_paletteUploaded = 0;
  ++m_version;
  return DD_OK;
}

HRESULT surface_impl::GetPalette(IDirectDrawPalette** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = m_palette;
  if (!m_palette) return DDERR_NOTFOUND;
  m_palette->AddRef();
  return DD_OK;
}

HRESULT surface_impl::GetGammaRamp(uint32_t, DDGAMMARAMP* ramp) {
  if (!ramp) return DDERR_INVALIDPARAMS;
  if (!m_hasRamp) {
    for (int i = 0; i < 256; ++i) ramp->red[i] = ramp->green[i] = ramp->blue[i] = uint16_t(i * 257);
    return DD_OK;
  }
  *ramp = m_ramp;
  return DD_OK;
}

HRESULT surface_impl::SetGammaRamp(uint32_t, const DDGAMMARAMP* ramp) {
  if (!ramp) return DDERR_INVALIDPARAMS;
  m_ramp = *ramp;
  m_hasRamp = true;
  return DD_OK;
}

// ---- DirectDraw object -----------------------------------------------------------------------

HRESULT create_ddraw(const GUID* adapter, void** out, const GUID& iid, IUnknown* outer) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (outer) return DDERR_INVALIDPARAMS;
  if (!(iid == IID_IDirectDraw7)) return DXERR_NOINTERFACE;
  // Adapters past the first are named by a GUID whose first word is their number.
  if (adapter && (adapter->Data1 == 0 || adapter->Data1 >= options().adapters)) return DDERR_INVALIDPARAMS;
  if (!host::video_start()) return DDERR_NODIRECTDRAWHW;
  auto* dd = new (std::nothrow) ddraw_impl();
  if (!dd) return DDERR_OUTOFMEMORY;
  dd->m_d3d = new (std::nothrow) d3d_impl(dd);
  if (!dd->m_d3d) {
    delete dd;
    return DDERR_OUTOFMEMORY;
  }
  count_object(1);
  // Windows made from now on carry an OpenGL surface for the devices to draw into.
  host::gl::request_pixel_format(32, 24, true);
  *out = static_cast<IDirectDraw7*>(dd);
  return DD_OK;
}

HRESULT enumerate_ddraw(LPDDENUMCALLBACKEXA callback, void* context, uint32_t) {
  if (!callback) return DDERR_INVALIDPARAMS;
  if (!callback(nullptr, "Primary display driver", "display", context, 0)) return DD_OK;
  for (uint32_t i = 1; i < options().adapters; ++i) {
    GUID g{i, 0x5151, 0x4451, {'V', 'Q', 'A', 'D', 'A', 'P', 'T', 'R'}};
    if (!callback(&g, "Secondary display driver", "display", context, 0)) break;
  }
  return DD_OK;
}

ddraw_impl::~ddraw_impl() {
  if (m_modeSet) RestoreDisplayMode();
  delete static_cast<d3d_impl*>(m_d3d);
  // Surfaces still alive keep working as memory but forget their owner.
  std::lock_guard<std::mutex> lock(m_mutex);
  for (surface_impl* s : m_surfaces) s->m_owner = nullptr;
  count_object(-1);
}

uint32_t ddraw_impl::Release() {
  const uint32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}

HRESULT ddraw_impl::QueryInterface(const GUID& iid, void** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (iid == IID_IDirectDraw7) {
    AddRef();
    *out = static_cast<IDirectDraw7*>(this);
    return DD_OK;
  }
  if (iid == IID_IDirect3D7) {
    AddRef();
    *out = m_d3d;
    return DD_OK;
  }
  return DXERR_NOINTERFACE;
}

IDirect3D7* ddraw_impl::direct3d() { return m_d3d; }

void ddraw_impl::add_surface(surface_impl* s) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_surfaces.push_back(s);
}

void ddraw_impl::remove_surface(surface_impl* s) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_surfaces.erase(std::remove(m_surfaces.begin(), m_surfaces.end(), s), m_surfaces.end());
}

void ddraw_impl::lose_all() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (surface_impl* s : m_surfaces) s->m_lost = true;
}

HRESULT ddraw_impl::RestoreAllSurfaces() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (surface_impl* s : m_surfaces) s->m_lost = false;
  return DD_OK;
}

void ddraw_impl::queue_delete(uint32_t group, uint32_t name) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_deletes.emplace_back(group, name);
}

void ddraw_impl::flush_deletes(uint32_t group) {
  std::vector<uint32_t> names;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_deletes.begin(); it != m_deletes.end();) {
      if (it->first == group) {
        names.push_back(it->second);
        it = m_deletes.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (!names.empty() && gl.DeleteTextures) gl.DeleteTextures(GLsizei(names.size()), names.data());
}

HRESULT ddraw_impl::CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** out, IUnknown* outer) {
  if (!desc || !out || outer || desc->dwSize != sizeof(DDSURFACEDESC2) || !(desc->dwFlags & DDSD_CAPS))
    return DDERR_INVALIDPARAMS;
  *out = nullptr;
  const DDSCAPS2 caps = desc->ddsCaps;
  uint32_t width = desc->dwWidth, height = desc->dwHeight;
  DDPIXELFORMAT pf{};
  if (caps.dwCaps & DDSCAPS_PRIMARYSURFACE) {
    uint32_t w, h, bits, refresh;
    current_mode(&w, &h, &bits, &refresh);
    // A windowed primary is the desktop; a full-screen one the mode the window shows.
    if (!(m_level & DDSCL_FULLSCREEN)) {
      int cw = 0, ch = 0;
      if (m_window && host::get_client_size(m_window, &cw, &ch) && cw > 0 && ch > 0) {
        w = uint32_t(cw);
        h = uint32_t(ch);
      }
    }
    width = w;
    height = h;
    pf = format_of_bits(bits);
    if ((desc->dwFlags & DDSD_BACKBUFFERCOUNT) && desc->dwBackBufferCount > 0) {
      if (!(caps.dwCaps & DDSCAPS_FLIP) || !(m_level & DDSCL_FULLSCREEN)) return DDERR_INVALIDCAPS;
      if (!options().flip_chains) return DDERR_NOFLIPHW;
    }
  } else {
    if (!(desc->dwFlags & DDSD_WIDTH) || !(desc->dwFlags & DDSD_HEIGHT) || width == 0 || height == 0 ||
        width > 16384 || height > 16384)
      return DDERR_INVALIDPARAMS;
    if (desc->dwFlags & DDSD_PIXELFORMAT) {
      pf = desc->ddpfPixelFormat;
    } else {
      uint32_t w, h, bits, refresh;
      current_mode(&w, &h, &bits, &refresh);
      pf = format_of_bits(bits);
    }
    if (caps.dwCaps & DDSCAPS_ZBUFFER) pf.dwFlags |= DDPF_ZBUFFER;
    if (bytes_per_pixel(pf) == 0) return DDERR_INVALIDPIXELFORMAT;
  }
  auto* s = new (std::nothrow) surface_impl(this, caps, width, height, pf);
  if (!s) return DDERR_OUTOFMEMORY;
  if (caps.dwCaps & DDSCAPS_PRIMARYSURFACE) {
    s->m_window = m_window;
    if ((desc->dwFlags & DDSD_BACKBUFFERCOUNT) && desc->dwBackBufferCount > 0) {
      DDSCAPS2 backCaps = {DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE | DDSCAPS_FLIP | DDSCAPS_COMPLEX, 0, 0, 0};
      auto* back = new (std::nothrow) surface_impl(this, backCaps, width, height, pf);
      if (!back) {
        s->Release();
        return DDERR_OUTOFMEMORY;
      }
      back->m_chainOwner = s;
      s->m_backBuffer = back;
    }
  }
  // A mip-mapped texture: the chain of smaller levels, each half the size (at least 1).
  if ((caps.dwCaps & DDSCAPS_MIPMAP) && (desc->dwFlags & DDSD_MIPMAPCOUNT) && desc->dwMipMapCount > 1) {
    surface_impl* level = s;
    s->m_mipLevels = desc->dwMipMapCount;
    for (uint32_t i = 1; i < desc->dwMipMapCount; ++i) {
      const uint32_t w = std::max(1u, level->m_width / 2), h = std::max(1u, level->m_height / 2);
      auto* next = new (std::nothrow) surface_impl(this, caps, w, h, pf);
      if (!next) {
        s->Release();
        return DDERR_OUTOFMEMORY;
      }
      next->m_mipLevels = desc->dwMipMapCount - i;
      level->m_mip = next;
      level = next;
    }
  }
  *out = s;
  return DD_OK;
}

HRESULT ddraw_impl::CreateClipper(uint32_t, IDirectDrawClipper** out, IUnknown* outer) {
  if (!out || outer) return DDERR_INVALIDPARAMS;
  *out = new (std::nothrow) clipper_impl();
  if (!*out) return DDERR_OUTOFMEMORY;
  count_object(1);
  return DD_OK;
}

HRESULT ddraw_impl::CreatePalette(uint32_t flags, const PALETTEENTRY* entries, IDirectDrawPalette** out,
                                  IUnknown* outer) {
  if (!out || outer || !(flags & DDPCAPS_8BIT)) return DDERR_INVALIDPARAMS;
  *out = new (std::nothrow) palette_impl(entries);
  return *out ? DD_OK : DDERR_OUTOFMEMORY;
}

void ddraw_impl::current_mode(uint32_t* width, uint32_t* height, uint32_t* bits, uint32_t* refresh) {
  if (m_modeSet) {
    *width = m_modeWidth;
    *height = m_modeHeight;
    *bits = m_modeBits;
    *refresh = m_modeRefresh;
    return;
  }
  host::gl::display_mode m;
  if (!host::gl::desktop_mode(&m)) m = {640, 480, 32, 60};
  *width = uint32_t(m.width);
  *height = uint32_t(m.height);
  *bits = uint32_t(m.bits);
  *refresh = uint32_t(m.refresh);
}

HRESULT ddraw_impl::EnumDisplayModes(uint32_t, DDSURFACEDESC2* pattern, void* context,
                                     LPDDENUMMODESCALLBACK2 callback) {
  if (!callback) return DDERR_INVALIDPARAMS;
  if (options().no_display_modes) return DD_OK;
  const int n = host::gl::mode_count();
  for (int i = 0; i < n; ++i) {
    host::gl::display_mode m;
    if (!host::gl::mode_at(i, &m)) continue;
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_REFRESHRATE | DDSD_PITCH;
    d.dwWidth = uint32_t(m.width);
    d.dwHeight = uint32_t(m.height);
    d.dwRefreshRate = uint32_t(m.refresh);
    d.ddpfPixelFormat = format_of_bits(uint32_t(m.bits));
    d.lPitch = int32_t(d.dwWidth * bytes_per_pixel(d.ddpfPixelFormat));
    if (pattern && (pattern->dwFlags & DDSD_WIDTH) && pattern->dwWidth != d.dwWidth) continue;
    if (pattern && (pattern->dwFlags & DDSD_HEIGHT) && pattern->dwHeight != d.dwHeight) continue;
    if (callback(&d, context) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT ddraw_impl::GetCaps(DDCAPS* hardware, DDCAPS* emulation) {
  if (!hardware && !emulation) return DDERR_INVALIDPARAMS;
  for (DDCAPS* c : {hardware, emulation}) {
    if (!c) continue;
    if (c->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
    std::memset(c, 0, sizeof *c);
    c->dwSize = sizeof *c;
  }
  if (hardware) {
    hardware->dwCaps = DDCAPS_3D | DDCAPS_BLT | DDCAPS_BLTCOLORFILL;
    if (options().gamma) hardware->dwCaps |= DDCAPS_READSCANLINE;
    if (options().render_windowed) hardware->dwCaps2 |= DDCAPS2_CANRENDERWINDOWED;
    if (options().gamma) hardware->dwCaps2 |= DDCAPS2_PRIMARYGAMMA;
  }
  return DD_OK;
}

HRESULT ddraw_impl::GetDisplayMode(DDSURFACEDESC2* out) {
  if (!out || out->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  uint32_t w, h, bits, refresh;
  current_mode(&w, &h, &bits, &refresh);
  std::memset(out, 0, sizeof *out);
  out->dwSize = sizeof *out;
  out->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_REFRESHRATE | DDSD_PITCH;
  out->dwWidth = w;
  out->dwHeight = h;
  out->dwRefreshRate = refresh;
  out->ddpfPixelFormat = format_of_bits(bits);
  out->lPitch = int32_t(w * bytes_per_pixel(out->ddpfPixelFormat));
  return DD_OK;
}

HRESULT ddraw_impl::SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh, uint32_t) {
  if (width == 0 || height == 0 || (bits != 16 && bits != 24 && bits != 32)) return DDERR_INVALIDMODE;
  if (!(m_level & DDSCL_EXCLUSIVE) || !m_window) return DDERR_NOCOOPERATIVELEVELSET;
  if (host::video_headless()) {
    // No screen to change: the full-screen window takes the mode's size.
    if (!m_modeSet) host::get_client_size(m_window, &m_savedWidth, &m_savedHeight);
    host::set_window_size(m_window, int(width), int(height));
  } else {
    host::gl::display_mode m;
    m.width = int(width);
    m.height = int(height);
    m.bits = int(bits);
    m.refresh = int(refresh);
    if (!host::gl::set_fullscreen_mode(m_window, m)) return DDERR_UNSUPPORTEDMODE;
  }
  m_modeSet = true;
  m_modeWidth = width;
  m_modeHeight = height;
  m_modeBits = bits;
  m_modeRefresh = refresh ? refresh : 60;
  return DD_OK;
}

HRESULT ddraw_impl::RestoreDisplayMode() {
  if (!m_modeSet) return DD_OK;
  m_modeSet = false;
  if (m_window && host::is_window(m_window)) {
    if (host::video_headless()) {
      if (m_savedWidth > 0 && m_savedHeight > 0) host::set_window_size(m_window, m_savedWidth, m_savedHeight);
    } else {
      host::gl::restore_desktop_mode(m_window);
    }
  }
  return DD_OK;
}

HRESULT ddraw_impl::SetCooperativeLevel(HWND window, uint32_t flags) {
  if ((flags & DDSCL_EXCLUSIVE) && (!window || !(flags & DDSCL_FULLSCREEN))) return DDERR_INVALIDPARAMS;
  if (window && !host::is_window(window)) return DDERR_INVALIDPARAMS;
  m_level = flags;
  if (window) m_window = window;
  return DD_OK;
}

}  // namespace host::d3d
