// Internals of the DirectDraw and Direct3D-shaped layer over OpenGL.
//
// Surfaces live in memory. A render target is bound to the device drawing into it: its pixels
// are the device's OpenGL back buffer, read on Lock and written back on Unlock. Textures and
// vertex buffers are memory only until a device uses them: their OpenGL objects are made and
// filled on the drawing thread when they are bound, so any thread may create and fill them
// (the race loader does). Reference counts are atomic; the surface list of a DirectDraw
// object is guarded by a mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "host/directx/d3d.h"
#include "host/directx/dx_layer.h"
#include "host/gl/gl.h"

namespace host::d3d {

class ddraw_impl;
class device_impl;

// Bytes per pixel of a DirectDraw format (0 when unknown).
uint32_t bytes_per_pixel(const DDPIXELFORMAT& pf);
// RGBA bytes of one pixel value in a format (palette: 256 entries or null).
void pixel_to_rgba(const DDPIXELFORMAT& pf, uint32_t value, const PALETTEENTRY* palette, uint8_t* rgba);
uint32_t rgba_to_pixel(const DDPIXELFORMAT& pf, const uint8_t* rgba);
uint32_t read_pixel(const uint8_t* p, uint32_t bpp);
void write_pixel(uint8_t* p, uint32_t bpp, uint32_t value);
DDPIXELFORMAT format_of_bits(uint32_t bits);  // the display formats: 16 -> 565, 24, 32 -> x888
// Counts live layer objects (live_objects).
void count_object(int delta);

class palette_impl final : public IDirectDrawPalette {
 public:
  explicit palette_impl(const PALETTEENTRY* entries);
  HRESULT QueryInterface(const GUID&, void** out) override;
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override;
  HRESULT GetEntries(uint32_t, uint32_t base, uint32_t count, PALETTEENTRY* out) override;
  HRESULT SetEntries(uint32_t, uint32_t base, uint32_t count, const PALETTEENTRY* in) override;

  PALETTEENTRY m_entries[256] = {};
  std::atomic<uint32_t> m_version{1};

 private:
  std::atomic<uint32_t> m_refs{1};
};

class clipper_impl final : public IDirectDrawClipper {
 public:
  HRESULT QueryInterface(const GUID&, void** out) override;
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override;
  HRESULT SetHWnd(uint32_t, HWND window) override;
  HRESULT GetHWnd(HWND* window) override;

  HWND m_window = 0;

 private:
  std::atomic<uint32_t> m_refs{1};
};

class surface_impl final : public IDirectDrawSurface7, public IDirectDrawGammaControl {
 public:
  surface_impl(ddraw_impl* owner, const DDSCAPS2& caps, uint32_t width, uint32_t height, const DDPIXELFORMAT& pf);
  HRESULT QueryInterface(const GUID& iid, void** out) override;
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override;

  HRESULT AddAttachedSurface(IDirectDrawSurface7* surface) override;
  HRESULT DeleteAttachedSurface(uint32_t flags, IDirectDrawSurface7* surface) override;
  HRESULT Blt(const RECT* dst, IDirectDrawSurface7* src, const RECT* srcRect, uint32_t flags,
              const DDBLTFX* fx) override;
  HRESULT Flip(IDirectDrawSurface7* target, uint32_t flags) override;
  HRESULT GetAttachedSurface(const DDSCAPS2* caps, IDirectDrawSurface7** out) override;
  HRESULT GetPixelFormat(DDPIXELFORMAT* out) override;
  HRESULT GetSurfaceDesc(DDSURFACEDESC2* out) override;
  HRESULT IsLost() override { return m_lost ? DDERR_SURFACELOST : DD_OK; }
  HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, uintptr_t event) override;
  HRESULT Unlock(const RECT* rect) override;
  HRESULT Restore() override;
  HRESULT SetClipper(IDirectDrawClipper* clipper) override;
  HRESULT SetPalette(IDirectDrawPalette* palette) override;
  HRESULT GetPalette(IDirectDrawPalette** out) override;
  HRESULT GetGammaRamp(uint32_t flags, DDGAMMARAMP* ramp) override;
  HRESULT SetGammaRamp(uint32_t flags, const DDGAMMARAMP* ramp) override;

  // The window this surface presents to: its clipper's, else the one it was made for.
  HWND window() const;
  // Sends the pixels (every level) to the bound texture of the current context when they
  // changed since the last upload; makes the OpenGL texture on first use.
  uint32_t gl_texture(device_impl* device);

  ddraw_impl* m_owner;
  DDSCAPS2 m_caps;
  uint32_t m_width, m_height;
  DDPIXELFORMAT m_format;
  uint32_t m_bpp;
  uint32_t m_pitch;
  std::vector<uint8_t> m_pixels;
  HWND m_window = 0;
  bool m_lost = false;
  bool m_locked = false;
  uint32_t m_lockFlags = 0;
  surface_impl* m_backBuffer = nullptr;  // flip chain of a primary (owned reference)
  surface_impl* m_chainOwner = nullptr;  // the primary of a chained back buffer (not owned)
  surface_impl* m_mip = nullptr;         // the next smaller level (owned reference)
  uint32_t m_mipLevels = 1;              // levels from this one down
  surface_impl* m_zbuffer = nullptr;     // attached (owned reference)
  clipper_impl* m_clipper = nullptr;     // owned reference
  palette_impl* m_palette = nullptr;     // owned reference
  device_impl* m_device = nullptr;       // a render target's device (not owned)
  DDGAMMARAMP m_ramp{};
  bool m_hasRamp = false;

  // Texture state on the drawing thread.
  std::atomic<uint32_t> m_version{1};
  uint32_t m_glName = 0;
  uint32_t m_glGroup = 0;
  uint32_t m_uploaded = 0;
  uint32_t m_paletteUploaded = 0;
  int m_glMin = -1, m_glMag = -1, m_glWrapS = -1, m_glWrapT = -1;

 private:
  ~surface_impl() override;
  std::atomic<uint32_t> m_refs{1};
};

class ddraw_impl final : public IDirectDraw7 {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override;
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override;

  HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** out, IUnknown* outer) override;
  HRESULT CreateClipper(uint32_t flags, IDirectDrawClipper** out, IUnknown* outer) override;
  HRESULT CreatePalette(uint32_t flags, const PALETTEENTRY* entries, IDirectDrawPalette** out,
                        IUnknown* outer) override;
  HRESULT EnumDisplayModes(uint32_t flags, DDSURFACEDESC2* pattern, void* context,
                           LPDDENUMMODESCALLBACK2 callback) override;
  HRESULT GetCaps(DDCAPS* hardware, DDCAPS* emulation) override;
  HRESULT GetDisplayMode(DDSURFACEDESC2* out) override;
  HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh, uint32_t flags) override;
  HRESULT RestoreDisplayMode() override;
  HRESULT SetCooperativeLevel(HWND window, uint32_t flags) override;
  HRESULT RestoreAllSurfaces() override;

  // Interface of the Direct3D object (a second face of this object, as in DirectX).
  IDirect3D7* direct3d();

  void add_surface(surface_impl* s);
  void remove_surface(surface_impl* s);
  void lose_all();
  // The display mode now (a set mode, else the desktop's).
  void current_mode(uint32_t* width, uint32_t* height, uint32_t* bits, uint32_t* refresh);
  // OpenGL texture names to delete once a device of their group is current.
  void queue_delete(uint32_t group, uint32_t name);
  void flush_deletes(uint32_t group);

  HWND m_window = 0;  // the window last given (cooperative level or a clipper)
  uint32_t m_level = 0;
  bool m_modeSet = false;
  uint32_t m_modeWidth = 0, m_modeHeight = 0, m_modeBits = 0, m_modeRefresh = 0;
  int m_savedWidth = 0, m_savedHeight = 0;  // the window's size before a headless mode change
  std::vector<device_impl*> m_devices;

 private:
  friend HRESULT create_ddraw(const GUID*, void**, const GUID&, IUnknown*);
  ~ddraw_impl() override;
  std::atomic<uint32_t> m_refs{1};
  std::mutex m_mutex;
  std::vector<surface_impl*> m_surfaces;
  std::vector<std::pair<uint32_t, uint32_t>> m_deletes;
  IDirect3D7* m_d3d = nullptr;
};

HRESULT create_ddraw(const GUID* adapter, void** out, const GUID& iid, IUnknown* outer);
HRESULT enumerate_ddraw(LPDDENUMCALLBACKEXA callback, void* context, uint32_t flags);

// The Direct3D object of a DirectDraw object: shares its reference count.
class d3d_impl final : public IDirect3D7 {
 public:
  explicit d3d_impl(ddraw_impl* owner) : m_owner(owner) {}
  HRESULT QueryInterface(const GUID& iid, void** out) override { return m_owner->QueryInterface(iid, out); }
  uint32_t AddRef() override { return m_owner->AddRef(); }
  uint32_t Release() override { return m_owner->Release(); }
  HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context) override;
  HRESULT CreateDevice(const GUID& device, IDirectDrawSurface7* target, IDirect3DDevice7** out) override;
  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* desc, IDirect3DVertexBuffer7** out, uint32_t flags) override;
  HRESULT EnumZBufferFormats(const GUID& device, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override;
  ~d3d_impl() override = default;

  ddraw_impl* m_owner;
};

class vertex_buffer_impl final : public IDirect3DVertexBuffer7 {
 public:
  explicit vertex_buffer_impl(const D3DVERTEXBUFFERDESC& desc);
  HRESULT QueryInterface(const GUID&, void** out) override;
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override;
  HRESULT Lock(uint32_t flags, void** data, uint32_t* size) override;
  HRESULT Unlock() override;
  HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC* out) override;

  D3DVERTEXBUFFERDESC m_desc;
  uint32_t m_stride;
  std::vector<uint8_t> m_data;
  std::atomic<bool> m_locked{false};

 private:
  ~vertex_buffer_impl() override = default;
  std::atomic<uint32_t> m_refs{1};
};

}  // namespace host::d3d
