// DirectDraw 7-shaped interfaces of the host layer: the DirectDraw object, its surfaces,
// clipper, palette and gamma control, with the result codes, flags and records the display
// driver passes. Values are those of the DirectX 7 headers. The layer behind them
// (host/d3d/) keeps every surface in memory and presents through an OpenGL context of the
// window layer; it is reached only through the library "ddraw.dll" of host/directx/dx_modules.h,
// loaded by name at run time.
//
// Records carry their own size word as in DirectX; on a 64-bit build the surface description
// holds a pointer and is larger than its 32-bit form, so sizes are checked against sizeof.
#pragma once

#include <cstdint>

#include "host/directx/dx_types.h"

// ---- Result codes ----------------------------------------------------------------------------

constexpr HRESULT DD_OK = DX_OK;
constexpr HRESULT dd_error(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }
constexpr HRESULT DDERR_ALREADYINITIALIZED = dd_error(5);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = dd_error(10);
constexpr HRESULT DDERR_CANNOTDETACHSURFACE = dd_error(20);
constexpr HRESULT DDERR_EXCEPTION = dd_error(55);
constexpr HRESULT DDERR_INVALIDCAPS = dd_error(100);
constexpr HRESULT DDERR_INVALIDMODE = dd_error(120);
constexpr HRESULT DDERR_INVALIDOBJECT = dd_error(130);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = dd_error(145);
constexpr HRESULT DDERR_INVALIDRECT = dd_error(150);
constexpr HRESULT DDERR_NOTFOUND = dd_error(255);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = dd_error(205);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = dd_error(212);
constexpr HRESULT DDERR_NOFLIPHW = dd_error(230);
constexpr HRESULT DDERR_NOZBUFFERHW = dd_error(290);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = dd_error(380);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = dd_error(410);
constexpr HRESULT DDERR_SURFACEBUSY = dd_error(430);
constexpr HRESULT DDERR_SURFACELOST = dd_error(450);
constexpr HRESULT DDERR_SURFACENOTATTACHED = dd_error(460);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = dd_error(590);
constexpr HRESULT DDERR_WASSTILLDRAWING = dd_error(540);
constexpr HRESULT DDERR_NOTLOCKED = dd_error(584);
constexpr HRESULT DDERR_NOTFLIPPABLE = dd_error(582);
constexpr HRESULT DDERR_NODIRECTDRAWHW = dd_error(563);
constexpr HRESULT DDERR_WRONGMODE = dd_error(587);
constexpr HRESULT DDERR_INVALIDPARAMS = DXERR_INVALIDPARAMS;
constexpr HRESULT DDERR_OUTOFMEMORY = DXERR_OUTOFMEMORY;
constexpr HRESULT DDERR_GENERIC = DXERR_GENERIC;
constexpr HRESULT DDERR_UNSUPPORTED = DXERR_UNSUPPORTED;

// ---- Flags -----------------------------------------------------------------------------------

// Surface description fields.
constexpr uint32_t DDSD_CAPS = 0x00000001;
constexpr uint32_t DDSD_HEIGHT = 0x00000002;
constexpr uint32_t DDSD_WIDTH = 0x00000004;
constexpr uint32_t DDSD_PITCH = 0x00000008;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr uint32_t DDSD_LPSURFACE = 0x00000800;
constexpr uint32_t DDSD_PIXELFORMAT = 0x00001000;
constexpr uint32_t DDSD_MIPMAPCOUNT = 0x00020000;
constexpr uint32_t DDSD_REFRESHRATE = 0x00040000;
constexpr uint32_t DDSD_TEXTURESTAGE = 0x00100000;

// Surface capabilities (first word).
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x00000004;
constexpr uint32_t DDSCAPS_COMPLEX = 0x00000008;
constexpr uint32_t DDSCAPS_FLIP = 0x00000010;
constexpr uint32_t DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr uint32_t DDSCAPS_PALETTE = 0x00000100;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr uint32_t DDSCAPS_TEXTURE = 0x00001000;
constexpr uint32_t DDSCAPS_3DDEVICE = 0x00002000;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr uint32_t DDSCAPS_ZBUFFER = 0x00020000;
constexpr uint32_t DDSCAPS_MIPMAP = 0x00400000;
constexpr uint32_t DDSCAPS_LOCALVIDMEM = 0x10000000;
// Second word.
constexpr uint32_t DDSCAPS2_TEXTUREMANAGE = 0x00000010;

// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x00000001;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x00000002;
constexpr uint32_t DDSCL_NORMAL = 0x00000008;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x00000010;

// Blits, flips and locks.
constexpr uint32_t DDBLT_COLORFILL = 0x00000400;
constexpr uint32_t DDBLT_WAIT = 0x01000000;
constexpr uint32_t DDFLIP_WAIT = 0x00000001;
constexpr uint32_t DDLOCK_WAIT = 0x00000001;
constexpr uint32_t DDLOCK_READONLY = 0x00000010;
constexpr uint32_t DDLOCK_WRITEONLY = 0x00000020;
constexpr uint32_t DDLOCK_NOSYSLOCK = 0x00000800;
constexpr uint32_t DDLOCK_NOOVERWRITE = 0x00001000;
constexpr uint32_t DDLOCK_DISCARDCONTENTS = 0x00002000;

// Palettes.
constexpr uint32_t DDPCAPS_8BIT = 0x00000004;
constexpr uint32_t DDPCAPS_ALLOW256 = 0x00000040;

// Caps of the DirectDraw object (first and second words).
constexpr uint32_t DDCAPS_3D = 0x00000001;
constexpr uint32_t DDCAPS_BLT = 0x00000040;
constexpr uint32_t DDCAPS_BLTCOLORFILL = 0x04000000;
constexpr uint32_t DDCAPS_READSCANLINE = 0x00020000;
constexpr uint32_t DDCAPS2_CANRENDERWINDOWED = 0x00080000;
constexpr uint32_t DDCAPS2_PRIMARYGAMMA = 0x00020000;

// Z-buffer pixel formats.
constexpr uint32_t DDPF_ZBUFFER = 0x00000400;

// Adapter enumeration flags.
constexpr uint32_t DDENUM_ATTACHEDSECONDARYDEVICES = 0x00000001;
constexpr uint32_t DDENUM_DETACHEDSECONDARYDEVICES = 0x00000002;
constexpr uint32_t DDENUM_NONDISPLAYDEVICES = 0x00000004;

constexpr int32_t DDENUMRET_CANCEL = 0;
constexpr int32_t DDENUMRET_OK = 1;

// ---- Records ---------------------------------------------------------------------------------

struct RECT {
  int32_t left, top, right, bottom;
};

struct DDSCAPS2 {
  uint32_t dwCaps;
  uint32_t dwCaps2;
  uint32_t dwCaps3;
  uint32_t dwCaps4;
};

struct DDSURFACEDESC2 {
  uint32_t dwSize;
  uint32_t dwFlags;
  uint32_t dwHeight;
  uint32_t dwWidth;
  int32_t lPitch;  // bytes per row
  uint32_t dwBackBufferCount;
  uint32_t dwMipMapCount;
  uint32_t dwRefreshRate;
  void* lpSurface;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  uint32_t dwTextureStage;
};

// The DirectDraw object's capabilities: 380 bytes as in DirectX 7; only the first words are
// filled, the rest stays zero.
struct DDCAPS {
  uint32_t dwSize;
  uint32_t dwCaps;
  uint32_t dwCaps2;
  uint32_t dwCKeyCaps;
  uint32_t dwFXCaps;
  uint32_t dwFXAlphaCaps;
  uint32_t dwPalCaps;
  uint32_t dwSVCaps;
  uint32_t dwAlphaBltConstBitDepths;
  uint32_t dwRest[86];
};
static_assert(sizeof(DDCAPS) == 380, "DDCAPS is 380 bytes");

struct DDBLTFX {
  uint32_t dwSize;
  uint32_t dwFillColor;  // a pixel value in the destination's format
};

struct DDGAMMARAMP {
  uint16_t red[256];
  uint16_t green[256];
  uint16_t blue[256];
};

struct PALETTEENTRY {
  uint8_t peRed, peGreen, peBlue, peFlags;
};

// ---- Interfaces ------------------------------------------------------------------------------

// The reference-counted base of every interface: Release at zero destroys the object.
struct IUnknown {
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Interface identifiers.
extern const GUID IID_IDirectDraw7;
extern const GUID IID_IDirectDrawSurface7;
extern const GUID IID_IDirectDrawGammaControl;
extern const GUID IID_IDirect3D7;

using HWND = uintptr_t;  // a window of the host window layer (0 = none)

struct IDirectDrawClipper : IUnknown {
  virtual HRESULT SetHWnd(uint32_t flags, HWND window) = 0;
  virtual HRESULT GetHWnd(HWND* window) = 0;
};

struct IDirectDrawPalette : IUnknown {
  virtual HRESULT GetEntries(uint32_t flags, uint32_t base, uint32_t count, PALETTEENTRY* out) = 0;
  virtual HRESULT SetEntries(uint32_t flags, uint32_t base, uint32_t count, const PALETTEENTRY* in) = 0;
};

struct IDirectDrawGammaControl : IUnknown {
  virtual HRESULT GetGammaRamp(uint32_t flags, DDGAMMARAMP* ramp) = 0;
  virtual HRESULT SetGammaRamp(uint32_t flags, const DDGAMMARAMP* ramp) = 0;
};

struct IDirectDrawSurface7 : IUnknown {
  virtual HRESULT AddAttachedSurface(IDirectDrawSurface7* surface) = 0;
  virtual HRESULT DeleteAttachedSurface(uint32_t flags, IDirectDrawSurface7* surface) = 0;
  // Colour fill (DDBLT_COLORFILL with fx) or a copy of src (null rectangles: whole surfaces).
  virtual HRESULT Blt(const RECT* dst, IDirectDrawSurface7* src, const RECT* srcRect, uint32_t flags,
                      const DDBLTFX* fx) = 0;
  virtual HRESULT Flip(IDirectDrawSurface7* target, uint32_t flags) = 0;
  virtual HRESULT GetAttachedSurface(const DDSCAPS2* caps, IDirectDrawSurface7** out) = 0;
  virtual HRESULT GetPixelFormat(DDPIXELFORMAT* out) = 0;
  virtual HRESULT GetSurfaceDesc(DDSURFACEDESC2* out) = 0;
  virtual HRESULT IsLost() = 0;
  // Fills desc (size, pitch, pixel address, format); rect must be null (whole surface).
  virtual HRESULT Lock(const RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, uintptr_t event) = 0;
  virtual HRESULT Unlock(const RECT* rect) = 0;
  virtual HRESULT Restore() = 0;
  virtual HRESULT SetClipper(IDirectDrawClipper* clipper) = 0;
  virtual HRESULT SetPalette(IDirectDrawPalette* palette) = 0;
  virtual HRESULT GetPalette(IDirectDrawPalette** out) = 0;
};

using LPDDENUMMODESCALLBACK2 = int32_t (*)(DDSURFACEDESC2* mode, void* context);

struct IDirectDraw7 : IUnknown {
  virtual HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** out, IUnknown* outer) = 0;
  virtual HRESULT CreateClipper(uint32_t flags, IDirectDrawClipper** out, IUnknown* outer) = 0;
  virtual HRESULT CreatePalette(uint32_t flags, const PALETTEENTRY* entries, IDirectDrawPalette** out,
                                IUnknown* outer) = 0;
  virtual HRESULT EnumDisplayModes(uint32_t flags, DDSURFACEDESC2* pattern, void* context,
                                   LPDDENUMMODESCALLBACK2 callback) = 0;
  virtual HRESULT GetCaps(DDCAPS* hardware, DDCAPS* emulation) = 0;
  virtual HRESULT GetDisplayMode(DDSURFACEDESC2* out) = 0;
  virtual HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh,
                                 uint32_t flags) = 0;
  virtual HRESULT RestoreDisplayMode() = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, uint32_t flags) = 0;
  virtual HRESULT RestoreAllSurfaces() = 0;
};

// Entry points of "ddraw.dll".
using LPDDENUMCALLBACKEXA = int32_t (*)(GUID* guid, const char* description, const char* name,
                                        void* context, uintptr_t monitor);
using DirectDrawCreateExFn = HRESULT (*)(const GUID* adapter, void** out, const GUID& iid, IUnknown* outer);
using DirectDrawEnumerateExAFn = HRESULT (*)(LPDDENUMCALLBACKEXA callback, void* context, uint32_t flags);
