#include "Zentri/resources/VQImageRef.h"

#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"

VQImageRef::VQImageRef(VQPixmap* pixmap) : m_pixmap(pixmap) {}

VQImageRef::VQImageRef(VQTexture* texture) : m_texture(texture) {
  if (m_texture) ++m_texture->m_refCount;
}

VQImageRef::~VQImageRef() {
  if (m_texture && --m_texture->m_refCount <= 0) m_texture->Release();
  m_texture = nullptr;
}

uint32_t VQImageRef::GetWidth() const {
  if (m_pixmap) return m_pixmap->m_width;
  if (m_texture) return m_texture->m_imageWidth;
  return 0;
}

uint32_t VQImageRef::GetHeight() const {
  if (m_pixmap) return m_pixmap->m_height;
  if (m_texture) return m_texture->m_imageHeight;
  return 0;
}

void VQImageRef::GetSize(uint32_t* width, uint32_t* height) const {
  if (!m_pixmap && !m_texture) return;
  if (width) *width = GetWidth();
  if (height) *height = GetHeight();
}

void VQImageRef::GetSizeF(float* size) const {
  size[0] = float(GetWidth());
  size[1] = float(GetHeight());
}

float* VQImageRef::GetPixel(float* rgba, uint32_t x, uint32_t y) const {
  if (m_pixmap) return m_pixmap->GetPixel(rgba, x, y);
  if (m_texture) return m_texture->GetPixel(rgba, x, y);
  rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
  return rgba;
}

void VQImageRef::CopyRects(const VQImageRef& source, uint32_t count, const uint32_t* dstX,
                           const uint32_t* dstY, const uint32_t* srcX, const uint32_t* srcY,
                           const uint32_t* width, const uint32_t* height) {
  VQTexture* dst = m_texture;
  VQTexture* src = source.m_texture;
  if (!dst || !src || m_pixmap || source.m_pixmap) return;
  uint32_t dstPitch = 0, srcPitch = 0;
  void* d = dst->Lock(&dstPitch, 0);
  const void* s = src->Lock(&srcPitch, 0);
  if (!d || !s) return;
  for (uint32_t i = 0; i < count; ++i) {
    VQpixels_CopyRect(d, dst->m_width, dst->m_height, dstPitch, dstX[i], dstY[i], dst->m_format, s,
                      src->m_width, src->m_height, srcPitch, srcX[i], srcY[i], width[i], height[i],
                      src->m_format);
  }
}

void VQImageRef::Rotate() {
  m_rotation = (m_rotation + 1) & 3;
  const uint8_t x = m_flipX;
  m_flipX = m_flipY;
  m_flipY = x;
}
