#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"

uint32_t VQSoftwarePixmap::s_live = 0;
uint32_t VQSoftwareTexture::s_live = 0;
uint32_t VQSoftwareDisplayDevice::s_live = 0;

namespace {
// Bytes of a width x height block, 0 when the format is unknown or the size out of range.
size_t BlockBytes(uint32_t width, uint32_t height, uint32_t format) {
  const uint64_t bytes = uint64_t(width) * height * VQPixelFormat_BytesPerPixel(format);
  return bytes <= VQIMAGE_MAX_BYTES ? size_t(bytes) : 0;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Pixmap

VQSoftwarePixmap::VQSoftwarePixmap() { ++s_live; }

VQSoftwarePixmap::~VQSoftwarePixmap() {
  FreePixels();
  --s_live;
}

void VQSoftwarePixmap::FreePixels() {
  std::free(m_pixels);
  m_pixels = nullptr;
}

void* VQSoftwarePixmap::Allocate(uint32_t width, uint32_t height, uint32_t format, uint32_t* pitch) {
  FreePixels();
  const size_t bytes = BlockBytes(width, height, format);
  if (bytes == 0) {
    m_valid = 0;
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  m_pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!m_pixels) {
    m_valid = 0;
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  m_width = width;
  m_height = height;
  m_format = format;
  if (pitch) *pitch = width;
  return m_pixels;
}

bool VQSoftwarePixmap::CopyFrom(const VQPixmap& other) {
  const auto* o = dynamic_cast<const VQSoftwarePixmap*>(&other);
  if (!o || !m_pixels || !o->m_pixels || o->m_width != m_width || o->m_height != m_height ||
      o->m_format != m_format)
    return false;
  std::memcpy(m_pixels, o->m_pixels, BlockBytes(m_width, m_height, m_format));
  return true;
}

void* VQSoftwarePixmap::Lock(uint32_t* pitch) {
  if (pitch) *pitch = m_width;
  return m_pixels;
}

VQPixmap* VQSoftwarePixmap::CloneEmpty() {
  auto* p = new (std::nothrow) VQSoftwarePixmap();
  if (p) p->m_device = m_device;
  return p;
}

float* VQSoftwarePixmap::GetPixel(float* rgba, uint32_t x, uint32_t y) {
  if (!m_pixels || x >= m_width || y >= m_height) {
    rgba[0] = rgba[1] = rgba[2] = 0.0f;
    rgba[3] = 1.0f;
    return rgba;
  }
  return VQpixels_GetRGBA(rgba, m_pixels, m_format, x, y, m_width, m_palette);
}

// ---------------------------------------------------------------------------------------------
// Texture

VQSoftwareTexture::VQSoftwareTexture() { ++s_live; }

VQSoftwareTexture::~VQSoftwareTexture() {
  std::free(m_pixels);
  --s_live;
}

void* VQSoftwareTexture::Lock(uint32_t* pitch, uint32_t level) {
  if (pitch) *pitch = m_width;
  return level == 0 ? m_pixels : nullptr;
}

float* VQSoftwareTexture::GetPixel(float* rgba, uint32_t x, uint32_t y) {
  if (!m_pixels || x >= m_width || y >= m_height) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
    return rgba;
  }
  return VQpixels_GetRGBA(rgba, m_pixels, m_format, x, y, m_width, m_palette);
}

void VQSoftwareTexture::SetPixel(uint32_t x, uint32_t y, const float* rgba) {
  if (!m_pixels || x >= m_width || y >= m_height) return;
  VQpixels_SetRGBA(m_pixels, m_format, x, y, m_width, rgba);
}

// ---------------------------------------------------------------------------------------------
// Device

VQSoftwareDisplayDevice::VQSoftwareDisplayDevice(uint32_t instance)
    : VQDisplayDevice(VQDEVICE_SOFTWARE_DISPLAY), m_instance(instance) {
  ++s_live;
}

VQSoftwareDisplayDevice::~VQSoftwareDisplayDevice() {
  if (m_initialised) Close();
  --s_live;
}

bool VQSoftwareDisplayDevice::Open(uint32_t parameter) {
  if (m_initialised) return true;
  if (!Init()) return VQerror_Fail(VQERR_DEVICE_UNAVAILABLE);
  if (!CreateManagers()) return false;
  if (!g_VQsystem.AddDevice(this)) {
    const int32_t code = g_VQerror;
    DestroyManagers();
    g_VQerror = code;
    return false;
  }
  m_registered = 1;
  m_openParameter = parameter;
  m_initialised = 1;
  return true;
}

void VQSoftwareDisplayDevice::Close() { CloseDisplay(); }

VQTexture* VQSoftwareDisplayDevice::CreateTexture(const void* pixels, uint32_t width, uint32_t height,
                                                  uint32_t format, uint8_t* palette, uint32_t) {
  const size_t bytes = BlockBytes(width, height, format);
  if (!pixels || width == 0 || height == 0 || bytes == 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* t = new (std::nothrow) VQSoftwareTexture();
  if (!t) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  t->m_pixels = static_cast<uint8_t*>(std::malloc(bytes));
  if (!t->m_pixels) {
    delete t;
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  std::memcpy(t->m_pixels, pixels, bytes);
  t->m_width = t->m_allocWidth = t->m_imageWidth = width;
  t->m_height = t->m_allocHeight = t->m_imageHeight = height;
  t->m_format = format;
  t->m_palette = palette;
  t->m_device = this;
  ++m_liveTextures;
  return t;
}

VQTexture* VQSoftwareDisplayDevice::CreateTextureFromFile(const char* path, uint32_t, uint32_t) {
  uint32_t width = 0, height = 0, format = 0;
  uint8_t* palette = nullptr;
  uint8_t* pixels = VQimage_ReadFile(path, &width, &height, &format, &palette);
  if (!pixels) return nullptr;
  // Textures keep the bottom row first; JPEG delivers the top row first.
  if (VQimage_TypeFromName(path) == VQIMAGE_JPEG) VQpixels_FlipVertical(pixels, width, height, width, format);
  VQTexture* t = CreateTexture(pixels, width, height, format, palette, 0);
  if (!t) std::free(palette);
  std::free(pixels);
  return t;
}

VQPixmap* VQSoftwareDisplayDevice::CreatePixmap(uint32_t width, uint32_t height, uint32_t format) {
  auto* p = new (std::nothrow) VQSoftwarePixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_device = this;
  if (width != 0 && height != 0) {
    if (!p->Allocate(width, height, format, nullptr)) {
      delete p;
      return nullptr;
    }
    if (format == VQPF_PAL8) {
      p->m_palette = static_cast<uint8_t*>(std::calloc(VQPALETTE_BYTES, 1));
      if (!p->m_palette) {
        delete p;
        g_VQerror = VQERR_OUT_OF_MEMORY;
        return nullptr;
      }
    }
  }
  ++m_livePixmaps;
  return p;
}

VQPixmap* VQSoftwareDisplayDevice::CreatePixmapFromFile(const char* path) {
  auto* p = new (std::nothrow) VQSoftwarePixmap();
  if (!p) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  p->m_device = this;
  if (!p->LoadImage(path)) {
    delete p;
    return nullptr;
  }
  ++m_livePixmaps;
  return p;
}

namespace {
VQSoftwareDisplayDevice g_softwareDisplay(0);
}

VQDevice* VQsoftware_GetDisplayDevice(int kind, int index) {
  if (kind != int(VQDEVICE_SOFTWARE_DISPLAY) || index != 0) {
    g_VQerror = VQERR_DEVICE_UNAVAILABLE;
    return nullptr;
  }
  return VQdevice_HandOut(&g_softwareDisplay);
}
