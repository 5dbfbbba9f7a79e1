// The Direct3D canvas: its surfaces, scenes and presents, reads of the back buffer, image
// blits; and the Direct3D viewport.
#include "Zentri/devices/display/direct3d/VQD3DCanvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/util/VQerror.h"

namespace {

bool Dx(HRESULT r) {
  g_VQdxResult = r;
  return dx_succeeded(r);
}

DDSURFACEDESC2 SurfaceDesc(uint32_t flags, uint32_t caps) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  d.dwFlags = flags;
  d.ddsCaps.dwCaps = caps;
  return d;
}

}  // namespace

D3DMATRIX VQd3d_Perspective(float l, float r, float b, float t, float n, float f) {
  D3DMATRIX m{};
  m.m[0][0] = 2 * n / (r - l);
  m.m[1][1] = 2 * n / (t - b);
  m.m[2][0] = (l + r) / (l - r);
  m.m[2][1] = (t + b) / (b - t);
  m.m[2][2] = f / (f - n);
  m.m[2][3] = 1.0f;
  m.m[3][2] = n * f / (n - f);
  return m;
}

D3DMATRIX VQd3d_Orthographic(float l, float r, float b, float t, float n, float f) {
  D3DMATRIX m{};
  m.m[0][0] = 2 / (r - l);
  m.m[1][1] = 2 / (t - b);
  m.m[2][2] = 1 / (f - n);
  m.m[3][0] = (l + r) / (l - r);
  m.m[3][1] = (t + b) / (b - t);
  m.m[3][2] = n / (n - f);
  m.m[3][3] = 1.0f;
  return m;
}

VQD3DCanvas::VQD3DCanvas() { m_grabFormat = VQPF_BGR888; }

// ---- Surfaces ------------------------------------------------------------------------------------

void VQD3DCanvas::ReadBackBufferFormat() {
  m_backBits = m_backFormat = 0;
  DDPIXELFORMAT pf{};
  pf.dwSize = sizeof pf;
  if (m_back && Dx(m_back->GetPixelFormat(&pf))) VQdirectx_PixelFormatFromDD(pf, &m_backBits, &m_backFormat);
}

bool VQD3DCanvas::CreateBackBuffer() {
  VQD3DDisplayDevice* d = Device();
  DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
                                    DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE |
                                        (d->m_surfacesInVideoMemory ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY));
  desc.dwWidth = m_width;
  desc.dwHeight = m_height;
  m_back = d->NewSurface(desc);
  return m_back != nullptr;
}

bool VQD3DCanvas::CreateFullScreenSurfaces(uint32_t backBuffers) {
  VQD3DDisplayDevice* d = Device();
  if (!m_cooperative) {
    if (!Dx(d->m_ddraw->SetCooperativeLevel(m_window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE)))
      return false;
    m_cooperative = true;
  }
  if (!d->SetMode(m_width, m_height, m_colourBits, 0)) return false;
  if (m_back && !m_chained) m_back->Release();
  m_back = nullptr;
  if (m_primary) m_primary->Release();
  m_primary = nullptr;
  m_chained = false;
  const uint32_t chainCaps =
      DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY;
  if (backBuffers >= 3) {
    DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, chainCaps);
    desc.dwBackBufferCount = 2;
    m_primary = d->NewSurface(desc);
    if (m_primary) {
      m_chained = true;
      m_backBuffers = 3;
      m_present = VQD3D_PRESENT_FLIP_TWO;
    }
  }
  if (!m_primary) {
    DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, chainCaps);
    desc.dwBackBufferCount = 1;
    m_primary = d->NewSurface(desc);
    if (m_primary) {
      m_chained = true;
      m_backBuffers = 2;
      m_present = VQD3D_PRESENT_FLIP_ONE;
    } else {
      DDSURFACEDESC2 plain = SurfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
      m_primary = d->NewSurface(plain);
      if (!m_primary) return false;
      m_backBuffers = 2;
      m_present = VQD3D_PRESENT_BLIT;
    }
  }
  if (m_chained) {
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, 0};
    if (!Dx(m_primary->GetAttachedSurface(&caps, &m_back))) {
      m_primary->Release();
      m_primary = nullptr;
      return false;
    }
    // The chain keeps its own reference: the canvas does not count the back buffer.
    m_back->Release();
  } else if (!CreateBackBuffer()) {
    m_primary->Release();
    m_primary = nullptr;
    return false;
  }
  ReadBackBufferFormat();
  return true;
}

bool VQD3DCanvas::CreateWindowedSurfaces() {
  VQD3DDisplayDevice* d = Device();
  if (!m_cooperative) {
    if (!Dx(d->m_ddraw->SetCooperativeLevel(0, DDSCL_NORMAL))) return false;
    m_cooperative = true;
  }
  ReleaseSurfaces();
  DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
  m_primary = d->NewSurface(desc);
  if (!m_primary) return false;
  if (!CreateBackBuffer()) {
    m_primary->Release();
    m_primary = nullptr;
    return false;
  }
  ReadBackBufferFormat();
  IDirectDrawClipper* clipper = nullptr;
  if (!Dx(d->m_ddraw->CreateClipper(0, &clipper, nullptr))) return false;
  const bool clipped = Dx(clipper->SetHWnd(0, m_window)) && Dx(m_primary->SetClipper(clipper));
  clipper->Release();
  if (!clipped) return false;
  m_chained = false;
  m_backBuffers = 2;
  m_present = VQD3D_PRESENT_BLIT;
  return true;
}

bool VQD3DCanvas::CreateZBuffer(const DDPIXELFORMAT& format) {
  VQD3DDisplayDevice* d = Device();
  if (!d || !d->m_ddraw) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (m_zbuffer) {
    if (m_back) m_back->DeleteAttachedSurface(0, m_zbuffer);
    m_zbuffer->Release();
    m_zbuffer = nullptr;
  }
  DDSURFACEDESC2 desc = SurfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                                    DDSCAPS_ZBUFFER | (d->m_zInVideoMemory ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY));
  desc.dwWidth = m_width;
  desc.dwHeight = m_height;
  desc.ddpfPixelFormat = format;
  m_zbuffer = d->NewSurface(desc);
  if (!m_zbuffer) return false;
  m_zFormat = format;
  if (!m_back || !Dx(m_back->AddAttachedSurface(m_zbuffer))) {
    m_zbuffer->Release();
    m_zbuffer = nullptr;
    return false;
  }
  return true;
}

void VQD3DCanvas::ReleaseSurfaces() {
  if (m_zbuffer) {
    if (m_back) m_back->DeleteAttachedSurface(0, m_zbuffer);
    m_zbuffer->Release();
    m_zbuffer = nullptr;
  }
  if (m_back && !m_chained) m_back->Release();
  m_back = nullptr;
  if (m_primary) m_primary->Release();
  m_primary = nullptr;
  m_chained = false;
}

bool VQD3DCanvas::RestoreSurfacesNow() {
  if (!m_back) return false;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const HRESULT r = m_back->IsLost();
    g_VQdxResult = r;
    if (r == DD_OK) return true;
    if (r != DDERR_SURFACELOST) return false;
    if (m_primary) Dx(m_primary->Restore());
    Dx(m_back->Restore());
  }
  return false;
}

bool VQD3DCanvas::RecreateSurfaces() {
  VQD3DDisplayDevice* d = Device();
  if (!d || !m_valid) return true;
  if (m_gamma) {
    m_gamma->Release();
    m_gamma = nullptr;
  }
  if (!(m_mode == VQCANVAS_WINDOWED ? CreateWindowedSurfaces() : CreateFullScreenSurfaces(m_backBuffers))) return false;
  if (!CreateZBuffer(m_zFormat)) return false;
  if (d->m_gammaCapable) {
    void* gamma = nullptr;
    if (Dx(m_primary->QueryInterface(IID_IDirectDrawGammaControl, &gamma)))
      m_gamma = static_cast<IDirectDrawGammaControl*>(gamma);
  }
  if (m_d3dDevice && !Dx(m_d3dDevice->SetRenderTarget(m_back, 0))) return false;
  return true;
}

// ---- Frames --------------------------------------------------------------------------------------

uint32_t VQD3DCanvas::GetBufferingMode() {
  if (m_mode == VQCANVAS_WINDOWED || !m_chained) return VQBUFFERING_DOUBLE_ALT;
  return m_backBuffers >= 3 ? VQBUFFERING_TRIPLE : VQBUFFERING_DOUBLE;
}

void VQD3DCanvas::Show(bool show) {
  host::show_window(m_window, show);
  m_shown = show ? 1 : 0;
}

bool VQD3DCanvas::MakeCurrent() {
  m_in2D = 0;
  m_2DActive = false;
  VQD3DDisplayDevice* d = Device();
  if (!m_d3dDevice || !d) return false;
  d->m_current = this;
  if (m_inScene) return true;
  HRESULT r = m_d3dDevice->BeginScene();
  g_VQdxResult = r;
  if (r == DDERR_SURFACELOST) {
    // Restored only while the game's window is in front (shown and not minimised).
    const bool front = host::is_window(m_window) && m_shown && !host::is_minimized(m_window);
    bool restored = false;
    if (front) {
      if (m_mode != VQCANVAS_WINDOWED) {
        // Full screen: the device-level restore.
        restored = Dx(d->m_ddraw->RestoreAllSurfaces());
        if (restored && !d->m_vertexBuffersInSystemMemory) d->RefillBuffers();
      } else {
        restored = RestoreSurfacesNow();
      }
    }
    r = restored ? m_d3dDevice->BeginScene() : r;
    g_VQdxResult = r;
    if (dx_failed(r)) {
      m_d3dDevice->EndScene();
      return false;
    }
  } else if (dx_failed(r)) {
    return false;
  }
  m_inScene = true;
  if (!m_lightSet) {
    m_lightSet = true;
    SetState(D3DRENDERSTATE_AMBIENT, 0);
  }
  return true;
}

bool VQD3DCanvas::End() {
  VQD3DDisplayDevice* d = Device();
  if (!m_d3dDevice) return false;
  const bool ok = !m_inScene || Dx(m_d3dDevice->EndScene());
  m_inScene = false;
  if (d) {
    d->m_sharedDiscard = true;
    d->m_sharedNext = 0;
  }
  return ok;
}

void VQD3DCanvas::Present() {
  if (!m_primary || !m_back) return;
  if (m_chained) {
    Dx(m_primary->Flip(nullptr, DDFLIP_WAIT));
    return;
  }
  if (host::is_minimized(m_window)) return;
  Dx(m_primary->Blt(nullptr, m_back, nullptr, DDBLT_WAIT, nullptr));
}

void VQD3DCanvas::SetTitle(const char* text) { VQwin32_SetWindowTitle(m_window, text ? text : ""); }

void VQD3DCanvas::GetTitle(char* buffer, uint32_t size) {
  if (!buffer || size == 0) return;
  buffer[0] = 0;
  VQwin32_GetWindowTitle(m_window, buffer, int(size));
}

void VQD3DCanvas::SetPosition(int32_t x, int32_t y) {
  if (m_mode == VQCANVAS_WINDOWED) VQwin32_SetWindowPosition(m_window, x, y);
}

VQViewport* VQD3DCanvas::CreateViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!m_valid || !m_created) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  if (m_viewportCount >= VQCANVAS_MAX_VIEWPORTS) {
    g_VQerror = VQERR_TOO_MANY_VIEWPORTS;
    return nullptr;
  }
  auto* v = new (std::nothrow) VQD3DViewport();
  if (!v) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  v->m_d3dDevice = m_d3dDevice;
  v->m_display = m_device;
  if (!v->Create(this, x, y, width, height) || !AddViewport(v)) {
    delete v;
    return nullptr;
  }
  v->SendRect(x, y, width, height);
  return v;
}

// ---- Back buffer ---------------------------------------------------------------------------------

void* VQD3DCanvas::LockBack(uint32_t* pitch) {
  if (!m_back) return nullptr;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const HRESULT r = m_back->Lock(nullptr, &desc, 0, 0);
    g_VQdxResult = r;
    if (r == DD_OK) {
      const uint32_t bits = desc.ddpfPixelFormat.dwRGBBitCount;
      if (bits != 16 && bits != 24 && bits != 32) {
        m_back->Unlock(nullptr);
        return nullptr;
      }
      if (pitch) *pitch = uint32_t(desc.lPitch) / (bits / 8);
      m_backLocked = true;
      return desc.lpSurface;
    }
    if (r == DDERR_SURFACELOST) {
      if (!m_primary || !Dx(m_primary->Restore())) return nullptr;
      Dx(m_back->Restore());
      continue;
    }
    if (r != DDERR_WASSTILLDRAWING) return nullptr;
  }
  return nullptr;
}

void VQD3DCanvas::UnlockBackBuffer() {
  if (!m_backLocked || !m_back) return;
  Dx(m_back->Unlock(nullptr));
  m_backLocked = false;
}

bool VQD3DCanvas::ReadPixels(uint32_t buffer, uint32_t, uint32_t, uint8_t* destination) {
  if (buffer != 1 || m_present == VQD3D_PRESENT_NONE || !destination || !m_back) return false;
  const bool wasInScene = m_inScene;
  if (wasInScene) End();
  uint32_t pitch = 0;
  const uint8_t* pixels = static_cast<const uint8_t*>(LockBack(nullptr));
  bool ok = false;
  if (pixels) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    m_back->GetSurfaceDesc(&desc);
    pitch = uint32_t(desc.lPitch) / std::max<uint32_t>(1, desc.ddpfPixelFormat.dwRGBBitCount / 8);
    // Canvas reads give the bottom row first, as every canvas delivers them.
    for (uint32_t y = 0; y < m_height; ++y)
      VQd3d_ConvertPixels(destination + size_t(m_height - 1 - y) * m_width * 3, m_width, VQPF_RGB888,
                          pixels + size_t(y) * pitch * (m_backBits / 8), pitch, m_backFormat, m_width, 1, nullptr, false);
    UnlockBackBuffer();
    ok = true;
  }
  if (wasInScene) MakeCurrent();
  return ok;
}

VQPixmap* VQD3DCanvas::GrabRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  VQD3DDisplayDevice* d = Device();
  if (!m_valid || !d) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  if (x < 0) {
    width += x;
    x = 0;
  }
  if (y < 0) {
    height += y;
    y = 0;
  }
  width = std::min(width, int32_t(m_width) - x);
  height = std::min(height, int32_t(m_height) - y);
  if (width <= 0 || height <= 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  uint8_t* all = static_cast<uint8_t*>(std::malloc(size_t(m_width) * m_height * 3));
  if (!all) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  if (!ReadPixels(1, 0, 0, all)) {
    std::free(all);
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  // Grabs are format 7 (blue first) with the bottom row first, as the other canvases give.
  VQPixmap* p = d->CreatePixmap(uint32_t(width), uint32_t(height), VQPF_BGR888);
  uint32_t pitch = 0;
  uint8_t* out = p ? static_cast<uint8_t*>(p->Lock(&pitch)) : nullptr;
  if (!out) {
    std::free(all);
    if (p) d->DeletePixmap(p);
    return nullptr;
  }
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* in = all + (size_t(y + row) * m_width + size_t(x)) * 3;
    uint8_t* o = out + size_t(row) * pitch * 3;
    for (int32_t i = 0; i < width; ++i) {
      o[3 * i] = in[3 * i + 2];
      o[3 * i + 1] = in[3 * i + 1];
      o[3 * i + 2] = in[3 * i];
    }
  }
  p->m_bottomUp = 1;
  std::free(all);
  return p;
}

void VQD3DCanvas::FillRect(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t, uintptr_t, uintptr_t) {
  const auto* rect = reinterpret_cast<const int32_t*>(a);
  VQD3DDisplayDevice* d = Device();
  if (!c || !rect || !m_back || !d) return;
  DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = d->ColourToPixel(uint32_t(b), d->m_screenFormat);
  const RECT r{rect[0], rect[1], rect[2], rect[3]};
  Dx(m_back->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
}

bool VQD3DCanvas::SetBrightness(float offset) {
  if (!m_gamma) return false;
  DDGAMMARAMP ramp;
  for (int i = 0; i < 256; ++i) {
    const double v = std::clamp((i / 255.0 + offset) * 65535.0, 0.0, 65535.0);
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = uint16_t(v);
  }
  return Dx(m_gamma->SetGammaRamp(0, &ramp));
}

// ---- Image blits ---------------------------------------------------------------------------------

namespace {

VQD3DTexture* TextureOf(const VQImageRef* image, VQD3DDisplayDevice* d) {
  if (!image || !image->m_texture || image->m_texture->m_device != d) return nullptr;
  return static_cast<VQD3DTexture*>(image->m_texture);
}

// Copies a pixmap's rectangle onto the locked back buffer (top row first) at canvas position
// (x, y) from the bottom left; the parts off the canvas are left out.
void CopyPixmap(VQD3DCanvas* c, VQPixmap* pixmap, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t x,
                int32_t y) {
  uint32_t sourcePitch = 0;
  const uint8_t* source = static_cast<const uint8_t*>(pixmap->Lock(&sourcePitch));
  if (!source) return;
  uint32_t pitch = 0;
  auto* back = static_cast<uint8_t*>(c->LockBack(nullptr));
  if (!back) return;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  c->m_back->GetSurfaceDesc(&desc);
  const uint32_t bpp = c->m_backBits / 8;
  pitch = uint32_t(desc.lPitch) / std::max<uint32_t>(1, bpp);
  const uint32_t sbpp = VQPixelFormat_BytesPerPixel(pixmap->m_format);
  const int32_t cw = int32_t(c->m_width), ch = int32_t(c->m_height);
  for (int32_t row = 0; row < h; ++row) {
    const int32_t cy = y + row;  // canvas row from the bottom
    if (cy < 0 || cy >= ch) continue;
    const int32_t pr = sy + row;  // pixmap row in its own order
    if (pr < 0 || pr >= int32_t(pixmap->m_height)) continue;
    const int32_t prow = pixmap->m_bottomUp ? pr : int32_t(pixmap->m_height) - 1 - pr;
    int32_t x0 = std::max(0, x), x1 = std::min(cw, x + w);
    if (x0 >= x1) continue;
    const int32_t sx0 = sx + (x0 - x);
    if (sx0 < 0 || sx0 + (x1 - x0) > int32_t(pixmap->m_width)) continue;
    VQd3d_ConvertPixels(back + (size_t(ch - 1 - cy) * pitch + size_t(x0)) * bpp, pitch, c->m_backFormat,
                        source + (size_t(prow) * sourcePitch + size_t(sx0)) * sbpp, sourcePitch, pixmap->m_format,
                        uint32_t(x1 - x0), 1, pixmap->m_palette, VQPixelFormat_HasAlpha(pixmap->m_format));
  }
  c->UnlockBackBuffer();
}

}  // namespace

void VQD3DCanvas::BlitImage(const VQImageRef* image, int32_t x, int32_t y, uint32_t, uint32_t) {
  VQD3DDisplayDevice* d = Device();
  if (!m_valid || !d || !image) return;
  uint32_t w = 0, h = 0;
  image->GetSize(&w, &h);
  // Wholly right of or above the canvas, or ending at its origin: nothing to draw.
  if (x >= int32_t(m_width) || y >= int32_t(m_height) || x + int32_t(w) <= 0 || y + int32_t(h) <= 0) return;
  if (VQD3DTexture* t = TextureOf(image, d)) {
    const float rect[4] = {float(x), float(y), float(x + int32_t(w)), float(y + int32_t(h))};
    const float uv[4] = {0, 0, float(w) / float(t->m_width), float(h) / float(t->m_height)};
    DrawSprites(t, 1, rect, uv);
    return;
  }
  if (image->m_pixmap) {
    // A pixmap goes into the frame through the back buffer: the scene is left for the copy.
    const bool wasInScene = m_inScene;
    if (wasInScene) End();
    CopyPixmap(this, image->m_pixmap, 0, 0, int32_t(w), int32_t(h), x, y);
    if (wasInScene) MakeCurrent();
    if (wasInScene) Begin2D();
  }
}

void VQD3DCanvas::BlitImageBatch(const VQImageRef* image, uint32_t count, const int32_t* xs, const int32_t* ys) {
  VQD3DDisplayDevice* d = Device();
  VQD3DTexture* t = TextureOf(image, d);
  if (!m_valid || !t || !xs || !ys || count == 0) return;
  const float w = float(t->m_imageWidth ? t->m_imageWidth : t->m_width);
  const float h = float(t->m_imageHeight ? t->m_imageHeight : t->m_height);
  std::vector<float> rects(size_t(count) * 4), uvs(size_t(count) * 4);
  for (uint32_t i = 0; i < count; ++i) {
    float* r = &rects[4 * i];
    r[0] = float(xs[i]);
    r[1] = float(ys[i]);
    r[2] = r[0] + w;
    r[3] = r[1] + h;
    float* uv = &uvs[4 * i];
    uv[0] = uv[1] = 0;
    uv[2] = w / float(t->m_width);
    uv[3] = h / float(t->m_height);
  }
  DrawSprites(t, count, rects.data(), uvs.data());
}

void VQD3DCanvas::BlitImageRects(const VQImageRef* image, uint32_t count, const int32_t* dx, const int32_t* dy,
                                 const int32_t* sx, const int32_t* sy, const int32_t* w, const int32_t* h) {
  VQD3DDisplayDevice* d = Device();
  if (!m_valid || !d || !image || !dx || !dy || !sx || !sy || !w || !h) return;
  if (VQD3DTexture* t = TextureOf(image, d)) {
    std::vector<float> rects, uvs;
    const float tw = float(t->m_width), th = float(t->m_height);
    for (uint32_t i = 0; i < count; ++i) {
      if (w[i] <= 0 || h[i] <= 0) continue;
      rects.insert(rects.end(), {float(dx[i]), float(dy[i]), float(dx[i] + w[i]), float(dy[i] + h[i])});
      uvs.insert(uvs.end(), {sx[i] / tw, sy[i] / th, (sx[i] + w[i]) / tw, (sy[i] + h[i]) / th});
    }
    DrawSprites(t, uint32_t(rects.size() / 4), rects.data(), uvs.data());
    return;
  }
  if (!image->m_pixmap) return;
  const bool wasInScene = m_inScene;
  if (wasInScene) End();
  for (uint32_t i = 0; i < count; ++i)
    if (w[i] > 0 && h[i] > 0) CopyPixmap(this, image->m_pixmap, sx[i], sy[i], w[i], h[i], dx[i], dy[i]);
  if (wasInScene) {
    MakeCurrent();
    Begin2D();
  }
}

// ---- Viewport ------------------------------------------------------------------------------------

bool VQD3DViewport::SendRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  VQD3DCanvas* c = Canvas();
  if (!c || !m_d3dDevice || width <= 0 || height <= 0) return false;
  const int32_t top = int32_t(c->m_height) - y - height;
  if (x < 0 || top < 0) return false;
  m_d3dViewport = {uint32_t(x), uint32_t(top), uint32_t(width), uint32_t(height), 0.0f, 1.0f};
  return Dx(m_d3dDevice->SetViewport(&m_d3dViewport));
}

bool VQD3DViewport::ApplySize(int32_t width, int32_t height) { return SendRect(m_x, m_y, width, height); }
bool VQD3DViewport::ApplyPosition(int32_t x, int32_t y) { return SendRect(x, y, m_width, m_height); }
bool VQD3DViewport::ApplyRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  return SendRect(x, y, width, height);
}

void VQD3DViewport::SetProjection(float left, float right, float bottom, float top, float nearZ, float farZ) {
  VQD3DCanvas* c = Canvas();
  if (c) c->SetTransform(D3DTRANSFORMSTATE_PROJECTION, VQd3d_Perspective(left, right, bottom, top, nearZ, farZ));
}

bool VQD3DViewport::Begin() {
  VQD3DCanvas* c = Canvas();
  if (!c || !m_d3dDevice) return false;
  VQRenderContext& rc = g_VQrender;
  c->SetState(D3DRENDERSTATE_AMBIENT, 0);
  if (!SendRect(m_x, m_y, m_width, m_height)) return false;
  if (m_camera) {
    const D3DMATRIX projection =
        m_camera->m_projection == 0 ? VQd3d_Orthographic(rc.m_left, rc.m_right, rc.m_bottom, rc.m_top, rc.m_near, rc.m_far)
                                    : VQd3d_Perspective(rc.m_left, rc.m_right, rc.m_bottom, rc.m_top, rc.m_near, rc.m_far);
    c->SetTransform(D3DTRANSFORMSTATE_PROJECTION, projection);
    m_camera->m_matrix.Inverse(rc.m_view);
    rc.m_matrices[0] = rc.m_view;
    rc.m_matrixCount = 1;
    rc.m_matrixChanged = 1;
    VQd3d_ConvertMatrix(&c->m_viewWorld, rc.m_view);
  } else {
    rc.m_matrixCount = 0;
    c->m_viewWorld = D3DMATRIX{};
    for (int i = 0; i < 4; ++i) c->m_viewWorld.m[i][i] = 1.0f;
  }
  D3DMATRIX identity{};
  for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
  c->SetTransform(D3DTRANSFORMSTATE_WORLD, c->m_viewWorld);
  c->SetTransform(D3DTRANSFORMSTATE_VIEW, identity);
  c->m_worldChanged = true;
  // Each viewport starts its scene from a known state: lights and fog of an earlier scene
  // are forgotten.
  for (uint32_t i = 0; i < c->m_lightCount && i < D3D_MAX_LIGHTS; ++i) Dx(m_d3dDevice->LightEnable(i, false));
  c->m_lightCount = 0;
  c->SetRenderFlag(VQRENDER_LIGHTING, false);
  c->m_fogCount = 0;
  c->SetState(D3DRENDERSTATE_FOGENABLE, 0);
  c->m_2DActive = false;
  return true;
}

void VQD3DViewport::Clear(uint32_t) {
  VQD3DCanvas* c = Canvas();
  if (!c || !m_d3dDevice || !(m_clearFlags & 3)) return;
  uint32_t flags = 0;
  if (m_clearFlags & 1) flags |= D3DCLEAR_TARGET;
  if (m_clearFlags & 2) flags |= D3DCLEAR_ZBUFFER;
  auto byte = [](float v) { return v <= 0.0f ? 0u : (v >= 1.0f ? 255u : uint32_t(v * 255.0f)); };
  const D3DCOLOR colour = 0xFF000000u | byte(m_clearColour.r) << 16 | byte(m_clearColour.g) << 8 | byte(m_clearColour.b);
  const int32_t ch = int32_t(c->m_height);
  if (m_x == 0 && m_y == 0 && m_width == int32_t(c->m_width) && m_height == ch) {
    Dx(m_d3dDevice->Clear(0, nullptr, flags, colour, 1.0f, 0));
    return;
  }
  const D3DRECT r{m_x, ch - m_y - m_height, m_x + m_width, ch - m_y};
  Dx(m_d3dDevice->Clear(1, &r, flags, colour, 1.0f, 0));
}
