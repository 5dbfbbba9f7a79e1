// Textures and pixmaps of the Direct3D display device.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Zentri/devices/display/direct3d/VQD3DCanvas.h"
#include "Zentri/devices/display/direct3d/VQD3DDisplayDevice.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"

uint32_t VQD3DTexture::s_live = 0;
uint32_t VQD3DPixmap::s_live = 0;

namespace {

bool Dx(HRESULT r) {
  g_VQdxResult = r;
  return dx_succeeded(r);
}

uint32_t NextPowerOfTwo(uint32_t v) {
  uint32_t p = 1;
  while (p < v && p < (1u << 30)) p <<= 1;
  return p;
}

uint32_t Log2(uint32_t v) {
  uint32_t n = 0;
  while (v > 1) {
    v >>= 1;
    ++n;
  }
  return n;
}

uint32_t MipLevelsFor(uint32_t minFilter, uint32_t width, uint32_t height) {
  if (minFilter < VQFILTER_NEAREST_MIP_NEAREST || minFilter > VQFILTER_LINEAR_MIP_LINEAR) return 1;
  return std::min(Log2(width), Log2(height)) + 1;
}

}  // namespace

void VQd3d_ConvertPixels(uint8_t* dst, uint32_t dstPitch, uint32_t dstFormat, const uint8_t* src, uint32_t srcPitch,
                         uint32_t srcFormat, uint32_t width, uint32_t height, const uint8_t* palette, bool blend) {
  const uint32_t dbpp = VQPixelFormat_BytesPerPixel(dstFormat), sbpp = VQPixelFormat_BytesPerPixel(srcFormat);
  if (dstFormat == srcFormat && !blend) {
    for (uint32_t y = 0; y < height; ++y)
      std::memcpy(dst + size_t(y) * dstPitch * dbpp, src + size_t(y) * srcPitch * sbpp, size_t(width) * dbpp);
    return;
  }
  float rgba[4], under[4];
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      VQpixels_GetRGBA(rgba, src, srcFormat, x, y, srcPitch, palette);
      if (blend && rgba[3] < 1.0f) {
        VQpixels_GetRGBA(under, dst, dstFormat, x, y, dstPitch, nullptr);
        for (int c = 0; c < 3; ++c) rgba[c] = rgba[c] * rgba[3] + under[c] * (1.0f - rgba[3]);
        rgba[3] = under[3];
      }
      VQpixels_SetRGBA(dst, dstFormat, x, y, dstPitch, rgba);
    }
}

// ---- Textures ------------------------------------------------------------------------------------

VQD3DTexture::VQD3DTexture() { ++s_live; }

VQD3DTexture::~VQD3DTexture() {
  if (m_surface) m_surface->Release();
  if (m_ddPalette) m_ddPalette->Release();
  std::free(m_pixels);
  --s_live;
}

void* VQD3DTexture::Lock(uint32_t* pitch, uint32_t level) {
  if (level != 0 || !m_pixels) return nullptr;
  if (pitch) *pitch = m_width;
  m_changed = true;  // the caller may write: sent again before the next use
  return m_pixels;
}

float* VQD3DTexture::GetPixel(float* rgba, uint32_t x, uint32_t y) {
  if (!m_pixels || x >= m_width || y >= m_height) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
    return rgba;
  }
  return VQpixels_GetRGBA(rgba, m_pixels, m_format, x, y, m_width, m_palette);
}

void VQD3DTexture::SetPixel(uint32_t x, uint32_t y, const float* rgba) {
  if (!m_pixels || x >= m_width || y >= m_height) return;
  VQpixels_SetRGBA(m_pixels, m_format, x, y, m_width, rgba);
  m_changed = true;
}

bool VQD3DTexture::BuildSurface(uint32_t levels) {
  VQD3DDisplayDevice* d = m_owner;
  if (!d || !d->m_ddraw) return VQerror_Fail(VQERR_NOT_OPEN);
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
  if (levels > 1) {
    desc.dwFlags |= DDSD_MIPMAPCOUNT;
    desc.dwMipMapCount = levels;
    desc.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
  }
  if (d->m_managedTextures) desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  desc.dwWidth = m_width;
  desc.dwHeight = m_height;
  desc.ddpfPixelFormat = VQdirectx_DDPixelFormat(m_format);
  IDirectDrawSurface7* surface = d->NewSurface(desc);
  if (!surface) return false;
  if (m_format == VQPF_PAL8) {
    PALETTEENTRY entries[256] = {};
    for (int i = 0; i < 256 && m_palette; ++i)
      entries[i] = {m_palette[4 * i], m_palette[4 * i + 1], m_palette[4 * i + 2], 0};
    IDirectDrawPalette* palette = nullptr;
    if (!Dx(d->m_ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr)) ||
        !Dx(surface->SetPalette(palette))) {
      if (palette) palette->Release();
      surface->Release();
      return false;
    }
    if (m_ddPalette) m_ddPalette->Release();
    m_ddPalette = palette;
  }
  if (m_surface) m_surface->Release();
  m_surface = surface;
  m_mipLevels = levels;
  m_changed = true;
  return Upload();
}

bool VQD3DTexture::Upload() {
  if (!m_surface || !m_pixels) return false;
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(m_format);
  // Level 0 from the copy; each lower level from the one above at half size.
  IDirectDrawSurface7* level = m_surface;
  level->AddRef();
  const uint8_t* above = m_pixels;
  uint32_t aboveWidth = m_width, aboveHeight = m_height, abovePitch = m_width;
  std::vector<uint8_t> scratch[2];
  for (uint32_t i = 0; level; ++i) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    if (!Dx(level->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, 0))) {
      level->Release();
      return false;
    }
    const uint32_t pitch = uint32_t(desc.lPitch) / bpp;
    auto* out = static_cast<uint8_t*>(desc.lpSurface);
    if (i == 0) {
      VQd3d_ConvertPixels(out, pitch, m_format, m_pixels, m_width, m_format, m_width, m_height, nullptr, false);
    } else if (m_format == VQPF_PAL8) {
      // Palette indices cannot be averaged: every second pixel is kept.
      for (uint32_t y = 0; y < desc.dwHeight; ++y)
        for (uint32_t x = 0; x < desc.dwWidth; ++x)
          out[size_t(y) * pitch + x] = above[size_t(std::min(2 * y, aboveHeight - 1)) * abovePitch + std::min(2 * x, aboveWidth - 1)];
    } else {
      VQpixels_Rescale(out, desc.dwWidth, desc.dwHeight, pitch, above, aboveWidth, aboveHeight, abovePitch, m_format);
    }
    // Keep this level's pixels for the next one.
    std::vector<uint8_t>& keep = scratch[i & 1];
    keep.assign(out, out + size_t(pitch) * desc.dwHeight * bpp);
    above = keep.data();
    aboveWidth = desc.dwWidth;
    aboveHeight = desc.dwHeight;
    abovePitch = pitch;
    Dx(level->Unlock(nullptr));
    DDSCAPS2 caps{DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 0, 0, 0};
    IDirectDrawSurface7* next = nullptr;
    if (i + 1 >= m_mipLevels || level->GetAttachedSurface(&caps, &next) != DD_OK) next = nullptr;
    level->Release();
    level = next;
  }
  m_changed = false;
  return true;
}

void VQD3DTexture::SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter) {
  const uint32_t oldMin = m_sampling & 0xF;
  auto field = [this](uint32_t value, uint32_t shift) {
    if (value) m_sampling = (m_sampling & ~(0xFu << shift)) | ((value & 0xF) << shift);
  };
  field(minFilter, 0);
  field(magFilter, 4);
  field(wrapV, 8);
  field(wrapU, 12);
  // A change between mip-mapped and plain minification rebuilds the surface.
  const uint32_t newMin = m_sampling & 0xF;
  if (newMin != oldMin && m_surface) {
    const uint32_t levels = MipLevelsFor(newMin, m_width, m_height);
    if ((levels > 1) != (m_mipLevels > 1)) BuildSurface(levels);
  }
}

uint32_t VQD3DDisplayDevice::GetTextureFormatFor(uint32_t format) {
  return VQd3d_TextureFormatFor(format, m_textureFormats, m_textureFormatCount);
}

VQTexture* VQD3DDisplayDevice::CreateTexture(const void* pixels, uint32_t width, uint32_t height, uint32_t format,
                                             uint8_t* palette, uint32_t divisor) {
  if (!pixels || width == 0 || height == 0 || VQPixelFormat_BytesPerPixel(format) == 0 ||
      (format == VQPF_PAL8 && !palette) || uint64_t(width) * height > VQIMAGE_MAX_PIXELS) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (m_maxTextureWidth == 0 || m_maxTextureHeight == 0) {
    g_VQerror = VQERR_NO_CANVAS;
    return nullptr;
  }
  if (divisor == 0) divisor = 1;
  const uint32_t textureFormat = GetTextureFormatFor(format);
  if (textureFormat == 0) {
    g_VQerror = VQERR_TEXTURE_FORMAT;
    return nullptr;
  }
  uint32_t w = std::max(1u, NextPowerOfTwo(width) / divisor), h = std::max(1u, NextPowerOfTwo(height) / divisor);
  if (m_squareOnly) w = h = std::max(w, h);
  while (w > m_maxTextureWidth && w > 1) w /= 2;
  while (h > m_maxTextureHeight && h > 1) h /= 2;
  while (w < m_minTextureWidth) w *= 2;
  while (h < m_minTextureHeight) h *= 2;
  auto* t = new (std::nothrow) VQD3DTexture();
  if (!t) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  t->m_owner = this;
  t->m_device = this;
  t->m_width = w;
  t->m_height = h;
  t->m_imageWidth = std::max(1u, width / divisor);
  t->m_imageHeight = std::max(1u, height / divisor);
  t->m_format = textureFormat;
  t->m_sourceFormat = format;
  if (format == VQPF_PAL8) {
    t->m_palette = static_cast<uint8_t*>(std::malloc(1024));
    if (t->m_palette) std::memcpy(t->m_palette, palette, 1024);
  }
  t->m_pixels = static_cast<uint8_t*>(std::calloc(size_t(w) * h, VQPixelFormat_BytesPerPixel(textureFormat)));
  if (!t->m_pixels || (format == VQPF_PAL8 && !t->m_palette)) {
    delete t;
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  // The source rescaled to the surface size (palette pictures by nearest pixel), then
  // converted into the texture format.
  const uint8_t* source = static_cast<const uint8_t*>(pixels);
  std::vector<uint8_t> rescaled;
  if (w != width || h != height) {
    rescaled.resize(size_t(w) * h * VQPixelFormat_BytesPerPixel(format));
    if (format == VQPF_PAL8) {
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
          rescaled[size_t(y) * w + x] = source[size_t(uint64_t(y) * height / h) * width + uint64_t(x) * width / w];
    } else {
      VQpixels_Rescale(rescaled.data(), w, h, w, source, width, height, width, format);
    }
    source = rescaled.data();
  }
  VQd3d_ConvertPixels(t->m_pixels, w, textureFormat, source, w, format, w, h, palette, false);
  t->m_sampling = (m_minFilter & 0xF) | (m_magFilter & 0xF) << 4 | (m_wrapV & 0xF) << 8 | (m_wrapU & 0xF) << 12;
  if (!t->BuildSurface(MipLevelsFor(m_minFilter, w, h))) {
    delete t;
    return nullptr;
  }
  ++m_liveTextures;
  return t;
}

VQTexture* VQD3DDisplayDevice::CreateTextureFromFile(const char* path, uint32_t loadFactor, uint32_t) {
  uint32_t width = 0, height = 0, format = 0;
  uint8_t* palette = nullptr;
  uint8_t* pixels = VQimage_ReadFile(path, &width, &height, &format, &palette);
  if (!pixels) return nullptr;
  // Textures keep the bottom row first; JPEG delivers the top row first.
  if (VQimage_TypeFromName(path) == VQIMAGE_JPEG) VQpixels_FlipVertical(pixels, width, height, width, format);
  // A power-of-two load factor divides the picture's sides.
  const uint32_t divisor = loadFactor > 1 && (loadFactor & (loadFactor - 1)) == 0 ? loadFactor : 1;
  VQTexture* t = CreateTexture(pixels, width, height, format, palette, divisor);
  std::free(palette);
  std::free(pixels);
  return t;
}

// ---- Pixmaps -------------------------------------------------------------------------------------

VQD3DPixmap::VQD3DPixmap() { ++s_live; }

VQD3DPixmap::~VQD3DPixmap() {
  FreePixels();
  --s_live;
}

void VQD3DPixmap::Unlock() {
  if (m_locked && m_surface) Dx(m_surface->Unlock(nullptr));
  m_locked = false;
  m_address = nullptr;
}

void VQD3DPixmap::FreePixels() {
  Unlock();
  if (m_surface) m_surface->Release();
  m_surface = nullptr;
}

void* VQD3DPixmap::Lock(uint32_t* pitch) {
  if (!m_surface) return nullptr;
  if (!m_locked) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    if (!Dx(m_surface->Lock(nullptr, &desc, 0, 0))) return nullptr;
    const uint32_t bpp = std::max<uint32_t>(1, VQPixelFormat_BytesPerPixel(m_format));
    m_pitch = uint32_t(desc.lPitch) / bpp;
    m_address = static_cast<uint8_t*>(desc.lpSurface);
    m_locked = true;
  }
  if (pitch) *pitch = m_pitch;
  return m_address;
}

void* VQD3DPixmap::Allocate(uint32_t width, uint32_t height, uint32_t format, uint32_t* pitch) {
  FreePixels();
  m_valid = 0;
  VQD3DDisplayDevice* d = m_owner;
  if (!d || width == 0 || height == 0 || VQPixelFormat_BytesPerPixel(format) == 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddpfPixelFormat = VQdirectx_DDPixelFormat(format);
  m_surface = d->NewSurface(desc);
  if (!m_surface) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  m_width = width;
  m_height = height;
  m_format = format;
  return Lock(pitch);
}

bool VQD3DPixmap::CopyFrom(const VQPixmap& other) {
  const auto* o = dynamic_cast<const VQD3DPixmap*>(&other);
  if (!o || o->m_width != m_width || o->m_height != m_height || o->m_format != m_format) return false;
  uint32_t pitch = 0;
  auto* dst = static_cast<uint8_t*>(Lock(&pitch));
  uint32_t sourcePitch = 0;
  auto* src = static_cast<const uint8_t*>(const_cast<VQD3DPixmap*>(o)->Lock(&sourcePitch));
  if (!dst || !src) return false;
  VQd3d_ConvertPixels(dst, pitch, m_format, src, sourcePitch, m_format, m_width, m_height, nullptr, false);
  return true;
}

VQPixmap* VQD3DPixmap::CloneEmpty() {
  auto* p = new (std::nothrow) VQD3DPixmap();
  if (p) {
    p->m_device = m_device;
    p->m_owner = m_owner;
  }
  return p;
}

float* VQD3DPixmap::GetPixel(float* rgba, uint32_t x, uint32_t y) {
  uint32_t pitch = 0;
  const void* pixels = Lock(&pitch);
  if (!pixels || x >= m_width || y >= m_height) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
    return rgba;
  }
  return VQpixels_GetRGBA(rgba, pixels, m_format, x, y, pitch, m_palette);
}

VQPixmap* VQD3DDisplayDevice::CreatePixmap(uint32_t width, uint32_t height, uint32_t format) {
  if (width == 0 || height == 0 || format == 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* p = new (std::nothrow) VQD3DPixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_owner = this;
  p->m_device = this;
  if (!p->Allocate(width, height, format, nullptr)) {
    delete p;
    return nullptr;
  }
  p->m_valid = 1;
  ++m_livePixmaps;
  return p;
}

VQPixmap* VQD3DDisplayDevice::CreatePixmapFromFile(const char* path) {
  auto* p = new (std::nothrow) VQD3DPixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_owner = this;
  p->m_device = this;
  if (!p->LoadImage(path)) {
    delete p;
    return nullptr;
  }
  ++m_livePixmaps;
  return p;
}
